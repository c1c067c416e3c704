// Ids and codes of tile maps: type ids, animation modes, shape flags and the
// drawing passes.
#pragma once

#include <cstdint>

namespace TileTypeId {
constexpr uint32_t TileLayer = 0xB6DC4083;
constexpr uint32_t TileMap = 0x62FA8A6C;
} // namespace TileTypeId

namespace TileAnimMode {
constexpr uint8_t Loop = 1;
constexpr uint8_t LoopBackward = 2;
constexpr uint8_t Once = 3;          // ends on the first frame, stopped
constexpr uint8_t OnceAndHold = 4;
constexpr uint8_t PingPongForward = 5;
constexpr uint8_t PingPongBackward = 6;
} // namespace TileAnimMode

// An animation whose countdown holds this is stopped.
constexpr uint8_t kTileAnimStopped = 127;
constexpr int32_t kDefaultTileTick = 100;

namespace TileShape {
constexpr uint8_t TopLeft = 1;
constexpr uint8_t TopRight = 2;
constexpr uint8_t BottomLeft = 4;
constexpr uint8_t BottomRight = 8;
constexpr uint8_t HasShape = TopLeft | TopRight | BottomRight;  // any of these gives a tile a shape
} // namespace TileShape

namespace TilePass {
constexpr uint32_t Base = 1;
constexpr uint32_t Overlay = 2;  // also runs the pre-draw callback
} // namespace TilePass
