// Writes engine archives for tests and sample data: the checksummed header
// with its hashed directory, then the entries' bytes in directory order.
// Names whose hashes collide are refused, since the engine finds entries by
// hash alone and would never reach the second one.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The engine's name hash over the lower-cased name.
uint32_t archiveWriterNameHash(std::string_view name);

// A folder letter d and an 8-letter member name f such that "d\" in front
// of a name hashed like f keeps its hash: "d\f", "d\d\f", ... all find
// the entry of f. Found in well under a second; {0, ""} should none exist.
std::pair<char, std::string> archiveFolderKeepingHash();

// Recomputes the header checksum after a test changed header bytes on purpose.
void archiveSealChecksum(std::vector<uint8_t>& archive);

class ArchiveWriter {
public:
    // False (nothing added) when the name is empty, holds a NUL, or its hash
    // equals an earlier entry's.
    bool add(std::string_view name, std::span<const uint8_t> data);
    bool add(std::string_view name, std::string_view text);

    std::vector<uint8_t> finish() const;

private:
    struct Entry {
        std::string name;
        uint32_t hash;
        std::vector<uint8_t> data;
    };
    std::vector<Entry> m_entries;
};
