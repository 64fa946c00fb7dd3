// SPDX-License-Identifier: MIT
// A whole update in real time through the production libftdi1 back end, real
// libftdi1 and the USB-level FT232R model: how close it comes to what the
// board's bytes need on the wire, and what it costs in CPU. Run with
// LD_LIBRARY_PATH naming the model's folder (bench/usb-update.sh does).
#include <benchmark/benchmark.h>

#include <chrono>

#include "CpuTime.h"
#include "DemoRelease.h"
#include "ImageFormat.h"
#include "LibFtdiDriver.h"
#include "ModelControl.h"
#include "Program.h"
#include "RecordingWindow.h"

namespace {

using std::chrono::duration;

using bench::ProcessCpuSeconds;

void BM_UpdateOverLibFtdiAndUsbModel(benchmark::State& state) {
    testing_support::ModelControl model;
    for (auto _ : state) {
        model.Reset();
        auto driver = boardlink::MakeLibFtdiDriver();
        sim::RecordingWindow window;
        window.recordYields = false;
        image::MemoryResources resources;
        resources.Put(image::ResourceType, image::ReleaseResourceId, image::DemoContainer());
        app::Program program(window, *driver, resources);
        window.SetHandlers(&program.Form);
        window.Start();
        window.Click(0);
        const auto before = model.Stats();
        const double cpu0 = ProcessCpuSeconds();
        const auto wall0 = std::chrono::steady_clock::now();
        window.Click(1);
        const double wall = duration<double>(std::chrono::steady_clock::now() - wall0).count();
        const double cpu = ProcessCpuSeconds() - cpu0;
        const auto after = model.Stats();
        if (window.statusText != "Flash Complete!") state.SkipWithError("the update failed");
        window.Click(3);
        program.Form.Form_Unload();
        // The least time the board's bytes need on the wire: 10 bits each at 125000 baud.
        const double wire = static_cast<double>(after.board_to_host - before.board_to_host) * 80e-6;
        state.counters["wall_s"] = wall;
        state.counters["wire_min_s"] = wire;
        state.counters["wall_over_wire"] = wall / wire;
        state.counters["cpu_s"] = cpu;
        state.counters["core_share_pct"] = 100.0 * cpu / wall;
        state.counters["bytes_lost_in_chip"] =
            static_cast<double>(after.receive_overflows - before.receive_overflows);
    }
}
BENCHMARK(BM_UpdateOverLibFtdiAndUsbModel)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    testing_support::ModelControl::RefuseUnlessModel();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
