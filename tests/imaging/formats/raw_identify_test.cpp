// Camera identification on hand-made headers: the containers, the size table, name normalisation, the
// rows that decide geometry and loader, and what corrupt structures do to the parsers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/formats/raw_colour.h"
#include "imaging/formats/raw_decoders.h"
#include "imaging/formats/raw_identify.h"
#include "imaging/formats/raw_loaders.h"
#include "imaging/io/io_params.h"
#include "tests/imaging/formats/raw_fixture.h"

using namespace zv;
using namespace zv::rawtest;

namespace {

struct TIdentified {
  int32_t Result = 1;
  std::unique_ptr<TRawCameraContext> C = std::make_unique<TRawCameraContext>();
};

TIdentified Identify(const Bytes& File, int32_t FourColorRGB = 0) {
  TIdentified R;
  TIEMemStream Stream(File.empty() ? nullptr : File.data(), int64_t(File.size()));
  R.C->Stream = &Stream;
  R.C->FourColorRGB = FourColorRGB;
  R.Result = RawCameraIdentify(*R.C);
  R.C->Stream = nullptr;
  return R;
}

// A CIFF file: header of 26 bytes, then one heap holding Records (type, data) with their data in order.
struct TCiffRecord {
  uint16_t Type;
  Bytes Data;
  uint32_t Length = UINT32_MAX;  // the data's own length unless given
  int64_t Offset = -1;           // after the data before it unless given
};

Bytes CiffHeap(const std::vector<TCiffRecord>& Records) {
  Bytes Heap;
  std::vector<uint32_t> Offsets;
  for (const TCiffRecord& R : Records) {
    Offsets.push_back(uint32_t(Heap.size()));
    Heap.insert(Heap.end(), R.Data.begin(), R.Data.end());
  }
  const uint32_t Table = uint32_t(Heap.size());
  Put16(Heap, uint32_t(Records.size()));
  for (size_t i = 0; i < Records.size(); ++i) {
    Put16(Heap, Records[i].Type);
    Put32(Heap, Records[i].Length != UINT32_MAX ? Records[i].Length : uint32_t(Records[i].Data.size()));
    Put32(Heap, Records[i].Offset >= 0 ? uint32_t(Records[i].Offset) : Offsets[i]);
  }
  Put32(Heap, Table);
  return Heap;
}

Bytes CiffFile(const Bytes& Heap) {
  Bytes B = {'I', 'I'};
  Put32(B, 26);
  B.insert(B.end(), {'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R'});
  B.resize(26, 0);
  B.insert(B.end(), Heap.begin(), Heap.end());
  return B;
}

Bytes Text(const std::string& A, const std::string& B) {
  Bytes T(A.begin(), A.end());
  T.push_back(0);
  T.insert(T.end(), B.begin(), B.end());
  T.push_back(0);
  return T;
}

Bytes Geometry(uint16_t Width, uint16_t Height) {
  Bytes G;
  Put16(G, 0);
  Put16(G, Width);
  Put16(G, Height);
  return G;
}

// ---- Containers, names and rows ------------------------------------------------------------------------------

TEST(RawIdentify, HeaderlessFilesBySize) {
  struct Case {
    size_t Size;
    bool NonZeroTail;
    const char *Make, *Model;
    TRawLoader Loader;
  } Cases[] = {
      {5869568, false, "NIKON", "E4300", NikonLoadRaw},
      {5869568, true, "Minolta", "DiMAGE Z2", NikonE2100LoadRaw},
      {5869567, false, "", "", nullptr},
      {0, false, "", "", nullptr},
  };
  for (const Case& K : Cases) {
    Bytes File(K.Size, 0);
    if (K.NonZeroTail) File[K.Size - 100] = 1;
    const TIdentified R = Identify(File);
    SCOPED_TRACE(K.Size);
    // Without the geometry of these cameras the identification fails cleanly.
    EXPECT_EQ(R.Result, 1);
    EXPECT_STREQ(R.C->Make, K.Make);
    EXPECT_STREQ(R.C->Model, K.Model);
    EXPECT_EQ(R.C->LoadRaw, K.Loader);
  }
}

TEST(RawIdentify, KodakDC20ByItsSize) {
  for (size_t Size : {size_t(62464), size_t(124928)}) {
    const TIdentified R = Identify(Bytes(Size, 0));
    ASSERT_EQ(R.Result, 0);
    EXPECT_STREQ(R.C->Make, "Kodak");
    EXPECT_EQ(R.C->Height, 242);
    EXPECT_EQ(R.C->Width, Size > 99999 ? 501 : 249);
    EXPECT_EQ(R.C->DataOffset, R.C->RawWidth + 1);
    EXPECT_EQ(R.C->Filters, 0x8D8D8D8Du);
    EXPECT_EQ(R.C->Colors, 4);
    EXPECT_EQ(R.C->LoadRaw, KodakEasyLoadRaw);
    EXPECT_EQ(R.C->UseCoeff, 1);
    EXPECT_FLOAT_EQ(R.C->Coeff[0][0], 0.5f * 2.25f + 0.5f);
  }
}

TEST(RawIdentify, TiffFiles) {
  struct Case {
    const char *Make, *Model, *Software;
    int32_t Width, Height;
    int32_t Compression;
    bool CompressedData;
    int32_t Result;
    const char *OutMake, *OutModel;
    int32_t OutWidth, OutRawWidth, OutHeight;
    uint32_t Filters;
    TRawLoader Loader;
  } Cases[] = {
      // Files rewritten by a converter are refused.
      {"NIKON CORPORATION", "NIKON D100 ", "Adobe Photoshop", 3008, 2000, 34713, false, 1, "", "NIKON D100", 3008, 3008,
       2000, 0x94949494, nullptr},
      {"NIKON CORPORATION", "NIKON D100 ", nullptr, 3008, 2000, 34713, false, 0, "NIKON", "D100", 3011, 3014, 2000,
       0x61616161, NikonLoadRaw},
      {"NIKON CORPORATION", "NIKON D100 ", nullptr, 3008, 2000, 34713, true, 0, "NIKON", "D100", 3008, 3008, 2000,
       0x61616161, NikonCompressedLoadRaw},
      {"Canon", "Canon PowerShot G1", nullptr, 2144, 1560, 6, false, 0, "Canon", "PowerShot G1", 2088, 2144, 1550,
       0xB4B4B4B4, CanonCompressedLoadRaw},
      // A Nikon file without sensor geometry has no make.
      {"NIKON", "E5700", nullptr, 0, 0, 1, false, 1, "", "E5700", 0, 0, 0, 0x94949494, nullptr},
      // A listed camera whose geometry this decoder does not know.
      {"NIKON", "D70", nullptr, 3040, 2014, 34713, true, 1, "NIKON", "D70", 3040, 3040, 2014, 0x94949494,
       NikonCompressedLoadRaw},
  };
  for (const Case& K : Cases) {
    TRawTiff T;
    T.Make = K.Make;
    T.Model = K.Model;
    T.Software = K.Software != nullptr ? K.Software : "";
    T.Width = K.Width;
    T.Height = K.Height;
    T.Compression = K.Compression;
    T.Data.assign(256, 0);
    if (K.CompressedData) T.Data[31] = 1;
    const TIdentified R = Identify(T.Build());
    SCOPED_TRACE(std::string(K.Model) + (K.CompressedData ? " compressed" : ""));
    EXPECT_EQ(R.Result, K.Result);
    EXPECT_STREQ(R.C->Make, K.OutMake);
    EXPECT_STREQ(R.C->Model, K.OutModel);
    if (K.Result == 0 || K.Loader != nullptr) {
      EXPECT_EQ(R.C->Width, K.OutWidth);
      EXPECT_EQ(R.C->RawWidth, K.OutRawWidth);
      EXPECT_EQ(R.C->Height, K.OutHeight);
      EXPECT_EQ(R.C->Filters, K.Filters);
      EXPECT_EQ(R.C->LoadRaw, K.Loader);
    }
  }
}

TEST(RawIdentify, CanonG1HasFourColoursAndItsMatrix) {
  TRawTiff T{"Canon", "Canon PowerShot G1", "", 2144, 1560, 6, Bytes(16, 0)};
  const TIdentified R = Identify(T.Build());
  ASSERT_EQ(R.Result, 0);
  EXPECT_EQ(R.C->Colors, 4);
  EXPECT_EQ(R.C->TopMargin, 8);
  EXPECT_EQ(R.C->LeftMargin, 4);
  EXPECT_FLOAT_EQ(R.C->PreMul[0], 1.446f);
  EXPECT_EQ(R.C->UseCoeff, 1);
}

TEST(RawIdentify, FourColorRgbMakesTheSecondGreenColourThree) {
  TRawTiff T{"Canon", "Canon EOS 300D DIGITAL", "", 3152, 2068, 6, Bytes(16, 0)};
  for (int32_t Four : {0, 1}) {
    const TIdentified R = Identify(T.Build(), Four);
    ASSERT_EQ(R.Result, 0);
    EXPECT_EQ(R.C->Filters, Four != 0 ? 0xB4B4B4B4u : 0x94949494u);
    EXPECT_EQ(R.C->Colors, Four != 0 ? 4 : 3);
    EXPECT_EQ(R.C->PreMul[3], Four != 0 ? R.C->PreMul[1] : 1.0f);
    EXPECT_EQ(R.C->RgbMax, 16000);
    EXPECT_EQ(R.C->Height, 2056);
  }
}

TEST(RawIdentify, CanonCrwGeometryAndWhiteBalance) {
  // 0x10A9 at index 1 (wbi 1): words 2, 1, 1, 3 give red 2 and blue 3.
  Bytes Wb(2 + 8 * 1, 0);
  for (uint16_t W : {2, 1, 1, 3}) Put16(Wb, W);
  Bytes Index(16, 0);
  Index[14] = 1;
  const Bytes Inner = CiffHeap({{0x102A, Index}, {0x10A9, Wb}});
  const Bytes File = CiffFile(CiffHeap({{0x080A, Text("Canon", "Canon PowerShot S30")},
                                        {0x1031, Geometry(2224, 1480)},
                                        {0x300A, Inner}}));
  const TIdentified R = Identify(File);
  ASSERT_EQ(R.Result, 0);
  EXPECT_STREQ(R.C->Model, "PowerShot S30");
  EXPECT_EQ(R.C->RawWidth, 2224);
  EXPECT_EQ(R.C->Height, 1448);
  EXPECT_EQ(R.C->Width, 2176);
  EXPECT_EQ(R.C->TopMargin, 6);
  EXPECT_EQ(R.C->LeftMargin, 48);
  EXPECT_EQ(R.C->Filters, 0x61616161u);
  EXPECT_EQ(R.C->DataOffset, 26);
  EXPECT_FLOAT_EQ(R.C->CameraRed, 2.0f);
  EXPECT_FLOAT_EQ(R.C->CameraBlue, 3.0f);
}

// ---- Corrupt input -----------------------------------------------------------------------------------------

Bytes TiffWithSubIfds(uint32_t Count, int32_t Made) {
  Bytes B = {'I', 'I', 42, 0};
  Put32(B, 8);
  Put16(B, 2);
  const uint32_t Table = 8 + 2 + 24 + 4 + 12;  // after IFD 0 and the make text
  auto Entry = [&](uint32_t Tag, uint32_t Type, uint32_t N, uint32_t Value) {
    Put16(B, Tag);
    Put16(B, Type);
    Put32(B, N);
    Put32(B, Value);
  };
  Entry(271, 2, 6, 38);
  Entry(330, 4, Count, Table);
  Put32(B, 0);
  const char Make[12] = "SIGMA";
  B.insert(B.end(), Make, Make + 12);
  const uint32_t First = Table + 4 * uint32_t(Made);
  for (int32_t i = 0; i < Made; ++i) Put32(B, First + 18 * uint32_t(i));
  for (int32_t i = 0; i < Made; ++i) {
    Put16(B, 1);
    Put16(B, 256);
    Put16(B, 4);
    Put32(B, 1);
    Put32(B, uint32_t(i + 1));
    Put32(B, 0);
  }
  return B;
}

TEST(RawIdentifyCorrupt, TiffStructures) {
  // Sub-IFD i sets the raw width i + 1: the last one read tells how many were followed.
  {
    const TIdentified R = Identify(TiffWithSubIfds(1000000, 40));
    EXPECT_EQ(R.C->RawWidth, int32_t(RawMostSubIfds));
  }
  {
    const TIdentified R = Identify(TiffWithSubIfds(5, 40));
    EXPECT_EQ(R.C->RawWidth, 5);
  }
  // Two IFDs pointing at each other.
  Bytes B = {'I', 'I', 42, 0};
  Put32(B, 8);
  Put16(B, 0);
  Put32(B, 14);
  Put16(B, 0);
  Put32(B, 8);
  EXPECT_EQ(Identify(B).Result, 1);
  // An IFD chain far longer than any file has.
  Bytes Long = {'I', 'I', 42, 0};
  Put32(Long, 8);
  for (uint32_t i = 0; i < 5000; ++i) {
    Put16(Long, 0);
    Put32(Long, 8 + 6 * (i + 1));
  }
  Put16(Long, 0);
  Put32(Long, 0);
  EXPECT_EQ(Identify(Long).Result, 1);
}

TEST(RawIdentifyCorrupt, CiffHeaps) {
  const Bytes Wanted = Geometry(2224, 1480);
  const Bytes Name = Text("Canon", "Canon PowerShot S30");
  // A sub-heap that is its own heap; a record of length 2^31; ten thousand nested heaps.
  Bytes SelfHeap;
  {
    Bytes Heap = CiffHeap({{0x080A, Name}, {0x1031, Wanted}, {0x300A, {}, 0, 0}});
    Set32(Heap, Heap.size() - 4 - 4, 0);  // the sub-heap's offset: the heap start
    // Its length: the whole heap.
    Set32(Heap, Heap.size() - 4 - 8, uint32_t(Heap.size()));
    SelfHeap = CiffFile(Heap);
  }
  const Bytes HugeRecord =
      CiffFile(CiffHeap({{0x080A, Name}, {0x300A, Bytes(8, 0), 0x80000000u}, {0x1031, Wanted}}));
  Bytes Nested = CiffHeap({{0x1031, Geometry(4000, 3000)}});
  // Every heap starts where its sub-heap starts: each level only appends its table.
  for (int i = 0; i < 10000; ++i) {
    const uint32_t Inner = uint32_t(Nested.size());
    Put16(Nested, 1);
    Put16(Nested, 0x300A);
    Put32(Nested, Inner);
    Put32(Nested, 0);
    Put32(Nested, Inner);
  }
  Nested = CiffFile(CiffHeap({{0x080A, Name}, {0x1031, Wanted}, {0x300A, Nested}}));
  Bytes Empty = {'I', 'I', 14, 0, 0, 0, 'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R'};
  struct Case {
    const char* Name;
    const Bytes* File;
    int32_t Result, RawWidth;
  } Cases[] = {
      {"heap containing itself", &SelfHeap, 0, 2224},
      {"record of 2^31 bytes", &HugeRecord, 0, 2224},
      {"10000 nested heaps", &Nested, 0, 2224},
      {"signature and nothing after", &Empty, 1, 0},
  };
  for (const Case& K : Cases) {
    SCOPED_TRACE(K.Name);
    const TIdentified R = Identify(*K.File);
    EXPECT_EQ(R.Result, K.Result);
    EXPECT_EQ(R.C->RawWidth, K.RawWidth);
  }
}

Bytes Foveon(uint32_t Directory, uint32_t TextCount) {
  Bytes B(248, 0);
  std::memcpy(B.data(), "FOVb", 4);
  Put32(B, 1512);
  Put32(B, 1024);
  B.resize(300, 0);
  const uint32_t P = uint32_t(B.size());
  Put32(B, 0);
  Put32(B, 0);
  Put32(B, TextCount);
  B.resize(P + 24 + 8 * (TextCount < 100 ? TextCount : 0), 0);
  for (const char* S : {"CAMMANUF", "SIGMA", "CAMMODEL", "SD9", "TIME", "1234"}) {
    for (const char* Ch = S; *Ch != 0; ++Ch) Put16(B, uint8_t(*Ch));
    Put16(B, 0);
  }
  const uint32_t Dir = uint32_t(B.size());
  Put32(B, 0x464D4143);
  Put32(B, P);
  Put32(B, Directory != 0 ? Directory : Dir);
  return B;
}

// Small files that identify as cameras with large sensors: the whole reader refuses them before making
// the working image (a 6000 x 6000 CRW in 150 bytes took 7 s and 560 MB under the sanitizers).
TEST(RawIdentifyCorrupt, SmallFilesClaimingLargeSensorsFailTheLoad) {
  const TRawCameraStages Saved = RawCameraStages();
  InstallRawCameraStages();
  struct Case {
    const char* Name;
    Bytes File;
  } Cases[] = {
      {"CRW 6000 x 6000, no data",
       CiffFile(CiffHeap({{0x080A, Text("Canon", "Canon PowerShot S30")}, {0x1031, Geometry(6000, 6000)}}))},
      {"Foveon 1512 x 1024 in a header", Foveon(0, 0)},
  };
  for (const Case& K : Cases) {
    ASSERT_EQ(Identify(K.File).Result, 0) << K.Name;
    TIEMemStream Stream(K.File.data(), int64_t(K.File.size()));
    TIEBitmap Bitmap(2, 2, ie24RGB);
    TIOParamsVals Params(nullptr);
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    RawCameraLoad(&Stream, &Bitmap, Params, false, Progress);
    EXPECT_EQ(Abort, 1) << K.Name;
    EXPECT_EQ(Bitmap.GetWidth(), 2) << K.Name;
  }
  RawCameraStages() = Saved;
}

TEST(RawIdentifyCorrupt, FoveonAndRollei) {
  {
    const TIdentified R = Identify(Foveon(0, 0));
    EXPECT_STREQ(R.C->Make, "SIGMA");
    EXPECT_STREQ(R.C->Model, "SD9");
    EXPECT_EQ(R.C->Timestamp, 1234);
    EXPECT_EQ(R.C->RawWidth, 1512);
  }
  EXPECT_EQ(Identify(Foveon(8, 0)).Result, 1);           // directory before its header
  EXPECT_EQ(Identify(Foveon(0, 1u << 30)).Result, 1);    // text area beyond the file
  EXPECT_EQ(Identify(Foveon(0xFFFFFFF0u, 0)).Result, 1);  // directory beyond the file
  // A Rollei header that never says where it ends stops at the end of the stream.
  Bytes Rollei(128 * 3, ' ');
  std::memcpy(Rollei.data(), "DSC-Image", 9);
  std::memcpy(Rollei.data() + 128, "X  =1316", 8);
  const TIdentified R = Identify(Rollei);
  EXPECT_EQ(R.Result, 1);
  EXPECT_STREQ(R.C->Make, "Rollei");
  EXPECT_EQ(R.C->RawWidth, 1316);
}

}  // namespace
