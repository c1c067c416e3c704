// What the scene library gives the engine core: the creators of the scene
// classes, the method tables of their interfaces and the alignment registry.
// A class or interface joins by one line in its list.
#include "engine/core/factory/CkwObjectFactory.h"
#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/interface/InterfaceMetadata.h"
#include "engine/core/runtime/EngineModule.h"
#include "engine/scene/CkwAlignTargetManager.h"
#include "engine/scene/CkwAnimationController.h"
#include "engine/scene/CkwAnimationTrack.h"
#include "engine/scene/CkwAppearance.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwCompositingMode.h"
#include "engine/scene/CkwCompressedImage2D.h"
#include "engine/scene/CkwFog.h"
#include "engine/scene/CkwGroup.h"
#include "engine/scene/CkwKeyframeSequence.h"
#include "engine/scene/CkwLight.h"
#include "engine/scene/CkwMaterial.h"
#include "engine/scene/CkwMesh.h"
#include "engine/scene/CkwMorphingMesh.h"
#include "engine/scene/CkwPick.h"
#include "engine/scene/CkwPlasmaImage.h"
#include "engine/scene/CkwPolygonMode.h"
#include "engine/scene/CkwRayIntersection.h"
#include "engine/scene/CkwSkinnedMesh.h"
#include "engine/scene/CkwSprite.h"
#include "engine/scene/CkwStageset.h"
#include "engine/scene/CkwTexture2D.h"
#include "engine/scene/CkwTriangleStripArray.h"
#include "engine/scene/CkwVertexArray.h"
#include "engine/scene/CkwVertexBuffer.h"
#include "engine/scene/CkwWorld.h"
#include "engine/scene/interface/AnimationTables.h"
#include "engine/scene/interface/AppearanceTables.h"
#include "engine/scene/interface/GeometryTables.h"
#include "engine/scene/interface/Graphics3DTables.h"
#include "engine/scene/interface/ImageTables.h"
#include "engine/scene/interface/SceneNodeTables.h"

namespace {

void registerSceneTypes(CkwObjectFactory& factory)
{
    factory.registerCreator(kClassAnimationController, &CkwAnimationController::create);
    factory.registerCreator(kClassAnimationTrack, &CkwAnimationTrack::create);
    factory.registerCreator(kClassKeyframeSequence, &CkwKeyframeSequence::create);
    factory.registerCreator(kClassAppearance, &CkwAppearance::create);
    factory.registerCreator(kClassBackground, &CkwBackground::create);
    factory.registerCreator(kClassCamera, &CkwCamera::create);
    factory.registerCreator(kClassCompositingMode, &CkwCompositingMode::create);
    factory.registerCreator(kClassFog, &CkwFog::create);
    factory.registerCreator(kClassPolygonMode, &CkwPolygonMode::create);
    factory.registerCreator(kClassGroup, &CkwGroup::create);
    factory.registerCreator(kClassLight, &CkwLight::create);
    factory.registerCreator(kClassMaterial, &CkwMaterial::create);
    factory.registerCreator(kClassWorld, &CkwWorld::create);
    factory.registerCreator(kClassMesh, &CkwMesh::create);
    factory.registerCreator(kClassMorphingMesh, &CkwMorphingMesh::create);
    factory.registerCreator(kClassSkinnedMesh, &CkwSkinnedMesh::create);
    factory.registerCreator(kClassRayIntersection, &CkwRayIntersection::create);
    factory.registerCreator(kClassTriangleStripArray, &CkwTriangleStripArray::create);
    factory.registerCreator(kClassVertexArray, &CkwVertexArray::create);
    factory.registerCreator(kClassVertexBuffer, &CkwVertexBuffer::create);
    factory.registerCreator(kClassImage2D, &CkwImage2D::create);
    factory.registerCreator(kClassTexture2D, &CkwTexture2D::create);
    factory.registerCreator(kClassSprite, &CkwSprite::create);
    factory.registerCreator(kClassPlasmaImage, &CkwPlasmaImage::create);
    factory.registerCreator(kClassStageset, &CkwStageset::create);
    factory.registerCreator(kClassCompressedImage2D, &CkwCompressedImage2D::create);
}

constexpr InterfaceTableEntry kSceneTables[] = {
    interfaceTable(kIidAnimationController, kAnimationControllerTable),
    interfaceTable(kIidAnimationTrack, kAnimationTrackTable),
    interfaceTable(kIidKeyframeSequence, kKeyframeSequenceTable),
    interfaceTable(kIidTransform, kTransformTable),
    interfaceTable(kIidAppearance, kAppearanceTable),
    interfaceTable(kIidBackground, kBackgroundTable),
    interfaceTable(kIidCamera, kCameraTable),
    interfaceTable(kIidCompositingMode, kCompositingModeTable),
    interfaceTable(kIidFog, kFogTable),
    interfaceTable(kIidGraphics3D, kGraphics3DTable),
    interfaceTable(kIidGroup, kGroupTable),
    interfaceTable(kIidLight, kLightTable),
    interfaceTable(kIidMaterial, kMaterialTable),
    interfaceTable(kIidPolygonMode, kPolygonModeTable),
    interfaceTable(kIidWorld, kWorldTable),
    interfaceTable(kIidMesh, kMeshTable),
    interfaceTable(kIidMorphingMesh, kMorphingMeshTable),
    interfaceTable(kIidSkinnedMesh, kSkinnedMeshTable),
    interfaceTable(kIidRayIntersection, kRayIntersectionTable),
    interfaceTable(kIidTriangleStripArray, kTriangleStripArrayTable),
    interfaceTable(kIidVertexArray, kVertexArrayTable),
    interfaceTable(kIidVertexBuffer, kVertexBufferTable),
    interfaceTable(kIidImage2D, kImage2DTable),
    interfaceTable(kIidSprite3D, kSprite3DTable),
    interfaceTable(kIidStageset, kStagesetTable),
    interfaceTable(kIidTexture2D, kTexture2DTable),
};

void releasePickState(EngineContext& context)
{
    releasePickData(context);
    CkwRayIntersection::releaseShared(context);
}

constexpr EngineModule kSceneModule = {&registerSceneTypes, kSceneTables, &CkwAlignTargetManager::create,
                                       &releasePickState};

bool installSceneModule()
{
    installGraphics3DCreator(&createGraphics3DObject);
    return installEngineModule(kSceneModule);
}

} // namespace

// Every program that links the scene library pulls this object in by name
// (see CMakeLists.txt), so the registrar runs without the core naming it.
extern "C" const bool pfSceneModuleInstalled = installSceneModule();
