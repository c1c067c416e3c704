// Writes the image readers' fuzz seeds into a folder: imageseeds DIR.
#include <cstdio>
#include <fstream>

#include "tools/image/ImageFuzzInput.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: imageseeds DIR\n");
        return 1;
    }
    for (const auto& [name, bytes] : makeImageSeeds()) {
        std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
