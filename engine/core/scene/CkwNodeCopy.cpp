// Node duplication: the whole subtree in order, then, with every source node
// paired with its copy, alignment references and what nodes refer to inside
// the subtree redirected to the copies. Each reference costs one search of
// the pairs, so copying stays in proportion to the subtree.
#include "engine/core/scene/CkwNode.h"

#include <algorithm>
#include <functional>

#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineContext.h"

CkwNode* CkwNode::CopyMap::copyOf(const CkwNode* node) const
{
    // One step a lookup: the halving's depth follows where the heap put the
    // nodes and how many there are, which no file can aim.
    const Pair* found = std::lower_bound(m_pairs.begin(), m_pairs.end(), node, [](const Pair& p, const CkwNode* n) {
        return std::less<const CkwNode*>()(p.source, n);
    });
    countEngineVisits(1);
    return found != m_pairs.end() && found->source == node && node != nullptr ? found->copy : nullptr;
}

void CkwNode::copyNodeFields(const CkwNode& source)
{
    CkwTransformable::copyFrom(source);
    m_nodeFlags = static_cast<uint16_t>((source.m_nodeFlags & (kNodeRenderingEnabled | kNodePickingEnabled))
                                        | kNodeWorldDirty);
    m_alphaFactor = source.m_alphaFactor;
    m_scope = source.m_scope;
    if (source.m_alignment != nullptr)
        setAlignmentRecord(*source.m_alignment);
}

void CkwNode::completeCopy(const CkwNode&, const CopyMap&) {}

CkwObject3D* CkwNode::duplicate() const
{
    CkwCleanupPtr<CkwNode> root(copyNode());
    CopyMap copies;
    copies.m_pairs.append({this, root.get()});
    const CkwNode* source = this;
    CkwNode* copy = root.get();
    for (;;) {
        if (source->m_firstChild != nullptr) {
            CkwNode* child = source->m_firstChild->copyNode();
            child->linkAsFirstChild(copy);
            source = source->m_firstChild;
            copy = child;
            copies.m_pairs.append({source, copy});
            continue;
        }
        while (source != this && source->m_nextSibling == nullptr) {
            source = source->m_parent;
            copy = copy->m_parent;
        }
        if (source == this)
            break;
        CkwNode* sibling = source->m_nextSibling->copyNode();
        sibling->linkAfter(copy);
        source = source->m_nextSibling;
        copy = sibling;
        copies.m_pairs.append({source, copy});
    }
    countEngineVisits(static_cast<uint64_t>(copies.m_pairs.count()));
    std::sort(copies.m_pairs.begin(), copies.m_pairs.end(), [](const CopyMap::Pair& a, const CopyMap::Pair& b) {
        return std::less<const CkwNode*>()(a.source, b.source);
    });
    completeCopies(root.get(), copies);
    return root.release();
}

void CkwNode::completeCopies(CkwNode* copyRoot, const CopyMap& copies) const
{
    const CkwNode* source = this;
    CkwNode* copy = copyRoot;
    while (source != nullptr) {
        copy->completeCopy(*source, copies);
        if (source->m_alignment != nullptr) {
            Alignment a = *source->m_alignment;
            if (CkwNode* inside = copies.copyOf(a.zReference))
                a.zReference = inside;
            if (CkwNode* inside = copies.copyOf(a.yReference))
                a.yReference = inside;
            copy->setAlignmentRecord(a);
        }
        source = nextInSubtree(source, this, true);
        copy = nextInSubtree(copy, copyRoot, true);
    }
}
