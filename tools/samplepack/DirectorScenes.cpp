// Builds the scenes of the game's scripted moments with the 3D file writer:
// small coloured squares, a padlock of two, and clips as the game plays them.
#include "tools/samplepack/DirectorScenes.h"

#include <utility>

#include "tools/samplepack/LevelScene.h"
#include "tools/samplepack/ScenePieces.h"

namespace {

constexpr uint8_t kSlerp = 177;
constexpr uint32_t kDiamondYellow = 0xFFF0E040;
constexpr uint32_t kLockGold = 0xFFD0A030;
constexpr uint32_t kShackleGrey = 0xFFB0B0C0;
// Where the shackle rests on the body, and where it stands open.
constexpr float kShackleShut = 1.4f;
constexpr float kShackleOpen = 2.2f;
// The arrest's own animation: the policeman walks in over its first two
// seconds of the 2666 ms it plays.
constexpr uint32_t kArrestLength = 2666;
// The hideout's wall: a lock for each played level, going up.
constexpr uint32_t kWallLocks = 9;
constexpr float kLowestLock = -3.2f;
constexpr float kLockRise = 0.8f;

uint32_t look(M3gFileWriter& w, uint32_t colour)
{
    return addLitLook(w, colour, colour & 0xFFFFFF);
}

M3gComponentTransform shaped(float x, float y, float width, float height, float degrees = 0.0f)
{
    M3gComponentTransform place = placeAt(x, y, 0.0f);
    place.scale = {width, height, 1.0f};
    place.orientationAngle = degrees;
    return place;
}

std::vector<float> at(float x, float y, float z)
{
    return {x, y, z};
}

// A diamond: a yellow square standing on a corner.
uint32_t addDiamond(M3gFileWriter& w, const SceneSquare& square, float x, float y, float size)
{
    const uint32_t stone = addSquareMesh(w, square, look(w, kDiamondYellow), 0, shaped(0, 0, size, size, 45.0f));
    return addGroup(w, int32_t(DirectorNode::Diamond), placeAt(x, y, 0.1f), {}, {stone});
}

// A padlock: the body and, above it, the shackle, each moved by its tracks.
uint32_t addPadlock(M3gFileWriter& w, const SceneSquare& square, float y, float size, std::vector<uint32_t> lockTracks,
                    std::vector<uint32_t> shackleTracks)
{
    const uint32_t body = addSquareMesh(w, square, look(w, kLockGold), 0, shaped(0, 0, 1.2f, 1.0f));
    const uint32_t bar = addSquareMesh(w, square, look(w, kShackleGrey), 0, shaped(0, 0, 0.8f, 0.6f));
    const uint32_t shackle = addGroup(w, 0, placeAt(0, kShackleShut, 0), std::move(shackleTracks), {bar});
    return addGroup(w, 0, placeAt(0, y, 0, size), std::move(lockTracks), {body, shackle});
}

M3gKeyframeSequenceFields travel(uint32_t duration, std::vector<M3gKeyframe> keys, bool loop = false)
{
    return keyframes(duration, loop, 3, std::move(keys));
}

M3gKeyframeSequenceFields turns(uint32_t duration, bool loop, std::vector<M3gKeyframe> keys)
{
    M3gKeyframeSequenceFields sequence = keyframes(duration, loop, 4, std::move(keys));
    sequence.interpolation = kSlerp;
    return sequence;
}

// Turning to and fro about the axis, by degrees each way.
M3gKeyframeSequenceFields rock(uint32_t duration, float x, float y, float z, float degrees)
{
    return turns(duration, true, {{0, turn(x, y, z, -degrees)}, {int32_t(duration / 2), turn(x, y, z, degrees)}});
}

// A character: the body mesh under the model's mesh name, a head, and the
// diamond held at the side. Its clips come from the clip groups.
std::vector<uint8_t> characterModel(uint32_t meshId, uint32_t colour)
{
    M3gFileWriter w;
    w.beginSection(kM3gSchemeZlib);
    const SceneSquare square = addSquare(w);
    const uint32_t body = addSquareMesh(w, square, look(w, colour), int32_t(meshId), shaped(0, 0.9f, 0.45f, 0.9f));
    const uint32_t head = addSquareMesh(w, square, look(w, 0xFFE0B090), 0, shaped(0, 2.1f, 0.3f, 0.3f));
    addGroup(w, 0, {}, {}, {body, head, addDiamond(w, square, 0.7f, 1.0f, 0.2f)});
    return w.finish();
}

// A group that only carries clips, each a track of the group itself.
struct NamedClip {
    uint32_t id;
    M3gKeyframeSequenceFields sequence;
    uint32_t property;
};

std::vector<uint8_t> clipGroup(const std::vector<NamedClip>& clips)
{
    M3gFileWriter w;
    w.beginSection(kM3gSchemeZlib);
    std::vector<uint32_t> tracks;
    for (const NamedClip& clip : clips)
        tracks.push_back(addClip(w, clip.id, clip.sequence, clip.property));
    addGroup(w, 0, {}, tracks, {});
    return w.finish();
}

} // namespace

std::vector<uint8_t> sampleHideoutScene()
{
    M3gFileWriter w;
    w.beginSection(kM3gSchemeZlib);
    const SceneSquare square = addSquare(w);
    // Padlocks up the wall, left and right by turns.
    std::vector<uint32_t> locks;
    for (uint32_t i = 0; i < kWallLocks; ++i) {
        const float x = i % 2 == 0 ? -1.0f : 1.0f;
        const float y = kLowestLock + kLockRise * float(i);
        locks.push_back(addGroup(w, int32_t(DirectorNode::Lock), placeAt(x, y, 0), {},
                                 {addPadlock(w, square, 0, 0.3f, {}, {})}));
    }
    const uint32_t wall = addGroup(w, int32_t(DirectorNode::Locks), {}, {}, locks);
    const SceneStage stage = addStage(w, LevelSceneLook::CameraAspect);
    addWorld(w, stage, 0xFF281C14, {wall});
    return w.finish();
}

std::vector<uint8_t> sampleArrestScene()
{
    M3gFileWriter w;
    w.beginSection(kM3gSchemeZlib);
    const SceneSquare square = addSquare(w);
    const uint32_t ground = addSquareMesh(w, square, look(w, 0xFF505060), 0, shaped(0, -2.0f, 6.0f, 0.2f));
    // The policeman's model goes under the first child, which sways on the world clock.
    const uint32_t sway = addClip(w, 0, rock(1200, 0, 0, 1, 4.0f), SceneProperty::Orientation, false);
    const uint32_t cap = addSquareMesh(w, square, look(w, 0xFF202060), 0, shaped(0, 2.4f, 0.4f, 0.15f));
    const uint32_t officer = addGroup(w, 0, {}, {sway}, {cap});
    const uint32_t walkIn = addClip(w, 0, travel(kArrestLength, {{0, at(5.0f, -1.8f, 0)}, {2000, at(1.5f, -1.8f, 0)}}),
                                    SceneProperty::Translation, false);
    const uint32_t policeman = addGroup(w, int32_t(DirectorNode::PolicemanRoot), placeAt(5.0f, -1.8f, 0), {walkIn}, {officer});
    const SceneStage stage = addStage(w, LevelSceneLook::CameraAspect);
    addWorld(w, stage, 0xFF182030, {ground, policeman, addDiamond(w, square, -1.5f, -0.8f, 0.35f)});
    return w.finish();
}

std::vector<uint8_t> sampleLockScene()
{
    M3gFileWriter w;
    w.beginSection(kM3gSchemeZlib);
    const SceneSquare square = addSquare(w);
    // "remove": the shackle springs open, then the lock flies off.
    const uint32_t remove = addController(w, DirectorName::Remove);
    const uint32_t removeShackle =
        addTrack(w, remove, travel(1500, {{0, at(0, kShackleShut, 0)}, {500, at(0, kShackleOpen, 0)}}), SceneProperty::Translation);
    const uint32_t removeLock =
        addTrack(w, remove, travel(1500, {{500, at(0, 0, 0)}, {1500, at(0, 8.0f, 0)}}), SceneProperty::Translation);
    // "lock": the shackle snaps shut and the lock shakes.
    const uint32_t lock = addController(w, DirectorName::Lock);
    const uint32_t lockShackle =
        addTrack(w, lock, travel(1000, {{0, at(0, kShackleOpen, 0)}, {400, at(0, kShackleShut, 0)}}), SceneProperty::Translation);
    const uint32_t lockShake = addTrack(w, lock, rock(1000, 0, 0, 1, 8.0f), SceneProperty::Orientation);
    const uint32_t padlock = addPadlock(w, square, 0, 2.0f, {removeLock, lockShake}, {removeShackle, lockShackle});
    const SceneStage stage = addStage(w, LevelSceneLook::CameraAspect);
    addWorld(w, stage, 0xFF302018, {padlock});
    return w.finish();
}

std::vector<uint8_t> sampleMapLockScene()
{
    M3gFileWriter w;
    w.beginSection(kM3gSchemeZlib);
    const SceneSquare square = addSquare(w);
    namespace N = DirectorName;
    const uint32_t openStart = addClip(w, N::OpenLockStart,
        travel(800, {{0, at(0, kShackleShut, 0)}, {800, at(0, kShackleOpen, 0)}}), SceneProperty::Translation);
    const uint32_t closedStart = addClip(w, N::ClosedLockStart,
        travel(800, {{0, at(0, 3.0f, 0)}, {800, at(0, -0.5f, 0)}}), SceneProperty::Translation);
    const uint32_t openRotate = addClip(w, N::OpenLockRotate, spin(0, 1, 0, 2000), SceneProperty::Orientation);
    const uint32_t closedRotate = addClip(w, N::ClosedLockRotate, rock(2000, 0, 1, 0, 20.0f), SceneProperty::Orientation);
    const uint32_t padlock = addPadlock(w, square, -0.5f, 1.5f, {closedStart, openRotate, closedRotate}, {openStart});
    // The level's mark and, beside it, the mark an open level shows.
    const uint32_t level = addGroup(w, int32_t(DirectorNode::DummyLevel), placeAt(-2.5f, 2.5f, 0), {},
                                    {addSquareMesh(w, square, look(w, 0xFF4080E0), 0, placeAt(0, 0, 0, 0.5f))});
    const uint32_t unlocked = addGroup(w, int32_t(DirectorNode::DummyUnlocked), placeAt(2.5f, 2.5f, 0), {},
                                       {addSquareMesh(w, square, look(w, 0xFF40C060), 0, placeAt(0, 0, 0, 0.5f))});
    const SceneStage stage = addStage(w, LevelSceneLook::CameraAspect);
    addWorld(w, stage, 0xFF203020, {padlock, level, unlocked});
    return w.finish();
}

std::vector<uint8_t> sampleBoyModel()
{
    return characterModel(DirectorName::BoyMesh, 0xFF3050C0);
}

std::vector<uint8_t> sampleOutfitBoyModel()
{
    return characterModel(DirectorName::BoyMesh, 0xFF208040);
}

std::vector<uint8_t> sampleGirlModel()
{
    return characterModel(DirectorName::GirlMesh, 0xFFC03060);
}

std::vector<uint8_t> sampleWalkClips()
{
    const auto bob = [] { return travel(600, {{0, at(0, 0, 0)}, {300, at(0, 0.15f, 0)}, {600, at(0, 0, 0)}}, true); };
    return clipGroup({
        {DirectorName::WalkBoy, bob(), SceneProperty::Translation},
        {DirectorName::WalkGirl, bob(), SceneProperty::Translation},
        {DirectorName::IdleBreath, travel(2000, {{0, at(1, 1, 1)}, {1000, at(1, 1.05f, 1)}, {2000, at(1, 1, 1)}}, true),
         SceneProperty::Scale},
    });
}

std::vector<uint8_t> sampleDiamondClips()
{
    const M3gKeyframeSequenceFields toCar = turns(1000, false, {{0, turn(0, 1, 0, 0)}, {1000, turn(0, 1, 0, 180)}});
    const M3gKeyframeSequenceFields hiFive =
        turns(800, false, {{0, turn(0, 0, 1, 0)}, {400, turn(0, 0, 1, 20)}, {800, turn(0, 0, 1, 0)}});
    return clipGroup({
        {DirectorName::DiamondCar, toCar, SceneProperty::Orientation},
        {DirectorName::DiamondWait, travel(1600, {{0, at(1, 1, 1)}, {800, at(1.04f, 0.97f, 1)}, {1600, at(1, 1, 1)}}, true),
         SceneProperty::Scale},
        {DirectorName::HiFive, hiFive, SceneProperty::Orientation},
    });
}

std::vector<uint8_t> samplePolicemanClips()
{
    return clipGroup({{DirectorName::IdleWaitMan, rock(1200, 0, 1, 0, 10.0f), SceneProperty::Orientation}});
}
