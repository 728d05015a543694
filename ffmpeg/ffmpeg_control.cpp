// A transcoding task as a controllable object: start on its own thread or the caller's, stop (waiting
// or not), the end of the task, and the hooks and the preview on the picture path.
#include <cmath>
#include <cstring>

#include "ffmpeg/ff_log.h"
#include "ffmpeg/ffmpeg_opt.h"
#include "ffmpeg/previewer.h"
#include "platform/graphics.h"
#include "platform/message_queue.h"

namespace zv {

namespace {

void CopyConverterToBitmap(const TFormatConverter& Converter, TBitmap& Bitmap) {
  Bitmap.SetPixelFormat(pf32bit);
  Bitmap.SetSize(Converter.Width(), Converter.Height());
  const size_t length = size_t(Converter.Width()) * 4;
  for (int32_t row = 0; row < Converter.Height(); ++row) std::memcpy(Bitmap.ScanLine(row), Converter.ScanLine(row), length);
}

// False when the handler left the bitmap in another size or depth.
bool CopyBitmapToConverter(TBitmap& Bitmap, TFormatConverter& Converter) {
  if (Bitmap.Width() != Converter.Width() || Bitmap.Height() != Converter.Height() || Bitmap.PixelFormat() != pf32bit)
    return false;
  const size_t length = size_t(Converter.Width()) * 4;
  for (int32_t row = 0; row < Converter.Height(); ++row) std::memcpy(Converter.ScanLine(row), Bitmap.ScanLine(row), length);
  return true;
}

TAVPicture PictureOf(const AVFrame* Frame) {
  TAVPicture picture{};
  for (int i = 0; i < AV_NUM_DATA_POINTERS && i < 8; ++i) {
    picture.data[i] = Frame->data[i];
    picture.linesize[i] = Frame->linesize[i];
  }
  return picture;
}

}  // namespace

TConvertThread::TConvertThread(TCustomFFmpeg* Task) : TThread(true), FTask(Task) { SetFreeOnTerminate(true); }

void TConvertThread::Execute() {
  if (!FTask) return;
  TCustomFFmpeg* task = FTask;
  task->FWorkerEntered = true;
  task->FDone.ResetEvent();
  try {
    task->RunTask();
  } catch (...) {
  }
  // The task may be destroyed as soon as the event is set.
  task->FDone.SetEvent();
}

TCustomFFmpeg::TCustomFFmpeg() : FHookBitmap(std::make_unique<TBitmap>()), FPreviewBitmap(std::make_unique<TBitmap>()) {}

TCustomFFmpeg::~TCustomFFmpeg() {
  Stop(true);
  if (av_free) Cleanup();
  av_packet_free(&FEncodePacket);
  av_packet_free(&FReadPacket);
  av_packet_free(&FDecodePacket);
}

TConvertThread* TCustomFFmpeg::Start(bool Threaded, TThreadPriority Priority) {
  if (Running.load() || Finished.load()) return nullptr;
  try {
    if (OutputFileCount == 0) {
      Cleanup();
      throw FFmpegException("At least one output file must be specified");
    }
    if (InputFileCount == 0) {
      Cleanup();
      throw FFmpegException("At least one input file must be specified");
    }
  } catch (const Exception& e) {
    GetFFLogger()->Log(this, llQuiet, e.Message());
    FailureText = e.Message();
    Failed = true;
    Finish();
    return nullptr;
  }
  Running = true;
  StopRequest = false;
  Succeeded = false;
  Finished = false;
  if (!Threaded) {
    RunTask();
    return nullptr;
  }
  // Reset here, not only by the worker: a Stop with waiting between now and the worker's start must
  // not see the event of a task that has not run.
  FDone.ResetEvent();
  auto* thread = new TConvertThread(this);
  thread->SetPriority(Priority);
  FThread = thread;
  FThreadCreated = true;
  return thread;
}

void TCustomFFmpeg::StartThread(TThreadPriority Priority) {
  if (TConvertThread* thread = Start(true, Priority)) thread->Resume();
}

void TCustomFFmpeg::Stop(bool Wait) {
  StopRequest = true;
  if (!FThreadCreated.load()) return;
  // A worker that has entered may free itself any moment; one that has not cannot.
  TConvertThread* thread = FThread.load();
  if (thread && !FWorkerEntered.load()) thread->Resume();
  if (!Wait) return;
  while (FDone.WaitFor(20) != wrSignaled) {
    if (IsMainThread()) {
      CheckSynchronize(0);
      ProcessMessagesOnce();
    }
  }
}

void TCustomFFmpeg::RunTask() {
  Succeeded = false;
  const auto guarded = [this](const auto& Step) {
    try {
      Step();
    } catch (const Exception& e) {
      GetFFLogger()->Log(this, llQuiet, e.Message());
      FailureText = e.Message();
      Failed = true;
    } catch (const std::exception& e) {
      GetFFLogger()->Log(this, llQuiet, e.what());
      FailureText = e.what();
      Failed = true;
    }
  };
  guarded([this] { RunTranscode(); });
  guarded([this] { CloseOpenEncoders(); });
  guarded([this] { CloseOpenDecoders(); });
  guarded([this] { Cleanup(); });
  guarded([this] { Finish(); });
  av_log(nullptr, AV_LOG_QUIET, "%s", "");
}

void TCustomFFmpeg::Finish() {
  Running = false;
  Finished = true;
  FThread = nullptr;
  if (OnTerminate) OnTerminate(this);
}

void TCustomFFmpeg::Cleanup() {
  ReleaseTables();
  FrameHookRelease(FrameHooks);
  HasFrameHooks = false;
  ResetPreview();
}

void TCustomFFmpeg::ResetPreview() {
  FPreviewer.reset();
  FLastPreviewClock = 0;
}

int32_t TCustomFFmpeg::PreviewFlags() const { return FRequestedPreviewFlags.load(); }

void TCustomFFmpeg::SetPreviewFlags(int32_t Flags) {
  FRequestedPreviewFlags = Flags;
  FPreviewFlagsChanged = true;
}

void TCustomFFmpeg::ApplyPreviewFlags(int32_t Flags) {
  if (Flags == FPreviewFlags) return;
  if (!(Flags & 1)) FPreviewer.reset();
  FPreviewFlags = Flags;
}

void TCustomFFmpeg::AttachToEncoder(TCustomEncoder* Encoder) {
  OnTerminate = [Encoder](TCustomFFmpeg* Sender) { Encoder->DoTaskTerminated(Sender); };
  OnProgress = [Encoder](TCustomFFmpeg* Sender, int32_t TaskIndex, int64_t Expected, int64_t Position, int64_t Size,
                         float Bitrate, float Quality, int32_t Fps, int32_t FrameNumber) {
    const int32_t values32[5] = {TaskIndex, int32_t(std::lrint(Bitrate)), int32_t(std::lrint(Quality)), Fps, FrameNumber};
    const int64_t values64[3] = {Expected, Position, Size};
    Encoder->DoProgress(Sender, values32, values64);
  };
  OnPreviewBitmap = [Encoder](TCustomFFmpeg* Sender, TBitmap* Bitmap, int64_t Time, int32_t FrameNumber) {
    Encoder->DoPreviewBitmap(Sender, Bitmap, FrameNumber, Time);
  };
  if (Encoder->OnVideoInputHook)
    OnVideoInputHook = [Encoder](TCustomFFmpeg* Sender, TBitmap* Bitmap, bool& StopHook, bool& Update, int64_t Time,
                                 int32_t FrameNumber) {
      Encoder->DoVideoInputHook(Sender, Bitmap, FrameNumber, Time, Update, StopHook);
    };
  if (Encoder->OnVideoOutputHook)
    OnVideoOutputHook = [Encoder](TCustomFFmpeg* Sender, TBitmap* Bitmap, bool& StopHook, bool& Update, int64_t Time,
                                  int32_t FrameNumber) {
      Encoder->DoVideoOutputHook(Sender, Bitmap, FrameNumber, Time, Update, StopHook);
    };
  // The picture travels in the record's own field; its 32-bit slot stays 0.
  if (Encoder->OnFrameInputHook)
    OnFrameInputHook = [Encoder](TCustomFFmpeg* Sender, TAVPicture* Picture, int64_t Time, int32_t Width, int32_t Height,
                                 int32_t FrameNumber, int32_t PixFmt) {
      Encoder->DoFrameInputHook(Sender, 0, Width, Height, FrameNumber, PixFmt, Time, Picture);
    };
  if (Encoder->OnFrameOutputHook)
    OnFrameOutputHook = [Encoder](TCustomFFmpeg* Sender, TAVPicture* Picture, int64_t Time, int32_t Width, int32_t Height,
                                  int32_t FrameNumber, int32_t PixFmt) {
      Encoder->DoFrameOutputHook(Sender, 0, Width, Height, FrameNumber, PixFmt, Time, Picture);
    };
  const auto audio = [Encoder](const TAudioHookEvent& Event) -> TTaskAudioHook {
    if (!Event) return nullptr;
    return [Encoder, Event](TCustomFFmpeg* Sender, const uint8_t* Data, int32_t SampleFormat, int32_t Channels,
                            int32_t SampleRate, int32_t Size, int64_t Time) {
      Event(Encoder, Encoder->TaskList().IndexOf(Sender), Time, const_cast<uint8_t*>(Data), Size, SampleRate, Channels,
            SampleFormat);
    };
  };
  OnAudioInputHook = audio(Encoder->OnAudioInputHook);
  OnAudioOutputHook = audio(Encoder->OnAudioOutputHook);
}

void TCustomFFmpeg::PreprocessInputPicture(TInputStreamRec* Ist, AVFrame* Frame) {
  ++Ist->PictureCounter;
  if (!OnFrameInputHook && !OnVideoInputHook && !HasFrameHooks) return;
  const int64_t time = Ist->Pts;
  if (av_frame_make_writable(Frame) < 0) {
    GetFFLogger()->Log(this, llError, "memory malloc error in pre_process_video_frame().");
    return;
  }
  TAVPicture picture = PictureOf(Frame);
  if (OnFrameInputHook) OnFrameInputHook(this, &picture, time, Frame->width, Frame->height, Ist->PictureCounter, Frame->format);
  if (OnVideoInputHook) {
    bool converted = false;
    RunVideoHook(OnVideoInputHook, HookConverter, Frame, time, Ist->PictureCounter, converted);
  } else if (HasFrameHooks) {
    FrameHookProcess(FrameHooks, &picture, AVPixelFormat(Frame->format), Frame->width, Frame->height, time);
  }
}

void TCustomFFmpeg::ApplyOutputHooks(AVCodecContext* Encoder, AVFrame* Frame, int64_t Time, int32_t FrameNumber, bool& Converted) {
  (void)Encoder;
  Converted = false;
  if (av_frame_make_writable(Frame) < 0) {
    GetFFLogger()->Log(this, llError, "hook buf malloc error.");
    return;
  }
  if (OnVideoOutputHook) RunVideoHook(OnVideoOutputHook, PreviewConverter, Frame, Time, FrameNumber, Converted);
  if (OnFrameOutputHook) {
    TAVPicture picture = PictureOf(Frame);
    OnFrameOutputHook(this, &picture, Time, Frame->width, Frame->height, FrameNumber, Frame->format);
  }
}

void TCustomFFmpeg::RunVideoHook(TTaskVideoHook& Handler, TFormatConverter& Converter, AVFrame* Frame, int64_t Time,
                                 int32_t FrameNumber, bool& Converted) {
  TFFLogger* log = GetFFLogger();
  const AVPixelFormat format = AVPixelFormat(Frame->format);
  Converted = Converter.ConvertToBitmap(Frame->data, Frame->linesize, format, Frame->width, Frame->height, true);
  if (!Converted) {
    log->Log(this, llError, Converter.LastErrorMsg());
    Handler = nullptr;
    return;
  }
  TBitmap& bitmap = &Converter == &HookConverter ? *FHookBitmap : *FPreviewBitmap;
  CopyConverterToBitmap(Converter, bitmap);
  bool update = true, stopHook = false;
  try {
    Handler(this, &bitmap, stopHook, update, Time, FrameNumber);
  } catch (const Exception& e) {
    log->Log(this, llError, "Error occurs VideoHook event: " + e.Message());
    update = false;
  } catch (const std::exception& e) {
    log->Log(this, llError, std::string("Error occurs VideoHook event: ") + e.what());
    update = false;
  }
  if (update) {
    if (!CopyBitmapToConverter(bitmap, Converter)) {
      log->Log(this, llError, "Cannot initialize the fromRGB conversion context");
      stopHook = true;
      Converted = false;
    } else {
      Converter.CopyBitmapToPicture();
      if (!Converter.ConvertFromBitmap(Frame->data, Frame->linesize, format, Frame->width, Frame->height)) {
        log->Log(this, llError, Converter.LastErrorMsg());
        stopHook = true;
      }
    }
  } else if (FPreviewFlags) {
    Converted = false;
  }
  if (stopHook) Handler = nullptr;
}

void TCustomFFmpeg::PreviewFrame(AVFrame* Frame, bool Converted, int64_t Time, int32_t FrameNumber) {
  bool changed = false;
  if (FPreviewFlagsChanged.exchange(false)) {
    ApplyPreviewFlags(FRequestedPreviewFlags.load());
    changed = true;
  }
  int32_t flags = FPreviewFlags;
  const int32_t bit = (flags & 2) && OnPreviewBitmap ? 2 : (flags & 1);
  if (!bit) return;
  const int64_t now = Now();
  if (now - FLastPreviewClock <= PreviewInterval) return;
  bool ok = true;
  {
    // Only the conversion is guarded; the handler and the window may wait for the main thread.
    FPreviewLock.Enter();
    if (!Converted || changed)
      ok = PreviewConverter.ConvertToBitmap(Frame->data, Frame->linesize, AVPixelFormat(Frame->format), Frame->width,
                                            Frame->height, true);
    if (ok) CopyConverterToBitmap(PreviewConverter, *FPreviewBitmap);
    FPreviewLock.Leave();
  }
  if (!ok) {
    GetFFLogger()->Log(this, llError, PreviewConverter.LastErrorMsg());
  } else if (bit == 2) {
    OnPreviewBitmap(this, FPreviewBitmap.get(), Time, FrameNumber);
  } else {
    if (!FPreviewer) FPreviewer = std::make_unique<TPreviewer>();
    ok = FPreviewer->Preview(FPreviewBitmap.get(), FrameNumber, Time);
  }
  FLastPreviewClock = now;
  if (!ok) {
    flags &= ~bit;
    FRequestedPreviewFlags.fetch_and(~bit);
  }
  ApplyPreviewFlags(flags);
}

}  // namespace zv
