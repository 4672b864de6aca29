#pragma once

// Committing changes in tests: an archiver with an update open (the component has no
// operation that queues changes), items described from files, and the peers that check
// what the commit wrote.

#include "archive/Halvorin.h"
#include "archive/HvoRecords.h"
#include "archive/HvoUpdate.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace archivetest {

// The archive at zip (created when missing) with an update open; setup runs before the
// archive is opened. Names are stored without their folders unless setup says otherwise.
inline std::unique_ptr<THalvorin> BeginUpdate(const std::filesystem::path& zip,
                                              const std::function<void(THalvorin&)>& setup = {})
{
    auto a = THalvorin::Create();
    a->SetFileName(zip.string());
    a->Options().StorePath = spNoPath;
    if (setup) setup(*a);
    a->OpenArchive();
    HvoOpenUpdate(*a);
    return a;
}

// Describes source as a new entry in a new item at the end of the directory (or in item
// index when given), under operation; its index.
inline int32_t Describe(THvoBaseArchiver& a, const std::filesystem::path& source, THvoProcessOperation operation = poAdd,
                        int32_t index = -1)
{
    THvoDirArray& items = a.DirManager()->Items;
    if (index < 0) {
        index = items.Count;
        items.SetCount(index + 1);
    }
    a.FillNewItem(index, source.string(), 0, 0, true);
    items.ItemPtr(index).Operation = static_cast<uint8_t>(operation);
    return index;
}

// Runs of text and of pseudo-random bytes.
inline std::string MixedData(size_t size, uint32_t seed = 12345)
{
    std::string out;
    uint32_t x = seed;
    while (out.size() < size) {
        if ((out.size() / 40000) % 2 == 0) {
            out += "line of text for the deflater; ";
        } else {
            for (int i = 0; i < 64; ++i) {
                x = x * 1103515245u + 12345u;
                out += static_cast<char>(x >> 24);
            }
        }
    }
    out.resize(size);
    return out;
}

// Runs a peer command; its output, and a test failure when it exits non-zero.
inline std::string PeerPasses(const std::string& command)
{
    std::string out;
    EXPECT_EQ(testsupport::RunCommand(command + " 2>&1", &out), 0) << command << "\n" << out;
    return out;
}

// Info-ZIP, Python's zipfile and 7-Zip test the archive.
inline void PeersAccept(const std::filesystem::path& zip)
{
    PeerPasses("unzip -tqq '" + zip.string() + "'");
    PeerPasses("/usr/bin/python3 -m zipfile -t '" + zip.string() + "'");
    PeerPasses("7z t -bd '" + zip.string() + "'");
}

// The bytes of an entry as Info-ZIP extracts them (every entry when name is empty).
inline std::string UnzipBytes(const std::filesystem::path& zip, const std::string& name = {})
{
    std::string out;
    testsupport::RunCommand("unzip -p '" + zip.string() + "'" + (name.empty() ? "" : " '" + name + "'") +
                                " 2>/dev/null",
                            &out);
    return out;
}

// The local header at the given offset of a file.
inline TLocalFileHeader LocalHeaderAt(const std::string& bytes, uint64_t offset)
{
    TLocalFileHeader local;
    EXPECT_LE(offset + TLocalFileHeader::kSize, bytes.size());
    if (offset + TLocalFileHeader::kSize <= bytes.size())
        ReadRecord(reinterpret_cast<const uint8_t*>(bytes.data()) + offset, local);
    return local;
}

// The extra field of the local header at the given offset.
inline std::vector<TExtraBlock> LocalExtraAt(const std::string& bytes, uint64_t offset)
{
    const TLocalFileHeader local = LocalHeaderAt(bytes, offset);
    const size_t at = offset + TLocalFileHeader::kSize + local.FileNameLength;
    if (at + local.ExtraFieldLength > bytes.size()) return {};
    return ParseExtraField({reinterpret_cast<const uint8_t*>(bytes.data()) + at, local.ExtraFieldLength});
}

} // namespace archivetest
