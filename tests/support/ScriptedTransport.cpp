#include "tests/support/ScriptedTransport.h"

#include "platform/Tick.h"

#include <algorithm>
#include <cstring>

namespace testsupport {

ScriptedTransport::ScriptedTransport(const std::vector<std::string>& pieces)
{
    for (const std::string& piece : pieces) Piece(piece);
}

void ScriptedTransport::Piece(const std::string& bytes)
{
    if (!bytes.empty()) steps_.push_back({bytes, 0});
}

void ScriptedTransport::Silence(uint32_t ms) { steps_.push_back({{}, ms}); }

int32_t ScriptedTransport::Read(void* buffer, int32_t count)
{
    ++reads_;
    if (count < 1) return 0;
    if (steps_.empty()) {
        platform::Sleep(idleMs_);
        return 0;
    }
    Step& step = steps_.front();
    if (step.bytes.empty()) {
        const uint32_t ms = step.silenceMs;
        steps_.pop_front();
        platform::Sleep(ms);
        return 0;
    }
    const size_t n = std::min(step.bytes.size(), static_cast<size_t>(count));
    std::memcpy(buffer, step.bytes.data(), n);
    delivered_.append(step.bytes, 0, n);
    step.bytes.erase(0, n);
    if (step.bytes.empty()) steps_.pop_front();
    return static_cast<int32_t>(n);
}

int32_t ScriptedTransport::Write(const void* buffer, int32_t count)
{
    const std::string bytes(static_cast<const char*>(buffer), static_cast<size_t>(std::max(count, 0)));
    written_ += bytes;
    ++writes_;
    if (responder_) responder_(*this, bytes);
    return static_cast<int32_t>(bytes.size());
}

int32_t ScriptedTransport::InQueue()
{
    return steps_.empty() ? 0 : static_cast<int32_t>(steps_.front().bytes.size());
}

} // namespace testsupport
