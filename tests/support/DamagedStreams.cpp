#include "support/DamagedStreams.h"

#include <cstring>

#include "codec/ZeroRun.h"
#include "io/QcifFormat.h"

namespace {

void PutLe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// One zero-run record of n bytes of value v.
Bytes Record(uint32_t n, uint8_t v = 1) {
    const Bytes input(n, v);
    CMemFile out;
    EncodeZeroRuns(out, input.data(), n);
    return Bytes(out.GetBuffer(), out.GetBuffer() + out.GetLength());
}

// A record with a length field and raw coded bytes.
Bytes RawRecord(const Bytes& coded, uint32_t nStatedLength) {
    Bytes r(4);
    PutLe32(r, 0, nStatedLength);
    r.insert(r.end(), coded.begin(), coded.end());
    return r;
}

Bytes WithFrames(Bytes b, uint16_t n) {
    b[0] = uint8_t(n);
    b[1] = uint8_t(n >> 8);
    return b;
}

std::vector<DamagedStream> Build() {
    using E = CodecError;
    const Bytes& good = DamageBaseStream();
    std::vector<DamagedStream> cases;
    cases.push_back({"valid", good, Damage::Frames, {}});

    // The coder may finish from the bytes it reads ahead as zeros, so a cut in
    // the last two bytes can still decode; anything shorter cannot.
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<E> errors;
        if (n > 0 && n < CMP_HEADER_BYTES) {
            errors = {E::Truncated};
        } else if (n == CMP_HEADER_BYTES) {
            errors = {E::NoRecordData};
        }
        cases.push_back({"cut at " + std::to_string(n), Bytes(good.begin(), good.begin() + n),
                         n + 2 < good.size() ? Damage::Failed : Damage::Either, errors});
    }
    // Most flips of the coded data are caught; the rest decode to other pictures.
    const size_t nFlipEnd = std::min<size_t>(good.size(), CMP_HEADER_BYTES + 256);
    for (size_t i = 0; i < nFlipEnd; ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes bad = good;
            bad[i] ^= static_cast<uint8_t>(1u << bit);
            cases.push_back({"byte " + std::to_string(i) + " bit " + std::to_string(bit),
                             bad,
                             Damage::Either,
                             {},
                             i >= CMP_HEADER_BYTES + 4});
        }
    }

    uint32_t nTrue;
    std::memcpy(&nTrue, &good[CMP_HEADER_BYTES], 4);  // little-endian host, as the build requires
    auto withLength = [&](uint32_t n) {
        Bytes b = good;
        PutLe32(b, CMP_HEADER_BYTES, n);
        return b;
    };
    auto withByte = [&](size_t at, uint8_t v) {
        Bytes b = good;
        b[at] = v;
        return b;
    };
    const Bytes twoFrames = Compress(SyntheticClip(2), 2, 10, 16).cmp;
    Bytes huge = twoFrames;
    PutLe32(huge, CMP_HEADER_BYTES, MaxRecordStreamLength(2) + 1);
    const Bytes first = Record(2 * QCIF_FRAME_BYTES), later = Record(QCIF_FRAME_BYTES);
    // A zero whose run count (255 bytes) runs on past three bytes a frame byte,
    // then what follows it (in a stream of 3 frames, which has room for it).
    auto longCount = [](Bytes tail) {
        Bytes coded(1 + 3 * QCIF_FRAME_BYTES, 255);
        coded[0] = 0;
        coded.insert(coded.end(), tail.begin(), tail.end());
        return coded;
    };
    const std::vector<DamagedStream> fields = {
        {"length 0", withLength(0), Damage::Failed, {}},
        {"length 1", withLength(1), Damage::Failed, {}},
        {"length true-1", withLength(nTrue - 1), Damage::Failed, {}},
        {"length true+1", withLength(nTrue + 1), Damage::Failed, {}},
        {"length 0xFFFFFFFF", withLength(0xFFFFFFFF), Damage::Failed, {E::ImpossibleSize}},
        {"frames 0", WithFrames(good, 0), Damage::Failed, {E::BadParameters}},
        {"frames 1", WithFrames(good, 1), Damage::Frames, {}},
        {"frames true+1", WithFrames(good, DAMAGE_BASE_FRAMES + 1), Damage::Failed, {}},
        {"frames 65535", WithFrames(good, 65535), Damage::Failed, {}},
        {"threshold 0", withByte(2, 0), Damage::Failed, {E::BadParameters}},
        {"quantiser 0", withByte(3, 0), Damage::Failed, {E::BadParameters}},
        // Hand-built record streams, two frames at threshold 10, quantiser 16.
        {"empty record stream", StreamOf({}, 2), Damage::Failed, {E::NoRecordData}},
        {"impossible length", huge, Damage::Failed, {E::ImpossibleSize}},
        {"cut in half",
         Bytes(twoFrames.begin(), twoFrames.begin() + twoFrames.size() / 2),
         Damage::Failed,
         {E::Truncated, E::Corrupt}},
        {"more frames than records", WithFrames(twoFrames, 3), Damage::Failed, {E::MissingFrames}},
        {"well-formed records", StreamOf({first, later}, 2), Damage::Frames, {}},
        {"first record too short", StreamOf({later, later}, 2), Damage::Failed, {E::BadRecord}},
        {"later record too long",
         StreamOf({first, Record(QCIF_FRAME_BYTES + 1)}, 2),
         Damage::Failed,
         {E::BadRecord}},
        {"later record too short",
         StreamOf({first, Record(QCIF_FRAME_BYTES - 1)}, 2),
         Damage::Failed,
         {E::BadRecord}},
        {"record cut short",
         StreamOf({first, RawRecord({1, 2, 3}, 10)}, 2),
         Damage::Failed,
         {E::MissingFrames}},
        {"record ends inside a run count",
         StreamOf({first, RawRecord({1, 0}, 2)}, 2),
         Damage::Failed,
         {E::BadRecord}},
        {"record ends on a 255 count",
         StreamOf({first, RawRecord({0, 255}, 2)}, 2),
         Damage::Failed,
         {E::BadRecord}},
        {"record stating 4 GiB",
         StreamOf({first, RawRecord({1, 2, 3}, 0xFFFFFFF0)}, 2),
         Damage::Failed,
         {E::MissingFrames}},
        {"long run count, record ends inside it",
         StreamOf({first, RawRecord(longCount({}), 1 + 3 * QCIF_FRAME_BYTES)}, 3),
         Damage::Failed,
         {E::BadRecord}},
        {"long run count, stream ends inside it",
         StreamOf({first, RawRecord(longCount({}), 0x7FFFFFFF)}, 3),
         Damage::Failed,
         {E::MissingFrames}},
        {"long run count ending inside the record",
         StreamOf({first, RawRecord(longCount({7, 1}), 3 + 3 * QCIF_FRAME_BYTES)}, 3),
         Damage::Failed,
         {E::BadRecord}},
    };
    cases.insert(cases.end(), fields.begin(), fields.end());

    // Two frames whose coefficients are all zero: the shortest records there
    // are, in the shortest stream that can hold them.
    CMemFile records;
    const Bytes zeros(2 * QCIF_FRAME_BYTES, 0);
    EncodeZeroRuns(records, zeros.data(), 2 * QCIF_FRAME_BYTES);
    EncodeZeroRuns(records, zeros.data(), QCIF_FRAME_BYTES);
    const Bytes shortest =
        StreamOf({Bytes(records.GetBuffer(), records.GetBuffer() + records.GetLength())}, 2);
    for (uint16_t n : {2, 1, 3, 65535}) {
        cases.push_back({"shortest stream, " + std::to_string(n) + " frames",
                         WithFrames(shortest, n),
                         n <= 2 ? Damage::Frames : Damage::Failed,
                         {}});
    }
    // Twelve bytes claiming 65535 frames with a stated length that would fit
    // them: four bytes of code cannot deliver it, which is seen before the
    // frames are allocated.
    Bytes tiny = {255, 255, 10, 16, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78};
    PutLe32(tiny, CMP_HEADER_BYTES, MinRecordStreamLength(65535));
    cases.push_back(
        {"shortest stream, 12 bytes for 65535 frames", tiny, Damage::Failed, {E::Truncated}});
    return cases;
}

}  // namespace

Bytes StreamOf(const std::vector<Bytes>& records, uint32_t nFrames) {
    Bytes plain;
    for (const auto& r : records) {
        plain.insert(plain.end(), r.begin(), r.end());
    }
    CMemFile out;
    const uint8_t header[CMP_HEADER_BYTES] = {uint8_t(nFrames), uint8_t(nFrames >> 8), 10, 16};
    out.Write(header, CMP_HEADER_BYTES);
    CLzariCoder coder;
    coder.LzariEncode(plain.data(), static_cast<uint32_t>(plain.size()), out);
    return Bytes(out.GetBuffer(), out.GetBuffer() + out.GetLength());
}

const Bytes& DamageBaseStream() {
    static const Bytes cmp = Compress(SampleClip(DAMAGE_BASE_FRAMES), DAMAGE_BASE_FRAMES,
                                      DAMAGE_BASE_PARAM, DAMAGE_BASE_PARAM)
                                 .cmp;
    return cmp;
}

const std::vector<DamagedStream>& DamagedStreams() {
    static const std::vector<DamagedStream> cases = Build();
    return cases;
}
