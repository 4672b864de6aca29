#include "configurator/widgets/FAutoIncView.h"
#include "configurator/widgets/ParamControls.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

TEST(AutoIncView, ShowsTheModelAndWritesItBackOnOK)
{
    qttest::App();
    TfmAutoInc model;
    model.SetCountMaximum(4);
    model.SetValue(aiCount, 4);
    std::unique_ptr<QDialog> dialog(BuildAutoIncDialog(model, nullptr));
    EXPECT_EQ(dialog->windowTitle(), "Установить значения");

    // The three spin edits in order, each under its caption, over the model's ranges.
    const char* const captions[] = {"Начальное значение", "Количество", "Инкримент"};
    auto* form = dialog->findChild<QFormLayout*>();
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->rowCount(), 3);
    for (int i = 0; i < 3; ++i) {
        auto* label = qobject_cast<QLabel*>(form->itemAt(i, QFormLayout::LabelRole)->widget());
        auto* spin = qobject_cast<TSpinEdit*>(form->itemAt(i, QFormLayout::FieldRole)->widget());
        ASSERT_TRUE(label && spin) << i;
        EXPECT_EQ(label->text(), captions[i]);
        EXPECT_EQ(spin->objectName(), AutoIncEdits[i].Name);
    }
    auto* first = dialog->findChild<TSpinEdit*>("edFirst");
    auto* count = dialog->findChild<TSpinEdit*>("edCount");
    auto* increment = dialog->findChild<TSpinEdit*>("edInc");
    EXPECT_EQ(count->value(), 4);
    EXPECT_EQ(count->maximum(), 4);
    EXPECT_EQ(count->minimum(), 0);
    EXPECT_EQ(first->minimum(), -2147483648.0);
    EXPECT_EQ(increment->maximum(), 2147483647.0);

    // OK is the default button; it writes the values back.
    first->setValue(10);
    increment->setValue(-5);
    count->setValue(3);
    auto* ok = dialog->findChild<QPushButton*>("btOK");
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(dialog->findChild<QPushButton*>("btCancel")->text(), "Cancel");
    ok->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(model.First(), 10);
    EXPECT_EQ(model.Count(), 3);
    EXPECT_EQ(model.Increment(), -5);

    // Esc cancels and writes nothing.
    TfmAutoInc other;
    std::unique_ptr<QDialog> second(BuildAutoIncDialog(other, nullptr));
    second->findChild<TSpinEdit*>("edFirst")->setValue(99);
    second->show();
    QTest::keyClick(second.get(), Qt::Key_Escape);
    EXPECT_EQ(second->result(), QDialog::Rejected);
    EXPECT_EQ(other.First(), 0);
}

} // namespace
