#include "model/uZumo_Classes.h"

#include "platform/Format.h"

#include <charconv>
#include <cstring>
#include <iterator>

// ---------------------------------------------------------------------------------
// Ports and small records

namespace {

// The fields of a record, direct children only.
template <class F>
void ForEachField(TFieldLst& list, F f)
{
    for (int i = 0; i < list.FieldCount(); ++i)
        if (auto* field = dynamic_cast<TField*>(list.FieldByIndex(i))) f(list.FieldName(i), *field);
}

} // namespace

void TUART::Build()
{
    Layout();
    MarkFixedFields();
}

void TUART::Layout()
{
    static const TLayoutRow rows[] = {
        {"016", 0, ftWord, 0, false, {0, 3}},
        {"018", 0, ftWord, 0, false, {3, 1}}, // default: the port's duplex default, set below
        {"051", 2, ftWord, 0, false, {0, 1}},
        {"052", 2, ftWord, 0, false, {1, 1}},
        {"053", 2, ftWord, 0, false, {2, 1}},
        {"057", 2, ftWord, 0, false, {3, 1}},
        {"058", 2, ftWord, 0, false, {4, 1}},
        {"059", 2, ftWord, 0, false, {5, 1}},
        {"flag_invDE", 2, ftWord, 0, false, {6, 1}},
        {"055", 4, ftWord},
        {"056", 6, ftWord},
    };
    LayOutTable(*this, rows);
    if (auto* duplex = Find<TField>("018")) duplex->DefaultValue = duplexDefault_;
}

void TUART::MarkFixedFields()
{
    ForEachField(*this, [](const std::string&, TField& f) { f.CheckDefault = true; });
}

bool TUART::IsSynchronous() const
{
    const auto* mode = Find<TField>("016");
    return mode && mode->GetValue().Equals(int32_t{1});
}

void TPortCOM::MarkFixedFields()
{
    ForEachField(*this, [](const std::string& key, TField& f) { f.CheckDefault = CompareKeys(key, "053") == 0; });
}

void TPortCOM_XPORT::Layout()
{
    TUART::Layout();
    // Shares the container of "016" at offset 0; the record keeps its size.
    AddField("is_xport", Make<TBitFleld>(Block, 0, ftWord, uint8_t{4}, uint8_t{1}, 1, true));
}

void TModemPort::Build()
{
    TPortCOM::Build();
    if (auto* mode = Find<TField>("016")) {
        mode->DefaultValue = int32_t{1};
        mode->SetValue(int32_t{1});
    }
}

void TScaleTIT::Build()
{
    static const TLayoutRow rows[] = {
        {"0001", 0, ftSingle, 1}, // k
        {"0002", 4, ftSingle, 0}, // b
    };
    LayOutTable(*this, rows);
}

void TAppertureTIT::Build()
{
    static const TLayoutRow rows[] = {
        {"0001", 0, ftSingle, 0},
    };
    LayOutTable(*this, rows);
}

void TInverseTS::Build()
{
    static const TLayoutRow rows[] = {
        {"1", 0, ftByte, 0, true, {7, 1}},
        {"2", 0, ftByte, 0, true, {6, 1}},
        {"3", 0, ftByte, 0, true, {5, 1}},
        {"4", 0, ftByte, 0, true, {4, 1}},
        {"5", 0, ftByte, 0, true, {3, 1}},
        {"6", 0, ftByte, 0, true, {2, 1}},
        {"7", 0, ftByte, 0, true, {1, 1}},
        {"8", 0, ftByte, 0, true, {0, 1}},
    };
    LayOutTable(*this, rows);
}

namespace {

// The 20-byte channel of the Zumo 7 boards; returns its "VAC".
TField* LayoutZumo7Channel(TFieldLst& list)
{
    static const TLayoutRow rows[] = {
        {"start_adr", 0, ftWord, 1},
        {"count", 2, ftWord},
        {"VAC", 4, ftLongWord},
        {"Chtype", 8, ftByte, 255},
        {"ChFrm", 9, ftByte, 255},
        {"shared_delay", 10, ftWord},
    };
    TLayout l(list);
    l.Rows(rows);
    l.Skip(8); // bytes 12..19 reserved
    l.Finish();
    return list.Find<TField>("VAC");
}

} // namespace

void TInternalChannel::Build() { VAC = LayoutZumo7Channel(*this); }

void TDIO_Channel::Build() { VAC = LayoutZumo7Channel(*this); }

// ---------------------------------------------------------------------------------
// Logical channels

namespace {

const char* const kNotFound = "Не найдено текст.представление";

std::string CodeText(const TCodeText* table, size_t count, int code)
{
    for (size_t i = 0; i < count; ++i)
        if (table[i].Code == code) return table[i].Text;
    return "(" + std::to_string(code) + ")" + kNotFound;
}

template <size_t N>
std::string CodeText(const TCodeText (&table)[N], int code)
{
    return CodeText(table, N, code);
}

const TCodeText kTSSources[] = {
    {5, "Остановка работы порта"},
    {6, "Состояние порта"},
    {7, "Периодическая генерация"},
    {8, "Периодическая генерация с привязкой ко времени"},
};
const TCodeText kTUCommands[] = {{0, "Рестарт"}, {4, "Сброс КДС"}, {9, "Отключить порт"}};
const TCodeText kTRKinds[] = {{1, "Конвертация в ТИТ"}};
const TCodeText kChannelKinds[] = {{0, "ТС"}, {1, "ТИТ"}, {2, "ТИИ"}, {3, "ТУ"}, {4, "ТР"}, {5, "Параметр"}, {7, "ДТС"}};
const TCodeText kTIICounters[] = {
    {0, "Кол-во принятых байт"},
    {1, "Кол-во переданных байт"},
    {6, "Кол-во принятых пакетов"},
    {7, "Кол-во испорченых пакетов"},
};

const char* Lookup(const TCodeText* table, size_t count, int code)
{
    for (size_t i = 0; i < count; ++i)
        if (table[i].Code == code) return table[i].Text;
    return nullptr;
}

} // namespace

std::string LogicTSSourceText(int code) { return CodeText(kTSSources, code); }
std::string LogicTUCommandText(int code) { return CodeText(kTUCommands, code); }
std::string LogicTRKindText(int code) { return CodeText(kTRKinds, code); }

std::string ChannelKindShortName(int code)
{
    const char* text = Lookup(kChannelKinds, std::size(kChannelKinds), code);
    return text ? text : "";
}

const TCodeText LogicTITSources[LogicTITSourceCount] = {
    {1, "Суммирование"},
    {2, "Вычитание"},
    {3, "Период опроса усройства"},
    {4, "Ошибка установки времени"},
    {6, "События диагностики"},
    {7, "Температура"},
    {8, "Отсутсвие синхронизации времени"},
    {10, "Чистота приема"},
    {11, "Макс. отставание фазы"},
    {12, "Макс. опережение фазы"},
    {13, "Суммарное отставание фазы"},
    {14, "Суммарное опережение фазы"},
    {15, "Скорость приема"},
    {16, "Скорость передачи"},
};

std::string LogicTITSourceText(int code)
{
    const char* text = Lookup(LogicTITSources, LogicTITSourceCount, code);
    return text ? text : std::to_string(code);
}

// TLogicChannel

const std::vector<TLogicChannel::TParam>& TLogicChannel::Params() const
{
    params_.clear();
    FillParams(params_);
    return params_;
}

void TLogicChannel::FillParams(std::vector<TParam>&) const {}

TField* TLogicChannel::ParamField(int index) const
{
    const auto& params = Params();
    return index >= 0 && static_cast<size_t>(index) < params.size() ? params[static_cast<size_t>(index)].Field
                                                                     : nullptr;
}

int TLogicChannel::ParamFieldCount() const { return static_cast<int>(Params().size()); }

std::string TLogicChannel::ParamCaption(int index) const
{
    const auto& params = Params();
    return index >= 0 && static_cast<size_t>(index) < params.size() ? params[static_cast<size_t>(index)].Caption
                                                                     : "";
}

std::string TLogicChannel::ParamText(int index) const
{
    const TField* field = ParamField(index);
    return field ? field->GetValue().ToString() : std::string();
}

void TLogicChannel::FillValueList(int, TPickList&) const {}

void TLogicChannel::TypeChanged(TField*) { Params(); }

void TLogicChannel::SetSelector(TField* field)
{
    if (field) field->OnChange = TNotifyEvent::Of<&TLogicChannel::TypeChanged>(this);
}

int32_t TLogicChannel::ValueOf(std::string_view key) const
{
    const auto* field = Find<TField>(key);
    return field ? field->GetValue().ToInt32() : 0;
}

namespace {

void SetCheck(const TFieldLst& list, std::string_view key, bool check)
{
    if (auto* field = list.Find<TField>(key)) field->CheckDefault = check;
}

} // namespace

// ТС

void TLogicTS::Build()
{
    static const TLayoutRow rows[] = {
        {"101", 0, ftWord},
        {"102", 2, ftByte, 5},
        {"103", 3, ftByte},
        {"104", 4, ftLongWord, 0, true},
    };
    LayOutTable(*this, rows);
    SetSelector(Find<TField>("102"));
}

void TLogicTS::FillParams(std::vector<TParam>& params) const
{
    params.push_back({"Tип", Find<TField>("102")}); // the T is Latin
    switch (ValueOf("102")) {
    case 5: params.push_back({"Значение ТС для остановки", Find<TField>("103")}); break;
    case 6: params.push_back({"Инверсия значения", Find<TField>("103")}); break;
    case 7:
    case 8: params.push_back({"Период (мин)", Find<TField>("103")}); break;
    default: params.push_back({"Адрес", Find<TField>("101")}); break;
    }
}

void TLogicTS::MarkUnusedFields()
{
    const int32_t source = ValueOf("102");
    const bool stop = source == 5;
    const bool generated = source >= 6 && source <= 8;
    SetCheck(*this, "101", stop);
    SetCheck(*this, "103", !stop && !generated);
}

std::string TLogicTS::ParamText(int index) const
{
    return index == 0 ? LogicTSSourceText(ValueOf("102")) : TLogicChannel::ParamText(index);
}

// ТИТ

void TLogicTIT::Build()
{
    static const TLayoutRow rows[] = {
        {"201", 0, ftWord},
        {"202", 2, ftByte, 3},
        {"203", 3, ftByte},
        {"204", 4, ftByte},
        {"205", 5, ftByte},
        {"206", 6, ftByte},
        {"207", 7, ftByte},
    };
    LayOutTable(*this, rows);
    SetSelector(Find<TField>("202"));
}

void TLogicTIT::FillParams(std::vector<TParam>& params) const
{
    params.push_back({"Тип", Find<TField>("202")});
    const int32_t source = ValueOf("202");
    if (source >= 0 && source <= 3) params.push_back({"Адрес", Find<TField>("201")});
    if (source == 1 || source == 2) {
        params.push_back({"Канал 1", Find<TField>("203")});
        params.push_back({"Канал 2", Find<TField>("204")});
        params.push_back({"Канал 3", Find<TField>("205")});
        params.push_back({"Канал 4", Find<TField>("206")});
        params.push_back({"Канал 5", Find<TField>("207")});
    }
}

void TLogicTIT::MarkUnusedFields()
{
    const int32_t source = ValueOf("202");
    SetCheck(*this, "201", source > 3);
    for (const char* key : {"203", "204", "205", "206", "207"}) SetCheck(*this, key, source != 1 && source != 2);
}

std::string TLogicTIT::ParamText(int index) const
{
    return index == 0 ? LogicTITSourceText(ValueOf("202")) : TLogicChannel::ParamText(index);
}

void TLogicTIT::FillValueList(int index, TPickList& list) const
{
    list.clear();
    if (index != 0) return;
    for (const TCodeText& source : LogicTITSources) list.emplace_back(source.Text, source.Code);
}

// ТИИ

void TLogicTII::Build()
{
    static const TLayoutRow rows[] = {
        {"701", 0, ftWord, 0, true},
        {"702", 2, ftByte},
        {"noname_108", 3, ftByte, 0, true},
        {"noname_109", 4, ftLongWord, 0, true},
    };
    LayOutTable(*this, rows);
}

void TLogicTII::FillParams(std::vector<TParam>& params) const { params.push_back({"Тип", Find<TField>("702")}); }

std::string TLogicTII::ParamText(int index) const
{
    if (index != 0) return TLogicChannel::ParamText(index);
    const char* text = Lookup(kTIICounters, std::size(kTIICounters), ValueOf("702"));
    return text ? text : "";
}

// ТУ

void TLogicTU::Build()
{
    static const TLayoutRow rows[] = {
        {"301", 0, ftWord},
        {"302", 2, ftByte},
        {"303", 3, ftByte, 0, true},
        {"304", 4, ftLongWord, 0, true},
    };
    LayOutTable(*this, rows);
    SetSelector(Find<TField>("302"));
}

void TLogicTU::FillParams(std::vector<TParam>& params) const
{
    params.push_back({"Логическое назначение", Find<TField>("302")});
    if (ValueOf("302") == 4) params.push_back({"Адрес", Find<TField>("301")});
}

void TLogicTU::MarkUnusedFields() { SetCheck(*this, "301", ValueOf("302") != 4); }

std::string TLogicTU::ParamText(int index) const
{
    return index == 0 ? LogicTUCommandText(ValueOf("302")) : TLogicChannel::ParamText(index);
}

// Group commands

void TLogicGroupTU::Build()
{
    const std::string p(1, prefix_);
    TLayout l(*this);
    l.Field(p + "01", ftWord, uint16_t{0}, false);
    for (const char* n : {"02", "03", "04"}) l.Field(p + n, ftSmallint, int16_t{-1}, false, -1, 32767);
    l.Finish();
}

void TLogicGroupTU::FillParams(std::vector<TParam>& params) const
{
    const std::string p(1, prefix_);
    params.push_back({"Адрес", Find<TField>(p + "01")});
    params.push_back({"Канал 1", Find<TField>(p + "02")});
    params.push_back({"Канал 2", Find<TField>(p + "03")});
    params.push_back({"Канал 3", Find<TField>(p + "04")});
}

// ТР

void TLogicTR::Build()
{
    static const TLayoutRow rows[] = {
        {"Addr", 0, ftWord},
        {"Type", 2, ftByte, 1},
        {"Count", 3, ftWord},
        {"Field2", 5, ftLongWord24},
    };
    LayOutTable(*this, rows);
}

void TLogicTR::FillParams(std::vector<TParam>& params) const
{
    params.push_back({"Тип", Find<TField>("Type")});
    params.push_back({"ВАК ТИТ", Find<TField>("Addr")});
    params.push_back({"Количество", Find<TField>("Count")});
}

std::string TLogicTR::ParamText(int index) const
{
    return index == 0 ? LogicTRKindText(ValueOf("Type")) : TLogicChannel::ParamText(index);
}

// TLogic

void TLogic::Build()
{
    static const TLayoutRow rows[] = {
        {"000_1", 0, ftLongWord, 0, false, {0, 24}},
        {"000_2", 0, ftLongWord, 1, true, {24, 8}},
        {"001", 4, ftWord, 0, true},
        {"002", 6, ftByte, 255},
        {"003", 7, ftByte, 255},
    };
    TLayout l(*this);
    l.Rows(rows);
    AddrField = Find<TField>("000_1");
    TypeField = Find<TField>("002");
    PortField = Find<TField>("003");

    // The entry has no parent yet: its own offset is its place in the block.
    KindAreaOffset = NodeOffset() + l.Offset();
    for (int i = 1; i < ChannelTypeCount; ++i) kinds_[i] = CreateKind(i, static_cast<int32_t>(KindAreaOffset));
    l.Skip(KindAreaSize);
    l.Finish();

    TypeField->OnChange = TNotifyEvent::Of<&TLogic::OnKindChanged>(this);
}

std::unique_ptr<TLogicChannel> TLogic::CreateKind(int index, int32_t areaOffset)
{
    const std::string name = ChannelTypeNames[index];
    switch (index) {
    case 1: return MakeList<TLogicTS>(name, Block, areaOffset);
    case 2: return MakeList<TLogicTIT>(name, Block, areaOffset);
    case 3: return MakeList<TLogicTII>(name, Block, areaOffset);
    case 4: return MakeList<TLogicTU>(name, Block, areaOffset);
    case 5: return MakeList<TLogicGroupTUOn>(name, Block, areaOffset);
    case 6: return MakeList<TLogicGroupTUOff>(name, Block, areaOffset);
    case 7: return MakeList<TLogicTR>(name, Block, areaOffset);
    default: return nullptr;
    }
}

int TLogic::KindIndexOfCode(int code)
{
    for (int i = 1; i < ChannelTypeCount; ++i)
        if (ChannelTypeCodes[i] == code) return i;
    return 0;
}

int TLogic::ActiveKindIndex() const { return KindIndexOfCode(TypeField->GetValue().ToInt32()); }

TLogicChannel* TLogic::Kind(int index) const
{
    return index > 0 && index < ChannelTypeCount ? kinds_[index].get() : nullptr;
}

TLogicChannel* TLogic::ActiveKind() const { return Kind(ActiveKindIndex()); }

void TLogic::OnKindChanged(TField*)
{
    const uint8_t zeros[KindAreaSize] = {};
    WriteBytes(KindAreaOffset, zeros, sizeof zeros);
    if (TLogicChannel* kind = ActiveKind()) kind->ResetDefaults();
}

void TLogic::CheckDefaults(const std::string& path, TDefaultCheckRun& run)
{
    TFieldLst::CheckDefaults(path, run);
    if (TLogicChannel* kind = ActiveKind()) kind->CheckDefaults(path, run);
}

TField* TLogic::ColumnField(int index) const
{
    switch (index) {
    case 0: return AddrField;
    case 1: return PortField;
    case 2: return TypeField;
    default: {
        const TLogicChannel* kind = ActiveKind();
        return index > 2 && kind ? kind->ParamField(index - 3) : nullptr;
    }
    }
}

std::string TLogic::ColumnText(int index) const
{
    switch (index) {
    case 0: return AddrField->GetValue().ToString();
    case 1: return PortText(PortField->GetValue().ToInt32());
    case 2: return ChannelTypeNames[ActiveKindIndex()];
    default: {
        const TLogicChannel* kind = ActiveKind();
        return index > 2 && kind && index - 3 < kind->ParamFieldCount() ? kind->ParamText(index - 3) : "";
    }
    }
}

std::string TLogic::ColumnCaption(int index) const
{
    switch (index) {
    case 0: return "ВАК";
    case 1: return "Порт";
    case 2: return "Тип логического канала";
    default: {
        const TLogicChannel* kind = ActiveKind();
        return index > 2 && kind ? kind->ParamCaption(index - 3) : "";
    }
    }
}

namespace {

const TDocument* DocumentOf(const TObjNode& node)
{
    for (const TFieldLst* p = node.Parent; p; p = p->Parent)
        if (const auto* doc = dynamic_cast<const TDocument*>(p)) return doc;
    return nullptr;
}

} // namespace

std::string TLogic::PortText(int portIndex) const
{
    const TDocument* doc = DocumentOf(*this);
    if (doc && portIndex >= 0) {
        const std::vector<std::string> names = doc->GetPortNames();
        if (static_cast<size_t>(portIndex) < names.size()) return names[static_cast<size_t>(portIndex)];
    }
    return "Нет";
}

void TLogic::FillPortList(TPickList& list) const
{
    list.clear();
    if (const TDocument* doc = DocumentOf(*this)) {
        const std::vector<std::string> names = doc->GetPortNames();
        for (size_t i = 0; i < names.size(); ++i) list.emplace_back(names[i], static_cast<int>(i));
    }
    list.emplace_back("Нет", 255);
}

// ---------------------------------------------------------------------------------
// Devices

void TDevChannel::Build()
{
    static const TLayoutRow rows[] = {
        {"0001", 0, ftLongWord},    // start address inside the device
        {"0003", 4, ftLongWord},    // ВАК of the first channel
        {"0002", 8, ftWord},        // number of objects
        {"0004", 10, ftByte, 255},  // channel type, 255 none
        {"0005", 11, ftByte, 255},  // data format or command
    };
    LayOutTable(*this, rows);
}

namespace {

// A run of a device's TIT channels and the number of the document's record they use:
// the aperture and scale blocks alike.
const TLayoutRow ReferenceBlockRows[] = {
    {"0001", 0, ftLongWord}, // ВАК
    {"0002", 4, ftWord},     // count
    {"0003", 6, ftWord},     // the document's TIT aperture or conversion record
};

} // namespace

void TDevApperture::Build()
{
    LayOutTable(*this, ReferenceBlockRows);
}

void TDevScale::Build()
{
    LayOutTable(*this, ReferenceBlockRows);
}

namespace {

// The order in which a device makes its protocol blocks.
constexpr int ProtocolBuildOrder[] = {1, 2, 7, 8, 13, 14, 17, 19, 3, 4, 5, 6, 9, 21,
                                      10, 11, 15, 22, 23, 24, 25, 16, 18, 20, 26, 27, 12, 28};
static_assert(std::size(ProtocolBuildOrder) == ProtocolCount - 1);

} // namespace

TDevice::~TDevice() = default;

void TDevice::LayoutFields(TLayout& layout)
{
    static const TLayoutRow rows[] = {
        {"001", 0, ftLongWord, 115200}, // link speed, bit/s
        {.Key = "003", .Offset = 4, .Type = ftString, .CheckDefault = true, .Length = 16},
        {"005", 20, ftWord}, // channel protocol
        {"006", 22, ftWord}, // inter-byte interval, ms
        {"007", 24, ftWord, 0, true},
        {"noname_4", 26, ftWord},
        {"018", 28, ftLongWord, 0, true, {0, 1}},
        {"011", 28, ftLongWord, 1, false, {1, 1}}, // role: 1 ПУ, 0 КП
        {"012", 28, ftLongWord, 0, false, {2, 1}}, // listening
        {"014", 28, ftLongWord, 0, true, {3, 1}},
        {"013", 28, ftLongWord, 0, false, {4, 1}}, // 0 binary, 1 ASCII hex
        {"015", 28, ftLongWord, 0, true, {5, 1}},
        {"016", 28, ftLongWord, 0, true, {6, 3}},
        {"017", 28, ftLongWord, 0, true, {9, 1}},
        {"019", 28, ftLongWord, 0, false, {10, 1}}, // stop when the link to the КП is lost
        {"020", 28, ftLongWord, 0, false, {11, 1}}, // МЭК validity flag IV
        {"021", 28, ftLongWord, 0, false, {12, 1}}, // МЭК validity flag NT
        {"051", 32, ftByte, 1, false, {0, 1}},      // broadcast commands
        {"052", 32, ftByte, 0, true, {1, 1}},
        {"053", 32, ftByte, 0, false, {2, 1}}, // balanced mode
        {"057", 32, ftByte, 0, true, {3, 1}},
        {"058", 32, ftByte, 0, true, {4, 1}},
        {"059", 32, ftByte, 0, true, {5, 1}},
        {"iec_dp_ts_asdu", 33, ftByte, 31},
        {"055", 34, ftWord}, // transmission start delay, ms
        {"056", 36, ftShortInt},
        {"056_2", 37, ftByte},                 // time synchronisation period
        {"061", 38, ftByte, 1, false, {0, 2}}, // sizes: cause of transmission,
        {"063", 38, ftByte, 1, false, {2, 2}}, // common address,
        {"062", 38, ftByte, 1, false, {4, 2}}, // link address,
        {"064", 38, ftByte, 2, false, {6, 2}}, // information object address
        {"065", 39, ftByte, 30},               // ASDU types: TS,
        {"066", 40, ftByte, 36},               // TIT,
        {"067", 41, ftByte, 37},               // TII
        {"068_1", 42, ftWord, 8, false, {0, 4}}, // data bits
        {"068_2", 42, ftWord, 0, false, {4, 4}}, // parity
        {"068_3", 42, ftWord, 1, false, {8, 4}}, // stop bits
        {"069", 44, ftWord, 1, true},
        {"070", 46, ftWord, 0, true},
        {"073", 48, ftWord, 0, true, {0, 1}}, // МЭК 101 / 104
        {"074", 48, ftWord, 0, false, {1, 1}},
        {"075", 48, ftWord, 1, false, {2, 1}},
        {"076", 48, ftWord, 0, true, {3, 1}},
        {"077", 48, ftWord, 0, true, {4, 1}},
        {"078", 48, ftWord, 0, false, {5, 1}},
        {"079", 48, ftWord, 0, false, {6, 1}},
        {"090", 50, ftWord, 30, true}, // T0
        {"091", 52, ftWord, 15, true}, // T1
        {"092", 54, ftWord, 10, true}, // T2
        {"093", 56, ftWord, 20, true}, // T3
        {.Key = "094", .Offset = 58, .Type = ftWord, .Default = 12, .CheckDefault = true, .MinValue = 1,
         .MaxValue = 20}, // window k
        {.Key = "095", .Offset = 60, .Type = ftWord, .Default = 8, .CheckDefault = true, .MinValue = 1,
         .MaxValue = 20}, // window w
        {"096", 62, ftByte, 0, true},
        {"097", 63, ftByte, 0, true},
        {"098", 64, ftWord, 0, true},
        {"099", 66, ftByte, 0, true},
        {"101", 67, ftByte, 0, true}, // maximum frame size
        {"noname_5", 68, ftLongWord},
        {"000", 72, ftWord},        // address
        {"002", 74, ftByte, 255},   // index of the document's port names
        {"004", 75, ftByte, 255},   // ProtocolCodes
        {"0004", 76, ftWord},       // packet wait time-out, ms
        {"0013", 78, ftWord},       // poll suspension, s
        {"ts_link", 80, ftLongWord},
        {"tit_link", 84, ftLongWord},
        {"noname_6", 88, ftLongWord},
        {"0014", 92, ftByte, 3}, // poll repetitions
        {"0015", 93, ftByte, 1}, // answers before the link counts as present
    };
    layout.Rows(rows);
}

void TDevice::Build()
{
    TLayout l(*this);
    LayoutFields(l);
    // The device's own fields: its FindField would look into a protocol block as well.
    const auto own = [this](const char* key) { return dynamic_cast<TField*>(TFieldLst::FindField(key)); };
    address_ = own("000");
    port_ = own("002");
    protocol_ = own("004");
    role_ = own("011");
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
    if (ProtocolBlocksOnFirstUse()) return;
    for (int index : ProtocolBuildOrder) MakeProtocolBlock(index);
}

TDevProtocol* TDevice::MakeProtocolBlock(int index) const
{
    const auto i = static_cast<size_t>(index);
    if (protocolMade_[i]) return protocols_[i].get();
    protocolMade_[i] = true;
    const TDevProtocolFactory make = ProtocolFactory(index);
    if (!make) return nullptr;
    const int32_t area = ProtocolAreaSize();
    // The table knows the area its own blocks need: one that cannot fit is not even
    // built (the Siemens block is large). Blocks of other factories are measured.
    if (make == DevProtocolFactory(index) && DevProtocolAreaSize(index) > area) return nullptr;
    std::unique_ptr<TDevProtocol> block =
        make(Block, static_cast<int32_t>(protocolAreaOffset_), ProtocolNames[index], role_);
    // A block larger than the area would reach into the records behind it.
    if (block && block->ProtocolAreaSize() <= area) protocols_[i] = std::move(block);
    return protocols_[i].get();
}

void TDevice::ReserveProtocolArea(TLayout& layout) { layout.Skip(ProtocolAreaSize()); }

namespace {

// Format(format, n) for a format whose one directive is "%.2d" and n >= 0, without the
// formatting machinery: devices make thousands of block keys and names. Any other
// format goes to Format.
std::string FormatNumber(const char* format, int n)
{
    const char* directive = std::strchr(format, '%');
    if (n < 0 || !directive || std::strncmp(directive, "%.2d", 4) != 0 || std::strchr(directive + 1, '%'))
        return platform::Format(format, n);
    char digits[16];
    const char* const end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    std::string text(format, directive);
    if (end - digits < 2) text += '0';
    text.append(digits, static_cast<size_t>(end - digits));
    text += directive + 4;
    return text;
}

} // namespace

template <class T>
void TDevice::AppendBlocks(TLayout& layout, int count, const char* keyFormat, const char* nameFormat,
                           std::vector<T*>& list, const TBlockFactory<T>& make)
{
    layout.Reserve(static_cast<size_t>(count));
    list.reserve(list.size() + static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        T* block = layout.Add(FormatNumber(keyFormat, i), make(FormatNumber(nameFormat, i + 1), Block, layout.Offset()));
        if (block) list.push_back(block);
    }
}

TDevice::TBlockNames TDevice::BlockNames() const
{
    return {"Канал лог. ТС %.2d", "Канал апертуры %.2d", "Канал преобр. ТИТ %.2d"};
}

void TDevice::AppendChannelBlocks(TLayout& layout, int count, const TBlockFactory<TDevChannel>& make)
{
    AppendBlocks(layout, count, "Channels%.2d", BlockNames().Channel, channelBlocks_, make);
}

void TDevice::AppendApertureBlocks(TLayout& layout, int count, const TBlockFactory<TDevApperture>& make)
{
    AppendBlocks(layout, count, "Apperture%.2d", BlockNames().Aperture, apertureBlocks_, make);
}

void TDevice::AppendScaleBlocks(TLayout& layout, int count, const TBlockFactory<TDevScale>& make)
{
    AppendBlocks(layout, count, "Scales%.2d", BlockNames().Scale, scaleBlocks_, make);
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
    return index > 0 && index < ProtocolCount ? MakeProtocolBlock(index) : nullptr;
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

std::span<TField* const> TDevice::OwnFields(std::span<const char* const> keys) const
{
    if (ownFieldsTable_ != keys.data() || ownFields_.size() != keys.size()) {
        // Devices of one class hold their own fields at the same positions: the positions
        // found for the table last time are tried first, and a key found under another
        // name or nowhere there is looked up by key.
        thread_local const char* const* positionsTable = nullptr;
        thread_local std::vector<int> positions;
        if (positionsTable != keys.data() || positions.size() != keys.size()) {
            positions.assign(keys.size(), -1);
            positionsTable = keys.data();
        }
        ownFields_.clear();
        for (size_t k = 0; k < keys.size(); ++k) {
            const int at = positions[k];
            TObjNode* node = at >= 0 && at < FieldCount() && FieldName(at) == keys[k] ? FieldByIndex(at) : nullptr;
            if (!node) {
                node = TFieldLst::FindField(keys[k]);
                positions[k] = -1;
                for (int i = 0; node && i < FieldCount(); ++i)
                    if (FieldByIndex(i) == node) positions[k] = i;
            }
            ownFields_.push_back(dynamic_cast<TField*>(node));
        }
        ownFieldsTable_ = keys.data();
    }
    return ownFields_;
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
