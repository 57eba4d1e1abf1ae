#pragma once
// The built-in sample clip: synthetic QCIF video that looks like a real scene
// (a slow camera pan over hills, trees and a road, a car driving by, a bouncing
// ball, drifting clouds, gradients and mild sensor noise), so demos, tests and
// benchmarks have input without any download.
//
// Every frame is a pure function of its index: the same index gives the same
// bytes on every run, whatever was rendered before, so a 50-frame clip is the
// first half of a 100-frame clip. Only +, -, *, /, sqrt and floor are used, so
// the result does not depend on the maths library.

#include <cstdint>
#include <vector>

constexpr uint32_t SAMPLE_CLIP_DEFAULT_FRAMES = 100;

// Writes frame nIndex (0-based) into pFrame: 38016 bytes, Y then U then V.
void RenderSampleFrame(uint32_t nIndex, uint8_t* pFrame);

// Frames 0 .. nFrames-1 in memory, back to back; false (clip empty) when the
// memory cannot be had.
bool RenderSampleClip(uint32_t nFrames, std::vector<uint8_t>& clip);
