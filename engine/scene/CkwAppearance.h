// How a submesh or sprite is drawn: a rendering layer and counted references
// to a compositing mode, a fog, a polygon mode, a material and the textures
// of units 0 and 1. Appearances are shared between meshes and duplicated
// shallowly: a copy references the same components.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/scene/CkwObject3D.h"

class CkwCompositingMode;
class CkwFog;
class CkwMaterial;
class CkwPolygonMode;
class CkwTexture2D;

class CkwAppearance : public CkwObject3D {
public:
    static constexpr int32_t kTextureUnits = 2;
    static constexpr int32_t kMaxLayer = 63;

    // The factory's creator of class id 3: layer 0, no components.
    static IkwSerializable* create();

    ~CkwAppearance() override;

    int32_t getClassId() const override { return kClassAppearance; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    CkwObject3D* duplicate() const override;
    // Fog, material and the textures; the two modes have nothing to animate.
    int32_t animateReferences(int32_t worldTime, int32_t validity, uint32_t stamp) override;
    // 0 compositing mode, 1 fog, 2 polygon mode, 3 material, 4 and 5 the
    // textures, then the base's.
    CkwReference getReference(int32_t index) const override;

    // The interface checks -63..63.
    void setLayer(int32_t layer) { m_layer = layer; }
    int32_t getLayer() const { return m_layer; }
    // Null clears a component.
    void setCompositingMode(CkwCompositingMode* mode);
    void setFog(CkwFog* fog);
    void setPolygonMode(CkwPolygonMode* mode);
    void setMaterial(CkwMaterial* material);
    // A unit other than 0 and 1 leaves -1101; an object that is not a
    // Texture2D leaves -1301. Either way the old texture stays.
    void setTexture(int32_t unit, CkwObject3D* texture);

    CkwCompositingMode* getCompositingMode() const { return m_compositingMode; }
    CkwFog* getFog() const { return m_fog; }
    CkwPolygonMode* getPolygonMode() const { return m_polygonMode; }
    CkwMaterial* getMaterial() const { return m_material; }
    // A unit other than 0 and 1 leaves -1101.
    CkwTexture2D* getTexture(int32_t unit) const;

private:
    int32_t m_layer = 0;
    CkwCompositingMode* m_compositingMode = nullptr;
    CkwFog* m_fog = nullptr;
    CkwPolygonMode* m_polygonMode = nullptr;
    CkwMaterial* m_material = nullptr;
    // Texture2D objects, class-checked as they are set.
    CkwObject3D* m_textures[kTextureUnits] = {};
};
