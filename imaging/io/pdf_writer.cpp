#include "imaging/io/pdf_writer.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/encoders.h"
#include "imaging/core/geometry.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

namespace zv {

std::function<std::tm()> PdfClock = [] {
  const std::time_t Now = std::time(nullptr);
  std::tm Local{};
  localtime_r(&Now, &Local);
  return Local;
};

PdfDocument::~PdfDocument() {
  for (TIEPDFObject* Object : Objects) delete Object;
}

namespace pdf_detail {

TIEPDFNameObject* Name(const char* Text) { return new TIEPDFNameObject(Text); }
TIEPDFNumericObject* Number(double Value) { return new TIEPDFNumericObject(Value); }

}  // namespace pdf_detail

using namespace pdf_detail;

std::unique_ptr<PdfDocument> PdfBeginDocument() {
  auto Doc = std::make_unique<PdfDocument>();
  Doc->Catalog = PdfCreateCatalog(Doc->Objects);
  Doc->Resources = new TIEPDFDictionaryObject();
  Doc->Resources->Shared = true;
  auto* ProcSet = new TIEPDFArrayObject();
  ProcSet->Add(Name("PDF"));
  ProcSet->Add(Name("ImageB"));
  Doc->Resources->Add("ProcSet", ProcSet);
  Doc->Resources->Add("XObject", new TIEPDFDictionaryObject());
  PdfAddObject(Doc->Objects, Doc->Resources);
  return Doc;
}

void PdfAddImagePage(PdfDocument* Document, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  if (Bitmap->GetPixelFormat() == ie1g) {
    Params.BitsPerSample = 1;
    Params.SamplesPerPixel = 1;
  } else if (Bitmap->GetPixelFormat() == ie24RGB) {
    Params.BitsPerSample = 8;
    Params.SamplesPerPixel = 3;
  } else {
    Progress.SetAborted();
    return;
  }
  TIEPDFStreamObject* Image = nullptr;
  std::vector<uint8_t> Data;
  if (Params.BitsPerSample == 1 && Params.SamplesPerPixel == 1) {
    const int32_t R = (W + 7) / 8;
    if (Params.PdfCompression == 4) Params.PdfCompression = 3;
    const uint8_t C = Params.PdfCompression;
    if (C >= 2 && C <= 5) {
      Progress.SetAborted();  // fax and LZW coders live in the format library
      return;
    }
    Data.resize(size_t(R) * size_t(H));
    for (int32_t y = 0; y < H; ++y) std::memcpy(&Data[size_t(y) * R], Bitmap->GetScanline(y), size_t(R));
    if (C == 1) {
      std::vector<uint8_t> Packed(Data.size() * 2 + 2);
      Packed.resize(size_t(PackBitsEncode(Data.data(), int32_t(Data.size()), Packed.data())));
      Image = TIEPDFStreamObject::CreateFromData(Packed.data(), int32_t(Packed.size()));
      auto* Filter = new TIEPDFArrayObject();
      Filter->Add(Name("RunLengthDecode"));
      Image->Dictionary->Add("Filter", Filter);
    } else {
      Image = TIEPDFStreamObject::CreateFromData(Data.data(), int32_t(Data.size()));
    }
    Image->Dictionary->Add("ColorSpace", Name("DeviceGray"));
    Image->Dictionary->Add("BitsPerComponent", Number(1));
  } else {
    if (Params.PdfCompression == 4 || Params.PdfCompression == 5) {
      Progress.SetAborted();  // JPEG and LZW coders live in the format library
      return;
    }
    Data.resize(size_t(W) * 3 * size_t(H));
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* Row = Bitmap->GetScanline(y);
      uint8_t* Out = &Data[size_t(y) * size_t(W) * 3];
      for (int32_t x = 0; x < W; ++x) {
        Out[x * 3] = Row[x * 3 + 2];
        Out[x * 3 + 1] = Row[x * 3 + 1];
        Out[x * 3 + 2] = Row[x * 3];
      }
    }
    Image = TIEPDFStreamObject::CreateFromData(Data.data(), int32_t(Data.size()));
    Image->Dictionary->Add("ColorSpace", Name("DeviceRGB"));
    Image->Dictionary->Add("BitsPerComponent", Number(8));
  }
  // "Type" and "Subtype" lead, before "Length".
  auto& Items = Image->Dictionary->Items;
  Items.insert(Items.begin(), {"Subtype", Name("Image")});
  Items.insert(Items.begin(), {"Type", Name("XObject")});
  Image->Dictionary->Add("Width", Number(W));
  Image->Dictionary->Add("Height", Number(H));
  PdfAddObject(Document->Objects, Image);
  Document->Images.push_back(Image);

  const int32_t PW = Params.PdfPaperWidth, PH = Params.PdfPaperHeight;
  int32_t w = 0, h = 0;
  FitSizeInto(W, H, PW, PH, w, h);
  const size_t n = Document->Images.size();
  const std::string Text = "q\n" + std::to_string(w) + " 0 0 " + std::to_string(h) + " 0 " + std::to_string(PH - h) +
                           " cm\n/lm" + std::to_string(n) + " Do\nQ";
  TIEPDFStreamObject* Content = TIEPDFStreamObject::CreateFromData(Text.data(), int32_t(Text.size()));
  PdfAddObject(Document->Objects, Content);
  Document->Contents.push_back(Content);
  auto* XObject = static_cast<TIEPDFDictionaryObject*>(
      Document->Resources->Items[size_t(Document->Resources->IndexOf("XObject"))].second);
  XObject->Add("lm" + std::to_string(n), new TIEPDFRefObject(Image->ObjectNumber, 0));
  auto* MediaBox = new TIEPDFArrayObject();
  for (int32_t v : {0, 0, PW, PH}) MediaBox->Add(Number(v));
  PdfCreatePage(Document->Objects, Document->Pages, Document->Resources, MediaBox, Content->ObjectNumber);
}

void PdfEndDocument(std::unique_ptr<PdfDocument>& Document, TStream* Stream, TIOParamsVals& Params) {
  if (!Document) return;
  PdfCreatePages(Document->Objects, Document->Pages);
  auto* Info = new TIEPDFDictionaryObject();
  const std::pair<const char*, const std::string*> Texts[] = {
      {"Title", &Params.PdfTitle},       {"Author", &Params.PdfAuthor},   {"Subject", &Params.PdfSubject},
      {"Keywords", &Params.PdfKeywords}, {"Creator", &Params.PdfCreator}, {"Producer", &Params.PdfProducer},
  };
  for (const auto& [Key, Value] : Texts)
    if (!Value->empty()) Info->Add(Key, new TIEPDFStringObject(*Value));
  const std::tm t = PdfClock();
  char Date[32];
  std::snprintf(Date, sizeof Date, "D:%04d%02d%02d%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                t.tm_min, t.tm_sec);
  Info->Add("CreationDate", new TIEPDFStringObject(Date));
  PdfAddObject(Document->Objects, Info);
  PdfWriteHeader(Stream);
  PdfWriteObjects(Stream, Document->Objects);
  PdfWriteXrefAndTrailer(Stream, Document->Objects, Info);
  Document.reset();
}

void PdfWriteDocument(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  std::unique_ptr<PdfDocument> Doc = PdfBeginDocument();
  PdfAddImagePage(Doc.get(), Bitmap, Params, Progress);
  PdfEndDocument(Doc, Stream, Params);
}

void PdfRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  PdfWriteDocument(Stream, Bitmap, Params, Progress);
}

}  // namespace zv
