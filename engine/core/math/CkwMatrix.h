// The engine's 4x4 float matrix. Elements are column-major (row r, column c at
// 4c + r; translation in 12-14) and a class word records the structure the
// products, transforms and inverse take short paths on.
#pragma once

#include <cstdint>

#include "engine/core/math/CkwVector3D.h"

// Class word bits. A class word may understate the structure, never overstate.
constexpr int32_t kMatrixBitValid = 1;
constexpr int32_t kMatrixBitAffine = 2;        // bottom row 0 0 0 1
constexpr int32_t kMatrixBitNoTranslation = 4;
constexpr int32_t kMatrixBitDiagonal = 8;      // upper 3x3 diagonal
constexpr int32_t kMatrixBitUnit3x3 = 16;      // upper 3x3 is the identity
constexpr int32_t kMatrixBitIdentity = 32;

constexpr int32_t kMatrixGeneral = 1;
constexpr int32_t kMatrixAffine = 3;
constexpr int32_t kMatrixLinear = 7;
constexpr int32_t kMatrixDiagonal = 15;
constexpr int32_t kMatrixTranslation = 19;
constexpr int32_t kMatrixIdentity = 63;

// The tolerance of every class decision.
constexpr float kMatrixEpsilon = 1.5e-5f;

class CkwMatrix {
public:
    float m[16];
    int32_t classWord;

    CkwMatrix() { setIdentity(); }
    // Diagonal scale (class 15), or the identity when all are within 1.5e-5 of 1.
    static CkwMatrix scaling(float sx, float sy, float sz);
    // Translation (class 19), or the identity when all are within 1.5e-5 of 0.
    static CkwMatrix translation(float tx, float ty, float tz);
    // Rotation by angle radians about the axis (normalised first), class 7.
    static CkwMatrix fromAxisAngle(float angle, const float* axis);

    static void copy(CkwMatrix& destination, const CkwMatrix& source) { destination = source; }
    void setIdentity();
    void classify();
    int32_t getClass() const { return classWord; }
    void setClass(int32_t word) { classWord = word; }
    float element(int32_t row, int32_t column) const { return m[4 * column + row]; }
    void setElement(int32_t column, int32_t row, float value) { m[4 * column + row] = value; }

    void add(const CkwMatrix& other);
    void subtract(const CkwMatrix& other);
    // Equal class words and bit-for-bit equal elements.
    bool equals(const CkwMatrix& other) const;
    // Bottom row 0 0 0 1 by the class tolerance, whatever the class word says.
    bool isAffine() const;
    // Transposes the elements; the class word is kept.
    void transpose();

    // this = this x other (other applied first); class = AND of both.
    void multiply(const CkwMatrix& other);
    // this = other x this.
    void preMultiply(const CkwMatrix& other);
    // this = S x this; nothing when all are within 1.5e-5 of 1.
    void scale(float sx, float sy, float sz);
    void scaleUniform(float s);
    // this = T x this; nothing when all are within 1.5e-5 of 0.
    void translate(float tx, float ty, float tz);
    void translateVec(const CkwVector3D& t) { translate(t.x, t.y, t.z); }
    // this = R x this when |angle| > 1.5e-5.
    void rotate(float angle, const float* axis);

    // Rows 0-2 of M (x, y, z, 1); the bottom row is ignored.
    void transformPoint(CkwVector3D& out, const CkwVector3D& p) const;
    // The 3x3 part only.
    void transformDirection(CkwVector3D& out, const CkwVector3D& d) const;
    void transformPointW(const CkwVector3D& p, CkwVector3D& out, float& outW) const;
    void transform4(float x, float y, float z, float w, float* out) const;
    // Divides by the resulting w unless it is within 1.5e-5 of 1 or of 0.
    void transformProject(CkwVector3D& out, const CkwVector3D& p, float& w) const;
    // An upper bound of how much the matrix stretches a vector.
    float scaleBound() const;

    // In place; false (matrix unchanged) when singular.
    bool invert();
    // Turns a model matrix into the matrix for normals; false when singular.
    bool makeNormalMatrix();

    // The engine-wide scratch matrix of the engine context (leaves -4 without one).
    static CkwMatrix& scratch();
};
