// The node that draws geometry: one vertex buffer shared by its submeshes,
// each an index buffer with an appearance (which may be none). The mesh holds
// one count on everything it references; all of it may be shared.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/scene/CkwIndexBuffer.h"
#include "engine/core/scene/CkwNode.h"
#include "engine/scene/CkwAppearance.h"
#include "engine/scene/CkwVertexBuffer.h"

class CkwMesh : public CkwNode {
public:
    // The factory's creator of class id 14: no vertex buffer, no submeshes.
    static IkwSerializable* create();

    ~CkwMesh() override;

    int32_t getClassId() const override { return kClassMesh; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    // 0 the vertex buffer, 1 the index buffers, 2 the appearances, then the
    // node's.
    CkwReference getReference(int32_t index) const override;
    // Scale, then x, y, z bias of the positions; false without a buffer or
    // without an output.
    bool getPositionScaleBias(float* scaleBias) const override;

    // submeshCount < 1, or appearances with fewer than submeshCount entries,
    // leave -1301; a null index buffer -1302. appearances may be null.
    void init(CkwVertexBuffer* vertexBuffer, int32_t submeshCount, CkwIndexBuffer* const* indexBuffers,
              int32_t appearanceCount, CkwAppearance* const* appearances);
    void initSingle(CkwVertexBuffer* vertexBuffer, CkwIndexBuffer* indexBuffer, CkwAppearance* appearance);

    int32_t getSubmeshCount() const { return m_indexBuffers.count(); }
    // The buffer as set.
    virtual CkwVertexBuffer* getVertexBuffer() const { return m_vertexBuffer; }
    // The buffer to draw and pick; none, or one without positions, leaves
    // -1300. Skinned and morphing meshes draw a buffer of their own.
    virtual CkwVertexBuffer* getRenderVertexBuffer(int32_t flags);
    // Indices outside the submeshes leave -1101.
    CkwIndexBuffer* getIndexBuffer(int32_t index) const;
    CkwAppearance* getAppearance(int32_t index) const;
    void setAppearance(int32_t index, CkwAppearance* appearance);

protected:
    // Init's argument checks, which change nothing.
    static void checkInit(CkwVertexBuffer* vertexBuffer, int32_t submeshCount, CkwIndexBuffer* const* indexBuffers,
                          int32_t appearanceCount, CkwAppearance* const* appearances);
    CkwNode* copyNode() const override;
    int32_t animateNodeReferences(int32_t worldTime, int32_t validity, uint32_t stamp) override;
    // The mesh fields of a copy: everything shared.
    void copyMeshFields(const CkwMesh& source);

private:
    void releaseAll();
    void sizeSubmeshes(int32_t n);
    void checkSubmesh(int32_t index) const;

    CkwVertexBuffer* m_vertexBuffer = nullptr;
    // Kept as objects so the reference walk can list them as arrays.
    CkwArray<CkwObject3D*> m_indexBuffers;
    CkwArray<CkwObject3D*> m_appearances;
};
