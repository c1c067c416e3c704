// The 2D library's display object: current render target, screen format,
// clear values, the library's identification record and the rasterizer's
// state. ScreenContext is the base implementation and library start-up;
// DeviceScreenContext hands frame and clear operations to a display device,
// and the platform's display context derives from it.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/events/HandlerList.h"
#include "framework/services/IdHashMap.h"
#include "framework/services/Service.h"
#include "framework/strings/String.h"
#include "gfx2d/image/PixelFormat.h"

class RasterState;
class Surface;

inline constexpr uint32_t kScreenContextServiceId = 0x0466E194;

namespace ScreenInfoKind {
constexpr uint32_t Device = 1;
constexpr uint32_t Library = 2;
} // namespace ScreenInfoKind


struct ScreenInfo {
    uint32_t kind = 0;
    const char* name = nullptr;
    uint32_t limits[8] = {};
};

inline constexpr char kLibraryName[] = "Tessel 1.0";
inline constexpr uint32_t kLibraryLimits[8] = {2048, 2048, 256, 256, 2048, 2048, 256, 256};
inline constexpr int32_t kRasterPoolVertices = 100;

// Four channel values (A, R, G, B; v stands for clamp(v >> 8, 0, 255)) and
// packed 0xAARRGGBB words.
uint32_t packColourBytes(uint32_t a, uint32_t r, uint32_t g, uint32_t b);
uint32_t channelByte(const int32_t* channels, uint32_t i);
uint32_t packChannels(const int32_t* channels);
void storeChannels(int32_t* out, int32_t a, int32_t r, int32_t g, int32_t b);
// The word read as A8R8G8B8 into four channel values.
void channelsFromArgb(int32_t* out, uint32_t argb);

// What a display device and the screen context share.
class ScreenInterface {
public:
    virtual ~ScreenInterface() = default;

    virtual int open() = 0;
    virtual void close() = 0;
    virtual Surface* getRenderTarget(uint32_t a, uint32_t b) = 0;
    virtual void beginFrame(uint32_t a, uint32_t b) = 0;
    virtual void endFrame(uint32_t a, uint32_t b) = 0;
    // flags: SurfacePlanes bits.
    virtual void clear(uint32_t flags) = 0;
    virtual void present() = 0;
    virtual void setPixelFormat(RSBFormat format) { m_pixelFormat = format; }
    virtual RSBFormat getPixelFormat() const { return m_pixelFormat; }
    virtual void setClearColor(uint32_t argb) = 0;
    virtual void setClearColorv(const int32_t* channels) = 0;
    virtual void setClearColor4(int32_t a, int32_t r, int32_t g, int32_t b) = 0;
    virtual void setClearDepth(uint32_t value) = 0;
    virtual void setClearStencil(uint32_t value) = 0;
    virtual const ScreenInfo* getInfo(uint32_t kind) = 0;
    virtual const String* getName(uint32_t kind) = 0;
    // Surfaces make themselves current through this; devices keep their own copy.
    virtual void setRenderTarget(Surface* surface) = 0;

protected:
    RSBFormat m_pixelFormat = PixelFormat::X8R8G8B8;
};

// Registers under the screen context's service id; the destructor clears the
// application's cached display word and takes the id out.
class ScreenService : public ScreenInterface, public Service {
public:
    ScreenService() : Service(kScreenContextServiceId) {}
    ~ScreenService() override;
};

class ScreenContext : public ScreenService {
public:
    ScreenContext();
    ~ScreenContext() override;

    Surface* getRenderTarget(uint32_t, uint32_t) override { return m_renderTarget; }
    void beginFrame(uint32_t, uint32_t) override {}
    void endFrame(uint32_t, uint32_t) override {}
    void clear(uint32_t flags) override;
    void setClearColor(uint32_t argb) override;
    void setClearColorv(const int32_t* channels) override;
    void setClearColor4(int32_t a, int32_t r, int32_t g, int32_t b) override;
    void setClearDepth(uint32_t value) override;
    void setClearStencil(uint32_t value) override { m_clearStencil = value; }
    const ScreenInfo* getInfo(uint32_t kind) override;
    const String* getName(uint32_t kind) override;
    void setRenderTarget(Surface* surface) override { m_renderTarget = surface; }

    // Library start-up: the raster state and its tables, the name and the
    // info record, the blit loops and resource classes, the span programs,
    // the id map. Returns libraryReady.
    virtual int init();
    virtual void shutdown();

    uint32_t clearColor() const { return m_clearColor; }
    const int32_t* clearChannels() const { return m_clearChannels; }
    uint32_t clearDepth() const { return m_clearDepth; }
    uint32_t clearStencil() const { return m_clearStencil; }
    RasterState* rasterState() const { return m_raster.get(); }
    // Counts the raster states made: a new one may reuse a freed one's address.
    uint32_t rasterGeneration() const { return m_rasterGeneration; }
    IdHashMap& idMap() { return m_idMap; }
    HandlerList& handlers() { return m_handlers; }
    uint8_t libraryReady() const { return m_libraryReady; }

    uint8_t m_opened = 0;
    uint8_t m_deviceReady = 0;
    HashedObject* m_eventHandler = nullptr;
    Surface* m_frameSurface = nullptr;

protected:
    void loadSpanPrograms();

    uint8_t m_libraryReady = 0;
    Surface* m_renderTarget = nullptr;
    uint32_t m_clearColor = 0;
    int32_t m_clearChannels[4] = {};
    uint32_t m_clearDepth = 0;
    uint32_t m_clearStencil = 0;
    ScreenInfo m_info;
    String m_name;
    std::unique_ptr<RasterState> m_raster;
    uint32_t m_rasterGeneration = 0;
    IdHashMap m_idMap;
    HandlerList m_handlers;
};

// Forwards frame, clear and query operations to a display device that the
// platform's display context creates and owns.
class DeviceScreenContext : public ScreenContext {
public:
    Surface* getRenderTarget(uint32_t a, uint32_t b) override;
    void beginFrame(uint32_t a, uint32_t b) override;
    void endFrame(uint32_t a, uint32_t b) override;
    void clear(uint32_t flags) override;
    void setClearColor(uint32_t argb) override;
    void setClearColorv(const int32_t* channels) override;
    void setClearColor4(int32_t a, int32_t r, int32_t g, int32_t b) override;
    void setClearDepth(uint32_t value) override;
    void setClearStencil(uint32_t value) override;
    const ScreenInfo* getInfo(uint32_t kind) override;
    const String* getName(uint32_t kind) override;
    void setRenderTarget(Surface* surface) override;

    ScreenInterface* device() const { return m_device; }

protected:
    // The device's current target, unless it is a library surface that the
    // device cannot see (true: handled here, the device is left alone).
    bool targetStaysInLibrary(uint32_t a, uint32_t b);

    ScreenInterface* m_device = nullptr;
};

// The screen context: the application's cached one, the registered one, or
// one from the installed display creator. Null without any.
ScreenContext* getDisplay();
