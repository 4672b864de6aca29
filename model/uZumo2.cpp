#include "model/uZumo2.h"

#include <span>

using platform::Format;

EDevChannelException::~EDevChannelException() = default;
EDevChannelINValidValueException::~EDevChannelINValidValueException() = default;
EDevChannelRangeCheckFailedException::~EDevChannelRangeCheckFailedException() = default;

TZumo2Doc::TZumo2Doc()
{
    ModelName = "Zumo2";
    BaseAddress = 0x08004000;
    ExpectedSchemeId = "Scheme ID:8.0.0.0";
    PuProtocolMask = 0x00D59B7E;
    KpProtocolMask = 0x0FEFEFBE;
    LogicKindMask = 255;
    LinearHex = false;
    FirmwareWithParamsAllowed = false;
}

TZumo2Doc::~TZumo2Doc() = default;

void TZumo2Doc::Build()
{
    BuildHeaderBlock();
    TLayout table(*this, AddImageBlock(0x0200, 14800), 0);
    BuildDevices(table, 20);
    BuildLogicChannels(table, 20);
    BuildTitBlock(0x7000, 1925, 1200);
}

void TZumo2Doc::BuildHeaderBlock()
{
    TLayout header(*this, AddImageBlock(0x0000, 84), 0);
    BuildPorts(header);
    BuildCommon(header);
    AddSchemeId(header);
}

void TZumo2Doc::BuildTitBlock(uint32_t address, int32_t size, int32_t start)
{
    TLayout tit(*this, AddImageBlock(address, size), start);
    BuildApertures(tit, 50);
    BuildScales(tit, 50);
}

void TZumo2Doc::BuildPorts(TLayout& layout)
{
    layout.List<TPortCOM>("UART0", "COM", 0);
    layout.List<TUART>("UART1", "XPort", 1);
    layout.List<TUART>("UART2", "485", 0);
    layout.List<TUART>("USB", "USB", 1);
}

void TZumo2Doc::BuildCommon(TLayout& layout) { BuildCommonFields(layout, "noname_0_1"); }

void TZumo2Doc::BuildCommonFields(TLayout& l, const char* firstKey)
{
    l.Field(firstKey, ftWord, int32_t{0}, false);
    l.Field("time_offset", ftShortInt, int32_t{0}, false, -24, 24); // hours added when the time is set
    l.Bits(ftByte, {
                       {"inv_all_ts", 0, 1, 0, true},
                       {"settime_test", 1, 1, 0, false}, // time relayed to the XPort
                       {"rez2_comm", 2, 1, 0, false},
                       {"rez3_comm", 3, 1, 0, false},
                       {"rez4_comm", 4, 1, 0, false},
                       {"rez5_comm", 5, 1, 0, false},
                       {"rez6_comm", 6, 1, 0, false},
                       {"rez7_comm", 7, 1, 0, false},
                   });
    l.Field("TS_DPI_buf_size", ftWord, int32_t{200}, false, 0, 1000);
    l.Field("XPORT_settime_p", ftByte, int32_t{0}, false, 0, 59); // minutes
    l.Field("noname_1", ftByte, int32_t{0}, false);
    l.Field("noname_2", ftWord, int32_t{0}, false);
    l.Bits(ftWord, {
                       {"021", 0, 1, 0, true},
                       {"022", 1, 1, 1, false}, // control by function
                       {"023", 2, 1, 0, false}, // control by PPS
                       {"024", 3, 1, 1, false}, // signals invalid when a КП is lost
                       {"025", 4, 1, 1, true},
                       {"026", 5, 1, 0, true},
                       {"028", 7, 1, 0, false}, // automatic clock correction
                       {"027", 8, 1, 0, true},
                   });
    l.Field("040", ftWord, int32_t{0}, true);
    l.Field("041", ftWord, int32_t{500}, false);  // event archive: TS buffer
    l.Field("042", ftWord, int32_t{500}, false);  // event archive: TIT buffer
    l.Field("043", ftWord, int32_t{0}, false);
    l.Field("044", ftWord, int32_t{1440}, false); // time check period, minutes
    l.Field("045", ftWord, int32_t{0}, true);
    l.Field("048", ftShortInt, int32_t{-1}, true); // system bus frequency
    l.Field("049", ftShortInt, int32_t{-1}, true);
    l.Field("047", ftWord, int32_t{0}, true);
    l.Field("noname_3", ftLongWord, int32_t{0}, false);
}

void TZumo2Doc::AddSchemeId(TLayout& layout) { schemeId_ = layout.Text("SchemeID", 20, ExpectedSchemeId, false); }

void TZumo2Doc::BuildDevices(TLayout& layout, int count)
{
    AddNumbered(layout, devices_, BlockFactoryOf<TDevice>(), count, "Устройство_%.2d");
}

void TZumo2Doc::BuildLogicChannels(TLayout& layout, int count)
{
    AddNumbered(layout, logicChannels_, BlockFactoryOf<TLogic>(), count, "Логический_канал_%.2d");
}

void TZumo2Doc::BuildScales(TLayout& layout, int count)
{
    AddNumbered(layout, scales_, BlockFactoryOf<TScaleTIT>(), count, "Преобразование_%.2d");
}

void TZumo2Doc::BuildApertures(TLayout& layout, int count)
{
    AddNumbered(layout, apertures_, BlockFactoryOf<TAppertureTIT>(), count, "Апертура_%.2d");
}

void TZumo2Doc::ValidateChannelChange(const void*, TField*, const Variant&, TFieldLst*, bool&) {}

std::vector<std::string> TZumo2Doc::GetPortNames() const { return {"COM", "XPort", "485"}; }

void TZumo2Doc::CopyBlocksFrom(TMemory& source)
{
    for (int i = 0; i < Image.BlockCount(); ++i) {
        TMemoryBlock* block = Image.BlockByIndex(i);
        const uint32_t start = BaseAddress + block->Address;
        const std::span<uint8_t> bytes(block->Data(), static_cast<size_t>(block->Size));
        if (!source.CopyRange(start, bytes, false))
            throw platform::Exception(Format("Файл параметров не имеет блока данных %.8X - %.8X", start,
                                             start + static_cast<uint32_t>(block->Size)));
    }
}

bool TZumo2Doc::ImportImage(std::istream& stream)
{
    schemeId_->SetValue(std::string());
    {
        TMemory file;
        file.LoadFromHexStream(stream, 0);
        CopyBlocksFrom(file);
    }
    const std::string read = schemeId_->GetValue().ToString();
    if (read != ExpectedSchemeId)
        throw platform::Exception(Format("Файл параметров имеет версию \"%s\" вместо \"%s\"\r\nПрошивка не подходит "
                                         "для контроллера %s",
                                         read.c_str(), ExpectedSchemeId.c_str(), ModelName.c_str()));
    return true;
}

void TZumo2Doc::SaveToFile(const std::filesystem::path& fileName)
{
    Image.SaveToHexFile(fileName, LinearHex, BaseAddress, 16);
}

void TZumo2Doc::ForEachDeviceChannelList(
    const std::function<void(TDevice& device, TDevChannel& block, bool& proceed)>& callback) const
{
    bool proceed = true;
    for (TDevice* device : devices_) {
        for (int i = 0; proceed && i < device->ChannelBlockCount(); ++i)
            callback(*device, *device->ChannelBlockByIndex(i), proceed);
        if (!proceed) break;
    }
}

std::unique_ptr<TZumo2Doc> MakeZumo2Doc() { return MakeDocument<TZumo2Doc>(); }
