#include "platform/Dialogs.h"

#include <atomic>
#include <mutex>

namespace platform {

FormModel::~FormModel() = default;
FormView::~FormView() = default;
WaitWindow::~WaitWindow() = default;
DialogService::~DialogService() = default;

std::vector<MsgResult> ButtonResults(MsgButtons buttons)
{
    using R = MsgResult;
    switch (buttons) {
    case MsgButtons::OK:
        return {R::OK};
    case MsgButtons::OKCancel:
        return {R::OK, R::Cancel};
    case MsgButtons::YesNo:
        return {R::Yes, R::No};
    case MsgButtons::YesNoCancel:
        return {R::Yes, R::No, R::Cancel};
    case MsgButtons::YesNoNoToAllYesToAll:
        return {R::Yes, R::No, R::NoToAll, R::YesToAll};
    case MsgButtons::AbortRetryIgnore:
        return {R::Abort, R::Retry, R::Ignore};
    case MsgButtons::AbortIgnore:
        return {R::Abort, R::Ignore};
    }
    return {R::OK};
}

MsgResult CloseAnswer(MsgButtons buttons)
{
    const auto results = ButtonResults(buttons);
    for (MsgResult wanted : {MsgResult::Cancel, MsgResult::No, MsgResult::Abort})
        for (MsgResult r : results)
            if (r == wanted)
                return r;
    return results.front();
}

const char* MsgResultName(MsgResult result)
{
    switch (result) {
    case MsgResult::None: return "None";
    case MsgResult::OK: return "OK";
    case MsgResult::Cancel: return "Cancel";
    case MsgResult::Abort: return "Abort";
    case MsgResult::Retry: return "Retry";
    case MsgResult::Ignore: return "Ignore";
    case MsgResult::Yes: return "Yes";
    case MsgResult::No: return "No";
    case MsgResult::NoToAll: return "NoToAll";
    case MsgResult::YesToAll: return "YesToAll";
    }
    return "?";
}

namespace {

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

std::string Trim(const std::string& s)
{
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// Code points of a UTF-8 text in lower case (Latin and Cyrillic letters); a byte that
// starts no valid sequence stands for itself.
std::u32string Folded(const std::string& text)
{
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        char32_t cp = c;
        size_t n = 1;
        if (c >= 0xC0 && c < 0xE0 && i + 1 < text.size())
            cp = ((c & 0x1F) << 6) | (text[i + 1] & 0x3F), n = 2;
        else if (c >= 0xE0 && c < 0xF0 && i + 2 < text.size())
            cp = ((c & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F), n = 3;
        else if (c >= 0xF0 && i + 3 < text.size())
            cp = ((c & 0x07) << 18) | ((text[i + 1] & 0x3F) << 12) | ((text[i + 2] & 0x3F) << 6) |
                 (text[i + 3] & 0x3F),
            n = 4;
        if (cp >= U'A' && cp <= U'Z')
            cp += 0x20;
        else if (cp >= 0x410 && cp <= 0x42F)
            cp += 0x20;
        else if (cp >= 0x400 && cp <= 0x40F)
            cp += 0x50;
        out.push_back(cp);
        i += n;
    }
    return out;
}

bool Wildcard(const std::u32string& name, const std::u32string& pattern)
{
    // Greedy match with one backtrack point for the last "*".
    size_t n = 0, p = 0, starP = std::u32string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++n, ++p;
        } else if (p < pattern.size() && pattern[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u32string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*')
        ++p;
    return p == pattern.size();
}

} // namespace

std::vector<FileFilter> ParseFileFilter(const std::string& filter)
{
    std::vector<FileFilter> filters;
    if (filter.empty())
        return filters;
    const auto parts = Split(filter, '|');
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        FileFilter f;
        f.description = parts[i];
        for (const auto& pattern : Split(parts[i + 1], ';')) {
            const std::string p = Trim(pattern);
            if (!p.empty())
                f.patterns.push_back(p);
        }
        filters.push_back(std::move(f));
    }
    return filters;
}

bool MatchesFileFilter(const std::string& name, const std::vector<std::string>& patterns)
{
    const std::u32string folded = Folded(name);
    for (const auto& pattern : patterns) {
        if (pattern == "*.*" || Wildcard(folded, Folded(pattern)))
            return true;
    }
    return false;
}

std::string ApplyDefaultExt(const std::string& fileName, const std::string& defaultExt)
{
    std::string ext = defaultExt;
    if (!ext.empty() && ext.front() == '.')
        ext.erase(0, 1);
    if (ext.empty() || fileName.empty() || fileName.back() == '/')
        return fileName;
    const size_t slash = fileName.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (fileName.find('.', nameStart) != std::string::npos)
        return fileName;
    return fileName + "." + ext;
}

std::string NormalizeLineBreaks(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

MsgResult DialogService::MessageBox(const MessageBoxRequest& request) { return DoMessageBox(request); }

FileDialogResult DialogService::FileDialog(const FileDialogRequest& request)
{
    FileDialogResult result = DoFileDialog(request);
    if (result.filterIndex == 0)
        result.filterIndex = request.filterIndex;
    if (result.accepted)
        result.fileName = ApplyDefaultExt(result.fileName, request.defaultExt);
    return result;
}

std::optional<std::string> DialogService::InputQuery(const InputRequest& request) { return DoInputQuery(request); }

MsgResult DialogService::ShowForm(const FormRequest& request) { return DoShowForm(request); }

std::unique_ptr<WaitWindow> DialogService::ShowWaitWindow(const WaitWindowRequest& request)
{
    return DoShowWaitWindow(request);
}

namespace {

class StoppedWaitWindow : public WaitWindow {
public:
    bool StopPressed() override { return true; }
    void Close() override {}
};

// The service while none is installed: shows nothing, answers as a closed dialog.
class SilentDialogService : public DialogService {
protected:
    MsgResult DoMessageBox(const MessageBoxRequest& request) override { return CloseAnswer(request.buttons); }
    FileDialogResult DoFileDialog(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> DoInputQuery(const InputRequest&) override { return std::nullopt; }
    MsgResult DoShowForm(const FormRequest&) override { return MsgResult::Cancel; }
    std::unique_ptr<WaitWindow> DoShowWaitWindow(const WaitWindowRequest&) override
    {
        return std::make_unique<StoppedWaitWindow>();
    }
};

struct Slot {
    std::mutex lock;
    std::shared_ptr<DialogService> service;
    std::shared_ptr<DialogService> silent = std::make_shared<SilentDialogService>();
};

Slot& TheSlot()
{
    static Slot* slot = new Slot; // lives until the process ends
    return *slot;
}

} // namespace

std::shared_ptr<DialogService> SetDialogService(std::shared_ptr<DialogService> service)
{
    Slot& s = TheSlot();
    std::lock_guard guard(s.lock);
    std::swap(s.service, service);
    return service;
}

std::shared_ptr<DialogService> Dialogs()
{
    Slot& s = TheSlot();
    std::lock_guard guard(s.lock);
    return s.service ? s.service : s.silent;
}

MsgResult ShowMessageBox(const MessageBoxRequest& request) { return Dialogs()->MessageBox(request); }

MsgResult ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons)
{
    return ShowMessageBox(MessageBoxRequest{owner, text, caption, icon, buttons});
}

FileDialogResult ShowFileDialog(const FileDialogRequest& request) { return Dialogs()->FileDialog(request); }

std::optional<std::string> ShowInputQuery(const InputRequest& request) { return Dialogs()->InputQuery(request); }

MsgResult ShowForm(const FormRequest& request) { return Dialogs()->ShowForm(request); }

std::unique_ptr<WaitWindow> ShowWaitWindow(const WaitWindowRequest& request)
{
    return Dialogs()->ShowWaitWindow(request);
}

} // namespace platform
