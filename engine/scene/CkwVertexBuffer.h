// The attribute arrays of one mesh: positions, normals, colours and two
// texture-coordinate units, each with the scale and bias that map its
// integers to model units, and the default colour of vertices without a
// colour array. Every array set has the buffer's vertex count.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/scene/CkwObject3D.h"
#include "engine/scene/CkwVertexArray.h"

class CkwVertexBuffer : public CkwObject3D {
public:
    static constexpr int32_t kTextureUnits = 2;

    // The factory's creator of class id 21: an empty buffer.
    static IkwSerializable* create();

    ~CkwVertexBuffer() override;

    int32_t getClassId() const override { return kClassVertexBuffer; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    // Shares the arrays; copies colour, scales and biases.
    CkwObject3D* duplicate() const override;
    // 0 positions, 1 normals, 2 colours, 3 and 4 the texture units, then the
    // base's.
    CkwReference getReference(int32_t index) const override;
    void applyAnimatedProperty(int32_t property, int32_t components, const float* values) override;
    bool isAnimatable(int32_t property) const override;

    // With out: outLength < 4 leaves -1301; a set array writes scale, bias.
    CkwVertexArray* getPositions(int32_t outLength, float* out) const;
    CkwVertexArray* getPositions() const { return m_arrays[kPositions]; }
    CkwVertexArray* getNormals() const { return m_arrays[kNormals]; }
    CkwVertexArray* getColors() const { return m_arrays[kColors]; }
    // Unit outside 0..1 leaves -1101; with out, a set array writes scale and
    // a bias per component (0 for a fourth) and needs components + 1 places,
    // an unset one 3.
    CkwVertexArray* getTexCoords(int32_t unit, int32_t outLength, float* out) const;
    CkwVertexArray* getTexCoords(int32_t unit) const { return m_arrays[kTexCoords + unit]; }

    // Each leaves -1301 for an array of the wrong shape or a vertex count
    // the other arrays do not share, and then changes nothing.
    void setPositions(CkwVertexArray* array, float scale, int32_t biasLength, const float* bias);
    void setNormals(CkwVertexArray* array);
    void setColors(CkwVertexArray* array);
    void setTexCoords(int32_t unit, CkwVertexArray* array, float scale, int32_t biasLength, const float* bias);
    // As the two setters without their shape rules, for arrays of any shape
    // a file holds and the blends made of them: a vertex count the other
    // arrays do not share leaves mismatchCode. The bias holds three values.
    void takePositions(CkwVertexArray* array, float scale, const float* bias, int32_t mismatchCode);
    void takeTexCoords(int32_t unit, CkwVertexArray* array, float scale, const float* bias, int32_t mismatchCode);

    // Takes source's colours, texture coordinates with their scales and
    // biases, and default colour as they stand (a skinned mesh's buffer
    // keeps the source's); the vertex-count rule is the source's to keep.
    void shareAttributesOf(const CkwVertexBuffer& source);

    uint32_t getDefaultColor() const { return m_defaultColor; }
    void setDefaultColor(uint32_t argb) { m_defaultColor = argb; }
    int32_t getVertexCount() const;

    float getPositionScale() const { return m_positionScale; }
    const float* getPositionBias() const { return m_positionBias; }
    // Follow the normals' component size, even when the array is made
    // again after it was set.
    float getNormalScale() const;
    const float* getNormalBias() const;
    // Whether the colours and normals still have the shapes their setters
    // take, and the arrays one vertex count: an array made again through
    // init can change either behind the buffer's back, and the renderer and
    // the blends read the arrays by them.
    bool keepsSetterShapes() const;
    float getTexCoordScale(int32_t unit) const { return m_texCoordScale[unit]; }
    const float* getTexCoordBias(int32_t unit) const { return m_texCoordBias[unit]; }

private:
    enum Slot : int32_t { kPositions, kNormals, kColors, kTexCoords, kSlotCount = kTexCoords + kTextureUnits };

    // Leaves code unless array shares the vertex count of the arrays set
    // outside slot.
    void checkFits(int32_t slot, const CkwVertexArray* array, int32_t mismatchCode) const;
    // The vertex-count rule of every setter, then the counted swap.
    void replaceArray(int32_t slot, CkwVertexArray* array, int32_t mismatchCode);
    const CkwVertexArray* firstArray() const;
    // Whether every array set has one vertex count, as every setter leaves them.
    bool arraysAgree() const;
    void applyNormalScale() const;
    static void storeBias(float* out, int32_t components, const float* bias);

    uint32_t m_defaultColor = 0xFFFFFFFFu;
    CkwVertexArray* m_arrays[kSlotCount] = {};
    float m_positionBias[3] = {};
    float m_positionScale = 1.0f;
    mutable float m_normalBias[3] = {};
    mutable float m_normalScale = 1.0f;
    float m_texCoordBias[kTextureUnits][3] = {};
    float m_texCoordScale[kTextureUnits] = {1.0f, 1.0f};
};
