// Geometry of the rasterizer in 16.16: the drawing context's 2x3 affine
// matrices, the pipeline's 3x4 matrices and their stacks, table sine and
// cosine, reciprocal scaling, vertex transforms and the span-constant
// setters. Everything works in place on caller-owned words.
#pragma once

#include <cstdint>

#include "gfx2d/raster/FixedPoint.h"
#include "gfx2d/raster/RasterStateBlock.h"

struct VertexBinding;

// Vertex record words of the polygon pipeline.
inline constexpr int kVertexInX = 0;
inline constexpr int kVertexInW = 3;
inline constexpr int kVertexOutX = 4;
inline constexpr int kVertexOutY = 5;
inline constexpr int kVertexOutZ = 6;
inline constexpr int kVertexOutW = 7;
inline constexpr int kVertexOutcode = 8;

inline constexpr int kMatrixFlagWord = 9;
inline constexpr int kMatrixTranslation = 10;

// Angles are 1024ths of a turn; higher bits are ignored.
void sinCos(const RasterTables& t, int32_t angle, Fixed* cosOut, Fixed* sinOut);

// Division through the reciprocal table: a / d == mulShift(a, r, shift).
struct Reciprocal {
    int32_t r;
    int32_t shift;
};
Reciprocal reciprocalScale(const RasterTables& t, int32_t d);
inline Fixed reciprocalApply(Fixed a, Reciprocal q) { return mulShift(a, q.r, q.shift); }

// 2x3 affine matrices, words w0..w5: x' = w0 x + w1 y + w4, y' = w2 x + w3 y + w5.
void affineRotation(const RasterTables& t, Fixed* m, int32_t angle);
void affineTransformPoint(const Fixed* m, Fixed x, Fixed y, Fixed* out);
void affineTransformPoint(const Fixed* m, Fixed* p);
void affineTransformVector(const Fixed* m, Fixed x, Fixed y, Fixed* out);
void affineTransformVector(const Fixed* m, Fixed* v);
// The inverse for rotation-only matrices; the point form leaves p - t in p
// before rotating it back.
void affineInverseTransformPoint(const Fixed* m, Fixed x, Fixed y, Fixed* out);
void affineInverseTransformPoint(const Fixed* m, Fixed* p);
void affineInverseTransformVector(const Fixed* m, Fixed* v);
void affineMultiply(Fixed* m, const Fixed* n);
void affineMultiply2x2(Fixed* m, const Fixed* n);
// n2x2 gives N column by column (N00, N10, N01, N11).
void affineMultiplySplit(Fixed* m, const Fixed* n2x2, const Fixed* nt);
void affineScale(Fixed* m, Fixed sx, Fixed sy);
void affineNormalise(const RasterTables& t, Fixed* m, Fixed w, Fixed h);
void affineApplyToShape(Fixed* record, const Fixed* m);

// 3x4 matrices (13 words) and 3x3 matrices (9 words), rows first.
void rotationX(const RasterTables& t, Fixed* m, int32_t angle);
void rotationY(const RasterTables& t, Fixed* m, int32_t angle);
void rotationZ(const RasterTables& t, Fixed* m, int32_t angle);
void rotationX3x3(const RasterTables& t, Fixed* m, int32_t angle);
void rotationY3x3(const RasterTables& t, Fixed* m, int32_t angle);
void rotationZ3x3(const RasterTables& t, Fixed* m, int32_t angle);
void transformPoint(const Fixed* m, const Fixed* p, Fixed* out);
void transformVector(const Fixed* m, const Fixed* v, Fixed* out);
void transformVectorTransposed(const Fixed* m, const Fixed* v, Fixed* out);
void inverseTransformPoint(const Fixed* m, Fixed* p, Fixed* out);
void multiply3x3(Fixed* m, const Fixed* n);
void multiply3x4(Fixed* m, const Fixed* n);
void multiply4x4(Fixed* m, const Fixed* n);
void translate(Fixed* m, const Fixed* v);
void scale3(Fixed* m, Fixed sx, Fixed sy, Fixed sz);
void premultiplyTransposed(Fixed* m, const Fixed* n);
void transpose3x3(Fixed* m);
void normaliseRows(const RasterTables& t, Fixed* m, Fixed sx, Fixed sy, Fixed sz);
inline Fixed* translationOf(Fixed* m) { return m + kMatrixTranslation; }
void setIdentity34(Fixed* m);
void transformVertex3(const Fixed* m, Fixed* vertex, int orthographic);
void transformVertex4(const Fixed* m, Fixed* vertex, int orthographic);

// Stacks refuse (return 0) a push onto a full stack and a pop of the last
// entry, so nothing outside the stack is ever written.
int stackPush(MatrixStack34& s);
int stackPop(MatrixStack34& s);
Fixed* stackTop(MatrixStack34& s);
const Fixed* stackTop(const MatrixStack34& s);
void stackMultiply(MatrixStack34& s, const Fixed* n);
void stackTranslate(MatrixStack34& s, const Fixed* v);

// Position (and texture coordinates) of vertex i into a pipeline vertex record.
void fetchPipelineVertex(const VertexBinding& binding, Fixed* vertex, uint32_t i, const RasterStateBlock& s);

// The span programs' constants.
void setSpanConstant(RasterStateBlock& s, uint32_t i, int32_t v);
void setSpanConstant3(RasterStateBlock& s, uint32_t i, int32_t a, int32_t b, int32_t c);
void setSpanConstant4(RasterStateBlock& s, uint32_t i, int32_t a, int32_t b, int32_t c, int32_t d);
int32_t getSpanConstant(const RasterStateBlock& s, uint32_t i);
