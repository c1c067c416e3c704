// How the render target is cleared before a frame: whether colour and depth
// are cleared, the clear colour, and an optional image drawn over the target
// through a crop rectangle, bordered or repeated in each direction.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/scene/CkwObject3D.h"
#include "engine/scene/CkwImage2D.h"

class CkwBackground : public CkwObject3D {
public:
    static constexpr int32_t kBorder = 32;
    static constexpr int32_t kRepeat = 33;

    // The factory's creator of class id 4: clears to transparent black.
    static IkwSerializable* create();

    ~CkwBackground() override;

    int32_t getClassId() const override { return kClassBackground; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    CkwObject3D* duplicate() const override;
    // 0 the image, then the base's.
    CkwReference getReference(int32_t index) const override;
    void applyAnimatedProperty(int32_t property, int32_t components, const float* values) override;
    bool isAnimatable(int32_t property) const override;

    void setColor(uint32_t argb) { m_color = argb; }
    // An image (Image2D, its procedural and compressed kinds, or a Stageset)
    // or null; any other object leaves -1301 and keeps the old image.
    void setImage(CkwObject3D* image);
    // The interface checks the modes and refuses negative crop sizes.
    void setImageMode(int32_t modeX, int32_t modeY)
    {
        m_imageModeX = modeX;
        m_imageModeY = modeY;
    }
    void setCrop(float x, float y, float width, float height);
    void setDepthClearEnable(bool enable) { m_depthClear = enable; }
    void setColorClearEnable(bool enable) { m_colorClear = enable; }

    uint32_t getColor() const { return m_color; }
    CkwImage2D* getImage() const { return static_cast<CkwImage2D*>(m_image); }
    int32_t getImageModeX() const { return m_imageModeX; }
    int32_t getImageModeY() const { return m_imageModeY; }
    float getCropX() const { return m_cropX; }
    float getCropY() const { return m_cropY; }
    float getCropWidth() const { return m_cropWidth; }
    float getCropHeight() const { return m_cropHeight; }
    bool isDepthClearEnabled() const { return m_depthClear; }
    bool isColorClearEnabled() const { return m_colorClear; }

protected:
    void getAnimationCrop(float& width, float& height) const override;

private:
    uint32_t m_color = 0;
    CkwObject3D* m_image = nullptr;
    int32_t m_imageModeX = kBorder;
    int32_t m_imageModeY = kBorder;
    float m_cropX = 0.0f;
    float m_cropY = 0.0f;
    float m_cropWidth = 0.0f;
    float m_cropHeight = 0.0f;
    bool m_depthClear = true;
    bool m_colorClear = true;
};
