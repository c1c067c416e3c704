// The engine-wide registry of node alignment: one target per node that some
// node aligns to, listing the nodes aligned to it. Alignment references are
// not counted, so when a reference node is destroyed the registry marks the
// reference as lost in every node that held it instead of leaving it dangling.
#pragma once

#include <cstdint>

#include "engine/core/runtime/CkwArray.h"
#include "engine/core/runtime/CkwHeapObject.h"

class CkwNode;

class CkwAlignTargetManager : public CkwHeapObject {
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

    // The engine context's registry, made on first use (leaves -4).
    static CkwAlignTargetManager& instance();
    // The registry when one exists.
    static CkwAlignTargetManager* existing();

    // After a node's alignment record is set: lists the node under its Z,
    // then its Y reference.
    void registerNode(CkwNode* node);
    // Before a node's alignment record is replaced or dropped.
    void unregisterNode(CkwNode* node);
    // When a node is destroyed: drops the target whose reference it is.
    void removeReference(CkwNode* node);

    int32_t targetCount() const { return m_targets.count(); }
    const CkwAlignTarget* targetAt(int32_t index) const { return m_targets[index]; }
    const CkwAlignTarget* findTarget(const CkwNode* reference) const;

private:
    void addToTarget(CkwNode* reference, CkwNode* node);
    void removeTargetAt(int32_t index);

    CkwArray<CkwAlignTarget*> m_targets;
};
