// A colour table: the payload of palette resources, loaded from a PNG-style
// PLTE (+ tRNS) pair or from a raw table of 32-bit colours.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/services/HashedObject.h"
#include "gfx2d/image/ImageIds.h"
#include "gfx2d/image/PixelFormat.h"

class InputStream;

class Palette : public HashedObject {
public:
    Palette() : HashedObject(ResourceType::Palette) {}

    // The tag picks the variant (PaletteTag); 0 and an empty palette on a
    // short stream, a wrong chunk, a PLTE length not a multiple of 3 or
    // above 256 colours, or an unknown tag.
    int load(InputStream& stream, uint32_t tag);
    void clear();

    RSBFormat format() const { return m_format; }
    uint32_t count() const { return m_count; }
    // 0xAARRGGBB words.
    const uint32_t* colours() const { return m_colours.get(); }

private:
    int loadChunks(InputStream& stream);
    int loadRaw(InputStream& stream);

    RSBFormat m_format = 0;
    uint32_t m_count = 0;
    std::unique_ptr<uint32_t[]> m_colours;
};
