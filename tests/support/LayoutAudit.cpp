#include "tests/support/LayoutAudit.h"

#include <sstream>

namespace testsupport {

namespace {

struct Span {
    std::string key;
    const TObjNode* node;
    int64_t from; // absolute
    int64_t to;   // one past the last byte
};

std::string Bytes(int64_t from, int64_t to)
{
    std::ostringstream s;
    if (to - from == 1) s << "byte " << from;
    else s << "bytes " << from << ".." << to - 1;
    return s.str();
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// The topmost list above a node (the node itself without a parent).
const TObjNode* RootOf(const TObjNode& node)
{
    const TObjNode* root = &node;
    while (root->Parent) root = root->Parent;
    return root;
}

void ProxyProblems(const TProxyField& proxy, const TFieldLst& list, const std::string& key,
                   std::vector<std::string>& problems)
{
    if (RootOf(*proxy.Target) != RootOf(list))
        problems.push_back(Quoted(key) + ": its storage belongs to another document");
    const auto* text = dynamic_cast<const TStringsStorageProxyField*>(&proxy);
    const auto* storage = dynamic_cast<const TFlashFixedStringsStorage*>(proxy.Target);
    if (text && storage && (text->StringIndex < 0 || text->StringIndex >= storage->Count))
        problems.push_back(Quoted(key) + ": text " + std::to_string(text->StringIndex) + " outside a storage of " +
                           std::to_string(storage->Count));
}

void Audit(const TFieldLst& list, const std::string& path, std::vector<std::string>& problems)
{
    const int64_t start = list.NodeOffset();
    const int64_t end = start + list.Size;

    for (const std::string& key : list.RefusedKeys())
        problems.push_back(Quoted(path + "." + key) + ": key given twice (case ignored)");

    std::vector<Span> spans;
    for (int i = 0; i < list.FieldCount(); ++i) {
        const TObjNode* node = list.FieldByIndex(i);
        if (node->Size == 0) {
            // No bytes of its own: a proxy is checked against its storage instead.
            if (const auto* proxy = dynamic_cast<const TProxyField*>(node))
                ProxyProblems(*proxy, list, path + "." + list.FieldName(i), problems);
            continue;
        }
        const int64_t from = node->NodeOffset();
        spans.push_back({path + "." + list.FieldName(i), node, from, from + node->Size});
    }

    for (const Span& s : spans) {
        if (s.from < start || s.to > end)
            problems.push_back(Quoted(s.key) + ": " + Bytes(s.from, s.to) + " outside " + Bytes(start, end));
        const auto* bits = dynamic_cast<const TBitFleld*>(s.node);
        if (bits && bits->Position + bits->BitCount > 8 * bits->Size)
            problems.push_back(Quoted(s.key) + ": bits " + std::to_string(bits->Position) + ".." +
                               std::to_string(bits->Position + bits->BitCount - 1) + " beyond a container of " +
                               std::to_string(bits->Size) + " bytes");
        if (const auto* nested = dynamic_cast<const TFieldLst*>(s.node)) Audit(*nested, s.key, problems);
    }

    for (size_t i = 0; i < spans.size(); ++i) {
        for (size_t j = i + 1; j < spans.size(); ++j) {
            const Span& a = spans[i];
            const Span& b = spans[j];
            if (a.to <= b.from || b.to <= a.from) continue;
            const auto* ba = dynamic_cast<const TBitFleld*>(a.node);
            const auto* bb = dynamic_cast<const TBitFleld*>(b.node);
            if (!ba || !bb || a.from != b.from || ba->Size != bb->Size) {
                problems.push_back(Quoted(a.key) + " (" + Bytes(a.from, a.to) + ") overlaps " + Quoted(b.key) + " (" +
                                   Bytes(b.from, b.to) + ")");
                continue;
            }
            const auto mask = [](const TBitFleld& f) {
                return f.BitCount >= 64 ? ~uint64_t{0} : ((uint64_t{1} << f.BitCount) - 1) << f.Position;
            };
            if (mask(*ba) & mask(*bb))
                problems.push_back(Quoted(a.key) + " and " + Quoted(b.key) + " share bits of the container at " +
                                   std::to_string(a.from));
        }
    }
}

void Outside(const TFieldLst& list, const std::string& path, int64_t from, int64_t to,
             std::vector<std::string>& problems)
{
    for (int i = 0; i < list.FieldCount(); ++i) {
        const TObjNode* node = list.FieldByIndex(i);
        if (node->Size == 0) continue; // a proxy: no bytes of its own
        const std::string key = path + "." + list.FieldName(i);
        const int64_t a = node->NodeOffset();
        const int64_t b = a + node->Size;
        if (a < from || b > to)
            problems.push_back(Quoted(key) + ": " + Bytes(a, b) + " outside the area " + Bytes(from, to));
        if (const auto* nested = dynamic_cast<const TFieldLst*>(node)) Outside(*nested, key, from, to, problems);
    }
}

std::string NameOf(const TFieldLst& list) { return list.Name.empty() ? list.ClassName() : list.Name; }

::testing::AssertionResult Result(const TFieldLst& list, const std::vector<std::string>& problems)
{
    if (problems.empty()) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    failure << list.ClassName() << " \"" << list.Name << "\":";
    for (const std::string& p : problems) failure << "\n  " << p;
    return failure;
}

} // namespace

std::vector<std::string> LayoutProblems(const TFieldLst& record, int32_t expectedSize)
{
    std::vector<std::string> problems;
    if (record.Size != expectedSize)
        problems.push_back("Size " + std::to_string(record.Size) + ", expected " + std::to_string(expectedSize));
    Audit(record, NameOf(record), problems);
    return problems;
}

std::vector<std::string> OverlayProblems(const TFieldLst& overlay, int64_t areaOffset, int32_t areaSize)
{
    std::vector<std::string> problems;
    const int64_t from = overlay.NodeOffset();
    const int64_t to = from + overlay.Size;
    const int64_t areaEnd = areaOffset + areaSize;
    if (from < areaOffset || to > areaEnd)
        problems.push_back("the record (" + Bytes(from, to) + ") outside the area " + Bytes(areaOffset, areaEnd));
    Outside(overlay, NameOf(overlay), areaOffset, areaEnd, problems);
    return problems;
}

::testing::AssertionResult AuditLayout(const TFieldLst& record, int32_t expectedSize)
{
    return Result(record, LayoutProblems(record, expectedSize));
}

::testing::AssertionResult FitsArea(const TFieldLst& overlay, int64_t areaOffset, int32_t areaSize)
{
    return Result(overlay, OverlayProblems(overlay, areaOffset, areaSize));
}

} // namespace testsupport
