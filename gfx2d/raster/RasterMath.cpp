// The rasterizer's 16.16 geometry. Products are fixMul term by term and sums
// wrap in 32 bits; matrix products go through a temporary so a target may
// also be an operand.
#include "gfx2d/raster/RasterMath.h"

#include <cstring>

#include "gfx2d/raster/VertexArray.h"


namespace {

constexpr Fixed sum2(Fixed a, Fixed b) { return wrapAdd(a, b); }
constexpr Fixed sum3(Fixed a, Fixed b, Fixed c) { return wrapAdd(wrapAdd(a, b), c); }

Fixed rowDot(const Fixed* row, Fixed x, Fixed y, Fixed z)
{
    return sum3(fixMul(row[0], x), fixMul(row[1], y), fixMul(row[2], z));
}

Fixed columnDot(const Fixed* m, int c, Fixed x, Fixed y, Fixed z)
{
    return sum3(fixMul(m[c], x), fixMul(m[3 + c], y), fixMul(m[6 + c], z));
}

// out = a × b for 3x3 parts read with row strides sa and sb.
void product3x3(const Fixed* a, int sa, const Fixed* b, int sb, Fixed* out)
{
    Fixed t[9];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            t[3 * r + c] = sum3(fixMul(a[sa * r], b[c]), fixMul(a[sa * r + 1], b[sb + c]),
                                fixMul(a[sa * r + 2], b[2 * sb + c]));
    std::memcpy(out, t, sizeof t);
}

void setRotation(Fixed* m, int axis, Fixed c, Fixed s)
{
    static const int kOthers[3][2] = {{1, 2}, {2, 0}, {0, 1}};
    std::memset(m, 0, 9 * sizeof(Fixed));
    const int i = kOthers[axis][0];
    const int j = kOthers[axis][1];
    m[4 * axis] = kFixedOne;
    m[3 * i + i] = c;
    m[3 * i + j] = -s;
    m[3 * j + i] = s;
    m[3 * j + j] = c;
}

void rotation34(const RasterTables& t, Fixed* m, int32_t angle, int axis)
{
    Fixed c, s;
    sinCos(t, angle, &c, &s);
    setRotation(m, axis, c, s);
    m[10] = m[11] = m[12] = 0;
}

void rotation33(const RasterTables& t, Fixed* m, int32_t angle, int axis)
{
    Fixed c, s;
    sinCos(t, angle, &c, &s);
    setRotation(m, axis, c, s);
}

}  // namespace

void sinCos(const RasterTables& t, int32_t angle, Fixed* cosOut, Fixed* sinOut)
{
    const int i = angle & 255;
    const Fixed c = i == 0 ? kFixedOne : t.cos[i];
    const Fixed s = t.cos[256 - i];
    switch ((angle >> 8) & 3) {
    case 0: *cosOut = c; *sinOut = s; break;
    case 1: *cosOut = -s; *sinOut = c; break;
    case 2: *cosOut = -c; *sinOut = -s; break;
    default: *cosOut = s; *sinOut = -c; break;
    }
}

Reciprocal reciprocalScale(const RasterTables& t, int32_t d)
{
    // Sign taken off first: a negative index would read before the table.
    const bool negative = d < 0;
    const uint32_t m = negative ? 0u - static_cast<uint32_t>(d) : static_cast<uint32_t>(d);
    uint32_t index = m;
    int k = 0;
    if (m > static_cast<uint32_t>(kRecipTableSize - 1)) {
        while ((static_cast<uint64_t>(kRecipTableSize - 1) << k) < m)
            ++k;
        index = ((m >> (k - 1)) + 1) >> 1;
    }
    int32_t r = t.recip4[index];
    int32_t shift = 14 + k;
    if (shift > 30) {
        r >>= k - 16;
        shift = 30;
    }
    return {negative ? -r : r, shift};
}

void affineRotation(const RasterTables& t, Fixed* m, int32_t angle)
{
    Fixed c, s;
    sinCos(t, angle, &c, &s);
    m[0] = c;
    m[1] = -s;
    m[2] = s;
    m[3] = c;
    m[4] = m[5] = 0;
}

void affineTransformPoint(const Fixed* m, Fixed x, Fixed y, Fixed* out)
{
    const Fixed ox = sum3(fixMul(m[0], x), fixMul(m[1], y), m[4]);
    out[1] = sum3(fixMul(m[2], x), fixMul(m[3], y), m[5]);
    out[0] = ox;
}

void affineTransformPoint(const Fixed* m, Fixed* p) { affineTransformPoint(m, p[0], p[1], p); }

void affineTransformVector(const Fixed* m, Fixed x, Fixed y, Fixed* out)
{
    const Fixed ox = sum2(fixMul(m[0], x), fixMul(m[1], y));
    out[1] = sum2(fixMul(m[2], x), fixMul(m[3], y));
    out[0] = ox;
}

void affineTransformVector(const Fixed* m, Fixed* v) { affineTransformVector(m, v[0], v[1], v); }

void affineInverseTransformPoint(const Fixed* m, Fixed x, Fixed y, Fixed* out)
{
    const Fixed dx = wrapSub(x, m[4]);
    const Fixed dy = wrapSub(y, m[5]);
    out[0] = sum2(fixMul(m[0], dx), fixMul(m[2], dy));
    out[1] = sum2(fixMul(m[1], dx), fixMul(m[3], dy));
}

void affineInverseTransformPoint(const Fixed* m, Fixed* p)
{
    p[0] = wrapSub(p[0], m[4]);
    p[1] = wrapSub(p[1], m[5]);
    affineInverseTransformVector(m, p);
}

void affineInverseTransformVector(const Fixed* m, Fixed* v)
{
    const Fixed x = v[0];
    const Fixed y = v[1];
    v[0] = sum2(fixMul(m[0], x), fixMul(m[2], y));
    v[1] = sum2(fixMul(m[1], x), fixMul(m[3], y));
}

void affineMultiply2x2(Fixed* m, const Fixed* n)
{
    const Fixed t0 = sum2(fixMul(m[0], n[0]), fixMul(m[1], n[2]));
    const Fixed t1 = sum2(fixMul(m[0], n[1]), fixMul(m[1], n[3]));
    const Fixed t2 = sum2(fixMul(m[2], n[0]), fixMul(m[3], n[2]));
    const Fixed t3 = sum2(fixMul(m[2], n[1]), fixMul(m[3], n[3]));
    m[0] = t0;
    m[1] = t1;
    m[2] = t2;
    m[3] = t3;
}

void affineMultiply(Fixed* m, const Fixed* n)
{
    Fixed t[2];
    affineTransformVector(m, n[4], n[5], t);
    Fixed nn[4] = {n[0], n[1], n[2], n[3]};  // n may be m itself
    m[4] = wrapAdd(m[4], t[0]);
    m[5] = wrapAdd(m[5], t[1]);
    affineMultiply2x2(m, nn);
}

void affineMultiplySplit(Fixed* m, const Fixed* n2x2, const Fixed* nt)
{
    Fixed t[2];
    affineTransformVector(m, nt[0], nt[1], t);
    const Fixed n[4] = {n2x2[0], n2x2[2], n2x2[1], n2x2[3]};
    m[4] = wrapAdd(m[4], t[0]);
    m[5] = wrapAdd(m[5], t[1]);
    affineMultiply2x2(m, n);
}

void affineScale(Fixed* m, Fixed sx, Fixed sy)
{
    m[0] = fixMul(m[0], sx);
    m[2] = fixMul(m[2], sx);
    m[1] = fixMul(m[1], sy);
    m[3] = fixMul(m[3], sy);
}

void affineNormalise(const RasterTables& t, Fixed* m, Fixed w, Fixed h)
{
    const Reciprocal qw = reciprocalScale(t, w);
    const Reciprocal qh = reciprocalScale(t, h);
    m[0] = reciprocalApply(m[0], qw);
    m[1] = reciprocalApply(m[1], qw);
    m[4] = reciprocalApply(m[4], qw);
    m[2] = reciprocalApply(m[2], qh);
    m[3] = reciprocalApply(m[3], qh);
    m[5] = reciprocalApply(m[5], qh);
}

void affineApplyToShape(Fixed* record, const Fixed* m)
{
    // Mᵀ in storage order.
    const Fixed mt[4] = {m[0], m[2], m[1], m[3]};
    Fixed p[2];
    affineTransformVector(mt, record[4], record[5], p);
    record[4] = p[0];
    record[5] = p[1];
    Fixed r[4] = {mt[0], mt[1], mt[2], mt[3]};
    affineMultiply2x2(r, record);
    std::memcpy(record, r, sizeof r);
}

void rotationX(const RasterTables& t, Fixed* m, int32_t angle) { rotation34(t, m, angle, 0); }
void rotationY(const RasterTables& t, Fixed* m, int32_t angle) { rotation34(t, m, angle, 1); }
void rotationZ(const RasterTables& t, Fixed* m, int32_t angle) { rotation34(t, m, angle, 2); }
void rotationX3x3(const RasterTables& t, Fixed* m, int32_t angle) { rotation33(t, m, angle, 0); }
void rotationY3x3(const RasterTables& t, Fixed* m, int32_t angle) { rotation33(t, m, angle, 1); }
void rotationZ3x3(const RasterTables& t, Fixed* m, int32_t angle) { rotation33(t, m, angle, 2); }

void transformVector(const Fixed* m, const Fixed* v, Fixed* out)
{
    Fixed t[3];
    for (int r = 0; r < 3; ++r)
        t[r] = rowDot(m + 3 * r, v[0], v[1], v[2]);
    std::memcpy(out, t, sizeof t);
}

void transformPoint(const Fixed* m, const Fixed* p, Fixed* out)
{
    Fixed t[3];
    transformVector(m, p, t);
    for (int r = 0; r < 3; ++r)
        out[r] = wrapAdd(t[r], m[kMatrixTranslation + r]);
}

void transformVectorTransposed(const Fixed* m, const Fixed* v, Fixed* out)
{
    Fixed t[3];
    for (int c = 0; c < 3; ++c)
        t[c] = columnDot(m, c, v[0], v[1], v[2]);
    std::memcpy(out, t, sizeof t);
}

void inverseTransformPoint(const Fixed* m, Fixed* p, Fixed* out)
{
    for (int r = 0; r < 3; ++r)
        p[r] = wrapSub(p[r], m[kMatrixTranslation + r]);
    transformVectorTransposed(m, p, out);
}

void multiply3x3(Fixed* m, const Fixed* n) { product3x3(m, 3, n, 3, m); }

void multiply3x4(Fixed* m, const Fixed* n)
{
    Fixed t[3];
    transformPoint(m, n + kMatrixTranslation, t);
    Fixed n3[9];
    std::memcpy(n3, n, sizeof n3);
    std::memcpy(m + kMatrixTranslation, t, sizeof t);
    product3x3(m, 3, n3, 3, m);
}

void multiply4x4(Fixed* m, const Fixed* n)
{
    Fixed t[3];
    transformPoint(m, n + 12, t);
    Fixed n4[12];
    std::memcpy(n4, n, sizeof n4);
    std::memcpy(m + kMatrixTranslation, t, sizeof t);
    product3x3(m, 3, n4, 4, m);
}

void translate(Fixed* m, const Fixed* v) { transformPoint(m, v, m + kMatrixTranslation); }

void scale3(Fixed* m, Fixed sx, Fixed sy, Fixed sz)
{
    const Fixed s[3] = {sx, sy, sz};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m[3 * r + c] = fixMul(m[3 * r + c], s[c]);
}

void premultiplyTransposed(Fixed* m, const Fixed* n)
{
    Fixed nt[9] = {n[0], n[3], n[6], n[1], n[4], n[7], n[2], n[5], n[8]};
    transformVector(nt, m + kMatrixTranslation, m + kMatrixTranslation);
    product3x3(nt, 3, m, 3, m);
}

void transpose3x3(Fixed* m)
{
    static const int kPairs[3][2] = {{1, 3}, {2, 6}, {5, 7}};
    for (const auto& p : kPairs) {
        const Fixed t = m[p[0]];
        m[p[0]] = m[p[1]];
        m[p[1]] = t;
    }
}

void normaliseRows(const RasterTables& t, Fixed* m, Fixed sx, Fixed sy, Fixed sz)
{
    const Fixed s[3] = {sx, sy, sz};
    for (int r = 0; r < 3; ++r) {
        const Reciprocal q = reciprocalScale(t, s[r]);
        for (int c = 0; c < 3; ++c)
            m[3 * r + c] = reciprocalApply(m[3 * r + c], q);
        m[kMatrixTranslation + r] = reciprocalApply(m[kMatrixTranslation + r], q);
    }
}

void setIdentity34(Fixed* m)
{
    std::memset(m, 0, kMatrixEntryWords * sizeof(Fixed));
    m[0] = m[4] = m[8] = kFixedOne;
    m[kMatrixFlagWord] = 1;
}

void transformVertex3(const Fixed* m, Fixed* vertex, int orthographic)
{
    vertex[kVertexInW] = kFixedOne;
    transformPoint(m, vertex, vertex + kVertexOutX);
    vertex[kVertexOutW] = orthographic ? kFixedOne : wrapSub(0, vertex[kVertexOutZ]);
}

void transformVertex4(const Fixed* m, Fixed* vertex, int orthographic)
{
    const Fixed w = vertex[kVertexInW];
    Fixed t[3];
    transformVector(m, vertex, t);
    for (int r = 0; r < 3; ++r)
        vertex[kVertexOutX + r] = wrapAdd(t[r], fixMul(w, m[kMatrixTranslation + r]));
    vertex[kVertexOutW] = orthographic ? w : wrapSub(0, vertex[kVertexOutZ]);
}

int stackPush(MatrixStack34& s)
{
    if (s.count < 1 || s.count >= static_cast<int32_t>(kMatrixStackDepth))
        return 0;
    std::memcpy(s.entries[s.count], s.entries[s.count - 1], sizeof s.entries[0]);
    ++s.count;
    return 1;
}

int stackPop(MatrixStack34& s)
{
    if (s.count <= 1)
        return 0;
    --s.count;
    return 1;
}

// A count a span program may have scribbled on still names a real entry.
static int32_t topIndex(int32_t count)
{
    const int32_t i = count - 1;
    return i < 0 ? 0 : i >= static_cast<int32_t>(kMatrixStackDepth) ? kMatrixStackDepth - 1 : i;
}

Fixed* stackTop(MatrixStack34& s) { return s.entries[topIndex(s.count)]; }
const Fixed* stackTop(const MatrixStack34& s) { return s.entries[topIndex(s.count)]; }

void stackMultiply(MatrixStack34& s, const Fixed* n) { multiply3x3(stackTop(s), n); }
void stackTranslate(MatrixStack34& s, const Fixed* v) { translate(stackTop(s), v); }

void fetchPipelineVertex(const VertexBinding& binding, Fixed* vertex, uint32_t i, const RasterStateBlock& s)
{
    const VertexArray& p = binding.position;
    fetchElements(vertex, static_cast<uint32_t>(resolveIndex(p, i)), p.slot, p.stride, p.base, p.type,
                  p.components, p.shift);
    if (!binding.hasTexCoord)
        return;
    const VertexArray& tc = binding.texCoord;
    fetchElements(vertex, static_cast<uint32_t>(resolveIndex(tc, i)), tc.slot, tc.stride, tc.base, tc.type,
                  tc.components, tc.shift);
    if (!binding.useTextureMatrix)
        return;
    const Fixed* m = stackTop(s.textureStack);
    Fixed* uv = vertex + tc.slot;
    const Fixed u = uv[0];
    const Fixed v = uv[1];
    uv[0] = sum3(fixMul(m[0], u), fixMul(m[1], v), m[kMatrixTranslation]);
    uv[1] = sum3(fixMul(m[3], u), fixMul(m[4], v), m[kMatrixTranslation + 1]);
}

void setSpanConstant(RasterStateBlock& s, uint32_t i, int32_t v)
{
    if (i < 128)
        s.regs[i] = v;
}

void setSpanConstant3(RasterStateBlock& s, uint32_t i, int32_t a, int32_t b, int32_t c)
{
    if (i >= 125)
        return;
    s.regs[i] = a;
    s.regs[i + 1] = b;
    s.regs[i + 2] = c;
}

void setSpanConstant4(RasterStateBlock& s, uint32_t i, int32_t a, int32_t b, int32_t c, int32_t d)
{
    if (i >= 124)
        return;
    s.regs[i] = a;
    s.regs[i + 1] = b;
    s.regs[i + 2] = c;
    s.regs[i + 3] = d;
}

int32_t getSpanConstant(const RasterStateBlock& s, uint32_t i) { return i < 128 ? s.regs[i] : 0; }
