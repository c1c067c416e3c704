// The tables of the geometry interfaces (vertex arrays, vertex buffers,
// triangle strip arrays) and of the Mesh node, installed with the scene
// library's module (SceneModule.cpp).
#pragma once

#include "engine/core/interface/MethodTables.h"

extern const IkwVertexArrayTable kVertexArrayTable;
extern const IkwVertexBufferTable kVertexBufferTable;
extern const IkwTriangleStripArrayTable kTriangleStripArrayTable;
extern const IkwMeshTable kMeshTable;
