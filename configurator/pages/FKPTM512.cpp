#include "configurator/pages/FKPTM512.h"

#include <QCheckBox>
#include <QGroupBox>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = TM512Group, .Kind = TPanelKind::Group},
};

const TPageRow kRows[] = {
    {.Panel = TM512Group, .Name = "ch1802", .Kind = K::CheckBox, .Key = "1802", .Caption = "Контрольное число ТИТ"},
    {.Panel = TM512Group, .Name = "ch1803", .Kind = K::CheckBox, .Key = "1803", .Caption = "16-бит ТИТ"},
    {.Panel = TM512Group, .Name = "ch1804", .Kind = K::CheckBox, .Key = "1804",
     .Caption = "Обратный порядок ТС в байте"},
    {.Panel = TM512Group, .Name = "ch1805", .Kind = K::CheckBox, .Key = "1805", .Caption = "Инверсия ТС"},
};

} // namespace

const TPageTable TfrTM512Family::Table{"TfrKPTM512", kPanels, kRows};

TfrTM512Family::TfrTM512Family(QTreeWidget* tree, TDevice* device, TProtocolPage kind, QWidget* parent)
    : TProtocolFrame(tree, device, kind, Table, parent)
{
    gbTM512 = Control<QGroupBox>(TM512Group);
    ch1802 = Control<QCheckBox>("ch1802");
    ch1803 = Control<QCheckBox>("ch1803");
    ch1804 = Control<QCheckBox>("ch1804");
    ch1805 = Control<QCheckBox>("ch1805");
    for (const TControlCaption& change : TM512ChangesOf(kind)) {
        QWidget* control = Control(change.Control);
        if (change.Caption)
            SetCaption(control, change.Caption);
        else
            control->hide();
    }
}
