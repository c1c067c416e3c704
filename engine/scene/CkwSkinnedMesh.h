// A mesh whose vertices follow a skeleton, a group the mesh holds as its
// child. Ranges of vertices are bound to bones with integer weights; each
// vertex blends at most two bindings through a palette entry shared by every
// vertex with the same bindings. Skinned positions are computed in 16.16 into
// a vertex buffer of the mesh's own for picking; the renderer applies the
// palette to the source buffer itself.
#pragma once

#include <cstdint>

#include "engine/core/math/CkwMatrix.h"
#include "engine/scene/CkwGroup.h"
#include "engine/scene/CkwMesh.h"

class CkwTransform;

class CkwSkinnedMesh : public CkwMesh {
public:
    static constexpr uint16_t kNoBinding = 65535;
    // Vertices all bindings of one mesh may cover together, counted once per
    // binding: the influences cost that much to build, and a few bytes of
    // file can bind every vertex many times over.
    static constexpr int64_t kBoundVerticesPerMesh = 1 << 22;

    struct SkwBoneNode {
        CkwNode* node; // counted: a bone removed from the skeleton stays valid
        CkwMatrix atRest;
        CkwMatrix bone;
        bool dirty;
        bool moved; // in the last markChangedBones
        // The bone's path to the mesh changed since its matrix was made.
        bool stale;
        // The at-rest matrix waits for the walk that ends a record's bindings.
        bool restPending;
        uint32_t seen; // the walk that last met the bone
    };
    struct SkwBoneData {
        int32_t weight;
        uint16_t firstVertex;
        uint16_t vertexCount;
        uint16_t bone;
    };
    struct SkwPaletteEntry {
        uint16_t binding[2];
        CkwMatrix matrix;
        float weightFactor;
        bool matrixChanged;
        bool changedForDrawing;
        // The upper 3x4 of the matrix x the fixed-point factor in 16.16,
        // column by column, the translation last.
        int32_t fixed[12];
    };

    // The factory's creator of class id 16: no buffers, no skeleton.
    static IkwSerializable* create();

    ~CkwSkinnedMesh() override;

    int32_t getClassId() const override { return kClassSkinnedMesh; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    // 0 the skeleton, then the mesh's.
    CkwReference getReference(int32_t index) const override;
    // The skinned buffer's scale and bias; false until it exists.
    bool getPositionScaleBias(float* scaleBias) const override;

    // As the mesh's init, then the skeleton is adopted: null leaves -1302;
    // no Group, a group with a parent or an ancestor of the mesh -1301.
    void init(CkwVertexBuffer* vertexBuffer, int32_t submeshCount, CkwIndexBuffer* const* indexBuffers,
              int32_t appearanceCount, CkwAppearance* const* appearances, CkwGroup* skeleton);
    void initSingle(CkwVertexBuffer* vertexBuffer, CkwIndexBuffer* indexBuffer, CkwAppearance* appearance,
                    CkwGroup* skeleton);
    CkwGroup* getSkeleton() const;
    // The step of init that adopts the skeleton, with its checks; a new
    // skeleton drops the bindings to the old one.
    void setSkeleton(CkwGroup* skeleton);

    // Binds vertexCount vertices from firstVertex to bone with weight: a null
    // bone leaves -1302; weight < 1, count < 1 or a bone outside the skeleton
    // -1301; a range outside 0..65535 -1101.
    void addTransform(CkwNode* bone, int32_t weight, int32_t firstVertex, int32_t vertexCount);
    // The vertices bone drives and their blend weights, in vertex order; the
    // count. Outputs too short leave -1301.
    int32_t getBoneVertices(CkwNode* bone, int32_t indicesLength, int32_t* indices, int32_t weightsLength,
                            float* weights);
    // The bone's at-rest transform; a node with no binding leaves out as it is.
    void getBoneTransform(CkwNode* bone, CkwTransform* out) const;

    // Rebuilds the palette and the vertex palette indices when the bindings
    // or the source's vertex count changed. Bindings past the vertices -1300.
    void buildVertexInfluences();
    const CkwArray<uint16_t>& getVertexPaletteIndices();
    const CkwMatrix& getPaletteMatrix(int32_t index);
    int32_t getPaletteCount() const { return m_palette.count(); }
    // New whenever a palette matrix or a vertex's entry may have changed
    // (bindings, bones, scale and bias), and never shared by two meshes:
    // what the renderer makes from the palette is keyed by it.
    uint64_t getPaletteSerial() const { return m_paletteSerial; }
    const SkwPaletteEntry& getPaletteEntry(int32_t index) const { return m_palette[index]; }
    // Brings the bone matrices up to date and flags the palette entries of
    // bones that moved.
    void markChangedBones();
    void setPositionScaleBias(float scale, const float* bias);
    // The skinned positions, recomputed when the skin is dirty or force is set.
    CkwVertexBuffer* getSkinnedVertexBuffer(bool force);
    float getFixedPointFactor() const { return m_fixedFactor; }
    // Turns per-vertex directions (x, y, z each) by the fixed palette, no
    // translation, for vertices whose entry changed; the source is shifted
    // left by sourceShift and the matrix right by matrixShift first.
    void skinDirections(int32_t* dest, const int32_t* source, int32_t matrixShift, int32_t sourceShift) const;
    int32_t getLargestBoundIndex() const { return m_largestBoundIndex; }

protected:
    CkwNode* copyNode() const override;
    void completeCopy(const CkwNode& source, const CopyMap& copies) override;

private:
    // One node met by the walk down the mesh's subtree: its transform as
    // last seen, its parent then, and its transform to the mesh.
    struct SkwPoseNode {
        CkwNode* node;
        CkwNode* parent;
        CkwMatrix own;
        CkwMatrix toMesh;
        bool changed;  // in the last walk
    };

    void clearBones();
    // setSkeleton's checks, which change nothing.
    void checkSkeleton(const CkwGroup* skeleton) const;
    // skeletonNodes, when given, holds the skeleton's subtree sorted.
    void checkBone(const CkwNode* bone, const CkwArray<const CkwNode*>* skeletonNodes = nullptr) const;
    // Binds as addTransform does. With the skeleton's nodes given, as a
    // record does for all its bindings, the at-rest matrix waits for the
    // walk that ends the record.
    void bind(CkwNode* bone, int32_t weight, int32_t firstVertex, int32_t vertexCount,
              const CkwArray<const CkwNode*>* skeletonNodes);
    int32_t findOrAddBone(CkwNode* node);
    int32_t findBone(const CkwNode* node) const;
    // The bone map's slots from the bone records.
    void rehashBones(int32_t slots);
    // Enters a bone record in the first free slot from its node's.
    void placeBone(int32_t index);
    // Sets the bone mark on node and its ancestors below the mesh; a marked
    // node's ancestors carry the mark already.
    void markBonePath(CkwNode* node);
    // Recomputes a bone's matrix from its own walk to the mesh; whether it
    // changed. For bones the walk down the subtree does not meet.
    bool refreshBone(SkwBoneNode& bone);
    // A bone's matrix from its node's transform to the mesh; whether it
    // changed.
    bool setBoneFrom(SkwBoneNode& bone, CkwMatrix toMesh);
    // What a walk down the mesh's subtree brings up to date: pending at-rest
    // matrices always; then the dirty bones' matrices, or every bone's with
    // its moved flag.
    enum class Refresh { kRest, kDirty, kAll };
    void refreshBones(Refresh what);
    void refreshBoneFrom(SkwBoneNode& bone, const SkwPoseNode* pose, Refresh what);
    bool influencesCurrent() const;
    void updateFixedPalette(int32_t largestMagnitude);
    // Whether the source's positions, scale or bias changed since the last call.
    bool sourceChanged(const CkwVertexBuffer& source);
    static uint64_t nextPaletteSerial();

    int32_t m_largestBoundIndex = 0;
    CkwArray<SkwBoneNode> m_bones;
    // Open addressing over the bone records' nodes: -1 free, else an index.
    CkwArray<int32_t> m_boneSlots;
    int64_t m_boundVertices = 0;
    CkwArray<SkwPoseNode> m_pose;
    CkwArray<int32_t> m_posePath;
    uint32_t m_walk = 0;
    CkwArray<SkwBoneData> m_bindings;
    float m_fixedFactor = 1e36f;
    float m_extent = 0.0f;
    CkwArray<SkwPaletteEntry> m_palette;
    CkwArray<uint16_t> m_vertexPalette;
    bool m_influencesValid = false;
    bool m_paletteChanged = true;
    uint64_t m_paletteSerial = nextPaletteSerial();
    bool m_skinDirty = true;
    CkwVertexBuffer* m_skinned = nullptr;
    float m_cachedScale = 1.0f;
    float m_cachedBias[3] = {0.0f, 0.0f, 0.0f};
    CkwMatrix m_scaleBias;
    // The positions' write count, the scale and the bias, as float bits.
    static constexpr int32_t kSourceKeyWords = 5;
    uint32_t m_sourceKey[kSourceKeyWords] = {};
};
