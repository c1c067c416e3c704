// Node alignment: the alignment record, its registration with the engine's
// alignment registry, and turning a node toward its references.
#include "engine/core/scene/CkwNode.h"

#include <cmath>
#include <exception>
#include <limits>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/math/Quaternion.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/CkwAlignRegistry.h"
#include "engine/core/scene/SceneIds.h"

namespace {

// Undoes a half-registered alignment when a leave passes.
class AlignmentGuard {
public:
    explicit AlignmentGuard(CkwNode* node) : m_node(node) {}
    ~AlignmentGuard()
    {
        if (m_node != nullptr && std::uncaught_exceptions() > m_exceptions)
            m_node->setAlignment(nullptr, kAlignNone, nullptr, kAlignNone);
    }
    void dismiss() { m_node = nullptr; }

private:
    CkwNode* m_node;
    int m_exceptions = std::uncaught_exceptions();
};

} // namespace

void CkwNode::setAlignment(CkwNode* zReference, int32_t zTarget, CkwNode* yReference, int32_t yTarget)
{
    if (zReference == this || yReference == this || zTarget < kAlignNone || zTarget > kAlignZAxis
        || yTarget < kAlignNone || yTarget > kAlignZAxis)
        leave(KErrIllegalArgument);
    if (zReference == yReference && zTarget == yTarget && zTarget != kAlignNone)
        leave(KErrIllegalArgument);
    setAlignmentRecord({zTarget, yTarget, zReference, yReference, false, false, -1, -1});
}

void CkwNode::setAlignmentRecord(const Alignment& alignment)
{
    clearAlignment();
    if (alignment.zTarget == kAlignNone && alignment.yTarget == kAlignNone && alignment.zReference == nullptr
        && alignment.yReference == nullptr && !alignment.zLost && !alignment.yLost)
        return;
    auto* record = static_cast<Alignment*>(engineNewL(static_cast<uint32_t>(sizeof(Alignment))));
    *record = alignment;
    m_alignment = record;
    AlignmentGuard guard(this);
    CkwAlignRegistry::instance().registerNode(this);
    guard.dismiss();
}

void CkwNode::clearAlignment()
{
    if (m_alignment == nullptr)
        return;
    if (CkwAlignRegistry* registry = CkwAlignRegistry::existing())
        registry->unregisterNode(this);
    engineFree(m_alignment);
    m_alignment = nullptr;
}

CkwNode* CkwNode::getAlignmentReference(int32_t axis) const
{
    if (m_alignment == nullptr)
        return nullptr;
    if (axis == kAlignYAxis)
        return m_alignment->yReference;
    if (axis == kAlignZAxis)
        return m_alignment->zReference;
    return nullptr;
}

int32_t CkwNode::getAlignmentTarget(int32_t axis) const
{
    if (axis != kAlignYAxis && axis != kAlignZAxis)
        leave(KErrIllegalArgument);
    if (m_alignment == nullptr)
        return kAlignNone;
    return axis == kAlignYAxis ? m_alignment->yTarget : m_alignment->zTarget;
}

void CkwNode::forgetAlignmentReference(CkwNode* node, CkwNode* reference)
{
    Alignment* a = node->m_alignment;
    if (a == nullptr || reference == nullptr)
        return;
    if (a->zReference == reference) {
        a->zReference = nullptr;
        a->zLost = true;
    }
    if (a->yReference == reference) {
        a->yReference = nullptr;
        a->yLost = true;
    }
}

void CkwNode::align(CkwNode* reference)
{
    if (reference != nullptr && !isInSameTree(this, reference))
        leave(KErrIllegalArgument);
    CkwNode* r = reference != nullptr ? reference : this;
    // Parents first: a child's alignment reads its parent's new orientation.
    for (CkwNode* node = this; node != nullptr; node = nextInSubtree(node, this, true))
        if (node->m_alignment != nullptr)
            node->alignNode(r);
}

bool CkwNode::liesBelow(const CkwNode* node) const
{
    // Below a World the transform is the cached one and no path is walked:
    // this node's subtree is searched instead, and the subtrees of a
    // World's children share no node, so aligning them all costs the tree
    // once. Elsewhere the climb is never longer than the path to the
    // common ancestor that the transform walks anyway.
    if (m_parent != nullptr && m_parent->getClassId() == kClassWorld)
        return isAncestorOf(node);
    return node->isDescendantOf(this);
}

void CkwNode::alignNode(CkwNode* reference)
{
    const Alignment a = *m_alignment;
    const int32_t targets[2] = {a.zTarget, a.yTarget};
    CkwNode* const references[2] = {a.zReference, a.yReference};
    const bool lost[2] = {a.zLost, a.yLost};
    CkwVector3D vectors[2] = {};
    for (int32_t k = 0; k < 2; ++k) {
        if (targets[k] == kAlignNone)
            continue;
        if (lost[k])
            leave(KErrIllegalState);
        CkwNode* node = references[k] != nullptr ? references[k] : reference;
        CkwMatrix m;
        if (node == this || liesBelow(node) || m_parent == nullptr || node->getTransformTo(m_parent, m) == nullptr)
            leave(KErrIllegalState);
        // Relative to this node's own position in its parent's space.
        const float* t = getTranslation();
        m.m[12] -= t[0];
        m.m[13] -= t[1];
        m.m[14] -= t[2];
        const int32_t column = targets[k] == kAlignOrigin ? 3 : targets[k] - kAlignXAxis;
        vectors[k] = {m.m[4 * column], m.m[4 * column + 1], m.m[4 * column + 2]};
    }

    float q[4];
    if (targets[0] != kAlignNone && targets[1] != kAlignNone) {
        CkwVector3D z = vectors[0];
        CkwVector3D y = vectors[1];
        CkwVector3D::normalize(z);
        CkwVector3D::normalize(y);
        CkwVector3D x;
        CkwVector3D::cross(y, x, z);
        CkwVector3D::normalize(x);
        CkwVector3D::cross(z, y, x);
        CkwMatrix rotation;
        const CkwVector3D columns[3] = {x, y, z};
        for (int32_t c = 0; c < 3; ++c) {
            rotation.m[4 * c] = columns[c].x;
            rotation.m[4 * c + 1] = columns[c].y;
            rotation.m[4 * c + 2] = columns[c].z;
        }
        rotation.classify();
        quaternionFromMatrix(rotation, q);
    } else {
        const bool alongZ = targets[0] != kAlignNone;
        const CkwVector3D v = alongZ ? vectors[0] : vectors[1];
        const float length = std::sqrt(CkwVector3D::lengthSquared(v));
        if (length == 0.0f)
            return; // a target at the node's own position gives no direction
        if (alongZ) {
            q[0] = -v.y;
            q[1] = v.x;
            q[2] = 0.0f;
            q[3] = length + v.z;
        } else {
            q[0] = v.z;
            q[1] = 0.0f;
            q[2] = -v.x;
            q[3] = length + v.y;
        }
        // Opposite the node's own axis the shortest rotation is not unique and
        // the quaternion vanishes, or all but vanishes past what normalising
        // can mend: turn half way round the X axis, perpendicular to both.
        if (!(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3] > std::numeric_limits<float>::min())) {
            q[0] = 1.0f;
            q[1] = q[2] = q[3] = 0.0f;
        }
    }
    quaternionNormalize(q);
    setOrientation(q);
}
