#include "model/uZumo7.h"

#include <algorithm>
#include <cstring>

using platform::Format;

EMetaStruc::~EMetaStruc() = default;
EBoardSign::~EBoardSign() = default;

namespace {

constexpr char kMagic[] = "quorvandell";
constexpr int32_t kMagicLength = 11;
constexpr int32_t kPortSlot = 8;

// The meta record; the board-dependent fields get their defaults from the board's row.
const TLayoutRow kMetaRows[] = {
    {.Key = "magic_signature", .Offset = 0, .Type = ftString, .Length = kMagicLength, .Text = kMagic},
    {.Key = "meta_ver", .Offset = 11, .Type = ftByte, .Default = 2},
    {.Key = "meta_ether_count", .Offset = 12, .Type = ftByte},
    {.Key = "meta_RS232_count", .Offset = 13, .Type = ftByte},
    {.Key = "meta_RS485_count", .Offset = 14, .Type = ftByte},
    {.Key = "meta_InternalDI", .Offset = 15, .Type = ftByte},
    {.Key = "meta_InternalDO", .Offset = 16, .Type = ftByte},
    {.Key = "meta_board_signature", .Offset = 17, .Type = ftWord},
    {.Key = "meta_ModemInfo", .Offset = 19, .Type = ftByte},
};

// The meta fields a board's row gives, with the text a differing count raises.
struct TMetaFromBoard {
    const char* Key;
    int32_t (*Value)(const TZumo7BoardInfo& row);
    const char* Mismatch; // none: not compared
};

const TMetaFromBoard kMetaFromBoard[] = {
    {"meta_board_signature", [](const TZumo7BoardInfo& r) -> int32_t { return r.Signature; }, nullptr},
    {"meta_ether_count", [](const TZumo7BoardInfo& r) -> int32_t { return r.EtherCount; },
     "Возникла ошибка при проверке кол. ethernet портов"},
    {"meta_RS232_count", [](const TZumo7BoardInfo& r) -> int32_t { return r.RS232Count; },
     "Возникла ошибка при проверке кол. RS232 портов"},
    {"meta_RS485_count", [](const TZumo7BoardInfo& r) -> int32_t { return r.RS485Count; },
     "Возникла ошибка при проверке кол. RS485 портов"},
    {"meta_InternalDI", [](const TZumo7BoardInfo& r) -> int32_t { return r.InternalDI; },
     "Возникла ошибка при проверке кол. DI портов"},
    {"meta_InternalDO", [](const TZumo7BoardInfo& r) -> int32_t { return r.InternalDO; },
     "Возникла ошибка при проверке кол. DO портов"},
    {"meta_ModemInfo", [](const TZumo7BoardInfo& r) -> int32_t { return r.ModemInfo; }, nullptr},
};

template <class T>
std::unique_ptr<TUART> Port(TLayout& layout, const char* caption)
{
    return MakeList<T>(caption, layout.Block(), layout.Offset());
}

template <class T>
std::unique_ptr<TUART> Port(TLayout& layout, const char* caption, int32_t duplexDefault)
{
    return MakeList<T>(caption, layout.Block(), layout.Offset(), duplexDefault);
}

} // namespace

TZumo7Doc::TZumo7Doc()
{
    ModelName = "Zumo7";
    ExpectedSchemeId = "Scheme ID:10.0.0.0";
}

TZumo7Doc::~TZumo7Doc() = default;

void TZumo7Doc::Build()
{
    BuildMetaBlock();
    BuildZumo7Header();
    TLayout table(*this, AddImageBlock(0x0200, 14800), 0);
    BuildDevices(table, 20);
    BuildLogicChannels(table, 20);
    BuildTitBlock(0x7000, 1925, 1200);
    BuildChannelBlock(704);
}

void TZumo7Doc::BuildMetaBlock()
{
    TLayout meta(*this, AddImageBlock(0xB700, 64), 0);
    BuildMeta(meta);
}

void TZumo7Doc::BuildZumo7Header()
{
    TLayout header(*this, AddImageBlock(0x0000, 108), 0);
    BuildPorts(header);
    BuildCommon(header);
    AddSchemeId(header);
}

void TZumo7Doc::BuildChannelBlock(int32_t size)
{
    TLayout channels(*this, AddImageBlock(0x9000, size), 0);
    BuildInternalChannels(channels, 16);
    BuildDioChannels(channels, 16);
}

void TZumo7Doc::BuildMeta(TLayout& layout)
{
    layout.Rows(kMetaRows);
    FillMetaFromBoard();
}

void TZumo7Doc::BuildInternalChannels(TLayout& layout, int count)
{
    AddNumbered(layout, internalChannels_, BlockFactoryOf<TInternalChannel>(), count, "Внутренний_канал_%.2d");
}

void TZumo7Doc::BuildDioChannels(TLayout& layout, int count)
{
    AddNumbered(layout, dioChannels_, BlockFactoryOf<TDIO_Channel>(), count, "DIO_канал_%.2d");
}

int32_t TZumo7Doc::MetaValue(const char* key) const
{
    const TField* field = MetaField(key);
    return field ? field->GetValue().ToInt32() : 0;
}

void TZumo7Doc::SetMetaDefaultsFromBoard()
{
    const TZumo7BoardInfo row = GetBoardInfo(boardSignature_);
    for (const TMetaFromBoard& meta : kMetaFromBoard)
        if (TField* field = MetaField(meta.Key)) field->DefaultValue = Variant(meta.Value(row));
}

void TZumo7Doc::FillMetaFromBoard()
{
    SetMetaDefaultsFromBoard();
    if (TField* version = MetaField("meta_ver")) version->ResetDefaults();
    for (const TMetaFromBoard& meta : kMetaFromBoard)
        if (TField* field = MetaField(meta.Key)) field->ResetDefaults();
}

void TZumo7Doc::UpgradeMeta(int version)
{
    if (version >= 2) return;
    if (TField* modem = MetaField("meta_ModemInfo"))
        modem->SetValue(int32_t{GetBoardInfo(boardSignature_).ModemInfo});
    if (TField* ver = MetaField("meta_ver")) ver->SetValue(int32_t{2});
}

TUART* TZumo7Doc::PortByIndex(int index) const
{
    return index >= 0 && index < PortCount() ? ports_[static_cast<size_t>(index)].second : nullptr;
}

std::vector<std::string> TZumo7Doc::GetPortNames() const
{
    std::vector<std::string> names;
    names.reserve(ports_.size());
    for (const auto& port : ports_) names.push_back(port.first);
    return names;
}

void TZumo7Doc::Retire(const std::string& key)
{
    std::unique_ptr<TObjNode> old = TakeField(key);
    if (old) retired_.push_back(std::move(old));
}

void TZumo7Doc::PutPort(TLayout& layout, const std::string& key, std::unique_ptr<TUART> port)
{
    const TObjNode* old = FindField(key);
    const auto listed =
        std::find_if(ports_.begin(), ports_.end(), [old](const auto& entry) { return old && entry.second == old; });
    const size_t position = static_cast<size_t>(listed - ports_.begin());
    Retire(key);
    std::string caption = port->Name;
    TUART* added = layout.Add(key, std::move(port));
    if (!added) return;
    if (position < ports_.size())
        ports_[position] = {std::move(caption), added};
    else
        ports_.emplace_back(std::move(caption), added);
}

void TZumo7Doc::SkipPort(TLayout& layout, const std::string& key)
{
    layout.Skip(kPortSlot);
    Retire(key);
}

void TZumo7Doc::BuildPorts(TLayout& layout)
{
    const int32_t start = layout.Offset();
    const int32_t n = MetaValue("meta_RS232_count") + MetaValue("meta_RS485_count");
    const int32_t e = MetaValue("meta_ether_count");
    const bool m1 = IsModemBoardM1(boardSignature_);
    const bool m4 = IsModemBoardM4(boardSignature_);
    const bool m2 = m4 || IsModemBoardM2(boardSignature_);

    ports_.clear();
    PutPort(layout, "UART0", Port<TPortCOM>(layout, "COM1", 0));
    PutPort(layout, "UART1", Port<TPortCOM_XPORT>(layout, "Xport1"));
    if (n >= 2)
        PutPort(layout, "UART2", Port<TPortCOM>(layout, "COM2", 0));
    else
        SkipPort(layout, "UART2");
    PutPort(layout, "USB", Port<TUART>(layout, "USB", 1));
    if (n >= 3)
        PutPort(layout, "UART4", m2 ? Port<TModemPort>(layout, "Modem2", 0) : Port<TPortCOM>(layout, "COM3", 0));
    else if (e >= 3)
        PutPort(layout, "UART4", Port<TPortCOM_XPORT>(layout, "Xport3"));
    else
        SkipPort(layout, "UART4");
    if (n >= 4)
        PutPort(layout, "UART5",
                m1 || m2 ? Port<TModemPort>(layout, "Modem1", 0) : Port<TPortCOM>(layout, "COM4", 0));
    else if (e >= 4)
        PutPort(layout, "UART5", Port<TPortCOM_XPORT>(layout, "Xport4"));
    else
        SkipPort(layout, "UART5");
    if (n >= 5)
        PutPort(layout, "UART6",
                m2 && e >= 2 ? Port<TPortCOM_XPORT>(layout, "Xport2") : Port<TPortCOM>(layout, "COM5", 0));
    else if (e >= 2)
        PutPort(layout, "UART6", Port<TPortCOM_XPORT>(layout, "Xport2"));
    else
        SkipPort(layout, "UART6");

    if (m4) {
        // The modems of the four-modem boards take the slots of the second and the last
        // port without moving the running offset.
        TLayout second(*this, layout.Block(), start + kPortSlot);
        PutPort(second, "UART1", Port<TModemPort>(second, "Modem3", 0));
        TLayout last(*this, layout.Block(), start + 6 * kPortSlot);
        PutPort(last, "UART6", Port<TModemPort>(last, "Modem4", 0));
    }
}

void TZumo7Doc::RebuildPorts()
{
    TUART* first = PortByIndex(0);
    if (!first) throw platform::Exception("Конфигурация повреждена\nОшибка получения конфигурации портов");
    TLayout layout(*this, first->Block, first->Offset);
    BuildPorts(layout);
}

void TZumo7Doc::SetBoardSignature(int32_t signature)
{
    TZumo2Doc::SetBoardSignature(signature);
    const auto board = static_cast<uint16_t>(signature);
    if (board == boardSignature_) return;
    boardSignature_ = board;
    FillMetaFromBoard();
    RebuildPorts();
}

bool TZumo7Doc::ImportImage(std::istream& stream)
{
    if (TField* magic = MetaField("magic_signature")) magic->SetValue(std::string());
    if (TField* version = MetaField("meta_ver")) version->SetValue(int32_t{0});
    if (TField* board = MetaField("meta_board_signature")) board->SetValue(int32_t{0});
    return TZumo2Doc::ImportImage(stream);
}

void TZumo7Doc::AfterLoad()
{
    const auto board = static_cast<uint16_t>(MetaValue("meta_board_signature"));
    const bool rebuild = board != boardSignature_;
    if (rebuild) {
        boardSignature_ = board;
        // Later resets (New on this board, the Delete key on the root) must write this
        // board's values, not those of the board before the load.
        SetMetaDefaultsFromBoard();
    }
    const int32_t version = MetaValue("meta_ver");
    if (version < 2) UpgradeMeta(version);
    if (rebuild) RebuildPorts();
    TZumo2Doc::AfterLoad();
}

void TZumo7Doc::Validate()
{
    const TField* magic = MetaField("magic_signature");
    char bytes[kMagicLength] = {};
    if (magic) magic->ReadBytes(magic->NodeOffset(), bytes, sizeof bytes);
    if (!magic || std::memcmp(bytes, kMagic, sizeof bytes) != 0)
        throw platform::Exception("Конфигурация не поддерживается(не найдена заводская запись)");
    const int32_t version = MetaValue("meta_ver");
    if (version != 1 && version != 2)
        throw platform::Exception("Конфигурация не поддерживается\rОбновите конфигуратор\rmetadata ver error");
    const int32_t signature = MetaValue("meta_board_signature");
    if (!IsKnownBoard(static_cast<uint16_t>(signature)))
        throw EBoardSign(Format("Возникла ошибка при проверке идентификатора контроллера (%d)", signature));
    const TZumo7BoardInfo row = GetBoardInfo(static_cast<uint16_t>(signature));
    for (const TMetaFromBoard& meta : kMetaFromBoard)
        if (meta.Mismatch && MetaValue(meta.Key) != meta.Value(row)) throw EMetaStruc(meta.Mismatch);
    TZumo2Doc::Validate();
}

std::string TZumo7Doc::GetCaption() const
{
    const int32_t version = MetaValue("meta_ver");
    if (version < 1) return "Контроллер Zumo7 модификация не определена(нет заводской записи)";
    if (version <= 2) return BoardName(boardSignature_);
    return Format("Контроллер Zumo7 модификация не поддерживается; meta_ver %d, board %d", version,
                  MetaValue("meta_board_signature"));
}

std::unique_ptr<TZumo2Doc> MakeZumo7Doc() { return MakeDocument<TZumo7Doc>(); }

bool HasModemBoardM1(const TDocument* document)
{
    const auto* doc = dynamic_cast<const TZumo7Doc*>(document);
    const TField* board = doc ? doc->MetaField("meta_board_signature") : nullptr;
    return board && IsModemBoardM1(static_cast<uint16_t>(board->GetValue().ToInt32()));
}
