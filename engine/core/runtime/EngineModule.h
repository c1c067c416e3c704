// What a library above the core hands it: the creators of its classes, the
// method tables of its interfaces, its alignment registry and the release of
// the engine-wide objects it made. The core names nothing above itself; each
// library installs its module from a registrar that runs at program start.
#pragma once

#include <cstdint>
#include <span>

class CkwObjectFactory;
class CkwAlignRegistry;
struct EngineContext;

// One interface's method table. The entry count lets the core refuse a table
// of the wrong interface instead of handing it to the game.
struct InterfaceTableEntry {
    uint32_t iid;
    const void* table;
    uint32_t entryCount;
};

template <class Table>
constexpr InterfaceTableEntry interfaceTable(uint32_t iid, const Table& table)
{
    return {iid, &table, sizeof(Table) / sizeof(void (*)())};
}

struct EngineModule {
    // Fills the factory with the module's creators; runs at every start-up.
    void (*registerTypes)(CkwObjectFactory& factory);
    std::span<const InterfaceTableEntry> tables;
    // Makes the engine context's alignment registry on first use (leaves -4).
    CkwAlignRegistry* (*createAlignRegistry)();
    // Destroys the engine-wide objects the module keeps in the context.
    void (*shutdown)(EngineContext& context);
};

// Called by a registrar before main; returns true so the registrar can be a
// constant. At most kMaxEngineModules modules are kept.
bool installEngineModule(const EngineModule& module);
std::span<const EngineModule* const> engineModules();

constexpr uint32_t kMaxEngineModules = 4;
