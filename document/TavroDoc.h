#pragma once
// The application's single document: at most one stream in memory (raw QCIF
// frames or a compressed stream), its coding parameters, a one-letter state,
// and the choice of a comparison file.
//
// Buffers are malloc'd; which one the document owns depends on m_cState:
//   'd' empty, nothing owned
//   'i' raw stream loaded from a .qcf file          owns m_pQcfData
//       (or imported from a clip of another kind)
//   'n' compressed stream loaded from a .cmp file   owns m_pCmpData
//   's' compressed stream computed from raw frames  owns m_pCmpData
//   'x' raw stream extracted from compressed data   owns m_pQcfData

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "io/QcifFormat.h"

class IDocumentDialogs;

// One line of the status summary, at (x, y) in the view's pixels.
struct CSummaryLine {
    int x;
    int y;
    std::string strText;
    bool operator==(const CSummaryLine&) const = default;
};
// The summary's font: Arial (Swiss family), normal weight, with a cell height
// (ascent + descent, not the em) of this many pixels.
constexpr const char* SUMMARY_FONT_FACE = "Arial";
constexpr int SUMMARY_FONT_HEIGHT = 20;

class CTavroDoc {
public:
    CTavroDoc();
    // Releases whatever buffer the state owns, as DeleteContents does.
    ~CTavroDoc();
    CTavroDoc(const CTavroDoc&) = delete;
    CTavroDoc& operator=(const CTavroDoc&) = delete;

    // Releases the owned buffer, state 'd', counts 0, parameters 1. The
    // comparison-file members are kept.
    void DeleteContents();

    // Reads a .qcf or .cmp file (type by the name's last three letters, any case).
    // True when the document now holds a stream of at least one frame.
    //  - A file that cannot be opened: "Error" message naming it, document unchanged.
    //  - Otherwise the document is emptied first, whatever follows.
    //  - Unknown type: "Unknown File Type.", document empty.
    //  - Fewer than one whole frame (.qcf under 38016 bytes, .cmp frame count 0):
    //    false without a message; the buffer stays owned in state 'i' or 'n'.
    //  - A .cmp shorter than its header or longer than 4 GiB (its length would not
    //    fit m_nCmpLength): false without a message, document empty.
    //  - No memory for the buffer: "Fatal Error" message, then EndProcess(1).
    // On success the path name and the title (file name) are set; an open that
    // emptied the document and then failed clears them.
    bool OnOpenDocument(const std::string& strPath);

    // Holds nFrames (at least 1) raw frames read from a file of another kind
    // (File > Import Video..., see ClipImport.h) as if a .qcf of them had been
    // opened: the old contents are released, pFrames (malloc'd, nFrames whole
    // frames) becomes m_pQcfData in state 'i', not modified, strPath names the
    // document and gives its title; the views are asked to redraw. The
    // comparison file stays.
    void TakeRawStream(uint8_t* pFrames, int32_t nFrames, const std::string& strPath);

    // Empties the document when it holds a stream of no whole frame, as a failed
    // open leaves it, so that no command is offered on an empty stream. The
    // desktop's open paths call it after a failed open; a document holding
    // frames is left alone. True when it emptied the document.
    bool DiscardEmptyStream();

    // Save Output: asks for a file name (save chooser) and writes the held stream.
    // Returns true when a file was written, which also clears the modified flag;
    // false on Cancel, state 'd' or failure (after an "Error" message naming the
    // file). The stream never changes.
    bool OnSaveOutput();

    // Whether the document holds the result of a run that has not been saved:
    // set by an accepted compression or decompression, cleared by Save Output
    // and whenever the contents are replaced or emptied. A file just opened is
    // never modified.
    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool bModified = true) { m_bModified = bModified; }

    // Called before anything discards the contents (another file opened, the
    // program closed). With an unsaved result it asks "Save Output...",
    // "Discard" or "Cancel". True when the caller may go on: nothing unsaved,
    // the result was saved, or the user discards it. False on Cancel, and when
    // the save was cancelled or failed; the document is then unchanged.
    bool SaveModified();

    // Asks the views to redraw (the desktop's view registers its redraw here;
    // without one nothing happens).
    void SetViewUpdate(std::function<void()> fnUpdate) { m_fnUpdateViews = std::move(fnUpdate); }
    void UpdateAllViews() const {
        if (m_fnUpdateViews) {
            m_fnUpdateViews();
        }
    }

    // Process > Compress, only in states 'i' and 'x': asks for frames, threshold
    // and quantiser, runs the compression and on an accepted run holds the
    // compressed stream alone (state 's'). The chosen values stay even when the
    // run is cancelled. A run that fails is reported and changes nothing else.
    void Compress(IDocumentDialogs& dialogs);
    // Process > Decompress, only in states 'n' and 's': rebuilds the frames into
    // a new raw buffer and on an accepted run holds it alone (state 'x'). A
    // rejected or failed run keeps the compressed stream. No memory for the
    // frames: "Fatal Error" message, then EndProcess(1).
    void Decompress(IDocumentDialogs& dialogs);
    // Display > Play, only in states 'i' and 'x': shows the first m_nCodedFrames
    // frames (the count taken to 16 bits) in the viewer.
    void OnPlay(IDocumentDialogs& dialogs);

    // Enabling rules of the commands.
    // Compress, Play, Compare Frames and Compare Streams: a raw stream is held.
    bool OnUpdateRawStreamCommand() const { return m_cState == 'i' || m_cState == 'x'; }
    // Decompress: a compressed stream is held.
    bool OnUpdateDecompress() const { return m_cState == 'n' || m_cState == 's'; }
    bool OnUpdateSaveOutput() const { return m_cState != 'd'; }
    bool OnUpdateChangeCompareFile() const { return m_bCompareFile; }

    // The status summary the view draws (nothing in state 'd'): x = 5, the first
    // line at y = 25 and each next one 25 lower, in SUMMARY_FONT_FACE.
    std::vector<CSummaryLine> SummaryLines() const;

    // Statistics > Change Compare File: lets the user choose a .qcf reference.
    // Returns 1 when a file was accepted, after asking the views to redraw the
    // summary; 0 on Cancel or a rejected file (the last accepted file stays).
    int OnChangeCompareFile();

    // Path of the file last opened and the title derived from it (its file
    // name, shown in the caption); empty for a new document.
    const std::string& GetPathName() const { return m_strPathName; }
    const std::string& GetTitle() const { return m_strTitle; }

    // Bytes that hold whole frames of the raw stream (states 'i' and 'x').
    uint64_t RawStreamBytes() const { return uint64_t(m_nStreamFrames) * QCIF_FRAME_BYTES; }

    // Every stream buffer of the document is obtained through this function and
    // released with free(). Tests install one that fails to reach the
    // out-of-memory paths. nullptr restores malloc; returns the previous one.
    using AllocateFn = void* (*)(size_t);
    static AllocateFn SetAllocator(AllocateFn pfn);
    static void* Allocate(size_t nBytes);

    uint8_t* m_pQcfData = nullptr;  // raw stream; owned in states 'i' and 'x'
    int32_t m_nStreamFrames = 0;    // frames as loaded / decoded
    uint8_t* m_pCmpData = nullptr;  // compressed stream incl. header; owned in 'n' and 's'
    uint32_t m_nCmpLength = 0;      // byte length of m_pCmpData
    int32_t m_nCodedFrames = 0;     // frame count of the compressed stream
    uint32_t m_nThreshold = 1;      // 1..255
    uint32_t m_nQuantiser = 1;      // 1..255
    char m_cState = 'd';

    bool m_bCompareFile = false;    // a comparison file has been accepted
    std::string m_strComparePath;   // full path of the comparison file
    std::string m_strCompareName;   // its name without the folder
    uint16_t m_nCompareFrames = 0;  // whole frames in the comparison file

protected:
    std::string m_strPathName;
    std::string m_strTitle;
    bool m_bModified = false;
    std::function<void()> m_fnUpdateViews;
};
