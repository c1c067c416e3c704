// The engine's public 4x4 transform object (class id 29): one CkwMatrix with
// the Transform operations of the scene-graph object model. Arrays handed in
// and out are row-major; the matrix keeps column-major order.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/math/CkwMatrix.h"
#include "engine/core/runtime/CkwRefCount.h"

// A view of vertex data as the transform reads it: element (v, c) at
// (v * components + c) * componentBytes; 1-byte components are signed bytes,
// others signed 16-bit.
struct CkwVertexData {
    int32_t vertexCount;
    int32_t components;
    int32_t componentBytes;
    const void* data;

    int32_t getComponent(int32_t vertex, int32_t component) const;
};

class CkwTransform : public IkwSerializable {
public:
    // The factory's creator.
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassTransform; }

    CkwMatrix& matrix() { return m_matrix; }
    const CkwMatrix& matrix() const { return m_matrix; }

    // Row-major out of 16 floats; n < 16 leaves -1301.
    void get(int32_t n, float* out) const;
    // Row-major in; n < 16 leaves -1301, NaN or infinity -1001.
    void setMatrix(int32_t n, const float* in);
    void set(const CkwTransform& other);
    void setIdentity();
    // Leaves -41 for a singular matrix, which is left unchanged.
    void invert();
    bool isInvertible() const;
    void transpose();
    void postMultiply(const CkwTransform& other);
    void postRotateQuat(const float* q);
    void postScale(float sx, float sy, float sz);
    void postTranslate(const float* t);
    // Each group of four floats replaced by M x (x, y, z, w); n not a
    // multiple of 4 leaves -1301.
    void transform(int32_t n, float* vectors) const;
    // Four floats a vertex into out; w = 1 with withW, else 0.
    void transformArray(const CkwVertexData& array, int32_t n, float* out, bool withW) const;

    static bool isInvertible(const CkwTransform& transform) { return transform.isInvertible(); }

private:
    CkwMatrix m_matrix;
};
