// The metadata of the 29 concrete interfaces. Rows without a table of their
// own take the one a module installed; with none, their objects cannot be
// wrapped (wrapObject answers 0x1000C).
#include "engine/core/interface/InterfaceMetadata.h"

#include "engine/core/factory/CkwObjectFactory.h"
#include "engine/core/interface/EngineHandle.h"
#include "engine/core/interface/LoaderInterfaces.h"
#include "engine/core/runtime/CkwRefCount.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/EngineModule.h"
#include "engine/core/runtime/Trap.h"

namespace {

// Scene objects come from the object factory by class id.
template <int32_t ClassId>
EngineResult createFromFactory(EngineHandle** out)
{
    IkwSerializable* object = nullptr;
    const int32_t code = engineTrap([&] { object = engineContextL().factory->create(ClassId); });
    if (code != KErrNone)
        return mapLeaveCode(code);
    if (object == nullptr)
        return kResultBadArgument;
    return wrapObject(object, out);
}

InterfaceCreator gGraphics3DCreator = nullptr;

EngineResult createGraphics3D(EngineHandle** out)
{
    return gGraphics3DCreator != nullptr ? gGraphics3DCreator(out) : kResultBadArgument;
}

constexpr InterfaceInfo kInterfaces[] = {
    {kIidAnimationController, nullptr, 29, {kClassAnimationController}, {1, 19}, &createFromFactory<kClassAnimationController>},
    {kIidAnimationTrack, nullptr, 24, {kClassAnimationTrack}, {2, 19}, &createFromFactory<kClassAnimationTrack>},
    {kIidAppearance, nullptr, 31, {kClassAppearance}, {3, 19}, &createFromFactory<kClassAppearance>},
    {kIidBackground, nullptr, 35, {kClassBackground}, {4, 19}, &createFromFactory<kClassBackground>},
    {kIidCamera, nullptr, 51, {kClassCamera}, {5, 18, 19, 27}, &createFromFactory<kClassCamera>},
    {kIidCompositingMode, nullptr, 34, {kClassCompositingMode}, {6, 19}, &createFromFactory<kClassCompositingMode>},
    {kIidFog, nullptr, 28, {kClassFog}, {7, 19}, &createFromFactory<kClassFog>},
    {kIidGraphics3D, nullptr, 31, {kClassGraphics3D}, {8}, &createGraphics3D},
    {kIidGroup, nullptr, 52, {kClassGroup}, {9, 18, 19, 27}, &createFromFactory<kClassGroup>},
    {kIidImage2D, nullptr, 31, {kClassImage2D, kClassPlasmaImage, kClassCompressedImage2D}, {10, 19}, &createFromFactory<kClassImage2D>},
    {kIidKeyframeSequence, nullptr, 32, {kClassKeyframeSequence}, {12, 19}, &createFromFactory<kClassKeyframeSequence>},
    {kIidLight, nullptr, 60, {kClassLight}, {13, 18, 19, 27}, &createFromFactory<kClassLight>},
    {kIidLoader, &kLoaderTable, 8, {kClassBrewLoader}, {14}, &createLoaderObject},
    {kIidMaterial, nullptr, 25, {kClassMaterial}, {15, 19}, &createFromFactory<kClassMaterial>},
    {kIidMesh, nullptr, 53, {kClassMesh}, {16, 18, 19, 27}, &createFromFactory<kClassMesh>},
    {kIidMorphingMesh, nullptr, 59, {kClassMorphingMesh}, {17, 16, 18, 19, 27}, &createFromFactory<kClassMorphingMesh>},
    {kIidPolygonMode, nullptr, 31, {kClassPolygonMode}, {20, 19}, &createFromFactory<kClassPolygonMode>},
    {kIidRayIntersection, nullptr, 12, {kClassRayIntersection}, {21}, &createFromFactory<kClassRayIntersection>},
    {kIidSkinnedMesh, nullptr, 59, {kClassSkinnedMesh}, {22, 16, 18, 19, 27}, &createFromFactory<kClassSkinnedMesh>},
    {kIidSprite3D, nullptr, 57, {kClassSprite}, {23, 18, 19, 27}, &createFromFactory<kClassSprite>},
    {kIidStageset, nullptr, 37, {kClassStageset}, {24, 10, 19}, &createFromFactory<kClassStageset>},
    {kIidTexture2D, nullptr, 45, {kClassTexture2D}, {25, 19, 27}, &createFromFactory<kClassTexture2D>},
    {kIidTransform, nullptr, 17, {kClassTransform}, {26}, &createFromFactory<kClassTransform>},
    {kIidTriangleStripArray, nullptr, 23, {kClassTriangleStripArray}, {28, 11, 19}, &createFromFactory<kClassTriangleStripArray>},
    {kIidVertexArray, nullptr, 27, {kClassVertexArray}, {29, 19}, &createFromFactory<kClassVertexArray>},
    {kIidVertexBuffer, nullptr, 30, {kClassVertexBuffer}, {30, 19}, &createFromFactory<kClassVertexBuffer>},
    {kIidWorld, nullptr, 56, {kClassWorld}, {31, 9, 18, 19, 27}, &createFromFactory<kClassWorld>},
    {kIidArchive, &kArchiveTable, 7, {kClassArchive}, {100}, &createArchiveObject},
    {kIidArchiveMember, &kArchiveMemberTable, 4, {kClassArchiveMember}, {101}, &createArchiveMemberObject},
};
static_assert(std::size(kInterfaces) == kInterfaceCount);

constexpr bool ascendingIds()
{
    for (uint32_t i = 1; i < kInterfaceCount; ++i)
        if (kInterfaces[i - 1].iid >= kInterfaces[i].iid)
            return false;
    return true;
}
static_assert(ascendingIds(), "cache slots follow ascending interface ids");

} // namespace

std::span<const InterfaceInfo> interfaceMetadata() { return kInterfaces; }

const InterfaceInfo* interfaceById(uint32_t iid)
{
    for (const InterfaceInfo& info : kInterfaces)
        if (info.iid == iid)
            return &info;
    return nullptr;
}

const InterfaceInfo* interfaceByClass(int32_t classId)
{
    if (classId <= 0)
        return nullptr;
    for (const InterfaceInfo& info : kInterfaces)
        for (int32_t id : info.classIds)
            if (id == classId)
                return &info;
    return nullptr;
}

bool objectAccepts(const CkwRefCount& object, uint32_t iid)
{
    const InterfaceInfo* info = interfaceByClass(object.getClassId());
    if (info == nullptr || iid == 0)
        return false;
    for (uint32_t id : info->accepts)
        if (id == iid)
            return true;
    return false;
}

const void* interfaceTable(const InterfaceInfo& info)
{
    if (info.table != nullptr)
        return info.table;
    for (const EngineModule* module : engineModules())
        for (const InterfaceTableEntry& entry : module->tables)
            if (entry.iid == info.iid && entry.entryCount == info.entryCount)
                return entry.table;
    return nullptr;
}

uint32_t interfaceSlot(const InterfaceInfo& info) { return static_cast<uint32_t>(&info - kInterfaces); }

void installGraphics3DCreator(InterfaceCreator creator) { gGraphics3DCreator = creator; }
