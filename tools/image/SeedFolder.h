// The fuzz seed programs' shared main: each writes its named seeds into the
// folder given as its one argument (the committed corpus is the output).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/image/ImageWriters.h"

using NamedSeeds = std::vector<std::pair<std::string, ImageBytes>>;

// 0 when every seed was written; usage and failures go to stderr.
int writeSeedFolder(int argc, char** argv, const NamedSeeds& seeds);
