// Writes the archive fuzz seeds; the committed corpus in corpus/ is its output.
//   archiveseeds FOLDER
#include <fstream>
#include <string>
#include <vector>

#include "tools/archive/ArchiveWriter.h"

namespace {

void save(const std::string& folder, const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::ofstream(folder + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void setU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    const std::string folder = argv[1];
    ArchiveWriter empty;
    // 37 bytes: below the 38 the reader needs, so it is refused.
    save(folder, "edge-empty", empty.finish());
    ArchiveWriter two;
    two.add("Scene.m3g", "scene bytes");
    two.add("data\\image.png", "");
    const std::vector<uint8_t> good = two.finish();
    save(folder, "ok-two", good);
    ArchiveWriter many;
    for (int i = 0; i < 80; ++i)
        many.add("entry-" + std::to_string(i), std::string(static_cast<size_t>(i), 'x'));
    save(folder, "ok-long-header", many.finish());

    std::vector<uint8_t> bytes = good;
    setU32(bytes, 37, 0); // record length 0
    archiveSealChecksum(bytes);
    save(folder, "bad-record-length", bytes);
    bytes = good;
    setU32(bytes, 13, 20); // header length below the count
    archiveSealChecksum(bytes);
    save(folder, "bad-header-length", bytes);
    bytes = good;
    setU32(bytes, 45, 0xFFFFFFF0); // data past the file
    archiveSealChecksum(bytes);
    save(folder, "bad-data-size", bytes);
    bytes = good;
    bytes[40] ^= 1;
    save(folder, "bad-checksum", bytes);
    save(folder, "bad-cut", std::vector<uint8_t>(good.begin(), good.begin() + 30));
    return 0;
}
