// Writers of the resource payloads the pack carries beside plain files: the
// resource table (aliases, languages, string tables), id lists and texts in
// UTF-16 or modified UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/pack/PackWriter.h"

struct ResourceTableImage {
    struct Language {
        uint32_t id;
        Bytes attributes;  // padded or cut to the attribute width
        std::string name;  // UTF-8, padded with zeros or cut to the name length
    };
    std::vector<uint32_t> aliases;
    uint32_t attributeWidth = 0;
    uint32_t nameLength = 0;
    std::vector<Language> languages;
    std::vector<uint32_t> stringTables;
};

// The image the resource manager reads from entry 0x101. Without languages
// or without attributes the language part is only its three counts.
Bytes encodeResourceTable(const ResourceTableImage& table);
// u16 count, then the values.
Bytes encodeIdList(const std::vector<uint32_t>& ids);
// Little-endian UTF-16 units, no terminator.
Bytes encodeUtf16Text(const std::u16string& text);
// Modified UTF-8, no length and no terminator.
Bytes encodeUtf8Text(const std::u16string& text);
// Standard UTF-8 (as manifests are written) to UTF-16; false for bad bytes.
bool decodeUtf8(const std::string& text, std::u16string& out);
