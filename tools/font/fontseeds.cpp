// Writes the font reader's fuzz seeds into a folder: fontseeds DIR.
#include <cstdio>
#include <fstream>

#include "tools/font/FontFuzzInput.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fontseeds DIR\n");
        return 1;
    }
    for (const auto& [name, bytes] : makeFontSeeds()) {
        std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
