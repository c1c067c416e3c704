// The group at the root of a scene: it adds the active camera, the background
// and a cached list of the lights of its tree, collected again on the next
// query after any change that can alter the set of lit lights.
#pragma once

#include <cstdint>

#include "engine/core/runtime/CkwArray.h"
#include "engine/scene/CkwGroup.h"

class CkwWorld : public CkwGroup {
public:
    // The factory's creator of class id 22: an empty world.
    static IkwSerializable* create();

    ~CkwWorld() override;

    int32_t getClassId() const override { return kClassWorld; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    // 0 the camera, 1 the background, then the group's.
    CkwReference getReference(int32_t index) const override;

    // A camera (class 5) or null; any other object leaves -1301.
    void setActiveCamera(CkwObject3D* camera);
    CkwObject3D* getActiveCamera() const { return m_activeCamera; }
    // A background (class 4) or null; any other object leaves -1301.
    void setBackground(CkwObject3D* background);
    CkwObject3D* getBackground() const { return m_background; }

    // The lights of the tree under rendering-enabled nodes, depth first.
    const CkwArray<CkwNode*>& getLights();

protected:
    CkwNode* copyNode() const override;
    // The copy's camera is the copy of this world's camera when it lies in
    // the world, else none; the background is shared.
    void completeCopy(const CkwNode& source, const CopyMap& copies) override;
    int32_t animateNodeReferences(int32_t worldTime, int32_t validity, uint32_t stamp) override;

private:
    void collectLights();
    // The next rendering-enabled light after node in the world's tree.
    CkwNode* nextLight(CkwNode* node) const;

    CkwObject3D* m_activeCamera = nullptr;
    CkwObject3D* m_background = nullptr;
    CkwArray<CkwNode*> m_lights;
    // The scene revision the lights were collected at; 0 before.
    uint64_t m_lightsRevision = 0;
};
