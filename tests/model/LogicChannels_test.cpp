#include "model/uZumo_Classes.h"
#include "platform/Format.h"
#include "tests/support/LayoutAudit.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

using testsupport::AuditLayout;
using testsupport::FitsArea;
using testsupport::ScopedLogRecorder;
using testsupport::ScriptedPrompt;

using testsupport::Hex;

namespace {

constexpr uint8_t kSentinel = 0xA5;

// A document whose one block holds nothing but a table of 20 logical channels.
class TChannelDoc : public TDocument {
public:
    static constexpr int Count = 20;
    TMemoryBlock* Table = nullptr;
    std::vector<TLogic*> Entries;

    void Build() override
    {
        Table = Image.AddBlock(0x0200, Count * 16);
        for (int i = 0; i < Count; ++i) {
            const std::string name = platform::Format("Логический_канал_%.2d", i + 1);
            auto entry = MakeList<TLogic>(name, Table, i * 16);
            Entries.push_back(entry.get());
            AddField(name, std::move(entry));
        }
    }
    std::vector<std::string> GetPortNames() const override { return {"UART0", "UART1", "ETH0"}; }
    void SaveToFile(const std::filesystem::path&) override {}

protected:
    TChannelDoc() { ModelName = "Тест"; }
};

class LogicChannels : public ::testing::Test {
protected:
    LogicChannels() : doc(MakeDocument<TChannelDoc>()) {}

    uint8_t* Bytes() { return doc->Table->Data(); }
    void FillSentinel() { std::memset(Bytes(), kSentinel, static_cast<size_t>(doc->Table->Size)); }
    std::string Area(int entry) { return Hex(Bytes() + entry * 16 + 8, 8); }
    TLogic& Entry(int i) { return *doc->Entries[static_cast<size_t>(i)]; }
    void SetType(int entry, int code) { Entry(entry).TypeField->SetValue(int32_t{code}); }
    TField* KindField(int entry, const char* key) { return Entry(entry).ActiveKind()->Find<TField>(key); }

    std::unique_ptr<TChannelDoc> doc;
};

} // namespace

TEST_F(LogicChannels, LayoutsAreSoundAndKindsFitTheArea)
{
    TLogic& last = Entry(TChannelDoc::Count - 1);
    EXPECT_TRUE(AuditLayout(last, 16));
    EXPECT_EQ(last.FieldCount(), 5); // the kinds are no children
    EXPECT_EQ(last.KindAreaOffset, 19 * 16 + 8);
    EXPECT_EQ(last.Kind(0), nullptr);
    for (int i = 1; i < ChannelTypeCount; ++i) {
        const TLogicChannel* kind = last.Kind(i);
        ASSERT_NE(kind, nullptr) << i;
        EXPECT_EQ(kind->Name, ChannelTypeNames[i]);
        EXPECT_EQ(kind->Parent, nullptr);
        EXPECT_TRUE(AuditLayout(*kind, 8)) << i;
        EXPECT_TRUE(FitsArea(*kind, last.KindAreaOffset, TLogic::KindAreaSize)) << i;
    }
    EXPECT_STREQ(last.Kind(7)->ClassName(), "TLogicTR");
}

TEST_F(LogicChannels, SwitchingTheKindRewritesOnlyThisEntrysArea)
{
    struct Row {
        int code;
        const char* area;
    };
    const Row rows[] = {
        {0, "00 00 05 00 00 00 00 00"},  {1, "00 00 03 00 00 00 00 00"},  {2, "00 00 00 00 00 00 00 00"},
        {3, "00 00 00 00 00 00 00 00"},  {14, "00 00 FF FF FF FF FF FF"}, {15, "00 00 FF FF FF FF FF FF"},
        {6, "00 00 01 00 00 00 00 00"},  {99, "00 00 00 00 00 00 00 00"}, {255, "00 00 00 00 00 00 00 00"},
    };
    for (const Row& r : rows) {
        FillSentinel();
        SetType(5, r.code);
        EXPECT_EQ(Area(5), r.area) << r.code;
        for (int i = 0; i < doc->Table->Size; ++i) {
            if (i / 16 == 5 && (i % 16 >= 8 || i % 16 == 6)) continue;
            ASSERT_EQ(Bytes()[i], kSentinel) << "code " << r.code << ", byte " << i;
        }
        EXPECT_EQ(Bytes()[5 * 16 + 6], r.code);
        if (r.code == 14 || r.code == 15) {
            const char p = r.code == 14 ? '5' : '6';
            for (const char* n : {"02", "03", "04"})
                EXPECT_EQ(KindField(5, (std::string(1, p) + n).c_str())->GetValue().ToInt32(), -1);
        }

        // The code the entry holds already: nothing is zeroed or reset.
        std::memset(Bytes() + 5 * 16 + 8, kSentinel, 8);
        SetType(5, r.code);
        EXPECT_EQ(Area(5), "A5 A5 A5 A5 A5 A5 A5 A5") << r.code;
    }
}

TEST_F(LogicChannels, RegulationStaysWithinItsEntry)
{
    // Entry 6's address shares no byte with entry 5's "Field2".
    Entry(6).AddrField->SetValue(int32_t{0x123456});
    SetType(5, 6);
    KindField(5, "Field2")->SetValue(int32_t{0xFFFFFF});
    EXPECT_EQ(Area(5), "00 00 01 00 00 FF FF FF");
    EXPECT_EQ(Entry(6).AddrField->GetValue().ToInt32(), 0x123456);
    EXPECT_EQ(KindField(5, "Field2")->GetValue().Kind(), VariantKind::UInt32);

    // The last entry of the block: the block ends where its area ends.
    FillSentinel();
    const int last = TChannelDoc::Count - 1;
    SetType(last, 6);
    Entry(last).ActiveKind()->ResetDefaults();
    EXPECT_EQ(Area(last), "00 00 01 00 00 00 00 00");
    Entry(last).ResetDefaults();
    EXPECT_EQ(Area(last), "00 00 00 00 00 00 00 00");
    EXPECT_EQ(Hex(Bytes() + last * 16, 8), "00 00 00 01 00 00 FF FF");
    for (int i = 0; i < last * 16; ++i) ASSERT_EQ(Bytes()[i], kSentinel) << i;
}

TEST_F(LogicChannels, DisplayListsFollowTheTypeValue)
{
    struct Row {
        int code;        // of the entry
        int typeValue;   // of the kind's type field
        bool direct;     // written straight into the image, as a load does
        std::vector<std::string> captions;
        std::vector<std::string> keys;
    };
    const std::vector<std::string> titChannels{"Канал 1", "Канал 2", "Канал 3", "Канал 4", "Канал 5"};
    const Row rows[] = {
        {0, 5, false, {"Tип", "Значение ТС для остановки"}, {"102", "103"}},
        {0, 6, false, {"Tип", "Инверсия значения"}, {"102", "103"}},
        {0, 7, false, {"Tип", "Период (мин)"}, {"102", "103"}},
        {0, 0, false, {"Tип", "Адрес"}, {"102", "101"}},
        {0, 8, true, {"Tип", "Период (мин)"}, {"102", "103"}},
        {1, 0, false, {"Тип", "Адрес"}, {"202", "201"}},
        {1, 1, false,
         {"Тип", "Адрес", "Канал 1", "Канал 2", "Канал 3", "Канал 4", "Канал 5"},
         {"202", "201", "203", "204", "205", "206", "207"}},
        {1, 4, false, {"Тип"}, {"202"}},
        {1, 2, true,
         {"Тип", "Адрес", "Канал 1", "Канал 2", "Канал 3", "Канал 4", "Канал 5"},
         {"202", "201", "203", "204", "205", "206", "207"}},
        {3, 4, false, {"Логическое назначение", "Адрес"}, {"302", "301"}},
        {3, 9, false, {"Логическое назначение"}, {"302"}},
        {3, 4, true, {"Логическое назначение", "Адрес"}, {"302", "301"}},
        {2, 0, false, {"Тип"}, {"702"}},
        {14, 0, false, {"Адрес", "Канал 1", "Канал 2", "Канал 3"}, {"501", "502", "503", "504"}},
        {15, 0, false, {"Адрес", "Канал 1", "Канал 2", "Канал 3"}, {"601", "602", "603", "604"}},
        {6, 1, false, {"Тип", "ВАК ТИТ", "Количество"}, {"Type", "Addr", "Count"}},
    };
    const char* const typeKeys[16] = {"102", "202", "702", "302", nullptr, nullptr, "Type"};
    TLogic& e = Entry(3);
    for (const Row& r : rows) {
        const std::string label = std::to_string(r.code) + "/" + std::to_string(r.typeValue) + (r.direct ? " direct" : "");
        if (r.direct) {
            // Another kind first, so that only the image knows the new one.
            SetType(3, r.code == 0 ? 1 : 0);
            Bytes()[3 * 16 + 6] = static_cast<uint8_t>(r.code);
            std::memset(Bytes() + 3 * 16 + 8, 0, 8);
            Bytes()[3 * 16 + 8 + 2] = static_cast<uint8_t>(r.typeValue);
        } else {
            SetType(3, r.code);
            if (const char* key = typeKeys[r.code]) KindField(3, key)->SetValue(int32_t{r.typeValue});
        }
        const TLogicChannel* kind = e.ActiveKind();
        ASSERT_NE(kind, nullptr) << label;
        ASSERT_EQ(kind->ParamFieldCount(), static_cast<int>(r.captions.size())) << label;
        for (size_t i = 0; i < r.captions.size(); ++i) {
            const int column = 3 + static_cast<int>(i);
            EXPECT_EQ(e.ColumnCaption(column), r.captions[i]) << label << " column " << column;
            EXPECT_EQ(e.ColumnField(column), kind->FindField(r.keys[i])) << label << " column " << column;
        }
        const int beyond = 3 + static_cast<int>(r.captions.size());
        EXPECT_EQ(e.ColumnCaption(beyond), "") << label;
        EXPECT_EQ(e.ColumnField(beyond), nullptr) << label;
        EXPECT_EQ(e.ColumnText(beyond), "") << label;
    }

    // The grid's call of the type handlers with no sender changes nothing.
    SetType(3, 0);
    KindField(3, "102")->SetValue(int32_t{7});
    KindField(3, "102")->OnChange(nullptr);
    EXPECT_EQ(e.ColumnCaption(4), "Период (мин)");
    EXPECT_EQ(Area(3), "00 00 07 00 00 00 00 00");
}

TEST_F(LogicChannels, ColumnTextsAndPorts)
{
    TLogic& e = Entry(0);
    doc->ResetDefaults();
    EXPECT_EQ(e.TypeField->GetValue().ToInt32(), 255);
    EXPECT_EQ(e.ActiveKindIndex(), 0);
    EXPECT_EQ(e.ActiveKind(), nullptr);
    EXPECT_EQ(e.ColumnText(0), "0");
    EXPECT_EQ(e.ColumnText(1), "Нет");
    EXPECT_EQ(e.ColumnText(2), "Нет");
    EXPECT_EQ(e.ColumnCaption(0), "ВАК");
    EXPECT_EQ(e.ColumnCaption(1), "Порт");
    EXPECT_EQ(e.ColumnCaption(2), "Тип логического канала");
    EXPECT_EQ(e.ColumnCaption(3), "");
    EXPECT_EQ(e.ColumnField(3), nullptr);
    EXPECT_EQ(e.ColumnField(0), e.FindField("000_1"));
    EXPECT_EQ(e.ColumnField(1), e.FindField("003"));
    EXPECT_EQ(e.ColumnField(2), e.FindField("002"));
    EXPECT_EQ(e.FieldName(0), "000_1");

    e.AddrField->SetValue(int32_t{0xFFFFFF});
    EXPECT_EQ(e.ColumnText(0), "16777215");
    EXPECT_EQ(e.AddrField->MaxValue, 0xFFFFFF);
    e.PortField->SetValue(int32_t{1});
    EXPECT_EQ(e.ColumnText(1), "UART1");
    e.PortField->SetValue(int32_t{3});
    EXPECT_EQ(e.ColumnText(1), "Нет");

    struct Row {
        int code;
        const char* typeKey;
        int value;
        const char* text;
    };
    const Row rows[] = {
        {3, "302", 9, "Отключить порт"},
        {3, "302", 2, "(2)Не найдено текст.представление"},
        {3, "302", 0, "Рестарт"},
        {2, "702", 5, ""},
        {2, "702", 7, "Кол-во испорченых пакетов"},
        {1, "202", 5, "5"},
        {1, "202", 3, "Период опроса усройства"},
        {0, "102", 8, "Периодическая генерация с привязкой ко времени"},
        {0, "102", 1, "(1)Не найдено текст.представление"},
        {6, "Type", 1, "Конвертация в ТИТ"},
        {6, "Type", 0, "(0)Не найдено текст.представление"},
    };
    for (const Row& r : rows) {
        SetType(0, r.code);
        KindField(0, r.typeKey)->SetValue(int32_t{r.value});
        EXPECT_EQ(e.ColumnText(3), r.text) << r.code << "/" << r.value;
        EXPECT_EQ(e.ColumnText(2), ChannelTypeNames[TLogic::KindIndexOfCode(r.code)]);
    }
    SetType(0, 6);
    EXPECT_EQ(e.ColumnText(4), "0");
    // Group commands show their values.
    SetType(0, 14);
    KindField(0, "502")->SetValue(int32_t{12});
    EXPECT_EQ(e.ColumnText(3), "0");
    EXPECT_EQ(e.ColumnText(4), "12");
    EXPECT_EQ(e.ColumnText(5), "-1");
    EXPECT_EQ(e.ColumnText(7), "");

    TPickList ports{{"stale", 7}};
    e.FillPortList(ports);
    EXPECT_EQ(ports, (TPickList{{"UART0", 0}, {"UART1", 1}, {"ETH0", 2}, {"Нет", 255}}));

    // An entry outside a document has no port names.
    TMemoryBlock block(0, 16);
    auto alone = MakeList<TLogic>("x", &block, 0);
    EXPECT_EQ(alone->PortText(0), "Нет");
    alone->FillPortList(ports);
    EXPECT_EQ(ports, (TPickList{{"Нет", 255}}));
}

TEST(LogicTexts, TablesAndPickLists)
{
    EXPECT_EQ(LogicTSSourceText(5), "Остановка работы порта");
    EXPECT_EQ(LogicTSSourceText(6), "Состояние порта");
    EXPECT_EQ(LogicTSSourceText(7), "Периодическая генерация");
    EXPECT_EQ(LogicTUCommandText(4), "Сброс КДС");
    EXPECT_EQ(LogicTUCommandText(-3), "(-3)Не найдено текст.представление");
    EXPECT_EQ(LogicTRKindText(2), "(2)Не найдено текст.представление");
    const char* const shortNames[] = {"ТС", "ТИТ", "ТИИ", "ТУ", "ТР", "Параметр", "", "ДТС", ""};
    for (int code = 0; code < 9; ++code) EXPECT_EQ(ChannelKindShortName(code), shortNames[code]) << code;
    EXPECT_EQ(LogicTITSourceText(9), "9");
    EXPECT_EQ(LogicTITSourceText(8), "Отсутсвие синхронизации времени");

    TMemoryBlock block(0, 16);
    auto entry = MakeList<TLogic>("x", &block, 0);
    entry->TypeField->SetValue(int32_t{1});
    TPickList list{{"stale", 1}};
    entry->ActiveKind()->FillValueList(0, list);
    ASSERT_EQ(list.size(), 14u);
    const int codes[] = {1, 2, 3, 4, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16};
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].second, codes[i]);
        EXPECT_EQ(list[i].first, LogicTITSourceText(codes[i]));
    }
    EXPECT_EQ(list.front().first, "Суммирование");
    EXPECT_EQ(list.back().first, "Скорость передачи");
    entry->ActiveKind()->FillValueList(1, list);
    EXPECT_TRUE(list.empty());

    // Other kinds offer nothing.
    entry->TypeField->SetValue(int32_t{0});
    list = {{"kept", 1}};
    entry->ActiveKind()->FillValueList(0, list);
    EXPECT_EQ(list, (TPickList{{"kept", 1}}));
}

TEST(LogicKinds, UnusedFieldsMustHoldTheirDefaults)
{
    struct Row {
        int code;
        const char* typeKey;
        int value;
        std::set<std::string> checked;
    };
    const std::set<std::string> titChannels{"203", "204", "205", "206", "207"};
    auto with = [](std::set<std::string> s, std::initializer_list<std::string> more) {
        s.insert(more);
        return s;
    };
    const Row rows[] = {
        {0, "102", 5, {"101", "104"}},
        {0, "102", 6, {"104"}},
        {0, "102", 8, {"104"}},
        {0, "102", 0, {"103", "104"}},
        {1, "202", 0, titChannels},
        {1, "202", 1, {}},
        {1, "202", 2, {}},
        {1, "202", 3, titChannels},
        {1, "202", 4, with(titChannels, {"201"})},
        {2, "702", 0, {"701", "noname_108", "noname_109"}},
        {3, "302", 4, {"303", "304"}},
        {3, "302", 9, {"301", "303", "304"}},
        {14, "502", 0, {}},
        {15, "602", 0, {}},
        {6, "Type", 1, {}},
    };
    TMemoryBlock block(0, 16);
    auto entry = MakeList<TLogic>("x", &block, 0);
    for (const Row& r : rows) {
        entry->TypeField->SetValue(int32_t{r.code});
        TLogicChannel& kind = *entry->ActiveKind();
        kind.Find<TField>(r.typeKey)->SetValue(int32_t{r.value});
        kind.MarkUnusedFields();
        std::set<std::string> checked;
        for (int i = 0; i < kind.FieldCount(); ++i)
            if (static_cast<TField*>(kind.FieldByIndex(i))->CheckDefault) checked.insert(kind.FieldName(i));
        EXPECT_EQ(checked, r.checked) << r.code << "/" << r.value;
    }
}

TEST_F(LogicChannels, DefaultCheckReachesTheActiveKind)
{
    ScopedLogRecorder log;
    doc->ResetDefaults();
    SetType(2, 0);
    KindField(2, "102")->SetValue(int32_t{0});
    KindField(2, "101")->SetValue(int32_t{9}); // used by this source: free
    KindField(2, "103")->SetValue(int32_t{7}); // unused: must hold 0
    Entry(2).Find<TField>("001")->SetValue(int32_t{4});

    ScriptedPrompt prompt{mrNo, mrYes};
    TDefaultCheckRun run{0, &prompt};
    Entry(2).CheckDefaults("Тест.Логический_канал_03", run);
    ASSERT_EQ(prompt.Questions().size(), 2u);
    EXPECT_NE(prompt.Questions()[0].find("\"Тест.Логический_канал_03.001\""), std::string::npos);
    EXPECT_NE(prompt.Questions()[1].find("\"Тест.Логический_канал_03.103\""), std::string::npos);
    EXPECT_EQ(Area(2), "09 00 00 00 00 00 00 00");
}
