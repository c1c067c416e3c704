// The configuration store: key/value texts parsed from a properties text,
// keyed by the hash of the key. The first definition of a key wins.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/services/Service.h"
#include "framework/strings/String.h"
#include "framework/util/KeyIndex.h"

class InputStream;

// The longest properties text a store parses. The store lives for the whole
// run outside any load, so a text past this is refused rather than counted:
// a phone's configuration is a few dozen lines, and one of 256 KiB takes a
// few megabytes to parse and keep.
constexpr uint32_t kMaxPropertiesText = 256 << 10;

class PropertySet : public Service {
public:
    PropertySet();
    ~PropertySet() override;

    // Clears the store and reads the rest of the stream as properties text:
    // one "key=value" (or "key:value") a line, '#' or '!' at byte 0 for comments.
    // 0 (and the store as it was) when the text runs out, is longer than
    // kMaxPropertiesText or memory runs out.
    int parse(InputStream& stream);

    // 0 when either text is null or empty, the key is already defined, or
    // memory runs out (the store then stays as it was).
    int set(const char* key, const char* value);
    int has(const char* key) const;
    const char* getString(const char* key) const;
    int getInt(const char* key) const;
    // 1 when the value is "true" in any case.
    int getBool(const char* key) const;
    void clear();
    // Index of the entry with that key hash, or -1.
    int find(uint32_t hash) const;

    uint32_t count() const { return static_cast<uint32_t>(m_entries.size()); }
    // Index slots looked at so far: a count of work that tests read to hold
    // a parse in proportion to its text.
    uint64_t probes() const { return m_places.probes(); }

private:
    struct Entry {
        uint32_t key;
        String value;
    };

    // 0 when memory runs out.
    int parseText(InputStream& stream);
    int parseLine(const char* line, uint32_t length);
    const Entry* lookup(const char* key) const;

    std::vector<Entry> m_entries;  // insertion order
    // Key hash to place in m_entries: a text of a million keys must not
    // search its entries once for each.
    KeyIndex<uint32_t> m_places;
};

// The program's properties store, created on first use.
PropertySet* getProperties();
