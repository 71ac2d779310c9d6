// The editor's start: the window built and filled from a stored
// configuration, and the whole program from exec to its first shown window.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "model/ActionKeys.h"
#include "samples/SampleActions.h"
#include "ui/MainForm.h"

#include <QListWidget>
#include <QPushButton>

namespace {

class BenchStore {
public:
    explicit BenchStore(int actions) {
        std::string pattern = (std::filesystem::temp_directory_path() / "lgbench.XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        setenv("LUMAGRABBER_REGISTRY", (dir_ + "/registry.db").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
        TActionKeys list(kConfigurationKey);
        samples::FillSample(list, actions);
        list.SaveToRegistry();
    }
    ~BenchStore() { std::filesystem::remove_all(dir_); }

private:
    std::string dir_;
};

void BM_FormCreate(benchmark::State& state) {
    BenchStore store(static_cast<int>(state.range(0)));
    SilentModalUi ui;
    for (auto _ : state) {
        TForm1 form(ui);  // builds the window and runs FormCreate: read plus fill
        benchmark::DoNotOptimize(form.CurrentIndex());
    }
}

// From starting the program to its window shown (it closes right after).
void BM_ProcessStartToWindow(benchmark::State& state) {
    BenchStore store(100);
    setenv("LUMAGRABBER_QUIT_AFTER_START", "1", 1);
    const std::string program = std::string(LG_BIN_DIR) + "/lumagrabber-config";
    for (auto _ : state) {
        const pid_t pid = fork();
        if (pid == 0) {
            execl(program.c_str(), "lumagrabber-config", nullptr);
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("editor failed");
    }
    unsetenv("LUMAGRABBER_QUIT_AFTER_START");
}

BENCHMARK(BM_FormCreate)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessStartToWindow)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// A window holding many actions, as the user finds it after start.
struct BigList {
    explicit BigList(int actions) : store(0), form(ui) {
        for (int n = 1; n <= actions; ++n) {
            form.ActionKeys().Add(std::make_unique<TActionKey>(samples::SampleAction(n)));
        }
        form.FillActionList();
    }
    BenchStore store;
    SilentModalUi ui;
    TForm1 form;
};

void BM_SelectAnotherAction(benchmark::State& state) {
    BigList big(static_cast<int>(state.range(0)));
    int row = 0;
    for (auto _ : state) {
        row = (row + 4999) % big.form.lstActions->count();
        big.form.lstActions->setCurrentRow(row);  // as a click does: runs lstActionsClick
    }
}

void BM_NewAction(benchmark::State& state) {
    BigList big(static_cast<int>(state.range(0)));
    for (auto _ : state) big.form.btnNewAction->click();
}

void BM_DeleteAction(benchmark::State& state) {
    BigList big(static_cast<int>(state.range(0)));
    for (auto _ : state) big.form.btnDelete->click();
}

BENCHMARK(BM_SelectAnotherAction)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NewAction)->Arg(10000)->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteAction)->Arg(10000)->Iterations(200)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
