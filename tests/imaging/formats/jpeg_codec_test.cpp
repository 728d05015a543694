// The JPEG glue, reader and writer: the error manager and its messages, the stream source and
// destination, the ICC chunk collector, the reader's edge cases and damaged files, round trips through
// our own writer and reader, and files exchanged with cjpeg, djpeg and Pillow.
#include "imaging/formats/jpeg_codec.h"

#include <gtest/gtest.h>

#include <jpeglib.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/icc_profile.h"
#include "imaging/formats/jpeg_glue.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/cmyk_profile.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_globals.h"
#include "imaging/io/io_params.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/jpeg_fixture.h"
#include "tests/imaging/formats/oracle_tools.h"

namespace zv {
namespace {

using formattest::Bytes;
using formattest::BytesOf;
using formattest::LoggedProgress;
using formattest::StreamOf;
using jpegtest::AfterSoi;
using jpegtest::IccChunk;
using jpegtest::Segment;

class JpegTest : public formattest::FormatsLibraryTest {};

struct Written {
  Bytes File;
  uint8_t Abort = 0;
};

Written Encode(TIEBitmap* B, TIOParamsVals& P) {
  TMemoryStream S;
  LoggedProgress Progress;
  JpegWriteImage(&S, B, P, Progress.Record);
  return {BytesOf(S), Progress.Abort};
}

Written Encode(TIEBitmap* B, int ColorSpace = 2, int Quality = 90, int Sampling = 1, bool Progressive = false) {
  TIOParamsVals P(nullptr);
  P.JpegColorSpace = uint8_t(ColorSpace);
  P.JpegQuality = Quality;
  P.JpegSampling = uint8_t(Sampling);
  P.JpegProgressive = Progressive ? 1 : 0;
  return Encode(B, P);
}

struct ReadResult {
  uint8_t Abort = 0;
  int32_t Rows = 0;
  std::vector<int> Reports;
};

ReadResult Decode(const Bytes& File, TIEBitmap& B, TIOParamsVals& P, bool Native = false, bool ParamsOnly = false,
                  int64_t At = 0) {
  auto S = StreamOf(File);
  S->SetPosition(At);
  LoggedProgress Progress;
  ReadResult R;
  EXPECT_NO_THROW(R.Rows = JpegReadImage(S.get(), nullptr, &B, Native, -1, true, true, false, true, false, ParamsOnly,
                                         Progress.Record, P));
  R.Abort = Progress.Abort;
  R.Reports = Progress.Reports;
  return R;
}

TIEBitmap* Photo(int32_t W = 64, int32_t H = 48) {
  static TIEBitmap B;
  jpegtest::PaintPhoto(&B, W, H);
  return &B;
}

// Segments ahead of the first scan: code and payload.
std::vector<std::pair<uint8_t, Bytes>> SegmentsOf(const Bytes& F) {
  std::vector<std::pair<uint8_t, Bytes>> Out;
  size_t i = 2;
  while (i + 4 <= F.size() && F[i] == 0xFF) {
    const uint8_t Code = F[i + 1];
    const size_t L = (size_t(F[i + 2]) << 8) | F[i + 3];
    if (i + 2 + L > F.size()) break;
    Out.push_back({Code, Bytes(F.begin() + long(i) + 4, F.begin() + long(i + 2 + L))});
    if (Code == 0xDA) break;
    i += 2 + L;
  }
  return Out;
}

int CountSegments(const Bytes& F, uint8_t Code) {
  int N = 0;
  for (const auto& S : SegmentsOf(F)) N += S.first == Code;
  return N;
}

int MaxChannelDifference(TIEBitmap* A, TIEBitmap* B) {
  int Max = 0;
  for (int32_t y = 0; y < A->GetHeight(); ++y)
    for (int32_t x = 0; x < A->GetWidth(); ++x) {
      const TIERGB24 P = A->GetPixelAsRGB(x, y);
      const TIERGB24 Q = B->GetPixelAsRGB(x, y);
      Max = std::max({Max, std::abs(P.r - Q.r), std::abs(P.g - Q.g), std::abs(P.b - Q.b)});
    }
  return Max;
}

// ---- Glue ------------------------------------------------------------------------------------------------

TEST(JpegGlue, MessagesByCodeAndCorruptedBeyondTheTable) {
  const std::pair<int, std::string> Cases[] = {
      {0, "Bogus message code ?"},
      {21, "JPEG parameter struct mismatch: library thinks size is ?, caller expects ?"},
      {67, "Application transferred too few scanlines"},
      {73, ""},
      {123, "Application transferred too many scanlines"},
      {124, "Corrupted"},
      {JMSG_LASTMSGCODE, "Corrupted"},
      {-1, "Corrupted"},
  };
  for (const auto& [Code, Text] : Cases) EXPECT_EQ(JpegMessageText(Code), Text) << Code;
}

TEST(JpegGlue, Error21RaisesItsTextAndSetsAbort) {
  uint8_t Abort = 0;
  TJpegErrorManager Err;
  JpegInitErrorManager(Err, &Abort);
  jpeg_decompress_struct Info{};
  Info.err = &Err.Pub;
  try {
    JpegGuarded(Err, [&] { jpeg_CreateDecompress(&Info, JpegInterfaceVersion, sizeof Info - 8); });
    FAIL() << "no exception";
  } catch (const EIEJpegException& E) {
    EXPECT_EQ(E.Message(), "JPEG parameter struct mismatch: library thinks size is ?, caller expects ?");
  }
  EXPECT_EQ(Abort, 1);
}

TEST(JpegGlue, Code67SetsAbortAndRaisesNothing) {
  uint8_t Abort = 0;
  TJpegErrorManager Err;
  JpegInitErrorManager(Err, &Abort);
  jpeg_compress_struct Info{};
  Info.err = &Err.Pub;
  TMemoryStream S;
  JpegGuarded(Err, [&] { jpeg_CreateCompress(&Info, JpegInterfaceVersion, sizeof Info); });
  JpegStreamDestination(&Info, &S, &Abort);
  uint8_t Row[3 * 8] = {};
  JSAMPROW Line = Row;
  EXPECT_NO_THROW(JpegGuarded(Err, [&] {
    Info.image_width = 8;
    Info.image_height = 2;
    Info.input_components = 3;
    Info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&Info);
    jpeg_start_compress(&Info, TRUE);
    jpeg_write_scanlines(&Info, &Line, 1);
    jpeg_finish_compress(&Info);
  }));
  EXPECT_EQ(Err.Pub.msg_code, JpegCodeTooFewScanlines);
  EXPECT_EQ(Abort, 1);
  jpeg_destroy_compress(&Info);
  JpegFreeDestination(&Info);
}

TEST_F(JpegTest, TheCameraRawOperationsDecodeAndRaise) {
  const Bytes File = Encode(Photo(20, 12), 1).File;
  auto S = StreamOf(File);
  j_decompress_ptr Info = JpegNewDecompressor();
  TJpegErrorManager* Err = JpegNewErrorManager(Info);
  JpegCreateDecompressor(Info);
  JpegSetStreamSource(Info, S.get());
  EXPECT_EQ(JpegReadHeader(Info, true), JPEG_HEADER_OK);
  EXPECT_TRUE(JpegStartDecompress(Info));
  EXPECT_EQ(JpegOutputWidth(Info), 20);
  EXPECT_EQ(JpegOutputComponents(Info), 1);
  JSAMPARRAY Rows = JpegAllocRows(Info, JPOOL_IMAGE, JpegOutputWidth(Info), 1);
  int32_t Lines = 0;
  while (JpegOutputScanline(Info) < JpegOutputHeight(Info)) Lines += JpegReadScanlines(Info, Rows, 1);
  EXPECT_EQ(Lines, 12);
  JpegFinishDecompress(Info);
  // The same records read a file that is not one: the error comes out as an exception.
  auto Bad = StreamOf(Bytes{0x12, 0x34, 0x56});
  JpegSetStreamSource(Info, Bad.get());
  try {
    JpegReadHeader(Info, true);
    FAIL() << "no exception";
  } catch (const EIEJpegException& E) {
    EXPECT_EQ(E.Message(), "Not a JPEG file: starts with ?");
  }
  JpegDestroyDecompressor(Info);
  JpegFreeDecompressor(Info);
  JpegFreeErrorManager(Err);
}

// Accepts Room bytes in all, then nothing.
class ShortStream : public TMemoryStream {
public:
  explicit ShortStream(int64_t Room) : FRoom(Room) {}
  int64_t Write(const void* Buffer, int64_t Count) override {
    const int64_t N = std::min(Count, FRoom);
    FRoom -= N;
    return N > 0 ? TMemoryStream::Write(Buffer, N) : 0;
  }

private:
  int64_t FRoom;
};

TEST_F(JpegTest, ShortWritesAndEmptyStreamsSetAbort) {
  TIEBitmap B;
  jpegtest::PaintPhoto(&B, 400, 300);
  TIOParamsVals P(nullptr);
  P.JpegQuality = 100;
  for (int64_t Room : {int64_t(1000), int64_t(70000)}) {
    ShortStream S(Room);
    LoggedProgress Progress;
    JpegWriteImage(&S, &B, P, Progress.Record);
    EXPECT_EQ(Progress.Abort, 1) << Room;
  }
  TIEBitmap Target;
  Target.Allocate(3, 3, ie8g);
  const ReadResult R = Decode({}, Target, P);
  EXPECT_EQ(R.Abort, 1);
  EXPECT_EQ(Target.GetWidth(), 3);
}

TEST_F(JpegTest, IccChunksAreJoinedBySequenceAndMalformedOnesSkipped) {
  const Written Plain = Encode(Photo(16, 16));
  struct Case {
    const char* Name;
    std::vector<Bytes> Segments;  // APP2 payloads, in file order
    std::string Profile;
  };
  auto S = [](const std::string& T) { return Bytes(T.begin(), T.end()); };
  const Case Cases[] = {
      {"order 2, 1, 3", {IccChunk(2, 3, S("BBB")), IccChunk(1, 3, S("AAA")), IccChunk(3, 3, S("CC"))}, "AAABBBCC"},
      {"sequence 0 and above the count skipped",
       {IccChunk(0, 2, S("xx")), IccChunk(3, 2, S("yy")), IccChunk(1, 2, S("AA")), IccChunk(2, 2, S("BB"))},
       "AABB"},
      {"segment of length 3 skipped", {Bytes{'I'}, IccChunk(1, 1, S("AA"))}, "AA"},
      {"header cut before the count", {S(std::string("ICC_PROFILE\0\1", 13)), IccChunk(1, 1, S("AA"))}, "AA"},
      {"duplicate replaces and counts once", {IccChunk(1, 2, S("old")), IccChunk(1, 2, S("new")), IccChunk(2, 2, S("BB"))},
       "newBB"},
      {"count 255 with one chunk", {IccChunk(1, 255, S("ONE"))}, "ONE"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Bytes Insert;
    for (const Bytes& P : C.Segments) {
      const Bytes Seg = Segment(0xE2, P);
      Insert.insert(Insert.end(), Seg.begin(), Seg.end());
    }
    const Bytes File = AfterSoi(Plain.File, Insert);
    TIOParamsVals P(nullptr);
    auto Stream = StreamOf(File);
    JpegCollectIccProfile(Stream.get(), P);
    EXPECT_EQ(Stream->Position(), 0);
    ASSERT_NE(P.InputIcc(), nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(P.InputIcc()->ProfileData()), size_t(P.InputIcc()->ProfileSize())),
              C.Profile);
    // The image itself still reads.
    TIEBitmap B;
    TIOParamsVals Q(nullptr);
    EXPECT_EQ(Decode(File, B, Q).Abort, 0);
    EXPECT_EQ(B.GetWidth(), 16);
  }
}

// ---- Reader edge cases ------------------------------------------------------------------------------------

TEST_F(JpegTest, JunkBeforeTheImageAndFilesWithoutOne) {
  const Bytes Good = Encode(Photo(32, 16)).File;
  struct Case {
    const char* Name;
    Bytes File;
    bool Aborts;
  };
  Bytes Junk40(40, 0x55), Junk200(200, 0x55);
  Junk40.insert(Junk40.end(), Good.begin(), Good.end());
  Junk200.insert(Junk200.end(), Good.begin(), Good.end());
  const Case Cases[] = {
      {"40 bytes of junk", Junk40, false},
      {"200 bytes of junk", Junk200, true},
      {"empty", {}, true},
      {"SOI without a frame", {0xFF, 0xD8, 0xFF, 0xD9}, true},
      {"SOI and a comment", {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x04, 'h', 'i'}, true},
      {"cut after the header", Bytes(Good.begin(), Good.begin() + 200), true},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TIEBitmap B;
    B.Allocate(3, 2, ie8g);
    TIOParamsVals P(nullptr);
    const ReadResult R = Decode(C.File, B, P);
    EXPECT_EQ(R.Abort, C.Aborts ? 1 : 0);
    if (!C.Aborts) {
      EXPECT_EQ(B.GetWidth(), 32);
      EXPECT_EQ(R.Reports.back(), 100);
    } else if (std::string(C.Name) != "cut after the header") {
      EXPECT_EQ(B.GetWidth(), 3);  // unchanged
    }
  }
}

TEST_F(JpegTest, AFileCutInAScanAbortsAndKeepsTheRowsDecoded) {
  TIEBitmap* Src = Photo(64, 64);
  for (bool Progressive : {false, true}) {
    SCOPED_TRACE(Progressive);
    const Bytes Full = Encode(Src, 2, 90, 2, Progressive).File;
    TIEBitmap Whole, Cut;
    TIOParamsVals P(nullptr);
    ASSERT_EQ(Decode(Full, Whole, P).Abort, 0);
    const ReadResult R = Decode(Bytes(Full.begin(), Full.begin() + long(Full.size() * 6 / 10)), Cut, P);
    EXPECT_EQ(R.Abort, 1);
    if (!Progressive) {
      // The top rows came before the cut.
      for (int32_t x = 0; x < 64; ++x) EXPECT_EQ(Cut.GetPixelAsRGB(x, 0), Whole.GetPixelAsRGB(x, 0));
    }
  }
}

TEST_F(JpegTest, ScaleAutomaticAndFixed) {
  // A header claiming 4000 x 3000, read for its parameters only.
  Bytes Big = Encode(Photo(16, 16)).File;
  for (size_t i = 2; i + 9 < Big.size(); ++i)
    if (Big[i] == 0xFF && Big[i + 1] == 0xC0) {
      Big[i + 5] = 3000 >> 8, Big[i + 6] = 3000 & 255, Big[i + 7] = 4000 >> 8, Big[i + 8] = 4000 & 255;
      break;
    }
  struct Auto {
    int32_t W, H;
    uint32_t Denominator;
  };
  for (const Auto& C : {Auto{900, 700, 4}, Auto{1100, 700, 2}, Auto{0, 0, 1}, Auto{300, 200, 8}}) {
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.JpegScale = 0;
    P.Width = C.W;
    P.Height = C.H;
    EXPECT_EQ(Decode(Big, B, P, false, true).Abort, 0);
    EXPECT_EQ(P.JpegScaleUsed, C.Denominator) << C.W;
    EXPECT_EQ(P.Width, 4000);
    EXPECT_EQ(P.OriginalHeight, 3000);
  }
  const Bytes Small = Encode(Photo(64, 48)).File;
  struct Fixed {
    uint8_t Scale;
    int32_t W, H;
  };
  for (const Fixed& C : {Fixed{1, 64, 48}, Fixed{2, 32, 24}, Fixed{3, 16, 12}, Fixed{4, 8, 6}, Fixed{9, 64, 48}}) {
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.JpegScale = C.Scale;
    EXPECT_EQ(Decode(Small, B, P).Abort, 0);
    EXPECT_EQ(B.GetWidth(), C.W) << int(C.Scale);
    EXPECT_EQ(B.GetHeight(), C.H);
    EXPECT_EQ(P.Width, C.W);
  }
}

TEST_F(JpegTest, ResolutionFromTheJfifDensity) {
  const Bytes Base = Encode(Photo(16, 16)).File;
  ASSERT_EQ(std::string(Base.begin() + 6, Base.begin() + 10), "JFIF");
  struct Case {
    uint8_t Unit;
    int X, Y, DpiX, DpiY;
  };
  for (const Case& C : {Case{2, 118, 118, 46, 46}, Case{1, 300, 150, 300, 150}, Case{0, 1, 2, 1, 2}}) {
    Bytes F = Base;
    F[13] = C.Unit;
    F[14] = uint8_t(C.X >> 8), F[15] = uint8_t(C.X), F[16] = uint8_t(C.Y >> 8), F[17] = uint8_t(C.Y);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    EXPECT_EQ(Decode(F, B, P).Abort, 0);
    EXPECT_EQ(P.DpiX(), C.DpiX);
    EXPECT_EQ(P.DpiY(), C.DpiY);
  }
}

TEST_F(JpegTest, MarkersKeptInFileOrderButTheFirstApp0) {
  const Bytes Base = Encode(Photo(16, 16)).File;
  auto S = [](const std::string& T) { return Bytes(T.begin(), T.end()); };
  Bytes Insert;
  for (const Bytes& Seg : {Segment(0xE1, S(std::string("Exif\0\0MM", 8))), Segment(0xE2, IccChunk(1, 1, S("P"))),
                           Segment(0xFE, S("a comment")), Segment(0xE0, S("second"))})
    Insert.insert(Insert.end(), Seg.begin(), Seg.end());
  // Behind the writer's own JFIF APP0 (2 + 18 bytes).
  Bytes F(Base.begin(), Base.begin() + 20);
  F.insert(F.end(), Insert.begin(), Insert.end());
  F.insert(F.end(), Base.begin() + 20, Base.end());
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  ASSERT_EQ(Decode(F, B, P).Abort, 0);
  ASSERT_EQ(P.JpegMarkers.GetCount(), 4);
  const uint8_t Codes[] = {0xE1, 0xE2, 0xFE, 0xE0};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(P.JpegMarkers.GetMarkerType(i), Codes[i]);
  EXPECT_EQ(P.JpegMarkers.GetMarkerLength(2), 9);
}

TEST_F(JpegTest, GreyAndCmykWithAndWithoutNativeFormats) {
  TIEBitmap* Src = Photo(24, 16);
  const Bytes Grey = Encode(Src, 1).File;
  const Bytes Cmyk = Encode(Src, 3).File;
  struct Case {
    const Bytes* File;
    bool Native;
    TIEPixelFormat Format;
    int32_t Samples;
    uint8_t Space;
  };
  for (const Case& C : {Case{&Grey, true, ie8g, 1, 1}, Case{&Grey, false, ie24RGB, 1, 1},
                        Case{&Cmyk, true, ieCMYK, 4, 3}, Case{&Cmyk, false, ie24RGB, 4, 3}}) {
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    ASSERT_EQ(Decode(*C.File, B, P, C.Native).Abort, 0);
    EXPECT_EQ(B.GetPixelFormat(), C.Format);
    EXPECT_EQ(P.SamplesPerPixel, C.Samples);
    EXPECT_EQ(P.JpegColorSpace, C.Space);
    if (C.Format == ie24RGB && C.Samples == 1) {
      const TIERGB24 Px = B.GetPixelAsRGB(5, 5);
      EXPECT_TRUE(Px.r == Px.g && Px.g == Px.b);
    }
  }
}

// A two-component file, whose colour space the library does not know.
Bytes TwoComponentJpeg() {
  jpeg_compress_struct Info{};
  jpeg_error_mgr Err{};
  Info.err = jpeg_std_error(&Err);
  jpeg_create_compress(&Info);
  unsigned char* Out = nullptr;
  unsigned long Size = 0;
  jpeg_mem_dest(&Info, &Out, &Size);
  Info.image_width = 8;
  Info.image_height = 8;
  Info.input_components = 2;
  Info.in_color_space = JCS_UNKNOWN;
  jpeg_set_defaults(&Info);
  jpeg_set_colorspace(&Info, JCS_UNKNOWN);
  jpeg_start_compress(&Info, TRUE);
  uint8_t Row[16] = {};
  JSAMPROW Line = Row;
  for (int y = 0; y < 8; ++y) jpeg_write_scanlines(&Info, &Line, 1);
  jpeg_finish_compress(&Info);
  jpeg_destroy_compress(&Info);
  Bytes F(Out, Out + Size);
  std::free(Out);
  return F;
}

// A tables-only stream and an image that leaves its tables out, as JPEG-compressed TIFF strips store them.
std::pair<Bytes, Bytes> AbbreviatedJpeg(TIEBitmap* Src) {
  jpeg_compress_struct Info{};
  jpeg_error_mgr Err{};
  Info.err = jpeg_std_error(&Err);
  jpeg_create_compress(&Info);
  Info.image_width = JDIMENSION(Src->GetWidth());
  Info.image_height = JDIMENSION(Src->GetHeight());
  Info.input_components = 3;
  Info.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&Info);
  unsigned char* Out = nullptr;
  unsigned long Size = 0;
  jpeg_mem_dest(&Info, &Out, &Size);
  jpeg_write_tables(&Info);
  Bytes Tables(Out, Out + Size);
  std::free(Out);
  Out = nullptr;
  Size = 0;
  jpeg_mem_dest(&Info, &Out, &Size);
  jpeg_start_compress(&Info, FALSE);
  for (int32_t y = 0; y < Src->GetHeight(); ++y) {
    JSAMPROW Row = Src->GetScanline(y);
    jpeg_write_scanlines(&Info, &Row, 1);
  }
  jpeg_finish_compress(&Info);
  jpeg_destroy_compress(&Info);
  Bytes Image(Out, Out + Size);
  std::free(Out);
  return {Tables, Image};
}

TEST_F(JpegTest, TablesFromTheirOwnStreamAndARowLimit) {
  TIEBitmap* Src = Photo(32, 32);
  const auto [Tables, Image] = AbbreviatedJpeg(Src);
  struct Case {
    bool WithTables;
    int32_t RowLimit;
    int32_t Rows;
    uint8_t Abort;
  };
  for (const Case& C : {Case{true, -1, 32, 0}, Case{true, 10, 10, 0}, Case{false, -1, 0, 1}}) {
    SCOPED_TRACE(C.WithTables);
    auto S = StreamOf(Image);
    auto T = StreamOf(Tables);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    LoggedProgress Progress;
    const int32_t Rows = JpegReadImage(S.get(), C.WithTables ? T.get() : nullptr, &B, false, C.RowLimit, false, false,
                                       false, false, false, false, Progress.Record, P);
    EXPECT_EQ(Rows, C.Rows) << C.RowLimit;
    EXPECT_EQ(Progress.Abort, C.Abort) << C.RowLimit;
    if (C.Rows == 32) {
      EXPECT_GE(jpegtest::Psnr(Src, &B), 28);
    }
  }
}

TEST_F(JpegTest, AnUnknownColourSpaceAborts) {
  const Bytes F = TwoComponentJpeg();
  for (bool Native : {true, false}) {
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    EXPECT_EQ(Decode(F, B, P, Native).Abort, 1) << Native;
  }
}

TEST_F(JpegTest, TheThumbnailRequestRewindsToWhereTheJpegBegan) {
  const Bytes Image = Encode(Photo(20, 10)).File;
  Bytes F(300 + Image.size(), 0x11);
  std::copy(Image.begin(), Image.end(), F.begin() + 300);
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  P.JpegLoadThumbnail = 1;
  const ReadResult R = Decode(F, B, P, false, false, 300);
  EXPECT_EQ(R.Abort, 0);
  EXPECT_EQ(B.GetWidth(), 20);
  EXPECT_EQ(P.JpegLoadThumbnail, 1);
}

TEST_F(JpegTest, StreamLengthStopsAtTheFirstEndOfImage) {
  const Bytes Image = Encode(Photo(20, 10)).File;
  struct Case {
    const char* Name;
    Bytes File;
    int64_t Length;
  };
  Bytes Trailing = Image;
  Trailing.insert(Trailing.end(), {1, 2, 3, 0xFF, 0xD9});
  const Bytes NoEoi(Image.begin(), Image.end() - 2);
  for (const Case& C : {Case{"whole", Image, int64_t(Image.size())}, Case{"junk behind", Trailing, int64_t(Image.size())},
                        Case{"without EOI", NoEoi, int64_t(NoEoi.size())}, Case{"empty", {}, 0}}) {
    auto S = StreamOf(C.File);
    EXPECT_EQ(JpegStreamLength(S.get()), C.Length) << C.Name;
    EXPECT_EQ(S->Position(), 0);
  }
  auto S = StreamOf(Trailing);
  EXPECT_EQ(JpegFindSoi(S.get(), false), 0);
  S->SetPosition(1);
  EXPECT_EQ(JpegFindSoi(S.get(), false), -1);
  EXPECT_EQ(JpegFindSoi(S.get(), true), -1);
}

TEST_F(JpegTest, AHeaderClaimingMoreThanTheStreamCanHoldAborts) {
  Bytes Big = Encode(Photo(16, 16)).File;
  for (size_t i = 2; i + 9 < Big.size(); ++i)
    if (Big[i] == 0xFF && Big[i + 1] == 0xC0) {
      Big[i + 5] = 0xFF, Big[i + 6] = 0xF0, Big[i + 7] = 0xFF, Big[i + 8] = 0xF0;
      break;
    }
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  EXPECT_EQ(Decode(Big, B, P).Abort, 1);
  EXPECT_TRUE(B.IsEmpty());
}

TEST_F(JpegTest, CorruptDataIsCountedAsWarnings) {
  Bytes F = Encode(Photo(64, 64)).File;
  // Bytes in the middle of the coded data: a marker that is not a restart.
  const size_t Mid = F.size() / 2;
  F[Mid] = 0xFF;
  F[Mid + 1] = 0xD3;
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  Decode(F, B, P);
  EXPECT_GT(P.JpegWarningCount, 0);
  EXPECT_NE(P.JpegWarningCode, 0);
  EXPECT_EQ(B.GetWidth(), 64);
}

// The built-in CMYK profile, inflated.
Bytes CmykProfileBytes() {
  Bytes Out(static_cast<size_t>(CmykProfileInflatedSize));
  uLongf Size = uLongf(Out.size());
  EXPECT_EQ(uncompress(Out.data(), &Size, CmykProfileData, uLong(CmykProfileDataSize)), Z_OK);
  Out.resize(Size);
  return Out;
}

TEST_F(JpegTest, EmbeddedProfilesApplyWhenAskedAndTheirMarkersGo) {
  const Bytes Profile = CmykProfileBytes();
  TIOParamsVals W(nullptr);
  W.JpegColorSpace = 3;
  W.JpegQuality = 95;
  const size_t Half = Profile.size() / 2;
  W.JpegMarkers.AddMarker(0xE2, IccChunk(2, 2, Bytes(Profile.begin() + long(Half), Profile.end())).data(),
                          int32_t(14 + Profile.size() - Half));
  W.JpegMarkers.AddMarker(0xE2, IccChunk(1, 2, Bytes(Profile.begin(), Profile.begin() + long(Half))).data(),
                          int32_t(14 + Half));
  const Written F = Encode(Photo(32, 24), W);
  ASSERT_EQ(F.Abort, 0);
  EXPECT_EQ(CountSegments(F.File, 0xE2), 2);

  TIEBitmap Plain, Managed;
  TIOParamsVals P(nullptr), Q(nullptr);
  ASSERT_EQ(Decode(F.File, Plain, P).Abort, 0);
  ASSERT_NE(P.InputIcc(), nullptr);
  EXPECT_EQ(P.InputIcc()->ProfileSize(), int32_t(Profile.size()));
  EXPECT_TRUE(P.InputIcc()->IsValid());
  EXPECT_GE(P.JpegMarkers.IndexOf(0xE2), 0);  // kept while nothing was applied

  ApplyEmbeddedProfiles = true;
  const ReadResult R = Decode(F.File, Managed, Q);
  ApplyEmbeddedProfiles = false;
  ASSERT_EQ(R.Abort, 0);
  EXPECT_EQ(Q.JpegMarkers.IndexOf(0xE2), -1);
  EXPECT_TRUE(Q.InputIcc()->Applied);
  // The same profile either way, so nearly the same colours.
  EXPECT_GE(jpegtest::Psnr(&Plain, &Managed), 30);
}

// ---- Round trips ---------------------------------------------------------------------------------------------

TEST_F(JpegTest, RoundTripsKeepTheirSamplingAndAQualityFloor) {
  TIEBitmap Grey;
  Grey.Allocate(64, 48, ie24RGB);
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 64; ++x) {
      const uint8_t v = uint8_t(x * 3 + y * 2);
      Grey.SetRGB(x, y, TIERGB24{v, v, v});
    }
  struct Case {
    const char* Name;
    int Space, Sampling, Quality;
    bool Progressive;
    uint8_t LumaSampling;  // the first component's factors in the frame header
    double MinPsnr;
  };
  const Case Cases[] = {
      {"grey q90", 1, 1, 90, false, 0x11, 38},       {"4:4:4 q95", 2, 2, 95, false, 0x11, 38},
      {"4:2:2 q90", 2, 0, 90, false, 0x21, 30},      {"4:2:0 q90", 2, 1, 90, false, 0x22, 29},
      {"4:2:0 q50", 2, 1, 50, false, 0x22, 26},      {"progressive q90", 2, 1, 90, true, 0x22, 29},
      {"RGB q95", 0, 1, 95, false, 0x11, 36},        {"CMYK q95", 3, 1, 95, false, 0x11, 22},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TIEBitmap* Src = C.Space == 1 ? &Grey : Photo(64, 48);
    const Written W = Encode(Src, C.Space, C.Quality, C.Sampling, C.Progressive);
    ASSERT_EQ(W.Abort, 0);
    uint8_t Factors = 0;
    for (const auto& S : SegmentsOf(W.File))
      if (S.first == 0xC0 || S.first == 0xC2) {
        Factors = S.second[7];
        EXPECT_EQ(S.first == 0xC2, C.Progressive);
      }
    EXPECT_EQ(Factors, C.LumaSampling);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    ASSERT_EQ(Decode(W.File, B, P).Abort, 0);
    EXPECT_EQ(P.JpegProgressive, C.Progressive ? 1 : 0);
    EXPECT_GE(jpegtest::Psnr(Src, &B), C.MinPsnr);
  }
}

TEST_F(JpegTest, RgbFilesHaveNoJfifHeaderAndKeptApp14IsNeverDoubled) {
  TIEBitmap Red;
  Red.Allocate(16, 16, ie24RGB);
  Red.Fill(0);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) Red.SetRGB(x, y, TIERGB24{0, 0, 255});
  const Bytes Adobe = {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 1};
  struct Case {
    int Space;
    int App14;
    bool Jfif;
  };
  for (const Case& C : {Case{0, 1, false}, Case{3, 1, true}, Case{2, 0, true}}) {
    SCOPED_TRACE(C.Space);
    TIOParamsVals P(nullptr);
    P.JpegColorSpace = uint8_t(C.Space);
    P.JpegQuality = 95;
    P.JpegMarkers.AddMarker(0xEE, Adobe.data(), int32_t(Adobe.size()));
    const Written W = Encode(&Red, P);
    ASSERT_EQ(W.Abort, 0);
    EXPECT_EQ(CountSegments(W.File, 0xEE), C.App14);
    EXPECT_EQ(CountSegments(W.File, 0xE0), C.Jfif ? 1 : 0);
  }
  // What djpeg makes of an RGB file: red where we painted red.
  const std::string Djpeg = oracle::FindProgram("djpeg");
  if (Djpeg.empty()) GTEST_SKIP() << "djpeg is not installed";
  const Written W = Encode(&Red, 0, 95);
  oracle::WriteFile(oracle::TempPath("jpeg_rgb.jpg"), W.File);
  ASSERT_EQ(oracle::Run(oracle::Quoted(Djpeg) + " -outfile " + oracle::TempPath("jpeg_rgb.ppm") + " " +
                        oracle::TempPath("jpeg_rgb.jpg")).Status, 0);
  TIEBitmap D;
  ASSERT_TRUE(jpegtest::FromPnm(oracle::ReadFile(oracle::TempPath("jpeg_rgb.ppm")), &D));
  const TIERGB24 First = D.GetPixelAsRGB(0, 0);
  EXPECT_GE(First.r, 250);
  EXPECT_LE(First.g, 5);
  EXPECT_LE(First.b, 5);
}

// ---- Files exchanged with the command-line tools and Pillow -----------------------------------------------

TEST_F(JpegTest, FilesOfCjpegAndPillowReadAsDjpegReadsThem) {
  const std::string Cjpeg = oracle::FindProgram("cjpeg");
  const std::string Djpeg = oracle::FindProgram("djpeg");
  const std::string Python = oracle::PythonWithPillow();
  if (Cjpeg.empty() || Djpeg.empty() || Python.empty()) GTEST_SKIP() << "cjpeg, djpeg or Pillow missing";
  TIEBitmap* Src = Photo(61, 47);
  const std::string Ppm = oracle::TempPath("jpeg_src.ppm");
  oracle::WriteFile(Ppm, jpegtest::ToPnm(Src));
  struct Case {
    const char* Name;
    std::string Command;  // writes the JPEG named by the last argument
  };
  const std::string Out = oracle::TempPath("jpeg_oracle.jpg");
  const Case Cases[] = {
      {"cjpeg baseline", Cjpeg + " -quality 85 -outfile " + Out + " " + Ppm},
      {"cjpeg progressive 4:4:4", Cjpeg + " -progressive -sample 1x1 -outfile " + Out + " " + Ppm},
      {"cjpeg grey", Cjpeg + " -grayscale -outfile " + Out + " " + Ppm},
      {"cjpeg optimised restart", Cjpeg + " -optimize -restart 2 -outfile " + Out + " " + Ppm},
      {"Pillow 4:2:2", Python + " -c \"from PIL import Image; Image.open('" + Ppm + "').save('" + Out +
                            "', quality=80, subsampling=1)\""},
      {"Pillow CMYK", Python + " -c \"from PIL import Image; Image.open('" + Ppm + "').convert('CMYK').save('" + Out +
                          "', quality=90)\""},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::remove(Out.c_str());
    ASSERT_EQ(oracle::Run(C.Command).Status, 0);
    const std::string Reference = oracle::TempPath("jpeg_oracle_ref.ppm");
    ASSERT_EQ(oracle::Run(oracle::Quoted(Djpeg) + " -pnm -outfile " + Reference + " " + Out).Status, 0);
    TIEBitmap Expected;
    ASSERT_TRUE(jpegtest::FromPnm(oracle::ReadFile(Reference), &Expected));
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    ASSERT_EQ(Decode(oracle::ReadFile(Out), B, P).Abort, 0);
    ASSERT_EQ(B.GetWidth(), 61);
    if (std::string(C.Name) == "Pillow CMYK") {
      // djpeg hands CMYK over as it is; our reader converts, so only the decoding itself is compared.
      EXPECT_EQ(P.JpegColorSpace, 3);
      continue;
    }
    EXPECT_LE(MaxChannelDifference(&B, &Expected), 1);
  }
}

TEST_F(JpegTest, WhatWeWriteDecodesInDjpegAndPillow) {
  const std::string Djpeg = oracle::FindProgram("djpeg");
  const std::string Python = oracle::PythonWithPillow();
  if (Djpeg.empty() || Python.empty()) GTEST_SKIP() << "djpeg or Pillow missing";
  TIEBitmap* Src = Photo(50, 30);
  for (bool Progressive : {false, true}) {
    SCOPED_TRACE(Progressive);
    const Written W = Encode(Src, 2, 90, 1, Progressive);
    const std::string Path = oracle::TempPath("jpeg_ours.jpg");
    oracle::WriteFile(Path, W.File);
    const std::string Ppm = oracle::TempPath("jpeg_ours.ppm");
    ASSERT_EQ(oracle::Run(oracle::Quoted(Djpeg) + " -outfile " + Ppm + " " + Path).Status, 0);
    TIEBitmap D, B;
    ASSERT_TRUE(jpegtest::FromPnm(oracle::ReadFile(Ppm), &D));
    TIOParamsVals P(nullptr);
    ASSERT_EQ(Decode(W.File, B, P).Abort, 0);
    EXPECT_LE(MaxChannelDifference(&B, &D), 1);
    const oracle::RunResult R = oracle::Run(Python + " -c \"from PIL import Image; im = Image.open('" + Path +
                                            "'); im.load(); print(im.size, im.mode)\"");
    EXPECT_EQ(R.Status, 0);
    EXPECT_NE(R.Output.find("(50, 30) RGB"), std::string::npos) << R.Output;
  }
}

// ---- Through the I/O component ---------------------------------------------------------------------------------

TEST_F(JpegTest, TheIOComponentSavesIptcAsApp13AndLoadsItBack) {
  TImagingIO IO(nullptr);
  jpegtest::PaintPhoto(IO.WorkBitmap(), 40, 30);
  const std::string Caption = "harbour at dusk";
  IO.IOParams()->IptcInfo.AddData(2, 120, Caption.data(), int32_t(Caption.size()));
  TMemoryStream S;
  IO.SaveJpegStream(&S);
  ASSERT_EQ(IO.AbortFlag, 0);
  S.SetPosition(0);
  EXPECT_EQ(DetectStreamFormat(&S), ftJpeg);
  IO.IOParams()->IptcInfo.Clear();
  IO.WorkBitmap()->Allocate(1, 1, ie8g);
  IO.LoadFromStream(&S);
  ASSERT_EQ(IO.AbortFlag, 0);
  EXPECT_EQ(IO.IOParams()->FileType, ftJpeg);
  EXPECT_EQ(IO.WorkBitmap()->GetWidth(), 40);
  ASSERT_EQ(IO.IOParams()->IptcInfo.GetCount(), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(IO.IOParams()->IptcInfo.GetData(0)), Caption.size()), Caption);
  EXPECT_EQ(IO.IOParams()->JpegMarkers.IndexOf(0xED) >= 0, true);
}

}  // namespace
}  // namespace zv
