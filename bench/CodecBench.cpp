// Codec throughput on one clip: encode and decode frames per second on 1, 2
// and all cores (wall time; Encode/1 is the plain run), LZARI encode and
// decode MB/s on the clip's record stream, and the time of a frame's forward
// plus inverse wavelet with each kernel set.
//
//   tavro_bench [--clip=FILE.qcf] [--frames=N] [benchmark options]
//
// The clip comes from --clip, else $TAVRO_BENCH_CLIP, else the natural
// 300-frame clip that bench/compare-peers.sh uses, joined from the camera
// clips in $TAVRO_DATA_DIR (default: the TAVRO_DATA_DIR CMake cache variable);
// without any of them a synthetic clip is used.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/CodecRun.h"
#include "codec/Wavelet.h"
#include "io/MemFile.h"

namespace {

constexpr uint32_t FRAME_BYTES = 38016;

struct Clip {
    std::string strName;
    std::vector<uint8_t> qcf;  // raw frames
    uint32_t nFrames = 0;
    std::vector<uint8_t> cmp;      // its compressed stream at T=10 Q=16
    std::vector<uint8_t> records;  // the record stream inside it
};
Clip g_clip;

std::vector<uint8_t> Synthetic(uint32_t nFrames) {
    std::vector<uint8_t> v(size_t(nFrames) * FRAME_BYTES);
    for (uint32_t f = 0; f < nFrames; ++f) {
        for (uint32_t i = 0; i < FRAME_BYTES; ++i) {
            const uint32_t w = i < 25344 ? 176 : 88;
            const uint32_t p = i < 25344 ? i : (i - 25344) % 6336;
            const double x = p % w + f, y = p / w;
            v[size_t(f) * FRAME_BYTES + i] =
                static_cast<uint8_t>(128 + 60 * std::sin(x / 7) * std::cos(y / 11) + (i * 7 % 5));
        }
    }
    return v;
}

bool Compress(const std::vector<uint8_t>& qcf, uint32_t nFrames, std::vector<uint8_t>& cmp,
              uint32_t nThreads = 1) {
    return CompressFrames(qcf.data(), {nFrames, 10, 16}, cmp, nThreads) == CodecError::None;
}

bool Decompress(const std::vector<uint8_t>& cmp, std::vector<uint8_t>& qcf, uint32_t nThreads) {
    return DecompressFrames(cmp.data(), static_cast<uint32_t>(cmp.size()), qcf, nThreads) ==
           CodecError::None;
}

// The argument is the thread count (1: the plain run).
void BM_Encode(benchmark::State& state) {
    std::vector<uint8_t> cmp;
    for (auto _ : state) {
        if (!Compress(g_clip.qcf, g_clip.nFrames, cmp, uint32_t(state.range(0)))) {
            state.SkipWithError("compression failed");
            return;
        }
    }
    state.counters["fps"] = benchmark::Counter(double(g_clip.nFrames) * state.iterations(),
                                               benchmark::Counter::kIsRate);
    state.counters["ratio"] = double(g_clip.qcf.size()) / double(cmp.size());
}

void BM_Decode(benchmark::State& state) {
    std::vector<uint8_t> qcf;
    for (auto _ : state) {
        if (!Decompress(g_clip.cmp, qcf, uint32_t(state.range(0)))) {
            state.SkipWithError("decompression failed");
            return;
        }
    }
    state.counters["fps"] = benchmark::Counter(double(g_clip.nFrames) * state.iterations(),
                                               benchmark::Counter::kIsRate);
}

void BM_LzariEncode(benchmark::State& state) {
    static CLzariCoder coder;  // about 60 KiB of state: not on the stack
    for (auto _ : state) {
        CMemFile out(1 << 20);
        if (!coder.LzariEncode(g_clip.records.data(), static_cast<uint32_t>(g_clip.records.size()),
                               out)) {
            state.SkipWithError("LZARI encode failed");
            return;
        }
        benchmark::DoNotOptimize(out.GetLength());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_clip.records.size()));
}

void BM_LzariDecode(benchmark::State& state) {
    static CLzariCoder coder;
    std::vector<uint8_t> cmp = g_clip.cmp;
    for (auto _ : state) {
        CMemFile in;
        in.Attach(cmp.data(), static_cast<uint32_t>(cmp.size()), 0);
        in.Seek(4);
        uint8_t* p = nullptr;
        uint32_t n = 0;
        if (coder.LzariDecode(in, UINT32_MAX, &p, &n) != LzariResult::Ok) {
            state.SkipWithError("LZARI decode failed");
            return;
        }
        in.Detach();
        std::free(p);
    }
    // Throughput in plain-text bytes, like the encoder.
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_clip.records.size()));
}

// The same code through the streaming decoder, as tavro-cli decompress reads it.
void BM_LzariDecodeStream(benchmark::State& state) {
    static CLzariCoder coder;
    std::vector<uint8_t> cmp = g_clip.cmp;
    for (auto _ : state) {
        CLzariMemorySource source(cmp.data() + 4, static_cast<uint32_t>(cmp.size() - 4));
        uint32_t nLength = 0;
        LzariResult r = coder.LzariStreamBegin(source, UINT32_MAX, &nLength);
        uint64_t nSum = 0;
        for (uint32_t n = 1; r == LzariResult::Ok && n > 0;) {
            const uint8_t* p = nullptr;
            r = coder.LzariStreamNext(&p, &n);
            nSum += n ? p[n - 1] : 0;
        }
        if (r != LzariResult::Ok) {
            state.SkipWithError("LZARI decode failed");
            return;
        }
        benchmark::DoNotOptimize(nSum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_clip.records.size()));
}

// Forward then inverse wavelet of one frame's three planes (the frame cycles
// through the clip), with the kernel set given as the argument.
void BM_Wavelet(benchmark::State& state) {
    const EWaveletPath def = GetWaveletPath();
    if (!SetWaveletPath(static_cast<EWaveletPath>(state.range(0)))) {
        state.SkipWithError("this processor lacks the kernel set");
        return;
    }
    std::vector<int16_t> frame(FRAME_BYTES);
    uint32_t nFrame = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const uint8_t* pRaw = g_clip.qcf.data() + size_t(nFrame) * FRAME_BYTES;
        std::copy(pRaw, pRaw + FRAME_BYTES, frame.begin());
        nFrame = (nFrame + 1) % g_clip.nFrames;
        state.ResumeTiming();
        ForwardWaveletFrame(frame.data());
        InverseWaveletFrame(frame.data());
        benchmark::DoNotOptimize(frame.data());
    }
    SetWaveletPath(def);
}

// The natural clip of bench/compare-peers.sh: foreman 100 + bus 75 + hall 50
// + highway 40 + glasgow 35 frames. False when a part is missing.
bool JoinNaturalClip(const std::string& strDir) {
    const struct {
        const char* name;
        uint32_t nFrames;
    } parts[] = {{"foreman_100f", 100},
                 {"bus_75f", 75},
                 {"hall_50f", 50},
                 {"highway_40f", 40},
                 {"glasgow_40f", 35}};
    std::vector<uint8_t> qcf;
    for (const auto& part : parts) {
        std::ifstream in(strDir + "/" + part.name + ".qcf", std::ios::binary);
        std::vector<uint8_t> bytes(size_t(part.nFrames) * FRAME_BYTES);
        if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()))) {
            return false;
        }
        qcf.insert(qcf.end(), bytes.begin(), bytes.end());
    }
    g_clip.qcf = std::move(qcf);
    g_clip.strName = "natural 300 frames from " + strDir;
    return true;
}

bool LoadClip(const std::string& strPath, uint32_t nMaxFrames) {
    const char* pDataDir = std::getenv("TAVRO_DATA_DIR");
    if (!strPath.empty()) {
        std::ifstream in(strPath, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "tavro_bench: cannot read %s\n", strPath.c_str());
            return false;
        }
        g_clip.qcf.assign(std::istreambuf_iterator<char>(in), {});
        g_clip.strName = strPath;
    } else if (!JoinNaturalClip(pDataDir && *pDataDir ? pDataDir : TAVRO_DATA_DIR)) {
        g_clip.qcf = Synthetic(30);
        g_clip.strName = "synthetic (30 frames)";
    }
    g_clip.nFrames = static_cast<uint32_t>(g_clip.qcf.size() / FRAME_BYTES);
    if (nMaxFrames && g_clip.nFrames > nMaxFrames) {
        g_clip.nFrames = nMaxFrames;
    }
    if (g_clip.nFrames == 0 || g_clip.nFrames > CODEC_MAX_FRAMES) {
        std::fprintf(stderr, "tavro_bench: %s holds %zu whole frames (need 1 to 65535)\n",
                     strPath.c_str(), g_clip.qcf.size() / FRAME_BYTES);
        return false;
    }
    g_clip.qcf.resize(size_t(g_clip.nFrames) * FRAME_BYTES);
    if (!Compress(g_clip.qcf, g_clip.nFrames, g_clip.cmp)) {
        std::fprintf(stderr, "tavro_bench: compression failed\n");
        return false;
    }
    // The record stream, for the LZARI figures.
    CLzariCoder coder;
    CMemFile in;
    in.Attach(g_clip.cmp.data(), static_cast<uint32_t>(g_clip.cmp.size()), 0);
    in.Seek(4);
    uint8_t* p = nullptr;
    uint32_t n = 0;
    if (coder.LzariDecode(in, UINT32_MAX, &p, &n) != LzariResult::Ok) {
        std::fprintf(stderr, "tavro_bench: cannot decode its own stream\n");
        return false;
    }
    in.Detach();
    g_clip.records.assign(p, p + n);
    std::free(p);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string strClip;
    uint32_t nMaxFrames = 0;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--clip=", 7) == 0) {
            strClip = argv[i] + 7;
        } else if (std::strncmp(argv[i], "--frames=", 9) == 0) {
            nMaxFrames = static_cast<uint32_t>(std::strtoul(argv[i] + 9, nullptr, 10));
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (strClip.empty()) {
        const char* env = std::getenv("TAVRO_BENCH_CLIP");
        if (env && *env) {
            strClip = env;
        }
    }
    if (!LoadClip(strClip, nMaxFrames)) {
        return 1;
    }
    std::printf("clip: %s, %u frames, compressed %zu bytes (ratio %.1f), record stream %zu bytes\n",
                g_clip.strName.c_str(), g_clip.nFrames, g_clip.cmp.size(),
                double(g_clip.qcf.size()) / double(g_clip.cmp.size()), g_clip.records.size());

    // Wall time matters for the pipelines, so it is what the runs are timed by.
    const int nCores = static_cast<int>(DefaultCodecThreads());
    for (auto* pBench : {benchmark::RegisterBenchmark("Encode", BM_Encode),
                         benchmark::RegisterBenchmark("Decode", BM_Decode)}) {
        pBench->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);
        if (nCores > 2) {
            pBench->Arg(nCores);
        }
    }
    benchmark::RegisterBenchmark("LzariEncode", BM_LzariEncode)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("LzariDecode", BM_LzariDecode)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("LzariDecodeStream", BM_LzariDecodeStream)
        ->Unit(benchmark::kMillisecond);
    for (EWaveletPath path : {EWaveletPath::Plain, EWaveletPath::Sse2, EWaveletPath::Avx2}) {
        const char* name = path == EWaveletPath::Plain  ? "Wavelet/plain"
                           : path == EWaveletPath::Sse2 ? "Wavelet/sse2"
                                                        : "Wavelet/avx2";
        benchmark::RegisterBenchmark(name, BM_Wavelet)
            ->Arg(static_cast<int>(path))
            ->Unit(benchmark::kMicrosecond);
    }
    int n = static_cast<int>(rest.size());
    benchmark::Initialize(&n, rest.data());
    if (benchmark::ReportUnrecognizedArguments(n, rest.data())) {
        return 2;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
