// Third-party archives: each is opened, listed and extracted, and compared with Info-ZIP
// unzip and 7-Zip on the same file. What we do differently from the peers is a line of
// corpus_expectations.tsv (archive, outcome, reason); any other difference fails.

#include "archive/Halvorin.h"
#include "archive/HvoExcept.h"
#include "tests/archive/ArchiveFixtures.h"
#include "tests/archive/ExtractSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <regex>
#include <set>
#include <sstream>

using namespace archivetest;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

const fs::path kCorpus = MIRVAK_SOURCE_DIR "/../shared/testdata/zip";

// Passwords the corpus's README gives, by archive file name.
const std::map<std::string, std::string> kPasswords = {
    {"data__encrypt-aes128.zip", "foofoofoo"}, {"data__encrypt-aes192.zip", "foofoofoo"},
    {"data__encrypt-aes256.zip", "foofoofoo"}, {"data__encrypt.zip", "foo"},
    {"data__encrypt-1234.zip", "1234"},        {"data__hmac-error.zip", "1234"},
    {"data__empty-pkware.zip", "1"},
};

std::vector<fs::path> CorpusArchives()
{
    std::vector<fs::path> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(kCorpus, ec); it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        const std::string name = it->path().filename().string();
        if (name.rfind("README", 0) == 0 || name.rfind("LICENSE", 0) == 0) continue;
        out.push_back(it->path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Name and size of one listed entry; a final "/" is dropped.
using Listing = std::vector<std::pair<std::string, uint64_t>>;

std::string Normal(std::string name)
{
    if (!name.empty() && name.back() == '/') name.pop_back();
    return name;
}

// unzip -l: whether it listed (exit status 0 or 1) and what.
bool UnzipListing(const fs::path& archive, Listing& listing)
{
    std::string out;
    const int status = RunCommand("LC_ALL=C.UTF-8 unzip -l " + Quoted(archive.string()) + " </dev/null 2>/dev/null", &out);
    if (status < 0 || status > 1) return false;
    static const std::regex line(R"(^\s*(\d+)\s+\S+\s+\S+\s{3}(.*)$)");
    std::istringstream in(out);
    bool inside = false;
    for (std::string l; std::getline(in, l);) {
        if (l.rfind("---------", 0) == 0) {
            if (inside) break;
            inside = true;
            continue;
        }
        std::smatch m;
        if (inside && std::regex_match(l, m, line)) listing.emplace_back(Normal(m[2]), std::stoull(m[1]));
    }
    return true;
}

// 7z l -slt: whether it listed (exit status 0) and what.
bool SevenZipListing(const fs::path& archive, Listing& listing, const std::string& password)
{
    std::string out;
    const int status =
        RunCommand("LC_ALL=C.UTF-8 7z l -slt -p" + Quoted(password) + " " + Quoted(archive.string()) + " </dev/null 2>/dev/null", &out);
    if (status != 0) return false;
    std::istringstream in(out);
    bool inside = false;
    std::string path;
    for (std::string l; std::getline(in, l);) {
        if (l.rfind("----------", 0) == 0) inside = true;
        if (!inside) continue;
        if (l.rfind("Path = ", 0) == 0) path = l.substr(7);
        if (l.rfind("Size = ", 0) == 0) listing.emplace_back(Normal(path), l.size() > 7 ? std::stoull(l.substr(7)) : 0);
    }
    return true;
}

// Our listing through the public search.
Listing OurListing(THalvorin& a)
{
    Listing out;
    THvoDirArray& items = a.DirManager()->Items;
    for (int32_t i = 0; i < items.Count; ++i)
        out.emplace_back(Normal(items.ItemPtr(i).FileName), items.ItemPtr(i).EffectiveUncompressedSize());
    return out;
}

// Runs one archive and returns its outcome: "ok", "refused" (we and a peer refuse it), or
// the deviations found, sorted and joined by ",".
std::string Outcome(const fs::path& archive, std::string& details)
{
    const std::string name = archive.filename().string();
    const auto known = kPasswords.find(name);
    const std::string password = known == kPasswords.end() ? "" : known->second;
    std::set<std::string> tags;
    TempDir dir;
    const fs::path root = dir / "root";
    const fs::path scratch = root / "scratch";
    fs::create_directories(root);

    Listing unzipList, sevenList;
    const bool unzipLists = UnzipListing(archive, unzipList);
    const bool sevenLists = SevenZipListing(archive, sevenList, password);

    auto a = THalvorin::Create();
    a->Options().StorePath = spFullPath;
    a->SetFileName(archive.string());
    std::vector<Failure> failures;
    a->OnProcessFileFailure = [&](THvoBaseArchiver&, const std::string& entry, THvoProcessOperation, int native, int,
                                  const std::string& message, THvoAction& action) {
        failures.push_back({entry, native, message});
        action = fxaIgnore;
    };
    std::set<std::string> asked;
    a->OnPassword = [&](THvoBaseArchiver&, const std::string& entry, std::string& value, bool& skip) {
        skip = password.empty() || !asked.insert(entry).second;
        value = password;
    };
    const auto cancelVolume = [](THvoBaseArchiver&, int, std::string&, bool& cancel) { cancel = true; };
    a->OnRequestBlankVolume = cancelVolume;
    a->OnRequestMiddleVolume = cancelVolume;
    a->OnRequestFirstVolume = [](THvoBaseArchiver&, std::string&, bool& cancel) { cancel = true; };
    a->OnRequestLastVolume = [](THvoBaseArchiver&, std::string&, bool& cancel) { cancel = true; };
    try {
        a->OpenArchive();
    } catch (const EHvoException& e) {
        details = e.what();
        return unzipLists && sevenLists ? "refused-peers-list" : "refused";
    } catch (const EStreamError& e) {
        details = e.what();
        return unzipLists && sevenLists ? "refused-peers-list" : "refused";
    }
    if (!unzipLists && !sevenLists) tags.insert("opened-peers-refuse");
    const Listing ours = OurListing(*a);
    if (unzipLists && ours != unzipList) tags.insert("listing-differs-unzip");
    if (sevenLists && ours != sevenList) tags.insert("listing-differs-7z");

    a->SetBaseDir(scratch.string());
    a->ExtractFiles("*.*", 10431, "");
    a->CloseArchive();
    if (Tree(root).size() != Tree(scratch).size() + (fs::exists(scratch) ? 1 : 0)) tags.insert("wrote-outside");

    const fs::path byUnzip = dir / "unzip";
    const fs::path by7z = dir / "7z";
    RunCommand("LC_ALL=C.UTF-8 unzip -qq -o -P " + Quoted(password) + " " + Quoted(archive.string()) + " -d " +
               Quoted(byUnzip.string()) + " </dev/null >/dev/null 2>&1");
    RunCommand("LC_ALL=C.UTF-8 7z x -y -bd -p" + Quoted(password) + " -o" + Quoted(by7z.string()) + " " +
               Quoted(archive.string()) + " </dev/null >/dev/null 2>&1");
    for (const auto& [path, bytes] : Tree(scratch)) {
        if (bytes == "/") continue;
        const fs::path fromUnzip = byUnzip / path;
        const fs::path from7z = by7z / path;
        std::string expected;
        if (fs::is_regular_file(fs::symlink_status(fromUnzip)))
            expected = ReadFile(fromUnzip);
        else if (fs::is_regular_file(fs::symlink_status(from7z)))
            expected = ReadFile(from7z);
        else if (fs::is_symlink(fs::symlink_status(fromUnzip)))
            expected = fs::read_symlink(fromUnzip).string();
        else {
            tags.insert("file-peers-lack");
            continue;
        }
        if (expected != bytes) tags.insert("bytes-differ");
    }
    bool rejected = false;
    for (const Failure& f : failures) {
        details += f.name + ": " + f.message + "\n";
        if (f.native == 68)
            tags.insert("unsafe-name");
        else
            rejected = true;
    }
    if (rejected) {
        const int unzipTest = RunCommand("unzip -tqq -P " + Quoted(password) + " " + Quoted(archive.string()) + " </dev/null >/dev/null 2>&1");
        const int sevenTest =
            RunCommand("7z t -bd -p" + Quoted(password) + " " + Quoted(archive.string()) + " </dev/null >/dev/null 2>&1");
        if (unzipTest == 0 && sevenTest == 0) tags.insert("rejects-entries-peers-accept");
    }
    if (tags.empty()) return "ok";
    std::string joined;
    for (const std::string& t : tags) joined += (joined.empty() ? "" : ",") + t;
    return joined;
}

// The table: archive -> outcome, each line with a reason.
std::map<std::string, std::string> Expectations()
{
    std::map<std::string, std::string> out;
    for (const auto& row : ReadTable(MIRVAK_SOURCE_DIR "/tests/archive/corpus_expectations.tsv")) {
        if (row.empty() || row[0].empty() || row[0][0] == '#') continue;
        EXPECT_EQ(row.size(), 3u) << row[0];
        EXPECT_TRUE(row.size() >= 3 && !row[2].empty()) << "no reason for " << row[0];
        if (row.size() >= 2) out[row[0]] = row[1];
    }
    return out;
}

class CorpusArchive : public ::testing::TestWithParam<fs::path> {};

std::string TestName(const ::testing::TestParamInfo<fs::path>& info)
{
    std::string name = fs::relative(info.param, kCorpus).string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

} // namespace

TEST(Corpus, TheFolderAndEveryExpectationLineExist)
{
    ASSERT_TRUE(fs::is_directory(kCorpus)) << kCorpus;
    const auto archives = CorpusArchives();
    EXPECT_GT(archives.size(), 100u);
    std::set<std::string> names;
    for (const auto& p : archives) names.insert(fs::relative(p, kCorpus).string());
    for (const auto& [archive, outcome] : Expectations()) {
        EXPECT_TRUE(names.count(archive)) << "no such archive: " << archive;
        EXPECT_NE(outcome, "ok") << archive;
    }
}

TEST_P(CorpusArchive, BehavesLikeThePeersOrAsTheTableSays)
{
    const std::string key = fs::relative(GetParam(), kCorpus).string();
    std::string details;
    const std::string outcome = Outcome(GetParam(), details);
    const auto table = Expectations();
    const auto line = table.find(key);
    std::string expected = line == table.end() ? "ok" : line->second;
    // A refusal that a peer shares is no deviation and needs no line.
    if (line == table.end() && outcome == "refused") expected = "refused";
    EXPECT_EQ(outcome, expected) << key << "\n" << details;
}

INSTANTIATE_TEST_SUITE_P(Archives, CorpusArchive, ::testing::ValuesIn(CorpusArchives()), TestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusArchive);
