// The Qt view of the memory area dialog, offscreen: asked for from a worker thread, it is
// built on the GUI thread and OK hands the typed values back.

#include "tests/support/QtTestApp.h"

#include "loader/dialogs/FAddr.h"
#include "loader/qt/FAddrView.h"
#include "platform/Registry.h"
#include "platform/qt/QtDialogs.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>

#include <atomic>
#include <thread>

TEST(AddrFormView, AWorkerGetsTheTypedArea)
{
    qttest::App();
    testsupport::TempDir dir;
    testsupport::ScopedEnv registry{platform::kRegistryFileVariable, (dir / "registry.reg").string()};
    const auto previous = platform::SetDialogService(std::make_shared<platform::qt::QtDialogService>());
    SetAddrFormView(AddrFormView());

    std::thread::id builtOn;
    qttest::WhenModalNamed("TfmAddr", [&](QWidget* dialog) {
        builtOn = std::this_thread::get_id();
        EXPECT_EQ(dialog->windowTitle(), "Парметры");
        auto* addr = dialog->findChild<QSpinBox*>("edAddr");
        auto* count = dialog->findChild<QSpinBox*>("edCount");
        auto* length = dialog->findChild<QComboBox*>("cbLength");
        ASSERT_TRUE(addr && count && length);
        EXPECT_EQ(addr->displayIntegerBase(), 16);
        EXPECT_EQ(addr->maximum(), 2147483647);
        EXPECT_EQ(length->count(), 3);
        EXPECT_EQ(length->itemText(1), "Кб");
        addr->setValue(0x1000);
        EXPECT_EQ(addr->text(), "1000");
        count->setValue(3);
        length->setCurrentIndex(1);
        dialog->findChild<QPushButton*>("OkButton")->click();
    });
    TfmAddrModel model;
    std::atomic<bool> done{false};
    bool accepted = false;
    std::thread worker([&] {
        accepted = ShowAddrForm(model, 0);
        done = true;
    });
    ASSERT_TRUE(qttest::PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(builtOn, std::this_thread::get_id());
    EXPECT_TRUE(accepted);
    EXPECT_EQ(model.StartAddress(), 0x1000u);
    EXPECT_EQ(model.AreaSize(), 3072u);

    SetAddrFormView(nullptr);
    platform::SetDialogService(previous);
}
