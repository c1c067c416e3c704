// Type ids of the string classes. They double as the tags that tell
// String::read and WideString::read how the bytes of a stream are encoded.
#pragma once

#include <cstdint>

constexpr uint32_t kStringTypeId = 0x64365E6E;      // narrow bytes
constexpr uint32_t kWideStringTypeId = 0x43735EB4;  // little-endian UTF-16 units
constexpr uint32_t kUtf8TextTag = 0xF686AADC;       // modified UTF-8, decoded to UTF-16
