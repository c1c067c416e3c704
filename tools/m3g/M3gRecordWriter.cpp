// Field encoders of one object record.
#include "tools/m3g/M3gRecordWriter.h"

#include <bit>

M3gRecordWriter& M3gRecordWriter::byte(uint8_t v)
{
    m_data.push_back(v);
    return *this;
}

M3gRecordWriter& M3gRecordWriter::boolean(bool v)
{
    return byte(v ? 1 : 0);
}

M3gRecordWriter& M3gRecordWriter::int16(int16_t v)
{
    return uint16(static_cast<uint16_t>(v));
}

M3gRecordWriter& M3gRecordWriter::uint16(uint16_t v)
{
    m_data.push_back(static_cast<uint8_t>(v));
    m_data.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
}

M3gRecordWriter& M3gRecordWriter::int32(int32_t v)
{
    return uint32(static_cast<uint32_t>(v));
}

M3gRecordWriter& M3gRecordWriter::uint32(uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        m_data.push_back(static_cast<uint8_t>(v >> shift));
    return *this;
}

M3gRecordWriter& M3gRecordWriter::float32(float v)
{
    return uint32(std::bit_cast<uint32_t>(v));
}

M3gRecordWriter& M3gRecordWriter::floatBits(uint32_t bits)
{
    return uint32(bits);
}

M3gRecordWriter& M3gRecordWriter::vector3(float x, float y, float z)
{
    return float32(x).float32(y).float32(z);
}

M3gRecordWriter& M3gRecordWriter::matrix(std::span<const float, 16> rowMajor)
{
    for (float v : rowMajor)
        float32(v);
    return *this;
}

M3gRecordWriter& M3gRecordWriter::colorRgb(uint32_t argb)
{
    return byte(static_cast<uint8_t>(argb >> 16)).byte(static_cast<uint8_t>(argb >> 8)).byte(static_cast<uint8_t>(argb));
}

M3gRecordWriter& M3gRecordWriter::colorRgba(uint32_t argb)
{
    return colorRgb(argb).byte(static_cast<uint8_t>(argb >> 24));
}

M3gRecordWriter& M3gRecordWriter::string(std::string_view utf8)
{
    m_data.insert(m_data.end(), utf8.begin(), utf8.end());
    return byte(0);
}

M3gRecordWriter& M3gRecordWriter::objectIndex(uint32_t index)
{
    return uint32(index);
}

M3gRecordWriter& M3gRecordWriter::bytes(std::span<const uint8_t> raw)
{
    m_data.insert(m_data.end(), raw.begin(), raw.end());
    return *this;
}

M3gRecordWriter& M3gRecordWriter::byteArray(std::span<const uint8_t> values)
{
    uint32(static_cast<uint32_t>(values.size()));
    return bytes(values);
}

M3gRecordWriter& M3gRecordWriter::uint16Array(std::span<const uint16_t> values)
{
    uint32(static_cast<uint32_t>(values.size()));
    for (uint16_t v : values)
        uint16(v);
    return *this;
}

M3gRecordWriter& M3gRecordWriter::floatArray(std::span<const float> values)
{
    uint32(static_cast<uint32_t>(values.size()));
    for (float v : values)
        float32(v);
    return *this;
}

M3gRecordWriter& M3gRecordWriter::uint32Array(std::span<const uint32_t> values)
{
    uint32(static_cast<uint32_t>(values.size()));
    for (uint32_t v : values)
        uint32(v);
    return *this;
}
