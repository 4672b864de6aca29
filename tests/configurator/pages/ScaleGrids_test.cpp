#include "configurator/pages/FCalcScale.h"
#include "configurator/pages/FDevScale.h"
#include "configurator/pages/FScale.h"
#include "configurator/rules/ScaleGridRules.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uZumo2.h"
#include "tests/support/DialogScript.h"
#include "tests/support/PagesWindow.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <string>
#include <vector>

namespace {

class ScaleGrids : public testsupport::PagesWindow {
protected:
    testsupport::DialogScript dialogs;

    TfrScale* OpenScales()
    {
        auto* page = Select<TfrScale>(doc->Groups().Scales);
        if (page) Activate(page);
        return page;
    }
    // The scale page of device 0, put in use first.
    TfrDevScale* OpenDevScales()
    {
        testsupport::UseSlot(Document(), 0, 2, 0, 0, 1);
        doc->RefreshTree();
        TNodeTree* device = DevNode(0);
        for (int i = 0; i < device->ChildCount(); ++i)
            if (dynamic_cast<TDevScaleNode*>(device->Child(i))) {
                auto* page = Select<TfrDevScale>(device->Child(i));
                if (page) Activate(page);
                return page;
            }
        return nullptr;
    }
    void Activate(TGridFrame* page)
    {
        window->activateWindow();
        ASSERT_TRUE(qttest::PumpUntil([&] { return window->isActiveWindow(); }));
        page->vtGrid->setFocus();
        ASSERT_TRUE(qttest::PumpUntil([&] { return page->vtGrid->hasFocus(); }));
    }
    static QRect CellRect(TGridFrame* page, int row, int column)
    {
        return page->vtGrid->visualRect(page->Model()->index(row, column));
    }
    static QString Shown(TGridFrame* page, int row, int column)
    {
        return page->Model()->index(row, column).data().toString();
    }
    float Conversion(int n, const char* key) { return Document().ScaleByIndex(n - 1)->Find<TField>(key)->GetValue().ToSingle(); }
    int64_t Block(int index, const char* key)
    {
        return Document().DeviceByIndex(0)->ScaleBlockByIndex(index)->Find<TField>(key)->GetValue().ToInt64();
    }
    void SetBlock(int index, const char* key, int32_t value)
    {
        Document().DeviceByIndex(0)->ScaleBlockByIndex(index)->Find<TField>(key)->SetValue(value);
    }
    // The error boxes shown so far.
    std::vector<std::string> Errors()
    {
        std::vector<std::string> texts;
        for (const platform::DialogRecord& r : dialogs->Records()) texts.push_back(r.box.text);
        return texts;
    }
};

TEST_F(ScaleGrids, CalculatorOverTheNumberColumn)
{
    TfrScale* page = OpenScales();
    ASSERT_NE(page, nullptr);
    const auto open = [&](int row) {
        QTest::mouseDClick(page->vtGrid->viewport(), Qt::LeftButton, {}, CellRect(page, row, sgNumber).center());
        return page->Calculator();
    };

    // At the cell's top-left, over the page, with 0..2000 -> b..2000k+b.
    TfrCalcScale* calc = open(2);
    ASSERT_NE(calc, nullptr);
    EXPECT_EQ(calc->parentWidget(), page);
    EXPECT_EQ(calc->pos(), page->vtGrid->viewport()->mapTo(page, CellRect(page, 2, sgNumber).topLeft()));
    EXPECT_TRUE(calc->isVisible());
    EXPECT_EQ(calc->edInMin->value(), 0);
    EXPECT_EQ(calc->edInMax->value(), 2000);
    EXPECT_EQ(calc->edOutMin->value(), 0);
    EXPECT_EQ(calc->edOutMax->value(), 2000);
    EXPECT_EQ(calc->edOutMax->decimals(), 3);
    calc->edOutMin->setValue(4);
    calc->edOutMax->setValue(20);
    QTest::mouseClick(calc->Button1, Qt::LeftButton);
    EXPECT_EQ(Conversion(3, "0001"), 0.008f);
    EXPECT_EQ(Conversion(3, "0002"), 4.0f);
    EXPECT_NE(page->Calculator(), nullptr); // until the page has its message
    ASSERT_TRUE(qttest::PumpUntil([&] { return page->Calculator() == nullptr; }));
    EXPECT_TRUE(page->vtGrid->hasFocus());
    EXPECT_EQ(Shown(page, 2, sgFactor), "0.008");
    EXPECT_EQ(Shown(page, 2, sgOffset), "4");

    // Equal inputs: the error, nothing stored, still open; then "Отмена" stores
    // nothing either.
    calc = open(2);
    ASSERT_NE(calc, nullptr);
    calc->edInMax->setValue(0);
    calc->edOutMax->setValue(99);
    dialogs->PushAnswer(platform::MsgResult::OK);
    QTest::mouseClick(calc->Button1, Qt::LeftButton);
    EXPECT_EQ(Errors(), std::vector<std::string>{"Нижнее и верхнее входные значения совпадают"});
    QApplication::processEvents();
    EXPECT_EQ(page->Calculator(), calc);
    QTest::mouseClick(calc->Button2, Qt::LeftButton);
    ASSERT_TRUE(qttest::PumpUntil([&] { return page->Calculator() == nullptr; }));
    EXPECT_EQ(Conversion(3, "0001"), 0.008f);

    // Esc, and a click on the grid, act as "Отмена".
    calc = open(4);
    ASSERT_NE(calc, nullptr);
    calc->edOutMax->setValue(50);
    QTest::keyClick(calc->edOutMax, Qt::Key_Escape);
    ASSERT_TRUE(qttest::PumpUntil([&] { return page->Calculator() == nullptr; }));
    calc = open(4);
    ASSERT_NE(calc, nullptr);
    calc->edOutMax->setFocus();
    calc->edOutMax->setValue(50);
    QTest::mouseClick(page->vtGrid->viewport(), Qt::LeftButton, {}, CellRect(page, 7, sgFactor).center());
    ASSERT_TRUE(qttest::PumpUntil([&] { return page->Calculator() == nullptr; }));
    EXPECT_EQ(Conversion(5, "0001"), 1.0f);
}

TEST_F(ScaleGrids, DescriptionsOnTheSynchronousDocumentOnly)
{
    TfrScale* scales = OpenScales();
    ASSERT_NE(scales, nullptr);
    EXPECT_TRUE(scales->vtGrid->isColumnHidden(sgDescription));
    TfrDevScale* blocks = OpenDevScales();
    ASSERT_NE(blocks, nullptr);
    EXPECT_TRUE(blocks->vtGrid->isColumnHidden(dsDescription));
    EXPECT_EQ(blocks->Model()->rowCount(), 20);

    UseModel(1);
    scales = OpenScales();
    ASSERT_NE(scales, nullptr);
    EXPECT_FALSE(scales->vtGrid->isColumnHidden(sgDescription));
    EXPECT_EQ(scales->Model()->headerData(sgDescription, Qt::Horizontal, Qt::DisplayRole).toString(), "Описание");
    EXPECT_EQ(Shown(scales, 0, sgDescription), "Нет описания");
    blocks = OpenDevScales();
    ASSERT_NE(blocks, nullptr);
    EXPECT_FALSE(blocks->vtGrid->isColumnHidden(dsDescription));
    EXPECT_GE(blocks->vtGrid->columnWidth(dsDescription), 400);
    EXPECT_EQ(blocks->Model()->rowCount(), 60);
    EXPECT_EQ(Shown(blocks, 0, dsFormula), "нет");
    EXPECT_EQ(Shown(blocks, 0, dsDescription), "нет описания");

    // The tree's jump to a conversion focuses its row on the conversion page.
    ASSERT_TRUE(doc->FrameNotify(0, reinterpret_cast<intptr_t>(Document().ScaleByIndex(7))));
    auto* page = dynamic_cast<TfrScale*>(doc->Frame()->Widget());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->vtGrid->currentIndex(), page->Model()->index(7, sgFactor));
}

TEST_F(ScaleGrids, DeviceSpinStoresWhenThePageHasItsMessage)
{
    TfrDevScale* page = OpenDevScales();
    ASSERT_NE(page, nullptr);
    page->FocusCell(3, dsVak);
    QTest::keyClick(page->vtGrid, Qt::Key_7);
    auto* spin = qobject_cast<TSpinEdit*>(page->Link()->Editor());
    ASSERT_NE(spin, nullptr);
    QTest::keyClicks(spin, "5");
    QTest::keyPress(spin, Qt::Key_Return);
    EXPECT_EQ(Block(3, "0001"), 0); // not yet
    ASSERT_TRUE(qttest::PumpUntil([&] { return page->Link()->Editor() == nullptr; }));
    EXPECT_EQ(Block(3, "0001"), 75);
    EXPECT_EQ(Shown(page, 3, dsVak), "75");

    // Esc leaves the value.
    QTest::keyClick(page->vtGrid, Qt::Key_9);
    spin = qobject_cast<TSpinEdit*>(page->Link()->Editor());
    ASSERT_NE(spin, nullptr);
    QTest::keyClick(spin, Qt::Key_Escape);
    ASSERT_TRUE(qttest::PumpUntil([&] { return page->Link()->Editor() == nullptr; }));
    EXPECT_EQ(Block(3, "0001"), 75);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(ScaleGrids, DeviceCombosStoreOnlyAChoice)
{
    TZumo2Doc& sync = UseModel(1);
    // Conversions 1 and 2 share a formula; 3 has its own and a description.
    for (int n : {1, 2}) {
        sync.ScaleByIndex(n - 1)->Find<TField>("0001")->SetValue(2.0);
        sync.ScaleByIndex(n - 1)->Find<TField>("0002")->SetValue(-1.5);
    }
    sync.ScaleByIndex(2)->Find<TField>("0001")->SetValue(5.0);
    sync.ScaleByIndex(2)->Find<TField>("descr")->SetValue(std::string("Гамма"));
    TfrDevScale* page = OpenDevScales();
    ASSERT_NE(page, nullptr);
    SetBlock(0, "0003", 2);
    SetBlock(0, "0002", 1);
    page->RefreshAll();
    EXPECT_EQ(Shown(page, 0, dsFormula), "X*2.0000 -1.5000 ");

    // Opened and closed as it is: the reference stays 2, though the item says 1.
    page->FocusCell(0, dsFormula);
    QTest::keyClick(page->vtGrid, Qt::Key_Return);
    auto* combo = qobject_cast<QComboBox*>(page->Link()->Editor());
    ASSERT_NE(combo, nullptr);
    ASSERT_TRUE(qttest::PumpUntil([&] { return combo->view()->isVisible(); }));
    EXPECT_EQ(combo->currentText(), "X*2.0000-1.5000 ");
    EXPECT_EQ(combo->currentData().toInt(), 1);
    combo->hidePopup();
    ASSERT_TRUE(qttest::PumpUntil([&] { return page->Link()->Editor() == nullptr; }));
    EXPECT_EQ(Block(0, "0003"), 2);

    // A description chosen: the number and the formula follow at once.
    page->FocusCell(0, dsDescription);
    QTest::keyClick(page->vtGrid, Qt::Key_Return);
    combo = qobject_cast<QComboBox*>(page->Link()->Editor());
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->itemText(0), "нет");
    const int gamma = combo->findText("Гамма");
    ASSERT_GE(gamma, 0);
    combo->setCurrentIndex(gamma);
    combo->hidePopup();
    ASSERT_TRUE(qttest::PumpUntil([&] { return page->Link()->Editor() == nullptr; }));
    EXPECT_EQ(Block(0, "0003"), 3);
    EXPECT_EQ(Shown(page, 0, dsFormula), "X*5.0000 ");
    EXPECT_EQ(Shown(page, 0, dsDescription), "Гамма");
    EXPECT_TRUE(Errors().empty());
}

TEST_F(ScaleGrids, ToolButtonsThroughTheSystemClipboard)
{
    TZumo2Doc& sync = UseModel(1);
    TfrScale* page = OpenScales();
    ASSERT_NE(page, nullptr);
    sync.ScaleByIndex(0)->Find<TField>("0001")->SetValue(2.5);
    sync.ScaleByIndex(0)->Find<TField>("descr")->SetValue(std::string("Первая"));
    page->tbCopy2Clipboard->trigger();
    const QString text = QApplication::clipboard()->text();
    EXPECT_TRUE(text.startsWith("tit scales tab export:v1\r\n2.5\t0\tПервая\r\n1\t0\t\r\n")) << text.left(60).toStdString();
    EXPECT_EQ(log.Lines().back().text, "Успешно выполнен экспорт. Строк 50");

    page->tbSetDefault->trigger();
    EXPECT_EQ(Conversion(1, "0001"), 1.0f);
    EXPECT_EQ(Shown(page, 0, sgFactor), "1");
    EXPECT_EQ(Shown(page, 0, sgDescription), "Нет описания");
    page->tbPasteFromClipboard->trigger();
    EXPECT_EQ(Conversion(1, "0001"), 2.5f);
    EXPECT_EQ(Shown(page, 0, sgFactor), "2.5");
    EXPECT_EQ(Shown(page, 0, sgDescription), "Первая");
    EXPECT_EQ(log.Lines().back().text, "Импорт окончен. Обработано строк 50");

    // An error of a button goes to the error display.
    QApplication::clipboard()->setText("что-то другое");
    dialogs->PushAnswer(platform::MsgResult::OK);
    page->tbPasteFromClipboard->trigger();
    EXPECT_EQ(Errors(), std::vector<std::string>{"Формат не поддерживается; Строка 1"});
    EXPECT_EQ(Conversion(1, "0001"), 2.5f);
}

} // namespace
