// The scaling table's files and its run: for each relation one record can
// hold to another, a generator writes a valid file whose count of that
// relation is N, and one run does to it what a game does (load, duplicate,
// animate, draw twice, pick, align, find, walk the references, take the
// tracks off, release), counting the engine's steps and the bytes it
// allocates for each. The test and the benchmark compare the counts at N and
// 2N; a file past one of the load's budgets at both is refused, its work held
// by the budget.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/interface/IkwEngine.h"
#include "engine/scene/SceneFuzzInput.h"

// An engine made through the public entry point whose allocation hooks count
// the bytes it asks for; one per process.
class CountingEngine : public SceneEngine {
public:
    CountingEngine();
};

// Counted work so far: the engine's steps over structure, the bytes it
// allocated, the vertices its frames transformed, the light contributions
// they evaluated and the bytes its loads inflated.
struct EngineWork {
    uint64_t visits = 0;
    uint64_t bytes = 0;
    uint64_t vertexTransforms = 0;
    uint64_t lightEvaluations = 0;
    uint64_t inflatedBytes = 0;
    EngineWork operator-(const EngineWork& before) const
    {
        return {visits - before.visits, bytes - before.bytes, vertexTransforms - before.vertexTransforms,
                lightEvaluations - before.lightEvaluations, inflatedBytes - before.inflatedBytes};
    }
};
EngineWork engineWorkSoFar();

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

using ScalingGenerator = ScalingFile (*)(uint32_t n);

struct ScalingRelation {
    const char* name;
    ScalingGenerator make;
    uint32_t testN;  // quick in the sanitizer build
    uint32_t benchN; // large, for the benchmark
    // Operations (bits of ScalingOp) past a budget of the call by 2N: they
    // are refused with the call's usual error before they change anything,
    // so their work stays what the budget allows.
    uint32_t refusedByTwiceN = 0;
    EngineResult refused = 0; // the load's result at both sizes, for a file past a budget
};
const std::vector<ScalingRelation>& scalingRelations();

namespace ScalingOp {
enum : int { Load, Duplicate, Animate, Draw, Redraw, Pick, Align, Find, GetReferences, RemoveTracks, Release, Count };
} // namespace ScalingOp
const char* scalingOpName(int op);

struct ScalingRun {
    EngineWork work[ScalingOp::Count];
    EngineResult result[ScalingOp::Count] = {};
    double seconds[ScalingOp::Count] = {}; // for the benchmark's columns only
    uint32_t objects = 0; // reached through getReferences from the roots
};

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

// Loads and works the file on the engine (a CountingEngine's), writing its
// files into folder first. Buffers the engine keeps between calls (the pick
// stack, the render queue) grow in whichever run first needs them: a fresh
// engine for each run makes runs comparable.
ScalingRun runScaling(const IkwEngineTable& engine, const std::string& folder, const ScalingFile& file);
