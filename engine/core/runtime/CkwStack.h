// A stack over an engine array: push appends with the growth policy, pop drops
// the last element without freeing.
#pragma once

#include "engine/core/runtime/CkwArray.h"

template <class T>
class CkwStack : public CkwHeapObject {
public:
    void push(const T& element) { m_array.append(element); }
    void pop() { m_array.setCount(m_array.count() - 1); }
    T& top() { return m_array.last(); }
    int32_t count() const { return m_array.count(); }
    bool isEmpty() const { return m_array.isEmpty(); }
    CkwArray<T>& array() { return m_array; }

private:
    CkwArray<T> m_array;
};
