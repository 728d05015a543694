// Entry points of the image processing library that the core and the I/O component call. The
// processing library sits above them, so it installs its routines here when the library starts;
// until then every hook is empty and a call through it does nothing and reports failure, which the
// caller turns into its own kind of failure (a false result, an empty bitmap).
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "imaging/core/iedefs.h"
#include "platform/types.h"

namespace zv {

class TBitmap;
class TIEBitmap;
class TIEDibbitmap;

struct TProcessingHooks {
  // The processing library's start-up and shut-down steps.
  std::function<void()> ProcessingStartup;
  std::function<void()> ProcessingShutdown;

  // ---- Conversions and copies ----------------------------------------------------------------------
  // Dest := an ie1g image of Source by a grey threshold (-1 average grey, -2 maximum entropy).
  std::function<void(TIEBitmap* Source, TIEBitmap* Dest, int32_t Threshold, TIEProgressRecord& Progress)>
      ThresholdToBW;
  // An ie24RGB bitmap to ie1g in place by 8 x 8 ordered dithering.
  std::function<void(TIEBitmap* Bitmap, TIEProgressRecord& Progress)> ConvertToBWOrdered;
  // An ie24RGB bitmap to ie1g in place by ThresholdToBW.
  std::function<void(TIEBitmap* Bitmap, int32_t Threshold, TIEProgressRecord& Progress)> ConvertToBWThreshold;
  // Dest := a 24-bit copy of a 1-bit TBitmap, set bits white.
  std::function<void(TBitmap* Source, TBitmap* Dest, TIEProgressRecord& Progress)> ExpandBWTBitmapTo24;
  // A new ie1g bitmap when Source holds exactly two colours (Color0 the darker), else nullptr. The
  // caller frees the result.
  std::function<TIEBitmap*(TIEBitmap* Source, TIERGB24& Color0, TIERGB24& Color1)> MakeTwoColorBitmap;
  std::function<void(TIEBitmap* Bitmap)> InvertBitmapBits;
  // Index of the first entry nearest to Color by the sum of channel differences; 0 for Count 0.
  std::function<int32_t(const TIERGB24* Palette, int32_t Count, TIERGB24 Color)> NearestPaletteIndex;
  // A new TBitmap of the same size, format and pixels; the caller frees it.
  std::function<TBitmap*(TBitmap* Source)> CloneTBitmap;
  std::function<void(TBitmap* Source, TBitmap* Dest)> CopyTBitmap;
  // Copies BitCount bits between packed 1-bit rows, keeping the other destination bits.
  std::function<void(uint8_t* Dest, const uint8_t* Source, int32_t DestBit, int32_t SourceBit,
                     int32_t BitCount, int32_t SourceSize)>
      CopyBits;
  // Direction 0 mirrors left to right, 1 top to bottom; the alpha channel follows.
  std::function<void(TIEBitmap* Bitmap, int32_t Direction)> FlipBitmap;
  // Rotates an ie24RGB bitmap by Angle degrees counter-clockwise, filling new area with Background.
  std::function<void(TIEBitmap* Bitmap, bool AntiAlias, TObject* Sender, const TIEProgressEvent& OnProgress,
                     TColor Background, double Angle)>
      RotateRGB24;
  std::function<void(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, double Radius, int32_t Y2, int32_t X2)>
      GaussianBlurGray8;
  std::function<void(void* Buffer, int32_t Count)> SwapRedBlue24;
  std::function<void(void* Dest, const void* Source, int32_t Count)> CopySwapRedBlue24;
  std::function<void(void* Buffer, int32_t Count)> SwapRedBlue48;
  // DIB is a packed DIB when IsPointer, else a global memory handle.
  std::function<void(void* DIB, TIEBitmap* Dest, void* Bits, bool IsPointer)> CopyDIBToIEBitmap;
  // A movable global block with a packed DIB of the rectangle (all 0: the whole bitmap), or nullptr.
  std::function<void*(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DpiX,
                      int32_t DpiY)>
      CopyBitmapToDIBEx;
  // Returns the DIB's bit count.
  std::function<int32_t(void* DIB, TIEDibbitmap* Dest, void* Bits, bool IsPointer)> DrawDIBToDibbitmap;

  // ---- Resampling --------------------------------------------------------------------------------------
  std::function<void(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter, const TIEProgressEvent& OnProgress,
                     TObject* Sender)>
      ResampleFiltered;
  std::function<TIEBitmap*(TIEBitmap* Source, TIEBitmap* Dest, const TIEProgressEvent& OnProgress, TObject* Sender)>
      ResampleNearest;
  std::function<void(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter)> ResampleGray8;
  std::function<void(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter)> ResampleBW;
  // Area average of a 1-bit rectangle (X1, Y1)-(X2, Y2) of Source into an ie24RGB Dest.
  std::function<void(TIEBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TIEBitmap* Dest)>
      ShrinkBWToGray;

  // ---- Colour models -----------------------------------------------------------------------------------
  std::function<void(double& H, double& S, double& L, TIERGB24 Color)> RGBToHSL;
  std::function<void(TIERGB24& Dest, double H, double S, double L)> HSLToRGB;
};

// The hooks in force; the processing library fills them at start-up and empties them at shut-down.
extern TProcessingHooks ProcessingHooks;

// Calls a hook without a result; false when none is installed (nothing was done).
template <class... Params, class... Args>
bool RunHook(const std::function<void(Params...)>& Hook, Args&&... args) {
  if (!Hook) return false;
  Hook(std::forward<Args>(args)...);
  return true;
}

// Calls a hook with a result; Failed when none is installed.
template <class R, class... Params, class... Args>
R RunHookOr(const std::function<R(Params...)>& Hook, R Failed, Args&&... args) {
  if (!Hook) return Failed;
  return Hook(std::forward<Args>(args)...);
}

}  // namespace zv
