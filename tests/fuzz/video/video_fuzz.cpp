// A video from outside bytes, opened as a file through the decoder component as the program's Open does:
// the file's and the video stream's information, the first frames decoded and copied to a bitmap, one
// step back. The FFmpeg libraries are loaded once, by their system names.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/main_window.h"
#include "ffmpeg/decoder.h"
#include "ffmpeg/ff_load.h"
#include "platform/graphics.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

namespace {

// How many frames the program's preview decodes in a few steps forward.
constexpr int FramesForward = 4;

void Play(TFFDecoder& Decoder) {
  TVideoStreamInfo Info;
  if (Decoder.VideoStreamCount() > 0) Decoder.GetVideoStreamInfo(Info);
  if (ClassifyOpenedFile(Decoder.GetInputFormatName(), Decoder.VideoStreamCount(), Decoder.AudioStreamCount(),
                         Info.FrameRate.num, Info.FrameRate.den) != OpenVideo)
    return;
  TFileStreamInfo File;
  Decoder.GetFileInfo(File);
  TBitmap Frame;
  Frame.SetPixelFormat(pf32bit);
  for (int n = 0; n < FramesForward && Decoder.Decode(); ++n) Decoder.CopyToBitmap(&Frame);
  if (Decoder.DecodePreviousFrame()) Decoder.CopyToBitmap(&Frame);
  if (Decoder.Decode()) Decoder.CopyToBitmap(&Frame);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  static const bool Loaded = FFLoader().LoadLibs(DecoderLibraries);
  fuzz::Expect(Loaded, "the FFmpeg libraries do not load");
  // FFmpeg allocates a table whole from its declared count (a 2 KB MP4 may declare 100 million chunk
  // offsets). Untouched, those pages cost nothing outside the sanitizers, whose shadow of them takes
  // seconds a file; here FFmpeg's own allocations above 256 MB fail instead.
  static const bool Bounded = (zv::av_max_alloc(size_t(256) << 20), true);
  (void)Bounded;
  const std::string Path = fuzz::TempPath("video");
  if (!fuzz::WriteFile(Path, Data, Size)) return 0;
  {
    TFFDecoder Decoder(nullptr);
    fuzz::AsTheApplication([&] {
      if (Decoder.OpenFile(Path)) Play(Decoder);
      Decoder.CloseFile();
    });
  }
  std::remove(Path.c_str());
  return 0;
}
