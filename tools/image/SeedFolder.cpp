// Seed folder writer.
#include "tools/image/SeedFolder.h"

#include <cstdio>
#include <fstream>

int writeSeedFolder(int argc, char** argv, const NamedSeeds& seeds)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argc > 0 ? argv[0] : "seeds");
        return 1;
    }
    for (const auto& [name, bytes] : seeds) {
        std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
