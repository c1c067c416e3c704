// Writes the sample pack's manifest: the hand-written entries of
// pennyfall.manifest, then the manifest pieces the build wrote (the sounds),
// then the generated span-program sets, each payload in a file beside the
// manifest. packtool then builds "pennyfall.big" from it.
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/pack/HostFiles.h"
#include "tools/span/SpanPrograms.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fputs("usage: samplepack BASE_MANIFEST OUT_FOLDER [PIECE...]\n", stderr);
        return 1;
    }
    const std::string outFolder = argv[2];
    std::ifstream base(argv[1]);
    if (!base) {
        std::fprintf(stderr, "samplepack: cannot read %s\n", argv[1]);
        return 1;
    }
    std::ostringstream manifest;
    manifest << base.rdbuf();
    for (int i = 3; i < argc; ++i) {
        std::ifstream piece(argv[i]);
        if (!piece || !(manifest << "\n" << piece.rdbuf())) {
            std::fprintf(stderr, "samplepack: cannot read %s\n", argv[i]);
            return 1;
        }
    }
    manifest << "\n# Generated: the span-program sets and their records.\n";
    for (const SpanPackEntry& entry : spanPackEntries()) {
        char name[32];
        std::snprintf(name, sizeof name, "span-%08" PRIx32 ".bin", entry.id);
        if (!writeHostFile(outFolder + "/" + name, entry.payload)) {
            std::fprintf(stderr, "samplepack: cannot write %s\n", name);
            return 1;
        }
        // An empty entry must be stored deflated.
        manifest << "0x" << std::hex << entry.id << " 0x" << entry.type
                 << (entry.payload.empty() ? " deflated" : " plain") << " 4 file " << name << "\n";
    }
    if (!(std::ofstream(outFolder + "/pennyfall.manifest") << manifest.str())) {
        std::fputs("samplepack: cannot write the manifest\n", stderr);
        return 1;
    }
    return 0;
}
