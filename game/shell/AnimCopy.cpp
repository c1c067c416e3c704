// Track copying between models and the search for animated objects.
#include "game/shell/AnimCopy.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "engine/core/interface/InterfaceIds.h"
#include "framework/util/KeyIndex.h"
#include "framework/util/LoadLedger.h"

namespace {

uint32_t userIdOf(const EngineRef& object)
{
    uint32_t id = 0;
    if (object)
        object.table<IkwObject3DTable>().getUserID(object.get(), &id);
    return id;
}

uint32_t trackCountOf(const EngineRef& object)
{
    uint32_t count = 0;
    object.table<IkwObject3DTable>().getAnimationTrackCount(object.get(), &count);
    return count;
}

EngineRef trackAt(const EngineRef& object, uint32_t index)
{
    EngineRef track;
    if (object.table<IkwObject3DTable>().getAnimationTrack(object.get(), index, track.out()) != 0)
        return {};
    return track;
}

// One copy's bookkeeping. The id list is indexed by a seeded hash: the ids
// are the 3D file's, and a hash it could aim would make each look-up walk
// every id before it.
struct CopyLedger {
    KeyIndex<uint32_t> places;           // source controller id to its place below
    std::vector<EngineRef> controllers;  // the controller made for each id met
    // Each source object with each target it gave its tracks to: a texture
    // that many meshes share is met once for each of them.
    std::set<std::pair<const void*, const void*>> copiedPairs;
    // Each copy with the target that took it, to take back if the copy is
    // refused.
    std::vector<std::pair<EngineRef, EngineRef>> added;
    uint64_t tracks = 0;  // copies tried, kept or refused
    uint64_t bytes = 0;   // charged against kMaxCopyBytes
    bool refused = false;
    const uint64_t blocksRefusedBefore = LoadLedger::blocksRefused();
};

// True, and the copy refused for good, once it is past its budget or the
// engine has run out of memory anywhere in it: a duplicate, a list or a handle
// it could not make leaves the copy unfinished, and it is taken back whole.
bool refused(CopyLedger& ledger)
{
    ledger.refused = ledger.refused || LoadLedger::blocksRefused() != ledger.blocksRefusedBefore;
    return ledger.refused;
}

// Charges what a duplicate of the object will make; false, and the copy
// refused for good, when that passes the budget. A parameter past it is not
// looked at.
bool charge(const EngineRef& object, CopyLedger& ledger)
{
    const IkwObject3DTable& api = object.table<IkwObject3DTable>();
    uint64_t bytes = ledger.bytes + kCopyObjectBytes;
    for (uint32_t i = 0; bytes <= kMaxCopyBytes; ++i) {
        int32_t length = -1;
        api.getUserParameterAt(object.get(), i, 0, nullptr, &length);
        if (length < 0)
            break;
        bytes += kCopyEntryBytes + uint64_t(length);
    }
    ledger.refused = ledger.refused || bytes > kMaxCopyBytes;
    if (!ledger.refused)
        ledger.bytes = bytes;
    return !ledger.refused;
}

void copyTrack(const EngineRef& track, const EngineRef& target, CopyLedger& ledger, uint32_t offset)
{
    ++ledger.tracks;
    EngineRef duplicate;
    if (!charge(track, ledger) || track.table<IkwObject3DTable>().duplicate(track.get(), duplicate.out()) != 0)
        return;
    const EngineRef copy = duplicate.as(kIidAnimationTrack);
    if (!copy)
        return;
    // A copy the target cannot animate is refused by the engine and dropped.
    if (target.table<IkwObject3DTable>().addAnimationTrack(target.get(), copy.get()) != 0)
        return;
    ledger.added.emplace_back(target.share(), copy.share());
    EngineRef source;
    if (track.table<IkwAnimationTrackTable>().getController(track.get(), source.out()) != 0 || !source)
        return;
    const uint32_t id = userIdOf(source);
    if (const uint32_t* known = ledger.places.find(id)) {
        copy.table<IkwAnimationTrackTable>().setController(copy.get(), ledger.controllers[*known].get());
        return;
    }
    EngineRef controller;
    if (!charge(source, ledger) || source.table<IkwObject3DTable>().duplicate(source.get(), controller.out()) != 0 ||
        !controller)
        return;
    controller.table<IkwObject3DTable>().setUserID(controller.get(), id + offset);
    copy.table<IkwAnimationTrackTable>().setController(copy.get(), controller.get());
    // Out of memory for the id, the controller still serves this track; a
    // later track of the id gets one of its own.
    if (ledger.places.claim(id, uint32_t(ledger.controllers.size())))
        ledger.controllers.push_back(std::move(controller));
}

} // namespace

EngineRef findObject(const EngineRef& root, uint32_t userId, uint32_t iid)
{
    EngineRef found;
    if (!root || root.table<IkwObject3DTable>().find(root.get(), userId, found.out()) != 0)
        return {};
    return found.as(iid);
}

EngineRef meshTexture(const EngineRef& mesh, uint32_t submesh)
{
    EngineRef appearance;
    EngineRef texture;
    if (!mesh || mesh.table<IkwMeshTable>().getAppearance(mesh.get(), submesh, appearance.out()) != 0 || !appearance ||
        appearance.table<IkwAppearanceTable>().getTexture(appearance.get(), 0, texture.out()) != 0)
        return {};
    return texture;
}

EngineRef skeletonOf(const EngineRef& skinned)
{
    EngineRef skeleton;
    if (!skinned || skinned.table<IkwSkinnedMeshTable>().getSkeleton(skinned.get(), skeleton.out()) != 0)
        return {};
    return skeleton;
}

std::vector<EngineRef> childrenOf(const EngineRef& object)
{
    std::vector<EngineRef> children;
    const EngineRef group = object.as(kIidGroup);
    if (!group)
        return children;
    uint32_t count = 0;
    group.table<IkwGroupTable>().getChildCount(group.get(), &count);
    children.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        EngineRef child;
        if (group.table<IkwGroupTable>().getChild(group.get(), i, child.out()) == 0 && child)
            children.push_back(std::move(child));
    }
    return children;
}

namespace {

// The target model's nodes in the order a search by id meets them (a
// world's camera, a skinned mesh's skeleton, a group's children, each
// before what lies below it), with the end of each one's subtree, and every
// id with its places, sorted. What a search from the node at place p finds
// for an id is the first place of that id in p's range, so one walk of the
// model answers every child of every level, where a search per child would
// walk the model once for each.
class NodeIndex {
public:
    explicit NodeIndex(const EngineRef& root)
    {
        std::vector<std::pair<EngineRef, int32_t>> pending; // a node and its parent's place
        pending.emplace_back(root.share(), -1);
        std::vector<int32_t> parents;
        while (!pending.empty()) {
            auto [node, parent] = std::move(pending.back());
            pending.pop_back();
            const int32_t place = int32_t(m_nodes.size());
            m_ids.emplace_back(userIdOf(node), place);
            parents.push_back(parent);
            std::vector<EngineRef> below = childrenOf(node);
            if (EngineRef skeleton = skeletonOf(node.as(kIidSkinnedMesh)))
                below.insert(below.begin(), std::move(skeleton));
            if (const EngineRef world = node.as(kIidWorld)) {
                EngineRef camera;
                if (world.table<IkwWorldTable>().getActiveCamera(world.get(), camera.out()) == 0 && camera)
                    below.insert(below.begin(), std::move(camera));
            }
            m_nodes.push_back({std::move(node), place + 1});
            for (auto it = below.rbegin(); it != below.rend(); ++it)
                pending.emplace_back(std::move(*it), place);
        }
        // A subtree ends where its last descendant's does.
        for (int32_t place = int32_t(m_nodes.size()) - 1; place > 0; --place)
            m_nodes[size_t(parents[size_t(place)])].end =
                std::max(m_nodes[size_t(parents[size_t(place)])].end, m_nodes[size_t(place)].end);
        std::sort(m_ids.begin(), m_ids.end());
    }

    // The place of the first node with the id at or below place at; -1
    // when there is none.
    int32_t find(int32_t at, uint32_t id) const
    {
        const auto found = std::lower_bound(m_ids.begin(), m_ids.end(), std::make_pair(id, at));
        return found != m_ids.end() && found->first == id && found->second < m_nodes[size_t(at)].end ? found->second
                                                                                                     : -1;
    }
    const EngineRef& node(int32_t place) const { return m_nodes[size_t(place)].node; }

private:
    struct Entry {
        EngineRef node;
        int32_t end;
    };
    std::vector<Entry> m_nodes;
    std::vector<std::pair<uint32_t, int32_t>> m_ids;
};

// A source object, the target object that takes copies of its tracks, and
// the target's place in the index (-1 for a texture, which has no children).
struct CopyPair {
    EngineRef from;
    EngineRef to;
    int32_t at;
};

// Each source child's partner at or below the target group, in child order:
// groups for their subtrees, a skinned mesh's texture and then its skeleton.
void matchChildren(const CopyPair& pair, const NodeIndex& index, std::vector<CopyPair>& matched)
{
    for (const EngineRef& child : childrenOf(pair.from)) {
        const uint32_t id = userIdOf(child);
        int32_t at = index.find(pair.at, id);
        if (at < 0 && (id == ModelId::Boy || id == ModelId::Girl))
            at = index.find(pair.at, id == ModelId::Boy ? ModelId::Girl : ModelId::Boy);
        if (at < 0)
            continue;
        const EngineRef& match = index.node(at);
        if (EngineRef a = child.as(kIidGroup), b = match.as(kIidGroup); a && b) {
            matched.push_back({std::move(a), std::move(b), at});
        } else if (const EngineRef p = child.as(kIidSkinnedMesh), q = match.as(kIidSkinnedMesh); p && q) {
            if (EngineRef pTexture = meshTexture(p, 0), qTexture = meshTexture(q, 0); pTexture && qTexture)
                matched.push_back({std::move(pTexture), std::move(qTexture), -1});
            // The skeleton is the first node the walk met below the mesh.
            if (EngineRef pSkeleton = skeletonOf(p), qSkeleton = skeletonOf(q); pSkeleton && qSkeleton)
                matched.push_back({std::move(pSkeleton), std::move(qSkeleton), at + 1});
        }
    }
}

void cloneAnimations(const EngineRef& source, const EngineRef& target, CopyLedger& ledger, uint32_t offset)
{
    std::vector<CopyPair> pending;
    if (source && target)
        pending.push_back({source.share(), target.share(), 0});
    std::unique_ptr<NodeIndex> index;
    std::vector<CopyPair> matched;
    while (!pending.empty() && !refused(ledger)) {
        const CopyPair pair = std::move(pending.back());
        pending.pop_back();
        if (!ledger.copiedPairs.emplace(pair.from.identity(), pair.to.identity()).second)
            continue;
        const uint32_t tracks = trackCountOf(pair.from);
        for (uint32_t i = 0; i < tracks && !refused(ledger); ++i)
            if (const EngineRef track = trackAt(pair.from, i))
                copyTrack(track, pair.to, ledger, offset);
        if (pair.at < 0 || !pair.to.as(kIidGroup))
            continue;
        if (!index)
            index = std::make_unique<NodeIndex>(target);
        // Reversed onto the stack, so the first child's subtree is copied first.
        matched.clear();
        matchChildren(pair, *index, matched);
        std::move(matched.rbegin(), matched.rend(), std::back_inserter(pending));
    }
}

} // namespace

CopyWork assignAnimationIds(const EngineRef& source, const EngineRef& target, uint32_t offset)
{
    CopyLedger ledger;
    cloneAnimations(source, target, ledger, offset);
    if (refused(ledger))
        for (const auto& [to, copy] : ledger.added)
            to.table<IkwObject3DTable>().removeAnimationTrack(to.get(), copy.get());
    return {ledger.tracks, ledger.places.probes()};
}

void scanAnimationTracks(const EngineRef& object, uint8_t& named, int32_t* longest)
{
    if (named || !object)
        return;
    const uint32_t tracks = trackCountOf(object);
    for (uint32_t i = 0; i < tracks; ++i) {
        const EngineRef track = trackAt(object, i);
        if (!track)
            continue;
        const IkwAnimationTrackTable& api = track.table<IkwAnimationTrackTable>();
        if (longest) {
            EngineRef sequence;
            int32_t duration = 0;
            if (api.getKeyframeSequence(track.get(), sequence.out()) == 0 && sequence)
                sequence.table<IkwKeyframeSequenceTable>().getDuration(sequence.get(), &duration);
            if (duration > *longest)
                *longest = duration;
        }
        EngineRef controller;
        if (api.getController(track.get(), controller.out()) == 0 && userIdOf(controller) != 0) {
            named = 1;
            return;
        }
    }
}

namespace {

// The first texture of a mesh's submesh appearances that carries tracks.
EngineRef animatedMeshTexture(const EngineRef& node)
{
    const EngineRef mesh = node.as(kIidMesh);
    for (uint32_t submesh = 0; mesh; ++submesh) {
        EngineRef appearance;
        if (mesh.table<IkwMeshTable>().getAppearance(mesh.get(), submesh, appearance.out()) != 0 || !appearance)
            break;
        EngineRef texture;
        if (appearance.table<IkwAppearanceTable>().getTexture(appearance.get(), 0, texture.out()) == 0 && texture &&
            trackCountOf(texture) > 0)
            return texture;
    }
    return {};
}

} // namespace

bool findAnimatedObject(const EngineRef& node, uint8_t& named, uint8_t& direct, int32_t* longest)
{
    std::vector<EngineRef> pending;
    if (node)
        pending.push_back(node.share());
    while (!pending.empty()) {
        const EngineRef next = std::move(pending.back());
        pending.pop_back();
        if (trackCountOf(next) > 0) {
            scanAnimationTracks(next, named, longest);
            direct = 1;
            return true;
        }
        if (const EngineRef texture = animatedMeshTexture(next)) {
            scanAnimationTracks(texture, named, longest);
            return true;
        }
        std::vector<EngineRef> children = childrenOf(next);
        std::move(children.rbegin(), children.rend(), std::back_inserter(pending));
    }
    return false;
}
