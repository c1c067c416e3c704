// Span programs are data from a pack: whatever they store into the raster
// state must not steer the host. Each case here stores into a word the host
// once trusted, or never ends, and the draw must come out as a clean one.
#include <cstring>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "framework/streams/MemoryInputStream.h"
#include "gfx2d/drawcontext/testing/DrawScene.h"
#include "gfx2d/raster/SpanRecordWords.h"
#include "gfx2d/span/ArmInterpreter.h"
#include "gfx2d/span/ScanConversion.h"
#include "gfx2d/span/SpanIds.h"
#include "gfx2d/span/SpanProgramSet.h"
#include "tools/span/ArmEncoder.h"
#include "tools/span/SpanPrograms.h"

namespace {

constexpr int kW = 40, kH = 30;
const Fixed kSheared[4] = {kFixedOne, 0, 1, kFixedOne};  // no translation, every pixel in place

// str value, [r0, #offset] in front of `rest`; r3 and r4 are free at entry.
std::vector<uint32_t> storeThen(uint32_t offset, uint32_t value, const std::vector<uint32_t>& rest)
{
    ArmAssembler a;
    a.loadConstant(3, value);
    a.loadConstant(4, offset);
    a.emit(armTransferRegister(kAl, false, false, 3, 0, true, armReg(4)));
    std::vector<uint32_t> code = a.finish();
    code.insert(code.end(), rest.begin(), rest.end());
    return code;
}

std::vector<uint8_t> imageRecord(const std::vector<uint32_t>& code)
{
    SpanRecordKeys keys;
    keys.destination = keys.source = PixelFormat::X8R8G8B8;
    return spanRecord(code, keys);
}

int load(SpanProgramSet& set, const std::vector<uint8_t>& record)
{
    MemoryInputStream in;
    in.open(record.data(), static_cast<uint32_t>(record.size()));
    return set.load(in, kSpanRecordTag);
}

struct Scene : DrawScene {
    MemorySurface image;
    Scene() : DrawScene(kW, kH)
    {
        makeImage(image, 24, 20, [](int x, int y) { return 0xFF000000u | uint32_t(x * 0x0A0B0C + y * 0x10203); });
    }
    std::vector<uint32_t> frame() { return {pixels(), pixels() + kW * kH}; }
    void clear() { std::fill_n(const_cast<uint32_t*>(pixels()), kW * kH, 0xFF102030u); }
    // The image through the span path with the set's first record.
    std::vector<uint32_t> drawWith(SpanProgramSet& set)
    {
        clear();
        const Fixed t[2] = {5 << 16, 4 << 16};
        dc.loadMatrix(kSheared, t);
        dc.setCustomSpans(1);
        dc.setCustomSpanSet(&set);
        dc.drawImage(&image, 0, nullptr);
        dc.setCustomSpans(0);
        return frame();
    }
    // 400 one-pixel rectangles under a transform: far more than the pool holds.
    std::vector<uint32_t> rectangles()
    {
        clear();
        std::vector<int16_t> corners;
        for (int i = 0; i < 400; ++i)
            corners.insert(corners.end(), {int16_t(i % kW), int16_t(i / kW), int16_t(i % kW + 1), int16_t(i / kW + 1)});
        const Fixed t[2] = {0, 0};
        dc.loadMatrix(kSheared, t);
        dc.setColor(0xFFFFFFFF);
        dc.vertexPointer(2, VertexType::S16, 0, corners.data());
        dc.drawArrays(DrawMode::Rectangles, 0, 800);
        return frame();
    }
};

}  // namespace

TEST(HostileSpans, StoresIntoHostOwnedWordsChangeNothingTheHostDoes)
{
    Scene s;
    ASSERT_TRUE(s.tableOpen);
    const std::vector<uint32_t> opaque = spanProgramCode(SpanMode::Opaque, PixelFormat::X8R8G8B8, PixelFormat::X8R8G8B8);
    SpanProgramSet clean;
    ASSERT_EQ(load(clean, imageRecord(opaque)), 1);
    const std::vector<uint32_t> expected = s.drawWith(clean);
    const RasterStateBlock& record = s.screen.rasterState()->block();
    const MatrixStack2D matrices = record.matrix2D;
    const std::vector<uint32_t> rectangles = s.rectangles();
    // The words the host keeps for spans to read: the tables' and the units'.
    auto published = [&record] {
        const auto* b = reinterpret_cast<const uint8_t*>(&record);
        std::vector<uint8_t> words(b + kRsRecipTableSizeM1, b + kRsDestBase);
        words.insert(words.end(), b + kRsTextureUnits, b + kRsPerspective);
        return words;
    };
    const std::vector<uint8_t> publishedWords = published();
    ASSERT_NE(expected, std::vector<uint32_t>(kW * kH, 0xFF102030u));

    struct Case {
        const char* what;
        uint32_t offset;
        uint32_t value;
    };
    const Case cases[] = {
        {"native-call flag", kRsSpanBinding + 4, 1},
        {"interpolant count", kRsSpanBinding + 8, 6},
        {"interpolant count", kRsSpanBinding + 8, 0xFFFFFFFF},
        {"depth interpolant", kRsSpanBinding + 16, 1},
        {"perspective mask", kRsSpanBinding + 20, 0xFFFFFFFF},
        {"driver kind", kRsSpanBinding + 28, 1},
        {"pool capacity", kRsPoolCapacity, 0x7FFFFFFF},
        {"pool used", kRsPoolUsed, 0x4000},
        {"pool used", kRsPoolUsed, 0xFFFFFFF0},
        {"unit 0's bound slot", kRsTextureUnits + kTuBoundSlot, 5},
        {"the 2D matrix", kRsMatrix2D, 0x7FFFFFFF},
        {"the 2D matrix count", kRsMatrix2DCount, 0},
        {"a table address", kRsRecipTable4, 0x01000000},
        {"unit 3's level", kRsTextureUnits + 3 * kTextureUnitSize + kTuLevels, 0x01000000},
    };
    for (const Case& c : cases) {
        SpanProgramSet hostile;
        ASSERT_EQ(load(hostile, imageRecord(storeThen(c.offset, c.value, opaque))), 1);
        EXPECT_EQ(s.drawWith(hostile), expected) << c.what << " = " << c.value;
        EXPECT_EQ(std::memcmp(&s.screen.rasterState()->block().matrix2D, &matrices, sizeof matrices), 0) << c.what;
        // The next draw of another kind keeps to the host's own pool.
        EXPECT_EQ(s.rectangles(), rectangles) << c.what << " = " << c.value;
        EXPECT_EQ(published(), publishedWords) << c.what;
    }
}

TEST(HostileSpans, ATargetThatDoesNotBindKeepsNoneOfTheLastBinding)
{
    // After a draw into the scene's target, the current target becomes one
    // the raster state refuses (its stencil plane is not S8); a segment
    // drawn under a transform must then write nowhere, whatever stride a
    // span left in the record.
    const std::vector<uint32_t> opaque = spanProgramCode(SpanMode::Opaque, PixelFormat::X8R8G8B8, PixelFormat::X8R8G8B8);
    const struct {
        const char* what;
        std::vector<uint32_t> code;
    } cases[] = {
        {"a clean program", opaque},
        {"a stride whose 28 rows wrap to 8 bytes", storeThen(kRsDestStride, 0x0924924A, opaque)},
    };
    for (const auto& c : cases) {
        Scene s;
        SpanProgramSet set;
        ASSERT_EQ(load(set, imageRecord(c.code)), 1);
        s.drawWith(set);
        const std::vector<uint32_t> drawn = s.frame();
        MemorySurface refused;
        const SurfaceAttribute list[] = {{SurfaceKey::Width, kW},
                                         {SurfaceKey::Height, kH},
                                         {SurfaceKey::Format0, PixelFormat::X8R8G8B8},
                                         {SurfaceKey::Format2, PixelFormat::L8},
                                         {SurfaceKey::End, 0}};
        ASSERT_TRUE(refused.init(list)) << c.what;
        refused.makeCurrent();
        const int16_t ends[4] = {5, 0, 5, kH - 1};
        const Fixed t[2] = {0, 0};
        s.dc.loadMatrix(kSheared, t);
        s.dc.vertexPointer(2, VertexType::S16, 0, ends);
        s.dc.drawArrays(DrawMode::Lines, 0, 2);
        EXPECT_EQ(s.frame(), drawn) << c.what;
        s.target.makeCurrent();
    }
}

TEST(HostileSpans, AFreedTextureEntryStaysUnreachableWhateverTheUnitWordsSay)
{
    RasterState rs;
    rs.init(16);
    const int32_t slot = rs.textureStore()->createEntry(16, 16, PixelFormat::X8R8G8B8, 0);
    ASSERT_GE(slot, 0);
    rs.bindTextureUnit(0, slot);
    const SpanAddress state = spanAddress(kSpanRegionState, 0);
    auto run = [&](const std::vector<uint32_t>& code) {
        return runArmCode(rs.addressSpace(), state, reinterpret_cast<const uint8_t*>(code.data()),
                          uint32_t(code.size() * 4), state, 0, 0);
    };
    const std::vector<uint32_t> readLevel0 = {armTransfer(kAl, true, false, 1, 0, kRsTextureUnits + kTuLevels),
                                              armTransfer(kAl, true, false, 1, 1, 0), armBx(kAl, 14)};
    ASSERT_EQ(run(readLevel0), SpanRun::Returned);
    // A span marks the unit unbound; the host frees the entry and refreshes.
    ASSERT_EQ(run(storeThen(kRsTextureUnits + kTuBoundSlot, 0xFFFFFFFF, {armBx(kAl, 14)})), SpanRun::Returned);
    rs.textureStore()->freeEntry(slot);
    rs.refreshTextureUnits();
    EXPECT_EQ(run(readLevel0), SpanRun::Fault);
    EXPECT_EQ(rs.sampler(0).levelCount, 0);
}

TEST(HostileSpans, StoresThroughWhatSpansOnlyReadFaultAndChangeNothing)
{
    // The tables, a bound image with its palette and a bound store entry,
    // each reached through its pointer in the record; the colour plane
    // takes the same stores.
    RasterState rs;
    rs.init(16);
    std::vector<uint32_t> colour(64), texels(64, 0x11223344), palette(256, 0x00ABCDEF);
    RenderTargetView view;
    view.flags = SurfaceFlag::RasterTarget | kTargetColourPlane;
    view.colour = {reinterpret_cast<uint8_t*>(colour.data()), 32, 256, PixelFormat::X8R8G8B8};
    ASSERT_TRUE(rs.bindTarget(&view));
    rs.bindTexturePixels(0, {PixelFormat::P8X8R8G8B8, 16, 16, reinterpret_cast<uint8_t*>(texels.data()), 256,
                             reinterpret_cast<uint8_t*>(palette.data()), 1024});
    const int32_t slot = rs.textureStore()->createEntry(8, 8, PixelFormat::X8R8G8B8, 0);
    rs.bindTextureUnit(1, slot);
    const RasterTables tables = *rs.tables();
    const std::vector<uint32_t> texelsBefore = texels, paletteBefore = palette;
    const uint32_t entryWord = rs.entryPixelWord(slot);
    const uint32_t pointers[] = {kRsRecipTable, kRsRecipTable4, kRsRecipShiftTable, kRsCosTable, kRsSqrtTable,
                                 kRsTextureUnits + kTuLevels, kRsTextureUnits + kTuPalette,
                                 kRsTextureUnits + kTextureUnitSize + kTuLevels, kRsDestBase};
    const uint32_t stores[] = {armTransfer(kAl, false, false, 3, 4, 8), armTransfer(kAl, false, true, 3, 4, 9),
                               armHalfword(kAl, false, 3, 4, 10), armBlock(kAl, false, kIa, true, 4, 0x0008)};
    const SpanAddress state = spanAddress(kSpanRegionState, 0);
    for (uint32_t pointer : pointers) {
        for (uint32_t store : stores) {
            const std::vector<uint32_t> code = storeThen(0, 0x80000000u, {armTransfer(kAl, true, false, 4, 0, int32_t(pointer)),
                                                                         store, armBx(kAl, 14)});
            const SpanRun run = runArmCode(rs.addressSpace(), state, reinterpret_cast<const uint8_t*>(code.data()),
                                           uint32_t(code.size() * 4), state, 0, 0);
            EXPECT_EQ(run, pointer == kRsDestBase ? SpanRun::Returned : SpanRun::Fault) << pointer << " " << store;
        }
    }
    EXPECT_EQ(std::memcmp(&tables, rs.tables(), sizeof tables), 0);
    EXPECT_EQ(texels, texelsBefore);
    EXPECT_EQ(palette, paletteBefore);
    EXPECT_EQ(rs.entryPixelWord(slot), entryWord);
    EXPECT_EQ(colour[0], 0x80000000u);  // the colour plane took them
}

// A loop of 2 * n words, then a return.
std::vector<uint32_t> countdown(uint32_t n)
{
    ArmAssembler a;
    a.loadConstant(3, n);
    const int loop = a.newLabel();
    a.bind(loop);
    a.dp(kSub, 3, 3, armImm(1), true);
    a.branch(loop, kNe);
    a.emit(armBx(kAl, 14));
    return a.finish();
}

TEST(HostileSpans, AProgramThatRunsOutOrFaultsEndsItsDrawAndIsSetAside)
{
    // The 40 x 30 quad's 30 rows are granted 256 + 40 * 256 = 10496 words
    // each on top of the frame's 65536: a program of 20003 words a row
    // returns 6 times, one of 15003 words 14 times.
    const struct {
        const char* what;
        uint32_t spanBudget, returned;
        std::vector<uint32_t> code;
    } cases[] = {
        {"endless", 1000, 0, {armBranch(kAl, -2)}},
        {"endless, the whole span budget", kSpanInstructionBudget, 0, {armBranch(kAl, -2)}},
        {"20000 words a row", kSpanInstructionBudget, 6, countdown(10000)},
        {"15000 words a row", kSpanInstructionBudget, 14, countdown(7500)},
        {"a fault", kSpanInstructionBudget, 0, {armTransfer(kAl, false, false, 3, 3, 0), armBx(kAl, 14)}},
        {"no return", kSpanInstructionBudget, 0, {armTransfer(kAl, true, false, 3, 0, 0)}},
    };
    for (const auto& c : cases) {
        Scene s;
        SpanProgramSet set;
        ASSERT_EQ(load(set, imageRecord(c.code)), 1);
        RasterState& rs = *s.screen.rasterState();
        // The first span that does not return ends the draw; a frame begun
        // by the raster state or by the drawing context has its words again.
        for (int frame = 0; frame < 3; ++frame) {
            if (frame == 1)
                rs.beginFrame(nullptr);
            if (frame == 2) {
                s.dc.endDraw();
                s.dc.beginDraw();
            }
            ScanConverter sc(rs);
            sc.setSpanBudget(c.spanBudget);
            rs.bindTarget();
            setClipRectangle(rs, 0, 0, kW, kH);
            rs.bindSpanProgram(set.record(0));
            const Fixed u[4] = {}, v[4] = {};
            sc.drawTexturedQuad(kW << 16, kH << 16, u, v, false);
            const SpanRunCounts& n = sc.counts();
            EXPECT_EQ(n.timeouts + n.faults + n.leftCode, 1u) << c.what << ", frame " << frame;
            EXPECT_EQ(n.returned, c.returned) << c.what << ", frame " << frame;
        }
        rs.bindSpanProgram(nullptr);

        // Through the drawing context the program is set aside until the set
        // is reloaded, and a later record of the same keys does not stand in.
        const std::vector<uint32_t> clean = spanProgramCode(SpanMode::Opaque, PixelFormat::X8R8G8B8, PixelFormat::X8R8G8B8);
        ASSERT_EQ(load(set, imageRecord(clean)), 1);
        s.dc.endDraw();
        s.dc.beginDraw();
        s.drawWith(set);
        EXPECT_TRUE(set.isSetAside(0)) << c.what;
        EXPECT_EQ(set.select(PixelFormat::X8R8G8B8, PixelFormat::X8R8G8B8, kSpanKey3Image, kSpanKey4Image,
                             kSpanKey5Image, kSpanKey6Image),
                  0)
            << c.what;
        // Cleared and loaded with other code under the same keys, the set
        // runs that code, decoded from the record it holds now.
        SpanProgramSet fresh;
        ASSERT_EQ(load(fresh, imageRecord(clean)), 1);
        const std::vector<uint32_t> cleanPicture = s.drawWith(fresh);
        set.clear();
        ASSERT_EQ(load(set, imageRecord(clean)), 1);
        EXPECT_EQ(s.drawWith(set), cleanPicture) << c.what;
        ASSERT_NE(set.program(0), nullptr);
        EXPECT_EQ(preparedCode(*set.program(0)), set.record(0) + kSpanRecordCodeOffset) << c.what;
    }
}

// What a frame's spans interpret follows the pixels they cover, with one
// allowance a frame beside it; and a frame decodes each program it draws
// with once, however often it cycles through them. Counted at N and 2N.
TEST(HostileSpans, AFramesSpanWorkFollowsItsPixelsAndProgramsNotItsDraws)
{
    DrawScene s(202, 202);
    // Words a frame of draws through a set holding only `code` runs.
    auto frameWords = [&](const std::vector<uint32_t>& code, const std::function<void()>& draws) {
        SpanProgramSet set;
        load(set, imageRecord(code));
        const uint64_t before = armWork().runWords;
        s.dc.endDraw();
        s.dc.beginDraw();
        s.dc.setCustomSpans(1);
        s.dc.setCustomSpanSet(&set);
        draws();
        s.dc.setCustomSpans(0);
        return armWork().runWords - before;
    };
    // A column of n pixels sheared into a diagonal: n rows of a pixel or
    // two in an n x n bounding box, drawn by a program of 40003 words a row,
    // which may also widen the edges the record holds past the target.
    const std::vector<uint32_t> greedy = countdown(20000);
    const std::vector<uint32_t> widening = storeThen(kRsLe + 4 * kVertexScreenX, uint32_t(-1000 << 16),
                                                     storeThen(kRsRe + 4 * kVertexScreenX, 1000 << 16, greedy));
    for (const std::vector<uint32_t>* code : {&greedy, &widening}) {
        auto diagonal = [&](int n) {
            MemorySurface column;
            makeImage(column, 1, n, [](int, int y) { return 0xFF000000u | uint32_t(y); });
            const Fixed shear[4] = {kFixedOne, 0, kFixedOne, kFixedOne}, origin[2] = {1 << 16, 1 << 16};
            return frameWords(*code, [&] {
                s.dc.loadMatrix(shear, origin);
                s.dc.drawImage(&column, 0, nullptr);
            });
        };
        const uint64_t thin = diagonal(100);
        EXPECT_LT(thin, 2 * kSpanFrameWords);
        EXPECT_LE(diagonal(200), thin * 23 / 10);
    }
    // n tiny pictures by a program of 20003 words a row: the frame's
    // allowance is spent once, not again at every draw.
    MemorySurface tiny;
    makeImage(tiny, 2, 2, [](int, int) { return 0xFF336699u; });
    auto tinies = [&](int n) {
        return frameWords(countdown(10000), [&] {
            for (int i = 0; i < n; ++i) {
                const Fixed sheared[4] = {kFixedOne, 0, 1, kFixedOne}, at[2] = {(i % 100) << 16, (i / 100) << 16};
                s.dc.loadMatrix(sheared, at);
                s.dc.drawImage(&tiny, 0, nullptr);
            }
        });
    };
    const uint64_t few = tinies(200);
    EXPECT_LT(few, 2 * kSpanFrameWords);
    EXPECT_LE(tinies(400), few * 23 / 10);

    // Every program of the three sets, cycled n times over in one frame:
    // decoded once in the first frame, never again in the next.
    uint32_t palette[256] = {};
    MemorySurface pictures[3], screen565;
    makeImage(pictures[0], 4, 4, [](int x, int y) { return 0xFF000000u | uint32_t(x * 40 + y); });
    makeIndexedImage(pictures[1], 4, 4, palette, [](int x, int y) { return uint8_t(x + y); });
    ASSERT_TRUE(makeTarget(pictures[2], 4, 4, PixelFormat::R5G6B5));
    ASSERT_TRUE(makeTarget(screen565, 40, 30, PixelFormat::R5G6B5));
    auto cycle = [&](int n) {
        const uint64_t before = armWork().decodedWords;
        s.dc.endDraw();
        s.dc.beginDraw();
        s.dc.loadIdentity();
        s.dc.rotate(0x1E0000);
        s.dc.setColor(0x80FFFFFF);
        s.dc.setBlendMode(DrawBlend::SourceAlpha);
        int drawn = 0;
        for (int i = 0; i < n; ++i)
            for (int state = 0; state < 3; ++state)
                for (MemorySurface* target : {&s.target, &screen565})
                    for (MemorySurface& picture : pictures) {
                        target->makeCurrent();
                        state ? s.dc.enable(DrawGroup::ColourKey) : s.dc.disable(DrawGroup::ColourKey);
                        state == 2 ? s.dc.enable(DrawGroup::Blend) : s.dc.disable(DrawGroup::Blend);
                        drawn += s.dc.drawImage(&picture, 0, nullptr);
                    }
        s.target.makeCurrent();
        EXPECT_EQ(drawn, n * 3 * 5);
        return armWork().decodedWords - before;
    };
    EXPECT_EQ(cycle(3), 15 * kSpanCodeBytes / 4);
    EXPECT_EQ(cycle(6), 0u);

    // However much honest draws leave unspent, a later draw inherits at most
    // a frame's words, frames begun or not: a program of a million words a
    // span runs out on the tiny picture drawn after a turned 100 x 100 one.
    MemorySurface big;
    makeImage(big, 100, 100, [](int x, int y) { return 0xFF000000u | uint32_t(x * 300 + y); });
    SpanProgramSet spender;
    load(spender, imageRecord(countdown(1u << 19)));
    s.dc.translate(60 << 16, 10 << 16);
    ASSERT_EQ(s.dc.drawImage(&big, 0, nullptr), 1);
    const uint64_t before = armWork().runWords;
    s.dc.setCustomSpans(1);
    s.dc.setCustomSpanSet(&spender);
    s.dc.drawImage(&tiny, 0, nullptr);
    EXPECT_LT(armWork().runWords - before, 2 * kSpanFrameWords);
}
