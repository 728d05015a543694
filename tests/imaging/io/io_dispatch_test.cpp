// The I/O component's dispatch: loads and saves by file name, file-type id and content through the
// format registry, their progress and finish, failures through the abort flag, rows added at run time,
// and the 12-byte stream headers of JPEG, TIFF and PCX.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/library_startup.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/format_wrappers.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_globals.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

TIERGB24 ColorAt(int x, int y, int Seed) {
  static const TIERGB24 Colors[4] = {{0, 0, 0}, {255, 255, 255}, {40, 200, 10}, {250, 20, 90}};
  return Colors[(x + 2 * y + Seed) % 4];
}

void Paint(TIEBitmap* B, int W, int H, int Seed) {
  B->Allocate(W, H, ie24RGB);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) B->SetRGB(x, y, ColorAt(x, y, Seed));
}

void ExpectPixels(TIEBitmap* B, int W, int H, int Seed) {
  ASSERT_EQ(B->GetWidth(), W);
  ASSERT_EQ(B->GetHeight(), H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) ASSERT_TRUE(B->GetPixelAsRGB(x, y) == ColorAt(x, y, Seed)) << x << "," << y;
}

void WriteFile(const std::string& Name, const Bytes& Data) {
  std::ofstream F(Name, std::ios::binary | std::ios::trunc);
  F.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
}

Bytes ReadFile(const std::string& Name) {
  std::ifstream F(Name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(F), {});
}

Bytes StreamBytes(TMemoryStream& S) {
  const auto* D = static_cast<const uint8_t*>(S.Memory());
  return Bytes(D, D + S.Size());
}

int32_t Le32At(const Bytes& B, size_t At) {
  return int32_t(uint32_t(B[At]) | (uint32_t(B[At + 1]) << 8) | (uint32_t(B[At + 2]) << 16) |
                 (uint32_t(B[At + 3]) << 24));
}

// ---- A tiny codec of our own: "TST!", width and height as int32, then B, G, R per pixel ------------------

constexpr uint32_t ftTest = 40;

void TestWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals&, TIEProgressRecord& Progress) {
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  Stream->WriteBuffer("TST!", 4);
  Stream->WriteBuffer(&W, 4);
  Stream->WriteBuffer(&H, 4);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const TIERGB24 C = Bitmap->GetPixelAsRGB(x, y);
      Stream->WriteBuffer(&C, 3);
    }
  Progress.Report(50);
}

void TestRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
              bool ParamsOnly) {
  char Magic[4];
  int32_t W = 0, H = 0;
  if (Stream->Read(Magic, 4) != 4 || std::memcmp(Magic, "TST!", 4) != 0 || Stream->Read(&W, 4) != 4 ||
      Stream->Read(&H, 4) != 4 || W <= 0 || H <= 0 || W > 64 || H > 64) {
    Progress.SetAborted();
    return;
  }
  Params.Width = W;
  Params.Height = H;
  if (ParamsOnly) return;
  Bitmap->Allocate(W, H, ie24RGB);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      TIERGB24 C;
      if (Stream->Read(&C, 3) != 3) {
        Progress.SetAborted();
        return;
      }
      Bitmap->SetRGB(x, y, C);
    }
  Progress.Report(50);
}

void ThrowingRead(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRecord&, bool) {
  throw std::runtime_error("broken codec");
}

bool TestTest(TStream* Stream, uint32_t) {
  char Magic[4];
  const int64_t P = Stream->Position();
  const bool Is = Stream->Read(Magic, 4) == 4 && std::memcmp(Magic, "TST!", 4) == 0;
  Stream->SetPosition(P);
  return Is;
}

class DispatchTest : public testing::Test {
protected:
  void SetUp() override {
    RegisterImagingIOStep();
    LibraryStartup();
    IO = std::make_unique<TImagingIO>(nullptr);
    Watch(IO.get());
  }
  void TearDown() override {
    IO.reset();
    LibraryShutdown();
  }
  void Watch(TImagingIO* Target) {
    Target->OnProgress = [this](TObject*, int Percent) { Progress.push_back(Percent); };
    Target->OnFinishWork = [this](TObject*) {
      ++Finishes;
      FinishedAfter100 = !Progress.empty() && Progress.back() == 100;
    };
  }
  void ResetEvents() {
    Progress.clear();
    Finishes = 0;
    FinishedAfter100 = false;
  }
  // One finish, right after progress reached 100.
  void ExpectOneFinish() {
    EXPECT_EQ(Finishes, 1);
    EXPECT_TRUE(FinishedAfter100);
  }
  std::string TempName(const std::string& Name) { return std::string(ZV_TEST_TMP) + "/io_dispatch_" + Name; }
  void PrepareImage(uint32_t FileType, int W, int H, int Seed) {
    Paint(IO->WorkBitmap(), W, H, Seed);
    // Four colours fit a GIF's 2-bit palette exactly.
    IO->IOParams()->BitsPerSample = FileType == ftGif ? 2 : 8;
    IO->IOParams()->SamplesPerPixel = 3;
  }
  void InstallTestCodec(uint32_t FileType) {
    TIEFileFormatInfo* Row = FindFormatInfoByType(FileType);
    ASSERT_NE(Row, nullptr);
    Row->ReadProc = TestRead;
    Row->WriteProc = TestWrite;
  }

  std::unique_ptr<TImagingIO> IO;
  std::vector<int> Progress;
  int Finishes = 0;
  bool FinishedAfter100 = false;
};

// ---- BMP and GIF through the dispatch ----

TEST_F(DispatchTest, BmpAndGifSaveAndLoadByFileNameWithProgressAndFinish) {
  struct Case {
    const char* Name;
    uint32_t FileType;
  };
  // The extension is compared in lower case.
  for (const Case& C : {Case{"by_name.bmp", ftBmp}, Case{"by_name.DIB", ftBmp}, Case{"by_name.GIF", ftGif}}) {
    SCOPED_TRACE(C.Name);
    const std::string Name = TempName(C.Name);
    PrepareImage(C.FileType, 7, 5, 1);
    ResetEvents();
    IO->SaveToFile(Name);
    EXPECT_EQ(IO->AbortFlag, 0);
    EXPECT_EQ(IO->IOParams()->FileType, C.FileType);
    EXPECT_EQ(IO->IOParams()->FileName, Name);
    ExpectOneFinish();

    using Load = std::function<void(TImagingIO*)>;
    for (const Load& Run : {Load([&](TImagingIO* L) { L->LoadFromFile(Name); }),
                            Load([&](TImagingIO* L) { L->LoadFromFileDetect(Name); }),
                            Load([&](TImagingIO* L) { L->LoadFromFileFormat(Name, C.FileType); })}) {
      TImagingIO Loader(nullptr);
      Watch(&Loader);
      ResetEvents();
      Run(&Loader);
      EXPECT_EQ(Loader.AbortFlag, 0);
      EXPECT_EQ(Loader.IOParams()->FileType, C.FileType);
      EXPECT_EQ(Loader.IOParams()->FileName, Name);
      ExpectPixels(Loader.WorkBitmap(), 7, 5, 1);
      // The codec reported its own progress before the finish's 100.
      EXPECT_GE(Progress.size(), 2u);
      ExpectOneFinish();
    }
  }
}

TEST_F(DispatchTest, BmpAndGifSaveAndLoadThroughStreamsAndMemory) {
  for (uint32_t FileType : {ftBmp, ftGif}) {
    SCOPED_TRACE(FileType);
    PrepareImage(FileType, 6, 4, 2);
    TMemoryStream S;
    S.WriteBuffer("lead", 4);  // the image starts at the stream's position, not at 0
    ResetEvents();
    IO->SaveToStreamFormat(&S, FileType);
    EXPECT_EQ(IO->AbortFlag, 0);
    ExpectOneFinish();
    const Bytes Saved = StreamBytes(S);

    using Load = std::function<void(TImagingIO*)>;
    for (const Load& Run : {Load([&](TImagingIO* L) {
                              S.SetPosition(4);
                              L->LoadFromStream(&S);
                            }),
                            Load([&](TImagingIO* L) {
                              S.SetPosition(4);
                              L->LoadFromStreamFormat(&S, FileType);
                            }),
                            Load([&](TImagingIO* L) {
                              S.SetPosition(4);
                              L->LoadFromStreamFormat(&S, ftUnknown);
                            }),
                            Load([&](TImagingIO* L) {
                              L->LoadFromBuffer(Saved.data() + 4, int64_t(Saved.size()) - 4, ftUnknown);
                            }),
                            Load([&](TImagingIO* L) {
                              L->LoadFromBuffer(Saved.data() + 4, int64_t(Saved.size()) - 4, FileType);
                            })}) {
      TImagingIO Loader(nullptr);
      Loader.IOParams()->FileName = "stale";
      Watch(&Loader);
      ResetEvents();
      Run(&Loader);
      EXPECT_EQ(Loader.AbortFlag, 0);
      EXPECT_EQ(Loader.IOParams()->FileType, FileType);
      EXPECT_EQ(Loader.IOParams()->FileName, "");
      ExpectPixels(Loader.WorkBitmap(), 6, 4, 2);
      ExpectOneFinish();
    }
  }
}

// ---- Failures ----

TEST_F(DispatchTest, MissingFilesAndUnknownFormatsFailThroughTheAbortFlag) {
  const std::string Unknown = TempName("unknown.xyz");
  WriteFile(Unknown, Bytes{'B', 'M', 1, 2, 3});
  TMemoryStream S;
  S.WriteBuffer("some bytes", 10);
  S.SetPosition(0);
  struct Case {
    const char* What;
    std::function<void(TImagingIO*)> Run;
  };
  const std::vector<Case> Cases = {
      {"missing bmp", [&](TImagingIO* L) { L->LoadFromFile(TempName("missing.bmp")); }},
      {"missing gif by id", [&](TImagingIO* L) { L->LoadFromFileFormat(TempName("missing.gif"), ftGif); }},
      {"missing by content", [&](TImagingIO* L) { L->LoadFromFileDetect(TempName("missing.gif")); }},
      {"empty name", [&](TImagingIO* L) { L->LoadFromFile(""); }},
      {"unknown extension", [&](TImagingIO* L) { L->LoadFromFile(Unknown); }},
      {"no extension", [&](TImagingIO* L) { L->LoadFromFile(TempName("noextension")); }},
      {"url", [&](TImagingIO* L) { L->LoadFromFile("http://example.invalid/a.gif"); }},
      {"save unknown extension", [&](TImagingIO* L) { L->SaveToFile(TempName("out.xyz")); }},
      {"save without extension", [&](TImagingIO* L) { L->SaveToFile(TempName("out")); }},
      {"save to id without row", [&](TImagingIO* L) { L->SaveToStreamFormat(&S, 22); }},
      {"load id without row", [&](TImagingIO* L) { L->LoadFromStreamFormat(&S, 22); }},
      {"empty buffer", [&](TImagingIO* L) { L->LoadFromBuffer(nullptr, 0, ftBmp); }},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    PrepareImage(ftBmp, 2, 2, 0);
    IO->AbortFlag = 0;
    ResetEvents();
    EXPECT_NO_THROW(C.Run(IO.get()));
    EXPECT_EQ(IO->AbortFlag, 1);
    ExpectOneFinish();
  }
  EXPECT_FALSE(FileExists(TempName("out.xyz")));
}

TEST_F(DispatchTest, UnrecognisedStreamsAndUnknownIdsDoNothingAtAll) {
  const char Junk[] = "\x01\x02 no image here at all";
  TMemoryStream S;
  S.WriteBuffer(Junk, sizeof Junk);
  S.SetPosition(3);
  IO->AbortFlag = 5;
  IO->LoadFromStream(&S);
  IO->LoadFromFileFormat(TempName("whatever.bmp"), 22);
  EXPECT_EQ(IO->AbortFlag, 5);
  EXPECT_EQ(Finishes, 0);
  EXPECT_EQ(S.Position(), 3);
}

TEST_F(DispatchTest, FormatsRegisteredButNotBuiltFailLikeAFailingCodec) {
  const std::string Png = TempName("notbuilt.png");
  const Bytes PngBytes = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 1};
  WriteFile(Png, PngBytes);
  TMemoryStream PngStream;
  PngStream.WriteBuffer(PngBytes.data(), int64_t(PngBytes.size()));
  TMemoryStream Out;
  struct Case {
    const char* What;
    std::function<void(TImagingIO*)> Run;
  };
  const std::vector<Case> Cases = {
      {"load png by name", [&](TImagingIO* L) { L->LoadFromFile(Png); }},
      {"load png by id", [&](TImagingIO* L) { L->LoadFromFileFormat(Png, ftPng); }},
      {"load png by content", [&](TImagingIO* L) {
         PngStream.SetPosition(0);
         L->LoadFromStream(&PngStream);
       }},
      {"save jpeg in capitals", [&](TImagingIO* L) { L->SaveToFile(TempName("notbuilt.JPG")); }},
      {"save tiff stream", [&](TImagingIO* L) { L->SaveToStreamFormat(&Out, ftTiff); }},
      {"save through a row", [&](TImagingIO* L) { L->SaveToFile(TempName("notbuilt.pix")); }},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    PrepareImage(ftBmp, 2, 2, 0);
    IO->AbortFlag = 0;
    ResetEvents();
    EXPECT_NO_THROW(C.Run(IO.get()));
    EXPECT_EQ(IO->AbortFlag, 1);
    ExpectOneFinish();
  }
}

// ---- Rows added at run time ----

TEST_F(DispatchTest, ARowAddedAtRunTimeIsReachedByExtensionContentAndId) {
  auto Row = std::make_unique<TIEFileFormatInfo>();
  Row->FileType = ftTest;
  Row->Name = "Test";
  Row->Extensions = "TST";
  Row->ReadProc = TestRead;
  Row->WriteProc = TestWrite;
  Row->TestProc = TestTest;
  ASSERT_GE(RegisterFileFormat(std::move(Row)), 0);

  const std::string Name = TempName("row.tst");
  PrepareImage(ftBmp, 3, 2, 3);
  ResetEvents();
  IO->SaveToFile(Name);
  EXPECT_EQ(IO->AbortFlag, 0);
  EXPECT_EQ(IO->IOParams()->FileType, ftTest);
  ExpectOneFinish();

  TImagingIO Loader(nullptr);
  Watch(&Loader);
  ResetEvents();
  Loader.LoadFromFile(Name);
  EXPECT_EQ(Loader.AbortFlag, 0);
  EXPECT_EQ(Loader.IOParams()->FileType, ftTest);
  EXPECT_EQ(Loader.IOParams()->FileName, Name);
  ExpectPixels(Loader.WorkBitmap(), 3, 2, 3);
  ExpectOneFinish();

  TMemoryStream S;
  const Bytes Data = ReadFile(Name);
  S.WriteBuffer(Data.data(), int64_t(Data.size()));
  S.SetPosition(0);
  Paint(Loader.WorkBitmap(), 1, 1, 0);
  Loader.LoadFromStream(&S);
  EXPECT_EQ(Loader.IOParams()->FileType, ftTest);
  ExpectPixels(Loader.WorkBitmap(), 3, 2, 3);

  // A codec that raises: the load by name only fails; the load with a given id passes it on, after the
  // finish.
  FindFormatInfoByType(ftTest)->ReadProc = ThrowingRead;
  ResetEvents();
  EXPECT_NO_THROW(Loader.LoadFromFile(Name));
  EXPECT_EQ(Loader.AbortFlag, 1);
  ExpectOneFinish();
  ResetEvents();
  EXPECT_THROW(Loader.LoadFromFileFormat(Name, ftTest), std::runtime_error);
  EXPECT_EQ(Finishes, 1);
}

// ---- Stream headers ----

TEST_F(DispatchTest, TiffStreamHeadersFrameEachImageAndReadBackInTurn) {
  InstallTestCodec(ftTiff);
  IO->SetStreamHeaders(true);
  TMemoryStream S;
  PrepareImage(ftBmp, 3, 2, 0);
  IO->SaveTiffStream(&S);
  EXPECT_EQ(IO->AbortFlag, 0);
  PrepareImage(ftBmp, 2, 4, 1);
  IO->SaveTiffStream(&S);
  const Bytes B = StreamBytes(S);
  const int32_t First = 12 + 3 * 2 * 3;
  const int32_t Second = 12 + 2 * 4 * 3;
  ASSERT_EQ(B.size(), size_t(12 + First + 12 + Second));
  EXPECT_EQ(std::string(B.begin(), B.begin() + 4), "TIFF");
  EXPECT_EQ(Le32At(B, 4), 0);
  EXPECT_EQ(Le32At(B, 8), First);
  EXPECT_EQ(std::string(B.begin() + 12 + First, B.begin() + 16 + First), "TIFF");
  EXPECT_EQ(Le32At(B, 12 + First + 8), Second);

  S.SetPosition(0);
  IO->LoadTiffStream(&S);
  EXPECT_EQ(IO->AbortFlag, 0);
  EXPECT_EQ(IO->IOParams()->FileType, ftTiff);
  ExpectPixels(IO->WorkBitmap(), 3, 2, 0);
  EXPECT_EQ(S.Position(), 12 + First);
  IO->LoadTiffStream(&S);
  ExpectPixels(IO->WorkBitmap(), 2, 4, 1);
  EXPECT_EQ(S.Position(), S.Size());

  // A wrong magic fails the load, after its finish.
  S.SetPosition(1);
  ResetEvents();
  IO->LoadTiffStream(&S);
  EXPECT_EQ(IO->AbortFlag, 1);
  ExpectOneFinish();
}

TEST_F(DispatchTest, JpegStreamHeaderIsReadWheneverItIsThereAndItsLengthRules) {
  InstallTestCodec(ftJpeg);
  TMemoryStream Image;
  PrepareImage(ftBmp, 2, 2, 2);
  IO->SaveJpegStream(&Image);  // no headers asked: the bare image
  const Bytes Bare = StreamBytes(Image);
  ASSERT_EQ(Bare.size(), size_t(12 + 2 * 2 * 3));

  // A header whose length covers 5 bytes more than the reader takes, then a bare image.
  TMemoryStream S;
  const int32_t Length = int32_t(Bare.size()) + 5;
  S.WriteBuffer("JFIF\0\0\0\0", 8);
  S.WriteBuffer(&Length, 4);
  S.WriteBuffer(Bare.data(), int64_t(Bare.size()));
  S.WriteBuffer("pad..", 5);
  S.WriteBuffer(Bare.data(), int64_t(Bare.size()));
  S.SetPosition(0);
  IO->LoadJpegStream(&S);
  EXPECT_EQ(IO->AbortFlag, 0);
  EXPECT_EQ(S.Position(), 12 + Length);
  ExpectPixels(IO->WorkBitmap(), 2, 2, 2);
  Paint(IO->WorkBitmap(), 1, 1, 0);
  IO->LoadJpegStream(&S);  // no header: read from where the stream stands
  EXPECT_EQ(IO->AbortFlag, 0);
  ExpectPixels(IO->WorkBitmap(), 2, 2, 2);

  // A saved header round trips through the stream save and load.
  IO->SetStreamHeaders(true);
  TMemoryStream H;
  IO->SaveJpegStream(&H);
  const Bytes Headed = StreamBytes(H);
  EXPECT_EQ(std::string(Headed.begin(), Headed.begin() + 4), "JFIF");
  EXPECT_EQ(Le32At(Headed, 8), int32_t(Bare.size()));
  H.SetPosition(0);
  IO->LoadJpegStream(&H);
  EXPECT_EQ(IO->AbortFlag, 0);
  EXPECT_EQ(H.Position(), H.Size());

  // A length that is negative or runs past the stream's end is not followed.
  for (int32_t Bad : {-40, 100000}) {
    SCOPED_TRACE(Bad);
    TMemoryStream X;
    X.WriteBuffer("JFIF\0\0\0\0", 8);
    X.WriteBuffer(&Bad, 4);
    X.WriteBuffer(Bare.data(), int64_t(Bare.size()));
    X.SetPosition(0);
    IO->LoadJpegStream(&X);
    EXPECT_EQ(IO->AbortFlag, 1);
    EXPECT_GE(X.Position(), 12);
    EXPECT_LE(X.Position(), X.Size());
  }
}

TEST_F(DispatchTest, PcxStreamHeadersAndTheOlderFourByteHeader) {
  IO->SetStreamHeaders(true);
  PrepareImage(ftBmp, 2, 2, 0);
  // The PCX codec is not built: the failed save leaves the 12 placeholder bytes.
  TMemoryStream Failed;
  IO->SavePcxStream(&Failed);
  EXPECT_EQ(IO->AbortFlag, 1);
  EXPECT_EQ(StreamBytes(Failed), Bytes(12, 0));

  InstallTestCodec(ftPcx);
  TMemoryStream S;
  IO->SavePcxStream(&S);
  EXPECT_EQ(IO->AbortFlag, 0);
  const Bytes B = StreamBytes(S);
  EXPECT_EQ(std::string(B.begin(), B.begin() + 4), "PCX2");
  S.SetPosition(0);
  IO->LoadPcxStream(&S);
  EXPECT_EQ(IO->AbortFlag, 0);
  EXPECT_EQ(IO->IOParams()->FileType, ftPcx);
  ExpectPixels(IO->WorkBitmap(), 2, 2, 0);

  // "PCX" and a zero: a 4-byte header before the data.
  TMemoryStream Old;
  Old.WriteBuffer("PCX\0", 4);
  Old.WriteBuffer(B.data() + 12, int64_t(B.size()) - 12);
  Old.SetPosition(0);
  Paint(IO->WorkBitmap(), 1, 1, 0);
  IO->LoadPcxStream(&Old);
  EXPECT_EQ(IO->AbortFlag, 0);
  ExpectPixels(IO->WorkBitmap(), 2, 2, 0);

  TMemoryStream NotPcx;
  NotPcx.WriteBuffer("XYZ2\0\0\0\0\0\0\0\0", 12);
  NotPcx.SetPosition(0);
  IO->LoadPcxStream(&NotPcx);
  EXPECT_EQ(IO->AbortFlag, 1);
}

// ---- Text export ----

void ThreeBytesWrite(TStream* Stream, TIEBitmap*, TIOParamsVals&, TIEProgressRecord&) {
  const uint8_t B[3] = {0x01, 0x02, 0xFF};
  Stream->WriteBuffer(B, 3);
}

std::vector<std::string> TextLines(const std::string& Name) {
  std::ifstream F(Name);
  std::vector<std::string> Lines;
  for (std::string Line; std::getline(F, Line);) Lines.push_back(Line);
  return Lines;
}

TEST_F(DispatchTest, SaveToTextWritesTheSavedBytesAsSourceOrBase64AndTheImageAsCharacters) {
  auto Row = std::make_unique<TIEFileFormatInfo>();
  Row->FileType = ftTest;
  Row->WriteProc = ThreeBytesWrite;
  RegisterFileFormat(std::move(Row));
  PrepareImage(ftBmp, 3, 1, 0);
  const std::string Name = TempName("text.pas");
  std::string Ident = Name;
  Ident[Ident.find('.')] = '_';

  IO->SaveToText(Name, ftTest, 0);
  EXPECT_EQ(TextLines(Name), (std::vector<std::string>{"const", "  " + Ident + "_Size = 3;",
                                                        "  " + Ident + " : array [0.." + Ident + "_Size-1] of byte = (",
                                                        "    $01,$02,$FF);"}));
  EXPECT_EQ(IO->IOParams()->FileName, Name);
  IO->SaveToText(Name, ftTest, 1);
  EXPECT_EQ(TextLines(Name), (std::vector<std::string>{"\\\\ Size=3", "0x01,0x02,0xFF"}));
  IO->SaveToText(Name, ftTest, 2);
  EXPECT_EQ(TextLines(Name), (std::vector<std::string>{"AQL/"}));

  // One character per pixel, dark to light; pure white takes the lightest.
  IO->WorkBitmap()->SetRGB(0, 0, TIERGB24{0, 0, 0});
  IO->WorkBitmap()->SetRGB(1, 0, TIERGB24{255, 255, 255});
  IO->WorkBitmap()->SetRGB(2, 0, TIERGB24{128, 128, 128});
  IO->SaveToText(Name, ftTest, 3);
  EXPECT_EQ(TextLines(Name), (std::vector<std::string>{"W +"}));
  // Only a 24-bit image is drawn; another leaves the file empty and the name alone.
  IO->IOParams()->FileName = "kept";
  IO->WorkBitmap()->ConvertToFormat(ie8g);
  IO->SaveToText(Name, ftTest, 3);
  EXPECT_TRUE(TextLines(Name).empty());
  EXPECT_EQ(IO->IOParams()->FileName, "kept");
}

}  // namespace
}  // namespace zv
