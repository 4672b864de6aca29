#pragma once
// The device session of the library: the device chosen by its index in the device list,
// its connection opened, the script's preliminary phase and the bootloader handshake,
// the operation's own work, the script's final phase, the end pause and the closing of
// the connection, with the operation's progress marks around it all. The reads, the
// writes and the direct I/O of the entry points all run in one.

#include "loader/core/LoaderConnection.h"
#include "loader/protocol/LoaderTransfer.h"
#include "platform/Windows.h"

#include <cstdint>
#include <string>
#include <vector>

class TLoaderCore;

// "Не выбрано подключение": the device index is -1.
extern const char* const kNoConnectionSelected;
// "Выбранное подключение не определено": no device line has the index.
extern const char* const kConnectionUndefined;

// The line of that index; ESarnupolex kNoConnectionSelected for -1,
// kConnectionUndefined for any other index outside the lines.
const std::string& DeviceLineByIndex(const std::vector<std::string>& lines, int32_t index);

// The device line of that index in the core's device list, with the errors of
// DeviceLineByIndex.
std::string SelectDeviceLine(TLoaderCore& core, int32_t device);

// What a session does besides opening and closing the connection.
enum class TSessionKind {
    // An operation of Invoke3: PROGRESS_OP_BEGIN and PROGRESS_OP_END to the operation
    // window, the script's preliminary phase and the handshake once the connection is
    // open, the end pause before it closes.
    Operation,
    // The direct I/O of QuickSend, IORead, IOWrite and IOWriteRead: the connection alone,
    // no marks, no script, no handshake.
    DirectIO,
};

class TDeviceSession {
public:
    // An operation sends PROGRESS_OP_BEGIN first. Then the device line of that index is
    // chosen (the errors of SelectDeviceLine leave here, after PROGRESS_OP_END). Nothing
    // is opened yet: an operation may ask its confirmation first.
    TDeviceSession(TLoaderCore& core, int32_t device, TSessionKind kind);
    // The end of the session on every path (done, cancelled, failed, an exception under
    // way): the end pause of the line's script when the connection was opened (an
    // operation only), the closing of the connection, then PROGRESS_OP_END unless
    // EndProgress sent it. An error of these steps is logged; it changes neither the
    // operation's result nor the error that is leaving.
    ~TDeviceSession();
    TDeviceSession(const TDeviceSession&) = delete;
    TDeviceSession& operator=(const TDeviceSession&) = delete;

    // Opens the line's connection (the errors of TLoaderConnection::OpenDevice). For an
    // operation, then the script's preliminary phase with activation allowed and the
    // handshake, whose errors leave as they are.
    void Open();
    // The script's final phase; with activation, the flash-save activation of a chip
    // with FixedWrite.
    void FinalPhase(bool activation);
    // Sends PROGRESS_OP_END now instead of at the end (before a save dialog that follows
    // the transfer). Once; nothing for the direct I/O.
    void EndProgress() noexcept;

    TLoaderCore& Core() const { return core_; }
    const std::string& Line() const { return line_; }
    // The line's settings (ParseConnectionSettings), known before the connection opens.
    const TConnectionSettings& Settings() const { return settings_; }
    TLoaderConnection& Connection() const;
    // The block transfers of the session, with the write checksum of its writes.
    TBlockTransfer& Transfer() { return transfer_; }

private:
    // PROGRESS_OP_BEGIN when made, PROGRESS_OP_END once: at End or when it goes.
    class TMarks {
    public:
        TMarks(TLoaderCore& core, bool send);
        ~TMarks() { End(); }
        TMarks(const TMarks&) = delete;
        TMarks& operator=(const TMarks&) = delete;
        void End() noexcept;

    private:
        void Send(int32_t code) noexcept;
        platform::HWND window_;
        bool pending_;
    };

    TLoaderCore& core_;
    TSessionKind kind_;
    TMarks marks_; // first made and last gone
    std::string line_;
    TConnectionSettings settings_;
    TBlockTransfer transfer_;
    bool opened_ = false;
};
