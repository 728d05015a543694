#include "imaging/core/ie_streams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "imaging/core/zlib_streams.h"
#include "platform/sysutils.h"

using namespace zv;

namespace {

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return v;
}

// A memory stream that counts the reads reaching it.
class CountingStream : public TMemoryStream {
public:
  int64_t Read(void* Buffer, int64_t Count) override {
    ++Reads;
    return TMemoryStream::Read(Buffer, Count);
  }
  int Reads = 0;
};

void Fill(TMemoryStream& s, const std::vector<uint8_t>& data) {
  s.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  s.SetPosition(0);
}

}  // namespace

// ---- TIEMemStream -----------------------------------------------------------------------------------

TEST(IEMemStream, ReadsTheBlockInPlaceAndRefusesToWrite) {
  const std::vector<uint8_t> data = Pattern(100);
  TIEMemStream s(data.data(), 100);
  EXPECT_EQ(s.Size(), 100);
  uint8_t got[10];
  s.SetPosition(95);
  EXPECT_EQ(s.Read(got, 10), 5);
  EXPECT_EQ(0, std::memcmp(got, data.data() + 95, 5));
  s.SetPosition(0);
  EXPECT_EQ(s.Write("xyz", 3), 0);
  s.SetSize(10);
  EXPECT_EQ(s.Size(), 100);
  EXPECT_EQ(data, Pattern(100));
}

// ---- TIEBufferedReadStream --------------------------------------------------------------------------

class BufferedReadTest : public ::testing::TestWithParam<int32_t> {};

TEST_P(BufferedReadTest, MixedReadsAndSeeksMatchTheSourceAcrossBufferBoundaries) {
  const std::vector<uint8_t> data = Pattern(5000);
  TMemoryStream source;
  Fill(source, data);
  TIEBufferedReadStream s(&source, GetParam(), false);
  EXPECT_EQ(s.Size(), 5000);
  std::vector<uint8_t> got;
  const int sizes[] = {1, 3, 1, 17, 64, 1, 250, 9, 1000, 2};
  size_t k = 0;
  while (got.size() < data.size()) {
    uint8_t chunk[1000];
    const int64_t n = s.Read(chunk, sizes[k++ % std::size(sizes)]);
    ASSERT_GT(n, 0);
    got.insert(got.end(), chunk, chunk + n);
  }
  EXPECT_EQ(got, data);
  EXPECT_TRUE(s.EndOfStream());

  // Random-access reads after seeks in every direction.
  const int64_t targets[] = {4990, 3, 4, 1020, 1019, 2500, 0, 4095, 4096};
  for (int64_t t : targets) {
    EXPECT_EQ(s.Seek(t, soBeginning), t);
    uint8_t b[6] = {};
    const int64_t want = std::min<int64_t>(6, 5000 - t);
    ASSERT_EQ(s.Read(b, 6), want) << t;
    EXPECT_EQ(0, std::memcmp(b, data.data() + t, static_cast<size_t>(want))) << t;
    EXPECT_EQ(s.Position(), t + want);
  }
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, BufferedReadTest, ::testing::Values(1, 7, 64, 1024, 8192));

TEST(BufferedReadStream, ReadPastTheEndReturnsTheRestAndSetsTheEndFlag) {
  const std::vector<uint8_t> data = Pattern(100);
  TMemoryStream source;
  Fill(source, data);
  TIEBufferedReadStream s(&source, 16, false);
  s.Seek(90, soBeginning);
  uint8_t b[50];
  EXPECT_EQ(s.Read(b, 50), 10);
  EXPECT_TRUE(s.EndOfStream());
  EXPECT_EQ(0, std::memcmp(b, data.data() + 90, 10));
  EXPECT_EQ(s.Read(b, 1), 0);
  EXPECT_EQ(s.Read(b, 5), 0);
}

TEST(BufferedReadStream, SeekClampsToBothEnds) {
  TMemoryStream source;
  Fill(source, Pattern(100));
  TIEBufferedReadStream s(&source, 16, false);
  EXPECT_EQ(s.Seek(100, soBeginning), 100);
  EXPECT_TRUE(s.EndOfStream());
  EXPECT_EQ(s.Seek(-5, soBeginning), 0);
  EXPECT_FALSE(s.EndOfStream());
  EXPECT_EQ(s.Seek(500, soCurrent), 100);
  EXPECT_TRUE(s.EndOfStream());
  EXPECT_EQ(s.Seek(0, soEnd), 100);
}

TEST(BufferedReadStream, RelativeStreamCountsFromTheSourcePosition) {
  const std::vector<uint8_t> data = Pattern(300);
  TMemoryStream source;
  Fill(source, data);
  source.SetPosition(100);
  TIEBufferedReadStream s(&source, 32, true);
  EXPECT_EQ(s.Position(), 0);
  EXPECT_EQ(s.Size(), 200);
  uint8_t b[40];
  s.ReadBuffer(b, 40);
  EXPECT_EQ(s.Seek(0, soBeginning), 0);
  uint8_t first = 0;
  ASSERT_EQ(s.Read(&first, 1), 1);
  EXPECT_EQ(first, data[100]);
}

TEST(BufferedReadStream, SeekInsideTheBufferDoesNotTouchTheSource) {
  CountingStream source;
  Fill(source, Pattern(1000));
  TIEBufferedReadStream s(&source, 64, false);
  const int afterCreate = source.Reads;
  uint8_t b[10];
  s.ReadBuffer(b, 10);
  s.Seek(2, soBeginning);
  s.ReadBuffer(b, 10);
  s.Seek(50, soBeginning);
  s.ReadBuffer(b, 10);
  EXPECT_EQ(source.Reads, afterCreate);
  s.Seek(500, soBeginning);
  s.ReadBuffer(b, 1);
  EXPECT_EQ(source.Reads, afterCreate + 1);
}

TEST(BufferedReadStream, WritingRaises) {
  TMemoryStream source;
  Fill(source, Pattern(10));
  TIEBufferedReadStream s(&source, 8, false);
  try {
    s.Write("a", 1);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TIEBufferedReadStream cannot write!");
  }
}

// ---- TIEWideFileStream ------------------------------------------------------------------------------

TEST(WideFileStream, CreatesWritesAndReopens) {
  ForceDirectories(ZV_TEST_TMP);
  const std::string name = std::string(ZV_TEST_TMP) + "/ie-wide-file.bin";
  {
    TIEWideFileStream s(name, ieFileCreate);
    s.WriteBuffer("hello", 5);
  }
  {
    TIEWideFileStream s(name, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(s.Size(), 5);
    char b[6] = {};
    s.ReadBuffer(b, 5);
    EXPECT_STREQ(b, "hello");
    EXPECT_EQ(s.Write("x", 1), 0);  // opened for reading only
  }
  {
    TIEWideFileStream s(name, fmCreate);
    EXPECT_EQ(s.Size(), 0);
  }
  DeleteFile(name);
}

TEST(WideFileStream, FailuresNameTheFullPathAndTheReason) {
  ForceDirectories(ZV_TEST_TMP);
  const std::string missing = std::string(ZV_TEST_TMP) + "/no-such-file.bin";
  try {
    TIEWideFileStream s(missing, fmOpenRead);
    FAIL() << "no exception";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + ExpandFileName(missing) + "\". " + SysErrorMessage(2));
  }
  const std::string badFolder = std::string(ZV_TEST_TMP) + "/no-such-folder/x.bin";
  try {
    TIEWideFileStream s(badFolder, ieFileCreate);
    FAIL() << "no exception";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file \"" + ExpandFileName(badFolder) + "\". " + SysErrorMessage(2));
  }
}

// ---- TNulStream -------------------------------------------------------------------------------------

TEST(NulStream, CountsWithoutData) {
  TNulStream s;
  char b[10] = {};
  EXPECT_EQ(s.Write(b, 10), 10);
  EXPECT_EQ(s.Seek(4, soBeginning), 4);
  EXPECT_EQ(s.Write(b, 2), 2);
  EXPECT_EQ(s.Position(), 6);
  EXPECT_EQ(s.Size(), 10);
  EXPECT_EQ(s.Seek(0, soEnd), 10);
  EXPECT_EQ(s.Seek(5, soCurrent), 15);
  EXPECT_EQ(s.Size(), 15);
  EXPECT_EQ(s.Read(b, 3), 3);
  EXPECT_EQ(s.Size(), 18);
}

// ---- Stream routines --------------------------------------------------------------------------------

TEST(StreamStrings, RoundTripIncludingEmptyAndLong) {
  const std::string texts[] = {"", "a", "hello world", std::string(100000, 'q'), std::string("\0x\0", 3)};
  TMemoryStream s;
  for (const auto& t : texts) StreamWriteString(&s, t);
  EXPECT_EQ(s.Size(), int64_t(5 * 4 + 0 + 1 + 11 + 100000 + 3));
  s.SetPosition(0);
  for (const auto& t : texts) {
    std::string got = "junk";
    StreamReadString(&s, got);
    EXPECT_EQ(got, t);
  }
  // Little-endian length, no terminator.
  TMemoryStream one;
  StreamWriteString(&one, "AB");
  const auto* m = static_cast<const uint8_t*>(one.Memory());
  EXPECT_EQ(std::vector<uint8_t>(m, m + 6), (std::vector<uint8_t>{2, 0, 0, 0, 'A', 'B'}));
}

TEST(StreamStrings, LengthsBeyondTheStreamAreRefusedBeforeAllocating) {
  struct Case {
    uint8_t len[4];
    const char* what;
  };
  const Case cases[] = {
      {{0xF0, 0xFF, 0xFF, 0x7F}, "2 GiB claimed, 3 bytes held"},
      {{0xFF, 0xFF, 0xFF, 0xFF}, "negative length"},
      {{4, 0, 0, 0}, "one byte short"},
  };
  for (const Case& c : cases) {
    TMemoryStream s;
    s.WriteBuffer(c.len, 4);
    s.WriteBuffer("abc", 3);
    s.SetPosition(0);
    std::string text = "kept";
    EXPECT_THROW(StreamReadString(&s, text), EReadError) << c.what;
    EXPECT_EQ(text, "kept") << c.what;
  }
}

TEST(StreamStrings, StreamsOfUnknownSizeDeliverOrRefuseWithoutTrustingTheLength) {
  TMemoryStream packed;
  {
    TZCompressionStream z(&packed);
    StreamWriteString(&z, "inside");
    const uint8_t huge[4] = {0xF0, 0xFF, 0xFF, 0x7F};
    z.WriteBuffer(huge, 4);
    z.WriteBuffer("abc", 3);
  }
  packed.SetPosition(0);
  TZDecompressionStream z(&packed);
  std::string text;
  StreamReadString(&z, text);
  EXPECT_EQ(text, "inside");
  EXPECT_THROW(StreamReadString(&z, text), EReadError);
  EXPECT_EQ(text, "inside");
}

TEST(StreamRoutines, TextLineEndsWithCrLf) {
  TMemoryStream s;
  WriteTextLine(&s, "%!PS");
  WriteTextLine(&s, "");
  const auto* m = static_cast<const char*>(s.Memory());
  EXPECT_EQ(std::string(m, static_cast<size_t>(s.Size())), "%!PS\r\n\r\n");
}

TEST(StreamRoutines, SafeStreamWriteSetsButNeverClearsTheAbortByte) {
  uint8_t block[4] = {};
  TIEMemStream full(block, 4);
  TMemoryStream ok;
  uint8_t aborting = 0;
  SafeStreamWrite(&ok, aborting, "abcd", 4);
  EXPECT_EQ(aborting, 0);
  SafeStreamWrite(&full, aborting, "abcd", 4);
  EXPECT_EQ(aborting, 1);
  SafeStreamWrite(&ok, aborting, "abcd", 4);
  EXPECT_EQ(aborting, 1);
}

TEST(StreamRoutines, CopyStreamCountRules) {
  const std::vector<uint8_t> data = Pattern(500000);  // more than one copy block
  TMemoryStream source;
  Fill(source, data);

  source.SetPosition(1234);
  TMemoryStream whole;
  EXPECT_EQ(IECopyStream(&whole, &source, 0), 500000);
  EXPECT_EQ(0, std::memcmp(whole.Memory(), data.data(), data.size()));

  source.SetPosition(499990);
  TMemoryStream tail;
  EXPECT_EQ(IECopyStream(&tail, &source, 100), 10);
  EXPECT_EQ(0, std::memcmp(tail.Memory(), data.data() + 499990, 10));

  source.SetPosition(500000);
  TMemoryStream none;
  EXPECT_EQ(IECopyStream(&none, &source, 100), 0);
  EXPECT_EQ(none.Size(), 0);
}

TEST(StreamRoutines, CopyStreamFromACompressedStreamTakesTheCountAsGiven) {
  const std::vector<uint8_t> data = Pattern(70000);
  TMemoryStream packed;
  {
    TZCompressionStream z(&packed);
    z.WriteBuffer(data.data(), 70000);
  }
  packed.SetPosition(0);
  TZDecompressionStream z(&packed);
  TMemoryStream out;
  EXPECT_EQ(IECopyStream(&out, &z, 70000), 70000);
  EXPECT_EQ(0, std::memcmp(out.Memory(), data.data(), data.size()));
  EXPECT_THROW(IECopyStream(&out, &z, 10), EReadError);
}

TEST(StreamRoutines, FileExistsIsFalseForFoldersAndMissingFiles) {
  ForceDirectories(ZV_TEST_TMP);
  const std::string name = std::string(ZV_TEST_TMP) + "/ie-exists.bin";
  { TIEWideFileStream s(name, ieFileCreate); }
  EXPECT_TRUE(FileExistsW(name));
  EXPECT_TRUE(FileExistsA(name));
  EXPECT_FALSE(FileExistsW(ZV_TEST_TMP));
  EXPECT_FALSE(FileExistsA(std::string(ZV_TEST_TMP) + "/ie-missing.bin"));
  DeleteFile(name);
}
