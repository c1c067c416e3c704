// Font slots made from pack resources.
#include "game/shell/FontManager.h"

#include <new>

#include "framework/resources/DataBlock.h"
#include "framework/resources/ResourceManager.h"
#include "framework/resources/TypedResources.h"
#include "framework/services/ServiceAccessors.h"
#include "gfx2d/display/Surface.h"
#include "gfx2d/font/BitmapFont.h"

namespace {

HashedObject* createFontManager()
{
    return new (std::nothrow) FontManager();
}

} // namespace

FontManager::~FontManager()
{
    for (uint32_t i = 0; i < kFontSlots; ++i)
        releaseFont(i);
}

BitmapFont* FontManager::getFont(uint32_t index)
{
    if (index >= kDefinedFonts)
        return nullptr;
    if (m_fonts[index])
        return m_fonts[index];
    BitmapFont* font = new (std::nothrow) BitmapFont();
    if (!font)
        return nullptr;
    const FontDefinition& def = kFontDefinitions[index];
    ResourceManager* manager = getResourceManager();
    Resource* image = nullptr;
    if (manager && manager->loadById(def.imageId, &image) != ResourceResult::Failed && image) {
        if (image->m_typeId == ResourceClassId::Surface)
            font->setImage(static_cast<SurfaceResource*>(image)->surface());
        m_images[index] = image;
    }
    Resource* data = nullptr;
    if (manager && manager->loadById(def.dataId, &data) != ResourceResult::Failed && data) {
        if (data->m_typeId == ResourceClassId::Data) {
            if (const DataBlock* block = static_cast<DataResource*>(data)->block())
                font->load(block->data(), block->size());
        }
        manager->releaseRef(&data);
    }
    m_fonts[index] = font;
    // A font whose glyphs or data did not load is not kept as an empty one:
    // the next call loads it again.
    if (!font->isLoaded() || !font->image()) {
        releaseFont(index);
        return nullptr;
    }
    return font;
}

void FontManager::releaseFont(uint32_t index)
{
    if (index >= kFontSlots || !m_fonts[index])
        return;
    delete m_fonts[index];
    m_fonts[index] = nullptr;
    if (ResourceManager* manager = getResourceManager(); manager && m_images[index])
        manager->releaseRef(&m_images[index]);
    m_images[index] = nullptr;
}

FontManager* getFontManager()
{
    return static_cast<FontManager*>(findOrCreateService(ServiceId::FontManager, createFontManager));
}

void installFontManagerCreator()
{
    setFontManagerCreator(createFontManager);
}
