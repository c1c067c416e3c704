// UI drawing tests' ground: a pack of the test's own texts, with or without
// the sample fonts, drawn into a small target; and a reference painter that
// draws the sample alphabet from its own glyph rows, fills and frames.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "game/shell/FontManager.h"
#include "game/shell/testing/SamplePackScene.h"
#include "tools/samplefonts/SampleFonts.h"

struct TextRow {
    uint32_t row;  // of text id 0x21ff0000 | row
    const char* text;
};

inline std::vector<uint8_t> uiPack(const std::vector<TextRow>& rows, bool fonts = true)
{
    std::string m = "0x101 0x374F8659 plain 4 restable\n"
                    "restable languages 2 16\n"
                    "restable language 0x03007F01 0100 English\n"
                    "restable strings 0x03007F01\n"
                    "0x03007F01 0x69E4C505 plain 4 table\n";
    for (const TextRow& r : rows) {
        char head[64];
        std::snprintf(head, sizeof head, "row 0x03007F01 0x%X 0xF686AADC plain 4 utf8 ", r.row);
        m += head + std::string(r.text) + "\n";
    }
    if (fonts)
        m += "fonts plain 4\n";
    return packFromManifest(m);
}

// The pack's one language made current; the fonts go before the pack.
struct UiScene : SamplePackScene {
    UiScene(uint32_t width, uint32_t height, std::vector<uint8_t> bytes) : SamplePackScene(width, height, std::move(bytes))
    {
        manager->loadListEntry(0);
    }
    ~UiScene() { delete getFontManager(); }
};

struct RefPicture {
    int width, height;
    std::vector<uint32_t> px;

    RefPicture(int w, int h, uint32_t argb) : width(w), height(h), px(size_t(w) * h, 0xFF000000u | argb) {}

    void fill(int x0, int y0, int x1, int y1, uint32_t argb)
    {
        for (int y = std::max(y0, 0); y < std::min(y1, height); ++y)
            for (int x = std::max(x0, 0); x < std::min(x1, width); ++x)
                px[size_t(y) * width + x] = 0xFF000000u | argb;
    }
    void frame(int x, int y, int w, int h, uint32_t argb)
    {
        fill(x, y, x + w, y + 1, argb);
        fill(x, y + h - 1, x + w, y + h, argb);
        fill(x, y, x + 1, y + h, argb);
        fill(x + w - 1, y, x + w, y + h, argb);
    }
    // The sample fonts: 3 x 5 cells that draw only their ink, pens 3 + 1 apart,
    // a space moving 2 + 1.
    static int textWidth(const std::u16string& text)
    {
        int w = 0;
        for (char16_t c : text)
            w += c == u' ' ? 3 : 4;
        return w > 0 ? w - 1 : 0;
    }
    static constexpr int kLine = 7;
    void text(const std::u16string& text, int x, int y, uint32_t font)
    {
        for (char16_t c : text) {
            if (c != u' ') {
                const uint8_t* rows = sheetGlyphRows(c);
                for (int gy = 0; gy < 5; ++gy)
                    for (int gx = 0; gx < 3; ++gx)
                        if (x + gx >= 0 && x + gx < width && y + gy >= 0 && y + gy < height && (rows[gy] >> (2 - gx)) & 1)
                            px[size_t(y + gy) * width + x + gx] = 0xFF000000u | sampleFontInk(font);
            }
            x += c == u' ' ? 3 : 4;
        }
    }
    void centred(const std::u16string& t, int left, int right, int y, uint32_t font)
    {
        text(t, left + (right - left - textWidth(t)) / 2, y, font);
    }
};
