// Sharing one model's clips with another: its animation tracks copied onto
// the matching nodes, with controllers of their own under the source ids plus
// a variant offset; and the search for the first animated object of a subtree.
#pragma once

#include <cstdint>
#include <vector>

#include "game/shell/EngineRef.h"

namespace ModelId {
// The two thieves take each other's clips where their own node is missing.
constexpr uint32_t Boy = 0x298bfd31;
constexpr uint32_t Girl = 0x2dd7376f;
} // namespace ModelId

// The object with the user id at or below the root, as the interface; empty
// when there is none.
EngineRef findObject(const EngineRef& root, uint32_t userId, uint32_t iid);
// Texture unit 0 of the submesh's appearance; empty when either is missing.
EngineRef meshTexture(const EngineRef& mesh, uint32_t submesh);
EngineRef skeletonOf(const EngineRef& skinned);
// The children of a group in index order; none for any other object. The
// walks below a node keep their own stack of these, never the thread's: a
// scene can nest tens of thousands of groups.
std::vector<EngineRef> childrenOf(const EngineRef& object);

// The bytes one copy may make, charged before each duplicate for what it will
// hold: the object (a track or a controller) and the user parameters it takes
// byte for byte, each its value and its entry. A texture that many meshes of
// the source share meets as many textures of the target, and each takes all
// its tracks: the file's tracks times its meshes, parameters and all. Past the
// budget the copy is refused whole and the target keeps the tracks it had, so
// no clip moves half a skeleton. The budget is per copy because the game, not
// the file, decides how many copies a level makes: four at most, when the big
// heist's two thieves each take two clip groups.
constexpr uint64_t kMaxCopyBytes = uint64_t(4) << 20;
// What the engine makes for one duplicate object, with its share of its
// holder's list and the handles it passes through, rounded up.
constexpr uint64_t kCopyObjectBytes = 512;
// A user parameter's entry beside its value, with the copy's scratch for it
// and its share of the list's room.
constexpr uint64_t kCopyEntryBytes = 64;

// What one copy did, in the units tests count.
struct CopyWork {
    uint64_t tracks = 0;  // tracks duplicated
    uint64_t probes = 0;  // slots of the controller id index looked at
};

// Each source object's tracks go once onto each target object it matches, or
// none anywhere when that would pass the budget or the engine runs out of
// memory part way.
CopyWork assignAnimationIds(const EngineRef& source, const EngineRef& target, uint32_t offset);

// Only while named is 0: the longest sequence duration until a track whose
// controller has a user id, which sets named.
void scanAnimationTracks(const EngineRef& object, uint8_t& named, int32_t* longest);
// Depth first; direct becomes 1 when the node itself (not a texture of a
// mesh) carries the tracks.
bool findAnimatedObject(const EngineRef& node, uint8_t& named, uint8_t& direct, int32_t* longest);
