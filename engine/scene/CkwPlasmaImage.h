// A texture generated from a seed: a fractal height field that tiles, a cell
// pattern, four warp curves and four colours, so a few hundred bytes of file
// describe a whole 2^n x 2^m image. Generation is 16.16 fixed point and runs
// again only after a change (dirty flag) while nothing holds it off (lock).
#pragma once

#include <cstdint>

#include "engine/core/math/CkwFixedColor.h"
#include "engine/core/math/FixedMath.h"
#include "engine/core/scene/CkwRandomNumber.h"
#include "engine/scene/CkwImage2D.h"
#include "engine/scene/CkwWarpMap.h"

// Size exponents a file may give; sizes the memory cannot hold fail when
// the image is generated.
constexpr int32_t kPlasmaMaxExponent = 16;
constexpr int32_t kPlasmaFeatures = 16;

class CkwPlasmaImage : public CkwImage2D, public CkwRandomNumber {
public:
    // The factory's creator of class id 23, with the default parameters.
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassPlasmaImage; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    CkwObject3D* duplicate() const override;

    // These generate first when the pixels are out of date.
    int32_t getWidth() override;
    int32_t getHeight() override;
    uint8_t* getPixels() override;

    // Holds generation off while any lock is held; the last unlock marks dirty.
    void lock(bool hold);
    void setDirty() { m_dirty = true; }
    bool isDirty() const { return m_dirty; }
    // Regenerates when dirty and unlocked; leaves -4 without memory.
    void generate();
    // What generating costs: each pixel's features and warp-map searches.
    uint64_t generationSteps() const;

    // Read only: every change of a map goes through insertKnot, which marks
    // the picture for generating again.
    const CkwWarpMap& warpMap(int32_t i) const { return m_warp[i]; }
    // A knot inserted into warp map `map` changes the picture.
    void insertKnot(int32_t map, int32_t index, int32_t x, int32_t y);
    // A warp-map value held to [0, 1.0].
    static int32_t clampWarp(int32_t value);
    // A colour channel 0..256 from a float 0..1.
    static int32_t channelFromFloat(float value);
    // A 16-bit hash of an integer, in 32-bit arithmetic.
    static int32_t hash16(int32_t n);
    uint32_t getSeed() const { return m_seed; }
    int32_t getWidthExponent() const { return m_widthExponent; }
    int32_t getHeightExponent() const { return m_heightExponent; }
    const int32_t* getWeightsA() const { return m_weightsA; }
    const int32_t* getWeightsB() const { return m_weightsB; }
    const CkwFixedColor& getColour(int32_t i) const { return m_colours[i]; }

private:
    // The cell features of lookup pixel (px, py): f6..f11 and f14 need it.
    struct Cell;
    Cell locateCell(int32_t px, int32_t py);
    // Fills the height field; returns its largest magnitude.
    int32_t buildHeightField(int32_t* grid, int32_t width, int32_t height);
    // generate for the getters, which cannot leave: on failure the pixels
    // stay as they were and the image stays dirty.
    void generateQuietly();

    uint32_t m_seed = 0x31417926;
    int32_t m_widthExponent = 7;
    int32_t m_heightExponent = 7;
    int32_t m_detailDepth = 0;
    int32_t m_turbulence = 0;
    int32_t m_cellMode = 1;
    int32_t m_cellWidthExponent = 4;
    int32_t m_cellHeightExponent = 4;
    CkwWarpMap m_warp[4];
    int32_t m_weightsA[kPlasmaFeatures] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, kFixedOne, 0, 0, 0};
    int32_t m_weightsB[kPlasmaFeatures] = {0, 0, 0, 0, 0, kFixedOne, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    CkwFixedColor m_colours[4] = {{0, 0, 0}, {256, 256, 256}, {205, 205, 205}, {77, 179, 256}};
    int32_t m_lockCount = 0;
    bool m_dirty = true;
};
