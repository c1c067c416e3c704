// Node: tree links and their bookkeeping, depths, the world-transform cache,
// transforms between nodes, alignment, duplication and destruction. Subtrees
// are walked through the links in pre-order, never by recursion.
#include "engine/core/scene/CkwNode.h"

#include <cmath>
#include <exception>
#include <limits>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/CkwTransform.h"
#include "engine/core/math/Quaternion.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/CkwAlignRegistry.h"
#include "engine/core/scene/SceneIds.h"

namespace {

constexpr float kByteToUnit = 0.003921569f;

// Children whose last count goes with a destroyed parent wait here, linked
// through their sibling field, so that destroying a deep tree never nests.
CkwNode* g_pendingDestroy = nullptr;
bool g_destroying = false;

uint8_t childDepth(uint8_t parentDepth)
{
    return parentDepth == CkwNode::kDepthUncounted ? CkwNode::kDepthUncounted
                                                   : static_cast<uint8_t>(parentDepth + 1);
}

// The next node after node in a pre-order walk of root's subtree; descend
// false skips node's own subtree.
template <class Node>
Node* walkNext(Node* node, const CkwNode* root, bool descend)
{
    if (descend && node->getFirstChild() != nullptr)
        return node->getFirstChild();
    while (node != root) {
        if (node->getNextSibling() != nullptr)
            return node->getNextSibling();
        node = node->getParent();
    }
    return nullptr;
}

bool isAffine(const CkwMatrix& m)
{
    CkwMatrix copy = m;
    copy.classify();
    return (copy.getClass() & kMatrixBitAffine) != 0;
}

CkwNode* asNode(IkwSerializable* object)
{
    if (object == nullptr)
        return nullptr;
    auto* node = dynamic_cast<CkwNode*>(object);
    if (node == nullptr)
        leave(KErrCorruptData);
    return node;
}

bool inSubtree(const CkwNode* node, const CkwNode* root)
{
    return node != nullptr && (node == root || node->isDescendantOf(root));
}

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

CkwNode::~CkwNode()
{
    clearAlignment();
    if (CkwAlignRegistry* registry = CkwAlignRegistry::existing())
        registry->removeReference(this);
    while (CkwNode* child = m_firstChild) {
        m_firstChild = child->m_nextSibling;
        child->m_parent = nullptr;
        child->m_nextSibling = nullptr;
        if (child->refCount() == 1) {
            child->m_nextSibling = g_pendingDestroy;
            g_pendingDestroy = child;
        } else {
            child->setSubtreeDepth(0);
            child->invalidateWorldTransform();
            child->release();
        }
    }
    if (g_destroying)
        return;
    g_destroying = true;
    while (CkwNode* node = g_pendingDestroy) {
        g_pendingDestroy = node->m_nextSibling;
        node->m_nextSibling = nullptr;
        node->release();
    }
    g_destroying = false;
}

// --- Enables and animation -------------------------------------------------

void CkwNode::setRenderingEnable(bool enable)
{
    if (enable == isRenderingEnabled())
        return;
    m_nodeFlags ^= kNodeRenderingEnabled;
    invalidate();
    invalidateWorldLights();
}

void CkwNode::setPickingEnable(bool enable)
{
    if (enable == isPickingEnabled())
        return;
    m_nodeFlags ^= kNodePickingEnabled;
    invalidate();
}

void CkwNode::setBoneMark(bool bone)
{
    m_nodeFlags = static_cast<uint16_t>(bone ? m_nodeFlags | kNodeBone : m_nodeFlags & ~kNodeBone);
}

bool CkwNode::getPositionScaleBias(float*) const { return false; }

bool CkwNode::isAnimatable(int32_t property) const
{
    return property == kPropertyAlpha || property == kPropertyPickability || property == kPropertyVisibility
        || CkwTransformable::isAnimatable(property);
}

void CkwNode::applyAnimatedProperty(int32_t property, int32_t components, const float* values)
{
    switch (property) {
    case kPropertyAlpha:
        m_alphaFactor = values[0] < 0.0f ? 0.0f : (values[0] > 1.0f ? 1.0f : values[0]);
        break;
    case kPropertyPickability:
        setPickingEnable(values[0] >= 0.5f);
        break;
    case kPropertyVisibility:
        setRenderingEnable(values[0] >= 0.5f);
        break;
    default:
        CkwTransformable::applyAnimatedProperty(property, components, values);
        break;
    }
}

int32_t CkwNode::animateNodeReferences(int32_t worldTime, int32_t validity, uint32_t stamp)
{
    return CkwObject3D::animateReferences(worldTime, validity, stamp);
}

int32_t CkwNode::animateReferences(int32_t worldTime, int32_t validity, uint32_t stamp)
{
    validity = animateNodeReferences(worldTime, validity, stamp);
    CkwNode* node = m_firstChild;
    while (node != nullptr) {
        int32_t own = kValidityInfinite;
        // A node already animated in this pass is skipped with its subtree,
        // as its own animate call would have been.
        const bool fresh = node->animateTracks(worldTime, stamp, own);
        if (fresh) {
            own = node->animateNodeReferences(worldTime, own, stamp);
            if (own < validity)
                validity = own;
        }
        node = walkNext(node, this, fresh);
    }
    return validity;
}

// --- File data -------------------------------------------------------------

void CkwNode::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwTransformable::deserialize(buffer);
    if (!isAffine(getGeneralMatrix()))
        leave(KErrCorruptData);
    setRenderingEnable(buffer.readBoolean());
    setPickingEnable(buffer.readBoolean());
    m_alphaFactor = static_cast<float>(buffer.readByte()) * kByteToUnit;
    m_scope = static_cast<int32_t>(buffer.readUInt32());
    if (buffer.readBoolean()) {
        const int32_t zTarget = buffer.readByteInRange(kAlignNone - 1, kAlignZAxis + 1);
        const int32_t yTarget = buffer.readByteInRange(kAlignNone - 1, kAlignZAxis + 1);
        CkwNode* zReference = asNode(buffer.readNodeReference(true));
        CkwNode* yReference = asNode(buffer.readNodeReference(true));
        setAlignment(zReference, zTarget, yReference, yTarget);
    }
}

// --- Tree ------------------------------------------------------------------

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
        node = walkNext(node, this, changed);
    }
}

void CkwNode::recountSubtreeDepths()
{
    for (CkwNode* node = m_firstChild; node != nullptr; node = walkNext(node, this, true))
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
        node = walkNext(node, this, clean);
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

CkwNode* CkwNode::nextInSubtree(const CkwNode* node, const CkwNode* root, bool descend)
{
    return const_cast<CkwNode*>(walkNext(node, root, descend));
}

void CkwNode::invalidateWorldLights() { getRoot()->resetLightCache(); }

// --- Transforms ------------------------------------------------------------

void CkwNode::invalidate()
{
    CkwTransformable::invalidate();
    if (!(m_nodeFlags & kNodeWorldDirty))
        invalidateWorldTransform();
}

const CkwMatrix& CkwNode::getWorldTransform()
{
    if (!(m_nodeFlags & kNodeWorldDirty))
        return m_worldTransform;
    // Up through the dirty ancestors, turning each parent link around so the
    // way back down needs no memory; the links are restored on the way down.
    CkwNode* below = nullptr;
    CkwNode* node = this;
    while (node != nullptr && (node->m_nodeFlags & kNodeWorldDirty)) {
        CkwNode* up = node->m_parent;
        node->m_parent = below;
        below = node;
        node = up;
    }
    CkwNode* parent = node;
    while (below != nullptr) {
        CkwNode* down = below->m_parent;
        below->m_parent = parent;
        if (parent == nullptr) {
            below->m_worldTransform.setIdentity();
        } else {
            below->m_worldTransform = parent->m_worldTransform;
            below->m_worldTransform.multiply(below->updateCompositeTransform());
            below->m_worldTransform.classify();
        }
        below->m_nodeFlags &= static_cast<uint16_t>(~kNodeWorldDirty);
        parent = below;
        below = down;
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
    for (; depthA > depthB; --depthA, a = a->m_parent)
        thisPath.preMultiply(a->updateCompositeTransform());
    for (; depthB > depthA; --depthB, b = b->m_parent)
        targetPath.preMultiply(b->updateCompositeTransform());
    while (a != b) {
        thisPath.preMultiply(a->updateCompositeTransform());
        targetPath.preMultiply(b->updateCompositeTransform());
        a = a->m_parent;
        b = b->m_parent;
        if (a == nullptr || b == nullptr)
            return nullptr;
    }
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

// --- Alignment -------------------------------------------------------------

void CkwNode::setAlignment(CkwNode* zReference, int32_t zTarget, CkwNode* yReference, int32_t yTarget)
{
    if (zReference == this || yReference == this || zTarget < kAlignNone || zTarget > kAlignZAxis
        || yTarget < kAlignNone || yTarget > kAlignZAxis)
        leave(KErrIllegalArgument);
    if (zReference == yReference && zTarget == yTarget && zTarget != kAlignNone)
        leave(KErrIllegalArgument);
    setAlignmentRecord({zTarget, yTarget, zReference, yReference, false, false});
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
    for (CkwNode* node = this; node != nullptr; node = walkNext(node, this, true))
        if (node->m_alignment != nullptr)
            node->alignNode(r);
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
        if (node == this || node->isDescendantOf(this) || m_parent == nullptr
            || node->getTransformTo(m_parent, m) == nullptr)
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

// --- Duplication -----------------------------------------------------------

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
        source = walkNext(source, sourceRoot, true);
        copy = walkNext(copy, copyRoot, true);
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
        source = walkNext(source, sourceRoot, true);
        copy = walkNext(copy, copyRoot, true);
    }
    return nullptr;
}
