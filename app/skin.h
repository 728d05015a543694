// The main window's artwork, drawn by our own code: the nine-slice skin source, the bitmap sets of the
// buttons, the seven language flags and the "open" picture shown while no video is open.
#pragma once

#include <cstdint>

#include "platform/graphics.h"

namespace zv {

// The colour the buttons' bitmaps leave transparent (clOlive).
constexpr TColor ButtonTransparentColor = 0x008080;
// The outer ring of the skin source, cut away by the window's round region.
constexpr TColor SkinRingColor = 0xFF00FF;
// Size of the skin source.
constexpr int32_t SkinSourceSize = 100;
// Height of the blue title band of the skin source.
constexpr int32_t SkinTitleHeight = 40;
// Size of one language flag.
constexpr int32_t FlagWidth = 18;
constexpr int32_t FlagHeight = 13;

// The 24-bit skin source: magenta outer ring, blue title band, light body.
void DrawSkinSource(TBitmap* Bitmap);

// What a button shows besides its caption.
enum class TButtonGlyph : uint8_t {
  None,          // a plain face for a captioned button
  PrevKeyFrame,  // |<<
  NextFrame,     // >|
  NextKeyFrame,  // >>|
  GoToStart,     // |<
  GoToEnd,       // >|, with a bar at the end
  Minimize,      // title-strip button: a dash
  Close,         // title-strip button: a cross
};

// The Up, Hot and Disabled bitmaps of a button of Width x Height; the corners outside the rounded
// face are ButtonTransparentColor. The title-strip glyphs have no face until hot.
void DrawButtonBitmaps(TButtonGlyph Glyph, int32_t Width, int32_t Height, TBitmap* Up, TBitmap* Hot,
                       TBitmap* Disabled);

// Flag FlagIndex (0 English ... 6 Japanese, the language menu's order) as an 18 x 13 24-bit bitmap.
void DrawFlag(int32_t FlagIndex, TBitmap* Bitmap);

// The picture that invites the user to open a video: a film frame with an arrow, on the preview colour.
void DrawOpenPicture(TBitmap* Bitmap, int32_t Width, int32_t Height);

}  // namespace zv
