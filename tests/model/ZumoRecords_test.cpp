#include "model/uZumo_Classes.h"
#include "tests/support/LayoutAudit.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

using testsupport::AuditLayout;
using testsupport::ScopedLogRecorder;
using testsupport::ScriptedPrompt;

using testsupport::Hex;

namespace {

uint16_t Word(const TMemoryBlock& b, size_t at) { return static_cast<uint16_t>(b.Data()[at] | b.Data()[at + 1] << 8); }

std::vector<std::string> Keys(const TFieldLst& list)
{
    std::vector<std::string> keys;
    for (int i = 0; i < list.FieldCount(); ++i) keys.push_back(list.FieldName(i));
    return keys;
}

// Moves every field of the record away from its default.
void SetAwayFromDefaults(TFieldLst& list)
{
    for (int i = 0; i < list.FieldCount(); ++i) {
        auto* f = dynamic_cast<TField*>(list.FieldByIndex(i));
        ASSERT_NE(f, nullptr);
        f->SetValue(f->DefaultValue.Equals(int32_t{0}) ? int32_t{1} : int32_t{0});
    }
}

// The keys the default check of a record asks about, answered No each time.
std::set<std::string> AskedKeys(TFieldLst& list)
{
    ScopedLogRecorder log;
    ScriptedPrompt prompt;
    for (int i = 0; i < list.FieldCount(); ++i) prompt.Push(mrNo);
    TDefaultCheckRun run{0, &prompt};
    list.CheckDefaults("P", run);
    std::set<std::string> keys;
    for (const std::string& q : prompt.Questions()) {
        const size_t from = q.find("\"P.") + 3;
        keys.insert(q.substr(from, q.find('"', from) - from));
    }
    return keys;
}

std::set<std::string> AllKeys(const TFieldLst& list)
{
    const auto keys = Keys(list);
    return {keys.begin(), keys.end()};
}

} // namespace

TEST(ZumoRecords, LayoutsAreSound)
{
    TMemoryBlock block(0, 64);
    EXPECT_TRUE(AuditLayout(*MakeList<TUART>("UART0", &block, 0), 8));
    EXPECT_TRUE(AuditLayout(*MakeList<TPortCOM>("COM1", &block, 8, 1), 8));
    EXPECT_TRUE(AuditLayout(*MakeList<TPortCOM_XPORT>("COM2", &block, 16), 8));
    EXPECT_TRUE(AuditLayout(*MakeList<TModemPort>("Модем", &block, 24), 8));
    EXPECT_TRUE(AuditLayout(*MakeList<TScaleTIT>("s", &block, 0), 8));
    EXPECT_TRUE(AuditLayout(*MakeList<TAppertureTIT>("a", &block, 0), 4));
    EXPECT_TRUE(AuditLayout(*MakeList<TParamTU>("tu", &block, 0), 3));
    EXPECT_TRUE(AuditLayout(*MakeList<TInverseTS>("inv", &block, 0), 1));
    EXPECT_TRUE(AuditLayout(*MakeList<TInternalChannel>("ch", &block, 0), 20));
    EXPECT_TRUE(AuditLayout(*MakeList<TDIO_Channel>("dio", &block, 0), 20));
}

TEST(ZumoRecords, PortDefaultsAndModes)
{
    TMemoryBlock block(0, 32);
    auto xport = MakeList<TPortCOM_XPORT>("COM1", &block, 0);
    EXPECT_EQ(xport->FieldCount(), 12);
    xport->ResetDefaults();
    EXPECT_EQ(Word(block, 0), 0x0018);
    EXPECT_EQ(Word(block, 2), 0);
    EXPECT_FALSE(xport->IsSynchronous());

    // A modem port is synchronous from construction on, before any reset.
    auto modem = MakeList<TModemPort>("Модем", &block, 8);
    EXPECT_EQ(modem->Find<TField>("016")->GetValue().ToInt32(), 1);
    EXPECT_TRUE(modem->Find<TField>("016")->DefaultValue.Equals(int32_t{1}));
    EXPECT_TRUE(modem->IsSynchronous());
    EXPECT_EQ(Word(block, 8), 0x0001);

    // The duplex default comes from the constructor.
    auto uart = MakeList<TUART>("UART0", &block, 16, 1);
    EXPECT_EQ(uart->DuplexDefault(), 1);
    uart->ResetDefaults();
    EXPECT_EQ(Word(block, 16), 0x0008);
    uart->Find<TField>("flag_invDE")->SetValue(int32_t{1});
    uart->Find<TField>("056")->SetValue(int32_t{0x1234});
    EXPECT_EQ(Hex(block.Data() + 16, 8), "08 00 40 00 00 00 34 12");
}

TEST(ZumoRecords, DefaultCheckAsksAboutTheFixedFieldsOnly)
{
    TMemoryBlock block(0, 8);
    {
        auto com = MakeList<TPortCOM>("COM1", &block, 0);
        SetAwayFromDefaults(*com);
        EXPECT_EQ(AskedKeys(*com), std::set<std::string>{"053"});
    }
    {
        auto uart = MakeList<TUART>("UART0", &block, 0);
        SetAwayFromDefaults(*uart);
        EXPECT_EQ(AskedKeys(*uart), AllKeys(*uart));
    }
    {
        auto xport = MakeList<TPortCOM_XPORT>("COM1", &block, 0);
        SetAwayFromDefaults(*xport);
        const auto asked = AskedKeys(*xport);
        EXPECT_EQ(asked, AllKeys(*xport));
        EXPECT_TRUE(asked.count("is_xport"));
    }
}

TEST(ZumoRecords, SmallRecordsLayTheirBytes)
{
    TMemoryBlock block(0, 32);

    auto inverse = MakeList<TInverseTS>("inv", &block, 0);
    for (int i = 1; i <= 8; ++i) {
        block.Data()[0] = 0;
        inverse->Find<TField>(std::to_string(i))->SetValue(int32_t{1});
        EXPECT_EQ(block.Data()[0], 0x80 >> (i - 1)) << i;
    }

    std::memset(block.Data(), 0xEE, 32);
    auto scale = MakeList<TScaleTIT>("s", &block, 0);
    scale->ResetDefaults();
    EXPECT_EQ(Hex(block.Data(), 9), "00 00 80 3F 00 00 00 00 EE");

    auto relay = MakeList<TParamTU>("tu", &block, 0);
    EXPECT_EQ(Keys(*relay), (std::vector<std::string>{"type", "select_on", "select_off", "execute_on", "execute_off"}));
    for (int i = 0; i < relay->FieldCount(); ++i)
        static_cast<TField*>(relay->FieldByIndex(i))->SetValue(int32_t{i + 1});
    EXPECT_EQ(Hex(block.Data(), 3), "01 32 54");

    const std::vector<std::string> channelKeys{"start_adr", "count", "VAC", "Chtype", "ChFrm", "shared_delay"};
    std::memset(block.Data(), 0xEE, 32);
    auto channel = MakeList<TInternalChannel>("ch", &block, 0);
    auto dio = MakeList<TDIO_Channel>("dio", &block, 0);
    EXPECT_EQ(Keys(*channel), channelKeys);
    EXPECT_EQ(Keys(*dio), channelKeys);
    for (int i = 0; i < channel->FieldCount(); ++i)
        EXPECT_EQ(channel->FieldByIndex(i), channel->FindField(channelKeys[static_cast<size_t>(i)]));
    EXPECT_EQ(channel->VAC, channel->FindField("VAC"));
    EXPECT_EQ(dio->VAC, dio->FindField("vac"));
    channel->ResetDefaults();
    EXPECT_EQ(Hex(block.Data(), 20), "01 00 00 00 00 00 00 00 FF FF 00 00 EE EE EE EE EE EE EE EE");
}
