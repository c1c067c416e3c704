// One fuzz input for the archive: the bytes as an archive file, opened,
// enumerated, and every entry opened by name and read to its end.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/core/io/CkwArchive.h"
#include "engine/core/io/IoTestKit.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/EngineErrors.h"
#include "engine/core/runtime/Trap.h"

// 0, or the leave code that ended the walk.
inline int32_t archiveFuzzInput(const ScratchFolder& folder, std::span<const uint8_t> input)
{
    const std::string path = folder.write("fuzz.arc", input);
    return engineTrap([&] {
        CkwCleanupPtr<CkwArchive> archive(new CkwArchive);
        archive->open(path.c_str());
        uint32_t size = 0;
        char* name = nullptr;
        while (archive->nextEntry(&size, &name)) {
            CkwArchiveMember* member = nullptr;
            const int32_t code = engineTrap([&] { member = archive->openMember(name, nullptr); });
            engineFree(name);
            if (code != KErrNone)
                leave(code);
            uint8_t buffer[512];
            uint32_t total = 0;
            for (uint32_t n; (n = member->read(buffer, sizeof buffer)) > 0;)
                total += n;
            delete member;
            // Entries found by name may be an earlier entry with the same hash.
            if (total > input.size())
                leave(KErrGeneral);
        }
    });
}

// A listed name whose stored hash disagrees with it finds no member: -1301.
inline bool isArchiveOutcome(int32_t code)
{
    return code == KErrNone || code == KErrCorruptData || code == -2 || code == KErrIndexOutOfRange ||
           code == KErrIllegalArgument;
}
