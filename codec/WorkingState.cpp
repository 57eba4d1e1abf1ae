#include "codec/WorkingState.h"

std::atomic<int32_t> g_nProgress{0};
int16_t* g_pCoef[3] = {nullptr, nullptr, nullptr};
uint8_t g_bCurrent = 0;
uint8_t g_nPlaneWidth = 0;
uint8_t g_nPlaneHeight = 0;
CMemFile* g_pCmpOut = nullptr;
CMemFile* g_pRecordsOut = nullptr;
CMemFile* g_pCmpIn = nullptr;
CMemFile* g_pRecordsIn = nullptr;
