// The viewer's play loop: every transition of its state table, driven by a fake
// window that injects clicks while a pass pumps its events.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "io/QcifFormat.h"
#include "playback/Player.h"

namespace {

using Frames = std::vector<uint16_t>;

class CFakeViewer : public IPlayerHooks {
public:
    explicit CFakeViewer(uint32_t nFrames, uint32_t nBufferFrames = 0)
        : data(size_t(nBufferFrames ? nBufferFrames : std::min<uint32_t>(nFrames, 8)) *
               QCIF_FRAME_BYTES),
          player(*this, nFrames ? data.data() : nullptr, nFrames) {
        player.OnInitDialog();
    }

    // Runs action when the nPump-th event is pumped (1-based, counted from now on).
    void At(int nPump, std::function<void()> action) { script[nPumps + nPump] = std::move(action); }

    // Clicks as the window would deliver them.
    void ClickStart() { player.OnStart(); }
    void ClickPause() {
        bPauseChecked = !bPauseChecked;
        player.OnPause(bPauseChecked);
    }
    void ClickLoop() { player.OnLoop(); }
    void MoveSlider(uint32_t n) {
        nSlider = uint16_t(n);
        player.OnHScroll(n);
    }
    void ClickCancel() { player.OnCancel(); }

    Frames TakeDrawn() { return std::exchange(drawn, {}); }

    void DrawFrame(uint16_t nFrame, const uint8_t* pFrame) override {
        EXPECT_GE(nFrame, 1);
        EXPECT_LE(nFrame, player.GetFrames());
        if (nFrame <= data.size() / QCIF_FRAME_BYTES) {
            EXPECT_EQ(pFrame, data.data() + size_t(nFrame - 1) * QCIF_FRAME_BYTES);
        }
        EXPECT_FALSE(bReleased) << "drawing after the display was released";
        drawn.push_back(nFrame);
    }
    void ShowFrameCount(uint16_t n) override { nCountShown = n; }
    void ShowCurrentFrame(uint16_t n) override { nCounter = n; }
    void SetSliderRange(uint16_t nMin, uint16_t nMax) override {
        nSliderMin = nMin;
        nSliderMax = nMax;
    }
    void SetSliderPos(uint16_t n) override { nSlider = n; }
    void UncheckPause() override { bPauseChecked = false; }
    void Sleep(uint32_t nMs) override { sleeps.push_back(nMs); }
    void PumpOneEvent() override {
        ++nPumps;
        ASSERT_LT(nPumps, 1000000) << "the play loop does not stop";
        auto it = script.find(nPumps);
        if (it != script.end()) {
            auto action = std::move(it->second);
            script.erase(it);
            action();
        }
    }
    void ReleaseDisplay() override {
        EXPECT_FALSE(bReleased) << "display released twice";
        bReleased = true;
    }
    void EndDialog() override { ++nEnded; }

    std::vector<uint8_t> data;
    CPlayer player;
    std::map<int, std::function<void()>> script;
    Frames drawn;
    std::vector<uint32_t> sleeps;
    int nPumps = 0;
    uint16_t nCountShown = 0, nCounter = 0, nSlider = 0, nSliderMin = 0, nSliderMax = 0;
    bool bPauseChecked = false;
    bool bReleased = false;
    int nEnded = 0;
};

Frames Range(uint16_t nFirst, uint16_t nLast) {
    Frames v;
    for (uint32_t n = nFirst; n <= nLast; ++n) {
        v.push_back(uint16_t(n));
    }
    return v;
}

}  // namespace

TEST(Player, OpeningShowsFrameOneIdle) {
    CFakeViewer v(7);
    EXPECT_EQ(v.player.GetPlayState(), CPlayer::IDLE);
    EXPECT_EQ((std::vector<int>{v.nCountShown, v.nCounter, v.nSlider, v.nSliderMin, v.nSliderMax}),
              (std::vector<int>{7, 1, 1, 1, 7}));
    v.player.OnPaint();
    EXPECT_EQ(v.TakeDrawn(), Frames{1});
}

TEST(Player, PassRunsToTheEndThenStartsAgainAtOne) {
    CFakeViewer v(5);
    v.ClickStart();
    EXPECT_EQ(v.TakeDrawn(), Range(1, 5));
    EXPECT_EQ(v.nPumps, 5);
    EXPECT_EQ(v.sleeps, std::vector<uint32_t>(5, 23));
    EXPECT_EQ(v.player.GetPlayState(), CPlayer::IDLE);
    EXPECT_EQ(v.nCounter, 5);
    EXPECT_EQ(v.nSlider, 5);
    // The frame left on screen after the end is the last one.
    v.player.OnPaint();
    EXPECT_EQ(v.TakeDrawn(), Frames{5});
    v.ClickStart();
    EXPECT_EQ(v.TakeDrawn(), Range(1, 5));
}

TEST(Player, PauseAndResumeContinueFromTheFrameOnScreen) {
    struct Case {
        const char* name;
        std::function<void(CFakeViewer&)> resume;
    };
    const Case cases[] = {
        {"release Pause", [](CFakeViewer& v) { v.ClickPause(); }},
        {"press Start", [](CFakeViewer& v) { v.ClickStart(); }},
    };
    for (const Case& c : cases) {
        CFakeViewer v(6);
        v.At(3, [&] { v.ClickPause(); });
        v.ClickStart();
        EXPECT_EQ(v.TakeDrawn(), Range(1, 3)) << c.name;
        EXPECT_EQ(v.player.GetPlayState(), CPlayer::IDLE);
        EXPECT_EQ(v.player.GetStartFrame(), 3u);
        EXPECT_TRUE(v.bPauseChecked);
        c.resume(v);
        EXPECT_FALSE(v.bPauseChecked) << c.name;
        EXPECT_EQ(v.TakeDrawn(), Range(3, 6)) << c.name;
    }
    // Pressing Pause while idle changes nothing.
    CFakeViewer v(4);
    v.ClickPause();
    EXPECT_EQ(v.player.GetPlayState(), CPlayer::IDLE);
    EXPECT_TRUE(v.TakeDrawn().empty());
}

TEST(Player, LoopIsConsultedWhenAPassEnds) {
    // Loop on from the start: frame 1 follows the last until Pause.
    {
        CFakeViewer v(3);
        v.ClickLoop();
        v.At(8, [&] { v.ClickPause(); });
        v.ClickStart();
        EXPECT_EQ(v.TakeDrawn(), (Frames{1, 2, 3, 1, 2, 3, 1, 2}));
        EXPECT_EQ(v.player.GetStartFrame(), 2u);
    }
    // Switched on during a pass: the pass ends into a new one.
    {
        CFakeViewer v(3);
        v.At(2, [&] { v.ClickLoop(); });
        v.At(5, [&] { v.ClickLoop(); });  // off again: the second pass is the last
        v.ClickStart();
        EXPECT_EQ(v.TakeDrawn(), (Frames{1, 2, 3, 1, 2, 3}));
        EXPECT_EQ(v.player.GetPlayState(), CPlayer::IDLE);
    }
    // A one-frame stream loops on frame 1, pumping an event every frame.
    {
        CFakeViewer v(1);
        v.ClickLoop();
        v.At(50, [&] { v.ClickCancel(); });
        v.ClickStart();
        EXPECT_EQ(v.TakeDrawn(), Frames(50, 1));
        EXPECT_EQ(v.nPumps, 50);
        EXPECT_TRUE(v.player.IsClosed());
    }
}

TEST(Player, SliderSeeksDuringAPassAndWhileIdle) {
    CFakeViewer v(9);
    v.At(2, [&] { v.MoveSlider(6); });
    v.ClickStart();
    // The slider's frame is drawn, the pass stops and makes it the next start.
    EXPECT_EQ(v.TakeDrawn(), (Frames{1, 2, 6}));
    EXPECT_EQ(v.player.GetStartFrame(), 6u);
    EXPECT_EQ(v.nCounter, 6);

    // While idle it shows the frame but leaves the start frame alone.
    v.MoveSlider(8);
    EXPECT_EQ(v.TakeDrawn(), Frames{8});
    EXPECT_EQ(v.nCounter, 8);
    EXPECT_EQ(v.player.GetStartFrame(), 6u);
    v.ClickStart();
    EXPECT_EQ(v.TakeDrawn(), Range(6, 9));

    // Positions outside the range never draw a frame the stream lacks.
    v.MoveSlider(0);
    v.MoveSlider(70000);
    EXPECT_EQ(v.TakeDrawn(), (Frames{1, 9}));
}

TEST(Player, CancelClosesOnceWhateverTheState) {
    // Idle: at once.
    {
        CFakeViewer v(3);
        v.ClickCancel();
        EXPECT_TRUE(v.bReleased);
        EXPECT_EQ(v.nEnded, 1);
    }
    // During a pass: after the frame on screen.
    {
        CFakeViewer v(5);
        v.At(2, [&] {
            v.ClickCancel();
            EXPECT_EQ(v.player.GetPlayState(), CPlayer::CLOSE_PENDING);
            EXPECT_FALSE(v.bReleased);
        });
        v.ClickStart();
        EXPECT_EQ(v.TakeDrawn(), (Frames{1, 2}));
        EXPECT_TRUE(v.bReleased);
        EXPECT_EQ(v.nEnded, 1);
        // Late events after closing draw nothing.
        v.player.OnPaint();
        v.MoveSlider(3);
        v.ClickStart();
        v.ClickCancel();
        EXPECT_TRUE(v.TakeDrawn().empty());
        EXPECT_EQ(v.nEnded, 1);
    }
    // Inside nested passes: each pass unwinds through Cancel, one release.
    {
        CFakeViewer v(6);
        v.At(2, [&] { v.ClickStart(); });  // inner pass from start frame 1
        v.At(3, [&] { v.ClickStart(); });  // innermost, also from 1
        v.At(4, [&] { v.ClickCancel(); });
        v.ClickStart();
        EXPECT_EQ(v.TakeDrawn(), (Frames{1, 2, 1, 1}));
        EXPECT_TRUE(v.bReleased);
        EXPECT_EQ(v.nEnded, 1);
    }
}

TEST(Player, NestedStartTakesOverTheRunningPass) {
    // Start pressed during a pass begins a second pass from the start frame; the
    // outer pass stops behind it.
    CFakeViewer v(4);
    v.At(2, [&] { v.ClickStart(); });
    v.ClickStart();
    EXPECT_EQ(v.TakeDrawn(), (Frames{1, 2, 1, 2, 3, 4}));
    EXPECT_EQ(v.player.GetPlayState(), CPlayer::IDLE);
    EXPECT_EQ(v.nCounter, 4);
    v.player.OnPaint();
    EXPECT_EQ(v.TakeDrawn(), Frames{4});
    // The inner pass ran to its end, so the next Start plays from frame 1.
    v.ClickStart();
    EXPECT_EQ(v.TakeDrawn(), Range(1, 4));

    // Inner pass paused: the outer one stops too, the paused frame is the start.
    CFakeViewer w(5);
    w.At(3, [&] { w.ClickStart(); });
    w.At(5, [&] { w.ClickPause(); });
    w.ClickStart();
    EXPECT_EQ(w.TakeDrawn(), (Frames{1, 2, 3, 1, 2}));
    EXPECT_EQ(w.player.GetStartFrame(), 2u);
    w.ClickPause();
    EXPECT_EQ(w.TakeDrawn(), Range(2, 5));
}

TEST(Player, EmptyAndHugeStreams) {
    // No frames: nothing is drawn, Start returns at once even with Loop on.
    CFakeViewer empty(0);
    empty.ClickLoop();
    empty.ClickStart();
    empty.player.OnPaint();
    empty.MoveSlider(1);
    EXPECT_TRUE(empty.TakeDrawn().empty());
    EXPECT_EQ(empty.nPumps, 0);
    EXPECT_EQ(empty.player.GetPlayState(), CPlayer::IDLE);
    empty.ClickCancel();
    EXPECT_EQ(empty.nEnded, 1);

    // More than 65535 frames: the first 65535 are played, and the pass ends.
    for (uint32_t nFrames : {65535u, 65536u, 70000u}) {
        CFakeViewer v(nFrames, 1);
        EXPECT_EQ(v.nCountShown, 65535) << nFrames;
        EXPECT_EQ(v.nSliderMax, 65535) << nFrames;
        v.ClickStart();
        Frames drawn = v.TakeDrawn();
        ASSERT_EQ(drawn.size(), 65535u) << nFrames;
        EXPECT_EQ(drawn.front(), 1);
        EXPECT_EQ(drawn.back(), 65535);
        EXPECT_EQ(v.player.GetPlayState(), CPlayer::IDLE);
    }
}
