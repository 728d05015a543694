// The object storage of the vector layer: records and handles, the selection, the shared picture list,
// the template record and the measurement units.
#include "imaging/vector/imaging_vect.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <map>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/sys_text.h"
#include "imaging/io/imaging_io.h"
#include "imaging/proc/bitmap_copy.h"
#include "imaging/vector/text_control.h"
#include "platform/gdi_draw.h"
#include "platform/icons.h"

namespace zv {

namespace {

std::map<std::string, TIEVExtensionFactory>& ExtensionClasses() {
  static std::map<std::string, TIEVExtensionFactory> Classes;
  return Classes;
}

// Storage grows in steps of this many records.
constexpr size_t StorageStep = 512;
constexpr size_t StorageSlack = 10;

void ReserveStep(auto& Vector) {
  if (Vector.size() % StorageStep == 0) Vector.reserve(Vector.size() + StorageStep + StorageSlack);
}

}  // namespace

const char* IEUnitName(TIEUnits Unit) {
  static const char* const Names[] = {"pixels", "inches", "km", "mt", "cm", "mm", "microns",
                                      "nanometers", "feet", "yards", "miles"};
  return Unit <= IEUnitsLast ? Names[Unit] : "";
}

void RegisterVectExtension(const std::string& Name, TIEVExtensionFactory Factory) {
  ExtensionClasses()[Name] = std::move(Factory);
}

void UnregisterVectExtension(const std::string& Name) { ExtensionClasses().erase(Name); }

std::unique_ptr<TIEVExtension> CreateVectExtension(const std::string& Name) {
  const auto It = ExtensionClasses().find(Name);
  return It == ExtensionClasses().end() ? nullptr : It->second();
}

std::unique_ptr<TIEVExtension> FindExtensionClass(const std::string& Name) { return CreateVectExtension(Name); }

std::string ExtensionClassName(const TIEVExtension& Instance) {
  std::string Name = Instance.ClassName();
  return ExtensionClasses().count(Name) != 0 ? Name : std::string();
}

void ClearVectExtensions() { ExtensionClasses().clear(); }

// ---- Construction -------------------------------------------------------------------------------------

TImagingVect::TImagingVect(TComponent* AOwner)
    : TImagingView(AOwner),
      FObjGripImage(std::make_unique<TPicture>()),
      FGripPen(std::make_unique<TPen>()),
      FGripBrush(std::make_unique<TBrush>()) {
  FGripPen->SetColor(clBlack);
  FGripPen->SetStyle(psSolid);
  FGripPen->SetMode(pmCopy);
  FGripPen->SetWidth(1);
  FGripBrush->SetColor(TColor(0xBAFFFF));
  FGripBrush->SetStyle(bsSolid);
  RecomputeUnitSizes();
  FTemplate.RulerUnit = FMUnit;
  TFont Font;
  Font.SetName("Arial");
  SetObjFont(IEV_TEMPLATE, &Font);
  SetObjBitmapFromIcon(IEV_TEMPLATE, 32513, 64, 64);
  FTextEdit = new TIEEdit(this);
  FTextEdit->SetVisible(false);
  FMemoEditor = new TIETextControl(this);
  FMemoEditor->SetVisible(false);
}

TImagingVect::~TImagingVect() {
  FDestroyingView = true;
  CancelInteraction();
  ClearDrawingOrder();
  FreeObjectParts(FTemplate);
  FSelection.clear();
  FObjects.clear();
  FBitmaps.clear();
}

// ---- Records and handles ------------------------------------------------------------------------------

int32_t TImagingVect::ResolveHandle(int32_t Hobj) const {
  if (Hobj == IEV_LAST) return int32_t(FObjects.size()) - 1;
  return Hobj;
}

TIEVObjectData* TImagingVect::ObjectRecord(int32_t Hobj) {
  if (Hobj == IEV_TEMPLATE) return &FTemplate;
  Hobj = ResolveHandle(Hobj);
  assert(Hobj >= -4 && Hobj < int32_t(FObjects.size()) && "handle names no object");
  if (Hobj < 0 || Hobj >= int32_t(FObjects.size())) return nullptr;
  return &FObjects[size_t(Hobj)];
}

void TImagingVect::UpdateUnlessTemplate(int32_t Hobj) {
  if (Hobj != IEV_TEMPLATE) Update();
}

int32_t TImagingVect::AddObject(const TIEVObjectData& From) {
  ReserveStep(FOrder);
  // The source may be a stored object: it moves with the storage when that grows.
  const TIEVObjectData* Src = &From;
  const bool Stored = !FObjects.empty() && Src >= FObjects.data() && Src < FObjects.data() + FObjects.size();
  const size_t SourceIndex = Stored ? size_t(Src - FObjects.data()) : 0;
  if (FObjects.size() % StorageStep == 0) {
    FObjects.reserve(FObjects.size() + StorageStep + StorageSlack);
    for (auto& Rec : FObjects)
      if (Rec.Extension) Rec.Extension->Rebind(&Rec);
    if (Stored) Src = &FObjects[SourceIndex];
  }
  const TIEVObjectData& Source = *Src;
  const int32_t Hobj = int32_t(FObjects.size());
  FObjects.emplace_back();
  FOrder.push_back(Hobj);
  TIEVObjectData& Rec = FObjects.back();
  static_cast<TIEVObjectFields&>(Rec) = Source;
  Rec.BitmapIdx = -1;
  Rec.UserData = nullptr;
  Rec.UserDataSize = 0;
  Rec.ScreenPointCount = 0;
  Rec.PointCount = 0;
  Rec.PointsBase = TRect();

  if (Rec.Kind == vokExtension && Source.Extension) {
    Rec.Extension = Source.Extension->Clone();
    Rec.Extension->Owner = this;
    Rec.Extension->Attach(&Rec, Hobj);
  }
  if (Rec.Kind == vokBitmap || (Rec.Kind == vokMemo && Rec.MemoHasBitmap)) SetObjBitmapIndex(Hobj, Source.BitmapIdx);
  switch (Rec.Kind) {
    case vokText:
    case vokLabelLine:
    case vokExtension:
      Rec.Text = Source.Text.value_or(std::string());
      Rec.LogFont = Source.LogFont;
      Rec.TextPath = Source.TextPath;
      break;
    case vokMemo:
      Rec.Text = Source.Text;
      Rec.LogFont = Source.LogFont;
      if (Source.MemoCharFormat) {
        const size_t Length = Rec.Text ? Rec.Text->size() : 0;
        Rec.MemoCharFormat.emplace(Length + 1, 0);
        std::memcpy(Rec.MemoCharFormat->data(), Source.MemoCharFormat->data(),
                    std::min(Length, Source.MemoCharFormat->size()) * sizeof(int32_t));
        Rec.MemoFormats = Source.MemoFormats.value_or(std::vector<TIETextFormat>());
      }
      break;
    case vokRuler:
    case vokAngle: Rec.LogFont = Source.LogFont; break;
    default: break;
  }
  Rec.ObjectName = Source.ObjectName;
  if (Rec.Kind != vokLine && Rec.Kind != vokRuler && Rec.Kind != vokPolyline && Rec.Kind != vokLabelLine)
    OrderCorners(Rec.X1, Rec.Y1, Rec.X2, Rec.Y2);
  if (Rec.Kind == vokPolyline) {
    const size_t Count = size_t(std::max(0, std::min<int32_t>(Source.PointCount, int32_t(Source.Points.size()))));
    Rec.Points.assign(Source.Points.begin(), Source.Points.begin() + int64_t(Count));
    Rec.PointCount = int32_t(Count);
    Rec.PointsBase = Source.PointsBase;
  }
  return Hobj;
}

void TImagingVect::FreeObjectText(TIEVObjectData& Rec) {
  Rec.Text.reset();
  Rec.MemoCharFormat.reset();
  Rec.MemoFormats.reset();
}

void TImagingVect::FreeObjectParts(TIEVObjectData& Rec) {
  ReleaseBitmapRef(Rec.BitmapIdx);
  Rec.BitmapIdx = -1;
  Rec.ObjectName.clear();
  Rec.LogFont.reset();
  FreeObjectText(Rec);
  Rec.TextPath.clear();
  ClearObjVertices(Rec);
  Rec.ScreenPoints.clear();
  Rec.ScreenPointCount = 0;
  Rec.SoftShadow = TIEVSoftShadow();
  Rec.Extension.reset();
  if (Rec.UserDataSize > 0) {
    std::free(Rec.UserData);
    Rec.UserData = nullptr;
    Rec.UserDataSize = 0;
  }
}

void TImagingVect::ClearDrawingOrder() {
  for (const int32_t Hobj : FOrder) FreeObjectParts(FObjects[size_t(Hobj)]);
  FOrder.clear();
}

void TImagingVect::ClearObjects() {
  CancelInteraction();
  ClearDrawingOrder();
  FSelection.clear();
  FObjects.clear();
  std::unique_ptr<TIEBitmap> Kept;
  if (FTemplate.BitmapIdx >= 0 && FTemplate.BitmapIdx < int32_t(FBitmaps.size())) {
    Kept = std::move(FBitmaps[size_t(FTemplate.BitmapIdx)].Bitmap);
    FTemplate.BitmapIdx = -1;
  }
  FBitmaps.clear();
  if (Kept) SetObjBitmap(IEV_TEMPLATE, Kept.get());
  DoVectorialChanged();
  Update();
}

void TImagingVect::CancelInteraction() {
  FObjectUnderPointer = -1;
  FCurrentOperation = 0;
  FActiveGrip = 0;
  if (FTextEditObject != -1) {
    CloseTextEditor();
    FTextEditObject = -1;
    Update();
  }
}

void TImagingVect::SetObjUserData(int32_t Hobj, void* Data) {
  if (TIEVObjectData* Rec = ObjectRecord(Hobj)) Rec->UserData = Data;
  UpdateUnlessTemplate(Hobj);
}

void TImagingVect::SetObjUserDataSize(int32_t Hobj, int32_t Size) {
  if (TIEVObjectData* Rec = ObjectRecord(Hobj)) Rec->UserDataSize = Size;
  UpdateUnlessTemplate(Hobj);
}

void TImagingVect::SetObjFont(int32_t Hobj, TFont* Font) {
  TIEVObjectData* Rec = ObjectRecord(Hobj);
  if (Rec == nullptr) return;
  Rec->LogFont = Font->LogFont();
  Rec->PenColor = Font->Color();
  UpdateUnlessTemplate(Hobj);
}

TFontStyles TImagingVect::ObjFontStyles(int32_t Hobj) {
  TIEVObjectData* Rec = ObjectRecord(Hobj);
  if (Rec == nullptr || !Rec->LogFont) return {};
  return LogFontStyles(&*Rec->LogFont);
}

void TImagingVect::ClearObjVertices(TIEVObjectData& Rec) {
  Rec.Points.clear();
  Rec.Points.shrink_to_fit();
  Rec.PointCount = 0;
  Rec.PointsBase = TRect();
}

void TImagingVect::AddVertex(int32_t Hobj, int32_t X, int32_t Y) {
  TIEVObjectData* Rec = ObjectRecord(Hobj);
  if (Rec == nullptr) return;
  if (Rec->PointCount > 0) {
    const TPoint& Last = Rec->Points[size_t(Rec->PointCount - 1)];
    if (Last.X == X && Last.Y == Y) return;
  }
  ++Rec->PointCount;
  if (Rec->PointCount > int32_t(Rec->Points.size())) Rec->Points.resize(size_t(Rec->PointCount) * 2);
  Rec->Points[size_t(Rec->PointCount - 1)] = TPoint(X, Y);
  Rec->X1 = std::min(Rec->X1, X);
  Rec->X2 = std::max(Rec->X2, X);
  Rec->Y1 = std::min(Rec->Y1, Y);
  Rec->Y2 = std::max(Rec->Y2, Y);
  Rec->PointsBase = TRect(Rec->X1, Rec->Y1, Rec->X2, Rec->Y2);
}

// ---- Selection -----------------------------------------------------------------------------------------

void TImagingVect::AddToSelection(int32_t Hobj) {
  Hobj = ResolveHandle(Hobj);
  TIEVObjectData* Rec = ObjectRecord(Hobj);
  if (Rec != nullptr && Hobj >= 0 && (Rec->Style & vofSelectable) != 0) FSelection.push_back(Hobj);
}

void TImagingVect::SelectObject(int32_t Hobj) {
  AddToSelection(Hobj);
  if (OnSelectObject) OnSelectObject(this);
}

bool TImagingVect::IsSelected(int32_t Hobj) const {
  Hobj = ResolveHandle(Hobj);
  return std::find(FSelection.begin(), FSelection.end(), Hobj) != FSelection.end();
}

void TImagingVect::Deselect(int32_t Hobj) {
  Hobj = ResolveHandle(Hobj);
  const auto It = std::find(FSelection.begin(), FSelection.end(), Hobj);
  if (It == FSelection.end()) return;
  FSelection.erase(It);
  if (OnSelectObject) OnSelectObject(this);
}

void TImagingVect::UnselectAll() {
  FSelection.clear();
  if (OnSelectObject) OnSelectObject(this);
}

void TImagingVect::UnselectAllAndUpdate() {
  UnselectAll();
  Update();
}

TRect TImagingVect::SelectionBounds() {
  TRect R(IEBitmap() != nullptr ? IEBitmap()->GetWidth() : 0, IEBitmap() != nullptr ? IEBitmap()->GetHeight() : 0, 0, 0);
  for (const int32_t Hobj : FSelection) {
    const TIEVObjectData& Rec = FObjects[size_t(Hobj)];
    R.Left = std::min({R.Left, Rec.X1, Rec.X2});
    R.Right = std::max({R.Right, Rec.X1, Rec.X2});
    R.Top = std::min({R.Top, Rec.Y1, Rec.Y2});
    R.Bottom = std::max({R.Bottom, Rec.Y1, Rec.Y2});
  }
  return R;
}

// ---- Shared pictures ----------------------------------------------------------------------------------

TIEBitmap* TImagingVect::BitmapAt(int32_t Index) {
  assert(Index < int32_t(FBitmaps.size()) && "bitmap index past the list");
  if (Index < 0 || Index >= int32_t(FBitmaps.size())) return nullptr;
  return FBitmaps[size_t(Index)].Bitmap.get();
}

int32_t TImagingVect::FindSharedBitmap(TIEBitmap* Bitmap) {
  for (int32_t i = int32_t(FBitmaps.size()) - 1; i >= 0; --i)
    if (FBitmaps[size_t(i)].Bitmap && SameBitmap(FBitmaps[size_t(i)].Bitmap.get(), Bitmap)) return i;
  return -1;
}

int32_t TImagingVect::AllocBitmapSlot() {
  for (size_t i = 0; i < FBitmaps.size(); ++i)
    if (!FBitmaps[i].Bitmap) return int32_t(i);
  FBitmaps.emplace_back();
  return int32_t(FBitmaps.size()) - 1;
}

void TImagingVect::ReleaseBitmapRef(int32_t Index) {
  assert(Index < int32_t(FBitmaps.size()) && "bitmap index past the list");
  if (Index < 0 || Index >= int32_t(FBitmaps.size())) return;
  TIEVBitmapEntry& Entry = FBitmaps[size_t(Index)];
  if (Entry.RefCount <= 1) {
    Entry.Bitmap.reset();
    Entry.RefCount = 0;
  } else {
    --Entry.RefCount;
  }
}

void TImagingVect::SetObjBitmap(int32_t Hobj, TIEBitmap* Bitmap) {
  TIEVObjectData* Rec = ObjectRecord(Hobj);
  if (Rec == nullptr) return;
  // A picture of the list itself may go with the reference released below: work on a copy of it.
  std::unique_ptr<TIEBitmap> Own;
  for (const TIEVBitmapEntry& Entry : FBitmaps)
    if (Bitmap != nullptr && Entry.Bitmap.get() == Bitmap) {
      Own = std::make_unique<TIEBitmap>();
      Own->Assign(Bitmap);
      Bitmap = Own.get();
      break;
    }
  ReleaseBitmapRef(Rec->BitmapIdx);
  Rec->BitmapIdx = -1;
  if (Bitmap == nullptr) return;
  const int32_t Found = ShareBitmaps ? FindSharedBitmap(Bitmap) : -1;
  if (Found >= 0) {
    ++FBitmaps[size_t(Found)].RefCount;
    Rec->BitmapIdx = Found;
    return;
  }
  const int32_t Slot = AllocBitmapSlot();
  auto Copy = std::make_unique<TIEBitmap>();
  Copy->Assign(Bitmap);
  FBitmaps[size_t(Slot)].Bitmap = std::move(Copy);
  FBitmaps[size_t(Slot)].RefCount = 1;
  Rec->BitmapIdx = Slot;
}

void TImagingVect::SetObjBitmapIndex(int32_t Hobj, int32_t Index) {
  TIEVObjectData* Rec = ObjectRecord(Hobj);
  if (Rec == nullptr) return;
  assert(Index < int32_t(FBitmaps.size()) && "bitmap index past the list");
  // Its own entry again: releasing first could free the very picture it asks for.
  if (Index >= 0 && Index == Rec->BitmapIdx) return;
  ReleaseBitmapRef(Rec->BitmapIdx);
  Rec->BitmapIdx = -1;
  if (Index < 0 || Index >= int32_t(FBitmaps.size()) || !FBitmaps[size_t(Index)].Bitmap) {
    Rec->BitmapIdx = Index < 0 ? Index : -1;
    return;
  }
  if (ShareBitmaps) {
    ++FBitmaps[size_t(Index)].RefCount;
    Rec->BitmapIdx = Index;
    return;
  }
  const int32_t Slot = AllocBitmapSlot();
  auto Copy = std::make_unique<TIEBitmap>();
  Copy->Assign(FBitmaps[size_t(Index)].Bitmap.get());
  FBitmaps[size_t(Slot)].Bitmap = std::move(Copy);
  FBitmaps[size_t(Slot)].RefCount = 1;
  Rec->BitmapIdx = Slot;
}

void TImagingVect::SetObjBitmapFromIcon(int32_t Hobj, int32_t IconId, int32_t Width, int32_t Height) {
  TBitmap Picture;
  Picture.SetPixelFormat(pf24bit);
  Picture.SetSize(Width, Height);
  if (HICON Icon = LoadImage(nullptr, MAKEINTRESOURCE(IconId), IMAGE_ICON, Width, Height, LR_SHARED))
    DrawIconEx(Picture.Canvas()->Handle(), 0, 0, Icon, Width, Height, 0, nullptr, DI_NORMAL);
  TIEBitmap Copy;
  Copy.CopyFromTBitmap(&Picture);
  SetObjBitmap(Hobj, &Copy);
  UpdateUnlessTemplate(Hobj);
}

void TImagingVect::CompactBitmaps() {
  std::vector<int32_t> NewIndex(FBitmaps.size(), -1);
  std::vector<TIEVBitmapEntry> Kept;
  for (size_t i = 0; i < FBitmaps.size(); ++i) {
    if (!FBitmaps[i].Bitmap) continue;
    NewIndex[i] = int32_t(Kept.size());
    Kept.push_back(std::move(FBitmaps[i]));
  }
  FBitmaps = std::move(Kept);
  auto Map = [&](TIEVObjectData& Rec) {
    if (Rec.BitmapIdx >= 0 && Rec.BitmapIdx < int32_t(NewIndex.size())) Rec.BitmapIdx = NewIndex[size_t(Rec.BitmapIdx)];
  };
  Map(FTemplate);
  for (const int32_t Hobj : FOrder) Map(FObjects[size_t(Hobj)]);
}

// ---- Measurement ---------------------------------------------------------------------------------------

void TImagingVect::ComputeUnitSizes(double& SizeX, double& SizeY, TIEUnits Unit) {
  auto Size = [&](int32_t Dpi) {
    const double D = Dpi;
    switch (Unit) {
      case ieuPIXELS: return 1.0;
      case ieuINCHES: return 1 / D;
      case ieuKM: return 2.54 / 100000 / D;
      case ieuMETERS: return 2.54 / 100 / D;
      case ieuCENTIMETERS: return 2.54 / D;
      case ieuMILLIMETERS: return 2.54 * 10 / D;
      case ieuMICRONS: return 2.54 * 10000 / D;
      case ieuNANOMETERS: return 2.54 * 10000000 / D;
      case ieuFEET: return 1.0 / 12 / D;
      case ieuYARDS: return 1.0 / 36 / D;
      case ieuMILES: return 1.0 / 63360 / D;
    }
    return 1.0;
  };
  SizeX = Size(DpiX()) * FScale;
  SizeY = Size(DpiY()) * FScale;
}

void TImagingVect::RecomputeUnitSizes() { ComputeUnitSizes(FUnitSizeX, FUnitSizeY, FMUnit); }

void TImagingVect::SetMUnit(TIEUnits Value) {
  FMUnit = Value;
  FTemplate.RulerUnit = Value;
  RecomputeUnitSizes();
  RefreshMeasureHint();
}

void TImagingVect::SetScale(double Value) {
  FScale = Value;
  RecomputeUnitSizes();
  RefreshMeasureHint();
  Update();
}

void TImagingVect::SetFloatDigits(int32_t Value) {
  FFloatDigits = Value;
  RefreshMeasureHint();
}

void TImagingVect::SetFloatPrecision(int32_t Value) {
  FFloatPrecision = Value;
  RefreshMeasureHint();
}

void TImagingVect::SetDpiX(int32_t Value) {
  TImagingView::SetDpiX(Value);
  RecomputeUnitSizes();
  RefreshMeasureHint();
  Update();
}

void TImagingVect::SetDpiY(int32_t Value) {
  TImagingView::SetDpiY(Value);
  RecomputeUnitSizes();
  RefreshMeasureHint();
  Update();
}

void TImagingVect::SetDpi(int32_t X, int32_t Y) {
  TImagingView::SetDpi(X, Y);
  RecomputeUnitSizes();
  RefreshMeasureHint();
  Update();
}

void TImagingVect::SetMouseInteract(TIEMouseInteract Value) {
  CancelInteraction();
  TImagingView::SetMouseInteract(Value);
  if (!Value.Empty()) {
    uint64_t Bits = FVectInteract.Bits();
    const uint64_t Kept = (1u << vmiMeasureArea) | (1u << vmiMeasureLength) | (1u << vmiDragToCreate);
    Bits &= Kept;
    FVectInteract = TIEVectInteract::FromBits(Bits);
  }
}

// ---- Events ---------------------------------------------------------------------------------------------

void TImagingVect::DoVectorialChanged() {
  FObjectsChanged = true;
  FChanged = true;
  FChangingRaised = false;
  if (OnVectorialChanged) OnVectorialChanged(this);
}

void TImagingVect::DoVectorialChanging() {
  if (FChangingRaised) return;
  FChangingRaised = true;
  if (OnVectorialChanged) OnVectorialChanged(this);
}

void TImagingVect::DoObjectMoveResize(int32_t Hobj, int32_t Grip, int32_t& OffsetX, int32_t& OffsetY) {
  if (OnObjectMoveResize) OnObjectMoveResize(this, Hobj, Grip, OffsetX, OffsetY);
}
void TImagingVect::DoObjectClick(int32_t Hobj) {
  if (OnObjectClick) OnObjectClick(this, Hobj);
}
void TImagingVect::DoObjectDblClick(int32_t Hobj) {
  if (OnObjectDblClick) OnObjectDblClick(this, Hobj);
}
void TImagingVect::DoObjectOver(int32_t Hobj) {
  if (OnObjectOver) OnObjectOver(this, Hobj);
}
void TImagingVect::DoNewObject(int32_t Hobj) {
  if (OnNewObject) OnNewObject(this, Hobj);
}
void TImagingVect::DoUserSelectObject(int32_t Hobj) {
  if (OnUserSelectObject) OnUserSelectObject(this, Hobj);
}
void TImagingVect::DoUserDeselectObject(int32_t Hobj) {
  if (OnUserDeselectObject) OnUserDeselectObject(this, Hobj);
}

}  // namespace zv
