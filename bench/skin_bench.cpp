// The price of posing: a lit grid of 33 x 33 vertices drawn as a skinned mesh
// whose every vertex blends two bones, one of them turning each frame, beside
// the same grid drawn as a plain mesh in the same run. The ratio of the two
// is what skinning adds to a frame. A still morphing mesh over the grid shows
// what a frame that blends nothing again costs beside the plain one.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"
#include "engine/scene/CkwAppearance.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwGraphics3D.h"
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

} // namespace

BENCHMARK(BM_PlainGrid);
BENCHMARK(BM_SkinnedGrid);
BENCHMARK(BM_StillMorphedGrid);
