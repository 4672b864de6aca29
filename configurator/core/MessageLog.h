#pragma once

#include <functional>
#include <string>
#include <vector>

// The lines of the main window's message list, without widgets: newest first, each
// with its time of reception, its kind (0 normal, 1 error, 2 highlighted) and its
// text. The list view draws them; this unit keeps them, stamps them and copies them.

// Local time of reception as the time stamp shows it.
struct TLogTime {
    int Day = 1;
    int Month = 1;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

// The current local time.
TLogTime LocalLogTime();

// "dd.mm hh:nn:ss.zzz  ": the time stamp with its two trailing blanks.
std::string FormatLogTimeStamp(const TLogTime& time);

struct TLogEntry {
    bool HasTime = false; // lines added directly carry no time stamp
    TLogTime Time;
    int Kind = 0;
    std::string Text;     // the message without its time stamp

    // The stamp (when there is one) followed by the text: the line as shown.
    std::string Line() const;
    // Bytes at the start of Line() drawn in the window text colour: the stamp up to and
    // including the first of its two blanks; 0 for a line without a stamp.
    size_t StampLength() const;
};

class TMessageLog {
public:
    using Clock = std::function<TLogTime()>;

    // The clock stamps every Add; LocalLogTime unless given.
    explicit TMessageLog(Clock clock = {});

    // A received message: stamped with the clock's time, at the top.
    void Add(const std::string& text, int kind);
    // A line as it is, without a time stamp, at the top.
    void AddLine(const std::string& line, int kind);

    int Count() const { return static_cast<int>(entries_.size()); }
    // Index 0 is the newest line.
    const TLogEntry& Entry(int index) const { return entries_.at(static_cast<size_t>(index)); }
    std::string Line(int index) const { return Entry(index).Line(); }

    // Removes the lines at the given indexes (any order, duplicates and indexes outside
    // the list ignored).
    void Delete(const std::vector<int>& indexes);
    void Clear() { entries_.clear(); }

    // The lines at the given indexes in list order, each followed by CR LF; empty when
    // none of them is in the list.
    std::string CopyText(const std::vector<int>& indexes) const;

private:
    // The valid indexes, sorted, each once.
    std::vector<int> Normalized(const std::vector<int>& indexes) const;

    Clock clock_;
    std::vector<TLogEntry> entries_; // newest first
};
