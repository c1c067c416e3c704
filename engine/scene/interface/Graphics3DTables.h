// The render context's table and its maker, installed with the scene
// library's module (SceneModule.cpp).
#pragma once

#include "engine/core/interface/MethodTables.h"

extern const IkwGraphics3DTable kGraphics3DTable;
EngineResult createGraphics3DObject(EngineHandle** out);
