// Line breaking: a line ends at the leftmost newline within reach, else at
// the rightmost space within reach, else where the text stops fitting.
#include "gfx2d/font/TextLayout.h"

#include <algorithm>
#include <climits>

#include "gfx2d/font/FontBase.h"

namespace {

// Line entries keep a start and a length in 16 bits each.
constexpr uint32_t kMaxIndex = 0xFFFF;
// Characters measured at first for a line; each pass that finds them all
// fitting measures twice as many.
constexpr int64_t kFirstReach = 64;

// How many characters from start (of n) fit the width, as far as the
// line's end can tell: the measure stops at the first newline, which ends
// the line when reached, and measures twice as far again while all it
// measured fits. A font may make characters zero wide, and measuring the
// whole rest for every line would cost the text's square.
int fitFrom(const FontBase& font, const char16_t* text, int start, int n, int width, uint64_t& scanned)
{
    for (int64_t reach = kFirstReach;; reach *= 2) {
        const int end = int(std::min<int64_t>(n, start + reach));
        const char16_t* newline = std::find(text + start, text + end, u'\n');
        const int length = int(newline - text) - start;
        scanned += uint64_t(length) + (newline != text + end);
        int fit = 0;
        font.measureString(text + start, length, width, &fit);
        if (fit < length || newline != text + end || end == n)
            return fit;
    }
}

int breakPoint(const char16_t* text, int start, int fit, uint64_t& scanned)
{
    scanned += uint64_t(fit);
    int take = -1;
    bool spaceSeen = false;
    for (int p = start + fit; p > start; --p) {
        const int cls = FontBase::charClass(text[p]);
        if (cls == CharClass::Nul || cls == CharClass::Newline) {
            take = p - start;
        } else if (cls == CharClass::Space && !spaceSeen) {
            spaceSeen = true;
            if (take < 0)
                take = p - start;
        }
    }
    return take < 0 ? fit : take;
}

} // namespace

TextLayout::TextLayout() : HashedObject(FontTypeId::TextLayout) {}

void TextLayout::clear()
{
    m_lineCount = 0;
    m_lines.clear();
}

int TextLayout::appendLine(uint32_t start, uint32_t length)
{
    // The array makes its storage anew at twice the count once it is half
    // full, which on appends is at every append from then on: doubling its
    // room first keeps the copying in proportion to the lines.
    if (2 * (int64_t(m_lines.size()) + 1) > m_lines.capacity()) {
        if (const int result = m_lines.reserve(m_lines.capacity(), false))
            return result;
    }
    const int result = m_lines.append(start << 16 | length);
    if (result == DynArrayResult::Ok)
        ++m_lineCount;
    return result;
}

int TextLayout::layout()
{
    clear();
    if (font == nullptr || text == nullptr || width < 1)
        return 0;
    int n = 0;
    while (n < INT_MAX && text[n] != 0)
        ++n;
    m_scanned += uint64_t(n);
    int i = 0, pending = 0;
    while (i < n) {
        if (text[i] == u'\n') {
            ++pending;
            ++i;
            continue;
        }
        // Starts past what an entry holds cannot be laid out.
        if (uint32_t(i) > kMaxIndex)
            break;
        for (; pending > 0; --pending) {
            if (const int result = appendLine(uint32_t(i), 0))
                return result;
        }
        const int fit = fitFrom(*font, text, i, n, width, m_scanned);
        const int take = std::min<int>(breakPoint(text, i, fit, m_scanned), kMaxIndex);
        if (take < 1)
            break;
        if (const int result = appendLine(uint32_t(i), uint32_t(take)))
            return result;
        i += take;
        if (text[i] == u'\n' || text[i] == u' ')
            ++i;
    }
    return 0;
}

uint32_t TextLayout::entry(int line) const
{
    uint32_t value = 0;
    if (line >= 0 && line < m_lineCount)
        m_lines.get(line, &value);
    return value;
}

uint32_t TextLayout::lineStart(int line) const
{
    return entry(line) >> 16;
}

uint32_t TextLayout::lineLength(int line) const
{
    return entry(line) & 0xFFFF;
}

const char16_t* TextLayout::lineText(int line) const
{
    if (text == nullptr)
        return nullptr;
    return line >= 0 && line < m_lineCount ? text + lineStart(line) : text;
}
