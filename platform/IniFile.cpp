#include "platform/IniFile.h"

#include "platform/AtomicFile.h"
#include "platform/CodePages.h"
#include "platform/Format.h"

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

void IniText::Clear() { lines_.clear(); }

void IniText::LoadBytes(const std::string& bytes)
{
    lines_.clear();
    const std::string text = AnsiToUtf8(bytes);
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

int IniText::FindSection(const std::string& section) const
{
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].section && IniNamesEqual(lines_[i].name, section)) return static_cast<int>(i);
    return -1;
}

int IniText::SectionEnd(int headerLine) const
{
    size_t i = static_cast<size_t>(headerLine) + 1;
    while (i < lines_.size() && !lines_[i].section) ++i;
    return static_cast<int>(i);
}

int IniText::FindKey(int headerLine, const std::string& key) const
{
    const int end = SectionEnd(headerLine);
    for (int i = headerLine + 1; i < end; ++i) {
        const Line& line = lines_[static_cast<size_t>(i)];
        if (!line.name.empty() && IniNamesEqual(line.name, key)) return i;
    }
    return -1;
}

bool IniText::SectionExists(const std::string& section) const { return FindSection(section) >= 0; }

bool IniText::ValueExists(const std::string& section, const std::string& key) const
{
    std::string unused;
    return Find(section, key, unused);
}

bool IniText::Find(const std::string& section, const std::string& key, std::string& value) const
{
    const int header = FindSection(section);
    if (header < 0) return false;
    const int k = FindKey(header, key);
    if (k < 0) return false;
    const std::string& text = lines_[static_cast<size_t>(k)].text;
    value = Trim(text.substr(text.find('=') + 1));
    return true;
}

void IniText::Set(const std::string& section, const std::string& key, const std::string& value)
{
    int header = FindSection(section);
    if (header < 0) {
        if (!lines_.empty() && !Trim(lines_.back().text).empty()) lines_.push_back(Line{});
        lines_.push_back(Line{"[" + section + "]", section, true});
        lines_.push_back(Line{key + "=" + value, key, false});
        return;
    }
    const int k = FindKey(header, key);
    if (k >= 0) {
        Line& line = lines_[static_cast<size_t>(k)];
        line.text = line.name + "=" + value;
        return;
    }
    // After the section's last key, so that blank lines and comments before the next
    // section stay where they are.
    int insertAt = header + 1;
    const int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i)
        if (!lines_[static_cast<size_t>(i)].name.empty()) insertAt = i + 1;
    lines_.insert(lines_.begin() + insertAt, Line{key + "=" + value, key, false});
}

void IniText::DeleteKey(const std::string& section, const std::string& key)
{
    const int header = FindSection(section);
    if (header < 0) return;
    const int k = FindKey(header, key);
    if (k >= 0) lines_.erase(lines_.begin() + k);
}

void IniText::EraseSection(const std::string& section)
{
    const int header = FindSection(section);
    if (header < 0) return;
    lines_.erase(lines_.begin() + header, lines_.begin() + SectionEnd(header));
}

std::vector<std::string> IniText::Keys(const std::string& section) const
{
    std::vector<std::string> keys;
    const int header = FindSection(section);
    if (header < 0) return keys;
    const int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i) {
        const std::string& name = lines_[static_cast<size_t>(i)].name;
        if (name.empty()) continue;
        bool seen = false;
        for (const auto& k : keys) seen = seen || IniNamesEqual(k, name);
        if (!seen) keys.push_back(name);
    }
    return keys;
}

std::vector<std::string> IniText::Sections() const
{
    std::vector<std::string> names;
    for (const Line& line : lines_) {
        if (!line.section) continue;
        bool seen = false;
        for (const auto& n : names) seen = seen || IniNamesEqual(n, line.name);
        if (!seen) names.push_back(line.name);
    }
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
