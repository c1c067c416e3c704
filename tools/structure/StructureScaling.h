// The scaling table: every relation one record can hold to another is a
// contribution to one shared scene (a World with a camera, lights, a lit
// textured mesh over a shared vertex buffer, skins, animated groups, ...),
// sized by its own count, so that any two relations grow together in one
// file. One run does to the file what a game does (load, duplicate, animate,
// draw twice, pick through the camera and along a ray, animate and draw the
// next frame, align, find, move the content under a new group and draw,
// draw one node, walk the references, take the tracks off, release),
// counting the engine's steps, the bytes it allocates, the
// vertices it transforms, the lights it evaluates and the bytes it inflates.
// A cell (a relation alone, a pair, or a budget met many times) holds when
// every count at 2N stays within 2.3 times that at N, or a budget of the
// whole input holds it: refused by 2N, or its work within the budget's total.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/interface/IkwEngine.h"
#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/scene/SceneFuzzInput.h"

// An engine made through the public entry point whose allocation hooks count
// the bytes it asks for; one per process.
class CountingEngine : public SceneEngine {
public:
    CountingEngine();
};

// Counted work so far: the engine's steps over structure, the bytes it
// allocated, the vertices its frames transformed, the light contributions
// they evaluated, the bytes its loads inflated and the vertex steps over
// deformed meshes' whole sources.
struct EngineWork {
    uint64_t visits = 0;
    uint64_t bytes = 0;
    uint64_t vertexTransforms = 0;
    uint64_t lightEvaluations = 0;
    uint64_t inflatedBytes = 0;
    uint64_t deformSteps = 0;
    EngineWork operator-(const EngineWork& before) const
    {
        return {visits - before.visits,
                bytes - before.bytes,
                vertexTransforms - before.vertexTransforms,
                lightEvaluations - before.lightEvaluations,
                inflatedBytes - before.inflatedBytes,
                deformSteps - before.deformSteps};
    }
};
EngineWork engineWorkSoFar();

// The relations, each a count of one kind of thing in the shared scene.
namespace Relation {
enum : int {
    ChildFan,                  // meshes in one group, each drawing its own rows of the shared buffer
    ChildChain,                // groups above the scene's content, each the parent of the next
    ExternalReference,         // references to one file
    ReferencedGroup,           // groups in that file
    ArchiveMember,             // rungs of an archive ladder under the file, each naming the next twice
    AnimationTrack,            // tracks of the shared sequence on one group
    Keyframe,                  // keyframes of every shared sequence, sampled near their end
    Controller,                // groups moved by a track under a controller of their own
    TrackRemoval,              // tracks over three properties on one group, taken off with reads between
    Bone,                      // bones of the skin's skeleton beside each other, each bound
    Binding,                   // further bindings of the skin, over its bones and its source
    SkeletonDepth,             // bones of the skin each the child of the one before, each bound
    SkinnedMesh,               // skinned meshes over the shared source, each binding its own rows
    MorphTarget,               // targets of a morphing mesh over the shared buffer
    Submesh,                   // submeshes of the lit mesh, each its own rows
    Vertex,                    // rows of the shared buffer that only the lit mesh draws
    Appearance,                // meshes with an appearance of their own state objects
    Layer,                     // meshes on layers -63 .. 63, whose looks the submeshes share
    Texture,                   // meshes with a texture of their own over the shared image
    Image,                     // sprites, backgrounds and textured meshes with images of every kind
    ImageSize,                 // rows of the images the file makes without their pixels
    Light,                     // lights of every mode
    Camera,                    // cameras beside the active one
    AlignmentTarget,           // a chain of groups each aligned to the group beside it
    SharedAlignmentTarget,     // meshes aligned to the first of them
    AlignmentMeetingNodeMoves, // a spine whose references meet it ever farther down
    AlignmentSingularProducts, // a spine scaled down so that products from its top vanish
    UserParameter,             // user parameters of one group whose ids share their low bits
    Section,                   // deflated sections, each one group with a record of the record size
    RecordSize,                // 64 KiB of user parameter in each of those records
    Count
};
} // namespace Relation

using ScalingCounts = std::array<uint32_t, Relation::Count>;

struct ScalingRelation {
    const char* name;
    uint32_t testN;  // quick in the sanitizer build, alone and in pairs
    uint32_t benchN; // large, for the benchmark
};
// Indexed by Relation.
const std::array<ScalingRelation, Relation::Count>& scalingRelations();

// A generated file: the bytes to load, or, when name is set, files written
// into the run's folder and the name to load ("mvlarc:" names resolve in
// that folder too). The World is the last root. time is when the animation
// pass samples.
struct ScalingFile {
    std::vector<uint8_t> bytes;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    std::string name;
    int32_t time = 100;
    size_t size() const;
};

// The shared scene with counts[r] of each relation r.
ScalingFile writeScalingScene(const ScalingCounts& counts);

namespace ScalingOp {
enum : int {
    Load,
    Duplicate,
    Animate,
    Draw,
    Redraw,
    Pick,
    PickRay,
    NextFrame,
    Align,
    Find,
    Reparent,
    RenderNode,
    GetReferences,
    RemoveTracks,
    Release,
    Count
};
} // namespace ScalingOp
const char* scalingOpName(int op);

struct ScalingRun {
    EngineWork work[ScalingOp::Count];
    EngineResult result[ScalingOp::Count] = {};
    double seconds[ScalingOp::Count] = {}; // for the benchmark's columns only
    uint32_t objects = 0;     // reached through getReferences from the roots
    uint32_t nestedLoads = 0; // the files the load opened besides its own
    CkwLoadCharges charges;   // what the load drew on its allowances
};

// Loads and works the file on the engine (a CountingEngine's), writing its
// files into folder first. Buffers the engine keeps between calls (the pick
// stack, the render queue) grow in whichever run first needs them: a fresh
// engine for each run makes runs comparable.
ScalingRun runScaling(const IkwEngineTable& engine, const std::string& folder, const ScalingFile& file);

// The budgets of a whole input that hold work a file may multiply.
namespace ScalingBudget {
enum : int { NestedLoads, LoadBytes, MadeBytes, DeformSteps, AlignSteps, FrameLights, Count };
} // namespace ScalingBudget

// A cell of the table: fixed counts plus perN of each relation times 1 (at
// N) or 2 (at 2N). A relation alone and a pair have no fixed counts; a
// budget met many times fixes each item at its limit and grows their number,
// and names the budget it shows holding (ScalingBudget::Count for none);
// past a cap, more of what it caps adds nothing to what it holds.
struct ScalingCell {
    std::string name;
    ScalingCounts fixed{};
    ScalingCounts perN{};
    int shows = ScalingBudget::Count;
    bool pastCap = false;
    ScalingCounts at(uint32_t times) const;
};
// Every relation alone and every pair, with the relations' test or bench N.
// The pairs of relation r are those with the (Relation::Count - 1) / 2
// relations after it, cyclically, so the table splits evenly by r.
std::vector<ScalingCell> scalingCells(int relation, bool bench);
// Rows that meet each budget many times in one file, each item at its limit.
std::vector<ScalingCell> scalingBudgetCells(bool bench);

// What the cell did wrong at N and 2N, one line each; empty when it holds.
std::vector<std::string> scalingFaults(const ScalingCell& cell, const ScalingFile& atNFile, const ScalingRun& atN,
                                       const ScalingFile& at2NFile, const ScalingRun& at2N);

// Two models for the game's copy of one model's clips onto another: the
// source (user id 1) and the target (user id 2) under the World, n of the
// shape's relation.
namespace ClipCopyShape {
enum : int {
    MissingChildren,     // n children the target lacks, against a chain of n
    MissingOnEveryLevel, // a chain onto a chain that lacks a child on every level
    Tracks,              // n tracks under controllers of their own
    CollidingIds,        // the same, all ids in the standard library's first bucket
    SharedTexture,       // n skinned meshes sharing a texture of n tracks, on both sides
    SharedTextureFew,    // the same with four tracks
    TargetTextures,      // the target's meshes each with a texture of its own
};
} // namespace ClipCopyShape
std::vector<uint8_t> clipCopyModels(int shape, uint32_t n);
