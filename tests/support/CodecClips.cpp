#include "support/CodecClips.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "codec/CodecRun.h"
#include "codec/ZeroRun.h"
#include "io/MemFile.h"
#include "stream/SampleClip.h"
#include "support/TestFiles.h"

namespace {

uint8_t Texture(uint32_t x, uint32_t y, uint32_t nScene) {
    const double fx = x, fy = y;
    double v;
    switch (nScene % 3) {
        case 0:
            v = 128 + 60 * std::sin(fx / 9.0) * std::cos(fy / 13.0) + 0.4 * (fx - fy);
            break;
        case 1:
            v = 40 + 0.9 * fx + 25 * std::sin((fx + 2 * fy) / 5.0);
            break;
        default:
            v = ((x / 16 + y / 16) % 2 ? 220 : 30) + 10 * std::sin(fy / 3.0);
            break;
    }
    return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
}

void Plane(uint8_t* p, uint32_t w, uint32_t h, uint32_t nScale, uint32_t nFrame, uint32_t nScene,
           uint32_t nOffset) {
    const uint32_t pan = nFrame * 2 / nScale;
    const uint32_t bx = (20 + nFrame * 3) % w, by = h / 3;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t v = Texture(x * nScale + pan * nScale, y * nScale, nScene);
            if (x >= bx && x < bx + 24 / nScale && y >= by && y < by + 20 / nScale) {
                v = static_cast<uint8_t>(200 - nOffset);
            }
            p[y * w + x] = static_cast<uint8_t>((v + nOffset) & 0xFF);
        }
    }
}

}  // namespace

Bytes SyntheticClip(uint32_t nFrames, uint32_t nScene) {
    Bytes clip(size_t(nFrames) * FRAME_BYTES);
    for (uint32_t f = 0; f < nFrames; ++f) {
        uint8_t* p = clip.data() + size_t(f) * FRAME_BYTES;
        Plane(p, 176, 144, 1, f, nScene, 0);
        Plane(p + 25344, 88, 72, 2, f, nScene + 1, 10);
        Plane(p + 31680, 88, 72, 2, f, nScene + 2, 20);
    }
    return clip;
}

Bytes RealClip(const std::string& strName, uint32_t nFrames) {
    const std::string path = DataFile(strName);
    if (path.empty()) {
        return {};
    }
    Bytes all = ReadBytes(path);
    if (all.size() < size_t(nFrames) * FRAME_BYTES) {
        return {};
    }
    all.resize(size_t(nFrames) * FRAME_BYTES);
    return all;
}

double FramePsnr(const uint8_t* a, const uint8_t* b) {
    double sum = 0;
    for (uint32_t i = 0; i < FRAME_BYTES; ++i) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    if (sum == 0) {
        return 99.0;
    }
    return 10 * std::log10(255.0 * 255.0 / (sum / FRAME_BYTES));
}

Bytes SampleClip(uint32_t nFrames) {
    Bytes clip;
    EXPECT_TRUE(RenderSampleClip(nFrames, clip));
    return clip;
}

CodedStream Compress(const Bytes& clip, uint32_t nFrames, uint8_t t, uint8_t q, uint32_t nThreads) {
    CodedStream out;
    out.nError = CompressFrames(clip.data(), {nFrames, t, q}, out.cmp, nThreads);
    out.bResult = out.nError == CodecError::None;
    return out;
}

DecodedStream Decompress(const Bytes& cmp, uint32_t nFrames, uint8_t t, uint8_t q,
                         uint32_t nThreads) {
    const Bytes in = cmp;  // exact size, so a read past the end shows under the sanitizers
    DecodedStream out;
    out.nError =
        DecompressFrames(in.data(), uint32_t(in.size()), {nFrames, t, q}, out.qcf, nThreads);
    out.bResult = out.nError == CodecError::None;
    EXPECT_EQ(in, cmp) << "the compressed input must stay untouched";
    return out;
}

Bytes RecordStream(const Bytes& cmp) {
    CLzariCoder coder;
    Bytes copy = cmp;
    CMemFile in;
    in.Attach(copy.data(), static_cast<uint32_t>(copy.size()), 0);
    in.Seek(4);
    uint8_t* p = nullptr;
    uint32_t n = 0;
    EXPECT_EQ(coder.LzariDecode(in, UINT32_MAX, &p, &n), LzariResult::Ok);
    in.Detach();
    Bytes records(p, p + n);
    std::free(p);
    return records;
}

std::vector<Bytes> ExpandRecords(const Bytes& records, uint32_t nFrames) {
    Bytes copy = records;
    CMemFile in;
    in.Attach(copy.data(), static_cast<uint32_t>(copy.size()), 0);
    std::vector<Bytes> out;
    for (uint32_t f = 0; f < nFrames; ++f) {
        Bytes frame(f == 0 ? 2 * FRAME_BYTES : FRAME_BYTES);
        uint32_t n = 0;
        EXPECT_EQ(DecodeZeroRuns(in, frame.data(), frame.size(), &n), ZeroRunResult::Ok);
        EXPECT_EQ(n, frame.size());
        out.push_back(std::move(frame));
    }
    EXPECT_EQ(in.GetPosition(), in.GetLength()) << "nothing may follow the last record";
    in.Detach();
    return out;
}
