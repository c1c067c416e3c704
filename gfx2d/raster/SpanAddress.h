// The span address space: span programs keep 32-bit addresses in their
// registers and in raster-state words; host code maps each memory block a
// span may touch to a region and every access is translated and
// bounds-checked here. Also the byte offsets of the raster-state words, the
// interface that stored span programs are written against.
#pragma once

#include <cstddef>
#include <cstdint>

using SpanAddress = uint32_t;

// An address is (region << 24) | offset. Region 0 is never mapped, so the
// address 0 stays a null pointer for the span code.
inline constexpr uint32_t kSpanRegionShift = 24;
inline constexpr uint32_t kSpanOffsetMask = 0xFFFFFF;
inline constexpr uint32_t kSpanRegionLimit = 1u << kSpanRegionShift;  // bytes one region's offsets reach

// A plane or a texture maps to this many regions in a row: an address past
// one region's 16 MB runs on into the next, as the memory does, so a block
// of up to 128 MB reads as one. Surfaces hold at most 2^24 pixels, 64 MB at
// 32 bits.
inline constexpr uint32_t kSpanBlockRegions = 8;
inline constexpr uint64_t kSpanBlockLimit = uint64_t(kSpanBlockRegions) << kSpanRegionShift;

// Every address stays below 2^31: span code may compare them as signed words.
inline constexpr uint32_t kSpanRegionState = 1;         // the raster-state record
inline constexpr uint32_t kSpanRegionTables = 2;        // its reciprocal, cosine and root tables
inline constexpr uint32_t kSpanRegionPalettes = 8;      // + unit: the unit's palette
inline constexpr uint32_t kSpanRegionColour = 16;       // planes of the bound target, a block each
inline constexpr uint32_t kSpanRegionDepth = kSpanRegionColour + kSpanBlockRegions;
inline constexpr uint32_t kSpanRegionStencil = kSpanRegionDepth + kSpanBlockRegions;
inline constexpr uint32_t kSpanRegionTextureLevels = kSpanRegionStencil + kSpanBlockRegions;  // a block a unit

constexpr uint32_t spanTextureRegion(uint32_t unit) { return kSpanRegionTextureLevels + unit * kSpanBlockRegions; }

// An offset past 16 MB runs on into the next regions, as a block maps them.
constexpr SpanAddress spanAddress(uint32_t region, uint32_t offset)
{
    return (region << kSpanRegionShift) + offset;
}
constexpr uint32_t spanRegionOf(SpanAddress a) { return a >> kSpanRegionShift; }
constexpr uint32_t spanOffsetOf(SpanAddress a) { return a & kSpanOffsetMask; }

// Tables, texture levels and palettes are only read: spans that store into
// them fault, so what the host and later draws read stays as it was made.
enum class SpanAccess : uint8_t { Read, ReadWrite };

class SpanAddressSpace {
public:
    // Maps size bytes at base to `regions` regions from `first` on. 0 (and
    // the regions left as they were) for region 0, regions past 255 or a
    // block longer than the regions reach.
    int map(uint32_t first, const void* base, size_t size, SpanAccess access, uint32_t regions = 1)
    {
        if (first == 0 || regions == 0 || first + regions > 256 ||
            size > static_cast<uint64_t>(regions) << kSpanRegionShift)
            return 0;
        // Stores never reach a read-only block: its store size is 0.
        auto* p = static_cast<uint8_t*>(const_cast<void*>(base));
        for (uint32_t k = 0; k < regions; ++k) {
            const size_t skip = static_cast<size_t>(k) << kSpanRegionShift;
            const uint32_t left = p && size > skip ? static_cast<uint32_t>(size - skip) : 0;
            m_regions[first + k] = {left ? p + skip : nullptr, left, access == SpanAccess::ReadWrite ? left : 0};
        }
        return 1;
    }
    void unmap(uint32_t first, uint32_t regions = 1)
    {
        for (uint32_t k = 0; k < regions && first != 0 && first + k <= 255; ++k)
            m_regions[first + k] = {};
    }
    // Host address of `size` bytes at a, or null when any of them lies
    // outside the mapping: for reading, and for writing where spans write.
    const uint8_t* translate(SpanAddress a, uint32_t size) const
    {
        uint8_t* p;
        return access<false>(a, size, p) ? p : nullptr;
    }
    uint8_t* writable(SpanAddress a, uint32_t size) const
    {
        uint8_t* p;
        return access<true>(a, size, p) ? p : nullptr;
    }
    // The same as a test: the interpreter branches once per access, not
    // again on a null result. A store compares with its own size, so a
    // read-only region costs it nothing.
    template <bool Store>
    bool access(SpanAddress a, uint32_t size, uint8_t*& p) const
    {
        const Region& r = m_regions[a >> kSpanRegionShift];
        const uint32_t offset = a & kSpanOffsetMask;
        // offset < 2^24 and size is an access width or a block no larger
        // than a mapping, so the sum cannot wrap.
        if (static_cast<uint64_t>(offset) + size > (Store ? r.storeSize : r.size))
            return false;
        p = r.base + offset;
        return true;
    }
    uint32_t regionSize(uint32_t region) const { return region <= 255 ? m_regions[region].size : 0; }

private:
    struct Region {
        uint8_t* base = nullptr;
        uint32_t size = 0;       // bytes from base a load may reach
        uint32_t storeSize = 0;  // and a store: 0 in a read-only region
    };
    Region m_regions[256];
};

// Byte offsets of the raster-state words that span programs address through
// their state register.
inline constexpr uint32_t kRsCpuRegs = 0;
inline constexpr uint32_t kRsRegs = 512;
inline constexpr uint32_t kRsScissorX0 = 1024;
inline constexpr uint32_t kRsScissorY0 = 1028;
inline constexpr uint32_t kRsScissorX1 = 1032;
inline constexpr uint32_t kRsScissorY1 = 1036;
inline constexpr uint32_t kRsAlphaRefval = 1040;
inline constexpr uint32_t kRsStencilRefval = 1044;
inline constexpr uint32_t kRsStencilMask = 1048;
inline constexpr uint32_t kRsSpSave = 1052;
inline constexpr uint32_t kRsRecipTableSizeM1 = 1068;
inline constexpr uint32_t kRsRecipTable = 1072;
inline constexpr uint32_t kRsRecipTable4 = 1076;
inline constexpr uint32_t kRsRecipShiftTable = 1080;
inline constexpr uint32_t kRsCosTable = 1084;
inline constexpr uint32_t kRsSqrtTableSizeM1 = 1088;
inline constexpr uint32_t kRsSqrtTable = 1092;
inline constexpr uint32_t kRsDestBase = 1096;
inline constexpr uint32_t kRsDestHeight = 1100;
inline constexpr uint32_t kRsDestStride = 1104;
inline constexpr uint32_t kRsDestPtr = 1108;
inline constexpr uint32_t kRsZBase = 1112;
inline constexpr uint32_t kRsZStride = 1116;
inline constexpr uint32_t kRsZPtr = 1120;
inline constexpr uint32_t kRsStencilBase = 1124;
inline constexpr uint32_t kRsStencilPtr = 1128;
inline constexpr uint32_t kRsStencilStride = 1132;
inline constexpr uint32_t kRsFlatColour = 1136;
inline constexpr uint32_t kRsDrawBytes = 1144;
inline constexpr uint32_t kRsTextureUnits = 1148;
inline constexpr uint32_t kRsPerspective = 1980;
inline constexpr uint32_t kRsFinalLimit = 1984;
inline constexpr uint32_t kRsRp123 = 1988;
inline constexpr uint32_t kRsPoolUsed = 2008;
inline constexpr uint32_t kRsPoolCapacity = 2012;
inline constexpr uint32_t kRsStatistics = 2016;
inline constexpr uint32_t kRsK1 = 2048;
inline constexpr uint32_t kRsLe = 2368;
inline constexpr uint32_t kRsRe = 2448;
inline constexpr uint32_t kRsDl = 2528;
inline constexpr uint32_t kRsDr = 2608;
inline constexpr uint32_t kRsIntp = 2688;
inline constexpr uint32_t kRsViewport = 3088;
inline constexpr uint32_t kRsDepthRange = 3104;
inline constexpr uint32_t kRsFrustum = 3112;
inline constexpr uint32_t kRsProjectionMode = 3136;
inline constexpr uint32_t kRsClipFactors = 3140;
inline constexpr uint32_t kRsClipBox = 3164;
inline constexpr uint32_t kRsMatrix2D = 3196;
inline constexpr uint32_t kRsMatrix2DCount = 3676;
inline constexpr uint32_t kRsRenderSlots = 3680;
inline constexpr uint32_t kRsClearColour = 3708;
inline constexpr uint32_t kRsClearStencil = 3724;
inline constexpr uint32_t kRsClearDepth = 3728;
inline constexpr uint32_t kRsSpanBinding = 4120;
inline constexpr uint32_t kRsPolygonLists = 4152;
inline constexpr uint32_t kRsTextureStack = 4408;
inline constexpr uint32_t kRsSecondStack = 5452;
inline constexpr uint32_t kRsProjectionStack = 6496;
inline constexpr uint32_t kRsInterpreterStackTop = 9084;  // a span's stack grows down from here
inline constexpr uint32_t kRsOutlineMode = 9092;
inline constexpr uint32_t kRsPipelineModes = 9100;
inline constexpr uint32_t kRsPipelineFunctions = 9104;
inline constexpr uint32_t kRsWord34740 = 34740;
inline constexpr uint32_t kRasterStateSize = 34744;

// Within a texture unit.
inline constexpr uint32_t kTuFormat = 0;
inline constexpr uint32_t kTuFlags = 4;
inline constexpr uint32_t kTuWidth = 8;
inline constexpr uint32_t kTuHeight = 12;
inline constexpr uint32_t kTuPalette = 16;
inline constexpr uint32_t kTuMiptype = 20;
inline constexpr uint32_t kTuMaxD = 24;
inline constexpr uint32_t kTuLevels = 28;
inline constexpr uint32_t kTuWidthLog2 = 68;
inline constexpr uint32_t kTuHeightLog2 = 72;
inline constexpr uint32_t kTuBpp = 76;
inline constexpr uint32_t kTuCpp = 80;
inline constexpr uint32_t kTuFilterMode = 84;
inline constexpr uint32_t kTuTexmode = 88;
inline constexpr uint32_t kTuBoundSlot = 100;
inline constexpr uint32_t kTextureUnitSize = 104;
inline constexpr uint32_t kTextureUnitCount = 8;
inline constexpr uint32_t kTextureLevelCount = 10;

inline constexpr uint32_t kMatrixEntryWords = 13;
inline constexpr uint32_t kMatrixStackDepth = 20;
inline constexpr uint32_t kMatrixStackSize = kMatrixStackDepth * kMatrixEntryWords * 4 + 4;

static_assert(kTuLevels + kTextureLevelCount * 4 == kTuWidthLog2);
static_assert(kRsTextureUnits + kTextureUnitCount * kTextureUnitSize == kRsPerspective);
static_assert(kRsLe + 4 * 80 == kRsIntp && kRsIntp + 5 * 80 == kRsViewport);
static_assert(kRsMatrix2D + kMatrixStackDepth * 6 * 4 == kRsMatrix2DCount);
static_assert(kRsTextureStack + kMatrixStackSize == kRsSecondStack);
static_assert(kRsSecondStack + kMatrixStackSize == kRsProjectionStack);
static_assert(kRsPolygonLists + 4 * 16 * 4 == kRsTextureStack);
static_assert(kRasterStateSize < kSpanRegionLimit);
static_assert(spanTextureRegion(kTextureUnitCount) <= 128);
