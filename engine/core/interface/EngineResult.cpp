// The translation of leave codes into interface results.
#include "engine/core/interface/EngineResult.h"

namespace {

struct LeaveMapping {
    int32_t code;
    EngineResult result;
};

constexpr LeaveMapping kLeaveMap[] = {
    {0, 0},
    {-2, kResultFileOpen},
    {-4, kResultOutOfMemory},
    {-9, kResultChecksum},
    {-39, kResultCode39},
    {-41, kResultSingularTransform},
    {-1000, kResultArithmetic},
    {-1001, kResultInvalidFloat},
    {-1101, kResultIndexOutOfRange},
    {-1103, kResultBadInput},
    {-1200, kResultBadInput},
    {-1201, kResultBadLength},
    {-1202, kResultCorruptData},
    {-1203, kResultCode1203},
    {-1300, kResultIllegalState},
    {-1301, kResultIllegalArgument},
    {-1302, kResultNullArgument},
};

} // namespace

EngineResult mapLeaveCode(int32_t code)
{
    for (const LeaveMapping& m : kLeaveMap)
        if (m.code == code)
            return m.result;
    if (code < kParserLeaveOffset)
        return code - kParserLeaveOffset;
    return code;
}
