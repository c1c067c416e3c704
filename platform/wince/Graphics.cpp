// The display context and the platform's display factories.
#include "platform/wince/Graphics.h"

#include "framework/events/CallbackHandler.h"
#include "framework/events/Message.h"
#include "framework/events/Subscription.h"
#include "framework/services/ServiceAccessors.h"
#include "framework/strings/NameHash.h"
#include "gfx2d/drawcontext/DrawContext.h"
#include "platform/wince/DirectDrawDevice.h"
#include "platform/wince/DirectDrawSurface.h"
#include "platform/wince/PlatformEvents.h"

#include <cstring>
#include <new>

namespace {

constexpr uint32_t kHandlerPriority = 0x3FFFFFFF;
constexpr uint32_t kOwnerKeyMark = 0x80000000;
const uint32_t kWatchedEvents[] = { PlatformEventId::Resume, PlatformEventId::ScreenSizeChanged,
    PlatformEventId::ScreenSizeSettled, 0 };

// createSurface's variants and modes.
constexpr uint32_t kMemoryVariant = 0;
constexpr uint32_t kDisplayVariant = 1;
constexpr uint32_t kModeLibraryOnly = 1;
constexpr uint32_t kModeDeviceOnly = 2;
constexpr uint32_t kModeLibraryAndDevice = 3;

} // namespace

Graphics::~Graphics()
{
    // A context dropped while open would leave its handler subscribed to a
    // dead owner and its surfaces with DirectDraw.
    close();
}

int Graphics::open()
{
    if (m_opened)
        close();
    auto* handler = new (std::nothrow)
        CallbackHandler(this, hashName("Graphics") | kOwnerKeyMark, &Graphics::onEvent, kHandlerPriority);
    if (!handler) {
        close();
        return 0;
    }
    m_eventHandler = handler;
    subscribeMany(handler, kWatchedEvents, kHandlerPriority);

    m_libraryReady = uint8_t(init() != 0);
    auto* device = new (std::nothrow) DirectDrawDevice();
    m_device = device;
    m_deviceReady = device ? uint8_t(device->open()) : 0;
    if (!m_libraryReady && !m_deviceReady) {
        close();
        return 0;
    }
    // Without the device there is no surface to draw into, so a context with
    // the library alone asks for a memory frame and is refused; one with the
    // device alone opens and clears and presents, drawing nothing more.
    const uint32_t mode = !m_deviceReady ? kModeLibraryOnly : m_libraryReady ? kModeLibraryAndDevice : kModeDeviceOnly;
    m_frameSurface =
        createSurface(m_deviceReady ? SurfaceKind::Display : SurfaceKind::Memory, kDisplayVariant, mode);
    if (!m_frameSurface || !buildFrameSurface()) {
        close();
        return 0;
    }
    setPixelFormat(m_frameSurface->getFormat());
    setClearColor4(0x10000, 0, 0, 0);
    setClearDepth(0x10000);
    setClearStencil(0);
    m_opened = 1;
    return 1;
}

void Graphics::close()
{
    delete m_frameSurface;
    m_frameSurface = nullptr;
    if (m_device) {
        m_device->close();
        delete m_device;
        m_device = nullptr;
    }
    m_deviceReady = 0;
    shutdown();
    m_renderTarget = nullptr;
    if (auto* handler = static_cast<CallbackHandler*>(m_eventHandler)) {
        unsubscribeAll(handler);
        delete handler;
        m_eventHandler = nullptr;
    }
    m_opened = 0;
}

int Graphics::buildFrameSurface()
{
    if (!m_frameSurface->init(kFrameSurfaceAttributes))
        return 0;
    m_frameSurface->makeCurrent();
    return 1;
}

void Graphics::beginFrame(uint32_t a, uint32_t b)
{
    if (m_opened && m_frameSurface && !(m_frameSurface->flags() & SurfaceFlag::Initialised))
        buildFrameSurface();
    DeviceScreenContext::beginFrame(a, b);
}

void Graphics::present()
{
    Surface* target = getRenderTarget(0, 0);
    if (target && !(target->flags() & SurfaceFlag::KindImage))
        m_device->present();
}

int Graphics::onEvent(Message& message, CallbackHandler& handler)
{
    auto* self = static_cast<Graphics*>(handler.m_owner);
    if (message.m_eventId != PlatformEventId::ScreenSizeChanged || !self->m_frameSurface)
        return 0;
    // A failed rebuild leaves the surface released and no render target:
    // frames draw nothing until beginFrame builds it again.
    self->buildFrameSurface();
    return 1;
}

HashedObject* createGraphics()
{
    return new (std::nothrow) Graphics();
}

HashedObject* createDrawContext()
{
    return new (std::nothrow) DrawContext();
}

Surface* createSurface(uint32_t kind, uint32_t variant, uint32_t mode)
{
    if (kind == SurfaceKind::Memory) {
        if (variant != kMemoryVariant || mode == kModeDeviceOnly || mode == kModeLibraryAndDevice)
            return nullptr;
        return new (std::nothrow) MemorySurface();
    }
    ScreenContext* display = getDisplay();
    const String* name = display ? display->getName(ScreenInfoKind::Device) : nullptr;
    if (!name || !name->chars() || std::strcmp(name->chars(), kDirectDrawName) != 0 || variant != kDisplayVariant)
        return nullptr;
    return new (std::nothrow) DirectDrawSurface();
}

void installDisplayCreators()
{
    setDisplayCreator(createGraphics);
    setDrawContextCreator(createDrawContext);
}
