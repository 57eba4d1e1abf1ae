// Writes the seed inputs of the decompression, document and comparison fuzz
// targets into <corpus>/<target>/: the built-in sample clip compressed at a few
// parameter sets, a flat clip, short texts and raw frames. The seeds are
// committed; run this again only when the stream format changes.
//
//   make_fuzz_seeds tests/fuzz/corpus

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "codec/CodecRun.h"
#include "io/QcifFormat.h"
#include "stream/SampleClip.h"
#include "stream/Y4m.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

Bytes SampleFrames(uint32_t nFrames) {
    Bytes clip;
    if (!RenderSampleClip(nFrames, clip)) {
        std::fprintf(stderr, "make_fuzz_seeds: out of memory\n");
        std::exit(1);
    }
    return clip;
}

Bytes Compress(const Bytes& clip, uint32_t nFrames, uint8_t t, uint8_t q) {
    Bytes cmp;
    if (const CodecError nError = CompressFrames(clip.data(), {nFrames, t, q}, cmp);
        nError != CodecError::None) {
        std::fprintf(stderr, "make_fuzz_seeds: compression failed: %s\n", CodecErrorText(nError));
        std::exit(1);
    }
    return cmp;
}

void Write(const fs::path& dir, const std::string& strName, const Bytes& bytes) {
    fs::create_directories(dir);
    FILE* f = std::fopen((dir / strName).c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
        std::fclose(f) != 0) {
        std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", (dir / strName).c_str());
        std::exit(1);
    }
}

Bytes Prefixed(uint8_t byFirst, const Bytes& rest) {
    Bytes b{byFirst};
    b.insert(b.end(), rest.begin(), rest.end());
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds <corpus folder>\n");
        return 2;
    }
    const fs::path root = argv[1];
    const Bytes sample = SampleFrames(3);

    // Compressed streams: coarse settings keep the seeds small, a fine one
    // reaches the large indices, a flat clip the longest zero runs.
    struct Set {
        const char* name;
        uint32_t frames;
        uint8_t t, q;
    } const sets[] = {{"sample1_t10_q16", 1, 10, 16},
                      {"sample2_t40_q60", 2, 40, 60},
                      {"sample3_t100_q100", 3, 100, 100},
                      {"sample2_t255_q255", 2, 255, 255},
                      {"sample1_t2_q4", 1, 2, 4}};
    std::vector<Bytes> streams;
    for (const auto& s : sets) {
        streams.push_back(Compress(sample, s.frames, s.t, s.q));
        Write(root / "fuzz_decompress", s.name, streams.back());
        Write(root / "fuzz_document_open", std::string("cmp_") + s.name,
              Prefixed(1, streams.back()));
    }
    const Bytes flat = Compress(Bytes(2 * QCIF_FRAME_BYTES, 128), 2, 10, 16);
    Write(root / "fuzz_decompress", "flat2", flat);
    Write(root / "fuzz_document_open", "cmp_flat2_upper", Prefixed(2, flat));

    // Raw streams and files of other types for the document.
    Bytes raw(sample.begin(), sample.begin() + QCIF_FRAME_BYTES + 100);
    Write(root / "fuzz_document_open", "qcf_one_frame_and_tail", Prefixed(0, raw));
    Write(root / "fuzz_document_open", "qcf_short_mixed_case", Prefixed(3, Bytes(100, 7)));
    const std::string text = "not a stream";
    Write(root / "fuzz_document_open", "yuv_text", Prefixed(4, Bytes(text.begin(), text.end())));
    Write(root / "fuzz_document_open", "cmp_header_only", Bytes{1, 2, 0, 10, 16});

    // Comparisons: document frames, tail, reference frames, tail, mode, shift,
    // the frame edit's text, a zero, then the sample pattern.
    auto compare = [&](std::vector<uint8_t> head, const std::string& strEdit) {
        Bytes b = std::move(head);
        b.insert(b.end(), strEdit.begin(), strEdit.end());
        b.push_back(0);
        b.insert(b.end(), sample.begin() + 5000, sample.begin() + 5400);
        return b;
    };
    Write(root / "fuzz_compare_streams", "single_equal", compare({2, 0, 2, 0, 0, 0}, "1"));
    Write(root / "fuzz_compare_streams", "single_differs", compare({3, 0, 2, 9, 0, 3}, "2"));
    Write(root / "fuzz_compare_streams", "all_spin", compare({3, 1, 3, 0, 5, 1}, "All"));
    Write(root / "fuzz_compare_streams", "all_shrinks", compare({2, 0, 3, 0, 3, 7}, "All"));
    Write(root / "fuzz_compare_streams", "no_reference", compare({1, 0, 0, 200, 0, 0}, "1"));
    Write(root / "fuzz_compare_streams", "text_edit", compare({2, 0, 1, 0, 17, 2}, "65535x"));

    // YUV4MPEG2 streams: whole, cut inside a frame and inside a FRAME line,
    // the forms of the header ffmpeg and others write, and ones refused.
    Bytes y4m;
    AppendY4mStream(sample.data(), 2, y4m);
    Write(root / "fuzz_y4m_header", "two_frames", y4m);
    Write(root / "fuzz_y4m_header", "cut_in_frame", Bytes(y4m.begin(), y4m.end() - 5000));
    Write(
        root / "fuzz_y4m_header", "cut_in_line",
        Bytes(y4m.begin(), y4m.begin() + long(Y4mQcifHeader().size() + 6 + QCIF_FRAME_BYTES + 3)));
    auto lines = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    Write(root / "fuzz_y4m_header", "tagged_c420p",
          lines("YUV4MPEG2 W176 H144 F30000:1001 It A1:1 C420p XYSCSS=420P\nFRAME Ixyz\n"));
    Write(root / "fuzz_y4m_header", "cif_10bit", lines("YUV4MPEG2 W352 H288 C420p10\nFRAME\n"));
    Write(root / "fuzz_y4m_header", "crlf", lines("YUV4MPEG2 W176 H144 C420jpeg\r\nFRAME\r\n"));
    return 0;
}
