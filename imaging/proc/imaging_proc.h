// TImagingProc: the image library's non-visual processing component. It works on one TIEBitmap (an
// attached view's, an attached TImage's picture, a caller's, or an empty one of its own) and runs every
// operation in one frame: format check, undo copy, the work with progress, then the change notification,
// progress 100 and OnFinishWork.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "imaging/core/bitmap_binding.h"
#include "imaging/core/iedefs.h"
#include "imaging/core/ieview.h"
#include "imaging/proc/undo.h"
#include "platform/objects.h"
#include "platform/streams.h"
#include "platform/types.h"

namespace zv {

class TBitmap;
class TFont;
class TImage;
class TIEBitmap;
class TIEMask;

// The pixel formats an operation accepts (bit n = format n); the empty set accepts every format.
using TIEAllowedFormats = TSet<TIEPixelFormat>;

// Options of the processing dialogs.
enum TPRPreviewsParamsItem : uint8_t { prppShowResetButton, prppHardReset };
template <>
struct TEnumNames<TPRPreviewsParamsItem> {
  static constexpr std::string_view Names[] = {"prppShowResetButton", "prppHardReset"};
};
using TPRPreviewsParams = TSet<TPRPreviewsParamsItem>;

// Called with a processing dialog before it is shown.
using TIEPreviewEvent = std::function<void(TObject* Sender, TObject* PreviewForm)>;

// A layer's identity in the view's undo records.
using TIELayerGUID = std::array<uint8_t, 16>;

// How the component reaches the image view and the vector layer, which are built above it. Their units
// install these when the library starts; while one is empty the component acts as if the attached view
// were a plain TIEView (no selection, no layers, no undo records of its own).
struct TImagingProcLinks {
  // True when View is an image view, with a selection and layers.
  std::function<bool(TIEView* View)> IsImagingView;
  // True when View is a vector layer (an image view with objects).
  std::function<bool(TIEView* View)> IsImagingVect;

  // The view's selection: false when it has none; otherwise its mask and its polygon.
  std::function<bool(TIEView* View, TIEMask*& Mask, const TPoint*& Points, int32_t& PointCount)> GetSelection;

  // Layers: their number, the current one and the bitmap of one.
  std::function<int32_t(TIEView* View)> LayerCount;
  std::function<int32_t(TIEView* View)> CurrentLayer;
  std::function<TIEBitmap*(TIEView* View, int32_t Index)> LayerBitmap;
  std::function<TIELayerGUID(TIEView* View, int32_t Index)> LayerGUID;

  // The view's undo records. A layer record starts with its total length (int32) and the layer's GUID.
  std::function<void(TIEView* View, TStream* Stream)> SaveSelectionToStream;
  std::function<void(TIEView* View, TStream* Stream, int32_t Mode)> LoadSelectionFromStream;
  std::function<void(TIEView* View, int32_t Index, TStream* Stream, bool WithBitmap)> SaveLayerToStream;
  std::function<void(TIEView* View, int32_t Index, TStream* Stream)> LoadLayerFromStream;
  std::function<void(TIEView* View, TStream* Stream, int32_t Compression)> SaveLayersToStream;
  std::function<bool(TIEView* View, TStream* Stream)> LoadLayersFromStream;

  // The vector layer's streams.
  std::function<void(TIEView* View, TStream* Stream)> SaveObjectsToStream;
  std::function<void(TIEView* View, TStream* Stream)> LoadObjectsFromStream;
  std::function<void(TIEView* View, TStream* Stream, int32_t Compression)> SaveAllToStream;
  std::function<bool(TIEView* View, TStream* Stream)> LoadAllFromStream;
};
extern TImagingProcLinks ImagingProcLinks;

// The remembered settings of the processing dialogs; nothing in the library reads them.
class TIPDialogParams : public TObject {
public:
  TIPDialogParams();
  ~TIPDialogParams() override;

  // Every field back to its first value; the dialog state is emptied.
  void Reset();

  int32_t SelectionIndex(int Index) const { return FSelectionIndex[Index]; }
  // Also empties the dialog state.
  void SetSelectionIndex(int Index, int32_t Value);

  int32_t Values[11];
  int32_t Matrix[3][3];
  int32_t Divisor;
  TIERGB24 Colors[4];
  int32_t Values2[3];
  int32_t Size1[2];
  TIERGB24 Color2;
  int32_t Values3[4];
  int32_t Size2[2];
  double Amount1;
  int32_t Values4[7];
  int32_t Values5[2];
  double Amount2;
  int32_t Values6[3];
  TMemoryStream* State() const { return FState.get(); }

private:
  int32_t FSelectionIndex[4];
  std::unique_ptr<TMemoryStream> FState;
};

class TImagingProc : public TComponent {
public:
  // Created with an owner (a view, a form) AutoUndo is on; without one it is off.
  explicit TImagingProc(TComponent* AOwner);
  ~TImagingProc() override;

  // ---- What the component works on ----
  TIEBitmap* Target() const { return FBinding.Bitmap(); }
  bool OwnsTarget() const { return FBinding.OwnsBitmap(); }
  // The class-library bitmap the target wraps (from a TImage, or a view that offers only a TBitmap).
  TBitmap* TargetTBitmap() const { return FBinding.Picture(); }
  TIEView* AttachedImaging() const { return FAttachedImaging; }
  // Works on the view's current bitmap and follows its changes; nullptr gives the component a new
  // empty bitmap of its own.
  void SetAttachedImaging(TIEView* View);
  TImage* AttachedTImage() const { return FAttachedTImage; }
  // Works on the control's picture; nullptr empties the target.
  void SetAttachedTImage(TImage* Image);
  // Works on the caller's Bitmap (which stays the caller's); nullptr while a view or an image is
  // attached changes nothing.
  void AttachIEBitmap(TIEBitmap* Bitmap);
  // Makes Bitmap the target without touching the attachments.
  void SetTargetBitmap(TIEBitmap* Bitmap);
  // The view's change callback: IEViewImageChanged or IEViewDestroying.
  void ViewChanged(int32_t Flag);

  // ---- The operation frame ----
  // False without a target; otherwise whether the target's format is in Allowed, after converting it
  // when AutoConvertFormat allows.
  bool CheckFormat(TIEAllowedFormats Allowed);
  bool ConvertToAllowedFormat(TIEAllowedFormats Allowed);
  // Tells the view (or the TImage) that the image changed.
  void Changed();
  // Progress 100, then OnFinishWork.
  virtual void DoFinishWork();
  // The selection of an attached image view: false without one or without a selection. X2 and Y2 are
  // exclusive; the rectangle is the mask's box, or the whole image when the mask is empty.
  bool GetSelection(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2, TIEMask*& Mask, const TPoint*& Points,
                    int32_t& PointCount);
  // Prepares a selection operation: Work is the target, or a copy of the selection's box; false when
  // the operation may not run.
  bool BeginSelectionOp(TIEAllowedFormats Allowed, const std::string& UndoCaption, int32_t& X1, int32_t& Y1,
                        int32_t& X2, int32_t& Y2, TIEMask*& Mask, TIEBitmap*& Work);
  // Pastes the selected pixels of Work back (and frees a copy), then Changed.
  void EndSelectionOp(TIEBitmap* Work, TIEMask* Mask);

  // ---- Operations ----
  // Resamples the target to NewWidth x NewHeight by ResampleSize's rule: 0 keeps a side, -1 keeps the
  // aspect ratio from the other side, other values count by their absolute value. The request exactly
  // equal to the image's size does nothing; so does one with both sides negative. Any other request,
  // (0, 0) included, leaves an undo entry and reports its work.
  void Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter);
  // Allocates Dest by the same size rule and resamples the target into it.
  void ResampleInto(TIEBitmap* Dest, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter);
  // Changes the canvas size, the image placed by HAlign/VAlign (0 left or top, 1 centre, 2 right or
  // bottom); the new area takes Background and, in the alpha channel, FillAlpha (below 255 the image
  // gets an alpha channel).
  void ImageResize(int32_t NewWidth, int32_t NewHeight, uint8_t HAlign = 0, uint8_t VAlign = 0,
                   int32_t FillAlpha = 255);
  // Every pixel becomes Background.
  void Clear();
  // Fills the selection, or the whole image.
  void Fill(TIERGB24 Color);
  // Greys the selection, or the whole image (the target becomes ie24RGB).
  void ConvertToGray();
  // Reduces the colours: below 3 a 1-bit image (by threshold or ordered dither), up to 1024 quantized,
  // above that unchanged.
  void ConvertTo(int32_t NColors, bool Threshold);
  // As ConvertTo, the colours chosen going to Palette (room for NColors entries, at least 2).
  void ConvertToPalette(int32_t NColors, TIERGB24* Palette, bool Threshold);
  // Keeps the inclusive rectangle of the image and its alpha channel.
  void Crop(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  // Right and Bottom inclusive.
  void CropRect(const TRect& Rect);
  // Crops to the non-transparent part, without an undo entry.
  void CropToOpaque();
  // Turns the image and its alpha channel by Angle degrees counter-clockwise, the canvas growing to the
  // rotated bounds. AntiAlias with Quality 0 shears (ie24RGB, ie1g), 1 samples bilinearly and 2 (or
  // more) bicubically (ie24RGB); without AntiAlias, or for other formats, the nearest pixel is taken.
  // Background -1 is the Background property; the alpha channel gets 0 in the new corners.
  void Rotate(double Angle, bool AntiAlias = true, uint8_t Quality = 0, TColor Background = -1);

  // ---- Undo and redo ----
  virtual bool CanUndo() const { return !FUndo.Empty(); }
  virtual bool CanRedo() const { return !FRedo.Empty(); }
  virtual int32_t UndoCount() const { return FUndo.Count(); }
  virtual int32_t RedoCount() const { return FRedo.Count(); }
  // Caption of the entry at Position (0 = newest); Caption unchanged outside the stack.
  virtual void RedoCaption(int32_t Position, std::string& Caption) const;
  virtual void UndoCaption(int32_t Position, std::string& Caption) const;
  // The source of the entry at Index counted from the OLDEST; ieuUnknown outside.
  TIEUndoSource UndoSourceAt(int32_t Index) const;
  virtual void SaveUndo(TIEUndoSource Source = ieuImage);
  virtual void SaveUndoCaptioned(const std::string& Caption, TIEUndoSource Source = ieuImage);
  virtual void ClearUndo();
  void ClearUndoAt(int32_t Position);
  virtual void ClearAllUndo();
  // Restores the newest undo entry; with SaveRedo the present state first goes to the redo stack.
  virtual void Undo(bool SaveRedoFirst = false);
  virtual void UndoAt(int32_t Position, bool SaveRedoFirst = false);
  virtual void SaveRedo(TIEUndoSource Source = ieuImage);
  virtual void SaveRedoCaptioned(const std::string& Caption, TIEUndoSource Source = ieuImage);
  virtual void ClearAllRedo();
  virtual void ClearRedo();
  virtual void Redo();
  virtual void RedoAt(int32_t Position);
  // The stacks themselves, for inspection.
  const TIEUndoStack& UndoStack() const { return FUndo; }
  const TIEUndoStack& RedoStack() const { return FRedo; }

  // ---- Properties ----
  bool AutoUndo() const { return FAutoUndo; }
  void SetAutoUndo(bool Value) { FAutoUndo = Value; }
  bool AutoConvertFormat() const { return FAutoConvertFormat; }
  void SetAutoConvertFormat(bool Value) { FAutoConvertFormat = Value; }
  // The most entries either stack keeps; 0 (or below) turns saving off.
  int32_t UndoLimit() const { return FUndoLimit; }
  void SetUndoLimit(int32_t Value) { FUndoLimit = Value; }
  // Where image snapshots keep their pixels.
  TIELocation UndoLocation() const { return FUndoLocation; }
  void SetUndoLocation(TIELocation Value) { FUndoLocation = Value; }
  // The attached view's background, else the component's own.
  TColor Background() const;
  void SetBackground(TColor Value);
  TFont* PreviewFont() const { return FPreviewFont.get(); }
  void SetPreviewFont(TFont* Font);
  // The language of the processing dialogs.
  TMsgLanguage MsgLanguage() const { return FMsgLanguage; }
  void SetMsgLanguage(TMsgLanguage Value) { FMsgLanguage = Value; }
  TPRPreviewsParams PreviewsParams{prppShowResetButton, prppHardReset};
  TIPDialogParams* DialogParams() const { return FDialogParams.get(); }

  // AttachedImaging, AutoUndo, Background, MsgLanguage, PreviewsParams, PreviewFont, AttachedTImage,
  // UndoLimit and AutoConvertFormat, settable by name as a form description or a language file does.
  const TPropList& PublishedProps() const override;

  // ---- Events ----
  TIEProgressEvent OnProgress;
  TNotifyEvent OnFinishWork;
  TIESaveUndoEvent OnSaveUndo;
  TIEPreviewEvent OnPreview;

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  bool IsImagingView() const;
  bool IsImagingVect() const;
  void UnregisterViewCallback();
  // The view (or the TImage) went away: stop using its bitmap.
  void ForgetView();
  // A new snapshot of Source's kind, or nullptr when none can be taken.
  std::unique_ptr<TIEUndoEntry> TakeSnapshot(TIEUndoSource Source);
  // Pushes a snapshot onto Stack; true when one was stored.
  bool PushSnapshot(TIEUndoStack& Stack, TIEUndoSource Source);
  bool SaveCaptioned(TIEUndoStack& Stack, const std::string& Caption, TIEUndoSource Source);
  void Restore(TIEUndoEntry* Entry);
  void RestoreLayers(TMemoryStream* State);

  bool FAutoUndo;
  TIEView* FAttachedImaging = nullptr;
  TIEChangeCallbackHandle FViewCallbackHandle = nullptr;
  TColor FOwnBackground = 0;
  TMsgLanguage FMsgLanguage = msSystem;
  std::unique_ptr<TFont> FPreviewFont;
  TImage* FAttachedTImage = nullptr;
  TIEBitmapBinding FBinding;
  std::unique_ptr<TIPDialogParams> FDialogParams;
  bool FAutoConvertFormat = true;
  TIEUndoStack FUndo;
  TIELocation FUndoLocation = ieTempFile;
  int32_t FUndoLimit = 1;
  TIEUndoStack FRedo;
};

}  // namespace zv
