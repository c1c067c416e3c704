// The handle record and the method tables the game calls through. A table is
// a standard-layout struct of function pointers; a derived interface's table
// begins with its base's table, so a handle's table serves every interface the
// object accepts and queryInterface can hand back the same handle. The
// static_asserts pin each table's entry count and where its own entries start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "engine/core/interface/EngineResult.h"

class CkwRefCount;

// One hold of the game on an engine object.
struct EngineHandle {
    const void* table;
    CkwRefCount* object;
    uint32_t count;     // handle counts; each holds one object reference
    EngineHandle* next; // tracked list while alive, free list once dead
};

// Called with the object (its reference-count part) as it is destroyed.
using ObjectDestroyCallback = void (*)(CkwRefCount* object);

struct IkwUnknownTable {
    uint32_t (*addRef)(EngineHandle* handle);
    uint32_t (*release)(EngineHandle* handle);
    EngineResult (*queryInterface)(EngineHandle* handle, uint32_t iid, EngineHandle** out);
};

struct IkwObject3DTable {
    IkwUnknownTable unknown;
    void (*getUserID)(EngineHandle*, uint32_t* out);
    void (*setUserID)(EngineHandle*, uint32_t userId);
    void (*getAnimationTrackCount)(EngineHandle*, uint32_t* out);
    EngineResult (*getAnimationTrack)(EngineHandle*, uint32_t index, EngineHandle** out);
    EngineResult (*addAnimationTrack)(EngineHandle*, EngineHandle* track);
    void (*removeAnimationTrack)(EngineHandle*, EngineHandle* track);
    EngineResult (*animate)(EngineHandle*, int32_t worldTime, int32_t* validity);
    EngineResult (*find)(EngineHandle*, uint32_t userId, EngineHandle** out);
    void (*setDestroyCallback)(EngineHandle*, ObjectDestroyCallback callback);
    EngineResult (*getReferences)(EngineHandle*, uint32_t n, EngineHandle** array, uint32_t* count);
    void (*getUserParameter)(EngineHandle*, uint32_t id, uint32_t size, void* buffer, int32_t* length);
    EngineResult (*setUserParameter)(EngineHandle*, uint32_t id, uint32_t length, const void* bytes);
    void (*removeUserParameters)(EngineHandle*);
    void (*getUserParameterId)(EngineHandle*, uint32_t index, uint32_t* out);
    void (*getUserParameterAt)(EngineHandle*, uint32_t index, uint32_t size, void* buffer, int32_t* length);
    EngineResult (*duplicate)(EngineHandle*, EngineHandle** out);
};

struct IkwTransformableTable {
    IkwObject3DTable object3D;
    void (*getTranslation)(EngineHandle*, float* out3);
    EngineResult (*setTranslation)(EngineHandle*, const float* xyz);
    void (*getScale)(EngineHandle*, float* out3);
    EngineResult (*setScale)(EngineHandle*, const float* xyz);
    void (*getOrientation)(EngineHandle*, float* out4);
    EngineResult (*setOrientation)(EngineHandle*, const float* angleAxis);
    EngineResult (*translate)(EngineHandle*, const float* xyz);
    EngineResult (*scale)(EngineHandle*, const float* xyz);
    EngineResult (*preRotate)(EngineHandle*, const float* angleAxis);
    EngineResult (*postRotate)(EngineHandle*, const float* angleAxis);
    EngineResult (*getTransform)(EngineHandle*, EngineHandle* transform);
    EngineResult (*getCompositeTransform)(EngineHandle*, EngineHandle* transform);
    EngineResult (*setTransform)(EngineHandle*, EngineHandle* transform);
};

struct IkwNodeTable {
    IkwTransformableTable transformable;
    EngineResult (*getParent)(EngineHandle*, EngineHandle** out);
    void (*getAlphaFactor)(EngineHandle*, float* out);
    EngineResult (*setAlphaFactor)(EngineHandle*, float alpha);
    void (*isRenderingEnabled)(EngineHandle*, uint8_t* out);
    void (*setRenderingEnable)(EngineHandle*, uint32_t enable);
    void (*isPickingEnabled)(EngineHandle*, uint8_t* out);
    void (*setPickingEnable)(EngineHandle*, uint32_t enable);
    void (*getScope)(EngineHandle*, uint32_t* out);
    void (*setScope)(EngineHandle*, uint32_t scope);
    EngineResult (*getTransformTo)(EngineHandle*, EngineHandle* target, EngineHandle* transform, uint8_t* out);
    EngineResult (*setAlignment)(EngineHandle*, EngineHandle* zReference, uint32_t zTarget, EngineHandle* yReference,
                                 uint32_t yTarget);
    EngineResult (*getAlignmentTarget)(EngineHandle*, uint32_t axis, uint32_t* out);
    EngineResult (*getAlignmentReference)(EngineHandle*, uint32_t axis, EngineHandle** out);
    EngineResult (*align)(EngineHandle*, EngineHandle* reference);
};

struct IkwIndexBufferTable {
    IkwObject3DTable object3D;
    void (*getIndexCount)(EngineHandle*, uint32_t* out);
    EngineResult (*getIndices)(EngineHandle*, uint32_t capacity, int32_t* indices);
};

struct IkwVertexArrayTable {
    IkwObject3DTable object3D;
    EngineResult (*init)(EngineHandle*, uint32_t vertexCount, uint32_t componentCount, uint32_t componentSize);
    void (*getVertexCount)(EngineHandle*, uint32_t* out);
    void (*getComponentCount)(EngineHandle*, uint32_t* out);
    void (*getComponentType)(EngineHandle*, uint32_t* out);
    EngineResult (*getShorts)(EngineHandle*, int32_t first, int32_t count, uint32_t length, int16_t* values);
    EngineResult (*setShorts)(EngineHandle*, int32_t first, int32_t count, uint32_t length, const int16_t* values);
    EngineResult (*getBytes)(EngineHandle*, int32_t first, int32_t count, uint32_t length, int8_t* values);
    EngineResult (*setBytes)(EngineHandle*, int32_t first, int32_t count, uint32_t length, const int8_t* values);
};

struct IkwVertexBufferTable {
    IkwObject3DTable object3D;
    EngineResult (*getNormals)(EngineHandle*, EngineHandle** out);
    EngineResult (*setNormals)(EngineHandle*, EngineHandle* normals);
    EngineResult (*getColors)(EngineHandle*, EngineHandle** out);
    EngineResult (*setColors)(EngineHandle*, EngineHandle* colors);
    void (*getDefaultColor)(EngineHandle*, uint32_t* out);
    void (*setDefaultColor)(EngineHandle*, uint32_t argb);
    void (*getVertexCount)(EngineHandle*, uint32_t* out);
    EngineResult (*getPositions)(EngineHandle*, uint32_t size, float* scaleBias, EngineHandle** out);
    EngineResult (*setPositions)(EngineHandle*, EngineHandle* positions, float scale, uint32_t biasLength,
                                 const float* bias);
    EngineResult (*getTexCoords)(EngineHandle*, uint32_t unit, uint32_t size, float* scaleBias, EngineHandle** out);
    EngineResult (*setTexCoords)(EngineHandle*, uint32_t unit, EngineHandle* texCoords, float scale,
                                 uint32_t biasLength, const float* bias);
};

struct IkwTriangleStripArrayTable {
    IkwIndexBufferTable indexBuffer;
    EngineResult (*initImplicit)(EngineHandle*, int32_t firstIndex, uint32_t stripCount, const int32_t* stripLengths);
    EngineResult (*initExplicit)(EngineHandle*, uint32_t indexCount, const int32_t* indices, uint32_t stripCount,
                                 const int32_t* stripLengths);
};

struct IkwMeshTable {
    IkwNodeTable node;
    EngineResult (*initMulti)(EngineHandle*, EngineHandle* vertexBuffer, uint32_t submeshCount,
                              EngineHandle* const* indexBuffers, uint32_t appearanceCount,
                              EngineHandle* const* appearances);
    EngineResult (*init)(EngineHandle*, EngineHandle* vertexBuffer, EngineHandle* indexBuffer,
                         EngineHandle* appearance);
    void (*getSubmeshCount)(EngineHandle*, uint32_t* out);
    EngineResult (*getVertexBuffer)(EngineHandle*, EngineHandle** out);
    EngineResult (*getIndexBuffer)(EngineHandle*, uint32_t index, EngineHandle** out);
    EngineResult (*getAppearance)(EngineHandle*, uint32_t index, EngineHandle** out);
    EngineResult (*setAppearance)(EngineHandle*, uint32_t index, EngineHandle* appearance);
};

struct IkwGraphics3DTable {
    IkwUnknownTable unknown;
    void (*getTargetWidth)(EngineHandle*, uint32_t* out);
    void (*getTargetHeight)(EngineHandle*, uint32_t* out);
    void (*getTargetPitch)(EngineHandle*, uint32_t* out);
    void (*getTargetPixels)(EngineHandle*, void** out);
    void (*getDepthRangeNear)(EngineHandle*, float* out);
    void (*getDepthRangeFar)(EngineHandle*, float* out);
    void (*isDepthBufferEnabled)(EngineHandle*, uint8_t* out);
    void (*getHints)(EngineHandle*, uint32_t* out);
    void (*getLightCount)(EngineHandle*, uint32_t* out);
    EngineResult (*bindBuffer)(EngineHandle*, uint32_t width, uint32_t height, uint32_t pitch, void* pixels);
    EngineResult (*bindBufferClipped)(EngineHandle*, uint32_t width, uint32_t height, uint32_t pitch, void* pixels,
                                      int32_t clipX, int32_t clipY, int32_t clipWidth, int32_t clipHeight);
    EngineResult (*bindImage)(EngineHandle*, EngineHandle* image);
    void (*setTargetPixels)(EngineHandle*, void* pixels);
    void (*releaseTarget)(EngineHandle*);
    EngineResult (*setTargetOptions)(EngineHandle*, uint32_t depthBuffer, uint32_t hints);
    EngineResult (*setViewport)(EngineHandle*, int32_t x, int32_t y, int32_t width, int32_t height);
    EngineResult (*setDepthRange)(EngineHandle*, float near, float far);
    EngineResult (*clear)(EngineHandle*, EngineHandle* background);
    EngineResult (*renderImmediate)(EngineHandle*, EngineHandle* vertexBuffer, EngineHandle* indexBuffer,
                                    EngineHandle* appearance, EngineHandle* transform, uint32_t scope);
    EngineResult (*renderNode)(EngineHandle*, EngineHandle* node, EngineHandle* transform);
    EngineResult (*renderWorld)(EngineHandle*, EngineHandle* world);
    EngineResult (*getCamera)(EngineHandle*, EngineHandle* transform, EngineHandle** out);
    EngineResult (*setCamera)(EngineHandle*, EngineHandle* camera, EngineHandle* transform);
    EngineResult (*setLight)(EngineHandle*, uint32_t index, EngineHandle* light, EngineHandle* transform);
    EngineResult (*getLight)(EngineHandle*, uint32_t index, EngineHandle* transform, EngineHandle** out);
    EngineResult (*addLight)(EngineHandle*, EngineHandle* light, EngineHandle* transform, int32_t* index);
    EngineResult (*resetLights)(EngineHandle*);
    EngineResult (*getProperty)(EngineHandle*, uint32_t key, int32_t* out);
};

struct IkwRayIntersectionTable {
    IkwUnknownTable unknown;
    void (*getDistance)(EngineHandle*, float* out);
    EngineResult (*getIntersected)(EngineHandle*, EngineHandle** out);
    void (*getSubmeshIndex)(EngineHandle*, int32_t* out);
    void (*getNormalX)(EngineHandle*, float* out);
    void (*getNormalY)(EngineHandle*, float* out);
    void (*getNormalZ)(EngineHandle*, float* out);
    EngineResult (*getTextureS)(EngineHandle*, uint32_t unit, float* out);
    EngineResult (*getTextureT)(EngineHandle*, uint32_t unit, float* out);
    EngineResult (*getRay)(EngineHandle*, uint32_t size, float* ray);
};

struct IkwMorphingMeshTable {
    IkwMeshTable mesh;
    EngineResult (*initMulti)(EngineHandle*, EngineHandle* base, uint32_t targetCount, EngineHandle* const* targets,
                              uint32_t submeshCount, EngineHandle* const* indexBuffers, uint32_t appearanceCount,
                              EngineHandle* const* appearances);
    EngineResult (*init)(EngineHandle*, EngineHandle* base, uint32_t targetCount, EngineHandle* const* targets,
                         EngineHandle* indexBuffer, EngineHandle* appearance);
    void (*getMorphTargetCount)(EngineHandle*, uint32_t* out);
    EngineResult (*getMorphTarget)(EngineHandle*, uint32_t index, EngineHandle** out);
    EngineResult (*getWeights)(EngineHandle*, uint32_t size, float* weights);
    EngineResult (*setWeights)(EngineHandle*, uint32_t size, const float* weights);
};

struct IkwSkinnedMeshTable {
    IkwMeshTable mesh;
    EngineResult (*initMulti)(EngineHandle*, EngineHandle* vertexBuffer, uint32_t submeshCount,
                              EngineHandle* const* indexBuffers, uint32_t appearanceCount,
                              EngineHandle* const* appearances, EngineHandle* skeleton);
    EngineResult (*init)(EngineHandle*, EngineHandle* vertexBuffer, EngineHandle* indexBuffer, EngineHandle* appearance,
                         EngineHandle* skeleton);
    EngineResult (*getSkeleton)(EngineHandle*, EngineHandle** out);
    EngineResult (*addTransform)(EngineHandle*, EngineHandle* bone, int32_t weight, int32_t firstVertex,
                                 int32_t vertexCount);
    EngineResult (*getBoneVertices)(EngineHandle*, EngineHandle* bone, int32_t indicesLength, int32_t* indices,
                                    int32_t weightsLength, float* weights, int32_t* count);
    EngineResult (*getBoneTransform)(EngineHandle*, EngineHandle* bone, EngineHandle* transform);
};

struct IkwGroupTable {
    IkwNodeTable node;
    void (*getChildCount)(EngineHandle*, uint32_t* out);
    EngineResult (*getChild)(EngineHandle*, uint32_t index, EngineHandle** out);
    EngineResult (*addChild)(EngineHandle*, EngineHandle* child);
    EngineResult (*removeChild)(EngineHandle*, EngineHandle* child);
    EngineResult (*pickRay)(EngineHandle*, uint32_t scope, const float* origin, const float* direction,
                            EngineHandle* intersection, uint8_t* hit);
    EngineResult (*pickViewport)(EngineHandle*, uint32_t scope, float x, float y, EngineHandle* camera,
                                 EngineHandle* intersection, uint8_t* hit);
};

struct IkwWorldTable {
    IkwGroupTable group;
    EngineResult (*getActiveCamera)(EngineHandle*, EngineHandle** out);
    EngineResult (*setActiveCamera)(EngineHandle*, EngineHandle* camera);
    EngineResult (*getBackground)(EngineHandle*, EngineHandle** out);
    void (*setBackground)(EngineHandle*, EngineHandle* background);
};

struct IkwCameraTable {
    IkwNodeTable node;
    EngineResult (*getProjectionParameters)(EngineHandle*, uint32_t size, float* parameters, uint32_t* kind);
    EngineResult (*getProjection)(EngineHandle*, EngineHandle* transform, uint32_t* kind);
    EngineResult (*setGeneric)(EngineHandle*, EngineHandle* transform);
    EngineResult (*setParallel)(EngineHandle*, float height, float aspectRatio, float near, float far);
    EngineResult (*setPerspective)(EngineHandle*, float fovy, float aspectRatio, float near, float far);
};

struct IkwLightTable {
    IkwNodeTable node;
    void (*getMode)(EngineHandle*, uint32_t* out);
    EngineResult (*setMode)(EngineHandle*, uint32_t mode);
    void (*getColor)(EngineHandle*, uint32_t* out);
    void (*setColor)(EngineHandle*, uint32_t rgb);
    void (*getIntensity)(EngineHandle*, float* out);
    EngineResult (*setIntensity)(EngineHandle*, float intensity);
    void (*getSpotAngle)(EngineHandle*, float* out);
    EngineResult (*setSpotAngle)(EngineHandle*, float degrees);
    void (*getSpotExponent)(EngineHandle*, float* out);
    EngineResult (*setSpotExponent)(EngineHandle*, float exponent);
    void (*getConstantAttenuation)(EngineHandle*, float* out);
    void (*getLinearAttenuation)(EngineHandle*, float* out);
    void (*getQuadraticAttenuation)(EngineHandle*, float* out);
    EngineResult (*setAttenuation)(EngineHandle*, float constant, float linear, float quadratic);
};

struct IkwAppearanceTable {
    IkwObject3DTable object3D;
    void (*getLayer)(EngineHandle*, int32_t* out);
    EngineResult (*setLayer)(EngineHandle*, int32_t layer);
    EngineResult (*getMaterial)(EngineHandle*, EngineHandle** out);
    void (*setMaterial)(EngineHandle*, EngineHandle* material);
    EngineResult (*getFog)(EngineHandle*, EngineHandle** out);
    void (*setFog)(EngineHandle*, EngineHandle* fog);
    EngineResult (*getCompositingMode)(EngineHandle*, EngineHandle** out);
    void (*setCompositingMode)(EngineHandle*, EngineHandle* mode);
    EngineResult (*getPolygonMode)(EngineHandle*, EngineHandle** out);
    void (*setPolygonMode)(EngineHandle*, EngineHandle* mode);
    EngineResult (*getTexture)(EngineHandle*, uint32_t unit, EngineHandle** out);
    EngineResult (*setTexture)(EngineHandle*, uint32_t unit, EngineHandle* texture);
};

struct IkwMaterialTable {
    IkwObject3DTable object3D;
    void (*getShininess)(EngineHandle*, float* out);
    EngineResult (*setShininess)(EngineHandle*, float shininess);
    void (*isVertexColorTrackingEnabled)(EngineHandle*, uint8_t* out);
    void (*setVertexColorTrackingEnable)(EngineHandle*, uint32_t enable);
    EngineResult (*getColor)(EngineHandle*, uint32_t target, uint32_t* out);
    EngineResult (*setColor)(EngineHandle*, uint32_t targets, uint32_t argb);
};

struct IkwCompositingModeTable {
    IkwObject3DTable object3D;
    void (*getAlphaThreshold)(EngineHandle*, float* out);
    EngineResult (*setAlphaThreshold)(EngineHandle*, float threshold);
    void (*getBlending)(EngineHandle*, uint32_t* out);
    EngineResult (*setBlending)(EngineHandle*, uint32_t mode);
    void (*isColorWriteEnabled)(EngineHandle*, uint8_t* out);
    void (*setColorWriteEnable)(EngineHandle*, uint32_t enable);
    void (*isAlphaWriteEnabled)(EngineHandle*, uint8_t* out);
    void (*setAlphaWriteEnable)(EngineHandle*, uint32_t enable);
    void (*isDepthWriteEnabled)(EngineHandle*, uint8_t* out);
    void (*setDepthWriteEnable)(EngineHandle*, uint32_t enable);
    void (*isDepthTestEnabled)(EngineHandle*, uint8_t* out);
    void (*setDepthTestEnable)(EngineHandle*, uint32_t enable);
    void (*getDepthOffsetFactor)(EngineHandle*, float* out);
    void (*getDepthOffsetUnits)(EngineHandle*, float* out);
    EngineResult (*setDepthOffset)(EngineHandle*, float factor, float units);
};

struct IkwPolygonModeTable {
    IkwObject3DTable object3D;
    void (*getCulling)(EngineHandle*, uint32_t* out);
    EngineResult (*setCulling)(EngineHandle*, uint32_t mode);
    void (*getShading)(EngineHandle*, uint32_t* out);
    EngineResult (*setShading)(EngineHandle*, uint32_t mode);
    void (*getWinding)(EngineHandle*, uint32_t* out);
    EngineResult (*setWinding)(EngineHandle*, uint32_t mode);
    void (*isLocalCameraLightingEnabled)(EngineHandle*, uint8_t* out);
    void (*setLocalCameraLightingEnable)(EngineHandle*, uint32_t enable);
    void (*isPerspectiveCorrectionEnabled)(EngineHandle*, uint8_t* out);
    void (*setPerspectiveCorrectionEnable)(EngineHandle*, uint32_t enable);
    void (*isTwoSidedLightingEnabled)(EngineHandle*, uint8_t* out);
    void (*setTwoSidedLightingEnable)(EngineHandle*, uint32_t enable);
};

struct IkwFogTable {
    IkwObject3DTable object3D;
    void (*getColor)(EngineHandle*, uint32_t* out);
    void (*setColor)(EngineHandle*, uint32_t rgb);
    void (*getDensity)(EngineHandle*, float* out);
    EngineResult (*setDensity)(EngineHandle*, float density);
    void (*getMode)(EngineHandle*, uint32_t* out);
    EngineResult (*setMode)(EngineHandle*, uint32_t mode);
    void (*getNearDistance)(EngineHandle*, float* out);
    void (*getFarDistance)(EngineHandle*, float* out);
    EngineResult (*setLinear)(EngineHandle*, float near, float far);
};

struct IkwBackgroundTable {
    IkwObject3DTable object3D;
    void (*getColor)(EngineHandle*, uint32_t* out);
    void (*setColor)(EngineHandle*, uint32_t argb);
    EngineResult (*getImage)(EngineHandle*, EngineHandle** out);
    EngineResult (*setImage)(EngineHandle*, EngineHandle* image);
    void (*getImageModeX)(EngineHandle*, uint32_t* out);
    void (*getImageModeY)(EngineHandle*, uint32_t* out);
    void (*getCropX)(EngineHandle*, int32_t* out);
    void (*getCropY)(EngineHandle*, int32_t* out);
    void (*getCropWidth)(EngineHandle*, int32_t* out);
    void (*getCropHeight)(EngineHandle*, int32_t* out);
    void (*isDepthClearEnabled)(EngineHandle*, uint8_t* out);
    void (*setDepthClearEnable)(EngineHandle*, uint32_t enable);
    void (*isColorClearEnabled)(EngineHandle*, uint8_t* out);
    void (*setColorClearEnable)(EngineHandle*, uint32_t enable);
    EngineResult (*setImageMode)(EngineHandle*, uint32_t modeX, uint32_t modeY);
    EngineResult (*setCrop)(EngineHandle*, int32_t x, int32_t y, int32_t width, int32_t height);
};

struct IkwKeyframeSequenceTable {
    IkwObject3DTable object3D;
    EngineResult (*init)(EngineHandle*, int32_t keyframeCount, int32_t componentCount, uint32_t interpolation);
    void (*getDuration)(EngineHandle*, int32_t* out);
    EngineResult (*setDuration)(EngineHandle*, int32_t duration);
    void (*getRepeatMode)(EngineHandle*, uint32_t* out);
    EngineResult (*setRepeatMode)(EngineHandle*, uint32_t mode);
    void (*getKeyframeCount)(EngineHandle*, int32_t* out);
    void (*getComponentCount)(EngineHandle*, int32_t* out);
    void (*getInterpolationType)(EngineHandle*, uint32_t* out);
    void (*getValidRangeFirst)(EngineHandle*, int32_t* out);
    void (*getValidRangeLast)(EngineHandle*, int32_t* out);
    EngineResult (*getKeyframe)(EngineHandle*, int32_t index, uint32_t size, float* values, int32_t* time);
    EngineResult (*setKeyframe)(EngineHandle*, int32_t index, int32_t time, uint32_t length, const float* values);
    EngineResult (*setValidRange)(EngineHandle*, int32_t first, int32_t last);
};

struct IkwAnimationTrackTable {
    IkwObject3DTable object3D;
    EngineResult (*init)(EngineHandle*, EngineHandle* sequence, uint32_t property);
    EngineResult (*getController)(EngineHandle*, EngineHandle** out);
    void (*setController)(EngineHandle*, EngineHandle* controller);
    EngineResult (*getKeyframeSequence)(EngineHandle*, EngineHandle** out);
    void (*getTargetProperty)(EngineHandle*, uint32_t* out);
};

struct IkwAnimationControllerTable {
    IkwObject3DTable object3D;
    void (*getWeight)(EngineHandle*, float* out);
    EngineResult (*setWeight)(EngineHandle*, float weight);
    void (*getActiveIntervalStart)(EngineHandle*, int32_t* out);
    void (*getActiveIntervalEnd)(EngineHandle*, int32_t* out);
    void (*getSpeed)(EngineHandle*, float* out);
    void (*getRefWorldTime)(EngineHandle*, int32_t* out);
    EngineResult (*setActiveInterval)(EngineHandle*, int32_t start, int32_t end);
    void (*getPosition)(EngineHandle*, int32_t worldTime, float* out);
    EngineResult (*setPosition)(EngineHandle*, float sequenceTime, int32_t worldTime);
    EngineResult (*setSpeed)(EngineHandle*, float speed, int32_t worldTime);
};

struct IkwTransformTable {
    IkwUnknownTable unknown;
    EngineResult (*initCopy)(EngineHandle*, EngineHandle* other);
    EngineResult (*get)(EngineHandle*, uint32_t length, float* rowMajor);
    EngineResult (*setMatrix)(EngineHandle*, uint32_t length, const float* rowMajor);
    EngineResult (*set)(EngineHandle*, EngineHandle* other);
    void (*setIdentity)(EngineHandle*);
    EngineResult (*invert)(EngineHandle*);
    EngineResult (*postMultiply)(EngineHandle*, EngineHandle* other);
    EngineResult (*postRotate)(EngineHandle*, const float* angleAxis);
    EngineResult (*postRotateQuat)(EngineHandle*, const float* quaternion);
    EngineResult (*postScale)(EngineHandle*, const float* xyz);
    EngineResult (*postTranslate)(EngineHandle*, const float* xyz);
    EngineResult (*transformArray)(EngineHandle*, EngineHandle* vertexArray, uint32_t length, float* out,
                                   uint32_t withW);
    EngineResult (*transform)(EngineHandle*, uint32_t length, float* vectors);
    void (*transpose)(EngineHandle*);
};

struct IkwLoaderTable {
    IkwUnknownTable unknown;
    EngineResult (*loadBuffer)(EngineHandle*, uint32_t length, const void* data, const uint32_t* chunkBudget);
    EngineResult (*loadName)(EngineHandle*, const char* name, const uint32_t* chunkBudget);
    void (*getRootCount)(EngineHandle*, uint32_t* out);
    EngineResult (*getRoot)(EngineHandle*, uint32_t index, EngineHandle** out);
    uint32_t (*getState)(EngineHandle*);
};

struct IkwArchiveTable {
    IkwUnknownTable unknown;
    void (*resetEnumeration)(EngineHandle*);
    uint32_t (*nextEntry)(EngineHandle*, uint32_t* size, char** name); // 1 or 0
    EngineResult (*open)(EngineHandle*, const char* path);
    EngineResult (*openMember)(EngineHandle*, const char* name, uint32_t* size, EngineHandle** out);
};

struct IkwArchiveMemberTable {
    IkwUnknownTable unknown;
    uint32_t (*read)(EngineHandle*, void* buffer, uint32_t count);
};

// Entry n of a table is the n-th pointer: the layout is what the game reads.
template <class Table>
constexpr uint32_t kEntryCount = sizeof(Table) / sizeof(void (*)());

#define PF_PIN_TABLE(Table, entries, firstOwn, firstOwnMember)                                                   \
    static_assert(std::is_standard_layout_v<Table>);                                                             \
    static_assert(kEntryCount<Table> == (entries));                                                              \
    static_assert(offsetof(Table, firstOwnMember) == (firstOwn) * sizeof(void (*)()))

PF_PIN_TABLE(IkwUnknownTable, 3, 0, addRef);
PF_PIN_TABLE(IkwObject3DTable, 19, 3, getUserID);
PF_PIN_TABLE(IkwTransformableTable, 32, 19, getTranslation);
PF_PIN_TABLE(IkwNodeTable, 46, 32, getParent);
PF_PIN_TABLE(IkwIndexBufferTable, 21, 19, getIndexCount);
PF_PIN_TABLE(IkwVertexArrayTable, 27, 19, init);
PF_PIN_TABLE(IkwVertexBufferTable, 30, 19, getNormals);
PF_PIN_TABLE(IkwTriangleStripArrayTable, 23, 21, initImplicit);
PF_PIN_TABLE(IkwMeshTable, 53, 46, initMulti);
PF_PIN_TABLE(IkwMorphingMeshTable, 59, 53, initMulti);
PF_PIN_TABLE(IkwSkinnedMeshTable, 59, 53, initMulti);
PF_PIN_TABLE(IkwGraphics3DTable, 31, 3, getTargetWidth);
PF_PIN_TABLE(IkwRayIntersectionTable, 12, 3, getDistance);
PF_PIN_TABLE(IkwGroupTable, 52, 46, getChildCount);
PF_PIN_TABLE(IkwWorldTable, 56, 52, getActiveCamera);
PF_PIN_TABLE(IkwCameraTable, 51, 46, getProjectionParameters);
PF_PIN_TABLE(IkwLightTable, 60, 46, getMode);
PF_PIN_TABLE(IkwAppearanceTable, 31, 19, getLayer);
PF_PIN_TABLE(IkwMaterialTable, 25, 19, getShininess);
PF_PIN_TABLE(IkwCompositingModeTable, 34, 19, getAlphaThreshold);
PF_PIN_TABLE(IkwPolygonModeTable, 31, 19, getCulling);
PF_PIN_TABLE(IkwFogTable, 28, 19, getColor);
PF_PIN_TABLE(IkwBackgroundTable, 35, 19, getColor);
PF_PIN_TABLE(IkwKeyframeSequenceTable, 32, 19, init);
PF_PIN_TABLE(IkwAnimationTrackTable, 24, 19, init);
PF_PIN_TABLE(IkwAnimationControllerTable, 29, 19, getWeight);
PF_PIN_TABLE(IkwTransformTable, 17, 3, initCopy);
PF_PIN_TABLE(IkwLoaderTable, 8, 3, loadBuffer);
PF_PIN_TABLE(IkwArchiveTable, 7, 3, resetEnumeration);
PF_PIN_TABLE(IkwArchiveMemberTable, 4, 3, read);

// The game's side of a call: the handle's table as the interface's.
template <class Table>
const Table& tableOf(const EngineHandle* handle)
{
    return *static_cast<const Table*>(handle->table);
}
