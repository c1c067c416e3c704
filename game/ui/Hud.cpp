// The HUD's layers: backdrop, the world's 3D pass, touch controls and the
// on-screen buttons.
#include "game/ui/Hud.h"

#include "game/shell/EngineService.h"
#include "game/shell/GameWorld.h"

namespace {
// The two arrow buttons sit above the soft-key strip in the bottom corners.
constexpr int16_t kButtonSize = 48;
constexpr int16_t kSoftkeyStrip = 20;
} // namespace

void Hud::drawBackdrop() {}

void Hud::beginWorldView(EngineHandle* /*world*/) {}

void Hud::renderWorld(EngineHandle* /*world*/) {}

void Hud::endWorldView() {}

void Hud::drawTouchControls(bool, bool, bool, bool, bool, bool) {}

void Hud::drawTopLayer(ScreenRect& left, ScreenRect& right)
{
    const int32_t w = getScreenWidth();
    const int32_t h = getScreenHeight();
    if (w < 2 * kButtonSize || h < kButtonSize + kSoftkeyStrip)
        return;
    const int16_t y = int16_t(h - kSoftkeyStrip - kButtonSize);
    left = {0, y, kButtonSize, kButtonSize};
    right = {int16_t(w - kButtonSize), y, kButtonSize, kButtonSize};
}

void Hud::fitCameraAspect(EngineHandle* camera)
{
    const int32_t w = getScreenWidth();
    const int32_t h = getScreenHeight();
    float p[4] = {};
    uint32_t kind = 0;
    if (!camera || w <= 0 || h <= 0)
        return;
    const IkwCameraTable& api = tableOf<IkwCameraTable>(camera);
    // Only a perspective camera has an aspect ratio to fit.
    if (api.getProjectionParameters(camera, 4, p, &kind) != 0 || kind != CameraProjection::Perspective)
        return;
    api.setPerspective(camera, p[0], float(w) / float(h), p[2], p[3]);
}
