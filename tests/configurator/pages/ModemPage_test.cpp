#include "configurator/pages/FModem.h"
#include "configurator/pages/FilterView.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uHask1.h"
#include "platform/ProgramDir.h"
#include "tests/support/DialogScript.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QSpinBox>
#include <QValueAxis>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using platform::FormModel;
using platform::MsgResult;

// The folder of a test library that lacks the design routine.
const std::filesystem::path kNoRoutineFolder = MIRVAK_BINARY_DIR "/tests/fixtures/filter_no_routine";

struct ModemPageTest : ::testing::Test {
    std::unique_ptr<TZumo2Doc> doc;
    TFilterDesignParams params;
    std::unique_ptr<TfrModem> page;
    testsupport::DialogScript dialogs;

    void SetUp() override { qttest::App(); }

    TFieldLst& Modem(const char* key = "Modem1") { return *doc->Find<TFieldLst>(key); }

    // The page of a modem of a model's document with its defaults.
    TfrModem& Open(int code, const char* modem = "Modem1",
                   const std::filesystem::path& library = platform::ExecutableDir())
    {
        page.reset();
        doc = MakeHask1Doc(code);
        doc->ResetDefaults();
        page.reset(MakeFrame<TfrModem>(nullptr, &Modem(modem), &params, LibraryDesigner(library)));
        return *page;
    }

    // Clicks a record's button; handler answers the dialog.
    void Click(int record, std::function<MsgResult(TFilterForm&)> handler = {})
    {
        if (handler)
            dialogs->PushForm([handler](FormModel& form) { return handler(dynamic_cast<TFilterForm&>(form)); });
        page->btCalc[static_cast<size_t>(record - 1)]->click();
        page->UpdateControls();
    }

    QString Label(int record) const { return page->lbFiltr[static_cast<size_t>(record - 1)]->text(); }

    int Value(const std::string& key, const char* modem = "Modem1")
    {
        return Modem(modem).Find<TField>(key)->GetValue().ToInt32();
    }
    std::vector<int> Coefficients(const char* table, const char* modem = "Modem1")
    {
        std::vector<int> out;
        auto* list = Modem(modem).Find<TFieldLst>(table);
        for (int i = 0; i < FilterTaps; ++i)
            out.push_back(dynamic_cast<TField*>(list->FieldByIndex(i))->GetValue().ToInt32());
        return out;
    }
};

TEST_F(ModemPageTest, RecordsByModemClass)
{
    struct Case {
        int code;
        const char* modem;
        std::vector<const char*> groups; // records 1 .. 4: the group of their band, none unbound
        std::vector<const char*> tables;
    };
    const Case cases[] = {
        {8, "Modem1", {"300", "400", "100", "200"}, {"mod2_coeff", "demod2_coeff", "mod_coeff", "demod_coeff"}},
        {9, "Modem1", {nullptr, nullptr, "100", "200"}, {nullptr, nullptr, "mod_coeff", "demod_coeff"}},
        {9, "Modem2", {nullptr, nullptr, "300", "400"}, {nullptr, nullptr, "mod2_coeff", "demod2_coeff"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + " " + c.modem);
        Open(c.code, c.modem);
        for (int r = 1; r <= FilterRecordCount; ++r) {
            SCOPED_TRACE(r);
            const TFilterRecord& record = page->Record(r);
            const char* group = c.groups[static_cast<size_t>(r - 1)];
            if (!group) {
                EXPECT_FALSE(record.Bound());
                // A click on an unbound record opens nothing and changes nothing.
                const auto before = testsupport::AddressMap(*doc);
                Click(r);
                EXPECT_TRUE(dialogs->Records().empty());
                EXPECT_EQ(testsupport::AddressMap(*doc), before);
                continue;
            }
            ASSERT_TRUE(record.Bound());
            EXPECT_EQ(record.Fstop1, Modem(c.modem).FindField(std::string(group) + "_Fstop1"));
            EXPECT_EQ(record.Fpass2, Modem(c.modem).FindField(std::string(group) + "_Fpass2"));
            EXPECT_EQ(record.Coefficients, Modem(c.modem).FindField(c.tables[static_cast<size_t>(r - 1)]));
        }
    }
    // The transit filters of TModem have their default band; the modulator none.
    Open(8);
    EXPECT_EQ(Label(1), "300 - 2200 Гц");
    EXPECT_EQ(Label(3), "");
}

TEST_F(ModemPageTest, ControlsBindByClassAndTheTransitGroupShowsOnVoiceModels)
{
    struct Case {
        int code;
        const char* modem;
        bool transit;
        const char* speedKey;
    };
    const Case cases[] = {
        {8, "Modem1", true, "speed"},   {11, "Modem1", true, "speed"}, {6, "Modem1", false, "speed"},
        {9, "Modem1", false, "speed"},  {9, "Modem2", false, "speed2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + " " + c.modem);
        TfrModem& p = Open(c.code, c.modem);
        EXPECT_EQ(!p.gbTK->isHidden(), c.transit);
        EXPECT_EQ(p.FieldOf(p.edSpeed), Modem(c.modem).FindField(c.speedKey));
        EXPECT_EQ(p.edSpeed->value(), 600);
        EXPECT_TRUE(p.MissedKeys().empty());
        // The transit controls are bound on TModem only.
        EXPECT_EQ(p.FieldOf(p.cb300_04) != nullptr, c.code == 8 || c.code == 11 || c.code == 6);
    }
    TfrModem& p = Open(8);
    ASSERT_EQ(p.cb100_04->count(), 8);
    EXPECT_EQ(p.cb100_04->itemText(0), "+6");
    EXPECT_EQ(p.cb100_04->currentText(), "0"); // "100_04" defaults to 2
    EXPECT_EQ(p.cb200_04->itemText(7), "+38");
    EXPECT_EQ(p.findChild<QLabel*>("lb100_1")->text(), "Частота «0»");
}

TEST_F(ModemPageTest, OkAfterAutoFillWritesTheDesign)
{
    Open(6);
    std::vector<int32_t> taps;
    Click(3, [&](TFilterForm& form) {
        form.FormActivate();
        EXPECT_TRUE(form.AutoFillEnabled());
        form.AutoFillBtnClick();
        EXPECT_TRUE(form.DesignCurrent());
        taps = form.IntegerTaps();
        form.OKBtnClick();
        return MsgResult::OK;
    });
    ASSERT_EQ(taps.size(), static_cast<size_t>(FilterTaps));
    std::vector<int> patterns;
    for (int32_t tap : taps) patterns.push_back(static_cast<uint16_t>(tap));
    EXPECT_EQ(Coefficients("mod_coeff"), patterns);
    EXPECT_EQ((std::vector<int>{Value("100_Fstop1"), Value("100_Fpass1"), Value("100_Fpass2"), Value("100_Fstop2")}),
              (std::vector<int>{990, 1100, 2300, 2410}));
    EXPECT_EQ(Label(3), "1100 - 2300 Гц");
    EXPECT_EQ(Coefficients("demod_coeff"), std::vector<int>(FilterTaps, 0));

    // Cancel changes no byte; OK without a design keeps the coefficients byte for byte.
    const auto before = testsupport::AddressMap(*doc);
    Click(3, [](TFilterForm& form) {
        form.FormActivate();
        form.ClearBtnClick();
        return MsgResult::Cancel;
    });
    EXPECT_EQ(testsupport::AddressMap(*doc), before);
    params.BandGiven = false;
    Modem().Find<TField>("100_Fpass1")->SetValue(Variant(int32_t{0}));
    Modem().Find<TField>("100_Fpass2")->SetValue(Variant(int32_t{0}));
    Modem().Find<TField>("100_Fstop1")->SetValue(Variant(int32_t{0}));
    Modem().Find<TField>("100_Fstop2")->SetValue(Variant(int32_t{0}));
    Click(3, [](TFilterForm& form) {
        form.FormActivate();
        EXPECT_FALSE(form.DesignCurrent());
        form.OKBtnClick();
        return MsgResult::OK;
    });
    EXPECT_EQ(Coefficients("mod_coeff"), patterns);
}

TEST_F(ModemPageTest, NoFilterKeepsTheBandLabel)
{
    Open(8);
    Click(1, [](TFilterForm& form) {
        form.FormActivate(); // the default band 150/300/2200/2350 designs at once
        EXPECT_TRUE(form.DesignCurrent());
        form.ClearBtnClick();
        form.OKBtnClick();
        return MsgResult::OK;
    });
    std::vector<int> through(FilterTaps, 0);
    through[0] = 32767;
    EXPECT_EQ(Coefficients("mod2_coeff"), through);
    EXPECT_EQ(Label(1), "300 - 2200 Гц");
    EXPECT_FALSE(params.BandGiven);
}

TEST_F(ModemPageTest, LibraryFaultsAreReported)
{
    testsupport::TempDir empty;
    struct Case {
        const char* name;
        std::filesystem::path folder;
        const char* message;
    };
    const Case cases[] = {
        {"no library", empty.path(), "DLL не найден..."},
        {"a library without the routine", kNoRoutineFolder, "Ошибка DLL..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.Reset();
        Open(6, "Modem1", c.folder);
        const auto before = testsupport::AddressMap(*doc);
        Click(3, [&](TFilterForm& form) {
            form.FormActivate();
            dialogs->PushAnswer(MsgResult::OK);
            form.AutoFillBtnClick();
            EXPECT_FALSE(form.DesignCurrent());
            form.OKBtnClick();
            return MsgResult::OK;
        });
        const auto records = dialogs->Records();
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[1].kind, platform::DialogKind::MessageBox);
        EXPECT_EQ(records[1].box.text, c.message);
        // The coefficients stay; only the edges "Авто" set were written.
        EXPECT_EQ(Coefficients("mod_coeff"), std::vector<int>(FilterTaps, 0));
        EXPECT_EQ(Value("100_Fpass1"), 1100);
    }
}

// The dialog's view: its first activation designs once, later ones (the window getting
// the focus back) do not; it shows the model's state; a double click undoes a zoom.
TEST_F(ModemPageTest, TheDialogActivatesOncePerShow)
{
    int calls = 0;
    const TFilterDesigner library = LibraryDesigner(platform::ExecutableDir());
    TFilterDesignParams given;
    given.Fstop1 = 990;
    given.Fpass1 = 1100;
    given.Fpass2 = 2300;
    given.Fstop2 = 2410;
    given.Wstop1 = given.Wpass = given.Wstop2 = 1;
    given.BandGiven = true;
    TFilterForm form(given, [&](double* h, int n, int bands, const double* e, const double* d, const double* w,
                                int type) {
        ++calls;
        return library(h, n, bands, e, d, w, type);
    });
    TFilterDialog dialog(form);
    EXPECT_EQ(dialog.windowTitle(), "Расчет коэффициентов фильтра");
    dialog.show();
    ASSERT_TRUE(qttest::PumpUntil([&] { return form.Activated(); }));
    for (int i = 0; i < 3; ++i) {
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&dialog, &activate);
    }
    QApplication::processEvents();
    EXPECT_EQ(calls, 1);

    EXPECT_EQ(dialog.Spins[1]->value(), 1100);
    EXPECT_EQ(dialog.Spins[1]->objectName(), "fp1SE");
    EXPECT_EQ(dialog.AFC_series->count(), ResponsePoints);
    EXPECT_EQ(dialog.fp_lbl->text().toStdString(), form.PassLabel());
    EXPECT_FALSE(dialog.AutoFillBtn->isEnabled()); // no tones known
    EXPECT_EQ(dialog.LeftAxis->min(), form.LeftAxis().Min);
    dialog.AFC->chart()->zoomIn(QRectF(50, 50, 40, 40));
    EXPECT_NE(dialog.BottomAxis->max(), 8000);
    dialog.AFCDblClick();
    EXPECT_EQ(dialog.BottomAxis->max(), 8000);
    EXPECT_EQ(dialog.LeftAxis->min(), form.LeftAxis().Min);

    // "Без фильтра" through its button: the flat line.
    dialog.ClearBtn->click();
    EXPECT_EQ(dialog.AFC_series->count(), 2);
    EXPECT_EQ(dialog.LeftAxis->min(), -40);
    dialog.OKBtn->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(given.Coefficients[0], 32767);
}

} // namespace
