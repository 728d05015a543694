// The FFmpeg front component: owns the decoder the application uses, loads the FFmpeg libraries, keeps
// the queue of transcoding tasks and raises their hook, preview, progress and end events under its own
// locks, in the main thread when asked to.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ffmpeg/base_component.h"
#include "ffmpeg/decoder.h"
#include "platform/threads.h"

namespace zv {

class TBitmap;
struct TAVPicture;

// A transcoding task as the encoder sees it; the transcoding engine's task class derives from it.
class TEncoderTask : public TObject {
public:
  // Bit 0: preview pictures, bit 1: preview bitmaps.
  virtual int32_t PreviewFlags() const = 0;
  virtual void SetPreviewFlags(int32_t Value) = 0;
  virtual void SetProgressInterval(int64_t Microseconds) = 0;
  // Runs the task to its end on the calling thread.
  virtual void Run() = 0;
  // Runs the task on a thread of its own with that priority.
  virtual void StartThread(TThreadPriority Priority) = 0;
  // True when the task ran to its end without being broken off.
  virtual bool Completed() const = 0;
  // An exception ended the task, with that message.
  virtual bool ExceptionRaised() const = 0;
  virtual std::string ExceptionMessage() const = 0;
};

// The tasks of an encoder, owned by the list.
class TFFmpegList : public TObject {
public:
  ~TFFmpegList() override { Clear(); }
  int32_t Count() const { return int32_t(FItems.size()); }
  TEncoderTask* Items(int32_t Index) const { return FItems.at(size_t(Index)).get(); }
  int32_t IndexOf(const TEncoderTask* Task) const;
  // Takes ownership; returns the task's index.
  int32_t Add(TEncoderTask* Task);
  void Clear() { FItems.clear(); }
  void SetPreview(bool On) { SetPreviewBit(1, On); }
  void SetPreviewBitmap(bool On) { SetPreviewBit(2, On); }

private:
  void SetPreviewBit(int32_t Bit, bool On);
  std::vector<std::unique_ptr<TEncoderTask>> FItems;
};

struct TProgressInfo {
  int32_t TaskIndex = 0;
  int32_t Values32[5] = {};
  int64_t Values64[3] = {};
};
using PProgressInfo = TProgressInfo*;

struct TTerminateInfo {
  int32_t TaskIndex = 0;
  bool Finished = false;   // the task ran to its end without being broken off
  bool Exception = false;  // an exception ended it
  std::string ExceptionMsg;
};

struct TPreviewInfo {
  int32_t TaskIndex = 0;
  TBitmap* Bitmap = nullptr;
  int32_t FrameNumber = 0;
  int64_t PTS = 0;
};

struct THookInfo {
  int32_t TaskIndex = 0;
  TBitmap* Bitmap = nullptr;
  int32_t FrameNumber = 0;
  int64_t PTS = 0;
  // Handed back to the engine after the event, so the handler may change them.
  bool Update = false;
  bool StopHooking = false;
};
using PHookInfo = THookInfo*;

// From the transcoding engine: Values32 = height, 0, width, frame count, pixel format; Value64 = the
// time in microseconds; Picture = the picture's planes, which the handler may change in place.
struct TFrameHookInfo {
  int32_t TaskIndex = 0;
  int32_t Values32[5] = {};
  int64_t Value64 = 0;
  TAVPicture* Picture = nullptr;
};
using PFrameHookInfo = TFrameHookInfo*;

using TAudioHookEvent = std::function<void(TObject* Sender, int32_t ATaskIndex, const int64_t APTS, void* ASample,
                                           int32_t ASize, int32_t ASampleRate, int32_t AChannels, int32_t ASampleFormat)>;
using TVideoHookEvent = std::function<void(TObject* Sender, PHookInfo AHookInfo)>;
using TPreviewBitmapEvent = std::function<void(TObject* Sender, const TPreviewInfo& APreviewInfo)>;
using TProgressEvent = std::function<void(TObject* Sender, PProgressInfo AProgressInfo)>;
using TTerminateEvent = std::function<void(TObject* Sender, const TTerminateInfo& ATerminateInfo)>;
using TFrameHookEvent = std::function<void(TObject* Sender, PFrameHookInfo AHookInfo)>;

class TCustomEncoder : public TFFBaseComponent {
public:
  explicit TCustomEncoder(TComponent* AOwner);
  ~TCustomEncoder() override;

  bool AreLibrariesLoaded() const;
  // Loads every FFmpeg library from Folder (else by its system name); false with LastErrorMsg. At
  // design time true without loading.
  bool LoadLibraries(const std::string& Folder);
  void StartNextTask();

  // The engine's calls, with the task as first argument.
  virtual void DoVideoInputHook(TEncoderTask* Task, TBitmap* Bitmap, int32_t FrameNumber, int64_t PTS, bool& Update,
                                bool& StopHooking);
  virtual void DoVideoOutputHook(TEncoderTask* Task, TBitmap* Bitmap, int32_t FrameNumber, int64_t PTS, bool& Update,
                                 bool& StopHooking);
  virtual void DoFrameInputHook(TEncoderTask* Task, int32_t V1, int32_t V2, int32_t V3, int32_t V4, int32_t V5,
                                int64_t V6, TAVPicture* Picture = nullptr);
  virtual void DoFrameOutputHook(TEncoderTask* Task, int32_t V1, int32_t V2, int32_t V3, int32_t V4, int32_t V5,
                                 int64_t V6, TAVPicture* Picture = nullptr);
  virtual void DoPreviewBitmap(TEncoderTask* Task, TBitmap* Bitmap, int32_t FrameNumber, int64_t PTS);
  virtual void DoProgress(TEncoderTask* Task, const int32_t (&Values32)[5], const int64_t (&Values64)[3]);
  virtual void DoTaskTerminated(TEncoderTask* Task);
  void AllTasksTerminated();

  TFFDecoder* Decoder() const { return FDecoder.get(); }
  TFFmpegList& TaskList() { return *FTaskList; }
  const std::string& LastErrorMsg() const { return FLastErrorMsg; }

  bool Preview() const { return FPreview; }
  void SetPreview(bool Value);
  bool PreviewBitmap() const { return FPreviewBitmap; }
  void SetPreviewBitmap(bool Value);
  int32_t ProgressInterval() const { return FProgressInterval; }
  // At least 100 milliseconds.
  void SetProgressInterval(int32_t Value) { FProgressInterval = Value <= 100 ? 100 : Value; }
  TThreadPriority ThreadPriority() const { return FThreadPriority; }
  void SetThreadPriority(TThreadPriority Value) { FThreadPriority = Value; }
  bool TriggerEventInMainThread() const { return FTriggerEventInMainThread; }
  void SetTriggerEventInMainThread(bool Value) { FTriggerEventInMainThread = Value; }

  // Task bookkeeping, set by the engine's interface.
  int32_t FinishedTaskCount = 0;
  int32_t NextTaskIndex = -1;
  int32_t TasksToStart = 0;
  bool AllTasksFinished = false;
  bool RunTasksInThreads = false;
  // With RunTasksInThreads clear: the end event is called directly on the caller's thread.
  bool TerminateOnCallerThread = false;
  // Handshake with TDoTerminateThread: false while an end-of-task delivery is under way.
  std::atomic<bool> TerminateEventDone{true};

  TAudioHookEvent OnAudioInputHook;
  TAudioHookEvent OnAudioOutputHook;
  TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;
  TVideoHookEvent OnVideoInputHook;
  TVideoHookEvent OnVideoOutputHook;
  TPreviewBitmapEvent OnPreviewBitmap;
  TProgressEvent OnProgress;
  TTerminateEvent OnTerminate;
  TFrameHookEvent OnFrameInputHook;
  TFrameHookEvent OnFrameOutputHook;

  const TPropList& PublishedProps() const override;

private:
  void DoVideoHook(const TVideoHookEvent& Event, TEncoderTask* Task, TBitmap* Bitmap, int32_t FrameNumber, int64_t PTS,
                   bool& Update, bool& StopHooking);
  void DoFrameHook(const TFrameHookEvent& Event, TEncoderTask* Task, int32_t V1, int32_t V2, int32_t V3, int32_t V4,
                   int32_t V5, int64_t V6, TAVPicture* Picture);
  // Hands TerminateInfo to OnTerminate: on a TDoTerminateThread or directly.
  void DeliverTerminate(bool WaitForPrevious);

  std::string FLastErrorMsg;
  TProgressInfo FProgressInfo;
  TTerminateInfo FTerminateInfo;
  TPreviewInfo FPreviewInfo;
  THookInfo FHookInfo;
  TFrameHookInfo FFrameHookInfo;
  // Preview, progress, end of task, video hooks, frame hooks, and two for the engine.
  TCriticalSection FPreviewLock, FProgressLock, FTerminateLock, FVideoHookLock, FFrameHookLock, FAudioHookLock,
      FTaskLock;
  std::unique_ptr<TFFDecoder> FDecoder;
  std::unique_ptr<TFFmpegList> FTaskList;
  bool FPreview = false;
  bool FPreviewBitmap = false;
  int32_t FProgressInterval = 500;
  TThreadPriority FThreadPriority = tpNormal;
  bool FTriggerEventInMainThread = true;
  // End-of-task delivery threads still running; the encoder waits for them before it goes, since
  // they write to TerminateEventDone.
  std::atomic<int> FDeliveries{0};
};

class TFFEncoder : public TCustomEncoder {
public:
  explicit TFFEncoder(TComponent* AOwner) : TCustomEncoder(AOwner) {}
};

// Delivers one end-of-task event from a thread of its own and frees itself.
class TDoTerminateThread : public TThread {
public:
  // Deliveries counts the threads under way; the thread leaves it as the last thing it does.
  TDoTerminateThread(TTerminateEvent Event, TCustomEncoder* Encoder, const TTerminateInfo& Info,
                     std::atomic<bool>* TerminateEventDone, bool Wait, bool Synchronise, std::atomic<int>* Deliveries);

protected:
  void Execute() override;

private:
  TTerminateEvent FEvent;
  TCustomEncoder* FEncoder;
  TTerminateInfo FInfo;
  std::atomic<bool>* FTerminateEventDone;
  bool FWait;
  bool FSynchronise;
  std::atomic<int>* FDeliveries;
};

}  // namespace zv
