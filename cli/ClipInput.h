#pragma once
// The clips tavro-cli commands read, and the frame choice they share.
//
// Any command that reads a raw stream takes any clip:
//   .qcf .yuv -   raw QCIF (176x144 4:2:0, 38016 bytes a frame; "-" is stdin)
//   .y4m          YUV4MPEG2, 176x144 4:2:0 8-bit
//   .cmp          a compressed stream, decoded frame by frame as it is read
//   other names   any video FFmpeg reads, scaled to 176x144 4:2:0 (bicubic)
// and reads it one frame at a time.

#include <CLI/CLI.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codec/CodecContext.h"
#include "io/File.h"
#include "io/QcifFormat.h"
#include "lzari/Lzari.h"
#include "stream/FrameSource.h"
#include "stream/FrameWriter.h"

// One line for --help: the input kinds above.
extern const char* const CLIP_INPUT_HELP;
// One line for --help: the raw clips a command writes.
extern const char* const CLIP_OUTPUT_HELP;

// Opens a clip of any kind. nullptr with *pError set (naming the input).
std::unique_ptr<IFrameSource> OpenClip(const std::string& strPath, std::string* pError);

// A compressed stream file read as its decoder asks for it, a chunk at a time.
// Open reads the header and the stated length and makes the checks a decoder
// makes before it allocates anything (header, stated length against the frame
// count and the file's size); false with *pError naming the file. The code
// after the header is then read on, never past the size the file had when it
// was opened; a file that ends sooner, or fails to read, is noted. A pipe is
// read as it comes, to its end (its length is unknown up front, so Length()
// is then 4 GiB - 1 and the stated length is checked against the frame count
// alone).
class CCmpFile : public ILzariCodeSource {
public:
    bool Open(const std::string& strPath, std::string* pError);
    uint32_t ReadCode(uint8_t* pDst, uint32_t nMax) override;

    const SCmpHeader& Header() const { return m_header; }
    const uint8_t* HeaderBytes() const { return m_abyHead; }
    uint32_t Length() const { return m_nLength; }
    // After the decoding: why the file did not give all its bytes (it was cut
    // short or could not be read), or "" when it did or was not read to its end.
    const std::string& ReadError() const { return m_strReadError; }

private:
    CFile m_file;
    std::string m_strPath;
    SCmpHeader m_header;
    uint8_t m_abyHead[8] = {};
    uint32_t m_nLength = 0;
    uint32_t m_nPos = 0;       // stream offset of the next byte read
    bool m_bPipe = false;      // no size up front
    uint32_t m_nHeadLeft = 0;  // code bytes read with the header, not yet handed out
    std::string m_strReadError;
};
// A compressed stream's fault in words, naming the file, and the frame (from
// 1) whose record is at fault unless nFrame is 0.
std::string CmpFailureText(const std::string& strPath, CodecError nError, uint32_t nFrame);

// Reads up to nMax frames of a source into an unnamed temporary file (in
// $TMPDIR, else /tmp) and returns them as a source that knows its frame count:
// for inputs that cannot say how long they are (pipes, y4m, video) before a
// compressed stream's header is written. *pbMore tells whether the source had
// further frames. Shows a frame count on a terminal; stops at an interrupt.
// nullptr with *pError set on failure; the file goes with the source.
std::unique_ptr<IFrameSource> SpoolFrames(IFrameSource& source, uint64_t nMax, bool* pbMore,
                                          std::string* pError);

// -n/--frames (a count, or a range A-B or A- in frame numbers from 1) and
// --start (the first frame, from 1).
struct SFrameChoice {
    std::string strFrames;
    uint64_t nStart = 0;  // 0: not given
    // The choice as first frame (1-based) and count (0: to the end). False with
    // *pError naming the option when the text is not a count or a range, or
    // when --start comes with a range.
    bool Resolve(uint64_t& nFirst, uint64_t& nCount, std::string* pError) const;
};
void AddFrameChoice(CLI::App* pApp, SFrameChoice& choice, const std::string& strWhat);

// An option whose value must lie in nMin..nMax (nMax 0: no upper bound), with
// the range and the default in the help in words ("1 to 255, default 10")
// instead of the parser's type names.
CLI::Validator RangeInWords(int64_t nMin, int64_t nMax);

template <class T>
CLI::Option* AddRanged(CLI::App* pApp, const std::string& strName, T& value, int64_t nMin,
                       int64_t nMax, const std::string& strHelp,
                       const std::string& strDefault = "") {
    std::string strRange = nMax ? std::to_string(nMin) + " to " + std::to_string(nMax)
                                : "from " + std::to_string(nMin);
    if (!strDefault.empty()) {
        strRange += ", default " + strDefault;
    }
    return pApp->add_option(strName, value, strHelp + " (" + strRange + ")")
        ->type_name("N")
        ->check(RangeInWords(nMin, nMax));
}

// The format a clip is written in: by its name, and raw QCIF for a pipe or
// device of any name ("-" is stdout). Unknown for any other name.
EFrameFormat OutputFrameFormat(const std::string& strPath);
// Why a name is refused as a raw output, for the message.
extern const char* const CLIP_OUTPUT_NAMES;

// Reads up to nMax frames of a source, appended to out (the codec's input).
// *pbMore tells whether the source holds further frames. False with *pError
// when reading fails.
bool ReadFrames(IFrameSource& source, uint64_t nMax, std::vector<uint8_t>& out, bool* pbMore,
                std::string* pError);
