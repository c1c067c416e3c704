// Seed packs for the pack readers' fuzz target and its replay test: whole
// packs of both index forms, and packs with one field made hostile.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/pack/PackWriter.h"

// Name and bytes; names starting "ok-" are whole packs whose entries all read.
std::vector<std::pair<std::string, Bytes>> makePackSeeds();
