#pragma once

// Archives made for one test by Python's zipfile or Info-ZIP zip, the loader's extract
// sequence, and listings of folders.

#include "archive/Halvorin.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace archivetest {

// One entry written by make_zip.py.
struct ZipEntry {
    ZipEntry(std::string name_, std::string data_, std::array<int, 6> date_ = {2020, 6, 15, 12, 30, 0},
             uint32_t attr_ = 0)
        : name(std::move(name_)), data(std::move(data_)), date(date_), attr(attr_)
    {
    }

    std::string name;                             // stored bytes
    std::string data;
    std::array<int, 6> date;
    uint32_t attr = 0;                            // external attributes
    bool stored = false;
    std::string extra;                            // extra blocks, raw
    int64_t repeat = 0;                           // data written this many times over
};

inline std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Writes the archive with Python's zipfile; each patch replaces every occurrence of its
// bytes in the finished file. With append the entries are added to an existing archive.
inline void MakeZip(const std::filesystem::path& archive, const std::vector<ZipEntry>& entries,
                    const std::vector<std::pair<std::string, std::string>>& patches = {}, bool append = false)
{
    std::string json = "{\"entries\": [";
    for (size_t i = 0; i < entries.size(); ++i) {
        const ZipEntry& e = entries[i];
        json += i ? ", {" : "{";
        json += "\"name\": \"" + Hex(e.name) + "\", ";
        if (e.repeat > 0)
            json += "\"repeat\": [\"" + Hex(e.data) + "\", " + std::to_string(e.repeat) + "], ";
        else
            json += "\"data\": \"" + Hex(e.data) + "\", ";
        json += "\"date\": [";
        for (size_t k = 0; k < 6; ++k) json += (k ? ", " : "") + std::to_string(e.date[k]);
        json += "], \"attr\": " + std::to_string(e.attr);
        if (e.stored) json += ", \"stored\": true";
        if (!e.extra.empty()) json += ", \"extra\": \"" + Hex(e.extra) + "\"";
        json += "}";
    }
    json += "], \"patches\": [";
    for (size_t i = 0; i < patches.size(); ++i)
        json += (i ? ", [\"" : "[\"") + Hex(patches[i].first) + "\", \"" + Hex(patches[i].second) + "\"]";
    json += "]}";
    const std::filesystem::path spec = archive.string() + ".json";
    testsupport::WriteFile(spec, json);
    const std::string command = "/usr/bin/python3 " MIRVAK_SOURCE_DIR "/tests/archive/make_zip.py '" +
                                archive.string() + "' '" + spec.string() + "'" + (append ? " append" : "");
    ASSERT_EQ(testsupport::RunCommand(command), 0) << command;
    std::filesystem::remove(spec);
}

// The loader's sequence: a new THalvorin, full paths, open, BaseDir, "*.*" with 10431,
// close. prepare may set handlers and options before the open.
template <class Prepare>
void LoaderExtract(const std::filesystem::path& archive, const std::filesystem::path& baseDir, Prepare&& prepare)
{
    auto a = THalvorin::Create();
    a->Options().StorePath = spFullPath;
    a->SetFileName(archive.string());
    prepare(*a);
    a->OpenArchive();
    a->SetBaseDir(baseDir.string());
    a->ExtractFiles("*.*", 10431, "");
    a->CloseArchive();
}

inline void LoaderExtract(const std::filesystem::path& archive, const std::filesystem::path& baseDir)
{
    LoaderExtract(archive, baseDir, [](THalvorin&) {});
}

// Everything below root, symbolic links not followed: files and links with their bytes
// (a link as "-> target"), folders as "/".
inline std::map<std::string, std::string> Tree(const std::filesystem::path& root)
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> out;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(root, ec))) return out;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path rel = fs::relative(it->path(), root);
        const fs::file_status st = fs::symlink_status(it->path());
        if (fs::is_symlink(st))
            out[rel.string()] = "-> " + fs::read_symlink(it->path()).string();
        else if (fs::is_directory(st))
            out[rel.string()] = "/";
        else
            out[rel.string()] = testsupport::ReadFile(it->path());
    }
    return out;
}

// One OnProcessFileFailure call.
struct Failure {
    std::string name;
    int native = 0;
    std::string message;
};

} // namespace archivetest
