// Encoders of scene objects: the common Object3D, Transformable and Node data
// every scene record starts with, and the Group (9) and World (22) records.
// Other scene encoders write their common part with the functions below.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "tools/m3g/M3gRecordWriter.h"

inline constexpr uint8_t kM3gTypeGroup = 9;
inline constexpr uint8_t kM3gTypeWorld = 22;

struct M3gUserParameter {
    int32_t id = 0;
    std::vector<uint8_t> value;
};

struct M3gObject3DFields {
    int32_t userId = 0;
    std::vector<uint32_t> animationTracks;
    std::vector<M3gUserParameter> userParameters;
};

struct M3gComponentTransform {
    std::array<float, 3> translation = {0.0f, 0.0f, 0.0f};
    std::array<float, 3> scale = {1.0f, 1.0f, 1.0f};
    float orientationAngle = 0.0f; // degrees
    std::array<float, 3> orientationAxis = {0.0f, 0.0f, 1.0f};
};

struct M3gTransformableFields {
    M3gObject3DFields object;
    std::optional<M3gComponentTransform> components;
    std::optional<std::array<float, 16>> generalRowMajor;
};

struct M3gAlignmentFields {
    uint8_t zTarget = 144; // NONE
    uint8_t yTarget = 144;
    uint32_t zReference = 0;
    uint32_t yReference = 0;
};

struct M3gNodeFields {
    M3gTransformableFields transformable;
    bool renderingEnabled = true;
    bool pickingEnabled = true;
    uint8_t alphaFactor = 255;
    uint32_t scope = 0xFFFFFFFFu;
    std::optional<M3gAlignmentFields> alignment;
};

struct M3gGroupFields {
    M3gNodeFields node;
    std::vector<uint32_t> children;
};

struct M3gWorldFields {
    M3gGroupFields group;
    uint32_t activeCamera = 0;
    uint32_t background = 0;
};

void m3gWriteObject3D(M3gRecordWriter& out, const M3gObject3DFields& fields);
void m3gWriteTransformable(M3gRecordWriter& out, const M3gTransformableFields& fields);
void m3gWriteNode(M3gRecordWriter& out, const M3gNodeFields& fields);
void m3gWriteGroup(M3gRecordWriter& out, const M3gGroupFields& fields);

// The common data a record of each class starts with, chosen by the type of
// its fields.
inline void m3gWriteCommon(M3gRecordWriter& out, const M3gObject3DFields& fields) { m3gWriteObject3D(out, fields); }
inline void m3gWriteCommon(M3gRecordWriter& out, const M3gTransformableFields& fields)
{
    m3gWriteTransformable(out, fields);
}
inline void m3gWriteCommon(M3gRecordWriter& out, const M3gNodeFields& fields) { m3gWriteNode(out, fields); }
inline void m3gWriteCommon(M3gRecordWriter& out, const M3gGroupFields& fields) { m3gWriteGroup(out, fields); }

// A record of the type: the common data of its class, then what writeOwn
// adds of its own.
template <class Common, class Own>
M3gRecord m3gRecord(uint8_t type, const Common& common, Own&& writeOwn)
{
    M3gRecordWriter out;
    m3gWriteCommon(out, common);
    writeOwn(out);
    return out.record(type);
}

template <class Common>
M3gRecord m3gRecord(uint8_t type, const Common& common)
{
    return m3gRecord(type, common, [](M3gRecordWriter&) {});
}

M3gRecord m3gGroupRecord(const M3gGroupFields& fields);
M3gRecord m3gWorldRecord(const M3gWorldFields& fields);
