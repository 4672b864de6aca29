#include "platform/ScriptedDialogs.h"

#include <algorithm>
#include <atomic>

namespace platform {

const char* DialogKindName(DialogKind kind)
{
    switch (kind) {
    case DialogKind::MessageBox: return "message box";
    case DialogKind::FileDialog: return "file dialog";
    case DialogKind::InputQuery: return "input prompt";
    case DialogKind::Form: return "form";
    case DialogKind::WaitWindow: return "wait window";
    }
    return "?";
}

std::string DialogRecord::Describe() const
{
    std::string s = std::string(DialogKindName(kind)) + ": ";
    switch (kind) {
    case DialogKind::MessageBox:
        s += "\"" + box.caption + "\" \"" + box.text + "\"";
        break;
    case DialogKind::FileDialog:
        s += std::string(file.kind == FileDialogKind::Open ? "open" : "save") + " \"" + file.title + "\" filter \"" +
             file.filter + "\" file \"" + file.fileName + "\"";
        break;
    case DialogKind::InputQuery:
        s += "\"" + input.caption + "\" \"" + input.prompt + "\"";
        break;
    case DialogKind::Form:
        s += form;
        break;
    case DialogKind::WaitWindow:
        s += "\"" + wait.caption + "\" \"" + wait.text + "\"";
        break;
    }
    if (!answer.empty())
        s += " -> " + answer;
    return s;
}

std::string ScriptedDialogService::Answer::Describe() const
{
    std::string s = std::string(DialogKindName(kind)) + " answer";
    switch (kind) {
    case DialogKind::MessageBox:
        return s + " " + MsgResultName(result);
    case DialogKind::FileDialog:
        return s + (file.accepted ? " \"" + file.fileName + "\"" : " cancel");
    case DialogKind::InputQuery:
        return s + (input ? " \"" + *input + "\"" : " cancel");
    case DialogKind::WaitWindow:
        return s + " stop after " + std::to_string(polls) + " polls";
    case DialogKind::Form:
        break;
    }
    return s;
}

ScriptedDialogService::ScriptedDialogService() = default;
ScriptedDialogService::~ScriptedDialogService() = default;

void ScriptedDialogService::Push(Answer answer)
{
    std::lock_guard guard(lock_);
    answers_.push_back(std::move(answer));
}

void ScriptedDialogService::PushAnswer(MsgResult answer)
{
    Answer a(DialogKind::MessageBox);
    a.result = answer;
    Push(std::move(a));
}

void ScriptedDialogService::PushFile(const std::string& fileName, int filterIndex)
{
    Answer a(DialogKind::FileDialog);
    a.file = FileDialogResult{true, fileName, filterIndex};
    Push(std::move(a));
}

void ScriptedDialogService::PushFileCancel() { Push(Answer(DialogKind::FileDialog)); }

void ScriptedDialogService::PushInput(std::optional<std::string> value)
{
    Answer a(DialogKind::InputQuery);
    a.input = std::move(value);
    Push(std::move(a));
}

void ScriptedDialogService::PushForm(std::function<MsgResult(FormModel&)> handler)
{
    Answer a(DialogKind::Form);
    a.form = std::move(handler);
    Push(std::move(a));
}

void ScriptedDialogService::PushWaitWindow(int pollsBeforeStop)
{
    Answer a(DialogKind::WaitWindow);
    a.polls = pollsBeforeStop;
    Push(std::move(a));
}

std::vector<DialogRecord> ScriptedDialogService::Records() const
{
    std::lock_guard guard(lock_);
    std::vector<DialogRecord> records = records_;
    for (const auto& [index, closed] : closeFlags_)
        if (index < records.size()) records[index].closed = *closed;
    return records;
}

std::vector<DialogRecord> ScriptedDialogService::UnexpectedRecords() const
{
    std::lock_guard guard(lock_);
    std::vector<DialogRecord> out;
    std::copy_if(records_.begin(), records_.end(), std::back_inserter(out),
                 [](const DialogRecord& r) { return r.unexpected; });
    return out;
}

size_t ScriptedDialogService::AnswersLeft() const
{
    std::lock_guard guard(lock_);
    return answers_.size();
}

std::vector<std::string> ScriptedDialogService::AnswersLeftDescribed() const
{
    std::lock_guard guard(lock_);
    std::vector<std::string> out;
    for (const auto& a : answers_)
        out.push_back(a.Describe());
    return out;
}

void ScriptedDialogService::Clear()
{
    std::lock_guard guard(lock_);
    answers_.clear();
    records_.clear();
    closeFlags_.clear();
}

std::optional<ScriptedDialogService::Answer>
ScriptedDialogService::Take(DialogRecord record, size_t& index, const std::function<bool(const Answer&)>& fits)
{
    std::lock_guard guard(lock_);
    std::optional<Answer> answer;
    if (!answers_.empty() && answers_.front().kind == record.kind && (!fits || fits(answers_.front()))) {
        answer = std::move(answers_.front());
        answers_.pop_front();
    }
    record.unexpected = !answer;
    index = records_.size();
    records_.push_back(std::move(record));
    return answer;
}

void ScriptedDialogService::SetAnswer(size_t index, const std::string& answer)
{
    std::lock_guard guard(lock_);
    records_[index].answer = answer;
}

namespace {

// A record of a dialog of the kind with its owner; the caller adds the request.
DialogRecord NewRecord(DialogKind kind, HWND owner)
{
    DialogRecord record;
    record.kind = kind;
    record.owner = owner;
    return record;
}

// The readable answer of a dialog that gives a text: the text quoted, or "cancel".
std::string TextAnswer(const std::string* text) { return text ? "\"" + *text + "\"" : "cancel"; }

} // namespace

MsgResult ScriptedDialogService::DoMessageBox(const MessageBoxRequest& request)
{
    DialogRecord record = NewRecord(DialogKind::MessageBox, request.owner);
    record.box = request;
    const auto offered = ButtonResults(request.buttons);
    size_t index = 0;
    const auto answer = Take(std::move(record), index, [&](const Answer& a) {
        return std::find(offered.begin(), offered.end(), a.result) != offered.end();
    });
    const MsgResult result = answer ? answer->result : CloseAnswer(request.buttons);
    SetAnswer(index, MsgResultName(result));
    return result;
}

FileDialogResult ScriptedDialogService::DoFileDialog(const FileDialogRequest& request)
{
    DialogRecord record = NewRecord(DialogKind::FileDialog, request.owner);
    record.file = request;
    size_t index = 0;
    const auto answer = Take(std::move(record), index);
    const FileDialogResult result = answer ? answer->file : FileDialogResult{};
    SetAnswer(index, TextAnswer(result.accepted ? &result.fileName : nullptr));
    return result;
}

std::optional<std::string> ScriptedDialogService::DoInputQuery(const InputRequest& request)
{
    DialogRecord record = NewRecord(DialogKind::InputQuery, request.owner);
    record.input = request;
    size_t index = 0;
    const auto answer = Take(std::move(record), index);
    std::optional<std::string> result = answer ? answer->input : std::nullopt;
    SetAnswer(index, TextAnswer(result ? &*result : nullptr));
    return result;
}

MsgResult ScriptedDialogService::DoShowForm(const FormRequest& request)
{
    DialogRecord record = NewRecord(DialogKind::Form, request.owner);
    record.form = request.model ? request.model->FormName() : std::string();
    size_t index = 0;
    const auto answer = Take(std::move(record), index);
    MsgResult result = MsgResult::Cancel;
    if (answer && answer->form && request.model)
        result = answer->form(*request.model);
    SetAnswer(index, MsgResultName(result));
    return result;
}

namespace {

class ScriptedWaitWindow : public WaitWindow {
public:
    ScriptedWaitWindow(int pollsBeforeStop, std::shared_ptr<std::atomic<bool>> closed)
        : left_(pollsBeforeStop), closed_(std::move(closed))
    {
    }

    bool StopPressed() override
    {
        if (stopped_)
            return true;
        if (left_ < 0)
            return false;
        if (left_ == 0)
            return stopped_ = true;
        --left_;
        return false;
    }
    void Close() override { *closed_ = true; }

private:
    int left_;
    std::shared_ptr<std::atomic<bool>> closed_;
    bool stopped_ = false;
};

} // namespace

std::unique_ptr<WaitWindow> ScriptedDialogService::DoShowWaitWindow(const WaitWindowRequest& request)
{
    DialogRecord record = NewRecord(DialogKind::WaitWindow, request.owner);
    record.wait = request;
    size_t index = 0;
    const auto answer = Take(std::move(record), index);
    const int polls = answer ? answer->polls : 0;
    SetAnswer(index, polls < 0 ? "never stops" : "stop after " + std::to_string(polls) + " polls");
    auto closed = std::make_shared<std::atomic<bool>>(false);
    {
        std::lock_guard guard(lock_);
        closeFlags_.push_back({index, closed});
    }
    return std::make_unique<ScriptedWaitWindow>(polls, closed);
}

} // namespace platform
