// Animation record encoders, each field in file order.
#include "tools/m3g/M3gAnimationEncoders.h"

#include <algorithm>
#include <cmath>

M3gRecord m3gAnimationControllerRecord(const M3gAnimationControllerFields& f)
{
    M3gRecordWriter out;
    m3gWriteObject3D(out, f.object);
    out.float32(f.speed).float32(f.weight).int32(f.activeIntervalStart).int32(f.activeIntervalEnd);
    out.float32(f.referenceSequenceTime).int32(f.referenceWorldTime);
    return out.record(kM3gTypeAnimationController);
}

M3gRecord m3gAnimationTrackRecord(const M3gAnimationTrackFields& f)
{
    M3gRecordWriter out;
    m3gWriteObject3D(out, f.object);
    out.objectIndex(f.keyframeSequence).objectIndex(f.animationController).uint32(f.propertyId);
    return out.record(kM3gTypeAnimationTrack);
}

M3gRecord m3gKeyframeSequenceRecord(const M3gKeyframeSequenceFields& f)
{
    M3gRecordWriter out;
    m3gWriteObject3D(out, f.object);
    out.byte(f.interpolation).byte(f.repeatMode).byte(f.encoding).uint32(f.duration);
    out.uint32(f.validRangeFirst).uint32(f.validRangeLast).uint32(f.componentCount);
    out.uint32(static_cast<uint32_t>(f.keyframes.size()));
    if (f.encoding != 0) {
        for (uint32_t c = 0; c < f.componentCount; ++c)
            out.float32(c < f.bias.size() ? f.bias[c] : 0.0f);
        for (uint32_t c = 0; c < f.componentCount; ++c)
            out.float32(c < f.scale.size() ? f.scale[c] : 1.0f);
    }
    const float steps = f.encoding == 1 ? 255.0f : 65535.0f;
    for (const M3gKeyframe& k : f.keyframes) {
        out.int32(k.time);
        for (uint32_t c = 0; c < f.componentCount; ++c) {
            const float v = c < k.value.size() ? k.value[c] : 0.0f;
            if (f.encoding == 0) {
                out.float32(v);
                continue;
            }
            const float bias = c < f.bias.size() ? f.bias[c] : 0.0f;
            const float scale = c < f.scale.size() ? f.scale[c] : 1.0f;
            const float q = std::clamp(std::round(scale != 0.0f ? (v - bias) / scale * steps : 0.0f), 0.0f, steps);
            if (f.encoding == 1)
                out.byte(static_cast<uint8_t>(q));
            else
                out.uint16(static_cast<uint16_t>(q));
        }
    }
    return out.record(kM3gTypeKeyframeSequence);
}
