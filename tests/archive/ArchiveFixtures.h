#pragma once

// Reading the fixtures that make_fixtures.py writes into the build tree.

#include "archive/Halvorin.h"
#include "archive/HvoExcept.h"
#include "archive/HvoRecords.h"
#include "archive/HvoStreams.h"

#include <cstdint>
#include <memory>
#include <filesystem>
#include <fstream>
#include <type_traits>
#include <sstream>
#include <string>
#include <vector>
#include <zlib.h>

namespace archivetest {

inline std::filesystem::path FixtureDir()
{
    return std::filesystem::path(MIRVAK_BINARY_DIR) / "tests" / "archive" / "fixtures";
}

// The lines of a table, each split at tabs (empty fields kept).
inline std::vector<std::vector<std::string>> ReadTable(const std::filesystem::path& path)
{
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::stringstream ss(line);
        for (std::string field; std::getline(ss, field, '\t');) fields.push_back(field);
        if (!line.empty() && line.back() == '\t') fields.emplace_back();
        rows.push_back(std::move(fields));
    }
    return rows;
}

inline std::string FromHex(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

inline uint64_t Number(const std::string& text) { return std::stoull(text); }

// The native error of the component's exception that the call raised; -1 when it raised none.
template <class F>
int NativeErrorOf(F&& f)
{
    try {
        f();
    } catch (const EHvoException& e) {
        return e.NativeError;
    }
    return -1;
}

// An archiver with the fixture archive of this name open.
inline std::unique_ptr<THalvorin> OpenFixture(const std::string& name)
{
    auto archiver = THalvorin::Create();
    archiver->SetFileName((FixtureDir() / name).string());
    archiver->OpenArchive();
    return archiver;
}

// An entry of a fixture archive as the directory reader gives it, with its local header
// and the bytes of its compressed size that follow the local header.
struct TRawEntry {
    TDirItem Item;
    TLocalFileHeader Local;
    int64_t DataStart = 0;
    std::vector<uint8_t> Data;
};

inline TRawEntry ReadRawEntry(const std::string& archive, int32_t index)
{
    TRawEntry entry;
    entry.Item = OpenFixture(archive)->DirManager()->Items.ItemPtr(index);
    TFileStream stream((FixtureDir() / archive).string(), fmOpenRead);
    stream.SetPosition(static_cast<int64_t>(entry.Item.EffectiveLocalHeaderOffset()));
    uint8_t raw[TLocalFileHeader::kSize];
    stream.ReadBuffer(raw, sizeof raw);
    ReadRecord(raw, entry.Local);
    entry.DataStart = stream.Position() + entry.Local.FileNameLength + entry.Local.ExtraFieldLength;
    entry.Data.resize(static_cast<size_t>(entry.Item.EffectiveCompressedSize()));
    stream.SetPosition(entry.DataStart);
    stream.ReadBuffer(entry.Data.data(), static_cast<int64_t>(entry.Data.size()));
    return entry;
}

// Raw deflate data inflated; "<inflate error>" when zlib refuses it.
inline std::string InflateRaw(const uint8_t* data, size_t size)
{
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) return "<inflate error>";
    zs.next_in = const_cast<uint8_t*>(data);
    zs.avail_in = static_cast<uInt>(size);
    std::string out;
    int rc = Z_OK;
    while (rc == Z_OK) {
        char buffer[65536];
        zs.next_out = reinterpret_cast<Bytef*>(buffer);
        zs.avail_out = sizeof buffer;
        rc = inflate(&zs, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - zs.avail_out);
        if (rc == Z_BUF_ERROR && zs.avail_in == 0) rc = Z_STREAM_END;
    }
    inflateEnd(&zs);
    return rc == Z_STREAM_END ? out : "<inflate error>";
}

// Raw deflate data of the bytes.
inline std::vector<uint8_t> DeflateRaw(const std::string& bytes)
{
    z_stream zs{};
    deflateInit2(&zs, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&zs, bytes.size()));
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    zs.avail_in = static_cast<uInt>(bytes.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

// Writes an archive of one entry whose data (encrypted or not) is given as stored.
inline void WriteOneEntryZip(const std::filesystem::path& path, const std::string& name, uint16_t versionNeeded,
                             uint16_t flags, uint16_t method, uint32_t crc, uint32_t size,
                             const std::vector<uint8_t>& extra, const std::vector<uint8_t>& stored)
{
    TLocalFileHeader local;
    local.VersionNeeded = versionNeeded;
    local.Flags = flags;
    local.CompressionMethod = method;
    local.LastModTime = 0x6000;
    local.LastModDate = 0x5021;
    local.Crc32 = crc;
    local.CompressedSize = static_cast<uint32_t>(stored.size());
    local.UncompressedSize = size;
    local.FileNameLength = static_cast<uint16_t>(name.size());
    local.ExtraFieldLength = static_cast<uint16_t>(extra.size());
    TCentralFileHeader central;
    central.VersionMadeBy = versionNeeded;
    central.VersionNeeded = versionNeeded;
    central.Flags = flags;
    central.CompressionMethod = method;
    central.LastModTime = local.LastModTime;
    central.LastModDate = local.LastModDate;
    central.Crc32 = crc;
    central.CompressedSize = local.CompressedSize;
    central.UncompressedSize = size;
    central.FileNameLength = local.FileNameLength;
    central.ExtraFieldLength = local.ExtraFieldLength;
    std::string bytes;
    auto put = [&](const auto& record) {
        uint8_t raw[std::remove_reference_t<decltype(record)>::kSize];
        WriteRecord(raw, record);
        bytes.append(reinterpret_cast<const char*>(raw), sizeof raw);
    };
    auto append = [&](const std::vector<uint8_t>& v) { bytes.append(v.begin(), v.end()); };
    put(local);
    bytes += name;
    append(extra);
    append(stored);
    TEndOfCentralDir end;
    end.CentralDirOffset = static_cast<uint32_t>(bytes.size());
    put(central);
    bytes += name;
    append(extra);
    end.EntriesOnDisk = end.EntriesTotal = 1;
    end.CentralDirSize = static_cast<uint32_t>(bytes.size() - end.CentralDirOffset);
    put(end);
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ToString(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

} // namespace archivetest
