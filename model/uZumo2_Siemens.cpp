#include "model/uZumo2_Siemens.h"

TZumo2SiemensDoc::TZumo2SiemensDoc()
{
    ExpectedSchemeId = "Scheme ID:15.0.0.0";
    KpProtocolMask |= uint32_t{1} << 28; // Siemens Symap
}

void TZumo2SiemensDoc::AfterConstruction()
{
    TZumo2Doc::AfterConstruction();
    ModelName = "Zumo2 Siemens";
}

void TZumo2SiemensDoc::Build()
{
    BuildHeaderBlock();
    TLayout names(*this, AddImageBlock(0x67D6, 1045), 0);
    SRegisterRef = names.Add("SRegisterRef",
                             Make<TFlashFixedStringsStorage>(names.Block(), 0, RegisterNames, 65, false, uint8_t{1}));

    TLayout table(*this, AddImageBlock(0x0200, 5660), 0);
    BuildDevices(table, 3);
    BuildLogicChannels(table, 20);
    BuildTitBlock(0x7000, 1800, 1200);
}

void TZumo2SiemensDoc::BuildDevices(TLayout& layout, int count)
{
    AddNumbered(layout, devices_, BlockFactoryOf<TZumo2SiemensDevice>(), count, "Устройство_%.2d");
}

std::string TZumo2SiemensDoc::GetRegisterName(int n) const { return SRegisterRef->GetString(n); }

void TZumo2SiemensDoc::SetRegisterName(int n, const std::string& name) { SRegisterRef->SetString(n, name); }

std::unique_ptr<TZumo2Doc> MakeZumo2SiemensDoc() { return MakeDocument<TZumo2SiemensDoc>(); }
