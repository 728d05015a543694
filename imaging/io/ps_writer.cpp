#include "imaging/io/ps_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/encoders.h"
#include "imaging/core/geometry.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/sys_text.h"
#include "imaging/io/io_params.h"
#include "imaging/io/page_coders.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {

std::function<std::tm()> PsClock = [] {
  const std::time_t Now = std::time(nullptr);
  std::tm Local{};
  localtime_r(&Now, &Local);
  return Local;
};

namespace ps_detail {

// ASCII85 text of Count bytes appended to Out; returns the characters appended, line breaks and the
// end marker included.
int64_t AppendAscii85(std::vector<char>& Out, const uint8_t* Data, int32_t Count) {
  const size_t At = Out.size();
  Out.resize(At + size_t(ASCII85EncodedSize(Count)));
  const uint8_t* Src = Data;
  char* Dst = Out.data() + At;
  int32_t Written = 0;
  const int32_t All = ASCII85EncodeBuffer(Src, Count, Dst, Written);
  Out.resize(At + size_t(All));
  return All;
}

int64_t AppendRle85(std::vector<char>& Out, const uint8_t* Data, int32_t Count) {
  std::vector<uint8_t> Packed(size_t(Count) * 2 + 2);
  const int32_t n = PackBitsEncode(Data, Count, Packed.data());
  return AppendAscii85(Out, Packed.data(), n);
}

void ReportRow(TIEProgressRecord& Progress, int32_t Row) {
  if (Progress.OnProgress) Progress.Report(int(std::lrint(Row * Progress.PerStep)));
}

// The page's data; the abort byte is set where a coder that is not installed is asked for.
int64_t PsEncodeImage(std::vector<char>& Out, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  Progress.PerStep = 100.0 / std::max(1, H);
  if (Params.SamplesPerPixel == 1 && Params.BitsPerSample > 1) {
    Params.SamplesPerPixel = 3;
    Params.BitsPerSample = 8;
  }
  if (Params.SamplesPerPixel > 3) Params.SamplesPerPixel = 3;
  const uint8_t Compression = Params.PsCompression;
  if (Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1) {
    if (Compression == 1 || Compression == 2) {
      const std::vector<uint8_t> Fax =
          FaxEncodePage(Compression == 1 ? PageCoders.CcittT6Row : PageCoders.CcittT4Row, Bitmap, Progress);
      if (Fax.empty()) return 0;
      return AppendAscii85(Out, Fax.data(), int32_t(Fax.size()));
    }
    const int32_t RowBytes = (W + 7) / 8;
    std::vector<uint8_t> All(size_t(RowBytes) * size_t(H));
    for (int32_t y = 0; y < H; ++y) {
      std::memcpy(&All[size_t(y) * RowBytes], Bitmap->GetScanline(y), size_t(RowBytes));
      ReportRow(Progress, y);
    }
    return AppendRle85(Out, All.data(), int32_t(All.size()));
  }
  if (Compression == 3) {
    if (PageCoders.JpegWrite == nullptr) {
      Progress.SetAborted();
      return 0;
    }
    TMemoryStream Jpeg;
    PageCoders.JpegWrite(&Jpeg, Bitmap, Params, Progress);
    return AppendAscii85(Out, static_cast<const uint8_t*>(Jpeg.Memory()), int32_t(Jpeg.Size()));
  }
  int64_t Count = 0;
  std::vector<uint8_t> Channel(static_cast<size_t>(W), 0);
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* Row = Bitmap->GetScanline(y);
    for (int c = 2; c >= 0; --c) {  // red, green, blue of blue-first pixels
      for (int32_t x = 0; x < W; ++x) Channel[size_t(x)] = Row[int64_t(x) * 3 + c];
      Count += AppendRle85(Out, Channel.data(), W);
    }
    ReportRow(Progress, y);
  }
  return Count;
}

void Line(TStream* Stream, const std::string& Text) { WriteTextLine(Stream, Text); }

void PsWritePage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                 int32_t Page, int32_t PaperW, int32_t PaperH) {
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  int32_t FitW = 0, FitH = 0;
  FitSizeInto(W, H, PaperW, PaperH, FitW, FitH);
  const std::string Ws = std::to_string(W), Hs = std::to_string(H);
  Line(Stream, "%%Page: " + std::to_string(Page) + " " + std::to_string(Page));
  Line(Stream, "0 " + std::to_string(PaperH) + " translate");
  Line(Stream, std::to_string(FitW) + " -" + std::to_string(FitH) + " scale");
  if (Bitmap->GetPixelFormat() == ie1g) {
    Params.BitsPerSample = 1;
    Params.SamplesPerPixel = 1;
  } else if (Bitmap->GetPixelFormat() == ie24RGB) {
    Params.BitsPerSample = 8;
    Params.SamplesPerPixel = 3;
  }
  Line(Stream, Ws + " " + Hs + " " + std::to_string(Params.BitsPerSample));
  Line(Stream, "[ " + Ws + " 0 0 " + Hs + " 0 0 ]");
  std::vector<char> Data;
  const int64_t D = PsEncodeImage(Data, Bitmap, Params, Progress);
  // DSC counts every byte after the comment line up to "%%EndData": the operator line and the data with
  // their line breaks.
  const char* Operator = Params.SamplesPerPixel == 3 ? "colorimage" : "image";
  const std::string BeginData =
      "%%BeginData:      " + std::to_string(D + int64_t(std::strlen(Operator)) + 2) + " ASCII Bytes";
  if (Params.SamplesPerPixel == 3) {
    if (Params.PsCompression == 3) {
      Line(Stream, "currentfile /ASCII85Decode filter << >> /DCTDecode filter");
      Line(Stream, "false 3");
    } else {
      for (const char* c : {"r", "g", "b"}) Line(Stream, std::string("/") + c + "str " + Ws + " string def");
      for (const char* c : {"r", "g", "b"})
        Line(Stream, std::string("{currentfile /ASCII85Decode filter /RunLengthDecode filter ") + c +
                         "str readstring pop}");
      Line(Stream, "true 3");
    }
    Line(Stream, BeginData);
    Line(Stream, Operator);
  } else {
    const uint8_t C = Params.PsCompression;
    if (C == 1 || C == 2)
      Line(Stream, std::string("currentfile /ASCII85Decode filter << /K ") + (C == 1 ? "-1" : "1") +
                       " /BlackIs1 true /Columns " + Ws + " /Rows " + Hs +
                       " /EndOfLine false /Uncompressed true /EncodedByteAlign false /EndOfBlock false >> "
                       "/CCITTFaxDecode filter");
    else
      Line(Stream, "currentfile /ASCII85Decode filter /RunLengthDecode filter");
    Line(Stream, BeginData);
    Line(Stream, Operator);
  }
  if (!Data.empty()) Stream->WriteBuffer(Data.data(), int64_t(Data.size()));
  Line(Stream, "%%EndData");
  Line(Stream, "showpage");
}

}  // namespace ps_detail

using namespace ps_detail;

std::string PsPadNumber(int32_t Value, int32_t Width) {
  std::string s = std::to_string(Value);
  if (int32_t(s.size()) < Width) s.append(size_t(Width) - s.size(), ' ');
  return s;
}

std::unique_ptr<PsDocument> PsBeginDocument(TStream* Stream, TIOParamsVals& Params) {
  auto Doc = std::make_unique<PsDocument>();
  const std::tm t = PsClock();
  char Date[64];
  std::snprintf(Date, sizeof Date, " %02d %02d:%02d:%02d %04d", t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                t.tm_year + 1900);
  Line(Stream, "%!PS-Adobe-3.0");
  Line(Stream, "%%Creator: Zonvark imaging library");
  Line(Stream, "%%Title: " + Params.PsTitle);
  Line(Stream, "%%CreationDate: " + FormatSettings.ShortDayNames[(t.tm_wday % 7 + 7) % 7] + " " +
                   FormatSettings.ShortMonthNames[(t.tm_mon % 12 + 12) % 12] + Date);
  Line(Stream, "%%DocumentData: Clean7Bit");
  Line(Stream, "%%LanguageLevel: 2");
  Doc->PagesLine = Stream->Position();
  Line(Stream, "%%Pages: " + PsPadNumber(0, 6));
  Line(Stream, "%%BoundingBox: 0 0 " + std::to_string(Params.PsPaperWidth - 1) + " " +
                   std::to_string(Params.PsPaperHeight - 1));
  Line(Stream, "%%EndComments");
  Doc->NextPage = Stream->Position();
  return Doc;
}

void PsAddPage(PsDocument* Document, TStream* Stream, TIEBitmap* Bitmap, TIEProgressRecord& Progress,
               TIOParamsVals& Params) {
  Stream->SetPosition(Document->PagesLine);
  char b[15] = {};
  Stream->Read(b, 15);
  int32_t Pages = IEStrToIntDef(IETrim(std::string(b + 9, 6)), 1);
  Stream->SetPosition(Document->PagesLine);
  const std::string PagesLine = "%%Pages: " + PsPadNumber(Pages + 1, 6);
  Stream->WriteBuffer(PagesLine.data(), int64_t(PagesLine.size()));
  Stream->SetPosition(Document->NextPage);
  PsWritePage(Stream, Bitmap, Params, Progress, Pages + 1, Params.PsPaperWidth, Params.PsPaperHeight);
  Document->NextPage = Stream->Position();
}

void PsEndDocument(std::unique_ptr<PsDocument>& Document, TStream* Stream) {
  if (!Document) return;
  Stream->SetPosition(Document->NextPage);
  Line(Stream, "%%Trailer");
  Line(Stream, "%%EOF");
  Document.reset();
}

void PsWriteDocument(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  std::unique_ptr<PsDocument> Doc = PsBeginDocument(Stream, Params);
  PsAddPage(Doc.get(), Stream, Bitmap, Progress, Params);
  PsEndDocument(Doc, Stream);
}

void PsRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  PsWriteDocument(Stream, Bitmap, Params, Progress);
}

}  // namespace zv
