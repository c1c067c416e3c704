// Node alignment: the alignment record, its registration with the engine's
// alignment registry, and turning a node toward its references.
#include "engine/core/scene/CkwNode.h"

#include <algorithm>
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

// Up to this many steps from a node's parent, and from its reference, to
// where their paths meet, the paths are climbed, to the last bit as a
// transform between the two nodes gives them; past it, they may come from
// products shared by the walk.
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
// until the walk reaches the reference and only up after. A climb goes
// kClimbedSteps up, a reference's that much further for each meeting asked
// of it and as far as its last long path went. A longer path is the product
// kept for the node at the first depth above the reference that is a
// multiple of kClimbedSteps, itself climbed the same way, times the
// reference's climb below it, so references on one long path share their
// products, and the steps made stay in proportion to the meetings and the
// products.
//
// The parent's path is climbed when it is short. A longer one comes from
// products taken once a call from the walk's top down, undone above the
// meeting node by an inverse; they start again below a node where they
// cannot be. A path across such a node, or one whose products do not invert,
// is taken from the meeting node down, each node's product its parent's
// times its own, kept with the depths, so a chain aligned to its top costs a
// multiply a node, and a path that is singular leaves as a climb's does.
class CkwNode::AlignWalk {
public:
    explicit AlignWalk(CkwNode* top) : m_walk(++s_alignWalks), m_topDepth(top->getDepth())
    {
    }
    ~AlignWalk() { countVisits(m_visits); }

    int32_t topDepth() const { return m_topDepth; }

    // Called on each node of the walk, in pre-order, before it is turned.
    void enter(CkwNode* node, int32_t depth)
    {
        ++m_visits;
        // The nodes above a node turn before the walk reaches it, and none
        // after: what was multiplied along its path before may be stale.
        node->m_alignClimb.walk = 0;
        if (m_short || !makeRoom(m_levels, depth - m_topDepth + 1)) {
            m_short = true;
            return;
        }
        m_levels.setCount(depth - m_topDepth + 1);
        m_fromTop = std::min(m_fromTop, m_levels.count() - 1);
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
        // At or below the walk's top, the product down to this node from
        // below the level at base, -1 for the top's parent; above the top,
        // from this node's child down to the top's parent.
        CkwMatrix down;
        int32_t base;
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
    // Where a path longer than a climb met the walk's, and the product from
    // below there down to the node it is kept for. It holds while the node
    // below the meeting one is off the walk's path.
    struct Kept {
        CkwNode* meeting;
        int32_t depth;
        CkwNode* below;
        CkwMatrix path;
    };
    // Where a path meets the walk's, and the product from below there.
    struct Meeting {
        CkwNode* node;
        int32_t depth;
        CkwMatrix path;
    };
    static constexpr int32_t kBeyond = -2;

    // The node at depth on the path from the root to the node last entered,
    // null below that node. Above the walk's top the path is climbed only as
    // far as a meeting asks, so a call on a small subtree costs the subtree.
    Level* levelAt(int32_t depth);
    bool onPath(CkwNode* node, int32_t depth)
    {
        const Level* level = levelAt(depth);
        return level != nullptr && level->node == node;
    }
    bool onPath(const Step& step) { return onPath(step.node, step.depth); }
    // The step of node's climb at the deepest node above the walk's current
    // node, -1 when they share no tree, or kBeyond past the climb's reach;
    // asked for a reference rather than for a product kept, the climb may
    // go further.
    int32_t meet(CkwNode* node, bool asked);
    // Where reference's path meets the walk's, and the product from below.
    bool reach(CkwNode* reference, Meeting& meeting);
    // The level at index from the top, with its product from the top down.
    const Level& fromTop(int32_t index);
    // The path from the node at depth common down to the one at depth to,
    // from the products from the top; false when an inverse is missing.
    bool throughTop(int32_t common, int32_t to, CkwMatrix& out);

    static uint64_t s_alignWalks;
    const uint64_t m_walk;
    uint64_t m_visits = 0;
    // From the walk's top down, and from its parent up.
    CkwArray<Level> m_levels;
    CkwArray<Level> m_above;
    CkwArray<Step> m_steps;
    CkwArray<Kept> m_kept;
    CkwArray<CkwNode*> m_chain;
    const int32_t m_topDepth;
    // How many levels from the top hold their product from the top.
    int32_t m_fromTop = 0;
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
        CkwMatrix down;
        if (!m_above.isEmpty()) {
            down = m_above.last().down;
            down.preMultiply(m_above.last().node->updateCompositeTransform());
        }
        m_above.append({above, {}, {}, down, -1});
        ++m_visits;
    }
    return &m_above[m_topDepth - 1 - depth];
}

const CkwNode::AlignWalk::Level& CkwNode::AlignWalk::fromTop(int32_t index)
{
    for (; m_fromTop <= index; ++m_fromTop, ++m_visits) {
        Level& level = m_levels[m_fromTop];
        const Level* above = m_fromTop > 0 ? &m_levels[m_fromTop - 1] : nullptr;
        level.down = above != nullptr ? above->down : CkwMatrix();
        level.base = above != nullptr ? above->base : -1;
        level.down.multiply(level.node->updateCompositeTransform());
        // A product that cannot be undone would hide every meeting above it:
        // the products start again below it.
        CkwMatrix inverse = level.down;
        if (!inverse.invert()) {
            level.down.setIdentity();
            level.base = m_fromTop;
        }
    }
    return m_levels[index];
}

bool CkwNode::AlignWalk::throughTop(int32_t common, int32_t to, CkwMatrix& out)
{
    if (to < m_topDepth)
        return false;
    const Level& last = fromTop(to - m_topDepth);
    // Past where the products start again, the path is not made of them.
    if (last.base > std::max(common - m_topDepth, -1))
        return false;
    if (common < m_topDepth) {
        out = levelAt(common)->down;
    } else {
        out = m_levels[common - m_topDepth].down;
        if (!out.invert())
            return false;
    }
    out.multiply(last.down);
    return true;
}

int32_t CkwNode::AlignWalk::meet(CkwNode* node, bool asked)
{
    AlignClimb& climb = node->m_alignClimb;
    if (climb.walk != m_walk) {
        if (!makeRoom(m_steps, m_steps.count() + 1)) {
            m_short = true;
            return -1;
        }
        CkwMatrix path;
        path.preMultiply(node->updateCompositeTransform());
        m_steps.append({node, node->getDepth(), -1, -1, path});
        climb = {m_walk, m_steps.last().depth - kClimbedSteps, m_steps.count() - 1, -1, -1};
    } else if (asked) {
        // Each meeting asked of a reference lets its climb go kClimbedSteps
        // further, so one met often climbs as far as it is asked, and the
        // steps stay in proportion to the meetings.
        climb.reach = std::max(climb.reach - kClimbedSteps, -1);
    }
    const int32_t reach = climb.reach;
    int32_t at = climb.step;
    for (; onPath(m_steps[at]) && m_steps[at].down >= 0 && onPath(m_steps[m_steps[at].down]); ++m_visits)
        at = m_steps[at].down;
    for (; !onPath(m_steps[at]); ++m_visits) {
        if (m_short)
            return -1;
        climb.step = at;
        if (m_steps[at].depth <= reach && m_steps[at].depth > 0)
            return kBeyond;
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
        if (climb.grid < 0 && m_steps[at].depth % kClimbedSteps == 0)
            climb.grid = at;
    }
    climb.step = at;
    return at;
}

bool CkwNode::AlignWalk::reach(CkwNode* reference, Meeting& meeting)
{
    // Up the nodes the path's products are kept for, to one whose product
    // holds or whose climb meets the walk's.
    m_chain.setCount(0);
    int32_t at = kBeyond;
    CkwNode* below = nullptr;
    for (CkwNode* node = reference;; ++m_visits) {
        const AlignClimb& climb = node->m_alignClimb;
        if (climb.walk == m_walk && climb.memo >= 0) {
            const Kept& kept = m_kept[climb.memo];
            if (onPath(kept.meeting, kept.depth) && !onPath(kept.below, kept.depth + 1)) {
                meeting = {kept.meeting, kept.depth, kept.path};
                below = kept.below;
                break;
            }
        }
        at = meet(node, node == reference);
        if (at == -1)
            return false;
        if (at >= 0) {
            const Step& step = m_steps[at];
            meeting = {step.node, step.depth, step.down >= 0 ? m_steps[step.down].path : CkwMatrix()};
            break;
        }
        if (!makeRoom(m_chain, m_chain.count() + 1)) {
            m_short = true;
            return false;
        }
        m_chain.append(node);
        node = m_steps[node->m_alignClimb.grid].node;
    }
    // Then down again, each product the one above times the climb below it.
    if (at >= 0 && m_steps[at].down >= 0)
        below = m_steps[m_steps[at].down].node;
    for (int32_t i = m_chain.count() - 1; i >= 0; --i, ++m_visits) {
        AlignClimb& climb = m_chain[i]->m_alignClimb;
        const Step& step = m_steps[m_steps[climb.grid].down];
        if (below == nullptr)
            below = step.node;
        meeting.path.multiply(step.path);
        if (climb.memo < 0) {
            if (!makeRoom(m_kept, m_kept.count() + 1)) {
                m_short = true;
                return false;
            }
            m_kept.append({});
            climb.memo = m_kept.count() - 1;
        }
        m_kept[climb.memo] = {meeting.node, meeting.depth, below, meeting.path};
    }
    // The reference's own climb may now go as far as the products it was
    // made of, so one met again as the walk moves climbs once, exactly.
    AlignClimb& own = reference->m_alignClimb;
    own.reach = std::min(own.reach, meeting.depth);
    return true;
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
    Meeting common;
    // None met, or the node itself: the reference lies in its subtree.
    if (!reach(reference, common) || common.depth == depth)
        return false;
    // A World parent takes the world transform, as a transform to a World does.
    if (parent->getClassId() == kClassWorld) {
        out = reference->getWorldTransform();
        return common.node == parent;
    }
    const int32_t steps = depth - 1 - common.depth;
    if (steps > kClimbedSteps && throughTop(common.depth, depth - 1, out) && out.invert()) {
        out.multiply(common.path);
        return true;
    }
    CkwMatrix targetPath;
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
    out.multiply(common.path);
    return true;
}

void CkwNode::align(CkwNode* reference)
{
    if (reference != nullptr && !isInSameTree(this, reference))
        leave(KErrIllegalArgument);
    CkwNode* r = reference != nullptr ? reference : this;
    AlignWalk walk(this);
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
