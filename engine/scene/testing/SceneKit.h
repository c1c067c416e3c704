// Scene test kit: ready-made geometry and a lit world for the engine's tests,
// built through the scene classes themselves. Every builder returns a new object with
// reference count 0, as the factory does; what it references is counted by
// its holder. A builder that leaves leaves nothing behind.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/scene/CkwAppearance.h"
#include "engine/scene/CkwMesh.h"
#include "engine/scene/CkwTriangleStripArray.h"
#include "engine/scene/CkwVertexArray.h"
#include "engine/scene/CkwVertexBuffer.h"
#include "engine/scene/CkwWorld.h"

// An array of componentCount components of componentSize bytes holding
// values, vertex-major.
CkwVertexArray* kitVertexArray(int32_t componentCount, int32_t componentSize, const std::vector<int32_t>& values);

// An axis-aligned cube about the origin: four vertices and one implicit
// strip a face, outward normals, texture coordinates 0..1 over each face,
// every triangle counter-clockwise seen from outside.
CkwMesh* kitBox(float halfSize, CkwAppearance* appearance = nullptr);

// A sphere of the given radius about the origin, segments around and
// segments / 2 (at least 2) bands from pole to pole, one explicit strip a
// band, counter-clockwise seen from outside.
CkwMesh* kitSphere(int32_t segments, float radius, CkwAppearance* appearance = nullptr);

// An appearance whose material reflects argb as its ambient and diffuse
// colour.
CkwAppearance* kitAppearance(uint32_t argb);

// A world holding content (null allowed) at the origin, lit by a white
// directional light shining along -z, and seen by its active camera: a
// perspective of 60 degrees and the aspect ratio given, near 0.1 and far 100,
// at (0, 0, distance) looking along -z.
CkwWorld* kitLitWorld(CkwNode* content, float distance = 5.0f, float aspectRatio = 4.0f / 3.0f);
