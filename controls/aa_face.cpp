// The anti-aliased renderer: supersampled coverage masks, colour and picture blending, the mask
// effects, the foreground pictures and the effect settings.
#include "controls/aa_face.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "platform/gdi_text.h"
#include "platform/inifiles.h"

namespace zv {

namespace {

HPALETTE GGreyPalette = nullptr;

// Random(0) is 0, as the runtime's generator gives for an empty range.
int32_t RandomBelow(int32_t N) { return N <= 0 ? 0 : Random(N); }

uint8_t ClampByte(int32_t V) { return static_cast<uint8_t>(std::clamp(V, 0, 255)); }

// Characters, not bytes, of a UTF-8 text.
int32_t CharCount(std::string_view Text) {
  int32_t N = 0;
  for (char C : Text)
    if ((static_cast<uint8_t>(C) & 0xC0) != 0x80) ++N;
  return N;
}

struct TRgb {
  int32_t R, G, B;
};
TRgb RgbOf(TColor Color) {
  const uint32_t C = static_cast<uint32_t>(ColorToRGB(Color));
  return {int32_t(C & 0xFF), int32_t((C >> 8) & 0xFF), int32_t((C >> 16) & 0xFF)};
}

// The canvas font turned to Angle degrees for as long as the guard lives.
class TRotatedFontGuard {
public:
  TRotatedFontGuard(TCanvas* Canvas, int32_t Angle) {
    if (!Canvas || Angle == 0) return;
    FCanvas = Canvas;
    FSaved.Assign(Canvas->Font());
    LOGFONT LF = Canvas->Font()->LogFont();
    LF.lfEscapement = Angle * 10;
    LF.lfOrientation = Angle * 10;
    // The canvas font owns the new handle and deletes it when it is put back.
    Canvas->Font()->SetHandle(CreateFontIndirect(&LF));
    Canvas->Font()->SetColor(FSaved.Color());
  }
  ~TRotatedFontGuard() {
    if (FCanvas) FCanvas->Font()->Assign(&FSaved);
  }
  TRotatedFontGuard(const TRotatedFontGuard&) = delete;
  TRotatedFontGuard& operator=(const TRotatedFontGuard&) = delete;

private:
  TCanvas* FCanvas = nullptr;
  TFont FSaved;
};

}  // namespace

HPALETTE GreyPalette() {
  if (!GGreyPalette) {
    std::vector<uint8_t> Block(sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY));
    auto* Pal = new (Block.data()) LOGPALETTE();
    Pal->palVersion = 0x300;
    Pal->palNumEntries = 256;
    for (int I = 0; I < 256; ++I) {
      PALETTEENTRY& E = Pal->palPalEntry[0];
      (&E)[I].peRed = (&E)[I].peGreen = (&E)[I].peBlue = static_cast<uint8_t>(I);
      (&E)[I].peFlags = 0;
    }
    GGreyPalette = CreatePalette(Pal);
  }
  return GGreyPalette;
}

void AAFaceStartup() { GreyPalette(); }

void AAFaceShutdown() {
  if (GGreyPalette) DeleteObject(GGreyPalette);
  GGreyPalette = nullptr;
}

// ---------------------------------------------------------------------------------------------
// TAAMask
// ---------------------------------------------------------------------------------------------

TAAMask::TAAMask(TAAFace* AOwner) : FOwner(AOwner) {}

TAAMask::~TAAMask() = default;

void TAAMask::SetQuality(TAAQuality Value) {
  FQuality = Value;
  switch (Value) {
    case aqHigh: FFactor = 4; break;
    case aqNormal: FFactor = 3; break;
    case aqLow: FFactor = 2; break;
    default: FFactor = 1; break;
  }
}

uint8_t* TAAMask::ScanLine(int32_t Row) {
  if (Row < 0 || Row > FHeight - 1) throw EInvalidLine("Invalid line!");
  return ScanLineOf(Row, FData.data());
}

uint8_t* TAAMask::ScanLineOf(int32_t Row, uint8_t* Buffer) const {
  return Buffer + static_cast<ptrdiff_t>(FHeight - 1 - Row) * FStride;
}

TSize TAAMask::MeasureText(std::string_view Text, TPoint& Offset) {
  TSize Size{0, 0};
  if (!FOwner || !FOwner->Canvas()) return Size;
  HDC DC = GetDC(nullptr);
  HFONT Font = nullptr;
  HGDIOBJ Old = nullptr;
  LOGFONT LF = FOwner->Canvas()->Font()->LogFont();
  try {
    LF.lfHeight *= FFactor;
    LF.lfWidth *= FFactor;
    Font = CreateFontIndirect(&LF);
    Old = SelectObject(DC, Font);
    SIZE S{0, 0};
    GetTextExtentPoint32(DC, Text, &S);
    Size.cx = S.cx;
    Size.cy = S.cy;
  } catch (...) {
    if (Old) SelectObject(DC, Old);
    if (Font) DeleteObject(Font);
    ReleaseDC(nullptr, DC);
    throw;
  }
  SelectObject(DC, Old);
  DeleteObject(Font);
  ReleaseDC(nullptr, DC);

  Size.cx = (Size.cx + FFactor - 1) / FFactor;
  Size.cy = (Size.cy + FFactor - 1) / FFactor;
  const int32_t Length = CharCount(Text);
  if (LF.lfItalic && Length > 0)
    Size.cx += static_cast<int32_t>(Round(static_cast<long double>(Size.cx) / Length * 0.3L));

  const long double Theta = LF.lfEscapement * std::numbers::pi_v<long double> / 1800.0L;
  if (Theta != 0) {
    const long double Bx = Size.cx / 2.0L, By = Size.cy / 2.0L;
    const long double S = std::sin(-Theta), C = std::cos(-Theta);
    const long double Px[4] = {-Bx, Bx, -Bx, Bx}, Py[4] = {-By, -By, By, By};
    int32_t X[4], Y[4];
    for (int I = 0; I < 4; ++I) {
      X[I] = static_cast<int32_t>(Round(Px[I] * C - Py[I] * S));
      Y[I] = static_cast<int32_t>(Round(Px[I] * S + Py[I] * C));
    }
    Size.cx = *std::max_element(X, X + 4) - *std::min_element(X, X + 4);
    Size.cy = *std::max_element(Y, Y + 4) - *std::min_element(Y, Y + 4);
    Offset = {Size.cx / 2 + X[0], Size.cy / 2 + Y[0]};
  }
  return Size;
}

TSize TAAMask::TextExtent(std::string_view Text) {
  TPoint Offset{0, 0};
  return MeasureText(Text, Offset);
}

void TAAMask::RenderText(std::string_view Text, TSize Size, TPoint Origin) {
  if (!FOwner || !FOwner->Canvas()) return;
  const int32_t F = FFactor;
  struct TWorkRelease {
    std::unique_ptr<TBitmap>& Bmp;
    ~TWorkRelease() { Bmp.reset(); }
  } Release{FWorkBmp};

  FWorkBmp = std::make_unique<TBitmap>();
  TBitmap* Work = FWorkBmp.get();
  Work->SetPixelFormat(pf8bit);
  Work->SetPalette(CopyPalette(GreyPalette()));
  Work->Canvas()->Brush()->SetColor(clBlack);
  Work->Canvas()->Brush()->SetStyle(bsSolid);
  FWidth = std::max(Size.cx, 0);
  FHeight = std::max(Size.cy, 0);
  Work->SetSize(FWidth * F, FHeight * F);
  const int32_t WorkW = Work->Width(), WorkH = Work->Height();
  if (WorkW > 0 && WorkH > 0) {
    for (int32_t R = 0; R < WorkH; ++R) std::memset(Work->ScanLine(R), 0, size_t(WorkW));

    LOGFONT LF = FOwner->Canvas()->Font()->LogFont();
    LF.lfHeight *= F;
    LF.lfWidth *= F;
    // The platform's own smoothing stays off: the supersampling is what smooths the edges, and a
    // text at factor 1 keeps hard edges.
    LF.lfQuality = NONANTIALIASED_QUALITY;
    TCanvas* WC = Work->Canvas();
    WC->Font()->SetHandle(CreateFontIndirect(&LF));
    WC->Font()->SetColor(clWhite);
    WC->Brush()->SetStyle(bsClear);
    TPoint At{Origin.X * F, Origin.Y * F};
    if (LF.lfEscapement != 0) {
      TPoint Offset{0, 0};
      MeasureText(Text, Offset);
      At.X += Offset.X * F;
      At.Y += Offset.Y * F;
    }
    WC->TextOut(At.X, At.Y, Text);
  }

  FWorkRowLength = (WorkW + 3) / 4 * 4;
  FStride = (FWidth + 3) / 4 * 4;
  FData.assign(size_t(FStride) * size_t(FHeight), 0);
  if (WorkW == 0 || WorkH == 0) return;

  std::vector<const uint8_t*> Rows(static_cast<size_t>(F));
  for (int32_t R = 0; R < FHeight; ++R) {
    for (int32_t I = 0; I < F; ++I) Rows[size_t(I)] = static_cast<const uint8_t*>(Work->ScanLine(R * F + I));
    uint8_t* Dest = ScanLineOf(R, FData.data());
    switch (FQuality) {
      case aqNone:
        std::memcpy(Dest, Rows[0], size_t(FWidth));
        break;
      case aqNormal:
        for (int32_t X = 0; X < FWidth; ++X) {
          const uint8_t* A = Rows[0] + X * 3;
          const uint8_t* B = Rows[1] + X * 3;
          const uint8_t* C = Rows[2] + X * 3;
          const int32_t Sum = A[0] + A[1] + (A[2] >> 1) + B[0] + B[1] + B[2] + (C[0] >> 1) + C[1] + C[2];
          Dest[X] = static_cast<uint8_t>(Sum >> 3);
        }
        break;
      default: {
        const int32_t Shift = F == 4 ? 4 : 2;
        for (int32_t X = 0; X < FWidth; ++X) {
          int32_t Sum = 0;
          for (int32_t I = 0; I < F; ++I)
            for (int32_t J = 0; J < F; ++J) Sum += Rows[size_t(I)][X * F + J];
          Dest[X] = static_cast<uint8_t>(Sum >> Shift);
        }
        break;
      }
    }
  }
}

void TAAMask::DrawText(std::string_view Text) { RenderText(Text, TextExtent(Text), TPoint{0, 0}); }

void TAAMask::Outline() {
  if (FHeight < 3 || FWidth < 3) return;
  std::vector<uint8_t> Copy = FData;
  for (int32_t Y = 1; Y <= FHeight - 2; ++Y) {
    const uint8_t* Up = ScanLineOf(Y - 1, Copy.data());
    const uint8_t* Mid = ScanLineOf(Y, Copy.data());
    const uint8_t* Dn = ScanLineOf(Y + 1, Copy.data());
    uint8_t* Dest = ScanLineOf(Y, FData.data());
    for (int32_t X = 1; X <= FWidth - 2; ++X) {
      const int32_t C = std::abs(Dn[X + 1] - Up[X - 1]) + std::abs(Dn[X] - Up[X]) + std::abs(Mid[X + 1] - Mid[X - 1]) +
                        std::abs(Dn[X - 1] - Up[X + 1]);
      Dest[X] = C < 1024 ? static_cast<uint8_t>(C >> 2) : 255;
    }
  }
}

void TAAMask::Blur(uint8_t Strength) {
  if (FWidth <= 0 || FHeight <= 0) return;
  const int32_t S = static_cast<int32_t>(Round(static_cast<long double>(Strength) * 255 / 100));
  std::vector<uint8_t> Copy = FData;
  for (int32_t Y = 0; Y < FHeight; ++Y) {
    uint8_t* Dest = ScanLineOf(Y, FData.data());
    for (int32_t X = 0; X < FWidth; ++X) {
      int32_t Sum = 0;
      for (int32_t DY = -2; DY <= 2; ++DY) {
        const uint8_t* Row = ScanLineOf(std::clamp(Y + DY, 0, FHeight - 1), Copy.data());
        for (int32_t DX = -2; DX <= 2; ++DX) Sum += Row[std::clamp(X + DX, 0, FWidth - 1)];
      }
      const int32_t Average = static_cast<int32_t>(Round(static_cast<long double>(Sum) / 25));
      const int32_t Old = ScanLineOf(Y, Copy.data())[X];
      Dest[X] = S == 255 ? static_cast<uint8_t>(Average) : static_cast<uint8_t>(Old + (((Average - Old) * S) >> 8));
    }
  }
}

void TAAMask::Spray(uint8_t Amount) {
  for (int32_t Y = 0; Y < FHeight; ++Y) {
    uint8_t* Dest = ScanLineOf(Y, FData.data());
    for (int32_t X = 0; X < FWidth; ++X) {
      const int32_t C = RandomBelow(Amount + 1);
      const int32_t SX = std::clamp(X + C - RandomBelow(2 * C), 0, FWidth - 1);
      const int32_t SY = std::clamp(Y + C - RandomBelow(2 * C), 0, FHeight - 1);
      Dest[X] = ScanLineOf(SY, FData.data())[SX];
    }
  }
}

void TAAMask::HorzMirror() {
  for (int32_t Y = 0; Y < FHeight; ++Y) {
    uint8_t* Row = ScanLineOf(Y, FData.data());
    std::reverse(Row, Row + FWidth);
  }
}

void TAAMask::VertMirror() {
  for (int32_t R = 0; R < FHeight / 2; ++R)
    std::swap_ranges(ScanLineOf(R, FData.data()), ScanLineOf(R, FData.data()) + FStride,
                     ScanLineOf(FHeight - 1 - R, FData.data()));
}

void TAAMask::Assign(TPersistent* Source) {
  if (auto* M = dynamic_cast<TAAMask*>(Source)) {
    if (M == this) return;
    FWidth = M->FWidth;
    FHeight = M->FHeight;
    SetQuality(M->FQuality);
    FWorkRowLength = M->FWorkRowLength;
    FStride = M->FStride;
    FData = M->FData;
    return;
  }
  TPersistent::Assign(Source);
}

// ---------------------------------------------------------------------------------------------
// TAABlend
// ---------------------------------------------------------------------------------------------

TAABlend::TAABlend(TAAFace* AOwner)
    : FForeBmp(std::make_unique<TBitmap>()), FWorkBmp(std::make_unique<TBitmap>()), FOwner(AOwner) {
  FForeBmp->SetPixelFormat(pf24bit);
  FWorkBmp->SetPixelFormat(pf24bit);
}

TAABlend::~TAABlend() = default;

void TAABlend::BlendColor(int32_t X, int32_t Y, TAAMask* Mask, uint8_t Alpha, TColor Color) {
  if (!FOwner || !FOwner->Canvas()) return;
  Blend(X, Y, Mask, Alpha, Color, false);
}

void TAABlend::BlendForeground(int32_t X, int32_t Y, TAAMask* Mask, uint8_t Alpha) {
  if (!FOwner || !FOwner->Canvas()) return;
  if (FForeBmp->Width() != Mask->Width() || FForeBmp->Height() != Mask->Height() ||
      FForeBmp->PixelFormat() != pf24bit)
    throw EInvalidForeBmp("Invalid foreground bitmap!");
  Blend(X, Y, Mask, Alpha, clNone, true);
}

void TAABlend::Blend(int32_t X, int32_t Y, TAAMask* Mask, uint8_t Alpha, TColor Color, bool Foreground) {
  const int32_t W = Mask->Width(), H = Mask->Height();
  if (W <= 0 || H <= 0) return;
  TCanvas* Target = FOwner->Canvas();
  FWorkBmp->SetSize(W, H);
  const TRgb C = RgbOf(Color);
  const int32_t A = Alpha * 256 / 100;

  TCanvas* WC = FWorkBmp->Canvas();
  WC->Brush()->Assign(Target->Brush());
  if (Target->Brush()->Style() != bsSolid) {
    BitBlt(WC->Handle(), 0, 0, W, H, Target->Handle(), X, Y, SRCCOPY);
  } else {
    // A solid brush means the text goes onto that colour, not onto what the target holds.
    WC->FillRect(Rect(0, 0, W, H));
  }

  for (int32_t R = 0; R < H; ++R) {
    const uint8_t* M = Mask->ScanLine(R);
    auto* D = static_cast<uint8_t*>(FWorkBmp->ScanLine(R));
    const uint8_t* Fg = Foreground ? static_cast<const uint8_t*>(FForeBmp->ScanLine(R)) : nullptr;
    for (int32_t I = 0; I < W; ++I, D += 3) {
      const int32_t B = M[I] * A;
      if (B < 256) continue;
      const int32_t Src[3] = {Fg ? Fg[I * 3] : C.B, Fg ? Fg[I * 3 + 1] : C.G, Fg ? Fg[I * 3 + 2] : C.R};
      if (B >= 65280) {
        for (int K = 0; K < 3; ++K) D[K] = static_cast<uint8_t>(Src[K]);
        continue;
      }
      const int32_t Kw = B >> 8;
      for (int K = 0; K < 3; ++K) D[K] = static_cast<uint8_t>(D[K] + (((Src[K] - D[K]) * Kw) >> 8));
    }
  }
  BitBlt(Target->Handle(), X, Y, W, H, WC->Handle(), 0, 0, SRCCOPY);
}

void TAABlend::Assign(TPersistent* Source) {
  if (auto* B = dynamic_cast<TAABlend*>(Source)) {
    if (B != this) FForeBmp->Assign(B->FForeBmp.get());
    return;
  }
  TPersistent::Assign(Source);
}

// ---------------------------------------------------------------------------------------------
// TAAFace
// ---------------------------------------------------------------------------------------------

TAAFace::TAAFace(TCanvas* ACanvas)
    : FCanvas(ACanvas), FMask(std::make_unique<TAAMask>(this)), FBlend(std::make_unique<TAABlend>(this)) {}

TAAFace::~TAAFace() = default;

TSize TAAFace::TextExtent(std::string_view Text) { return FMask->TextExtent(Text); }

void DrawStretchedGraphic(TCanvas* Canvas, const TRect& Rect, TGraphic* Graphic, TColor BackColor) {
  if (!Graphic) return;
  if (dynamic_cast<TIcon*>(Graphic)) {
    TBitmap Bmp;
    Bmp.Canvas()->Brush()->SetColor(BackColor);
    Bmp.Canvas()->Brush()->SetStyle(bsSolid);
    Bmp.SetSize(Graphic->Width(), Graphic->Height());
    Bmp.Canvas()->FillRect(zv::Rect(0, 0, Bmp.Width(), Bmp.Height()));
    Bmp.Canvas()->Draw(0, 0, Graphic);
    Canvas->StretchDraw(Rect, &Bmp);
  } else {
    Canvas->StretchDraw(Rect, Graphic);
  }
}

// ---------------------------------------------------------------------------------------------
// Effect settings
// ---------------------------------------------------------------------------------------------

void TNotifyClass::Assign(TPersistent* Source) {
  if (dynamic_cast<TNotifyClass*>(Source)) return;
  TPersistent::Assign(Source);
}

void TNotifyClass::Changed() {
  if (OnChanged) OnChanged(this);
}

void TNotifyClass::ChildChanged(TObject* /*Sender*/) { Changed(); }

void TEnabledClass::SetEnabled(bool Value) {
  if (FEnabled == Value) return;
  FEnabled = Value;
  if (OnChanged) OnChanged(this);
}

void TEnabledClass::Changed() {
  if (FEnabled) TNotifyClass::Changed();
}

void TEnabledClass::Assign(TPersistent* Source) {
  if (auto* E = dynamic_cast<TEnabledClass*>(Source)) {
    FEnabled = E->FEnabled;
    return;
  }
  TNotifyClass::Assign(Source);
}

const TPropList& TEnabledClass::PublishedProps() const {
  static const TPropList List = TPublisher<TEnabledClass>(TPersistent::PublishedProps())
                                    .Property("Enabled", &TEnabledClass::Enabled, &TEnabledClass::SetEnabled);
  return List;
}

#define ZV_AA_SETTER(Class, Name, Type, Field) \
  void Class::Set##Name(Type Value) {          \
    if (Field == Value) return;                \
    Field = Value;                             \
    Changed();                                 \
  }

ZV_AA_SETTER(TAAShadow, Blur, uint8_t, FBlur)
ZV_AA_SETTER(TAAShadow, Alpha, uint8_t, FAlpha)
ZV_AA_SETTER(TAAShadow, Color, TColor, FColor)
ZV_AA_SETTER(TAAShadow, OffsetX, int8_t, FOffsetX)
ZV_AA_SETTER(TAAShadow, OffsetY, int8_t, FOffsetY)
ZV_AA_SETTER(TAAGradual, Style, TGradualStyle, FStyle)
ZV_AA_SETTER(TAAGradual, StartColor, TColor, FStartColor)
ZV_AA_SETTER(TAAGradual, EndColor, TColor, FEndColor)
ZV_AA_SETTER(TAATexture, Mode, TTextureMode, FMode)
ZV_AA_SETTER(TAAEffect, Alpha, uint8_t, FAlpha)
ZV_AA_SETTER(TAAEffect, Blur, uint8_t, FBlur)
ZV_AA_SETTER(TAAEffect, Outline, bool, FOutline)
ZV_AA_SETTER(TAAEffect, Noise, uint8_t, FNoise)
ZV_AA_SETTER(TAAEffect, Spray, uint8_t, FSpray)
ZV_AA_SETTER(TAAEffect, Angle, int16_t, FAngle)
ZV_AA_SETTER(TAAEffect, HorzMirror, bool, FHorzMirror)
ZV_AA_SETTER(TAAEffect, VertMirror, bool, FVertMirror)

#undef ZV_AA_SETTER

void TAAShadow::Assign(TPersistent* Source) {
  if (auto* S = dynamic_cast<TAAShadow*>(Source)) {
    FEnabled = S->FEnabled;
    FBlur = S->FBlur;
    FAlpha = S->FAlpha;
    FColor = S->FColor;
    FOffsetX = S->FOffsetX;
    FOffsetY = S->FOffsetY;
    return;
  }
  TEnabledClass::Assign(Source);
}

const TPropList& TAAShadow::PublishedProps() const {
  static const TPropList List = TPublisher<TAAShadow>(TEnabledClass::PublishedProps())
                                    .Property("Blur", &TAAShadow::Blur, &TAAShadow::SetBlur)
                                    .Property("Alpha", &TAAShadow::Alpha, &TAAShadow::SetAlpha)
                                    .Property("Color", &TAAShadow::Color, &TAAShadow::SetColor)
                                    .Property("OffsetX", &TAAShadow::OffsetX, &TAAShadow::SetOffsetX)
                                    .Property("OffsetY", &TAAShadow::OffsetY, &TAAShadow::SetOffsetY);
  return List;
}

void TAAGradual::Assign(TPersistent* Source) {
  if (auto* G = dynamic_cast<TAAGradual*>(Source)) {
    FEnabled = G->FEnabled;
    FStyle = G->FStyle;
    FStartColor = G->FStartColor;
    FEndColor = G->FEndColor;
    return;
  }
  TEnabledClass::Assign(Source);
}

const TPropList& TAAGradual::PublishedProps() const {
  static const TPropList List = TPublisher<TAAGradual>(TEnabledClass::PublishedProps())
                                    .Property("Style", &TAAGradual::Style, &TAAGradual::SetStyle)
                                    .Property("StartColor", &TAAGradual::StartColor, &TAAGradual::SetStartColor)
                                    .Property("EndColor", &TAAGradual::EndColor, &TAAGradual::SetEndColor);
  return List;
}

TAATexture::TAATexture(TNotifyEvent ChangedProc)
    : TEnabledClass(std::move(ChangedProc)), FPicture(std::make_unique<TPicture>()) {
  FPicture->OnChange = [this](TObject*) { Changed(); };
}

TAATexture::~TAATexture() { FPicture->OnChange = nullptr; }

void TAATexture::Assign(TPersistent* Source) {
  if (auto* T = dynamic_cast<TAATexture*>(Source)) {
    FEnabled = T->FEnabled;
    FMode = T->FMode;
    FPicture->Assign(T->FPicture.get());
    return;
  }
  TEnabledClass::Assign(Source);
}

const TPropList& TAATexture::PublishedProps() const {
  static const TPropList List = TPublisher<TAATexture>(TEnabledClass::PublishedProps())
                                    .Property("Picture", &TAATexture::Picture, &TAATexture::SetPicture)
                                    .Property("Mode", &TAATexture::Mode, &TAATexture::SetMode);
  return List;
}

TAAEffect::TAAEffect(TNotifyEvent ChangedProc) : TNotifyClass(std::move(ChangedProc)) {
  auto Child = [this](TObject* Sender) { ChildChanged(Sender); };
  FGradual = std::make_unique<TAAGradual>(Child);
  FShadow = std::make_unique<TAAShadow>(Child);
  FTexture = std::make_unique<TAATexture>(Child);
}

TAAEffect::~TAAEffect() = default;

void TAAEffect::SetGradual(TAAGradual* Value) {
  FGradual->Assign(Value);
  Changed();
}

void TAAEffect::SetShadow(TAAShadow* Value) {
  FShadow->Assign(Value);
  Changed();
}

void TAAEffect::SetTexture(TAATexture* Value) {
  FTexture->Assign(Value);
  Changed();
}

void TAAEffect::LoadFromIni(TCustomIniFile* Ini, const std::string& Section) {
  FAlpha = static_cast<uint8_t>(Ini->ReadInteger(Section, "Alpha", FAlpha));
  FBlur = static_cast<uint8_t>(Ini->ReadInteger(Section, "Blur", FBlur));
  FNoise = static_cast<uint8_t>(Ini->ReadInteger(Section, "Noise", FNoise));
  FSpray = static_cast<uint8_t>(Ini->ReadInteger(Section, "Spray", FSpray));
  FAngle = static_cast<int16_t>(Ini->ReadInteger(Section, "Angle", FAngle));
  FOutline = Ini->ReadBool(Section, "Outline", FOutline);
  FHorzMirror = Ini->ReadBool(Section, "HorzMirror", FHorzMirror);
  FVertMirror = Ini->ReadBool(Section, "VertMirror", FVertMirror);
  FShadow->FEnabled = Ini->ReadBool(Section, "Shadow", FShadow->FEnabled);
  FShadow->FAlpha = static_cast<uint8_t>(Ini->ReadInteger(Section, "ShadowAlpha", FShadow->FAlpha));
  FShadow->FBlur = static_cast<uint8_t>(Ini->ReadInteger(Section, "ShadowBlur", FShadow->FBlur));
  FShadow->FColor = static_cast<TColor>(Ini->ReadInteger(Section, "ShadowColor", FShadow->FColor));
  FShadow->FOffsetX = static_cast<int8_t>(Ini->ReadInteger(Section, "ShadowOffsetX", FShadow->FOffsetX));
  FShadow->FOffsetY = static_cast<int8_t>(Ini->ReadInteger(Section, "ShadowOffsetY", FShadow->FOffsetY));
  FGradual->FEnabled = Ini->ReadBool(Section, "Gradual", FGradual->FEnabled);
  FGradual->FStartColor = static_cast<TColor>(Ini->ReadInteger(Section, "GradualStartColor", FGradual->FStartColor));
  FGradual->FEndColor = static_cast<TColor>(Ini->ReadInteger(Section, "GradualEndColor", FGradual->FEndColor));
  const uint8_t Style = static_cast<uint8_t>(Ini->ReadInteger(Section, "GradualStyle", FGradual->FStyle));
  FGradual->FStyle = Style > gsCenterToTB ? gsLeftToRight : static_cast<TGradualStyle>(Style);
  FTexture->FEnabled = Ini->ReadBool(Section, "Texture", FTexture->FEnabled);
  const uint8_t Mode = static_cast<uint8_t>(Ini->ReadInteger(Section, "TextureMode", FTexture->FMode));
  FTexture->FMode = Mode > tmNormal ? tmTiled : static_cast<TTextureMode>(Mode);
}

void TAAEffect::SaveToIni(TCustomIniFile* Ini, const std::string& Section) {
  Ini->WriteInteger(Section, "Alpha", FAlpha);
  Ini->WriteInteger(Section, "Blur", FBlur);
  Ini->WriteInteger(Section, "Noise", FNoise);
  Ini->WriteInteger(Section, "Spray", FSpray);
  Ini->WriteInteger(Section, "Angle", FAngle);
  Ini->WriteBool(Section, "Outline", FOutline);
  Ini->WriteBool(Section, "HorzMirror", FHorzMirror);
  Ini->WriteBool(Section, "VertMirror", FVertMirror);
  Ini->WriteBool(Section, "Shadow", FShadow->FEnabled);
  Ini->WriteInteger(Section, "ShadowAlpha", FShadow->FAlpha);
  Ini->WriteInteger(Section, "ShadowBlur", FShadow->FBlur);
  Ini->WriteInteger(Section, "ShadowColor", FShadow->FColor);
  Ini->WriteInteger(Section, "ShadowOffsetX", FShadow->FOffsetX);
  Ini->WriteInteger(Section, "ShadowOffsetY", FShadow->FOffsetY);
  Ini->WriteBool(Section, "Gradual", FGradual->FEnabled);
  Ini->WriteInteger(Section, "GradualStartColor", FGradual->FStartColor);
  Ini->WriteInteger(Section, "GradualEndColor", FGradual->FEndColor);
  Ini->WriteInteger(Section, "GradualStyle", FGradual->FStyle);
  Ini->WriteBool(Section, "Texture", FTexture->FEnabled);
  Ini->WriteInteger(Section, "TextureMode", FTexture->FMode);
}

void TAAEffect::Assign(TPersistent* Source) {
  if (auto* E = dynamic_cast<TAAEffect*>(Source)) {
    if (E == this) return;
    FAlpha = E->FAlpha;
    FBlur = E->FBlur;
    FOutline = E->FOutline;
    FNoise = E->FNoise;
    FSpray = E->FSpray;
    FAngle = E->FAngle;
    FHorzMirror = E->FHorzMirror;
    FVertMirror = E->FVertMirror;
    FGradual->Assign(E->FGradual.get());
    FShadow->Assign(E->FShadow.get());
    FTexture->Assign(E->FTexture.get());
    return;
  }
  TNotifyClass::Assign(Source);
}

const TPropList& TAAEffect::PublishedProps() const {
  static const TPropList List = TPublisher<TAAEffect>(TPersistent::PublishedProps())
                                    .Property("Alpha", &TAAEffect::Alpha, &TAAEffect::SetAlpha)
                                    .Property("Blur", &TAAEffect::Blur, &TAAEffect::SetBlur)
                                    .Property("Gradual", &TAAEffect::Gradual, &TAAEffect::SetGradual)
                                    .Property("Shadow", &TAAEffect::Shadow, &TAAEffect::SetShadow)
                                    .Property("Texture", &TAAEffect::Texture, &TAAEffect::SetTexture)
                                    .Property("Outline", &TAAEffect::Outline, &TAAEffect::SetOutline)
                                    .Property("Noise", &TAAEffect::Noise, &TAAEffect::SetNoise)
                                    .Property("Spray", &TAAEffect::Spray, &TAAEffect::SetSpray)
                                    .Property("Angle", &TAAEffect::Angle, &TAAEffect::SetAngle)
                                    .Property("HorzMirror", &TAAEffect::HorzMirror, &TAAEffect::SetHorzMirror)
                                    .Property("VertMirror", &TAAEffect::VertMirror, &TAAEffect::SetVertMirror);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TAAFaceEx
// ---------------------------------------------------------------------------------------------

TAAFaceEx::TAAFaceEx(TCanvas* ACanvas) : TAAFace(ACanvas), FEffect(std::make_unique<TAAEffect>()) {}

TAAFaceEx::~TAAFaceEx() = default;

TSize TAAFaceEx::TextExtent(std::string_view Text) {
  TSize Size;
  {
    TRotatedFontGuard Rotated(Canvas(), FEffect->Angle());
    Size = TAAFace::TextExtent(Text);
  }
  if (FEffect->Shadow()->Enabled()) {
    Size.cx += std::abs(FEffect->Shadow()->OffsetX());
    Size.cy += std::abs(FEffect->Shadow()->OffsetY());
  }
  return Size;
}

void TAAFaceEx::TextOut(int32_t X, int32_t Y, std::string_view Text) {
  if (!Canvas() || Text.empty()) return;
  TRotatedFontGuard Rotated(Canvas(), FEffect->Angle());
  TAAMask* M = Mask();
  M->DrawText(Text);
  if (FEffect->Outline()) M->Outline();
  if (FEffect->Spray() != 0) M->Spray(FEffect->Spray());
  if (FEffect->HorzMirror()) M->HorzMirror();
  if (FEffect->VertMirror()) M->VertMirror();

  TAAShadow* Sh = FEffect->Shadow();
  TPoint TextPoint{X, Y};
  const TBrushStyle OldStyle = Canvas()->Brush()->Style();
  if (Sh->Enabled()) {
    TextPoint = {X + std::max(-Sh->OffsetX(), 0), Y + std::max(-Sh->OffsetY(), 0)};
    const TPoint ShadowPoint{X + std::max<int32_t>(Sh->OffsetX(), 0), Y + std::max<int32_t>(Sh->OffsetY(), 0)};
    TAAMask Shadow(this);
    Shadow.Assign(M);
    if (Sh->Blur() != 0) Shadow.Blur(Sh->Blur());
    Blend()->BlendColor(ShadowPoint.X, ShadowPoint.Y, &Shadow, static_cast<uint8_t>(FEffect->Alpha() * Sh->Alpha() / 100),
                        Sh->Color());
    Canvas()->Brush()->SetStyle(bsClear);
  }
  struct TStyleRestore {
    TCanvas* Canvas;
    bool Active;
    TBrushStyle Style;
    ~TStyleRestore() {
      if (Active) Canvas->Brush()->SetStyle(Style);
    }
  } Restore{Canvas(), Sh->Enabled(), OldStyle};

  if (FEffect->Blur() != 0) M->Blur(FEffect->Blur());

  TAATexture* Tx = FEffect->Texture();
  const bool HasTexture = Tx->Enabled() && Tx->Picture()->Graphic() && !Tx->Picture()->Graphic()->Empty();
  if (HasTexture || FEffect->Gradual()->Enabled()) {
    if (HasTexture)
      CreateTexture();
    else
      CreateGradual();
    if (FEffect->Noise() != 0) AddNoise(FEffect->Noise());
    Blend()->BlendForeground(TextPoint.X, TextPoint.Y, M, FEffect->Alpha());
  } else if (FEffect->Noise() != 0) {
    CreateNoiseFore();
    Blend()->BlendForeground(TextPoint.X, TextPoint.Y, M, FEffect->Alpha());
  } else {
    Blend()->BlendColor(TextPoint.X, TextPoint.Y, M, FEffect->Alpha(), Canvas()->Font()->Color());
  }
}

void TAAFaceEx::CreateGradual() {
  TAAGradual* G = FEffect->Gradual();
  if (!G->Enabled()) return;
  const int32_t W = Mask()->Width(), H = Mask()->Height();
  TBitmap* Fore = Blend()->ForeBmp();
  Fore->SetPixelFormat(pf24bit);
  Fore->SetSize(W, H);
  if (W <= 0 || H <= 0) return;

  const TGradualStyle Style = G->Style();
  const bool Horizontal = Style == gsLeftToRight || Style == gsRightToLeft || Style == gsCenterToLR;
  const bool Centre = Style == gsCenterToLR || Style == gsCenterToTB;
  const bool Forward = Style == gsLeftToRight || Style == gsTopToBottom;
  const int32_t B = Horizontal ? W : H;
  const int32_t N = Centre ? (B + 1) / 2 : B;
  const TRgb From = RgbOf(Forward ? G->StartColor() : G->EndColor());
  const TRgb To = RgbOf(Forward ? G->EndColor() : G->StartColor());
  std::vector<TRgb> Ramp(size_t(B), From);
  for (int32_t I = 0; I < N; ++I)
    Ramp[size_t(I)] = {From.R + I * (To.R - From.R) / N, From.G + I * (To.G - From.G) / N,
                       From.B + I * (To.B - From.B) / N};
  if (Centre)
    for (int32_t I = 0; I < N; ++I) Ramp[size_t(B - 1 - I)] = Ramp[size_t(I)];

  for (int32_t R = 0; R < H; ++R) {
    auto* P = static_cast<uint8_t*>(Fore->ScanLine(R));
    for (int32_t X = 0; X < W; ++X, P += 3) {
      const TRgb& C = Ramp[size_t(Horizontal ? X : R)];
      P[0] = static_cast<uint8_t>(C.B);
      P[1] = static_cast<uint8_t>(C.G);
      P[2] = static_cast<uint8_t>(C.R);
    }
  }
}

void TAAFaceEx::CreateNoiseFore() {
  const int32_t W = Mask()->Width(), H = Mask()->Height();
  TBitmap* Fore = Blend()->ForeBmp();
  Fore->SetPixelFormat(pf24bit);
  Fore->SetSize(W, H);
  if (W <= 0 || H <= 0 || !Canvas()) return;
  const TRgb C = RgbOf(Canvas()->Font()->Color());
  const int32_t Noise = FEffect->Noise();
  for (int32_t R = 0; R < H; ++R) {
    auto* P = static_cast<uint8_t*>(Fore->ScanLine(R));
    for (int32_t X = 0; X < W; ++X, P += 3) {
      const int32_t Red = C.R + RandomBelow(Noise) - Noise / 2;
      const int32_t Green = C.G + RandomBelow(Noise) - Noise / 2;
      const int32_t Blue = C.B + RandomBelow(Noise) - Noise / 2;
      P[0] = ClampByte(Blue);
      P[1] = ClampByte(Green);
      P[2] = ClampByte(Red);
    }
  }
}

void TAAFaceEx::AddNoise(uint8_t Amount) {
  TBitmap* Fore = Blend()->ForeBmp();
  for (int32_t R = 0; R < Fore->Height(); ++R) {
    auto* P = static_cast<uint8_t*>(Fore->ScanLine(R));
    for (int32_t I = 0; I < Fore->Width() * 3; ++I) P[I] = ClampByte(P[I] + RandomBelow(Amount) - Amount / 2);
  }
}

void TAAFaceEx::CreateTexture() {
  TAATexture* Tx = FEffect->Texture();
  TGraphic* G = Tx->Picture()->Graphic();
  if (!Canvas() || !Tx->Enabled() || !G) return;
  const int32_t W = Mask()->Width(), H = Mask()->Height();
  TBitmap* Fore = Blend()->ForeBmp();
  Fore->SetPixelFormat(pf24bit);
  Fore->SetSize(W, H);
  if (W <= 0 || H <= 0) return;
  TCanvas* FC = Fore->Canvas();
  const TColor FontColor = Canvas()->Font()->Color();
  FC->Brush()->SetColor(FontColor);
  FC->Brush()->SetStyle(bsSolid);
  FC->FillRect(Rect(0, 0, W, H));
  switch (Tx->Mode()) {
    case tmTiled: TileDraw(FC, Rect(0, 0, W, H), G); break;
    case tmStretched: DrawStretchedGraphic(FC, Rect(0, 0, W, H), G, FontColor); break;
    case tmCenter: FC->Draw((W - G->Width()) / 2, (H - G->Height()) / 2, G); break;
    case tmNormal: FC->Draw(0, 0, G); break;
  }
}

void TAAFaceEx::TileDraw(TCanvas* Canvas, const TRect& Rect, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  const int32_t GW = Graphic->Width(), GH = Graphic->Height();
  for (int32_t I = 0; I <= Rect.Height() / GH; ++I)
    for (int32_t J = 0; J <= Rect.Width() / GW; ++J) Canvas->Draw(Rect.Left + GW * J, Rect.Top + GH * I, Graphic);
}

}  // namespace zv
