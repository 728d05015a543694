// TfIOPreviews: the image library's save-parameters dialog. One page per format (JPEG, TIFF, GIF, BMP,
// PCX, PNG, TGA, JPEG 2000) edits working values that OK or Apply writes into the I/O component's
// parameters, while the image and a preview of the saved result are shown side by side.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/core/iedefs.h"
#include "imaging/io/io_params.h"
#include "platform/forms.h"

namespace zv {

class TButton;
class TCheckBox;
class TComboBox;
class TEdit;
class TGroupBox;
class TImage;
class TImagingIO;
class TImagingView;
class TLabel;
class TPageControl;
class TPanel;
class TProgressBar;
class TTabSheet;
class TTrackBar;
class TUpDown;

// Bits of the page mask: which pages the dialog offers (and, in a format registry row, which one a
// file type opens on).
constexpr int32_t ppAll = 1;
constexpr int32_t ppFileType = 2;  // the page of the params' current file type
constexpr int32_t ppJPEG = 4;
constexpr int32_t ppTIFF = 8;
constexpr int32_t ppGIF = 16;
constexpr int32_t ppBMP = 32;
constexpr int32_t ppPCX = 64;
constexpr int32_t ppPNG = 128;
constexpr int32_t ppTGA = 256;
constexpr int32_t ppJ2000 = 512;

// The size labels of one page: titles and the byte counts beside them.
struct TIOPreviewSizeLabels {
  TLabel* OriginalTitle = nullptr;
  TLabel* OriginalValue = nullptr;
  TLabel* CompressedTitle = nullptr;
  TLabel* CompressedValue = nullptr;
};

class TfIOPreviews : public TForm {
public:
  explicit TfIOPreviews(TComponent* AOwner);
  ~TfIOPreviews() override;

  // ---- Set up by the I/O component before the dialog shows ----
  // Stores the mask; false when it shows no page at all.
  bool SetPages(int32_t Mask);
  int32_t PageMask() const { return FPageMask; }
  void ApplyLanguage(TMsgLanguage Language);
  // The parameters the dialog reads and, on OK or Apply, writes (not owned).
  void SetParams(TIOParamsVals* Params) { FParams = Params; }
  TIOParamsVals* Params() const { return FParams; }
  // Simplified mode: short JPEG, TIFF and GIF pages and a lower dialog.
  void SetSimplified(bool Value);
  bool Simplified() const { return FSimplified; }
  void SetDefaultLockPreview(bool Value) { FDefaultLockPreview = Value; }
  void SetBWConversion(uint8_t Value) { FBWConversion = Value; }

  // ---- Working values ----
  void LoadWorkingValues();
  void ShowWorkingValues();
  // Computes the result preview and the sizes of the active page (nothing before activation).
  void UpdatePreview();

  static bool LzwAvailable();
  static int32_t TiffCompressionToIndex(int32_t Selector);
  static int32_t IndexToTiffCompression(int32_t Index);

  // The size labels of a page.
  const TIOPreviewSizeLabels& SizeLabels(TTabSheet* Page) const;
  bool Activated() const { return FActivated; }
  int32_t ProgressBase() const { return FProgressBase; }
  int32_t ProgressDivisor() const { return FProgressDivisor; }
  const std::string& PaletteCancelCaption() const { return FPaletteCancelCaption; }

  // ---- Handlers (bound by the form's construction) ----
  void FormCreate(TObject* Sender);
  void FormActivate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void FormResize(TObject* Sender);
  void PageControl1Changing(TObject* Sender, bool& AllowChange);
  void PageControl1Change(TObject* Sender);
  void Button1Click(TObject* Sender);
  void Button3Click(TObject* Sender);
  void Button4Click(TObject* Sender);
  void SpeedButton1Click(TObject* Sender);
  void Imaging1ViewChange(TObject* Sender, int32_t Change);
  void Imaging1Progress(TObject* Sender, int per);
  void TrackBar13Change(TObject* Sender);
  void Edit22Change(TObject* Sender);
  void TrackBar2Change(TObject* Sender);
  void Edit16Change(TObject* Sender);
  void ComboBox2Click(TObject* Sender);
  void ComboBox16Change(TObject* Sender);
  void ComboBox5Click(TObject* Sender);
  void ComboBox18Change(TObject* Sender);
  void Panel3Click(TObject* Sender);
  void Panel4Click(TObject* Sender);
  void ComboBox6Change(TObject* Sender);
  void ComboBox8Change(TObject* Sender);
  void ComboBox10Change(TObject* Sender);
  void Panel1Click(TObject* Sender);
  void ComboBox14Click(TObject* Sender);
  void Panel5Click(TObject* Sender);
  void Edit15Change(TObject* Sender);
  void TrackBar1Change(TObject* Sender);

  // ---- Controls (owned by the form) ----
  TImage* Image1 = nullptr;
  TLabel* Label1 = nullptr;
  TLabel* Label2 = nullptr;
  TImagingView* Imaging1 = nullptr;
  TImagingView* Imaging2 = nullptr;
  TProgressBar* ProgressBar1 = nullptr;
  TPageControl* PageControl1 = nullptr;
  TButton* Button1 = nullptr;
  TButton* Button2 = nullptr;
  TButton* Button3 = nullptr;
  TButton* Button4 = nullptr;
  TCheckBox* chkLockPreview = nullptr;
  TColorDialog* ColorDialog1 = nullptr;

  TTabSheet* TabSheetJPEG1 = nullptr;
  TTabSheet* TabSheetJPEG2 = nullptr;
  TTabSheet* TabSheetTIFF1 = nullptr;
  TTabSheet* TabSheetTIFF2 = nullptr;
  TTabSheet* TabSheetGIF1 = nullptr;
  TTabSheet* TabSheetGIF2 = nullptr;
  TTabSheet* TabSheetBMP1 = nullptr;
  TTabSheet* TabSheetPCX1 = nullptr;
  TTabSheet* TabSheetPNG1 = nullptr;
  TTabSheet* TabSheetTGA1 = nullptr;
  TTabSheet* TabSheetJ20001 = nullptr;

  // JPEG, full and short
  TLabel *Label23 = nullptr, *Label26 = nullptr, *Label27 = nullptr, *Label57 = nullptr, *Label72 = nullptr;
  TEdit *Edit22 = nullptr, *Edit23 = nullptr, *Edit16 = nullptr;
  TTrackBar *TrackBar13 = nullptr, *TrackBar2 = nullptr;
  TGroupBox* GroupBox5 = nullptr;
  TComboBox *ComboBox1 = nullptr, *ComboBox13 = nullptr;
  TUpDown* UpDown11 = nullptr;
  TCheckBox *CheckBox2 = nullptr, *CheckBox3 = nullptr;
  TLabel *Label25 = nullptr, *Label76 = nullptr;
  // TIFF, full and short
  TLabel *Label5 = nullptr, *Label6 = nullptr, *Label7 = nullptr, *Label19 = nullptr;
  TComboBox *ComboBox2 = nullptr, *ComboBox3 = nullptr, *ComboBox4 = nullptr;
  TEdit* Edit1 = nullptr;
  TUpDown* UpDown1 = nullptr;
  TGroupBox* GroupBox1 = nullptr;
  TLabel *Label12 = nullptr, *Label13 = nullptr, *Label14 = nullptr, *Label15 = nullptr, *Label16 = nullptr,
         *Label8 = nullptr, *Label10 = nullptr;
  TEdit *Edit4 = nullptr, *Edit5 = nullptr, *Edit6 = nullptr, *Edit7 = nullptr, *Edit8 = nullptr, *Edit2 = nullptr,
        *Edit3 = nullptr;
  TLabel *Label81 = nullptr, *Label82 = nullptr;
  TComboBox *ComboBox16 = nullptr, *ComboBox17 = nullptr;
  TLabel *Label18 = nullptr, *Label80 = nullptr;
  // GIF, full and short
  TLabel *Label21 = nullptr, *Label20 = nullptr, *Label34 = nullptr, *Label35 = nullptr, *Label87 = nullptr;
  TComboBox *ComboBox5 = nullptr, *ComboBox18 = nullptr;
  TEdit* Edit9 = nullptr;
  TUpDown* UpDown2 = nullptr;
  TCheckBox *CheckBox4 = nullptr, *CheckBox5 = nullptr;
  TPanel *Panel3 = nullptr, *Panel4 = nullptr;
  TGroupBox* GroupBox2 = nullptr;
  TLabel *Label31 = nullptr, *Label32 = nullptr, *Label33 = nullptr, *Label36 = nullptr;
  TEdit *Edit10 = nullptr, *Edit11 = nullptr, *Edit12 = nullptr;
  TLabel *Label30 = nullptr, *Label86 = nullptr;
  // BMP and PCX
  TLabel *Label37 = nullptr, *Label38 = nullptr, *Label43 = nullptr, *Label44 = nullptr;
  TComboBox *ComboBox6 = nullptr, *ComboBox7 = nullptr, *ComboBox8 = nullptr, *ComboBox9 = nullptr;
  TLabel *Label42 = nullptr, *Label48 = nullptr;
  // PNG
  TLabel *Label49 = nullptr, *Label54 = nullptr, *Label55 = nullptr, *Label56 = nullptr;
  TComboBox *ComboBox10 = nullptr, *ComboBox11 = nullptr, *ComboBox12 = nullptr;
  TPanel* Panel1 = nullptr;
  TGroupBox* GroupBox3 = nullptr;
  TCheckBox* CheckBox6 = nullptr;
  TLabel* Label53 = nullptr;
  // TGA
  TLabel *Label62 = nullptr, *Label63 = nullptr, *Label64 = nullptr, *Label65 = nullptr;
  TComboBox* ComboBox14 = nullptr;
  TPanel* Panel5 = nullptr;
  TCheckBox* CheckBox1 = nullptr;
  TEdit *Edit13 = nullptr, *Edit14 = nullptr;
  TLabel* Label61 = nullptr;
  // JPEG 2000
  TLabel *Label66 = nullptr, *Label71 = nullptr;
  TEdit* Edit15 = nullptr;
  TTrackBar* TrackBar1 = nullptr;
  TComboBox* ComboBox15 = nullptr;
  TLabel* Label70 = nullptr;

  // ---- Working values (the controls edit these; OK and Apply copy them into the params) ----
  int32_t JpegQuality = 80;
  int32_t JpegColorSpace = 2;
  int32_t JpegDctMethod = 0;
  bool JpegOptimize = false;
  int32_t JpegSmoothing = 0;
  bool JpegProgressive = false;
  double J2kRate = 1.0;
  int32_t J2kColorSpace = 1;
  int32_t TiffCompression = 0;
  int32_t TiffImageIndex = 0;
  int32_t TiffPhotometric = 2;
  int32_t TiffXPosition = 0;
  int32_t TiffYPosition = 0;
  std::string TiffDocumentName;
  std::string TiffImageDescription;
  std::string TiffPageName;
  int32_t TiffPageNumber = -1;
  int32_t TiffPageTotal = -1;
  int32_t TiffBitsPerSample = 8;
  int32_t TiffSamplesPerPixel = 3;
  TTiffLzwDecoderProc TiffLzwDecoder = nullptr;
  TTiffLzwEncoderProc TiffLzwEncoder = nullptr;
  int32_t GifImageIndex = 0;
  int32_t GifLeft = 0;
  int32_t GifTop = 0;
  int32_t GifDelay = 0;
  bool GifTransparent = false;
  TIERGB24 GifTransparentColor{0, 0, 0};
  bool GifInterlaced = false;
  TIERGB24 GifBackground{0, 0, 0};
  int32_t GifBitsPerSample = 8;
  bool BmpCompression = false;
  int32_t BmpColorIndex = 3;
  bool PcxCompression = true;
  int32_t PcxColorIndex = 3;
  int32_t PngColorIndex = 2;
  bool PngInterlaced = false;
  TIERGB24 PngBackground{0, 0, 0};
  int32_t PngFilter = 0;
  int32_t PngCompression = 5;
  int32_t TgaColorIndex = 2;
  TIERGB24 TgaKeyColor{0, 0, 0};
  bool TgaCompressed = true;
  std::string TgaName;
  std::string TgaDescription;

private:
  void BuildForm();
  void BuildJpegPages();
  void BuildTiffPages();
  void BuildGifPages();
  void BuildOtherPages();
  void AddSizeLabels(TTabSheet* Page, int32_t TitleTop, int32_t ValueTop);
  void MoveSizeLabels(TTabSheet* Page, int32_t TitleTop, int32_t ValueTop);
  // When the lock-preview box is checked: the preview again and a repaint of the result.
  void Recompute();
  void EnableApply();
  // The page showing a format's values (the short form in simplified mode).
  TTabSheet* JpegPage() const;
  TTabSheet* TiffPage() const;
  TTabSheet* GifPage() const;
  void ShowSize(TLabel* Label, int64_t Bytes);
  // Picks a colour from the result palette (Count entries of it); false when nothing was picked.
  bool PickFromPalette(int64_t Count, TPanel* Swatch);
  // The palette dialog when the result has a palette, else the colour dialog.
  void PickBackground(TPanel* Swatch, TIERGB24& Working);
  void SyncResultView();

  TIOParamsVals* FParams = nullptr;
  int32_t FPageMask = 0;
  bool FSimplified = false;
  std::string FPaletteCancelCaption = "&Cancel";
  bool FLive = false;
  bool FDefaultLockPreview = false;
  uint8_t FBWConversion = 1;
  bool FActivated = false;
  int32_t FProgressBase = 0;
  int32_t FProgressDivisor = 1;
  TIOPreviewSizeLabels FSizes[11];
};

// Shows the dialog for IO's work bitmap and parameters, as TImagingIO::ShowParamsDialog asks; installed
// into the I/O component's links by the vector layer's start-up.
bool ShowIOPreviewsDialog(TImagingIO* IO, int16_t Pages);

}  // namespace zv
