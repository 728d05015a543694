#include "imaging/formats/raw_colour.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "imaging/core/bitmap.h"
#include "imaging/formats/exif_blocks.h"
#include "imaging/formats/raw_ciff.h"
#include "imaging/formats/raw_identify.h"
#include "imaging/proc/bitmap_copy.h"
#include "platform/checked_math.h"

namespace zv {

namespace {

void SetCoeff(TRawCameraContext& C, const float (&M)[3][4]) {
  std::memcpy(C.Coeff, M, sizeof C.Coeff);
  C.UseCoeff = 1;
}

// A multiplier that is not a finite number is no multiplier.
float FiniteOr1(double V) { return std::isfinite(V) ? float(V) : 1.0f; }

uint16_t Hold(double V, double High) {
  if (!(V > 0)) return 0;
  return uint16_t(std::lround(std::min(V, High)));
}

}  // namespace

// ---- Colour matrices -----------------------------------------------------------------------------------------

void RawCoeffE950(TRawCameraContext& C) {
  static const float M[3][4] = {{-1.93628f, 1.800443f, -1.448486f, 2.584324f},
                                {1.405365f, -0.524955f, -0.28909f, 0.40868f},
                                {-1.204965f, 1.082304f, 2.941367f, -1.818705f}};
  SetCoeff(C, M);
}

void RawCoeffF828(TRawCameraContext& C) {
  static const float M[3][4] = {{1.321918f, 0, 0.149829f, -0.471747f},
                                {-0.288764f, 1.129213f, -0.486517f, 0.646067f},
                                {0.061336f, -0.199343f, 1.138007f, 0}};
  SetCoeff(C, M);
}

void RawCoeffDC20(TRawCameraContext& C, float X) {
  static const float A[3][4] = {{2.25f, 0.75f, -1.75f, -0.25f}, {-0.25f, 0.75f, 0.75f, -0.25f}, {-0.25f, -1.75f, 0.75f, 2.25f}};
  static const float B[3][4] = {{1, 0, 0, 0}, {0, 0.5f, 0.5f, 0}, {0, 0, 0, 1}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) C.Coeff[r][c] = X * A[r][c] + (1 - X) * B[r][c];
  C.UseCoeff = 1;
}

void RawCoeffFoveon(TRawCameraContext& C) {
  static const float F[3][3] = {{2.0343955f, -0.727533f, -0.3067457f},
                                {-0.2287194f, 1.231793f, -0.0028293f},
                                {-0.0086152f, -0.153336f, 1.1617814f}};
  std::memset(C.Coeff, 0, sizeof C.Coeff);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) C.Coeff[r][c] = F[r][c] * C.PreMul[r];
  C.UseCoeff = 1;
}

void RawCoeffFourColor(TRawCameraContext& C) {
  static const double G[4][3] = {{0.11, 0.86, 0.08}, {0.50, 0.29, 0.51}, {0.11, 0.92, 0.75}, {0.81, 0.98, 0.08}};
  std::memset(C.Coeff, 0, sizeof C.Coeff);
  for (int Out = 0; Out < 4; ++Out) {
    int Kept[3], n = 0;
    for (int k = 0; k < 4; ++k)
      if (k != Out) Kept[n++] = k;
    double M[3][6];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 6; ++j) M[i][j] = j < 3 ? G[Kept[i]][j] : (j - 3 == i ? 1 : 0);
    for (int j = 0; j < 3; ++j) {
      const double Pivot = M[j][j];
      for (int k = 0; k < 6; ++k) M[j][k] /= Pivot;
      for (int i = 0; i < 3; ++i) {
        if (i == j) continue;
        const double F = M[i][j];
        for (int k = 0; k < 6; ++k) M[i][k] -= F * M[j][k];
      }
    }
    // The inverse maps (red, green, blue) to the kept colours: its column j belongs to colour Kept[j].
    for (int r = 0; r < 3; ++r)
      for (int j = 0; j < 3; ++j) C.Coeff[r][Kept[j]] += float(M[r][3 + j]);
  }
  for (auto& Row : C.Coeff) {
    const float Sum = Row[0] + Row[1] + Row[2] + Row[3];
    if (Sum != 0)
      for (float& V : Row) V /= Sum;
  }
  C.UseCoeff = 1;
}

// ---- Scaling, conversion, output -------------------------------------------------------------------------------

void RawScaleColors(TRawCameraContext& C) {
  C.RgbMax -= C.Black;
  const int32_t Colors = std::clamp(C.Colors, 1, 4);
  if (C.UseAutoWB != 0 || (C.UseCameraWB != 0 && C.CameraRed == -1)) {
    double Sum[4] = {};
    int64_t Count[4] = {};
    for (const TRawPixel& P : C.Image)
      for (int32_t c = 0; c < Colors; ++c) {
        if (P[size_t(c)] == 0) continue;
        int32_t V = P[size_t(c)] - C.Black;
        if (V > C.RgbMax - 100) continue;
        if (V < 0) V = 0;
        Sum[c] += V;
        ++Count[c];
      }
    double Avg[4] = {}, Most = 0;
    for (int32_t c = 0; c < Colors; ++c) {
      Avg[c] = Count[c] != 0 ? Sum[c] / double(Count[c]) : 0;
      Most = std::max(Most, Avg[c]);
    }
    // A colour with no usable samples keeps the multiplier 1.
    for (int32_t c = 0; c < Colors; ++c) C.PreMul[c] = Avg[c] > 0 ? FiniteOr1(Most / Avg[c]) : 1.0f;
  }
  if (C.UseCameraWB != 0 && C.CameraRed != -1) {
    double Sum[4] = {};
    int64_t Count[4] = {};
    for (int32_t Row = 0; Row < 8; ++Row)
      for (int32_t Col = 0; Col < 8; ++Col) {
        const int32_t c = C.FilterColor(Row, Col);
        const int32_t V = C.White[Row][Col] - C.Black;
        if (V > 0) Sum[c] += V;
        ++Count[c];
      }
    double Least = INFINITY, Most = 0, Avg[4] = {};
    for (int32_t c = 0; c < Colors; ++c) {
      Avg[c] = Count[c] != 0 ? Sum[c] / double(Count[c]) : 0;
      Least = std::min(Least, Avg[c]);
      Most = std::max(Most, Avg[c]);
    }
    if (Least > 0) {
      for (int32_t c = 0; c < Colors; ++c) C.PreMul[c] = FiniteOr1(Most / Avg[c]);
    } else if (C.CameraRed != 0 && C.CameraBlue != 0) {
      C.PreMul[0] = FiniteOr1(C.CameraRed);
      C.PreMul[1] = 1;
      C.PreMul[2] = FiniteOr1(C.CameraBlue);
      C.PreMul[3] = 1;
    }
  }
  if (C.UseCoeff == 0) {
    C.PreMul[0] *= C.RedScale;
    C.PreMul[2] *= C.BlueScale;
  }
  double Mul[4];
  for (int32_t c = 0; c < 4; ++c) Mul[c] = FiniteOr1(C.PreMul[c]);
  const double High = std::max(C.RgbMax, 0);
  for (TRawPixel& P : C.Image)
    for (int32_t c = 0; c < Colors; ++c) {
      uint16_t& V = P[size_t(c)];
      if (V != 0) V = Hold((double(V) - C.Black) * Mul[c], High);
    }
}

void RawConvertToRgb(TRawCameraContext& C) {
  std::fill(C.Histogram.begin(), C.Histogram.end(), 0);
  C.Histogram.resize(8192);
  const double High = std::max(C.RgbMax, 0);
  for (int32_t Row = C.Trim; Row < C.Height - C.Trim; ++Row)
    for (int32_t Col = C.Trim; Col < C.Width - C.Trim; ++Col) {
      TRawPixel& P = C.Image[size_t(Row) * size_t(C.Width) + size_t(Col)];
      if (C.Colors == 4 && C.UseCoeff == 0) P[1] = uint16_t((P[1] + P[3]) >> 1);
      double Rgb[3];
      bool Convert = true;
      if (C.Colors == 1) {
        Rgb[0] = Rgb[1] = Rgb[2] = P[0];
      } else if (C.UseCoeff != 0) {
        for (int r = 0; r < 3; ++r) {
          Rgb[r] = 0;
          for (int32_t c = 0; c < C.Colors && c < 4; ++c) Rgb[r] += double(C.Coeff[r][c]) * P[size_t(c)];
        }
      } else if (C.IsCMY != 0) {
        Rgb[0] = double(P[0]) + P[1] - P[2];
        Rgb[1] = double(P[1]) + P[2] - P[0];
        Rgb[2] = double(P[2]) + P[0] - P[1];
      } else {
        Convert = false;
      }
      if (Convert)
        for (int r = 0; r < 3; ++r) P[size_t(r)] = Hold(Rgb[r], High);
      const double D = std::min(std::sqrt(double(P[0]) * P[0] + double(P[1]) * P[1] + double(P[2]) * P[2]) / 2, 65535.0);
      P[3] = uint16_t(std::lround(D));
      ++C.Histogram[P[3] >> 3];
    }
}

void RawWriteBitmap(TRawCameraContext& C, TIEBitmap* Bitmap, bool Rgb48, std::vector<double>& Gamma) {
  const double Share = RawStrEqual(C.Make, "FUJIFILM") ? 0.005 : 0.01;
  const int64_t Limit = std::llround(double(C.Width) * double(C.Height) * Share);
  int64_t Total = 0;
  int32_t Bin = 8191;
  for (; Bin > 0; --Bin) {
    Total += C.Histogram[size_t(Bin)];
    if (Total > Limit) break;
  }
  const double Max = Bin > 0 ? Bin * 16.0 : 1.0;
  RawAllocate(Gamma, 65536, "write_ppm()");
  const double Scale = double(C.Bright) * 442 / Max * (Rgb48 ? 65535.0 / 255 : 1.0);
  Gamma[0] = 0;
  for (int32_t i = 1; i < 65536; ++i) Gamma[size_t(i)] = std::pow(2.0 * i / Max, double(C.Gamma) - 1) * Scale;

  const int32_t YMag = std::max(C.YMag, 1);
  const int32_t Width = C.Width - 2 * C.Trim, Rows = C.Height - 2 * C.Trim;
  if (Width <= 0 || Rows <= 0) {
    C.SetAborted();
    return;
  }
  const double Top = Rgb48 ? 65535 : 255;
  CheckAlloc(Bitmap->Allocate(Width, Rows * YMag, Rgb48 ? ieRGB48 : ie24RGB) ? Bitmap : nullptr,
             Rgb48 ? "write_ppm16()" : "write_ppm()");
  std::vector<uint16_t> Row16;
  std::vector<uint8_t> Row8;
  if (Rgb48)
    RawAllocate(Row16, int64_t(Width) * 3, "write_ppm16()");
  else
    RawAllocate(Row8, int64_t(Width) * 3, "write_ppm()");
  for (int32_t Row = 0; Row < Rows; ++Row) {
    const TRawPixel* Source = &C.Image[size_t(Row + C.Trim) * size_t(C.Width) + size_t(C.Trim)];
    for (int32_t Col = 0; Col < Width; ++Col) {
      const TRawPixel& P = Source[Col];
      const double G = Gamma[P[3]];
      for (int c = 0; c < 3; ++c) {
        // A gamma or brightness that is not a number gives black, never a wild integer.
        const double Product = double(P[size_t(c)]) * G;
        const double V = Product > 0 ? std::min(Product, Top) : 0.0;
        const size_t At = size_t(Col) * 3 + size_t(c);
        if (Rgb48)
          Row16[At] = uint16_t(std::lround(V));
        else
          Row8[At] = uint8_t(std::lround(V));
      }
    }
    for (int32_t k = 0; k < YMag; ++k) {
      uint8_t* Line = Bitmap->GetScanline(Row * YMag + k);
      if (Rgb48)
        std::memcpy(Line, Row16.data(), Row16.size() * 2);
      else
        CopySwapRedBlue24(Line, Row8.data(), Width);
    }
  }
}

// ---- Interpolation -------------------------------------------------------------------------------------------

void vng_interpolate(TRawCameraContext& C) {
  if (C.Filters == 0 || C.Colors < 3 || C.Colors > 4 || C.Height < 3 || C.Width < 3) return;
  struct TNeighbour {
    int64_t Offset;  // pixels from the centre
    int32_t Shift, Color;
  };
  struct TCode {
    TNeighbour Around[8];
    int32_t Missing = 0;
    int32_t Color[3] = {}, Weight[3] = {};
  };
  TCode Codes[8][2];
  for (int32_t r = 0; r < 8; ++r)
    for (int32_t c = 1; c <= 2; ++c) {
      TCode& Code = Codes[r][c & 1];
      int32_t Sum[4] = {};
      int32_t n = 0;
      for (int32_t dy = -1; dy <= 1; ++dy)
        for (int32_t dx = -1; dx <= 1; ++dx) {
          if (dy == 0 && dx == 0) continue;
          const int32_t Shift = (dy == 0 || dx == 0) ? 1 : 0;
          const int32_t Color = C.FilterColor(r + dy, c + dx);
          Code.Around[n++] = {int64_t(C.Width) * dy + dx, Shift, Color};
          Sum[Color] += 1 << Shift;
        }
      const int32_t Own = C.FilterColor(r, c);
      for (int32_t k = 0; k < C.Colors; ++k)
        if (k != Own && Code.Missing < 3) {
          Code.Color[Code.Missing] = k;
          Code.Weight[Code.Missing++] = Sum[k];
        }
    }
  TRawPixel* Image = C.Image.data();
  for (int32_t Row = 1; Row < C.Height - 1; ++Row)
    for (int32_t Col = 1; Col < C.Width - 1; ++Col) {
      TRawPixel* P = Image + int64_t(Row) * C.Width + Col;
      const TCode& Code = Codes[Row & 7][Col & 1];
      int32_t Sum[4] = {};
      for (const TNeighbour& N : Code.Around) Sum[N.Color] += (*(P + N.Offset))[size_t(N.Color)] << N.Shift;
      for (int32_t i = 0; i < Code.Missing; ++i)
        if (Code.Weight[i] != 0) (*P)[size_t(Code.Color[i])] = uint16_t(Sum[Code.Color[i]] / Code.Weight[i]);
    }
}

// ---- Foveon ---------------------------------------------------------------------------------------------------

namespace {

// A right shift that rounds toward zero.
int64_t SShift(int64_t V, int S) { return V < 0 ? -((-V) >> S) : V >> S; }

struct TFoveonCurve {
  std::vector<int32_t> E{0};  // E[1..n]
  TFoveonCurve(std::initializer_list<std::pair<int32_t, int32_t>> Runs) {
    for (const auto& [Value, Repeat] : Runs) E.insert(E.end(), size_t(Repeat), Value);
  }
  int64_t operator()(int64_t V) const {
    const int64_t N = int64_t(E.size()) - 1;
    if (V >= 0) return V < N ? E[size_t(V + 1)] : E[size_t(N)] + 1;
    return V > -N ? -E[size_t(1 - V)] : -(E[size_t(N)] + 1);
  }
};

const TFoveonCurve& Curve(int32_t Which) {
  static const TFoveonCurve Curves[5] = {
      {{0, 1}, {1, 1}, {2, 2}, {3, 1}, {4, 1}, {5, 1}, {6, 2}, {7, 1}, {8, 1}, {9, 2}, {10, 1}, {11, 2}, {12, 1}, {13, 2},
       {14, 2}, {15, 1}, {16, 2}, {17, 2}, {18, 3}, {19, 2}, {20, 3}, {21, 3}, {22, 3}, {23, 5}, {24, 5}, {25, 8}, {26, 14}},
      {{0, 1}, {1, 2}, {2, 1}, {3, 2}, {4, 2}, {5, 2}, {6, 3}, {7, 7}},
      {{0, 1}, {1, 2}, {2, 2}, {3, 1}, {4, 2}, {5, 2}, {6, 2}, {7, 2}, {8, 3}, {9, 2}, {10, 4}, {11, 3}, {12, 6}, {13, 8}, {14, 32}},
      {{0, 1}, {1, 2}, {2, 1}, {3, 2}, {4, 2}, {5, 1}, {6, 2}, {7, 3}, {8, 2}, {9, 3}, {10, 3}, {11, 5}, {12, 9}},
      {{0, 1}, {1, 2}, {2, 1}, {3, 2}, {4, 1}, {5, 1}, {6, 2}, {7, 2}, {8, 1}, {9, 2}, {10, 1}, {11, 2}, {12, 2}, {13, 2},
       {14, 2}, {15, 2}, {16, 2}, {17, 2}, {18, 3}, {19, 3}, {20, 3}, {21, 4}, {22, 5}, {23, 5}, {24, 8}, {25, 12}, {26, 37}},
  };
  return Curves[Which];
}

uint16_t Held(int64_t V, int64_t High) { return uint16_t(std::clamp<int64_t>(V, 0, High)); }

}  // namespace

int64_t FoveonCurve(int32_t Which, int64_t Value) { return Curve(std::clamp(Which, 0, 4))(Value); }

void FoveonColourStep(TRawCameraContext& C) {
  static const double Gain[3] = {1.0321, 1.0, 1.1124};
  static const int64_t W[3][3][3] = {{{4141, 37726, 11265}, {-30437, 16066, -41102}, {326, -413, 362}},
                                     {{1770, -1316, 3480}, {-2139, 213, -4998}, {-2381, 3496, -2008}},
                                     {{-3838, -24025, -12968}, {20144, -12195, 30272}, {-631, -2025, 822}}};
  const int32_t Height = C.Height, Width = C.Width;
  if (Height <= 0 || Width <= 0 || C.Image.size() < size_t(Height) * size_t(Width)) return;
  auto Pix = [&](int64_t Row, int64_t Col) -> TRawPixel& { return C.Image[size_t(Row * Width + Col)]; };
  for (int32_t Row = 0; Row < Height; ++Row) {
    TRawPixel Prev = Pix(Row, 0);
    for (int32_t Col = 0; Col < Width; ++Col) {
      TRawPixel& P = Pix(Row, Col);
      const TRawPixel Before = P;
      int64_t Ip[3], Q[3][3];
      for (int c = 0; c < 3; ++c) {
        const int64_t D = int64_t(P[size_t(c)]) - Prev[size_t(c)];
        Ip[c] = P[size_t(c)] + SShift((D + D * D / 16384) * 13107, 14);
      }
      for (int i = 0; i < 3; ++i) {
        Q[0][i] = (Ip[i] * Ip[i]) >> 14;
        Q[2][i] = (Ip[i] * Q[0][i]) >> 14;
        Q[1][2 - i] = (Ip[(i + 1) % 3] * Ip[(i + 2) % 3]) >> 14;
      }
      for (int c = 0; c < 3; ++c) {
        int64_t Sum = 0;
        for (int i = 0; i < 3; ++i)
          for (int j = 0; j < 3; ++j) Sum += W[c][i][j] * Q[i][j];
        const double V = double(Ip[c] + SShift(Sum, 14)) * Gain[c];
        P[size_t(c)] = Held(std::llround(std::clamp(V, -1.0, 40000.0)), 32000);
      }
      Prev = Before;
    }
  }

}

void foveon_interpolate(TRawCameraContext& C) {
  static const int64_t T[3][3] = {{7576, -2933, 1279}, {-11594, 29911, -12394}, {4000, -18850, 20772}};
  const int32_t Height = C.Height, Width = C.Width;
  if (Height <= 0 || Width <= 0 || C.Image.size() < size_t(Height) * size_t(Width)) return;
  auto Pix = [&](int64_t Row, int64_t Col) -> TRawPixel& { return C.Image[size_t(Row * Width + Col)]; };

  FoveonColourStep(C);

  // 2. Sharpen channel 0 against a vertical and horizontal smoothing of it.
  std::vector<int32_t> Window;
  RawAllocate(Window, int64_t(Width) * 5 * 3, "foveon_interpolate()");
  auto Smoothed = [&](int32_t Row) {
    int32_t* H = &Window[size_t(Row % 5) * size_t(Width)];
    for (int32_t Col = 2; Col < Width - 2; ++Col)
      H[Col] = (6 * Pix(Row, Col)[0] + 4 * (Pix(Row, Col - 1)[0] + Pix(Row, Col + 1)[0]) + Pix(Row, Col - 2)[0] +
                Pix(Row, Col + 2)[0] + 8) >> 4;
  };
  if (Height >= 5 && Width >= 5) {
    for (int32_t Row = 0; Row < 4; ++Row) Smoothed(Row);
    for (int32_t Row = 2; Row < Height - 2; ++Row) {
      Smoothed(Row + 2);
      int64_t SPrev = 0;
      for (int32_t Col = 2; Col < Width - 2; ++Col) {
        auto H = [&](int32_t k) { return int64_t(Window[size_t((Row - 2 + k) % 5) * size_t(Width) + size_t(Col)]); };
        const int64_t S = SShift(H(0) + 4 * H(1) + 6 * H(2) + 4 * H(3) + H(4) + 8, 4);
        if (Col == 2) SPrev = S;
        const int64_t Smooth = SShift(7 * S + SPrev, 3);
        SPrev = S;
        const int64_t V = Pix(Row, Col)[0];
        Pix(Row, Col)[0] = Held(V + SShift(V - Smooth, 2), 10000);
      }
    }
  }

  // 3. Each channel held between its neighbours.
  for (int32_t Row = 1; Row < Height - 1; ++Row) {
    TRawPixel Left = Pix(Row, 0);
    for (int32_t Col = 1; Col < Width - 1; ++Col) {
      TRawPixel& P = Pix(Row, Col);
      const TRawPixel Before = P;
      for (size_t c = 0; c < 3; ++c) {
        uint16_t Low = Left[c], High = Left[c];
        for (uint16_t V : {Pix(Row, Col + 1)[c], Pix(Row - 1, Col - 1)[c], Pix(Row - 1, Col)[c], Pix(Row - 1, Col + 1)[c],
                           Pix(Row + 1, Col - 1)[c], Pix(Row + 1, Col)[c], Pix(Row + 1, Col + 1)[c]}) {
          Low = std::min(Low, V);
          High = std::max(High, V);
        }
        P[c] = std::clamp(P[c], Low, High);
      }
      Left = Before;
    }
  }

  // 4. Noise reduction against 5 x 5 sums.
  if (Height >= 5 && Width >= 5) {
    auto RowSums = [&](int32_t Row) {
      int32_t* S = &Window[size_t(Row % 5) * size_t(Width) * 3];
      for (int32_t Col = 2; Col < Width - 2; ++Col)
        for (size_t c = 0; c < 3; ++c) {
          int32_t Sum = 0;
          for (int32_t d = -2; d <= 2; ++d) Sum += Pix(Row, Col + d)[c];
          S[size_t(Col) * 3 + c] = Sum;
        }
    };
    for (int32_t Row = 0; Row < 4; ++Row) RowSums(Row);
    for (int32_t Row = 2; Row < Height - 2; ++Row) {
      RowSums(Row + 2);
      for (int32_t Col = 2; Col < Width - 2; ++Col) {
        TRawPixel& P = Pix(Row, Col);
        int64_t S[3] = {};
        for (int32_t k = 0; k < 5; ++k)
          for (size_t c = 0; c < 3; ++c) S[c] += Window[size_t((Row - 2 + k) % 5) * size_t(Width) * 3 + size_t(Col) * 3 + c];
        const int64_t DSum = 1500 + S[0] + S[1] + S[2];
        const int64_t PSum = 60 + int64_t(P[0]) + P[1] + P[2];
        const int64_t Ratio = PSum * 65536 / DSum;
        int64_t Ip[3];
        for (size_t j = 0; j < 3; ++j) {
          int64_t Tv = Curve(0)(SShift(Ratio * S[j], 16) - P[j]);
          Tv = Tv + P[j] - (j == 1 ? 1 : 0) - 13;
          Ip[j] = Tv - Curve(1)(Tv);
        }
        const int64_t Mean = SShift(Ip[0] + 2 * Ip[1] + Ip[2], 2);
        for (size_t j = 0; j < 3; ++j) P[j] = Held(Ip[j] - Curve(1)(Ip[j] - Mean), 65535);
      }
    }
  }

  // 5. To the output colours.
  for (TRawPixel& P : C.Image) {
    int64_t Out[3];
    for (int i = 0; i < 3; ++i) Out[i] = SShift(T[i][0] * P[0] + T[i][1] * P[1] + T[i][2] * P[2] + 4096, 13);
    for (size_t i = 0; i < 3; ++i) P[i] = Held(Out[i], 24000);
  }

  // 6. Block averages, from the bottom up.
  const int32_t BlockRows = Height / 4, BlockCols = Width / 4;
  if (BlockRows == 0 || BlockCols == 0) return;
  std::vector<int64_t> Blocks;
  RawAllocate(Blocks, int64_t(BlockRows) * BlockCols * 3, "foveon_interpolate()");
  auto Block = [&](int64_t Br, int64_t Bc, size_t c) -> int64_t& { return Blocks[size_t((Br * BlockCols + Bc) * 3) + c]; };
  for (int32_t Br = BlockRows - 1; Br >= 0; --Br)
    for (int32_t Bc = 0; Bc < BlockCols; ++Bc)
      for (size_t c = 0; c < 3; ++c) {
        int64_t Sum = 0;
        for (int32_t r = 0; r < 4; ++r)
          for (int32_t k = 0; k < 4; ++k) Sum += Pix(Br * 4 + r, Bc * 4 + k)[c];
        Block(Br, Bc, c) = Br == BlockRows - 1 ? Sum >> 4 : SShift(Block(Br + 1, Bc, c) * 1840 + Sum * 141, 12);
      }

  // 7. Shade correction against the smoothed block averages.
  const int32_t Rows = Height & ~3, Cols = Width & ~3;
  std::vector<int64_t> R0, R1, R2;
  RawAllocate(R0, (int64_t(Cols) + 1) * 3, "foveon_interpolate()");
  RawAllocate(R1, (int64_t(Cols) + 1) * 3, "foveon_interpolate()");
  RawAllocate(R2, int64_t(Cols) * 3, "foveon_interpolate()");
  for (int32_t Row = 0; Row < Rows; ++Row) {
    if (Row % 4 == 0) {
      for (size_t c = 0; c < 3; ++c) R0[size_t(Cols) * 3 + c] = 0;
      for (int32_t Col = Cols - 1; Col >= 0; --Col)
        for (size_t c = 0; c < 3; ++c)
          R0[size_t(Col) * 3 + c] = SShift(Block(Row / 4, Col / 4, c) * 1485 + R0[size_t(Col + 1) * 3 + c] * 6707, 13);
      for (int32_t Col = 0; Col < Cols; ++Col)
        for (size_t c = 0; c < 3; ++c) {
          const int64_t Before = Col > 0 ? R1[size_t(Col - 1) * 3 + c] : 0;
          R1[size_t(Col) * 3 + c] = SShift(R0[size_t(Col) * 3 + c] * 1485 + Before * 6707, 13);
        }
    }
    for (int32_t Col = 0; Col < Cols; ++Col)
      for (size_t c = 0; c < 3; ++c) {
        int64_t& V = R2[size_t(Col) * 3 + c];
        V = Row == 0 ? R1[size_t(Col) * 3 + c] : SShift(V * 6707 + R1[size_t(Col) * 3 + c] * 1485, 13);
      }
    for (int32_t Col = 0; Col < Cols; ++Col) {
      TRawPixel& P = Pix(Row, Col);
      const int64_t* Shade = &R2[size_t(Col) * 3];
      const int64_t Below = 60 + Shade[0] + Shade[1] + Shade[2];
      const int64_t Ratio = Below != 0 ? (60 + int64_t(P[0]) + P[1] + P[2]) * 65536 / Below : 0;
      int64_t Dev[3];
      for (size_t j = 0; j < 3; ++j) Dev[j] = Curve(2 + int32_t(j))(SShift(Ratio * Shade[j], 16) - P[j]);
      const int64_t Diff = SShift(Dev[0] + Dev[1] + Dev[2], 3);
      for (size_t j = 0; j < 3; ++j) P[j] = Held(P[j] + Dev[j] - Diff, 65535);
    }
  }
}

// ---- Fuji layout ----------------------------------------------------------------------------------------------

namespace {

template <class T>
void FujiRotate(TIEBitmap* Bitmap, TIEPixelFormat Format) {
  using TPixel = std::array<T, 3>;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  if (W <= 0 || H <= 0) return;
  const TPixel* First = reinterpret_cast<const TPixel*>(Bitmap->GetScanline(0));
  int32_t Begin = -1, Last = -1;
  for (int32_t i = 0; i < W; ++i)
    if (First[i] != TPixel{}) {
      if (Begin < 0) Begin = i;
      Last = i;
    }
  // A first row with nothing in it gives no rows at all: the bitmap stays as it is.
  if (Begin < 0) return;
  const int32_t Cols = Last;
  const int64_t Rows = 2 * int64_t(W) - 2 * int64_t(Begin) - 4;
  int64_t Cells = 0;
  if (Cols <= 0 || Rows <= 0 || !CheckedSizeWithin({Rows, 2 * int64_t(Cols), int64_t(sizeof(TPixel))}, RawMostImageBytes, Cells))
    return;
  const int32_t Hgt = int32_t(Rows);
  std::vector<TPixel> Turned;
  RawAllocate(Turned, Rows * Cols, "RawFujiRotate()");
  for (int32_t r = 0; r < H; ++r) {
    const TPixel* Source = reinterpret_cast<const TPixel*>(Bitmap->GetScanline(r));
    for (int32_t f = 0; f < W; ++f) {
      const int64_t G = int64_t(r) + f - Last + 5;
      const int64_t O = (int64_t(f) + Last - r - 1) / 2;
      if (G >= 0 && G < Hgt && O >= 0 && O < Cols) Turned[size_t(G * Cols + O)] = Source[f];
    }
  }
  auto At = [&](int64_t Row, int64_t Col) -> const TPixel& { return Turned[size_t(Row * Cols + Col)]; };
  TIEBitmap Out;
  CheckAlloc(Out.Allocate(2 * Cols, Hgt, Format) ? &Out : nullptr, "RawFujiRotate()");
  for (int32_t k = 0; k < Hgt; ++k) std::memset(Out.GetScanline(k), 0, size_t(2 * Cols) * sizeof(TPixel));
  std::vector<TPixel> Line;
  RawAllocate(Line, 2 * int64_t(Cols), "RawFujiRotate()");
  for (int32_t k = 1; k < Hgt; ++k) {
    for (int32_t m = 1; m < 2 * Cols; ++m) {
      const int32_t Half = m / 2;
      const TPixel& Q = At(k, Half);
      if (((k + m) & 1) == 0) {
        Line[size_t(m)] = Q;
      } else if (k < Hgt - 1 && m < 2 * Cols - 1) {
        const int32_t A = (k & 1) != 0 ? Half - 1 : Half, B = A + 1;
        for (int c = 0; c < 3; ++c)
          Line[size_t(m)][size_t(c)] =
              T((uint32_t(At(k - 1, Half)[size_t(c)]) + At(k + 1, Half)[size_t(c)] + At(k, A)[size_t(c)] + At(k, B)[size_t(c)]) >> 2);
      }
    }
    std::memcpy(Out.GetScanline(k - 1), Line.data(), Line.size() * sizeof(TPixel));
  }
  Bitmap->Assign(&Out);
}

}  // namespace

void RawFujiRotate(TIEBitmap* Bitmap) {
  if (Bitmap->GetPixelFormat() == ie24RGB) FujiRotate<uint8_t>(Bitmap, ie24RGB);
  if (Bitmap->GetPixelFormat() == ieRGB48) FujiRotate<uint16_t>(Bitmap, ieRGB48);
}

// ---- Installation --------------------------------------------------------------------------------------------

namespace {

void ReadRawTiffMetadata(TStream* Stream, TIOParamsVals& Params) { ExifLoadFromRawTiff(Stream, Params); }
void ConvertStage(TRawCameraContext& C, std::vector<double>&) { RawConvertToRgb(C); }
void FujiStage(TRawCameraContext&, TIEBitmap* Bitmap) { RawFujiRotate(Bitmap); }

}  // namespace

void InstallRawCameraStages() {
  TRawCameraStages& S = RawCameraStages();
  S.Identify = RawCameraIdentify;
  S.ReadTiffMetadata = ReadRawTiffMetadata;
  S.ReadCiffMetadata = RawReadCiffMetadata;
  S.ScaleColors = RawScaleColors;
  S.FoveonProcess = foveon_interpolate;
  S.Interpolate = vng_interpolate;
  S.ConvertToRgb = ConvertStage;
  S.Output = RawWriteBitmap;
  S.FujiRotate = FujiStage;
}

void RemoveRawCameraStages() { RawCameraStages() = TRawCameraStages(); }

}  // namespace zv
