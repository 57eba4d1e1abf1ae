#pragma once
// Allocates the three coefficient frames of the working state for a test and
// releases them afterwards.

#include <cstdlib>

#include "codec/WorkingState.h"

struct CTestFrames {
    CTestFrames() {
        for (auto& p : g_pCoef) {
            p = static_cast<int16_t*>(std::calloc(COEF_FRAME_VALUES, sizeof(int16_t)));
        }
        g_bCurrent = 0;
    }
    ~CTestFrames() {
        for (auto& p : g_pCoef) {
            std::free(p);
            p = nullptr;
        }
    }
    CTestFrames(const CTestFrames&) = delete;
    CTestFrames& operator=(const CTestFrames&) = delete;
};
