// TIcon (the first image of an .ico file, drawn through its mask or alpha channel) and TPicture,
// the holder of a graphic of any kind.
#include <algorithm>
#include <cstring>

#include "platform/bmp_format.h"
#include "platform/gdi_internal.h"
#include "platform/graphics.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

[[noreturn]] void InvalidIcon() { throw EInvalidGraphic("Icon image is not valid"); }

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Fills a bitmap from a DIB by way of its BMP form, which TBitmap reads.
void LoadDib(TBitmap& target, const TDibView& view) {
  TMemoryStream ms;
  WriteBmpFile(&ms, view);
  ms.SetPosition(0);
  target.LoadFromStream(&ms);
}

// The largest icon file read; real ones are far smaller.
constexpr int64_t kMaxIconFile = int64_t(64) << 20;

}  // namespace

// ---------------------------------------------------------------------------------------------
// TIcon
// ---------------------------------------------------------------------------------------------

TIcon::TIcon() { FTransparent = true; }

TIcon::~TIcon() = default;

void TIcon::SetWidth(int32_t /*Value*/) { throw EInvalidGraphic("Cannot change the size of an icon"); }

void TIcon::SetHeight(int32_t /*Value*/) { throw EInvalidGraphic("Cannot change the size of an icon"); }

void TIcon::Assign(TPersistent* Source) {
  if (!Source) {
    FImage.reset();
    FMask.reset();
    FAlpha = false;
    FData.clear();
    Changed(this);
    return;
  }
  if (auto* src = dynamic_cast<TIcon*>(Source)) {
    if (src == this) return;
    FImage.reset();
    FMask.reset();
    if (src->FImage) {
      FImage = std::make_unique<TBitmap>();
      FImage->Assign(src->FImage.get());
    }
    if (src->FMask) {
      FMask = std::make_unique<TBitmap>();
      FMask->Assign(src->FMask.get());
    }
    FAlpha = src->FAlpha;
    FData = src->FData;
    Changed(this);
    return;
  }
  TGraphic::Assign(Source);
}

void TIcon::LoadFromStream(TStream* Stream) {
  const int64_t start = Stream->Position();
  const int64_t remaining = std::min(Stream->Size() - start, kMaxIconFile);
  if (remaining < 6) InvalidIcon();
  std::vector<uint8_t> data(static_cast<size_t>(remaining));
  const int64_t got = Stream->Read(data.data(), remaining);
  if (got < 6) InvalidIcon();
  const size_t n = size_t(got);
  const uint8_t* d = data.data();
  const uint16_t type = U16(d + 2), count = U16(d + 4);
  if (U16(d) != 0 || (type != 1 && type != 2) || count == 0 || (n - 6) / 16 < count) InvalidIcon();
  size_t end = 6 + size_t(count) * 16;
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* e = d + 6 + size_t(i) * 16;
    const uint32_t bytes = U32(e + 8), offset = U32(e + 12);
    if (offset > n || bytes > n - offset || bytes < 4) InvalidIcon();
    end = std::max(end, size_t(offset) + bytes);
  }
  const uint8_t* e = d + 6;
  const uint8_t* img = d + U32(e + 12);
  const size_t imgSize = U32(e + 8);
  static constexpr uint8_t kPng[4] = {0x89, 'P', 'N', 'G'};
  if (std::memcmp(img, kPng, 4) == 0) throw EInvalidGraphic("Icons stored as PNG are not supported");

  size_t bitsEnd = 0;
  TDibImage dib;
  try {
    dib = ReadPackedDib(img, imgSize, 2, &bitsEnd);
  } catch (const EInvalidGraphic&) {
    InvalidIcon();
  }
  if (dib.Width <= 0 || dib.Height <= 0) InvalidIcon();

  bool alpha = false;
  if (dib.BitCount == 32)
    for (size_t i = 3; i < dib.Bits.size() && !alpha; i += 4) alpha = dib.Bits[i] != 0;

  const size_t maskStride = size_t(DibStride(dib.Width, 1));
  const size_t maskBytes = maskStride * size_t(dib.Height);
  std::vector<uint8_t> maskBits(maskBytes, 0);
  if (imgSize - bitsEnd >= maskBytes) {
    std::memcpy(maskBits.data(), img + bitsEnd, maskBytes);
  } else if (!alpha) {
    InvalidIcon();
  }

  auto image = std::make_unique<TBitmap>();
  TDibView view;
  view.Width = dib.Width;
  view.Height = dib.Height;
  view.BitCount = dib.BitCount;
  view.Colors = dib.Colors;
  std::copy(dib.Masks, dib.Masks + 3, view.Masks);
  view.Bits = dib.Bits.data();
  LoadDib(*image, view);

  auto mask = std::make_unique<TBitmap>();
  static const RGBQUAD kMono[2] = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  TDibView maskView;
  maskView.Width = dib.Width;
  maskView.Height = dib.Height;
  maskView.BitCount = 1;
  maskView.Colors = kMono;
  maskView.Bits = maskBits.data();
  LoadDib(*mask, maskView);

  Stream->SetPosition(start + int64_t(end));
  FImage = std::move(image);
  FMask = std::move(mask);
  FAlpha = alpha;
  FData.assign(d, d + end);
  Changed(this);
}

void TIcon::SaveToStream(TStream* Stream) {
  if (!FData.empty()) Stream->WriteBuffer(FData.data(), int64_t(FData.size()));
}

void TIcon::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (Empty() || !ACanvas) return;
  HDC dst = ACanvas->Handle();
  const int32_t w = FImage->Width(), h = FImage->Height();
  if (FAlpha) {
    // AlphaBlend takes premultiplied colours.
    TBitmap work;
    work.Assign(FImage.get());
    work.SetPixelFormat(pf32bit);
    for (int32_t y = 0; y < h; ++y) {
      auto* p = static_cast<uint8_t*>(work.ScanLine(y));
      for (int32_t x = 0; x < w; ++x, p += 4)
        for (int c = 0; c < 3; ++c) p[c] = uint8_t((p[c] * p[3] + 127) / 255);
    }
    BLENDFUNCTION blend;
    blend.BlendOp = AC_SRC_OVER;
    blend.SourceConstantAlpha = 255;
    blend.AlphaFormat = AC_SRC_ALPHA;
    AlphaBlend(dst, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), work.Canvas()->Handle(), 0, 0, w, h, blend);
    return;
  }
  TransparentStretchBlt(dst, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), FImage->Canvas()->Handle(), 0, 0, w,
                        h, FMask->Canvas()->Handle(), 0, 0);
}

// ---------------------------------------------------------------------------------------------
// TPicture
// ---------------------------------------------------------------------------------------------

namespace {

std::unique_ptr<TGraphic> NewGraphicLike(TGraphic* g) {
  if (dynamic_cast<TBitmap*>(g)) return std::make_unique<TBitmap>();
  if (dynamic_cast<TIcon*>(g)) return std::make_unique<TIcon>();
  throw EInvalidGraphic("Unsupported graphic class " + g->ClassName());
}

std::unique_ptr<TGraphic> NewGraphicForFile(const std::string& FileName) {
  const std::string ext = LowerCase(ExtractFileExt(FileName));
  if (ext == ".bmp" || ext == ".dib") return std::make_unique<TBitmap>();
  if (ext == ".ico") return std::make_unique<TIcon>();
  throw EInvalidGraphic(Format("Unknown picture file extension (%s)", ExtractFileExt(FileName)));
}

}  // namespace

TPicture::TPicture() = default;

TPicture::~TPicture() {
  if (FGraphic) FGraphic->OnChange = nullptr;
}

void TPicture::Adopt(std::unique_ptr<TGraphic> Graphic) {
  if (FGraphic) FGraphic->OnChange = nullptr;
  FGraphic = std::move(Graphic);
  if (FGraphic) FGraphic->OnChange = [this](TObject* Sender) { Changed(Sender); };
  Changed(this);
}

void TPicture::SetGraphic(TGraphic* Value) {
  if (Value == FGraphic.get()) return;
  if (!Value) {
    Adopt(nullptr);
    return;
  }
  std::unique_ptr<TGraphic> copy = NewGraphicLike(Value);
  copy->Assign(Value);
  Adopt(std::move(copy));
}

TBitmap* TPicture::Bitmap() {
  if (!dynamic_cast<TBitmap*>(FGraphic.get())) Adopt(std::make_unique<TBitmap>());
  return static_cast<TBitmap*>(FGraphic.get());
}

TIcon* TPicture::Icon() {
  if (!dynamic_cast<TIcon*>(FGraphic.get())) Adopt(std::make_unique<TIcon>());
  return static_cast<TIcon*>(FGraphic.get());
}

void TPicture::Assign(TPersistent* Source) {
  if (!Source) SetGraphic(nullptr);
  else if (auto* p = dynamic_cast<TPicture*>(Source)) SetGraphic(p->Graphic());
  else if (auto* g = dynamic_cast<TGraphic*>(Source)) SetGraphic(g);
  else TPersistent::Assign(Source);
}

void TPicture::AssignTo(TPersistent* Dest) {
  if (auto* g = dynamic_cast<TGraphic*>(Dest)) {
    g->Assign(FGraphic.get());
    return;
  }
  TPersistent::AssignTo(Dest);
}

void TPicture::LoadFromFile(const std::string& FileName) {
  std::unique_ptr<TGraphic> g = NewGraphicForFile(FileName);
  g->LoadFromFile(FileName);
  Adopt(std::move(g));
}

void TPicture::SaveToFile(const std::string& FileName) {
  if (FGraphic) FGraphic->SaveToFile(FileName);
}

void TPicture::Changed(TObject* /*Sender*/) {
  if (OnChange) OnChange(this);
}

}  // namespace zv
