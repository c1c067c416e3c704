// The tables of the rendering-state interfaces, installed with the scene
// library's module (SceneModule.cpp).
#pragma once

#include "engine/core/interface/MethodTables.h"

extern const IkwAppearanceTable kAppearanceTable;
extern const IkwMaterialTable kMaterialTable;
extern const IkwCompositingModeTable kCompositingModeTable;
extern const IkwPolygonModeTable kPolygonModeTable;
extern const IkwFogTable kFogTable;
extern const IkwBackgroundTable kBackgroundTable;
