// CIFF metadata: texts, pixel size, the maker note built from the heap's arrays, the smallest embedded
// JPEG as the thumbnail (and through the raw reader's thumbnail mode), and corrupt heaps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "imaging/core/bitmap.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/formats/raw_camera.h"
#include "imaging/formats/raw_ciff.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/raw_fixture.h"

using namespace zv;
using namespace zv::rawtest;

namespace {

Bytes Jpeg(int32_t Width, int32_t Height) {
  TIEBitmap Bitmap;
  Bitmap.Allocate(Width, Height, ie24RGB);
  for (int32_t r = 0; r < Height; ++r) std::memset(Bitmap.GetScanline(r), r & 0xFF, size_t(Bitmap.GetRowLen()));
  TMemoryStream Out;
  TIOParamsVals Params(nullptr);
  TIEProgressRecord Progress;
  uint8_t Abort = 0;
  Progress.Abort = &Abort;
  JpegWriteImage(&Out, &Bitmap, Params, Progress);
  const auto* P = static_cast<const uint8_t*>(Out.Memory());
  return Bytes(P, P + Out.Size());
}

struct TRecord {
  uint16_t Type;
  Bytes Data;
  uint32_t Length = UINT32_MAX;
};

Bytes Heap(const std::vector<TRecord>& Records) {
  Bytes H;
  std::vector<uint32_t> Offsets;
  for (const TRecord& R : Records) {
    Offsets.push_back(uint32_t(H.size()));
    H.insert(H.end(), R.Data.begin(), R.Data.end());
  }
  const uint32_t Table = uint32_t(H.size());
  Put16(H, uint32_t(Records.size()));
  for (size_t i = 0; i < Records.size(); ++i) {
    Put16(H, Records[i].Type);
    Put32(H, Records[i].Length != UINT32_MAX ? Records[i].Length : uint32_t(Records[i].Data.size()));
    Put32(H, Offsets[i]);
  }
  Put32(H, Table);
  return H;
}

Bytes File(const Bytes& H) {
  Bytes B = {'I', 'I', 26, 0, 0, 0, 'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R'};
  B.resize(26 + H.size());
  std::copy(H.begin(), H.end(), B.begin() + 26);
  return B;
}

class RawCiff : public formattest::FormatsLibraryTest {
 protected:
  void Read(const Bytes& F, TIOParamsVals& Params) {
    TIEMemStream S(F.data(), int64_t(F.size()));
    RawReadCiffMetadata(&S, Params);
  }
};

TEST_F(RawCiff, TextsSizeAndMakerNote) {
  Bytes Wb;
  for (int i = 0; i < 42; ++i) Put16(Wb, uint32_t(1000 + i));
  Bytes Info;
  Put32(Info, 3072);
  Put32(Info, 2048);
  const Bytes F = File(Heap({{0x0805, {'s', 'k', 'y', 0}},
                             {0x080A, {'C', 'a', 'n', 'o', 'n', 0, 'G', '1', 0}},
                             {0x300A, Heap({{0x102A, Wb}, {0x1810, Info}, {0x080B, {'f', 'w', '1', 0}}})}}));
  TIOParamsVals Params(nullptr);
  Read(F, Params);
  EXPECT_EQ(Params.ExifImageDescription, "sky");
  EXPECT_EQ(Params.ExifMake, "Canon");
  EXPECT_EQ(Params.ExifModel, "G1");
  EXPECT_EQ(Params.ExifSoftware, "fw1");
  ASSERT_EQ(Params.ExifMakerNote.EntryCount(), 1);
  const TIETIFFTagEntry& E = Params.ExifMakerNote.Entries[0];
  EXPECT_EQ(E.Tag, 4);
  EXPECT_EQ(E.FieldType, 3);
  EXPECT_EQ(E.Count, 42u);
  // The values follow the one-entry table in host order.
  const auto* Note = static_cast<const uint8_t*>(Params.ExifMakerNote.IfdStream.Memory());
  uint16_t Last = 0;
  std::memcpy(&Last, Note + 2 + 12 + 41 * 2, 2);
  EXPECT_EQ(Last, 1041);
}

TEST_F(RawCiff, SmallestEmbeddedJpegIsTheThumbnail) {
  const Bytes Small = Jpeg(160, 120), Large = Jpeg(2048, 1536), Wide = Jpeg(200, 100);
  struct Case {
    const char* Name;
    std::vector<TRecord> Records;
    int32_t Width, Height;
  } Cases[] = {
      {"large then small", {{0x2007, Large}, {0x2008, Small}}, 160, 120},
      {"small then wider but lower", {{0x2008, Small}, {0x2007, Wide}}, 160, 120},
      {"no JPEG", {{0x0805, {'a', 0}}}, 0, 0},
      // A record claiming more than the file holds is read as far as the file goes.
      {"cut JPEG", {{0x2007, Small, 0x80000000u}}, 160, 120},
  };
  for (const Case& K : Cases) {
    SCOPED_TRACE(K.Name);
    TIOParamsVals Params(nullptr);
    Read(File(Heap(K.Records)), Params);
    ASSERT_NE(Params.ExifThumbnail(), nullptr);
    EXPECT_EQ(Params.ExifThumbnail()->GetWidth(), K.Width);
    EXPECT_EQ(Params.ExifThumbnail()->GetHeight(), K.Height);
  }

  // The reader's thumbnail mode hands the thumbnail over.
  const Bytes F = File(Heap({{0x2007, Large}, {0x2008, Small}}));
  TIEMemStream S(F.data(), int64_t(F.size()));
  TIEBitmap Bitmap;
  TIOParamsVals Params(nullptr);
  Params.SetRawLoadThumbnail(1);
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  RawCameraLoad(&S, &Bitmap, Params, false, Progress);
  EXPECT_EQ(Abort, 0);
  EXPECT_EQ(Bitmap.GetWidth(), 160);
  EXPECT_EQ(Bitmap.GetHeight(), 120);
}

TEST_F(RawCiff, CorruptHeaps) {
  // 300 arrays: the first 256 records are read.
  std::vector<TRecord> Many;
  for (int i = 0; i < 300; ++i) Many.push_back({0x102D, {1, 0}});
  TIOParamsVals Params(nullptr);
  Read(File(Heap(Many)), Params);
  EXPECT_EQ(Params.ExifMakerNote.EntryCount(), 256);

  // An array of 2^31 bytes is skipped, the records after it are read.
  TIOParamsVals Huge(nullptr);
  Read(File(Heap({{0x102A, {1, 2}, 0x80000000u}, {0x080A, {'C', 0, 'M', 0}}})), Huge);
  EXPECT_EQ(Huge.ExifMakerNote.EntryCount(), 0);
  EXPECT_EQ(Huge.ExifMake, "C");

  // A heap that is its own sub-heap, and ten thousand nested heaps, end.
  Bytes Self = Heap({{0x080A, {'C', 0, 'M', 0}}, {0x300A, {}, 0}});
  Set32(Self, Self.size() - 8, 0);
  Set32(Self, Self.size() - 12, uint32_t(Self.size()));
  TIOParamsVals SelfParams(nullptr);
  Read(File(Self), SelfParams);
  EXPECT_EQ(SelfParams.ExifMake, "C");
  Bytes Nested = Heap({{0x0805, {'d', 0}}});
  for (int i = 0; i < 10000; ++i) {
    const uint32_t Inner = uint32_t(Nested.size());
    Put16(Nested, 1);
    Put16(Nested, 0x300A);
    Put32(Nested, Inner);
    Put32(Nested, 0);
    Put32(Nested, Inner);
  }
  TIOParamsVals Deep(nullptr);
  Read(File(Nested), Deep);
  EXPECT_EQ(Deep.ExifImageDescription, "");

  // Nothing after the signature; not a CIFF file at all.
  for (const Bytes& F : {Bytes{'I', 'I', 14, 0, 0, 0, 'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R'}, Bytes(64, 'x'), Bytes()}) {
    TIOParamsVals P(nullptr);
    Read(F, P);
    EXPECT_EQ(P.ExifMake, "");
  }
}

}  // namespace
