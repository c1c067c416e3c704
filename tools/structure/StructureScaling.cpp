// The scaling table's generators and its run. Every scene hangs under a
// World with a camera looking down -Z at the origin, a light and a
// background, so that each file draws, picks and animates; what a row scales
// is one relation, N of it, over the smallest valid records around it.
#include "tools/structure/StructureScaling.h"

#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <unordered_map>

#include "engine/core/interface/EngineResult.h"
#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/interface/MethodTables.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/EngineErrors.h"
#include "engine/core/scene/SceneIds.h"
#include "game/shell/EngineRef.h"
#include "tools/archive/ArchiveWriter.h"
#include "tools/m3g/M3gAnimationEncoders.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gImageEncoders.h"
#include "tools/m3g/M3gStateEncoders.h"

namespace {

uint64_t g_allocatedBytes = 0;

void* countingAlloc(uint32_t size, uint32_t)
{
    g_allocatedBytes += size;
    return std::malloc(size != 0 ? size : 1);
}

void countingFree(void* p) { std::free(p); }

constexpr uint8_t kLoop = 193;

// A scene under construction: the objects every row shares are written on
// first use, the World and its camera at the end.
class SceneWriter {
public:
    M3gFileWriter w;
    std::vector<uint32_t> children; // of the World

    // 2 × pairs vertices, two to a row, lit ones facing +Z; the quad of two
    // rows is written once.
    uint32_t vertexBuffer(uint32_t pairs = 2, bool lit = false)
    {
        if (pairs == 2 && !lit && m_quad != 0)
            return m_quad;
        M3gVertexArrayFields positions;
        M3gVertexArrayFields texCoords;
        M3gVertexArrayFields normals;
        texCoords.componentCount = 2;
        normals.componentSize = 1;
        for (uint32_t i = 0; i < pairs; ++i)
            for (int32_t x : {0, 1}) {
                positions.values.insert(positions.values.end(), {x * 2 - 1, int32_t(i % 3) - 1, 0});
                texCoords.values.insert(texCoords.values.end(), {x, int32_t(i % 2)});
                normals.values.insert(normals.values.end(), {0, 0, 127});
            }
        M3gVertexBufferFields b;
        b.positions = w.addObject(m3gVertexArrayRecord(positions));
        b.texCoords = {{w.addObject(m3gVertexArrayRecord(texCoords))}};
        if (lit)
            b.normals = w.addObject(m3gVertexArrayRecord(normals));
        const uint32_t made = w.addObject(m3gVertexBufferRecord(b));
        if (pairs == 2 && !lit)
            m_quad = made;
        return made;
    }
    uint32_t strip(uint32_t first = 0)
    {
        if (first == 0 && m_strip != 0)
            return m_strip;
        M3gTriangleStripFields s;
        s.startIndex = first;
        s.stripLengths = {4};
        const uint32_t made = w.addObject(m3gTriangleStripRecord(s));
        if (first == 0)
            m_strip = made;
        return made;
    }
    uint32_t appearance()
    {
        if (m_appearance == 0)
            m_appearance = w.addObject(m3gAppearanceRecord({}));
        return m_appearance;
    }
    M3gMeshFields meshFields(uint32_t look = 0)
    {
        M3gMeshFields m;
        m.vertexBuffer = vertexBuffer();
        m.submeshes = {{strip(), look != 0 ? look : appearance()}};
        return m;
    }
    uint32_t mesh(uint32_t look = 0) { return w.addObject(m3gMeshRecord(meshFields(look))); }
    uint32_t group(std::vector<uint32_t> children, M3gNodeFields node = {})
    {
        M3gGroupFields g;
        g.node = std::move(node);
        g.children = std::move(children);
        return w.addObject(m3gGroupRecord(g));
    }
    // A sequence of n keyframes of components values each, the i-th at 10 i;
    // the last component stays 1, so four make a turn.
    uint32_t sequence(uint32_t n, uint32_t components = 3)
    {
        M3gKeyframeSequenceFields s;
        s.repeatMode = kLoop;
        s.componentCount = components;
        s.duration = 10 * n;
        s.validRangeLast = n - 1;
        for (uint32_t i = 0; i < n; ++i) {
            std::vector<float> value(components, float(i % 7) / 7.0f);
            value.back() = 1.0f;
            s.keyframes.push_back({int32_t(10 * i), std::move(value)});
        }
        return w.addObject(m3gKeyframeSequenceRecord(s));
    }
    uint32_t controller() { return w.addObject(m3gAnimationControllerRecord({})); }
    uint32_t track(uint32_t sequence, uint32_t controller, uint32_t property = kPropertyTranslation)
    {
        return w.addObject(m3gAnimationTrackRecord({{}, sequence, controller, property}));
    }
    uint32_t image(uint8_t size = 2)
    {
        M3gImage2DFields i;
        i.width = size;
        i.height = size;
        i.pixels.assign(size_t(size) * size * 3, 0x80);
        return w.addObject(m3gImage2DRecord(i));
    }
    uint32_t texture(uint32_t image)
    {
        M3gTexture2DFields t;
        t.image = image;
        return w.addObject(m3gTexture2DRecord(t));
    }

    std::vector<uint8_t> finish()
    {
        M3gCameraFields camera;
        camera.projection = 50;
        camera.node.transformable.components = M3gComponentTransform{{0, 0, 20}};
        M3gLightFields light;
        light.mode = 128;
        M3gBackgroundFields background;
        background.color = 0xFF203040;
        M3gWorldFields world;
        world.activeCamera = w.addObject(m3gCameraRecord(camera));
        world.background = w.addObject(m3gBackgroundRecord(background));
        world.group.children = children;
        world.group.children.push_back(world.activeCamera);
        world.group.children.push_back(w.addObject(m3gLightRecord(light)));
        w.addObject(m3gWorldRecord(world));
        return w.finish();
    }

private:
    uint32_t m_quad = 0;
    uint32_t m_strip = 0;
    uint32_t m_appearance = 0;
};

ScalingFile scene(SceneWriter& s)
{
    ScalingFile file;
    file.bytes = s.finish();
    return file;
}

M3gNodeFields withTracks(std::vector<uint32_t> tracks)
{
    M3gNodeFields node;
    node.transformable.object.animationTracks = std::move(tracks);
    return node;
}

// One group holding n meshes.
ScalingFile childFan(uint32_t n)
{
    SceneWriter s;
    std::vector<uint32_t> meshes;
    for (uint32_t i = 0; i < n; ++i)
        meshes.push_back(s.mesh());
    s.children.push_back(s.group(meshes));
    return scene(s);
}

// A mesh under a chain of n groups.
ScalingFile childChain(uint32_t n)
{
    SceneWriter s;
    uint32_t top = s.mesh();
    for (uint32_t i = 0; i < n; ++i)
        top = s.group({top});
    s.children.push_back(top);
    return scene(s);
}

// n references to one file of n groups: what the file asks for is n
// references and one file of n, not n copies of it.
ScalingFile externalReference(uint32_t n)
{
    ScalingFile file;
    SceneWriter leaf;
    std::vector<uint32_t> groups;
    for (uint32_t i = 0; i < n; ++i)
        groups.push_back(leaf.group({}));
    leaf.w.addObject(m3gGroupRecord({{}, groups}));
    file.files.push_back({"leaf.m3g", leaf.w.finish()});
    SceneWriter top;
    for (uint32_t i = 0; i < n; ++i)
        top.w.addExternalReference("leaf.m3g");
    top.children.push_back(top.mesh());
    file.files.push_back({"top.m3g", top.finish()});
    file.name = "top.m3g";
    return file;
}

// Archive members m0 .. mn, each but the last referencing the next twice:
// a ladder whose paths double at every rung.
ScalingFile archiveMember(uint32_t n)
{
    ArchiveWriter archive;
    for (uint32_t i = 0; i <= n; ++i) {
        SceneWriter s;
        if (i < n)
            for (int twice = 0; twice < 2; ++twice)
                s.w.addExternalReference("m" + std::to_string(i + 1));
        if (i == 0)
            s.children.push_back(s.mesh());
        else
            s.group({});
        archive.add("m" + std::to_string(i), i == 0 ? s.finish() : s.w.finish());
    }
    ScalingFile file;
    file.files.push_back({"ladder.arc", archive.finish()});
    file.name = "mvlarc:ladder.arc!m0";
    return file;
}

// One group with n tracks of one sequence and controller.
ScalingFile animationTrack(uint32_t n)
{
    SceneWriter s;
    const uint32_t sequence = s.sequence(2);
    const uint32_t controller = s.controller();
    std::vector<uint32_t> tracks;
    for (uint32_t i = 0; i < n; ++i)
        tracks.push_back(s.track(sequence, controller));
    s.children.push_back(s.group({s.mesh()}, withTracks(tracks)));
    return scene(s);
}

// One group with n tracks over three properties, taken off with a read
// between removals.
ScalingFile trackRemoval(uint32_t n)
{
    SceneWriter s;
    const uint32_t sequences[] = {s.sequence(2), s.sequence(2, 4), s.sequence(2, 1)};
    const int32_t properties[] = {kPropertyTranslation, kPropertyOrientation, kPropertyAlpha};
    const uint32_t controller = s.controller();
    std::vector<uint32_t> tracks;
    for (uint32_t i = 0; i < n; ++i)
        tracks.push_back(s.track(sequences[i % 3], controller, uint32_t(properties[i % 3])));
    s.children.push_back(s.group({s.mesh()}, withTracks(tracks)));
    return scene(s);
}

// n deflated sections, each one group with a user parameter of n × 3 MiB of
// zeros: each section under its cap, the load past its allowance at once.
ScalingFile largeRecordSections(uint32_t n)
{
    SceneWriter s;
    M3gNodeFields node;
    node.transformable.object.userParameters = {{1, std::vector<uint8_t>(size_t(n) * (3 << 20), 0)}};
    s.w.beginSection(kM3gSchemeZlib);
    s.group({}, node);
    s.w.repeatSection(n - 1);
    s.w.beginSection(kM3gSchemeNone);
    return scene(s);
}

// n groups whose tracks share one sequence of n keyframes, sampled near its
// end.
ScalingFile sharedSequence(uint32_t n)
{
    SceneWriter s;
    const uint32_t sequence = s.sequence(n);
    const uint32_t controller = s.controller();
    for (uint32_t i = 0; i < n; ++i)
        s.children.push_back(s.group({}, withTracks({s.track(sequence, controller)})));
    ScalingFile file = scene(s);
    file.time = int32_t(10 * n - 15);
    return file;
}

// n groups, each moved by a track under a controller of its own.
ScalingFile controller(uint32_t n)
{
    SceneWriter s;
    const uint32_t sequence = s.sequence(2);
    for (uint32_t i = 0; i < n; ++i)
        s.children.push_back(s.group({}, withTracks({s.track(sequence, s.controller())})));
    return scene(s);
}

// A skinned mesh of 2n vertices over bones; binding i ties bone i % bones
// to vertices 2i and 2i + 1. A chain makes each bone the child of the one
// before it, and a moving skeleton animates every bone.
ScalingFile skin(uint32_t n, uint32_t bones, bool chain)
{
    SceneWriter s;
    const uint32_t sequence = s.sequence(2, 4);
    const uint32_t controller = s.controller();
    std::vector<uint32_t> made;
    for (uint32_t i = 0; i < bones; ++i) {
        const uint32_t orientation = s.track(sequence, controller, kPropertyOrientation);
        made.push_back(s.group(chain && i > 0 ? std::vector<uint32_t>{made.back()} : std::vector<uint32_t>{},
                               withTracks({orientation})));
    }
    M3gSkinnedMeshFields m;
    m.mesh.vertexBuffer = s.vertexBuffer(n);
    M3gTriangleStripFields all;
    all.stripLengths = {2 * n};
    m.mesh.submeshes = {{s.w.addObject(m3gTriangleStripRecord(all)), s.appearance()}};
    m.skeleton = s.group(chain ? std::vector<uint32_t>{made.back()} : made);
    for (uint32_t i = 0; i < n; ++i)
        m.bones.push_back({made[chain ? bones - 1 - i % bones : i % bones], 2 * i, 2, 1});
    s.children.push_back(s.w.addObject(m3gSkinnedMeshRecord(m)));
    return scene(s);
}

// n skinned meshes over one source of 2n + 2 vertices, each binding its own
// two rows to a bone of its own and drawing them.
ScalingFile skinsSharingASource(uint32_t n)
{
    SceneWriter s;
    const uint32_t source = s.vertexBuffer(n + 1);
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t bone = s.group({});
        M3gSkinnedMeshFields m;
        m.mesh = s.meshFields();
        m.mesh.vertexBuffer = source;
        m.mesh.submeshes = {{s.strip(2 * i), s.appearance()}};
        m.skeleton = s.group({bone});
        m.bones = {{bone, 2 * i, 4, 1}};
        s.children.push_back(s.w.addObject(m3gSkinnedMeshRecord(m)));
    }
    return scene(s);
}

ScalingFile bone(uint32_t n) { return skin(n, n, false); }
ScalingFile binding(uint32_t n) { return skin(n, 2, false); }
ScalingFile skeletonDepth(uint32_t n) { return skin(n, n, true); }

// A chain of n groups, each Z-aligned to the group beside it.
ScalingFile alignmentTarget(uint32_t n)
{
    SceneWriter s;
    uint32_t top = s.mesh();
    for (uint32_t i = 0; i < n; ++i) {
        M3gNodeFields aligned;
        const uint32_t beside = s.group({});
        aligned.alignment = M3gAlignmentFields{kAlignOrigin, kAlignNone, beside, 0};
        top = s.group({s.group({top}, aligned), beside});
    }
    s.children.push_back(top);
    return scene(s);
}

// n meshes, each Z-aligned to the first.
ScalingFile sharedAlignmentTarget(uint32_t n)
{
    SceneWriter s;
    const uint32_t first = s.mesh();
    std::vector<uint32_t> meshes{first};
    for (uint32_t i = 1; i < n; ++i) {
        M3gMeshFields m = s.meshFields();
        m.node.alignment = M3gAlignmentFields{kAlignOrigin, kAlignNone, first, 0};
        meshes.push_back(s.w.addObject(m3gMeshRecord(m)));
    }
    s.children.push_back(s.group(meshes));
    return scene(s);
}

// A node at translation t, scaled by scale.
M3gNodeFields placed(std::array<float, 3> t, float scale = 1.0f)
{
    M3gNodeFields node;
    node.transformable.components = M3gComponentTransform{t, {scale, scale, scale}};
    return node;
}

// A spine of n groups, each a step up from the last, holding a target leaf
// and a leaf aimed at the target as far from the foot as its own node is
// from the top: every reference is met once, where the spine meets it, and
// that meeting node moves down the spine and back up. The climbs grow with
// depth times references, about n^2 / 2 steps.
ScalingFile alignmentMeetingNodeMoves(uint32_t n)
{
    SceneWriter s;
    std::vector<uint32_t> targets;
    for (uint32_t i = 0; i < n; ++i)
        targets.push_back(s.group({}, placed({0, 0, 1})));
    uint32_t below = 0;
    for (uint32_t i = n; i-- > 0;) {
        M3gNodeFields aimed = placed({1, 0, 0});
        aimed.alignment = M3gAlignmentFields{kAlignOrigin, kAlignNone, targets[n - 1 - i], 0};
        std::vector<uint32_t> children{s.group({}, aimed), targets[i]};
        if (below != 0)
            children.push_back(below);
        below = s.group(children, placed({0, 1, 0}));
    }
    s.children.push_back(below);
    return scene(s);
}

// A spine of n groups, each a step up from the last and scaled by
// 2^(-300/n), so that products from its top vanish, with a leaf under each;
// each node aimed at the leaf a fifth of the spine above it: about n^2 / 6
// steps.
ScalingFile alignmentSingularProducts(uint32_t n)
{
    SceneWriter s;
    std::vector<uint32_t> leaves;
    for (uint32_t i = 0; i < n; ++i)
        leaves.push_back(s.group({}, placed({0, 0, 1})));
    const float scale = std::exp2(-300.0f / float(n));
    uint32_t below = 0;
    for (uint32_t i = n; i-- > 0;) {
        M3gNodeFields node = placed({0, 1, 0}, scale);
        if (i >= n / 5)
            node.alignment = M3gAlignmentFields{kAlignOrigin, kAlignNone, leaves[i - n / 5], 0};
        std::vector<uint32_t> children{leaves[i]};
        if (below != 0)
            children.push_back(below);
        below = s.group(children, node);
    }
    s.children.push_back(below);
    return scene(s);
}

// A morphing mesh of n targets naming one buffer, its weights animated.
ScalingFile morphTarget(uint32_t n)
{
    SceneWriter s;
    M3gMorphingMeshFields m;
    m.mesh = s.meshFields();
    const uint32_t target = s.vertexBuffer(3);
    m.mesh.vertexBuffer = s.vertexBuffer(3);
    m.mesh.node = withTracks({s.track(s.sequence(2, n), s.controller(), kPropertyMorphWeights)});
    m.targets.assign(n, {target, 0.5f});
    s.children.push_back(s.w.addObject(m3gMorphingMeshRecord(m)));
    return scene(s);
}

// A mesh of n submeshes over one buffer.
ScalingFile submesh(uint32_t n)
{
    SceneWriter s;
    M3gMeshFields m = s.meshFields();
    m.vertexBuffer = s.vertexBuffer(n + 1);
    m.submeshes.clear();
    for (uint32_t i = 0; i < n; ++i)
        m.submeshes.push_back({s.strip(2 * i), s.appearance()});
    s.children.push_back(s.w.addObject(m3gMeshRecord(m)));
    return scene(s);
}

// n meshes over one buffer of 2n + 2 vertices, each drawing its own two
// rows at its own place.
ScalingFile meshesSharingABuffer(uint32_t n)
{
    SceneWriter s;
    const uint32_t buffer = s.vertexBuffer(n + 1);
    for (uint32_t i = 0; i < n; ++i) {
        M3gMeshFields m = s.meshFields();
        m.vertexBuffer = buffer;
        m.submeshes = {{s.strip(2 * i), s.appearance()}};
        m.node.transformable.components = M3gComponentTransform{{0.001f * float(i), 0, 0}};
        s.children.push_back(s.w.addObject(m3gMeshRecord(m)));
    }
    return scene(s);
}

// n meshes over one buffer, each with a submesh of its own two rows on every
// layer: the queue takes the meshes in turn at every entry.
ScalingFile submeshesInterleavingLayers(uint32_t n)
{
    constexpr int32_t kLayers = 127;
    SceneWriter s;
    const uint32_t buffer = s.vertexBuffer(kLayers * n + 1);
    std::vector<uint32_t> looks;
    for (int32_t layer = 0; layer < kLayers; ++layer) {
        M3gAppearanceFields a;
        a.layer = int8_t(layer - 63);
        looks.push_back(s.w.addObject(m3gAppearanceRecord(a)));
    }
    for (uint32_t i = 0; i < n; ++i) {
        M3gMeshFields m = s.meshFields();
        m.vertexBuffer = buffer;
        m.submeshes.clear();
        for (int32_t layer = 0; layer < kLayers; ++layer)
            m.submeshes.push_back({s.strip(2 * (kLayers * i + layer)), looks[layer]});
        m.node.transformable.components = M3gComponentTransform{{0.001f * float(i), 0, 0}};
        s.children.push_back(s.w.addObject(m3gMeshRecord(m)));
    }
    return scene(s);
}

// n omni lights over a lit mesh of n submeshes, each its own two rows of a
// buffer of 2n + 2 vertices.
ScalingFile lightsOverVertices(uint32_t n)
{
    SceneWriter s;
    M3gAppearanceFields lit;
    lit.material = s.w.addObject(m3gMaterialRecord({}));
    const uint32_t look = s.w.addObject(m3gAppearanceRecord(lit));
    M3gMeshFields m = s.meshFields();
    m.vertexBuffer = s.vertexBuffer(n + 1, true);
    m.submeshes.clear();
    for (uint32_t k = 0; k < n; ++k)
        m.submeshes.push_back({s.strip(2 * k), look});
    s.children.push_back(s.w.addObject(m3gMeshRecord(m)));
    for (uint32_t i = 0; i < n; ++i) {
        M3gLightFields l;
        l.mode = 130;
        l.node.transformable.components = M3gComponentTransform{{float(i % 5), 1, 5}};
        s.children.push_back(s.w.addObject(m3gLightRecord(l)));
    }
    return scene(s);
}

// n meshes, each with an appearance of its own state objects, on layers
// -63 .. 63 in an order the renderer must sort, blended when layered.
ScalingFile appearances(uint32_t n, bool layered, bool textured)
{
    SceneWriter s;
    const uint32_t shared = textured ? s.image() : 0;
    for (uint32_t i = 0; i < n; ++i) {
        M3gAppearanceFields a;
        M3gCompositingModeFields c;
        c.blending = layered ? 64 : 68;
        a.compositingMode = s.w.addObject(m3gCompositingModeRecord(c));
        a.polygonMode = s.w.addObject(m3gPolygonModeRecord({}));
        a.material = s.w.addObject(m3gMaterialRecord({}));
        a.fog = s.w.addObject(m3gFogRecord({}));
        if (layered)
            a.layer = int8_t(int32_t(i * 37 % 127) - 63);
        if (textured)
            a.textures = {s.texture(shared)};
        s.children.push_back(s.mesh(s.w.addObject(m3gAppearanceRecord(a))));
    }
    return scene(s);
}

ScalingFile appearance(uint32_t n) { return appearances(n, false, false); }
ScalingFile layer(uint32_t n) { return appearances(n, true, false); }
ScalingFile texture(uint32_t n) { return appearances(n, false, true); }

// n sprites and n textured meshes, each with an image of its own, every
// kind of image record in turn, and n backgrounds (roots) over the sprites'
// images.
ScalingFile image(uint32_t n)
{
    SceneWriter s;
    for (uint32_t i = 0; i < n; ++i) {
        M3gSpriteFields sprite;
        sprite.image = s.image();
        M3gBackgroundFields background;
        background.image = sprite.image;
        s.w.addObject(m3gBackgroundRecord(background));
        sprite.crop = {0, 0, 2, 2};
        sprite.appearance = s.appearance();
        s.children.push_back(s.w.addObject(m3gSpriteRecord(sprite)));
        uint32_t made = 0;
        switch (i % 4) {
        case 0:
            made = s.image(4);
            break;
        case 1: {
            M3gPlasmaFields p;
            p.widthExponent = 2;
            p.heightExponent = 2;
            p.cellWidthExponent = 1;
            p.cellHeightExponent = 1;
            made = s.w.addObject(m3gPlasmaRecord(p));
            break;
        }
        case 2: {
            M3gStagesetFields st;
            st.image.width = 2;
            st.image.height = 2;
            st.image.pixels.assign(12, 0x40);
            st.depth.assign(4, 100);
            made = s.w.addObject(m3gStagesetRecord(st));
            break;
        }
        default: {
            M3gCompressedImageFields c;
            c.width = 2;
            c.height = 2;
            c.levels = {std::vector<uint8_t>(12, 0x20)};
            made = s.w.addObject(m3gCompressedImageRecord(c));
        }
        }
        M3gAppearanceFields a;
        a.textures = {s.texture(made)};
        s.children.push_back(s.mesh(s.w.addObject(m3gAppearanceRecord(a))));
    }
    return scene(s);
}

// One group with n user parameters whose ids share their low 16 bits, as
// keys that land in one bucket of a table indexed by them.
ScalingFile userParameter(uint32_t n)
{
    SceneWriter s;
    M3gNodeFields node;
    for (uint32_t i = 0; i < n; ++i)
        node.transformable.object.userParameters.push_back({int32_t(i << 16), {uint8_t(i), 1, 2}});
    s.children.push_back(s.group({s.mesh()}, node));
    return scene(s);
}

// n lights and n cameras beside the World's own.
ScalingFile lightsAndCameras(uint32_t n)
{
    SceneWriter s;
    for (uint32_t i = 0; i < n; ++i) {
        M3gLightFields l;
        l.mode = uint8_t(128 + i % 4);
        s.children.push_back(s.w.addObject(m3gLightRecord(l)));
        s.children.push_back(s.w.addObject(m3gCameraRecord({})));
    }
    s.children.push_back(s.mesh());
    return scene(s);
}

EngineResult loadInto(const IkwEngineTable& engine, const ScalingFile& file, const std::string& folder,
                      EngineRef& loader, EngineRef& world)
{
    if (EngineResult made = engine.createEngineObject(kIidLoader, loader.out()); made != 0)
        return made;
    const IkwLoaderTable& api = loader.table<IkwLoaderTable>();
    std::string name = file.name;
    if (name.starts_with("mvlarc:"))
        name.insert(7, folder + "/");
    else if (!name.empty())
        name = folder + "/" + name;
    const uint32_t length = uint32_t(file.bytes.size());
    const EngineResult result = name.empty() ? api.loadBuffer(loader.get(), length, file.bytes.data(), nullptr)
                                             : api.loadName(loader.get(), name.c_str(), nullptr);
    uint32_t roots = 0;
    api.getRootCount(loader.get(), &roots);
    if (result != 0 || roots == 0)
        return result != 0 ? result : -1;
    EngineRef last;
    api.getRoot(loader.get(), roots - 1, last.out());
    world = last.as(kIidWorld);
    return world ? 0 : -1;
}

// Every object once, through getReferences from every root, kept in objects.
EngineResult walkReferences(const EngineRef& loader, std::vector<EngineRef>& objects)
{
    const IkwLoaderTable& roots = loader.table<IkwLoaderTable>();
    uint32_t count = 0;
    roots.getRootCount(loader.get(), &count);
    std::set<const void*> seen;
    std::vector<EngineRef> pending;
    for (uint32_t i = 0; i < count; ++i) {
        EngineRef root;
        if (EngineResult r = roots.getRoot(loader.get(), i, root.out()); r != 0)
            return r;
        if (seen.insert(root.get()->object).second)
            pending.push_back(std::move(root));
    }
    std::vector<EngineHandle*> got;
    while (!pending.empty()) {
        const EngineRef next = std::move(pending.back());
        pending.pop_back();
        const IkwObject3DTable& api = next.table<IkwObject3DTable>();
        if (EngineResult r = api.getReferences(next.get(), 0, nullptr, &count); r != 0)
            return r;
        got.assign(count, nullptr);
        if (EngineResult r = api.getReferences(next.get(), count, got.data(), &count); r != 0)
            return r;
        for (EngineHandle* h : got) {
            EngineRef held(h);
            if (seen.insert(h->object).second)
                pending.push_back(std::move(held));
        }
        objects.push_back(next.share());
    }
    return 0;
}

// Each object's tracks taken off one at a time, from the front, the back and
// the middle in turn, each found by a read after the last removal.
EngineResult removeTracks(const std::vector<EngineRef>& objects)
{
    for (const EngineRef& object : objects) {
        const IkwObject3DTable& api = object.table<IkwObject3DTable>();
        uint32_t count = 0;
        api.getAnimationTrackCount(object.get(), &count);
        for (uint32_t i = 0; count > 0; ++i, --count) {
            EngineRef track;
            const uint32_t index = i % 3 == 0 ? 0 : i % 3 == 1 ? count - 1 : count / 2;
            if (EngineResult r = api.getAnimationTrack(object.get(), index, track.out()); r != 0)
                return r;
            api.removeAnimationTrack(object.get(), track.get());
        }
        api.getAnimationTrackCount(object.get(), &count);
        if (count != 0)
            return -1;
    }
    return 0;
}

M3gNodeFields withId(uint32_t id)
{
    M3gNodeFields node;
    node.transformable.object.userId = int32_t(id);
    return node;
}

} // namespace

std::vector<uint8_t> clipCopyModels(int shape, uint32_t n)
{
    SceneWriter s;
    const uint32_t sequence = s.sequence(2);
    // Ids that are multiples of the bucket count the standard library's
    // table settles on for n keys all hash to its first bucket. The meshes
    // share four clips among their tracks.
    std::unordered_map<uint32_t, int> probe;
    for (uint32_t i = 0; i < n; ++i)
        probe.emplace(i, 0);
    const uint32_t buckets = uint32_t(probe.bucket_count());
    const auto tracks = [&](uint32_t count) {
        std::vector<uint32_t> made;
        for (uint32_t i = 0; i < count; ++i) {
            M3gAnimationControllerFields c;
            c.object.userId = int32_t(shape == ClipCopyShape::CollidingIds ? (i + 1) * buckets
                                      : shape == ClipCopyShape::Tracks     ? 0x100 + i
                                                                           : 0x100 + i % 4);
            made.push_back(s.track(sequence, s.w.addObject(m3gAnimationControllerRecord(c))));
        }
        return made;
    };
    uint32_t source = 0, target = 0;
    switch (shape) {
    case ClipCopyShape::MissingChildren:
    case ClipCopyShape::MissingOnEveryLevel: {
        const bool chain = shape == ClipCopyShape::MissingOnEveryLevel;
        target = s.group({}, withId(1000));
        source = chain ? s.group({s.group({}, withId(9000))}, withId(1000)) : 0;
        std::vector<uint32_t> missing;
        for (uint32_t i = 1; i < n; ++i) {
            target = s.group({target}, withId(1000 + i));
            if (chain)
                source = s.group({source, s.group({}, withId(9000 + i))}, withId(1000 + i));
            else
                missing.push_back(s.group({}, withId(5000 + i)));
        }
        source = s.group(chain ? std::vector<uint32_t>{source} : missing, withId(1));
        target = s.group({target}, withId(2));
        break;
    }
    case ClipCopyShape::Tracks:
    case ClipCopyShape::CollidingIds: {
        M3gNodeFields animated = withId(1);
        animated.transformable.object.animationTracks = tracks(n);
        source = s.group({}, animated);
        target = s.group({}, withId(2));
        break;
    }
    default: {
        const uint32_t image = s.image();
        const auto textured = [&](std::vector<uint32_t> trackList) {
            M3gTexture2DFields t;
            t.image = image;
            t.transformable.object.animationTracks = std::move(trackList);
            M3gAppearanceFields a;
            a.textures = {s.w.addObject(m3gTexture2DRecord(t))};
            return s.w.addObject(m3gAppearanceRecord(a));
        };
        const auto meshes = [&](uint32_t id, uint32_t shared) {
            std::vector<uint32_t> made;
            for (uint32_t i = 0; i < n; ++i) {
                M3gSkinnedMeshFields m;
                m.mesh = s.meshFields(shared ? shared : textured({}));
                m.mesh.node = withId(100 + i);
                m.skeleton = s.group({});
                made.push_back(s.w.addObject(m3gSkinnedMeshRecord(m)));
            }
            return s.group(made, withId(id));
        };
        source = meshes(1, textured(tracks(shape == ClipCopyShape::SharedTextureFew ? 4 : n)));
        target = meshes(2, shape == ClipCopyShape::TargetTextures ? 0 : textured({}));
        break;
    }
    }
    s.children = {source, target};
    return s.finish();
}

CountingEngine::CountingEngine() : SceneEngine(&countingAlloc, &countingFree) {}

EngineWork engineWorkSoFar()
{
    const EngineContext* context = engineContext();
    if (context == nullptr)
        return {0, g_allocatedBytes};
    return {context->visits, g_allocatedBytes, context->vertexTransforms, context->lightEvaluations,
            context->inflatedBytes};
}

size_t ScalingFile::size() const
{
    size_t total = bytes.size();
    for (const auto& [name, data] : files)
        total += data.size();
    return total;
}

const std::vector<ScalingRelation>& scalingRelations()
{
    static const std::vector<ScalingRelation> relations = {
        {"child-fan", childFan, 1024, 16000},
        {"child-chain", childChain, 1024, 16000},
        {"external-reference", externalReference, 32, 512},
        {"archive-member", archiveMember, 4, 6},
        {"animation-track", animationTrack, 1024, 16000},
        {"shared-sequence", sharedSequence, 128, 4000},
        {"controller", controller, 256, 16000},
        {"bone", bone, 128, 4000},
        {"binding", binding, 128, 8000},
        {"skeleton-depth", skeletonDepth, 1024, 4000},
        {"skins-sharing-a-source", skinsSharingASource, 256, 512},
        {"alignment-target", alignmentTarget, 1024, 8000},
        {"shared-alignment-target", sharedAlignmentTarget, 1024, 16000},
        // Past the climb steps one align call may take (kAlignStepsPerCall).
        {"alignment-meeting-node-moves", alignmentMeetingNodeMoves, 1024, 8000, 1u << ScalingOp::Align},
        {"alignment-singular-products", alignmentSingularProducts, 1024, 8000, 1u << ScalingOp::Align},
        {"morph-target", morphTarget, 128, 4000},
        {"submesh", submesh, 1024, 8000},
        {"meshes-sharing-a-buffer", meshesSharingABuffer, 1024, 16000},
        {"submeshes-interleaving-layers", submeshesInterleavingLayers, 8, 64},
        {"lights-over-vertices", lightsOverVertices, 512, 4000},
        {"appearance", appearance, 1024, 8000},
        {"layer", layer, 1024, 8000},
        {"texture", texture, 1024, 8000},
        {"image", image, 512, 2000},
        {"user-parameter", userParameter, 256, 16000},
        {"light-and-camera", lightsAndCameras, 128, 4000},
        {"track-removal-with-reads", trackRemoval, 1024, 16000},
        {"sections-of-large-records", largeRecordSections, 3, 6, 0, mapLeaveCode(KErrNoMemory)},
    };
    return relations;
}

const char* scalingOpName(int op)
{
    static const char* const names[ScalingOp::Count] = {"load",  "duplicate", "animate",       "draw",
                                                        "redraw", "pick",     "align",         "find",
                                                        "getReferences",      "removeTracks",  "release"};
    return names[op];
}

ScalingRun runScaling(const IkwEngineTable& engine, const std::string& folder, const ScalingFile& file)
{
    for (const auto& [name, data] : file.files)
        std::ofstream(folder + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    ScalingRun run;
    EngineRef graphics;
    EngineRef ray;
    engine.createEngineObject(kIidGraphics3D, graphics.out());
    engine.createEngineObject(kIidRayIntersection, ray.out());
    std::vector<uint16_t> pixels(16 * 16);
    EngineRef loader, world, copy;
    const auto step = [&](int op, auto&& work) {
        const EngineWork before = engineWorkSoFar();
        const auto start = std::chrono::steady_clock::now();
        run.result[op] = work();
        run.seconds[op] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const EngineWork after = engineWorkSoFar();
        run.work[op] = after - before;
    };
    step(ScalingOp::Load, [&] { return loadInto(engine, file, folder, loader, world); });
    if (!world)
        return run;
    const auto& node = world.table<IkwGroupTable>();
    const auto& g3d = graphics.table<IkwGraphics3DTable>();
    const auto draw = [&] {
        EngineResult r = g3d.bindBuffer(graphics.get(), 16, 16, 32, pixels.data());
        if (r == 0)
            r = g3d.renderWorld(graphics.get(), world.get());
        g3d.releaseTarget(graphics.get());
        return r;
    };
    step(ScalingOp::Duplicate, [&] { return node.node.transformable.object3D.duplicate(world.get(), copy.out()); });
    step(ScalingOp::Animate, [&] {
        int32_t validity = 0;
        return node.node.transformable.object3D.animate(world.get(), file.time, &validity);
    });
    step(ScalingOp::Draw, draw);
    step(ScalingOp::Redraw, draw);
    step(ScalingOp::Pick, [&] {
        const float origin[3] = {0.1f, 0.1f, 50.0f};
        const float direction[3] = {0.0f, 0.0f, -1.0f};
        uint8_t hit = 0;
        return node.pickRay(world.get(), 0xFFFFFFFFu, origin, direction, ray.get(), &hit);
    });
    step(ScalingOp::Align, [&] { return node.node.align(world.get(), nullptr); });
    step(ScalingOp::Find, [&] {
        EngineRef found;
        const EngineResult r = node.node.transformable.object3D.find(world.get(), 0x7FFFFFF1u, found.out());
        return found ? -1 : r;
    });
    std::vector<EngineRef> objects;
    step(ScalingOp::GetReferences, [&] { return walkReferences(loader, objects); });
    run.objects = uint32_t(objects.size());
    step(ScalingOp::RemoveTracks, [&] { return removeTracks(objects); });
    step(ScalingOp::Release, [&] {
        objects.clear();
        copy.reset();
        world.reset();
        loader.reset();
        return EngineResult(0);
    });
    return run;
}
