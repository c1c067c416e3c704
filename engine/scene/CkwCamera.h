// The node a scene is viewed through: one of three projections (generic
// matrix, parallel, perspective) whose matrix is cached and rebuilt from the
// parameters when they change; far, near and field of view can be animated.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/math/CkwMatrix.h"
#include "engine/core/scene/CkwNode.h"

class CkwTransform;

class CkwCamera : public CkwNode {
public:
    static constexpr int32_t kGeneric = 48;
    static constexpr int32_t kParallel = 49;
    static constexpr int32_t kPerspective = 50;

    // The factory's creator of class id 5: generic, identity projection.
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassCamera; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    void applyAnimatedProperty(int32_t property, int32_t components, const float* values) override;
    bool isAnimatable(int32_t property) const override;

    // The interface checks the ranges; the class stores what it is given.
    void setPerspective(float fovy, float aspectRatio, float near, float far);
    void setParallel(float height, float aspectRatio, float near, float far);
    // A singular matrix leaves -1301 and keeps the old projection.
    void setGeneric(const CkwTransform& transform);

    // Four parameters into out (none for a generic camera); out with fewer
    // than 4 places leaves -1301. Returns the kind.
    int32_t getProjectionParams(int32_t count, float* out) const;
    // Near and far within 1.5e-5 leave -1000, whatever the kind. Returns the kind.
    int32_t getProjection(CkwTransform* out);
    const CkwMatrix& getProjectionMatrix();
    // As getProjectionMatrix after getProjection's test.
    const CkwMatrix& getCheckedProjectionMatrix();

    int32_t getProjectionKind() const { return m_projectionKind; }
    float getFovy() const { return m_fovy; }
    float getHeight() const { return m_height; }
    float getAspectRatio() const { return m_aspectRatio; }
    float getNear() const { return m_near; }
    float getFar() const { return m_far; }

protected:
    CkwNode* copyNode() const override;

private:
    void checkDepthRange() const;
    void updateProjection();

    int32_t m_projectionKind = kGeneric;
    bool m_projectionDirty = true;
    CkwMatrix m_projection;
    float m_fovy = 57.29578f;
    float m_height = 2.0f;
    float m_aspectRatio = 1.0f;
    float m_near = 1.0f;
    float m_far = -1.0f;
};
