// Track copying between models and the search for animated objects.
#include "game/shell/AnimCopy.h"

#include <iterator>
#include <vector>

#include "engine/core/interface/InterfaceIds.h"

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

// A source controller id and the controller made for it, shared by every
// copied track that names the same id.
struct CopiedController {
    uint32_t id;
    EngineRef controller;
};

void copyTrack(const EngineRef& track, const EngineRef& target, std::vector<CopiedController>& copied,
               uint32_t offset)
{
    EngineRef duplicate;
    if (track.table<IkwObject3DTable>().duplicate(track.get(), duplicate.out()) != 0)
        return;
    const EngineRef copy = duplicate.as(kIidAnimationTrack);
    if (!copy)
        return;
    // A copy the target cannot animate is refused by the engine and dropped.
    if (target.table<IkwObject3DTable>().addAnimationTrack(target.get(), copy.get()) != 0)
        return;
    EngineRef source;
    if (track.table<IkwAnimationTrackTable>().getController(track.get(), source.out()) != 0 || !source)
        return;
    const uint32_t id = userIdOf(source);
    for (const CopiedController& known : copied) {
        if (known.id == id) {
            copy.table<IkwAnimationTrackTable>().setController(copy.get(), known.controller.get());
            return;
        }
    }
    EngineRef controller;
    if (source.table<IkwObject3DTable>().duplicate(source.get(), controller.out()) != 0 || !controller)
        return;
    controller.table<IkwObject3DTable>().setUserID(controller.get(), id + offset);
    copy.table<IkwAnimationTrackTable>().setController(copy.get(), controller.get());
    copied.push_back(CopiedController{id, std::move(controller)});
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

// A source object and the target object that takes copies of its tracks.
struct CopyPair {
    EngineRef from;
    EngineRef to;
};

// Each source child's partner at or below the target group, in child order:
// groups for their subtrees, a skinned mesh's texture and then its skeleton.
void matchChildren(const CopyPair& pair, std::vector<CopyPair>& matched)
{
    for (const EngineRef& child : childrenOf(pair.from)) {
        const uint32_t id = userIdOf(child);
        EngineRef match = findObject(pair.to, id, kIidNode);
        if (!match && (id == ModelId::Boy || id == ModelId::Girl))
            match = findObject(pair.to, id == ModelId::Boy ? ModelId::Girl : ModelId::Boy, kIidNode);
        if (!match)
            continue;
        if (EngineRef a = child.as(kIidGroup), b = match.as(kIidGroup); a && b) {
            matched.push_back({std::move(a), std::move(b)});
        } else if (const EngineRef p = child.as(kIidSkinnedMesh), q = match.as(kIidSkinnedMesh); p && q) {
            if (EngineRef pTexture = meshTexture(p, 0), qTexture = meshTexture(q, 0); pTexture && qTexture)
                matched.push_back({std::move(pTexture), std::move(qTexture)});
            if (EngineRef pSkeleton = skeletonOf(p), qSkeleton = skeletonOf(q); pSkeleton && qSkeleton)
                matched.push_back({std::move(pSkeleton), std::move(qSkeleton)});
        }
    }
}

void cloneAnimations(const EngineRef& source, const EngineRef& target, std::vector<CopiedController>& copied,
                     uint32_t offset)
{
    std::vector<CopyPair> pending;
    if (source && target)
        pending.push_back({source.share(), target.share()});
    std::vector<CopyPair> matched;
    while (!pending.empty()) {
        const CopyPair pair = std::move(pending.back());
        pending.pop_back();
        const uint32_t tracks = trackCountOf(pair.from);
        for (uint32_t i = 0; i < tracks; ++i)
            if (const EngineRef track = trackAt(pair.from, i))
                copyTrack(track, pair.to, copied, offset);
        if (!pair.to.as(kIidGroup))
            continue;
        // Reversed onto the stack, so the first child's subtree is copied first.
        matched.clear();
        matchChildren(pair, matched);
        std::move(matched.rbegin(), matched.rend(), std::back_inserter(pending));
    }
}

} // namespace

void assignAnimationIds(const EngineRef& source, const EngineRef& target, uint32_t offset)
{
    std::vector<CopiedController> copied;
    cloneAnimations(source, target, copied, offset);
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
