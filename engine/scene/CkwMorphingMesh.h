// A mesh whose vertex attributes blend its base vertex buffer with morph
// targets, one float weight per target, set directly or animated through
// MORPH_WEIGHTS. The blend lives in a vertex buffer of the mesh's own,
// recomputed in 8.8 fixed point when it is next drawn or picked.
#pragma once

#include <cstdint>

#include "engine/scene/CkwMesh.h"

class CkwMorphingMesh : public CkwMesh {
public:
    // Vertex steps one mesh's blend may take, each attribute of its base from
    // every target and the base itself: targets may all name one buffer, so
    // a few bytes of file each would cost a whole buffer's blend every
    // frame. Past it the mesh is refused when made, loaded or drawn.
    static constexpr int64_t kBlendStepsPerMesh = 1 << 22;

    // The factory's creator of class id 15: no buffers, no targets.
    static IkwSerializable* create();

    ~CkwMorphingMesh() override;

    int32_t getClassId() const override { return kClassMorphingMesh; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    // 0 the targets, then the mesh's.
    CkwReference getReference(int32_t index) const override;
    void applyAnimatedProperty(int32_t property, int32_t components, const float* values) override;
    bool isAnimatable(int32_t property) const override;
    // The blended buffer, recomputed first when a weight or target changed or
    // anything was written to the base or a target.
    CkwVertexBuffer* getRenderVertexBuffer(int32_t flags) override;

    // targetCount < 1 leaves -1301, a null target -1302, past the budget -4;
    // then as the mesh's init. Every weight starts at 0.
    void init(CkwVertexBuffer* vertexBuffer, int32_t targetCount, CkwVertexBuffer* const* targets,
              int32_t submeshCount, CkwIndexBuffer* const* indexBuffers, int32_t appearanceCount,
              CkwAppearance* const* appearances);
    void initSingle(CkwVertexBuffer* vertexBuffer, int32_t targetCount, CkwVertexBuffer* const* targets,
                    CkwIndexBuffer* indexBuffer, CkwAppearance* appearance);

    // targetCount < 1 leaves -1301, a null target -1302.
    static void checkTargets(int32_t targetCount, CkwVertexBuffer* const* targets);
    // Replaces the targets after checkTargets; every weight starts at 0.
    void setTargets(int32_t count, CkwVertexBuffer* const* targets);

    int32_t getMorphTargetCount() const { return m_targets.count(); }
    // Outside 0..count-1 leaves -1101.
    CkwVertexBuffer* getMorphTarget(int32_t index) const;
    // A length below the target count leaves -1301; NaN or infinity -1001.
    void getWeights(int32_t length, float* out) const;
    void setWeights(int32_t length, const float* weights);

protected:
    CkwNode* copyNode() const override;
    int32_t animateNodeReferences(int32_t worldTime, int32_t validity, uint32_t stamp) override;
    // The animation pass sums MORPH_WEIGHTS straight into the weights.
    float* getMorphWeights(int32_t& count) override;

private:
    enum Attribute : int32_t { kPositions, kColors, kNormals, kTexCoords0, kTexCoords1 };

    void releaseTargets();
    // Room for count targets and weights, the counts unchanged.
    void reserveTargets(int32_t count);
    // Leaves -4 when the blend of base over targets passes the budget.
    static void checkBudget(const CkwVertexBuffer* base, int64_t targets);
    // Whether anything the blend is made of changed since the last call: the
    // write counts of every array and the default colour of the base and of
    // each target, and the base's scales and biases, which the blend copies.
    bool sourcesChanged();
    void recompute();
    uint32_t blendDefaultColor() const;
    // The array to use for attribute a: the base's when the first target
    // does not carry a, else the blend in the morphed buffer's own array.
    CkwVertexArray* morphAttribute(int32_t a);
    void accumulate(const CkwVertexArray& array, float weight, int32_t offset);

    bool m_morphDirty = true;
    CkwVertexBuffer* m_morphed = nullptr;
    CkwArray<int32_t> m_accumulator;
    // Kept as objects so the reference walk lists them as an array.
    CkwArray<CkwObject3D*> m_targets;
    CkwArray<float> m_weights;
    // What sourcesChanged saw last.
    CkwArray<uint32_t> m_sources;
};
