// The node tables: the node entries every node shares, then the group's
// children and picking, the world's camera and background, the camera's
// projections and the light's colour, cone and attenuation.
#include "engine/scene/interface/SceneNodeTables.h"

#include "engine/core/interface/CommonEntries.h"
#include "engine/core/math/FloatBits.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwLight.h"
#include "engine/scene/CkwRayIntersection.h"
#include "engine/scene/CkwWorld.h"

constexpr IkwGroupTable kGroupTable = {
    kNodeEntries,
    plain<+[](CkwGroup& g, uint32_t* out) { *out = static_cast<uint32_t>(g.getChildCount()); }>,
    handing<+[](CkwGroup& g, uint32_t index) { return g.getChild(static_cast<int32_t>(index)); }>,
    trapped<+[](CkwGroup& g, EngineHandle* child) { g.addChild(argumentOf<CkwNode>(child, kIidNode)); }>,
    trapped<+[](CkwGroup& g, EngineHandle* child) { g.removeChild(argumentOf<CkwNode>(child, kIidNode)); }>,
    trapped<+[](CkwGroup& g, uint32_t scope, const float* origin, const float* direction, EngineHandle* intersection,
                uint8_t* hit) {
        float ray[6];
        checkVector3L(origin, ray);
        checkVector3L(direction, ray + 3);
        CkwRayIntersection* result = argumentOf<CkwRayIntersection>(intersection, kIidRayIntersection);
        uint8_t& out = requireOut(hit);
        out = g.pickRay(static_cast<int32_t>(scope), ray, ray + 3, result) ? 1 : 0;
    }>,
    trapped<+[](CkwGroup& g, uint32_t scope, float x, float y, EngineHandle* camera, EngineHandle* intersection,
                uint8_t* hit) {
        const float px = checkFloat(x);
        const float py = checkFloat(y);
        CkwCamera& c = requireArgument<CkwCamera>(camera, kIidCamera);
        CkwRayIntersection* result = argumentOf<CkwRayIntersection>(intersection, kIidRayIntersection);
        uint8_t& out = requireOut(hit);
        out = g.pickViewport(static_cast<int32_t>(scope), px, py, c, result) ? 1 : 0;
    }>,
};

constexpr IkwWorldTable kWorldTable = {
    kGroupTable,
    handing<+[](CkwWorld& w) { return w.getActiveCamera(); }>,
    trapped<+[](CkwWorld& w, EngineHandle* camera) { w.setActiveCamera(&requireArgument<CkwObject3D>(camera, kIidCamera)); }>,
    handing<+[](CkwWorld& w) { return w.getBackground(); }>,
    // Untrapped: a handle of another kind changes nothing rather than leave.
    plain<+[](CkwWorld& w, EngineHandle* background) {
        if (CkwObject3D* b; optionalArgument(background, kIidBackground, b))
            w.setBackground(b);
    }>,
};

constexpr IkwCameraTable kCameraTable = {
    kNodeEntries,
    trapped<+[](CkwCamera& c, uint32_t size, float* parameters, uint32_t* kind) {
        uint32_t& out = requireOut(kind);
        out = static_cast<uint32_t>(c.getProjectionParams(sizeArgument(size), parameters));
    }>,
    trapped<+[](CkwCamera& c, EngineHandle* transform, uint32_t* kind) {
        uint32_t& out = requireOut(kind);
        out = static_cast<uint32_t>(c.getProjection(argumentOf<CkwTransform>(transform, kIidTransform)));
    }>,
    trapped<+[](CkwCamera& c, EngineHandle* transform) { c.setGeneric(requireArgument<CkwTransform>(transform, kIidTransform)); }>,
    trapped<+[](CkwCamera& c, float height, float aspectRatio, float near, float far) {
        const float h = checkFloat(height);
        const float a = checkFloat(aspectRatio);
        const float n = checkFloat(near);
        const float f = checkFloat(far);
        if (!(h > 0.0f) || !(a > 0.0f))
            leave(KErrIllegalArgument);
        c.setParallel(h, a, n, f);
    }>,
    trapped<+[](CkwCamera& c, float fovy, float aspectRatio, float near, float far) {
        const float v[4] = {checkFloat(fovy), checkFloat(aspectRatio), checkFloat(near), checkFloat(far)};
        if (!(v[0] > 0.0f && v[0] < 180.0f) || !(v[1] > 0.0f) || !(v[2] > 0.0f) || !(v[3] > 0.0f))
            leave(KErrIllegalArgument);
        c.setPerspective(v[0], v[1], v[2], v[3]);
    }>,
};

constexpr IkwLightTable kLightTable = {
    kNodeEntries,
    plain<+[](CkwLight& l, uint32_t* out) { *out = static_cast<uint32_t>(l.getMode()); }>,
    trapped<+[](CkwLight& l, uint32_t mode) {
        l.setMode(static_cast<int32_t>(checkEnumL(mode, CkwLight::kAmbient, CkwLight::kSpot)));
    }>,
    plain<+[](CkwLight& l, uint32_t* out) { *out = l.getColor(); }>,
    plain<+[](CkwLight& l, uint32_t rgb) { l.setColor(rgb); }>,
    plain<+[](CkwLight& l, float* out) { *out = l.getIntensity(); }>,
    trapped<+[](CkwLight& l, float intensity) { l.setIntensity(checkFloat(intensity)); }>,
    plain<+[](CkwLight& l, float* out) { *out = l.getSpotAngle(); }>,
    trapped<+[](CkwLight& l, float degrees) { l.setSpotAngle(checkFloatInL(degrees, 0.0f, 90.0f)); }>,
    plain<+[](CkwLight& l, float* out) { *out = l.getSpotExponent(); }>,
    trapped<+[](CkwLight& l, float exponent) { l.setSpotExponent(checkFloatInL(exponent, 0.0f, 128.0f)); }>,
    plain<+[](CkwLight& l, float* out) { *out = l.getConstantAttenuation(); }>,
    plain<+[](CkwLight& l, float* out) { *out = l.getLinearAttenuation(); }>,
    plain<+[](CkwLight& l, float* out) { *out = l.getQuadraticAttenuation(); }>,
    trapped<+[](CkwLight& l, float constant, float linear, float quadratic) {
        const float c = checkFloat(constant);
        const float li = checkFloat(linear);
        const float q = checkFloat(quadratic);
        if (c < 0.0f || q < 0.0f || li < 0.0f)
            leave(KErrIllegalArgument);
        l.setAttenuation(c, li, q);
    }>,
};
