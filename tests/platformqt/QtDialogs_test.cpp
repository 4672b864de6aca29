#include "tests/support/QtTestApp.h"

#include "platform/ErrorDisplay.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtWindows.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QAbstractProxyModel>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QTranslator>
#include <QTreeView>
#include <QInputDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <thread>

using namespace platform;
using namespace platform::qt;
using qttest::PumpUntil;
using qttest::WhenModal;

namespace {

class QtDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        qttest::App();
        previous = SetDialogService(std::make_shared<QtDialogService>());
    }
    void TearDown() override { SetDialogService(previous); }

    std::shared_ptr<DialogService> previous;
};

QStringList Captions(const QMessageBox& box)
{
    QStringList captions;
    for (QAbstractButton* b : box.buttons())
        captions << b->text();
    captions.sort();
    return captions;
}

QStringList Sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

TEST_F(QtDialogs, MessageBoxesHaveRussianButtonsAndLineBreaks)
{
    struct Case {
        MsgButtons buttons;
        QStringList captions;
        MsgResult escape;
    };
    const Case cases[] = {
        {MsgButtons::OK, {"OK"}, MsgResult::OK},
        {MsgButtons::OKCancel, {"OK", "Отмена"}, MsgResult::Cancel},
        {MsgButtons::YesNo, {"Да", "Нет"}, MsgResult::No},
        {MsgButtons::YesNoCancel, {"Да", "Нет", "Отмена"}, MsgResult::Cancel},
        {MsgButtons::YesNoNoToAllYesToAll, {"Да", "Нет", "Нет для всех", "Да для всех"}, MsgResult::No},
        {MsgButtons::AbortRetryIgnore, {"Прервать", "Повторить", "Пропустить"}, MsgResult::Abort},
        {MsgButtons::AbortIgnore, {"Прервать", "Пропустить"}, MsgResult::Abort},
    };
    for (const Case& c : cases) {
        const MessageBoxRequest request{0, "Значение 5 отличается\rИспользовать значение по умолчанию?",
                                        "Подтверждение", MsgIcon::Question, c.buttons};
        std::unique_ptr<QMessageBox> box(BuildMessageBox(request, nullptr));
        EXPECT_EQ(Captions(*box), Sorted(c.captions));
        EXPECT_EQ(box->text(), "Значение 5 отличается\nИспользовать значение по умолчанию?");
        EXPECT_EQ(box->windowTitle(), "Подтверждение");
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        // Closing the box answers its escape button.
        EXPECT_EQ(MessageBoxAnswer(*box, c.buttons), c.escape);
        EXPECT_EQ(box->escapeButton()->text(), ButtonCaption(c.escape));
        // Every button gives its own answer.
        for (MsgResult r : ButtonResults(c.buttons)) {
            std::unique_ptr<QMessageBox> clicked(BuildMessageBox(request, nullptr));
            for (QAbstractButton* b : clicked->buttons())
                if (b->text() == ButtonCaption(r))
                    b->click();
            EXPECT_EQ(MessageBoxAnswer(*clicked, c.buttons), r);
        }
    }
    std::unique_ptr<QMessageBox> error(BuildMessageBox({0, "x", "", MsgIcon::Error, MsgButtons::OK}, nullptr));
    EXPECT_EQ(error->icon(), QMessageBox::Critical);
}

TEST_F(QtDialogs, FileDialogsTakeWindowsFiltersAndMatchIgnoringCase)
{
    testsupport::TempDir dir;
    std::ofstream(dir.path() / "FW.A90") << "x";
    std::ofstream(dir.path() / "fw.hex") << "x";
    FileDialogRequest request;
    request.filter = "Файлы прошивок|*.a90;*.a82|Hex файлы|*.hex|Все файлы|*.*";
    request.filterIndex = 1;
    request.initialDir = dir.path().string();
    request.fileMustExist = true;
    std::unique_ptr<QFileDialog> dialog(BuildFileDialog(request, nullptr));
    EXPECT_EQ(dialog->nameFilters(),
              (QStringList{"Файлы прошивок (*.a90 *.a82)", "Hex файлы (*.hex)", "Все файлы (*)"}));
    EXPECT_EQ(FileDialogAnswer(*dialog, false).filterIndex, 1);
    EXPECT_EQ(dialog->directory().absolutePath(), QString::fromStdString(dir.path().string()));
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog->windowTitle(), "Открыть");

    // The list shows "FW.A90" under "*.a90", and only it.
    auto* view = dialog->findChild<QListView*>("listView");
    ASSERT_NE(view, nullptr);
    auto shown = [&] {
        QStringList names;
        const QModelIndex root = view->rootIndex();
        for (int row = 0; row < view->model()->rowCount(root); ++row)
            names << view->model()->index(row, 0, root).data().toString();
        return names;
    };
    ASSERT_TRUE(PumpUntil([&] { return !shown().isEmpty(); }));
    EXPECT_EQ(shown(), QStringList{"FW.A90"});

    // The answer carries the chosen file and filter.
    request.filterIndex = 2;
    dialog.reset(BuildFileDialog(request, nullptr));
    dialog->selectFile(QString::fromStdString((dir.path() / "fw.hex").string()));
    const FileDialogResult answer = FileDialogAnswer(*dialog, true);
    EXPECT_TRUE(answer.accepted);
    EXPECT_EQ(answer.fileName, (dir.path() / "fw.hex").string());
    EXPECT_EQ(answer.filterIndex, 2);
    EXPECT_FALSE(FileDialogAnswer(*dialog, false).accepted);

    // Another filter chosen in the dialog; an index outside the list selects the first.
    dialog->selectNameFilter("Все файлы (*)");
    EXPECT_EQ(FileDialogAnswer(*dialog, false).filterIndex, 3);
    request.filterIndex = 7;
    dialog.reset(BuildFileDialog(request, nullptr));
    EXPECT_EQ(FileDialogAnswer(*dialog, false).filterIndex, 1);
}

TEST_F(QtDialogs, QtsOwnTextsComeFromItsRussianTranslation)
{
    InstallQtDialogService();
    EXPECT_TRUE(InstallQtTranslation()); // once: a second call changes nothing
    EXPECT_EQ(QCoreApplication::instance()->findChildren<QTranslator*>(QString(), Qt::FindDirectChildrenOnly).size(),
              1);

    QMessageBox box;
    EXPECT_EQ(box.addButton(QMessageBox::No)->text(), "&Нет");
    EXPECT_EQ(box.addButton(QMessageBox::Yes)->text(), "&Да");

    testsupport::TempDir dir;
    std::ofstream(dir.path() / "a.hex") << "x";
    FileDialogRequest request;
    request.filter = "Файл параметров (*.hex)|*.hex|Все файлы|*.*";
    request.initialDir = dir.path().string();
    std::unique_ptr<QFileDialog> dialog(BuildFileDialog(request, nullptr));
    auto* tree = dialog->findChild<QTreeView*>("treeView");
    ASSERT_NE(tree, nullptr);
    const QAbstractItemModel* model = tree->header()->model();
    QStringList titles;
    for (int column = 0; column < model->columnCount(); ++column)
        titles << model->headerData(column, Qt::Horizontal).toString();
    EXPECT_EQ(titles, (QStringList{"Имя", "Размер", "Тип", "Дата изменения"}));

    // The column titles and the places show whole.
    for (int column = 0; column < model->columnCount(); ++column)
        EXPECT_GT(tree->header()->sectionSize(column), tree->fontMetrics().horizontalAdvance(titles[column]))
            << titles[column].toStdString();
    auto* sidebar = dialog->findChild<QListView*>("sidebar");
    ASSERT_NE(sidebar, nullptr);
    dialog->show();
    QApplication::processEvents();
    EXPECT_LE(sidebar->sizeHintForColumn(0), sidebar->viewport()->width());

    // The size and the date of a file in the Russian locale.
    const QModelIndex root = tree->rootIndex();
    ASSERT_TRUE(PumpUntil([&] { return tree->model()->rowCount(root) > 0; }));
    const QModelIndex file = tree->model()->index(0, 0, root);
    EXPECT_EQ(tree->model()->index(0, 1, root).data().toString(), "1 байт");
    const QString date = tree->model()->index(0, 3, root).data().toString();
    const QDateTime modified = static_cast<QFileSystemModel*>(
                                   static_cast<QAbstractProxyModel*>(tree->model())->sourceModel())
                                   ->lastModified(static_cast<QAbstractProxyModel*>(tree->model())->mapToSource(file));
    EXPECT_EQ(date, QLocale(QLocale::Russian).toString(modified, QLocale::ShortFormat));
    EXPECT_TRUE(date.contains(modified.toString("dd.MM."))) << date.toStdString();
}

TEST_F(QtDialogs, ASaveDialogRunThroughTheServiceAppendsTheDefaultExtension)
{
    testsupport::TempDir dir;
    std::filesystem::create_directory(dir.path() / "dir.v2");
    QWidget owner;
    const HWND ownerHandle = RegisterWidget(&owner);
    QWidget* parent = nullptr;
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        parent = dialog->parentWidget();
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText("params");
        static_cast<QDialog*>(dialog)->accept(); // Qt's own checks, as the Save button runs them
    });
    FileDialogRequest request;
    request.owner = ownerHandle;
    request.kind = FileDialogKind::Save;
    request.filter = "Файл параметров (*.hex)|*.hex|Все файлы|*.*";
    request.initialDir = (dir.path() / "dir.v2").string();
    request.defaultExt = "hex";
    request.overwritePrompt = true;
    const FileDialogResult answer = ShowFileDialog(request);
    EXPECT_EQ(parent, &owner);
    EXPECT_TRUE(answer.accepted);
    EXPECT_EQ(answer.fileName, (dir.path() / "dir.v2" / "params.hex").string());
    EXPECT_EQ(answer.filterIndex, 1);
}

TEST_F(QtDialogs, InputDialogs)
{
    std::unique_ptr<QInputDialog> dialog(BuildInputDialog({0, "Пароль", "Введите пароль", "abc", true}, nullptr));
    EXPECT_EQ(dialog->windowTitle(), "Пароль");
    EXPECT_EQ(dialog->labelText(), "Введите пароль");
    EXPECT_EQ(dialog->textValue(), "abc");
    EXPECT_EQ(dialog->textEchoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog->cancelButtonText(), "Отмена");
    dialog.reset(BuildInputDialog({0, "Имя", "", "", false}, nullptr));
    EXPECT_EQ(dialog->textEchoMode(), QLineEdit::Normal);
}

TEST_F(QtDialogs, AWorkersBoxIsHandedToTheGuiThreadModalToItsOwner)
{
    QWidget main;
    const HWND mainHandle = RegisterMainWindow(&main);
    QString text;
    QWidget* parent = nullptr;
    std::thread::id shownOn;
    WhenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text();
        parent = box->parentWidget();
        shownOn = std::this_thread::get_id();
        for (QAbstractButton* b : box->buttons())
            if (b->text() == "Нет")
                b->click();
    });
    std::atomic<bool> done{false};
    MsgResult answer = MsgResult::None;
    std::thread worker([&] {
        // Owner 0: the main window.
        answer = ShowMessageBox(0, "Сохранить сессионные настройки?\n(параметры подключения, скрипты)",
                                "Предупреждение", MsgIcon::Warning, MsgButtons::YesNo);
        done = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(answer, MsgResult::No);
    EXPECT_EQ(text, "Сохранить сессионные настройки?\n(параметры подключения, скрипты)");
    EXPECT_EQ(parent, &main);
    EXPECT_EQ(shownOn, std::this_thread::get_id());
    EXPECT_EQ(MainWindow(), mainHandle);
}

// The host unloads the loader library on the GUI thread after setting the terminating
// flag; the library's question at unload is still shown there, directly.
TEST_F(QtDialogs, WhileTerminatingTheGuiThreadStillAsks)
{
    QWidget main;
    RegisterMainWindow(&main);
    std::thread::id shownOn;
    WhenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        shownOn = std::this_thread::get_id();
        for (QAbstractButton* b : box->buttons())
            if (b->text() == "Да")
                b->click();
    });
    SetTerminating(true);
    const MsgResult answer = ShowMessageBox(0, "Сохранить сессионные настройки?\n(параметры подключения, скрипты)",
                                            "Предупреждение", MsgIcon::Warning, MsgButtons::YesNo);
    SetTerminating(false);
    EXPECT_EQ(answer, MsgResult::Yes);
    EXPECT_EQ(shownOn, std::this_thread::get_id());
}

TEST_F(QtDialogs, WhileTerminatingOtherThreadsGetClosedAnswersUnshown)
{
    SetTerminating(true);
    MsgResult yesNoCancel = MsgResult::None, yesNo = MsgResult::None;
    bool fileChosen = true, stop = false;
    std::thread([&] {
        yesNoCancel = ShowMessageBox(0, "?", "", MsgIcon::Question, MsgButtons::YesNoCancel);
        yesNo = ShowMessageBox(0, "?", "", MsgIcon::Question, MsgButtons::YesNo);
        fileChosen = ShowFileDialog({}).accepted;
        stop = ShowWaitWindow({})->StopPressed();
    }).join();
    SetTerminating(false);
    EXPECT_EQ(yesNoCancel, MsgResult::Cancel);
    EXPECT_EQ(yesNo, MsgResult::No);
    EXPECT_FALSE(fileChosen);
    EXPECT_TRUE(stop);
}

TEST_F(QtDialogs, TheWaitWindowOfAWorkerStopsWhenItsButtonIsPressed)
{
    std::atomic<bool> done{false};
    int polls = 0;
    std::thread worker([&] {
        auto window = ShowWaitWindow({0, "Oжидание перезагрузки", "", "Остановить",
                                      "Если не используется скрипт с рестартом контроллера , \r\nто нужно выключить"});
        while (!window->StopPressed())
            ++polls, std::this_thread::sleep_for(std::chrono::milliseconds(2));
        window->Close();
        done = true;
    });
    QDialog* window = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "WaitWindow" && w->isVisible())
                window = qobject_cast<QDialog*>(w);
        return window != nullptr;
    }));
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(window->windowTitle(), "Oжидание перезагрузки");
    auto* stopButton = window->findChild<QPushButton*>("StopButton");
    ASSERT_NE(stopButton, nullptr);
    EXPECT_EQ(stopButton->text(), "Остановить");
    EXPECT_EQ(stopButton->toolTip(), "Если не используется скрипт с рестартом контроллера , \nто нужно выключить");
    QPointer<QDialog> alive(window);
    stopButton->click();
    ASSERT_TRUE(PumpUntil([&] { return done.load() && alive.isNull(); }));
    worker.join();
}

TEST_F(QtDialogs, TheWaitWindowStaysOnTopCentredOverItsOwner)
{
    QWidget owner;
    owner.setGeometry(100, 80, 600, 400);
    owner.show();
    const HWND ownerHandle = RegisterWidget(&owner);
    auto window = ShowWaitWindow({ownerHandle, "Oжидание перезагрузки", "", "Остановить", ""});
    QDialog* dialog = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "WaitWindow" && w->isVisible())
            dialog = qobject_cast<QDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(dialog->parentWidget(), &owner);
    const QPoint centre = dialog->geometry().center(), hostCentre = owner.geometry().center();
    EXPECT_LE(std::abs(centre.x() - hostCentre.x()), 4);
    EXPECT_LE(std::abs(centre.y() - hostCentre.y()), 4);
    window->Close();
}

TEST_F(QtDialogs, AGuardedSlotThatThrowsGivesOneErrorBox)
{
    testsupport::DialogScript script;
    script->PushAnswer(MsgResult::OK);
    SetApplicationTitle("Mirvak");
    QPushButton button;
    QObject::connect(&button, &QPushButton::clicked,
                     Guarded([] { throw std::runtime_error("Меньше минимума"); }));
    button.click();
    const auto records = script->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].box.text, "Меньше минимума");
    EXPECT_EQ(records[0].box.caption, "Mirvak");
    EXPECT_EQ(records[0].box.icon, MsgIcon::Error);
    EXPECT_EQ(records[0].box.buttons, MsgButtons::OK);
}
