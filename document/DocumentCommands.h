#pragma once
// What the document's Compress, Decompress and Play commands need from the
// desktop: the three modal dialogs. The desktop app shows real dialogs; tests
// use a fake that answers at once and runs the codec on the calling thread.

#include <cstdint>

class CCodecContext;

// Results of the modal dialogs, which are also the ids of their OK and Cancel
// buttons.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// The fields of the compression parameters dialog.
struct CParametersChoice {
    uint32_t m_nMaxFrames = 0;  // in: frames in the loaded raw stream (the slider's top)
    uint32_t m_nQuantiser = 1;  // in: preset; out: chosen, 1..100
    uint32_t m_nFrames = 1;     // out: frames to compress from the first, 1..m_nMaxFrames
    uint32_t m_nThreshold = 1;  // in: preset; out: chosen, 1..100
};

class IDocumentDialogs {
public:
    virtual ~IDocumentDialogs() = default;

    // Compression parameters. The dialog opens with the frame count at
    // m_nMaxFrames and the presets shown; on IDOK the chosen values are in the
    // fields. IDCANCEL: nothing is taken over.
    virtual int RunParameters(CParametersChoice& choice) = 0;

    // Processing: shows the run's parameters, and on Start runs context.Run()
    // (compression or decompression by m_bCompress) as a CCodecJob on a worker.
    // Returns IDOK when the worker has finished, IDCANCEL when the dialog was
    // closed before Start. bCancelled is set when the user asked to cancel at
    // any time; such a run is not accepted even if every frame was done.
    virtual int RunProcessing(CCodecContext& context, bool& bCancelled) = 0;

    // Viewer: plays nFrames raw frames from pFrames; the buffer stays the document's.
    // The count is passed whole: the viewer caps it at the most it can show,
    // which keeps a long stream playable instead of wrapping its count to 16 bits.
    virtual void RunViewer(const uint8_t* pFrames, uint32_t nFrames) = 0;
};
