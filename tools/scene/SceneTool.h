// The scene tool's command line, callable from tests as from main:
//   dump FILE                                   the object graph of each root
//   render FILE OUT.png [--size WxH] [--time MS] a picture of the scene
// Names are taken relative to the current folder, like any tool's; the
// engine then finds the file's references beside the file.
// Exit codes: 0 done, 1 the file failed (one line on err), 2 a bad command
// line (the usage on err).
#pragma once

#include <cstdio>

int runSceneTool(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
