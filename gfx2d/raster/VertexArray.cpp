// Vertex fetch: one straight-line routine per (element type, component
// count), picked from a table, so a fetch neither loops over components nor
// branches on the type.
#include "gfx2d/raster/VertexArray.h"

#include "gfx2d/raster/UnalignedAccess.h"


namespace {

template <typename E>
inline int32_t load(const uint8_t* p)
{
    return static_cast<int32_t>(loadUnaligned<E>(p));
}

// How the last component of a vertex is taken.
enum class Last { Shifted, Top24, Top16, Stored };

template <typename E, int N, Last L>
void fetchN(int32_t* out, const uint8_t* p, int32_t shift)
{
    constexpr bool isSigned = static_cast<E>(-1) < 0;
    for (int c = 0; c < N; ++c) {  // N is a constant: the compiler unrolls it
        const int32_t e = load<E>(p + c * sizeof(E));
        if (c == N - 1 && L == Last::Top24)
            out[c] = static_cast<int32_t>(static_cast<uint32_t>(e) << 24);
        else if (c == N - 1 && L == Last::Top16)
            out[c] = static_cast<int32_t>(static_cast<uint32_t>(e) << 16);
        else if (c == N - 1 && L == Last::Stored)
            out[c] = e;
        else
            out[c] = shiftElement(e, shift, isSigned);
    }
}

using FetchFn = void (*)(int32_t*, const uint8_t*, int32_t);

template <typename E, Last L>
struct Row {
    static constexpr FetchFn fns[4] = {fetchN<E, 1, L>, fetchN<E, 2, L>, fetchN<E, 3, L>, fetchN<E, 4, L>};
};

struct TypeInfo {
    const FetchFn* fns;
    uint32_t size;
};

TypeInfo typeInfo(uint8_t type)
{
    switch (type) {
    case kVertexS8: return {Row<int8_t, Last::Shifted>::fns, 1};
    case kVertexU8: return {Row<uint8_t, Last::Shifted>::fns, 1};
    case kVertexS8Top: return {Row<int8_t, Last::Top24>::fns, 1};
    case kVertexU16: return {Row<uint16_t, Last::Shifted>::fns, 2};
    case kVertexS16Top: return {Row<int16_t, Last::Top16>::fns, 2};
    case kVertexS32: return {Row<int32_t, Last::Shifted>::fns, 4};
    case kVertexU32: return {Row<uint32_t, Last::Shifted>::fns, 4};
    case kVertexRaw32: return {Row<int32_t, Last::Stored>::fns, 4};
    default: return {Row<int16_t, Last::Shifted>::fns, 2};
    }
}

const uint8_t* vertexAddress(const uint8_t* base, uint32_t vertex, int32_t stride)
{
    // Pointer arithmetic in 64 bits: a negative stride walks backwards.
    return base + static_cast<int64_t>(vertex) * stride;
}

}  // namespace

int32_t shiftElement(int32_t e, int32_t shift, bool isSigned)
{
    if (shift >= 0)
        return shift >= 32 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(e) << shift);
    const int32_t n = -static_cast<int64_t>(shift) >= 32 ? 32 : -shift;
    if (isSigned)
        return n >= 32 ? (e < 0 ? -1 : 0) : e >> n;
    return n >= 32 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(e) >> n);
}

void VertexArray::set(const void* b, uint8_t count, uint8_t t, int32_t s, uint8_t destSlot, uint8_t byteStride)
{
    base = static_cast<const uint8_t*>(b);
    components = count;
    type = t;
    shift = s;
    slot = destSlot;
    stride = byteStride;
    indices = nullptr;
}

int32_t resolveIndex(const VertexArray& a, uint32_t i)
{
    if (!a.indices)
        return static_cast<int32_t>(i);
    switch (a.indexType) {
    case kVertexS8:
    case kVertexU8:
    case kVertexS8Top: return a.indices[i];
    case kVertexS32:
    case kVertexU32:
    case kVertexRaw32: return load<int32_t>(a.indices + 4 * static_cast<size_t>(i));
    default: return load<uint16_t>(a.indices + 2 * static_cast<size_t>(i));
    }
}

const uint8_t* fetchElements(int32_t* out, uint32_t vertex, uint32_t slot, int32_t stride, const uint8_t* base,
                             uint8_t type, uint32_t count, int32_t shift)
{
    const TypeInfo info = typeInfo(type);
    const uint8_t* p = vertexAddress(base, vertex, stride);
    if (count < 1 || count > 4)
        return p;
    info.fns[count - 1](out + slot, p, shift);
    return p + count * info.size;
}

void fetchAttribute(const VertexArray& a, int32_t* out, uint32_t vertex)
{
    fetchElements(out, vertex, a.slot, a.stride, a.base, a.type, a.components, a.shift);
}

void fetchIndexed(const VertexArray& a, int32_t* out, uint32_t i)
{
    fetchAttribute(a, out, static_cast<uint32_t>(resolveIndex(a, i)));
}

void fetchVertex(const VertexArray& a, int32_t* out, uint32_t i, const Fixed* matrix)
{
    const uint32_t n = static_cast<uint32_t>(resolveIndex(a, i));
    if (a.texCoordMode < 0) {
        fetchAttribute(a, out, n);
        return;
    }
    fetchElements(out, n, a.slot, a.stride, a.base, a.type, 1, a.shift);
    // v is the next element; its offset comes from the type code's low bits.
    fetchElements(out, n, a.slot + 1u, a.stride, a.base + (a.type & 7), a.type, 1, a.shift2);
    const int32_t one = shiftElement(1, a.shift2 + 8, true);
    out[a.slot + 1] = wrapSub(one, out[a.slot + 1]);
    if (a.textureMatrix && matrix) {
        const Fixed u = out[a.slot];
        const Fixed v = out[a.slot + 1];
        out[a.slot] = wrapAdd(matrix[12], wrapAdd(fixMul(u, matrix[0]), fixMul(v, matrix[1])));
        out[a.slot + 1] = wrapAdd(matrix[13], wrapAdd(fixMul(u, matrix[4]), fixMul(v, matrix[5])));
    }
}
