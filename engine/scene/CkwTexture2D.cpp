// Texture2D: the image check, the blend colour animation and the texture's
// file data.
#include "engine/scene/CkwTexture2D.h"

#include <algorithm>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/SceneFieldHelpers.h"

namespace {

bool isTextureImage(CkwImage2D& image)
{
    return isPowerOfTwoUpTo(image.getWidth(), kTextureMaxSize) && isPowerOfTwoUpTo(image.getHeight(), kTextureMaxSize);
}

} // namespace

IkwSerializable* CkwTexture2D::create() { return new CkwTexture2D; }

CkwTexture2D::~CkwTexture2D() { replaceReference(m_image, nullptr); }

void CkwTexture2D::setImage(CkwImage2D* image)
{
    if (image != nullptr && !isTextureImage(*image))
        leave(KErrIllegalArgument);
    replaceReference(m_image, image);
}

bool CkwTexture2D::keepsImageSides() const { return m_image == nullptr || isTextureImage(*m_image); }

CkwReference CkwTexture2D::getReference(int32_t index) const
{
    if (index == 0)
        return CkwReference::single(m_image);
    return CkwObject3D::getReference(index - 1);
}

int32_t CkwTexture2D::animateReferences(int32_t worldTime, int32_t validity, uint32_t stamp)
{
    if (m_image != nullptr)
        validity = std::min(validity, m_image->animate(worldTime, stamp));
    return validity;
}

bool CkwTexture2D::isAnimatable(int32_t property) const
{
    return property == kPropertyColor || CkwTransformable::isAnimatable(property);
}

void CkwTexture2D::applyAnimatedProperty(int32_t property, int32_t components, const float* values)
{
    if (property != kPropertyColor) {
        CkwTransformable::applyAnimatedProperty(property, components, values);
        return;
    }
    if (components >= 3)
        colorSetRgb(&m_blendColor, values[0], values[1], values[2]);
}

void CkwTexture2D::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwTransformable::deserialize(buffer);
    auto* image = dynamic_cast<CkwImage2D*>(buffer.readImageReference(true));
    if (image == nullptr || !isTextureImage(*image))
        leave(KErrCorruptData);
    setImage(image);
    buffer.readColor(m_blendColor, false);
    m_blending = buffer.readByteInRange(kTextureFuncAdd - 1, kTextureFuncReplace + 1);
    m_wrappingS = buffer.readByteInRange(kTextureWrapClamp - 1, kTextureWrapRepeat + 1);
    m_wrappingT = buffer.readByteInRange(kTextureWrapClamp - 1, kTextureWrapRepeat + 1);
    m_levelFilter = buffer.readByteInRange(kTextureFilterBaseLevel - 1, kTextureFilterNearest + 1);
    m_imageFilter = buffer.readByteInRange(kTextureFilterLinear - 1, kTextureFilterNearest + 1);
}

CkwObject3D* CkwTexture2D::duplicate() const
{
    CkwCleanupPtr<CkwTexture2D> copy(new CkwTexture2D);
    copy->copyFrom(*this);
    copy->setImage(m_image);
    copy->m_blendColor = m_blendColor;
    copy->m_blending = m_blending;
    copy->m_wrappingS = m_wrappingS;
    copy->m_wrappingT = m_wrappingT;
    copy->m_levelFilter = m_levelFilter;
    copy->m_imageFilter = m_imageFilter;
    return copy.release();
}
