// The DICOM reader: files written by pydicom and compressed by dcmtk and opj_compress decode equal to
// pydicom's arrays (through the grey steps); hand-made data sets show the element rules, the grey steps,
// frame selection and the transfer syntaxes; damaged files end with the abort byte or with the elements
// read up to the damage, never outside a buffer.
#include "imaging/formats/dicom_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/dicom_tags.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/io_params.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/oracle_tools.h"
#include "tests/imaging/mutation.h"

namespace zv {
namespace {

using formattest::Bytes;
using formattest::LoggedProgress;
using formattest::StreamOf;

class DicomTest : public formattest::FormatsLibraryTest {};

struct Loaded {
  uint8_t Abort = 0;
  std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
  std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
};

Loaded Load(const Bytes& F, int32_t Index = 0, bool ParamsOnly = false) {
  Loaded L;
  L.Params->ImageIndex = Index;
  auto S = StreamOf(F);
  LoggedProgress Progress;
  DicomLoad(S.get(), *L.Params, L.Bitmap.get(), Progress.Record, ParamsOnly);
  L.Abort = Progress.Abort;
  return L;
}

std::vector<uint16_t> Grey16(TIEBitmap& B) {
  std::vector<uint16_t> V;
  if (B.GetPixelFormat() != ieGray16) return V;
  for (int32_t y = 0; y < B.GetHeight(); ++y) {
    const uint16_t* Row = reinterpret_cast<const uint16_t*>(B.GetScanline(y));
    V.insert(V.end(), Row, Row + B.GetWidth());
  }
  return V;
}

// ---- Hand-made data sets ----------------------------------------------------------------------------------

class DataSet {
public:
  explicit DataSet(const std::string& Syntax = "1.2.840.10008.1.2.1", bool Preamble = true) {
    if (Preamble) {
      B.assign(128, 0);
      B.insert(B.end(), {'D', 'I', 'C', 'M'});
    }
    if (!Syntax.empty()) {
      std::string Ts = Syntax;
      if (Ts.size() % 2) Ts.push_back('\0');
      Put16Le(2), Put16Le(0x10), B.insert(B.end(), {'U', 'I'}), Put16Le(uint16_t(Ts.size()));
      B.insert(B.end(), Ts.begin(), Ts.end());
    }
    Big = Syntax == "1.2.840.10008.1.2.2";
    Implicit = Syntax == "1.2.840.10008.1.2";
  }
  DataSet& Element(uint16_t G, uint16_t E, const char* VR, const Bytes& Value) {
    Put16(G), Put16(E);
    const bool Long = std::string("OB OW SQ UN UT").find(VR) != std::string::npos;
    if (Implicit) {
      Put32(uint32_t(Value.size()));
    } else {
      B.insert(B.end(), {uint8_t(VR[0]), uint8_t(VR[1])});
      if (Long)
        Put16(0), Put32(uint32_t(Value.size()));
      else
        Put16(uint16_t(Value.size()));
    }
    B.insert(B.end(), Value.begin(), Value.end());
    return *this;
  }
  DataSet& US(uint16_t G, uint16_t E, uint16_t v) { return Element(G, E, "US", Word(v)); }
  DataSet& Text(uint16_t G, uint16_t E, const char* VR, std::string T) {
    if (T.size() % 2) T.push_back(' ');
    return Element(G, E, VR, Bytes(T.begin(), T.end()));
  }
  // The image-pixel elements of a grey image.
  DataSet& Image(int Rows, int Cols, int Bits, int Stored, int Signed = 0, const char* Photo = "MONOCHROME2") {
    US(0x28, 0x02, 1);
    Text(0x28, 0x04, "CS", Photo);
    US(0x28, 0x10, uint16_t(Rows)).US(0x28, 0x11, uint16_t(Cols));
    return US(0x28, 0x100, uint16_t(Bits)).US(0x28, 0x101, uint16_t(Stored)).US(0x28, 0x103, uint16_t(Signed));
  }
  DataSet& Words(const std::vector<uint16_t>& W) {
    Bytes V;
    for (uint16_t w : W) {
      const Bytes x = Word(w);
      V.insert(V.end(), x.begin(), x.end());
    }
    return Element(0x7FE0, 0x10, "OW", V);
  }
  // Encapsulated pixel data: an offset table and one item per fragment.
  DataSet& Fragments(const Bytes& Table, const std::vector<Bytes>& Items) {
    Put16(0x7FE0), Put16(0x10), B.insert(B.end(), {'O', 'B', 0, 0}), Put32(0xFFFFFFFF);
    Item(Table);
    for (const Bytes& I : Items) Item(I);
    Put16(0xFFFE), Put16(0xE0DD), Put32(0);
    return *this;
  }
  void Item(const Bytes& I) {
    Put16Le(0xFFFE), Put16Le(0xE000), Put32Le(uint32_t(I.size()));
    B.insert(B.end(), I.begin(), I.end());
  }
  Bytes Word(uint16_t v) const { return Big ? Bytes{uint8_t(v >> 8), uint8_t(v)} : Bytes{uint8_t(v), uint8_t(v >> 8)}; }
  void Put16(uint16_t v) {
    const Bytes x = Word(v);
    B.insert(B.end(), x.begin(), x.end());
  }
  void Put32(uint32_t v) {
    if (Big)
      Put16(uint16_t(v >> 16)), Put16(uint16_t(v));
    else
      Put16(uint16_t(v)), Put16(uint16_t(v >> 16));
  }
  void Put16Le(uint16_t v) { B.insert(B.end(), {uint8_t(v), uint8_t(v >> 8)}); }
  void Put32Le(uint32_t v) { Put16Le(uint16_t(v)), Put16Le(uint16_t(v >> 16)); }

  Bytes B;
  bool Big = false;
  bool Implicit = false;
};

TEST(DicomDictionaryTest, TellingRows) {
  const struct {
    uint16_t G, E;
    const char* VR;
  } Rows[] = {{0x0002, 0x0010, "UI"}, {0x0028, 0x0002, "US"}, {0x0028, 0x0004, "CS"}, {0x0028, 0x0006, "US"},
              {0x0028, 0x0008, "IS"}, {0x0028, 0x0010, "US"}, {0x0028, 0x0011, "US"}, {0x0028, 0x0100, "US"},
              {0x0028, 0x0101, "US"}, {0x0028, 0x0103, "US"}, {0x0028, 0x1050, "DS"}, {0x0028, 0x1053, "DS"},
              {0x0028, 0x1101, "xs"}, {0x0028, 0x1103, "xs"}, {0x0028, 0x1201, "OW"}, {0x0028, 0x1203, "OW"},
              {0x7FE0, 0x0010, "xs"}, {0xFFFE, 0xE000, "!!"}, {0xFFFE, 0xE00D, "!!"}, {0xFFFE, 0xE0DD, "!!"},
              {0xFFFF, 0xFFFF, "xs"}, {0x0010, 0x0010, "PN"}, {0x6002, 0x0010, "US"}};
  for (const auto& R : Rows) EXPECT_EQ(DicomDictionaryVR(R.G, R.E), R.VR) << std::hex << R.G << "," << R.E;
  for (size_t i = 1; i < DicomDictionarySize; ++i) {
    const auto Key = [](const TDicomDictEntry& E) { return (uint32_t(E.Group) << 16) | E.Element; };
    ASSERT_LT(Key(DicomDictionary[i - 1]), Key(DicomDictionary[i])) << "row " << i;
  }
}

TEST_F(DicomTest, SignatureTest) {
  DataSet Good;
  Good.Image(1, 1, 8, 8).Element(0x7FE0, 0x10, "OB", {7, 0});
  DataSet Bare("1.2.840.10008.1.2.1", false);
  Bare.Image(1, 1, 8, 8).Element(0x7FE0, 0x10, "OB", {7, 0});
  Bytes Short(Good.B.begin(), Good.B.begin() + 131);
  Bytes Shifted = Good.B;
  Shifted.insert(Shifted.begin(), 0);
  const struct {
    const char* Name;
    const Bytes& Data;
    int64_t At;
    bool Is;
  } Cases[] = {{"preamble and DICM", Good.B, 0, true},
               {"no preamble", Bare.B, 0, false},
               {"cut inside DICM", Short, 0, false},
               {"one byte further", Shifted, 1, true},
               {"one byte early", Shifted, 0, false}};
  for (const auto& C : Cases) {
    auto S = StreamOf(C.Data);
    S->SetPosition(C.At);
    EXPECT_EQ(IsDicomStream(S.get()), C.Is) << C.Name;
    EXPECT_EQ(S->Position(), C.At) << C.Name;
  }
  auto S = StreamOf(Good.B);
  EXPECT_EQ(DetectStreamFormat(S.get()), ftDicom);
  // A data set without preamble is still read when the caller picks DICOM.
  Loaded L = Load(Bare.B);
  EXPECT_EQ(L.Abort, 0);
  EXPECT_EQ(L.Bitmap->GetWidth(), 1);
}

TEST_F(DicomTest, ElementRules) {
  DataSet D;
  D.Text(0x0010, 0x0010, "PN", "Doe^Jane");
  // A private element in implicit form inside an explicit file: its length bytes are not letters.
  D.Put16(0x0011), D.Put16(0x0010), D.Put32(4), D.B.insert(D.B.end(), {'a', 'b', 'c', 'd'});
  // A sequence of undefined length with one item of undefined length.
  D.Put16(0x0008), D.Put16(0x1140), D.B.insert(D.B.end(), {'S', 'Q', 0, 0}), D.Put32(0xFFFFFFFF);
  D.Put16(0xFFFE), D.Put16(0xE000), D.Put32(0xFFFFFFFF);
  D.Text(0x0008, 0x1150, "UI", "1.2.3");
  D.Put16(0xFFFE), D.Put16(0xE00D), D.Put32(0);
  D.Put16(0xFFFE), D.Put16(0xE0DD), D.Put32(0);
  // A text longer than 16-bit lengths allow in short form: UT has a 32-bit length.
  D.Element(0x0040, 0xA160, "UT", Bytes(300, 'x'));
  D.Image(1, 2, 8, 8).Element(0x7FE0, 0x10, "OB", {1, 2});
  Loaded L = Load(D.B);
  EXPECT_EQ(L.Abort, 0);
  std::vector<std::string> Seen;
  for (const TIEDICOMTag& T : L.Params->DicomTags.Tags()) {
    char Key[32];
    std::snprintf(Key, sizeof Key, "%04X,%04X %c%c %d", T.Group, T.Element, T.VR[0] ? T.VR[0] : '-',
                  T.VR[1] ? T.VR[1] : '-', T.DataLength);
    Seen.push_back(Key);
  }
  const std::vector<std::string> Expected = {
      "0002,0010 UI 20", "0010,0010 PN 8",   "0011,0010 xs 4",   "0008,1140 SQ 0",    "FFFE,E000 !! 0",
      "0008,1150 UI 6",  "FFFE,E00D !! 0",   "FFFE,E0DD !! 0",   "0040,A160 UT 300",  "0028,0002 US 2",
      "0028,0004 CS 12", "0028,0010 US 2",   "0028,0011 US 2",   "0028,0100 US 2",    "0028,0101 US 2",
      "0028,0103 US 2"};
  EXPECT_EQ(Seen, Expected);
  const TIEDICOMTag& Name = L.Params->DicomTags.GetTag(1);
  EXPECT_STREQ(reinterpret_cast<const char*>(Name.Data), "Doe^Jane");
  EXPECT_EQ(L.Bitmap->GetWidth(), 2);
}

// A 16-bit grey image of the samples in one row, with extra elements before the pixel data.
Bytes Grey16Image(const std::vector<uint16_t>& Samples, const std::vector<std::pair<uint16_t, std::string>>& Texts,
                  int Signed = 0, const char* Photo = "MONOCHROME2") {
  DataSet D;
  D.Image(1, int(Samples.size()), 16, 16, Signed, Photo);
  for (const auto& [E, T] : Texts) D.Text(0x28, E, "DS", T);
  D.Words(Samples);
  return D.B;
}

TEST_F(DicomTest, GreySteps) {
  const struct {
    const char* Name;
    std::vector<uint16_t> In;
    std::vector<std::pair<uint16_t, std::string>> Texts;
    int Signed;
    const char* Photo;
    std::vector<uint16_t> Out;
  } Cases[] = {
      {"window 150/101", {0, 100, 150, 200, 300}, {{0x1050, "150"}, {0x1051, "101"}}, 0, "MONOCHROME2",
       {0, 0, 33095, 65535, 65535}},
      {"window centre 150\\40, comma width", {0, 100, 150, 200, 300}, {{0x1050, "150\\40"}, {0x1051, "101,0"}}, 0,
       "MONOCHROME2", {0, 0, 33095, 65535, 65535}},
      {"window centre 0 is no window", {0, 100, 200}, {{0x1050, "0"}, {0x1051, "10"}}, 0, "MONOCHROME2",
       {0, 32768, 65535}},
      {"the offset of negative values comes from the whole frame", {1000, 0, 500}, {{0x1052, "-500"}}, 0,
       "MONOCHROME2", {65535, 0, 32768}},
      {"signed samples and a slope", {0xFFFE, 0, 2}, {{0x1053, "2"}}, 1, "MONOCHROME2", {0, 32768, 65535}},
      {"all samples equal", {700, 700, 700}, {}, 0, "MONOCHROME2", {0, 0, 0}},
      {"MONOCHROME1 is inverted", {10, 20}, {}, 0, " monochrome1", {65535, 0}},
  };
  for (const auto& C : Cases) {
    Loaded L = Load(Grey16Image(C.In, C.Texts, C.Signed, C.Photo));
    EXPECT_EQ(L.Abort, 0) << C.Name;
    EXPECT_EQ(Grey16(*L.Bitmap), C.Out) << C.Name;
  }
}

TEST_F(DicomTest, TransferSyntaxes) {
  const std::vector<uint16_t> Samples = {5, 9, 7};
  auto Native = [&](const std::string& Ts) {
    DataSet D(Ts);
    D.Image(1, 3, 16, 16).Words(Samples);
    return D.B;
  };
  auto Encapsulated = [&](const std::string& Ts) {
    DataSet D(Ts);
    D.Image(1, 3, 16, 16).Fragments({}, {Bytes(40, 0x55)});
    return D.B;
  };
  const struct {
    const char* Name;
    Bytes Data;
    bool Abort;
    bool Decoded;
  } Cases[] = {
      {"explicit little-endian", Native("1.2.840.10008.1.2.1"), false, true},
      {"implicit little-endian", Native("1.2.840.10008.1.2"), false, true},
      {"explicit big-endian", Native("1.2.840.10008.1.2.2"), false, true},
      {"native data of an unknown syntax", Native("1.2.3.4"), false, true},
      {"no meta header", Native(""), false, true},
      {"MPEG-2", Encapsulated("1.2.840.10008.1.2.4.100"), true, false},
      {"encapsulated data of an unknown syntax", Encapsulated("1.2.3.4"), true, false},
      {"JPEG 2000 that is not", Encapsulated("1.2.840.10008.1.2.4.90"), true, false},
      {"lossless JPEG that is not", Encapsulated("1.2.840.10008.1.2.4.70"), true, false},
  };
  for (const auto& C : Cases) {
    Loaded L = Load(C.Data);
    EXPECT_EQ(L.Abort != 0, C.Abort) << C.Name;
    const std::vector<uint16_t> Want = C.Decoded ? std::vector<uint16_t>{0, 65535, 32768} : std::vector<uint16_t>{};
    EXPECT_EQ(Grey16(*L.Bitmap), Want) << C.Name;
  }
}

TEST_F(DicomTest, ParamsOnlyFillsTheParametersAndLeavesTheBitmap) {
  DataSet D;
  D.Image(3, 2, 16, 12).Text(0x28, 0x08, "IS", " 4 ").Words(std::vector<uint16_t>(24, 1));
  Loaded L;
  L.Bitmap->Allocate(5, 5, ie24RGB);
  auto S = StreamOf(D.B);
  LoggedProgress Progress;
  DicomLoad(S.get(), *L.Params, L.Bitmap.get(), Progress.Record, true);
  EXPECT_EQ(L.Params->Width, 2);
  EXPECT_EQ(L.Params->Height, 3);
  EXPECT_EQ(L.Params->BitsPerSample, 12);
  EXPECT_EQ(L.Params->SamplesPerPixel, 1);
  EXPECT_EQ(L.Params->ImageCount, 4);
  EXPECT_EQ(L.Bitmap->GetWidth(), 5);
  EXPECT_EQ(L.Bitmap->GetPixelFormat(), ie24RGB);
}

TEST_F(DicomTest, ProgressRisesToTheEndOfTheFrame) {
  DataSet D;
  D.Image(300, 40, 16, 16).Words(std::vector<uint16_t>(300 * 40, 7));
  auto S = StreamOf(D.B);
  Loaded L;
  LoggedProgress Progress;
  DicomLoad(S.get(), *L.Params, L.Bitmap.get(), Progress.Record, false);
  ASSERT_GE(Progress.Reports.size(), 50u);
  EXPECT_EQ(Progress.Reports.front(), 0);
  EXPECT_GE(Progress.Reports.back(), 99);
  for (size_t i = 1; i < Progress.Reports.size(); ++i)
    EXPECT_NE(Progress.Reports[i], Progress.Reports[i - 1]) << "a percentage sent twice in a row";
}

// A palette image of 8-bit indices with the given table elements.
Bytes PaletteImage(const Bytes& Indices, const std::vector<Bytes>& Tables, int Descriptor = -1) {
  DataSet D;
  D.US(0x28, 0x02, 1).Text(0x28, 0x04, "CS", "PALETTE COLOR");
  D.US(0x28, 0x10, 1).US(0x28, 0x11, uint16_t(Indices.size())).US(0x28, 0x100, 8).US(0x28, 0x101, 8);
  if (Descriptor >= 0) {
    const uint16_t d[3] = {uint16_t(Descriptor), 0, 16};
    Bytes V;
    for (uint16_t w : d) V.insert(V.end(), {uint8_t(w), uint8_t(w >> 8)});
    D.Element(0x28, 0x1101, "US", V);
  }
  for (size_t k = 0; k < Tables.size(); ++k) D.Element(0x28, uint16_t(0x1201 + k), "OW", Tables[k]);
  Bytes Pixels = Indices;
  if (Pixels.size() % 2) Pixels.push_back(0);
  D.Element(0x7FE0, 0x10, "OB", Pixels);
  return D.B;
}

TEST_F(DicomTest, CorruptInput) {
  DataSet Tall;
  Tall.Image(100, 100, 8, 8).Text(0x28, 0x08, "IS", "3").Element(0x7FE0, 0x10, "OB", Bytes(100 * 100 * 2, 1));
  Tall.B.resize(Tall.B.size() - 1);
  DataSet Past;
  Past.Text(0x0010, 0x0010, "PN", "Doe").Element(0x0010, 0x0020, "LO", Bytes(4, 'x'));
  Past.B[Past.B.size() - 6] = 0xF0;  // the last element claims 61444 bytes
  DataSet Deep;
  for (int i = 0; i < 10000; ++i) {
    Deep.Put16(0x0008), Deep.Put16(0x1140), Deep.B.insert(Deep.B.end(), {'S', 'Q', 0, 0}), Deep.Put32(0xFFFFFFFF);
    Deep.Put16(0xFFFE), Deep.Put16(0xE000), Deep.Put32(0xFFFFFFFF);
  }
  auto Rle = [](uint32_t Count, uint32_t Offset) {
    Bytes F(64, 0);
    F[0] = uint8_t(Count);
    for (int i = 0; i < 4; ++i) F[4 + i] = uint8_t(Offset >> (8 * i));
    F.insert(F.end(), {0xFD, 7, 0xFD, 7});
    return F;
  };
  auto Encapsulated = [](const char* Ts, int Rows, int Cols, const Bytes& Fragment) {
    DataSet D(Ts);
    D.Image(Rows, Cols, 8, 8).Fragments({}, {Fragment});
    return D.B;
  };
  Bytes Lossless31(31, 0);
  Lossless31[0] = 0xFF, Lossless31[1] = 0xD8;
  DataSet FarFragment("1.2.840.10008.1.2.5");
  FarFragment.Image(2, 2, 8, 8).Fragments({}, {Rle(1, 64)});
  FarFragment.B[FarFragment.B.size() - 8 - 68 - 4 + 2] = 1;  // the item's length: 64 KiB more than there is
  const Bytes Lut2 = {0xFF, 0xFF};
  const struct {
    const char* Name;
    Bytes Data;
    bool Abort;
    int MinTags;
  } Cases[] = {
      {"element length past the end", Past.B, false, 3},
      {"sequences nested 10,000 deep", Deep.B, false, 20001},
      {"rows x columns x frames larger than the pixel data", Tall.B, true, 8},
      {"RLE header with 16 segments", Encapsulated("1.2.840.10008.1.2.5", 2, 2, Rle(16, 64)), true, 8},
      {"RLE offsets past the fragment", Encapsulated("1.2.840.10008.1.2.5", 2, 2, Rle(1, 400)), true, 8},
      {"a fragment past the end of the stream", FarFragment.B, true, 8},
      {"lossless fragment of 31 bytes", Encapsulated("1.2.840.10008.1.2.4.70", 2, 2, Lossless31), true, 8},
      {"LUT element of 2 bytes claiming 65536 entries", PaletteImage({0, 1, 2}, {Lut2, Lut2, Lut2}, 0), true, 8},
      {"palette indices past the tables", PaletteImage({0, 3}, {Bytes(6, 1), Bytes(6, 1), Bytes(6, 1)}), true, 8},
      {"palette without tables", PaletteImage({0, 1}, {}), true, 7},
  };
  for (const auto& C : Cases) {
    Loaded L = Load(C.Data);
    EXPECT_EQ(L.Abort != 0, C.Abort) << C.Name;
    EXPECT_GE(L.Params->DicomTags.Count(), C.MinTags) << C.Name;
  }
}

TEST_F(DicomTest, PaletteTablesTakeTheirOwnLength) {
  // Tables of three entries (the descriptor says 3) for 8 bits allocated: indices 0 to 2 only.
  Bytes Red = {0, 0, 0xFF, 0xFF, 0, 0x80}, Green = {0xFF, 0xFF, 0, 0, 0, 0}, Blue = {0, 0, 0, 0, 0xFF, 0xFF};
  Loaded L = Load(PaletteImage({0, 1, 2}, {Red, Green, Blue}, 3));
  ASSERT_EQ(L.Abort, 0);
  ASSERT_EQ(L.Bitmap->GetPixelFormat(), ie24RGB);
  const uint8_t* Row = L.Bitmap->GetScanline(0);
  EXPECT_EQ(Bytes(Row, Row + 9), (Bytes{0, 255, 0, 0, 0, 255, 255, 0, 127}));
}

// ---- Fixtures from pydicom, dcmtk and opj_compress ------------------------------------------------------

struct Fixture {
  int Rows = 0, Cols = 0, Samples = 0, Bits = 0, Frame = 0, Index = 0;
  std::string Type, Photo;
  std::vector<int32_t> Values;
};

std::string FixtureFolder() { return oracle::TempPath("dicom_fixtures"); }

bool FixturesMade() {
  static const bool Made = [] {
    for (const char* Tool : {"dcmcrle", "dcmcjpeg", "dcmdjpeg", "dcmdrle", "opj_compress"})
      if (oracle::FindProgram(Tool).empty()) return false;
    oracle::MakeDirectory(ZV_TEST_TMP);
    const oracle::RunResult R = oracle::Run("/usr/bin/python3 " + oracle::Quoted(ZV_DICOM_FIXTURES) + " " +
                                            oracle::Quoted(FixtureFolder()));
    if (R.Status != 0) ADD_FAILURE() << R.Output;
    return R.Status == 0;
  }();
  return Made;
}

Bytes ReadFile(const std::string& Path) {
  std::ifstream F(Path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(F), {});
}

Fixture ReadFixture(const std::string& Name) {
  Fixture F;
  std::ifstream T(FixtureFolder() + "/" + Name + ".txt");
  T >> F.Rows >> F.Cols >> F.Samples >> F.Bits >> F.Type >> F.Photo >> F.Frame >> F.Index;
  const Bytes Raw = ReadFile(FixtureFolder() + "/" + Name + ".raw");
  const size_t Size = F.Type == "u8" ? 1 : 2;
  for (size_t i = 0; i + Size <= Raw.size(); i += Size) {
    if (Size == 1)
      F.Values.push_back(Raw[i]);
    else if (F.Type == "i16")
      F.Values.push_back(int16_t(Raw[i] | (Raw[i + 1] << 8)));
    else
      F.Values.push_back(Raw[i] | (Raw[i + 1] << 8));
  }
  return F;
}

// The frame as the reader should give it: stretched to the full range unless native 8-bit, MONOCHROME1
// inverted; colour as it stands; palettes through fixtures' tables.
std::vector<uint16_t> Expected(const Fixture& F, bool Stretch, bool Palette) {
  std::vector<uint16_t> Out;
  if (Palette) {
    const Bytes Lut = ReadFile(FixtureFolder() + "/palette.lut");
    for (int32_t v : F.Values)
      for (int k : {2, 1, 0}) {
        const uint16_t e = uint16_t(Lut[size_t(k * 512 + v * 2)] | (Lut[size_t(k * 512 + v * 2 + 1)] << 8));
        Out.push_back(F.Bits <= 8 ? uint16_t(e / 257) : e);
      }
    if (F.Bits > 8)  // ieRGB48 keeps red, green, blue
      for (size_t i = 0; i < Out.size(); i += 3) std::swap(Out[i], Out[i + 2]);
    return Out;
  }
  if (F.Samples == 3) {
    for (size_t i = 0; i < F.Values.size(); i += 3)
      Out.insert(Out.end(), {uint16_t(F.Values[i + 2]), uint16_t(F.Values[i + 1]), uint16_t(F.Values[i])});
    return Out;
  }
  const double Top = F.Bits <= 8 ? 255 : 65535;
  const int32_t Lo = *std::min_element(F.Values.begin(), F.Values.end());
  const int32_t Hi = *std::max_element(F.Values.begin(), F.Values.end());
  for (int32_t v : F.Values) {
    uint32_t e = Stretch ? uint32_t(std::nearbyint(double(v - Lo) / double(Hi - Lo) * Top)) : uint32_t(v);
    if (F.Photo == "MONOCHROME1") e = uint32_t(Top) - e;
    Out.push_back(uint16_t(e));
  }
  return Out;
}

std::vector<uint16_t> Decoded(TIEBitmap& B) {
  std::vector<uint16_t> Out;
  const TIEPixelFormat Format = B.GetPixelFormat();
  for (int32_t y = 0; y < B.GetHeight(); ++y) {
    const uint8_t* Row = B.GetScanline(y);
    if (Format == ieGray16 || Format == ieRGB48) {
      const uint16_t* W = reinterpret_cast<const uint16_t*>(Row);
      Out.insert(Out.end(), W, W + B.GetWidth() * (Format == ieRGB48 ? 3 : 1));
    } else {
      Out.insert(Out.end(), Row, Row + B.GetWidth() * (Format == ie24RGB ? 3 : 1));
    }
  }
  return Out;
}

TEST_F(DicomTest, FilesFromPydicomAndDcmtkDecodeEqualToTheirArrays) {
  if (!FixturesMade()) GTEST_SKIP() << "python3-pydicom, dcmtk or the OpenJPEG tools are not installed";
  const struct {
    const char* Name;
    TIEPixelFormat Format;
    bool Stretch;
  } Cases[] = {
      {"implicit8", ie8g, false},         {"explicit16", ieGray16, true},     {"big16s", ieGray16, true},
      {"mono1_12s", ieGray16, true},      {"multi_f2", ie8g, false},          {"multi_f9", ie8g, false},
      {"rgb_planar0", ie24RGB, false},    {"rgb_planar1", ie24RGB, false},    {"palette8", ie24RGB, false},
      {"palette16", ieRGB48, false},      {"native12", ieGray16, true},       {"rle8", ie8g, true},
      {"rle16", ieGray16, true},          {"rle12s", ieGray16, true},         {"rlergb", ie24RGB, false},
      {"ljsv1_8", ie8g, true},            {"ljsv1_16", ieGray16, true},       {"ljsv1_12s", ieGray16, true},
      {"ljsv1_rgb", ie24RGB, false},      {"lj14_sv1", ieGray16, true},       {"lj14_sv2", ieGray16, true},
      {"lj14_sv3", ieGray16, true},       {"lj14_sv4", ieGray16, true},       {"lj14_sv5", ieGray16, true},
      {"lj14_sv6", ieGray16, true},       {"lj14_sv7", ieGray16, true},       {"lj14_rgb", ie24RGB, false},
      {"lj14_12", ieGray16, true},        {"lj_multi", ie8g, true},           {"lj_multi_ot", ie8g, true},
      {"j2k8", ie8g, true},               {"j2k12", ieGray16, true},
  };
  // Baseline JPEG is lossy: dcmdjpeg and libjpeg may round a sample differently.
  const struct {
    const char* Name;
    TIEPixelFormat Format;
    int Tolerance;
  } Lossy[] = {{"jpeg8", ie8g, 2}, {"jpegrgb", ie24RGB, 3}};
  for (const auto& C : Lossy) {
    const Fixture F = ReadFixture(C.Name);
    Loaded L = Load(ReadFile(FixtureFolder() + "/" + C.Name + ".dcm"));
    EXPECT_EQ(L.Abort, 0) << C.Name;
    EXPECT_EQ(L.Bitmap->GetPixelFormat(), C.Format) << C.Name;
    const std::vector<uint16_t> Got = Decoded(*L.Bitmap), Want = Expected(F, C.Format == ie8g, false);
    ASSERT_EQ(Got.size(), Want.size()) << C.Name;
    int Worst = 0;
    for (size_t i = 0; i < Got.size(); ++i) Worst = std::max(Worst, std::abs(int(Got[i]) - int(Want[i])));
    EXPECT_LE(Worst, C.Tolerance) << C.Name;
  }
  for (const auto& C : Cases) {
    const Fixture F = ReadFixture(C.Name);
    ASSERT_FALSE(F.Values.empty()) << C.Name;
    Loaded L = Load(ReadFile(FixtureFolder() + "/" + C.Name + ".dcm"), F.Index);
    EXPECT_EQ(L.Abort, 0) << C.Name;
    EXPECT_EQ(L.Bitmap->GetPixelFormat(), C.Format) << C.Name;
    EXPECT_EQ(L.Params->ImageIndex, F.Frame) << C.Name;
    EXPECT_EQ(L.Params->Width, F.Cols) << C.Name;
    EXPECT_EQ(L.Params->Height, F.Rows) << C.Name;
    EXPECT_EQ(Decoded(*L.Bitmap), Expected(F, C.Stretch, F.Photo == "PALETTE_COLOR")) << C.Name;
  }
  // A compressed frame of another size than the data set says is refused.
  for (const char* Name : {"j2k8", "j2k12"}) {
    Bytes F = ReadFile(FixtureFolder() + "/" + Name + ".dcm");
    const Bytes Columns = {0x28, 0, 0x11, 0, 'U', 'S', 2, 0};
    const auto At = std::search(F.begin(), F.end(), Columns.begin(), Columns.end());
    ASSERT_NE(At, F.end());
    At[8] = uint8_t(At[8] + 1);
    EXPECT_NE(Load(F).Abort, 0) << Name;
  }
  // The patient's name written by pydicom is among the tags.
  Loaded L = Load(ReadFile(FixtureFolder() + "/explicit16.dcm"));
  bool Found = false;
  for (const TIEDICOMTag& T : L.Params->DicomTags.Tags())
    if (T.Group == 0x10 && T.Element == 0x10)
      Found = std::string(reinterpret_cast<const char*>(T.Data)).rfind("Test^Zonvark", 0) == 0;
  EXPECT_TRUE(Found);
}

TEST_F(DicomTest, MutatedFixturesNeverReadOutsideTheirBuffers) {
  if (!FixturesMade()) GTEST_SKIP() << "python3-pydicom, dcmtk or the OpenJPEG tools are not installed";
  std::mt19937 Random(39);
  const uint8_t ByteEdges[] = {0, 1, 0x7F, 0x80, 0xFE, 0xFF};
  const uint32_t WordEdges[] = {0, 1, 0xFFFF, 0x10000, 0x7FFFFFFF, 0xFFFFFFFF, 0xFFFEE000};
  for (const char* Name : {"explicit16", "big16s", "rle16", "rlergb", "ljsv1_16", "lj14_rgb", "lj_multi", "palette8",
                           "j2k8"}) {
    const Bytes Seed = ReadFile(FixtureFolder() + "/" + Name + ".dcm");
    for (int i = 0; i < 60; ++i) {
      const Bytes M = mutation::Mutate(Seed, Random, ByteEdges, WordEdges);
      try {
        Load(M, i % 4);
      } catch (const std::bad_alloc&) {
      }
    }
  }
}

}  // namespace
}  // namespace zv
