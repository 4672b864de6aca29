#include "archive/Halvorin.h"
#include "archive/HvoDirManager.h"
#include "archive/HvoStreams.h"
#include "platform/Exceptions.h"
#include "tests/archive/UpdateSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using archivetest::MixedData;
using archivetest::PeerPasses;

namespace {

void Put16(std::string& out, uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// One-entry archive around data written by CompressEntry for item.
std::string SingleEntryZip(const TDirItem& item, const std::string& name, const std::string& data)
{
    std::string extra;
    uint16_t needed = 20;
    if (item.CompressionMethod == 99) {
        needed = 51;
        Put16(extra, 0x9901);
        Put16(extra, 7);
        Put16(extra, 2);
        extra += "AE";
        extra += static_cast<char>(item.AesStrength);
        Put16(extra, item.StoredMethod);
    }
    const uint16_t flags = item.SourceText.empty() ? 0 : 1;
    auto common = [&](std::string& out) {
        Put16(out, needed);
        Put16(out, flags);
        Put16(out, item.CompressionMethod);
        Put16(out, 0);
        Put16(out, 0x21);
        Put32(out, item.Crc32);
        Put32(out, item.CompressedSize);
        Put32(out, item.UncompressedSize);
        Put16(out, static_cast<uint32_t>(name.size()));
        Put16(out, static_cast<uint32_t>(extra.size()));
    };
    std::string zip;
    Put32(zip, 0x04034b50);
    common(zip);
    zip += name + extra + data;
    const size_t directory = zip.size();
    Put32(zip, 0x02014b50);
    Put16(zip, 20);
    common(zip);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, 0);
    Put32(zip, 0);
    Put32(zip, 0);
    zip += name + extra;
    const size_t directorySize = zip.size() - directory;
    Put32(zip, 0x06054b50);
    Put32(zip, 0);
    Put16(zip, 1);
    Put16(zip, 1);
    Put32(zip, static_cast<uint32_t>(directorySize));
    Put32(zip, static_cast<uint32_t>(directory));
    Put16(zip, 0);
    return zip;
}

struct Encoded {
    TDirItem item;
    std::string data;
};

Encoded Compress(const std::string& content, uint8_t level, const std::string& password = {},
                 THvoCryptoAlgorithm method = caPkzipClassic)
{
    auto a = THalvorin::Create();
    a->SetEncryptionMethod(method);
    Encoded e;
    e.item.DeflateLevel = level;
    e.item.StoredMethod = level > 0 ? 8 : 0;
    e.item.CompressionMethod = e.item.StoredMethod;
    e.item.SourceText = password;
    e.item.SourcePath = "source";
    TMemoryStream source;
    source.Write(content.data(), static_cast<int64_t>(content.size()));
    TMemoryStream out;
    EXPECT_TRUE(a->CompressEntry(source, out, e.item));
    e.data.assign(reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size()));
    return e;
}

std::string WriteZip(const testsupport::TempDir& dir, const std::string& zipName, const Encoded& e)
{
    const std::string path = (dir / zipName).string();
    std::ofstream(path, std::ios::binary) << SingleEntryZip(e.item, "entry.bin", e.data);
    return path;
}

TEST(CompressEntry, StoredAndDeflatedEntriesPassThePeers)
{
    testsupport::TempDir dir;
    const std::string content = MixedData(3 * 1024 * 1024 + 17);
    const struct {
        uint8_t level;
        uint16_t method;
    } rows[] = {{0, 0}, {1, 8}, {6, 8}, {9, 8}};
    for (const auto& row : rows) {
        const Encoded e = Compress(content, row.level);
        EXPECT_EQ(e.item.CompressionMethod, row.method);
        EXPECT_EQ(e.item.UncompressedSize, content.size());
        EXPECT_EQ(e.item.CompressedSize, e.data.size());
        if (row.level > 0) {
            EXPECT_LT(e.data.size(), content.size());
        }
        const std::string zip = WriteZip(dir, "l" + std::to_string(row.level) + ".zip", e);
        PeerPasses("unzip -tqq " + zip);
        PeerPasses("/usr/bin/python3 -m zipfile -t " + zip);
        PeerPasses("7z t -bd " + zip);
        std::string out;
        testsupport::RunCommand("unzip -p " + zip, &out);
        EXPECT_TRUE(out == content) << "level " << int(row.level);
    }
}

TEST(CompressEntry, AnEmptySourceIsStored)
{
    const Encoded e = Compress("", 6);
    EXPECT_EQ(e.item.CompressionMethod, 0);
    EXPECT_EQ(e.item.StoredMethod, 0);
    EXPECT_EQ(e.item.CompressedSize, 0u);
    EXPECT_EQ(e.item.Crc32, 0u);
}

TEST(CompressEntry, EncryptedEntriesOpenWithTheirPasswordAndNeverRepeatTheirHeader)
{
    testsupport::TempDir dir;
    const std::string content = MixedData(200000);
    const Encoded t1 = Compress(content, 6, "secret");
    const Encoded t2 = Compress(content, 6, "secret");
    EXPECT_EQ(t1.data.size(), t1.item.CompressedSize);
    EXPECT_NE(t1.data.substr(0, 12), t2.data.substr(0, 12));
    std::string out;
    testsupport::RunCommand("unzip -P secret -p " + WriteZip(dir, "t.zip", t1), &out);
    EXPECT_TRUE(out == content);

    for (THvoCryptoAlgorithm method : {caAES_128, caAES_256}) {
        const Encoded a1 = Compress(content, 6, "secret", method);
        const Encoded a2 = Compress(content, 6, "secret", method);
        EXPECT_EQ(a1.item.CompressionMethod, 99);
        EXPECT_EQ(a1.item.AesStrength, static_cast<uint8_t>(method));
        const size_t salt = method == caAES_128 ? 8 : 16;
        EXPECT_NE(a1.data.substr(0, salt), a2.data.substr(0, salt));
        const std::string zip = WriteZip(dir, "a" + std::to_string(int(method)) + ".zip", a1);
        PeerPasses("7z t -bd -psecret " + zip);
        testsupport::RunCommand("7z x -so -psecret " + zip + " 2>/dev/null", &out);
        EXPECT_TRUE(out == content) << int(method);
    }
}

bool CompressThreeBytes(THalvorin& a, TDirItem& item, TMemoryStream& out)
{
    item.SourcePath = "source";
    TMemoryStream source;
    source.Write("abc", 3);
    return a.CompressEntry(source, out, item);
}

TEST(CompressEntry, Zip64FieldsFollowTheMode)
{
    auto a = THalvorin::Create();
    a->SetZip64Mode(zmAlways);
    TDirItem item;
    TMemoryStream out;
    ASSERT_TRUE(CompressThreeBytes(*a, item, out));
    EXPECT_TRUE(item.HasZip64Extra);
    EXPECT_EQ(item.CompressedSize, 0xFFFFFFFFu);
    EXPECT_EQ(item.UncompressedSize, 0xFFFFFFFFu);
    EXPECT_EQ(item.CompressedSize64, 3u);
    EXPECT_EQ(item.UncompressedSize64, 3u);
}

TEST(CompressEntry, ACancelFromTheProgressEventWritesNothingFurther)
{
    auto a = THalvorin::Create();
    a->OnFileProgress = [](THvoBaseArchiver&, const std::string&, double, THvoProcessOperation, THvoProgressPhase,
                           bool& cancel) { cancel = true; };
    TDirItem item;
    TMemoryStream out;
    EXPECT_FALSE(CompressThreeBytes(*a, item, out));
    EXPECT_TRUE(a->Cancelled);
    EXPECT_EQ(out.Size(), 0);
}

TEST(HvoUpdateHelpers, MakeTempFileNameCreatesAnEmptyHvFileInTempDir)
{
    testsupport::TempDir dir;
    auto a = THalvorin::Create();
    a->SetTempDir(dir.path().string());
    const std::string first = a->MakeTempFileName();
    const std::string second = a->MakeTempFileName();
    EXPECT_NE(first, second);
    for (const std::string& name : {first, second}) {
        const std::filesystem::path p(name);
        EXPECT_EQ(p.parent_path(), dir.path());
        EXPECT_EQ(p.filename().string().rfind("hv", 0), 0u) << name;
        EXPECT_TRUE(std::filesystem::is_regular_file(p));
        EXPECT_EQ(std::filesystem::file_size(p), 0u);
    }
    a->SetTempDir((dir / "missing").string());
    EXPECT_THROW(a->MakeTempFileName(), platform::EFCreateError);
}

} // namespace
