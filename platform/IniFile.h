#pragma once

#include "platform/PlatformApi.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

// The text of an ini file with the rules of Windows profile files:
// - "[Section]" lines open sections; "key=value" lines inside a section hold values;
//   blanks around names and values are ignored; lines starting with ';' are comments;
// - section and key names compare without regard to letter case (Latin and Cyrillic);
// - when a name occurs twice, the first occurrence wins, for reading and for writing;
// - nothing is escaped or quoted: a value is the rest of its line;
// - lines before the first section and lines without '=' are kept but never read.
// Every line is kept, so writing a value changes only its own line; a new key goes
// after the last key of its section, a new section at the end of the text after an
// empty line. Text is UTF-8 in memory; the file is Windows-1251 with CR LF line ends.
// Lookups take time in the length of the names, not of the text: an index of the
// sections and their keys is made at the first lookup after a load or a deletion, and
// kept up to date by writes.
class PLATFORM_API IniText {
public:
    IniText();
    ~IniText();

    // Parses Windows-1251 bytes (CR LF, LF or CR line ends); SaveBytes gives them back.
    void LoadBytes(const std::string& bytes);
    std::string SaveBytes() const;

    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    // The value of the first matching key with its blanks trimmed; false when missing.
    bool Find(const std::string& section, const std::string& key, std::string& value) const;
    void Set(const std::string& section, const std::string& key, const std::string& value);
    void DeleteKey(const std::string& section, const std::string& key);
    void EraseSection(const std::string& section);
    // Key names of a section (first occurrences, in file order), section names likewise.
    std::vector<std::string> Keys(const std::string& section) const;
    std::vector<std::string> Sections() const;
    void Clear();

private:
    struct Line {
        std::string text;    // the line as it was read or written, without its end
        std::string name;    // the section name, or the key name; empty for other lines
        bool section = false;
    };
    // Hashing and comparison of names as IniNamesEqual compares them.
    struct NameHash {
        size_t operator()(const std::string& name) const;
    };
    struct NameEqual {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    template <typename T>
    using NameMap = std::unordered_map<std::string, T, NameHash, NameEqual>;
    // The first occurrence of a section: its header line and the line of the first
    // occurrence of each of its keys.
    struct SectionEntry {
        int header = -1;
        NameMap<int> keys;
    };
    // The first occurrence of the section, or nullptr.
    SectionEntry* FindSection(const std::string& section) const;
    // One past the section's last line.
    int SectionEnd(int headerLine) const;
    // The line of the section's first key with the name, or -1.
    int FindKey(const SectionEntry& entry, const std::string& key) const;
    // Makes the index from lines_ when it is out of date.
    void EnsureIndex() const;
    // Adds lines_[line], the last line, to the index.
    void IndexLine(int line) const;
    // Appends a line, keeping an up-to-date index so.
    void Append(Line line);
    // Moves the index's lines from the line on by the count, after lines were inserted
    // there.
    void ShiftIndex(int from, int by);

    std::vector<Line> lines_;
    mutable NameMap<SectionEntry> index_;
    mutable bool indexed_ = false;
    // The header line of the last section when that is the section's first occurrence
    // (the keys after it are its keys), else -1; valid while indexed_.
    mutable int lastHeader_ = -1;
};

// Case-insensitive comparison of section and key names.
PLATFORM_API bool IniNamesEqual(const std::string& a, const std::string& b);

// Reads an integer the way ini readers do: optional sign, decimal digits, or
// hexadecimal after "0x" or "$" (hexadecimal takes up to 32 bits and wraps into the
// signed range, so "0xFFFFFFFF" is -1). Blanks around it are allowed. False when the
// text is not such a number or a decimal number leaves the 32-bit range.
PLATFORM_API bool ParseIniInteger(const std::string& text, int32_t& value);

// Common reading and writing of typed values over an IniText.
class PLATFORM_API CustomIniFile {
public:
    explicit CustomIniFile(std::filesystem::path fileName);
    virtual ~CustomIniFile();
    CustomIniFile(const CustomIniFile&) = delete;
    CustomIniFile& operator=(const CustomIniFile&) = delete;

    const std::filesystem::path& FileName() const { return fileName_; }

    std::string ReadString(const std::string& section, const std::string& key, const std::string& def);
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def);
    // An integer other than 0 is true; a missing or unreadable value gives def.
    bool ReadBool(const std::string& section, const std::string& key, bool def);
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    void WriteBool(const std::string& section, const std::string& key, bool value); // 1 or 0

    bool SectionExists(const std::string& section);
    bool ValueExists(const std::string& section, const std::string& key);
    std::vector<std::string> ReadSection(const std::string& section);
    std::vector<std::string> ReadSections();
    void DeleteKey(const std::string& section, const std::string& key);
    void EraseSection(const std::string& section);

protected:
    // Brings text_ up to date before a read; stores a change after a write.
    virtual void BeforeRead() {}
    virtual void AfterWrite() {}
    // Reads the file into text_; a missing or unreadable file gives an empty text.
    void ReadFileText();
    // Writes text_ to the file through a temporary file renamed over it; raises
    // EFCreateError when that fails, and the old file stays.
    void WriteFileText();

    IniText text_;

private:
    std::filesystem::path fileName_;
};

// Reads the file once when created and keeps every change in memory until UpdateFile.
class PLATFORM_API MemIniFile : public CustomIniFile {
public:
    explicit MemIniFile(std::filesystem::path fileName);
    ~MemIniFile() override;
    void UpdateFile();
};

// Reads the file at every read and writes it at every change, so other writers of the
// same file are seen at once.
class PLATFORM_API IniFile : public CustomIniFile {
public:
    explicit IniFile(std::filesystem::path fileName);
    ~IniFile() override;

protected:
    void BeforeRead() override;
    void AfterWrite() override;
};

} // namespace platform
