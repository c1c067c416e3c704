// The bodies of the common entries too long for one line of a table.
#include "engine/core/interface/CommonEntries.h"

#include "engine/core/math/FloatBits.h"
#include "engine/core/math/Quaternion.h"
#include "engine/core/runtime/CkwArray.h"
#include "engine/core/runtime/CleanupStack.h"

namespace {

// Degrees at the interface, radians inside: the engine's own factors.
constexpr float kRadiansToDegrees = 57.295776f;

} // namespace

EngineResult getReferencesL(CkwObject3D& object, uint32_t n, EngineHandle** array, uint32_t* count)
{
    CkwCleanupPtr<CkwArray<CkwObject3D*>> references(new CkwArray<CkwObject3D*>);
    const int32_t total = object.getReferences(0, nullptr);
    references->setCount(total);
    object.getReferences(total, references->data());
    if (n > 0 && array == nullptr)
        leave(KErrIllegalArgument);
    requireOut(count);
    const uint32_t wanted = n < static_cast<uint32_t>(total) ? n : static_cast<uint32_t>(total);
    EngineResult result = 0;
    uint32_t i = 0;
    for (; i < wanted && result == 0; ++i)
        result = wrapObject(references->data()[i], &array[i]);
    // The caller releases what it got: the places after a failed wrap hold nothing.
    for (; i < wanted; ++i)
        array[i] = nullptr;
    *count = static_cast<uint32_t>(total);
    return result;
}

void checkVector3L(const float* xyz, float* out)
{
    if (xyz == nullptr)
        leave(KErrNullArgument);
    for (int i = 0; i < 3; ++i)
        out[i] = checkFloat(xyz[i]);
}

void angleAxisToQuaternionL(const float* angleAxis, float* quaternion)
{
    if (angleAxis == nullptr)
        leave(KErrNullArgument);
    const float angle = checkFloat(angleAxis[0]) * kDegreesToRadians;
    float axis[3];
    checkVector3L(angleAxis + 1, axis);
    if (angle != 0.0f && axis[0] == 0.0f && axis[1] == 0.0f && axis[2] == 0.0f)
        leave(KErrIllegalArgument);
    quaternionFromAxisAngle(quaternion, angle, axis);
}

void quaternionToAngleAxis(const float* quaternion, float* angleAxis)
{
    float angle = 0.0f;
    float axis[3] = {0.0f, 0.0f, 0.0f};
    quaternionToAxisAngle(quaternion, axis, &angle);
    angleAxis[0] = angle * kRadiansToDegrees;
    angleAxis[1] = axis[0];
    angleAxis[2] = axis[1];
    angleAxis[3] = axis[2];
}

void checkAlignmentTargetL(uint32_t target)
{
    checkEnumL(target, static_cast<uint32_t>(kAlignNone), static_cast<uint32_t>(kAlignZAxis));
}

uint32_t checkEnumL(uint32_t value, uint32_t low, uint32_t high)
{
    if (value < low || value > high)
        leave(KErrIllegalArgument);
    return value;
}

float checkFloatInL(float value, float low, float high)
{
    const float v = checkFloat(value);
    if (!(v >= low && v <= high))
        leave(KErrIllegalArgument);
    return v;
}
