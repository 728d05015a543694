// The save-parameters dialog: its form, pages, working values, handlers and OK / Apply. The result
// preview is in io_previews_result.cpp.
#include "imaging/vector/io_previews.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "imaging/core/color_utils.h"
#include "imaging/core/ie_lists.h"
#include "imaging/core/palette_dialog.h"
#include "imaging/core/shading.h"
#include "imaging/core/word_table.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/view/imaging_view.h"
#include "platform/common_controls.h"
#include "platform/std_combo.h"
#include "platform/std_controls.h"
#include "platform/std_edit.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

// Takes a page's colour item and compression choice (item 0 is none) into its working values; true when
// either changed.
bool TakeColorsAndCompression(TComboBox* ColorsBox, TComboBox* CompressionBox, int32_t& ColorIndex,
                              bool& Compression) {
  const int32_t Colors = ColorsBox->ItemIndex();
  const bool Compressed = CompressionBox->ItemIndex() > 0;
  if ((Colors < 0 || Colors == ColorIndex) && Compressed == Compression) return false;
  if (Colors >= 0) ColorIndex = Colors;
  Compression = Compressed;
  return true;
}

enum TPreviewPageId : int { pgJPEG1, pgJPEG2, pgTIFF1, pgTIFF2, pgGIF1, pgGIF2, pgBMP1, pgPCX1, pgPNG1, pgTGA1, pgJ20001 };

constexpr int32_t kPreviewFullTitleTop = 140;
constexpr int32_t kPreviewFullValueTop = 156;
constexpr int32_t kPreviewShortTitleTop = 61;
constexpr int32_t kPreviewShortValueTop = 77;

void SetListItems(TComboBox* Combo, std::initializer_list<const char*> Items) {
  Combo->Items()->Clear();
  for (const char* Item : Items) Combo->Items()->Add(Item);
}

// The entry of a small table for a list index, or Fallback for an index outside it (a list
// without a selection answers -1).
template <typename T, size_t N>
T ListEntryOr(const T (&Table)[N], int32_t Index, T Fallback) {
  return Index >= 0 && size_t(Index) < N ? Table[Index] : Fallback;
}

// Samples and bits of the TIFF colours list "B/W", "16", "256", "65536", "16M".
constexpr int32_t kPreviewTiffSamples[] = {1, 1, 1, 1, 3};
constexpr int32_t kPreviewTiffBits[] = {1, 4, 8, 16, 8};
// Of the BMP, PCX and PNG / TGA colour lists.
constexpr int32_t kPreviewBmpSamples[] = {1, 1, 1, 3, 3};
constexpr int32_t kPreviewBmpBits[] = {1, 4, 8, 8, 8};
constexpr int32_t kPreviewPngSamples[] = {1, 1, 3};
constexpr int32_t kPreviewPngBits[] = {1, 8, 8};

// The colour index of the PNG and TGA lists for samples and bits.
int32_t PreviewPngColorIndex(int32_t Samples, int32_t Bits) {
  if (Samples == 1) return Bits == 1 ? 0 : 1;
  return 2;
}

std::string WordWithColon(int32_t Id, TMsgLanguage Language) { return LookupWord(Id, Language) + ":"; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Form
// ---------------------------------------------------------------------------------------------

TfIOPreviews::TfIOPreviews(TComponent* AOwner) : TForm(AOwner) {
  BuildForm();
  // The window's first size, which its creation reports on the desktop the dialog was made for.
  FormResize(this);
}

TfIOPreviews::~TfIOPreviews() {
  // The views' progress handlers reach this form's bar; they go before the controls do.
  if (Imaging1 != nullptr) Imaging1->SetOnProgress(nullptr);
  if (Imaging2 != nullptr) Imaging2->SetOnProgress(nullptr);
  if (Imaging1 != nullptr) Imaging1->OnViewChange = nullptr;
  BeforeDestruction();
}

void TfIOPreviews::BuildForm() {
  TFormLoader L(this);
  L.Set(this, {{"Caption", "Parameters Preview"},
               {"BorderStyle", "bsDialog"},
               {"BorderIcons", "[biSystemMenu]"},
               {"Position", "poScreenCenter"},
               {"Font.Name", "MS Sans Serif"},
               {"Font.Height", "-11"}});
  SetClientWidth(527);
  SetClientHeight(425);

  Image1 = L.Add<TImage>("Image1", this, Bounds(0, 0, 527, 425), {{"Align", "alClient"}});
  Label1 = L.Add<TLabel>("Label1", this, Bounds(5, 1, 41, 13), {{"Caption", "Source:"}});
  Label2 = L.Add<TLabel>("Label2", this, Bounds(227, 1, 36, 13), {{"Caption", "Result:"}});
  Imaging1 = L.Add<TImagingView>("Imaging1", this, Bounds(6, 17, 191, 135));
  Imaging1->SetBackground(clWhite);
  Imaging1->SetMouseInteract({miZoom, miScroll});
  Imaging2 = L.Add<TImagingView>("Imaging2", this, Bounds(227, 17, 191, 135));
  Imaging2->SetBackground(clWhite);
  Imaging2->SetMouseInteract({});
  ProgressBar1 = L.Add<TProgressBar>("ProgressBar1", this, Bounds(6, 157, 412, 10));
  PageControl1 = L.Add<TPageControl>("PageControl1", this, Bounds(8, 172, 417, 217), {{"HotTrack", "True"}});
  Button1 = L.Add<TButton>("Button1", this, Bounds(432, 15, 87, 23),
                           {{"Caption", "OK"}, {"Default", "True"}, {"ModalResult", "1"}});
  Button2 = L.Add<TButton>("Button2", this, Bounds(432, 43, 87, 23),
                           {{"Caption", "Cancel"}, {"Cancel", "True"}, {"ModalResult", "2"}});
  Button3 = L.Add<TButton>("Button3", this, Bounds(432, 76, 87, 23), {{"Caption", "&Preview"}});
  Button4 = L.Add<TButton>("Button4", this, Bounds(432, 106, 87, 23), {{"Caption", "&Apply"}, {"Enabled", "False"}});
  chkLockPreview = L.Add<TCheckBox>("chkLockPreview", this, Bounds(12, 398, 365, 17),
                                    {{"Caption", "Lock Preview"},
                                     {"Hint", "Automatically updates your preview with the changes you have selected"},
                                     {"ShowHint", "False"}});
  ColorDialog1 = L.Add<TColorDialog>("ColorDialog1");

  auto Sheet = [&](const char* Name, const char* Caption) {
    return L.Add<TTabSheet>(Name, PageControl1, Bounds(4, 24, 409, 189), {{"Caption", Caption}});
  };
  TabSheetJPEG1 = Sheet("TabSheetJPEG1", "JPEG");
  TabSheetJPEG2 = Sheet("TabSheetJPEG2", "JPEG");
  TabSheetTIFF1 = Sheet("TabSheetTIFF1", "TIFF");
  TabSheetTIFF2 = Sheet("TabSheetTIFF2", "TIFF");
  TabSheetGIF1 = Sheet("TabSheetGIF1", "GIF");
  TabSheetGIF2 = Sheet("TabSheetGIF2", "GIF");
  TabSheetBMP1 = Sheet("TabSheetBMP1", "BMP");
  TabSheetPCX1 = Sheet("TabSheetPCX1", "PCX");
  TabSheetPNG1 = Sheet("TabSheetPNG1", "PNG");
  TabSheetTGA1 = Sheet("TabSheetTGA1", "TGA");
  TabSheetJ20001 = Sheet("TabSheetJ20001", "JPEG2000");

  auto LabelAt = [&](const char* Name, TWinControl* Parent, int32_t X, int32_t Y, const char* Caption) {
    TLabel* Label = L.Add<TLabel>(Name, Parent, Bounds(X, Y, 60, 13), {{"Caption", Caption}});
    Label->SetAutoSize(true);
    return Label;
  };
  auto EditAt = [&](const char* Name, TWinControl* Parent, const TRect& R) {
    return L.Add<TEdit>(Name, Parent, R, {{"Text", ""}});
  };
  auto ListAt = [&](const char* Name, TWinControl* Parent, const TRect& R, std::initializer_list<const char*> Items) {
    TComboBox* Combo = L.Add<TComboBox>(Name, Parent, R);
    Combo->SetStyle(csDropDownList);
    SetListItems(Combo, Items);
    return Combo;
  };
  auto Swatch = [&](const char* Name, TWinControl* Parent, const TRect& R) {
    TPanel* Panel = L.Add<TPanel>(Name, Parent, R, {{"Caption", ""}, {"BevelOuter", "bvLowered"}});
    return Panel;
  };

  // JPEG, full
  Label23 = LabelAt("Label23", TabSheetJPEG1, 8, 8, "&Quality:");
  Edit22 = EditAt("Edit22", TabSheetJPEG1, Bounds(8, 24, 41, 21));
  TrackBar13 = L.Add<TTrackBar>("TrackBar13", TabSheetJPEG1, Bounds(52, 20, 150, 33),
                                {{"Max", "100"}, {"Frequency", "5"}, {"PageSize", "10"}});
  Label57 = LabelAt("Label57", TabSheetJPEG1, 8, 58, "P&hotometric:");
  ComboBox13 = ListAt("ComboBox13", TabSheetJPEG1, Bounds(8, 74, 110, 21), {"RGB", "GrayScale", "YCbCr", "CMYK", "YCbCrK"});
  GroupBox5 = L.Add<TGroupBox>("GroupBox5", TabSheetJPEG1, Bounds(210, 2, 190, 128), {{"Caption", " Advanced "}});
  Label26 = LabelAt("Label26", GroupBox5, 8, 20, "&DCT method:");
  ComboBox1 = ListAt("ComboBox1", GroupBox5, Bounds(100, 16, 80, 21), {"ISLOW", "IFAST", "FLOAT"});
  Label27 = LabelAt("Label27", GroupBox5, 8, 46, "&Smoothing factor:");
  Edit23 = EditAt("Edit23", GroupBox5, Bounds(110, 42, 49, 21));
  UpDown11 = L.Add<TUpDown>("UpDown11", GroupBox5, Bounds(159, 42, 15, 21), {{"Max", "100"}});
  CheckBox2 = L.Add<TCheckBox>("CheckBox2", GroupBox5, Bounds(8, 74, 170, 17), {{"Caption", "&Optimal Huffman"}});
  CheckBox3 = L.Add<TCheckBox>("CheckBox3", GroupBox5, Bounds(8, 98, 170, 17), {{"Caption", "P&rogressive"}});
  // JPEG, short
  Label72 = LabelAt("Label72", TabSheetJPEG2, 8, 8, "&Quality:");
  Edit16 = EditAt("Edit16", TabSheetJPEG2, Bounds(8, 24, 41, 21));
  TrackBar2 = L.Add<TTrackBar>("TrackBar2", TabSheetJPEG2, Bounds(52, 20, 250, 33),
                               {{"Max", "100"}, {"Frequency", "5"}, {"PageSize", "10"}});

  // TIFF, full
  Label5 = LabelAt("Label5", TabSheetTIFF1, 8, 8, "&Compression:");
  ComboBox2 = ListAt("ComboBox2", TabSheetTIFF1, Bounds(8, 24, 106, 21), {});
  Label6 = LabelAt("Label6", TabSheetTIFF1, 8, 54, "&Image index:");
  Edit1 = EditAt("Edit1", TabSheetTIFF1, Bounds(8, 70, 49, 21));
  UpDown1 = L.Add<TUpDown>("UpDown1", TabSheetTIFF1, Bounds(57, 70, 15, 21), {{"Max", "1000"}});
  Label7 = LabelAt("Label7", TabSheetTIFF1, 120, 8, "P&hotometric:");
  ComboBox3 = ListAt("ComboBox3", TabSheetTIFF1, Bounds(120, 24, 104, 21),
                     {"WHITEISZERO/Gray", "BLACKISZERO/Gray", "RGB", "RGBPALETTE", "TRANSPMASK", "CMYK", "YCBCR",
                      "CIELAB"});
  Label19 = LabelAt("Label19", TabSheetTIFF1, 120, 54, "C&olors:");
  ComboBox4 = ListAt("ComboBox4", TabSheetTIFF1, Bounds(120, 70, 80, 21), {"B/W", "16", "256", "65536", "16M"});
  GroupBox1 =
      L.Add<TGroupBox>("GroupBox1", TabSheetTIFF1, Bounds(230, 2, 174, 136), {{"Caption", " Scanned document info "}});
  Label12 = LabelAt("Label12", GroupBox1, 6, 18, "&Name:");
  Edit4 = EditAt("Edit4", GroupBox1, Bounds(84, 15, 84, 19));
  Label13 = LabelAt("Label13", GroupBox1, 6, 38, "&Description:");
  Edit5 = EditAt("Edit5", GroupBox1, Bounds(84, 35, 84, 19));
  Label14 = LabelAt("Label14", GroupBox1, 6, 58, "P&age name:");
  Edit6 = EditAt("Edit6", GroupBox1, Bounds(84, 55, 84, 19));
  Label15 = LabelAt("Label15", GroupBox1, 6, 78, "Page N&umber:");
  Edit7 = EditAt("Edit7", GroupBox1, Bounds(84, 75, 32, 19));
  Label16 = LabelAt("Label16", GroupBox1, 121, 78, "o&f");
  Edit8 = EditAt("Edit8", GroupBox1, Bounds(136, 75, 32, 19));
  Label8 = LabelAt("Label8", GroupBox1, 6, 98, "H&oriz. Position (inch):");
  Edit2 = EditAt("Edit2", GroupBox1, Bounds(136, 95, 32, 19));
  Label10 = LabelAt("Label10", GroupBox1, 6, 118, "&Vert. Position (inch):");
  Edit3 = EditAt("Edit3", GroupBox1, Bounds(136, 115, 32, 19));
  // TIFF, short
  Label81 = LabelAt("Label81", TabSheetTIFF2, 8, 8, "&Compression:");
  ComboBox16 = ListAt("ComboBox16", TabSheetTIFF2, Bounds(8, 24, 118, 21), {});
  Label82 = LabelAt("Label82", TabSheetTIFF2, 134, 8, "C&olors:");
  ComboBox17 = ListAt("ComboBox17", TabSheetTIFF2, Bounds(134, 24, 90, 21), {"2", "16", "256", "16777216"});

  // GIF, full
  Label21 = LabelAt("Label21", TabSheetGIF1, 8, 8, "&Colors:");
  ComboBox5 = ListAt("ComboBox5", TabSheetGIF1, Bounds(8, 24, 70, 21), {"B/W", "4", "8", "16", "32", "64", "128", "256"});
  Label20 = LabelAt("Label20", TabSheetGIF1, 8, 54, "&Image index:");
  Edit9 = EditAt("Edit9", TabSheetGIF1, Bounds(8, 70, 49, 21));
  UpDown2 = L.Add<TUpDown>("UpDown2", TabSheetGIF1, Bounds(57, 70, 15, 21), {{"Max", "1000"}});
  CheckBox4 = L.Add<TCheckBox>("CheckBox4", TabSheetGIF1, Bounds(96, 26, 120, 17), {{"Caption", "&Transparent:"}});
  Label34 = LabelAt("Label34", TabSheetGIF1, 96, 52, "T&ransparent color:");
  Panel3 = Swatch("Panel3", TabSheetGIF1, Bounds(212, 50, 30, 17));
  CheckBox5 = L.Add<TCheckBox>("CheckBox5", TabSheetGIF1, Bounds(96, 76, 120, 17), {{"Caption", "I&nterlaced:"}});
  Label35 = LabelAt("Label35", TabSheetGIF1, 96, 102, "&Background:");
  Panel4 = Swatch("Panel4", TabSheetGIF1, Bounds(212, 100, 30, 17));
  GroupBox2 = L.Add<TGroupBox>("GroupBox2", TabSheetGIF1, Bounds(244, 2, 158, 98), {{"Caption", " Advanced "}});
  Label31 = LabelAt("Label31", GroupBox2, 8, 20, "&Horiz. Position:");
  Edit10 = EditAt("Edit10", GroupBox2, Bounds(100, 16, 50, 21));
  Label32 = LabelAt("Label32", GroupBox2, 8, 46, "&Vert. Position:");
  Edit11 = EditAt("Edit11", GroupBox2, Bounds(100, 42, 50, 21));
  Label33 = LabelAt("Label33", GroupBox2, 8, 72, "&Delay time:");
  Edit12 = EditAt("Edit12", GroupBox2, Bounds(74, 68, 36, 21));
  Label36 = LabelAt("Label36", GroupBox2, 114, 72, "1/100 s");
  // GIF, short
  Label87 = LabelAt("Label87", TabSheetGIF2, 8, 8, "&Colors:");
  ComboBox18 =
      ListAt("ComboBox18", TabSheetGIF2, Bounds(8, 24, 70, 21), {"B/W", "4", "8", "16", "32", "64", "128", "256"});

  // BMP and PCX
  Label37 = LabelAt("Label37", TabSheetBMP1, 8, 8, "&Compression:");
  ComboBox6 = ListAt("ComboBox6", TabSheetBMP1, Bounds(8, 24, 118, 21), {"UNCOMPRESSED", "RLE"});
  Label38 = LabelAt("Label38", TabSheetBMP1, 134, 8, "C&olors:");
  ComboBox7 = ListAt("ComboBox7", TabSheetBMP1, Bounds(134, 24, 100, 21), {"B/W", "16", "256", "16M", "16M (32bit)"});
  Label43 = LabelAt("Label43", TabSheetPCX1, 8, 8, "&Compression:");
  ComboBox8 = ListAt("ComboBox8", TabSheetPCX1, Bounds(8, 24, 118, 21), {"UNCOMPRESSED", "RLE"});
  Label44 = LabelAt("Label44", TabSheetPCX1, 134, 8, "C&olors:");
  ComboBox9 = ListAt("ComboBox9", TabSheetPCX1, Bounds(134, 24, 100, 21), {"B/W", "16", "256", "16M"});

  // PNG
  Label49 = LabelAt("Label49", TabSheetPNG1, 8, 8, "C&olors:");
  ComboBox10 = ListAt("ComboBox10", TabSheetPNG1, Bounds(8, 24, 80, 21), {"B/W", "256", "16M"});
  Label54 = LabelAt("Label54", TabSheetPNG1, 8, 56, "&Background:");
  Panel1 = Swatch("Panel1", TabSheetPNG1, Bounds(8, 72, 30, 17));
  GroupBox3 = L.Add<TGroupBox>("GroupBox3", TabSheetPNG1, Bounds(130, 2, 200, 100), {{"Caption", " Advanced "}});
  Label55 = LabelAt("Label55", GroupBox3, 8, 20, "&Filter");
  ComboBox11 = ListAt("ComboBox11", GroupBox3, Bounds(96, 16, 90, 21), {"None", "Sub", "Paeth"});
  CheckBox6 = L.Add<TCheckBox>("CheckBox6", GroupBox3, Bounds(8, 46, 120, 17), {{"Caption", "I&nterlaced:"}});
  Label56 = LabelAt("Label56", GroupBox3, 8, 74, "Co&mpression");
  ComboBox12 = ListAt("ComboBox12", GroupBox3, Bounds(96, 70, 60, 21),
                      {"None", "1", "2", "3", "4", "5", "6", "7", "8", "Max"});

  // TGA
  Label62 = LabelAt("Label62", TabSheetTGA1, 8, 8, "C&olors:");
  ComboBox14 = ListAt("ComboBox14", TabSheetTGA1, Bounds(8, 24, 80, 21), {"B/W", "256", "16M"});
  Label63 = LabelAt("Label63", TabSheetTGA1, 8, 56, "&Background:");
  Panel5 = Swatch("Panel5", TabSheetTGA1, Bounds(8, 72, 30, 17));
  CheckBox1 = L.Add<TCheckBox>("CheckBox1", TabSheetTGA1, Bounds(130, 26, 120, 17), {{"Caption", "Compression:"}});
  Label64 = LabelAt("Label64", TabSheetTGA1, 130, 56, "&Name:");
  Edit13 = EditAt("Edit13", TabSheetTGA1, Bounds(210, 52, 150, 21));
  Label65 = LabelAt("Label65", TabSheetTGA1, 130, 82, "&Description:");
  Edit14 = EditAt("Edit14", TabSheetTGA1, Bounds(210, 78, 150, 21));

  // JPEG 2000
  Label66 = LabelAt("Label66", TabSheetJ20001, 8, 8, "&Rate:");
  Edit15 = EditAt("Edit15", TabSheetJ20001, Bounds(8, 24, 41, 21));
  // A rate of 0 cannot be written: the bar starts at 1 (rate 0.001).
  TrackBar1 = L.Add<TTrackBar>("TrackBar1", TabSheetJ20001, Bounds(52, 20, 300, 33),
                               {{"Min", "1"}, {"Max", "1000"}, {"Frequency", "20"}, {"PageSize", "50"}});
  Label71 = LabelAt("Label71", TabSheetJ20001, 8, 58, "P&hotometric:");
  ComboBox15 = ListAt("ComboBox15", TabSheetJ20001, Bounds(8, 74, 100, 21), {"GrayScale", "RGB", "YCbCr"});

  UpDown11->SetAssociate(Edit23);
  UpDown1->SetAssociate(Edit1);
  UpDown2->SetAssociate(Edit9);

  for (TTabSheet* Page : {TabSheetJPEG1, TabSheetTIFF1, TabSheetGIF1, TabSheetBMP1, TabSheetPCX1, TabSheetPNG1,
                          TabSheetTGA1, TabSheetJ20001})
    AddSizeLabels(Page, kPreviewFullTitleTop, kPreviewFullValueTop);
  for (TTabSheet* Page : {TabSheetJPEG2, TabSheetTIFF2, TabSheetGIF2}) AddSizeLabels(Page, kPreviewShortTitleTop, kPreviewShortValueTop);
  Label25 = FSizes[pgJPEG1].CompressedValue;
  Label76 = FSizes[pgJPEG2].CompressedValue;
  Label18 = FSizes[pgTIFF1].CompressedValue;
  Label80 = FSizes[pgTIFF2].CompressedValue;
  Label30 = FSizes[pgGIF1].CompressedValue;
  Label86 = FSizes[pgGIF2].CompressedValue;
  Label42 = FSizes[pgBMP1].CompressedValue;
  Label48 = FSizes[pgPCX1].CompressedValue;
  Label53 = FSizes[pgPNG1].CompressedValue;
  Label61 = FSizes[pgTGA1].CompressedValue;
  Label70 = FSizes[pgJ20001].CompressedValue;

  // Events, bound by name as the form description does.
  OnCreate = [this](TObject* S) { FormCreate(S); };
  OnActivate = [this](TObject* S) { FormActivate(S); };
  OnDestroy = [this](TObject* S) { FormDestroy(S); };
  OnResize = [this](TObject* S) { FormResize(S); };
  PageControl1->OnChanging = [this](TObject* S, bool& Allow) { PageControl1Changing(S, Allow); };
  PageControl1->OnChange = [this](TObject* S) { PageControl1Change(S); };
  Button1->OnClick = [this](TObject* S) { Button1Click(S); };
  Button3->OnClick = [this](TObject* S) { Button3Click(S); };
  Button4->OnClick = [this](TObject* S) { Button4Click(S); };
  chkLockPreview->OnClick = [this](TObject* S) { SpeedButton1Click(S); };
  Imaging1->OnViewChange = [this](TObject* S, int32_t Change) { Imaging1ViewChange(S, Change); };
  Imaging1->SetOnProgress([this](TObject* S, int per) { Imaging1Progress(S, per); });
  Imaging2->SetOnProgress([this](TObject* S, int per) { Imaging1Progress(S, per); });

  auto Bind = [](auto Handler) { return [Handler](TObject* S) { Handler(S); }; };
  auto JpegChange = Bind([this](TObject* S) { TrackBar13Change(S); });
  TrackBar13->OnChange = JpegChange;
  ComboBox13->OnChange = JpegChange;
  ComboBox1->OnChange = JpegChange;
  CheckBox2->OnClick = JpegChange;
  CheckBox3->OnClick = JpegChange;
  Edit22->OnChange = Bind([this](TObject* S) { Edit22Change(S); });
  Edit23->OnChange = Edit22->OnChange;
  TrackBar2->OnChange = Bind([this](TObject* S) { TrackBar2Change(S); });
  Edit16->OnChange = Bind([this](TObject* S) { Edit16Change(S); });

  auto TiffClick = Bind([this](TObject* S) { ComboBox2Click(S); });
  for (TComboBox* C : {ComboBox2, ComboBox3, ComboBox4}) C->OnClick = TiffClick;
  for (TEdit* E : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8}) E->OnChange = TiffClick;
  auto TiffShort = Bind([this](TObject* S) { ComboBox16Change(S); });
  ComboBox16->OnChange = TiffShort;
  ComboBox17->OnChange = TiffShort;

  auto GifClick = Bind([this](TObject* S) { ComboBox5Click(S); });
  ComboBox5->OnClick = GifClick;
  for (TEdit* E : {Edit9, Edit10, Edit11, Edit12}) E->OnChange = GifClick;
  CheckBox4->OnClick = GifClick;
  CheckBox5->OnClick = GifClick;
  ComboBox18->OnChange = Bind([this](TObject* S) { ComboBox18Change(S); });
  Panel3->OnClick = Bind([this](TObject* S) { Panel3Click(S); });
  Panel4->OnClick = Bind([this](TObject* S) { Panel4Click(S); });

  auto Bmp = Bind([this](TObject* S) { ComboBox6Change(S); });
  ComboBox6->OnChange = Bmp;
  ComboBox7->OnChange = Bmp;
  auto Pcx = Bind([this](TObject* S) { ComboBox8Change(S); });
  ComboBox8->OnChange = Pcx;
  ComboBox9->OnChange = Pcx;
  auto Png = Bind([this](TObject* S) { ComboBox10Change(S); });
  for (TComboBox* C : {ComboBox10, ComboBox11, ComboBox12}) C->OnChange = Png;
  CheckBox6->OnClick = Png;
  Panel1->OnClick = Bind([this](TObject* S) { Panel1Click(S); });
  auto Tga = Bind([this](TObject* S) { ComboBox14Click(S); });
  ComboBox14->OnClick = Tga;
  CheckBox1->OnClick = Tga;
  Edit13->OnChange = Tga;
  Edit14->OnChange = Tga;
  Panel5->OnClick = Bind([this](TObject* S) { Panel5Click(S); });
  Edit15->OnChange = Bind([this](TObject* S) { Edit15Change(S); });
  auto J2k = Bind([this](TObject* S) { TrackBar1Change(S); });
  TrackBar1->OnChange = J2k;
  ComboBox15->OnChange = J2k;

  L.Finish();
}

void TfIOPreviews::AddSizeLabels(TTabSheet* Page, int32_t TitleTop, int32_t ValueTop) {
  const int Id = Page->PageIndex();
  const std::string Base = Page->Name();
  TIOPreviewSizeLabels& S = FSizes[Id];
  auto Make = [&](const std::string& Name, int32_t X, int32_t Y, const char* Caption) {
    TLabel* Label = new TLabel(this);
    Label->SetName(Name);
    Label->SetParent(Page);
    Label->SetBounds(X, Y, 150, 13);
    Label->SetCaption(Caption);
    return Label;
  };
  S.OriginalTitle = Make(Base + "OriginalTitle", 8, TitleTop, "Original size:");
  S.OriginalValue = Make(Base + "OriginalValue", 8, ValueTop, "---");
  S.CompressedTitle = Make(Base + "CompressedTitle", 170, TitleTop, "Compressed size:");
  S.CompressedValue = Make(Base + "CompressedValue", 170, ValueTop, "---");
}

void TfIOPreviews::MoveSizeLabels(TTabSheet* Page, int32_t TitleTop, int32_t ValueTop) {
  TIOPreviewSizeLabels& S = FSizes[Page->PageIndex()];
  S.OriginalTitle->SetTop(TitleTop);
  S.CompressedTitle->SetTop(TitleTop);
  S.OriginalValue->SetTop(ValueTop);
  S.CompressedValue->SetTop(ValueTop);
}

const TIOPreviewSizeLabels& TfIOPreviews::SizeLabels(TTabSheet* Page) const { return FSizes[Page->PageIndex()]; }

void TfIOPreviews::SetSimplified(bool Value) {
  FSimplified = Value;
  if (!Value) return;
  PageControl1->SetHeight(PixelsPerInch() * 122 / 96);
  SetHeight(PixelsPerInch() * 360 / 96);
}

TTabSheet* TfIOPreviews::JpegPage() const { return FSimplified ? TabSheetJPEG2 : TabSheetJPEG1; }
TTabSheet* TfIOPreviews::TiffPage() const { return FSimplified ? TabSheetTIFF2 : TabSheetTIFF1; }
TTabSheet* TfIOPreviews::GifPage() const { return FSimplified ? TabSheetGIF2 : TabSheetGIF1; }

// ---------------------------------------------------------------------------------------------
// Opening
// ---------------------------------------------------------------------------------------------

bool TfIOPreviews::SetPages(int32_t Mask) {
  FPageMask = Mask;
  if ((Mask & ppFileType) != 0 && FParams != nullptr) {
    switch (FParams->FileType) {
      case ftTiff: FPageMask |= ppTIFF; break;
      case ftGif: FPageMask |= ppGIF; break;
      case ftJpeg: FPageMask |= ppJPEG; break;
      case ftPcx: FPageMask |= ppPCX; break;
      case ftBmp: FPageMask |= ppBMP; break;
      case ftPng: FPageMask |= ppPNG; break;
      case ftTga: FPageMask |= ppTGA; break;
      case ftJp2:
      case ftJ2k: FPageMask |= ppJ2000; break;
      default: break;
    }
  }
  // A mask that shows no page (0, a lone 2 for a type without a page, or only unknown bits) opens
  // nothing: the dialog would show an empty page control.
  constexpr int32_t Shown = ppAll | ppJPEG | ppTIFF | ppGIF | ppBMP | ppPCX | ppPNG | ppTGA | ppJ2000;
  return (FPageMask & Shown) != 0;
}

bool TfIOPreviews::LzwAvailable() { return GlobalTiffLzwEncoder != nullptr; }

int32_t TfIOPreviews::TiffCompressionToIndex(int32_t Selector) {
  const bool L = LzwAvailable();
  switch (Selector) {
    case 0: case 1: case 2: case 3: case 4: return Selector;
    case 5: return L ? 5 : 6;
    case 7: return L ? 6 : 5;
    case 8: return L ? 7 : 6;
    case 9: return L ? 8 : 7;
    default: return 0;
  }
}

int32_t TfIOPreviews::IndexToTiffCompression(int32_t Index) {
  if (Index >= 0 && Index <= 4) return Index;
  if (LzwAvailable()) {
    switch (Index) {
      case 5: return 5;
      case 6: return 7;
      case 7: return 8;
      case 8: return 9;
      default: return 0;
    }
  }
  switch (Index) {
    case 5: return 7;
    case 6: return 8;
    case 7: return 9;
    default: return 0;
  }
}

void TfIOPreviews::ApplyLanguage(TMsgLanguage Language) {
  auto W = [&](int32_t Id) { return LookupWord(Id, Language); };
  auto C = [&](int32_t Id) { return WordWithColon(Id, Language); };
  SetCaption(W(37));
  Label1->SetCaption(C(1));
  Label2->SetCaption(C(2));
  Button1->SetCaption(W(3));
  Button2->SetCaption(W(4));
  Button3->SetCaption(W(0));
  Button4->SetCaption(W(120));
  chkLockPreview->SetCaption(W(5));
  FPaletteCancelCaption = "&" + W(4);
  for (TLabel* L : {Label23, Label72}) L->SetCaption(C(38));
  Label26->SetCaption(C(39));
  Label27->SetCaption(C(40));
  for (TLabel* L : {Label57, Label71, Label7}) L->SetCaption(C(49));
  CheckBox2->SetCaption(W(42));
  CheckBox3->SetCaption(W(46));
  for (const TIOPreviewSizeLabels& S : FSizes) {
    if (S.OriginalTitle != nullptr) S.OriginalTitle->SetCaption(C(43));
    if (S.CompressedTitle != nullptr) S.CompressedTitle->SetCaption(C(44));
  }
  std::string Framed = " ";
  Framed += W(45);
  Framed += ' ';
  for (TGroupBox* G : {GroupBox5, GroupBox2, GroupBox3}) G->SetCaption(Framed);
  Label66->SetCaption(C(123));
  for (TLabel* L : {Label5, Label81, Label37, Label43, Label56}) L->SetCaption(C(47));
  CheckBox1->SetCaption(C(47));
  for (TLabel* L : {Label6, Label20}) L->SetCaption(C(48));
  GroupBox1->SetCaption(" " + W(50) + " ");
  for (TLabel* L : {Label12, Label64}) L->SetCaption(C(51));
  for (TLabel* L : {Label13, Label65}) L->SetCaption(C(52));
  Label14->SetCaption(C(53));
  Label15->SetCaption(C(54));
  Label16->SetCaption(W(55));
  Label8->SetCaption(C(56));
  Label10->SetCaption(C(57));
  for (TLabel* L : {Label19, Label82, Label21, Label87, Label38, Label44, Label49, Label62}) L->SetCaption(C(58));
  CheckBox4->SetCaption(C(59));
  Label34->SetCaption(C(60));
  CheckBox5->SetCaption(C(61));
  CheckBox6->SetCaption(W(61));
  for (TLabel* L : {Label35, Label54, Label63}) L->SetCaption(C(62));
  Label31->SetCaption(C(63));
  Label32->SetCaption(C(64));
  Label33->SetCaption(C(65));
  Label55->SetCaption(C(66));
}

// ---------------------------------------------------------------------------------------------
// Form events
// ---------------------------------------------------------------------------------------------

void TfIOPreviews::FormCreate(TObject*) {
  FActivated = false;
  FBWConversion = 1;
  for (TImagingView* View : {Imaging1, Imaging2}) {
    TFont* F = View->IO()->PreviewFont();
    F->SetCharset(DEFAULT_CHARSET);
    F->SetColor(clWindowText);
    F->SetHeight(-11);
    F->SetName("MS Sans Serif");
    F->SetStyle({});
  }
  FPaletteCancelCaption = "&Cancel";
  for (TTrackBar* T : {TrackBar13, TrackBar2, TrackBar1}) T->SetThumbLength(10);
  for (TPanel* P : {Panel3, Panel4, Panel1, Panel5}) {
    TControlStyle Style = P->ControlStyle();
    Style.Exclude(csParentBackground);
    P->SetControlStyle(Style);
  }
  Button4->SetEnabled(false);
}

void TfIOPreviews::FormActivate(TObject*) {
  // The form is activated again whenever a dialog it opened (a colour picker) closes; setting the
  // pages up again then would reload the params and lose what the user chose but did not apply.
  if (FActivated) return;
  FLive = true;
  chkLockPreview->SetChecked(FDefaultLockPreview);
  Button3->SetEnabled(!chkLockPreview->Checked());

  PageControl1->SetVisible(false);
  for (int32_t i = 0; i < PageControl1->PageCount(); ++i) PageControl1->Pages(i)->SetTabVisible(false);
  const TIEFileFormatInfo* Info = FParams != nullptr ? FindFormatInfoByType(FParams->FileType) : nullptr;
  struct TFormatPage {
    int32_t Bit;
    TTabSheet* Full;
    TTabSheet* Short;
  };
  const TFormatPage Formats[] = {
      {ppJPEG, TabSheetJPEG1, TabSheetJPEG2}, {ppTIFF, TabSheetTIFF1, TabSheetTIFF2}, {ppGIF, TabSheetGIF1, TabSheetGIF2},
      {ppBMP, TabSheetBMP1, TabSheetBMP1},    {ppPCX, TabSheetPCX1, TabSheetPCX1},    {ppPNG, TabSheetPNG1, TabSheetPNG1},
      {ppTGA, TabSheetTGA1, TabSheetTGA1},    {ppJ2000, TabSheetJ20001, TabSheetJ20001}};
  for (const TFormatPage& F : Formats) {
    TTabSheet* Page = FSimplified ? F.Short : F.Full;
    const bool Visible = (FPageMask & ppAll) != 0 || (FPageMask & F.Bit) != 0;
    Page->SetTabVisible(Visible);
    if (Visible && Info != nullptr && (Info->DialogPages & F.Bit) != 0) PageControl1->SetActivePage(Page);
  }
  // Without a page of the current type the first offered page shows.
  TTabSheet* Active = PageControl1->ActivePage();
  if (Active == nullptr || !Active->TabVisible()) {
    const auto Tabs = PageControl1->VisibleTabs();
    if (!Tabs.empty()) PageControl1->SetActivePage(Tabs.front());
  }
  if (FSimplified) {
    for (TTabSheet* Page : {TabSheetBMP1, TabSheetPCX1}) MoveSizeLabels(Page, kPreviewShortTitleTop, kPreviewShortValueTop);
    chkLockPreview->SetTop(PixelsPerInch() * 302 / 96);
    for (TControl* C : std::initializer_list<TControl*>{Label54, Panel1, GroupBox3}) C->SetVisible(false);
    MoveSizeLabels(TabSheetPNG1, kPreviewShortTitleTop, kPreviewShortValueTop);
    for (TControl* C : std::initializer_list<TControl*>{Label63, Panel5, Label64, Edit13, Label65, Edit14})
      C->SetVisible(false);
    MoveSizeLabels(TabSheetTGA1, kPreviewShortTitleTop, kPreviewShortValueTop);
    Label71->SetVisible(false);
    ComboBox15->SetVisible(false);
    MoveSizeLabels(TabSheetJ20001, kPreviewShortTitleTop, kPreviewShortValueTop);
  }

  for (TComboBox* Combo : {ComboBox2, ComboBox16}) {
    Combo->Items()->Clear();
    for (const char* Item : {"UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D", "G4FAX"}) Combo->Items()->Add(Item);
    if (LzwAvailable()) Combo->Items()->Add("LZW");
    for (const char* Item : {"JPEG", "PACKBITS", "ZIP"}) Combo->Items()->Add(Item);
  }
  Imaging1->SetChessboardStyle(12, bsSolid);
  Imaging2->SetChessboardStyle(12, bsSolid);

  PageControl1->SetVisible(true);
  LoadWorkingValues();
  ShowWorkingValues();
  Imaging1->Fit();
  Application->ProcessMessages();
  PageControl1Change(PageControl1);
  FActivated = true;
  UpdatePreview();
}

void TfIOPreviews::FormDestroy(TObject*) {}

void TfIOPreviews::FormResize(TObject*) {
  if (IEDialogsBackground != 1 && IEDialogsBackground != 2) return;
  TBitmap* Bitmap = Image1->Picture()->Bitmap();
  if (IEDialogsBackground == 1)
    PaintStripeTexture(Bitmap, Image1->Width(), Image1->Height());
  else
    PaintNoiseTexture(Bitmap, Image1->Width(), Image1->Height());
  Image1->Invalidate();
}

void TfIOPreviews::PageControl1Changing(TObject*, bool&) { FLive = false; }

void TfIOPreviews::PageControl1Change(TObject*) {
  FLive = true;
  LoadWorkingValues();
  ShowWorkingValues();
  if (chkLockPreview->Checked()) UpdatePreview();
  Button4->SetEnabled(false);
}

void TfIOPreviews::SpeedButton1Click(TObject*) {
  if (chkLockPreview->Checked()) UpdatePreview();
  Button3->SetEnabled(!chkLockPreview->Checked());
}

void TfIOPreviews::Button3Click(TObject*) { UpdatePreview(); }

void TfIOPreviews::Recompute() {
  if (!chkLockPreview->Checked()) return;
  UpdatePreview();
  Imaging2->Repaint();
}

void TfIOPreviews::EnableApply() { Button4->SetEnabled(true); }

// ---------------------------------------------------------------------------------------------
// Working values
// ---------------------------------------------------------------------------------------------

void TfIOPreviews::LoadWorkingValues() {
  if (FParams == nullptr) return;
  const TIOParamsVals& P = *FParams;
  // Values from callers may hold anything: each is brought into what its control can show.
  JpegQuality = std::clamp(P.JpegQuality, 0, 100);
  JpegColorSpace = P.JpegColorSpace <= 4 ? P.JpegColorSpace : 2;
  if (P.JpegDctMethod <= 2) JpegDctMethod = P.JpegDctMethod;
  JpegOptimize = P.JpegOptimize != 0;
  JpegSmoothing = int32_t(std::min<uint32_t>(P.JpegSmoothing, 100));
  JpegProgressive = P.JpegProgressive != 0;

  J2kRate = std::isfinite(P.J2kRate) ? std::clamp(P.J2kRate, 0.001, 1.0) : 1.0;
  J2kColorSpace = P.J2kColorSpace <= 2 ? P.J2kColorSpace : 1;

  TiffLzwDecoder = P.TiffLzwDecoder;
  TiffLzwEncoder = P.TiffLzwEncoder;
  TiffCompression = P.TiffCompression;
  TiffImageIndex = std::max(P.TiffImageIndex, 0);
  TiffPhotometric = P.TiffPhotometric <= 7 ? P.TiffPhotometric : 2;
  TiffXPosition = int32_t(std::min<uint32_t>(P.TiffXPosition, INT32_MAX));
  TiffYPosition = int32_t(std::min<uint32_t>(P.TiffYPosition, INT32_MAX));
  TiffDocumentName = P.TiffDocumentName;
  TiffImageDescription = P.TiffImageDescription;
  TiffPageName = P.TiffPageName;
  TiffPageNumber = P.TiffPageNumber;
  TiffPageTotal = P.TiffPageTotal;
  TiffSamplesPerPixel = P.SamplesPerPixel;
  TiffBitsPerSample = P.BitsPerSample;

  GifImageIndex = P.GifImageIndex > uint32_t(INT32_MAX) ? 0 : int32_t(P.GifImageIndex);
  GifLeft = P.GifLeft;
  GifTop = P.GifTop;
  GifDelay = P.GifDelay;
  GifTransparent = P.GifTransparent != 0;
  GifTransparentColor = P.GifTransparentColor;
  GifInterlaced = P.GifInterlaced != 0;
  GifBackground = P.GifBackgroundColor;
  GifBitsPerSample = P.BitsPerSample >= 1 && P.BitsPerSample <= 8 ? P.BitsPerSample : 8;

  BmpCompression = P.BmpCompression != 0;
  if (P.SamplesPerPixel == 1) {
    if (P.BitsPerSample == 1) BmpColorIndex = 0;
    if (P.BitsPerSample == 4) BmpColorIndex = 1;
    if (P.BitsPerSample == 8) BmpColorIndex = 2;
  } else if (P.SamplesPerPixel == 3 && (P.BitsPerSample == 5 || P.BitsPerSample == 8)) {
    BmpColorIndex = 3;
  }
  PcxCompression = P.PcxCompression != 0;
  if (P.SamplesPerPixel == 1) {
    if (P.BitsPerSample == 1) PcxColorIndex = 0;
    if (P.BitsPerSample == 4) PcxColorIndex = 1;
    if (P.BitsPerSample == 8) PcxColorIndex = 2;
  } else if (P.SamplesPerPixel == 3) {
    PcxColorIndex = 3;
  }
  PngColorIndex = PreviewPngColorIndex(P.SamplesPerPixel, P.BitsPerSample);
  PngInterlaced = P.PngInterlaced != 0;
  PngBackground = P.PngBackgroundColor;
  PngFilter = P.PngFilter <= 2 ? P.PngFilter : 0;
  PngCompression = int32_t(std::min<uint32_t>(P.PngCompression, 9));
  TgaColorIndex = PreviewPngColorIndex(P.SamplesPerPixel, P.BitsPerSample);
  TgaKeyColor = P.TgaKeyColor;
  TgaCompressed = P.TgaCompressed != 0;
  TgaName = P.TgaJobName;
  TgaDescription = P.TgaImageId;
}

void TfIOPreviews::ShowWorkingValues() {
  const bool WasLive = FLive;
  FLive = false;
  TTabSheet* Page = PageControl1->ActivePage();
  if (Page == nullptr) {
    FLive = WasLive;
    return;
  }
  TIEBitmap* Source = Imaging1->IEBitmap();
  const int64_t Original = Source != nullptr ? int64_t(Source->GetRowLen()) * Source->GetHeight() : 0;
  ShowSize(FSizes[Page->PageIndex()].OriginalValue, Original);

  if (Page == TabSheetJPEG1) {
    Edit22->SetText(IntToStr(JpegQuality));
    TrackBar13->SetPosition(JpegQuality);
    ComboBox13->SetItemIndex(JpegColorSpace);
    ComboBox1->SetItemIndex(JpegDctMethod);
    CheckBox2->SetChecked(JpegOptimize);
    CheckBox3->SetChecked(JpegProgressive);
    Edit23->SetText(IntToStr(JpegSmoothing));
  } else if (Page == TabSheetJPEG2) {
    Edit16->SetText(IntToStr(JpegQuality));
    TrackBar2->SetPosition(JpegQuality);
  } else if (Page == TabSheetJ20001) {
    const int32_t Rate = int32_t(std::nearbyint(J2kRate * 1000));
    Edit15->SetText(IntToStr(Rate));
    TrackBar1->SetPosition(Rate);
    ComboBox15->SetItemIndex(J2kColorSpace);
  } else if (Page == TabSheetTIFF1) {
    const int32_t S = TiffSamplesPerPixel, B = TiffBitsPerSample;
    int32_t Colors = -1;
    if (S == 1 && B == 1) Colors = 0;
    else if (S == 1 && B >= 2 && B <= 4) Colors = 1;
    else if (S == 1 && B >= 5 && B <= 8) Colors = 2;
    else if (S == 1 && B == 16) Colors = 3;
    else if (S == 3 && B == 8) Colors = 4;
    ComboBox2->SetItemIndex(TiffCompressionToIndex(TiffCompression));
    Edit1->SetText(IntToStr(TiffImageIndex));
    ComboBox3->SetItemIndex(TiffPhotometric);
    if (TiffPhotometric >= 5) Colors = 4;
    else if (TiffPhotometric >= 2) {
      if (Colors == 0) Colors = 4;
    } else {
      Colors = B == 1 ? 0 : 2;
    }
    ComboBox4->SetItemIndex(Colors);
    Edit4->SetText(TiffDocumentName);
    Edit5->SetText(TiffImageDescription);
    Edit6->SetText(TiffPageName);
    Edit7->SetText(IntToStr(TiffPageNumber));
    Edit8->SetText(IntToStr(TiffPageTotal));
    Edit2->SetText(IntToStr(TiffXPosition));
    Edit3->SetText(IntToStr(TiffYPosition));
  } else if (Page == TabSheetTIFF2) {
    ComboBox16->SetItemIndex(TiffCompressionToIndex(TiffCompression));
    if (TiffCompression >= 1 && TiffCompression <= 4) {
      TiffSamplesPerPixel = 1;
      TiffBitsPerSample = 1;
    } else if (TiffCompression == 7) {
      TiffSamplesPerPixel = 3;
      TiffBitsPerSample = 8;
    }
    const int32_t S = TiffSamplesPerPixel, B = TiffBitsPerSample;
    int32_t Colors = -1;
    if (S == 1 && B == 1) Colors = 0;
    else if (S == 1 && B >= 2 && B <= 4) Colors = 1;
    else if (S == 1 && B >= 5 && B <= 8) Colors = 2;
    else if (S == 3 && B == 8) Colors = 3;
    ComboBox17->SetItemIndex(Colors);
  } else if (Page == TabSheetGIF1) {
    ComboBox5->SetItemIndex(GifBitsPerSample - 1);
    Edit9->SetText(IntToStr(GifImageIndex));
    CheckBox4->SetChecked(GifTransparent);
    Label34->SetEnabled(GifTransparent);
    Panel3->SetEnabled(GifTransparent);
    Panel3->SetColor(RGB24ToColor(GifTransparentColor));
    CheckBox5->SetChecked(GifInterlaced);
    Edit10->SetText(IntToStr(GifLeft));
    Edit11->SetText(IntToStr(GifTop));
    Edit12->SetText(IntToStr(GifDelay));
    Panel4->SetColor(RGB24ToColor(GifBackground));
  } else if (Page == TabSheetGIF2) {
    ComboBox18->SetItemIndex(GifBitsPerSample - 1);
  } else if (Page == TabSheetBMP1) {
    ComboBox6->SetItemIndex(BmpCompression ? 1 : 0);
    ComboBox7->SetItemIndex(BmpColorIndex);
  } else if (Page == TabSheetPCX1) {
    ComboBox8->SetItemIndex(PcxCompression ? 1 : 0);
    ComboBox9->SetItemIndex(PcxColorIndex);
  } else if (Page == TabSheetPNG1) {
    ComboBox10->SetItemIndex(PngColorIndex);
    CheckBox6->SetChecked(PngInterlaced);
    Panel1->SetColor(RGB24ToColor(PngBackground));
    ComboBox11->SetItemIndex(PngFilter);
    ComboBox12->SetItemIndex(PngCompression);
  } else if (Page == TabSheetTGA1) {
    ComboBox14->SetItemIndex(TgaColorIndex);
    Panel5->SetColor(RGB24ToColor(TgaKeyColor));
    CheckBox1->SetChecked(TgaCompressed);
    Edit13->SetText(TgaName);
    Edit14->SetText(TgaDescription);
  }
  FLive = WasLive;
}

void TfIOPreviews::ShowSize(TLabel* Label, int64_t Bytes) {
  if (Label != nullptr) Label->SetCaption(IntToStr(Bytes) + " bytes");
}

// ---------------------------------------------------------------------------------------------
// Page handlers
// ---------------------------------------------------------------------------------------------

void TfIOPreviews::Edit22Change(TObject*) {
  if (!FLive) return;
  const int32_t Quality = StrToIntDef(Edit22->Text(), 50);
  const int32_t Smoothing = StrToIntDef(Edit23->Text(), 0);
  if (Quality != JpegQuality || Smoothing != JpegSmoothing) {
    TrackBar13->SetPosition(Quality);
    TrackBar13Change(TrackBar13);
  }
  EnableApply();
}

void TfIOPreviews::TrackBar13Change(TObject*) {
  if (!FLive) return;
  const int32_t Quality = TrackBar13->Position();
  const int32_t ColorSpace = ComboBox13->ItemIndex();
  const int32_t Dct = ComboBox1->ItemIndex();
  const bool Optimize = CheckBox2->Checked();
  const int32_t Smoothing = StrToIntDef(Edit23->Text(), 0);
  const bool Progressive = CheckBox3->Checked();
  if (Quality == JpegQuality && ColorSpace == JpegColorSpace && Dct == JpegDctMethod && Optimize == JpegOptimize &&
      Smoothing == JpegSmoothing && Progressive == JpegProgressive)
    return;
  JpegQuality = Quality;
  if (ColorSpace >= 0) JpegColorSpace = ColorSpace;
  if (Dct >= 0) JpegDctMethod = Dct;
  JpegOptimize = Optimize;
  JpegSmoothing = Smoothing;
  JpegProgressive = Progressive;
  Edit22->SetText(IntToStr(Quality));
  Recompute();
  EnableApply();
}

void TfIOPreviews::Edit16Change(TObject*) {
  if (!FLive) return;
  const int32_t Quality = StrToIntDef(Edit16->Text(), 50);
  if (Quality != JpegQuality) {
    TrackBar2->SetPosition(Quality);
    TrackBar2Change(TrackBar2);
  }
  EnableApply();
}

void TfIOPreviews::TrackBar2Change(TObject*) {
  if (!FLive) return;
  if (TrackBar2->Position() == JpegQuality) return;
  JpegQuality = TrackBar2->Position();
  Edit16->SetText(IntToStr(JpegQuality));
  Recompute();
  EnableApply();
}

void TfIOPreviews::ComboBox2Click(TObject* Sender) {
  if (!FLive) return;
  FLive = false;  // the lists set here would come back to this handler
  if (Sender == ComboBox3) {
    const int32_t Photometric = ComboBox3->ItemIndex();
    if ((Photometric == 0 || Photometric == 1) && ComboBox4->ItemIndex() != 0) ComboBox4->SetItemIndex(2);
    else if (Photometric == 2 || Photometric >= 5) ComboBox4->SetItemIndex(4);
    else if (Photometric == 3) ComboBox4->SetItemIndex(2);
  } else if (Sender == ComboBox4) {
    const int32_t Colors = ComboBox4->ItemIndex();
    if (Colors == 0 && ComboBox3->ItemIndex() > 1) ComboBox3->SetItemIndex(1);
    else if (Colors == 1) ComboBox3->SetItemIndex(3);
    else if (Colors == 2 && ComboBox3->ItemIndex() == 2) ComboBox3->SetItemIndex(3);
    else if (Colors == 2 && ComboBox3->ItemIndex() > 3) ComboBox3->SetItemIndex(3);
  }
  FLive = true;
  const int32_t Compression = IndexToTiffCompression(ComboBox2->ItemIndex());
  const int32_t Photometric = ComboBox3->ItemIndex() >= 0 ? ComboBox3->ItemIndex() : TiffPhotometric;
  int32_t Samples, Bits;
  if (Photometric == 5) {
    Samples = 4;
    Bits = 8;
  } else {
    Samples = ListEntryOr(kPreviewTiffSamples, ComboBox4->ItemIndex(), TiffSamplesPerPixel);
    Bits = ListEntryOr(kPreviewTiffBits, ComboBox4->ItemIndex(), TiffBitsPerSample);
  }
  if (Compression != TiffCompression || Photometric != TiffPhotometric || Bits != TiffBitsPerSample ||
      Samples != TiffSamplesPerPixel) {
    TiffCompression = Compression;
    TiffPhotometric = Photometric;
    TiffBitsPerSample = Bits;
    TiffSamplesPerPixel = Samples;
    Recompute();
  }
  TiffImageIndex = StrToIntDef(Edit1->Text(), 0);
  TiffXPosition = StrToIntDef(Edit2->Text(), 0);
  TiffYPosition = StrToIntDef(Edit3->Text(), 0);
  TiffDocumentName = Edit4->Text();
  TiffImageDescription = Edit5->Text();
  TiffPageName = Edit6->Text();
  TiffPageNumber = StrToIntDef(Edit7->Text(), 0);
  TiffPageTotal = StrToIntDef(Edit8->Text(), 0);
  EnableApply();
}

void TfIOPreviews::ComboBox16Change(TObject* Sender) {
  if (!FLive) return;
  int32_t Compression = TiffCompression, Photometric = TiffPhotometric;
  int32_t Samples = TiffSamplesPerPixel, Bits = TiffBitsPerSample;
  FLive = false;
  if (Sender == ComboBox16) {
    Compression = IndexToTiffCompression(ComboBox16->ItemIndex());
    if (Compression >= 1 && Compression <= 4) {
      ComboBox17->SetItemIndex(0);
      Samples = 1;
      Bits = 1;
      Photometric = 1;
    } else if (Compression == 7) {
      ComboBox17->SetItemIndex(3);
      Samples = 3;
      Bits = 8;
      Photometric = 6;
    }
  } else if (Sender == ComboBox17) {
    constexpr int32_t ShortSamples[] = {1, 1, 1, 3};
    constexpr int32_t ShortBits[] = {1, 4, 8, 8};
    Samples = ListEntryOr(ShortSamples, ComboBox17->ItemIndex(), Samples);
    Bits = ListEntryOr(ShortBits, ComboBox17->ItemIndex(), Bits);
    if (Bits > 1 && Compression <= 4) {
      Compression = 0;
      ComboBox16->SetItemIndex(0);
    }
    if (Bits != 8 && Samples != 3 && Compression == 7) {
      Compression = 0;
      ComboBox16->SetItemIndex(0);
    }
    if (Bits == 16 && Samples == 1) Photometric = 1;
  }
  FLive = true;
  if (Compression != TiffCompression || Photometric != TiffPhotometric || Bits != TiffBitsPerSample ||
      Samples != TiffSamplesPerPixel) {
    TiffCompression = Compression;
    TiffPhotometric = Photometric;
    TiffBitsPerSample = Bits;
    TiffSamplesPerPixel = Samples;
    Recompute();
  }
  EnableApply();
}

void TfIOPreviews::ComboBox5Click(TObject*) {
  if (!FLive) return;
  const int32_t Bits = ComboBox5->ItemIndex() >= 0 ? ComboBox5->ItemIndex() + 1 : GifBitsPerSample;
  const bool Interlaced = CheckBox5->Checked();
  if (Bits != GifBitsPerSample || Interlaced != GifInterlaced) {
    GifBitsPerSample = Bits;
    GifInterlaced = Interlaced;
    Recompute();
  }
  GifImageIndex = std::max(StrToIntDef(Edit9->Text(), 0), 0);
  GifLeft = StrToIntDef(Edit10->Text(), 0);
  GifTop = StrToIntDef(Edit11->Text(), 0);
  GifDelay = StrToIntDef(Edit12->Text(), 0);
  GifTransparent = CheckBox4->Checked();
  Label34->SetEnabled(GifTransparent);
  Panel3->SetEnabled(GifTransparent);
  GifInterlaced = CheckBox5->Checked();
  EnableApply();
}

void TfIOPreviews::ComboBox18Change(TObject*) {
  if (!FLive) return;
  const int32_t Bits = ComboBox18->ItemIndex() >= 0 ? ComboBox18->ItemIndex() + 1 : GifBitsPerSample;
  if (Bits != GifBitsPerSample) {
    GifBitsPerSample = Bits;
    Recompute();
  }
  EnableApply();
}

void TfIOPreviews::ComboBox6Change(TObject*) {
  if (!FLive) return;
  if (TakeColorsAndCompression(ComboBox7, ComboBox6, BmpColorIndex, BmpCompression)) Recompute();
  EnableApply();
}

void TfIOPreviews::ComboBox8Change(TObject*) {
  if (!FLive) return;
  if (TakeColorsAndCompression(ComboBox9, ComboBox8, PcxColorIndex, PcxCompression)) Recompute();
  EnableApply();
}

void TfIOPreviews::ComboBox10Change(TObject*) {
  if (!FLive) return;
  const int32_t Colors = ComboBox10->ItemIndex() >= 0 ? ComboBox10->ItemIndex() : PngColorIndex;
  const bool Interlaced = CheckBox6->Checked();
  const int32_t Filter = ComboBox11->ItemIndex() >= 0 ? ComboBox11->ItemIndex() : PngFilter;
  const int32_t Compression = ComboBox12->ItemIndex() >= 0 ? ComboBox12->ItemIndex() : PngCompression;
  if (Colors != PngColorIndex || Interlaced != PngInterlaced || Filter != PngFilter ||
      Compression != PngCompression) {
    PngColorIndex = Colors;
    PngInterlaced = Interlaced;
    PngFilter = Filter;
    PngCompression = Compression;
    Recompute();
  }
  EnableApply();
}

void TfIOPreviews::ComboBox14Click(TObject*) {
  if (!FLive) return;
  const int32_t Colors = ComboBox14->ItemIndex() >= 0 ? ComboBox14->ItemIndex() : TgaColorIndex;
  const bool Compressed = CheckBox1->Checked();
  if (Colors != TgaColorIndex || Compressed != TgaCompressed) {
    TgaColorIndex = Colors;
    TgaCompressed = Compressed;
    Recompute();
  }
  TgaName = Edit13->Text();
  TgaDescription = Edit14->Text();
  EnableApply();
}

void TfIOPreviews::Edit15Change(TObject*) {
  if (!FLive) return;
  const double Rate = StrToIntDef(Edit15->Text(), 1000) / 1000.0;
  if (Rate != J2kRate) {
    TrackBar1->SetPosition(int32_t(std::trunc(std::clamp(Rate, -1.0, 2.0) * 1000)));
    TrackBar1Change(TrackBar1);
  }
  EnableApply();
}

void TfIOPreviews::TrackBar1Change(TObject*) {
  if (!FLive) return;
  const int32_t Position = TrackBar1->Position();
  const int32_t ColorSpace = ComboBox15->ItemIndex() >= 0 ? ComboBox15->ItemIndex() : J2kColorSpace;
  if (Position == int32_t(std::nearbyint(J2kRate * 1000)) && ColorSpace == J2kColorSpace) return;
  J2kRate = Position / 1000.0;
  J2kColorSpace = ColorSpace;
  Edit15->SetText(IntToStr(int32_t(std::nearbyint(J2kRate * 1000))));
  Recompute();
  EnableApply();
}

// ---------------------------------------------------------------------------------------------
// Colour pickers
// ---------------------------------------------------------------------------------------------

bool TfIOPreviews::PickFromPalette(int64_t Count, TPanel* Swatch) {
  const std::vector<TIERGB24>& Palette = Imaging2->IO()->IOParams()->Palette;
  // The dialog shows only entries the result palette holds.
  Count = std::min<int64_t>(Count, int64_t(Palette.size()));
  if (Count <= 0) return false;
  std::unique_ptr<TImagingPaletteDialog> Dialog = std::make_unique<TImagingPaletteDialog>(nullptr);
  Dialog->SetPalette(Palette.data(), int32_t(Count));
  Dialog->CancelButton()->SetCaption(FPaletteCancelCaption);
  if (!Dialog->Execute()) return false;
  Swatch->SetColor(Dialog->SelectedColor());
  return true;
}

void TfIOPreviews::Panel3Click(TObject*) {
  if (Imaging2->IO()->IOParams()->Palette.empty()) UpdatePreview();
  PickFromPalette(ColorCountOf(GifBitsPerSample, 1), Panel3);
  GifTransparentColor = ColorToRGB24(Panel3->Color());
}

void TfIOPreviews::Panel4Click(TObject*) {
  if (Imaging2->IO()->IOParams()->Palette.empty()) UpdatePreview();
  PickFromPalette(ColorCountOf(GifBitsPerSample, 1), Panel4);
  GifBackground = ColorToRGB24(Panel4->Color());
}

void TfIOPreviews::PickBackground(TPanel* Swatch, TIERGB24& Working) {
  const TIOParamsVals* Result = Imaging2->IO()->IOParams();
  if (!Result->Palette.empty()) {
    PickFromPalette(ColorCountOf(Result->BitsPerSample, Result->SamplesPerPixel), Swatch);
  } else {
    ColorDialog1->SetColor(Swatch->Color());
    if (ColorDialog1->Execute()) Swatch->SetColor(ColorDialog1->Color());
  }
  Working = ColorToRGB24(Swatch->Color());
}

void TfIOPreviews::Panel1Click(TObject*) { PickBackground(Panel1, PngBackground); }

void TfIOPreviews::Panel5Click(TObject*) { PickBackground(Panel5, TgaKeyColor); }

// ---------------------------------------------------------------------------------------------
// OK and Apply
// ---------------------------------------------------------------------------------------------

void TfIOPreviews::Button1Click(TObject*) {
  if (FParams == nullptr) return;
  TIOParamsVals& P = *FParams;
  TTabSheet* Page = PageControl1->ActivePage();
  if (Page == TabSheetJPEG1 || Page == TabSheetJPEG2) {
    P.JpegQuality = JpegQuality;
    P.JpegColorSpace = uint8_t(JpegColorSpace);
    if (JpegDctMethod >= 0 && JpegDctMethod <= 2) P.JpegDctMethod = uint8_t(JpegDctMethod);
    P.JpegOptimize = JpegOptimize;
    P.JpegSmoothing = uint32_t(std::max(JpegSmoothing, 0));
    P.JpegProgressive = JpegProgressive;
    P.FileType = ftJpeg;
  } else if (Page == TabSheetTIFF1 || Page == TabSheetTIFF2) {
    P.TiffCompression = uint8_t(TiffCompression);
    P.SetImageIndex(TiffImageIndex);
    P.TiffPhotometric = uint8_t(TiffPhotometric);
    P.TiffXPosition = uint32_t(std::max(TiffXPosition, 0));
    P.TiffYPosition = uint32_t(std::max(TiffYPosition, 0));
    P.TiffDocumentName = TiffDocumentName;
    P.TiffImageDescription = TiffImageDescription;
    P.TiffPageName = TiffPageName;
    P.TiffPageNumber = TiffPageNumber;
    P.TiffPageTotal = TiffPageTotal;
    P.SamplesPerPixel = TiffSamplesPerPixel;
    P.BitsPerSample = TiffBitsPerSample;
    P.FileType = ftTiff;
  } else if (Page == TabSheetGIF1 || Page == TabSheetGIF2) {
    P.SetImageIndex(GifImageIndex);
    P.GifLeft = GifLeft;
    P.GifTop = GifTop;
    P.GifDelay = GifDelay;
    P.GifTransparent = GifTransparent;
    P.GifTransparentColor = GifTransparentColor;
    P.GifInterlaced = GifInterlaced;
    P.GifBackgroundColor = GifBackground;
    P.BitsPerSample = GifBitsPerSample;
    P.FileType = ftGif;
  } else if (Page == TabSheetBMP1) {
    P.BmpCompression = BmpCompression;
    // Both "16M" items write three samples of eight bits.
    P.BitsPerSample = ListEntryOr(kPreviewBmpBits, BmpColorIndex, 8);
    P.SamplesPerPixel = ListEntryOr(kPreviewBmpSamples, BmpColorIndex, 3);
    P.FileType = ftBmp;
  } else if (Page == TabSheetPCX1) {
    P.PcxCompression = PcxCompression;
    P.BitsPerSample = ListEntryOr(kPreviewBmpBits, PcxColorIndex, 8);
    P.SamplesPerPixel = ListEntryOr(kPreviewBmpSamples, PcxColorIndex, 3);
    P.FileType = ftPcx;
  } else if (Page == TabSheetPNG1) {
    P.BitsPerSample = ListEntryOr(kPreviewPngBits, PngColorIndex, 8);
    P.SamplesPerPixel = ListEntryOr(kPreviewPngSamples, PngColorIndex, 3);
    P.PngBackgroundColor = PngBackground;
    P.PngInterlaced = PngInterlaced;
    P.PngFilter = uint8_t(PngFilter);
    P.PngCompression = uint32_t(PngCompression);
    P.FileType = ftPng;
  } else if (Page == TabSheetTGA1) {
    P.BitsPerSample = ListEntryOr(kPreviewPngBits, TgaColorIndex, 8);
    P.SamplesPerPixel = ListEntryOr(kPreviewPngSamples, TgaColorIndex, 3);
    P.TgaKeyColor = TgaKeyColor;
    P.TgaCompressed = TgaCompressed;
    P.TgaJobName = TgaName;
    P.TgaImageId = TgaDescription;
    P.FileType = ftTga;
  } else if (Page == TabSheetJ20001) {
    P.BitsPerSample = 8;
    P.SamplesPerPixel = J2kColorSpace == 0 ? 1 : 3;
    P.J2kColorSpace = uint8_t(J2kColorSpace);
    P.J2kRate = J2kRate;
    P.FileType = ftJ2k;
  }
}

void TfIOPreviews::Button4Click(TObject* Sender) {
  Button1Click(Sender);
  Button4->SetEnabled(false);
}

// ---------------------------------------------------------------------------------------------
// The I/O component's entry
// ---------------------------------------------------------------------------------------------

bool ShowIOPreviewsDialog(TImagingIO* IO, int16_t Pages) {
  TIEBitmap* Bitmap = IO->WorkBitmap();
  if (Bitmap == nullptr || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) return false;
  TfIOPreviews* Dialog = new TfIOPreviews(IO);
  // Detached and freed on every way out, exceptions of a preview or a handler too.
  struct TRelease {
    TfIOPreviews* D;
    ~TRelease() {
      D->Imaging1->AttachIEBitmap(nullptr);
      delete D;
    }
  } Release{Dialog};
  Dialog->SetDefaultLockPreview(IO->PreviewsParams.Contains(ioppDefaultLockPreview));
  Dialog->Button4->SetVisible(IO->PreviewsParams.Contains(ioppApplyButton));
  Dialog->SetParams(IO->IOParams());
  Dialog->SetSimplified(IO->SimplifiedParamsDialogs);
  Dialog->SetBWConversion(IO->BWConversion);
  Dialog->ApplyLanguage(IO->MsgLanguage);
  Dialog->Font()->Assign(IO->PreviewFont());
  Dialog->Imaging1->AttachIEBitmap(Bitmap);
  Dialog->Imaging2->ClearImage();
  if (!Dialog->SetPages(Pages)) return false;
  if (IO->OnIOPreview) IO->OnIOPreview(IO, Dialog);
  return Dialog->ShowModal() == mrOk;
}

}  // namespace zv
