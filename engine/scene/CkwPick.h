// Ray picking: the ray is carried down a group's subtree in each child's own
// coordinates (rays are transformed, never geometry), tested against mesh
// boxes, then triangles, and against sprites, keeping the nearest hit. The
// state lives once in the engine context, so picks do not nest.
#pragma once

#include <cstdint>

#include "engine/core/math/CkwMatrix.h"
#include "engine/core/runtime/CkwStack.h"

class CkwCamera;
class CkwNode;
class CkwRayIntersection;
struct EngineContext;

class CkwPickData : public CkwHeapObject {
public:
    // Two points, so that one matrix transforms the whole ray; the end is
    // start + direction.
    struct SkwPickRay {
        float start[3];
        float end[3];
    };

    // A viewport pick keeps the ray in device coordinates at entry 0 and in
    // camera space at entry 1; the walk pushes one entry per level below.
    CkwStack<SkwPickRay> rayStack;
    SkwPickRay ray = {};
    // The camera of a viewport pick; none for a ray pick, which hits no sprite.
    CkwCamera* camera = nullptr;
    // A viewport pick takes each sprite to the camera as getTransformTo
    // does, through the node where their paths meet, so that a far or scaled
    // ancestor of both cancels, yet without a climb per sprite. The camera's
    // ancestors from where it meets the picked group down are listed by
    // depth, each with the product of the composites from it to the camera,
    // inverted when a sprite under it first needs it. Beside each ray the
    // walk pushes the path from the deepest of them it is in, and counts how
    // many of them it is in.
    struct SkwCameraStep {
        CkwNode* node;
        CkwMatrix toCamera;
        bool inverted;
    };
    CkwArray<SkwCameraStep> cameraPath;
    CkwStack<CkwMatrix> pathStack;
    int32_t onCameraPath = 0;
    CkwRayIntersection* result = nullptr;
    int32_t scope = 0;
    // Strip indices this pick has walked.
    int64_t walkedIndices = 0;
};

// The engine's pick state, made on first use (leaves -4).
CkwPickData& getPickData();
// Destroys the pick state and clears its slot.
void releasePickData(EngineContext& context);

// The group's side of picking: the walk and the node tests its two pick
// entry points run.
class CkwPick {
protected:
    static void pushRay(CkwPickData& data);
    static void popRay(CkwPickData& data);
    static void transformRay(CkwPickData& data, const CkwMatrix& matrix);
    // Starts the engine's scratch record on the ray given, walks root's
    // subtree with the current ray and copies the record into result when
    // something was hit. Returns whether it was.
    static bool runPick(CkwPickData& data, CkwNode& root, const float* origin, const float* direction,
                        CkwRayIntersection* result);
};
