// Node: destruction, enables, animation through the subtree and the node's
// file data. Tree links, transforms, alignment and duplication have files of
// their own (CkwNodeTree, CkwNodeTransform, CkwNodeAlignment, CkwNodeCopy).
#include "engine/core/scene/CkwNode.h"

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/CkwAlignRegistry.h"
#include "engine/core/scene/SceneIds.h"

namespace {

constexpr float kByteToUnit = 0.003921569f;

CkwNode* asNode(IkwSerializable* object)
{
    if (object == nullptr)
        return nullptr;
    auto* node = dynamic_cast<CkwNode*>(object);
    if (node == nullptr)
        leave(KErrCorruptData);
    return node;
}

} // namespace

CkwNode::~CkwNode()
{
    clearAlignment();
    if (CkwAlignRegistry* registry = CkwAlignRegistry::existing())
        registry->removeReference(this);
    // Children whose last count goes with this node wait in the engine
    // context, linked through their sibling field, and the outermost
    // destructor releases them: destroying a deep tree never nests.
    EngineContext* context = engineContext();
    if (m_firstChild != nullptr)
        linksChanged();
    while (CkwNode* child = m_firstChild) {
        m_firstChild = child->m_nextSibling;
        child->m_parent = nullptr;
        child->m_nextSibling = nullptr;
        child->m_previousSibling = nullptr;
        if (child->refCount() == 1 && context != nullptr) {
            child->m_nextSibling = context->pendingDestroy;
            context->pendingDestroy = child;
        } else {
            child->setSubtreeDepth(0);
            child->invalidateWorldTransform();
            child->release();
        }
    }
    if (context == nullptr || context->destroyingNodes)
        return;
    context->destroyingNodes = true;
    while (CkwNode* node = context->pendingDestroy) {
        context->pendingDestroy = node->m_nextSibling;
        node->m_nextSibling = nullptr;
        node->release();
    }
    context->destroyingNodes = false;
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
        m_alphaFactor = clampFloat(values[0], 0.0f, 1.0f);
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
    uint64_t steps = 0;
    for (; node != nullptr; ++steps) {
        int32_t own = kValidityInfinite;
        // A node already animated in this pass is skipped with its subtree,
        // as its own animate call would have been.
        const bool fresh = node->animateTracks(worldTime, stamp, own);
        if (fresh) {
            own = node->animateNodeReferences(worldTime, own, stamp);
            if (own < validity)
                validity = own;
        }
        node = nextInSubtree(node, this, fresh);
    }
    countVisits(steps);
    return validity;
}

// --- File data -------------------------------------------------------------

void CkwNode::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    // A file's nodes arrive below-first, so each group would store its
    // children's depths again: they stay uncounted (asked for by a climb)
    // until a World counts its tree once or the tree joins a counted one.
    m_depth = kDepthUncounted;
    CkwTransformable::deserialize(buffer);
    if (!getGeneralMatrix().isAffine())
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
