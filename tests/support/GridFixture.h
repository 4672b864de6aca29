#pragma once

#include "configurator/rules/GridController.h"
#include "configurator/rules/GridSpec.h"
#include "model/Memory.h"
#include "model/uDocument.h"
#include "platform/ScriptedDialogs.h"

#include <memory>
#include <vector>

namespace testsupport {

// The records of the grid tests, laid out in this order (FieldByIndex follows it):
//   0 "int"    ftInteger without limits (default 0)
//   1 "word"   ftWord 0..65535 (default 1)
//   2 "nib"    bits 0..3 of a byte, 0..15 (default 2)
//   3 "byte"   ftByte 0..255 (default 3), offered by a combo box
//   4 "single" ftSingle (default 0)
//   5 "text"   8 characters ("abc"); MaxValue 9 as the storages give their texts
//   6 "u32"    ftLongWord (default 0)
class TGridTestRecord : public TFieldLst {
public:
    const char* ClassName() const override { return "TGridTestRecord"; }
    void Build() override;

protected:
    TGridTestRecord(TMemoryBlock* block, int32_t offset);
};

// The combo box items of "byte": "один" 1, "два" 2, "три" 3.
const TPickList& GridTestByteItems();

// Records in one block of their own, with their defaults.
class TGridTestTable {
public:
    explicit TGridTestTable(int count = 5);
    TGridTestTable(const TGridTestTable&) = delete;
    TGridTestTable& operator=(const TGridTestTable&) = delete;

    int Count() const { return static_cast<int>(records_.size()); }
    TGridTestRecord& Record(int index) { return *records_[static_cast<size_t>(index)]; }
    TField& Field(int index, const char* key) { return *Record(index).Find<TField>(key); }
    std::vector<TGridRow> Rows();

private:
    TMemoryBlock block_;
    std::vector<std::unique_ptr<TGridTestRecord>> records_;
};

// A grid over the records: one column per field, bound by position, each edited and
// commanded there:
//   0 "int"    spin over every 32-bit value, Ctrl steps capped at 2147483647, fills,
//              digits, sorts by value
//   1 "word"   spin up to 2147483647 (the field refuses more than 65535), Ctrl steps
//              capped at 65535, fills, digits
//   2 "nib"    spin within the field's limits, fills
//   3 "byte"   combo of GridTestByteItems, shown by the item's text ("нет" without one)
//   4 "single" float spin with 4 decimals
//   5 "text"   text edit, 40 pixels wide at first
//   6 "u32"    spin, sorts by value
// Full command set, double clicks edit, the common help label.
TGridSpec GridTestSpec();

// The grid as the commands see it, without widgets: rows in the order given, the
// focused cell, the edits it was asked to open and the rows it was told were stored.
class FakeGridView : public IGridView {
public:
    std::vector<TGridRow> rows;
    int row = 0, column = 0;
    bool editing = false;
    std::vector<int> edits; // the digit of each edit opened (-1: none)
    int storedRows = 0;     // rows reported stored

    int RowCount() const override { return static_cast<int>(rows.size()); }
    const TGridRow& Row(int position) const override { return rows[static_cast<size_t>(position)]; }
    int FocusedRow() const override { return row; }
    int FocusedColumn() const override { return column; }
    void Focus(int position, int c) override
    {
        row = position;
        column = c;
    }
    bool Editing() const override { return editing; }
    void StartEdit(int digit) override
    {
        edits.push_back(digit);
        editing = true;
    }
    void RowsStored(int first, int last) override { storedRows += last - first + 1; }
};

// A key as the grid gives it to its controller: pressed or released, with Ctrl, Alt and
// a digit as given.
TGridKey GridKey(TGridKeyCode code, bool press, bool ctrl = false, bool alt = false, int digit = -1);

// Answers the next fill dialog: checks that it offers `offered` rows (the count and its
// maximum), enters first, count and increment, and presses OK.
void AnswerFillDialog(platform::ScriptedDialogService& dialogs, int64_t offered, int64_t first, int64_t count,
                      int64_t increment);

} // namespace testsupport
