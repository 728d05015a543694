// gdi32 font and text calls over the text engine: logical fonts, metrics, extents, TextOut,
// ExtTextOut and DrawText, blended into the DC's surface through its clip region.
#include "platform/gdi_text.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/gdi_font.h"
#include "platform/gdi_internal.h"

namespace zv {

using fontengine::FacePtr;
using fontengine::FaceMetrics;
using fontengine::Mask;
using fontengine::Run;

namespace {

using Ranges = std::vector<std::pair<size_t, size_t>>;

std::string_view Slice(const char* text, int64_t count) {
  if (!text) return {};
  if (count < 0) return std::string_view(text);
  return std::string_view(text, size_t(count));
}

fontengine::FontRequest RequestOf(const LOGFONT& lf) {
  fontengine::FontRequest r;
  r.Height = lf.lfHeight;
  r.Weight = lf.lfWeight;
  r.Escapement = lf.lfEscapement;
  r.Italic = lf.lfItalic != 0;
  r.Underline = lf.lfUnderline != 0;
  r.StrikeOut = lf.lfStrikeOut != 0;
  r.CharSet = lf.lfCharSet;
  r.Quality = lf.lfQuality;
  r.PitchAndFamily = lf.lfPitchAndFamily;
  r.FaceName.assign(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE));
  return r;
}

// What a DC without a selected font draws with.
const LOGFONT& DefaultLogFont() {
  static const LOGFONT lf = [] {
    LOGFONT f;
    f.lfWeight = FW_NORMAL;
    return f;
  }();
  return lf;
}

const LOGFONT& SelectedLogFont(const GdiDC& dc) { return dc.st.font ? dc.st.font->lf : DefaultLogFont(); }

// The realised font of the DC's selected font, kept on the font object after its first use.
// Stock fonts are shared by every DC, so the first use is guarded.
FacePtr FaceOf(GdiDC& dc) {
  static std::mutex lock;
  GdiFont* f = dc.st.font;
  if (!f) return fontengine::Realize(RequestOf(DefaultLogFont()));
  std::lock_guard<std::mutex> g(lock);
  if (!f->engine) f->engine = fontengine::Realize(RequestOf(f->lf));
  return std::static_pointer_cast<fontengine::Face>(f->engine);
}

size_t Utf8Length(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

// Text with the ranges to underline, carried through line breaking and ellipsis.
struct Piece {
  std::string text;
  Ranges underlined;
};

Piece SubPiece(const Piece& p, size_t b, size_t e) {
  Piece out;
  out.text = p.text.substr(b, e - b);
  for (auto [ub, ue] : p.underlined) {
    size_t cb = std::max(ub, b), ce = std::min(ue, e);
    if (cb < ce) out.underlined.emplace_back(cb - b, ce - b);
  }
  return out;
}

void Append(Piece& a, const Piece& b) {
  size_t shift = a.text.size();
  a.text += b.text;
  for (auto [ub, ue] : b.underlined) a.underlined.emplace_back(ub + shift, ue + shift);
}

Ranges Rebase(const Ranges& ranges, size_t b, size_t e) {
  Ranges out;
  for (auto [ub, ue] : ranges) {
    size_t cb = std::max(ub, b), ce = std::min(ue, e);
    if (cb < ce) out.emplace_back(cb - b, ce - b);
  }
  return out;
}

// How a DC lays text out along a line: its font, character extra and tab stops.
struct LineStyle {
  const fontengine::Face& face;
  int32_t extra = 0;
  bool expandTabs = false;
  int32_t tabWidth = 8;

  int32_t SegmentWidth(std::string_view s) const {
    int32_t w = fontengine::TextWidth(face, s);
    if (extra != 0 && !s.empty()) w += extra * int32_t(fontengine::ClusterStarts(face, s).size());
    return w;
  }

  int32_t NextTab(int32_t x) const { return tabWidth > 0 ? (x / tabWidth + 1) * tabWidth : x; }

  int32_t Width(std::string_view s) const {
    if (!expandTabs || s.find('\t') == std::string_view::npos) return SegmentWidth(s);
    int32_t x = 0;
    size_t b = 0;
    for (;;) {
      size_t t = s.find('\t', b);
      x += SegmentWidth(s.substr(b, t == std::string_view::npos ? std::string_view::npos : t - b));
      if (t == std::string_view::npos) return x;
      x = NextTab(x);
      b = t + 1;
    }
  }

  // The runs that draw s from x0 along the baseline; the views point into s.
  std::vector<Run> Runs(std::string_view s, const Ranges& underlined, int32_t x0) const {
    std::vector<Run> runs;
    int32_t x = x0;
    size_t b = 0;
    for (;;) {
      size_t t = expandTabs ? s.find('\t', b) : std::string_view::npos;
      size_t e = t == std::string_view::npos ? s.size() : t;
      std::string_view seg = s.substr(b, e - b);
      if (extra == 0) {
        if (!seg.empty()) runs.push_back(Run{seg, x, Rebase(underlined, b, e)});
        x += fontengine::TextWidth(face, seg);
      } else if (!seg.empty()) {
        // Each cluster on its own, moved on by the extra pixels of the clusters before it.
        std::vector<size_t> starts = fontengine::ClusterStarts(face, seg);
        std::vector<int32_t> ext = fontengine::ByteExtents(face, seg);
        for (size_t i = 0; i < starts.size(); ++i) {
          size_t cb = starts[i], ce = i + 1 < starts.size() ? starts[i + 1] : seg.size();
          int32_t before = cb == 0 ? 0 : ext[cb - 1];
          runs.push_back(Run{seg.substr(cb, ce - cb), x + before + int32_t(i) * extra,
                             Rebase(underlined, b + cb, b + ce)});
        }
        x += ext.back() + int32_t(starts.size()) * extra;
      }
      if (t == std::string_view::npos) break;
      x = x0 + NextTab(x - x0);
      b = t + 1;
    }
    return runs;
  }
};

// Draws runs whose text cell (width x the font's height) has its top-left corner at origin (device),
// clipped to limit (device) and the DC's visible area.
void DrawCell(GdiDC& dc, const fontengine::Face& face, TPoint origin, const std::vector<Run>& runs,
              int32_t width, const TRect& limitIn, bool opaque) {
  TRect limit;
  if (!IntersectRect(limit, limitIn, dc.Visible().box)) return;
  const FaceMetrics& m = fontengine::Metrics(face);
  if (opaque && width > 0) {
    if (!fontengine::IsTurned(face)) {
      TRect cell(origin.X, origin.Y, origin.X + width, origin.Y + m.Height), r;
      if (IntersectRect(r, cell, limit))
        for (int32_t y = r.Top; y < r.Bottom; ++y) FillSpan(dc, y, r.Left, r.Right, dc.st.bkColor, R2_COPYPEN);
    } else {
      Mask box = fontengine::RenderCellBox(face, origin, width, m.Height, limit);
      for (int32_t y = box.Box.Top; y < box.Box.Bottom; ++y)
        for (int32_t x = box.Box.Left; x < box.Box.Right; ++x)
          if (box.At(x, y) >= 128) PlotPixel(dc, x, y, dc.st.bkColor, R2_COPYPEN);
    }
  }
  if (runs.empty()) return;
  Mask mask = fontengine::RenderRuns(face, origin, runs, limit);
  COLORREF color = dc.st.textColor & 0x00FFFFFF;
  for (int32_t y = mask.Box.Top; y < mask.Box.Bottom; ++y)
    BlendSpan(dc, y, mask.Box.Left, mask.Box.Right, color,
              mask.Data.data() + size_t(y - mask.Box.Top) * size_t(mask.Box.Width()));
}

// Runs for ExtTextOut's advance array: each character at the sum of the advances before it.
std::vector<Run> RunsFromAdvances(const fontengine::Face& face, std::string_view s, const int* dx,
                                  int32_t* width) {
  std::vector<Run> runs;
  std::vector<size_t> starts = fontengine::ClusterStarts(face, s);
  int32_t x = 0;
  for (size_t i = 0; i < starts.size(); ++i) {
    size_t cb = starts[i], ce = i + 1 < starts.size() ? starts[i + 1] : s.size();
    runs.push_back(Run{s.substr(cb, ce - cb), x, {}});
    for (size_t b = cb; b < ce; b += Utf8Length(static_cast<unsigned char>(s[b]))) x += dx[b];
  }
  *width = x;
  return runs;
}

// TextOut and ExtTextOut: place the cell by the text alignment (or the current position), fill and
// draw it.
bool TextOutImpl(HDC h, int x, int y, UINT options, const RECT* rect, std::string_view text, const int* dx) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return false;
  FacePtr face = FaceOf(*dc);
  const FaceMetrics& m = fontengine::Metrics(*face);
  LineStyle style{*face, dc->st.textCharExtra, false, 0};

  int32_t width = 0;
  std::vector<Run> runs;
  if (dx && !text.empty()) {
    runs = RunsFromAdvances(*face, text, dx, &width);
  } else {
    width = style.Width(text);
    runs = style.Runs(text, {}, 0);
  }

  UINT align = dc->st.textAlign;
  TPoint ref = (align & TA_UPDATECP) ? dc->st.curPos : TPoint(x, y);
  int32_t offX = 0, offY = 0;
  if ((align & TA_CENTER) == TA_CENTER) offX = -width / 2;
  else if ((align & TA_CENTER) == TA_RIGHT) offX = -width;
  if ((align & TA_BASELINE) == TA_BASELINE) offY = -m.Ascent;
  else if ((align & TA_BASELINE) == TA_BOTTOM) offY = -m.Height;
  TPoint turned = fontengine::RotateOffset(*face, offX, offY);
  TPoint refDev = LogicalToDevice(*dc, ref);
  TPoint origin(refDev.X + turned.X, refDev.Y + turned.Y);

  TRect limit(INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2);
  if (rect && (options & (ETO_OPAQUE | ETO_CLIPPED))) {
    TRect r = LogicalToDevice(*dc, *rect);
    if (r.Left > r.Right) std::swap(r.Left, r.Right);
    if (r.Top > r.Bottom) std::swap(r.Top, r.Bottom);
    if (options & ETO_OPAQUE) {
      TRect f;
      if (IntersectRect(f, r, dc->Visible().box))
        for (int32_t row = f.Top; row < f.Bottom; ++row) FillSpan(*dc, row, f.Left, f.Right, dc->st.bkColor, R2_COPYPEN);
    }
    if (options & ETO_CLIPPED) limit = r;
  }
  DrawCell(*dc, *face, origin, runs, width, limit, dc->st.bkMode == OPAQUE);

  if (align & TA_UPDATECP) {
    TPoint adv = fontengine::RotateOffset(*face, width, 0);
    if ((align & TA_CENTER) == TA_LEFT) dc->st.curPos = TPoint(ref.X + adv.X, ref.Y + adv.Y);
    else if ((align & TA_CENTER) == TA_RIGHT) dc->st.curPos = TPoint(ref.X - adv.X, ref.Y - adv.Y);
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// DrawText
// ---------------------------------------------------------------------------------------------

// Removes the '&' prefixes: "&&" is a plain '&', "&x" underlines x (unless hidden).
Piece StripPrefixes(std::string_view text, UINT format) {
  Piece out;
  if (format & DT_NOPREFIX) {
    out.text.assign(text);
    return out;
  }
  out.text.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text[i] != '&') {
      out.text += text[i++];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '&') {
      out.text += '&';
      i += 2;
      continue;
    }
    ++i;
    if (i >= text.size()) break;
    size_t len = std::min(Utf8Length(static_cast<unsigned char>(text[i])), text.size() - i);
    if (!(format & DT_HIDEPREFIX) && text[i] != '\r' && text[i] != '\n')
      out.underlined.emplace_back(out.text.size(), out.text.size() + len);
    out.text.append(text.substr(i, len));
    i += len;
  }
  return out;
}

// Splits at CR LF, LF or CR; a single-line format drops the line ends instead.
std::vector<Piece> Paragraphs(const Piece& all, bool singleLine) {
  std::vector<Piece> out;
  const std::string& s = all.text;
  if (singleLine) {
    Piece p;
    size_t b = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
      if (i == s.size() || s[i] == '\r' || s[i] == '\n') {
        Append(p, SubPiece(all, b, i));
        b = i + 1;
      }
    }
    out.push_back(std::move(p));
    return out;
  }
  size_t b = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' || s[i] == '\n') {
      out.push_back(SubPiece(all, b, i));
      if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
      b = i + 1;
    }
  }
  out.push_back(SubPiece(all, b, s.size()));
  return out;
}

uint32_t CodePointAt(std::string_view s, size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  size_t n = std::min(Utf8Length(c), s.size() - i);
  if (n == 1) return c;
  uint32_t cp = c & (0xFF >> (n + 1));
  for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  return cp;
}

// East Asian scripts are written without spaces; a line may break between any two of their characters.
bool BreaksAround(uint32_t cp) {
  return (cp >= 0x2E80 && cp <= 0x9FFF) || (cp >= 0xAC00 && cp <= 0xD7AF) || (cp >= 0xF900 && cp <= 0xFAFF) ||
         (cp >= 0xFF00 && cp <= 0xFFEF) || (cp >= 0x20000 && cp <= 0x3FFFF);
}

// Word wrapping of one paragraph into lines no wider than maxWidth where the words allow it.
std::vector<Piece> Wrap(const LineStyle& style, const Piece& para, int32_t maxWidth, bool breakWords) {
  const std::string& s = para.text;
  std::vector<Piece> lines;
  if (s.empty()) {
    lines.push_back(para);
    return lines;
  }
  std::vector<size_t> starts = fontengine::ClusterStarts(style.face, s);
  // Widths from one measurement of the whole paragraph; tabs need the exact rule.
  bool exact = style.expandTabs && s.find('\t') != std::string::npos;
  std::vector<int32_t> ext = exact ? std::vector<int32_t>() : fontengine::ByteExtents(style.face, s);
  std::vector<int32_t> ordinal(s.size(), 0);
  for (size_t i = 0; i < starts.size(); ++i) {
    size_t e = i + 1 < starts.size() ? starts[i + 1] : s.size();
    for (size_t b = starts[i]; b < e; ++b) ordinal[b] = int32_t(i);
  }
  auto reach = [&](size_t end) -> int32_t {  // extent of [0, end)
    if (end == 0) return 0;
    return ext[end - 1] + style.extra * (ordinal[end - 1] + 1);
  };
  auto width = [&](size_t b, size_t e) -> int32_t {
    if (e <= b) return 0;
    if (exact) return style.Width(std::string_view(s).substr(b, e - b));
    return reach(e) - reach(b);
  };

  // Break opportunities: (end of line, start of the next).
  std::vector<std::pair<size_t, size_t>> breaks;
  for (size_t i = 0; i < starts.size(); ++i) {
    size_t b = starts[i];
    if (s[b] == ' ') {
      size_t e = b;
      while (e < s.size() && s[e] == ' ') ++e;
      if (b > 0) breaks.emplace_back(b, e);
      while (i + 1 < starts.size() && starts[i + 1] < e) ++i;
      continue;
    }
    if (i > 0 && s[starts[i - 1]] != ' ' &&
        (BreaksAround(CodePointAt(s, b)) || BreaksAround(CodePointAt(s, starts[i - 1]))))
      breaks.emplace_back(b, b);
  }
  breaks.emplace_back(s.size(), s.size());

  size_t pos = 0;
  size_t k = 0;
  while (pos < s.size()) {
    while (k < breaks.size() && breaks[k].first <= pos) ++k;
    size_t lineEnd = 0, next = 0;
    bool found = false;
    for (size_t j = k; j < breaks.size(); ++j) {
      if (width(pos, breaks[j].first) > maxWidth) break;
      lineEnd = breaks[j].first;
      next = breaks[j].second;
      found = true;
    }
    if (!found) {
      lineEnd = k < breaks.size() ? breaks[k].first : s.size();
      next = k < breaks.size() ? breaks[k].second : s.size();
      if (breakWords) {
        // Cut the word at the last cluster that still fits, keeping at least one.
        auto it = std::upper_bound(starts.begin(), starts.end(), pos);
        size_t cut = it == starts.end() ? s.size() : *it;
        for (; it != starts.end() && *it < lineEnd; ++it) {
          size_t nextCut = it + 1 == starts.end() ? s.size() : *(it + 1);
          if (width(pos, std::min(nextCut, lineEnd)) > maxWidth) break;
          cut = std::min(nextCut, lineEnd);
        }
        if (cut < lineEnd) {
          lineEnd = cut;
          next = cut;
        }
      }
    }
    lines.push_back(SubPiece(para, pos, lineEnd));
    pos = std::max(next, lineEnd);
  }
  return lines;
}

// candidate(end) for the latest of cuts whose candidate fits within maxWidth, by bisection over the
// cuts (candidates grow wider with end); candidate(0) when none fits.
template <class MakeCandidate>
Piece LongestFitting(const LineStyle& style, const std::vector<size_t>& cuts, int32_t maxWidth,
                     MakeCandidate&& candidate) {
  size_t lo = 0, hi = cuts.size();
  Piece best = candidate(0);
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    Piece p = candidate(cuts[mid]);
    if (style.Width(p.text) <= maxWidth) {
      best = std::move(p);
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return best;
}

// Cuts a line to the clusters [0, keep) followed by "...".
Piece EndEllipsis(const LineStyle& style, const Piece& line, int32_t maxWidth, bool atWord) {
  const std::string& s = line.text;
  std::vector<size_t> cuts = fontengine::ClusterStarts(style.face, s);  // candidate prefix ends
  if (atWord) {
    std::vector<size_t> words;
    for (size_t c : cuts)
      if (c > 0 && s[c] == ' ' && s[c - 1] != ' ') words.push_back(c);
    if (!words.empty()) cuts = std::move(words);
  }
  // The longest prefix that fits with the dots.
  return LongestFitting(style, cuts, maxWidth, [&](size_t end) {
    Piece p = SubPiece(line, 0, end);
    Append(p, Piece{"...", {}});
    return p;
  });
}

// Keeps the last path element and as much of the start as fits, with "..." between them.
Piece PathEllipsis(const LineStyle& style, const Piece& line, int32_t maxWidth) {
  const std::string& s = line.text;
  size_t sep = s.find_last_of("\\/");
  if (sep == std::string::npos || sep == 0) return EndEllipsis(style, line, maxWidth, false);
  Piece tail = SubPiece(line, sep, s.size());
  std::vector<size_t> cuts = fontengine::ClusterStarts(style.face, s.substr(0, sep));
  return LongestFitting(style, cuts, maxWidth, [&](size_t end) {
    Piece p = SubPiece(line, 0, end);
    Append(p, Piece{"...", {}});
    Append(p, tail);
    return p;
  });
}

int DrawTextImpl(HDC h, std::string_view text, RECT* rect, UINT format) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !rect) return 0;
  FacePtr face = FaceOf(*dc);
  const FaceMetrics& m = fontengine::Metrics(*face);
  LineStyle style{*face, dc->st.textCharExtra, (format & DT_EXPANDTABS) != 0, 8 * m.AveCharWidth};
  int32_t lineHeight = m.Height + ((format & DT_EXTERNALLEADING) ? m.ExternalLeading : 0);
  bool singleLine = (format & DT_SINGLELINE) != 0;
  int32_t boxWidth = rect->Right - rect->Left;

  std::vector<Piece> lines;
  for (Piece& para : Paragraphs(StripPrefixes(text, format), singleLine)) {
    if ((format & DT_WORDBREAK) && !singleLine) {
      for (Piece& l : Wrap(style, para, boxWidth, (format & DT_EDITCONTROL) != 0)) lines.push_back(std::move(l));
    } else {
      lines.push_back(std::move(para));
    }
  }

  std::vector<int32_t> widths;
  int32_t maxWidth = 0;
  for (Piece& l : lines) {
    int32_t w = style.Width(l.text);
    if (w > boxWidth && (format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS))) {
      if (format & DT_PATH_ELLIPSIS) l = PathEllipsis(style, l, boxWidth);
      else l = EndEllipsis(style, l, boxWidth, (format & DT_END_ELLIPSIS) == 0);
      w = style.Width(l.text);
    }
    widths.push_back(w);
    maxWidth = std::max(maxWidth, w);
  }
  int32_t total = lineHeight * int32_t(lines.size());

  if (format & DT_CALCRECT) {
    rect->Right = rect->Left + maxWidth;
    rect->Bottom = rect->Top + total;
    return total;
  }

  int32_t top = rect->Top;
  bool placed = false;
  if (singleLine && (format & DT_VCENTER)) {
    top = rect->Top + (rect->Bottom - rect->Top - lineHeight) / 2;
    placed = true;
  } else if (singleLine && (format & DT_BOTTOM)) {
    top = rect->Bottom - lineHeight;
    placed = true;
  }

  TRect limit(INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2);
  if (!(format & DT_NOCLIP)) {
    limit = LogicalToDevice(*dc, *rect);
    if (limit.IsEmpty()) return placed ? top + total - rect->Top : total;
  }
  bool opaque = dc->st.bkMode == OPAQUE;
  for (size_t i = 0; i < lines.size(); ++i) {
    int32_t x = rect->Left;
    if (format & DT_CENTER) x = rect->Left + (boxWidth - widths[i]) / 2;
    else if (format & DT_RIGHT) x = rect->Right - widths[i];
    int32_t y = top + int32_t(i) * lineHeight;
    TPoint origin = LogicalToDevice(*dc, TPoint(x, y));
    if (!(format & DT_NOCLIP) && (origin.Y >= limit.Bottom || origin.Y + lineHeight <= limit.Top)) continue;
    DrawCell(*dc, *face, origin, style.Runs(lines[i].text, lines[i].underlined, 0), widths[i], limit, opaque);
  }
  return placed ? top + total - rect->Top : total;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Fonts
// ---------------------------------------------------------------------------------------------

HFONT CreateFontIndirect(const LOGFONT* font) {
  if (!font) return nullptr;
  auto* f = new GdiFont();
  f->lf = *font;
  f->lf.lfFaceName[LF_FACESIZE - 1] = '\0';
  return static_cast<HFONT>(GdiRegister(f));
}

HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                 DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                 DWORD quality, DWORD pitchAndFamily, const char* faceName) {
  LOGFONT lf;
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfEscapement = escapement;
  lf.lfOrientation = orientation;
  lf.lfWeight = weight;
  lf.lfItalic = uint8_t(italic != 0);
  lf.lfUnderline = uint8_t(underline != 0);
  lf.lfStrikeOut = uint8_t(strikeOut != 0);
  lf.lfCharSet = uint8_t(charSet);
  lf.lfOutPrecision = uint8_t(outPrecision);
  lf.lfClipPrecision = uint8_t(clipPrecision);
  lf.lfQuality = uint8_t(quality);
  lf.lfPitchAndFamily = uint8_t(pitchAndFamily);
  if (faceName) {
    size_t n = strnlen(faceName, LF_FACESIZE - 1);
    std::memcpy(lf.lfFaceName, faceName, n);
    lf.lfFaceName[n] = '\0';
  }
  return CreateFontIndirect(&lf);
}

bool GetTextMetrics(HDC h, TEXTMETRIC* tm) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !tm) return false;
  FacePtr face = FaceOf(*dc);
  const FaceMetrics& m = fontengine::Metrics(*face);
  const LOGFONT& lf = SelectedLogFont(*dc);
  *tm = TEXTMETRIC();
  tm->tmHeight = m.Height;
  tm->tmAscent = m.Ascent;
  tm->tmDescent = m.Descent;
  tm->tmInternalLeading = m.InternalLeading;
  tm->tmExternalLeading = m.ExternalLeading;
  tm->tmAveCharWidth = m.AveCharWidth;
  tm->tmMaxCharWidth = m.MaxCharWidth;
  tm->tmWeight = lf.lfWeight > 0 ? lf.lfWeight : FW_NORMAL;
  tm->tmDigitizedAspectX = 96;
  tm->tmDigitizedAspectY = 96;
  tm->tmFirstChar = 0x20;
  tm->tmLastChar = 0xFF;
  tm->tmDefaultChar = 0x1F;
  tm->tmBreakChar = 0x20;
  tm->tmItalic = lf.lfItalic ? 0xFF : 0;
  tm->tmUnderlined = lf.lfUnderline ? 0xFF : 0;
  tm->tmStruckOut = lf.lfStrikeOut ? 0xFF : 0;
  std::string family = fontengine::FamilyName(*face);
  uint8_t fam = lf.lfPitchAndFamily & 0xF0;
  if (fam == FF_DONTCARE) {
    if (m.FixedPitch) fam = FF_MODERN;
    else if (family.find("Serif") != std::string::npos) fam = FF_ROMAN;
    else fam = FF_SWISS;
  }
  // The pitch bit is named for fixed pitch but is set for variable-pitch fonts.
  tm->tmPitchAndFamily = uint8_t(fam | TMPF_VECTOR | TMPF_TRUETYPE | (m.FixedPitch ? 0 : TMPF_FIXED_PITCH));
  tm->tmCharSet = lf.lfCharSet == DEFAULT_CHARSET ? ANSI_CHARSET : lf.lfCharSet;
  return true;
}

int GetTextFace(HDC h, int count, char* name) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return 0;
  const LOGFONT& lf = SelectedLogFont(*dc);
  std::string face(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE));
  if (face.empty()) face = fontengine::FamilyName(*FaceOf(*dc));
  if (!name) return int(face.size()) + 1;
  if (count <= 0) return 0;
  size_t n = std::min(face.size(), size_t(count) - 1);
  while (n > 0 && n < face.size() && (static_cast<unsigned char>(face[n]) & 0xC0) == 0x80) --n;  // whole characters
  std::memcpy(name, face.data(), n);
  name[n] = '\0';
  return int(n);
}

UINT SetTextAlign(HDC h, UINT align) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return GDI_ERROR_ALIGN;
  UINT old = dc->st.textAlign;
  dc->st.textAlign = align & TA_MASK;
  return old;
}

UINT GetTextAlign(HDC h) {
  GdiDC* dc = DCFromHandle(h);
  return dc ? dc->st.textAlign : GDI_ERROR_ALIGN;
}

int SetTextCharacterExtra(HDC h, int extra) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return int(0x80000000u);
  int old = dc->st.textCharExtra;
  dc->st.textCharExtra = extra;
  return old;
}

int GetTextCharacterExtra(HDC h) {
  GdiDC* dc = DCFromHandle(h);
  return dc ? dc->st.textCharExtra : int(0x80000000u);
}

// ---------------------------------------------------------------------------------------------
// Measuring
// ---------------------------------------------------------------------------------------------

bool GetTextExtentPoint32(HDC h, std::string_view text, SIZE* size) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !size) return false;
  FacePtr face = FaceOf(*dc);
  LineStyle style{*face, dc->st.textCharExtra, false, 0};
  size->cx = style.Width(text);
  size->cy = fontengine::Metrics(*face).Height;
  return true;
}

bool GetTextExtentPoint32(HDC h, const char* text, int count, SIZE* size) {
  return GetTextExtentPoint32(h, Slice(text, count), size);
}

bool GetTextExtentExPoint(HDC h, const char* text, int count, int maxExtent, int* fit, int* dx, SIZE* size) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !size) return false;
  std::string_view s = Slice(text, count);
  FacePtr face = FaceOf(*dc);
  int32_t extra = dc->st.textCharExtra;
  std::vector<int32_t> ext = fontengine::ByteExtents(*face, s);
  std::vector<size_t> starts = fontengine::ClusterStarts(*face, s);
  // Extent up to the end of each byte's cluster, with the character extra of the clusters so far.
  size_t ci = 0;
  for (size_t b = 0; b < s.size(); ++b) {
    while (ci + 1 < starts.size() && starts[ci + 1] <= b) ++ci;
    ext[b] += extra * int32_t(ci + 1);
  }
  if (dx)
    for (size_t b = 0; b < s.size(); ++b) dx[b] = ext[b];
  if (fit) {
    int n = 0;
    for (size_t i = 0; i < starts.size(); ++i) {
      size_t end = i + 1 < starts.size() ? starts[i + 1] : s.size();
      if (ext[end - 1] > maxExtent) break;
      n = int(end);
    }
    *fit = n;
  }
  size->cx = s.empty() ? 0 : ext.back();
  size->cy = fontengine::Metrics(*face).Height;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------

bool TextOut(HDC dc, int x, int y, std::string_view text) { return TextOutImpl(dc, x, y, 0, nullptr, text, nullptr); }

bool TextOut(HDC dc, int x, int y, const char* text, int count) {
  return TextOutImpl(dc, x, y, 0, nullptr, Slice(text, count), nullptr);
}

bool ExtTextOut(HDC dc, int x, int y, UINT options, const RECT* rect, const char* text, UINT count, const int* dx) {
  return TextOutImpl(dc, x, y, options, rect, Slice(text, text ? int64_t(count) : 0), dx);
}

int DrawText(HDC dc, std::string_view text, RECT* rect, UINT format) { return DrawTextImpl(dc, text, rect, format); }

int DrawText(HDC dc, const char* text, int count, RECT* rect, UINT format) {
  return DrawTextImpl(dc, Slice(text, count), rect, format);
}

}  // namespace zv

namespace zv {

DWORD GetGlyphOutline(HDC h, UINT ch, UINT format, GLYPHMETRICS* metrics, DWORD bufferSize, void* buffer,
                      const MAT2* transform) {
  (void)bufferSize, (void)buffer, (void)transform;
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !metrics || format != GGO_METRICS || ch > 0x10FFFF) return GDI_ERROR_DWORD;
  std::string text;
  if (ch < 0x80) {
    text.push_back(char(ch));
  } else if (ch < 0x800) {
    text.push_back(char(0xC0 | (ch >> 6)));
    text.push_back(char(0x80 | (ch & 0x3F)));
  } else if (ch < 0x10000) {
    text.push_back(char(0xE0 | (ch >> 12)));
    text.push_back(char(0x80 | ((ch >> 6) & 0x3F)));
    text.push_back(char(0x80 | (ch & 0x3F)));
  } else {
    text.push_back(char(0xF0 | (ch >> 18)));
    text.push_back(char(0x80 | ((ch >> 12) & 0x3F)));
    text.push_back(char(0x80 | ((ch >> 6) & 0x3F)));
    text.push_back(char(0x80 | (ch & 0x3F)));
  }
  FacePtr face = FaceOf(*dc);
  const FaceMetrics& m = fontengine::Metrics(*face);
  const int32_t advance = fontengine::TextWidth(*face, text);
  // The cell drawn with its top-left at the origin of a box large enough for any turn of it.
  const int32_t reach = std::max(m.Height, advance) * 2 + 4;
  const TRect limit(-reach, -reach, reach, reach);
  int32_t l = INT32_MAX, t = INT32_MAX, r = INT32_MIN, b = INT32_MIN;
  // The black box is measured on the drawn glyph; a glyph too large to draw for that (a font of
  // hundreds of pixels, drawn along a path a glyph at a time) takes its turned ink rectangle instead.
  constexpr int64_t MostMeasuredPixels = int64_t(1) << 16;
  const TRect ink = fontengine::InkBox(*face, TPoint(0, 0), text);
  if (ink.IsEmpty()) {
    // No ink: a blank glyph, however large its cell.
  } else if (int64_t(ink.Width()) * ink.Height() > MostMeasuredPixels) {
    l = ink.Left + 1;
    t = ink.Top + 1;
    r = ink.Right - 2;
    b = ink.Bottom - 2;
  } else {
    std::vector<Run> runs{Run{text, 0, {}}};
    // Drawn only over its ink: the cell may be far larger (a wide space, a tall line).
    TRect area;
    IntersectRect(area, ink, limit);
    const Mask mask = fontengine::RenderRuns(*face, TPoint(0, 0), runs, area);
    for (int32_t y = mask.Box.Top; y < mask.Box.Bottom; ++y)
      for (int32_t x = mask.Box.Left; x < mask.Box.Right; ++x)
        if (mask.At(x, y) != 0) {
          l = std::min(l, x);
          t = std::min(t, y);
          r = std::max(r, x);
          b = std::max(b, y);
        }
  }
  // The baseline origin, turned with the cell like the drawing.
  const TPoint base = fontengine::RotateOffset(*face, 0, m.Ascent);
  const TPoint inc = fontengine::RotateOffset(*face, advance, 0);
  *metrics = GLYPHMETRICS();
  if (l <= r) {
    metrics->gmBlackBoxX = UINT(r - l + 1);
    metrics->gmBlackBoxY = UINT(b - t + 1);
    metrics->gmptGlyphOrigin = POINT(l - base.X, base.Y - t);
  } else {
    // A blank glyph: Windows reports a 1 x 1 box.
    metrics->gmBlackBoxX = metrics->gmBlackBoxY = 1;
  }
  metrics->gmCellIncX = int16_t(std::clamp(inc.X, -32768, 32767));
  metrics->gmCellIncY = int16_t(std::clamp(-inc.Y, -32768, 32767));
  return 0;
}

}  // namespace zv
