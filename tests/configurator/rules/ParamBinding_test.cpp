#include "configurator/rules/ParamBinding.h"
#include "platform/Exceptions.h"
#include "tests/support/DialogScript.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// A record of two fields: "int" limited to 10..100 (50 after the reset) and an
// 8-character text.
class TRecord : public TFieldLst {
public:
    void Build() override
    {
        TLayout l(*this);
        l.Field("int", ftInteger, int32_t{50}, true, 10, 100);
        l.Text("txt", 8, "abc", true);
        l.Finish();
    }

protected:
    TRecord(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) {}
};

// A control holding one value. Like every bound kind it raises its change whenever it
// is set; the user sets it through Type.
class FakeControl : public TBoundControl {
public:
    std::optional<Variant> value;

    void Show(const TField& field) override
    {
        value = field.GetValue();
        Changed();
    }
    std::optional<Variant> Read() const override { return value; }

    void Type(std::optional<Variant> v)
    {
        value = std::move(v);
        Changed();
    }
    std::string Shown() const { return value ? value->ToString() : "(none)"; }
};

class ParamBindingTest : public ::testing::Test {
public:
    ParamBindingTest()
        : block(0, 16), record(MakeList<TRecord>("rec", &block, 0)),
          binding([this](std::exception_ptr e) {
              try {
                  std::rethrow_exception(e);
              } catch (const std::exception& x) {
                  Note(std::string("error ") + x.what());
              }
          })
    {
        record->ResetDefaults();
        field = record->Find<TField>("int");
        field->OnChange = TNotifyEvent::Of<&ParamBindingTest::FieldStored>(this);
        binding.FieldList = record.get();
        binding.OnValidate = TFieldValidateEvent::Of<&ParamBindingTest::Validate>(this);
        binding.OnFieldChanged = TFieldChangedEvent::Of<&ParamBindingTest::FieldChanged>(this);
        binding.OnRejected = TValueRejectedEvent::Of<&ParamBindingTest::Rejected>(this);
    }

    void Note(std::string line) { journal.push_back(std::move(line)); }
    void FieldStored(TField* f) { Note("store " + f->GetValue().ToString()); }
    void Validate(const void*, TField*, const Variant& value, TFieldLst* row, bool& accept)
    {
        EXPECT_EQ(row, nullptr);
        Note("validate " + value.ToString());
        if (throwOn && value.Equals(*throwOn)) throw platform::Exception("no");
        if (vetoOn && value.Equals(*vetoOn)) accept = false;
    }
    void FieldChanged(const void*, TField* f) { Note("changed " + f->GetValue().ToString()); }
    void Rejected(const void*, TField*, const Variant& value) { Note("rejected " + value.ToString()); }
    TControlHandler Own(std::string name)
    {
        return [this, name](const void* sender) {
            EXPECT_EQ(sender, control.Sender());
            Note("own " + name);
        };
    }

    TMemoryBlock block;
    std::unique_ptr<TRecord> record;
    TParamBinding binding;
    TField* field = nullptr;
    FakeControl control;
    std::vector<std::string> journal;
    std::optional<Variant> vetoOn, throwOn;
};

using Strings = std::vector<std::string>;

} // namespace

// The cycle, one case per row: what the frame and the user do after the control was
// bound to "int" and given its own handler, what the frame reports, and where the
// value ends.
TEST_F(ParamBindingTest, Cycle)
{
    struct Row {
        const char* name;
        std::function<void(ParamBindingTest&)> act;
        Strings journal;
        int32_t field;   // the field afterwards
        std::string shown; // what the control shows afterwards
    };
    const Row rows[] = {
        {"a user change is stored, then the own handler runs",
         [](auto& t) {
             t.binding.Load(t.record.get());
             t.control.Type(int32_t{20});
         },
         {"validate 20", "store 20", "changed 20", "own A"}, 20, "20"},
        {"Load shows the value and stores nothing",
         [](auto& t) { t.binding.Load(t.record.get()); }, {}, 50, "50"},
        {"ShowValue stores the same value back",
         [](auto& t) {
             t.binding.Load(t.record.get());
             t.binding.ShowValue(t.control);
         },
         {"validate 50", "changed 50", "own A"}, 50, "50"},
        {"ShowValue while Loading stores nothing",
         [](auto& t) {
             t.binding.Load(t.record.get());
             t.binding.Loading = true;
             t.binding.ShowValue(t.control);
             t.control.Type(int32_t{20}); // nothing at all while loading
             t.binding.Loading = false;
         },
         {}, 50, "20"},
        {"ShowValueQuiet stores nothing",
         [](auto& t) {
             t.binding.Load(t.record.get());
             t.control.value = int32_t{77};
             t.binding.ShowValueQuiet(t.control);
             EXPECT_FALSE(t.binding.Loading);
         },
         {}, 50, "50"},
        {"a veto restores quietly, reports once and runs the own handler",
         [](auto& t) {
             t.binding.Load(t.record.get());
             t.vetoOn = int32_t{20};
             t.control.Type(int32_t{20});
         },
         {"validate 20", "rejected 20", "own A"}, 50, "50"},
        {"an exception in OnValidate vetoes without a message",
         [](auto& t) {
             t.binding.Load(t.record.get());
             t.throwOn = int32_t{20};
             t.control.Type(int32_t{20});
         },
         {"validate 20", "rejected 20", "own A"}, 50, "50"},
        {"an error of the store reaches the display, the own handler does not run",
         [](auto& t) {
             t.binding.Load(t.record.get());
             t.control.Type(int32_t{5});
         },
         {"validate 5", "error Меньше минимума"}, 50, "5"},
        {"Load twice: one cycle and one own handler per change",
         [](auto& t) {
             t.binding.Load(t.record.get());
             t.binding.Load(t.record.get());
             t.control.Type(int32_t{20});
         },
         {"validate 20", "store 20", "changed 20", "own A"}, 20, "20"},
        {"nothing chosen: nothing read or stored, the own handler runs",
         [](auto& t) {
             t.binding.Load(t.record.get());
             t.control.Type(std::nullopt);
         },
         {"own A"}, 50, "(none)"},
        {"before Load the own handler runs alone",
         [](auto& t) { t.control.Type(int32_t{20}); }, {"own A"}, 50, "20"},
        {"unbound: the own handler is back and nothing is stored",
         [](auto& t) {
             t.binding.Load(t.record.get());
             t.binding.UnbindControl(t.control);
             EXPECT_EQ(t.control.Field(), nullptr);
             t.control.Type(int32_t{20});
             t.binding.RefreshAll();
         },
         {"own A"}, 50, "20"},
        {"unbound without an own handler: changes do nothing",
         [](auto& t) {
             t.binding.SetChangeHandler(t.control, nullptr);
             t.binding.Load(t.record.get());
             t.binding.UnbindControl(t.control);
             t.control.Type(int32_t{20});
         },
         {}, 50, "20"},
        {"a handler given after Load replaces the stored one",
         [](auto& t) {
             t.binding.Load(t.record.get());
             t.binding.SetChangeHandler(t.control, t.Own("B"));
             t.control.Type(int32_t{20});
             t.binding.UnbindControl(t.control);
             t.control.Type(int32_t{30});
         },
         {"validate 20", "store 20", "changed 20", "own B", "own B"}, 20, "30"},
        {"an own handler that raises: its error reaches the display",
         [](auto& t) {
             t.binding.SetChangeHandler(t.control, [](const void*) { throw platform::Exception("свой"); });
             t.binding.Load(t.record.get());
             t.control.Type(int32_t{20});
         },
         {"validate 20", "store 20", "changed 20", "error свой"}, 20, "20"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        struct Case : ParamBindingTest {
            void TestBody() override {}
        } t;
        t.binding.BindControl(t.control, "int");
        t.binding.SetChangeHandler(t.control, t.Own("A"));
        row.act(t);
        EXPECT_EQ(t.journal, row.journal);
        EXPECT_EQ(t.field->GetValue().ToInt32(), row.field);
        EXPECT_EQ(t.control.Shown(), row.shown);
    }
}

// Controls the list lacks stay unbound and as designed; Load, RefreshAll and the
// registry go in binding order.
TEST_F(ParamBindingTest, RegistryAndKeys)
{
    FakeControl text, missing, list;
    missing.value = int32_t{-1};
    std::vector<const void*> shown;
    binding.BindControls({&text, &missing, &control}, {"TXT", "nope", "int"});
    binding.BindControl(list, ""); // no such field
    binding.BindControl(text, "txt"); // bound again: keeps its place
    EXPECT_EQ(binding.Controls(), (std::vector<TBoundControl*>{&text, &missing, &control, &list}));
    EXPECT_EQ(text.Field(), record->FindField("txt"));
    EXPECT_EQ(missing.Field(), nullptr);

    binding.Load(record.get());
    EXPECT_EQ(text.Shown(), "abc");
    EXPECT_EQ(missing.Shown(), "-1");
    EXPECT_EQ(list.Shown(), "(none)");
    missing.Type(int32_t{3});
    EXPECT_TRUE(journal.empty());

    // A text field has no equality test: the same text stored back is a store.
    binding.RefreshAll();
    EXPECT_EQ(journal, (Strings{"validate abc", "changed abc", "validate 50", "changed 50"}));

    // More keys than controls: nothing is bound.
    FakeControl extra;
    EXPECT_THROW(binding.BindControls({&extra}, {"int", "txt"}), platform::EListError);
    EXPECT_EQ(extra.Field(), nullptr);
}

// Controls and frames may go in either order.
TEST_F(ParamBindingTest, LifetimesOfControlsAndFrames)
{
    auto early = std::make_unique<FakeControl>();
    binding.BindControl(*early, "int");
    binding.BindControl(control, "txt");
    binding.Load(record.get());
    early.reset();
    EXPECT_EQ(binding.Controls(), std::vector<TBoundControl*>{&control});
    binding.RefreshAll();

    // A control that outlives its frame gets its own handler back.
    FakeControl outliving;
    int calls = 0;
    {
        TParamBinding frame;
        frame.FieldList = record.get();
        frame.BindControl(outliving, "int");
        frame.SetChangeHandler(outliving, [&calls](const void*) { ++calls; });
        frame.Load(record.get());
    }
    EXPECT_EQ(outliving.Field(), nullptr);
    outliving.Type(int32_t{20});
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(field->GetValue().ToInt32(), 50);

}

// Without a display of its own a frame shows its errors in the application's error box.
TEST_F(ParamBindingTest, ApplicationErrorBoxByDefault)
{
    testsupport::DialogScript script;
    script->PushAnswer(platform::MsgResult::OK);
    TParamBinding frame;
    frame.FieldList = record.get();
    frame.BindControl(control, "int");
    frame.Load(record.get());
    control.Type(int32_t{500});
    const auto records = script->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].box.text, "Больше максимума");
    EXPECT_EQ(records[0].box.icon, platform::MsgIcon::Error);
    EXPECT_EQ(field->GetValue().ToInt32(), 50);
}

TEST(ParamBinding, ControlKeys)
{
    const std::pair<const char*, const char*> cases[] = {
        {"cb061", "061"}, {"ed0104", "0104"}, {"ch012", "012"}, {"rg013", "013"},
        {"se0209", "0209"}, {"paPort", "paPort"}, {"c", "c"}, {"", ""},
    };
    for (const auto& [name, key] : cases) EXPECT_EQ(ControlKey(name), key) << name;
}
