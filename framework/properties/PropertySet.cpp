// Properties store and the properties-text parser.
#include "framework/properties/PropertySet.h"

#include <cstdlib>
#include <memory>
#include <new>
#include <strings.h>
#include <utility>

#include "framework/services/ServiceAccessors.h"
#include "framework/services/ServiceIds.h"
#include "framework/streams/InputStream.h"
#include "framework/strings/NameHash.h"

PropertySet::PropertySet() : Service(ServiceId::Properties) {}

PropertySet::~PropertySet()
{
    clear();
}

void PropertySet::clear()
{
    m_entries.clear();
    m_places.clear();
}

int PropertySet::find(uint32_t hash) const
{
    const uint32_t* place = m_places.find(hash);
    return place == nullptr ? -1 : static_cast<int>(*place);
}

const PropertySet::Entry* PropertySet::lookup(const char* key) const
{
    if (key == nullptr)
        return nullptr;
    int i = find(hashName(key));
    return i < 0 ? nullptr : &m_entries[i];
}

int PropertySet::set(const char* key, const char* value)
{
    if (key == nullptr || value == nullptr || *key == 0 || *value == 0)
        return 0;
    uint32_t hash = hashName(key);
    if (find(hash) >= 0)
        return 0;
    // Texts and the entry array throw when memory runs out; the store's
    // callers expect 0 and a store without the half-made entry.
    try {
        m_entries.push_back(Entry{hash, String(value)});
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (!m_places.claim(hash, static_cast<uint32_t>(m_entries.size() - 1))) {
        m_entries.pop_back();
        return 0;
    }
    return 1;
}

int PropertySet::has(const char* key) const
{
    return lookup(key) != nullptr;
}

const char* PropertySet::getString(const char* key) const
{
    const Entry* entry = lookup(key);
    return entry ? entry->value.chars() : nullptr;
}

int PropertySet::getInt(const char* key) const
{
    const Entry* entry = lookup(key);
    return entry ? std::atoi(entry->value.chars()) : 0;
}

int PropertySet::getBool(const char* key) const
{
    const Entry* entry = lookup(key);
    return entry && strcasecmp(entry->value.chars(), "true") == 0;
}

int PropertySet::parse(InputStream& stream)
{
    // The old entries wait aside: a parse refused for want of memory leaves
    // the store as it was, never with some of the text's keys dropped.
    std::vector<Entry> entries;
    KeyIndex<uint32_t> places;
    entries.swap(m_entries);
    std::swap(places, m_places);
    const int ok = parseText(stream);
    if (!ok) {
        m_entries.swap(entries);
        std::swap(places, m_places);
    }
    return ok;
}

int PropertySet::parseText(InputStream& stream)
{
    uint32_t n = stream.available();
    if (n == 0)
        return 1;
    if (n > kMaxPropertiesText)
        return 0;
    std::unique_ptr<char[]> text = readAnnounced<char>(stream, n);
    // Lines end at LF; a NUL byte is dropped from its line, a CR stays (trim
    // takes it off the value).
    // In 64 bits: a text of 2^32 - 1 bytes must not wrap the line to 0 bytes.
    std::unique_ptr<char[]> line(text ? new (std::nothrow) char[uint64_t(n) + 1] : nullptr);
    if (!line)
        return 0;
    uint32_t length = 0;
    for (size_t i = 0; i <= n; ++i) {
        if (i == n || text[i] == '\n') {
            line[length] = 0;
            if (!parseLine(line.get(), length))
                return 0;
            length = 0;
        } else if (text[i] != 0) {
            line[length++] = text[i];
        }
    }
    return 1;
}

int PropertySet::parseLine(const char* line, uint32_t length)
{
    if (length == 0 || line[0] == '#' || line[0] == '!')
        return 1;
    try {
        String text(line);
        int32_t separator = text.find("=", 0);
        if (separator < 0)
            separator = text.find(":", 0);
        // A line that starts with its separator has no key (substring would
        // otherwise give the separator itself as the key).
        if (separator <= 0)
            return 1;
        String key = text.substring(0, separator - 1).trim();
        String value = text.substring(separator + 1, static_cast<int32_t>(text.length()) - 1).trim();
        // A key defined before keeps its first value; any other refusal is
        // memory running out.
        return key.length() == 0 || value.length() == 0 || set(key.chars(), value.chars()) ||
               find(hashName(key.chars())) >= 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

PropertySet* getProperties()
{
    return static_cast<PropertySet*>(findOrCreateService(
        ServiceId::Properties, []() -> HashedObject* { return new PropertySet(); }));
}
