// Writes the span fuzz target's seeds into a folder (the committed corpus is
// its output): spanseeds FOLDER.
#include <cstdio>

#include "tools/pack/HostFiles.h"
#include "tools/span/SpanFuzzInput.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: spanseeds FOLDER\n");
        return 1;
    }
    for (const auto& [name, bytes] : makeSpanSeeds()) {
        if (!writeHostFile(std::string(argv[1]) + "/" + name, Bytes(bytes.begin(), bytes.end()))) {
            std::fprintf(stderr, "spanseeds: cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
