// The view's cursor pictures. Each is drawn in black ink on a 32 x 32 grid; every transparent pixel that
// touches the ink then turns white, so the shapes show on dark and light images alike.
#include "platform/view_cursors.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <numbers>

namespace zv {

namespace view_cursors_detail {

constexpr int kSize = 32;
constexpr uint8_t kClear = 0, kInk = 1, kPaper = 2;

struct TInkGrid {
  uint8_t Px[kSize * kSize] = {};
  void Set(int X, int Y, uint8_t V = kInk) {
    if (X >= 0 && X < kSize && Y >= 0 && Y < kSize) Px[Y * kSize + X] = V;
  }
  uint8_t At(int X, int Y) const { return X >= 0 && X < kSize && Y >= 0 && Y < kSize ? Px[Y * kSize + X] : kClear; }
  void Line(int X0, int Y0, int X1, int Y1, uint8_t V = kInk) {
    const int DX = std::abs(X1 - X0), DY = -std::abs(Y1 - Y0);
    const int SX = X0 < X1 ? 1 : -1, SY = Y0 < Y1 ? 1 : -1;
    int Err = DX + DY;
    for (;;) {
      Set(X0, Y0, V);
      if (X0 == X1 && Y0 == Y1) return;
      const int E2 = 2 * Err;
      if (E2 >= DY) {
        Err += DY;
        X0 += SX;
      }
      if (E2 <= DX) {
        Err += DX;
        Y0 += SY;
      }
    }
  }
  void Fill(int X0, int Y0, int X1, int Y1, uint8_t V) {
    for (int Y = Y0; Y <= Y1; ++Y)
      for (int X = X0; X <= X1; ++X) Set(X, Y, V);
  }
  void Frame(int X0, int Y0, int X1, int Y1) {
    Line(X0, Y0, X1, Y0);
    Line(X1, Y0, X1, Y1);
    Line(X1, Y1, X0, Y1);
    Line(X0, Y1, X0, Y0);
  }
  // An arc of radius R around (CX, CY) from angle A0 to A1 (degrees, y down).
  void Arc(int CX, int CY, double R, double A0, double A1) {
    const double Step = 1.0 / std::max(R, 1.0);
    const double From = A0 * std::numbers::pi / 180, To = A1 * std::numbers::pi / 180;
    for (double T = From; T <= To + 1e-9; T += Step)
      Set(int(std::lround(CX + R * std::cos(T))), int(std::lround(CY + R * std::sin(T))));
  }
  // The two strokes of an arrowhead at (X, Y) pointing along (DX, DY), each a unit step in x and y.
  void Head(int X, int Y, int DX, int DY, int Len = 4) {
    if (DX == 0 || DY == 0) {
      const int PX = DY, PY = DX;  // across the direction
      Line(X, Y, X - DX * Len + PX * Len, Y - DY * Len + PY * Len);
      Line(X, Y, X - DX * Len - PX * Len, Y - DY * Len - PY * Len);
    } else {
      Line(X, Y, X - DX * Len, Y);
      Line(X, Y, X, Y - DY * Len);
    }
  }
  void DoubleArrow(int X0, int Y0, int X1, int Y1) {
    Line(X0, Y0, X1, Y1);
    const int DX = (X1 > X0) - (X1 < X0), DY = (Y1 > Y0) - (Y1 < Y0);
    Head(X1, Y1, DX, DY);
    Head(X0, Y0, -DX, -DY);
  }
};

// Digits of three by five pixels, one row per 3 bits from the top, high bit on the left.
constexpr uint16_t kDigits[10] = {075557, 026227, 071747, 071717, 055711, 074717, 074757, 071111, 075757, 075717};

void Digit(TInkGrid& G, int X, int Y, int D) {
  for (int Row = 0; Row < 5; ++Row)
    for (int Col = 0; Col < 3; ++Col)
      if ((kDigits[D] >> ((4 - Row) * 3 + (2 - Col))) & 1) G.Set(X + Col, Y + Row);
}

void Magnifier(TInkGrid& G, bool Plus) {
  G.Arc(12, 12, 8, 0, 360);
  G.Arc(12, 12, 7, 0, 360);
  for (int K = -1; K <= 1; ++K) G.Line(18 + K, 18, 28 + K, 28);
  G.Line(8, 12, 16, 12);
  if (Plus) G.Line(12, 8, 12, 16);
}

// A cross-hair round the hot spot: a ring (Ring), a square (Square) or a gap (neither) in its middle.
void CrossHair(TInkGrid& G, bool Ring, bool Square, int Reach = 12) {
  const int C = 15, Gap = Ring || Square ? 0 : 3;
  G.Line(C - Reach, C, C - Gap - 1, C);
  G.Line(C + Gap + 1, C, C + Reach, C);
  G.Line(C, C - Reach, C, C - Gap - 1);
  G.Line(C, C + Gap + 1, C, C + Reach);
  if (Ring) G.Arc(C, C, 5, 0, 360);
  if (Square) G.Frame(C - 3, C - 3, C + 3, C + 3);
  if (Gap > 0) G.Set(C, C);
}

void Sign(TInkGrid& G, bool Plus) {
  G.Line(23, 27, 29, 27);
  G.Line(23, 28, 29, 28);
  if (Plus) {
    G.Line(26, 24, 26, 30);
    G.Line(25, 24, 25, 30);
  }
}

void Hand(TInkGrid& G) {
  // Palm and four fingers, white inside a black edge, and the thumb on the left.
  G.Fill(9, 14, 22, 26, kPaper);
  G.Frame(9, 14, 22, 26);
  for (int F = 0; F < 4; ++F) {
    const int X = 9 + F * 3, Top = F == 0 || F == 3 ? 8 : 5;
    G.Fill(X + 1, Top + 1, X + 2, 14, kPaper);
    G.Line(X, Top, X, 14);
    G.Line(X + 3, Top, X + 3, 14);
    G.Line(X, Top, X + 3, Top);
  }
  G.Line(9, 19, 5, 15);
  G.Line(5, 15, 9, 23);
}

void Pen(TInkGrid& G) {
  for (int K = -1; K <= 1; ++K) G.Line(6 + K, 26, 26 + K, 6);
  G.Line(24, 4, 28, 8);
  G.Line(3, 28, 6, 26);
  G.Line(3, 28, 5, 23);
}

void Eraser(TInkGrid& G) {
  G.Fill(8, 10, 24, 20, kPaper);
  G.Frame(8, 10, 24, 20);
  G.Fill(8, 10, 13, 20, kInk);
}

// A quarter turn with a head at each end, bending round the hot spot on the side of quadrant (SX, SY).
void Rotation(TInkGrid& G, int SX, int SY) {
  const int CX = 15 - SX * 6, CY = 15 - SY * 6;
  // The quarter of the circle that faces the quadrant.
  const double Start = SX > 0 ? (SY > 0 ? 0 : 270) : (SY > 0 ? 90 : 180);
  G.Arc(CX, CY, 14, Start, Start + 90);
  G.Arc(CX, CY, 13, Start, Start + 90);
  G.Head(CX + SX * 14, CY, 0, -SY);
  G.Head(CX, CY + SY * 14, -SX, 0);
}

TCursorImage Finish(const TInkGrid& Ink, int HotX, int HotY) {
  TInkGrid G = Ink;
  for (int Y = 0; Y < kSize; ++Y)
    for (int X = 0; X < kSize; ++X) {
      if (Ink.At(X, Y) != kClear) continue;
      bool Touches = false;
      for (int DY = -1; DY <= 1 && !Touches; ++DY)
        for (int DX = -1; DX <= 1; ++DX)
          if (Ink.At(X + DX, Y + DY) == kInk) Touches = true;
      if (Touches) G.Set(X, Y, kPaper);
    }
  TCursorImage Image;
  Image.Width = Image.Height = kSize;
  Image.HotX = HotX;
  Image.HotY = HotY;
  Image.Pixels.resize(size_t(kSize) * kSize);
  for (int I = 0; I < kSize * kSize; ++I)
    Image.Pixels[size_t(I)] = G.Px[I] == kInk ? 0xFF000000u : G.Px[I] == kPaper ? 0xFFFFFFFFu : 0u;
  return Image;
}

}  // namespace view_cursors_detail

TCursorImage DrawViewCursorImage(const std::string& Name) {
  using namespace view_cursors_detail;
  TInkGrid G;
  int HotX = 15, HotY = 15;
  if (Name == "ZOOMMENO" || Name == "ZOOMPIU") {
    Magnifier(G, Name == "ZOOMPIU");
    HotX = HotY = 12;
  } else if (Name == "CROCE") {
    CrossHair(G, false, false, 15);
    G.Set(15, 15);
    G.Line(12, 15, 18, 15);
    G.Line(15, 12, 15, 18);
  } else if (Name == "CROCE1") {
    CrossHair(G, false, false);
  } else if (Name == "CROCE3" || Name == "CROCE3+" || Name == "CROCE3-") {
    CrossHair(G, true, false);
    if (Name.size() == 7) Sign(G, Name[6] == '+');
  } else if (Name == "CROCE2" || Name == "CROCE2+" || Name == "CROCE2-") {
    CrossHair(G, false, true);
    if (Name.size() == 7) Sign(G, Name[6] == '+');
  } else if (Name == "GOMMA") {
    Eraser(G);
    HotX = 8;
    HotY = 20;
  } else if (Name == "MANO") {
    Hand(G);
  } else if (Name == "PENNA") {
    Pen(G);
    HotX = 3;
    HotY = 28;
  } else if (Name == "MOVE") {
    G.DoubleArrow(3, 15, 27, 15);
    G.DoubleArrow(15, 3, 15, 27);
  } else if (Name == "MOVEX") {
    G.DoubleArrow(3, 15, 27, 15);
  } else if (Name == "MOVEY") {
    G.DoubleArrow(15, 3, 15, 27);
  } else if (Name == "MOVE1") {
    G.DoubleArrow(25, 5, 5, 25);
  } else if (Name == "MOVE2") {
    G.DoubleArrow(5, 5, 25, 25);
  } else if (Name.size() == 4 && Name[0] == 'R' && Name.compare(0, 3, "ROT") == 0 && Name[3] >= '1' &&
             Name[3] <= '4') {
    // ROT1 left and below the centre, ROT2 right and above, ROT3 right and below, ROT4 left and above.
    static const int Quadrant[4][2] = {{-1, 1}, {1, -1}, {1, 1}, {-1, -1}};
    const int* Q = Quadrant[Name[3] - '1'];
    Rotation(G, Q[0], Q[1]);
  } else if (Name.size() == 4 && Name >= "1795" && Name <= "1808" && Name.find_first_not_of("0123456789") ==
                                                                         std::string::npos) {
    // The numbered cursors: a small cross-hair with the number under it on the right.
    CrossHair(G, false, false, 8);
    for (int K = 0; K < 4; ++K) Digit(G, 15 + K * 4, 25, Name[size_t(K)] - '0');
  } else {
    return {};
  }
  return Finish(G, HotX, HotY);
}

}  // namespace zv
