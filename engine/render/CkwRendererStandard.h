// The engine's software renderer: binds the render context's target into the
// rasterizer, sets up camera and lights, clears with a Background, walks the
// scene into a render queue sorted by layer and transparency, and draws each
// queued submesh through transform, lighting, culling and clipping.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/core/math/CkwFixedColor.h"
#include "engine/core/math/CkwMatrix.h"
#include "engine/core/runtime/CkwArray.h"
#include "engine/render/CkwActiveLightStandard.h"
#include "engine/render/CkwRasterizerStandard.h"
#include "engine/scene/CkwRenderer.h"

class CkwCompositingMode;
class CkwFog;
class CkwMaterial;
class CkwImage2D;
class CkwSkinnedMesh;
class CkwSprite;
class CkwTexture2D;
class CkwVertexArray;

class CkwRendererStandard : public CkwRenderer {
public:
    struct SkwQueuedState {
        int32_t sortKey;
        int32_t next;
        int32_t submesh;
        float alphaFactor;
        CkwNode* node;
    };

    static CkwRenderer* create();
    ~CkwRendererStandard() override;

    void resetCaches() override;
    void bindTarget(CkwGraphics3D* graphics) override;
    void updateColorBuffer(CkwGraphics3D* graphics) override;
    void setViewport(int32_t x, int32_t y, int32_t width, int32_t height) override;
    void clearBackground(CkwBackground* background, CkwCamera* camera) override;
    void setCamera(CkwCamera* camera, const CkwMatrix* transform) override;
    void setLights(int32_t count, CkwNode* const* lights, const CkwMatrix* transforms) override;
    void renderImmediate(CkwVertexBuffer* vertexBuffer, CkwIndexBuffer* indexBuffer, CkwAppearance* appearance,
                         const CkwMatrix* transform, int32_t scope) override;
    void renderNode(CkwNode* node, const CkwMatrix* transform) override;
    void renderWorld(CkwWorld* world) override;
    int32_t getType() const { return 2; }
    void renderSprite(CkwSprite* sprite);

    // The queue as the last render call left it, for tests of its order.
    const CkwArray<SkwQueuedState>& queue() const { return m_queue; }

private:
    // A vertex after transform and lighting, ready to clip or project.
    struct SkwPipelineVertex {
        float clip[4];
        float color[4];  // r, g, b, a in 0..1
        float fog;       // 0 none .. 1 all fog colour
        float tex[2][3]; // s, t, q per unit, q the projective weight
    };

    CkwRendererStandard() = default;
    void construct();
    bool viewportReady();
    void setDepthConstants();
    int32_t scissorWidth() const;

    // Queue.
    void resetQueue(CkwNode* root);
    void traverse(CkwNode* root);
    // Queues the skinned meshes whose skeletons the walk has left at level.
    void queuePendingSkins(int32_t level);
    void queueNode(CkwNode* node);
    void enqueue(CkwNode* node, int32_t submesh, bool transparent, int32_t layer, int32_t& depthCache);
    void drawQueue();
    bool isTransparent(CkwAppearance* appearance, CkwVertexBuffer* buffer) const;

    // Submesh pipeline.
    bool setupNode(const CkwMatrix& model);
    // A vertex's position in model space, posed by its bones for a skin.
    void modelPosition(int32_t index, float* out) const;
    void renderSubmesh(CkwVertexBuffer* buffer, CkwIndexBuffer* indexBuffer, CkwAppearance* appearance, int32_t scope);
    void shadeVertex(int32_t index, bool backFacing, SkwPipelineVertex& out);
    void drawClipped(SkwPipelineVertex* polygon, int32_t count, int32_t clipCode);
    void project(const SkwPipelineVertex& in, SkwRasterVertex& out) const;
    void drawScreenTriangle(SkwRasterVertex* a, SkwRasterVertex* b, SkwRasterVertex* c);
    // A projected polygon as a fan; inverseW gives each vertex's perspective weight.
    void drawProjected(SkwRasterVertex* screen, const float* inverseW, int32_t n, bool flat);
    void eyePosition(int32_t index, float* out);
    void bindTexture(int32_t unit, CkwTexture2D* texture);

    CkwGraphics3D* m_graphics = nullptr;
    CkwRasterizerStandard* m_rasterizer = nullptr;
    float m_alphaFactor = 1.0f;
    CkwArray<SkwQueuedState> m_queue;
    int32_t m_lastQueued = 0;
    CkwArray<float> m_alphaStack;
    // Skinned meshes met by the walk, queued once their skeleton is done.
    struct SkwPendingSkin {
        CkwNode* mesh;
        int32_t level;
        float alphaFactor;
    };
    CkwArray<SkwPendingSkin> m_pendingSkins;
    CkwMatrix m_view;
    CkwMatrix m_viewProjection;
    CkwMatrix m_projection;
    int32_t m_viewportScaleX = 0, m_viewportScaleY = 0;
    int32_t m_depthScale = 0, m_depthOffset = 0;
    uint8_t m_cameraDegenerate = 0;
    int32_t m_cameraScope = -1;
    int32_t m_projectionKind = 48;
    CkwArray<CkwActiveLightStandard> m_lights;
    CkwCompositingMode* m_defaultCompositingMode = nullptr;
    CkwArray<uint16_t> m_ownDepth;
    CkwWorld* m_world = nullptr;
    float m_cameraPosition[3] = {};
    uint8_t m_lightingNeeded = 1;

    // Per node: the current buffer, its clip-space positions and clip codes.
    CkwVertexBuffer* m_vertexBuffer = nullptr;
    // The skin of the entry being drawn: its palette per vertex, null for
    // plain meshes.
    CkwSkinnedMesh* m_skin = nullptr;
    CkwArray<CkwMatrix> m_skinPalette;
    const uint16_t* m_skinIndices = nullptr;
    CkwMatrix m_modelView;
    CkwMatrix m_normalMatrix;
    bool m_normalMatrixValid = false;
    uint8_t m_clipAnd = 0, m_clipOr = 0;
    CkwArray<float> m_clipPositions;  // x, y, z, w per vertex
    CkwArray<uint8_t> m_outcodes;
    // Eye positions, filled lazily: bit 0 of m_eyeValid per vertex.
    CkwArray<float> m_eyePositions;
    CkwArray<uint8_t> m_eyeValid;

    // Per submesh.
    const CkwMaterial* m_material = nullptr;
    const CkwFog* m_fog = nullptr;
    CkwFixedColor m_fogColor{};
    CkwFixedColor m_ambientTerm{};
    CkwFixedColor m_ambientSum{};
    CkwFixedColor m_baseColor{};
    float m_baseAlpha = 1.0f;
    int32_t m_polygonFlags = 0;
    bool m_lit = false;
    int32_t m_unitCount = 0;
    bool m_projectiveUnits = false;
    const CkwVertexArray* m_texArrays[2] = {};
    CkwMatrix m_texMatrix[2];
    float m_texScale[2] = {};
    const float* m_texBias[2] = {};
    SkwRasterImage m_unitImage[2];
    SkwRasterTextureSource m_unitSource[2];
    SkwRasterImage m_blitImage;
    // Shaded vertices, once per vertex and facing within a submesh.
    CkwArray<SkwPipelineVertex> m_shaded[2];
    CkwArray<SkwRasterVertex> m_screen[2];
    CkwArray<uint32_t> m_shadedStamp[2];
    uint32_t m_stamp = 0;
};
