// TImagingView: the image library's view component. It holds an image as a stack of layers with a
// selection, creates the I/O and processing components that work on its current bitmap, and keeps
// everything in step with that bitmap; it also works without any window, as a hidden work area.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/iedefs.h"
#include "imaging/core/ieview.h"
#include "imaging/proc/imaging_proc.h"
#include "imaging/view/layers.h"
#include "platform/controls.h"
#include "platform/graphics.h"
#include "platform/objects.h"
#include "platform/streams.h"
#include "platform/types.h"

namespace zv {

class TIEBitmap;
class TIEMask;
class TImagingIO;
class TImagingProc;

// ---- Property types ---------------------------------------------------------------------------------

// Which scroll bars the view may show.
enum TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

enum TIEMouseInteractItem : uint8_t {
  miZoom,
  miScroll,
  miSelect,
  miSelectPolygon,
  miSelectCircle,
  miSelectZoom,
  miSelectMagicWand,
  miSelectLasso,
  miMoveLayers,
  miResizeLayers,
  miRotateLayers,
  miMovingScroll
};
using TIEMouseInteract = TSet<TIEMouseInteractItem>;

enum TIESelectionOption : uint8_t {
  iesoAnimated,
  iesoSizeable,
  iesoMoveable,
  iesoFilled,
  iesoCutBorders,
  iesoMarkOuter,
  iesoCanScroll,
  iesoSelectTranspLayers,
  iesoRightButtonSelectLayers,
  iesoRightButtonTerminatePolySelect
};
using TIESelectionOptions = TSet<TIESelectionOption>;

// Coordinates the selection operations take: client pixels (through the current layer) or bitmap pixels.
enum TIESelectionBase : uint8_t { iesbClientArea, iesbBitmap };

enum TIEBackgroundStyle : uint8_t {
  iebsSolid,
  iebsHorizontal,
  iebsVertical,
  iebsFDiagonal,
  iebsBDiagonal,
  iebsCross,
  iebsDiagCross,
  iebsChessboard,
  iebsDiagonals,
  iebsCropped,
  iebsCropShadow,
  iebsGradient
};

enum TIEWallPaperStyle : uint8_t { iewoNormal, iewoStretch, iewoTile };

// ---- Events ---------------------------------------------------------------------------------------------

using TViewChangeEvent = std::function<void(TObject* Sender, int32_t Change)>;
using TViewChangingEvent = std::function<void(TObject* Sender, int32_t Change, double NewValue)>;
using TIEZoomEvent = std::function<void(TObject* Sender, double& NewZoom)>;
using TIELayerNotify = std::function<void(TObject* Sender, int32_t Layer, TIELayerEvent Event)>;
using TIEMouseInResizingGripEvent = std::function<void(TObject* Sender, TIEGrip Grip)>;
using TIESpecialKeyEvent = std::function<void(TObject* Sender, uint16_t CharCode, TShiftState Shift, bool& Handled)>;
using TIEVirtualKeyEvent = std::function<void(TObject* Sender, uint16_t VirtualKey, int32_t KeyData, bool KeyDown)>;
using TIESetCursorEvent = std::function<void(TObject* Sender, TCursor& Cursor)>;

// ---- Selection records ----------------------------------------------------------------------------------

// One drawn polygon of the view: its points in bitmap pixels (sub-polygons end at a point whose x and
// y are IEPolygonSeparator), how it is drawn and its bounding box.
struct TIEViewPolygon {
  std::vector<TPoint> Points;  // size() is the capacity; Count points are in use
  int32_t Count = 0;
  TColor Color1 = clBlack;
  TColor Color2 = clWhite;
  bool Animated = false;
  int32_t Phase = 0;      // animation step, 0..9
  int32_t DashPhase = 0;  // position in the dash pattern while a line is drawn
  TCanvas* Canvas = nullptr;
  int32_t BoxX1 = 0;
  int32_t BoxY1 = 0;
  int32_t BoxX2 = 0;
  int32_t BoxY2 = 0;
  bool Visible = true;
  bool Sizeable = false;
};

// ---- Unit settings ---------------------------------------------------------------------------------------

// Set once by the unit's start-up step (view_startup.h); these are their values before it runs.
struct TImagingViewGlobals {
  int32_t ScreenColorDepth = 32;
  bool RemoteSession = false;
  int32_t ScreenDpiX = 96;
  int32_t ScreenDpiY = 96;
  int32_t DefaultDpiX = 300;  // also the codecs' default resolution
  int32_t DefaultDpiY = 300;
  bool MmxAvailable = false;
  int32_t EdgeX = 2;
  int32_t EdgeY = 2;
  int32_t BorderX = 1;
  int32_t BorderY = 1;
  int32_t HScrollHeight = 16;
  int32_t VScrollWidth = 16;
  int32_t MinGridZoom = 400;  // smallest zoom (percent) at which the pixel grid is drawn
  std::unique_ptr<TPen> XorPen;
};
extern TImagingViewGlobals ImagingViewGlobals;

// Cursor numbers the view keeps in the screen's cursor table, and their resource names.
constexpr TCursor IEFirstViewCursor = 1778;
constexpr int IEViewCursorCount = 37;
extern const char* const IEViewCursorNames[IEViewCursorCount];
constexpr TCursor IEDefaultViewCursor = 1785;

// Loads the view's cursors into the screen's cursor table.
void RegisterViewCursors();

// ---- The view ------------------------------------------------------------------------------------------

class TImagingView : public TIEView {
public:
  explicit TImagingView(TComponent* AOwner);
  ~TImagingView() override;

  // ---- Overrides of TIEView ----
  void SetBackground(TColor Value) override;
  // The legacy TBitmap holding the current bitmap's pixels, or nullptr.
  TBitmap* GetTBitmap() override;
  TIEBitmap* GetIEBitmap() override;
  // Created on first use.
  TIEBitmap* GetAlphaChannel() override;
  bool HasAlphaChannel() override;
  void RemoveAlphaChannel(bool Merge) override;
  // The update lock: Update does nothing while it is held.
  void LockUpdate() override;
  // One lock less (never below 0); refreshes when none is left. Returns the locks still held.
  int32_t UnlockUpdate() override;
  // One lock less without refreshing. Returns the locks still held.
  int32_t UnlockUpdateEx() override;
  void UnlockUpdateNoRefresh() { UnlockUpdateEx(); }
  int32_t UpdateLockCount() const { return FUpdateLocked; }
  // Raises OnImageChange.
  void DoImageChange() override;

  // The paint lock: Paint does not render while it is held.
  void LockPaint() { ++FLockPaint; }
  // One lock less (never below 0); Update when none is left. Returns the locks still held.
  int32_t UnlockPaint();
  int32_t UnlockPaintNoUpdate();
  int32_t PaintLockCount() const { return FLockPaint; }

  // Keeps the layers, the image size, the selection mask and the alpha channel in step with the
  // current bitmap, then refreshes the window when there is one.
  void Update() override;
  // Set just before Update: 0 general, 1 Center changed, 2 zoom, 3 selection, 4 size/background/scroll bars.
  uint8_t UpdateReason() const { return FUpdateReason; }
  void SetUpdateReason(uint8_t Value) { FUpdateReason = Value; }

  // ---- Components ----
  // Created on first use, owned by the view and attached to it.
  TImagingIO* IO();
  TImagingProc* Proc();
  // The components if they exist, without creating them.
  TImagingIO* IOIfCreated() const { return FIO; }
  TImagingProc* ProcIfCreated() const { return FProc; }

  // ---- Storage ----
  // The current bitmap (that of the current layer).
  TIEBitmap* IEBitmap() { return FIEBitmap; }
  // Shows a caller's bitmap in the current layer without owning it; nullptr gives the layer a new empty
  // bitmap of its own.
  void AttachIEBitmap(TIEBitmap* Bitmap);
  void ClearToBackground();
  // A 1 x 1 image of the background colour.
  void ClearImage();
  // From another view, a TBitmap or nullptr (clears to the background); other sources are ignored.
  void Assign(TPersistent* Source) override;
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
  virtual bool IsEmpty();
  // The size of the first layer's bitmap at the last synchronisation; the view's image coordinates.
  int32_t ImageWidth() const { return FImageWidth; }
  int32_t ImageHeight() const { return FImageHeight; }
  // Keep the current bitmap's pixels in a class-library TBitmap.
  bool LegacyBitmap() const { return FLegacyBitmap; }
  virtual void SetLegacyBitmap(bool Value);

  // ---- Layers ----
  int32_t LayersCount() const { return int32_t(FLayers.size()); }
  // Raises EListError for a bad index.
  TIELayer* GetLayer(int32_t Index) const;
  int32_t LayersCurrent() const { return FLayersCurrent; }
  TIELayer* CurrentLayer() const;
  // Nothing for a bad or the current index; a layer that cannot be selected passes the choice down.
  virtual void SetLayersCurrent(int32_t Index);
  // A new layer of the current bitmap's size and format, made current and cleared; returns its index.
  int32_t AddLayer();
  void RemoveLayer(int32_t Index);
  // Back to the first layer alone, reset, showing the background.
  void ResetLayers();
  // The current layer takes the current bitmap; the image size follows the first layer.
  void SyncLayers();
  // Layer switches walk past layers that are not selectable only while this is set.
  bool SkipUnselectableLayers() const { return FSkipUnselectable; }
  void SetSkipUnselectableLayers(bool Value) { FSkipUnselectable = Value; }
  // The compositor's cached drawing of that layer (-1 all) is dropped by the next Update.
  void SetLayerToRender(int32_t Index) { FLayerToRender = Index; }
  virtual void DoLayerNotify(int32_t Layer, TIELayerEvent Event);

  // ---- Selection ----
  TIEMask* SelectionMask() const { return FMask.get(); }
  bool Selected() const { return FSelectionExists; }
  int32_t SelectionMaskDepth() const { return FMaskDepth; }
  int32_t SelectionMaskValue() const { return FMaskValue; }
  TIEViewPolygon* SelectionPolygon() const { return FPolygons.empty() ? nullptr : FPolygons.front().get(); }
  const TPoint* GetSelectionPoints() const;
  int32_t GetSelectionPointCount() const;
  // Adds a point in bitmap pixels to the selection polygon (a selection then exists).
  void AddPolygonPoint(TPoint P);
  void AddPolygonSeparator();
  // Empties the selection polygon.
  void ClearPolygon();
  // Fills the mask from the selection polygon; a polygon that selects nothing removes the selection.
  virtual void PolygonToMask();
  void SwapSelectionBase();
  TIESelectionOptions SelectionOptions() const { return FSelectionOptions; }
  void SetSelectionOptions(TIESelectionOptions Value);
  TIESelectionBase SelectionBase() const { return FSelectionBase; }
  void SetSelectionBase(TIESelectionBase Value) { FSelectionBase = Value; }

  // ---- Drawing area ----
  // The view has a form or a foreign window to live in.
  virtual bool HasParentWindow();
  // The client size with a window, else 50.
  virtual int32_t ViewWidth();
  virtual int32_t ViewHeight();
  // The view's extents after a change of size or zoom; the zoom and scrolling code fills it in.
  virtual void CalcViewExtents() {}
  bool BackBufferDirty() const { return FBackBufferDirty; }

  // ---- Properties ----
  bool DoubleBuffer() const { return FDoubleBuffer; }
  void SetDoubleBuffer(bool Value) { FDoubleBuffer = Value; }
  TResampleFilter ZoomFilter() const { return FZoomFilter; }
  void SetZoomFilter(TResampleFilter Value);
  bool DelayZoomFilter() const { return FDelayZoomFilter; }
  void SetDelayZoomFilter(bool Value) { FDelayZoomFilter = Value; }
  TScrollStyle ScrollBars() const { return FScrollBars; }
  virtual void SetScrollBars(TScrollStyle Value);
  bool FlatScrollBars() const { return FFlatScrollBars; }
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  bool AutoFit() const { return FAutoFit; }
  void SetAutoFit(bool Value);
  bool AutoStretch() const { return FAutoStretch; }
  void SetAutoStretch(bool Value);
  bool AutoShrink() const { return FAutoShrink; }
  void SetAutoShrink(bool Value);
  TIEMouseInteract MouseInteract() const { return FMouseInteract; }
  virtual void SetMouseInteract(TIEMouseInteract Value);
  TIEBackgroundStyle BackgroundStyle() const { return FBackgroundStyle; }
  void SetBackgroundStyle(TIEBackgroundStyle Value);
  TPicture* WallPaper() const { return FWallPaper.get(); }
  void SetWallPaper(TPicture* Value);
  TIEWallPaperStyle WallPaperStyle() const { return FWallPaperStyle; }
  void SetWallPaperStyle(TIEWallPaperStyle Value);
  bool EnableAlphaChannel() const { return FEnableAlphaChannel; }
  void SetEnableAlphaChannel(bool Value);
  bool EnableInteractionHints() const { return FEnableInteractionHints; }
  void SetEnableInteractionHints(bool Value) { FEnableInteractionHints = Value; }
  bool DrawVersion() const { return FDrawVersion; }
  void SetDrawVersion(bool Value) { FDrawVersion = Value; }
  std::string ImagingVersion() const { return "3.1.2"; }
  void SetImagingVersion(const std::string&) {}
  double Zoom() const { return FZoomX; }
  double ZoomX() const { return FZoomX; }
  double ZoomY() const { return FZoomY; }
  // The view's cursor: the one last shown (a temporary one too). The setter lets OnSetCursor change
  // the value, then remembers it and shows it.
  TCursor Cursor() const { return FShownCursor; }
  void SetCursor(TCursor Value);

  // ---- Events copied into the components ----
  virtual const TIEProgressEvent& OnProgress() const { return FOnProgress; }
  virtual void SetOnProgress(TIEProgressEvent Value);
  virtual const TNotifyEvent& OnFinishWork() const { return FOnFinishWork; }
  virtual void SetOnFinishWork(TNotifyEvent Value);
  const TIESaveUndoEvent& OnSaveUndo() const { return FOnSaveUndo; }
  void SetOnSaveUndo(TIESaveUndoEvent Value);

  // ---- Events ----
  TNotifyEvent OnImageChange;
  TViewChangeEvent OnViewChange;
  TViewChangingEvent OnViewChanging;
  TIEZoomEvent OnZoomIn;
  TIEZoomEvent OnZoomOut;
  TNotifyEvent OnPaint;
  TNotifyEvent OnDrawBackBuffer;
  TIELayerNotify OnLayerNotify;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnSelectionChanging;
  TNotifyEvent OnBeforeSelectionChange;
  TNotifyEvent OnMouseInSel;
  TIEMouseInResizingGripEvent OnMouseInResizingGrip;
  TIESpecialKeyEvent OnSpecialKey;
  TIEVirtualKeyEvent OnVirtualKey;
  TIESetCursorEvent OnSetCursor;
  TNotifyEvent OnDShowNewFrame;
  TNotifyEvent OnDShowEvent;

  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // Runs after a change of the window's size.
  void RefreshAfterResize();

private:
  // The layer's TBitmap becomes the legacy one when the bitmap lives in it.
  void FollowLegacyTBitmap();
  void CreateSelectionPolygon(TColor Color1, TColor Color2, bool Sizeable, bool Animated);
  void UpdateBody();

  // Storage.
  std::vector<std::unique_ptr<TIELayer>> FLayers;
  int32_t FLayersCurrent = 0;
  TIEBitmap* FIEBitmap = nullptr;
  TBitmap* FLegacyTBitmap = nullptr;
  bool FLegacyBitmap = true;
  int32_t FImageWidth = 0;
  int32_t FImageHeight = 0;
  int32_t FLastBitmapWidth = 0;
  int32_t FLastBitmapHeight = 0;
  bool FSkipUnselectable = true;
  int32_t FLayerToRender = -1;

  // Components and the events copied into them.
  TImagingIO* FIO = nullptr;
  TImagingProc* FProc = nullptr;
  TIEProgressEvent FOnProgress;
  TNotifyEvent FOnFinishWork;
  TIESaveUndoEvent FOnSaveUndo;

  // Locks and the refresh.
  int32_t FUpdateLocked = 0;
  int32_t FLockPaint = 0;
  uint8_t FUpdateReason = 0;
  bool FUpdateRunning = false;
  bool FUpdateNested = false;
  bool FHasOwner = false;
  bool FCursorPending = true;
  bool FBackBufferDirty = true;
  bool FFullRepaintDue = true;
  std::unique_ptr<TIEBitmap> FBackBuffer;
  bool FSuppressInvalidate = false;
  HWND FLastWindowHandle = nullptr;

  // Selection.
  std::vector<std::unique_ptr<TIEViewPolygon>> FPolygons;
  std::unique_ptr<TIEMask> FMask;
  int32_t FMaskDepth = 1;
  int32_t FMaskValue = 1;
  bool FSelectionExists = false;
  TIESelectionOptions FSelectionOptions;
  TIESelectionBase FSelectionBase = iesbClientArea;
  TIESelectionBase FSavedSelectionBase = iesbClientArea;
  std::vector<std::unique_ptr<TMemoryStream>> FSelectionStack;

  // Settings.
  bool FDoubleBuffer = true;
  TResampleFilter FZoomFilter = rfNone;
  TResampleFilter FRestoreZoomFilter = rfNone;
  bool FDelayZoomFilter = false;
  TScrollStyle FScrollBars = ssBoth;
  bool FFlatScrollBars = false;
  bool FCenter = true;
  bool FAutoFit = false;
  bool FAutoStretch = false;
  bool FAutoShrink = false;
  TIEMouseInteract FMouseInteract;
  TIEBackgroundStyle FBackgroundStyle = iebsSolid;
  std::unique_ptr<TPicture> FWallPaper;
  TIEWallPaperStyle FWallPaperStyle = iewoNormal;
  bool FEnableAlphaChannel = true;
  bool FEnableInteractionHints = true;
  bool FDrawVersion = false;
  double FZoomX = 100;
  double FZoomY = 100;
  TCursor FShownCursor = IEDefaultViewCursor;
  TCursor FRememberedCursor = 0;
  std::unique_ptr<TPen> FDottedPen;
};

}  // namespace zv
