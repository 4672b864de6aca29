#include "model/uGrendal.h"

// ---------------------------------------------------------------------------------
// Devices

void TDeviceGrendal::LayoutFields(TLayout& layout)
{
    // Where the Tramel-5141 device differs from the Pelvar device.
    static const THask1RowChange changes[] = {
        {"001", 115200, false}, {"007", 2404, false}, {"055", 0, false}, {"068_1", 8, false},
        {"068_2", 0, false},    {"068_3", 1, false},  {"073", 1, false}, {"078", 0, false},
        {"000", 1, false},
    };
    static const std::vector<TLayoutRow> rows = Hask1DeviceRows(changes);
    layout.Rows(rows);
}

TDevice::TBlockNames TDeviceGrendal::BlockNames() const { return Hask1DeviceBlockNames(); }

TDevProtocolFactory TDeviceGrendal::ProtocolFactory(int index) const { return Hask1ProtocolFactory(index); }

void TDeviceGrendal::MarkUnusedFields()
{
    MarkHask1DeviceFields(*this, {.FirstLan = 6, .LastLan = 8, .SerialFixedOnLan = true, .IecVariantFixed = false});
}

// ---------------------------------------------------------------------------------
// Document

TGrendalDoc::TGrendalDoc()
{
    ModelName = "Tramel-5141";
    BaseAddress = 0;
    ExpectedSchemeId = "Scheme ID:1.0.0.0";
    PuProtocolMask = 6;
    KpProtocolMask = 0xA6186;
    LogicKindMask = 127;
}

void TGrendalDoc::AfterConstruction()
{
    TZumo2Doc::AfterConstruction();
    Name = "Контроллер " + ModelName;
}

void TGrendalDoc::Build()
{
    static const TLayoutRow rows[] = {
        {"noname_0", 64, ftLongWord},
        {"noname_1", 68, ftLongWord},
        {"noname_2", 72, ftWord},
        {"021", 74, ftWord, 0, true, {0, 1}},
        {"022", 74, ftWord, 1, false, {1, 1}},
        {"023", 74, ftWord, 0, true, {2, 1}},
        {"024", 74, ftWord, 1, false, {3, 1}},
        {"025", 74, ftWord, 1, true, {4, 1}},
        {"026", 74, ftWord, 0, true, {5, 1}},
        {"027", 74, ftWord, 0, true, {6, 1}},
        {"028", 74, ftWord, 0, true, {7, 1}},
        {"040", 76, ftWord, 0, true},
        {"041", 78, ftWord, 500},
        {"042", 80, ftWord, 500},
        {"043", 82, ftWord},
        {"044", 84, ftWord, 1440},
        {"045", 86, ftWord, 0, true},
        {"048", 88, ftShortInt, -1, true},
        {"049", 89, ftShortInt, -1, true},
        {"047", 90, ftWord, 0, true},
        {.Key = "%.3d", .Offset = 96, .Type = ftString, .Length = 16, .First = 50, .Count = 6},
        // Kept as read; no page edits it.
        {.Key = "noname_192", .Offset = 192, .Type = ftString, .Length = 20},
    };
    TLayout header(*this, AddImageBlock(0x0000, 232), 0);
    AddNumbered(header, serialPorts_, BlockFactoryOf<TCOMGrendal>(), 6, "COM%d");
    header.List<TETH>("ETH_0", "LAN1");
    header.List<TETH>("ETH_1", "LAN2");
    header.Rows(rows);
    AddSchemeId(header);

    TLayout table(*this, AddImageBlock(0x1000, 145400), 0);
    AddNumbered(table, devices_, BlockFactoryOf<TDeviceGrendal>(), 200, "Устройство_%.2d");
    BuildApertures(table, 50);
    BuildScales(table, 50);
}

std::vector<std::string> TGrendalDoc::GetPortNames() const
{
    std::vector<std::string> names;
    for (int i = 0; i < COMPortCount(); ++i) names.push_back("COM" + std::to_string(i + 2));
    names.insert(names.end(), {"LAN1", "LAN2", "LAN1 или LAN2"});
    return names;
}

std::unique_ptr<TZumo2Doc> MakeGrendalDoc() { return MakeDocument<TGrendalDoc>(); }
