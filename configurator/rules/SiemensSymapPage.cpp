#include "configurator/rules/SiemensSymapPage.h"

#include "model/uDevProtocols.h"
#include "model/uZumo2_Siemens.h"
#include "platform/Format.h"

#include <stdexcept>

// ---------------------------------------------------------------------------------
// Tab pages of a descriptor

namespace {

const std::array<TSymapTab, SymapTabCount> kTabs = {{
    {"I_Symap", "seInputsRegAddr", "cbInput", "SymapInput", nullptr},
    {"Q_Symap", "seOutputsRegAddr", "cbOutput", "SymapOutput", "DP_MD5 "},
    {"Ext_IO_IW1", "seExt_IOIW1RegAddr", "cbExtBoardDI_Word1_", "DP_MD5_DI_ExtBoard_WORD1_", "DP_MD5 "},
    {"Ext_IO_IW2", "seExt_IOIW2RegAddr", "cbExtBoardDI_Word2_", "DP_MD5_DI_ExtBoard_WORD2_", "DP_MD5 "},
    {"Ext_IO_IW3", "seExt_IOIW3RegAddr", "cbExtBoardDI_Word3_", "DP_MD5_DI_ExtBoard_WORD3_", "DP_MD5 "},
    {"Ext_IO_QW1", "seExtBoardDQW1RegAddr", "cbExtBoardDQ_Word1_", "DP_MD5_DQ_ExtBoard_WORD1_", "DP_MD5 "},
    {"Ext_IO_QW2", "seExtBoardDQW2RegAddr", "cbExtBoardDQ_Word2_", "DP_MD5_DQ_ExtBoard_WORD2_", "DP_MD5 "},
    {"DP_MD25 alarm status1", "seSymapAlarm1_StatusRegAddr", "cbAlarm1_Status_", "DP_MD25_Alarm1_Status_",
     "DP_MD25 "},
    {"DP_MD25 alarm status2", "seSymapAlarm2_StatusRegAddr", "cbAlarm2_Status_", "DP_MD25_Alarm2_Status_",
     "DP_MD25 "},
    {"DP_MD25 alarm status3", "seSymapAlarm3_StatusRegAddr", "cbAlarm3_Status_", "DP_MD25_Alarm3_Status_",
     "DP_MD25 "},
    {"DP_MD25 alarm status4", "seSymapAlarm4_StatusRegAddr", "cbAlarm4_Status_", "DP_MD25_Alarm4_Status_",
     "DP_MD25 "},
    {"DP_MD25 alarm status5", "seSymapAlarm5_StatusRegAddr", "cbAlarm5_Status_", "DP_MD25_Alarm5_Status_",
     "DP_MD25 "},
    {"Event_W1", "sePLC_Event_W1RegAddr", "cbPLC_Event_W1_", "PLC_Event_W1_", "Event "},
    {"Alarm_W1", "sePLC_Alarm_W1RegAddr", "cbPLC_Alarm_W1_", "PLC_Alarm_W1_", "Alarm "},
    {"Alarm_W2", "sePLC_Alarm_W2RegAddr", "cbPLC_Alarm_W2_", "PLC_Alarm_W2_", "Alarm "},
    {"Alarm_W3", "sePLC_Alarm_W3RegAddr", "cbPLC_Alarm_W3_", "PLC_Alarm_W3_", "Alarm "},
}};

// The bits of the Symap input word as the first page captions them.
constexpr const char* kInputCaptions[SymapBitCount] = {
    "Дверь КСО открыта",
    "Блокировка включения ВВ",
    "ВВ не выключился",
    "ВВ не включился",
    "Низкое напряжение цепей включения ВВ",
    "Низкое напряжение цепей отключения ВВ",
    "Низкое напряжение питания SYMAP",
    "Высокое напряжение питания SYMAP",
    "Резерв",
    "ВВ не готов",
    "Шина заземлена",
    "Заземлитель включен",
    "Выключен контроль напряжения шины",
    "Разъединитель выключен",
    "Сработала дуговая защита",
    "Неисправность ВВ",
};

const TSymapTab& TabAt(int page)
{
    if (page < 0 || page >= SymapTabCount) throw std::out_of_range(platform::Format("no Symap tab page %d", page));
    return kTabs[static_cast<size_t>(page)];
}

// Two digits of a bit number, checked.
std::string BitDigits(int bit)
{
    if (bit < 0 || bit >= SymapBitCount) throw std::out_of_range(platform::Format("no Symap bit %d", bit));
    return platform::Format("%.2d", bit);
}

} // namespace

const std::array<TSymapTab, SymapTabCount>& SymapTabs() { return kTabs; }

std::string SymapAddressKey(int page)
{
    TabAt(page);
    return platform::Format("SRegAddr%.2d", page);
}

std::string SymapBitKey(int page, int bit) { return TabAt(page).KeyStem + BitDigits(bit); }

std::string SymapBitName(int page, int bit) { return TabAt(page).CheckStem + BitDigits(bit); }

std::string SymapBitCaption(int page, int bit)
{
    const TSymapTab& tab = TabAt(page);
    const std::string digits = BitDigits(bit);
    return tab.CaptionStem ? tab.CaptionStem + digits : kInputCaptions[bit];
}

const std::vector<std::string>& SymapDescriptorKeys()
{
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> made{"DevType"};
        for (int p = 0; p < SymapTabCount; ++p) made.push_back(SymapAddressKey(p));
        for (int p = 0; p < SymapTabCount; ++p)
            for (int b = 0; b < SymapBitCount; ++b) made.push_back(SymapBitKey(p, b));
        return made;
    }();
    return keys;
}

// ---------------------------------------------------------------------------------
// Device type

const TPickList& SymapDeviceTypeItems()
{
    static const TPickList items = {{"Symap_DES_DG", 6}, {"Symap_DES_RU", 7}, {"Symap_MGS", 8}, {"PLC", SymapPLCType}};
    return items;
}

TSymapTabsShown SymapTabsOf(std::optional<int> deviceType)
{
    if (deviceType == SymapPLCType) return {SymapFirstPLCTab, SymapTabCount - 1, SymapFirstPLCTab};
    return {0, SymapFirstPLCTab - 1, 0};
}

// ---------------------------------------------------------------------------------
// Descriptors

std::string RegisterName(const TZumo2SiemensDoc& document, int index)
{
    std::string name = document.GetRegisterName(index);
    return name.empty() ? "ячейка " + std::to_string(index + 1) : name;
}

bool IsRegisterEnabled(const TDevProtocolSiemensSymap& block, int index)
{
    if (index < 0 || index >= block.RegisterCount()) return false;
    const auto* flag = dynamic_cast<const TField*>(block.FindField(platform::Format("SRegisterEnabled%.2d", index)));
    return flag && flag->GetValue().ToInt32() == 1;
}

TRegisterSelection RegisterSelectionOf(int selected, int bound)
{
    TRegisterSelection step;
    step.Bound = bound;
    if (selected < 0) return step;
    step.Selected = true;
    if (selected == bound) return step;
    step.Unbind = bound >= 0;
    step.Bind = selected;
    step.Bound = selected;
    return step;
}

std::optional<std::string> RegisterRenamedTo(const std::optional<std::string>& answer)
{
    if (!answer || answer->empty()) return std::nullopt;
    return answer;
}
