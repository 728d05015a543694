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
#include "imaging/core/render.h"
#include "imaging/core/sys_text.h"
#include "imaging/proc/imaging_proc.h"
#include "imaging/proc/transitions.h"
#include "imaging/view/layers.h"
#include "platform/controls.h"
#include "platform/graphics.h"
#include "platform/objects.h"
#include "platform/std_controls.h"
#include "platform/streams.h"
#include "platform/types.h"

namespace zv {

class TIEBitmap;
class TIEMask;
class TImagingIO;
class TImagingProc;
class TIEDirectShow;

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
  iebsGradient,
  iebsSoftShadow,
  iebsPhotoLike
};

enum TIEWallPaperStyle : uint8_t { iewoNormal, iewoStretch, iewoTile };

// How the back buffer last reached the window, chosen by the screen's colour depth.
enum class TIECopyPath : uint8_t { None, DrawDib, StretchBlt, BitBlt };

// ---- Events ---------------------------------------------------------------------------------------------

using TViewChangeEvent = std::function<void(TObject* Sender, int32_t Change)>;
using TViewChangingEvent = std::function<void(TObject* Sender, int32_t Change, double NewValue)>;
using TIEZoomEvent = std::function<void(TObject* Sender, double& NewZoom)>;
using TIELayerNotify = std::function<void(TObject* Sender, int32_t Layer, TIELayerEvent Event)>;
using TIEMouseInResizingGripEvent = std::function<void(TObject* Sender, TIEGrip Grip)>;
using TIESpecialKeyEvent = std::function<void(TObject* Sender, uint16_t CharCode, TShiftState Shift, bool& Handled)>;
using TIEVirtualKeyEvent = std::function<void(TObject* Sender, uint16_t VirtualKey, int32_t KeyData, bool KeyDown)>;
using TIESetCursorEvent = std::function<void(TObject* Sender, TCursor& Cursor)>;
using TIEDrawBackgroundEvent = std::function<void(TObject* Sender, TCanvas* ACanvas, TRect ARect, bool& Handled)>;
// Raised as the dashes of polygon Polygon (its index in the view's list) pass its point Point, at client (X, Y).
using TIEOnDrawPolygon =
    std::function<void(TObject* Sender, int32_t Polygon, int32_t Point, TCanvas* Canvas, int32_t X, int32_t Y)>;
using TIEDrawLayerBoxEvent = std::function<void(TObject* Sender, TBitmap* ABitmap, int32_t Layer)>;
using TIEDrawLayerGripEvent =
    std::function<void(TObject* Sender, TBitmap* ABitmap, int32_t Layer, int32_t Grip, TRect Rect)>;

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

// Exactly four points whose edges, the closing one included, run alternately across and down.
bool IsRectanglePolygon(const TPoint* Points, int32_t Count);

// Shrinks the rectangle (L, T)-(R, B), ordered, towards the corner opposite the dragged corner Grip (1
// top-left, 2 top-right, 3 bottom-right, 4 bottom-left) until it lies within 0..W and 0..H, keeping the
// ratio of its sides as closely as whole pixels allow. Other grips and rectangles inside change nothing.
void ClampAspectRect(int32_t& L, int32_t& T, int32_t& R, int32_t& B, int32_t Grip, int32_t W, int32_t H);

// The stream at its position starts a layers file of a known version; the position is kept.
bool IsLayersStream(TStream* Stream);

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
  // The transition engine, created when one of the transition events is first set; nullptr before.
  TIETransitionEffects* Transitions() const { return FTransitions.get(); }
  void EnsureTransitions();

  // ---- Transition events (kept in the engine; nothing before it exists) ----
  TNotifyEvent OnTransitionStop() const;
  void SetOnTransitionStop(TNotifyEvent Value);
  TIETransitionStepEvent OnTransitionStep() const;
  void SetOnTransitionStep(TIETransitionStepEvent Value);
  TIEOnTransitionPaint OnTransitionPaint() const;
  void SetOnTransitionPaint(TIEOnTransitionPaint Value);

  // Paints the view's background over the whole of Canvas's (0, 0, Width, Height), as if no image lay on it.
  void DrawBackgroundTo(TCanvas* Canvas);

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
  // A polygon selection is being drawn (its last point follows the pointer).
  bool PolygonSelecting() const { return FPolySelecting; }
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

  // ---- Building and changing the selection (view_selection.cpp) ----
  // Op 0 replaces the selection, 1 adds to it. Coordinates follow SelectionBase.
  virtual void SelectRectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Op);
  // Square: a square, or the height the aspect ratio gives; Clamp: moved inside the bitmap keeping its size.
  void BuildRectSelection(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Op, bool Square, bool Clamp);
  // Where a drag that builds a selection started (client pixels), and the polygon's points then.
  void SetSelectionDragStart(int32_t X, int32_t Y);
  // The ellipse centred on the drag start through client (X, Y); Shift adds it as a sub-polygon.
  void BuildEllipseSelection(int32_t X, int32_t Y, TShiftState Shift);
  virtual void AppendSelectionPoint(int32_t X, int32_t Y);
  void AddSelectionPointNoPaint(int32_t X, int32_t Y);
  void AddPolygonPointAndPaint(TPoint P);
  void BeginSubPolygon();
  void RemoveLastSubPolygon();
  void TrimPolygonSeparators();
  // Closes a polygon being drawn: its mask is filled (added to the old one with AddShift).
  void EndPolygonSelection(bool AddShift, bool Trim);
  void CloseSelectionOnDoubleClick(bool Shift);
  // Removes the selection.
  void Deselect();
  // Moves the selection by bitmap pixels, letting it leave the bitmap partly with iesoCutBorders.
  void MoveSelection(int32_t DX, int32_t DY);
  void OffsetSelection(int32_t DX, int32_t DY, bool Cut);
  void MagicWandSelect(int32_t X, int32_t Y, int32_t Op);
  // Draws the selection overlays (the mask outline, or the polygons' dashes) and keeps the selection
  // timer running only while something animates or a delay counter runs. Paint passes CheckLock false.
  void PaintSelections(TObject* Sender, bool CheckLock);
  void SelectionTimerTick(TObject* Sender) { PaintSelections(Sender, true); }
  TTimer* SelectionTimer() const { return FSelectionTimer.get(); }
  // The inner division lines of a selection rectangle; with one division there are none.
  virtual void PaintSelectionGrid(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  // The XOR line from the last mouse point to the polygon's last point; drawing it twice removes it.
  void DrawRubberLine();
  // Grips also at the middle of each side of a rectangle selection.
  bool SelectionSideGrips() const { return FSideGrips; }
  void SetSelectionSideGrips(bool Value) { FSideGrips = Value; }
  int32_t AnimationCounter() const { return FAnimationCounter; }
  // Client rectangle of the rectangular selection at its last drawing.
  TRect LastDrawnSelectionRect() const { return FLastDrawnRect; }
  void ShowSelection(bool Repaint);
  void HideSelection(bool Repaint);
  // The selected area's edges (right and bottom inclusive).
  int32_t GetSelectionLeft();
  int32_t GetSelectionTop();
  int32_t GetSelectionRight();
  int32_t GetSelectionBottom();
  // 0 when (X, Y) lies on a selected pixel that may be moved, else -1.
  int32_t HitSelection(int32_t X, int32_t Y, bool Shift);
  // 1..4 corners, 5..8 left, right, top and bottom sides, 0 none.
  int32_t GetSelectionGripAt(int32_t X, int32_t Y);
  // Drags a grip of a rectangle selection to layer point (X, Y) (client point with iesbClientArea);
  // KeepAspect keeps the shape of the rectangle at the press. Returns the grip, mirrored when the drag
  // crossed the opposite edge.
  int32_t ResizeSelectionByGrip(int32_t Grip, int32_t X, bool KeepAspect, int32_t Y);
  // The rectangle the grip drag started from (SetSelectionDragStart records it too).
  void RememberGripBox();
  int32_t GetSelectionGripAtShift(int32_t X, int32_t Y, bool Shift) { return Shift ? 0 : GetSelectionGripAt(X, Y); }
  void SetSelectionColor1(TColor Value);
  void SetSelectionColor2(TColor Value);
  // -1 free, 0 the fixed size, above 0 height / width.
  double SelectionAspectRatio() const { return FSelectionAspectRatio; }
  // The same value changes nothing; 0 (fixed size) takes iesoSizeable out of the options, others put it in.
  void SetSelectionAspectRatio(double Value);
  int32_t SelectionFixedWidth() const { return FSelectionFixedWidth; }
  int32_t SelectionFixedHeight() const { return FSelectionFixedHeight; }
  void SetSelectionFixedSize(int32_t W, int32_t H) { FSelectionFixedWidth = W; FSelectionFixedHeight = H; }
  // 0 outline, 1 flood fill, 2 every similar pixel.
  uint8_t MagicWandMode() const { return FMagicWandMode; }
  void SetMagicWandMode(uint8_t Value) { FMagicWandMode = Value; }
  int32_t MagicWandTolerance() const { return FMagicWandTolerance; }
  void SetMagicWandTolerance(int32_t Value) { FMagicWandTolerance = Value; }
  bool MagicWandGrow() const { return FMagicWandGrow; }
  void SetMagicWandGrow(bool Value) { FMagicWandGrow = Value; }
  TColor SelectionOutlineColor1() const { return FOutlineColor1; }
  TColor SelectionOutlineColor2() const { return FOutlineColor2; }
  bool RectangleMoved() const { return FRectMoved; }

  // ---- The layers file and the selection record (layers_file.cpp) ----
  // Every layer with its settings and bitmap. Encoding -1 zlib-compressed raw bitmaps, -2 raw bitmaps,
  // else an image file type (1 is stored as PNG).
  void SaveLayersToStream(TStream* Stream, int32_t Encoding);
  // False for a stream that is no layers file or whose fields do not fit what the stream holds; a
  // refused header leaves the view and the stream's position untouched, the layers read before a bad
  // record stay.
  bool LoadLayersFromStream(TStream* Stream);
  bool LoadLayersFromFile(const std::string& FileName);
  void SaveSelectionToStream(TStream* Stream);
  // Mode 0 as stored, 1 moved inside a smaller image, 2 re-placed after a change of current layer. False
  // (the selection untouched) for a record whose counts or sizes do not fit the stream.
  bool LoadSelectionFromStream(TStream* Stream, int32_t Mode);

  // ---- Mouse and keyboard (view_mouse.cpp) ----
  // Scrolls while the pointer lies outside the image, by its distance, until the scroll range ends;
  // true when it scrolled.
  bool AutoScrollToMouse();
  virtual void OffsetMouseOrigin(int32_t DX, int32_t DY);
  // The top visible layer whose drawn rectangle holds client (X, Y) and whose pixel there is not
  // transparent; -1 none.
  int32_t FindLayerAt(int32_t X, int32_t Y, bool SelectableOnly);
  bool IsPointInLayer(int32_t X, int32_t Y, int32_t Index);
  void BuildRectSelectionFromDrag(int32_t X, int32_t Y, TShiftState Shift);
  // Resizes the current layer by the grip being dragged to client (X, Y); KeepAspect keeps its shape.
  void ResizeLayerByGrip(int32_t X, int32_t Y, bool KeepAspect);
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  // Shift shows the Shift variant of the cursor; its release the view's cursor again.
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;
  void DoBeforeSelectionChange();
  void DoSelectionChanging();
  void DoSelectionChange();

  // ---- Services (view_services.cpp) ----
  // The selection stack kept across changes of the current layer.
  void PushSelection();
  // False when the stack is empty; else the top record is loaded with Mode and, with Drop, removed.
  bool PopSelection(bool Drop, uint8_t Mode);
  int32_t SelectionStackCount() const { return int32_t(FSelectionStack.size()); }
  // Shows a cursor without remembering it (only a view with an owner shows it); RestoreCursor goes back.
  void SetTemporaryCursor(TCursor Value);
  void RestoreCursor();
  TCursor RememberedCursor() const { return FRememberedCursor; }
  // Scrolls towards (X, Y) by a fraction of the remaining distance every 30 ms; each step covers
  // 1 / divisor of it, and a step too small to move lands on the target. A divisor of 0 jumps there.
  void SmoothScrollTo(int32_t X, int32_t Y);
  void SmoothScrollStep(TObject* Sender);
  void StopSmoothScroll();
  bool SmoothScrolling() const;
  // Links a second view that shows this view's image with the visible area as a movable rectangle
  // (nullptr unlinks). Options bit 0: the wheel over the navigator zooms this view.
  void SetNavigator(TImagingView* View, uint8_t Options);
  TImagingView* Navigator() const { return FNavigator; }
  bool IsNavigator() const { return FIsNavigator; }
  void UpdateNavigator();
  void NavigatorSelectionMoved(TObject* Sender);
  void NavigatorWheel(TObject* Sender, TShiftState Shift, int WheelDelta, TPoint MousePos, bool& Handled);
  int32_t SmoothScrollDivisor() const { return FSmoothDivisor; }
  void SetSmoothScrollDivisor(int32_t Value) { FSmoothDivisor = Value; }

  // ---- Drawing area ----
  // The view has a form or a foreign window to live in.
  virtual bool HasParentWindow();
  // The client size with a window, else 50.
  virtual int32_t ViewWidth();
  virtual int32_t ViewHeight();
  // Zoomed size, visible size and centring offsets after a change of size or zoom.
  virtual void CalcViewExtents();
  bool BackBufferDirty() const { return FBackBufferDirty; }

  // ---- Zoom and scrolling (view_geometry.cpp) ----
  void SetZoom(double Value);
  void SetZoomX(double Value);
  void SetZoomY(double Value);
  // Change the zoom keeping the bitmap point at the centre of the drawing area; nothing is repainted.
  virtual void ApplyZoom(double Value);
  virtual void ApplyZoomX(double Value);
  virtual void ApplyZoomY(double Value);
  // Zoom keeping the bitmap pixel under client (X, Y) there, or bringing it to the centre.
  void ZoomAt(int32_t X, int32_t Y, bool Centre, double Value);
  // Zooms onto the selection, which is removed; FireZoomIn lets OnZoomIn change the zoom.
  void ZoomSelection(bool KeepAspect, bool FireZoomIn);
  void Fit();
  void GetFitZoomXY(double& ZoomX, double& ZoomY);
  double GetFitZoom();
  // The zoom the automatic modes pick for the current image (100 when nothing fits the rules).
  double ComputeAutoZoom();
  void SetViewXY(int32_t X, int32_t Y);
  void SetViewX(int32_t X);
  void SetViewY(int32_t Y);
  int32_t ViewX() const { return FViewX; }
  int32_t ViewY() const { return FViewY; }
  void GetMaxViewXY(int32_t& MaxX, int32_t& MaxY);
  bool CanScroll();
  int32_t ClientToBitmapX(int32_t X);
  int32_t ClientToBitmapY(int32_t Y);
  int32_t BitmapToClientX(int32_t X);
  int32_t BitmapToClientY(int32_t Y);
  virtual void UpdateVisibleBitmapRect();
  // Extents, zoom maps and the visible bitmap rectangle for the current zoom and scroll position, so
  // that the conversions agree with them before the next paint.
  void RefreshGeometry();
  void DoViewChange(int32_t Kind);
  void DoViewChanging(int32_t Kind, double NewValue);
  void HideHorzScrollBar();
  void HideVertScrollBar();
  void DoHScrollAction(int32_t Code, int32_t Pos);
  void DoVScrollAction(int32_t Code, int32_t Pos);
  void DoMouseWheelAction(int32_t Delta, int32_t X, int32_t Y, bool Ctrl);
  void DoZoomIn(double& NewZoom);
  void DoZoomOut(double& NewZoom);
  TIEScrollBarParams* HScrollBarParams() const { return FHScrollParams.get(); }
  TIEScrollBarParams* VScrollBarParams() const { return FVScrollParams.get(); }
  TIEMouseWheelParams* MouseWheelParams() const { return FWheelParams.get(); }
  // Centring offsets, zoomed and visible sizes, the visible bitmap rectangle and the covered size.
  int32_t OffsetX() const { return FOffX; }
  int32_t OffsetY() const { return FOffY; }
  int32_t ZoomedWidth() const { return FZoomedW; }
  int32_t ZoomedHeight() const { return FZoomedH; }
  int32_t ExtentX() const { return FExtentX; }
  int32_t ExtentY() const { return FExtentY; }
  TIELayerPlacement VisibleBitmapRect() const { return {FVisCol, FVisRow, FVisCols, FVisRows}; }
  int32_t CoveredWidth() const { return FCoveredW; }
  int32_t CoveredHeight() const { return FCoveredH; }
  int32_t FilterDelayCounter() const { return FFilterDelay; }
  int32_t OutlineDelayCounter() const { return FOutlineDelay; }
  // One tick of the delayed zoom filter: each counter above 0 goes down by one; Update when the filter
  // counter reaches 0.
  void TickDelayCounters();
  bool HorzScrollBarShown() const { return FHorzShown; }
  bool VertScrollBarShown() const { return FVertShown; }

  // ---- Zoom maps (compositing.cpp) ----
  virtual void BuildZoomMaps();
  int32_t SnapClientX(int32_t V);
  int32_t SnapClientY(int32_t V);
  // The maps exist and were built for the current zoom, extents and image size; stale maps are never read.
  bool ZoomMapsFit() const;

  // ---- Layers: baking and grips (view_layers.cpp) ----
  void ApplyLayerSizes(int32_t Index);
  void CropLayersToOpaque(int32_t Index);
  void ApplyLayerRotations(int32_t Index);
  // Nine rectangles in TIEGrip order from ieTopLeft to ieRotationCenter.
  void GetLayerGripRects(int32_t Index, TRect (&Rects)[9]);
  TIEGrip FindLayerGrip(int32_t X, int32_t Y);
  int32_t GripSize() const { return FGripSize; }
  void SetGripSize(int32_t Value) { FGripSize = Value; }
  bool LayersRotationAntialias() const { return FLayersRotationAntialias; }
  void SetLayersRotationAntialias(bool Value) { FLayersRotationAntialias = Value; }
  uint8_t LayersRotationQuality() const { return FLayersRotationQuality; }
  void SetLayersRotationQuality(uint8_t Value) { FLayersRotationQuality = Value; }

  // ---- Compositing (compositing.cpp) ----
  virtual void RenderLayersOnto(TIEBitmap* Target, TBitmap* TargetPicture, const TRect* Clip, bool DrawBackground,
                                bool DrawDecorations);
  void RenderLayersTo(TIEBitmap* Target);
  void FlattenLayers();
  void DrawLayerBox(TBitmap* Bitmap, int32_t Index);
  void DrawLayerGrips(TBitmap* Bitmap, int32_t Index);
  void DrawRotationCenter(TBitmap* Bitmap, int32_t Index);
  void ShadeOutsideLayer(TBitmap* Bitmap, int32_t Index);
  void DrawSelectionMask(TBitmap* Bitmap);
  void DrawGrid(TBitmap* Bitmap);
  // 0 nothing, 1 faint layers outside the first, 2 grey checker outside, 3 brightened outside.
  int32_t OutsideMode() const { return FOutsideMode; }
  void SetOutsideMode(int32_t Value) { FOutsideMode = Value; }
  int32_t OutsideValue() const { return FOutsideValue; }
  void SetOutsideValue(int32_t Value) { FOutsideValue = Value; }
  bool DisplayGrid() const { return FDisplayGrid; }
  void SetDisplayGrid(bool Value) { FDisplayGrid = Value; }
  bool LayersDrawBox() const { return FAllLayerBoxes; }
  void SetLayersDrawBox(bool Value) { FAllLayerBoxes = Value; }
  int32_t GripShape() const { return FGripShape; }
  void SetGripShape(int32_t Value) { FGripShape = Value; }
  void SetHighlightedCell(int32_t Col, int32_t Row) { FHighlightCol = Col; FHighlightRow = Row; }

  // ---- Painting (view_paint.cpp) ----
  void Paint() override;
  void PaintBackBuffer(const TRect& Rect);
  void PaintVersion();
  void InvalidateRectNoErase(const TRect& Rect);
  void SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle);
  TColor GradientEndColor() const { return FGradientEnd; }
  void SetGradientEndColor(TColor Value) { FGradientEnd = Value; }
  TIEBitmap* BackBuffer() const { return FBackBuffer.get(); }
  TIECopyPath LastCopyPath() const { return FLastCopyPath; }
  // The hint box drawn after painting at (X, Y): Text, as wide as the wider of Text and WidthText.
  void SetInteractionHint(const std::string& Text, int32_t X, int32_t Y, const std::string& WidthText);
  const std::string& InteractionHint() const { return FHintText; }

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
  TIEDrawBackgroundEvent OnDrawBackground;
  TIEOnDrawPolygon OnDrawPolygon;
  TIEDrawLayerBoxEvent OnDrawLayerBox;
  TIEDrawLayerGripEvent OnDrawLayerGrip;
  std::function<void(TObject* Sender, TCanvas* ACanvas, TRect ARect)> OnDrawCanvas;
  TNotifyEvent OnDShowNewFrame;
  TNotifyEvent OnDShowEvent;

  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // Runs after a change of the window's size.
  void RefreshAfterResize();

private:
  // The video wrapper a posted message names when it is the own component's, else nullptr.
  TIEDirectShow* PostedVideoWrapper(LPARAM Wrapper) const;
  // The layer's TBitmap becomes the legacy one when the bitmap lives in it.
  void FollowLegacyTBitmap();
  void CreateSelectionPolygon(TColor Color1, TColor Color2, bool Sizeable, bool Animated);
  void UpdateBody();
  // Geometry helpers (view_geometry.cpp).
  void SetZoomFactors();
  void ApplyZoomAxis(double Value, bool Horizontal);
  void SetZoomAxis(double Value, bool Horizontal);
  void AutoZoomStep();
  void UpdateScrollBars();
  void GetFitMargins(bool ForAutoZoom, int32_t& MX, int32_t& MY);
  void LoadDelayCounters();
  void AfterScroll();
  void RenderOneLayer(TIEBitmap* Target, TBitmap* TargetPicture, const TRect* Clip, bool DrawBackground,
                      bool DrawDecorations, int32_t Index, bool& First, bool& BackgroundDone);
  void DrawBackgroundInto(TIEBitmap* Target, TBitmap* TargetPicture, const TRect* Clip);

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
  std::unique_ptr<TIETransitionEffects> FTransitions;
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
  double FSelectionAspectRatio = -1.0;
  TImagingView* FNavigator = nullptr;
  bool FIsNavigator = false;
  uint8_t FNavigatorOptions = 0;
  bool FNavigatorBusy = false;
  std::unique_ptr<TTimer> FSmoothTimer;
  std::unique_ptr<TTimer> FSelectionTimer;
  int32_t FAnimationCounter = 0;
  TRect FLastDrawnRect{0, 0, 0, 0};
  void DrawPolygonDashes(int32_t Index, TIEViewPolygon* P);
  void DrawSelectionGrips(TIEViewPolygon* P);
  bool FSideGrips = true;
  int32_t FSmoothTargetX = 0;
  int32_t FSmoothTargetY = 0;
  int32_t FSmoothDivisor = 8;
  int32_t FSelectionFixedWidth = 100;
  int32_t FSelectionFixedHeight = 100;
  bool FRectMoved = false;
  uint8_t FMagicWandMode = 0;
  int32_t FMagicWandTolerance = 15;
  bool FMagicWandGrow = false;
  TColor FOutlineColor1 = clBlack;
  TColor FOutlineColor2 = clWhite;
  // Gestures under way.
  bool FRectSelecting = false;
  bool FPolySelecting = false;
  bool FLassoSelecting = false;
  bool FEllipseSelecting = false;
  int32_t FSelectionMove = -1;
  int32_t FDragStartX = 0;
  int32_t FDragStartY = 0;
  int32_t FDragStartPoints = 0;
  int32_t FGripBoxX1 = 0, FGripBoxY1 = 0, FGripBoxX2 = 0, FGripBoxY2 = 0;
  // Mouse gestures (view_mouse.cpp).
  bool FMouseDownHere = false;
  bool FAutoScrolling = false;
  int32_t FPressRawX = 0, FPressRawY = 0, FPressClampX = 0, FPressClampY = 0, FPressImgX = 0, FPressImgY = 0;
  int32_t FScrollOriginX = 0, FScrollOriginY = 0;
  int32_t FLastMouseX = 0, FLastMouseY = 0, FLastClampX = 0, FLastClampY = 0, FLastRawX = 0, FLastRawY = 0;
  int32_t FMovingLayer = -1, FRotatingLayer = -1, FRotationCenterLayer = -1;
  int32_t FLayerGrip = 0;
  bool FLayerGestureStarted = false;
  double FResizeRatio = 0;
  TRect FLayerBoxAtPress{0, 0, 0, 0};
  bool FLayerMoved = false;
  double FRotationAccumulator = 0;
  void ClampToCurrentLayer(int32_t X, int32_t Y, int32_t& CX, int32_t& CY);
  // With Alt, (X, Y) moves onto the horizontal, vertical or diagonal line through the polygon's last point.
  void SnapToLastPolygonPoint(TShiftState Shift, int32_t& X, int32_t& Y);
  // The cursors shown while the mouse moves with no button down on the view.
  void HoverCursors(TShiftState Shift, int32_t X, int32_t Y, int32_t CX, int32_t CY);
  // Selection helpers (view_selection.cpp).
  int32_t SelectionToLayerX(int32_t X);
  int32_t SelectionToLayerY(int32_t Y);
  void OffsetPolygon(int32_t DX, int32_t DY, bool Cut);
  bool GestureRunning() const;

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

  // Zoom and scrolling.
  double FZoomFX = 1, FZoomFY = 1, FZoomIX = 1, FZoomIY = 1;
  int32_t FViewX = 0, FViewY = 0, FOffX = 0, FOffY = 0;
  int32_t FZoomedW = 0, FZoomedH = 0, FExtentX = 0, FExtentY = 0;
  int32_t FVisCol = 0, FVisRow = 0, FVisCols = 0, FVisRows = 0, FCoveredW = 0, FCoveredH = 0;
  double FScaleX = 1, FScaleY = 1;
  bool FHorzShown = false, FVertShown = false;
  int32_t FFilterDelay = 0, FFilterDelayReload = 4, FOutlineDelay = 0, FOutlineDelayReload = 2;
  std::unique_ptr<TIEScrollBarParams> FHScrollParams = std::make_unique<TIEScrollBarParams>();
  std::unique_ptr<TIEScrollBarParams> FVScrollParams = std::make_unique<TIEScrollBarParams>();
  std::unique_ptr<TIEMouseWheelParams> FWheelParams = std::make_unique<TIEMouseWheelParams>();

  // Zoom maps: forward (zoomed coordinate -> bitmap column or row) and inverse, per axis.
  std::vector<int32_t> FMapFwdX, FMapFwdY, FMapInvX, FMapInvY;
  double FMapZoomX = -1, FMapZoomY = -1;
  // Visible size, image size and zoomed size of the last build.
  int32_t FMapKey[6] = {-1, -1, -1, -1, -1, -1};
  bool MapKeyMatches() const;
  TIERenderMaps* FRenderMaps = nullptr;

  // Compositing.
  int32_t FOutsideMode = 0;
  int32_t FOutsideValue = 60;
  int32_t FMinLayerSize = 2;
  bool FAllLayerBoxes = false;
  bool FCommonLayerSize = false;
  int32_t FFilterPause = 0;
  int32_t FGripSize = 5;
  TColor FGripPenColor = clBlack;
  TColor FGripBrushColor = TColor(0xBAFFFF);
  TBrushStyle FGripBrushStyle = bsSolid;
  int32_t FGripShape = 1;
  int32_t FGripDragged = 0;
  bool FDisplayGrid = false;
  int32_t FHighlightCol = -1, FHighlightRow = -1;
  bool FLayersRotationAntialias = false;
  uint8_t FLayersRotationQuality = 0;

  // Painting.
  TColor FGradientEnd = TColor(0xFF0000);
  int32_t FChessSize = 16;
  TIECopyPath FLastCopyPath = TIECopyPath::None;
  std::string FHintText, FHintWidthText;
  int32_t FHintX = 0, FHintY = 0;
  TBrushStyle FChessBrush = bsSolid;
};

// Paints a background style over the rectangle Area around the image's rectangle Image (both right and
// bottom exclusive) into Canvas, and into Picture (the 24-bit bitmap of that canvas) when given; then the
// wallpaper from (0, 0) over Area's size.
void PaintViewBackground(bool Designing, TCanvas* Canvas, TBitmap* Picture, TIEWallPaperStyle WallPaperStyle,
                         TPicture* WallPaper, TColor GradientEnd, TBrushStyle ChessStyle, int32_t ChessSize,
                         const TRect& Image, const TRect& Area, TColor Colour, TIEBackgroundStyle Style);
// A two-colour gradient over Rect: Colour1 at the top (left), Colour2 at the bottom (right).
bool FillGradientRect(const TRect& Rect, HDC DC, TColor Colour1, TColor Colour2, bool Vertical);

}  // namespace zv
