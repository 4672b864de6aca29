#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// A fresh folder "<stem>.XXXXXX" under the system's temporary folder for a benchmark's
// files, which the benchmark removes when it is done; an empty path, the reason printed
// on stderr, when none can be made.
inline std::filesystem::path MakeScratchDir(const char* stem)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(stem) + ".XXXXXX")).string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return {};
    }
    return pattern;
}
