// One vertex attribute for a run of vertices: 2 to 4 signed 8- or 16-bit
// components per vertex, kept packed so the renderer transforms them in 16.16
// without unpacking. The bounds of the values are cached and recomputed on
// the first query after a write.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/math/CkwIntMatrix.h"
#include "engine/core/math/CkwTransform.h"
#include "engine/core/scene/CkwObject3D.h"

class CkwVertexArray : public CkwObject3D {
public:
    static constexpr int32_t kMaxVertices = 65535;

    // The factory's creator of class id 20: an empty array.
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassVertexArray; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    CkwObject3D* duplicate() const override;

    // Zeroed values for the counts; the interface has checked their ranges.
    void init(int32_t vertexCount, int32_t componentCount, int32_t componentSize);
    int32_t getVertexCount() const { return m_vertexCount; }
    int32_t getComponentCount() const { return m_componentCount; }
    int32_t getComponentSize() const { return m_componentSize; }

    // count vertices from first. A component size other than the accessor's
    // leaves -1300, a short array -1301, a range outside the vertices -1101.
    void getShorts(int32_t first, int32_t count, int32_t outLength, int16_t* out) const;
    void setShorts(int32_t first, int32_t count, int32_t inLength, const int16_t* in);
    void getBytes(int32_t first, int32_t count, int32_t outLength, int8_t* out) const;
    void setBytes(int32_t first, int32_t count, int32_t inLength, const int8_t* in);

    // Writes vertexCount vertices' worth of components from element
    // firstElement on, each (source + 127) >> 8 of an 8.8 accumulator; 8-bit
    // arrays saturate at 255 with clamp, else keep the low bits. Elements
    // past the array leave -1101.
    void setFromAccumulator(int32_t firstElement, int32_t vertexCount, const int32_t* source, bool clamp);
    // count elements from the first, each value x scale truncated.
    void setFromFloats(const float* values, float scale, int32_t count);
    void setElement(int32_t vertex, int32_t component, int32_t value);
    // The component as stored, signed.
    int32_t getElement(int32_t vertex, int32_t component) const;
    const uint8_t* elementAddress(int32_t vertex, int32_t component) const;
    void markBoundsDirty();
    // Changes with every write, and differs between arrays that were ever
    // written: vertex caches key on it, as bounds queries clear the dirty
    // flag for everyone and a new array may reuse a freed one's address.
    uint32_t getRevision() const { return m_revision; }

    // Vertices first..end-1 into 16.16 points, three words a vertex at the
    // vertex's own index; outW (when given) receives w.
    void transformPoints(int32_t first, int32_t end, const CkwIntMatrix& matrix, int32_t* outPoints,
                         int32_t* outW) const;
    void transformPoint(int32_t index, const CkwIntMatrix& matrix, int32_t* out, int32_t* outW) const;
    // The 3x3 part only.
    void transformNormal(int32_t index, const CkwIntMatrix& matrix, int32_t* out) const;

    // Recomputes the bounds when dirty; returns the largest magnitude.
    int32_t updateBounds();
    // Bounds a deformed copy as it is made: a scan of the whole source that
    // the deform budget pays for, not the frame's visits.
    void updateDeformedBounds();
    // bias[i] + max[i] x scale (min[i]) for x, y and z.
    void getBoundsMax(float scale, const float* bias, float* out);
    void getBoundsMin(float scale, const float* bias, float* out);

    CkwVertexData view() const { return {m_vertexCount, m_componentCount, m_componentSize, m_values.data()}; }

private:
    void scanBounds();
    void checkRange(int32_t size, int32_t first, int32_t count, int32_t length) const;
    int32_t elementCount() const { return m_vertexCount * m_componentCount; }
    int16_t* shorts() { return reinterpret_cast<int16_t*>(m_values.data()); }
    const int16_t* shorts() const { return reinterpret_cast<const int16_t*>(m_values.data()); }
    void storeElement(int32_t element, int32_t value);

    int32_t m_vertexCount = 0;
    int32_t m_componentCount = 0;
    int32_t m_componentSize = 0;
    CkwArray<uint8_t> m_values;
    bool m_boundsDirty = true;
    uint32_t m_revision = 0;
    int32_t m_largestMagnitude = 0;
    int32_t m_max[3] = {};
    int32_t m_min[3] = {};
};
