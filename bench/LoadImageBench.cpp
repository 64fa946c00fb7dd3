// SPDX-License-Identifier: MIT
// Unpacking the release on "Find Device": resource to accepted header.
#include <benchmark/benchmark.h>

#include "FirmwareStore.h"
#include "Rig.h"

namespace {

void BM_LoadFirmwareImage(benchmark::State& state) {
    image::MemoryResources resources;
    resources.Put(image::ResourceType, image::ReleaseResourceId, testing_support::DemoContainer());
    std::int16_t flag = 0;
    image::FirmwareStore store(resources, flag);
    store.FirmwareResourceId = image::ReleaseResourceId;
    for (auto _ : state) {
        store.LoadFirmwareImage();
        benchmark::DoNotOptimize(store.FirmwareImage.data());
    }
    if (flag != 0) state.SkipWithError("the demo release was refused");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(image::ContainerBytes));
}
BENCHMARK(BM_LoadFirmwareImage)->Unit(benchmark::kMicrosecond);

}  // namespace
