// Node alignment: the alignment record, its registration with the engine's
// alignment registry, and turning a node toward its references.
#include "engine/core/scene/CkwNode.h"

#include <cmath>
#include <exception>
#include <limits>
#include <tuple>

#include "engine/core/math/Quaternion.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/CkwAlignRegistry.h"
#include "engine/core/scene/SceneIds.h"

namespace {

// v scaled by a power of two into out, which keeps its direction to the last
// bit, so that its largest component lies in [0.5, 1): its square can neither
// overflow nor vanish however far away a target lies. False for a vector
// past the range of doubles, which has no direction.
bool scaleToUnitRange(const double v[3], CkwVector3D& out)
{
    if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2]))
        return false;
    int exponent = 0;
    std::frexp(std::fmax(std::fabs(v[0]), std::fmax(std::fabs(v[1]), std::fabs(v[2]))), &exponent);
    out = {static_cast<float>(std::ldexp(v[0], -exponent)), static_cast<float>(std::ldexp(v[1], -exponent)),
           static_cast<float>(std::ldexp(v[2], -exponent))};
    return true;
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

void CkwNode::AlignPath::climb(const CkwMatrix& composite)
{
    // composite x this: the step to the parent's space, applied on the left.
    const float* c = composite.m;
    AlignPath product;
    for (int32_t r = 0; r < 3; ++r)
        for (int32_t k = 0; k < 4; ++k) {
            double sum = k == 3 ? c[12 + r] : 0.0;
            for (int32_t j = 0; j < 3; ++j)
                sum += double{c[4 * j + r]} * m[j][k];
            product.m[r][k] = sum;
        }
    *this = product;
}

bool CkwNode::AlignPath::solve(double v[3]) const
{
    // Scaled by a power of two first, so the determinant of a path of tiny
    // or huge scales stays in range; Cramer's rule on what is left.
    double largest = 0;
    for (int32_t r = 0; r < 3; ++r)
        for (int32_t c = 0; c < 3; ++c)
            largest = std::fmax(largest, std::fabs(m[r][c]));
    int exponent = 0;
    std::frexp(largest, &exponent);
    double a[3][3];
    double b[3];
    for (int32_t r = 0; r < 3; ++r) {
        for (int32_t c = 0; c < 3; ++c)
            a[r][c] = std::ldexp(m[r][c], -exponent);
        b[r] = std::ldexp(v[r], -exponent);
    }
    const auto det = [](const double (&x)[3][3]) {
        return x[0][0] * (x[1][1] * x[2][2] - x[1][2] * x[2][1]) - x[0][1] * (x[1][0] * x[2][2] - x[1][2] * x[2][0])
               + x[0][2] * (x[1][0] * x[2][1] - x[1][1] * x[2][0]);
    };
    const double d = det(a);
    if (!(std::fabs(d) > 0) || !std::isfinite(d))
        return false;
    for (int32_t c = 0; c < 3; ++c) {
        double column[3][3];
        for (int32_t r = 0; r < 3; ++r)
            for (int32_t k = 0; k < 3; ++k)
                column[r][k] = k == c ? b[r] : a[r][k];
        v[c] = det(column) / d;
    }
    return true;
}

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

// Every target is found as getTransformTo finds it: a climb from the
// reference and from the node's parent to where the two meet, so each product
// is taken relative to the meeting node however far from the root that lies,
// and in double, so translations far from the meeting node on both paths
// cancel without losing what the paths differ by. A first walk checks each
// reference, counts the steps those climbs will take, gives each aligned
// node its own transform block and notes the way it faces, so a call that
// cannot be made, one past the budget or one that runs out of memory is
// refused before any node turns, and one that meets a path it cannot invert
// (which only the second walk computes) turns back what it turned.
void CkwNode::align(CkwNode* reference)
{
    if (reference != nullptr && !isInSameTree(this, reference))
        leave(KErrIllegalArgument);
    CkwNode* const r = reference != nullptr ? reference : this;
    struct Visits {
        uint64_t count = 0;
        ~Visits() { countVisits(count); } // however the call ends
    } visits;
    uint64_t steps = 0;
    for (CkwNode* node = this; node != nullptr; node = nextInSubtree(node, this, true)) {
        ++visits.count;
        if (node->m_alignment == nullptr)
            continue;
        steps += node->alignmentSteps(r, kAlignStepsPerCall - steps);
        if (steps > kAlignStepsPerCall)
            leave(KErrIllegalState);
        node->ownComponents();
        quaternionCopy(node->m_alignment->facing, node->getOrientation());
    }
    const auto eachAligned = [&](const auto& act) {
        for (CkwNode* node = this; node != nullptr; node = nextInSubtree(node, this, true)) {
            ++visits.count;
            if (node->m_alignment != nullptr)
                act(node);
        }
    };
    // Parents first: a child's alignment reads its parent's new orientation.
    try {
        eachAligned([r](CkwNode* node) { node->alignNode(r); });
    } catch (...) {
        eachAligned([](CkwNode* node) { node->setOrientation(node->m_alignment->facing); });
        throw;
    }
}

uint64_t CkwNode::alignmentSteps(CkwNode* reference, uint64_t allowed)
{
    const Alignment& a = *m_alignment;
    uint64_t steps = 0;
    for (const auto& [target, node, lost] : {std::tuple(a.zTarget, a.zReference, a.zLost),
                                             std::tuple(a.yTarget, a.yReference, a.yLost)}) {
        if (target == kAlignNone || steps > allowed)
            continue;
        if (lost)
            leave(KErrIllegalState);
        steps += climb(node != nullptr ? node : reference, allowed - steps, nullptr);
    }
    return steps;
}

uint64_t CkwNode::climb(CkwNode* reference, uint64_t allowed, AlignPaths* paths)
{
    CkwNode* a = reference;
    CkwNode* b = m_parent;
    if (b == nullptr)
        leave(KErrIllegalState);
    int32_t depthA = a->getDepth();
    int32_t depthB = b->getDepth();
    const CkwNode* below = nullptr; // the last node the reference's side left
    uint64_t steps = 0;
    for (; a != b && a != nullptr && b != nullptr && steps <= allowed; ++steps) {
        if (depthA >= depthB) {
            if (paths != nullptr)
                paths->fromReference.climb(a->updateCompositeTransform());
            below = a;
            a = a->m_parent;
            --depthA;
        } else {
            if (paths != nullptr)
                paths->fromParent.climb(b->updateCompositeTransform());
            b = b->m_parent;
            --depthB;
        }
    }
    countVisits(steps);
    // Another tree, or a reference below this node (where its climb meets
    // the parent's through this node).
    if ((a != b && steps <= allowed) || below == this)
        leave(KErrIllegalState);
    return steps;
}

void CkwNode::alignNode(CkwNode* reference)
{
    const Alignment a = *m_alignment;
    const int32_t targets[2] = {a.zTarget, a.yTarget};
    CkwNode* const references[2] = {a.zReference, a.yReference};
    CkwVector3D vectors[2] = {};
    for (int32_t k = 0; k < 2; ++k) {
        if (targets[k] == kAlignNone)
            continue;
        AlignPaths paths;
        climb(references[k] != nullptr ? references[k] : reference, kAlignStepsPerCall, &paths);
        // The reference's origin relative to this node's own position, or its
        // axis, in the parent's space.
        const int32_t column = targets[k] == kAlignOrigin ? 3 : targets[k] - kAlignXAxis;
        double v[3];
        for (int32_t i = 0; i < 3; ++i)
            v[i] = paths.fromReference.m[i][column] - (column == 3 ? paths.fromParent.m[i][3] : 0.0);
        if (!paths.fromParent.solve(v))
            leave(KErrArithmetic);
        if (column == 3)
            for (int32_t i = 0; i < 3; ++i)
                v[i] -= getTranslation()[i];
        if (!scaleToUnitRange(v, vectors[k]))
            leave(KErrArithmetic);
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
