// A handler list whose run updates every entry's listener once a frame: the
// frame ticker's task list, its groups, and the input-action group.
#pragma once

#include "framework/events/HandlerList.h"
#include "framework/events/TaskIds.h"

class TaskList : public HandlerList {
public:
    explicit TaskList(uint32_t typeId = TypeId::TaskList) : HandlerList(typeId) {}

    // Runs every entry's payload through Listener::update; entries whose
    // payload deleted itself are unlinked and deleted.
    int run(uint32_t amount, const TickInfo& tick) override;
    void runEntries(const TickInfo& tick);

    // Payload-less entries are resolved by key through this hook (the
    // resource manager's: a loaded resource that is a listener, with no
    // reference taken). Entries it cannot resolve are skipped.
    using Resolver = Listener* (*)(uint32_t key);
    static void setResolver(Resolver resolver);
};

// The input-action group: owns its actions and deletes them with itself.
class InputActionList : public TaskList {
public:
    InputActionList() : TaskList(TypeId::InputActionList) {}
    ~InputActionList() override;
};
