// The pack manifest with the resource directives on top of the plain ones:
//   ID TYPE plain|deflated HEADER utf8 TEXT...     modified UTF-8 text
//   ID TYPE plain|deflated HEADER utf16 TEXT...    little-endian UTF-16 text
//   ID TYPE plain|deflated HEADER idlist V...      u16 count, u32 values
//   ID TYPE plain|deflated HEADER restable         resource table, filled by:
//     restable alias ID...                        aliases, in order
//     restable languages WIDTH NAME_LENGTH        attribute width, name bytes
//     restable language ID ATTRIBUTE_HEX NAME     one language, in order
//     restable strings ID...                      string tables, in order
//   ID TYPE plain|deflated HEADER table            entry table, filled by:
//     row TABLE_ID ROW_ID TAG plain|deflated HEADER KIND ...
//   spanprograms plain|deflated HEADER            the three span-program sets
//                                                 and their record entries
//   fonts plain|deflated HEADER                   the six sample fonts: data,
//                                                 sheets and glyph surfaces
// A row's KIND is text, file, utf8, utf16 or idlist; rows are stored in the
// pack's entry layout, with their tag. TEXT takes \n, \r, \t, \\ escapes.
#pragma once

#include <string>

#include "tools/pack/PackManifest.h"

// False with "line N: reason" in error.
bool parseResourceManifest(const std::string& text, const std::string& baseFolder, PackManifest& manifest,
                           std::string& error);
