#include "codec/StageDump.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include "codec/CodecRun.h"
#include "codec/Subbands.h"
#include "codec/Wavelet.h"
#include "codec/ZeroRun.h"
#include "io/Fail.h"
#include "io/MemFile.h"
#include "io/QcifFormat.h"

namespace {

constexpr uint32_t HEADER_BYTES = 4;

bool LoadFrame(const uint8_t* pFrame, std::vector<int16_t>& coef) {
    try {
        coef.assign(pFrame, pFrame + COEF_FRAME_VALUES);
    } catch (...) {
        return false;
    }
    return true;
}

const char* const BAND_NAMES[BAND_COUNT] = {"Y LL4",
                                            "Y HL4",
                                            "Y LH4",
                                            "Y HH4",
                                            "Y HL3",
                                            "Y LH3",
                                            "Y HH3",
                                            "Y HL2",
                                            "Y LH2",
                                            "Y HH2",
                                            "Y HL1",
                                            "Y LH1",
                                            "Y HH1 + U LL3",
                                            "U HL3",
                                            "U LH3",
                                            "U HH3",
                                            "U HL2 (first 99)",
                                            "U HL2 (other 297)",
                                            "U LH2",
                                            "U HH2",
                                            "U HL1",
                                            "U LH1",
                                            "U HH1",
                                            "V LL3",
                                            "V HL3",
                                            "V LH3",
                                            "V HH3",
                                            "V HL2",
                                            "V LH2",
                                            "V HH2",
                                            "V HL1",
                                            "V LH1",
                                            "V HH1"};

}  // namespace

bool FramePyramid(const uint8_t* pFrame, std::vector<int16_t>& pyramid) {
    if (!LoadFrame(pFrame, pyramid)) {
        return false;
    }
    ForwardWaveletFrame(pyramid.data());
    return true;
}

bool FrameIndices(const uint8_t* pFrame, uint8_t byThreshold, uint8_t byQuantiser,
                  std::vector<int16_t>& indices) {
    if (byThreshold == 0 || byQuantiser == 0) {
        return false;
    }
    auto pContext = std::unique_ptr<CCodecContext>(new (std::nothrow) CCodecContext);
    if (!pContext) {
        return false;
    }
    pContext->UseOwnProgressCell();
    pContext->m_byThreshold = byThreshold;
    pContext->m_byQuantiser = byQuantiser;
    const CRunLease lease(*pContext);
    if (!lease.Held()) {
        return false;
    }
    int16_t* pCoef = pContext->m_pCoef[pContext->m_bCurrent];
    std::copy(pFrame, pFrame + COEF_FRAME_VALUES, pCoef);
    ForwardWaveletFrame(pCoef);
    ScanSubbands(*pContext);
    QuantiseBands(*pContext);
    // The scan exchanged the slots: the result is in whichever buffer is current now.
    const int16_t* pResult = pContext->m_pCoef[pContext->m_bCurrent];
    try {
        indices.assign(pResult, pResult + COEF_FRAME_VALUES);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

const char* BandName(uint32_t nBand) {
    return nBand < BAND_COUNT ? BAND_NAMES[nBand] : "";
}

std::vector<SBandStats> BandStatistics(const int16_t* pIndices, uint8_t byQuantiser) {
    std::vector<SBandStats> bands;
    for (uint32_t b = 0; b < BAND_COUNT; ++b) {
        SBandStats s;
        s.nBand = b;
        s.strName = BAND_NAMES[b];
        s.nStart = g_anBandBoundaries[b];
        s.nCount = g_anBandBoundaries[b + 1] - g_anBandBoundaries[b];
        s.nStep = BandStep(byQuantiser, b);
        s.nMin = pIndices[s.nStart];
        s.nMax = pIndices[s.nStart];
        for (uint32_t p = s.nStart; p < s.nStart + s.nCount; ++p) {
            const int16_t v = pIndices[p];
            s.nNonzero += v != 0;
            s.nMin = std::min(s.nMin, v);
            s.nMax = std::max(s.nMax, v);
            s.nEnergy += uint64_t(int64_t(v) * v);
        }
        bands.push_back(std::move(s));
    }
    return bands;
}

bool MeasureRecords(const uint8_t* pCmp, uint32_t nCmpLength, SRecordStream& out,
                    std::string* pError) {
    out = SRecordStream();
    if (!pCmp || nCmpLength <= HEADER_BYTES) {
        return Fail(pError, CodecErrorText(nCmpLength < HEADER_BYTES ? CodecError::Truncated
                                                                     : CodecError::NoRecordData));
    }
    const uint32_t nFrames = pCmp[0] | uint32_t(pCmp[1]) << 8;
    if (nFrames == 0) {
        return Fail(pError, "The compressed stream's header states no frames.");
    }

    // The decoder only reads through the attached file; the cast lets it attach.
    CMemFile cmpIn;
    cmpIn.Attach(const_cast<uint8_t*>(pCmp), nCmpLength, 0);
    cmpIn.Seek(HEADER_BYTES);
    auto pCoder = std::make_unique<CLzariCoder>();
    uint8_t* pRecords = nullptr;
    uint32_t nRecords = 0;
    const LzariResult r =
        pCoder->LzariDecode(cmpIn, MaxRecordStreamLength(nFrames), &pRecords, &nRecords);
    cmpIn.Detach();
    if (r != LzariResult::Ok) {
        return Fail(pError, CodecErrorText(r == LzariResult::Truncated  ? CodecError::Truncated
                                           : r == LzariResult::NoMemory ? CodecError::NoMemory
                                                                        : CodecError::Corrupt));
    }
    std::unique_ptr<uint8_t, decltype(&std::free)> records(pRecords, &std::free);

    CMemFile recordsIn;
    recordsIn.Attach(pRecords, nRecords, 0);
    std::vector<uint8_t> expanded(2 * COEF_FRAME_VALUES);
    bool bOk = true;
    for (uint32_t k = 0; k < nFrames; ++k) {
        const uint32_t nWanted = k == 0 ? 2 * COEF_FRAME_VALUES : COEF_FRAME_VALUES;
        const uint32_t nAt = recordsIn.GetPosition();
        uint32_t nDecoded = 0;
        if (DecodeZeroRuns(recordsIn, expanded.data(), nWanted, &nDecoded) != ZeroRunResult::Ok ||
            nDecoded != nWanted) {
            bOk = false;
            break;
        }
        SRecordSize size;
        size.nFrame = k + 1;
        size.nExpanded = nWanted;
        size.nNonzero = uint32_t(
            nWanted - std::count(expanded.begin(), expanded.begin() + nWanted, uint8_t{0}));
        size.nCoded = recordsIn.GetPosition() - nAt;
        out.records.push_back(size);
    }
    recordsIn.Detach();
    if (!bOk) {
        out.records.clear();
        return Fail(pError, CodecErrorText(CodecError::BadRecord));
    }
    out.nRecordsLength = nRecords;
    out.nCmpLength = nCmpLength;
    return true;
}
