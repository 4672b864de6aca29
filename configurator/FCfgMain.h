#pragma once

#include "configurator/core/CfgController.h"
#include "configurator/core/ChannelExport.h"
#include "configurator/core/DefaultPrompt.h"
#include "configurator/core/LoaderLibrary.h"
#include "configurator/core/LoaderOperation.h"
#include "configurator/core/LoaderProgress.h"
#include "configurator/core/LogSink.h"

#include <QMainWindow>
#include <QPointer>
#include <QSplitter>
#include <QToolButton>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QScrollArea;
class QTimer;
class QToolBar;
class QTreeWidget;
class TMessageList;

class TInvokeTh;
class TOperationsToolBar;
class TStatusBar;
class TTreeComponent;

// A splitter whose handle can also be moved from code, as the user moves it.
class TSplitter : public QSplitter {
    Q_OBJECT
public:
    using QSplitter::QSplitter;
    void MoveHandle(int position, int index) { moveSplitter(position, index); }
};

// What the main window is made with; empty members take the program's own.
struct TCfgMainOptions {
    std::filesystem::path LibraryFile;  // libSarnupolexLib.so next to the program
    std::filesystem::path IniFile;      // "Mirvak.ini" in the program's files folder
    std::string VersionFile;            // the running program
    TShellOpen ShellOpen;               // the desktop's "open" (xdg-open)
    TCfgController::DocumentFactory DocumentFactory; // the documents of the model table
    // Milliseconds for the abort rule of a running operation; empty: platform::GetTickCount.
    std::function<uint64_t()> Clock;
};

// The configurator's main window: the fixed tool bar with the model list and the file
// commands, the operations tool bar, the document tree, the frame host, the message
// list and the status bar. It owns the document through its controller.
class TfmCfgMain : public QMainWindow, private ICfgDocumentView, private TLoaderProgressHost {
    Q_OBJECT
public:
    // Commands of the rescale menu, as WM_SYSCOMMAND wParam.
    static constexpr int kScaleUp = 10001;
    static constexpr int kScaleDown = 10002;
    // The message list's height is taken from the splitter only strictly between these.
    static constexpr int kMinMsgHeight = 16;
    static constexpr int kMaxMsgHeight = 150;
    // How long a close during an operation waits for it to end before the process ends.
    static constexpr int kCloseWaitMs = 5000;

    explicit TfmCfgMain(TCfgMainOptions options = {}, QWidget* parent = nullptr);
    ~TfmCfgMain() override;

    platform::HWND Handle() const { return handle_; }
    TCfgController& Controller() { return controller_; }
    std::string BaseCaption() const { return controller_.BaseCaption(); }
    bool LibraryLoaded() const { return library_.Loaded(); }
    // The index of the loader's device list remembered in the settings.
    int LastDevice() const { return lastDevice_; }

    // The document tree's component; none: the tree does nothing.
    void SetTreeComponent(std::unique_ptr<ICfgDocumentView> tree);
    // The window's own document tree (vtTree, its pages and commands).
    TTreeComponent* DocTree() const { return docTree_; }

    // The frame host: the frame (owned from now on) replaces the shown one, takes the
    // host's width and its fitted height, and the window grows by the frame's overhang
    // below the host when that exceeds 4 pixels (within the screen's available height,
    // moving up when its bottom would leave the screen). The host shows a vertical scroll
    // bar only while the frame's controls reach below it, not for its trailing margin.
    void PlaceFrame(QWidget* frame);
    QWidget* ShownFrame() const { return frame_; }
    void FreeFrame();

    // The placement and settings read from the settings file; once.
    void RestoreSettings();
    // The placement and settings written to the settings file; once.
    void SaveSettings();

    // Multiplies the font size and the geometry by num/den.
    void Rescale(int num, int den);
    int MsgHeight() const;
    int TreeWidth() const;

    // The last "#" text of the loader: shown in panel 0 when there is no hint.
    void SetLastingStatusText(const std::string& text) override { lastingText_ = text; }
    const std::string& LastingStatusText() const { return lastingText_; }

    // The loader library's entry points, each empty when the library lacks it.
    const TLoaderEntryPoints& Entries() const { return library_.Entries(); }
    // The block handed to SetSarnupolexParams before each operation; zero without the library.
    const LoaderParams& Params() const { return library_.Params(); }

    // The operations tool bar (TOperationsToolBar::Build) from the library's catalogue
    // for the document; the device combo box filled. Run after every document creation.
    // A bad code in the catalogue shows as a command's error after the build.
    void BuildOperationsToolbar();
    // Fills the device combo box from the library's device list; selects LastDevice
    // once when it is 0 or more, else keeps the selection.
    void FillDeviceCombo();
    QComboBox* DeviceCombo() const;
    // The device combo box's selection; -1 without the combo box or a selection.
    int SelectedDeviceIndex() const;
    // LastDevice := the device combo box's selection, and the combo box goes.
    void RememberDeviceIndex();
    QComboBox* SendBox() const;
    // The tool bar's action of an operation code; nullptr when there is none.
    QAction* OperationAction(int code) const;

    // Starts the operation of an action on its own thread, with the window locked
    // first; false (nothing done) while an operation runs.
    bool RunOperation(QAction* action);
    bool Busy() const { return invoke_ != nullptr; }
    // The cancel button on the status bar while an operation shows progress.
    QToolButton* ProgressCancelButton() const { return cancelButton_.data(); }

    // Runs the idle update now: the shown frame's controls, Save and the export. A frame
    // whose height changed in its update (a device page whose hosted page showed or hid
    // a group) is taken in as PlaceFrame takes a new one: the window grows, never
    // shrinks.
    void UpdateControls();

    QToolBar* tbFixed = nullptr;
    QToolBar* tbOperations = nullptr;  // the operations tool bar, a TOperationsToolBar
    QToolBar* tbCommandLine = nullptr; // the command-line box "SendBox" behind its label
    QLabel* laTypeHUB = nullptr;
    QComboBox* cbTypeHUB = nullptr;
    QAction* acNew = nullptr;
    QAction* acOpen = nullptr;
    QAction* acSave = nullptr;
    QAction* acSaveAs = nullptr;
    QAction* acClose = nullptr;
    QAction* acExportDeviceLogicChannToFile = nullptr;
    QAction* acScaleUp = nullptr;
    QAction* acScaleDown = nullptr;
    QAction* acProgresCancel = nullptr;
    QAction* acThAbort = nullptr;
    TSplitter* spMsg = nullptr;
    TSplitter* spTree = nullptr;
    QTreeWidget* vtTree = nullptr;
    QScrollArea* paParams = nullptr;
    TMessageList* lbMsg = nullptr;
    TStatusBar* sbStatus = nullptr;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    QMenu* createPopupMenu() override;

private:
    // The tool bars in rows: the fixed one first; the operations and then the command
    // line each take the first row with room for them, else a row of their own below.
    // The operations show their captions when they fit a row of their own, else their
    // images only (the hints stay their tool tips), so that none of them hides behind an
    // extension button whose opened row would lie over the tree. An empty bar is hidden.
    void ArrangeToolBars();
    // At the first start (no stored placement) the window widens to show the fixed tool
    // bar, the operations with their captions and the command line in one row, within
    // the screen's available width and wholly on the screen; it never narrows here.
    void FitFirstStartWidth();
    // The command-line box's text after Enter: QuickSend and the log lines.
    void SendText(const std::string& text);

    // ICfgDocumentView, forwarded to the tree component; the shown frame goes first.
    void ReleaseDocument() override;
    void AttachDocument(TDocument* document) override;
    void RefreshTree() override;
    void BuildAddDeviceMenu() override;
    void FocusFirstNode() override;
    void ClearTree() override;

    // TLoaderProgressHost
    void ShowCancelButton() override;
    void RemoveCancelButton() override;
    bool HasProgressBar() const override;
    void RefreshStatusText() override;
    void Log(const std::string& line, int kind) override;

    // Disables the window's controls and the operation actions while an operation
    // runs (controls a page disabled stay so afterwards), and enables them again.
    void LockUi(bool lock);
    // The end of the operation's thread: joins it and unlocks.
    void OperationEnded();
    // A click in the window during an operation: after 20 s the abort question.
    void ThAbort();
    // Closing during an operation: cancel, answer every progress with cancel, save the
    // settings and wait up to kCloseWaitMs for the operation; false when it has not
    // ended.
    bool WaitForOperation();
    // The read image replaces the document, then the tree and its menu are refreshed.
    void ApplyReadDocument(TMemory& image);
    uint32_t Now() const;

    platform::LRESULT WndProc(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam);
    void CreateActions();
    void CreateToolBars();
    void CreatePanes();
    void FillModelList();
    void OnStartup();
    // Without a stored width the tree pane takes the width of the widest caption it
    // shows after the start-up, within a third of the window.
    void FitTreeWidth();
    void OnMsgSplitterMoved();
    // The host's vertical scroll bar: off while the shown frame's controls fit.
    void FitFrameScrollBar();
    // The window grows by the shown frame's overhang below a host of that height (the
    // rule of PlaceFrame).
    void GrowToFrame(int hostHeight);
    void ArmIdle();
    // Runs a command in the error guard, then arms the idle update.
    void Run(const std::function<void()>& command);
    // Loads and binds the library and checks its version; true when the user chose
    // to quit at the version warning (the window is then asked to close).
    bool LoadLibrary();

    TCfgMainOptions options_;
    TCfgDefaultPrompt prompt_;
    TCfgLogSink logSink_;
    ILogSink* previousSink_ = nullptr;
    TNoDocumentView noTree_;
    std::unique_ptr<ICfgDocumentView> tree_;
    TTreeComponent* docTree_ = nullptr; // held by tree_ while it is the component
    TCfgController controller_;
    std::vector<TModelItem> models_;
    platform::HWND handle_ = 0;
    TLoaderLibrary library_;
    TOperationsToolBar* operations_ = nullptr; // tbOperations
    TLoaderProgress progress_{*this};
    std::unique_ptr<TInvokeTh> invoke_;
    uint32_t startTick_ = 0;
    QPointer<QToolButton> cancelButton_;
    bool abortQueued_ = false;
    bool closing_ = false;
    QPointer<QWidget> frame_;
    QWidget* frameHost_ = nullptr;
    QTimer* idle_ = nullptr;
    QTimer* scrollFit_ = nullptr; // FitFrameScrollBar once the frame is laid out
    std::string lastingText_;
    int lastDevice_ = 0;
    int msgHeight_ = 100;
    bool restored_ = false;
    bool fitTreeWidth_ = false;
    bool firstStart_ = false;  // no placement was stored
    bool arranging_ = false;
    std::vector<std::vector<QToolBar*>> toolBarRows_;
    bool started_ = false;
    bool saved_ = false;
};
