// The tables of the scene-node interfaces. Their entries call the scene
// classes, which live in the scene library above the core, so that library
// defines them (engine/scene/interface/); the core's own tests link stand-ins.
#pragma once

#include "engine/core/interface/MethodTables.h"

extern const IkwGroupTable kGroupTable;
extern const IkwWorldTable kWorldTable;
