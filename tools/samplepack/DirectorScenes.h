// The sample pack's scenes of the game's scripted moments: the arrest, the
// lock scene and the level map's lock, the thieves' models and the clip
// groups copied onto them, and the places level ten puts its cast.
#pragma once

#include <cstdint>
#include <vector>

// Pack ids of the scenes.
namespace DirectorResource {
constexpr uint32_t ArrestScene = 0x0300026B;
constexpr uint32_t LockScene = 0x03000102;
constexpr uint32_t MapLockScene = 0x03000259;
constexpr uint32_t BoyModel = 0x03000174;
constexpr uint32_t OutfitBoyModel = 0x0300022B;
constexpr uint32_t GirlModel = 0x03000112;
// Clips copied onto the models: walking and breathing, the diamond and the
// hi-five, the policeman's wait.
constexpr uint32_t WalkClips = 0x030001C8;
constexpr uint32_t DiamondClips = 0x03000107;
constexpr uint32_t PolicemanClips = 0x03000117;
} // namespace DirectorResource

// Nodes by the game's transform id: the name hash of name + "Transform".
namespace DirectorNode {
constexpr uint32_t PolicemanRoot = 0x2bdd387c;
constexpr uint32_t Diamond = 0x18d8cf28;
constexpr uint32_t DummyLevel = 0x0880a5bf;
constexpr uint32_t DummyUnlocked = 0x015864e7;
constexpr uint32_t DummyBoy = 0x3b44c7dd;   // "DummyBOY"
constexpr uint32_t DummyGirl = 0x332a3144;  // "DummyGIRL"
constexpr uint32_t LimoDummy = 0x24109ec9;  // "limo_dummy"
constexpr uint32_t List = 0x379e7f69;
constexpr uint32_t Lock = 0x141d44e8;
constexpr uint32_t Dust = 0x366db6d5;
constexpr uint32_t DummyMafia = 0x3fb4afff;  // "DummyMAFIA"
// The level end: the group over its camera, the thieves' two spots; the
// hideout's wall of locks.
constexpr uint32_t FinalCam = 0x070b9338;    // "final_cam"
constexpr uint32_t BoyRoot = 0x0741179c;     // "boy_root"
constexpr uint32_t GirlRoot = 0x3806a577;    // "girl_root"
constexpr uint32_t Locks = 0x3d6a9092;
} // namespace DirectorNode

// The characters' meshes and the clips, by the name hash itself.
namespace DirectorName {
constexpr uint32_t BoyMesh = 0x298bfd31;   // "boy"
constexpr uint32_t GirlMesh = 0x2dd7376f;  // "girl_thief"
constexpr uint32_t Remove = 0x3b369e30;
constexpr uint32_t Lock = 0x0bb02b1b;
constexpr uint32_t OpenLockStart = 0x1fc1a296;
constexpr uint32_t OpenLockRotate = 0x300e22b2;
constexpr uint32_t ClosedLockStart = 0x0dcd4034;
constexpr uint32_t ClosedLockRotate = 0x12fe23ac;
constexpr uint32_t WalkBoy = 0x31bca28a;   // "walk_boy_simple"
constexpr uint32_t WalkGirl = 0x259c0deb;  // "walk_girl_simple"
constexpr uint32_t IdleBreath = 0x3e551b74;
constexpr uint32_t DiamondCar = 0x0092724a;
constexpr uint32_t DiamondWait = 0x219b167c;
constexpr uint32_t HiFive = 0x1c255dad;
constexpr uint32_t IdleWaitMan = 0x2bda710c;
} // namespace DirectorName

// The hideout: its wall of locks, one a level, the highest level 0's.
std::vector<uint8_t> sampleHideoutScene();
std::vector<uint8_t> sampleArrestScene();
std::vector<uint8_t> sampleLockScene();
std::vector<uint8_t> sampleMapLockScene();
std::vector<uint8_t> sampleBoyModel();
std::vector<uint8_t> sampleOutfitBoyModel();
std::vector<uint8_t> sampleGirlModel();
std::vector<uint8_t> sampleWalkClips();
std::vector<uint8_t> sampleDiamondClips();
std::vector<uint8_t> samplePolicemanClips();
