// Resource payload writers.
#include "tools/pack/ResourceWriters.h"

#include "framework/strings/ModifiedUtf8.h"

Bytes encodeResourceTable(const ResourceTableImage& table)
{
    Bytes out;
    putU32(out, static_cast<uint32_t>(table.aliases.size()));
    for (uint32_t id : table.aliases)
        putU32(out, id);
    uint32_t count = static_cast<uint32_t>(table.languages.size());
    putU32(out, count);
    putU32(out, table.attributeWidth);
    putU32(out, table.nameLength);
    if (count != 0 && table.attributeWidth != 0) {
        for (const auto& language : table.languages)
            putU32(out, language.id);
        for (const auto& language : table.languages) {
            Bytes attributes = language.attributes;
            attributes.resize(table.attributeWidth, 0);
            out.insert(out.end(), attributes.begin(), attributes.end());
        }
        for (const auto& language : table.languages) {
            Bytes name(language.name.begin(), language.name.end());
            name.resize(table.nameLength, 0);
            out.insert(out.end(), name.begin(), name.end());
        }
    }
    putU32(out, static_cast<uint32_t>(table.stringTables.size()));
    for (uint32_t id : table.stringTables)
        putU32(out, id);
    return out;
}

Bytes encodeIdList(const std::vector<uint32_t>& ids)
{
    Bytes out;
    putU16(out, static_cast<uint16_t>(ids.size()));
    for (uint32_t id : ids)
        putU32(out, id);
    return out;
}

Bytes encodeUtf16Text(const std::u16string& text)
{
    Bytes out;
    for (char16_t unit : text)
        putU16(out, unit);
    return out;
}

Bytes encodeUtf8Text(const std::u16string& text)
{
    uint32_t units = static_cast<uint32_t>(text.size());
    uint32_t size = utf8SizeOfUtf16(text.data(), units);
    // The encoder stops three bytes short of its capacity: give it the slack.
    Bytes out(size + 3);
    utf16ToUtf8(text.data(), units, out.data(), static_cast<uint32_t>(out.size()));
    out.resize(size);
    return out;
}

bool decodeUtf8(const std::string& text, std::u16string& out)
{
    out.clear();
    for (size_t i = 0; i < text.size();) {
        uint8_t b = static_cast<uint8_t>(text[i]);
        uint32_t code, extra;
        if (b < 0x80) {
            code = b, extra = 0;
        } else if ((b & 0xE0) == 0xC0) {
            code = b & 0x1F, extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            code = b & 0x0F, extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            code = b & 0x07, extra = 3;
        } else {
            return false;
        }
        if (i + extra >= text.size())
            return false;
        for (uint32_t k = 1; k <= extra; ++k) {
            uint8_t c = static_cast<uint8_t>(text[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (c & 0x3F);
        }
        i += extra + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return true;
}
