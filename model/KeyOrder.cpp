#include "model/KeyOrder.h"

#include "platform/CodePages.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace {

// Rank of one character in the key order: class, then weight within the class.
struct KeyRank {
    uint32_t cls;
    uint32_t weight;
    bool operator==(const KeyRank&) const = default;
    auto operator<=>(const KeyRank&) const = default;
};

KeyRank RankOf(char32_t c)
{
    if (c < 0x80) {
        if (c >= '0' && c <= '9') return {1, c};
        if (c >= 'A' && c <= 'Z') return {2, c + 0x20};
        if (c >= 'a' && c <= 'z') return {2, c};
        return {0, c};
    }
    // Cyrillic capitals to small letters.
    if (c >= 0x0410 && c <= 0x042F) c += 0x20;
    else if (c >= 0x0400 && c <= 0x040F) c += 0x50;
    else if (c == 0x0490) c = 0x0491;
    if (c >= 0x0430 && c <= 0x044F) return {3, (c - 0x0430) * 2}; // а..я
    if (c == 0x0451) return {3, (0x0435 - 0x0430) * 2 + 1};      // ё right after е
    if ((c >= 0x0450 && c <= 0x045F) || c == 0x0491) return {3, 0x1000 + c};
    return {4, c};
}

// RankOf for the ASCII characters, packed as class * 256 + weight, so that two packed
// ranks compare as the ranks do.
constexpr auto AsciiRanks = [] {
    std::array<uint16_t, 0x80> ranks{};
    for (char32_t c = 0; c < 0x80; ++c) {
        uint32_t cls = 0, weight = c;
        if (c >= '0' && c <= '9') cls = 1;
        else if (c >= 'A' && c <= 'Z') cls = 2, weight = c + 0x20;
        else if (c >= 'a' && c <= 'z') cls = 2;
        ranks[c] = static_cast<uint16_t>(cls << 8 | weight);
    }
    return ranks;
}();

} // namespace

int CompareKeys(std::string_view a, std::string_view b)
{
    // Bytes both keys share compare equal. The walk below starts behind the last ASCII
    // byte of the shared run (or at the start): there both keys are at a character, and
    // every character in front of it reads the same in both, since no sequence passes an
    // ASCII byte.
    const size_t shorter = std::min(a.size(), b.size());
    size_t same = 0;
    while (same + 8 <= shorter) {
        uint64_t wa, wb;
        std::memcpy(&wa, a.data() + same, 8);
        std::memcpy(&wb, b.data() + same, 8);
        if (wa != wb) break;
        same += 8;
    }
    while (same < shorter && a[same] == b[same]) ++same;
    while (same > 0 && static_cast<unsigned char>(a[same - 1]) >= 0x80) --same;

    size_t i = same, j = same;
    while (i < a.size() && j < b.size()) {
        const unsigned char ca = static_cast<unsigned char>(a[i]);
        const unsigned char cb = static_cast<unsigned char>(b[j]);
        if (ca == cb && ca < 0x80) { // most keys are ASCII and share long prefixes
            ++i, ++j;
            continue;
        }
        if (ca < 0x80 && cb < 0x80) { // both ASCII and different
            const uint16_t ra = AsciiRanks[ca], rb = AsciiRanks[cb];
            if (ra != rb) return ra < rb ? -1 : 1;
            ++i, ++j;
            continue;
        }
        const KeyRank ra = RankOf(ca < 0x80 ? a[i++] : platform::DecodeUtf8(a, i));
        const KeyRank rb = RankOf(cb < 0x80 ? b[j++] : platform::DecodeUtf8(b, j));
        if (ra != rb) return ra < rb ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}
