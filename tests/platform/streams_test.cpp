#include "platform/streams.h"

#include "platform/sysutils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <sys/stat.h>

using namespace zv;

namespace {

std::string TempPath(const std::string& name) { return std::string(ZV_TEST_TMP) + "/streams_" + name; }

std::string FileContent(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string ReadAll(TStream& stream) {
  std::string s(static_cast<size_t>(stream.Size() - stream.Position()), '\0');
  stream.ReadBuffer(s.data(), static_cast<int64_t>(s.size()));
  return s;
}

// The same checks run over memory and file streams, which must behave alike.
struct StreamKind {
  const char* name;
  std::function<std::unique_ptr<TStream>()> make;
};
void PrintTo(const StreamKind& kind, std::ostream* os) { *os << kind.name; }

class EveryStream : public ::testing::TestWithParam<StreamKind> {
protected:
  void SetUp() override {
    stream = GetParam().make();
    stream->WriteBuffer("0123456789", 10);
  }
  std::unique_ptr<TStream> stream;
};

}  // namespace

TEST_P(EveryStream, SeeksFromEachOrigin) {
  EXPECT_EQ(stream->Position(), 10);
  EXPECT_EQ(stream->Seek(3, soBeginning), 3);
  EXPECT_EQ(stream->Seek(2, soCurrent), 5);
  EXPECT_EQ(stream->Seek(-1, soCurrent), 4);
  EXPECT_EQ(stream->Seek(-4, soEnd), 6);
  char c = 0;
  stream->ReadBuffer(&c, 1);
  EXPECT_EQ(c, '6');
  stream->SetPosition(0);
  EXPECT_EQ(stream->Position(), 0);
  EXPECT_EQ(stream->Size(), 10);
  // A seek before the start fails and leaves the position where it was.
  EXPECT_EQ(stream->Seek(-1, soBeginning), -1);
  EXPECT_EQ(stream->Position(), 0);
}

TEST_P(EveryStream, ShortReadReturnsWhatThereIsAndReadBufferRaises) {
  stream->SetPosition(7);
  char buffer[8] = {};
  EXPECT_EQ(stream->Read(buffer, 8), 3);
  EXPECT_EQ(std::string(buffer, 3), "789");
  EXPECT_EQ(stream->Read(buffer, 8), 0);
  stream->SetPosition(7);
  try {
    stream->ReadBuffer(buffer, 4);
    FAIL() << "no exception";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Stream read error");
  }
}

TEST_P(EveryStream, SetSizeTruncatesAndGrowsWithZeros) {
  stream->SetSize(4);
  EXPECT_EQ(stream->Size(), 4);
  EXPECT_EQ(stream->Position(), 4) << "a position past the new end moves to the end";
  stream->SetSize(6);
  stream->SetPosition(0);
  EXPECT_EQ(ReadAll(*stream), std::string("0123\0\0", 6));
}

TEST_P(EveryStream, WritePastTheEndFillsTheGapWithZeros) {
  stream->SetPosition(12);
  stream->WriteBuffer("X", 1);
  EXPECT_EQ(stream->Size(), 13);
  stream->SetPosition(8);
  EXPECT_EQ(ReadAll(*stream), std::string("89\0\0X", 5));
}

TEST_P(EveryStream, CopyFromZeroCopiesTheWholeSourceFromItsStart) {
  TMemoryStream target;
  // The source sits at its end: count 0 still copies everything.
  EXPECT_EQ(target.CopyFrom(stream.get(), 0), 10);
  target.SetPosition(0);
  EXPECT_EQ(ReadAll(target), "0123456789");

  // A count copies from where the source stands.
  TMemoryStream part;
  stream->SetPosition(2);
  EXPECT_EQ(part.CopyFrom(stream.get(), 5), 5);
  EXPECT_EQ(part.Size(), 5);
  part.SetPosition(0);
  EXPECT_EQ(ReadAll(part), "23456");
  EXPECT_EQ(stream->Position(), 7);

  // More than the source has is a read error.
  stream->SetPosition(8);
  EXPECT_THROW(part.CopyFrom(stream.get(), 5), EReadError);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, EveryStream,
    ::testing::Values(StreamKind{"Memory", [] { return std::unique_ptr<TStream>(new TMemoryStream); }},
                      StreamKind{"String", [] { return std::unique_ptr<TStream>(new TStringStream); }},
                      StreamKind{"File",
                                 [] {
                                   return std::unique_ptr<TStream>(
                                       new TFileStream(TempPath("every.bin"), fmCreate | fmShareExclusive));
                                 }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileStream, OpenModesReachTheFile) {
  const std::string path = TempPath("modes.bin");
  {
    TFileStream created(path, fmCreate);
    created.WriteBuffer("abcdef", 6);
  }
  {
    TFileStream writer(path, fmOpenWrite | fmShareDenyWrite);
    EXPECT_EQ(writer.Size(), 6) << "opening for writing keeps the content";
    writer.Seek(0, soEnd);
    writer.WriteBuffer("gh", 2);
    char c;
    writer.SetPosition(0);
    EXPECT_EQ(writer.Read(&c, 1), 0) << "a write-only file gives nothing to read";
  }
  {
    TFileStream reader(path, fmOpenRead | fmShareDenyNone);
    EXPECT_EQ(ReadAll(reader), "abcdefgh");
    try {
      reader.WriteBuffer("x", 1);
      FAIL() << "wrote to a read-only stream";
    } catch (const EWriteError& e) {
      EXPECT_EQ(e.Message(), "Stream write error");
    }
  }
  {
    TFileStream both(path, fmOpenReadWrite);
    both.SetPosition(2);
    both.WriteBuffer("XY", 2);
    both.SetSize(5);
  }
  EXPECT_EQ(FileContent(path), "abXYe");
  {
    TFileStream again(path, fmCreate);
  }
  EXPECT_EQ(FileContent(path), "") << "fmCreate empties an existing file";
}

TEST(FileStream, FailuresNameTheFileAndTheReason) {
  const std::string missing = TempPath("no-such-file.bin");
  try {
    TFileStream s(missing, fmOpenRead);
    FAIL() << "opened a missing file";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + missing + "\". No such file or directory");
  }
  const std::string inMissingFolder = TempPath("no-such-folder/x.bin");
  try {
    TFileStream s(inMissingFolder, fmCreate);
    FAIL() << "created a file in a missing folder";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file \"" + inMissingFolder + "\". No such file or directory");
  }
  // A folder opens for reading on Linux, but is no file.
  EXPECT_THROW(TFileStream(ZV_TEST_TMP, fmOpenRead), EFOpenError);
}

TEST(MemoryStream, SavesLoadsAndClears) {
  const std::string path = TempPath("memory.bin");
  TMemoryStream stream;
  std::string big(100000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  // Many small writes make the block grow many times.
  for (size_t i = 0; i < big.size(); i += 100) stream.WriteBuffer(big.data() + i, 100);
  EXPECT_EQ(stream.Size(), 100000);
  EXPECT_GE(stream.Capacity(), stream.Size());
  EXPECT_EQ(std::memcmp(stream.Memory(), big.data(), big.size()), 0);
  stream.SaveToFile(path);
  EXPECT_EQ(FileContent(path), big);

  TMemoryStream loaded;
  loaded.WriteBuffer("old", 3);
  loaded.LoadFromFile(path);
  EXPECT_EQ(loaded.Size(), 100000);
  EXPECT_EQ(loaded.Position(), 0);
  EXPECT_EQ(std::memcmp(loaded.Memory(), big.data(), big.size()), 0);

  loaded.Clear();
  EXPECT_EQ(loaded.Size(), 0);
  EXPECT_EQ(loaded.Position(), 0);
  EXPECT_EQ(loaded.Memory(), nullptr);

  TStringStream source("from a stream");
  source.SetPosition(5);
  loaded.LoadFromStream(&source);
  EXPECT_EQ(std::string(static_cast<char*>(loaded.Memory()), 13), "from a stream");
}

// A stream emptied and written again keeps its block; bytes added by SetSize, and a gap left by writing
// past the end, read as zero even where the block held other bytes before.
TEST(MemoryStream, ReusedBlockStillReadsZeroWhereNothingWasWritten) {
  TMemoryStream stream;
  std::string filler(5000, 'x');
  stream.WriteBuffer(filler.data(), int64_t(filler.size()));
  void* const block = stream.Memory();
  stream.SetSize(0);
  stream.SetPosition(0);
  EXPECT_GE(stream.Capacity(), 5000);
  stream.WriteBuffer("abc", 3);
  EXPECT_EQ(stream.Memory(), block);
  stream.SetSize(10);
  EXPECT_EQ(std::string(static_cast<char*>(stream.Memory()), 10), std::string("abc") + std::string(7, '\0'));
  stream.SetSize(3);
  stream.SetPosition(8);
  stream.WriteBuffer("ZZ", 2);
  EXPECT_EQ(stream.Size(), 10);
  EXPECT_EQ(std::string(static_cast<char*>(stream.Memory()), 10), std::string("abc") + std::string(5, '\0') + "ZZ");
  EXPECT_EQ(stream.Memory(), block);
}

TEST(MemoryStream, ImpossibleSizeRaisesOutOfMemory) {
  TMemoryStream stream;
  EXPECT_THROW(stream.SetSize(int64_t(1) << 62), EOutOfMemory);
  EXPECT_EQ(stream.Size(), 0);
}

TEST(CustomMemoryStream, WorksInPlaceOnABorrowedBlockWithoutGrowing) {
  char block[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
  TCustomMemoryStream stream;
  stream.SetPointer(block, 6);
  EXPECT_EQ(stream.Memory(), block);
  EXPECT_EQ(stream.Size(), 6);
  stream.SetPosition(4);
  EXPECT_EQ(stream.Write("XYZ", 3), 2);
  EXPECT_EQ(std::string(block, 6), "abcdXY");
  EXPECT_THROW(stream.WriteBuffer("Q", 1), EWriteError);

  TMemoryStream copy;
  stream.SaveToStream(&copy);
  EXPECT_EQ(copy.Size(), 6);
  EXPECT_EQ(std::memcmp(copy.Memory(), block, 6), 0);
}

TEST(StringStream, DataStringFollowsWrites) {
  TStringStream stream("hello world");
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_EQ(stream.Size(), 11);
  stream.SetPosition(6);
  stream.WriteBuffer("there!", 6);
  EXPECT_EQ(stream.DataString(), "hello there!");
  stream.SetSize(5);
  EXPECT_EQ(stream.DataString(), "hello");
}
