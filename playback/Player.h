#pragma once
// The stream viewer's play loop and its state machine, without any toolkit.
//
// A pass draws frames from the start frame to the last one, sleeping 23 ms and
// letting one pending event through after each frame. That event may be a click
// of the viewer itself, so OnStart, OnPause, OnLoop, OnHScroll, OnCancel and
// OnPaint run re-entrantly from inside the pass; m_nPlayState is how they tell the
// running pass to stop:
//
//   Idle (5)          no pass running: opened, paused, seeking, finished
//   Playing (0)       a pass is running
//   ClosePending (10) Cancel came during a pass; the dialog closes when it returns
//
// The viewer dialog owns a CPlayer, implements IPlayerHooks for the platform side
// and forwards its controls to the On* handlers. Frame numbers are 1-based.
//
// Beyond the plain loop: the frame count is capped at 65535 (the counter and the
// slider are 16-bit); a stream without frames draws nothing and never plays; the
// drawn frame is always one of the stream's (after a pass that ran to its end,
// the last); the display is released once however the dialog closes, and after
// that no handler draws anything.

#include <cstdint>

// What the player needs from the viewer window.
class IPlayerHooks {
public:
    virtual ~IPlayerHooks() = default;
    // Convert and draw frame nFrame, whose 38016 bytes start at pFrame.
    virtual void DrawFrame(uint16_t nFrame, const uint8_t* pFrame) = 0;
    // The read-only edit with the frame count (set once, on opening).
    virtual void ShowFrameCount(uint16_t nFrames) = 0;
    // The read-only edit with the current frame number.
    virtual void ShowCurrentFrame(uint16_t nFrame) = 0;
    // The slider's range (on opening) and position; neither notifies back.
    virtual void SetSliderRange(uint16_t nMin, uint16_t nMax) = 0;
    virtual void SetSliderPos(uint16_t nFrame) = 0;
    // Releases the Pause check box without triggering OnPause.
    virtual void UncheckPause() = 0;
    // Blocks the user-interface thread for nMilliseconds (23 between frames).
    virtual void Sleep(uint32_t nMilliseconds) = 0;
    // Dispatches at most one pending event; it may call back into the player.
    virtual void PumpOneEvent() = 0;
    // Frees the display converter and gives the drawing surface back.
    virtual void ReleaseDisplay() = 0;
    // Ends the modal dialog as cancelled.
    virtual void EndDialog() = 0;
};

class CPlayer {
public:
    enum : uint8_t { PLAYING = 0, IDLE = 5, CLOSE_PENDING = 10 };
    static constexpr uint32_t FRAME_SLEEP_MS = 23;

    // pFrames: nStreamFrames raw frames back to back (not owned; may be nullptr
    // when nStreamFrames is 0). Only the first 65535 frames are played.
    CPlayer(IPlayerHooks& hooks, const uint8_t* pFrames, uint32_t nStreamFrames);

    // Opening: Idle, frame 1, Loop off; shows the count, the counter and the slider.
    void OnInitDialog();
    // Paint: draws the current frame.
    void OnPaint() { DrawCurrentFrame(); }
    // The slider moved to nPosition: that frame is shown; a running pass stops.
    void OnHScroll(uint32_t nPosition);
    void OnLoop() { m_bLoop = !m_bLoop; }
    // Start: releases Pause and plays from the start frame until the pass ends.
    void OnStart();
    // The Pause box was toggled; bPressed is its new state.
    void OnPause(bool bPressed);
    // Cancel, Escape or the close box.
    void OnCancel();

    uint8_t GetPlayState() const { return m_nPlayState; }
    uint16_t GetFrames() const { return m_nFrames; }
    uint32_t GetStartFrame() const { return m_nStartFrame; }
    uint32_t GetCurrentFrame() const { return m_nCurrentFrame; }
    bool IsLooping() const { return m_bLoop; }
    bool IsClosed() const { return m_bClosed; }

private:
    void PlayFrames();
    void Play();
    void DrawCurrentFrame();

    IPlayerHooks& m_hooks;
    const uint8_t* m_pFrames;
    uint16_t m_nFrames;
    // 32 bits so that a pass over 65535 frames ends instead of wrapping to 0.
    uint32_t m_nStartFrame = 1;
    uint32_t m_nCurrentFrame = 1;
    bool m_bLoop = false;
    uint8_t m_nPlayState = IDLE;
    bool m_bClosed = false;
};
