#include "configurator/core/LoaderOperation.h"

#include "model/Memory.h"
#include "model/uZumo2.h"
#include "tests/support/DocumentImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// What the scripted library does and what it saw.
struct TScript {
    int32_t Answer = -1;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> Returned;  // blocks of the result list
    std::optional<int32_t> ChosenDevice;                               // settings: the index put into the list
    // Seen:
    int Calls = 0;
    int ParamsCalls = 0;
    int BlocksSeen = 0;
    int32_t ModelCodeSeen = -1;
    int Releases = 0;
    int Created = 0;
} script;

class TCountedBlock : public TMemoryBlock {
public:
    using TMemoryBlock::TMemoryBlock;
    void Release() override
    {
        ++script.Releases;
        delete this;
    }
};

class TCountedList : public TBlockList {
public:
    void Release() override
    {
        ++script.Releases;
        delete this;
    }
};

int32_t ScriptedInvoke3(int32_t op, int32_t, const char*, TBlockList* blocks, TBlockList** result, uint32_t,
                        uint8_t, uint32_t)
{
    ++script.Calls;
    script.BlocksSeen = blocks ? blocks->Count() : -1;
    if (op == opSettings) {
        script.ModelCodeSeen = (*result)->Integer(0);
        (*result)->Delete(0);
        if (script.ChosenDevice) (*result)->AddInteger(*script.ChosenDevice);
        return script.Answer;
    }
    if (!script.Returned.empty()) {
        auto* list = new TCountedList;
        ++script.Created;
        for (const auto& [address, bytes] : script.Returned) {
            auto* block = new TCountedBlock(address, static_cast<int32_t>(bytes.size()));
            std::memcpy(block->Data(), bytes.data(), bytes.size());
            list->AddBlock(block);
            ++script.Created;
        }
        list->Add(nullptr);  // an empty item is skipped
        *result = list;
    }
    return script.Answer;
}

void ScriptedParams(const LoaderParams*, int32_t size)
{
    if (size == 24) ++script.ParamsCalls;
}

class THost : public TLoaderOperationHost {
public:
    explicit THost(TDocument& doc) : doc_(doc) {}
    void Log(const std::string& line, int kind) override { Lines.push_back(std::to_string(kind) + " " + line); }
    bool AskWarning(const std::string& question) override
    {
        Questions.push_back(question);
        return AnswerYes;
    }
    void DeviceChosen(int32_t index) override { Chosen = index; }
    void ApplyReadDocument(TMemory& image) override { ApplyReadImage(doc_, image); }

    std::vector<std::string> Lines;
    std::vector<std::string> Questions;
    bool AnswerYes = true;
    std::optional<int32_t> Chosen;

private:
    TDocument& doc_;
};

// The document's blocks as the library returns them, at addresses relative to the
// document, as it received them.
std::vector<std::pair<uint32_t, std::vector<uint8_t>>> BlocksOf(const TDocument& doc)
{
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> out;
    for (int i = 0; i < doc.Image.BlockCount(); ++i) {
        const TMemoryBlock* b = doc.Image.BlockByIndex(i);
        out.emplace_back(b->Address, std::vector<uint8_t>(b->Data(), b->Data() + b->Size));
    }
    return out;
}

TOperationRequest Request(TDocument& doc, int32_t op)
{
    TOperationRequest r;
    r.Op = op;
    r.Caption = "Считать параметры";
    r.Device = 1;
    r.HasDeviceCombo = true;
    r.ModelCode = 16;
    r.BaseAddress = doc.BaseAddress;
    r.ExpectedSchemeId = doc.ExpectedSchemeId;
    for (int i = 0; i < doc.Image.BlockCount(); ++i) r.Blocks.push_back(doc.Image.BlockByIndex(i));
    return r;
}

void ChangeSchemeDigit(std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& blocks)
{
    static const std::string marker = "Scheme ID:";
    for (auto& [address, bytes] : blocks) {
        auto it = std::search(bytes.begin(), bytes.end(), marker.begin(), marker.end());
        if (it != bytes.end()) {
            it[static_cast<long>(marker.size())] = '9';
            return;
        }
    }
    FAIL() << "no scheme text in the document";
}

TEST(LoaderOperation, ReadPathsTable)
{
    enum class Change { None, DropLast, Fail, OtherScheme, OtherSchemeNo };
    struct Case {
        Change change;
        std::vector<std::string> lines;
        bool replaced;  // the document took the read bytes
    };
    const std::string ok = "0 Считать параметры - Ok";
    const Case cases[] = {
        {Change::None, {"0 Считать параметры", ok}, true},
        {Change::DropLast,
         {"0 Считать параметры",
          "1 Считать параметры - Файл параметров не имеет блока данных 0800B000 - 0800B785"},
         false},
        {Change::Fail, {"0 Считать параметры", "1 Считать параметры - неудача"}, false},
        {Change::OtherScheme, {"0 Считать параметры", ok}, true},
        {Change::OtherSchemeNo, {"0 Считать параметры", ok}, false},
    };
    for (const Case& c : cases) {
        auto source = MakeZumo2Doc();
        source->ResetDefaults();
        auto doc = MakeZumo2Doc();
        doc->ResetDefaults();
        // Make the document differ from what is read.
        TMemoryBlock* first = doc->Image.BlockByIndex(0);
        first->Data()[first->Size - 1] ^= 0x5A;
        doc->SetModified(false);
        const auto before = testsupport::AddressMap(*doc);

        script = TScript{};
        script.Returned = BlocksOf(*source);
        if (c.change == Change::DropLast) script.Returned.pop_back();
        if (c.change == Change::Fail) script.Answer = 0;
        if (c.change == Change::OtherScheme || c.change == Change::OtherSchemeNo) ChangeSchemeDigit(script.Returned);

        TLoaderEntryPoints entries;
        entries.Invoke3 = ScriptedInvoke3;
        entries.SetSarnupolexParams = ScriptedParams;
        THost host(*doc);
        host.AnswerYes = c.change != Change::OtherSchemeNo;
        RunLoaderOperation(entries, Request(*doc, opReadParams), host);

        const int variant = static_cast<int>(c.change);
        EXPECT_EQ(host.Lines, c.lines) << variant;
        EXPECT_EQ(script.ParamsCalls, 1) << variant;
        EXPECT_EQ(script.BlocksSeen, doc->Image.BlockCount()) << variant;
        EXPECT_EQ(script.Releases, script.Created) << variant;  // every returned object once
        EXPECT_EQ(host.Questions.size(), c.change == Change::OtherScheme || c.change == Change::OtherSchemeNo ? 1u : 0u)
            << variant;
        if (c.replaced) {
            if (c.change == Change::None) {
                EXPECT_EQ(testsupport::AddressMap(*doc), testsupport::AddressMap(*source));
            }
            EXPECT_NE(testsupport::AddressMap(*doc), before) << variant;
        } else {
            EXPECT_EQ(testsupport::AddressMap(*doc), before) << variant;  // untouched
        }
    }
}

TEST(LoaderOperation, SettingsReportsTheChosenDeviceOnly)
{
    auto doc = MakeZumo2Doc();
    TLoaderEntryPoints entries;
    entries.Invoke3 = ScriptedInvoke3;

    script = TScript{};
    script.ChosenDevice = 7;
    THost host(*doc);
    RunLoaderOperation(entries, Request(*doc, opSettings), host);
    EXPECT_EQ(script.ModelCodeSeen, 16);
    EXPECT_EQ(host.Chosen, 7);
    EXPECT_EQ(script.Releases, 0);  // the list is the host's; its integer item is no block
    EXPECT_EQ(host.Lines.back(), "0 Считать параметры - Ok");

    // Cancelled in the library's dialog: no index back, the failure logged.
    script = TScript{};
    script.Answer = 0;
    THost cancelled(*doc);
    RunLoaderOperation(entries, Request(*doc, opSettings), cancelled);
    EXPECT_FALSE(cancelled.Chosen.has_value());
    EXPECT_EQ(cancelled.Lines.back(), "1 Считать параметры - неудача");

    // Without an Invoke entry point the operation only logs.
    THost unbound(*doc);
    RunLoaderOperation(TLoaderEntryPoints{}, Request(*doc, opReadParams), unbound);
    EXPECT_EQ(unbound.Lines, (std::vector<std::string>{"0 Считать параметры", "0 Считать параметры - Ok"}));
}

} // namespace
