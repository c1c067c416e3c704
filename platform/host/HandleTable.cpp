// Slots are reused through a free list; the generation in the upper bits of a
// handle changes on every reuse, so stale handles miss.
#include "platform/host/HandleTable.h"

#include "platform/host/LastError.h"

#include <vector>

namespace {

constexpr uintptr_t kIndexBits = 20;
constexpr uintptr_t kIndexMask = (uintptr_t(1) << kIndexBits) - 1;
constexpr uint32_t kGenerationMask = 0x7FF; // keeps handles positive in 32 bits

struct Slot {
    std::unique_ptr<HostObject> object;
    uint32_t generation = 1;
};

struct Table {
    std::vector<Slot> slots;
    std::vector<uint32_t> freeSlots;
    uint32_t live = 0;
};

Table& table()
{
    static Table t;
    return t;
}

// Handle value = generation << 20 | (index + 1): never 0 and never all ones.
Slot* slotOf(HANDLE handle)
{
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    const uintptr_t index = (value & kIndexMask);
    Table& t = table();
    if (index == 0 || index > t.slots.size())
        return nullptr;
    Slot& slot = t.slots[index - 1];
    if (!slot.object || (value >> kIndexBits) != slot.generation)
        return nullptr;
    return &slot;
}

} // namespace

HANDLE hostCreateHandle(std::unique_ptr<HostObject> object)
{
    if (!object)
        return nullptr;
    Table& t = table();
    uint32_t index;
    if (!t.freeSlots.empty()) {
        index = t.freeSlots.back();
        t.freeSlots.pop_back();
    } else {
        if (t.slots.size() >= kIndexMask) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        index = static_cast<uint32_t>(t.slots.size());
        t.slots.emplace_back();
    }
    Slot& slot = t.slots[index];
    slot.object = std::move(object);
    ++t.live;
    return reinterpret_cast<HANDLE>((uintptr_t(slot.generation) << kIndexBits) | (index + 1));
}

HostObject* hostLookupHandle(HANDLE handle, HandleKind kind)
{
    Slot* slot = slotOf(handle);
    if (!slot || slot->object->kind() != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return slot->object.get();
}

BOOL hostCloseHandle(HANDLE handle, HandleKind kind)
{
    Slot* slot = slotOf(handle);
    if (!slot || slot->object->kind() != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Table& t = table();
    // Detach first: the object's destructor may itself close handles.
    std::unique_ptr<HostObject> object = std::move(slot->object);
    slot->generation = (slot->generation % kGenerationMask) + 1;
    t.freeSlots.push_back(static_cast<uint32_t>(slot - t.slots.data()));
    --t.live;
    object.reset();
    return TRUE;
}

uint32_t hostLiveHandleCount()
{
    return table().live;
}

BOOL CloseHandle(HANDLE handle)
{
    Slot* slot = slotOf(handle);
    if (!slot) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    switch (slot->object->kind()) {
    case HandleKind::File:
    case HandleKind::FileMapping:
    case HandleKind::PowerNotification:
    case HandleKind::Other:
        return hostCloseHandle(handle, slot->object->kind());
    default:
        // Queues, keys and windows have their own closing calls.
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
}
