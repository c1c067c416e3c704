// The VertexArray, VertexBuffer, TriangleStripArray and Mesh tables through
// the public interface: every entry, handles of the wrong kind and the
// result codes of the checks made before the classes are called.
#include "engine/scene/interface/GeometryTables.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/core/interface/InterfaceMetadata.h"
#include "engine/scene/interface/TableTestKit.h"

namespace {

constexpr EngineResult kIllegalArgument = 0x1000D;
constexpr EngineResult kNullArgument = 0x1000E;
constexpr EngineResult kIndexOutOfRange = 0x10007;
constexpr EngineResult kIllegalState = 0x1000C;
constexpr EngineResult kInvalidFloat = 0x10006;

class GeometryTablesTest : public SceneTablesTest {
protected:
    static const IkwVertexArrayTable& va(EngineHandle* h) { return tableOf<IkwVertexArrayTable>(h); }
    static const IkwVertexBufferTable& vb(EngineHandle* h) { return tableOf<IkwVertexBufferTable>(h); }
    static const IkwTriangleStripArrayTable& tsa(EngineHandle* h) { return tableOf<IkwTriangleStripArrayTable>(h); }
    static const IkwMeshTable& mesh(EngineHandle* h) { return tableOf<IkwMeshTable>(h); }

    EngineHandle* vertexArray(uint32_t vertices, uint32_t components, uint32_t size)
    {
        EngineHandle* h = make(kIidVertexArray);
        EXPECT_EQ(va(h).init(h, vertices, components, size), 0);
        return h;
    }
    EngineHandle* strip(std::vector<int32_t> lengths)
    {
        EngineHandle* h = make(kIidTriangleStripArray);
        EXPECT_EQ(tsa(h).initImplicit(h, 0, static_cast<uint32_t>(lengths.size()), lengths.data()), 0);
        return h;
    }
};

TEST_F(GeometryTablesTest, RowsCarryTheirTablesAndAnswerTheirInterfaces)
{
    const struct {
        uint32_t iid;
        const void* table;
        std::vector<uint32_t> accepted;
        uint32_t refused;
    } rows[] = {
        {kIidVertexArray, &kVertexArrayTable, {kIidObject3D}, kIidVertexBuffer},
        {kIidVertexBuffer, &kVertexBufferTable, {kIidObject3D}, kIidVertexArray},
        {kIidTriangleStripArray, &kTriangleStripArrayTable, {kIidIndexBuffer, kIidObject3D}, kIidNode},
        {kIidMesh, &kMeshTable, {kIidNode, kIidTransformable, kIidObject3D}, kIidGroup},
        {kIidRayIntersection, &kRayIntersectionTable, {}, kIidObject3D},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(interfaceTable(*interfaceById(row.iid)), row.table) << row.iid;
        EngineHandle* h = make(row.iid);
        EXPECT_EQ(h->table, row.table);
        EXPECT_EQ(api().getObjectType(h), row.iid);
        for (uint32_t iid : row.accepted) {
            EngineHandle* q = nullptr;
            EXPECT_EQ(unknownQueryInterface(h, iid, &q), 0) << row.iid << " as " << iid;
            EXPECT_EQ(q, h);
            release(q);
        }
        EngineHandle* q = nullptr;
        EXPECT_EQ(unknownQueryInterface(h, row.refused, &q), 3) << row.iid;
        EXPECT_EQ(release(h), 0u);
    }
}

TEST_F(GeometryTablesTest, VertexArrayEntriesCheckCountsSizesAndValues)
{
    EngineHandle* a = make(kIidVertexArray);
    const auto& t = va(a);
    const struct {
        uint32_t vertices, components, size;
        EngineResult result;
    } inits[] = {
        {0, 3, 2, kIllegalArgument}, {65536, 3, 2, kIllegalArgument}, {1, 1, 2, kIllegalArgument},
        {1, 5, 2, kIllegalArgument}, {1, 3, 0, kIllegalArgument},     {1, 3, 3, kIllegalArgument},
        {2, 4, 2, 0},
    };
    for (const auto& i : inits)
        EXPECT_EQ(t.init(a, i.vertices, i.components, i.size), i.result) << i.vertices << " " << i.components << " " << i.size;
    uint32_t n = 0;
    t.getVertexCount(a, &n);
    EXPECT_EQ(n, 2u);
    t.getComponentCount(a, &n);
    EXPECT_EQ(n, 4u);
    t.getComponentType(a, &n);
    EXPECT_EQ(n, 2u);

    const int16_t in[8] = {1, -2, 3, -4, 32767, -32768, 0, 9};
    int16_t out[8] = {};
    int8_t bytes[8] = {};
    EXPECT_EQ(t.setShorts(a, 0, 2, 8, in), 0);
    EXPECT_EQ(t.getShorts(a, 1, 1, 4, out), 0);
    EXPECT_EQ((std::vector<int16_t>(out, out + 4)), (std::vector<int16_t>{32767, -32768, 0, 9}));
    const struct {
        const char* what;
        EngineResult result;
        EngineResult expected;
    } calls[] = {
        {"negative count", t.getShorts(a, 0, -1, 8, out), kIllegalArgument},
        {"null values", t.setShorts(a, 0, 1, 8, nullptr), kNullArgument},
        {"short array", t.getShorts(a, 0, 2, 7, out), kIllegalArgument},
        {"past the end", t.getShorts(a, 1, 2, 8, out), kIndexOutOfRange},
        {"bytes of shorts", t.getBytes(a, 0, 1, 8, bytes), kIllegalState},
        {"bytes of shorts set", t.setBytes(a, 0, 1, 8, bytes), kIllegalState},
    };
    for (const auto& c : calls)
        EXPECT_EQ(c.result, c.expected) << c.what;

    EngineHandle* b = vertexArray(2, 3, 1);
    const int8_t rgb[6] = {-1, 2, -3, 4, -5, 6};
    EXPECT_EQ(va(b).setBytes(b, 0, 2, 6, rgb), 0);
    EXPECT_EQ(va(b).getBytes(b, 1, 1, 3, bytes), 0);
    EXPECT_EQ((std::vector<int8_t>(bytes, bytes + 3)), (std::vector<int8_t>{4, -5, 6}));
    EXPECT_EQ(va(b).getShorts(b, 0, 1, 3, out), kIllegalState);
    release(a);
    release(b);
}

TEST_F(GeometryTablesTest, VertexBufferEntriesHandOutArraysWithTheirScales)
{
    EngineHandle* buffer = make(kIidVertexBuffer);
    const auto& t = vb(buffer);
    EngineHandle* xyz = vertexArray(3, 3, 2);
    EngineHandle* xy = vertexArray(3, 2, 2);
    EngineHandle* rgb = vertexArray(3, 3, 1);
    EngineHandle* notAnArray = make(kIidGroup);
    const float bias[3] = {1.0f, 2.0f, 3.0f};
    const struct {
        const char* what;
        EngineResult result;
        EngineResult expected;
    } calls[] = {
        {"positions of two", t.setPositions(buffer, xy, 1.0f, 3, bias), kIllegalArgument},
        {"NaN scale", t.setPositions(buffer, xyz, kNaN, 3, bias), kInvalidFloat},
        {"short bias", t.setPositions(buffer, xyz, 1.0f, 2, bias), kIllegalArgument},
        {"a group as normals", t.setNormals(buffer, notAnArray), kIllegalArgument},
        {"colours of 16 bits", t.setColors(buffer, xyz), kIllegalArgument},
        {"unit 2", t.setTexCoords(buffer, 2, xy, 1.0f, 0, nullptr), kIndexOutOfRange},
        {"positions", t.setPositions(buffer, xyz, 0.25f, 3, bias), 0},
        {"normals", t.setNormals(buffer, xyz), 0},
        {"colours", t.setColors(buffer, rgb), 0},
        {"texcoords", t.setTexCoords(buffer, 1, xy, 2.0f, 2, bias), 0},
        {"NaN texcoord scale", t.setTexCoords(buffer, 0, xy, kNaN, 0, nullptr), kInvalidFloat},
    };
    for (const auto& c : calls)
        EXPECT_EQ(c.result, c.expected) << c.what;

    uint32_t word = 0;
    t.getVertexCount(buffer, &word);
    EXPECT_EQ(word, 3u);
    t.getDefaultColor(buffer, &word);
    EXPECT_EQ(word, 0xFFFFFFFFu);
    t.setDefaultColor(buffer, 0x80FF0000u);
    t.getDefaultColor(buffer, &word);
    EXPECT_EQ(word, 0x80FF0000u);

    // A null array gives the handle and writes nothing; a short one refuses.
    EngineHandle* out = nullptr;
    EXPECT_EQ(t.getPositions(buffer, 0, nullptr, &out), 0);
    EXPECT_EQ(out->object, xyz->object);
    release(out);
    float sb[4] = {9.0f, 9.0f, 9.0f, 9.0f};
    EXPECT_EQ(t.getPositions(buffer, 3, sb, &out), kIllegalArgument);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(t.getPositions(buffer, 4, sb, &out), 0);
    release(out);
    EXPECT_EQ((std::vector<float>(sb, sb + 4)), (std::vector<float>{0.25f, 1.0f, 2.0f, 3.0f}));
    EXPECT_EQ(t.getTexCoords(buffer, 1, 3, sb, &out), 0);
    EXPECT_EQ(out->object, xy->object);
    release(out);
    EXPECT_EQ((std::vector<float>(sb, sb + 3)), (std::vector<float>{2.0f, 1.0f, 2.0f}));
    EXPECT_EQ(t.getTexCoords(buffer, 2, 0, nullptr, &out), kIndexOutOfRange);
    for (auto get : {t.getNormals, t.getColors}) {
        EXPECT_EQ(get(buffer, &out), 0);
        EXPECT_NE(out, nullptr);
        release(out);
    }
    EXPECT_EQ(t.getNormals(buffer, nullptr), kNullArgument);
    for (EngineHandle* h : {buffer, xyz, xy, rgb, notAnArray})
        release(h);
}

TEST_F(GeometryTablesTest, StripAndMeshEntriesCheckTheirHandles)
{
    EngineHandle* s = make(kIidTriangleStripArray);
    const int32_t lengths[] = {2, 4};
    const int32_t indices[] = {0, 1, 2, 3};
    EXPECT_EQ(tsa(s).initImplicit(s, 0, 1, nullptr), kNullArgument);
    EXPECT_EQ(tsa(s).initImplicit(s, 0, 1, lengths), kIllegalArgument);
    EXPECT_EQ(tsa(s).initExplicit(s, 4, nullptr, 1, lengths + 1), kNullArgument);
    EXPECT_EQ(tsa(s).initExplicit(s, 4, indices, 1, lengths + 1), 0);
    uint32_t count = 0;
    tsa(s).indexBuffer.getIndexCount(s, &count);
    EXPECT_EQ(count, 6u);
    int32_t tri[6] = {};
    EXPECT_EQ(tsa(s).indexBuffer.getIndices(s, 5, tri), kIllegalArgument);
    EXPECT_EQ(tsa(s).indexBuffer.getIndices(s, 6, tri), 0);
    EXPECT_EQ((std::vector<int32_t>(tri, tri + 6)), (std::vector<int32_t>{0, 1, 2, 2, 1, 3}));

    EngineHandle* m = make(kIidMesh);
    EngineHandle* buffer = make(kIidVertexBuffer);
    EngineHandle* group = make(kIidGroup);
    EngineHandle* s2 = strip({3});
    EngineHandle* both[2] = {s, s2};
    EngineHandle* withGroup[2] = {s, group};
    const auto& t = mesh(m);
    const struct {
        const char* what;
        EngineResult result;
        EngineResult expected;
    } calls[] = {
        {"no submeshes", t.initMulti(m, buffer, 0, both, 0, nullptr), kNullArgument},
        {"no buffer", t.initMulti(m, nullptr, 2, both, 0, nullptr), kNullArgument},
        {"a group as index buffer", t.initMulti(m, buffer, 2, withGroup, 0, nullptr), kIllegalArgument},
        {"a group as appearance", t.initMulti(m, buffer, 2, both, 2, withGroup), kIllegalArgument},
        {"one appearance for two", t.initMulti(m, buffer, 2, both, 1, both), kIllegalArgument},
        {"single without index buffer", t.init(m, buffer, nullptr, nullptr), kNullArgument},
        {"a strip as buffer", t.init(m, s, s2, nullptr), kIllegalArgument},
        {"two submeshes", t.initMulti(m, buffer, 2, both, 0, nullptr), 0},
        {"appearance of submesh 2", t.setAppearance(m, 2, nullptr), kIndexOutOfRange},
        {"a group as appearance", t.setAppearance(m, 0, group), kIllegalArgument},
        {"clearing an appearance", t.setAppearance(m, 1, nullptr), 0},
    };
    for (const auto& c : calls)
        EXPECT_EQ(c.result, c.expected) << c.what;
    t.getSubmeshCount(m, &count);
    EXPECT_EQ(count, 2u);
    EngineHandle* out = nullptr;
    EXPECT_EQ(t.getVertexBuffer(m, &out), 0);
    EXPECT_EQ(out->object, buffer->object);
    release(out);
    EXPECT_EQ(t.getIndexBuffer(m, 1, &out), 0);
    EXPECT_EQ(out->object, s2->object);
    release(out);
    EXPECT_EQ(t.getIndexBuffer(m, 2, &out), kIndexOutOfRange);
    EXPECT_EQ(t.getAppearance(m, 0, &out), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(t.getAppearance(m, 2, &out), kIndexOutOfRange);
    // The mesh holds the buffer and the strips past the handles' release.
    for (EngineHandle* h : {buffer, s, s2, group})
        release(h);
    EXPECT_EQ(t.getIndexBuffer(m, 0, &out), 0);
    tableOf<IkwIndexBufferTable>(out).getIndexCount(out, &count);
    EXPECT_EQ(count, 6u);
    release(out);
    EXPECT_EQ(release(m), 0u);
}

TEST_F(GeometryTablesTest, FreshRayIntersectionAnswersItsDefaults)
{
    EngineHandle* r = make(kIidRayIntersection);
    const auto& t = tableOf<IkwRayIntersectionTable>(r);
    float ray[6] = {};
    float value = -1.0f;
    EXPECT_EQ(t.getRay(r, 5, ray), kIllegalArgument);
    EXPECT_EQ(t.getRay(r, 6, nullptr), kNullArgument);
    EXPECT_EQ(t.getRay(r, 6, ray), 0);
    EXPECT_EQ((std::vector<float>(ray, ray + 6)), (std::vector<float>{0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(t.getTextureT(r, 2, &value), kIndexOutOfRange);
    EXPECT_EQ(t.getTextureS(r, 1, &value), 0);
    EXPECT_EQ(value, 0.0f);
    t.getNormalZ(r, &value);
    EXPECT_EQ(value, 1.0f);
    int32_t submesh = -1;
    t.getSubmeshIndex(r, &submesh);
    EXPECT_EQ(submesh, 0);
    EngineHandle* hit = r;
    EXPECT_EQ(t.getIntersected(r, &hit), 0);
    EXPECT_EQ(hit, nullptr);
    EXPECT_EQ(release(r), 0u);
}

} // namespace
