#include "model/uDravo7.h"

namespace {

// The header fields behind the port records, up to "SchemeID".
const TLayoutRow kHeaderRows[] = {
    {"noname_0", 24, ftLongWord},
    {"noname_1", 28, ftLongWord},
    {"noname_2", 32, ftWord},
    {"021", 34, ftWord, 0, true, {0, 1}},
    {"022", 34, ftWord, 1, false, {1, 1}}, // control by function
    {"023", 34, ftWord, 0, false, {2, 1}}, // control by PPS
    {"024", 34, ftWord, 1, false, {3, 1}}, // signals invalid when a КП is lost
    {"025", 34, ftWord, 1, true, {4, 1}},
    {"026", 34, ftWord, 0, true, {5, 1}},
    {"027", 34, ftWord, 0, true, {6, 1}},
    {"028", 34, ftWord, 0, false, {7, 1}}, // automatic clock correction
    {"040", 36, ftWord, 0, true},
    {"041", 38, ftWord, 500},  // event archive: TS buffer
    {"042", 40, ftWord, 500},  // event archive: TIT buffer
    {"043", 42, ftWord},
    {"044", 44, ftWord, 1440}, // time check period, minutes
    {"045", 46, ftWord, 0, true},
    {"048", 48, ftShortInt, -1, true},
    {"049", 49, ftShortInt, -1, true},
    {"047", 50, ftWord, 0, true},
    {"noname_3", 52, ftLongWord},
};

constexpr int32_t kHeaderSize = 76;

// The header block up to "SchemeID", which the document adds itself: "Port A" is of
// class PortA.
template <class PortA>
TLayout& LayOutHeader(TLayout& header)
{
    header.List<TPortCOM>("UART0", "Port B", 0);
    header.List<PortA>("UART1", "Port A", 0);
    header.List<TUART>("USB", "USB", 1);
    header.Rows(kHeaderRows);
    return header;
}

std::vector<std::string> DravoPortNames() { return {"Port B", "Port A"}; }

} // namespace

// ---------------------------------------------------------------------------------
// Port A

void TPortA::MarkFixedFields()
{
    TUART::MarkFixedFields();
    for (const char* key : {"016", "018"})
        if (auto* field = Find<TField>(key)) field->CheckDefault = false;
}

// ---------------------------------------------------------------------------------
// Dravo 7

void TDravo7Doc::AfterConstruction()
{
    TZumo2Doc::AfterConstruction();
    ModelName = "Dravo7";
    Name = "Контроллер Dravo7";
}

void TDravo7Doc::Build()
{
    TLayout header(*this, AddImageBlock(0x0000, kHeaderSize), 0);
    AddSchemeId(LayOutHeader<TPortA>(header));

    // The base classes directly, not through the build steps.
    TLayout table(*this, AddImageBlock(0x0200, 14800), 0);
    AddNumbered(table, devices_, BlockFactoryOf<TDevice>(), 20, "Устройство_%.2d");
    AddNumbered(table, logicChannels_, BlockFactoryOf<TLogic>(), 20, "Логический_канал_%.2d");

    TLayout tit(*this, AddImageBlock(0x7000, 1925), 1200);
    BuildApertures(tit, 50);
    BuildScales(tit, 50);
    AddNumbered(tit, inverseTS_, BlockFactoryOf<TInverseTS>(), InverseTSRecords, "Инверсия_ТС_%.2d");
}

std::vector<std::string> TDravo7Doc::GetPortNames() const { return DravoPortNames(); }

// ---------------------------------------------------------------------------------
// Synchronous Dravo 7

void TDravo7sin_Device::AddApertureBlocks(TLayout& layout)
{
    AppendApertureBlocks(layout, ApertureBlocks, BlockFactoryOf<TDevApperture>());
}

void TDravo7sin_Device::AddScaleBlocks(TLayout& layout)
{
    AppendScaleBlocks(layout, ScaleBlocks, BlockFactoryOf<TDravo7sin_DevScale>());
}

TDravo7_sinDoc::TDravo7_sinDoc() { ExpectedSchemeId = "Scheme ID:12.0.0.0"; }

void TDravo7_sinDoc::AfterConstruction()
{
    TZumo2Doc::AfterConstruction();
    ModelName = "Dravo7 синх";
}

void TDravo7_sinDoc::Build()
{
    TLayout header(*this, AddImageBlock(0x0000, kHeaderSize), 0);
    AddSchemeId(LayOutHeader<TPortCOM>(header));

    TLayout table(*this, AddImageBlock(0x0200, 13595), 0);
    BuildDevices(table, Devices);
    BuildLogicChannels(table, 20);
    // The storage counts its position from its own offset in the table's block.
    ScaleDescriptions = table.Add("scaleTIT_descrList",
                                  Make<TFlashFixedStringsStorage>(table.Block(), table.Offset(),
                                                                  TZumo2SyncDoc::Descriptions,
                                                                  TZumo2SyncDoc::DescriptionSlot, false, uint8_t{1}));

    BuildTitBlock(0x7000, 1800, 1200);
    BindScaleDescriptions();
}

std::vector<std::string> TDravo7_sinDoc::GetPortNames() const { return DravoPortNames(); }

void TDravo7_sinDoc::BindScaleDescriptions() { ::BindScaleDescriptions(*this); }

void TDravo7_sinDoc::BuildDevices(TLayout& layout, int count)
{
    AddNumbered(layout, devices_, BlockFactoryOf<TDravo7sin_Device>(), count, "Устройство_%.2d");
}

void TDravo7_sinDoc::BuildScales(TLayout& layout, int count)
{
    AddNumbered(layout, scales_, BlockFactoryOf<TDravo7sin_ScaleTIT>(), count, "Преобразование_%.2d");
}

std::unique_ptr<TZumo2Doc> MakeDravo7Doc() { return MakeDocument<TDravo7Doc>(); }

std::unique_ptr<TZumo2Doc> MakeDravo7_sinDoc() { return MakeDocument<TDravo7_sinDoc>(); }
