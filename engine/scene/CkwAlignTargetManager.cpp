// The alignment registry. Removal from either array moves the last entry into
// the freed place: order carries no meaning here.
#include "engine/scene/CkwAlignTargetManager.h"

#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/scene/CkwNode.h"

namespace {

template <class T>
void removeSwapLast(CkwArray<T>& array, int32_t index)
{
    array[index] = array.last();
    array.setCount(array.count() - 1);
}

} // namespace

CkwAlignTargetManager::CkwAlignTarget::~CkwAlignTarget()
{
    for (CkwNode* node : m_nodes)
        CkwNode::forgetAlignmentReference(node, m_reference);
    m_nodes.setCount(0);
}

CkwAlignTargetManager::~CkwAlignTargetManager()
{
    for (CkwAlignTarget* target : m_targets)
        delete target;
}

const CkwAlignTargetManager::CkwAlignTarget* CkwAlignTargetManager::findTarget(const CkwNode* reference) const
{
    for (const CkwAlignTarget* target : m_targets)
        if (target->m_reference == reference)
            return target;
    return nullptr;
}

void CkwAlignTargetManager::registerNode(CkwNode* node)
{
    const CkwNode::Alignment* alignment = node->getAlignment();
    if (alignment == nullptr)
        return;
    addToTarget(alignment->zReference, node);
    addToTarget(alignment->yReference, node);
}

void CkwAlignTargetManager::addToTarget(CkwNode* reference, CkwNode* node)
{
    if (reference == nullptr)
        return;
    if (auto* target = const_cast<CkwAlignTarget*>(findTarget(reference))) {
        for (CkwNode* listed : target->m_nodes)
            if (listed == node)
                return;
        target->m_nodes.append(node);
        return;
    }
    CkwCleanupPtr<CkwAlignTarget> target(new CkwAlignTarget(reference));
    target->m_nodes.append(node);
    m_targets.append(target.get());
    target.release();
}

void CkwAlignTargetManager::unregisterNode(CkwNode* node)
{
    const CkwNode::Alignment* alignment = node->getAlignment();
    if (alignment == nullptr)
        return;
    for (int32_t i = 0; i < m_targets.count();) {
        CkwAlignTarget* target = m_targets[i];
        CkwNode* reference = target->m_reference;
        if (reference != alignment->zReference && reference != alignment->yReference) {
            ++i;
            continue;
        }
        for (int32_t k = 0; k < target->m_nodes.count();) {
            if (target->m_nodes[k] != node) {
                ++k;
                continue;
            }
            removeSwapLast(target->m_nodes, k);
            CkwNode::forgetAlignmentReference(node, reference);
        }
        if (target->m_nodes.isEmpty())
            removeTargetAt(i);
        else
            ++i;
    }
}

void CkwAlignTargetManager::removeReference(CkwNode* node)
{
    for (int32_t i = 0; i < m_targets.count(); ++i) {
        if (m_targets[i]->m_reference == node) {
            removeTargetAt(i);
            return;
        }
    }
}

void CkwAlignTargetManager::removeTargetAt(int32_t index)
{
    CkwAlignTarget* target = m_targets[index];
    removeSwapLast(m_targets, index);
    delete target;
}
