#include "model/UiCallbacks.h"

#include <mutex>
#include <shared_mutex>
#include <utility>

IDefaultPrompt::~IDefaultPrompt() = default;
ILogSink::~ILogSink() = default;

namespace {

struct SinkSlot {
    std::shared_mutex lock;
    ILogSink* sink = nullptr;
};

SinkSlot& Slot()
{
    static SinkSlot slot;
    return slot;
}

} // namespace

ILogSink* SetLogSink(ILogSink* sink)
{
    SinkSlot& slot = Slot();
    std::unique_lock guard(slot.lock);
    return std::exchange(slot.sink, sink);
}

void PostLogMessage(const std::string& text, int kind)
{
    SinkSlot& slot = Slot();
    std::shared_lock guard(slot.lock);
    if (slot.sink) slot.sink->post(text, kind);
}
