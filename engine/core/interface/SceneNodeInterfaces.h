// The tables of the scene-node interfaces. Their adapters call the scene
// classes, which live in the scene library above the core; until the core can
// reach them the rows carry no table, so nodes are not wrapped.
#pragma once

#include "engine/core/interface/MethodTables.h"

constexpr const void* kGroupTablePointer = nullptr;
constexpr const void* kWorldTablePointer = nullptr;
