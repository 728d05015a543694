#include "app/main_window.h"

#include <memory>
#include <string>

#include "app/form_controls.h"
#include "app/settings.h"
#include "app/shadow_window.h"
#include "app/skin.h"
#include "platform/gdi.h"
#include "platform/sysutils.h"
#include "platform/windows.h"

namespace zv {

std::string AppFolder;
uint8_t LanguageId = 0;
TMessageTexts MessageTexts;
TFrmZonvark* FrmZonvark = nullptr;

std::string GetAppFolder() {
  std::string Folder = ExtractFilePath(ParamStr(0));
  if (Folder.empty() || Folder.back() != '/') Folder += '/';
  return Folder;
}

namespace {

constexpr int32_t ClientW = 434;
constexpr int32_t ClientH = 616;
// The content column the headings and their lines share.
constexpr int32_t ContentWidth = 410;

const char* const SizeItems[] = {"100%", "50%", "33%", "25%", "20%", "Custom"};
const char* const SpeedItems[] = {"50%",  "60%",  "70%",  "80%",  "90%",  "100%", "110%",
                                  "120%", "130%", "140%", "150%", "180%", "200%"};
const char* const FrameItems[] = {"Original video", "1/2", "1/3", "1/4", "1/5", "1/6", "1/7", "1/8", "1/9", "1/10"};
const char* const ColorItems[] = {"4 color", "8 color", "16 color", "32 color", "64 color", "128 color", "256 color"};
const char* const ResizeItems[] = {"Stretch", "Fit", "Cut"};

template <size_t N>
void FillItems(TStrings* Items, const char* const (&Texts)[N]) {
  Items->Clear();
  for (const char* Text : Texts) Items->Add(Text);
}

void StyleFont(TControl* Control, int32_t Size, TFontStyles Style, TColor Color = clWindowText) {
  Control->Font()->SetSize(Size);
  Control->Font()->SetStyle(Style);
  Control->Font()->SetColor(Color);
}

// Gives a bitmap button its artwork at its own size and the look of a flat, bitmap-only button.
void Dress(TRzBmpButton* Button, TButtonGlyph Glyph) {
  TBitmap Up, Hot, Disabled;
  DrawButtonBitmaps(Glyph, Button->Width(), Button->Height(), &Up, &Hot, &Disabled);
  Button->Bitmaps()->SetTransparentColor(ButtonTransparentColor);
  Button->Bitmaps()->SetUp(&Up);
  Button->Bitmaps()->SetHot(&Hot);
  Button->Bitmaps()->SetDisabled(&Disabled);
  Button->SetButtonBorder(bbNone);
  Button->SetButtonSize(bszStretchToButton);
  Button->SetTabStop(false);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The form description
// ---------------------------------------------------------------------------------------------

TFrmZonvark::TFrmZonvark(TComponent* AOwner) : TForm(AOwner) {
  FrmZonvark = this;
  TFormLoader L(this);
  L.Set(this, {{"Name", "FrmZonvark"}, {"Caption", ""}, {"BorderStyle", "bsNone"}, {"Position", "poScreenCenter"},
               {"Font.Name", "Tahoma"}, {"Font.Size", "8"}});
  SetColor(FormBodyColor);
  SetClientSize(ClientW, ClientH);
  OnCreate = [this](TObject* S) { FormCreate(S); };
  OnDestroy = [this](TObject* S) { FormDestroy(S); };
  OnClose = [this](TObject* S, TCloseAction& A) { FormClose(S, A); };
  OnCloseQuery = [this](TObject* S, bool& C) { FormCloseQuery(S, C); };

  auto Click = [this](void (TFrmZonvark::*Handler)(TObject*)) {
    return [this, Handler](TObject* S) { (this->*Handler)(S); };
  };
  auto Button = [&](const std::string& Name, TWinControl* Parent, const TRect& R, TButtonGlyph Glyph,
                    const std::string& Caption, const std::string& Hint, bool Enabled,
                    void (TFrmZonvark::*Handler)(TObject*)) {
    auto* B = L.Add<TRzBmpButton>(Name, Parent, R);
    B->SetCaption(Caption);
    B->SetHint(Hint);
    B->SetShowHint(!Hint.empty());
    B->SetEnabled(Enabled);
    Dress(B, Glyph);
    B->OnClick = Click(Handler);
    return B;
  };
  auto Heading = [&](const std::string& Name, TWinControl* Parent, const TRect& R, const std::string& Caption) {
    auto* H = L.Add<TLabel>(Name, Parent, R);
    H->SetCaption(Caption);
    H->SetTransparent(true);
    H->SetAutoSize(true);
    StyleFont(H, 10, {fsBold}, TColor(0x7A4A1F));
    return H;
  };
  auto Separator = [&](const std::string& Name, TWinControl* Parent, const TRect& R) {
    auto* S = L.Add<TRzSeparator>(Name, Parent, R);
    S->SetShowGradient(true);
    S->SetHighlightColor(TColor(0xC89A5A));
    return S;
  };
  auto TimeLabel = [&](const std::string& Name, TWinControl* Parent, const TRect& R, const std::string& Caption) {
    auto* T = L.Add<TRzLabel>(Name, Parent, R);
    T->SetCaption(Caption);
    T->SetAutoSize(false);
    T->SetAlignment(taCenter);
    T->SetTransparent(true);
    T->SetEnabled(false);
    T->OnClick = Click(&TFrmZonvark::PanelPlayBkClick);
    return T;
  };
  auto Combo = [&](const std::string& Name, const TRect& R, auto& Items, int32_t Index) {
    auto* C = L.Add<TRzComboBox>(Name, PanelGif, R);
    C->SetStyle(csDropDownList);
    FillItems(C->Items(), Items);
    C->SetItemIndex(Index);
    C->SetEnabled(false);
    return C;
  };
  auto GifLabel = [&](const std::string& Name, const TRect& R, const std::string& Caption) {
    auto* G = L.Add<TLabel>(Name, PanelGif, R);
    G->SetCaption(Caption);
    G->SetTransparent(true);
    return G;
  };

  // Window frame and title strip.
  ImageBk = L.Add<TImage>("ImageBk", this, Bounds(0, 0, ClientW, ClientH));
  ImageBkPic = L.Add<TImage>("ImageBkPic", this, Bounds(0, 0, SkinSourceSize, SkinSourceSize));
  ImageBkPic->SetVisible(false);
  DrawSkinSource(ImageBkPic->Picture()->Bitmap());
  LabelFormTop = L.Add<TLabel>("LabelFormTop", this, Bounds(0, 0, ClientW, 31));
  LabelFormTop->SetAutoSize(false);
  LabelFormTop->SetAlign(alTop);
  LabelFormTop->SetCaption("");
  LabelFormTop->SetTransparent(true);
  LabelFormTop->OnMouseDown = [this](TObject* S, TMouseButton B, TShiftState Sh, int X, int Y) {
    LabelFormTopMouseDown(S, B, Sh, X, Y);
  };
  LabelTitle = L.Add<TAALabel>("LabelTitle", this, Bounds(14, 9, 120, 16));
  LabelTitle->SetCaption("Zonvark");
  StyleFont(LabelTitle, 8, {fsBold}, clWhite);
  LabelTitle->SetCursor(crHandPoint);
  LabelTitle->OnClick = Click(&TFrmZonvark::LabelTitleClick);
  ImageLanguage = L.Add<TImage>("ImageLanguage", this, Bounds(236, 10, FlagWidth, FlagHeight));
  ImageLanguage->SetCursor(crHandPoint);
  ImageLanguage->OnClick = Click(&TFrmZonvark::LabelLanguageClick);
  LabelLanguage = L.Add<TAALabel>("LabelLanguage", this, Bounds(258, 9, 110, 16));
  LabelLanguage->SetCaption("Change Language");
  StyleFont(LabelLanguage, 8, {fsBold}, clWhite);
  LabelLanguage->SetCursor(crHandPoint);
  LabelLanguage->OnClick = Click(&TFrmZonvark::LabelLanguageClick);
  LabelTitle->Effect()->FontEffect()->Shadow()->SetEnabled(true);
  LabelLanguage->Effect()->FontEffect()->Shadow()->SetEnabled(true);
  LabelTitle->Effect()->SetTransparent(true);
  LabelLanguage->Effect()->SetTransparent(true);
  BtnSysMinSize = Button("BtnSysMinSize", this, Bounds(380, 6, 22, 18), TButtonGlyph::Minimize, "", "Minimize", true,
                         &TFrmZonvark::BtnSysMinSizeClick);
  BtnSysClose = Button("BtnSysClose", this, Bounds(404, 6, 22, 18), TButtonGlyph::Close, "", "Close", true,
                       &TFrmZonvark::BtnSysCloseClick);

  // Commands.
  BtnOpen = Button("BtnOpen", this, Bounds(12, 46, 128, 32), TButtonGlyph::None, "Open", "", true,
                   &TFrmZonvark::BtnOpenClick);
  BtnSave = Button("BtnSave", this, Bounds(153, 46, 128, 32), TButtonGlyph::None, "Save as GIF", "", true,
                   &TFrmZonvark::BtnSaveClick);
  BtnHelp = Button("BtnHelp", this, Bounds(294, 46, 128, 32), TButtonGlyph::None, "Help", "", true,
                   &TFrmZonvark::BtnHelpClick);
  for (TRzBmpButton* B : {BtnOpen, BtnSave, BtnHelp}) StyleFont(B, 8, {fsBold});

  // Video.
  LabelVideo = Heading("LabelVideo", this, Bounds(12, 88, 100, 17), "Original video");
  SeparatorVideo = Separator("SeparatorVideo", this, Bounds(112, 95, 310, 4));
  LabelVideoSize = L.Add<TLabel>("LabelVideoSize", this, Bounds(14, 110, 406, 14));
  LabelVideoSize->SetTransparent(true);
  PanelVideo = L.Add<TRzPanel>("PanelVideo", this, Bounds(12, 128, 410, 250));
  PanelVideo->SetBorderOuter(fsFlatRounded);
  PanelVideo->SetColor(TColor(0xF7F2EC));
  PanelVideo->SetCaption("");
  PanelVideo->OnClick = Click(&TFrmZonvark::PanelPlayBkClick);
  ImageViewBk = L.Add<TImage>("ImageViewBk", PanelVideo, Bounds(21, 8, 367, 180));
  DrawOpenPicture(ImageViewBk->Picture()->Bitmap(), 367, 180);
  ImageViewBk->SetCursor(crHandPoint);
  ImageViewBk->OnClick = Click(&TFrmZonvark::BtnOpenClick);
  PanelViewBk = L.Add<TRzPanel>("PanelViewBk", PanelVideo, Bounds(21, 8, 367, 180));
  PanelViewBk->SetBorderOuter(fsNone);
  PanelViewBk->SetColor(PreviewBackColor);
  PanelViewBk->SetCaption("");
  PanelViewBk->SetVisible(false);
  PanelViewBk->OnClick = Click(&TFrmZonvark::PanelPlayBkClick);
  PanelPlayBk = L.Add<TRzPanel>("PanelPlayBk", PanelViewBk, Bounds(0, 0, 367, 180));
  PanelPlayBk->SetBorderOuter(fsNone);
  PanelPlayBk->SetColor(clBlack);
  PanelPlayBk->SetCaption("");
  PanelPlayBk->OnClick = Click(&TFrmZonvark::PanelPlayBkClick);
  ImagePlay = L.Add<TImage>("ImagePlay", PanelPlayBk, Bounds(0, 0, 367, 180));
  ImagePlay->OnClick = Click(&TFrmZonvark::PanelPlayBkClick);
  TrackBarPlay = L.Add<TRzTrackBar>("TrackBarPlay", PanelVideo, Bounds(13, 192, 384, 26));
  TrackBarPlay->SetMax(100);
  TrackBarPlay->SetPosition(0);
  TrackBarPlay->SetSelColor(clLime);
  TrackBarPlay->SetShowTicks(false);
  TrackBarPlay->SetEnabled(false);
  TrackBarPlay->OnChange = Click(&TFrmZonvark::TrackBarPlayChange);
  TrackBarPlay->OnKeyDown = [this](TObject* S, uint16_t& K, TShiftState Sh) { TrackBarPlayKeyDown(S, K, Sh); };
  BtnPrvKeyFrame = Button("BtnPrvKeyFrame", PanelVideo, Bounds(108, 220, 30, 24), TButtonGlyph::PrevKeyFrame, "",
                          "Previous key frame (Left)", false, &TFrmZonvark::BtnPrvKeyFrameClick);
  LabelPTS = TimeLabel("LabelPTS", PanelVideo, Bounds(142, 224, 108, 16), "00:00:00.000");
  LabelPTS->Font()->SetStyle({fsBold});
  BtnNextFrame = Button("BtnNextFrame", PanelVideo, Bounds(254, 220, 30, 24), TButtonGlyph::NextFrame, "",
                        "Next frame (Shift+Right)", false, &TFrmZonvark::BtnNextFrameClick);
  BtnNextKeyFrame = Button("BtnNextKeyFrame", PanelVideo, Bounds(288, 220, 30, 24), TButtonGlyph::NextKeyFrame, "",
                           "Next key frame (Right)", false, &TFrmZonvark::BtnNextKeyFrameClick);
  PanelState = L.Add<TRzPanel>("PanelState", PanelVideo, Bounds(21, 8, 367, 180));
  PanelState->SetBorderOuter(fsFlatRounded);
  PanelState->SetColor(TColor(0xF7F2EC));
  PanelState->SetCaption("");
  PanelState->SetVisible(false);
  LabelWait = L.Add<TLabel>("LabelWait", PanelState, Bounds(30, 52, 307, 16));
  LabelWait->SetCaption("Processing......");
  LabelWait->SetAutoSize(false);
  LabelWait->SetAlignment(taCenter);
  LabelWait->SetTransparent(true);
  RzProgressBar1 = L.Add<TRzProgressBar>("RzProgressBar1", PanelState, Bounds(30, 76, 307, 20));
  BtnCancel = Button("BtnCancel", PanelState, Bounds(133, 112, 100, 28), TButtonGlyph::None, "Cancel", "", true,
                     &TFrmZonvark::BtnCancelClick);

  // Clip marks.
  LabelClip = Heading("LabelClip", this, Bounds(12, 388, 70, 17), "Cut Clip");
  SeparatorClip = Separator("SeparatorClip", this, Bounds(82, 395, 340, 4));
  // The mark buttons are wide enough for every language's caption, the labels for the longest time.
  BtnSetStart = Button("BtnSetStart", this, Bounds(12, 412, 92, 26), TButtonGlyph::None, "Set Start", "", false,
                       &TFrmZonvark::BtnSetStartClick);
  LabelStart = TimeLabel("LabelStart", this, Bounds(106, 417, 76, 16), "N/A");
  BtnGoToStart = Button("BtnGoToStart", this, Bounds(184, 413, 28, 24), TButtonGlyph::GoToStart, "", "Go To Start",
                        false, &TFrmZonvark::BtnGoToStartClick);
  BtnSetEnd = Button("BtnSetEnd", this, Bounds(222, 412, 92, 26), TButtonGlyph::None, "Set End", "", false,
                     &TFrmZonvark::BtnSetEndClick);
  LabelEnd = TimeLabel("LabelEnd", this, Bounds(316, 417, 76, 16), "N/A");
  BtnGoToEnd = Button("BtnGoToEnd", this, Bounds(394, 413, 28, 24), TButtonGlyph::GoToEnd, "", "Go To End", false,
                      &TFrmZonvark::BtnGoToEndClick);

  // GIF options.
  PanelGif = L.Add<TRzPanel>("PanelGif", this, Bounds(12, 448, 410, 154));
  PanelGif->SetBorderOuter(fsNone);
  PanelGif->SetTransparent(true);
  PanelGif->SetCaption("");
  LabelGif = Heading("LabelGif", PanelGif, Bounds(0, 0, 30, 17), "GIF");
  SeparatorGif = Separator("SeparatorGif", PanelGif, Bounds(30, 7, 380, 4));
  // The left column's lists are as wide as the right column leaves them; the colour list, with only
  // the Loop box beside it, is wider still.
  LabelGifSize = GifLabel("LabelGifSize", Bounds(2, 29, 56, 14), "Size");
  ComboBoxSize = Combo("ComboBoxSize", Bounds(62, 25, 94, 21), SizeItems, 4);
  ComboBoxSize->OnChange = Click(&TFrmZonvark::ComboBoxSizeChange);
  LabelGifWidth = GifLabel("LabelGifWidth", Bounds(160, 29, 50, 14), "Width");
  SpinEditWidth = L.Add<TRzSpinEdit>("SpinEditWidth", PanelGif, Bounds(222, 25, 60, 21));
  LabelGifHeight = GifLabel("LabelGifHeight", Bounds(286, 29, 50, 14), "Height");
  SpinEditHeight = L.Add<TRzSpinEdit>("SpinEditHeight", PanelGif, Bounds(342, 25, 60, 21));
  for (TRzSpinEdit* E : {SpinEditWidth, SpinEditHeight}) {
    E->SetAllowBlank(true);
    // Sizes are typed as well as stepped; the typed text is checked when the focus leaves.
    E->SetAllowKeyEdit(true);
    E->SetFlatButtons(true);
    E->SetFlatButtonColor(TColor(0xF3D28D));
    E->SetFrameColor(TColor(0xDCA065));
    E->SetFrameVisible(true);
    E->SetIntegersOnly(true);
    E->SetMax(10000);
    E->SetEnabled(false);
  }
  RadioGroupResize = L.Add<TRzRadioGroup>("RadioGroupResize", PanelGif, Bounds(160, 50, 242, 36));
  FillItems(RadioGroupResize->Items(), ResizeItems);
  RadioGroupResize->SetItemIndex(0);
  RadioGroupResize->SetEnabled(false);
  RadioGroupResize->SetColumns(3);
  // The group shows through to the window's body, without a band of its own colour above its frame.
  RadioGroupResize->SetTransparent(true);
  LabelGifSpeed = GifLabel("LabelGifSpeed", Bounds(2, 98, 56, 14), "Speed");
  ComboBoxSpeed = Combo("ComboBoxSpeed", Bounds(62, 94, 94, 21), SpeedItems, 5);
  LabelGifFrame = GifLabel("LabelGifFrame", Bounds(160, 98, 80, 14), "Frame rate");
  ComboBoxFrameCount = Combo("ComboBoxFrameCount", Bounds(244, 94, 158, 21), FrameItems, 3);
  LabelGifColor = GifLabel("LabelGifColor", Bounds(2, 128, 56, 14), "Color");
  ComboBoxColor = Combo("ComboBoxColor", Bounds(62, 124, 102, 21), ColorItems, 4);
  LabelGifLoop = L.Add<TRzCheckBox>("LabelGifLoop", PanelGif, Bounds(172, 126, 120, 17));
  LabelGifLoop->SetCaption("Loop");
  LabelGifLoop->SetEnabled(false);
  LabelGifLoop->SetTransparent(true);

  // Components without a window.
  FFEncoder = L.Add<TFFEncoder>("FFEncoder");
  OpenDialogVideo = L.Add<TOpenDialog>("OpenDialogVideo");
  OpenDialogVideo->SetFilter(VideoFileFilter);
  OpenDialogVideo->SetOptions({ofHideReadOnly, ofFileMustExist, ofEnableSizing});
  SaveDialog1 = L.Add<TSaveDialog>("SaveDialog1");
  SaveDialog1->SetFilter("GIF Image (*.gif)|*.gif");
  SaveDialog1->SetDefaultExt("gif");
  SaveDialog1->SetOptions({ofOverwritePrompt, ofHideReadOnly, ofEnableSizing});
  ImageListLanguage = L.Add<TImageList>("ImageListLanguage");
  ImageListLanguage->SetWidth(FlagWidth);
  ImageListLanguage->SetHeight(FlagHeight);
  for (int32_t I = 0; I < LanguageCount; ++I) {
    TBitmap Flag;
    DrawFlag(I, &Flag);
    ImageListLanguage->Add(&Flag, nullptr);
  }
  PopupMenuLanguage = L.Add<TPopupMenu>("PopupMenuLanguage");
  PopupMenuLanguage->SetImages(ImageListLanguage);
  TMenuItem** Items[LanguageCount] = {&PM_English, &PM_Spanish, &PM_German,  &PM_Italian,
                                      &PM_French,  &PM_Chinese, &PM_Japanese};
  for (int32_t I = 0; I < LanguageCount; ++I) {
    const TLanguageInfo& Info = Languages[I];
    auto* Item = L.Add<TMenuItem>(Info.MenuItemName);
    Item->SetCaption(Info.MenuCaption);
    Item->SetTag(Info.Id);
    Item->SetImageIndex(Info.FlagIndex);
    Item->SetRadioItem(true);
    Item->SetGroupIndex(1);
    Item->OnClick = Click(&TFrmZonvark::PM_EnglishClick);
    PopupMenuLanguage->Items()->Add(Item);
    *Items[I] = Item;
  }

  L.Finish();
}

TFrmZonvark::~TFrmZonvark() {
  // OnDestroy reads the controls (the settings), so it must run while this class is still whole.
  BeforeDestruction();
  if (FrmZonvark == this) FrmZonvark = nullptr;
}

TFFDecoder* TFrmZonvark::Decoder() const { return FFEncoder->Decoder(); }

void TFrmZonvark::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_SHOWWINDOW && FShadow) FShadow->SetShadowVisible(Message.WParam != 0);
  TForm::Dispatch(Message);
}

// ---------------------------------------------------------------------------------------------
// Creation, destruction, closing
// ---------------------------------------------------------------------------------------------

void TFrmZonvark::FormCreate(TObject*) {
  AppFolder = GetAppFolder();
  FPositioning = false;
  FUpdating = false;
  FBusy = false;
  FCancel = false;
  FVideoWidth = -1;
  FVideoHeight = -1;
  FFrameDuration = -1.0;
  FFrameBitmap = new TBitmap();
  FGifView = new TImagingView(this);
  FGifView->SetBackground(TColor(0xFFFFFF));
  FShadow = new TFormShadow(Application);
  FShadow->AttachToForm(this);
  FShadow->SetShadowColor(TColor(0x808080));
  LoadOptions();
  if (LanguageId == 0) LanguageId = DetectLanguageId();
  if (LanguageId == 0) LanguageId = LangEnglish;
  ApplyLanguage(LanguageId);
  LabelStart->SetCaption(MessageTexts.MS_NAStr);
  LabelEnd->SetCaption(MessageTexts.MS_NAStr);
  BtnGoToStart->SetEnabled(false);
  BtnGoToEnd->SetEnabled(false);
  WriteVideoSizeLine(-1, -1);
  TBitmap* Skin = ImageBk->Picture()->Bitmap();
  Skin->SetPixelFormat(pf24bit);
  Skin->SetSize(ImageBk->Width(), ImageBk->Height());
  PaintSkin(Skin->Canvas(), ImageBkPic->Picture()->Graphic(), ImageBk->Height(), ImageBk->Width());
  ImageBk->Invalidate();
  PanelPlayBk->SetDoubleBuffered(true);
}

void TFrmZonvark::FormDestroy(TObject*) {
  delete FFrameBitmap;
  FFrameBitmap = nullptr;
  delete FGifView;
  FGifView = nullptr;
  SaveOptions();
}

void TFrmZonvark::FormClose(TObject*, TCloseAction&) {
  FUpdating = true;
  Decoder()->CloseFile();
  delete FShadow;
  FShadow = nullptr;
}

void TFrmZonvark::FormCloseQuery(TObject*, bool& CanClose) {
  if (!FBusy) return;
  // Nothing may be freed under the running conversion: it is cancelled, and its clean-up closes.
  FCancel = true;
  FCloseRequested = true;
  CanClose = false;
}

void TFrmZonvark::BtnSysMinSizeClick(TObject*) { Application->Minimize(); }

void TFrmZonvark::BtnSysCloseClick(TObject*) {
  // The close button is one of the commands a running conversion shuts out; a close from outside the
  // window still reaches FormCloseQuery, which cancels the conversion first.
  if (FBusy) return;
  Close();
}

void TFrmZonvark::LabelFormTopMouseDown(TObject*, TMouseButton, TShiftState, int, int) {
  ReleaseCapture();
  SendMessage(Handle(), WM_SYSCOMMAND, SC_MOVE | WPARAM(HTCAPTION), 0);
}

void TFrmZonvark::BtnHelpClick(TObject*) {
  const std::string Page = ProductHelpPage(AppFolder, LanguageId);
  if (OpenUrl(Page)) return;
  const TMessageKey& Key = MessageKeys[8];
  const std::string& Text = MessageTexts.*Key.Field;
  Application->MessageBox((Text.empty() ? std::string(Key.BuiltIn) : Text) + "\n" + Page,
                          MessageTexts.MS_Error.empty() ? "Error" : MessageTexts.MS_Error, MB_ICONERROR | MB_OK);
}

void TFrmZonvark::LabelTitleClick(TObject*) { OpenUrl(MakerHomePage(AppFolder)); }

void TFrmZonvark::PanelPlayBkClick(TObject*) { FocusSeekBar(); }

// ---------------------------------------------------------------------------------------------
// The skin
// ---------------------------------------------------------------------------------------------

void TFrmZonvark::PaintSkin(TCanvas* Canvas, TGraphic* Source, int32_t H, int32_t W) {
  const TRect B = ImageBk->BoundsRect();
  HRGN Region = CreateRoundRectRgn(B.Left + 1, B.Top + 1, B.Right, B.Bottom, 9, 9);
  // The window keeps the region; it is ours to delete only when the window refuses it.
  if (SetWindowRgn(Handle(), Region, true) == 0) DeleteObject(Region);

  TBitmap Src;
  Src.Assign(Source);
  const int32_t sw = Src.Width(), sh = Src.Height();
  TCanvas* S = Src.Canvas();
  Canvas->SetCopyMode(cmSrcCopy);
  Canvas->CopyRect(Rect(0, 0, 40, 40), S, Rect(0, 0, 40, 40));
  Canvas->CopyRect(Rect(W - 40, 0, W, 40), S, Rect(sw - 40, 0, sw, 40));
  Canvas->CopyRect(Rect(0, H - 20, 20, H), S, Rect(0, sh - 20, 20, sh));
  Canvas->CopyRect(Rect(W - 20, H - 20, W, H), S, Rect(sw - 20, sh - 20, sw, sh));

  auto Piece = [&](int32_t WorkW, int32_t WorkH, const TRect& From, const TRect& To) {
    auto Work = std::make_unique<TBitmap>();
    Work->SetPixelFormat(pf24bit);
    Work->SetSize(WorkW, WorkH);
    Work->Canvas()->CopyRect(Rect(0, 0, WorkW, WorkH), S, From);
    Canvas->StretchDraw(To, Work.get());
  };
  Piece(20, 40, Rect(41, 0, 61, 40), Rect(40, 0, W - 40, 40));
  Piece(20, 40, Rect(0, 40, 20, 80), Rect(0, 40, 20, H - 20));
  Piece(20, 40, Rect(sw - 20, 40, sw, 80), Rect(W - 20, 40, W, H - 20));
  Piece(sw - 40, 20, Rect(20, sh - 20, sw - 20, sh), Rect(20, H - 20, W - 20, H));
  Piece(sw - 40, 40, Rect(20, 40, sw - 20, sh - 20), Rect(20, 40, W - 20, H - 20));
}

// ---------------------------------------------------------------------------------------------
// Settings
// ---------------------------------------------------------------------------------------------

void TFrmZonvark::LoadOptions() {
  FUpdating = true;
  try {
    const TAppOptions O = zv::LoadOptions(OptionsPath(AppFolder));
    LanguageId = O.LanguageId;
    ComboBoxSize->SetItemIndex(O.Size);
    SpinEditWidth->SetValue(O.Width);
    SpinEditHeight->SetValue(O.Height);
    RadioGroupResize->SetItemIndex(O.SizeType);
    ComboBoxSpeed->SetItemIndex(O.Speed);
    ComboBoxFrameCount->SetItemIndex(O.FrameCount);
    ComboBoxColor->SetItemIndex(O.Color);
    LabelGifLoop->SetCheckedValue(O.Loop);
  } catch (...) {
    FUpdating = false;
    throw;
  }
  FUpdating = false;
}

void TFrmZonvark::SaveOptions() {
  TAppOptions O;
  O.Size = ComboBoxSize->ItemIndex();
  O.Width = int32_t(Round(SpinEditWidth->Value()));
  O.Height = int32_t(Round(SpinEditHeight->Value()));
  O.SizeType = RadioGroupResize->ItemIndex();
  O.Speed = ComboBoxSpeed->ItemIndex();
  O.FrameCount = ComboBoxFrameCount->ItemIndex();
  O.Color = ComboBoxColor->ItemIndex();
  O.Loop = LabelGifLoop->Checked();
  O.LanguageId = LanguageId;
  zv::SaveOptions(OptionsPath(AppFolder), O);
}

// ---------------------------------------------------------------------------------------------
// Languages
// ---------------------------------------------------------------------------------------------

void TFrmZonvark::ApplyLanguage(uint8_t Id) {
  FUpdating = true;
  try {
    LanguageId = Id;
    Application->SetTitle(ProductTitle);
    const TLanguageInfo& Info = LanguageInfo(Id);
    for (TMenuItem* Item : {PM_English, PM_Spanish, PM_German, PM_Italian, PM_French, PM_Chinese, PM_Japanese})
      Item->SetChecked(Item->Name() == Info.MenuItemName);
    const std::string File = AppFolder + Info.FileName;
    if (FileExists(File)) {
      Font()->SetName("Tahoma");
      Font()->SetSize(8);
      const int32_t Indexes[4] = {ComboBoxSize->ItemIndex(), ComboBoxSpeed->ItemIndex(),
                                  ComboBoxFrameCount->ItemIndex(), ComboBoxColor->ItemIndex()};
      LoadMessages(File, MessageTexts);
      ApplyLanguageStrings(this, File);
      ComboBoxSize->SetItemIndex(Indexes[0]);
      ComboBoxSpeed->SetItemIndex(Indexes[1]);
      ComboBoxFrameCount->SetItemIndex(Indexes[2]);
      ComboBoxColor->SetItemIndex(Indexes[3]);

      const bool Chinese = Id == LangChinese;
      if (Chinese) {
        // Our stand-in for the Chinese system font; fontconfig picks the installed CJK face.
        Font()->SetName("Noto Sans CJK SC");
        Font()->SetSize(9);
        Application->SetTitle(ProductTitleChinese);
      }
      const std::string Face = Font()->Name();
      const int32_t Size = Font()->Size();
      for (TControl* C : {static_cast<TControl*>(LabelTitle), static_cast<TControl*>(LabelLanguage)}) {
        C->Font()->SetName(Face);
        C->Font()->SetSize(Chinese ? 10 : Size);
      }
      for (TControl* C : {BtnOpen, BtnSave, BtnHelp}) {
        C->Font()->SetName(Face);
        C->Font()->SetStyle(Chinese ? TFontStyles{} : TFontStyles{fsBold});
      }
      for (TControl* C : {LabelVideo, LabelClip, LabelGif}) {
        C->Font()->SetName(Face);
        C->Font()->SetSize(Chinese ? Size : 10);
        C->Font()->SetStyle(Chinese ? TFontStyles{} : TFontStyles{fsBold});
      }
      for (TControl* C : {static_cast<TControl*>(LabelWait), static_cast<TControl*>(BtnCancel),
                          static_cast<TControl*>(BtnSetStart), static_cast<TControl*>(BtnSetEnd)}) {
        C->Font()->SetName(Face);
        C->Font()->SetSize(Size);
      }
      LayoutSeparators();
      LabelTitle->SetCaption(Application->Title());
      DrawLanguageFlag(Id - 1);
    }
  } catch (...) {
    FUpdating = false;
    throw;
  }
  FUpdating = false;
}

void TFrmZonvark::LayoutSeparators() {
  const std::pair<TLabel*, TRzSeparator*> Pairs[] = {
      {LabelVideo, SeparatorVideo}, {LabelClip, SeparatorClip}, {LabelGif, SeparatorGif}};
  for (auto [Label, Line] : Pairs) {
    Line->SetLeft(Label->Left() + Label->Width());
    Line->SetWidth(ContentWidth - Label->Width());
  }
  WriteVideoSizeLine(FVideoWidth > 0 ? FVideoWidth : -1, FVideoWidth > 0 ? FVideoHeight : -1);
}

void TFrmZonvark::DrawLanguageFlag(int32_t FlagIndex) {
  TBitmap* Flag = ImageLanguage->Picture()->Bitmap();
  Flag->SetWidth(0);
  Flag->SetPixelFormat(pf24bit);
  Flag->SetSize(ImageListLanguage->Width(), ImageListLanguage->Height());
  ImageListLanguage->Draw(Flag->Canvas(), 0, 0, FlagIndex, true);
  ImageLanguage->Invalidate();
}

void TFrmZonvark::LabelLanguageClick(TObject*) {
  if (FBusy) return;
  const TPoint P = ImageLanguage->ClientToScreen(TPoint(-1, ImageLanguage->Height() + 1));
  PopupMenuLanguage->Popup(P.X, P.Y);
}

void TFrmZonvark::PM_EnglishClick(TObject* Sender) {
  auto* Item = dynamic_cast<TMenuItem*>(Sender);
  if (Item && Item->Tag() != LanguageId) ApplyLanguage(uint8_t(Item->Tag()));
}

}  // namespace zv
