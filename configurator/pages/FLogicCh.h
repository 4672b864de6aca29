#pragma once

#include "configurator/rules/LogicGridRows.h"
#include "configurator/tree/FrameDispatch.h"
#include "configurator/widgets/GridFrame.h"

#include <vector>

class QPainter;
class QStyleOptionViewItem;
class TLogic;
class TZumo2Doc;

// The page of the "Логические каналы" group (TfrLogicCh): the document's whole logical
// channel table as a grid (configurator/rules/LogicGridRows.h). Consecutive channels
// of one kind and the same captions stand in a group under a header row of their
// captions; a blank separator row stands between groups.
//
// The grid has a hidden header and a medium-grey background. Header rows and the
// number column of channel rows are painted like header buttons, the channel's cells
// from column 1 in the window colour edged in the grid-line colour, up to the row's
// RowLastColumn only; separator rows and the cells beyond stay grey. The focused cell
// stands out in the selection colour; a channel without a kind shows its texts in
// silver.
//
// The page never replaces its rows inside its own key or edit handlers: commands that
// change a channel's kind or its parameters (the type and the kinds' selecting
// parameters edited, a type step, Delete, Alt+Delete, an Alt copy from column 3 on)
// post WM_FRAME_NOTIFY (0, 0) to the page, which then rebuilds with the focused channel
// and column kept. A post that arrives once the page is gone is dropped. The wheel
// does not scroll while a cell editor is open.
class TfrLogicCh : public TGridFrame, public IRecordsView {
    Q_OBJECT
public:
    // Keeps the document; RebuildGrid without a selection.
    void Load(TFieldLst* list) override;
    // RebuildGrid without a selection: the rows follow the channels (the tree's Delete
    // key on the group).
    void RefreshAll() override;
    // The channels were changed behind the page: rebuilds, keeping the focused channel
    // and column.
    void RecordsChanged() override;

    // Replaces every row (one model reset). The row of the channel select, when given,
    // becomes the focused row at column (also a column beyond its RowLastColumn, where
    // commands find no field), scrolled into view and centred.
    void RebuildGrid(const TLogic* select, int column = lcVAK);

protected:
    TfrLogicCh(QTreeWidget* tree, TZumo2Doc* document, QWidget* parent = nullptr);

    // The document's rows (LogicGridRows); none without a document.
    std::vector<TGridRow> GridRows() override;
    // wParam 0: rebuild, keeping the focused channel and column; other values nothing.
    void FrameNotify(platform::WPARAM wParam, platform::LPARAM lParam) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Rebuilds with the focused row's channel and the focused column kept.
    void RebuildKeepingFocus();
    bool PaintCell(QPainter* painter, const QStyleOptionViewItem& option, const TGridRow& row, int column) const;

    TZumo2Doc* document_;
};

// Registers the page for the "Логические каналы" group node.
void RegisterLogicChannelPage(TFrameRegistry& registry);
