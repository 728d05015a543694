// The main window's conversion of the marked clip to an animated GIF: Save, the loop with its progress
// panel, and Cancel. The frame arithmetic and the writing live in gif_maker.
#include <cstdint>
#include <string>

#include "app/form_controls.h"
#include "app/gif_maker.h"
#include "app/main_window.h"
#include "ffmpeg/decoder.h"
#include "platform/forms.h"
#include "platform/graphics.h"
#include "platform/sysutils.h"
#include "platform/windows.h"

namespace zv {

namespace {

const std::string& TextOr(const std::string& Text, const std::string& BuiltIn) { return Text.empty() ? BuiltIn : Text; }

}  // namespace

void TFrmZonvark::BtnSaveClick(TObject*) {
  if (FBusy) return;
  // No clip is marked.
  if (LabelStart->Caption() == MessageTexts.MS_NAStr || LabelEnd->Caption() == MessageTexts.MS_NAStr) return;

  const TGifSize Size = GifSizeForPreset(ComboBoxSize->ItemIndex(), ComboBoxSize->Items()->Count(), FVideoWidth,
                                         FVideoHeight, static_cast<int32_t>(Round(SpinEditWidth->Value())),
                                         static_cast<int32_t>(Round(SpinEditHeight->Value())),
                                         RadioGroupResize->ItemIndex());
  const int32_t FrameStep = ComboBoxFrameCount->ItemIndex() + 1;
  const double SpeedFactor = SpeedFactorFromText(ComboBoxSpeed->Text());

  SaveDialog1->SetFilter("GIF Image (*.gif)|*.gif");
  SaveDialog1->SetDefaultExt("gif");
  SaveDialog1->SetOptions({ofOverwritePrompt, ofHideReadOnly, ofEnableSizing});
  if (!SaveDialog1->Execute()) return;
  const int32_t PaletteBits = ComboBoxColor->ItemIndex() + 2;
  const bool Loop = LabelGifLoop->Checked();
  ConvertToGif(SaveDialog1->FileName(), Size.Width, Size.Height, Size.ResizeMode, FrameStep, PaletteBits, Loop,
               SpeedFactor);
}

void TFrmZonvark::BtnCancelClick(TObject*) {
  // The box runs inside the loop's message pumping, so the conversion waits for the answer.
  const int Answer = Application->MessageBox(TextOr(MessageTexts.MS_InfoCancel, "Really want to cancel?"),
                                             TextOr(MessageTexts.MS_Info, "Information"), MB_ICONQUESTION | MB_YESNO);
  if (Answer == IDYES) FCancel = true;
}

void TFrmZonvark::ConvertToGif(const std::string& FileName, int32_t GifWriteWidth, int32_t GifWriteHeight,
                               int32_t ResizeMode, int32_t FrameStep, int32_t PaletteBits, bool Loop,
                               double SpeedFactor) {
  TGifSettings Settings;
  Settings.FileName = FileName;
  Settings.GifWriteWidth = GifWriteWidth;
  Settings.GifWriteHeight = GifWriteHeight;
  Settings.ResizeMode = ResizeMode;
  Settings.FrameStep = FrameStep;
  Settings.PaletteBits = PaletteBits;
  Settings.Loop = Loop;
  Settings.SpeedFactor = SpeedFactor;

  FBusy = true;
  FCancel = false;
  PanelGif->SetEnabled(false);

  auto CleanUp = [this] {
    PanelState->SetVisible(false);
    Application->ProcessMessages();
    ShowCurrentFrame();
    FBusy = false;
    PanelGif->SetEnabled(true);
  };
  // A close asked for during the conversion cancelled it; the window closes now that nothing runs.
  auto CloseIfRequested = [this] {
    if (!FCloseRequested) return;
    FCloseRequested = false;
    Close();
  };

  try {
    // A failed seek writes nothing and reports nothing.
    if (SeekTo(FStartMark)) {
      TFFDecoder* D = Decoder();
      const int64_t Pts = D->CurrentPTS();
      const int64_t Base = Pts > 0 ? Pts - 1 : 0;
      const TGifProgressRange Range(Base, FEndMark);
      PanelState->SetVisible(true);
      RzProgressBar1->SetTotalParts(Range.TotalParts());
      RzProgressBar1->SetPartsComplete(0);
      Application->ProcessMessages();

      TGifLoopHooks Hooks;
      Hooks.Progress = [this](int32_t Parts) {
        RzProgressBar1->SetPartsComplete(Parts);
        // Cancel, repainting and the handlers that stay live get their turn here.
        Application->ProcessMessages();
      };
      Hooks.Cancelled = [this] { return FCancel; };
      RunGifLoop(D, FGifView, Settings, FStartMark, FEndMark, FFrameDuration, FFrameBitmap, Range, Hooks);
    }
  } catch (...) {
    CleanUp();
    CloseIfRequested();
    throw;
  }
  CleanUp();
  CloseIfRequested();
}

}  // namespace zv
