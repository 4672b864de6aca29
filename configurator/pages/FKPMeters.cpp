#include "configurator/pages/FKPMeters.h"

#include "configurator/widgets/ParamControls.h"
#include "model/uZumo_Classes.h"

#include <QComboBox>
#include <QLineEdit>

TfrKPMeter::TfrKPMeter(QTreeWidget* tree, TDevice* device, TProtocolPage kind, QWidget* parent)
    : TProtocolFrame(tree, device, kind, MeterPageTable(kind), parent), meter_(*MeterProtocolOf(kind))
{
    period_ = Control<TSpinEdit>(("ed" + meter_.PeriodKey).c_str());
    unit_ = Control<QComboBox>(("cb" + meter_.UnitKey).c_str());
    if (!meter_.PasswordKey.empty()) password_ = Control<QLineEdit>(("ed" + meter_.PasswordKey).c_str());
}

void TfrKPMeter::Load(TFieldLst* list)
{
    // No more characters than the field holds bytes, one byte per character in the
    // image: a longer text could not be kept.
    if (password_) {
        if (const auto* field = dynamic_cast<const TField*>(Device()->FindField(meter_.PasswordKey)))
            password_->setMaxLength(field->Size);
    }
    const auto* document = dynamic_cast<const TDocument*>(Device()->Parent);
    for (const TMeterQuantity& q : MeterQuantitiesOn(Kind(), document))
        SetCaption(Control(("ch" + q.Key).c_str()), q.Caption);
    TProtocolFrame::Load(list);
}
