// The tables of the geometry interfaces (vertex arrays, vertex buffers,
// triangle strip arrays), of the Mesh node and of the pick result, installed
// with the scene library's module (SceneModule.cpp).
#pragma once

#include "engine/core/interface/MethodTables.h"

extern const IkwVertexArrayTable kVertexArrayTable;
extern const IkwVertexBufferTable kVertexBufferTable;
extern const IkwTriangleStripArrayTable kTriangleStripArrayTable;
extern const IkwMeshTable kMeshTable;
extern const IkwMorphingMeshTable kMorphingMeshTable;
extern const IkwSkinnedMeshTable kSkinnedMeshTable;
extern const IkwRayIntersectionTable kRayIntersectionTable;
