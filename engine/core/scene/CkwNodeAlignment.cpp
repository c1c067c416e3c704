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

// Up to this many steps from a node's parent to where its path meets its
// reference's, the path is climbed, to the last bit as a transform between
// the two nodes gives it; past it, it comes from products shared by the walk.
constexpr int32_t kClimbedSteps = 32;

// Room for count elements: false, with the array as it was, when memory runs
// out.
template <class T>
bool makeRoom(CkwArray<T>& array, int32_t count)
{
    return count <= array.capacity()
        || engineTrap([&] { array.setCapacity(arrayGrowCapacity(count, array.capacity())); }) == KErrNone;
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

// What one align call shares among the nodes it turns. The walk goes in
// pre-order, so the nodes above the one being turned are turned already and
// hold still until the walk leaves them; it keeps them by depth.
//
// A node's transform to its parent is made of two paths up to where they
// meet. The reference's path is multiplied from the reference up, as a climb
// does, and kept: every node aligned to that reference reads it again, and
// finds the meeting node by moving a cursor along it, which only goes down
// until the walk reaches the reference and only up after. The parent's path
// is climbed when it is short; a longer one is taken from the meeting node
// down, each node's product its parent's times its own, kept with the
// depths, so a chain aligned to its top costs a multiply a node.
class CkwNode::AlignWalk {
public:
    AlignWalk(CkwNode* top, CkwNode* reference)
        : m_walk(++s_alignWalks), m_reference(reference), m_topDepth(top->getDepth())
    {
    }
    ~AlignWalk() { countVisits(m_visits); }

    int32_t topDepth() const { return m_topDepth; }

    // Called on each node of the walk, in pre-order, before it is turned.
    void enter(CkwNode* node, int32_t depth)
    {
        ++m_visits;
        // The nodes above a reference turn before the walk reaches it, and
        // none after: what was multiplied along its path before may be stale.
        climbOf(node).walk = 0;
        if (m_short || !makeRoom(m_levels, depth - m_topDepth + 1)) {
            m_short = true;
            return;
        }
        m_levels.setCount(depth - m_topDepth + 1);
        Level& level = m_levels.last();
        level.node = node;
        level.anchor[0] = level.anchor[1] = nullptr;
    }

    // The transform from reference's space to the parent's of node, the one
    // last entered, at depth; false when the node has no parent or the
    // reference lies in its subtree or in another tree. Without memory for
    // what the walk shares, the node climbs on its own, as it would alone.
    bool transformToParent(CkwNode* node, CkwNode* reference, int32_t depth, int32_t axis, CkwMatrix& out)
    {
        if (!m_short) {
            const bool made = sharedTransform(reference, depth, axis, out);
            if (!m_short)
                return made;
        }
        return reference != node && !reference->isDescendantOf(node) && node->m_parent != nullptr
            && reference->getTransformTo(node->m_parent, out) != nullptr;
    }

private:
    // Each axis keeps its own products, so a node aligned along both to
    // references that meet its path at different nodes reuses both.
    bool sharedTransform(CkwNode* reference, int32_t depth, int32_t axis, CkwMatrix& out);

    struct Level {
        CkwNode* node;
        // For each axis, the node the product is taken from, null while none
        // is, and the product from that node's child down to this node.
        CkwNode* anchor[2];
        CkwMatrix product[2];
    };
    struct Step {
        CkwNode* node;
        int32_t depth;
        // The steps above and below on the same climb, -1 at its ends.
        int32_t up;
        int32_t down;
        // From this node down to the reference, multiplied from below.
        CkwMatrix path;
    };

    // A node aligned to reference holds it in the registry; the call's own
    // reference may be held nowhere else, and no other node is a reference.
    CkwAlignTargetBase::Climb& climbOf(CkwNode* reference)
    {
        if (reference->m_alignTarget != nullptr)
            return reference->m_alignTarget->m_climb;
        if (reference == m_reference)
            return m_ownClimb;
        m_spareClimb.walk = 0;
        return m_spareClimb;
    }
    // The node at depth on the path from the root to the node last entered,
    // null below that node. Above the walk's top the path is climbed only as
    // far as a meeting asks, so a call on a small subtree costs the subtree.
    Level* levelAt(int32_t depth);
    bool onPath(const Step& step)
    {
        const Level* level = levelAt(step.depth);
        return level != nullptr && level->node == step.node;
    }
    // The step of reference's climb at the deepest node above the walk's
    // current node, or -1 when they share no tree.
    int32_t meet(CkwNode* reference);

    static uint64_t s_alignWalks;
    const uint64_t m_walk;
    uint64_t m_visits = 0;
    // From the walk's top down, and from its parent up.
    CkwArray<Level> m_levels;
    CkwArray<Level> m_above;
    CkwArray<Step> m_steps;
    CkwNode* const m_reference;
    CkwAlignTargetBase::Climb m_ownClimb;
    CkwAlignTargetBase::Climb m_spareClimb;
    const int32_t m_topDepth;
    // Memory ran out for what the walk shares.
    bool m_short = false;
};

uint64_t CkwNode::AlignWalk::s_alignWalks = 0;

CkwNode::AlignWalk::Level* CkwNode::AlignWalk::levelAt(int32_t depth)
{
    if (depth >= m_topDepth) {
        const int32_t index = depth - m_topDepth;
        return index < m_levels.count() ? &m_levels[index] : nullptr;
    }
    while (m_above.count() < m_topDepth - depth) {
        CkwNode* above = (m_above.isEmpty() ? m_levels[0] : m_above.last()).node->m_parent;
        if (above == nullptr || !makeRoom(m_above, m_above.count() + 1)) {
            m_short = above != nullptr;
            return nullptr;
        }
        m_above.append({above, {}, {}});
        ++m_visits;
    }
    return &m_above[m_topDepth - 1 - depth];
}

int32_t CkwNode::AlignWalk::meet(CkwNode* reference)
{
    CkwAlignTargetBase::Climb& climb = climbOf(reference);
    if (climb.walk != m_walk) {
        if (!makeRoom(m_steps, m_steps.count() + 1)) {
            m_short = true;
            return -1;
        }
        CkwMatrix path;
        path.preMultiply(reference->updateCompositeTransform());
        m_steps.append({reference, reference->getDepth(), -1, -1, path});
        climb = {m_walk, m_steps.count() - 1};
    }
    int32_t at = climb.step;
    for (; onPath(m_steps[at]) && m_steps[at].down >= 0 && onPath(m_steps[m_steps[at].down]); ++m_visits)
        at = m_steps[at].down;
    for (; !onPath(m_steps[at]); ++m_visits) {
        if (m_short)
            return -1;
        if (m_steps[at].up < 0) {
            CkwNode* above = m_steps[at].node->m_parent;
            if (above == nullptr)
                return -1;
            if (!makeRoom(m_steps, m_steps.count() + 1)) {
                m_short = true;
                return -1;
            }
            CkwMatrix path = m_steps[at].path;
            path.preMultiply(above->updateCompositeTransform());
            m_steps.append({above, m_steps[at].depth - 1, -1, at, path});
            m_steps[at].up = m_steps.count() - 1;
        }
        at = m_steps[at].up;
    }
    climb.step = at;
    return at;
}

bool CkwNode::AlignWalk::sharedTransform(CkwNode* reference, int32_t depth, int32_t axis, CkwMatrix& out)
{
    const Level* parentLevel = levelAt(depth - 1);
    if (parentLevel == nullptr)
        return false;
    CkwNode* const parent = parentLevel->node;
    if (reference == parent) {
        out.setIdentity();
        return true;
    }
    const int32_t at = meet(reference);
    // None met, or the node itself: the reference lies in its subtree.
    if (at < 0 || m_steps[at].depth == depth)
        return false;
    const Step& common = m_steps[at];
    // A World parent takes the world transform, as a transform to a World does.
    if (parent->getClassId() == kClassWorld) {
        out = reference->getWorldTransform();
        return common.node == parent;
    }
    CkwMatrix targetPath;
    const int32_t steps = depth - 1 - common.depth;
    if (steps <= kClimbedSteps) {
        for (int32_t d = depth - 1; d > common.depth; --d)
            targetPath.preMultiply(levelAt(d)->node->updateCompositeTransform());
        m_visits += static_cast<uint64_t>(steps);
    } else {
        int32_t d = depth - 1;
        for (; d > common.depth && levelAt(d)->anchor[axis] != common.node; --d)
            ++m_visits;
        for (++d; d < depth; ++d) {
            Level* level = levelAt(d);
            CkwMatrix& product = level->product[axis];
            product = d == common.depth + 1 ? CkwMatrix() : levelAt(d - 1)->product[axis];
            product.multiply(level->node->updateCompositeTransform());
            level->anchor[axis] = common.node;
        }
        targetPath = levelAt(depth - 1)->product[axis];
    }
    if (!targetPath.invert())
        leave(KErrArithmetic);
    out = targetPath;
    out.multiply(common.down >= 0 ? m_steps[common.down].path : CkwMatrix());
    return true;
}

void CkwNode::align(CkwNode* reference)
{
    if (reference != nullptr && !isInSameTree(this, reference))
        leave(KErrIllegalArgument);
    CkwNode* r = reference != nullptr ? reference : this;
    AlignWalk walk(this, r);
    // Parents first: a child's alignment reads its parent's new orientation.
    int32_t depth = walk.topDepth();
    for (CkwNode* node = this;;) {
        walk.enter(node, depth);
        if (node->m_alignment != nullptr)
            node->alignNode(walk, r, depth);
        if (node->m_firstChild != nullptr) {
            node = node->m_firstChild;
            ++depth;
            continue;
        }
        for (; node != this && node->m_nextSibling == nullptr; --depth)
            node = node->m_parent;
        if (node == this)
            break;
        node = node->m_nextSibling;
    }
}

void CkwNode::alignNode(AlignWalk& walk, CkwNode* reference, int32_t depth)
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
        if (!walk.transformToParent(this, node, depth, k, m))
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
