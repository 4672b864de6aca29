#include "configurator/rules/Filter.h"

#include "platform/ProgramDir.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::filesystem::path kLibrary = platform::ExecutableDir() / FilterLibraryName;

// One band pass design: edges in Hz at 16 kHz, weights of the stop, pass and stop band.
struct Design {
    const char* name;
    std::vector<double> edges; // Fstop1, Fpass1, Fpass2, Fstop2
    std::vector<double> weights;
};

const Design kDesigns[] = {
    {"dialog's initial band", {2430, 2540, 2740, 2850}, {1, 1, 1}},
    {"modulator, weighted", {990, 1100, 2300, 2410}, {3, 1, 7}},
    {"transit band", {150, 300, 2200, 2350}, {1, 2, 1}},
    {"heavy lower stop band", {2430, 2540, 2740, 2850}, {999, 1, 1}},
};

// The library's result and taps for a design of n taps.
int DesignWith(const Design& d, int n, std::vector<double>& h)
{
    h.assign(static_cast<size_t>(n), 7.0);
    std::vector<double> edges = {0};
    for (double e : d.edges) edges.push_back(e / 16000);
    edges.push_back(0.5);
    const double desired[] = {0, 1, 0};
    const TDesignCall call =
        LibraryDesigner(platform::ExecutableDir())(h.data(), n, 3, edges.data(), desired, d.weights.data(), 1);
    EXPECT_EQ(call.Status, TDesignCall::Called);
    return call.Result;
}

TEST(FilterLibrary, TapsAreSymmetricAndRepeatable)
{
    for (const Design& d : kDesigns) {
        for (int n : {256, 255}) {
            SCOPED_TRACE(std::string(d.name) + ", " + std::to_string(n) + " taps");
            std::vector<double> h, again;
            ASSERT_EQ(DesignWith(d, n, h), 0);
            for (int i = 0; i < n; ++i) EXPECT_EQ(h[static_cast<size_t>(i)], h[static_cast<size_t>(n - 1 - i)]) << i;
            ASSERT_EQ(DesignWith(d, n, again), 0);
            EXPECT_EQ(h, again);
        }
    }
}

TEST(FilterLibrary, RefusesArgumentsItCannotDesign)
{
    struct Case {
        const char* name;
        int n, bands, type;
        std::vector<double> edges, desired, weights;
    };
    const std::vector<double> edges = {0, 0.15, 0.16, 0.17, 0.18, 0.5};
    const std::vector<double> desired = {0, 1, 0}, weights = {1, 1, 1};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"type 2", 256, 3, 2, edges, desired, weights},
        {"no band", 256, 0, 1, edges, desired, weights},
        {"decreasing edges", 256, 3, 1, {0, 0.15, 0.14, 0.17, 0.18, 0.5}, desired, weights},
        {"an edge above 0.5", 256, 3, 1, {0, 0.15, 0.16, 0.17, 0.18, 0.51}, desired, weights},
        {"a band of no width", 256, 3, 1, {0, 0.15, 0.16, 0.16, 0.18, 0.5}, desired, weights},
        {"weight 0", 256, 3, 1, edges, desired, {1, 0, 1}},
        {"a desired amplitude not a number", 256, 3, 1, edges, {0, nan, 0}, weights},
        {"no taps", 0, 3, 1, edges, desired, weights},
        {"more than 1024 taps", 1025, 3, 1, edges, desired, weights},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> h(1100, 7.0);
        const TDesignCall call = LibraryDesigner(platform::ExecutableDir())(
            h.data(), c.n, c.bands, c.edges.data(), c.desired.data(), c.weights.data(), c.type);
        ASSERT_EQ(call.Status, TDesignCall::Called);
        EXPECT_NE(call.Result, 0);
        for (int i = 0; i < c.n; ++i) ASSERT_EQ(h[static_cast<size_t>(i)], 0.0) << i;
        EXPECT_EQ(h[static_cast<size_t>(std::max(c.n, 0))], 7.0); // nothing past the taps
    }
}

TEST(FilterLibrary, ExportsOnlyItsRoutine)
{
    std::string symbols;
    ASSERT_EQ(testsupport::RunCommand("nm -D --defined-only '" + kLibrary.string() + "'", &symbols), 0);
    std::istringstream lines(symbols);
    std::vector<std::string> names;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) names.push_back(line.substr(line.rfind(' ') + 1));
    EXPECT_EQ(names, std::vector<std::string>{"test"}) << symbols;
}

void WriteArray(std::ostream& out, const char* key, const auto& values)
{
    out << "\"" << key << "\": [";
    char text[40];
    for (size_t i = 0; i < values.size(); ++i) {
        std::snprintf(text, sizeof text, "%.17g", static_cast<double>(values[i]));
        out << (i ? ", " : "") << text;
    }
    out << "]";
}

// The designs against scipy.signal (python3-scipy): firls for 255 taps, remez for 256,
// freqz for the response of the integer taps.
TEST(FilterLibrary, AgreesWithScipy)
{
    testsupport::TempDir dir;
    const std::filesystem::path file = dir / "designs.json";
    {
        std::ofstream out(file);
        out << "[\n";
        bool first = true;
        for (const Design& d : kDesigns) {
            std::vector<double> h255, h256;
            ASSERT_EQ(DesignWith(d, 255, h255), 0);
            ASSERT_EQ(DesignWith(d, 256, h256), 0);
            const std::vector<int32_t> taps = ScaleTaps(h256);
            out << (first ? "" : ",\n") << "{\"name\": \"" << d.name << "\", ";
            first = false;
            WriteArray(out, "edges", d.edges);
            out << ", ";
            WriteArray(out, "weights", d.weights);
            out << ", ";
            WriteArray(out, "h255", h255);
            out << ", ";
            WriteArray(out, "h256", h256);
            out << ", ";
            WriteArray(out, "taps", taps);
            out << ", ";
            WriteArray(out, "response", ResponseEvenLength(taps));
            out << "}";
        }
        out << "\n]\n";
    }
    std::string report;
    const int status = testsupport::RunCommand("/usr/bin/python3 '" MIRVAK_SOURCE_DIR
                                               "/tests/configurator/filterlib/check_designs.py' '" +
                                                   file.string() + "' 2>&1",
                                               &report);
    EXPECT_EQ(status, 0) << report;
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 4 * 4) << report;
    std::printf("%s", report.c_str());
}

} // namespace
