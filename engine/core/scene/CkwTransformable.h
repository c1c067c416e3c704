// A scene object with a transform: translation, scale, orientation and an
// optional general matrix, combined into a cached composite T x R x S x M.
// Every transformable starts on the engine's shared default block and gets a
// block of its own on its first change.
#pragma once

#include <cstdint>

#include "engine/core/math/CkwMatrix.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/scene/CkwObject3D.h"

class CkwTransform;

class CkwTransformable : public CkwObject3D {
public:
    static constexpr uint8_t kFlagCompositeDirty = 1;
    static constexpr uint8_t kFlagSharedBlock = 4;
    static constexpr uint8_t kFlagSharedMatrix = 8;

    CkwTransformable();
    ~CkwTransformable() override;

    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    void applyAnimatedProperty(int32_t property, int32_t components, const float* values) override;
    bool isAnimatable(int32_t property) const override;
    // Marks the composite transform out of date.
    virtual void invalidate();

    const float* getTranslation() const { return m_components->translation; }
    const float* getScale() const { return m_components->scale; }
    // x, y, z, w.
    const float* getOrientation() const { return m_components->orientation; }
    const CkwMatrix& getGeneralMatrix() const { return *m_components->generalMatrix; }

    void setTranslation(float x, float y, float z);
    void setScale(float x, float y, float z);
    void setOrientation(const float* quaternion);
    void translate(float x, float y, float z);
    void scale(float x, float y, float z);
    // orientation = q x orientation, and orientation x q.
    void preRotate(const float* quaternion);
    void postRotate(const float* quaternion);

    // Null installs the identity. A matrix that is not affine leaves -1301,
    // except for textures.
    void setTransform(const CkwTransform* transform);
    void getTransform(CkwTransform& out) const;
    // T x R x S x M, built fresh.
    void getCompositeTransform(CkwTransform& out) const;
    // The cached composite, rebuilt when dirty.
    const CkwMatrix& updateCompositeTransform();

    uint8_t transformFlags() const { return m_flags; }
    bool isCompositeDirty() const { return (m_flags & kFlagCompositeDirty) != 0; }
    bool sharesDefaultBlock() const { return (m_flags & kFlagSharedBlock) != 0; }

protected:
    void copyFrom(const CkwTransformable& source);
    // Copy on write: a transformable on the default block gets its own.
    void ownComponents();
    // Installs matrix as the general transform, skipping the affine check.
    void installTransform(const CkwMatrix& matrix);

private:
    void freeComponents();
    void buildComposite(CkwMatrix& out) const;

    uint8_t m_flags = kFlagSharedBlock | kFlagSharedMatrix;
    DefaultTransformBlock* m_components;
};
