// A double-precision reference for the transform tests: 4x4 matrices laid
// out like CkwMatrix (column-major), built the textbook way, so the engine's
// float products can be held against an independent computation whose order
// of factors is written out in the test.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "engine/core/math/CkwMatrix.h"

struct RefMatrix {
    double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    double& at(int row, int column) { return m[4 * column + row]; }
    double at(int row, int column) const { return m[4 * column + row]; }
};

// a x b: b applied first.
inline RefMatrix operator*(const RefMatrix& a, const RefMatrix& b)
{
    RefMatrix out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += a.at(r, k) * b.at(k, c);
            out.at(r, c) = sum;
        }
    return out;
}

inline RefMatrix refTranslation(double x, double y, double z)
{
    RefMatrix t;
    t.m[12] = x, t.m[13] = y, t.m[14] = z;
    return t;
}

inline RefMatrix refScale(double x, double y, double z)
{
    RefMatrix s;
    s.m[0] = x, s.m[5] = y, s.m[10] = z;
    return s;
}

// A unit quaternion (x, y, z, w) of the engine's convention: a rotation by
// degrees about the axis.
struct RefRotation {
    double axis[3];
    double degrees;

    void quaternion(float* q) const
    {
        const double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
        const double half = degrees * M_PI / 360.0;
        for (int i = 0; i < 3; ++i)
            q[i] = static_cast<float>(axis[i] / length * std::sin(half));
        q[3] = static_cast<float>(std::cos(half));
    }
    // Rodrigues' formula on the normalised axis.
    RefMatrix matrix() const
    {
        const double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
        const double x = axis[0] / length, y = axis[1] / length, z = axis[2] / length;
        const double a = degrees * M_PI / 180.0, c = std::cos(a), s = std::sin(a), t = 1 - c;
        RefMatrix r;
        const double rows[3][3] = {{t * x * x + c, t * x * y - s * z, t * x * z + s * y},
                                   {t * x * y + s * z, t * y * y + c, t * y * z - s * x},
                                   {t * x * z - s * y, t * y * z + s * x, t * z * z + c}};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                r.at(i, j) = rows[i][j];
        return r;
    }
};

inline RefMatrix refFromRowMajor(const float* rows)
{
    RefMatrix out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out.at(r, c) = rows[4 * r + c];
    return out;
}

// Gauss-Jordan elimination with partial pivoting; the matrices given are
// well away from singular.
inline RefMatrix refInverse(RefMatrix a)
{
    RefMatrix inverse;
    for (int c = 0; c < 4; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::fabs(a.at(r, c)) > std::fabs(a.at(pivot, c)))
                pivot = r;
        for (int k = 0; k < 4; ++k) {
            std::swap(a.at(c, k), a.at(pivot, k));
            std::swap(inverse.at(c, k), inverse.at(pivot, k));
        }
        const double p = a.at(c, c);
        for (int k = 0; k < 4; ++k) {
            a.at(c, k) /= p;
            inverse.at(c, k) /= p;
        }
        for (int r = 0; r < 4; ++r) {
            if (r == c)
                continue;
            const double f = a.at(r, c);
            for (int k = 0; k < 4; ++k) {
                a.at(r, k) -= f * a.at(c, k);
                inverse.at(r, k) -= f * inverse.at(c, k);
            }
        }
    }
    return inverse;
}

inline void expectMatrixNear(const CkwMatrix& actual, const RefMatrix& expected, double tolerance, const char* what)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual.m[i], expected.m[i], tolerance) << what << ": element (" << i % 4 << ", " << i / 4 << ")";
}
