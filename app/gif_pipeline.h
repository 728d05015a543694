// The frames of a conversion on their way into the GIF: each is handed to the hidden view and scaled on
// the calling thread, reduced to its palette and LZW-coded on a worker thread, and written to the file
// by the calling thread strictly in order. The file gets the same bytes as when each frame is written
// before the next is decoded.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "app/gif_maker.h"
#include "imaging/io/gif_writer.h"
#include "platform/streams.h"

namespace zv {

class TBitmap;
class TIEBitmap;
class TIEThreadPool;
class TImagingView;

class TGifFramePipeline {
public:
  // Threads workers (0: one per processor core); at most two frames per worker wait or are coded at
  // once, so memory does not grow with the clip.
  TGifFramePipeline(TImagingView* View, const TGifSettings& Settings, int32_t Threads);
  // Stops the workers; frames not yet written are dropped.
  ~TGifFramePipeline();
  TGifFramePipeline(const TGifFramePipeline&) = delete;
  TGifFramePipeline& operator=(const TGifFramePipeline&) = delete;

  // Frame Index (0, 1, 2 ...) as WriteGifFrame takes it: loaded and scaled at once, coded on a worker.
  // Writes the frames already coded first, and waits for the oldest when the pipeline is full. Raises
  // what writing an earlier frame raised; nothing is written after that.
  void Add(int32_t Index, int32_t Delay, TBitmap* Bitmap, bool AtEnd);
  // Writes every frame still in flight, in order.
  void Finish();

  int32_t Workers() const { return FWorkers; }

private:
  struct TJob {
    int32_t Index = 0;
    int32_t Delay = 0;
    bool AtEnd = false;
    std::unique_ptr<TIEBitmap> Image;  // the scaled frame, the worker's own copy
    TGifFrameOptions Options;
    TGifCodedFrame Frame;
    bool Taken = false;
    bool Done = false;
    std::exception_ptr Error;
  };
  class TWorker;

  void Work();
  // Writes the oldest frame once it is coded (waiting for it when Wait); false when it is not coded.
  bool WriteOldest(bool Wait);
  void Stop();

  TImagingView* FView;
  TGifSettings FSettings;
  int32_t FWorkers = 1;
  size_t FMaxInFlight = 2;
  TMemoryStream FWork;  // the BMP hand-over, kept from frame to frame
  std::mutex FLock;
  std::condition_variable FJobAdded;
  std::condition_variable FJobDone;
  std::deque<std::unique_ptr<TJob>> FJobs;             // in frame order; guarded by FLock
  std::vector<std::unique_ptr<TIEBitmap>> FSpareImages;  // copies kept for later frames
  bool FStopping = false;
  bool FFailed = false;
  std::unique_ptr<TIEThreadPool> FPool;
};

}  // namespace zv
