#pragma once
// A progress line on stderr for work done frame by frame, drawn only when
// stderr is a terminal and messages are not quiet; cleared when it goes.

#include <cstdint>
#include <string>

class CProgressLine {
public:
    // nTotal 0: unknown, the line counts frames instead of a percentage.
    CProgressLine(std::string strLabel, uint64_t nTotal);
    ~CProgressLine();
    CProgressLine(const CProgressLine&) = delete;
    CProgressLine& operator=(const CProgressLine&) = delete;

    // nDone frames are done; redraws at most every 100 ms.
    void Show(uint64_t nDone);

private:
    std::string m_strLabel;
    uint64_t m_nTotal;
    bool m_bShown;
    int64_t m_nLastDrawMs = -1000;
};
