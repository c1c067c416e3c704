// The file data of cameras, lights and the rendering-state objects: one record
// of each type assembled byte by byte from the layouts, which the writer must
// reproduce and the loader must read back; every cut and flipped byte of
// those records, and the values the layouts refuse, fail with a leave code.
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <vector>

#include "engine/scene/CkwAppearance.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwCompositingMode.h"
#include "engine/scene/CkwFog.h"
#include "engine/scene/CkwLight.h"
#include "engine/scene/CkwMaterial.h"
#include "engine/scene/CkwPolygonMode.h"
#include "engine/scene/CkwStageset.h"
#include "engine/scene/CkwTexture2D.h"
#include "engine/scene/SceneTestKit.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gStateEncoders.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// User id, no tracks, no user parameters.
Bytes objectData(uint8_t userId) { return {userId, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}; }
// Then no component transform, no matrix, enabled, pickable, alpha 255, scope
// all ones and no alignment.
Bytes nodeData(uint8_t userId) { return join({objectData(userId), {0, 0, 1, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0}}); }

M3gObject3DFields withId(int32_t userId)
{
    M3gObject3DFields f;
    f.userId = userId;
    return f;
}

const Bytes kF0_25 = {0x00, 0x00, 0x80, 0x3E};
const Bytes kF0_5 = {0x00, 0x00, 0x00, 0x3F};
const Bytes kF1 = {0x00, 0x00, 0x80, 0x3F};
const Bytes kF1_5 = {0x00, 0x00, 0xC0, 0x3F};
const Bytes kF2 = {0x00, 0x00, 0x00, 0x40};
const Bytes kF3 = {0x00, 0x00, 0x40, 0x40};
const Bytes kF8 = {0x00, 0x00, 0x00, 0x41};
const Bytes kF10 = {0x00, 0x00, 0x20, 0x41};
const Bytes kF20 = {0x00, 0x00, 0xA0, 0x41};
const Bytes kF30 = {0x00, 0x00, 0xF0, 0x41};
const Bytes kF60 = {0x00, 0x00, 0x70, 0x42};
const Bytes kF64 = {0x00, 0x00, 0x80, 0x42};
const Bytes kF100 = {0x00, 0x00, 0xC8, 0x42};
const Bytes kFMinus2 = {0x00, 0x00, 0x00, 0xC0};
const Bytes kF0 = {0, 0, 0, 0};

class StateRecordsTest : public ::testing::Test, public SceneTest {
protected:
    struct Case {
        const char* what;
        std::function<IkwSerializable*()> make;
        Bytes bytes;
        M3gRecord written;
        std::vector<CkwObject3D*> loaded;
        std::function<void(CkwObject3D&)> check;
    };

    std::vector<Case> cases()
    {
        auto* compositing = hold(new CkwCompositingMode);
        auto* fog = hold(new CkwFog);
        auto* polygon = hold(new CkwPolygonMode);
        auto* material = hold(new CkwMaterial);
        auto* texture0 = hold(new CkwTexture2D);
        auto* texture1 = hold(new CkwTexture2D);
        auto* stageset = hold(new CkwStageset);

        M3gCameraFields perspective;
        perspective.node.transformable.object.userId = 5;
        perspective.projection = 50;
        perspective.fovyOrHeight = 60;
        perspective.aspectRatio = 1.5f;
        perspective.near = 1;
        perspective.far = 100;
        M3gCameraFields generic;
        generic.node.transformable.object.userId = 6;
        generic.generalRowMajor = {2, 0, 0, 3, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        M3gLightFields light;
        light.node.transformable.object.userId = 12;
        light.attenuationLinear = 0.5f;
        light.attenuationQuadratic = 0.25f;
        light.color = 0xFF8000;
        light.mode = 131;
        light.intensity = 2;
        light.spotAngle = 30;
        light.spotExponent = 8;
        M3gAppearanceFields appearance{withId(3), -63, 2, 3, 4, 5, {6, 7, 6}};
        M3gMaterialFields materialFields{withId(13), 0x102030, 0x80405060, 0x010203, 0xA0B0C0, 64, true};
        M3gPolygonModeFields polygonFields{withId(8), 161, 164, 169, true, true, false};
        M3gCompositingModeFields compositingFields{withId(6), false, true, true, false, 64, 128, 0.5f, -2};
        M3gFogFields fogFields{withId(7), 0x112233, 81, 1, 10, 20};
        M3gBackgroundFields background{withId(4), 0x40102030, 2, 33, 32, {-5, 7, 64, 12}, false, true};

        return {
            {"perspective camera", &CkwCamera::create,
             join({nodeData(5), {50}, kF60, kF1_5, kF1, kF100}), m3gCameraRecord(perspective), {},
             [](CkwObject3D& o) {
                 auto& c = dynamic_cast<CkwCamera&>(o);
                 EXPECT_EQ(c.getUserID(), 5);
                 float p[4] = {};
                 EXPECT_EQ(c.getProjectionParams(4, p), CkwCamera::kPerspective);
                 EXPECT_EQ((std::vector<float>(p, p + 4)), (std::vector<float>{60, 1.5f, 1, 100}));
             }},
            {"generic camera", &CkwCamera::create,
             join({nodeData(6), {48}, kF2, kF0, kF0, kF3, kF0, kF1, kF0, kF0, kF0, kF0, kF1, kF0, kF0, kF0, kF0, kF1}),
             m3gCameraRecord(generic), {},
             [](CkwObject3D& o) {
                 auto& c = dynamic_cast<CkwCamera&>(o);
                 EXPECT_EQ(c.getProjectionKind(), CkwCamera::kGeneric);
                 EXPECT_EQ(c.getProjectionMatrix().element(0, 0), 2.0f);
                 EXPECT_EQ(c.getProjectionMatrix().element(0, 3), 3.0f);
                 EXPECT_EQ(c.getProjectionMatrix().element(3, 3), 1.0f);
             }},
            {"spot light", &CkwLight::create,
             join({nodeData(12), kF1, kF0_5, kF0_25, {0xFF, 0x80, 0x00, 131}, kF2, kF30, kF8}), m3gLightRecord(light), {},
             [](CkwObject3D& o) {
                 auto& l = dynamic_cast<CkwLight&>(o);
                 EXPECT_EQ(l.getMode(), CkwLight::kSpot);
                 EXPECT_EQ(l.getColor(), 0xFF8000u);
                 EXPECT_EQ(l.getIntensity(), 2.0f);
                 EXPECT_EQ(l.getSpotAngle(), 30.0f);
                 EXPECT_EQ(l.getSpotExponent(), 8.0f);
                 EXPECT_EQ(l.getConstantAttenuation(), 1.0f);
                 EXPECT_EQ(l.getLinearAttenuation(), 0.5f);
                 EXPECT_EQ(l.getQuadraticAttenuation(), 0.25f);
             }},
            {"appearance with three textures", &CkwAppearance::create,
             join({objectData(3), {0xC1, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0},
                   {3, 0, 0, 0, 6, 0, 0, 0, 7, 0, 0, 0, 6, 0, 0, 0}}),
             m3gAppearanceRecord(appearance),
             {compositing, fog, polygon, material, texture0, texture1},
             [=](CkwObject3D& o) {
                 auto& a = dynamic_cast<CkwAppearance&>(o);
                 EXPECT_EQ(a.getLayer(), -63);
                 EXPECT_EQ(a.getCompositingMode(), compositing);
                 EXPECT_EQ(a.getFog(), fog);
                 EXPECT_EQ(a.getPolygonMode(), polygon);
                 EXPECT_EQ(a.getMaterial(), material);
                 EXPECT_EQ(a.getTexture(0), texture0);
                 EXPECT_EQ(a.getTexture(1), texture1);
             }},
            {"material", &CkwMaterial::create,
             join({objectData(13), {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x80, 0x01, 0x02, 0x03, 0xA0, 0xB0, 0xC0}, kF64,
                   {1}}),
             m3gMaterialRecord(materialFields), {},
             [](CkwObject3D& o) {
                 auto& m = dynamic_cast<CkwMaterial&>(o);
                 EXPECT_EQ(m.getColor(CkwMaterial::kAmbient), 0x102030u);
                 EXPECT_EQ(m.getColor(CkwMaterial::kDiffuse), 0x80405060u);
                 EXPECT_EQ(m.getColor(CkwMaterial::kEmissive), 0x010203u);
                 EXPECT_EQ(m.getColor(CkwMaterial::kSpecular), 0xA0B0C0u);
                 EXPECT_EQ(m.getShininess(), 64.0f);
                 EXPECT_TRUE(m.isVertexColorTrackingEnabled());
             }},
            {"polygon mode", &CkwPolygonMode::create, join({objectData(8), {161, 164, 169, 1, 1, 0}}),
             m3gPolygonModeRecord(polygonFields), {},
             [](CkwObject3D& o) {
                 auto& p = dynamic_cast<CkwPolygonMode&>(o);
                 EXPECT_EQ(p.getModeBits(), 2u | 16u | 32u | 256u | 512u);
                 EXPECT_EQ(p.getCulling(), CkwPolygonMode::kCullFront);
                 EXPECT_EQ(p.getShading(), CkwPolygonMode::kShadeFlat);
                 EXPECT_EQ(p.getWinding(), CkwPolygonMode::kWindingCw);
             }},
            {"compositing mode", &CkwCompositingMode::create, join({objectData(6), {0, 1, 1, 0, 64, 128}, kF0_5, kFMinus2}),
             m3gCompositingModeRecord(compositingFields), {},
             [](CkwObject3D& o) {
                 auto& c = dynamic_cast<CkwCompositingMode&>(o);
                 EXPECT_FALSE(c.isDepthTestEnabled());
                 EXPECT_TRUE(c.isDepthWriteEnabled());
                 EXPECT_TRUE(c.isColorWriteEnabled());
                 EXPECT_FALSE(c.isAlphaWriteEnabled());
                 EXPECT_EQ(c.getBlending(), CkwCompositingMode::kAlpha);
                 EXPECT_EQ(c.getAlphaThreshold(), 0.501960814f);
                 EXPECT_EQ(c.getDepthOffsetFactor(), 0.5f);
                 EXPECT_EQ(c.getDepthOffsetUnits(), -2.0f);
             }},
            {"linear fog", &CkwFog::create, join({objectData(7), {0x11, 0x22, 0x33, 81}, kF10, kF20}),
             m3gFogRecord(fogFields), {},
             [](CkwObject3D& o) {
                 auto& f = dynamic_cast<CkwFog&>(o);
                 EXPECT_EQ(f.getColor(), 0x112233u);
                 EXPECT_EQ(f.getMode(), CkwFog::kLinear);
                 EXPECT_EQ(f.getNearDistance(), 10.0f);
                 EXPECT_EQ(f.getFarDistance(), 20.0f);
                 EXPECT_EQ(f.getDensity(), 1.0f);
             }},
            {"background over a stageset", &CkwBackground::create,
             join({objectData(4), {0x10, 0x20, 0x30, 0x40, 2, 0, 0, 0, 33, 32}, {0xFB, 0xFF, 0xFF, 0xFF, 7, 0, 0, 0},
                   {64, 0, 0, 0, 12, 0, 0, 0, 0, 1}}),
             m3gBackgroundRecord(background), {stageset},
             [=](CkwObject3D& o) {
                 auto& b = dynamic_cast<CkwBackground&>(o);
                 EXPECT_EQ(b.getColor(), 0x40102030u);
                 EXPECT_EQ(b.getImage(), stageset);
                 EXPECT_EQ(b.getImageModeX(), CkwBackground::kRepeat);
                 EXPECT_EQ(b.getImageModeY(), CkwBackground::kBorder);
                 EXPECT_EQ((std::vector<float>{b.getCropX(), b.getCropY(), b.getCropWidth(), b.getCropHeight()}),
                           (std::vector<float>{-5, 7, 64, 12}));
                 EXPECT_FALSE(b.isDepthClearEnabled());
                 EXPECT_TRUE(b.isColorClearEnabled());
             }},
        };
    }

    // Reads data into a fresh object of the case's class; the leave code.
    int32_t read(const Case& c, const Bytes& data, const std::function<void(CkwObject3D&)>& check = nullptr)
    {
        CkwObject3D* object = hold(dynamic_cast<CkwObject3D*>(c.make()));
        const int32_t code = readRecord(*object, data, c.loaded);
        if (code == KErrNone && check)
            check(*object);
        return code;
    }
};

TEST_F(StateRecordsTest, HandAssembledRecordsAreWhatTheWriterWritesAndReadBack)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.written.data, c.bytes);
        EXPECT_EQ(read(c, c.bytes, c.check), KErrNone);
    }
}

TEST_F(StateRecordsTest, EveryCutAndFlippedByteFailsWithALeaveCode)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        for (size_t n = 0; n < c.bytes.size(); ++n)
            ASSERT_EQ(read(c, Bytes(c.bytes.begin(), c.bytes.begin() + static_cast<ptrdiff_t>(n))), KErrReadPastEnd) << n;
        for (size_t i = 0; i < c.bytes.size(); ++i) {
            for (uint8_t flip : {0x01, 0x80, 0xFF}) {
                Bytes flipped = c.bytes;
                flipped[i] ^= flip;
                const int32_t code = read(c, flipped);
                EXPECT_TRUE(code == KErrNone || code == kRecordNotConsumed || code == KErrIndexOutOfRange
                            || code == KErrReadPastEnd || code == KErrCorruptData || code == KErrIllegalArgument)
                    << i << " ^ " << int(flip) << ": " << code;
            }
        }
    }
}

template <class Fields, M3gRecord (*Encode)(const Fields&)>
M3gRecord edited(void (*edit)(Fields&))
{
    Fields f;
    edit(f);
    return Encode(f);
}

TEST_F(StateRecordsTest, ValuesTheLayoutsRefuse)
{
    // A record of default fields changed by edit; cameras start as perspective.
    const auto camera = [](auto edit) {
        M3gCameraFields f;
        f.projection = 50;
        edit(f);
        return m3gCameraRecord(f);
    };
    const auto light = edited<M3gLightFields, &m3gLightRecord>;
    const auto appearance = edited<M3gAppearanceFields, &m3gAppearanceRecord>;
    const auto fog = edited<M3gFogFields, &m3gFogRecord>;
    const auto background = edited<M3gBackgroundFields, &m3gBackgroundRecord>;
    auto* texture = hold(new CkwTexture2D);
    CkwObject3D* group = node(kClassGroup);
    const struct {
        const char* what;
        M3gRecord record;
        std::vector<CkwObject3D*> loaded;
        int32_t code;
    } cases[] = {
        {"projection 51", camera([](auto& f) { f.projection = 51; }), {}, KErrIndexOutOfRange},
        {"projection 47", camera([](auto& f) { f.projection = 47; }), {}, KErrIndexOutOfRange},
        {"field of view 180", camera([](auto& f) { f.fovyOrHeight = 180; }), {}, KErrCorruptData},
        {"field of view 179.9", camera([](auto& f) { f.fovyOrHeight = 179.9f; }), {}, KErrNone},
        {"parallel height 0", camera([](auto& f) { f.projection = 49, f.fovyOrHeight = 0; }), {}, KErrCorruptData},
        {"parallel height 500", camera([](auto& f) { f.projection = 49, f.fovyOrHeight = 500; }), {}, KErrNone},
        {"aspect ratio 0", camera([](auto& f) { f.aspectRatio = 0; }), {}, KErrCorruptData},
        {"near equals far", camera([](auto& f) { f.near = f.far = 5; }), {}, KErrCorruptData},
        {"perspective near 0", camera([](auto& f) { f.near = 0; }), {}, KErrCorruptData},
        {"parallel behind the eye", camera([](auto& f) { f.projection = 49, f.near = -3, f.far = -1; }), {}, KErrNone},
        {"no attenuation", light([](auto& f) { f.attenuationConstant = 0; }), {}, KErrCorruptData},
        {"negative attenuation", light([](auto& f) { f.attenuationLinear = -1; }), {}, KErrCorruptData},
        {"only quadratic attenuation", light([](auto& f) { f.attenuationConstant = 0, f.attenuationQuadratic = 1; }), {}, KErrNone},
        {"light mode 132", light([](auto& f) { f.mode = 132; }), {}, KErrIndexOutOfRange},
        {"spot angle 91", light([](auto& f) { f.spotAngle = 91; }), {}, KErrCorruptData},
        {"spot exponent 128", light([](auto& f) { f.spotExponent = 128; }), {}, KErrNone},
        {"spot exponent 129", light([](auto& f) { f.spotExponent = 129; }), {}, KErrCorruptData},
        {"negative intensity", light([](auto& f) { f.intensity = -3; }), {}, KErrNone},
        {"layer 64", appearance([](auto& f) { f.layer = 64; }), {}, KErrCorruptData},
        {"layer -64", appearance([](auto& f) { f.layer = -64; }), {}, KErrCorruptData},
        {"layer 63", appearance([](auto& f) { f.layer = 63; }), {}, KErrNone},
        {"a group as material", appearance([](auto& f) { f.material = 2; }), {group}, KErrCorruptData},
        {"a null texture", appearance([](auto& f) { f.textures = {2, 0}; }), {texture}, KErrCorruptData},
        {"one texture", appearance([](auto& f) { f.textures = {2}; }), {texture}, KErrNone},
        {"fog mode 82", fog([](auto& f) { f.mode = 82; }), {}, KErrIndexOutOfRange},
        {"fog 10 to 10.00001", fog([](auto& f) { f.near = 10, f.far = 10.00001f; }), {}, KErrCorruptData},
        {"fog 10 to 10.0001", fog([](auto& f) { f.near = 10, f.far = 10.0001f; }), {}, KErrNone},
        {"exponential fog", fog([](auto& f) { f.mode = 80, f.density = -1; }), {}, KErrNone},
        {"a texture as background image", background([](auto& f) { f.image = 2; }), {texture}, KErrCorruptData},
        {"image mode 34", background([](auto& f) { f.imageModeY = 34; }), {}, KErrIndexOutOfRange},
        {"negative crop width", background([](auto& f) { f.crop[2] = -1; }), {}, KErrCorruptData},
        {"negative crop x", background([](auto& f) { f.crop[0] = -1; }), {}, KErrNone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        IkwSerializable* object = nullptr;
        ASSERT_EQ(trap([&] { object = engineContextL().factory->create(c.record.type); }), KErrNone);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(readRecord(*hold(dynamic_cast<CkwObject3D*>(object)), c.record.data, c.loaded), c.code);
    }
    // Booleans other than 0 and 1, blending past REPLACE, the largest threshold.
    M3gCompositingModeFields compositing;
    M3gRecord record = m3gCompositingModeRecord(compositing);
    record.data[13] = 2;
    EXPECT_EQ(readRecord(*hold(new CkwCompositingMode), record.data), KErrIndexOutOfRange);
    record = m3gCompositingModeRecord(compositing);
    record.data[16] = 69;
    EXPECT_EQ(readRecord(*hold(new CkwCompositingMode), record.data), KErrIndexOutOfRange);
    record = m3gCompositingModeRecord(compositing);
    record.data[17] = 255;
    CkwCompositingMode* opaque = hold(new CkwCompositingMode);
    EXPECT_EQ(readRecord(*opaque, record.data), KErrNone);
    EXPECT_EQ(opaque->getAlphaThreshold(), 1.0f);
    M3gRecord clears = m3gBackgroundRecord({});
    clears.data.back() = 2;
    EXPECT_EQ(readRecord(*hold(new CkwBackground), clears.data), KErrIndexOutOfRange);
    M3gPolygonModeFields polygon;
    polygon.culling = 163;
    EXPECT_EQ(readRecord(*hold(new CkwPolygonMode), m3gPolygonModeRecord(polygon).data), KErrIndexOutOfRange);
    M3gMaterialFields material;
    material.shininess = 128.5f;
    EXPECT_EQ(readRecord(*hold(new CkwMaterial), m3gMaterialRecord(material).data), KErrCorruptData);
}

TEST_F(StateRecordsTest, WriterMadeSceneLoadsEveryStateClassFromOneFile)
{
    M3gFileWriter writer;
    writer.beginSection(kM3gSchemeZlib);
    M3gMaterialFields material;
    material.diffuseColor = 0x7F112233;
    const uint32_t m = writer.addObject(m3gMaterialRecord(material));
    M3gFogFields exponential;
    exponential.mode = 80;
    exponential.density = 0.25f;
    const uint32_t f = writer.addObject(m3gFogRecord(exponential));
    const uint32_t c = writer.addObject(m3gCompositingModeRecord({}));
    const uint32_t p = writer.addObject(m3gPolygonModeRecord({}));
    M3gAppearanceFields appearance{withId(77), 9, c, f, p, m, {}};
    writer.addObject(m3gAppearanceRecord(appearance));
    M3gCameraFields parallel;
    parallel.projection = 49;
    parallel.fovyOrHeight = 2;
    parallel.near = 1;
    parallel.far = 3;
    const uint32_t camera = writer.addObject(m3gCameraRecord(parallel));
    M3gLightFields ambient;
    ambient.mode = 128;
    const uint32_t light = writer.addObject(m3gLightRecord(ambient));
    M3gBackgroundFields background;
    background.color = 0xFF0000FF;
    const uint32_t b = writer.addObject(m3gBackgroundRecord(background));
    M3gWorldFields world;
    world.group.children = {camera, light};
    world.activeCamera = camera;
    world.background = b;
    writer.addObject(m3gWorldRecord(world));

    CkwSerializeObjectsIn parser;
    ASSERT_EQ(loadFile(parser, writer.finish()), -1);
    ASSERT_EQ(parser.roots().count(), 2);
    auto* a = dynamic_cast<CkwAppearance*>(parser.objectAt(parser.roots()[0]));
    auto* w = dynamic_cast<CkwWorld*>(parser.objectAt(parser.roots()[1]));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(a->getLayer(), 9);
    EXPECT_EQ(a->getMaterial()->getColor(CkwMaterial::kDiffuse), 0x7F112233u);
    EXPECT_EQ(a->getFog()->getMode(), CkwFog::kExponential);
    EXPECT_EQ(a->getFog()->getDensity(), 0.25f);
    EXPECT_EQ(a->getCompositingMode()->getBlending(), CkwCompositingMode::kReplace);
    EXPECT_EQ(a->getPolygonMode()->getModeBits(), CkwPolygonMode::kDefaultBits);
    auto* cam = dynamic_cast<CkwCamera*>(w->getActiveCamera());
    ASSERT_NE(cam, nullptr);
    EXPECT_EQ(cam, w->getChild(0));
    EXPECT_EQ(cam->getProjectionMatrix().element(2, 3), -2.0f);
    EXPECT_EQ(dynamic_cast<CkwLight*>(w->getChild(1))->getMode(), CkwLight::kAmbient);
    EXPECT_EQ(dynamic_cast<CkwBackground*>(w->getBackground())->getColor(), 0xFF0000FFu);
    const CkwArray<CkwNode*>* lights = nullptr;
    ASSERT_EQ(trap([&] { lights = &w->getLights(); }), KErrNone);
    ASSERT_EQ(lights->count(), 1);
}

} // namespace
