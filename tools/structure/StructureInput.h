// Large and deep scene structure from a few bytes, for the fuzz target, its
// corpus replay and the benchmark: a chain of groups over a fan of leaves,
// alignments between them, tracks shared by many leaves under a few
// controllers, a clip group to copy onto the scene, and an archive with a
// chain of references and a member whose name a folder keeps. One run loads
// the scene, searches, duplicates and copies clips onto it, and loads the
// archive's members: every step must end in time proportional to what the
// bytes asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/interface/EngineHandle.h"
#include "engine/core/interface/IkwEngine.h"

// What the bytes ask for; each count is capped so a linear step stays quick.
struct StructurePlan {
    uint32_t depth = 0;          // groups in a chain above the fan
    uint32_t width = 0;          // leaves of the fan
    uint8_t alignment = 0;       // StructureAlignment
    uint32_t tracks = 0;         // distinct tracks, each on many leaves
    uint32_t tracksPerLeaf = 0;  // at most kMaxTracksPerLeaf
    uint32_t controllers = 0;    // distinct controller ids among the tracks
    uint32_t clipChildren = 0;   // children of the clip group
    bool clipChain = false;      // the clip group mirrors the chain instead
    uint32_t archiveChain = 0;   // members referencing the next one
    bool collidingMember = false;
    uint32_t referencesPerMember = 0; // to the next member; 0 reads as 1
};

namespace StructureAlignment {
constexpr uint8_t None = 0;
constexpr uint8_t LeavesToTheFirst = 1;  // every leaf to the first leaf
constexpr uint8_t LeavesToTheLast = 2;   // every leaf to the one before it
constexpr uint8_t ChainToTheFan = 3;     // every chain group to the fan
constexpr uint8_t Count = 4;
} // namespace StructureAlignment

constexpr uint32_t kMaxStructureNodes = 10000;
constexpr uint32_t kMaxTracksPerLeaf = 4;

StructurePlan decodeStructure(const uint8_t* data, size_t size);
std::vector<uint8_t> encodeStructure(const StructurePlan& plan);

// A World holding the chain (user id 2 at its top) and the clip group
// (user id 1).
std::vector<uint8_t> writeStructureScene(const StructurePlan& plan);
// Members "m0", "m1", ... each referencing the next (as many times as the
// plan says, so that paths multiply down the chain), and, when asked, the
// member f of archiveFolderKeepingHash() referencing "d\f".
std::vector<uint8_t> writeStructureArchive(const StructurePlan& plan);

struct StructureOutcome {
    EngineResult load = -1;
    uint32_t copiedNodes = 0;  // nodes of the duplicate
    bool animated = false;     // findAnimatedObject on the duplicate
    int32_t clipSlots = 0;     // clips the clip table collected from it
    EngineResult archiveChain = -1;
    EngineResult collidingMember = -1;
    // The engine's counted steps plus the bytes it allocated over the whole
    // run, and the bytes of the files it was given.
    uint64_t work = 0;
    uint64_t inputBytes = 0;
    // What the loads may read: the files once, and the archive again for
    // every nested load its chain asks for, up to the load's budget of them.
    uint64_t readBytes = 0;
};

// The most work a run may do per byte its loads read: every step of it
// (load, search, duplicate, clips, archive) reads or copies what the files
// hold a bounded number of times.
constexpr uint64_t kWorkPerInputByte = 64;

// Runs every step on the engine whose root table is given (a
// CountingEngine's, so that its bytes count); archives go to folder.
StructureOutcome runStructure(const IkwEngineTable& engine, const std::string& folder, const StructurePlan& plan);

// Whether the outcome is what the plan must give: the scene loads and copies
// whole, is animated where it has tracks, and the archive's chain loads
// within the nesting bound and is refused past it, its hidden member always,
// and the work stays within kWorkPerInputByte of the bytes read.
bool structureOutcomeHolds(const StructurePlan& plan, const StructureOutcome& outcome);

// Named seeds for the fuzz target and the replay test.
std::vector<std::pair<std::string, StructurePlan>> structureSeeds();
