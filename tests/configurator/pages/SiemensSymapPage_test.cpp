#include "configurator/pages/FDevice.h"
#include "configurator/pages/FKPSiemensSymap.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uDevProtocols.h"
#include "model/uZumo2_Siemens.h"
#include "platform/Format.h"
#include "platform/qt/WinUtils.h"
#include "tests/support/DialogScript.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/PageAudit.h"
#include "tests/support/PagesWindow.h"
#include "tests/support/TempDir.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QTabWidget>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::Choose;
using testsupport::TAuditControl;
using Items = std::vector<std::pair<const char*, int>>;

// ---------------------------------------------------------------------------------
// The page as its description gives it

struct Tab {
    const char* caption;
    const char* address;
    const char* checkStem;
    const char* keyStem;
    const char* captionStem; // none: the captions of the first page
};

const Tab kTabs[16] = {
    {"I_Symap", "seInputsRegAddr", "cbInput", "SymapInput", nullptr},
    {"Q_Symap", "seOutputsRegAddr", "cbOutput", "SymapOutput", "DP_MD5 "},
    {"Ext_IO_IW1", "seExt_IOIW1RegAddr", "cbExtBoardDI_Word1_", "DP_MD5_DI_ExtBoard_WORD1_", "DP_MD5 "},
    {"Ext_IO_IW2", "seExt_IOIW2RegAddr", "cbExtBoardDI_Word2_", "DP_MD5_DI_ExtBoard_WORD2_", "DP_MD5 "},
    {"Ext_IO_IW3", "seExt_IOIW3RegAddr", "cbExtBoardDI_Word3_", "DP_MD5_DI_ExtBoard_WORD3_", "DP_MD5 "},
    {"Ext_IO_QW1", "seExtBoardDQW1RegAddr", "cbExtBoardDQ_Word1_", "DP_MD5_DQ_ExtBoard_WORD1_", "DP_MD5 "},
    {"Ext_IO_QW2", "seExtBoardDQW2RegAddr", "cbExtBoardDQ_Word2_", "DP_MD5_DQ_ExtBoard_WORD2_", "DP_MD5 "},
    {"DP_MD25 alarm status1", "seSymapAlarm1_StatusRegAddr", "cbAlarm1_Status_", "DP_MD25_Alarm1_Status_", "DP_MD25 "},
    {"DP_MD25 alarm status2", "seSymapAlarm2_StatusRegAddr", "cbAlarm2_Status_", "DP_MD25_Alarm2_Status_", "DP_MD25 "},
    {"DP_MD25 alarm status3", "seSymapAlarm3_StatusRegAddr", "cbAlarm3_Status_", "DP_MD25_Alarm3_Status_", "DP_MD25 "},
    {"DP_MD25 alarm status4", "seSymapAlarm4_StatusRegAddr", "cbAlarm4_Status_", "DP_MD25_Alarm4_Status_", "DP_MD25 "},
    {"DP_MD25 alarm status5", "seSymapAlarm5_StatusRegAddr", "cbAlarm5_Status_", "DP_MD25_Alarm5_Status_", "DP_MD25 "},
    {"Event_W1", "sePLC_Event_W1RegAddr", "cbPLC_Event_W1_", "PLC_Event_W1_", "Event "},
    {"Alarm_W1", "sePLC_Alarm_W1RegAddr", "cbPLC_Alarm_W1_", "PLC_Alarm_W1_", "Alarm "},
    {"Alarm_W2", "sePLC_Alarm_W2RegAddr", "cbPLC_Alarm_W2_", "PLC_Alarm_W2_", "Alarm "},
    {"Alarm_W3", "sePLC_Alarm_W3RegAddr", "cbPLC_Alarm_W3_", "PLC_Alarm_W3_", "Alarm "},
};

const char* const kInputCaptions[16] = {
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

// The page's controls with descriptor i selected; the texts they point to are kept in
// texts.
std::vector<TAuditControl> SymapControls(const TDevProtocolSiemensSymap& block, int i, std::deque<std::string>& texts)
{
    const auto keep = [&](std::string text) { return texts.emplace_back(std::move(text)).c_str(); };
    const TFieldLst* descriptor = block.RegisterByIndex(i);
    std::vector<TAuditControl> controls = {
        {"cbDevType", "QComboBox", "DevType", "Тип устройства",
         {{"Symap_DES_DG", 6}, {"Symap_DES_RU", 7}, {"Symap_MGS", 8}, {"PLC", 9}}, nullptr, descriptor},
        {"cbPeriodM", "TSpinEdit", "PeriodM", "Период опроса устройства"},
        {"cbPeriodUM", "QComboBox", "PeriodUM", nullptr, {{"мс", 0}, {"сек", 1}, {"мин", 2}, {"час", 3}}},
        {"lbSRegisters", "QListWidget", nullptr, "Устройства"},
        {"cbRegisterEnabled", "QCheckBox", keep(platform::Format("SRegisterEnabled%.2d", i)), "Активно"},
        {"pcChannls", "QTabWidget", nullptr},
    };
    for (int p = 0; p < 16; ++p) {
        const Tab& tab = kTabs[p];
        controls.push_back({tab.address, "TSpinEdit", keep(platform::Format("SRegAddr%.2d", p)), "Рег. адр.", {},
                            nullptr, descriptor});
        for (int b = 0; b < 16; ++b) {
            const std::string digits = platform::Format("%.2d", b);
            controls.push_back({keep(tab.checkStem + digits), "QCheckBox", keep(tab.keyStem + digits),
                                tab.captionStem ? keep(tab.captionStem + digits) : kInputCaptions[b], {}, nullptr,
                                descriptor});
        }
    }
    return controls;
}

// ---------------------------------------------------------------------------------
// Fixture

// The visible tab pages by number.
std::vector<int> VisibleTabs(const QTabWidget& tabs)
{
    std::vector<int> shown;
    for (int p = 0; p < tabs.count(); ++p)
        if (tabs.isTabVisible(p)) shown.push_back(p);
    return shown;
}

std::vector<int> Range(int first, int last)
{
    std::vector<int> made;
    for (int p = first; p <= last; ++p) made.push_back(p);
    return made;
}

// A "Zumo2 Siemens" document in the real tree, its first device a КП on Siemens Symap.
class SymapPageTest : public testsupport::PagesWindow {
protected:
    testsupport::DialogScript dialogs;
    TZumo2SiemensDoc* siemens = nullptr;

    void SetUp() override
    {
        PagesWindow::SetUp();
        siemens = dynamic_cast<TZumo2SiemensDoc*>(&UseModel(17));
        ASSERT_NE(siemens, nullptr);
        testsupport::UseSlot(*siemens, 0, 28, 0, 0);
        doc->RefreshTree();
    }
    TDevice& Device() { return *siemens->DeviceByIndex(0); }
    TDevProtocolSiemensSymap& Block() { return *dynamic_cast<TDevProtocolSiemensSymap*>(Device().ActiveProtocol()); }
    TField* DescriptorField(int i, const char* key)
    {
        auto* field = dynamic_cast<TField*>(Block().RegisterByIndex(i)->FindField(key));
        EXPECT_NE(field, nullptr) << key;
        return field;
    }
    // The bytes of descriptor i from its byte `first` on.
    std::vector<int> DescriptorBytes(int i, int first, int count)
    {
        const TSiemensRegister& descriptor = *Block().RegisterByIndex(i);
        std::vector<uint8_t> bytes(static_cast<size_t>(count));
        descriptor.ReadBytes(descriptor.NodeOffset() + first, bytes.data(), bytes.size());
        return {bytes.begin(), bytes.end()};
    }
    // The enable word of the block, area bytes 9 and 10.
    int EnableWord()
    {
        uint8_t bytes[2] = {};
        Device().ReadBytes(Device().ProtocolAreaOffset() + 9, bytes, 2);
        return bytes[0] | bytes[1] << 8;
    }
    TFrKPSiemensSymap* Page()
    {
        TfrDevice* device = SelectDevice(0);
        return device ? dynamic_cast<TFrKPSiemensSymap*>(device->ProtocolFrame()) : nullptr;
    }
};

// The darkest pixel of a line of the list as painted: its text.
int DarkestOfLine(QListWidget* list, int row)
{
    const QImage image = list->viewport()->grab().toImage();
    const QRect rect = list->visualItemRect(list->item(row)).intersected(image.rect());
    int darkest = 255;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) darkest = std::min(darkest, qGray(image.pixel(x, y)));
    return darkest;
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// ---------------------------------------------------------------------------------
// Tests

TEST_F(SymapPageTest, PageAsDescribedForTheFirstAndTheLastDescriptor)
{
    TFrKPSiemensSymap* page = Page();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->objectName(), "frKPSiemensSymap");
    ASSERT_EQ(page->pcChannls->count(), 16);
    for (int p = 0; p < 16; ++p) EXPECT_EQ(page->pcChannls->tabText(p).toStdString(), kTabs[p].caption) << p;
    ASSERT_EQ(page->lbSRegisters->count(), 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(page->lbSRegisters->item(i)->text().toStdString(), "ячейка " + std::to_string(i + 1));
    EXPECT_EQ(page->findChild<QLabel*>("lbPeriodMUnit"), nullptr) << "the unit combo takes the unit's place";

    for (int i : {0, 15}) {
        SCOPED_TRACE(i);
        page->lbSRegisters->setCurrentRow(i);
        EXPECT_EQ(page->BoundRegister(), i);
        std::deque<std::string> texts;
        EXPECT_TRUE(testsupport::AuditPage(*page, Device(), SymapControls(Block(), i, texts)));
        // Every address offers the word's range.
        EXPECT_EQ(page->seRegAddr[7]->minimum(), 0);
        EXPECT_EQ(page->seRegAddr[7]->maximum(), 65535);
        EXPECT_EQ(page->cbPeriodM->maximum(), 65535);
    }
    EXPECT_TRUE(dialogs->Records().empty());
}

// Each selection binds the controls to the selected descriptor and shows it; showing
// stores nothing.
TEST_F(SymapPageTest, SelectionRebindsAndShowingStoresNothing)
{
    TFrKPSiemensSymap* page = Page();
    ASSERT_NE(page, nullptr);
    QCheckBox* output3 = page->cbBits[1][3];
    ASSERT_EQ(output3->objectName(), "cbOutput03");
    const std::map<uint32_t, uint8_t> untouched = testsupport::AddressMap(*siemens);
    siemens->SetModified(false);

    // Browsing every descriptor, there and back, changes no byte and marks nothing.
    for (int i : {3, 15, 0, 7, 1, 2, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 0}) page->lbSRegisters->setCurrentRow(i);
    Idle();
    EXPECT_EQ(testsupport::AddressMap(*siemens), untouched);
    EXPECT_FALSE(siemens->IsModified());

    // Descriptor 5: bit 3 of "Q_Symap" is bit 3 of its "SymapOutput" word.
    page->lbSRegisters->setCurrentRow(5);
    EXPECT_TRUE(output3->isChecked());
    output3->setChecked(false);
    EXPECT_EQ(DescriptorField(5, "SymapOutput03")->GetValue().ToInt32(), 0);
    EXPECT_EQ(DescriptorBytes(5, 36, 2), (std::vector<int>{0xF7, 0xFF}));

    page->lbSRegisters->setCurrentRow(6);
    EXPECT_EQ(page->FieldOf(output3), DescriptorField(6, "SymapOutput03"));
    EXPECT_TRUE(output3->isChecked());
    EXPECT_EQ(DescriptorBytes(6, 36, 2), (std::vector<int>{0xFF, 0xFF}));

    // An edit goes to the descriptor selected: the address of "Alarm_W3" on 6.
    page->seRegAddr[15]->setValue(40001);
    EXPECT_EQ(DescriptorBytes(6, 32, 2), (std::vector<int>{0x41, 0x9C}));
    EXPECT_EQ(DescriptorBytes(5, 32, 2), (std::vector<int>{0, 0}));

    page->lbSRegisters->setCurrentRow(5);
    EXPECT_FALSE(output3->isChecked());
    EXPECT_EQ(page->seRegAddr[15]->value(), 0);
    EXPECT_EQ(DescriptorBytes(5, 36, 2), (std::vector<int>{0xF7, 0xFF}));
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(SymapPageTest, TypeShowsItsTabsAndIsStored)
{
    TFrKPSiemensSymap* page = Page();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(VisibleTabs(*page->pcChannls), Range(0, 11));
    EXPECT_EQ(page->cbDevType->currentText(), "Symap_DES_DG");

    page->lbSRegisters->setCurrentRow(2);
    page->pcChannls->setCurrentIndex(4);
    Choose(page->cbDevType, "PLC");
    EXPECT_EQ(DescriptorBytes(2, 0, 1), std::vector<int>{9});
    EXPECT_EQ(VisibleTabs(*page->pcChannls), Range(12, 15));
    EXPECT_EQ(page->pcChannls->tabText(page->pcChannls->currentIndex()), "Event_W1");

    // Another descriptor shows its own type's tabs, and the PLC one its tabs again.
    page->lbSRegisters->setCurrentRow(3);
    EXPECT_EQ(page->cbDevType->currentText(), "Symap_DES_DG");
    EXPECT_EQ(VisibleTabs(*page->pcChannls), Range(0, 11));
    page->lbSRegisters->setCurrentRow(2);
    EXPECT_EQ(page->cbDevType->currentText(), "PLC");
    EXPECT_EQ(VisibleTabs(*page->pcChannls), Range(12, 15));

    page->pcChannls->setCurrentIndex(14);
    Choose(page->cbDevType, "Symap_MGS");
    EXPECT_EQ(DescriptorBytes(2, 0, 1), std::vector<int>{8});
    EXPECT_EQ(VisibleTabs(*page->pcChannls), Range(0, 11));
    EXPECT_EQ(page->pcChannls->tabText(page->pcChannls->currentIndex()), "I_Symap");
    EXPECT_EQ(DescriptorBytes(3, 0, 1), std::vector<int>{6});

    // A type from a file that no item carries: no item, the Symap tabs.
    DescriptorField(4, "DevType")->SetValue(int32_t{0});
    page->lbSRegisters->setCurrentRow(4);
    EXPECT_EQ(page->cbDevType->currentIndex(), -1);
    EXPECT_EQ(VisibleTabs(*page->pcChannls), Range(0, 11));
    EXPECT_EQ(DescriptorBytes(4, 0, 1), std::vector<int>{0});
}

TEST_F(SymapPageTest, ActiveFlagEnablesTheDescriptorAndColoursItsLine)
{
    TFrKPSiemensSymap* page = Page();
    ASSERT_NE(page, nullptr);
    QListWidget* list = page->lbSRegisters;
    const QColor normal = list->palette().color(QPalette::Active, QPalette::Text);
    const QColor grey = list->palette().color(QPalette::Disabled, QPalette::Text);
    ASSERT_NE(normal, grey);
    const auto expectEnabled = [&](bool on) {
        EXPECT_EQ(page->cbDevType->isEnabled(), on);
        EXPECT_EQ(page->lbDevType->isEnabled(), on);
        EXPECT_EQ(page->pcChannls->isEnabled(), on);
        EXPECT_EQ(page->cbBits[0][0]->isEnabled(), on);
        EXPECT_TRUE(page->cbRegisterEnabled->isEnabled());
    };

    // A new device: every line grey, the type and the tabs disabled.
    for (int i = 0; i < 16; ++i) EXPECT_EQ(page->LineColor(i), grey) << i;
    EXPECT_FALSE(page->cbRegisterEnabled->isChecked());
    expectEnabled(false);

    list->setCurrentRow(5);
    testsupport::TreeViewWindow::Process();
    PaintCounter painted(list->viewport());
    page->cbRegisterEnabled->setChecked(true);
    testsupport::TreeViewWindow::Process();
    EXPECT_GT(painted.paints, 0) << "the list is painted again";
    EXPECT_EQ(EnableWord(), 0x0020);
    EXPECT_EQ(page->LineColor(5), normal);
    EXPECT_EQ(page->LineColor(4), grey);
    expectEnabled(true);
    // Painted so: line 6 in the text colour, line 7 grey (neither selected).
    list->setCurrentRow(0);
    page->show();
    testsupport::TreeViewWindow::Process();
    EXPECT_LT(DarkestOfLine(list, 5), DarkestOfLine(list, 6));
    EXPECT_GE(DarkestOfLine(list, 6), qGray(grey.rgb()) - 8);

    // The window's operation lock leaves the disabled descriptor's controls disabled.
    expectEnabled(false);
    EnableChildren(window.get(), false);
    EnableChildren(window.get(), true);
    expectEnabled(false);

    list->setCurrentRow(5);
    page->cbRegisterEnabled->setChecked(false);
    EXPECT_EQ(EnableWord(), 0);
    EXPECT_EQ(page->LineColor(5), grey);
    expectEnabled(false);

    // Enabled behind the page: shown again, the page follows.
    auto* flag = dynamic_cast<TField*>(Block().FindField("SRegisterEnabled05"));
    ASSERT_NE(flag, nullptr);
    flag->SetValue(int32_t{1});
    siemens->SetRegisterName(5, "Шкаф 1");
    doc->Frame()->RefreshAll();
    EXPECT_TRUE(page->cbRegisterEnabled->isChecked());
    expectEnabled(true);
    EXPECT_EQ(list->item(5)->text(), "Шкаф 1");
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(SymapPageTest, RenameAsksAndShowsTheNameAsStored)
{
    TFrKPSiemensSymap* page = Page();
    ASSERT_NE(page, nullptr);
    QListWidget* list = page->lbSRegisters;
    ASSERT_TRUE(list->actions().contains(page->miRenameRegister));
    EXPECT_EQ(page->miRenameRegister->text(), "Переименовать");
    list->setCurrentRow(5);
    ASSERT_TRUE(page->miRenameRegister->isEnabled());

    dialogs->PushInput(std::string("Шкаф 2"));
    page->miRenameRegister->trigger();
    const std::vector<platform::DialogRecord> asked = dialogs->Records();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, platform::DialogKind::InputQuery);
    EXPECT_EQ(asked[0].input.caption, "Вопрос");
    EXPECT_EQ(asked[0].input.prompt, "Введите название устройства");
    EXPECT_EQ(asked[0].input.value, "ячейка 6");
    EXPECT_EQ(list->item(5)->text(), "Шкаф 2");
    EXPECT_EQ(siemens->GetRegisterName(5), "Шкаф 2");

    // Cut to the slot's 64 characters, on the line as in the document.
    const std::string seventy = [] {
        std::string text;
        for (int n = 0; n < 70; ++n) text += "Щ";
        return text;
    }();
    dialogs->PushInput(seventy);
    page->miRenameRegister->trigger();
    EXPECT_EQ(list->item(5)->text(), QString(64, QChar(0x0429)));
    EXPECT_EQ(siemens->GetRegisterName(5), seventy.substr(0, 64 * 2));

    // An empty answer and a cancel change nothing.
    dialogs->PushInput(std::string());
    page->miRenameRegister->trigger();
    dialogs->PushInput(std::nullopt);
    page->miRenameRegister->trigger();
    EXPECT_EQ(dialogs->Records().back().input.value, seventy.substr(0, 64 * 2));
    EXPECT_EQ(list->item(5)->text(), QString(64, QChar(0x0429)));
    EXPECT_EQ(siemens->GetRegisterName(5), seventy.substr(0, 64 * 2));
    EXPECT_EQ(RegisterName(*siemens, 4), "ячейка 5");

    // Without a selected line: nothing to rename, the descriptor's controls disabled.
    list->setCurrentRow(-1);
    EXPECT_FALSE(page->miRenameRegister->isEnabled());
    EXPECT_FALSE(page->cbRegisterEnabled->isEnabled());
    EXPECT_FALSE(page->pcChannls->isEnabled());
    EXPECT_EQ(page->BoundRegister(), 5);
}

TEST_F(SymapPageTest, EditsSurviveSaveAndReopen)
{
    TFrKPSiemensSymap* page = Page();
    ASSERT_NE(page, nullptr);
    page->lbSRegisters->setCurrentRow(9);
    page->cbRegisterEnabled->setChecked(true);
    Choose(page->cbDevType, "PLC");
    page->seRegAddr[13]->setValue(1234);
    page->cbBits[13][15]->setChecked(false);
    page->cbPeriodM->setValue(250);
    Choose(page->cbPeriodUM, "сек");
    page->RenameRegister(9, "Ячейка ввода");

    testsupport::TempDir dir;
    siemens->SaveToFile(dir / "siemens.hex");
    std::unique_ptr<TZumo2SiemensDoc> reopened = testsupport::MakeAs<TZumo2SiemensDoc>(MakeZumo2SiemensDoc);
    ASSERT_NE(reopened, nullptr);
    EXPECT_TRUE(testsupport::QuestionsOfLoading(*reopened, dir / "siemens.hex").empty());
    EXPECT_EQ(testsupport::ImageDifference(*reopened, *siemens), "");

    // And the page shows them.
    doc->ReleaseDocument();
    kept = std::move(reopened);
    siemens = dynamic_cast<TZumo2SiemensDoc*>(kept.get());
    doc->AttachDocument(kept.get(), 17);
    doc->RefreshTree();
    page = Page();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->lbSRegisters->item(9)->text(), "Ячейка ввода");
    EXPECT_EQ(page->cbPeriodM->value(), 250);
    EXPECT_EQ(page->cbPeriodUM->currentText(), "сек");
    page->lbSRegisters->setCurrentRow(9);
    EXPECT_TRUE(page->cbRegisterEnabled->isChecked());
    EXPECT_EQ(page->cbDevType->currentText(), "PLC");
    EXPECT_EQ(page->seRegAddr[13]->value(), 1234);
    EXPECT_FALSE(page->cbBits[13][15]->isChecked());
    EXPECT_TRUE(page->cbBits[13][14]->isChecked());
    EXPECT_EQ(page->LineColor(9), page->lbSRegisters->palette().color(QPalette::Active, QPalette::Text));
}

// A base document's device holding the Siemens Symap code, as only a loaded image can:
// its block has no room there, so the device page shows no protocol page and writes
// nothing.
TEST_F(SymapPageTest, NoPageOverTheCodeOutsideTheSiemensDocument)
{
    doc->ReleaseDocument();
    kept = testsupport::NewZumo2Doc();
    doc->AttachDocument(kept.get(), 0);
    TDevice& device = *kept->DeviceByIndex(0);
    testsupport::UseSlot(*kept, 0, 0, 0, 0);
    const auto* code = dynamic_cast<const TField*>(device.FindField("004"));
    ASSERT_NE(code, nullptr);
    const uint8_t symap = 35;
    device.WriteBytes(code->NodeOffset(), &symap, 1);
    ASSERT_EQ(code->GetValue().ToInt32(), 35);
    doc->RefreshTree();
    const std::map<uint32_t, uint8_t> before = testsupport::AddressMap(*kept);

    TfrDevice* page = SelectDevice(0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->ProtocolFrame(), nullptr);
    EXPECT_NE(page->RoleFrame(), nullptr);
    Idle();
    EXPECT_EQ(testsupport::AddressMap(*kept), before);
    EXPECT_TRUE(dialogs->Records().empty());
    // The page itself refuses a device of another document.
    EXPECT_EQ(TFrKPSiemensSymap::Create(nullptr, &device, nullptr), nullptr);
}

} // namespace
