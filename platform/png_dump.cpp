// PNG output of GDI surfaces through libpng.
#include "platform/png_dump.h"

#include <png.h>

#include <cstdio>
#include <vector>

#include "platform/gdi_internal.h"

namespace zv {

namespace {

bool SaveSurface(const GdiSurface& s, const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  std::vector<png_byte> row(size_t(s.width) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, png_uint_32(s.width), png_uint_32(s.height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      const COLORREF c = s.GetPixel(x, y);
      row[size_t(x) * 3] = GetRValue(c);
      row[size_t(x) * 3 + 1] = GetGValue(c);
      row[size_t(x) * 3 + 2] = GetBValue(c);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

}  // namespace

bool SaveBitmapToPng(HBITMAP bitmap, const std::string& path) {
  GdiBitmap* bm = BitmapFromHandle(bitmap);
  return bm && bm->surface && SaveSurface(*bm->surface, path);
}

bool SaveBitmapToPng(HDC dc, const std::string& path) {
  GdiDC* d = DCFromHandle(dc);
  GdiSurface* s = d ? d->Surface() : nullptr;
  return s && SaveSurface(*s, path);
}

}  // namespace zv
