// What an interface call returns: 0 for success, the small codes of
// InterfaceIds.h, or a leave code translated by mapLeaveCode.
#pragma once

#include <cstdint>

using EngineResult = int32_t;

// Mapped results of the engine's known leave codes.
constexpr EngineResult kResultFileOpen = 0x10000;
constexpr EngineResult kResultOutOfMemory = 0x10001;
constexpr EngineResult kResultChecksum = 0x10002;
constexpr EngineResult kResultCode39 = 0x10003;
constexpr EngineResult kResultSingularTransform = 0x10004;
constexpr EngineResult kResultArithmetic = 0x10005;
constexpr EngineResult kResultInvalidFloat = 0x10006;
constexpr EngineResult kResultIndexOutOfRange = 0x10007;
constexpr EngineResult kResultBadInput = 0x10008;
constexpr EngineResult kResultBadLength = 0x10009;
constexpr EngineResult kResultCorruptData = 0x1000A;
constexpr EngineResult kResultCode1203 = 0x1000B;
constexpr EngineResult kResultIllegalState = 0x1000C;
constexpr EngineResult kResultIllegalArgument = 0x1000D;
constexpr EngineResult kResultNullArgument = 0x1000E;

// Loader leaves carry a parser code shifted by this much; the map shifts it
// back so a load reports the parser's own code.
constexpr int32_t kParserLeaveOffset = -2000;

EngineResult mapLeaveCode(int32_t code);
