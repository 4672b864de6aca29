#include "configurator/pages/FKPOrion.h"

#include "model/uZumo_Classes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QValidator>

#include <vector>

namespace {

using K = TControlKind;

// Refuses every text with a character the VAK edits do not take; the empty text stays
// possible while editing.
class TVakValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int&) const override
    {
        for (const QChar c : input)
            if (!VakCharacterAccepted(c.unicode())) return Invalid;
        return input.isEmpty() ? Intermediate : Acceptable;
    }
};

constexpr TPagePanel kPanels[] = {
    {.Name = "paType", .Kind = TPanelKind::Panel},
    {.Name = "gbTIT", .Kind = TPanelKind::Group, .Title = "ТИТ", .Columns = 4},
    {.Name = "gbTS", .Kind = TPanelKind::Group, .Title = "ТС", .Columns = 2},
    {.Name = "paVak", .Kind = TPanelKind::Panel},
};

// After the head, in the order the block is bound. The group "ТС" is Cyrillic; "CosF"
// binds "ParamCosf".
const TPageRow kOwnRows[] = {
    {.Panel = "gbTIT", .Name = "chP", .Kind = K::CheckBox, .Key = "ParamP", .Caption = "P"},
    {.Panel = "gbTIT", .Name = "chQ", .Kind = K::CheckBox, .Key = "ParamQ", .Caption = "Q"},
    {.Panel = "gbTIT", .Name = "chS", .Kind = K::CheckBox, .Key = "ParamS", .Caption = "S"},
    {.Panel = "gbTIT", .Name = "chCosf", .Kind = K::CheckBox, .Key = "ParamCosf", .Caption = "CosF"},
    {.Panel = "gbTS", .Name = "cbTS_RPO", .Kind = K::CheckBox, .Key = "ParamTS_RPO", .Caption = "РПО"},
    {.Panel = "gbTS", .Name = "cbTS_RPV", .Kind = K::CheckBox, .Key = "ParamTS_RPV", .Caption = "РПВ"},
    {.Panel = "gbTS", .Name = "cbTS_SIGN_Disable", .Kind = K::CheckBox, .Key = "ParamTS_SIGN_Disable",
     .Caption = "Откл"},
    {.Panel = "gbTS", .Name = "cbTS_SIGN_Enable", .Kind = K::CheckBox, .Key = "ParamTS_SIGN_Enable", .Caption = "Вкл"},
    {.Panel = "gbTS", .Name = "cbTS_SIG_1MTZ", .Kind = K::CheckBox, .Key = "ParamTS_SIG_1MTZ",
     .Caption = "Сраб. 1ст. МТЗ"},
    {.Panel = "gbTS", .Name = "cbTS_SIG_2MTZ", .Kind = K::CheckBox, .Key = "ParamTS_SIG_2MTZ",
     .Caption = "Сраб. 2ст. МТЗ"},
    {.Panel = "gbTS", .Name = "cbTS_OZZ_Disable", .Kind = K::CheckBox, .Key = "ParamTS_OZZ_Disable",
     .Caption = "ОЗЗ на откл."},
    {.Panel = "gbTS", .Name = "cbTS_OZZ_SIGN", .Kind = K::CheckBox, .Key = "ParamTS_OZZ_SIGN",
     .Caption = "ОЗЗ на сигн."},
    {.Panel = "paVak", .Name = "edVak_TU1_on", .Kind = K::TextEdit, .Key = "VAK_StateTU1_On",
     .Caption = "ВАК флаг ТУ1  \"вкл.\""},
    {.Panel = "paVak", .Name = "edVak_TU1_off", .Kind = K::TextEdit, .Key = "VAK_StateTU1_Off",
     .Caption = "ВАК флаг ТУ1  \"откл.\""},
};

const std::vector<TPageRow> kRows = TfrRelayProtection::Rows("gbTIT", kOwnRows);

} // namespace

const TPageTable TFrKPOrion::Table{"TFrKPOrion", kPanels, kRows};

TFrKPOrion::TFrKPOrion(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TfrRelayProtection(tree, device, TProtocolPage::KPOrion, Table, parent)
{
    chP = Control<QCheckBox>("chP");
    chQ = Control<QCheckBox>("chQ");
    chS = Control<QCheckBox>("chS");
    chCosf = Control<QCheckBox>("chCosf");
    cbTS_RPO = Control<QCheckBox>("cbTS_RPO");
    cbTS_RPV = Control<QCheckBox>("cbTS_RPV");
    cbTS_SIGN_Disable = Control<QCheckBox>("cbTS_SIGN_Disable");
    cbTS_SIGN_Enable = Control<QCheckBox>("cbTS_SIGN_Enable");
    cbTS_SIG_1MTZ = Control<QCheckBox>("cbTS_SIG_1MTZ");
    cbTS_SIG_2MTZ = Control<QCheckBox>("cbTS_SIG_2MTZ");
    cbTS_OZZ_Disable = Control<QCheckBox>("cbTS_OZZ_Disable");
    cbTS_OZZ_SIGN = Control<QCheckBox>("cbTS_OZZ_SIGN");
    edVak_TU1_on = Control<QLineEdit>("edVak_TU1_on");
    edVak_TU1_off = Control<QLineEdit>("edVak_TU1_off");
    for (QLineEdit* edit : {edVak_TU1_on, edVak_TU1_off}) edit->setValidator(new TVakValidator(edit));
}

void TFrKPOrion::ApplyType()
{
    const auto* type = dynamic_cast<const TField*>(Device()->FindField("DevType"));
    for (const TControlCaption& c : OrionSignalCaptions(type ? type->GetValue().ToInt32() : 0))
        SetCaption(Control(c.Control), c.Caption);
}
