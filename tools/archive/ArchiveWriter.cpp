// The archive layout, written in one pass once the directory size is known.
#include "tools/archive/ArchiveWriter.h"

#include <algorithm>
#include <bit>
#include <zlib.h>

namespace {

constexpr uint8_t kMagic[12] = {0xAB, 'M', 'V', 'L', 'A', 'R', 'C', 0xBB, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr size_t kChecksumOffset = 29;

void putU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void setU32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t getU32(const std::vector<uint8_t>& in, size_t at)
{
    return uint32_t{in[at]} | uint32_t{in[at + 1]} << 8 | uint32_t{in[at + 2]} << 16 | uint32_t{in[at + 3]} << 24;
}

} // namespace

uint32_t archiveWriterNameHash(std::string_view name)
{
    uint32_t h = 0;
    for (size_t i = name.size(); i > 0; --i) {
        char c = name[i - 1];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
        h = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(c))) + h * 1664525u + 1013904223u;
    }
    return h;
}

// Prefixing "d\" maps a hash h to A²h + K(d), so f's hash must solve
// (1 - A²)h = K(d) (2^v solutions when 2^v divides both sides); f is then
// met in the middle, four letters a side.
std::pair<char, std::string> archiveFolderKeepingHash()
{
    constexpr uint32_t A = 1664525u, C = 1013904223u;
    const auto inverse = [](uint32_t x) {
        uint32_t r = x;
        for (int i = 0; i < 5; ++i)
            r *= 2 - x * r;
        return r;
    };
    const auto letters = [](uint32_t code) {
        std::string s(4, 'a');
        for (char& c : s) {
            c = static_cast<char>('a' + code % 26);
            code /= 26;
        }
        return s;
    };
    constexpr uint32_t kCodes = 26 * 26 * 26 * 26;
    std::vector<std::pair<uint32_t, uint32_t>> suffixes;
    suffixes.reserve(kCodes);
    for (uint32_t code = 0; code < kCodes; ++code)
        suffixes.emplace_back(archiveWriterNameHash(letters(code)), code);
    std::sort(suffixes.begin(), suffixes.end());
    const uint32_t m = 1u - A * A;
    const int shift = std::countr_zero(m);
    const uint32_t a4Inverse = inverse(A * A * A * A);
    for (char d = 'a'; d <= 'z'; ++d) {
        const uint32_t k = static_cast<uint32_t>(d) + A * ('\\' + C) + C;
        if (std::countr_zero(k) < shift)
            continue;
        const uint32_t h0 = ((k >> shift) * inverse(m >> shift)) & (~0u >> shift);
        for (uint32_t prefix = 0; prefix < kCodes; ++prefix)
            for (uint32_t top = 0; top < (1u << shift); ++top) {
                const uint32_t h = h0 + (top << (32 - shift));
                const uint32_t need = a4Inverse * (h - archiveWriterNameHash(letters(prefix)));
                const auto at = std::lower_bound(suffixes.begin(), suffixes.end(), std::make_pair(need, 0u));
                if (at != suffixes.end() && at->first == need)
                    return {d, letters(prefix) + letters(at->second)};
            }
    }
    return {0, ""};
}

void archiveSealChecksum(std::vector<uint8_t>& archive)
{
    const uint32_t headerLength = getU32(archive, 13);
    // Over the bytes below the header length, the checksum's own four as 0.
    const size_t end = std::min<size_t>(headerLength, archive.size());
    setU32(archive, kChecksumOffset, 0);
    setU32(archive, kChecksumOffset, static_cast<uint32_t>(adler32(1, archive.data(), static_cast<uInt>(end))));
}

bool ArchiveWriter::add(std::string_view name, std::span<const uint8_t> data)
{
    if (name.empty() || name.find('\0') != std::string_view::npos)
        return false;
    const uint32_t hash = archiveWriterNameHash(name);
    for (const Entry& entry : m_entries)
        if (entry.hash == hash)
            return false;
    m_entries.push_back({std::string(name), hash, std::vector<uint8_t>(data.begin(), data.end())});
    return true;
}

bool ArchiveWriter::add(std::string_view name, std::string_view text)
{
    return add(name, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::vector<uint8_t> ArchiveWriter::finish() const
{
    std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
    out.push_back(0);
    putU32(out, 0); // header length
    putU32(out, 0); // file size
    out.resize(out.size() + 8, 0);
    putU32(out, 0); // checksum
    putU32(out, static_cast<uint32_t>(m_entries.size()));
    for (const Entry& entry : m_entries) {
        putU32(out, static_cast<uint32_t>(16 + entry.name.size() + 1));
        putU32(out, 0);
        putU32(out, static_cast<uint32_t>(entry.data.size()));
        putU32(out, entry.hash);
        out.insert(out.end(), entry.name.begin(), entry.name.end());
        out.push_back(0);
    }
    setU32(out, 13, static_cast<uint32_t>(out.size()));
    for (const Entry& entry : m_entries)
        out.insert(out.end(), entry.data.begin(), entry.data.end());
    setU32(out, 17, static_cast<uint32_t>(out.size()));
    archiveSealChecksum(out);
    return out;
}
