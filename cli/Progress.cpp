#include "cli/Progress.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "cli/CliSupport.h"

CProgressLine::CProgressLine(std::string strLabel, uint64_t nTotal)
    : m_strLabel(std::move(strLabel)), m_nTotal(nTotal), m_bShown(!CliQuiet() && ::isatty(2)) {}

CProgressLine::~CProgressLine() {
    if (m_bShown && m_nLastDrawMs >= 0) {
        std::fprintf(stderr, "\r%70s\r", "");
        std::fflush(stderr);
    }
}

void CProgressLine::Show(uint64_t nDone) {
    if (!m_bShown) {
        return;
    }
    const int64_t nNow = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count();
    if (nNow - m_nLastDrawMs < 100 && nDone != m_nTotal) {
        return;
    }
    m_nLastDrawMs = nNow;
    if (m_nTotal == 0) {
        std::fprintf(stderr, "\r%-10s %llu frames", m_strLabel.c_str(),
                     static_cast<unsigned long long>(nDone));
    } else {
        constexpr int kWidth = 30;
        const int nFill = int(nDone * kWidth / m_nTotal);
        char bar[kWidth + 1];
        for (int i = 0; i < kWidth; ++i) {
            bar[i] = i < nFill ? '#' : '.';
        }
        bar[kWidth] = '\0';
        std::fprintf(stderr, "\r%-10s [%s] %3d%%", m_strLabel.c_str(), bar,
                     int(nDone * 100 / m_nTotal));
    }
    std::fflush(stderr);
}
