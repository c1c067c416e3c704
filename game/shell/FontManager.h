// The service that hands out the game's six bitmap fonts by index, each made
// on first use from its data and glyph-image resources and kept until
// released or shutdown.
#pragma once

#include <cstdint>

#include "framework/services/Service.h"
#include "framework/services/ServiceIds.h"
#include "game/shell/FontDefinitions.h"

class BitmapFont;
class Resource;

class FontManager : public Service {
public:
    static constexpr uint32_t kId = ServiceId::FontManager;

    FontManager() : Service(kId) {}
    // Releases every font in slot order.
    ~FontManager() override;
    FontManager(const FontManager&) = delete;
    FontManager& operator=(const FontManager&) = delete;

    // The font of index 0..5, made when missing; null for other indexes, or
    // when the font cannot be allocated or its resources did not load.
    BitmapFont* getFont(uint32_t index);
    void releaseFont(uint32_t index);

private:
    BitmapFont* m_fonts[kFontSlots] = {};
    // The glyph image each font draws from, held while the font lives; null
    // when it did not load, so a release never drops somebody else's count.
    Resource* m_images[kFontSlots] = {};
};

// The registered font manager, made on first use; null without an application.
FontManager* getFontManager();
void installFontManagerCreator();
