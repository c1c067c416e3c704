// Class ids of the engine's objects: the object type of the 3D file format
// (M3G types 1-22, the engine's own 23-25), ids only the interface creates and
// the ids of classes made by their own code.
#pragma once

#include <cstdint>

constexpr int32_t kClassHeader = 0;
constexpr int32_t kClassAnimationController = 1;
constexpr int32_t kClassAnimationTrack = 2;
constexpr int32_t kClassAppearance = 3;
constexpr int32_t kClassBackground = 4;
constexpr int32_t kClassCamera = 5;
constexpr int32_t kClassCompositingMode = 6;
constexpr int32_t kClassFog = 7;
constexpr int32_t kClassPolygonMode = 8;
constexpr int32_t kClassGroup = 9;
constexpr int32_t kClassImage2D = 10;
constexpr int32_t kClassTriangleStripArray = 11;
constexpr int32_t kClassLight = 12;
constexpr int32_t kClassMaterial = 13;
constexpr int32_t kClassMesh = 14;
constexpr int32_t kClassMorphingMesh = 15;
constexpr int32_t kClassSkinnedMesh = 16;
constexpr int32_t kClassTexture2D = 17;
constexpr int32_t kClassSprite = 18;
constexpr int32_t kClassKeyframeSequence = 19;
constexpr int32_t kClassVertexArray = 20;
constexpr int32_t kClassVertexBuffer = 21;
constexpr int32_t kClassWorld = 22;
constexpr int32_t kClassPlasmaImage = 23;
constexpr int32_t kClassStageset = 24;
constexpr int32_t kClassCompressedImage2D = 25;
constexpr int32_t kClassGraphics3D = 27;
constexpr int32_t kClassRayIntersection = 28;
constexpr int32_t kClassTransform = 29;
constexpr int32_t kClassResourceLoader = 30;
constexpr int32_t kClassArchive = 31;
constexpr int32_t kClassArchiveMember = 32;
constexpr int32_t kClassBrewLoader = 33;
constexpr int32_t kClassLastTableSlot = 34;
constexpr int32_t kClassExternalReference = 255;

// The classes an image reference may name; a Stageset only where a depth
// image is allowed (backgrounds).
constexpr bool isImageClass(int32_t id, bool allowStageset)
{
    return id == kClassImage2D || id == kClassPlasmaImage || id == kClassCompressedImage2D
        || (allowStageset && id == kClassStageset);
}
