#pragma once

#include "archive/HvoStreams.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// The stages of deflated entry data (raw deflate streams, no zlib header). Each owns its
// zlib state, ended in every case, and its output buffer.

// Inflates the compressed bytes written to it and hands what comes out to next, in
// pieces of at most the output size it was made with.
class THvoInflateStream : public TWriteOnlyStream {
public:
    enum TState {
        isOpen,    // takes more input
        isEnded,   // the deflate stream is complete; further input is not looked at
        isDamaged, // the data is not a deflate stream
        isStopped, // beforeStep said no, or next took less than it was given
    };

    // beforeStep, when given, runs before every call of inflate and stops the stage by
    // returning false.
    THvoInflateStream(TStream& next, size_t outputSize, std::function<bool()> beforeStep = {});
    ~THvoInflateStream() override;

    // Whether zlib could start; a stage that could not takes nothing.
    bool Ready() const { return ready_; }
    TState State() const { return state_; }
    // Inflates the bytes until they are used up with room left in the output, the stream
    // ends, the data proves damaged or the stage stops; returns the bytes taken. An open
    // stage only.
    int64_t Write(const void* buffer, int64_t count) override;

private:
    struct TZlib;
    TStream& next_;
    std::function<bool()> beforeStep_;
    std::unique_ptr<TZlib> zlib_;
    std::vector<uint8_t> output_;
    bool ready_ = false;
    TState state_ = isOpen;
};

// Deflates the bytes written to it at a compression level and hands the result of each
// write to next in one piece: every write ends with a sync flush, and the write that
// completes totalSize bytes of input finishes the stream instead.
class THvoDeflateStream : public TWriteOnlyStream {
public:
    THvoDeflateStream(TStream& next, int level, int64_t totalSize);
    ~THvoDeflateStream() override;

    // Whether zlib could start at that level.
    bool Ready() const { return ready_; }
    // count when the bytes were deflated and next took the result, else 0 (zlib failed or
    // next took less).
    int64_t Write(const void* buffer, int64_t count) override;
    // Ends the zlib state: its result (Z_OK; Z_DATA_ERROR for a stream left unfinished).
    // Z_OK when it never started or has ended already.
    int End();
    // The most bytes deflate makes of size bytes at level with a flush after every
    // chunk of at least 512 KiB.
    static uint64_t Bound(int level, uint64_t size);

private:
    struct TZlib;
    TStream& next_;
    std::unique_ptr<TZlib> zlib_;
    std::vector<uint8_t> output_;
    int64_t totalSize_;
    int64_t taken_ = 0;
    bool ready_ = false;
};
