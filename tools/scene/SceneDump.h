// The scene tool's dump: loads a 3D file through the engine's public
// interface and prints each root's object graph depth first, one line per
// object: "DEPTH CLASSID USERID", with " seen" for an object met before.
#pragma once

#include <string>

// Returns the process exit code: 0 after "roots N", 1 after "error N".
int dumpScene(const std::string& path, std::string& out);
