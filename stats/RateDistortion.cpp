#include "stats/RateDistortion.h"

#include <chrono>
#include <cstdlib>
#include <memory>

#include "codec/CodecRun.h"
#include "io/Fail.h"
#include "io/QcifFormat.h"
#include "stats/FrameFigures.h"

namespace {

constexpr double PIXELS_PER_FRAME = 176.0 * 144.0;

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

bool EvaluateRdPoint(const uint8_t* pQcf, uint32_t nFrames, uint32_t nThreshold,
                     uint32_t nQuantiser, SRdPoint& point, std::string* pError, uint32_t nThreads) {
    if (!pQcf || nFrames == 0 || nFrames > CODEC_MAX_FRAMES) {
        return Fail(pError, "The frame count must be 1 to 65535.");
    }
    if (nThreshold < 1 || nThreshold > 255 || nQuantiser < 1 || nQuantiser > 255) {
        return Fail(pError, "Threshold and quantiser must be 1 to 255.");
    }
    point = SRdPoint();
    point.nThreshold = nThreshold;
    point.nQuantiser = nQuantiser;
    point.nFrames = nFrames;

    const SCmpHeader params{nFrames, static_cast<uint8_t>(nThreshold),
                            static_cast<uint8_t>(nQuantiser)};
    std::vector<uint8_t> cmp;
    auto start = std::chrono::steady_clock::now();
    if (const CodecError nError = CompressFrames(pQcf, params, cmp, nThreads);
        nError != CodecError::None) {
        return Fail(pError, std::string("Compression failed: ") + CodecErrorText(nError));
    }
    point.dEncodeSeconds = SecondsSince(start);
    point.nCmpBytes = cmp.size();

    std::vector<uint8_t> decoded;
    start = std::chrono::steady_clock::now();
    if (const CodecError nError = DecompressFrames(cmp.data(), static_cast<uint32_t>(cmp.size()),
                                                   params, decoded, nThreads);
        nError != CodecError::None) {
        return Fail(pError, nError == CodecError::NoMemory
                                ? "Not enough memory for the decompressed frames."
                                : std::string("Decompression failed: ") + CodecErrorText(nError));
    }
    point.dDecodeSeconds = SecondsSince(start);

    CFrameMeans means;
    double adPlaneSum[3] = {};
    for (uint32_t k = 0; k < nFrames; ++k) {
        const uint8_t* pOut = decoded.data() + size_t(k) * QCIF_FRAME_BYTES;
        const uint8_t* pIn = pQcf + size_t(k) * QCIF_FRAME_BYTES;
        means.Add(CompareFrame(pOut, pIn));
        const SPlaneFigures planes = ComparePlanes(pOut, pIn);
        for (int p = 0; p < 3; ++p) {
            adPlaneSum[p] += planes.adPsnr[p];
        }
    }
    point.dMeanRmse = means.MeanRmse();
    point.dMeanPsnr = means.MeanPsnr();
    for (int p = 0; p < 3; ++p) {
        point.adMeanPlanePsnr[p] = adPlaneSum[p] / nFrames;
    }
    point.dBitsPerPixel = double(point.nCmpBytes) * 8.0 / (nFrames * PIXELS_PER_FRAME);
    point.dRatio = RgbCompressionRatio(nFrames, point.nCmpBytes);
    return true;
}
