// The PDF writer: object numbering, the image and content streams, the shared resources over several
// pages, and qpdf checking what we write.
#include "imaging/io/pdf_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "imaging/core/bitmap.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

namespace zv {
namespace {

std::string Write(TIEBitmap& B, TIOParamsVals& P, uint8_t* AbortOut = nullptr) {
  PdfClock = [] {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 11;
    t.tm_hour = 2;
    t.tm_min = 3;
    t.tm_sec = 4;
    return t;
  };
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TMemoryStream S;
  PdfWriteDocument(&S, &B, P, Progress);
  if (AbortOut != nullptr) *AbortOut = Abort;
  return std::string(static_cast<const char*>(S.Memory()), size_t(S.Size()));
}

bool QpdfChecks(const std::string& Pdf, const std::string& Name) {
  const std::string Path = ::testing::TempDir() + Name;
  FILE* f = std::fopen(Path.c_str(), "wb");
  std::fwrite(Pdf.data(), 1, Pdf.size(), f);
  std::fclose(f);
  return std::system(("qpdf --check " + Path + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(PdfWriter, OneColourPageHasSevenObjectsInTheirOrder) {
  TIEBitmap B(100, 50, ie24RGB);
  B.Fill(0);
  const uint8_t Px[3] = {3, 2, 1};  // blue, green, red
  std::memcpy(B.GetScanline(0), Px, 3);
  TIOParamsVals P(nullptr);
  P.PdfTitle = 'T';
  const std::string Doc = Write(B, P);
  EXPECT_EQ(Doc.rfind("%PDF-1.4", 0), 0u);
  EXPECT_NE(Doc.find("/Size 8"), std::string::npos);
  EXPECT_NE(Doc.find("/Info 7 0 R"), std::string::npos);
  const size_t Image = Doc.find("3 0 obj");
  ASSERT_NE(Image, std::string::npos);
  EXPECT_NE(Doc.find("/Type /XObject", Image), std::string::npos);
  EXPECT_NE(Doc.find("/Length 15000", Image), std::string::npos);
  const size_t Data = Doc.find("stream\n", Image) + 7;
  EXPECT_EQ(Doc.substr(Data, 3), std::string("\x01\x02\x03", 3));  // red first
  const size_t Content = Doc.find("4 0 obj");
  EXPECT_NE(Doc.find("/Length 32", Content), std::string::npos);
  EXPECT_NE(Doc.find("q\n595 0 0 297 0 545 cm\n/lm1 Do\nQ", Content), std::string::npos);
  EXPECT_NE(Doc.find("/lm1 3 0 R"), std::string::npos);
  EXPECT_NE(Doc.find("(D:20261211020304)"), std::string::npos);
  EXPECT_NE(Doc.find("/Title (T)"), std::string::npos);
  if (std::system("command -v qpdf >/dev/null 2>&1") == 0) {
    EXPECT_TRUE(QpdfChecks(Doc, "zv_pdf_colour.pdf"));
  }
}

TEST(PdfWriter, OneBitPagesByCompression) {
  TIEBitmap B(10, 2, ie1g);
  B.Fill(0);
  B.GetScanline(0)[0] = 0xC3;
  for (uint8_t C : {0, 1, 9}) {
    SCOPED_TRACE(int(C));
    TIOParamsVals P(nullptr);
    P.PdfCompression = C;
    const std::string Doc = Write(B, P);
    EXPECT_NE(Doc.find("/DeviceGray"), std::string::npos);
    EXPECT_EQ(Doc.find("/RunLengthDecode") != std::string::npos, C == 1);
    if (C != 1) {
      EXPECT_NE(Doc.find(std::string("stream\n\xC3\x00\x00\x00", 11)), std::string::npos);
    }
    if (std::system("command -v qpdf >/dev/null 2>&1") == 0) {
    EXPECT_TRUE(QpdfChecks(Doc, "zv_pdf_1bit.pdf"));
  }
  }
  // The fax coders are in the format library: the default compression aborts the page.
  TIOParamsVals P(nullptr);
  uint8_t Abort = 0;
  Write(B, P, &Abort);
  EXPECT_EQ(Abort, 1);
}

TEST(PdfWriter, PagesShareTheResources) {
  TIEBitmap B(4, 4, ie24RGB);
  TIOParamsVals P(nullptr);
  P.PdfCompression = 0;
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  auto Doc = PdfBeginDocument();
  PdfAddImagePage(Doc.get(), &B, P, Progress);
  PdfAddImagePage(Doc.get(), &B, P, Progress);
  TMemoryStream S;
  PdfEndDocument(Doc, &S, P);
  EXPECT_EQ(Doc, nullptr);
  const std::string Pdf(static_cast<const char*>(S.Memory()), size_t(S.Size()));
  EXPECT_NE(Pdf.find("/lm2 6 0 R"), std::string::npos);  // images 3 and 6, contents 4 and 7, pages 5 and 8
  EXPECT_NE(Pdf.find("/Size 11"), std::string::npos);
  if (std::system("command -v qpdf >/dev/null 2>&1") == 0) {
    EXPECT_TRUE(QpdfChecks(Pdf, "zv_pdf_two.pdf"));
  }
}

}  // namespace
}  // namespace zv
