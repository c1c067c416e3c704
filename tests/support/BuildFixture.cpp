#include "tests/support/BuildFixture.h"

#include <cstdio>
#include <cstdlib>
#include <string>

std::vector<uint8_t> readBuildFixture(const char* relativePath)
{
    std::vector<uint8_t> bytes;
    const char* dir = std::getenv("PF_BUILD_DIR");
    if (!dir)
        return bytes;
    const std::string path = std::string(dir) + "/" + relativePath;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    uint8_t chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(file);
    return bytes;
}
