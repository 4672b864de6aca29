#include "model/uDocument.h"
#include "tests/support/LayoutAudit.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <span>
#include <string>
#include <vector>

using testsupport::ErrorOf;
using testsupport::ScriptedPrompt;

namespace {

constexpr int kCount = 16;
constexpr int kSlot = 65;

// The base of the fixture records that show texts of the document's storage.
class TStorageRecord : public TFieldLst {
protected:
    TStorageRecord(TMemoryBlock* block, int32_t offset, TFlashStringsStorage* storage)
        : TFieldLst(block, offset), storage_(storage)
    {
    }

    TFlashStringsStorage* storage_;
};

// A record with a word "w" and a string proxy "descr" on text 2 (default "abc").
class TNamedRecord : public TStorageRecord {
public:
    void Build() override
    {
        TLayout l(*this);
        l.Field("w", ftWord, int32_t{0}, false);
        descr = l.Add("descr", Make<TStringsStorageProxyField>(*storage_, 2, std::string("abc")));
        l.Finish();
    }
    TStringsStorageProxyField* descr = nullptr;

protected:
    using TStorageRecord::TStorageRecord;
};

// A record with a word "0003" that selects a text, and a lookup proxy "lookup" on it.
class TPickedRecord : public TStorageRecord {
public:
    void Build() override
    {
        TLayout l(*this);
        TField* index = l.Field("0003", ftWord, int32_t{0}, false);
        lookup = l.Add("lookup", Make<TLookupProxyField>(*storage_, *index));
        l.Finish();
    }
    TLookupProxyField* lookup = nullptr;

protected:
    using TStorageRecord::TStorageRecord;
};

// A record laid out by its maker.
class TBareRecord : public TFieldLst {
public:
    void Build() override {}

protected:
    using TFieldLst::TFieldLst;
};

// The fixture document: block 0 holds a 16 x 65 storage (its key sorts before the
// records, so a reset clears it before the proxies write their defaults), block 0x1000 the two records
// and a checked word "chk" (default 7). It saves and loads its blocks as a HEX file.
class TStorageDoc : public TDocument {
public:
    TFlashFixedStringsStorage* storage = nullptr;
    TNamedRecord* named = nullptr;
    TPickedRecord* picked = nullptr;
    TField* checked = nullptr;
    int reloads = 0;

    void Build() override
    {
        TLayout names(*this, Image.AddBlock(0, 5 + kCount * kSlot), 0);
        storage = names.Add("descrList", Make<TFlashFixedStringsStorage>(names.Block(), 0, kCount, kSlot, false, uint8_t{1}));
        TLayout records(*this, Image.AddBlock(0x1000, 16), 0);
        named = records.List<TNamedRecord>("named", "Named", storage);
        picked = records.List<TPickedRecord>("picked", "Picked", storage);
        checked = records.Field("chk", ftWord, int32_t{7}, true);
    }
    void ReloadAll() override
    {
        ++reloads;
        TDocument::ReloadAll();
    }
    std::vector<std::string> GetPortNames() const override { return {}; }
    void SaveToFile(const std::filesystem::path& file) override { Image.SaveToHexFile(file, false, BaseAddress, 16); }
    bool ImportImage(std::istream& stream) override
    {
        TMemory file;
        file.LoadFromHexStream(stream, 0);
        for (int i = 0; i < Image.BlockCount(); ++i) {
            TMemoryBlock* b = Image.BlockByIndex(i);
            file.CopyRange(BaseAddress + b->Address, std::span<uint8_t>(b->Data(), static_cast<size_t>(b->Size)), false);
        }
        return true;
    }

protected:
    TStorageDoc() { ModelName = "Doc"; }
};

std::unique_ptr<TStorageDoc> NewDoc()
{
    auto doc = MakeDocument<TStorageDoc>();
    doc->ResetDefaults();
    return doc;
}

uint8_t* Bytes(TStorageDoc& doc) { return doc.Image.BlockByIndex(0)->Data(); }

std::vector<uint8_t> Header(TStorageDoc& doc) { return {Bytes(doc), Bytes(doc) + 5}; }

std::vector<uint8_t> Image(TStorageDoc& doc)
{
    std::vector<uint8_t> out;
    for (int i = 0; i < doc.Image.BlockCount(); ++i) {
        const TMemoryBlock* b = doc.Image.BlockByIndex(i);
        out.insert(out.end(), b->Data(), b->Data() + b->Size);
    }
    return out;
}

// Writes a text of Windows-1251 bytes straight into slot i.
void PutSlot(TStorageDoc& doc, int i, const std::string& bytes)
{
    uint8_t* slot = Bytes(doc) + 5 + i * kSlot;
    slot[0] = static_cast<uint8_t>(bytes.size());
    std::memcpy(slot + 1, bytes.data(), bytes.size());
}

// The cache shows exactly the texts the slots hold, with their positions.
void ExpectCacheMatchesSlots(const TFlashFixedStringsStorage& s)
{
    ASSERT_EQ(s.CachedStrings.size(), static_cast<size_t>(s.Count));
    for (int i = 0; i < s.Count; ++i) {
        EXPECT_EQ(s.CachedStrings[static_cast<size_t>(i)].first, s.GetString(i)) << i;
        EXPECT_EQ(s.CachedStrings[static_cast<size_t>(i)].second, i);
    }
}

const std::vector<uint8_t> kGoodHeader = {0x01, 0x10, 0x00, 0x00, 0x00};

} // namespace

TEST(StringStorage, HeaderIsWrittenWhenBuiltAndRepairedByAReset)
{
    auto doc = MakeDocument<TStorageDoc>();
    TFlashFixedStringsStorage& s = *doc->storage;
    EXPECT_EQ(s.Size, 1045);
    EXPECT_EQ(s.SlotSize(), 65);
    EXPECT_EQ(s.MaxValue, 65);
    EXPECT_EQ(s.MinValue, 0);
    EXPECT_EQ(s.MaxStringLength(), 64);
    EXPECT_EQ(s.HeaderSize(), 5);
    EXPECT_FALSE(s.CheckDefault);
    EXPECT_EQ(Header(*doc), kGoodHeader) << "a freshly built document holds its header";
    ExpectCacheMatchesSlots(s);
    EXPECT_EQ(s.GetValue().ToString(), "");
    EXPECT_EQ(ErrorOf([&] { s.SetValue(1); }), "тип 256 не поддерживается");

    // A kept load left a bad header behind: a reset repairs it and reloads cleanly.
    Bytes(*doc)[0] = 2;
    Bytes(*doc)[1] = 17;
    PutSlot(*doc, 4, "old");
    doc->ResetDefaults();
    EXPECT_EQ(Header(*doc), kGoodHeader);
    EXPECT_EQ(s.GetString(4), "");
    EXPECT_EQ(ErrorOf([&] { doc->ReloadAll(); }), "(no error)");
    ExpectCacheMatchesSlots(s);
}

TEST(StringStorage, LongTextsAreCutAndTheCacheShowsWhatWasStored)
{
    auto doc = NewDoc();
    TFlashFixedStringsStorage& s = *doc->storage;
    const std::string seventy(70, 'x');
    s.SetString(3, seventy);
    const uint8_t* slot = Bytes(*doc) + 5 + 3 * kSlot;
    EXPECT_EQ(slot[0], 64);
    EXPECT_EQ(std::string(slot + 1, slot + 65), std::string(64, 'x'));
    EXPECT_EQ(s.GetString(3), std::string(64, 'x'));
    EXPECT_EQ(s.CachedStrings[3].first, std::string(64, 'x'));

    // A shorter text after it zeroes what the longer one left.
    EXPECT_EQ(s.WriteString(3, "ab", 2), 2);
    EXPECT_EQ(slot[0], 2);
    EXPECT_EQ(slot[3], 0);
    EXPECT_EQ(slot[63], 0);

    // A length byte beyond the slot reads as the slot's characters.
    PutSlot(*doc, 5, std::string(64, 'y'));
    Bytes(*doc)[5 + 5 * kSlot] = 200;
    EXPECT_EQ(s.GetString(5), std::string(64, 'y'));
}

TEST(StringStorage, BadHeaderRaisesAfterTheCacheFollowedTheSlots)
{
    struct Case {
        int at;
        uint8_t byte;
        const char* message;
    };
    const Case cases[] = {
        {0, 2, "Версия справочника строк не подерживается (1 != 2)"},
        {1, 17, "Ошибка определения размера справочника строк (17 != 16)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        auto doc = NewDoc();
        doc->storage->SetString(1, "before");
        PutSlot(*doc, 1, "after");
        PutSlot(*doc, 9, "new");
        Bytes(*doc)[c.at] = c.byte;
        const std::vector<uint8_t> image = Image(*doc);
        EXPECT_EQ(ErrorOf([&] { doc->ReloadAll(); }), c.message);
        EXPECT_EQ(doc->storage->CachedStrings[1].first, "after");
        EXPECT_EQ(doc->storage->CachedStrings[9].first, "new");
        ExpectCacheMatchesSlots(*doc->storage);
        EXPECT_EQ(Image(*doc), image) << "the header stays as read";
    }
}

TEST(StringStorage, IndexOutsideTheSlotsIsARangeErrorAndWritesNothing)
{
    auto doc = NewDoc();
    TFlashFixedStringsStorage& s = *doc->storage;
    const std::vector<uint8_t> image = Image(*doc);
    for (int index : {-1, kCount}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(ErrorOf([&] { s.GetString(index); }), "Range error");
        EXPECT_EQ(ErrorOf([&] { s.SetString(index, "x"); }), "Range error");
        EXPECT_EQ(ErrorOf([&] { s.WriteString(index, "x", 1); }), "Range error");
    }
    EXPECT_EQ(Image(*doc), image);
    ExpectCacheMatchesSlots(s);
}

TEST(StringStorage, TextsAreStoredInWindows1251)
{
    ASSERT_EQ(testsupport::RunCommand("/usr/bin/python3 -c 'pass'"), 0) << "/usr/bin/python3 is needed";
    auto doc = NewDoc();
    TFlashFixedStringsStorage& s = *doc->storage;
    const std::string name = "Регистр ёЁ №7";
    s.SetString(0, name);
    std::string expected;
    ASSERT_EQ(testsupport::RunCommand("/usr/bin/python3 -c 'import sys; sys.stdout.write(sys.argv[1].encode(\"cp1251\").hex())' '" +
                                          name + "'",
                                      &expected),
              0);
    const uint8_t* slot = Bytes(*doc) + 5;
    EXPECT_EQ(slot[0], expected.size() / 2);
    std::string stored;
    for (int i = 1; i <= slot[0]; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", slot[i]);
        stored += hex;
    }
    EXPECT_EQ(stored, expected);
    EXPECT_EQ(s.GetString(0), name);

    s.SetString(1, "€");
    EXPECT_EQ(slot[kSlot], 1);
    EXPECT_EQ(slot[kSlot + 1], 0x88);
    EXPECT_EQ(s.GetString(1), "€");

    s.SetString(2, "中");
    EXPECT_EQ(slot[2 * kSlot + 1], '?');
    EXPECT_EQ(s.CachedStrings[2].first, "?") << "the cache shows the stored text, not the typed one";
}

TEST(StringStorage, StringProxyStandsForItsSlot)
{
    auto doc = NewDoc();
    TStringsStorageProxyField& descr = *doc->named->descr;
    EXPECT_EQ(descr.Size, 0);
    EXPECT_EQ(doc->named->Size, 2) << "the proxy moves no offset";
    EXPECT_EQ(doc->picked->Offset, 2);
    EXPECT_EQ(descr.MaxValue, 65);
    EXPECT_EQ(descr.Target, doc->storage);
    EXPECT_FALSE(descr.CheckDefault);
    EXPECT_TRUE(testsupport::AuditLayout(*doc->named, 2));

    EXPECT_EQ(descr.GetValue().ToString(), "abc") << "the reset wrote its default";
    EXPECT_EQ(doc->storage->GetString(2), "abc");
    PutSlot(*doc, 2, "raw");
    EXPECT_EQ(descr.GetValue().ToString(), "raw");

    int changes = 0, validations = 0;
    auto onChange = [&changes](TField*) { ++changes; };
    auto onValidate = [&validations](const void*, TField*, const Variant&, TFieldLst*, bool& accept) {
        ++validations;
        accept = false;
    };
    descr.OnChange = TNotifyEvent::Of(onChange);
    descr.OnValidate = TFieldValidateEvent::Of(onValidate);
    doc->SetModified(false);
    descr.SetValue(std::string(70, 'z')); // no limit check, no validate event
    EXPECT_EQ(doc->storage->GetString(2), std::string(64, 'z'));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(validations, 0);
    EXPECT_TRUE(descr.Modified);

    descr.ResetDefaults();
    EXPECT_EQ(doc->storage->GetString(2), "abc");
}

TEST(StringStorage, LookupProxyPicksATextByTheIndexField)
{
    auto doc = NewDoc();
    TLookupProxyField& lookup = *doc->picked->lookup;
    TField& index = *doc->picked->Find<TField>("0003");
    for (int i = 0; i < kCount; ++i) doc->storage->SetString(i, "T" + std::to_string(i));

    index.SetValue(3);
    EXPECT_EQ(lookup.GetValue().ToInt32(), 3);
    EXPECT_EQ(lookup.IndexField, &index);

    TPickList list = {{"kept", 99}};
    lookup.FillLookupList(list, 0);
    lookup.FillLookupList(list, 1);
    ASSERT_EQ(list.size(), 1u + 2 * kCount) << "appended, not cleared";
    EXPECT_EQ(list[0], (std::pair<std::string, int>{"kept", 99}));
    EXPECT_EQ(list[1], (std::pair<std::string, int>{"T0", 0}));
    EXPECT_EQ(list[16], (std::pair<std::string, int>{"T15", 15}));
    EXPECT_EQ(list[17], (std::pair<std::string, int>{"T0", 1}));
    EXPECT_EQ(list[32], (std::pair<std::string, int>{"T15", 16}));

    // The 1-based numbering: value v shows text v - 1.
    index.SetValue(1);
    EXPECT_EQ(lookup.LookupText(-1), "T0");
    index.SetValue(16);
    EXPECT_EQ(lookup.LookupText(-1), "T15");
    for (int v : {0, 17}) {
        index.SetValue(v);
        EXPECT_EQ(ErrorOf([&] { lookup.LookupText(-1); }), "Range error") << v;
    }

    index.SetValue(1);
    lookup.ResetDefaults();
    EXPECT_EQ(index.GetValue().ToInt32(), 1) << "a reset leaves the index alone";
    lookup.SetValue(5);
    EXPECT_EQ(index.GetValue().ToInt32(), 5);
    EXPECT_EQ(doc->storage->GetString(0), "T0");
}

TEST(StringStorage, AuditChecksAProxyAgainstItsStorage)
{
    auto doc = NewDoc();
    auto other = NewDoc();
    auto record = MakeList<TBareRecord>("R", doc->Image.BlockByIndex(1), 0);
    TLayout l(*record);
    l.Field("w", ftWord, int32_t{0}, false);
    l.Add("far", Make<TStringsStorageProxyField>(*doc->storage, kCount, std::string()));
    l.Add("foreign", Make<TStringsStorageProxyField>(*other->storage, 0, std::string()));
    l.Finish();
    doc->AddField("R", std::move(record));
    const std::vector<std::string> problems = testsupport::LayoutProblems(*doc->Find<TFieldLst>("R"), 2);
    EXPECT_EQ(problems, (std::vector<std::string>{"\"R.far\": text 16 outside a storage of 16",
                                                  "\"R.foreign\": its storage belongs to another document"}));
}

TEST(StringStorage, DefaultCheckAsksNothingAboutFilledSlots)
{
    auto doc = NewDoc();
    for (int i = 0; i < kCount; ++i) doc->storage->SetString(i, std::string(64, static_cast<char>('a' + i)));
    doc->picked->Find<TField>("0003")->SetValue(9);
    ScriptedPrompt prompt; // any question fails the test
    TDefaultCheckRun run{0, &prompt};
    doc->CheckDefaults("Doc", run);
    EXPECT_TRUE(prompt.Questions().empty());
}

TEST(StringStorage, HeaderCheckComesBeforeAnyQuestionOnALoad)
{
    testsupport::TempDir dir;
    auto source = NewDoc();
    source->checked->SetValue(8);
    source->SaveToFile(dir / "good.hex");
    Bytes(*source)[0] = 2;
    source->storage->SetString(6, "six");
    source->SaveToFile(dir / "broken.hex");

    auto doc = NewDoc();
    ScriptedPrompt prompt; // no answer queued: a question fails the test
    doc->Prompt = &prompt;
    doc->reloads = 0;
    EXPECT_EQ(ErrorOf([&] { doc->LoadFromFile(dir / "broken.hex"); }),
              "Версия справочника строк не подерживается (1 != 2)");
    EXPECT_TRUE(prompt.Questions().empty());
    EXPECT_EQ(doc->reloads, 1) << "ReloadAll still ran";
    EXPECT_EQ(doc->storage->CachedStrings[6].first, "six");
    EXPECT_EQ(doc->checked->GetValue().ToInt32(), 8) << "nothing was reset";

    auto good = NewDoc();
    ScriptedPrompt asked{mrNo};
    good->Prompt = &asked;
    good->LoadFromFile(dir / "good.hex");
    EXPECT_EQ(asked.Questions().size(), 1u);
}
