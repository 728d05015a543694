// The I/O component: attachment to a bitmap, a TImage and a view (and the view's change callbacks),
// BMP loads into what is attached, the GIF road of the application (first frame, insertions, the
// loop block and logical screen), failures through the abort flag, progress and finish, resolution.
#include "imaging/io/imaging_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/mask.h"
#include "imaging/core/proc_hooks.h"
#include "imaging/io/gif_lzw.h"
#include "imaging/io/gif_reader.h"
#include "platform/graphics.h"
#include "platform/std_controls.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

using Bytes = std::vector<uint8_t>;

// A concrete view over a bitmap of its own, or (WithIEBitmap false) over a class-library bitmap only.
class TTestView : public TIEView {
public:
  TTestView(bool WithIEBitmap = true) : TIEView(nullptr), FWithIEBitmap(WithIEBitmap) {}

  TIEBitmap* Current = &First;
  TIEBitmap First, Second;
  TBitmap Picture;
  int32_t Locks = 0;
  int32_t ImageChanges = 0;

  TIEBitmap* GetIEBitmap() override { return FWithIEBitmap ? Current : nullptr; }
  TBitmap* GetTBitmap() override { return FWithIEBitmap ? nullptr : &Picture; }
  TIEBitmap* GetAlphaChannel() override { return Current->GetAlphaChannel(); }
  bool HasAlphaChannel() override { return Current->HasAlphaChannel(); }
  void RemoveAlphaChannel(bool Merge) override { Current->RemoveAlphaChannel(Merge, Background()); }
  void LockUpdate() override { ++Locks; }
  int32_t UnlockUpdate() override { return Locks > 0 ? --Locks : 0; }
  int32_t UnlockUpdateEx() override { return Locks > 0 ? --Locks : 0; }
  void DoImageChange() override { ++ImageChanges; }

private:
  bool FWithIEBitmap;
};

TIERGB24 ColorAt(int x, int y, int Seed) {
  static const TIERGB24 Colors[4] = {{0, 0, 0}, {255, 255, 255}, {40, 200, 10}, {250, 20, 90}};
  return Colors[(x + 2 * y + Seed) % 4];
}

// A 32-bit class-library bitmap saved as BMP, as the decoder hands over each video frame.
Bytes FrameBmp(int W, int H, int Seed) {
  TBitmap B;
  B.SetPixelFormat(pf32bit);
  B.SetSize(W, H);
  for (int y = 0; y < H; ++y) {
    auto* Row = static_cast<uint8_t*>(B.ScanLine(y));
    for (int x = 0; x < W; ++x) {
      const TIERGB24 C = ColorAt(x, y, Seed);
      Row[4 * x] = C.b;
      Row[4 * x + 1] = C.g;
      Row[4 * x + 2] = C.r;
      Row[4 * x + 3] = 0x7F;  // a fourth byte that must not become alpha
    }
  }
  TMemoryStream S;
  B.SaveToStream(&S);
  const auto* D = static_cast<const uint8_t*>(S.Memory());
  return Bytes(D, D + S.Size());
}

void ExpectPixels(TIEBitmap* B, int W, int H, int Seed) {
  ASSERT_EQ(B->GetWidth(), W);
  ASSERT_EQ(B->GetHeight(), H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) ASSERT_TRUE(B->GetPixelAsRGB(x, y) == ColorAt(x, y, Seed)) << x << "," << y;
}

Bytes ReadFile(const std::string& Name) {
  std::ifstream F(Name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(F), {});
}

class ImagingIOTest : public testing::Test {
protected:
  void SetUp() override {
    // What the I/O unit's start-up installs.
    GlobalGifLzwEncoder = GifLzwEncode;
    GlobalGifLzwDecoder = GifLzwDecode;
    IO = std::make_unique<TImagingIO>(nullptr);
  }
  void TearDown() override {
    IO.reset();
    GlobalGifLzwEncoder = nullptr;
    GlobalGifLzwDecoder = nullptr;
    ImagingIOLinks = TImagingIOLinks();
    ProcessingHooks = TProcessingHooks();
  }
  std::string TempName(const std::string& Name) { return std::string(ZV_TEST_TMP) + "/imaging_io_" + Name; }
  void LoadFrame(int W, int H, int Seed) {
    const Bytes B = FrameBmp(W, H, Seed);
    TMemoryStream S;
    S.WriteBuffer(B.data(), int64_t(B.size()));
    S.SetPosition(0);
    IO->LoadBmpStream(&S);
    ASSERT_EQ(IO->AbortFlag, 0);
  }
  // Frame 0 with SaveGifFile, frames 1 and 2 with InsertGifFrame, as the application writes its output.
  void WriteAnimation(const std::string& Name) {
    IO->IOParams()->BitsPerSample = 2;
    LoadFrame(8, 6, 0);
    IO->IOParams()->GifDelay = 5;
    IO->SaveGifFile(Name);
    ASSERT_EQ(IO->AbortFlag, 0);
    for (int m = 1; m < 3; ++m) {
      LoadFrame(8, 6, m);
      IO->IOParams()->BitsPerSample = 2;
      IO->IOParams()->SetImageIndex(m);
      IO->IOParams()->GifLeft = m == 2 ? 4 : 0;
      EXPECT_EQ(IO->InsertGifFrame(Name), m + 1);
      ASSERT_EQ(IO->AbortFlag, 0);
    }
    IO->IOParams()->GifLeft = 0;
  }

  std::unique_ptr<TImagingIO> IO;
};

// ---- A new component ----

TEST_F(ImagingIOTest, ANewComponentHasAnOwnBitmapAndTheDefaultResolution) {
  EXPECT_TRUE(IO->OwnsBitmap());
  ASSERT_NE(IO->WorkBitmap(), nullptr);
  EXPECT_EQ(IO->IOParams()->DpiX(), 300);
  EXPECT_EQ(IO->IOParams()->DpiY(), 300);
  EXPECT_FALSE(IO->Asynchronous());
  EXPECT_EQ(IO->AbortFlag, 0);
}

// ---- Attachment ----

TEST_F(ImagingIOTest, ABmpFrameLoadsIntoAnAttachedBitmapWithoutAlpha) {
  TIEBitmap Target;
  IO->SetAttachedBitmap(&Target);
  EXPECT_EQ(IO->WorkBitmap(), &Target);
  EXPECT_FALSE(IO->OwnsBitmap());
  IO->IOParams()->FileName = "previous.gif";
  LoadFrame(7, 5, 1);
  ExpectPixels(&Target, 7, 5, 1);
  EXPECT_EQ(Target.GetPixelFormat(), ie24RGB);
  EXPECT_FALSE(Target.HasAlphaChannel());
  EXPECT_EQ(IO->IOParams()->FileType, ftBmp);
  EXPECT_EQ(IO->IOParams()->FileName, "");
  IO.reset();  // the bitmap stays the caller's
  EXPECT_EQ(Target.GetWidth(), 7);

  std::unique_ptr<TImagingIO> Other(TImagingIO::CreateForBitmap(&Target));
  EXPECT_EQ(Other->WorkBitmap(), &Target);
  EXPECT_FALSE(Other->OwnsBitmap());
}

TEST_F(ImagingIOTest, ABmpFrameLoadsIntoAnAttachedTImageUntilTheImageGoes) {
  auto* Image = new TImage(nullptr);
  int PictureChanges = 0;
  IO->SetAttachedTImage(Image);
  EXPECT_EQ(IO->AttachedTImage(), Image);
  Image->Picture()->Bitmap()->OnChange = [&](TObject*) { ++PictureChanges; };
  LoadFrame(6, 4, 2);
  TBitmap* Picture = Image->Picture()->Bitmap();
  ASSERT_EQ(Picture->Width(), 6);
  ASSERT_EQ(Picture->Height(), 4);
  TIEBitmap Check;
  Check.CopyFromTBitmap(Picture);
  ExpectPixels(&Check, 6, 4, 2);
  EXPECT_GT(PictureChanges, 0);

  delete Image;  // the component hears of it and stops using the picture
  EXPECT_EQ(IO->AttachedTImage(), nullptr);
  EXPECT_EQ(IO->AttachedTBitmap(), nullptr);
  LoadFrame(3, 2, 0);
  ExpectPixels(IO->WorkBitmap(), 3, 2, 0);
}

TEST_F(ImagingIOTest, AnAttachedViewIsFilledToldAndGivenTheResolution) {
  ImagingIOLinks.IsImagingView = [](TIEView*) { return true; };
  TTestView View;
  IO->SetAttachedImaging(&View);
  EXPECT_EQ(IO->AttachedImaging(), &View);
  EXPECT_EQ(IO->WorkBitmap(), &View.First);
  EXPECT_FALSE(IO->OwnsBitmap());

  LoadFrame(5, 3, 3);
  ExpectPixels(&View.First, 5, 3, 3);
  EXPECT_EQ(View.ImageChanges, 1);
  EXPECT_EQ(View.DpiX(), IO->IOParams()->DpiX());
  EXPECT_EQ(View.DpiY(), IO->IOParams()->DpiY());
  EXPECT_EQ(View.Locks, 0);

  // Background follows the view while it is attached.
  View.SetBackground(clRed);
  IO->SetBackground(clBlue);
  EXPECT_EQ(IO->Background(), clRed);

  // The view replaces its bitmap and says so: the component follows, and takes the view's resolution.
  View.Current = &View.Second;
  View.SetDpi(96, 72);
  View.CallChangeCallbacks();
  EXPECT_EQ(IO->WorkBitmap(), &View.Second);
  EXPECT_EQ(IO->IOParams()->DpiX(), 96);
  EXPECT_EQ(IO->IOParams()->DpiY(), 72);

  // Detaching leaves the view's image alone and gives the component a new empty bitmap.
  IO->SetAttachedImaging(nullptr);
  EXPECT_EQ(IO->AttachedImaging(), nullptr);
  EXPECT_TRUE(IO->OwnsBitmap());
  EXPECT_TRUE(IO->WorkBitmap()->IsEmpty());
  EXPECT_EQ(View.First.GetWidth(), 5);
  View.CallChangeCallbacks();  // no longer registered
  EXPECT_NE(IO->WorkBitmap(), &View.Second);
  IO->SetBackground(clBlue);
  EXPECT_EQ(IO->Background(), clBlue);
}

TEST_F(ImagingIOTest, AViewWithOnlyAClassLibraryBitmapIsWrapped) {
  TTestView View(false);
  IO->SetAttachedImaging(&View);
  EXPECT_EQ(IO->AttachedTBitmap(), &View.Picture);
  LoadFrame(4, 4, 1);
  ASSERT_EQ(View.Picture.Width(), 4);
  TIEBitmap Check;
  Check.CopyFromTBitmap(&View.Picture);
  ExpectPixels(&Check, 4, 4, 1);
}

TEST_F(ImagingIOTest, ADestroyedViewIsForgottenThroughItsCallback) {
  for (bool WithIEBitmap : {true, false}) {
    SCOPED_TRACE(WithIEBitmap);
    IO = std::make_unique<TImagingIO>(nullptr);
    auto View = std::make_unique<TTestView>(WithIEBitmap);
    TImagingIO Second(nullptr);
    IO->SetAttachedImaging(View.get());
    Second.SetAttachedImaging(View.get());
    LoadFrame(3, 3, 0);
    View.reset();
    EXPECT_EQ(IO->AttachedImaging(), nullptr);
    EXPECT_EQ(Second.AttachedImaging(), nullptr);
    EXPECT_EQ(IO->AttachedTBitmap(), nullptr);
    // The component works on a bitmap of its own again, not on the gone view's.
    EXPECT_TRUE(IO->OwnsBitmap());
    LoadFrame(2, 2, 1);
    ExpectPixels(IO->WorkBitmap(), 2, 2, 1);
  }
}

TEST_F(ImagingIOTest, AttachingOneThingDetachesTheOther) {
  TTestView View;
  auto* Image = new TImage(nullptr);
  IO->SetAttachedImaging(&View);
  IO->SetAttachedTImage(Image);
  EXPECT_EQ(IO->AttachedImaging(), nullptr);
  EXPECT_TRUE(IO->OwnsBitmap());
  LoadFrame(2, 2, 0);
  EXPECT_TRUE(View.First.IsEmpty());  // the view's image was neither freed nor written
  IO->SetAttachedImaging(&View);
  EXPECT_EQ(IO->AttachedTImage(), nullptr);
  EXPECT_EQ(IO->WorkBitmap(), &View.First);
  delete Image;
  EXPECT_EQ(IO->WorkBitmap(), &View.First);
}

// ---- The GIF road ----

TEST_F(ImagingIOTest, AFirstFrameAndTwoInsertionsDecodeToTheirFrames) {
  const std::string Name = TempName("three.gif");
  IO->IOParams()->GifScreenWidth = 0;
  WriteAnimation(Name);
  // Frame 2 sits at left 4: the logical screen grew to 12 to hold it.
  EXPECT_EQ(IO->IOParams()->GifScreenWidth, 12);
  EXPECT_EQ(IO->IOParams()->GifScreenHeight, 6);
  // Insertions leave the name and type of the last load or save alone.
  IO->IOParams()->FileName = "kept";
  IO->IOParams()->SetImageIndex(3);
  EXPECT_EQ(IO->InsertGifFrame(Name), 4);
  EXPECT_EQ(IO->IOParams()->FileName, "kept");
  EXPECT_EQ(IO->IOParams()->FileType, ftBmp);

  const Bytes File = ReadFile(Name);
  ASSERT_GT(File.size(), 32u);
  EXPECT_EQ(std::string(File.begin(), File.begin() + 6), "GIF89a");
  EXPECT_EQ(File[6] | File[7] << 8, 12);
  EXPECT_EQ(File[8] | File[9] << 8, 6);
  const std::string Loop = "NETSCAPE2.0";
  EXPECT_NE(std::search(File.begin(), File.end(), Loop.begin(), Loop.end()), File.end());
  EXPECT_EQ(File.back(), 0x3B);

  for (int m = 0; m < 3; ++m) {
    SCOPED_TRACE(m);
    TMemoryStream S;
    S.WriteBuffer(File.data(), int64_t(File.size()));
    S.SetPosition(0);
    TIOParamsVals P(nullptr);
    P.GifDecoder = GifLzwDecode;
    P.SetImageIndex(m);
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    TIEBitmap Frame;
    std::unique_ptr<TIEMask> Mask;
    int32_t Count = 0;
    GifReadFrame(&S, &Frame, Count, P, Progress, false, Mask, false);
    ASSERT_EQ(Abort, 0);
    EXPECT_EQ(Count, 4);
    EXPECT_EQ(P.GifLeft, m == 2 ? 4 : 0);
    EXPECT_EQ(P.GifDelay, 5);
    ExpectPixels(&Frame, 8, 6, m);
  }
}

TEST_F(ImagingIOTest, LoadFromStreamReadsBmpAndGifByContentAndIgnoresTheRest) {
  const std::string Name = TempName("bycontent.gif");
  WriteAnimation(Name);
  const Bytes Gif = ReadFile(Name);
  int Finishes = 0;
  IO->OnFinishWork = [&](TObject*) { ++Finishes; };

  TMemoryStream S;
  S.WriteBuffer(Gif.data(), int64_t(Gif.size()));
  S.SetPosition(0);
  IO->IOParams()->SetImageIndex(0);
  IO->LoadFromStream(&S);
  EXPECT_EQ(IO->AbortFlag, 0);
  EXPECT_EQ(IO->IOParams()->FileType, ftGif);
  EXPECT_EQ(IO->IOParams()->GifImageCount, 3u);
  EXPECT_EQ(Finishes, 1);
  // Frames of an animation come composed on the 12 x 6 logical screen; outside the frame it is clear.
  TIEBitmap* B = IO->WorkBitmap();
  ASSERT_EQ(B->GetWidth(), 12);
  ASSERT_EQ(B->GetHeight(), 6);
  ASSERT_TRUE(B->HasAlphaChannel());
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 12; ++x) {
      if (x < 8) {
        EXPECT_TRUE(B->GetPixelAsRGB(x, y) == ColorAt(x, y, 0)) << x << "," << y;
      }
      EXPECT_EQ(B->GetAlpha(x, y), x < 8 ? 255 : 0) << x << "," << y;
    }

  // The third frame at left 4; frame 1 before it was disposed to the background.
  S.SetPosition(0);
  IO->IOParams()->SetImageIndex(2);
  EXPECT_EQ(IO->LoadGifStream(&S), 3);
  B = IO->WorkBitmap();
  ASSERT_EQ(B->GetWidth(), 12);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 12; ++x) {
      if (x >= 4) {
        EXPECT_TRUE(B->GetPixelAsRGB(x, y) == ColorAt(x - 4, y, 2)) << x << "," << y;
      }
      EXPECT_EQ(B->GetAlpha(x, y), x >= 4 ? 255 : 0) << x << "," << y;
    }
  EXPECT_EQ(IO->IOParams()->GifDisposal, 2);
  EXPECT_EQ(IO->IOParams()->GifLeft, 0);
  EXPECT_EQ(IO->IOParams()->GifImageIndex, 2u);

  const Bytes Bmp = FrameBmp(3, 2, 1);
  TMemoryStream SB;
  SB.WriteBuffer(Bmp.data(), int64_t(Bmp.size()));
  SB.SetPosition(0);
  IO->LoadFromStream(&SB);
  EXPECT_EQ(IO->IOParams()->FileType, ftBmp);
  ExpectPixels(IO->WorkBitmap(), 3, 2, 1);
  EXPECT_EQ(Finishes, 3);

  // Unrecognised data: nothing happens, not even the finish.
  const char Junk[] = "\x01\x02junk data that is no image";
  TMemoryStream SJ;
  SJ.WriteBuffer(Junk, sizeof Junk);
  SJ.SetPosition(0);
  IO->AbortFlag = 7;
  IO->LoadFromStream(&SJ);
  EXPECT_EQ(IO->AbortFlag, 7);
  EXPECT_EQ(Finishes, 3);
  EXPECT_EQ(SJ.Position(), 0);
}

// Lowers the process's file-size limit so that writes past Size fail, as on a full disk.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t Size) {
    getrlimit(RLIMIT_FSIZE, &FOld);
    FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit L = FOld;
    L.rlim_cur = Size;
    setrlimit(RLIMIT_FSIZE, &L);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FOld);
    std::signal(SIGXFSZ, FOldHandler);
  }

private:
  rlimit FOld{};
  void (*FOldHandler)(int) = nullptr;
};

// The logical screen is a size from the file: the composed animation gets one the data could plausibly
// come with, and a screen the stream could not begin to fill fails the load before any canvas is
// reserved (a 65535 x 65535 screen would take 12 GB).
TEST_F(ImagingIOTest, ALogicalScreenTooLargeForItsDataFailsTheLoad) {
  const std::string Name = TempName("screen.gif");
  WriteAnimation(Name);
  const Bytes Gif = ReadFile(Name);
  struct {
    uint16_t Width, Height;
    bool Loads;
  } const Cases[] = {{300, 200, true}, {4096, 4096, true}, {12376, 12296, false}, {65535, 65535, false}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(std::to_string(C.Width) + " x " + std::to_string(C.Height));
    Bytes Patched = Gif;
    Patched[6] = uint8_t(C.Width);
    Patched[7] = uint8_t(C.Width >> 8);
    Patched[8] = uint8_t(C.Height);
    Patched[9] = uint8_t(C.Height >> 8);
    for (int Index : {0, 1}) {
      TMemoryStream S;
      S.WriteBuffer(Patched.data(), int64_t(Patched.size()));
      S.SetPosition(0);
      IO->IOParams()->SetImageIndex(Index);
      IO->LoadGifStream(&S);
      EXPECT_EQ(IO->AbortFlag == 0, C.Loads) << Index;
      if (C.Loads) {
        EXPECT_EQ(IO->WorkBitmap()->GetWidth(), C.Width);
        EXPECT_EQ(IO->WorkBitmap()->GetHeight(), C.Height);
      }
    }
  }
}

TEST_F(ImagingIOTest, AFailedInsertionSetsTheAbortFlagAndLeavesTheFileAsItWas) {
  const std::string Name = TempName("failed.gif");
  WriteAnimation(Name);
  const Bytes Before = ReadFile(Name);
  LoadFrame(8, 6, 3);

  struct Case {
    const char* What;
    int32_t Index;
    bool DiskFull;
  };
  for (const Case& C : {Case{"index past the last frame", 5, false}, Case{"write fails", 3, true}}) {
    SCOPED_TRACE(C.What);
    IO->IOParams()->SetImageIndex(C.Index);
    int32_t Result = -1;
    {
      std::unique_ptr<FileSizeLimit> Limit;
      if (C.DiskFull) Limit = std::make_unique<FileSizeLimit>(Before.size());
      Result = IO->InsertGifFrame(Name);
    }
    EXPECT_EQ(Result, 0);
    EXPECT_NE(IO->AbortFlag, 0);
    EXPECT_EQ(ReadFile(Name), Before);
  }
  // A later insertion at the right index succeeds again.
  IO->IOParams()->SetImageIndex(3);
  EXPECT_EQ(IO->InsertGifFrame(Name), 4);
  EXPECT_EQ(IO->AbortFlag, 0);
}

// Frame m of an animation appended by IO, and by a new component (which knows nothing of the file and
// walks it) to a copy that holds the same bytes; the two files must stay the same.
class ImagingIOAppendTest : public ImagingIOTest {
protected:
  void AppendToBoth(int m) {
    LoadFrame(8 + m % 3, 6, m);
    IO->IOParams()->BitsPerSample = 2 + m % 3;
    IO->IOParams()->GifDelay = m;
    IO->IOParams()->SetImageIndex(m);
    ASSERT_EQ(IO->InsertGifFrame(Name), m + 1);
    ASSERT_EQ(IO->AbortFlag, 0);
    std::unique_ptr<TImagingIO> Walker(TImagingIO::CreateForBitmap(IO->WorkBitmap()));
    Walker->IOParams()->Assign(*IO->IOParams());
    ASSERT_EQ(Walker->InsertGifFrame(Copy), m + 1);
    ASSERT_EQ(Walker->AbortFlag, 0);
    ASSERT_EQ(ReadFile(Name), ReadFile(Copy)) << "frame " << m;
  }
  // Changes the file behind IO's back: its loop block becomes 19 + Extra bytes that a walk drops.
  void ChangeBehindItsBack(size_t Extra, bool LaterTimes) {
    Bytes File = ReadFile(Name);
    const size_t Q = 13 + (size_t(3) << ((File[10] & 7) + 1));  // after the header and the global table
    ASSERT_EQ(File[Q], 0x21);
    ASSERT_EQ(File[Q + 1], 0xFF);
    std::fill(File.begin() + long(Q), File.begin() + long(Q + 19), 0x00);
    File.insert(File.begin() + long(Q), Extra, 0x00);
    for (const std::string& N : {Name, Copy}) {
      std::fstream F(N, std::ios::binary | std::ios::in | std::ios::out);  // the same file, rewritten
      F.write(reinterpret_cast<const char*>(File.data()), std::streamsize(File.size()));
    }
    if (LaterTimes) {
      // A change within one tick of the clock keeps the old times; this one shows a second later.
      struct stat Info {};
      ASSERT_EQ(stat(Name.c_str(), &Info), 0);
      const timespec Times[2] = {Info.st_atim, {Info.st_mtim.tv_sec + 1, Info.st_mtim.tv_nsec}};
      ASSERT_EQ(utimensat(AT_FDCWD, Name.c_str(), Times, 0), 0);
    }
  }
  int32_t ImageCount() {
    std::unique_ptr<TImagingIO> Reader(new TImagingIO(nullptr));
    const int32_t Count = Reader->LoadGifFile(Name);
    EXPECT_EQ(Reader->AbortFlag, 0);
    return Count;
  }
  std::string Name = TempName("remembered.gif");
  std::string Copy = TempName("walked.gif");
};

TEST_F(ImagingIOAppendTest, TheRememberedAppendPointGivesTheBytesOfTheWalk) {
  IO->IOParams()->BitsPerSample = 2;
  LoadFrame(8, 6, 0);
  IO->SaveGifFile(Name);
  IO->SaveGifFile(Copy);
  for (int m = 1; m <= 8; ++m) AppendToBoth(m);
  EXPECT_EQ(ImageCount(), 9);

  // The bytes a walk drops stay when the frame goes in at the remembered point: they show that IO does
  // not walk a file it left as it is. A change of the times or of the size makes it walk again.
  ChangeBehindItsBack(0, true);
  AppendToBoth(9);
  ChangeBehindItsBack(1, false);
  AppendToBoth(10);
  AppendToBoth(11);
  EXPECT_EQ(ImageCount(), 12);
}

TEST_F(ImagingIOAppendTest, AFailedAppendAtTheRememberedPointLeavesTheFileAsItWas) {
  IO->IOParams()->BitsPerSample = 2;
  LoadFrame(8, 6, 0);
  IO->SaveGifFile(Name);
  IO->SaveGifFile(Copy);
  AppendToBoth(1);
  AppendToBoth(2);
  const Bytes Before = ReadFile(Name);
  LoadFrame(8, 6, 3);
  IO->IOParams()->SetImageIndex(3);
  {
    FileSizeLimit Limit(Before.size());
    EXPECT_EQ(IO->InsertGifFrame(Name), 0);
  }
  EXPECT_NE(IO->AbortFlag, 0);
  EXPECT_EQ(ReadFile(Name), Before);
  AppendToBoth(3);
  AppendToBoth(4);
}

TEST_F(ImagingIOTest, SaveFailuresShowInTheAbortFlag) {
  LoadFrame(4, 4, 0);
  int Finishes = 0;
  IO->OnFinishWork = [&](TObject*) { ++Finishes; };
  // A file that cannot be made: the creation error passes on, the flag stays set.
  EXPECT_THROW(IO->SaveGifFile(TempName("no/such/folder/x.gif")), Exception);
  EXPECT_EQ(IO->AbortFlag, 1);
  EXPECT_EQ(Finishes, 1);
  // A full disk: the writer's short write.
  IO->SaveGifFile("/dev/full");
  EXPECT_EQ(IO->AbortFlag, 1);
  IO->SaveBmpFile("/dev/full");
  EXPECT_EQ(IO->AbortFlag, 1);
  // A file that is not there to insert into.
  EXPECT_THROW(IO->InsertGifFrame(TempName("missing.gif")), Exception);
  EXPECT_EQ(Finishes, 4);
}

// ---- Progress and finish ----

TEST_F(ImagingIOTest, ProgressEndsAt100BeforeTheFinish) {
  std::vector<std::string> Log;
  IO->OnProgress = [&](TObject* Sender, int Percent) {
    EXPECT_EQ(Sender, IO.get());
    Log.push_back(std::to_string(Percent));
  };
  IO->OnFinishWork = [&](TObject* Sender) {
    EXPECT_EQ(Sender, IO.get());
    Log.push_back("finish");
  };
  const std::string Name = TempName("progress.gif");
  const auto Run = [&](const char* What, const std::function<void()>& Operation) {
    SCOPED_TRACE(What);
    Log.clear();
    Operation();
    ASSERT_GE(Log.size(), 2u);
    EXPECT_EQ(Log[Log.size() - 2], "100");
    EXPECT_EQ(Log.back(), "finish");
    EXPECT_EQ(std::count(Log.begin(), Log.end(), "finish"), 1);
  };
  Run("bmp load", [&] { LoadFrame(16, 16, 0); });
  Run("gif save", [&] { IO->SaveGifFile(Name); });
  Run("gif insert", [&] {
    IO->IOParams()->SetImageIndex(1);
    IO->InsertGifFrame(Name);
  });
  Run("bmp save", [&] {
    TMemoryStream S;
    IO->SaveBmpStream(&S);
  });

  // Without OnProgress the finish still comes.
  IO->OnProgress = nullptr;
  Log.clear();
  IO->SaveGifFile(Name);
  EXPECT_EQ(Log, std::vector<std::string>{"finish"});
}

TEST_F(ImagingIOTest, ABmpSavedAndLoadedBackKeepsItsPixels) {
  LoadFrame(9, 7, 2);
  const std::string Name = TempName("roundtrip.bmp");
  IO->SaveBmpFile(Name);
  EXPECT_EQ(IO->AbortFlag, 0);
  EXPECT_EQ(IO->IOParams()->FileName, Name);
  TImagingIO Other(nullptr);
  Other.LoadBmpFile(Name);
  EXPECT_EQ(Other.AbortFlag, 0);
  EXPECT_EQ(Other.IOParams()->FileName, Name);
  ExpectPixels(Other.WorkBitmap(), 9, 7, 2);
}

// ---- Resolution ----

TEST_F(ImagingIOTest, ApplyDefaultDpiFillsOnlyMissingResolutions) {
  IO->IOParams()->SetDpiX(1);
  IO->IOParams()->SetDpiY(72);
  IO->ApplyDefaultDpi();
  EXPECT_EQ(IO->IOParams()->DpiX(), DefaultDpiX);
  EXPECT_EQ(IO->IOParams()->DpiY(), 72);
}

TEST_F(ImagingIOTest, AdjustDpiResamplesAlongTheShorterSide) {
  int Resamples = 0;
  ProcessingHooks.ResampleNearest = [&](TIEBitmap* Source, TIEBitmap* Dest, const TIEProgressEvent&, TObject*) {
    ++Resamples;
    EXPECT_FALSE(Source->IsEmpty());
    Dest->Fill(0);
    return Dest;
  };
  struct Case {
    int W, H, DpiX, DpiY;
    int NewW, NewH, NewDpiX, NewDpiY;
  };
  const Case Cases[] = {
      {1000, 500, 300, 150, 1000, 1000, 300, 300},
      {500, 1000, 300, 150, 250, 1000, 150, 150},
      {40, 30, 200, 200, 40, 30, 200, 200},  // equal: nothing
      {40, 30, 0, 150, 40, 30, 0, 150},      // missing: nothing
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.W << "x" << C.H << " at " << C.DpiX << "/" << C.DpiY);
    Resamples = 0;
    IO->WorkBitmap()->Allocate(C.W, C.H, ie24RGB);
    TIOParamsVals& P = *IO->IOParams();
    P.Width = C.W;
    P.Height = C.H;
    P.SetDpiX(C.DpiX);
    P.SetDpiY(C.DpiY);
    IO->AdjustDpi();
    EXPECT_EQ(IO->WorkBitmap()->GetWidth(), C.NewW);
    EXPECT_EQ(IO->WorkBitmap()->GetHeight(), C.NewH);
    EXPECT_EQ(P.DpiX(), C.NewDpiX);
    EXPECT_EQ(P.DpiY(), C.NewDpiY);
    EXPECT_EQ(Resamples, C.NewW != C.W || C.NewH != C.H ? 1 : 0);
  }
  // Without the processing library's resampling nothing changes.
  ProcessingHooks.ResampleNearest = nullptr;
  IO->WorkBitmap()->Allocate(1000, 500, ie24RGB);
  IO->IOParams()->Width = 1000;
  IO->IOParams()->Height = 500;
  IO->IOParams()->SetDpiY(150);
  IO->AdjustDpi();
  EXPECT_EQ(IO->WorkBitmap()->GetHeight(), 500);
  EXPECT_EQ(IO->IOParams()->DpiY(), 150);
}

}  // namespace
}  // namespace zv
