// Node duplication: the whole subtree in order, with alignment references
// inside it redirected to the copies.
#include "engine/core/scene/CkwNode.h"

#include "engine/core/runtime/CleanupStack.h"

namespace {

bool inSubtree(const CkwNode* node, const CkwNode* root)
{
    return node != nullptr && (node == root || node->isDescendantOf(root));
}

} // namespace

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

void CkwNode::completeCopy(const CkwNode&, const CkwNode*, CkwNode*) {}

CkwObject3D* CkwNode::duplicate() const
{
    CkwCleanupPtr<CkwNode> root(copyNode());
    const CkwNode* source = this;
    CkwNode* copy = root.get();
    for (;;) {
        if (source->m_firstChild != nullptr) {
            CkwNode* child = source->m_firstChild->copyNode();
            child->linkAsFirstChild(copy);
            source = source->m_firstChild;
            copy = child;
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
    }
    copyAlignments(root.get(), this);
    return root.release();
}

void CkwNode::copyAlignments(CkwNode* copyRoot, const CkwNode* sourceRoot)
{
    const CkwNode* source = sourceRoot;
    CkwNode* copy = copyRoot;
    while (source != nullptr) {
        copy->completeCopy(*source, sourceRoot, copyRoot);
        if (source->m_alignment != nullptr) {
            Alignment a = *source->m_alignment;
            if (inSubtree(a.zReference, sourceRoot))
                a.zReference = findCopy(a.zReference, sourceRoot, copyRoot);
            if (inSubtree(a.yReference, sourceRoot))
                a.yReference = findCopy(a.yReference, sourceRoot, copyRoot);
            copy->setAlignmentRecord(a);
        }
        source = nextInSubtree(source, sourceRoot, true);
        copy = nextInSubtree(copy, copyRoot, true);
    }
}

CkwNode* CkwNode::findCopy(const CkwNode* node, const CkwNode* sourceRoot, CkwNode* copyRoot)
{
    if (!inSubtree(node, sourceRoot))
        return nullptr;
    const CkwNode* source = sourceRoot;
    CkwNode* copy = copyRoot;
    while (source != nullptr && copy != nullptr) {
        if (source == node)
            return copy;
        source = nextInSubtree(source, sourceRoot, true);
        copy = nextInSubtree(copy, copyRoot, true);
    }
    return nullptr;
}
