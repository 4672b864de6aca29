#include "tests/support/DocumentImage.h"

#include "tests/support/PromptAndLog.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

namespace testsupport {

std::map<uint32_t, uint8_t> AddressMap(const TDocument& doc)
{
    std::map<uint32_t, uint8_t> out;
    for (int i = 0; i < doc.Image.BlockCount(); ++i) {
        const TMemoryBlock* b = doc.Image.BlockByIndex(i);
        for (int32_t k = 0; k < b->Size; ++k) out[doc.BaseAddress + b->Address + static_cast<uint32_t>(k)] = b->Data()[k];
    }
    return out;
}

std::string AddressLines(const TDocument& doc)
{
    std::string lines;
    for (const auto& [address, value] : AddressMap(doc))
        lines += std::to_string(address) + " " + std::to_string(value) + "\n";
    return lines;
}

std::string IntelHexLines(const std::filesystem::path& file)
{
    std::string out;
    const int status = RunCommand("/usr/bin/python3 -c 'import sys\n"
                                  "from intelhex import IntelHex\n"
                                  "d = IntelHex(sys.argv[1]).todict()\n"
                                  "for a in sorted(k for k in d if isinstance(k, int)): print(a, d[a])' '" +
                                      file.string() + "'",
                                  &out);
    return status == 0 ? out : std::string();
}

TDocMembers MembersOf(const TZumo2Doc& doc)
{
    return {doc.ModelName,      doc.Name,           doc.BaseAddress,  doc.ExpectedSchemeId,
            doc.PuProtocolMask, doc.KpProtocolMask, doc.LogicKindMask};
}

void PrintTo(const TDocMembers& m, std::ostream* out)
{
    *out << m.ModelName << " / " << m.Name << " / base " << std::hex << m.BaseAddress << " / " << m.SchemeId
         << " / Pu " << m.PuMask << " / Kp " << m.KpMask << " / kinds " << m.KindMask << std::dec;
}

std::string BytesAt(const TDocument& doc, uint32_t address, size_t count)
{
    std::vector<uint8_t> out(count);
    EXPECT_TRUE(const_cast<TMemory&>(doc.Image).CopyRange(address - doc.BaseAddress, out, false))
        << std::hex << address;
    return Hex(out.data(), out.size());
}

std::vector<std::string> QuestionsOfLoading(TZumo2Doc& doc, const std::filesystem::path& file)
{
    ScriptedPrompt prompt;
    IDefaultPrompt* const own = doc.Prompt;
    doc.Prompt = &prompt;
    try {
        doc.LoadFromFile(file);
    } catch (...) {
        doc.Prompt = own;
        throw;
    }
    doc.Prompt = own;
    return prompt.Questions();
}

int SrecRewrite(const std::filesystem::path& from, const std::filesystem::path& to)
{
    return RunCommand("srec_cat '" + from.string() + "' -intel -o '" + to.string() +
                      "' -intel -obs=32 >/dev/null 2>&1");
}

std::string ImageDifference(const TDocument& a, const TDocument& b)
{
    if (a.Image.BlockCount() != b.Image.BlockCount()) return "block count";
    for (int i = 0; i < a.Image.BlockCount(); ++i) {
        const TMemoryBlock* x = a.Image.BlockByIndex(i);
        const TMemoryBlock* y = b.Image.BlockByIndex(i);
        const std::string block = "block " + std::to_string(i);
        if (x->Size != y->Size) return block + " size";
        for (int32_t k = 0; k < x->Size; ++k)
            if (x->Data()[k] != y->Data()[k]) return block + " byte " + std::to_string(k);
    }
    return {};
}

} // namespace testsupport
