// The abstract base of index buffers: the triangle-strip array supplies the
// index count and the expansion of its strips into a triangle list.
#pragma once

#include <cstdint>

#include "engine/core/scene/CkwObject3D.h"

class CkwIndexBuffer : public CkwObject3D {
public:
    // Indices of the triangle list the buffer expands to.
    virtual int32_t getIndexCount() const = 0;
    // Writes the triangle list as 32-bit indices, three per triangle.
    virtual void getTriangleIndices(int32_t outLength, int32_t* out) const = 0;

    uint32_t maxIndex() const { return m_maxIndex; }

protected:
    uint32_t m_maxIndex = 0;
};
