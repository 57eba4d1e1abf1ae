// Viewer frame conversion (dithered palette image of one QCIF frame), one
// thread: the time per ConvertFrame call over the frames of the built-in
// sample clip.

#include <benchmark/benchmark.h>

#include <vector>

#include "playback/DitherDisplay.h"
#include "stream/SampleClip.h"

namespace {

constexpr uint32_t FRAME_BYTES = 38016;
constexpr uint32_t FRAMES = 16;

void BM_ConvertFrame(benchmark::State& state) {
    std::vector<uint8_t> clip(size_t(FRAMES) * FRAME_BYTES);
    for (uint32_t f = 0; f < FRAMES; ++f) {
        RenderSampleFrame(f, clip.data() + size_t(f) * FRAME_BYTES);
    }
    CDitherDisplay display;
    if (!display.BuildClipTable() || !display.BuildDitherTables(8)) {
        state.SkipWithError("display tables could not be built");
        return;
    }
    uint32_t f = 0;
    for (auto _ : state) {
        const uint8_t* p = clip.data() + size_t(f) * FRAME_BYTES;
        display.ConvertFrame(p, p + 25344, p + 31680);
        benchmark::DoNotOptimize(display.GetImage()[0]);
        benchmark::ClobberMemory();
        f = (f + 1) % FRAMES;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ConvertFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
