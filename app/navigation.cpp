// Opening a video and moving through it: the Open command, the preview, the seek bar, the frame and
// key-frame steps and the clip marks of the main window.
#include <algorithm>
#include <limits>

#include "app/form_controls.h"
#include "app/main_window.h"
#include "ffmpeg/decoder.h"
#include "ffmpeg/ff_load.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

// The video size line: "Frame Width: 640      Frame Height: 360".
std::string SizeText(int32_t Value) { return Value < 0 ? MessageTexts.MS_NAStr : IntToStr(Value); }

// Seek-bar position p of Max as a time within Duration.
int64_t PositionToTime(int32_t Position, int32_t Max, int64_t Duration) {
  if (Max <= 0) return 0;
  return Round(static_cast<long double>(Position) / Max * Duration);
}

}  // namespace

int32_t ClassifyOpenedFile(const std::string& InputFormatName, int32_t VideoStreamCount, int32_t AudioStreamCount,
                           int32_t FrameRateNum, int32_t FrameRateDen) {
  (void)FrameRateDen;
  if (InputFormatName == "image2") return OpenStillImage;
  if (InputFormatName == "mp3") return OpenAudioOnly;
  if (VideoStreamCount > 0) return FrameRateNum > 0 ? OpenVideo : OpenNotFound;
  if (AudioStreamCount > 0) return OpenAudioOnly;
  return OpenNotFound;
}

void TFrmZonvark::WriteVideoSizeLine(int32_t Width, int32_t Height) {
  LabelVideoSize->SetCaption(MessageTexts.MS_VideoWidth + ": " + SizeText(Width) + "      " +
                             MessageTexts.MS_VideoHeight + ": " + SizeText(Height));
}

// ---------------------------------------------------------------------------------------------
// Opening
// ---------------------------------------------------------------------------------------------

void TFrmZonvark::BtnOpenClick(TObject*) {
  if (FBusy) return;
  if (!FFEncoder->AreLibrariesLoaded() && !FFEncoder->LoadLibraries(AppFolder + LibraryFolderName)) {
    Application->MessageBox(MessageTexts.MS_ErrorLib.empty() ? "Can not load library!" : MessageTexts.MS_ErrorLib,
                            MessageTexts.MS_Error.empty() ? "Error" : MessageTexts.MS_Error, MB_ICONERROR | MB_OK);
    return;
  }
  if (!OpenDialogVideo->Execute()) return;
  Application->ProcessMessages();
  // A file the window cannot work on is named with the reason; the window is back to nothing open.
  if (LoadVideo(OpenDialogVideo->FileName()) != OpenVideo)
    Application->MessageBox(FOpenError, MessageTexts.MS_Error.empty() ? "Error" : MessageTexts.MS_Error,
                            MB_ICONERROR | MB_OK);
}

int32_t TFrmZonvark::LoadVideo(const std::string& FileName) {
  const int32_t Result = OpenVideoFile(FileName);
  FVideoWidth = -1;
  FVideoHeight = -1;
  FFrameDuration = -1.0;
  WriteVideoSizeLine(-1, -1);
  if (Result != OpenVideo) {
    Decoder()->CloseFile();
    EnableVideoControls(false, false);
    return Result;
  }
  TVideoStreamInfo Info;
  Decoder()->GetVideoStreamInfo(Info);
  FFrameDuration = double(Info.FrameRate.den) / double(Info.FrameRate.num);
  FVideoWidth = Info.Width;
  FVideoHeight = Info.Height;
  SpinEditWidth->SetMax(FVideoWidth);
  SpinEditHeight->SetMax(FVideoHeight);
  WriteVideoSizeLine(FVideoWidth, FVideoHeight);
  InitVideoNavigation();
  FocusSeekBar();
  ComboBoxSizeChange(nullptr);
  return Result;
}

int32_t TFrmZonvark::OpenVideoFile(const std::string& FileName) {
  ResetVideoState();
  TFFDecoder* D = Decoder();
  if (!D->OpenFile(FileName)) {
    // FFmpeg's reason, which starts with the file's name.
    FOpenError = D->LastErrorMsg().empty() ? FileName + ": cannot be opened" : D->LastErrorMsg();
    D->CloseFile();
    return OpenNotFound;
  }
  TVideoStreamInfo Info;
  if (D->VideoStreamCount() > 0) D->GetVideoStreamInfo(Info);
  const int32_t Result = ClassifyOpenedFile(D->GetInputFormatName(), D->VideoStreamCount(), D->AudioStreamCount(),
                                            Info.FrameRate.num, Info.FrameRate.den);
  switch (Result) {
    case OpenVideo: FOpenError.clear(); break;
    case OpenStillImage: FOpenError = FileName + ": a still-image sequence, not a video"; break;
    case OpenAudioOnly: FOpenError = FileName + ": audio only, no video stream"; break;
    default:
      FOpenError = FileName + (D->VideoStreamCount() > 0 ? ": the video stream has no frame rate" : ": no video stream");
      break;
  }
  return Result;
}

void TFrmZonvark::ResetVideoState() {
  Decoder()->CloseFile();
  FFrameBitmap->SetSize(0, 0);
  TCanvas* C = ImagePlay->Canvas();
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(PreviewBackColor);
  C->FillRect(Rect(0, 0, ImagePlay->Picture()->Width(), ImagePlay->Picture()->Height()));
  PanelViewBk->SetVisible(false);
  FFileDuration = 0;
  FSeekUnits = 0;
  FCurrentPts = 0;
  FStartMark = std::numeric_limits<int64_t>::max();
  FEndMark = std::numeric_limits<int64_t>::min();
  FLastSeekPos = 0;
  EnableVideoControls(false, false);
  LabelPTS->SetCaption(FormatTimeStamp(0));
}

void TFrmZonvark::InitVideoNavigation() {
  EnableVideoControls(true, true);
  TFileStreamInfo File;
  Decoder()->GetFileInfo(File);
  FFileDuration = File.Duration;
  TVideoStreamInfo Video;
  Decoder()->GetVideoStreamInfo(Video);
  const long double Num = Video.FrameRate.num, Den = Video.FrameRate.den;
  if (Den > 0 && Video.DurationUs > 0)
    FSeekUnits = int32_t(Round(Video.DurationUs / 1000000.0L * Num / Den));
  else if (Den > 0)
    FSeekUnits = int32_t(Round(FFileDuration / 1000000.0L * Num / Den));
  else
    FSeekUnits = int32_t(Round(FFileDuration / 1000000.0L * 10));
  GoNextFrame();
  UpdateSeekBarRange();
}

void TFrmZonvark::UpdateSeekBarRange() {
  const bool WasEnabled = TrackBarPlay->Enabled();
  TrackBarPlay->SetEnabled(false);
  const double Ratio = TrackBarPlay->Max() > 0 ? double(TrackBarPlay->Position()) / TrackBarPlay->Max() : 0;
  if (FSeekUnits > 0) TrackBarPlay->SetMax(std::min(FSeekUnits, 32767));
  const int32_t Max = TrackBarPlay->Max();
  TrackBarPlay->SetPageSize(uint16_t(Max < 10 ? 2 : Max < 100 ? 5 : Max / 20));
  TrackBarPlay->SetPosition(int32_t(Round(static_cast<long double>(Max) * Ratio)));
  FLastSeekPos = TrackBarPlay->Position();
  TrackBarPlay->SetEnabled(WasEnabled);
}

void TFrmZonvark::EnableVideoControls(bool Active, bool Steppable) {
  FUpdating = true;
  try {
    for (TControl* C : std::initializer_list<TControl*>{TrackBarPlay, LabelPTS, BtnSetStart, BtnSetEnd, LabelStart,
                                                        LabelEnd, ComboBoxSize, ComboBoxSpeed, LabelGifLoop,
                                                        ComboBoxFrameCount, ComboBoxColor})
      C->SetEnabled(Active);
    for (TControl* C : {BtnPrvKeyFrame, BtnNextFrame, BtnNextKeyFrame}) C->SetEnabled(Active && Steppable);
    ComboBoxSizeChange(ComboBoxSize);
    if (!Active) {
      TrackBarPlay->SetPosition(0);
      TrackBarPlay->SetSelStart(0);
      TrackBarPlay->SetSelEnd(0);
      LabelStart->SetCaption(MessageTexts.MS_NAStr);
      LabelEnd->SetCaption(MessageTexts.MS_NAStr);
      BtnGoToStart->SetEnabled(false);
      BtnGoToEnd->SetEnabled(false);
    }
  } catch (...) {
    FUpdating = false;
    throw;
  }
  FUpdating = false;
}

// ---------------------------------------------------------------------------------------------
// The preview
// ---------------------------------------------------------------------------------------------

void TFrmZonvark::ShowCurrentFrame() {
  TFFDecoder* D = Decoder();
  if (D->CurrentPTS() >= 0) FCurrentPts = D->CurrentPTS();
  LabelPTS->SetCaption(FormatTimeStamp(FCurrentPts));
  if (!FPositioning && FFileDuration > 0) {
    FPositioning = true;
    try {
      const int32_t Max = TrackBarPlay->Max();
      const int64_t Product = int64_t(Max) * FCurrentPts;
      TrackBarPlay->SetPosition(int32_t(std::min<int64_t>(Max, Round(static_cast<long double>(Product) / FFileDuration))));
    } catch (...) {
      FPositioning = false;
      throw;
    }
    FPositioning = false;
  }
  if (D->CopyToBitmap(FFrameBitmap)) DrawFrameToView(FFrameBitmap);
  PanelViewBk->SetVisible(true);
}

void TFrmZonvark::DrawFrameToView(TBitmap* Bitmap) {
  const TRect R = FitRect(Rect(0, 0, Bitmap->Width(), Bitmap->Height()), PanelViewBk->ClientRect());
  if (PanelPlayBk->Width() != R.Width() || PanelPlayBk->Height() != R.Height() || ImagePlay->Width() != R.Width() ||
      ImagePlay->Height() != R.Height()) {
    PanelPlayBk->SetBoundsRect(R);
    ImagePlay->SetBounds(0, 0, R.Width(), R.Height());
    ImagePlay->Picture()->Bitmap()->SetWidth(R.Width());
    ImagePlay->Picture()->Bitmap()->SetHeight(R.Height());
  }
  ImagePlay->Canvas()->StretchDraw(Rect(0, 0, R.Width(), R.Height()), Bitmap);
  ImagePlay->Invalidate();
}

// ---------------------------------------------------------------------------------------------
// Moving through the video
// ---------------------------------------------------------------------------------------------

bool TFrmZonvark::SeekTo(int64_t Target) {
  TFFDecoder* D = Decoder();
  if (!D->Seek({}, Target) && !D->Seek({sfBackward}, Target) && !D->Seek({sfAny}, Target)) return false;
  bool Ok = D->Decode();
  if (Ok && D->CurrentPTS() == Target) return true;
  // Past the target, or nothing after it: back to a key frame at or before the target. The picture the
  // step back shows may be the target itself, so it is looked at before decoding on.
  while (!Ok || D->CurrentPTS() > Target) {
    if (!Ok) {
      Ok = D->Seek({sfBackward}, Target) && D->Decode();
      if (!Ok) return false;
      continue;
    }
    const int64_t Before = D->CurrentPTS();
    if (!D->DecodePreviousKeyFrame()) return false;
    // The stream's first picture comes after the target.
    if (D->CurrentPTS() >= Before) break;
  }
  while (D->CurrentPTS() < Target)
    if (!D->Decode()) return false;
  return true;
}

void TFrmZonvark::GoNextFrame() {
  if (Decoder()->Decode()) ShowCurrentFrame();
}

void TFrmZonvark::GoNextKeyFrame() {
  if (Decoder()->DecodeNextKeyFrame()) ShowCurrentFrame();
}

void TFrmZonvark::GoPrevKeyFrame() {
  if (Decoder()->DecodePreviousKeyFrame()) ShowCurrentFrame();
}

void TFrmZonvark::FocusSeekBar() {
  if (TrackBarPlay->CanFocus()) TrackBarPlay->SetFocus();
}

void TFrmZonvark::BtnNextFrameClick(TObject*) {
  if (FBusy) return;
  GoNextFrame();
  FocusSeekBar();
}

void TFrmZonvark::BtnNextKeyFrameClick(TObject*) {
  if (FBusy) return;
  GoNextKeyFrame();
  FocusSeekBar();
}

void TFrmZonvark::BtnPrvKeyFrameClick(TObject*) {
  if (FBusy) return;
  GoPrevKeyFrame();
  FocusSeekBar();
}

void TFrmZonvark::TrackBarPlayKeyDown(TObject*, uint16_t& Key, TShiftState Shift) {
  if (Key == VK_RIGHT && BtnNextKeyFrame->Enabled()) {
    Key = 0;
    if (Shift.Contains(ssShift))
      BtnNextFrame->Click();
    else
      BtnNextKeyFrame->Click();
  } else if (Key == VK_LEFT && BtnPrvKeyFrame->Enabled()) {
    Key = 0;
    if (!Shift.Contains(ssShift)) BtnPrvKeyFrame->Click();
  }
}

void TFrmZonvark::TrackBarPlayChange(TObject*) {
  if (FUpdating || FBusy) return;
  TFFDecoder* D = Decoder();
  const int32_t Position = TrackBarPlay->Position(), Max = TrackBarPlay->Max();
  if (D->VideoStreamCount() <= 0 || D->GetInputFormatName() == "mp3") {
    FCurrentPts = PositionToTime(Position, Max, FFileDuration);
    return;
  }
  if (FPositioning || !TrackBarPlay->Enabled() || Position == FLastSeekPos) return;
  FPositioning = true;
  try {
    const int64_t Target = PositionToTime(Position, Max, FFileDuration);
    if (Position == FLastSeekPos + 1) {
      if (D->Decode()) ShowCurrentFrame();
    } else if (Position == FLastSeekPos - 1) {
      if (D->DecodePreviousFrame()) ShowCurrentFrame();
    } else {
      SeekTo(Target);
      ShowCurrentFrame();
    }
  } catch (...) {
    FLastSeekPos = TrackBarPlay->Position();
    FPositioning = false;
    throw;
  }
  FLastSeekPos = TrackBarPlay->Position();
  FPositioning = false;
}

// ---------------------------------------------------------------------------------------------
// Clip marks
// ---------------------------------------------------------------------------------------------

void TFrmZonvark::BtnSetStartClick(TObject*) {
  if (FBusy) return;
  const std::string Time = FormatTimeStamp(FCurrentPts);
  if (FEndMark < FCurrentPts) {
    TrackBarPlay->SetSelEnd(TrackBarPlay->Position());
    LabelEnd->SetCaption(Time);
    FEndMark = FCurrentPts;
  }
  TrackBarPlay->SetSelStart(TrackBarPlay->Position());
  LabelStart->SetCaption(Time);
  BtnGoToStart->SetEnabled(LabelStart->Caption() != MessageTexts.MS_NAStr);
  BtnGoToEnd->SetEnabled(LabelEnd->Caption() != MessageTexts.MS_NAStr);
  FStartMark = FCurrentPts;
  FocusSeekBar();
}

void TFrmZonvark::BtnSetEndClick(TObject*) {
  if (FBusy) return;
  const std::string Time = FormatTimeStamp(FCurrentPts);
  if (FStartMark > FCurrentPts) {
    TrackBarPlay->SetSelStart(TrackBarPlay->Position());
    LabelStart->SetCaption(Time);
    FStartMark = FCurrentPts;
  }
  TrackBarPlay->SetSelEnd(TrackBarPlay->Position());
  LabelEnd->SetCaption(Time);
  BtnGoToStart->SetEnabled(LabelStart->Caption() != MessageTexts.MS_NAStr);
  BtnGoToEnd->SetEnabled(LabelEnd->Caption() != MessageTexts.MS_NAStr);
  FEndMark = FCurrentPts;
  FocusSeekBar();
}

void TFrmZonvark::BtnGoToStartClick(TObject*) {
  if (FBusy) return;
  SeekTo(FStartMark);
  ShowCurrentFrame();
  FocusSeekBar();
}

void TFrmZonvark::BtnGoToEndClick(TObject*) {
  if (FBusy) return;
  SeekTo(FEndMark);
  ShowCurrentFrame();
  FocusSeekBar();
}

// ---------------------------------------------------------------------------------------------
// The size preset
// ---------------------------------------------------------------------------------------------

void TFrmZonvark::ComboBoxSizeChange(TObject*) {
  const bool Custom = ComboBoxSize->Enabled() && ComboBoxSize->ItemIndex() == ComboBoxSize->Items()->Count() - 1;
  SpinEditWidth->SetEnabled(Custom);
  SpinEditHeight->SetEnabled(Custom);
  RadioGroupResize->SetEnabled(Custom);
  if (FUpdating || !ComboBoxSize->Enabled() || Custom) return;
  RadioGroupResize->SetItemIndex(0);
  if (FVideoWidth == -1) {
    SpinEditWidth->SetValue(0);
    SpinEditHeight->SetValue(0);
  } else {
    const long double K = ComboBoxSize->ItemIndex() + 1;
    SpinEditWidth->SetValue(double(Round(FVideoWidth / K)));
    SpinEditHeight->SetValue(double(Round(FVideoHeight / K)));
  }
}

}  // namespace zv
