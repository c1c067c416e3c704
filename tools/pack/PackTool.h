// The pack tool's commands, callable from tests as from main:
//   build MANIFEST OUT   writes a pack from a manifest
//   list PACK            one line per entry: id as indexed, type word, unpacked size
//   extract PACK ID OUT  the entry's bytes, inflated when stored deflated
// The reading commands go through ResourcePack and PackEntryStream, so the
// tool checks those classes on any pack. Errors: one line on err, result 1.
#pragma once

#include <cstdio>

int runPackTool(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
