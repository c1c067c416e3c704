// The Loader, Archive and ArchiveMember tables and their creators.
#include "engine/core/interface/LoaderInterfaces.h"

#include <new>

#include "engine/core/interface/EntryAdapters.h"
#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/io/CkwArchive.h"
#include "engine/core/loader/CkwResourceLoader.h"

namespace {

// Makes a new object under a trap and wraps it; the wrap destroys it when no
// handle can be made.
template <class T>
EngineResult createAndWrap(EngineHandle** out)
{
    T* object = nullptr;
    const int32_t code = engineTrap([&] { object = new T; });
    return code != KErrNone ? mapLeaveCode(code) : wrapObject(object, out);
}

} // namespace

constexpr IkwLoaderTable kLoaderTable = {
    kUnknownEntries,
    plain<+[](CkwBrewLoader& l, uint32_t length, const void* data, const uint32_t* budget) {
        return l.loadBufferStep(length, data, budget);
    }>,
    plain<+[](CkwBrewLoader& l, const char* name, const uint32_t* budget) { return l.loadNameStep(name, budget); }>,
    plain<+[](CkwBrewLoader& l, uint32_t* out) { *out = l.rootCount(); }>,
    handing<+[](CkwBrewLoader& l, uint32_t index) { return l.rootL(index); }>,
    plain<+[](CkwBrewLoader& l) { return l.getState(); }>,
};

constexpr IkwArchiveTable kArchiveTable = {
    kUnknownEntries,
    plain<+[](CkwArchive& a) { a.resetEnumeration(); }>,
    plain<+[](CkwArchive& a, uint32_t* size, char** name) { return a.nextEntry(size, name) ? 1u : 0u; }>,
    trapped<+[](CkwArchive& a, const char* path) { a.open(path); }>,
    handing<+[](CkwArchive& a, const char* name, uint32_t* size) { return a.openMember(name, size); }>,
};

constexpr IkwArchiveMemberTable kArchiveMemberTable = {
    kUnknownEntries,
    plain<+[](CkwArchiveMember& m, void* buffer, uint32_t count) { return m.read(buffer, count); }>,
};

EngineResult createLoaderObject(EngineHandle** out) { return createAndWrap<CkwBrewLoader>(out); }
EngineResult createArchiveObject(EngineHandle** out) { return createAndWrap<CkwArchive>(out); }

EngineResult createArchiveMemberObject(EngineHandle** out)
{
    auto* member = new (std::nothrow) CkwArchiveMember;
    if (member == nullptr)
        return kResultNoMemory;
    return wrapObject(member, out);
}
