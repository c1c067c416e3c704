// The scene tool's dump: loads a 3D file through the engine's public
// interface and prints each root's object graph depth first, one line per
// object: "DEPTH CLASSID USERID", with " seen" for an object met before.
#pragma once

#include <cstdint>
#include <string>

// Appends the dump, ending with "roots N", and returns 0; or returns the
// engine's result of the failed load and appends nothing.
int32_t loadAndDumpScene(const std::string& path, std::string& out);
// Returns the process exit code: 0 after "roots N", 1 after "error N".
int dumpScene(const std::string& path, std::string& out);
