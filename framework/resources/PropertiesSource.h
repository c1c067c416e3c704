// Where the configuration comes from: the loose "properties.dat" beside the
// program when it exists, else the properties resource of the pack.
#pragma once

class PropertySet;
class ResourceManager;

// Parses the configuration into properties; 1 on success.
int loadProgramProperties(PropertySet& properties, ResourceManager& manager);
