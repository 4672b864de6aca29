#include "tests/support/QtTestApp.h"

#include "loader/qt/FExceptionInfoView.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include <memory>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;
using platform::MsgResult;

namespace {

std::string S(const QString& text) { return text.toStdString(); }

std::unique_ptr<QDialog> Build(TExceptionDialog& model)
{
    qttest::App();
    return std::unique_ptr<QDialog>(BuildExceptionDialog(model, nullptr));
}

template <class T>
T* Child(QDialog& dialog, const char* name)
{
    T* child = dialog.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

} // namespace

TEST(ExceptionDialog, ControlsTextsAndDetailsToggle)
{
    TExceptionDialog model(std::make_exception_ptr(std::runtime_error("Соединение не установлено")), "Mirvak");
    auto dialog = Build(model);
    EXPECT_EQ(S(dialog->windowTitle()), "Ошибка в приложении - Mirvak");
    EXPECT_EQ(dialog->minimumWidth(), 200);
    EXPECT_EQ(S(Child<QPlainTextEdit>(*dialog, "TextLabel")->toPlainText()), "Соединение не установлено");
    EXPECT_TRUE(Child<QPlainTextEdit>(*dialog, "TextLabel")->isReadOnly());
    EXPECT_EQ(S(Child<QPlainTextEdit>(*dialog, "TextLabel")->toolTip()), "Use Ctrl+C to copy the report to the clipboard");
    auto* ok = Child<QPushButton>(*dialog, "OkBtn");
    EXPECT_EQ(S(ok->text()), "&Выход");
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(S(Child<QPushButton>(*dialog, "Button2")->text()), "&Перезапустить");
    EXPECT_EQ(S(Child<QPushButton>(*dialog, "Button1")->text()), "Скопировать");
    auto* details = Child<QPushButton>(*dialog, "DetailsBtn");
    EXPECT_EQ(S(details->toolTip()), "Show or hide additional information");
    auto* memo = Child<QPlainTextEdit>(*dialog, "DetailsMemo");
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(S(memo->toPlainText()), platform::NormalizeLineBreaks(model.DetailsText()));

    dialog->show();
    EXPECT_EQ(S(details->text()), "&Детализация >>");
    EXPECT_FALSE(memo->isVisible());
    const int closedHeight = dialog->height();
    details->click();
    EXPECT_EQ(S(details->text()), "<< &Детализация");
    EXPECT_TRUE(memo->isVisible());
    EXPECT_GT(dialog->height(), closedHeight);
    // For a reader: the dialog with its details open.
    dialog->grab().save(QString::fromStdString(MIRVAK_BINARY_DIR "/tests/ExceptionDialog.png"));
    details->click();
    EXPECT_EQ(S(details->text()), "&Детализация >>");
    EXPECT_FALSE(memo->isVisible());
}

TEST(ExceptionDialog, CopyPutsMessageAndDetailsOnTheClipboard)
{
    TExceptionDialog model(std::make_exception_ptr(std::runtime_error("Сбой")), "Mirvak");
    auto dialog = Build(model);
    dialog->show();
    for (bool shortcut : {false, true}) {
        QGuiApplication::clipboard()->clear();
        if (shortcut)
            QTest::keyClick(Child<QPlainTextEdit>(*dialog, "TextLabel"), Qt::Key_C, Qt::ControlModifier);
        else
            Child<QPushButton>(*dialog, "Button1")->click();
        EXPECT_EQ(S(QGuiApplication::clipboard()->text()), "Сбой\r\n" + model.DetailsText()) << shortcut;
    }
}

TEST(ExceptionDialog, ButtonsRecordTheChoiceAndClose)
{
    struct Case {
        const char* button;
        TExceptionDialog::TChoice choice;
    };
    for (const Case& c : {Case{"OkBtn", TExceptionDialog::TChoice::Exit}, Case{"Button2", TExceptionDialog::TChoice::Restart}}) {
        TExceptionDialog model(std::make_exception_ptr(std::runtime_error("x")), "Mirvak");
        auto dialog = Build(model);
        dialog->show();
        Child<QPushButton>(*dialog, c.button)->click();
        EXPECT_EQ(model.Choice(), c.choice) << c.button;
        EXPECT_FALSE(dialog->isVisible());
    }
    TExceptionDialog model(std::make_exception_ptr(std::runtime_error("x")), "Mirvak");
    auto dialog = Build(model);
    dialog->show();
    dialog->close();
    EXPECT_EQ(model.Choice(), TExceptionDialog::TChoice::None);
}

TEST(ExceptionDialog, AThrowingSlotOfALibraryDialogRequestsTheDialogAndTheLoopGoesOn)
{
    qttest::App();
    testsupport::TempDir dir;
    testsupport::ScopedEnv env("MIRVAK_PROGRAM_DIR", dir.path().string());
    StartExceptionTracking();
    InstallExceptionDialog();
    testsupport::DialogScript script;
    std::vector<std::string> details;
    script->PushForm([&](platform::FormModel& model) {
        details = dynamic_cast<TExceptionDialog&>(model).DetailsLines();
        return MsgResult::Cancel;
    });

    QDialog form;
    form.setObjectName("TfmProbe");
    MarkLibraryForm(&form);
    auto* button = new QPushButton("Пуск", &form);
    button->setObjectName("StartBtn");
    new QVBoxLayout(&form);
    form.layout()->addWidget(button);
    QObject::connect(button, &QPushButton::clicked, platform::Guarded([] {
                         std::string text = "abc";
                         (void)text.at(5);
                     }, &LibraryErrorDisplay()));
    form.show();
    form.activateWindow();
    button->setFocus();
    ASSERT_TRUE(qttest::PumpUntil([&] { return QApplication::focusWidget() == button; }));

    bool later = false;
    QTimer::singleShot(0, [&] { button->click(); });
    QTimer::singleShot(20, [&] { later = true; });
    EXPECT_TRUE(qttest::PumpUntil([&] { return later; }));

    RemoveExceptionDialog();
    StopExceptionTracking();
    FreeSharedWatchCategory();

    const auto records = script->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].form, "TExceptionDialog");
    // Raised inside the standard library, out of the hook's sight: logged once, by the guard.
    std::string log;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().extension() == ".log") log += testsupport::ReadFile(entry.path());
    size_t excepts = 0;
    for (size_t pos = 0; (pos = log.find("| Except | out_of_range: ", pos)) != std::string::npos; ++pos) ++excepts;
    EXPECT_EQ(excepts, 1u) << log;
    ASSERT_GE(details.size(), 2u);
    EXPECT_EQ(details[0], "Клас ошибки: out_of_range");
    const auto chain = std::find(details.begin(), details.end(), "Иерархия активных элементов:");
    ASSERT_NE(chain, details.end());
    ASSERT_GE(details.end() - chain, 4);
    EXPECT_EQ(chain[1], "QPushButton \"StartBtn\"");
    EXPECT_EQ(chain[2], "QDialog \"TfmProbe\"");
    EXPECT_EQ(chain[3], std::string(78, '-'));
}
