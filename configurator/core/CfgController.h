#pragma once

#include "platform/Windows.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class IDefaultPrompt;
class TDocument;

// What the file commands ask of the main window's document tree: the tree, its frame
// host and the add-device menu. The window's tree component implements it; until the
// document tree exists every operation does nothing.
class ICfgDocumentView {
public:
    virtual ~ICfgDocumentView();
    // The document is about to go: everything that refers to it (the shown frame first)
    // is dropped.
    virtual void ReleaseDocument() = 0;
    // A new document is in place; its tree is built.
    virtual void AttachDocument(TDocument* document) = 0;
    virtual void RefreshTree() = 0;
    virtual void BuildAddDeviceMenu() = 0;
    // Focuses the first node and scrolls it into view.
    virtual void FocusFirstNode() = 0;
    // Empties the tree.
    virtual void ClearTree() = 0;
};

// A view that does nothing.
class TNoDocumentView : public ICfgDocumentView {
public:
    void ReleaseDocument() override {}
    void AttachDocument(TDocument*) override {}
    void RefreshTree() override {}
    void BuildAddDeviceMenu() override {}
    void FocusFirstNode() override {}
    void ClearTree() override {}
};

// The state of one of the window's file dialogs that outlives it.
struct TFileDialogState {
    std::string InitialDir;
    std::string FileName;
};

inline constexpr const char* kParamOpenFilter = "Файлы параметров (*.hex)|*.hex|Все файлы|*.*";
inline constexpr const char* kParamSaveFilter = "Файл параметров (*.hex)|*.hex|Все файлы|*.*";

// The main window's document and its file commands without widgets: start-up, New,
// Open, Save, Save as, and the caption. Questions go to the dialog service, log lines
// to PostLogMessage. Every command may raise; the window runs each in its error guard.
//
// The current parameter file is OpenDialog.FileName: it enables Save and is remembered
// at shutdown. New, and every model change with it, forgets the file in both dialogs
// (unless the start-up's remembered file is pending, which is still opened once): a new
// document belongs to no file, and Save stays disabled until the user opens a file or
// saves with a name, so that it never writes another document over the last file. A
// failed open clears it in both dialogs, whatever the user answers, so
// that Save never writes a partly loaded document over the file that failed.
//
// A save that fails logs "Ошибка сохранения файла параметров - <file>: <message>" as a
// highlighted line and raises on. A Save as that fails puts the save dialog's file back
// to the file the caption names (empty when it names none), so that Save goes on writing
// that file and never the path that failed; the caption and the open dialog stay.
class TCfgController {
public:
    // Makes the document of a model code, built and not yet reset.
    using DocumentFactory = std::function<std::unique_ptr<TDocument>(int modelCode)>;
    // For a document with a board table: the board the user chose, 0 when cancelled;
    // none for other documents.
    using BoardChooser = std::function<std::optional<int>(TDocument& document)>;

    // Without a factory every model gets the base model's document.
    explicit TCfgController(ICfgDocumentView& view, DocumentFactory factory = {});
    // Releases the view's hold on the document, then frees the document.
    ~TCfgController();
    TCfgController(const TCfgController&) = delete;
    TCfgController& operator=(const TCfgController&) = delete;

    platform::HWND Owner = 0;          // owner of the dialogs
    IDefaultPrompt* Prompt = nullptr;  // given to every document made
    BoardChooser ChooseBoard;          // none: no document has a board table
    std::function<void(const std::string&)> OnCaptionChanged;

    TFileDialogState OpenDialog;
    TFileDialogState SaveDialog;
    // The open dialog's tag: a remembered file waits to be opened at start-up.
    bool PendingFile = false;

    TDocument* Document() const { return document_.get(); }
    int ModelCode() const { return modelCode_; }
    // The model's name as the model list shows it.
    std::string ModelText() const;
    // Selects a model without making its document (0 .. 17; others select 0).
    void SetModelCode(int code);

    const std::string& BaseCaption() const { return baseCaption_; }
    void SetBaseCaption(const std::string& caption);
    const std::string& Caption() const { return caption_; }
    // The parameter file the caption names; empty when it shows the base caption only.
    const std::string& CaptionFile() const { return captionFile_; }

    // The restore of the settings: both dialogs start in the program's folder; a last
    // file that exists becomes both dialogs' file, the open dialog starts in its folder
    // and the file is pending; otherwise nothing is pending.
    void RestoreFiles(const std::string& programDir, const std::string& lastParamFile);
    // What the settings remember: the current parameter file.
    const std::string& LastParamFile() const { return OpenDialog.FileName; }

    bool CanSave() const { return !OpenDialog.FileName.empty(); }
    // A document whose devices can be exported with at least one device slot in use.
    bool CanExport() const;

    // WM_STARTUP: the selected model's document, then the pending file once.
    void Startup();
    // A model chosen: its document replaces the current one, then New.
    void ChangeModel(int code);
    // A new document with the model's defaults; the current file is forgotten (above).
    void New();
    // Asks for a file and opens it; the add-device menu is rebuilt in every case.
    void Open();
    // Opens OpenDialog.FileName; a failure is logged and asked about (see above).
    void OpenParamFile();
    void Save();
    void SaveAs();
    // The board of a new Zumo 7 document, unless a remembered file is pending.
    void PrepareNewZumo7Document();
    void OpenLastFileOnce();
    // Shutdown: the view lets go of the document, then it is freed.
    void FreeDocument();

private:
    // Both dialogs' file names go, unless the remembered file of the start-up is pending.
    void ForgetFile();
    // The caption names the file, or only the base caption when the file is empty.
    void ShowFileInCaption(const std::string& fileName);
    // The selected model's document when there is none yet (a command before the start-up).
    void EnsureDocument();
    void LoadParamFile();
    void SaveParamFile();

    ICfgDocumentView& view_;
    DocumentFactory factory_;
    std::unique_ptr<TDocument> document_;
    int modelCode_ = 0;
    std::string baseCaption_ = "Mirvak";
    std::string caption_ = "Mirvak";
    std::string captionFile_;
};

// One item of the model list.
struct TModelItem {
    std::string Text;
    int Code = 0;
};

// The model names with their codes, sorted by name (letter case ignored).
std::vector<TModelItem> SortedModelItems();
// The position of the item with the code; 0, the first item, when none has it.
int ModelItemIndex(const std::vector<TModelItem>& items, int code);
