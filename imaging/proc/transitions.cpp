#include "imaging/proc/transitions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/ieview.h"
#include "imaging/core/render.h"
#include "imaging/proc/transition_table.h"
#include "platform/gdi.h"
#include "platform/sysutils.h"
#include "platform/win32.h"

namespace zv {

namespace {

constexpr int32_t kLastStep = 1024;
constexpr TColor kWipeLineColour = 0x0000FF;

// x shr 10 of the unsigned product, as the effects scale a size by a step.
int32_t Scaled(int32_t Step, int32_t Size) {
  return static_cast<int32_t>((static_cast<uint64_t>(static_cast<uint32_t>(Step)) * static_cast<uint32_t>(Size)) >> 10);
}

int32_t RoundScaled(int32_t Step, int32_t Size) {
  return static_cast<int32_t>(Round(static_cast<long double>(Step) * Size / 1024.0L));
}

void MakePicture(std::unique_ptr<TBitmap>& Picture) {
  Picture = std::make_unique<TBitmap>();
  Picture->SetPixelFormat(pf24bit);
  Picture->SetSize(1, 1);
}

void FillRows(TBitmap* Picture, std::vector<uint8_t*>& Rows) {
  Rows.resize(static_cast<size_t>(Picture->Height()));
  for (int32_t y = 0; y < Picture->Height(); ++y) Rows[static_cast<size_t>(y)] = static_cast<uint8_t*>(Picture->ScanLine(y));
}

// Copies the top-left W x H pixels of From into To (both 24-bit, at least that large).
void CopyPixels(TBitmap* From, TBitmap* To, int32_t W, int32_t H) {
  for (int32_t y = 0; y < H; ++y)
    std::memcpy(To->ScanLine(y), From->ScanLine(y), static_cast<size_t>(W) * 3);
}

}  // namespace

int32_t TransitionStepFor(uint32_t Elapsed, int32_t Duration, uint8_t Timing, int32_t Current) {
  if (Duration <= 0) return kLastStep;
  const double t = static_cast<double>(Elapsed) / Duration;
  double value;
  switch (Timing) {
    case IETimingLinear:
      value = t * 1024.0;
      break;
    case IETimingExponential:
      value = std::exp(5.0 * t - 2.718) / 10.0 * 1024.0;
      break;
    case IETimingLogarithmic:
      // No value at t = 0 and steps below 0 until t is about 0.0066: those stay at 0.
      value = t > 0 ? (std::log(10.0 * t) + 2.718) / 5.0 * 1024.0 : 0.0;
      break;
    default:
      return Current;
  }
  if (!(value > 0)) return 0;
  if (value >= kLastStep) return kLastStep;
  return static_cast<int32_t>(std::trunc(value));
}

void FitPanZoomRect(int32_t PartWidth, int32_t PartHeight, int32_t FrameWidth, int32_t FrameHeight, int32_t& Width,
                    int32_t& Height, int32_t& X, int32_t& Y) {
  Width = 0;
  Height = 0;
  X = 0;
  Y = 0;
  // A zero divisor ends the computation with what is set so far, as a floating-point fault would.
  if (FrameWidth == 0 || FrameHeight == 0) return;
  const double w = PartWidth, h = PartHeight, fw = FrameWidth, fh = FrameHeight;
  double k;
  if (w / fw > h / fh) {
    if (PartWidth == 0) return;
    k = fw / w;
  } else {
    if (PartHeight == 0) return;
    k = fh / h;
  }
  const double scaledW = w * k, scaledH = h * k;
  if (!std::isfinite(scaledW) || !std::isfinite(scaledH) || std::fabs(scaledW) > 2e9 || std::fabs(scaledH) > 2e9)
    return;
  Width = static_cast<int32_t>(Round(scaledW));
  Height = static_cast<int32_t>(Round(scaledH));
  X = static_cast<int32_t>(std::trunc(fw / 2 - Width / 2.0));
  Y = static_cast<int32_t>(std::trunc(fh / 2 - Height / 2.0));
}

// ---- The engine ----------------------------------------------------------------------------------------

TIETransitionEffects::TIETransitionEffects(TIEView* View, TIETransitionViewLinks Links)
    : TickSource([] { return static_cast<uint32_t>(GetTickCount()); }),
      EffectProcs(TransitionEffectProcs()),
      FView(View),
      FLinks(std::move(Links)) {
  MakePicture(FSource);
  MakePicture(FTarget);
  MakePicture(FFrame);
  FTimer = new TTimer(View);
  FTimer->SetEnabled(false);
  FTimer->OnTimer = [this](TObject* Sender) { Step(Sender); };
  FTimer->SetInterval(1);
}

TIETransitionEffects::~TIETransitionEffects() {
  FreeRows();
  delete FTimer;
}

void TIETransitionEffects::FreeRows() {
  std::vector<uint8_t*>().swap(FSourceRows);
  std::vector<uint8_t*>().swap(FTargetRows);
  std::vector<uint8_t*>().swap(FFrameRows);
}

void TIETransitionEffects::SetUpRows() {
  FillRows(FSource.get(), FSourceRows);
  FillRows(FTarget.get(), FTargetRows);
  FillRows(FFrame.get(), FFrameRows);
}

bool TIETransitionEffects::PicturesMatch() const {
  const auto fits = [this](const std::unique_ptr<TBitmap>& P, const std::vector<uint8_t*>& Rows) {
    return P->Width() == FWidth && P->Height() == FHeight && static_cast<int32_t>(Rows.size()) == FHeight;
  };
  return FWidth > 0 && FHeight > 0 && fits(FSource, FSourceRows) && fits(FTarget, FTargetRows) &&
         fits(FFrame, FFrameRows);
}

bool TIETransitionEffects::Start(TBitmap* Source, TBitmap* Target, uint8_t TransitionType, int32_t Duration,
                                 uint8_t Timing, bool UpdateAtEnd) {
  if (!Source || !Target || TransitionType == 0 || Duration < 1) return false;
  const int32_t W = std::min(Source->Width(), Target->Width());
  const int32_t H = std::min(Source->Height(), Target->Height());
  if (W <= 0 || H <= 0) return false;
  Stop();
  FreeRows();
  for (auto* p : {FSource.get(), FTarget.get(), FFrame.get()}) {
    p->SetPixelFormat(pf24bit);
    p->SetSize(W, H);
  }
  BitBlt(FSource->Canvas()->Handle(), 0, 0, W, H, Source->Canvas()->Handle(), 0, 0, SRCCOPY);
  BitBlt(FTarget->Canvas()->Handle(), 0, 0, W, H, Target->Canvas()->Handle(), 0, 0, SRCCOPY);
  FWidth = W;
  FHeight = H;
  SetUpRows();
  FTransitionType = TransitionType;
  FDuration = Duration;
  FTiming = Timing;
  FUpdateAtEnd = UpdateAtEnd;
  FStep = 0;
  FPointsDrawn = 0;
  if (FLinks.LockPaint) FLinks.LockPaint();
  FStartTime = TickSource();
  FRunning = true;
  FTimer->SetEnabled(true);
  return true;
}

void TIETransitionEffects::SetPanZoom(TIEBitmap* Source, const TRect& StartRect, const TRect& EndRect) {
  FPanZoomSource = Source;
  FPanZoomStart = StartRect;
  FPanZoomEnd = EndRect;
}

void TIETransitionEffects::Stop() {
  if (!FRunning || FTransitionType == 0) return;
  FTimer->SetEnabled(false);
  FRunning = false;
  FFrame->SetSize(1, 1);
  FSource->SetSize(1, 1);
  FTarget->SetSize(1, 1);
  // The row arrays point into the pictures just shrunk: they go with them.
  FreeRows();
  if (FLinks.UnlockPaintNoUpdate) FLinks.UnlockPaintNoUpdate();
  if (FUpdateAtEnd && FView) FView->Update();
  if (OnTransitionStop) OnTransitionStop(FView);
}

void TIETransitionEffects::CopyToView(TBitmap* Picture) {
  if (!FView) return;
  BitBlt(FView->GetCanvas()->Handle(), 0, 0, FWidth, FHeight, Picture->Canvas()->Handle(), 0, 0, SRCCOPY);
}

void TIETransitionEffects::Step(TObject* /*Sender*/) {
  if (!FRunning) return;
  if (OnTransitionStep) OnTransitionStep(FView, FStep);
  if ((FTransitionType >= IEFirstBuiltInTransition && FTransitionType <= IELastBuiltInTransition))
    DrawBuiltIn(FTransitionType, FStep);
  else if (FTransitionType == IEPanZoomTransition)
    DrawPanZoom(FStep);
  else
    DrawExtraEffect(FTransitionType, FStep);
  CopyToView(FFrame.get());
  if (FOnTransitionPaint) FOnTransitionPaint(FView, FFrame.get(), this, FStep);
  const uint32_t elapsed = TickSource() - FStartTime;
  if (elapsed >= static_cast<uint32_t>(FDuration)) {
    if (FUpdateAtEnd && FTransitionType != IEPanZoomTransition) {
      CopyToView(FTarget.get());
      if (FOnTransitionPaint) FOnTransitionPaint(FView, FTarget.get(), this, kLastStep);
    }
    Stop();
  }
  FStep = TransitionStepFor(elapsed, FDuration, FTiming, FStep);
}

void TIETransitionEffects::DrawExtraEffect(uint8_t TransitionType, int32_t AStep) {
  if (!PicturesMatch()) return;
  if (FStep == 0) {
    CopyPixels(FSource.get(), FFrame.get(), FWidth, FHeight);
    return;
  }
  const size_t row = static_cast<size_t>(TransitionType) - 1;
  if (TransitionType == 0 || row >= EffectProcs.size() || !EffectProcs[row]) return;
  SetStretchBltMode(FFrame->Canvas()->Handle(), HALFTONE);
  const int32_t percent = static_cast<int32_t>(Round(std::clamp(AStep, 0, kLastStep) / 1024.0L * 100));
  EffectProcs[row](FFrame->Canvas(), FSource.get(), FTarget.get(), TRect(0, 0, FWidth, FHeight), 1, percent);
}

// ---- Drawing helpers -------------------------------------------------------------------------------------

void TIETransitionEffects::CopyRectFrom(TBitmap* Picture, int32_t X, int32_t Y, int32_t W, int32_t H) {
  const int64_t x0 = std::max<int64_t>(X, 0), y0 = std::max<int64_t>(Y, 0);
  const int64_t x1 = std::min<int64_t>(int64_t(X) + W, FWidth), y1 = std::min<int64_t>(int64_t(Y) + H, FHeight);
  if (x0 >= x1 || y0 >= y1) return;
  const auto& from = Picture == FSource.get() ? FSourceRows : FTargetRows;
  for (int64_t y = y0; y < y1; ++y)
    std::memcpy(FFrameRows[size_t(y)] + x0 * 3, from[size_t(y)] + x0 * 3, size_t(x1 - x0) * 3);
}

void TIETransitionEffects::DrawPictureAt(TBitmap* Picture, int32_t X, int32_t Y) {
  const auto& from = Picture == FSource.get() ? FSourceRows : FTargetRows;
  const int64_t x0 = std::max<int64_t>(X, 0), y0 = std::max<int64_t>(Y, 0);
  const int64_t x1 = std::min<int64_t>(int64_t(X) + FWidth, FWidth), y1 = std::min<int64_t>(int64_t(Y) + FHeight, FHeight);
  if (x0 >= x1 || y0 >= y1) return;
  for (int64_t y = y0; y < y1; ++y)
    std::memcpy(FFrameRows[size_t(y)] + x0 * 3, from[size_t(y - Y)] + (x0 - X) * 3, size_t(x1 - x0) * 3);
}

void TIETransitionEffects::RedLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  TCanvas* canvas = FFrame->Canvas();
  canvas->Pen()->SetColor(kWipeLineColour);
  canvas->MoveTo(X1, Y1);
  canvas->LineTo(X2, Y2);
}

void TIETransitionEffects::Blend(const uint8_t* A, const uint8_t* B, int32_t s, bool ABackground,
                                 bool BBackground) {
  // A and B are three channel values when the side is the background colour, else unused.
  const uint32_t sb = static_cast<uint32_t>(s), sa = kLastStep - sb;
  for (int32_t y = 0; y < FHeight; ++y) {
    const uint8_t* a = ABackground ? nullptr : FSourceRows[size_t(y)];
    const uint8_t* b = BBackground ? nullptr : FTargetRows[size_t(y)];
    uint8_t* f = FFrameRows[size_t(y)];
    if (a && b) {
      for (int32_t i = 0; i < FWidth * 3; ++i) f[i] = static_cast<uint8_t>((a[i] * sa + b[i] * sb) >> 10);
      continue;
    }
    for (int32_t x = 0; x < FWidth * 3; x += 3)
      for (int32_t c = 0; c < 3; ++c) {
        const uint32_t av = a ? a[x + c] : A[c], bv = b ? b[x + c] : B[c];
        f[x + c] = static_cast<uint8_t>((av * sa + bv * sb) >> 10);
      }
  }
}

void TIETransitionEffects::MoveColumns(int32_t Split, TBitmap* Left, int32_t LeftFrom, TBitmap* Right,
                                       int32_t RightFrom) {
  const auto& l = Left == FSource.get() ? FSourceRows : FTargetRows;
  const auto& r = Right == FSource.get() ? FSourceRows : FTargetRows;
  for (int32_t y = 0; y < FHeight; ++y) {
    uint8_t* f = FFrameRows[size_t(y)];
    std::memcpy(f, l[size_t(y)] + size_t(LeftFrom) * 3, size_t(Split) * 3);
    std::memcpy(f + size_t(Split) * 3, r[size_t(y)] + size_t(RightFrom) * 3, size_t(FWidth - Split) * 3);
  }
}

void TIETransitionEffects::MoveRows(int32_t Split, TBitmap* Top, int32_t TopFrom, TBitmap* Bottom,
                                    int32_t BottomFrom) {
  const auto& t = Top == FSource.get() ? FSourceRows : FTargetRows;
  const auto& b = Bottom == FSource.get() ? FSourceRows : FTargetRows;
  const size_t bytes = size_t(FWidth) * 3;
  for (int32_t y = 0; y < Split; ++y) std::memcpy(FFrameRows[size_t(y)], t[size_t(TopFrom + y)], bytes);
  for (int32_t y = Split; y < FHeight; ++y)
    std::memcpy(FFrameRows[size_t(y)], b[size_t(BottomFrom + y - Split)], bytes);
}

void TIETransitionEffects::RandomPoints(int32_t s) {
  if (s == 0) {
    CopyPixels(FSource.get(), FFrame.get(), FWidth, FHeight);
    return;
  }
  const int64_t total = Round(static_cast<long double>(s) * FWidth * (s / 180.0L) / 1024.0L);
  const int64_t fresh = total - FPointsDrawn;
  FPointsDrawn = static_cast<int32_t>(total);
  for (int32_t y = 0; y < FHeight; ++y) {
    const uint8_t* t = FTargetRows[size_t(y)];
    uint8_t* f = FFrameRows[size_t(y)];
    for (int64_t n = 0; n < fresh; ++n) {
      const size_t x = size_t(Random(FWidth)) * 3;
      f[x] = t[x];
      f[x + 1] = t[x + 1];
      f[x + 2] = t[x + 2];
    }
  }
}

void TIETransitionEffects::RandomBoxes(int32_t s) {
  if (s == 0) {
    CopyPixels(FSource.get(), FFrame.get(), FWidth, FHeight);
    return;
  }
  const int64_t boxes = (int64_t(FWidth) * FHeight) / 64;
  const int64_t total = Round(static_cast<long double>(boxes) * s * (s / 180.0L) / 1024.0L);
  const int64_t fresh = total - FPointsDrawn;
  FPointsDrawn = static_cast<int32_t>(total);
  for (int64_t n = 0; n < fresh; ++n) {
    const int32_t x = Random(FWidth) & ~7;
    const int32_t y = Random(FHeight) & ~7;
    CopyRectFrom(FTarget.get(), x, y, 8, 8);
  }
}

// ---- The built-in effects --------------------------------------------------------------------------------

void TIETransitionEffects::DrawBuiltIn(uint8_t TransitionType, int32_t s) {
  if (!PicturesMatch()) return;
  s = std::clamp(s, 0, kLastStep);
  const int32_t s2 = kLastStep - s, W = FWidth, H = FHeight;
  TBitmap* source = FSource.get();
  TBitmap* target = FTarget.get();
  const auto reset = [&] {
    if (s == 0) CopyPixels(source, FFrame.get(), W, H);
  };
  uint8_t background[3] = {0, 0, 0};
  if (TransitionType >= 2 && TransitionType <= 4 && FView) {
    const TIERGB24 c = ColorToRGB24(FView->Background());
    background[0] = c.b;
    background[1] = c.g;
    background[2] = c.r;
  }
  const auto stretchInto = [&](TBitmap* Picture, int32_t step) {
    const int32_t x = W / 2 - Scaled(step, W / 2), y = H / 2 - Scaled(step, H / 2);
    HDC dc = FFrame->Canvas()->Handle();
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, x, y, Scaled(step, W), Scaled(step, H), Picture->Canvas()->Handle(), 0, 0, W, H, SRCCOPY);
  };
  switch (TransitionType) {
    case 1:
      Blend(nullptr, nullptr, s, false, false);
      break;
    case 2:
      Blend(nullptr, background, s, false, true);
      break;
    case 3:
      Blend(background, nullptr, s, true, false);
      break;
    case 4:
      if (s < 512)
        Blend(nullptr, background, 2 * s, false, true);
      else
        Blend(background, nullptr, 2 * s - kLastStep, true, false);
      break;
    case 5:
    case 6: {
      reset();
      const int32_t x = Scaled(s, W);
      CopyRectFrom(target, 0, 0, x, H);
      if (TransitionType == 6) RedLine(x, 0, x, H);
      break;
    }
    case 7:
    case 8: {
      reset();
      const int32_t x = RoundScaled(s2, W);
      CopyRectFrom(target, x, 0, RoundScaled(s, W), H);
      if (TransitionType == 8) RedLine(x, 0, x, H);
      break;
    }
    case 9:
    case 10: {
      reset();
      const int32_t y = RoundScaled(s, H);
      CopyRectFrom(target, 0, 0, W, y);
      if (TransitionType == 10) RedLine(0, y, W, y);
      break;
    }
    case 11:
    case 12: {
      reset();
      const int32_t y = RoundScaled(s2, H);
      CopyRectFrom(target, 0, y, W, RoundScaled(s, H));
      if (TransitionType == 12) RedLine(0, y, W, y);
      break;
    }
    case 13:
      reset();
      DrawPictureAt(target, -Scaled(s2, W), -Scaled(s2, H));
      break;
    case 14:
      reset();
      DrawPictureAt(target, Scaled(s2, W), -Scaled(s2, H));
      break;
    case 15:
      reset();
      DrawPictureAt(target, -Scaled(s2, W), Scaled(s2, H));
      break;
    case 16:
      reset();
      DrawPictureAt(target, Scaled(s2, W), Scaled(s2, H));
      break;
    case 17: {
      const int32_t c = Scaled(s, W);
      MoveColumns(c, target, W - c, source, 0);
      break;
    }
    case 18: {
      const int32_t c = Scaled(s, W);
      MoveColumns(c, target, 0, source, 0);
      break;
    }
    case 19: {
      const int32_t c = Scaled(s2, W);
      MoveColumns(c, source, W - c, target, 0);
      break;
    }
    case 20: {
      const int32_t c = Scaled(s2, W);
      MoveColumns(c, source, W - c, target, c);
      break;
    }
    case 21: {
      const int32_t n = Scaled(s, H);
      MoveRows(n, target, H - n, source, 0);
      break;
    }
    case 22: {
      const int32_t n = Scaled(s, H);
      MoveRows(n, target, 0, source, 0);
      break;
    }
    case 23: {
      const int32_t n = Scaled(s2, H);
      MoveRows(n, source, H - n, target, 0);
      break;
    }
    case 24: {
      const int32_t n = Scaled(s2, H);
      MoveRows(n, source, H - n, target, n);
      break;
    }
    case 25:
      RandomPoints(s);
      break;
    case 26:
      RandomBoxes(s);
      break;
    case 27: {
      reset();
      const int32_t x = W / 2 - Scaled(s, W / 2), y = H / 2 - Scaled(s, H / 2);
      CopyRectFrom(target, x, y, Scaled(s, W), Scaled(s, H));
      break;
    }
    case 28: {
      CopyPixels(target, FFrame.get(), W, H);
      const int32_t x = W / 2 - Scaled(s2, W / 2), y = H / 2 - Scaled(s2, H / 2);
      CopyRectFrom(source, x, y, Scaled(s2, W), Scaled(s2, H));
      break;
    }
    case 29:
      reset();
      stretchInto(target, s);
      break;
    case 30:
      CopyPixels(target, FFrame.get(), W, H);
      stretchInto(source, s2);
      break;
    default:
      break;
  }
}

void TIETransitionEffects::DrawPanZoom(int32_t s) {
  if (!PicturesMatch()) return;
  s = std::clamp(s, 0, kLastStep);
  const auto edge = [s](int32_t From, int32_t To) {
    const double delta = (static_cast<double>(From) - To) / 1024.0;
    return static_cast<int64_t>(std::trunc(From - s * delta));
  };
  int64_t left = edge(FPanZoomStart.Left, FPanZoomEnd.Left);
  int64_t top = edge(FPanZoomStart.Top, FPanZoomEnd.Top);
  int64_t w = edge(FPanZoomStart.Right, FPanZoomEnd.Right) - left;
  int64_t h = edge(FPanZoomStart.Bottom, FPanZoomEnd.Bottom) - top;
  const int64_t pw = FPanZoomSource ? FPanZoomSource->GetWidth() : 0;
  const int64_t ph = FPanZoomSource ? FPanZoomSource->GetHeight() : 0;
  // Clipped on all four edges of the image, so nothing is read from outside it.
  bool clipped = false;
  if (left < 0) {
    w += left;
    left = 0;
    clipped = true;
  }
  if (left + w > pw) {
    w = pw - left;
    clipped = true;
  }
  if (top < 0) {
    h += top;
    top = 0;
    clipped = true;
  }
  if (top + h > ph) {
    h = ph - top;
    clipped = true;
  }
  if (w <= 0 || h <= 0) clipped = true;
  int32_t dx = 0, dy = 0, dw = FWidth, dh = FHeight;
  if (clipped) {
    if (FLinks.DrawBackgroundTo) FLinks.DrawBackgroundTo(FFrame->Canvas());
    if (w <= 0 || h <= 0) return;
    FitPanZoomRect(int32_t(w), int32_t(h), FWidth, FHeight, dw, dh, dx, dy);
  }
  DrawToTBitmap(FPanZoomSource, FFrame.get(), dx, dy, dw, dh, int32_t(left), int32_t(top), int32_t(w), int32_t(h),
                255, rfNone, 0);
}

}  // namespace zv
