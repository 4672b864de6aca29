#include "configurator/pages/FDIO_Ch.h"
#include "configurator/pages/FDevChannels.h"
#include "configurator/pages/FInternalCh.h"
#include "configurator/rules/ChannelGridRules.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uZumo7.h"
#include "model/uZumo9.h"
#include "tests/support/DialogScript.h"
#include "tests/support/PagesWindow.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QTest>

#include <string>
#include <vector>

namespace {

constexpr int ModBus = 2;

class ChannelGridsTest : public testsupport::PagesWindow {
protected:
    testsupport::DialogScript dialogs;

    // The "Каналы" page of a slot's device.
    TfrDevChannels* SelectChannels(int slot)
    {
        TNodeTree* device = DevNode(slot);
        for (int i = 0; i < device->ChildCount(); ++i)
            if (device->Child(i)->Caption() == "Каналы") return Select<TfrDevChannels>(device->Child(i));
        return nullptr;
    }
    // Focuses a cell of a page's grid, the grid holding the input focus.
    void Focus(TGridFrame* page, int row, int column)
    {
        ASSERT_TRUE(qttest::PumpUntil([&] { return window->isActiveWindow(); }));
        page->FocusCell(row, column);
        page->vtGrid->setFocus();
        ASSERT_TRUE(qttest::PumpUntil([&] { return page->vtGrid->hasFocus(); }));
    }
    // Clicks a column's header.
    static void ClickHeader(TGridFrame* page, int column)
    {
        QHeaderView* header = page->vtGrid->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    // A column's texts from the top row down.
    static std::vector<std::string> Column(TGridFrame* page, int column)
    {
        std::vector<std::string> texts;
        for (int r = 0; r < page->Model()->rowCount(); ++r)
            texts.push_back(page->Model()->index(r, column).data().toString().toStdString());
        return texts;
    }
    // Opens the spin editor of a cell with Enter, enters a value and commits it, which
    // must be refused with the error; the editor must stay open, showing the text
    // shown, and Esc then closes it.
    void CommitRefused(TGridFrame* page, int row, int column, const char* value, const std::string& error,
                       const char* shown)
    {
        Focus(page, row, column);
        dialogs->PushAnswer(platform::MsgResult::OK);
        QTest::keyClick(page->vtGrid, Qt::Key_Return);
        auto* spin = qobject_cast<TSpinEdit*>(page->Link()->Editor());
        ASSERT_NE(spin, nullptr);
        spin->selectAll();
        QTest::keyClicks(spin, value);
        QTest::keyClick(spin, Qt::Key_Return);
        ASSERT_TRUE(qttest::PumpUntil([&] { return !Errors().empty(); }));
        EXPECT_EQ(Errors(), std::vector<std::string>{error});
        ASSERT_EQ(page->Link()->Editor(), spin);
        EXPECT_EQ(spin->text(), shown);
        QTest::keyClick(spin, Qt::Key_Escape);
        ASSERT_TRUE(qttest::PumpUntil([&] { return page->Link()->Editor() == nullptr; }));
    }
    // The error boxes asked so far.
    std::vector<std::string> Errors()
    {
        std::vector<std::string> texts;
        for (const platform::DialogRecord& r : dialogs->Records())
            if (r.kind == platform::DialogKind::MessageBox) texts.push_back(r.box.text);
        return texts;
    }
    static TField& Field(TFieldLst* record, int position)
    {
        return *dynamic_cast<TField*>(record->FieldByIndex(position));
    }
};

TEST_F(ChannelGridsTest, Zumo9ChannelsReportTheDocumentsRefusal)
{
    auto& zumo9 = dynamic_cast<TZumo9Doc&>(UseModel(4));
    testsupport::UseSlot(zumo9, 0, ModBus, 0, 0, 1);
    doc->RefreshTree();
    zumo9.CommandAddressField()->SetValue(int32_t{5});
    TDevice& device = *zumo9.DeviceByIndex(0);
    TFieldLst* block = device.ChannelBlockByIndex(1);
    Field(block, dcVak).SetValue(int32_t{1});
    Field(block, dcCount).SetValue(int32_t{3});
    Field(block, dcType).SetValue(int32_t{3});

    TfrDevChannels* page = SelectChannels(0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Device(), &device);
    EXPECT_EQ(page->Model()->rowCount(), 20);
    EXPECT_TRUE(static_cast<bool>(page->OnValidate));
    QHeaderView* header = page->vtGrid->horizontalHeader();
    EXPECT_TRUE(header->isVisible());
    EXPECT_TRUE(header->sectionsMovable());
    const char* const captions[] = {"Начальный адрес", "Кол-во", "ВАК", "Тип", "Описание"};
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(page->Model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), QString::fromUtf8(captions[c]));
    ASSERT_NE(page->lbHelp, nullptr);
    EXPECT_TRUE(page->lbHelp->isVisible());

    // A count of 5 puts the command run 1..5 over VAK_TU1: refused with the two-line
    // text, the editor showing the stored count again and staying open.
    CommitRefused(page, 1, dcCount, "5", "Обнаруженено пересечение с другим диапазоном ВАК\r\nили ВАК уже занят", "3");
    EXPECT_EQ(Field(block, dcCount).GetValue().ToInt32(), 3);
}

TEST_F(ChannelGridsTest, ChannelEditorsEndOnFocusLossAndAnEmptyTypeComboStoresNothing)
{
    testsupport::UseSlot(Document(), 0, ModBus, 0, 0, 1);
    doc->RefreshTree();
    TFieldLst* block = Document().DeviceByIndex(0)->ChannelBlockByIndex(0);
    TfrDevChannels* page = SelectChannels(0);
    ASSERT_NE(page, nullptr);

    Focus(page, 0, dcStart);
    QTest::keyClick(page->vtGrid, Qt::Key_7);
    QWidget* spin = page->Link()->Editor();
    ASSERT_NE(spin, nullptr);
    view->setFocus();
    ASSERT_TRUE(qttest::PumpUntil([&] { return page->Link()->Editor() == nullptr; }));
    EXPECT_EQ(Field(block, dcStart).GetValue().ToInt32(), 7);

    // A type no item carries: the combo opens without a selection, and closing its list
    // stores nothing.
    Field(block, dcType).SetValue(int32_t{6});
    page->RefreshAll();
    EXPECT_EQ(page->Model()->index(0, dcType).data().toString(), "нет");
    Focus(page, 0, dcType);
    QTest::keyClick(page->vtGrid, Qt::Key_Return);
    auto* combo = qobject_cast<QComboBox*>(page->Link()->Editor());
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentIndex(), -1);
    combo->hidePopup();
    ASSERT_TRUE(qttest::PumpUntil([&] { return page->Link()->Editor() == nullptr; }));
    EXPECT_EQ(Field(block, dcType).GetValue().ToInt32(), 6);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(ChannelGridsTest, HeaderClicksSortAndUnsort)
{
    testsupport::UseSlot(Document(), 0, ModBus, 0, 0, 1);
    doc->RefreshTree();
    TDevice& device = *Document().DeviceByIndex(0);
    const int32_t starts[] = {2, 10, 9};
    for (int i = 0; i < 3; ++i) Field(device.ChannelBlockByIndex(i), dcStart).SetValue(starts[i]);
    TfrDevChannels* page = SelectChannels(0);
    ASSERT_NE(page, nullptr);

    // By value: 2, 9, 10 after the 17 zeros; then the other way; then record order.
    std::vector<std::string> ascending(17, "0"), descending = {"10", "9", "2"}, unsorted = {"2", "10", "9"};
    ascending.insert(ascending.end(), {"2", "9", "10"});
    descending.resize(20, "0");
    unsorted.resize(20, "0");
    ClickHeader(page, dcStart);
    EXPECT_EQ(Column(page, dcStart), ascending);
    EXPECT_TRUE(page->vtGrid->horizontalHeader()->isSortIndicatorShown());
    ClickHeader(page, dcStart);
    EXPECT_EQ(Column(page, dcStart), descending);
    ClickHeader(page, dcStart);
    EXPECT_EQ(Column(page, dcStart), unsorted);
    EXPECT_FALSE(page->vtGrid->horizontalHeader()->isSortIndicatorShown());
}

TEST_F(ChannelGridsTest, Zumo7OwnAndDIOPages)
{
    // Without a Zumo 7 document the factories make no page.
    TFrameArgs args;
    args.Kind = TFrameKind::InternalChannels;
    args.Document = &Document();
    args.List = &Document();
    EXPECT_EQ(registry.Create(args), nullptr);
    args.Kind = TFrameKind::DIOChannels;
    EXPECT_EQ(registry.Create(args), nullptr);

    auto& zumo7 = dynamic_cast<TZumo7Doc&>(UseModel(3));
    auto* own = Select<TfrInternalCh>(doc->Groups().OwnChannels);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->Model()->rowCount(), 16);
    std::vector<int> hidden;
    for (int c = 0; c < own->Model()->columnCount(); ++c)
        if (own->vtGrid->isColumnHidden(c)) hidden.push_back(c);
    EXPECT_EQ(hidden, (std::vector<int>{zcDescription, zcBounce}));
    ASSERT_NE(own->lbHelp, nullptr);
    EXPECT_FALSE(own->lbHelp->isVisible());

    // A hold time beyond the word: the field refuses it, and the editor shows the stored
    // value again and stays open.
    CommitRefused(own, 0, zcHold, "70000", "Больше максимума", "0");
    EXPECT_EQ(Field(zumo7.InternalChannelByIndex(0), zcHold).GetValue().ToInt32(), 0);

    // The hold time sorts by its text.
    Field(zumo7.InternalChannelByIndex(0), zcHold).SetValue(int32_t{100});
    Field(zumo7.InternalChannelByIndex(1), zcHold).SetValue(int32_t{20});
    own->RefreshAll();
    ClickHeader(own, zcHold);
    std::vector<std::string> texts(14, "0");
    texts.insert(texts.end(), {"100", "20"});
    EXPECT_EQ(Column(own, zcHold), texts);

    auto* dio = Select<TfrDIOChannel>(doc->Groups().DIO);
    ASSERT_NE(dio, nullptr);
    EXPECT_EQ(dio->Model()->rowCount(), 16);
    EXPECT_EQ(dio->Model()->columnCount(), 6);
    for (int c = 0; c < 6; ++c) EXPECT_FALSE(dio->vtGrid->isColumnHidden(c)) << c;
}

} // namespace
