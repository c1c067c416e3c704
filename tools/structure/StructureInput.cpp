// The structure generator and one run over what it makes. The bytes are read
// as little-endian fields in the order of StructurePlan, each then cut to
// its cap; missing bytes read as zero.
#include "tools/structure/StructureInput.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <type_traits>

#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/interface/MethodTables.h"
#include "engine/core/loader/CkwResourceLoader.h"
#include "engine/core/scene/SceneIds.h"
#include "game/shell/AnimCopy.h"
#include "game/shell/AnimTable.h"
#include "tools/archive/ArchiveWriter.h"
#include "tools/m3g/M3gAnimationEncoders.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gSceneEncoders.h"
#include "tools/structure/StructureScaling.h"

namespace {

constexpr uint32_t kMaxTracks = 5000;
constexpr uint32_t kMaxControllers = 4096;
constexpr uint32_t kMaxArchiveChain = 64;
constexpr uint32_t kMaxReferencesPerMember = 4;
// User ids: leaves, chain groups and the clip children the scene lacks.
constexpr uint32_t kLeafIds = 0x10000;
constexpr uint32_t kChainIds = 0x20000;
constexpr uint32_t kMissingIds = 0x30000;
constexpr uint32_t kControllerIds = 0x40000;
constexpr uint32_t kAbsentId = 0x7fffffff;

// The fields in the order the bytes hold them, with their widths.
template <class Visit>
void eachField(StructurePlan& s, Visit visit)
{
    visit(s.depth, 2);
    visit(s.width, 2);
    visit(s.alignment, 1);
    visit(s.tracks, 2);
    visit(s.tracksPerLeaf, 1);
    visit(s.controllers, 2);
    visit(s.clipChildren, 2);
    visit(s.clipChain, 1);
    visit(s.archiveChain, 1);
    visit(s.collidingMember, 1);
    visit(s.referencesPerMember, 1);
}

uint32_t group(M3gFileWriter& w, uint32_t id, std::vector<uint32_t> children, std::vector<uint32_t> tracks = {},
               const M3gAlignmentFields* alignment = nullptr)
{
    M3gGroupFields g;
    g.node.transformable.object.userId = int32_t(id);
    g.node.transformable.object.animationTracks = std::move(tracks);
    if (alignment)
        g.node.alignment = *alignment;
    g.children = std::move(children);
    return w.addObject(m3gGroupRecord(g));
}

// Tracks of one keyframe sequence, shared out over the controllers.
std::vector<uint32_t> writeTracks(M3gFileWriter& w, uint32_t count, uint32_t controllers)
{
    std::vector<uint32_t> ids;
    if (count == 0)
        return ids;
    M3gKeyframeSequenceFields s;
    s.duration = 500;
    s.componentCount = 3;
    s.validRangeLast = 1;
    s.keyframes = {{0, {0, 0, 0}}, {100, {1, 2, 3}}};
    const uint32_t sequence = w.addObject(m3gKeyframeSequenceRecord(s));
    std::vector<uint32_t> made;
    for (uint32_t c = 0; c < std::clamp(controllers, 1u, count); ++c) {
        M3gAnimationControllerFields f;
        f.object.userId = int32_t(kControllerIds + c);
        made.push_back(w.addObject(m3gAnimationControllerRecord(f)));
    }
    for (uint32_t i = 0; i < count; ++i)
        ids.push_back(w.addObject(m3gAnimationTrackRecord({{}, sequence, made[i % made.size()], kPropertyTranslation})));
    return ids;
}

// Nested loads the archive's chain and hidden member ask for: every path
// down the chain to 32 deep, as many as the load's budget lets through.
uint64_t nestedLoadsAsked(const StructurePlan& s)
{
    const uint64_t fan = std::max(s.referencesPerMember, 1u);
    uint64_t loads = 0;
    for (uint64_t d = 1, paths = fan; d < s.archiveChain && d <= kMaxReferenceDepth; ++d, paths *= fan) {
        loads += paths;
        if (loads > kMaxNestedLoads)
            return kMaxNestedLoads + 2;
    }
    return loads + (s.collidingMember ? 1 : 0);
}

// Whether the clip copy fits its budget: each track onto a node the scene
// has and each controller id they name is charged as one object.
bool clipCopyFits(const StructurePlan& s)
{
    const uint32_t count = std::max(s.clipChildren, s.clipChain ? s.depth : 0);
    const uint32_t made = std::clamp(s.controllers, 1u, std::max(count, 1u));
    std::vector<bool> named(made);
    uint64_t objects = 0;
    const auto copies = [&](uint32_t track) { objects += named[track % made] ? 1 : 2, named[track % made] = true; };
    for (uint32_t i = 0; s.clipChain && i < s.depth; ++i)
        copies(i);
    for (uint32_t i = 0; !s.clipChain && i < s.clipChildren && i / 3 < s.width; i += 3)
        copies(i);
    return objects * kCopyObjectBytes <= kMaxCopyBytes;
}

uint32_t nodeCount(EngineHandle* node)
{
    uint32_t total = 0;
    std::vector<EngineRef> pending;
    pending.push_back(EngineRef::retain(node));
    while (!pending.empty()) {
        const EngineRef next = std::move(pending.back());
        pending.pop_back();
        ++total;
        for (EngineRef& child : childrenOf(next))
            pending.push_back(std::move(child));
    }
    return total;
}

EngineResult loadName(const IkwEngineTable& engine, const std::string& name)
{
    EngineRef loader;
    if (engine.createEngineObject(kIidLoader, loader.out()) != 0)
        return -1;
    return loader.table<IkwLoaderTable>().loadName(loader.get(), name.c_str(), nullptr);
}

} // namespace

StructurePlan decodeStructure(const uint8_t* data, size_t size)
{
    StructurePlan s;
    size_t at = 0;
    eachField(s, [&](auto& field, int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i, ++at)
            v |= uint32_t(at < size ? data[at] : 0) << (8 * i);
        field = std::remove_reference_t<decltype(field)>(v);
    });
    s.depth = std::min(s.depth, kMaxStructureNodes);
    s.width = std::min(s.width, kMaxStructureNodes - s.depth);
    s.alignment %= StructureAlignment::Count;
    s.tracks = std::min(s.tracks, kMaxTracks);
    s.tracksPerLeaf = std::min(s.tracksPerLeaf, kMaxTracksPerLeaf);
    s.controllers = std::min(s.controllers, kMaxControllers);
    s.clipChildren = std::min(s.clipChildren, kMaxStructureNodes);
    s.archiveChain = std::min(s.archiveChain, kMaxArchiveChain);
    s.referencesPerMember = std::min(s.referencesPerMember, kMaxReferencesPerMember);
    return s;
}

std::vector<uint8_t> encodeStructure(const StructurePlan& plan)
{
    std::vector<uint8_t> out;
    StructurePlan s = plan;
    eachField(s, [&](auto field, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(uint8_t(uint32_t(field) >> (8 * i)));
    });
    return out;
}

std::vector<uint8_t> writeStructureScene(const StructurePlan& s)
{
    M3gFileWriter w;
    // Plain: compressing a large scene takes longer than walking it.
    w.beginSection(kM3gSchemeNone);
    const std::vector<uint32_t> tracks = writeTracks(w, s.tracks, s.controllers);
    std::vector<uint32_t> leaves;
    for (uint32_t i = 0; i < s.width; ++i) {
        // Each leaf takes the next tracks of the list, so every track is on
        // many leaves and no leaf has one twice.
        std::vector<uint32_t> own;
        for (uint32_t k = 0; k < s.tracksPerLeaf && k < tracks.size(); ++k)
            own.push_back(tracks[(size_t(i) * s.tracksPerLeaf + k) % tracks.size()]);
        M3gAlignmentFields a;
        a.zTarget = 145; // ORIGIN
        const bool aligned = !leaves.empty() && (s.alignment == StructureAlignment::LeavesToTheFirst ||
                                                  s.alignment == StructureAlignment::LeavesToTheLast);
        if (aligned)
            a.zReference = s.alignment == StructureAlignment::LeavesToTheFirst ? leaves.front() : leaves.back();
        leaves.push_back(group(w, kLeafIds + i, {}, std::move(own), aligned ? &a : nullptr));
    }
    const uint32_t fan = group(w, 3, leaves);
    uint32_t top = fan;
    M3gAlignmentFields toFan;
    toFan.zTarget = 145;
    toFan.zReference = fan;
    for (uint32_t i = 0; i < s.depth; ++i)
        top = group(w, kChainIds + i, {top}, {}, s.alignment == StructureAlignment::ChainToTheFan ? &toFan : nullptr);
    top = group(w, 2, {top});

    // The clip group: children the scene lacks, or a chain like the scene's
    // with a child it lacks on every level, each child with one track.
    const std::vector<uint32_t> clipTracks = writeTracks(w, std::max(s.clipChildren, s.clipChain ? s.depth : 0),
                                                         s.controllers);
    std::vector<uint32_t> clipChildren;
    if (s.clipChain) {
        uint32_t below = group(w, 3, {});
        for (uint32_t i = 0; i < s.depth; ++i)
            below = group(w, kChainIds + i, {below, group(w, kMissingIds + i, {})}, {clipTracks[i]});
        clipChildren.push_back(below);
    } else {
        for (uint32_t i = 0; i < s.clipChildren; ++i) {
            // Every third names a leaf of the scene.
            const uint32_t id = i % 3 == 0 && i / 3 < s.width ? kLeafIds + i / 3 : kMissingIds + i;
            clipChildren.push_back(group(w, id, {}, {clipTracks[i]}));
        }
    }
    M3gWorldFields world;
    world.group.children = {top, group(w, 1, clipChildren)};
    w.addObject(m3gWorldRecord(world));
    return w.finish();
}

std::vector<uint8_t> writeStructureArchive(const StructurePlan& s)
{
    ArchiveWriter archive;
    for (uint32_t i = 0; i < s.archiveChain; ++i) {
        const std::string next = i + 1 < s.archiveChain ? "m" + std::to_string(i + 1) : "";
        M3gFileWriter w;
        std::vector<uint32_t> references;
        for (uint32_t k = 0; !next.empty() && k < std::max(s.referencesPerMember, 1u); ++k)
            references.push_back(w.addExternalReference(next));
        // The others stay roots: a file may name one file twice, but a group
        // may not hold one node twice.
        references.resize(std::min<size_t>(references.size(), 1));
        group(w, i, references);
        archive.add("m" + std::to_string(i), w.finish());
    }
    if (s.collidingMember) {
        static const std::pair<char, std::string> hidden = archiveFolderKeepingHash();
        M3gFileWriter w;
        group(w, 0, {w.addExternalReference(hidden.first + ("\\" + hidden.second))});
        archive.add(hidden.second, w.finish());
    }
    return archive.finish();
}

StructureOutcome runStructure(const IkwEngineTable& engine, const std::string& folder, const StructurePlan& s)
{
    StructureOutcome o;
    const EngineWork start = engineWorkSoFar();
    const auto tally = [&] {
        const EngineWork end = engineWorkSoFar();
        o.work = (end.visits - start.visits) + (end.bytes - start.bytes);
    };
    const std::vector<uint8_t> file = writeStructureScene(s);
    o.inputBytes = o.readBytes = file.size();
    EngineRef loader;
    EngineRef world;
    if (engine.createEngineObject(kIidLoader, loader.out()) == 0) {
        const IkwLoaderTable& api = loader.table<IkwLoaderTable>();
        o.load = api.loadBuffer(loader.get(), uint32_t(file.size()), file.data(), nullptr);
        // Written last, the world is the last root; tracks no leaf takes
        // are roots before it.
        uint32_t roots = 0;
        api.getRootCount(loader.get(), &roots);
        if (o.load == 0 && roots > 0)
            api.getRoot(loader.get(), roots - 1, world.out());
    }
    if (world) {
        const EngineRef scene = findObject(world, 2, kIidGroup);
        const EngineRef clips = findObject(world, 1, kIidGroup);
        findObject(world, kAbsentId, kIidNode); // a search that meets everything
        EngineRef copy;
        if (scene && scene.table<IkwObject3DTable>().duplicate(scene.get(), copy.out()) == 0 && copy) {
            o.copiedNodes = nodeCount(copy.get());
            assignAnimationIds(clips, copy, 1);
            uint8_t named = 0, direct = 0;
            int32_t longest = 0;
            o.animated = findAnimatedObject(copy, named, direct, &longest);
            AnimTable table(nullptr);
            table.bind(&copy, true);
            for (int32_t slot = 0; slot < AnimTable::kSlotCount; ++slot)
                o.clipSlots += table.getLength(slot) > 0 ? 1 : 0;
        }
    }
    if (s.archiveChain == 0 && !s.collidingMember) {
        tally();
        return o;
    }
    const std::string path = folder + "/structure.arc";
    const std::vector<uint8_t> archive = writeStructureArchive(s);
    o.inputBytes += archive.size();
    o.readBytes = o.inputBytes + archive.size() * nestedLoadsAsked(s);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(archive.data()),
                                                std::streamsize(archive.size()));
    if (s.archiveChain > 0)
        o.archiveChain = loadName(engine, "mvlarc:" + path + "!m0");
    if (s.collidingMember)
        o.collidingMember = loadName(engine, "mvlarc:" + path + "!" + archiveFolderKeepingHash().second);
    tally();
    return o;
}

bool structureOutcomeHolds(const StructurePlan& s, const StructureOutcome& o)
{
    // Tracks of the leaves, or copied onto the chain or onto the leaves
    // every third clip child names, when the copy fits its budget.
    const bool animated = (s.width > 0 && s.tracks > 0 && s.tracksPerLeaf > 0)
                          || (clipCopyFits(s) && ((s.clipChain && s.depth > 0)
                                                  || (!s.clipChain && s.clipChildren > 0 && s.width > 0)));
    // m0 is the top; m32 nests 32 deep, the most a reference may, and
    // references that multiply down the chain pass the nested-load budget.
    // A load follows each first reference down before the next, so a chain
    // past the depth is refused after 33 loads, before the budget runs out.
    const EngineResult chain = s.archiveChain == 0                          ? -1
                               : s.archiveChain > 33                       ? 0x1000A
                               : nestedLoadsAsked(s) > kMaxNestedLoads + 1 ? 0x10001
                                                                           : 0;
    return o.load == 0 && o.copiedNodes == s.depth + s.width + 2 && o.animated == animated && o.archiveChain == chain
           && o.collidingMember == (s.collidingMember ? 0x1000A : -1) && o.work <= kWorkPerInputByte * o.readBytes;
}

std::vector<std::pair<std::string, StructurePlan>> structureSeeds()
{
    using A = StructurePlan;
    return {
        {"wide-aligned-to-first", A{.width = 3000, .alignment = StructureAlignment::LeavesToTheFirst}},
        {"wide-aligned-to-last", A{.width = 3000, .alignment = StructureAlignment::LeavesToTheLast}},
        {"deep-aligned-to-fan", A{.depth = 3000, .width = 2, .alignment = StructureAlignment::ChainToTheFan}},
        {"shared-tracks", A{.width = 1000, .tracks = 600, .tracksPerLeaf = 4, .controllers = 400}},
        {"clips-onto-deep", A{.depth = 3000, .width = 1, .controllers = 64, .clipChildren = 3000}},
        {"clip-chain", A{.depth = 2000, .width = 1, .controllers = 8, .clipChain = true}},
        {"clip-chain-past-the-copy-budget", A{.depth = 8192, .width = 1, .clipChain = true}},
        {"archive-chain-33", A{.archiveChain = 33}},
        {"archive-chain-64", A{.archiveChain = 64, .collidingMember = true}},
        {"archive-ladder-12", A{.archiveChain = 12, .referencesPerMember = 2}},
        {"archive-ladder-34", A{.archiveChain = 34, .referencesPerMember = 2}},
    };
}
