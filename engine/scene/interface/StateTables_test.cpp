// The camera, light and rendering-state tables through the public interface:
// each interface made by id with its own table and queried by the ids it
// accepts, then every own entry reached by handle with the results the
// interface gives for refused values, null and wrong-kind handles.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "engine/core/interface/InterfaceMetadata.h"
#include "engine/core/math/CkwTransform.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/interface/AppearanceTables.h"
#include "engine/scene/interface/SceneNodeTables.h"
#include "engine/scene/interface/TableTestKit.h"

namespace {

class StateTablesTest : public SceneTablesTest {};

// One entry called with one set of arguments, and the result it must give.
struct Call {
    const char* what;
    EngineResult result;
    std::function<EngineResult()> call;
};

template <size_t N>
void expectResults(const Call (&calls)[N])
{
    for (const Call& c : calls)
        EXPECT_EQ(c.call(), c.result) << c.what;
}

TEST_F(StateTablesTest, EachInterfaceIsMadeWithItsTableAndAnswersItsIds)
{
    expectMadeWithTheirTables({
        {kIidAppearance, &kAppearanceTable, {19}},         {kIidBackground, &kBackgroundTable, {19}},
        {kIidCamera, &kCameraTable, {18, 19, 27}},         {kIidCompositingMode, &kCompositingModeTable, {19}},
        {kIidFog, &kFogTable, {19}},                       {kIidLight, &kLightTable, {18, 19, 27}},
        {kIidMaterial, &kMaterialTable, {19}},             {kIidPolygonMode, &kPolygonModeTable, {19}},
    });
}

TEST_F(StateTablesTest, CameraChecksEveryProjectionArgument)
{
    EngineHandle* c = make(kIidCamera);
    EngineHandle* g = make(kIidGroup);
    // The Transform interface is not built; a handle of our own stands in.
    auto* matrix = static_cast<CkwTransform*>(CkwTransform::create());
    matrix->addRef();
    EngineHandle transformHandle = {nullptr, matrix, 1, nullptr};
    EngineHandle* transform = &transformHandle;
    const auto& t = tableOf<IkwCameraTable>(c);
    const struct {
        float a, b, n, f;
        EngineResult perspective;
        EngineResult parallel;
    } cases[] = {
        {60, 1.5f, 1, 100, 0, 0},
        {180, 1, 1, 10, 0x1000D, 0},
        {179.9f, 1, 1, 10, 0, 0},
        {0, 1, 1, 10, 0x1000D, 0x1000D},
        {60, 0, 1, 10, 0x1000D, 0x1000D},
        {60, 1, 0, 10, 0x1000D, 0},
        {60, 1, 1, -10, 0x1000D, 0},
        {60, 1, -1, 10, 0x1000D, 0},
        {kNaN, 1, 1, 10, 0x10006, 0x10006},
        {60, 1, 1, kNaN, 0x10006, 0x10006},
    };
    float p[4];
    uint32_t kind = 0;
    for (const auto& k : cases) {
        SCOPED_TRACE(k.a);
        EXPECT_EQ(t.setParallel(c, 7, 2, 3, 4), 0);
        EXPECT_EQ(t.setPerspective(c, k.a, k.b, k.n, k.f), k.perspective);
        EXPECT_EQ(t.getProjectionParameters(c, 4, p, &kind), 0);
        EXPECT_EQ(kind, k.perspective == 0 ? 50u : 49u); // a refusal keeps the old projection
        EXPECT_EQ(t.setParallel(c, k.a, k.b, k.n, k.f), k.parallel);
    }
    EXPECT_EQ(t.setParallel(c, 2, 1, 1, 3), 0);
    EXPECT_EQ(t.getProjectionParameters(c, 3, p, &kind), 0x1000D);
    EXPECT_EQ(t.getProjectionParameters(c, 4, p, nullptr), 0x1000E);
    EXPECT_EQ(t.getProjectionParameters(c, 4, p, &kind), 0);
    EXPECT_EQ(kind, 49u);
    EXPECT_EQ((std::vector<float>(p, p + 4)), (std::vector<float>{2, 1, 1, 3}));
    EXPECT_EQ(t.getProjection(c, nullptr, &kind), 0);
    EXPECT_EQ(t.getProjection(c, g, &kind), 0x1000D);
    EXPECT_EQ(t.getProjection(c, transform, &kind), 0);
    float m[16];
    matrix->get(16, m);
    EXPECT_EQ(m[11], -2.0f); // row-major: row 2, column 3

    EXPECT_EQ(t.setGeneric(c, nullptr), 0x1000E);
    EXPECT_EQ(t.setGeneric(c, g), 0x1000D);
    matrix->postScale(1, 0, 1);
    EXPECT_EQ(t.setGeneric(c, transform), 0x1000D);
    matrix->setIdentity();
    EXPECT_EQ(t.setGeneric(c, transform), 0);
    EXPECT_EQ(t.setPerspective(nullptr, 60, 1, 1, 10), 0x1000E);
    matrix->release();
    release(g);
    release(c);
}

TEST_F(StateTablesTest, LightRangesAndAttenuation)
{
    EngineHandle* l = make(kIidLight);
    const auto& t = tableOf<IkwLightTable>(l);
    const Call cases[] = {
        {"mode 127", 0x1000D, [&] { return t.setMode(l, 127); }},
        {"mode 132", 0x1000D, [&] { return t.setMode(l, 132); }},
        {"mode 130", 0, [&] { return t.setMode(l, 130); }},
        {"intensity NaN", 0x10006, [&] { return t.setIntensity(l, kNaN); }},
        {"intensity -3", 0, [&] { return t.setIntensity(l, -3); }},
        {"spot angle 90.5", 0x1000D, [&] { return t.setSpotAngle(l, 90.5f); }},
        {"spot angle -0.5", 0x1000D, [&] { return t.setSpotAngle(l, -0.5f); }},
        {"spot angle 90", 0, [&] { return t.setSpotAngle(l, 90); }},
        {"spot exponent 128.5", 0x1000D, [&] { return t.setSpotExponent(l, 128.5f); }},
        {"spot exponent 128", 0, [&] { return t.setSpotExponent(l, 128); }},
        {"negative constant", 0x1000D, [&] { return t.setAttenuation(l, -1, 1, 1); }},
        {"negative linear", 0x1000D, [&] { return t.setAttenuation(l, 1, -1, 1); }},
        {"negative quadratic", 0x1000D, [&] { return t.setAttenuation(l, 1, 1, -1); }},
        {"all zero", 0x1000D, [&] { return t.setAttenuation(l, 0, 0, 0); }},
        {"NaN linear", 0x10006, [&] { return t.setAttenuation(l, 1, kNaN, 1); }},
        {"linear only", 0, [&] { return t.setAttenuation(l, 0, 2, 0); }},
    };
    expectResults(cases);
    t.setColor(l, 0xFF123456);
    uint32_t u = 0;
    float f[3] = {};
    t.getColor(l, &u);
    EXPECT_EQ(u, 0x123456u);
    t.getMode(l, &u);
    EXPECT_EQ(u, 130u);
    t.getIntensity(l, f);
    EXPECT_EQ(f[0], -3.0f);
    t.getSpotAngle(l, f);
    EXPECT_EQ(f[0], 90.0f);
    t.getSpotExponent(l, f);
    EXPECT_EQ(f[0], 128.0f);
    t.getConstantAttenuation(l, f);
    t.getLinearAttenuation(l, f + 1);
    t.getQuadraticAttenuation(l, f + 2);
    EXPECT_EQ((std::vector<float>(f, f + 3)), (std::vector<float>{0, 2, 0}));
    release(l);
}

TEST_F(StateTablesTest, AppearanceComponentsByHandle)
{
    EngineHandle* a = make(kIidAppearance);
    EngineHandle* material = make(kIidMaterial);
    EngineHandle* fog = make(kIidFog);
    EngineHandle* polygon = make(kIidPolygonMode);
    EngineHandle* compositing = make(kIidCompositingMode);
    const auto& t = tableOf<IkwAppearanceTable>(a);
    int32_t layer = 0;
    EXPECT_EQ(t.setLayer(a, 63), 0);
    EXPECT_EQ(t.setLayer(a, 64), 0x10007);
    EXPECT_EQ(t.setLayer(a, -64), 0x10007);
    t.getLayer(a, &layer);
    EXPECT_EQ(layer, 63);

    t.setMaterial(a, material);
    t.setFog(a, fog);
    t.setPolygonMode(a, polygon);
    t.setCompositingMode(a, compositing);
    t.setMaterial(a, fog); // another kind: ignored, not taken
    t.setFog(a, nullptr);
    const struct {
        EngineResult (*get)(EngineHandle*, EngineHandle**);
        EngineHandle* expected;
    } getters[] = {{t.getMaterial, material}, {t.getFog, nullptr}, {t.getPolygonMode, polygon},
                   {t.getCompositingMode, compositing}};
    for (const auto& g : getters) {
        EngineHandle* out = nullptr;
        EXPECT_EQ(g.get(a, &out), 0);
        EXPECT_EQ(out == nullptr ? nullptr : out->object, g.expected == nullptr ? nullptr : g.expected->object);
        if (out != nullptr)
            release(out);
        EXPECT_EQ(g.get(a, nullptr), 0x1000E);
    }
    EngineHandle* out = nullptr;
    EXPECT_EQ(t.getTexture(a, 0, &out), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(t.getTexture(a, 2, &out), 0x10007);
    EXPECT_EQ(t.setTexture(a, 2, nullptr), 0x10007);
    EXPECT_EQ(t.setTexture(a, 0, fog), 0x1000D);
    EXPECT_EQ(t.setTexture(a, 1, nullptr), 0);
    EXPECT_EQ(t.setLayer(nullptr, 0), 0x1000E);
    // The appearance holds a count on each component it kept, none on the fog.
    EXPECT_EQ(material->object->refCount(), 2);
    EXPECT_EQ(fog->object->refCount(), 1);
    EXPECT_EQ(polygon->object->refCount(), 2);
    EXPECT_EQ(compositing->object->refCount(), 2);
    for (EngineHandle* h : {material, fog, polygon, compositing, a})
        release(h);
}

TEST_F(StateTablesTest, MaterialAndModesRefuseOutsideTheirEnumerations)
{
    EngineHandle* m = make(kIidMaterial);
    EngineHandle* c = make(kIidCompositingMode);
    EngineHandle* p = make(kIidPolygonMode);
    EngineHandle* f = make(kIidFog);
    const auto& mt = tableOf<IkwMaterialTable>(m);
    const auto& ct = tableOf<IkwCompositingModeTable>(c);
    const auto& pt = tableOf<IkwPolygonModeTable>(p);
    const auto& ft = tableOf<IkwFogTable>(f);
    uint32_t u = 0;
    const Call cases[] = {
        {"two colour targets", 0x1000D, [&] { return mt.getColor(m, 3072, &u); }},
        {"no colour target", 0x1000D, [&] { return mt.setColor(m, 0, 0); }},
        {"foreign target bit", 0x1000D, [&] { return mt.setColor(m, 0x4000, 0); }},
        {"ambient and specular", 0, [&] { return mt.setColor(m, 1024 | 8192, 0xFF445566); }},
        {"shininess 128.5", 0x1000D, [&] { return mt.setShininess(m, 128.5f); }},
        {"shininess 128", 0, [&] { return mt.setShininess(m, 128); }},
        {"threshold 1.01", 0x1000D, [&] { return ct.setAlphaThreshold(c, 1.01f); }},
        {"threshold 1", 0, [&] { return ct.setAlphaThreshold(c, 1); }},
        {"blending 63", 0x1000D, [&] { return ct.setBlending(c, 63); }},
        {"blending 69", 0x1000D, [&] { return ct.setBlending(c, 69); }},
        {"blending 65", 0, [&] { return ct.setBlending(c, 65); }},
        {"offset NaN", 0x10006, [&] { return ct.setDepthOffset(c, 1, kNaN); }},
        {"offset", 0, [&] { return ct.setDepthOffset(c, -1, 4); }},
        {"culling 159", 0x1000D, [&] { return pt.setCulling(p, 159); }},
        {"culling 163", 0x1000D, [&] { return pt.setCulling(p, 163); }},
        {"culling 162", 0, [&] { return pt.setCulling(p, 162); }},
        {"shading 166", 0x1000D, [&] { return pt.setShading(p, 166); }},
        {"shading 164", 0, [&] { return pt.setShading(p, 164); }},
        {"winding 167", 0x1000D, [&] { return pt.setWinding(p, 167); }},
        {"winding 169", 0, [&] { return pt.setWinding(p, 169); }},
        {"density -0", 0, [&] { return ft.setDensity(f, -0.0f); }},
        {"density -1", 0x1000D, [&] { return ft.setDensity(f, -1); }},
        {"fog mode 82", 0x1000D, [&] { return ft.setMode(f, 82); }},
        {"fog mode 80", 0, [&] { return ft.setMode(f, 80); }},
        {"near equals far", 0, [&] { return ft.setLinear(f, 5, 5); }},
        {"far NaN", 0x10006, [&] { return ft.setLinear(f, 5, kNaN); }},
    };
    expectResults(cases);

    EXPECT_EQ(mt.getColor(m, 1024, &u), 0);
    EXPECT_EQ(u, 0x445566u);
    EXPECT_EQ(mt.getColor(m, 2048, nullptr), 0x1000E);
    uint8_t b = 9;
    mt.setVertexColorTrackingEnable(m, 2);
    mt.isVertexColorTrackingEnabled(m, &b);
    EXPECT_EQ(b, 1);
    float x[2] = {};
    mt.getShininess(m, x);
    EXPECT_EQ(x[0], 128.0f);

    ct.getBlending(c, &u);
    EXPECT_EQ(u, 65u);
    ct.getAlphaThreshold(c, x);
    EXPECT_EQ(x[0], 1.0f);
    ct.getDepthOffsetFactor(c, x);
    ct.getDepthOffsetUnits(c, x + 1);
    EXPECT_EQ(x[1], 4.0f);
    const struct {
        EngineHandle* h;
        void (*get)(EngineHandle*, uint8_t*);
        void (*set)(EngineHandle*, uint32_t);
    } flags[] = {{c, ct.isColorWriteEnabled, ct.setColorWriteEnable},
                 {c, ct.isAlphaWriteEnabled, ct.setAlphaWriteEnable},
                 {c, ct.isDepthWriteEnabled, ct.setDepthWriteEnable},
                 {c, ct.isDepthTestEnabled, ct.setDepthTestEnable},
                 {p, pt.isLocalCameraLightingEnabled, pt.setLocalCameraLightingEnable},
                 {p, pt.isPerspectiveCorrectionEnabled, pt.setPerspectiveCorrectionEnable},
                 {p, pt.isTwoSidedLightingEnabled, pt.setTwoSidedLightingEnable}};
    for (const auto& flag : flags) {
        for (uint32_t value : {0u, 5u, 0u}) {
            flag.set(flag.h, value);
            flag.get(flag.h, &b);
            EXPECT_EQ(b, value != 0 ? 1 : 0);
        }
    }
    pt.getCulling(p, &u);
    EXPECT_EQ(u, 162u);
    pt.getShading(p, &u);
    EXPECT_EQ(u, 164u);
    pt.getWinding(p, &u);
    EXPECT_EQ(u, 169u);

    ft.setColor(f, 0xFF112233);
    ft.getColor(f, &u);
    EXPECT_EQ(u, 0x112233u);
    ft.getMode(f, &u);
    EXPECT_EQ(u, 80u);
    ft.getDensity(f, x);
    EXPECT_EQ(x[0], 0.0f);
    ft.getNearDistance(f, x);
    ft.getFarDistance(f, x + 1);
    EXPECT_EQ((std::vector<float>(x, x + 2)), (std::vector<float>{5, 5}));
    for (EngineHandle* h : {m, c, p, f})
        release(h);
}

TEST_F(StateTablesTest, BackgroundCropModesAndImage)
{
    EngineHandle* b = make(kIidBackground);
    EngineHandle* g = make(kIidGroup);
    const auto& t = tableOf<IkwBackgroundTable>(b);
    EXPECT_EQ(t.setCrop(b, 0, 0, -1, 5), 0x1000D);
    EXPECT_EQ(t.setCrop(b, 0, 0, 5, -1), 0x1000D);
    EXPECT_EQ(t.setCrop(b, -3, 4, 20, 10), 0);
    EXPECT_EQ(t.setImageMode(b, 31, 32), 0x1000D);
    EXPECT_EQ(t.setImageMode(b, 32, 34), 0x1000D);
    EXPECT_EQ(t.setImageMode(b, 33, 32), 0);
    EXPECT_EQ(t.setImage(b, g), 0x1000D);
    EXPECT_EQ(t.setImage(b, nullptr), 0);
    EngineHandle* image = reinterpret_cast<EngineHandle*>(1);
    EXPECT_EQ(t.getImage(b, &image), 0);
    EXPECT_EQ(image, nullptr);
    const auto crop = [&] {
        int32_t v[4];
        t.getCropX(b, v);
        t.getCropY(b, v + 1);
        t.getCropWidth(b, v + 2);
        t.getCropHeight(b, v + 3);
        return std::vector<int32_t>(v, v + 4);
    };
    EXPECT_EQ(crop(), (std::vector<int32_t>{-3, 4, 20, 10}));
    // Animation may leave halves and negative sizes; the getters round half
    // away from zero and show no size below zero.
    const float animated[4] = {2.5f, -2.5f, 2.5f, -3.0f};
    static_cast<CkwBackground*>(b->object)->applyAnimatedProperty(kPropertyCrop, 4, animated);
    EXPECT_EQ(crop(), (std::vector<int32_t>{3, -3, 3, 0}));

    uint32_t u = 0;
    t.getImageModeX(b, &u);
    EXPECT_EQ(u, 33u);
    t.getImageModeY(b, &u);
    EXPECT_EQ(u, 32u);
    t.setColor(b, 0x80FF0000);
    t.getColor(b, &u);
    EXPECT_EQ(u, 0x80FF0000u);
    uint8_t flag = 9;
    t.setDepthClearEnable(b, 0);
    t.isDepthClearEnabled(b, &flag);
    EXPECT_EQ(flag, 0);
    t.setColorClearEnable(b, 0);
    t.isColorClearEnabled(b, &flag);
    EXPECT_EQ(flag, 0);
    release(g);
    release(b);
}

} // namespace
