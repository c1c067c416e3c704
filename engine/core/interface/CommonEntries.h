// The entries every scene object's table opens with: Object3D (3-18), then
// Transformable (19-31) and Node (32-45), or IndexBuffer (19-20). Each
// interface's table starts with one of these and adds its own entries, so
// they live here as constants the scene library's tables are composed from.
#pragma once

#include <cstdint>

#include "engine/core/interface/EntryAdapters.h"
#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/math/CkwTransform.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/scene/CkwAnimationTrackBase.h"
#include "engine/core/scene/CkwIndexBuffer.h"
#include "engine/core/scene/CkwNode.h"
#include "engine/core/scene/SceneIds.h"

// Wraps the first min(total, n) references into array and writes the total;
// the first failing wrap's result, else 0. Leaves -1301 for n > 0 without an
// array.
EngineResult getReferencesL(CkwObject3D& object, uint32_t n, EngineHandle** array, uint32_t* count);
// Three floats through checkFloat; a null vector leaves -1302.
void checkVector3L(const float* xyz, float* out);
// (angle in degrees, axis) to a unit quaternion x, y, z, w, after checkFloat
// on all four; a non-zero angle about the zero axis leaves -1301.
void angleAxisToQuaternionL(const float* angleAxis, float* quaternion);
// A unit quaternion to (angle in degrees, axis).
void quaternionToAngleAxis(const float* quaternion, float* angleAxis);
// An alignment target must be one of NONE, ORIGIN and the three axes.
void checkAlignmentTargetL(uint32_t target);
// An enumeration value outside low..high leaves -1301.
uint32_t checkEnumL(uint32_t value, uint32_t low, uint32_t high);
// checkFloat, then a value outside low..high (both included) leaves -1301.
float checkFloatInL(float value, float low, float high);

// Sizes and lengths cross the interface unsigned; the classes count in int32.
inline int32_t sizeArgument(uint32_t size) { return size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size); }

inline constexpr IkwObject3DTable kObject3DEntries = {
    kUnknownEntries,
    plain<+[](CkwObject3D& o, uint32_t* out) { *out = static_cast<uint32_t>(o.getUserID()); }>,
    plain<+[](CkwObject3D& o, uint32_t id) { o.setUserID(static_cast<int32_t>(id)); }>,
    plain<+[](CkwObject3D& o, uint32_t* out) { *out = static_cast<uint32_t>(o.getAnimationTrackCount()); }>,
    handing<+[](CkwObject3D& o, uint32_t i) -> CkwObject3D* { return o.getAnimationTrack(static_cast<int32_t>(i)); }>,
    trapped<+[](CkwObject3D& o, EngineHandle* t) { o.addAnimationTrack(&requireArgument<CkwObject3D>(t, kIidAnimationTrack)); }>,
    plain<+[](CkwObject3D& o, EngineHandle* t) {
        if (CkwObject3D* track = argumentOrNull<CkwObject3D>(t, kIidAnimationTrack))
            o.removeAnimationTrack(track);
    }>,
    trapped<+[](CkwObject3D& o, int32_t time, int32_t* validity) { requireOut(validity) = o.animate(time, kNewAnimationPass); }>,
    handing<+[](CkwObject3D& o, uint32_t userId) { return o.find(static_cast<int32_t>(userId)); }>,
    plain<+[](CkwObject3D& o, ObjectDestroyCallback callback) { o.setDestroyCallback(callback); }>,
    trapped<&getReferencesL>,
    plain<+[](CkwObject3D& o, uint32_t id, uint32_t size, void* buffer, int32_t* length) {
        *length = o.getUserParameter(static_cast<int32_t>(id), sizeArgument(size), static_cast<uint8_t*>(buffer));
    }>,
    trapped<+[](CkwObject3D& o, uint32_t id, uint32_t length, const void* bytes) {
        if (INT32_MAX < length)
            leave(KErrIllegalArgument);
        o.setUserParameter(static_cast<int32_t>(id), static_cast<int32_t>(length), static_cast<const uint8_t*>(bytes));
    }>,
    plain<+[](CkwObject3D& o) { o.removeUserParameters(); }>,
    plain<+[](CkwObject3D& o, uint32_t index, uint32_t* out) {
        int32_t id = 0;
        if (o.getUserParameterId(sizeArgument(index), id))
            *out = static_cast<uint32_t>(id);
    }>,
    plain<+[](CkwObject3D& o, uint32_t index, uint32_t size, void* buffer, int32_t* length) {
        *length = o.getUserParameterAt(sizeArgument(index), sizeArgument(size), static_cast<uint8_t*>(buffer));
    }>,
    handing<+[](CkwObject3D& o) { return o.duplicate(); }>,
};

inline constexpr IkwTransformableTable kTransformableEntries = {
    kObject3DEntries,
    plain<+[](CkwTransformable& t, float* out) { for (int i = 0; i < 3; ++i) out[i] = t.getTranslation()[i]; }>,
    trapped<+[](CkwTransformable& t, const float* xyz) {
        float v[3];
        checkVector3L(xyz, v);
        t.setTranslation(v[0], v[1], v[2]);
    }>,
    plain<+[](CkwTransformable& t, float* out) { for (int i = 0; i < 3; ++i) out[i] = t.getScale()[i]; }>,
    trapped<+[](CkwTransformable& t, const float* xyz) {
        float v[3];
        checkVector3L(xyz, v);
        t.setScale(v[0], v[1], v[2]);
    }>,
    plain<+[](CkwTransformable& t, float* out) { quaternionToAngleAxis(t.getOrientation(), out); }>,
    trapped<+[](CkwTransformable& t, const float* angleAxis) {
        float q[4];
        angleAxisToQuaternionL(angleAxis, q);
        t.setOrientation(q);
    }>,
    trapped<+[](CkwTransformable& t, const float* xyz) {
        float v[3];
        checkVector3L(xyz, v);
        t.translate(v[0], v[1], v[2]);
    }>,
    trapped<+[](CkwTransformable& t, const float* xyz) {
        float v[3];
        checkVector3L(xyz, v);
        t.scale(v[0], v[1], v[2]);
    }>,
    trapped<+[](CkwTransformable& t, const float* angleAxis) {
        float q[4];
        angleAxisToQuaternionL(angleAxis, q);
        t.preRotate(q);
    }>,
    trapped<+[](CkwTransformable& t, const float* angleAxis) {
        float q[4];
        angleAxisToQuaternionL(angleAxis, q);
        t.postRotate(q);
    }>,
    trapped<+[](CkwTransformable& t, EngineHandle* out) { t.getTransform(requireArgument<CkwTransform>(out, kIidTransform)); }>,
    trapped<+[](CkwTransformable& t, EngineHandle* out) {
        t.getCompositeTransform(requireArgument<CkwTransform>(out, kIidTransform));
    }>,
    trapped<+[](CkwTransformable& t, EngineHandle* in) { t.setTransform(argumentOf<CkwTransform>(in, kIidTransform)); }>,
};

inline constexpr IkwNodeTable kNodeEntries = {
    kTransformableEntries,
    handing<+[](CkwNode& n) { return n.getParent(); }>,
    plain<+[](CkwNode& n, float* out) { *out = n.getAlphaFactor(); }>,
    trapped<+[](CkwNode& n, float alpha) {
        const float a = checkFloat(alpha);
        if (!(a >= 0.0f && a <= 1.0f))
            leave(KErrIllegalArgument);
        n.setAlphaFactor(a);
    }>,
    plain<+[](CkwNode& n, uint8_t* out) { *out = n.isRenderingEnabled() ? 1 : 0; }>,
    plain<+[](CkwNode& n, uint32_t enable) { n.setRenderingEnable(enable != 0); }>,
    plain<+[](CkwNode& n, uint8_t* out) { *out = n.isPickingEnabled() ? 1 : 0; }>,
    plain<+[](CkwNode& n, uint32_t enable) { n.setPickingEnable((enable & 0xFF) != 0); }>,
    plain<+[](CkwNode& n, uint32_t* out) { *out = static_cast<uint32_t>(n.getScope()); }>,
    plain<+[](CkwNode& n, uint32_t scope) { n.setScope(static_cast<int32_t>(scope)); }>,
    trapped<+[](CkwNode& n, EngineHandle* target, EngineHandle* transform, uint8_t* out) {
        CkwNode& to = requireArgument<CkwNode>(target, kIidNode);
        CkwTransform& into = requireArgument<CkwTransform>(transform, kIidTransform);
        requireOut(out) = n.getTransformTo(&to, into) ? 1 : 0;
    }>,
    trapped<+[](CkwNode& n, EngineHandle* zReference, uint32_t zTarget, EngineHandle* yReference, uint32_t yTarget) {
        checkAlignmentTargetL(zTarget);
        checkAlignmentTargetL(yTarget);
        n.setAlignment(argumentOf<CkwNode>(zReference, kIidNode), static_cast<int32_t>(zTarget),
                       argumentOf<CkwNode>(yReference, kIidNode), static_cast<int32_t>(yTarget));
    }>,
    trapped<+[](CkwNode& n, uint32_t axis, uint32_t* out) {
        requireOut(out) = static_cast<uint32_t>(n.getAlignmentTarget(static_cast<int32_t>(axis)));
    }>,
    handing<+[](CkwNode& n, uint32_t axis) { return n.getAlignmentReference(static_cast<int32_t>(axis)); }>,
    trapped<+[](CkwNode& n, EngineHandle* reference) { n.align(argumentOf<CkwNode>(reference, kIidNode)); }>,
};

inline constexpr IkwIndexBufferTable kIndexBufferEntries = {
    kObject3DEntries,
    plain<+[](CkwIndexBuffer& b, uint32_t* out) { *out = static_cast<uint32_t>(b.getIndexCount()); }>,
    trapped<+[](CkwIndexBuffer& b, uint32_t capacity, int32_t* indices) {
        b.getTriangleIndices(sizeArgument(capacity), &requireOut(indices));
    }>,
};
