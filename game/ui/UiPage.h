// The pages of the start-up and menu flows: each is a mode with a title
// text, a soft-key pair and side margins that reports 1 for OK and 2 for
// cancel. Their look is the least that shows what they ask.
#pragma once

#include <cstdint>

#include "game/shell/GameMode.h"
#include "game/ui/UiDrawing.h"

class ResourcePreloader;

// The rows the options page shows before each value.
namespace OptionsText {
constexpr uint32_t Sound = textRowId(0x7e01);
constexpr uint32_t Vibration = textRowId(0x7e02);
constexpr uint32_t Volume = textRowId(0x7e03);
constexpr uint32_t On = 0x21ff016a;
constexpr uint32_t Off = 0x21ff0110;
} // namespace OptionsText

// Where a page's own content goes: a column between the margins, from top
// down to bottom (the soft-key line).
struct PageArea {
    TextColumn column;
    int32_t top;
    int32_t bottom;
};

namespace PageResult {
constexpr uint32_t Ok = 1;
constexpr uint32_t Cancel = 2;
} // namespace PageResult

class UiPage : public GameMode {
public:
    explicit UiPage(uint32_t titleId = 0) : m_titleId(titleId) {}

    // 0 leaves that key off: a page without a left key cannot be confirmed,
    // so select closes it as the right key does.
    void setSoftkeys(uint32_t left, uint32_t right, uint32_t leftOn = 1, uint32_t rightOn = 1);
    void setMargins(int32_t left, int32_t right)
    {
        m_marginLeft = left;
        m_marginRight = right;
    }
    int handleEvent(uint32_t id, uint32_t a, uint32_t b) override;
    // The fill, the title, the page's own content and the soft-key labels.
    int paint() override;

    uint32_t titleId() const { return m_titleId; }
    uint32_t leftKey() const { return m_left; }
    uint32_t rightKey() const { return m_right; }
    int32_t marginLeft() const { return m_marginLeft; }

protected:
    // The page's own keys before the soft keys; non-zero when taken.
    virtual int onAction(uint32_t /*id*/) { return 0; }
    virtual uint32_t background() const { return UiColour::Page; }
    virtual void paintBody(const PageArea& /*area*/) {}

private:
    uint32_t m_titleId;
    uint32_t m_left = 0;
    uint32_t m_right = 0;
    int32_t m_marginLeft = 0;
    int32_t m_marginRight = 0;
    TextLines m_title;
    TextLines m_softkeys[2];
};

class MessagePage : public UiPage {
public:
    using UiPage::UiPage;
    void setTextId(uint32_t id) { m_textId = id; }
    // A value the text's first placeholder shows (the score).
    void setStateValueText(int32_t value)
    {
        m_value = value;
        m_hasValue = true;
        m_formatted = false;
    }
    uint32_t textId() const { return m_textId; }
    int32_t value() const { return m_value; }

protected:
    void paintBody(const PageArea& area) override;

private:
    uint32_t m_textId = 0;
    int32_t m_value = 0;
    bool m_hasValue = false;
    bool m_formatted = false;
    TextLines m_source;
    TextLines m_withValue;  // the source formatted with the value
};

class ChoicePage : public UiPage {
public:
    static constexpr uint32_t kMaxItems = 16;

    using UiPage::UiPage;
    void setTextId(uint32_t id) { m_textId = id; }
    // Items beyond kMaxItems are dropped.
    void setItemIds(const uint32_t* ids, uint32_t count);
    // Items given as texts rather than ids (the language names).
    void setItemTexts(const char16_t* const* texts, uint32_t count);
    uint32_t itemCount() const { return m_count; }
    uint32_t itemId(uint32_t i) const { return i < m_count ? m_items[i] : 0; }
    const char16_t* itemText(uint32_t i) const { return i < m_count ? m_texts[i] : nullptr; }
    uint32_t selected() const { return m_selected; }

protected:
    int onAction(uint32_t id) override;
    void paintBody(const PageArea& area) override;

private:
    uint32_t m_textId = 0;
    uint32_t m_items[kMaxItems] = {};
    const char16_t* m_texts[kMaxItems] = {};
    uint32_t m_count = 0;
    uint32_t m_selected = 0;
    TextLines m_text;
    TextLines m_itemLines[kMaxItems];
};

// Preloads a resource list a slice per update; it reports OK when done,
// also when the load failed, so the flow goes on with what there is.
class LoadingPage : public UiPage {
public:
    LoadingPage();
    ~LoadingPage() override;
    void setTiming(uint32_t listId, uint32_t minMs);
    void setAppearance(uint32_t argb) { m_argb = argb; }
    int update(uint32_t ms) override;
    uint32_t percent() const;

protected:
    uint32_t background() const override { return m_argb; }
    void paintBody(const PageArea& area) override;

private:
    ResourcePreloader* m_preloader = nullptr;
    uint32_t m_listId = 0;
    uint32_t m_argb = UiColour::Black;
    bool m_started = false;
};

// A timed page: OK when its time is up or on a key.
class TimedPage : public UiPage {
public:
    using UiPage::UiPage;
    int update(uint32_t ms) override;

protected:
    int onAction(uint32_t id) override;
    uint32_t m_durationMs = 0;
    uint32_t m_elapsedMs = 0;
};

// A filled screen with its text row in the middle and the version below;
// the row asks for any key, so any key ends it.
class SplashPage : public TimedPage {
public:
    void setup(uint32_t argb, uint32_t textRow, uint32_t durationMs)
    {
        m_argb = argb;
        m_textRow = textRow;
        m_durationMs = durationMs;
    }
    int handleEvent(uint32_t id, uint32_t a, uint32_t b) override;

protected:
    uint32_t background() const override { return m_argb; }
    void paintBody(const PageArea& area) override;

private:
    uint32_t m_argb = 0;
    uint32_t m_textRow = 0;
    TextLines m_row;
    TextLines m_version;
};

// The game's name on a black screen.
class LogoPage : public TimedPage {
public:
    static constexpr uint32_t kShowMs = 1500;
    LogoPage() { m_durationMs = kShowMs; }

protected:
    uint32_t background() const override { return UiColour::Black; }
    void paintBody(const PageArea& area) override;
};

class NameEntryPage : public UiPage {
public:
    static constexpr uint32_t kMaxLength = 15;

    using UiPage::UiPage;
    void setPromptId(uint32_t id) { m_promptId = id; }
    void setLengthRange(uint32_t min, uint32_t max);
    void setInitialText(const wchar_t* text);
    const wchar_t* getText() const { return m_text; }

protected:
    // Digits type letters, back deletes; OK needs the least length.
    int onAction(uint32_t id) override;
    void paintBody(const PageArea& area) override;

private:
    uint32_t m_promptId = 0;
    TextLines m_prompt;
    uint32_t m_min = 1;
    uint32_t m_max = kMaxLength;
    uint32_t m_length = 0;
    wchar_t m_text[kMaxLength + 1] = {};
};

class HighScorePage : public UiPage {
public:
    using UiPage::UiPage;
    void setChoices(uint32_t choices) { m_choices = choices; }

protected:
    void paintBody(const PageArea& area) override;

private:
    uint32_t m_choices = 0;
};

// Shows the stored sound and vibration switches and the volume.
class OptionsPage : public UiPage {
public:
    using UiPage::UiPage;

protected:
    void paintBody(const PageArea& area) override;

private:
    TextLines m_labels[3];
    TextLines m_values[2];
};

class ProgressPage : public UiPage {
public:
    void setAppearance(uint32_t argb, uint32_t, uint32_t) { m_argb = argb; }
    void setPercent(uint32_t percent) { m_percent = percent > 100 ? 100 : percent; }
    uint32_t percent() const { return m_percent; }

protected:
    uint32_t background() const override { return m_argb; }
    void paintBody(const PageArea& area) override;

private:
    uint32_t m_argb = 0;
    uint32_t m_percent = 0;
};
