#pragma once

#include "platform/PlatformApi.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// An event shared by name between the threads of this process: objects made with the
// same name share one state. An auto-reset event lets one waiter through per Set and is
// not signalled afterwards; a manual-reset one stays signalled until Reset. Each event
// has a 32-bit handle, never 0 and never given to another event of the process.
class PLATFORM_API NamedEvent {
public:
    // Opens the event of that name, creating it (with manualReset and initialState)
    // when no object of the name exists; an opened event keeps the kind it was made with.
    NamedEvent(std::string name, bool manualReset, bool initialState);
    ~NamedEvent();
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    const std::string& Name() const;
    uint32_t Handle() const;

    void Set();
    void Reset();
    // Waits at most timeoutMs for the event; true when it was signalled (an auto-reset
    // event is then reset).
    bool Wait(uint32_t timeoutMs);

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace platform
