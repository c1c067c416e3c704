// Pack tool commands.
#include "tools/pack/PackTool.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/resources/PackEntryStream.h"
#include "framework/resources/ResourcePack.h"
#include "tools/pack/HostFiles.h"
#include "tools/pack/PackManifest.h"
#include "tools/pack/ResourceManifest.h"

namespace {

constexpr uint32_t kExtractSlice = 65536;

int failWith(std::FILE* err, const std::string& message)
{
    std::fprintf(err, "packtool: %s\n", message.c_str());
    return 1;
}

int build(const std::string& manifestPath, const std::string& outPath, std::FILE* err)
{
    Bytes text;
    if (!readHostFile(manifestPath, text))
        return failWith(err, "cannot read " + manifestPath);
    size_t slash = manifestPath.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string() : manifestPath.substr(0, slash);
    PackManifest manifest;
    std::string error;
    if (!parseResourceManifest(std::string(text.begin(), text.end()), folder, manifest, error))
        return failWith(err, manifestPath + ": " + error);
    Bytes pack;
    if (!manifest.writer.build(manifest.form, pack, &error))
        return failWith(err, error);
    if (!writeHostFile(outPath, pack))
        return failWith(err, "cannot write " + outPath);
    return 0;
}

bool openPack(const std::string& path, ResourcePack& pack, std::FILE* err)
{
    HostFile* file = HostFile::open(path, false);
    if (file == nullptr) {
        failWith(err, "cannot open " + path);
        return false;
    }
    if (!pack.openFile(file)) {
        failWith(err, path + ": malformed pack (header, index or block table out of bounds)");
        return false;
    }
    return true;
}

bool listEntry(ResourcePack& pack, uint32_t id, std::FILE* out, std::FILE* err)
{
    PackEntryStream entry;
    if (!entry.open(&pack, id, 1)) {
        std::fprintf(err, "packtool: malformed entry 0x%08X (bad header or sizes)\n", id);
        return false;
    }
    std::fprintf(out, "0x%08X 0x%08X %u\n", id, pack.typeOf(id), entry.size());
    return true;
}

int list(const std::string& path, std::FILE* out, std::FILE* err)
{
    ResourcePack pack;
    if (!openPack(path, pack, err))
        return 1;
    for (uint32_t i = 0; i < pack.indexCount(); ++i) {
        uint32_t id, count, firstEntry;
        if (pack.sortedIdAt(i, id)) {
            if (!listEntry(pack, id, out, err))
                return 1;
        } else if (pack.rangeAt(i, id, count, firstEntry)) {
            for (uint32_t k = 0; k < count; ++k)
                if (!listEntry(pack, id + k, out, err))
                    return 1;
        }
    }
    return 0;
}

int extract(const std::string& path, const std::string& idText, const std::string& outPath, std::FILE* err)
{
    char* end = nullptr;
    unsigned long long id = std::strtoull(idText.c_str(), &end, 0);
    if (idText.empty() || *end != 0 || id > 0xFFFFFFFFull)
        return failWith(err, "bad id " + idText);
    ResourcePack pack;
    if (!openPack(path, pack, err))
        return 1;
    if (pack.indexOf(static_cast<uint32_t>(id)) < 0)
        return failWith(err, "no entry " + idText);
    PackEntryStream entry;
    if (!entry.open(&pack, static_cast<uint32_t>(id), 1))
        return failWith(err, "malformed entry " + idText + " (bad header or sizes)");
    // Read in slices: an entry that announces more than its data holds fails
    // where its data ends, before its whole size is ever allocated.
    Bytes bytes;
    uint8_t slice[kExtractSlice];
    while (entry.available() != 0) {
        uint32_t n = entry.available() < kExtractSlice ? entry.available() : kExtractSlice;
        entry.read(slice, n);
        if (entry.hasError())
            break;
        size_t at = bytes.size();
        bytes.resize(at + n);
        std::memcpy(bytes.data() + at, slice, n);
    }
    if (entry.hasError())
        return failWith(err, "entry " + idText + " is corrupt or shorter than its header says");
    if (!writeHostFile(outPath, bytes))
        return failWith(err, "cannot write " + outPath);
    return 0;
}

} // namespace

int runPackTool(int argc, const char* const* argv, std::FILE* out, std::FILE* err)
{
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "build" && argc == 4)
        return build(argv[2], argv[3], err);
    if (command == "list" && argc == 3)
        return list(argv[2], out, err);
    if (command == "extract" && argc == 5)
        return extract(argv[2], argv[3], argv[4], err);
    return failWith(err, "usage: packtool build MANIFEST OUT | list PACK | extract PACK ID OUT");
}
