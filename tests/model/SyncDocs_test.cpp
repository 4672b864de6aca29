#include "model/uZumo2sin.h"
#include "model/uZumo2sin_scale50.h"
#include "model/uZumo2sin_scale80.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/LayoutAudit.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/ProtocolBlockFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

using namespace testsupport;
using platform::Format;

namespace {

struct Variant_ {
    int code;
    std::unique_ptr<TZumo2Doc> (*make)();
    const char* className;
    const char* modelName;
    const char* scheme;
    std::vector<std::pair<uint32_t, int32_t>> blocks; // in list order
    int devices;
    int32_t deviceSize;
    const char* deviceClass;
    const char* devScaleClass;
    const char* scaleClass;
    int scaleBlocks;
    int32_t titStart; // of the apertures in the TIT block
};

const Variant_ kVariants[] = {
    {1, MakeZumo2sinDoc, "TZumo2sinDoc", "Zumo2 синх", "Scheme ID:9.0.0.0",
     {{0x0000, 84}, {0x0200, 21200}, {0x54D0, 6455}, {0x7000, 1925}}, 20, 1044, "TZumo2sin_Device",
     "TZumo2sin_DevScale", "TZumo2sin_ScaleTIT", 60, 1200},
    {14, MakeZumo2sin80Doc, "TZumo2sin80Doc", "Zumo2 синх 80", "Scheme ID:13.0.0.0",
     {{0x0000, 84}, {0x0200, 18380}, {0x49CC, 6455}, {0x74B0, 600}}, 15, 1204, "TZumo2sin80_Device",
     "TZumo2sin80_DevScale", "TZumo2sin80_ScaleTIT", 80, 0},
    {15, MakeZumo2sin50Doc, "TZumo2sin50Doc", "Zumo2 синх 50", "Scheme ID:9.0.0.0",
     {{0x0000, 84}, {0x0200, 19600}, {0x5490, 6455}, {0x74B0, 600}}, 20, 964, "TZumo2sin50_Device",
     "TZumo2sin50_DevScale", "TZumo2sin50_ScaleTIT", 50, 0},
};

std::unique_ptr<TZumo2SyncDoc> NewSync(std::unique_ptr<TZumo2Doc> (*make)(), bool reset = true)
{
    return MakeAs<TZumo2SyncDoc>(make, reset);
}

} // namespace

TEST(SyncDocs, VariantTable)
{
    for (const Variant_& v : kVariants) {
        SCOPED_TRACE(v.className);
        auto doc = NewSync(v.make);
        ASSERT_TRUE(doc);
        EXPECT_STREQ(doc->ClassName(), v.className);
        EXPECT_EQ(doc->ModelName, v.modelName);
        EXPECT_EQ(doc->Name, "Zumo2");
        EXPECT_EQ(doc->ExpectedSchemeId, v.scheme);
        EXPECT_EQ(doc->SchemeIdField()->GetValue().ToString(), v.scheme);
        EXPECT_EQ(doc->SchemeIdField()->Offset, 64);
        EXPECT_EQ(doc->BaseAddress, 0x08004000u);
        EXPECT_EQ(doc->KpProtocolMask, 0x0FEFEFBEu);
        EXPECT_EQ(doc->PuProtocolMask, 0x00D59B7Eu);
        EXPECT_EQ(doc->GetPortNames(), (std::vector<std::string>{"COM", "XPort", "485"}));
        ASSERT_EQ(doc->Image.BlockCount(), 4);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(doc->Image.BlockByIndex(i)->Address, v.blocks[static_cast<size_t>(i)].first) << i;
            EXPECT_EQ(doc->Image.BlockByIndex(i)->Size, v.blocks[static_cast<size_t>(i)].second) << i;
        }
        ASSERT_EQ(doc->DeviceCount(), v.devices);
        for (int i = 0; i < v.devices; ++i) {
            TDevice& d = *doc->DeviceByIndex(i);
            EXPECT_STREQ(d.ClassName(), v.deviceClass);
            EXPECT_EQ(d.NodeOffset(), v.deviceSize * i);
            EXPECT_EQ(d.ScaleBlockCount(), v.scaleBlocks);
            EXPECT_STREQ(d.ScaleBlockByIndex(0)->ClassName(), v.devScaleClass);
            EXPECT_TRUE(AuditLayout(d, v.deviceSize));
        }
        ASSERT_EQ(doc->LogicChannelCount(), 20);
        EXPECT_EQ(doc->LogicChannelByIndex(0)->NodeOffset(), v.deviceSize * v.devices);
        EXPECT_EQ(doc->LogicChannelByIndex(19)->NodeOffset() + 16, v.blocks[1].second);
        for (int i = 0; i < 20; ++i) EXPECT_TRUE(AuditLayout(*doc->LogicChannelByIndex(i), 16));
        ASSERT_EQ(doc->ScaleCount(), 50);
        ASSERT_EQ(doc->ApertureCount(), 50);
        EXPECT_EQ(doc->ApertureByIndex(0)->NodeOffset(), v.titStart);
        EXPECT_EQ(doc->ScaleByIndex(0)->NodeOffset(), v.titStart + 200);
        for (int i = 0; i < 50; ++i) {
            EXPECT_STREQ(doc->ScaleByIndex(i)->ClassName(), v.scaleClass);
            EXPECT_TRUE(AuditLayout(*doc->ScaleByIndex(i), 8));
            EXPECT_TRUE(AuditLayout(*doc->ApertureByIndex(i), 4));
        }
        ASSERT_NE(doc->ScaleDescriptions, nullptr);
        EXPECT_EQ(doc->FindField("scaleTIT_descrList"), doc->ScaleDescriptions);
        EXPECT_EQ(doc->ScaleDescriptions->Count, 50);
        EXPECT_EQ(doc->ScaleDescriptions->SlotSize(), 129);
        for (const char* port : {"UART0", "UART1", "UART2", "USB"}) EXPECT_TRUE(AuditLayout(*doc->Find<TFieldLst>(port), 8));

        ScriptedPrompt prompt; // a reset document asks nothing
        TDefaultCheckRun run{0, &prompt};
        doc->CheckDefaults(doc->ModelName, run);
        EXPECT_TRUE(prompt.Questions().empty());
    }
}

TEST(SyncDocs, DescriptionsThroughTheProxies)
{
    auto doc = NewSync(MakeZumo2sinDoc);
    TFieldLst& fifth = *doc->ScaleByIndex(4);
    EXPECT_EQ(KeysOf(fifth), (std::vector<std::string>{"0001", "0002", "descr"}));
    TDevScale& block = *doc->DeviceByIndex(3)->ScaleBlockByIndex(59);
    EXPECT_EQ(KeysOf(block), (std::vector<std::string>{"0001", "0002", "0003", "descr"}));
    EXPECT_EQ(fifth.Size, 8);
    EXPECT_EQ(block.Size, 8);

    fifth.Find<TField>("descr")->SetValue("Ток фазы А");
    EXPECT_EQ(doc->ScaleDescriptions->GetString(4), "Ток фазы А");
    for (int d = 0; d < doc->DeviceCount(); d += 7) {
        TDevScale& b = *doc->DeviceByIndex(d)->ScaleBlockByIndex(d);
        b.Find<TField>("0003")->SetValue(5);
        auto* lookup = b.Find<TLookupProxyField>("descr");
        ASSERT_NE(lookup, nullptr);
        EXPECT_EQ(lookup->LookupText(-1), "Ток фазы А") << d;
        for (int number : {0, 51}) {
            b.Find<TField>("0003")->SetValue(number);
            EXPECT_EQ(ErrorOf([&] { lookup->LookupText(-1); }), "Range error") << number;
        }
    }
    TPickList list;
    block.Find<TLookupProxyField>("descr")->FillLookupList(list, 1);
    ASSERT_EQ(list.size(), 50u);
    EXPECT_EQ(list.front(), (std::pair<std::string, int>{"", 1}));
    EXPECT_EQ(list[4], (std::pair<std::string, int>{"Ток фазы А", 5}));
    EXPECT_EQ(list.back().second, 50);

    doc->ScaleByIndex(49)->Find<TField>("descr")->SetValue(std::string(200, 'd'));
    EXPECT_EQ(doc->ScaleDescriptions->GetString(49), std::string(128, 'd'));

    TempDir dir;
    doc->SaveToFile(dir / "sync.hex");
    auto back = NewSync(MakeZumo2sinDoc, false);
    back->LoadFromFile(dir / "sync.hex");
    const uint8_t* header = back->Image.BlockByIndex(2)->Data();
    EXPECT_EQ(std::vector<uint8_t>(header, header + 5), (std::vector<uint8_t>{0x01, 0x32, 0x00, 0x00, 0x00}));
    EXPECT_EQ(back->ScaleByIndex(4)->Find<TField>("descr")->GetValue().ToString(), "Ток фазы А");
    EXPECT_EQ(back->ScaleDescriptions->CachedStrings[49].first, std::string(128, 'd'));
}

TEST(SyncDocs, FilesOfEachVariantRoundTripAndPeersAgree)
{
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c 'import intelhex' 2>/dev/null"), 0)
        << "the Debian package python3-intelhex is needed";
    for (const Variant_& v : kVariants) {
        SCOPED_TRACE(v.className);
        TempDir dir;
        auto doc = NewSync(v.make);
        doc->ScaleByIndex(2)->Find<TField>("descr")->SetValue("Напряжение");
        doc->SaveToFile(dir / "a.hex");

        // python3-intelhex sees exactly the document's bytes: nothing in a gap between blocks.
        EXPECT_EQ(IntelHexLines(dir / "a.hex"), AddressLines(*doc));

        auto back = NewSync(v.make, false);
        ScriptedPrompt prompt; // any question fails the test
        back->Prompt = &prompt;
        back->LoadFromFile(dir / "a.hex");
        back->SaveToFile(dir / "b.hex");
        EXPECT_EQ(ReadFile(dir / "b.hex"), ReadFile(dir / "a.hex"));
        EXPECT_EQ(back->ScaleByIndex(2)->Find<TField>("descr")->GetValue().ToString(), "Напряжение");
    }
}

TEST(SyncDocs, ACode1FileOpenedAsCode15StopsAtTheDescriptionHeader)
{
    TempDir dir;
    auto sin = NewSync(MakeZumo2sinDoc);
    sin->SaveToFile(dir / "sin.hex");
    auto doc = NewSync(MakeZumo2sin50Doc, false);
    ScriptedPrompt prompt; // no question: the header check comes first
    doc->Prompt = &prompt;
    EXPECT_EQ(ErrorOf([&] { doc->LoadFromFile(dir / "sin.hex"); }), "Версия справочника строк не подерживается (1 != 0)");
    EXPECT_TRUE(prompt.Questions().empty());
}
