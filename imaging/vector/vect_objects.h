// The vector-object record of the vector layer, the kinds, flags and units it uses, and the base of the
// extension objects that registered classes draw and store themselves.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/graphics.h"
#include "platform/types.h"

namespace zv {

class TStream;
class TImagingVect;
struct TIEVObjectData;

// Handles that name no stored object.
constexpr int32_t IEV_TEMPLATE = -1;     // the record new objects are made from
constexpr int32_t IEV_LAST = -2;         // the object added last
constexpr int32_t IEV_ALL = -3;          // all objects as an argument; nothing found as a result
constexpr int32_t IEV_NONE = -4;         // no grip; a group header read from a stream

enum TIEVObjKind : uint8_t {
  vokNone,
  vokLine,
  vokBox,
  vokEllipse,
  vokArc,
  vokBitmap,
  vokText,
  vokRuler,
  vokPolyline,
  vokAngle,
  vokMemo,
  vokLabelLine,
  vokExtension
};

// TIEVObjectData::Style bits.
constexpr uint8_t vofSelectable = 1;
constexpr uint8_t vofMovable = 2;
constexpr uint8_t vofSizeable = 4;
constexpr uint8_t vofVisible = 8;
constexpr uint8_t vofAll = vofSelectable | vofMovable | vofSizeable | vofVisible;

enum TIEUnits : uint8_t {
  ieuPIXELS,
  ieuINCHES,
  ieuKM,
  ieuMETERS,
  ieuCENTIMETERS,
  ieuMILLIMETERS,
  ieuMICRONS,
  ieuNANOMETERS,
  ieuFEET,
  ieuYARDS,
  ieuMILES
};
constexpr uint8_t IEUnitsLast = ieuMILES;
// The name shown after a value measured in Unit ("pixels", "cm" ...).
const char* IEUnitName(TIEUnits Unit);

// Highest text rendering quality an object may ask for.
constexpr uint8_t IETextQualityLast = 6;

// A point of a text path, in fractions of the object box.
struct TIEDPoint {
  double X = 0;
  double Y = 0;
  bool operator==(const TIEDPoint&) const = default;
};

// One character format of a formatted memo, kept as the 280 bytes the text editor defines.
// Layout: use count (int32 at 0), face name (a length byte and up to 255 characters at 4), height (int32
// at 260), style bits (264: bold, italic, underline, strike-out), colour (268), background colour (272),
// background brush style (276), paragraph alignment (277: left, right, centre, justify).
struct TIETextFormat {
  uint8_t Bytes[280] = {};
  bool operator==(const TIETextFormat&) const = default;

  int32_t UseCount() const { return Get32(0); }
  void SetUseCount(int32_t V) { Put32(0, V); }
  std::string FontName() const { return std::string(reinterpret_cast<const char*>(Bytes + 5), Bytes[4]); }
  void SetFontName(std::string_view Name) {
    const size_t N = Name.size() < 255 ? Name.size() : 255;
    std::memset(Bytes + 4, 0, 256);
    Bytes[4] = uint8_t(N);
    std::memcpy(Bytes + 5, Name.data(), N);
  }
  int32_t Height() const { return Get32(260); }
  void SetHeight(int32_t V) { Put32(260, V); }
  uint8_t Style() const { return Bytes[264]; }
  void SetStyle(uint8_t V) { Bytes[264] = V; }
  int32_t Color() const { return Get32(268); }
  void SetColor(int32_t V) { Put32(268, V); }
  int32_t Background() const { return Get32(272); }
  void SetBackground(int32_t V) { Put32(272, V); }
  uint8_t BrushStyle() const { return Bytes[276]; }
  void SetBrushStyle(uint8_t V) { Bytes[276] = V; }
  uint8_t Alignment() const { return Bytes[277]; }
  void SetAlignment(uint8_t V) { Bytes[277] = V; }
  // The same format: every field but the use count equal, the face name compared as text.
  bool SameFormat(const TIETextFormat& O) const {
    return FontName() == O.FontName() && Height() == O.Height() && Style() == O.Style() && Color() == O.Color() &&
           Background() == O.Background() && BrushStyle() == O.BrushStyle() && Alignment() == O.Alignment();
  }

private:
  int32_t Get32(size_t At) const {
    int32_t V;
    std::memcpy(&V, Bytes + At, 4);
    return V;
  }
  void Put32(size_t At, int32_t V) { std::memcpy(Bytes + At, &V, 4); }
};
static_assert(sizeof(TIETextFormat) == 280);

struct TIEVSoftShadow {
  uint8_t Enabled = 0;
  double Radius = 3.0;
  int32_t OffsetX = 0;
  int32_t OffsetY = 0;
  int32_t Intensity = 100;
  uint8_t ColorB = 0, ColorG = 0, ColorR = 0;  // the shadow colour as stored: blue, green, red
  bool operator==(const TIEVSoftShadow&) const = default;
};

// An object drawn and stored by a registered class. The layer owns one instance per vokExtension record.
class TIEVExtension {
public:
  virtual ~TIEVExtension() = default;
  // The class name under which the class is registered; written into streams.
  virtual std::string ClassName() const = 0;
  // Called once after the instance was created by name while reading, its owner set.
  virtual void Initialise() {}
  // The instance now belongs to the record of handle Hobj.
  virtual void Attach(TIEVObjectData* Rec, int32_t Hobj) {
    FRecord = Rec;
    FHandle = Hobj;
  }
  virtual void SaveToStream(TStream* Stream) = 0;
  virtual void LoadFromStream(TStream* Stream) = 0;
  // A new instance with the same content, not yet attached.
  virtual std::unique_ptr<TIEVExtension> Clone() const = 0;
  // The pointer over the object (client pixels of the view): a press, a release, a move, and the pointer
  // coming onto the object and leaving it.
  virtual void MouseDown(TMouseButton, TShiftState, int32_t, int32_t) {}
  virtual void MouseUp(TMouseButton, TShiftState, int32_t, int32_t) {}
  virtual void MouseMove(TShiftState, int32_t, int32_t) {}
  virtual void MouseEnter() {}
  virtual void MouseLeave() {}

  TImagingVect* Owner = nullptr;
  TIEVObjectData* Record() const { return FRecord; }
  // The record moved in memory.
  void Rebind(TIEVObjectData* Rec) { FRecord = Rec; }
  int32_t Handle() const { return FHandle; }
  uint8_t Flag = 0;

  // A key went down while this object was the only one selected.
  virtual void KeyDown(uint16_t Key, TShiftState Shift) {
    (void)Key;
    (void)Shift;
  }
  // Paints the object into Dest over the box (X1, Y1)-(X2, Y2) of destination pixels at the given zoom
  // (1.0 = 100 %); DrawingAlpha while the layer paints the object's coverage.
  virtual void Draw(TBitmap* Dest, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool DrawingAlpha, double ZoomX,
                    double ZoomY) {
    (void)Dest, (void)X1, (void)Y1, (void)X2, (void)Y2, (void)DrawingAlpha, (void)ZoomX, (void)ZoomY;
  }

private:
  TIEVObjectData* FRecord = nullptr;
  int32_t FHandle = -1;
};

using TIEVExtensionFactory = std::function<std::unique_ptr<TIEVExtension>()>;
// Registers (or replaces) the class Name; streams create instances of it by that name.
void RegisterVectExtension(const std::string& Name, TIEVExtensionFactory Factory);
void UnregisterVectExtension(const std::string& Name);
// A new instance, or nullptr for a name nobody registered.
std::unique_ptr<TIEVExtension> CreateVectExtension(const std::string& Name);
// The same, under the names the object stream's reader and writer use: a new instance of the class
// registered exactly as Name (none for an unknown name), and the registered name of an instance's class
// (empty when its class is not registered).
std::unique_ptr<TIEVExtension> FindExtensionClass(const std::string& Name);
std::string ExtensionClassName(const TIEVExtension& Instance);
// Empties the registry (the layer's shut-down).
void ClearVectExtensions();

// The fields of an object that the record holds by value and a plain copy may duplicate.
struct TIEVObjectFields {
  int32_t X1 = 0, Y1 = 0, X2 = 63, Y2 = 63;
  TIEVObjKind Kind = vokNone;
  int32_t Transparency = 255;
  // The application's data; owned (malloc'ed, freed with the object, stored in streams) when
  // UserDataSize is above 0.
  void* UserData = nullptr;
  int32_t UserDataSize = 0;
  uint8_t KeepRatio = 0;
  uint8_t BlendOp = 0;
  uint8_t LineBegin = 0, LineEnd = 0;
  int32_t ShapeWidth = 10, ShapeHeight = 20;
  TColor LabelBrushColor = clWhite;
  uint8_t LabelBrushStyle = 0;
  uint8_t LabelPosition = 1;
  uint8_t LabelBorder = 1;
  TRect LabelRect;
  TColor PenColor = clBlack;
  uint8_t PenStyle = 0;
  int32_t PenWidth = 1;
  TColor BrushColor = clWhite;
  uint8_t BrushStyle = 1;
  uint8_t Highlight = 0;
  double ArcStart = 0, ArcEnd = 6.283185307179586;
  int32_t BitmapIdx = -1;
  uint8_t BitmapBorder = 0;
  uint8_t TextQuality = 0;
  uint8_t TextAlign = 0;
  uint8_t AutoSize = 0;
  uint8_t MemoSingleFormat = 1;
  int32_t TextPathAngle = -10;
  uint8_t TextEditable = 1;
  int32_t MemoLineSpacing = 0;
  TColor MemoBorderColor = clWhite;
  uint8_t MemoBorderStyle = 0;
  int32_t MemoFixedHeight = 0;
  uint8_t MemoHasBitmap = 0;
  double MemoMarginLeft = 0, MemoMarginTop = 0, MemoMarginRight = 0, MemoMarginBottom = 0;
  uint8_t MemoTextBrushStyle = 0;
  int32_t Ident = 0;
  uint8_t Style = vofAll;
  uint8_t RulerUnit = ieuPIXELS;
  uint8_t RulerKind = 2;
  int32_t PointCount = 0;  // vertices in use; Points.size() is the room allocated
  TRect PointsBase;
  uint8_t Closed = 0;
  int32_t ScreenPointCount = 0;
  TPoint AnglePoints[3] = {{0, 0}, {50, 0}, {50, 50}};
  TRect DragStartBox;
  TRect DrawnRect;
  int32_t DrawnMargin = 0;
  TIEVSoftShadow SoftShadow;
};

// One vector object: the plain fields and the parts it owns. Records are not copied as a whole; the
// layer makes new objects from a source record by its own rules.
struct TIEVObjectData : TIEVObjectFields {
  TIEVObjectData() = default;
  TIEVObjectData(TIEVObjectData&&) = default;
  TIEVObjectData& operator=(TIEVObjectData&&) = default;

  std::optional<std::string> Text;  // none differs from an empty text
  std::string ObjectName;
  std::optional<LOGFONTA> LogFont;
  std::vector<TIEDPoint> TextPath;  // its size is the path's point count
  std::optional<std::vector<int32_t>> MemoCharFormat;  // text length + 1 entries
  std::optional<std::vector<TIETextFormat>> MemoFormats;
  std::vector<TPoint> Points;
  std::vector<TPoint> ScreenPoints;
  std::unique_ptr<TIEVExtension> Extension;
};

}  // namespace zv
