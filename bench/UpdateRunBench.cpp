// SPDX-License-Identifier: MIT
// How close a whole update comes to what the wire allows, and what the
// program itself costs.
#include <benchmark/benchmark.h>

#include <chrono>

#include "CpuTime.h"
#include "Rig.h"

namespace {

using std::chrono::duration;

using bench::ProcessCpuSeconds;

// The least time the exchanged bytes need: each host write is a turnaround
// whose bytes, their echo (one byte behind) and the reply that follows cross
// the wire back to back, plus the latency the model charges per turnaround.
double WireMinimumSeconds(const sim::WireStats& s, const sim::LinkSetup& link) {
    const double byte = duration<double>(sim::SerialLine::BoardByteTime).count();
    const double latency = duration<double>(link.latency).count();
    return static_cast<double>(s.hostBytes + s.writes + s.replyBytes) * byte +
           static_cast<double>(s.writes) * latency;
}

// "Flash Device" on the virtual clock: the simulated time is the wire's, the
// CPU time is the program's own (plus the simulator's).
void BM_FlashRunVirtualClock(benchmark::State& state) {
    double wire = 0, simulated = 0, cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        sim::LinkSetup link;
        link.recordCalls = false;
        testing_support::Rig rig({}, link);
        rig.window.recordYields = false;
        rig.StartAndFind();
        rig.driver.ResetStats();
        const auto start = rig.clock.Now();
        const double cpu0 = ProcessCpuSeconds();
        state.ResumeTiming();

        rig.window.Click(1);

        state.PauseTiming();
        cpu += ProcessCpuSeconds() - cpu0;
        if (rig.window.statusText != "Flash Complete!") state.SkipWithError("the update failed");
        simulated = duration<double>(rig.clock.Now() - start).count();
        wire = WireMinimumSeconds(rig.driver.Stats(), link);
        state.ResumeTiming();
    }
    state.counters["wire_min_s"] = wire;
    state.counters["simulated_s"] = simulated;
    state.counters["sim_over_wire"] = simulated / wire;
    // CPU time per run against the wire minimum: the program's own overhead.
    const double perRun = cpu / static_cast<double>(state.iterations());
    state.counters["cpu_ms_per_run"] = perRun * 1e3;
    state.counters["cpu_over_wire_pct"] = 100.0 * perRun / wire;
}
BENCHMARK(BM_FlashRunVirtualClock)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// One update in real time at the wire rate: the share of one core the process
// uses while it waits on the board. Takes about 21 seconds.
void BM_FlashRunRealTimeCpuShare(benchmark::State& state) {
    for (auto _ : state) {
        sim::RealTimeClock clock;
        sim::LoaderBoard board;
        sim::LinkSetup link;
        link.recordCalls = false;
        sim::SimDriver driver(clock, board, link);
        sim::RecordingWindow window;
        window.recordYields = false;
        image::MemoryResources resources;
        resources.Put(image::ResourceType, 100, testing_support::DemoContainer());
        app::Program program(window, driver, resources);
        window.SetHandlers(&program.Form);
        window.Start();
        window.Click(0);
        const double cpu0 = ProcessCpuSeconds();
        const auto wall0 = std::chrono::steady_clock::now();
        window.Click(1);
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double wall = duration<double>(std::chrono::steady_clock::now() - wall0).count();
        if (window.statusText != "Flash Complete!") state.SkipWithError("the update failed");
        state.counters["wall_s"] = wall;
        state.counters["cpu_s"] = cpu;
        state.counters["core_share_pct"] = 100.0 * cpu / wall;
    }
}
BENCHMARK(BM_FlashRunRealTimeCpuShare)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
