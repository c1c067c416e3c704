// The Group and World tables: the node entries every node shares, then the
// group's children and picking, then the world's camera and background.
#include "engine/scene/interface/SceneNodeTables.h"

#include "engine/core/interface/CommonEntries.h"
#include "engine/core/math/FloatBits.h"
#include "engine/scene/CkwWorld.h"

namespace {

// Checks a pick's arguments and writes the result. Meshes and sprites are the
// only pickable nodes and the scene library has neither yet, so every ray
// misses.
void pickL(const float* origin, const float* direction, EngineHandle* intersection, uint8_t* hit)
{
    float ray[6];
    checkVector3L(origin, ray);
    checkVector3L(direction, ray + 3);
    argumentOf<CkwObject3D>(intersection, kIidRayIntersection);
    requireOut(hit) = 0;
}

} // namespace

constexpr IkwGroupTable kGroupTable = {
    kNodeEntries,
    plain<+[](CkwGroup& g, uint32_t* out) { *out = static_cast<uint32_t>(g.getChildCount()); }>,
    handing<+[](CkwGroup& g, uint32_t index) { return g.getChild(static_cast<int32_t>(index)); }>,
    trapped<+[](CkwGroup& g, EngineHandle* child) { g.addChild(argumentOf<CkwNode>(child, kIidNode)); }>,
    trapped<+[](CkwGroup& g, EngineHandle* child) { g.removeChild(argumentOf<CkwNode>(child, kIidNode)); }>,
    trapped<+[](CkwGroup&, uint32_t, const float* origin, const float* direction, EngineHandle* intersection,
                uint8_t* hit) { pickL(origin, direction, intersection, hit); }>,
    trapped<+[](CkwGroup&, uint32_t, float x, float y, EngineHandle* camera, EngineHandle* intersection, uint8_t* hit) {
        const float point[3] = {checkFloat(x), checkFloat(y), 0.0f};
        requireArgument<CkwObject3D>(camera, kIidCamera);
        const float direction[3] = {0.0f, 0.0f, -1.0f};
        pickL(point, direction, intersection, hit);
    }>,
};

constexpr IkwWorldTable kWorldTable = {
    kGroupTable,
    handing<+[](CkwWorld& w) { return w.getActiveCamera(); }>,
    trapped<+[](CkwWorld& w, EngineHandle* camera) { w.setActiveCamera(&requireArgument<CkwObject3D>(camera, kIidCamera)); }>,
    handing<+[](CkwWorld& w) { return w.getBackground(); }>,
    // Untrapped: a handle of another kind changes nothing rather than leave.
    plain<+[](CkwWorld& w, EngineHandle* background) {
        if (background == nullptr || background->object == nullptr)
            w.setBackground(nullptr);
        else if (CkwObject3D* b = argumentOrNull<CkwObject3D>(background, kIidBackground))
            w.setBackground(b);
    }>,
};
