// Fails the k-th engine allocation for every k across start-up, a scene load
// and a run of interface calls: each run must end in success or a failure
// result, with every hooked allocation given back.
#include <gtest/gtest.h>

#include "engine/core/interface/EngineHandle.h"
#include "engine/core/io/IoTestKit.h"
#include "engine/core/loader/LoaderTestKit.h"
#include "engine/core/testing/AllocationSweep.h"
#include "tools/archive/ArchiveWriter.h"

namespace {

// Returns whether every step succeeded.
bool runScenario(const std::vector<uint8_t>& scene, const std::string& archivePath)
{
    InterfaceEngine engine(&FailingAllocator::alloc, &FailingAllocator::free);
    if (!engine.ready())
        return false;
    bool allGood = true;
    const auto check = [&](EngineResult r) {
        allGood = allGood && r == 0;
        return r == 0;
    };
    EngineHandle* loader = nullptr;
    if (check(engine.api().createEngineObject(kIidLoader, &loader))) {
        const auto& l = tableOf<IkwLoaderTable>(loader);
        if (check(l.loadBuffer(loader, static_cast<uint32_t>(scene.size()), scene.data(), nullptr))) {
            uint32_t count = 0;
            l.getRootCount(loader, &count);
            allGood = allGood && count == 2;
        }
        EngineHandle* queried = nullptr;
        if (check(unknownQueryInterface(loader, kIidLoader, &queried)))
            unknownRelease(queried);
        unknownRelease(loader);
    }
    EngineHandle* loaderByName = nullptr;
    if (check(engine.api().createEngineObject(kIidLoader, &loaderByName))) {
        const std::string uri = "mvlarc:" + archivePath + "!scene.m3g";
        check(tableOf<IkwLoaderTable>(loaderByName).loadName(loaderByName, uri.c_str(), nullptr));
        unknownRelease(loaderByName);
    }
    EngineHandle* archive = nullptr;
    if (check(engine.api().createEngineObject(kIidArchive, &archive))) {
        const auto& a = tableOf<IkwArchiveTable>(archive);
        if (check(a.open(archive, archivePath.c_str()))) {
            char* name = nullptr;
            if (a.nextEntry(archive, nullptr, &name) != 0)
                engineFree(name);
            else
                allGood = false;
            EngineHandle* member = nullptr;
            if (check(a.openMember(archive, "scene.m3g", nullptr, &member))) {
                uint8_t buffer[16];
                allGood = allGood && tableOf<IkwArchiveMemberTable>(member).read(member, buffer, 16) == 16;
                unknownRelease(member);
            }
        }
        unknownRelease(archive);
    }
    EngineHandle* member = nullptr;
    if (check(engine.api().createEngineObject(kIidArchiveMember, &member)))
        unknownRelease(member);
    return allGood;
}

TEST(InterfaceSweep, EveryFailedAllocationEndsInAResultWithoutLeaks)
{
    M3gFileWriter writer;
    const uint32_t child = writer.addObject(testRecord(1));
    writer.beginSection(kM3gSchemeZlib);
    writer.addObject(testRecord(2, {child}));
    writer.addObject(testRecord(3));
    const std::vector<uint8_t> scene = writer.finish();
    ScratchFolder folder;
    ArchiveWriter archive;
    ASSERT_TRUE(archive.add("scene.m3g", std::span<const uint8_t>(scene)));
    ASSERT_TRUE(archive.add("pic.png", std::span<const uint8_t>(pngBytes(2, 2, PNG_COLOR_TYPE_RGB, 1))));
    const std::string path = folder.write("p.arc", archive.finish());

    EXPECT_GT(sweepAllocationFailures([&] { return runScenario(scene, path); }), 20);
}

} // namespace
