#include "game/level/MenuBackground.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(OutfitPalette, EachPartRecoloursItsOwnSliceAndNoMore)
{
    // Entry i of the resource is (i, 2i, 255 - i); 100 of them and a stray byte.
    std::vector<uint8_t> rgb;
    for (int i = 0; i < 100; ++i)
        rgb.insert(rgb.end(), {uint8_t(i * 8), uint8_t(i * 2), uint8_t(255 - i)});
    rgb.push_back(0xAA);
    const auto rgb565 = [](int r, int g, int b) { return uint16_t((r / 8) * 2048 + (g / 4) * 32 + b / 8); };

    const struct {
        int32_t part;
        uint32_t bytes;
        int32_t converted;
    } cases[] = {{0, uint32_t(rgb.size()), 64}, {1, 7, 2}, {2, uint32_t(rgb.size()), 64}, {3, 30, 0}, {-1, 30, 0}};
    for (const auto& c : cases) {
        std::vector<uint16_t> palette(256, 0xBEEF);
        EXPECT_EQ(convertPaletteRgb565(palette.data(), rgb.data(), c.bytes, c.part), c.converted) << c.part;
        for (int32_t i = 0; i < 256; ++i) {
            const int32_t k = i - PaletteSlice::Entries * (c.part + 1);
            const bool inSlice = k >= 0 && k < c.converted;
            const uint16_t expected = inSlice ? rgb565((k * 8) & 0xFF, k * 2, 255 - k) : uint16_t(0xBEEF);
            ASSERT_EQ(palette[size_t(i)], expected) << "part " << c.part << " entry " << i;
        }
    }
    EXPECT_EQ(loadPaletteRgb565(nullptr, 0x30001c9, 0, true), 0);
}

} // namespace
