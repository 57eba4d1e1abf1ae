#pragma once
// Clips and codec runs shared by the tests: synthetic, sample and real clips,
// compression and decompression through the codec's front door, and the record
// stream inside a compressed stream.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/CodecContext.h"

using Bytes = std::vector<uint8_t>;

constexpr uint32_t FRAME_BYTES = 38016;

// A sink that takes at most nRoom bytes (a disk that fills up).
struct CByteSink : ILzariSink {
    Bytes bytes;
    size_t nRoom = SIZE_MAX;
    int nAppends = 0;
    explicit CByteSink(Bytes prefix = {}, size_t nRoomBytes = SIZE_MAX)
        : bytes(std::move(prefix)), nRoom(nRoomBytes) {}
    bool Append(const uint8_t* p, uint32_t n) override {
        ++nAppends;
        if (bytes.size() + n > nRoom) {
            return false;
        }
        bytes.insert(bytes.end(), p, p + n);
        return true;
    }
    uint64_t Length() const override { return bytes.size(); }
    bool Overwrite(uint64_t nAt, const uint8_t* p, uint32_t n) override {
        EXPECT_LE(nAt + n, bytes.size());
        std::copy(p, p + n, bytes.begin() + static_cast<ptrdiff_t>(nAt));
        return true;
    }
};

// A textured scene panning slowly, with a moving block; `scene` picks one of
// several unrelated scenes (for hard cuts).
Bytes SyntheticClip(uint32_t nFrames, uint32_t nScene = 0);
// The first nFrames frames of a real clip, or empty when it is not there.
Bytes RealClip(const std::string& strName, uint32_t nFrames);
// The first nFrames frames of the built-in sample clip.
Bytes SampleClip(uint32_t nFrames);

// Peak signal-to-noise ratio of one frame (all planes) in dB; 99 when equal.
double FramePsnr(const uint8_t* a, const uint8_t* b);

struct CodedStream {
    bool bResult = false;
    CodecError nError = CodecError::None;
    Bytes cmp;
};
// CompressFrames on the first nFrames frames of clip.
CodedStream Compress(const Bytes& clip, uint32_t nFrames, uint8_t t, uint8_t q,
                     uint32_t nThreads = 1);

struct DecodedStream {
    bool bResult = false;
    CodecError nError = CodecError::None;
    Bytes qcf;
};
// DecompressFrames with the frame count and parameters given (not the header's);
// also checks that the input stays untouched.
DecodedStream Decompress(const Bytes& cmp, uint32_t nFrames, uint8_t t, uint8_t q,
                         uint32_t nThreads = 1);

// The record stream inside a compressed stream (the LZARI layer undone).
Bytes RecordStream(const Bytes& cmp);
// The records of a record stream, each as its coded bytes expanded.
std::vector<Bytes> ExpandRecords(const Bytes& records, uint32_t nFrames);
