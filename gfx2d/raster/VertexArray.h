// Client vertex arrays of bytes, shorts or ints, read the way a GL vertex
// pointer is: each element becomes a 32-bit fixed-point word with a
// per-array shift, optionally through an index array, with a texture
// coordinate form that flips v and applies the texture matrix.
#pragma once

#include <cstdint>

#include "framework/services/HashedObject.h"
#include "gfx2d/raster/FixedPoint.h"

// Element type codes. Codes not listed read as signed 16-bit.
inline constexpr uint8_t kVertexS8 = 1;
inline constexpr uint8_t kVertexS16 = 2;
inline constexpr uint8_t kVertexS32 = 4;
inline constexpr uint8_t kVertexU8 = 9;
inline constexpr uint8_t kVertexU16 = 10;
inline constexpr uint8_t kVertexU32 = 12;
inline constexpr uint8_t kVertexS8Top = 17;   // last component taken as value << 24
inline constexpr uint8_t kVertexS16Top = 18;  // last component taken as value << 16
inline constexpr uint8_t kVertexRaw32 = 20;   // last component taken as stored

struct VertexArray {
    const uint8_t* base = nullptr;
    int32_t shift = 0;
    uint8_t components = 0;
    uint8_t type = 0;
    uint8_t slot = 0;
    uint8_t stride = 0;
    const uint8_t* indices = nullptr;
    int32_t shift2 = 0;
    int32_t texCoordMode = -1;  // >= 0 selects the texture-coordinate fetch
    int32_t textureMatrix = 0;
    uint8_t indexType = 0;

    void set(const void* base, uint8_t components, uint8_t type, int32_t shift, uint8_t slot, uint8_t stride);
};

// What the polygon pipeline fetches per vertex: a position and, when present,
// texture coordinates (into the record word given by the array's slot),
// optionally through the top of the texture matrix stack.
struct VertexBinding {
    VertexArray position;
    VertexArray texCoord;
    bool hasTexCoord = false;
    bool useTextureMatrix = false;
};

int32_t resolveIndex(const VertexArray& a, uint32_t i);
void fetchAttribute(const VertexArray& a, int32_t* out, uint32_t vertex);
void fetchIndexed(const VertexArray& a, int32_t* out, uint32_t i);
// Returns the address after the last element read. A stride may be negative.
const uint8_t* fetchElements(int32_t* out, uint32_t vertex, uint32_t slot, int32_t stride, const uint8_t* base,
                             uint8_t type, uint32_t count, int32_t shift);
// matrix: 16 words, consulted only when the array's texture-matrix flag is set.
void fetchVertex(const VertexArray& a, int32_t* out, uint32_t i, const Fixed* matrix);

// One element converted with the shift rules (shift of 32 or more gives 0,
// or all ones for a negative signed value shifted right).
int32_t shiftElement(int32_t e, int32_t shift, bool isSigned);

inline constexpr uint32_t kBoundCallTypeId = 0x027FB715;

// A call with two words bound to it: forward hands its arguments on to
// invoke with the bound words appended. Nothing in the library makes one; a
// user derives and supplies invoke.
class BoundCall : public HashedObject {
public:
    BoundCall() : HashedObject(kBoundCallTypeId) {}

    void bind(uint32_t first, uint32_t second)
    {
        m_words[0] = first;
        m_words[1] = second;
    }
    int32_t forward(int32_t a, int32_t b) { return invoke(a, b, m_words[0], m_words[1]); }

protected:
    virtual int32_t invoke(int32_t, int32_t, uint32_t, uint32_t) { return 0; }

private:
    uint32_t m_words[2] = {};
};
