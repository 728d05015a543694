#include "imaging/io/pdf_writer.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/encoders.h"
#include "imaging/core/geometry.h"
#include "imaging/io/io_params.h"
#include "imaging/io/page_coders.h"
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

// The image object of CCITT data with its decode parameters.
TIEPDFStreamObject* PdfCcittImage(const std::vector<uint8_t>& Fax, int32_t K, int32_t W, int32_t H) {
  TIEPDFStreamObject* Image = TIEPDFStreamObject::CreateFromData(Fax.data(), int32_t(Fax.size()));
  Image->Dictionary->Add("Filter", Name("CCITTFaxDecode"));
  auto* Parms = new TIEPDFDictionaryObject();
  Parms->Add("K", Number(K));
  Parms->Add("BlackIs1", new TIEPDFBooleanObject(true));
  Parms->Add("Columns", Number(W));
  Parms->Add("Rows", Number(H));
  Parms->Add("EndOfLine", new TIEPDFBooleanObject(false));
  Parms->Add("Uncompressed", new TIEPDFBooleanObject(true));
  Parms->Add("EncodedByteAlign", new TIEPDFBooleanObject(false));
  Parms->Add("EndOfBlock", new TIEPDFBooleanObject(false));
  Image->Dictionary->Add("DecodeParms", Parms);
  return Image;
}

// The image object of LZW data: each row, as Prepare gives it (from the scan line and a buffer of
// RowBytes), through the parameters' LZW encoder. nullptr, with the abort byte set, without an encoder.
template <class TPrepare>
TIEPDFStreamObject* PdfLzwImage(TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                                int32_t RowBytes, TPrepare Prepare) {
  if (Params.TiffLzwEncoder == nullptr) {
    Progress.SetAborted();
    return nullptr;
  }
  TMemoryStream Coded;
  void* State = nullptr;
  std::vector<uint8_t> Buffer(static_cast<size_t>(RowBytes));
  for (int32_t y = 0; y < Bitmap->GetHeight(); ++y)
    Params.TiffLzwEncoder(Prepare(Bitmap->GetScanline(y), Buffer.data()), RowBytes, &Coded, State);
  Params.TiffLzwEncoder(nullptr, 0, &Coded, State);
  TIEPDFStreamObject* Image = TIEPDFStreamObject::CreateFromData(Coded.Memory(), int32_t(Coded.Size()));
  Image->Dictionary->Add("Filter", Name("LZWDecode"));
  return Image;
}

// Rows of a 1-bit page by the compression: uncompressed (0 and above 5), PackBits (1), CCITT G4 (2),
// two-dimensional G3 (3) or LZW (5).
TIEPDFStreamObject* PdfOneBitImage(TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight(), R = (W + 7) / 8;
  const uint8_t C = Params.PdfCompression;
  if (C == 2 || C == 3) {
    const TFaxRowCoder Coder = C == 2 ? PageCoders.CcittT6Row : PageCoders.CcittT4Row;
    const std::vector<uint8_t> Fax = FaxEncodePage(Coder, Bitmap, Progress);
    return Coder != nullptr ? PdfCcittImage(Fax, C == 2 ? -1 : 1, W, H) : nullptr;
  }
  if (C == 5) return PdfLzwImage(Bitmap, Params, Progress, R, [](const uint8_t* Row, uint8_t*) { return Row; });
  std::vector<uint8_t> Data(size_t(R) * size_t(H));
  for (int32_t y = 0; y < H; ++y) std::memcpy(&Data[size_t(y) * R], Bitmap->GetScanline(y), size_t(R));
  if (C != 1) return TIEPDFStreamObject::CreateFromData(Data.data(), int32_t(Data.size()));
  std::vector<uint8_t> Packed(Data.size() * 2 + 2);
  Packed.resize(size_t(PackBitsEncode(Data.data(), int32_t(Data.size()), Packed.data())));
  TIEPDFStreamObject* Image = TIEPDFStreamObject::CreateFromData(Packed.data(), int32_t(Packed.size()));
  auto* Filter = new TIEPDFArrayObject();
  Filter->Add(Name("RunLengthDecode"));
  Image->Dictionary->Add("Filter", Filter);
  return Image;
}

// Rows of a colour page, red first: a JPEG stream (4), LZW (5) or uncompressed (any other value).
TIEPDFStreamObject* PdfColourImage(TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  const auto RedFirst = [W](const uint8_t* Row, uint8_t* Out) {
    for (int32_t x = 0; x < W; ++x) {
      Out[x * 3] = Row[x * 3 + 2];
      Out[x * 3 + 1] = Row[x * 3 + 1];
      Out[x * 3 + 2] = Row[x * 3];
    }
    return static_cast<const uint8_t*>(Out);
  };
  if (Params.PdfCompression == 5) return PdfLzwImage(Bitmap, Params, Progress, W * 3, RedFirst);
  if (Params.PdfCompression == 4) {
    if (PageCoders.JpegWrite == nullptr) {
      Progress.SetAborted();
      return nullptr;
    }
    TMemoryStream Jpeg;
    PageCoders.JpegWrite(&Jpeg, Bitmap, Params, Progress);
    TIEPDFStreamObject* Image = TIEPDFStreamObject::CreateFromData(Jpeg.Memory(), int32_t(Jpeg.Size()));
    Image->Dictionary->Add("Filter", Name("DCTDecode"));
    return Image;
  }
  const size_t RowBytes = size_t(W) * 3;
  std::vector<uint8_t> Data(RowBytes * size_t(H));
  for (int32_t y = 0; y < H; ++y) RedFirst(Bitmap->GetScanline(y), &Data[size_t(y) * RowBytes]);
  return TIEPDFStreamObject::CreateFromData(Data.data(), int32_t(Data.size()));
}

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
  if (Params.BitsPerSample == 1 && Params.SamplesPerPixel == 1) {
    if (Params.PdfCompression == 4) Params.PdfCompression = 3;
    Image = PdfOneBitImage(Bitmap, Params, Progress);
    if (Image == nullptr) return;
    Image->Dictionary->Add("ColorSpace", Name("DeviceGray"));
    Image->Dictionary->Add("BitsPerComponent", Number(1));
  } else {
    Image = PdfColourImage(Bitmap, Params, Progress);
    if (Image == nullptr) return;
    Image->Dictionary->Add("ColorSpace",
                           Name(Params.PdfCompression == 4 && Params.JpegColorSpace == 1 ? "DeviceGray" : "DeviceRGB"));
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
  char Date[80];  // room for any int fields, though a real clock gives 16 characters
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
