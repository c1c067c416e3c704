// Builds the sample level scene with the 3D file writer.
#include "tools/samplepack/LevelScene.h"

#include <array>

#include "tools/m3g/M3gGeometryEncoders.h"
#include "tools/m3g/M3gImageEncoders.h"
#include "tools/m3g/M3gStateEncoders.h"
#include "tools/samplepack/DirectorScenes.h"
#include "tools/samplepack/ScenePieces.h"

namespace {
constexpr uint8_t kImageRgb = 99;
} // namespace

std::vector<uint8_t> sampleLevelScene()
{
    M3gFileWriter w;
    w.beginSection(kM3gSchemeZlib);

    const SceneSquare square = addSquare(w);
    M3gVertexBufferFields flat;
    flat.positions = square.positions;
    flat.defaultColor = LevelSceneLook::CentreColour;
    const uint32_t flatBuffer = w.addObject(m3gVertexBufferRecord(flat));

    // A 4 x 4 checker of warm and cool squares.
    M3gImage2DFields checker;
    checker.format = kImageRgb;
    checker.width = checker.height = 4;
    for (uint32_t i = 0; i < 16; ++i) {
        const bool warm = ((i % 4) / 2 + (i / 4) / 2) % 2 == 0;
        const std::array<uint8_t, 3> rgb = warm ? std::array<uint8_t, 3>{240, 96, 48} : std::array<uint8_t, 3>{48, 160, 240};
        checker.pixels.insert(checker.pixels.end(), rgb.begin(), rgb.end());
    }
    M3gTexture2DFields texture;
    texture.image = w.addObject(m3gImage2DRecord(checker));
    const uint32_t litAppearance = addLitLook(w, 0xFFFFFFFF, 0x404040, {w.addObject(m3gTexture2DRecord(texture))});
    const uint32_t flatAppearance = w.addObject(m3gAppearanceRecord({}));

    M3gAnimationControllerFields clock;
    const uint32_t controller = w.addObject(m3gAnimationControllerRecord(clock));
    const auto mesh = [&](const SceneSquare& shape, uint32_t look, float y, float size, const M3gKeyframeSequenceFields& turning) {
        const uint32_t track = addTrack(w, controller, turning, SceneProperty::Orientation);
        return addSquareMesh(w, shape, look, 0, placeAt(0.0f, y, 0.0f, size), {track});
    };
    SceneSquare flatSquare = square;
    flatSquare.buffer = flatBuffer;
    const uint32_t centre = mesh(flatSquare, flatAppearance, 0.0f, 1.5f, spin(0, 0, 1, 8000));
    // Above and below the centre: the screen is taller than it is wide.
    const uint32_t top = mesh(square, litAppearance, 3.4f, 1.2f, spin(0, 1, 0, 4000));
    const uint32_t bottom = mesh(square, litAppearance, -3.4f, 1.2f, spin(1, 0, 0, 6000));

    // The character: its own controllers, named by clip, drive its tracks.
    namespace C = LevelSceneCharacter;
    const uint32_t walk = addClip(w, C::WalkId, keyframes(C::WalkLength, false, 3, {{0, {0, 0, C::Z}}, {500, {C::WalkX, 0, C::Z}}}),
                                  SceneProperty::Translation, false);
    const uint32_t wave = addClip(w, C::WaveId, keyframes(C::WaveLength, false, 3, {{0, {1, 1, 1}}, {400, {2, 2, 2}}}),
                                  SceneProperty::Scale, false);
    const uint32_t boy = addSquareMesh(w, square, litAppearance, int32_t(C::MeshId), {});
    const uint32_t hero = addGroup(w, int32_t(C::GroupId), placeAt(0.0f, 0.0f, C::Z), {walk, wave}, {boy});

    // Where level ten puts its cast, in view beside the centre, and its
    // props, behind the camera like the character.
    std::vector<uint32_t> children = {centre, top, bottom, hero};
    namespace N = DirectorNode;
    const std::pair<uint32_t, std::array<float, 3>> places[] = {
        {N::DummyBoy, {-2.4f, -1.8f, 0.0f}}, {N::DummyGirl, {2.4f, -1.8f, 0.0f}}, {N::LimoDummy, {0.0f, 0.0f, 26.0f}},
        {N::List, {-3.0f, 0.0f, 22.0f}},     {N::Lock, {3.0f, 0.0f, 22.0f}},      {N::Dust, {0.0f, -1.0f, 22.0f}},
        {N::DummyMafia, {2.0f, 0.0f, 24.0f}},
    };
    for (const auto& [id, at] : places)
        children.push_back(addGroup(w, int32_t(id), placeAt(at[0], at[1], at[2]), {}, {}));
    // The level end's camera, looking back at the thieves' spots: the boy's
    // under a turned group, the girl's empty for her model.
    const uint32_t endCamera = addCamera(w, LevelSceneLook::CameraAspect, placeAt(0.0f, 1.0f, 30.0f));
    children.push_back(addGroup(w, int32_t(N::FinalCam), {}, {}, {endCamera}));
    M3gComponentTransform turned = placeAt(0.0f, 0.0f, 24.0f);
    turned.orientationAngle = 90.0f;
    turned.orientationAxis = {0.0f, 1.0f, 0.0f};
    children.push_back(addGroup(w, 0, turned, {}, {addGroup(w, int32_t(N::BoyRoot), placeAt(1.0f, 0.0f, 0.0f), {}, {})}));
    children.push_back(addGroup(w, int32_t(N::GirlRoot), placeAt(-1.0f, 0.0f, 24.0f), {}, {}));

    const SceneStage stage = addStage(w, LevelSceneLook::CameraAspect);
    addWorld(w, stage, LevelSceneLook::Background, children);
    return w.finish();
}
