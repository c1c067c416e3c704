// Stand-in module for the scene library: every table class id gets a creator
// of a stub object, the node tables only count and query, and the shutdown
// counts its calls.
#include "engine/core/testing/StubSceneModule.h"

#include <utility>

#include "engine/core/factory/CkwObjectFactory.h"
#include "engine/core/interface/EntryAdapters.h"
#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/EngineModule.h"

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

void registerStubTypes(CkwObjectFactory& factory)
{
    registerStubs(factory, std::make_integer_sequence<int32_t, kClassCompressedImage2D>());
    factory.registerCreator(kClassRayIntersection, &createStub<kClassRayIntersection>);
}

// The stub objects are no nodes: their handles count and query, nothing more.
constexpr IkwWorldTable unknownOnly()
{
    IkwWorldTable table{};
    table.group.node.transformable.object3D.unknown = kUnknownEntries;
    return table;
}
constexpr IkwWorldTable kStubWorldTable = unknownOnly();
constexpr IkwGroupTable kStubGroupTable = kStubWorldTable.group;

constexpr InterfaceTableEntry kStubTables[] = {
    interfaceTable(kIidGroup, kStubGroupTable),
    interfaceTable(kIidWorld, kStubWorldTable),
    // Another interface's table: the core must not hand it out as this one.
    interfaceTable(kIidTransform, kStubGroupTable),
};

void shutdownStubs(EngineContext& context)
{
    ++stubShutdowns();
    context.pickData = nullptr;
    context.rayIntersection = nullptr;
}

constexpr EngineModule kStubModule = {&registerStubTypes, kStubTables, nullptr, &shutdownStubs};

} // namespace

int32_t& stubShutdowns()
{
    static int32_t calls = 0;
    return calls;
}

extern "C" const bool pfStubModuleInstalled = installEngineModule(kStubModule);
