// The tables of the scene-node interfaces, installed with the scene library's
// module (SceneModule.cpp).
#pragma once

#include "engine/core/interface/MethodTables.h"

extern const IkwGroupTable kGroupTable;
extern const IkwWorldTable kWorldTable;
extern const IkwCameraTable kCameraTable;
extern const IkwLightTable kLightTable;
