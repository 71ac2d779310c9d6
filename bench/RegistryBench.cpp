// Saving and loading whole configurations through the settings store, as
// Apply and the editor's start do.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "model/ActionKeys.h"
#include "model/Commit.h"
#include "samples/SampleActions.h"

namespace {

const char* kKey = "Software\\Orvane\\Lmgrab";

class BenchStore {
public:
    BenchStore() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lgbench.XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        setenv("LUMAGRABBER_REGISTRY", (dir_ + "/registry.db").c_str(), 1);
    }
    ~BenchStore() { std::filesystem::remove_all(dir_); }

private:
    std::string dir_;
};

void BM_SaveToRegistry(benchmark::State& state) {
    BenchStore store;
    TActionKeys list(kKey);
    samples::FillSample(list, static_cast<int>(state.range(0)));
    if (!list.SaveToRegistry()) state.SkipWithError("save failed");
    for (auto _ : state) {
        if (!list.SaveToRegistry()) state.SkipWithError("save failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A whole Apply: surplus keys removed, the list saved, one transaction,
// and the change event set.
void BM_CommitConfiguration(benchmark::State& state) {
    BenchStore store;
    TActionKeys list(kKey);
    samples::FillSample(list, static_cast<int>(state.range(0)));
    std::string cause;
    if (!CommitConfiguration(list, cause)) state.SkipWithError(cause.c_str());
    for (auto _ : state) {
        if (!CommitConfiguration(list, cause)) state.SkipWithError(cause.c_str());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_LoadFromRegistry(benchmark::State& state) {
    BenchStore store;
    {
        TActionKeys list(kKey);
        samples::FillSample(list, static_cast<int>(state.range(0)));
        if (!list.SaveToRegistry()) state.SkipWithError("save failed");
    }
    TActionKeys list(kKey);
    for (auto _ : state) {
        if (!list.LoadFromRegistry()) state.SkipWithError("load failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SaveToFile(benchmark::State& state) {
    BenchStore store;
    TActionKeys list(kKey);
    samples::FillSample(list, static_cast<int>(state.range(0)));
    const std::string file = std::filesystem::temp_directory_path() / "lgbench-profile.lgp";
    for (auto _ : state) {
        if (!list.SaveToFile(file)) state.SkipWithError("save failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::filesystem::remove(file);
}

void BM_LoadFromFile(benchmark::State& state) {
    BenchStore store;
    const std::string file = std::filesystem::temp_directory_path() / "lgbench-profile.lgp";
    {
        TActionKeys list(kKey);
        samples::FillSample(list, static_cast<int>(state.range(0)));
        if (!list.SaveToFile(file)) state.SkipWithError("save failed");
    }
    TActionKeys list(kKey);
    for (auto _ : state) {
        if (!list.LoadFromFile(file)) state.SkipWithError("load failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::filesystem::remove(file);
}

BENCHMARK(BM_SaveToFile)->Arg(0)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFromFile)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveToRegistry)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CommitConfiguration)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFromRegistry)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
