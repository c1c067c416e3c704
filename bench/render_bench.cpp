// The renderer beside a peer: two scenes drawn at 240x320 into RGB565 with a
// 16-bit depth buffer, by our renderer and by Mesa's OSMesa (llvmpipe on one
// thread) through fixed-function OpenGL from the same triangles.
//   A: 6 spheres of 1,024 triangles, a directional light and ambient, a 64x64
//      checker texture modulated, nearest filtering, depth test.
//   B: 12 such spheres and 8 full-screen alpha-blended textured layers.
//   C: scene A with the camera sliding sideways every frame, so no vertex
//      work carries over from the frame before.
#include <GL/osmesa.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"
#include "engine/render/testing/RenderTestKit.h"
#include "engine/scene/CkwGraphics3D.h"

namespace {

constexpr int32_t kWidth = 240, kHeight = 320;
constexpr float kFovy = 60.0f, kDistance = 6.0f;
constexpr uint32_t kLayerColor = 0x80FFFFFF;

struct Placement {
    float x, y, radius;
};

std::vector<Placement> spheres(int32_t columns, int32_t rows)
{
    std::vector<Placement> out;
    const float spacing = 4.0f / columns;
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < columns; ++c)
            out.push_back({(c - (columns - 1) * 0.5f) * spacing, (r - (rows - 1) * 0.5f) * spacing * 1.2f, spacing * 0.45f});
    return out;
}

// One engine and one scene per process: the world, its spheres and layers.
struct OurScene {
    CkwWorld* world = nullptr;
    CkwGraphics3D* g = nullptr;
    CkwMesh* sphere = nullptr;  // the first, whose arrays the peer draws
    std::vector<uint16_t> pixels = std::vector<uint16_t>(kWidth * kHeight);

    OurScene(int32_t columns, int32_t rows, int32_t layers)
    {
        engineInit();
        engineTrap([&] {
            using namespace renderkit;
            world = worldWithCamera(kFovy, float(kWidth) / kHeight, 1.0f, 20.0f, kDistance);
            world->addRef();
            CkwImage2D* checker = checkerImage(64, 8, 0xFFFFFF, 0x3060C0);
            auto* look = static_cast<CkwAppearance*>(CkwAppearance::create());
            look->setMaterial(material(0xFFFFFFFF, 0xFFFFFF));
            look->setTexture(0, texture(checker, kTextureFuncModulate));
            for (const Placement& p : spheres(columns, rows)) {
                CkwMesh* mesh = kitSphere(32, p.radius, look);
                mesh->setTranslation(p.x, p.y, 0.0f);
                world->addChild(mesh);
                if (sphere == nullptr)
                    sphere = mesh;
            }
            world->addChild(light(CkwLight::kAmbient, 0x333333, 1.0f));
            CkwLight* sun = light(CkwLight::kDirectional, 0xFFFFFF, 1.0f);
            rotate(sun, -30, 1, 1, 0);
            world->addChild(sun);
            // Full-screen layers just in front of the camera, far one first.
            auto* blend = static_cast<CkwCompositingMode*>(CkwCompositingMode::create());
            blend->setBlending(CkwCompositingMode::kAlpha);
            for (int32_t i = 0; i < layers; ++i) {
                auto* layerLook = static_cast<CkwAppearance*>(CkwAppearance::create());
                layerLook->setCompositingMode(blend);
                layerLook->setTexture(0, texture(checker, kTextureFuncModulate));
                const float z = kDistance - 1.5f - 0.01f * i;
                CkwMesh* layer = quad(3.0f, kLayerColor, layerLook);
                layer->setTranslation(0.0f, 0.0f, z);
                world->addChild(layer);
            }
            g = CkwGraphics3D::create();
            g->addRef();
            g->bindTarget(kWidth, kHeight, kWidth * 2, pixels.data());
        });
    }
    ~OurScene()
    {
        g->release();
        world->release();
        engineShutdown();
    }
    void frame() { engineTrap([&] { g->renderWorld(world); }); }
    void moveCamera(float x) { static_cast<CkwCamera*>(world->getActiveCamera())->setTranslation(x, 0.0f, kDistance); }
};

// Sideways camera offsets that repeat every 64 frames and never repeat twice
// in a row.
float cameraSlide(int64_t frame) { return 0.002f * static_cast<float>(frame % 64 + 1); }

// The peer: the same sphere arrays and strips through OpenGL 1.x.
struct PeerScene {
    OSMesaContext context = nullptr;
    std::vector<uint16_t> pixels = std::vector<uint16_t>(kWidth * kHeight);
    std::vector<float> positions, normals, texCoords;
    std::vector<std::vector<uint16_t>> strips;
    std::vector<Placement> placed;
    int32_t layers = 0;
    GLuint texture = 0;

    PeerScene(const OurScene& ours, int32_t columns, int32_t rows, int32_t layerCount)
        : placed(spheres(columns, rows)), layers(layerCount)
    {
        setenv("LP_NUM_THREADS", "0", 1);
        setenv("GALLIUM_DRIVER", "llvmpipe", 1);
        context = OSMesaCreateContextExt(OSMESA_RGB_565, 16, 0, 0, nullptr);
        OSMesaMakeCurrent(context, pixels.data(), GL_UNSIGNED_SHORT_5_6_5, kWidth, kHeight);
        CkwVertexBuffer* vb = ours.sphere->getVertexBuffer();
        const int32_t n = vb->getVertexCount();
        const float scale = vb->getPositionScale(), tscale = vb->getTexCoordScale(0);
        for (int32_t i = 0; i < n; ++i) {
            for (int32_t c = 0; c < 3; ++c) {
                positions.push_back(vb->getPositions()->getElement(i, c) * scale);
                normals.push_back(vb->getNormals()->getElement(i, c) / 127.0f);
            }
            for (int32_t c = 0; c < 2; ++c)
                texCoords.push_back(vb->getTexCoords(0)->getElement(i, c) * tscale);
        }
        auto* tsa = static_cast<CkwTriangleStripArray*>(ours.sphere->getIndexBuffer(0));
        int32_t at = 0;
        for (uint16_t length : tsa->getStripLengths()) {
            strips.emplace_back(tsa->getIndices().begin() + at, tsa->getIndices().begin() + at + length);
            at += length;
        }
        std::vector<uint8_t> rgb;
        for (int32_t y = 0; y < 64; ++y)
            for (int32_t x = 0; x < 64; ++x) {
                const uint32_t c = ((x / 8) + (y / 8)) % 2 ? 0x3060C0 : 0xFFFFFF;
                rgb.insert(rgb.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
            }
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 64, 64, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glViewport(0, 0, kWidth, kHeight);
    }
    ~PeerScene() { OSMesaDestroyContext(context); }

    void frame(float cameraX = 0.0f)
    {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glEnable(GL_TEXTURE_2D);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        const double top = std::tan(kFovy * 3.14159265 / 360.0);
        glFrustum(-top * kWidth / kHeight, top * kWidth / kHeight, -top, top, 1.0, 20.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        const GLfloat ambient[4] = {0.2f, 0.2f, 0.2f, 1}, white[4] = {1, 1, 1, 1}, toLight[4] = {0.5f, 0.5f, 0.7f, 0};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
        glLightfv(GL_LIGHT0, GL_POSITION, toLight);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
        glMaterialfv(GL_FRONT, GL_DIFFUSE, white);
        glMaterialfv(GL_FRONT, GL_AMBIENT, white);
        glTranslatef(-cameraX, 0, -kDistance);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, positions.data());
        glNormalPointer(GL_FLOAT, 0, normals.data());
        glTexCoordPointer(2, GL_FLOAT, 0, texCoords.data());
        glEnable(GL_NORMALIZE);
        for (const Placement& p : placed) {
            glPushMatrix();
            glTranslatef(p.x, p.y, 0);
            for (const auto& s : strips)
                glDrawElements(GL_TRIANGLE_STRIP, GLsizei(s.size()), GL_UNSIGNED_SHORT, s.data());
            glPopMatrix();
        }
        glDisable(GL_LIGHTING);
        glDisableClientState(GL_NORMAL_ARRAY);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glColor4ub(255, 255, 255, 128);
        const GLfloat quadXyz[12] = {-3, -3, 0, 3, -3, 0, -3, 3, 0, 3, 3, 0};
        const GLfloat quadSt[8] = {0, 1, 1, 1, 0, 0, 1, 0};
        glVertexPointer(3, GL_FLOAT, 0, quadXyz);
        glTexCoordPointer(2, GL_FLOAT, 0, quadSt);
        // Far one first, as our queue orders them.
        for (int32_t i = layers - 1; i >= 0; --i) {
            glPushMatrix();
            glTranslatef(0, 0, kDistance - 1.5f - 0.01f * i);
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
            glPopMatrix();
        }
        glDisable(GL_BLEND);
        glFinish();
    }
};

template <int Columns, int Rows, int Layers, bool Moving = false>
void OurRenderer(benchmark::State& state)
{
    OurScene scene(Columns, Rows, Layers);
    int64_t frame = 0;
    for (auto _ : state) {
        if (Moving)
            scene.moveCamera(cameraSlide(frame++));
        scene.frame();
        benchmark::DoNotOptimize(scene.pixels.data());
    }
}

template <int Columns, int Rows, int Layers, bool Moving = false>
void OSMesaLlvmpipe(benchmark::State& state)
{
    OurScene ours(Columns, Rows, Layers);
    PeerScene peer(ours, Columns, Rows, Layers);
    int64_t frame = 0;
    for (auto _ : state) {
        peer.frame(Moving ? cameraSlide(frame++) : 0.0f);
        benchmark::DoNotOptimize(peer.pixels.data());
    }
}

} // namespace

BENCHMARK(OurRenderer<3, 2, 0>)->Name("SceneA/OurRenderer")->Unit(benchmark::kMillisecond);
BENCHMARK(OSMesaLlvmpipe<3, 2, 0>)->Name("SceneA/OSMesaLlvmpipe")->Unit(benchmark::kMillisecond);
BENCHMARK(OurRenderer<4, 3, 8>)->Name("SceneB/OurRenderer")->Unit(benchmark::kMillisecond);
BENCHMARK(OSMesaLlvmpipe<4, 3, 8>)->Name("SceneB/OSMesaLlvmpipe")->Unit(benchmark::kMillisecond);
BENCHMARK(OurRenderer<3, 2, 0, true>)->Name("SceneC/OurRenderer")->Unit(benchmark::kMillisecond);
BENCHMARK(OSMesaLlvmpipe<3, 2, 0, true>)->Name("SceneC/OSMesaLlvmpipe")->Unit(benchmark::kMillisecond);
