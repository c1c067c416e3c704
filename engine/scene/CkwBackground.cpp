// Background: the counted image, animation of alpha, colour and crop, and the
// background's file data.
#include "engine/scene/CkwBackground.h"

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/SceneFieldHelpers.h"

IkwSerializable* CkwBackground::create() { return new CkwBackground; }

CkwBackground::~CkwBackground() { replaceReference(m_image, nullptr); }

void CkwBackground::setImage(CkwObject3D* image)
{
    if (image != nullptr && !isImageClass(image->getClassId(), true))
        leave(KErrIllegalArgument);
    replaceReference(m_image, image);
}

void CkwBackground::setCrop(float x, float y, float width, float height)
{
    m_cropX = x;
    m_cropY = y;
    m_cropWidth = width;
    m_cropHeight = height;
}

CkwReference CkwBackground::getReference(int32_t index) const
{
    if (index == 0)
        return CkwReference::single(m_image);
    return CkwObject3D::getReference(index - 1);
}

void CkwBackground::getAnimationCrop(float& width, float& height) const
{
    width = m_cropWidth;
    height = m_cropHeight;
}

bool CkwBackground::isAnimatable(int32_t property) const
{
    return property == kPropertyAlpha || property == kPropertyColor || property == kPropertyCrop
        || CkwObject3D::isAnimatable(property);
}

void CkwBackground::applyAnimatedProperty(int32_t property, int32_t components, const float* values)
{
    switch (property) {
    case kPropertyAlpha:
        colorSetAlpha(&m_color, clampFloat(values[0], 0.0f, 1.0f));
        break;
    case kPropertyColor:
        colorSetRgb(&m_color, values[0], values[1], values[2]);
        break;
    case kPropertyCrop:
        // Unclamped: animation may turn the crop inside out.
        setCrop(values[0], values[1], values[2], values[3]);
        break;
    default:
        CkwObject3D::applyAnimatedProperty(property, components, values);
        break;
    }
}

void CkwBackground::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwObject3D::deserialize(buffer);
    buffer.readColor(m_color, true);
    setImage(dynamic_cast<CkwObject3D*>(buffer.readImageReference(true)));
    m_imageModeX = buffer.readByteInRange(kBorder - 1, kRepeat + 1);
    m_imageModeY = buffer.readByteInRange(kBorder - 1, kRepeat + 1);
    int32_t crop[4];
    for (int32_t& value : crop)
        value = buffer.readInt32();
    if (crop[2] < 0 || crop[3] < 0)
        leave(KErrCorruptData);
    setCrop(static_cast<float>(crop[0]), static_cast<float>(crop[1]), static_cast<float>(crop[2]),
            static_cast<float>(crop[3]));
    m_depthClear = buffer.readBoolean();
    m_colorClear = buffer.readBoolean();
}

CkwObject3D* CkwBackground::duplicate() const
{
    CkwCleanupPtr<CkwBackground> copy(new CkwBackground);
    copy->copyFrom(*this);
    copy->m_color = m_color;
    copy->setImage(m_image);
    copy->m_imageModeX = m_imageModeX;
    copy->m_imageModeY = m_imageModeY;
    copy->setCrop(m_cropX, m_cropY, m_cropWidth, m_cropHeight);
    copy->m_depthClear = m_depthClear;
    copy->m_colorClear = m_colorClear;
    return copy.release();
}
