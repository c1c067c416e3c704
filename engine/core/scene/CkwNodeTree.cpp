// Node tree links and their bookkeeping: depths, the child cursor, dirty
// world transforms below a change and the root World's light list. Subtrees
// are walked through the links in pre-order, never by recursion.
#include "engine/core/scene/CkwNode.h"

#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"

namespace {

uint8_t childDepth(uint8_t parentDepth)
{
    return parentDepth == CkwNode::kDepthUncounted ? CkwNode::kDepthUncounted
                                                   : static_cast<uint8_t>(parentDepth + 1);
}

} // namespace

uint64_t CkwNode::s_linkRevision = 1;
uint64_t CkwNode::s_sceneRevision = 1;

void CkwNode::countVisits(uint64_t steps)
{
    countEngineVisits(steps);
}

void CkwNode::linksChanged()
{
    ++s_linkRevision;
    ++s_sceneRevision;
}

void CkwNode::invalidateWorldLights()
{
    ++s_sceneRevision;
    countVisits(1);
}

void CkwNode::countPath() const
{
    if (m_countedRevision == s_linkRevision)
        return;
    // Up to the root or the nearest node counted since the links last
    // changed, then the count handed down the same path: later questions
    // on this chain cost nothing until a link changes.
    int32_t steps = 0;
    const CkwNode* top = this;
    for (; top->m_parent != nullptr && top->m_countedRevision != s_linkRevision; ++steps)
        top = top->m_parent;
    if (top->m_countedRevision != s_linkRevision) {
        top->m_countedRoot = const_cast<CkwNode*>(top);
        top->m_countedDepth = 0;
        top->m_countedRevision = s_linkRevision;
    }
    int32_t depth = top->m_countedDepth + steps;
    for (const CkwNode* n = this; n != top; n = n->m_parent, --depth) {
        n->m_countedRoot = top->m_countedRoot;
        n->m_countedDepth = depth;
        n->m_countedRevision = s_linkRevision;
    }
    countVisits(2 * static_cast<uint64_t>(steps) + 1);
}

int32_t CkwNode::getDepth() const
{
    if (m_depth != kDepthUncounted)
        return m_depth;
    countPath();
    return m_countedDepth;
}

CkwNode* CkwNode::getRoot()
{
    countPath();
    return m_countedRoot;
}

void CkwNode::setSubtreeDepth(uint8_t depth)
{
    m_depth = depth;
    CkwNode* node = m_firstChild;
    uint64_t steps = 1;
    // Past the stored range depths hold whatever lies above, so a subtree
    // moved costs its first 255 levels at most.
    while (node != nullptr) {
        const uint8_t d = childDepth(node->m_parent->m_depth);
        // Depths below a node whose depth holds are right already.
        const bool changed = node->m_depth != d;
        node->m_depth = d;
        node = nextInSubtree(node, this, changed);
        ++steps;
    }
    countVisits(steps);
}

void CkwNode::recountSubtreeDepths()
{
    if (m_parent == nullptr)
        m_depth = 0;
    uint64_t steps = 0;
    for (CkwNode* node = m_firstChild; node != nullptr; node = nextInSubtree(node, this, true), ++steps)
        node->m_depth = childDepth(node->m_parent->m_depth);
    countVisits(steps);
}

void CkwNode::invalidateWorldTransform()
{
    m_nodeFlags |= kNodeWorldDirty;
    CkwNode* node = m_firstChild;
    uint64_t steps = 0;
    while (node != nullptr) {
        // Below a dirty node everything is dirty already.
        const bool clean = !(node->m_nodeFlags & kNodeWorldDirty);
        node->m_nodeFlags |= kNodeWorldDirty;
        node = nextInSubtree(node, this, clean);
        ++steps;
    }
    countVisits(steps);
}

void CkwNode::linkAsFirstChild(CkwNode* group)
{
    m_parent = group;
    m_previousSibling = nullptr;
    m_nextSibling = group->m_firstChild;
    if (m_nextSibling != nullptr)
        m_nextSibling->m_previousSibling = this;
    group->m_firstChild = this;
    group->resetChildCursor();
    addRef();
    m_depth = childDepth(group->m_depth);
    linksChanged();
}

void CkwNode::linkAfter(CkwNode* sibling)
{
    m_parent = sibling->m_parent;
    m_previousSibling = sibling;
    m_nextSibling = sibling->m_nextSibling;
    if (m_nextSibling != nullptr)
        m_nextSibling->m_previousSibling = this;
    sibling->m_nextSibling = this;
    // Linking after the child the cursor holds moves no index up to it, so
    // appending child after child stays linear.
    if (m_parent->m_cursorChild != sibling)
        m_parent->resetChildCursor();
    addRef();
    m_depth = childDepth(m_parent->m_depth);
    linksChanged();
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
    invalidateWorldLights();
    if (m_previousSibling != nullptr)
        m_previousSibling->m_nextSibling = m_nextSibling;
    else
        parent->m_firstChild = m_nextSibling;
    if (m_nextSibling != nullptr)
        m_nextSibling->m_previousSibling = m_previousSibling;
    // The cursor moves back over the child leaving it, so children taken
    // from the end one by one are found without a walk from the first.
    if (parent->m_cursorChild == this && m_previousSibling != nullptr) {
        parent->m_cursorChild = m_previousSibling;
        --parent->m_cursorIndex;
    } else {
        parent->resetChildCursor();
    }
    m_parent = nullptr;
    m_previousSibling = nullptr;
    m_nextSibling = nullptr;
    linksChanged();
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
    const int32_t from = at;
    while (at < index && child->m_nextSibling != nullptr) {
        child = child->m_nextSibling;
        ++at;
    }
    countVisits(static_cast<uint64_t>(at - from));
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
    return const_cast<CkwNode*>(a)->getRoot() == const_cast<CkwNode*>(b)->getRoot();
}

bool CkwNode::isDescendantOf(const CkwNode* other) const
{
    if (other == nullptr || other == this)
        return false;
    if (other->m_parent == nullptr)
        return const_cast<CkwNode*>(this)->getRoot() == other;
    int32_t climb = getDepth() - other->getDepth();
    if (climb <= 0)
        return false;
    countVisits(static_cast<uint64_t>(climb));
    const CkwNode* n = this;
    for (; climb > 0; --climb)
        n = n->m_parent;
    return n == other;
}

bool CkwNode::isAncestorOf(const CkwNode* other) const
{
    if (other == nullptr || other == this)
        return false;
    // A root is above exactly the nodes that count it as their root. A climb
    // that ends leaves its path counted, so asking a root about every node
    // of a still tree costs the tree once.
    const bool root = m_parent == nullptr;
    const CkwNode* up = other;
    const CkwNode* down = m_firstChild;
    uint64_t steps = 0;
    bool found = false;
    for (;; ++steps) {
        if (root && (up->m_countedRevision == s_linkRevision || up->m_parent == nullptr || up->m_parent == this)) {
            other->countPath();
            found = other->m_countedRoot == this;
            break;
        }
        if (up->m_parent == this || up->m_parent == nullptr || down == nullptr || down == other) {
            found = up->m_parent == this || down == other;
            break;
        }
        up = up->m_parent;
        down = nextInSubtree(down, this, true);
    }
    countVisits(steps);
    return found;
}
