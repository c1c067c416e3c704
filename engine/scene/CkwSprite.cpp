// Sprite: crop rules, the crop as texture coordinates, CROP animation and the
// sprite's file data.
#include "engine/scene/CkwSprite.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/SceneFieldHelpers.h"

namespace {

// A crop value in 16.16, rounded half away from zero: truncating v + 0.5 would
// take a mirrored crop of -32 to one step short of -32.
int64_t cropFixed(float v) { return v < 0.0f ? -int64_t{roundToFixed(-v)} : roundToFixed(v); }

bool cropSizeFits(int64_t size) { return std::llabs(size) <= kSpriteMaxCrop; }

// One axis of the crop in 16.16 image lengths: the low and high edge,
// swapped for a mirrored (non-positive) size. A crop reaching past the image
// keeps its place; the renderer and picking cut it to the image.
void cropAxis(int32_t size, float origin, float extent, int32_t& low, int32_t& high)
{
    const int64_t reciprocal = 65536 / size;
    const int64_t x = cropFixed(origin);
    const int64_t w = cropFixed(extent);
    const int64_t a = w < 1 ? (reciprocal * (x - w)) >> 16 : (reciprocal * x) >> 16;
    const int64_t b = w < 1 ? (reciprocal * x) >> 16 : (reciprocal * (x + w)) >> 16;
    // Only a crop wholly off the image can reach past 32 bits.
    low = static_cast<int32_t>(std::clamp<int64_t>(a, INT32_MIN, INT32_MAX));
    high = static_cast<int32_t>(std::clamp<int64_t>(b, INT32_MIN, INT32_MAX));
}

} // namespace

IkwSerializable* CkwSprite::create() { return new CkwSprite; }

CkwSprite::~CkwSprite()
{
    replaceReference(m_image, nullptr);
    replaceReference(m_appearance, nullptr);
}

void CkwSprite::setCrop(int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (!cropSizeFits(width) || !cropSizeFits(height))
        leave(KErrIllegalArgument);
    m_cropX = static_cast<float>(x);
    m_cropY = static_cast<float>(y);
    m_cropWidth = static_cast<float>(width);
    m_cropHeight = static_cast<float>(height);
}

void CkwSprite::setImage(CkwImage2D* image)
{
    replaceReference(m_image, image);
    m_cropX = 0.0f;
    m_cropY = 0.0f;
    m_cropWidth = image != nullptr ? static_cast<float>(std::min(image->getWidth(), kSpriteMaxCrop)) : 0.0f;
    m_cropHeight = image != nullptr ? static_cast<float>(std::min(image->getHeight(), kSpriteMaxCrop)) : 0.0f;
}

void CkwSprite::setAppearance(CkwObject3D* appearance)
{
    if (appearance != nullptr && appearance->getClassId() != kClassAppearance)
        leave(KErrIllegalArgument);
    replaceReference(m_appearance, appearance);
}

bool CkwSprite::computeCropCoords(int32_t& left, int32_t& top, int32_t& right, int32_t& bottom)
{
    if (m_image == nullptr)
        return false;
    const int32_t width = m_image->getWidth();
    const int32_t height = m_image->getHeight();
    // CROP animation stores x and y as they come; NaN or infinity places the
    // crop nowhere.
    if (width < 1 || height < 1 || cropFixed(m_cropWidth) == 0 || cropFixed(m_cropHeight) == 0
        || !std::isfinite(m_cropX) || !std::isfinite(m_cropY))
        return false;
    cropAxis(width, m_cropX, m_cropWidth, left, right);
    cropAxis(height, m_cropY, m_cropHeight, top, bottom);
    return true;
}

CkwReference CkwSprite::getReference(int32_t index) const
{
    if (index == 0)
        return CkwReference::single(m_image);
    if (index == 1)
        return CkwReference::single(m_appearance);
    return CkwObject3D::getReference(index - 2);
}

int32_t CkwSprite::animateNodeReferences(int32_t worldTime, int32_t validity, uint32_t stamp)
{
    if (m_appearance != nullptr)
        validity = std::min(validity, m_appearance->animate(worldTime, stamp));
    return validity;
}

bool CkwSprite::isAnimatable(int32_t property) const
{
    return property == kPropertyCrop || CkwNode::isAnimatable(property);
}

void CkwSprite::applyAnimatedProperty(int32_t property, int32_t components, const float* values)
{
    if (property != kPropertyCrop) {
        CkwNode::applyAnimatedProperty(property, components, values);
        return;
    }
    m_cropX = values[0];
    m_cropY = values[1];
    if (components >= 4) {
        m_cropWidth = static_cast<float>(roundClamp(values[2], -kSpriteMaxCrop, kSpriteMaxCrop));
        m_cropHeight = static_cast<float>(roundClamp(values[3], -kSpriteMaxCrop, kSpriteMaxCrop));
    }
}

void CkwSprite::getAnimationCrop(float& width, float& height) const
{
    width = m_cropWidth;
    height = m_cropHeight;
}

void CkwSprite::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwNode::deserialize(buffer);
    auto* image = dynamic_cast<CkwImage2D*>(buffer.readImageReference(false));
    auto* appearance = readComponent<CkwAppearance>(buffer, kClassAppearance);
    if (image == nullptr || appearance == nullptr)
        leave(KErrCorruptData);
    setImage(image);
    setAppearance(appearance);
    m_scaled = buffer.readBoolean();
    const int32_t x = buffer.readInt32();
    const int32_t y = buffer.readInt32();
    const int32_t width = buffer.readInt32();
    const int32_t height = buffer.readInt32();
    if (!cropSizeFits(width) || !cropSizeFits(height))
        leave(KErrCorruptData);
    setCrop(x, y, width, height);
}

CkwNode* CkwSprite::copyNode() const
{
    CkwCleanupPtr<CkwSprite> copy(new CkwSprite);
    copy->copyNodeFields(*this);
    copy->setImage(m_image);
    copy->setAppearance(m_appearance);
    copy->m_cropX = m_cropX;
    copy->m_cropY = m_cropY;
    copy->m_cropWidth = m_cropWidth;
    copy->m_cropHeight = m_cropHeight;
    copy->m_scaled = m_scaled;
    return copy.release();
}
