// What the format tests share: the image library started as the executable starts it (I/O,
// processing and the file formats), streams over byte vectors, and progress records that log.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/iedefs.h"
#include "imaging/core/library_startup.h"
#include "imaging/formats/formats_startup.h"
#include "imaging/io/io_globals.h"
#include "imaging/proc/proc_startup.h"
#include "platform/streams.h"

namespace zv::formattest {

using Bytes = std::vector<uint8_t>;

inline Bytes BytesOf(TMemoryStream& S) {
  Bytes B(size_t(S.Size()));
  if (!B.empty()) std::memcpy(B.data(), S.Memory(), B.size());
  return B;
}

inline std::unique_ptr<TMemoryStream> StreamOf(const Bytes& B) {
  auto S = std::make_unique<TMemoryStream>();
  if (!B.empty()) S->WriteBuffer(B.data(), int64_t(B.size()));
  S->SetPosition(0);
  return S;
}

// A progress record with its own abort byte that keeps every percentage reported.
struct LoggedProgress {
  uint8_t Abort = 0;
  std::vector<int> Reports;
  TIEProgressRecord Record;
  LoggedProgress() {
    Record.Abort = &Abort;
    Record.OnProgress = [this](TObject*, int Per) { Reports.push_back(Per); };
  }
  LoggedProgress(const LoggedProgress&) = delete;
  LoggedProgress& operator=(const LoggedProgress&) = delete;
};

// An image of Colours distinct colours in bands.
inline void PaintBands(TIEBitmap& B, int32_t W, int32_t H, int Colours) {
  B.Allocate(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const int c = (x / 3 + y * 5) % Colours;
      B.SetRGB(x, y, TIERGB24{uint8_t(c * 37), uint8_t(255 - c * 11), uint8_t(c * 90)});
    }
}

// Equal sizes and equal colours, whatever the pixel formats.
inline bool SamePixels(TIEBitmap& A, TIEBitmap& B) {
  if (A.GetWidth() != B.GetWidth() || A.GetHeight() != B.GetHeight()) return false;
  for (int32_t y = 0; y < A.GetHeight(); ++y)
    for (int32_t x = 0; x < A.GetWidth(); ++x)
      if (!(A.GetPixelAsRGB(x, y) == B.GetPixelAsRGB(x, y))) return false;
  return true;
}

class FormatsLibraryTest : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterImagingFormatsSteps();
    RegisterImagingIOStep();
    RegisterLibraryStep(lsProcessing, "Image processing", ProcessingStartup, ProcessingShutdown);
    LibraryStartup();
  }
  void TearDown() override { LibraryShutdown(); }
};

}  // namespace zv::formattest
