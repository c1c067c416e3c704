// A node showing a rectangle of an image facing the viewer, scaled with
// distance or at a fixed pixel size. The crop rectangle is in image pixels; a
// negative width or height mirrors the image.
#pragma once

#include <cstdint>

#include "engine/core/scene/CkwNode.h"
#include "engine/scene/CkwAppearance.h"
#include "engine/scene/CkwImage2D.h"

constexpr int32_t kSpriteMaxCrop = 1024;

class CkwSprite : public CkwNode {
public:
    // The factory's creator of class id 18: no image, no appearance, empty
    // crop, unscaled.
    static IkwSerializable* create();

    ~CkwSprite() override;

    int32_t getClassId() const override { return kClassSprite; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    // 0 the image, 1 the appearance, then the base's.
    CkwReference getReference(int32_t index) const override;
    void applyAnimatedProperty(int32_t property, int32_t components, const float* values) override;
    bool isAnimatable(int32_t property) const override;

    // A width or height beyond 1024 either way leaves -1301.
    void setCrop(int32_t x, int32_t y, int32_t width, int32_t height);
    // Resets the crop to the whole image, at most 1024 pixels each way.
    void setImage(CkwImage2D* image);
    // An Appearance or null; any other object leaves -1301.
    void setAppearance(CkwObject3D* appearance);
    CkwImage2D* getImage() const { return m_image; }
    CkwAppearance* getAppearance() const { return static_cast<CkwAppearance*>(m_appearance); }
    bool isScaled() const { return m_scaled; }
    void setScaled(bool scaled) { m_scaled = scaled; }
    float getCropX() const { return m_cropX; }
    float getCropY() const { return m_cropY; }
    float getCropWidth() const { return m_cropWidth; }
    float getCropHeight() const { return m_cropHeight; }

    // The crop as 16.16 texture coordinates; a mirrored side has its edges
    // swapped. A crop reaching past the image gives coordinates outside
    // [0, 1], where nothing is shown. False, with nothing written, when there
    // is no image, the crop is empty or its place is not finite.
    bool computeCropCoords(int32_t& left, int32_t& top, int32_t& right, int32_t& bottom);

protected:
    CkwNode* copyNode() const override;
    int32_t animateNodeReferences(int32_t worldTime, int32_t validity, uint32_t stamp) override;
    void getAnimationCrop(float& width, float& height) const override;

private:
    float m_cropHeight = 0.0f;
    float m_cropWidth = 0.0f;
    float m_cropX = 0.0f;
    float m_cropY = 0.0f;
    CkwImage2D* m_image = nullptr;
    CkwObject3D* m_appearance = nullptr;
    bool m_scaled = false;
};
