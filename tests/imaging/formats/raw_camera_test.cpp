// The camera-raw frame (byte-order readers, helpers, the reader's steps with stand-in stages, the format
// test) and the loaders of packed, unpacked, interleaved, turned and scrambled sensor data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>

#include "imaging/core/bitmap.h"
#include "imaging/formats/raw_camera.h"
#include "imaging/formats/raw_decoders.h"
#include "imaging/formats/raw_loaders.h"
#include "imaging/io/io_params.h"
#include "platform/sysutils.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/raw_fixture.h"

using namespace zv;
using namespace zv::rawtest;
using formattest::LoggedProgress;

namespace {

// ---- Readers and helpers ---------------------------------------------------------------------------------

TEST(RawReaders, ByteOrders) {
  struct Case {
    uint16_t Order;
    uint16_t Two;
    uint32_t Four;
  } Cases[] = {{RawOrderIntel, 0x0201, 0x06050403}, {RawOrderMotorola, 0x0102, 0x03040506}, {0x1234, 0x0102, 0x03040506}};
  for (const Case& K : Cases) {
    TContextOver X({1, 2, 3, 4, 5, 6, 7}, 1, 1);
    X.C->ByteOrder = K.Order;
    EXPECT_EQ(Get2(*X.C), K.Two);
    EXPECT_EQ(Get4(*X.C), K.Four);
    EXPECT_EQ(GetByte(*X.C), 7);
    EXPECT_FALSE(X.C->EndOfData);
    EXPECT_EQ(GetByte(*X.C), 0);
    EXPECT_TRUE(X.C->EndOfData);
  }
}

TEST(RawReaders, SwabAndSwaps) {
  const Bytes Source = {1, 2, 3, 4, 5};
  Bytes Dest(5, 9);
  Swab(Source.data(), Dest.data(), 5);
  EXPECT_EQ(Dest, (Bytes{2, 1, 4, 3, 5}));
  Bytes InPlace = Source;
  Swab(InPlace.data(), InPlace.data(), 5);
  EXPECT_EQ(InPlace, (Bytes{2, 1, 4, 3, 5}));
  Bytes Four(4, 9);
  Swab(Source.data(), Four.data(), 3);
  EXPECT_EQ(Four, (Bytes{2, 1, 3, 9}));
  EXPECT_EQ(SwapWord(0x1234), 0x3412);
  EXPECT_EQ(SwapDWord(0x12345678u), 0x78563412u);
}

TEST(RawReaders, StringsAndSearch) {
  EXPECT_TRUE(RawStrEqualNoCase("Kodak", "KODAK"));
  EXPECT_FALSE(RawStrEqualNoCase("Kodak", "KODAKX"));
  EXPECT_TRUE(RawStrStartsWith("DiMAGE A1", "DiMAGE A", 8));
  EXPECT_TRUE(RawStrContains("KODAK DC25 ZOOM", "DC25"));
  const Bytes Head = {'x', 'M', 'M', 'M', 'M', 'R', 'a', 'w', 'T', 0};
  const char* Magic = "MMMMRawT";
  EXPECT_EQ(MemSearch(Head.data(), int64_t(Head.size()), reinterpret_cast<const uint8_t*>(Magic), 8), 1);
  EXPECT_EQ(MemSearch(Head.data(), 8, reinterpret_cast<const uint8_t*>(Magic), 8), -1);
  char Field[64];
  RawSetText(Field, std::string(100, 'a'));
  EXPECT_EQ(std::strlen(Field), 63u);
  try {
    CheckAlloc(nullptr, "unpacked_load_raw()");
    ADD_FAILURE();
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), ": Out of memory in unpacked_load_raw()");
  }
}

// ---- The reader's frame ---------------------------------------------------------------------------------

// A stand-in identification: "CAM1", then little-endian raw width, raw height, flags (1: Canon make,
// 2: YMag 2, 4: no colour filter, 8: lossless-JPEG data); the 3152-wide sensor gets its visible area as
// the camera table gives it. The data follow at 16, one byte a sample unless flag 8 is set.
int32_t StandInIdentify(TRawCameraContext& C) {
  uint8_t Magic[4];
  RawSeek(C, 0);
  RawRead(C, Magic, 4);
  if (std::memcmp(Magic, "CAM1", 4) != 0) return 1;
  C.ByteOrder = RawOrderIntel;
  C.RawWidth = int32_t(Get4(C));
  C.RawHeight = int32_t(Get4(C));
  const uint32_t Flags = Get4(C);
  RawSetText(C.Make, (Flags & 1) != 0 ? "Canon" : "Test");
  RawSetText(C.Model, "EOS 300D");
  C.Width = C.RawWidth;
  C.Height = C.RawHeight;
  if (C.RawWidth == 3152) {
    C.Height = 2056;
    C.Width = 3088;
    C.TopMargin = 12;
    C.LeftMargin = 64;
  }
  C.Filters = (Flags & 4) != 0 ? 0 : 0x94949494;
  C.YMag = (Flags & 2) != 0 ? 2 : 1;
  C.DataOffset = 16;
  C.LoadRaw = (Flags & 8) != 0 ? LosslessJpegLoadRaw : EightBitLoadRaw;
  RawSeek(C, C.DataOffset);
  return 0;
}

Bytes CameraFile(uint32_t RawWidth, uint32_t RawHeight, uint32_t Flags, int64_t DataBytes) {
  Bytes B = {'C', 'A', 'M', '1'};
  for (uint32_t V : {RawWidth, RawHeight, Flags})
    for (int32_t i = 0; i < 4; ++i) B.push_back(uint8_t(V >> (8 * i)));
  for (int64_t i = 0; i < DataBytes; ++i) B.push_back(uint8_t(1 + i % 200));
  return B;
}

// Output stand-in: channel 0 of the working image into an ieRGB48 bitmap, red.
void StandInOutput(TRawCameraContext& C, TIEBitmap* Bitmap, bool, std::vector<double>&) {
  Bitmap->Allocate(C.Width, C.Height, ieRGB48);
  for (int32_t r = 0; r < C.Height; ++r) {
    auto* Row = reinterpret_cast<uint16_t*>(Bitmap->GetScanline(r));
    for (int32_t c = 0; c < C.Width; ++c) Row[c * 3] = C.Image[size_t(r) * size_t(C.Width) + size_t(c)][0];
  }
}

void StandInThumbnail(TStream*, TIOParamsVals& Params) { Params.GetExifThumbnail()->Allocate(4, 3, ie24RGB); }

class RawCameraLoadTest : public formattest::FormatsLibraryTest {
protected:
  TRawCameraStages Saved;
  void SetUp() override {
    FormatsLibraryTest::SetUp();
    Saved = RawCameraStages();
    RawCameraStages() = TRawCameraStages();
    RawCameraStages().Identify = StandInIdentify;
  }
  void TearDown() override {
    RawCameraStages() = Saved;
    FormatsLibraryTest::TearDown();
  }
};

TEST_F(RawCameraLoadTest, ParametersOnlyGiveTheOutputSizeAndLeaveTheBitmap) {
  struct Case {
    uint32_t RawWidth, RawHeight, Flags;
    uint8_t HalfSize;
    int32_t Width, Height;
  } Cases[] = {
      {3152, 2100, 1, 0, 3086, 2054},  // the visible 3088 x 2056 less the interpolation border
      {3152, 2100, 1, 1, 1544, 1028},  // half size: no border
      {3152, 2100, 3, 0, 3086, 4108},  // every row twice
      {40, 30, 4, 1, 40, 30},          // no colour filter: half size does not apply
  };
  for (const Case& K : Cases) {
    const Bytes File = CameraFile(K.RawWidth, K.RawHeight, K.Flags, 0);
    auto Stream = formattest::StreamOf(File);
    TIEBitmap Bitmap(5, 5, ie24RGB);
    Bitmap.GetScanline(2)[3] = 77;
    TIOParamsVals Params(nullptr);
    Params.RawHalfSize = K.HalfSize;
    Params.RawUseEmbedded = 1;
    Params.RawLoadThumbnail = 1;
    RawCameraStages().ReadCiffMetadata = StandInThumbnail;
    LoggedProgress Progress;
    RawCameraLoad(Stream.get(), &Bitmap, Params, true, Progress.Record);
    EXPECT_EQ(Progress.Abort, 0);
    EXPECT_EQ(Params.Width, K.Width);
    EXPECT_EQ(Params.Height, K.Height);
    EXPECT_EQ(Params.OriginalWidth, K.Width);
    EXPECT_EQ(Progress.Reports, std::vector<int>{100});
    EXPECT_EQ(Params.DpiX(), DefaultDpiX);
    EXPECT_EQ(Bitmap.GetWidth(), 5);
    EXPECT_EQ(Bitmap.GetScanline(2)[3], 77);
    if (K.Flags & 1) {
      EXPECT_EQ(Params.RawCamera, "Canon EOS 300D ");
    }
  }
}

TEST_F(RawCameraLoadTest, UnrecognisedFilesAbortAndLeaveTheBitmap) {
  for (bool WithIdentify : {true, false}) {
    RawCameraStages().Identify = WithIdentify ? StandInIdentify : nullptr;
    auto Stream = formattest::StreamOf(Bytes(100, 0x33));
    TIEBitmap Bitmap(3, 2, ie24RGB);
    Bitmap.GetScanline(1)[0] = 9;
    TIOParamsVals Params(nullptr);
    Params.Width = 123;
    LoggedProgress Progress;
    RawCameraLoad(Stream.get(), &Bitmap, Params, false, Progress.Record);
    EXPECT_EQ(Progress.Abort, 1);
    EXPECT_EQ(Bitmap.GetWidth(), 3);
    EXPECT_EQ(Bitmap.GetScanline(1)[0], 9);
    EXPECT_EQ(Params.Width, 123);
    EXPECT_TRUE(Progress.Reports.empty());
  }
}

TEST_F(RawCameraLoadTest, FullLoadThroughTheStages) {
  RawCameraStages().Output = StandInOutput;
  const Bytes File = CameraFile(6, 4, 4, 24);
  auto Stream = formattest::StreamOf(File);
  TIEBitmap Bitmap;
  TIOParamsVals Params(nullptr);
  LoggedProgress Progress;
  RawCameraLoad(Stream.get(), &Bitmap, Params, false, Progress.Record);
  EXPECT_EQ(Progress.Abort, 0);
  ASSERT_EQ(Bitmap.GetWidth(), 6);
  ASSERT_EQ(Bitmap.GetHeight(), 4);
  EXPECT_EQ(reinterpret_cast<uint16_t*>(Bitmap.GetScanline(0))[0], 1 << 6);
  EXPECT_EQ(reinterpret_cast<uint16_t*>(Bitmap.GetScanline(3))[5 * 3], 24 << 6);
  EXPECT_EQ(Params.Width, 6);
  EXPECT_EQ(Params.SamplesPerPixel, 3);
  ASSERT_GE(Progress.Reports.size(), 5u);
  EXPECT_TRUE(std::is_sorted(Progress.Reports.begin(), Progress.Reports.end()));
  EXPECT_EQ(Progress.Reports.front(), 0);
  EXPECT_LE(Progress.Reports[Progress.Reports.size() - 5], 50);
  EXPECT_EQ(std::vector<int>(Progress.Reports.end() - 4, Progress.Reports.end()), (std::vector<int>{70, 85, 90, 100}));

  // Cut after one row: the row read stays, the abort byte is set.
  auto Cut = formattest::StreamOf(CameraFile(6, 4, 4, 7));
  TIEBitmap Partial;
  LoggedProgress CutProgress;
  RawCameraLoad(Cut.get(), &Partial, Params, false, CutProgress.Record);
  EXPECT_EQ(CutProgress.Abort, 1);
  ASSERT_EQ(Partial.GetHeight(), 4);
  EXPECT_EQ(reinterpret_cast<uint16_t*>(Partial.GetScanline(0))[5 * 3], 6 << 6);
  EXPECT_EQ(reinterpret_cast<uint16_t*>(Partial.GetScanline(2))[0], 0);

  // Without an output stage a full load is no success.
  RawCameraStages().Output = nullptr;
  auto Again = formattest::StreamOf(File);
  TIEBitmap Untouched(2, 2, ie24RGB);
  LoggedProgress NoOutput;
  RawCameraLoad(Again.get(), &Untouched, Params, false, NoOutput.Record);
  EXPECT_EQ(NoOutput.Abort, 1);
  EXPECT_EQ(Untouched.GetWidth(), 2);
}

TEST_F(RawCameraLoadTest, HugeImagesAreRefused) {
  auto Stream = formattest::StreamOf(CameraFile(70000, 70000, 4, 16));
  TIEBitmap Bitmap;
  TIOParamsVals Params(nullptr);
  LoggedProgress Progress;
  try {
    RawCameraLoad(Stream.get(), &Bitmap, Params, false, Progress.Record);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), ": Out of memory in RawCameraLoad()");
  }
}

// Sensors a file cannot hold are refused before the loader runs (no loader progress), the bitmap as it
// was; a coded frame that ends of itself short of the sensor fails after it; data that run out keep the
// rows read, with the abort byte set.
TEST_F(RawCameraLoadTest, SensorDataTheFileCannotHold) {
  RawCameraStages().Output = StandInOutput;
  const Bytes Frame2x2 = LosslessJpeg(2, 2, std::vector<int32_t>(8, 100));  // 8 samples: a 4 x 2 sensor
  auto WithData = [](uint32_t W, uint32_t H, uint32_t Flags, const Bytes& Data) {
    Bytes B = CameraFile(W, H, Flags, 0);
    B.insert(B.end(), Data.begin(), Data.end());
    return B;
  };
  Bytes CutFrame(Frame2x2.begin(), Frame2x2.end() - 4);
  struct Case {
    const char* Name;
    Bytes File;
    bool Aborts, Written, LoaderRan;
  } Cases[] = {
      {"eight-bit, whole", CameraFile(6, 4, 4, 24), false, true, true},
      {"eight-bit, a byte short", CameraFile(6, 4, 4, 23), true, true, true},
      {"eight-bit 4000 x 4000 in 16 bytes", CameraFile(4000, 4000, 4, 16), true, false, false},
      {"lossless frame covering the sensor", WithData(4, 2, 12, Frame2x2), false, true, true},
      {"lossless frame cut in its data", WithData(4, 2, 12, CutFrame), true, true, true},
      {"lossless 2 x 2 frame for 4000 x 4000", WithData(4000, 4000, 12, Frame2x2), true, false, false},
      {"lossless 2 x 2 frame and padding for 400 x 400", WithData(400, 400, 12, [&] {
         Bytes B = Frame2x2;
         B.resize(B.size() + 400 * 400 / 8, 0);
         return B;
       }()),
       true, false, true},
  };
  for (const Case& K : Cases) {
    auto Stream = formattest::StreamOf(K.File);
    TIEBitmap Bitmap(3, 2, ie24RGB);
    Bitmap.GetScanline(1)[0] = 9;
    TIOParamsVals Params(nullptr);
    LoggedProgress Progress;
    RawCameraLoad(Stream.get(), &Bitmap, Params, false, Progress.Record);
    EXPECT_EQ(Progress.Abort, K.Aborts ? 1 : 0) << K.Name;
    const bool Coloured = std::find(Progress.Reports.begin(), Progress.Reports.end(), 70) != Progress.Reports.end();
    EXPECT_EQ(Coloured, K.Written) << K.Name;
    EXPECT_EQ(!Progress.Reports.empty(), K.LoaderRan) << K.Name;
    if (!K.Written) {
      EXPECT_EQ(Bitmap.GetWidth(), 3) << K.Name;
      EXPECT_EQ(Bitmap.GetScanline(1)[0], 9) << K.Name;
    } else {
      EXPECT_NE(Bitmap.GetWidth(), 3) << K.Name;
    }
  }
}

TEST_F(RawCameraLoadTest, ThumbnailMode) {
  // A file the identification does not know but whose metadata hold a thumbnail: the thumbnail, no abort.
  RawCameraStages().ReadCiffMetadata = StandInThumbnail;
  auto Stream = formattest::StreamOf(Bytes(64, 0x21));
  TIEBitmap Bitmap;
  TIOParamsVals Params(nullptr);
  Params.RawLoadThumbnail = 1;
  LoggedProgress Progress;
  RawCameraLoad(Stream.get(), &Bitmap, Params, false, Progress.Record);
  EXPECT_EQ(Progress.Abort, 0);
  EXPECT_EQ(Bitmap.GetWidth(), 4);
  EXPECT_EQ(Bitmap.GetHeight(), 3);
  EXPECT_EQ(Params.RawLoadThumbnail, 1);

  // Without a thumbnail the full decode follows.
  RawCameraStages().ReadCiffMetadata = nullptr;
  RawCameraStages().Output = StandInOutput;
  auto File = formattest::StreamOf(CameraFile(6, 4, 4, 24));
  TIEBitmap Decoded;
  TIOParamsVals Fresh(nullptr);
  Fresh.RawLoadThumbnail = 1;
  LoggedProgress Full;
  RawCameraLoad(File.get(), &Decoded, Fresh, false, Full.Record);
  EXPECT_EQ(Full.Abort, 0);
  EXPECT_EQ(Decoded.GetWidth(), 6);
}

TEST_F(RawCameraLoadTest, FormatTestKeepsThePosition) {
  for (const Bytes& Data : {CameraFile(8, 8, 0, 64), Bytes(40, 0x11)})
    for (int64_t Position : {0, 3}) {
      Bytes Prefixed(size_t(Position), 0);
      Prefixed.insert(Prefixed.end(), Data.begin(), Data.end());
      auto Stream = formattest::StreamOf(Position == 0 ? Data : Prefixed);
      Stream->SetPosition(Position);
      EXPECT_EQ(IsCameraRawStream(Stream.get()), Data.size() > 40 && Position == 0);
      EXPECT_EQ(Stream->Position(), Position);
    }
}

// ---- Bit layouts ---------------------------------------------------------------------------------------------

// Packers written from the layouts' other reading: a most-significant-first bit stream (D), the same
// over little-endian 16-bit words (B), two 10-bit pairs of low bits gathered in bytes 1 and 9 (A), and
// 12-bit pairs kept as three bytes in a shuffled order (C).
Bytes PackBitStream(const std::vector<uint16_t>& S, int32_t Bits) {
  TBitWriter W;
  for (uint16_t V : S) W.Put(V, Bits);
  return W.Finish();
}

TEST(RawLayouts, UnpackWhatTheOtherReadingPacks) {
  uint32_t Seed = 99;
  for (int32_t Round = 0; Round < 50; ++Round) {
    std::vector<uint16_t> S10(8), S12(8);
    for (int32_t i = 0; i < 8; ++i) {
      Seed = Seed * 1664525u + 1013904223u;
      S10[size_t(i)] = uint16_t(Seed >> 22);
      S12[size_t(i)] = uint16_t(Seed >> 20);
    }
    uint16_t Out[8];
    // A
    uint8_t A[10];
    for (int32_t i = 0; i < 4; ++i) A[i == 0 ? 0 : i + 1] = uint8_t(S10[size_t(i)] >> 2);
    for (int32_t i = 4; i < 8; ++i) A[i + 1] = uint8_t(S10[size_t(i)] >> 2);
    A[1] = uint8_t((S10[0] & 3) << 6 | (S10[1] & 3) << 4 | (S10[2] & 3) << 2 | (S10[3] & 3));
    A[9] = uint8_t((S10[7] & 3) << 6 | (S10[6] & 3) << 4 | (S10[5] & 3) << 2 | (S10[4] & 3));
    UnpackLayoutA(A, Out);
    for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(Out[i], S10[size_t(i)]) << "A " << i;
    // B
    const Bytes Stream = PackBitStream(S10, 10);
    uint8_t B[10];
    for (int32_t w = 0; w < 5; ++w) {
      B[2 * w] = Stream[size_t(2 * w + 1)];
      B[2 * w + 1] = Stream[size_t(2 * w)];
    }
    UnpackLayoutB(B, Out);
    for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(Out[i] & 0x3FF, S10[size_t(i)]) << "B " << i;
    // C
    uint8_t Cb[12];
    const int32_t Places[4][3] = {{3, 2, 1}, {0, 7, 6}, {5, 4, 11}, {10, 9, 8}};
    for (int32_t p = 0; p < 4; ++p) {
      const uint16_t E = S12[size_t(2 * p)], O = S12[size_t(2 * p + 1)];
      Cb[Places[p][0]] = uint8_t(E >> 4);
      Cb[Places[p][1]] = uint8_t((E & 15) << 4 | O >> 8);
      Cb[Places[p][2]] = uint8_t(O);
    }
    UnpackLayoutC(Cb, Out);
    for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(Out[i] & 0xFFF, S12[size_t(i)]) << "C " << i;
    // D
    const Bytes D = PackBitStream({S10[0], S10[1], S10[2], S10[3]}, 10);
    UnpackLayoutD(D.data(), Out);
    for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(Out[i] & 0x3FF, S10[size_t(i)]) << "D " << i;
  }
}

// ---- Row orders and placements ----------------------------------------------------------------------------

TEST(RawLoaders, Canon600RowOrder) {
  for (int32_t Height : {613, 612}) {
    // Every sample of the k-th row read holds k + 1.
    Bytes File;
    for (int32_t k = 0; k < Height; ++k) {
      std::vector<uint16_t> Row(896, uint16_t(k + 1));
      for (int32_t g = 0; g < 112; ++g) {
        const uint16_t* S = &Row[size_t(g * 8)];
        uint8_t A[10];
        for (int32_t i = 0; i < 4; ++i) A[i == 0 ? 0 : i + 1] = uint8_t(S[i] >> 2);
        for (int32_t i = 4; i < 8; ++i) A[i + 1] = uint8_t(S[i] >> 2);
        A[1] = uint8_t((S[0] & 3) << 6 | (S[1] & 3) << 4 | (S[2] & 3) << 2 | (S[3] & 3));
        A[9] = uint8_t((S[7] & 3) << 6 | (S[6] & 3) << 4 | (S[5] & 3) << 2 | (S[4] & 3));
        File.insert(File.end(), A, A + 10);
      }
    }
    TContextOver X(File, Height, 854);
    Canon600LoadRaw(*X.C);
    EXPECT_EQ(X.Abort, 0);
    std::vector<int32_t> Order;
    for (int32_t r = 0; r < Height; r += 2) Order.push_back(r);
    for (int32_t r = 1; r < Height; r += 2) Order.push_back(r);
    for (int32_t k = 0; k < Height; ++k) EXPECT_EQ(X.At(Order[size_t(k)], 853), (k + 1) << 4) << "read " << k;
    // The black level: the mean of the 42 margin columns, shifted like the samples.
    EXPECT_EQ(X.C->Black, (Height + 1) * 16 / 2);
  }
}

TEST(RawLoaders, NikonE2100EvenRowsThenOddRows) {
  // Height 5: rows 0, 2, 4, a gap of 424 bytes, rows 1, 3. The k-th row read holds k + 1 in its first sample.
  Bytes File;
  for (int32_t k = 0; k < 5; ++k) {
    if (k == 3) File.insert(File.end(), 424, 0xEE);
    Bytes Row(12, 0);
    Row[3] = uint8_t(k + 1);
    File.insert(File.end(), Row.begin(), Row.end());
  }
  TContextOver X(File, 5, 8);
  NikonE2100LoadRaw(*X.C);
  EXPECT_EQ(X.Abort, 0);
  const int32_t Rows[5] = {0, 2, 4, 1, 3};
  for (int32_t k = 0; k < 5; ++k) EXPECT_EQ(X.At(Rows[k], 0), (k + 1) << 4 << 2) << "read " << k;
}

TEST(RawLoaders, NikonInterlacedJumpToTheMiddle) {
  // Twelve-bit samples: 1 in the first half of the file, 2 in the second.
  auto Half = [](uint16_t V) {
    TBitWriter W;
    for (int32_t i = 0; i < 20; ++i) W.Put(V, 12);
    return W.Finish();
  };
  Bytes File = Half(1);
  const Bytes Second = Half(2);
  File.insert(File.end(), Second.begin(), Second.end());
  struct Case {
    const char* Model;
    int32_t Rows13;  // what rows 1 and 3 hold
  } Cases[] = {{"E4300", 2 << 2}, {"E5700", 1 << 2}, {"D1", 1 << 2}};
  for (const Case& K : Cases) {
    TContextOver X(File, 4, 2);
    std::strcpy(X.C->Model, K.Model);
    NikonLoadRaw(*X.C);
    EXPECT_EQ(X.At(0, 0), 1 << 2) << K.Model;
    EXPECT_EQ(X.At(2, 1), 1 << 2) << K.Model;
    EXPECT_EQ(X.At(1, 0), K.Rows13) << K.Model;
    EXPECT_EQ(X.At(3, 1), K.Rows13) << K.Model;
  }
}

TEST(RawLoaders, RolleiPairsThenThreeFromTheGatheredHighBits) {
  // A 4 x 2 sensor: samples 0..4 from the byte pairs, 5..7 from the six high bits of the even bytes.
  const Bytes File = {0x01, 0x04, 0x23, 0x08, 0x45, 0x0C, 0x67, 0x10, 0x89, 0x14};
  TContextOver X(File, 2, 4);
  RolleiLoadRaw(*X.C);
  EXPECT_EQ(X.Abort, 0);
  const int32_t Want[8] = {0x104, 0x308, 0x10C, 0x310, 0x114, 2, 69, 610};
  for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(X.At(i / 4, i % 4), Want[i] << 4) << i;
}

TEST(RawLoaders, KodakEasyBlackFromTheMargins) {
  // Two rows of 6 bytes, 4 visible from column 1: the margins hold 10, 20 and 30, 40.
  const Bytes File = {10, 1, 2, 3, 4, 20, 30, 5, 6, 7, 8, 40};
  struct Case {
    const char* Model;
    int32_t Black;
  } Cases[] = {{"DCS460", (10 + 20 + 30 + 40) * 4 / 4}, {"DC25", 0}};
  for (const Case& K : Cases) {
    TContextOver X(File, 2, 4, 2, 6);
    X.C->LeftMargin = 1;
    std::strcpy(X.C->Model, K.Model);
    KodakEasyLoadRaw(*X.C);
    EXPECT_EQ(X.C->Black, K.Black) << K.Model;
    EXPECT_EQ(X.At(0, 0), 1 << 2);
    EXPECT_EQ(X.At(1, 3), 8 << 2);
  }
}

TEST(RawLoaders, FujiTurnedPlacement) {
  // Row r, word c of the S7000 layout lands on row 2047 - c + r / 2, column c + (r + 1) / 2.
  Bytes File;
  for (int32_t r = 0; r < 3; ++r)
    for (int32_t c = 0; c < 2048; ++c) {
      const uint16_t V = uint16_t(r * 4096 + c);
      File.insert(File.end(), {uint8_t(V), uint8_t(V >> 8)});
    }
  TContextOver X(File, 4100, 2100);
  FujiS7000LoadRaw(*X.C);
  EXPECT_EQ(X.C->FujiLayout, 1);
  EXPECT_EQ(X.Abort, 1) << "the file holds 3 of its 3080 rows";
  EXPECT_EQ(X.At(2047, 0), 0 << 2);
  EXPECT_EQ(X.At(2047 - 5, 5), 5 << 2);
  EXPECT_EQ(X.At(2047 - 7 + 1, 7 + 1), (2 * 4096 + 7) << 2 & 0xFFFF);
  EXPECT_EQ(X.At(2047 - 9, 9 + 1), (4096 + 9) << 2 & 0xFFFF);
}

TEST(RawLoaders, TurnedFoldedAndRotatedRows) {
  // Ixpress: from 49384, little-endian rows of 4090 words read bottom up, each mirrored.
  {
    Bytes File(49384, 0);
    for (int32_t k = 0; k < 2; ++k)
      for (int32_t j = 0; j < 4090; ++j) File.insert(File.end(), {uint8_t(k * 100 + j), 0});
    TContextOver X(File, 2, 3);
    IxpressLoadRaw(*X.C);
    EXPECT_EQ(X.Abort, 0);
    for (int32_t c = 0; c < 3; ++c) {
      EXPECT_EQ(X.At(1, c), 2 - c);
      EXPECT_EQ(X.At(0, c), 100 + 2 - c);
    }
  }
  // DC120: row r starts at byte (r x m + a) mod 848 of its 848, for (m, a) by r mod 4.
  {
    Bytes File;
    for (int32_t r = 0; r < 4; ++r)
      for (int32_t j = 0; j < 848; ++j) File.push_back(uint8_t(j));
    TContextOver X(File, 4, 4);
    KodakDC120LoadRaw(*X.C);
    EXPECT_EQ(X.At(0, 3), 3 << 6);
    EXPECT_EQ(X.At(1, 0), (828 % 256) << 6);
    EXPECT_EQ(X.At(2, 1), (799 % 256) << 6);
    EXPECT_EQ(X.At(3, 0), (488 % 256) << 6);
  }
  // Nucore "B" models 2598 wide: the rows come folded, the odd ones from the lower half.
  {
    Bytes File;
    for (int32_t k = 0; k < 4; ++k) {
      Bytes Row(2598 * 2, 0);
      Row[0] = uint8_t(k + 1);
      Row[1] = 1;
      File.insert(File.end(), Row.begin(), Row.end());
    }
    for (const char* Model : {"BMQ", "RAW"}) {
      TContextOver X(File, 4, 2598);
      std::strcpy(X.C->Model, Model);
      NucoreLoadRaw(*X.C);
      const int32_t Rows[4] = {3, 1, 2, 0};
      for (int32_t k = 0; k < 4; ++k)
        EXPECT_EQ(X.At(Model[0] == 'B' ? Rows[k] : k, 0), ((k + 1) << 2 | 1 << 10)) << Model << " read " << k;
    }
  }
}

TEST(RawLoaders, UnpackedShifts) {
  struct Case {
    bool BigEndian;
    int32_t Shift;
    uint16_t Word;
    int32_t Stored;
  } Cases[] = {{true, -4, 0x0FFF, 0xFFF0}, {true, 2, 0x0FFF, 0x03FF}, {true, 0, 0x1234, 0x1234},
               {true, -2, 0x3FFF, 0xFFFC}, {false, 2, 0x0FFF, 0x03FF}, {true, -4, 0x1FFF, 0xFFF0}};
  for (const Case& K : Cases) {
    const Bytes File = K.BigEndian ? Bytes{uint8_t(K.Word >> 8), uint8_t(K.Word), 0xAA, 0xBB}
                                   : Bytes{uint8_t(K.Word), uint8_t(K.Word >> 8), 0xAA, 0xBB};
    TContextOver X(File, 1, 1, 1, 2);
    UnpackedLoadRaw(*X.C, K.BigEndian, K.Shift);
    EXPECT_EQ(X.At(0, 0), K.Stored) << K.Shift;
    EXPECT_EQ(X.Abort, 0);
  }
}

TEST(RawLoaders, KodakCurve) {
  struct Case {
    const char* Make;
    bool Tag2317;
    std::vector<uint16_t> Head;  // entries 0.. of the curve
    uint16_t Last;
    int32_t RgbMax;
  } Cases[] = {{"KODAK", false, {10, 20, 30}, 30, 120}, {"Kodak", true, {7, 9}, 9, 36}, {"Canon", false, {0, 1, 2}, 4095, 0x4000}};
  for (const Case& K : Cases) {
    Bytes File(400, 0);
    // The directory at 12: no entry, or tag 2317 pointing at 200 with two entries.
    if (K.Tag2317) {
      const uint8_t Entry[] = {1, 0, 0x0D, 0x09, 3, 0, 2, 0, 0, 0, 200, 0, 0, 0};
      std::memcpy(&File[12], Entry, sizeof Entry);
    }
    const size_t At = K.Tag2317 ? 200 : 100;
    for (size_t i = 0; i < K.Head.size(); ++i) {
      File[At + 2 * i] = uint8_t(K.Head[i]);
      File[At + 2 * i + 1] = uint8_t(K.Head[i] >> 8);
    }
    TContextOver X(File, 1, 1);
    std::strcpy(X.C->Make, K.Make);
    X.C->CurveOffset = 100;
    X.C->CurveLength = 3;
    X.C->DataOffset = 50;
    std::vector<uint16_t> Curve;
    KodakCurve(*X.C, Curve);
    ASSERT_EQ(Curve.size(), 4096u);
    for (size_t i = 0; i < K.Head.size(); ++i) EXPECT_EQ(Curve[i], K.Head[i]) << K.Make;
    EXPECT_EQ(Curve[4095], K.Last) << K.Make;
    EXPECT_EQ(Curve[K.Head.size()], K.Make[0] == 'C' ? K.Head.size() : K.Last);
    EXPECT_EQ(X.C->RgbMax, K.RgbMax);
    if (K.Make[0] != 'C') {
      EXPECT_EQ(X.Stream->Position(), 50);
    }
  }
}

TEST(RawLoaders, PhaseOneSeeksPastTheTopMargin) {
  constexpr int32_t RawWidth = 4, TopMargin = 20;
  Bytes File(400, 0);
  // Keys 0 at 8 + 4 + 296; the first visible row at 12 + 20 x 4 x 2.
  const size_t Row = 12 + size_t(TopMargin) * RawWidth * 2;
  const uint8_t Words[] = {0xFF, 0xFF, 0x00, 0x00, 0x12, 0x34, 0x12, 0x34};
  std::memcpy(&File[Row], Words, sizeof Words);
  TContextOver X(File, 1, 2, TopMargin + 1, RawWidth);
  X.C->ByteOrder = RawOrderMotorola;
  X.C->TopMargin = TopMargin;
  X.C->LeftMargin = 1;
  PhaseOneLoadRaw(*X.C);
  EXPECT_EQ(X.At(0, 0), 0xAAAA);
  EXPECT_EQ(X.At(0, 1), 0x1234);
}

TEST(RawLoaders, SonyRowsWithoutKeyWordsAbort) {
  TContextOver X(Bytes(900000, 0x11), 2, 1, 2, 1);
  SonyLoadRaw(*X.C);
  EXPECT_EQ(X.Abort, 1);
  TContextOver Y(Bytes(900000, 0x11), 10, 2, 10, 3360);
  SonyLoadRaw(*Y.C);
  EXPECT_EQ(Y.Abort, 1) << "rows past the end of the file";
  EXPECT_NE(Y.At(0, 0), 0);
}

TEST(RawLoaders, SonyKeyStream) {
  TRawCameraContext C;
  C.SonyKey = 0x12345678;
  std::vector<uint32_t> Plain(10);
  std::iota(Plain.begin(), Plain.end(), 1000u);
  auto Once = Plain;
  SonyDecrypt(C, Once.data(), 10, true);
  EXPECT_NE(Once, Plain);
  auto Twice = Once;
  SonyDecrypt(C, Twice.data(), 10, true);
  EXPECT_EQ(Twice, Plain);
  auto Split = Plain;
  SonyDecrypt(C, Split.data(), 5, true);
  SonyDecrypt(C, Split.data() + 5, 5, false);
  EXPECT_EQ(Split, Once);
  C.SonyKey = 0x12345679;
  auto Other = Plain;
  SonyDecrypt(C, Other.data(), 10, true);
  EXPECT_NE(Other, Once);
}

// ---- Cut and corrupt data ---------------------------------------------------------------------------------

TEST(RawLoaders, CutDataKeepsTheRowsReadAndAborts) {
  struct Loader {
    const char* Name;
    void (*Run)(TRawCameraContext&);
    int32_t Height, Width, RawWidth;
    int64_t RowBytes;  // bytes of the first row
  } Loaders[] = {
      {"Canon 600", Canon600LoadRaw, 6, 854, 0, 1120},
      {"Canon A5", CanonA5LoadRaw, 6, 960, 992, 1240},
      {"plain Nikon", NikonLoadRaw, 6, 16, 0, 24},
      {"E2100", NikonE2100LoadRaw, 6, 16, 0, 24},
      {"E950", NikonE950LoadRaw, 6, 16, 0, 48},
      {"packed 12-bit", Packed12LoadRaw, 6, 16, 24, 24},
      {"unpacked", UnpackedLoadRawBE2, 6, 16, 0, 32},
      {"Olympus C", OlympusCLoadRaw, 6, 16, 0, 24},
      {"eight-bit", EightBitLoadRaw, 6, 16, 0, 16},
      {"QV-5700", CasioQV5700LoadRaw, 6, 16, 0, 3232},
      {"Nucore", NucoreLoadRaw, 6, 16, 0, 32},
      {"DC120", KodakDC120LoadRaw, 6, 16, 0, 848},
      {"Kodak easy", KodakEasyLoadRaw, 6, 16, 20, 20},
      {"Ixpress", IxpressLoadRaw, 6, 16, 0, 0},
      {"Phase One", PhaseOneLoadRaw, 6, 16, 0, 0},
      {"Rollei", RolleiLoadRaw, 6, 16, 0, 20},
      {"Fuji F700", FujiF700LoadRaw, 6, 16, 0, 0},
      {"Fuji S7000", FujiS7000LoadRaw, 6, 16, 0, 0},
      {"Sony", SonyLoadRaw, 6, 16, 0, 0},
  };
  for (const Loader& L : Loaders) {
    for (uint8_t Fill : {0x55, 0xFF}) {
      for (int64_t Size : {int64_t(0), int64_t(1), L.RowBytes}) {
        if (Size == 0 && L.RowBytes == 0) continue;
        Bytes Data(size_t(Size), Fill);
        TContextOver X(Data, L.Height, L.Width, 0, L.RawWidth);
        try {
          L.Run(*X.C);
        } catch (const Exception&) {
        }
        EXPECT_EQ(X.Abort, 1) << L.Name << ", " << Size << " bytes";
        if (Size == L.RowBytes && Size > 1 && L.Run != NikonE950LoadRaw && L.Run != OlympusCLoadRaw) {
          EXPECT_NE(X.At(0, 0), 0) << L.Name << ": the first row stays";
        }
      }
    }
  }
}

}  // namespace
