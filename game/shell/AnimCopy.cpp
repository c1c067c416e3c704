// Track copying between models and the search for animated objects.
#include "game/shell/AnimCopy.h"

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

EngineRef skeletonOf(const EngineRef& skinned)
{
    EngineRef skeleton;
    if (skinned.table<IkwSkinnedMeshTable>().getSkeleton(skinned.get(), skeleton.out()) != 0)
        return {};
    return skeleton;
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

namespace {

void cloneAnimations(const EngineRef& source, const EngineRef& target, std::vector<CopiedController>& copied,
                     uint32_t offset)
{
    if (!source || !target)
        return;
    const uint32_t tracks = trackCountOf(source);
    for (uint32_t i = 0; i < tracks; ++i)
        if (const EngineRef track = trackAt(source, i))
            copyTrack(track, target, copied, offset);

    const EngineRef from = source.as(kIidGroup);
    const EngineRef to = target.as(kIidGroup);
    if (!from || !to)
        return;
    uint32_t children = 0;
    from.table<IkwGroupTable>().getChildCount(from.get(), &children);
    for (uint32_t i = 0; i < children; ++i) {
        EngineRef child;
        if (from.table<IkwGroupTable>().getChild(from.get(), i, child.out()) != 0 || !child)
            continue;
        const uint32_t id = userIdOf(child);
        EngineRef match = findObject(to, id, kIidNode);
        if (!match && (id == ModelId::Boy || id == ModelId::Girl))
            match = findObject(to, id == ModelId::Boy ? ModelId::Girl : ModelId::Boy, kIidNode);
        if (!match)
            continue;
        if (const EngineRef a = child.as(kIidGroup), b = match.as(kIidGroup); a && b) {
            cloneAnimations(a, b, copied, offset);
        } else if (const EngineRef p = child.as(kIidSkinnedMesh), q = match.as(kIidSkinnedMesh); p && q) {
            const EngineRef pTexture = meshTexture(p, 0);
            const EngineRef qTexture = meshTexture(q, 0);
            if (pTexture && qTexture)
                cloneAnimations(pTexture, qTexture, copied, offset);
            const EngineRef pSkeleton = skeletonOf(p);
            const EngineRef qSkeleton = skeletonOf(q);
            if (pSkeleton && qSkeleton)
                cloneAnimations(pSkeleton, qSkeleton, copied, offset);
        }
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

bool findAnimatedObject(const EngineRef& node, uint8_t& named, uint8_t& direct, int32_t* longest)
{
    if (!node)
        return false;
    if (trackCountOf(node) > 0) {
        scanAnimationTracks(node, named, longest);
        direct = 1;
        return true;
    }
    if (const EngineRef mesh = node.as(kIidMesh)) {
        for (uint32_t submesh = 0;; ++submesh) {
            EngineRef appearance;
            if (mesh.table<IkwMeshTable>().getAppearance(mesh.get(), submesh, appearance.out()) != 0 || !appearance)
                break;
            EngineRef texture;
            if (appearance.table<IkwAppearanceTable>().getTexture(appearance.get(), 0, texture.out()) == 0 && texture &&
                trackCountOf(texture) > 0) {
                scanAnimationTracks(texture, named, longest);
                return true;
            }
        }
    }
    if (const EngineRef group = node.as(kIidGroup)) {
        uint32_t children = 0;
        group.table<IkwGroupTable>().getChildCount(group.get(), &children);
        for (uint32_t i = 0; i < children; ++i) {
            EngineRef child;
            if (group.table<IkwGroupTable>().getChild(group.get(), i, child.out()) == 0 &&
                findAnimatedObject(child, named, direct, longest))
                return true;
        }
    }
    return false;
}
