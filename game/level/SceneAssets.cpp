// Character dressing, list marks and model instances.
#include "game/level/SceneAssets.h"

#include <cstring>
#include <strings.h>

#include "engine/core/interface/InterfaceIds.h"
#include "engine/scene/interface/ImageTables.h"
#include "game/level/GameUtils.h"
#include "game/level/GameWorld.h"
#include "game/level/MenuBackground.h"
#include "game/level/MenuEngine.h"
#include "game/shell/AnimCopy.h"
#include "game/shell/AnimTable.h"
#include "game/shell/EngineService.h"

namespace {

constexpr uint32_t kMainTexture[3] = {0x300010b, 0x3000178, 0x3000198};

// Outfit palettes by part index: [girl][part 0 and 2, part 1][index].
constexpr uint32_t kOutfitPalettes[2][2][SceneAssetLimit::OutfitOptions] = {
    {{0x30001c9, 0x30001f5, 0x300025c, 0x3000154, 0x30001c4, 0x30001d9, 0x3000261},
     {0x300020e, 0x3000290, 0x3000279, 0x30001df, 0x300018d, 0x3000126, 0x300026a}},
    {{0x3000146, 0x30001af, 0x3000220, 0x30002b1, 0x300015b, 0x30001c7, 0x3000166},
     {0x3000180, 0x30001db, 0x300025d, 0x300013c, 0x3000191, 0x3000209, 0x3000284}},
};

constexpr char kGirlMesh[] = "girl_thief";
constexpr char kBoyMesh[] = "boy";
constexpr char kListMesh[] = "list";
constexpr float kZAxisAngle[4] = {0.0f, 0.0f, 0.0f, 1.0f};
constexpr float kOrigin[3] = {0.0f, 0.0f, 0.0f};

EngineRef loadAs(uint32_t resourceId, uint32_t iid)
{
    EngineService* service = getEngineService();
    return service ? service->loadObject(resourceId).as(iid) : EngineRef();
}

// The image of texture unit 0 of the mesh's first appearance becomes this.
void setMeshImage(const EngineRef& mesh, const EngineRef& image)
{
    if (const EngineRef texture2D = meshTexture(mesh, 0).as(kIidTexture2D))
        texture2D.table<IkwTexture2DTable>().setImage(texture2D.get(), image.get());
}

// Clamped: the menus never store an index outside the tables.
int32_t outfitIndex(int32_t value)
{
    return value < 0 ? 0 : (value >= SceneAssetLimit::OutfitOptions ? SceneAssetLimit::OutfitOptions - 1 : value);
}

struct DirectImage {
    uint16_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
};

// The colour plane of a direct image; empty for a palette image or none.
DirectImage directPixels(const EngineRef& image)
{
    DirectImage out;
    if (!image)
        return out;
    const IkwImage2DTable& api = image.table<IkwImage2DTable>();
    void* palette = nullptr;
    void* pixels = nullptr;
    uint32_t width = 0, height = 0;
    api.getPalette(image.get(), &palette);
    api.getPixels(image.get(), &pixels);
    api.getWidth(image.get(), &width);
    api.getHeight(image.get(), &height);
    if (palette || !pixels)
        return out;
    out.pixels = static_cast<uint16_t*>(pixels);
    out.width = int32_t(width);
    out.height = int32_t(height);
    return out;
}

} // namespace

bool outfitPaletteIds(const GameWorld* world, int32_t character, uint32_t out[3])
{
    if (!world || (character != 0 && character != 1))
        return false;
    const bool girl = character == 1;
    // The open outfit screen shows its options on the model; otherwise the
    // outfit the player chose.
    const MenuEngine* menu = world->m_menu;
    const bool choosing = menu && menu->isOpen() && menu->getScreenNameId() == SceneAssetId::OutfitScreen;
    for (int32_t part = 0; part < 3; ++part) {
        // The girl's second and third parts sit the other way round.
        const int32_t source = girl && part > 0 ? 3 - part : part;
        const int32_t index = outfitIndex(choosing ? menu->getOptionValue(source + 1) : world->m_outfit[source]);
        out[part] = kOutfitPalettes[girl][part == 1][index];
    }
    return true;
}

void setupCharacterModel(GameWorld* world, const EngineRef& group, int32_t character, const char* effect)
{
    if (!world || !group || character < 0 || character > 2)
        return;
    const bool girl = character == 1;
    const EngineRef mesh = findObject(group, uint32_t(GameUtils::nameHash(girl ? kGirlMesh : kBoyMesh)), kIidMesh);
    if (!mesh)
        return;
    if (effect && (strcasecmp(effect, "lightning") == 0 || strcasecmp(effect, "fire") == 0)) {
        const bool fire = strcasecmp(effect, "fire") == 0;
        if (const EngineRef image = loadAs(fire ? SceneAssetId::FireImage : SceneAssetId::LightningImage, kIidImage2D))
            setMeshImage(mesh, image);
        return;
    }
    const EngineRef image = loadAs(kMainTexture[character], kIidImage2D);
    if (!image)
        return;
    void* palette = nullptr;
    image.table<IkwImage2DTable>().getPalette(image.get(), &palette);
    uint32_t palettes[3];
    if (palette && outfitPaletteIds(world, character, palettes))
        for (int32_t part = 0; part < 3; ++part)
            loadPaletteRgb565(static_cast<uint16_t*>(palette), palettes[part], part, character != 1);
    setMeshImage(mesh, image);
}

void stampListMarks(uint16_t* list, int32_t width, int32_t height, const uint16_t* mark, int32_t markWidth,
                    int32_t markHeight, int32_t count)
{
    if (!list || !mark || width <= 0 || height <= 0 || markWidth <= 0 || markHeight <= 0)
        return;
    const int64_t end = int64_t(width) * height;
    const uint16_t transparent = mark[0];
    // Every pixel is clipped to the image. A count from a save file may be
    // anything: the marks only move on, so the first one past the end is
    // the last one painted.
    for (int64_t i = 0; i < count; ++i) {
        const int64_t o = -90 + 22 * i;
        if (o >= 20 && (o >> 1) + (int64_t(98) * width) / 2 >= end)
            break;
        for (int32_t r = 0; r < markHeight; ++r) {
            const int64_t row = o < 20 ? (o + 99) / 2 + (int64_t(r + 76) * width) / 2
                                       : (o >> 1) + (int64_t(r + 98) * width) / 2;
            for (int32_t c = 0; c < markWidth; ++c) {
                const uint16_t pixel = mark[r * markWidth + c];
                const int64_t at = row + c;
                if (pixel != transparent && at >= 0 && at < end)
                    list[at] = pixel;
            }
        }
    }
}

void paintListMarks(GameWorld* world, const EngineRef& group, int32_t count)
{
    if (!world || !group)
        return;
    const EngineRef mesh = findObject(group, uint32_t(GameUtils::nameHash(kListMesh)), kIidMesh);
    if (!mesh)
        return;
    const EngineRef blank = loadAs(SceneAssetId::ListBlankImage, kIidImage2D);
    const EngineRef mark = loadAs(SceneAssetId::ListMarkImage, kIidImage2D);
    const DirectImage to = directPixels(blank);
    const DirectImage from = directPixels(mark);
    if (!to.pixels || !from.pixels)
        return;
    stampListMarks(to.pixels, to.width, to.height, from.pixels, from.width, from.height, count);
    setMeshImage(mesh, blank);
}

bool instantiateModel(GameWorld* world, EngineRef& out, uint32_t resourceId, const EngineRef& parent, bool addClips,
                      bool load)
{
    if (!world)
        return false;
    EngineRef group;
    if (load) {
        group = loadGroupResource(resourceId);
    } else {
        for (uint32_t slot = 0; slot < 3 && !group; ++slot) {
            const EngineRef model = findObject(world->m_sceneSlots[slot], resourceId, kIidObject3D);
            EngineRef copy;
            if (model && model.table<IkwObject3DTable>().duplicate(model.get(), copy.out()) == 0)
                group = copy.as(kIidGroup);
        }
        if (!group)
            group = createEngineObject(kIidGroup);
        // Of a model with several parts only the unnamed ones show; the named
        // ones are switched on where the game needs them.
        uint32_t children = 0;
        if (group)
            group.table<IkwGroupTable>().getChildCount(group.get(), &children);
        for (uint32_t i = 0; children > 1 && i < children; ++i) {
            EngineRef child;
            group.table<IkwGroupTable>().getChild(group.get(), i, child.out());
            const EngineRef sub = child.as(kIidGroup);
            uint32_t id = 0;
            if (sub)
                sub.table<IkwObject3DTable>().getUserID(sub.get(), &id);
            if (id != 0)
                sub.table<IkwNodeTable>().setRenderingEnable(sub.get(), 0);
        }
    }
    if (!group)
        return false;
    const IkwGroupTable& api = group.table<IkwGroupTable>();
    EngineRef oldParent;
    if (api.node.getParent(group.get(), oldParent.out()) == 0 && oldParent)
        if (const EngineRef holder = oldParent.as(kIidGroup))
            holder.table<IkwGroupTable>().removeChild(holder.get(), group.get());
    if (const EngineRef to = parent.as(kIidGroup))
        to.table<IkwGroupTable>().addChild(to.get(), group.get());
    api.node.transformable.setTranslation(group.get(), kOrigin);
    api.node.transformable.setOrientation(group.get(), kZAxisAngle);
    if (const EngineRef identity = createEngineObject(kIidTransform))
        api.node.transformable.setTransform(group.get(), identity.get());
    api.node.setRenderingEnable(group.get(), 1);
    if (addClips && world->m_levelClips)
        world->m_levelClips->addClipsFrom(group);
    out = std::move(group);
    return true;
}

EngineRef loadGroupResource(uint32_t resourceId)
{
    return loadAs(resourceId, kIidGroup);
}

bool loadSceneObject(EngineRef& holder, uint32_t resourceId)
{
    holder = resourceId ? loadAs(resourceId, kIidWorld) : EngineRef();
    return bool(holder);
}
