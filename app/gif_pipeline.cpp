#include "app/gif_pipeline.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/bitmap.h"
#include "imaging/core/sys_probes.h"
#include "imaging/core/thread_pool.h"
#include "imaging/io/imaging_io.h"
#include "imaging/view/imaging_view.h"
#include "platform/graphics.h"
#include "platform/sysutils.h"
#include "platform/threads.h"

namespace zv {

namespace {

// Copies the view's image (rows, palette, alpha channel) into a bitmap in memory that only a worker
// reads; a copy of the same size and format keeps its storage.
void CopyFrameImage(TIEBitmap* Source, TIEBitmap* Copy) {
  const int32_t W = Source->GetWidth(), H = Source->GetHeight();
  const TIEPixelFormat Format = Source->GetPixelFormat();
  if (!Copy->Allocate(W, H, Format)) throw EOutOfMemory("Out of memory for a frame of the GIF");
  const size_t Bytes = (size_t(W) * size_t(Source->GetBitCount()) + 7) / 8;
  {
    const TIEDataAccess Saved = Source->Access();
    Source->SetAccess(iedRead);
    for (int32_t y = 0; y < H; ++y) std::memcpy(Copy->GetScanline(y), Source->GetScanline(y), Bytes);
    Source->SetAccess(Saved);
  }
  if (Format == ie8p) Source->CopyPaletteTo(Copy);
  if (!Source->HasAlphaChannel()) {
    Copy->RemoveAlphaChannel(false, clWhite);
    return;
  }
  TIEBitmap* Alpha = Source->GetAlphaChannel();
  TIEBitmap* AlphaCopy = Copy->GetAlphaChannel();
  if (!AlphaCopy->Allocate(W, H, ie8g)) throw EOutOfMemory("Out of memory for a frame of the GIF");
  for (int32_t y = 0; y < H; ++y) std::memcpy(AlphaCopy->GetScanline(y), Alpha->GetScanline(y), size_t(W));
}

}  // namespace

class TGifFramePipeline::TWorker : public TThread {
public:
  explicit TWorker(TGifFramePipeline* Owner) : TThread(true), FOwner(Owner) {}

protected:
  void Execute() override { FOwner->Work(); }

private:
  TGifFramePipeline* FOwner;
};

TGifFramePipeline::TGifFramePipeline(TImagingView* View, const TGifSettings& Settings, int32_t Threads)
    : FView(View), FSettings(Settings) {
  FWorkers = std::clamp(Threads > 0 ? Threads : ProcessorCoreCount(), 1, 64);
  // One frame being coded by each worker and two waiting: the workers never wait for the loop while
  // it writes, and memory stays a few frames.
  FMaxInFlight = size_t(FWorkers) + 2;
  FPool = std::make_unique<TIEThreadPool>();
  try {
    for (int32_t i = 0; i < FWorkers; ++i) FPool->Add(new TWorker(this));
  } catch (...) {
    Stop();
    throw;
  }
}

TGifFramePipeline::~TGifFramePipeline() {
  try {
    Stop();
  } catch (...) {
  }
}

void TGifFramePipeline::Stop() {
  {
    std::lock_guard<std::mutex> Guard(FLock);
    FStopping = true;
  }
  FJobAdded.notify_all();
  FPool->WaitAll();
}

void TGifFramePipeline::Work() {
  for (;;) {
    TJob* Job = nullptr;
    {
      std::unique_lock<std::mutex> Guard(FLock);
      FJobAdded.wait(Guard, [&] {
        if (FStopping) return true;
        for (const auto& J : FJobs)
          if (!J->Taken) {
            Job = J.get();
            return true;
          }
        return false;
      });
      if (FStopping) return;
      Job->Taken = true;
    }
    try {
      GifCodeFrame(Job->Image.get(), Job->Options, Job->Index > 0, Job->Frame);
    } catch (...) {
      Job->Error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> Guard(FLock);
      Job->Done = true;
    }
    FJobDone.notify_all();
  }
}

bool TGifFramePipeline::WriteOldest(bool Wait) {
  std::unique_ptr<TJob> Job;
  {
    std::unique_lock<std::mutex> Guard(FLock);
    if (FJobs.empty()) return false;
    TJob* Oldest = FJobs.front().get();
    if (!Oldest->Done) {
      if (!Wait) return false;
      FJobDone.wait(Guard, [&] { return Oldest->Done; });
    }
    Job = std::move(FJobs.front());
    FJobs.pop_front();
  }
  if (Job->Error) {
    FFailed = true;
    std::rethrow_exception(Job->Error);
  }
  // The parameters are the frame's own again, as the loading of later frames left them.
  SetGifFrameParams(FView->IO()->IOParams(), FSettings, Job->Delay, Job->AtEnd);
  try {
    StoreGifFrame(FView, FSettings, Job->Index, &Job->Frame);
  } catch (...) {
    FFailed = true;
    throw;
  }
  FSpareImages.push_back(std::move(Job->Image));
  return true;
}

void TGifFramePipeline::Add(int32_t Index, int32_t Delay, TBitmap* Bitmap, bool AtEnd) {
  if (FFailed) return;
  while (WriteOldest(false)) {
  }
  while (FJobs.size() >= FMaxInFlight) WriteOldest(true);

  LoadGifFrame(FView, FSettings, Bitmap, &FWork);
  TIOParamsVals* Params = FView->IO()->IOParams();
  SetGifFrameParams(Params, FSettings, Delay, AtEnd);
  auto Job = std::make_unique<TJob>();
  Job->Index = Index;
  Job->Delay = Delay;
  Job->AtEnd = AtEnd;
  Job->Options = GifFrameOptions(*Params);
  if (!FSpareImages.empty()) {
    Job->Image = std::move(FSpareImages.back());
    FSpareImages.pop_back();
  } else {
    Job->Image = std::make_unique<TIEBitmap>();
    Job->Image->SetLocation(ieInMemory);
  }
  CopyFrameImage(FView->IEBitmap(), Job->Image.get());
  {
    std::lock_guard<std::mutex> Guard(FLock);
    FJobs.push_back(std::move(Job));
  }
  FJobAdded.notify_one();
}

void TGifFramePipeline::Finish() {
  if (FFailed) return;
  while (WriteOldest(true)) {
  }
}

}  // namespace zv
