// Outfit palettes: 24-bit resource entries to the texture's RGB565 slice.
#include "game/level/MenuBackground.h"

#include "framework/resources/DataBlock.h"
#include "framework/resources/Resource.h"
#include "framework/resources/ResourceManager.h"
#include "framework/services/ServiceAccessors.h"

int32_t convertPaletteRgb565(uint16_t* palette, const uint8_t* rgb, uint32_t size, int32_t part)
{
    if (!palette || !rgb || part < 0 || part >= PaletteSlice::Parts)
        return 0;
    const uint32_t entries = size / 3 < uint32_t(PaletteSlice::Entries) ? size / 3 : uint32_t(PaletteSlice::Entries);
    uint16_t* slice = palette + PaletteSlice::Entries * (part + 1);
    for (uint32_t i = 0; i < entries; ++i) {
        const uint8_t* c = rgb + 3 * i;
        slice[i] = uint16_t((c[0] >> 3) << 11 | (c[1] >> 2) << 5 | (c[2] >> 3));
    }
    return int32_t(entries);
}

int32_t loadPaletteRgb565(uint16_t* palette, uint32_t resourceId, int32_t part, bool /*boy*/)
{
    ResourceManager* manager = getResourceManager();
    Resource* resource = nullptr;
    if (!manager || !palette)
        return 0;
    manager->loadById(resourceId, &resource);
    int32_t entries = 0;
    if (resource && resource->m_typeId == ResourceClassId::Data && resource->payload()) {
        const auto* block = static_cast<const DataBlock*>(resource->payload());
        entries = convertPaletteRgb565(palette, block->data(), block->size(), part);
    }
    // The colours are copied: the entry's bytes need not stay held.
    if (resource)
        manager->releaseRef(&resource);
    return entries;
}
