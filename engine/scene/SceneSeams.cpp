// What the scene library gives the engine core: the creators of the scene
// classes, registered one by one, and the shutdown of the engine-wide objects
// it keeps in the engine context.
#include "engine/core/runtime/SceneSeams.h"

#include "engine/core/factory/CkwObjectFactory.h"
#include "engine/core/math/CkwTransform.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/scene/CkwAlignTargetManager.h"
#include "engine/scene/CkwAppearance.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwCompositingMode.h"
#include "engine/scene/CkwFog.h"
#include "engine/scene/CkwGroup.h"
#include "engine/scene/CkwLight.h"
#include "engine/scene/CkwMaterial.h"
#include "engine/scene/CkwPolygonMode.h"
#include "engine/scene/CkwWorld.h"

void registerLoaderTypes(CkwObjectFactory& factory)
{
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
    factory.registerCreator(kClassTransform, &CkwTransform::create);
}

void registerOwnLoaderTypes(CkwObjectFactory&) {}

void registerExtraLoaderTypes(CkwObjectFactory&) {}

void releaseAlignTargetManager()
{
    EngineContext* context = engineContext();
    if (context == nullptr || context->alignTargetManager == nullptr)
        return;
    delete context->alignTargetManager;
    context->alignTargetManager = nullptr;
}

// The pick state and the shared ray intersection come with picking; until
// then nothing creates them.
void releasePickData() {}

void releaseSharedRayIntersection() {}
