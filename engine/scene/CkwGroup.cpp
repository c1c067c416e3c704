// Group: the child list with its checks, the group's file data and the
// 3-vector helpers of picking.
#include "engine/scene/CkwGroup.h"

#include <cmath>

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

float vec3Length(const float* v)
{
    return static_cast<float>(std::sqrt(static_cast<double>(v[0] * v[0] + v[1] * v[1] + v[2] * v[2])));
}

float vec3Dot(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void vec3SubInPlace(float* a, const float* b)
{
    a[0] -= b[0];
    a[1] -= b[1];
    a[2] -= b[2];
}
