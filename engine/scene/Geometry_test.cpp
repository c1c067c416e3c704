// Vertex arrays, vertex buffers, triangle strip arrays and meshes: their
// records decoded from hand-assembled bytes, writer round trips with every
// cut and flipped byte, the setters' rules and the mesh's shared references.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "engine/core/scene/SceneIds.h"
#include "engine/core/testing/AllocationSweep.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwLight.h"
#include "engine/scene/CkwMaterial.h"
#include "engine/scene/CkwMesh.h"
#include "engine/scene/CkwRayIntersection.h"
#include "engine/scene/CkwTriangleStripArray.h"
#include "engine/scene/SceneTestKit.h"
#include "engine/scene/testing/SceneKit.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gGeometryEncoders.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The Object3D part of a record without tracks or parameters.
const Bytes kObject3D = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

Bytes record(const Bytes& own)
{
    Bytes out = kObject3D;
    out.insert(out.end(), own.begin(), own.end());
    return out;
}

Bytes u32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<int32_t> valuesOf(const CkwVertexArray& a)
{
    std::vector<int32_t> out;
    for (int32_t v = 0; v < a.getVertexCount(); ++v)
        for (int32_t c = 0; c < a.getComponentCount(); ++c)
            out.push_back(a.getElement(v, c));
    return out;
}

std::vector<int32_t> trianglesOf(const CkwIndexBuffer& b)
{
    std::vector<int32_t> out(static_cast<size_t>(b.getIndexCount()));
    b.getTriangleIndices(static_cast<int32_t>(out.size()), out.data());
    return out;
}

class GeometryTest : public ::testing::Test, public SceneTest {
protected:
    CkwVertexArray* array(int32_t components, int32_t size, const std::vector<int32_t>& values)
    {
        CkwVertexArray* a = nullptr;
        EXPECT_EQ(trap([&] { a = kitVertexArray(components, size, values); }), KErrNone);
        return hold(a);
    }
    CkwVertexBuffer* buffer() { return hold(new CkwVertexBuffer); }
    CkwTriangleStripArray* strips(std::vector<int32_t> lengths, int32_t first = 0)
    {
        auto* s = hold(new CkwTriangleStripArray);
        EXPECT_EQ(trap([&] { s->initImplicit(first, static_cast<int32_t>(lengths.size()), lengths.data()); }), KErrNone);
        return s;
    }
};

TEST_F(GeometryTest, VertexArrayRecordsDecodeAsStored)
{
    const struct {
        const char* what;
        Bytes data;
        int32_t code;
        std::vector<int32_t> values;
    } cases[] = {
        // Running sums 200 and 300 wrap to the byte.
        {"delta bytes", {1, 2, 1, 3, 0, 100, 100, 100, 100, 100, 100}, KErrNone, {100, 100, -56, -56, 44, 44}},
        {"delta shorts wrap", {2, 3, 1, 2, 0, 0x30, 0x75, 0xFF, 0xFF, 5, 0, 0x30, 0x75, 1, 0, 0xFB, 0xFF},
         KErrNone, {30000, -1, 5, -5536, 0, 0}},
        {"plain shorts", {2, 2, 0, 1, 0, 0x34, 0x12, 0xFF, 0xFF}, KErrNone, {0x1234, -1}},
        {"plain bytes, four components", {1, 4, 0, 1, 0, 0x80, 0x7F, 0, 1}, KErrNone, {-128, 127, 0, 1}},
        {"no vertices", {1, 3, 0, 0, 0}, KErrNone, {}},
        {"component size 3", {3, 3, 0, 0, 0}, KErrCorruptData, {}},
        {"one component", {1, 1, 0, 0, 0}, KErrCorruptData, {}},
        {"five components", {1, 5, 0, 0, 0}, KErrCorruptData, {}},
        {"encoding 2", {1, 3, 2, 0, 0}, KErrCorruptData, {}},
        {"values cut", {2, 3, 0, 1, 0, 1, 0, 2, 0, 3}, KErrReadPastEnd, {}},
        {"bytes left over", {1, 2, 0, 1, 0, 1, 2, 3}, kRecordNotConsumed, {}},
    };
    for (const auto& c : cases) {
        CkwVertexArray a;
        ASSERT_EQ(readRecord(a, record(c.data)), c.code) << c.what;
        if (c.code == KErrNone) {
            EXPECT_EQ(valuesOf(a), c.values) << c.what;
        }
    }
}

TEST_F(GeometryTest, StripRecordsExpandInEveryEncoding)
{
    const std::vector<int32_t> fiveFromTen = {10, 11, 12, 12, 11, 13, 12, 13, 14};
    const std::vector<int32_t> twoStrips = {0, 1, 2, 3, 4, 5};
    const struct {
        const char* what;
        Bytes data;
        int32_t code;
        std::vector<int32_t> triangles;
        uint32_t largest;
    } cases[] = {
        {"implicit UInt32", cat({{0}, u32(10), u32(1), u32(5)}), KErrNone, fiveFromTen, 14},
        {"implicit Byte", cat({{1, 10}, u32(1), u32(5)}), KErrNone, fiveFromTen, 14},
        {"implicit UInt16", cat({{2, 10, 0}, u32(1), u32(5)}), KErrNone, fiveFromTen, 14},
        {"explicit UInt32", cat({{128}, u32(6), u32(0), u32(1), u32(2), u32(3), u32(4), u32(5), u32(2), u32(3), u32(3)}),
         KErrNone, twoStrips, 5},
        {"explicit Byte", cat({{129}, u32(6), {0, 1, 2, 3, 4, 5}, u32(2), u32(3), u32(3)}), KErrNone, twoStrips, 5},
        {"explicit UInt16", cat({{130}, u32(4), {0, 0, 9, 0, 2, 0, 1, 0}, u32(1), u32(4)}), KErrNone, {0, 9, 2, 2, 9, 1},
         9},
        {"length past 16 bits", cat({{129}, u32(3), {7, 8, 9}, u32(1), u32(65536 + 3)}), KErrCorruptData, {}, 0},
        {"no strips", cat({{1, 0}, u32(0)}), KErrNone, {}, 0},
        {"encoding 3", cat({{3, 0}, u32(0)}), KErrCorruptData, {}, 0},
        {"encoding 131", cat({{131}, u32(0), u32(0)}), KErrCorruptData, {}, 0},
        {"strip of 2", cat({{1, 0}, u32(1), u32(2)}), KErrCorruptData, {}, 0},
        {"length 65536 + 2", cat({{1, 0}, u32(1), u32(65536 + 2)}), KErrCorruptData, {}, 0},
        {"start above 65535", cat({{0}, u32(65536), u32(1), u32(3)}), KErrIndexOutOfRange, {}, 0},
        {"last index 65536", cat({{2, 0xFE, 0xFF}, u32(1), u32(3)}), KErrIndexOutOfRange, {}, 0},
        {"index above 65535", cat({{128}, u32(3), u32(0), u32(1), u32(65536), u32(1), u32(3)}), KErrIndexOutOfRange,
         {}, 0},
        {"strips past the indices", cat({{129}, u32(3), {0, 1, 2}, u32(2), u32(3), u32(3)}), KErrCorruptData, {}, 0},
        {"index count past the record", cat({{130}, u32(0x7FFFFFFF), {0, 0}}), KErrReadPastEnd, {}, 0},
        {"length count past the record", cat({{1, 0}, u32(0x40000000), u32(3)}), KErrReadPastEnd, {}, 0},
    };
    for (const auto& c : cases) {
        CkwTriangleStripArray s;
        ASSERT_EQ(readRecord(s, record(c.data)), c.code) << c.what;
        if (c.code != KErrNone)
            continue;
        EXPECT_EQ(trianglesOf(s), c.triangles) << c.what;
        EXPECT_EQ(s.maxIndex(), c.largest) << c.what;
    }
}

// Positions and texture coordinates are taken in any shape a file gives,
// normals and colours only in the shapes that can be drawn.
TEST_F(GeometryTest, VertexBufferRecordsTakeTheShapesTheyCanDraw)
{
    CkwVertexArray* xyz3 = array(3, 2, std::vector<int32_t>(9, 1));
    CkwVertexArray* xyz4 = array(3, 1, std::vector<int32_t>(12, 1));
    CkwVertexArray* xy3 = array(2, 1, std::vector<int32_t>(6, 1));
    CkwVertexArray* rgba3 = array(4, 1, std::vector<int32_t>(12, 1));
    CkwVertexArray* rgbShort3 = array(3, 2, std::vector<int32_t>(9, 1));
    CkwVertexArray* empty = array(3, 1, {});
    const std::vector<CkwObject3D*> loaded = {xyz3, xyz4, xy3, rgba3, rgbShort3, empty};
    // Indices as the record names them.
    enum : uint32_t { kXyz3 = 2, kXyz4, kXy3, kRgba3, kRgbShort3, kEmpty };
    auto vb = [](uint32_t positions, uint32_t normals, uint32_t colors, std::vector<uint32_t> units) {
        M3gVertexBufferFields f;
        f.defaultColor = 0x80102030;
        f.positions = positions;
        f.positionBias = {1.0f, 2.0f, 3.0f};
        f.positionScale = 0.5f;
        f.normals = normals;
        f.colors = colors;
        for (size_t i = 0; i < units.size(); ++i)
            f.texCoords.push_back({units[i], {0.25f, 0.5f, 0.75f}, 2.0f + static_cast<float>(i)});
        return m3gVertexBufferRecord(f).data;
    };
    const struct {
        const char* what;
        Bytes data;
        int32_t code;
    } cases[] = {
        {"three units", vb(kXyz3, kXyz3, kRgba3, {kXy3, kXyz3, kXy3}), KErrNone},
        {"positions of two components", vb(kXy3, 0, 0, {}), KErrNone},
        {"positions and texture coordinates of four", vb(kRgba3, 0, 0, {kRgba3}), KErrNone},
        {"normals of another count", vb(kXyz3, kXyz4, 0, {}), KErrCorruptData},
        {"normals of two components", vb(0, kXy3, 0, {}), KErrIllegalArgument},
        {"colours of 16 bits", vb(kXyz3, 0, kRgbShort3, {}), KErrCorruptData},
        {"colours of two components", vb(kXyz3, 0, kXy3, {}), KErrCorruptData},
        {"null texture array", vb(kXyz3, 0, 0, {kXy3, 0}), KErrCorruptData},
        {"dropped unit of another count", vb(kXyz3, 0, 0, {kXy3, kXy3, kXyz4}), KErrCorruptData},
        {"no vertices beside three", vb(kEmpty, kXyz3, 0, {}), KErrCorruptData},
        {"not an array", vb(0, 0, 0, {}), KErrNone},
    };
    for (const auto& c : cases) {
        CkwVertexBuffer b;
        EXPECT_EQ(readRecord(b, c.data, loaded), c.code) << c.what;
    }
    // Units past the second are read and dropped; biases keep all three.
    CkwVertexBuffer b;
    ASSERT_EQ(readRecord(b, vb(kXyz3, kXyz3, kRgba3, {kXy3, kXyz3, kXy3}), loaded), KErrNone);
    EXPECT_EQ(b.getVertexCount(), 3);
    EXPECT_EQ(b.getDefaultColor(), 0x80102030u);
    EXPECT_EQ(b.getTexCoords(0), xy3);
    EXPECT_EQ(b.getTexCoords(1), xyz3);
    EXPECT_EQ(b.getTexCoordScale(1), 3.0f);
    EXPECT_EQ(b.getTexCoordBias(0)[2], 0.75f);
    EXPECT_EQ(b.getNormalScale(), 1.0f / 32767.5f);
    EXPECT_EQ(xy3->refCount(), 2); // the test's and unit 0's
    // A fourth texture coordinate is handed out without a bias of its own.
    ASSERT_EQ(readRecord(b, vb(kRgba3, 0, 0, {kRgba3}), loaded), KErrNone);
    float scaleBias[5] = {9, 9, 9, 9, 9};
    ASSERT_EQ(trap([&] { b.getTexCoords(0, 5, scaleBias); }), KErrNone);
    EXPECT_EQ(std::vector<float>(scaleBias, scaleBias + 5), (std::vector<float>{2, 0.25f, 0.5f, 0.75f, 0}));
}

TEST_F(GeometryTest, WrittenMeshesLoadBackAndDamagedOnesFailCleanly)
{
    for (uint8_t scheme : {kM3gSchemeNone, kM3gSchemeZlib}) {
        const Bytes file = m3gSampleMeshScene(scheme);
        CkwSerializeObjectsIn parser;
        ASSERT_EQ(loadFile(parser, file), -1);
        ASSERT_EQ(parser.roots().count(), 1);
        auto* root = static_cast<CkwGroup*>(parser.objectAt(parser.roots()[0]));
        auto* mesh = static_cast<CkwMesh*>(root->getChild(0));
        EXPECT_EQ(mesh->getUserID(), 77);
        ASSERT_EQ(mesh->getSubmeshCount(), 2);
        EXPECT_EQ(mesh->getAppearance(1), nullptr);
        const CkwVertexBuffer* vb = mesh->getVertexBuffer();
        EXPECT_EQ(vb->getDefaultColor(), 0x11223344u);
        EXPECT_EQ(vb->getVertexCount(), 4);
        EXPECT_EQ(valuesOf(*vb->getPositions()), (std::vector<int32_t>{-100, 200, 300, 32767, -32768, 0, 5, 5, 5, 7, -7, 7}));
        EXPECT_EQ(valuesOf(*vb->getNormals()).back(), 0);
        EXPECT_EQ(vb->getNormalBias()[0], 1.0f / 255.0f);
        float sb[4];
        ASSERT_TRUE(mesh->getPositionScaleBias(sb));
        EXPECT_EQ((std::vector<float>(sb, sb + 4)), (std::vector<float>{0.5f, 1.0f, 2.0f, 3.0f}));
        EXPECT_EQ(trianglesOf(*mesh->getIndexBuffer(0)), (std::vector<int32_t>{1, 2, 3}));
        EXPECT_EQ(trianglesOf(*mesh->getIndexBuffer(1)), (std::vector<int32_t>{3, 2, 1, 1, 2, 0}));
        // Bounds of the positions in model units.
        float high[3], low[3];
        vb->getPositions()->getBoundsMax(0.5f, vb->getPositionBias(), high);
        vb->getPositions()->getBoundsMin(0.5f, vb->getPositionBias(), low);
        EXPECT_EQ((std::vector<float>(high, high + 3)), (std::vector<float>{16384.5f, 102.0f, 153.0f}));
        EXPECT_EQ((std::vector<float>(low, low + 3)), (std::vector<float>{-49.0f, -16382.0f, 3.0f}));

        // A cut fails unless it falls before the first section (the file's
        // length is the loader's to check); a flipped byte either fails or
        // loads, and never reads past what the file holds (the sanitizer
        // build watches).
        for (size_t cut = 0; cut < file.size(); ++cut) {
            CkwSerializeObjectsIn damaged;
            const int32_t result = loadFile(damaged, Bytes(file.begin(), file.begin() + static_cast<long>(cut)));
            EXPECT_TRUE(result != -1 || damaged.objectCount() <= 2) << cut;
        }
        for (size_t at = 0; at < file.size(); ++at) {
            Bytes flipped = file;
            flipped[at] ^= 0x55;
            CkwSerializeObjectsIn damaged;
            loadFile(damaged, flipped);
        }
    }
}

TEST_F(GeometryTest, EveryFailedAllocationWhileBuildingOrLoadingLeavesNothingBehind)
{
    const Bytes file = m3gSampleMeshScene(kM3gSchemeZlib);
    auto scenario = [&](bool hooked) {
        std::optional<FailingAllocHooks> hooks;
        if (hooked)
            hooks.emplace();
        CkwMesh* built[3] = {};
        const int32_t code = trap([&] {
            built[0] = kitBox(1.0f);
            built[0]->addRef();
            built[1] = kitSphere(6, 1.0f);
            built[1]->addRef();
            built[2] = static_cast<CkwMesh*>(built[0]->duplicate());
            built[2]->addRef();
        });
        for (CkwMesh* mesh : built)
            if (mesh != nullptr)
                mesh->release();
        EXPECT_TRUE(code == KErrNone || code == KErrNoMemory) << code;
        CkwSerializeObjectsIn parser;
        return code == KErrNone && loadFile(parser, file) == -1;
    };
    // An unhooked run first leaves the cleanup stack the room it keeps.
    ASSERT_TRUE(scenario(false));
    EXPECT_GT(sweepAllocationFailures([&] { return scenario(true); }), 50);
}

TEST_F(GeometryTest, VertexBufferSettersShareOneVertexCount)
{
    CkwVertexArray* three = array(3, 2, std::vector<int32_t>(9, 0));
    CkwVertexArray* four = array(3, 2, std::vector<int32_t>(12, 0));
    CkwVertexArray* fourBytes = array(3, 1, {-128, 127, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    CkwVertexArray* st = array(2, 2, std::vector<int32_t>(6, 0));
    CkwVertexArray* colours2 = array(2, 1, std::vector<int32_t>(6, 0));
    CkwVertexBuffer* b = buffer();
    const float bias[3] = {1.0f, 2.0f, 3.0f};
    ASSERT_EQ(trap([&] { b->setPositions(three, 2.0f, 3, bias); }), KErrNone);
    // The only array may be replaced by one of any count.
    ASSERT_EQ(trap([&] { b->setPositions(four, 0.5f, 3, bias); }), KErrNone);
    EXPECT_EQ(b->getVertexCount(), 4);
    EXPECT_EQ(three->refCount(), 1);
    const float nanBias[3] = {0.0f, std::numeric_limits<float>::quiet_NaN(), 0.0f};
    const struct {
        const char* what;
        std::function<void()> call;
        int32_t code;
    } refusals[] = {
        {"normals of 3 beside 4", [&] { b->setNormals(three); }, KErrIllegalArgument},
        {"texcoords of 3 beside 4", [&] { b->setTexCoords(0, st, 1.0f, 0, nullptr); }, KErrIllegalArgument},
        {"unit 2", [&] { b->setTexCoords(2, nullptr, 1.0f, 0, nullptr); }, KErrIndexOutOfRange},
        {"colours of two", [&] { b->setColors(colours2); }, KErrIllegalArgument},
        {"positions of two", [&] { b->setPositions(st, 1.0f, 0, nullptr); }, KErrIllegalArgument},
        {"short bias", [&] { b->setPositions(four, 9.0f, 2, bias); }, KErrIllegalArgument},
        {"NaN bias", [&] { b->setPositions(four, 9.0f, 3, nanBias); }, KErrInvalidFloat},
        {"clearing an empty unit", [&] { b->setTexCoords(1, nullptr, 1.0f, 0, nullptr); }, KErrNone},
    };
    for (const auto& r : refusals)
        EXPECT_EQ(trap(r.call), r.code) << r.what;
    // Refused calls changed nothing.
    EXPECT_EQ(b->getPositionScale(), 0.5f);
    EXPECT_EQ(b->getNormals(), nullptr);

    ASSERT_EQ(trap([&] { b->setNormals(fourBytes); }), KErrNone);
    EXPECT_EQ(b->getNormalScale(), 1.0f / 127.5f);
    EXPECT_FLOAT_EQ(-128 * b->getNormalScale() + b->getNormalBias()[0], -1.0f);
    EXPECT_FLOAT_EQ(127 * b->getNormalScale() + b->getNormalBias()[0], 1.0f);
    // Positions gone, normals stay: the count stays; the last array gone: 0.
    ASSERT_EQ(trap([&] { b->setPositions(nullptr, 7.0f, 0, nullptr); }), KErrNone);
    EXPECT_EQ(b->getVertexCount(), 4);
    EXPECT_EQ(b->getPositionScale(), 0.5f);
    ASSERT_EQ(trap([&] { b->setNormals(nullptr); }), KErrNone);
    EXPECT_EQ(b->getVertexCount(), 0);
    EXPECT_EQ(b->getNormalScale(), 1.0f);

    // getTexCoords wants components + 1 places when set, 3 when not.
    float out[4] = {9.0f, 9.0f, 9.0f, 9.0f};
    EXPECT_EQ(trap([&] { b->getTexCoords(0, 2, out); }), KErrIllegalArgument);
    EXPECT_EQ(trap([&] { EXPECT_EQ(b->getTexCoords(0, 3, out), nullptr); }), KErrNone);
    EXPECT_EQ(out[0], 9.0f);
    const float stBias[2] = {0.25f, 0.5f};
    ASSERT_EQ(trap([&] { b->setTexCoords(1, st, 4.0f, 2, stBias); }), KErrNone);
    ASSERT_EQ(trap([&] { b->getTexCoords(1, 3, out); }), KErrNone);
    EXPECT_EQ((std::vector<float>(out, out + 4)), (std::vector<float>{4.0f, 0.25f, 0.5f, 9.0f}));
    EXPECT_EQ(trap([&] { b->getPositions(3, out); }), KErrIllegalArgument);

    // ALPHA and COLOR animate the default colour, clamped.
    const float alpha[] = {1.7f}, lowAlpha[] = {-0.2f}, nanAlpha[] = {std::numeric_limits<float>::quiet_NaN()}, rgb[] = {0.5f, 2.0f, -1.0f};
    b->setDefaultColor(0x12345678);
    b->applyAnimatedProperty(kPropertyColor, 3, rgb);
    EXPECT_EQ(b->getDefaultColor(), 0x1280FF00u);
    b->applyAnimatedProperty(kPropertyAlpha, 1, alpha);
    EXPECT_EQ(b->getDefaultColor(), 0xFF80FF00u);
    b->applyAnimatedProperty(kPropertyAlpha, 1, lowAlpha);
    EXPECT_EQ(b->getDefaultColor(), 0x0080FF00u);
    // Not a number counts as 0, as it does for every other alpha.
    b->applyAnimatedProperty(kPropertyAlpha, 1, alpha);
    b->applyAnimatedProperty(kPropertyAlpha, 1, nanAlpha);
    EXPECT_EQ(b->getDefaultColor(), 0x0080FF00u);
    EXPECT_TRUE(b->isAnimatable(kPropertyAlpha) && b->isAnimatable(kPropertyColor));
    EXPECT_FALSE(b->isAnimatable(kPropertyScale));

    // An array initialised again behind the buffer's back: while the arrays
    // disagree the buffer has no vertices, and setters still want them all.
    CkwVertexArray* five = array(3, 2, std::vector<int32_t>(15, 0));
    CkwVertexBuffer* shared = buffer();
    ASSERT_EQ(trap([&] {
        shared->setPositions(five, 1.0f, 0, nullptr);
        shared->setTexCoords(0, array(2, 1, std::vector<int32_t>(10, 0)), 1.0f, 0, nullptr);
        five->init(2, 3, 2);
    }),
              KErrNone);
    EXPECT_EQ(shared->getVertexCount(), 0);
    EXPECT_EQ(trap([&] { shared->setNormals(four); }), KErrIllegalArgument);
    EXPECT_EQ(trap([&] { shared->setNormals(array(3, 1, std::vector<int32_t>(6, 0))); }), KErrIllegalArgument);

    // A duplicate shares the arrays and copies the rest.
    CkwVertexBuffer* copy = nullptr;
    ASSERT_EQ(trap([&] { copy = hold(static_cast<CkwVertexBuffer*>(b->duplicate())); }), KErrNone);
    EXPECT_EQ(copy->getTexCoords(1), st);
    EXPECT_EQ(st->refCount(), 3);
    EXPECT_EQ(copy->getTexCoordScale(1), 4.0f);
    EXPECT_EQ(copy->getVertexCount(), 3);
    EXPECT_EQ(copy->getDefaultColor(), 0x0080FF00u);
    // Normals made 16-bit behind the buffer's back map as 16-bit ones do.
    CkwVertexArray* normals = array(3, 1, std::vector<int32_t>(9, 0));
    ASSERT_EQ(trap([&] { b->setNormals(normals); }), KErrNone);
    normals->init(3, 3, 2);
    EXPECT_FLOAT_EQ(32767 * b->getNormalScale() + b->getNormalBias()[2], 1.0f);
}

TEST_F(GeometryTest, VertexArrayAccessorsCheckInOrderAndDirtyTheBounds)
{
    CkwVertexArray* shorts = array(3, 2, {1, 2, 3, 4, 5, 6});
    CkwVertexArray* bytes = array(4, 1, std::vector<int32_t>(8, 0));
    int16_t s[6] = {};
    int8_t b[8] = {};
    const struct {
        const char* what;
        std::function<void()> call;
        int32_t code;
    } cases[] = {
        {"shorts of bytes", [&] { bytes->getShorts(0, 1, 99, s); }, KErrIllegalState},
        {"bytes of shorts", [&] { shorts->setBytes(0, 1, 99, b); }, KErrIllegalState},
        {"short output", [&] { shorts->getShorts(0, 2, 5, s); }, KErrIllegalArgument},
        {"first past the end", [&] { shorts->getShorts(2, 0, 6, s); }, KErrIndexOutOfRange},
        {"range past the end", [&] { shorts->setShorts(1, 2, 6, s); }, KErrIndexOutOfRange},
        {"negative first", [&] { bytes->getBytes(-1, 1, 8, b); }, KErrIndexOutOfRange},
        {"accumulators past the end", [&] { bytes->setFromAccumulator(5, 1, nullptr, true); }, KErrIndexOutOfRange},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trap(c.call), c.code) << c.what;

    EXPECT_EQ(shorts->updateBounds(), 6);
    const int16_t far[3] = {-300, 7, 9};
    ASSERT_EQ(trap([&] { shorts->setShorts(1, 1, 3, far); }), KErrNone);
    EXPECT_EQ(shorts->updateBounds(), 300);
    ASSERT_EQ(trap([&] { shorts->setElement(0, 2, -32768); }), KErrNone);
    EXPECT_EQ(shorts->updateBounds(), 32768);
    const float zero[3] = {};
    float low[3];
    shorts->getBoundsMin(1.0f, zero, low);
    EXPECT_EQ((std::vector<float>(low, low + 3)), (std::vector<float>{-300.0f, 2.0f, -32768.0f}));
    // A re-sized array forgets its old bounds.
    ASSERT_EQ(trap([&] { shorts->init(1, 3, 2); }), KErrNone);
    EXPECT_EQ(shorts->updateBounds(), 0);

    // 8.8 accumulators: 256.0 saturates with clamp and wraps without.
    const int32_t acc[4] = {0x10000, 0x8000, 0x7F81, -1};
    ASSERT_EQ(trap([&] { bytes->setFromAccumulator(0, 1, acc, true); }), KErrNone);
    ASSERT_EQ(trap([&] { bytes->setFromAccumulator(4, 1, acc, false); }), KErrNone);
    bytes->getBytes(0, 2, 8, b);
    EXPECT_EQ((std::vector<uint8_t>(b, b + 8)), (std::vector<uint8_t>{255, 128, 128, 0, 0, 128, 128, 0}));
    EXPECT_EQ(bytes->updateBounds(), 128);
}

TEST_F(GeometryTest, TransformedPointsReadEachVertexAtItsOwnStride)
{
    CkwMatrix m;
    for (int32_t i = 0; i < 16; ++i)
        m.m[i] = static_cast<float>((i * 7) % 5) - 2.0f;
    m.m[3] = m.m[7] = m.m[11] = 0.0f;
    m.m[15] = 1.0f;
    m.classify();
    CkwIntMatrix im;
    ASSERT_EQ(CkwIntMatrix::fromMatrix(im, m, 32767.0f, false, false), 1);
    const std::vector<int32_t> xyzw = {100, -200, 300, 9, -400, 500, -600, 9, 700, 800, -900, 9};
    for (int32_t components = 2; components <= 4; ++components) {
        for (int32_t size = 1; size <= 2; ++size) {
            std::vector<int32_t> values;
            for (size_t i = 0; i < xyzw.size(); ++i)
                if (static_cast<int32_t>(i % 4) < components)
                    values.push_back(size == 1 ? xyzw[i] / 8 : xyzw[i]);
            CkwVertexArray* a = array(components, size, values);
            int32_t points[9] = {}, w[3] = {};
            a->transformPoints(1, 3, im, points, w);
            for (int32_t v = 1; v < 3; ++v) {
                // The reference: the vertex's first components as a packed
                // xyz triple (z = 0 for two, a point of that plane), one
                // point at a time.
                int32_t expected[3], expectedW;
                const int32_t z = components == 2 ? 0 : values[static_cast<size_t>(v * components + 2)];
                const int16_t p16[3] = {int16_t(values[size_t(v * components)]), int16_t(values[size_t(v * components + 1)]),
                                        int16_t(z)};
                const int8_t p8[3] = {int8_t(p16[0]), int8_t(p16[1]), int8_t(p16[2])};
                if (size == 1)
                    im.transformPointsS8(p8, expected, &expectedW, 1);
                else
                    im.transformPointsS16(p16, expected, &expectedW, 1);
                EXPECT_EQ((std::vector<int32_t>(points + 3 * v, points + 3 * v + 3)),
                          (std::vector<int32_t>(expected, expected + 3)))
                    << components << " components of " << size << " bytes, vertex " << v;
                EXPECT_EQ(w[v], expectedW);
            }
            EXPECT_EQ(points[0], 0); // vertex 0 was not asked for
        }
    }
}

TEST_F(GeometryTest, StripArraysBuiltInCodeCheckTheirLimits)
{
    const int32_t five[] = {5}, three[] = {3}, twoThrees[] = {3, 3}, two[] = {2}, threeFour[] = {3, 4};
    const int32_t six[] = {0, 1, 2, 3, 4, 5}, seven[] = {0, 1, 2, 3, 4, 5, 6}, big[] = {0, 65536, 1}, huge[] = {65536};
    CkwTriangleStripArray s;
    const struct {
        const char* what;
        std::function<void()> call;
        int32_t code;
    } cases[] = {
        {"first strip", [&] { s.initImplicit(0, 1, three); }, KErrNone},
        {"negative first", [&] { s.initImplicit(-1, 1, three); }, KErrIndexOutOfRange},
        {"no strips", [&] { s.initImplicit(0, 0, three); }, KErrIllegalArgument},
        {"strip of 2", [&] { s.initImplicit(4000, 1, two); }, KErrIllegalArgument},
        {"last index 65536", [&] { s.initImplicit(65534, 1, three); }, KErrIndexOutOfRange},
        {"a strip longer than 16 bits", [&] { s.initImplicit(0, 1, huge); }, KErrIllegalArgument},
        {"last index 65535", [&] { s.initImplicit(65533, 1, three); }, KErrNone},
        {"explicit without strips", [&] { s.initExplicit(6, six, 0, three); }, KErrIllegalArgument},
        {"index 65536", [&] { s.initExplicit(3, big, 1, three); }, KErrIndexOutOfRange},
        {"strip past the indices", [&] { s.initExplicit(4, six, 1, five); }, KErrIllegalArgument},
        {"unused index", [&] { s.initExplicit(6, six, 1, five); }, KErrNone},
    };
    for (const auto& c : cases) {
        // A refused init keeps the strips it had; a new set renews the serial
        // that the renderer's kept triangles are keyed by.
        const std::vector<int32_t> before = trianglesOf(s);
        const uint32_t largest = s.maxIndex();
        const uint64_t serial = s.getSerial();
        EXPECT_EQ(trap(c.call), c.code) << c.what;
        if (c.code == KErrNone)
            EXPECT_NE(s.getSerial(), serial) << c.what;
        else
            EXPECT_TRUE(trianglesOf(s) == before && s.maxIndex() == largest) << c.what;
    }
    EXPECT_EQ(s.maxIndex(), 5u);
    EXPECT_EQ(trianglesOf(s), (std::vector<int32_t>{0, 1, 2, 2, 1, 3, 2, 3, 4}));

    // A short output takes the strips that fit, then leaves.
    ASSERT_EQ(trap([&] { s.initExplicit(6, six, 2, twoThrees); }), KErrNone);
    int32_t out[5] = {-1, -1, -1, -1, -1};
    EXPECT_EQ(trap([&] { s.getTriangleIndices(5, out); }), KErrIllegalArgument);
    EXPECT_EQ((std::vector<int32_t>(out, out + 5)), (std::vector<int32_t>{0, 1, 2, -1, -1}));
    int32_t strip[3];
    EXPECT_EQ(trap([&] { EXPECT_EQ(s.getStrip(1, 3, strip), 3); }), KErrNone);
    EXPECT_EQ((std::vector<int32_t>(strip, strip + 3)), (std::vector<int32_t>{3, 4, 5}));
    EXPECT_EQ(trap([&] { s.getStrip(2, 3, strip); }), KErrIndexOutOfRange);
    EXPECT_EQ(trap([&] { s.getStrip(1, 2, strip); }), KErrIllegalArgument);

    // Stitching keeps every triangle's winding and adds only degenerate ones.
    ASSERT_EQ(trap([&] { s.initExplicit(7, seven, 2, threeFour); }), KErrNone);
    const uint64_t unstitched = s.getSerial();
    ASSERT_EQ(trap([&] { s.stitchStrips(); }), KErrNone);
    EXPECT_NE(s.getSerial(), unstitched);
    EXPECT_EQ((std::vector<uint16_t>(s.getIndices().begin(), s.getIndices().end())),
              (std::vector<uint16_t>{0, 1, 2, 2, 3, 3, 3, 4, 5, 6}));
    ASSERT_EQ(s.getStripLengths().count(), 1);
    EXPECT_EQ(s.getStripLengths()[0], 10);
    std::vector<int32_t> kept;
    const std::vector<int32_t> joined = trianglesOf(s);
    for (size_t t = 0; t < joined.size(); t += 3)
        if (joined[t] != joined[t + 1] && joined[t + 1] != joined[t + 2] && joined[t] != joined[t + 2])
            kept.insert(kept.end(), joined.begin() + static_cast<long>(t), joined.begin() + static_cast<long>(t) + 3);
    EXPECT_EQ(kept, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 5, 4, 6}));
}

TEST_F(GeometryTest, MeshesHoldAndShareWhatTheyDraw)
{
    CkwVertexBuffer* vb = buffer();
    CkwTriangleStripArray* s0 = strips({3});
    CkwTriangleStripArray* s1 = strips({4});
    CkwAppearance* appearance = hold(new CkwAppearance);
    CkwIndexBuffer* pair[2] = {s0, s1};
    CkwIndexBuffer* withNull[2] = {s0, nullptr};
    CkwAppearance* one[1] = {appearance};
    CkwMesh* m = hold(new CkwMesh);
    const struct {
        const char* what;
        std::function<void()> call;
        int32_t code;
    } cases[] = {
        {"no submeshes", [&] { m->init(vb, 0, pair, 0, nullptr); }, KErrIllegalArgument},
        {"one appearance for two", [&] { m->init(vb, 2, pair, 1, one); }, KErrIllegalArgument},
        {"null index buffer", [&] { m->init(vb, 2, withNull, 0, nullptr); }, KErrNullArgument},
        {"no vertex buffer", [&] { m->getRenderVertexBuffer(0); }, KErrIllegalState},
        {"two without appearances", [&] { m->init(vb, 2, pair, 0, nullptr); }, KErrNone},
        {"no positions", [&] { m->getRenderVertexBuffer(0); }, KErrIllegalState},
        {"submesh 2", [&] { m->setAppearance(2, appearance); }, KErrIndexOutOfRange},
        {"index -1", [&] { m->getIndexBuffer(-1); }, KErrIndexOutOfRange},
        {"appearance 1", [&] { m->setAppearance(1, appearance); }, KErrNone},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trap(c.call), c.code) << c.what;
    EXPECT_EQ(m->getAppearance(0), nullptr);
    EXPECT_EQ(m->getAppearance(1), appearance);
    // The failed inits let go of what they had taken.
    EXPECT_EQ(vb->refCount(), 2);
    EXPECT_EQ(s0->refCount(), 2);
    EXPECT_EQ(appearance->refCount(), 2);
    float sb[4];
    EXPECT_FALSE(m->getPositionScaleBias(nullptr));
    ASSERT_TRUE(m->getPositionScaleBias(sb));
    EXPECT_EQ(sb[0], 1.0f);

    // A duplicate shares buffer, strips and appearances.
    CkwMesh* copy = nullptr;
    ASSERT_EQ(trap([&] { copy = hold(static_cast<CkwMesh*>(m->duplicate())); }), KErrNone);
    EXPECT_EQ(copy->getVertexBuffer(), vb);
    EXPECT_EQ(copy->getIndexBuffer(1), s1);
    EXPECT_EQ(vb->refCount(), 3);
    EXPECT_EQ(appearance->refCount(), 3);
    ASSERT_EQ(trap([&] { copy->setAppearance(1, nullptr); }), KErrNone);
    EXPECT_EQ(appearance->refCount(), 2);
    // References: buffer, both strips, then the appearance that is set.
    CkwObject3D* refs[8] = {};
    EXPECT_EQ(m->getReferences(8, refs), 4);
    EXPECT_EQ(refs[0], vb);
    EXPECT_EQ(refs[2], s1);
    EXPECT_EQ(refs[3], appearance);

    // Given again what it alone holds, a mesh keeps it.
    auto* own = new CkwVertexBuffer;
    CkwIndexBuffer* ownStrips[1] = {new CkwTriangleStripArray};
    CkwAppearance* ownLook[1] = {new CkwAppearance};
    CkwMesh* sole = hold(new CkwMesh);
    ASSERT_EQ(trap([&] { sole->init(own, 1, ownStrips, 1, ownLook); }), KErrNone);
    ASSERT_EQ(trap([&] { sole->init(own, 1, ownStrips, 1, ownLook); }), KErrNone);
    EXPECT_EQ(sole->getVertexBuffer(), own);
    for (CkwObject3D* object : {static_cast<CkwObject3D*>(own), static_cast<CkwObject3D*>(ownStrips[0]),
                                static_cast<CkwObject3D*>(ownLook[0])})
        EXPECT_EQ(object->refCount(), 1);
}

TEST_F(GeometryTest, RayIntersectionsStartEmptyAndTheSharedOneHoldsItsNode)
{
    CkwRayIntersection* fresh = hold(static_cast<CkwRayIntersection*>(CkwRayIntersection::create()));
    float ray[6];
    EXPECT_EQ(trap([&] { fresh->getRay(5, ray); }), KErrIllegalArgument);
    ASSERT_EQ(trap([&] { fresh->getRay(6, ray); }), KErrNone);
    EXPECT_EQ((std::vector<float>(ray, ray + 6)), (std::vector<float>{0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(fresh->getNormal()[2], 1.0f);
    EXPECT_EQ(trap([&] { fresh->getTextureS(2); }), KErrIndexOutOfRange);
    EXPECT_EQ(trap([&] { fresh->getTextureT(-1); }), KErrIndexOutOfRange);

    CkwRayIntersection* shared = nullptr;
    ASSERT_EQ(trap([&] { shared = &CkwRayIntersection::shared(); }), KErrNone);
    EXPECT_EQ(&CkwRayIntersection::shared(), shared);
    CkwGroup* hit = group();
    shared->setIntersected(hit);
    EXPECT_EQ(hit->refCount(), 2);
    CkwRayIntersection::releaseShared(*engineContext());
    EXPECT_EQ(engineContext()->rayIntersection, nullptr);
    EXPECT_EQ(hit->refCount(), 1);
}

TEST_F(GeometryTest, KitShapesFaceOutwardAndCloseTheirBounds)
{
    struct Shape {
        const char* what;
        CkwMesh* mesh;
        int32_t vertices;
        int32_t indices;
        float extent;
    };
    CkwMesh* box = nullptr;
    CkwMesh* sphere = nullptr;
    ASSERT_EQ(trap([&] { box = hold(kitBox(2.0f)); }), KErrNone);
    ASSERT_EQ(trap([&] { sphere = hold(kitSphere(12, 3.0f)); }), KErrNone);
    for (const Shape& shape : {Shape{"box", box, 24, 36, 2.0f}, Shape{"sphere", sphere, 7 * 13, 6 * 12 * 2 * 3, 3.0f}}) {
        const CkwVertexBuffer* vb = shape.mesh->getVertexBuffer();
        ASSERT_EQ(vb->getVertexCount(), shape.vertices) << shape.what;
        const std::vector<int32_t> tri = trianglesOf(*shape.mesh->getIndexBuffer(0));
        ASSERT_EQ(static_cast<int32_t>(tri.size()), shape.indices) << shape.what;
        auto position = [&](int32_t v, int32_t c) {
            return vb->getPositions()->getElement(v, c) * vb->getPositionScale();
        };
        int32_t faces = 0;
        for (size_t t = 0; t < tri.size(); t += 3) {
            double e1[3], e2[3];
            for (int32_t c = 0; c < 3; ++c) {
                e1[c] = position(tri[t + 1], c) - position(tri[t], c);
                e2[c] = position(tri[t + 2], c) - position(tri[t], c);
            }
            const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                 e1[0] * e2[1] - e1[1] * e2[0]};
            if (n[0] * n[0] + n[1] * n[1] + n[2] * n[2] < 1e-9)
                continue; // a pole's sliver
            ++faces;
            // The winding's normal agrees with the stored normal of every corner.
            for (int32_t k = 0; k < 3; ++k) {
                double dot = 0.0;
                for (int32_t c = 0; c < 3; ++c)
                    dot += n[c] * vb->getNormals()->getElement(tri[t + static_cast<size_t>(k)], c);
                EXPECT_GT(dot, 0.0) << shape.what << " triangle " << t / 3;
            }
        }
        EXPECT_GT(faces, shape.indices / 3 / 2) << shape.what;
        float high[3], low[3];
        vb->getPositions()->getBoundsMax(vb->getPositionScale(), vb->getPositionBias(), high);
        vb->getPositions()->getBoundsMin(vb->getPositionScale(), vb->getPositionBias(), low);
        for (int32_t c = 0; c < 3; ++c) {
            EXPECT_FLOAT_EQ(high[c], shape.extent) << shape.what;
            EXPECT_FLOAT_EQ(low[c], -shape.extent) << shape.what;
        }
    }
}

TEST_F(GeometryTest, KitLitWorldIsAFewLines)
{
    CkwWorld* w = nullptr;
    ASSERT_EQ(trap([&] { w = hold(kitLitWorld(kitSphere(16, 1.0f, kitAppearance(0xFF3366CC)), 4.0f, 2.0f)); }),
              KErrNone);
    auto* camera = static_cast<CkwCamera*>(w->getActiveCamera());
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->getParent(), w);
    EXPECT_EQ(camera->getProjectionKind(), CkwCamera::kPerspective);
    EXPECT_EQ(camera->getTranslation()[2], 4.0f);
    float params[4];
    camera->getProjectionParams(4, params);
    EXPECT_EQ((std::vector<float>(params, params + 4)), (std::vector<float>{60.0f, 2.0f, 0.1f, 100.0f}));
    ASSERT_EQ(w->getLights().count(), 1);
    EXPECT_EQ(static_cast<CkwLight*>(w->getLights()[0])->getMode(), CkwLight::kDirectional);
    auto* sphere = static_cast<CkwMesh*>(w->getChild(2));
    EXPECT_EQ(sphere->getAppearance(0)->getMaterial()->getColor(CkwMaterial::kDiffuse), 0xFF3366CCu);
    EXPECT_EQ(sphere->getVertexBuffer()->getVertexCount(), 9 * 17);
    // Everything below is held by the world alone.
    EXPECT_EQ(sphere->refCount(), 1);
    EXPECT_EQ(sphere->getVertexBuffer()->refCount(), 1);
}

} // namespace
