// The layers file, the layer state record and the selection record: the bytes written, round trips through
// every block encoding, files of older versions, and input that does not fit the stream.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "imaging/core/mask.h"
#include "imaging/formats/formats_startup.h"
#include "imaging/io/format_registry.h"
#include "tests/imaging/mutation.h"
#include "tests/imaging/view/view_fixture.h"

namespace zv {
namespace {

using view_test::ViewTest;
using Bytes = std::vector<uint8_t>;

// The view's libraries with the image formats, whose PNG codec layer blocks may use.
class FormatsEnvironment : public view_test::LibraryEnvironment {
public:
  void SetUp() override {
    RegisterImagingFormatsSteps();
    view_test::LibraryEnvironment::SetUp();
  }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new FormatsEnvironment);

Bytes StreamBytes(TMemoryStream& S) {
  const auto* P = static_cast<const uint8_t*>(S.Memory());
  return Bytes(P, P + S.Size());
}

void LoadBytes(TMemoryStream& S, const Bytes& B) {
  S.Clear();
  if (!B.empty()) S.WriteBuffer(B.data(), int64_t(B.size()));
  S.SetPosition(0);
}

uint32_t U32At(const Bytes& B, size_t At) {
  return uint32_t(B[At]) | uint32_t(B[At + 1]) << 8 | uint32_t(B[At + 2]) << 16 | uint32_t(B[At + 3]) << 24;
}

void PutU32(Bytes& B, size_t At, uint32_t V) {
  for (int k = 0; k < 4; ++k) B[At + size_t(k)] = uint8_t(V >> (8 * k));
}

// Hand-made layers files of any version, one record per call.
struct FileBuilder {
  Bytes B;
  void U8(uint8_t V) { B.push_back(V); }
  void I32(int32_t V) {
    for (int k = 0; k < 4; ++k) B.push_back(uint8_t(uint32_t(V) >> (8 * k)));
  }
  void F64(double D) {
    uint64_t Bits;
    std::memcpy(&Bits, &D, 8);
    I32(int32_t(uint32_t(Bits)));
    I32(int32_t(uint32_t(Bits >> 32)));
  }
  void Header(const char* Magic, int32_t Version, int32_t Encoding, int32_t Count) {
    for (int k = 0; k < 13; ++k) U8(uint8_t(Magic[k]));
    I32(Version);
    I32(Encoding);
    I32(Count);
  }
  // A record with the fields of Version; returns where its offset field is.
  size_t Record(int32_t Version, int32_t PosX, const std::string& Name = "n") {
    U8(1), U8(0), I32(200), I32(PosX), I32(7), U8(0), U8(1), U8(1), F64(3.0), U8(1);
    if (Version >= 3) U8(0);  // magnifier source
    U8(2), I32(0), I32(0);
    if (Version >= 3) {
      U8(uint8_t(rfBicubic)), U8(1);
      I32(int32_t(Name.size()));
      B.insert(B.end(), Name.begin(), Name.end());
      I32(2), U8(9), U8(8);
      U8(1);  // is mask
    }
    if (Version >= 4) U8(0);
    if (Version >= 6) U8(1);
    const size_t At = B.size();
    I32(0), I32(0);
    return At;
  }
  // A raw block of a 3 x 2 24-bit image at the end; its offset goes into the field at OffsetAt.
  void RawBlock(size_t OffsetAt) {
    PutU32(B, OffsetAt, uint32_t(B.size()));
    TIEBitmap Bmp;
    Bmp.Allocate(3, 2, ie24RGB);
    view_test::FillPattern(&Bmp);
    TMemoryStream S;
    Bmp.SaveRawToStream(nullptr, 0, &S);
    I32(int32_t(S.Size()));
    const Bytes R = StreamBytes(S);
    B.insert(B.end(), R.begin(), R.end());
  }
};

class LayersFileTest : public ViewTest {
protected:
  // Two layers: a 40 x 30 pattern below, a 10 x 8 one above with settings of its own.
  void MakeTwoLayers() {
    SetImage(40, 30);
    TIELayer* First = View->GetLayer(0);
    First->Name = "ground";
    View->AddLayer();
    View->IEBitmap()->Allocate(10, 8, ie24RGB);
    for (int32_t y = 0; y < 8; ++y)
      for (int32_t x = 0; x < 10; ++x) View->IEBitmap()->SetRGB(x, y, TIERGB24{uint8_t(x * 20), uint8_t(y * 30), 99});
    TIELayer* L = View->GetLayer(1);
    L->PosX = 12;
    L->PosY = -3;
    L->Transparency = 128;
    L->Name = "top";
    L->ShadeOutside = true;
    L->Selectable = false;
    L->ResampleFilter = rfLanczos3;
    L->MagnifierRate = 2.5;
    L->UserData = std::malloc(3);
    std::memcpy(L->UserData, "abc", 3);
    L->UserDataSize = 3;
    View->Update();
  }
  std::unique_ptr<TImagingView> FreshView() {
    auto V = std::make_unique<TImagingView>(nullptr);
    return V;
  }
};

TEST_F(LayersFileTest, ByteLayoutOfOneRawLayer) {
  SetImage(5, 4);
  TIELayer* L = View->GetLayer(0);
  L->Name = "abcd";
  L->UserData = std::malloc(3);
  std::memcpy(L->UserData, "xyz", 3);
  L->UserDataSize = 3;
  TMemoryStream S;
  View->SaveLayersToStream(&S, -2);
  const Bytes B = StreamBytes(S);
  const size_t N = 4, U = 3;
  ASSERT_GE(B.size(), 82 + N + U + 4);
  EXPECT_EQ(std::string(B.begin(), B.begin() + 13), "IMAGINGLAYERS");
  EXPECT_EQ(U32At(B, 13), 6u);
  EXPECT_EQ(int32_t(U32At(B, 17)), -2);
  EXPECT_EQ(U32At(B, 21), 1u);
  EXPECT_EQ(std::string(B.begin() + 25 + 42, B.begin() + 25 + 42 + 4), "abcd");
  EXPECT_EQ(U32At(B, 25 + 42 + N), 3u);
  const size_t OffsetAt = 25 + 49 + N + U;
  EXPECT_EQ(U32At(B, OffsetAt), 82 + N + U);
  EXPECT_EQ(U32At(B, OffsetAt + 4), 0u);
  const uint32_t S0 = U32At(B, 82 + N + U);
  EXPECT_EQ(int64_t(S0), View->IEBitmap()->RawStreamSize());
  EXPECT_EQ(B.size(), 82 + N + U + 4 + S0);
}

TEST_F(LayersFileTest, RoundTripsThroughEveryEncoding) {
  MakeTwoLayers();
  const struct {
    int32_t Encoding, Stored;
    bool Exact;
  } Cases[] = {{-1, -1, true}, {-2, -2, true}, {int32_t(ftBmp), int32_t(ftBmp), true}, {1, int32_t(ftPng), true}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Encoding);
    TMemoryStream S;
    View->SaveLayersToStream(&S, C.Encoding);
    EXPECT_EQ(View->LayersCurrent(), 1);  // the current layer is given back
    const Bytes B = StreamBytes(S);
    EXPECT_EQ(int32_t(U32At(B, 17)), C.Stored);
    auto Other = FreshView();
    S.SetPosition(0);
    ASSERT_TRUE(Other->LoadLayersFromStream(&S));
    ASSERT_EQ(Other->LayersCount(), 2);
    EXPECT_EQ(Other->LayersCurrent(), 1);
    TIELayer* A = View->GetLayer(1);
    TIELayer* R = Other->GetLayer(1);
    EXPECT_EQ(R->PosX, 12);
    EXPECT_EQ(R->PosY, -3);
    EXPECT_EQ(R->Transparency, 128);
    EXPECT_EQ(R->Name, "top");
    EXPECT_TRUE(R->ShadeOutside);
    EXPECT_FALSE(R->Selectable);
    EXPECT_EQ(R->ResampleFilter, rfLanczos3);
    EXPECT_EQ(R->MagnifierRate, 2.5);
    ASSERT_EQ(R->UserDataSize, 3);
    EXPECT_EQ(std::memcmp(R->UserData, "abc", 3), 0);
    EXPECT_EQ(Other->GetLayer(0)->Name, "ground");
    for (int32_t i = 0; i < 2; ++i) {
      TIEBitmap* X = View->GetLayer(i)->Bitmap;
      TIEBitmap* Y = Other->GetLayer(i)->Bitmap;
      ASSERT_EQ(Y->GetWidth(), X->GetWidth());
      ASSERT_EQ(Y->GetHeight(), X->GetHeight());
      for (int32_t y = 0; y < X->GetHeight(); ++y)
        for (int32_t x = 0; x < X->GetWidth(); ++x) ASSERT_EQ(Y->GetRGB(x, y), X->GetRGB(x, y)) << x << "," << y;
    }
    (void)A;
  }
}

TEST_F(LayersFileTest, OlderVersionsKeepWhatTheyDoNotCarry) {
  struct Case {
    int32_t Version;
    bool NameKept, ShadeKept;
  } Cases[] = {{2, true, true}, {3, false, true}, {5, false, true}, {6, false, false}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Version);
    SetImage(4, 4);
    TIELayer* L = View->GetLayer(0);
    L->Name = "before";
    L->MagnifierSource = 1;
    L->ResampleFilter = rfHermite;
    L->IsMask = false;
    L->ShadeOutside = false;
    FileBuilder F;
    F.Header("IMAGINGLAYERS", C.Version, -2, 1);
    const size_t At = F.Record(C.Version, 21, "after");
    F.RawBlock(At);
    TMemoryStream S;
    LoadBytes(S, F.B);
    ASSERT_TRUE(View->LoadLayersFromStream(&S));
    L = View->GetLayer(0);
    EXPECT_EQ(L->PosX, 21);
    EXPECT_EQ(L->Transparency, 200);
    EXPECT_EQ(L->Name, C.NameKept ? "before" : "after");
    EXPECT_EQ(L->ResampleFilter, C.NameKept ? rfHermite : rfBicubic);
    EXPECT_EQ(L->MagnifierSource, C.NameKept ? 1 : 0);
    EXPECT_EQ(L->IsMask, !C.NameKept);
    EXPECT_EQ(L->ShadeOutside, !C.ShadeKept);
    EXPECT_EQ(View->IEBitmap()->GetWidth(), 3);
    EXPECT_EQ(View->IEBitmap()->GetRGB(2, 1), view_test::PatternPixel(2, 1));
  }
}

TEST_F(LayersFileTest, IsLayersStreamKeepsThePosition) {
  struct Case {
    const char* Magic;
    int32_t Version;
    bool Expect;
  } Cases[] = {{"IMAGINGLAYERS", 6, true}, {"IMAGINGLAYERS", 1, true}, {"IMAGINGLAYERS", 0, false},
               {"imaginglayers", 6, false}, {"IMAGINGLAYERX", 6, false}};
  for (const Case& C : Cases) {
    FileBuilder F;
    F.U8(0xEE);
    F.Header(C.Magic, C.Version, -2, 0);
    TMemoryStream S;
    LoadBytes(S, F.B);
    S.SetPosition(1);
    EXPECT_EQ(IsLayersStream(&S), C.Expect) << C.Magic << " " << C.Version;
    EXPECT_EQ(S.Position(), 1);
  }
  TMemoryStream Short;
  LoadBytes(Short, Bytes{'I', 'M'});
  EXPECT_FALSE(IsLayersStream(&Short));
}

TEST_F(LayersFileTest, CorruptFilesAreRefused) {
  MakeTwoLayers();
  TMemoryStream Good;
  View->SaveLayersToStream(&Good, -2);
  const Bytes B = StreamBytes(Good);
  const size_t Record0 = 25;
  const size_t Name0 = Record0 + 38;   // "ground": 6 bytes
  const size_t Offset0 = Record0 + 49 + 6;
  struct Case {
    const char* What;
    std::function<void(Bytes&)> Change;
    bool HeaderRefused;  // the view and the stream's position stay as they were
    bool Loads = false;  // not damaged after all: read whole
  } Cases[] = {
      {"version 7", [](Bytes& X) { PutU32(X, 13, 7); }, true},
      {"version 0", [](Bytes& X) { PutU32(X, 13, 0); }, true},
      {"encoding 0", [](Bytes& X) { PutU32(X, 17, 0); }, true},
      {"encoding -3", [](Bytes& X) { PutU32(X, 17, uint32_t(-3)); }, true},
      {"magic", [](Bytes& X) { X[0] = 'i'; }, true},
      {"cut in the header", [](Bytes& X) { X.resize(20); }, true},
      {"layer count 2^31", [](Bytes& X) { PutU32(X, 21, 0x80000000u); }, true},
      {"layer count 2^30", [](Bytes& X) { PutU32(X, 21, 0x40000000u); }, true},
      {"name length 2^30", [&](Bytes& X) { PutU32(X, Name0, 0x40000000u); }, false},
      {"negative name length", [&](Bytes& X) { PutU32(X, Name0, 0xFFFFFFFFu); }, false},
      {"user data 2^30", [&](Bytes& X) { PutU32(X, Name0 + 4 + 6, 0x40000000u); }, false},
      {"offset past the end", [&](Bytes& X) { PutU32(X, Offset0, uint32_t(X.size())); }, false},
      {"offset high half", [&](Bytes& X) { PutU32(X, Offset0 + 4, 1); }, false},
      {"block size 10 in a 5-byte rest",
       [](Bytes& X) {
         // The second layer's block is the last one: 5 bytes follow its size field.
         const size_t Last = U32At(X, 25 + 57 + 6 + 49 + 3 + 3);
         X.resize(Last + 4 + 5);
         PutU32(X, Last, 10);
       },
       false},
      {"raw block that is no bitmap", [&](Bytes& X) { X[U32At(X, Offset0) + 4] ^= 0xFF; }, false},
      {"first layer's block an empty image",
       [&](Bytes& X) {
         // The first layer's bitmap holds the view's TBitmap, which must outlive an empty image.
         PutU32(X, Offset0, uint32_t(X.size()));
         TIEBitmap Empty;
         TMemoryStream R;
         Empty.SaveRawToStream(nullptr, 0, &R);
         const Bytes Raw = StreamBytes(R);
         X.resize(X.size() + 4);
         PutU32(X, X.size() - 4, uint32_t(Raw.size()));
         X.insert(X.end(), Raw.begin(), Raw.end());
       },
       false, true},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    View->ResetLayers();
    MakeTwoLayers();
    Bytes Bad = B;
    C.Change(Bad);
    TMemoryStream S;
    LoadBytes(S, Bad);
    S.SetPosition(0);
    const int32_t Width = View->GetLayer(0)->Bitmap->GetWidth();
    const int32_t Count = View->LayersCount();
    EXPECT_EQ(View->LoadLayersFromStream(&S), C.Loads);
    // Whatever was read, the first layer still answers for the view's TBitmap.
    EXPECT_TRUE(View->GetLayer(0)->Bitmap->ExternalTBitmap());
    EXPECT_NE(View->GetLayer(0)->Bitmap->VclBitmap(), nullptr);
    if (C.HeaderRefused) {
      EXPECT_EQ(S.Position(), 0);
      EXPECT_EQ(View->LayersCount(), Count);
      EXPECT_EQ(View->GetLayer(0)->Bitmap->GetWidth(), Width);
    }
    View->ResetLayers();
  }
}

TEST_F(LayersFileTest, MutatedFilesNeverCrash) {
  MakeTwoLayers();
  std::vector<Bytes> Files;
  for (int32_t Encoding : {-1, -2}) {
    TMemoryStream S;
    View->SaveLayersToStream(&S, Encoding);
    Files.push_back(StreamBytes(S));
  }
  const uint8_t ByteEdges[] = {0, 1, 0x7F, 0x80, 0xFF};
  const uint32_t WordEdges[] = {0, 1, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 0x40000000u, 25, 82};
  std::mt19937 Random(36);
  for (int Round = 0; Round < 300; ++Round) {
    const Bytes M = mutation::Mutate(Files[size_t(Round) % Files.size()], Random, ByteEdges, WordEdges);
    auto Other = FreshView();
    TMemoryStream S;
    LoadBytes(S, M);
    try {
      Other->LoadLayersFromStream(&S);
    } catch (const Exception&) {
      // The reader raises nothing of its own; a stream error would still be a caller's to handle.
      ADD_FAILURE() << "round " << Round;
    }
  }
}

TEST_F(LayersFileTest, LayerStateRecord) {
  SetImage(6, 5);
  TIELayer* L = View->GetLayer(0);
  L->Name = "state!";
  L->PosX = -4;
  L->SetRotateAngle(30);
  L->MagnifierRate = 4;
  L->UserData = std::malloc(2);
  L->UserDataSize = 2;
  TMemoryStream S;
  L->SaveToStream(&S, false);
  const Bytes B = StreamBytes(S);
  ASSERT_EQ(B.size(), 123u + 6);
  EXPECT_EQ(U32At(B, 0), 123u + 6);
  EXPECT_EQ(U32At(B, 4 + 16 + 8 + 3 + 12 + 16 + 2 + 24 + 1), 0u);  // no address is stored

  TMemoryStream WithPixels;
  L->SaveToStream(&WithPixels, true);
  const int32_t Other = View->AddLayer();
  TIELayer* O = View->GetLayer(Other);
  WithPixels.SetPosition(0);
  ASSERT_TRUE(O->LoadFromStream(&WithPixels));
  EXPECT_EQ(WithPixels.Position(), WithPixels.Size());
  EXPECT_EQ(O->Name, "state!");
  EXPECT_EQ(O->PosX, -4);
  EXPECT_EQ(O->RotateAngle, 30);
  EXPECT_EQ(O->Guid, L->Guid);
  EXPECT_EQ(O->UserDataSize, 0);
  EXPECT_EQ(O->Bitmap->GetRGB(5, 4), view_test::PatternPixel(5, 4));

  // A record cut short or with a name longer than the rest leaves the layer as it was.
  for (size_t Cut : {size_t(10), size_t(100), B.size() - 1}) {
    TMemoryStream Short;
    LoadBytes(Short, Bytes(B.begin(), B.begin() + int64_t(Cut)));
    EXPECT_FALSE(O->LoadFromStream(&Short)) << Cut;
  }
  Bytes Long = B;
  PutU32(Long, 4 + 16 + 8 + 3 + 12 + 16 + 2 + 24 + 1 + 4 + 2, 0x40000000u);
  TMemoryStream LS;
  LoadBytes(LS, Long);
  O->Name = "kept";
  EXPECT_FALSE(O->LoadFromStream(&LS));
  EXPECT_EQ(O->Name, "kept");
}

TEST_F(LayersFileTest, SelectionRecordRoundTripAndMove) {
  SetImage(200, 200);
  View->SetSelectionBase(iesbBitmap);
  View->SelectRectangle(120, 20, 151, 60, 0);  // the mask's box ends at column 150
  ASSERT_EQ(View->SelectionMask()->X2, 150);
  TMemoryStream S;
  View->SaveSelectionToStream(&S);
  const Bytes B = StreamBytes(S);

  View->Deselect();
  S.SetPosition(0);
  ASSERT_TRUE(View->LoadSelectionFromStream(&S, 0));
  EXPECT_TRUE(View->Selected());
  EXPECT_EQ(View->GetSelectionPointCount(), 4);
  EXPECT_TRUE(View->SelectionMask()->IsPointInside(150, 59));
  EXPECT_FALSE(View->SelectionMask()->IsPointInside(151, 59));

  SetImage(100, 100);
  View->Deselect();
  S.SetPosition(0);
  ASSERT_TRUE(View->LoadSelectionFromStream(&S, 1));
  TIEMask* M = View->SelectionMask();
  EXPECT_EQ(M->Width(), 100);
  EXPECT_EQ(M->X1, 69);  // 51 columns to the left
  EXPECT_EQ(M->X2, 99);
  EXPECT_TRUE(M->IsPointInside(99, 20));
  EXPECT_FALSE(M->IsPointInside(68, 20));

  // Counts and sizes that the stream cannot hold: refused, the selection kept.
  struct Case {
    const char* What;
    size_t At;
    uint32_t Value;
  } Cases[] = {{"2^31 points", 8, 0x80000000u},
               {"2^30 points", 8, 0x40000000u},
               {"65536 x 65536 mask", 0, 65536},
               {"negative width", 0, 0xFFFFFFFFu}};
  for (const Case& C : Cases) {
    Bytes Bad = B;
    PutU32(Bad, C.At, C.Value);
    if (C.At == 0 && C.Value == 65536) PutU32(Bad, 4, 65536);
    TMemoryStream BS;
    LoadBytes(BS, Bad);
    EXPECT_FALSE(View->LoadSelectionFromStream(&BS, 0)) << C.What;
    EXPECT_TRUE(View->SelectionMask()->IsPointInside(99, 20)) << C.What;
  }
  TMemoryStream Cut;
  LoadBytes(Cut, Bytes(B.begin(), B.end() - 1));
  EXPECT_FALSE(View->LoadSelectionFromStream(&Cut, 0));

  // A side of 0 with a vast other side (the rows hold no bytes, so the stream cannot bound it): an empty
  // mask, read at once, whatever box the record gives it.
  for (bool ZeroWidth : {true, false}) {
    FileBuilder R;
    R.I32(ZeroWidth ? 0 : 0x67000000), R.I32(ZeroWidth ? 0x67000000 : 0), R.I32(0);  // no points
    R.I32(0), R.I32(0), R.I32(0), R.I32(0), R.U8(1), R.I32(0), R.I32(0), R.I32(1);  // box, exists, x, y, bits
    R.I32(0x01000000), R.I32(1), R.I32(2), R.I32(-5), R.U8(0);                     // mask box, full
    TMemoryStream TS;
    LoadBytes(TS, R.B);
    EXPECT_TRUE(View->LoadSelectionFromStream(&TS, 0)) << ZeroWidth;
    EXPECT_FALSE(View->Selected()) << ZeroWidth;
  }

  // A point far below or above the mask, in a polygon whose box is wider than the smaller image, so the
  // move leaves the points where they are: the polygon is filled again over the mask's rows only.
  for (uint32_t FarY : {0x0A000001u, 0x7FFFFFFFu, 0x80000000u}) {
    Bytes Far = B;
    PutU32(Far, 12 + 8 * 2 + 4, FarY);
    PutU32(Far, 12 + 8 * 4, 0);  // the box's left edge
    TMemoryStream FS;
    LoadBytes(FS, Far);
    EXPECT_TRUE(View->LoadSelectionFromStream(&FS, 1)) << FarY;
    EXPECT_EQ(View->SelectionMask()->Width(), 100) << FarY;
  }
}


TEST_F(LayersFileTest, SelectionRecordFollowsAChangeOfLayer) {
  SetImage(100, 100);
  View->SetSelectionBase(iesbBitmap);
  View->SelectRectangle(10, 10, 30, 30, 0);
  TMemoryStream S;
  View->SaveSelectionToStream(&S);
  View->AddLayer();
  View->IEBitmap()->Allocate(50, 50, ie24RGB);
  View->GetLayer(1)->PosX = 20;
  View->GetLayer(1)->PosY = 5;
  View->Update();
  S.SetPosition(0);
  ASSERT_TRUE(View->LoadSelectionFromStream(&S, 2));
  TIEMask* M = View->SelectionMask();
  EXPECT_EQ(M->Width(), 50);
  EXPECT_EQ(View->GetSelectionPointCount(), 0);  // only the mask is placed again
  EXPECT_TRUE(M->IsPointInside(0, 5));
  EXPECT_TRUE(M->IsPointInside(9, 24));
  EXPECT_FALSE(M->IsPointInside(10, 5));
  EXPECT_FALSE(M->IsPointInside(0, 25));

  // Positions anywhere in their range: the mask lands by their difference, in time; nothing is made of
  // the canvas between them.
  const Bytes B = StreamBytes(S);
  const size_t X0At = 12 + 8 * 4 + 16 + 1;
  struct Case {
    const char* What;
    uint32_t X0;
    int32_t LayerX;
    bool Lands;  // the record's top left corner at (10, 5)
  } Cases[] = {{"far right of the layer", 0x7FFFFFFFu, 20, false},
               {"far left of its origin", 0x80000000u, 20, false},
               {"both far right, 0 apart", 0x7FFFFFF0u, 0x7FFFFFF0, true},
               {"both far left, 0 apart", 0x80000010u, int32_t(0x80000010u), false}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    Bytes Moved = B;
    PutU32(Moved, X0At, C.X0);
    View->GetLayer(1)->PosX = C.LayerX;
    TMemoryStream MS;
    LoadBytes(MS, Moved);
    ASSERT_TRUE(View->LoadSelectionFromStream(&MS, 2));
    EXPECT_EQ(View->SelectionMask()->Width(), 50);
    EXPECT_EQ(View->SelectionMask()->IsPointInside(10, 5), C.Lands);
    EXPECT_EQ(View->Selected(), C.Lands);
  }
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

TEST_F(LayersFileTest, TheIOComponentFindsLayersFilesAndUndoUsesTheRecords) {
  MakeTwoLayers();
  TMemoryStream S;
  View->SaveLayersToStream(&S, -2);
  S.SetPosition(0);
  EXPECT_EQ(DetectStreamFormat(&S), ftLyr);
  // The processing component's undo reaches the records through its links.
  ASSERT_TRUE(bool(ImagingProcLinks.SaveLayerToStream));
  TMemoryStream Record;
  ImagingProcLinks.SaveLayerToStream(View, 1, &Record, false);
  EXPECT_EQ(Record.Size(), 123 + 3);
  S.SetPosition(0);
  ASSERT_TRUE(ImagingProcLinks.LoadLayersFromStream(View, &S));
  EXPECT_EQ(View->LayersCount(), 2);
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

std::string TempPath(const std::string& Name) {
  std::filesystem::create_directories(ZV_TEST_TMP);
  return std::string(ZV_TEST_TMP) + "/" + Name;
}

void WriteFile(const std::string& Path, const Bytes& B) {
  std::ofstream F(Path, std::ios::binary | std::ios::trunc);
  F.write(reinterpret_cast<const char*>(B.data()), std::streamsize(B.size()));
}

TEST_F(LayersFileTest, LoadFromFileReadsWhatWasSavedAndRefusesDamagedFiles) {
  MakeTwoLayers();
  TMemoryStream Saved;
  View->SaveLayersToStream(&Saved, -1);
  const Bytes B = StreamBytes(Saved);
  const std::string Path = TempPath("two_layers.layers");
  {
    TFileStream F(Path, fmCreate);
    View->SaveLayersToStream(&F, -1);
  }
  auto Other = FreshView();
  ASSERT_TRUE(Other->LoadLayersFromFile(Path));
  ASSERT_EQ(Other->LayersCount(), 2);
  EXPECT_EQ(Other->GetLayer(1)->Name, "top");
  EXPECT_EQ(Other->GetLayer(1)->PosX, 12);
  for (int32_t i = 0; i < 2; ++i) {
    TIEBitmap* X = View->GetLayer(i)->Bitmap;
    TIEBitmap* Y = Other->GetLayer(i)->Bitmap;
    ASSERT_EQ(Y->GetWidth(), X->GetWidth());
    ASSERT_EQ(Y->GetHeight(), X->GetHeight());
    for (int32_t y = 0; y < X->GetHeight(); ++y)
      for (int32_t x = 0; x < X->GetWidth(); ++x) ASSERT_EQ(Y->GetRGB(x, y), X->GetRGB(x, y)) << x << "," << y;
  }

  struct Case {
    const char* What;
    Bytes Data;
    bool HeaderRefused;  // the view keeps its layers
  } Cases[] = {
      {"cut inside the last block", Bytes(B.begin(), B.end() - 10), false},
      {"cut after the records", Bytes(B.begin(), B.begin() + 25 + 57 + 6 + 49 + 3 + 3 + 8), false},
      {"version 7", [&] {
         Bytes X = B;
         PutU32(X, 13, 7);
         return X;
       }(), true},
      {"empty", Bytes{}, true},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    const std::string Bad = TempPath("damaged.layers");
    WriteFile(Bad, C.Data);
    auto Target = FreshView();
    Target->GetIEBitmap()->Allocate(7, 5, ie24RGB);
    Target->Update();
    EXPECT_FALSE(Target->LoadLayersFromFile(Bad));
    if (C.HeaderRefused) {
      EXPECT_EQ(Target->LayersCount(), 1);
      EXPECT_EQ(Target->GetLayer(0)->Bitmap->GetWidth(), 7);
    }
  }
  // A file that cannot be opened raises the stream's error, as the open itself does.
  EXPECT_THROW(FreshView()->LoadLayersFromFile(TempPath("no such file.layers")), EFOpenError);
}

}  // namespace
}  // namespace zv
