// What nodes need of the engine-wide alignment registry: references between
// nodes are not counted, so the registry hears of every alignment set and
// every node destroyed. The scene library provides it through its module.
#pragma once

#include <cstdint>

#include "engine/core/runtime/CkwHeapObject.h"

class CkwNode;

// The registry's entry for a node that others align to.
class CkwAlignTargetBase : public CkwHeapObject {};

class CkwAlignRegistry : public CkwHeapObject {
public:
    // After a node's alignment record is set.
    virtual void registerNode(CkwNode* node) = 0;
    // Before a node's alignment record is replaced or dropped.
    virtual void unregisterNode(CkwNode* node) = 0;
    // When a node is destroyed.
    virtual void removeReference(CkwNode* node) = 0;

    // The engine context's registry, made on first use by the first module
    // that offers one; leaves -1300 when none does.
    static CkwAlignRegistry& instance();
    // The registry when one exists.
    static CkwAlignRegistry* existing();
};
