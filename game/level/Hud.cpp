// The HUD's layers: backdrop, the world's 3D pass, touch controls and the
// on-screen buttons.
#include "game/level/Hud.h"

#include "engine/core/interface/InterfaceIds.h"
#include "game/level/GameWorld.h"
#include "game/shell/EngineService.h"
#include "game/shell/Graphics3DService.h"
#include "gfx2d/display/ScreenContext.h"
#include "gfx2d/drawcontext/DrawContext.h"

namespace {

// The two arrow buttons sit above the soft-key strip in the bottom corners.
constexpr int16_t kButtonSize = 48;
constexpr int16_t kSoftkeyStrip = 20;
constexpr uint32_t kBlack = 0xff000000;
constexpr uint32_t kButtonColour = 0x80ffffff;
constexpr uint32_t kPressedColour = 0xc0ffd040;
constexpr uint32_t kOutlineColour = 0xffffffff;

void fillButton(const ScreenRect& r, uint32_t argb)
{
    if (r.width > 0 && r.height > 0)
        fillRect(r.x, r.y, r.x + r.width, r.y + r.height, argb, DrawMode::Rectangles);
}

} // namespace

void Hud::drawBackdrop()
{
    fillRect(0, 0, getScreenWidth(), getScreenHeight(), kBlack, DrawMode::Rectangles);
}

void Hud::beginWorldView(EngineHandle* world)
{
    m_viewBound = 0;
    Graphics3DService* view = getGraphics3DService();
    ScreenContext* display = getDisplay();
    if (!view || !display || !world)
        return;
    const EngineRef camera = activeCamera(world);
    const Viewport viewport = Graphics3DService::fitViewportToCamera(camera.get());
    m_viewBound = view->bindTarget(display->getRenderTarget(0, 0), &viewport) ? 1 : 0;
    if (!m_viewBound)
        m_viewFailed = 1;
}

void Hud::renderWorld(EngineHandle* world)
{
    Graphics3DService* view = m_viewBound ? getGraphics3DService() : nullptr;
    if (view && world && view->m_graphics.table<IkwGraphics3DTable>().renderWorld(view->m_graphics.get(), world) != 0)
        m_viewFailed = 1;
}

void Hud::endWorldView()
{
    if (Graphics3DService* view = m_viewBound ? getGraphics3DService() : nullptr)
        view->releaseTarget();
    m_viewBound = 0;
}

void Hud::drawWorld(EngineHandle* world)
{
    beginWorldView(world);
    renderWorld(world);
    endWorldView();
}

void Hud::drawTouchControls(bool leftActive, bool rightActive, bool /*playable*/, bool highlightLeft,
                            bool highlightRight, bool /*highlightSelect*/)
{
    if (leftActive)
        fillButton(m_world->m_leftButton, highlightLeft ? kPressedColour : kButtonColour);
    if (rightActive)
        fillButton(m_world->m_rightButton, highlightRight ? kPressedColour : kButtonColour);
}

void Hud::drawTopLayer(ScreenRect& left, ScreenRect& right)
{
    const int32_t w = getScreenWidth();
    const int32_t h = getScreenHeight();
    if (w < 2 * kButtonSize || h < kButtonSize + kSoftkeyStrip)
        return;
    const int16_t y = int16_t(h - kSoftkeyStrip - kButtonSize);
    left = {0, y, kButtonSize, kButtonSize};
    right = {int16_t(w - kButtonSize), y, kButtonSize, kButtonSize};
    for (const ScreenRect* r : {&left, &right}) {
        const int16_t frame[4] = {r->x, r->y, r->width, r->height};
        drawFrame(frame, kOutlineColour, 1, 0);
    }
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
