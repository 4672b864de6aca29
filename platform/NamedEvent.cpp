#include "platform/NamedEvent.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

namespace platform {

struct NamedEvent::State {
    std::string name;
    uint32_t handle = 0;
    bool manualReset = false;
    std::mutex mutex;
    std::condition_variable changed;
    bool signalled = false;
};

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<NamedEvent::State>> events;
    uint32_t nextHandle = 0x4000;
};

Registry& Events()
{
    static Registry* registry = new Registry; // outlives every event of static lifetime
    return *registry;
}

} // namespace

NamedEvent::NamedEvent(std::string name, bool manualReset, bool initialState)
{
    Registry& r = Events();
    std::lock_guard lock(r.mutex);
    std::weak_ptr<State>& slot = r.events[name];
    state_ = slot.lock();
    if (state_) return;
    state_ = std::make_shared<State>();
    state_->name = std::move(name);
    state_->handle = ++r.nextHandle;
    state_->manualReset = manualReset;
    state_->signalled = initialState;
    slot = state_;
}

NamedEvent::~NamedEvent()
{
    Registry& r = Events();
    std::lock_guard lock(r.mutex);
    const auto it = r.events.find(state_->name);
    state_.reset();
    if (it != r.events.end() && it->second.expired()) r.events.erase(it);
}

const std::string& NamedEvent::Name() const { return state_->name; }

uint32_t NamedEvent::Handle() const { return state_->handle; }

void NamedEvent::Set()
{
    {
        std::lock_guard lock(state_->mutex);
        state_->signalled = true;
    }
    if (state_->manualReset)
        state_->changed.notify_all();
    else
        state_->changed.notify_one();
}

void NamedEvent::Reset()
{
    std::lock_guard lock(state_->mutex);
    state_->signalled = false;
}

bool NamedEvent::Wait(uint32_t timeoutMs)
{
    std::unique_lock lock(state_->mutex);
    if (!state_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return state_->signalled; }))
        return false;
    if (!state_->manualReset) state_->signalled = false;
    return true;
}

} // namespace platform
