// An AVI file from outside bytes through the I/O component: open, the first and the last frame, close.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "imaging/core/bitmap.h"
#include "imaging/io/imaging_io.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  // The AVI library reads files only.
  static const std::string Path = std::string(ZV_TEST_TMP) + "/fuzz_avi_" + std::to_string(::getpid()) + ".avi";
  std::FILE* F = std::fopen(Path.c_str(), "wb");
  if (F == nullptr) return 0;
  if (Size > 0) std::fwrite(Data, 1, Size, F);
  std::fclose(F);
  TIEBitmap Bitmap;
  std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&Bitmap));
  int32_t Frames = 0;
  fuzz::AsTheApplication([&] { Frames = IO->OpenAviFile(Path); });
  fuzz::Expect(Frames >= 0, "a negative frame count");
  fuzz::Expect((Frames == 0) == (IO->AbortFlag != 0), "a frame count that disagrees with the flag");
  if (Frames > 0) {
    for (uint32_t Index : {0u, uint32_t(Frames - 1), uint32_t(Frames)}) {
      fuzz::AsTheApplication([&] { IO->LoadAviFrame(Index); });
      if (IO->AbortFlag == 0) fuzz::Expect(Bitmap.GetWidth() > 0 && Bitmap.GetHeight() > 0, "a frame without size");
    }
  }
  IO->CloseAviFile();
  std::remove(Path.c_str());
  return 0;
}
