// Keyframe sequence: the keyframe store, its validation with the cached
// quaternions and tangents, the sampling and the three file encodings.
#include "engine/scene/CkwKeyframeSequence.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/math/Quaternion.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"
#include "engine/scene/CkwAnimationController.h"

namespace {

constexpr int64_t kMaxStoreWords = 0x7FFFFFFF;

// Whether keyframes of stride values plus a time each outgrow the store;
// dividing keeps the test itself from overflowing for counts near 2^32.
bool storeOverflows(int64_t keyframes, int64_t stride)
{
    return stride >= 0 && keyframes > kMaxStoreWords / (stride + 1);
}

// 2^31 as a float: quotients at or above it have no int32.
constexpr float kIntLimit = 2147483648.0f;

void addWeighted(float* out, const float* value, int32_t n, float weight)
{
    if (weight == 1.0f) {
        for (int32_t c = 0; c < n; ++c)
            out[c] += value[c];
        return;
    }
    for (int32_t c = 0; c < n; ++c)
        out[c] += value[c] * weight;
}

// A quaternion result: at most n of its four components (a 4-component track
// can drive a shorter MORPH_WEIGHTS buffer).
void addQuaternion(float* out, float* q, int32_t n, float weight)
{
    if (weight != 1.0f)
        quaternionScale(q, weight);
    for (int32_t c = 0; c < n; ++c)
        out[c] += q[c];
}

} // namespace

IkwSerializable* CkwKeyframeSequence::create() { return new CkwKeyframeSequence; }

int32_t CkwKeyframeSequence::rangeLength() const
{
    const int32_t length = m_validLast - m_validFirst + 1;
    return m_validFirst > m_validLast ? length + m_keyframeCount : length;
}

void CkwKeyframeSequence::allocate(int32_t keyframeCount, int32_t componentCount, int32_t interpolation)
{
    const int64_t stride = (interpolation == kSpline || interpolation == kSquad ? 3 : 1) * int64_t{componentCount};
    if (storeOverflows(keyframeCount, stride))
        leave(KErrNoMemory);
    // A failed growth keeps the old keyframes whole: the counts that index
    // them change only once both buffers exist.
    m_times.setCount(keyframeCount);
    m_values.setCount(static_cast<int32_t>(keyframeCount * stride));
    std::fill(m_times.begin(), m_times.end(), 0);
    std::fill(m_values.begin(), m_values.end(), 0.0f);
    m_interpolation = interpolation;
    m_componentCount = componentCount;
    m_keyframeCount = keyframeCount;
    m_prepared = false;
}

void CkwKeyframeSequence::init(int32_t keyframeCount, int32_t componentCount, int32_t interpolation)
{
    if ((interpolation == kSlerp || interpolation == kSquad) && componentCount != 4)
        leave(KErrIllegalArgument);
    allocate(keyframeCount, componentCount, interpolation);
    m_validLast = keyframeCount - 1;
    // A first keyframe the smaller store no longer has would be read past it.
    if (m_validFirst >= keyframeCount)
        m_validFirst = 0;
}

void CkwKeyframeSequence::setDuration(int32_t duration)
{
    m_duration = duration;
    m_durationFloat = static_cast<float>(duration);
}

void CkwKeyframeSequence::setValidRange(int32_t first, int32_t last)
{
    if (first < 0 || first >= m_keyframeCount || last < 0 || last >= m_keyframeCount)
        leave(KErrIndexOutOfRange);
    m_validFirst = first;
    m_validLast = last;
    m_prepared = false;
}

void CkwKeyframeSequence::setKeyframe(int32_t index, int32_t time, int32_t length, const float* value)
{
    if (index < 0 || index >= m_keyframeCount)
        leave(KErrIndexOutOfRange);
    if (length < m_componentCount)
        leave(KErrIllegalArgument);
    float* stored = m_values.at(index * valueStride());
    // Every component is checked before any is stored.
    for (int32_t c = 0; c < m_componentCount; ++c)
        checkFloat(value[c]);
    for (int32_t c = 0; c < m_componentCount; ++c)
        stored[c] = checkFloat(value[c]);
    m_times[index] = time;
    const bool inRange = m_validFirst <= m_validLast ? index >= m_validFirst && index <= m_validLast
                                                     : index >= m_validFirst || index <= m_validLast;
    if (inRange)
        m_prepared = false;
}

int32_t CkwKeyframeSequence::getKeyframe(int32_t index, int32_t length, float* out) const
{
    if (index < 0 || index >= m_keyframeCount)
        leave(KErrIndexOutOfRange);
    if (out != nullptr) {
        if (length < m_componentCount)
            leave(KErrIllegalArgument);
        std::memcpy(out, m_values.at(index * valueStride()), sizeof(float) * static_cast<size_t>(m_componentCount));
    }
    return m_times[index];
}

void CkwKeyframeSequence::validate()
{
    const int32_t length = rangeLength();
    for (int32_t r = 0; r + 1 < length; ++r)
        if (timeAt(r) > timeAt(r + 1))
            leave(KErrIllegalState);
    if (!(static_cast<float>(timeAt(length - 1)) <= m_durationFloat))
        leave(KErrIllegalState);
    m_prepared = true;
    if (m_interpolation == kSlerp || m_interpolation == kSquad)
        for (int32_t r = 0; r < length; ++r)
            quaternionNormalize(valueAt(r));
    if (hasTangents())
        computeTangents();
}

void CkwKeyframeSequence::computeTangents()
{
    const int32_t length = rangeLength();
    const int32_t components = m_componentCount;
    // Neighbours across the ends of the range lie one duration away.
    const int64_t d = saturateToInt(m_durationFloat + 0.5f);
    for (int32_t r = 0; r < length; ++r) {
        const int32_t p = r > 0 ? r - 1 : length - 1;
        const int32_t n = r + 1 < length ? r + 1 : 0;
        const bool atEnd = r == 0 || r == length - 1;
        const int64_t tp = int64_t{timeAt(p)} - (r == 0 ? d : 0);
        const int64_t tn = int64_t{timeAt(n)} + (r == length - 1 && r != 0 ? d : 0);
        const int64_t tk = timeAt(r);
        // Three keyframes at one time: the tangents belong to empty segments,
        // which are never interpolated; 0 instead of 0/0.
        float fIn = 0.0f;
        float fOut = 0.0f;
        if (tn != tp) {
            fIn = static_cast<float>(tk - tp) / static_cast<float>(tn - tp);
            fOut = static_cast<float>(tn - tk) / static_cast<float>(tn - tp);
        }
        float* outgoing = outgoingAt(r);
        float* incoming = incomingAt(r);
        if (m_repeatMode == kConstant && atEnd) {
            if (m_interpolation == kSpline) {
                std::fill(outgoing, outgoing + 2 * components, 0.0f);
                continue;
            }
            fIn = 0.0f;
            fOut = 0.0f;
        }
        if (m_interpolation == kSpline) {
            const float* vp = valueAt(p);
            const float* vn = valueAt(n);
            for (int32_t c = 0; c < components; ++c) {
                const float delta = vn[c] - vp[c];
                outgoing[c] = delta * fOut;
                incoming[c] = delta * fIn;
            }
            continue;
        }
        float a[4];
        float b[4];
        quaternionRelativeLog(a, valueAt(p), valueAt(r));
        quaternionRelativeLog(b, valueAt(r), valueAt(n));
        float tOut[4];
        float tIn[4];
        for (int c = 0; c < 4; ++c) {
            tOut[c] = ((a[c] + b[c]) * fOut - b[c]) * 0.5f;
            tIn[c] = (a[c] - (a[c] + b[c]) * fIn) * 0.5f;
        }
        quaternionExp(tOut);
        quaternionExp(tIn);
        const float* q = valueAt(r);
        quaternionCopy(outgoing, q);
        quaternionMultiply(outgoing, tOut);
        quaternionCopy(incoming, q);
        quaternionMultiply(incoming, tIn);
    }
}

float CkwKeyframeSequence::sample(int32_t worldTime, const CkwAnimationController* controller, int32_t length,
                                  float* out, float weight)
{
    if (!(m_durationFloat > 0.0f))
        leave(KErrIllegalState);
    // Before the validation, which has no keyframe to look at then.
    if (m_keyframeCount == 0)
        return 0.0f;
    if (!m_prepared)
        validate();

    const int32_t rangeEnd = rangeLength() - 1;
    const float tFirst = static_cast<float>(timeAt(0));
    const float tLast = static_cast<float>(timeAt(rangeEnd));
    // A duration set shorter since the validation leaves the last keyframe
    // past the end, as the validation would have refused it.
    if (!(tLast <= m_durationFloat))
        leave(KErrIllegalState);
    float validity = -1.0f;
    bool clamped = false;
    float p = 0.0f;
    if (m_repeatMode == kLoop) {
        if (controller != nullptr)
            p = controller->getLoopingPosition(worldTime, m_duration);
        const float loops = p / m_durationFloat;
        if (std::fabs(loops) < kIntLimit)
            p -= static_cast<float>(static_cast<int32_t>(loops)) * m_durationFloat;
        else
            p = static_cast<float>(std::fmod(static_cast<double>(p), static_cast<double>(m_durationFloat)));
        if (p < 0.0f)
            p += m_durationFloat;
    } else {
        if (controller != nullptr)
            p = controller->getPosition(worldTime);
        if (p < tFirst) {
            validity = tFirst - p;
            p = tFirst;
            clamped = true;
        } else {
            if (p >= m_durationFloat)
                p = static_cast<float>(m_duration - 1);
            if (p > tLast) {
                p = tLast;
                validity = kForever;
            }
        }
    }

    int32_t r = 0;
    bool exact = true;
    float s = 0.0f;
    if (rangeEnd == 0) {
        validity = kForever;
    } else if (!clamped && p >= tFirst && p < tLast) {
        // Times never fall in range order, so the segment is found by
        // halving: the keyframe at or before p with the next one after it,
        // where a walk from the first would stop. A sequence shared by many
        // tracks is sampled by each of them every pass.
        int32_t after = rangeEnd;
        uint64_t steps = 1;
        while (after - r > 1) {
            const int32_t middle = r + (after - r) / 2;
            if (p >= static_cast<float>(timeAt(middle)))
                r = middle;
            else
                after = middle;
            ++steps;
        }
        if (EngineContext* context = engineContext())
            context->visits += steps;
        const float t0 = static_cast<float>(timeAt(r));
        const float t1 = static_cast<float>(timeAt(after));
        exact = p == t0;
        if (!exact)
            s = (p - t0) / (t1 - t0);
    } else if (m_repeatMode == kLoop) {
        r = rangeEnd;
        const float gap = m_durationFloat - tLast;
        const float span = gap + tFirst;
        exact = (p == tLast && m_interpolation != kStep) || !(span > 0.0f);
        if (!exact)
            s = (p < tFirst ? gap + p : p - tLast) / span;
    } else if (!clamped) {
        r = rangeEnd;
    }

    const int32_t n = std::min(length, m_componentCount);
    const int32_t next = r < rangeEnd ? r + 1 : 0;
    const float* a = valueAt(r);
    const float* b = valueAt(next);
    // Whether the sampled value equals the next keyframe's: then it holds
    // until that keyframe's time.
    bool holds = true;
    if (exact || m_interpolation == kStep) {
        addWeighted(out, a, n, weight);
        for (int32_t c = 0; c < n; ++c)
            holds = holds && a[c] == b[c];
    } else if (m_interpolation == kLinear) {
        for (int32_t c = 0; c < n; ++c) {
            const float value = (b[c] - a[c]) * s + a[c];
            holds = holds && value == b[c];
            if (weight == 1.0f)
                out[c] = ((b[c] - a[c]) * s + out[c]) + a[c];
            else
                out[c] += value * weight;
        }
    } else if (m_interpolation == kSpline) {
        const float s2 = s * s;
        const float s3 = s2 * s;
        const float h1 = 2.0f * s3 - 3.0f * s2 + 1.0f;
        const float h2 = -2.0f * s3 + 3.0f * s2;
        const float h3 = s3 - 2.0f * s2 + s;
        const float h4 = s3 - s2;
        const float* outgoing = outgoingAt(r);
        const float* incoming = incomingAt(next);
        for (int32_t c = 0; c < n; ++c) {
            const float value = a[c] * h1 + outgoing[c] * h3 + h4 * incoming[c] + b[c] * h2;
            out[c] += weight == 1.0f ? value : value * weight;
        }
    } else {
        float q[4];
        if (m_interpolation == kSlerp)
            quaternionSlerp(q, a, b, s);
        else
            quaternionSquad(q, a, outgoingAt(r), incomingAt(next), b, s);
        for (int32_t c = 0; c < n; ++c)
            holds = holds && q[c] == b[c];
        addQuaternion(out, q, n, weight);
    }

    if (validity >= 0.0f)
        return validity;
    if (hasTangents() || !holds)
        return 0.0f;
    validity = static_cast<float>(timeAt(next)) - p;
    return validity < 0.0f ? validity + m_durationFloat : validity;
}

void CkwKeyframeSequence::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwObject3D::deserialize(buffer);
    const int32_t interpolation = buffer.readByteInRange(kLinear - 1, kStep + 1);
    m_repeatMode = buffer.readByteInRange(kConstant - 1, kLoop + 1);
    const uint8_t encoding = buffer.readByte();
    if (encoding > 2)
        leave(KErrCorruptData);
    const uint32_t duration = buffer.readUInt32();
    if (duration < 1 || duration > INT32_MAX)
        leave(KErrCorruptData);
    setDuration(static_cast<int32_t>(duration));
    const uint32_t first = buffer.readUInt32();
    const uint32_t last = buffer.readUInt32();
    const uint32_t components = buffer.readUInt32();
    if (components < 1 || ((interpolation == kSlerp || interpolation == kSquad) && components != 4))
        leave(KErrCorruptData);
    const uint32_t count = buffer.readUInt32();
    if (count < 1)
        leave(KErrCorruptData);
    const int64_t stride = (interpolation == kSpline || interpolation == kSquad ? 3 : 1) * int64_t{components};
    if (storeOverflows(count, stride))
        leave(KErrNoMemory);
    // The keyframes must be in the record before the store is sized for them.
    const uint64_t valueBytes = encoding == 0 ? 4 : encoding;
    const uint64_t needed = (encoding == 0 ? 0 : 8ull * components) + count * (4 + valueBytes * components);
    if (needed > buffer.remaining())
        leave(KErrReadPastEnd);
    allocate(static_cast<int32_t>(count), static_cast<int32_t>(components), interpolation);

    CkwArray<float> bias;
    CkwArray<float> scale;
    if (encoding != 0) {
        buffer.readFloatArray(bias, m_componentCount);
        buffer.readFloatArray(scale, m_componentCount);
    }
    const int32_t stored = valueStride();
    for (int32_t k = 0; k < m_keyframeCount; ++k) {
        const int32_t time = buffer.readInt32();
        if (time < 0)
            leave(KErrCorruptData);
        m_times[k] = time;
        float* value = m_values.at(k * stored);
        for (int32_t c = 0; c < m_componentCount; ++c) {
            if (encoding == 0)
                value[c] = buffer.readFloat();
            else if (encoding == 1)
                value[c] = static_cast<float>(buffer.readByte()) / 255.0f * scale[c] + bias[c];
            else
                value[c] = static_cast<float>(buffer.readUInt16()) / 65535.0f * scale[c] + bias[c];
        }
    }
    if (first >= count || last >= count)
        leave(KErrIndexOutOfRange);
    m_validFirst = static_cast<int32_t>(first);
    m_validLast = static_cast<int32_t>(last);
    m_prepared = false;
}

CkwObject3D* CkwKeyframeSequence::duplicate() const
{
    CkwCleanupPtr<CkwKeyframeSequence> copy(new CkwKeyframeSequence);
    copy->copyFrom(*this);
    copy->m_times.setCount(m_keyframeCount);
    copy->m_values.setCount(m_values.count());
    std::copy(m_times.begin(), m_times.begin() + m_keyframeCount, copy->m_times.begin());
    std::copy(m_values.begin(), m_values.end(), copy->m_values.begin());
    copy->m_interpolation = m_interpolation;
    copy->m_repeatMode = m_repeatMode;
    copy->m_durationFloat = m_durationFloat;
    copy->m_duration = m_duration;
    copy->m_validFirst = m_validFirst;
    copy->m_validLast = m_validLast;
    copy->m_componentCount = m_componentCount;
    copy->m_keyframeCount = m_keyframeCount;
    copy->m_prepared = m_prepared;
    return copy.release();
}
