#include "configurator/pages/DocumentPages.h"
#include "configurator/pages/FDevice.h"
#include "configurator/pages/FKPIEC.h"
#include "configurator/pages/FKPKOMPAS.h"
#include "configurator/pages/FKPMKT1.h"
#include "configurator/pages/FKPMKT3.h"
#include "configurator/pages/FKPMeters.h"
#include "configurator/pages/FKPModbus.h"
#include "configurator/pages/FKPOrion.h"
#include "configurator/pages/FKPSirius_2V.h"
#include "configurator/pages/FKPTK113Shield.h"
#include "configurator/pages/FKPTM512.h"
#include "configurator/pages/FKPUTM7.h"
#include "configurator/pages/FPUIEC.h"
#include "configurator/pages/FPUTM120.h"
#include "configurator/pages/FamilyDevicePage.h"
#include "configurator/rules/PageTable.h"
#include "configurator/tree/ModelFactory.h"
#include "configurator/widgets/ParamControls.h"
#include "model/Mirvak_const.h"
#include "model/uZumo7.h"
#include "platform/CodePages.h"
#include "platform/Format.h"
#include "platform/qt/WinUtils.h"
#include "tests/support/DialogScript.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/PageAudit.h"
#include "tests/support/PagesWindow.h"
#include "tests/support/TempDir.h"
#include "tests/support/TreeFixtures.h"
#include "tests/support/TreeViewFixture.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTest>

#include <memory>
#include <span>
#include <string>
#include <vector>

namespace {

using testsupport::AreaBytes;
using testsupport::Choose;
using testsupport::FieldOf;
using testsupport::TAuditControl;
using testsupport::UseSlot;
using Items = std::vector<std::pair<const char*, int>>;

// ---------------------------------------------------------------------------------
// The pages as their description gives them

const Items kPeriodUnits = {{"мс", 0}, {"сек", 1}, {"мин", 2}, {"час", 3}};
const Items kOneOrTwoBytes = {{"1 байт", 1}, {"2 байта", 2}};
const Items kObjectAddress = {{"1 байт", 1}, {"2 байта", 2}, {"3 байта", 3}};
const Items kTsTit = {{"TC", 0}, {"ТИТ", 1}};
const Items kZeroToThree = {{"0", 0}, {"1", 1}, {"2", 2}, {"3", 3}};

std::vector<TAuditControl> PUIECControls()
{
    return {
        {"rg013", "TRadioGroup", "013", nullptr, {{"Binary Hex", 0}, {"ASCII Hex", 1}}},
        {"cb065", "QComboBox", "065", "ASDU ТС",
         {{"без времени", 1}, {"время 3 байта", 2}, {"время 7 байт", 30}, {"битовое поле без времени", 201}}},
        {"cb066", "QComboBox", "066", "ASDU ТИТ",
         {{"16 бит без времени", 11}, {"16 бит, время 3 байта", 12}, {"16 бит, время 7 байт", 35},
          {"float без времени", 13}, {"float, время 3 байта", 14}, {"float, время 7 байт", 36}}},
        {"cb067", "QComboBox", "067", "ASDU ТИИ", {{"без времени", 15}, {"время 3 байта", 16}, {"время 7 байт", 37}}},
        {"cbTSDP_asdu", "QComboBox", "iec_dp_ts_asdu", "ASDU ДПТС",
         {{"без времени", 3}, {"Время 3 байта", 4}, {"Время 7 байт", 31}}},
        {"cb061", "QComboBox", "061", "Причина передачи", kOneOrTwoBytes},
        {"cb062", "QComboBox", "062", "Канальный адрес", {{"0 байт", 0}, {"1 байт", 1}, {"2 байта", 2}}},
        {"cb063", "QComboBox", "063", "Общий адрес ASDU", kOneOrTwoBytes},
        {"cb064", "QComboBox", "064", "Адрес объекта информации", kObjectAddress},
        {"ch019", "QCheckBox", "019", "Останавливать работу при пропадании связи с КП"},
        {"ed055", "TSpinEdit", "055", "Задержка начала передачи", {}, "мс"},
        {"ch020", "QCheckBox", "020", "Признак достоверности IV"},
        {"ch021", "QCheckBox", "021", "Признак достоверности NT"},
        {"ch074", "QCheckBox", "074", "Полный опрос со временем"},
        {"ch075", "QCheckBox", "075", "Двухступенчатая команда ТУ"},
        {"ch078", "QCheckBox", "078", "Непрерывная выдача данных на запрос класса 2"},
        {"ch079", "QCheckBox", "079", "Игнорировать данные в состоянии IV "},
        {"seMaxFrameSize", "TSpinEdit", "101", "Макс. размер кадра", {}, "байт"},
        {"seSyncTime", "TSpinEdit", "056_2", "Период синхронизации времени", {}, "мин."},
    };
}

std::vector<TAuditControl> KPIECControls()
{
    std::vector<TAuditControl> controls = {
        {"cb061", "QComboBox", "061", "Причина передачи", kOneOrTwoBytes},
        {"cb062", "QComboBox", "062", "Канальный адрес", {{"0 байта", 0}, {"1 байт", 1}, {"2 байта", 2}}},
        {"cb063", "QComboBox", "063", "Общий адрес ASDU", kOneOrTwoBytes},
        {"cb064", "QComboBox", "064", "Адрес объекта информации", kObjectAddress},
        {"ch0106", "QCheckBox", "0106", "Игнорировать данные в состоянии IV "},
        {"seMaxFrameSize", "TSpinEdit", "101", "Макс. размер кадра", {}, "байт"},
        {"cbBroadCastSetTime", "QCheckBox", "051", "Поддержка широковещательных команд"},
        {"cbChannCheckBS", "QCheckBox", "052", "Разовая проверка перед началом передачи"},
        {"cbBalanceMode", "QCheckBox", "053", "Балансный режим"},
    };
    for (const auto& part : {testsupport::IecTimeoutAudit(), testsupport::IecPointAudit()})
        controls.insert(controls.end(), part.begin(), part.end());
    return controls;
}

std::vector<TAuditControl> ModbusControls()
{
    return {
        {"cb0201", "QComboBox", "0201", "Тип устройства",
         {{"ModBus", 0}, {"ЗНП 3020", 1}, {"Сириус/Орион-2", 2}, {"Сириус В 3.хх", 3}, {"Сириус С 3.хх", 4},
          {"Сириус Л 3.хх", 5}, {"Сириус Т3 3.хх", 6}, {"SX2", 7}, {"PX3", 8}, {"ЭНИП", 9}, {"ОВЕН МУ110-16", 10}}},
        {"ed0203", "TSpinEdit", "0203", "Удержание ТУ не менее", {}, "мс"},
        {"ed0108", "TSpinEdit", "0206", "Период опроса устройства"},
        {"cb0207", "QComboBox", "0207", nullptr, kPeriodUnits},
        {"cb0208", "QComboBox", "0208", "Алгоритм ТУ", {{"С удержанием", 0}, {"Через 2 выхода", 1}}},
        {"cb0209", "QComboBox", "0209", "Функция запроса ТС", {{"01 hex", 1}, {"02 hex", 2}, {"03 hex", 3}, {"04 hex", 4}}},
        {"cb0210", "QComboBox", "0210", "Функция запроса ТИТ", {{"03 hex", 3}, {"04 hex", 4}}},
    };
}

std::vector<TAuditControl> TM800BControls()
{
    return {
        {"ed4001", "TSpinEdit", "4001", "Удержание ТУ не менее", {}, "мс"},
        {"ed4006", "TSpinEdit", "4006", "Период опроса устройства"},
        {"cb04007", "QComboBox", "4007", nullptr, kPeriodUnits},
    };
}

// With the route hidden ("КП TM1.1"): the route controls but cb0512 bound to nothing.
std::vector<TAuditControl> KompasControls()
{
    return {
        {"cb5001", "QComboBox", "5001", " Тип устройства", {{"КП TM1.1", 0}, {"ПУ TM1.1", 1}, {"ТМ120", 2}}},
        {"ch5002", "QCheckBox", "5002", "Установка времени"},
        {"ch5003", "QCheckBox", "5003", "События по ТС формировать из архива УКПМ"},
        {"ed5004", "TSpinEdit", "5004", "Пауза между посылками ТУ", {}, "мс"},
        {"ed0506", "TSpinEdit", "0506", "Период ОТ", {}, "с"},
        {"ed0507", "TSpinEdit", "0507", "Период ЗМТС", {}, "с"},
        {"ed0508", "TSpinEdit", "0508", "Период ЗГТИТ", {}, "с"},
        {"ed0509", "TSpinEdit", "0509", "Период ЗГТИИ", {}, "с"},
        {"gbLinkDown", "QGroupBox", nullptr, "Обработка события пропадания связи"},
        {"cbLinkDownEvent", "QComboBox", "TrigEvenLinkDown_Cmd", "Выполнить", {{"Нет", 0}, {"Вн. ТУ1", 1}}},
        {"edCmdTimeout", "TSpinEdit", "TrigEvenLinkDown_Timeout", "Таймаут (c.)"},
        {"seCmdRepeatCount", "TSpinEdit", "TrigEvenLinkDown_RepeatCount", "Кво повторов"},
        {"gbRoute", "QGroupBox", nullptr, "Промежуточные ПУ НУ"},
        {"cb0512", "QComboBox", "0512", "Количество", kZeroToThree},
        {"edPUNU1", "TSpinEdit", nullptr, "Адрес промежуточного ПУ НУ 1"},
        {"edPUNU2", "TSpinEdit", nullptr, "Адрес промежуточного ПУ НУ 2"},
        {"edPUNU3", "TSpinEdit", nullptr, "Адрес промежуточного ПУ НУ 3"},
        {"cbDirect", "QComboBox", nullptr, "Направление конечного ПУ НУ", kZeroToThree},
        {"edAddrKP", "TSpinEdit", nullptr, "Адрес устройства КП"},
    };
}

// A meter page: the period, its units, the password where there is one and one check
// box per quantity, keys from firstKey on.
std::vector<TAuditControl> MeterControls(const char* cc, bool password, int firstKey,
                                         const std::vector<const char*>& captions)
{
    static std::vector<std::unique_ptr<std::string>> texts; // the names and keys the entries point to
    const auto keep = [](std::string text) { return texts.emplace_back(std::make_unique<std::string>(text))->c_str(); };
    std::vector<TAuditControl> controls = {
        {keep(std::string("ed") + cc + "006"), "TSpinEdit", keep(std::string(cc) + "006"), "Период опроса устройства"},
        {keep(std::string("cb") + cc + "007"), "QComboBox", keep(std::string(cc) + "007"), nullptr, kPeriodUnits},
    };
    if (password)
        controls.push_back({keep(std::string("ed") + cc + "pass"), "QLineEdit", keep(std::string(cc) + "pass"),
                            "Пароль доступа"});
    for (size_t i = 0; i < captions.size(); ++i) {
        const std::string key = platform::Format("%.4d", firstKey + static_cast<int>(i));
        controls.push_back({keep("ch" + key), "QCheckBox", keep(key), captions[i]});
    }
    return controls;
}

const std::vector<const char*> kMercuryCaptions = {
    "P_", "Pa", "Pb", "Pc", "Q_", "Qa", "Qb", "Qc", "S_", "Sa", "Sb", "Sc", "Ua", "Ub", "Uc", "Ia", "Ib",
    "Ic", "Cos_", "Cos A", "Cos B", "Cos C", "F", "угол АВ", "угол АС", "угол ВС", "Ep+", "Ep-", "Eq+", "Eq-",
    "Серийный №", "Дата выпуска"};
const std::vector<const char*> kIec1107Captions = {
    "P_", "Pa", "Pb", "Pc", "Q_", "Qa", "Qb", "Qc", "S_", "Sa", "Sb", "Sc", "Ua", "Ub", "Uc", "Ia", "Ib",
    "Ic", "Cos_", "Cos A", "Cos B", "Cos C", "F", "угол АВ", "угол АС", "угол ВС", "Энергия 1", "Энергия 2",
    "Энергия 3", "Энергия 4", "Энергия 5", "Энергия 6", "№ счетчика"};

// The controls, then a "TC"/"ТИТ" radio group "rg" + key per cycle word 1 .. words,
// titled " 1" .. " 9", "10" ...
std::vector<TAuditControl> WithWords(std::vector<TAuditControl> controls, int words, std::string (*keyOf)(int n))
{
    for (int n = 1; n <= words; ++n) {
        const std::string key = keyOf(n);
        controls.push_back({KeptText("rg" + key), "TRadioGroup", KeptText(key),
                            KeptText((n < 10 ? " " : "") + std::to_string(n)), kTsTit});
    }
    return controls;
}

std::vector<TAuditControl> MKT2Controls()
{
    return WithWords(
        {
            {"cb011_mkt2_01", "QComboBox", "011_mkt2_01", "Количество слов в цикле", {{"11", 11}, {"21", 21}, {"31", 31}}},
            {"gbMask", "QGroupBox", nullptr, "Маска каналов"},
        },
        30, [](int n) { return platform::Format(n <= 16 ? "009_mkt2_%.2d" : "010_mkt2_%.2d", n); });
}

std::vector<TAuditControl> MKT3Controls()
{
    return {
        {"ch1202", "QCheckBox", "1202", "Обратная связь"},
        {"ch1204", "QCheckBox", "1204", "Передача младшего бита в группе ТС"},
        {"ed011_mkt3_01", "TSpinEdit", "011_mkt3_01", "Количество слов в цикле"},
        {"ch1205", "QCheckBox", "1205", "Инверсия ТС"},
    };
}

std::vector<TAuditControl> TM120Controls()
{
    return {
        {"cbServiceCmd", "QComboBox", "BindTUTM120_CmdTU", "Сервисная команда", {{"Нет", 0}, {"Сервис. ТУ1", 1}}},
        {"seAFBServTU", "TSpinEdit", nullptr},
        {"chReqInvalidTIT", "QCheckBox", "ReqInvalidTIT", "Отвечать на запрос ТИТ(при недостоверности)"},
        {"gbServiceAddress", "QGroupBox", nullptr, "Назначение серв. ТУ1 - ТУ Компас"},
        {"seServiceBlock", "TSpinEdit", nullptr, "N блока ТУ1"},
        {"seServiceGroup", "TSpinEdit", nullptr, "N группы"},
        {"seServiceObject", "TSpinEdit", nullptr, "N объекта"},
    };
}

// The ТМ 512 family's group with its four check boxes, captioned as on the ТМ 512 page
// but where a page gives them other captions.
std::vector<TAuditControl> TM512Controls(const char* ch1802 = "Контрольное число ТИТ",
                                         const char* ch1803 = "16-бит ТИТ")
{
    return {
        {"gbTM512", "QGroupBox", nullptr},
        {"ch1802", "QCheckBox", "1802", ch1802},
        {"ch1803", "QCheckBox", "1803", ch1803},
        {"ch1804", "QCheckBox", "1804", "Обратный порядок ТС в байте"},
        {"ch1805", "QCheckBox", "1805", "Инверсия ТС"},
    };
}

std::vector<TAuditControl> KPRPT80Controls()
{
    return {{"ed1910", "TSpinEdit", "1910", "Интервал выдачи данных", {}, "с"}};
}

std::vector<TAuditControl> PURPT80Controls()
{
    return {{"ch1902", "QCheckBox", "1902", "Фильтровать недостоверные данные"}};
}

// ANSI C1218-21: the quantities 01 to 25, then the energies 33 to 36.
std::vector<TAuditControl> AnsiControls()
{
    std::vector<TAuditControl> controls = MeterControls(
        "21", false, 2101, std::vector<const char*>(kMercuryCaptions.begin(), kMercuryCaptions.begin() + 25));
    const std::vector<TAuditControl> energies = MeterControls(
        "21", false, 2133,
        {"Активная выданная", "Реактивная выданная", "Активная потребленная", "Реактивная потребленная"});
    controls.insert(controls.end(), energies.begin() + 2, energies.end()); // past the period and its unit
    return controls;
}

std::vector<TAuditControl> UTM7Controls()
{
    std::vector<TAuditControl> controls = {
        {"ch2302", "QCheckBox", "2302", "Изменение знака ТИ при приёме и выдачи в канале связи"},
    };
    const char* words[] = {"009", "009", "010", "010", "011", "011", "012"};
    for (int n = 1; n <= 7; ++n) {
        const std::string stem = platform::Format("%s_utm7_%.2d", words[n - 1], n);
        controls.push_back({KeptText("ed" + stem + "_a"), "TSpinEdit", KeptText(stem + "_a"),
                            KeptText(platform::Format("Информационное сообщение %d:    Адрес/Группа", n))});
        controls.push_back({KeptText("rg" + stem + "_t"), "TRadioGroup", KeptText(stem + "_t"), "", kTsTit});
    }
    return controls;
}

std::vector<TAuditControl> MKT1Controls()
{
    return WithWords(
        {
            {"cb2601", "QComboBox", "2601", "Количество слов в цикле", {{"6", 6}, {"11", 11}}},
            {"gbWords", "QGroupBox", nullptr, "Определение информационных слов"},
        },
        10, [](int n) { return platform::Format("26_%.2d", n); });
}

// A relay protection page: the device type with its items, the period, the current,
// voltage and frequency flags, then the page's own controls.
std::vector<TAuditControl> RelayProtectionControls(const Items& types, const std::vector<TAuditControl>& own)
{
    std::vector<TAuditControl> controls = {
        {"cbDevType", "QComboBox", "DevType", "Тип устройства", types},
        {"cbPeriodM", "TSpinEdit", "PeriodM", "Период опроса устройства"},
        {"cbPeriodUM", "QComboBox", "PeriodUM", nullptr, kPeriodUnits},
        {"chIa", "QCheckBox", "ParamIa", "Ia"},
        {"chIb", "QCheckBox", "ParamIb", "Ib"},
        {"chIc", "QCheckBox", "ParamIc", "Ic"},
        {"chUab", "QCheckBox", "ParamUab", "Uab"},
        {"chUbc", "QCheckBox", "ParamUbc", "Ubc"},
        {"chUca", "QCheckBox", "ParamUca", "Uca"},
        {"chFreq", "QCheckBox", "ParamFreq", "Freq"},
    };
    controls.insert(controls.end(), own.begin(), own.end());
    return controls;
}

// With the default type "2Л".
std::vector<TAuditControl> OrionControls()
{
    return RelayProtectionControls({{"2Л", 0}, {"2В", 1}, {"2С", 2}}, {
        {"gbTIT", "QGroupBox", nullptr, "ТИТ"},
        {"chP", "QCheckBox", "ParamP", "P"},
        {"chQ", "QCheckBox", "ParamQ", "Q"},
        {"chS", "QCheckBox", "ParamS", "S"},
        {"chCosf", "QCheckBox", "ParamCosf", "CosF"},
        {"gbTS", "QGroupBox", nullptr, "ТС"},
        {"cbTS_RPO", "QCheckBox", "ParamTS_RPO", "РПО"},
        {"cbTS_RPV", "QCheckBox", "ParamTS_RPV", "РПВ"},
        {"cbTS_SIGN_Disable", "QCheckBox", "ParamTS_SIGN_Disable", "Откл"},
        {"cbTS_SIGN_Enable", "QCheckBox", "ParamTS_SIGN_Enable", "Вкл"},
        {"cbTS_SIG_1MTZ", "QCheckBox", "ParamTS_SIG_1MTZ", "Светодиод15"},
        {"cbTS_SIG_2MTZ", "QCheckBox", "ParamTS_SIG_2MTZ", "Светодиод16"},
        {"cbTS_OZZ_Disable", "QCheckBox", "ParamTS_OZZ_Disable", "Светодиод3"},
        {"cbTS_OZZ_SIGN", "QCheckBox", "ParamTS_OZZ_SIGN", "Светодиод14"},
        {"edVak_TU1_on", "QLineEdit", "VAK_StateTU1_On", "ВАК флаг ТУ1  \"вкл.\""},
        {"edVak_TU1_off", "QLineEdit", "VAK_StateTU1_Off", "ВАК флаг ТУ1  \"откл.\""},
    });
}

// With the default type "2-Л-5A".
std::vector<TAuditControl> SiriusControls()
{
    return RelayProtectionControls(
        {{"2-Л-5A", 0}, {"2-В-5A", 1}, {"2-С-5A", 2}, {"2-Л-БПТ", 3}, {"2-В-БПТ", 4}, {"2-С-БПТ", 5}}, {
        {"cbTS_LedGuard", "QCheckBox", "ParamTS_LedGuard", "Control.LEd1_15"},
        {"cbTS_RPV", "QCheckBox", "ParamTS_RPV", "РПВ"},
        {"cbTS_RPO", "QCheckBox", "ParamTS_RPO", "РПО"},
        {"cbTS_SIG_1MTZ", "QCheckBox", "ParamTS_SIG_1MTZ", "Control.LEd2_8"},
        {"cbTS_SIG_2MTZ", "QCheckBox", "ParamTS_SIG_2MTZ", "Control.LEd2_9"},
        {"cbTS_OZZ", "QCheckBox", "ParamTS_OZZ", "ОЗЗ на откл."},
        {"chTS_SwitchState", "QCheckBox", "ParamTS_SwitchState", "Состояние переключателя"},
    });
}

// ---------------------------------------------------------------------------------
// Fixture

// Types text key by key; letters beyond Latin-1 as keys of unknown code with their text.
void Type(QWidget* widget, const QString& text)
{
    for (const QChar c : text) QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// A protocol page by the protocol index and role of its device, with its object name
// and its audit table.
struct PageCase {
    int index;
    int role;
    const char* page;
    std::vector<TAuditControl> controls;
};

// The real tree with every page the program registers, in a window.
class ProtocolPagesTest : public testsupport::PagesWindow {
protected:
    testsupport::DialogScript dialogs;

    // Case i on slot i: each device page hosts its page, which passes the audit.
    void AuditEach(std::span<const PageCase> cases)
    {
        for (size_t i = 0; i < cases.size(); ++i) UseSlot(Document(), static_cast<int>(i), cases[i].index, 0, cases[i].role);
        doc->RefreshTree();
        for (size_t i = 0; i < cases.size(); ++i) {
            const PageCase& c = cases[i];
            SCOPED_TRACE(c.page);
            TfrDevice* device = SelectDevice(static_cast<int>(i));
            ASSERT_NE(device, nullptr);
            TParamFrame* page = device->ProtocolFrame();
            ASSERT_NE(page, nullptr);
            EXPECT_EQ(page->objectName(), c.page);
            EXPECT_EQ(page->parentWidget(), device->paProtocol);
            EXPECT_TRUE(testsupport::AuditPage(*page, Device(static_cast<int>(i)), c.controls));
        }
    }
};

// ---------------------------------------------------------------------------------
// Tests

TEST_F(ProtocolPagesTest, EveryPageAsDescribed)
{
    const PageCase cases[] = {
        {1, 1, "frPUIEC", PUIECControls()},
        {1, 0, "frKPIEC", KPIECControls()},
        {2, 0, "frKPModbus", ModbusControls()},
        {4, 0, "frKPTM800B", TM800BControls()},
        {5, 0, "frKPKOMPAS", KompasControls()},
        {7, 0, "frKPMercury", MeterControls("07", true, 701, kMercuryCaptions)},
        {10, 0, "frKPMKT2", MKT2Controls()},
        {11, 0, "frKPMKT3", MKT3Controls()},
        {12, 0, "frPUTM120", TM120Controls()},
        {12, 1, "frPUTM120", TM120Controls()},
        {13, 0, "frKPCE304", MeterControls("16", true, 1601, kIec1107Captions)},
        {14, 0, "frKPProton", MeterControls("17", false, 0, {})},
    };
    AuditEach(cases);
}

// The pages of indexes 15 to 27; УТС-8 (20) has none.
TEST_F(ProtocolPagesTest, EveryLaterPageAsDescribed)
{
    const PageCase cases[] = {
        {15, 0, "frKPTM512", TM512Controls()},
        {15, 1, "frPUTM512", TM512Controls()},
        {16, 0, "frKPRPT80", KPRPT80Controls()},
        {16, 1, "frPURPT80", PURPT80Controls()},
        {17, 0, "frKPANSI", AnsiControls()},
        {18, 0, "frKPUTM7", UTM7Controls()},
        {19, 0, "frKPSET", MeterControls("24", true, 2401, kMercuryCaptions)},
        {21, 0, "frKPMKT1", MKT1Controls()},
        {22, 0, "frKPTM500", TM512Controls("Только доп. ТИТ")},
        {22, 1, "frPUTM500", TM512Controls("Только доп. ТИТ", "Экстра флаги в потоке")},
        {23, 0, "frKPMK51", TM512Controls()},
        {23, 1, "frKPMK51", TM512Controls()},
        {24, 0, "frKPMK55", TM512Controls()},
        {25, 0, "frKPTK113Shield", {}},
        {26, 0, "frKPOrion", OrionControls()},
        {27, 0, "frKPSirius_2V", SiriusControls()},
    };
    AuditEach(cases);

    // УТС-8 has no page.
    UseSlot(Document(), 0, 20, 0, 0);
    doc->RefreshTree();
    TfrDevice* device = SelectDevice(0);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->ProtocolFrame(), nullptr);
}

TEST_F(ProtocolPagesTest, DefaultsShown)
{
    UseSlot(Document(), 0, 1, 0, 1); // ПУ МЭК
    UseSlot(Document(), 1, 2, 0, 0); // КП ModBus
    UseSlot(Document(), 2, 7, 0, 0); // КП Меркурий
    UseSlot(Document(), 3, 10, 0, 0); // КП МКТ-2
    doc->RefreshTree();
    auto* iec = ProtocolPage<TfrPUIEC>(0);
    ASSERT_NE(iec, nullptr);
    EXPECT_EQ(iec->cb065->currentText(), "время 7 байт");
    EXPECT_EQ(iec->cb066->currentText(), "float, время 7 байт");
    EXPECT_EQ(iec->cb062->currentText(), "1 байт");
    EXPECT_FALSE(iec->rg013->isVisible());
    EXPECT_TRUE(iec->ch079->isVisible());
    auto* modbus = ProtocolPage<TfrKPModbus>(1);
    ASSERT_NE(modbus, nullptr);
    EXPECT_EQ(modbus->cb0201->currentText(), "ModBus");
    EXPECT_EQ(modbus->cb0209->currentText(), "02 hex");
    EXPECT_EQ(modbus->cb0210->currentText(), "04 hex");
    EXPECT_EQ(modbus->ed0203->value(), 2000);
    auto* mercury = ProtocolPage<TfrKPMercury>(2);
    ASSERT_NE(mercury, nullptr);
    EXPECT_EQ(mercury->PeriodUnit()->currentText(), "мс");
    EXPECT_EQ(mercury->PeriodUnit()->y(), mercury->Period()->y()) << "the unit sits beside the period";
    TfrDevice* mkt2 = SelectDevice(3);
    ASSERT_NE(mkt2, nullptr);
    EXPECT_EQ(mkt2->ProtocolFrame()->findChild<QComboBox*>("cb011_mkt2_01")->currentText(), "31");
}

TEST_F(ProtocolPagesTest, ModbusTUAlgorithmTakesThePlaceOfTheRequestFunctions)
{
    UseSlot(Document(), 0, 2, 0, 0);
    doc->RefreshTree();
    auto* page = ProtocolPage<TfrKPModbus>(0);
    ASSERT_NE(page, nullptr);
    QLabel* lb0208 = page->findChild<QLabel*>("lb0208");
    QLabel* lb0209 = page->findChild<QLabel*>("lb0209");
    QLabel* lb0210 = page->findChild<QLabel*>("lb0210");
    const auto expectShown = [&](bool functions) {
        for (QWidget* w : std::initializer_list<QWidget*>{page->cb0209, lb0209, page->cb0210, lb0210})
            EXPECT_EQ(w->isVisible(), functions) << w->objectName().toStdString();
        EXPECT_EQ(page->cb0208->isVisible(), !functions);
        EXPECT_EQ(lb0208->isVisible(), !functions);
    };
    expectShown(true);
    const int functionsAt = page->cb0209->mapTo(page, QPoint()).y();

    Choose(page->cb0201, "ОВЕН МУ110-16");
    EXPECT_EQ(FieldOf(Device(0), "0201")->GetValue().ToInt32(), 10);
    Idle();
    Process();
    expectShown(false);
    EXPECT_EQ(page->cb0208->mapTo(page, QPoint()).y(), functionsAt);
    EXPECT_EQ(lb0208->x(), lb0209->x()) << "the captions share their column";

    Choose(page->cb0201, "ЭНИП");
    Idle();
    expectShown(true);
}

TEST_F(ProtocolPagesTest, KompasRouteBindsResetsAndRefitsTheDevicePage)
{
    UseSlot(Document(), 0, 5, 0, 0);
    doc->RefreshTree();
    TfrDevice* device = SelectDevice(0);
    ASSERT_NE(device, nullptr);
    auto* page = dynamic_cast<TfrKPKOMPAS*>(device->ProtocolFrame());
    ASSERT_NE(page, nullptr);
    const auto route = [&] { return AreaBytes(Device(0), 14, 6); }; // "0512" .. "0517"
    EXPECT_FALSE(page->gbRoute->isVisible());
    const int hidden = device->height();

    // "ПУ TM1.1": the route with no stations, direction and address on "0513", "0514".
    Choose(page->cb5001, "ПУ TM1.1");
    EXPECT_EQ(FieldOf(Device(0), "5001")->GetValue().ToInt32(), 1);
    EXPECT_EQ(route(), (std::vector<int>{0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(page->gbRoute->isVisible());
    for (TSpinEdit* station : page->edPUNU) EXPECT_FALSE(station->isVisible());
    EXPECT_EQ(page->FieldOf(page->cbDirect), Device(0).FindField("0513"));
    EXPECT_EQ(page->FieldOf(page->edAddrKP), Device(0).FindField("0514"));
    Idle();
    const int shown = device->height();
    EXPECT_GT(shown, hidden) << "the device page takes the route group in";
    EXPECT_EQ(device->paProtocol->height(), page->height());

    // Two stations: their addresses, then the direction and the address.
    Choose(page->cb0512, "2");
    EXPECT_TRUE(page->edPUNU[0]->isVisible());
    EXPECT_TRUE(page->edPUNU[1]->isVisible());
    EXPECT_FALSE(page->edPUNU[2]->isVisible());
    EXPECT_FALSE(page->findChild<QLabel*>("lbPUNU3")->isVisible());
    page->edPUNU[0]->setValue(7);
    page->edPUNU[1]->setValue(200);
    Choose(page->cbDirect, "3");
    page->edAddrKP->setValue(42);
    EXPECT_EQ(route(), (std::vector<int>{2, 7, 200, 3, 42, 0}));
    Idle();
    const int twoStations = device->height();
    EXPECT_GT(twoStations, shown) << "two more station lines";

    // One station: "0514", holding the second station's 200, is now the direction,
    // which no item carries: none is selected and nothing is stored.
    Choose(page->cb0512, "1");
    EXPECT_EQ(page->cbDirect->currentIndex(), -1);
    EXPECT_EQ(page->FieldOf(page->cbDirect), Device(0).FindField("0514"));
    EXPECT_EQ(route(), (std::vector<int>{1, 7, 200, 3, 42, 0}));
    Idle();
    EXPECT_LT(device->height(), twoStations) << "one station line less";
    EXPECT_GT(device->height(), shown);

    // Back to "КП TM1.1": the route goes, reset to its defaults, and the page shrinks.
    Choose(page->cb5001, "КП TM1.1");
    EXPECT_EQ(route(), (std::vector<int>{0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(page->gbRoute->isVisible());
    EXPECT_EQ(page->FieldOf(page->cbDirect), nullptr);
    Idle();
    EXPECT_EQ(device->height(), hidden);

    // A route set behind the page is bound when the page shows its values again: the
    // type combo's change runs the rule.
    FieldOf(Device(0), "5001")->SetValue(int32_t{1});
    FieldOf(Device(0), "0512")->SetValue(int32_t{3});
    doc->Frame()->RefreshAll();
    EXPECT_FALSE(page->gbRoute->isHidden());
    EXPECT_EQ(page->FieldOf(page->edPUNU[2]), Device(0).FindField("0515"));
    EXPECT_EQ(page->FieldOf(page->edAddrKP), Device(0).FindField("0517"));
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(ProtocolPagesTest, KompasRouteAsLoaded)
{
    UseSlot(Document(), 0, 5, 0, 0);
    UseSlot(Document(), 1, 5, 0, 0);
    // A file's route of seven stations binds as three, and stays as it is.
    FieldOf(Device(0), "5001")->SetValue(int32_t{1});
    FieldOf(Device(0), "0512")->SetValue(int32_t{7});
    FieldOf(Device(0), "0516")->SetValue(int32_t{2});
    // Another type resets a stored route when the page shows.
    FieldOf(Device(1), "0513")->SetValue(int32_t{5});
    doc->RefreshTree();
    const std::map<uint32_t, uint8_t> before = testsupport::AddressMap(Document());

    auto* routed = ProtocolPage<TfrKPKOMPAS>(0);
    ASSERT_NE(routed, nullptr);
    EXPECT_EQ(routed->cb0512->currentIndex(), -1);
    for (TSpinEdit* station : routed->edPUNU) EXPECT_TRUE(station->isVisible());
    EXPECT_EQ(routed->FieldOf(routed->cbDirect), Device(0).FindField("0516"));
    EXPECT_EQ(routed->cbDirect->currentText(), "2");
    EXPECT_EQ(testsupport::AddressMap(Document()), before);

    ASSERT_NE(ProtocolPage<TfrKPKOMPAS>(1), nullptr);
    EXPECT_EQ(FieldOf(Device(1), "0513")->GetValue().ToInt32(), 0);
}

TEST_F(ProtocolPagesTest, IecPagesByDocumentAndDevice)
{
    struct Case {
        const char* model;
        int code;
        bool ignoreInvalid;
        bool timeouts;
        bool linkAddress;
        bool syncBound; // Pelvar and Tramel-5141 devices have no "056_2", "079", "iec_dp_ts_asdu"
    };
    const Case cases[] = {
        {"Zumo2", 0, true, false, true, true},
        {"Zumo2 синх", 1, false, false, true, true},
        {"Pelvar-44", 6, false, true, false, false},
        {"Tramel-5141", 7, false, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        std::unique_ptr<TZumo2Doc> document = CreateModelDocument(c.code, c.model);
        UseSlot(*document, 0, 1, 0, 0);
        UseSlot(*document, 1, 1, 0, 1);
        TDevice& kpDevice = *document->DeviceByIndex(0);
        TDevice& puDevice = *document->DeviceByIndex(1);
        std::unique_ptr<TfrKPIEC> kp(MakeFrame<TfrKPIEC>(nullptr, &kpDevice, nullptr));
        std::unique_ptr<TfrPUIEC> pu(MakeFrame<TfrPUIEC>(nullptr, &puDevice, nullptr));
        EXPECT_EQ(!kp->ch0106->isHidden(), c.ignoreInvalid);
        EXPECT_EQ(!pu->ch079->isHidden(), c.ignoreInvalid);
        EXPECT_EQ(!kp->gbTimeouts->isHidden(), c.timeouts);
        EXPECT_EQ(!kp->gbWindow->isHidden(), c.timeouts);
        EXPECT_EQ(kp->cb062->isEnabled(), c.linkAddress);
        EXPECT_EQ(kp->FieldOf(kp->findChild<QWidget*>("ed094")), kpDevice.FindField("094"));
        EXPECT_EQ(pu->FieldOf(pu->seSyncTime) != nullptr, c.syncBound);
        EXPECT_EQ(pu->FieldOf(pu->ch079) != nullptr, c.syncBound);
        EXPECT_EQ(pu->FieldOf(pu->cbTSDP_asdu) != nullptr, c.syncBound);
        EXPECT_TRUE(testsupport::AuditPage(*pu, puDevice, PUIECControls()));
    }
}

TEST_F(ProtocolPagesTest, PelvarLinkAddressStaysGreyedThroughTheWindowLock)
{
    TZumo2Doc& pelvar = UseModel(6);
    UseSlot(pelvar, 0, 1, 0, 0);
    doc->RefreshTree();
    auto* page = ProtocolPage<TfrKPIEC>(0);
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(page->cb062->isEnabled());
    EXPECT_TRUE(page->gbTimeouts->isVisible());
    EnableChildren(window.get(), false);
    EXPECT_FALSE(page->cb061->isEnabled());
    EnableChildren(window.get(), true);
    EXPECT_TRUE(page->cb061->isEnabled());
    EXPECT_FALSE(page->cb062->isEnabled());
    doc->ReleaseDocument();
}

TEST_F(ProtocolPagesTest, VetoedSyncPeriodIsRestoredSilently)
{
    UseSlot(Document(), 0, 1, 0, 1);
    doc->RefreshTree();
    auto* page = ProtocolPage<TfrPUIEC>(0);
    ASSERT_NE(page, nullptr);
    TSpinEdit* spin = page->seSyncTime;
    EXPECT_EQ(spin->maximum(), 255) << "the field's limits";
    const auto type = [&](const char* text) {
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, text);
        QTest::keyClick(spin, Qt::Key_Return);
    };
    type("60");
    EXPECT_EQ(FieldOf(Device(0), "056_2")->GetValue().ToInt32(), 0);
    EXPECT_EQ(spin->value(), 0);
    type("59");
    EXPECT_EQ(FieldOf(Device(0), "056_2")->GetValue().ToInt32(), 59);
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(ProtocolPagesTest, MeterPasswordKeepsEightCharactersInWindows1251)
{
    UseSlot(Document(), 0, 7, 0, 0);
    doc->RefreshTree();
    auto* page = ProtocolPage<TfrKPMercury>(0);
    ASSERT_NE(page, nullptr);
    QLineEdit* password = page->Password();
    ASSERT_NE(password, nullptr);
    password->setFocus();
    Type(password, "ПарольЯё");
    EXPECT_EQ(AreaBytes(Device(0), 18, 8), (std::vector<int>{0xCF, 0xE0, 0xF0, 0xEE, 0xEB, 0xFC, 0xDF, 0xB8}));
    EXPECT_EQ(FieldOf(Device(0), "07pass")->GetValue().ToString(), "ПарольЯё");
    Type(password, "ж");
    EXPECT_EQ(password->text(), "ПарольЯё");
    EXPECT_EQ(AreaBytes(Device(0), 18, 8), (std::vector<int>{0xCF, 0xE0, 0xF0, 0xEE, 0xEB, 0xFC, 0xDF, 0xB8}));

    // A quantity's box sets its bit: "Ia" is bit 7 of area byte 11.
    page->findChild<QCheckBox*>("ch0716")->setChecked(true);
    EXPECT_EQ(AreaBytes(Device(0), 11, 1), std::vector<int>{0x80});
}

TEST_F(ProtocolPagesTest, TM120ServiceAddressInBothRoles)
{
    for (int role : {0, 1}) {
        SCOPED_TRACE(role);
        UseSlot(Document(), role, 12, 0, role);
        FieldOf(Device(role), "AdrServiceCmdTM120")->SetValue(int32_t{0x8B});
        doc->RefreshTree();
        const std::map<uint32_t, uint8_t> before = testsupport::AddressMap(Document());
        auto* page = ProtocolPage<TFrPUTM120>(role);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->seServiceBlock->value(), 2);
        EXPECT_EQ(page->seServiceGroup->value(), 2);
        EXPECT_EQ(page->seServiceObject->value(), 4);
        EXPECT_EQ(testsupport::AddressMap(Document()), before);
        EXPECT_FALSE(page->seAFBServTU->isEnabled());

        page->seServiceGroup->setValue(3);
        EXPECT_EQ(AreaBytes(Device(role), 1, 1), std::vector<int>{0x93});
        page->seServiceBlock->setValue(1);
        EXPECT_EQ(AreaBytes(Device(role), 1, 1), std::vector<int>{0x13});

        // Changed behind the page (the device reset to its defaults): shown again.
        Device(role).ResetDefaults();
        UseSlot(Document(), role, 12, 0, role);
        doc->Frame()->RefreshAll();
        EXPECT_EQ(page->seServiceGroup->value(), 1);
        EXPECT_EQ(page->seServiceObject->value(), 1);
        EXPECT_EQ(AreaBytes(Device(role), 1, 1), std::vector<int>{0});
    }
    EXPECT_TRUE(dialogs->Records().empty());
}

// Fault: a device whose stored protocol has no block in it would host a page whose
// controls bind nothing, edits that look accepted and are never stored.
TEST_F(ProtocolPagesTest, NoProtocolPageOverABlockTheDeviceLacks)
{
    int made = 0;
    RegisterProtocolPage(registry, TProtocolPage::KPSiemensSymap, [&made](QTreeWidget* tree, TDevice* device,
                                                                               QWidget* host) -> TParamFrame* {
        ++made;
        return MakeFrame<TfrKPMKT3>(tree, device, host);
    });
    UseSlot(Document(), 0, 28, 0, 0); // code 35: the base device has no room for the block
    ASSERT_EQ(Device(0).ProtocolField()->GetValue().ToInt32(), 35);
    doc->RefreshTree();
    const std::map<uint32_t, uint8_t> before = testsupport::AddressMap(Document());
    TfrDevice* page = SelectDevice(0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->ProtocolFrame(), nullptr);
    EXPECT_EQ(page->paProtocol->height(), 0);
    EXPECT_NE(page->RoleFrame(), nullptr);
    EXPECT_EQ(made, 0);
    EXPECT_EQ(testsupport::AddressMap(Document()), before);

    // A Pelvar device holds no ТМ 120 block: its registered page is not hosted either.
    TZumo2Doc& pelvar = UseModel(6);
    UseSlot(pelvar, 0, 12, 0, 0);
    doc->RefreshTree();
    auto* pelvarPage = Select<TFamilyDevicePage>(DevNode(0));
    ASSERT_NE(pelvarPage, nullptr);
    EXPECT_EQ(pelvarPage->ProtocolFrame(), nullptr);
    doc->ReleaseDocument();
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(ProtocolPagesTest, ValuesSurviveSaveAndReopen)
{
    UseSlot(Document(), 0, 7, 0, 0);
    UseSlot(Document(), 1, 5, 0, 0);
    UseSlot(Document(), 2, 12, 0, 1);
    doc->RefreshTree();
    auto* meter = ProtocolPage<TfrKPMercury>(0);
    ASSERT_NE(meter, nullptr);
    meter->Password()->setText("Ключ");
    Choose(meter->PeriodUnit(), "мин");
    auto* kompas = ProtocolPage<TfrKPKOMPAS>(1);
    ASSERT_NE(kompas, nullptr);
    Choose(kompas->cb5001, "ПУ TM1.1");
    Choose(kompas->cb0512, "1");
    kompas->edPUNU[0]->setValue(9);
    auto* tm120 = ProtocolPage<TFrPUTM120>(2);
    ASSERT_NE(tm120, nullptr);
    tm120->seServiceObject->setValue(5);

    testsupport::TempDir dir;
    Document().SaveToFile(dir / "saved.hex");
    kept = MakeZumo2Doc();
    TZumo2Doc* reopened = kept.get();
    EXPECT_TRUE(testsupport::QuestionsOfLoading(*reopened, dir / "saved.hex").empty());
    EXPECT_EQ(FieldOf(*reopened->DeviceByIndex(0), "07pass")->GetValue().ToString(), "Ключ");
    EXPECT_EQ(FieldOf(*reopened->DeviceByIndex(0), "07007")->GetValue().ToInt32(), 2);
    EXPECT_EQ(AreaBytes(*reopened->DeviceByIndex(1), 14, 3), (std::vector<int>{1, 9, 0}));
    EXPECT_EQ(FieldOf(*reopened->DeviceByIndex(2), "AdrServiceCmdTM120")->GetValue().ToInt32(), 4);

    // And the pages show them.
    doc->AttachDocument(reopened, 0);
    doc->RefreshTree();
    meter = ProtocolPage<TfrKPMercury>(0);
    ASSERT_NE(meter, nullptr);
    EXPECT_EQ(meter->Password()->text(), "Ключ");
    kompas = ProtocolPage<TfrKPKOMPAS>(1);
    ASSERT_NE(kompas, nullptr);
    EXPECT_EQ(kompas->edPUNU[0]->value(), 9);
    doc->ReleaseDocument();
}

TEST_F(ProtocolPagesTest, MKT1WordsFollowTheCountAndTheDevicePageFits)
{
    UseSlot(Document(), 0, 21, 0, 0);
    doc->RefreshTree();
    TfrDevice* device = SelectDevice(0);
    ASSERT_NE(device, nullptr);
    auto* page = dynamic_cast<TfrKPMKT1*>(device->ProtocolFrame());
    ASSERT_NE(page, nullptr);
    const auto shownWords = [&] {
        std::vector<int> shown;
        for (int n = 1; n <= MKT1Words; ++n)
            if (page->rgWords[static_cast<size_t>(n - 1)]->isVisible()) shown.push_back(n);
        return shown;
    };
    const std::vector<int> all = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const std::vector<int> five = {1, 2, 3, 4, 5};
    EXPECT_EQ(page->cb2601->currentText(), "11");
    EXPECT_EQ(shownWords(), all);
    const int eleven = device->height();

    Choose(page->cb2601, "6");
    EXPECT_EQ(AreaBytes(Device(0), 10, 1), std::vector<int>{6});
    Idle();
    EXPECT_EQ(shownWords(), five);
    EXPECT_LT(device->height(), eleven) << "the device page gives the hidden words' line back";
    EXPECT_EQ(device->paProtocol->height(), page->height());

    Choose(page->cb2601, "11");
    Idle();
    EXPECT_EQ(shownWords(), all);
    EXPECT_EQ(device->height(), eleven);

    // A count the items lack, from a file: no item, and the words 6 to 10 hidden.
    FieldOf(Device(0), "2601")->SetValue(int32_t{5});
    doc->Frame()->RefreshAll();
    Idle();
    EXPECT_EQ(page->cb2601->currentIndex(), -1);
    EXPECT_EQ(shownWords(), five);
    EXPECT_EQ(AreaBytes(Device(0), 10, 1), std::vector<int>{5});
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(ProtocolPagesTest, OrionCaptionsFollowTheTypeAndVakEditsTakeDigitsOnly)
{
    UseSlot(Document(), 0, 26, 0, 0);
    doc->RefreshTree();
    auto* page = ProtocolPage<TFrKPOrion>(0);
    ASSERT_NE(page, nullptr);
    const auto captions = [&] {
        std::vector<std::string> texts;
        for (QCheckBox* box : {page->cbTS_SIG_1MTZ, page->cbTS_SIG_2MTZ, page->cbTS_OZZ_Disable, page->cbTS_OZZ_SIGN})
            texts.push_back(box->text().toStdString());
        return texts;
    };
    EXPECT_EQ(page->cbDevType->currentText(), "2Л");
    EXPECT_EQ(captions(), (std::vector<std::string>{"Светодиод15", "Светодиод16", "Светодиод3", "Светодиод14"}));
    for (QCheckBox* box : page->findChildren<QCheckBox*>()) EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();

    Choose(page->cbDevType, "2В");
    EXPECT_EQ(FieldOf(Device(0), "DevType")->GetValue().ToInt32(), 1);
    EXPECT_EQ(captions(), (std::vector<std::string>{"Сраб. 1ст. МТЗ", "Сраб. 2ст. МТЗ", "ОЗЗ на откл.", "ОЗЗ на сигн."}));
    Choose(page->cbDevType, "2Л");
    EXPECT_EQ(captions()[0], "Светодиод15");

    // The keypad's codes as characters are letters: refused, typed or pasted.
    QLineEdit* on = page->edVak_TU1_on;
    on->setFocus();
    on->selectAll();
    QTest::keyClicks(on, "a`7");
    EXPECT_EQ(on->text(), "7");
    EXPECT_EQ(FieldOf(Device(0), "VAK_StateTU1_On")->GetValue().ToInt32(), 7);
    EXPECT_EQ(AreaBytes(Device(0), 12, 2), (std::vector<int>{7, 0}));
    Type(on, "Ж");
    QGuiApplication::clipboard()->setText("1a");
    on->selectAll();
    on->paste();
    EXPECT_EQ(on->text(), "7");
    QGuiApplication::clipboard()->setText("258");
    on->selectAll();
    on->paste();
    EXPECT_EQ(AreaBytes(Device(0), 12, 2), (std::vector<int>{2, 1}));
    QTest::keyClick(on, Qt::Key_Backspace);
    EXPECT_EQ(on->text(), "25");
    EXPECT_EQ(FieldOf(Device(0), "VAK_StateTU1_On")->GetValue().ToInt32(), 25);
    EXPECT_TRUE(dialogs->Records().empty());

    // An emptied edit is no number: the store reports it and the field keeps its value.
    dialogs->PushAnswer(platform::MsgResult::OK);
    on->selectAll();
    QTest::keyClick(on, Qt::Key_Backspace);
    EXPECT_EQ(on->text(), "");
    ASSERT_EQ(dialogs->Records().size(), 1u);
    EXPECT_NE(dialogs->Records()[0].box.text.find("Could not convert"), std::string::npos)
        << dialogs->Records()[0].box.text;
    EXPECT_EQ(FieldOf(Device(0), "VAK_StateTU1_On")->GetValue().ToInt32(), 25);
}

TEST_F(ProtocolPagesTest, SiriusTypeRuleUnticksHidesAndCaptions)
{
    UseSlot(Document(), 0, 27, 0, 0);
    UseSlot(Document(), 1, 27, 0, 0);
    UseSlot(Document(), 2, 27, 0, 0);
    FieldOf(Device(0), "DevType")->SetValue(int32_t{1}); // "2-В-5A", every flag set by default
    FieldOf(Device(2), "DevType")->SetValue(int32_t{7}); // from a file: no item
    doc->RefreshTree();
    ASSERT_EQ(AreaBytes(Device(0), 9, 2), (std::vector<int>{0xFF, 0x3F}));

    auto* page = ProtocolPage<TFrKPSirius_2V>(0);
    ASSERT_NE(page, nullptr);
    const std::vector<QCheckBox*> voltage = {page->chUab, page->chUbc, page->chUca, page->chFreq, page->cbTS_OZZ};
    const auto expectVoltage = [&](bool shown, bool ticked) {
        for (QCheckBox* box : voltage) {
            EXPECT_EQ(box->isVisible(), shown) << box->objectName().toStdString();
            EXPECT_EQ(box->isChecked(), ticked) << box->objectName().toStdString();
        }
    };
    const auto captions = [&] {
        return std::vector<std::string>{page->cbTS_LedGuard->text().toStdString(),
                                        page->cbTS_SIG_1MTZ->text().toStdString(),
                                        page->cbTS_SIG_2MTZ->text().toStdString()};
    };
    expectVoltage(true, true);
    EXPECT_EQ(captions(), (std::vector<std::string>{"Led Сраб. защиты", "Сраб. 1ст. МТЗ", "Сраб. 2ст. МТЗ"}));
    EXPECT_EQ(page->cbTS_RPV->text(), "РПВ");
    EXPECT_EQ(page->cbTS_RPO->text(), "РПО");

    Choose(page->cbDevType, "2-Л-БПТ");
    expectVoltage(false, false);
    EXPECT_EQ(AreaBytes(Device(0), 9, 2), (std::vector<int>{0x87, 0x2F}));
    EXPECT_EQ(page->cbTS_LedGuard->text(), "Control.LEd1_15");

    Choose(page->cbDevType, "2-В-БПТ");
    expectVoltage(true, false);
    EXPECT_EQ(captions(), (std::vector<std::string>{"Control.LEd1_15", "Control.LEd2_8", "Control.LEd2_9"}));
    EXPECT_EQ(AreaBytes(Device(0), 0, 1), std::vector<int>{4});

    // A type-0 device with every flag set: showing its page clears the five.
    ASSERT_EQ(AreaBytes(Device(1), 9, 2), (std::vector<int>{0xFF, 0x3F}));
    page = ProtocolPage<TFrKPSirius_2V>(1);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(AreaBytes(Device(1), 9, 2), (std::vector<int>{0x87, 0x2F}));

    // A type the list lacks: no item, the five hidden and kept, the captions as built.
    page = ProtocolPage<TFrKPSirius_2V>(2);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->cbDevType->currentIndex(), -1);
    EXPECT_FALSE(page->chUab->isVisible());
    EXPECT_TRUE(page->chUab->isChecked());
    EXPECT_EQ(AreaBytes(Device(2), 9, 2), (std::vector<int>{0xFF, 0x3F}));
    EXPECT_EQ(page->cbTS_LedGuard->text(), "Led Сраб. защиты");
    EXPECT_TRUE(dialogs->Records().empty());
}

// СЭТ-4ТМ reads the line voltages on a Zumo 7 document, the phase voltages elsewhere.
TEST_F(ProtocolPagesTest, SETVoltageCaptionsByDocument)
{
    const auto voltages = [](const TParamFrame* page) {
        std::vector<std::string> texts;
        for (const char* name : {"ch2413", "ch2414", "ch2415"})
            texts.push_back(page->findChild<QCheckBox*>(name)->text().toStdString());
        return texts;
    };
    UseSlot(Document(), 0, 19, 0, 0);
    doc->RefreshTree();
    auto* base = ProtocolPage<TfrKPSET>(0);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(voltages(base), (std::vector<std::string>{"Ua", "Ub", "Uc"}));

    auto& zumo7 = dynamic_cast<TZumo7Doc&>(UseModel(3));
    zumo7.SetBoardSignature(10);
    UseSlot(zumo7, 0, 19, 0, 0);
    doc->RefreshTree();
    auto* page = ProtocolPage<TfrKPSET>(0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(voltages(page), (std::vector<std::string>{"Uab", "Ubc", "Uca"}));
    EXPECT_TRUE(testsupport::AuditPage(*page, Device(0), [] {
        std::vector<const char*> captions = kMercuryCaptions;
        captions[12] = "Uab";
        captions[13] = "Ubc";
        captions[14] = "Uca";
        return MeterControls("24", true, 2401, captions);
    }()));
    doc->ReleaseDocument();
}

TEST_F(ProtocolPagesTest, TM512FamilyVariantsAndEmptyPages)
{
    UseSlot(Document(), 0, 15, 0, 0); // КП ТМ 512
    UseSlot(Document(), 1, 22, 0, 0); // КП ТМ 500
    UseSlot(Document(), 2, 22, 0, 1); // ПУ ТМ 500
    UseSlot(Document(), 3, 23, 0, 0); // КП МК 51
    UseSlot(Document(), 4, 23, 0, 1); // ПУ МК 51
    UseSlot(Document(), 5, 25, 0, 0); // ТК113 Щит
    doc->RefreshTree();
    const auto shown = [](const TfrTM512Family* page) {
        std::vector<std::string> texts;
        for (QCheckBox* box : {page->ch1802, page->ch1803, page->ch1804, page->ch1805})
            if (box->isVisible()) texts.push_back(box->text().toStdString());
        return texts;
    };
    TfrDevice* device = SelectDevice(0);
    ASSERT_NE(device, nullptr);
    auto* tm512 = dynamic_cast<TfrKPTM512*>(device->ProtocolFrame());
    ASSERT_NE(tm512, nullptr);
    EXPECT_EQ(shown(tm512), (std::vector<std::string>{"Контрольное число ТИТ", "16-бит ТИТ",
                                                      "Обратный порядок ТС в байте", "Инверсия ТС"}));
    const int withGroup = device->paProtocol->height();

    auto* kp500 = ProtocolPage<TfrKPTM500>(1);
    ASSERT_NE(kp500, nullptr);
    EXPECT_EQ(shown(kp500), (std::vector<std::string>{"Только доп. ТИТ", "Обратный порядок ТС в байте", "Инверсия ТС"}));
    kp500->ch1805->setChecked(true);
    kp500->ch1802->setChecked(true);
    EXPECT_EQ(AreaBytes(Device(1), 0, 2), (std::vector<int>{0, 0x09}));
    auto* pu500 = ProtocolPage<TfrPUTM500>(2);
    ASSERT_NE(pu500, nullptr);
    EXPECT_EQ(shown(pu500), (std::vector<std::string>{"Только доп. ТИТ", "Экстра флаги в потоке",
                                                      "Обратный порядок ТС в байте", "Инверсия ТС"}));

    // МК 51 in both roles and ТК113 Щит: nothing to edit, and the device page fits the
    // empty page.
    for (int slot : {3, 4, 5}) {
        SCOPED_TRACE(slot);
        device = SelectDevice(slot);
        ASSERT_NE(device, nullptr);
        TParamFrame* page = device->ProtocolFrame();
        ASSERT_NE(page, nullptr);
        if (auto* mk51 = dynamic_cast<TfrKPMK51*>(page)) EXPECT_FALSE(mk51->gbTM512->isVisible());
        else EXPECT_NE(dynamic_cast<TfrKPTK113Shield*>(page), nullptr);
        for (const QWidget* w : page->findChildren<QWidget*>()) EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
        EXPECT_EQ(device->paProtocol->height(), page->height());
        EXPECT_LT(device->paProtocol->height(), withGroup / 4);
    }
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(ProtocolPagesTest, UTM7MessageKindAndAddress)
{
    UseSlot(Document(), 0, 18, 0, 0);
    doc->RefreshTree();
    auto* page = ProtocolPage<TfrKPUTM7>(0);
    ASSERT_NE(page, nullptr);
    TRadioGroup* kind = page->rgKind[4]; // message 5, area byte 10
    TSpinEdit* address = page->edAddress[4];
    EXPECT_EQ(kind->ItemIndex(), 0);
    kind->Button(1)->click();
    EXPECT_EQ(AreaBytes(Device(0), 10, 1), std::vector<int>{0x80});
    EXPECT_EQ(address->minimum(), 0);
    EXPECT_EQ(address->maximum(), 7) << "the field's three bits";
    address->setValue(5);
    EXPECT_EQ(AreaBytes(Device(0), 10, 1), std::vector<int>{0x85});
    page->edAddress[6]->setValue(7); // message 7, area byte 12
    EXPECT_EQ(AreaBytes(Device(0), 6, 8), (std::vector<int>{0, 0, 0, 0, 0x85, 0, 7, 0}));
    EXPECT_TRUE(dialogs->Records().empty());
}

} // namespace
