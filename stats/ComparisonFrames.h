#pragma once
// What the comparison view shows of a document: frame k of its raw stream beside
// frame k of its comparison file, with that frame's loss figures, one frame at a
// time (a stream of 65535 frames opens at once).
//
// The frames are copied when loaded, so a loaded frame stays valid whatever the
// document does afterwards; the document and the comparison file are read again
// on every load, so a load never reaches a buffer the document has let go. The
// frames compared are those the comparison dialog offers: the document's raw
// frames (states 'i' and 'x'), never past its buffer, and no more than the
// comparison file holds.

#include <cstdint>
#include <string>
#include <vector>

#include "stats/PerFrameSeries.h"

class CTavroDoc;

class CComparisonFrames {
public:
    // The document must outlive this object.
    explicit CComparisonFrames(const CTavroDoc& doc);

    // Takes the document's present stream, comparison file and parameters; true
    // when they differ from those taken last (the first call is always true).
    bool Sync();
    // Frames that can be loaded as of the last Sync; 0 when nothing can be compared.
    uint32_t Count() const { return m_nCount; }

    // Loads 1-based frame nFrame of the stream and of the comparison file and
    // works out its figures. False with a message in *pError when the frame is
    // out of range now, the document holds no raw stream or comparison file, or
    // the comparison file cannot be opened or ends before the frame (it may have
    // changed on disk); the frame loaded before stays.
    bool Load(uint32_t nFrame, std::string* pError);

    uint32_t Frame() const { return m_nFrame; }  // loaded frame, 0 before the first load
    const uint8_t* Stream() const { return m_stream.data(); }
    const uint8_t* Reference() const { return m_reference.data(); }
    // The loaded frame's figures: whole frame as Compare Frames shows them
    // (CompareFrame), planes as the per-frame chart (ComparePlanes).
    const SPerFrameRow& Figures() const { return m_figures; }

    // Names as of the last Sync: the document's title ("Untitled" without a
    // file), the comparison file's name, and "T=10 Q=16" when the frames were
    // decompressed (their coding parameters are known), else empty.
    const std::string& StreamName() const { return m_strStream; }
    const std::string& ReferenceName() const { return m_strReference; }
    const std::string& Parameters() const { return m_strParameters; }

private:
    struct SState {
        char cState = 'd';
        const uint8_t* pData = nullptr;
        uint32_t nCount = 0;
        std::string strComparePath, strTitle;
        uint32_t nThreshold = 0, nQuantiser = 0;
        bool operator==(const SState&) const = default;
    };
    SState Current() const;

    const CTavroDoc& m_doc;
    SState m_state;
    bool m_bSynced = false;
    uint32_t m_nCount = 0;
    std::string m_strStream, m_strReference, m_strParameters;

    uint32_t m_nFrame = 0;
    std::vector<uint8_t> m_stream, m_reference;
    SPerFrameRow m_figures;
};

// The frames of a document the comparison dialog and the chart offer: its raw
// frames, never past its buffer, and no more than its comparison file holds;
// 0 without a raw stream or an accepted comparison file.
uint32_t ComparableFrames(const CTavroDoc& doc);

// "foreman.cmp (T=10 Q=16)" or "clip.qcf": what a chart or a picture is of.
std::string DescribeStream(const CTavroDoc& doc);

// The figures of one frame for a status line: "RMSE 4.31  PSNR 35.44 dB | Y ..."
// with the whole frame as the comparison dialog shows it ("Match" when identical)
// and each plane's RMSE and PSNR ("identical" for a plane without differences).
std::string FiguresText(const SPerFrameRow& row);

// What lies under the pointer at pixel (x, y): position, Y/U/V of the reference,
// of the stream and their difference (stream - reference).
std::string PixelReadoutText(const uint8_t* pStream, const uint8_t* pRef, int x, int y);

// A file name for a picture of frame nFrame: "<stream>_f050_<part>.png" from the
// stream's name without folder and extension, the frame with at least three
// digits (as many as nFrames needs), e.g. "foreman_f050_diff.png".
std::string SuggestPictureName(const std::string& strStream, uint32_t nFrame, uint32_t nFrames,
                               const std::string& strPart);
// The stream's name without folder and extension ("untitled" when empty), for
// suggested file names.
std::string FileStem(const std::string& strName);
