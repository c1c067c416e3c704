// Leave codes of the 3D engine. An operation that fails leaves with one of
// these; the method-table layer turns them into result codes.
#pragma once

#include <cstdint>

constexpr int32_t KErrNone = 0;
constexpr int32_t KErrGeneral = -1;
constexpr int32_t KErrNoMemory = -4;
constexpr int32_t KErrSingularTransform = -41;
constexpr int32_t KErrArithmetic = -1000;
constexpr int32_t KErrInvalidFloat = -1001;
constexpr int32_t KErrIndexOutOfRange = -1101;
constexpr int32_t KErrReadPastEnd = -1200;
constexpr int32_t KErrCorruptData = -1202;
constexpr int32_t KErrIllegalState = -1300;
constexpr int32_t KErrIllegalArgument = -1301;
constexpr int32_t KErrNullArgument = -1302;
