// The PostScript writer: the DSC header, page and trailer lines, the page count patched in place, the
// "%%BeginData" count, and run-length data that decode back to the image.
#include "imaging/io/ps_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/encoders.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

namespace zv {
namespace {

std::string Text(TMemoryStream& S) { return std::string(static_cast<const char*>(S.Memory()), size_t(S.Size())); }

std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> Out;
  size_t At = 0;
  while (At < s.size()) {
    const size_t End = s.find("\r\n", At);
    if (End == std::string::npos) break;
    Out.push_back(s.substr(At, End - At));
    At = End + 2;
  }
  return Out;
}

// The ASCII85 blocks between the operator line and "%%EndData", each decoded and run-length expanded.
std::vector<std::vector<uint8_t>> DecodeBlocks(const std::string& Doc, const std::string& Operator) {
  const size_t Start = Doc.find(Operator + "\r\n") + Operator.size() + 2;
  const size_t End = Doc.find("%%EndData");
  std::vector<std::vector<uint8_t>> Out;
  size_t At = Start;
  while (At < End) {
    const size_t Close = Doc.find("~>", At);
    if (Close == std::string::npos || Close > End) break;
    std::vector<uint8_t> Packed(4096), Plain(4096);
    const int32_t n = ASCII85Decode(Doc.data() + At, int32_t(Close + 2 - At), Packed.data(), 4096);
    const int32_t m = PackBitsDecode(Packed.data(), n, Plain.data(), 4096);
    Plain.resize(size_t(std::max(0, m)));
    Out.push_back(Plain);
    At = Close + 4;
  }
  return Out;
}

std::string Write(TIEBitmap& B, TIOParamsVals& P) {
  PsClock = [] {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 11;
    t.tm_wday = 5;
    t.tm_hour = 1;
    t.tm_min = 2;
    t.tm_sec = 3;
    return t;
  };
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TMemoryStream S;
  PsWriteDocument(&S, &B, P, Progress);
  EXPECT_EQ(Abort, 0);
  return Text(S);
}

TEST(PsWriter, ColourPageWithTheDefaults) {
  TIEBitmap B(2, 1, ie24RGB);
  const uint8_t Px[6] = {3, 2, 1, 6, 5, 4};  // blue, green, red
  std::memcpy(B.GetScanline(0), Px, 6);
  TIOParamsVals P(nullptr);
  const std::string Doc = Write(B, P);
  const std::vector<std::string> L = Lines(Doc);
  ASSERT_GT(L.size(), 20u);
  EXPECT_EQ(L[0], "%!PS-Adobe-3.0");
  EXPECT_EQ(L[2], "%%Title: No Title");
  EXPECT_EQ(L[3], "%%CreationDate: Fri Dec 11 01:02:03 2026");
  EXPECT_EQ(L[6], "%%Pages: 1     ");
  EXPECT_EQ(L[7], "%%BoundingBox: 0 0 594 841");
  EXPECT_EQ(L[8], "%%EndComments");
  EXPECT_EQ(L[9], "%%Page: 1 1");
  EXPECT_EQ(L[10], "0 842 translate");
  EXPECT_EQ(L[12], "2 1 8");
  EXPECT_EQ(L[13], "[ 2 0 0 1 0 0 ]");
  EXPECT_EQ(L[14], "/rstr 2 string def");
  EXPECT_EQ(L[20], "true 3");
  EXPECT_EQ(L[22], "colorimage");
  EXPECT_EQ(L[L.size() - 2], "%%Trailer");
  EXPECT_EQ(L.back(), "%%EOF");
  const auto Blocks = DecodeBlocks(Doc, "colorimage");
  ASSERT_EQ(Blocks.size(), 3u);
  EXPECT_EQ(Blocks[0], (std::vector<uint8_t>{1, 4}));
  EXPECT_EQ(Blocks[1], (std::vector<uint8_t>{2, 5}));
  EXPECT_EQ(Blocks[2], (std::vector<uint8_t>{3, 6}));
  // The count covers every byte from the line after it up to "%%EndData".
  const size_t Begin = Doc.find("%%BeginData:");
  const size_t After = Doc.find("\r\n", Begin) + 2;
  EXPECT_EQ(L[21], "%%BeginData:      " + std::to_string(Doc.find("%%EndData") - After) + " ASCII Bytes");
}

TEST(PsWriter, ScaleFitsThePaperAndPagesAreCountedInPlace) {
  TIEBitmap B(100, 50, ie24RGB);
  TIOParamsVals P(nullptr);
  const std::vector<std::string> L = Lines(Write(B, P));
  EXPECT_EQ(L[11], "595 -297 scale");

  TMemoryStream S;
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  auto Doc = PsBeginDocument(&S, P);
  PsAddPage(Doc.get(), &S, &B, Progress, P);
  PsAddPage(Doc.get(), &S, &B, Progress, P);
  PsEndDocument(Doc, &S);
  EXPECT_EQ(Doc, nullptr);
  const std::string Two = Text(S);
  EXPECT_NE(Two.find("%%Pages: 2     \r\n"), std::string::npos);
  EXPECT_NE(Two.find("%%Page: 2 2\r\n"), std::string::npos);
  EXPECT_EQ(Two.substr(Two.size() - 18), "%%Trailer\r\n%%EOF\r\n");
}

TEST(PsWriter, OneBitPagesByCompression) {
  TIEBitmap B(10, 2, ie1g);
  B.Fill(0);
  B.GetScanline(0)[0] = 0xC3;
  B.GetScanline(1)[1] = 0x40;
  for (uint8_t Compression : {0, 3, 7}) {
    SCOPED_TRACE(int(Compression));
    TIOParamsVals P(nullptr);
    P.PsCompression = Compression;
    const std::string Doc = Write(B, P);
    EXPECT_NE(Doc.find("currentfile /ASCII85Decode filter /RunLengthDecode filter\r\n"), std::string::npos);
    const auto Blocks = DecodeBlocks(Doc, "image");
    ASSERT_EQ(Blocks.size(), 1u);
    EXPECT_EQ(Blocks[0], (std::vector<uint8_t>{0xC3, 0, 0, 0x40}));
  }
  // The fax coders are not reachable from this library: the page says so through the abort byte.
  TIOParamsVals P(nullptr);
  P.PsCompression = 1;
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TMemoryStream S;
  PsWriteDocument(&S, &B, P, Progress);
  EXPECT_EQ(Abort, 1);
  const std::string Doc = Text(S);
  EXPECT_NE(Doc.find("<< /K -1 /BlackIs1 true /Columns 10 /Rows 2 "), std::string::npos);
  EXPECT_NE(Doc.find("%%EndData\r\nshowpage\r\n"), std::string::npos);
}

}  // namespace
}  // namespace zv
