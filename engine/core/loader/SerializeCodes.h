// Result and leave codes of the 3D file parser. The parser returns its own
// codes from reset, write and close instead of leaving; the loader turns them
// into leaves with the code - 2000.
#pragma once

#include <cstdint>

constexpr int32_t kSerializeOk = -1;              // all bytes taken, more wanted
constexpr int32_t kSerializeInputBegun = -5;      // reset after identifier bytes
constexpr int32_t kSerializeBadIdentifier = -7;
constexpr int32_t kSerializeBadData = -8;         // scheme, decompressor or object layer
constexpr int32_t kSerializeBadChecksum = -9;
constexpr int32_t kSerializeUnfinishedObject = -10;
constexpr int32_t kSerializePastFileSize = -11;

// Leaves of the parser that the engine's general list does not hold.
constexpr int32_t kSerializeLeaveWrongState = -1103;  // closed, failed, or input ends inside a section
constexpr int32_t kSerializeLeaveBadLength = -1201;   // section length below 13, or output size mismatch

constexpr uint8_t kSchemeNone = 0;
constexpr uint8_t kSchemeZlib = 1;
constexpr uint32_t kSectionOverhead = 13;
constexpr uint32_t kFileIdentifierLength = 12;

// Object types with a meaning to the parser itself.
constexpr uint32_t kObjectTypeHeader = 0;
constexpr uint32_t kObjectTypeExternalReference = 255;
constexpr uint32_t kObjectTypeLimitM3g = 23;
constexpr uint32_t kObjectTypeLimitOwn = 26;
