// Manifest parser of the pack tool.
#include "tools/pack/PackManifest.h"

#include <cstdlib>
#include <sstream>

#include "tools/pack/HostFiles.h"

bool parseManifestNumber(const std::string& word, uint32_t& value)
{
    if (word.empty() || word[0] == '-')
        return false;
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(word.c_str(), &end, 0);
    if (*end != 0 || parsed > 0xFFFFFFFFull)
        return false;
    value = static_cast<uint32_t>(parsed);
    return true;
}

std::string unescapeManifestText(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char c = text[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
    return out;
}

std::string manifestRestOfLine(std::istringstream& words, const std::string& line)
{
    std::streamoff at = words.tellg();
    std::string rest = at >= 0 && size_t(at) < line.size() ? line.substr(size_t(at)) : std::string();
    if (!rest.empty() && rest[0] == ' ')
        rest.erase(0, 1);
    return rest;
}

namespace {

// Parses one entry line; false with a reason.
bool parseEntry(std::istringstream& words, const std::string& first, const std::string& line,
                const std::string& baseFolder, PackWriter& writer, std::string& reason)
{
    std::string typeWord, storage, headerWord, kind;
    words >> typeWord >> storage >> headerWord >> kind;
    uint32_t id, type, header;
    if (!parseManifestNumber(first, id) || !parseManifestNumber(typeWord, type))
        return reason = "bad id or type word", false;
    if (storage != "plain" && storage != "deflated")
        return reason = "expected plain or deflated", false;
    if (!parseManifestNumber(headerWord, header) || header < 4 || header > 0xFFFF)
        return reason = "header length must be 4 to 65535", false;
    Bytes payload;
    if (kind == "file") {
        std::string path;
        words >> std::ws;
        std::getline(words, path);
        if (path.empty())
            return reason = "missing file name", false;
        std::string full = path[0] == '/' || baseFolder.empty() ? path : baseFolder + "/" + path;
        if (!readHostFile(full, payload))
            return reason = "cannot read " + full, false;
    } else if (kind == "text") {
        std::string text = unescapeManifestText(manifestRestOfLine(words, line));
        payload.assign(text.begin(), text.end());
    } else {
        return reason = "expected file or text", false;
    }
    writer.add(id, type, std::move(payload), storage == "deflated", static_cast<uint16_t>(header));
    return true;
}

} // namespace

bool parsePackManifest(const std::string& text, const std::string& baseFolder, PackManifest& manifest,
                       std::string& error)
{
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream words(line);
        std::string first;
        if (!(words >> first) || first[0] == '#')
            continue;
        std::string reason;
        if (first == "index") {
            std::string form;
            words >> form;
            if (form == "sorted")
                manifest.form = PackIndexForm::Sorted;
            else if (form == "range")
                manifest.form = PackIndexForm::Range;
            else
                reason = "index form must be sorted or range";
        } else {
            parseEntry(words, first, line, baseFolder, manifest.writer, reason);
        }
        if (!reason.empty()) {
            error = "line " + std::to_string(number) + ": " + reason;
            return false;
        }
    }
    return true;
}
