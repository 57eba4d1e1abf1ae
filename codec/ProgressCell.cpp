#include "codec/ProgressCell.h"

#include <algorithm>
#include <mutex>
#include <vector>

std::atomic<int32_t> g_nProgress{0};

namespace {

// Cells held by runs now; claims come once per run, so a short list will do.
std::mutex g_claimsMutex;
std::vector<const CProgressCell*> g_claims;

}  // namespace

bool ClaimProgressCell(const CProgressCell* pCell) {
    std::lock_guard lock(g_claimsMutex);
    if (std::find(g_claims.begin(), g_claims.end(), pCell) != g_claims.end()) {
        return false;
    }
    g_claims.push_back(pCell);
    return true;
}

void ReleaseProgressCell(const CProgressCell* pCell) {
    std::lock_guard lock(g_claimsMutex);
    g_claims.erase(std::remove(g_claims.begin(), g_claims.end(), pCell), g_claims.end());
}

bool ResetProgressCell(CProgressCell* pCell) {
    std::lock_guard lock(g_claimsMutex);
    if (std::find(g_claims.begin(), g_claims.end(), pCell) != g_claims.end()) {
        return false;
    }
    pCell->store(0);
    return true;
}
