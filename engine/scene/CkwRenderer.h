// The renderer a render context owns, seen from the context: the operations it
// hands work through, in the order the engine's renderers implement them. The
// render library installs the one creator; the scene library names none.
#pragma once

#include <cstdint>

#include "engine/core/runtime/CkwHeapObject.h"

class CkwAppearance;
class CkwBackground;
class CkwCamera;
class CkwGraphics3D;
class CkwIndexBuffer;
class CkwMatrix;
class CkwNode;
class CkwVertexBuffer;
class CkwWorld;

class CkwRenderer : public CkwHeapObject {
public:
    virtual void resetCaches() = 0;
    virtual void bindTarget(CkwGraphics3D* graphics) = 0;
    virtual void updateColorBuffer(CkwGraphics3D* graphics) = 0;
    virtual void setViewport(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
    virtual void clearBackground(CkwBackground* background, CkwCamera* camera) = 0;
    virtual void setCamera(CkwCamera* camera, const CkwMatrix* transform) = 0;
    virtual void setLights(int32_t count, CkwNode* const* lights, const CkwMatrix* transforms) = 0;
    virtual void renderImmediate(CkwVertexBuffer* vertexBuffer, CkwIndexBuffer* indexBuffer,
                                 CkwAppearance* appearance, const CkwMatrix* transform, int32_t scope) = 0;
    virtual void renderNode(CkwNode* node, const CkwMatrix* transform) = 0;
    virtual void renderWorld(CkwWorld* world) = 0;
};

// Leaves -4 on allocation failure; the render library installs it.
using RendererCreator = CkwRenderer* (*)();
void installRendererCreator(RendererCreator creator);
// Leaves -1300 when no renderer was installed.
CkwRenderer* createRenderer();
