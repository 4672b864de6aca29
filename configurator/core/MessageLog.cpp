#include "configurator/core/MessageLog.h"

#include "platform/Format.h"

#include <algorithm>
#include <chrono>
#include <ctime>

TLogTime LocalLogTime()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    TLogTime t;
    t.Day = local.tm_mday;
    t.Month = local.tm_mon + 1;
    t.Hour = local.tm_hour;
    t.Minute = local.tm_min;
    t.Second = local.tm_sec;
    t.Millisecond = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return t;
}

std::string FormatLogTimeStamp(const TLogTime& t)
{
    return platform::Format("%.2d.%.2d %.2d:%.2d:%.2d.%.3d  ", t.Day, t.Month, t.Hour, t.Minute, t.Second,
                            t.Millisecond);
}

std::string TLogEntry::Line() const { return HasTime ? FormatLogTimeStamp(Time) + Text : Text; }

size_t TLogEntry::StampLength() const { return HasTime ? FormatLogTimeStamp(Time).size() - 1 : 0; }

TMessageLog::TMessageLog(Clock clock) : clock_(clock ? std::move(clock) : Clock(LocalLogTime)) {}

void TMessageLog::Add(const std::string& text, int kind)
{
    TLogEntry entry;
    entry.HasTime = true;
    entry.Time = clock_();
    entry.Kind = kind;
    entry.Text = text;
    entries_.insert(entries_.begin(), std::move(entry));
}

void TMessageLog::AddLine(const std::string& line, int kind)
{
    TLogEntry entry;
    entry.Kind = kind;
    entry.Text = line;
    entries_.insert(entries_.begin(), std::move(entry));
}

std::vector<int> TMessageLog::Normalized(const std::vector<int>& indexes) const
{
    std::vector<int> valid;
    for (int i : indexes)
        if (i >= 0 && i < Count()) valid.push_back(i);
    std::sort(valid.begin(), valid.end());
    valid.erase(std::unique(valid.begin(), valid.end()), valid.end());
    return valid;
}

void TMessageLog::Delete(const std::vector<int>& indexes)
{
    const std::vector<int> valid = Normalized(indexes);
    for (auto it = valid.rbegin(); it != valid.rend(); ++it) entries_.erase(entries_.begin() + *it);
}

std::string TMessageLog::CopyText(const std::vector<int>& indexes) const
{
    std::string text;
    for (int i : Normalized(indexes)) {
        text += Line(i);
        text += "\r\n";
    }
    return text;
}
