#include "imaging/io/imaging_io.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/mask.h"
#include "imaging/core/proc_hooks.h"
#include "imaging/io/bmp_codec.h"
#include "imaging/io/gif_reader.h"
#include "imaging/io/gif_writer.h"
#include "platform/graphics.h"
#include "platform/std_controls.h"
#include "platform/streams.h"

namespace zv {

TImagingIOLinks ImagingIOLinks;

namespace {

void ViewChangeCallback(TObject* Owner, TIEView* /*View*/, int32_t Flag) {
  static_cast<TImagingIO*>(Owner)->ViewChanged(Flag);
}

bool IsImagingView(TIEView* View) {
  return View != nullptr && ImagingIOLinks.IsImagingView && ImagingIOLinks.IsImagingView(View);
}

// What the parameters record asks of its owner.
bool OwnerImageSize(TImagingIO* Owner, int32_t& Width, int32_t& Height) {
  TIEBitmap* Bitmap = Owner->WorkBitmap();
  if (Bitmap == nullptr) return false;
  Width = Bitmap->GetWidth();
  Height = Bitmap->GetHeight();
  return true;
}

void OwnerSetViewDpi(TImagingIO* Owner, bool Horizontal, int32_t Value) {
  TIEView* View = Owner->AttachedImaging();
  if (!IsImagingView(View)) return;
  View->LockUpdate();
  if (Horizontal)
    View->SetDpiX(Value);
  else
    View->SetDpiY(Value);
  View->UnlockUpdateEx();
}

// Runs Body, then Finish, also when Body raises (the exception then passes on).
template <class Body>
void FinishingWith(TImagingIO* IO, Body&& Work) {
  try {
    Work();
  } catch (...) {
    IO->NotifyFinishWork();
    throw;
  }
  IO->NotifyFinishWork();
}

// Opens the file of a load or save; when that raises, the operation still ends with its finish.
std::unique_ptr<TIEWideFileStream> OpenFinishing(TImagingIO* IO, const std::string& FileName, uint16_t Mode) {
  try {
    return std::make_unique<TIEWideFileStream>(FileName, Mode);
  } catch (...) {
    IO->NotifyFinishWork();
    throw;
  }
}

// Draws Frame 1:1 into the ie24RGB Canvas at (Left, Top) through Frame's alpha channel, then merges
// that alpha rectangle into the canvas's alpha channel by the maximum.
void DrawFrameOnCanvas(TIEBitmap* Frame, TIEBitmap* Canvas, int32_t Left, int32_t Top) {
  const int32_t X0 = std::max(0, Left), Y0 = std::max(0, Top);
  const int32_t X1 = std::min(Canvas->GetWidth(), Left + Frame->GetWidth());
  const int32_t Y1 = std::min(Canvas->GetHeight(), Top + Frame->GetHeight());
  if (X0 >= X1 || Y0 >= Y1) return;
  TIEBitmap* Alpha = Frame->HasAlphaChannel() ? Frame->GetAlphaChannel() : nullptr;
  const TIEPixelFormat Format = Frame->GetPixelFormat();
  const TIERGB24* Palette = Frame->GetPalette();
  const int32_t PaletteLength = Palette != nullptr ? Frame->GetPaletteLength() : 0;
  // Row by row: a frame as wide as a large screen is millions of pixels, each frame of an animation.
  for (int32_t y = Y0; y < Y1; ++y) {
    const uint8_t* A = Alpha ? Alpha->GetScanline(y - Top) + (X0 - Left) : nullptr;
    const uint8_t* S = Frame->GetScanline(y - Top);
    TIERGB24* D = reinterpret_cast<TIERGB24*>(Canvas->GetScanline(y)) + X0;
    for (int32_t x = X0; x < X1; ++x, ++D) {
      const int32_t a = A ? *A++ : 255;
      if (a == 0) continue;
      const int32_t fx = x - Left;
      TIERGB24 C{0, 0, 0};
      if (Format == ie24RGB)
        std::memcpy(&C, S + int64_t(fx) * 3, 3);
      else if (Format == ie8p)
        C = S[fx] < PaletteLength ? Palette[S[fx]] : TIERGB24{0, 0, 0};
      else
        C = Frame->GetPixelAsRGB(fx, y - Top);
      if (a == 255) {
        *D = C;
        continue;
      }
      auto Mix = [a](uint8_t s, uint8_t d) { return uint8_t((s * a + d * (255 - a)) / 255); };
      *D = TIERGB24{Mix(C.b, D->b), Mix(C.g, D->g), Mix(C.r, D->r)};
    }
  }
  // A frame without an alpha channel gets an opaque one here.
  Frame->CopyAlphaRectTo(Canvas, X0 - Left, Y0 - Top, X0, Y0, X1 - X0, Y1 - Y0);
  Canvas->GetAlphaChannel()->SetFull(false);
}

}  // namespace

// ---- Life ---------------------------------------------------------------------------------------------

TImagingIO::TImagingIO(TComponent* AOwner) : TComponent(AOwner) {
  IOParamsOwnerLink.CurrentImageSize = OwnerImageSize;
  IOParamsOwnerLink.SetViewDpi = OwnerSetViewDpi;
  FPreviewFont = std::make_unique<TFont>();
  ProgressProc = [this](TObject* Sender, int Percent) {
    PollAbort();
    NotifyProgress(Sender, Percent);
  };
  FIOParams = std::make_unique<TIOParamsVals>(this);
  FTWainParams = std::make_unique<TIETWainParams>(this);
}

TImagingIO* TImagingIO::CreateForBitmap(TIEBitmap* Bitmap) {
  auto* IO = new TImagingIO(nullptr);
  IO->SetAttachedBitmap(Bitmap);
  return IO;
}

TImagingIO::~TImagingIO() {
  // The video-capture and multi-page document state join here when they come.
  WaitThreads(false);
  CloseAviFile();
  FTWainParams.reset();
  UnregisterViewCallback();
}

// ---- Attachment -----------------------------------------------------------------------------------------

void TImagingIO::UnregisterViewCallback() {
  if (FAttachedImaging != nullptr && FViewCallbackHandle != nullptr)
    FAttachedImaging->UnregisterChangeCallback(FViewCallbackHandle);
  FViewCallbackHandle = nullptr;
}

void TImagingIO::SetAttachedImaging(TIEView* View) {
  UnregisterViewCallback();
  FAttachedImaging = View;
  if (View == nullptr) {
    // The own bitmap must not go on wrapping the former view's picture.
    FBinding.UseOwnBitmap();
    return;
  }
  FBinding.BindView(View);
  View->FreeNotification(this);
  FAttachedTImage = nullptr;
  FViewCallbackHandle = View->RegisterChangeCallback(ViewChangeCallback, this);
}

void TImagingIO::ForgetView() {
  FAttachedImaging = nullptr;
  FViewCallbackHandle = nullptr;
  FBinding.ForgetView();
}

void TImagingIO::ViewChanged(int32_t Flag) {
  if (Flag == IEViewDestroying) {
    ForgetView();
    return;
  }
  if (FAttachedImaging == nullptr) return;
  FBinding.FollowView(FAttachedImaging);
  FIOParams->SetDpiX(FAttachedImaging->DpiX());
  FIOParams->SetDpiY(FAttachedImaging->DpiY());
}

void TImagingIO::SetAttachedTImage(TImage* Image) {
  UnregisterViewCallback();
  FAttachedTImage = Image;
  if (Image != nullptr) {
    FBinding.BindTImage(Image);
    Image->FreeNotification(this);
    FAttachedImaging = nullptr;
  } else {
    ForgetTImage();
  }
}

void TImagingIO::ForgetTImage() {
  FAttachedTImage = nullptr;
  FBinding.ForgetPicture();
}

void TImagingIO::SetAttachedBitmap(TIEBitmap* Bitmap) {
  UnregisterViewCallback();
  if (Bitmap == nullptr && (FAttachedImaging != nullptr || FAttachedTImage != nullptr)) return;
  UseBitmap(Bitmap);
  if (Bitmap != nullptr) {
    FAttachedImaging = nullptr;
    FAttachedTImage = nullptr;
  }
}

void TImagingIO::UseBitmap(TIEBitmap* Bitmap) { FBinding.UseBitmap(Bitmap); }

void TImagingIO::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove || AComponent == nullptr) return;
  if (AComponent == FAttachedImaging) {
    UnregisterViewCallback();
    ForgetView();
  } else if (AComponent == FAttachedTImage) {
    ForgetTImage();
  }
}

bool TImagingIO::PrepareBitmap(TIEPixelFormatSet Formats) {
  if (WorkBitmap() == nullptr) return false;
  FBinding.Rewrap(FAttachedTImage);
  if (Formats.Empty()) return true;
  const TIEPixelFormat Format = WorkBitmap()->GetPixelFormat();
  return uint8_t(Format) <= 15 && Formats.Contains(Format);
}

// ---- Properties -------------------------------------------------------------------------------------

void TImagingIO::SetNativePixelFormat(bool Value) {
  if (FIOParams != nullptr) FIOParams->NativePixelFormat = Value ? 1 : 0;
}

TColor TImagingIO::Background() const {
  return FAttachedImaging != nullptr ? FAttachedImaging->Background() : FOwnBackground;
}

void TImagingIO::SetBackground(TColor Value) {
  if (FAttachedImaging == nullptr) FOwnBackground = Value;
}

// ---- Notifications -----------------------------------------------------------------------------------
// From an I/O thread they reach a view with a parent as posted messages, handled on the main thread.

void TImagingIO::NotifyImageChanged() {
  if (FAttachedTImage != nullptr && AttachedTBitmap() != nullptr && WorkBitmap() != nullptr)
    WorkBitmap()->RemoveAlphaChannel(false, clWhite);
  if (FAttachedImaging != nullptr && IsOwnIOThread()) {
    // Off the main thread a view with a parent repaints and raises its event when the message arrives;
    // one without gets the event here, as the other notifications.
    if (PostsToView())
      PostMessage(FAttachedImaging->Handle(), IEM_UPDATE, 0, 0);
    else
      FAttachedImaging->DoImageChange();
  } else if (FAttachedImaging != nullptr) {
    FAttachedImaging->Update();
    FAttachedImaging->DoImageChange();
  } else if (FAttachedTImage != nullptr && AttachedTBitmap() != nullptr) {
    AttachedTBitmap()->SetModified(true);
  }
}

// ---- I/O threads ------------------------------------------------------------------------------------------

bool TImagingIO::IsOwnIOThread() {
  const uint32_t Id = GetCurrentThreadId();
  std::lock_guard<std::mutex> Lock(FThreadListLock);
  for (TIEIOThread* Thread : FThreadList)
    if (Thread->ThreadId() == Id) return true;
  return false;
}

void TImagingIO::RegisterIOThread(TIEIOThread* Thread) {
  std::lock_guard<std::mutex> Lock(FThreadListLock);
  FThreadList.push_back(Thread);
}

void TImagingIO::UnregisterIOThread(TIEIOThread* Thread) {
  std::lock_guard<std::mutex> Lock(FThreadListLock);
  std::erase(FThreadList, Thread);
  if (FThreadList.empty()) {
    FAbortRequest.store(0);
    FAllDone.notify_all();
  }
}

bool TImagingIO::PollAbort() {
  if (FAbortRequest.load(std::memory_order_acquire) != 0) AbortFlag = 1;
  return AbortFlag != 0;
}

void TImagingIO::WaitThreads(bool Abort) {
  std::unique_lock<std::mutex> Lock(FThreadListLock);
  if (Abort && !FThreadList.empty()) RequestAbort();
  // On the main thread the threads' synchronised calls (the view's handle) keep running meanwhile.
  const bool Main = IsMainThread();
  while (!FThreadList.empty()) {
    if (!Main) {
      FAllDone.wait(Lock);
      continue;
    }
    FAllDone.wait_for(Lock, std::chrono::milliseconds(5));
    Lock.unlock();
    CheckSynchronize();
    Lock.lock();
  }
  // Written only now: while threads run, the flag is theirs.
  if (Abort) AbortFlag = 1;
}

bool TImagingIO::HandOff(uint8_t Kind, std::function<void()> Call) {
  if (IsOwnIOThread()) return false;
  {
    // A new operation from the caller: a cancel asked for while nothing ran is not for it.
    std::lock_guard<std::mutex> Lock(FThreadListLock);
    if (FThreadList.empty()) FAbortRequest.store(0);
  }
  if (!FAsynchronous || OwnsBitmap()) return false;
  TIEIOThread::Spawn(this, Kind, std::move(Call));
  return true;
}

void TImagingIO::ForceViewHandle() {
  if (FAttachedImaging != nullptr) FAttachedImaging->HandleNeeded();
}

bool TImagingIO::PostsToView() {
  if (FAttachedImaging == nullptr || !FAttachedImaging->HasParent() || !IsOwnIOThread()) return false;
  if (!FAttachedImaging->HandleAllocated()) TThread::Synchronize(nullptr, [this] { ForceViewHandle(); });
  return true;
}

void TImagingIO::NotifyProgress(TObject* Sender, int Percent) {
  if (!OnProgress) return;
  if (PostsToView())
    PostMessage(FAttachedImaging->Handle(), IEM_PROGRESS, WPARAM(Percent), 0);
  else
    OnProgress(Sender, Percent);
}

void TImagingIO::NotifyFinishWork() {
  if (ProgressProc) ProgressProc(this, 100);
  if (!OnFinishWork) return;
  if (PostsToView())
    PostMessage(FAttachedImaging->Handle(), IEM_FINISHWORK, 0, 0);
  else
    OnFinishWork(this);
}

void TImagingIO::PushDpiToView() {
  if (!IsImagingView(FAttachedImaging)) return;
  FAttachedImaging->LockUpdate();
  FAttachedImaging->SetDpi(FIOParams->DpiX(), FIOParams->DpiY());
  FAttachedImaging->UnlockUpdateEx();
}

TIEProgressRecord TImagingIO::MakeProgress() {
  TIEProgressRecord Progress;
  Progress.OnProgress = ProgressProc;
  Progress.Sender = this;
  Progress.Abort = &AbortFlag;
  return Progress;
}

// ---- Resolution -----------------------------------------------------------------------------------------

void TImagingIO::ApplyDefaultDpi() {
  if (FIOParams->DpiX() < 2) FIOParams->SetDpiX(DefaultDpiX);
  if (FIOParams->DpiY() < 2) FIOParams->SetDpiY(DefaultDpiY);
}

void TImagingIO::AdjustDpi() {
  if (!PrepareBitmap()) return;
  TIOParamsVals& P = *FIOParams;
  const int32_t X = P.DpiX(), Y = P.DpiY();
  if (X == Y || X <= 0 || Y <= 0) return;
  if (WorkBitmap()->GetWidth() <= 0 || WorkBitmap()->GetHeight() <= 0 || P.Width <= 0 || P.Height <= 0) return;
  // Without the resampling there would be nothing to fill the new image with: leave everything.
  const auto& Hooks = ProcessingHooks;
  if (!Hooks.ResampleNearest || (FFilteredAdjustDPI && !Hooks.ResampleFiltered)) return;

  int32_t W = P.Width, H = P.Height;
  if (H < W) {
    H = static_cast<int32_t>(std::trunc(double(H) / Y * X));
    P.SetDpiY(X);
    P.Height = H;
  } else {
    W = static_cast<int32_t>(std::trunc(double(W) / X * Y));
    P.SetDpiX(Y);
    P.Width = W;
  }
  if (W <= 0 || H <= 0) return;

  std::unique_ptr<TIEBitmap> AlphaCopy;
  if (WorkBitmap()->HasAlphaChannel()) {
    AlphaCopy = std::make_unique<TIEBitmap>();
    AlphaCopy->Assign(WorkBitmap()->GetAlphaChannel());
  }
  std::unique_ptr<TIEBitmap> Resized;
  if (FFilteredAdjustDPI) {
    Resized = std::make_unique<TIEBitmap>(W, H, ie24RGB);
    if (WorkBitmap()->GetPixelFormat() != ie24RGB) WorkBitmap()->ConvertToFormat(ie24RGB);
    Hooks.ResampleFiltered(WorkBitmap(), Resized.get(), rfFastLinear, TIEProgressEvent(), this);
  } else {
    Resized = std::make_unique<TIEBitmap>(W, H, WorkBitmap()->GetPixelFormat());
    Hooks.ResampleNearest(WorkBitmap(), Resized.get(), TIEProgressEvent(), this);
  }
  WorkBitmap()->Assign(Resized.get());
  Resized.reset();
  if (AlphaCopy) {
    TIEBitmap* Alpha = WorkBitmap()->GetAlphaChannel();
    Alpha->Allocate(W, H, ie8g);
    Hooks.ResampleNearest(AlphaCopy.get(), Alpha, TIEProgressEvent(), this);
  }
}

// ---- BMP ----------------------------------------------------------------------------------------------

void TImagingIO::LoadBmpStreamCore(TStream* Stream) {
  AbortFlag = 0;
  TIEProgressRecord Progress = MakeProgress();
  FinishingWith(this, [&] {
    if (!PrepareBitmap()) return;
    FIOParams->ClearMetadata();
    WorkBitmap()->RemoveAlphaChannel(false, clWhite);
    std::unique_ptr<TIEMask> Mask;
    BmpReadImage(Stream, WorkBitmap(), 0, *FIOParams, Progress, false, false, Mask, FIOParams->BmpLoadAlpha == 0);
    ApplyDefaultDpi();
    if (Mask) WorkBitmap()->GetAlphaChannel()->CopyFromTIEMask(Mask.get());
    if (FAutoAdjustDPI) AdjustDpi();
    PushDpiToView();
    FIOParams->FileName.clear();
    FIOParams->FileType = ftBmp;
    NotifyImageChanged();
  });
}

void TImagingIO::LoadBmpStream(TStream* Stream) {
  if (HandOff(1, [this, Stream] { LoadBmpStream(Stream); })) return;
  LoadBmpStreamCore(Stream);
}

void TImagingIO::LoadBmpFile(const std::string& FileName) {
  if (HandOff(0, [this, FileName] { LoadBmpFile(FileName); })) return;
  const auto Stream = OpenFinishing(this, FileName, fmOpenRead | fmShareDenyWrite);
  LoadBmpStreamCore(Stream.get());
  FIOParams->FileName = FileName;
}

void TImagingIO::SaveBmpStreamCore(TStream* Stream) {
  TIEProgressRecord Progress = MakeProgress();
  if (!PrepareBitmap()) return;
  BmpWriteImage(Stream, WorkBitmap(), *FIOParams, Progress, FIOParams->BmpLoadAlpha != 0);
}

void TImagingIO::SaveBmpStream(TStream* Stream) {
  if (HandOff(1, [this, Stream] { SaveBmpStream(Stream); })) return;
  AbortFlag = 0;
  FinishingWith(this, [&] { SaveBmpStreamCore(Stream); });
}

void TImagingIO::SaveBmpFile(const std::string& FileName) {
  if (HandOff(0, [this, FileName] { SaveBmpFile(FileName); })) return;
  // Set while the file is made, so that a failed creation leaves its failure behind.
  AbortFlag = 1;
  auto Stream = OpenFinishing(this, FileName, ieFileCreate);
  AbortFlag = 0;
  FinishingWith(this, [&] {
    // The file is closed before the finish, so that a handler may read it; without a bitmap it stays
    // empty.
    const bool Ready = PrepareBitmap();
    if (Ready) SaveBmpStreamCore(Stream.get());
    Stream.reset();
    if (!Ready) return;
    FIOParams->FileName = FileName;
    FIOParams->FileType = ftBmp;
  });
}

// ---- GIF ----------------------------------------------------------------------------------------------

int32_t TImagingIO::LoadGifStreamCore(TStream* Stream) {
  AbortFlag = 0;
  int32_t Count = 0;
  FinishingWith(this, [&] {
    if (!PrepareBitmap()) return;
    TIOParamsVals& P = *FIOParams;
    P.ClearMetadata();
    WorkBitmap()->RemoveAlphaChannel(false, clWhite);
    const int64_t Start = Stream->Position();
    const int32_t Wanted = static_cast<int32_t>(P.GifImageIndex);
    // Past the first frame the component reports progress per frame itself.
    TIEProgressRecord Progress = MakeProgress();
    if (Wanted >= 1) Progress.OnProgress = nullptr;

    std::unique_ptr<TIEBitmap> Canvas;  // the composed animation, from the second image on
    int32_t PrevLeft = 0, PrevTop = 0, PrevWidth = 0, PrevHeight = 0;
    uint8_t PrevDisposal = 0;
    // The work bitmap takes only the last result of the frame walk, once, in the pixel format of the frame
    // that gave it: copying a whole logical screen for every frame on the way cost more than composing.
    TIEBitmap* Pending = nullptr;
    std::unique_ptr<TIEBitmap> PendingFrame;  // owns Pending when it is a frame of its own
    TIEPixelFormat PendingFormat = ie24RGB;
    auto Deliver = [&](bool AfterWalk) {
      if (Pending == nullptr) return;
      TIEBitmap* Work = WorkBitmap();
      // The canvas is dropped after the walk: a work bitmap that would keep the copy in memory as the canvas
      // does takes the canvas's storage instead.
      const bool InMemoryLikeCanvas =
          AfterWalk && Pending == Canvas.get() && Canvas->Location() == ieInMemory && Work->Location() != ieTBitmap &&
          Work->Allocator() == Canvas->Allocator() &&
          int64_t(Canvas->GetWidth()) * Canvas->GetHeight() * 4 < Work->MemoryThreshold();
      if (InMemoryLikeCanvas)
        Canvas->MoveStorageTo(Work);
      else
        Work->Assign(Pending);
      if (WorkBitmap()->GetPixelFormat() != PendingFormat) WorkBitmap()->ConvertToFormat(PendingFormat);
      Pending = nullptr;
      PendingFrame.reset();
    };
    for (int32_t i = 0;; ++i) {
      auto Frame = std::make_unique<TIEBitmap>();
      Stream->SetPosition(Start);
      P.SetImageIndex(i);
      std::unique_ptr<TIEMask> Mask;
      P.GifComments.Clear();  // every pass reads the comments again
      GifReadFrame(Stream, Frame.get(), Count, P, Progress, false, Mask, false);
      const TIEPixelFormat FrameFormat = Frame->GetPixelFormat();
      ApplyDefaultDpi();
      const int32_t W = std::max(P.GifScreenWidth, Frame->GetWidth());
      const int32_t H = std::max(P.GifScreenHeight, Frame->GetHeight());
      if (Mask) Frame->GetAlphaChannel()->CopyFromTIEMask(Mask.get());

      // An abort while reading leaves the canvas and the result of the frames before as they were.
      if (AbortFlag != 0) break;
      TIEBitmap* Result = Frame.get();
      if (Count > 1 && !Frame->IsEmpty()) {
        // The logical screen is a size from the file like the frames' own: one the stream could not
        // begin to fill fails the load before the canvas is reserved.
        if (!GifAreaFits(W, H, Stream->Size() - Start)) {
          AbortFlag = 1;
          break;
        }
        const TColor Back = RGB24ToColor(P.GifBackgroundColor);
        if (Canvas && PrevDisposal == 2) {
          Canvas->FillRect(PrevLeft, PrevTop, PrevLeft + PrevWidth - 1, PrevTop + PrevHeight - 1, Back);
          Canvas->GetAlphaChannel()->FillRect(PrevLeft, PrevTop, PrevLeft + PrevWidth - 1, PrevTop + PrevHeight - 1, 0);
        }
        if (!Canvas) {
          Canvas = std::make_unique<TIEBitmap>();
          Canvas->SetLocation(ieInMemory);
          Canvas->Allocate(W, H, ie24RGB);
          Canvas->Fill(Back);
          Canvas->GetAlphaChannel()->Fill(0);
        }
        if (Canvas->GetPixelFormat() != ie24RGB) Canvas->ConvertToFormat(ie24RGB);
        if (Canvas->GetWidth() < W || Canvas->GetHeight() < H)
          Canvas->ResizeCanvas(std::max(W, Canvas->GetWidth()), std::max(H, Canvas->GetHeight()), Back, 255, 0, 0);
        DrawFrameOnCanvas(Frame.get(), Canvas.get(), P.GifLeft, P.GifTop);
        PrevLeft = P.GifLeft;
        PrevTop = P.GifTop;
        PrevWidth = Frame->GetWidth();
        PrevHeight = Frame->GetHeight();
        PrevDisposal = P.GifDisposal;
        P.GifDisposal = 2;
        P.GifLeft = 0;
        P.GifTop = 0;
        Result = Canvas.get();
      }
      if (Count > 0) {
        // An empty frame does not replace every kind of work bitmap: what stood before it is handed on first.
        if (Result->IsEmpty()) Deliver(false);
        PendingFrame.reset();
        Pending = Result;
        PendingFormat = FrameFormat;
        if (Result == Frame.get()) PendingFrame = std::move(Frame);
      }
      if (ProgressProc) ProgressProc(this, Count > 0 ? static_cast<int>(std::trunc(i * (100.0 / Count))) : 0);
      if (AbortFlag != 0 || i + 1 >= Count || i == Wanted) break;
    }
    Deliver(true);
    P.SetImageIndex(Wanted);

    if (FAutoAdjustDPI) AdjustDpi();
    SetBackground(RGB24ToColor(P.GifTransparent ? P.GifTransparentColor : P.GifBackgroundColor));
    P.FileType = ftGif;
    P.FileName.clear();
    NotifyImageChanged();
  });
  return Count;
}

int32_t TImagingIO::LoadGifStream(TStream* Stream) {
  if (HandOff(4, [this, Stream] { LoadGifStream(Stream); })) return 0;
  return LoadGifStreamCore(Stream);
}

int32_t TImagingIO::LoadGifFile(const std::string& FileName) {
  if (HandOff(2, [this, FileName] { LoadGifFile(FileName); })) return 0;
  const auto Stream = OpenFinishing(this, FileName, fmOpenRead | fmShareDenyWrite);
  const int32_t Count = LoadGifStreamCore(Stream.get());
  FIOParams->FileName = FileName;
  return Count;
}

void TImagingIO::SaveGifStreamCore(TStream* Stream, const TGifCodedFrame* Coded) {
  TIEProgressRecord Progress = MakeProgress();
  if (!Coded && !PrepareBitmap()) return;
  GifWriteImage(Stream, Coded ? nullptr : WorkBitmap(), *FIOParams, Progress, Coded);
}

void TImagingIO::SaveGifStream(TStream* Stream) {
  if (HandOff(1, [this, Stream] { SaveGifStream(Stream); })) return;
  AbortFlag = 0;
  FinishingWith(this, [&] { SaveGifStreamCore(Stream); });
}

void TImagingIO::SaveGifFile(const std::string& FileName) {
  if (HandOff(0, [this, FileName] { SaveGifFile(FileName); })) return;
  SaveGifFileCore(FileName, nullptr);
}

void TImagingIO::SaveGifFile(const std::string& FileName, const TGifCodedFrame& Frame) {
  SaveGifFileCore(FileName, &Frame);
}

void TImagingIO::SaveGifFileCore(const std::string& FileName, const TGifCodedFrame* Coded) {
  AbortFlag = 1;
  auto Stream = OpenFinishing(this, FileName, ieFileCreate);
  AbortFlag = 0;
  FinishingWith(this, [&] {
    // The file is closed before the finish, so that a handler may read it; without a bitmap it stays
    // empty.
    const bool Ready = Coded || PrepareBitmap();
    if (Ready) SaveGifStreamCore(Stream.get(), Coded);
    Stream.reset();
    if (!Ready) return;
    FIOParams->FileName = FileName;
    FIOParams->FileType = ftGif;
  });
}

int32_t TImagingIO::InsertGifFrame(const std::string& FileName) {
  if (HandOff(2, [this, FileName] { InsertGifFrame(FileName); })) return 0;
  return InsertGifFrameCore(FileName, nullptr);
}

int32_t TImagingIO::InsertGifFrame(const std::string& FileName, const TGifCodedFrame& Frame) {
  return InsertGifFrameCore(FileName, &Frame);
}

int32_t TImagingIO::InsertGifFrameCore(const std::string& FileName, const TGifCodedFrame* Coded) {
  AbortFlag = 0;
  int32_t Result = 0;
  TIEProgressRecord Progress = MakeProgress();
  FinishingWith(this, [&] {
    if (!Coded && !PrepareBitmap()) return;
    TIOParamsVals& P = *FIOParams;
    const int32_t Width = Coded ? Coded->Width : WorkBitmap()->GetWidth();
    const int32_t Height = Coded ? Coded->Height : WorkBitmap()->GetHeight();
    P.GifScreenWidth = std::max(P.GifScreenWidth, Width + P.GifLeft);
    P.GifScreenHeight = std::max(P.GifScreenHeight, Height + P.GifTop);
    // The file's append point, when this component left it one; the writer checks that the file is
    // still as it was left and walks it otherwise.
    TGifAppendPoint Point;
    struct stat Info {};
    if (stat(FileName.c_str(), &Info) == 0) {
      const auto Same = std::find_if(FGifAppendPoints.begin(), FGifAppendPoints.end(), [&](const TGifAppendPoint& A) {
        return A.Device == static_cast<uint64_t>(Info.st_dev) && A.Inode == static_cast<uint64_t>(Info.st_ino);
      });
      if (Same != FGifAppendPoints.end()) {
        Point = *Same;
        FGifAppendPoints.erase(Same);
      }
    }
    Result = GifInsertFrameFile(FileName, Coded ? nullptr : WorkBitmap(), P, Progress, Point, Coded);
    if (AbortFlag == 0 && !GifPatchLoopAndScreen(FileName, 0, P.GifScreenWidth, P.GifScreenHeight, &Point)) {
      // The file keeps the inserted frame but lacks the loop block or the screen size.
      AbortFlag = 1;
    }
    if (AbortFlag == 0 && GifStampAppendPoint(FileName, Point)) {
      constexpr size_t KeptFiles = 8;
      FGifAppendPoints.insert(FGifAppendPoints.begin(), Point);
      if (FGifAppendPoints.size() > KeptFiles) FGifAppendPoints.pop_back();
    }
  });
  return Result;
}

// LoadFromStream and the other dispatchers are in io_dispatch.cpp.

// ---- Parameters dialog --------------------------------------------------------------------------------

void TImagingIO::SetBitmapOption(uint8_t Value) {
  BWConversion = Value;
  if (WorkBitmap() != nullptr) WorkBitmap()->SetBWConversion(Value);
}

bool TImagingIO::ShowParamsDialog(int16_t Pages) {
  if (OnDoPreviews) {
    bool Handled = false;
    OnDoPreviews(this, Handled);
    if (Handled) return true;
  }
  if (!PrepareBitmap()) return false;
  const TIEPixelFormat Format = WorkBitmap()->GetPixelFormat();
  if (Format != ie24RGB && Format != ie1g) WorkBitmap()->ConvertToFormat(ie24RGB);
  const bool Result = ImagingIOLinks.ShowPreviewsDialog && ImagingIOLinks.ShowPreviewsDialog(this, Pages);
  NotifyImageChanged();
  return Result;
}

}  // namespace zv
