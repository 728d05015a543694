#include "imaging/proc/imaging_proc.h"

#include <cstdio>

#include "imaging/core/bitmap.h"
#include "imaging/core/mask.h"
#include "imaging/proc/canvas_ops.h"
#include "imaging/proc/filters.h"
#include "imaging/proc/resample.h"
#include "platform/graphics.h"
#include "platform/std_controls.h"

namespace zv {

TImagingProcLinks ImagingProcLinks;

namespace {

void ViewChangeCallback(TObject* Owner, TIEView* /*View*/, int32_t Flag) {
  static_cast<TImagingProc*>(Owner)->ViewChanged(Flag);
}

// For each pixel format, the formats to convert to when it is not allowed, the best first.
constexpr TIEPixelFormat PreferredFormats[IEPixelFormatCount][7] = {
    /* ieNone   */ {},
    /* ie1g     */ {ie8g, ieGray16, ie32f, ie24RGB},
    /* ie8p     */ {ie24RGB, ieCMYK, ieRGB48, ieCIELab},
    /* ie8g     */ {ieGray16, ie32f, ie24RGB, ieCMYK, ieRGB48},
    /* ieGray16 */ {ie32f, ie8g, ieRGB48, ie24RGB, ieCMYK},
    /* ie24RGB  */ {ieCMYK, ieCIELab, ieRGB48, ie8p, ieGray16, ie8g},
    /* ie32f    */ {ieGray16, ie8g, ie24RGB, ieRGB48, ieCIELab},
    /* ieCMYK   */ {ie24RGB, ieRGB48, ieCIELab, ie8g},
    /* ieRGB48  */ {ie24RGB, ieCMYK, ieCIELab, ieGray16},
    /* ieCIELab */ {ie24RGB, ieCMYK, ieRGB48, ie8g},
    /* ieRGBX32 */ {ie24RGB, ieCMYK, ieRGB48, ie8g},
};

template <class... Args>
std::string Caption(const char* Format, Args... Values) {
  char Buffer[96];
  std::snprintf(Buffer, sizeof Buffer, Format, Values...);
  return Buffer;
}

}  // namespace

// ---- Dialog parameters ----------------------------------------------------------------------------

TIPDialogParams::TIPDialogParams() : FState(std::make_unique<TMemoryStream>()) { Reset(); }

TIPDialogParams::~TIPDialogParams() = default;

void TIPDialogParams::Reset() {
  for (int32_t& v : FSelectionIndex) v = -1;
  for (int32_t& v : Values) v = 0;
  for (auto& Row : Matrix)
    for (int32_t& v : Row) v = 0;
  Matrix[1][1] = 1;
  Divisor = 0;
  const TIERGB24 Black{0, 0, 0}, White{255, 255, 255};
  Colors[0] = Black;
  Colors[1] = White;
  Colors[2] = Black;
  Colors[3] = White;
  for (int32_t& v : Values2) v = 0;
  Size1[0] = Size1[1] = 150;
  Color2 = White;
  Values3[0] = 0;
  Values3[1] = 1;
  Values3[2] = 0;
  Values3[3] = 0;
  Size2[0] = Size2[1] = 150;
  Amount1 = 1.7;
  const int32_t Fourth[7] = {1, 10, 10, 0, 0, 0, 1};
  for (int i = 0; i < 7; ++i) Values4[i] = Fourth[i];
  Values5[0] = Values5[1] = 0;
  Amount2 = 1.0;
  Values6[0] = 1;
  Values6[1] = 4;
  Values6[2] = 1;
  FState->Clear();
}

void TIPDialogParams::SetSelectionIndex(int Index, int32_t Value) {
  if (Index < 0 || Index >= 4) return;
  FSelectionIndex[Index] = Value;
  FState->Clear();
}

// ---- Life -----------------------------------------------------------------------------------------------

TImagingProc::TImagingProc(TComponent* AOwner)
    : TComponent(AOwner),
      FAutoUndo(AOwner != nullptr),
      FPreviewFont(std::make_unique<TFont>()),
      FDialogParams(std::make_unique<TIPDialogParams>()) {}

TImagingProc::~TImagingProc() {
  UnregisterViewCallback();
  ClearAllUndo();
  ClearAllRedo();
}

// ---- Attachment -----------------------------------------------------------------------------------------

bool TImagingProc::IsImagingView() const {
  return FAttachedImaging != nullptr && ImagingProcLinks.IsImagingView &&
         ImagingProcLinks.IsImagingView(FAttachedImaging);
}

bool TImagingProc::IsImagingVect() const {
  return FAttachedImaging != nullptr && ImagingProcLinks.IsImagingVect &&
         ImagingProcLinks.IsImagingVect(FAttachedImaging);
}

void TImagingProc::UnregisterViewCallback() {
  if (FAttachedImaging != nullptr && FViewCallbackHandle != nullptr)
    FAttachedImaging->UnregisterChangeCallback(FViewCallbackHandle);
  FViewCallbackHandle = nullptr;
}

void TImagingProc::SetTargetBitmap(TIEBitmap* Bitmap) { FBinding.UseBitmap(Bitmap); }

void TImagingProc::SetAttachedImaging(TIEView* View) {
  UnregisterViewCallback();
  FAttachedImaging = View;
  if (View == nullptr) {
    FBinding.UseOwnBitmap();
    return;
  }
  FBinding.BindView(View);
  View->FreeNotification(this);
  FAttachedTImage = nullptr;
  FViewCallbackHandle = View->RegisterChangeCallback(ViewChangeCallback, this);
}

void TImagingProc::ForgetView() {
  FAttachedImaging = nullptr;
  FViewCallbackHandle = nullptr;
  FBinding.ForgetView();
}

void TImagingProc::ViewChanged(int32_t Flag) {
  if (Flag == IEViewDestroying) {
    ForgetView();
    return;
  }
  // A target the caller emptied stays empty until the caller sets one.
  if (FAttachedImaging == nullptr || Target() == nullptr) return;
  FBinding.FollowView(FAttachedImaging);
}

void TImagingProc::SetAttachedTImage(TImage* Image) {
  UnregisterViewCallback();
  FAttachedTImage = Image;
  if (Image != nullptr) {
    FBinding.BindTImage(Image);
    Image->FreeNotification(this);
    FAttachedImaging = nullptr;
    return;
  }
  FBinding.ForgetPicture();
}

void TImagingProc::AttachIEBitmap(TIEBitmap* Bitmap) {
  if (Bitmap == nullptr && (FAttachedImaging != nullptr || FAttachedTImage != nullptr)) return;
  UnregisterViewCallback();
  SetTargetBitmap(Bitmap);
  if (Bitmap != nullptr) {
    FAttachedImaging = nullptr;
    FAttachedTImage = nullptr;
  }
}

void TImagingProc::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove || AComponent == nullptr) return;
  if (AComponent == FAttachedImaging) {
    UnregisterViewCallback();
    ForgetView();
  } else if (AComponent == FAttachedTImage) {
    FAttachedTImage = nullptr;
    // The picture goes with the control: the wrapper must not keep its rows, also when the target
    // was handed back to us meanwhile.
    FBinding.ForgetPicture();
  }
}

// ---- The operation frame ----------------------------------------------------------------------------

bool TImagingProc::CheckFormat(TIEAllowedFormats Allowed) {
  if (Target() == nullptr) return false;
  FBinding.Rewrap(FAttachedTImage);
  return ConvertToAllowedFormat(Allowed);
}

bool TImagingProc::ConvertToAllowedFormat(TIEAllowedFormats Allowed) {
  if (Target() == nullptr) return false;
  const uint64_t Bits = Allowed.Bits() & 0xFFFF;
  if (Bits == 0) return true;
  auto InSet = [Bits](int32_t Format) { return (Bits >> Format) & 1; };
  const TIEPixelFormat Current = Target()->GetPixelFormat();
  if (uint8_t(Current) < 16 && InSet(Current)) return true;
  if (!FAutoConvertFormat) return false;
  if (uint8_t(Current) < IEPixelFormatCount) {
    for (TIEPixelFormat Format : PreferredFormats[Current]) {
      if (Format == ieNone) break;
      // A conversion that fails leaves the image as it was, in a format the operation does not take.
      if (InSet(Format)) return Target()->SetPixelFormat(Format);
    }
  }
  // The highest-numbered allowed format wins; "no format" is no conversion.
  for (int32_t Format = IEPixelFormatCount - 1; Format >= 1; --Format)
    if (InSet(Format)) return Target()->SetPixelFormat(TIEPixelFormat(Format));
  return false;
}

void TImagingProc::Changed() {
  // A class-library bitmap has no alpha channel to show.
  if (TargetTBitmap() != nullptr && Target() != nullptr) Target()->RemoveAlphaChannel(false, clWhite);
  if (FAttachedImaging != nullptr) {
    FAttachedImaging->Update();
    FAttachedImaging->DoImageChange();
  } else if (TargetTBitmap() != nullptr) {
    TargetTBitmap()->SetModified(true);
  }
}

void TImagingProc::DoFinishWork() {
  if (OnProgress) OnProgress(this, 100);
  if (OnFinishWork) OnFinishWork(this);
}

bool TImagingProc::GetSelection(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2, TIEMask*& Mask,
                                const TPoint*& Points, int32_t& PointCount) {
  FBinding.Rewrap(FAttachedTImage);
  X1 = Y1 = 0;
  X2 = Target() != nullptr ? Target()->GetWidth() : 0;
  Y2 = Target() != nullptr ? Target()->GetHeight() : 0;
  Mask = nullptr;
  Points = nullptr;
  PointCount = 0;
  if (!IsImagingView() || !ImagingProcLinks.GetSelection) return false;
  if (!ImagingProcLinks.GetSelection(FAttachedImaging, Mask, Points, PointCount)) return false;
  if (Mask != nullptr && !Mask->IsEmpty()) {
    X1 = Mask->X1;
    Y1 = Mask->Y1;
    X2 = Mask->X2 + 1;
    Y2 = Mask->Y2 + 1;
  }
  return true;
}

bool TImagingProc::BeginSelectionOp(TIEAllowedFormats Allowed, const std::string& UndoCaption, int32_t& X1,
                                    int32_t& Y1, int32_t& X2, int32_t& Y2, TIEMask*& Mask, TIEBitmap*& Work) {
  Work = nullptr;
  Mask = nullptr;
  if (FAutoUndo) SaveUndoCaptioned(UndoCaption, ieuImage);
  if (!CheckFormat(Allowed)) return false;
  const TPoint* Points = nullptr;
  int32_t PointCount = 0;
  GetSelection(X1, Y1, X2, Y2, Mask, Points, PointCount);
  if (Mask == nullptr || Mask->IsEmpty()) {
    Work = Target();
    return true;
  }
  const int32_t BoxX = Mask->X1, BoxY = Mask->Y1;
  const int32_t BoxW = Mask->X2 - Mask->X1 + 1, BoxH = Mask->Y2 - Mask->Y1 + 1;
  auto Copy = std::make_unique<TIEBitmap>(BoxW, BoxH, Target()->GetPixelFormat());
  if (Copy->IsEmpty()) return false;
  Target()->CopyPaletteTo(Copy.get());
  Target()->CopyRectTo(Copy.get(), BoxX, BoxY, 0, 0, BoxW, BoxH);
  if (Target()->HasAlphaChannel())
    Target()->GetAlphaChannel()->CopyRectTo(Copy->GetAlphaChannel(), BoxX, BoxY, 0, 0, BoxW, BoxH);
  X1 = Y1 = 0;
  X2 = Copy->GetWidth();
  Y2 = Copy->GetHeight();
  Work = Copy.release();
  return true;
}

void TImagingProc::EndSelectionOp(TIEBitmap* Work, TIEMask* Mask) {
  if (Work != nullptr && Work != Target()) {
    std::unique_ptr<TIEBitmap> Copy(Work);
    if (Mask != nullptr && Target() != nullptr) {
      // The copy holds only the mask's box.
      Mask->CopyMaskedPixels(Target(), Copy.get(), false, true, false);
      if (Copy->HasAlphaChannel() && !Copy->GetAlphaChannel()->Full()) {
        TIEBitmap* TargetAlpha = Target()->GetAlphaChannel();
        Mask->CopyMaskedPixels(TargetAlpha, Copy->GetAlphaChannel(), false, true, false);
        TargetAlpha->SetFull(false);
      }
    }
  }
  Changed();
}

// ---- Properties -------------------------------------------------------------------------------------

TColor TImagingProc::Background() const {
  return FAttachedImaging != nullptr ? FAttachedImaging->Background() : FOwnBackground;
}

void TImagingProc::SetBackground(TColor Value) {
  if (FAttachedImaging != nullptr)
    FAttachedImaging->SetBackground(Value);
  else
    FOwnBackground = Value;
}

void TImagingProc::SetPreviewFont(TFont* Font) {
  if (Font != nullptr) FPreviewFont->Assign(Font);
}

const TPropList& TImagingProc::PublishedProps() const {
  static const TPropList List =
      TPublisher<TImagingProc>(TComponent::PublishedProps())
          .Property("AttachedImaging", &TImagingProc::AttachedImaging, &TImagingProc::SetAttachedImaging)
          .Property("AutoUndo", &TImagingProc::AutoUndo, &TImagingProc::SetAutoUndo)
          .Property("Background", &TImagingProc::Background, &TImagingProc::SetBackground)
          .Property("MsgLanguage", &TImagingProc::MsgLanguage, &TImagingProc::SetMsgLanguage)
          .Property("PreviewsParams", &TImagingProc::PreviewsParams, &TImagingProc::PreviewsParams)
          .Property("PreviewFont", &TImagingProc::PreviewFont, &TImagingProc::SetPreviewFont)
          .Property("AttachedTImage", &TImagingProc::AttachedTImage, &TImagingProc::SetAttachedTImage)
          .Property("UndoLimit", &TImagingProc::UndoLimit, &TImagingProc::SetUndoLimit)
          .Property("AutoConvertFormat", &TImagingProc::AutoConvertFormat, &TImagingProc::SetAutoConvertFormat);
  return List;
}

// ---- Resampling -----------------------------------------------------------------------------------------

void TImagingProc::Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter) {
  if (!CheckFormat({}) || Target()->GetWidth() == 0 || Target()->GetHeight() == 0) return;
  if (NewWidth == Target()->GetWidth() && NewHeight == Target()->GetHeight()) return;
  // A request that names no size (both sides negative) does nothing at all rather than leaving an
  // undo entry.
  int32_t W = 0, H = 0;
  if (!ResampleSize(Target()->GetWidth(), Target()->GetHeight(), NewWidth, NewHeight, W, H)) return;
  if (FAutoUndo) SaveUndoCaptioned(Caption("Resample %d, %d", NewWidth, NewHeight), ieuImage);
  {
    TIEBitmap Resampled;
    ResampleInto(&Resampled, NewWidth, NewHeight, Filter);
    if (!Resampled.IsEmpty()) Target()->Assign(&Resampled);
  }
  Changed();
  DoFinishWork();
}

void TImagingProc::ResampleInto(TIEBitmap* Dest, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter) {
  if (Dest == nullptr || !CheckFormat({}) || Target()->GetWidth() == 0 || Target()->GetHeight() == 0) return;
  if (!ResampleToSize(Target(), Dest, NewWidth, NewHeight, Filter, this, OnProgress)) return;
  DoFinishWork();
}

// ---- Canvas, fill and colours -------------------------------------------------------------------------

void TImagingProc::ImageResize(int32_t NewWidth, int32_t NewHeight, uint8_t HAlign, uint8_t VAlign,
                               int32_t FillAlpha) {
  if (!CheckFormat({}) || !ImageResizeApplies(Target(), NewWidth, NewHeight)) return;
  if (FAutoUndo)
    SaveUndoCaptioned("ImageResize " + std::to_string(NewWidth) + "," + std::to_string(NewHeight), ieuImage);
  if (ImageResizeNeedsClear(Target())) Clear();
  ImageResizeBitmap(Target(), NewWidth, NewHeight, HAlign, VAlign, FillAlpha, Background());
  Changed();
  DoFinishWork();
}

void TImagingProc::Clear() {
  if (!CheckFormat({})) return;
  if (FAutoUndo) SaveUndoCaptioned("Clear", ieuImage);
  Target()->Fill(double(Background()));
  Changed();
  DoFinishWork();
}

void TImagingProc::Fill(TIERGB24 Color) {
  int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  TIEMask* Mask = nullptr;
  TIEBitmap* Work = nullptr;
  if (!BeginSelectionOp({}, Caption("Fill (%d, %d, %d)", Color.r, Color.g, Color.b), X1, Y1, X2, Y2, Mask, Work))
    return;
  FillRectRGB24(Work, X1, Y1, X2, Y2, this, OnProgress, Color);
  EndSelectionOp(Work, Mask);
  DoFinishWork();
}

void TImagingProc::ConvertToGray() {
  int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  TIEMask* Mask = nullptr;
  TIEBitmap* Work = nullptr;
  if (!BeginSelectionOp({ie24RGB}, "ConvertToGray", X1, Y1, X2, Y2, Mask, Work)) return;
  ConvertRectToGray24(Work, X1, Y1, X2, Y2, this, OnProgress);
  EndSelectionOp(Work, Mask);
  DoFinishWork();
}

void TImagingProc::ConvertTo(int32_t NColors, bool Threshold) {
  if (!CheckFormat({ie24RGB})) return;
  if (FAutoUndo) SaveUndoCaptioned(Caption("ConvertTo %d", NColors), ieuImage);
  ConvertToColors(Target(), NColors, nullptr, Threshold, this, OnProgress);
  Changed();
  DoFinishWork();
}

void TImagingProc::ConvertToPalette(int32_t NColors, TIERGB24* Palette, bool Threshold) {
  if (NColors == 0 || !CheckFormat({ie24RGB})) return;
  if (FAutoUndo) SaveUndoCaptioned("ConvertToPalette", ieuImage);
  ConvertToColors(Target(), NColors, Palette, Threshold, this, OnProgress);
  Changed();
  DoFinishWork();
}

// ---- Crop -----------------------------------------------------------------------------------------------

void TImagingProc::Crop(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (!CheckFormat({}) || !CropApplies(Target(), X1, Y1, X2, Y2)) return;
  if (FAutoUndo) SaveUndoCaptioned(Caption("Crop %d, %d, %d, %d", X1, Y1, X2, Y2), ieuImage);
  CropBitmap(Target(), X1, Y1, X2, Y2);
  Changed();
  DoFinishWork();
}

void TImagingProc::CropRect(const TRect& Rect) { Crop(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }

void TImagingProc::CropToOpaque() {
  if (!CheckFormat({})) return;
  TRect Rect;
  GetOpaqueBounds(Target(), Rect);
  // The crop leaves no undo entry of its own.
  struct TRestoreAutoUndo {
    bool& Flag;
    bool Saved;
    ~TRestoreAutoUndo() { Flag = Saved; }
  } Restore{FAutoUndo, FAutoUndo};
  FAutoUndo = false;
  CropRect(Rect);
}

}  // namespace zv
