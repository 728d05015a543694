#include "app/gif_maker.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>

#include "app/gif_pipeline.h"
#include "ffmpeg/decoder.h"
#include "imaging/core/bitmap.h"
#include "imaging/core/iedefs.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "imaging/proc/imaging_proc.h"
#include "imaging/view/imaging_view.h"
#include "platform/graphics.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {

TGifSize GifSizeForPreset(int32_t PresetIndex, int32_t PresetCount, int32_t VideoWidth, int32_t VideoHeight,
                          int32_t CustomWidth, int32_t CustomHeight, int32_t CustomMode) {
  TGifSize Size;
  if (PresetIndex == PresetCount - 1) {
    Size.Width = CustomWidth;
    Size.Height = CustomHeight;
    Size.ResizeMode = CustomMode;
    return Size;
  }
  const long double k = static_cast<long double>(PresetIndex) + 1;
  Size.Width = static_cast<int32_t>(Round(VideoWidth / k));
  Size.Height = static_cast<int32_t>(Round(VideoHeight / k));
  Size.ResizeMode = PresetIndex == 0 ? GifResizeKeep : GifResizeStretch;
  return Size;
}

double SpeedFactorFromText(const std::string& Text) {
  const std::string Number = Text.empty() ? Text : Text.substr(0, Text.size() - 1);
  long double Speed = StrToFloatDef(Number, 100);
  // A zero or negative speed would give an endless or negative delay.
  if (!(Speed > 0)) Speed = 100;
  return static_cast<double>(100 / Speed);
}

// ---- Delays -------------------------------------------------------------------------------------

// The products and quotients are formed in extended precision and the carry is stored as a double
// after every change: that is what makes 30 frames per second come out as 3, 3, 4.
TGifDelayClock::TGifDelayClock(double FrameDuration, double SpeedFactor)
    : FFrameDuration(FrameDuration), FSpeedFactor(SpeedFactor), FCarry(-FrameDuration) {}

void TGifDelayClock::FrameDecoded() {
  FCarry = static_cast<double>(static_cast<long double>(FCarry) + FFrameDuration);
}

int32_t TGifDelayClock::TakeDelay() {
  const int32_t Delay = static_cast<int32_t>(Trunc(static_cast<long double>(FCarry) * 100 * FSpeedFactor));
  FCarry = static_cast<double>(static_cast<long double>(FCarry) - static_cast<long double>(Delay) / 100 / FSpeedFactor);
  return Delay;
}

int32_t TGifDelayClock::LastDelay() {
  FrameDecoded();
  return static_cast<int32_t>(Round(static_cast<long double>(FCarry) * 100 * FSpeedFactor));
}

// ---- Progress -----------------------------------------------------------------------------------

TGifProgressRange::TGifProgressRange(int64_t Base, int64_t EndMark) : FBase(Base), FSpan(0), FStep(1), FTotalParts(0) {
  // An end mark before the base (or unset) leaves nothing to count.
  if (EndMark > Base) FSpan = EndMark - Base;
  constexpr int64_t Limit = std::numeric_limits<int32_t>::max();
  if (FSpan > Limit) FStep = (FSpan + Limit - 1) / Limit;
  FTotalParts = static_cast<int32_t>(FSpan / FStep);
}

int32_t TGifProgressRange::PartsAt(int64_t Pts) const {
  // A picture without a time stamp, or one before the base, has made no progress.
  if (Pts <= FBase) return 0;
  const int64_t Done = std::min(Pts - FBase, FSpan);
  return static_cast<int32_t>(std::min<int64_t>(Done / FStep, FTotalParts));
}

// ---- One frame ----------------------------------------------------------------------------------

void ResizeGifFrame(TImagingView* View, int32_t Width, int32_t Height, int32_t Mode) {
  if (Mode < GifResizeStretch || Mode > GifResizeCut) return;
  TIEBitmap* Image = View->IEBitmap();
  const double x = static_cast<double>(Image->GetWidth()) / Width;
  const double y = static_cast<double>(Image->GetHeight()) / Height;
  TImagingProc* Proc = View->Proc();
  switch (Mode) {
    case GifResizeStretch:
      Proc->Resample(Width, Height, rfFastLinear);
      break;
    case GifResizeFit:
      if (x > y)
        Proc->Resample(Width, -1, rfFastLinear);
      else
        Proc->Resample(-1, Height, rfFastLinear);
      Proc->ImageResize(Width, Height, 1, 1, 0);
      break;
    case GifResizeCut:
      if (x > y)
        Proc->Resample(-1, Height, rfFastLinear);
      else
        Proc->Resample(Width, -1, rfFastLinear);
      Proc->ImageResize(Width, Height, 1, 1, 255);
      break;
  }
}

void LoadGifFrame(TImagingView* View, const TGifSettings& Settings, TBitmap* Bitmap, TMemoryStream* Work) {
  View->IO()->IOParams()->ClearMetadata();
  Work->SetPosition(0);
  Work->SetSize(0);
  Bitmap->SaveToStream(Work);
  Work->SetPosition(0);
  View->IO()->LoadBmpStream(Work);
  ResizeGifFrame(View, Settings.GifWriteWidth, Settings.GifWriteHeight, Settings.ResizeMode);
}

void SetGifFrameParams(TIOParamsVals* Params, const TGifSettings& Settings, int32_t Delay, bool AtEnd) {
  Params->BitsPerSample = Settings.PaletteBits;
  Params->SamplesPerPixel = 1;
  Params->GifTransparent = 0;
  Params->GifDelay = AtEnd && !Settings.Loop ? -1 : Delay;
  Params->GifScreenWidth = Settings.GifWriteWidth;
  Params->GifScreenHeight = Settings.GifWriteHeight;
}

void StoreGifFrame(TImagingView* View, const TGifSettings& Settings, int32_t Index, const TGifCodedFrame* Coded) {
  TImagingIO* IO = View->IO();
  // The system's reason for a failed write (a full disk, a file too large) is told with the failure.
  errno = 0;
  if (Index == 0) {
    if (Coded)
      IO->SaveGifFile(Settings.FileName, *Coded);
    else
      IO->SaveGifFile(Settings.FileName);
  } else {
    IO->IOParams()->SetImageIndex(Index);
    if (Coded)
      IO->InsertGifFrame(Settings.FileName, *Coded);
    else
      IO->InsertGifFrame(Settings.FileName);
  }
  // The component reports a write it could not finish only in its abort flag; going on would leave a
  // GIF with frames missing and the user told nothing.
  if (IO->AbortFlag != 0) {
    const int Reason = errno;
    throw EInOutError("Cannot write \"" + Settings.FileName + "\"" +
                      (Reason != 0 ? ": " + std::string(std::strerror(Reason)) : std::string()) + ".");
  }
}

void WriteGifFrame(TImagingView* View, const TGifSettings& Settings, int32_t Index, int32_t Delay, TBitmap* Bitmap,
                   bool AtEnd, TMemoryStream* Work) {
  TMemoryStream Own;
  LoadGifFrame(View, Settings, Bitmap, Work ? Work : &Own);
  SetGifFrameParams(View->IO()->IOParams(), Settings, Delay, AtEnd);
  StoreGifFrame(View, Settings, Index, nullptr);
}

// ---- The loop -----------------------------------------------------------------------------------

TGifLoopResult RunGifLoop(TFFDecoder* Decoder, TImagingView* View, const TGifSettings& Settings, int64_t StartMark,
                          int64_t EndMark, double FrameDuration, TBitmap* FrameBitmap, const TGifProgressRange& Range,
                          const TGifLoopHooks& Hooks) {
  TGifLoopResult Result;
  // Frames go through the pipeline, which codes them on workers and writes them in order; with one
  // thread each is written before the next is decoded.
  std::unique_ptr<TGifFramePipeline> Pipeline;
  if (Settings.Threads != 1) Pipeline = std::make_unique<TGifFramePipeline>(View, Settings, Settings.Threads);
  TMemoryStream Work;  // the BMP hand-over, kept from frame to frame
  auto Write = [&](int32_t Index, int32_t Delay, TBitmap* Bitmap, bool Last) {
    if (Pipeline)
      Pipeline->Add(Index, Delay, Bitmap, Last);
    else
      WriteGifFrame(View, Settings, Index, Delay, Bitmap, Last, &Work);
  };
  // The latest kept frame, held until the next kept frame tells how long it shows.
  auto Held = std::make_unique<TBitmap>();
  const int32_t FrameStep = std::max(Settings.FrameStep, 1);
  TGifDelayClock Clock(FrameDuration, Settings.SpeedFactor);
  int32_t i = -1;  // kept frames
  int64_t e = 1;   // decoded frames at or after the start mark
  bool AtEnd = false;
  while (!(Hooks.Cancelled && Hooks.Cancelled()) && !AtEnd) {
    if (Hooks.Progress) Hooks.Progress(Range.PartsAt(Decoder->CurrentPTS()));
    bool Kept = false;
    if (Decoder->CurrentPTS() >= StartMark) {
      if ((e - 1) % FrameStep == 0) {
        FrameBitmap->Assign(Held.get());
        Decoder->CopyToBitmap(Held.get());
        ++i;
        Kept = true;
      }
      ++e;
    }
    // A decoder that can read no further (the end of the stream, or a damaged file it cannot get past)
    // ends the clip; looking only at its end flag would spin on a file whose reads keep failing.
    const bool Decoded = Decoder->Decode();
    Clock.FrameDecoded();
    AtEnd = !Decoded || Decoder->Eof() || Decoder->CurrentPTS() > EndMark;
    if (Kept && i >= 1) {
      Write(i - 1, Clock.TakeDelay(), FrameBitmap, false);
      ++Result.FramesWritten;
    }
  }
  if (i >= 0) {
    Write(i, Clock.LastDelay(), Held.get(), AtEnd);
    ++Result.FramesWritten;
  }
  if (Pipeline) Pipeline->Finish();
  Result.ReachedEnd = AtEnd;
  return Result;
}

}  // namespace zv
