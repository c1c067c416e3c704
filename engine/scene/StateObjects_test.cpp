// Cameras, lights and the rendering-state objects as the engine uses them:
// defaults, setters that refuse and keep, the projection matrices against a
// reference computed here, animated properties with their clamping, and
// duplicates that read back equal.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/core/math/CkwTransform.h"
#include "engine/core/scene/SceneIds.h"
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

namespace {

class StateObjectsTest : public ::testing::Test, public SceneTest {
protected:
    template <class T>
    T* duplicateOf(const T* object)
    {
        CkwObject3D* copy = nullptr;
        EXPECT_EQ(trap([&] { copy = object->duplicate(); }), KErrNone);
        return hold(dynamic_cast<T*>(copy));
    }
    static void apply(CkwObject3D* o, int32_t property, std::vector<float> values)
    {
        values.resize(4);
        o->applyAnimatedProperty(property, 4, values.data());
    }
};

std::vector<float> elements(const CkwMatrix& m) { return std::vector<float>(m.m, m.m + 16); }

TEST_F(StateObjectsTest, CameraProjectionsMatchTheirFormulas)
{
    auto* camera = hold(new CkwCamera);
    float params[4] = {7, 7, 7, 7};
    EXPECT_EQ(camera->getProjectionParams(4, params), CkwCamera::kGeneric);
    EXPECT_EQ(params[0], 7.0f);
    EXPECT_EQ(camera->getProjectionMatrix().getClass(), kMatrixIdentity);
    EXPECT_EQ(trap([&] { camera->getProjectionParams(3, params); }), KErrIllegalArgument);

    camera->setPerspective(60.0f, 1.333f, 1.0f, 100.0f);
    const float t = 1.0f / static_cast<float>(std::tan(static_cast<double>(60.0f * 0.017453292f * 0.5f)));
    const float n = 1.0f;
    const float f = 100.0f;
    std::vector<float> perspective(16, 0.0f);
    perspective[0] = t / 1.333f;
    perspective[5] = t;
    perspective[10] = -(n + f) / (f - n);
    perspective[11] = -1.0f; // row 3, column 2
    perspective[14] = n * f * -2.0f / (f - n);
    EXPECT_EQ(elements(camera->getProjectionMatrix()), perspective);
    EXPECT_EQ(camera->getProjectionMatrix().getClass(), kMatrixGeneral);
    EXPECT_EQ(camera->getProjectionParams(4, params), CkwCamera::kPerspective);
    EXPECT_EQ((std::vector<float>(params, params + 4)), (std::vector<float>{60.0f, 1.333f, 1.0f, 100.0f}));

    camera->setParallel(2.0f, 1.0f, 1.0f, 3.0f);
    CkwTransform* out = hold(new CkwTransform);
    int32_t kind = 0;
    ASSERT_EQ(trap([&] { kind = camera->getProjection(out); }), KErrNone);
    EXPECT_EQ(kind, CkwCamera::kParallel);
    const std::vector<float> parallel = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, -2, 1};
    EXPECT_EQ(elements(out->matrix()), parallel);
    EXPECT_EQ(out->matrix().getClass(), kMatrixAffine);

    // The depth test runs for every kind, a generic camera included.
    camera->setParallel(2.0f, 1.0f, 5.0f, 5.00001f);
    EXPECT_EQ(trap([&] { camera->getProjection(nullptr); }), KErrArithmetic);
    CkwTransform* scale = hold(new CkwTransform);
    ASSERT_EQ(trap([&] { scale->postScale(2, 3, 4); camera->setGeneric(*scale); }), KErrNone);
    EXPECT_EQ(trap([&] { camera->getCheckedProjectionMatrix(); }), KErrArithmetic);
    EXPECT_EQ(camera->getProjectionMatrix().element(2, 2), 4.0f);
    CkwTransform* singular = hold(new CkwTransform);
    ASSERT_EQ(trap([&] { singular->postScale(1, 0, 1); }), KErrNone);
    EXPECT_EQ(trap([&] { camera->setGeneric(*singular); }), KErrIllegalArgument);
    EXPECT_EQ(camera->getProjectionMatrix().element(2, 2), 4.0f);
}

TEST_F(StateObjectsTest, CameraAnimationClampsAndRebuildsTheMatrix)
{
    constexpr float kTiny = std::numeric_limits<float>::min();
    const struct {
        int32_t kind;
        int32_t property;
        float value;
        float (CkwCamera::*get)() const;
        float stored;
    } cases[] = {
        {CkwCamera::kPerspective, kPropertyFieldOfView, 200.0f, &CkwCamera::getFovy, 179.99998f},
        {CkwCamera::kPerspective, kPropertyFieldOfView, -5.0f, &CkwCamera::getFovy, 1.5e-5f},
        {CkwCamera::kPerspective, kPropertyFieldOfView, 90.0f, &CkwCamera::getFovy, 90.0f},
        {CkwCamera::kParallel, kPropertyFieldOfView, 200.0f, &CkwCamera::getHeight, 200.0f},
        {CkwCamera::kParallel, kPropertyFieldOfView, 0.0f, &CkwCamera::getHeight, 1.5e-5f},
        {CkwCamera::kPerspective, kPropertyNear, 0.0f, &CkwCamera::getNear, kTiny},
        {CkwCamera::kParallel, kPropertyNear, 0.0f, &CkwCamera::getNear, 0.0f},
        {CkwCamera::kPerspective, kPropertyFar, -4.0f, &CkwCamera::getFar, kTiny},
        {CkwCamera::kParallel, kPropertyFar, -4.0f, &CkwCamera::getFar, -4.0f},
    };
    for (const auto& c : cases) {
        auto* camera = hold(new CkwCamera);
        if (c.kind == CkwCamera::kPerspective)
            camera->setPerspective(60, 1, 1, 10);
        else
            camera->setParallel(2, 1, 1, 10);
        const CkwMatrix before = camera->getProjectionMatrix();
        EXPECT_TRUE(camera->isAnimatable(c.property));
        apply(camera, c.property, {c.value});
        EXPECT_EQ((camera->*c.get)(), c.stored) << c.property << " " << c.value;
        EXPECT_FALSE(camera->getProjectionMatrix().equals(before)) << c.property << " " << c.value;
    }
    auto* camera = hold(new CkwCamera);
    EXPECT_FALSE(camera->isAnimatable(kPropertyIntensity));
    EXPECT_TRUE(camera->isAnimatable(kPropertyTranslation));
}

TEST_F(StateObjectsTest, CameraAndLightDuplicatesReadBackEqual)
{
    auto* camera = hold(new CkwCamera);
    camera->setPerspective(45, 2, 0.5f, 50);
    camera->setUserID(9);
    auto* light = hold(new CkwLight);
    light->setMode(CkwLight::kSpot);
    light->setColor(0xFF123456);
    light->setIntensity(-2);
    light->setSpotAngle(10);
    light->setSpotExponent(3);
    ASSERT_EQ(trap([&] { light->setAttenuation(0, 0, 1); }), KErrNone);
    EXPECT_EQ(light->getColor(), 0x123456u);
    EXPECT_EQ(trap([&] { light->setAttenuation(0, 0, 0); }), KErrIllegalArgument);
    EXPECT_EQ(light->getQuadraticAttenuation(), 1.0f);

    CkwCamera* cameraCopy = duplicateOf(camera);
    EXPECT_EQ(cameraCopy->getUserID(), 9);
    EXPECT_TRUE(cameraCopy->getProjectionMatrix().equals(camera->getProjectionMatrix()));
    float params[4];
    EXPECT_EQ(cameraCopy->getProjectionParams(4, params), CkwCamera::kPerspective);
    EXPECT_EQ((std::vector<float>(params, params + 4)), (std::vector<float>{45, 2, 0.5f, 50}));

    CkwLight* lightCopy = duplicateOf(light);
    EXPECT_EQ(lightCopy->getMode(), CkwLight::kSpot);
    EXPECT_EQ(lightCopy->getColor(), 0x123456u);
    EXPECT_EQ(lightCopy->getIntensity(), -2.0f);
    EXPECT_EQ(lightCopy->getSpotAngle(), 10.0f);
    EXPECT_EQ(lightCopy->getSpotExponent(), 3.0f);
    EXPECT_EQ(lightCopy->getConstantAttenuation(), 0.0f);
    EXPECT_EQ(lightCopy->getLinearAttenuation(), 0.0f);
    EXPECT_EQ(lightCopy->getQuadraticAttenuation(), 1.0f);
}

TEST_F(StateObjectsTest, LightDefaultsAndAnimation)
{
    auto* light = hold(new CkwLight);
    EXPECT_EQ(light->getMode(), CkwLight::kDirectional);
    EXPECT_EQ(light->getColor(), 0xFFFFFFu);
    EXPECT_EQ(light->getIntensity(), 1.0f);
    EXPECT_EQ(light->getSpotAngle(), 45.0f);
    EXPECT_EQ(light->getSpotExponent(), 0.0f);
    EXPECT_EQ(light->getConstantAttenuation(), 1.0f);
    apply(light, kPropertyColor, {2.0f, 0.5f, -1.0f});
    EXPECT_EQ(light->getColor(), 0xFF8000u);
    apply(light, kPropertyIntensity, {-7.5f});
    EXPECT_EQ(light->getIntensity(), -7.5f);
    apply(light, kPropertySpotAngle, {120.0f});
    EXPECT_EQ(light->getSpotAngle(), 90.0f);
    apply(light, kPropertySpotAngle, {-3.0f});
    EXPECT_EQ(light->getSpotAngle(), 0.0f);
    apply(light, kPropertySpotExponent, {200.0f});
    EXPECT_EQ(light->getSpotExponent(), 128.0f);
    apply(light, kPropertySpotAngle, {NAN}); // tracks summing to +inf and -inf
    apply(light, kPropertySpotExponent, {NAN});
    EXPECT_EQ(light->getSpotAngle() + light->getSpotExponent(), 0.0f);
    for (int32_t p : {kPropertyColor, kPropertyIntensity, kPropertySpotAngle, kPropertySpotExponent, kPropertyAlpha})
        EXPECT_TRUE(light->isAnimatable(p)) << p;
    EXPECT_FALSE(light->isAnimatable(kPropertyDensity));
}

TEST_F(StateObjectsTest, MaterialTargetsAndAnimation)
{
    auto* material = hold(new CkwMaterial);
    const uint32_t defaults[] = {material->getColor(CkwMaterial::kAmbient), material->getColor(CkwMaterial::kDiffuse),
                                 material->getColor(CkwMaterial::kEmissive), material->getColor(CkwMaterial::kSpecular)};
    EXPECT_EQ((std::vector<uint32_t>(defaults, defaults + 4)), (std::vector<uint32_t>{0x333333, 0xFFCCCCCC, 0, 0}));
    EXPECT_EQ(material->getShininess(), 0.0f);
    ASSERT_EQ(trap([&] { material->setColor(CkwMaterial::kAmbient | CkwMaterial::kDiffuse, 0x80112233); }), KErrNone);
    EXPECT_EQ(material->getColor(CkwMaterial::kAmbient), 0x112233u);
    EXPECT_EQ(material->getColor(CkwMaterial::kDiffuse), 0x80112233u);
    EXPECT_EQ(material->getColor(CkwMaterial::kAmbient | CkwMaterial::kDiffuse), 0u);
    for (int32_t targets : {0, 0x4000, CkwMaterial::kSpecular | 1})
        EXPECT_EQ(trap([&] { material->setColor(targets, 0xFFFFFFFF); }), KErrIllegalArgument) << targets;
    EXPECT_EQ(material->getColor(CkwMaterial::kSpecular), 0u);

    apply(material, kPropertyAlpha, {0.5f});
    EXPECT_EQ(material->getColor(CkwMaterial::kDiffuse), 0x80112233u);
    apply(material, kPropertyAlpha, {0.0f});
    apply(material, kPropertyDiffuseColor, {1.0f, 0.0f, 0.25f});
    EXPECT_EQ(material->getColor(CkwMaterial::kDiffuse), 0x00FF0040u);
    apply(material, kPropertySpecularColor, {0.5f, 0.5f, 0.5f});
    EXPECT_EQ(material->getColor(CkwMaterial::kSpecular), 0x808080u);
    apply(material, kPropertyShininess, {NAN});
    EXPECT_EQ(material->getShininess(), 0.0f);
    apply(material, kPropertyShininess, {500.0f});
    EXPECT_EQ(material->getShininess(), 128.0f);
    material->setVertexColorTrackingEnable(true);
    CkwMaterial* copy = duplicateOf(material);
    EXPECT_EQ(copy->getColor(CkwMaterial::kDiffuse), 0x00FF0040u);
    EXPECT_EQ(copy->getColor(CkwMaterial::kAmbient), 0x112233u);
    EXPECT_EQ(copy->getColor(CkwMaterial::kSpecular), 0x808080u);
    EXPECT_EQ(copy->getShininess(), 128.0f);
    EXPECT_TRUE(copy->isVertexColorTrackingEnabled());
}

TEST_F(StateObjectsTest, AppearanceSharesItsComponentsAndAnimatesThem)
{
    auto* appearance = hold(new CkwAppearance);
    auto* material = hold(new CkwMaterial);
    auto* fog = hold(new CkwFog);
    auto* polygon = hold(new CkwPolygonMode);
    auto* compositing = hold(new CkwCompositingMode);
    auto* texture = hold(new CkwTexture2D);
    CkwObject3D* notTexture = node(kClassGroup);
    EXPECT_EQ(trap([&] { appearance->setTexture(2, texture); }), KErrIndexOutOfRange);
    EXPECT_EQ(trap([&] { appearance->setTexture(-1, texture); }), KErrIndexOutOfRange);
    EXPECT_EQ(trap([&] { appearance->getTexture(2); }), KErrIndexOutOfRange);
    ASSERT_EQ(trap([&] { appearance->setTexture(1, texture); }), KErrNone);
    EXPECT_EQ(trap([&] { appearance->setTexture(1, notTexture); }), KErrIllegalArgument);
    EXPECT_EQ(appearance->getTexture(1), texture);
    appearance->setLayer(-5);
    appearance->setMaterial(material);
    appearance->setFog(fog);
    appearance->setPolygonMode(polygon);
    appearance->setCompositingMode(compositing);
    appearance->setMaterial(material); // the same again must not lose it
    EXPECT_EQ(material->refCount(), 2);

    CkwObject3D* references[8] = {};
    EXPECT_EQ(appearance->getReferences(8, references), 5);
    EXPECT_EQ((std::vector<CkwObject3D*>(references, references + 5)),
              (std::vector<CkwObject3D*>{compositing, fog, polygon, material, texture}));

    CkwAppearance* copy = duplicateOf(appearance);
    EXPECT_EQ(copy->getLayer(), -5);
    EXPECT_EQ(copy->getMaterial(), material);
    EXPECT_EQ(copy->getTexture(0), nullptr);
    EXPECT_EQ(copy->getTexture(1), texture);
    ASSERT_EQ(trap([&] { material->setColor(CkwMaterial::kEmissive, 0x010203); }), KErrNone);
    EXPECT_EQ(copy->getMaterial()->getColor(CkwMaterial::kEmissive), 0x010203u);

    // Fog and material follow the appearance's animation; the modes have none.
    ASSERT_EQ(trap([&] {
        material->addAnimationTrack(hold(new ConstantTrack(kPropertyShininess, 300.0f)));
        fog->addAnimationTrack(hold(new ConstantTrack(kPropertyDensity, -2.0f)));
    }),
              KErrNone);
    EXPECT_EQ(trap([&] { polygon->addAnimationTrack(hold(new ConstantTrack(kPropertyAlpha, 1))); }), KErrIllegalArgument);
    int32_t validity = 0;
    ASSERT_EQ(trap([&] { validity = appearance->animate(0, kNewAnimationPass); }), KErrNone);
    EXPECT_EQ(validity, 40);
    EXPECT_EQ(material->getShininess(), 128.0f);
    EXPECT_EQ(fog->getDensity(), 0.0f);
    appearance->setMaterial(nullptr);
    EXPECT_EQ(material->refCount(), 2); // the test's hold and the copy's
}

TEST_F(StateObjectsTest, PolygonModeGroupsKeepOneBitEach)
{
    auto* mode = hold(new CkwPolygonMode);
    EXPECT_EQ(mode->getCulling(), CkwPolygonMode::kCullBack);
    EXPECT_EQ(mode->getWinding(), CkwPolygonMode::kWindingCcw);
    EXPECT_EQ(mode->getShading(), CkwPolygonMode::kShadeSmooth);
    EXPECT_FALSE(mode->isTwoSidedLightingEnabled());
    EXPECT_FALSE(mode->isLocalCameraLightingEnabled());
    EXPECT_FALSE(mode->isPerspectiveCorrectionEnabled());
    mode->setCulling(CkwPolygonMode::kCullNone);
    mode->setCulling(CkwPolygonMode::kCullFront);
    EXPECT_EQ(mode->getModeBits() & 7u, 2u);
    mode->setWinding(CkwPolygonMode::kWindingCw);
    mode->setShading(CkwPolygonMode::kShadeFlat);
    mode->setTwoSidedLightingEnable(true);
    mode->setLocalCameraLightingEnable(true);
    mode->setPerspectiveCorrectionEnable(true);
    mode->setPerspectiveCorrectionEnable(false);
    EXPECT_EQ(mode->getModeBits(), 2u | 16u | 32u | 256u | 512u);
    EXPECT_EQ(duplicateOf(mode)->getModeBits(), 2u | 16u | 32u | 256u | 512u);
    mode->setTwoSidedLightingEnable(false);
    EXPECT_EQ(mode->getModeBits(), 2u | 16u | 32u | 128u | 512u);

    auto* compositing = hold(new CkwCompositingMode);
    EXPECT_EQ(compositing->getBlending(), CkwCompositingMode::kReplace);
    EXPECT_TRUE(compositing->isColorWriteEnabled() && compositing->isAlphaWriteEnabled()
                && compositing->isDepthTestEnabled() && compositing->isDepthWriteEnabled());
    compositing->setBlending(CkwCompositingMode::kModulateX2);
    compositing->setAlphaThreshold(0.25f);
    compositing->setDepthOffset(-1.0f, 3.0f);
    compositing->setAlphaWriteEnable(false);
    compositing->setDepthTestEnable(false);
    CkwCompositingMode* copy = duplicateOf(compositing);
    EXPECT_EQ(copy->getBlending(), CkwCompositingMode::kModulateX2);
    EXPECT_EQ(copy->getAlphaThreshold(), 0.25f);
    EXPECT_EQ(copy->getDepthOffsetFactor(), -1.0f);
    EXPECT_EQ(copy->getDepthOffsetUnits(), 3.0f);
    EXPECT_TRUE(copy->isColorWriteEnabled());
    EXPECT_FALSE(copy->isAlphaWriteEnabled());
    EXPECT_FALSE(copy->isDepthTestEnabled());
    EXPECT_TRUE(copy->isDepthWriteEnabled());
}

TEST_F(StateObjectsTest, FogAndBackgroundAnimationAndDuplicates)
{
    auto* fog = hold(new CkwFog);
    EXPECT_EQ(fog->getMode(), CkwFog::kLinear);
    EXPECT_EQ(fog->getColor(), 0u);
    EXPECT_EQ(fog->getNearDistance(), 0.0f);
    EXPECT_EQ(fog->getFarDistance(), 1.0f);
    EXPECT_EQ(fog->getDensity(), 1.0f);
    fog->setLinear(5, 5);
    fog->setColor(0xFFABCDEF);
    apply(fog, kPropertyColor, {0.0f, 1.0f, 0.5f});
    apply(fog, kPropertyDensity, {-2.0f});
    apply(fog, kPropertyFar, {-8.0f});
    CkwFog* fogCopy = duplicateOf(fog);
    EXPECT_EQ(fogCopy->getColor(), 0x00FF80u);
    EXPECT_EQ(fogCopy->getDensity(), 0.0f);
    EXPECT_EQ(fogCopy->getNearDistance(), 5.0f);
    EXPECT_EQ(fogCopy->getFarDistance(), -8.0f);

    auto* background = hold(new CkwBackground);
    EXPECT_EQ(background->getColor(), 0u);
    EXPECT_EQ(background->getImage(), nullptr);
    EXPECT_EQ(background->getImageModeX(), CkwBackground::kBorder);
    EXPECT_TRUE(background->isColorClearEnabled() && background->isDepthClearEnabled());
    auto* image = hold(new CkwImage2D);
    ASSERT_EQ(trap([&] { background->setImage(image); }), KErrNone);
    EXPECT_EQ(trap([&] { background->setImage(node(kClassTexture2D)); }), KErrIllegalArgument);
    EXPECT_EQ(background->getImage(), image);
    background->setColor(0x11223344);
    apply(background, kPropertyAlpha, {2.0f});
    EXPECT_EQ(background->getColor(), 0xFF223344u);
    apply(background, kPropertyColor, {0.0f, 0.0f, 1.0f});
    EXPECT_EQ(background->getColor(), 0xFF0000FFu);
    apply(background, kPropertyCrop, {1.5f, -2.0f, -30.0f, 40.0f});
    background->setImageMode(CkwBackground::kRepeat, CkwBackground::kBorder);
    background->setDepthClearEnable(false);
    CkwBackground* copy = duplicateOf(background);
    EXPECT_EQ(copy->getImage(), image);
    EXPECT_EQ(copy->getColor(), 0xFF0000FFu);
    EXPECT_EQ((std::vector<float>{copy->getCropX(), copy->getCropY(), copy->getCropWidth(), copy->getCropHeight()}),
              (std::vector<float>{1.5f, -2.0f, -30.0f, 40.0f}));
    EXPECT_EQ(copy->getImageModeX(), CkwBackground::kRepeat);
    EXPECT_FALSE(copy->isDepthClearEnabled());
    CkwObject3D* references[2] = {};
    EXPECT_EQ(copy->getReferences(2, references), 1);
    EXPECT_EQ(references[0], image);
}

} // namespace
