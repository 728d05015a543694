// What the image benchmarks share: the library started as the executable starts it, and a bitmap made
// from rows of blue-green-red pixels.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/library_startup.h"
#include "imaging/formats/formats_startup.h"
#include "imaging/io/io_globals.h"

namespace benchdata {

// The I/O component and the file formats, started for as long as the object lives.
struct FormatsLibrary {
  FormatsLibrary() {
    zv::RegisterImagingFormatsSteps();
    zv::RegisterImagingIOStep();
    zv::LibraryStartup();
  }
  ~FormatsLibrary() { zv::LibraryShutdown(); }
  FormatsLibrary(const FormatsLibrary&) = delete;
  FormatsLibrary& operator=(const FormatsLibrary&) = delete;
};

// An ie24RGB bitmap of Width x Height holding Pixels (rows without padding).
inline std::unique_ptr<zv::TIEBitmap> BitmapOfBGR(const std::vector<uint8_t>& Pixels, int32_t Width, int32_t Height) {
  auto B = std::make_unique<zv::TIEBitmap>(Width, Height, zv::ie24RGB);
  const size_t Row = size_t(Width) * 3;
  for (int32_t y = 0; y < Height; ++y) std::memcpy(B->GetScanline(y), Pixels.data() + size_t(y) * Row, Row);
  return B;
}

}  // namespace benchdata
