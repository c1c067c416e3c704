// Replays the pack readers' fuzz corpus in every run, and runs the readers
// over every one-byte corruption and every truncation of a whole pack: each
// must end without a sanitizer report, and whole packs must read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/pack/PackFuzzInput.h"
#include "tools/pack/PackSeeds.h"

namespace {

constexpr uint32_t kEntriesInSeed = 4;
constexpr uint32_t kRowsInSeed = 2;

std::filesystem::path corpusFolder()
{
#ifdef PF_PACK_CORPUS
    return PF_PACK_CORPUS;
#else
    return "tools/pack/corpus";
#endif
}

TEST(PackCorpus, CommittedSeedsReplay)
{
    int replayed = 0;
    for (const auto& file : std::filesystem::directory_iterator(corpusFolder())) {
        std::ifstream in(file.path(), std::ios::binary);
        const Bytes input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        PackFuzzOutcome outcome = readPackFuzzInput(input.data(), input.size());
        if (file.path().filename().string().starts_with("ok-")) {
            EXPECT_EQ(outcome.opened, 1) << file.path();
            EXPECT_EQ(outcome.entriesRead, kEntriesInSeed) << file.path();
            EXPECT_EQ(outcome.rowsRead, kRowsInSeed) << file.path();
        }
        ++replayed;
    }
    EXPECT_EQ(replayed, static_cast<int>(makePackSeeds().size()));
}

TEST(PackCorpus, HostileSeedsAreRefusedOrFailTheirEntry)
{
    for (const auto& [name, bytes] : makePackSeeds()) {
        PackFuzzOutcome outcome = readPackFuzzInput(bytes.data(), bytes.size());
        bool whole = outcome.opened && outcome.entriesRead == kEntriesInSeed && outcome.rowsRead == kRowsInSeed;
        EXPECT_EQ(whole, name.starts_with("ok-")) << name;
    }
}

TEST(PackCorpus, EveryFlippedByteAndEveryCutIsSurvived)
{
    const Bytes pack = makePackSeeds().front().second;
    for (size_t i = 0; i < pack.size(); ++i) {
        Bytes flipped = pack;
        flipped[i] ^= 0xFF;
        readPackFuzzInput(flipped.data(), flipped.size());
        readPackFuzzInput(pack.data(), i);
    }
}

} // namespace
