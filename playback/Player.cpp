#include "playback/Player.h"

#include <algorithm>

#include "io/QcifFormat.h"

CPlayer::CPlayer(IPlayerHooks& hooks, const uint8_t* pFrames, uint32_t nStreamFrames)
    : m_hooks(hooks),
      m_pFrames(pFrames),
      // Capped, not cut to 16 bits: 65536 frames would otherwise play none.
      m_nFrames(uint16_t(std::min<uint32_t>(pFrames ? nStreamFrames : 0, 65535))) {}

void CPlayer::OnInitDialog() {
    m_nPlayState = IDLE;
    m_nStartFrame = 1;
    m_nCurrentFrame = 1;
    m_bLoop = false;
    m_hooks.ShowFrameCount(m_nFrames);
    m_hooks.ShowCurrentFrame(uint16_t(m_nStartFrame));
    m_hooks.SetSliderRange(1, m_nFrames);
    m_hooks.SetSliderPos(uint16_t(m_nCurrentFrame));
}

void CPlayer::DrawCurrentFrame() {
    if (m_bClosed || m_nFrames == 0) {
        return;
    }
    // One past the last frame after a finished pass: the last frame stays shown.
    uint32_t nFrame = std::clamp<uint32_t>(m_nCurrentFrame, 1, m_nFrames);
    m_hooks.DrawFrame(uint16_t(nFrame), m_pFrames + uint64_t(nFrame - 1) * QCIF_FRAME_BYTES);
}

void CPlayer::OnHScroll(uint32_t nPosition) {
    if (m_bClosed || m_nFrames == 0) {
        return;
    }
    m_nCurrentFrame = std::clamp<uint32_t>(nPosition & 0xFFFF, 1, m_nFrames);
    m_hooks.ShowCurrentFrame(uint16_t(m_nCurrentFrame));
    m_nPlayState = IDLE;
    DrawCurrentFrame();
}

void CPlayer::OnStart() {
    if (m_bClosed) {
        return;
    }
    m_hooks.UncheckPause();
    Play();
}

void CPlayer::OnPause(bool bPressed) {
    if (m_bClosed) {
        return;
    }
    if (bPressed) {
        m_nPlayState = IDLE;
    } else {
        Play();
    }
}

void CPlayer::Play() {
    m_nPlayState = PLAYING;
    PlayFrames();
    if (m_nPlayState == CLOSE_PENDING) {
        OnCancel();
    } else {
        m_nPlayState = IDLE;
    }
}

void CPlayer::OnCancel() {
    if (m_nPlayState == PLAYING) {
        m_nPlayState = CLOSE_PENDING;
        return;
    }
    // Nested passes reach this once each; only the first closes.
    if (m_bClosed) {
        return;
    }
    m_bClosed = true;
    m_hooks.ReleaseDisplay();
    m_hooks.EndDialog();
}

void CPlayer::PlayFrames() {
    if (m_nFrames == 0) {
        return;  // nothing to show; a looping pass must not spin
    }
    bool bInterrupted = false;
    do {
        m_nCurrentFrame = m_nStartFrame;
        while (m_nCurrentFrame <= m_nFrames) {
            m_hooks.ShowCurrentFrame(uint16_t(m_nCurrentFrame));
            m_hooks.SetSliderPos(uint16_t(m_nCurrentFrame));
            DrawCurrentFrame();
            m_hooks.Sleep(FRAME_SLEEP_MS);
            m_hooks.PumpOneEvent();
            if (m_nPlayState != PLAYING) {
                bInterrupted = true;
                // Behind a nested pass that ran to its end the next Start begins
                // at frame 1, as after any finished pass.
                m_nStartFrame = m_nCurrentFrame <= m_nFrames ? m_nCurrentFrame : 1;
                break;
            }
            ++m_nCurrentFrame;
        }
        if (bInterrupted) {
            return;
        }
        m_nStartFrame = 1;
    } while (m_bLoop);
}
