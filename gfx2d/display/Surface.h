// Surfaces: what the library draws into and draws from. Surface is the
// interface, SurfaceBase holds flags, palette and up to three planes,
// ImageSurface keeps its planes in pixel buffers and MemorySurface is the
// one image resources make, configured by a list of (key, value) pairs.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/resources/Resource.h"
#include "framework/strings/Rect16.h"
#include "gfx2d/display/SurfaceFlags.h"
#include "gfx2d/image/PixelBuffer.h"
#include "gfx2d/raster/RasterTexture.h"

class InputStream;

inline constexpr uint32_t kSurfaceTypeId = 0xC9403F77;

// Plane selectors of clears.
namespace SurfacePlanes {
constexpr uint32_t Colour = 0x10000;
constexpr uint32_t Depth = 0x20000;
constexpr uint32_t Stencil = 0x40000;
} // namespace SurfacePlanes

namespace SurfaceKey {
constexpr uint32_t End = 0;
constexpr uint32_t Width = 1;
constexpr uint32_t Height = 2;
constexpr uint32_t Refused = 3;
constexpr uint32_t Attribute4 = 4;
constexpr uint32_t Planar = 5;
constexpr uint32_t Format0 = 6;
constexpr uint32_t Format1 = 7;
constexpr uint32_t Format2 = 8;
constexpr uint32_t ColourKey = 9;
constexpr uint32_t KeepPalettes = 10;
constexpr uint32_t Palette = 11;
constexpr uint32_t Source = 12;
constexpr uint32_t SourceClass = 13;
constexpr uint32_t Stream = 14;
constexpr uint32_t DecoderTag = 15;
constexpr uint32_t Orientation = 16;
} // namespace SurfaceKey

// Values hold pointers (streams, palettes, surfaces) as well as numbers.
struct SurfaceAttribute {
    uint32_t key;
    uintptr_t value;
};

// A description holds at most 12 pairs, so the list with its end pair
// always fits.
inline constexpr uint32_t kMaxSurfacePairs = 12;

// The most surfaces a new link may reach by sharing, one through another.
// Every query of a sharer walks its chain: a link to a chain longer than
// this, or to one that comes back to the sharer, is refused, so no chain
// loops. (Re-initialising the bottom of a chain others share lengthens
// theirs; only code that builds such chains on purpose meets it.)
inline constexpr uint32_t kMaxShareDepth = 8;

// The most resources one surface load may load anew, with the descriptions
// nested in it: each description shares one surface and names one palette,
// along a chain of at most kMaxShareDepth sharers.
inline constexpr uint32_t kMaxSurfaceLoads = 2 * kMaxShareDepth;

// The most bytes one surface's own planes and palettes may hold together: a
// description of a few bytes names its sizes, so what it may make is
// bounded, as large as the largest picture a decoder makes at four bytes a
// pixel.
inline constexpr uint64_t kMaxSurfaceBytes = uint64_t(64) << 20;

class Surface;

struct SurfaceDescription {
    uint32_t kind = 0;    // 2 image, 1 device
    uint32_t memory = 0;  // 0 ordinary, 1 other
    uint32_t layout = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t described = 0;
    uint32_t planeUse = 0;
    uint32_t attribute4 = 0;
    uint32_t locked = 0;
    uint32_t planar = 0;
    uint32_t explicitFormat = 0;
    RSBFormat format = 0;
    uint32_t plane1 = 0;
    RSBFormat plane1Format = 0;
    uint32_t plane2 = 0;
    RSBFormat plane2Format = 0;
    const uint32_t* palette = nullptr;
    Surface* wrapped = nullptr;
    uint32_t ownsPalette = 0;
};

class Surface : public HashedObject {
public:
    explicit Surface(uint32_t typeId) : HashedObject(typeId) {}

    virtual int kind() const = 0;
    // A description resource's pairs; init's result, or 0.
    virtual int load(InputStream& stream, uint32_t tag) = 0;
    virtual int init(const SurfaceAttribute* attributes) = 0;
    virtual void releaseAll() = 0;
    virtual void makeCurrent() = 0;
    // address may be null (the pitch alone); a rectangle outside the
    // surface yields address 0 and pitch 0. 1 when an address was given out.
    virtual int lock(uint8_t** address, int32_t* pitch, uint32_t lockFlags, const Rect16* rect) = 0;
    virtual void unlock() = 0;
    virtual bool isLocked() const = 0;
    virtual RSBFormat getFormat() const = 0;
    // 0 when the surface has no plane.
    virtual int getSize(uint32_t* width, uint32_t* height) const = 0;
    virtual int getDescription(SurfaceDescription& out) const = 0;
    // Like lock for any plane, without lock bits.
    virtual int planeAddress(uint32_t plane, uint8_t** address, int32_t* pitch, const Rect16* rect) = 0;
    // 0 for a plane the surface lacks.
    virtual RSBFormat planeFormat(uint32_t plane) const = 0;
    // mask: SurfacePlanes; colour: four ARGB_fixed words.
    virtual void clearPlanes(uint32_t mask, const int32_t* colour, uint32_t depth, uint32_t stencil) = 0;
    // The colour palette of palette formats, or null.
    virtual const uint32_t* palette() const = 0;

    // The planes as the raster state binds them, each measured by its own
    // buffer; false without a plane 0.
    virtual bool targetView(RenderTargetView& out) const = 0;

    uint32_t flags() const { return m_flags; }
    int containsRect(const Rect16& rect) const;

protected:
    uint32_t m_flags = 0;
};

class SurfaceBase : public Surface {
public:
    SurfaceBase() : Surface(kSurfaceTypeId) {}

    int kind() const override { return 0; }
    int load(InputStream& stream, uint32_t tag) override;
    void makeCurrent() override;
    int lock(uint8_t** address, int32_t* pitch, uint32_t lockFlags, const Rect16* rect) override;
    void unlock() override;
    bool isLocked() const override { return (m_flags & SurfaceFlag::Locked) != 0; }
    RSBFormat getFormat() const override;
    int getSize(uint32_t* width, uint32_t* height) const override;
    int planeAddress(uint32_t plane, uint8_t** address, int32_t* pitch, const Rect16* rect) override;
    RSBFormat planeFormat(uint32_t plane) const override;
    bool targetView(RenderTargetView& out) const override;
    // A sharing surface without a palette of its own shows its source's.
    const uint32_t* palette() const override;

    Surface* wrapped() const { return m_wrapped; }
    // The bytes this surface holds itself: its own planes and palettes, not
    // those of a surface it shares.
    uint64_t heldBytes() const;
    PixelBuffer* plane(uint32_t i) const { return i < 3 ? m_planes[i].get() : nullptr; }
    // Plane 0, the wrapped surface's for a wrapping surface.
    const PixelBuffer* colourPlane() const;

protected:
    const uint32_t* m_palette = nullptr;
    PaletteSlot m_ownedPalette;  // set while OwnsPalette
    std::unique_ptr<PixelBuffer> m_planes[3];
    Surface* m_wrapped = nullptr;  // plane 0 while Wraps
    PaletteSlot m_loadedPalette;   // a loaded description's palette, copied whole
    // The resource a loaded description shares: the load's reference on it
    // is given back when this surface is released.
    Resource* m_sourceResource = nullptr;
    uint32_t m_sourceResourceId = 0;

    void releaseSourceResource();
};

class ImageSurface : public SurfaceBase, public TextureStorage {
public:
    ImageSurface() { m_flags = SurfaceFlag::ImageKind; }
    ~ImageSurface() override;

    void releaseAll() override;
    int getDescription(SurfaceDescription& out) const override;
    void clearPlanes(uint32_t mask, const int32_t* colour, uint32_t depth, uint32_t stencil) override;
    bool texturePixels(TexturePixels& out) override;

protected:
    int createPixelBuffer(RSBFormat format, uint32_t width, uint32_t height, const uint32_t* palette,
                          const DecodeOptions* options);
    // What the surface's allowance leaves for planes it has yet to make.
    uint64_t bytesLeft() const;
    // Both planes within what the surface's allowance leaves, or neither made.
    int createPlanes(RSBFormat format1, RSBFormat format2, uint32_t width, uint32_t height);
    int adoptFrom(RSBFormat requested, Surface* source, uint32_t classId, const uint32_t* palette);
    void releasePixels();
};

class MemorySurface : public ImageSurface {
public:
    MemorySurface() { m_flags |= SurfaceFlag::Memory; }

    int kind() const override { return 2; }
    int init(const SurfaceAttribute* attributes) override;
};

// The screen context records the surface as its current target.
void setRenderTarget(Surface* surface);
// Clears the current target only when it is this surface.
void clearRenderTarget(Surface* surface);

class SurfaceResource : public Resource {
public:
    SurfaceResource() : Resource(ResourceClassId::Surface) {}
    Surface* surface() const { return static_cast<Surface*>(m_payload); }
    uint32_t memorySize() const override;

protected:
    HashedObject* makePayload() override;
    int loadPayload(InputStream& stream, uint32_t tag) override;
};

// Puts the memory-surface description types in the resource factory; 1 when
// both were registered.
int registerSurfaceResourceTypes();
