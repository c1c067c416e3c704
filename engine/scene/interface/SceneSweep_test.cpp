// Sweeps over the scene's tables. One fails the k-th engine allocation for
// every k across start-up, the load of a writer-made World with a camera, a
// light, a background and an animated group beside an appearance and every
// kind of image, a PNG load, and a score of calls on them: every run ends in
// success or a failure result, with every hooked allocation given back. The
// other makes every change the tables offer behind the back of every kind of
// holder and compares the scene with a fresh one.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <vector>

#include "engine/core/interface/EngineHandle.h"
#include "engine/core/interface/IkwEngine.h"
#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/interface/InterfaceMetadata.h"
#include "engine/core/loader/PngTestKit.h"
#include "engine/scene/interface/SceneNodeTables.h"
#include "engine/core/testing/AllocationSweep.h"
#include "engine/scene/interface/ImageTables.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/CkwCompositingMode.h"
#include "engine/scene/CkwFog.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/CkwKeyframeSequence.h"
#include "engine/scene/CkwLight.h"
#include "engine/scene/CkwMaterial.h"
#include "engine/scene/CkwPolygonMode.h"
#include "engine/scene/CkwTexture2D.h"
#include "engine/scene/SceneFuzzInput.h"
#include "tools/m3g/M3gAnimationEncoders.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gImageEncoders.h"
#include "tools/m3g/M3gSceneEncoders.h"
#include "tools/m3g/M3gStateEncoders.h"

namespace {

// Roots from index 2 on: a sprite (with its palette image, texture and
// appearance) and the engine's own plasma, stageset and compressed images.
void addImageRoots(M3gFileWriter& writer)
{
    M3gImage2DFields palette;
    palette.width = 4;
    palette.height = 2;
    palette.format = 100;
    palette.palette = {1, 2, 3, 4, 5, 6, 7, 8};
    palette.pixels.assign(8, 1);
    const uint32_t image = writer.addObject(m3gImage2DRecord(palette));
    M3gTexture2DFields texture;
    texture.image = image;
    M3gAppearanceFields appearance;
    appearance.textures = {writer.addObject(m3gTexture2DRecord(texture))};
    M3gSpriteFields sprite;
    sprite.image = image;
    sprite.appearance = writer.addObject(m3gAppearanceRecord(appearance));
    sprite.crop = {0, 0, 4, 2};
    writer.addObject(m3gSpriteRecord(sprite));
    M3gPlasmaFields plasma;
    plasma.widthExponent = 3;
    plasma.heightExponent = 2;
    plasma.weightsA[8] = 0.5f;
    writer.addObject(m3gPlasmaRecord(plasma));
    M3gStagesetFields stageset;
    stageset.image.width = 2;
    stageset.image.pixels.assign(6, 9);
    stageset.depth = {1, 2};
    writer.addObject(m3gStagesetRecord(stageset));
    M3gCompressedImageFields compressed;
    compressed.width = 2;
    compressed.levels = {{1, 2}, {3}};
    writer.addObject(m3gCompressedImageRecord(compressed));
}

std::vector<uint8_t> pngFile()
{
    PngSpec png;
    png.colourType = PNG_COLOR_TYPE_PALETTE;
    png.palette = {{1, 2, 3}, {4, 5, 6}};
    png.alphas = {9};
    png.rows = {0, 1, 1, 0};
    return writePng(png);
}

// Loads the PNG, duplicates the image roots of the file and makes an image,
// a texture and a sprite through their tables.
template <class Check>
void imageCalls(IkwEngine* root, EngineHandle* loader, const std::vector<uint8_t>& png, const Check& check)
{
    uint32_t roots = 0;
    tableOf<IkwLoaderTable>(loader).getRootCount(loader, &roots);
    for (uint32_t i = 2; i < roots; ++i) {
        EngineHandle* h = nullptr;
        EngineHandle* copy = nullptr;
        if (check(tableOf<IkwLoaderTable>(loader).getRoot(loader, i, &h)) && check(tableOf<IkwObject3DTable>(h).duplicate(h, &copy)))
            unknownRelease(copy);
        if (h != nullptr)
            unknownRelease(h);
    }
    EngineHandle* pngLoader = nullptr;
    if (check(root->table->createEngineObject(kIidLoader, &pngLoader))) {
        check(tableOf<IkwLoaderTable>(pngLoader).loadBuffer(pngLoader, static_cast<uint32_t>(png.size()), png.data(), nullptr));
        unknownRelease(pngLoader);
    }
    EngineHandle* made[3] = {};
    const uint32_t kinds[3] = {kIidImage2D, kIidTexture2D, kIidSprite3D};
    for (int i = 0; i < 3; ++i)
        if (!check(root->table->createEngineObject(kinds[i], &made[i])))
            break;
    if (EngineHandle* image = made[0]; made[2] != nullptr) {
        const auto& t = tableOf<IkwImage2DTable>(image);
        const uint8_t pixels[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        check(t.initWithPalette(image, 99, 2, 2, 4, pixels, 6, pixels));
        check(t.init(image, 100, 2, 2));
        check(t.set(image, 0, 0, 2, 2, 16, pixels));
        check(tableOf<IkwTexture2DTable>(made[1]).init(made[1], image));
        check(tableOf<IkwSprite3DTable>(made[2]).init(made[2], 1, image, nullptr));
    }
    for (EngineHandle* h : made)
        if (h != nullptr)
            unknownRelease(h);
}

std::vector<uint8_t> worldFile()
{
    M3gFileWriter writer(M3gFlavour::Own);
    writer.beginSection(kM3gSchemeZlib);
    std::vector<uint32_t> children;
    M3gKeyframeSequenceFields spline;
    spline.interpolation = 178;
    spline.repeatMode = 193;
    spline.encoding = 1;
    spline.validRangeLast = 2;
    spline.componentCount = 3;
    spline.keyframes = {{0, {0, 0, 0}}, {300, {1, 0, 0}}, {600, {0, 1, 0}}};
    const uint32_t sequence = writer.addObject(m3gKeyframeSequenceRecord(spline));
    const uint32_t controller = writer.addObject(m3gAnimationControllerRecord({}));
    const uint32_t track = writer.addObject(m3gAnimationTrackRecord({{}, sequence, controller, 275}));
    for (int32_t i = 0; i < 3; ++i) {
        M3gGroupFields group;
        group.node.transformable.object.userId = 10 + i;
        if (i == 0)
            group.node.transformable.object.animationTracks = {track};
        group.node.transformable.object.userParameters.push_back({i, {1, 2, 3}});
        children.push_back(writer.addObject(m3gGroupRecord(group)));
    }
    const uint32_t camera = writer.addObject(m3gCameraRecord({}));
    children.push_back(camera);
    children.push_back(writer.addObject(m3gLightRecord({})));
    M3gWorldFields world;
    world.group.node.transformable.object.userId = 1;
    world.group.children = children;
    world.activeCamera = camera;
    world.background = writer.addObject(m3gBackgroundRecord({}));
    writer.addObject(m3gWorldRecord(world));
    M3gAppearanceFields appearance;
    appearance.material = writer.addObject(m3gMaterialRecord({}));
    appearance.fog = writer.addObject(m3gFogRecord({}));
    writer.addObject(m3gAppearanceRecord(appearance));
    addImageRoots(writer);
    return writer.finish();
}

// Returns whether every call succeeded.
bool runScenario(const std::vector<uint8_t>& file, const std::vector<uint8_t>& png)
{
    IkwEngine* root = nullptr;
    if (initEngineApi(&root) != 0)
        return false;
    bool allGood = root->table->initialize(root, &FailingAllocator::alloc, &FailingAllocator::free) == 0;
    const auto check = [&](EngineResult r) {
        allGood = allGood && r == 0;
        return r == 0;
    };
    const auto release = [](EngineHandle*& h) {
        if (h != nullptr)
            unknownRelease(h);
        h = nullptr;
    };
    EngineHandle* loader = nullptr;
    EngineHandle* world = nullptr;
    EngineHandle* appearance = nullptr;
    if (allGood && check(root->table->createEngineObject(kIidLoader, &loader))) {
        const auto& l = tableOf<IkwLoaderTable>(loader);
        if (check(l.loadBuffer(loader, static_cast<uint32_t>(file.size()), file.data(), nullptr))) {
            check(l.getRoot(loader, 0, &world));
            check(l.getRoot(loader, 1, &appearance));
            imageCalls(root, loader, png, check);
        }
        release(loader);
    }
    if (appearance != nullptr) {
        const auto& a = tableOf<IkwAppearanceTable>(appearance);
        EngineHandle* material = nullptr;
        EngineHandle* copy = nullptr;
        if (check(a.getMaterial(appearance, &material)) && check(a.object3D.duplicate(appearance, &copy)))
            a.setMaterial(copy, nullptr);
        check(a.setTexture(appearance, 1, nullptr));
        release(copy);
        release(material);
    }
    release(appearance);
    if (world != nullptr) {
        EngineHandle* camera = nullptr;
        if (check(tableOf<IkwWorldTable>(world).getActiveCamera(world, &camera)))
            check(tableOf<IkwCameraTable>(camera).setPerspective(camera, 60, 1, 1, 10));
        release(camera);
    }
    EngineHandle* group = nullptr;
    if (world != nullptr && check(root->table->createEngineObject(kIidGroup, &group))) {
        const auto& w = tableOf<IkwWorldTable>(world);
        const auto& o = w.group.node.transformable.object3D;
        const float xyz[3] = {1, 2, 3};
        const float turn[4] = {30, 0, 1, 0};
        const uint8_t bytes[4] = {4, 5, 6, 7};
        check(w.group.addChild(world, group));
        check(w.group.node.transformable.setTranslation(group, xyz));
        check(w.group.node.transformable.postRotate(group, turn));
        check(o.setUserParameter(group, 5, 4, bytes));
        check(o.setUserParameter(group, 5, 2, bytes));
        uint32_t count = 0;
        if (check(o.getReferences(world, 0, nullptr, &count))) {
            std::vector<EngineHandle*> references(count);
            check(o.getReferences(world, count, references.data(), &count));
            for (EngineHandle*& h : references)
                release(h);
        }
        EngineHandle* found = nullptr;
        check(o.find(world, 12, &found));
        EngineHandle* parent = nullptr;
        if (found != nullptr)
            check(w.group.node.getParent(found, &parent));
        release(parent);
        EngineHandle* copy = nullptr;
        check(o.duplicate(world, &copy));
        release(copy);
        int32_t validity = 0;
        check(o.animate(world, 100, &validity));
        check(w.group.node.setAlignment(group, found, 145, nullptr, 144));
        check(w.group.node.align(world, nullptr));
        release(found);
        EngineHandle* child = nullptr;
        check(w.group.getChild(world, 0, &child));
        check(w.group.removeChild(world, child));
        release(child);
        EngineHandle* queried = nullptr;
        if (check(unknownQueryInterface(world, kIidGroup, &queried)))
            release(queried);
    }
    release(group);
    release(world);
    root->table->release(root);
    return allGood;
}

TEST(SceneSweep, EveryFailedAllocationEndsInAResultWithoutLeaks)
{
    ASSERT_EQ(interfaceTable(*interfaceById(kIidWorld)), &kWorldTable); // the scene's own tables, not stand-ins
    const std::vector<uint8_t> file = worldFile();
    const std::vector<uint8_t> png = pngFile();
    EXPECT_TRUE(runScenario(file, png));
    EXPECT_GT(sweepAllocationFailures([&] { return runScenario(file, png); }), 50);
}

} // namespace

// Every change a game can make through the tables, tried on every kind of
// object that can hold what it changes: after the change the scene animates,
// draws and picks as a fresh scene built from the final state does, or
// refuses with the usual -1300 where what was checked when it was set no
// longer holds.
namespace {

using Handle = EngineHandle*;
constexpr int32_t kLinear = CkwKeyframeSequence::kLinear, kSpline = CkwKeyframeSequence::kSpline;

// An entry of h's table, called as the game calls it.
template <class Table, class Entry, class... Args>
auto call(Handle h, Entry Table::*entry, Args... args)
{
    return (tableOf<Table>(h).*entry)(h, args...);
}

// Every entry of every table, by the interface that brings it: '.' only
// reads, 'c' changes what other objects may hold (a row below tries it), 'o'
// changes an object no other object holds (a Transform is copied where it is
// used; loaders, archives and members hand out what they read).
struct Family {
    uint32_t iid, base; // base 0: the three entries every table opens with
    const char* entries;
};
constexpr uint32_t kIidUnknown = 0;
constexpr Family kFamilies[] = {
    {kIidUnknown, kIidUnknown, "cc."},
    {kIidObject3D, kIidUnknown, ".c..ccc.c..cc..."},
    {kIidTransformable, kIidObject3D, ".c.c.ccccc..c"},
    {kIidNode, kIidTransformable, "..c.c.c.c.c..c"},
    {kIidIndexBuffer, kIidObject3D, ".."},
    {kIidAnimationController, kIidObject3D, ".c....c.cc"},
    {kIidAnimationTrack, kIidObject3D, "c.c.."},
    {kIidAppearance, kIidObject3D, ".c.c.c.c.c.c"},
    {kIidBackground, kIidObject3D, ".c.c.......c.ccc"},
    {kIidCamera, kIidNode, "..ccc"},
    {kIidCompositingMode, kIidObject3D, ".c.c.c.c.c.c..c"},
    {kIidFog, kIidObject3D, ".c.c.c..c"},
    {kIidGraphics3D, kIidUnknown, ".........cccc.ccccccc.cc.cc."},
    {kIidGroup, kIidNode, "..cc.."},
    {kIidImage2D, kIidObject3D, "cccc.......c"},
    {kIidKeyframeSequence, kIidObject3D, "c.c.c......cc"},
    {kIidLight, kIidNode, ".c.c.c.c.c...c"},
    {kIidLoader, kIidUnknown, "oo..."},
    {kIidMaterial, kIidObject3D, ".c.c.c"},
    {kIidMesh, kIidNode, "cc....c"},
    {kIidMorphingMesh, kIidMesh, "cc...c"},
    {kIidPolygonMode, kIidObject3D, ".c.c.c.c.c.c"},
    {kIidRayIntersection, kIidUnknown, "........."},
    {kIidSkinnedMesh, kIidMesh, "cc.c.."},
    {kIidSprite3D, kIidNode, "c.c.c.....c"},
    {kIidStageset, kIidImage2D, "cc.c.c"},
    {kIidTexture2D, kIidTransformable, "c.c.c.c....cc"},
    {kIidTransform, kIidUnknown, "o.ooooooooo..o"},
    {kIidTriangleStripArray, kIidIndexBuffer, "cc"},
    {kIidVertexArray, kIidObject3D, "c....c.c"},
    {kIidVertexBuffer, kIidObject3D, ".c.c.c..c.c"},
    {kIidWorld, kIidGroup, ".c.c"},
    {kIidArchive, kIidUnknown, "ooo."},
    {kIidArchiveMember, kIidUnknown, "o"},
};

const Family& familyOf(uint32_t iid)
{
    return *std::find_if(std::begin(kFamilies), std::end(kFamilies), [&](const Family& f) { return f.iid == iid; });
}

uint32_t entriesUpTo(uint32_t iid)
{
    const Family& f = familyOf(iid);
    return uint32_t(strlen(f.entries)) + (iid == kIidUnknown ? 0 : entriesUpTo(f.base));
}

bool inherits(uint32_t iid, uint32_t family)
{
    return iid == family || (iid != kIidUnknown && inherits(familyOf(iid).base, family));
}

// The kinds of holder a change is tried on: the scene is built with that one
// in its world. The context draws the content through its own camera and
// light into a bound image.
enum : uint32_t {
    kOnMesh = 1, kOnSkin = 2, kOnMorph = 4, kOnSprite = 8, kOnBackdrop = 16, kOnStageset = 32, kOnContext = 64,
    kOnAll = 127,
    kOnNodes = kOnMesh | kOnSkin | kOnMorph | kOnSprite,
    kOnGeometry = kOnMesh | kOnSkin | kOnMorph | kOnContext,
    kOnTextures = kOnMesh | kOnSkin | kOnContext,
};
enum : uint32_t { kAnimate = 1, kDraw = 2, kPick = 4 };

struct Scene {
    const IkwEngineTable* api = nullptr;
    uint32_t holder = 0;
    EngineResult failed = 0; // the first refusal while building
    Handle pos{}, nrm{}, col{}, tex0{}, tex1{}, tpos{}, vb{}, tvb{}, strips{};
    Handle wood{}, sheet{}, backdrop{}, stage{}, canvas{}, plasma{}, packed{}, loader{};
    Handle tex{}, texP{}, texQ{}, material{}, cm{}, pm{}, fog{}, look{}, look2{};
    Handle sTrans{}, sWeights{}, sCrop{}, ctl{}, tTrans{}, tWeights{}, tCrop{}, tColor{};
    Handle mesh{}, skeleton{}, bone{}, skin{}, morph{}, sprite{}, camera{}, light{}, background{}, content{}, world{};
    Handle node{}, g3d{}, ray{}, eye{};
    std::vector<uint16_t> target = std::vector<uint16_t>(24 * 16);

    EngineResult check(EngineResult r)
    {
        failed = failed != 0 ? failed : r;
        return r;
    }
    Handle make(uint32_t iid)
    {
        Handle h = nullptr;
        check(api->createEngineObject(iid, &h));
        return h;
    }
    // Calls an entry, keeping its refusal.
    template <class Table, class Entry, class... Args>
    void set(Handle h, Entry Table::*entry, Args... args)
    {
        if constexpr (std::is_void_v<decltype(call(h, entry, args...))>)
            call(h, entry, args...);
        else
            check(call(h, entry, args...));
    }
};

// Leaves, then what holds them, then nodes, then the world; after each step
// the hook may change what it made before anything made later holds it.
Scene build(const IkwEngineTable& api, uint32_t holder, const std::function<void(Scene&, int)>& hook)
{
    Scene s;
    s.api = &api;
    s.holder = holder;
    const auto array = [&](int32_t components, int32_t size, std::vector<int32_t> v) {
        Handle h = s.make(kIidVertexArray);
        const int32_t n = int32_t(v.size()) / components;
        s.set(h, &IkwVertexArrayTable::init, n, components, size);
        const std::vector<int16_t> shorts(v.begin(), v.end());
        const std::vector<int8_t> bytes(v.begin(), v.end());
        if (size == 2)
            s.set(h, &IkwVertexArrayTable::setShorts, 0, n, uint32_t(v.size()), shorts.data());
        else
            s.set(h, &IkwVertexArrayTable::setBytes, 0, n, uint32_t(v.size()), bytes.data());
        return h;
    };
    const auto sequence = [&](int32_t components, int32_t interpolation, std::vector<std::vector<float>> keys) {
        Handle h = s.make(kIidKeyframeSequence);
        s.set(h, &IkwKeyframeSequenceTable::init, int32_t(keys.size()), components, interpolation);
        s.set(h, &IkwKeyframeSequenceTable::setDuration, 300);
        s.set(h, &IkwKeyframeSequenceTable::setRepeatMode, CkwKeyframeSequence::kLoop);
        for (size_t i = 0; i < keys.size(); ++i)
            s.set(h, &IkwKeyframeSequenceTable::setKeyframe, int32_t(i), int32_t(100 * i), components, keys[i].data());
        return h;
    };
    s.pos = array(3, 2, {-64, -64, 0, 64, -64, 0, -64, 64, 0, 64, 64, 0});
    s.nrm = array(3, 1, {30, 0, 120, 0, 30, 120, -30, 0, 120, 0, -30, 120});
    s.col = array(4, 1, {-1, 0, 0, -1, 0, -1, 0, -1, 0, 0, -1, -1, 64, 64, 64, -1});
    s.tex0 = array(2, 2, {0, 1, 1, 1, 0, 0, 1, 0});
    s.tex1 = array(2, 1, {0, 2, 2, 2, 0, 0, 2, 0});
    s.tpos = array(3, 2, {-64, -32, 16, 64, -32, 16, -64, 96, -16, 64, 96, -16});
    std::vector<uint8_t> rgb(8 * 8 * 5);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = uint8_t(i * 37 + (i / 24) * 91);
    s.set(s.wood = s.make(kIidImage2D), &IkwImage2DTable::init, 99, 4, 4);
    s.set(s.wood, &IkwImage2DTable::set, 0, 0, 4, 4, 48, rgb.data());
    const uint8_t indices[8] = {0, 1, 1, 0, 1, 0, 0, 1}, palette[8] = {255, 0, 0, 255, 0, 0, 255, 128};
    s.set(s.sheet = s.make(kIidImage2D), &IkwImage2DTable::initWithPalette, 100, 4, 2, 8, indices, 8, palette);
    s.set(s.backdrop = s.make(kIidImage2D), &IkwImage2DTable::initWithPixels, 99, 8, 8, 192, rgb.data());
    s.set(s.stage = s.make(kIidStageset), &IkwStagesetTable::initWithValues, 8, 8, 320, rgb.data());
    s.set(s.stage, &IkwStagesetTable::setParam1, 0.00005f);
    s.set(s.canvas = s.make(kIidImage2D), &IkwImage2DTable::init, 99, 24, 16);
    // The images only a file makes: the plasma and the compressed image roots.
    static const std::vector<uint8_t> file = worldFile();
    s.set(s.loader = s.make(kIidLoader), &IkwLoaderTable::loadBuffer, uint32_t(file.size()), file.data(), nullptr);
    s.set(s.loader, &IkwLoaderTable::getRoot, 3, &s.plasma);
    s.set(s.loader, &IkwLoaderTable::getRoot, 5, &s.packed);
    s.sTrans = sequence(3, CkwKeyframeSequence::kLinear, {{0, 0, 0}, {0.25f, 0, 0}, {0, 0.25f, 0}});
    s.sWeights = sequence(1, CkwKeyframeSequence::kLinear, {{0.25f}, {1}});
    s.sCrop = sequence(2, CkwKeyframeSequence::kStep, {{0, 0}, {1, 0}});
    s.ctl = s.make(kIidAnimationController);
    if (hook)
        hook(s, 0);

    const float zero[3] = {0, 0, 0};
    s.set(s.vb = s.make(kIidVertexBuffer), &IkwVertexBufferTable::setPositions, s.pos, 1.0f / 64, 3, zero);
    s.set(s.vb, &IkwVertexBufferTable::setNormals, s.nrm);
    s.set(s.vb, &IkwVertexBufferTable::setColors, s.col);
    s.set(s.vb, &IkwVertexBufferTable::setTexCoords, 0, s.tex0, 1.0f, 3, zero);
    s.set(s.vb, &IkwVertexBufferTable::setTexCoords, 1, s.tex1, 0.5f, 3, zero);
    s.set(s.tvb = s.make(kIidVertexBuffer), &IkwVertexBufferTable::setPositions, s.tpos, 1.0f / 64, 3, zero);
    const int32_t four = 4;
    s.set(s.strips = s.make(kIidTriangleStripArray), &IkwTriangleStripArrayTable::initImplicit, 0, 1, &four);
    const auto texture = [&](Handle image, int32_t function) {
        Handle h = s.make(kIidTexture2D);
        s.set(h, &IkwTexture2DTable::init, image);
        s.set(h, &IkwTexture2DTable::setBlending, function);
        return h;
    };
    s.tex = texture(s.wood, kTextureFuncModulate);
    s.texP = texture(s.plasma, kTextureFuncAdd);
    s.texQ = texture(s.packed, kTextureFuncModulate);
    s.set(s.material = s.make(kIidMaterial), &IkwMaterialTable::setColor, CkwMaterial::kAmbient | CkwMaterial::kDiffuse,
          0xFFE0C080);
    s.set(s.material, &IkwMaterialTable::setVertexColorTrackingEnable, 1);
    s.set(s.cm = s.make(kIidCompositingMode), &IkwCompositingModeTable::setBlending, CkwCompositingMode::kAlpha);
    s.set(s.pm = s.make(kIidPolygonMode), &IkwPolygonModeTable::setCulling, CkwPolygonMode::kCullNone);
    s.set(s.fog = s.make(kIidFog), &IkwFogTable::setMode, CkwFog::kLinear);
    s.set(s.fog, &IkwFogTable::setLinear, 2.0f, 5.0f);
    s.look = s.make(kIidAppearance);
    s.set(s.look, &IkwAppearanceTable::setMaterial, s.material);
    s.set(s.look, &IkwAppearanceTable::setCompositingMode, s.cm);
    s.set(s.look, &IkwAppearanceTable::setPolygonMode, s.pm);
    s.set(s.look, &IkwAppearanceTable::setFog, s.fog);
    s.set(s.look, &IkwAppearanceTable::setTexture, 0, s.tex);
    s.set(s.look, &IkwAppearanceTable::setTexture, 1, s.texP);
    s.set(s.look2 = s.make(kIidAppearance), &IkwAppearanceTable::setMaterial, s.material);
    s.set(s.look2, &IkwAppearanceTable::setTexture, 0, s.texQ);
    const auto track = [&](Handle sequence, int32_t property) {
        Handle h = s.make(kIidAnimationTrack);
        s.set(h, &IkwAnimationTrackTable::init, sequence, property);
        s.set(h, &IkwAnimationTrackTable::setController, s.ctl);
        return h;
    };
    s.tTrans = track(s.sTrans, kPropertyTranslation);
    s.tWeights = track(s.sWeights, kPropertyMorphWeights);
    s.tCrop = track(s.sCrop, kPropertyCrop);
    s.tColor = track(s.sTrans, kPropertyColor);
    if (hook)
        hook(s, 1);

    s.set(s.mesh = s.make(kIidMesh), &IkwMeshTable::init, s.vb, s.strips, s.look);
    s.set(s.skeleton = s.make(kIidGroup), &IkwGroupTable::addChild, s.bone = s.make(kIidGroup));
    const float aside[3] = {0.25f, 0, 0}, back[3] = {0, 0, 3}, half = 0.5f;
    s.set(s.bone, &IkwTransformableTable::setTranslation, aside);
    s.set(s.skin = s.make(kIidSkinnedMesh), &IkwSkinnedMeshTable::init, s.vb, s.strips, s.look, s.skeleton);
    s.set(s.skin, &IkwSkinnedMeshTable::addTransform, s.bone, 1, 0, 2);
    s.set(s.skin, &IkwSkinnedMeshTable::addTransform, s.skeleton, 1, 2, 2);
    s.set(s.morph = s.make(kIidMorphingMesh), &IkwMorphingMeshTable::init, s.vb, 1, &s.tvb, s.strips, s.look2);
    s.set(s.morph, &IkwMorphingMeshTable::setWeights, 1, &half);
    s.set(s.sprite = s.make(kIidSprite3D), &IkwSprite3DTable::init, 1, s.sheet, s.look2);
    s.set(s.sprite, &IkwSprite3DTable::setCrop, 0, 0, 4, 2);
    s.set(s.camera = s.make(kIidCamera), &IkwCameraTable::setPerspective, 60.0f, 1.5f, 1.0f, 20.0f);
    s.set(s.camera, &IkwTransformableTable::setTranslation, back);
    s.set(s.light = s.make(kIidLight), &IkwLightTable::setMode, CkwLight::kDirectional);
    s.set(s.background = s.make(kIidBackground), &IkwBackgroundTable::setColor, 0xFF203040u);
    if (holder & (kOnBackdrop | kOnStageset)) {
        s.set(s.background, &IkwBackgroundTable::setImage, holder == kOnBackdrop ? s.backdrop : s.stage);
        s.set(s.background, &IkwBackgroundTable::setCrop, 1, 1, 6, 5);
        s.set(s.background, &IkwBackgroundTable::setImageMode, CkwBackground::kRepeat, CkwBackground::kBorder);
    }
    s.node = holder == kOnSkin ? s.skin : holder == kOnMorph ? s.morph : holder == kOnSprite ? s.sprite : s.mesh;
    s.set(s.content = s.make(kIidGroup), &IkwGroupTable::addChild, s.node);
    const std::pair<Handle, Handle> tracks[] = {
        {s.content, s.tTrans}, {s.morph, s.tWeights}, {s.sprite, s.tCrop}, {s.background, s.tCrop}, {s.fog, s.tColor}};
    for (const auto& [object, track] : tracks)
        s.set(object, &IkwObject3DTable::addAnimationTrack, track);
    if (hook)
        hook(s, 2);

    s.world = s.make(kIidWorld);
    for (Handle child : {s.camera, s.light, s.content})
        s.set(s.world, &IkwGroupTable::addChild, child);
    s.set(s.world, &IkwWorldTable::setActiveCamera, s.camera);
    s.set(s.world, &IkwWorldTable::setBackground, s.background);
    s.set(s.eye = s.make(kIidTransform), &IkwTransformTable::postTranslate, back);
    s.set(s.g3d = s.make(kIidGraphics3D), &IkwGraphics3DTable::setCamera, s.camera, s.eye);
    int32_t index = 0;
    s.set(s.g3d, &IkwGraphics3DTable::addLight, s.light, nullptr, &index);
    s.ray = s.make(kIidRayIntersection);
    if (hook)
        hook(s, 3);
    return s;
}

// What a game sees of the scene at one world time.
struct Look {
    EngineResult result[3] = {}; // animate, draw, pick
    int32_t validity = 0;
    std::vector<uint16_t> pixels;
    std::vector<uint32_t> hit; // whether, then distance, normal, s and t of both units, submesh and node id
    bool operator==(const Look&) const = default;
};

Look frame(Scene& s, int32_t time)
{
    Look look;
    look.result[0] = call(s.world, &IkwObject3DTable::animate, time, &look.validity);
    const auto& g = tableOf<IkwGraphics3DTable>(s.g3d);
    EngineResult& drawn = look.result[1];
    if (s.holder == kOnContext) {
        drawn = g.bindImage(s.g3d, s.canvas);
        drawn = drawn != 0 ? drawn : g.clear(s.g3d, nullptr);
        drawn = drawn != 0 ? drawn : g.renderNode(s.g3d, s.content, nullptr);
        uint32_t w = 0, h = 0;
        void* pixels = nullptr;
        call(s.canvas, &IkwImage2DTable::getWidth, &w);
        call(s.canvas, &IkwImage2DTable::getHeight, &h);
        call(s.canvas, &IkwImage2DTable::getPixels, &pixels);
        look.pixels.assign(static_cast<uint16_t*>(pixels), static_cast<uint16_t*>(pixels) + w * h);
    } else {
        std::fill(s.target.begin(), s.target.end(), uint16_t{0x5A5A});
        drawn = g.bindBuffer(s.g3d, 24, 16, 48, s.target.data());
        drawn = drawn != 0 ? drawn : g.renderWorld(s.g3d, s.world);
        look.pixels = s.target;
    }
    uint8_t hit = 0;
    Handle camera = nullptr; // the world's, as the game asks for it
    call(s.world, &IkwWorldTable::getActiveCamera, &camera);
    look.result[2] = call(s.world, &IkwGroupTable::pickViewport, ~0u, 0.52f, 0.45f, camera, s.ray, &hit);
    unknownRelease(camera);
    look.hit.push_back(hit);
    if (hit != 0) {
        const auto& r = tableOf<IkwRayIntersectionTable>(s.ray);
        float f[8] = {};
        r.getDistance(s.ray, &f[0]);
        r.getNormalX(s.ray, &f[1]);
        r.getNormalY(s.ray, &f[2]);
        r.getNormalZ(s.ray, &f[3]);
        for (uint32_t unit = 0; unit < 2; ++unit) {
            r.getTextureS(s.ray, unit, &f[4 + 2 * unit]);
            r.getTextureT(s.ray, unit, &f[5 + 2 * unit]);
        }
        for (float v : f)
            look.hit.push_back(std::bit_cast<uint32_t>(v));
        int32_t submesh = 0;
        uint32_t id = 0;
        Handle node = nullptr;
        r.getSubmeshIndex(s.ray, &submesh);
        if (r.getIntersected(s.ray, &node) == 0 && node != nullptr)
            call(node, &IkwObject3DTable::getUserID, &id);
        look.hit.insert(look.hit.end(), {uint32_t(submesh), id});
    }
    return look;
}

struct Change {
    uint32_t iid;
    std::vector<uint32_t> entries; // what the change calls
    uint32_t holders;
    EngineResult (*apply)(Scene&);
    uint32_t refuses = 0; // what the scene changed behind refuses
    int step = -1;        // when a fresh scene takes it; by default once its object is made
    bool kept = false;    // a stageset's depth stays as its first draw converted it: results only
};

int stepOf(const Change& c)
{
    const auto in = [&](std::initializer_list<uint32_t> ids) { return std::count(ids.begin(), ids.end(), c.iid) != 0; };
    if (c.step >= 0)
        return c.step;
    if (in({kIidVertexArray, kIidImage2D, kIidStageset, kIidKeyframeSequence, kIidAnimationController}))
        return 0;
    if (in({kIidVertexBuffer, kIidTriangleStripArray, kIidTexture2D, kIidAppearance, kIidMaterial, kIidCompositingMode,
            kIidPolygonMode, kIidFog, kIidAnimationTrack}))
        return 1;
    return in({kIidWorld, kIidGraphics3D}) ? 3 : 2;
}

#define CHANGE(...) +[](Scene& s) -> EngineResult { __VA_ARGS__ }
// A change that is one call on one of the scene's objects.
#define CALL(object, Interface, entry, ...) CHANGE(return call(s.object, &Ikw##Interface##Table::entry, __VA_ARGS__);)

const std::vector<Change>& changes()
{
    static const std::vector<Change> rows = {
        // The game lets go of what the scene holds.
        {kIidVertexBuffer, {0, 1}, kOnAll, CHANGE(unknownAddRef(s.vb);
            for (Handle h : {s.vb, s.vb, s.pos, s.col, s.wood, s.plasma, s.tex, s.look, s.sTrans, s.tTrans, s.ctl,
                             s.mesh, s.skin, s.bone, s.sprite, s.sheet, s.backdrop, s.stage, s.camera, s.light})
                unknownRelease(h);
            return 0;), 0, 3},
        // The last holder gone while the renderer and the pick may remember the object.
        {kIidGroup, {1, 49}, kOnNodes, CHANGE(EngineResult r = call(s.content, &IkwGroupTable::removeChild, s.node);
            for (Handle h : {s.node, s.vb, s.look, s.strips})
                unknownRelease(h);
            return r;), 0, 3},
        {kIidWorld, {1, 49}, kOnTextures, CHANGE(EngineResult r = call(s.world, &IkwGroupTable::removeChild, s.light);
            unknownRelease(s.light);
            return r;), 0, 3},
        {kIidMesh, {4}, kOnNodes, CHANGE(call(s.node, &IkwObject3DTable::setUserID, 77u); return 0;)},
        {kIidMesh, {7}, kOnNodes, CALL(node, Object3D, addAnimationTrack, s.tTrans)},
        {kIidGroup, {7}, kOnSkin, CALL(bone, Object3D, addAnimationTrack, s.tTrans)},
        {kIidGroup, {8}, kOnAll, CHANGE(call(s.content, &IkwObject3DTable::removeAnimationTrack, s.tTrans); return 0;)},
        {kIidWorld, {9}, kOnAll, CHANGE(int32_t v; return call(s.world, &IkwObject3DTable::animate, 250, &v);)},
        {kIidVertexBuffer, {11, 14, 15}, kOnGeometry, CHANGE(const uint8_t bytes[2] = {1, 2};
            call(s.vb, &IkwObject3DTable::setDestroyCallback, +[](CkwRefCount*) {});
            call(s.vb, &IkwObject3DTable::removeUserParameters);
            return call(s.vb, &IkwObject3DTable::setUserParameter, 5u, 2u, bytes);)},
        // Transforms of bones, the skeleton, a texture, the camera, the light and the holder.
        {kIidGroup, {20}, kOnSkin, CHANGE(const float v[3] = {0, -0.3f, 0};
            return call(s.bone, &IkwTransformableTable::setTranslation, v);)},
        {kIidGroup, {27}, kOnSkin, CHANGE(const float v[4] = {20, 0, 0, 1};
            return call(s.skeleton, &IkwTransformableTable::preRotate, v);)},
        {kIidGroup, {31}, kOnSkin, CHANGE(Handle t = s.make(kIidTransform); const float v[3] = {1.5f, 1, 1};
            call(t, &IkwTransformTable::postScale, v);
            return call(s.bone, &IkwTransformableTable::setTransform, t);)},
        {kIidTexture2D, {22, 25}, kOnTextures, CHANGE(const float v[3] = {2, 1, 1};
            call(s.tex, &IkwTransformableTable::setScale, v);
            return call(s.tex, &IkwTransformableTable::translate, v);)},
        {kIidCamera, {24}, kOnAll, CHANGE(const float v[4] = {5, 0, 1, 0};
            return call(s.camera, &IkwTransformableTable::setOrientation, v);)},
        {kIidLight, {28}, kOnTextures, CHANGE(const float v[4] = {40, 0, 1, 0};
            return call(s.light, &IkwTransformableTable::postRotate, v);)},
        {kIidMesh, {26}, kOnNodes, CHANGE(const float v[3] = {1.5f, 1, 1};
            return call(s.node, &IkwTransformableTable::scale, v);)},
        // Node state, and alignment to a node that then leaves the world and memory.
        {kIidMesh, {34}, kOnNodes, CALL(node, Node, setAlphaFactor, 0.5f)},
        {kIidGroup, {36, 38}, kOnSkin, CHANGE(call(s.skeleton, &IkwNodeTable::setRenderingEnable, 0u);
            call(s.bone, &IkwNodeTable::setPickingEnable, 0u);
            return 0;)},
        {kIidMesh, {38, 40}, kOnNodes, CHANGE(call(s.node, &IkwNodeTable::setPickingEnable, 0u);
            call(s.node, &IkwNodeTable::setScope, 2u);
            return 0;)},
        {kIidLight, {36, 40}, kOnTextures, CHANGE(call(s.light, &IkwNodeTable::setScope, 0u);
            call(s.light, &IkwNodeTable::setRenderingEnable, 0u);
            return 0;)},
        {kIidWorld, {42, 45}, kOnNodes, CHANGE(
            call(s.node, &IkwNodeTable::setAlignment, s.camera, uint32_t(kAlignOrigin), nullptr, uint32_t(kAlignNone));
            return call(s.world, &IkwNodeTable::align, nullptr);)},
        {kIidWorld, {1, 42, 45}, kOnNodes, CHANGE(Handle g = s.make(kIidGroup);
            call(s.world, &IkwGroupTable::addChild, g);
            call(s.node, &IkwNodeTable::setAlignment, g, uint32_t(kAlignOrigin), nullptr, uint32_t(kAlignNone));
            call(s.world, &IkwGroupTable::removeChild, g); unknownRelease(g);
            return call(s.world, &IkwNodeTable::align, nullptr) == kResultIllegalState ? 0 : 1;), 0, 3},
        // Arrays made again and written.
        {kIidVertexArray, {19}, kOnGeometry, CALL(pos, VertexArray, init, 4, 3, 2)},
        {kIidVertexArray, {19}, kOnGeometry, CALL(pos, VertexArray, init, 6, 3, 2), kDraw | kPick},
        {kIidVertexArray, {19}, kOnMorph, CALL(pos, VertexArray, init, 4, 2, 1), kDraw | kPick},
        {kIidVertexArray, {19}, kOnGeometry, CALL(col, VertexArray, init, 4, 2, 2), kDraw},
        {kIidVertexArray, {19}, kOnGeometry, CALL(col, VertexArray, init, 4, 3, 1)},
        {kIidVertexArray, {19}, kOnGeometry, CALL(col, VertexArray, init, 3, 4, 1), kDraw | kPick},
        {kIidVertexArray, {19}, kOnGeometry, CALL(nrm, VertexArray, init, 4, 3, 2)},
        {kIidVertexArray, {19}, kOnGeometry, CALL(nrm, VertexArray, init, 4, 2, 1), kDraw},
        {kIidVertexArray, {19}, kOnGeometry, CALL(tex0, VertexArray, init, 4, 3, 2)},
        {kIidVertexArray, {19}, kOnGeometry, CALL(tex1, VertexArray, init, 2, 2, 1), kDraw | kPick},
        {kIidVertexArray, {19}, kOnMorph, CALL(tpos, VertexArray, init, 4, 3, 1)},
        {kIidVertexArray, {19}, kOnMorph, CALL(tpos, VertexArray, init, 5, 3, 2)},
        {kIidVertexArray, {24}, kOnGeometry, CHANGE(const int16_t v[3] = {0, 0, 48};
            return call(s.pos, &IkwVertexArrayTable::setShorts, 1, 1, 3u, v);)},
        {kIidVertexArray, {24}, kOnMorph, CHANGE(const int16_t v[3] = {0, 0, 48};
            return call(s.tpos, &IkwVertexArrayTable::setShorts, 2, 1, 3u, v);)},
        {kIidVertexArray, {26}, kOnGeometry, CHANGE(const int8_t v[8] = {9, 9, 9, 9, 0, 60, 0, -1};
            return call(s.col, &IkwVertexArrayTable::setBytes, 2, 2, 8u, v);)},
        {kIidVertexArray, {26}, kOnGeometry, CHANGE(const int8_t v[3] = {120, 0, 20};
            return call(s.nrm, &IkwVertexArrayTable::setBytes, 0, 1, 3u, v);)},
        // Arrays swapped in the buffers.
        {kIidVertexBuffer, {20}, kOnGeometry, CALL(vb, VertexBuffer, setNormals, nullptr)},
        {kIidVertexBuffer, {22, 24}, kOnGeometry, CHANGE(call(s.vb, &IkwVertexBufferTable::setDefaultColor, 0x80FF4000);
            return call(s.vb, &IkwVertexBufferTable::setColors, nullptr);)},
        {kIidVertexBuffer, {27}, kOnGeometry, CHANGE(const float bias[3] = {0.25f, 0, 0};
            return call(s.vb, &IkwVertexBufferTable::setPositions, s.pos, 1.0f / 48, 3u, bias);)},
        {kIidVertexBuffer, {27}, kOnGeometry, CHANGE(const float bias[3] = {0, 0, 0};
            return call(s.vb, &IkwVertexBufferTable::setPositions, s.tpos, 1.0f / 64, 3u, bias);)},
        {kIidVertexBuffer, {29}, kOnGeometry, CHANGE(const float bias[2] = {0.5f, 0};
            return call(s.vb, &IkwVertexBufferTable::setTexCoords, 1u, s.tex0, 1.0f, 2u, bias);)},
        {kIidVertexBuffer, {20}, kOnMorph, CALL(tvb, VertexBuffer, setNormals, s.nrm)},
        {kIidVertexBuffer, {22}, kOnMorph, CALL(tvb, VertexBuffer, setColors, s.col)},
        {kIidVertexBuffer, {27}, kOnMorph, CHANGE(const float bias[3] = {0, 0.5f, 0};
            return call(s.tvb, &IkwVertexBufferTable::setPositions, s.tpos, 1.0f / 64, 3u, bias);)},
        // Strips, meshes, skins and morphs made again.
        {kIidTriangleStripArray, {21}, kOnGeometry, CHANGE(const int32_t n = 3;
            return call(s.strips, &IkwTriangleStripArrayTable::initImplicit, 0, 1u, &n);)},
        {kIidTriangleStripArray, {21}, kOnGeometry, CHANGE(const int32_t n = 4;
            return call(s.strips, &IkwTriangleStripArrayTable::initImplicit, 1, 1u, &n);)},
        {kIidTriangleStripArray, {22}, kOnGeometry, CHANGE(const int32_t i[4] = {3, 2, 1, 0}, n = 4;
            return call(s.strips, &IkwTriangleStripArrayTable::initExplicit, 4u, i, 1u, &n);)},
        {kIidMesh, {46}, kOnMesh | kOnSkin | kOnMorph, CHANGE(const Handle strips[2] = {s.strips, s.strips};
            const Handle looks[2] = {s.look2, s.look};
            return call(s.node, &IkwMeshTable::initMulti, s.vb, 2u, strips, 2u, looks);)},
        {kIidMesh, {47}, kOnMesh | kOnSkin | kOnMorph, CALL(node, Mesh, init, s.tvb, s.strips, s.look)},
        {kIidMesh, {52}, kOnMesh | kOnSkin | kOnMorph, CALL(node, Mesh, setAppearance, 0u, s.look2)},
        {kIidMorphingMesh, {53}, kOnMorph, CHANGE(const Handle targets[2] = {s.tvb, s.vb};
            return call(s.morph, &IkwMorphingMeshTable::initMulti, s.vb, 2u, targets, 1u, &s.strips, 1u, &s.look);)},
        {kIidMorphingMesh, {54}, kOnMorph, CALL(morph, MorphingMesh, init, s.tvb, 1u, &s.vb, s.strips, s.look2)},
        {kIidMorphingMesh, {58}, kOnMorph, CHANGE(const float w = 1.5f;
            return call(s.morph, &IkwMorphingMeshTable::setWeights, 1u, &w);)},
        {kIidSkinnedMesh, {53}, kOnSkin, CHANGE(Handle skeleton = s.make(kIidGroup);
            return call(s.skin, &IkwSkinnedMeshTable::initMulti, s.vb, 1u, &s.strips, 1u, &s.look, skeleton);)},
        {kIidSkinnedMesh, {54}, kOnSkin, CHANGE(Handle skeleton = s.make(kIidGroup);
            return call(s.skin, &IkwSkinnedMeshTable::init, s.tvb, s.strips, s.look, skeleton);)},
        {kIidSkinnedMesh, {56}, kOnSkin, CALL(skin, SkinnedMesh, addTransform, s.bone, 3, 1, 2)},
        {kIidSkinnedMesh, {56}, kOnSkin, CALL(skin, SkinnedMesh, addTransform, s.bone, 3, 2, 3)},
        {kIidSprite3D, {46}, kOnSprite, CALL(sprite, Sprite3D, init, 0u, s.wood, s.look)},
        {kIidSprite3D, {48}, kOnSprite, CHANGE(call(s.sprite, &IkwSprite3DTable::setAppearance, s.look); return 0;)},
        {kIidSprite3D, {50}, kOnSprite, CALL(sprite, Sprite3D, setImage, s.backdrop)},
        {kIidSprite3D, {56}, kOnSprite, CALL(sprite, Sprite3D, setCrop, 1, 0, -3, 2)},
        // Images made again and written, wherever they are held.
        {kIidImage2D, {21}, kOnTextures, CALL(wood, Image2D, init, 99u, 8u, 8u)},
        {kIidImage2D, {21}, kOnTextures, CALL(wood, Image2D, init, 99u, 6u, 4u), kDraw},
        {kIidImage2D, {21}, kOnTextures, CALL(wood, Image2D, init, 98u, 4u, 4u)},
        {kIidImage2D, {20}, kOnTextures, CHANGE(const uint8_t i[16] = {0, 1, 2, 1, 2, 0, 1, 0, 0, 2, 1, 1, 2, 2, 0, 1};
            const uint8_t p[12] = {250, 200, 0, 90, 0, 100, 250, 255, 9, 9, 9, 0};
            return call(s.wood, &IkwImage2DTable::initWithPalette, 100u, 4u, 4u, 16u, i, 12u, p);)},
        {kIidImage2D, {30}, kOnTextures, CHANGE(const uint8_t v[12] = {9, 9, 9, 200, 0, 0, 0, 200, 0, 0, 0, 200};
            return call(s.wood, &IkwImage2DTable::set, 1, 1, 2, 2, 12u, v);)},
        {kIidImage2D, {21}, kOnTextures, CALL(plasma, Image2D, init, 99u, 4u, 4u)},
        {kIidImage2D, {21}, kOnTextures, CALL(plasma, Image2D, init, 99u, 3u, 4u), kDraw},
        {kIidImage2D, {21}, kOnMorph | kOnSprite, CALL(packed, Image2D, init, 99u, 2u, 2u)},
        {kIidImage2D, {19}, kOnSprite, CHANGE(const uint8_t v[6] = {10, 70, 130, 190, 250, 20};
            return call(s.sheet, &IkwImage2DTable::initWithPixels, 97u, 2u, 3u, 6u, v);)},
        {kIidImage2D, {20}, kOnBackdrop, CHANGE(const uint8_t i[15] = {0, 1, 0, 1, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
            const uint8_t p[6] = {250, 200, 0, 0, 100, 250};
            return call(s.backdrop, &IkwImage2DTable::initWithPalette, 99u, 5u, 3u, 15u, i, 6u, p);)},
        {kIidImage2D, {22}, kOnBackdrop, CALL(backdrop, Image2D, initEx, 100u, 4u, 4u, 1u)},
        {kIidImage2D, {21}, kOnStageset, CALL(stage, Image2D, init, 99u, 4u, 4u)},
        {kIidImage2D, {30}, kOnStageset, CHANGE(const uint8_t v[12] = {9, 9, 9, 200, 0, 0, 0, 200, 0, 0, 0, 200};
            call(s.stage, &IkwImage2DTable::init, 99u, 8u, 8u);
            return call(s.stage, &IkwImage2DTable::set, 1, 1, 2, 2, 12u, v);)},
        {kIidImage2D, {21}, kOnContext, CALL(canvas, Image2D, init, 99u, 10u, 6u)},
        {kIidImage2D, {21}, kOnContext, CALL(canvas, Image2D, init, 100u, 24u, 16u)},
        {kIidImage2D, {19}, kOnContext, CHANGE(const uint8_t v[12] = {};
            return call(s.canvas, &IkwImage2DTable::initWithPixels, 99u, 2u, 2u, 12u, v);)},
        {kIidStageset, {31}, kOnStageset, CHANGE(std::vector<uint8_t> v(80, 0); // far, as stored values
            std::fill_n(v.begin(), 48, 200);
            return call(s.stage, &IkwStagesetTable::initWithValues, 4, 4, 80u, v.data());)},
        {kIidStageset, {32}, kOnStageset, CALL(stage, Stageset, init, 16, 8)},
        {kIidStageset, {34, 36}, kOnStageset, CHANGE(call(s.stage, &IkwStagesetTable::setParam2, 1.0f);
            return call(s.stage, &IkwStagesetTable::setParam1, 0.001f);), 0, -1, true},
        // Textures, appearances and their parts.
        {kIidTexture2D, {32}, kOnTextures, CALL(tex, Texture2D, init, s.backdrop)},
        {kIidTexture2D, {34}, kOnTextures, CALL(texP, Texture2D, setImage, s.wood)},
        {kIidTexture2D, {36, 38, 43, 44}, kOnTextures, CHANGE(const auto& t = tableOf<IkwTexture2DTable>(s.tex);
            t.setBlendColor(s.tex, 0x00FF00u); t.setWrapping(s.tex, kTextureWrapClamp, kTextureWrapClamp);
            t.setFiltering(s.tex, kTextureFilterLinear, kTextureFilterLinear);
            return t.setBlending(s.tex, kTextureFuncBlend);)},
        {kIidAppearance, {20, 22, 24}, kOnGeometry, CHANGE(const auto& a = tableOf<IkwAppearanceTable>(s.look);
            a.setMaterial(s.look, nullptr); a.setFog(s.look, nullptr);
            return a.setLayer(s.look, 2);)},
        {kIidAppearance, {26, 28, 30}, kOnGeometry, CHANGE(const auto& a = tableOf<IkwAppearanceTable>(s.look);
            a.setCompositingMode(s.look, nullptr); a.setPolygonMode(s.look, nullptr);
            return a.setTexture(s.look, 1, s.texQ);)},
        {kIidMaterial, {20, 22, 24}, kOnGeometry, CHANGE(const auto& m = tableOf<IkwMaterialTable>(s.material);
            m.setVertexColorTrackingEnable(s.material, 0); m.setShininess(s.material, 20);
            return m.setColor(s.material, CkwMaterial::kAllTargets, 0x80406080u);)},
        {kIidCompositingMode, {20, 22, 24, 26, 28, 30, 33}, kOnGeometry, CHANGE(
            const auto& c = tableOf<IkwCompositingModeTable>(s.cm);
            c.setColorWriteEnable(s.cm, 1); c.setAlphaWriteEnable(s.cm, 0); c.setDepthWriteEnable(s.cm, 0);
            c.setDepthTestEnable(s.cm, 0); c.setAlphaThreshold(s.cm, 0.5f); c.setDepthOffset(s.cm, 1, 2);
            return c.setBlending(s.cm, CkwCompositingMode::kModulate);)},
        {kIidPolygonMode, {20, 22, 24, 26, 28, 30}, kOnGeometry, CHANGE(
            const auto& p = tableOf<IkwPolygonModeTable>(s.pm);
            p.setLocalCameraLightingEnable(s.pm, 1); p.setPerspectiveCorrectionEnable(s.pm, 1);
            p.setTwoSidedLightingEnable(s.pm, 1); p.setShading(s.pm, CkwPolygonMode::kShadeFlat);
            p.setWinding(s.pm, CkwPolygonMode::kWindingCw);
            return p.setCulling(s.pm, CkwPolygonMode::kCullBack);)},
        {kIidFog, {20, 22, 24, 27}, kOnGeometry, CHANGE(const auto& f = tableOf<IkwFogTable>(s.fog);
            f.setColor(s.fog, 0xFF8000u); f.setMode(s.fog, CkwFog::kExponential); f.setDensity(s.fog, 0.3f);
            return f.setLinear(s.fog, 1, 4);)},
        {kIidLight, {47, 49, 51, 53, 55, 59}, kOnTextures, CHANGE(const auto& l = tableOf<IkwLightTable>(s.light);
            l.setColor(s.light, 0xFF8040); l.setIntensity(s.light, 0.75f); l.setSpotAngle(s.light, 60);
            l.setSpotExponent(s.light, 2); l.setAttenuation(s.light, 1, 0.1f, 0);
            return l.setMode(s.light, CkwLight::kOmni);)},
        // Backgrounds; without a depth clear a stageset's frame keeps the last one's depth.
        {kIidBackground, {20, 30, 32}, kOnAll & ~kOnStageset, CHANGE(
            const auto& b = tableOf<IkwBackgroundTable>(s.background);
            b.setColor(s.background, 0xFF806040u); b.setColorClearEnable(s.background, 0);
            b.setDepthClearEnable(s.background, 0); return 0;)},
        {kIidBackground, {22}, kOnBackdrop | kOnStageset | kOnMesh, CALL(background, Background, setImage, s.stage)},
        {kIidBackground, {33, 34}, kOnBackdrop | kOnStageset, CHANGE(
            const auto& b = tableOf<IkwBackgroundTable>(s.background);
            b.setCrop(s.background, -2, 1, 12, 5);
            return b.setImageMode(s.background, CkwBackground::kBorder, CkwBackground::kRepeat);)},
        // The world, its groups and its camera; a stageset keeps its first conversion.
        {kIidWorld, {53}, kOnAll, CHANGE(Handle camera = s.make(kIidCamera);
            call(camera, &IkwCameraTable::setParallel, 3.0f, 1.5f, 0.5f, 10.0f);
            call(s.world, &IkwGroupTable::addChild, camera);
            return call(s.world, &IkwWorldTable::setActiveCamera, camera);)},
        {kIidWorld, {55}, kOnAll, CHANGE(call(s.world, &IkwWorldTable::setBackground, nullptr); return 0;)},
        {kIidGroup, {48}, kOnNodes, CALL(content, Group, addChild, s.morph)},
        {kIidGroup, {49}, kOnNodes, CALL(content, Group, removeChild, s.node)},
        {kIidGroup, {48, 49}, kOnNodes, CHANGE(call(s.content, &IkwGroupTable::removeChild, s.node);
            return call(s.world, &IkwGroupTable::addChild, s.node);), 0, 3},
        {kIidCamera, {48}, kOnAll & ~kOnStageset, CHANGE(Handle t = s.make(kIidTransform); uint32_t kind = 0;
            const float v[3] = {1.25f, 1.25f, 1};
            call(s.camera, &IkwCameraTable::getProjection, t, &kind); call(t, &IkwTransformTable::postScale, v);
            return call(s.camera, &IkwCameraTable::setGeneric, t);)},
        {kIidCamera, {49}, kOnAll & ~kOnStageset, CALL(camera, Camera, setParallel, 3.0f, 1.5f, 1.0f, 20.0f)},
        {kIidCamera, {50}, kOnAll & ~kOnStageset, CALL(camera, Camera, setPerspective, 45.0f, 1.5f, 2.0f, 4.0f)},
        // Sequences, tracks and controllers.
        {kIidKeyframeSequence, {19}, kOnAll, CALL(sTrans, KeyframeSequence, init, 2, 3, kSpline)},
        {kIidKeyframeSequence, {19}, kOnAll, CALL(sTrans, KeyframeSequence, init, 3, 2, kLinear), kAnimate},
        {kIidKeyframeSequence, {19}, kOnSprite | kOnBackdrop, CALL(sCrop, KeyframeSequence, init, 2, 4, kLinear),
         kAnimate},
        {kIidKeyframeSequence, {19}, kOnMorph, CALL(sWeights, KeyframeSequence, init, 2, 3, kLinear), kAnimate},
        {kIidKeyframeSequence, {21}, kOnAll, CALL(sTrans, KeyframeSequence, setDuration, 150)},
        {kIidKeyframeSequence, {21, 23}, kOnAll, CHANGE(call(s.sTrans, &IkwKeyframeSequenceTable::setDuration, 250);
            return call(s.sTrans, &IkwKeyframeSequenceTable::setRepeatMode, CkwKeyframeSequence::kConstant);)},
        {kIidKeyframeSequence, {30, 31}, kOnAll, CHANGE(const float v[3] = {0.5f, 0.5f, 0};
            call(s.sTrans, &IkwKeyframeSequenceTable::setKeyframe, 1, 120, 3u, v);
            return call(s.sTrans, &IkwKeyframeSequenceTable::setValidRange, 1, 2);)},
        {kIidAnimationTrack, {19}, kOnAll, CALL(tTrans, AnimationTrack, init, s.sTrans, kPropertyScale), kAnimate},
        {kIidAnimationTrack, {19}, kOnAll, CALL(tTrans, AnimationTrack, init, s.sCrop, kPropertyCrop), kAnimate},
        {kIidAnimationTrack, {19}, kOnMorph, CALL(tWeights, AnimationTrack, init, s.sTrans, kPropertyMorphWeights),
         kAnimate},
        {kIidAnimationTrack, {21}, kOnAll, CHANGE(
            call(s.tTrans, &IkwAnimationTrackTable::setController, nullptr); return 0;)},
        {kIidAnimationController, {20, 25}, kOnAll, CHANGE(call(s.ctl, &IkwAnimationControllerTable::setWeight, 0.5f);
            return call(s.ctl, &IkwAnimationControllerTable::setActiveInterval, 0, 350);)},
        {kIidAnimationController, {27, 28}, kOnAll, CHANGE(
            call(s.ctl, &IkwAnimationControllerTable::setPosition, 40.0f, 250);
            return call(s.ctl, &IkwAnimationControllerTable::setSpeed, 2.0f, 260);)},
        // The render context: what it binds, holds and draws between frames.
        {kIidGraphics3D, {12, 13, 14, 15}, kOnAll, CHANGE(const auto& g = tableOf<IkwGraphics3DTable>(s.g3d);
            static uint16_t other[64];
            g.bindBuffer(s.g3d, 8, 8, 16, other); g.bindBufferClipped(s.g3d, 8, 8, 16, other, 1, 1, 4, 4);
            g.setTargetPixels(s.g3d, other); g.releaseTarget(s.g3d);
            return g.bindImage(s.g3d, s.canvas);)},
        {kIidGraphics3D, {17, 18, 19}, kOnAll, CHANGE(const auto& g = tableOf<IkwGraphics3DTable>(s.g3d);
            g.setTargetOptions(s.g3d, 0, CkwGraphics3D::kHintDither); g.setDepthRange(s.g3d, 0.25f, 0.75f);
            return g.setViewport(s.g3d, 2, 1, 20, 12);)},
        {kIidGraphics3D, {20, 21, 22, 23}, kOnAll, CHANGE(const auto& g = tableOf<IkwGraphics3DTable>(s.g3d);
            static uint16_t other[64];
            g.bindBuffer(s.g3d, 8, 8, 16, other); g.clear(s.g3d, s.background);
            g.renderImmediate(s.g3d, s.vb, s.strips, s.look, s.eye, ~0u); g.renderNode(s.g3d, s.node, s.eye);
            return g.renderWorld(s.g3d, s.world);)},
        {kIidGraphics3D, {25, 26, 28, 29}, kOnContext, CHANGE(const auto& g = tableOf<IkwGraphics3DTable>(s.g3d);
            int32_t index = 0;
            g.resetLights(s.g3d); g.addLight(s.g3d, s.light, nullptr, &index);
            g.setLight(s.g3d, 0, s.make(kIidLight), s.eye);
            return g.setCamera(s.g3d, s.camera, nullptr);)},
    };
    return rows;
}

TEST(SceneSweep, EveryChangeAnimatesDrawsAndPicksAsAFreshSceneOrIsRefused)
{
    SceneEngine engine;
    ASSERT_TRUE(engine.ready());
    engine.api().setOption(kOptionTrackHandles);
    // Every entry of every table is classified (a table is installed only
    // where its struct has the entries its row counts), and every change is tried.
    for (const InterfaceInfo& info : interfaceMetadata()) {
        ASSERT_TRUE(std::any_of(std::begin(kFamilies), std::end(kFamilies),
                                [&](const Family& f) { return f.iid == info.iid; }))
            << "interface " << info.iid << " has no row";
        EXPECT_NE(interfaceTable(info), nullptr) << "interface " << info.iid;
        EXPECT_EQ(entriesUpTo(info.iid), info.entryCount) << "interface " << info.iid;
    }
    for (const Family& family : kFamilies)
        for (uint32_t i = 0; family.entries[i] != 0; ++i) {
            const uint32_t first = entriesUpTo(family.iid) - uint32_t(strlen(family.entries));
            const bool tried = std::any_of(changes().begin(), changes().end(), [&](const Change& c) {
                return inherits(c.iid, family.iid) && std::count(c.entries.begin(), c.entries.end(), first + i) != 0;
            });
            EXPECT_EQ(tried, family.entries[i] == 'c') << "interface " << family.iid << " entry " << first + i;
        }
    for (const Change& change : changes())
        for (uint32_t holder = 1; holder < kOnAll; holder <<= 1) {
            if ((change.holders & holder) == 0)
                continue;
            SCOPED_TRACE(testing::Message() << "row " << (&change - changes().data()) << " holder " << holder);
            Scene live = build(engine.api(), holder, nullptr);
            EXPECT_EQ(live.failed, 0);
            frame(live, 0);
            frame(live, 300);
            if (change.apply(live) != 0) {
                ADD_FAILURE() << "the change is refused";
                continue;
            }
            Scene fresh = build(engine.api(), holder, [&](Scene& s, int step) {
                if (step == stepOf(change))
                    s.check(change.apply(s));
            });
            if (fresh.failed != 0 && change.refuses == 0) {
                ADD_FAILURE() << "a fresh scene refuses " << fresh.failed;
                continue;
            }
            for (int32_t time : {300, 400}) {
                const Look after = frame(live, time);
                const Look expected = fresh.failed == 0 ? frame(fresh, time) : Look{};
                // Nothing after a refusal is compared: an animation cut short
                // leaves a scene between two states.
                for (uint32_t op = 0; op < 3; ++op) {
                    const bool refused = (change.refuses & (1u << op)) != 0;
                    if (refused || change.refuses == 0) {
                        EXPECT_EQ(after.result[op], refused ? kResultIllegalState : expected.result[op]) << "op " << op;
                    }
                }
                if (change.refuses == 0 && !change.kept && expected.result[0] == 0) {
                    EXPECT_EQ(after.validity, expected.validity);
                    EXPECT_EQ(after.pixels, expected.pixels);
                    EXPECT_EQ(after.hit, expected.hit);
                }
            }
        }
}

} // namespace
