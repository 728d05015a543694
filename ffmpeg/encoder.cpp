#include "ffmpeg/encoder.h"

#include "ffmpeg/ff_load.h"
#include "ffmpeg/my_utils.h"
#include "platform/graphics.h"
#include "platform/message_queue.h"

namespace zv {

namespace {

// Holds a critical section for a scope.
class TSectionLock {
public:
  explicit TSectionLock(TCriticalSection& Section) : FSection(Section) { FSection.Enter(); }
  ~TSectionLock() { FSection.Leave(); }
  TSectionLock(const TSectionLock&) = delete;
  TSectionLock& operator=(const TSectionLock&) = delete;

private:
  TCriticalSection& FSection;
};

}  // namespace

int32_t TFFmpegList::IndexOf(const TEncoderTask* Task) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].get() == Task) return int32_t(i);
  return -1;
}

int32_t TFFmpegList::Add(TEncoderTask* Task) {
  FItems.emplace_back(Task);
  return int32_t(FItems.size()) - 1;
}

void TFFmpegList::SetPreviewBit(int32_t Bit, bool On) {
  for (const auto& task : FItems) {
    const int32_t flags = task->PreviewFlags();
    task->SetPreviewFlags(On ? flags | Bit : flags & ~Bit);
  }
}

TCustomEncoder::TCustomEncoder(TComponent* AOwner)
    : TFFBaseComponent(AOwner), FDecoder(std::make_unique<TFFDecoder>(nullptr)), FTaskList(std::make_unique<TFFmpegList>()) {}

TCustomEncoder::~TCustomEncoder() {
  // A delivery may be waiting for the main thread to run its event.
  while (FDeliveries.load() > 0) {
    if (GetCurrentThreadId() == MainThreadID())
      CheckSynchronize(10);
    else
      Sleep(10);
  }
  OnAudioInputHook = nullptr;
  OnAudioOutputHook = nullptr;
  OnVideoInputHook = nullptr;
  OnVideoOutputHook = nullptr;
  OnFrameInputHook = nullptr;
  OnFrameOutputHook = nullptr;
  OnPreviewBitmap = nullptr;
  OnProgress = nullptr;
  OnTerminate = nullptr;
  FTaskList.reset();
  FDecoder.reset();
}

const TPropList& TCustomEncoder::PublishedProps() const {
  static const TPropList List =
      TPublisher<TCustomEncoder>(TFFBaseComponent::PublishedProps())
          .Property("Preview", &TCustomEncoder::Preview, &TCustomEncoder::SetPreview)
          .Property("PreviewBitmap", &TCustomEncoder::PreviewBitmap, &TCustomEncoder::SetPreviewBitmap)
          .Property("ProgressInterval", &TCustomEncoder::ProgressInterval, &TCustomEncoder::SetProgressInterval)
          .Property("TriggerEventInMainThread", &TCustomEncoder::TriggerEventInMainThread,
                    &TCustomEncoder::SetTriggerEventInMainThread);
  return List;
}

void TCustomEncoder::SetPreview(bool Value) {
  FPreview = Value;
  FTaskList->SetPreview(Value);
}

void TCustomEncoder::SetPreviewBitmap(bool Value) {
  FPreviewBitmap = Value;
  FTaskList->SetPreviewBitmap(Value);
}

bool TCustomEncoder::AreLibrariesLoaded() const { return FFLoader().AreLibsLoaded(EncoderLibraries); }

bool TCustomEncoder::LoadLibraries(const std::string& Folder) {
  if (ComponentState().Contains(csDesigning)) return true;
  FFLoader().SetLibraryPath(Folder);
  if (FFLoader().LoadLibs(EncoderLibraries)) return true;
  FLastErrorMsg = FFLoader().GetLastError();
  return false;
}

void TCustomEncoder::StartNextTask() {
  if (TasksToStart <= 0) return;
  --TasksToStart;
  if (NextTaskIndex >= 0 && NextTaskIndex < FTaskList->Count()) {
    TEncoderTask* task = FTaskList->Items(NextTaskIndex);
    task->SetProgressInterval(int64_t(FProgressInterval) * 1000);
    ++NextTaskIndex;
    if (RunTasksInThreads)
      task->StartThread(FThreadPriority);
    else
      task->Run();
    return;
  }
  ++NextTaskIndex;
}

void TCustomEncoder::DoVideoHook(const TVideoHookEvent& Event, TEncoderTask* Task, TBitmap* Bitmap, int32_t FrameNumber,
                                 int64_t PTS, bool& Update, bool& StopHooking) {
  if (!Event) return;
  TSectionLock lock(FVideoHookLock);
  FHookInfo.TaskIndex = FTaskList->IndexOf(Task);
  FHookInfo.Bitmap = Bitmap;
  FHookInfo.FrameNumber = FrameNumber;
  FHookInfo.PTS = PTS;
  FHookInfo.Update = Update;
  FHookInfo.StopHooking = StopHooking;
  TCanvas* canvas = Bitmap != nullptr ? Bitmap->Canvas() : nullptr;
  if (canvas != nullptr) canvas->Lock();
  try {
    Event(this, &FHookInfo);
  } catch (...) {
    if (canvas != nullptr) canvas->Unlock();
    throw;
  }
  if (canvas != nullptr) canvas->Unlock();
  Update = FHookInfo.Update;
  StopHooking = FHookInfo.StopHooking;
}

void TCustomEncoder::DoVideoInputHook(TEncoderTask* Task, TBitmap* Bitmap, int32_t FrameNumber, int64_t PTS,
                                      bool& Update, bool& StopHooking) {
  DoVideoHook(OnVideoInputHook, Task, Bitmap, FrameNumber, PTS, Update, StopHooking);
}

void TCustomEncoder::DoVideoOutputHook(TEncoderTask* Task, TBitmap* Bitmap, int32_t FrameNumber, int64_t PTS,
                                       bool& Update, bool& StopHooking) {
  DoVideoHook(OnVideoOutputHook, Task, Bitmap, FrameNumber, PTS, Update, StopHooking);
}

void TCustomEncoder::DoFrameHook(const TFrameHookEvent& Event, TEncoderTask* Task, int32_t V1, int32_t V2, int32_t V3,
                                 int32_t V4, int32_t V5, int64_t V6, TAVPicture* Picture) {
  if (!Event) return;
  TSectionLock lock(FFrameHookLock);
  FFrameHookInfo.TaskIndex = FTaskList->IndexOf(Task);
  // The engine's first three values go to the record's second, third and first slots.
  FFrameHookInfo.Values32[1] = V1;
  FFrameHookInfo.Values32[2] = V2;
  FFrameHookInfo.Values32[0] = V3;
  FFrameHookInfo.Values32[3] = V4;
  FFrameHookInfo.Values32[4] = V5;
  FFrameHookInfo.Value64 = V6;
  FFrameHookInfo.Picture = Picture;
  Event(this, &FFrameHookInfo);
}

void TCustomEncoder::DoFrameInputHook(TEncoderTask* Task, int32_t V1, int32_t V2, int32_t V3, int32_t V4, int32_t V5,
                                      int64_t V6, TAVPicture* Picture) {
  DoFrameHook(OnFrameInputHook, Task, V1, V2, V3, V4, V5, V6, Picture);
}

void TCustomEncoder::DoFrameOutputHook(TEncoderTask* Task, int32_t V1, int32_t V2, int32_t V3, int32_t V4, int32_t V5,
                                       int64_t V6, TAVPicture* Picture) {
  DoFrameHook(OnFrameOutputHook, Task, V1, V2, V3, V4, V5, V6, Picture);
}

void TCustomEncoder::DoPreviewBitmap(TEncoderTask* Task, TBitmap* Bitmap, int32_t FrameNumber, int64_t PTS) {
  if (!OnPreviewBitmap) return;
  TSectionLock lock(FPreviewLock);
  FPreviewInfo.TaskIndex = FTaskList->IndexOf(Task);
  FPreviewInfo.Bitmap = Bitmap;
  FPreviewInfo.FrameNumber = FrameNumber;
  FPreviewInfo.PTS = PTS;
  auto call = [this] { OnPreviewBitmap(this, FPreviewInfo); };
  if (FTriggerEventInMainThread)
    CallInMainThread(call);
  else
    call();
}

void TCustomEncoder::DoProgress(TEncoderTask* Task, const int32_t (&Values32)[5], const int64_t (&Values64)[3]) {
  if (!OnProgress) return;
  TSectionLock lock(FProgressLock);
  FProgressInfo.TaskIndex = FTaskList->IndexOf(Task);
  for (int i = 0; i < 5; ++i) FProgressInfo.Values32[i] = Values32[i];
  for (int i = 0; i < 3; ++i) FProgressInfo.Values64[i] = Values64[i];
  auto call = [this] { OnProgress(this, &FProgressInfo); };
  if (FTriggerEventInMainThread)
    CallInMainThread(call);
  else
    call();
}

void TCustomEncoder::DeliverTerminate(bool WaitForPrevious) {
  if (RunTasksInThreads || !TerminateOnCallerThread) {
    if (!WaitForPrevious) TerminateEventDone = false;
    ++FDeliveries;
    TThread::Create<TDoTerminateThread>(OnTerminate, this, FTerminateInfo, &TerminateEventDone, WaitForPrevious,
                                        FTriggerEventInMainThread, &FDeliveries);
  } else {
    OnTerminate(this, FTerminateInfo);
  }
}

void TCustomEncoder::DoTaskTerminated(TEncoderTask* Task) {
  TSectionLock lock(FTerminateLock);
  TerminateEventDone = true;
  if (Task == nullptr) {
    AllTasksTerminated();
    return;
  }
  if (OnTerminate) {
    FTerminateInfo.TaskIndex = FTaskList->IndexOf(Task);
    FTerminateInfo.Finished = Task->Completed();
    FTerminateInfo.Exception = Task->ExceptionRaised();
    FTerminateInfo.ExceptionMsg = Task->ExceptionMessage();
    DeliverTerminate(false);
  }
  ++FinishedTaskCount;
  if (TasksToStart < 1) {
    if (FinishedTaskCount >= FTaskList->Count()) AllTasksTerminated();
  } else if (RunTasksInThreads) {
    StartNextTask();
  }
}

void TCustomEncoder::AllTasksTerminated() {
  AllTasksFinished = true;
  if (!OnTerminate) return;
  FTerminateInfo = TTerminateInfo{-1, true, false, ""};
  DeliverTerminate(true);
}

TDoTerminateThread::TDoTerminateThread(TTerminateEvent Event, TCustomEncoder* Encoder, const TTerminateInfo& Info,
                                       std::atomic<bool>* TerminateEventDone, bool Wait, bool Synchronise,
                                       std::atomic<int>* Deliveries)
    : TThread(false),
      FEvent(std::move(Event)),
      FEncoder(Encoder),
      FInfo(Info),
      FTerminateEventDone(TerminateEventDone),
      FWait(Wait),
      FSynchronise(Synchronise),
      FDeliveries(Deliveries) {
  SetFreeOnTerminate(true);
}

void TDoTerminateThread::Execute() {
  try {
    if (FWait)
      while (!FTerminateEventDone->load()) Sleep(10);
    if (FEvent) {
      if (FSynchronise)
        Synchronize([this] { FEvent(FEncoder, FInfo); });
      else
        FEvent(FEncoder, FInfo);
    }
  } catch (...) {
    FTerminateEventDone->store(true);
    --*FDeliveries;
    throw;
  }
  FTerminateEventDone->store(true);
  --*FDeliveries;
}

}  // namespace zv
