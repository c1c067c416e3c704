// Encodes the data of one object record field by field, in the wire forms the
// engine's record readers take: little-endian integers, IEEE single floats,
// NUL-terminated UTF-8 strings, counted arrays and 32-bit object indices.
// A scene class's encoder is a function in a file of its own beside this one
// that turns the class's fields into an M3gRecord with these calls.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

struct M3gRecord {
    uint8_t type = 0;
    std::vector<uint8_t> data;
};

class M3gRecordWriter {
public:
    M3gRecordWriter& byte(uint8_t v);
    M3gRecordWriter& boolean(bool v);
    M3gRecordWriter& int16(int16_t v);
    M3gRecordWriter& uint16(uint16_t v);
    M3gRecordWriter& int32(int32_t v);
    M3gRecordWriter& uint32(uint32_t v);
    M3gRecordWriter& float32(float v);
    // Any bit pattern, including the ones the reader refuses.
    M3gRecordWriter& floatBits(uint32_t bits);
    M3gRecordWriter& vector3(float x, float y, float z);
    // Sixteen floats in row order.
    M3gRecordWriter& matrix(std::span<const float, 16> rowMajor);
    M3gRecordWriter& colorRgb(uint32_t argb);
    M3gRecordWriter& colorRgba(uint32_t argb);
    // The bytes as given, then the terminating 0.
    M3gRecordWriter& string(std::string_view utf8);
    M3gRecordWriter& objectIndex(uint32_t index);
    M3gRecordWriter& bytes(std::span<const uint8_t> raw);
    // Counted arrays: a UInt32 count, then the elements.
    M3gRecordWriter& byteArray(std::span<const uint8_t> values);
    M3gRecordWriter& uint16Array(std::span<const uint16_t> values);
    M3gRecordWriter& floatArray(std::span<const float> values);
    M3gRecordWriter& uint32Array(std::span<const uint32_t> values);

    const std::vector<uint8_t>& data() const { return m_data; }
    M3gRecord record(uint8_t type) const { return {type, m_data}; }

private:
    std::vector<uint8_t> m_data;
};
