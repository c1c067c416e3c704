// A vertex of the clipper and the cut of a polygon against the view volume in
// homogeneous integer clip space (Sutherland-Hodgman, one plane at a time),
// and the clip codes that tell which vertices need it.
#pragma once

#include <cstdint>

#include "engine/core/math/CkwFixedVector3D.h"

struct CkwClipVertex {
    int32_t x, y, z, w;
    int32_t r, g, b;     // 16.16, 0x10000 full intensity
    uint8_t alpha;
    uint8_t fog;
    uint8_t unitCount;
    struct {
        int32_t s, t;    // divided by q, 16.16
        int32_t q;
    } tex[2];
};

// A triangle cut by all six planes leaves at most 9 vertices; every plane's
// output is appended behind its input, 42 vertices in all.
constexpr int32_t kClipVertexCapacity = 48;

// Cuts the polygon v[start, end) by the planes whose bits are set in
// clipCode (1 x > w, 2 x < -w, 4 y > w, 8 y < -w, 16 z > w, 32 z < -w), in
// that order. Returns where the result starts; it ends at end.
int32_t clipPolygon(CkwClipVertex* v, int32_t start, int32_t& end, int32_t clipCode);

// A clip-space vertex as the triangle walk reads it: x, y and w side by side
// with its clip code, kNotInFront added when w <= 0.
struct SkwFacingVertex {
    int32_t x, y, w;
    uint32_t code;
};
constexpr uint32_t kNotInFront = 64;

// What the clip codes of a set of vertices share: their AND and OR, and the
// least w (INT32_MAX for none).
struct SkwClipCodes {
    uint8_t all = 255;
    uint8_t any = 0;
    int32_t nearestW = INT32_MAX;
};

// The records of n vertices at positions p with their w, and what their
// codes share.
SkwClipCodes facingVertices(const CkwFixedVector3D* p, const int32_t* w, int32_t n, SkwFacingVertex* out);
