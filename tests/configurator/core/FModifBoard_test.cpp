#include "configurator/core/FModifBoard.h"
#include "tests/support/DialogScript.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(BoardModif, RowsColumnsAndFocus)
{
    TfmBoardModif form;
    EXPECT_EQ(form.FormName(), "TfmBoardModif");
    EXPECT_EQ(TfmBoardModif::Caption(), "Выбор модификации платы");
    EXPECT_EQ(form.RowCount(), 0);
    form.FormShow();
    ASSERT_EQ(form.RowCount(), 78);
    EXPECT_EQ(form.CellText(0, 0), "Zumo7-E1C20");
    EXPECT_EQ(form.Row(0).Signature, 10);
    EXPECT_EQ(form.CellText(77, 0), "Zumo7-E2C02-M4");
    EXPECT_EQ(form.Row(77).Signature, 780);
    const int row = form.RowOfSignature(610);
    ASSERT_EQ(row, 60);
    std::vector<std::string> cells;
    for (int c = 0; c < BoardModifColumnCount; ++c) cells.push_back(form.CellText(row, c));
    EXPECT_EQ(cells, (std::vector<std::string>{"Zumo7-E1C20-M1", "1", "4", "0", "0", "0", ""}));
    EXPECT_EQ(form.CellText(78, 0), "");

    std::vector<std::string> headers;
    for (const TBoardModifColumn& c : BoardModifColumns) headers.push_back(c.Header);
    EXPECT_EQ(headers, (std::vector<std::string>{"Наименование", "Ethernet", "RS232", "RS485", "DI", "DO", "описание"}));
    EXPECT_EQ(BoardModifColumns[0].Width, 180);
    EXPECT_TRUE(BoardModifColumns[0].Centred);
    EXPECT_EQ(BoardModifColumns[1].Width, 60);
    EXPECT_EQ(BoardModifColumns[6].Width, 180);

    EXPECT_EQ(form.FocusedRow(), -1);
    EXPECT_EQ(form.FocusedSignature(), 0);
    EXPECT_FALSE(form.KeyUp(true)) << "Enter without a focused row does nothing";
    form.SetFocusedRow(row);
    EXPECT_EQ(form.FocusedSignature(), 610);
    EXPECT_FALSE(form.KeyUp(false));
    EXPECT_TRUE(form.KeyUp(true));
    form.SetFocusedRow(100);
    EXPECT_EQ(form.FocusedRow(), -1);
    // Showing again starts over.
    form.SetFocusedRow(3);
    form.FormShow();
    EXPECT_EQ(form.RowCount(), 78);
    EXPECT_EQ(form.FocusedRow(), -1);
}

TEST(BoardModif, ChooseBoardSignatureGoesThroughTheDialogService)
{
    testsupport::DialogScript dialogs;
    dialogs->PushForm([](platform::FormModel& model) {
        auto& form = dynamic_cast<TfmBoardModif&>(model);
        EXPECT_EQ(form.RowCount(), 78);
        form.SetFocusedRow(form.RowOfSignature(610));
        return platform::MsgResult::OK;
    });
    dialogs->PushForm([](platform::FormModel&) { return platform::MsgResult::Cancel; });
    uint16_t signature = 1;
    EXPECT_EQ(ChooseBoardSignature(signature), platform::MsgResult::OK);
    EXPECT_EQ(signature, 610);
    EXPECT_EQ(ChooseBoardSignature(signature), platform::MsgResult::Cancel);
    EXPECT_EQ(signature, 0);
    const auto records = dialogs->Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].form, "TfmBoardModif");
}
