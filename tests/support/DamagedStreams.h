#pragma once
// One table of damaged compressed streams, replayed by the codec, document and
// command-line suites, each with its own idea of a clean refusal.

#include <string>
#include <vector>

#include "support/CodecClips.h"

// The undamaged stream the table starts from: three sample frames, coarsely
// coded (a few hundred bytes), threshold and quantiser 100.
constexpr uint32_t DAMAGE_BASE_FRAMES = 3;
constexpr uint8_t DAMAGE_BASE_PARAM = 100;
const Bytes& DamageBaseStream();

// A compressed stream around the given records: header (nFrames, threshold 10,
// quantiser 16), then the records LZARI-coded.
Bytes StreamOf(const std::vector<Bytes>& records, uint32_t nFrames);

enum class Damage {
    Frames,  // still decodes, to exactly the frames its header declares
    Failed,  // refused with a reason
    Either,  // either way, as long as it is one of the two
};

struct DamagedStream {
    std::string strName;
    Bytes cmp;
    Damage want;
    std::vector<CodecError> errors;  // when refused, one of these (empty: any reason)
    bool bDeep = false;              // one of the many flips past the first payload bytes
};

// Every case, in a fixed order: truncations at every offset, each bit of the
// header and the first 256 payload bytes flipped, header fields set to edge
// values, hand-built record streams with one fault each, the shortest stream
// claiming more frames than it holds, twelve bytes claiming 65535 frames.
const std::vector<DamagedStream>& DamagedStreams();
