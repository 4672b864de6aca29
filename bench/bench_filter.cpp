// One "Расчет" of the filter design dialog for its initial values: the filter library
// loaded from the program's folder, the 256-tap design, the scaling to integer taps,
// the 1601-point response, the band measures and the chart's points and labels.
//
//   bench_filter [designs]
//
// designs: how many designs to time (default 200); the median, the mean and the worst
// are printed against the budget of 50 ms.

#include "configurator/rules/Filter.h"
#include "platform/ProgramDir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

int main(int argc, char** argv)
{
    using Clock = std::chrono::steady_clock;
    const int designs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const TFilterDesigner library = LibraryDesigner(platform::ExecutableDir());
    std::vector<double> times;
    times.reserve(static_cast<size_t>(designs));
    for (int i = 0; i < designs; ++i) {
        TFilterDesignParams params;
        TFilterForm form(params, library);
        const auto start = Clock::now();
        form.CalcBtnClick();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (!form.DesignCurrent() || form.Series().size() != static_cast<size_t>(ResponsePoints)) {
            std::fprintf(stderr, "the design failed (is %s next to the program?)\n", FilterLibraryName);
            return 1;
        }
    }
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    const double mean = std::accumulate(times.begin(), times.end(), 0.0) / static_cast<double>(times.size());
    std::printf("filter design, %d runs: median %8.3f ms, mean %8.3f ms, worst %8.3f ms (budget 50 ms)\n", designs,
                sorted[sorted.size() / 2], mean, sorted.back());
    return 0;
}
