// A piecewise curve in 16.16 through knots kept in file order: straight
// segments, or a cubic through each segment with tangents from its
// neighbours. It shapes the coordinates and colour parameters of plasma images.
#pragma once

#include <bit>
#include <cstdint>

#include "engine/core/runtime/CkwArray.h"
#include "engine/core/runtime/CkwHeapObject.h"

class CkwSerializeBufferObjectsIn;

struct SkwKnot {
    int32_t x; // 16.16
    int32_t y; // 16.16
};

class CkwWarpMap : public CkwHeapObject {
public:
    // No knots: 0.5; one knot: its y. The first answer after a change to
    // the knots makes their index, and leaves -4 when that cannot be had.
    int32_t evaluate(int32_t x) const;
    // Smooth flag, a knot count and x, y floats per knot.
    void deserialize(CkwSerializeBufferObjectsIn& buffer);
    void appendKnot(int32_t x, int32_t y)
    {
        m_indexed = false;
        m_knots.append({x, y});
    }
    // Inserts before index (0..count); another index leaves -1101.
    void insertKnot(int32_t index, int32_t x, int32_t y);
    void copyFrom(const CkwWarpMap& source);

    // What one evaluation costs: itself and a bisection of the knots.
    int32_t searchSteps() const { return 1 + std::bit_width(static_cast<uint32_t>(m_knots.count())); }
    bool isSmooth() const { return m_smooth; }
    void setSmooth(bool smooth) { m_smooth = smooth; }
    const CkwArray<SkwKnot>& knots() const { return m_knots; }

private:
    // The first segment i holding x with distinct ends, or -1.
    int32_t findSegment(int32_t x) const;
    void index() const;
    int32_t evaluateSmooth(int32_t x) const;

    bool m_smooth = false;
    CkwArray<SkwKnot> m_knots;
    // What findSegment bisects, made again after any change to the knots:
    // their distinct xs ascending, and the answer for each slot, slot 2k
    // being the x m_xs[k] and slot 2k + 1 the open gap above it. A plasma
    // asks for every pixel, so a walk of the knots each time would cost
    // their count times the picture.
    mutable CkwArray<int32_t> m_xs;
    mutable CkwArray<int32_t> m_owners;
    mutable bool m_indexed = false;
};
