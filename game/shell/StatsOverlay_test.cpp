#include "game/shell/StatsOverlay.h"

#include <gtest/gtest.h>

#include <vector>

#include "game/shell/FontManager.h"
#include "game/shell/testing/SamplePackScene.h"
#include "tests/support/GoldenImage.h"
#include "tools/samplefonts/SampleFonts.h"

TEST(StatsOverlay, DrawsTheRateInABlackBoxInTheLowerRightQuarter)
{
    constexpr int kW = 96, kH = 64;
    SamplePackScene scene(kW, kH);
    installFontManagerCreator();
    fillRect(0, 0, kW, kH, 0xFF3060C0);
    StatsOverlay overlay;
    overlay.m_rate = 0x1D8000;  // 29.5 frames a second
    overlay.onFrame(0, TickInfo{1, 0, 0, nullptr});
    EXPECT_EQ(overlay.m_rect[0], 72);
    EXPECT_EQ(overlay.m_rect[1], 48);

    // Reference: the box one line (7) high, "29.5" (15 wide) centred 15
    // into it in font 0's ink.
    std::vector<uint32_t> expected(size_t(kW) * kH, 0xFF3060C0u);
    for (int y = 48; y < 55; ++y)
        for (int x = 72; x < kW; ++x)
            expected[size_t(y) * kW + x] = 0xFF000000u;
    paintSampleText(expected, kW, u"29.5", 72 + 15 - 15 / 2, 48, sampleFontInk(0));
    const std::vector<uint32_t> actual = scenePixels(scene, kW, kH);
    EXPECT_EQ(actual, expected);
    EXPECT_TRUE(matchesGolden("game/shell/testdata/stats_overlay.png", actual.data(), kW, kH));
    delete getFontManager();
}
