// Group: the child list with its checks and the group's file data.
#include "engine/scene/CkwGroup.h"

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"

IkwSerializable* CkwGroup::create() { return new CkwGroup; }

void CkwGroup::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwNode::deserialize(buffer);
    readChildren(buffer);
}

void CkwGroup::readChildren(CkwSerializeBufferObjectsIn& buffer)
{
    for (uint32_t n = buffer.readArrayCount(4); n > 0; --n) {
        IkwSerializable* object = buffer.readNodeReference(false);
        auto* node = dynamic_cast<CkwNode*>(object);
        if (object != nullptr && node == nullptr)
            leave(KErrCorruptData);
        addChild(node);
    }
}

CkwReference CkwGroup::getReference(int32_t index) const
{
    if (CkwNode* child = childAt(index))
        return CkwReference::single(child);
    return CkwObject3D::getReference(index - childCount());
}

void CkwGroup::addChild(CkwNode* node)
{
    if (node == nullptr)
        leave(KErrNullArgument);
    if (node->getParent() == this)
        return;
    if (node == this || node->getClassId() == kClassWorld || node->getParent() != nullptr
        || node->isAncestorOf(this))
        leave(KErrIllegalArgument);
    CkwNode* last = lastChild();
    if (last != nullptr)
        node->insertAfter(last);
    else
        node->attachTo(this);
}

void CkwGroup::removeChild(CkwNode* node)
{
    if (node == nullptr)
        return;
    if (node->nodeFlags() & kNodeBone)
        leave(KErrIllegalArgument);
    if (node->getParent() == this)
        node->detach();
}

CkwNode* CkwGroup::getChild(int32_t index) const
{
    CkwNode* child = childAt(index);
    if (child == nullptr)
        leave(KErrIndexOutOfRange);
    return child;
}

CkwNode* CkwGroup::copyNode() const
{
    CkwCleanupPtr<CkwGroup> copy(new CkwGroup);
    copy->copyNodeFields(*this);
    return copy.release();
}
