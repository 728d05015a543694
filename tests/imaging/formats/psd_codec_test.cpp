// PSD: PackBits rows and the mode table, the writer's bytes, round trips of layered documents, the
// reader's cases on hand-made documents of every mode and depth, damaged documents, and Pillow's view of
// what we write.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/formats/psd_reader.h"
#include "imaging/formats/psd_writer.h"
#include "imaging/core/icc_profile.h"
#include "imaging/core/ie_streams.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/io_globals.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "imaging/view/imaging_view.h"
#include "imaging/view/layers.h"
#include "imaging/view/view_startup.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/jpeg_fixture.h"
#include "tests/imaging/formats/oracle_tools.h"

namespace zv {
namespace {

using formattest::Bytes;
using formattest::BytesOf;
using formattest::LoggedProgress;
using formattest::SamePixels;
using formattest::StreamOf;

class PsdTest : public formattest::FormatsLibraryTest {
protected:
  void SetUp() override {
    RegisterImagingViewStep();
    formattest::FormatsLibraryTest::SetUp();
  }
};

void Be16(Bytes& B, uint32_t v) {
  B.push_back(uint8_t(v >> 8));
  B.push_back(uint8_t(v));
}
void Be32(Bytes& B, uint32_t v) {
  for (int Shift = 24; Shift >= 0; Shift -= 8) B.push_back(uint8_t(v >> Shift));
}
uint32_t GetBe32(const Bytes& B, size_t At) {
  return (uint32_t(B[At]) << 24) | (uint32_t(B[At + 1]) << 16) | (uint32_t(B[At + 2]) << 8) | B[At + 3];
}
uint16_t GetBe16(const Bytes& B, size_t At) { return uint16_t((B[At] << 8) | B[At + 1]); }

void Paint(TIEBitmap& B, int32_t W, int32_t H, int Seed) {
  B.Allocate(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      B.SetRGB(x, y, TIERGB24{uint8_t(x * 20 + Seed), uint8_t(y * 30 + Seed), uint8_t((x / 3) * 60 + Seed * 3)});
}

// A hand-made document: header, colour mode data, resources, layer section and composite as given.
struct PsdDoc {
  uint16_t Channels = 3, Depth = 8, Mode = 3;
  uint32_t Rows = 2, Columns = 2;
  Bytes ModeData;
  Bytes Resources;  // the blocks, without the section length
  Bytes Layers;     // the section, without its length
  Bytes Composite;  // compression and data

  Bytes Build() const {
    Bytes F = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0};
    Be16(F, Channels);
    Be32(F, Rows);
    Be32(F, Columns);
    Be16(F, Depth);
    Be16(F, Mode);
    for (const Bytes* Part : {&ModeData, &Resources, &Layers}) {
      Be32(F, uint32_t(Part->size()));
      F.insert(F.end(), Part->begin(), Part->end());
    }
    F.insert(F.end(), Composite.begin(), Composite.end());
    return F;
  }
};

Bytes Resource(uint16_t Id, const Bytes& Data, const std::string& Name = "") {
  Bytes R = {'8', 'B', 'I', 'M'};
  Be16(R, Id);
  R.push_back(uint8_t(Name.size()));
  R.insert(R.end(), Name.begin(), Name.end());
  if ((Name.size() + 1) % 2 != 0) R.push_back(0);
  Be32(R, uint32_t(Data.size()));
  R.insert(R.end(), Data.begin(), Data.end());
  if (Data.size() % 2 != 0) R.push_back(0);
  return R;
}

// Raw composite data: compression 0 and the planes as given.
Bytes RawPlanes(const std::vector<Bytes>& Planes) {
  Bytes C = {0, 0};
  for (const Bytes& P : Planes) C.insert(C.end(), P.begin(), P.end());
  return C;
}

struct HandLayer {
  int32_t Top = 0, Left = 0, Bottom = 2, Right = 2;
  std::vector<std::pair<int16_t, Bytes>> Channels;  // id and raw rows (compression 0 is added)
  uint8_t Opacity = 255, Clipping = 0, Flags = 0;
  std::string Name = "L";
  Bytes MaskData;  // the mask data block, without its length
};

// A layer section of the records and their raw channel data, with Count as the stored layer count.
Bytes LayerSection(const std::vector<HandLayer>& Layers, int16_t Count) {
  Bytes Info;
  Be16(Info, uint16_t(Count));
  for (const HandLayer& L : Layers) {
    Be32(Info, uint32_t(L.Top));
    Be32(Info, uint32_t(L.Left));
    Be32(Info, uint32_t(L.Bottom));
    Be32(Info, uint32_t(L.Right));
    Be16(Info, uint16_t(L.Channels.size()));
    for (const auto& [Id, Data] : L.Channels) {
      Be16(Info, uint16_t(Id));
      Be32(Info, uint32_t(Data.size() + 2));
    }
    Info.insert(Info.end(), {'8', 'B', 'I', 'M', 'n', 'o', 'r', 'm', L.Opacity, L.Clipping, L.Flags, 0});
    Bytes Extra;
    Be32(Extra, uint32_t(L.MaskData.size()));
    Extra.insert(Extra.end(), L.MaskData.begin(), L.MaskData.end());
    Be32(Extra, 0);
    Extra.push_back(uint8_t(L.Name.size()));
    Extra.insert(Extra.end(), L.Name.begin(), L.Name.end());
    while (Extra.size() % 4 != 0) Extra.push_back(0);
    Be32(Info, uint32_t(Extra.size()));
    Info.insert(Info.end(), Extra.begin(), Extra.end());
  }
  for (const HandLayer& L : Layers)
    for (const auto& [Id, Data] : L.Channels) {
      Info.insert(Info.end(), {0, 0});
      Info.insert(Info.end(), Data.begin(), Data.end());
    }
  Bytes S;
  Be32(S, uint32_t(Info.size()));
  S.insert(S.end(), Info.begin(), Info.end());
  Be32(S, 0);
  return S;
}

Bytes MaskRect(int32_t Top, int32_t Left, int32_t Bottom, int32_t Right) {
  Bytes M;
  for (int32_t v : {Top, Left, Bottom, Right}) Be32(M, uint32_t(v));
  M.insert(M.end(), {0, 0, 0, 0});
  return M;
}

struct ReadOut {
  uint8_t Abort = 0;
  TPsdLayerList Layers;
};

ReadOut ReadPsd(const Bytes& F, TIEBitmap* B, TIOParamsVals& P, bool LoadLayers, bool WithList = true) {
  auto S = StreamOf(F);
  LoggedProgress Progress;
  ReadOut R;
  PsdReadLayers(S.get(), B, P, Progress.Record, LoadLayers, WithList ? &R.Layers : nullptr);
  R.Abort = Progress.Abort;
  return R;
}

Bytes WritePsd(TIEBitmap* B, const std::vector<TIELayer*>& Layers, uint8_t* AbortOut = nullptr,
               TIOParamsVals* Params = nullptr) {
  TIOParamsVals Own(nullptr);
  TIOParamsVals& P = Params != nullptr ? *Params : Own;
  if (P.DpiX() == 0) P.SetDpiX(72);
  if (P.DpiY() == 0) P.SetDpiY(72);
  TMemoryStream S;
  LoggedProgress Progress;
  PsdWriteLayers(&S, P, Progress.Record, B, Layers);
  if (AbortOut != nullptr)
    *AbortOut = Progress.Abort;
  else
    EXPECT_EQ(Progress.Abort, 0);
  return BytesOf(S);
}

std::unique_ptr<TIELayer> MakeLayer(int32_t W, int32_t H, int Seed, int32_t X, int32_t Y, const std::string& Name) {
  auto L = std::make_unique<TIELayer>(nullptr, false, nullptr);
  Paint(*L->Bitmap, W, H, Seed);
  L->PosX = X;
  L->PosY = Y;
  L->Name = Name;
  return L;
}

std::unique_ptr<TIELayer> MakeMask(int32_t W, int32_t H, int32_t X, int32_t Y) {
  auto M = std::make_unique<TIELayer>(nullptr, false, nullptr);
  M->Bitmap->Allocate(W, H, ie8g);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) M->Bitmap->GetScanline(y)[x] = uint8_t(x * 40 + y);
  M->PosX = X;
  M->PosY = Y;
  M->IsMask = true;
  M->Visible = false;
  return M;
}

TEST_F(PsdTest, PackBitsRowsAndTheModeTable) {
  struct Case {
    const char* What;
    Bytes Row, Coded;
  };
  Bytes Literal130(130);
  for (size_t i = 0; i < 130; ++i) Literal130[i] = uint8_t(i);
  Bytes Literal130Coded = {127};
  Literal130Coded.insert(Literal130Coded.end(), Literal130.begin(), Literal130.begin() + 128);
  Literal130Coded.insert(Literal130Coded.end(), {1, 128, 129});
  const Case Cases[] = {
      {"five equal, three different", {7, 7, 7, 7, 7, 1, 2, 3}, {0xFC, 7, 2, 1, 2, 3}},
      {"three equal stay literal", {4, 4, 4, 9}, {3, 4, 4, 4, 9}},
      {"129 equal", Bytes(129, 5), {0x81, 5, 0, 5}},
      {"130 different", Literal130, Literal130Coded},
      {"literals then a run", {1, 2, 6, 6, 6, 6}, {1, 1, 2, 0xFD, 6}},
      {"empty", {}, {}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    Bytes Out;
    PsdPackBitsRow(C.Row.data(), int32_t(C.Row.size()), Out);
    EXPECT_EQ(Out, C.Coded);
  }
  struct Mode {
    TIEPixelFormat Format;
    int32_t Value;
  };
  for (const Mode& M : {Mode{ie1g, 0}, Mode{ie8g, 1}, Mode{ieGray16, 1}, Mode{ie8p, 2}, Mode{ie24RGB, 3},
                        Mode{ieRGB48, 3}, Mode{ieRGBX32, 3}, Mode{ieCMYK, 4}, Mode{ieCIELab, 9}, Mode{ie32f, 1000},
                        Mode{ieNone, 1000}})
    EXPECT_EQ(PsdModeTable(M.Format), M.Value) << int(M.Format);
}

TEST_F(PsdTest, TheWritersBytes) {
  TIEBitmap Composite;
  Paint(Composite, 6, 4, 1);
  auto Layer = MakeLayer(4, 3, 2, 1, 1, "ab");
  Layer->Visible = false;
  Layer->Transparency = 200;
  auto Mask = MakeMask(3, 2, 2, 1);
  std::vector<TIELayer*> List = {Layer.get(), Mask.get()};
  const Bytes F = WritePsd(&Composite, List);
  // Header: 3 channels, 4 rows, 6 columns, depth 8, RGB.
  EXPECT_EQ(Bytes(F.begin(), F.begin() + 26),
            (Bytes{'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 6, 0, 8, 0, 3}));
  size_t At = 26;
  EXPECT_EQ(GetBe32(F, At), 0u);  // no colour mode data
  At += 4;
  const uint32_t Resources = GetBe32(F, At);
  // One resolution block: 8BIM, id 1005, empty name, size 16, 72 dpi in 16.16.
  ASSERT_EQ(Resources, 28u);
  EXPECT_EQ(GetBe16(F, At + 8), 1005);
  EXPECT_EQ(GetBe32(F, At + 16), 72u * 65536);
  At += 4 + Resources;
  At += 4;  // layer section length
  At += 4;  // layer info length
  EXPECT_EQ(GetBe16(F, At), 1);  // the mask layer is not counted
  At += 2;
  EXPECT_EQ((std::vector<uint32_t>{GetBe32(F, At), GetBe32(F, At + 4), GetBe32(F, At + 8), GetBe32(F, At + 12)}),
            (std::vector<uint32_t>{1, 1, 4, 5}));
  At += 16;
  ASSERT_EQ(GetBe16(F, At), 5);
  At += 2;
  std::vector<int16_t> Ids;
  for (int i = 0; i < 5; ++i, At += 6) Ids.push_back(int16_t(GetBe16(F, At)));
  EXPECT_EQ(Ids, (std::vector<int16_t>{-1, 0, 1, 2, -2}));
  EXPECT_EQ(Bytes(F.begin() + At, F.begin() + At + 12), (Bytes{'8', 'B', 'I', 'M', 'n', 'o', 'r', 'm', 200, 0, 2, 0}));
  At += 12;
  // Extra data: the mask's 20 bytes, no blending ranges, the name, filler of 1 to a multiple of 4.
  const uint32_t Extra = GetBe32(F, At);
  EXPECT_EQ(Extra, 4u + 20 + 4 + 3 + 1);
  EXPECT_EQ(GetBe32(F, At + 4), 20u);
  EXPECT_EQ((std::vector<uint32_t>{GetBe32(F, At + 8), GetBe32(F, At + 12), GetBe32(F, At + 16), GetBe32(F, At + 20)}),
            (std::vector<uint32_t>{1, 2, 3, 5}));
  EXPECT_EQ(Bytes(F.begin() + At + 32, F.begin() + At + 36), (Bytes{2, 'a', 'b', 1}));

  // Without the mask: 4 + 4 + 3 = 11 bytes and one filler byte.
  auto Plain = MakeLayer(4, 3, 2, 0, 0, "ab");
  const Bytes G = WritePsd(&Composite, {Plain.get()});
  const size_t Record = 26 + 4 + 4 + 28 + 4 + 4 + 2;
  const size_t ExtraAt = Record + 16 + 2 + 4 * 6 + 12;
  EXPECT_EQ(GetBe32(G, ExtraAt), 12u);
  EXPECT_EQ(G[ExtraAt + 4 + 11], 1);

  // An empty list: the section is a length of 0 and the composite follows at once.
  const Bytes E = WritePsd(&Composite, {});
  EXPECT_EQ(GetBe32(E, 26 + 4 + 4 + 28), 0u);
  EXPECT_EQ(GetBe16(E, 26 + 4 + 4 + 28 + 4), 1);  // PackBits

  // Indexed: the palette as 256 reds, greens, blues and the transparency index 255.
  TIEBitmap Indexed;
  Indexed.Allocate(3, 2, ie8p);
  Indexed.SetPaletteColor(1, TIERGB24{30, 20, 10});
  const Bytes P = WritePsd(&Indexed, {});
  ASSERT_EQ(GetBe32(P, 26), 768u);
  EXPECT_EQ((Bytes{P[30 + 1], P[30 + 257], P[30 + 513]}), (Bytes{10, 20, 30}));
  const size_t Res = 30 + 768 + 4;
  EXPECT_EQ(GetBe16(P, Res + 28 + 4), 1047);
  EXPECT_EQ(GetBe16(P, Res + 28 + 12), 255);

  // Formats a document cannot carry: nothing is written.
  TIEBitmap Float;
  Float.Allocate(2, 2, ie32f);
  uint8_t Abort = 0;
  EXPECT_TRUE(WritePsd(&Float, {}, &Abort).empty());
  EXPECT_EQ(Abort, 1);
}

TEST_F(PsdTest, AShortWriteSetsTheAbortByte) {
  TIEBitmap Composite;
  Paint(Composite, 5, 4, 1);
  uint8_t Buffer[64] = {};
  TIEMemStream Full(Buffer, sizeof Buffer);  // takes no bytes
  TIOParamsVals P(nullptr);
  LoggedProgress Progress;
  PsdWriteLayers(&Full, P, Progress.Record, &Composite, {});
  EXPECT_EQ(Progress.Abort, 1);
}

TEST_F(PsdTest, WriterChangesAndMendsTheLayers) {
  TIEBitmap Composite;
  Paint(Composite, 8, 8, 1);
  // A leading mask layer and a second mask in a row are not written; a name of 300 is cut to 255; a
  // layer whose shown size differs from its bitmap is resampled and keeps the new bitmap.
  auto Lone = MakeMask(2, 2, 0, 0);
  auto Big = MakeLayer(4, 4, 3, 0, 0, std::string(300, 'n'));
  Big->Width = 6;
  Big->Height = 2;
  auto M1 = MakeMask(2, 2, 0, 0);
  auto M2 = MakeMask(2, 2, 0, 0);
  const Bytes F = WritePsd(&Composite, {Lone.get(), Big.get(), M1.get(), M2.get()});
  EXPECT_EQ(Big->Bitmap->GetWidth(), 6);
  EXPECT_EQ(Big->Bitmap->GetHeight(), 2);
  EXPECT_TRUE(Big->Bitmap->HasAlphaChannel());
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  ReadOut R = ReadPsd(F, &B, P, true);
  ASSERT_EQ(R.Abort, 0);
  ASSERT_EQ(R.Layers.size(), 2u);
  EXPECT_EQ(R.Layers[0]->Name, std::string(255, 'n'));
  EXPECT_EQ(R.Layers[0]->Bitmap->GetWidth(), 6);
  EXPECT_TRUE(R.Layers[1]->IsMask);

  // An ieRGBX32 composite: red and blue in their places, three channels.
  TIEBitmap X;
  X.Allocate(2, 1, ieRGBX32);
  uint8_t* Row = X.GetScanline(0);
  const uint8_t Px[8] = {10, 20, 30, 0, 40, 50, 60, 0};  // blue, green, red, unused
  std::copy(Px, Px + 8, Row);
  const Bytes XF = WritePsd(&X, {});
  EXPECT_EQ(GetBe16(XF, 12), 3);
  TIEBitmap XB;
  TIOParamsVals XP(nullptr);
  ASSERT_EQ(ReadPsd(XF, &XB, XP, false).Abort, 0);
  EXPECT_EQ(XB.GetRGB(0, 0), (TIERGB24{10, 20, 30}));
  EXPECT_EQ(XB.GetRGB(1, 0), (TIERGB24{40, 50, 60}));
  EXPECT_FALSE(XB.HasAlphaChannel());
}

TEST_F(PsdTest, LayeredRoundTrips) {
  struct Case {
    const char* What;
    TIEPixelFormat Format;
    bool Native;
  };
  for (const Case& C : {Case{"RGB", ie24RGB, false}, Case{"grey", ie8g, false}, Case{"RGB 16", ieRGB48, true},
                        Case{"grey 16 native", ieGray16, true}, Case{"CMYK", ieCMYK, true}, Case{"Lab", ieCIELab, true}}) {
    SCOPED_TRACE(C.What);
    TIEBitmap Composite;
    Paint(Composite, 9, 7, 5);
    Composite.ConvertToFormat(C.Format);
    auto A = MakeLayer(5, 4, 1, 2, 1, "first");
    auto AM = MakeMask(3, 3, 1, 2);
    auto Bl = MakeLayer(3, 2, 7, -1, 4, "second");
    Bl->Transparency = 100;
    Bl->Visible = false;
    for (int32_t x = 0; x < 3; ++x) Bl->Bitmap->SetAlpha(x, 1, uint8_t(x * 100));
    const Bytes F = WritePsd(&Composite, {A.get(), AM.get(), Bl.get()});
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.NativePixelFormat = C.Native ? 1 : 0;
    // The composite alone, then the layers.
    ASSERT_EQ(ReadPsd(F, &B, P, false).Abort, 0);
    EXPECT_EQ(B.GetPixelFormat(), C.Native ? C.Format : ie24RGB);
    EXPECT_TRUE(SamePixels(B, Composite));
    ReadOut R = ReadPsd(F, &B, P, true);
    ASSERT_EQ(R.Abort, 0);
    ASSERT_EQ(R.Layers.size(), 3u);
    EXPECT_EQ(R.Layers[0]->Name, "first");
    EXPECT_EQ((std::vector<int32_t>{R.Layers[0]->PosX, R.Layers[0]->PosY}), (std::vector<int32_t>{2, 1}));
    EXPECT_TRUE(SamePixels(*R.Layers[0]->Bitmap, *A->Bitmap));
    EXPECT_TRUE(R.Layers[1]->IsMask);
    EXPECT_FALSE(R.Layers[1]->Visible);
    EXPECT_EQ((std::vector<int32_t>{R.Layers[1]->PosX, R.Layers[1]->PosY}), (std::vector<int32_t>{1, 2}));
    EXPECT_TRUE(SamePixels(*R.Layers[1]->Bitmap, *AM->Bitmap));
    EXPECT_EQ(R.Layers[2]->Transparency, 100);
    EXPECT_FALSE(R.Layers[2]->Visible);
    EXPECT_EQ(R.Layers[2]->PosX, -1);
    EXPECT_TRUE(SamePixels(*R.Layers[2]->Bitmap, *Bl->Bitmap));
    ASSERT_TRUE(R.Layers[2]->Bitmap->HasAlphaChannel());
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(R.Layers[2]->Bitmap->GetAlpha(x, 1), uint8_t(x * 100));
  }
  // Indexed: the layers take the document's palette.
  TIEBitmap Indexed;
  Indexed.Allocate(4, 2, ie8p);
  for (int i = 0; i < 4; ++i) Indexed.SetPaletteColor(i, TIERGB24{uint8_t(i * 60), uint8_t(200 - i * 40), 9});
  for (int32_t x = 0; x < 4; ++x) Indexed.GetScanline(0)[x] = Indexed.GetScanline(1)[x] = uint8_t(x);
  auto L = std::make_unique<TIELayer>(nullptr, false, nullptr);
  L->Bitmap->Assign(&Indexed);
  L->Bitmap->ConvertToFormat(ie24RGB);
  const Bytes F = WritePsd(&Indexed, {L.get()});
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  ReadOut R = ReadPsd(F, &B, P, true);
  ASSERT_EQ(R.Abort, 0);
  ASSERT_EQ(R.Layers.size(), 1u);
  TIEBitmap Expected;
  Expected.Assign(&Indexed);
  Expected.ConvertToFormat(ie24RGB);
  EXPECT_TRUE(SamePixels(*R.Layers[0]->Bitmap, Expected));
}

TEST_F(PsdTest, ReaderCasesOnHandMadeDocuments) {
  const Bytes Red = {200, 201, 202, 203}, Green = {10, 11, 12, 13}, Blue = {50, 51, 52, 53};
  HandLayer One;
  One.Channels = {{0, Red}, {1, Green}, {2, Blue}};
  HandLayer Two = One;
  Two.Name = "two";
  Two.Flags = 2;
  Two.Clipping = 1;
  PsdDoc D;
  D.Composite = RawPlanes({Red, Green, Blue});

  struct Case {
    const char* What;
    std::vector<HandLayer> Layers;
    int16_t Count;
    bool LoadLayers;
    size_t Expected;
  };
  HandLayer Empty = One;  // zero-size rectangle, with a mask
  Empty.Bottom = 0;
  Empty.Channels = {{0, {}}, {-2, {1, 2, 3, 4}}};
  Empty.MaskData = MaskRect(0, 0, 2, 2);
  HandLayer Masked = One;
  Masked.Channels.push_back({-2, {9, 8}});
  Masked.MaskData = MaskRect(1, 0, 2, 2);
  const Case Cases[] = {
      {"one layer, loading off", {One}, 1, false, 1},
      {"two layers, loading off", {One, Two}, 2, false, 0},
      {"negative count", {One, Two}, -2, true, 2},
      {"layer and mask", {Masked}, 1, true, 2},
      {"empty layer with its mask dropped", {One, Empty}, 2, true, 1},
      {"empty layer first", {Empty, Masked}, 2, true, 2},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    PsdDoc Doc = D;
    Doc.Layers = LayerSection(C.Layers, C.Count);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    ReadOut R = ReadPsd(Doc.Build(), &B, P, C.LoadLayers);
    ASSERT_EQ(R.Abort, 0);
    ASSERT_EQ(R.Layers.size(), C.Expected);
    if (!R.Layers.empty()) {
      EXPECT_EQ(R.Layers[0]->Bitmap->GetRGB(1, 0), (TIERGB24{51, 11, 201}));
    }
    // The composite is read unless the layers came.
    EXPECT_EQ(B.IsEmpty(), C.LoadLayers && C.Expected > 0);
  }
  // Hidden and clipped; the mask layer after its layer.
  {
    PsdDoc Doc = D;
    Doc.Layers = LayerSection({Two, Masked}, 2);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    ReadOut R = ReadPsd(Doc.Build(), &B, P, true);
    ASSERT_EQ(R.Layers.size(), 3u);
    EXPECT_FALSE(R.Layers[0]->Visible);
    EXPECT_FALSE(R.Layers[0]->ClipToFirstLayer);
    EXPECT_TRUE(R.Layers[1]->Visible);
    EXPECT_TRUE(R.Layers[1]->ClipToFirstLayer);
    EXPECT_TRUE(R.Layers[2]->IsMask);
    EXPECT_EQ(R.Layers[2]->PosY, 1);
    EXPECT_EQ(R.Layers[2]->Bitmap->GetByte(1, 0), 8);
  }
  // Four RGB channels: the fourth is alpha.
  {
    PsdDoc Doc = D;
    Doc.Channels = 4;
    Doc.Composite = RawPlanes({Red, Green, Blue, {0, 255, 7, 255}});
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    ASSERT_EQ(ReadPsd(Doc.Build(), &B, P, false).Abort, 0);
    ASSERT_TRUE(B.HasAlphaChannel());
    EXPECT_EQ(B.GetAlpha(0, 1), 7);
    EXPECT_EQ(B.GetRGB(1, 0), (TIERGB24{51, 11, 201}));
  }
  // Indexed with transparency index 5; a resource name of three characters before it.
  {
    PsdDoc Doc;
    Doc.Channels = 1, Doc.Mode = 2;
    Doc.ModeData = Bytes(768, 0);
    Doc.ModeData[5] = 250;
    Doc.Resources = Resource(1005, {0, 0x96, 0, 0, 0, 1, 0, 1, 0, 0x4B, 0, 0, 0, 1, 0, 1}, "abc");
    const Bytes Index = Resource(1047, {0, 5});
    Doc.Resources.insert(Doc.Resources.end(), Index.begin(), Index.end());
    Doc.Composite = RawPlanes({{5, 1, 5, 2}});
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.NativePixelFormat = 1;
    ASSERT_EQ(ReadPsd(Doc.Build(), &B, P, false).Abort, 0);
    EXPECT_EQ(P.DpiX(), 150);
    EXPECT_EQ(P.DpiY(), 75);
    ASSERT_EQ(B.GetPixelFormat(), ie8p);
    EXPECT_EQ(B.GetPixelAsRGB(0, 0).r, 250);
    EXPECT_EQ((std::vector<int>{B.GetAlpha(0, 0), B.GetAlpha(1, 0), B.GetAlpha(0, 1), B.GetAlpha(1, 1)}),
              (std::vector<int>{0, 255, 0, 255}));
  }
  // The thumbnail alone, when asked for.
  {
    TIEBitmap Thumb;
    Paint(Thumb, 16, 8, 3);
    TMemoryStream J;
    TIOParamsVals JP(nullptr);
    LoggedProgress JProgress;
    JpegWriteImage(&J, &Thumb, JP, JProgress.Record);
    Bytes Data(28, 0);
    const Bytes Jpeg = BytesOf(J);
    Data.insert(Data.end(), Jpeg.begin(), Jpeg.end());
    PsdDoc Doc = D;
    Doc.Resources = Resource(1036, Data);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.SetLoadThumbnail(1);
    ASSERT_EQ(ReadPsd(Doc.Build(), &B, P, false).Abort, 0);
    EXPECT_EQ(B.GetWidth(), 16);
    ASSERT_NE(P.ExifThumbnail(), nullptr);
    EXPECT_EQ(P.ExifThumbnail()->GetHeight(), 8);
  }
}

TEST_F(PsdTest, EmbeddedProfileAppliedWhenTheLibraryAppliesProfiles) {
  const Bytes Profile = oracle::ReadFile("/usr/share/color/icc/ghostscript/a98.icc");
  if (Profile.empty()) GTEST_SKIP() << "no wide-gamut profile to embed";
  PsdDoc Doc;
  Doc.Rows = 1;
  Doc.Resources = Resource(1039, Profile);
  Doc.Composite = RawPlanes({{40, 40}, {160, 160}, {60, 60}});
  const bool Saved = ApplyEmbeddedProfiles;
  for (bool Apply : {false, true}) {
    SCOPED_TRACE(Apply);
    ApplyEmbeddedProfiles = Apply;
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    ASSERT_EQ(ReadPsd(Doc.Build(), &B, P, false).Abort, 0);
    ASSERT_NE(P.InputIcc(), nullptr);
    EXPECT_GT(P.InputIcc()->ProfileSize(), 0);
    const TIERGB24 c = B.GetRGB(0, 0);
    // A green of the wider space is a more saturated green in sRGB: less red, more green.
    if (Apply) {
      EXPECT_TRUE(P.InputIcc()->Applied);
      EXPECT_LT(c.r, 40);
      EXPECT_GT(c.g, 160);
    } else {
      EXPECT_EQ(c, (TIERGB24{60, 160, 40}));
    }
  }
  ApplyEmbeddedProfiles = Saved;
}

TEST_F(PsdTest, EveryModeAndDepth) {
  // 2 x 1 documents, raw planes, and the RGB the reader makes of them.
  struct Case {
    const char* What;
    uint16_t Channels, Depth, Mode;
    std::vector<Bytes> Planes;
    TIEPixelFormat Native;
    TIERGB24 First;  // pixel 0 as RGB (blue, green, red)
  };
  const Case Cases[] = {
      {"bitmap", 1, 1, 0, {{0x40}}, ie1g, {255, 255, 255}},
      {"grey", 1, 8, 1, {{90, 3}}, ie8g, {90, 90, 90}},
      {"multichannel", 3, 8, 7, {{90, 3}, {1, 1}, {2, 2}}, ie8g, {90, 90, 90}},
      {"duotone", 1, 8, 8, {{90, 3}}, ie8g, {90, 90, 90}},
      {"RGB", 3, 8, 3, {{30, 0}, {20, 0}, {10, 0}}, ie24RGB, {10, 20, 30}},
      {"CMYK white", 4, 8, 4, {{255, 0}, {255, 0}, {255, 0}, {255, 0}}, ieCMYK, {255, 255, 255}},
      {"Lab mid grey", 3, 8, 9, {{128, 0}, {128, 0}, {128, 0}}, ieCIELab, {0, 0, 0}},
      {"grey 16", 1, 16, 1, {{0x12, 0x34, 0, 0}}, ieGray16, {0x12, 0x12, 0x12}},
      {"duotone 16", 1, 16, 8, {{0x12, 0x34, 0, 0}}, ieGray16, {0x12, 0x12, 0x12}},
      {"RGB 16", 3, 16, 3, {{0xA0, 1, 0, 0}, {0xB0, 2, 0, 0}, {0xC0, 3, 0, 0}}, ieRGB48, {0xC0, 0xB0, 0xA0}},
      {"CMYK 16 white", 4, 16, 4, {{255, 1, 0, 0}, {255, 1, 0, 0}, {255, 1, 0, 0}, {255, 1, 0, 0}}, ieCMYK,
       {255, 255, 255}},
      {"Lab 16 mid grey", 3, 16, 9, {{128, 1, 0, 0}, {128, 1, 0, 0}, {128, 1, 0, 0}}, ieCIELab, {0, 0, 0}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    PsdDoc Doc;
    Doc.Channels = C.Channels, Doc.Depth = C.Depth, Doc.Mode = C.Mode, Doc.Rows = 1;
    Doc.Composite = RawPlanes(C.Planes);
    for (bool Native : {true, false}) {
      TIEBitmap B;
      TIOParamsVals P(nullptr);
      P.NativePixelFormat = Native ? 1 : 0;
      ASSERT_EQ(ReadPsd(Doc.Build(), &B, P, false).Abort, 0);
      EXPECT_EQ(B.GetPixelFormat(), Native || C.Native == ie1g ? C.Native : ie24RGB);
      const TIERGB24 Got = B.GetPixelAsRGB(0, 0);
      if (std::string(C.What).find("Lab") != std::string::npos) {
        // L 128 is a grey of about half: the three samples equal.
        EXPECT_NEAR(Got.r, Got.g, 2);
        EXPECT_NEAR(Got.g, Got.b, 2);
        EXPECT_NEAR(Got.g, 119, 12);
      } else {
        EXPECT_NEAR(Got.r, C.First.r, 3);
        EXPECT_NEAR(Got.g, C.First.g, 3);
        EXPECT_NEAR(Got.b, C.First.b, 3);
      }
    }
  }
}

TEST_F(PsdTest, DamagedDocumentsAbortWithoutReadingOutside) {
  const Bytes Plane = {1, 2, 3, 4};
  PsdDoc Good;
  Good.Composite = RawPlanes({Plane, Plane, Plane});
  HandLayer One;
  One.Channels = {{0, Plane}, {1, Plane}, {2, Plane}};
  struct Case {
    const char* What;
    Bytes File;
    bool Aborts;
  };
  std::vector<Case> Cases;
  {
    HandLayer Huge = One;
    Huge.Bottom = 30000, Huge.Right = 30000;
    PsdDoc D = Good;
    D.Layers = LayerSection({Huge}, 1);
    Cases.push_back({"layer 30000 x 30000 in a small file", D.Build(), true});
  }
  {
    PsdDoc D = Good;
    D.Layers = LayerSection({One}, -32768);
    Cases.push_back({"-32768 layers", D.Build(), true});
  }
  {
    HandLayer Many = One;
    for (int i = 3; i < 56; ++i) Many.Channels.push_back({int16_t(i), Plane});
    PsdDoc D = Good;
    D.Layers = LayerSection({Many}, 1);
    Bytes F = D.Build();
    F.resize(26 + 4 + 4 + 4 + 4 + 2 + 18 + 6 * 20);  // the channel table cut
    Cases.push_back({"56 channels cut short", F, true});
  }
  {
    PsdDoc D = Good;
    D.Resources = Resource(1005, {0, 0x96, 0, 0});
    Cases.push_back({"1005 of 4 bytes", D.Build(), false});
    Bytes R = Resource(1047, {0, 1});
    R[11] = 0x40;  // size far past the section
    D.Resources = R;
    Cases.push_back({"resource size past the section", D.Build(), false});
  }
  {
    PsdDoc D = Good;
    D.Composite = {0, 1};
    for (int i = 0; i < 6; ++i) Be16(D.Composite, 200);
    D.Composite.insert(D.Composite.end(), {0xFE, 7, 2, 1, 2});
    Cases.push_back({"PackBits row counts past the data", D.Build(), true});
  }
  {
    PsdDoc D;
    D.Channels = 1, D.Mode = 2;
    D.Composite = RawPlanes({Plane});
    Cases.push_back({"indexed without mode data", D.Build(), true});
    D.Mode = 1, D.Depth = 7;
    Cases.push_back({"depth 7", D.Build(), true});
    D.Mode = 5, D.Depth = 16;
    Cases.push_back({"mode 5 at 16 bits", D.Build(), true});
    D.Mode = 7, D.Depth = 16;
    Cases.push_back({"multichannel at 16 bits", D.Build(), true});
  }
  {
    PsdDoc D = Good;
    D.Composite = {0, 2, 1, 2, 3};
    Cases.push_back({"composite of ZIP data", D.Build(), true});
  }
  {
    HandLayer Zip = One;  // a layer channel of ZIP data is passed over by its length
    PsdDoc D = Good;
    D.Layers = LayerSection({Zip}, 1);
    Bytes F = D.Build();
    Cases.push_back({"layers of raw data", F, false});
  }
  {
    HandLayer OddMask = One;  // mask data of 12 bytes: skipped
    OddMask.MaskData = Bytes(12, 0);
    PsdDoc D = Good;
    D.Layers = LayerSection({OddMask}, 1);
    Cases.push_back({"mask data of 12 bytes", D.Build(), false});
  }
  {
    PsdDoc D = Good;  // PackBits rows that would expand far past a row of 2 bytes
    D.Composite = {0, 1};
    for (int i = 0; i < 6; ++i) Be16(D.Composite, 4);
    for (int i = 0; i < 6; ++i) D.Composite.insert(D.Composite.end(), {0x81, 9, 0x7F, 1});
    Cases.push_back({"PackBits rows past the row", D.Build(), false});
  }
  {
    PsdDoc D;  // 1047 of one byte: no transparency index
    D.Channels = 1, D.Mode = 2, D.ModeData = Bytes(768, 0);
    D.Resources = Resource(1047, {5});
    D.Composite = RawPlanes({{5, 5, 5, 5}});
    Cases.push_back({"1047 of 1 byte", D.Build(), false});
  }
  for (size_t Cut : {10u, 26u, 29u, 40u, 50u}) {
    Bytes F = Good.Build();
    F.resize(std::min(F.size(), Cut));
    Cases.push_back({"cut", F, true});
  }
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    ReadOut R = ReadPsd(C.File, &B, P, true);
    EXPECT_EQ(R.Abort != 0, C.Aborts);
    if (std::string(C.What) == "1005 of 4 bytes") {
      EXPECT_EQ(P.DpiX(), 96);
    }
    if (std::string(C.What) == "PackBits rows past the row") {
      EXPECT_EQ(B.GetRGB(1, 1), (TIERGB24{9, 9, 9}));
    }
    if (std::string(C.What) == "1047 of 1 byte") {
      EXPECT_FALSE(B.HasAlphaChannel());
    }
  }
  // A layer channel of an unknown compression is passed over by its stored length; the rest reads.
  {
    PsdDoc D = Good;
    D.Layers = LayerSection({One}, 1);
    Bytes F = D.Build();
    // The first channel's compression field follows the record: find it by its data.
    const size_t Info = 26 + 4 + 4 + 4 + 4 + 2;
    const size_t Extra = Info + 16 + 2 + 18 + 12;
    const size_t Data = Extra + 4 + GetBe32(F, Extra);
    ASSERT_EQ(GetBe16(F, Data), 0);
    F[Data + 1] = 3;
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    ReadOut R = ReadPsd(F, &B, P, true);
    EXPECT_EQ(R.Abort, 0);
    ASSERT_EQ(R.Layers.size(), 1u);
    EXPECT_EQ(R.Layers[0]->Bitmap->GetRGB(0, 0).g, 1);
  }
}

TEST_F(PsdTest, PillowReadsOurCompositeAndLayers) {
  const std::string Python = oracle::PythonWithPillow();
  if (Python.empty()) GTEST_SKIP() << "Pillow is not installed";
  TIEBitmap Composite;
  Paint(Composite, 200, 30, 2);
  // Layers of one colour a row, so that every coded channel ends on an even offset: Pillow skips a byte
  // after a channel that ends on an odd one.
  const auto RowColoured = [](int32_t W, int32_t H, int Seed, int32_t X, int32_t Y, const std::string& Name) {
    auto L = MakeLayer(W, H, Seed, X, Y, Name);
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) L->Bitmap->SetRGB(x, y, TIERGB24{uint8_t(Seed + y), uint8_t(y * 40), uint8_t(200 - y)});
    return L;
  };
  auto A = RowColoured(20, 10, 4, 3, 5, "one");
  auto Bl = RowColoured(150, 3, 9, 10, 20, "two");
  for (int32_t x = 0; x < 150; ++x) Bl->Bitmap->SetAlpha(x, 1, uint8_t(x));
  const Bytes F = WritePsd(&Composite, {A.get(), Bl.get()});
  const std::string Path = oracle::TempPath("psd_ours.psd");
  oracle::WriteFile(Path, F);
  // Pillow: the composite, then each layer's name, box and RGBA bytes. Pillow 9 counts a layer's tile
  // offsets from the start of the layer info, not of the file, and names the channels red, green, blue,
  // transparency whatever their ids: the script moves the tiles by that start and names them in the
  // order of our ids (transparency first). A layer is read from a fresh open, after a seek elsewhere,
  // since Pillow keeps what it loaded first.
  const std::string Out = oracle::TempPath("psd_ours.bin");
  const std::string Script =
      "from PIL import Image\n"
      "import struct\n"
      "p = '" + Path + "'\n"
      "d = open(p, 'rb').read()\n"
      "at = 26\n"
      "at += 4 + struct.unpack('>I', d[at:at + 4])[0]\n"
      "at += 4 + struct.unpack('>I', d[at:at + 4])[0]\n"
      "base = at + 8\n"
      "out = open('" + Out + "', 'wb')\n"
      "out.write(Image.open(p).convert('RGBA').tobytes())\n"
      "n = len(Image.open(p).layers)\n"
      "for i in range(1, n + 1):\n"
      "    im = Image.open(p)\n"
      "    im.seek(2 if i == 1 else 1)\n"
      "    im.seek(i)\n"
      "    im.tile = [(t[0], t[1], t[2] + base, c) for t, c in zip(im.tile, 'ARGB')]\n"
      "    name, mode, box = im.layers[i - 1][:3]\n"
      "    out.write(bytes(name + '|' + mode + '|' + str(box) + '|', 'ascii'))\n"
      "    out.write(im.convert('RGBA').crop(box).tobytes())\n";
  const std::string ScriptPath = oracle::TempPath("psd_read.py");
  oracle::WriteFile(ScriptPath, Bytes(Script.begin(), Script.end()));
  const auto Run = oracle::Run(Python + " " + ScriptPath);
  ASSERT_EQ(Run.Status, 0) << Run.Output;
  const Bytes Got = oracle::ReadFile(Out);
  size_t At = 0;
  ASSERT_GE(Got.size(), size_t(200) * 30 * 4);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 200; ++x, At += 4) {
      const TIERGB24 c = Composite.GetRGB(x, y);
      ASSERT_EQ((Bytes{Got[At], Got[At + 1], Got[At + 2], Got[At + 3]}), (Bytes{c.r, c.g, c.b, 255})) << x << "," << y;
    }
  for (TIELayer* L : {A.get(), Bl.get()}) {
    SCOPED_TRACE(L->Name);
    TIEBitmap& B = *L->Bitmap;
    const std::string Box = L->Name + "|RGBA|(" + std::to_string(L->PosX) + ", " + std::to_string(L->PosY) + ", " +
                            std::to_string(L->PosX + B.GetWidth()) + ", " + std::to_string(L->PosY + B.GetHeight()) +
                            ")|";
    ASSERT_LE(At + Box.size(), Got.size());
    EXPECT_EQ(std::string(Got.begin() + std::ptrdiff_t(At), Got.begin() + std::ptrdiff_t(At + Box.size())), Box);
    At += Box.size();
    ASSERT_LE(At + size_t(B.GetWidth()) * B.GetHeight() * 4, Got.size());
    for (int32_t y = 0; y < B.GetHeight(); ++y)
      for (int32_t x = 0; x < B.GetWidth(); ++x, At += 4) {
        const TIERGB24 c = B.GetRGB(x, y);
        ASSERT_EQ((Bytes{Got[At], Got[At + 1], Got[At + 2], Got[At + 3]}), (Bytes{c.r, c.g, c.b, B.GetAlpha(x, y)}))
            << x << "," << y;
      }
  }
  EXPECT_EQ(At, Got.size());
}

TEST_F(PsdTest, LayersIntoTheAttachedView) {
  TIEBitmap Composite;
  Paint(Composite, 12, 8, 1);
  auto Base = MakeLayer(12, 8, 2, 0, 0, "base");
  auto Top = MakeLayer(4, 3, 3, 5, 2, "top");
  auto Mask = MakeMask(2, 2, 6, 3);
  const Bytes AtOrigin = WritePsd(&Composite, {Base.get(), Top.get(), Mask.get()});
  auto Moved = MakeLayer(4, 3, 3, 2, 1, "moved");
  const Bytes Away = WritePsd(&Composite, {Moved.get()});
  TImagingView View(nullptr);
  View.GetIEBitmap()->Allocate(3, 3, ie24RGB);
  TIOParamsVals& P = *View.IO()->IOParams();
  P.PsdLoadLayers = 1;
  struct Step {
    const char* What;
    const Bytes* File;
    bool Replace;
    int32_t Count;
    std::vector<std::string> Names;
  };
  const Step Steps[] = {
      {"replacing", &AtOrigin, true, 3, {"base", "top", ""}},
      {"adding", &AtOrigin, false, 6, {"base", "top", "", "base", "top", ""}},
      {"first layer away from the origin", &Away, true, 2, {"base", "moved"}},  // a reset keeps the name
  };
  for (const Step& S : Steps) {
    SCOPED_TRACE(S.What);
    P.PsdReplaceLayers = S.Replace ? 1 : 0;
    auto Stream = StreamOf(*S.File);
    View.IO()->LoadPsdStream(Stream.get());
    ASSERT_EQ(View.IO()->AbortFlag, 0);
    ASSERT_EQ(View.LayersCount(), S.Count);
    for (int32_t i = 0; i < S.Count; ++i) EXPECT_EQ(View.GetLayer(i)->Name, S.Names[size_t(i)]) << i;
  }
  // The base under a moved first layer: locked, the document's size, transparent.
  TIELayer* Under = View.GetLayer(0);
  EXPECT_TRUE(Under->Locked);
  EXPECT_EQ(Under->Bitmap->GetWidth(), 12);
  EXPECT_EQ(Under->Bitmap->GetAlpha(3, 3), 0);
  TIELayer* Layer = View.GetLayer(1);
  EXPECT_EQ((std::vector<int32_t>{Layer->PosX, Layer->PosY}), (std::vector<int32_t>{2, 1}));
  EXPECT_TRUE(SamePixels(*Layer->Bitmap, *Moved->Bitmap));
  // Loaded again with replacing, the mask layer comes back as one.
  P.PsdReplaceLayers = 1;
  auto Stream = StreamOf(AtOrigin);
  View.IO()->LoadPsdStream(Stream.get());
  ASSERT_EQ(View.LayersCount(), 3);
  EXPECT_TRUE(View.GetLayer(2)->IsMask);
  EXPECT_TRUE(SamePixels(*View.GetLayer(1)->Bitmap, *Top->Bitmap));
}

TEST_F(PsdTest, AViewsLayersSavedThroughTheIOComponent) {
  TImagingView View(nullptr);
  Paint(*View.GetIEBitmap(), 12, 8, 1);
  View.GetLayer(0)->Name = "base";
  TIELayer* Top = View.GetLayer(View.AddLayer());
  Paint(*Top->Bitmap, 4, 3, 3);
  Top->PosX = 5;
  Top->PosY = 2;
  Top->Name = "top";
  TIEBitmap Under, Over;
  Paint(Under, 12, 8, 1);
  Paint(Over, 4, 3, 3);

  TMemoryStream S;
  View.IO()->SavePsdStream(&S);
  ASSERT_EQ(View.IO()->AbortFlag, 0);
  TIEBitmap Composite;
  TIOParamsVals P(nullptr);
  ReadOut R = ReadPsd(BytesOf(S), &Composite, P, true);
  ASSERT_EQ(R.Abort, 0);
  ASSERT_EQ(R.Layers.size(), 2u);
  EXPECT_EQ(R.Layers[0]->Name, "base");
  EXPECT_EQ(R.Layers[1]->Name, "top");
  EXPECT_EQ((std::vector<int32_t>{R.Layers[1]->PosX, R.Layers[1]->PosY}), (std::vector<int32_t>{5, 2}));
  EXPECT_TRUE(SamePixels(*R.Layers[0]->Bitmap, Under));
  EXPECT_TRUE(SamePixels(*R.Layers[1]->Bitmap, Over));
  // The composite is the two merged: the top layer over the base where it lies, the base elsewhere.
  ASSERT_EQ(ReadPsd(BytesOf(S), &Composite, P, false, false).Abort, 0);
  ASSERT_EQ((std::vector<int32_t>{Composite.GetWidth(), Composite.GetHeight()}), (std::vector<int32_t>{12, 8}));
  EXPECT_TRUE(Composite.GetPixelAsRGB(6, 3) == Over.GetPixelAsRGB(1, 1));
  EXPECT_TRUE(Composite.GetPixelAsRGB(1, 1) == Under.GetPixelAsRGB(1, 1));
  EXPECT_TRUE(Composite.GetPixelAsRGB(11, 7) == Under.GetPixelAsRGB(11, 7));
}

TEST_F(PsdTest, ThroughTheIOComponent) {
  TImagingIO IO(nullptr);
  Paint(*IO.WorkBitmap(), 33, 12, 6);
  TIEBitmap Original;
  Original.Assign(IO.WorkBitmap());
  IO.IOParams()->Xmp = "<x/>";
  TMemoryStream S;
  IO.SavePsdStream(&S);
  ASSERT_EQ(IO.AbortFlag, 0);
  S.SetPosition(0);
  EXPECT_EQ(DetectStreamFormat(&S), ftPsd);
  IO.WorkBitmap()->Allocate(1, 1, ie8g);
  IO.IOParams()->Xmp.clear();
  IO.LoadFromStream(&S);
  ASSERT_EQ(IO.AbortFlag, 0);
  EXPECT_EQ(IO.IOParams()->FileType, ftPsd);
  EXPECT_EQ(IO.IOParams()->Xmp, "<x/>");
  EXPECT_TRUE(SamePixels(*IO.WorkBitmap(), Original));
  // A document of one layer gives that layer's alpha to the image.
  auto L = MakeLayer(33, 12, 6, 0, 0, "only");
  for (int32_t x = 0; x < 33; ++x) L->Bitmap->SetAlpha(x, 2, uint8_t(x * 7));
  const Bytes F = WritePsd(&Original, {L.get()});
  auto One = StreamOf(F);
  IO.LoadFromStream(One.get());
  ASSERT_EQ(IO.AbortFlag, 0);
  ASSERT_TRUE(IO.WorkBitmap()->HasAlphaChannel());
  EXPECT_EQ(IO.WorkBitmap()->GetAlpha(5, 2), 35);
  // An ie32f image is not written.
  IO.WorkBitmap()->Allocate(2, 2, ie32f);
  TMemoryStream Refused;
  IO.SavePsdStream(&Refused);
  EXPECT_EQ(IO.AbortFlag, 1);
  EXPECT_EQ(Refused.Size(), 0);
}

}  // namespace
}  // namespace zv
