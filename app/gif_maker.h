// The conversion of a video stretch to an animated GIF, apart from the window that drives it: the
// options the Save command collects, the delay of each kept frame, the scaling of a frame to the GIF
// size, the writing of one frame through a hidden image view, and the loop over the decoder's frames.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zv {

class TBitmap;
class TFFDecoder;
class TImagingView;
class TIOParamsVals;
class TMemoryStream;
struct TGifCodedFrame;

// How a frame is brought to the GIF size.
constexpr int32_t GifResizeStretch = 0;
constexpr int32_t GifResizeFit = 1;  // scaled inside, transparent bars around
constexpr int32_t GifResizeCut = 2;  // scaled to cover, the overflow cropped
constexpr int32_t GifResizeKeep = 3; // the frame as decoded

// The parameters fixed by the Save command before the loop starts.
struct TGifSettings {
  std::string FileName;
  int32_t GifWriteWidth = 0;
  int32_t GifWriteHeight = 0;
  int32_t ResizeMode = GifResizeKeep;
  int32_t FrameStep = 1;    // keep every FrameStep-th decoded frame
  int32_t PaletteBits = 8;  // 2..8
  bool Loop = true;
  double SpeedFactor = 1.0; // 100 / speed percent; multiplies every delay
  // Worker threads that reduce frames to palettes and code them while the loop decodes the next ones:
  // 1 does everything on the calling thread, 0 takes one per processor core. The GIF is the same bytes.
  int32_t Threads = 0;
};

struct TGifSize {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t ResizeMode = GifResizeKeep;
};

// The GIF size of the size list's item PresetIndex (of PresetCount items, the last one "Custom", the
// others the video's size divided by index + 1, the first one kept unscaled). Custom takes the custom
// inputs and the resize choice as they are.
TGifSize GifSizeForPreset(int32_t PresetIndex, int32_t PresetCount, int32_t VideoWidth, int32_t VideoHeight,
                          int32_t CustomWidth, int32_t CustomHeight, int32_t CustomMode);

// The speed factor of a speed item such as "200%": 100 / the number before the last character; a text
// that is not a positive number counts as 100%.
double SpeedFactorFromText(const std::string& Text);

// The clip time not yet given to a written frame, in seconds. Each kept frame is written one frame late,
// when the time up to the next kept frame is known: its delay is that time in whole hundredths of a
// second (scaled by the speed factor), and the fraction cut off is carried into the next delay.
class TGifDelayClock {
public:
  TGifDelayClock(double FrameDuration, double SpeedFactor);
  // One more frame duration of clip time has passed.
  void FrameDecoded();
  // The delay of a frame written in the middle of the clip (cut to whole hundredths).
  int32_t TakeDelay();
  // The delay of the last frame: one more frame duration plus the carry, rounded.
  int32_t LastDelay();
  double Carry() const { return FCarry; }

private:
  double FFrameDuration;
  double FSpeedFactor;
  double FCarry;
};

// Maps clip time onto the progress bar's 32-bit parts: microseconds from Base while the stretch fits,
// else coarser steps, so that a clip of any length runs from 0 to 100 percent.
class TGifProgressRange {
public:
  TGifProgressRange(int64_t Base, int64_t EndMark);
  int32_t TotalParts() const { return FTotalParts; }
  int32_t PartsAt(int64_t Pts) const;

private:
  int64_t FBase;
  int64_t FSpan;
  int64_t FStep;
  int32_t FTotalParts;
};

// Scales the view's image to Width x Height by Mode (stretch, fit, cut; keep or any other leaves it).
void ResizeGifFrame(TImagingView* View, int32_t Width, int32_t Height, int32_t Mode);

// Writes Bitmap as frame Index of the settings' GIF through the view: index 0 creates the file, later
// ones are inserted. The delay is in hundredths of a second; the last frame (AtEnd) of a GIF without
// Loop waits 65535. Raises when the file cannot be written. Work, when given, is the stream of the BMP
// hand-over, kept by the caller from frame to frame.
void WriteGifFrame(TImagingView* View, const TGifSettings& Settings, int32_t Index, int32_t Delay,
                   TBitmap* Bitmap, bool AtEnd, TMemoryStream* Work = nullptr);

// The steps of WriteGifFrame. LoadGifFrame hands Bitmap to the view as a BMP in the memory stream Work
// and scales it to the GIF size; SetGifFrameParams sets the frame's palette bits, delay and logical
// screen; StoreGifFrame writes the view's image, or Coded when given (a frame coded beforehand from
// the view's image with the same settings), and raises when the file cannot be written.
void LoadGifFrame(TImagingView* View, const TGifSettings& Settings, TBitmap* Bitmap, TMemoryStream* Work);
void SetGifFrameParams(TIOParamsVals* Params, const TGifSettings& Settings, int32_t Delay, bool AtEnd);
void StoreGifFrame(TImagingView* View, const TGifSettings& Settings, int32_t Index, const TGifCodedFrame* Coded);

// What the window gives the loop.
struct TGifLoopHooks {
  // Once per decoded frame, with the progress in parts of Range; pumps the window's messages.
  std::function<void(int32_t Parts)> Progress;
  // True once the user confirmed Cancel (or the window is closing).
  std::function<bool()> Cancelled;
};

struct TGifLoopResult {
  int32_t FramesWritten = 0;
  bool ReachedEnd = false;  // the clip ran to its end mark or to the end of the stream
};

// The conversion loop over a decoder already placed on the first frame at or after StartMark: keeps
// every FrameStep-th frame from StartMark on, writes each with its delay, and stops after EndMark, at the
// end of the stream, when the decoder fails, or on Cancel. FrameBitmap receives each frame being written.
// FrameDuration is one video frame in seconds.
TGifLoopResult RunGifLoop(TFFDecoder* Decoder, TImagingView* View, const TGifSettings& Settings, int64_t StartMark,
                          int64_t EndMark, double FrameDuration, TBitmap* FrameBitmap, const TGifProgressRange& Range,
                          const TGifLoopHooks& Hooks);

}  // namespace zv
