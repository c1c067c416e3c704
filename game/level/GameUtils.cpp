// The name hash, user-parameter texts, vector helpers, node look-up and the
// clock texts.
#include "game/level/GameUtils.h"

#include <bit>
#include <climits>
#include <cstdarg>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "engine/core/interface/InterfaceIds.h"
#include "framework/strings/WideString.h"
#include "framework/util/Format.h"
#include "game/level/GameWorld.h"
#include "game/shell/AnimTable.h"
#include "game/shell/EngineService.h"
#include "game/shell/ShellText.h"

namespace {

constexpr uint32_t kHashMultiplier = 1664525;
constexpr uint32_t kHashIncrement = 1013904223;
constexpr uint32_t kNameIdMask = 0x3fffffff;
constexpr char kTransformSuffix[] = "Transform";
constexpr float kRadiansToDegrees = 57.296f;

// The parameter's bytes with a terminator; empty when absent or empty.
std::unique_ptr<char[]> userParameterText(EngineHandle* node, const char* key)
{
    if (!node || !key)
        return nullptr;
    const IkwObject3DTable& api = tableOf<IkwObject3DTable>(node);
    const uint32_t id = uint32_t(GameUtils::nameHash(key));
    int32_t length = -1;
    api.getUserParameter(node, id, 0, nullptr, &length);
    if (length <= 0)
        return nullptr;
    std::unique_ptr<char[]> text(new (std::nothrow) char[size_t(length) + 1]);
    if (!text)
        return nullptr;
    int32_t copied = -1;
    api.getUserParameter(node, id, uint32_t(length), text.get(), &copied);
    if (copied != length)
        return nullptr;
    text[size_t(length)] = 0;
    return text;
}

EngineRef findAsGroup(EngineHandle* root, int32_t userId)
{
    EngineRef found;
    if (!root || tableOf<IkwObject3DTable>(root).find(root, uint32_t(userId), found.out()) != 0)
        return {};
    return found.as(kIidGroup);
}

} // namespace

GameUtils::GameUtils(GameWorld* world) : m_world(world), m_scratch(createEngineObject(kIidTransform)) {}

int32_t GameUtils::nameHash(const char* name)
{
    if (!name)
        return 0;
    uint32_t h = 0;
    for (size_t i = std::strlen(name); i-- > 0;)
        h = h * kHashMultiplier + uint32_t(int32_t(static_cast<signed char>(name[i]))) + kHashIncrement;
    if (int32_t(h) < 0)
        h = 0u - h;
    return int32_t(h & kNameIdMask);
}

int32_t GameUtils::transformId(const char* name)
{
    String full(name);
    full.append(kTransformSuffix);
    return nameHash(full.chars());
}

int32_t GameUtils::parseInt(const char* text)
{
    if (!text)
        return 0;
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > int64_t(INT_MAX) + 1)
            value = int64_t(INT_MAX) + 1;
    }
    value = negative ? -value : value;
    return value > INT_MAX ? INT_MAX : int32_t(value);
}

bool GameUtils::getUserProperty(EngineHandle* node, const char* key, String& out)
{
    std::unique_ptr<char[]> text = userParameterText(node, key);
    if (!text)
        return false;
    out.assign(text.get());
    return true;
}

void GameUtils::readUserParameter(EngineHandle* node, const char* key, float& out)
{
    if (std::unique_ptr<char[]> text = userParameterText(node, key))
        out = parseNumber(text.get());
}

int32_t GameUtils::readIntUserParameter(EngineHandle* node, const char* key, int32_t& out)
{
    std::unique_ptr<char[]> text = userParameterText(node, key);
    out = text ? parseInt(text.get()) : -1;
    return out;
}

uint32_t GameUtils::readProperties(EngineHandle* node, const char* const* keys, uint32_t keyCount,
                                   PropertyPair* pairs)
{
    uint32_t found = 0;
    for (uint32_t i = 0; keys && i < keyCount; ++i) {
        std::unique_ptr<char[]> text = userParameterText(node, keys[i]);
        if (!text)
            continue;
        if (pairs) {
            pairs[found].key.assign(keys[i]);
            pairs[found].value.assign(text.get());
        }
        ++found;
    }
    return found;
}

void GameUtils::getWorldPosition(EngineHandle* node, float out[3])
{
    out[0] = out[1] = out[2] = 0.0f;
    EngineHandle* world = m_world ? m_world->m_world.get() : nullptr;
    if (!node || !world || !m_scratch)
        return;
    uint8_t sharesTree = 0;
    if (tableOf<IkwNodeTable>(node).getTransformTo(node, world, m_scratch.get(), &sharesTree) != 0 || !sharesTree)
        return;
    float p[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    if (m_scratch.table<IkwTransformTable>().transform(m_scratch.get(), 4, p) == 0) {
        out[0] = p[0];
        out[1] = p[1];
        out[2] = p[2];
    }
}

void GameUtils::getNodePosition(EngineHandle* node, float out[3])
{
    // The world scene may be swapped by what the call reaches; hold it.
    const EngineRef world = m_world ? m_world->m_world.share() : EngineRef();
    getWorldPosition(node, out);
}

void GameUtils::transformPoint(float out[3], EngineHandle* transform, const float point[3], bool inverse)
{
    float p[4] = {point[0], point[1], point[2], 1.0f};
    EngineHandle* applied = transform;
    if (inverse) {
        const IkwTransformTable* api = m_scratch ? &m_scratch.table<IkwTransformTable>() : nullptr;
        if (!api || api->set(m_scratch.get(), transform) != 0 || api->invert(m_scratch.get()) != 0)
            return;
        applied = m_scratch.get();
    }
    if (applied && tableOf<IkwTransformTable>(applied).transform(applied, 4, p) == 0) {
        out[0] = p[0];
        out[1] = p[1];
        out[2] = p[2];
    }
}

void GameUtils::lerpTransform(EngineHandle* a, EngineHandle* b, float t, EngineHandle* out)
{
    float ma[16];
    float mb[16];
    if (!a || !b || !out || tableOf<IkwTransformTable>(a).get(a, 16, ma) != 0
        || tableOf<IkwTransformTable>(b).get(b, 16, mb) != 0)
        return;
    for (int i = 0; i < 16; ++i)
        ma[i] = ma[i] * (1.0f - t) + mb[i] * t;
    tableOf<IkwTransformTable>(out).setMatrix(out, 16, ma);
}

float GameUtils::invSqrt(float x)
{
    float y = std::bit_cast<float>(int32_t(0x5f3759df - (std::bit_cast<int32_t>(x) >> 1)));
    return y * (1.5f - 0.5f * x * y * y);
}

float GameUtils::length(float x, float y, float z)
{
    const float s = x * x + y * y + z * z;
    return s * invSqrt(s);
}

float GameUtils::headingAngle(float x1, float y1, float x2, float y2)
{
    const float dx = x1 - x2;
    const float dy = y1 - y2;
    const float d = length(dx, dy, 0.0f);
    if (d == 0.0f)
        return 0.0f;
    const float a = std::acos(std::fmin(1.0f, std::fmax(-1.0f, dy / d))) * kRadiansToDegrees;
    return dx > 0.0f ? -a : a;
}

float GameUtils::wrapAngle(float degrees)
{
    while (degrees > 180.0f)
        degrees -= 360.0f;
    while (degrees < -180.0f)
        degrees += 360.0f;
    return degrees;
}

void GameUtils::lerp(float out[3], const float a[3], const float b[3], float t)
{
    for (int i = 0; i < 3; ++i)
        out[i] = a[i] * (1.0f - t) + b[i] * t;
}

int GameUtils::moveTowards(const float from[3], const float to[3], const float base[3], float distance, float out[3],
                           float* fraction)
{
    const float span = length(to[0] - from[0], to[1] - from[1], to[2] - from[2]);
    const float f = span > 0.0f ? distance / span : 0.0f;
    if (fraction)
        *fraction = f;
    lerp(out, base, to, f);
    return 1;
}

EngineRef GameUtils::findNode(const char* name) const
{
    return m_world ? findNamedNode(m_world->m_world, name) : EngineRef();
}

EngineRef GameUtils::findNamedNode(const EngineRef& root, const char* name)
{
    return findAsGroup(root.get(), transformId(name));
}

uint32_t GameUtils::childCount(const EngineRef& group)
{
    uint32_t count = 0;
    if (const EngineRef g = group.as(kIidGroup))
        g.table<IkwGroupTable>().getChildCount(g.get(), &count);
    return count;
}

EngineRef GameUtils::childAt(const EngineRef& group, uint32_t index)
{
    EngineRef child;
    if (const EngineRef g = group.as(kIidGroup); !g || g.table<IkwGroupTable>().getChild(g.get(), index, child.out()) != 0)
        return {};
    return child;
}

EngineRef GameUtils::parentOf(const EngineRef& node)
{
    EngineRef parent;
    if (!node || node.table<IkwNodeTable>().getParent(node.get(), parent.out()) != 0)
        return {};
    return parent;
}

void GameUtils::removeFromGroup(const EngineRef& node, const EngineRef& group)
{
    if (node)
        if (const EngineRef parent = group.as(kIidGroup))
            parent.table<IkwGroupTable>().removeChild(parent.get(), node.get());
}

void GameUtils::detachNode(EngineRef& node, const EngineRef& group, bool refresh)
{
    AnimTable* clips = nullptr;
    if (refresh && m_world)
        clips = m_world->m_level && !m_world->menuOpen() ? m_world->m_levelClips : m_world->m_menuClips[0];
    if (clips)
        clips->releaseControllers();
    removeFromGroup(node, group);
    node.reset();
    if (clips)
        clips->resolveClips();
}

EngineRef GameUtils::findNumberedNode(EngineHandle* group, int32_t index, bool prefixA)
{
    char name[16];
    // Wraps instead of overflowing: no node carries the number past the top.
    const int32_t n = int32_t(uint32_t(index) + 1u);
    formatNarrow(name, n < 10 ? (prefixA ? "A0%d" : "0%d") : (prefixA ? "A%d" : "%d"), n);
    return findAsGroup(group, transformId(name));
}

namespace {

template <class Text, class Unit>
void assignText(Text*& target, const Unit* source)
{
    Text* old = target;
    target = source ? new (std::nothrow) Text(source) : nullptr;
    delete old;
}

} // namespace

void GameUtils::assignString(String*& target, const char* source)
{
    assignText(target, source);
}

void GameUtils::assignWideString(WideString*& target, const char16_t* source)
{
    assignText(target, source);
}

void debugLog(const char* format, ...)
{
    char line[256];
    va_list args;
    va_start(args, format);
    vformatNarrow(line, sizeof line, format, args);
    va_end(args);
}

void GameUtils::formatTimeWith(WideString& out, int32_t ms, bool tenths, const char16_t* format)
{
    const int32_t minutes = ms / 60000;
    const int32_t seconds = (ms - minutes * 60000) / 1000;
    const int32_t tenth = tenths ? (ms - (ms / 1000) * 1000) / 100 : 0;
    const int32_t args[4] = {minutes, seconds < 10 ? u'0' : u' ', seconds, tenth};
    formatPackText(out, format, 4, args);
}

void GameUtils::formatTime(WideString& out, int32_t ms, bool tenths, bool minus, int32_t formatTextId)
{
    if (formatTextId >= 0) {
        WideString format;
        loadTextById(format, uint32_t(formatTextId));
        if (format.length() != 0) {
            formatTimeWith(out, ms, tenths, format.chars());
            return;
        }
    }
    static const char16_t* const kFormats[8] = {
        u"%i:%i",      u"%i:0%i",      u"-%i:%i",      u"-%i:0%i",
        u"%i:%i.%i",   u"%i:0%i.%i",   u"-%i:%i.%i",   u"-%i:0%i.%i",
    };
    const int32_t minutes = ms / 60000;
    const int32_t seconds = (ms - minutes * 60000) / 1000;
    const int32_t tenth = (ms - (ms / 1000) * 1000) / 100;
    char16_t text[64];
    formatWide(text, kFormats[(tenths ? 4 : 0) + (minus ? 2 : 0) + (seconds < 10 ? 1 : 0)], minutes, seconds, tenth);
    out.assign(text);
}
