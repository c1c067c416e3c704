// The scaling table's scenes and its run. Every file is one scene under a
// World with a camera looking down -Z at the origin, a background and a
// light; each relation adds its count of one kind of thing over what the
// scene shares (a lit, textured look, one vertex buffer whose rows the
// meshes draw, one keyframe sequence of each shape, one controller), so
// that any two relations in one file meet there.
#include "tools/structure/StructureScaling.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <unordered_map>

#include "engine/core/interface/EngineResult.h"
#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/interface/MethodTables.h"
#include "engine/core/loader/CkwResourceLoader.h"
#include "engine/core/runtime/EngineContext.h"
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

class SceneWriter {
public:
    M3gFileWriter w;
    std::vector<uint32_t> children; // of the World

    // 2 × pairs vertices, two to a row at depth z, lit ones facing +Z; the
    // plain quad of two rows is written once.
    uint32_t vertexBuffer(uint32_t pairs = 2, bool lit = false, int32_t z = 0)
    {
        const bool quad = pairs == 2 && !lit && z == 0;
        if (quad && m_quad != 0)
            return m_quad;
        M3gVertexArrayFields positions;
        M3gVertexArrayFields texCoords;
        M3gVertexArrayFields normals;
        texCoords.componentCount = 2;
        normals.componentSize = 1;
        for (uint32_t i = 0; i < pairs; ++i)
            for (int32_t x : {0, 1}) {
                positions.values.insert(positions.values.end(), {x * 2 - 1, int32_t(i % 3) - 1, z});
                texCoords.values.insert(texCoords.values.end(), {x, int32_t(i % 2)});
                normals.values.insert(normals.values.end(), {0, 0, 127});
            }
        M3gVertexBufferFields b;
        b.positions = w.addObject(m3gVertexArrayRecord(positions));
        b.texCoords = {{w.addObject(m3gVertexArrayRecord(texCoords))}};
        if (lit)
            b.normals = w.addObject(m3gVertexArrayRecord(normals));
        const uint32_t made = w.addObject(m3gVertexBufferRecord(b));
        if (quad)
            m_quad = made;
        return made;
    }
    uint32_t strip()
    {
        if (m_strip == 0) {
            M3gTriangleStripFields s;
            s.stripLengths = {4};
            m_strip = w.addObject(m3gTriangleStripRecord(s));
        }
        return m_strip;
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

    std::vector<uint8_t> finish(uint8_t lightMode = 128)
    {
        M3gCameraFields camera;
        camera.projection = 50;
        camera.node.transformable.components = M3gComponentTransform{{0, 0, 20}};
        M3gLightFields light;
        light.mode = lightMode;
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

M3gNodeFields withTracks(std::vector<uint32_t> tracks)
{
    M3gNodeFields node;
    node.transformable.object.animationTracks = std::move(tracks);
    return node;
}

// A node at translation t, scaled by scale.
M3gNodeFields placed(std::array<float, 3> t, float scale = 1.0f)
{
    M3gNodeFields node;
    node.transformable.components = M3gComponentTransform{t, {scale, scale, scale}};
    return node;
}

M3gNodeFields aimedAt(M3gNodeFields node, uint32_t reference)
{
    node.alignment = M3gAlignmentFields{kAlignOrigin, kAlignNone, reference, 0};
    return node;
}

// The most rows the shared buffer holds: a strip's vertices are 16-bit
// indices.
constexpr uint32_t kMaxRows = 32767;

// One scene with counts[r] of each relation r, written in the order the
// file needs: external references, the sections of large records, what
// the scene shares, each relation's part, the World.
class SharedScene {
public:
    explicit SharedScene(const ScalingCounts& counts) : m_n(counts) {}
    ScalingFile write();

private:
    uint32_t n(int relation) const { return m_n[size_t(relation)]; }
    uint32_t rows() const;
    // One reference at least where the file it names has groups.
    uint32_t referencesToLeaf() const
    {
        return std::max(n(Relation::ExternalReference), uint32_t(n(Relation::ReferencedGroup) != 0));
    }
    // A strip over the next two rows of the shared buffer no mesh drew yet
    // (round again past its end).
    uint32_t ownRows();
    uint32_t ownMesh(M3gNodeFields node = {});
    // Shared looks in turn: the lit one, then the layered ones.
    uint32_t sharedLook(uint32_t i) const { return m_looks[i % m_looks.size()]; }
    uint32_t sequence(uint32_t components);
    uint32_t controller();
    uint32_t image();
    uint32_t buffer(bool target);

    void references();
    void sections();
    void looks();
    void meshes();
    void skin();
    void skinnedMeshes();
    void morphingMesh();
    void animation();
    void alignment();
    void images();
    void lightsAndCameras();
    void userParameters();

    const ScalingCounts& m_n;
    SceneWriter s;
    std::vector<uint32_t> m_content; // under the chain
    std::vector<uint32_t> m_looks;
    std::map<uint32_t, uint32_t> m_sequences; // by component count
    uint32_t m_controller = 0;
    uint32_t m_image = 0;
    uint32_t m_buffers[2] = {};
    uint32_t m_nextRow = 0;
};

// Two rows for the lit mesh, two for each mesh, submesh or skin binding
// drawing or binding its own, and the Vertex rows that only the lit mesh
// draws.
uint32_t SharedScene::rows() const
{
    using namespace Relation;
    uint32_t own = 2;
    for (int r : {ChildFan, Submesh, SkinnedMesh, Appearance, Layer, Texture, Image, SharedAlignmentTarget, Bone,
                  Binding, SkeletonDepth})
        own += n(r);
    own += (n(Bone) + n(Binding) + n(SkeletonDepth) != 0) + (n(AlignmentTarget) != 0);
    return std::min(own + n(Vertex), kMaxRows);
}

uint32_t SharedScene::ownRows()
{
    M3gTriangleStripFields strip;
    strip.startIndex = 2 * (m_nextRow++ % (rows() - 1));
    strip.stripLengths = {4};
    return s.w.addObject(m3gTriangleStripRecord(strip));
}

uint32_t SharedScene::ownMesh(M3gNodeFields node)
{
    M3gMeshFields m;
    m.node = std::move(node);
    m.vertexBuffer = buffer(false);
    m.submeshes = {{ownRows(), sharedLook(m_nextRow)}};
    return s.w.addObject(m3gMeshRecord(m));
}

// Of 2 + Keyframe keyframes, the i-th at 10 i; the last component stays 1,
// so four make a turn.
uint32_t SharedScene::sequence(uint32_t components)
{
    uint32_t& made = m_sequences[components];
    if (made == 0)
        made = s.sequence(2 + n(Relation::Keyframe), components);
    return made;
}

uint32_t SharedScene::controller()
{
    if (m_controller == 0)
        m_controller = s.controller();
    return m_controller;
}

uint32_t SharedScene::image()
{
    if (m_image == 0)
        m_image = s.image();
    return m_image;
}

// The shared buffer, lit and textured, two vertices a row, and a morph
// target of its shape.
uint32_t SharedScene::buffer(bool target)
{
    uint32_t& made = m_buffers[target];
    if (made == 0)
        made = s.vertexBuffer(rows(), true, target ? 1 : 0);
    return made;
}

ScalingFile SharedScene::write()
{
    using namespace Relation;
    references();
    sections();
    looks();
    meshes();
    skin();
    skinnedMeshes();
    morphingMesh();
    animation();
    alignment();
    images();
    lightsAndCameras();
    userParameters();
    s.children = m_content;
    for (uint32_t i = 0; i < n(ChildChain); ++i)
        s.children = {s.group(s.children)};
    std::vector<uint8_t> top = s.finish(129); // directional: every lit vertex evaluates it

    ScalingFile file;
    file.time = int32_t(10 * (2 + n(Keyframe)) - 15);
    const uint32_t referenced = referencesToLeaf();
    std::pair<std::string, std::vector<uint8_t>> leaf;
    if (referenced != 0) {
        SceneWriter l;
        std::vector<uint32_t> groups;
        for (uint32_t i = 0; i < n(ReferencedGroup); ++i)
            groups.push_back(l.group({}));
        l.group(groups);
        leaf = {"leaf.m3g", l.w.finish()};
    }
    if (n(ArchiveMember) != 0) {
        // Members m1 .. mn, each but the last naming the next twice: a
        // ladder whose paths double at every rung.
        ArchiveWriter archive;
        archive.add("m0", top);
        for (uint32_t i = 1; i <= n(ArchiveMember); ++i) {
            SceneWriter rung;
            if (i < n(ArchiveMember))
                for (int twice = 0; twice < 2; ++twice)
                    rung.w.addExternalReference("m" + std::to_string(i + 1));
            rung.group({});
            archive.add("m" + std::to_string(i), rung.w.finish());
        }
        if (referenced != 0)
            archive.add(leaf.first, leaf.second);
        file.files.push_back({"ladder.arc", archive.finish()});
        file.name = "mvlarc:ladder.arc!m0";
    } else if (referenced != 0) {
        file.files = {std::move(leaf), {"top.m3g", std::move(top)}};
        file.name = "top.m3g";
    } else {
        file.bytes = std::move(top);
    }
    return file;
}

// The ladder's first rung named twice, then the leaf once per reference:
// what the file asks for is n references and one file of n, not n copies.
void SharedScene::references()
{
    using namespace Relation;
    if (n(ArchiveMember) != 0)
        for (int twice = 0; twice < 2; ++twice)
            s.w.addExternalReference("m1");
    for (uint32_t i = 0; i < referencesToLeaf(); ++i)
        s.w.addExternalReference("leaf.m3g");
}

// Deflated sections (one at least when records are large), each one group
// (a root) with a user parameter of zeros: each section under its cap, many
// of them past the load's ledger.
void SharedScene::sections()
{
    using namespace Relation;
    const uint32_t count = std::max(n(Section), uint32_t(n(RecordSize) != 0));
    if (count == 0)
        return;
    M3gNodeFields node;
    const size_t bytes = n(RecordSize) != 0 ? (size_t(n(RecordSize)) << 16) - 256 : 64;
    node.transformable.object.userParameters = {{1, std::vector<uint8_t>(bytes, 0)}};
    s.w.beginSection(kM3gSchemeZlib);
    s.group({}, node);
    s.w.repeatSection(count - 1);
    s.w.beginSection(kM3gSchemeNone);
}

// The lit, textured look; then meshes each with an appearance of its own
// state objects, on a layer and blended, or textured over the shared
// image. The layered looks join the shared ones.
void SharedScene::looks()
{
    using namespace Relation;
    M3gAppearanceFields lit;
    lit.material = s.w.addObject(m3gMaterialRecord({}));
    lit.textures = {s.texture(image())};
    m_looks = {s.w.addObject(m3gAppearanceRecord(lit))};
    for (int kind : {Appearance, Layer, Texture})
        for (uint32_t i = 0; i < n(kind); ++i) {
            M3gAppearanceFields a;
            M3gCompositingModeFields c;
            c.blending = kind == Layer ? 64 : 68;
            a.compositingMode = s.w.addObject(m3gCompositingModeRecord(c));
            a.polygonMode = s.w.addObject(m3gPolygonModeRecord({}));
            a.material = s.w.addObject(m3gMaterialRecord({}));
            a.fog = s.w.addObject(m3gFogRecord({}));
            if (kind == Layer)
                a.layer = int8_t(int32_t(i * 37 % 127) - 63);
            if (kind == Texture)
                a.textures = {s.texture(image())};
            const uint32_t look = s.w.addObject(m3gAppearanceRecord(a));
            if (kind == Layer)
                m_looks.push_back(look);
            M3gMeshFields m;
            m.vertexBuffer = buffer(false);
            m.submeshes = {{ownRows(), look}};
            m_content.push_back(s.w.addObject(m3gMeshRecord(m)));
        }
}

// The lit mesh, moved by a track, draws the whole buffer, then each
// submesh its own rows; the fan's meshes each draw their own rows at a
// place of their own.
void SharedScene::meshes()
{
    using namespace Relation;
    M3gTriangleStripFields whole;
    whole.stripLengths = {2 * rows()};
    M3gMeshFields lit;
    lit.node = withTracks({s.track(sequence(3), controller())});
    lit.vertexBuffer = buffer(false);
    lit.submeshes = {{s.w.addObject(m3gTriangleStripRecord(whole)), m_looks[0]}};
    for (uint32_t i = 0; i < n(Submesh); ++i)
        lit.submeshes.push_back({ownRows(), sharedLook(i + 1)});
    m_content.push_back(s.w.addObject(m3gMeshRecord(lit)));
    if (n(ChildFan) == 0)
        return;
    std::vector<uint32_t> fan;
    for (uint32_t i = 0; i < n(ChildFan); ++i)
        fan.push_back(ownMesh(placed({0.001f * float(i), 0, 0})));
    m_content.push_back(s.group(fan));
}

// One skinned mesh over the shared source: bones beside each other and a
// chain of bones, each turned by a track and bound to rows of the source,
// and further bindings over them in turn.
void SharedScene::skin()
{
    using namespace Relation;
    if (n(Bone) + n(Binding) + n(SkeletonDepth) == 0)
        return;
    const auto bone = [&](std::vector<uint32_t> children) {
        return s.group(std::move(children), withTracks({s.track(sequence(4), controller(), kPropertyOrientation)}));
    };
    std::vector<uint32_t> bones, top;
    for (uint32_t i = 0; i < 1 + n(Bone); ++i)
        top.push_back(bones.emplace_back(bone({})));
    for (uint32_t i = 0; i < n(SkeletonDepth); ++i)
        bones.push_back(bone(i == 0 ? std::vector<uint32_t>{} : std::vector<uint32_t>{bones.back()}));
    if (n(SkeletonDepth) != 0)
        top.push_back(bones.back());
    M3gSkinnedMeshFields m;
    m.mesh.vertexBuffer = buffer(false);
    m.mesh.submeshes = {{ownRows(), m_looks[0]}};
    m.skeleton = s.group(top);
    const uint32_t bindings = uint32_t(bones.size()) + n(Binding);
    for (uint32_t i = 0; i < bindings; ++i)
        m.bones.push_back({bones[i % bones.size()], 2 * (i % (rows() - 1)), 4, 1});
    m_content.push_back(s.w.addObject(m3gSkinnedMeshRecord(m)));
}

// Skinned meshes over the shared source, each binding its own rows to a
// bone of its own and drawing them.
void SharedScene::skinnedMeshes()
{
    for (uint32_t i = 0; i < n(Relation::SkinnedMesh); ++i) {
        const uint32_t bone = s.group({});
        M3gSkinnedMeshFields m;
        m.mesh.vertexBuffer = buffer(false);
        const uint32_t first = 2 * (m_nextRow % (rows() - 1));
        m.mesh.submeshes = {{ownRows(), m_looks[0]}};
        m.skeleton = s.group({bone});
        m.bones = {{bone, first, 4, 1}};
        m_content.push_back(s.w.addObject(m3gSkinnedMeshRecord(m)));
    }
}

// A morphing mesh over the shared buffer whose targets all name one buffer
// of its shape, their weights animated. It draws the buffer's first two
// rows, which face the camera however many rows the file holds, so each
// frame's blend shades the same vertices at N and 2N.
void SharedScene::morphingMesh()
{
    const uint32_t targets = n(Relation::MorphTarget);
    if (targets == 0)
        return;
    M3gMorphingMeshFields m;
    const uint32_t target = buffer(true);
    m.mesh.vertexBuffer = buffer(false);
    m.mesh.submeshes = {{s.strip(), m_looks[0]}};
    m.mesh.node = withTracks({s.track(s.sequence(2, targets), controller(), kPropertyMorphWeights)});
    m.targets.assign(targets, {target, 0.5f});
    m_content.push_back(s.w.addObject(m3gMorphingMeshRecord(m)));
}

// One group with tracks of the shared sequence; groups each moved by a
// track under a controller of its own; one group with tracks over three
// properties, which the run takes off with reads between.
void SharedScene::animation()
{
    using namespace Relation;
    if (n(AnimationTrack) != 0) {
        std::vector<uint32_t> tracks;
        for (uint32_t i = 0; i < n(AnimationTrack); ++i)
            tracks.push_back(s.track(sequence(3), controller()));
        m_content.push_back(s.group({}, withTracks(tracks)));
    }
    for (uint32_t i = 0; i < n(Controller); ++i)
        m_content.push_back(s.group({}, withTracks({s.track(sequence(3), s.controller())})));
    if (n(TrackRemoval) != 0) {
        const int32_t properties[] = {kPropertyTranslation, kPropertyOrientation, kPropertyAlpha};
        const uint32_t components[] = {3, 4, 1};
        std::vector<uint32_t> tracks;
        for (uint32_t i = 0; i < n(TrackRemoval); ++i)
            tracks.push_back(s.track(sequence(components[i % 3]), controller(), uint32_t(properties[i % 3])));
        m_content.push_back(s.group({}, withTracks(tracks)));
    }
}

void SharedScene::alignment()
{
    using namespace Relation;
    // A chain of groups, each Z-aligned to the group beside it.
    if (n(AlignmentTarget) != 0) {
        uint32_t top = ownMesh();
        for (uint32_t i = 0; i < n(AlignmentTarget); ++i) {
            const uint32_t beside = s.group({});
            top = s.group({s.group({top}, aimedAt({}, beside)), beside});
        }
        m_content.push_back(top);
    }
    // Meshes, each Z-aligned to the first.
    if (n(SharedAlignmentTarget) != 0) {
        std::vector<uint32_t> meshes{ownMesh()};
        for (uint32_t i = 1; i < n(SharedAlignmentTarget); ++i)
            meshes.push_back(ownMesh(aimedAt({}, meshes[0])));
        m_content.push_back(s.group(meshes));
    }
    // A spine of groups, each a step up from the last, holding a target leaf
    // and a leaf aimed at the target as far from the foot as its own node is
    // from the top: every reference is met once, where the spine meets it,
    // and that meeting node moves down the spine and back up. The climbs
    // grow with depth times references, about n^2 / 2 steps.
    if (const uint32_t count = n(AlignmentMeetingNodeMoves); count != 0) {
        std::vector<uint32_t> targets;
        for (uint32_t i = 0; i < count; ++i)
            targets.push_back(s.group({}, placed({0, 0, 1})));
        uint32_t below = 0;
        for (uint32_t i = count; i-- > 0;) {
            std::vector<uint32_t> children{s.group({}, aimedAt(placed({1, 0, 0}), targets[count - 1 - i])),
                                           targets[i]};
            if (below != 0)
                children.push_back(below);
            below = s.group(children, placed({0, 1, 0}));
        }
        m_content.push_back(below);
    }
    // A spine of groups, each a step up from the last and scaled by
    // 2^(-300/n), so that products from its top vanish, with a leaf under
    // each; each node aimed at the leaf a fifth of the spine above it: about
    // n^2 / 6 steps.
    if (const uint32_t count = n(AlignmentSingularProducts); count != 0) {
        std::vector<uint32_t> leaves;
        for (uint32_t i = 0; i < count; ++i)
            leaves.push_back(s.group({}, placed({0, 0, 1})));
        const float scale = std::exp2(-300.0f / float(count));
        uint32_t below = 0;
        for (uint32_t i = count; i-- > 0;) {
            M3gNodeFields node = placed({0, 1, 0}, scale);
            if (i >= count / 5)
                node = aimedAt(node, leaves[i - count / 5]);
            std::vector<uint32_t> children{leaves[i]};
            if (below != 0)
                children.push_back(below);
            below = s.group(children, node);
        }
        m_content.push_back(below);
    }
}

// Sprites and textured meshes, each with an image of its own, every kind
// of image record in turn, and backgrounds (roots) over the sprites'
// images; and blank mutable images, which the file makes without their
// pixels, one more than the sprites, each 256 wide and 1 + 4 ImageSize
// tall.
void SharedScene::images()
{
    using namespace Relation;
    for (uint32_t i = 0; i < n(Image); ++i) {
        M3gSpriteFields sprite;
        sprite.image = s.image();
        M3gBackgroundFields background;
        background.image = sprite.image;
        s.w.addObject(m3gBackgroundRecord(background));
        sprite.crop = {0, 0, 2, 2};
        sprite.scaled = i % 2 == 0;
        sprite.appearance = m_looks[0];
        m_content.push_back(s.w.addObject(m3gSpriteRecord(sprite)));
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
        M3gMeshFields m;
        m.vertexBuffer = buffer(false);
        m.submeshes = {{ownRows(), s.w.addObject(m3gAppearanceRecord(a))}};
        m_content.push_back(s.w.addObject(m3gMeshRecord(m)));
    }
    if (n(Image) + n(ImageSize) == 0)
        return;
    M3gImage2DFields blank;
    blank.isMutable = true;
    blank.width = 256;
    blank.height = 1 + 4 * n(ImageSize);
    for (uint32_t i = 0; i <= n(Image); ++i)
        s.w.addObject(m3gImage2DRecord(blank));
}

// Lights of every mode in turn, each at a place of its own, and cameras.
void SharedScene::lightsAndCameras()
{
    using namespace Relation;
    for (uint32_t i = 0; i < n(Light); ++i) {
        M3gLightFields l;
        l.mode = uint8_t(128 + i % 4);
        l.node = placed({float(i % 5), 1, 5});
        m_content.push_back(s.w.addObject(m3gLightRecord(l)));
    }
    for (uint32_t i = 0; i < n(Camera); ++i)
        m_content.push_back(s.w.addObject(m3gCameraRecord({})));
}

// One group with user parameters whose ids share their low 16 bits, as keys
// that land in one bucket of a table indexed by them.
void SharedScene::userParameters()
{
    if (n(Relation::UserParameter) == 0)
        return;
    M3gNodeFields node;
    for (uint32_t i = 0; i < n(Relation::UserParameter); ++i)
        node.transformable.object.userParameters.push_back({int32_t(i << 16), {uint8_t(i), 1, 2}});
    m_content.push_back(s.group({}, node));
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
    return {context->visits,           g_allocatedBytes,       context->vertexTransforms,
            context->lightEvaluations, context->inflatedBytes, context->deformSteps};
}

size_t ScalingFile::size() const
{
    size_t total = bytes.size();
    for (const auto& [name, data] : files)
        total += data.size();
    return total;
}

ScalingFile writeScalingScene(const ScalingCounts& counts) { return SharedScene(counts).write(); }

const char* scalingOpName(int op)
{
    static const char* const names[ScalingOp::Count] = {
        "load", "duplicate", "animate", "draw",       "redraw",        "pick",         "pickRay", "nextFrame",
        "align", "find",     "reparent", "renderNode", "getReferences", "removeTracks", "release"};
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
    if (loader) {
        const auto* brew = static_cast<const CkwBrewLoader*>(loader.get()->object);
        run.nestedLoads = brew->nestedLoads();
        run.charges = brew->charges();
    }
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
        // Through the active camera, as a game picks: scaled sprites too.
        EngineRef camera;
        world.table<IkwWorldTable>().getActiveCamera(world.get(), camera.out());
        uint8_t hit = 0;
        return node.pickViewport(world.get(), 0xFFFFFFFFu, 0.5f, 0.5f, camera.get(), ray.get(), &hit);
    });
    step(ScalingOp::PickRay, [&] {
        const float origin[3] = {0.1f, 0.1f, 30.0f}, direction[3] = {0.0f, 0.0f, -1.0f};
        uint8_t hit = 0;
        return node.pickRay(world.get(), 0xFFFFFFFFu, origin, direction, ray.get(), &hit);
    });
    // Every track samples another segment, so per-frame caches work again.
    step(ScalingOp::NextFrame, [&] {
        int32_t validity = 0;
        const EngineResult r = node.node.transformable.object3D.animate(world.get(), file.time + 10, &validity);
        return r != 0 ? r : draw();
    });
    step(ScalingOp::Align, [&] { return node.node.align(world.get(), nullptr); });
    step(ScalingOp::Find, [&] {
        EngineRef found;
        const EngineResult r = node.node.transformable.object3D.find(world.get(), 0x7FFFFFF1u, found.out());
        return found ? -1 : r;
    });
    // The World's first child, all of the content, moved under a new group
    // of the World: every depth and root below it changes.
    EngineRef holder;
    step(ScalingOp::Reparent, [&] {
        EngineRef content;
        EngineResult r = node.getChild(world.get(), 0, content.out());
        if (r == 0)
            r = engine.createEngineObject(kIidGroup, holder.out());
        if (r == 0)
            r = node.addChild(world.get(), holder.get());
        if (r == 0)
            r = node.removeChild(world.get(), content.get());
        if (r == 0)
            r = node.addChild(holder.get(), content.get());
        return r != 0 ? r : draw();
    });
    step(ScalingOp::RenderNode, [&] {
        EngineRef camera, transform;
        world.table<IkwWorldTable>().getActiveCamera(world.get(), camera.out());
        EngineResult r = engine.createEngineObject(kIidTransform, transform.out());
        if (r == 0)
            r = camera.table<IkwCameraTable>().node.transformable.getCompositeTransform(camera.get(), transform.get());
        if (r == 0)
            r = g3d.bindBuffer(graphics.get(), 16, 16, 32, pixels.data());
        if (r == 0)
            r = g3d.setCamera(graphics.get(), camera.get(), transform.get());
        if (r == 0)
            r = g3d.renderNode(graphics.get(), holder.get(), nullptr);
        g3d.releaseTarget(graphics.get());
        return r;
    });
    std::vector<EngineRef> objects;
    step(ScalingOp::GetReferences, [&] { return walkReferences(loader, objects); });
    run.objects = uint32_t(objects.size());
    step(ScalingOp::RemoveTracks, [&] { return removeTracks(objects); });
    step(ScalingOp::Release, [&] {
        objects.clear();
        holder.reset();
        copy.reset();
        world.reset();
        loader.reset();
        return EngineResult(0);
    });
    return run;
}
