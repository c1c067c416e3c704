// Node transforms: the cached node-to-root transform and the transform from
// one node's space to another's.
#include "engine/core/scene/CkwNode.h"

#include "engine/core/factory/ClassIds.h"
#include "engine/core/math/CkwTransform.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/Trap.h"

void CkwNode::invalidate()
{
    CkwTransformable::invalidate();
    if (!(m_nodeFlags & kNodeWorldDirty))
        invalidateWorldTransform();
}

void CkwNode::updateWorldTransform()
{
    if (m_parent == nullptr) {
        m_worldTransform.setIdentity();
    } else {
        m_worldTransform = m_parent->m_worldTransform;
        m_worldTransform.multiply(updateCompositeTransform());
        m_worldTransform.classify();
    }
    m_nodeFlags &= static_cast<uint16_t>(~kNodeWorldDirty);
}

const CkwMatrix& CkwNode::getWorldTransform()
{
    // A node is clean only below clean ancestors, so the dirty chain above
    // this node is cleaned from its top down. Walking up, the ring keeps the
    // last nodes met, the topmost dirty ones. A longer chain is listed whole
    // on the heap, or, without memory, cleaned one ring's worth per walk.
    constexpr int32_t kRing = 256;
    CkwNode* ring[kRing];
    while (m_nodeFlags & kNodeWorldDirty) {
        int32_t count = 0;
        for (CkwNode* node = this; node != nullptr && (node->m_nodeFlags & kNodeWorldDirty); node = node->m_parent)
            ring[count++ % kRing] = node;
        countVisits(2 * static_cast<uint64_t>(count));
        const auto bytes = static_cast<uint32_t>(count * sizeof(CkwNode*));
        if (count > kRing) {
            if (auto** chain = static_cast<CkwNode**>(engineAlloc(bytes))) {
                CkwNode* node = this;
                for (int32_t i = 0; i < count; ++i, node = node->m_parent)
                    chain[i] = node;
                for (int32_t i = count - 1; i >= 0; --i)
                    chain[i]->updateWorldTransform();
                engineFree(chain);
                break;
            }
        }
        for (int32_t i = count - 1; i >= 0 && i >= count - kRing; --i)
            ring[i % kRing]->updateWorldTransform();
    }
    return m_worldTransform;
}

void CkwNode::setWorldTransform(const CkwMatrix& matrix)
{
    m_worldTransform = matrix;
    m_nodeFlags &= static_cast<uint16_t>(~kNodeWorldDirty);
    for (CkwNode* child = m_firstChild; child != nullptr; child = child->m_nextSibling)
        child->invalidateWorldTransform();
}

CkwNode* CkwNode::getTransformTo(CkwNode* target, CkwMatrix& out)
{
    out.setIdentity();
    if (target == nullptr)
        return nullptr;
    if (target == this)
        return this;
    if (target->getClassId() == kClassWorld) {
        out = getWorldTransform();
        return isDescendantOf(target) ? target : nullptr;
    }
    CkwMatrix thisPath;
    CkwMatrix targetPath;
    CkwNode* a = this;
    CkwNode* b = target;
    int32_t depthA = a->getDepth();
    int32_t depthB = b->getDepth();
    // The paths to the meeting node are what the result is made of: the
    // walk is as long as they are, never longer.
    uint64_t steps = 0;
    for (; depthA > depthB; --depthA, a = a->m_parent, ++steps)
        thisPath.preMultiply(a->updateCompositeTransform());
    for (; depthB > depthA; --depthB, b = b->m_parent, ++steps)
        targetPath.preMultiply(b->updateCompositeTransform());
    while (a != b) {
        thisPath.preMultiply(a->updateCompositeTransform());
        targetPath.preMultiply(b->updateCompositeTransform());
        a = a->m_parent;
        b = b->m_parent;
        steps += 2;
        if (a == nullptr || b == nullptr) {
            countVisits(steps);
            return nullptr;
        }
    }
    countVisits(steps);
    if (!targetPath.invert())
        leave(KErrArithmetic);
    out = targetPath;
    out.multiply(thisPath);
    return a;
}

bool CkwNode::getTransformTo(CkwNode* target, CkwTransform& out)
{
    CkwMatrix matrix;
    if (getTransformTo(target, matrix) == nullptr)
        return false;
    out.matrix() = matrix;
    return true;
}
