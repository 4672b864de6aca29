#include "configurator/pages/FScale.h"

#include "configurator/pages/FCalcScale.h"
#include "configurator/widgets/QtClipboard.h"
#include "configurator/rules/ScaleGridRules.h"
#include "model/uZumo2.h"
#include "platform/ErrorDisplay.h"

#include <QAction>
#include <QHeaderView>
#include <QIcon>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

// The tool buttons: name, hint, the icon of the desktop's theme and the style's own
// in its place.
struct TScaleTool {
    const char* Name;
    const char* Hint;
    const char* ThemeIcon;
    QStyle::StandardPixmap StyleIcon;
};
const TScaleTool kScaleTools[] = {
    {"tbSetDefault", "Значения по умолчанию", "edit-undo", QStyle::SP_DialogResetButton},
    {"tbCopy2Clipboard", "Копировать в буфер обмена", "edit-copy", QStyle::SP_DialogSaveButton},
    {"tbPasteFromClipboard", "Вставить из буфера обмена", "edit-paste", QStyle::SP_DialogOpenButton},
};

// Whether the last record of a list has a description.
bool LastHasDescription(const TFieldLst* last) { return last && last->Find<TField>("descr"); }

} // namespace

TScaleGridFrame::TScaleGridFrame(QTreeWidget* tree, TZumo2Doc* document, TFieldLst* list, TScaleTableKind kind,
                                 TGridSpec spec, QWidget* parent)
    : TGridFrame(tree, list, std::move(spec), parent),
      document_(document),
      kind_(kind),
      clipboard_(std::make_shared<TQtClipboard>())
{
    tbScale = new QToolBar(this);
    tbScale->setObjectName("tbScale");
    QAction* actions[std::size(kScaleTools)] = {};
    for (size_t i = 0; i < std::size(kScaleTools); ++i) {
        const TScaleTool& tool = kScaleTools[i];
        QAction* action = tbScale->addAction(QIcon::fromTheme(tool.ThemeIcon, style()->standardIcon(tool.StyleIcon)),
                                             QString::fromUtf8(tool.Hint));
        action->setObjectName(tool.Name);
        actions[i] = action;
    }
    tbSetDefault = actions[0];
    tbCopy2Clipboard = actions[1];
    tbPasteFromClipboard = actions[2];
    connect(tbSetDefault, &QAction::triggered, this, platform::Guarded([this] { SetDefaults(); }));
    connect(tbCopy2Clipboard, &QAction::triggered, this, platform::Guarded([this] { CopyToClipboard(); }));
    connect(tbPasteFromClipboard, &QAction::triggered, this, platform::Guarded([this] { PasteFromClipboard(); }));
    Column()->insertWidget(0, tbScale);
    // The captions are read whole: a column starts at least as wide as its caption.
    QHeaderView* header = vtGrid->horizontalHeader();
    for (int c = 0; c < Spec().ColumnCount(); ++c)
        if (!vtGrid->isColumnHidden(c) && header->sectionSize(c) < header->sectionSizeHint(c))
            header->resizeSection(c, header->sectionSizeHint(c));
}

bool TScaleGridFrame::EndOpenEdit() { return !Link()->Editor() || EndEdit(); }

void TScaleGridFrame::RepaintRows()
{
    Model()->AllRowsChanged();
    FitColumns(0, Model()->rowCount() - 1);
}

void TScaleGridFrame::SetDefaults()
{
    if (!EndOpenEdit()) return;
    for (const TGridRow& row : Model()->Rows())
        if (row.Record) row.Record->ResetDefaults();
    RepaintRows();
}

void TScaleGridFrame::CopyToClipboard()
{
    if (!EndOpenEdit()) return;
    CopyScaleTable(kind_, Spec(), Model()->Rows(), *clipboard_);
}

void TScaleGridFrame::PasteFromClipboard()
{
    if (!EndOpenEdit()) return;
    struct TRepaint {
        TScaleGridFrame& Page;
        ~TRepaint() { Page.RepaintRows(); }
    } repaint{*this};
    PasteScaleTable(kind_, Spec(), Model()->Rows(), *document_, *clipboard_, Handle());
}

TfrScale::TfrScale(QTreeWidget* tree, TZumo2Doc* document, QWidget* parent)
    : TScaleGridFrame(tree, document, document, TScaleTableKind::Conversions,
                      ScaleGridSpec(document->ScaleCount() > 0 &&
                                    LastHasDescription(document->ScaleByIndex(document->ScaleCount() - 1))),
                      parent)
{
    setObjectName("frScale");
    Link()->CreateCustomEditor = [this](QWidget*, const TGridRow& row, int) -> QWidget* {
        return new TfrCalcScale(this, Handle(), Spec(), row);
    };
}

TfrCalcScale* TfrScale::Calculator() const { return qobject_cast<TfrCalcScale*>(Link()->Editor()); }

std::vector<TGridRow> TfrScale::GridRows()
{
    TZumo2Doc* doc = Document();
    return RecordRows(doc->ScaleCount(), [doc](int i) { return doc->ScaleByIndex(i); });
}

void TfrScale::FrameNotify(platform::WPARAM wParam, platform::LPARAM)
{
    if (wParam != 27) return;
    if (Calculator()) EndEdit();
    vtGrid->setFocus(Qt::OtherFocusReason);
}
