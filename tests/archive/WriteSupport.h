#pragma once

// Writing archives in tests before adding entries exists: the local records of an open
// archive are copied into another stream, each item then pointing at its copy, so that
// WriteDirectory can write their directory; and the peer script that reads the result.

#include "archive/HvoBaseArchiver.h"
#include "archive/HvoRecords.h"
#include "archive/HvoStreams.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace archivetest {

// The peer script's command line for the arguments.
inline std::string PeerCommand(const std::string& args)
{
    return std::string("/usr/bin/python3 ") + MIRVAK_SOURCE_DIR + "/tests/archive/written_zip_peer.py " + args +
           " 2>&1";
}

// Runs the peer script; its output, and a test failure when it exits non-zero.
inline std::string RunPeer(const std::string& args)
{
    std::string out;
    const int status = testsupport::RunCommand(PeerCommand(args), &out);
    EXPECT_EQ(status, 0) << args << "\n" << out;
    return out;
}

// The bytes of item's local record in source: header, name, extra field, data and a
// data descriptor (signed or not) when flag bit 3 is set.
inline int64_t LocalRecordSize(TStream& source, const TDirItem& item)
{
    uint8_t raw[TLocalFileHeader::kSize];
    source.SetPosition(static_cast<int64_t>(item.EffectiveLocalHeaderOffset()));
    source.ReadBuffer(raw, sizeof raw);
    TLocalFileHeader local;
    ReadRecord(raw, local);
    int64_t size = static_cast<int64_t>(TLocalFileHeader::kSize) + local.FileNameLength + local.ExtraFieldLength +
                   static_cast<int64_t>(item.EffectiveCompressedSize());
    if (item.Flags & kFlagDataDescriptor) {
        uint8_t sig[4] = {};
        source.SetPosition(static_cast<int64_t>(item.EffectiveLocalHeaderOffset()) + size);
        source.Read(sig, 4);
        size += ReadLE32(sig) == kDataDescriptorSignature ? 16 : 12;
    }
    return size;
}

// Copies every local record of the open archive to the end of dest, in directory order,
// and points the items at their copies.
inline void CopyLocalRecords(THvoBaseArchiver& archiver, TStream& dest)
{
    THvoDirManager& dir = *archiver.DirManager();
    TStream& source = *archiver.ArchiveStream();
    for (int32_t i = 0; i < dir.Items.Count; ++i) {
        TDirItem& item = dir.Items.ItemPtr(i);
        const int64_t size = LocalRecordSize(source, item);
        std::string bytes(static_cast<size_t>(size), '\0');
        source.SetPosition(static_cast<int64_t>(item.EffectiveLocalHeaderOffset()));
        source.ReadBuffer(bytes.data(), size);
        const int64_t at = dest.Seek(0, TSeekOrigin::soEnd);
        dest.WriteBuffer(bytes.data(), size);
        item.SetEffectiveLocalHeaderOffset(static_cast<uint64_t>(at));
    }
}

// The stream's bytes written to a file.
inline void SaveStream(TStream& stream, const std::filesystem::path& path)
{
    std::string bytes(static_cast<size_t>(stream.Size()), '\0');
    stream.SetPosition(0);
    stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    testsupport::WriteFile(path, bytes);
}

} // namespace archivetest
