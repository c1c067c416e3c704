// Resource directives of the pack manifest. Lines it does not know go to the
// plain manifest parser, with their line numbers kept.
#include "tools/pack/ResourceManifest.h"

#include <cstdlib>
#include <map>
#include <sstream>
#include <vector>

#include "tools/pack/HostFiles.h"
#include "tools/pack/ResourceWriters.h"
#include "tools/samplefonts/SampleFonts.h"
#include "tools/span/SpanPrograms.h"

namespace {

struct Storage {
    bool deflate = false;
    uint16_t header = 4;
};

bool parseStorage(std::istringstream& words, Storage& storage, std::string& reason)
{
    std::string kind, headerWord;
    uint32_t header = 0;
    words >> kind >> headerWord;
    if (kind != "plain" && kind != "deflated")
        return reason = "expected plain or deflated", false;
    if (!parseManifestNumber(headerWord, header) || header < 4 || header > 0xFFFF)
        return reason = "header length must be 4 to 65535", false;
    storage.deflate = kind == "deflated";
    storage.header = static_cast<uint16_t>(header);
    return true;
}

// Payload of a kind this file adds, or of a table row; false with a reason.
bool parsePayload(const std::string& kind, std::istringstream& words, const std::string& line,
                  const std::string& baseFolder, Bytes& payload, std::string& reason)
{
    if (kind == "text" || kind == "utf8" || kind == "utf16") {
        std::string text = unescapeManifestText(manifestRestOfLine(words, line));
        if (kind == "text") {
            payload.assign(text.begin(), text.end());
            return true;
        }
        std::u16string units;
        if (!decodeUtf8(text, units))
            return reason = "text is not UTF-8", false;
        payload = kind == "utf8" ? encodeUtf8Text(units) : encodeUtf16Text(units);
        return true;
    }
    if (kind == "idlist") {
        std::vector<uint32_t> ids;
        std::string word;
        while (words >> word) {
            uint32_t id;
            if (!parseManifestNumber(word, id))
                return reason = "bad id " + word, false;
            ids.push_back(id);
        }
        if (ids.size() > 0xFFFF)
            return reason = "too many ids", false;
        payload = encodeIdList(ids);
        return true;
    }
    if (kind == "file") {
        std::string path;
        words >> std::ws;
        std::getline(words, path);
        std::string full = !path.empty() && path[0] != '/' && !baseFolder.empty() ? baseFolder + "/" + path : path;
        if (path.empty() || !readHostFile(full, payload))
            return reason = "cannot read " + full, false;
        return true;
    }
    return reason = "unknown kind " + kind, false;
}

bool hexBytes(const std::string& word, Bytes& out)
{
    out.clear();
    if (word == "-")
        return true;
    if (word.size() % 2 != 0)
        return false;
    for (size_t i = 0; i < word.size(); i += 2) {
        char* end = nullptr;
        std::string pair = word.substr(i, 2);
        long value = std::strtol(pair.c_str(), &end, 16);
        if (*end != 0)
            return false;
        out.push_back(static_cast<uint8_t>(value));
    }
    return true;
}

struct Pending {
    uint32_t id = 0;
    uint32_t type = 0;
    Storage storage;
};

struct State {
    bool hasResourceTable = false;
    Pending resourceTableEntry;
    ResourceTableImage resourceTable;
    std::map<uint32_t, Pending> tables;
    std::map<uint32_t, EntryTableWriter> rows;
};

bool parseRestableLine(std::istringstream& words, State& state, std::string& reason)
{
    if (!state.hasResourceTable)
        return reason = "restable before its entry", false;
    std::string what, word;
    words >> what;
    ResourceTableImage& table = state.resourceTable;
    if (what == "alias" || what == "strings") {
        std::vector<uint32_t>& list = what == "alias" ? table.aliases : table.stringTables;
        while (words >> word) {
            uint32_t id;
            if (!parseManifestNumber(word, id))
                return reason = "bad id " + word, false;
            list.push_back(id);
        }
        return true;
    }
    if (what == "languages") {
        std::string width, length;
        words >> width >> length;
        if (!parseManifestNumber(width, table.attributeWidth) || !parseManifestNumber(length, table.nameLength))
            return reason = "expected attribute width and name length", false;
        return true;
    }
    if (what == "language") {
        ResourceTableImage::Language language;
        std::string id, attributes;
        words >> id >> attributes >> language.name;
        if (!parseManifestNumber(id, language.id) || !hexBytes(attributes, language.attributes))
            return reason = "expected id, attribute hex and name", false;
        table.languages.push_back(std::move(language));
        return true;
    }
    return reason = "unknown restable directive " + what, false;
}

bool parseRowLine(std::istringstream& words, const std::string& line, const std::string& baseFolder, State& state,
                  std::string& reason)
{
    std::string tableWord, rowWord, tagWord, kind;
    uint32_t tableId, rowId, tag;
    words >> tableWord >> rowWord >> tagWord;
    if (!parseManifestNumber(tableWord, tableId) || !parseManifestNumber(rowWord, rowId) || !parseManifestNumber(tagWord, tag))
        return reason = "expected table id, row id and tag", false;
    if (!state.tables.count(tableId))
        return reason = "row of an undeclared table", false;
    Storage storage;
    if (!parseStorage(words, storage, reason))
        return false;
    words >> kind;
    Bytes payload;
    if (!parsePayload(kind, words, line, baseFolder, payload, reason))
        return false;
    if (payload.empty() && !storage.deflate)
        return reason = "empty plain row", false;
    state.rows[tableId].add(rowId, encodePackEntry(payload, storage.deflate, storage.header), tag);
    return true;
}

// Handles an entry line whose kind this file adds; false when the kind is
// not one of them (handled stays false) or on an error (reason set).
bool parseResourceEntry(const std::string& first, std::istringstream& words, const std::string& line,
                        const std::string& baseFolder, PackManifest& manifest, State& state, bool& handled,
                        std::string& reason)
{
    handled = false;
    std::string typeWord, kind;
    Pending entry;
    words >> typeWord;
    if (!parseStorage(words, entry.storage, reason)) {
        reason.clear();
        return true;  // the plain parser reports it
    }
    words >> kind;
    if (kind != "utf8" && kind != "utf16" && kind != "idlist" && kind != "restable" && kind != "table")
        return true;
    handled = true;
    if (!parseManifestNumber(first, entry.id) || !parseManifestNumber(typeWord, entry.type))
        return reason = "bad id or type word", false;
    if (kind == "restable") {
        if (state.hasResourceTable)
            return reason = "second resource table", false;
        state.hasResourceTable = true;
        state.resourceTableEntry = entry;
        return true;
    }
    if (kind == "table") {
        state.tables[entry.id] = entry;
        return true;
    }
    Bytes payload;
    if (!parsePayload(kind, words, line, baseFolder, payload, reason))
        return false;
    manifest.writer.add(entry.id, entry.type, std::move(payload), entry.storage.deflate, entry.storage.header);
    return true;
}

// Entries a tool library makes (span-program sets, sample fonts), all stored
// as the directive says.
template <typename Entry>
void addGeneratedEntries(std::istringstream& words, std::vector<Entry> (*make)(), PackManifest& manifest,
                         std::string& reason)
{
    Storage storage;
    if (!parseStorage(words, storage, reason))
        return;
    for (Entry& e : make())
        manifest.writer.add(e.id, e.type, std::move(e.payload), storage.deflate, storage.header);
}

} // namespace

bool parseResourceManifest(const std::string& text, const std::string& baseFolder, PackManifest& manifest,
                           std::string& error)
{
    State state;
    std::string plain;
    std::istringstream lines(text);
    std::string line;
    for (int n = 1; std::getline(lines, line); ++n) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream words(line);
        std::string first, reason;
        bool handled = true;
        if (!(words >> first) || first[0] == '#')
            handled = false;
        else if (first == "restable")
            parseRestableLine(words, state, reason);
        else if (first == "row")
            parseRowLine(words, line, baseFolder, state, reason);
        else if (first == "spanprograms")
            addGeneratedEntries(words, spanPackEntries, manifest, reason);
        else if (first == "fonts")
            addGeneratedEntries(words, sampleFontEntries, manifest, reason);
        else if (first == "index")
            handled = false;
        else
            parseResourceEntry(first, words, line, baseFolder, manifest, state, handled, reason);
        if (!reason.empty()) {
            error = "line " + std::to_string(n) + ": " + reason;
            return false;
        }
        // Blank lines in place of ours keep the plain parser's line numbers right.
        plain += handled ? std::string() : line;
        plain += '\n';
    }
    if (!parsePackManifest(plain, baseFolder, manifest, error))
        return false;
    if (state.hasResourceTable) {
        const Pending& e = state.resourceTableEntry;
        manifest.writer.add(e.id, e.type, encodeResourceTable(state.resourceTable), e.storage.deflate,
                            e.storage.header);
    }
    for (const auto& [id, table] : state.tables)
        manifest.writer.add(id, table.type, state.rows[id].build(), table.storage.deflate, table.storage.header);
    return true;
}
