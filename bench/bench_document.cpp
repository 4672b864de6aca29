// The largest-document budget: create with defaults, save, load (with its validation,
// default check and reload), each phase timed and the total printed.
//
//   bench_document [model [runs]]
//
// model is a model code or name (default 0, "Zumo2"), or "all" for every model in
// turn; each phase prints the median over the runs (default 25) and the first run.
// A model whose total lies over the budget is named at the end, and the exit status
// is then 3.

#include "bench/ScratchDir.h"
#include "configurator/tree/ModelFactory.h"
#include "model/Mirvak_const.h"
#include "model/uZumo2.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

// A prompt that must never be asked: a new document holds its defaults.
class NeverAsked : public IDefaultPrompt {
public:
    int ask(const std::string& text) override
    {
        std::fprintf(stderr, "unexpected default question: %s\n", text.c_str());
        std::exit(2);
    }
};

// The maker of a model code's document from the model table; none for a model whose
// document this program does not have.
std::unique_ptr<TZumo2Doc> (*FactoryOf(int code))()
{
    const TModelEntry* entry = ModelEntry(code);
    return entry ? entry->Make : nullptr;
}

int ModelCode(const char* arg)
{
    char* end = nullptr;
    const long code = std::strtol(arg, &end, 10);
    if (end != arg && *end == 0) return static_cast<int>(code);
    for (int i = 0; i < ModelCount; ++i)
        if (ModelNames[i] == std::string(arg)) return i;
    return -1;
}

// The budget of create + save + load of the largest document (Grendal).
constexpr double BudgetMs = 20.0;

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs one model and prints its rows; false when its median total is over budget.
bool RunModel(int code, int runs, const std::filesystem::path& file)
{
    const auto make = FactoryOf(code);
    NeverAsked prompt;
    std::vector<double> create, save, load, total;
    int devices = 0;
    for (int run = 0; run < runs; ++run) {
        auto start = Clock::now();
        std::unique_ptr<TZumo2Doc> doc = make();
        doc->Prompt = &prompt;
        doc->ResetDefaults();
        create.push_back(Ms(start));

        start = Clock::now();
        doc->SaveToFile(file);
        save.push_back(Ms(start));

        start = Clock::now();
        doc->LoadFromFile(file);
        load.push_back(Ms(start));
        total.push_back(create.back() + save.back() + load.back());
        devices = doc->DeviceCount();
    }

    std::printf("model %d \"%s\", %d devices, %d runs (median; first run)\n", code, ModelNames[code], devices, runs);
    std::printf("  create (factory + ResetDefaults): %8.3f ms; %8.3f ms\n", Median(create), create.front());
    std::printf("  save   (SaveToFile, atomic)     : %8.3f ms; %8.3f ms\n", Median(save), save.front());
    std::printf("  load   (LoadFromFile, AfterLoad): %8.3f ms; %8.3f ms\n", Median(load), load.front());
    std::printf("  total                           : %8.3f ms; %8.3f ms (budget %.0f ms)\n", Median(total),
                total.front(), BudgetMs);
    return Median(total) < BudgetMs;
}

} // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const bool all = argc > 1 && std::string(argv[1]) == "all";
    const int code = all ? 0 : argc > 1 ? ModelCode(argv[1]) : 0;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 25;
    if (!all && !FactoryOf(code)) {
        std::fprintf(stderr, "model %s: no document class yet\n", argc > 1 ? argv[1] : "?");
        return 1;
    }

    const fs::path dir = MakeScratchDir("bench_document");
    if (dir.empty()) return 1;
    const fs::path file = dir / "params.hex";

    std::vector<std::string> over;
    for (int c = all ? 0 : code; c <= (all ? ModelCount - 1 : code); ++c) {
        if (!FactoryOf(c)) {
            std::printf("model %d \"%s\": no document class\n", c, ModelNames[c]);
            over.push_back(ModelNames[c]);
            continue;
        }
        if (!RunModel(c, runs, file)) over.push_back(ModelNames[c]);
    }
    fs::remove_all(dir);

    for (const std::string& name : over) std::printf("over budget: %s\n", name.c_str());
    return over.empty() ? 0 : 3;
}
