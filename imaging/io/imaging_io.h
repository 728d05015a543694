// TImagingIO: the image library's input/output component. It loads and saves the bitmap it works on
// (its own, an attached view's, an attached TImage's picture or a caller's TIEBitmap), owns the
// image's parameters, and reports progress and the end of each operation.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap_binding.h"
#include "imaging/core/iedefs.h"
#include "imaging/core/ieview.h"
#include "imaging/io/acquisition.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/gif_writer.h"
#include "imaging/io/io_params.h"
#include "imaging/io/io_thread.h"
#include "platform/avifile.h"
#include "platform/objects.h"
#include "platform/types.h"

namespace zv {

class TBitmap;
class TFont;
class TImage;
class TIEBitmap;
class TStream;

// The file-type ids ftUnknown..ftHdPhoto live with the format registry.

// ---- Window messages to the attached view -------------------------------------------------------------
// An I/O component working on an I/O thread reaches its view only through these posted messages; the
// view handles them on the main thread.
constexpr uint32_t IEMsgImageChanged = 0x1F58;  // repaint and raise the image-changed event
constexpr uint32_t IEMsgNewFrame = 0x1F59;      // video capture: new frame (lParam = the wrapper)
constexpr uint32_t IEMsgGraphEvent = 0x1F5A;    // video capture: graph event (lParam = the wrapper)
constexpr uint32_t IEMsgProgress = 0x1F5B;      // progress, wParam = percentage
constexpr uint32_t IEMsgFinishWork = 0x1F5C;    // the operation finished

// ---- Options of the parameters dialog -------------------------------------------------------------------
enum TIOPreviewsParamsItem : uint8_t { ioppDefaultLockPreview, ioppApplyButton };
using TIOPreviewsParams = TSet<TIOPreviewsParamsItem>;

// Lets the program replace the parameters dialog: Handled true skips it.
using TIEDoPreviewsEvent = std::function<void(TObject* Sender, bool& Handled)>;
// Called with the parameters dialog before it is shown.
using TIEIOPreviewEvent = std::function<void(TObject* Sender, TObject* Dialog)>;

using TIEPixelFormatSet = TSet<TIEPixelFormat>;

class TImagingIO;

// How the component reaches the image view and the parameters dialog, which are built above it. Their
// units install these when the library starts; while one is empty the component acts as if no image
// view were attached, or no dialog page applied.
struct TImagingIOLinks {
  // True when View is an image view, whose resolution follows the parameters.
  std::function<bool(TIEView* View)> IsImagingView;
  // Shows the save-parameters dialog on IO's work bitmap and parameters (its options read from IO:
  // PreviewsParams, SimplifiedParamsDialogs, BWConversion, PreviewFont, OnIOPreview). True when it
  // was shown and closed with OK; false when no page applies or it was cancelled.
  std::function<bool(TImagingIO* IO, int16_t Pages)> ShowPreviewsDialog;
};
extern TImagingIOLinks ImagingIOLinks;

// Milliseconds between the frames of a video stream of Rate / Scale frames per second, truncated; 0 when
// either is 0.
uint32_t AviFrameDelay(uint32_t Rate, uint32_t Scale);

class TImagingIO : public TComponent {
public:
  explicit TImagingIO(TComponent* AOwner);
  // A component without owner working on Bitmap, which stays the caller's.
  static TImagingIO* CreateForBitmap(TIEBitmap* Bitmap);
  ~TImagingIO() override;

  // ---- What the component works on ----
  TIEBitmap* WorkBitmap() const { return FBinding.Bitmap(); }
  bool OwnsBitmap() const { return FBinding.OwnsBitmap(); }
  TBitmap* AttachedTBitmap() const { return FBinding.Picture(); }
  TIEView* AttachedImaging() const { return FAttachedImaging; }
  // Works on the view's bitmap and follows its changes; nullptr detaches and gives the component a
  // new empty bitmap of its own.
  void SetAttachedImaging(TIEView* View);
  TImage* AttachedTImage() const { return FAttachedTImage; }
  // Works on the image control's picture.
  void SetAttachedTImage(TImage* Image);
  // Works on the caller's Bitmap (which stays the caller's); nullptr while a view or image is
  // attached only stops following the view.
  void SetAttachedBitmap(TIEBitmap* Bitmap);
  void UseBitmap(TIEBitmap* Bitmap);
  // The view's change callback: IEViewImageChanged or IEViewDestroying.
  void ViewChanged(int32_t Flag);

  // Wraps an attached picture again; false without a work bitmap, or when Formats is not empty and
  // the work bitmap's pixel format is not in it.
  bool PrepareBitmap(TIEPixelFormatSet Formats = {});

  TIOParamsVals* IOParams() const { return FIOParams.get(); }

  // ---- Properties ----
  // Outcome of the last operation: 0 success, nonzero failure or cancellation. The byte that the
  // codecs' progress records point to: only the thread running the operation touches it while the
  // operation runs, so setting it cancels only from that thread (its OnProgress, say). Other threads
  // cancel with RequestAbort; read it after the operation or after WaitThreads.
  uint8_t AbortFlag = 0;
  // Cancels the running operation and the ones queued on I/O threads, from any thread: the operation's
  // thread raises AbortFlag at its next progress report. The request ends when the queue empties; one
  // made while nothing runs is dropped when the next operation starts.
  void RequestAbort() { FAbortRequest.store(1, std::memory_order_release); }
  bool AbortRequested() const { return FAbortRequest.load(std::memory_order_acquire) != 0; }
  // On the operation's thread: raises AbortFlag when a cancel was requested; true when it is set.
  bool PollAbort();
  // Run loads and saves on I/O threads when the work bitmap is not the component's own; they run one
  // after another. WaitThreads waits for them.
  bool Asynchronous() const { return FAsynchronous; }
  void SetAsynchronous(bool Value) { FAsynchronous = Value; }
  bool StreamHeaders() const { return FStreamHeaders; }
  void SetStreamHeaders(bool Value) { FStreamHeaders = Value; }
  bool AutoAdjustDPI() const { return FAutoAdjustDPI; }
  void SetAutoAdjustDPI(bool Value) { FAutoAdjustDPI = Value; }
  bool FilteredAdjustDPI() const { return FFilteredAdjustDPI; }
  void SetFilteredAdjustDPI(bool Value) { FFilteredAdjustDPI = Value; }
  bool NativePixelFormat() const { return FIOParams != nullptr && FIOParams->NativePixelFormat != 0; }
  void SetNativePixelFormat(bool Value);
  // The attached view's background, else the component's own.
  TColor Background() const;
  // Has no effect while a view is attached.
  void SetBackground(TColor Value);

  // ---- Parameters dialog ----
  TIOPreviewsParams PreviewsParams;
  bool SimplifiedParamsDialogs = true;
  uint8_t BWConversion = 1;  // the work bitmap's black-and-white conversion mode, for the dialog
  TMsgLanguage MsgLanguage = msSystem;  // the language of the dialog's words
  // Sets the black-and-white conversion mode of the component and of its work bitmap.
  void SetBitmapOption(uint8_t Value);
  TFont* PreviewFont() const { return FPreviewFont.get(); }
  TIEDoPreviewsEvent OnDoPreviews;
  TIEIOPreviewEvent OnIOPreview;
  // Pages selects the dialog's pages; true when the program handled it or the dialog closed with OK.
  virtual bool ShowParamsDialog(int16_t Pages);

  // ---- Events ----
  TIEProgressEvent OnProgress;
  TNotifyEvent OnFinishWork;
  // Put into every progress record; calls NotifyProgress.
  TIEProgressEvent ProgressProc;

  // ---- Loads and saves ----
  // Every one resets AbortFlag at its start and ends with NotifyFinishWork, also when an exception
  // leaves it; failures of the codecs show only in AbortFlag.
  void LoadBmpStream(TStream* Stream);
  void LoadBmpFile(const std::string& FileName);
  void SaveBmpStream(TStream* Stream);
  void SaveBmpFile(const std::string& FileName);
  // Composes the frames of an animation up to IOParams()->GifImageIndex; returns the image count.
  int32_t LoadGifStream(TStream* Stream);
  int32_t LoadGifFile(const std::string& FileName);
  void SaveGifStream(TStream* Stream);
  // Writes the work bitmap as a single-image GIF: the first frame of an animation.
  void SaveGifFile(const std::string& FileName);
  // Inserts the work bitmap as frame IOParams()->GifImageIndex, widens the logical screen to hold it
  // and makes the file loop endlessly. Returns the file's image count, 0 on failure (AbortFlag set,
  // the file as it was). A file that cannot be opened raises EFOpenError. Appending to a file this
  // component appended to before, and that nobody changed since, reads only the file's end.
  int32_t InsertGifFrame(const std::string& FileName);
  // The same two with the frame reduced and coded beforehand (GifCodeFrame): the work bitmap is not
  // read, the bytes written are those the bitmap the frame was coded from would give.
  void SaveGifFile(const std::string& FileName, const TGifCodedFrame& Frame);
  int32_t InsertGifFrame(const std::string& FileName, const TGifCodedFrame& Frame);
  // Loads by the stream's content (BMP and GIF); unrecognised data do nothing at all, not even the
  // finish notification.
  virtual void LoadFromStream(TStream* Stream);

  // ---- Dispatch by file name, file-type id and content (io_dispatch.cpp) ----
  // Nothing for an empty name; else by the lower-case extension, then by the registry row of it.
  void SaveToFile(const std::string& FileName);
  void LoadFromFile(const std::string& FileName);
  void LoadFromFileFormat(const std::string& FileName, uint32_t FileType);
  void LoadFromFileDetect(const std::string& FileName);
  // FileType 0 detects the format.
  void LoadFromStreamFormat(TStream* Stream, uint32_t FileType);
  void SaveToStreamFormat(TStream* Stream, uint32_t FileType);
  void LoadFromBuffer(const void* Buffer, int64_t Size, uint32_t FileType);
  void ReadParamsFromBuffer(const void* Buffer, int64_t Size, uint32_t FileType);
  // Vector-object and layer files, into the attached view (ImagingIOViewLinks).
  void LoadViewFile(const std::string& FileName, uint32_t FileType);
  void LoadViewStream(TStream* Stream, uint32_t FileType);
  // Kind 0 a "const ... array of byte" declaration, 1 a C array, 2 base64 of the saved FileType image;
  // 3 a text picture.
  void SaveToText(const std::string& FileName, uint32_t FileType, uint8_t Kind);

  // ---- Parameters without pixels (params_only.cpp); the outcome is IOParams()->FileType, 0 on failure ----
  void ReadParamsFromFile(const std::string& FileName);
  void ReadParamsFromFile(const std::string& FileName, uint32_t FileType);
  void ReadParamsFromStream(TStream* Stream);
  void ReadParamsFromStream(TStream* Stream, uint32_t FileType);

  // ---- The other formats' loads and saves (format_wrappers.cpp) ----
  // Their codecs are reached through the format's registry row until the format has members of its own.
  int32_t LoadTiffStream(TStream* Stream);
  int32_t LoadTiffFile(const std::string& FileName);
  void SaveTiffStream(TStream* Stream);
  void SaveTiffFile(const std::string& FileName);
  void LoadJpegStream(TStream* Stream);
  void LoadJpegFile(const std::string& FileName);
  void SaveJpegStream(TStream* Stream);
  void SaveJpegFile(const std::string& FileName);
  void LoadPcxStream(TStream* Stream);
  void LoadPcxFile(const std::string& FileName);
  void SavePcxStream(TStream* Stream);
  void SavePcxFile(const std::string& FileName);
  void LoadDcxStream(TStream* Stream);
  void LoadDcxFile(const std::string& FileName);
  void SaveDcxStream(TStream* Stream);
  void SaveDcxFile(const std::string& FileName);
  void LoadTgaStream(TStream* Stream);
  void LoadTgaFile(const std::string& FileName);
  void SaveTgaStream(TStream* Stream);
  void SaveTgaFile(const std::string& FileName);
  void LoadPngStream(TStream* Stream);
  void LoadPngFile(const std::string& FileName);
  void SavePngStream(TStream* Stream);
  void SavePngFile(const std::string& FileName);
  void LoadDicomStream(TStream* Stream);
  void LoadDicomFile(const std::string& FileName);
  void LoadIcoStream(TStream* Stream);
  void LoadIcoFile(const std::string& FileName);
  void SaveIcoStream(TStream* Stream);
  void SaveIcoFile(const std::string& FileName);
  void LoadCurStream(TStream* Stream);
  void LoadCurFile(const std::string& FileName);
  void LoadPnmStream(TStream* Stream);
  void LoadPnmFile(const std::string& FileName);
  void SavePnmStream(TStream* Stream);
  void SavePnmFile(const std::string& FileName);
  void LoadJp2Stream(TStream* Stream);
  void LoadJp2File(const std::string& FileName);
  void SaveJp2Stream(TStream* Stream);
  void SaveJp2File(const std::string& FileName);
  void LoadJ2kStream(TStream* Stream);
  void LoadJ2kFile(const std::string& FileName);
  void SaveJ2kStream(TStream* Stream);
  void SaveJ2kFile(const std::string& FileName);
  void LoadWbmpStream(TStream* Stream);
  void LoadWbmpFile(const std::string& FileName);
  void SaveWbmpStream(TStream* Stream);
  void SaveWbmpFile(const std::string& FileName);
  void SavePsStream(TStream* Stream);
  void SavePsFile(const std::string& FileName);
  void SavePdfStream(TStream* Stream);
  void SavePdfFile(const std::string& FileName);
  void LoadCameraRawStream(TStream* Stream);
  void LoadCameraRawFile(const std::string& FileName);
  void LoadRawBitmapStream(TStream* Stream);
  void LoadRawBitmapFile(const std::string& FileName);
  void LoadPsdStream(TStream* Stream);
  void LoadPsdFile(const std::string& FileName);
  void SavePsdStream(TStream* Stream);
  void SavePsdFile(const std::string& FileName);
  void LoadHdPhotoStream(TStream* Stream);
  void LoadHdPhotoFile(const std::string& FileName);
  void SaveHdPhotoStream(TStream* Stream);
  void SaveHdPhotoFile(const std::string& FileName);
  void LoadMetafileStream(TStream* Stream, int32_t Width, int32_t Height, bool WithAlpha);
  void LoadMetafileFile(const std::string& FileName, int32_t Width, int32_t Height, bool WithAlpha);
  // Load or save FileType through the family's common sequence (format_wrappers.cpp).
  void LoadFormatStream(uint32_t FileType, TStream* Stream, bool WithHeader);
  void LoadFormatFile(uint32_t FileType, const std::string& FileName);
  void SaveFormatStream(uint32_t FileType, TStream* Stream, bool WithHeader);
  void SaveFormatFile(uint32_t FileType, const std::string& FileName);

  // ---- I/O threads (io_thread.cpp, imaging_io.cpp) ----
  // True on one of the component's own I/O threads.
  bool IsOwnIOThread();
  // Returns when no I/O thread of the component runs; Abort cancels them first (RequestAbort) and
  // leaves AbortFlag at 1.
  void WaitThreads(bool Abort = false);
  void RegisterIOThread(TIEIOThread* Thread);
  void UnregisterIOThread(TIEIOThread* Thread);
  std::mutex& IOOperationLock() { return FOperationLock; }
  // Creates the attached view's window on the main thread.
  void ForceViewHandle();

  // ---- URLs (url_download.cpp) ----
  // Downloads an "http://", "https://" or "ftp://" resource and loads it by its content; a failed
  // download sets AbortFlag and finishes.
  void LoadFromUrl(const std::string& Url);
  std::string ProxyServer;
  std::string ProxyUserName;
  std::string ProxyUserPassword;

  // ---- Acquisition (acquisition.cpp) ----
  // Made on first use; with a view attached then, its notifications go to the view's window.
  TIEDirectShow* GetDirectShow();
  // The video wrapper when it has been made, else nullptr.
  TIEDirectShow* DirectShowIfCreated() const { return FDirectShow.get(); }
  // Gives the video wrapper the attached view's window again (after the window changed).
  void SetDirectShowNotifyWindow();
  TIEWia* GetWia();
  // The scanner settings, made with the component; freeing them unloads the source manager.
  TIETWainParams* TWainParams() const { return FTWainParams.get(); }
  // The device's progress: reported, and true while the operation is not aborted.
  bool WiaProgress(int32_t Percent);
  // An acquisition source hands over an image: OnAcquireBitmap may take it (Handled), else it becomes
  // the work bitmap and Params points at the component's parameters for the source to fill.
  void ReceiveAcquiredBitmap(TIEBitmap* Bitmap, TIOParamsVals*& Params);
  void DoAcquireBitmap(TIEBitmap* Bitmap, bool& Handled);
  std::function<void(TObject* Sender, TIEBitmap* ABitmap, bool& Handled)> OnAcquireBitmap;

  // ---- AVI frames (avi_frames.cpp) ----
  // Opens the first video stream of an AVI file; its frame count, 0 with AbortFlag set on failure.
  int32_t OpenAviFile(const std::string& FileName);
  // Decodes frame Index of the open file into the work bitmap; no open file, an index past the end or
  // a frame that cannot be decoded set AbortFlag and leave the bitmap.
  void LoadAviFrame(uint32_t Index);
  void CloseAviFile();

  // ---- Resolution ----
  // A resolution below 2 becomes the library's default.
  void ApplyDefaultDpi();
  // Resamples the image so that both axes share the resolution along its longer side; does nothing for
  // equal or missing resolutions, or while the processing library's resampling is not installed.
  void AdjustDpi();
  // Gives an attached image view the parameters' resolution.
  virtual void PushDpiToView();

  // ---- Notifications ----
  void NotifyImageChanged();
  virtual void NotifyProgress(TObject* Sender, int Percent);
  // Progress 100, then OnFinishWork.
  virtual void NotifyFinishWork();

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  TIEProgressRecord MakeProgress();
  // The view (or the TImage) went away: stop using its bitmap.
  void ForgetView();
  void ForgetTImage();
  void UnregisterViewCallback();
  void LoadBmpStreamCore(TStream* Stream);
  void SaveBmpStreamCore(TStream* Stream);
  int32_t LoadGifStreamCore(TStream* Stream);
  void SaveGifStreamCore(TStream* Stream, const TGifCodedFrame* Coded = nullptr);
  void SaveGifFileCore(const std::string& FileName, const TGifCodedFrame* Coded);
  int32_t InsertGifFrameCore(const std::string& FileName, const TGifCodedFrame* Coded);

  // Queues Call on a new I/O thread of kind Kind when the operation is to run asynchronously: true
  // when it was queued (the caller returns at once).
  bool HandOff(uint8_t Kind, std::function<void()> Call);
  // True when progress and finish go to the attached view as messages.
  bool PostsToView();

  std::atomic<uint8_t> FAbortRequest{0};
  std::mutex FThreadListLock;
  std::condition_variable FAllDone;
  std::vector<TIEIOThread*> FThreadList;
  std::mutex FOperationLock;

  std::unique_ptr<TIEDirectShow> FDirectShow;
  std::unique_ptr<TIEWia> FWia;
  std::unique_ptr<TIETWainParams> FTWainParams;

  PAVIFILE FAviFile = nullptr;
  PAVISTREAM FAviStream = nullptr;
  PGETFRAME FAviFrames = nullptr;
  AVISTREAMINFOW FAviInfo;

  TIEBitmapBinding FBinding;
  TIEView* FAttachedImaging = nullptr;
  TIEChangeCallbackHandle FViewCallbackHandle = nullptr;
  TImage* FAttachedTImage = nullptr;
  TColor FOwnBackground = 0;
  bool FStreamHeaders = false;
  bool FAutoAdjustDPI = false;
  bool FFilteredAdjustDPI = false;
  bool FAsynchronous = false;
  std::unique_ptr<TFont> FPreviewFont;
  std::unique_ptr<TIOParamsVals> FIOParams;
  // Where frames appended to the last few GIF files go (most recent first), each tied to the file's
  // identity as InsertGifFrame left it.
  std::vector<TGifAppendPoint> FGifAppendPoints;
};

}  // namespace zv
