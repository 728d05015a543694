// Forms and the application: TCustomForm/TForm (top-level windows, modal runs, closing), TScreen,
// TApplication (message loop, exceptions, message boxes), the file dialogs, a stand-in for loading
// a form description, and the desktop facts the application asks for (locale language, themes).
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/controls.h"

namespace zv {

class TCustomForm;

enum TCloseAction : uint8_t { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

enum TPosition : uint8_t {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
template <>
struct TEnumNames<TPosition> {
  static constexpr std::string_view Names[] = {"poDesigned",     "poDefault",       "poDefaultPosOnly",
                                               "poDefaultSizeOnly", "poScreenCenter", "poDesktopCenter",
                                               "poMainFormCenter", "poOwnerFormCenter"};
};

enum TFormStyle : uint8_t { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
template <>
struct TEnumNames<TFormStyle> {
  static constexpr std::string_view Names[] = {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"};
};

enum TWindowState : uint8_t { wsNormal, wsMinimized, wsMaximized };
template <>
struct TEnumNames<TWindowState> {
  static constexpr std::string_view Names[] = {"wsNormal", "wsMinimized", "wsMaximized"};
};

enum TBorderIcon : uint8_t { biSystemMenu, biMinimize, biMaximize, biHelp };
template <>
struct TEnumNames<TBorderIcon> {
  static constexpr std::string_view Names[] = {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"};
};
using TBorderIcons = TSet<TBorderIcon>;

enum TFormStateItem : uint8_t { fsCreating, fsVisible, fsShowing, fsModal, fsCreatedMDIChild, fsActivated };
using TFormState = TSet<TFormStateItem>;

// ---------------------------------------------------------------------------------------------
// Forms
// ---------------------------------------------------------------------------------------------

// A top-level window holding controls. Created hidden; Show or ShowModal puts it on screen.
// OnCreate runs after construction (AfterConstruction, called by Application->CreateForm and by the
// form-description stand-in), OnDestroy before destruction (BeforeDestruction, called by the
// application, by Release, and at the latest by this class's destructor: a derived form whose
// OnDestroy uses its own members calls BeforeDestruction first in its destructor).
class TCustomForm : public TWinControl {
public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;

  void AfterConstruction();
  void BeforeDestruction();

  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle Value);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons Value);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition Value) { FPosition = Value; }
  TFormStyle FormStyle() const { return FFormStyle; }
  void SetFormStyle(TFormStyle Value);
  TWindowState WindowState();
  void SetWindowState(TWindowState Value);
  bool KeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool Value) { FKeyPreview = Value; }
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }
  TFormState FormState() const { return FFormState; }
  int32_t PixelsPerInch() const { return 96; }
  void SetPixelsPerInch(int32_t) {}
  bool Active() const { return FActive; }

  // Layered look of the window: a constant alpha, and/or one colour shown as transparent.
  bool AlphaBlend() const { return FAlphaBlend; }
  void SetAlphaBlend(bool Value);
  uint8_t AlphaBlendValue() const { return FAlphaBlendValue; }
  void SetAlphaBlendValue(uint8_t Value);
  bool TransparentColor() const { return FTransparentColor; }
  void SetTransparentColor(bool Value);
  TColor TransparentColorValue() const { return FTransparentColorValue; }
  void SetTransparentColorValue(TColor Value);

  // The control that has (or gets, when the form shows) the focus.
  TWinControl* ActiveControl() const { return FActiveControl; }
  // Raises EInvalidOperation when the control cannot take the focus.
  void SetActiveControl(TWinControl* Control);
  void FocusControl(TWinControl* Control);
  // A control (or one it contains) stops being able to hold the focus.
  void DefocusControl(TWinControl* Control, bool Removing);
  // Called when Control's window got the focus: CM_EXIT / CM_ENTER along the parent chains.
  bool SetFocusedControl(TWinControl* Control);

  TCanvas* Canvas() const { return FCanvas.get(); }

  void Show();
  void Hide() { SetVisible(false); }
  // Runs the form modally: the other forms are disabled and messages are handled until ModalResult
  // becomes non-zero (or the application terminates: mrCancel). Returns ModalResult.
  TModalResult ShowModal();
  // Asks OnCloseQuery, then OnClose decides: hide (default), free, minimise or nothing. Closing the
  // main form ends the application; closing a modal form sets ModalResult to mrCancel.
  void Close();
  virtual bool CloseQuery();
  // Frees the form once the messages being handled now are done.
  void Release();

  void SetVisible(bool Value) override;
  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnPaint;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;

protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void PaintWindow(HDC DC) override;
  virtual void Paint();
  virtual void DoCreate();
  virtual void DoDestroy();
  virtual void DoShow();
  virtual void DoHide();
  virtual void DoClose(TCloseAction& Action);
  void UpdateLayered();

private:
  void CloseModal();
  void ApplyPosition();

  TFormBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons = {biSystemMenu, biMinimize, biMaximize};
  TPosition FPosition = poDesigned;
  TFormStyle FFormStyle = fsNormal;
  TWindowState FWindowState = wsNormal;
  bool FKeyPreview = false;
  TModalResult FModalResult = mrNone;
  TFormState FFormState;
  bool FActive = false;
  bool FAlphaBlend = false;
  uint8_t FAlphaBlendValue = 255;
  bool FTransparentColor = false;
  TColor FTransparentColorValue = 0;
  bool FCreated = false;    // OnCreate has run
  bool FDestroyed = false;  // OnDestroy has run
  bool FPositioned = false; // Position applied at the first show
  TWinControl* FActiveControl = nullptr;
  TWinControl* FFocusedControl = nullptr;
  std::unique_ptr<TControlCanvas> FCanvas;
};

class TForm : public TCustomForm {
public:
  using TCustomForm::TCustomForm;
};

// ---------------------------------------------------------------------------------------------
// Screen
// ---------------------------------------------------------------------------------------------

// The desktop as the application sees it: size, cursors, forms.
class TScreen : public TComponent {
public:
  explicit TScreen(TComponent* AOwner);
  ~TScreen() override;

  int32_t Width() const;
  int32_t Height() const;
  TRect WorkAreaRect() const;
  int32_t PixelsPerInch() const { return 96; }
  // The cursor for a number: the standard ones and those the application stored.
  HCURSOR Cursors(TCursor Index);
  void SetCursors(TCursor Index, HCURSOR Handle);
  // A cursor for the whole application (crDefault: each control shows its own).
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor Value);
  int FormCount() const { return static_cast<int>(FForms.size()); }
  TCustomForm* Forms(int Index) const { return FForms.at(static_cast<size_t>(Index)); }
  // The form whose window is the active one (nullptr when none of ours is).
  TCustomForm* ActiveForm() const;

private:
  friend class TCustomForm;
  std::map<TCursor, HCURSOR> FCursors;
  TCursor FCursor = crDefault;
  std::vector<TCustomForm*> FForms;
};
extern TScreen* Screen;

// ---------------------------------------------------------------------------------------------
// Application
// ---------------------------------------------------------------------------------------------

using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;

// The program's message loop and its main form.
class TApplication : public TComponent {
public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  void Initialize() {}
  // Creates a form owned by the application; the first one becomes the main form. Runs OnCreate.
  template <typename F>
  void CreateForm(F*& Reference) {
    F* Form = new F(this);
    Reference = Form;
    AddForm(Form);
  }
  void AddForm(TCustomForm* Form);
  // Shows the main form and handles messages until Terminate.
  void Run();
  // Handles the messages waiting now.
  void ProcessMessages();
  // Handles one message, waiting for one when none is there.
  void HandleMessage();
  void Terminate();
  bool Terminated() const { return FTerminate; }
  void Minimize();
  void Restore();
  // A hidden window that owns the application's top-level windows.
  HWND Handle();
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& Value) { FTitle = Value; }
  TCustomForm* MainForm() const { return FMainForm; }
  bool ShowMainForm() const { return FShowMainForm; }
  void SetShowMainForm(bool Value) { FShowMainForm = Value; }
  std::string ExeName() const;
  // Inside a catch block: shows the exception (OnException when set, else a message box with its
  // message); EAbort passes silently.
  void HandleException(TObject* Sender);
  void ShowException(const std::exception& E);
  int MessageBox(const std::string& Text, const std::string& Caption, UINT Flags = MB_OK);
  // Frees the forms (their OnDestroy first) at the end of the program.
  void DestroyForms();

  TExceptionEvent OnException;
  TNotifyEvent OnIdle;
  TNotifyEvent OnMinimize;
  TNotifyEvent OnRestore;

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  bool ProcessMessage(MSG& Msg);
  void Idle();

  bool FTerminate = false;
  bool FShowMainForm = true;
  std::string FTitle;
  TCustomForm* FMainForm = nullptr;
  HWND FHandle = nullptr;
};
extern TApplication* Application;

// Shows text in a message box titled with the application's title.
void ShowMessage(const std::string& Text);

// ---------------------------------------------------------------------------------------------
// File dialogs
// ---------------------------------------------------------------------------------------------

enum TOpenOption : uint8_t {
  ofReadOnly,
  ofOverwritePrompt,
  ofHideReadOnly,
  ofNoChangeDir,
  ofShowHelp,
  ofNoValidate,
  ofAllowMultiSelect,
  ofExtensionDifferent,
  ofPathMustExist,
  ofFileMustExist,
  ofCreatePrompt,
  ofShareAware,
  ofNoReadOnlyReturn,
  ofNoTestFileCreate,
  ofNoNetworkButton,
  ofNoLongNames,
  ofOldStyleDialog,
  ofNoDereferenceLinks,
  ofEnableIncludeNotify,
  ofEnableSizing,
  ofDontAddToRecent,
  ofForceShowHidden
};
template <>
struct TEnumNames<TOpenOption> {
  static constexpr std::string_view Names[] = {
      "ofReadOnly",         "ofOverwritePrompt",  "ofHideReadOnly",      "ofNoChangeDir",
      "ofShowHelp",         "ofNoValidate",       "ofAllowMultiSelect",  "ofExtensionDifferent",
      "ofPathMustExist",    "ofFileMustExist",    "ofCreatePrompt",      "ofShareAware",
      "ofNoReadOnlyReturn", "ofNoTestFileCreate", "ofNoNetworkButton",   "ofNoLongNames",
      "ofOldStyleDialog",   "ofNoDereferenceLinks", "ofEnableIncludeNotify", "ofEnableSizing",
      "ofDontAddToRecent",  "ofForceShowHidden"};
};
using TOpenOptions = TSet<TOpenOption>;

// The desktop's file chooser for opening a file; Execute returns whether a file was chosen.
class TOpenDialog : public TComponent {
public:
  explicit TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}

  const std::string& Filter() const { return FFilter; }
  void SetFilter(const std::string& Value) { FFilter = Value; }
  int32_t FilterIndex() const { return FFilterIndex; }
  void SetFilterIndex(int32_t Value) { FFilterIndex = Value; }
  const std::string& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const std::string& Value) { FDefaultExt = Value; }
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& Value) { FFileName = Value; }
  const std::string& InitialDir() const { return FInitialDir; }
  void SetInitialDir(const std::string& Value) { FInitialDir = Value; }
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& Value) { FTitle = Value; }
  TOpenOptions Options() const { return FOptions; }
  void SetOptions(TOpenOptions Value) { FOptions = Value; }

  virtual bool Execute();
  const TPropList& PublishedProps() const override;

protected:
  bool DoExecute(bool Save);

private:
  std::string FFilter;
  int32_t FFilterIndex = 1;
  std::string FDefaultExt;
  std::string FFileName;
  std::string FInitialDir;
  std::string FTitle;
  TOpenOptions FOptions = {ofHideReadOnly, ofEnableSizing};
};

// The desktop's file chooser for saving a file.
class TSaveDialog : public TOpenDialog {
public:
  using TOpenDialog::TOpenDialog;
  bool Execute() override;
};

// ---------------------------------------------------------------------------------------------
// Form-description stand-in
// ---------------------------------------------------------------------------------------------

// The desktop's font chooser: starts from Font and, when a font is chosen, puts its face, height,
// style and colour back there.
class TFontDialog : public TComponent {
public:
  explicit TFontDialog(TComponent* AOwner);
  ~TFontDialog() override;
  TFont* Font() const { return FFont.get(); }
  virtual bool Execute();

private:
  std::unique_ptr<TFont> FFont;
};

// The desktop's colour chooser: starts from Color and answers the chosen one there.
class TColorDialog : public TComponent {
public:
  explicit TColorDialog(TComponent* AOwner) : TComponent(AOwner) {}
  TColor Color() const { return FColor; }
  void SetColor(TColor Value) { FColor = Value; }
  virtual bool Execute();

private:
  TColor FColor = clBlack;
};

// Builds a form the way loading its description would: the form and its components are created in
// description order with their names, parents, bounds and properties (set by name, as text), with
// the form and every component in the loading state until Finish, which ends it (Loaded) and runs
// the form's OnCreate. Events are bound in code between the steps.
//   TFormLoader L(this);
//   L.Set(this, {{"BorderStyle", "bsNone"}, {"Caption", ""}});
//   Panel1 = L.Add<TPanel>("Panel1", this, Bounds(0, 0, 434, 30), {{"Caption", "Hello"}});
//   Panel1->OnClick = [this](TObject* S) { Panel1Click(S); };
//   L.Finish();
class TFormLoader {
public:
  using TProps = std::initializer_list<std::pair<std::string_view, std::string_view>>;

  explicit TFormLoader(TCustomForm* Form);
  TFormLoader(const TFormLoader&) = delete;
  TFormLoader& operator=(const TFormLoader&) = delete;

  // Creates a component owned by the form, named, and (for a control) put on Parent with Bounds.
  template <typename T>
  T* Add(const std::string& Name, TWinControl* Parent, const TRect& BoundsRect, TProps Props = {}) {
    T* Component = new T(FForm);
    Place(Component, Name, Parent, BoundsRect, Props);
    return Component;
  }
  // A non-visual component.
  template <typename T>
  T* Add(const std::string& Name, TProps Props = {}) {
    T* Component = new T(FForm);
    Place(Component, Name, nullptr, TRect(), Props);
    return Component;
  }
  // Sets properties of an object by name ("Font.Name", "Caption" ...); raises EPropertyError.
  void Set(TPersistent* Target, TProps Props);
  // Ends loading (Loaded on every component, then the form) and runs the form's OnCreate.
  void Finish();

private:
  void Place(TComponent* Component, const std::string& Name, TWinControl* Parent, const TRect& BoundsRect,
             TProps Props);

  TCustomForm* FForm;
  std::vector<TComponent*> FLoading;
  bool FFinished = false;
};

// ---------------------------------------------------------------------------------------------
// Desktop facts
// ---------------------------------------------------------------------------------------------

using LANGID = uint16_t;
using LCID = uint32_t;
constexpr LANGID MAKELANGID(uint16_t Primary, uint16_t Sub) { return LANGID((Sub << 10) | Primary); }
constexpr uint16_t PRIMARYLANGID(LANGID Id) { return Id & 0x3FF; }
constexpr uint16_t SUBLANGID(LANGID Id) { return Id >> 10; }

constexpr uint16_t LANG_NEUTRAL = 0x00;
constexpr uint16_t LANG_ARABIC = 0x01;
constexpr uint16_t LANG_BULGARIAN = 0x02;
constexpr uint16_t LANG_CATALAN = 0x03;
constexpr uint16_t LANG_CHINESE = 0x04;
constexpr uint16_t LANG_CZECH = 0x05;
constexpr uint16_t LANG_DANISH = 0x06;
constexpr uint16_t LANG_GERMAN = 0x07;
constexpr uint16_t LANG_GREEK = 0x08;
constexpr uint16_t LANG_ENGLISH = 0x09;
constexpr uint16_t LANG_SPANISH = 0x0A;
constexpr uint16_t LANG_FINNISH = 0x0B;
constexpr uint16_t LANG_FRENCH = 0x0C;
constexpr uint16_t LANG_HEBREW = 0x0D;
constexpr uint16_t LANG_HUNGARIAN = 0x0E;
constexpr uint16_t LANG_ICELANDIC = 0x0F;
constexpr uint16_t LANG_ITALIAN = 0x10;
constexpr uint16_t LANG_JAPANESE = 0x11;
constexpr uint16_t LANG_KOREAN = 0x12;
constexpr uint16_t LANG_DUTCH = 0x13;
constexpr uint16_t LANG_NORWEGIAN = 0x14;
constexpr uint16_t LANG_POLISH = 0x15;
constexpr uint16_t LANG_PORTUGUESE = 0x16;
constexpr uint16_t LANG_ROMANIAN = 0x18;
constexpr uint16_t LANG_RUSSIAN = 0x19;
constexpr uint16_t LANG_CROATIAN = 0x1A;
constexpr uint16_t LANG_SLOVAK = 0x1B;
constexpr uint16_t LANG_SWEDISH = 0x1D;
constexpr uint16_t LANG_TURKISH = 0x1F;
constexpr uint16_t LANG_UKRAINIAN = 0x22;
constexpr uint16_t LANG_FARSI = 0x29;
constexpr uint16_t SUBLANG_DEFAULT = 0x01;
constexpr uint16_t SUBLANG_CHINESE_TRADITIONAL = 0x01;  // Taiwan
constexpr uint16_t SUBLANG_CHINESE_SIMPLIFIED = 0x02;   // mainland China
constexpr uint16_t SUBLANG_CHINESE_HONGKONG = 0x03;
constexpr uint16_t SUBLANG_CHINESE_SINGAPORE = 0x04;
constexpr uint16_t SUBLANG_CHINESE_MACAU = 0x05;

constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x800;
constexpr LCID LOCALE_USER_DEFAULT = 0x400;
constexpr uint32_t LOCALE_SENGLANGUAGE = 0x1001;

// The user's language from the environment (LC_ALL, LC_MESSAGES, LANG, in that order: "el_GR.UTF-8"
// gives Greek, "zh_TW" Chinese of Taiwan); English when none is set or the language is unknown ("C",
// "POSIX").
LANGID GetUserDefaultLangID();
LANGID GetSystemDefaultLangID();
LCID GetUserDefaultLCID();
LCID GetSystemDefaultLCID();
// LOCALE_SENGLANGUAGE: the language's English name ("Greek"). Returns the characters written with
// the terminating zero (or needed, with Size 0); 0 for another kind of data.
int GetLocaleInfoA(LCID Locale, uint32_t Type, char* Data, int Size);
// The primary language of a locale name such as "ru_RU.UTF-8"; LANG_NEUTRAL when unknown.
uint16_t PrimaryLanguageOfLocaleName(const std::string& Name);
// The language id of a locale name: its primary language and the sublanguage of its territory
// ("zh_CN" simplified, "zh_TW" traditional, "zh_HK" Hong Kong, "pt_BR" Brazil ...), SUBLANG_DEFAULT for
// a territory without one of its own; English (United States) for an unknown or empty name.
LANGID LangIdOfLocaleName(const std::string& Name);

// The locale the process started with: its primary and sublanguage ids, taken from the environment
// (LC_ALL, LC_MESSAGES, LANG) on first use. Tests set it with SetSysLocale (or re-read the environment
// with ReadSysLocale) before the code under test reads it.
struct TSysLocale {
  uint16_t PriLangID = LANG_ENGLISH;
  uint16_t SubLangID = SUBLANG_DEFAULT;
};
const TSysLocale& SysLocale();
void SetSysLocale(const TSysLocale& Locale);
void ReadSysLocale();

// The class library's visual-style services: themes are always off here, so controls draw their
// classic look.
class TThemeServices {
public:
  bool ThemesEnabled() const { return false; }
  bool ThemesAvailable() const { return false; }
};
TThemeServices& ThemeServices();

}  // namespace zv
