#include "configurator/pages/ProtocolFrame.h"

#include "configurator/widgets/PageWidgets.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

TProtocolFrame::TProtocolFrame(QTreeWidget* tree, TDevice* device, TProtocolPage kind, const TPageTable& table,
                               QWidget* parent)
    : TParamFrame(tree, device, parent), device_(device), kind_(kind), table_(table)
{
    // "TfrKPIEC" and "TFrPUTM120" are named "frKPIEC" and "frPUTM120".
    setObjectName(QString("fr") + (ProtocolPageName(kind) + 3));
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(0, 0, 0, 0);
    made_ = BuildPage(*this, *column_, table_);
    column_->addStretch(1);
}

void TProtocolFrame::FillLists()
{
    for (const TPageRow& row : table_.Rows) {
        if (row.Kind != TControlKind::ComboBox) continue;
        if (const TPickList* items = ComboItems(kind_, row.Name)) FillCombo(made_.Get<QComboBox>(row.Name), *items);
    }
}

void SetShown(QWidget* widget, bool shown)
{
    if (widget && widget->isHidden() == shown) widget->setVisible(shown);
}

void SetCaption(QWidget* control, const char* caption)
{
    const QString text = QString::fromUtf8(caption);
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        if (button->text() != text) button->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        if (group->title() != text) group->setTitle(text);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        if (label->text() != text) label->setText(text);
    }
}
