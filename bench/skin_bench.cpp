// The price of posing: a lit grid of 33 x 33 vertices drawn as a skinned mesh
// whose every vertex blends two bones, one of them turning each frame, beside
// the same grid drawn as a plain mesh in the same run. The ratio of the two
// is what skinning adds to a frame. A still morphing mesh over the grid shows
// what a frame that blends nothing again costs beside the plain one.
//
// The animation's own scaling cases run at n and 2n: a frame of a skeleton
// that is one chain (still, and with its top bone turning), the first build
// of the influences of n two-vertex bindings over 2n vertices, and a pass of
// n tracks sharing a sequence of 8n keyframes. The time at 2n should be about
// twice that at n; compare medians with --benchmark_repetitions=10
// --benchmark_enable_random_interleaving=true.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/CkwAnimationController.h"
#include "engine/scene/CkwAnimationTrack.h"
#include "engine/scene/CkwAppearance.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/CkwKeyframeSequence.h"
#include "engine/scene/CkwLight.h"
#include "engine/scene/CkwMaterial.h"
#include "engine/scene/CkwMorphingMesh.h"
#include "engine/scene/CkwSkinnedMesh.h"
#include "engine/scene/CkwTriangleStripArray.h"
#include "engine/scene/CkwVertexBuffer.h"
#include "engine/scene/CkwWorld.h"

namespace {

constexpr int32_t kSide = 33;
constexpr int32_t kWidth = 128, kHeight = 96;

template <class T>
T* made(IkwSerializable* (*create)())
{
    return static_cast<T*>(create());
}

enum class Kind { Plain, Skinned, Morphed };

struct Frame {
    std::vector<uint16_t> pixels = std::vector<uint16_t>(kWidth * kHeight);
    CkwWorld* world = nullptr;
    CkwGraphics3D* g = nullptr;
    CkwGroup* bone = nullptr;
    float angle = 0.0f;

    explicit Frame(Kind kind)
    {
        engineInit();
        engineTrap([&] {
            world = made<CkwWorld>(CkwWorld::create);
            world->addRef();
            auto* camera = made<CkwCamera>(CkwCamera::create);
            camera->setPerspective(50.0f, float(kWidth) / kHeight, 1.0f, 50.0f);
            camera->setTranslation(0, 0, 3);
            world->addChild(camera);
            world->setActiveCamera(camera);
            auto* light = made<CkwLight>(CkwLight::create);
            light->setMode(CkwLight::kDirectional);
            world->addChild(light);

            auto* positions = made<CkwVertexArray>(CkwVertexArray::create);
            positions->init(kSide * kSide, 3, 2);
            auto* normals = made<CkwVertexArray>(CkwVertexArray::create);
            normals->init(kSide * kSide, 3, 1);
            for (int32_t y = 0; y < kSide; ++y)
                for (int32_t x = 0; x < kSide; ++x) {
                    const int32_t v = y * kSide + x;
                    positions->setElement(v, 0, (x - kSide / 2) * 1000);
                    positions->setElement(v, 1, (y - kSide / 2) * 1000);
                    positions->setElement(v, 2, 0);
                    normals->setElement(v, 2, 127);
                }
            auto* vertices = made<CkwVertexBuffer>(CkwVertexBuffer::create);
            const float bias[3] = {0, 0, 0};
            vertices->setPositions(positions, 1.0f / 16000.0f, 3, bias);
            vertices->setNormals(normals);
            std::vector<int32_t> indices, lengths;
            for (int32_t y = 0; y + 1 < kSide; ++y) {
                // Each strip runs upwards first, so the grid faces the camera.
                for (int32_t x = 0; x < kSide; ++x) {
                    indices.push_back((y + 1) * kSide + x);
                    indices.push_back(y * kSide + x);
                }
                lengths.push_back(2 * kSide);
            }
            auto* strips = made<CkwTriangleStripArray>(CkwTriangleStripArray::create);
            strips->initExplicit(static_cast<int32_t>(indices.size()), indices.data(),
                                 static_cast<int32_t>(lengths.size()), lengths.data());
            auto* appearance = made<CkwAppearance>(CkwAppearance::create);
            appearance->setMaterial(made<CkwMaterial>(CkwMaterial::create));
            if (kind == Kind::Skinned) {
                auto* skeleton = made<CkwGroup>(CkwGroup::create);
                auto* still = made<CkwGroup>(CkwGroup::create);
                bone = made<CkwGroup>(CkwGroup::create);
                skeleton->addChild(still);
                skeleton->addChild(bone);
                auto* mesh = new CkwSkinnedMesh;
                mesh->initSingle(vertices, strips, appearance, skeleton);
                mesh->addTransform(still, 1, 0, kSide * kSide);
                mesh->addTransform(bone, 2, 0, kSide * kSide);
                world->addChild(mesh);
            } else if (kind == Kind::Morphed) {
                // Half way to a grid lifted at its centre.
                auto* lifted = static_cast<CkwVertexArray*>(positions->duplicate());
                lifted->setElement(kSide * kSide / 2, 2, 8000);
                auto* target = static_cast<CkwVertexBuffer*>(vertices->duplicate());
                target->setPositions(lifted, 1.0f / 16000.0f, 3, bias);
                auto* mesh = made<CkwMorphingMesh>(CkwMorphingMesh::create);
                mesh->initSingle(vertices, 1, &target, strips, appearance);
                const float half = 0.5f;
                mesh->setWeights(1, &half);
                world->addChild(mesh);
            } else {
                auto* mesh = made<CkwMesh>(CkwMesh::create);
                mesh->initSingle(vertices, strips, appearance);
                world->addChild(mesh);
            }
            g = CkwGraphics3D::create();
            g->addRef();
            g->bindTarget(kWidth, kHeight, kWidth * 2, pixels.data());
        });
    }
    ~Frame()
    {
        if (g != nullptr)
            g->release();
        if (world != nullptr)
            world->release();
        engineShutdown();
    }
    void draw()
    {
        // The bone turns a little each frame, so the palette changes.
        angle += 0.01f;
        if (bone != nullptr) {
            const float q[4] = {0, 0, std::sin(angle), std::cos(angle)};
            bone->setOrientation(q);
        }
        engineTrap([&] { g->renderWorld(world); });
        benchmark::DoNotOptimize(pixels.data());
    }
};

void drawFrames(benchmark::State& state, Kind kind)
{
    Frame frame(kind);
    for (auto _ : state)
        frame.draw();
}

void BM_PlainGrid(benchmark::State& state) { drawFrames(state, Kind::Plain); }
void BM_SkinnedGrid(benchmark::State& state) { drawFrames(state, Kind::Skinned); }
void BM_StillMorphedGrid(benchmark::State& state) { drawFrames(state, Kind::Morphed); }

// A skinned mesh over n vertices with n bones, each bound to one vertex:
// chained, or all children of the skeleton.
CkwSkinnedMesh* boundMesh(int32_t n, int32_t perBinding, bool chained, CkwGroup*& top)
{
    auto* positions = made<CkwVertexArray>(CkwVertexArray::create);
    positions->init(n * perBinding, 3, 2);
    auto* vertices = made<CkwVertexBuffer>(CkwVertexBuffer::create);
    const float bias[3] = {0, 0, 0};
    vertices->setPositions(positions, 1.0f, 3, bias);
    auto* strips = made<CkwTriangleStripArray>(CkwTriangleStripArray::create);
    const int32_t lengths[] = {3};
    strips->initImplicit(0, 1, lengths);
    auto* skeleton = made<CkwGroup>(CkwGroup::create);
    auto* mesh = new CkwSkinnedMesh;
    mesh->addRef();
    mesh->initSingle(vertices, strips, nullptr, skeleton);
    CkwGroup* above = skeleton;
    for (int32_t i = 0; i < n; ++i) {
        auto* bone = made<CkwGroup>(CkwGroup::create);
        bone->setTranslation(0, 1, 0);
        above->addChild(bone);
        if (i == 0)
            top = bone;
        mesh->addTransform(bone, 1, i * perBinding, perBinding);
        if (chained)
            above = bone;
    }
    return mesh;
}

void BM_ChainFrame(benchmark::State& state, bool turning)
{
    engineInit();
    CkwGroup* top = nullptr;
    CkwSkinnedMesh* mesh = nullptr;
    engineTrap([&] { mesh = boundMesh(static_cast<int32_t>(state.range(0)), 1, true, top); });
    float angle = 0.0f;
    for (auto _ : state) {
        if (turning) {
            angle += 0.01f;
            const float q[4] = {0, 0, std::sin(angle), std::cos(angle)};
            top->setOrientation(q);
        }
        engineTrap([&] { mesh->markChangedBones(); });
    }
    mesh->release();
    engineShutdown();
}
void BM_StillChainFrame(benchmark::State& state) { BM_ChainFrame(state, false); }
void BM_TurningChainFrame(benchmark::State& state) { BM_ChainFrame(state, true); }

void BM_FirstInfluences(benchmark::State& state)
{
    engineInit();
    for (auto _ : state) {
        state.PauseTiming();
        CkwGroup* top = nullptr;
        CkwSkinnedMesh* mesh = nullptr;
        engineTrap([&] { mesh = boundMesh(static_cast<int32_t>(state.range(0)), 2, false, top); });
        state.ResumeTiming();
        engineTrap([&] { benchmark::DoNotOptimize(mesh->getVertexPaletteIndices().data()); });
        state.PauseTiming();
        mesh->release();
        state.ResumeTiming();
    }
    engineShutdown();
}

void BM_SharedSequencePass(benchmark::State& state)
{
    engineInit();
    const auto n = static_cast<int32_t>(state.range(0));
    CkwGroup* group = nullptr;
    engineTrap([&] {
        auto* sequence = made<CkwKeyframeSequence>(CkwKeyframeSequence::create);
        sequence->init(8 * n, 3, CkwKeyframeSequence::kLinear);
        for (int32_t k = 0; k < 8 * n; ++k) {
            const float value[3] = {float(k), 0, 0};
            sequence->setKeyframe(k, 10 * k, 3, value);
        }
        sequence->setDuration(80 * n + 10);
        auto* controller = made<CkwAnimationController>(CkwAnimationController::create);
        group = made<CkwGroup>(CkwGroup::create);
        group->addRef();
        for (int32_t t = 0; t < n; ++t) {
            auto* track = made<CkwAnimationTrack>(CkwAnimationTrack::create);
            track->init(sequence, kPropertyTranslation);
            track->setController(controller);
            group->addAnimationTrack(track);
        }
    });
    int32_t time = 0;
    for (auto _ : state) {
        time = (time + 7919) % (80 * n);
        engineTrap([&] { group->animate(time, kNewAnimationPass); });
    }
    group->release();
    engineShutdown();
}

} // namespace

BENCHMARK(BM_StillChainFrame)->Arg(8000)->Arg(16000);
BENCHMARK(BM_TurningChainFrame)->Arg(8000)->Arg(16000);
BENCHMARK(BM_FirstInfluences)->Arg(16384)->Arg(32767)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SharedSequencePass)->Arg(4000)->Arg(8000);
BENCHMARK(BM_PlainGrid);
BENCHMARK(BM_SkinnedGrid);
BENCHMARK(BM_StillMorphedGrid);
