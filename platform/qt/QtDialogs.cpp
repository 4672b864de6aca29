#include "platform/qt/QtDialogs.h"

#include "platform/qt/QtWindows.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QDateTime>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLibraryInfo>
#include <QListView>
#include <QLocale>
#include <QSplitter>
#include <QTranslator>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <utility>

namespace platform::qt {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

bool OnGuiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Runs fn on the GUI thread and gives its result; closed() when nothing may be shown.
template <class Fn, class Closed>
auto OnGui(Fn fn, Closed closed) -> decltype(fn())
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return closed();
    if (OnGuiThread())
        return fn();
    if (IsTerminating())
        return closed();
    decltype(fn()) result{};
    try {
        RunOnGuiThread([&] { result = fn(); });
    } catch (const EGuiThreadUnavailable&) {
        return closed();
    }
    return result;
}

struct ButtonMap {
    MsgResult result;
    QMessageBox::StandardButton button;
    const char* caption;
};

const ButtonMap kButtons[] = {
    {MsgResult::OK, QMessageBox::Ok, "OK"},
    {MsgResult::Cancel, QMessageBox::Cancel, "Отмена"},
    {MsgResult::Abort, QMessageBox::Abort, "Прервать"},
    {MsgResult::Retry, QMessageBox::Retry, "Повторить"},
    {MsgResult::Ignore, QMessageBox::Ignore, "Пропустить"},
    {MsgResult::Yes, QMessageBox::Yes, "Да"},
    {MsgResult::No, QMessageBox::No, "Нет"},
    {MsgResult::NoToAll, QMessageBox::NoToAll, "Нет для всех"},
    {MsgResult::YesToAll, QMessageBox::YesToAll, "Да для всех"},
};

QMessageBox::StandardButton StandardButton(MsgResult result)
{
    for (const auto& b : kButtons)
        if (b.result == result)
            return b.button;
    return QMessageBox::NoButton;
}

QLocale RussianLocale() { return QLocale(QLocale::Russian, QLocale::Russia); }

// The file dialog's sizes and dates in the Russian locale, which Qt formats in the
// system's locale otherwise: sizes in "байт", "кБ", "МБ" ..., dates in the short format.
class RussianFileColumnsModel : public QIdentityProxyModel {
public:
    explicit RussianFileColumnsModel(QObject* parent) : QIdentityProxyModel(parent) {}

    QVariant data(const QModelIndex& index, int role) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files)
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        if (index.column() == kSizeColumn && !files->isDir(source)) {
            const qint64 bytes = files->size(source);
            return bytes < 1024 ? RussianLocale().toString(bytes) + QString::fromUtf8(" байт")
                                : RussianLocale().formattedDataSize(bytes, 2, QLocale::DataSizeTraditionalFormat);
        }
        if (index.column() == kDateColumn)
            return RussianLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        return QIdentityProxyModel::data(index, role);
    }

    static constexpr int kSizeColumn = 1;
    static constexpr int kDateColumn = 3;
};

// Widens the file dialog so that the places, the column titles and their usual contents
// show whole at the dialog's font.
void FitFileDialog(QFileDialog& dialog)
{
    int places = 0;
    if (auto* sidebar = dialog.findChild<QListView*>("sidebar")) {
        // The widest place as the view draws it, with the frame and some air.
        places = sidebar->sizeHintForColumn(0) + 2 * sidebar->frameWidth() + 12;
        if (auto* splitter = dialog.findChild<QSplitter*>("splitter")) {
            const QList<int> sizes = splitter->sizes();
            const int total = std::max(sizes.value(0) + sizes.value(1), places + 400);
            splitter->setSizes({places, total - places});
        }
    }
    int columns = 0;
    if (auto* tree = dialog.findChild<QTreeView*>("treeView")) {
        QHeaderView* header = tree->header();
        const QFontMetrics metrics(tree->font());
        const QFontMetrics headerMetrics(header->font());
        // What each column typically shows besides its title.
        const QString samples[] = {
            QString(24, QLatin1Char('x')),
            QStringLiteral("1023,99 МБ"),
            QStringLiteral("Исходный код C++"),
            RussianLocale().toString(QDateTime(QDate(2000, 12, 28), QTime(23, 58)), QLocale::ShortFormat),
        };
        const QAbstractItemModel* model = header->model();
        for (int column = 0; model && column < model->columnCount() && column < 4; ++column) {
            const int title = headerMetrics.horizontalAdvance(model->headerData(column, Qt::Horizontal).toString());
            // Room for the sort mark and the cell margins.
            const int width = std::max(title, metrics.horizontalAdvance(samples[column])) + 28;
            header->resizeSection(column, width);
            columns += width;
        }
    }
    const QSize hint = dialog.sizeHint();
    dialog.resize(std::max(hint.width(), places + columns + 48), hint.height());
}

// The non-modal wait window. Made, polled on the GUI thread's side and closed through
// the GUI thread; the stop flag is shared with the window's button.
class QtWaitWindow : public WaitWindow {
public:
    explicit QtWaitWindow(const WaitWindowRequest& request) : stop_(std::make_shared<std::atomic<bool>>(false))
    {
        auto* dialog = new QDialog(OwnerWidget(request.owner), Qt::Dialog | Qt::CustomizeWindowHint |
                                                                  Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
        dialog->setObjectName("WaitWindow");
        dialog->setWindowTitle(Q(request.caption));
        auto* layout = new QVBoxLayout(dialog);
        if (!request.text.empty()) {
            auto* label = new QLabel(Q(NormalizeLineBreaks(request.text)), dialog);
            label->setTextFormat(Qt::PlainText);
            layout->addWidget(label);
        }
        auto* button = new QPushButton(Q(request.stopCaption), dialog);
        button->setObjectName("StopButton");
        if (!request.stopHint.empty())
            button->setToolTip(Q(NormalizeLineBreaks(request.stopHint)));
        layout->addWidget(button, 0, Qt::AlignHCenter);
        auto stop = stop_;
        QObject::connect(button, &QPushButton::clicked, dialog, [stop] { *stop = true; });
        QObject::connect(dialog, &QDialog::rejected, dialog, [stop] { *stop = true; }); // Escape
        dialog->setModal(false);
        if (QWidget* owner = dialog->parentWidget()) {
            // Centred over the owner's window.
            dialog->adjustSize();
            const QRect host = owner->window()->geometry();
            dialog->move(host.x() + (host.width() - dialog->width()) / 2,
                         host.y() + (host.height() - dialog->height()) / 2);
        }
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
        dialog_ = dialog;
    }

    ~QtWaitWindow() override { Close(); }

    bool StopPressed() override
    {
        // On the GUI thread the button is only pressed while events are handled.
        if (OnGuiThread())
            QCoreApplication::processEvents();
        return *stop_;
    }

    void Close() override
    {
        if (closed_)
            return;
        closed_ = true;
        QPointer<QDialog> dialog = dialog_;
        auto close = [dialog] { delete dialog.data(); };
        if (OnGuiThread()) {
            close();
            return;
        }
        try {
            RunOnGuiThread(close);
        } catch (const EGuiThreadUnavailable&) {
            // The application is ending: leave the window to the GUI thread.
            if (QCoreApplication* app = QCoreApplication::instance())
                QMetaObject::invokeMethod(app, close, Qt::QueuedConnection);
        }
    }

private:
    std::shared_ptr<std::atomic<bool>> stop_;
    QPointer<QDialog> dialog_;
    bool closed_ = false;
};

class StoppedWaitWindow : public WaitWindow {
public:
    bool StopPressed() override { return true; }
    void Close() override {}
};

} // namespace

QString ButtonCaption(MsgResult result)
{
    for (const auto& b : kButtons)
        if (b.result == result)
            return QString::fromUtf8(b.caption);
    return {};
}

QMessageBox* BuildMessageBox(const MessageBoxRequest& request, QWidget* parent)
{
    auto* box = new QMessageBox(parent);
    box->setWindowTitle(Q(request.caption));
    box->setTextFormat(Qt::PlainText);
    box->setText(Q(NormalizeLineBreaks(request.text)));
    switch (request.icon) {
    case MsgIcon::None: box->setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Information: box->setIcon(QMessageBox::Information); break;
    case MsgIcon::Warning: box->setIcon(QMessageBox::Warning); break;
    case MsgIcon::Error: box->setIcon(QMessageBox::Critical); break;
    case MsgIcon::Question: box->setIcon(QMessageBox::Question); break;
    }
    const auto results = ButtonResults(request.buttons);
    for (MsgResult r : results) {
        QPushButton* button = box->addButton(StandardButton(r));
        button->setText(ButtonCaption(r));
    }
    box->setDefaultButton(StandardButton(results.front()));
    box->setEscapeButton(box->button(StandardButton(CloseAnswer(request.buttons))));
    return box;
}

MsgResult MessageBoxAnswer(const QMessageBox& box, MsgButtons buttons)
{
    if (QAbstractButton* clicked = box.clickedButton()) {
        const auto standard = box.standardButton(clicked);
        for (const auto& b : kButtons)
            if (b.button == standard)
                return b.result;
    }
    return CloseAnswer(buttons);
}

QStringList QtNameFilters(const std::string& filter)
{
    QStringList filters;
    for (const FileFilter& f : ParseFileFilter(filter)) {
        QStringList patterns;
        for (const auto& p : f.patterns)
            patterns << (p == "*.*" ? QStringLiteral("*") : Q(p));
        filters << Q(f.description) + " (" + patterns.join(' ') + ")";
    }
    return filters;
}

QFileDialog* BuildFileDialog(const FileDialogRequest& request, QWidget* parent)
{
    auto* dialog = new QFileDialog(parent);
    const bool save = request.kind == FileDialogKind::Save;
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    // The descriptions are shown as the filter string gives them.
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(!save && request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog->setWindowTitle(request.title.empty() ? QString::fromUtf8(save ? "Сохранить как" : "Открыть")
                                                 : Q(request.title));
    dialog->setLabelText(QFileDialog::LookIn, QString::fromUtf8("Папка:"));
    dialog->setLabelText(QFileDialog::FileName, QString::fromUtf8("Имя файла:"));
    dialog->setLabelText(QFileDialog::FileType, QString::fromUtf8("Тип файлов:"));
    dialog->setLabelText(QFileDialog::Accept, QString::fromUtf8(save ? "Сохранить" : "Открыть"));
    dialog->setLabelText(QFileDialog::Reject, QString::fromUtf8("Отмена"));
    const QStringList filters = QtNameFilters(request.filter);
    if (!filters.isEmpty()) {
        dialog->setNameFilters(filters);
        const int index = request.filterIndex >= 1 && request.filterIndex <= filters.size() ? request.filterIndex : 1;
        dialog->selectNameFilter(filters[index - 1]);
    }
    // Qt appends the extension before it asks about overwriting, as the user expects;
    // the service's front applies the same rule to every answer.
    std::string ext = request.defaultExt;
    if (!ext.empty() && ext.front() == '.')
        ext.erase(0, 1);
    dialog->setDefaultSuffix(Q(ext));
    if (!request.initialDir.empty())
        dialog->setDirectory(Q(request.initialDir));
    if (!request.fileName.empty())
        dialog->selectFile(Q(request.fileName));
    dialog->setProxyModel(new RussianFileColumnsModel(dialog));
    FitFileDialog(*dialog);
    return dialog;
}

FileDialogResult FileDialogAnswer(const QFileDialog& dialog, bool accepted)
{
    FileDialogResult result;
    result.accepted = accepted && !dialog.selectedFiles().isEmpty();
    if (result.accepted)
        result.fileName = dialog.selectedFiles().front().toStdString();
    // With the details hidden, Qt names the chosen filter by its shown text.
    const QStringList filters = dialog.nameFilters();
    const QString selected = dialog.selectedNameFilter();
    for (int i = 0; i < filters.size(); ++i) {
        const QString& f = filters[i];
        const qsizetype open = f.lastIndexOf(" (");
        if (f == selected || (f.endsWith(')') && open >= 0 && f.left(open) == selected)) {
            result.filterIndex = i + 1;
            break;
        }
    }
    return result;
}

QInputDialog* BuildInputDialog(const InputRequest& request, QWidget* parent)
{
    auto* dialog = new QInputDialog(parent);
    dialog->setInputMode(QInputDialog::TextInput);
    dialog->setWindowTitle(Q(request.caption));
    dialog->setLabelText(Q(NormalizeLineBreaks(request.prompt)));
    dialog->setTextValue(Q(request.value));
    dialog->setTextEchoMode(request.masked ? QLineEdit::Password : QLineEdit::Normal);
    dialog->setOkButtonText(QString::fromUtf8("OK"));
    dialog->setCancelButtonText(QString::fromUtf8("Отмена"));
    return dialog;
}

QtDialogService::QtDialogService() = default;
QtDialogService::~QtDialogService() = default;

MsgResult QtDialogService::DoMessageBox(const MessageBoxRequest& request)
{
    return OnGui(
        [&] {
            std::unique_ptr<QMessageBox> box(BuildMessageBox(request, OwnerWidget(request.owner)));
            box->exec();
            return MessageBoxAnswer(*box, request.buttons);
        },
        [&] { return CloseAnswer(request.buttons); });
}

FileDialogResult QtDialogService::DoFileDialog(const FileDialogRequest& request)
{
    return OnGui(
        [&] {
            std::unique_ptr<QFileDialog> dialog(BuildFileDialog(request, OwnerWidget(request.owner)));
            const bool accepted = dialog->exec() == QDialog::Accepted;
            return FileDialogAnswer(*dialog, accepted);
        },
        [] { return FileDialogResult{}; });
}

std::optional<std::string> QtDialogService::DoInputQuery(const InputRequest& request)
{
    return OnGui(
        [&]() -> std::optional<std::string> {
            std::unique_ptr<QInputDialog> dialog(BuildInputDialog(request, OwnerWidget(request.owner)));
            if (dialog->exec() != QDialog::Accepted)
                return std::nullopt;
            return dialog->textValue().toStdString();
        },
        [] { return std::optional<std::string>(); });
}

MsgResult QtDialogService::DoShowForm(const FormRequest& request)
{
    const auto* view = dynamic_cast<const QtFormView*>(request.view.get());
    if (!request.model || !view)
        return MsgResult::Cancel;
    return OnGui(
        [&] {
            std::unique_ptr<QDialog> dialog(view->Make(*request.model, OwnerWidget(request.owner)));
            if (!dialog)
                return MsgResult::Cancel;
            const int code = dialog->exec();
            // A view may end with another answer of its own (done(int(MsgResult::Abort))).
            return code == QDialog::Accepted ? MsgResult::OK
                   : code == QDialog::Rejected ? MsgResult::Cancel
                                               : static_cast<MsgResult>(code);
        },
        [] { return MsgResult::Cancel; });
}

std::unique_ptr<WaitWindow> QtDialogService::DoShowWaitWindow(const WaitWindowRequest& request)
{
    return OnGui([&]() -> std::unique_ptr<WaitWindow> { return std::make_unique<QtWaitWindow>(request); },
                 []() -> std::unique_ptr<WaitWindow> { return std::make_unique<StoppedWaitWindow>(); });
}

bool InstallQtTranslation()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return false;
    static const char kName[] = "platformQtBaseRussian";
    if (app->findChild<QTranslator*>(kName, Qt::FindDirectChildrenOnly))
        return true;
    auto* translator = new QTranslator(app);
    translator->setObjectName(kName);
    if (!translator->load("qtbase_ru", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    app->installTranslator(translator);
    return true;
}

void InstallQtDialogService()
{
    InstallQtTranslation();
    SetDialogService(std::make_shared<QtDialogService>());
}

} // namespace platform::qt
