// TImagingVect: the image view with a layer of vector objects over its image. Objects live in bitmap
// pixels; this header holds the object storage, selection, shared pictures, template record, units,
// switches and events, the object stream and the geometry and hit testing of objects.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/vector/vect_objects.h"
#include "imaging/view/imaging_view.h"
#include "platform/streams.h"

namespace zv {

class TIEBitmap;
class TIECanvas;
class TIEEdit;
class TIETextControl;
class TImagingIO;
class TTimer;

enum TIEVectInteractItem : uint8_t {
  vmiMeasureArea,
  vmiMeasureLength,
  vmiNewLine,
  vmiNewBox,
  vmiNewEllipse,
  vmiNewBitmap,
  vmiNewText,
  vmiEditObjects,
  vmiDragLength,
  vmiNewRuler,
  vmiNewPolyline,
  vmiNewAngle,
  vmiNewMemo,
  vmiNewLabelLine,
  vmiEditVertices,
  vmiDragToCreate,
  vmiNewExtension
};
using TIEVectInteract = TSet<TIEVectInteractItem>;

enum TIEVUndoMode : uint8_t { ieumSeparated, ieumShared };
enum TIEMeasureValType : uint8_t { ievtAREA, ievtLENGTH };

using TIEUserSelectObject = std::function<void(TObject* Sender, int32_t Hobj)>;
using TIEVNewObject = std::function<void(TObject* Sender, int32_t Hobj)>;
using TIEVObjectClickEvent = std::function<void(TObject* Sender, int32_t Hobj)>;
using TIEVObjectMoveResizeEvent =
    std::function<void(TObject* Sender, int32_t Hobj, int32_t Grip, int32_t& OffsetX, int32_t& OffsetY)>;
using TIEVMeasureHintEvent = std::function<void(TObject* Sender, std::string& Text, double Value)>;
using TIEOnPresentMeasure =
    std::function<void(TObject* Sender, std::string& Text, double Value, TIEMeasureValType ValType)>;
using TIEVDragLenEndEvent = std::function<void(TObject* Sender, double Value)>;
// Raised around the drawing of one object: DestRect holds its box in destination pixels; a handler of
// the event before that sets Handled replaces the layer's own drawing of the object.
using TIEDrawObjectEvent = std::function<void(TObject* Sender, int32_t Hobj, TBitmap* Destination, TRect DestRect,
                                              bool DrawingAlpha, bool& Handled)>;

// The clipboard format "IMAGING VECT" and the twelve Ctrl shortcuts of the text editor (L, E, R, J, C, X,
// V, F, B, I, U, G), made by the vector layer's start-up.
extern UINT VectClipboardFormat;
extern UINT TextMemoClipboardFormat;
extern uint16_t IEVectShortcuts[12];

// One entry of the shared picture list: the picture (nullptr for a free entry) and how many objects
// refer to it.
struct TIEVBitmapEntry {
  std::unique_ptr<TIEBitmap> Bitmap;
  int32_t RefCount = 0;
};

// True when the four bytes at the stream's position start an object stream of a version this reader
// knows; the position is the same afterwards.
bool IsIevStream(TStream* Stream);

// True when the stream holds, from its position, a combined stream of layers and objects: a position
// field naming a place inside the stream, a layers file after it and an object stream at that place. The
// position is the same afterwards.
bool IsAllStream(TStream* Stream);

// The bounding box of an angle from its three points (the middle one the vertex).
void AngleBounds(const TPoint Points[3], TRect& Box);

// The triangle of an arrow head of Shape (1 or 2) at Tip of the line from Other, Width across and
// Length along the line; false for the shapes that draw nothing.
bool LineHeadTriangle(int32_t Shape, int32_t TipX, int32_t TipY, int32_t OtherX, int32_t OtherY, int32_t Width,
                      int32_t Length, std::array<TPoint, 3>& Triangle);

// One tick of a ruler: its number in tenths of the unit and its point in destination pixels.
struct TIEVRulerTick {
  int64_t N = 0;
  int32_t X = 0, Y = 0;
};
// The ticks a ruler from (X1, Y1) to (X2, Y2) puts down (destination pixels) at the zoom factors given
// (1.0 = 100 %) for units of UX by UY per bitmap pixel: one every tenth of a unit, none closer than 2 pixels.
// With Within, only the ticks of the stretch of the line inside that box.
std::vector<TIEVRulerTick> RulerTicks(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double ZoomFX, double ZoomFY,
                                      double UX, double UY, const TRect* Within = nullptr);
// The escapement (tenths of a degree, counter-clockwise) of the text along a measure line; Turned when
// Upright turned it to read from the line's end.
int32_t MeasureTextEscapement(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool Upright, bool& Turned);

class TImagingVect : public TImagingView {
public:
  explicit TImagingVect(TComponent* AOwner);
  ~TImagingVect() override;

  // ---- Records and handles ----
  int32_t ObjectsCount() const { return int32_t(FOrder.size()); }
  // The handle drawn at position Index of the drawing order.
  int32_t ObjectAt(int32_t Index) const { return FOrder[size_t(Index)]; }
  // The record of a handle (0..count-1, -1 the template, -2 the last object); nullptr for -3 and -4.
  TIEVObjectData* ObjectRecord(int32_t Hobj);
  TIEVObjectData& Template() { return FTemplate; }
  int32_t AddObject(const TIEVObjectData& Source);
  // A new object from the template; returns its handle.
  int32_t AddNewObject() { return AddObject(FTemplate); }
  void FreeObjectParts(TIEVObjectData& Rec);
  void FreeObjectText(TIEVObjectData& Rec);
  void ClearDrawingOrder();
  void ClearObjects();
  void CancelInteraction();

  // ---- In-place text editing ----
  int32_t TextEditObject() const { return FTextEditObject; }
  void SetTextEditObject(int32_t Hobj) { FTextEditObject = Hobj; }
  // Opens the editor over the object TextEditObject (nothing when its text is not editable).
  void OpenTextEditor();
  // Gives the edited text back to the object and hides the editor.
  void CloseTextEditor();
  // Lays the open editor over its object at the current zoom and scroll.
  virtual void PlaceTextEditor();
  bool IsTextEditing() const { return FTextEditObject >= 0; }
  TIEEdit* TextEdit() const { return FTextEdit; }
  TIETextControl* MemoEditor() const { return FMemoEditor; }
  // The memo editor's cursor event.
  TNotifyEvent& OnTextEditCursorMoved();
  TKeyEvent OnTextKeyDown;
  TNotifyEvent OnActivateTextEdit;
  TNotifyEvent OnDeactivateTextEdit;
  void SetObjUserData(int32_t Hobj, void* Data);
  void SetObjUserDataSize(int32_t Hobj, int32_t Size);
  void SetObjFont(int32_t Hobj, TFont* Font);
  TFontStyles ObjFontStyles(int32_t Hobj);
  void ClearObjVertices(TIEVObjectData& Rec);
  void AddVertex(int32_t Hobj, int32_t X, int32_t Y);

  // ---- Selection ----
  int32_t SelectedObjectsCount() const { return int32_t(FSelection.size()); }
  int32_t SelectedObject(int32_t Index) const { return FSelection[size_t(Index)]; }
  void AddToSelection(int32_t Hobj);
  void SelectObject(int32_t Hobj);
  bool IsSelected(int32_t Hobj) const;
  void Deselect(int32_t Hobj);
  void UnselectAll();
  void UnselectAllAndUpdate();
  TRect SelectionBounds();

  // ---- Shared pictures ----
  int32_t BitmapsCount() const { return int32_t(FBitmaps.size()); }
  const TIEVBitmapEntry& BitmapEntry(int32_t Index) const { return FBitmaps[size_t(Index)]; }
  TIEBitmap* BitmapAt(int32_t Index);
  int32_t FindSharedBitmap(TIEBitmap* Bitmap);
  int32_t AllocBitmapSlot();
  void ReleaseBitmapRef(int32_t Index);
  void SetObjBitmap(int32_t Hobj, TIEBitmap* Bitmap);
  void SetObjBitmapIndex(int32_t Hobj, int32_t Index);
  void SetObjBitmapFromIcon(int32_t Hobj, int32_t IconId, int32_t Width, int32_t Height);
  void CompactBitmaps();

  // ---- Measurement ----
  TIEUnits MUnit() const { return FMUnit; }
  void SetMUnit(TIEUnits Value);
  double Scale() const { return FScale; }
  void SetScale(double Value);
  int32_t FloatDigits() const { return FFloatDigits; }
  void SetFloatDigits(int32_t Value);
  int32_t FloatPrecision() const { return FFloatPrecision; }
  void SetFloatPrecision(int32_t Value);
  void ComputeUnitSizes(double& SizeX, double& SizeY, TIEUnits Unit);
  double UnitSizeX() const { return FUnitSizeX; }
  double UnitSizeY() const { return FUnitSizeY; }
  double LastMeasure() const { return FLastMeasure; }
  void SetDpiX(int32_t Value) override;
  void SetDpiY(int32_t Value) override;
  void SetDpi(int32_t X, int32_t Y) override;

  // ---- Settings ----
  TIEVectInteract VectInteract() const { return FVectInteract; }
  void SetVectInteract(TIEVectInteract Value) { FVectInteract = Value; }
  void SetMouseInteract(TIEMouseInteract Value) override;
  bool ShareBitmaps = true;
  bool ZoomObjectsWidth = true;
  TResampleFilter BitmapResampleFilter = rfNone;
  int32_t ObjUndoLimit = 1;
  bool ObjAutoUndo = false;
  bool ObjAntialias = true;
  bool SelectOnMouseDown = true;
  TIEVUndoMode ObjUndoMode = ieumSeparated;
  TPicture* ObjGripImage() const { return FObjGripImage.get(); }
  int32_t GripSize = 5;   // half-size of a grip in client pixels
  uint8_t GripShape = 1;  // 0 square, 1 ellipse
  int32_t HitMaxDistance = -1;
  int32_t HitTolerance = 1;
  uint8_t CenterGripOnly = 0;
  uint8_t MoveOutside = 1;
  uint8_t RubberBandSelect = 1;
  uint8_t EditNewText = 1;
  uint8_t CenterNewObject = 0;
  uint8_t PolylineOutside = 0;
  uint8_t PolylineEndMode = 0;
  uint8_t ClearBoxHit = 0;
  uint8_t BitmapAlphaHit = 1;
  uint8_t ObjSupersample = 0;
  uint8_t ObjHidden = 0;
  uint8_t ObjFastDrawing = 1;
  uint8_t RulerTextUpright = 1;
  uint8_t AngleBelow180 = 0;
  int32_t DragFlag = 0;
  // On: grip resizes keep each object's ratio as if Alt were held.
  uint8_t AspectLock = 0;
  // The memo whose visible text the painter collects (-1 none), and that text as last painted, one line
  // per laid-out line.
  int32_t CurrentMemo = -1;
  std::string CurrentMemoText;

  // ---- Events ----
  TNotifyEvent OnSelectObject;
  TIEUserSelectObject OnUserSelectObject;
  TIEUserSelectObject OnUserDeselectObject;
  TIEVMeasureHintEvent OnMeasureHint;
  TIEOnPresentMeasure OnPresentMeasure;
  TIEVDragLenEndEvent OnDragLenEnd;
  TNotifyEvent OnVectorialChanged;
  TNotifyEvent OnBeforeVectorialChanged;
  TIEVNewObject OnNewObject;
  TIEVObjectMoveResizeEvent OnObjectMoveResize;
  TIEVObjectClickEvent OnObjectClick;
  TIEVObjectClickEvent OnObjectDblClick;
  TIEVObjectClickEvent OnObjectOver;

  virtual void DoVectorialChanged();
  virtual void DoVectorialChanging();
  virtual void DoObjectMoveResize(int32_t Hobj, int32_t Grip, int32_t& OffsetX, int32_t& OffsetY);
  virtual void DoObjectClick(int32_t Hobj);
  virtual void DoObjectDblClick(int32_t Hobj);
  virtual void DoObjectOver(int32_t Hobj);
  virtual void DoNewObject(int32_t Hobj);
  virtual void DoUserSelectObject(int32_t Hobj);
  virtual void DoUserDeselectObject(int32_t Hobj);
  bool ObjectsChanged() const { return FObjectsChanged; }

  // ---- Object stream ----
  void SaveObjectsToStream(TStream* Stream);
  bool LoadObjectsFromStream(TStream* Stream);
  bool LoadObjectsFromFile(const std::string& FileName);
  void SaveObjectsToFile(const std::string& FileName);

  // ---- Layers and objects in one stream; creating, measuring, selecting and editing with the mouse ----
  // The combined stream: a 32-bit position of the object stream (counted from where the combined
  // stream starts), the layers file, then the object stream. Compression as for SaveLayersToStream.
  void SaveAllToStream(TStream* Stream, int32_t Compression);
  // False, with the objects and the stream's position as they were, when the position field, the
  // layers file or the object stream's header is refused (the layers read stay); a damaged object
  // section raises as LoadObjectsFromStream does.
  bool LoadAllFromStream(TStream* Stream);
  bool LoadAllFromFile(const std::string& FileName);
  // (0, 0) to one past the largest right and bottom edges of all objects.
  TRect GetObjectsExtent();
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  // The measure hint at client (X, Y); -1000000 keeps the last position. Drawn only while MeasureHintOn.
  void ShowMeasureHint(int32_t X, int32_t Y);
  void HideMeasureHint();
  void RefreshMeasureHint(int32_t X, int32_t Y);
  // The length of the view's polygon selection in MUnit.
  double SelectionLength();
  // Selection by a click at client (X, Y); AtPress when called from the press.
  void SelectAtPoint(TShiftState Shift, int32_t X, int32_t Y, bool AtPress);
  // Rubber bands between the press point and the current point, drawn inverted: drawing one twice
  // restores the screen. Erase: the outline drawn last goes (with a pen that does not invert, by
  // repainting the rectangle it spans).
  virtual void DrawRubberLine(bool Erase);
  virtual void DrawRubberBox(bool Erase);
  virtual void DrawRubberEllipse(bool Erase);
  // Previews of a ruler or an angle being created, drawn over the freshly painted view.
  virtual void DrawRulerPreview(bool Erase);
  virtual void DrawAnglePreview(bool Erase);
  // A scroll during a drag moved what lies under the stored pointer and press positions.
  void OffsetMouseOrigin(int32_t DX, int32_t DY) override;
  TPen* RubberPen() const { return FRubberPen.get(); }
  // The object kind being created (vokNone when none).
  TIEVObjKind CurrentOperation() const { return TIEVObjKind(FCurrentOperation); }
  uint8_t ActiveGrip() const { return FActiveGrip; }
  int32_t PickedVertex() const { return FPickedVertex; }
  int32_t PickedSegment() const { return FPickedSegment; }
  uint8_t MeasureHintOn = 0;
  uint8_t MeasureLiveSegment = 1;

  // ---- Where the image stands in the window (the view's zoom, scroll and centring) ----
  // Bitmap pixels per client pixel.
  double BitmapPerClientX() const { return 100.0 / ZoomX(); }
  double BitmapPerClientY() const { return 100.0 / ZoomY(); }
  // The client rectangle the image is shown in (left, top, right, bottom; right and bottom excluded).
  TRect ClientImageRect();

  // ---- Geometry and hit testing ----
  double ObjectDistance(TIEVObjectData& Rec, int32_t X, int32_t Y);
  double BitmapObjectDistance(TIEVObjectData& Rec, int32_t X, int32_t Y);
  int32_t HitTestObjects(int32_t X, int32_t Y, bool SelectableOnly, double& Distance);
  int32_t HitTestClient(int32_t X, int32_t Y, double& Distance);
  bool PointInGrip(int32_t CX, int32_t CY, int32_t X, int32_t Y) const;
  void GripAt(int32_t X, int32_t Y, uint8_t& Grip);
  int32_t FindPolylineVertex(int32_t X, int32_t Y);
  int32_t FindPolylineSegment(int32_t X, int32_t Y);
  void SelectInRect(int32_t Hobj, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
  void MoveObject(int32_t Hobj, int32_t DX, int32_t DY);
  void ResizeObject(int32_t Hobj, int32_t Grip, bool KeepRatio, int32_t DX1, int32_t DY1, int32_t DX2, int32_t DY2);
  // A grip centred at (X, Y): Shape 0 a corner grip, 1 the centre diamond; with a grip picture, the
  // picture (and the grip half-size becomes half its larger side).
  void DrawGrip(TIECanvas* Canvas, int32_t Shape, int32_t X, int32_t Y);
  // The grips of one object, or of every selected object, drawn anti-aliased over Canvas.
  void DrawObjectGrips(TCanvas* Canvas, TIEVObjectData& Rec);
  void DrawSelectionGrips(TCanvas* Canvas);
  TPen* GripPen() const { return FGripPen.get(); }
  TBrush* GripBrush() const { return FGripBrush.get(); }
  // The client box of an object as drawn (corners as stored, not ordered).
  TRect ObjectClientBox(const TIEVObjectData& Rec);
  // The scale from PointsBase to the object box.
  void PolylineScale(const TIEVObjectData& Rec, double& SX, double& SY) const;
  // How many AnglePoints are placed (a point of -1000000 is not).
  int32_t AnglePointCount(const TIEVObjectData& Rec) const;
  // One arrow head filled with the canvas's pen and brush; its points widen DrawnRect.
  void DrawLineHead(TIECanvas* Canvas, int32_t Shape, int32_t TipX, int32_t TipY, int32_t OtherX, int32_t OtherY,
                    int32_t Width, int32_t Length, TRect& DrawnRect);

  // ---- Painting, compositing, keys, undo snapshots and copies ----
  TIEDrawObjectEvent OnBeforeDrawObject;
  TIEDrawObjectEvent OnAfterDrawObject;
  // Puts one object onto Dest. Clip skips an object outside the visible image area; ToClient maps bitmap
  // to client pixels; Work is the work bitmap wrapping Dest when the caller composes through one; Factor
  // the supersampling factor (1 or more); DrawingAlpha while the object's coverage is painted. True when
  // the object was visible and drawn (also when a handler drew it).
  bool DrawObject(TIEVObjectData& Rec, int32_t Hobj, TBitmap* Dest, bool Clip, bool ToClient, TIEBitmap* Work,
                  int32_t Factor, bool DrawingAlpha);
  // The pen width of Rec under the zoom factors (1.0 = 100 %).
  int32_t ObjPenWidth(const TIEVObjectData& Rec, double ZoomFX, double ZoomFY) const;
  // One object (Hobj) or all (IEV_ALL) onto a 24-bit Target: in bitmap pixels with InImage, else in the
  // view's client pixels (Target the back buffer).
  void DrawObjectsToBitmap(TBitmap* Target, bool InImage, bool Supersample, int32_t Hobj = IEV_ALL);
  // Onto any TIEBitmap in bitmap pixels; the bitmap keeps its pixel format.
  void DrawObjectsTo(TIEBitmap* Bitmap, bool Antialias, int32_t Hobj = IEV_ALL);
  // Burns every object into the view's image.
  void DrawObjectsToImage(bool Antialias);
  // All objects, then the selection grips, then the vertex handles onto the view's back buffer.
  void RenderObjects(TBitmap* Dest);
  void RenderLayersOnto(TIEBitmap* Target, TBitmap* TargetPicture, const TRect* Clip, bool DrawBackground,
                        bool DrawDecorations) override;
  void DrawVertexHandles(TCanvas* Canvas);
  int32_t DrawnObjectsCount() const { return FDrawnObjects; }
  TIEBitmap* WorkBitmap() const { return FWorkBitmap.get(); }
  // The area of the work bitmap laid onto the target by the last composition through it.
  TRect LastComposedArea() const { return FLastComposedArea; }
  // Whether the canvas anti-aliases by itself; the 2x supersampled path runs only when it does not.
  virtual bool CanvasAntialiases() const;
  void SetZoomObjectsWidth(bool Value);
  void SetBitmapResampleFilter(TResampleFilter Value);
  void SetObjAntialias(bool Value);
  void SetObjGripImage(TPicture* Value);
  virtual void SetObjSupersample(uint8_t Value);
  // The view's fast pass: objects drawn without anti-aliasing or compositing while the button is held.
  bool FastPassFlag() const { return FFastPass; }
  void SetFastPassFlag(bool Value) { FFastPass = Value; }
  bool FastPassActive() const { return FFastPass && ObjFastDrawing != 0; }
  void FastPassTimer(TObject* Sender);
  TTimer* FastPassTimerObject() const { return FFastTimer; }
  void Paint() override;
  // Area of the view's selection in square units of the measure unit.
  double SelectionArea();
  // The box becomes the bounds of the vertices as shown, and PointsBase those of the stored vertices.
  void PolylineRebase(TIEVObjectData& Rec);
  // Keys: Escape closes the text editor, F2 opens it on the first selected text or memo.
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void Dispatch(TMessage& Message) override;
  // Undo snapshots of the objects.
  void AutoObjUndo();
  void SaveObjUndo();
  void DropLastObjUndo();
  void ClearObjUndo();
  int32_t ObjUndoCount() const { return int32_t(FObjUndo.size()); }
  TMemoryStream* ObjUndoAt(int32_t Index) const { return FObjUndo[size_t(Index)].get(); }
  // Whether the interaction under way took an automatic snapshot.
  bool AutoUndoTaken() const { return FAutoUndoTaken; }
  void SetAutoUndoTaken(bool Value) { FAutoUndoTaken = Value; }
  // Copies the objects of another vector view (nullptr clears them); other sources copy only the image.
  void Assign(TPersistent* Source) override;
  // Copies object Hobj of this view into Target; returns its handle there.
  int32_t CopyObjectTo(int32_t Hobj, TImagingVect* Target);

  // A measured value as the measuring objects show it (fixed point, FloatPrecision and FloatDigits).
  std::string MeasureText(double Value) const;
  // The angle an angle object shows for its three points (the middle one the vertex), in degrees;
  // Reduced when AngleBelow180 turned it below 180 (the arc then runs the other way).
  double AngleShownValue(const TPoint P[3], bool& Reduced) const;

private:
  struct DrawContext;
  int32_t MapX(int32_t X, bool ToClient, int32_t Factor);
  int32_t MapY(int32_t Y, bool ToClient, int32_t Factor);
  void DrawKind(DrawContext& D);
  static void HighlightBox(TBitmap* Dest, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor Color);
  void DrawBitmapObject(DrawContext& D);
  void MeasureFont(DrawContext& D, int32_t Escapement);
  void DrawRuler(DrawContext& D, double Length, double UX, double UY);
  void DrawAngle(DrawContext& D);
  void DrawLineLabel(DrawContext& D);
  static int32_t AlignOffset(uint8_t Align, double Sin, double Cos, int32_t TW, int32_t TH, int32_t W, int32_t Inset);
  void DrawTextObject(DrawContext& D);
  void DrawPathText(DrawContext& D, LOGFONTA Lf, double W, double H);
  void DrawMemo(DrawContext& D);
  bool NeedsWorkBitmap(const TIEVObjectData& Rec) const;
  void ComposeObject(TBitmap* Target, int32_t Hobj, bool InImage, int32_t Factor, double Ratio, bool Supersampled,
                     bool FillWork);
  void CopyUnderHighlight(TBitmap* Target, const TIEVObjectData& Rec, bool ToClient, double Ratio);
  void EnsureWorkBitmap(int32_t Width, int32_t Height);
  // The view keeps the anti-aliased drawing layer loaded while it lives.
  struct TDrawingLayerUse {
    TDrawingLayerUse();
    ~TDrawingLayerUse();
    TDrawingLayerUse(const TDrawingLayerUse&) = delete;
    TDrawingLayerUse& operator=(const TDrawingLayerUse&) = delete;
  };
  TDrawingLayerUse FDrawingLayerUse;
  std::unique_ptr<TIEBitmap> FWorkBitmap;
  std::unique_ptr<TBitmap> FWorkMask;
  TRect FLastComposedArea;
  // The part of the work bitmap's coverage picture and alpha channel that may not be black.
  TRect FWorkDirty{1, 1, 0, 0};
  void MarkWorkDirty(const TRect& R);
  void CleanWork();
  static int64_t ShadowReach(const TIEVObjectData& Rec, double Ratio);
  std::vector<std::unique_ptr<TMemoryStream>> FObjUndo;
  TTimer* FFastTimer = nullptr;  // owned by the view as a component
  int32_t FDrawnObjects = 0;
  bool FFastPass = false;
  bool FAutoUndoTaken = false;

private:
  double SquaredDistanceLowerBound(const TIEVObjectData& Rec, int32_t X, int32_t Y) const;
  void RecomputeUnitSizes();
  void RefreshMeasureHint() { RefreshMeasureHint(-1000000, -1000000); }
  void UpdateUnlessTemplate(int32_t Hobj);
  int32_t ResolveHandle(int32_t Hobj) const;
  TImagingIO* StreamIO(TIEBitmap* Bitmap);
  void WriteObject(std::vector<uint8_t>& Out, int32_t Hobj);
  int32_t ReadObject(class TIEVReader& In, char Version, int32_t Depth);
  // Mouse state (vect_mouse.cpp, vect_select.cpp).
  void MouseDownEdit(TShiftState Shift, int32_t X, int32_t Y, int32_t& PressX, int32_t& PressY);
  void MouseMoveEdit(TShiftState Shift, int32_t X, int32_t Y);
  void MouseHover(TShiftState Shift, int32_t X, int32_t Y);
  void MouseUpEdit(TShiftState Shift, int32_t X, int32_t Y);
  void HoverExtensions(TShiftState Shift, int32_t X, int32_t Y);
  void ForwardToExtension(int Kind, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  void ClampToImage(int32_t X, int32_t Y, int32_t& CX, int32_t& CY);
  void ViewCursor(TCursor Cursor);
  void AngleClick(TShiftState Shift, int32_t X, int32_t Y);
  void PolylineClick(TShiftState Shift, int32_t& X, int32_t& Y);
  void CreateOnRelease();
  void DropInteractionUndo();
  void DrawPreviewObject(TIEVObjectData& Rec);
  void RepaintNow();
  void EraseRubberRect();
  void MapPolylineToClient(TIEVObjectData& Rec);
  static std::unique_ptr<TPen> NewRubberPen();
  std::unique_ptr<TPen> FRubberPen = NewRubberPen();
  std::unique_ptr<TBitmap> FHintSave;
  int32_t FHintX = 0, FHintY = 0;            // where the hint was asked for
  int32_t FHintDrawnX = 0, FHintDrawnY = 0;  // where it went inside the client area
  int32_t FRawPressX = 0, FRawPressY = 0;  // where the button went down
  int32_t FPressX = 0, FPressY = 0;      // client press point (a snap or a polyline vertex moves it)
  int32_t FCurX = 0, FCurY = 0;          // client current point
  int32_t FLastPointerX = 0, FLastPointerY = 0;
  int32_t FCreatingObject = -1;          // the polyline or angle being created
  int32_t FLastVertexX = 0, FLastVertexY = 0;
  int32_t FDragAccX = 0, FDragAccY = 0;  // bitmap offsets applied since the press
  int32_t FPickedVertex = -1, FPickedSegment = -1;
  bool FDoubleClick = false;
  bool FChanged = false;
  bool FSelectionDeferred = false;
  bool FButtonHeld = false;

  std::vector<TIEVObjectData> FObjects;
  std::vector<int32_t> FOrder;
  std::vector<int32_t> FSelection;
  std::vector<TIEVBitmapEntry> FBitmaps;
  TIEVObjectData FTemplate;
  TIEVectInteract FVectInteract;
  TIEUnits FMUnit = ieuPIXELS;
  double FScale = 1.0;
  double FUnitSizeX = 1.0, FUnitSizeY = 1.0;
  int32_t FFloatDigits = 2;
  int32_t FFloatPrecision = 15;
  double FLastMeasure = 0;
  uint8_t FCurrentOperation = 0;
  uint8_t FActiveGrip = 0;
  int32_t FTextEditObject = -1;
  int32_t FObjectUnderPointer = -1;
  bool FObjectsChanged = false;
  bool FChangingRaised = false;
  std::unique_ptr<TPicture> FObjGripImage;
  std::unique_ptr<TPen> FGripPen;
  std::unique_ptr<TBrush> FGripBrush;
  std::unique_ptr<TImagingIO> FStreamIO;
  TIEEdit* FTextEdit = nullptr;            // owned by the view as a component
  TIETextControl* FMemoEditor = nullptr;  // owned by the view as a component
  bool FDestroyingView = false;

  void DoEnter() override;
  void DoExit() override;
  void TextKeyDown(uint16_t& Key, TShiftState Shift);
  void MemoKeyDown(uint16_t& Key, TShiftState Shift);
  void TextAutoWidth();
  int32_t EditCodePage() const;
};

}  // namespace zv
