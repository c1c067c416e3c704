// The pages' pictures on a pack of the test's own texts and the sample fonts,
// each held against a reference painted from the alphabet's glyph rows; the
// pages without fonts or texts; and the value formatting's checks.
#include "game/ui/UiPage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "game/ui/testing/UiScene.h"
#include "gfx2d/font/BitmapFont.h"
#include "tests/support/GoldenImage.h"

namespace {

constexpr int kW = 96, kH = 64;
constexpr int kSoftkeyY = kH - kUiInset - RefPicture::kLine;

const std::vector<TextRow> kRows = {
    {0x7001, "RESULTS"}, {0x7002, "YOUR SCORE IS %d POINTS"}, {0x7003, "PLAY WITH SOUND?"},
    {0x7004, "NO"},      {0x7005, "YES"},                     {0x1B2, "OK"},
    {0x1E1, "BACK"},
};

class Pages : public ::testing::Test {
protected:
    std::vector<uint32_t> paint(UiPage& page)
    {
        EXPECT_EQ(page.paint(), 1);
        return scenePixels(m_scene, kW, kH);
    }

    UiScene m_scene{kW, kH, uiPack(kRows)};
};

// Title, a message formatted with its value and wrapped between the
// margins, and both soft-key labels.
TEST_F(Pages, AMessageShowsItsTitleItsWrappedTextAndTheSoftKeys)
{
    MessagePage page(textRowId(0x7001));
    page.setSoftkeys(434, 481);
    page.setMargins(10, 10);
    page.setTextId(textRowId(0x7002));
    page.setStateValueText(42);
    const BitmapFont* body = uiFont(UiFont::Body);
    ASSERT_NE(body, nullptr);
    const uint64_t before = body->probes();
    const std::vector<uint32_t> actual = paint(page);
    // The texts stay laid out: the next frame draws the same and looks up
    // only what it draws.
    const uint64_t first = body->probes() - before;
    EXPECT_EQ(paint(page), actual);
    EXPECT_LT(body->probes() - before - first, first);

    // The column is 96 - 2 * (2 + 10) = 72 wide: the whole sentence is
    // 19 glyphs and 4 spaces, 87 pixels, so "POINTS" goes below.
    ASSERT_EQ(RefPicture::textWidth(u"YOUR SCORE IS 42 POINTS"), 87);
    ASSERT_EQ(RefPicture::textWidth(u"YOUR SCORE IS 42"), 60);
    RefPicture ref(kW, kH, UiColour::Page);
    ref.centred(u"RESULTS", 12, 84, 2, UiFont::Title);
    ref.centred(u"YOUR SCORE IS 42", 12, 84, 11, UiFont::Body);
    ref.centred(u"POINTS", 12, 84, 18, UiFont::Body);
    ref.text(u"OK", kUiInset, kSoftkeyY, UiFont::Softkey);
    ref.text(u"BACK", kW - kUiInset - RefPicture::textWidth(u"BACK"), kSoftkeyY, UiFont::Softkey);
    EXPECT_EQ(actual, ref.px);
    EXPECT_TRUE(matchesGolden("game/ui/testdata/message_page.png", actual.data(), kW, kH));
}

// The question, its two answers and the selection moved to the second.
TEST_F(Pages, AChoiceListMarksTheSelectedItem)
{
    ChoicePage page;
    page.setSoftkeys(434, 0);
    page.setTextId(textRowId(0x7003));
    const uint32_t items[] = {textRowId(0x7004), textRowId(0x7005)};
    page.setItemIds(items, 2);
    EXPECT_EQ(page.handleEvent(ActionId::MenuDown, 0, 0), 1);
    ASSERT_EQ(page.selected(), 1u);
    const std::vector<uint32_t> actual = paint(page);

    RefPicture ref(kW, kH, UiColour::Page);
    ref.centred(u"PLAY WITH SOUND?", 2, 94, 2, UiFont::Body);
    ref.centred(u"NO", 2, 94, 11, UiFont::Body);
    ref.fill(2, 17, 94, 24, UiColour::Selection);
    ref.centred(u"YES", 2, 94, 18, UiFont::Selected);
    ref.text(u"OK", kUiInset, kSoftkeyY, UiFont::Softkey);
    EXPECT_EQ(actual, ref.px);
    EXPECT_TRUE(matchesGolden("game/ui/testdata/choice_page.png", actual.data(), kW, kH));
}

// An outlined bar across the column, filled to its share, midway between
// the top and the soft-key line.
TEST_F(Pages, ALoadingBarFillsItsShareOfTheInside)
{
    ProgressPage progress;
    progress.setAppearance(UiColour::Black, 0, 0);
    progress.setPercent(40);
    const std::vector<uint32_t> actual = paint(progress);
    EXPECT_TRUE(matchesGolden("game/ui/testdata/loading_page.png", actual.data(), kW, kH));

    // The inside is 90 wide: 40 % of it is 36 columns, 5 rows high.
    const int y = (kUiInset + kSoftkeyY - 7) / 2;
    auto reference = [&](int filled) {
        RefPicture ref(kW, kH, UiColour::Black);
        ref.frame(2, y, 92, 7, UiColour::Frame);
        ref.fill(3, y + 1, 3 + filled, y + 6, UiColour::Bar);
        return ref.px;
    };
    EXPECT_EQ(actual, reference(36));
    const auto barPixels = std::count(actual.begin(), actual.end(), 0xFF000000u | UiColour::Bar);
    EXPECT_EQ(barPixels, 36 * 5);

    // The preloading page: empty before its first step, full once done
    // (with no list it is done at once).
    LoadingPage loading;
    EXPECT_EQ(paint(loading), reference(0));
    loading.update(30);
    EXPECT_EQ(paint(loading), reference(90));
}

// Without fonts, or with texts the pack lacks, a page is its fill alone.
TEST(PagesWithout, FontsOrTextsDrawOnlyTheirFill)
{
    struct Case {
        bool fonts;
        std::unique_ptr<UiPage> page;
        uint32_t fill;
    };
    auto message = [](uint32_t title, uint32_t text) {
        auto page = std::make_unique<MessagePage>(title);
        page->setTextId(text);
        page->setStateValueText(7);
        page->setSoftkeys(434, 481);
        return page;
    };
    auto choice = std::make_unique<ChoicePage>(textRowId(0x7001));
    const char16_t* names[] = {u"ENGLISH", u"SUOMI"};
    choice->setItemTexts(names, 2);
    auto name = std::make_unique<NameEntryPage>(textRowId(0x7001));
    name->setInitialText(L"ANNA");
    auto splash = std::make_unique<SplashPage>();
    splash->setup(0xff102030, 0x7001, 2000);

    Case cases[] = {
        {false, message(textRowId(0x7001), textRowId(0x7002)), UiColour::Page},
        {false, std::move(choice), UiColour::Page},
        {false, std::move(splash), 0xff102030},
        {false, std::make_unique<LogoPage>(), UiColour::Black},
        {false, std::move(name), UiColour::Page},
        {false, std::make_unique<HighScorePage>(textRowId(0x7001)), UiColour::Page},
        {false, std::make_unique<OptionsPage>(textRowId(0x7001)), UiColour::Page},
        // Fonts, but none of these rows.
        {true, message(textRowId(0x6001), textRowId(0x6002)), UiColour::Page},
    };
    for (Case& c : cases) {
        UiScene scene(kW, kH, uiPack(c.fonts ? std::vector<TextRow>{} : kRows, c.fonts));
        EXPECT_EQ(c.page->paint(), 1);
        const std::vector<uint32_t> px = scenePixels(scene, kW, kH);
        EXPECT_EQ(std::count(px.begin(), px.end(), 0xFF000000u | c.fill), kW * kH) << c.fonts;
    }
}

} // namespace
