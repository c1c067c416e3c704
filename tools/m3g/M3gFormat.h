// Constants of the 3D file format as the writer sees it: the two file
// identifiers, the section compression schemes and the object types the
// writer itself produces. Scene encoders use the engine's class ids.
#pragma once

#include <array>
#include <cstdint>

enum class M3gFlavour : uint8_t { M3g, Own };

inline constexpr std::array<uint8_t, 12> kM3gIdentifier = {
    0xAB, 'J', 'S', 'R', '1', '8', '4', 0xBB, 0x0D, 0x0A, 0x1A, 0x0A};
inline constexpr std::array<uint8_t, 12> kOwnIdentifier = {
    0xBB, 'M', 'O', 'R', 'V', 'A', 'L', 0xAB, 0x0D, 0x0A, 0x1A, 0x0A};

inline constexpr uint8_t kM3gSchemeNone = 0;
inline constexpr uint8_t kM3gSchemeZlib = 1;

// Scheme byte, total length, uncompressed length before the data; checksum after.
inline constexpr uint32_t kM3gSectionPrefix = 9;
inline constexpr uint32_t kM3gSectionOverhead = 13;
// Type byte and length before the record data.
inline constexpr uint32_t kM3gRecordPrefix = 5;

inline constexpr uint8_t kM3gTypeHeader = 0;
inline constexpr uint8_t kM3gTypeExternalReference = 255;

// Object index 0 is the null reference and 1 the header object.
inline constexpr uint32_t kM3gNullIndex = 0;
inline constexpr uint32_t kM3gHeaderIndex = 1;
