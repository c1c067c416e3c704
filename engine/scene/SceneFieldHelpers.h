// Small helpers the scene classes share for their fields: replacing a counted
// reference and reading bounded floats and typed references from file records.
#pragma once

#include <type_traits>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/runtime/EngineErrors.h"
#include "engine/core/runtime/Trap.h"

// The new object is counted up before the old one is released, so storing
// the object a slot already holds cannot destroy it.
template <class T>
void replaceReference(T*& slot, std::type_identity_t<T>* object)
{
    if (object != nullptr)
        object->addRef();
    T* old = slot;
    slot = object;
    if (old != nullptr)
        old->release();
}

// A float in 0..high, both ends included; anything else leaves -1202.
inline float readFloatUpTo(CkwSerializeBufferObjectsIn& buffer, float high)
{
    const float v = buffer.readFloat();
    if (!(v >= 0.0f && v <= high))
        leave(KErrCorruptData);
    return v;
}

// The object of a file index, which must have class classId, as T; null for
// index 0. An object of that class that is no T leaves -1202 too.
template <class T>
T* readComponent(CkwSerializeBufferObjectsIn& buffer, int32_t classId)
{
    IkwSerializable* object = buffer.readObjectOfType(classId);
    T* component = dynamic_cast<T*>(object);
    if (object != nullptr && component == nullptr)
        leave(KErrCorruptData);
    return component;
}
