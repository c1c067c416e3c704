// Surface flag bits: what a surface is, holds and was asked for. The raster
// state reads a render target's through these too.
#pragma once

#include <cstdint>

namespace SurfaceFlag {
inline constexpr uint32_t Memory = 0x1;
inline constexpr uint32_t OtherMemory = 0x2;
inline constexpr uint32_t Described = 0x4;
// Descriptions report layout 1-4 from a family bit (A, B) and a variant bit
// (One, Two); nothing else reads them.
inline constexpr uint32_t LayoutA = 0x8;
inline constexpr uint32_t LayoutB = 0x10;
inline constexpr uint32_t LayoutOne = 0x20;
inline constexpr uint32_t LayoutTwo = 0x40;
inline constexpr uint32_t KindImage = 0x100;
inline constexpr uint32_t KindDevice = 0x200;
inline constexpr uint32_t Attribute4 = 0x400;
// Plane use 1 in descriptions: the raster state binds and clears the planes
// of targets with this only.
inline constexpr uint32_t RasterTarget = 0x800;
inline constexpr uint32_t PlaneUse2 = 0x1000;
inline constexpr uint32_t PowerOfTwo = 0x4000;
inline constexpr uint32_t Planar = 0x8000;
inline constexpr uint32_t ExplicitFormat = 0x10000;  // also: the colour plane binds as a raster target
inline constexpr uint32_t Plane1 = 0x20000;
inline constexpr uint32_t ClearPlane2 = 0x40000;
inline constexpr uint32_t Plane2 = 0x80000;
inline constexpr uint32_t Wraps = 1u << 22;
inline constexpr uint32_t OwnsPalette = 1u << 23;
inline constexpr uint32_t Locked = 0x7000000;
inline constexpr uint32_t Initialised = 0x80000000;
inline constexpr uint32_t KeptOnRelease = 0x1B7B;
inline constexpr uint32_t ImageKind = 0x900;
} // namespace SurfaceFlag
