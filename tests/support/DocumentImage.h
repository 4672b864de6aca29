#pragma once

#include "model/uZumo2.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace testsupport {

// Absolute address -> byte, over every block of the document.
std::map<uint32_t, uint8_t> AddressMap(const TDocument& doc);
// The same as lines "address byte" in address order, decimal.
std::string AddressLines(const TDocument& doc);
// What python3-intelhex reads from a HEX file, as AddressLines writes it; empty when
// the peer fails.
std::string IntelHexLines(const std::filesystem::path& file);
// Rewrites a HEX file with srec_cat, 32 bytes a record; the command's exit status.
int SrecRewrite(const std::filesystem::path& from, const std::filesystem::path& to);
// The bytes of the document at an absolute address, as Hex writes them; a range outside
// the image fails the test.
std::string BytesAt(const TDocument& doc, uint32_t address, size_t count);
// Loads a parameter file into the document with a prompt that answers nothing (the
// document's own prompt is put back after); the questions the load asked.
std::vector<std::string> QuestionsOfLoading(TZumo2Doc& doc, const std::filesystem::path& file);
// Where two documents' images first differ ("block N size" or "block N byte K"); empty
// when every block holds the same bytes.
std::string ImageDifference(const TDocument& a, const TDocument& b);

// What a model's document says of itself: model name and title, base address, scheme
// id, the protocol masks of control points (Pu) and of polled devices (Kp), and the
// mask of logical-channel kinds.
struct TDocMembers {
    std::string ModelName, Name;
    uint32_t BaseAddress;
    std::string SchemeId;
    uint32_t PuMask, KpMask;
    int KindMask;
    bool operator==(const TDocMembers&) const = default;
};
TDocMembers MembersOf(const TZumo2Doc& doc);
// For test failures: every member, the masks in hex.
void PrintTo(const TDocMembers& m, std::ostream* out);

// The document a maker makes, as class T (none when it is of another class), reset
// to its defaults unless asked otherwise.
template <class T>
std::unique_ptr<T> MakeAs(std::unique_ptr<TZumo2Doc> (*make)(), bool reset = true)
{
    std::unique_ptr<TZumo2Doc> doc = make();
    auto* typed = dynamic_cast<T*>(doc.get());
    if (!typed) return nullptr;
    doc.release();
    std::unique_ptr<T> out(typed);
    if (reset) out->ResetDefaults();
    return out;
}

} // namespace testsupport
