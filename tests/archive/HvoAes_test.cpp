// AES entry encryption: key derivation, the transform in both directions against 7-Zip's
// archives, authentication, the layout of what it writes.

#include "archive/HvoAes.h"
#include "archive/HvoChecksum.h"
#include "archive/HvoDirManager.h"
#include "tests/archive/ArchiveFixtures.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

using namespace archivetest;

namespace {

std::string Hex(const std::vector<uint8_t>& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

TEST(HvoAes, Pbkdf2HmacSha1KnownAnswers)
{
    using namespace std::string_literals;
    // RFC 6070.
    const struct {
        std::string password, salt;
        int32_t iterations, length;
        const char* key;
    } rows[] = {
        {"password", "salt", 1, 20, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {"password", "salt", 2, 20, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {"password", "salt", 4096, 20, "4b007901b765489abead49d926f721d065a429c1"},
        {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 25,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {"pass\0word"s, "sa\0lt"s, 4096, 16, "56fa6aa75548099dcc37d7f03425e0c3"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.key);
        const TPBKDF2 kdf(row.password, row.iterations, static_cast<int32_t>(row.salt.size()),
                          reinterpret_cast<const uint8_t*>(row.salt.data()));
        EXPECT_EQ(Hex(kdf.DeriveKey(row.length)), row.key);
        EXPECT_EQ(ToString(kdf.GetSalt()), row.salt);
    }
}

TEST(HvoAes, LayoutOfTheTransform)
{
    const struct {
        int32_t bits;
        int32_t headerSize;
        uint8_t strength;
    } rows[] = {{128, 10, 1}, {192, 14, 2}, {256, 18, 3}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bits);
        TAESCryptoTransform transform(row.bits, 2, 8);
        EXPECT_EQ(transform.EncryptionHeaderSize(), row.headerSize);
        EXPECT_EQ(transform.AuthenticationCodeSize(), 10);
        const TExtraBlock extra = transform.GetExtraField();
        EXPECT_EQ(extra.HeaderId, 0x9901);
        EXPECT_EQ(extra.Data, (std::vector<uint8_t>{2, 0, 'A', 'E', row.strength, 8, 0}));
        transform.SetPassword("pw");
        EXPECT_EQ(transform.GetEncryptionHeader().size(), static_cast<size_t>(row.headerSize));
        EXPECT_EQ(transform.GetKey().size(), static_cast<size_t>(row.bits / 8));
    }
    TAESCryptoTransform ae1(256, 1, 0);
    EXPECT_EQ(ae1.GetExtraField().Data, (std::vector<uint8_t>{1, 0, 'A', 'E', 3, 0, 0}));
}

// Every salt comes from the system's random source: entries created back to back never
// share one, and every byte value can occur.
TEST(HvoAes, SaltsOfNewEntriesDiffer)
{
    std::set<std::vector<uint8_t>> salts;
    bool sawFF = false;
    for (int i = 0; i < 1000; ++i) {
        TAESCryptoTransform transform(128, 2, 8);
        transform.SetPassword("pw");
        const std::vector<uint8_t>& salt = transform.EntrySalt;
        ASSERT_EQ(salt.size(), 8u);
        sawFF = sawFF || std::find(salt.begin(), salt.end(), 0xFF) != salt.end();
        salts.insert(salt);
    }
    EXPECT_EQ(salts.size(), 1000u);
    EXPECT_TRUE(sawFF);
}

// Decrypts an AES entry of a fixture the way the transfer drives the transform, the data
// in chunks of uneven sizes; the output as it would be inflated or copied.
struct TAesResult {
    bool passwordOk = false;
    bool authenticationFailed = true;
    std::string output;
};

TAesResult DecryptAes(const TRawEntry& entry, TAESCryptoTransform& transform, const std::string& password,
                      const std::vector<uint8_t>& data)
{
    TAesResult result;
    TMemoryStream stream;
    stream.Write(data.data(), static_cast<int64_t>(data.size()));
    stream.SetPosition(0);
    transform.SetPassword(password);
    transform.ReadEncryptionHeader(stream, 0);
    result.passwordOk = transform.CheckPassword(password);
    if (!result.passwordOk) return result;
    const size_t overhead = static_cast<size_t>(transform.EncryptionHeaderSize() + transform.AuthenticationCodeSize());
    EXPECT_GE(data.size(), overhead);
    std::vector<uint8_t> plain(data.size() - overhead);
    const size_t start = static_cast<size_t>(transform.EncryptionHeaderSize());
    const size_t chunks[] = {1, 15, 17, 4096, 5, 32768};
    for (size_t at = 0, k = 0; at < plain.size(); ++k) {
        const size_t n = std::min(chunks[k % std::size(chunks)], plain.size() - at);
        transform.DecryptData(data.data(), start + at, plain.data(), at, n);
        at += n;
    }
    stream.SetPosition(static_cast<int64_t>(start + plain.size()));
    transform.ReadAuthenticationCode(stream, 0);
    result.output = transform.ActualMethod == 8 ? InflateRaw(plain.data(), plain.size()) : ToString(plain);
    const uint32_t crc = ~UpdateCrc32(0xFFFFFFFFu, result.output.data(), result.output.size());
    result.authenticationFailed = transform.AuthenticationFailed(entry.Item, crc);
    return result;
}

TEST(HvoAes, DecryptsSevenZipEntries)
{
    std::set<int> strengths;
    std::set<uint16_t> methods;
    for (const auto& row : ReadTable(FixtureDir() / "crypto.tsv")) {
        if (row[0] != "entry" || row[5] == "0") continue;
        SCOPED_TRACE(row[1] + " #" + row[2]);
        const TRawEntry entry = ReadRawEntry(row[1], std::stoi(row[2]));
        ASSERT_TRUE(entry.Item.Flags & 1);
        ASSERT_EQ(entry.Item.CompressionMethod, 99);
        auto transform = TAESCryptoTransform::ForEntry(entry.Item);
        EXPECT_EQ(transform->Direction, THvoCryptoTransform::kDecrypt);
        EXPECT_EQ(transform->VendorVersion, std::stoi(row[5])) << "the version 7-Zip wrote";
        EXPECT_EQ(transform->KeyLength, 8 + 8 * entry.Item.AesStrength);
        strengths.insert(entry.Item.AesStrength);
        methods.insert(transform->ActualMethod);

        const TAesResult result = DecryptAes(entry, *transform, "pw", entry.Data);
        EXPECT_TRUE(result.passwordOk);
        EXPECT_FALSE(result.authenticationFailed);
        const std::string expected = testsupport::ReadFile(FixtureDir() / row[3]);
        EXPECT_TRUE(result.output == expected) << "output differs";
        if (transform->ActualMethod == 0) {
            EXPECT_EQ(entry.Data.size(), expected.size() + transform->EncryptionHeaderSize() + 10)
                << "salt and verifier before the data, the code after it";
        }

        // A wrong password fails the verifier, or (1 in 65536) the code.
        auto other = TAESCryptoTransform::ForEntry(entry.Item);
        const TAesResult wrong = DecryptAes(entry, *other, "px", entry.Data);
        EXPECT_TRUE(!wrong.passwordOk || wrong.authenticationFailed);
    }
    EXPECT_EQ(strengths, (std::set<int>{1, 2, 3}));
    EXPECT_EQ(methods, (std::set<uint16_t>{0, 8}));
}

TEST(HvoAes, ChangedBytesFailTheAuthentication)
{
    const TRawEntry entry = ReadRawEntry("enc_7z_aes256.zip", 0);
    const size_t size = entry.Data.size();
    const struct {
        const char* what;
        size_t at;
    } rows[] = {{"first cipher byte", 18}, {"last cipher byte", size - 11}, {"authentication code", size - 3}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<uint8_t> data = entry.Data;
        data[row.at] ^= 0x20;
        auto transform = TAESCryptoTransform::ForEntry(entry.Item);
        const TAesResult result = DecryptAes(entry, *transform, "pw", data);
        EXPECT_TRUE(result.passwordOk);
        EXPECT_TRUE(result.authenticationFailed);
    }
}

// AE-1 entries are checked by their code and their CRC; AE-2 entries by the code alone.
TEST(HvoAes, VendorVersionOneAlsoChecksTheCrc)
{
    const TRawEntry source = ReadRawEntry("enc_7z_aes128.zip", 1);
    const std::string expected = testsupport::ReadFile(FixtureDir() / "crypt/text.txt");
    const uint32_t realCrc = ~UpdateCrc32(0xFFFFFFFFu, expected.data(), expected.size());
    const struct {
        uint16_t version;
        uint32_t storedCrc;
        bool fails;
    } rows[] = {{1, realCrc, false}, {1, realCrc ^ 1, true}, {1, 0, true}, {2, 0, false}, {2, realCrc ^ 1, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "AE-" << row.version << " crc " << row.storedCrc);
        TRawEntry entry = source;
        entry.Item.Crc32 = row.storedCrc;
        TAESCryptoTransform transform(128, row.version, 8);
        transform.SetDirection(THvoCryptoTransform::kDecrypt);
        const TAesResult result = DecryptAes(entry, transform, "pw", entry.Data);
        EXPECT_TRUE(result.output == expected);
        EXPECT_EQ(result.authenticationFailed, row.fails);
    }
}

// One decrypting transform reads headers of entries with different salts and checks
// passwords in turn: the keys and verdicts always follow the latest salt and password,
// never an earlier derivation.
TEST(HvoAes, KeysFollowEverySaltAndPassword)
{
    struct Written {
        std::vector<uint8_t> header, key;
    };
    auto encrypt = [](int bits, const std::string& password) {
        TAESCryptoTransform e(bits, 2, 8);
        e.SetPassword(password);
        return Written{e.GetEncryptionHeader(), e.GetKey()};
    };
    const Written entries[] = {encrypt(256, "pw"), encrypt(256, "pw"), encrypt(256, "other")};
    ASSERT_NE(entries[0].key, entries[1].key);
    TAESCryptoTransform d(256, 2, 8);
    d.SetDirection(THvoCryptoTransform::kDecrypt);
    auto readHeader = [&](const Written& w) {
        TMemoryStream stream;
        stream.Write(w.header.data(), static_cast<int64_t>(w.header.size()));
        stream.SetPosition(0);
        d.ReadEncryptionHeader(stream, 0);
    };
    const struct {
        const char* title;
        int entry;
        const char* password;
        bool matches;
    } steps[] = {
        {"first entry, its password", 0, "pw", true},   {"first entry, another password", 0, "px", false},
        {"second salt, same password", 1, "pw", true},  {"third entry, the first password", 2, "pw", false},
        {"third entry, its password", 2, "other", true}, {"back to the first salt", 0, "pw", true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.title);
        readHeader(entries[step.entry]);
        EXPECT_EQ(d.CheckPassword(step.password), step.matches);
        d.SetPassword(step.password);
        EXPECT_EQ(d.GetKey() == entries[step.entry].key, step.matches);
    }
    // The same salt read as a 128-bit entry's derives a shorter key of its own.
    TAESCryptoTransform small(128, 2, 8);
    small.SetDirection(THvoCryptoTransform::kDecrypt);
    const Written short128 = encrypt(128, "pw");
    TMemoryStream stream;
    stream.Write(short128.header.data(), static_cast<int64_t>(short128.header.size()));
    stream.SetPosition(0);
    small.ReadEncryptionHeader(stream, 0);
    EXPECT_TRUE(small.CheckPassword("pw"));
    small.SetPassword("pw");
    EXPECT_EQ(small.GetKey(), short128.key);
}

TEST(HvoAes, ResetDropsTheKeys)
{
    TAESCryptoTransform transform(256, 2, 0);
    transform.SetPassword("pw");
    uint8_t byte = 0;
    transform.EncryptData(&byte, 0, &byte, 0, 1);
    transform.Reset();
    EXPECT_TRUE(transform.GetKey().empty());
    EXPECT_TRUE(transform.GetPassword().empty());
    EXPECT_EQ(transform.KeyLength, 0);
    EXPECT_THROW(transform.DecryptData(&byte, 0, &byte, 0, 1), platform::Exception);
    EXPECT_THROW(transform.SetPassword("pw"), platform::Exception);
}

// Entries this transform encrypts are read by 7-Zip and by the transform itself, for every
// key size, stored and deflated.
TEST(HvoAes, EntriesEncryptedHereAreReadBySevenZip)
{
    testsupport::TempDir dir;
    std::mt19937 random(106);
    std::string plain(70000, '\0');
    for (char& c : plain) c = static_cast<char>(random());
    for (const int32_t bits : {128, 192, 256}) {
        for (const uint16_t method : {uint16_t{0}, uint16_t{8}}) {
            SCOPED_TRACE(testing::Message() << "AES-" << bits << " method " << method);
            const std::string source = method == 8 ? plain.substr(0, 20000) + std::string(30000, 'x') : plain;
            const std::vector<uint8_t> data =
                method == 8 ? DeflateRaw(source) : std::vector<uint8_t>(source.begin(), source.end());
            TAESCryptoTransform transform(bits, 2, method);
            transform.SetDirection(THvoCryptoTransform::kEncrypt);
            transform.SetPassword("pw");
            std::vector<uint8_t> stored = transform.GetEncryptionHeader();
            const size_t start = stored.size();
            stored.resize(start + data.size());
            for (size_t at = 0; at < data.size();) {
                const size_t n = std::min<size_t>(at % 3 == 0 ? 4099 : 13, data.size() - at);
                transform.EncryptData(data.data(), at, stored.data(), start + at, n);
                at += n;
            }
            const std::vector<uint8_t> code = transform.GetAuthenticationCode();
            ASSERT_EQ(code.size(), 10u);
            stored.insert(stored.end(), code.begin(), code.end());
            const TExtraBlock extra = transform.GetExtraField();
            const uint32_t crc = ~UpdateCrc32(0xFFFFFFFFu, source.data(), source.size());
            const std::string name = "aes" + std::to_string(bits) + "_" + std::to_string(method) + ".zip";
            WriteOneEntryZip(dir / name, "secret.bin", 51, 1, 99, crc, static_cast<uint32_t>(source.size()),
                             BuildExtraField({extra}), stored);

            std::string output;
            EXPECT_EQ(testsupport::RunCommand("7z x -so -ppw '" + (dir / name).string() + "' 2>/dev/null", &output), 0);
            EXPECT_TRUE(output == source) << "7-Zip gives other bytes";
            EXPECT_NE(testsupport::RunCommand("7z t -ppx '" + (dir / name).string() + "' >/dev/null 2>&1"), 0);

            TRawEntry entry;
            entry.Item.Crc32 = crc;
            entry.Item.AesStrength = static_cast<uint8_t>(bits / 64 - 1);
            entry.Item.ExtraFields = {extra};
            auto reader = TAESCryptoTransform::ForEntry(entry.Item);
            const TAesResult result = DecryptAes(entry, *reader, "pw", stored);
            EXPECT_FALSE(result.authenticationFailed);
            EXPECT_TRUE(result.output == source);
        }
    }
}

} // namespace
