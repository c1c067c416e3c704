// The engine's float quaternion library: orientations of transformable nodes
// and orientation keyframes. A quaternion is four floats x, y, z, w (w last).
#pragma once

#include "engine/core/math/CkwMatrix.h"

// Degrees as files and the interface give angles, to the radians used here.
constexpr float kDegreesToRadians = 0.017453292f;

// Unchanged when the squared length is exactly 1 or not above FLT_MIN.
void quaternionNormalize(float* q);
// Rotation matrix of class 7; w of exactly +1 or -1 gives the identity.
void quaternionToMatrix(const float* q, CkwMatrix& m);
// The rotation part of m; a degenerate matrix gives the identity quaternion.
void quaternionFromMatrix(const CkwMatrix& m, float* q);
void quaternionFromAxisAngle(float* out, float angle, const float* axis);
// Angle in radians; a rotation-free quaternion gives axis (0, 0, 1).
void quaternionToAxisAngle(const float* q, float* axis, float* angle);
// a = a * b (b applied first).
void quaternionMultiply(float* a, const float* b);
// a = b * a.
void quaternionPreMultiply(float* a, const float* b);
void quaternionConjugate(const float* q, float* out);
void quaternionScale(float* q, float s);
void quaternionCopy(float* dst, const float* src);
bool quaternionEquals(const float* a, const float* b);
// No sign flip for a negative dot product: the longer arc is followed then.
void quaternionSlerp(float* out, const float* a, const float* b, float t);
void quaternionSquad(float* out, const float* q0, const float* a0, const float* a1,
                     const float* q1, float t);
void quaternionLog(float* q);
void quaternionExp(float* v);
// log(normalise(conjugate(a) * b)).
void quaternionRelativeLog(float* out, const float* a, const float* b);
