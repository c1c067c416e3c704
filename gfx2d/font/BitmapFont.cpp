// Font file parsing, character lookup, measuring and glyph placement.
#include "gfx2d/font/BitmapFont.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <numeric>

#include "framework/streams/MemoryInputStream.h"
#include "framework/strings/ModifiedUtf8.h"
#include "gfx2d/display/Surface.h"
#include "gfx2d/drawcontext/DrawContext.h"
#include "gfx2d/drawcontext/ImagePieces.h"

namespace {

int textLength(const char16_t* text, int length)
{
    if (text == nullptr)
        return 0;
    if (length >= 0)
        return length;
    int n = 0;
    while (n < INT_MAX && text[n] != 0)
        ++n;
    return n;
}

// Reads a code block into codes. The whole block must decode and name a
// code for each of the section's records: a bad sequence or a short block
// would leave codes unread.
bool readCodes(MemoryInputStream& in, char16_t* codes, uint32_t capacity, int count)
{
    const uint32_t left = in.available();
    if (left < 2)
        return false;
    const uint8_t* block = in.data() + in.position();
    const uint32_t size = uint32_t(block[0]) << 8 | block[1];
    if (left - 2 < size || utf16LengthOfUtf8(block + 2, size) < uint32_t(count))
        return false;
    return in.readUtf8WithLength(codes, capacity) >= uint32_t(count) && !in.hasError();
}

uint64_t nextRevision()
{
    static uint64_t last = 0;
    return ++last;
}

} // namespace

BitmapFont::BitmapFont() : m_revision(nextRevision())
{
    m_typeId = FontTypeId::BitmapFont;
}

void BitmapFont::unload()
{
    m_revision = nextRevision();
    m_header.reset();
    m_glyphs.reset();
    m_overrides.reset();
    m_overrideOrder.reset();
    m_glyphCount = 0;
    m_overrideCount = 0;
}

int BitmapFont::load(const uint8_t* data, uint32_t length)
{
    unload();
    if (data == nullptr || length < FontFile::HeaderSize)
        return 0;
    std::unique_ptr<uint8_t[]> header(new (std::nothrow) uint8_t[FontFile::HeaderSize]);
    if (!header)
        return 0;
    std::memcpy(header.get(), data, FontFile::HeaderSize);
    const bool textCodes = static_cast<int8_t>(header[FontFile::Format]) == FontFile::TextCodes;
    const int glyphCount = std::max(0, int(int16_t(header[FontFile::GlyphCount] | header[FontFile::GlyphCount + 1] << 8)));
    const int overrideCount =
        std::max(0, int(int16_t(header[FontFile::OverrideCount] | header[FontFile::OverrideCount + 1] << 8)));

    // Every record must be in the data before arrays are sized for them.
    const uint64_t recordBytes = uint64_t(glyphCount) * (textCodes ? FontFile::GlyphRecordSizeTextCodes : FontFile::GlyphRecordSize) +
                                 uint64_t(overrideCount) * (textCodes ? FontFile::OverrideRecordSizeTextCodes : FontFile::OverrideRecordSize);
    if (recordBytes > length - FontFile::HeaderSize)
        return 0;
    // Arrays stay null for counts of 0 (or below).
    std::unique_ptr<GlyphRecord[]> glyphs(glyphCount > 0 ? new (std::nothrow) GlyphRecord[glyphCount] : nullptr);
    std::unique_ptr<OverrideRecord[]> overrides(overrideCount > 0 ? new (std::nothrow) OverrideRecord[overrideCount]
                                                                  : nullptr);
    if ((glyphCount > 0 && !glyphs) || (overrideCount > 0 && !overrides))
        return 0;
    const uint32_t codeCapacity = uint32_t(std::max(glyphCount, overrideCount)) + 1;
    std::unique_ptr<char16_t[]> codes(new (std::nothrow) char16_t[codeCapacity]);
    if (!codes)
        return 0;

    MemoryInputStream in;
    in.open(data + FontFile::HeaderSize, length - FontFile::HeaderSize);
    if (glyphs) {
        if (textCodes && !readCodes(in, codes.get(), codeCapacity, glyphCount))
            return 0;
        for (int i = 0; i < glyphCount; ++i) {
            GlyphRecord& g = glyphs[i];
            g.code = textCodes ? int16_t(codes[i]) : in.readS16();
            g.x = in.readS16();
            g.y = in.readS16();
            g.width = in.readS8();
            g.height = in.readS8();
            g.xOffset = in.readS8();
            g.yOffset = in.readS8();
            g.advance = in.readS8();
            g.unused = in.readS8();
        }
    }
    if (overrides) {
        if (textCodes && !readCodes(in, codes.get(), codeCapacity, overrideCount))
            return 0;
        for (int i = 0; i < overrideCount; ++i) {
            OverrideRecord& o = overrides[i];
            o.code = textCodes ? int16_t(codes[i]) : in.readS16();
            o.unused = in.readS8();
            o.advance = in.readS8();
        }
    }
    // Records past the end of the data would hold zeros, not the file's.
    if (in.hasError())
        return 0;
    std::unique_ptr<uint16_t[]> order(overrideCount > 0 ? new (std::nothrow) uint16_t[overrideCount] : nullptr);
    if (overrideCount > 0 && !order)
        return 0;
    std::iota(order.get(), order.get() + overrideCount, uint16_t(0));
    std::stable_sort(order.get(), order.get() + overrideCount, [&](uint16_t a, uint16_t b) {
        return uint16_t(overrides[a].code) < uint16_t(overrides[b].code);
    });
    m_header = std::move(header);
    m_glyphs = std::move(glyphs);
    m_overrides = std::move(overrides);
    m_overrideOrder = std::move(order);
    m_glyphCount = glyphCount;
    m_overrideCount = overrideCount;
    m_revision = nextRevision();
    return 1;
}

int BitmapFont::spacing() const
{
    return m_header ? int8_t(m_header[FontFile::Spacing]) : 0;
}

int BitmapFont::getLineHeight() const
{
    return m_header ? int8_t(m_header[FontFile::Height]) + int8_t(m_header[FontFile::LineGap]) : 0;
}

int BitmapFont::getLineGap() const
{
    return m_header ? int8_t(m_header[FontFile::LineGap]) : 0;
}

const OverrideRecord* BitmapFont::findOverride(char16_t c) const
{
    if (m_overrideCount == 0)
        return nullptr;
    // The first in file order of those with the code.
    const uint16_t* begin = m_overrideOrder.get();
    const uint16_t* end = begin + m_overrideCount;
    const uint16_t* at = std::lower_bound(begin, end, c, [&](uint16_t i, char16_t key) {
        ++m_probes;
        return uint16_t(m_overrides[i].code) < key;
    });
    return at != end && uint16_t(m_overrides[*at].code) == c ? &m_overrides[*at] : nullptr;
}

const GlyphRecord* BitmapFont::findGlyph(char16_t c) const
{
    // Files store their records in signed order of code, so the character
    // is compared as signed too: characters from U+8000 up sort first.
    const int16_t key = int16_t(c);
    int low = 0, high = m_glyphCount - 1;
    while (low <= high) {
        const int mid = (low + high) / 2;
        ++m_probes;
        const int16_t code = m_glyphs[mid].code;
        if (code == key)
            return &m_glyphs[mid];
        if (key < code)
            high = mid - 1;
        else
            low = mid + 1;
    }
    return nullptr;
}

int BitmapFont::charAdvance(char16_t c) const
{
    if (const OverrideRecord* o = findOverride(c))
        return o->advance;
    if (const GlyphRecord* g = findGlyph(c))
        return g->advance;
    return 0;
}

int BitmapFont::measureString(const char16_t* text, int length, int maxWidth, int* fitCount) const
{
    const int n = textLength(text, length);
    const int space = spacing();
    // Widths and limits in 64 bits: negative steps take the total below 0,
    // so the room left can pass INT_MAX.
    int64_t total = 0;
    int fit = 0;
    for (; fit < n; ++fit) {
        const int advance = charAdvance(text[fit]);
        const int step = advance + space;
        if (maxWidth >= 0 && std::max(step, advance) > maxWidth - total)
            break;
        total += step;
    }
    if (fitCount != nullptr)
        *fitCount = fit;
    return fit >= 1 ? int(std::clamp<int64_t>(total - space, INT_MIN, INT_MAX)) : 0;
}

int BitmapFont::placeGlyphs(const char16_t* text, int length, int x, int y, int maxWidth, int maxHeight,
                            int32_t imageWidth, int32_t imageHeight, BlitPieceSink sink, void* context) const
{
    const int n = textLength(text, length);
    const int space = spacing();
    // The pen and the room left as in measureString; positions wrap.
    int64_t pen = 0;
    int visited = 0;
    for (int i = 0; i < n; ++i) {
        const char16_t c = text[i];
        if (const OverrideRecord* o = findOverride(c)) {
            pen += o->advance + space;
            continue;
        }
        const GlyphRecord* g = findGlyph(c);
        if (g == nullptr)
            continue;
        int64_t w = g->width, h = g->height;
        if (maxWidth >= 0)
            w = std::min(w, int64_t(maxWidth) - g->xOffset - pen);
        if (maxHeight >= 0)
            h = std::min<int64_t>(h, int64_t(maxHeight) - g->yOffset);
        // Pen positions wrap as the device's adds did.
        BlitPiece p{wrapAdd(x, int32_t(g->xOffset + pen)), wrapAdd(y, g->yOffset), g->x, g->y,
                    int32_t(std::max<int64_t>(0, w)), int32_t(std::max<int64_t>(0, h))};
        clipPieceToSource(p, imageWidth, imageHeight);
        sink(context, p);
        ++visited;
        pen += g->advance + space;
    }
    return visited;
}

void BitmapFont::drawString(const char16_t* text, int length, int x, int y, int maxWidth, int maxHeight)
{
    DrawContext* dc = getDrawContext();
    uint32_t width = 0, height = 0;
    if (dc == nullptr || m_image == nullptr || !m_image->getSize(&width, &height))
        return;
    ImagePieceTarget target{dc, m_image};
    placeGlyphs(text, length, x, y, maxWidth, maxHeight, int32_t(width), int32_t(height), drawImagePiece, &target);
}
