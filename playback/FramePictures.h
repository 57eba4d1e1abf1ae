#pragma once
// Pictures for comparing a frame with its reference: the frame in true colour or
// one plane in grey, and their difference, signed around mid-grey or as a heat
// map. Every picture is 176 x 144 RGB (3 bytes a pixel, top row first); a
// chroma sample fills the 2 x 2 pixels it covers, so pixel (x, y) of any picture
// shows the same place of the frame. No allocation, no state: safe on any thread.

#include <cstdint>

#include "io/QcifFormat.h"

enum class EPictureMode { Colour, Y, U, V };
enum class EDifferenceStyle { Signed, Heat };

constexpr int PICTURE_MIN_GAIN = 1;
constexpr int PICTURE_MAX_GAIN = 32;
constexpr uint32_t PICTURE_BYTES = RGB_FRAME_BYTES;  // 176 x 144 x 3

// A 38016-byte frame as the picture of mode: Colour through QcifFrameToRgb (the
// exported picture), a plane as its sample values in grey.
void RenderFramePicture(const uint8_t* pFrame, EPictureMode mode, uint8_t* pRgb);

// The difference pFrame - pRef, amplified by nGain (taken to 1..32):
//  Signed: 128 + gain x difference, clamped to 0..255. One plane shows it in
//    grey; Colour makes a frame of the three amplified planes and converts it
//    like a picture, so luma errors come out light or dark and chroma errors tinted.
//  Heat:   gain x |difference|, clamped to 255, through HeatColour. Colour takes
//    at each pixel the largest of the Y, U and V differences there.
void RenderDifferencePicture(const uint8_t* pFrame, const uint8_t* pRef, EPictureMode mode,
                             EDifferenceStyle style, int nGain, uint8_t* pRgb);

// The heat map's colour of level 0..255 (clamped): black at 0, then purple, red
// and orange to pale yellow at 255, brighter all the way.
void HeatColour(int nLevel, uint8_t* pRgb);
// The smallest |difference| drawn at full heat with gain nGain: ceil(255 / gain).
int HeatSaturation(int nGain);
