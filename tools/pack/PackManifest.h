// Text manifest of a pack, one directive a line ('#' starts a comment line):
//   index sorted|range
//   ID TYPE plain|deflated HEADER_LENGTH file PATH
//   ID TYPE plain|deflated HEADER_LENGTH text TEXT...
// Numbers are decimal or 0x-prefixed hex; PATH is relative to the manifest's
// folder; TEXT runs to the end of the line with \n, \r, \t and \\ escapes.
#pragma once

#include <string>

#include "tools/pack/PackWriter.h"

struct PackManifest {
    PackIndexForm form = PackIndexForm::Sorted;
    PackWriter writer;
};

// False with "line N: reason" in error.
bool parsePackManifest(const std::string& text, const std::string& baseFolder, PackManifest& manifest,
                       std::string& error);
