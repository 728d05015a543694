// The "IEV" object stream: a header, the shared pictures and a zlib section holding every object record.
// The writer writes the newest version; the reader takes every older one and treats the bytes as
// untrusted: each count is checked against what is left before anything is allocated for it.
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/zlib_streams.h"
#include "imaging/io/imaging_io.h"
#include "imaging/vector/imaging_vect.h"
#include "platform/checked_math.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

constexpr char IevNewest = 'R';
// A record holds at least its box, its kind and the length of its name.
constexpr int64_t IevSmallestRecord = 16 + 1 + 4;
// Groups inside groups beyond this depth are refused.
constexpr int32_t IevMostGroupDepth = 64;

[[noreturn]] void Damaged() { throw EReadError("Stream read error"); }

void PutBytes(std::vector<uint8_t>& Out, const void* Data, size_t Count) {
  const auto* P = static_cast<const uint8_t*>(Data);
  Out.insert(Out.end(), P, P + Count);
}
void PutU8(std::vector<uint8_t>& Out, uint8_t V) { Out.push_back(V); }
void PutI32(std::vector<uint8_t>& Out, int32_t V) {
  for (int i = 0; i < 4; ++i) Out.push_back(uint8_t(uint32_t(V) >> (8 * i)));
}
void PutF64(std::vector<uint8_t>& Out, double V) {
  uint64_t Bits;
  std::memcpy(&Bits, &V, 8);
  for (int i = 0; i < 8; ++i) Out.push_back(uint8_t(Bits >> (8 * i)));
}
void PutText(std::vector<uint8_t>& Out, const std::string* Text) {
  PutI32(Out, Text != nullptr ? int32_t(Text->size()) : 0);
  if (Text != nullptr) PutBytes(Out, Text->data(), Text->size());
}
void PutFont(std::vector<uint8_t>& Out, const std::optional<LOGFONTA>& Font) {
  PutU8(Out, Font ? 1 : 0);
  if (Font) PutBytes(Out, &*Font, sizeof(LOGFONTA));
}

}  // namespace

// Reads the inflated object section; every read past its end fails the load.
class TIEVReader {
public:
  TIEVReader(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size) {}
  int64_t Remaining() const { return int64_t(FSize - FPos); }
  void Need(int64_t Count) {
    if (Count < 0 || Count > Remaining()) Damaged();
  }
  // Count items of Each bytes and Extra bytes more; a negative count fails.
  void NeedItems(int32_t Count, int64_t Each, int64_t Extra = 0) {
    int64_t Total = 0;
    if (!CheckedSize({int64_t(Count), Each}, Total) || !CheckedAdd(Total, Extra, Total)) Damaged();
    Need(Total);
  }
  void Bytes(void* To, int64_t Count) {
    Need(Count);
    std::memcpy(To, FData + FPos, size_t(Count));
    FPos += size_t(Count);
  }
  uint8_t U8() {
    uint8_t V;
    Bytes(&V, 1);
    return V;
  }
  int32_t I32() {
    uint8_t B[4];
    Bytes(B, 4);
    return int32_t(uint32_t(B[0]) | uint32_t(B[1]) << 8 | uint32_t(B[2]) << 16 | uint32_t(B[3]) << 24);
  }
  double F64() {
    uint8_t B[8];
    Bytes(B, 8);
    uint64_t Bits = 0;
    for (int i = 7; i >= 0; --i) Bits = Bits << 8 | B[i];
    double V;
    std::memcpy(&V, &Bits, 8);
    return V;
  }
  // A counted text; a negative length or one past the end fails.
  std::string Text() {
    const int32_t N = I32();
    Need(N);
    std::string S(reinterpret_cast<const char*>(FData + FPos), size_t(N));
    FPos += size_t(N);
    return S;
  }
  std::optional<LOGFONTA> FontAfterFlag() {
    if (U8() != 1) return std::nullopt;
    return Font();
  }
  LOGFONTA Font() {
    LOGFONTA F;
    Bytes(&F, sizeof(F));
    F.lfFaceName[LF_FACESIZE - 1] = 0;
    return F;
  }
  const uint8_t* Here() const { return FData + FPos; }
  void Skip(int64_t Count) {
    Need(Count);
    FPos += size_t(Count);
  }

private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
};

bool IsIevStream(TStream* Stream) {
  uint8_t Head[4] = {};
  const int64_t Got = Stream->Read(Head, 4);
  if (Got > 0) Stream->Seek(-Got, soCurrent);
  return Got == 4 && Head[0] == 'I' && Head[1] == 'E' && Head[2] == 'V' && Head[3] > '0' && Head[3] <= IevNewest;
}

TImagingIO* TImagingVect::StreamIO(TIEBitmap* Bitmap) {
  if (!FStreamIO) FStreamIO.reset(TImagingIO::CreateForBitmap(Bitmap));
  else FStreamIO->SetAttachedBitmap(Bitmap);
  return FStreamIO.get();
}

// ---- Writing -------------------------------------------------------------------------------------------

void TImagingVect::WriteObject(std::vector<uint8_t>& Out, int32_t Hobj) {
  if (Hobj == IEV_ALL || Hobj == IEV_NONE) {
    for (const int32_t H : FOrder) WriteObject(Out, H);
    return;
  }
  if (Hobj < 0) return;
  const TIEVObjectData& R = FObjects[size_t(Hobj)];
  const TIEVObjKind K = R.Kind;
  const bool TextKind = K == vokText || K == vokLabelLine || K == vokExtension;
  PutI32(Out, Hobj);
  PutI32(Out, R.X1);
  PutI32(Out, R.Y1);
  PutI32(Out, R.X2);
  PutI32(Out, R.Y2);
  PutU8(Out, K);
  PutU8(Out, R.KeepRatio);
  PutU8(Out, R.BlendOp);
  PutU8(Out, R.SoftShadow.Enabled);
  PutF64(Out, R.SoftShadow.Radius);
  PutI32(Out, R.SoftShadow.OffsetX);
  PutI32(Out, R.SoftShadow.OffsetY);
  PutI32(Out, R.SoftShadow.Intensity);
  PutU8(Out, R.SoftShadow.ColorB);
  PutU8(Out, R.SoftShadow.ColorG);
  PutU8(Out, R.SoftShadow.ColorR);
  PutText(Out, &R.ObjectName);
  PutI32(Out, R.Ident);
  PutI32(Out, R.PenColor);
  PutU8(Out, R.PenStyle);
  PutI32(Out, R.PenWidth);
  PutI32(Out, R.BrushColor);
  PutU8(Out, R.BrushStyle);
  PutU8(Out, R.Style);
  PutI32(Out, R.Transparency);
  PutU8(Out, R.Highlight);
  PutU8(Out, R.TextQuality);
  const bool OwnsUserData = R.UserDataSize > 0 && R.UserData != nullptr;
  PutI32(Out, OwnsUserData ? R.UserDataSize : 0);
  if (OwnsUserData) PutBytes(Out, R.UserData, size_t(R.UserDataSize));
  if (K == vokNone) PutI32(Out, 0);
  if (K == vokLabelLine) {
    PutI32(Out, R.LabelBrushColor);
    PutU8(Out, R.LabelBrushStyle);
    PutU8(Out, R.LabelPosition);
    PutU8(Out, R.LabelBorder);
  }
  if (K == vokLine || K == vokLabelLine) {
    PutU8(Out, R.LineBegin);
    PutU8(Out, R.LineEnd);
    PutI32(Out, R.ShapeWidth);
    PutI32(Out, R.ShapeHeight);
  }
  if (K == vokArc) {
    PutF64(Out, R.ArcStart);
    PutF64(Out, R.ArcEnd);
  }
  if (K == vokBitmap) {
    PutI32(Out, R.BitmapIdx);
    PutU8(Out, R.BitmapBorder);
    PutText(Out, R.Text ? &*R.Text : nullptr);
  }
  if (TextKind) {
    PutU8(Out, R.TextAlign);
    PutU8(Out, R.AutoSize);
    PutText(Out, R.Text ? &*R.Text : nullptr);
    PutFont(Out, R.LogFont);
    PutI32(Out, int32_t(R.TextPath.size()));
    if (!R.TextPath.empty()) {
      for (const TIEDPoint& P : R.TextPath) {
        PutF64(Out, P.X);
        PutF64(Out, P.Y);
      }
      PutI32(Out, R.TextPathAngle);
    }
  }
  if (K == vokMemo) {
    PutText(Out, R.Text ? &*R.Text : nullptr);
    PutFont(Out, R.LogFont);
    const size_t Length = R.Text ? R.Text->size() : 0;
    PutU8(Out, R.MemoCharFormat ? 1 : 0);
    if (R.MemoCharFormat)
      for (size_t i = 0; i < Length; ++i) PutI32(Out, i < R.MemoCharFormat->size() ? (*R.MemoCharFormat)[i] : 0);
    PutI32(Out, R.MemoFormats ? int32_t(R.MemoFormats->size()) : 0);
    if (R.MemoFormats)
      for (const TIETextFormat& F : *R.MemoFormats) PutBytes(Out, F.Bytes, sizeof(F.Bytes));
    PutU8(Out, R.MemoSingleFormat);
    PutU8(Out, R.AutoSize);
    PutI32(Out, R.MemoLineSpacing);
    PutI32(Out, R.MemoBorderColor);
    PutU8(Out, R.MemoBorderStyle);
    PutU8(Out, R.TextAlign);
    PutI32(Out, R.MemoFixedHeight);
    PutU8(Out, R.MemoHasBitmap);
    if (R.MemoHasBitmap) {
      PutI32(Out, R.BitmapIdx);
      PutU8(Out, R.BitmapBorder);
    }
    PutF64(Out, R.MemoMarginLeft);
    PutF64(Out, R.MemoMarginTop);
    PutF64(Out, R.MemoMarginRight);
    PutF64(Out, R.MemoMarginBottom);
    PutU8(Out, R.MemoTextBrushStyle);
  }
  PutU8(Out, R.TextEditable);
  if (K == vokRuler) {
    PutU8(Out, R.RulerUnit);
    PutU8(Out, R.RulerKind);
    PutFont(Out, R.LogFont);
  }
  if (K == vokPolyline) {
    PutI32(Out, R.PointCount);
    for (int32_t i = 0; i < R.PointCount; ++i) {
      PutI32(Out, R.Points[size_t(i)].X);
      PutI32(Out, R.Points[size_t(i)].Y);
    }
    PutI32(Out, R.PointsBase.Left);
    PutI32(Out, R.PointsBase.Top);
    PutI32(Out, R.PointsBase.Right);
    PutI32(Out, R.PointsBase.Bottom);
    PutU8(Out, R.Closed);
  }
  if (K == vokAngle) {
    for (const TPoint& P : R.AnglePoints) {
      PutI32(Out, P.X);
      PutI32(Out, P.Y);
    }
    PutFont(Out, R.LogFont);
  }
  if (K == vokExtension) {
    PutU8(Out, R.Extension ? 1 : 0);
    if (R.Extension) {
      const std::string Name = R.Extension->ClassName();
      PutText(Out, &Name);
      TMemoryStream Own;
      R.Extension->SaveToStream(&Own);
      PutBytes(Out, Own.Memory(), size_t(Own.Size()));
    }
  }
}

void TImagingVect::SaveObjectsToStream(TStream* Stream) {
  CompactBitmaps();
  const int64_t Start = Stream->Position();
  std::vector<uint8_t> Head;
  PutBytes(Head, "IEV", 3);
  PutU8(Head, uint8_t(IevNewest));
  PutI32(Head, 0);
  PutF64(Head, FScale);
  PutI32(Head, int32_t(FBitmaps.size()));
  Stream->WriteBuffer(Head.data(), int64_t(Head.size()));
  for (size_t i = 0; i < FBitmaps.size(); ++i) {
    const int32_t Count = FBitmaps[i].RefCount - (int32_t(i) == FTemplate.BitmapIdx ? 1 : 0);
    std::vector<uint8_t> C;
    PutI32(C, Count);
    Stream->WriteBuffer(C.data(), 4);
    if (Count > 0) {
      TImagingIO* IO = StreamIO(FBitmaps[i].Bitmap.get());
      IO->SavePngStream(Stream);
      if (IO->AbortFlag != 0) throw EWriteError("Stream write error");
    }
  }
  std::vector<uint8_t> Section;
  PutI32(Section, int32_t(FOrder.size()));
  WriteObject(Section, IEV_ALL);
  {
    TZCompressionStream Z(Stream, zcDefault);
    Z.WriteBuffer(Section.data(), int64_t(Section.size()));
    Z.Finish();
  }
  const int64_t End = Stream->Position();
  std::vector<uint8_t> Length;
  PutI32(Length, int32_t(End - Start));
  Stream->SetPosition(Start + 4);
  Stream->WriteBuffer(Length.data(), 4);
  Stream->SetPosition(End);
}

void TImagingVect::SaveObjectsToFile(const std::string& FileName) {
  TFileStream File(FileName, fmCreate);
  SaveObjectsToStream(&File);
}

// ---- Reading -------------------------------------------------------------------------------------------

int32_t TImagingVect::ReadObject(TIEVReader& In, char V, int32_t Depth) {
  auto From = [V](char First) { return V >= First; };
  // Fields the version does not carry keep the template's values, unless a fixed value is stated.
  TIEVObjectData T;
  static_cast<TIEVObjectFields&>(T) = FTemplate;
  T.UserData = nullptr;
  T.UserDataSize = 0;
  T.BitmapIdx = -1;
  T.PointCount = 0;
  T.PointsBase = TRect();
  T.ScreenPointCount = 0;
  T.KeepRatio = 0;
  T.BlendOp = 0;
  T.SoftShadow = TIEVSoftShadow();
  T.SoftShadow.OffsetX = T.SoftShadow.OffsetY = 2;
  T.Transparency = 255;
  T.Highlight = 0;
  T.TextQuality = 0;
  T.TextEditable = 1;
  T.MemoHasBitmap = 0;
  T.MemoMarginLeft = T.MemoMarginTop = T.MemoMarginRight = T.MemoMarginBottom = 0;
  T.MemoTextBrushStyle = 0;
  T.Closed = 0;
  T.TextPathAngle = -10;
  std::unique_ptr<void, decltype(&std::free)> UserData(nullptr, &std::free);
  int32_t UserDataSize = 0;
  int32_t GroupCount = 0;

  if (From('<')) In.I32();
  T.X1 = In.I32();
  T.Y1 = In.I32();
  T.X2 = In.I32();
  T.Y2 = In.I32();
  const uint8_t KindByte = In.U8();
  if (KindByte > vokExtension) Damaged();
  const TIEVObjKind K = TIEVObjKind(KindByte);
  T.Kind = K;
  const bool TextKind = K == vokText || K == vokLabelLine || K == vokExtension;
  if (From('M')) T.KeepRatio = In.U8();
  if (From('R')) T.BlendOp = In.U8();
  if (From('=')) {
    T.SoftShadow.Enabled = In.U8();
    T.SoftShadow.Radius = In.F64();
    T.SoftShadow.OffsetX = In.I32();
    T.SoftShadow.OffsetY = In.I32();
  }
  if (From('O')) {
    T.SoftShadow.Intensity = In.I32();
    T.SoftShadow.ColorB = In.U8();
    T.SoftShadow.ColorG = In.U8();
    T.SoftShadow.ColorR = In.U8();
  }
  T.ObjectName = In.Text();
  T.Ident = In.I32();
  T.PenColor = In.I32();
  T.PenStyle = In.U8();
  T.PenWidth = In.I32();
  T.BrushColor = In.I32();
  T.BrushStyle = In.U8();
  T.Style = In.U8();
  if (From('=')) T.Transparency = In.I32();
  if (From('@')) T.Highlight = In.U8();
  if (From('Q')) T.TextQuality = std::min(In.U8(), IETextQualityLast);
  if (From('I')) {
    UserDataSize = In.I32();
    if (UserDataSize < 0) Damaged();
    if (UserDataSize > 0) {
      In.Need(UserDataSize);
      UserData.reset(std::malloc(size_t(UserDataSize)));
      if (!UserData) throw std::bad_alloc();
      In.Bytes(UserData.get(), UserDataSize);
    }
  }
  if (K == vokNone) {
    GroupCount = In.I32();
    if (GroupCount < 0 || GroupCount > In.Remaining() / IevSmallestRecord || Depth >= IevMostGroupDepth) Damaged();
  }
  if (K == vokLabelLine) {
    T.LabelBrushColor = In.I32();
    T.LabelBrushStyle = In.U8();
    T.LabelPosition = In.U8();
    if (From('P')) T.LabelBorder = In.U8();
  }
  if (K == vokLine || K == vokLabelLine) {
    T.LineBegin = In.U8();
    T.LineEnd = In.U8();
    T.ShapeWidth = In.I32();
    T.ShapeHeight = In.I32();
  }
  if (K == vokArc) {
    T.ArcStart = In.F64();
    T.ArcEnd = In.F64();
  }
  if (K == vokBitmap) {
    T.BitmapIdx = In.I32();
    if (From('B')) T.BitmapBorder = In.U8();
    if (From('F')) In.Text();
  }
  if (TextKind) {
    if (From('4')) T.TextAlign = In.U8();
    if (From('9')) T.AutoSize = In.U8();
    T.Text = In.Text();
    T.LogFont = In.FontAfterFlag();
    if (From('?')) {
      const int32_t C = In.I32();
      if (C > 0) {
        In.NeedItems(C, 16, 4);
        T.TextPath.resize(size_t(C));
        for (TIEDPoint& P : T.TextPath) {
          P.X = In.F64();
          P.Y = In.F64();
        }
        T.TextPathAngle = In.I32();
      }
    }
  }
  if (K == vokMemo) {
    const int32_t N = In.I32();
    In.Need(N);
    if (N > 0) {
      T.Text = std::string(reinterpret_cast<const char*>(In.Here()), size_t(N));
      In.Skip(N);
    }
    T.LogFont = In.FontAfterFlag();
    const bool HasFormats = From('C') ? In.U8() == 1 : true;
    if (HasFormats) {
      In.NeedItems(N, 4);
      T.MemoCharFormat.emplace(size_t(N) + 1, 0);
      for (int32_t i = 0; i < N; ++i) (*T.MemoCharFormat)[size_t(i)] = In.I32();
    }
    const int32_t F = In.I32();
    In.NeedItems(F, int64_t(sizeof(TIETextFormat)));
    if (F > 0) {
      T.MemoFormats.emplace(size_t(F));
      for (TIETextFormat& Format : *T.MemoFormats) In.Bytes(Format.Bytes, sizeof(Format.Bytes));
    }
    if (T.MemoCharFormat) {
      if (F == 0) {
        T.MemoCharFormat.reset();
      } else {
        for (int32_t i = 0; i < N; ++i)
          if ((*T.MemoCharFormat)[size_t(i)] < 0 || (*T.MemoCharFormat)[size_t(i)] >= F) Damaged();
      }
    }
    T.MemoSingleFormat = In.U8();
    T.AutoSize = In.U8();
    T.MemoLineSpacing = In.I32();
    T.MemoBorderColor = In.I32();
    T.MemoBorderStyle = In.U8();
    T.TextAlign = In.U8();
    T.MemoFixedHeight = In.I32();
    if (From('I')) T.MemoHasBitmap = In.U8();
    if (T.MemoHasBitmap) {
      T.BitmapIdx = In.I32();
      if (From('B')) T.BitmapBorder = In.U8();
    }
    if (From('H')) {
      T.MemoMarginLeft = In.F64();
      T.MemoMarginTop = In.F64();
      T.MemoMarginRight = In.F64();
      T.MemoMarginBottom = In.F64();
    }
    if (From('L')) T.MemoTextBrushStyle = In.U8();
  }
  if (From('J')) T.TextEditable = In.U8();
  if (K == vokRuler) {
    if (From('5')) {
      T.RulerUnit = std::min<uint8_t>(In.U8(), IEUnitsLast);
      T.RulerKind = In.U8();
      T.LogFont = From('A') ? In.FontAfterFlag() : std::optional<LOGFONTA>(In.Font());
    }
  }
  if (K == vokPolyline && From('8')) {
    const int32_t P = In.I32();
    In.NeedItems(P, 8, 16);
    T.Points.resize(size_t(P));
    for (TPoint& Point : T.Points) {
      Point.X = In.I32();
      Point.Y = In.I32();
    }
    T.PointCount = P;
    T.PointsBase.Left = In.I32();
    T.PointsBase.Top = In.I32();
    T.PointsBase.Right = In.I32();
    T.PointsBase.Bottom = In.I32();
  }
  if (K == vokPolyline && From(';')) T.Closed = In.U8();
  if (K == vokAngle) {
    if (From(':'))
      for (TPoint& P : T.AnglePoints) {
        P.X = In.I32();
        P.Y = In.I32();
      }
    if (From('K')) T.LogFont = In.FontAfterFlag();
  }
  if ((K == vokRuler && From('5') && !T.LogFont) || (K == vokAngle && !T.LogFont)) {
    LOGFONTA Font = FTemplate.LogFont.value_or(LOGFONTA());
    Font.lfHeight = K == vokRuler ? 12 : 10;
    std::memset(Font.lfFaceName, 0, sizeof(Font.lfFaceName));
    std::memcpy(Font.lfFaceName, "Arial", 5);
    T.LogFont = Font;
  }
  if (K == vokExtension && From('N') && In.U8() == 1) {
    const std::string Name = In.Text();
    T.Extension = CreateVectExtension(Name);
    if (!T.Extension) Damaged();
    T.Extension->Owner = this;
    T.Extension->Initialise();
    TCustomMemoryStream Own;
    Own.SetPointer(const_cast<uint8_t*>(In.Here()), In.Remaining());
    T.Extension->LoadFromStream(&Own);
    In.Skip(Own.Position());
  }

  if (K == vokNone) {
    for (int32_t i = 0; i < GroupCount; ++i) ReadObject(In, V, Depth + 1);
    return IEV_NONE;
  }
  // A picture the list does not hold is no picture.
  if (T.BitmapIdx < 0 || T.BitmapIdx >= int32_t(FBitmaps.size()) || !FBitmaps[size_t(T.BitmapIdx)].Bitmap)
    T.BitmapIdx = -1;
  const int32_t Hobj = AddObject(T);
  if (UserDataSize > 0) {
    SetObjUserData(Hobj, UserData.release());
    SetObjUserDataSize(Hobj, UserDataSize);
  }
  return Hobj;
}

bool TImagingVect::LoadObjectsFromStream(TStream* Stream) {
  if (!IsIevStream(Stream)) {
    uint8_t Skip[4];
    Stream->Read(Skip, 4);
    return false;
  }
  // The header is checked before anything is touched: a length that runs past the stream or a picture
  // count that cannot fit in it refuses the stream.
  const int64_t Start = Stream->Position();
  uint8_t Head[4];
  Stream->ReadBuffer(Head, 4);
  const char V = char(Head[3]);
  int32_t BlockLength = 0;
  if (Stream->Read(&BlockLength, 4) != 4) return false;
  double NewScale = 1;
  if (V == '1') {
    int32_t S = 0;
    if (Stream->Read(&S, 4) != 4) return false;
    NewScale = S;
  } else if (Stream->Read(&NewScale, 8) != 8) {
    return false;
  }
  int32_t PictureCount = 0;
  if (Stream->Read(&PictureCount, 4) != 4) return false;
  const int64_t AfterHeader = Stream->Position();
  const int64_t StreamSize = Stream->Size();
  if (BlockLength < AfterHeader - Start || Start + int64_t(BlockLength) > StreamSize) return false;
  if (PictureCount < 0 || PictureCount > (StreamSize - AfterHeader) / 4) return false;

  const bool SavedShare = ShareBitmaps;
  ShareBitmaps = true;
  std::unique_ptr<TIEBitmap> KeptTemplate;
  if (TIEBitmap* B = BitmapAt(FTemplate.BitmapIdx)) {
    KeptTemplate = std::make_unique<TIEBitmap>();
    KeptTemplate->Assign(B);
    SetObjBitmap(IEV_TEMPLATE, nullptr);
  }
  const bool SavedAutoUndo = ObjAutoUndo;
  ObjAutoUndo = false;
  ClearObjects();
  ObjAutoUndo = SavedAutoUndo;

  struct Restore {
    TImagingVect* View;
    bool Share;
    std::unique_ptr<TIEBitmap>& Kept;
    ~Restore() {
      View->ShareBitmaps = Share;
      if (Kept) View->SetObjBitmap(IEV_TEMPLATE, Kept.get());
      View->Update();
    }
  } Guard{this, SavedShare, KeptTemplate};

  FScale = NewScale;
  RecomputeUnitSizes();
  FBitmaps.resize(size_t(PictureCount));
  for (TIEVBitmapEntry& Entry : FBitmaps) {
    int32_t Count = 0;
    Stream->ReadBuffer(&Count, 4);
    if (Count <= 0) continue;
    auto Picture = std::make_unique<TIEBitmap>();
    TImagingIO* IO = StreamIO(Picture.get());
    if (V <= '2') IO->LoadBmpStream(Stream);
    else IO->LoadPngStream(Stream);
    if (IO->AbortFlag != 0 || Picture->IsEmpty()) Damaged();
    if (V >= '7' && V <= '<') {
      int32_t AlphaBytes = 0;
      Stream->ReadBuffer(&AlphaBytes, 4);
      if (AlphaBytes <= 0 || AlphaBytes > Stream->Size() - Stream->Position()) Damaged();
      TMemoryStream Packed;
      Packed.CopyFrom(Stream, AlphaBytes);
      Packed.SetPosition(0);
      TZDecompressionStream Z(&Packed);
      TIEBitmap* Alpha = Picture->GetAlphaChannel();
      for (int32_t Row = Alpha->GetHeight() - 1; Row >= 0; --Row) Z.ReadBuffer(Alpha->GetScanline(Row), Alpha->GetRowLen());
    }
    Entry.Bitmap = std::move(Picture);
  }

  // The object section is inflated whole, so that every count can be checked against what it holds; a
  // section that breaks off still gives the objects before the break.
  std::vector<uint8_t> Section;
  std::exception_ptr InflateError;
  try {
    TZDecompressionStream Z(Stream);
    uint8_t Piece[65536];
    for (int64_t Got; (Got = Z.Read(Piece, sizeof(Piece))) > 0;) Section.insert(Section.end(), Piece, Piece + Got);
  } catch (const Exception&) {
    InflateError = std::current_exception();
  }
  TIEVReader In(Section.data(), Section.size());
  const int32_t Count = In.I32();
  if (Count < 0) Damaged();
  for (int32_t i = 0; i < Count; ++i) ReadObject(In, V, 0);
  if (InflateError) std::rethrow_exception(InflateError);
  // The inflater reads ahead; what follows the block starts where its length says.
  Stream->SetPosition(Start + BlockLength);
  return true;
}

bool TImagingVect::LoadObjectsFromFile(const std::string& FileName) {
  if (FileName.empty()) return false;
  TFileStream File(FileName, fmOpenRead | fmShareDenyWrite);
  return LoadObjectsFromStream(&File);
}

}  // namespace zv
