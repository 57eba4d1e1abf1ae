// Codec throughput on one clip, single thread: encode and decode frames per
// second, and LZARI encode and decode MB/s on the clip's record stream.
//
//   tavro_bench [--clip=FILE.qcf] [--frames=N] [benchmark options]
//
// The clip comes from --clip, else $TAVRO_BENCH_CLIP, else the real clip
// beside the repository; without any of them a synthetic clip is used.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/CodecContext.h"
#include "codec/Subbands.h"
#include "codec/WorkingState.h"
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

bool Compress(const std::vector<uint8_t>& qcf, uint32_t nFrames, std::vector<uint8_t>& cmp) {
    CCodecContext ctx;
    ctx.m_nFrames = nFrames;
    ctx.m_byThreshold = 10;
    ctx.m_byQuantiser = 16;
    ctx.m_pQcf = const_cast<uint8_t*>(qcf.data());
    BuildBandTable(ctx);
    g_nProgress = 0;
    if (!ctx.CompressRun()) {
        return false;
    }
    cmp.assign(ctx.m_pCmp, ctx.m_pCmp + ctx.m_nCmpLength);
    return true;
}

bool Decompress(const std::vector<uint8_t>& cmp, uint32_t nFrames, std::vector<uint8_t>& qcf) {
    CCodecContext ctx;
    ctx.m_bCompress = false;
    ctx.m_nFrames = nFrames;
    ctx.m_byThreshold = cmp[2];
    ctx.m_byQuantiser = cmp[3];
    ctx.m_pCmp = const_cast<uint8_t*>(cmp.data());
    ctx.m_nCmpLength = static_cast<uint32_t>(cmp.size());
    qcf.resize(size_t(nFrames) * FRAME_BYTES);
    ctx.m_pQcf = qcf.data();
    BuildBandTable(ctx);
    g_nProgress = 0;
    return ctx.DecompressRun();
}

void BM_Encode(benchmark::State& state) {
    std::vector<uint8_t> cmp;
    for (auto _ : state) {
        if (!Compress(g_clip.qcf, g_clip.nFrames, cmp)) {
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
        if (!Decompress(g_clip.cmp, g_clip.nFrames, qcf)) {
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

bool LoadClip(const std::string& strPath, uint32_t nMaxFrames) {
    if (!strPath.empty()) {
        std::ifstream in(strPath, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "tavro_bench: cannot read %s\n", strPath.c_str());
            return false;
        }
        g_clip.qcf.assign(std::istreambuf_iterator<char>(in), {});
        g_clip.strName = strPath;
    } else {
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
        } else if (std::filesystem::exists(TAVRO_DEFAULT_CLIP)) {
            strClip = TAVRO_DEFAULT_CLIP;
        } else if (std::filesystem::exists("/work/shared/data/foreman_100f.qcf")) {
            strClip = "/work/shared/data/foreman_100f.qcf";
        }
    }
    if (!LoadClip(strClip, nMaxFrames)) {
        return 1;
    }
    std::printf("clip: %s, %u frames, compressed %zu bytes (ratio %.1f), record stream %zu bytes\n",
                g_clip.strName.c_str(), g_clip.nFrames, g_clip.cmp.size(),
                double(g_clip.qcf.size()) / double(g_clip.cmp.size()), g_clip.records.size());

    benchmark::RegisterBenchmark("Encode", BM_Encode)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Decode", BM_Decode)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("LzariEncode", BM_LzariEncode)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("LzariDecode", BM_LzariDecode)->Unit(benchmark::kMillisecond);
    int n = static_cast<int>(rest.size());
    benchmark::Initialize(&n, rest.data());
    if (benchmark::ReportUnrecognizedArguments(n, rest.data())) {
        return 2;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
