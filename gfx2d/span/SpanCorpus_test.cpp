// Replays the span fuzz target's corpus in every run, and runs it over every
// one-byte corruption of a generated program: each input must end without a
// sanitizer report, and the generated programs must run to their return.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "tools/span/SpanFuzzInput.h"

namespace {

std::filesystem::path corpusFolder()
{
#ifdef PF_SPAN_CORPUS
    return PF_SPAN_CORPUS;
#else
    return "gfx2d/span/corpus";
#endif
}

bool ranWhole(const SpanFuzzOutcome& o) { return o.loaded && o.span == SpanRun::Returned && o.quadSpansReturned > 0; }

}  // namespace

TEST(SpanCorpus, CommittedSeedsReplayWithTheirOutcome)
{
    size_t replayed = 0;
    for (const auto& file : std::filesystem::directory_iterator(corpusFolder())) {
        std::ifstream in(file.path(), std::ios::binary);
        const std::vector<uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string name = file.path().filename().string();
        const bool whole = ranWhole(runSpanFuzzInput(input.data(), input.size()));
        if (name.starts_with("ok-") || name.starts_with("bad-")) {
            EXPECT_EQ(whole, name.starts_with("ok-")) << name;
        }
        ++replayed;
    }
    EXPECT_EQ(replayed, makeSpanSeeds().size());
}

TEST(SpanCorpus, EveryFlippedByteOfAProgramIsSurvived)
{
    const std::vector<uint8_t> seed = makeSpanSeeds()[2].second;
    for (size_t i = 0; i < 25 + 4 + 4 * 120; ++i) {
        std::vector<uint8_t> flipped = seed;
        flipped[i] ^= 0xFF;
        runSpanFuzzInput(flipped.data(), flipped.size());
    }
}
