// Writes the structure fuzz seeds into a folder: structureseeds FOLDER. The
// committed corpus in corpus/ is its output.
#include <cstdio>
#include <fstream>

#include "tools/structure/StructureInput.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: structureseeds FOLDER\n");
        return 2;
    }
    for (const auto& [name, plan] : structureSeeds()) {
        const std::vector<uint8_t> bytes = encodeStructure(plan);
        std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out)
            return 1;
    }
    return 0;
}
