// Commits of archive updates chosen by the input. An archive file in a temporary folder
// goes through up to four rounds; each round opens it, queues a sequence of additions,
// replacements, renames and deletions (sources are files of the folder, at most 2 KiB
// each; names are unique ignoring case, as the directory wants them), optionally
// planted with a failure, and closes it, which commits.
//
// Property: after a commit the archive read back holds exactly the expected entries, in
// the expected order, with exactly their contents. A failure in the middle that ends the
// commit (an Abort answer to a failed entry, a cancel from a progress event) leaves the
// archive byte-identical to what it was before the round; a failed entry answered
// Ignore is the only change dropped (an addition is left out, a replacement keeps the
// old contents).
//
// Input: one byte of round settings (bits 0-3 compression mode, bit 4 encrypt, bits
// 5-7 planted failure), one byte of operation count (mod 9), then per operation a kind
// byte, a target byte and, for additions and replacements, a length byte, a repeat
// byte and the contents' bytes; then the next round.

#include "archive/Halvorin.h"
#include "archive/HvoStreams.h"
#include "archive/HvoUpdate.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

void Require(bool holds, const char* what)
{
    if (!holds) Fail(what);
}

// The input read byte by byte; zeros past its end.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool AtEnd() const { return used_ >= size_; }
    uint8_t Byte() { return used_ < size_ ? data_[used_++] : 0; }
    std::string Bytes(size_t count)
    {
        const size_t n = std::min(count, size_ - std::min(used_, size_));
        std::string out(reinterpret_cast<const char*>(data_ + used_), n);
        used_ += n;
        out.resize(count, '\0');
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t used_ = 0;
};

// The names entries take: plain, with an extension, in folders, upper case.
const char* const kNames[] = {"a",          "b.txt",   "C.HEX",        "dir/d",        "dir/sub/e.bin", "f g.dat",
                              "dir/F.txt",  "h",       "x/y/z/i.cfg",  "j.j",          "K",             "long_name_l.txt",
                              "m.m",        "n.zip",   "o.o.o",        "p"};
constexpr size_t kNameCount = std::size(kNames);
constexpr size_t kMaxOperations = 8;
constexpr int kMaxRounds = 4;
const char kPassword[] = "pw";

// One expected entry.
struct Entry {
    std::string name;
    std::string data;
};

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The folder the target works in: in memory when the system offers one. Made once per
// process and removed at its end; libFuzzer may end a process without running exit
// handlers, so the folders of processes that are gone are removed when the next starts.
const fs::path& WorkFolder()
{
    static const fs::path folder = [] {
        fs::path base = fs::is_directory("/dev/shm") && ::access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm")
                                                                                         : fs::temp_directory_path();
        const std::string prefix = "fuzz_zip_update.";
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(base, ec)) {
            const std::string name = e.path().filename().string();
            if (name.rfind(prefix, 0) != 0) continue;
            const std::string digits = name.substr(prefix.size());
            if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) continue;
            const auto pid = static_cast<pid_t>(std::stol(digits));
            if (::kill(pid, 0) != 0 && errno == ESRCH) fs::remove_all(e.path(), ec);
        }
        fs::path f = base / (prefix + std::to_string(::getpid()));
        fs::create_directories(f);
        std::atexit([] { std::error_code ec; fs::remove_all(WorkFolder(), ec); });
        return f;
    }();
    return folder;
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Planted failures of a round.
enum Planted : uint8_t {
    kNone,
    kMissingAddIgnored,     // an addition whose source is missing, answered Ignore
    kMissingReplaceIgnored, // a replacement whose source is missing, answered Ignore
    kMissingAddAborted,     // an addition whose source is missing, answered Abort
    kCancelFileProgress,    // a per-entry progress event cancels
    kCancelOverallProgress, // the overall progress event cancels
    // 6 and 7 plant nothing either.
};

// Reads the archive back: its entries in directory order, each decoded.
std::vector<Entry> ReadBack(const fs::path& zip)
{
    auto a = THalvorin::Create();
    a->SetFileName(zip.string());
    a->SetPassword(kPassword);
    a->OnPassword = [](THvoBaseArchiver&, const std::string&, std::string&, bool& skip) { skip = true; };
    a->OnProcessFileFailure = [](THvoBaseArchiver&, const std::string&, THvoProcessOperation, int, int,
                                 const std::string&, THvoAction& action) { action = fxaAbort; };
    a->OpenArchiveMode(kHvoOpenReadOnly);
    std::vector<Entry> out;
    for (int32_t i = 0; i < a->DirManager()->Items.Count; ++i) {
        TMemoryStream data;
        a->ExtractItemToStream(i, data);
        const std::string name = a->DirManager()->Items.ItemPtr(i).FileName;
        out.push_back({name, std::string(reinterpret_cast<const char*>(data.Memory()), static_cast<size_t>(data.Size()))});
    }
    a->CloseArchive();
    return out;
}

std::vector<Entry> ReadBackOrFail(const fs::path& zip)
{
    try {
        return ReadBack(zip);
    } catch (const platform::Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        Fail("the committed archive cannot be read back");
    }
}

// One round: the operations queued on the open archive, then the commit. expected is the
// archive's entries before the round and, after it, what the archive must hold.
void Round(Input& in, const fs::path& folder, const fs::path& zip, std::vector<Entry>& expected, int round)
{
    const uint8_t settings = in.Byte();
    const int mode = settings & 0x0F;
    const bool encrypt = settings & 0x10;
    const auto planted = static_cast<Planted>(settings >> 5);
    const size_t operations = in.Byte() % (kMaxOperations + 1);

    const bool existed = fs::exists(zip);
    const std::string before = existed ? ReadAll(zip) : std::string();

    auto a = THalvorin::Create();
    a->SetFileName(zip.string());
    a->SetTempDir(folder.string());
    a->SetCompressionMode(std::min(mode, 9));
    if (encrypt) a->SetPassword(kPassword);
    a->OpenArchive();
    HvoOpenUpdate(*a);
    THvoDirArray& items = a->DirManager()->Items;

    // The expected entries beside the items (same order); whether each is written from a
    // source in this round.
    std::vector<Entry> after = expected;
    std::vector<bool> written(after.size(), false);
    // What the planted failure changes: the entry whose source is missing.
    int plantedIndex = -1;
    std::string keptData;

    auto nameTaken = [&](const std::string& name) {
        return std::any_of(after.begin(), after.end(), [&](const Entry& e) { return Lower(e.name) == Lower(name); });
    };
    auto freeName = [&](uint8_t pick) -> std::string {
        for (size_t k = 0; k < kNameCount; ++k) {
            const std::string name = kNames[(pick + k) % kNameCount];
            if (!nameTaken(name)) return name;
        }
        return {};
    };
    int sources = 0;
    auto source = [&](Input& input, bool missing) {
        const size_t length = input.Byte();
        const size_t repeat = 1 + input.Byte() % 8;
        const std::string unit = input.Bytes(length);
        std::string data;
        for (size_t r = 0; r < repeat; ++r) data += unit;
        const fs::path path = folder / ("src" + std::to_string(round) + "_" + std::to_string(sources++));
        if (!missing) WriteAll(path, data);
        return std::make_pair(path, data);
    };

    for (size_t k = 0; k < operations && !in.AtEnd(); ++k) {
        const uint8_t kind = in.Byte() % 4;
        const uint8_t target = in.Byte();
        if (kind == 0 || after.empty()) {
            // Addition of a new entry at the end.
            const std::string name = freeName(target);
            const bool missing = plantedIndex < 0 && (planted == kMissingAddIgnored || planted == kMissingAddAborted);
            const auto [path, data] = source(in, missing);
            if (name.empty()) continue;
            const int32_t index = items.Count;
            items.SetCount(index + 1);
            a->FillNewItem(index, name, 0x50210000, 0x20, false);
            items.ItemPtr(index).SourcePath = path.string();
            items.ItemPtr(index).Operation = poAdd;
            after.push_back({name, data});
            written.push_back(true);
            if (missing) plantedIndex = index;
            continue;
        }
        const size_t index = target % after.size();
        if (kind == 1) {
            // Replacement of an entry's contents in its place; once per entry and round.
            const bool missing = plantedIndex < 0 && planted == kMissingReplaceIgnored && !written[index];
            const auto [path, data] = source(in, missing);
            if (written[index] || items.ItemPtr(static_cast<int32_t>(index)).Operation == poRename) continue;
            items.ItemPtr(static_cast<int32_t>(index)).SourcePath = path.string();
            a->MarkForUpdate(static_cast<int32_t>(index));
            if (missing) {
                plantedIndex = static_cast<int32_t>(index);
                keptData = after[index].data;
            }
            after[index].data = data;
            written[index] = true;
        } else if (kind == 2) {
            // Rename of an entry read from the archive (an addition takes its name as given).
            const std::string name = freeName(static_cast<uint8_t>(target >> 4));
            TDirItem& item = items.ItemPtr(static_cast<int32_t>(index));
            if (name.empty() || written[index]) continue;
            if (item.Operation != poRename) item.OldFileName = item.FileName;
            items.SetName(static_cast<int32_t>(index), name);
            item.NewEntry = 1;
            item.Operation = poRename;
            after[index].name = name;
        } else {
            // Deletion.
            a->DeleteItem(static_cast<int32_t>(index));
            if (plantedIndex == static_cast<int32_t>(index)) plantedIndex = -1;
            if (plantedIndex > static_cast<int32_t>(index)) --plantedIndex;
            after.erase(after.begin() + static_cast<std::ptrdiff_t>(index));
            written.erase(written.begin() + static_cast<std::ptrdiff_t>(index));
        }
    }

    const int cancelAt = in.Byte() % 16;
    int fileEvents = 0;
    bool cancelled = false;
    int failures = 0;
    a->OnProcessFileFailure = [&](THvoBaseArchiver&, const std::string&, THvoProcessOperation, int, int,
                                  const std::string&, THvoAction& action) {
        ++failures;
        action = planted == kMissingAddAborted ? fxaAbort : fxaIgnore;
    };
    a->OnFileProgress = [&](THvoBaseArchiver&, const std::string&, double, THvoProcessOperation, THvoProgressPhase,
                            bool& cancel) {
        if (planted == kCancelFileProgress && fileEvents++ == cancelAt) cancel = cancelled = true;
    };
    a->OnOverallProgress = [&](THvoBaseArchiver&, double, THvoProcessOperation, THvoProgressPhase phase, bool& cancel) {
        if (planted == kCancelOverallProgress && phase == ppProcess && cancelAt % 2) cancel = cancelled = true;
    };

    bool raised = false;
    try {
        a->CloseArchive();
    } catch (const platform::Exception&) {
        raised = true;
    }
    a.reset();

    const bool ended = cancelled || (plantedIndex >= 0 && planted == kMissingAddAborted);
    if (ended) {
        Require(failures <= 1, "a commit ended by its failure went on to another failure");
        if (existed) Require(ReadAll(zip) == before, "a commit ended in the middle changed the archive");
        if (existed) return;
        // A new archive whose first commit ended holds no entry.
        Require(ReadBackOrFail(zip).empty(), "a new archive whose commit ended holds entries");
        return;
    }
    Require(!raised, "a commit without a planted failure raised");
    if (plantedIndex >= 0) {
        Require(failures == 1, "the entry without its source was not reported once");
        if (planted == kMissingAddIgnored) {
            after.erase(after.begin() + plantedIndex);
        } else {
            after[static_cast<size_t>(plantedIndex)].data = keptData;
        }
    } else {
        Require(failures == 0, "a commit without a planted failure reported one");
    }
    const std::vector<Entry> read = ReadBackOrFail(zip);
    Require(read.size() == after.size(), "the archive holds another number of entries");
    for (size_t i = 0; i < read.size(); ++i) {
        Require(read[i].name == after[i].name, "an entry has another name or place");
        Require(read[i].data == after[i].data, "an entry has other contents");
    }
    expected = after;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Four rounds of eight operations with 2 KiB sources each read far less.
    if (size > 8192) return 0;
    const fs::path& folder = WorkFolder();
    for (const auto& e : fs::directory_iterator(folder)) fs::remove_all(e.path());
    const fs::path zip = folder / "update.zip";
    Input in(data, size);
    std::vector<Entry> expected;
    for (int round = 0; round < kMaxRounds && !in.AtEnd(); ++round) {
        try {
            Round(in, folder, zip, expected, round);
        } catch (const platform::Exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            Fail("an update raised outside its commit");
        }
    }
    return 0;
}
