// Writes the pack readers' fuzz seeds into a folder (the committed corpus is
// its output): packseeds FOLDER.
#include <cstdio>

#include "tools/pack/HostFiles.h"
#include "tools/pack/PackSeeds.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: packseeds FOLDER\n");
        return 1;
    }
    for (const auto& [name, bytes] : makePackSeeds()) {
        if (!writeHostFile(std::string(argv[1]) + "/" + name, bytes)) {
            std::fprintf(stderr, "packseeds: cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
