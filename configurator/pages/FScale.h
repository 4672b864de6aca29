#pragma once

#include "configurator/rules/ScaleClipboard.h"
#include "configurator/tree/FrameDispatch.h"
#include "configurator/widgets/GridFrame.h"

#include <memory>

class QAction;
class QToolBar;
class TfrCalcScale;
class TZumo2Doc;

// What the two scale grid pages share: a tool bar over the grid (tbScale) with the
// buttons tbSetDefault, tbCopy2Clipboard and tbPasteFromClipboard, and the clipboard
// they use. The buttons first end an open edit (a refused value stops them there) and
// show their errors on the application's display. Columns start at least as wide as
// their captions.
class TScaleGridFrame : public TGridFrame {
    Q_OBJECT
public:
    QToolBar* tbScale;
    QAction* tbSetDefault;
    QAction* tbCopy2Clipboard;
    QAction* tbPasteFromClipboard;

    // Every row's record to its defaults; the grid repainted.
    void SetDefaults();
    // The rows to the clipboard (CopyScaleTable).
    void CopyToClipboard();
    // The clipboard's table into the rows (PasteScaleTable), the question of a line
    // that cannot be cut asked over the page; the grid is repainted once, also when it
    // raises.
    void PasteFromClipboard();

    // The clipboard the buttons use: the system's (TQtClipboard) unless replaced.
    void SetClipboard(std::shared_ptr<ITextClipboard> clipboard) { clipboard_ = std::move(clipboard); }
    TZumo2Doc* Document() const { return document_; }

protected:
    TScaleGridFrame(QTreeWidget* tree, TZumo2Doc* document, TFieldLst* list, TScaleTableKind kind, TGridSpec spec,
                    QWidget* parent);

private:
    // Ends an open edit; false when it stays open (a refused value).
    bool EndOpenEdit();
    // Every row read again, the columns widened to their texts.
    void RepaintRows();

    TZumo2Doc* document_;
    TScaleTableKind kind_;
    std::shared_ptr<ITextClipboard> clipboard_;
};

// The page of the "Преобразования каналов ТИТ" group (TfrScale): the document's TIT
// conversions in the conversion grid (ScaleGridSpec), its description column shown
// when the last conversion has a "descr". The number column opens the scale calculator
// (TfrCalcScale) at the cell's top-left; when it posts WM_FRAME_NOTIFY 27 the page
// closes it, repaints the row and gives the grid the focus. Copy and paste use the
// "tit scales tab export:v1" table.
class TfrScale : public TScaleGridFrame, public IRecordSelector {
    Q_OBJECT
public:
    bool SelectRecord(const TFieldLst* record, int column) override { return FocusRecord(record, column); }
    // The calculator while one is open; none otherwise.
    TfrCalcScale* Calculator() const;

protected:
    TfrScale(QTreeWidget* tree, TZumo2Doc* document, QWidget* parent = nullptr);

    std::vector<TGridRow> GridRows() override;
    void FrameNotify(platform::WPARAM wParam, platform::LPARAM lParam) override;
};
