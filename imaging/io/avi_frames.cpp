// Single frames of AVI videos, read through the platform's AVI file library.
#include "imaging/core/dib_bitmap.h"
#include "imaging/core/globals.h"
#include "imaging/core/proc_hooks.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_globals.h"

namespace zv {

// Milliseconds a frame of a stream of Rate / Scale frames a second, exact and saturated: a file can
// declare a scale far above its rate.
uint32_t AviFrameDelay(uint32_t Rate, uint32_t Scale) {
  if (Rate == 0 || Scale == 0) return 0;
  uint64_t Delay = uint64_t(Scale) * 1000 / Rate;
  return Delay > UINT32_MAX ? UINT32_MAX : uint32_t(Delay);
}

int32_t TImagingIO::OpenAviFile(const std::string& FileName) {
  AbortFlag = 0;
  CloseAviFile();
  FIOParams->AviFrameCount = 0;
  FIOParams->FileName = FileName;
  FIOParams->FileType = 0;
  if (!AviLibraryInitialised) {
    AVIFileInit();
    AviLibraryInitialised = true;
  }
  if (AVIFileOpenW(&FAviFile, FileName, OF_READ, nullptr) == AVIERR_OK) {
    if (AVIFileGetStream(FAviFile, &FAviStream, streamtypeVIDEO, 0) == AVIERR_OK) {
      if (AVIStreamInfoW(FAviStream, &FAviInfo, int32_t(sizeof(FAviInfo))) == AVIERR_OK) {
        FAviFrames = AVIStreamGetFrameOpen(FAviStream, nullptr);
        if (FAviFrames != nullptr) {
          FIOParams->AviFrameCount = FAviInfo.dwLength;
          FIOParams->AviFrameDelay = AviFrameDelay(FAviInfo.dwRate, FAviInfo.dwScale);
          return int32_t(FAviInfo.dwLength);
        }
      }
      AVIStreamRelease(FAviStream);
    }
    AVIFileRelease(FAviFile);
  }
  AbortFlag = 1;
  FAviFile = nullptr;
  FAviStream = nullptr;
  FAviFrames = nullptr;
  return 0;
}

void TImagingIO::LoadAviFrame(uint32_t Index) {
  if (HandOff(8, [this, Index] { LoadAviFrame(Index); })) return;
  AbortFlag = 0;
  try {
    bool Loaded = false;
    if (PrepareBitmap() && FAviFile != nullptr && FAviStream != nullptr && FAviFrames != nullptr &&
        Index < FAviInfo.dwLength && ProcessingHooks.DrawDIBToDibbitmap) {
      void* Frame = AVIStreamGetFrame(FAviFrames, int32_t(Index));
      FIOParams->AviFrameCount = FAviInfo.dwLength;
      FIOParams->AviFrameDelay = AviFrameDelay(FAviInfo.dwRate, FAviInfo.dwScale);
      if (Frame != nullptr) {
        auto Dib = std::make_unique<TIEDibbitmap>();
        int32_t Bits = ProcessingHooks.DrawDIBToDibbitmap(Frame, Dib.get(), nullptr, true);
        if (Dib->Width() > 0 && Dib->Height() > 0) {
          // 16-bit frames of a 15-bit stream are 5-5-5.
          if (Bits == 16 && AviStreamBitCount(FAviStream) == 15) Bits = 15;
          WorkBitmap()->CopyFromTIEDibbitmap(Dib.get());
          switch (Bits) {
            case 1: FIOParams->BitsPerSample = 1, FIOParams->SamplesPerPixel = 1; break;
            case 4: FIOParams->BitsPerSample = 4, FIOParams->SamplesPerPixel = 1; break;
            case 8: FIOParams->BitsPerSample = 8, FIOParams->SamplesPerPixel = 1; break;
            case 15: FIOParams->BitsPerSample = 5, FIOParams->SamplesPerPixel = 3; break;
            case 16:
            case 24:
            case 32: FIOParams->BitsPerSample = 8, FIOParams->SamplesPerPixel = 3; break;
            default: break;
          }
          FIOParams->SetDpiX(DefaultDpiX);
          FIOParams->SetDpiY(DefaultDpiY);
          FIOParams->Width = FIOParams->OriginalWidth = Dib->Width();
          FIOParams->Height = FIOParams->OriginalHeight = Dib->Height();
          FIOParams->FreePalette();
          NotifyImageChanged();
          Loaded = true;
        }
      }
    }
    if (!Loaded) AbortFlag = 1;
  } catch (...) {
    AbortFlag = 1;
    NotifyFinishWork();
    throw;
  }
  NotifyFinishWork();
}

void TImagingIO::CloseAviFile() {
  if (FAviFile == nullptr) return;
  AVIStreamGetFrameClose(FAviFrames);
  AVIStreamRelease(FAviStream);
  AVIFileRelease(FAviFile);
  FAviFrames = nullptr;
  FAviStream = nullptr;
  FAviFile = nullptr;
}

}  // namespace zv
