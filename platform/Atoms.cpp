#include "platform/Atoms.h"

#include <mutex>
#include <unordered_map>
#include <vector>

namespace platform {

namespace {

constexpr size_t kAtomCount = size_t(kLastAtom) - kFirstAtom + 1;

struct Entry {
    std::string text;
    uint32_t references = 0; // 0: the slot is free
};

struct AtomTable {
    std::mutex lock;
    std::vector<Entry> slots = std::vector<Entry>(kAtomCount);
    std::unordered_map<std::string, size_t> byText;
    // Where the search for a free slot starts: freed numbers come back as late as
    // possible, so that a stale number rarely meets a new text.
    size_t next = 0;
};

AtomTable& Table()
{
    static AtomTable* table = new AtomTable; // never destroyed: usable until the process ends
    return *table;
}

size_t CodePoints(const std::string& text)
{
    size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

} // namespace

ATOM AddAtom(const std::string& text)
{
    if (text.empty() || CodePoints(text) > kMaxAtomLength)
        return 0;
    AtomTable& t = Table();
    std::lock_guard guard(t.lock);
    if (auto it = t.byText.find(text); it != t.byText.end()) {
        ++t.slots[it->second].references;
        return static_cast<ATOM>(kFirstAtom + it->second);
    }
    if (t.byText.size() == kAtomCount)
        return 0;
    size_t slot = t.next;
    while (t.slots[slot].references != 0)
        slot = (slot + 1) % kAtomCount;
    t.next = (slot + 1) % kAtomCount;
    t.slots[slot].text = text;
    t.slots[slot].references = 1;
    t.byText.emplace(text, slot);
    return static_cast<ATOM>(kFirstAtom + slot);
}

bool GetAtomName(ATOM atom, std::string& text)
{
    if (atom < kFirstAtom)
        return false;
    AtomTable& t = Table();
    std::lock_guard guard(t.lock);
    const Entry& e = t.slots[atom - kFirstAtom];
    if (e.references == 0)
        return false;
    text = e.text;
    return true;
}

bool DeleteAtom(ATOM atom)
{
    if (atom < kFirstAtom)
        return false;
    AtomTable& t = Table();
    std::lock_guard guard(t.lock);
    Entry& e = t.slots[atom - kFirstAtom];
    if (e.references == 0)
        return false;
    if (--e.references == 0) {
        t.byText.erase(e.text);
        e.text.clear();
        e.text.shrink_to_fit();
    }
    return true;
}

std::vector<std::string> SplitLogText(const std::string& text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool lead = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (!lead) continue;
        if (characters == kMaxAtomLength) {
            parts.push_back(text.substr(start, i - start));
            start = i;
            characters = 0;
        }
        ++characters;
    }
    if (start < text.size()) parts.push_back(text.substr(start));
    return parts;
}

} // namespace platform
