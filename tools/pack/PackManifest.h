// Text manifest of a pack, one directive a line ('#' starts a comment line):
//   index sorted|range
//   ID TYPE plain|deflated HEADER_LENGTH file PATH
//   ID TYPE plain|deflated HEADER_LENGTH text TEXT...
// Numbers are decimal or 0x-prefixed hex; PATH is relative to the manifest's
// folder; TEXT runs to the end of the line with \n, \r, \t and \\ escapes.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

#include "tools/pack/PackWriter.h"

struct PackManifest {
    PackIndexForm form = PackIndexForm::Sorted;
    PackWriter writer;
};

// A decimal or 0x-prefixed number that fits 32 bits; no sign.
bool parseManifestNumber(const std::string& word, uint32_t& value);
// TEXT with its \n, \r, \t and \\ escapes resolved.
std::string unescapeManifestText(const std::string& text);
// The raw rest of the line after the words read so far, one blank dropped,
// so a text keeps its inner blanks.
std::string manifestRestOfLine(std::istringstream& words, const std::string& line);

// False with "line N: reason" in error.
bool parsePackManifest(const std::string& text, const std::string& baseFolder, PackManifest& manifest,
                       std::string& error);
