// The shell's text functions.
#include "game/shell/ShellText.h"

#include <cstring>

#include "framework/properties/PropertySet.h"
#include "framework/resources/ResourceManager.h"
#include "framework/resources/TypedResources.h"
#include "framework/strings/WideString.h"
#include "framework/util/Format.h"

namespace {

constexpr char kVersionParts[3][2] = {"0", "0", "0"};
constexpr char kBuildDate[] = "Jun  9 2009";
constexpr char kBuildTime[] = "14:52:23";

} // namespace

namespace {

bool integerConversionsOnly(const char16_t* format, uint32_t count)
{
    uint32_t used = 0;
    for (const char16_t* p = format; *p; ++p) {
        if (*p != u'%')
            continue;
        ++p;
        while (*p == u'-' || *p == u'+' || *p == u' ' || *p == u'#' || *p == u'0')
            ++p;
        while ((*p >= u'0' && *p <= u'9') || *p == u'.')
            ++p;
        while (*p == u'h' || *p == u'l')
            ++p;
        if (*p == u'%')
            continue;
        // A unit past ASCII never matches: strchr would find the terminator.
        if (*p == 0 || *p >= 0x80 || !std::strchr("cdiouxX", char(*p)) || ++used > count)
            return false;
    }
    return true;
}

} // namespace

void formatPackText(WideString& out, const char16_t* format, uint32_t count, const int32_t* args)
{
    out.clear();
    if (!format)
        return;
    if (count > 4 || !integerConversionsOnly(format, count)) {
        out.append(format);
        return;
    }
    int32_t a[4] = {};
    for (uint32_t i = 0; i < count; ++i)
        a[i] = args[i];
    char16_t text[128];
    formatWide(text, format, a[0], a[1], a[2], a[3]);
    out.append(text);
}

void buildVersionString(WideString& out)
{
    out.clear();
    PropertySet* properties = getProperties();
    if (const char* version = properties ? properties->getString(kVersionKey) : nullptr) {
        out.appendNarrow(version, kMaxPackTextLength);
        return;
    }
    char text[16];
    formatNarrow(text, "%s.%s.%s", kVersionParts[0], kVersionParts[1], kVersionParts[2]);
    out.appendNarrow(text);
}

void buildBanner(WideString& out)
{
    char text[64];
    formatNarrow(text, "\n\n\n\n\n\n$Name:  $\n%s %s", kBuildDate, kBuildTime);
    out.clear();
    out.appendNarrow(text);
}

void loadTextResource(WideString& out, uint32_t id)
{
    ResourceManager* manager = getResourceManager();
    Resource* resource = nullptr;
    if (!manager || manager->loadById(id, &resource) == ResourceResult::Failed || !resource)
        return;
    if (resource->m_typeId == ResourceClassId::Text) {
        if (const WideString* text = static_cast<TextResource*>(resource)->text())
            out.append(text->length() > kMaxPackTextLength
                           ? text->substring(0, int32_t(kMaxPackTextLength) - 1).chars()
                           : text->chars());
    }
    manager->releaseRef(&resource);
}

void loadTextById(WideString& out, uint32_t id)
{
    out.clear();
    loadTextResource(out, id);
}

int getPropertyWide(const char* key, char16_t* buffer, uint32_t length)
{
    PropertySet* properties = getProperties();
    const char* value = properties ? properties->getString(key) : nullptr;
    if (!value || !buffer || length == 0)
        return 0;
    uint32_t n = 0;
    for (const char* p = value; *p && n + 1 < length; ++p, ++n) {
        const bool escape = p[0] == '\\' && p[1] == 'n';
        buffer[n] = escape ? u'\n' : char16_t(uint8_t(*p));
        p += escape ? 1 : 0;
    }
    buffer[n] = 0;
    return 1;
}

bool isConfigBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isConfigTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return c != 0 && std::strchr("_- .,()!:;\\/*", c) != nullptr;
}

const char* skipBlanks(const char* p, const char* end)
{
    while (p < end && isConfigBlank(*p))
        ++p;
    return p;
}

const char* tokenEnd(const char* p, const char* end)
{
    while (p < end && isConfigTokenChar(*p))
        ++p;
    return p;
}
