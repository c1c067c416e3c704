// The result of a pick: the node hit, its submesh, the distance along the
// ray, texture coordinates and normal at the hit, and the ray itself. The
// engine keeps one scratch record in its context for picks to work in.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/runtime/CkwRefCount.h"

class CkwNode;
struct EngineContext;

class CkwRayIntersection : public IkwSerializable {
public:
    // The factory's creator of class id 28: nothing hit, normal (0, 0, 1),
    // the ray from the origin along +z.
    static IkwSerializable* create();
    // The context's scratch record, made on first use (leaves -4).
    static CkwRayIntersection& shared();
    // Destroys the scratch record and clears its slot.
    static void releaseShared(EngineContext& context);

    ~CkwRayIntersection() override;
    int32_t getClassId() const override { return kClassRayIntersection; }

    // Counts the new node and releases the old one.
    void setIntersected(CkwNode* node);
    CkwNode* getIntersected() const { return m_intersected; }
    int32_t getSubmeshIndex() const { return m_submeshIndex; }
    float getDistance() const { return m_distance; }
    // Units outside 0..1 leave -1101.
    float getTextureS(int32_t unit) const;
    float getTextureT(int32_t unit) const;
    const float* getNormal() const { return m_normal; }
    // Origin x, y, z, then direction; outLength < 6 leaves -1301.
    void getRay(int32_t outLength, float* out) const;

    // Starts a pick: no node, the largest distance, the ray given.
    void begin(const float* origin, const float* direction);
    // Every field, the node counted.
    void copyFrom(const CkwRayIntersection& other);
    // What a pick fills in beside the node.
    void setHit(int32_t submeshIndex, float distance, const float* textureS, const float* textureT,
                const float* normal);
    void setRay(const float* origin, const float* direction);

private:
    static void checkUnit(int32_t unit);

    CkwNode* m_intersected = nullptr;
    int32_t m_submeshIndex = 0;
    float m_distance = 0.0f;
    float m_textureS[2] = {};
    float m_textureT[2] = {};
    float m_normal[3] = {0.0f, 0.0f, 1.0f};
    float m_ray[6] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
};
