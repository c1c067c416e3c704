// The render context: the bound 16-bit target with its clip, the viewport,
// depth range, depth-buffer flag and hints, the current camera and light set,
// and the render entry points. The renderer it owns reads the target,
// viewport and depth fields directly, so they are public.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/math/CkwMatrix.h"
#include "engine/core/runtime/CkwArray.h"
#include "engine/core/runtime/CkwRefCount.h"
#include "engine/core/scene/RectIntersect.h"
#include "engine/scene/CkwRenderer.h"

class CkwImage2D;
class CkwObject3D;

class CkwGraphics3D : public CkwHeapObject, public CkwRefCount {
public:
    static constexpr uint32_t kHintAntialias = 2;
    static constexpr uint32_t kHintDither = 4;
    static constexpr uint32_t kHintTrueColor = 8;
    static constexpr uint32_t kHintOverwrite = 16;
    static constexpr int32_t kMaxViewport = 1024;
    static constexpr int32_t kPropertyCount = 14;

    // Leaves -4, or -1300 when no renderer is installed.
    static CkwGraphics3D* create();
    ~CkwGraphics3D() override;
    int32_t getClassId() const override { return kClassGraphics3D; }

    // Null pixels, a size below 1 or a pitch below 2 x width leave -1301.
    void bindTarget(int32_t width, int32_t height, int32_t pitch, uint16_t* pixels);
    void bindTargetMemory(int32_t width, int32_t height, int32_t pitch, uint16_t* pixels, int32_t clipX,
                          int32_t clipY, int32_t clipWidth, int32_t clipHeight);
    // Null unbinds a held image; an immutable image, one not RGB or RGBA, or
    // one above 1024 a side leaves -1301. The image is held until the next
    // binding, and its planes and size are read again before every clear and
    // render (the viewport, depth flag and hints stay as set); one that no
    // longer qualifies then makes the call leave -1300.
    void bindImageTarget(CkwObject3D* image);
    void setTargetPixels(uint16_t* pixels);
    void releaseTarget() {}
    // 1..1024 each, else -1301.
    void setViewport(int32_t x, int32_t y, int32_t width, int32_t height);
    void setDepthRange(float near, float far)
    {
        m_depthNear = near;
        m_depthFar = far;
    }
    void setDepthBufferAndHints(bool enabled, uint32_t hints);
    uint32_t getHints() const;

    // A null transform is the identity; a singular one leaves -1000 with the
    // camera already replaced.
    void setCamera(CkwCamera* camera, const CkwMatrix* transform);
    CkwCamera* getCamera(CkwMatrix* transform) const;
    int32_t addLight(CkwNode* light, const CkwMatrix* transform);
    // Indices outside the set leave -1101.
    void setLight(int32_t index, CkwNode* light, const CkwMatrix* transform);
    CkwNode* getLight(int32_t index, CkwMatrix* transform) const;
    void resetLights();
    int32_t getLightCount() const { return m_lights.count(); }

    // A background image not in the target's format leaves -1301.
    void clear(CkwBackground* background);
    // No active camera, or one outside the world, leaves -1300.
    void renderWorld(CkwWorld* world);
    // No camera leaves -1300; a node that cannot be drawn -1301.
    void renderNode(CkwNode* node, const CkwMatrix* transform);
    void renderImmediate(CkwVertexBuffer* vertexBuffer, CkwIndexBuffer* indexBuffer, CkwAppearance* appearance,
                         const CkwMatrix* transform, int32_t scope);
    // Keys 0..13; the interface refuses the rest.
    static int32_t getProperty(int32_t key);

    CkwRenderer* renderer() const { return m_renderer; }

    int32_t m_originX = 0, m_originY = 0;
    int32_t m_width = 0, m_height = 0;
    int32_t m_pitch = 0;
    uint16_t* m_pixels = nullptr;
    CkwRect m_clip{};
    CkwRect m_clipRect{};
    uint16_t* m_clipPixels = nullptr;
    CkwRect m_viewport{};
    CkwRect m_viewportInClip{};
    uint8_t m_viewportClipped = 0;
    CkwRect m_scissor{};
    uint8_t m_viewportVisible = 0;
    uint8_t m_hasAlpha = 0;
    int32_t m_alphaPitch = 0;
    uint8_t* m_alphaPixels = nullptr;
    uint16_t* m_externalDepth = nullptr;
    float m_depthNear = 0.0f, m_depthFar = 1.0f;
    uint8_t m_depthBufferEnabled = 1;
    uint8_t m_antialias = 0, m_dither = 0, m_trueColor = 0, m_overwrite = 0;

private:
    CkwGraphics3D() = default;
    void finishBinding();
    static bool canTarget(CkwImage2D& image);
    // The target fields from the bound image, the clip its whole area.
    void readImageTarget();
    void forgetImageTarget();
    // Follows a bound image that was re-laid out or resized since.
    void refreshImageTarget();
    // Every change of the clip or viewport calls it at once, and it hands the
    // renderer the viewport it derives, so the renderer's scale never lags the
    // scissor and origin it reads: a viewport that missed the target and is
    // met after the target grew included.
    void updateViewportClip();
    // Runs a renderer call; a leave resets the renderer's caches and passes on.
    template <class Body>
    void trapped(Body&& body);
    // A trapped render call needs a camera.
    void requireCamera() const;
    void handCameraAndLights();

    CkwRenderer* m_renderer = nullptr;
    CkwImage2D* m_targetImage = nullptr;  // counted
    CkwCamera* m_camera = nullptr;
    CkwMatrix m_cameraTransform;
    CkwArray<CkwNode*> m_lights;
    CkwArray<CkwMatrix> m_lightTransforms;
};
