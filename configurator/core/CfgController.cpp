#include "configurator/core/CfgController.h"

#include "configurator/core/ChannelExport.h"
#include "model/Mirvak_const.h"
#include "model/uZumo2.h"
#include "model/uZumo7_utils.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

ICfgDocumentView::~ICfgDocumentView() = default;

namespace {

std::string FolderOf(const std::string& fileName) { return fs::path(fileName).parent_path().string(); }

// Runs on the way out of a scope, also when it is left by an exception.
template <class F>
struct Finally {
    F f;
    ~Finally() { f(); }
};
template <class F>
Finally(F) -> Finally<F>;

} // namespace

TCfgController::TCfgController(ICfgDocumentView& view, DocumentFactory factory)
    : view_(view), factory_(std::move(factory))
{
    if (!factory_) factory_ = [](int) -> std::unique_ptr<TDocument> { return MakeZumo2Doc(); };
}

TCfgController::~TCfgController() { FreeDocument(); }

void TCfgController::FreeDocument()
{
    if (!document_) return;
    view_.ReleaseDocument();
    document_.reset();
}

std::string TCfgController::ModelText() const { return ModelNames[modelCode_]; }

void TCfgController::SetModelCode(int code) { modelCode_ = code >= 0 && code < ModelCount ? code : 0; }

void TCfgController::SetBaseCaption(const std::string& caption)
{
    baseCaption_ = caption;
    ShowFileInCaption({});
}

void TCfgController::ShowFileInCaption(const std::string& fileName)
{
    captionFile_ = fileName;
    caption_ = fileName.empty() ? baseCaption_ : baseCaption_ + " - " + fileName;
    if (OnCaptionChanged) OnCaptionChanged(caption_);
}

void TCfgController::RestoreFiles(const std::string& programDir, const std::string& lastParamFile)
{
    OpenDialog.InitialDir = programDir;
    SaveDialog.InitialDir = programDir;
    std::error_code ec;
    if (!lastParamFile.empty() && fs::is_regular_file(fs::path(lastParamFile), ec)) {
        OpenDialog.FileName = lastParamFile;
        SaveDialog.FileName = lastParamFile;
        OpenDialog.InitialDir = FolderOf(lastParamFile);
        PendingFile = true;
    } else {
        PendingFile = false;
    }
}

bool TCfgController::CanExport() const { return HasDeviceInUse(document_.get()); }

void TCfgController::Startup()
{
    ChangeModel(modelCode_);
    OpenLastFileOnce();
}

void TCfgController::ChangeModel(int code)
{
    ForgetFile();
    SetModelCode(code);
    FreeDocument();
    EnsureDocument();
    New();
}

void TCfgController::EnsureDocument()
{
    if (document_) return;
    document_ = factory_(modelCode_);
    document_->Prompt = Prompt;
    view_.AttachDocument(document_.get());
}

void TCfgController::PrepareNewZumo7Document()
{
    if (PendingFile || !document_ || !ChooseBoard) return;
    const std::optional<int> board = ChooseBoard(*document_);
    if (!board) return;
    view_.ClearTree();
    // Cancelled or no row chosen: the default board.
    document_->SetBoardSignature(*board != 0 ? *board : DefaultBoardSignature());
}

void TCfgController::ForgetFile()
{
    if (PendingFile) return;
    OpenDialog.FileName.clear();
    SaveDialog.FileName.clear();
}

void TCfgController::New()
{
    // First, so that no later failure leaves Save on the file of the last document.
    ForgetFile();
    EnsureDocument();
    PrepareNewZumo7Document();
    PostLogMessage("Создание новых настроек устройства - " + ModelText(), lkNormal);
    document_->ResetDefaults();
    view_.RefreshTree();
    ShowFileInCaption({});
    view_.BuildAddDeviceMenu();
}

void TCfgController::Open()
{
    Finally rebuild{[this] { view_.BuildAddDeviceMenu(); }};
    platform::FileDialogRequest request;
    request.owner = Owner;
    request.kind = platform::FileDialogKind::Open;
    request.filter = kParamOpenFilter;
    request.initialDir = OpenDialog.InitialDir;
    request.fileName = OpenDialog.FileName;
    request.fileMustExist = true;
    const platform::FileDialogResult answer = platform::ShowFileDialog(request);
    if (!answer.accepted) return;
    OpenDialog.FileName = answer.fileName;
    OpenParamFile();
}

void TCfgController::LoadParamFile()
{
    PostLogMessage("Открытие файла параметров - " + OpenDialog.FileName, lkNormal);
    EnsureDocument();
    document_->LoadFromFile(fs::path(OpenDialog.FileName));
}

void TCfgController::OpenParamFile()
{
    try {
        view_.FocusFirstNode();
        PendingFile = false;
        SaveDialog.InitialDir = OpenDialog.InitialDir;
        SaveDialog.FileName = OpenDialog.FileName;
        ShowFileInCaption(OpenDialog.FileName);
        LoadParamFile();
        view_.RefreshTree();
    } catch (...) {
        const std::string message = platform::ExceptionMessage(std::current_exception());
        PostLogMessage("Ошибка открытия файла настроек - " + message, lkError);
        // The file that failed is nobody's current file any more: Save must not write
        // a partly loaded document over it, and the next start must not open it again.
        OpenDialog.FileName.clear();
        SaveDialog.FileName.clear();
        const platform::MsgResult answer =
            platform::ShowMessageBox(Owner, message + "\rПродолжить ?", "Предупреждение",
                                     platform::MsgIcon::Warning, platform::MsgButtons::YesNo);
        if (answer == platform::MsgResult::Yes) {
            ShowFileInCaption({});
            view_.RefreshTree();
        } else {
            New();
        }
    }
}

void TCfgController::SaveParamFile()
{
    const std::string fileName = SaveDialog.FileName;
    PostLogMessage("Сохранения файла параметров - " + fileName, lkNormal);
    try {
        EnsureDocument();
        document_->SaveToFile(fs::path(fileName));
    } catch (...) {
        // The line above reads like a success: say that the file was not written.
        PostLogMessage("Ошибка сохранения файла параметров - " + fileName + ": " +
                           platform::ExceptionMessage(std::current_exception()),
                       lkHighlight);
        throw;
    }
}

void TCfgController::Save()
{
    if (!CanSave() || SaveDialog.FileName.empty()) return;
    SaveParamFile();
}

void TCfgController::SaveAs()
{
    platform::FileDialogRequest request;
    request.owner = Owner;
    request.kind = platform::FileDialogKind::Save;
    request.filter = kParamSaveFilter;
    request.initialDir = SaveDialog.InitialDir;
    request.fileName = SaveDialog.FileName;
    request.defaultExt = "hex";
    request.overwritePrompt = true;
    const platform::FileDialogResult answer = platform::ShowFileDialog(request);
    if (!answer.accepted) return;
    std::string fileName = answer.fileName;
    if (answer.filterIndex == 1 && fileName.find('.') == std::string::npos) fileName += ".hex";
    SaveDialog.FileName = fileName;
    try {
        SaveParamFile();
    } catch (...) {
        // The document was not saved there: Save keeps writing the file the caption names.
        SaveDialog.FileName = captionFile_;
        throw;
    }
    ShowFileInCaption(fileName);
    OpenDialog.InitialDir = FolderOf(fileName);
    OpenDialog.FileName = fileName;
}

void TCfgController::OpenLastFileOnce()
{
    Finally forget{[this] {
        PendingFile = false;
        OpenDialog.FileName.clear();
    }};
    if (PendingFile) OpenParamFile();
}

std::vector<TModelItem> SortedModelItems()
{
    std::vector<TModelItem> items;
    for (int code = 0; code < ModelCount; ++code) items.push_back({ModelNames[code], code});
    std::stable_sort(items.begin(), items.end(),
                     [](const TModelItem& a, const TModelItem& b) { return CompareKeys(a.Text, b.Text) < 0; });
    return items;
}

int ModelItemIndex(const std::vector<TModelItem>& items, int code)
{
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].Code == code) return static_cast<int>(i);
    return 0;
}
