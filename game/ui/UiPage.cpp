// Key handling of the pages: soft keys confirm or cancel, lists move their
// selection, timed pages end by themselves.
#include "game/ui/UiPage.h"

#include <new>

#include "game/shell/ResourcePreloader.h"
#include "game/shell/ShellIds.h"

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

void ChoicePage::setItemIds(const uint32_t* ids, uint32_t count)
{
    m_count = count < kMaxItems ? count : kMaxItems;
    for (uint32_t i = 0; i < m_count; ++i) {
        m_items[i] = ids[i];
        m_texts[i] = nullptr;
    }
    m_selected = 0;
}

void ChoicePage::setItemTexts(const wchar_t* const* texts, uint32_t count)
{
    m_count = count < kMaxItems ? count : kMaxItems;
    for (uint32_t i = 0; i < m_count; ++i) {
        m_items[i] = 0;
        m_texts[i] = texts[i];
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
