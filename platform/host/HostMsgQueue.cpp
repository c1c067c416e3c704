#include "platform/host/HostMsgQueue.h"

#include "platform/host/HandleTable.h"
#include "platform/host/HostText.h"
#include "platform/host/LastError.h"

#include <cstddef>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

namespace {

struct Queue {
    MSGQUEUEOPTIONS options{};
    std::deque<std::vector<BYTE>> messages;

    bool post(std::vector<BYTE> message)
    {
        if (message.size() > options.cbMaxMessage
            || (options.dwMaxMessages && messages.size() >= options.dwMaxMessages))
            return false;
        messages.push_back(std::move(message));
        return true;
    }
};

class HostQueueObject final : public HostObject {
public:
    static constexpr HandleKind kKind = HandleKind::MsgQueue;
    explicit HostQueueObject(std::shared_ptr<Queue> queue) : HostObject(kKind), m_queue(std::move(queue)) {}
    Queue& queue() const { return *m_queue; }
    const std::shared_ptr<Queue>& shared() const { return m_queue; }

private:
    std::shared_ptr<Queue> m_queue;
};

// A registration outlives neither its handle nor, usefully, its queue: a
// closed queue simply stops receiving.
struct Registration {
    std::weak_ptr<Queue> queue;
    DWORD mask = 0;
};

std::vector<Registration*>& registrations()
{
    static std::vector<Registration*> r;
    return r;
}

class HostNotificationObject final : public HostObject {
public:
    static constexpr HandleKind kKind = HandleKind::PowerNotification;
    HostNotificationObject(std::weak_ptr<Queue> queue, DWORD mask) : HostObject(kKind)
    {
        m_registration.queue = std::move(queue);
        m_registration.mask = mask;
        registrations().push_back(&m_registration);
    }
    ~HostNotificationObject() override
    {
        auto& all = registrations();
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i] == &m_registration) {
                all.erase(all.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
    }

private:
    Registration m_registration;
};

} // namespace

HANDLE CreateMsgQueue(LPCWSTR, MSGQUEUEOPTIONS* options)
{
    if (!options || options->dwSize < sizeof(MSGQUEUEOPTIONS) || options->cbMaxMessage == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto queue = std::make_shared<Queue>();
    queue->options = *options;
    return hostCreateHandle(std::make_unique<HostQueueObject>(std::move(queue)));
}

BOOL ReadMsgQueue(HANDLE handle, void* buffer, DWORD size, DWORD* bytesRead, DWORD, DWORD* flags)
{
    const HostQueueObject* object = hostHandleAs<HostQueueObject>(handle);
    if (!object)
        return FALSE;
    if (!buffer || !bytesRead) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Queue& queue = object->queue();
    if (!queue.options.bReadAccess) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (queue.messages.empty()) {
        SetLastError(ERROR_TIMEOUT);
        return FALSE;
    }
    const std::vector<BYTE>& message = queue.messages.front();
    if (message.size() > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, message.data(), message.size());
    *bytesRead = static_cast<DWORD>(message.size());
    if (flags)
        *flags = 0;
    queue.messages.pop_front();
    return TRUE;
}

BOOL CloseMsgQueue(HANDLE queue)
{
    return hostCloseHandle(queue, HandleKind::MsgQueue);
}

HANDLE RequestPowerNotifications(HANDLE queue, DWORD mask)
{
    const HostQueueObject* object = hostHandleAs<HostQueueObject>(queue);
    if (!object)
        return nullptr;
    return hostCreateHandle(std::make_unique<HostNotificationObject>(object->shared(), mask));
}

BOOL StopPowerNotifications(HANDLE notification)
{
    return hostCloseHandle(notification, HandleKind::PowerNotification);
}

uint32_t hostBroadcastPower(DWORD message, DWORD flags, LPCWSTR powerState)
{
    const size_t units = hostWideLength(powerState);
    const DWORD length = static_cast<DWORD>((units + 1) * sizeof(WCHAR));
    std::vector<BYTE> bytes(offsetof(POWER_BROADCAST, SystemPowerState) + length, 0);
    POWER_BROADCAST header{ message, flags, length, { 0 } };
    std::memcpy(bytes.data(), &header, offsetof(POWER_BROADCAST, SystemPowerState));
    if (units)
        std::memcpy(bytes.data() + offsetof(POWER_BROADCAST, SystemPowerState), powerState, units * sizeof(WCHAR));

    uint32_t delivered = 0;
    for (Registration* registration : registrations()) {
        const std::shared_ptr<Queue> queue = registration->queue.lock();
        if (queue && (registration->mask & message) && queue->post(bytes))
            ++delivered;
    }
    return delivered;
}
