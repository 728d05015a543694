// The object stream: the empty block, a round trip of every kind with every stored field, shared and
// template pictures, the content test, streams of older versions built by hand, groups, user data, and
// damaged streams: the corrupt-input table and a mutation loop over saved and hand-built streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "imaging/io/imaging_io.h"
#include "imaging/proc/bitmap_copy.h"
#include "tests/imaging/mutation.h"
#include "tests/imaging/vector/iev_bytes.h"
#include "tests/imaging/vector/vect_fixture.h"

namespace zv {
namespace {

using iev_bytes::Bytes;
using vect_test::AddKind;
using vect_test::MakePicture;
using vect_test::MakeView;

Bytes Save(TImagingVect& View) {
  TMemoryStream S;
  View.SaveObjectsToStream(&S);
  const auto* P = static_cast<const uint8_t*>(S.Memory());
  return Bytes(P, P + S.Size());
}

bool Load(TImagingVect& View, const Bytes& B) {
  TMemoryStream S;
  S.WriteBuffer(B.data(), int64_t(B.size()));
  S.SetPosition(0);
  return View.LoadObjectsFromStream(&S);
}

int32_t I32At(const Bytes& B, size_t At) {
  int32_t V;
  std::memcpy(&V, B.data() + At, 4);
  return V;
}

// An extension class that stores one number.
class TBadge : public TIEVExtension {
public:
  std::string ClassName() const override { return "TBadge"; }
  void SaveToStream(TStream* S) override { S->WriteBuffer(&Value, 4); }
  void LoadFromStream(TStream* S) override { S->ReadBuffer(&Value, 4); }
  std::unique_ptr<TIEVExtension> Clone() const override {
    auto C = std::make_unique<TBadge>();
    C->Value = Value;
    return C;
  }
  int32_t Value = 0;
};
const bool kBadgeRegistered = (RegisterVectExtension("TBadge", [] { return std::make_unique<TBadge>(); }), true);

LOGFONTA Font(const char* Face, int32_t Height) {
  LOGFONTA F;
  F.lfHeight = Height;
  F.lfWeight = 700;
  F.lfItalic = 1;
  F.lfCharSet = 1;
  std::strncpy(F.lfFaceName, Face, LF_FACESIZE - 1);
  return F;
}

// One object of every kind with every field its kind stores set away from the template's values.
void FillEveryKind(TImagingVect& View, TIEBitmap* Picture, TIEBitmap* Background) {
  for (uint8_t k = vokLine; k <= vokExtension; ++k) {
    const int32_t h = AddKind(View, TIEVObjKind(k), 10 + k, 20 + k, 300 - k, 200 - k);
    TIEVObjectData& R = *View.ObjectRecord(h);
    R.ObjectName = "object " + std::to_string(k);
    R.Ident = 1000 + k;
    R.PenColor = clWindowText;
    R.PenStyle = psDot;
    R.PenWidth = 3;
    R.BrushColor = 0x123456;
    R.BrushStyle = bsCross;
    R.Style = vofSelectable | vofVisible;
    R.Transparency = 200;
    R.Highlight = 1;
    R.TextQuality = 4;
    R.KeepRatio = 1;
    R.BlendOp = 3;
    R.SoftShadow = TIEVSoftShadow{1, 4.5, -3, 6, 77, 1, 2, 3};
    R.TextEditable = 0;
    switch (R.Kind) {
      case vokLabelLine:
        R.LabelBrushColor = clBtnFace;
        R.LabelBrushStyle = 2;
        R.LabelPosition = 0;
        R.LabelBorder = 3;
        [[fallthrough]];
      case vokLine:
        R.LineBegin = 1;
        R.LineEnd = 2;
        R.ShapeWidth = 14;
        R.ShapeHeight = 28;
        if (R.Kind == vokLine) break;
        [[fallthrough]];
      case vokText:
      case vokExtension:
        R.TextAlign = 2;
        R.AutoSize = 1;
        R.Text = "text of " + std::to_string(k);
        R.LogFont = Font("Serif", -15);
        R.TextPath = {{0, 0.5}, {0.25, 0.75}, {1, 0.5}};
        R.TextPathAngle = 45;
        if (R.Kind == vokExtension) {
          auto B = std::make_unique<TBadge>();
          B->Value = 4242;
          R.Extension = std::move(B);
        }
        break;
      case vokArc:
        R.ArcStart = 0.5;
        R.ArcEnd = 2.25;
        break;
      case vokBitmap:
        View.SetObjBitmap(h, Picture);
        View.ObjectRecord(h)->BitmapBorder = 1;
        break;
      case vokMemo:
        R.Text = "memo";
        R.LogFont = Font("Mono", 11);
        R.MemoCharFormat = std::vector<int32_t>{0, 1, 1, 0, 0};
        R.MemoFormats = std::vector<TIETextFormat>(2);
        (*R.MemoFormats)[1].Bytes[0] = 0xAB;
        (*R.MemoFormats)[1].Bytes[279] = 0xCD;
        R.MemoSingleFormat = 0;
        R.AutoSize = 1;
        R.MemoLineSpacing = 4;
        R.MemoBorderColor = clRed;
        R.MemoBorderStyle = psDash;
        R.TextAlign = 3;
        R.MemoFixedHeight = 18;
        R.MemoHasBitmap = 1;
        View.SetObjBitmap(h, Background);
        View.ObjectRecord(h)->BitmapBorder = 1;
        R.MemoMarginLeft = 1.5;
        R.MemoMarginTop = 2.5;
        R.MemoMarginRight = 3.5;
        R.MemoMarginBottom = 4.5;
        R.MemoTextBrushStyle = bsSolid;
        break;
      case vokRuler:
        R.RulerUnit = ieuMILLIMETERS;
        R.RulerKind = 0;
        R.LogFont = Font("Sans", 9);
        break;
      case vokPolyline:
        R.Points = {{1, 2}, {50, 3}, {40, 90}, {0, 0}};
        R.PointCount = 3;
        R.PointsBase = TRect(1, 2, 50, 90);
        R.Closed = 1;
        break;
      case vokAngle:
        R.AnglePoints[0] = {5, 6};
        R.AnglePoints[1] = {70, 80};
        R.AnglePoints[2] = {90, 10};
        R.LogFont = Font("Angle", 13);
        break;
      default: break;
    }
  }
  // Owned user data on the box.
  void* Data = std::malloc(5);
  std::memcpy(Data, "\x01\x02\x03\x04\x05", 5);
  View.SetObjUserData(1, Data);
  View.SetObjUserDataSize(1, 5);
}

void ExpectStoredEqual(const TIEVObjectData& A, const TIEVObjectData& B) {
  EXPECT_EQ(TRect(A.X1, A.Y1, A.X2, A.Y2), TRect(B.X1, B.Y1, B.X2, B.Y2));
  EXPECT_EQ(A.Kind, B.Kind);
  EXPECT_EQ(A.ObjectName, B.ObjectName);
  EXPECT_EQ(A.Ident, B.Ident);
  EXPECT_EQ(A.PenColor, B.PenColor);
  EXPECT_EQ(A.PenStyle, B.PenStyle);
  EXPECT_EQ(A.PenWidth, B.PenWidth);
  EXPECT_EQ(A.BrushColor, B.BrushColor);
  EXPECT_EQ(A.BrushStyle, B.BrushStyle);
  EXPECT_EQ(A.Style, B.Style);
  EXPECT_EQ(A.Transparency, B.Transparency);
  EXPECT_EQ(A.Highlight, B.Highlight);
  EXPECT_EQ(A.TextQuality, B.TextQuality);
  EXPECT_EQ(A.KeepRatio, B.KeepRatio);
  EXPECT_EQ(A.BlendOp, B.BlendOp);
  EXPECT_EQ(A.SoftShadow, B.SoftShadow);
  EXPECT_EQ(A.TextEditable, B.TextEditable);
  EXPECT_EQ(A.UserDataSize, B.UserDataSize);
  if (A.UserDataSize > 0 && B.UserDataSize == A.UserDataSize) {
    EXPECT_EQ(std::memcmp(A.UserData, B.UserData, size_t(A.UserDataSize)), 0);
  }
  EXPECT_EQ(A.LabelBrushColor, B.LabelBrushColor);
  EXPECT_EQ(A.LabelBrushStyle, B.LabelBrushStyle);
  EXPECT_EQ(A.LabelPosition, B.LabelPosition);
  EXPECT_EQ(A.LabelBorder, B.LabelBorder);
  EXPECT_EQ(A.LineBegin, B.LineBegin);
  EXPECT_EQ(A.LineEnd, B.LineEnd);
  EXPECT_EQ(A.ShapeWidth, B.ShapeWidth);
  EXPECT_EQ(A.ShapeHeight, B.ShapeHeight);
  EXPECT_EQ(A.ArcStart, B.ArcStart);
  EXPECT_EQ(A.ArcEnd, B.ArcEnd);
  EXPECT_EQ(A.BitmapIdx, B.BitmapIdx);
  EXPECT_EQ(A.BitmapBorder, B.BitmapBorder);
  EXPECT_EQ(A.TextAlign, B.TextAlign);
  EXPECT_EQ(A.AutoSize, B.AutoSize);
  EXPECT_EQ(A.Text, B.Text);
  ASSERT_EQ(A.LogFont.has_value(), B.LogFont.has_value());
  if (A.LogFont) {
    EXPECT_EQ(std::memcmp(&*A.LogFont, &*B.LogFont, sizeof(LOGFONTA)), 0);
  }
  EXPECT_EQ(A.TextPath, B.TextPath);
  EXPECT_EQ(A.TextPathAngle, B.TextPathAngle);
  EXPECT_EQ(A.MemoCharFormat, B.MemoCharFormat);
  EXPECT_EQ(A.MemoFormats, B.MemoFormats);
  EXPECT_EQ(A.MemoSingleFormat, B.MemoSingleFormat);
  EXPECT_EQ(A.MemoLineSpacing, B.MemoLineSpacing);
  EXPECT_EQ(A.MemoBorderColor, B.MemoBorderColor);
  EXPECT_EQ(A.MemoBorderStyle, B.MemoBorderStyle);
  EXPECT_EQ(A.MemoFixedHeight, B.MemoFixedHeight);
  EXPECT_EQ(A.MemoHasBitmap, B.MemoHasBitmap);
  EXPECT_EQ(A.MemoMarginLeft, B.MemoMarginLeft);
  EXPECT_EQ(A.MemoMarginTop, B.MemoMarginTop);
  EXPECT_EQ(A.MemoMarginRight, B.MemoMarginRight);
  EXPECT_EQ(A.MemoMarginBottom, B.MemoMarginBottom);
  EXPECT_EQ(A.MemoTextBrushStyle, B.MemoTextBrushStyle);
  EXPECT_EQ(A.RulerUnit, B.RulerUnit);
  EXPECT_EQ(A.RulerKind, B.RulerKind);
  EXPECT_EQ(A.PointCount, B.PointCount);
  EXPECT_EQ(std::vector<TPoint>(A.Points.begin(), A.Points.begin() + A.PointCount),
            std::vector<TPoint>(B.Points.begin(), B.Points.begin() + B.PointCount));
  EXPECT_EQ(A.PointsBase, B.PointsBase);
  EXPECT_EQ(A.Closed, B.Closed);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(A.AnglePoints[i], B.AnglePoints[i]);
  ASSERT_EQ(A.Extension != nullptr, B.Extension != nullptr);
  if (A.Extension) {
    EXPECT_EQ(static_cast<TBadge*>(A.Extension.get())->Value, static_cast<TBadge*>(B.Extension.get())->Value);
    EXPECT_EQ(B.Extension->Record(), &B);
  }
}

TEST(VectStream, EmptyViewWritesTheTwentyByteHeaderAndOneFreeEntry) {
  auto View = MakeView(10, 10);
  const Bytes S = Save(*View);
  ASSERT_GE(S.size(), 24u);
  EXPECT_EQ(std::string(S.begin(), S.begin() + 4), "IEVR");
  EXPECT_EQ(I32At(S, 4), int32_t(S.size()));
  double Scale;
  std::memcpy(&Scale, S.data() + 8, 8);
  EXPECT_EQ(Scale, 1.0);
  EXPECT_EQ(I32At(S, 16), 1);
  EXPECT_EQ(I32At(S, 20), 0);
  void* Out = nullptr;
  int32_t OutBytes = 0;
  ZDecompressBuf(S.data() + 24, int32_t(S.size() - 24), Out, OutBytes, 0);
  ASSERT_EQ(OutBytes, 4);
  EXPECT_EQ(std::memcmp(Out, "\0\0\0\0", 4), 0);
  std::free(Out);
}

TEST(VectStream, EveryKindWithEveryFieldRoundTrips) {
  auto A = MakeView();
  const auto Picture = MakePicture(12, 9, 1, true);
  const auto Background = MakePicture(7, 5, 2);
  FillEveryKind(*A, Picture.get(), Background.get());
  A->SetScale(2.5);
  const Bytes First = Save(*A);

  auto B = MakeView();
  ASSERT_TRUE(Load(*B, First));
  ASSERT_EQ(B->ObjectsCount(), A->ObjectsCount());
  EXPECT_EQ(B->Scale(), 2.5);
  for (int32_t i = 0; i < A->ObjectsCount(); ++i) {
    SCOPED_TRACE(int(A->ObjectRecord(i)->Kind));
    ExpectStoredEqual(*A->ObjectRecord(i), *B->ObjectRecord(i));
  }
  const int32_t Pic = B->ObjectRecord(4)->BitmapIdx;
  ASSERT_GE(Pic, 0);
  EXPECT_TRUE(SameBitmap(B->BitmapAt(Pic), Picture.get()));
  EXPECT_TRUE(B->BitmapAt(Pic)->HasAlphaChannel());
  EXPECT_EQ(Save(*B), First);
}

TEST(VectStream, PicturesAreSharedAndTheTemplatesOwnStaysOut) {
  struct Case {
    const char* What;
    int Objects;
    int32_t CountWritten;
  };
  for (const Case C : {Case{"template alone", 0, 0}, Case{"two objects", 2, 2}}) {
    SCOPED_TRACE(C.What);
    auto A = MakeView(10, 10);
    const auto P = MakePicture(6, 6, 5);
    A->SetObjBitmap(IEV_TEMPLATE, P.get());
    for (int i = 0; i < C.Objects; ++i) AddKind(*A, vokBitmap, 0, 0, 5, 5);
    const Bytes S = Save(*A);
    ASSERT_EQ(I32At(S, 16), 1);
    EXPECT_EQ(I32At(S, 20), C.CountWritten);

    auto B = MakeView(10, 10);
    B->ShareBitmaps = false;
    ASSERT_TRUE(Load(*B, S));
    EXPECT_FALSE(B->ShareBitmaps);
    TIEBitmap* TemplatePicture = B->BitmapAt(B->Template().BitmapIdx);
    ASSERT_NE(TemplatePicture, nullptr);
    EXPECT_EQ(TemplatePicture->GetWidth(), 64);
    if (C.Objects > 0) {
      const int32_t Shared = B->ObjectRecord(0)->BitmapIdx;
      EXPECT_EQ(B->ObjectRecord(1)->BitmapIdx, Shared);
      EXPECT_EQ(B->BitmapEntry(Shared).RefCount, 2);
      EXPECT_TRUE(SameBitmap(B->BitmapAt(Shared), P.get()));
    }
  }
}

// A block inside a longer stream: the reader leaves the stream just after it.
TEST(VectStream, LoadingLeavesTheStreamAfterTheBlock) {
  auto A = MakeView(10, 10);
  AddKind(*A, vokBox, 1, 2, 3, 4);
  TMemoryStream S;
  S.WriteBuffer("head", 4);
  A->SaveObjectsToStream(&S);
  const int64_t End = S.Position();
  std::vector<uint8_t> Tail(100000, 7);
  S.WriteBuffer(Tail.data(), int64_t(Tail.size()));
  S.SetPosition(4);
  auto B = MakeView(10, 10);
  ASSERT_TRUE(B->LoadObjectsFromStream(&S));
  EXPECT_EQ(S.Position(), End);
  EXPECT_EQ(B->ObjectsCount(), 1);
}

TEST(VectStream, UserDataWritesItsSizeAndComesBackOwned) {
  for (const int32_t Size : {0, 5}) {
    SCOPED_TRACE(Size);
    auto A = MakeView(10, 10);
    A->SetObjBitmap(IEV_TEMPLATE, nullptr);
    const int32_t h = AddKind(*A, vokLine, 0, 0, 5, 5);
    static char Foreign[8];
    if (Size > 0) {
      void* D = std::malloc(size_t(Size));
      std::memset(D, 0x5A, size_t(Size));
      A->SetObjUserData(h, D);
      A->SetObjUserDataSize(h, Size);
    } else {
      A->SetObjUserData(h, Foreign);
    }
    const Bytes S = Save(*A);
    auto B = MakeView(10, 10);
    ASSERT_TRUE(Load(*B, S));
    const TIEVObjectData* R = B->ObjectRecord(0);
    EXPECT_EQ(R->UserDataSize, Size);
    if (Size > 0) {
      EXPECT_EQ(static_cast<uint8_t*>(R->UserData)[Size - 1], 0x5A);
    } else {
      EXPECT_EQ(R->UserData, nullptr);
    }
  }
}

TEST(VectStream, ContentTestKeepsThePosition) {
  struct Case {
    std::string Bytes;
    bool Iev;
  };
  const Case Cases[] = {{"IEV0xxxx", false}, {"IEV1xxxx", true}, {"IEVRxxxx", true}, {"IEVSxxxx", false},
                        {"IEW1xxxx", false}, {"IEV", false},     {"", false}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Bytes);
    TMemoryStream S;
    S.WriteBuffer("ab", 2);
    S.WriteBuffer(C.Bytes.data(), int64_t(C.Bytes.size()));
    S.SetPosition(2);
    EXPECT_EQ(IsIevStream(&S), C.Iev);
    EXPECT_EQ(S.Position(), 2);
  }
}

TEST(VectStream, TheViewsIOComponentLoadsObjectFilesAndStreams) {
  auto A = MakeView(10, 10);
  AddKind(*A, vokBox, 1, 2, 3, 4);
  AddKind(*A, vokLine, 5, 6, 7, 8);
  const std::string Path = std::string(ZV_TEST_TMP) + "/vect_io_objects.iev";
  A->SaveObjectsToFile(Path);

  auto B = MakeView(10, 10);
  B->IO()->LoadFromFile(Path);
  EXPECT_EQ(B->IO()->AbortFlag, 0);
  EXPECT_EQ(B->ObjectsCount(), 2);

  auto C = MakeView(10, 10);
  const Bytes S = Save(*A);
  TMemoryStream M;
  M.WriteBuffer(S.data(), int64_t(S.size()));
  M.SetPosition(0);
  C->IO()->LoadFromStream(&M);
  EXPECT_EQ(C->IO()->AbortFlag, 0);
  ASSERT_EQ(C->ObjectsCount(), 2);
  EXPECT_EQ(C->ObjectRecord(1)->Kind, vokLine);

  // A plain view has no objects to take them.
  TImagingView Plain(nullptr);
  M.SetPosition(0);
  Plain.IO()->LoadFromStream(&M);
  EXPECT_NE(Plain.IO()->AbortFlag, 0);
  EXPECT_FALSE(C->LoadObjectsFromFile(""));
  std::filesystem::remove(Path);
}

// ---- Older versions ------------------------------------------------------------------------------------

Bytes PngEntry(TIEBitmap* Picture) {
  TMemoryStream S;
  std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(Picture));
  IO->SavePngStream(&S);
  Bytes E;
  iev_bytes::I32(E, 1);
  iev_bytes::Raw(E, S.Memory(), size_t(S.Size()));
  return E;
}

// The alpha block of versions '7' to '<': its length and the deflated rows, last row first.
Bytes AlphaBlock(TIEBitmap* Alpha, size_t CutTo = SIZE_MAX) {
  Bytes Rows;
  for (int32_t y = Alpha->GetHeight() - 1; y >= 0; --y)
    iev_bytes::Raw(Rows, Alpha->GetScanline(y), size_t(Alpha->GetRowLen()));
  Bytes Z = iev_bytes::Deflate(Rows);
  if (Z.size() > CutTo) Z.resize(CutTo);
  Bytes B;
  iev_bytes::I32(B, int32_t(Z.size()));
  iev_bytes::Raw(B, Z.data(), Z.size());
  return B;
}

TEST(VectStream, VersionOneHasAnIntegerScale) {
  Bytes Section;
  iev_bytes::I32(Section, 1);
  iev_bytes::OldRecordHead(Section, 50, 60, 5, 6, vokBox, "old box");
  auto View = MakeView(10, 10);
  ASSERT_TRUE(Load(*View, iev_bytes::Block('1', 3, {}, Section)));
  EXPECT_EQ(View->Scale(), 3.0);
  ASSERT_EQ(View->ObjectsCount(), 1);
  const TIEVObjectData& R = *View->ObjectRecord(0);
  EXPECT_EQ(TRect(R.X1, R.Y1, R.X2, R.Y2), TRect(5, 6, 50, 60));
  EXPECT_EQ(R.ObjectName, "old box");
  EXPECT_EQ(R.PenWidth, 3);
  EXPECT_EQ(R.Transparency, 255);
  EXPECT_EQ(R.SoftShadow.Radius, 3.0);
  EXPECT_EQ(R.SoftShadow.OffsetX, 2);
  EXPECT_EQ(R.SoftShadow.Intensity, 100);
  EXPECT_EQ(R.TextEditable, 1);
}

TEST(VectStream, VersionTwoHasBmpPictures) {
  const auto P = MakePicture(9, 7, 4);
  TMemoryStream Bmp;
  std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(P.get()));
  IO->SaveBmpStream(&Bmp);
  Bytes Entry;
  iev_bytes::I32(Entry, 1);
  iev_bytes::Raw(Entry, Bmp.Memory(), size_t(Bmp.Size()));
  Bytes Section;
  iev_bytes::I32(Section, 1);
  iev_bytes::OldRecordHead(Section, 0, 0, 30, 30, vokBitmap);
  iev_bytes::I32(Section, 0);
  auto View = MakeView(10, 10);
  ASSERT_TRUE(Load(*View, iev_bytes::Block('2', 1, {Entry}, Section)));
  ASSERT_EQ(View->ObjectsCount(), 1);
  const int32_t Idx = View->ObjectRecord(0)->BitmapIdx;
  ASSERT_EQ(Idx, 0);
  EXPECT_TRUE(SameBitmap(View->BitmapAt(Idx), P.get()));
}

// A version ';' stream: a picture with its alpha block, the picture object, a closed polyline, a ruler
// whose unit lies past the table and an angle without a font.
Bytes SemicolonStream(const TIEBitmap* AlphaSource, size_t AlphaCut = SIZE_MAX, int32_t PointCount = 3) {
  auto Picture = MakePicture(100, 100, 6);
  auto WithAlpha = MakePicture(100, 100, 6, true);
  (void)AlphaSource;
  Bytes Entry = PngEntry(Picture.get());
  const Bytes Alpha = AlphaBlock(WithAlpha->GetAlphaChannel(), AlphaCut);
  iev_bytes::Raw(Entry, Alpha.data(), Alpha.size());
  Bytes S;
  iev_bytes::I32(S, 4);
  iev_bytes::OldRecordHead(S, 0, 0, 99, 99, vokBitmap);
  iev_bytes::I32(S, 0);
  iev_bytes::OldRecordHead(S, 0, 0, 40, 40, vokPolyline);
  iev_bytes::I32(S, PointCount);
  for (int i = 0; i < 3; ++i) {
    iev_bytes::I32(S, i * 20);
    iev_bytes::I32(S, 40 - i * 20);
  }
  for (const int32_t V : {0, 0, 40, 40}) iev_bytes::I32(S, V);
  iev_bytes::U8(S, 1);
  iev_bytes::OldRecordHead(S, 1, 2, 3, 4, vokRuler);
  iev_bytes::U8(S, 200);  // RulerUnit
  iev_bytes::U8(S, 1);    // RulerKind
  const LOGFONTA F = Font("Ruler", 20);
  iev_bytes::Raw(S, &F, sizeof(F));
  iev_bytes::OldRecordHead(S, 0, 0, 9, 9, vokAngle);
  for (const int32_t V : {1, 2, 3, 4, 5, 6}) iev_bytes::I32(S, V);
  return iev_bytes::Block(';', 1, {Entry}, S);
}

TEST(VectStream, VersionSemicolonHasAlphaBlocks) {
  auto View = MakeView(10, 10);
  ASSERT_TRUE(Load(*View, SemicolonStream(nullptr)));
  ASSERT_EQ(View->ObjectsCount(), 4);
  TIEBitmap* P = View->BitmapAt(View->ObjectRecord(0)->BitmapIdx);
  ASSERT_NE(P, nullptr);
  ASSERT_TRUE(P->HasAlphaChannel());
  EXPECT_EQ(P->GetAlpha(10, 50), 0);
  EXPECT_EQ(P->GetAlpha(90, 3), 255);
  const TIEVObjectData& Poly = *View->ObjectRecord(1);
  EXPECT_EQ(Poly.PointCount, 3);
  EXPECT_EQ(Poly.Points[2], TPoint(40, 0));
  EXPECT_EQ(Poly.Closed, 1);
  const TIEVObjectData& Ruler = *View->ObjectRecord(2);
  EXPECT_EQ(Ruler.RulerUnit, ieuMILES);
  ASSERT_TRUE(Ruler.LogFont.has_value());
  EXPECT_STREQ(Ruler.LogFont->lfFaceName, "Ruler");
  const TIEVObjectData& Angle = *View->ObjectRecord(3);
  EXPECT_EQ(Angle.AnglePoints[2], TPoint(5, 6));
  ASSERT_TRUE(Angle.LogFont.has_value());
  EXPECT_EQ(Angle.LogFont->lfHeight, 10);
  EXPECT_STREQ(Angle.LogFont->lfFaceName, "Arial");
}

TEST(VectStream, TextQualityAndRulerUnitPastTheirTablesAreClamped) {
  auto A = MakeView(10, 10);
  const int32_t r = AddKind(*A, vokRuler, 0, 0, 9, 9);
  A->ObjectRecord(r)->RulerUnit = 42;
  A->ObjectRecord(r)->TextQuality = 9;
  auto B = MakeView(10, 10);
  ASSERT_TRUE(Load(*B, Save(*A)));
  EXPECT_EQ(B->ObjectRecord(0)->RulerUnit, IEUnitsLast);
  EXPECT_EQ(B->ObjectRecord(0)->TextQuality, IETextQualityLast);
}

// A version ';' section of group headers and boxes.
void GroupHead(Bytes& S, int32_t Members) {
  iev_bytes::OldRecordHead(S, 0, 0, 0, 0, vokNone);
  iev_bytes::I32(S, Members);
}
void Box(Bytes& S, int32_t Ident) {
  iev_bytes::OldRecordHead(S, Ident, 0, Ident + 5, 5, vokBox);
}

TEST(VectStream, GroupsAddTheirMembersOnly) {
  Bytes S;
  iev_bytes::I32(S, 2);
  GroupHead(S, 2);
  Box(S, 1);
  GroupHead(S, 1);
  Box(S, 2);
  Box(S, 3);
  auto View = MakeView(10, 10);
  ASSERT_TRUE(Load(*View, iev_bytes::Block(';', 1, {}, S)));
  ASSERT_EQ(View->ObjectsCount(), 3);
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(View->ObjectRecord(i)->X1, i + 1);
}

// ---- Damaged streams -----------------------------------------------------------------------------------

enum class Outcome { False, Throws, Loads };

struct Corrupt {
  const char* What;
  Bytes Input;
  Outcome Result;
  int32_t ObjectsAfter;  // -1: the view's objects are untouched
};

Bytes Patched(Bytes B, size_t At, int32_t V) {
  std::memcpy(B.data() + At, &V, 4);
  return B;
}

Bytes SectionStream(const Bytes& Section, int32_t Pictures = 0) {
  std::vector<Bytes> Entries;
  for (int32_t i = 0; i < Pictures; ++i) {
    Entries.push_back(PngEntry(MakePicture(4, 4, i).get()));
    const Bytes Alpha = AlphaBlock(MakePicture(4, 4, i, true)->GetAlphaChannel());
    iev_bytes::Raw(Entries.back(), Alpha.data(), Alpha.size());
  }
  return iev_bytes::Block('<' - 1, 1, Entries, Section);
}

std::vector<Corrupt> CorruptTable() {
  auto Source = MakeView(10, 10);
  AddKind(*Source, vokBitmap, 0, 0, 9, 9);
  AddKind(*Source, vokBox, 0, 0, 9, 9);
  const Bytes Good = Save(*Source);
  std::vector<Corrupt> T;
  T.push_back({"version S", [&] { Bytes B = Good; B[3] = 'S'; return B; }(), Outcome::False, -1});
  T.push_back({"length past the end", Patched(Good, 4, int32_t(Good.size()) + 1), Outcome::False, -1});
  T.push_back({"length below the header", Patched(Good, 4, 8), Outcome::False, -1});
  T.push_back({"N = -1", Patched(Good, 16, -1), Outcome::False, -1});
  T.push_back({"N = 2^31", Patched(Good, 16, INT32_MIN), Outcome::False, -1});
  T.push_back({"N past the stream", Patched(Good, 16, 1 << 20), Outcome::False, -1});
  T.push_back({"header cut short", Bytes(Good.begin(), Good.begin() + 10), Outcome::False, -1});
  T.push_back({"PNG entry cut short", [&] { Bytes B(Good.begin(), Good.begin() + 60); return Patched(B, 4, 60); }(),
               Outcome::Throws, 0});
  T.push_back({"alpha block of 10 bytes for 100 x 100", SemicolonStream(nullptr, 10), Outcome::Throws, 0});
  T.push_back({"point count 2^30 in a small section", SemicolonStream(nullptr, SIZE_MAX, 1 << 30), Outcome::Throws, 1});
  T.push_back({"point count -1", SemicolonStream(nullptr, SIZE_MAX, -1), Outcome::Throws, 1});
  {
    Bytes S;
    iev_bytes::I32(S, 1);
    GroupHead(S, INT32_MIN);
    T.push_back({"group of G = 2^31", SectionStream(S), Outcome::Throws, 0});
  }
  {
    Bytes S;
    iev_bytes::I32(S, 1);
    GroupHead(S, 1000000);
    Box(S, 1);
    T.push_back({"group larger than its section", SectionStream(S), Outcome::Throws, 0});
  }
  {
    Bytes S;
    iev_bytes::I32(S, 1);
    for (int i = 0; i < 100000; ++i) GroupHead(S, 1);
    Box(S, 1);
    T.push_back({"groups nested 100,000 deep", SectionStream(S), Outcome::Throws, 0});
  }
  {
    Bytes S;
    iev_bytes::I32(S, 1);
    iev_bytes::OldRecordHead(S, 0, 0, 9, 9, vokBitmap);
    iev_bytes::I32(S, 7);
    T.push_back({"BitmapIdx 7 with 2 pictures", SectionStream(S, 2), Outcome::Loads, 1});
  }
  {
    Bytes S;
    iev_bytes::I32(S, -1);
    Box(S, 1);
    T.push_back({"object count -1", SectionStream(S), Outcome::Throws, 0});
  }
  {
    Bytes S;
    iev_bytes::I32(S, 3);
    Box(S, 1);
    Box(S, 2);
    T.push_back({"three objects announced, two there", SectionStream(S), Outcome::Throws, 2});
  }
  {
    Bytes S;
    iev_bytes::I32(S, 1);
    iev_bytes::OldRecordHead(S, 0, 0, 9, 9, vokText);
    iev_bytes::U8(S, 0);
    iev_bytes::U8(S, 0);
    iev_bytes::I32(S, 1 << 30);  // text length
    T.push_back({"text length past the section", SectionStream(S), Outcome::Throws, 0});
  }
  {
    Bytes S;
    iev_bytes::I32(S, 1);
    iev_bytes::OldRecordHead(S, 0, 0, 9, 9, vokMemo);
    iev_bytes::Text(S, "ab");
    iev_bytes::U8(S, 0);  // no font; the character formats follow without a flag
    iev_bytes::I32(S, 0);
    iev_bytes::I32(S, 1);  // index 1 of one format
    iev_bytes::I32(S, 1);  // one format
    S.resize(S.size() + 280);
    for (int i = 0; i < 2; ++i) iev_bytes::U8(S, 0);
    for (int i = 0; i < 2; ++i) iev_bytes::I32(S, 0);
    for (int i = 0; i < 2; ++i) iev_bytes::U8(S, 0);
    iev_bytes::I32(S, 0);
    T.push_back({"memo character format past the format count", SectionStream(S), Outcome::Throws, 0});
  }
  {
    Bytes B = Good;
    B[B.size() - 8] ^= 0xFF;
    T.push_back({"object section damaged", B, Outcome::Throws, -2});
  }
  return T;
}

TEST(VectStream, CorruptInputTable) {
  for (const Corrupt& C : CorruptTable()) {
    SCOPED_TRACE(C.What);
    auto View = MakeView(10, 10);
    AddKind(*View, vokEllipse, 1, 1, 5, 5);
    bool Result = false;
    switch (C.Result) {
      case Outcome::False:
        EXPECT_FALSE(Load(*View, C.Input));
        break;
      case Outcome::Throws:
        EXPECT_THROW(Load(*View, C.Input), Exception);
        break;
      case Outcome::Loads:
        EXPECT_TRUE(Result = Load(*View, C.Input));
        break;
    }
    if (C.ObjectsAfter == -1) {
      ASSERT_EQ(View->ObjectsCount(), 1);
      EXPECT_EQ(View->ObjectRecord(0)->Kind, vokEllipse);
    } else if (C.ObjectsAfter >= 0) {
      EXPECT_EQ(View->ObjectsCount(), C.ObjectsAfter);
    }
    if (Result) {
      EXPECT_EQ(View->ObjectRecord(0)->BitmapIdx, -1);
    }
    // The template picture is given back whatever happened.
    TIEBitmap* TemplatePicture = View->BitmapAt(View->Template().BitmapIdx);
    ASSERT_NE(TemplatePicture, nullptr);
    EXPECT_EQ(TemplatePicture->GetWidth(), 64);
  }
}

// The streams the mutation loop and the fuzz target start from.
std::vector<Bytes> SeedStreams() {
  std::vector<Bytes> Seeds;
  auto A = MakeView();
  const auto Picture = MakePicture(12, 9, 1, true);
  const auto Background = MakePicture(7, 5, 2);
  FillEveryKind(*A, Picture.get(), Background.get());
  Seeds.push_back(Save(*A));
  Seeds.push_back(SemicolonStream(nullptr));
  Bytes S;
  iev_bytes::I32(S, 2);
  GroupHead(S, 2);
  Box(S, 1);
  Box(S, 2);
  Box(S, 3);
  Seeds.push_back(SectionStream(S, 1));
  return Seeds;
}

// The object section of a stream written by this writer, or empty when it is not one.
Bytes InflatedSection(const Bytes& Stream, size_t& SectionStart) {
  // The last zlib header from which the rest of the stream inflates.
  for (size_t At = Stream.size() - 2; At >= 20 && At < Stream.size(); --At) {
    if (Stream[At] != 0x78 || Stream[At + 1] != 0x9C) continue;
    void* Out = nullptr;
    int32_t OutBytes = 0;
    try {
      ZDecompressBuf(Stream.data() + At, int32_t(Stream.size() - At), Out, OutBytes, 0);
    } catch (const Exception&) {
      continue;
    }
    SectionStart = At;
    Bytes B(static_cast<size_t>(OutBytes));
    std::copy_n(static_cast<const uint8_t*>(Out), B.size(), B.begin());
    std::free(Out);
    return B;
  }
  return {};
}

TEST(VectStream, MutationLoopNeverCrashesOrHangs) {
  const std::vector<Bytes> Seeds = SeedStreams();
  std::mt19937 Random(0x1E5);
  const uint8_t ByteEdges[] = {0, 1, 0x7F, 0x80, 0xFF, '0', 'S', 12};
  const uint32_t WordEdges[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x40000000, 280, 100000};
  auto View = MakeView(10, 10);
  int Loaded = 0;
  for (int Round = 0; Round < 1500; ++Round) {
    const Bytes& Seed = Seeds[size_t(Round) % Seeds.size()];
    Bytes Mutant;
    if (Round % 2 == 0) {
      Mutant = mutation::Mutate(Seed, Random, ByteEdges, WordEdges);
    } else {
      // Damage inside the object section, deflated again so that it reaches the record reader.
      size_t Start = 0;
      const Bytes Section = InflatedSection(Seed, Start);
      if (Section.empty()) continue;
      const Bytes Bad = mutation::Mutate(Section, Random, ByteEdges, WordEdges);
      Mutant.assign(Seed.begin(), Seed.begin() + int64_t(Start));
      const Bytes Z = iev_bytes::Deflate(Bad);
      Mutant.insert(Mutant.end(), Z.begin(), Z.end());
      const int32_t Length = int32_t(Mutant.size());
      std::memcpy(Mutant.data() + 4, &Length, 4);
    }
    try {
      Loaded += Load(*View, Mutant) ? 1 : 0;
    } catch (const Exception&) {
    }
    ASSERT_NE(View->BitmapAt(View->Template().BitmapIdx), nullptr);
  }
  EXPECT_GT(Loaded, 0);
}

// Writes the seeds of the fuzz target when ZV_WRITE_IEV_SEEDS names a folder.
TEST(VectStream, WriteFuzzSeeds) {
  const char* Folder = std::getenv("ZV_WRITE_IEV_SEEDS");
  if (Folder == nullptr) GTEST_SKIP() << "ZV_WRITE_IEV_SEEDS not set";
  int n = 0;
  for (const Bytes& B : SeedStreams()) {
    std::ofstream Out(std::string(Folder) + "/seed" + std::to_string(++n) + ".iev", std::ios::binary);
    Out.write(reinterpret_cast<const char*>(B.data()), std::streamsize(B.size()));
  }
  auto Empty = MakeView(10, 10);
  const Bytes E = Save(*Empty);
  std::ofstream Out(std::string(Folder) + "/empty.iev", std::ios::binary);
  Out.write(reinterpret_cast<const char*>(E.data()), std::streamsize(E.size()));
}

}  // namespace
}  // namespace zv
