// Replays the font reader's fuzz corpus in every run and loads every cut and
// every one-byte corruption of whole fonts: each must end without a
// sanitizer report, cuts are refused, and a loaded font finds its glyphs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/font/FontFuzzInput.h"

namespace {

std::filesystem::path corpusFolder()
{
#ifdef PF_FONT_CORPUS
    return PF_FONT_CORPUS;
#else
    return "tools/font/corpus";
#endif
}

void expectOutcome(const std::string& name, const FontFuzzOutcome& o)
{
    if (name.starts_with("ok-")) {
        EXPECT_EQ(o.loaded, 1) << name;
        EXPECT_EQ(o.found, o.glyphs) << name;
    } else {
        EXPECT_EQ(o.loaded, 0) << name;
        EXPECT_EQ(o.glyphs + o.overrides, 0) << name;
    }
}

TEST(FontCorpus, CommittedSeedsReplayWithTheirOutcomes)
{
    int replayed = 0;
    for (const auto& file : std::filesystem::directory_iterator(corpusFolder())) {
        std::ifstream in(file.path(), std::ios::binary);
        const ImageBytes input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        expectOutcome(file.path().filename().string(), readFontFuzzInput(input.data(), input.size()));
        ++replayed;
    }
    EXPECT_EQ(replayed, static_cast<int>(makeFontSeeds().size()));
    for (const auto& [name, bytes] : makeFontSeeds())
        expectOutcome(name, readFontFuzzInput(bytes.data(), bytes.size()));
}

TEST(FontCorpus, EveryCutIsRefusedAndEveryFlippedByteIsSurvived)
{
    for (const auto& [name, bytes] : makeFontSeeds()) {
        if (!name.starts_with("ok-"))
            continue;
        for (size_t i = 0; i < bytes.size(); ++i) {
            EXPECT_EQ(readFontFuzzInput(bytes.data(), i).loaded, 0) << name << " cut at " << i;
            ImageBytes flipped = bytes;
            flipped[i] ^= 0xFF;
            const FontFuzzOutcome damaged = readFontFuzzInput(flipped.data(), flipped.size());
            EXPECT_LE(damaged.found, damaged.glyphs) << name << " flipped at " << i;
        }
    }
}

} // namespace
