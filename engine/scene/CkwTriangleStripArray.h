// The engine's index buffer: the triangles of one submesh as strips over the
// vertices of a vertex buffer, either consecutive from a first index
// (implicit) or listed as 16-bit indices (explicit). Every triangle keeps the
// winding of its strip's first one.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/scene/CkwIndexBuffer.h"

class CkwTriangleStripArray : public CkwIndexBuffer {
public:
    // The most strip indices one draw call or one pick may walk, each
    // strips' counted every time a submesh names them: a few bytes of file
    // name one long strip again and again. Past it the call leaves -1300
    // before it walks the strips that would pass it.
    static constexpr int64_t kMaxWalkedIndices = int64_t{1} << 21;

    // The factory's creator of class id 11: an empty implicit array.
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassTriangleStripArray; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    CkwObject3D* duplicate() const override;

    int32_t getIndexCount() const override;
    // Strip by strip; a strip that would pass outLength leaves -1301 with the
    // earlier strips written.
    void getTriangleIndices(int32_t outLength, int32_t* out) const override;

    // firstIndex < 0 or a last index above 65535 leaves -1101; no strips or
    // a strip shorter than 3 leaves -1301.
    void initImplicit(int32_t firstIndex, int32_t stripCount, const int32_t* stripLengths);
    // An index outside 0..65535 leaves -1101; no strips, a strip shorter
    // than 3 or strips longer than the index list leave -1301.
    void initExplicit(int32_t indexCount, const int32_t* indices, int32_t stripCount, const int32_t* stripLengths);
    // The strip's length; its indices into out when given (-1301 when short).
    int32_t getStrip(int32_t stripIndex, int32_t outLength, int32_t* out) const;
    // Joins the strips of an explicit array into one, repeating indices so
    // each strip keeps its winding.
    void stitchStrips();

    bool isImplicit() const { return m_implicit; }
    uint16_t getFirstIndex() const { return m_firstIndex; }
    const CkwArray<uint16_t>& getIndices() const { return m_indices; }
    const CkwArray<uint16_t>& getStripLengths() const { return m_stripLengths; }
    // The indices the strips reach, their lengths' sum: the first this many
    // of an explicit list (which may hold more), or as many from the first
    // index on.
    int32_t getUsedIndexCount() const { return m_usedIndexCount; }
    // What a draw or pick walks of any index buffer: strips' used indices.
    static int32_t walkedIndicesOf(const CkwIndexBuffer* buffer)
    {
        return buffer != nullptr && buffer->getClassId() == kClassTriangleStripArray
                   ? static_cast<const CkwTriangleStripArray*>(buffer)->m_usedIndexCount
                   : 0;
    }
    // New whenever the strips may have changed, never shared by two arrays:
    // what the renderer keeps of the strips is keyed by it, as an address
    // can come back for another array.
    uint64_t getSerial() const { return m_serial; }

private:
    static uint64_t nextSerial();
    // The vertex index at position i of the strips laid end to end.
    int32_t indexAt(int32_t i) const { return m_implicit ? m_firstIndex + i : m_indices[i]; }
    // Takes strips that passed every check, so a refused or failed init
    // leaves the array as it was: nothing can read past what is stored.
    template <class Index, class Length>
    void setStrips(bool implicit, int64_t first, const Index* indices, int32_t indexCount, const Length* lengths,
                   int32_t stripCount, int64_t largest);

    bool m_implicit = true;
    uint16_t m_firstIndex = 0;
    CkwArray<uint16_t> m_indices;
    CkwArray<uint16_t> m_stripLengths;
    int32_t m_usedIndexCount = 0;
    uint64_t m_serial = nextSerial();
};
