// Parsing of the key-code lines and the sorted lookup.
#include "game/shell/KeyCodeMap.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "framework/services/AppBase.h"
#include "framework/util/NumberParse.h"
#include "game/shell/ShellIds.h"
#include "game/shell/ShellText.h"

namespace {

constexpr char kPrefix[] = "KOR_KEYCODE_";
constexpr uint32_t kPrefixLength = sizeof kPrefix - 1;
constexpr uint32_t kNativeMask = 0xffff;

// The value after '=': hexadecimal after "0x", else decimal; 0 for none.
uint32_t parseValue(const char* p, const char* end)
{
    p = skipBlanks(p, end);
    // The whole token, copied so no parse runs into the next line.
    const std::string token(p, tokenEnd(p, end));
    if (token.size() >= 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X'))
        return parseHex(token.c_str() + 2);
    const char* digits = token.c_str();
    return parseDecimal(&digits);
}

} // namespace

uint32_t KeyCodeMap::gameKeyOf(const char* name, uint32_t length)
{
    if (length <= kPrefixLength)
        return 0;
    const char c = name[kPrefixLength];
    if (c >= '0' && c <= '9')
        return uint32_t(c);
    switch (c) {
    case 'A':
        return PlatformKey::Select;
    case 'B':
        return PlatformKey::Back;
    case 'U':
        return PlatformKey::Up;
    case 'D':
        return PlatformKey::Down;
    case 'L':
        return PlatformKey::Left;
    case 'R':
        return PlatformKey::Right;
    case 'H':
        return PlatformKey::Hash;
    case 'S': {
        const char last = name[length - 1];
        return last == 'R' ? PlatformKey::Star : last == '1' ? PlatformKey::SoftLeft : PlatformKey::SoftRight;
    }
    default:
        return 0;
    }
}

void KeyCodeMap::loadFromText(const char* text, uint32_t length)
{
    m_pairs.reset();
    m_count = 0;
    std::vector<Pair> pairs;
    const char* end = text + length;
    for (const char* line = text; line < end;) {
        const char* lineEnd = static_cast<const char*>(std::memchr(line, '\n', size_t(end - line)));
        if (!lineEnd)
            lineEnd = end;
        const char* p = line;
        line = lineEnd + (lineEnd < end ? 1 : 0);
        p = skipBlanks(p, lineEnd);
        if (p == lineEnd || *p == '#' || size_t(lineEnd - p) < kPrefixLength
            || std::memcmp(p, kPrefix, kPrefixLength) != 0)
            continue;
        const char* equals = static_cast<const char*>(std::memchr(p, '=', size_t(lineEnd - p)));
        if (!equals)
            continue;
        const char* nameEnd = equals;
        while (nameEnd > p && isConfigBlank(nameEnd[-1]))
            --nameEnd;
        const uint32_t gameKey = gameKeyOf(p, uint32_t(nameEnd - p));
        const uint32_t nativeKey = parseValue(equals + 1, lineEnd);
        if (gameKey == 0 || nativeKey == 0)
            continue;
        pairs.push_back(Pair{nativeKey, gameKey});
    }
    // Ordered by what lookups compare, so the search holds also for values
    // past 16 bits; lines with the same code keep their order and the
    // lookup answers the first.
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const Pair& a, const Pair& b) { return (a.nativeKey & kNativeMask) < (b.nativeKey & kNativeMask); });
    if (pairs.empty())
        return;
    m_pairs.reset(new (std::nothrow) Pair[pairs.size()]);
    if (!m_pairs)
        return;
    std::copy(pairs.begin(), pairs.end(), m_pairs.get());
    m_count = uint32_t(pairs.size());
}

uint32_t KeyCodeMap::lookup(uint32_t nativeKey) const
{
    const Pair* begin = m_pairs.get();
    const Pair* end = begin + m_count;
    const Pair* hit = std::lower_bound(begin, end, nativeKey,
                                       [](const Pair& pair, uint32_t k) { return (pair.nativeKey & kNativeMask) < k; });
    return hit != end && (hit->nativeKey & kNativeMask) == nativeKey ? hit->gameKey : 0;
}

KeyCodeMap* getKeyCodeMap()
{
    AppBase* app = getGameApp();
    return app ? static_cast<KeyCodeMap*>(app->m_keyCodeMap) : nullptr;
}

uint32_t lookupKeyCode(HashedObject* map, uint32_t nativeKey)
{
    return map ? static_cast<KeyCodeMap*>(map)->lookup(nativeKey) : 0;
}
