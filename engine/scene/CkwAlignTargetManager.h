// The engine-wide registry of node alignment: one target per node that some
// node aligns to, listing the nodes aligned to it. Alignment references are
// not counted, so when a reference node is destroyed the registry marks the
// reference as lost in every node that held it instead of leaving it dangling.
// A reference node holds its target and an aligned node its places in the
// lists, so no change searches: a file's alignments register in proportion to
// their number.
#pragma once

#include <cstdint>

#include "engine/core/runtime/CkwArray.h"
#include "engine/core/runtime/CkwHeapObject.h"
#include "engine/core/scene/CkwAlignRegistry.h"

class CkwAlignTargetManager : public CkwAlignRegistry {
public:
    class CkwAlignTarget : public CkwAlignTargetBase {
    public:
        explicit CkwAlignTarget(CkwNode* reference) : m_reference(reference) {}
        // Marks the reference as lost in every node still listed, and lets
        // go of the reference.
        ~CkwAlignTarget() override;

        CkwNode* m_reference;
        CkwArray<CkwNode*> m_nodes;
        int32_t m_index = 0; // in the manager's list
    };

    ~CkwAlignTargetManager() override;

    // The registry the scene library's module offers the core.
    static CkwAlignRegistry* create() { return new CkwAlignTargetManager; }

    // Lists the node under its Z, then its Y reference.
    void registerNode(CkwNode* node) override;
    void unregisterNode(CkwNode* node) override;
    // Drops the target whose reference the node is.
    void removeReference(CkwNode* node) override;

private:
    // The node's place in the reference's list.
    int32_t addToTarget(CkwNode* reference, CkwNode* node);
    void removeFromTarget(CkwNode* reference, int32_t slot);
    void removeTarget(CkwAlignTarget* target);

    CkwArray<CkwAlignTarget*> m_targets;
};
