// Appearance: the counted component references, their animation and the
// appearance's file data.
#include "engine/scene/CkwAppearance.h"

#include <algorithm>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/scene/CkwCompositingMode.h"
#include "engine/scene/CkwFog.h"
#include "engine/scene/CkwMaterial.h"
#include "engine/scene/CkwPolygonMode.h"
#include "engine/scene/CkwTexture2D.h"
#include "engine/scene/SceneFieldHelpers.h"

IkwSerializable* CkwAppearance::create() { return new CkwAppearance; }

CkwAppearance::~CkwAppearance()
{
    replaceReference(m_compositingMode, nullptr);
    replaceReference(m_fog, nullptr);
    replaceReference(m_polygonMode, nullptr);
    replaceReference(m_material, nullptr);
    for (CkwObject3D*& texture : m_textures)
        replaceReference(texture, nullptr);
}

void CkwAppearance::setCompositingMode(CkwCompositingMode* mode) { replaceReference(m_compositingMode, mode); }
void CkwAppearance::setFog(CkwFog* fog) { replaceReference(m_fog, fog); }
void CkwAppearance::setPolygonMode(CkwPolygonMode* mode) { replaceReference(m_polygonMode, mode); }
void CkwAppearance::setMaterial(CkwMaterial* material) { replaceReference(m_material, material); }

void CkwAppearance::setTexture(int32_t unit, CkwObject3D* texture)
{
    if (unit < 0 || unit >= kTextureUnits)
        leave(KErrIndexOutOfRange);
    if (texture != nullptr && texture->getClassId() != kClassTexture2D)
        leave(KErrIllegalArgument);
    replaceReference(m_textures[unit], texture);
}

CkwTexture2D* CkwAppearance::getTexture(int32_t unit) const
{
    if (unit < 0 || unit >= kTextureUnits)
        leave(KErrIndexOutOfRange);
    return static_cast<CkwTexture2D*>(m_textures[unit]);
}

int32_t CkwAppearance::animateReferences(int32_t worldTime, int32_t validity, uint32_t stamp)
{
    CkwObject3D* const animated[] = {m_fog, m_material, m_textures[0], m_textures[1]};
    for (CkwObject3D* object : animated)
        if (object != nullptr)
            validity = std::min(validity, object->animate(worldTime, stamp));
    return validity;
}

CkwReference CkwAppearance::getReference(int32_t index) const
{
    switch (index) {
    case 0:
        return CkwReference::single(m_compositingMode);
    case 1:
        return CkwReference::single(m_fog);
    case 2:
        return CkwReference::single(m_polygonMode);
    case 3:
        return CkwReference::single(m_material);
    case 4:
    case 5:
        return CkwReference::single(m_textures[index - 4]);
    default:
        return CkwObject3D::getReference(index - 6);
    }
}

void CkwAppearance::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwObject3D::deserialize(buffer);
    const int32_t layer = static_cast<int8_t>(buffer.readByte());
    if (layer < -kMaxLayer || layer > kMaxLayer)
        leave(KErrCorruptData);
    m_layer = layer;
    setCompositingMode(readComponent<CkwCompositingMode>(buffer, kClassCompositingMode));
    setFog(readComponent<CkwFog>(buffer, kClassFog));
    setPolygonMode(readComponent<CkwPolygonMode>(buffer, kClassPolygonMode));
    setMaterial(readComponent<CkwMaterial>(buffer, kClassMaterial));
    const uint32_t count = buffer.readArrayCount(4);
    for (uint32_t i = 0; i < count; ++i) {
        CkwObject3D* texture = readComponent<CkwObject3D>(buffer, kClassTexture2D);
        if (texture == nullptr)
            leave(KErrCorruptData);
        // Units past the second are checked and dropped.
        if (i < kTextureUnits)
            setTexture(static_cast<int32_t>(i), texture);
    }
}

CkwObject3D* CkwAppearance::duplicate() const
{
    CkwCleanupPtr<CkwAppearance> copy(new CkwAppearance);
    copy->copyFrom(*this);
    copy->m_layer = m_layer;
    copy->setCompositingMode(m_compositingMode);
    copy->setFog(m_fog);
    copy->setPolygonMode(m_polygonMode);
    copy->setMaterial(m_material);
    for (int32_t unit = 0; unit < kTextureUnits; ++unit)
        copy->setTexture(unit, m_textures[unit]);
    return copy.release();
}
