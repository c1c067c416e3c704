// The scene tool's render through the engine's classes.
#include "tools/scene/SceneRender.h"

#include <png.h>

#include <cstdio>

#include "engine/core/loader/CkwResourceLoader.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/CkwWorld.h"

namespace {

// A node without a World is seen from (0, 0, 5) down -z with a 60 degree view.
constexpr float kDefaultDistance = 5.0f;

int drawRoots(const std::string& path, const SceneRenderOptions& options, std::vector<uint16_t>& pixels,
              std::string& error)
{
    CkwBrewLoader loader;
    int32_t code = 0;
    while (code == 0 && loader.getState() != CkwBrewLoader::kDone && loader.getState() != CkwBrewLoader::kFailed)
        code = loader.loadNameStep(path.c_str(), nullptr);
    if (code != 0 || loader.getState() != CkwBrewLoader::kDone) {
        error = "cannot load " + path + " (" + std::to_string(code) + ")";
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
        error = "no World and no drawable node in " + path;
        return 1;
    }
    pixels.assign(size_t(options.width) * options.height, 0);
    CkwGraphics3D* g = nullptr;
    CkwCamera* camera = nullptr;
    code = engineTrap([&] {
        g = CkwGraphics3D::create();
        g->addRef();
        g->bindTarget(options.width, options.height, options.width * 2, pixels.data());
        if (world != nullptr) {
            world->animate(options.timeMs, kNewAnimationPass);
            g->renderWorld(world);
            return;
        }
        node->animate(options.timeMs, kNewAnimationPass);
        camera = static_cast<CkwCamera*>(CkwCamera::create());
        camera->addRef();
        camera->setPerspective(60.0f, float(options.width) / float(options.height), 0.1f, 100.0f);
        CkwMatrix at = CkwMatrix::translation(0.0f, 0.0f, kDefaultDistance);
        g->setCamera(camera, &at);
        g->clear(nullptr);
        g->renderNode(node, nullptr);
    });
    if (camera != nullptr)
        camera->release();
    if (g != nullptr)
        g->release();
    if (code != 0) {
        error = "render failed (" + std::to_string(code) + ")";
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
    if (engineInit() != 0) {
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
        error = "cannot write " + pngPath;
        return 1;
    }
    return 0;
}
