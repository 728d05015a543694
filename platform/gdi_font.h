// The text engine behind the gdi32 font calls: logical fonts realised through pango and fontconfig at
// 96 DPI, their metrics, text measurement and coverage masks. Internal to the platform layer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace zv::fontengine {

// What a logical font asks for, in the units of LOGFONT (pixels at 96 DPI, tenths of a degree).
struct FontRequest {
  int32_t Height = 0;      // < 0 character height, > 0 cell height, 0 the default
  int32_t Weight = 0;      // 0 = normal, else 100..1000
  int32_t Escapement = 0;  // tenths of a degree, counter-clockwise
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  uint8_t CharSet = 0;
  uint8_t Quality = 0;
  uint8_t PitchAndFamily = 0;
  std::string FaceName;
  friend bool operator==(const FontRequest&, const FontRequest&) = default;
};

// The metrics of a realised font, in whole pixels.
struct FaceMetrics {
  int32_t Height = 0;  // ascent + descent
  int32_t Ascent = 0;
  int32_t Descent = 0;
  int32_t InternalLeading = 0;
  int32_t ExternalLeading = 0;
  int32_t AveCharWidth = 0;
  int32_t MaxCharWidth = 0;
  int32_t EmHeight = 0;  // the character height the font was realised at
  bool FixedPitch = false;
};

class Face;
// A realised font; shared so that a face dropped from the cache stays valid while a caller holds it.
using FacePtr = std::shared_ptr<Face>;

// The realised font for a request, from a small cache of recent fonts.
FacePtr Realize(const FontRequest& request);

const FaceMetrics& Metrics(const Face& face);
// True when the face draws at an escapement other than 0.
bool IsTurned(const Face& face);
// The fontconfig family the face's name resolved to ("DejaVu Sans" ...).
std::string FamilyName(const Face& face);

// Width in pixels of a single line of text along its baseline (no character extra).
int32_t TextWidth(const Face& face, std::string_view text);

// For every byte of text, the advance from the start of the text to the end of the cluster that
// holds the byte (a cluster is the smallest piece that can be cut off: a character, a ligature, a
// base with its marks). Its last entry is TextWidth.
std::vector<int32_t> ByteExtents(const Face& face, std::string_view text);

// The byte offsets at which clusters start, ascending, beginning with 0 (none for empty text).
std::vector<size_t> ClusterStarts(const Face& face, std::string_view text);

// One piece of text on a shared baseline, X pixels along the baseline from the origin, with optional
// underlined byte ranges (the '&' prefix of DrawText).
struct Run {
  std::string_view Text;
  int32_t X = 0;
  std::vector<std::pair<size_t, size_t>> Underlined;  // [begin, end) byte ranges
};

// Anti-aliasing coverage (0..255) over a device-space box.
struct Mask {
  TRect Box;                  // device pixels covered by Data
  std::vector<uint8_t> Data;  // Box.Width() * Box.Height(), row-major
  bool Empty() const { return Box.IsEmpty(); }
  uint8_t At(int32_t x, int32_t y) const {
    return Data[size_t(y - Box.Top) * size_t(Box.Width()) + size_t(x - Box.Left)];
  }
};

// Coverage of the runs drawn with the top-left corner of their text cell at Origin (device pixels)
// and the cell turned counter-clockwise by the face's escapement about Origin; only the part inside
// Limit is computed.
Mask RenderRuns(const Face& face, TPoint origin, const std::vector<Run>& runs, const TRect& limit);

// The device box of the text's ink drawn as RenderRuns draws it with the cell's top-left at Origin,
// from the glyph outlines' extents (nothing is drawn), a pixel to spare on every side; empty when the
// text has no ink.
TRect InkBox(const Face& face, TPoint origin, std::string_view text);

// Coverage of the rectangle (0, 0, width, height) of the text cell's frame turned like RenderRuns
// (for the opaque background of rotated text).
Mask RenderCellBox(const Face& face, TPoint origin, int32_t width, int32_t height, const TRect& limit);

// The device offset of a point (dx, dy) given in the text cell's frame, turned by the escapement.
TPoint RotateOffset(const Face& face, int32_t dx, int32_t dy);

}  // namespace zv::fontengine
