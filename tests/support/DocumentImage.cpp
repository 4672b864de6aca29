#include "tests/support/DocumentImage.h"

#include "tests/support/TempDir.h"

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

} // namespace testsupport
