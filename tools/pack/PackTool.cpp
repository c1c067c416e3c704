// Pack tool commands.
#include "tools/pack/PackTool.h"

#include <cerrno>
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

constexpr char kUsage[] = "usage: packtool build MANIFEST OUT | list PACK | extract PACK ID OUT | --help\n";
constexpr int kBadCommandLine = 2;

// The manifest syntax, for a person who builds a pack by hand.
constexpr char kHelp[] = R"(
  build    writes the pack OUT from the text MANIFEST
  list     prints each entry: id, type word, size in bytes
  extract  writes the bytes of entry ID (decimal or 0x hex) to OUT

Paths on the command line are relative to the current folder.

Exit codes:
  0  done
  1  a file could not be read, written or built: one line on standard error
     says which and why
  2  a bad command line: the usage on standard error

Manifest: one directive a line; blank lines and lines starting with '#' are
skipped. Numbers are decimal or 0x hex. Paths are relative to the manifest.

  index sorted|range               the pack's index form (default sorted)
  ID TYPE STORAGE HEADER KIND ...  one entry

  ID       the resource id; the pack keeps its low 15 bits (0x03000102 -> 0x102)
  TYPE     the type word that picks the resource class, e.g. 0x374F8659 data
  STORAGE  plain or deflated (an empty entry must be deflated)
  HEADER   the entry header's length in bytes, 4 to 65535 (usually 4)
  KIND     what follows and how it is stored:
    text TEXT...   the bytes of TEXT to the line's end; \n \r \t \\ escapes
    file PATH      the bytes of a file
    utf8 TEXT...   TEXT as modified UTF-8, no terminator
    utf16 TEXT...  TEXT as little-endian UTF-16, no terminator
    idlist V...    a u16 count, then each value as u32
    table          an entry table; its rows follow anywhere as
      row TABLE_ID ROW_ID TAG STORAGE HEADER KIND ...   (KIND as above)
    restable       the resource table (entry 0x101); filled by
      restable alias ID...                     alias ids, in order
      restable languages WIDTH NAME_LENGTH     attribute bytes, name bytes
      restable language ID ATTRIBUTE_HEX NAME  one language ('-': no attributes)
      restable strings ID...                   string-table ids, in order

Example:
  index sorted
  0x101 0x374F8659 deflated 4 restable
  restable languages 2 16
  restable language 0x03000020 0102 English
  restable strings 0x03000020
  0x03000020 0x69E4C505 deflated 4 table
  row 0x03000020 1 0xF686AADC plain 4 utf8 Hello
  0x03000010 0x374F8659 plain 4 text any bytes
)";

int failWith(std::FILE* err, const std::string& message)
{
    std::fprintf(err, "packtool: %s\n", message.c_str());
    return 1;
}

// The system's reason for the last failed open, read or write.
std::string cannot(const char* what, const std::string& path)
{
    return std::string("cannot ") + what + " " + path + ": " + std::strerror(errno);
}

int build(const std::string& manifestPath, const std::string& outPath, std::FILE* err)
{
    Bytes text;
    if (!readHostFile(manifestPath, text))
        return failWith(err, cannot("read", manifestPath));
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
        return failWith(err, cannot("write", outPath));
    return 0;
}

bool openPack(const std::string& path, ResourcePack& pack, std::FILE* err)
{
    HostFile* file = HostFile::open(path, false);
    if (file == nullptr) {
        failWith(err, errno == EISDIR ? path + ": is a folder, not a pack" : cannot("open", path));
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
        return failWith(err, cannot("write", outPath));
    return 0;
}

} // namespace

int runPackTool(int argc, const char* const* argv, std::FILE* out, std::FILE* err)
{
    std::string command = argc > 1 ? argv[1] : "";
    if ((command == "--help" || command == "-h") && argc == 2) {
        std::fputs(kUsage, out);
        std::fputs(kHelp, out);
        return 0;
    }
    if (command == "build" && argc == 4)
        return build(argv[2], argv[3], err);
    if (command == "list" && argc == 3)
        return list(argv[2], out, err);
    if (command == "extract" && argc == 5)
        return extract(argv[2], argv[3], argv[4], err);
    std::fputs(kUsage, err);
    return kBadCommandLine;
}
