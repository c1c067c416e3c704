// The scene tool's render through the engine's classes.
#include "tools/scene/SceneRender.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/core/loader/CkwResourceLoader.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/CkwLight.h"
#include "engine/scene/CkwMesh.h"
#include "engine/scene/CkwWorld.h"
#include "tools/scene/LoadFailure.h"

namespace {

constexpr float kDefaultFovy = 60.0f;

// Where a default camera sees the whole of node: down -z onto the centre of
// its meshes' bounds, far enough for a 60 degree view to hold them.
struct Framing {
    float x = 0.0f, y = 0.0f, z = 5.0f, near = 0.1f, far = 100.0f;
};

Framing frameNode(CkwNode* root)
{
    float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
    uint64_t visited = 0;
    for (CkwNode* n = root; n != nullptr; n = CkwNode::nextInSubtree(n, root, true)) {
        ++visited;
        const int32_t id = n->getClassId();
        if (id != kClassMesh && id != kClassMorphingMesh && id != kClassSkinnedMesh)
            continue;
        CkwVertexBuffer* vb = static_cast<CkwMesh*>(n)->getVertexBuffer();
        CkwVertexArray* positions = vb != nullptr ? vb->getPositions() : nullptr;
        // Bounds hold every shape as it is drawn: two components at z = 0,
        // a fourth left out.
        if (positions == nullptr || positions->getVertexCount() == 0)
            continue;
        float bmin[3], bmax[3];
        positions->getBoundsMin(vb->getPositionScale(), vb->getPositionBias(), bmin);
        positions->getBoundsMax(vb->getPositionScale(), vb->getPositionBias(), bmax);
        const CkwMatrix& world = n->getWorldTransform();
        for (int32_t corner = 0; corner < 8; ++corner) {
            const CkwVector3D p{(corner & 1) ? bmax[0] : bmin[0], (corner & 2) ? bmax[1] : bmin[1],
                                (corner & 4) ? bmax[2] : bmin[2]};
            CkwVector3D w;
            world.transformPoint(w, p);
            const float c[3] = {w.x, w.y, w.z};
            for (int32_t i = 0; i < 3; ++i) {
                lo[i] = std::min(lo[i], c[i]);
                hi[i] = std::max(hi[i], c[i]);
            }
        }
    }
    if (EngineContext* context = engineContext())
        context->visits += visited;
    Framing f;
    if (lo[0] > hi[0])
        return f;
    const float r = 0.5f * std::sqrt((hi[0] - lo[0]) * (hi[0] - lo[0]) + (hi[1] - lo[1]) * (hi[1] - lo[1])
                                     + (hi[2] - lo[2]) * (hi[2] - lo[2]));
    const float radius = std::max(r, 1e-3f);
    const float distance = radius / std::tan(kDefaultFovy * 3.14159265f / 360.0f) * 1.1f;
    f.x = 0.5f * (lo[0] + hi[0]);
    f.y = 0.5f * (lo[1] + hi[1]);
    f.z = 0.5f * (lo[2] + hi[2]) + distance;
    f.near = std::max(distance - radius, distance * 0.01f);
    f.far = distance + radius * 2.0f;
    return f;
}

int drawRoots(const std::string& path, const SceneRenderOptions& options, std::vector<uint16_t>& pixels,
              std::string& error)
{
    CkwBrewLoader loader;
    int32_t code = 0;
    while (code == 0 && loader.getState() != CkwBrewLoader::kDone && loader.getState() != CkwBrewLoader::kFailed)
        code = loader.loadNameStep(path.c_str(), nullptr);
    if (code != 0 || loader.getState() != CkwBrewLoader::kDone) {
        error = describeLoadFailure(path, code);
        return 1;
    }
    CkwWorld* world = nullptr;
    CkwNode* node = nullptr;
    for (uint32_t i = 0; i < loader.rootCount() && world == nullptr; ++i) {
        CkwObject3D* root = nullptr;
        if (engineTrap([&] { root = static_cast<CkwObject3D*>(loader.rootL(i)); }) != 0 || root == nullptr)
            continue;
        const int32_t id = root->getClassId();
        if (id == kClassWorld)
            world = static_cast<CkwWorld*>(root);
        else if (node == nullptr && (id == kClassMesh || id == kClassGroup || id == kClassSprite
                                     || id == kClassMorphingMesh || id == kClassSkinnedMesh))
            node = static_cast<CkwNode*>(root);
    }
    if (world == nullptr && node == nullptr) {
        error = path + ": loads, but holds no World and no node to draw";
        return 1;
    }
    pixels.assign(size_t(options.width) * options.height, 0);
    CkwGraphics3D* g = nullptr;
    CkwCamera* camera = nullptr;
    code = engineTrap([&] {
        g = CkwGraphics3D::create();
        g->addRef();
        g->bindTarget(options.width, options.height, options.width * 2, pixels.data());
        CkwNode* subject = world != nullptr ? world : node;
        subject->animate(options.timeMs, kNewAnimationPass);
        if (world != nullptr && world->getActiveCamera() != nullptr) {
            g->renderWorld(world);
            return;
        }
        // No camera of the file's own: one that frames the whole scene.
        const Framing f = frameNode(subject);
        camera = static_cast<CkwCamera*>(CkwCamera::create());
        camera->addRef();
        camera->setPerspective(kDefaultFovy, float(options.width) / float(options.height), f.near, f.far);
        CkwMatrix at = CkwMatrix::translation(f.x, f.y, f.z);
        g->setCamera(camera, &at);
        // The file's own lights where it has any, else a head light and some ambient.
        const CkwArray<CkwNode*>* lights = world != nullptr ? &world->getLights() : nullptr;
        if (lights != nullptr && lights->count() > 0) {
            for (CkwNode* light : *lights)
                g->addLight(light, &light->getWorldTransform());
        } else {
            for (int32_t mode : {CkwLight::kDirectional, CkwLight::kAmbient}) {
                auto* light = static_cast<CkwLight*>(CkwLight::create());
                light->setMode(mode);
                light->setColor(mode == CkwLight::kAmbient ? 0x404040 : 0xFFFFFF);
                g->addLight(light, nullptr);
            }
        }
        g->clear(world != nullptr ? static_cast<CkwBackground*>(world->getBackground()) : nullptr);
        g->renderNode(subject, nullptr);
    });
    if (camera != nullptr)
        camera->release();
    if (g != nullptr)
        g->release();
    if (code != 0) {
        error = path + ": the engine failed to draw it (error " + std::to_string(code) + ")";
        return 1;
    }
    return 0;
}

bool writePng(const std::string& path, const std::vector<uint16_t>& pixels, int32_t w, int32_t h)
{
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint32_t p = pixels[i], r = p >> 11, g = (p >> 5) & 63, b = p & 31;
        rgb[3 * i] = static_cast<uint8_t>(r << 3 | r >> 2);
        rgb[3 * i + 1] = static_cast<uint8_t>(g << 2 | g >> 4);
        rgb[3 * i + 2] = static_cast<uint8_t>(b << 3 | b >> 2);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<uint32_t>(w);
    image.height = static_cast<uint32_t>(h);
    image.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

} // namespace

int renderSceneFile(const std::string& path, const SceneRenderOptions& options, std::vector<uint16_t>& pixels,
                    std::string& error)
{
    if (options.width < 1 || options.height < 1 || options.width > 1024 || options.height > 1024) {
        error = "size must be 1..1024 each way";
        return 1;
    }
    if (engineInit() != 1) {
        error = "engine init failed";
        return 1;
    }
    const int result = drawRoots(path, options, pixels, error);
    engineShutdown();
    return result;
}

int renderSceneToPng(const std::string& path, const std::string& pngPath, const SceneRenderOptions& options,
                     std::string& error)
{
    std::vector<uint16_t> pixels;
    if (renderSceneFile(path, options, pixels, error) != 0)
        return 1;
    if (!writePng(pngPath, pixels, options.width, options.height)) {
        error = pngPath + ": cannot write the picture there";
        return 1;
    }
    return 0;
}
