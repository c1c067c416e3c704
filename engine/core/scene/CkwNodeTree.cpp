// Node tree links and their bookkeeping: depths, the child cursor, dirty
// world transforms below a change and the root World's light list. Subtrees
// are walked through the links in pre-order, never by recursion.
#include "engine/core/scene/CkwNode.h"

#include "engine/core/runtime/Trap.h"

namespace {

uint8_t childDepth(uint8_t parentDepth)
{
    return parentDepth == CkwNode::kDepthUncounted ? CkwNode::kDepthUncounted
                                                   : static_cast<uint8_t>(parentDepth + 1);
}

} // namespace

int32_t CkwNode::getDepth() const
{
    if (m_depth != kDepthUncounted)
        return m_depth;
    int32_t depth = 0;
    for (const CkwNode* n = m_parent; n != nullptr; n = n->m_parent)
        ++depth;
    return depth;
}

CkwNode* CkwNode::getRoot()
{
    CkwNode* node = this;
    while (node->m_parent != nullptr)
        node = node->m_parent;
    return node;
}

void CkwNode::setSubtreeDepth(uint8_t depth)
{
    m_depth = depth;
    CkwNode* node = m_firstChild;
    while (node != nullptr) {
        const uint8_t d = childDepth(node->m_parent->m_depth);
        // Depths below a node whose depth holds are right already.
        const bool changed = node->m_depth != d;
        node->m_depth = d;
        node = nextInSubtree(node, this, changed);
    }
}

void CkwNode::recountSubtreeDepths()
{
    for (CkwNode* node = m_firstChild; node != nullptr; node = nextInSubtree(node, this, true))
        node->m_depth = childDepth(node->m_parent->m_depth);
}

void CkwNode::invalidateWorldTransform()
{
    m_nodeFlags |= kNodeWorldDirty;
    CkwNode* node = m_firstChild;
    while (node != nullptr) {
        // Below a dirty node everything is dirty already.
        const bool clean = !(node->m_nodeFlags & kNodeWorldDirty);
        node->m_nodeFlags |= kNodeWorldDirty;
        node = nextInSubtree(node, this, clean);
    }
}

void CkwNode::linkAsFirstChild(CkwNode* group)
{
    m_parent = group;
    m_nextSibling = group->m_firstChild;
    group->m_firstChild = this;
    group->resetChildCursor();
    addRef();
    m_depth = childDepth(group->m_depth);
}

void CkwNode::linkAfter(CkwNode* sibling)
{
    m_parent = sibling->m_parent;
    m_nextSibling = sibling->m_nextSibling;
    sibling->m_nextSibling = this;
    // Linking after the child the cursor holds moves no index up to it, so
    // appending child after child stays linear.
    if (m_parent->m_cursorChild != sibling)
        m_parent->resetChildCursor();
    addRef();
    m_depth = childDepth(m_parent->m_depth);
}

void CkwNode::attachTo(CkwNode* group)
{
    if (group == nullptr)
        leave(KErrNullArgument);
    if (m_parent != nullptr)
        leave(KErrIllegalArgument);
    linkAsFirstChild(group);
    setSubtreeDepth(m_depth);
    invalidateWorldTransform();
    invalidateWorldLights();
}

void CkwNode::insertAfter(CkwNode* sibling)
{
    if (sibling == nullptr)
        leave(KErrNullArgument);
    if (m_parent != nullptr || sibling->m_parent == nullptr)
        leave(KErrIllegalArgument);
    linkAfter(sibling);
    setSubtreeDepth(m_depth);
    invalidateWorldTransform();
    invalidateWorldLights();
}

void CkwNode::detach()
{
    CkwNode* parent = m_parent;
    if (parent == nullptr)
        return;
    parent->invalidateWorldLights();
    if (parent->m_firstChild == this) {
        parent->m_firstChild = m_nextSibling;
    } else {
        CkwNode* before = parent->m_firstChild;
        while (before->m_nextSibling != this)
            before = before->m_nextSibling;
        before->m_nextSibling = m_nextSibling;
    }
    parent->resetChildCursor();
    m_parent = nullptr;
    m_nextSibling = nullptr;
    setSubtreeDepth(0);
    invalidateWorldTransform();
    release();
}

void CkwNode::resetChildCursor() const
{
    m_cursorChild = nullptr;
    m_cursorIndex = -1;
}

CkwNode* CkwNode::childAt(int32_t index) const
{
    if (index < 0)
        return nullptr;
    CkwNode* child = m_firstChild;
    int32_t at = 0;
    if (m_cursorChild != nullptr && m_cursorIndex <= index) {
        child = m_cursorChild;
        at = m_cursorIndex;
    }
    if (child == nullptr)
        return nullptr;
    while (at < index && child->m_nextSibling != nullptr) {
        child = child->m_nextSibling;
        ++at;
    }
    m_cursorChild = child;
    m_cursorIndex = at;
    return at == index ? child : nullptr;
}

int32_t CkwNode::childCount() const
{
    if (m_firstChild == nullptr)
        return 0;
    childAt(0x7FFFFFFF);
    return m_cursorIndex + 1;
}

CkwNode* CkwNode::lastChild() const
{
    if (m_firstChild == nullptr)
        return nullptr;
    childAt(0x7FFFFFFF);
    return m_cursorChild;
}

bool CkwNode::isInSameTree(const CkwNode* a, const CkwNode* b)
{
    if (a == nullptr || b == nullptr)
        return false;
    while (a->m_parent != nullptr)
        a = a->m_parent;
    while (b->m_parent != nullptr)
        b = b->m_parent;
    return a == b;
}

bool CkwNode::isDescendantOf(const CkwNode* other) const
{
    if (other == nullptr)
        return false;
    for (const CkwNode* n = m_parent; n != nullptr; n = n->m_parent)
        if (n == other)
            return true;
    return false;
}

bool CkwNode::isAncestorOf(const CkwNode* other) const
{
    return other != nullptr && other->isDescendantOf(this);
}

void CkwNode::invalidateWorldLights() { getRoot()->resetLightCache(); }
