#include "imaging/io/gif_writer.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace zv
