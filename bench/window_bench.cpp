// The window under load: appending rows to the grid at its start and after 99,800 rows, a grid
// of 100,000 rows, and the start-up to a shown main window. Runs under the offscreen platform.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/linkvetapp.h"
#include "app/mainframe.h"
#include "platform/messagebox.h"
#include "results/resultsmodel.h"

namespace {

void AddRows(CResultsModel& rows, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string url = "http://host.example/dir/page" + std::to_string(i) + ".htm";
        rows.AddResult(url, 0, "/home/user/site/index.htm");
        rows.AddResult("HTTP Code 404 Not Found", 1, "/home/user/site/index.htm");
        rows.AddResult("Anchor text " + std::to_string(i), 2, "/home/user/site/index.htm");
    }
}

// The main window, shown, with its grid scrolled to the end as a run keeps it.
struct CShownWindow {
    platform::CScriptedUserInterface quiet;
    CLinkvetApp app;
    CShownWindow() {
        app.InitInstance();
        QCoreApplication::processEvents();
    }
    CResultsModel& Rows() { return app.MainFrame()->Doc().Results(); }
    void Show() {
        app.MainFrame()->View().scrollToBottom();
        QCoreApplication::processEvents();
    }
};

// Appends 200 rows to a grid that already holds range(0) rows, one at a time with the window
// brought up to date after each, as during a run.
void BM_AppendRowAfter(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto window = std::make_unique<CShownWindow>();
        AddRows(window->Rows(), static_cast<int>(state.range(0)));
        window->Show();
        state.ResumeTiming();
        for (int i = 0; i < 200; ++i) {
            AddRows(window->Rows(), 1);
            window->Show();
        }
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 200);
}
BENCHMARK(BM_AppendRowAfter)->Arg(0)->Arg(99800)->Unit(benchmark::kMillisecond);

void BM_Grid100000Rows(benchmark::State& state) {
    for (auto _ : state) {
        CShownWindow window;
        AddRows(window.Rows(), 100000);
        window.Show();
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_Grid100000Rows)->Unit(benchmark::kMillisecond);

void BM_StartUpToShownWindow(benchmark::State& state) {
    platform::CScriptedUserInterface quiet;
    for (auto _ : state) {
        CLinkvetApp app;
        app.InitInstance();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(app.MainFrame()->isVisible());
        app.ExitInstance();
    }
}
BENCHMARK(BM_StartUpToShownWindow)->Unit(benchmark::kMillisecond);

long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char home[] = "/tmp/linkvet-bench-XXXXXX";
    ::setenv("LINKVET_HOME", ::mkdtemp(home), 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("Peak resident size of the benchmark process: %ld KiB\n", PeakResidentKiB());
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return 0;
}
