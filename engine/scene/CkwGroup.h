// The scene-graph node with an ordered list of children. The children live in
// the node links; the group holds one count on each and checks every child it
// is given: no cycles, no second parent, no World.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/scene/CkwNode.h"
#include "engine/scene/CkwPick.h"

class CkwCamera;

class CkwGroup : public CkwNode, public CkwPick {
public:
    // The factory's creator of class id 9: an empty group.
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassGroup; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    // The children first, then the references of the base.
    CkwReference getReference(int32_t index) const override;

    // Appends node. Null leaves -1302; the group itself, a World, a node with
    // another parent and an ancestor of the group leave -1301. A node that is
    // already a child changes nothing.
    void addChild(CkwNode* node);
    // A bone leaves -1301; null and nodes that are not children do nothing.
    void removeChild(CkwNode* node);
    int32_t getChildCount() const { return childCount(); }
    // Leaves -1101 outside 0..count-1.
    CkwNode* getChild(int32_t index) const;

    // The nearest mesh triangle or sprite of the subtree whose scope shares a
    // bit with scope, through the camera at the viewport point (x, y), 0..1
    // from the left and top. A camera outside the group's tree or with a
    // singular projection leaves -1300, near and far too close -1000.
    // Returns whether something was hit, and then copies the hit into result
    // when one is given.
    bool pickViewport(int32_t scope, float x, float y, CkwCamera& camera, CkwRayIntersection* result);
    // The same along a ray in the group's coordinates, which hits no sprite;
    // a zero direction leaves -1301.
    bool pickRay(int32_t scope, const float* origin, const float* direction, CkwRayIntersection* result);

protected:
    CkwNode* copyNode() const override;
    // The group's data after the node data: the counted child indices.
    void readChildren(CkwSerializeBufferObjectsIn& buffer);
};

// Float 3-vector helpers of ray picking and sprite drawing. The length's root
// is taken in double precision and rounded back to float.
float vec3Length(const float* v);
float vec3Dot(const float* a, const float* b);
// a -= b.
void vec3SubInPlace(float* a, const float* b);
