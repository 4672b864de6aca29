#include "configurator/widgets/ParamControls.h"
#include "configurator/widgets/uParamFrame.h"
#include "tests/support/DialogScript.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// The fields the test frame edits:
//   "001" integer limited to 10..100 (50)
//   "002" unsigned 32-bit without limits (4,000,000,000)
//   "003" single float (2.5)
//   "004" bit 0 and "008" bits 1..2 of one byte (1 and 2)
//   "005" 8-character text ("текст")
//   "006" byte holding 7, which no item of its combo box carries
//   "007" 16-character text holding an IPv4 address
class TFixtureList : public TFieldLst {
public:
    void Build() override
    {
        TLayout l(*this);
        l.Field("001", ftInteger, int32_t{50}, true, 10, 100);
        TField* u32 = l.Field("002", ftLongWord, uint32_t{4000000000u}, true);
        u32->MinValue = u32->MaxValue = 0;
        l.Field("003", ftSingle, 2.5, true);
        l.Bits(ftByte, {{"004", 0, 1, 1, true}, {"008", 1, 2, 2, true}});
        l.Text("005", 8, "текст", true);
        l.Field("006", ftByte, uint8_t{7}, true);
        l.Text("007", 16, "192.168.1.10", true);
        l.Finish();
    }

protected:
    TFixtureList(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) {}
};

// A frame hosted by the test frame: one edit of the text "005".
class TSubFrame : public TParamFrame {
public:
    QLineEdit* ed005;

    void Load(TFieldLst* list) override
    {
        BindControl(ed005);
        TParamFrame::Load(list);
    }

protected:
    TSubFrame(TFieldLst* list, QWidget* parent) : TParamFrame(nullptr, list, parent), ed005(new QLineEdit(this))
    {
        ed005->setObjectName("ed005");
        ed005->setGeometry(0, 0, 100, 20);
    }
};

// One control of each kind, bound by their names, the IPv4 edit by an explicit key,
// one edit whose key the list lacks, and a hosted frame; every control 30 pixels below
// the one before.
class TTestFrame : public TParamFrame {
    int next_ = 0;

public:
    TSpinEdit* se001 = Add<TSpinEdit>("se001");
    TSpinEdit* se002 = Add<TSpinEdit>("se002");
    TSpinEdit* se003 = Add<TSpinEdit>("se003");
    QCheckBox* ch004 = Add<QCheckBox>("ch004");
    QLineEdit* ed005 = Add<QLineEdit>("ed005");
    QComboBox* cb006 = Add<QComboBox>("cb006");
    TIPAddressEdit* edAddress = Add<TIPAddressEdit>("edAddress");
    TRadioGroup* rg008 = Add<TRadioGroup>("rg008");
    QLineEdit* ed099 = Add<QLineEdit>("ed099");
    TSubFrame* sub = nullptr;

    void FillLists() override
    {
        for (int v : {1, 2, 3}) cb006->addItem(QString::number(v), v);
        rg008->SetItems({"0", "1", "2"});
    }
    void Load(TFieldLst* list) override
    {
        for (QWidget* w : std::initializer_list<QWidget*>{se001, se002, se003, ch004, ed005, cb006, rg008, ed099})
            BindControl(w);
        BindControl(edAddress, "007");
        TParamFrame::Load(list);
    }

protected:
    TTestFrame(TFieldLst* list, QWidget* parent = nullptr) : TParamFrame(nullptr, list, parent)
    {
        se003->SetDesignedRange(-50, 50);
        ed099->setText("как задумано");
        sub = MakeFrame<TSubFrame>(list, this);
        sub->setGeometry(0, 30 * next_, 200, 40);
    }

private:
    template <class W>
    W* Add(const char* name)
    {
        auto* w = new W(this);
        w->setObjectName(name);
        w->setGeometry(0, 30 * next_++, 150, 24);
        return w;
    }
};

class ParamFrameTest : public ::testing::Test {
public:
    ParamFrameTest() : block(0, 64), list(MakeList<TFixtureList>("list", &block, 0))
    {
        qttest::App();
        list->ResetDefaults();
        frame.reset(MakeFrame<TTestFrame>(list.get()));
    }

    // The texts of the error boxes shown so far.
    std::vector<std::string> Errors()
    {
        std::vector<std::string> texts;
        for (const auto& r : script->Records()) texts.push_back(r.box.text);
        return texts;
    }

    TField* F(const char* key) const { return list->Find<TField>(key); }
    std::string Value(const char* key) const { return F(key)->GetValue().ToString(); }

    TMemoryBlock block;
    std::unique_ptr<TFixtureList> list;
    std::unique_ptr<TTestFrame> frame;
    // Every error box the test did not expect fails it.
    testsupport::DialogScript script;
};

} // namespace

// Load shows every field in its control; a user change of each kind is stored.
TEST_F(ParamFrameTest, ShowsAndStoresEveryKind)
{
    TTestFrame& f = *frame;
    EXPECT_EQ(f.se001->value(), 50);
    EXPECT_EQ(f.se002->value(), 4000000000.0);
    EXPECT_EQ(f.se002->text(), "4000000000");
    EXPECT_EQ(f.se003->value(), 2.5);
    EXPECT_TRUE(f.ch004->isChecked());
    EXPECT_EQ(f.ed005->text(), "текст");
    EXPECT_EQ(f.cb006->currentIndex(), -1);
    EXPECT_EQ(f.edAddress->text(), "192.168.1.10");
    EXPECT_EQ(f.rg008->ItemIndex(), 2);
    EXPECT_TRUE(f.rg008->Button(2)->isChecked());
    EXPECT_EQ(f.sub->ed005->text(), "текст");

    struct Row {
        const char* what;
        std::function<void()> change;
        const char* key;
        Variant stored;
    };
    const Row rows[] = {
        {"spin edit step", [&] { f.se001->stepUp(); }, "001", 51},
        {"spin edit beyond the signed range", [&] { f.se002->setValue(4000000001.0); }, "002", uint32_t{4000000001u}},
        {"spin edit on a float keeps the fraction", [&] { f.se003->setValue(1.25); }, "003", 1.25},
        {"check box", [&] { f.ch004->click(); }, "004", 0},
        {"edit", [&] { f.ed005->setText("абв"); }, "005", "абв"},
        {"combo box: the item's data", [&] { f.cb006->setCurrentIndex(2); }, "006", 3},
        {"IPv4 edit", [&] { f.edAddress->setText("10.0.0.1"); }, "007", "10.0.0.1"},
        {"radio group", [&] { f.rg008->Button(0)->click(); }, "008", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        row.change();
        EXPECT_TRUE(F(row.key)->GetValue().Equals(row.stored)) << Value(row.key);
    }
    EXPECT_TRUE(Errors().empty());
}

// Ranges of the spin edits: the field's limits, else the design, else the type.
TEST_F(ParamFrameTest, SpinEditRanges)
{
    EXPECT_EQ(frame->se001->minimum(), 10);
    EXPECT_EQ(frame->se001->maximum(), 100);
    EXPECT_EQ(frame->se002->minimum(), 0);
    EXPECT_EQ(frame->se002->maximum(), 4294967295.0);
    EXPECT_EQ(frame->se003->minimum(), -50);
    EXPECT_EQ(frame->se003->maximum(), 50);
    EXPECT_TRUE(frame->se003->IsFloat());
    EXPECT_FALSE(frame->se001->IsFloat());

    // A value outside the limits is shown as it is, and a refresh leaves it there.
    F("001")->MinValue = F("001")->MaxValue = 0;
    F("001")->SetValue(int32_t{5});
    F("001")->MinValue = 10;
    F("001")->MaxValue = 100;
    frame->RefreshAll();
    EXPECT_EQ(frame->se001->value(), 5);
    EXPECT_EQ(Value("001"), "5");
    EXPECT_TRUE(Errors().empty());
}

// Typed text is stored when editing finishes; a value below the minimum then reaches
// the error display once, the field keeps its value and the edit what was typed.
TEST_F(ParamFrameTest, TypingCommitsWhenEditingFinishes)
{
    frame->show();
    TSpinEdit* spin = frame->se001;
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, "15");
    EXPECT_EQ(Value("001"), "50");
    QTest::keyClick(spin, Qt::Key_Return);
    EXPECT_EQ(Value("001"), "15");
    EXPECT_TRUE(Errors().empty());

    spin->setRange(0, 100); // as a user could type beyond a range of the design
    spin->selectAll();
    QTest::keyClicks(spin, "5");
    script->PushAnswer(platform::MsgResult::OK);
    QTest::keyClick(spin, Qt::Key_Return);
    EXPECT_EQ(Errors(), std::vector<std::string>{"Меньше минимума"});
    EXPECT_EQ(Value("001"), "15");
    EXPECT_EQ(spin->value(), 5);
}

// The combo box that shows no item stores nothing; the unbound edit keeps its design;
// RefreshAll reloads every bound control of the frame (the IPv4 edit included) and
// neither it nor Load reaches the hosted frame's controls.
TEST_F(ParamFrameTest, RefreshAndLoadReachTheFrameOwnControls)
{
    TTestFrame& f = *frame;
    EXPECT_EQ(f.FieldOf(f.ed099), nullptr);
    EXPECT_EQ(f.FieldOf(f.edAddress), F("007"));

    F("005")->SetValue("новый");
    F("007")->SetValue("10.1.2.3");
    F("003")->SetValue(-7.5);
    f.RefreshAll();
    EXPECT_EQ(f.edAddress->text(), "10.1.2.3");
    EXPECT_EQ(f.ed005->text(), "новый");
    EXPECT_EQ(f.se003->value(), -7.5);
    EXPECT_EQ(f.sub->ed005->text(), "текст");
    EXPECT_EQ(f.cb006->currentIndex(), -1);
    EXPECT_EQ(Value("006"), "7");
    EXPECT_EQ(f.ed099->text(), "как задумано");

    f.Load(list.get());
    EXPECT_EQ(f.sub->ed005->text(), "текст");
    EXPECT_EQ(Value("006"), "7");

    // The hosted frame keeps storing its own changes.
    f.sub->ed005->setText("свой");
    EXPECT_EQ(Value("005"), "свой");
    EXPECT_EQ(f.ed005->text(), "новый");
    EXPECT_TRUE(Errors().empty());
}

// A control's own handler runs after its value was stored, also after Load ran twice,
// and alone once the control is unbound.
TEST_F(ParamFrameTest, OwnHandlers)
{
    TTestFrame& f = *frame;
    std::vector<std::string> seen;
    f.SetChangeHandler(f.cb006, [&](const void* sender) {
        EXPECT_EQ(sender, f.cb006);
        seen.push_back(Value("006"));
    });
    f.Load(list.get());
    EXPECT_TRUE(seen.empty());
    f.cb006->setCurrentIndex(0);
    EXPECT_EQ(seen, std::vector<std::string>{"1"});
    f.UnbindControl(f.cb006);
    f.cb006->setCurrentIndex(1);
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "1"}));
    EXPECT_EQ(Value("006"), "1");
}

// The frame's height follows its lowest visible child.
TEST_F(ParamFrameTest, FitHeight)
{
    TTestFrame& f = *frame;
    f.FitHeight();
    EXPECT_EQ(f.height(), f.sub->geometry().bottom() + 1 + 4);
    f.sub->hide();
    f.FitHeight();
    EXPECT_EQ(f.height(), f.ed099->geometry().bottom() + 1 + 4);
    f.sub->show();
    f.FitHeight();
    EXPECT_EQ(f.height(), f.sub->geometry().bottom() + 1 + 4);
}
