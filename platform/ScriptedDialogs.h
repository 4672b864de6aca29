#pragma once

#include "platform/Dialogs.h"
#include "platform/PlatformApi.h"

#include <atomic>
#include <deque>
#include <memory>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class DialogKind { MessageBox, FileDialog, InputQuery, Form, WaitWindow };

PLATFORM_API const char* DialogKindName(DialogKind kind);

// One request as the scripted service received it. Only the part of its kind is filled.
struct DialogRecord {
    DialogKind kind = DialogKind::MessageBox;
    MessageBoxRequest box;
    FileDialogRequest file;
    InputRequest input;
    std::string form;       // the form model's name
    WaitWindowRequest wait;
    bool closed = false;     // wait window: its Close was called
    HWND owner = 0;
    bool unexpected = false; // no fitting answer was queued
    std::string answer;      // what was answered, readable

    // One line for failure messages.
    PLATFORM_API std::string Describe() const;
};

// A dialog service for tests: answers from one queue, in order, and records every
// request with all its fields. No widget is ever built.
//
// A request whose kind differs from the next queued answer, or that finds the queue
// empty, or a message box answer that is not one of the box's buttons, is unexpected:
// it is recorded as such and answered as a closed dialog (Cancel, else No; nothing
// chosen; a wait window stops at its first poll); the queue stays as it was.
// Thread-safe; form handlers run outside the service's lock.
class PLATFORM_API ScriptedDialogService : public DialogService {
public:
    ScriptedDialogService();
    ~ScriptedDialogService() override;

    void PushAnswer(MsgResult answer);
    // An accepted file dialog; filterIndex 0 keeps the request's index.
    void PushFile(const std::string& fileName, int filterIndex = 0);
    void PushFileCancel();
    // Text entered and OK; nullopt: Cancel.
    void PushInput(std::optional<std::string> value);
    // The handler edits the form's model and gives the form's answer (OK or Cancel).
    void PushForm(std::function<MsgResult(FormModel& model)> handler);
    // A wait window whose Stop button is pressed after polls answered "not yet" (-1: never).
    void PushWaitWindow(int pollsBeforeStop);

    std::vector<DialogRecord> Records() const;
    std::vector<DialogRecord> UnexpectedRecords() const;
    size_t AnswersLeft() const;
    // Readable list of the answers not used.
    std::vector<std::string> AnswersLeftDescribed() const;
    void Clear();

protected:
    MsgResult DoMessageBox(const MessageBoxRequest& request) override;
    FileDialogResult DoFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> DoInputQuery(const InputRequest& request) override;
    MsgResult DoShowForm(const FormRequest& request) override;
    std::unique_ptr<WaitWindow> DoShowWaitWindow(const WaitWindowRequest& request) override;

private:
    struct Answer {
        explicit Answer(DialogKind k) : kind(k) {}
        DialogKind kind;
        MsgResult result = MsgResult::None;
        FileDialogResult file;
        std::optional<std::string> input;
        std::function<MsgResult(FormModel&)> form;
        int polls = 0;
        std::string Describe() const;
    };

    void Push(Answer answer);
    // Records the request and takes the next answer when it is of the request's kind and
    // fits it; the record's index goes to index.
    std::optional<Answer> Take(DialogRecord record, size_t& index,
                               const std::function<bool(const Answer&)>& fits = {});
    void SetAnswer(size_t index, const std::string& answer);

    mutable std::mutex lock_;
    std::deque<Answer> answers_;
    std::vector<DialogRecord> records_;
    // Per record of a wait window: set by the window's Close (the window may outlive us).
    std::vector<std::pair<size_t, std::shared_ptr<std::atomic<bool>>>> closeFlags_;
};

} // namespace platform
