// The engine-wide registry of node alignment: one target per node that some
// node aligns to, listing the nodes aligned to it. Alignment references are
// not counted, so when a reference node is destroyed the registry marks the
// reference as lost in every node that held it instead of leaving it dangling.
#pragma once

#include <cstdint>

#include "engine/core/runtime/CkwArray.h"
#include "engine/core/runtime/CkwHeapObject.h"
#include "engine/core/scene/CkwAlignRegistry.h"

class CkwAlignTargetManager : public CkwAlignRegistry {
public:
    class CkwAlignTarget : public CkwHeapObject {
    public:
        explicit CkwAlignTarget(CkwNode* reference) : m_reference(reference) {}
        // Marks the reference as lost in every node still listed.
        ~CkwAlignTarget() override;

        CkwNode* m_reference;
        CkwArray<CkwNode*> m_nodes;
    };

    ~CkwAlignTargetManager() override;

    // The registry the scene library's module offers the core.
    static CkwAlignRegistry* create() { return new CkwAlignTargetManager; }

    // Lists the node under its Z, then its Y reference.
    void registerNode(CkwNode* node) override;
    void unregisterNode(CkwNode* node) override;
    // Drops the target whose reference the node is.
    void removeReference(CkwNode* node) override;

    int32_t targetCount() const { return m_targets.count(); }
    const CkwAlignTarget* targetAt(int32_t index) const { return m_targets[index]; }
    const CkwAlignTarget* findTarget(const CkwNode* reference) const;

private:
    void addToTarget(CkwNode* reference, CkwNode* node);
    void removeTargetAt(int32_t index);

    CkwArray<CkwAlignTarget*> m_targets;
};
