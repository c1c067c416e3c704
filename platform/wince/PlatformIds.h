// Type ids of the platform layer's classes.
#pragma once

#include <cstdint>

namespace PlatformTypeId {
constexpr uint32_t PlatformSystem = 0x02d75845;
} // namespace PlatformTypeId
