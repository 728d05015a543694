#include "imaging/core/zlib_streams.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/ie_streams.h"

using namespace zv;

namespace {

// Half pseudo-random bytes, half runs: some blocks compress, some do not.
std::vector<uint8_t> Sample(size_t n, uint32_t seed = 1) {
  std::vector<uint8_t> v(n);
  uint32_t x = seed;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    v[i] = (i / 4096) % 2 ? static_cast<uint8_t>(x >> 24) : static_cast<uint8_t>(i / 300);
  }
  return v;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data, TZCompressionLevel level = zcDefault) {
  TMemoryStream packed;
  {
    TZCompressionStream z(&packed, level);
    // Uneven writes, so that blocks fill in the middle of a write.
    size_t done = 0, step = 1;
    while (done < data.size()) {
      const size_t n = std::min(step, data.size() - done);
      z.WriteBuffer(data.data() + done, static_cast<int64_t>(n));
      done += n;
      step = step * 3 + 1;
    }
    z.Finish();
  }
  const auto* m = static_cast<const uint8_t*>(packed.Memory());
  return std::vector<uint8_t>(m, m + packed.Size());
}

void Fill(TMemoryStream& s, const std::vector<uint8_t>& bytes) {
  s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.SetPosition(0);
}

template <class E>
std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "<no exception>";
}

// A zlib stream made with a preset dictionary, which this library cannot supply when inflating.
std::vector<uint8_t> DeflateWithDictionary(const std::vector<uint8_t>& data) {
  z_stream z{};
  EXPECT_EQ(deflateInit(&z, Z_DEFAULT_COMPRESSION), Z_OK);
  const char dict[] = "a preset dictionary of common words";
  EXPECT_EQ(deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dict), sizeof dict), Z_OK);
  std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace

// ---- Round trips ------------------------------------------------------------------------------------

struct RoundTripCase {
  size_t Size;
  TZCompressionLevel Level;
};

class ZRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(ZRoundTrip, InflatesWhatWasDeflated) {
  const auto [size, level] = GetParam();
  const std::vector<uint8_t> data = Sample(size);
  const std::vector<uint8_t> packed = Deflate(data, level);

  // The stream and the whole-buffer routine both give the data back.
  TMemoryStream source;
  Fill(source, packed);
  TZDecompressionStream z(&source);
  std::vector<uint8_t> got(size + 10);
  size_t done = 0, step = 5;
  for (;;) {
    const int64_t n = z.Read(got.data() + done, static_cast<int64_t>(std::min(step, got.size() - done)));
    if (n == 0) break;
    done += static_cast<size_t>(n);
    step = step * 2 + 3;
  }
  ASSERT_EQ(done, size);
  got.resize(size);
  EXPECT_EQ(got, data);
  uint8_t b;
  EXPECT_EQ(z.Read(&b, 1), 0);
  EXPECT_EQ(z.Position(), int64_t(size));

  void* out = nullptr;
  int32_t outBytes = -1;
  ZDecompressBuf(packed.data(), static_cast<int32_t>(packed.size()), out, outBytes, 0);
  ASSERT_EQ(outBytes, int32_t(size));
  if (size > 0) {
    EXPECT_EQ(0, std::memcmp(out, data.data(), size));
  }
  std::free(out);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ZRoundTrip,
                         ::testing::Values(RoundTripCase{0, zcDefault}, RoundTripCase{1, zcDefault},
                                           RoundTripCase{1000, zcFastest}, RoundTripCase{65535, zcDefault},
                                           RoundTripCase{65536, zcMax}, RoundTripCase{65537, zcDefault},
                                           RoundTripCase{300000, zcNone}, RoundTripCase{300000, zcMax}));

TEST(ZCompressionStream, NothingWrittenStillMakesACompleteStream) {
  TMemoryStream packed;
  { TZCompressionStream z(&packed); }
  EXPECT_GT(packed.Size(), 0);
  packed.SetPosition(0);
  TZDecompressionStream z(&packed);
  uint8_t b[4];
  EXPECT_EQ(z.Read(b, 4), 0);
}

TEST(ZCompressionStream, CountsInputReportsBlocksAndRefusesReads) {
  TMemoryStream packed;
  int blocks = 0;
  {
    TZCompressionStream z(&packed, zcNone);
    z.OnProgress = [&](TObject* sender) {
      EXPECT_EQ(sender, &z);
      ++blocks;
    };
    const std::vector<uint8_t> data = Sample(200000);
    z.WriteBuffer(data.data(), 200000);
    EXPECT_EQ(z.Seek(0, soCurrent), 200000);
    EXPECT_EQ(z.Seek(5, soBeginning), 200000);
    EXPECT_EQ(z.Position(), 200000);
    uint8_t b;
    EXPECT_EQ(MessageOf<EZCompressionError>([&] { z.Read(&b, 1); }), "Invalid ZStream operation!");
  }
  // 200000 stored bytes fill whole 64 KiB blocks while being written; zlib may hold the last back.
  EXPECT_GE(blocks, 2);
  EXPECT_LE(blocks, 3);
}

TEST(ZCompressionStream, AShortWriteRaisesFromFinishAndNotFromTheDestructor) {
  uint8_t block[16] = {};
  TIEMemStream tooSmall(block, 16);
  const std::vector<uint8_t> data = Sample(1000);
  auto z = std::make_unique<TZCompressionStream>(&tooSmall, zcNone);
  z->WriteBuffer(data.data(), 1000);
  EXPECT_THROW(z->Finish(), EWriteError);
  z->Finish();  // once only
  EXPECT_NO_THROW(z.reset());

  // Unfinished and failing: the destructor stays quiet.
  TIEMemStream tooSmall2(block, 16);
  auto quiet = std::make_unique<TZCompressionStream>(&tooSmall2, zcNone);
  quiet->WriteBuffer(data.data(), 1000);
  EXPECT_NO_THROW(quiet.reset());
}

// ---- Decompression seeks and positions ----------------------------------------------------------------

class ZSeek : public ::testing::Test {
protected:
  void SetUp() override {
    data = Sample(100000);
    Fill(source, Deflate(data));
    z = std::make_unique<TZDecompressionStream>(&source);
  }
  std::vector<uint8_t> ReadSome(int64_t n) {
    std::vector<uint8_t> b(static_cast<size_t>(n));
    z->ReadBuffer(b.data(), n);
    return b;
  }
  std::vector<uint8_t> Expected(size_t from, size_t n) {
    return std::vector<uint8_t>(data.begin() + long(from), data.begin() + long(from + n));
  }

  std::vector<uint8_t> data;
  TMemoryStream source;
  std::unique_ptr<TZDecompressionStream> z;
};

TEST_F(ZSeek, ForwardSeeksSkipAndRewindStartsOver) {
  EXPECT_EQ(z->Seek(0, soCurrent), 0);
  EXPECT_EQ(z->Seek(30000, soBeginning), 30000);
  EXPECT_EQ(ReadSome(10), Expected(30000, 10));
  EXPECT_EQ(z->Seek(20000, soCurrent), 50010);
  EXPECT_EQ(ReadSome(10), Expected(50010, 10));
  EXPECT_EQ(z->Seek(50020, soBeginning), 50020);  // to where it is: nothing moves
  EXPECT_EQ(z->Seek(0, soEnd), 100000);
  EXPECT_EQ(z->Seek(0, soBeginning), 0);
  EXPECT_EQ(ReadSome(10), Expected(0, 10));
}

TEST_F(ZSeek, BackwardAndEndRelativeSeeksRaise) {
  ReadSome(5000);
  EXPECT_EQ(MessageOf<EZDecompressionError>([&] { z->Seek(100, soBeginning); }), "Invalid ZStream operation!");
  EXPECT_EQ(MessageOf<EZDecompressionError>([&] { z->Seek(-1, soCurrent); }), "Invalid ZStream operation!");
  EXPECT_EQ(MessageOf<EZDecompressionError>([&] { z->Seek(-10, soEnd); }), "Invalid ZStream operation!");
  EXPECT_EQ(MessageOf<EZDecompressionError>([&] { z->Write("a", 1); }), "Invalid ZStream operation!");
  EXPECT_THROW(z->Seek(200000, soBeginning), EReadError);  // beyond the data
}

TEST_F(ZSeek, TheSourceIsLeftJustBehindTheCompressedDataAndMayBeMovedMeanwhile) {
  const int64_t packedSize = source.Size();
  source.Seek(0, soEnd);
  source.WriteBuffer("TRAILER", 7);
  source.SetPosition(0);

  ReadSome(40000);
  source.SetPosition(3);  // someone else uses the source between reads
  EXPECT_EQ(ReadSome(10), Expected(40000, 10));
  std::vector<uint8_t> rest(70000);
  EXPECT_EQ(z->Read(rest.data(), 70000), 100000 - 40010);
  EXPECT_EQ(source.Position(), packedSize);
  char trailer[8] = {};
  source.ReadBuffer(trailer, 7);
  EXPECT_STREQ(trailer, "TRAILER");
}

TEST(ZDecompressionStream, RewindGoesBackToWhereTheDataStarted) {
  const std::vector<uint8_t> data = Sample(5000);
  const std::vector<uint8_t> packed = Deflate(data);
  TMemoryStream source;
  source.WriteBuffer("HEADER", 6);
  source.WriteBuffer(packed.data(), static_cast<int64_t>(packed.size()));
  source.SetPosition(6);
  TZDecompressionStream z(&source);
  std::vector<uint8_t> got(5000);
  z.ReadBuffer(got.data(), 5000);
  EXPECT_EQ(z.Seek(0, soBeginning), 0);
  z.ReadBuffer(got.data(), 5000);
  EXPECT_EQ(got, data);
}

// ---- Refused data -----------------------------------------------------------------------------------

// The stream hands over what the cut data holds and then nothing; the whole-buffer inflate, which has no
// count to give back, refuses it.
TEST(ZRefusal, TruncatedDataReadsShortAndTheBufferInflateRefusesIt) {
  const std::vector<uint8_t> data = Sample(200000);
  const std::vector<uint8_t> packed = Deflate(data);
  for (size_t cut : {size_t(0), size_t(1), size_t(2), packed.size() / 2, packed.size() - 1}) {
    std::vector<uint8_t> part(packed.begin(), packed.begin() + long(cut));
    TMemoryStream source;
    Fill(source, part);
    TZDecompressionStream z(&source);
    std::vector<uint8_t> got(data.size() + 1);
    int64_t n = -1;
    EXPECT_NO_THROW(n = z.Read(got.data(), int64_t(got.size()))) << cut;
    ASSERT_GE(n, 0) << cut;
    EXPECT_LE(n, int64_t(data.size())) << cut;
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + n, data.begin())) << cut;
    if (cut == packed.size() / 2) {
      EXPECT_GT(n, 0);
    }
    EXPECT_EQ(z.Read(got.data(), 10), 0) << cut;
    source.SetPosition(0);
    TZDecompressionStream z2(&source);
    EXPECT_EQ(z2.Seek(0, soEnd), n) << cut;

    void* out = reinterpret_cast<void*>(1);
    int32_t outBytes = -1;
    EXPECT_EQ(MessageOf<EZDecompressionError>(
                  [&] { ZDecompressBuf(part.data(), int32_t(part.size()), out, outBytes, 0); }),
              "buffer error")
        << cut;
  }
}

// zlib may have taken the last input bytes and still hold output (the rest of a long match) when a read's
// buffer fills: the next read must get it, whatever the piece size, for whole and for cut data.
TEST(ZDecompressionStream, EveryPieceSizeGetsAllTheDataHolds) {
  std::vector<uint8_t> data = Sample(9000, 7);
  data.insert(data.end(), 5000, uint8_t(42));  // ends in long matches
  const std::vector<uint8_t> packed = Deflate(data, zcMax);
  for (size_t cut : {packed.size(), packed.size() - 4, packed.size() / 2}) {
    const std::vector<uint8_t> part(packed.begin(), packed.begin() + long(cut));
    TMemoryStream whole;
    Fill(whole, part);
    TZDecompressionStream all(&whole);
    std::vector<uint8_t> expected(data.size() + 1);
    expected.resize(size_t(all.Read(expected.data(), int64_t(expected.size()))));
    if (cut == packed.size()) {
      ASSERT_EQ(expected, data);
    }
    for (size_t piece = 1; piece <= 700; piece += piece < 40 ? 1 : 37) {
      TMemoryStream source;
      Fill(source, part);
      TZDecompressionStream z(&source);
      std::vector<uint8_t> got;
      std::vector<uint8_t> buffer(piece);
      for (int64_t n; (n = z.Read(buffer.data(), int64_t(piece))) > 0;) got.insert(got.end(), buffer.begin(), buffer.begin() + n);
      ASSERT_EQ(got, expected) << "cut " << cut << ", piece " << piece;
      EXPECT_EQ(z.Seek(0, soEnd), int64_t(expected.size())) << "cut " << cut << ", piece " << piece;
    }
  }
}

TEST(ZRefusal, APresetDictionaryFailsInsteadOfLooping) {
  const std::vector<uint8_t> data = Sample(3000);
  const std::vector<uint8_t> packed = DeflateWithDictionary(data);
  TMemoryStream source;
  Fill(source, packed);
  TZDecompressionStream z(&source);
  std::vector<uint8_t> got(data.size());
  EXPECT_EQ(MessageOf<EZDecompressionError>([&] { z.Read(got.data(), int64_t(got.size())); }), "need dictionary");

  void* out = nullptr;
  int32_t outBytes = 0;
  EXPECT_EQ(MessageOf<EZDecompressionError>(
                [&] { ZDecompressBuf(packed.data(), int32_t(packed.size()), out, outBytes, 0); }),
            "need dictionary");
}

TEST(ZRefusal, CorruptDataRaisesDataError) {
  std::vector<uint8_t> packed = Deflate(Sample(20000));
  for (size_t i = 2; i < 40; ++i) packed[i] ^= 0x5A;
  TMemoryStream source;
  Fill(source, packed);
  TZDecompressionStream z(&source);
  std::vector<uint8_t> got(20000);
  EXPECT_EQ(MessageOf<EZDecompressionError>([&] { z.Read(got.data(), 20000); }), "data error");
}

// ---- Whole-buffer inflate and result texts ------------------------------------------------------------

TEST(ZDecompressBuf, GrowsFromTheEstimateToExactlyTheInflatedSize) {
  // A stored (incompressible) body keeps the input near 1000 bytes, so growth starts at 1024.
  const std::vector<uint8_t> data = Sample(980);
  const std::vector<uint8_t> packed = Deflate(data, zcNone);
  ASSERT_GT(packed.size(), 980u);
  for (int32_t estimate : {0, 1, 980, 100000}) {
    void* out = nullptr;
    int32_t outBytes = 0;
    ZDecompressBuf(packed.data(), int32_t(packed.size()), out, outBytes, estimate);
    ASSERT_EQ(outBytes, 980) << estimate;
    EXPECT_EQ(0, std::memcmp(out, data.data(), 980)) << estimate;
    std::free(out);
  }
  const std::vector<uint8_t> big = std::vector<uint8_t>(118188, 7);
  const std::vector<uint8_t> small = Deflate(big);
  void* out = nullptr;
  int32_t outBytes = 0;
  ZDecompressBuf(small.data(), int32_t(small.size()), out, outBytes, 0);
  EXPECT_EQ(outBytes, 118188);
  std::free(out);
}

TEST(ZErrors, ResultTextsAndChecks) {
  const std::pair<int, const char*> table[] = {
      {2, "need dictionary"}, {1, "stream end"},          {0, ""},
      {-1, "file error"},     {-2, "stream error"},       {-3, "data error"},
      {-4, "insufficient memory"}, {-5, "buffer error"}, {-6, "incompatible version"},
      {-7, ""},
  };
  for (const auto& [code, text] : table) EXPECT_STREQ(ZErrorText(code), text) << code;
  EXPECT_EQ(ZCompressCheck(1), 1);
  EXPECT_EQ(ZCompressCheck(2), 2);
  EXPECT_EQ(MessageOf<EZCompressionError>([] { ZCompressCheck(-3); }), "data error");
  EXPECT_EQ(ZDecompressCheck(1), 1);
  EXPECT_EQ(MessageOf<EZDecompressionError>([] { ZDecompressCheck(-5); }), "buffer error");
  EXPECT_THROW(ZDecompressCheck(-7), EZLibError);
}
