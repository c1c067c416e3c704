// Resource classes of the image payloads: BMP pictures and colour tables,
// registered with the resource factory by type word.
#pragma once

#include <cstdint>

#include "framework/resources/Resource.h"

class BmpImage;
class Palette;

class BmpImageResource : public Resource {
public:
    BmpImageResource() : Resource(ResourceClassId::BmpImage) {}
    uint32_t memorySize() const override;
    BmpImage* image() const;

protected:
    HashedObject* makePayload() override;
    int loadPayload(InputStream& stream, uint32_t tag) override;
};

class PaletteResource : public Resource {
public:
    PaletteResource() : Resource(ResourceClassId::Palette) {}
    uint32_t memorySize() const override;
    Palette* palette() const;

protected:
    HashedObject* makePayload() override;
    int loadPayload(InputStream& stream, uint32_t tag) override;
};

// Puts both classes in the resource factory under their type words; 1 when
// every one was registered.
int registerImageResourceTypes();
