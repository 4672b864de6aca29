#include "model/uZumo_Classes.h"

#include "platform/Format.h"

#include <iterator>

// ---------------------------------------------------------------------------------
// Ports and small records

// ---------------------------------------------------------------------------------
// Logical channels

// ---------------------------------------------------------------------------------
// Devices

void TDevChannel::Build()
{
    TLayout l(*this);
    l.Field("0001", ftLongWord, int32_t{0}, false); // start address inside the device
    l.Field("0003", ftLongWord, int32_t{0}, false); // ВАК of the first channel
    l.Field("0002", ftWord, int32_t{0}, false);     // number of objects
    l.Field("0004", ftByte, int32_t{255}, false);   // channel type, 255 none
    l.Field("0005", ftByte, int32_t{255}, false);   // data format or command
    l.Finish();
}

void TDevApperture::Build()
{
    TLayout l(*this);
    l.Field("0001", ftLongWord, int32_t{0}, false); // ВАК
    l.Field("0002", ftWord, int32_t{0}, false);     // count
    l.Field("0003", ftWord, int32_t{0}, false);     // the document's TIT aperture record
    l.Finish();
}

void TDevScale::Build()
{
    TLayout l(*this);
    l.Field("0001", ftLongWord, int32_t{0}, false); // ВАК
    l.Field("0002", ftWord, int32_t{0}, false);     // count
    l.Field("0003", ftWord, int32_t{0}, false);     // the document's TIT conversion record
    l.Finish();
}

namespace {

// The order in which a device makes its protocol blocks.
constexpr int ProtocolBuildOrder[] = {1, 2, 7, 8, 13, 14, 17, 19, 3, 4, 5, 6, 9, 21,
                                      10, 11, 15, 22, 23, 24, 25, 16, 18, 20, 26, 27, 12, 28};
static_assert(std::size(ProtocolBuildOrder) == ProtocolCount - 1);

} // namespace

TDevice::~TDevice() = default;

void TDevice::Build()
{
    TLayout l(*this);
    l.Field("001", ftLongWord, int32_t{115200}, false); // link speed, bit/s
    l.Text("003", 16, "", true);
    l.Field("005", ftWord, int32_t{0}, false); // channel protocol
    l.Field("006", ftWord, int32_t{0}, false); // inter-byte interval, ms
    l.Field("007", ftWord, int32_t{0}, true);
    l.Field("noname_4", ftWord, int32_t{0}, false);
    l.Bits(ftLongWord, {
                           {"018", 0, 1, 0, true},
                           {"011", 1, 1, 1, false}, // role: 1 ПУ, 0 КП
                           {"012", 2, 1, 0, false}, // listening
                           {"014", 3, 1, 0, true},
                           {"013", 4, 1, 0, false}, // 0 binary, 1 ASCII hex
                           {"015", 5, 1, 0, true},
                           {"016", 6, 3, 0, true},
                           {"017", 9, 1, 0, true},
                           {"019", 10, 1, 0, false}, // stop when the link to the КП is lost
                           {"020", 11, 1, 0, false}, // МЭК validity flag IV
                           {"021", 12, 1, 0, false}, // МЭК validity flag NT
                       });
    l.Bits(ftByte, {
                       {"051", 0, 1, 1, false}, // broadcast commands
                       {"052", 1, 1, 0, true},
                       {"053", 2, 1, 0, false}, // balanced mode
                       {"057", 3, 1, 0, true},
                       {"058", 4, 1, 0, true},
                       {"059", 5, 1, 0, true},
                   });
    l.Field("iec_dp_ts_asdu", ftByte, int32_t{31}, false);
    l.Field("055", ftWord, int32_t{0}, false); // transmission start delay, ms
    l.Field("056", ftShortInt, int32_t{0}, false);
    l.Field("056_2", ftByte, int32_t{0}, false); // time synchronisation period
    l.Bits(ftByte, {
                       {"061", 0, 2, 1, false}, // sizes: cause of transmission,
                       {"063", 2, 2, 1, false}, // common address,
                       {"062", 4, 2, 1, false}, // link address,
                       {"064", 6, 2, 2, false}, // information object address
                   });
    l.Field("065", ftByte, int32_t{30}, false); // ASDU types: TS,
    l.Field("066", ftByte, int32_t{36}, false); // TIT,
    l.Field("067", ftByte, int32_t{37}, false); // TII
    l.Bits(ftWord, {
                       {"068_1", 0, 4, 8, false}, // data bits
                       {"068_2", 4, 4, 0, false}, // parity
                       {"068_3", 8, 4, 1, false}, // stop bits
                   });
    l.Field("069", ftWord, int32_t{1}, true);
    l.Field("070", ftWord, int32_t{0}, true);
    l.Bits(ftWord, {
                       {"073", 0, 1, 0, true}, // МЭК 101 / 104
                       {"074", 1, 1, 0, false},
                       {"075", 2, 1, 1, false},
                       {"076", 3, 1, 0, true},
                       {"077", 4, 1, 0, true},
                       {"078", 5, 1, 0, false},
                       {"079", 6, 1, 0, false},
                   });
    l.Field("090", ftWord, int32_t{30}, true); // T0
    l.Field("091", ftWord, int32_t{15}, true); // T1
    l.Field("092", ftWord, int32_t{10}, true); // T2
    l.Field("093", ftWord, int32_t{20}, true); // T3
    l.Field("094", ftWord, int32_t{12}, true, 1, 20); // window k
    l.Field("095", ftWord, int32_t{8}, true, 1, 20);  // window w
    l.Field("096", ftByte, int32_t{0}, true);
    l.Field("097", ftByte, int32_t{0}, true);
    l.Field("098", ftWord, int32_t{0}, true);
    l.Field("099", ftByte, int32_t{0}, true);
    l.Field("101", ftByte, int32_t{0}, true); // maximum frame size
    l.Field("noname_5", ftLongWord, int32_t{0}, false);
    address_ = l.Field("000", ftWord, int32_t{0}, false);
    port_ = l.Field("002", ftByte, int32_t{255}, false);     // index of the document's port names
    protocol_ = l.Field("004", ftByte, int32_t{255}, false); // ProtocolCodes
    l.Field("0004", ftWord, int32_t{0}, false);              // packet wait time-out, ms
    l.Field("0013", ftWord, int32_t{0}, false);              // poll suspension, s
    l.Field("ts_link", ftLongWord, int32_t{0}, false);
    l.Field("tit_link", ftLongWord, int32_t{0}, false);
    l.Field("noname_6", ftLongWord, int32_t{0}, false);
    l.Field("0014", ftByte, int32_t{3}, false); // poll repetitions
    l.Field("0015", ftByte, int32_t{1}, false); // answers before the link counts as present
    role_ = dynamic_cast<TField*>(TFieldLst::FindField("011"));
    protocol_->OnChange = TNotifyEvent::Of<&TDevice::OnProtocolChanged>(this);

    // The device sits directly under its document, so its own offset is absolute.
    protocolAreaOffset_ = NodeOffset() + l.Offset();
    CreateProtocolBlocks();
    ReserveProtocolArea(l);
    AddChannelBlocks(l, BlockFactoryOf<TDevChannel>());
    AddApertureBlocks(l);
    AddScaleBlocks(l);
    l.Finish();
}

void TDevice::CreateProtocolBlocks()
{
    const int32_t area = ProtocolAreaSize();
    for (int index : ProtocolBuildOrder) {
        const TDevProtocolFactory make = ProtocolFactory(index);
        if (!make) continue;
        std::unique_ptr<TDevProtocol> block =
            make(Block, static_cast<int32_t>(protocolAreaOffset_), ProtocolNames[index], role_);
        // A block larger than the area would reach into the records behind it.
        if (block && block->ProtocolAreaSize() <= area) protocols_[static_cast<size_t>(index)] = std::move(block);
    }
}

void TDevice::ReserveProtocolArea(TLayout& layout) { layout.Skip(ProtocolAreaSize()); }

template <class T>
void TDevice::AppendBlocks(TLayout& layout, int count, const char* keyFormat, const char* nameFormat,
                           std::vector<T*>& list, const TBlockFactory<T>& make)
{
    for (int i = 0; i < count; ++i) {
        T* block = layout.Add(platform::Format(keyFormat, i),
                              make(platform::Format(nameFormat, i + 1), Block, layout.Offset()));
        if (block) list.push_back(block);
    }
}

void TDevice::AppendChannelBlocks(TLayout& layout, int count, const TBlockFactory<TDevChannel>& make)
{
    AppendBlocks(layout, count, "Channels%.2d", "Канал лог. ТС %.2d", channelBlocks_, make);
}

void TDevice::AppendApertureBlocks(TLayout& layout, int count, const TBlockFactory<TDevApperture>& make)
{
    AppendBlocks(layout, count, "Apperture%.2d", "Канал апертуры %.2d", apertureBlocks_, make);
}

void TDevice::AppendScaleBlocks(TLayout& layout, int count, const TBlockFactory<TDevScale>& make)
{
    AppendBlocks(layout, count, "Scales%.2d", "Канал преобр. ТИТ %.2d", scaleBlocks_, make);
}

void TDevice::AddChannelBlocks(TLayout& layout, const TBlockFactory<TDevChannel>& make)
{
    AppendChannelBlocks(layout, 20, make);
}

void TDevice::AddApertureBlocks(TLayout& layout) { AppendApertureBlocks(layout, 20, BlockFactoryOf<TDevApperture>()); }

void TDevice::AddScaleBlocks(TLayout& layout) { AppendScaleBlocks(layout, 20, BlockFactoryOf<TDevScale>()); }

int TDevice::ProtocolIndexOfCode(int code)
{
    for (int i = ProtocolCount - 1; i >= 1; --i)
        if (ProtocolCodes[i] == code) return i;
    return 0;
}

int TDevice::ActiveProtocolIndex() const { return ProtocolIndexOfCode(protocol_->GetValue().ToInt32()); }

TDevProtocol* TDevice::ProtocolBlock(int index) const
{
    return index >= 0 && index < ProtocolCount ? protocols_[static_cast<size_t>(index)].get() : nullptr;
}

TDevProtocol* TDevice::ActiveProtocol() const { return ProtocolBlock(ActiveProtocolIndex()); }

std::string TDevice::DeviceTitle() const
{
    return std::string(role_->GetValue().ToInt32() == 1 ? "ПУ " : "КП ") + ProtocolNames[ActiveProtocolIndex()];
}

std::string TDevice::DevicePortName() const
{
    if (const auto* doc = dynamic_cast<const TDocument*>(Parent)) {
        const std::vector<std::string> names = doc->GetPortNames();
        const int port = port_->GetValue().ToInt32();
        if (port >= 0 && static_cast<size_t>(port) < names.size()) return names[static_cast<size_t>(port)];
    }
    return ProtocolNames[0];
}

std::string TDevice::DeviceCaption() const
{
    return platform::Format("%s, %s, адрес %s", DeviceTitle().c_str(), DevicePortName().c_str(),
                            address_->GetValue().ToString().c_str());
}

void TDevice::ForEachChannelBlock(const std::function<void(TDevChannel& block, bool& proceed)>& callback) const
{
    bool proceed = true;
    for (TDevChannel* block : channelBlocks_) {
        callback(*block, proceed);
        if (!proceed) break;
    }
}

TObjNode* TDevice::FindField(std::string_view key) const
{
    if (TObjNode* own = TFieldLst::FindField(key)) return own;
    if (const TDevProtocol* active = ActiveProtocol()) return active->FindField(key);
    return nullptr;
}

void TDevice::OnProtocolChanged(TField*)
{
    const int index = ActiveProtocolIndex();
    const std::vector<uint8_t> zeros(static_cast<size_t>(ProtocolAreaSize()), 0);
    WriteBytes(protocolAreaOffset_, zeros.data(), zeros.size());
    if (TDevProtocol* block = ProtocolBlock(index)) block->ResetDefaults();
}

void TDevice::ResetDefaults()
{
    TFieldLst::ResetDefaults();
    OnProtocolChanged(nullptr);
}

void TDevice::CheckDefaults(const std::string& path, TDefaultCheckRun& run)
{
    TFieldLst::CheckDefaults(path, run);
    if (TDevProtocol* active = ActiveProtocol()) active->CheckDefaults(path, run);
}

void TDevice::SetCheckDefault(std::initializer_list<const char*> keys, bool checkDefault)
{
    for (const char* key : keys)
        if (auto* field = dynamic_cast<TField*>(TFieldLst::FindField(key))) field->CheckDefault = checkDefault;
}

void TDevice::MarkUnusedFields()
{
    const int index = ActiveProtocolIndex();
    const bool pu = role_->GetValue().ToInt32() == 1;
    const bool iec = index == 1;

    // The wait time-out and the link channels serve КП devices and three ПУ protocols.
    SetCheckDefault({"0004", "ts_link", "tit_link"}, pu && index != 5 && index != 9 && index != 12);
    SetCheckDefault({"061", "062", "063", "064", "065", "066", "067", "073", "074", "075", "076", "077", "078",
                     "090", "091", "092", "093", "094", "095", "096", "097", "098", "099", "101"},
                    !iec);
    SetCheckDefault({"019"}, !pu);
    SetCheckDefault({"020", "021"}, iec ? !pu : true);

    // Serial settings of a device on a synchronous port are not used; the mode is the
    // first port's whatever port the device is on, and a document without that port
    // counts as asynchronous.
    bool serialUnused = true;
    if (port_->GetValue().ToInt32() != 1) {
        serialUnused = false;
        if (Parent)
            if (const auto* uart = dynamic_cast<const TFieldLst*>(Parent->FindField("UART0")))
                if (const auto* mode = dynamic_cast<const TField*>(uart->FindField("016")))
                    serialUnused = mode->GetValue().ToInt32() != 0;
    }
    SetCheckDefault({"006", "068_1", "068_2", "068_3"}, serialUnused);
}
