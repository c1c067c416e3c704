// The alignment registry. Removal from either array moves the last entry into
// the freed place, and tells the moved entry its new place: order carries no
// meaning here.
#include "engine/scene/CkwAlignTargetManager.h"

#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/scene/CkwNode.h"

CkwAlignTargetManager::CkwAlignTarget::~CkwAlignTarget()
{
    for (CkwNode* node : m_nodes)
        CkwNode::forgetAlignmentReference(node, m_reference);
    m_nodes.setCount(0);
    m_reference->setAlignTarget(nullptr);
}

CkwAlignTargetManager::~CkwAlignTargetManager()
{
    for (CkwAlignTarget* target : m_targets)
        delete target;
}

void CkwAlignTargetManager::registerNode(CkwNode* node)
{
    auto* alignment = const_cast<CkwNode::Alignment*>(node->getAlignment());
    if (alignment == nullptr)
        return;
    // A node aligned twice to one reference is listed once. A place stays
    // -1 until the node is listed, so a registration that ran out of memory
    // halfway unregisters cleanly.
    alignment->zSlot = alignment->ySlot = -1;
    if (alignment->zReference != nullptr)
        alignment->zSlot = addToTarget(alignment->zReference, node);
    if (alignment->yReference == alignment->zReference)
        alignment->ySlot = alignment->zSlot;
    else if (alignment->yReference != nullptr)
        alignment->ySlot = addToTarget(alignment->yReference, node);
}

int32_t CkwAlignTargetManager::addToTarget(CkwNode* reference, CkwNode* node)
{
    auto* target = static_cast<CkwAlignTarget*>(reference->alignTarget());
    if (target == nullptr) {
        CkwCleanupPtr<CkwAlignTarget> made(new CkwAlignTarget(reference));
        made->m_nodes.setCapacity(1);
        made->m_index = m_targets.count();
        m_targets.append(made.get());
        target = made.release();
        reference->setAlignTarget(target);
    }
    target->m_nodes.append(node);
    countEngineVisits(1);
    return target->m_nodes.count() - 1;
}

void CkwAlignTargetManager::unregisterNode(CkwNode* node)
{
    const CkwNode::Alignment* alignment = node->getAlignment();
    if (alignment == nullptr)
        return;
    CkwNode* const z = alignment->zReference;
    CkwNode* const y = alignment->yReference;
    if (z != nullptr && alignment->zSlot >= 0)
        removeFromTarget(z, alignment->zSlot);
    if (y != nullptr && y != z && alignment->ySlot >= 0)
        removeFromTarget(y, alignment->ySlot);
    CkwNode::forgetAlignmentReference(node, z);
    CkwNode::forgetAlignmentReference(node, y);
}

void CkwAlignTargetManager::removeFromTarget(CkwNode* reference, int32_t slot)
{
    auto* target = static_cast<CkwAlignTarget*>(reference->alignTarget());
    countEngineVisits(1);
    CkwNode* moved = target->m_nodes.last();
    target->m_nodes[slot] = moved;
    target->m_nodes.setCount(target->m_nodes.count() - 1);
    auto* place = const_cast<CkwNode::Alignment*>(moved->getAlignment());
    if (place->zReference == reference)
        place->zSlot = slot;
    if (place->yReference == reference)
        place->ySlot = slot;
    if (target->m_nodes.isEmpty())
        removeTarget(target);
}

void CkwAlignTargetManager::removeReference(CkwNode* node)
{
    if (auto* target = static_cast<CkwAlignTarget*>(node->alignTarget()))
        removeTarget(target);
}

void CkwAlignTargetManager::removeTarget(CkwAlignTarget* target)
{
    CkwAlignTarget* moved = m_targets.last();
    m_targets[target->m_index] = moved;
    moved->m_index = target->m_index;
    m_targets.setCount(m_targets.count() - 1);
    delete target;
}
