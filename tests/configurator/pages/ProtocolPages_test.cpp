#include "configurator/pages/DocumentPages.h"
#include "configurator/pages/FDevice.h"
#include "configurator/pages/FamilyDevicePage.h"
#include "configurator/pages/FKPIEC.h"
#include "configurator/pages/FKPKOMPAS.h"
#include "configurator/pages/FKPMKT3.h"
#include "configurator/pages/FKPMeters.h"
#include "configurator/pages/FKPModbus.h"
#include "configurator/pages/FPUIEC.h"
#include "configurator/pages/FPUTM120.h"
#include "configurator/tree/ModelFactory.h"
#include "configurator/widgets/ParamControls.h"
#include "configurator/widgets/WinUtils.h"
#include "model/Mirvak_const.h"
#include "platform/CodePages.h"
#include "platform/Format.h"
#include "tests/support/DialogScript.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/PageAudit.h"
#include "tests/support/PagesWindow.h"
#include "tests/support/TempDir.h"
#include "tests/support/TreeFixtures.h"
#include "tests/support/TreeViewFixture.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

namespace {

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
        {"gbTimeouts", "QGroupBox", nullptr, "Таймауты"},
        {"ed090", "TSpinEdit", "090", "T0", {}, "с"},
        {"ed091", "TSpinEdit", "091", "T1", {}, "с"},
        {"ed092", "TSpinEdit", "092", "T2", {}, "с"},
        {"ed093", "TSpinEdit", "093", "T3", {}, "с"},
        {"gbWindow", "QGroupBox", nullptr, "Размеры окна"},
        {"ed094", "TSpinEdit", "094", "К"},
        {"ed095", "TSpinEdit", "095", "W"},
        {"ed0104", "TSpinEdit", "0104", "Таймаут операции ТУ", {}, "с"},
        {"ed0107", "TSpinEdit", "0107", "Цикл опроса", {}, "мс"},
        {"ed0108", "TSpinEdit", "0108", "Период полного опроса", {}, "с"},
        {"gbGroupPoll", "QGroupBox", nullptr, "Групповой опрос, с "},
        {"ch0102", "QCheckBox", "0102", "Установка времени"},
        {"ch0103", "QCheckBox", "0103", "Ретрансляция полного/группового опроса"},
        {"ch0105", "QCheckBox", "0105", "Двухступенчатая команда ТУ"},
        {"ch0106", "QCheckBox", "0106", "Игнорировать данные в состоянии IV "},
        {"seMaxFrameSize", "TSpinEdit", "101", "Макс. размер кадра", {}, "байт"},
        {"cbBroadCastSetTime", "QCheckBox", "051", "Поддержка широковещательных команд"},
        {"cbChannCheckBS", "QCheckBox", "052", "Разовая проверка перед началом передачи"},
        {"cbBalanceMode", "QCheckBox", "053", "Балансный режим"},
    };
    static const std::vector<std::string> names = [] {
        std::vector<std::string> made;
        for (int n = 1; n <= 16; ++n) {
            made.push_back(platform::Format("ed%.4d", 108 + n));
            made.push_back(platform::Format("%.4d", 108 + n));
            made.push_back(std::to_string(n));
        }
        return made;
    }();
    for (size_t i = 0; i < names.size(); i += 3)
        controls.push_back({names[i].c_str(), "TSpinEdit", names[i + 1].c_str(), names[i + 2].c_str()});
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

std::vector<TAuditControl> MKT2Controls()
{
    std::vector<TAuditControl> controls = {
        {"cb011_mkt2_01", "QComboBox", "011_mkt2_01", "Количество слов в цикле", {{"11", 11}, {"21", 21}, {"31", 31}}},
        {"gbMask", "QGroupBox", nullptr, "Маска каналов"},
    };
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> made;
        for (int n = 1; n <= 30; ++n) {
            const std::string key = platform::Format(n <= 16 ? "009_mkt2_%.2d" : "010_mkt2_%.2d", n);
            made.push_back("rg" + key);
            made.push_back(key);
            made.push_back((n < 10 ? " " : "") + std::to_string(n));
        }
        return made;
    }();
    for (size_t i = 0; i < texts.size(); i += 3)
        controls.push_back({texts[i].c_str(), "TRadioGroup", texts[i + 1].c_str(), texts[i + 2].c_str(), kTsTit});
    return controls;
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

// ---------------------------------------------------------------------------------
// Fixture

// The bytes of a device's protocol area, from its first byte on.
std::vector<int> AreaBytes(const TDevice& device, int first, int count)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    device.ReadBytes(device.ProtocolAreaOffset() + first, bytes.data(), bytes.size());
    return {bytes.begin(), bytes.end()};
}

TField* FieldOf(const TFieldLst& list, const char* key)
{
    auto* field = dynamic_cast<TField*>(list.FindField(key));
    EXPECT_NE(field, nullptr) << key;
    return field;
}

// Types text key by key; letters beyond Latin-1 as keys of unknown code with their text.
void Type(QWidget* widget, const QString& text)
{
    for (const QChar c : text) QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void Choose(QComboBox* combo, const char* text)
{
    const int index = combo->findText(QString::fromUtf8(text));
    ASSERT_GE(index, 0) << text;
    combo->setCurrentIndex(index);
}

// The real tree with every page the program registers, in a window.
class ProtocolPagesTest : public testsupport::PagesWindow {
protected:
    testsupport::DialogScript dialogs;

    TDevice& Device(int slot) { return *Document().DeviceByIndex(slot); }

    // The protocol page the device page of a slot hosts (the common one or a family's),
    // as class F.
    template <class F>
    F* ProtocolPage(int slot)
    {
        QWidget* page = SelectNode(DevNode(slot));
        if (auto* common = dynamic_cast<TfrDevice*>(page)) return dynamic_cast<F*>(common->ProtocolFrame());
        if (auto* family = dynamic_cast<TFamilyDevicePage*>(page)) return dynamic_cast<F*>(family->ProtocolFrame());
        return nullptr;
    }
    // The idle cycle of the main window.
    void Idle() { doc->UpdateFrameControls(); }
};

// ---------------------------------------------------------------------------------
// Tests

TEST_F(ProtocolPagesTest, EveryPageAsDescribed)
{
    struct Case {
        int index;
        int role;
        const char* page;
        std::vector<TAuditControl> controls;
    };
    const Case cases[] = {
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
    for (size_t i = 0; i < std::size(cases); ++i) UseSlot(Document(), static_cast<int>(i), cases[i].index, 0, cases[i].role);
    doc->RefreshTree();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
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

} // namespace
