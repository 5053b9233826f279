// The order of a run with many links in flight, without any network: one page of N links
// queued at once, probes started as places free up and decided oldest first, the head
// reported as it becomes ready. What it measures is the schedule's own work per link, which
// grew with the page's length before the schedule kept its indexes by URL and by host.

#include <benchmark/benchmark.h>

#include <deque>
#include <string>

#include "run/linkschedule.h"

namespace {

// hosts 1: every link to one host, so most links wait behind the per-host limit; a repeat
// every tenth link shares an earlier URL's verdict.
void RunOnePage(CLinkSchedule& schedule, int links, int hosts) {
    schedule.AddFile("page.htm", true, links);
    for (int i = 0; i < links; ++i) {
        const int n = i % 10 == 9 ? i / 2 : i;
        const std::string host = "h" + std::to_string(n % hosts) + ".test";
        schedule.AddLink("http://" + host + "/p" + std::to_string(n), "", host, 1);
    }
    std::deque<std::string> inFlight;
    while (!schedule.Empty()) {
        while (const auto next = schedule.NextToStart()) {
            inFlight.push_back(next->url);
        }
        if (!inFlight.empty()) {
            schedule.Decide(inFlight.front(), {200, true});
            inFlight.pop_front();
        }
        while (schedule.HeadReady()) {
            schedule.TakeFront();
        }
    }
}

void BM_OnePage(benchmark::State& state) {
    const auto links = static_cast<int>(state.range(0));
    const auto hosts = static_cast<int>(state.range(1));
    for (auto _ : state) {
        CLinkSchedule schedule(64, 6);
        RunOnePage(schedule, links, hosts);
    }
    state.SetItemsProcessed(state.iterations() * links);
}

BENCHMARK(BM_OnePage)
    ->ArgsProduct({{10000, 30000, 100000, 200000}, {1, 1000}})
    ->ArgNames({"links", "hosts"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
