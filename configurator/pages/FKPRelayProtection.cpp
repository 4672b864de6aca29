#include "configurator/pages/FKPRelayProtection.h"

#include "configurator/widgets/ParamControls.h"

#include <QCheckBox>
#include <QComboBox>

TfrRelayProtection::TfrRelayProtection(QTreeWidget* tree, TDevice* device, TProtocolPage kind,
                                       const TPageTable& table, QWidget* parent)
    : TProtocolFrame(tree, device, kind, table, parent)
{
    cbDevType = Control<QComboBox>("cbDevType");
    cbPeriodM = Control<TSpinEdit>("cbPeriodM");
    cbPeriodUM = Control<QComboBox>("cbPeriodUM");
    chIa = Control<QCheckBox>("chIa");
    chIb = Control<QCheckBox>("chIb");
    chIc = Control<QCheckBox>("chIc");
    chUab = Control<QCheckBox>("chUab");
    chUbc = Control<QCheckBox>("chUbc");
    chUca = Control<QCheckBox>("chUca");
    chFreq = Control<QCheckBox>("chFreq");
}

void TfrRelayProtection::Load(TFieldLst* list)
{
    TProtocolFrame::Load(list);
    SetChangeHandler(cbDevType, [this](const void*) { ApplyType(); });
    ApplyType();
}

std::vector<TPageRow> TfrRelayProtection::Rows(const char* valuesPanel, std::span<const TPageRow> own)
{
    using K = TControlKind;
    std::vector<TPageRow> rows = {
        {.Panel = "paType", .Name = "cbDevType", .Kind = K::ComboBox, .Key = "DevType", .Caption = "Тип устройства"},
        {.Panel = "paType", .Name = "cbPeriodM", .Kind = K::SpinEdit, .Key = "PeriodM",
         .Caption = "Период опроса устройства"},
        {.Panel = "paType", .Name = "cbPeriodUM", .Kind = K::ComboBox, .Key = "PeriodUM", .Beside = true},
        {.Panel = valuesPanel, .Name = "chIa", .Kind = K::CheckBox, .Key = "ParamIa", .Caption = "Ia"},
        {.Panel = valuesPanel, .Name = "chIb", .Kind = K::CheckBox, .Key = "ParamIb", .Caption = "Ib"},
        {.Panel = valuesPanel, .Name = "chIc", .Kind = K::CheckBox, .Key = "ParamIc", .Caption = "Ic"},
        {.Panel = valuesPanel, .Name = "chUab", .Kind = K::CheckBox, .Key = "ParamUab", .Caption = "Uab"},
        {.Panel = valuesPanel, .Name = "chUbc", .Kind = K::CheckBox, .Key = "ParamUbc", .Caption = "Ubc"},
        {.Panel = valuesPanel, .Name = "chUca", .Kind = K::CheckBox, .Key = "ParamUca", .Caption = "Uca"},
        {.Panel = valuesPanel, .Name = "chFreq", .Kind = K::CheckBox, .Key = "ParamFreq", .Caption = "Freq"},
    };
    rows.insert(rows.end(), own.begin(), own.end());
    return rows;
}
