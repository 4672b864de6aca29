#include "configurator/pages/GranitFrame.h"

#include "configurator/widgets/FGranitAFBGrid.h"
#include "configurator/widgets/PageWidgets.h"
#include "model/uZumo_Classes.h"
#include "platform/ErrorDisplay.h"
#include "platform/Exceptions.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

TGranitFrame::TGranitFrame(QTreeWidget* tree, TDevice* device, TProtocolPage kind, const TPageTable& table,
                           const TFamilyControls& family, QWidget* parent)
    : TProtocolFrame(tree, device, kind, table, parent), command_(Control<QComboBox>(family.CommandCombo)),
      bound_(Control(family.Bound))
{
    for (const char* name : family.Number) number_.push_back(Control(name));
    grid_ = new TFrGranitAFBGrid(this);
}

TGranitFrame::~TGranitFrame()
{
    // The grid outlives this part of the page: nothing of it may call back here.
    grid_->OnSelectType = nullptr;
    grid_->OnGetCellText = nullptr;
    grid_->OnDeleteKey = nullptr;
    grid_->OnLeave = nullptr;
}

TField* TGranitFrame::TableField() const { return dynamic_cast<TField*>(Device()->FindField("TSDB1")); }

TAfbTable TGranitFrame::Table() const
{
    if (const TField* field = TableField()) return ReadAfbTable(*field);
    TAfbTable empty;
    empty.fill(AfbNone);
    return empty;
}

void TGranitFrame::FillLists()
{
    TProtocolFrame::FillLists();
    grid_->SetSlotCount(AfbSlotCount);
    grid_->OnSelectType = [this](QAction*, int column, int tag, int row) { SelectType(column, tag, row); };
    grid_->OnGetCellText = [this](int column, std::string& text, int row) { GetCellText(column, text, row); };
    grid_->OnDeleteKey = [this] { DeleteSelected(); };
    command_->clear();
}

void TGranitFrame::LoadFamily()
{
    grid_->DataField = TableField();
    const TGranitCommands commands = GranitCommandsOf(Kind(), dynamic_cast<const TDocument*>(Device()->Parent));
    {
        const QSignalBlocker quiet(command_);
        // Qt selects the first item added to an empty combo: the base Load shows the
        // field's item afterwards.
        command_->clear();
        if (commands.Items) FillCombo(command_, *commands.Items);
    }
    if (commands.BoundKey)
        BindControl(bound_, commands.BoundKey);
    else
        UnbindControl(bound_);
    for (QWidget* widget : number_) widget->setVisible(commands.NumberShown);
}

void TGranitFrame::ShowCells()
{
    grid_->RefreshAllCells();
    const std::optional<TAfbBadSlot> bad = FirstBadAfbSlot(Table());
    if (!bad) return;
    // Reported once the page is in place: from Load it would keep the device page from
    // being made at all.
    QMetaObject::invokeMethod(
        this,
        [message = AfbSlotMessage(*bad)] { platform::ShowException(platform::Exception(message)); },
        Qt::QueuedConnection);
}

void TGranitFrame::RefreshAll()
{
    TProtocolFrame::RefreshAll();
    grid_->DataField = TableField();
    grid_->RefreshAllCells();
}

void TGranitFrame::PlaceGrid(QWidget* before, std::initializer_list<QWidget*> groups)
{
    Column()->insertWidget(Column()->indexOf(before), grid_);
    const int width = grid_->paGrid->width();
    for (QWidget* group : groups) group->setFixedWidth(std::max(width, group->minimumSizeHint().width()));
}

void TGranitFrame::SelectType(int column, int tag, int row)
{
    TField* field = TableField();
    TAfbTable table = Table();
    if (!field || !SetAfbSlot(table, AfbSlotOfCell(column, row, grid_->SlotCount()), tag)) return;
    StoreAfbTable(*field, table);
}

void TGranitFrame::GetCellText(int column, std::string& text, int row) const
{
    const int slot = AfbSlotOfCell(column, row, grid_->SlotCount());
    if (slot < 0 || slot >= AfbSlotCount) return;
    AfbTypeName(Table()[static_cast<size_t>(slot)], text);
}

void TGranitFrame::DeleteSelected()
{
    const int column = grid_->SelectedColumn();
    const int row = grid_->SelectedRow();
    if (column < 0 || row < 1) return;
    SelectType(column, AfbTagNone, row);
    grid_->RefreshCell(column, row);
}
