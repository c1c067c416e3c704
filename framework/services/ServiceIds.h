// Type ids of the framework's object classes and the ids services register under.
#pragma once

#include <cstdint>

namespace TypeId {
constexpr uint32_t AppBase = 0x0275a643;
constexpr uint32_t IdHashMap = 0x0017e658;
constexpr uint32_t BlockPool = 0x0016699c;
} // namespace TypeId

namespace ServiceId {
constexpr uint32_t Properties = 0x8c535a57;
constexpr uint32_t Crc = 0x02744002;
constexpr uint32_t Random = 0x64780132;
constexpr uint32_t FontManager = 0x70990b0e;
constexpr uint32_t HighScoreTable = 0x5513f41d;
constexpr uint32_t SaveGame = 0x11737e62;
constexpr uint32_t Prefs = 0x2f998c85;
constexpr uint32_t AppStateFlags = 0x17b126f6;
constexpr uint32_t FileSystem = 0x70fa1bdf;
constexpr uint32_t NullService = 0x539dccad;
constexpr uint32_t SoundDevice = 0xf4f71410;
constexpr uint32_t Display = 0x0466e194;
constexpr uint32_t DrawContext = 0x66e79740;
constexpr uint32_t ResourceFactory = 0x7451aa08;
constexpr uint32_t EngineService = 0x36412505;
constexpr uint32_t Graphics3DService = 0x27ca4026;
constexpr uint32_t EventIdCounter = 0x1a0a5073;
} // namespace ServiceId

// The service registry's shape: bucket hint, nodes a block, grow flag.
namespace RegistryShape {
constexpr uint32_t BucketHint = 20;
constexpr uint32_t NodesPerBlock = 20;
constexpr bool Grow = true;
} // namespace RegistryShape
