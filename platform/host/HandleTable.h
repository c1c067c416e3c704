// The table behind every HANDLE the stand-in gives out. A handle names a slot
// and the slot's generation, so a closed or reused handle is refused instead
// of reaching another object. One thread uses the table, as on the phone.
#pragma once

#include "platform/host/HostTypes.h"

#include <memory>

enum class HandleKind : uint8_t {
    File,
    FileMapping,
    MsgQueue,
    PowerNotification,
    RegistryKey,
    Socket,
    Window,
    WaveOut,
    Other,
};

// An object owned by the handle table; closing its handle deletes it.
class HostObject {
public:
    explicit HostObject(HandleKind kind) : m_kind(kind) {}
    virtual ~HostObject() = default;
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;

    HandleKind kind() const { return m_kind; }

private:
    HandleKind m_kind;
};

// Takes ownership and returns the new handle; null when the table is full.
HANDLE hostCreateHandle(std::unique_ptr<HostObject> object);

// The object behind a live handle of the given kind, else null with
// ERROR_INVALID_HANDLE.
HostObject* hostLookupHandle(HANDLE handle, HandleKind kind);

template <class T>
T* hostHandleAs(HANDLE handle)
{
    return static_cast<T*>(hostLookupHandle(handle, T::kKind));
}

// Deletes the object behind a live handle of the given kind; FALSE with
// ERROR_INVALID_HANDLE for anything else.
BOOL hostCloseHandle(HANDLE handle, HandleKind kind);

// Number of live handles, for tests that check nothing leaks.
uint32_t hostLiveHandleCount();

// Closes files, mappings and power-notification handles alike.
BOOL CloseHandle(HANDLE handle);
