#pragma once
// What the "Frame Comparison" dialog decides, without any toolkit: the frame
// count it shows, the frame edit's first text, the spin range, and what one
// press of Compare computes and shows. The dialog window only displays these
// texts and forwards the edit's text and the spin clicks; messages go through
// Prompts().
//
// Typical use by a dialog:
//   auto pLogic = BeginCompare(doc, bSingleFrame);  // nullptr: no comparison file
//   pLogic->OnInitDialog();
//   edit1043 = pLogic->TotalFramesText(); edit1032 = pLogic->InitialFrameText();
//   spin range = 1 .. pLogic->SpinMaximum();
//   on spin:    edit1032 = pLogic->OnSpinStep(edit1032, +1 or -1);
//   on Compare: disable the button, pLogic->OnCompare(edit1032), then show
//               RmseText(), PsnrText() and enable the button if IsCompareEnabled().

#include <cstdint>
#include <memory>
#include <string>

class CTavroDoc;

class CCompareLogic {
public:
    // pQcfData: the document's frames (not owned), at least nFrames * 38016 bytes.
    // nFrames: the document's frame count; nCompareFrames: whole frames of the
    // comparison file at strComparePath. bSingleFrame: Compare Frames (true) or
    // Compare Streams (false).
    CCompareLogic(const uint8_t* pQcfData, uint32_t nFrames, uint32_t nCompareFrames,
                  std::string strComparePath, bool bSingleFrame);

    // Lowers the frame count to the comparison file's and decides the first texts.
    void OnInitDialog();

    // "Total Frames" text ("%d" of the frames compared).
    std::string TotalFramesText() const;
    // The frame edit's first text: "1", or "All" for a stream comparison.
    const std::string& InitialFrameText() const { return m_strInitialFrame; }
    // Spin range 1 .. SpinMaximum() (the low 16 bits of the frame count).
    uint16_t SpinMaximum() const { return uint16_t(m_nFrames); }

    // Position the spin control holds for this edit text: the number when it is a
    // frame in range, otherwise the last valid position (1 at first).
    uint16_t SpinPosition(const std::string& strEditText);
    // A spin click of nDelta steps; returns the new edit text. Stops at the range
    // ends, where the text is returned unchanged.
    std::string OnSpinStep(const std::string& strEditText, int nDelta);

    // One press of Compare with the frame edit's text: "All" compares the whole
    // stream, anything else the spin's frame. The comparison file is read one
    // frame at a time. On success the result texts change and Compare is enabled
    // again; on a failure a message may be shown, the results keep their text and
    // Compare stays disabled.
    void OnCompare(const std::string& strEditText);

    const std::string& RmseText() const { return m_strRmse; }  // edit 1038
    const std::string& PsnrText() const { return m_strPsnr; }  // edit 1040
    bool IsCompareEnabled() const { return m_bCompareEnabled; }
    uint32_t GetFrames() const { return m_nFrames; }

private:
    const uint8_t* m_pQcfData;
    uint32_t m_nFrames;
    uint8_t* m_pCompareQcfData = nullptr;  // one comparison frame, only during a press
    uint32_t m_nCompareFrames;
    std::string m_strComparePath;
    bool m_bSingleFrame;

    uint16_t m_nSpinPos = 1;
    std::string m_strInitialFrame;
    std::string m_strRmse;
    std::string m_strPsnr;
    bool m_bCompareEnabled = true;
};

// The first steps of Compare Frames and Compare Streams: without an accepted
// comparison file the user chooses one (Change Compare File); returns nullptr when
// none is accepted. Otherwise the logic for a dialog on the document's raw frames.
// The document must stay alive and unchanged while the logic is used.
std::unique_ptr<CCompareLogic> BeginCompare(CTavroDoc& doc, bool bSingleFrame);
