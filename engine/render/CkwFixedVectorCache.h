// One vertex attribute of one vertex array under one matrix, transformed into
// fixed point the first time each vertex is asked for and kept while the key
// (array, its contents, matrix, scale and bias) stays the same, across frames.
// A new key costs nothing per vertex: each vertex carries the stamp of the key
// it was made under, so many meshes over one buffer pay only for what they use.
#pragma once

#include <cstdint>

#include "engine/core/math/CkwFixedVector3D.h"
#include "engine/core/math/CkwIntMatrix.h"
#include "engine/core/math/CkwMatrix.h"
#include "engine/core/runtime/CkwArray.h"

class CkwSkinnedMesh;
class CkwVertexArray;

class CkwFixedVectorCache {
public:
    virtual ~CkwFixedVectorCache() = default;

    // Keys the cache; true when the key changed and every vertex is to be
    // transformed anew. A skin applies its palette, one matrix per entry.
    bool prepare(CkwVertexArray* array, const CkwMatrix& matrix, float scale, const float* bias,
                 CkwSkinnedMesh* skin = nullptr);
    // False when the matrices could not be made in integer form (one is not
    // finite), or every vertex lies outside one clip plane (asked for with
    // checkInside).
    bool isBuilt() const { return m_built; }
    // Outputs are the transformed values times 2^outputExponent, the same
    // for every palette entry of a skin.
    int32_t outputExponent() const;
    // With checkInside, the next prepare also refuses input wholly outside
    // the clip volume on one axis (under a single matrix; a skin's vertices
    // are left to the clip codes).
    void setCheckInside(bool check) { m_checkInside = check; }
    // Directions take no translation from a skin's palette.
    void setDirections(bool directions) { m_directions = directions; }
    // Whether vertex i is transformed under the current key, and whether
    // any is.
    bool isMade(int32_t i) const { return m_stamps[i] >= m_madeStamp; }
    bool madeAny() const { return m_madeAny; }
    // Transforms the vertices first .. end - 1, with w, at once.
    void makeRun(int32_t first, int32_t end);
    // Vertices transformed since the last call.
    uint64_t takeTransformCount()
    {
        const uint64_t count = m_transformCount;
        m_transformCount = 0;
        return count;
    }

    // Homogeneous position (x, y, z of a common power-of-two scale) and w.
    const CkwFixedVector3D& getPosition(int32_t i, int32_t& w)
    {
        if (!isMade(i))
            transform(i);
        w = m_w[i];
        return m_positions[i];
    }
    // Every position and w; read only where isMade holds.
    const CkwFixedVector3D* positions() const { return m_positions.data(); }
    const int32_t* wValues() const { return m_w.data(); }
    // The transformed direction as a unit vector in 16.16.
    const CkwFixedVector3D& getNormal(int32_t i)
    {
        if (!isMade(i))
            transformNormal(i);
        return m_positions[i];
    }
    // The position p and w such that p / w is the point in 16.16 scaled by
    // 2^-exponent, the exponent chosen so the quotient stays below 128.
    CkwFixedVector3D getEyePosition(int32_t i, int32_t& w, int32_t& exponent);
    // s / q and t / q in 16.16 (0x10000 a texture period) and q in 16.16.
    // The quotients are kept where a position cache keeps its projection.
    void getTexCoord(int32_t i, int32_t* stq)
    {
        if (m_stamps[i] != m_projectedStamp)
            divideTexCoord(i);
        const CkwFixedVector3D& kept = m_projected[i];
        stq[0] = kept.x;
        stq[1] = kept.y;
        stq[2] = kept.z;
    }
    // x and y divided by w in 16.16, z / w in units of 2^-28 (depth keeps
    // every bit), and the perspective divisor 2^62 / w. w must be positive.
    const CkwFixedVector3D& getProjected(int32_t i, int64_t& divisor)
    {
        if (m_stamps[i] != m_projectedStamp)
            project(i);
        divisor = m_divisors[i];
        return m_projected[i];
    }

    // Empties the arrays and clears the key.
    void reset();

private:
    // A vertex's stamp is m_madeStamp once transformed under the current
    // key, and m_projectedStamp, one more, once projected too; stamps of
    // earlier keys are smaller.
    static constexpr uint32_t kLastStamp = 0xFFFFFFF0u;

    // The first use of a vertex, out of line so the kept case stays small.
    void transform(int32_t i);
    void transformNormal(int32_t i);
    void divideTexCoord(int32_t i);
    void divideTexCoord(const CkwFixedVector3D& p, int32_t w, int32_t* stq);
    void project(int32_t i);
    const CkwIntMatrix& matrixOf(int32_t i) const;

    CkwVertexArray* m_array = nullptr;
    uint32_t m_revision = 0;
    CkwMatrix m_matrix;
    CkwArray<CkwFixedVector3D> m_positions;
    CkwArray<CkwFixedVector3D> m_projected;
    CkwArray<int32_t> m_w;
    CkwArray<int64_t> m_divisors;
    // Every array holds the most vertices any key had, so a key of fewer
    // vertices and then one of more cost nothing to size.
    CkwArray<uint32_t> m_stamps;
    uint32_t m_madeStamp = 2;
    uint32_t m_projectedStamp = 3;
    bool m_madeAny = false;
    uint64_t m_transformCount = 0;
    CkwArray<CkwIntMatrix> m_matrices;
    CkwArray<CkwMatrix> m_entryMatrices;  // the float matrices m_matrices are made from
    CkwSkinnedMesh* m_skin = nullptr;
    uint64_t m_paletteSerial = 0;
    const uint16_t* m_paletteIndices = nullptr;
    float m_scale = 0.0f;
    float m_bias[3] = {};
    int32_t m_lastW = 0, m_lastReciprocal = 0, m_lastShift = 0;
    bool m_prepared = false;
    bool m_built = false;
    bool m_checkInside = false;
    bool m_directions = false;
};

// p / w for w > 0, rounded: x and y in 16.16, z in units of 2^-28; divisor is
// 2^62 / w, exact, as textures are interpolated by it across the screen.
CkwFixedVector3D divideByW(const CkwFixedVector3D& p, int32_t w, int64_t& divisor);
