#include "imaging/core/mask.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/ie_lists.h"
#include "imaging/core/sys_probes.h"
#include "platform/checked_math.h"
#include "platform/graphics.h"

namespace zv {

TIEMask::TIEMask() {
  FDibInfo.Header.biSize = 40;
  FDibInfo.Header.biPlanes = 1;
  FDibInfo.Header.biBitCount = 1;
  FDibInfo.Header.biCompression = BI_RGB;
  FDibInfo.Colors[0] = RGBQUAD{0, 0, 0, 0};
  FDibInfo.Colors[1] = RGBQUAD{255, 255, 255, 0};
  FPixelBitmap = std::make_unique<TBitmap>();
  FPixelBitmap->SetPixelFormat(pf24bit);
  FPixelBitmap->SetSize(1, 1);
  FPixel = static_cast<uint8_t*>(FPixelBitmap->ScanLine(0));
}

TIEMask::~TIEMask() {
  FPixelBitmap.reset();
  FreeBits();
}

void TIEMask::EmptyBox() {
  X1 = Y1 = INT32_MAX;
  X2 = Y2 = 0;
}

void TIEMask::FreeBits() {
  FZoom.clear();
  FZoom.shrink_to_fit();
  FZoomWidth = FZoomHeight = 0;
  FBits.reset();
  FWidth = FHeight = FBitsPerPixel = FRowLength = 0;
}

namespace {

// The row length and byte count of a mask's rows; false when either does not fit (the row length an
// int32, the rows the machine's memory).
bool MaskGeometry(int32_t W, int32_t H, int32_t BitsPerPixel, int32_t& RowLength, size_t& Bytes) {
  int64_t Bits = 0, Row = 0, Total = 0;
  if (!CheckedMul<int64_t>(W, BitsPerPixel, Bits)) return false;
  Row = ((Bits + 31) >> 5) << 2;
  if (Row > INT32_MAX || !CheckedSize({Row, H}, Total) || !MemoryCanHold(Total)) return false;
  RowLength = int32_t(Row);
  Bytes = size_t(Total);
  return true;
}

}  // namespace

bool TIEMask::Allocate(int32_t W, int32_t H, int32_t BitsPerPixel) {
  FreeBits();
  EmptyBox();
  FFull = false;
  W = std::max(W, 0);
  H = std::max(H, 0);
  const int32_t Depth = BitsPerPixel == 1 ? 1 : 8;
  int32_t RowLen = 0;
  size_t Bytes = 0;
  if (!MaskGeometry(W, H, Depth, RowLen, Bytes)) return false;
  FBits.reset(new uint8_t[Bytes + 1]());
  FWidth = W;
  FHeight = H;
  FBitsPerPixel = Depth;
  FRowLength = RowLen;
  return true;
}

bool TIEMask::Resize(int32_t W, int32_t H) {
  if (FBitsPerPixel == 0) return false;
  W = std::max(W, 0);
  H = std::max(H, 0);
  int32_t NewRowLength = 0;
  size_t Bytes = 0;
  if (!MaskGeometry(W, H, FBitsPerPixel, NewRowLength, Bytes)) return false;
  std::unique_ptr<uint8_t[]> NewBits(new uint8_t[Bytes + 1]());
  int32_t Rows = std::min(FHeight, H);
  int32_t RowBytes = std::min(FRowLength, NewRowLength);
  for (int32_t y = 0; y < Rows; ++y)
    std::memcpy(NewBits.get() + size_t(NewRowLength) * size_t(H - y - 1), GetScanline(y), size_t(RowBytes));
  FBits = std::move(NewBits);
  FWidth = W;
  FHeight = H;
  FRowLength = NewRowLength;
  if (X1 < X2) {
    X1 = std::min(X1, W - 1);
    X2 = std::min(X2, W - 1);
    Y1 = std::min(Y1, H - 1);
    Y2 = std::min(Y2, H - 1);
  }
  return true;
}

uint8_t* TIEMask::GetScanline(int32_t Y) const {
  return FBits.get() + size_t(FRowLength) * size_t(FHeight - Y - 1);
}

int32_t TIEMask::GetPixel(int32_t X, int32_t Y) const {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight || !FBits) return 0;
  const uint8_t* Row = GetScanline(Y);
  if (FBitsPerPixel == 8) return Row[X];
  return Row[X >> 3] & (0x80 >> (X & 7));
}

void TIEMask::SetBit(uint8_t* Row, int32_t X, bool On) {
  if (On)
    Row[X >> 3] |= uint8_t(0x80 >> (X & 7));
  else
    Row[X >> 3] &= uint8_t(~(0x80 >> (X & 7)));
}

void TIEMask::SetPixel(int32_t X, int32_t Y, int32_t V) {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight || !FBits) return;
  if (V != 0) ExpandBox(X, Y, X1, Y1, X2, Y2, FWidth, FHeight);
  uint8_t* Row = GetScanline(Y);
  if (FBitsPerPixel == 1) {
    if (V == 0) FFull = false;
    SetBit(Row, X, V != 0);
  } else {
    if (V != 255) FFull = false;
    Row[X] = uint8_t(V);
  }
}

void TIEMask::ExpandBox(int32_t X, int32_t Y, int32_t& BX1, int32_t& BY1, int32_t& BX2, int32_t& BY2, int32_t W,
                        int32_t H) {
  BX1 = std::clamp(std::min(BX1, X), 0, std::max(W - 1, 0));
  BY1 = std::clamp(std::min(BY1, Y), 0, std::max(H - 1, 0));
  BX2 = std::clamp(std::max(BX2, X), 0, std::max(W - 1, 0));
  BY2 = std::clamp(std::max(BY2, Y), 0, std::max(H - 1, 0));
}

void TIEMask::RecalcBoundingBox() {
  EmptyBox();
  for (int32_t y = 0; y < FHeight; ++y)
    for (int32_t x = 0; x < FWidth; ++x)
      if (GetPixel(x, y) != 0) ExpandBox(x, y, X1, Y1, X2, Y2, FWidth, FHeight);
}

void TIEMask::Fill(int32_t V) {
  if (FBits) std::memset(FBits.get(), uint8_t(V), size_t(FRowLength) * size_t(FHeight));
  FFull = V == 255;
}

void TIEMask::Clear() {
  Fill(0);
  EmptyBox();
}

void TIEMask::CheckFull() {
  FFull = true;
  for (int32_t y = 0; y < FHeight && FFull; ++y) {
    const uint8_t* Row = GetScanline(y);
    if (FBitsPerPixel == 8) {
      for (int32_t x = 0; x < FWidth; ++x)
        if (Row[x] != 255) {
          FFull = false;
          break;
        }
    } else {
      int32_t Whole = FWidth / 8;
      for (int32_t i = 0; i < Whole; ++i)
        if (Row[i] != 255) {
          FFull = false;
          break;
        }
      int32_t Rest = FWidth % 8;
      if (Rest != 0) {
        uint8_t Need = uint8_t(0xFF << (8 - Rest));
        if ((Row[Whole] & Need) != Need) FFull = false;
      }
    }
  }
}

int32_t TIEMask::FillRowSpan(int32_t V, int32_t SpanX1, int32_t SpanX2, int32_t Y) {
  if (!FBits || FWidth == 0 || FHeight == 0) return 0;
  SpanX1 = std::max(SpanX1, 0);
  SpanX2 = std::min(SpanX2, FWidth - 1);
  Y = std::clamp(Y, 0, FHeight - 1);
  if (SpanX1 > SpanX2) return 0;
  uint8_t* Row = GetScanline(Y);
  if (FBitsPerPixel == 1) {
    if (V != 1) FFull = false;
    for (int32_t x = SpanX1; x <= SpanX2; ++x) SetBit(Row, x, V == 1);
  } else {
    if (V != 255) FFull = false;
    std::memset(Row + SpanX1, uint8_t(V), size_t(SpanX2 - SpanX1 + 1));
  }
  return SpanX2 - SpanX1 + 1;
}

void TIEMask::FillPolygons(int32_t V, const TPoint* Points, int32_t Count) {
  int32_t Start = 0;
  for (int32_t i = 0; i <= Count; ++i) {
    if (i == Count || Points[i].X == IEPolygonSeparator) {
      if (i > Start) FillPolygon(V, Points + Start, i - Start);
      Start = i + 1;
    }
  }
  CheckFull();
}

namespace {

// Wide fields: the points come from outside (selection records), and their differences need 33 bits.
struct TPolyEdge {
  int64_t X;     // current x
  int64_t YTop;  // start row
  int64_t YEnd;  // the row at which the edge leaves
  int64_t DX;
  int64_t DY;
  int64_t Err;
};

// One row down the edge.
void StepEdge(TPolyEdge& E) {
  E.X += E.DX / E.DY;
  E.Err += 2 * (E.DX % E.DY);
  if (E.Err > E.DY) {
    E.Err -= 2 * E.DY;
    ++E.X;
  } else if (E.Err < -E.DY) {
    E.Err += 2 * E.DY;
    --E.X;
  }
}

// K rows down the edge at once, where K steps would end: the error only ever moves by 2 * (DX % DY) and
// is brought back into (-DY, DY] (or [-DY, DY) going left) by one correction of the x each time.
void SkipEdge(TPolyEdge& E, int64_t K) {
  __extension__ typedef __int128 Wide;
  const int64_t Q = E.DX / E.DY, R = E.DX % E.DY;
  E.X += K * Q;
  if (R == 0) return;
  const Wide Drift = Wide(2) * K * (R < 0 ? -R : R);
  const Wide Period = Wide(2) * E.DY;
  const Wide Corrections = Drift > E.DY ? (Drift - E.DY + Period - 1) / Period : 0;
  const Wide Err = Drift - Corrections * Period;
  E.X += int64_t(R < 0 ? -Corrections : Corrections);
  E.Err = int64_t(R < 0 ? -Err : Err);
}

}  // namespace

void TIEMask::FillPolygon(int32_t V, const TPoint* Points, int32_t N) {
  if (N < 2 || !FBits) return;
  int32_t SavedBox[4] = {X1, Y1, X2, Y2};
  int32_t MinY = Points[0].Y;
  int32_t MaxY = Points[0].Y;
  if (V != 0) {
    int32_t MinX = Points[0].X;
    int32_t MaxX = Points[0].X;
    for (int32_t i = 0; i < N; ++i) {
      MinX = std::min(MinX, Points[i].X);
      MaxX = std::max(MaxX, Points[i].X);
    }
    for (int32_t i = 0; i < N; ++i) {
      MinY = std::min(MinY, Points[i].Y);
      MaxY = std::max(MaxY, Points[i].Y);
    }
    X1 = std::clamp(std::min(X1, MinX), 0, std::max(FWidth - 1, 0));
    Y1 = std::clamp(std::min(Y1, MinY), 0, std::max(FHeight - 1, 0));
    X2 = int32_t(std::clamp<int64_t>(std::max<int64_t>(X2, int64_t(MaxX) - 1), 0, std::max(FWidth - 1, 0)));
    Y2 = int32_t(std::clamp<int64_t>(std::max<int64_t>(Y2, int64_t(MaxY) - 1), 0, std::max(FHeight - 1, 0)));
  }
  std::vector<TPolyEdge> Edges;
  for (int32_t i = 0; i < N; ++i) {
    TPoint A = Points[i];
    TPoint B = Points[(i + 1) % N];
    MinY = std::min(MinY, A.Y);
    MaxY = std::max(MaxY, A.Y);
    if (A.Y == B.Y) continue;
    if (A.Y > B.Y) std::swap(A, B);
    Edges.push_back(TPolyEdge{A.X, A.Y, B.Y, int64_t(B.X) - A.X, int64_t(B.Y) - A.Y, 0});
  }
  std::sort(Edges.begin(), Edges.end(), [](const TPolyEdge& L, const TPolyEdge& R) { return L.YTop < R.YTop; });
  auto Before = [](const TPolyEdge& L, const TPolyEdge& R) {
    if (L.X != R.X) return L.X < R.X;
    __extension__ typedef __int128 Wide;
    return Wide(L.DX) * R.DY < Wide(R.DX) * L.DY;
  };

  // Only the mask's rows are walked: rows outside it draw nothing, and the points may lie far away. The
  // edges that began above the first row arrive there as if they had been walked down to it.
  const int64_t First = std::max<int64_t>(MinY, 0);
  const int64_t Last = std::min<int64_t>(MaxY, int64_t(FHeight) - 1);
  std::vector<TPolyEdge> Active;
  size_t Next = 0;
  for (; Next < Edges.size() && Edges[Next].YTop < First; ++Next) {
    if (Edges[Next].YEnd <= First) continue;
    Active.push_back(Edges[Next]);
    SkipEdge(Active.back(), First - 1 - Edges[Next].YTop);
  }
  int64_t Written = 0;
  auto Column = [](int64_t X) { return int32_t(std::clamp<int64_t>(X, INT32_MIN, INT32_MAX)); };
  for (int64_t y = First; y <= Last; ++y) {
    Active.erase(std::remove_if(Active.begin(), Active.end(), [y](const TPolyEdge& E) { return E.YEnd == y; }),
                 Active.end());
    for (TPolyEdge& E : Active) StepEdge(E);
    while (Next < Edges.size() && Edges[Next].YTop == y) Active.push_back(Edges[Next++]);
    std::stable_sort(Active.begin(), Active.end(), Before);
    for (size_t i = 0; i + 1 < Active.size(); i += 2)
      Written += FillRowSpan(V, Column(Active[i].X), Column(Active[i + 1].X - 1), int32_t(y));
  }
  if (Written == 0) {
    // Nothing was drawn: the box keeps what it held before this polygon (empty on an empty mask).
    X1 = SavedBox[0];
    Y1 = SavedBox[1];
    X2 = SavedBox[2];
    Y2 = SavedBox[3];
  }
}

void TIEMask::Translate(int32_t& DX, int32_t& DY, bool ClipBox) {
  if (IsEmpty()) RecalcBoundingBox();
  if (IsEmpty()) return;
  if (ClipBox) {
    if (X1 + DX < 0) X1 = -DX;
    if (X2 + DX >= FWidth) X2 = FWidth - 1 - DX;
    if (Y1 + DY < 0) Y1 = -DY;
    if (Y2 + DY >= FHeight) Y2 = FHeight - 1 - DY;
  } else {
    if (X1 + DX < 0) DX = -X1;
    if (X2 + DX >= FWidth) DX = FWidth - X2 - 1;
    if (Y1 + DY < 0) DY = -Y1;
    if (Y2 + DY >= FHeight) DY = FHeight - Y2 - 1;
  }
  if (DX == 0 && DY == 0) return;
  if (FBitsPerPixel == 1 && (X2 < X1 || Y2 < Y1)) {
    Clear();
    return;
  }
  size_t Size = size_t(FRowLength) * size_t(FHeight);
  std::unique_ptr<uint8_t[]> Old(new uint8_t[Size + 1]);
  std::memcpy(Old.get(), FBits.get(), Size);
  std::memset(FBits.get(), 0, Size);
  for (int32_t y = std::max(Y1, 0); y <= std::min(Y2, FHeight - 1); ++y) {
    const uint8_t* From = Old.get() + size_t(FRowLength) * size_t(FHeight - y - 1);
    int32_t ty = y + DY;
    if (ty < 0 || ty >= FHeight) continue;
    uint8_t* To = GetScanline(ty);
    for (int32_t x = std::max(X1, 0); x <= std::min(X2, FWidth - 1); ++x) {
      int32_t tx = x + DX;
      if (tx < 0 || tx >= FWidth) continue;
      if (FBitsPerPixel == 1) {
        if (From[x >> 3] & (0x80 >> (x & 7))) SetBit(To, tx, true);
      } else {
        To[tx] = From[x];
      }
    }
  }
  X1 = std::clamp(X1 + DX, 0, FWidth - 1);
  X2 = std::clamp(X2 + DX, 0, FWidth - 1);
  Y1 = std::clamp(Y1 + DY, 0, FHeight - 1);
  Y2 = std::clamp(Y2 + DY, 0, FHeight - 1);
}

void TIEMask::DrawInverted(TCanvas* Canvas, int32_t XDst, int32_t YDst, int32_t WDst, int32_t HDst, int32_t XSrc,
                           int32_t YSrc, int32_t WSrc, int32_t HSrc) {
  if (FBitsPerPixel != 1 || IsEmpty() || !FBits) return;
  FDibInfo.Header.biWidth = FWidth;
  FDibInfo.Header.biHeight = FHeight;
  StretchDIBits(Canvas->Handle(), XDst, YDst, WDst, HDst, XSrc, FHeight - YSrc - HSrc, WSrc, HSrc, FBits.get(),
                reinterpret_cast<const BITMAPINFO*>(&FDibInfo), DIB_RGB_COLORS, SRCINVERT);
}

void TIEMask::StretchToBuffer(int32_t WDst, int32_t HDst, int32_t XSrc, int32_t YSrc, int32_t WSrc, int32_t HSrc,
                              int32_t& C0, int32_t& C1, int32_t& R0, int32_t& R1) {
  if (WDst != FZoomWidth || HDst != FZoomHeight) {
    FZoom.assign(size_t(WDst) * size_t(HDst), 0);
    FZoomWidth = WDst;
    FZoomHeight = HDst;
  } else {
    std::fill(FZoom.begin(), FZoom.end(), 0);
  }
  int64_t StepX = int64_t(double(WSrc) / WDst * 16384.0);
  int64_t StepY = int64_t(double(HSrc) / HDst * 16384.0);
  C0 = R0 = INT32_MAX;
  C1 = R1 = -1;
  for (int32_t c = 0; c < WDst; ++c) {
    int64_t sx = XSrc + ((c * StepX) >> 14);
    if (sx >= X1 && sx <= X2) {
      C0 = std::min(C0, c);
      C1 = c;
    }
  }
  for (int32_t r = 0; r < HDst; ++r) {
    int64_t sy = YSrc + ((r * StepY) >> 14);
    if (sy >= Y1 && sy <= Y2) {
      R0 = std::min(R0, r);
      R1 = r;
    }
  }
  for (int32_t r = R0; r <= R1; ++r) {
    int32_t sy = int32_t(YSrc + ((r * StepY) >> 14));
    uint8_t* Out = FZoom.data() + size_t(r) * size_t(WDst);
    for (int32_t c = C0; c <= C1; ++c) Out[c] = GetPixel(int32_t(XSrc + ((c * StepX) >> 14)), sy) != 0;
  }
}

void TIEMask::DrawOutline(TCanvas* Canvas, int32_t XDst, int32_t YDst, int32_t WDst, int32_t HDst, int32_t XSrc,
                          int32_t YSrc, int32_t WSrc, int32_t HSrc, int32_t Phase, TColor Color1, TColor Color2,
                          TRect* Rect) {
  if (WDst < 1 || HDst < 1 || IsEmpty() || !FBits) return;
  int32_t C0, C1, R0, R1;
  StretchToBuffer(WDst, HDst, XSrc, YSrc, WSrc, HSrc, C0, C1, R0, R1);
  if (Rect != nullptr && C0 <= C1 && R0 <= R1)
    *Rect = TRect(XDst + C0 + 1, YDst + R0 + 1, XDst + C1, YDst + R1);
  if (C0 > C1 || R0 > R1) return;
  int64_t StepX = int64_t(double(WSrc) / WDst * 16384.0);
  int64_t StepY = int64_t(double(HSrc) / HDst * 16384.0);
  Canvas->Pen()->SetStyle(psSolid);
  Canvas->Pen()->SetMode(pmCopy);
  TIERGB24 First = ColorToRGB24(Color1);
  TIERGB24 Second = ColorToRGB24(Color2);
  auto Selected = [&](int32_t c, int32_t r) { return FZoom[size_t(r) * size_t(WDst) + size_t(c)] != 0; };
  for (int32_t r = R0; r <= R1; ++r) {
    int64_t sy = YSrc + ((r * StepY) >> 14);
    for (int32_t c = C0; c <= C1; ++c) {
      if (!Selected(c, r)) continue;
      int64_t sx = XSrc + ((c * StepX) >> 14);
      bool Paint;
      if (c == 0)
        Paint = sx <= X1;
      else if (c == WDst - 1)
        Paint = sx >= X2 || WSrc == FWidth;
      else if (r == 0)
        Paint = sy <= Y1;
      else if (r == HDst - 1)
        Paint = sy >= Y2 || HSrc == FHeight;
      else {
        Paint = false;
        for (int32_t rr = std::max(r - 1, 0); rr <= std::min(r + 1, HDst - 1) && !Paint; ++rr)
          for (int32_t cc = std::max(c - 1, 0); cc <= std::min(c + 1, WDst - 1); ++cc)
            if (!Selected(cc, rr)) {
              Paint = true;
              break;
            }
      }
      if (!Paint) continue;
      int32_t x = XDst + c;
      int32_t y = YDst + r;
      const int32_t Dash = int32_t(((int64_t(x) + y + Phase) % 8 + 8) % 8);
      TIERGB24 C = Dash < 4 ? Second : First;
      FPixel[0] = C.b;
      FPixel[1] = C.g;
      FPixel[2] = C.r;
      Canvas->Draw(x, y, FPixelBitmap.get());
    }
  }
}

void TIEMask::DrawOverlay(TBitmap* Bitmap, int32_t XDst, int32_t YDst, int32_t WDst, int32_t HDst, int32_t XSrc,
                          int32_t YSrc, int32_t WSrc, int32_t HSrc, int32_t Transparency, TColor Color) {
  if (WDst <= 0 || HDst <= 0 || IsEmpty() || !FBits) return;
  if (XDst < 0) {
    int32_t Shift = int32_t(int64_t(-XDst) * WSrc / WDst);
    XSrc += Shift;
    WSrc -= Shift;
    WDst += XDst;
    XDst = 0;
  }
  if (YDst < 0) {
    int32_t Shift = int32_t(int64_t(-YDst) * HSrc / HDst);
    YSrc += Shift;
    HSrc -= Shift;
    HDst += YDst;
    YDst = 0;
  }
  if (WDst <= 0 || HDst <= 0) return;
  // Unselected pixels are wanted here, so the whole covered area is zoomed, not just the box.
  int32_t C0, C1, R0, R1;
  StretchToBuffer(WDst, HDst, XSrc, YSrc, WSrc, HSrc, C0, C1, R0, R1);
  int64_t StepX = int64_t(double(WSrc) / WDst * 16384.0);
  int64_t StepY = int64_t(double(HSrc) / HDst * 16384.0);
  TIERGB24 Shade = ColorToRGB24(Color);
  double t = Transparency / 255.0;
  for (int32_t i = 0; i < HDst && YDst + i < Bitmap->Height(); ++i) {
    int64_t sy = YSrc + ((i * StepY) >> 14);
    if (sy < 0 || sy >= FHeight) continue;
    auto* Row = static_cast<uint8_t*>(Bitmap->ScanLine(YDst + i));
    for (int32_t j = 0; j < WDst && XDst + j < Bitmap->Width(); ++j) {
      int64_t sx = XSrc + ((j * StepX) >> 14);
      if (sx < 0 || sx >= FWidth) continue;
      if (FZoom[size_t(i) * size_t(WDst) + size_t(j)] != 0) continue;
      uint8_t* P = Row + size_t(XDst + j) * 3;
      if (Transparency == -1) {
        if ((i & 1) == (j & 1)) {
          P[0] = Shade.b;
          P[1] = Shade.g;
          P[2] = Shade.r;
        }
      } else {
        P[0] = uint8_t(std::trunc(t * Shade.b + (1 - t) * P[0]));
        P[1] = uint8_t(std::trunc(t * Shade.g + (1 - t) * P[1]));
        P[2] = uint8_t(std::trunc(t * Shade.r + (1 - t) * P[2]));
      }
    }
  }
}

template <class Visit>
void TIEMask::ForBoxPixels(TIEBitmap* Dest, TIEBitmap* Source, bool DestAtBox, bool SourceAtBox, Visit&& F) {
  if (IsEmpty() || !FBits) return;
  int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  for (int32_t y = std::max(Y1, 0); y <= std::min(Y2, FHeight - 1); ++y) {
    int32_t sy = SourceAtBox ? y - Y1 : y;
    int32_t dy = DestAtBox ? y - Y1 : y;
    if (sy < 0 || sy >= SH || dy < 0 || dy >= DH) continue;
    for (int32_t x = std::max(X1, 0); x <= std::min(X2, FWidth - 1); ++x) {
      int32_t sx = SourceAtBox ? x - X1 : x;
      int32_t dx = DestAtBox ? x - X1 : x;
      if (sx < 0 || sx >= SW || dx < 0 || dx >= DW) continue;
      F(x, y, sx, sy, dx, dy);
    }
  }
}

void TIEMask::CopyMaskedPixels(TIEBitmap* Dest, TIEBitmap* Source, bool DestAtBox, bool SourceAtBox,
                               bool WithAlpha) {
  TIEPixelFormat Format = Source->GetPixelFormat();
  if (Format == Dest->GetPixelFormat() && Format != ieNone) {
    int32_t Bytes = IEBitsOf(Format) / 8;
    TIEDataAccess SavedAccess = Source->Access();
    Source->SetAccess(iedRead);
    ForBoxPixels(Dest, Source, DestAtBox, SourceAtBox,
                 [&](int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t dx, int32_t dy) {
                   int32_t m = GetPixel(x, y);
                   if (m == 0) return;
                   // Both rows are taken afresh for each pixel: a bitmap in a temporary file hands out
                   // one row at a time.
                   const uint8_t* S = Source->GetScanline(sy);
                   uint8_t* D = Dest->GetScanline(dy);
                   if (Format == ie1g) {
                     bool On = S[sx >> 3] & (0x80 >> (sx & 7));
                     SetBit(D, dx, On);
                   } else if (FBitsPerPixel == 1) {
                     std::memcpy(D + size_t(dx) * size_t(Bytes), S + size_t(sx) * size_t(Bytes), size_t(Bytes));
                   } else if (Format == ie24RGB || Bytes == 1) {
                     int32_t Channels = Format == ie24RGB ? 3 : 1;
                     for (int32_t k = 0; k < Channels; ++k) {
                       int32_t s = S[size_t(sx) * size_t(Channels) + size_t(k)];
                       uint8_t& d = D[size_t(dx) * size_t(Channels) + size_t(k)];
                       d = uint8_t(d + (((s - d) * m) >> 8));  // arithmetic shift: floor
                     }
                   }
                 });
    Source->SetAccess(SavedAccess);
  }
  if (WithAlpha) CopyMaskedAlpha(Dest, Source, DestAtBox, SourceAtBox);
}

void TIEMask::CopyMaskedAlpha(TIEBitmap* Dest, TIEBitmap* Source, bool DestAtBox, bool SourceAtBox) {
  if (IsEmpty() || !FBits) return;
  TIEBitmap* DestAlpha = Dest->GetAlphaChannel();
  if (DestAlpha == nullptr) return;
  TIEBitmap* SourceAlpha = Source->HasAlphaChannel() ? Source->GetAlphaChannel() : nullptr;
  ForBoxPixels(Dest, Source, DestAtBox, SourceAtBox,
               [&](int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t dx, int32_t dy) {
                 int32_t m = GetPixel(x, y);
                 uint8_t Value = 0;
                 if (m != 0) {
                   int32_t Limit = FBitsPerPixel == 1 ? 255 : m;
                   int32_t S = SourceAlpha ? SourceAlpha->GetScanline(sy)[sx] : 255;
                   Value = uint8_t(std::min(S, Limit));
                 }
                 DestAlpha->GetScanline(dy)[dx] = Value;
               });
  DestAlpha->SetFull(false);
}

}  // namespace zv
