#include "platform/VersionRecord.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

using namespace platform;
namespace fs = std::filesystem;

namespace {

const fs::path kFixtures = fs::path(MIRVAK_BINARY_DIR) / "tests" / "fixtures";

fs::path Fixture(const std::string& name) { return kFixtures / name; }

std::string VersionText(const VersionRecord& r)
{
    return std::to_string(r.major) + "." + std::to_string(r.minor) + "." + std::to_string(r.release) + "." +
           std::to_string(r.build);
}

// Description bytes of our note as `readelf -n` (binutils) prints them; empty when it
// lists no note of our owner.
std::string ReadelfDescription(const fs::path& file)
{
    std::string out;
    const int rc = testsupport::RunCommand("readelf -n '" + file.string() + "' 2>/dev/null", &out);
    EXPECT_EQ(rc, 0) << "readelf is needed (Debian package binutils)";
    std::istringstream lines(out);
    std::string line;
    bool ours = false;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == kVersionNoteOwner) {
            ours = true;
        } else if (ours && first == "description") {
            std::string word, bytes;
            words >> word;  // "data:"
            while (words >> word) bytes += static_cast<char>(std::stoi(word, nullptr, 16));
            return bytes;
        } else if (!first.empty() && first != "Owner") {
            ours = false;
        }
    }
    return {};
}

struct FixtureCase {
    const char* file;
    const char* version;
    bool debug;
    VersionFileType type;
};

const FixtureCase kFixtureCases[] = {
    {"version_program", "1.2.4.30", false, VersionFileType::Program},
    {"version_program_debug", "1.2.4.30", true, VersionFileType::Program},
    {"libversion_lib.so", "1.2.4.30", false, VersionFileType::SharedLibrary},
    {"libversion_lib_debug.so", "1.2.4.30", true, VersionFileType::SharedLibrary},
    {"libversion_lib_1_2_5_31.so", "1.2.5.31", false, VersionFileType::SharedLibrary},
    {"libversion_lib_1_2_4_29.so", "1.2.4.29", false, VersionFileType::SharedLibrary},
    {"libversion_lib_1_3_0_0.so", "1.3.0.0", false, VersionFileType::SharedLibrary},
};

TEST(VersionRecord, FixturesReadBackAndMatchReadelf)
{
    for (const auto& c : kFixtureCases) {
        SCOPED_TRACE(c.file);
        VersionRecord r;
        ASSERT_TRUE(ReadVersionRecord(Fixture(c.file), r));
        EXPECT_EQ(VersionText(r), c.version);
        EXPECT_EQ(r.fileType, c.type);
        EXPECT_EQ(r.HasFlag(kVersionFlagDebug), c.debug);
        EXPECT_FALSE(r.HasFlag(kVersionFlagPrerelease | kVersionFlagPrivateBuild | kVersionFlagSpecialBuild));
        EXPECT_EQ(r.fileFlagsMask, 0x3Fu);
        EXPECT_EQ(r.productName, "Проба");
        EXPECT_EQ(r.fileVersion, c.version);

        std::string description;
        ASSERT_TRUE(ReadVersionNote(Fixture(c.file), description));
        EXPECT_EQ(ReadelfDescription(Fixture(c.file)), description);
    }
}

TEST(VersionRecord, FlagsCountOnlyInsideTheMask)
{
    VersionRecord r;
    ASSERT_TRUE(ReadVersionRecord(Fixture("libversion_lib_flags.so"), r));
    EXPECT_EQ(VersionText(r), "65535.0.1.65535");
    EXPECT_EQ(r.fileDescription, "Test fixture version_lib_flags");
    EXPECT_EQ(r.fileFlags, 0x7Eu);
    EXPECT_FALSE(r.HasFlag(kVersionFlagDebug));
    EXPECT_TRUE(r.HasFlag(kVersionFlagPrerelease));
    EXPECT_TRUE(r.HasFlag(kVersionFlagPrivateBuild));
    EXPECT_TRUE(r.HasFlag(kVersionFlagSpecialBuild));
    EXPECT_FALSE(r.HasFlag(0x40));
}

TEST(VersionRecord, TheConfiguratorCarriesItsVersion)
{
    const fs::path exe = fs::path(MIRVAK_BINARY_DIR) / "bin" / "Mirvak";
    VersionRecord r;
    ASSERT_TRUE(ReadVersionRecord(exe, r));
    EXPECT_EQ(VersionText(r), MIRVAK_VERSION);
    EXPECT_EQ(r.fileType, VersionFileType::Program);
    EXPECT_EQ(r.productName, "Mirvak");
    std::string description;
    ASSERT_TRUE(ReadVersionNote(exe, description));
    EXPECT_EQ(ReadelfDescription(exe), description);
}

TEST(VersionRecord, FilesWithoutARecord)
{
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "text", "\x7F" "ELF but not really");
    testsupport::WriteFile(dir / "empty", "");
    VersionRecord r;
    for (const fs::path& file : {Fixture("version_program_none"), dir / "text", dir / "empty", dir / "missing", dir.path()})
        EXPECT_FALSE(ReadVersionRecord(file, r)) << file;
    EXPECT_EQ(ReadelfDescription(Fixture("version_program_none")), "");
}

// Little helpers to patch a copy of a fixture.
uint64_t Le(const std::string& bytes, size_t at, size_t size)
{
    uint64_t v = 0;
    for (size_t i = 0; i < size; ++i) v |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return v;
}

void PutLe(std::string& bytes, size_t at, size_t size, uint64_t v)
{
    for (size_t i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}

struct Layout {
    size_t noteHeader;  // our note's 12-byte header
    size_t headersEnd;  // end of the program header table
    size_t notePhdr;    // the PT_NOTE entry that holds it
    size_t notesEnd;    // end of the note segments up to and including that one
};

Layout Locate(const std::string& file, const std::string& description)
{
    Layout l{};
    std::string header(12, '\0');
    PutLe(header, 0, 4, std::strlen(kVersionNoteOwner) + 1);
    PutLe(header, 4, 4, description.size());
    PutLe(header, 8, 4, kVersionNoteType);
    header += kVersionNoteOwner;
    header += '\0';
    l.noteHeader = file.find(header);
    EXPECT_NE(l.noteHeader, std::string::npos);
    const size_t phoff = Le(file, 32, 8), phentsize = Le(file, 54, 2), phnum = Le(file, 56, 2);
    l.headersEnd = phoff + phentsize * phnum;
    l.notePhdr = 0;
    l.notesEnd = 0;
    for (size_t i = 0; i < phnum && l.notePhdr == 0; ++i) {
        const size_t at = phoff + i * phentsize;
        if (Le(file, at, 4) != 4) continue;
        const uint64_t offset = Le(file, at + 8, 8), size = Le(file, at + 32, 8);
        l.notesEnd = std::max<size_t>(l.notesEnd, offset + size);
        if (offset <= l.noteHeader && l.noteHeader < offset + size) l.notePhdr = at;
    }
    EXPECT_NE(l.notePhdr, 0u);
    return l;
}

TEST(VersionRecord, StrippedAndWithoutSectionHeaders)
{
    testsupport::TempDir dir;
    const fs::path stripped = dir / "stripped";
    ASSERT_EQ(testsupport::RunCommand("strip --strip-all -o '" + stripped.string() + "' '" +
                                      Fixture("libversion_lib.so").string() + "'"),
              0)
        << "strip is needed (Debian package binutils)";
    VersionRecord r;
    ASSERT_TRUE(ReadVersionRecord(stripped, r));
    EXPECT_EQ(VersionText(r), "1.2.4.30");

    // Program headers are all the reader needs.
    std::string bytes = testsupport::ReadFile(Fixture("version_program"));
    PutLe(bytes, 40, 8, 0);  // e_shoff
    PutLe(bytes, 60, 2, 0);  // e_shnum
    PutLe(bytes, 62, 2, 0);  // e_shstrndx
    testsupport::WriteFile(dir / "noshdr", bytes);
    ASSERT_TRUE(ReadVersionRecord(dir / "noshdr", r));
    EXPECT_EQ(VersionText(r), "1.2.4.30");
}

TEST(VersionRecord, EveryTruncationIsRejected)
{
    for (const char* name : {"version_program", "libversion_lib.so"}) {
        SCOPED_TRACE(name);
        const std::string full = testsupport::ReadFile(Fixture(name));
        std::string description;
        ASSERT_TRUE(ReadVersionNote(Fixture(name), description));
        const Layout l = Locate(full, description);
        // The headers and every note segment up to ours: a file cut anywhere before that
        // end is damaged; the rest of the file does not matter.
        const size_t needed = std::max(l.notesEnd, l.headersEnd);

        testsupport::TempDir dir;
        const fs::path copy = dir / "copy";
        testsupport::WriteFile(copy, full.substr(0, needed + 64));
        VersionRecord r;
        for (size_t length = needed + 64; length + 1 > 0; --length) {
            fs::resize_file(copy, length);
            ASSERT_EQ(ReadVersionRecord(copy, r), length >= needed) << "length " << length;
        }
    }
}

TEST(VersionRecord, DamagedNotesAndHeaders)
{
    const std::string full = testsupport::ReadFile(Fixture("libversion_lib.so"));
    std::string description;
    ASSERT_TRUE(ReadVersionNote(Fixture("libversion_lib.so"), description));
    const Layout l = Locate(full, description);
    const size_t descAt = l.noteHeader + 12 + 8;

    struct Damage {
        const char* what;
        size_t at;
        size_t size;
        uint64_t value;
    };
    const Damage damages[] = {
        {"name size past the end", l.noteHeader, 4, 0xFFFFFFF0},
        {"description size past the end", l.noteHeader + 4, 4, 0xFFFFFFF0},
        {"description size past the segment", l.noteHeader + 4, 4, description.size() + 64},
        {"segment size past the file", l.notePhdr + 32, 8, full.size() + 1},
        {"segment size wraps", l.notePhdr + 32, 8, ~0ull},
        {"segment offset past the file", l.notePhdr + 8, 8, full.size() - 4},
        {"huge segment offset", l.notePhdr + 8, 8, ~0ull - 8},
        {"program headers past the file", 32, 8, full.size() - 8},
        {"too many program headers", 56, 2, 0xFFFE},
        {"program header count in a missing section header", 40, 8, 0},
        {"string length past the description", descAt + 24, 4, 0x7FFFFFFF},
        {"description too short for its fields", l.noteHeader + 4, 4, 20},
        {"32-bit class", 4, 1, 1},
        {"big-endian", 5, 1, 2},
        {"program header entries too small", 54, 2, 32},
    };
    testsupport::TempDir dir;
    for (const auto& d : damages) {
        std::string bytes = full;
        PutLe(bytes, d.at, d.size, d.value);
        if (std::string(d.what) == "program header count in a missing section header") PutLe(bytes, 56, 2, 0xFFFF);
        testsupport::WriteFile(dir / "damaged", bytes);
        VersionRecord r;
        EXPECT_FALSE(ReadVersionRecord(dir / "damaged", r)) << d.what;
    }
}

} // namespace
