// The layers file ("IMAGINGLAYERS"), the layer state record and the selection record. Every count, length
// and offset read is checked against what the stream still holds before anything is allocated or sought.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/mask.h"
#include "imaging/core/sys_probes.h"
#include "imaging/core/zlib_streams.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "imaging/view/imaging_view.h"
#include "platform/checked_math.h"
#include "platform/streams.h"

namespace zv {

namespace {

constexpr char kLayersMagic[] = "IMAGINGLAYERS";
constexpr int64_t kMagicLength = 13;
constexpr int64_t kHeaderSize = 25;
constexpr int32_t kLayersVersion = 6;

// Little-endian fields out of a stream; the first short or impossible read turns Ok off for good.
class TFieldReader {
public:
  explicit TFieldReader(TStream* S) : FS(S), FSize(S->Size()) {}
  int64_t Left() { return FSize - FS->Position(); }
  bool Ok() const { return FOk; }
  bool Bytes(void* Buffer, int64_t Count) {
    if (!FOk || Count < 0 || Count > Left() || FS->Read(Buffer, Count) != Count) FOk = false;
    return FOk;
  }
  uint8_t U8() {
    uint8_t V[1] = {0};
    Bytes(V, 1);
    return V[0];
  }
  uint32_t U32() {
    uint8_t V[4] = {0, 0, 0, 0};
    Bytes(V, 4);
    return uint32_t(V[0]) | uint32_t(V[1]) << 8 | uint32_t(V[2]) << 16 | uint32_t(V[3]) << 24;
  }
  int32_t I32() { return int32_t(U32()); }
  double F64() {
    const uint64_t Lo = U32();
    const uint64_t Hi = U32();
    const uint64_t Bits = Lo | Hi << 32;
    double D = 0;
    std::memcpy(&D, &Bits, 8);
    return D;
  }
  bool Bool() { return U8() != 0; }
  void Fail() { FOk = false; }

private:
  TStream* FS;
  int64_t FSize;
  bool FOk = true;
};

class TFieldWriter {
public:
  explicit TFieldWriter(TStream* S) : FS(S) {}
  void Bytes(const void* Buffer, int64_t Count) { FS->WriteBuffer(Buffer, Count); }
  void U8(uint8_t V) { Bytes(&V, 1); }
  void U32(uint32_t V) {
    const uint8_t B[4] = {uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16), uint8_t(V >> 24)};
    Bytes(B, 4);
  }
  void I32(int32_t V) { U32(uint32_t(V)); }
  void F64(double D) {
    uint64_t Bits = 0;
    std::memcpy(&Bits, &D, 8);
    U32(uint32_t(Bits));
    U32(uint32_t(Bits >> 32));
  }
  void Bool(bool V) { U8(V ? 1 : 0); }
  void Zeros(int32_t N) {
    for (int32_t i = 0; i < N; ++i) U8(0);
  }

private:
  TStream* FS;
};

// Bytes of one layer record of that version with an empty name and no user data, offset included.
int64_t MinRecordSize(int32_t Version) {
  if (Version <= 2) return 35 + 8;
  if (Version == 3) return 47 + 8;
  if (Version <= 5) return 48 + 8;
  return 49 + 8;
}

bool EncodingKnown(int32_t Encoding) { return Encoding == -1 || Encoding == -2 || Encoding >= 1; }

bool FilterKnown(uint8_t V) { return V <= uint8_t(rfProjectWB); }

// A record as read, applied to its layer only once it is whole.
struct TLayerRecord {
  bool Visible = true, ShowBox = true, ClipToFirstLayer = false, Locked = false, MagnifierEnabled = false;
  int32_t Transparency = 255, PosX = 0, PosY = 0, Width = 0, Height = 0;
  double MagnifierRate = 2;
  uint8_t MagnifierStyle = 0, MagnifierSource = 1, BlendOp = 0;
  TResampleFilter ResampleFilter = rfNone;
  bool UseOwnFilter = false, IsMask = false, Selectable = true, ShadeOutside = false;
  std::string Name;
  std::vector<uint8_t> UserData;
  uint64_t Offset = 0;
};

bool ReadLayerRecord(TFieldReader& In, int32_t Version, TIELayer* Current, TLayerRecord& R) {
  // Fields the version does not carry keep the layer's values.
  R.MagnifierSource = Current->MagnifierSource;
  R.ResampleFilter = Current->ResampleFilter;
  R.UseOwnFilter = Current->UseOwnFilter;
  R.Name = Current->Name;
  R.IsMask = Current->IsMask;
  R.Selectable = Current->Selectable;
  R.ShadeOutside = Current->ShadeOutside;
  R.Visible = In.Bool();
  R.ShowBox = In.Bool();
  R.Transparency = In.I32();
  R.PosX = In.I32();
  R.PosY = In.I32();
  R.ClipToFirstLayer = In.Bool();
  R.Locked = In.Bool();
  R.MagnifierEnabled = In.Bool();
  R.MagnifierRate = In.F64();
  R.MagnifierStyle = In.U8();
  if (Version >= 3) R.MagnifierSource = In.U8();
  R.BlendOp = In.U8();
  R.Width = In.I32();
  R.Height = In.I32();
  if (Version >= 3) {
    const uint8_t Filter = In.U8();
    if (!FilterKnown(Filter)) In.Fail();
    R.ResampleFilter = TResampleFilter(Filter);
    R.UseOwnFilter = In.Bool();
    const int32_t N = In.I32();
    if (!In.Ok() || N < 0 || N > In.Left()) return false;
    R.Name.resize(size_t(N));
    In.Bytes(R.Name.data(), N);
    const int32_t U = In.I32();
    if (!In.Ok() || U > In.Left()) return false;
    if (U > 0) {
      R.UserData.resize(size_t(U));
      In.Bytes(R.UserData.data(), U);
    }
    R.IsMask = In.Bool();
  }
  if (Version >= 4) R.Selectable = In.Bool();
  if (Version >= 6) R.ShadeOutside = In.Bool();
  const uint64_t Lo = In.U32();
  const uint64_t Hi = In.U32();
  R.Offset = Lo | Hi << 32;
  return In.Ok();
}

void ApplyLayerRecord(TLayerRecord& R, TIELayer* L) {
  L->Visible = R.Visible;
  L->ShowBox = R.ShowBox;
  L->Transparency = R.Transparency;
  L->PosX = R.PosX;
  L->PosY = R.PosY;
  L->ClipToFirstLayer = R.ClipToFirstLayer;
  L->Locked = R.Locked;
  L->MagnifierEnabled = R.MagnifierEnabled;
  L->MagnifierRate = R.MagnifierRate;
  L->MagnifierStyle = R.MagnifierStyle;
  L->MagnifierSource = R.MagnifierSource;
  L->BlendOp = R.BlendOp;
  L->Width = R.Width;
  L->Height = R.Height;
  L->ResampleFilter = R.ResampleFilter;
  L->UseOwnFilter = R.UseOwnFilter;
  L->Name = R.Name;
  if (!R.UserData.empty()) {
    if (L->UserDataSize > 0) std::free(L->UserData);
    L->UserData = std::malloc(R.UserData.size());
    L->UserDataSize = L->UserData != nullptr ? int32_t(R.UserData.size()) : 0;
    if (L->UserData != nullptr) std::memcpy(L->UserData, R.UserData.data(), R.UserData.size());
  }
  L->IsMask = R.IsMask;
  L->Selectable = R.Selectable;
  L->ShadeOutside = R.ShadeOutside;
  L->DrawnRect = TRect(0, 0, 0, 0);
}

// Inflates all of Source into a memory stream (what a raw bitmap stream inside the zlib data needs is
// known only once it is inflated).
bool InflateAll(TStream* Source, TMemoryStream& Out) {
  try {
    TZDecompressionStream Z(Source);
    std::vector<uint8_t> Chunk(65536);
    for (;;) {
      const int64_t N = Z.Read(Chunk.data(), int64_t(Chunk.size()));
      if (N <= 0) break;
      Out.WriteBuffer(Chunk.data(), N);
    }
  } catch (const EZDecompressionError&) {
    return false;
  }
  Out.SetPosition(0);
  return true;
}

}  // namespace

bool IsLayersStream(TStream* Stream) {
  const int64_t Pos = Stream->Position();
  uint8_t Header[kHeaderSize] = {};
  const bool Whole = Stream->Read(Header, kHeaderSize) == kHeaderSize;
  Stream->SetPosition(Pos);
  if (!Whole || std::memcmp(Header, kLayersMagic, kMagicLength) != 0) return false;
  const int32_t Version =
      int32_t(uint32_t(Header[13]) | uint32_t(Header[14]) << 8 | uint32_t(Header[15]) << 16 | uint32_t(Header[16]) << 24);
  return Version > 0;
}

// ---- Layers file ------------------------------------------------------------------------------------------------

void TImagingView::SaveLayersToStream(TStream* Stream, int32_t Encoding) {
  const int32_t Remembered = FLayersCurrent;
  const bool Skip = FSkipUnselectable;
  FSkipUnselectable = false;
  struct TRestore {
    TImagingView* View;
    int32_t Index;
    bool Skip;
    ~TRestore() {
      View->SetLayersCurrent(Index);
      View->SetSkipUnselectableLayers(Skip);
    }
  } Restore{this, Remembered, Skip};
  if (Encoding == 1) Encoding = int32_t(ftPng);
  TFieldWriter Out(Stream);
  Out.Bytes(kLayersMagic, kMagicLength);
  Out.I32(kLayersVersion);
  Out.I32(Encoding);
  Out.I32(LayersCount());
  std::vector<int64_t> OffsetFields;
  for (const auto& L : FLayers) {
    Out.Bool(L->Visible);
    Out.Bool(L->ShowBox);
    Out.I32(L->Transparency);
    Out.I32(L->PosX);
    Out.I32(L->PosY);
    Out.Bool(L->ClipToFirstLayer);
    Out.Bool(L->Locked);
    Out.Bool(L->MagnifierEnabled);
    Out.F64(L->MagnifierRate);
    Out.U8(L->MagnifierStyle);
    Out.U8(L->MagnifierSource);
    Out.U8(L->BlendOp);
    Out.I32(L->Width);
    Out.I32(L->Height);
    Out.U8(uint8_t(L->ResampleFilter));
    Out.Bool(L->UseOwnFilter);
    StreamWriteString(Stream, L->Name);
    const int32_t U = L->UserData != nullptr ? std::max(L->UserDataSize, 0) : 0;
    Out.I32(L->UserDataSize);
    if (U > 0) Out.Bytes(L->UserData, U);
    Out.Bool(L->IsMask);
    Out.Bool(L->Selectable);
    Out.Bool(L->ShadeOutside);
    OffsetFields.push_back(Stream->Position());
    Stream->Seek(8, soCurrent);
  }
  for (int32_t i = 0; i < LayersCount(); ++i) {
    const int64_t P = Stream->Position();
    Stream->SetPosition(OffsetFields[size_t(i)]);
    Out.U32(uint32_t(uint64_t(P)));
    Out.U32(uint32_t(uint64_t(P) >> 32));
    Stream->SetPosition(P);
    SetLayersCurrent(i);
    if (Encoding == -1 || Encoding == -2) {
      TMemoryStream M;
      const int64_t Rows = int64_t(FIEBitmap->GetHeight()) * FIEBitmap->GetRowLen();
      int64_t Estimate = Rows / 2;
      if (FIEBitmap->HasAlphaChannel()) {
        TIEBitmap* A = FIEBitmap->GetAlphaChannel();
        Estimate += int64_t(A->GetHeight()) * A->GetRowLen();
      }
      if (int64_t(PhysicalMemorySize(true)) > Estimate) {
        try {
          M.SetSize(Estimate);
        } catch (const Exception&) {
        }
      }
      if (Encoding == -1) {
        TZCompressionStream Z(&M);
        FIEBitmap->SaveRawToStream(nullptr, 0, &Z);
        Z.Finish();
      } else {
        FIEBitmap->SaveRawToStream(nullptr, 0, &M);
      }
      const int64_t S = M.Position();
      Out.U32(uint32_t(S));
      if (S > 0) {
        M.SetPosition(0);
        IECopyStream(Stream, &M, S);
      }
    } else {
      TIOParamsVals* Params = IO()->IOParams();
      const TIEPixelFormat F = FIEBitmap->GetPixelFormat();
      if (F == ie1g) {
        Params->BitsPerSample = 1;
        Params->SamplesPerPixel = 1;
      } else if (F == ie8g) {
        Params->BitsPerSample = 8;
        Params->SamplesPerPixel = 1;
        Params->JpegColorSpace = 1;
      } else {
        Params->BitsPerSample = 8;
        Params->SamplesPerPixel = 3;
        Params->JpegColorSpace = 2;
      }
      IO()->SaveToStreamFormat(Stream, uint32_t(Encoding));
    }
    Stream->Seek(0, soEnd);
  }
}

bool TImagingView::LoadLayersFromStream(TStream* Stream) {
  const int64_t Start = Stream->Position();
  TFieldReader In(Stream);
  char Magic[kMagicLength];
  In.Bytes(Magic, kMagicLength);
  const int32_t Version = In.I32();
  const int32_t Encoding = In.I32();
  const int32_t Count = In.I32();
  int64_t Needed = 0;
  if (!In.Ok() || std::memcmp(Magic, kLayersMagic, kMagicLength) != 0 || Version <= 0 ||
      Version > kLayersVersion || !EncodingKnown(Encoding) || Count < 0 ||
      !CheckedMul<int64_t>(Count, MinRecordSize(Version), Needed) || Needed > In.Left()) {
    Stream->SetPosition(Start);
    return false;
  }
  for (int32_t i = LayersCount() - 1; i >= 1; --i) RemoveLayer(i);
  bool Result = true;
  for (int32_t i = 0; i < Count && Result; ++i) {
    if (i > 0) AddLayer();
    TLayerRecord R;
    if (!ReadLayerRecord(In, Version, GetLayer(i), R)) {
      Result = false;
      break;
    }
    ApplyLayerRecord(R, GetLayer(i));
    const int64_t Back = Stream->Position();
    if (R.Offset >= uint64_t(Stream->Size())) {
      Result = false;
      break;
    }
    Stream->SetPosition(int64_t(R.Offset));
    SetLayersCurrent(i);
    if (Encoding < 0) {
      const uint32_t S = In.U32();
      if (!In.Ok() || int64_t(S) > In.Left()) {
        Result = false;
        break;
      }
      TMemoryStream Block;
      Block.SetSize(S);
      if (S > 0) IECopyStream(&Block, Stream, S);
      Block.SetPosition(0);
      if (Encoding == -1) {
        TMemoryStream Raw;
        Result = InflateAll(&Block, Raw) && FIEBitmap->LoadRawFromStream(nullptr, 0, &Raw);
      } else {
        Result = FIEBitmap->LoadRawFromStream(nullptr, 0, &Block);
      }
    } else {
      const bool Native = IO()->NativePixelFormat();
      if (GetLayer(i)->IsMask) IO()->SetNativePixelFormat(true);
      IO()->LoadFromStreamFormat(Stream, uint32_t(Encoding));
      IO()->SetNativePixelFormat(Native);
    }
    Stream->SetPosition(Back);
  }
  if (FIO != nullptr && !FLayers.empty()) {
    TIOParamsVals* Params = FIO->IOParams();
    TIEBitmap* B = FLayers.front()->Bitmap;
    Params->Width = Params->OriginalWidth = B->GetWidth();
    Params->Height = Params->OriginalHeight = B->GetHeight();
  }
  Update();
  return Result;
}

bool TImagingView::LoadLayersFromFile(const std::string& FileName) {
  TFileStream F(FileName, fmOpenRead | fmShareDenyWrite);
  return LoadLayersFromStream(&F);
}

// ---- Layer state record -----------------------------------------------------------------------------------------

void TIELayer::SaveToStream(TStream* Stream, bool WithBitmap) {
  const int64_t Start = Stream->Position();
  TFieldWriter Out(Stream);
  Out.I32(0);
  Out.Bytes(Guid.data(), int64_t(Guid.size()));
  Out.I32(Width);
  Out.I32(Height);
  Out.Bool(Visible);
  Out.Bool(ShowBox);
  Out.Bool(Selectable);
  Out.I32(Transparency);
  Out.I32(PosX);
  Out.I32(PosY);
  Out.I32(DrawnRect.Left);
  Out.I32(DrawnRect.Top);
  Out.I32(DrawnRect.Right);
  Out.I32(DrawnRect.Bottom);
  Out.Bool(ClipToFirstLayer);
  Out.Bool(Locked);
  Out.Bool(MagnifierEnabled);
  Out.Zeros(7);
  Out.F64(MagnifierRate);
  Out.U8(MagnifierStyle);
  Out.U8(MagnifierSource);
  Out.Zeros(6);
  Out.U8(BlendOp);
  Out.Zeros(4);  // where a process-local user-data address once was
  Out.U8(uint8_t(ResampleFilter));
  Out.Bool(UseOwnFilter);
  StreamWriteString(Stream, Name);
  Out.Bool(IsMask);
  Out.Bool(ShadeOutside);
  Out.F64(RotateAngle);
  Out.F64(RotateCenterX);
  Out.F64(RotateCenterY);
  const bool Pixels = WithBitmap && Bitmap != nullptr;
  Out.Bool(Pixels);
  if (Pixels) Bitmap->SaveRawToStream(nullptr, 0, Stream);
  const int64_t End = Stream->Position();
  Stream->SetPosition(Start);
  Out.I32(int32_t(End - Start));
  Stream->SetPosition(End);
}

bool TIELayer::LoadFromStream(TStream* Stream) {
  TFieldReader In(Stream);
  In.I32();
  TIELayerGUID G{};
  In.Bytes(G.data(), int64_t(G.size()));
  const int32_t W = In.I32(), H = In.I32();
  const bool Vis = In.Bool(), Box = In.Bool(), Sel = In.Bool();
  const int32_t Tr = In.I32(), PX = In.I32(), PY = In.I32();
  TRect DR;
  DR.Left = In.I32();
  DR.Top = In.I32();
  DR.Right = In.I32();
  DR.Bottom = In.I32();
  const bool Clip = In.Bool(), Lock = In.Bool(), MagOn = In.Bool();
  uint8_t Filler[7];
  In.Bytes(Filler, 7);
  const double Rate = In.F64();
  const uint8_t MagStyle = In.U8(), MagSource = In.U8();
  In.Bytes(Filler, 6);
  const uint8_t Blend = In.U8();
  In.U32();  // the old user-data address: never restored
  const uint8_t Filter = In.U8();
  if (!FilterKnown(Filter)) In.Fail();
  const bool OwnFilter = In.Bool();
  const int32_t N = In.I32();
  if (!In.Ok() || N < 0 || N > In.Left()) return false;
  std::string NewName(size_t(N), '\0');
  In.Bytes(NewName.data(), N);
  const bool Mask = In.Bool(), Shade = In.Bool();
  const double Angle = In.F64(), CX = In.F64(), CY = In.F64();
  const bool Pixels = In.Bool();
  if (!In.Ok()) return false;
  if (Pixels && (Bitmap == nullptr || !Bitmap->LoadRawFromStream(nullptr, 0, Stream))) return false;
  Guid = G;
  Width = W;
  Height = H;
  Visible = Vis;
  ShowBox = Box;
  Selectable = Sel;
  Transparency = Tr;
  PosX = PX;
  PosY = PY;
  DrawnRect = DR;
  ClipToFirstLayer = Clip;
  Locked = Lock;
  MagnifierEnabled = MagOn;
  MagnifierRate = Rate;
  MagnifierStyle = MagStyle;
  MagnifierSource = MagSource;
  BlendOp = Blend;
  ResampleFilter = TResampleFilter(Filter);
  UseOwnFilter = OwnFilter;
  Name = std::move(NewName);
  IsMask = Mask;
  ShadeOutside = Shade;
  SetRotateAngle(Angle);
  RotateCenterX = CX;
  RotateCenterY = CY;
  return true;
}

// ---- Selection record -------------------------------------------------------------------------------------------

void TImagingView::SaveSelectionToStream(TStream* Stream) {
  TFieldWriter Out(Stream);
  Out.I32(FMask->Width());
  Out.I32(FMask->Height());
  const TIEViewPolygon* P = SelectionPolygon();
  const int32_t Count = P != nullptr ? P->Count : 0;
  Out.I32(Count);
  for (int32_t i = 0; i < Count; ++i) {
    Out.I32(P->Points[size_t(i)].X);
    Out.I32(P->Points[size_t(i)].Y);
  }
  Out.I32(P != nullptr ? P->BoxX1 : 0);
  Out.I32(P != nullptr ? P->BoxY1 : 0);
  Out.I32(P != nullptr ? P->BoxX2 : 0);
  Out.I32(P != nullptr ? P->BoxY2 : 0);
  Out.Bool(FSelectionExists);
  TIELayer* L = CurrentLayer();
  Out.I32(L != nullptr ? L->PosX : 0);
  Out.I32(L != nullptr ? L->PosY : 0);
  Out.I32(FMask->BitsPerPixel() == 8 ? 8 : 1);
  Out.I32(FMask->X1);
  Out.I32(FMask->Y1);
  Out.I32(FMask->X2);
  Out.I32(FMask->Y2);
  Out.Bool(FMask->Full());
  if (FMask->Bits() != nullptr) Out.Bytes(FMask->Bits(), int64_t(FMask->Height()) * FMask->RowLength());
}

bool TImagingView::LoadSelectionFromStream(TStream* Stream, int32_t Mode) {
  TFieldReader In(Stream);
  int32_t W = In.I32(), H = In.I32();
  const int32_t P = In.I32();
  int64_t PointBytes = 0;
  if (!In.Ok() || P < 0 || !CheckedMul<int64_t>(P, 8, PointBytes) || PointBytes > In.Left()) return false;
  std::vector<TPoint> Points(static_cast<size_t>(P));
  for (TPoint& Q : Points) {
    Q.X = In.I32();
    Q.Y = In.I32();
  }
  const int32_t BX1 = In.I32(), BY1 = In.I32(), BX2 = In.I32(), BY2 = In.I32();
  const bool Exists = In.Bool();
  const int32_t X0 = In.I32(), Y0 = In.I32();
  const int32_t Bpp = In.I32();
  const int32_t MX1 = In.I32(), MY1 = In.I32(), MX2 = In.I32(), MY2 = In.I32();
  const bool Full = In.Bool();
  // The rows' least size (unpadded) must be in the stream before the mask is allocated.
  int64_t MinRows = 0;
  const int64_t MinRow = Bpp == 8 ? int64_t(W) : (int64_t(W) + 7) / 8;
  if (!In.Ok() || W < 0 || H < 0 || (Bpp != 1 && Bpp != 8) || !CheckedMul<int64_t>(MinRow, H, MinRows) ||
      MinRows > In.Left())
    return false;
  // No columns or no rows is no mask, whatever the other side says (it is not checked against the stream).
  if (W == 0 || H == 0) W = H = 0;
  TIEMask Loaded;
  if (W > 0 && H > 0 && !Loaded.Allocate(W, H, Bpp)) return false;
  if (Loaded.Bits() != nullptr && !In.Bytes(Loaded.Bits(), int64_t(H) * Loaded.RowLength())) return false;

  if (TIEViewPolygon* Polygon = SelectionPolygon()) {
    Polygon->Points = std::move(Points);
    Polygon->Count = P;
    Polygon->BoxX1 = BX1;
    Polygon->BoxY1 = BY1;
    Polygon->BoxX2 = BX2;
    Polygon->BoxY2 = BY2;
  }
  FSelectionExists = Exists;
  FMask->Allocate(W, H, Bpp);
  if (FMask->Bits() != nullptr && Loaded.Bits() != nullptr)
    std::memcpy(FMask->Bits(), Loaded.Bits(), size_t(int64_t(H) * FMask->RowLength()));
  FMask->X1 = MX1;
  FMask->Y1 = MY1;
  FMask->X2 = MX2;
  FMask->Y2 = MY2;
  FMask->SetFull(Full);
  // A box that does not fit the mask is worked out again from the pixels.
  if (!FMask->IsEmpty() && (MX1 < 0 || MY1 < 0 || MX2 >= W || MY2 >= H || MX1 > MX2 || MY1 > MY2))
    FMask->RecalcBoundingBox();

  LockUpdate();
  const int32_t BW = FIEBitmap->GetWidth(), BH = FIEBitmap->GetHeight();
  if (Mode == 2) {
    ClearPolygon();
    // The record's pixels move by the position it was saved at, less the current layer's; those left or
    // above the record's own origin are cut. Both positions may be anything: only the record's pixels are
    // visited, never the canvas between them.
    TIELayer* L = CurrentLayer();
    const int64_t DX = int64_t(X0) - (L != nullptr ? L->PosX : 0);
    const int64_t DY = int64_t(Y0) - (L != nullptr ? L->PosY : 0);
    FMask->Allocate(BW, BH, Bpp);
    if (Loaded.Bits() != nullptr && FMask->Bits() != nullptr) {
      for (int32_t y = 0; y < H; ++y) {
        const int64_t TY = y + DY;
        if (int64_t(y) + Y0 < 0 || TY < 0 || TY >= BH) continue;
        for (int32_t x = 0; x < W; ++x) {
          const int64_t TX = x + DX;
          if (int64_t(x) + X0 < 0 || TX < 0 || TX >= BW) continue;
          if (const int32_t V = Loaded.GetPixel(x, y)) FMask->SetPixel(int32_t(TX), int32_t(TY), V);
        }
      }
    }
    FMask->CheckFull();
    FMask->RecalcBoundingBox();
  } else if (W != BW || H != BH) {
    if (FMask->IsEmpty()) {
      FMask->Allocate(BW, BH, FMaskDepth);
    } else {
      if (Mode == 1) {
        if (BW < FMask->X2) MoveSelection(BW - 1 - FMask->X2, 0);
        if (BH < FMask->Y2) MoveSelection(0, BH - 1 - FMask->Y2);
      }
      FMask->Resize(BW, BH);
      FMask->CheckFull();
      FMask->RecalcBoundingBox();
    }
  }
  if (FMask->IsEmpty())
    Deselect();
  else
    FSelectionExists = true;
  ShowSelection(true);
  UnlockUpdate();
  Update();
  return true;
}

}  // namespace zv
