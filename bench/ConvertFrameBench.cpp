// Frame conversions, one thread, over the frames of the built-in sample clip:
// the viewer's dithered palette image (ConvertFrame), the true-colour picture
// of export and the comparison view, the view's difference pictures, and all
// the work the comparison view does per frame shown (read the reference frame
// from its file, copy the stream's, figures, three pictures).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "document/TavroDoc.h"
#include "io/SafeFileWriter.h"
#include "playback/DitherDisplay.h"
#include "playback/FramePictures.h"
#include "playback/YuvToRgb.h"
#include "stats/ComparisonFrames.h"
#include "stream/SampleClip.h"

namespace {

constexpr uint32_t FRAME_BYTES = 38016;
constexpr uint32_t FRAMES = 16;

std::vector<uint8_t> SampleFrames() {
    std::vector<uint8_t> clip(size_t(FRAMES) * FRAME_BYTES);
    for (uint32_t f = 0; f < FRAMES; ++f) {
        RenderSampleFrame(f, clip.data() + size_t(f) * FRAME_BYTES);
    }
    return clip;
}

// The same frames a little off, as a decoded stream is.
std::vector<uint8_t> Disturbed(std::vector<uint8_t> clip) {
    for (size_t k = 0; k < clip.size(); k += 3) {
        clip[k] = uint8_t(clip[k] + int(k % 7) - 3);
    }
    return clip;
}

void BM_ConvertFrame(benchmark::State& state) {
    const std::vector<uint8_t> clip = SampleFrames();
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

void BM_TrueColourFrame(benchmark::State& state) {
    const std::vector<uint8_t> clip = SampleFrames();
    std::vector<uint8_t> rgb(PICTURE_BYTES);
    uint32_t f = 0;
    for (auto _ : state) {
        QcifFrameToRgb(clip.data() + size_t(f) * FRAME_BYTES, rgb.data());
        benchmark::DoNotOptimize(rgb.data());
        benchmark::ClobberMemory();
        f = (f + 1) % FRAMES;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TrueColourFrame)->Unit(benchmark::kMicrosecond);

// Arguments: picture mode (0 colour, 1 Y), style (0 signed, 1 heat map).
void BM_DifferencePicture(benchmark::State& state) {
    const std::vector<uint8_t> ref = SampleFrames();
    const std::vector<uint8_t> clip = Disturbed(ref);
    std::vector<uint8_t> rgb(PICTURE_BYTES);
    const auto mode = EPictureMode(state.range(0));
    const auto style = EDifferenceStyle(state.range(1));
    uint32_t f = 0;
    for (auto _ : state) {
        const size_t nOffset = size_t(f) * FRAME_BYTES;
        RenderDifferencePicture(clip.data() + nOffset, ref.data() + nOffset, mode, style, 8,
                                rgb.data());
        benchmark::DoNotOptimize(rgb.data());
        benchmark::ClobberMemory();
        f = (f + 1) % FRAMES;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DifferencePicture)
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMicrosecond);

// One frame step of the comparison view in true colour: the reference frame
// read from its file, the stream's copied from the document, the figures, the
// three pictures.
void BM_ComparisonViewFrame(benchmark::State& state) {
    const std::vector<uint8_t> ref = SampleFrames();
    const std::vector<uint8_t> clip = Disturbed(ref);
    const std::string strRef =
        (std::filesystem::temp_directory_path() / "tavro_bench_reference.qcf").string();
    if (!WriteFileSafely(strRef, ref.data(), ref.size(), nullptr)) {
        state.SkipWithError("cannot write the reference file");
        return;
    }
    CTavroDoc doc;
    doc.m_pQcfData = static_cast<uint8_t*>(std::malloc(clip.size()));
    std::memcpy(doc.m_pQcfData, clip.data(), clip.size());
    doc.m_nStreamFrames = doc.m_nCodedFrames = int32_t(FRAMES);
    doc.m_cState = 'i';
    doc.m_bCompareFile = true;
    doc.m_strComparePath = strRef;
    doc.m_nCompareFrames = uint16_t(FRAMES);
    CComparisonFrames frames(doc);
    frames.Sync();
    std::vector<uint8_t> pictures(3 * PICTURE_BYTES);
    uint32_t f = 0;
    for (auto _ : state) {
        if (!frames.Load(f + 1, nullptr)) {
            state.SkipWithError("load failed");
            break;
        }
        RenderFramePicture(frames.Reference(), EPictureMode::Colour, pictures.data());
        RenderFramePicture(frames.Stream(), EPictureMode::Colour, pictures.data() + PICTURE_BYTES);
        RenderDifferencePicture(frames.Stream(), frames.Reference(), EPictureMode::Colour,
                                EDifferenceStyle::Signed, 8, pictures.data() + 2 * PICTURE_BYTES);
        benchmark::DoNotOptimize(pictures.data());
        benchmark::ClobberMemory();
        f = (f + 1) % FRAMES;
    }
    state.SetItemsProcessed(state.iterations());
    std::remove(strRef.c_str());
}
BENCHMARK(BM_ComparisonViewFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
