// Dressing and placing the game's 3D models: the thief's texture and outfit
// colours or an effect image, the marks on the hideout's list, and model
// groups loaded, duplicated or made, then hung under a parent.
#pragma once

#include <cstdint>

#include "game/shell/EngineRef.h"

class GameWorld;

namespace SceneAssetId {
constexpr uint32_t LightningImage = 0x30002a4;
constexpr uint32_t FireImage = 0x30002b7;
constexpr uint32_t ListBlankImage = 0x3000192;
constexpr uint32_t ListMarkImage = 0x3000241;
// The outfit screen, whose options the thief wears while it is open.
constexpr uint32_t OutfitScreen = 0x21ff01e2;
} // namespace SceneAssetId

namespace SceneAssetLimit {
constexpr int32_t OutfitOptions = 7;
} // namespace SceneAssetLimit

// effect: "lightning" or "fire" in any case, else null for the outfit.
void setupCharacterModel(GameWorld* world, const EngineRef& group, int32_t character, const char* effect);
// The palette resources of the thief's three outfit parts; false for the
// character that keeps its texture's own colours.
bool outfitPaletteIds(const GameWorld* world, int32_t character, uint32_t out[3]);
void paintListMarks(GameWorld* world, const EngineRef& group, int32_t count);
// The marks' pixels onto the list's, by the list's layout: five marks in an
// upper row, then a lower one; the mark's first pixel is its transparent colour.
void stampListMarks(uint16_t* list, int32_t width, int32_t height, const uint16_t* mark, int32_t markWidth,
                    int32_t markHeight, int32_t count);
// Without load the id is a user id of a model in scene slots 0-2 to copy
// (a new empty group when none has it).
bool instantiateModel(GameWorld* world, EngineRef& out, uint32_t resourceId, const EngineRef& parent, bool addClips,
                      bool load);
EngineRef loadGroupResource(uint32_t resourceId);
// The resource's World into the holder, which lets its old scene go; the
// holder stays empty when there is none.
bool loadSceneObject(EngineRef& holder, uint32_t resourceId);
