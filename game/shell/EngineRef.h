// The game's hold on an engine object: one handle count, given back when the
// holder lets go, so no early return can leak an engine object.
#pragma once

#include <utility>

#include "engine/core/interface/MethodTables.h"

class EngineRef {
public:
    EngineRef() = default;
    // Takes over the count the handle carries.
    explicit EngineRef(EngineHandle* handle) : m_handle(handle) {}
    ~EngineRef() { reset(); }
    EngineRef(EngineRef&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
    EngineRef& operator=(EngineRef&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_handle, nullptr));
        return *this;
    }
    EngineRef(const EngineRef&) = delete;
    EngineRef& operator=(const EngineRef&) = delete;

    // A count of our own on a handle someone else holds.
    static EngineRef retain(EngineHandle* handle)
    {
        if (handle)
            tableOf<IkwUnknownTable>(handle).addRef(handle);
        return EngineRef(handle);
    }
    EngineRef share() const { return retain(m_handle); }
    // The same object through another interface; empty when it has none.
    EngineRef as(uint32_t iid) const
    {
        EngineHandle* out = nullptr;
        if (m_handle && tableOf<IkwUnknownTable>(m_handle).queryInterface(m_handle, iid, &out) != 0)
            out = nullptr;
        return EngineRef(out);
    }

    void reset(EngineHandle* handle = nullptr)
    {
        EngineHandle* old = std::exchange(m_handle, handle);
        if (old)
            tableOf<IkwUnknownTable>(old).release(old);
    }
    EngineHandle* get() const { return m_handle; }
    // The engine object behind the handle: one for all its handles and
    // interfaces, so two holders can tell they hold the same object.
    const void* identity() const { return m_handle ? m_handle->object : nullptr; }
    EngineHandle** out()
    {
        reset();
        return &m_handle;
    }
    template <class Table>
    const Table& table() const
    {
        return tableOf<Table>(m_handle);
    }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    EngineHandle* m_handle = nullptr;
};
