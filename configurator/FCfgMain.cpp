#include "configurator/FCfgMain.h"

#include "configurator/InvokeTh.h"
#include "configurator/core/CfgSettings.h"
#include "configurator/core/LoaderHost.h"
#include "configurator/widgets/FModifBoardView.h"
#include "configurator/widgets/FileVersion.h"
#include "configurator/widgets/FrameHost.h"
#include "configurator/widgets/MessageList.h"
#include "configurator/widgets/OperationsToolBar.h"
#include "common/ProgressMgr.h"
#include "configurator/widgets/StatusBar.h"
#include "configurator/core/StatusHint.h"
#include "configurator/widgets/TreeComponent.h"
#include "platform/qt/WinUtils.h"
#include "configurator/widgets/uParamFrame.h"
#include "model/Memory.h"
#include "model/uZumo7.h"
#include "platform/CodePages.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/ProgramDir.h"
#include "platform/Tick.h"
#include "platform/qt/QtWindows.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QStatusTipEvent>
#include <QTimer>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

#include <cstdlib>

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The room a row of tool bars keeps beyond their widths, so that none is cut short.
constexpr int kToolBarSlack = 8;

// Fits a frame's height: the frame's own FitHeight, or for another widget the same
// rule (the lowest bottom of its visible direct children + 4).
void FitFrame(QWidget* frame)
{
    if (auto* paramFrame = qobject_cast<TParamFrame*>(frame)) {
        paramFrame->FitHeight();
        return;
    }
    if (QLayout* l = frame->layout()) l->activate();
    frame->resize(frame->width(), PageContentBottom(frame) + 4);
}

} // namespace

TfmCfgMain::TfmCfgMain(TCfgMainOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)),
      controller_(*this, options_.DocumentFactory ? options_.DocumentFactory : ModelDocumentFactory())
{
    if (options_.LibraryFile.empty()) options_.LibraryFile = platform::ExecutableDir() / "libSarnupolexLib.so";
    if (options_.IniFile.empty()) options_.IniFile = CfgIniFileName();
    if (options_.VersionFile.empty()) options_.VersionFile = "/proc/self/exe";
    if (!options_.ShellOpen)
        options_.ShellOpen = [](const std::string& file) { QDesktopServices::openUrl(QUrl::fromLocalFile(Q(file))); };

    setWindowTitle(QStringLiteral("Mirvak"));
    resize(800, 600);
    handle_ = platform::qt::RegisterMainWindow(
        this, [this](platform::HWND, platform::UINT msg, platform::WPARAM w, platform::LPARAM l) {
            platform::LRESULT result = 0;
            platform::RunGuarded([&] { result = WndProc(msg, w, l); });
            return result;
        });
    prompt_ = TCfgDefaultPrompt(handle_);
    logSink_ = TCfgLogSink(handle_);
    previousSink_ = SetLogSink(&logSink_);

    controller_.Owner = handle_;
    controller_.Prompt = &prompt_;
    controller_.OnCaptionChanged = [this](const std::string& caption) { setWindowTitle(Q(caption)); };
    // A new Zumo 7 document asks for its board: OK with a row gives its signature, any
    // other answer 0. Other documents have no board.
    controller_.ChooseBoard = [this](TDocument& document) -> std::optional<int> {
        if (!dynamic_cast<TZumo7Doc*>(&document)) return std::nullopt;
        uint16_t signature = 0;
        const platform::MsgResult result = ChooseBoardSignature(signature, BoardModifView(), handle_);
        return result == platform::MsgResult::OK ? signature : 0;
    };

    auto tree = std::make_unique<TTreeComponent>(TTreeComponent::Hooks{
        [this](QWidget* frame) { PlaceFrame(frame); }, [this] { return controller_.ModelCode(); },
        // Every new document rebuilds the operations tool bar (its entries follow the model).
        [this](TZumo2Doc*) {
            if (library_.Loaded()) BuildOperationsToolbar();
        }});
    docTree_ = tree.get();
    SetTreeComponent(std::move(tree));

    CreateActions();
    CreateToolBars();
    CreatePanes();
    idle_ = new QTimer(this);
    idle_->setSingleShot(true);
    idle_->setInterval(0);
    connect(idle_, &QTimer::timeout, this, platform::Guarded([this] { UpdateControls(); }));
    scrollFit_ = new QTimer(this);
    scrollFit_->setSingleShot(true);
    scrollFit_->setInterval(0);
    connect(scrollFit_, &QTimer::timeout, this, [this] { FitFrameScrollBar(); });
    qApp->installEventFilter(this);

    // 1. Hints reach panel 0 through the status tip events (see event()).
    // 2. The rescale commands are the tool bar area's context menu (createPopupMenu).
    // 3. The settings file is options_.IniFile.
    // 4. The base caption.
    controller_.SetBaseCaption(windowTitle().toStdString());
    // 5. The loader library; the user may choose to quit at its version warning.
    const bool quit = LoadLibrary();
    // 6. The operations tool bar stays empty until a document is made.
    SetProgressStatusBar(sbStatus);
    if (quit) {
        ArmIdle();
        return;
    }
    // 7.-9. The model list.
    FillModelList();
    // 10. The program's version.
    std::string versionError;
    ShowVersionInStatusBar(sbStatus, options_.VersionFile, versionError);
    // 11. The start-up message, handled once from the event loop.
    platform::PostMessage(handle_, platform::WM_STARTUP, 0, 0);
    ArmIdle();
}

TfmCfgMain::~TfmCfgMain()
{
    // The library must not go while an operation is inside it.
    if (invoke_ && !WaitForOperation()) std::_Exit(0);
    qApp->removeEventFilter(this);
    if (cancelButton_) delete cancelButton_.data();
    library_.Unload();
    // The shown frame goes before the document.
    controller_.FreeDocument();
    if (ProgressStatusBar() == &sbStatus->ProgressView()) SetProgressStatusBar(static_cast<TProgressView*>(nullptr));
    SetLogSink(previousSink_);
    platform::qt::UnregisterWidget(this);
}

void TfmCfgMain::CreateActions()
{
    auto make = [this](const char* text, const char* hint) {
        auto* action = new QAction(QString::fromUtf8(text), this);
        action->setStatusTip(QString::fromUtf8(hint));
        action->setToolTip(QString::fromUtf8(hint));
        return action;
    };
    acNew = make("Новый", "Новый файл параметров");
    acOpen = make("Открыть", "Открыть файл параметров");
    acSave = make("Сохранить", "Сохранить файл параметров");
    acSaveAs = make("Сохратить как...", "Сохранить файл параметров c именем...");
    acClose = make("Выход", "");
    acExportDeviceLogicChannToFile = make("Экcп. список каналов устройств в файл", "");
    acProgresCancel = new QAction(QStringLiteral("Отмена"), this);
    acProgresCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    acThAbort = new QAction(this);
    acScaleUp = new QAction(QStringLiteral("Масштаб +20%"), this);
    acScaleDown = new QAction(QStringLiteral("Масштаб -20%"), this);
    // Tool buttons would drop the trailing dots of the caption.
    acSaveAs->setIconText(acSaveAs->text());
    acSave->setEnabled(false);
    acExportDeviceLogicChannToFile->setEnabled(false);

    connect(acNew, &QAction::triggered, this, [this] { Run([this] { controller_.New(); }); });
    connect(acOpen, &QAction::triggered, this, [this] { Run([this] { controller_.Open(); }); });
    connect(acSave, &QAction::triggered, this, [this] { Run([this] { controller_.Save(); }); });
    connect(acSaveAs, &QAction::triggered, this, [this] { Run([this] { controller_.SaveAs(); }); });
    connect(acClose, &QAction::triggered, this, [this] { close(); });
    connect(acExportDeviceLogicChannToFile, &QAction::triggered, this, [this] {
        Run([this] {
            ExportDeviceChannelsToCsv(controller_.Document(), handle_, controller_.OpenDialog.FileName,
                                      options_.ShellOpen);
        });
    });
    connect(acProgresCancel, &QAction::triggered, this, [this] {
        TLoaderProgress::Cancel();
        acProgresCancel->setEnabled(TLoaderProgress::CancelEnabled());
    });
    connect(acThAbort, &QAction::triggered, this, platform::Guarded([this] { ThAbort(); }));
    connect(acScaleUp, &QAction::triggered, this,
            [this] { platform::SendMessage(handle_, platform::WM_SYSCOMMAND, kScaleUp, 0); });
    connect(acScaleDown, &QAction::triggered, this,
            [this] { platform::SendMessage(handle_, platform::WM_SYSCOMMAND, kScaleDown, 0); });
}

void TfmCfgMain::CreateToolBars()
{
    tbFixed = new QToolBar(QStringLiteral("Файл"), this);
    tbFixed->setObjectName(QStringLiteral("tbFixed"));
    tbFixed->setMovable(false);
    tbFixed->setToolButtonStyle(Qt::ToolButtonTextOnly);
    laTypeHUB = new QLabel(QStringLiteral("   Тип концентратора   "), tbFixed);
    cbTypeHUB = new QComboBox(tbFixed);
    cbTypeHUB->setObjectName(QStringLiteral("cbTypeHUB"));
    tbFixed->addWidget(laTypeHUB);
    tbFixed->addWidget(cbTypeHUB);
    tbFixed->addAction(acNew);
    tbFixed->addAction(acOpen);
    tbFixed->addAction(acSave);
    tbFixed->addAction(acSaveAs);
    addToolBar(Qt::TopToolBarArea, tbFixed);

    // The loader's operations and their command line, in the same row.
    operations_ = new TOperationsToolBar(this);
    tbOperations = operations_;
    tbCommandLine = operations_->CommandLine();
    addToolBar(Qt::TopToolBarArea, tbOperations);
    addToolBar(Qt::TopToolBarArea, tbCommandLine);
    toolBarRows_ = {{tbFixed, tbOperations, tbCommandLine}};
    connect(operations_, &TOperationsToolBar::OperationTriggered, this,
            [this](QAction* action) { Run([this, action] { RunOperation(action); }); });
    connect(operations_, &TOperationsToolBar::SendRequested, this, [this](const std::string& text) { SendText(text); });

    // Only the user's choice creates a document; selecting from code does not.
    connect(cbTypeHUB, &QComboBox::activated, this, [this](int index) {
        Run([this, index] { controller_.ChangeModel(cbTypeHUB->itemData(index).toInt()); });
    });
}

void TfmCfgMain::CreatePanes()
{
    TDocTreeView* treeView = docTree_->CreateView();
    treeView->AddPopupAction(acExportDeviceLogicChannToFile);
    vtTree = treeView;

    paParams = new QScrollArea;
    paParams->setObjectName(QStringLiteral("paParams"));
    paParams->setWidgetResizable(false);
    paParams->setFrameShape(QFrame::NoFrame);
    paParams->viewport()->installEventFilter(this);
    docTree_->SetFrameHost(paParams);

    spTree = new TSplitter(Qt::Horizontal);
    spTree->setObjectName(QStringLiteral("spTree"));
    spTree->setChildrenCollapsible(false);
    spTree->addWidget(vtTree);
    spTree->addWidget(paParams);
    spTree->setStretchFactor(0, 0);
    spTree->setStretchFactor(1, 1);

    lbMsg = new TMessageList;
    lbMsg->setObjectName(QStringLiteral("lbMsg"));
    // The splitter rule, not the view, bounds its height.
    lbMsg->setMinimumHeight(1);
    spMsg = new TSplitter(Qt::Vertical);
    spMsg->setObjectName(QStringLiteral("spMsg"));
    spMsg->setChildrenCollapsible(false);
    spMsg->addWidget(spTree);
    spMsg->addWidget(lbMsg);
    spMsg->setStretchFactor(0, 1);
    spMsg->setStretchFactor(1, 0);
    spMsg->setSizes({400, msgHeight_});
    spTree->setSizes({200, 600});
    connect(spMsg, &QSplitter::splitterMoved, this, platform::Guarded([this] { OnMsgSplitterMoved(); }));
    setCentralWidget(spMsg);

    sbStatus = new TStatusBar(this);
    sbStatus->SetPanelText(0, QStringLiteral("Готов"));
    setStatusBar(sbStatus);
}

void TfmCfgMain::FillModelList()
{
    cbTypeHUB->clear();
    models_ = SortedModelItems();
    int width = 70;
    const QFontMetrics metrics(cbTypeHUB->font());
    for (const TModelItem& item : models_) {
        cbTypeHUB->addItem(Q(item.Text), item.Code);
        width = std::max(width, metrics.horizontalAdvance(Q(item.Text)) + 25);
    }
    // Room for the arrow of the list as this style draws it.
    cbTypeHUB->setMinimumWidth(width);
    cbTypeHUB->setCurrentIndex(0);
    controller_.SetModelCode(models_.front().Code);
}

bool TfmCfgMain::LoadLibrary()
{
    const QStringList arguments = QCoreApplication::arguments();
    TLoaderStartRequest request;
    request.File = options_.LibraryFile;
    request.HostWindow = handle_;
    request.FirstArgument = arguments.size() > 1 ? arguments[1].toStdString() : std::string();
    request.Log = [this](const std::string& line) { lbMsg->AddLine(line, lkNormal); };
    const bool quit = library_.Start(request);
    if (quit) platform::PostMessage(handle_, platform::WM_CLOSE, 0, 0);
    return quit;
}

// ---------------------------------------------------------------------------------
// Messages

platform::LRESULT TfmCfgMain::WndProc(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam)
{
    switch (msg) {
    case platform::WM_LOG_MESSAGE:
        if (const std::optional<std::string> text = TakeLogText(lParam))
            lbMsg->Add(*text, static_cast<int>(wParam));
        return 0;
    case platform::WM_STARTUP:
        OnStartup();
        return 0;
    case platform::WM_FRAME_NOTIFY:
        if (docTree_) docTree_->Tree().FrameNotify(wParam, lParam);
        return 0;
    case platform::WM_LOADER_PROGRESS: {
        platform::LRESULT answer = 0;
        progress_.Receive(wParam, lParam, [&answer](platform::LRESULT result) {
            answer = result;
            platform::ReplyMessage(result);
        });
        acProgresCancel->setEnabled(TLoaderProgress::CancelEnabled());
        return answer;
    }
    case TInvokeTh::kInvokeEnded:
        OperationEnded();
        return 0;
    case platform::WM_SYSCOMMAND:
        if (wParam == kScaleUp) {
            Rescale(120, 100);
            return 0;
        }
        if (wParam == kScaleDown) {
            Rescale(80, 100);
            return 0;
        }
        break;
    default: break;
    }
    return platform::qt::DefWidgetProc(this, msg, wParam, lParam);
}

void TfmCfgMain::OnStartup()
{
    if (started_) return;
    started_ = true;
    RestoreSettings();
    Run([this] { controller_.Startup(); });
    if (firstStart_) FitFirstStartWidth();
    if (fitTreeWidth_) FitTreeWidth();
}

void TfmCfgMain::FitFirstStartWidth()
{
    const int wanted =
        ToolBarWidth(tbFixed) + operations_->WidthShowing(true) + ToolBarWidth(tbCommandLine) + kToolBarSlack;
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen && wanted > width()) {
        const QRect area = screen->availableGeometry();
        const int frameExtra = frameGeometry().width() - geometry().width();
        const int fitted = std::min(wanted, area.width() - frameExtra);
        if (fitted > width()) {
            resize(fitted, height());
            // Wholly on the screen.
            if (x() + fitted + frameExtra > area.x() + area.width())
                move(std::max(area.x(), area.x() + area.width() - fitted - frameExtra), y());
        }
    }
    // The measure above showed the captions: the rows as the width now allows.
    ArrangeToolBars();
}

void TfmCfgMain::FitTreeWidth()
{
    auto* view = qobject_cast<TDocTreeView*>(vtTree);
    if (!view) return;
    // The widest caption the tree shows, with its indentation, icon and the view's frame.
    const int wanted = view->WidestCaptionWidth() + 2 * view->frameWidth() + 4;
    const int width = std::max(1, std::min(wanted, this->width() / 3));
    const QList<int> sizes = spTree->sizes();
    const int total = std::max(sizes.value(0) + sizes.value(1), width + 1);
    spTree->setSizes({width, total - width});
}

void TfmCfgMain::Run(const std::function<void()>& command)
{
    platform::RunGuarded(command);
    ArmIdle();
}

void TfmCfgMain::ArmIdle()
{
    if (idle_) idle_->start();
}

void TfmCfgMain::UpdateControls()
{
    if (auto* paramFrame = qobject_cast<TParamFrame*>(frame_.data())) {
        const int height = paramFrame->height();
        paramFrame->UpdateControls();
        if (frame_ && frame_->height() != height) {
            GrowToFrame(paParams->viewport()->height());
            FitFrameScrollBar();
        }
    }
    acSave->setEnabled(controller_.CanSave());
    acExportDeviceLogicChannToFile->setEnabled(controller_.CanExport());
}

// ---------------------------------------------------------------------------------
// Events

bool TfmCfgMain::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        const std::string hint = static_cast<QStatusTipEvent*>(event)->tip().toStdString();
        if (const std::optional<std::string> text = ShowHintInStatusBar(ProgressBusy(), hint, lastingText_))
            sbStatus->SetPanelText(0, Q(*text));
        return true;
    }
    return QMainWindow::event(event);
}

bool TfmCfgMain::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // During an operation a click anywhere in the window, except on the status bar
        // with its cancel button, is the abort command; the library's own windows are
        // not the main window's.
        if (invoke_ && !closing_) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget && widget->window() == this && widget != sbStatus && !sbStatus->isAncestorOf(widget)) {
                if (!abortQueued_) {
                    abortQueued_ = true;
                    QTimer::singleShot(0, this, [this] {
                        abortQueued_ = false;
                        acThAbort->trigger();
                    });
                }
                return true;
            }
        }
        break;
    case QEvent::Enter:
    case QEvent::Leave:
        // Over the status bar and its cancel button the arrow stands in for the wait
        // cursor, so that the button can be aimed at.
        if (cancelButton_ && (watched == sbStatus || watched == cancelButton_.data()) &&
            QApplication::overrideCursor()) {
            const bool inside = event->type() == QEvent::Enter || watched == cancelButton_.data();
            QApplication::changeOverrideCursor(inside ? Qt::ArrowCursor : Qt::WaitCursor);
        }
        break;
    case QEvent::KeyRelease:
    case QEvent::MouseButtonRelease:
        ArmIdle();
        break;
    case QEvent::Wheel:
        ArmIdle();
        // A page whose contents fit does not scroll its trailing margin into view.
        if (paParams && watched == paParams->viewport() &&
            paParams->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff)
            return true;
        break;
    case QEvent::Resize:
        if (paParams && watched == paParams->viewport() && frame_)
            frame_->resize(paParams->viewport()->width(), frame_->height());
        // The frame's children are laid out after the event: look at them afterwards.
        if (paParams && frame_ && (watched == paParams->viewport() || watched == frame_)) scrollFit_->start();
        break;
    default: break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfmCfgMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    RestoreSettings();
    ArrangeToolBars();
}

void TfmCfgMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    ArrangeToolBars();
}

void TfmCfgMain::ArrangeToolBars()
{
    if (!tbFixed || !tbOperations || !tbCommandLine || arranging_) return;
    arranging_ = true;
    const int room = width() - kToolBarSlack;
    // The operations show their captions when they fit a row of their own.
    int operations = operations_->WidthShowing(true);
    if (operations > room) operations = operations_->WidthShowing(false);
    // Each bar takes the first row with room for it, else a new row below.
    std::vector<std::vector<QToolBar*>> rows{{tbFixed}};
    std::vector<int> used{ToolBarWidth(tbFixed)};
    const auto place = [&](QToolBar* bar, int barWidth) {
        for (size_t r = 0; r < rows.size(); ++r)
            if (used[r] + barWidth <= room) {
                rows[r].push_back(bar);
                used[r] += barWidth;
                return;
            }
        rows.push_back({bar});
        used.push_back(barWidth);
    };
    place(tbOperations, operations);
    place(tbCommandLine, ToolBarWidth(tbCommandLine));
    if (rows != toolBarRows_) {
        for (const auto& row : toolBarRows_)
            for (QToolBar* bar : row) removeToolBar(bar);
        for (size_t r = 0; r < rows.size(); ++r) {
            if (r > 0) addToolBarBreak(Qt::TopToolBarArea);
            for (QToolBar* bar : rows[r]) addToolBar(Qt::TopToolBarArea, bar);
        }
        toolBarRows_ = rows;
    }
    // An empty bar takes no room (taking a bar out of its row hid it).
    tbFixed->show();
    for (QToolBar* bar : {tbOperations, tbCommandLine}) bar->setVisible(!bar->actions().isEmpty());
    arranging_ = false;
}

void TfmCfgMain::closeEvent(QCloseEvent* event)
{
    if (closing_) {
        // A second request while the first waits for the operation.
        event->ignore();
        return;
    }
    // The library must not go while an operation is inside it: the operation is
    // cancelled and given a bounded time to end; the process ends otherwise, without
    // unloading the library or freeing the document.
    if (invoke_ && !WaitForOperation()) std::_Exit(0);
    // The close request is always allowed.
    platform::RunGuarded([this] { SaveSettings(); });
    event->accept();
}

QMenu* TfmCfgMain::createPopupMenu()
{
    // The owner of the returned menu is the caller: a copy of the two commands.
    auto* menu = new QMenu(this);
    menu->addAction(acScaleUp);
    menu->addAction(acScaleDown);
    return menu;
}

// ---------------------------------------------------------------------------------
// Settings

void TfmCfgMain::RestoreSettings()
{
    if (restored_) return;
    restored_ = true;
    platform::RunGuarded([this] {
        const TCfgSettings s = LoadCfgSettings(options_.IniFile);
        firstStart_ = !s.HasPlacement;
        if (s.HasPlacement) {
            QRect area(0, 0, 800, 600);
            int virtualWidth = 800;
            if (const QScreen* screen = QGuiApplication::primaryScreen()) {
                area = screen->availableGeometry();
                virtualWidth = screen->virtualGeometry().width();
            }
            const TWindowPlacement p = FixRestoredPlacement(
                s.Placement, virtualWidth, {area.x(), area.y(), area.width(), area.height()}, minimumHeight());
            setGeometry(p.Normal.Left, p.Normal.Top, p.Normal.Width, p.Normal.Height);
            if (p.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
        }
        lastDevice_ = s.LastDevice;
        if (QLayout* l = layout()) l->activate();
        fitTreeWidth_ = !s.HasTreeWidth;
        const QList<int> tree = spTree->sizes();
        const int treeTotal = std::max(tree.value(0) + tree.value(1), s.TreeWidth + 1);
        spTree->setSizes({s.TreeWidth, treeTotal - s.TreeWidth});
        msgHeight_ = s.MsgHeight;
        const QList<int> msg = spMsg->sizes();
        const int msgTotal = std::max(msg.value(0) + msg.value(1), s.MsgHeight + 1);
        spMsg->setSizes({msgTotal - s.MsgHeight, s.MsgHeight});
        if (models_.empty()) {
            // Creation stopped before the model list: the stored model stays as it was.
            controller_.SetModelCode(s.SelHUB);
        } else {
            const int index = ModelItemIndex(models_, s.SelHUB);
            cbTypeHUB->setCurrentIndex(index);
            controller_.SetModelCode(cbTypeHUB->itemData(index).toInt());
        }
        controller_.RestoreFiles(platform::ProgramFilesDir().string(), s.LastParamFile);
    });
}

void TfmCfgMain::SaveSettings()
{
    if (saved_) return;
    saved_ = true;
    TCfgSettings s;
    const QRect r = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    s.Placement = {{r.x(), r.y(), r.width(), r.height()}, isMaximized()};
    s.LastDevice = lastDevice_;
    s.TreeWidth = TreeWidth();
    s.MsgHeight = MsgHeight();
    s.SelHUB = controller_.ModelCode();
    s.LastParamFile = controller_.LastParamFile();
    // The loader's device list exists only with the library bound.
    const QComboBox* devices = DeviceCombo();
    if (devices) s.LastDevice = devices->currentIndex();
    SaveCfgSettings(options_.IniFile, s, devices != nullptr);
}

int TfmCfgMain::MsgHeight() const { return spMsg->sizes().value(1); }

int TfmCfgMain::TreeWidth() const { return spTree->sizes().value(0); }

void TfmCfgMain::OnMsgSplitterMoved()
{
    const int h = MsgHeight();
    if (h > kMinMsgHeight && h < kMaxMsgHeight) {
        msgHeight_ = h;
        return;
    }
    const QList<int> sizes = spMsg->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    spMsg->setSizes({total - msgHeight_, msgHeight_});
}

void TfmCfgMain::Rescale(int num, int den)
{
    QFont f = font();
    if (f.pointSizeF() > 0)
        f.setPointSizeF(f.pointSizeF() * num / den);
    else
        f.setPixelSize(std::max(1, f.pixelSize() * num / den));
    setFont(f);
    const int treeWidth = TreeWidth() * num / den;
    const int msgHeight = MsgHeight() * num / den;
    resize(width() * num / den, height() * num / den);
    if (QLayout* l = layout()) l->activate();
    const QList<int> tree = spTree->sizes();
    spTree->setSizes({treeWidth, std::max(1, tree.value(0) + tree.value(1) - treeWidth)});
    const QList<int> msg = spMsg->sizes();
    spMsg->setSizes({std::max(1, msg.value(0) + msg.value(1) - msgHeight), msgHeight});
    msgHeight_ = MsgHeight();
}

// ---------------------------------------------------------------------------------
// Frames and the tree

void TfmCfgMain::SetTreeComponent(std::unique_ptr<ICfgDocumentView> tree)
{
    // The window's own tree goes with its view.
    if (docTree_ && tree.get() != docTree_) {
        docTree_ = nullptr;
        vtTree = nullptr;
    }
    tree_ = std::move(tree);
}

void TfmCfgMain::FreeFrame()
{
    if (frame_) {
        paParams->takeWidget();
        delete frame_.data();
    }
    frame_ = nullptr;
}

void TfmCfgMain::PlaceFrame(QWidget* frame)
{
    FreeFrame();
    if (!frame) return;
    frame_ = frame;
    if (QLayout* l = layout()) l->activate();
    const int hostHeight = paParams->viewport()->height();
    frame->resize(paParams->viewport()->width(), frame->height());
    FitFrame(frame);
    paParams->setWidget(frame);
    frame->show();
    GrowToFrame(hostHeight);
    FitFrameScrollBar();
    ArmIdle();
}

void TfmCfgMain::GrowToFrame(int hostHeight)
{
    // The window grows by the frame's overhang below the host; it never shrinks here,
    // and never grows beyond the screen's available height, moving up when its bottom
    // would leave the screen.
    const int overhang = frame_->height() - 4 - hostHeight;
    if (overhang > 4) {
        int limit = height() + overhang;
        const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        const int frameExtra = frameGeometry().height() - geometry().height();
        if (screen) limit = std::min(limit, screen->availableGeometry().height() - frameExtra);
        if (limit > height()) {
            resize(width(), limit);
            if (screen && !isMaximized() && !isFullScreen()) {
                const QRect area = screen->availableGeometry();
                const int bottom = frameGeometry().y() + limit + frameExtra;
                const int below = bottom - (area.y() + area.height());
                if (below > 0) move(x(), std::max(area.y(), y() - below));
            }
        }
    }
}

void TfmCfgMain::FitFrameScrollBar()
{
    // The frame keeps a trailing margin below its lowest control; the host scrolls only
    // when the controls themselves do not fit.
    if (!paParams) return;
    const bool fits = !frame_ || PageContentBottom(frame_) <= paParams->maximumViewportSize().height();
    const Qt::ScrollBarPolicy policy = fits ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    if (paParams->verticalScrollBarPolicy() != policy) paParams->setVerticalScrollBarPolicy(policy);
}

void TfmCfgMain::ReleaseDocument()
{
    FreeFrame();
    (tree_ ? *tree_ : noTree_).ReleaseDocument();
}

void TfmCfgMain::AttachDocument(TDocument* document) { (tree_ ? *tree_ : noTree_).AttachDocument(document); }
void TfmCfgMain::RefreshTree() { (tree_ ? *tree_ : noTree_).RefreshTree(); }
void TfmCfgMain::BuildAddDeviceMenu() { (tree_ ? *tree_ : noTree_).BuildAddDeviceMenu(); }
void TfmCfgMain::FocusFirstNode() { (tree_ ? *tree_ : noTree_).FocusFirstNode(); }
void TfmCfgMain::ClearTree() { (tree_ ? *tree_ : noTree_).ClearTree(); }

// ---------------------------------------------------------------------------------
// The loader's operations tool bar

void TfmCfgMain::BuildOperationsToolbar()
{
    RememberDeviceIndex();
    TOperationToolbarModel model;
    if (library_.Entries().GetOPCodes) {
        const char* text = library_.Entries().GetOPCodes(kLoaderScheme);
        if (text && *text) {
            const TDocument* document = controller_.Document();
            model = BuildOperationEntries(platform::AnsiToUtf8(text), document && document->LinearHex,
                                          document && document->FirmwareWithParamsAllowed);
        }
    }
    operations_->Build(model.Entries, !Busy());
    FillDeviceCombo();
    ArrangeToolBars();
    // The catalogue is the library's constant text; a bad code ends the build as the
    // error of a command.
    if (!model.Error.empty()) platform::RunGuarded([&] { throw platform::Exception(model.Error); });
}

QAction* TfmCfgMain::OperationAction(int code) const { return operations_->OperationAction(code); }

QComboBox* TfmCfgMain::DeviceCombo() const { return operations_ ? operations_->DeviceCombo() : nullptr; }

QComboBox* TfmCfgMain::SendBox() const { return operations_ ? operations_->SendBox() : nullptr; }

void TfmCfgMain::FillDeviceCombo()
{
    std::optional<std::string> devices;
    if (library_.Entries().GetDevices) {
        const char* text = library_.Entries().GetDevices(kLoaderScheme);
        devices = platform::AnsiToUtf8(text ? text : "");
    }
    operations_->FillDevices(devices, lastDevice_);
}

int TfmCfgMain::SelectedDeviceIndex() const { return operations_->SelectedDeviceIndex(); }

void TfmCfgMain::RememberDeviceIndex()
{
    if (const std::optional<int> index = operations_->TakeDeviceCombo()) lastDevice_ = *index;
}

void TfmCfgMain::SendText(const std::string& text)
{
    // The library's lines of the send ("Установка соединения ...") show in panel 0; the
    // idle text comes back when the send ends, however it ends.
    struct RefreshAtEnd {
        TfmCfgMain* window;
        ~RefreshAtEnd() { window->RefreshStatusText(); }
    } refresh{this};
    const std::string line = "Отправка из командной строки: " + text;
    if (!library_.Entries().QuickSend) {
        PostLogMessage(line + " - Ошибка", lkError);
        return;
    }
    const TDocument* document = controller_.Document();
    const std::string bytes = platform::Utf8ToAnsi(text);
    if (library_.Entries().QuickSend(SelectedDeviceIndex(), kLoaderScheme, bytes.c_str(),
                                     document && document->LinearHex ? 1 : 0,
                                     document ? document->BaseAddress : 0) != 0) {
        PostLogMessage(line + " - Ok", lkNormal);
        return;
    }
    // The library leaves why in the calling thread's error text.
    const std::string why = platform::LastErrorText();
    PostLogMessage(line + " - Ошибка", lkError);
    PostLogMessage(why, lkError);
}

// ---------------------------------------------------------------------------------
// Running an operation

uint32_t TfmCfgMain::Now() const
{
    return static_cast<uint32_t>(options_.Clock ? options_.Clock() : platform::GetTickCount());
}

bool TfmCfgMain::RunOperation(QAction* action)
{
    // One operation at a time: the library has one connection.
    if (invoke_ || closing_ || !action) return false;
    startTick_ = Now();
    progress_.OperationStarting();
    acProgresCancel->setEnabled(TLoaderProgress::CancelEnabled());

    TOperationRequest request;
    request.Op = action->data().toInt();
    request.Caption = action->statusTip().toStdString();
    request.Device = SelectedDeviceIndex();
    request.HasDeviceCombo = DeviceCombo() != nullptr;
    request.ModelCode = controller_.ModelCode();
    request.HostWindow = handle_;
    request.Params = library_.Params();
    if (TDocument* document = controller_.Document()) {
        request.LinearHex = document->LinearHex ? 1 : 0;
        request.BaseAddress = document->BaseAddress;
        request.ExpectedSchemeId = document->ExpectedSchemeId;
        for (int i = 0; i < document->Image.BlockCount(); ++i) request.Blocks.push_back(document->Image.BlockByIndex(i));
    }

    TInvokeWindow window;
    window.Handle = handle_;
    window.ApplyReadDocument = [this](TMemory& image) { ApplyReadDocument(image); };
    window.RefillDevices = [this](int32_t index) {
        lastDevice_ = index;
        FillDeviceCombo();
        // The list's width follows its names.
        ArrangeToolBars();
    };
    // Locked before the thread starts, so that no second click or shortcut comes in between.
    LockUi(true);
    invoke_ = std::make_unique<TInvokeTh>(std::move(window), library_.Entries(), std::move(request));
    invoke_->Start();
    return true;
}

void TfmCfgMain::LockUi(bool lock)
{
    EnableChildren(this, !lock);
    operations_->SetOperationsEnabled(!lock);
    if (!lock) library_.OperationEnded();
}

void TfmCfgMain::OperationEnded()
{
    if (!invoke_ || !invoke_->Ended()) return;
    invoke_->Join();
    invoke_.reset();
    LockUi(false);
    ArmIdle();
}

void TfmCfgMain::ApplyReadDocument(TMemory& image)
{
    TDocument* document = controller_.Document();
    if (!document) return;
    ApplyReadImage(*document, image);
    RefreshTree();
    BuildAddDeviceMenu();
    ArmIdle();
}

void TfmCfgMain::ThAbort()
{
    if (!invoke_ || closing_) return;
    if (!AbortQuestionDue(startTick_, Now())) return;
    if (platform::ShowMessageBox(handle_, kAbortQuestion, "Предупреждение", platform::MsgIcon::Warning,
                                 platform::MsgButtons::YesNo) == platform::MsgResult::Yes)
        platform::PostMessage(handle_, platform::WM_CLOSE, 0, 0);
}

bool TfmCfgMain::WaitForOperation()
{
    closing_ = true;
    const bool wasTerminating = platform::IsTerminating();
    progress_.SetClosing(true);
    platform::SetTerminating(true);
    platform::RunGuarded([this] { SaveSettings(); });
    QElapsedTimer clock;
    clock.start();
    while (invoke_ && !invoke_->Ended() && clock.elapsed() < kCloseWaitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (invoke_ && !invoke_->Ended()) return false;
    // Messages the operation sent before it ended are answered before the window goes.
    QCoreApplication::processEvents();
    OperationEnded();
    progress_.SetClosing(false);
    platform::SetTerminating(wasTerminating);
    closing_ = false;
    return true;
}

// ---------------------------------------------------------------------------------
// Progress of an operation

void TfmCfgMain::ShowCancelButton()
{
    if (!sbStatus->ProgressBar()) return;
    auto* button = new QToolButton(sbStatus);
    button->setObjectName(QStringLiteral("btProgressCancel"));
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setDefaultAction(acProgresCancel);
    // The status bar places it beside its bar, clear of the version panel.
    sbStatus->ProgressView().SetButton(button);
    button->show();
    cancelButton_ = button;
    // The window's controls are disabled during the operation; the status bar is not.
    sbStatus->setEnabled(true);
}

void TfmCfgMain::RemoveCancelButton()
{
    if (cancelButton_) delete cancelButton_.data();
}

bool TfmCfgMain::HasProgressBar() const { return sbStatus->ProgressBar() != nullptr; }

void TfmCfgMain::RefreshStatusText()
{
    if (const std::optional<std::string> text = ShowHintInStatusBar(ProgressBusy(), {}, lastingText_))
        sbStatus->SetPanelText(0, Q(*text));
}

void TfmCfgMain::Log(const std::string& line, int kind) { lbMsg->Add(line, kind); }
