// The small glyphs several controls share: drop-down and spin arrows, the check box square with its
// mark, and the 13 x 13 radio button circle, drawn pixel by pixel so they look the same everywhere.
#pragma once

#include <cstdint>

#include "controls/rz_common.h"
#include "controls/rz_grafx.h"
#include "platform/graphics.h"
#include "platform/types.h"

namespace zv {

// Look of a check box or radio button, as the control works it out.
constexpr uint8_t kGlyphLookNormal = 0;
constexpr uint8_t kGlyphLookPressed = 1;
constexpr uint8_t kGlyphLookHot = 2;
constexpr uint8_t kGlyphLookDisabled = 3;

// Directions of PaintSpinArrow.
constexpr uint8_t kArrowUp = 0;
constexpr uint8_t kArrowDown = 1;
constexpr uint8_t kArrowLeft = 2;
constexpr uint8_t kArrowRight = 3;

// The filled arrow of a drop-down button, centred in Rect; pressed moves it down and right by one.
void PaintDropDownArrow(TCanvas* Canvas, const TRect& Rect, bool Themed, bool Pressed, bool Enabled);
// One of the four arrows of spin and scroll buttons (Direction 0 up, 1 down, 2 left, 3 right).
void PaintSpinArrow(TCanvas* Canvas, const TRect& Rect, bool Themed, uint8_t Direction, bool Pressed,
                    bool Enabled);
// A gradient in the two-pixel ring just inside Rect (full-colour displays only).
void PaintHotGradientBorder(TCanvas* Canvas, const TRect& Rect, TGradientDirection Direction, TColor StartColor,
                            TColor StopColor);
// The check box square: outline, fill by Look and focus, the mark for checked or grayed, the hot ring.
void PaintCheckBoxGlyph(TCanvas* Canvas, const TRect& Bounds, TCheckBoxState State, uint8_t Look, bool Focused,
                        TRzButtonHotTrackStyle HotTrackStyle, TColor FrameColor, TColor MarkColor,
                        TColor FillColor, TColor FocusColor, TColor DisabledColor, TColor HotStartColor,
                        TColor HotFrameColor, bool ReadOnly, bool ReadOnlyColorOnFocus, TColor ReadOnlyColor);
// The radio button circle laid out for 13 x 13, with edges blended into Color (or, Transparent, the
// corners left in TransparentKeyColor for the caller to key out).
void PaintRadioButtonGlyph(TCanvas* Canvas, const TRect& Bounds, bool Checked, uint8_t Look, bool Focused,
                           TRzButtonHotTrackStyle HotTrackStyle, TColor FrameColor, TColor MarkColor,
                           TColor FillColor, TColor FocusColor, TColor DisabledColor, TColor HotStartColor,
                           TColor HotFrameColor, TColor Color, bool Transparent, TColor TransparentKeyColor,
                           bool ReadOnly, bool ReadOnlyColorOnFocus, TColor ReadOnlyColor);

}  // namespace zv
