// Replays the image readers' fuzz corpus in every run and runs the readers
// over every one-byte corruption and every cut of whole images: each must end
// without a sanitizer report; whole images decode, hostile and damaged PNGs
// decode nowhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/TestApp.h"
#include "tools/image/ImageFuzzInput.h"

namespace {

constexpr size_t kPngEndChunkBytes = 12;
constexpr uint32_t kDirectDecodes = kImageFuzzDecodes - 1;  // 24-bit rows have no keyed loop

std::filesystem::path corpusFolder()
{
#ifdef PF_IMAGE_CORPUS
    return PF_IMAGE_CORPUS;
#else
    return "tools/image/corpus";
#endif
}

bool decodesWhole(const std::string& name, const ImageFuzzOutcome& o)
{
    const uint32_t decodes = o.pngDecodes + o.bmpDecodes;
    return name.find("bmp24") != std::string::npos ? decodes == kDirectDecodes : decodes == kImageFuzzDecodes;
}

TEST(ImageCorpus, CommittedSeedsReplay)
{
    TestApp app;
    int replayed = 0;
    for (const auto& file : std::filesystem::directory_iterator(corpusFolder())) {
        std::ifstream in(file.path(), std::ios::binary);
        const ImageBytes input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string name = file.path().filename().string();
        const ImageFuzzOutcome outcome = readImageFuzzInput(input.data(), input.size());
        if (name.starts_with("ok-")) {
            EXPECT_TRUE(decodesWhole(name, outcome)) << name;
        }
        ++replayed;
    }
    EXPECT_EQ(replayed, static_cast<int>(makeImageSeeds().size()));
}

TEST(ImageCorpus, WholeSeedsDecodeAndHostileOnesDecodeNowhere)
{
    TestApp app;
    for (const auto& [name, bytes] : makeImageSeeds()) {
        const ImageFuzzOutcome outcome = readImageFuzzInput(bytes.data(), bytes.size());
        if (name.starts_with("ok-")) {
            EXPECT_TRUE(decodesWhole(name, outcome)) << name;
            EXPECT_EQ(outcome.bmpLoaded, name.find("bmp") != std::string::npos) << name;
        } else {
            EXPECT_EQ(outcome.pngDecodes + outcome.bmpDecodes, 0u) << name;
        }
    }
}

TEST(ImageCorpus, EveryFlippedByteAndEveryCutIsSurvived)
{
    TestApp app;
    for (const auto& [name, bytes] : makeImageSeeds()) {
        if (!name.starts_with("ok-png8") && !name.starts_with("ok-bmp4"))
            continue;
        for (size_t i = 0; i < bytes.size(); ++i) {
            ImageBytes flipped = bytes;
            flipped[i] ^= 0xFF;
            const ImageFuzzOutcome damaged = readImageFuzzInput(flipped.data(), flipped.size());
            // Every PNG chunk the decoder reads is checked against its CRC.
            if (name.starts_with("ok-png") && i < bytes.size() - kPngEndChunkBytes) {
                EXPECT_EQ(damaged.pngDecodes, 0u) << name << " flipped at " << i;
            }
            // A cut before the image data ends can never decode; a PNG may
            // lose its closing chunk.
            const ImageFuzzOutcome cut = readImageFuzzInput(bytes.data(), i);
            if (i < bytes.size() - (name.starts_with("ok-png") ? kPngEndChunkBytes : 0)) {
                EXPECT_EQ(cut.pngDecodes + cut.bmpDecodes, 0u) << name << " cut at " << i;
            }
        }
    }
}

} // namespace
