// Key handling and drawing of the pages: soft keys confirm or cancel, lists
// move their selection, timed pages end by themselves; each page fills the
// screen and draws its texts between its margins.
#include "game/ui/UiPage.h"

#include <algorithm>
#include <new>

#include "framework/strings/WideString.h"
#include "framework/util/Format.h"
#include "game/shell/Graphics3DService.h"
#include "game/shell/ResourcePreloader.h"
#include "game/shell/SaveFiles.h"
#include "game/shell/ShellIds.h"
#include "game/shell/ShellText.h"
#include "gfx2d/drawcontext/DrawContext.h"
#include "gfx2d/font/BitmapFont.h"
#include "platform/wince/PlatformEvents.h"
#include "platform/wince/WinMain.h"

namespace {

constexpr int32_t kBarHeight = 7;

int32_t lineHeight(const BitmapFont* font)
{
    return font ? font->getLineHeight() : 0;
}

// Texts kept as wchar_t (the platform's width) drawn as UTF-16.
void copyToUtf16(const wchar_t* text, char16_t* out, size_t capacity)
{
    size_t n = 0;
    for (; text && text[n] && n + 1 < capacity; ++n)
        out[n] = char16_t(text[n]);
    out[n] = 0;
}

void paintProgress(const PageArea& area, uint32_t percent)
{
    drawProgressBar(area.column.left, (area.top + area.bottom - kBarHeight) / 2, area.column.width(), kBarHeight,
                    percent, 100);
}

} // namespace

void UiPage::setSoftkeys(uint32_t left, uint32_t right, uint32_t leftOn, uint32_t rightOn)
{
    m_left = leftOn ? left : 0;
    m_right = rightOn ? right : 0;
}

int UiPage::handleEvent(uint32_t id, uint32_t, uint32_t)
{
    if (getResult() != 0)
        return 0;
    if (onAction(id))
        return 1;
    const bool confirm = id == ActionId::MenuSelect || id == ActionId::SoftLeft;
    const bool cancel = id == ActionId::MenuBack || id == ActionId::SoftRight;
    if (confirm && m_left) {
        setResult(PageResult::Ok);
        return 1;
    }
    if ((cancel && m_right) || (id == ActionId::MenuSelect && !m_left && m_right)) {
        setResult(PageResult::Cancel);
        return 1;
    }
    return 0;
}

int UiPage::paint()
{
    const int32_t width = getScreenWidth();
    const int32_t height = getScreenHeight();
    if (width <= 0 || height <= 0)
        return 0;
    fillRect(0, 0, width, height, background(), DrawMode::Rectangles);
    PageArea area{{kUiInset + m_marginLeft, width - kUiInset - m_marginRight}, kUiInset, softkeyLineY(height)};
    const int32_t below = drawTextId(m_title, uiFont(UiFont::Title), m_titleId, area.column, area.top, true);
    area.top = below > area.top ? below + kUiInset : below;
    paintBody(area);
    drawSoftkeyLabels(m_softkeys, m_left, m_right, width, height);
    return 1;
}

void MessagePage::paintBody(const PageArea& area)
{
    if (m_source.showId(m_textId) || !m_formatted) {
        if (m_hasValue)
            formatPackText(m_withValue.edit(), m_source.text().chars(), 1, &m_value);
        m_formatted = true;
    }
    drawLines(m_hasValue ? m_withValue : m_source, uiFont(UiFont::Body), area.column, area.top, TextAlign::Centre);
}

void ChoicePage::paintBody(const PageArea& area)
{
    BitmapFont* body = uiFont(UiFont::Body);
    BitmapFont* marked = uiFont(UiFont::Selected);
    int32_t y = drawTextId(m_text, body, m_textId, area.column, area.top, true);
    if (y > area.top)
        y += kUiInset;
    for (uint32_t i = 0; i < m_count; ++i) {
        BitmapFont* font = i == m_selected ? marked : body;
        const int32_t line = lineHeight(font);
        // The bar stands one pixel proud of the glyphs above and below.
        if (i == m_selected && line > 0)
            fillRect(area.column.left, y - 1, area.column.right, y + line - 1, UiColour::Selection);
        const int32_t next = m_items[i] ? drawTextId(m_itemLines[i], font, m_items[i], area.column, y, true)
                                        : drawLines(m_itemLines[i], font, area.column, y, TextAlign::Centre);
        y = std::max(next, y + line);
    }
}

void ChoicePage::setItemIds(const uint32_t* ids, uint32_t count)
{
    m_count = count < kMaxItems ? count : kMaxItems;
    for (uint32_t i = 0; i < m_count; ++i) {
        m_items[i] = ids[i];
        m_texts[i] = nullptr;
    }
    m_selected = 0;
}

void ChoicePage::setItemTexts(const char16_t* const* texts, uint32_t count)
{
    m_count = count < kMaxItems ? count : kMaxItems;
    for (uint32_t i = 0; i < m_count; ++i) {
        m_items[i] = 0;
        m_texts[i] = texts[i];
        WideString& text = m_itemLines[i].edit();
        text.clear();
        if (texts[i])
            text.append(texts[i]);
    }
    m_selected = 0;
}

int ChoicePage::onAction(uint32_t id)
{
    if (m_count == 0)
        return 0;
    if (id == ActionId::MenuUp) {
        m_selected = (m_selected + m_count - 1) % m_count;
        return 1;
    }
    if (id == ActionId::MenuDown) {
        m_selected = (m_selected + 1) % m_count;
        return 1;
    }
    return 0;
}

LoadingPage::LoadingPage() = default;

LoadingPage::~LoadingPage()
{
    delete m_preloader;
}

void LoadingPage::setTiming(uint32_t listId, uint32_t)
{
    m_listId = listId;
}

int LoadingPage::update(uint32_t)
{
    if (getResult() != 0)
        return 0;
    if (m_listId == 0) {
        setResult(PageResult::Ok);
        return 1;
    }
    if (!m_started) {
        m_started = true;
        m_preloader = new (std::nothrow) ResourcePreloader();
        if (m_preloader)
            m_preloader->start(m_listId);
    }
    if (m_preloader && m_preloader->getState() == PreloadState::Loading) {
        m_preloader->step();
        return 1;
    }
    setResult(PageResult::Ok);
    return 1;
}

uint32_t LoadingPage::percent() const
{
    return m_preloader ? m_preloader->getPercent() : (getResult() ? 100 : 0);
}

void LoadingPage::paintBody(const PageArea& area)
{
    paintProgress(area, percent());
}

void ProgressPage::paintBody(const PageArea& area)
{
    paintProgress(area, m_percent);
}

void SplashPage::paintBody(const PageArea& area)
{
    BitmapFont* title = uiFont(UiFont::Title);
    if (m_textRow)
        drawTextId(m_row, title, textRowId(m_textRow), area.column, (area.top + area.bottom - lineHeight(title)) / 2,
                   true);
    if (!m_version.text().length())
        buildVersionString(m_version.edit());
    drawLines(m_version, uiFont(UiFont::Body), area.column, area.bottom, TextAlign::Centre);
}

int SplashPage::handleEvent(uint32_t id, uint32_t a, uint32_t b)
{
    if (id != PlatformEventId::KeyDown || getResult() != 0)
        return TimedPage::handleEvent(id, a, b);
    setResult(PageResult::Ok);
    return 1;
}

void LogoPage::paintBody(const PageArea& area)
{
    BitmapFont* title = uiFont(UiFont::Title);
    drawWrapped(title, kWindowTitle, area.column, (area.top + area.bottom - lineHeight(title)) / 2, true);
}

int TimedPage::update(uint32_t ms)
{
    if (getResult() != 0)
        return 0;
    m_elapsedMs += ms;
    if (m_elapsedMs >= m_durationMs)
        setResult(PageResult::Ok);
    return 1;
}

int TimedPage::onAction(uint32_t id)
{
    if (id != ActionId::MenuSelect && id != ActionId::SoftLeft)
        return 0;
    setResult(PageResult::Ok);
    return 1;
}

void NameEntryPage::setLengthRange(uint32_t min, uint32_t max)
{
    m_max = max < kMaxLength ? max : kMaxLength;
    m_min = min < m_max ? min : m_max;
    if (m_length > m_max)
        m_text[m_length = m_max] = 0;
}

void NameEntryPage::setInitialText(const wchar_t* text)
{
    m_length = 0;
    while (text && text[m_length] && m_length < m_max) {
        m_text[m_length] = text[m_length];
        ++m_length;
    }
    m_text[m_length] = 0;
}

int NameEntryPage::onAction(uint32_t id)
{
    // Keys 0-9 post Digit0 - n; each types the letter of its place.
    const uint32_t digit = ActionId::Digit0 - id;
    if (digit <= 9) {
        if (m_length < m_max) {
            m_text[m_length++] = wchar_t(L'A' + digit);
            m_text[m_length] = 0;
        }
        return 1;
    }
    if (id == ActionId::MenuBack && m_length > 0) {
        m_text[--m_length] = 0;
        return 1;
    }
    // A name too short cannot be confirmed.
    return (id == ActionId::MenuSelect || id == ActionId::SoftLeft) && m_length < m_min;
}

void NameEntryPage::paintBody(const PageArea& area)
{
    BitmapFont* body = uiFont(UiFont::Body);
    const int32_t y = drawTextId(m_prompt, body, m_promptId, area.column, area.top, true) + kUiInset;
    const int32_t line = lineHeight(body);
    if (!body || area.column.width() < 3)
        return;
    // The typed name sits in a box one pixel clear of its glyphs.
    const int16_t box[4] = {int16_t(area.column.left), int16_t(y), int16_t(area.column.width()), int16_t(line + 2)};
    drawFrame(box, UiColour::Frame, 1, 0);
    char16_t text[kMaxLength + 1];
    copyToUtf16(m_text, text, kMaxLength + 1);
    drawWrapped(body, text, area.column, y + 2, true);
}

void HighScorePage::paintBody(const PageArea& area)
{
    HighScoreTable* table = getHighScoreTable();
    BitmapFont* body = uiFont(UiFont::Body);
    if (!table || !body)
        return;
    int32_t y = area.top;
    for (uint32_t i = 0; i < HighScoreTable::kEntries; ++i, y += body->getLineHeight()) {
        char16_t number[16];
        formatWide(number, u"%i. ", int32_t(i + 1));
        WideString row(number);
        if (const char16_t* name = table->getName(0, i))
            row.append(name);
        body->drawString(row.chars(), -1, area.column.left, y, -1, -1);
        formatWide(number, u"%i", table->getScore(0, i));
        drawRightAligned(body, number, area.column.right, y);
    }
}

void OptionsPage::paintBody(const PageArea& area)
{
    Prefs* prefs = getPrefs();
    BitmapFont* body = uiFont(UiFont::Body);
    if (!prefs || !body)
        return;
    const uint32_t switches[2][2] = {{OptionsText::Sound, prefs->soundOn()},
                                     {OptionsText::Vibration, prefs->vibrationOn()}};
    int32_t y = area.top;
    for (int i = 0; i < 2; ++i) {
        drawTextId(m_labels[i], body, switches[i][0], area.column, y, false);
        // Its first line only, beside the label.
        m_values[i].showId(switches[i][1] ? OptionsText::On : OptionsText::Off);
        m_values[i].draw(*body, area.column.left, area.column.width(), y, y + 1, TextAlign::Right);
        y += body->getLineHeight();
    }
    drawTextId(m_labels[2], body, OptionsText::Volume, area.column, y, false);
    char16_t volume[16];
    formatWide(volume, u"%i", int32_t(prefs->volume()));
    drawRightAligned(body, volume, area.column.right, y);
}
