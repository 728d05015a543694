#include "imaging/io/gif_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/io/gif_lzw.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "tests/imaging/io/gif_check.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

TIERGB24 ColorOf(int i, int Bits) {
  if (i == 0) return TIERGB24{0, 0, 0};
  if (Bits == 1) return TIERGB24{255, 255, 255};
  return TIERGB24{uint8_t((i * 11) & 255), uint8_t((i * 5) & 255), uint8_t(i)};  // b, g, r
}

// A 24-bit bitmap whose pixel (x, y) has colour number (x + y * Shift) mod Count; row 0 shows every
// colour in order, so the exact palette lists them by number.
struct Picture {
  int W, H, Bits, Count;
  std::unique_ptr<TIEBitmap> Bitmap;
  Bytes Indexes;
  Picture(int AW, int AH, int ABits, int Shift = 1) : W(AW), H(AH), Bits(ABits), Count(1 << ABits) {
    Bitmap = std::make_unique<TIEBitmap>(W, H, ie24RGB);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const int I = (x + y * Shift) % Count;
        Bitmap->SetRGB(x, y, ColorOf(I, Bits));
        Indexes.push_back(uint8_t(I));
      }
  }
  Bytes Table() const {
    Bytes T;
    for (int i = 0; i < Count; ++i) {
      const TIERGB24 C = ColorOf(i, Bits);
      T.insert(T.end(), {C.r, C.g, C.b});
    }
    return T;
  }
};

void Word(Bytes& B, int V) { B.insert(B.end(), {uint8_t(V & 255), uint8_t((V >> 8) & 255)}); }

Bytes LzwData(const Picture& P, bool Interlaced) {
  TMemoryStream S;
  GifLzwEncode(&S, P.H, P.W, Interlaced, P.Indexes.data(), P.Bits);
  const auto* D = static_cast<const uint8_t*>(S.Memory());
  return Bytes(D, D + S.Size());
}

Bytes Gce(int Delay, uint8_t Packed = 0x08, uint8_t Transparent = 0) {
  Bytes B{0x21, 0xF9, 0x04, Packed};
  Word(B, Delay);
  B.insert(B.end(), {Transparent, 0x00});
  return B;
}

Bytes Descriptor(const Picture& P, uint8_t Packed) {
  Bytes B{0x2C, 0, 0, 0, 0};
  Word(B, P.W);
  Word(B, P.H);
  B.push_back(Packed);
  return B;
}

Bytes Header(int W, int H, int Bits) {
  Bytes B{'G', 'I', 'F', '8', '9', 'a'};
  Word(B, W);
  Word(B, H);
  B.insert(B.end(), {uint8_t(0x80 | ((Bits - 1) << 4) | (Bits - 1)), 0, 0});
  return B;
}

Bytes Netscape() {
  return Bytes{0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 0x03, 0x01, 0x00, 0x00, 0x00};
}

void Append(Bytes& To, const Bytes& B) { To.insert(To.end(), B.begin(), B.end()); }

Bytes Contents(TCustomMemoryStream& S) {
  const auto* D = static_cast<const uint8_t*>(S.Memory());
  return Bytes(D, D + S.Size());
}

Bytes ReadFile(const std::string& Name) {
  std::ifstream F(Name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(F), {});
}

void WriteFile(const std::string& Name, const Bytes& B) {
  std::ofstream F(Name, std::ios::binary | std::ios::trunc);
  F.write(reinterpret_cast<const char*>(B.data()), std::streamsize(B.size()));
}

class GifWriterTest : public testing::Test {
protected:
  void SetUp() override {
    Params.ResetAll();
    Params.GifEncoder = GifLzwEncode;
    Progress.Abort = &Abort;
  }
  std::string TempName(const std::string& Name) { return std::string(ZV_TEST_TMP) + "/gif_writer_" + Name; }
  Bytes WriteImage(Picture& P, int Bits) {
    Params.BitsPerSample = Bits;
    TMemoryStream S;
    GifWriteImage(&S, P.Bitmap.get(), Params, Progress);
    return Contents(S);
  }

  TIOParamsVals Params{nullptr};
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
};

// ---- One-frame files, byte for byte ----

struct OneFrameCase {
  int Bits;
  bool Interlaced;
};

class GifWriteImageBytes : public GifWriterTest, public testing::WithParamInterface<OneFrameCase> {};

TEST_P(GifWriteImageBytes, MatchTheFileLayoutAndGiflibDecodesThem) {
  const auto C = GetParam();
  Picture P((1 << C.Bits) + 3, 5, C.Bits);
  Params.GifInterlaced = C.Interlaced;
  Params.GifDelay = 7;
  const Bytes File = WriteImage(P, C.Bits);
  ASSERT_EQ(Abort, 0);

  Bytes Expected = Header(P.W, P.H, C.Bits);
  Append(Expected, P.Table());
  Append(Expected, Gce(7));
  Append(Expected, Descriptor(P, uint8_t(C.Interlaced ? 0x40 : 0x00)));
  Append(Expected, LzwData(P, C.Interlaced));
  Append(Expected, {0x21, 0xFE, 0x00, 0x3B});
  EXPECT_EQ(File, Expected);

  const auto D = giftest::DecodeWithGiflib(File);
  ASSERT_TRUE(D.Ok);
  ASSERT_EQ(D.Images.size(), 1u);
  EXPECT_EQ(D.Images[0].Indexes, P.Indexes);
  EXPECT_EQ(D.Images[0].Palette, P.Table());
}

std::vector<OneFrameCase> OneFrameCases() {
  std::vector<OneFrameCase> Cases;
  for (int Bits = 1; Bits <= 8; ++Bits)
    for (bool I : {false, true}) Cases.push_back({Bits, I});
  return Cases;
}

INSTANTIATE_TEST_SUITE_P(PaletteBits, GifWriteImageBytes, testing::ValuesIn(OneFrameCases()));

TEST_F(GifWriterTest, DelayMinusOneIsWrittenAs65535AndCommentsFollowTheImage) {
  Picture P(4, 2, 2);
  Params.GifDelay = -1;
  Params.GifComments.Add("made here");
  const Bytes File = WriteImage(P, 2);
  const size_t At = 13 + 12;
  EXPECT_EQ(File[At + 4], 0xFF);
  EXPECT_EQ(File[At + 5], 0xFF);
  const Bytes Tail{0x21, 0xFE, 9, 'm', 'a', 'd', 'e', ' ', 'h', 'e', 'r', 'e', 0x00, 0x3B};
  EXPECT_TRUE(std::equal(Tail.rbegin(), Tail.rend(), File.rbegin()));
}

TEST_F(GifWriterTest, AlphaChannelMakesTheLastIndexTransparent) {
  Picture P(6, 4, 3);
  TIEBitmap* A = P.Bitmap->GetAlphaChannel();
  A->Fill(255);
  A->SetByte(1, 0, 0);
  A->SetByte(5, 3, 254);
  const Bytes File = WriteImage(P, 8);
  ASSERT_EQ(Abort, 0);
  EXPECT_EQ(Params.GifTransparent, 1);
  const long At = 13 + 768;
  EXPECT_EQ(Bytes(File.begin() + At, File.begin() + At + 8), Gce(0, 0x09, 255));
  const auto D = giftest::DecodeWithGiflib(File);
  ASSERT_TRUE(D.Ok);
  Bytes Want = P.Indexes;
  Want[1] = 255;
  Want[3 * 6 + 5] = 255;
  EXPECT_EQ(D.Images[0].Indexes, Want);
}

// ---- Frame insertion and the loop patch ----

TEST_F(GifWriterTest, ThreeInsertionsGiveTheAnimationLayout) {
  const std::string Name = TempName("three.gif");
  std::vector<std::unique_ptr<Picture>> Frames;
  const int Bits[4] = {2, 3, 4, 2};
  for (int m = 0; m < 4; ++m) Frames.push_back(std::make_unique<Picture>(8, 6, Bits[m], m + 1));
  {
    TFileStream F(Name, fmCreate);
    Params.BitsPerSample = Bits[0];
    Params.GifDelay = 10;
    GifWriteImage(&F, Frames[0]->Bitmap.get(), Params, Progress);
  }
  for (int m = 1; m < 4; ++m) {
    Params.BitsPerSample = Bits[m];
    Params.GifDelay = 10 * (m + 1);
    Params.SetImageIndex(m);
    EXPECT_EQ(GifInsertFrameFile(Name, Frames[m]->Bitmap.get(), Params, Progress), m + 1);
    ASSERT_EQ(Abort, 0);
    EXPECT_TRUE(GifPatchLoopAndScreen(Name, 0, 10, 6));
  }

  Bytes Expected = Header(10, 6, Bits[0]);
  Append(Expected, Frames[0]->Table());
  Append(Expected, Netscape());
  Append(Expected, Gce(10));
  Append(Expected, Descriptor(*Frames[0], 0x00));
  Append(Expected, LzwData(*Frames[0], false));
  for (int m = 1; m < 4; ++m) {
    Append(Expected, Gce(10 * (m + 1)));
    Append(Expected, Descriptor(*Frames[m], uint8_t(0x80 | (Bits[m] - 1))));
    Append(Expected, Frames[m]->Table());
    Append(Expected, LzwData(*Frames[m], false));
  }
  Append(Expected, {0x21, 0xFE, 0x00, 0x3B});
  const Bytes File = ReadFile(Name);
  EXPECT_EQ(File, Expected);

  const auto D = giftest::DecodeWithGiflib(File);
  ASSERT_TRUE(D.Ok);
  ASSERT_EQ(D.Images.size(), 4u);
  for (int m = 0; m < 4; ++m) {
    EXPECT_EQ(D.Images[m].Indexes, Frames[m]->Indexes) << "frame " << m;
    EXPECT_EQ(D.Images[m].Palette, Frames[m]->Table()) << "frame " << m;
  }
}

TEST_F(GifWriterTest, InsertingInTheMiddleAndAtZeroKeepsEveryFrame) {
  Picture A(5, 3, 2, 1), B(5, 3, 2, 2), C(5, 3, 3, 1), Z(5, 3, 2, 3);
  TMemoryStream S;
  Params.BitsPerSample = 2;
  GifWriteImage(&S, A.Bitmap.get(), Params, Progress);
  S.SetPosition(0);
  Params.SetImageIndex(1);
  EXPECT_EQ(GifInsertFrame(&S, B.Bitmap.get(), Params, Progress), 2);
  S.SetPosition(0);
  Params.BitsPerSample = 3;
  EXPECT_EQ(GifInsertFrame(&S, C.Bitmap.get(), Params, Progress), 3);  // index 1 again: before B
  S.SetPosition(0);
  Params.BitsPerSample = 2;
  Params.SetImageIndex(0);
  EXPECT_EQ(GifInsertFrame(&S, Z.Bitmap.get(), Params, Progress), 4);
  ASSERT_EQ(Abort, 0);
  const auto D = giftest::DecodeWithGiflib(Contents(S));
  ASSERT_TRUE(D.Ok);
  ASSERT_EQ(D.Images.size(), 4u);
  EXPECT_EQ(D.Images[0].Indexes, Z.Indexes);
  EXPECT_EQ(D.Images[1].Indexes, A.Indexes);
  EXPECT_EQ(D.Images[2].Indexes, C.Indexes);
  EXPECT_EQ(D.Images[3].Indexes, B.Indexes);
}

TEST_F(GifWriterTest, NotAGifOrAnIndexPastTheEndReportsFailureAndChangesNothing) {
  Picture P(4, 4, 2);
  TStringStream Text("this is not a picture at all");
  Params.SetImageIndex(0);
  EXPECT_EQ(GifInsertFrame(&Text, P.Bitmap.get(), Params, Progress), 0);
  EXPECT_EQ(Abort, 1);
  EXPECT_EQ(Text.DataString(), "this is not a picture at all");

  Abort = 0;
  Params.BitsPerSample = 2;
  TMemoryStream S;
  GifWriteImage(&S, P.Bitmap.get(), Params, Progress);
  S.SetPosition(0);
  const Bytes Before = Contents(S);
  Params.SetImageIndex(2);  // the file holds one image: index 1 appends, 2 is past it
  EXPECT_EQ(GifInsertFrame(&S, P.Bitmap.get(), Params, Progress), 0);
  EXPECT_EQ(Abort, 1);
  EXPECT_EQ(Contents(S), Before);
}

TEST_F(GifWriterTest, TruncatedImageDataLeavesTheStreamAsItWas) {
  Picture P(40, 30, 8);
  Params.BitsPerSample = 8;
  Bytes File = WriteImage(P, 8);
  File.erase(File.end() - 40, File.end());  // cut inside the image data
  TMemoryStream S;
  S.Write(File.data(), int64_t(File.size()));
  S.SetPosition(0);
  Params.SetImageIndex(1);
  EXPECT_EQ(GifInsertFrame(&S, P.Bitmap.get(), Params, Progress), 0);
  EXPECT_EQ(Abort, 1);
  EXPECT_EQ(Contents(S), File);
}

// A memory stream that cannot grow past MaxSize, as a full disk: writes that would cross it come out short.
class ShortWriteStream : public TMemoryStream {
public:
  int64_t MaxSize = INT64_MAX;
  int64_t Write(const void* Buffer, int64_t Count) override {
    const int64_t N = std::clamp<int64_t>(MaxSize - Position(), 0, Count);
    return N > 0 ? TMemoryStream::Write(Buffer, N) : 0;
  }
};

TEST_F(GifWriterTest, AShortWriteLeavesTheStreamAsItWas) {
  Picture P(30, 20, 6), Q(30, 20, 6, 3);
  Params.BitsPerSample = 6;
  const Bytes One = WriteImage(P, 6);
  auto Insert = [&](const Bytes& Old, int Index, int64_t MaxSize, int32_t& Count) {
    ShortWriteStream S;
    S.Write(Old.data(), int64_t(Old.size()));
    S.SetPosition(0);
    S.MaxSize = MaxSize;
    Abort = 0;
    Params.SetImageIndex(Index);
    Count = GifInsertFrame(&S, Q.Bitmap.get(), Params, Progress);
    return Contents(S);
  };
  int32_t Count = 0;
  const Bytes Two = Insert(One, 1, INT64_MAX, Count);
  ASSERT_EQ(Count, 2);
  // Append (index 2) and insert in the middle (index 1), each with room for nothing up to enough.
  for (int Index : {2, 1}) {
    const Bytes Whole = Insert(Two, Index, INT64_MAX, Count);
    for (int64_t Room : {0, 1, 5, 100, 300, 600, 100000}) {
      const Bytes After = Insert(Two, Index, int64_t(Two.size()) + Room, Count);
      if (Abort) {
        EXPECT_EQ(Count, 0);
        EXPECT_EQ(After, Two) << "index " << Index << ", room " << Room;
      } else {
        EXPECT_EQ(Count, 3);
        EXPECT_EQ(After, Whole) << "index " << Index << ", room " << Room;
      }
    }
    EXPECT_GT(Whole.size(), Two.size() + 300);  // so the small rooms did fail
  }
}

TEST_F(GifWriterTest, LoopPatchAddsOneBlockAndKeepsTheLargerScreen) {
  Picture P(100, 80, 2);
  const std::string Name = TempName("patch.gif");
  const Bytes Original = WriteImage(P, 2);
  WriteFile(Name, Original);
  ASSERT_TRUE(GifPatchLoopAndScreen(Name, 0, 120, 60));
  ASSERT_TRUE(GifPatchLoopAndScreen(Name, 0, 120, 60));
  Bytes Expected = Header(120, 80, 2);
  Append(Expected, P.Table());
  Append(Expected, Netscape());
  Expected.insert(Expected.end(), Original.begin() + 13 + 12, Original.end());
  EXPECT_EQ(ReadFile(Name), Expected);

  WriteFile(Name, Bytes{'n', 'o', 'p', 'e'});
  EXPECT_FALSE(GifPatchLoopAndScreen(Name, 0, 1, 1));
  EXPECT_EQ(ReadFile(Name), (Bytes{'n', 'o', 'p', 'e'}));
}

// ---- Appending by a known append point ----

// Frame m of an animation: 8-bit pictures that differ from frame to frame.
std::unique_ptr<Picture> AnimationFrame(int m) { return std::make_unique<Picture>(23 + m % 3, 17, m % 2 ? 8 : 5, m + 2); }

TEST_F(GifWriterTest, AppendingAtAKnownPointGivesTheBytesOfTheWalk) {
  const std::string Known = TempName("append_known.gif"), Walked = TempName("append_walked.gif");
  auto First = AnimationFrame(0);
  const Bytes One = WriteImage(*First, First->Bits);
  WriteFile(Known, One);
  WriteFile(Walked, One);
  TGifAppendPoint Point;
  for (int m = 1; m <= 6; ++m) {
    SCOPED_TRACE(m);
    auto Frame = AnimationFrame(m);
    Params.BitsPerSample = Frame->Bits;
    Params.GifDelay = 3 * m;
    Params.SetImageIndex(m);
    // From the second append on the point is known and stamped: no walk.
    EXPECT_EQ(Point.Known, m > 1);
    ASSERT_EQ(GifInsertFrameFile(Known, Frame->Bitmap.get(), Params, Progress, Point), m + 1);
    ASSERT_TRUE(GifPatchLoopAndScreen(Known, 0, 30, 17, &Point));
    ASSERT_TRUE(GifStampAppendPoint(Known, Point));
    TGifAppendPoint WalkPoint;  // unknown: the file is walked
    ASSERT_EQ(GifInsertFrameFile(Walked, Frame->Bitmap.get(), Params, Progress, WalkPoint), m + 1);
    ASSERT_TRUE(GifPatchLoopAndScreen(Walked, 0, 30, 17));
    ASSERT_EQ(Abort, 0);

    const Bytes File = ReadFile(Known);
    ASSERT_EQ(File, ReadFile(Walked));
    // The point is the end of the last image: its terminator, then the comment extension and trailer.
    EXPECT_EQ(Point.ImageCount, m + 1);
    ASSERT_EQ(Point.Offset + 4, int64_t(File.size()));
    EXPECT_EQ(Bytes(File.end() - 5, File.end()), (Bytes{0x00, 0x21, 0xFE, 0x00, 0x3B}));
    EXPECT_EQ(Point.Size, int64_t(File.size()));
  }
  const auto D = giftest::DecodeWithGiflib(ReadFile(Known));
  ASSERT_TRUE(D.Ok);
  ASSERT_EQ(D.Images.size(), 7u);
  EXPECT_EQ(D.Images[6].Indexes, AnimationFrame(6)->Indexes);
}

TEST_F(GifWriterTest, AKnownPointSkipsTheWalkOnlyWhileTheFileIsAsItWasLeft) {
  const std::string Name = TempName("append_point.gif");
  auto First = AnimationFrame(0), Second = AnimationFrame(1), Third = AnimationFrame(2);
  WriteFile(Name, WriteImage(*First, First->Bits));
  TGifAppendPoint Point;
  Params.BitsPerSample = 8;
  Params.SetImageIndex(1);
  ASSERT_EQ(GifInsertFrameFile(Name, Second->Bitmap.get(), Params, Progress, Point), 2);
  ASSERT_TRUE(GifPatchLoopAndScreen(Name, 0, 0, 0, &Point));
  ASSERT_TRUE(Point.Known);
  const Bytes Two = ReadFile(Name);

  // Bytes a walk drops (here in place of the loop block) show which way the frame went in. With the
  // point stamped after the change it is trusted: the bytes before it stay.
  const int64_t Q = 13 + int64_t(First->Table().size());
  Bytes Odd = Two;
  std::fill(Odd.begin() + Q, Odd.begin() + Q + 19, 0x00);
  WriteFile(Name, Odd);
  TGifAppendPoint Trusted = Point;
  ASSERT_TRUE(GifStampAppendPoint(Name, Trusted));
  Params.SetImageIndex(2);
  ASSERT_EQ(GifInsertFrameFile(Name, Third->Bitmap.get(), Params, Progress, Trusted), 3);
  Bytes Kept = ReadFile(Name);
  ASSERT_GT(Kept.size(), Odd.size());
  EXPECT_TRUE(std::equal(Odd.begin(), Odd.begin() + Point.Offset, Kept.begin()));

  // The point as stamped before the change: the size, or only the times, differ, and the file is walked.
  for (bool SameSize : {true, false}) {
    SCOPED_TRACE(SameSize ? "same size" : "other size");
    Bytes Changed = Odd;
    if (!SameSize) Changed.insert(Changed.begin() + Q, 0x00);
    WriteFile(Name, Two);
    TGifAppendPoint Stale = Point;
    ASSERT_TRUE(GifStampAppendPoint(Name, Stale));
    WriteFile(Name, Changed);
    if (SameSize) {
      // A change within one tick of the clock leaves the times alone; this one is a second later.
      struct stat Info {};
      ASSERT_EQ(stat(Name.c_str(), &Info), 0);
      const timespec Times[2] = {Info.st_atim, {Info.st_mtim.tv_sec + 1, Info.st_mtim.tv_nsec}};
      ASSERT_EQ(utimensat(AT_FDCWD, Name.c_str(), Times, 0), 0);
    }
    ASSERT_EQ(GifInsertFrameFile(Name, Third->Bitmap.get(), Params, Progress, Stale), 3);
    const Bytes Walked = ReadFile(Name);
    WriteFile(Name, Changed);
    TGifAppendPoint None;
    ASSERT_EQ(GifInsertFrameFile(Name, Third->Bitmap.get(), Params, Progress, None), 3);
    EXPECT_EQ(Walked, ReadFile(Name));
    EXPECT_EQ(Walked.size(), Two.size() + (Kept.size() - Odd.size()) - 19);  // the dropped bytes are gone
  }

  // A point for another image count (an insertion before the end) is not used either.
  WriteFile(Name, Two);
  ASSERT_TRUE(GifStampAppendPoint(Name, Point));
  Params.SetImageIndex(1);
  ASSERT_EQ(GifInsertFrameFile(Name, Third->Bitmap.get(), Params, Progress, Point), 3);
  const auto D = giftest::DecodeWithGiflib(ReadFile(Name));
  ASSERT_TRUE(D.Ok);
  ASSERT_EQ(D.Images.size(), 3u);
  EXPECT_EQ(D.Images[1].Indexes, Third->Indexes);
  EXPECT_EQ(D.Images[2].Indexes, Second->Indexes);
  EXPECT_EQ(Abort, 0);
}

}  // namespace
}  // namespace zv
