// A failed load of a 3D file told to a person: what went wrong in words, then
// the engine's result, e.g. "models/robot.m3g: no such file (error 0x10000)".
#pragma once

#include <cstdint>
#include <string>

std::string describeLoadFailure(const std::string& path, int32_t result);
