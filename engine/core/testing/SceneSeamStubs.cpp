// Stand-ins for the scene library: every table class id gets a creator of a
// stub object (the transform its real one), the node tables only count and
// query, and the shutdown hooks count calls.
#include "engine/core/testing/SceneSeamStubs.h"

#include <utility>

#include "engine/core/factory/CkwObjectFactory.h"
#include "engine/core/interface/EntryAdapters.h"
#include "engine/core/interface/SceneNodeInterfaces.h"
#include "engine/core/math/CkwTransform.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/SceneSeams.h"

namespace {

template <int32_t ClassId>
IkwSerializable* createStub()
{
    return new StubSceneObject(ClassId);
}

template <int32_t... Ids>
void registerStubs(CkwObjectFactory& factory, std::integer_sequence<int32_t, Ids...>)
{
    (factory.registerCreator(Ids + 1, &createStub<Ids + 1>), ...);
}

} // namespace

// The stub objects are no nodes: their handles count and query, nothing more.
constexpr IkwWorldTable unknownOnly()
{
    IkwWorldTable table{};
    table.group.node.transformable.object3D.unknown = kUnknownEntries;
    return table;
}
constexpr IkwWorldTable kWorldTable = unknownOnly();
constexpr IkwGroupTable kGroupTable = kWorldTable.group;

SceneSeamCalls& sceneSeamCalls()
{
    static SceneSeamCalls calls;
    return calls;
}

void registerLoaderTypes(CkwObjectFactory& factory)
{
    registerStubs(factory, std::make_integer_sequence<int32_t, kClassWorld>());
    factory.registerCreator(kClassRayIntersection, &createStub<kClassRayIntersection>);
    factory.registerCreator(kClassTransform, &CkwTransform::create);
    factory.registerCreator(kClassExternalReference, &createStub<kClassExternalReference>);
}

void registerOwnLoaderTypes(CkwObjectFactory& factory)
{
    factory.registerCreator(kClassPlasmaImage, &createStub<kClassPlasmaImage>);
    factory.registerCreator(kClassStageset, &createStub<kClassStageset>);
    factory.registerCreator(kClassCompressedImage2D, &createStub<kClassCompressedImage2D>);
}

void registerExtraLoaderTypes(CkwObjectFactory&) {}

// Nothing in the core creates these objects, so there is nothing to free.
void releaseAlignTargetManager()
{
    ++sceneSeamCalls().alignTargetManager;
    engineContext()->alignTargetManager = nullptr;
}

void releasePickData()
{
    ++sceneSeamCalls().pickData;
    engineContext()->pickData = nullptr;
}

void releaseSharedRayIntersection()
{
    ++sceneSeamCalls().rayIntersection;
    engineContext()->rayIntersection = nullptr;
}
