// World: camera and background references, the light cache, duplication and
// the world's file data.
#include "engine/scene/CkwWorld.h"

#include <algorithm>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/scene/SceneFieldHelpers.h"

IkwSerializable* CkwWorld::create() { return new CkwWorld; }

CkwWorld::~CkwWorld()
{
    replaceReference(m_activeCamera, nullptr);
    replaceReference(m_background, nullptr);
}

void CkwWorld::setActiveCamera(CkwObject3D* camera)
{
    if (camera != nullptr && camera->getClassId() != kClassCamera)
        leave(KErrIllegalArgument);
    replaceReference(m_activeCamera, camera);
}

void CkwWorld::setBackground(CkwObject3D* background)
{
    if (background != nullptr && background->getClassId() != kClassBackground)
        leave(KErrIllegalArgument);
    replaceReference(m_background, background);
}

void CkwWorld::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwGroup::deserialize(buffer);
    setActiveCamera(readComponent<CkwObject3D>(buffer, kClassCamera));
    setBackground(readComponent<CkwObject3D>(buffer, kClassBackground));
    recountSubtreeDepths();
}

CkwReference CkwWorld::getReference(int32_t index) const
{
    if (index == 0)
        return CkwReference::single(m_activeCamera);
    if (index == 1)
        return CkwReference::single(m_background);
    return CkwGroup::getReference(index - 2);
}

int32_t CkwWorld::animateNodeReferences(int32_t worldTime, int32_t validity, uint32_t stamp)
{
    if (m_activeCamera != nullptr)
        validity = std::min(validity, m_activeCamera->animate(worldTime, stamp));
    if (m_background != nullptr)
        validity = std::min(validity, m_background->animate(worldTime, stamp));
    return CkwGroup::animateNodeReferences(worldTime, validity, stamp);
}

CkwNode* CkwWorld::copyNode() const
{
    CkwCleanupPtr<CkwWorld> copy(new CkwWorld);
    copy->copyNodeFields(*this);
    copy->setBackground(m_background);
    return copy.release();
}

void CkwWorld::completeCopy(const CkwNode& source, const CopyMap& copies)
{
    setActiveCamera(copies.copyOf(dynamic_cast<CkwNode*>(static_cast<const CkwWorld&>(source).m_activeCamera)));
}

const CkwArray<CkwNode*>& CkwWorld::getLights()
{
    if (m_lightsRevision != sceneRevision())
        collectLights();
    return m_lights;
}

void CkwWorld::collectLights()
{
    m_lights.setCount(0);
    // Sized before it is filled: after a failed growth the cache stays empty
    // rather than passing a part of the list off as the whole.
    int32_t count = 0;
    for (CkwNode* node = nextLight(this); node != nullptr; node = nextLight(node))
        ++count;
    m_lights.setCount(count);
    int32_t i = 0;
    for (CkwNode* node = nextLight(this); node != nullptr; node = nextLight(node))
        m_lights[i++] = node;
    m_lightsRevision = sceneRevision();
}

CkwNode* CkwWorld::nextLight(CkwNode* node) const
{
    uint64_t steps = 0;
    do {
        // A disabled node hides its whole subtree from the lighting.
        node = nextInSubtree(node, this, node->isRenderingEnabled());
        ++steps;
    } while (node != nullptr && !(node->isRenderingEnabled() && node->getClassId() == kClassLight));
    countVisits(steps);
    return node;
}
