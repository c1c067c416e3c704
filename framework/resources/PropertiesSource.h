// Where the configuration comes from: the loose "properties.dat" beside the
// program when it exists and reads, else the properties resource of the pack.
#pragma once

#include <cstdint>
#include <memory>

class PropertySet;
class ResourceManager;

// The bytes of "properties.dat" as the configuration was parsed from them.
struct PropertiesText {
    std::unique_ptr<char[]> bytes;
    uint32_t size = 0;
};

// Parses the configuration into properties; 1 on success. A file that will
// not open or read, or is longer than a configuration may be, leaves the
// pack's text to serve, as a missing one does.
// fileText, when given, keeps the file's bytes (empty when the pack served),
// so other readers of the file see what the store saw and never read again.
int loadProgramProperties(PropertySet& properties, ResourceManager& manager, PropertiesText* fileText = nullptr);
