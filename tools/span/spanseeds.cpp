// Writes the span fuzz target's seeds into a folder (the committed corpus is
// its output) and, given a second folder, the span-state target's seeds:
// spanseeds FOLDER [STATE_FOLDER].
#include <cstdio>

#include "tools/pack/HostFiles.h"
#include "tools/span/SpanFuzzInput.h"
#include "tools/span/SpanStateFuzzInput.h"

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: spanseeds FOLDER [STATE_FOLDER]\n");
        return 1;
    }
    for (int folder = 1; folder < argc; ++folder) {
        for (const auto& [name, bytes] : folder == 1 ? makeSpanSeeds() : makeSpanStateSeeds()) {
            if (!writeHostFile(std::string(argv[folder]) + "/" + name, Bytes(bytes.begin(), bytes.end()))) {
                std::fprintf(stderr, "spanseeds: cannot write %s\n", name.c_str());
                return 1;
            }
        }
    }
    return 0;
}
