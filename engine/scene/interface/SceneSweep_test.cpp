// Fails the k-th engine allocation for every k across start-up, the load of a
// writer-made World with a camera, a light, a background and an animated
// group beside an appearance and every kind of image, a PNG load, and a score
// of calls on them: every run ends in success or a failure result, with every
// hooked allocation given back.
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

// Every change a game can make through the tables, on every kind of object
// that can hold what it changes: the scene after the change animates, draws
// and picks as a fresh scene built from the final state, or refuses with the
// usual -1300 where a check made when it was set no longer holds.
namespace {

using Handle = EngineHandle*;

template <class Table, class Entry, class... Args>
auto call(Handle h, Entry Table::*entry, Args... args)
{
    return (tableOf<Table>(h).*entry)(h, args...);
}

// Each entry of each table, by the interface that brings it: '.' only reads,
// 'c' changes what other objects may hold (a row below tries it), 'o' changes
// an object no other object holds: a Transform is copied where it is used,
// loaders and archives only hand out what they read.
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

const Family* familyOf(uint32_t iid)
{
    for (const Family& f : kFamilies)
        if (f.iid == iid)
            return &f;
    return nullptr;
}

// The first entry a family brings.
uint32_t firstEntry(uint32_t iid)
{
    return iid == kIidUnknown ? 0 : firstEntry(familyOf(iid)->base) + uint32_t(strlen(familyOf(familyOf(iid)->base)->entries));
}

bool inherits(uint32_t iid, uint32_t family)
{
    return iid == family || (iid != kIidUnknown && inherits(familyOf(iid)->base, family));
}

// The kinds of holder a change is tried on; each builds the scene with that
// holder in the world. A context draws the content node through its own
// camera and light into a bound image.
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

    Handle make(uint32_t iid)
    {
        Handle h = nullptr;
        check(api->createEngineObject(iid, &h));
        return h;
    }
    EngineResult check(EngineResult r)
    {
        failed = failed != 0 ? failed : r;
        return r;
    }
};

std::vector<uint8_t> imageFile()
{
    M3gFileWriter writer(M3gFlavour::Own);
    M3gPlasmaFields plasma;
    plasma.widthExponent = 3;
    plasma.heightExponent = 2;
    plasma.weightsA[8] = 0.5f;
    writer.addObject(m3gPlasmaRecord(plasma));
    M3gCompressedImageFields packed;
    packed.width = 2;
    packed.height = 2;
    packed.levels = {{1, 2, 3, 4, 5, 6, 7, 8}, {9, 10}};
    writer.addObject(m3gCompressedImageRecord(packed));
    return writer.finish();
}

template <class T, size_t N>
const T* values(const T (&v)[N])
{
    return v;
}

// Leaves, then what holds them, then nodes, then the world: after each step
// the hook may change what that step made before anything holds it.
Scene build(const IkwEngineTable& api, uint32_t holder, const std::function<void(Scene&, int)>& hook)
{
    Scene s;
    s.api = &api;
    s.holder = holder;
    const auto array = [&](int32_t components, int32_t size, std::vector<int32_t> v) {
        Handle h = s.make(kIidVertexArray);
        const int32_t n = int32_t(v.size()) / components;
        s.check(call(h, &IkwVertexArrayTable::init, n, components, size));
        std::vector<int16_t> shorts(v.begin(), v.end());
        std::vector<int8_t> bytes(v.begin(), v.end());
        s.check(size == 2 ? call(h, &IkwVertexArrayTable::setShorts, 0, n, uint32_t(v.size()), shorts.data())
                          : call(h, &IkwVertexArrayTable::setBytes, 0, n, uint32_t(v.size()), bytes.data()));
        return h;
    };
    const auto sequence = [&](int32_t components, int32_t interpolation, std::vector<std::vector<float>> keys) {
        Handle h = s.make(kIidKeyframeSequence);
        const auto& k = tableOf<IkwKeyframeSequenceTable>(h);
        s.check(k.init(h, int32_t(keys.size()), components, interpolation));
        s.check(k.setDuration(h, 300));
        s.check(k.setRepeatMode(h, CkwKeyframeSequence::kLoop));
        for (size_t i = 0; i < keys.size(); ++i)
            s.check(k.setKeyframe(h, int32_t(i), int32_t(100 * i), uint32_t(components), keys[i].data()));
        return h;
    };
    const auto track = [&](Handle sequence, int32_t property) {
        Handle h = s.make(kIidAnimationTrack);
        s.check(call(h, &IkwAnimationTrackTable::init, sequence, property));
        call(h, &IkwAnimationTrackTable::setController, s.ctl);
        return h;
    };
    const float zero[3] = {0, 0, 0};
    s.pos = array(3, 2, {-64, -64, 0, 64, -64, 0, -64, 64, 0, 64, 64, 0});
    s.nrm = array(3, 1, {30, 0, 120, 0, 30, 120, -30, 0, 120, 0, -30, 120});
    s.col = array(4, 1, {-1, 0, 0, -1, 0, -1, 0, -1, 0, 0, -1, -1, 64, 64, 64, -1});
    s.tex0 = array(2, 2, {0, 1, 1, 1, 0, 0, 1, 0});
    s.tex1 = array(2, 1, {0, 2, 2, 2, 0, 0, 2, 0});
    s.tpos = array(3, 2, {-64, -32, 16, 64, -32, 16, -64, 96, -16, 64, 96, -16});
    std::vector<uint8_t> rgb(8 * 8 * 5);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = uint8_t(i * 37 + (i / 24) * 91);
    s.wood = s.make(kIidImage2D);
    s.check(call(s.wood, &IkwImage2DTable::init, 99, 4, 4));
    s.check(call(s.wood, &IkwImage2DTable::set, 0, 0, 4, 4, 48, rgb.data()));
    s.sheet = s.make(kIidImage2D);
    const uint8_t indices[8] = {0, 1, 1, 0, 1, 0, 0, 1}, palette[8] = {255, 0, 0, 255, 0, 0, 255, 128};
    s.check(call(s.sheet, &IkwImage2DTable::initWithPalette, 100, 4, 2, 8, indices, 8, palette));
    s.backdrop = s.make(kIidImage2D);
    s.check(call(s.backdrop, &IkwImage2DTable::initWithPixels, 99, 8, 8, 192, rgb.data()));
    s.stage = s.make(kIidStageset);
    s.check(call(s.stage, &IkwStagesetTable::initWithValues, 8, 8, 320, rgb.data()));
    s.check(call(s.stage, &IkwStagesetTable::setParam1, 0.0001f));
    s.canvas = s.make(kIidImage2D);
    s.check(call(s.canvas, &IkwImage2DTable::init, 99, 24, 16));
    s.loader = s.make(kIidLoader);
    const std::vector<uint8_t> file = imageFile();
    s.check(call(s.loader, &IkwLoaderTable::loadBuffer, uint32_t(file.size()), file.data(), nullptr));
    s.check(call(s.loader, &IkwLoaderTable::getRoot, 0, &s.plasma));
    s.check(call(s.loader, &IkwLoaderTable::getRoot, 1, &s.packed));
    s.sTrans = sequence(3, CkwKeyframeSequence::kLinear, {{0, 0, 0}, {0.25f, 0, 0}, {0, 0.25f, 0}});
    s.sWeights = sequence(1, CkwKeyframeSequence::kLinear, {{0.25f}, {1}});
    s.sCrop = sequence(2, CkwKeyframeSequence::kStep, {{0, 0}, {1, 0}});
    s.ctl = s.make(kIidAnimationController);
    if (hook)
        hook(s, 0);

    s.vb = s.make(kIidVertexBuffer);
    s.check(call(s.vb, &IkwVertexBufferTable::setPositions, s.pos, 1.0f / 64, 3, zero));
    s.check(call(s.vb, &IkwVertexBufferTable::setNormals, s.nrm));
    s.check(call(s.vb, &IkwVertexBufferTable::setColors, s.col));
    s.check(call(s.vb, &IkwVertexBufferTable::setTexCoords, 0, s.tex0, 1.0f, 3, zero));
    s.check(call(s.vb, &IkwVertexBufferTable::setTexCoords, 1, s.tex1, 0.5f, 3, zero));
    s.tvb = s.make(kIidVertexBuffer);
    s.check(call(s.tvb, &IkwVertexBufferTable::setPositions, s.tpos, 1.0f / 64, 3, zero));
    s.strips = s.make(kIidTriangleStripArray);
    const int32_t four = 4;
    s.check(call(s.strips, &IkwTriangleStripArrayTable::initImplicit, 0, 1, &four));
    const auto texture = [&](Handle image, uint32_t function) {
        Handle h = s.make(kIidTexture2D);
        s.check(call(h, &IkwTexture2DTable::init, image));
        s.check(call(h, &IkwTexture2DTable::setBlending, function));
        return h;
    };
    s.tex = texture(s.wood, kTextureFuncModulate);
    s.texP = texture(s.plasma, kTextureFuncAdd);
    s.texQ = texture(s.packed, kTextureFuncModulate);
    s.material = s.make(kIidMaterial);
    s.check(call(s.material, &IkwMaterialTable::setColor, CkwMaterial::kAmbient | CkwMaterial::kDiffuse, 0xFFE0C080));
    call(s.material, &IkwMaterialTable::setVertexColorTrackingEnable, 1);
    s.cm = s.make(kIidCompositingMode);
    s.check(call(s.cm, &IkwCompositingModeTable::setBlending, CkwCompositingMode::kAlpha));
    s.pm = s.make(kIidPolygonMode);
    s.check(call(s.pm, &IkwPolygonModeTable::setCulling, CkwPolygonMode::kCullNone));
    s.fog = s.make(kIidFog);
    s.check(call(s.fog, &IkwFogTable::setMode, CkwFog::kLinear));
    s.check(call(s.fog, &IkwFogTable::setLinear, 2.0f, 5.0f));
    s.look = s.make(kIidAppearance);
    const auto& a = tableOf<IkwAppearanceTable>(s.look);
    a.setMaterial(s.look, s.material);
    a.setCompositingMode(s.look, s.cm);
    a.setPolygonMode(s.look, s.pm);
    a.setFog(s.look, s.fog);
    s.check(a.setTexture(s.look, 0, s.tex));
    s.check(a.setTexture(s.look, 1, s.texP));
    s.look2 = s.make(kIidAppearance);
    a.setMaterial(s.look2, s.material);
    s.check(a.setTexture(s.look2, 0, s.texQ));
    s.tTrans = track(s.sTrans, kPropertyTranslation);
    s.tWeights = track(s.sWeights, kPropertyMorphWeights);
    s.tCrop = track(s.sCrop, kPropertyCrop);
    s.tColor = track(s.sTrans, kPropertyColor);
    if (hook)
        hook(s, 1);

    s.mesh = s.make(kIidMesh);
    s.check(call(s.mesh, &IkwMeshTable::init, s.vb, s.strips, s.look));
    s.skeleton = s.make(kIidGroup);
    s.bone = s.make(kIidGroup);
    s.check(call(s.skeleton, &IkwGroupTable::addChild, s.bone));
    const float aside[3] = {0.25f, 0, 0};
    s.check(call(s.bone, &IkwTransformableTable::setTranslation, aside));
    s.skin = s.make(kIidSkinnedMesh);
    s.check(call(s.skin, &IkwSkinnedMeshTable::init, s.vb, s.strips, s.look, s.skeleton));
    s.check(call(s.skin, &IkwSkinnedMeshTable::addTransform, s.bone, 1, 0, 2));
    s.check(call(s.skin, &IkwSkinnedMeshTable::addTransform, s.skeleton, 1, 2, 2));
    s.morph = s.make(kIidMorphingMesh);
    s.check(call(s.morph, &IkwMorphingMeshTable::init, s.vb, 1, &s.tvb, s.strips, s.look2));
    const float half = 0.5f;
    s.check(call(s.morph, &IkwMorphingMeshTable::setWeights, 1, &half));
    s.sprite = s.make(kIidSprite3D);
    s.check(call(s.sprite, &IkwSprite3DTable::init, 1, s.sheet, s.look2));
    s.check(call(s.sprite, &IkwSprite3DTable::setCrop, 0, 0, 4, 2));
    s.camera = s.make(kIidCamera);
    s.check(call(s.camera, &IkwCameraTable::setPerspective, 60.0f, 1.5f, 1.0f, 20.0f));
    const float back[3] = {0, 0, 3};
    s.check(call(s.camera, &IkwTransformableTable::setTranslation, back));
    s.light = s.make(kIidLight);
    s.check(call(s.light, &IkwLightTable::setMode, CkwLight::kDirectional));
    s.background = s.make(kIidBackground);
    call(s.background, &IkwBackgroundTable::setColor, 0xFF203040u);
    if (holder & (kOnBackdrop | kOnStageset)) {
        s.check(call(s.background, &IkwBackgroundTable::setImage, holder == kOnBackdrop ? s.backdrop : s.stage));
        s.check(call(s.background, &IkwBackgroundTable::setCrop, 1, 1, 6, 5));
        s.check(call(s.background, &IkwBackgroundTable::setImageMode, CkwBackground::kRepeat, CkwBackground::kBorder));
    }
    s.node = holder == kOnSkin ? s.skin : holder == kOnMorph ? s.morph : holder == kOnSprite ? s.sprite : s.mesh;
    s.content = s.make(kIidGroup);
    s.check(call(s.content, &IkwGroupTable::addChild, s.node));
    const auto animate = [&](Handle object, Handle track) {
        s.check(call(object, &IkwObject3DTable::addAnimationTrack, track));
    };
    animate(s.content, s.tTrans);
    animate(s.morph, s.tWeights);
    animate(s.sprite, s.tCrop);
    animate(s.background, s.tCrop);
    animate(s.fog, s.tColor);
    if (hook)
        hook(s, 2);

    s.world = s.make(kIidWorld);
    for (Handle child : {s.camera, s.light, s.content})
        s.check(call(s.world, &IkwGroupTable::addChild, child));
    s.check(call(s.world, &IkwWorldTable::setActiveCamera, s.camera));
    call(s.world, &IkwWorldTable::setBackground, s.background);
    s.g3d = s.make(kIidGraphics3D);
    s.eye = s.make(kIidTransform);
    s.check(call(s.eye, &IkwTransformTable::postTranslate, back));
    s.check(call(s.g3d, &IkwGraphics3DTable::setCamera, s.camera, s.eye));
    int32_t index = 0;
    s.check(call(s.g3d, &IkwGraphics3DTable::addLight, s.light, nullptr, &index));
    s.ray = s.make(kIidRayIntersection);
    if (hook)
        hook(s, 3);
    return s;
}

// What a game sees of the scene at one world time.
struct Look {
    EngineResult result[3] = {};
    int32_t validity = 0;
    std::vector<uint16_t> pixels;
    std::vector<uint32_t> hit; // flag, then distance, submesh, normal, s and t of both units, node id as bits
    bool operator==(const Look&) const = default;
};

Look frame(Scene& s, int32_t time)
{
    Look look;
    look.result[0] = call(s.world, &IkwObject3DTable::animate, time, &look.validity);
    const auto& g = tableOf<IkwGraphics3DTable>(s.g3d);
    if (s.holder == kOnContext) {
        look.result[1] = g.bindImage(s.g3d, s.canvas);
        if (look.result[1] == 0)
            look.result[1] = g.clear(s.g3d, nullptr);
        if (look.result[1] == 0)
            look.result[1] = g.renderNode(s.g3d, s.content, nullptr);
        uint32_t w = 0, h = 0;
        void* pixels = nullptr;
        call(s.canvas, &IkwImage2DTable::getWidth, &w);
        call(s.canvas, &IkwImage2DTable::getHeight, &h);
        call(s.canvas, &IkwImage2DTable::getPixels, &pixels);
        look.pixels.assign(static_cast<uint16_t*>(pixels), static_cast<uint16_t*>(pixels) + w * h);
    } else {
        std::fill(s.target.begin(), s.target.end(), uint16_t(0x5A5A));
        look.result[1] = g.bindBuffer(s.g3d, 24, 16, 48, s.target.data());
        if (look.result[1] == 0)
            look.result[1] = g.renderWorld(s.g3d, s.world);
        look.pixels = s.target;
    }
    const float origin[3] = {0.1f, 0.2f, 3}, direction[3] = {0, 0, -1};
    uint8_t hit = 0;
    look.result[2] = call(s.world, &IkwGroupTable::pickRay, ~0u, origin, direction, s.ray, &hit);
    look.hit.push_back(hit);
    if (hit != 0) {
        const auto& r = tableOf<IkwRayIntersectionTable>(s.ray);
        float f[10] = {};
        int32_t submesh = 0;
        r.getDistance(s.ray, &f[0]);
        r.getNormalX(s.ray, &f[1]);
        r.getNormalY(s.ray, &f[2]);
        r.getNormalZ(s.ray, &f[3]);
        for (uint32_t unit = 0; unit < 2; ++unit) {
            r.getTextureS(s.ray, unit, &f[4 + 2 * unit]);
            r.getTextureT(s.ray, unit, &f[5 + 2 * unit]);
        }
        r.getSubmeshIndex(s.ray, &submesh);
        Handle node = nullptr;
        uint32_t id = 0;
        if (r.getIntersected(s.ray, &node) == 0 && node != nullptr)
            call(node, &IkwObject3DTable::getUserID, &id);
        for (float v : f)
            look.hit.push_back(std::bit_cast<uint32_t>(v));
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
    int step = -1;        // when a fresh scene takes it; by default when its object is made
    bool kept = false;    // a stageset's depth stays as its first draw converted it: results only
};

int stepOf(const Change& c)
{
    if (c.step >= 0)
        return c.step;
    switch (c.iid) {
    case kIidVertexArray:
    case kIidImage2D:
    case kIidStageset:
    case kIidKeyframeSequence:
    case kIidAnimationController:
        return 0;
    case kIidVertexBuffer:
    case kIidTriangleStripArray:
    case kIidTexture2D:
    case kIidAppearance:
    case kIidMaterial:
    case kIidCompositingMode:
    case kIidPolygonMode:
    case kIidFog:
    case kIidAnimationTrack:
        return 1;
    case kIidWorld:
    case kIidGraphics3D:
        return 3;
    default:
        return 2;
    }
}

#define CHANGE(...) +[](Scene& s) -> EngineResult { __VA_ARGS__ }

const std::vector<Change>& changes()
{
    static const std::vector<Change> rows = {
        // The game lets go of what the scene holds.
        {kIidVertexBuffer, {0, 1}, kOnAll, CHANGE(unknownAddRef(s.vb);
            for (Handle h : {s.vb, s.vb, s.pos, s.col, s.wood, s.plasma, s.tex, s.look, s.sTrans, s.tTrans, s.ctl,
                             s.mesh, s.skin, s.bone, s.sprite, s.sheet, s.backdrop, s.stage, s.camera, s.light})
                unknownRelease(h);
            return 0;), 0, 3},
        {kIidMesh, {4}, kOnNodes, CHANGE(call(s.node, &IkwObject3DTable::setUserID, 77u); return 0;)},
        {kIidMesh, {7}, kOnNodes, CHANGE(return call(s.node, &IkwObject3DTable::addAnimationTrack, s.tTrans);)},
        {kIidGroup, {7}, kOnSkin, CHANGE(return call(s.bone, &IkwObject3DTable::addAnimationTrack, s.tTrans);)},
        {kIidGroup, {8}, kOnAll, CHANGE(call(s.content, &IkwObject3DTable::removeAnimationTrack, s.tTrans); return 0;)},
        {kIidWorld, {9}, kOnAll, CHANGE(int32_t v; return call(s.world, &IkwObject3DTable::animate, 250, &v);)},
        {kIidVertexBuffer, {11, 14, 15}, kOnGeometry, CHANGE(
            call(s.vb, &IkwObject3DTable::setDestroyCallback, +[](CkwRefCount*) {});
            const uint8_t bytes[2] = {1, 2};
            call(s.vb, &IkwObject3DTable::removeUserParameters);
            return call(s.vb, &IkwObject3DTable::setUserParameter, 5u, 2u, bytes);), 0, 3},
        // Transforms: of bones, the skeleton, a texture, the camera, the light and the holder.
        {kIidGroup, {20}, kOnSkin, CHANGE(const float v[3] = {0, -0.3f, 0};
            return call(s.bone, &IkwTransformableTable::setTranslation, v);)},
        {kIidGroup, {27}, kOnSkin, CHANGE(const float v[4] = {20, 0, 0, 1};
            return call(s.skeleton, &IkwTransformableTable::preRotate, v);)},
        {kIidGroup, {31}, kOnSkin, CHANGE(Handle t = s.make(kIidTransform); const float v[3] = {1.5f, 1, 1};
            call(t, &IkwTransformTable::postScale, v); return call(s.bone, &IkwTransformableTable::setTransform, t);)},
        {kIidTexture2D, {22, 25}, kOnTextures, CHANGE(const float v[3] = {2, 1, 1};
            call(s.tex, &IkwTransformableTable::setScale, v); return call(s.tex, &IkwTransformableTable::translate, v);)},
        {kIidCamera, {24}, kOnAll, CHANGE(const float v[4] = {5, 0, 1, 0};
            return call(s.camera, &IkwTransformableTable::setOrientation, v);)},
        {kIidLight, {28}, kOnTextures, CHANGE(const float v[4] = {40, 0, 1, 0};
            return call(s.light, &IkwTransformableTable::postRotate, v);)},
        {kIidMesh, {26}, kOnNodes, CHANGE(const float v[3] = {1.5f, 1, 1};
            return call(s.node, &IkwTransformableTable::scale, v);)},
        // Node state.
        {kIidMesh, {34, 36}, kOnNodes, CHANGE(call(s.node, &IkwNodeTable::setRenderingEnable, 0u);
            return call(s.node, &IkwNodeTable::setAlphaFactor, 0.5f);)},
        {kIidMesh, {34}, kOnNodes, CHANGE(return call(s.node, &IkwNodeTable::setAlphaFactor, 0.5f);)},
        {kIidMesh, {38, 40}, kOnNodes, CHANGE(call(s.node, &IkwNodeTable::setPickingEnable, 0u);
            call(s.node, &IkwNodeTable::setScope, 2u); return 0;)},
        {kIidWorld, {42, 45}, kOnNodes, CHANGE(EngineResult r = call(s.node, &IkwNodeTable::setAlignment, s.camera,
            uint32_t(kAlignOrigin), nullptr, uint32_t(kAlignNone));
            return r != 0 ? r : call(s.world, &IkwNodeTable::align, nullptr);)},
        // An alignment's reference gone from the world, and from memory.
        {kIidWorld, {1, 42, 45}, kOnNodes, CHANGE(Handle g = s.make(kIidGroup); call(s.world, &IkwGroupTable::addChild, g);
            call(s.node, &IkwNodeTable::setAlignment, g, uint32_t(kAlignOrigin), nullptr, uint32_t(kAlignNone));
            call(s.world, &IkwGroupTable::removeChild, g); unknownRelease(g);
            return call(s.world, &IkwNodeTable::align, nullptr) == kResultIllegalState ? 0 : 1;), 0, 3},
        // Arrays made again and written.
        {kIidVertexArray, {19}, kOnGeometry, CHANGE(return call(s.pos, &IkwVertexArrayTable::init, 4, 3, 2);)},
        {kIidVertexArray, {19}, kOnGeometry, CHANGE(return call(s.pos, &IkwVertexArrayTable::init, 6, 3, 2);), kDraw | kPick},
        {kIidVertexArray, {19}, kOnMorph, CHANGE(return call(s.pos, &IkwVertexArrayTable::init, 4, 2, 1);), kDraw | kPick},
        {kIidVertexArray, {19}, kOnGeometry, CHANGE(return call(s.col, &IkwVertexArrayTable::init, 4, 2, 2);), kDraw},
        {kIidVertexArray, {19}, kOnGeometry, CHANGE(return call(s.col, &IkwVertexArrayTable::init, 4, 3, 1);)},
        {kIidVertexArray, {19}, kOnGeometry, CHANGE(return call(s.col, &IkwVertexArrayTable::init, 3, 4, 1);), kDraw | kPick},
        {kIidVertexArray, {19}, kOnGeometry, CHANGE(return call(s.nrm, &IkwVertexArrayTable::init, 4, 3, 2);)},
        {kIidVertexArray, {19}, kOnGeometry, CHANGE(return call(s.nrm, &IkwVertexArrayTable::init, 4, 2, 1);), kDraw},
        {kIidVertexArray, {19}, kOnGeometry, CHANGE(return call(s.tex0, &IkwVertexArrayTable::init, 4, 3, 2);)},
        {kIidVertexArray, {19}, kOnGeometry, CHANGE(return call(s.tex1, &IkwVertexArrayTable::init, 2, 2, 1);), kDraw | kPick},
        {kIidVertexArray, {19}, kOnMorph, CHANGE(return call(s.tpos, &IkwVertexArrayTable::init, 4, 3, 1);)},
        {kIidVertexArray, {19}, kOnMorph, CHANGE(return call(s.tpos, &IkwVertexArrayTable::init, 5, 3, 2);)},
        {kIidVertexArray, {24}, kOnGeometry, CHANGE(const int16_t v[3] = {0, 0, 48};
            return call(s.pos, &IkwVertexArrayTable::setShorts, 1, 1, 3u, v);)},
        {kIidVertexArray, {24}, kOnMorph, CHANGE(const int16_t v[3] = {0, 0, 48};
            return call(s.tpos, &IkwVertexArrayTable::setShorts, 2, 1, 3u, v);)},
        {kIidVertexArray, {26}, kOnGeometry, CHANGE(const int8_t v[8] = {9, 9, 9, 9, 0, 60, 0, -1};
            return call(s.col, &IkwVertexArrayTable::setBytes, 2, 2, 8u, v);)},
        {kIidVertexArray, {26}, kOnGeometry, CHANGE(const int8_t v[3] = {120, 0, 20};
            return call(s.nrm, &IkwVertexArrayTable::setBytes, 0, 1, 3u, v);)},
        // Arrays swapped in the buffers.
        {kIidVertexBuffer, {20}, kOnGeometry, CHANGE(return call(s.vb, &IkwVertexBufferTable::setNormals, nullptr);)},
        {kIidVertexBuffer, {22, 24}, kOnGeometry, CHANGE(call(s.vb, &IkwVertexBufferTable::setDefaultColor, 0x80FF4000u);
            return call(s.vb, &IkwVertexBufferTable::setColors, nullptr);)},
        {kIidVertexBuffer, {27}, kOnGeometry, CHANGE(const float bias[3] = {0.25f, 0, 0};
            return call(s.vb, &IkwVertexBufferTable::setPositions, s.pos, 1.0f / 48, 3u, bias);)},
        {kIidVertexBuffer, {27}, kOnGeometry, CHANGE(const float bias[3] = {0, 0, 0};
            return call(s.vb, &IkwVertexBufferTable::setPositions, s.tpos, 1.0f / 64, 3u, bias);)},
        {kIidVertexBuffer, {29}, kOnGeometry, CHANGE(const float bias[2] = {0.5f, 0};
            return call(s.vb, &IkwVertexBufferTable::setTexCoords, 1u, s.tex0, 1.0f, 2u, bias);)},
        {kIidVertexBuffer, {22}, kOnMorph, CHANGE(return call(s.tvb, &IkwVertexBufferTable::setColors, s.col);)},
        {kIidVertexBuffer, {27}, kOnMorph, CHANGE(const float bias[3] = {0, 0.5f, 0};
            return call(s.tvb, &IkwVertexBufferTable::setPositions, s.tpos, 1.0f / 64, 3u, bias);)},
        // Strips made again.
        {kIidTriangleStripArray, {21}, kOnGeometry, CHANGE(const int32_t n = 3;
            return call(s.strips, &IkwTriangleStripArrayTable::initImplicit, 0, 1u, &n);)},
        {kIidTriangleStripArray, {21}, kOnGeometry, CHANGE(const int32_t n = 4;
            return call(s.strips, &IkwTriangleStripArrayTable::initImplicit, 1, 1u, &n);)},
        {kIidTriangleStripArray, {22}, kOnGeometry, CHANGE(const int32_t i[4] = {3, 2, 1, 0}, n = 4;
            return call(s.strips, &IkwTriangleStripArrayTable::initExplicit, 4u, i, 1u, &n);)},
        // Meshes made again.
        {kIidMesh, {46}, kOnMesh | kOnSkin | kOnMorph, CHANGE(const Handle strips[2] = {s.strips, s.strips};
            const Handle looks[2] = {s.look2, s.look};
            return call(s.node, &IkwMeshTable::initMulti, s.vb, 2u, strips, 2u, looks);)},
        {kIidMesh, {47}, kOnMesh | kOnSkin | kOnMorph, CHANGE(return call(s.node, &IkwMeshTable::init, s.tvb, s.strips, s.look);)},
        {kIidMesh, {52}, kOnMesh | kOnSkin | kOnMorph, CHANGE(return call(s.node, &IkwMeshTable::setAppearance, 0u, s.look2);)},
        {kIidMorphingMesh, {53}, kOnMorph, CHANGE(const Handle targets[2] = {s.tvb, s.vb};
            return call(s.morph, &IkwMorphingMeshTable::initMulti, s.vb, 2u, targets, 1u, &s.strips, 1u, &s.look);)},
        {kIidMorphingMesh, {54}, kOnMorph, CHANGE(return call(s.morph, &IkwMorphingMeshTable::init, s.tvb, 1u, &s.vb, s.strips, s.look2);)},
        {kIidMorphingMesh, {58}, kOnMorph, CHANGE(const float w[1] = {1.5f};
            return call(s.morph, &IkwMorphingMeshTable::setWeights, 1u, w);)},
        {kIidSkinnedMesh, {53}, kOnSkin, CHANGE(Handle skeleton = s.make(kIidGroup);
            return call(s.skin, &IkwSkinnedMeshTable::initMulti, s.vb, 1u, &s.strips, 1u, &s.look, skeleton);)},
        {kIidSkinnedMesh, {54}, kOnSkin, CHANGE(Handle skeleton = s.make(kIidGroup);
            return call(s.skin, &IkwSkinnedMeshTable::init, s.tvb, s.strips, s.look, skeleton);)},
        {kIidSkinnedMesh, {56}, kOnSkin, CHANGE(return call(s.skin, &IkwSkinnedMeshTable::addTransform, s.bone, 3, 1, 2);)},
        {kIidSkinnedMesh, {56}, kOnSkin, CHANGE(return call(s.skin, &IkwSkinnedMeshTable::addTransform, s.bone, 3, 2, 3);)},
        // Sprites.
        {kIidSprite3D, {46}, kOnSprite, CHANGE(return call(s.sprite, &IkwSprite3DTable::init, 0u, s.wood, s.look);)},
        {kIidSprite3D, {48}, kOnSprite, CHANGE(call(s.sprite, &IkwSprite3DTable::setAppearance, s.look); return 0;)},
        {kIidSprite3D, {50}, kOnSprite, CHANGE(return call(s.sprite, &IkwSprite3DTable::setImage, s.backdrop);)},
        {kIidSprite3D, {56}, kOnSprite, CHANGE(return call(s.sprite, &IkwSprite3DTable::setCrop, 1, 0, -3, 2);)},
        // Images made again and written, wherever they are held.
        {kIidImage2D, {21}, kOnTextures, CHANGE(return call(s.wood, &IkwImage2DTable::init, 99u, 8u, 8u);)},
        {kIidImage2D, {21}, kOnTextures, CHANGE(return call(s.wood, &IkwImage2DTable::init, 99u, 6u, 4u);), kDraw},
        {kIidImage2D, {21}, kOnTextures, CHANGE(return call(s.wood, &IkwImage2DTable::init, 98u, 4u, 4u);)},
        {kIidImage2D, {30}, kOnTextures, CHANGE(const uint8_t v[12] = {9, 9, 9, 200, 0, 0, 0, 200, 0, 0, 0, 200};
            return call(s.wood, &IkwImage2DTable::set, 1, 1, 2, 2, 12u, v);)},
        {kIidImage2D, {19}, kOnSprite, CHANGE(const uint8_t v[15] = {10, 40, 70, 100, 130, 160, 190, 220, 250, 20, 50, 80, 110, 140, 170};
            return call(s.sheet, &IkwImage2DTable::initWithPixels, 97u, 3u, 5u, 15u, v);)},
        {kIidImage2D, {20}, kOnBackdrop, CHANGE(const uint8_t i[15] = {0, 1, 0, 1, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
            const uint8_t p[6] = {250, 200, 0, 0, 100, 250};
            return call(s.backdrop, &IkwImage2DTable::initWithPalette, 99u, 5u, 3u, 15u, i, 6u, p);)},
        {kIidImage2D, {22}, kOnBackdrop, CHANGE(return call(s.backdrop, &IkwImage2DTable::initEx, 100u, 4u, 4u, 1u);)},
        {kIidImage2D, {21}, kOnTextures, CHANGE(return call(s.plasma, &IkwImage2DTable::init, 99u, 4u, 4u);)},
        {kIidImage2D, {21}, kOnTextures, CHANGE(return call(s.plasma, &IkwImage2DTable::init, 99u, 3u, 4u);), kDraw},
        {kIidImage2D, {21}, kOnMorph | kOnSprite, CHANGE(return call(s.packed, &IkwImage2DTable::init, 99u, 2u, 2u);)},
        {kIidImage2D, {21}, kOnStageset, CHANGE(return call(s.stage, &IkwImage2DTable::init, 99u, 4u, 4u);)},
        {kIidImage2D, {30}, kOnStageset, CHANGE(const uint8_t v[12] = {9, 9, 9, 200, 0, 0, 0, 200, 0, 0, 0, 200};
            call(s.stage, &IkwImage2DTable::init, 99u, 8u, 8u);
            return call(s.stage, &IkwImage2DTable::set, 1, 1, 2, 2, 12u, v);)},
        {kIidImage2D, {21}, kOnContext, CHANGE(return call(s.canvas, &IkwImage2DTable::init, 99u, 10u, 6u);)},
        {kIidImage2D, {19}, kOnContext, CHANGE(const uint8_t v[12] = {};
            return call(s.canvas, &IkwImage2DTable::initWithPixels, 99u, 2u, 2u, 12u, v);)},
        {kIidStageset, {31}, kOnStageset, CHANGE(std::vector<uint8_t> v(80, 0); std::fill_n(v.begin(), 48, 200);
            return call(s.stage, &IkwStagesetTable::initWithValues, 4, 4, 80u, v.data());)},
        {kIidStageset, {32}, kOnStageset, CHANGE(return call(s.stage, &IkwStagesetTable::init, 16, 8);)},
        {kIidStageset, {34, 36}, kOnStageset, CHANGE(call(s.stage, &IkwStagesetTable::setParam2, 1.0f);
            return call(s.stage, &IkwStagesetTable::setParam1, 0.001f);), 0, -1, true},
        // Textures and appearances.
        {kIidTexture2D, {32}, kOnTextures, CHANGE(return call(s.tex, &IkwTexture2DTable::init, s.backdrop);)},
        {kIidTexture2D, {34}, kOnTextures, CHANGE(return call(s.texP, &IkwTexture2DTable::setImage, s.wood);)},
        {kIidTexture2D, {36, 38, 43, 44}, kOnTextures, CHANGE(call(s.tex, &IkwTexture2DTable::setBlendColor, 0x00FF00u);
            call(s.tex, &IkwTexture2DTable::setWrapping, uint32_t(kTextureWrapClamp), uint32_t(kTextureWrapClamp));
            call(s.tex, &IkwTexture2DTable::setFiltering, uint32_t(kTextureFilterLinear), uint32_t(kTextureFilterLinear));
            return call(s.tex, &IkwTexture2DTable::setBlending, uint32_t(kTextureFuncBlend));)},
        {kIidAppearance, {20, 22, 24}, kOnGeometry | kOnSprite, CHANGE(call(s.look, &IkwAppearanceTable::setMaterial, nullptr);
            call(s.look, &IkwAppearanceTable::setFog, nullptr); return call(s.look, &IkwAppearanceTable::setLayer, 2);)},
        {kIidAppearance, {26, 28, 30}, kOnGeometry, CHANGE(call(s.look, &IkwAppearanceTable::setCompositingMode, nullptr);
            call(s.look, &IkwAppearanceTable::setPolygonMode, nullptr);
            return call(s.look, &IkwAppearanceTable::setTexture, 1u, s.texQ);)},
        {kIidMaterial, {20, 22, 24}, kOnGeometry | kOnSprite, CHANGE(call(s.material, &IkwMaterialTable::setVertexColorTrackingEnable, 0u);
            call(s.material, &IkwMaterialTable::setShininess, 20.0f);
            return call(s.material, &IkwMaterialTable::setColor, uint32_t(CkwMaterial::kAllTargets), 0x80406080u);)},
        {kIidCompositingMode, {20, 22, 24, 26, 28, 30, 33}, kOnGeometry, CHANGE(const auto& c = tableOf<IkwCompositingModeTable>(s.cm);
            c.setColorWriteEnable(s.cm, 1); c.setAlphaWriteEnable(s.cm, 0); c.setDepthWriteEnable(s.cm, 0);
            c.setDepthTestEnable(s.cm, 0); c.setAlphaThreshold(s.cm, 0.5f); c.setDepthOffset(s.cm, 1, 2);
            return c.setBlending(s.cm, uint32_t(CkwCompositingMode::kModulate));)},
        {kIidPolygonMode, {20, 22, 24, 26, 28, 30}, kOnGeometry, CHANGE(const auto& p = tableOf<IkwPolygonModeTable>(s.pm);
            p.setLocalCameraLightingEnable(s.pm, 1); p.setPerspectiveCorrectionEnable(s.pm, 1);
            p.setTwoSidedLightingEnable(s.pm, 1); p.setShading(s.pm, 164); p.setWinding(s.pm, 169);
            return p.setCulling(s.pm, 160);)},
        {kIidFog, {20, 22, 24, 27}, kOnGeometry, CHANGE(call(s.fog, &IkwFogTable::setColor, 0xFF8000u);
            call(s.fog, &IkwFogTable::setMode, uint32_t(CkwFog::kExponential)); call(s.fog, &IkwFogTable::setDensity, 0.3f);
            return call(s.fog, &IkwFogTable::setLinear, 1.0f, 4.0f);)},
        {kIidLight, {47, 49, 51, 53, 55, 59}, kOnTextures, CHANGE(const auto& l = tableOf<IkwLightTable>(s.light);
            l.setColor(s.light, 0xFF8040); l.setIntensity(s.light, 0.75f); l.setSpotAngle(s.light, 60);
            l.setSpotExponent(s.light, 2); l.setAttenuation(s.light, 1, 0.1f, 0);
            return l.setMode(s.light, uint32_t(CkwLight::kOmni));)},
        {kIidLight, {36, 40}, kOnTextures, CHANGE(call(s.light, &IkwNodeTable::setScope, 0u);
            call(s.light, &IkwNodeTable::setRenderingEnable, 0u); return 0;)},
        {kIidWorld, {49}, kOnTextures, CHANGE(return call(s.world, &IkwGroupTable::removeChild, s.light);)},
        // Backgrounds.
        {kIidBackground, {20, 30, 32}, kOnAll & ~kOnStageset, CHANGE(call(s.background, &IkwBackgroundTable::setColor, 0xFF806040u);
            call(s.background, &IkwBackgroundTable::setColorClearEnable, 0u);
            call(s.background, &IkwBackgroundTable::setDepthClearEnable, 0u); return 0;)},
        {kIidBackground, {22}, kOnBackdrop | kOnStageset | kOnMesh, CHANGE(return call(s.background, &IkwBackgroundTable::setImage, s.stage);)},
        {kIidBackground, {33, 34}, kOnBackdrop | kOnStageset, CHANGE(call(s.background, &IkwBackgroundTable::setCrop, -2, 1, 12, 5);
            return call(s.background, &IkwBackgroundTable::setImageMode, uint32_t(CkwBackground::kBorder), uint32_t(CkwBackground::kRepeat));)},
        // The world, its groups and its camera.
        {kIidWorld, {53}, kOnAll, CHANGE(Handle camera = s.make(kIidCamera);
            call(camera, &IkwCameraTable::setParallel, 3.0f, 1.5f, 0.5f, 10.0f);
            call(s.world, &IkwGroupTable::addChild, camera); return call(s.world, &IkwWorldTable::setActiveCamera, camera);)},
        {kIidWorld, {55}, kOnAll, CHANGE(call(s.world, &IkwWorldTable::setBackground, nullptr); return 0;)},
        {kIidGroup, {48}, kOnNodes, CHANGE(return call(s.content, &IkwGroupTable::addChild, s.morph);)},
        {kIidGroup, {49}, kOnNodes, CHANGE(return call(s.content, &IkwGroupTable::removeChild, s.node);)},
        // The last holder gone while the renderer and the pick remember the object.
        {kIidGroup, {1, 49}, kOnNodes, CHANGE(EngineResult r = call(s.content, &IkwGroupTable::removeChild, s.node);
            for (Handle h : {s.node, s.vb, s.look, s.strips})
                unknownRelease(h);
            return r;), 0, 3},
        {kIidGroup, {48, 49}, kOnNodes, CHANGE(call(s.content, &IkwGroupTable::removeChild, s.node);
            return call(s.world, &IkwGroupTable::addChild, s.node);), 0, 3},
        {kIidCamera, {48}, kOnAll & ~kOnStageset, CHANGE(Handle t = s.make(kIidTransform); uint32_t kind = 0;
            call(s.camera, &IkwCameraTable::getProjection, t, &kind);
            const float v[3] = {1.25f, 1.25f, 1}; call(t, &IkwTransformTable::postScale, v);
            return call(s.camera, &IkwCameraTable::setGeneric, t);)},
        {kIidCamera, {49}, kOnAll & ~kOnStageset, CHANGE(return call(s.camera, &IkwCameraTable::setParallel, 3.0f, 1.5f, 1.0f, 20.0f);)},
        {kIidCamera, {50}, kOnAll & ~kOnStageset, CHANGE(return call(s.camera, &IkwCameraTable::setPerspective, 45.0f, 1.5f, 2.0f, 4.0f);)},
        // Animation: sequences, tracks and controllers.
        {kIidKeyframeSequence, {19}, kOnAll, CHANGE(return call(s.sTrans, &IkwKeyframeSequenceTable::init, 2, 3, 178u);)},
        {kIidKeyframeSequence, {19}, kOnAll, CHANGE(return call(s.sTrans, &IkwKeyframeSequenceTable::init, 3, 2, 176u);), kAnimate},
        {kIidKeyframeSequence, {19}, kOnSprite | kOnBackdrop, CHANGE(return call(s.sCrop, &IkwKeyframeSequenceTable::init, 2, 4, 176u);), kAnimate},
        {kIidKeyframeSequence, {19}, kOnMorph, CHANGE(return call(s.sWeights, &IkwKeyframeSequenceTable::init, 2, 3, 176u);), kAnimate},
        {kIidKeyframeSequence, {21}, kOnAll, CHANGE(return call(s.sTrans, &IkwKeyframeSequenceTable::setDuration, 150);)},
        {kIidKeyframeSequence, {21, 23}, kOnAll, CHANGE(call(s.sTrans, &IkwKeyframeSequenceTable::setDuration, 250);
            return call(s.sTrans, &IkwKeyframeSequenceTable::setRepeatMode, 192u);)},
        {kIidKeyframeSequence, {30, 31}, kOnAll, CHANGE(const float v[3] = {0.5f, 0.5f, 0};
            call(s.sTrans, &IkwKeyframeSequenceTable::setKeyframe, 1, 120, 3u, v);
            return call(s.sTrans, &IkwKeyframeSequenceTable::setValidRange, 1, 2);)},
        {kIidAnimationTrack, {19}, kOnAll, CHANGE(return call(s.tTrans, &IkwAnimationTrackTable::init, s.sTrans, 270u);), kAnimate},
        {kIidAnimationTrack, {19}, kOnAll, CHANGE(return call(s.tTrans, &IkwAnimationTrackTable::init, s.sCrop, 259u);), kAnimate},
        {kIidAnimationTrack, {19}, kOnMorph, CHANGE(return call(s.tWeights, &IkwAnimationTrackTable::init, s.sTrans, 266u);), kAnimate},
        {kIidAnimationTrack, {21}, kOnAll, CHANGE(call(s.tTrans, &IkwAnimationTrackTable::setController, nullptr); return 0;)},
        {kIidAnimationController, {20, 25}, kOnAll, CHANGE(call(s.ctl, &IkwAnimationControllerTable::setWeight, 0.5f);
            return call(s.ctl, &IkwAnimationControllerTable::setActiveInterval, 0, 350);)},
        {kIidAnimationController, {27, 28}, kOnAll, CHANGE(call(s.ctl, &IkwAnimationControllerTable::setPosition, 40.0f, 250);
            return call(s.ctl, &IkwAnimationControllerTable::setSpeed, 2.0f, 260);)},
        // The render context: what it binds, holds and draws between frames.
        {kIidGraphics3D, {12, 13, 14, 15}, kOnAll, CHANGE(const auto& g = tableOf<IkwGraphics3DTable>(s.g3d);
            static uint16_t other[64];
            g.bindBuffer(s.g3d, 8, 8, 16, other); g.bindBufferClipped(s.g3d, 8, 8, 16, other, 1, 1, 4, 4);
            g.setTargetPixels(s.g3d, other); g.releaseTarget(s.g3d);
            return g.bindImage(s.g3d, s.canvas);)},
        {kIidGraphics3D, {17, 18, 19}, kOnAll, CHANGE(const auto& g = tableOf<IkwGraphics3DTable>(s.g3d);
            g.setTargetOptions(s.g3d, 0, 4); g.setDepthRange(s.g3d, 0.25f, 0.75f);
            return g.setViewport(s.g3d, 2, 1, 20, 12);)},
        {kIidGraphics3D, {20, 21, 22, 23}, kOnAll, CHANGE(const auto& g = tableOf<IkwGraphics3DTable>(s.g3d);
            static uint16_t other[64];
            g.bindBuffer(s.g3d, 8, 8, 16, other);
            g.clear(s.g3d, s.background); g.renderImmediate(s.g3d, s.vb, s.strips, s.look, s.eye, ~0u);
            g.renderNode(s.g3d, s.node, s.eye);
            return g.renderWorld(s.g3d, s.world);)},
        {kIidGraphics3D, {25, 26, 28, 29}, kOnContext, CHANGE(const auto& g = tableOf<IkwGraphics3DTable>(s.g3d);
            Handle light = s.make(kIidLight); int32_t index = 0;
            g.resetLights(s.g3d); g.addLight(s.g3d, s.light, nullptr, &index); g.setLight(s.g3d, 0, light, s.eye);
            return g.setCamera(s.g3d, s.camera, nullptr);)},
    };
    return rows;
}

TEST(SceneSweep, EveryChangeAnimatesDrawsAndPicksAsAFreshSceneOrIsRefused)
{
    SceneEngine engine;
    ASSERT_TRUE(engine.ready());
    engine.api().setOption(kOptionTrackHandles);
    // Every entry of every table is classified, and every change is tried.
    for (const InterfaceInfo& info : interfaceMetadata())
        EXPECT_EQ(firstEntry(info.iid) + strlen(familyOf(info.iid)->entries), info.entryCount) << info.iid;
    for (const Family& family : kFamilies)
        for (uint32_t i = 0; family.entries[i] != 0; ++i) {
            const uint32_t entry = firstEntry(family.iid) + i;
            const bool tried = std::any_of(changes().begin(), changes().end(), [&](const Change& c) {
                return inherits(c.iid, family.iid) && std::count(c.entries.begin(), c.entries.end(), entry) != 0;
            });
            EXPECT_EQ(tried, family.entries[i] == 'c') << "interface " << family.iid << " entry " << entry;
        }
    for (const Change& change : changes())
        for (uint32_t holder = 1; holder < kOnAll; holder <<= 1) {
            if ((change.holders & holder) == 0)
                continue;
            SCOPED_TRACE(testing::Message() << "interface " << change.iid << " entry " << change.entries[0]
                                            << " holder " << holder << " row " << (&change - changes().data()));
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
                Look after = frame(live, time);
                const Look expected = fresh.failed == 0 ? frame(fresh, time) : Look{};
                // What follows a refusal is not compared: an animation cut
                // short leaves the scene between two states.
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
