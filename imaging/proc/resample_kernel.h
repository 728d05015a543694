// The filtered resamplers: separable kernel filters in integer weights (both passes of 24-bit images
// spread over the calling thread and worker threads), their one-channel and 1-bit forms, and the
// area-coverage resamplers behind the bilinear and bicubic filters.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/iedefs.h"
#include "imaging/core/thread_pool.h"
#include "imaging/core/work_bitmap.h"
#include "platform/threads.h"

namespace zv {

// ---- Kernels ---------------------------------------------------------------------------------------------

double TriangleKernel(double X);
double HermiteKernel(double X);
double BellKernel(double X);
double BSplineKernel(double X);
double SincKernel(double X);
double Lanczos3Kernel(double X);
double MitchellKernel(double X);
double BoxKernel(double X);
double LinearKernel(double X);

using TResampleKernel = double (*)(double X);

// The kernel and its support for rfTriangle ... rfLinear; false for any other filter.
bool ResampleKernelOf(TResampleFilter Filter, TResampleKernel& Kernel, double& Support);

// ---- Contributor lists -------------------------------------------------------------------------------------

// One source pixel's share of a destination pixel, in 1/256.
struct TResampleContributor {
  int32_t Pixel;
  int32_t Weight;
};

// For each destination column (or row) its non-zero contributors, their source indices mirrored at
// the edges and clamped into the source, and the sum of their weights, which is never 0: a list whose
// weights all round to 0 in 1/256 (a reduction by some hundreds to one) is weighted more finely.
struct TResampleContributors {
  std::vector<int32_t> First;  // DestSize + 1 offsets into Items
  std::vector<TResampleContributor> Items;
  std::vector<int32_t> Total;

  int32_t Count(int32_t Index) const { return First[size_t(Index) + 1] - First[size_t(Index)]; }
  const TResampleContributor* Of(int32_t Index) const { return Items.data() + First[size_t(Index)]; }
};

// The lists of one axis; the scale maps first onto first and last onto last pixel. Empty for a filter
// without a kernel or an empty size.
TResampleContributors BuildContributors(int32_t SourceSize, int32_t DestSize, TResampleFilter Filter);

// ---- Worker threads ----------------------------------------------------------------------------------------

// Both passes of a 24-bit kernel resample split their rows into one band per worker (TIERowBands): the
// calling thread works band 0 and reports progress, each worker thread one other band, and a worker done
// with its band helps with the rest of the others'. The same workers take the vertical pass once every
// row of the horizontal pass is finished.

// What every worker of the vertical pass shares: the filled work bitmap, read only, and the rows of the
// destination, of which each worker writes those it takes.
struct TResampleVertShared {
  int32_t RowBytes = 0;  // destination width x 3
  int32_t SourceHeight = 0;
  const TResampleContributors* Contributors = nullptr;  // per destination row
  const TIEWorkBitmap* Work = nullptr;
  // Row pointers taken on the calling thread, so that no worker asks the destination bitmap for a row;
  // nullptr for a file-kept destination, which has one band, worked by the calling thread asking Dest
  // for each row as it goes.
  uint8_t* const* DestRows = nullptr;
  TIEBitmap* Dest = nullptr;
  TIERowBands* Bands = nullptr;  // destination rows
};

// What every worker of a resample shares; the workers only read it, and each writes only the rows of
// Work, and then of the destination, that it takes.
struct TResampleHorizShared {
  int32_t DestWidth = 0;
  const TResampleContributors* Contributors = nullptr;
  TIEBitmap* Source = nullptr;  // ie24RGB
  TIEWorkBitmap* Work = nullptr;  // DestWidth x source height, 24 bits
  TIERowBands* Bands = nullptr;  // source rows
  // The vertical pass the workers go on with.
  const TResampleVertShared* Vert = nullptr;
  double PercentFactor = 0;
  TIEProgressEvent OnProgress;
  TObject* Sender = nullptr;
};

// The worker of one band other than the first.
class TResampleHorizThread : public TThread {
public:
  // Created suspended.
  TResampleHorizThread(const TResampleHorizShared& Shared, int32_t ThreadIndex);
  ~TResampleHorizThread() override;

protected:
  void Execute() override;

private:
  TResampleHorizShared FShared;
  int32_t FThreadIndex;
};

// ---- Resamplers --------------------------------------------------------------------------------------------

// Routes a source of any format by filter (grey and 24-bit data as they are, 16 and 48-bit data to
// the area-coverage resamplers, everything else through a 24-bit copy, giving ie24RGB) and runs the
// kernel filters. Dest is allocated at the new size. An empty source, or one of a single pixel, leaves
// Dest as it is.
void ResampleFiltered(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter, TObject* Sender,
                      const TIEProgressEvent& OnProgress);
// Kernel filters on one byte per pixel (grey images, alpha channels), on the calling thread; the
// linear and projection filters go to ResampleFastLinear8. No progress. The kernel filters leave Dest
// as it is for a source of a single pixel, as ResampleFiltered does.
void ResampleGray8(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter);
// Kernel filters on the bits of an ie1g Source (of more than one pixel), giving grey in the ie24RGB
// Dest. No progress.
void ResampleBWKernel(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter);

// Area coverage with samples taken by linear (Bicubic 0) or cubic (Bicubic 1) interpolation inside each
// covered piece. ResampleSmooth8or24 serves ie24RGB and ie8g, ResampleSmooth16or48 ieRGB48 and ieGray16;
// other formats are left alone.
void ResampleSmooth8or24(TIEBitmap* Source, TIEBitmap* Dest, int32_t Bicubic, TObject* Sender,
                         const TIEProgressEvent& OnProgress);
void ResampleSmooth16or48(TIEBitmap* Source, TIEBitmap* Dest, int32_t Bicubic, TObject* Sender,
                          const TIEProgressEvent& OnProgress);

// Cubic convolution (a = -1) through samples at -1, 0, 1 and 2, at T in 0 ... 1, clamped to Min ... Max.
double CubicInterpolate(double P0, double P1, double P2, double P3, double T, double Min, double Max);

}  // namespace zv
