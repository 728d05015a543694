// Reading and writing .bmp files. The reader trusts nothing it reads: each header field, table,
// offset and RLE command is checked against what is left of the buffer before it is followed.
#include "platform/bmp_format.h"

#include <algorithm>
#include <cstring>

#include "platform/gdi_internal.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

constexpr uint16_t kBmpSignature = 0x4D42;  // "BM"
constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
// No header version is larger than this; a bigger claim is a broken file.
constexpr uint32_t kMaxHeaderSize = 1024;
// The most pixels one byte of RLE data may stand for (the image library's BMP reader holds files to
// the same bound).
constexpr uint64_t kMaxRlePixelsPerByte = 32768;

[[noreturn]] void Invalid() { throw EInvalidGraphic(kInvalidBitmapMessage); }

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
int32_t I32(const uint8_t* p) { return int32_t(U32(p)); }

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// One channel of a bit-field pixel: where it sits and how wide it is.
struct Channel {
  int shift = 0;
  int bits = 0;
  explicit Channel(uint32_t mask) {
    if (!mask) return;
    while (!(mask & 1)) {
      mask >>= 1;
      ++shift;
    }
    while (mask & 1) {
      mask >>= 1;
      ++bits;
    }
  }
  uint8_t Extract(uint32_t v) const {
    if (!bits) return 0;
    const uint32_t max = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    const uint32_t x = (v >> shift) & max;
    return uint8_t((uint64_t(x) * 255 + max / 2) / max);
  }
};

// What the headers say, after checking.
struct DibHeader {
  int32_t width = 0;
  int32_t height = 0;  // rows of one stacked image
  bool topDown = false;
  int bpp = 0;
  uint32_t compression = BI_RGB;
  uint32_t sizeImage = 0;
  uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  std::vector<RGBQUAD> colors;
  size_t tableEnd = 0;  // offset just past the header, masks and colour table
};

DibHeader ReadHeader(const uint8_t* d, size_t n, int heightDivisor) {
  DibHeader h;
  if (n < 4) Invalid();
  const uint32_t hsize = U32(d);
  uint32_t colorsUsed = 0;
  size_t entrySize = 4;
  size_t pos = 0;
  if (hsize == kCoreHeaderSize) {
    if (n < kCoreHeaderSize) Invalid();
    h.width = U16(d + 4);
    h.height = U16(d + 6);
    h.bpp = U16(d + 10);
    entrySize = 3;
    pos = kCoreHeaderSize;
    if (h.bpp != 1 && h.bpp != 4 && h.bpp != 8 && h.bpp != 24) Invalid();
  } else {
    if (hsize < kInfoHeaderSize || hsize > kMaxHeaderSize || hsize > n) Invalid();
    h.width = I32(d + 4);
    const int32_t height = I32(d + 8);
    h.bpp = U16(d + 14);
    h.compression = U32(d + 16);
    h.sizeImage = U32(d + 20);
    colorsUsed = U32(d + 32);
    if (height == INT32_MIN) Invalid();
    h.topDown = height < 0;
    h.height = h.topDown ? -height : height;
    pos = hsize;
    switch (h.compression) {
      case BI_RGB:
        if (h.bpp != 1 && h.bpp != 4 && h.bpp != 8 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32) Invalid();
        break;
      case BI_RLE8:
        if (h.bpp != 8 || h.topDown) Invalid();
        break;
      case BI_RLE4:
        if (h.bpp != 4 || h.topDown) Invalid();
        break;
      case BI_BITFIELDS:
        if (h.bpp != 16 && h.bpp != 32) Invalid();
        if (hsize >= 52) {
          for (int i = 0; i < 3; ++i) h.masks[i] = U32(d + 40 + 4 * i);
          if (hsize >= 56) h.masks[3] = U32(d + 52);
        } else {
          if (n - pos < 12) Invalid();
          for (int i = 0; i < 3; ++i) h.masks[i] = U32(d + pos + 4 * i);
          pos += 12;
        }
        break;
      default: Invalid();  // JPEG, PNG and unknown encodings
    }
  }
  if (h.width < 0) Invalid();
  if (heightDivisor > 1) {
    if (h.height % heightDivisor) Invalid();
    h.height /= heightDivisor;
  }
  if (h.bpp <= 8) {
    const uint32_t maxColors = 1u << h.bpp;
    if (colorsUsed > maxColors) Invalid();
    const uint32_t count = colorsUsed ? colorsUsed : maxColors;
    if ((n - pos) / entrySize < count) Invalid();
    h.colors.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = d + pos + size_t(i) * entrySize;
      h.colors[i] = RGBQUAD{e[0], e[1], e[2], 0};
    }
    pos += size_t(count) * entrySize;
  } else if (colorsUsed) {
    // A palette hint ahead of true-colour pixels: skipped, but it must be there.
    if ((n - pos) / 4 < colorsUsed) Invalid();
    pos += size_t(colorsUsed) * 4;
  }
  h.tableEnd = pos;
  return h;
}

// Copies the stored rows into a bottom-up buffer in the image's own layout.
void CopyRows(const DibHeader& h, const uint8_t* src, size_t stride, TDibImage& img) {
  for (int32_t r = 0; r < h.height; ++r) {
    const size_t srcRow = size_t(h.topDown ? h.height - 1 - r : r);
    std::memcpy(img.Bits.data() + size_t(r) * stride, src + srcRow * stride, stride);
  }
}

// Bit fields that are neither 5-5-5/5-6-5 (16 bits) nor 8-8-8 (32 bits) become 32-bit B, G, R, A.
void ConvertBitfields(const DibHeader& h, const uint8_t* src, size_t srcStride, TDibImage& img) {
  const Channel r(h.masks[0]), g(h.masks[1]), b(h.masks[2]), a(h.masks[3]);
  img.BitCount = 32;
  const size_t stride = size_t(DibStride(h.width, 32));
  img.Bits.assign(stride * size_t(h.height), 0);
  for (int32_t row = 0; row < h.height; ++row) {
    const uint8_t* s = src + size_t(h.topDown ? h.height - 1 - row : row) * srcStride;
    uint8_t* o = img.Bits.data() + size_t(row) * stride;
    for (int32_t x = 0; x < h.width; ++x) {
      const uint32_t v = h.bpp == 16 ? U16(s + 2 * size_t(x)) : U32(s + 4 * size_t(x));
      o[4 * x] = b.Extract(v);
      o[4 * x + 1] = g.Extract(v);
      o[4 * x + 2] = r.Extract(v);
      o[4 * x + 3] = a.Extract(v);
    }
  }
}

// Sets pixel x of an 8-bit or 4-bit row.
inline void PutIndex(uint8_t* row, int bpp, int32_t x, uint8_t v) {
  if (bpp == 8) {
    row[x] = v;
  } else if (x & 1) {
    row[x >> 1] = uint8_t((row[x >> 1] & 0xF0) | (v & 0x0F));
  } else {
    row[x >> 1] = uint8_t((row[x >> 1] & 0x0F) | (v << 4));
  }
}

// Decodes BI_RLE8 / BI_RLE4 into img.Bits (already zero-filled); returns the bytes used.
size_t DecodeRle(const DibHeader& h, const uint8_t* d, size_t n, TDibImage& img) {
  const int bpp = h.bpp;
  const size_t stride = size_t(DibStride(h.width, bpp));
  // An RLE4 run may fill the spare nibble of an odd-width row's last byte; nothing further.
  const int64_t rowLimit = bpp == 4 ? (int64_t(h.width) + 1) & ~int64_t(1) : h.width;
  int64_t x = 0, y = 0;
  size_t i = 0;
  auto rowAt = [&](int64_t row) { return img.Bits.data() + size_t(row) * stride; };
  auto put = [&](int64_t px, uint8_t v) {
    if (px < h.width) PutIndex(rowAt(y), bpp, int32_t(px), v);
  };
  for (;;) {
    if (n - i < 2) {
      if (y >= h.height) return i;  // every row is there; only the end marker is missing
      Invalid();
    }
    const uint8_t count = d[i], value = d[i + 1];
    i += 2;
    if (count) {
      if (y >= h.height || x + count > rowLimit) Invalid();
      for (int k = 0; k < count; ++k)
        put(x + k, bpp == 8 ? value : uint8_t((k & 1) ? (value & 0x0F) : (value >> 4)));
      x += count;
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        if (++y > h.height) Invalid();
        break;
      case 1:  // end of bitmap
        return i;
      case 2: {  // delta
        if (n - i < 2) Invalid();
        x += d[i];
        y += d[i + 1];
        i += 2;
        if (x > rowLimit || y > h.height) Invalid();
        break;
      }
      default: {  // absolute run of `value` pixels, padded to a 16-bit boundary
        const size_t bytes = bpp == 8 ? value : (size_t(value) + 1) / 2;
        const size_t padded = (bytes + 1) & ~size_t(1);
        if (n - i < padded || y >= h.height || x + value > rowLimit) Invalid();
        for (int k = 0; k < value; ++k) {
          const uint8_t b = d[i + (bpp == 8 ? size_t(k) : size_t(k) / 2)];
          put(x + k, bpp == 8 ? b : uint8_t((k & 1) ? (b & 0x0F) : (b >> 4)));
        }
        x += value;
        i += padded;
        break;
      }
    }
  }
}

// Decodes the pixels at bitsOffset of a DIB whose headers are h; returns the offset past them.
size_t DecodePixels(const DibHeader& h, const uint8_t* d, size_t n, size_t bitsOffset, TDibImage& img) {
  img.Width = h.width;
  img.Height = h.height;
  img.BitCount = h.bpp;
  img.Colors = h.colors;
  if (bitsOffset < h.tableEnd || bitsOffset > n) Invalid();
  if (h.width == 0 || h.height == 0) {
    img.Width = img.Height = 0;
    return bitsOffset;
  }
  const int64_t stride64 = DibStride(h.width, h.bpp);
  if (stride64 <= 0 || uint64_t(stride64) * uint64_t(h.height) > kMaxDibBytes) Invalid();
  const size_t stride = size_t(stride64);
  const size_t total = stride * size_t(h.height);
  const uint8_t* bits = d + bitsOffset;
  const size_t avail = n - bitsOffset;

  if (h.compression == BI_RLE8 || h.compression == BI_RLE4) {
    size_t len = avail;
    if (h.sizeImage && h.sizeImage < len) len = h.sizeImage;
    // Runs, deltas and an early end may leave much of the image blank, but a few bytes cannot stand for
    // an image of any size: a header that claims more is broken, refused before anything is allocated.
    if (uint64_t(h.width) * uint64_t(h.height) > (uint64_t(len) + 2) * kMaxRlePixelsPerByte) Invalid();
    img.Bits.assign(total, 0);
    return bitsOffset + DecodeRle(h, bits, len, img);
  }
  if (avail < total) Invalid();

  if (h.bpp == 16) {
    uint32_t m[3] = {h.masks[0], h.masks[1], h.masks[2]};
    if (h.compression == BI_RGB) {
      m[0] = 0x7C00;
      m[1] = 0x03E0;
      m[2] = 0x001F;
    }
    const bool is555 = m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F;
    const bool is565 = m[0] == 0xF800 && m[1] == 0x07E0 && m[2] == 0x001F;
    if (!is555 && !is565) {
      ConvertBitfields(h, bits, stride, img);
      return bitsOffset + total;
    }
    std::copy(m, m + 3, img.Masks);
  } else if (h.bpp == 32 && h.compression == BI_BITFIELDS &&
             !(h.masks[0] == 0xFF0000 && h.masks[1] == 0xFF00 && h.masks[2] == 0xFF)) {
    ConvertBitfields(h, bits, stride, img);
    return bitsOffset + total;
  }
  img.Bits.resize(total);
  CopyRows(h, bits, stride, img);
  return bitsOffset + total;
}

}  // namespace

TDibImage ReadBmpFile(const uint8_t* Data, size_t Size, size_t* Consumed) {
  if (!Data || Size < kFileHeaderSize || U16(Data) != kBmpSignature) Invalid();
  const uint32_t fileSize = U32(Data + 2);
  const uint32_t offBits = U32(Data + 10);
  const uint8_t* dib = Data + kFileHeaderSize;
  const size_t dibSize = Size - kFileHeaderSize;
  const DibHeader h = ReadHeader(dib, dibSize, 1);
  // Offset 0 is written by some tools for "right after the colour table".
  const size_t bitsOffset = offBits ? (offBits < kFileHeaderSize ? SIZE_MAX : offBits - kFileHeaderSize) : h.tableEnd;
  if (bitsOffset == SIZE_MAX) Invalid();
  TDibImage img;
  size_t end = kFileHeaderSize + DecodePixels(h, dib, dibSize, bitsOffset, img);
  if (fileSize >= end && fileSize <= Size) end = fileSize;
  if (Consumed) *Consumed = end;
  return img;
}

TDibImage ReadPackedDib(const uint8_t* Data, size_t Size, int HeightDivisor, size_t* BitsEnd) {
  if (!Data) Invalid();
  const DibHeader h = ReadHeader(Data, Size, HeightDivisor < 1 ? 1 : HeightDivisor);
  TDibImage img;
  const size_t end = DecodePixels(h, Data, Size, h.tableEnd, img);
  if (BitsEnd) *BitsEnd = end;
  return img;
}

void WriteBmpFile(TStream* Stream, const TDibView& Image) {
  const int bpp = Image.BitCount;
  const bool empty = Image.Width <= 0 || Image.Height <= 0 || !Image.Bits;
  const uint64_t stride = empty ? 0 : uint64_t(DibStride(Image.Width, bpp));
  const uint64_t imageBytes = stride * uint64_t(empty ? 0 : Image.Height);
  const bool is555 = Image.Masks[0] == 0x7C00 && Image.Masks[1] == 0x03E0 && Image.Masks[2] == 0x001F;
  const bool bitfields = bpp == 16 && !is555 && (Image.Masks[0] | Image.Masks[1] | Image.Masks[2]);
  const size_t colorCount = bpp <= 8 ? std::min(Image.Colors.size(), size_t(1) << bpp) : 0;
  const uint32_t tableBytes = uint32_t(bitfields ? 12 : colorCount * 4);
  const uint32_t offBits = uint32_t(kFileHeaderSize + kInfoHeaderSize + tableBytes);
  if (imageBytes + offBits > 0xFFFFFFFFu) throw EWriteError("Stream write error");

  std::vector<uint8_t> head;
  head.reserve(offBits);
  Put16(head, kBmpSignature);
  Put32(head, uint32_t(offBits + imageBytes));
  Put32(head, 0);
  Put32(head, offBits);
  Put32(head, kInfoHeaderSize);
  Put32(head, uint32_t(empty ? 0 : Image.Width));
  Put32(head, uint32_t(empty ? 0 : Image.Height));
  Put16(head, 1);
  Put16(head, uint16_t(bpp));
  Put32(head, bitfields ? BI_BITFIELDS : BI_RGB);
  Put32(head, uint32_t(imageBytes));
  Put32(head, 3780);  // 96 DPI in pixels per metre
  Put32(head, 3780);
  Put32(head, uint32_t(colorCount));
  Put32(head, 0);
  if (bitfields) {
    for (int i = 0; i < 3; ++i) Put32(head, Image.Masks[i]);
  } else {
    for (size_t i = 0; i < colorCount; ++i) {
      const RGBQUAD& q = Image.Colors[i];
      head.insert(head.end(), {q.rgbBlue, q.rgbGreen, q.rgbRed, 0});
    }
  }
  Stream->WriteBuffer(head.data(), int64_t(head.size()));
  if (imageBytes) Stream->WriteBuffer(Image.Bits, int64_t(imageBytes));
}

}  // namespace zv
