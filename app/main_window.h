// The application's one window: the borderless, skinned form that opens a video, steps through it,
// marks a clip and converts it to an animated GIF, with the state every command works on.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "app/tovrik_fun.h"
#include "platform/forms.h"

namespace zv {

class TAALabel;
class TBitmap;
class TFFDecoder;
class TFFEncoder;
class TFormShadow;
class TImage;
class TImageList;
class TImagingView;
class TLabel;
class TMenuItem;
class TPopupMenu;
class TRzBmpButton;
class TRzCheckBox;
class TRzComboBox;
class TRzLabel;
class TRzPanel;
class TRzProgressBar;
class TRzRadioGroup;
class TRzSeparator;
class TRzSpinEdit;
class TRzTrackBar;
class TFrmZonvark;

// ---------------------------------------------------------------------------------------------
// Process-wide state of the window's unit
// ---------------------------------------------------------------------------------------------

// Folder of the executable, always ending in '/'.
extern std::string AppFolder;
// Interface language 1..7 (see tovrik_fun.h); 0 while none is chosen.
extern uint8_t LanguageId;
// The eight message texts of the current language file; empty until a language file was read.
extern TMessageTexts MessageTexts;
// The window, once the application created it.
extern TFrmZonvark* FrmZonvark;

// The folder part of the executable's path, with '/' appended when missing.
std::string GetAppFolder();

// Open results of TFrmZonvark::OpenVideoFile and LoadVideo.
constexpr int32_t OpenNotFound = -1;  // cannot be opened, or neither video nor audio inside
constexpr int32_t OpenStillImage = 0; // input format "image2"
constexpr int32_t OpenVideo = 1;      // a video the window can work on
constexpr int32_t OpenAudioOnly = 2;  // input format "mp3", or audio without video

// The class-library filter of the Open dialog.
inline constexpr const char* VideoFileFilter =
    "Video files|*.3GP;*.ASF;*.AVI;*.AVM;*.AVS;*.DAT;*.FLV;*.MKV;*.MOV;*.MP4;*.MPEG;*.MPG;*.NSV;*.OGM;*.RM;*.RMVB;"
    "*.TP;*.TS;*.VOB;*.WMV;|All Files|*.*";
// The preview's background while nothing is shown.
constexpr TColor PreviewBackColor = 0xF0CAA6;  // clSkyBlue
// The form's own colour, also the body of the skin.
constexpr TColor FormBodyColor = 0xF1E8E0;

// ---------------------------------------------------------------------------------------------
// The main window
// ---------------------------------------------------------------------------------------------

class TFrmZonvark : public TForm {
public:
  // Builds the form from its description (components, names, bounds, properties, event bindings)
  // and runs FormCreate.
  explicit TFrmZonvark(TComponent* AOwner);
  ~TFrmZonvark() override;

  void Dispatch(TMessage& Message) override;

  // --- components: window frame and title strip ---
  TImage* ImageBk = nullptr;
  TImage* ImageBkPic = nullptr;
  TLabel* LabelFormTop = nullptr;
  TAALabel* LabelTitle = nullptr;
  TImage* ImageLanguage = nullptr;
  TAALabel* LabelLanguage = nullptr;
  TRzBmpButton* BtnSysMinSize = nullptr;
  TRzBmpButton* BtnSysClose = nullptr;

  // --- commands and video ---
  TRzBmpButton* BtnOpen = nullptr;
  TRzBmpButton* BtnSave = nullptr;
  TRzBmpButton* BtnHelp = nullptr;
  TLabel* LabelVideo = nullptr;
  TRzSeparator* SeparatorVideo = nullptr;
  TLabel* LabelVideoSize = nullptr;
  TRzPanel* PanelVideo = nullptr;
  TImage* ImageViewBk = nullptr;
  TRzPanel* PanelViewBk = nullptr;
  TRzPanel* PanelPlayBk = nullptr;
  TImage* ImagePlay = nullptr;
  TRzTrackBar* TrackBarPlay = nullptr;
  TRzBmpButton* BtnPrvKeyFrame = nullptr;
  TRzLabel* LabelPTS = nullptr;
  TRzBmpButton* BtnNextFrame = nullptr;
  TRzBmpButton* BtnNextKeyFrame = nullptr;
  TRzPanel* PanelState = nullptr;
  TLabel* LabelWait = nullptr;
  TRzProgressBar* RzProgressBar1 = nullptr;
  TRzBmpButton* BtnCancel = nullptr;

  // --- clip marks ---
  TLabel* LabelClip = nullptr;
  TRzSeparator* SeparatorClip = nullptr;
  TRzBmpButton* BtnSetStart = nullptr;
  TRzBmpButton* BtnSetEnd = nullptr;
  TRzLabel* LabelStart = nullptr;
  TRzLabel* LabelEnd = nullptr;
  TRzBmpButton* BtnGoToStart = nullptr;
  TRzBmpButton* BtnGoToEnd = nullptr;

  // --- GIF options (inside PanelGif) ---
  TRzPanel* PanelGif = nullptr;
  TLabel* LabelGif = nullptr;
  TRzSeparator* SeparatorGif = nullptr;
  TRzComboBox* ComboBoxSize = nullptr;
  TRzSpinEdit* SpinEditWidth = nullptr;
  TRzSpinEdit* SpinEditHeight = nullptr;
  TRzRadioGroup* RadioGroupResize = nullptr;
  TRzComboBox* ComboBoxSpeed = nullptr;
  TRzComboBox* ComboBoxFrameCount = nullptr;
  TRzComboBox* ComboBoxColor = nullptr;
  TRzCheckBox* LabelGifLoop = nullptr;
  TLabel* LabelGifSize = nullptr;
  TLabel* LabelGifWidth = nullptr;
  TLabel* LabelGifHeight = nullptr;
  TLabel* LabelGifSpeed = nullptr;
  TLabel* LabelGifFrame = nullptr;
  TLabel* LabelGifColor = nullptr;

  // --- components without a window ---
  TFFEncoder* FFEncoder = nullptr;
  TOpenDialog* OpenDialogVideo = nullptr;
  TSaveDialog* SaveDialog1 = nullptr;
  TImageList* ImageListLanguage = nullptr;
  TPopupMenu* PopupMenuLanguage = nullptr;
  TMenuItem* PM_English = nullptr;
  TMenuItem* PM_Spanish = nullptr;
  TMenuItem* PM_German = nullptr;
  TMenuItem* PM_Italian = nullptr;
  TMenuItem* PM_French = nullptr;
  TMenuItem* PM_Chinese = nullptr;
  TMenuItem* PM_Japanese = nullptr;

  // --- handlers of the window (main_window.cpp) ---
  void FormCreate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  // A close request of any kind while a conversion runs cancels it; the window closes after the
  // conversion's clean-up (FCloseRequested).
  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void BtnSysMinSizeClick(TObject* Sender);
  void BtnSysCloseClick(TObject* Sender);
  void LabelFormTopMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void BtnHelpClick(TObject* Sender);
  void LabelTitleClick(TObject* Sender);
  void PanelPlayBkClick(TObject* Sender);

  // --- handlers of opening and navigation (navigation.cpp) ---
  void BtnOpenClick(TObject* Sender);
  void BtnPrvKeyFrameClick(TObject* Sender);
  void BtnNextFrameClick(TObject* Sender);
  void BtnNextKeyFrameClick(TObject* Sender);
  void TrackBarPlayKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void TrackBarPlayChange(TObject* Sender);
  void BtnSetStartClick(TObject* Sender);
  void BtnSetEndClick(TObject* Sender);
  void BtnGoToStartClick(TObject* Sender);
  void BtnGoToEndClick(TObject* Sender);
  void ComboBoxSizeChange(TObject* Sender);

  // --- handlers of the conversion (conversion.cpp) ---
  void BtnSaveClick(TObject* Sender);
  void BtnCancelClick(TObject* Sender);

  // --- handlers of the language menu (main_window.cpp) ---
  void LabelLanguageClick(TObject* Sender);
  void PM_EnglishClick(TObject* Sender);

  // --- operations ---
  // Opening and navigation (navigation.cpp).
  int32_t LoadVideo(const std::string& FileName);
  int32_t OpenVideoFile(const std::string& FileName);
  void ResetVideoState();
  void InitVideoNavigation();
  void UpdateSeekBarRange();
  void EnableVideoControls(bool Active, bool Steppable);
  void ShowCurrentFrame();
  void DrawFrameToView(TBitmap* Bitmap);
  bool SeekTo(int64_t Target);
  void GoNextFrame();
  void GoNextKeyFrame();
  void GoPrevKeyFrame();
  void FocusSeekBar();
  // MS_VideoWidth: w      MS_VideoHeight: h (MS_NAStr for a negative size).
  void WriteVideoSizeLine(int32_t Width, int32_t Height);

  // The conversion loop (conversion.cpp); see BtnSaveClick for the parameters.
  void ConvertToGif(const std::string& FileName, int32_t GifWriteWidth, int32_t GifWriteHeight, int32_t ResizeMode,
                    int32_t FrameStep, int32_t PaletteBits, bool Loop, double SpeedFactor);

  // Settings: the controls from and to "Options.ini" (main_window.cpp).
  void LoadOptions();
  void SaveOptions();

  // Languages (main_window.cpp).
  void ApplyLanguage(uint8_t Id);
  void LayoutSeparators();
  void DrawLanguageFlag(int32_t FlagIndex);

  // The skin: the window region and the nine-slice copy of Source onto Canvas.
  void PaintSkin(TCanvas* Canvas, TGraphic* Source, int32_t H, int32_t W);

  // The decoder owned by FFEncoder.
  TFFDecoder* Decoder() const;

  // --- state, read by tests and the conversion ---
  TFormShadow* FShadow = nullptr;
  TBitmap* FFrameBitmap = nullptr;
  TImagingView* FGifView = nullptr;
  int64_t FFileDuration = 0;
  int32_t FSeekUnits = 0;
  int64_t FCurrentPts = 0;
  int64_t FStartMark = std::numeric_limits<int64_t>::max();
  int64_t FEndMark = std::numeric_limits<int64_t>::min();
  int32_t FLastSeekPos = 0;
  int32_t FVideoWidth = -1;
  int32_t FVideoHeight = -1;
  double FFrameDuration = -1.0;
  bool FPositioning = false;
  bool FUpdating = false;
  bool FBusy = false;
  bool FCancel = false;
  // A close was asked for during a conversion: the conversion's clean-up closes the window.
  bool FCloseRequested = false;
  // Why the last file given to OpenVideoFile cannot be worked on, naming the file; empty for a video.
  std::string FOpenError;
};

// The class of a file the decoder opened: one of the Open* results. A video whose frame rate has no
// positive numerator gives no frame duration to step or time a GIF by, so it is refused
// (OpenNotFound) like a file that cannot be opened.
int32_t ClassifyOpenedFile(const std::string& InputFormatName, int32_t VideoStreamCount, int32_t AudioStreamCount,
                           int32_t FrameRateNum, int32_t FrameRateDen);

}  // namespace zv
