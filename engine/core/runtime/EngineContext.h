// The engine's global state: one block per process, created by engineInit and
// destroyed by engineShutdown. The allocation hooks live apart from it (they
// are installed before the context exists).
#pragma once

#include <cstdint>

#include "engine/core/math/CkwMatrix.h"

class CkwObjectFactory;
class CkwCleanupStackManager;
class CkwAlignRegistry;
class CkwNode;
class CkwPickData;
class CkwRayIntersection;
struct TrapStack;

// A transformable's components. The engine context's default block is the
// one every transformable starts from: no translation, unit scale, no
// rotation and the identity.
struct DefaultTransformBlock {
    float translation[3];
    float scale[3];
    float orientation[4]; // x, y, z, w
    // The general transform: the context's shared identity until one is set.
    const CkwMatrix* generalMatrix;
    CkwMatrix matrix; // the composite
};

struct EngineContext {
    CkwObjectFactory* factory;
    int32_t reserved1;
    uint8_t* markerBlock;
    TrapStack* trapStack;
    CkwCleanupStackManager* cleanupStack;
    int32_t reserved5; // -1 at creation
    int32_t animationPass;
    DefaultTransformBlock* defaultTransform;
    CkwMatrix* identityMatrix;
    // The leave code the 3D file parser carries across its zlib trap.
    int32_t lastError;
    // Created on first use by the scene and render code, destroyed by
    // engineShutdown (the last two through their module's shutdown).
    CkwAlignRegistry* alignTargetManager;
    CkwPickData* pickData;
    CkwRayIntersection* rayIntersection;
    int32_t word13;
    int32_t word14;
    CkwMatrix scratchMatrix;
    // Nodes whose last count went with their destroyed parent, linked through
    // their sibling field, and whether a node destructor is releasing them.
    CkwNode* pendingDestroy;
    bool destroyingNodes;
    // Objects stepped over by searches and copies of a scene's structure and
    // handed out through handles: a count of work that tests read to hold
    // those walks in proportion to the scene.
    uint64_t visits;
    // Bytes that growing arrays copied from their old buffers: a count that
    // tests read to hold growth geometric.
    uint64_t copiedBytes;
    // Per-vertex work of frames (vertices transformed or skinned, light
    // contributions evaluated) and bytes sections inflated: counts that tests
    // read to hold a frame and a load in proportion to the file.
    uint64_t vertexTransforms;
    uint64_t lightEvaluations;
    uint64_t inflatedBytes;
    // Steps spent working out generated pictures, pixel by pixel.
    uint64_t generationSteps;
    // Vertex steps over a deformed mesh's whole source (a skin's influences
    // and skinned copy, a morph's blend), which a load's deform budget pays
    // for: counted apart from visits and transforms, so those stay held to
    // the scene.
    uint64_t deformSteps;
};

EngineContext* engineContext();
void setEngineContext(EngineContext* context);
// Adds to one of the context's counts; nothing when there is no context.
inline void countEngineWork(uint64_t EngineContext::*count, uint64_t amount)
{
    if (EngineContext* context = engineContext())
        context->*count += amount;
}
inline void countEngineVisits(uint64_t steps) { countEngineWork(&EngineContext::visits, steps); }
inline void countVertexTransforms(uint64_t vertices) { countEngineWork(&EngineContext::vertexTransforms, vertices); }
inline void countLightEvaluations(uint64_t lights) { countEngineWork(&EngineContext::lightEvaluations, lights); }
inline void countInflatedBytes(uint64_t bytes) { countEngineWork(&EngineContext::inflatedBytes, bytes); }
inline void countGenerationSteps(uint64_t steps) { countEngineWork(&EngineContext::generationSteps, steps); }
inline void countDeformSteps(uint64_t steps) { countEngineWork(&EngineContext::deformSteps, steps); }
// The context; leaves -4 when there is none.
EngineContext& engineContextL();

// Returns 1 on success, 0 on failure (nothing is left behind then).
int32_t engineInit();
// Destroys the context and everything it holds; nothing when there is none.
void engineShutdown();

TrapStack* engineTrapStack();
CkwCleanupStackManager* engineCleanupStack();
uint8_t* engineMarkerBlock();
int32_t* engineWord13();
int32_t* engineWord14();
