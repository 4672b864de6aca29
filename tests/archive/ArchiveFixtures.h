#pragma once

// Reading the fixtures that make_fixtures.py writes into the build tree.

#include "archive/Halvorin.h"

#include <cstdint>
#include <memory>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

// An archiver with the fixture archive of this name open.
inline std::unique_ptr<THalvorin> OpenFixture(const std::string& name)
{
    auto archiver = THalvorin::Create();
    archiver->SetFileName((FixtureDir() / name).string());
    archiver->OpenArchive();
    return archiver;
}

} // namespace archivetest
