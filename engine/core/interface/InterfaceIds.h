// Interface ids of the engine's method-table interface, and the small result
// codes the root and handle entries return directly. Leave codes reach the
// caller through mapLeaveCode (EngineResult.h).
#pragma once

#include <cstdint>

constexpr uint32_t kIidAnimationController = 1;
constexpr uint32_t kIidAnimationTrack = 2;
constexpr uint32_t kIidAppearance = 3;
constexpr uint32_t kIidBackground = 4;
constexpr uint32_t kIidCamera = 5;
constexpr uint32_t kIidCompositingMode = 6;
constexpr uint32_t kIidFog = 7;
constexpr uint32_t kIidGraphics3D = 8;
constexpr uint32_t kIidGroup = 9;
constexpr uint32_t kIidImage2D = 10;
constexpr uint32_t kIidIndexBuffer = 11; // abstract
constexpr uint32_t kIidKeyframeSequence = 12;
constexpr uint32_t kIidLight = 13;
constexpr uint32_t kIidLoader = 14;
constexpr uint32_t kIidMaterial = 15;
constexpr uint32_t kIidMesh = 16;
constexpr uint32_t kIidMorphingMesh = 17;
constexpr uint32_t kIidNode = 18;         // abstract
constexpr uint32_t kIidObject3D = 19;     // abstract
constexpr uint32_t kIidPolygonMode = 20;
constexpr uint32_t kIidRayIntersection = 21;
constexpr uint32_t kIidSkinnedMesh = 22;
constexpr uint32_t kIidSprite3D = 23;
constexpr uint32_t kIidStageset = 24;
constexpr uint32_t kIidTexture2D = 25;
constexpr uint32_t kIidTransform = 26;
constexpr uint32_t kIidTransformable = 27; // abstract
constexpr uint32_t kIidTriangleStripArray = 28;
constexpr uint32_t kIidVertexArray = 29;
constexpr uint32_t kIidVertexBuffer = 30;
constexpr uint32_t kIidWorld = 31;
constexpr uint32_t kIidArchive = 100;
constexpr uint32_t kIidArchiveMember = 101;

// Accepted by queryInterface for every object.
constexpr uint32_t kIidUniversalA = 0x1000001;
constexpr uint32_t kIidUniversalB = 0x1001030;

// The concrete interfaces, one method-table cache slot each.
constexpr uint32_t kInterfaceCount = 29;

// Options of IkwEngine::setOption.
constexpr uint32_t kOptionTrackHandles = 3;

// Results given directly, not through mapLeaveCode.
constexpr int32_t kResultBadArgument = 1;   // null out pointer in initEngineApi; no creator
constexpr int32_t kResultNoMemory = 2;      // no root, no engine, no handle
constexpr int32_t kResultNotSupported = 3;  // queryInterface of a foreign id
constexpr int32_t kResultNullPointer = 14;  // null out pointer or empty handle
