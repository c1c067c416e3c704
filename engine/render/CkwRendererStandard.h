// The engine's software renderer: binds the render context's target into the
// rasterizer, sets up camera and lights, clears with a Background, walks the
// scene into a render queue sorted by layer and transparency, and draws each
// queued submesh through transform, lighting, culling and clipping and each
// sprite as a quad. It reads the context's target fields and never calls
// back into the context.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/core/math/CkwFixedColor.h"
#include "engine/core/math/CkwMatrix.h"
#include "engine/core/runtime/CkwArray.h"
#include "engine/render/CkwActiveLightStandard.h"
#include "engine/render/CkwClipVertex.h"
#include "engine/render/CkwFixedVectorCache.h"
#include "engine/render/CkwRasterizerStandard.h"
#include "engine/scene/CkwRenderer.h"

class CkwCompositingMode;
class CkwFog;
class CkwMaterial;
class CkwImage2D;
class CkwSkinnedMesh;
class CkwSprite;
class CkwTexture2D;
class CkwTriangleStripArray;
class CkwVertexArray;

class CkwRendererStandard : public CkwRenderer {
public:
    struct SkwQueuedState {
        int32_t sortKey;
        int32_t next;
        int32_t submesh;
        float alphaFactor;
        CkwNode* node;
        // The mesh's render vertex buffer, asked for once a frame: a
        // morphing mesh's answer walks its targets.
        CkwVertexBuffer* buffer;
    };

    // A submesh is lit by at most the first kMaxSubmeshLights lights of the
    // list that light it, and its ambient sum takes at most the first
    // kMaxSubmeshAmbientLights of those in its scope, whatever the world's
    // total: a lit vertex costs a stated number of evaluations however many
    // lights a file holds.
    static constexpr int32_t kMaxSubmeshLights = 8;
    static constexpr int32_t kMaxSubmeshAmbientLights = 8;

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
    // A vertex after lighting and fog, once per vertex and facing.
    struct SkwShadedVertex {
        int32_t r, g, b;      // 16.16
        uint8_t alpha, fog;
        int32_t tex[2][3];    // s / q, t / q in 16.16, and q
    };

    CkwRendererStandard() = default;
    void construct();
    bool viewportReady();
    void setDepthConstants();
    // The target's own depth values, else the renderer's; null when neither.
    uint16_t* depthBuffer();

    // Queue.
    void resetQueue(CkwNode* root);
    void traverse(CkwNode* root);
    // Queues the skinned meshes whose skeletons the walk has left at level.
    void queuePendingSkins(int32_t level);
    void queueNode(CkwNode* node);
    void enqueue(CkwNode* node, int32_t submesh, bool transparent, int32_t layer, int32_t& depthCache);
    // Links the queued entries into the list in key order.
    void linkQueue();
    void drawQueue();
    bool isTransparent(CkwAppearance* appearance, CkwVertexBuffer* buffer) const;

    // Submesh pipeline.
    bool setupNode(const CkwMatrix& model);
    void renderSubmesh(CkwVertexBuffer* buffer, CkwIndexBuffer* indexBuffer, CkwAppearance* appearance, int32_t scope);
    void bindSubmesh(CkwVertexBuffer* buffer, CkwAppearance* appearance, int32_t scope);
    // Walks the strips, or replays what the walk drew when its key holds;
    // mayClip: some vertex of the strips lies outside the view.
    void drawStrips(const CkwTriangleStripArray& strips, bool mayClip);
    void shadeVertex(int32_t index, bool backFacing, SkwShadedVertex& out);
    void drawClipped(const int32_t* indices, const SkwShadedVertex* const* shaded, int32_t clipCode, bool flat);
    void project(const CkwFixedVector3D& ndc, SkwRasterVertex& out) const;
    void drawScreenTriangle(SkwRasterVertex* a, SkwRasterVertex* b, SkwRasterVertex* c);
    // A projected polygon as a fan; divisor[i] is 2^62 / w and q[i] the
    // vertex's q per texture unit.
    void drawProjected(SkwRasterVertex* screen, const int64_t* divisor, const int32_t (*q)[2], int32_t n);
    void bindTexture(int32_t unit, CkwTexture2D* texture);

    CkwGraphics3D* m_graphics = nullptr;
    CkwRasterizerStandard* m_rasterizer = nullptr;
    float m_alphaFactor = 1.0f;
    CkwArray<SkwQueuedState> m_queue;
    CkwArray<int32_t> m_queueOrder;  // entry indices in key order
    CkwArray<int32_t> m_queueScratch; // the order between two passes of its sort
    // Strip indices the queued submeshes name, each as often as queued.
    int64_t m_queuedIndices = 0;
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
    double m_nearPlaneW = 0.0;  // w where the near plane meets the view axis; 0: no such point
    int32_t m_viewportScaleX = 0, m_viewportScaleY = 0;
    int32_t m_depthScale = 0, m_depthOffset = 0;
    uint8_t m_cameraDegenerate = 0;
    int32_t m_cameraScope = -1;
    int32_t m_projectionKind = 48;
    CkwArray<CkwActiveLightStandard> m_lights;
    // Per kind (0 directional, omni and spot; 1 ambient) and scope bit, the
    // indices of the records whose scope has the bit, in list order: a
    // submesh finds its first lights in its own bits' lists, never in a walk
    // over every light of the world.
    static constexpr int32_t kScopeBits = 32;
    CkwArray<int32_t> m_lightsByBit[2][kScopeBits];
    // The first lights of each kind that the last scope asked for, while
    // valid holds: submeshes of one scope share them.
    struct SkwScopeLights {
        int32_t scope = 0;
        bool valid = false;
        int32_t count[2] = {};
        int32_t index[2][kMaxSubmeshLights > kMaxSubmeshAmbientLights ? kMaxSubmeshLights : kMaxSubmeshAmbientLights];
    };
    SkwScopeLights m_scopeLights;
    void selectLights(int32_t scope);
    CkwCompositingMode* m_defaultCompositingMode = nullptr;
    CkwArray<uint16_t> m_ownDepth;
    CkwWorld* m_world = nullptr;
    float m_cameraPosition[3] = {};
    uint8_t m_lightingNeeded = 1;

    // A triangle the strip walk drew: its vertices, its face, and the first
    // corner to shade (2 when the triangle before it in the strip had the
    // same face and so shaded the other two).
    struct SkwDrawnTriangle {
        int32_t i0, i1, i2;
        uint8_t face, firstCorner;
    };
    // The triangles of one submesh the walk drew, in order. They follow
    // from the clip-space vertices, the strips and the polygon mode bits the
    // walk reads, and serve again while all three stay the same.
    struct SkwDrawnTriangles {
        uint64_t generation = 0;  // of the cache set's clip-space vertices
        uint64_t stripsSerial = 0;
        int32_t modeBits = 0;
        CkwArray<SkwDrawnTriangle> triangles;
    };
    // The submeshes of a mesh share its buffer's set, which keeps a few.
    static constexpr int32_t kDrawnListsPerSet = 4;
    // The vertices a set's strips reach: their index range, made whole when
    // the strips fill a good part of it, else index by index; and, while
    // the set's vertices stay the same, what their clip codes share.
    struct SkwStripVertices {
        uint64_t stripsSerial = 0;  // 0: none
        int32_t first = 0, end = 0;
        bool dense = true;
        uint64_t generation = 0;  // of the set's vertices when codes were taken
        SkwClipCodes codes;
    };

    // The vertex caches (clip space, eye space, normals, texture units 0
    // and 1) of one vertex buffer, and the clip codes of the strips drawn from it. A world draws many
    // buffers a frame; one set each lets a still one keep its vertices
    // from frame to frame.
    struct SkwVertexCaches {
        CkwFixedVectorCache clip;
        CkwFixedVectorCache eye;
        CkwFixedVectorCache normal;
        CkwFixedVectorCache tex[2];
        CkwArray<SkwFacingVertex> facing;  // of the clip-space vertices made
        const CkwVertexBuffer* owner = nullptr;
        uint32_t lastUse = 0;
        // New whenever the clip-space vertices are made again or the set
        // changes hands; 0 is never current. Vertices made this frame are
        // likely made again the next, so their triangles are not kept.
        uint64_t generation = 0;
        uint32_t madeInFrame = 0;  // the frame clock then
        SkwDrawnTriangles drawn[kDrawnListsPerSet];
        int32_t nextDrawn = 0;
        SkwStripVertices made[kDrawnListsPerSet];
        int32_t nextMade = 0;
    };
    static constexpr int32_t kVertexCacheSets = 16;
    void selectVertexCaches();
    void renewGeneration(SkwVertexCaches& set);
    // The current set's list for the strips under modeBits, a new one to
    // fill (empty and not current), or null when not worth keeping.
    SkwDrawnTriangles* drawnListFor(const CkwTriangleStripArray& strips, int32_t modeBits);
    // Makes the clip-space vertices the strips reach that the current key
    // has not made yet, once while the set's vertices stay; what their clip
    // codes share.
    SkwClipCodes stripCodes(const CkwTriangleStripArray& strips);
    // Makes the vertices of first .. end - 1 not made yet, in runs.
    void makeClipVertices(int32_t first, int32_t end);
    // Hands the vertices transformed and the lights evaluated to the
    // engine's counts.
    void countWork();

    // Per node: the current buffer and skin, and the caches of the buffer.
    CkwVertexBuffer* m_vertexBuffer = nullptr;
    CkwSkinnedMesh* m_skin = nullptr;
    SkwVertexCaches m_cacheSets[kVertexCacheSets];
    SkwVertexCaches* m_caches = &m_cacheSets[0];
    uint32_t m_cacheClock = 0;
    uint32_t m_frameClock = 0;  // the cache clock when the frame began
    uint64_t m_generationClock = 0;
    CkwMatrix m_modelView;
    CkwMatrix m_normalMatrix;
    bool m_normalMatrixValid = false;
    CkwClipVertex m_clipVertices[kClipVertexCapacity];

    // Per submesh.
    const CkwMaterial* m_material = nullptr;
    const CkwFog* m_fog = nullptr;
    CkwFixedColor m_fogColor{};
    CkwFixedColor m_ambientTerm{};
    CkwFixedColor m_emissive{}, m_specular{};  // the material's
    CkwFixedColor m_ambientSum{};
    CkwFixedColor m_baseColor{};
    int32_t m_baseAlpha = 255;  // the base colour's alpha byte
    int32_t m_alpha255 = 255, m_alpha256 = 256;
    // What every vertex of the submesh shares, resolved once: the colours
    // (null when the buffer has none), whether they give the alpha, the
    // alpha otherwise, the lit colour before the lights (without tracking)
    // and the lights that apply, in the order they are evaluated.
    const CkwVertexArray* m_colors = nullptr;
    bool m_colorsGiveAlpha = false;
    bool m_tracking = false;
    int32_t m_vertexAlpha = 255;
    CkwFixedColor m_litStart{};
    CkwArray<CkwActiveLightStandard*> m_boundLights;
    uint64_t m_lightEvaluations = 0;  // not yet counted
    // Steps of the walks over strips and lights, not yet counted.
    uint64_t m_walkSteps = 0;

    int32_t m_polygonFlags = 0;
    bool m_lit = false;
    bool m_needEyePositions = false;
    int32_t m_unitCount = 0;
    bool m_projective[2] = {};
    bool m_unitUsed[2] = {};
    SkwRasterImage m_unitImage[2];
    SkwRasterTextureSource m_unitSource[2];
    SkwRasterImage m_blitImage;
    // Shaded and projected vertices, once per vertex and facing within a
    // submesh: a vertex is current when its stamp is the submesh's.
    CkwArray<SkwShadedVertex> m_shaded[2];
    CkwArray<SkwRasterVertex> m_screen[2];
    CkwArray<uint32_t> m_shadedStamp[2];
    uint32_t m_stamp = 0;
};
