// The float matrix library. Products sum their terms in index order, so every
// class shortcut gives exactly what the full product gives on matrices whose
// zeros and ones are exact; the class word only decides how much work is done.
#include "engine/core/math/CkwMatrix.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

#include "engine/core/math/Quaternion.h"

namespace {

constexpr float kPivotMinimum = 1.1754944e-38f;

bool nearZero(float v) { return std::fabs(v) <= kMatrixEpsilon; }
bool nearOne(float v) { return std::fabs(v - 1.0f) <= kMatrixEpsilon; }

// out = a x b over all four rows and columns.
void fullProduct(const float* a, const float* b, float* out)
{
    for (int c = 0; c < 4; ++c) {
        const float* bc = b + 4 * c;
        for (int r = 0; r < 4; ++r)
            out[4 * c + r] = a[r] * bc[0] + a[4 + r] * bc[1] + a[8 + r] * bc[2] + a[12 + r] * bc[3];
    }
}

// out = a x b where b's bottom row is exactly 0 0 0 1: the b3x terms vanish.
void productAffineRight(const float* a, const float* b, float* out)
{
    for (int c = 0; c < 3; ++c) {
        const float* bc = b + 4 * c;
        for (int r = 0; r < 4; ++r)
            out[4 * c + r] = a[r] * bc[0] + a[4 + r] * bc[1] + a[8 + r] * bc[2];
    }
    for (int r = 0; r < 4; ++r)
        out[12 + r] = a[r] * b[12] + a[4 + r] * b[13] + a[8 + r] * b[14] + a[12 + r];
}

} // namespace

CkwMatrix CkwMatrix::scaling(float sx, float sy, float sz)
{
    CkwMatrix result;
    if (nearOne(sx) && nearOne(sy) && nearOne(sz))
        return result;
    result.m[0] = sx;
    result.m[5] = sy;
    result.m[10] = sz;
    result.classWord = kMatrixDiagonal;
    return result;
}

CkwMatrix CkwMatrix::translation(float tx, float ty, float tz)
{
    CkwMatrix result;
    if (nearZero(tx) && nearZero(ty) && nearZero(tz))
        return result;
    result.m[12] = tx;
    result.m[13] = ty;
    result.m[14] = tz;
    result.classWord = kMatrixTranslation;
    return result;
}

CkwMatrix CkwMatrix::fromAxisAngle(float angle, const float* axis)
{
    float q[4];
    quaternionFromAxisAngle(q, angle, axis);
    CkwMatrix result;
    quaternionToMatrix(q, result);
    return result;
}

bool CkwMatrix::isAffine() const
{
    CkwMatrix copy = *this;
    copy.classify();
    return (copy.classWord & kMatrixBitAffine) != 0;
}

void CkwMatrix::setIdentity()
{
    static constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::copy(std::begin(kIdentity), std::end(kIdentity), m);
    classWord = kMatrixIdentity;
}

void CkwMatrix::classify()
{
    if (!(nearZero(m[3]) && nearZero(m[7]) && nearZero(m[11]) && nearOne(m[15]))) {
        classWord = kMatrixGeneral;
        return;
    }
    bool translated = !(nearZero(m[12]) && nearZero(m[13]) && nearZero(m[14]));
    bool offDiagonalZero = nearZero(m[1]) && nearZero(m[2]) && nearZero(m[4]) && nearZero(m[6])
        && nearZero(m[8]) && nearZero(m[9]);
    bool unitDiagonal = nearOne(m[0]) && nearOne(m[5]) && nearOne(m[10]);
    if (!translated)
        classWord = offDiagonalZero ? (unitDiagonal ? kMatrixIdentity : kMatrixDiagonal) : kMatrixLinear;
    else
        classWord = offDiagonalZero && unitDiagonal ? kMatrixTranslation : kMatrixAffine;
}

void CkwMatrix::add(const CkwMatrix& other)
{
    for (int i = 0; i < 16; ++i)
        m[i] += other.m[i];
    classWord &= other.classWord;
}

void CkwMatrix::subtract(const CkwMatrix& other)
{
    for (int i = 0; i < 16; ++i)
        m[i] -= other.m[i];
    classWord &= other.classWord;
}

bool CkwMatrix::equals(const CkwMatrix& other) const
{
    return classWord == other.classWord && std::memcmp(m, other.m, sizeof(m)) == 0;
}

void CkwMatrix::transpose()
{
    if ((classWord & kMatrixBitIdentity) != 0)
        return;
    for (int r = 0; r < 4; ++r) {
        for (int c = r + 1; c < 4; ++c) {
            float t = m[4 * c + r];
            m[4 * c + r] = m[4 * r + c];
            m[4 * r + c] = t;
        }
    }
}

void CkwMatrix::multiply(const CkwMatrix& other)
{
    const int32_t a = classWord;
    const int32_t b = other.classWord;
    if ((a & kMatrixBitIdentity) != 0) {
        *this = other;
        return;
    }
    if ((b & kMatrixBitIdentity) != 0)
        return;
    const int32_t c = a & b;
    const float* o = other.m;
    if (c > kMatrixGeneral) {
        if ((b & kMatrixBitUnit3x3) != 0 && (a & kMatrixBitUnit3x3) == 0) {
            // Other is a pure translation: it moves our translation only.
            for (int r = 0; r < 3; ++r)
                m[12 + r] = m[r] * o[12] + m[4 + r] * o[13] + m[8 + r] * o[14] + m[12 + r];
        } else if ((a & kMatrixBitUnit3x3) != 0) {
            // We are a pure translation: take other's 3x3 and add translations.
            for (int col = 0; col < 3; ++col)
                for (int r = 0; r < 3; ++r)
                    m[4 * col + r] = o[4 * col + r];
            for (int r = 0; r < 3; ++r)
                m[12 + r] = o[12 + r] + m[12 + r];
        } else if ((a & kMatrixBitDiagonal) == 0 && (b & kMatrixBitDiagonal) == 0) {
            // Everything is computed before anything is stored: other may be this.
            float result[15];
            for (int col = 0; col < 3; ++col)
                for (int r = 0; r < 3; ++r)
                    result[4 * col + r] = m[r] * o[4 * col] + m[4 + r] * o[4 * col + 1] + m[8 + r] * o[4 * col + 2];
            const bool translated = (c & kMatrixBitNoTranslation) == 0;
            if (translated)
                for (int r = 0; r < 3; ++r)
                    result[12 + r] = m[r] * o[12] + m[4 + r] * o[13] + m[8 + r] * o[14] + m[12 + r];
            for (int col = 0; col < 3; ++col)
                for (int r = 0; r < 3; ++r)
                    m[4 * col + r] = result[4 * col + r];
            if (translated)
                for (int r = 0; r < 3; ++r)
                    m[12 + r] = result[12 + r];
        } else if ((a & kMatrixBitDiagonal) != 0 && (b & kMatrixBitDiagonal) != 0) {
            m[0] *= o[0];
            m[5] *= o[5];
            m[10] *= o[10];
        } else if ((a & kMatrixBitDiagonal) != 0) {
            // diag(this) x other: each of other's rows scaled.
            const float d[3] = {m[0], m[5], m[10]};
            for (int col = 0; col < 4; ++col)
                for (int r = 0; r < 3; ++r)
                    m[4 * col + r] = d[r] * o[4 * col + r];
        } else {
            // this x diag(other): our first three columns scaled.
            for (int col = 0; col < 3; ++col) {
                const float s = o[5 * col];
                for (int r = 0; r < 3; ++r)
                    m[4 * col + r] *= s;
            }
        }
        classWord = c;
        return;
    }
    float result[16];
    if ((b & kMatrixBitAffine) != 0)
        productAffineRight(m, o, result);
    else
        fullProduct(m, o, result);
    std::copy(std::begin(result), std::end(result), m);
    classWord = c;
}

void CkwMatrix::preMultiply(const CkwMatrix& other)
{
    CkwMatrix product = other;
    product.multiply(*this);
    *this = product;
}

void CkwMatrix::scale(float sx, float sy, float sz)
{
    if (nearOne(sx) && nearOne(sy) && nearOne(sz))
        return;
    if ((classWord & kMatrixBitIdentity) != 0) {
        *this = scaling(sx, sy, sz);
        return;
    }
    for (int col = 0; col < 4; ++col) {
        m[4 * col] *= sx;
        m[4 * col + 1] *= sy;
        m[4 * col + 2] *= sz;
    }
    classWord &= kMatrixDiagonal;
}

void CkwMatrix::scaleUniform(float s)
{
    scale(s, s, s);
}

void CkwMatrix::translate(float tx, float ty, float tz)
{
    if (nearZero(tx) && nearZero(ty) && nearZero(tz))
        return;
    if ((classWord & kMatrixBitIdentity) != 0) {
        *this = translation(tx, ty, tz);
        return;
    }
    if ((classWord & kMatrixBitAffine) == 0) {
        // T x M adds t times the bottom row to each of the first three rows;
        // only for an affine M is that the translation column alone.
        const float t[3] = {tx, ty, tz};
        for (int col = 0; col < 4; ++col)
            for (int r = 0; r < 3; ++r)
                m[4 * col + r] += t[r] * m[4 * col + 3];
        return;
    }
    m[12] += tx;
    m[13] += ty;
    m[14] += tz;
    classWord &= kMatrixTranslation;
}

void CkwMatrix::rotate(float angle, const float* axis)
{
    if (std::fabs(angle) <= kMatrixEpsilon)
        return;
    preMultiply(fromAxisAngle(angle, axis));
}

void CkwMatrix::transformPoint(CkwVector3D& out, const CkwVector3D& p) const
{
    const float x = p.x, y = p.y, z = p.z;
    switch (classWord) {
    case kMatrixIdentity:
        out = p;
        return;
    case kMatrixTranslation:
        out = {x + m[12], y + m[13], z + m[14]};
        return;
    case kMatrixDiagonal:
        out = {m[0] * x, m[5] * y, m[10] * z};
        return;
    case kMatrixLinear:
        out = {m[0] * x + m[4] * y + m[8] * z, m[1] * x + m[5] * y + m[9] * z,
               m[2] * x + m[6] * y + m[10] * z};
        return;
    default:
        out = {m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
               m[2] * x + m[6] * y + m[10] * z + m[14]};
        return;
    }
}

void CkwMatrix::transformDirection(CkwVector3D& out, const CkwVector3D& d) const
{
    const float x = d.x, y = d.y, z = d.z;
    switch (classWord) {
    case kMatrixIdentity:
    case kMatrixTranslation:
        out = d;
        return;
    case kMatrixDiagonal:
        out = {m[0] * x, m[5] * y, m[10] * z};
        return;
    default:
        out = {m[0] * x + m[4] * y + m[8] * z, m[1] * x + m[5] * y + m[9] * z,
               m[2] * x + m[6] * y + m[10] * z};
        return;
    }
}

void CkwMatrix::transformPointW(const CkwVector3D& p, CkwVector3D& out, float& outW) const
{
    float r[4];
    transform4(p.x, p.y, p.z, 1.0f, r);
    out = {r[0], r[1], r[2]};
    outW = r[3];
}

void CkwMatrix::transform4(float x, float y, float z, float w, float* out) const
{
    float r[4];
    for (int row = 0; row < 4; ++row)
        r[row] = m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row] * w;
    std::copy(std::begin(r), std::end(r), out);
}

void CkwMatrix::transformProject(CkwVector3D& out, const CkwVector3D& p, float& w) const
{
    float r[4];
    transform4(p.x, p.y, p.z, w, r);
    w = r[3];
    CkwVector3D::fromHomogeneous(out, r[0], r[1], r[2], r[3]);
}

float CkwMatrix::scaleBound() const
{
    if ((classWord & (kMatrixBitUnit3x3 | kMatrixBitIdentity)) != 0)
        return 1.0f;
    float bound = 0.0f;
    for (int r = 0; r < 3; ++r) {
        float rowSum = std::fabs(m[r]) + std::fabs(m[4 + r]) + std::fabs(m[8 + r]);
        if (rowSum > bound)
            bound = rowSum;
    }
    return bound;
}

bool CkwMatrix::invert()
{
    if ((classWord & kMatrixBitIdentity) != 0)
        return true;
    // Rows of the working copy a and of the result b, as a[row][column].
    float a[4][4];
    float b[4][4];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            a[r][c] = m[4 * c + r];
            b[r][c] = r == c ? 1.0f : 0.0f;
        }
    float largest = 0.0f;
    for (int i = 0; i < 12; ++i)
        largest = std::fmax(largest, std::fabs(m[i]));
    if (largest < 1.0f) {
        if (largest == 0.0f)
            return false;
        // Small matrices are scaled up first so their pivots stay normal floats.
        const float s = 1.0f / largest;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                a[r][c] *= s;
                b[r][c] *= s;
            }
    }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col]))
                pivot = r;
        if (!(std::fabs(a[pivot][col]) >= kPivotMinimum))
            return false;
        if (pivot != col)
            for (int c = 0; c < 4; ++c) {
                std::swap(a[pivot][c], a[col][c]);
                std::swap(b[pivot][c], b[col][c]);
            }
        const float p = a[col][col];
        for (int c = 0; c < 4; ++c) {
            a[col][c] /= p;
            b[col][c] /= p;
        }
        for (int r = 0; r < 4; ++r) {
            if (r == col)
                continue;
            const float f = a[r][col];
            if (f == 0.0f)
                continue;
            for (int c = 0; c < 4; ++c) {
                a[r][c] -= f * a[col][c];
                b[r][c] -= f * b[col][c];
            }
        }
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m[4 * c + r] = b[r][c];
    return true;
}

bool CkwMatrix::makeNormalMatrix()
{
    if (classWord == kMatrixIdentity)
        return true;
    bool needsInverse = classWord != kMatrixLinear
        && !(nearZero(m[12]) && nearZero(m[13]) && nearZero(m[14]) && nearZero(m[3]) && nearZero(m[7])
             && nearZero(m[11]));
    if (!needsInverse) {
        bool orthonormal = true;
        for (int col = 0; col < 3; ++col) {
            const float* v = m + 4 * col;
            orthonormal = orthonormal && nearOne(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        }
        if (orthonormal) {
            classWord = kMatrixLinear;
            return true;
        }
    }
    if (!invert())
        return false;
    transpose();
    // The transpose moves the inverse translation into the bottom row.
    classify();
    return true;
}
