#include "platform/IniFile.h"

#include "platform/AtomicFile.h"
#include "platform/CodePages.h"
#include "platform/Format.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// Lower case of Latin and Cyrillic letters, enough for the names these files use.
char32_t Fold(char32_t c)
{
    if (c >= U'A' && c <= U'Z') return c + 0x20;
    if (c >= 0x0410 && c <= 0x042F) return c + 0x20;
    if (c >= 0x0400 && c <= 0x040F) return c + 0x50;
    return c;
}

} // namespace

bool IniNamesEqual(const std::string& a, const std::string& b)
{
    if (a == b) return true;
    // Character by character, without copies: lookups compare names line after line.
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size())
        if (Fold(DecodeUtf8(a, i)) != Fold(DecodeUtf8(b, j))) return false;
    return i == a.size() && j == b.size();
}

size_t IniText::NameHash::operator()(const std::string& name) const
{
    // FNV-1a over the folded characters.
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < name.size();) {
        hash ^= Fold(DecodeUtf8(name, i));
        hash *= 1099511628211ull;
    }
    return static_cast<size_t>(hash);
}

bool IniText::NameEqual::operator()(const std::string& a, const std::string& b) const { return IniNamesEqual(a, b); }

bool ParseIniInteger(const std::string& text, int32_t& value)
{
    const std::string s = Trim(text);
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    bool hex = false;
    if (i < s.size() && s[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= s.size()) return false;
    uint64_t acc = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        acc = acc * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (acc > 0xFFFFFFFFull) return false;
    }
    if (hex) {
        uint32_t bits = static_cast<uint32_t>(acc);
        if (negative) bits = 0u - bits;
        value = static_cast<int32_t>(bits);
        return true;
    }
    if (negative) {
        if (acc > 0x80000000ull) return false;
        value = static_cast<int32_t>(-static_cast<int64_t>(acc));
    } else {
        if (acc > 0x7FFFFFFFull) return false;
        value = static_cast<int32_t>(acc);
    }
    return true;
}

// ---------------------------------------------------------------------------------
// IniText

IniText::IniText() = default;
IniText::~IniText() = default;

void IniText::Clear()
{
    lines_.clear();
    indexed_ = false;
}

void IniText::LoadBytes(const std::string& bytes)
{
    Clear();
    const std::string text = AnsiToUtf8(bytes);
    lines_.reserve(static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; })) + 1);
    size_t start = 0;
    bool inSection = false;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        Line line;
        line.text = text.substr(start, end - start);
        const std::string t = Trim(line.text);
        if (!t.empty() && t[0] == '[') {
            const size_t close = t.find(']');
            line.name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            line.section = true;
            inSection = true;
        } else if (inSection && !t.empty() && t[0] != ';') {
            const size_t eq = t.find('=');
            if (eq != std::string::npos) line.name = Trim(t.substr(0, eq));
        }
        lines_.push_back(std::move(line));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
            start = end + 2;
        else
            start = end + 1;
    }
}

std::string IniText::SaveBytes() const
{
    std::string text;
    for (const Line& line : lines_) {
        text += line.text;
        text += "\r\n";
    }
    return Utf8ToAnsi(text);
}

void IniText::EnsureIndex() const
{
    if (indexed_) return;
    index_.clear();
    lastHeader_ = -1;
    for (size_t i = 0; i < lines_.size(); ++i) IndexLine(static_cast<int>(i));
    indexed_ = true;
}

void IniText::IndexLine(int line) const
{
    const Line& l = lines_[static_cast<size_t>(line)];
    if (l.section) {
        const auto [entry, added] = index_.try_emplace(l.name);
        if (added) entry->second.header = line;
        lastHeader_ = added ? line : -1;
    } else if (!l.name.empty() && lastHeader_ >= 0) {
        index_[lines_[static_cast<size_t>(lastHeader_)].name].keys.try_emplace(l.name, line);
    }
}

void IniText::Append(Line line)
{
    lines_.push_back(std::move(line));
    if (indexed_) IndexLine(static_cast<int>(lines_.size() - 1));
}

void IniText::ShiftIndex(int from, int by)
{
    for (auto& [name, entry] : index_) {
        if (entry.header >= from) entry.header += by;
        for (auto& [key, line] : entry.keys)
            if (line >= from) line += by;
    }
    if (lastHeader_ >= from) lastHeader_ += by;
}

IniText::SectionEntry* IniText::FindSection(const std::string& section) const
{
    EnsureIndex();
    const auto found = index_.find(section);
    return found == index_.end() ? nullptr : &found->second;
}

int IniText::SectionEnd(int headerLine) const
{
    size_t i = static_cast<size_t>(headerLine) + 1;
    while (i < lines_.size() && !lines_[i].section) ++i;
    return static_cast<int>(i);
}

int IniText::FindKey(const SectionEntry& entry, const std::string& key) const
{
    const auto found = entry.keys.find(key);
    return found == entry.keys.end() ? -1 : found->second;
}

bool IniText::SectionExists(const std::string& section) const { return FindSection(section) != nullptr; }

bool IniText::ValueExists(const std::string& section, const std::string& key) const
{
    std::string unused;
    return Find(section, key, unused);
}

bool IniText::Find(const std::string& section, const std::string& key, std::string& value) const
{
    SectionEntry* entry = FindSection(section);
    if (entry == nullptr) return false;
    const int k = FindKey(*entry, key);
    if (k < 0) return false;
    const std::string& text = lines_[static_cast<size_t>(k)].text;
    value = Trim(text.substr(text.find('=') + 1));
    return true;
}

void IniText::Set(const std::string& section, const std::string& key, const std::string& value)
{
    SectionEntry* entry = FindSection(section);
    if (entry == nullptr) {
        if (!lines_.empty() && !Trim(lines_.back().text).empty()) Append(Line{});
        Append(Line{"[" + section + "]", section, true});
        Append(Line{key + "=" + value, key, false});
        return;
    }
    const int k = FindKey(*entry, key);
    if (k >= 0) {
        Line& line = lines_[static_cast<size_t>(k)];
        line.text = line.name + "=" + value;
        return;
    }
    // After the section's last key, so that blank lines and comments before the next
    // section stay where they are.
    const int header = entry->header;
    int insertAt = header + 1;
    const int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i)
        if (!lines_[static_cast<size_t>(i)].name.empty()) insertAt = i + 1;
    Line line{key + "=" + value, key, false};
    if (static_cast<size_t>(insertAt) == lines_.size()) {
        Append(std::move(line)); // into the last section, which is its first occurrence
        return;
    }
    lines_.insert(lines_.begin() + insertAt, std::move(line));
    ShiftIndex(insertAt, 1);
    entry->keys.try_emplace(key, insertAt);
}

void IniText::DeleteKey(const std::string& section, const std::string& key)
{
    SectionEntry* entry = FindSection(section);
    if (entry == nullptr) return;
    const int k = FindKey(*entry, key);
    if (k < 0) return;
    lines_.erase(lines_.begin() + k);
    indexed_ = false; // a later key of the same name may become the first
}

void IniText::EraseSection(const std::string& section)
{
    SectionEntry* entry = FindSection(section);
    if (entry == nullptr) return;
    lines_.erase(lines_.begin() + entry->header, lines_.begin() + SectionEnd(entry->header));
    indexed_ = false;
}

std::vector<std::string> IniText::Keys(const std::string& section) const
{
    std::vector<std::string> keys;
    SectionEntry* entry = FindSection(section);
    if (entry == nullptr) return keys;
    std::vector<int> lines;
    lines.reserve(entry->keys.size());
    for (const auto& [name, line] : entry->keys) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    for (const int line : lines) keys.push_back(lines_[static_cast<size_t>(line)].name);
    return keys;
}

std::vector<std::string> IniText::Sections() const
{
    EnsureIndex();
    std::vector<int> lines;
    lines.reserve(index_.size());
    for (const auto& [name, entry] : index_) lines.push_back(entry.header);
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> names;
    for (const int line : lines) names.push_back(lines_[static_cast<size_t>(line)].name);
    return names;
}

// ---------------------------------------------------------------------------------
// CustomIniFile

CustomIniFile::CustomIniFile(std::filesystem::path fileName) : fileName_(std::move(fileName)) {}
CustomIniFile::~CustomIniFile() = default;

void CustomIniFile::ReadFileText()
{
    std::ifstream in(fileName_, std::ios::binary);
    if (!in) {
        text_.Clear();
        return;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    text_.LoadBytes(ss.str());
}

void CustomIniFile::WriteFileText() { WriteFileAtomically(fileName_, text_.SaveBytes()); }

std::string CustomIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def)
{
    BeforeRead();
    std::string value;
    return text_.Find(section, key, value) ? value : def;
}

int32_t CustomIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t def)
{
    BeforeRead();
    std::string text;
    int32_t value;
    if (text_.Find(section, key, text) && ParseIniInteger(text, value)) return value;
    return def;
}

bool CustomIniFile::ReadBool(const std::string& section, const std::string& key, bool def)
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void CustomIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    BeforeRead();
    text_.Set(section, key, value);
    AfterWrite();
}

void CustomIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value)
{
    WriteString(section, key, Format("%d", value));
}

void CustomIniFile::WriteBool(const std::string& section, const std::string& key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

bool CustomIniFile::SectionExists(const std::string& section)
{
    BeforeRead();
    return text_.SectionExists(section);
}

bool CustomIniFile::ValueExists(const std::string& section, const std::string& key)
{
    BeforeRead();
    return text_.ValueExists(section, key);
}

std::vector<std::string> CustomIniFile::ReadSection(const std::string& section)
{
    BeforeRead();
    return text_.Keys(section);
}

std::vector<std::string> CustomIniFile::ReadSections()
{
    BeforeRead();
    return text_.Sections();
}

void CustomIniFile::DeleteKey(const std::string& section, const std::string& key)
{
    BeforeRead();
    text_.DeleteKey(section, key);
    AfterWrite();
}

void CustomIniFile::EraseSection(const std::string& section)
{
    BeforeRead();
    text_.EraseSection(section);
    AfterWrite();
}

// ---------------------------------------------------------------------------------

MemIniFile::MemIniFile(std::filesystem::path fileName) : CustomIniFile(std::move(fileName)) { ReadFileText(); }
MemIniFile::~MemIniFile() = default;
void MemIniFile::UpdateFile() { WriteFileText(); }

IniFile::IniFile(std::filesystem::path fileName) : CustomIniFile(std::move(fileName)) {}
IniFile::~IniFile() = default;
void IniFile::BeforeRead() { ReadFileText(); }
void IniFile::AfterWrite() { WriteFileText(); }

} // namespace platform
