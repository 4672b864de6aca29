#include "configurator/core/FModifBoard.h"

#include <string>

std::string TfmBoardModif::Caption() { return "Выбор модификации платы"; }

void TfmBoardModif::FormShow()
{
    rows_.clear();
    focused_ = -1;
    TArrZumo7BoardMod boards;
    GetBoardList(boards);
    rows_.reserve(boards.size());
    for (uint16_t signature : boards) rows_.push_back(GetBoardInfo(signature));
}

TZumo7BoardInfo TfmBoardModif::Row(int row) const
{
    return row >= 0 && row < RowCount() ? rows_[static_cast<size_t>(row)] : TZumo7BoardInfo{};
}

std::string TfmBoardModif::CellText(int row, int column) const
{
    if (row < 0 || row >= RowCount()) return {};
    const TZumo7BoardInfo& board = rows_[static_cast<size_t>(row)];
    switch (column) {
    case 0: return board.Name;
    case 1: return std::to_string(board.EtherCount);
    case 2: return std::to_string(board.RS232Count);
    case 3: return std::to_string(board.RS485Count);
    case 4: return std::to_string(board.InternalDI);
    case 5: return std::to_string(board.InternalDO);
    default: return {};
    }
}

int TfmBoardModif::RowOfSignature(uint16_t signature) const
{
    for (int i = 0; i < RowCount(); ++i)
        if (rows_[static_cast<size_t>(i)].Signature == signature) return i;
    return -1;
}

uint16_t TfmBoardModif::FocusedSignature() const { return focused_ >= 0 ? Row(focused_).Signature : 0; }

platform::MsgResult ChooseBoardSignature(uint16_t& signature, std::shared_ptr<const platform::FormView> view,
                                         platform::HWND owner)
{
    TfmBoardModif form;
    form.FormShow();
    platform::FormRequest request;
    request.owner = owner;
    request.model = &form;
    request.view = std::move(view);
    const platform::MsgResult result = platform::ShowForm(request);
    signature = form.FocusedSignature();
    return result;
}
