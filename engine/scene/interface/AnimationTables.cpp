// The animation and Transform tables. Counts, enumerations, times and floats
// are checked here before the class is called; the classes check what depends
// on their state (indices, component counts, valid ranges).
#include "engine/scene/interface/AnimationTables.h"

#include "engine/core/interface/CommonEntries.h"
#include "engine/core/math/Quaternion.h"
#include "engine/scene/CkwAnimationController.h"
#include "engine/scene/CkwAnimationTrack.h"
#include "engine/scene/CkwKeyframeSequence.h"
#include "engine/scene/CkwVertexArray.h"

namespace {

void checkQuaternionL(const float* in, float* q)
{
    if (in == nullptr)
        leave(KErrNullArgument);
    for (int i = 0; i < 4; ++i)
        q[i] = checkFloat(in[i]);
    if (q[0] == 0.0f && q[1] == 0.0f && q[2] == 0.0f && q[3] == 0.0f)
        leave(KErrIllegalArgument);
}

} // namespace

constexpr IkwKeyframeSequenceTable kKeyframeSequenceTable = {
    kObject3DEntries,
    trapped<+[](CkwKeyframeSequence& s, int32_t count, int32_t components, uint32_t interpolation) {
        if (count < 1 || components < 1)
            leave(KErrIllegalArgument);
        s.init(count, components,
               static_cast<int32_t>(checkEnumL(interpolation, CkwKeyframeSequence::kLinear, CkwKeyframeSequence::kStep)));
    }>,
    plain<+[](CkwKeyframeSequence& s, int32_t* out) { *out = s.getDuration(); }>,
    trapped<+[](CkwKeyframeSequence& s, int32_t duration) {
        if (duration < 1)
            leave(KErrIllegalArgument);
        s.setDuration(duration);
    }>,
    plain<+[](CkwKeyframeSequence& s, uint32_t* out) { *out = static_cast<uint32_t>(s.getRepeatMode()); }>,
    trapped<+[](CkwKeyframeSequence& s, uint32_t mode) {
        s.setRepeatMode(static_cast<int32_t>(checkEnumL(mode, CkwKeyframeSequence::kConstant, CkwKeyframeSequence::kLoop)));
    }>,
    plain<+[](CkwKeyframeSequence& s, int32_t* out) { *out = s.getKeyframeCount(); }>,
    plain<+[](CkwKeyframeSequence& s, int32_t* out) { *out = s.getComponentCount(); }>,
    plain<+[](CkwKeyframeSequence& s, uint32_t* out) { *out = static_cast<uint32_t>(s.getInterpolation()); }>,
    plain<+[](CkwKeyframeSequence& s, int32_t* out) { *out = s.getValidRangeFirst(); }>,
    plain<+[](CkwKeyframeSequence& s, int32_t* out) { *out = s.getValidRangeLast(); }>,
    trapped<+[](CkwKeyframeSequence& s, int32_t index, uint32_t size, float* values, int32_t* time) {
        requireOut(time) = s.getKeyframe(index, sizeArgument(size), values);
    }>,
    trapped<+[](CkwKeyframeSequence& s, int32_t index, int32_t time, uint32_t length, const float* values) {
        if (time < 0)
            leave(KErrIllegalArgument);
        s.setKeyframe(index, time, sizeArgument(length), &requireOut(values));
    }>,
    trapped<+[](CkwKeyframeSequence& s, int32_t first, int32_t last) { s.setValidRange(first, last); }>,
};

constexpr IkwAnimationTrackTable kAnimationTrackTable = {
    kObject3DEntries,
    trapped<+[](CkwAnimationTrack& t, EngineHandle* sequence, uint32_t property) {
        auto& s = requireArgument<CkwKeyframeSequence>(sequence, kIidKeyframeSequence);
        t.init(&s, static_cast<int32_t>(checkEnumL(property, kPropertyAlpha, kPropertyVisibility)));
    }>,
    handing<+[](CkwAnimationTrack& t) -> CkwObject3D* { return t.getController(); }>,
    plain<+[](CkwAnimationTrack& t, EngineHandle* controller) {
        if (CkwAnimationController* c; optionalArgument(controller, kIidAnimationController, c))
            t.setController(c);
    }>,
    handing<+[](CkwAnimationTrack& t) -> CkwObject3D* { return t.getKeyframeSequence(); }>,
    plain<+[](CkwAnimationTrack& t, uint32_t* out) { *out = static_cast<uint32_t>(t.getTargetProperty()); }>,
};

constexpr IkwAnimationControllerTable kAnimationControllerTable = {
    kObject3DEntries,
    plain<+[](CkwAnimationController& c, float* out) { *out = c.getWeight(); }>,
    trapped<+[](CkwAnimationController& c, float weight) {
        const float w = checkFloat(weight);
        if (w < 0.0f)
            leave(KErrIllegalArgument);
        c.setWeight(w);
    }>,
    plain<+[](CkwAnimationController& c, int32_t* out) { *out = c.getActiveIntervalStart(); }>,
    plain<+[](CkwAnimationController& c, int32_t* out) { *out = c.getActiveIntervalEnd(); }>,
    plain<+[](CkwAnimationController& c, float* out) { *out = c.getSpeed(); }>,
    plain<+[](CkwAnimationController& c, int32_t* out) { *out = c.getRefWorldTime(); }>,
    trapped<+[](CkwAnimationController& c, int32_t start, int32_t end) { c.setActiveInterval(start, end); }>,
    plain<+[](CkwAnimationController& c, int32_t worldTime, float* out) { *out = c.getPosition(worldTime); }>,
    trapped<+[](CkwAnimationController& c, float sequenceTime, int32_t worldTime) {
        c.setPosition(checkFloat(sequenceTime), worldTime);
    }>,
    trapped<+[](CkwAnimationController& c, float speed, int32_t worldTime) { c.setSpeed(checkFloat(speed), worldTime); }>,
};

constexpr IkwTransformTable kTransformTable = {
    kUnknownEntries,
    trapped<+[](CkwTransform& t, EngineHandle* other) { t.set(requireArgument<CkwTransform>(other, kIidTransform)); }>,
    trapped<+[](CkwTransform& t, uint32_t length, float* out) { t.get(sizeArgument(length), &requireOut(out)); }>,
    trapped<+[](CkwTransform& t, uint32_t length, const float* in) { t.setMatrix(sizeArgument(length), &requireOut(in)); }>,
    trapped<+[](CkwTransform& t, EngineHandle* other) { t.set(requireArgument<CkwTransform>(other, kIidTransform)); }>,
    plain<+[](CkwTransform& t) { t.setIdentity(); }>,
    trapped<+[](CkwTransform& t) { t.invert(); }>,
    trapped<+[](CkwTransform& t, EngineHandle* other) {
        t.postMultiply(requireArgument<CkwTransform>(other, kIidTransform));
    }>,
    trapped<+[](CkwTransform& t, const float* angleAxis) {
        float q[4];
        angleAxisToQuaternionL(angleAxis, q);
        t.postRotateQuat(q);
    }>,
    trapped<+[](CkwTransform& t, const float* quaternion) {
        float q[4];
        checkQuaternionL(quaternion, q);
        t.postRotateQuat(q);
    }>,
    trapped<+[](CkwTransform& t, const float* xyz) {
        float v[3];
        checkVector3L(xyz, v);
        t.postScale(v[0], v[1], v[2]);
    }>,
    trapped<+[](CkwTransform& t, const float* xyz) {
        float v[3];
        checkVector3L(xyz, v);
        t.postTranslate(v);
    }>,
    trapped<+[](CkwTransform& t, EngineHandle* array, uint32_t length, float* out, uint32_t withW) {
        const CkwVertexArray& vertices = requireArgument<CkwVertexArray>(array, kIidVertexArray);
        t.transformArray(vertices.view(), sizeArgument(length), &requireOut(out), (withW & 0xFF) != 0);
    }>,
    trapped<+[](CkwTransform& t, uint32_t length, float* vectors) { t.transform(sizeArgument(length), &requireOut(vectors)); }>,
    plain<+[](CkwTransform& t) { t.transpose(); }>,
};
