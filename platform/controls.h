// The class library's control classes: TControl (bounds, alignment, appearance, mouse and message
// dispatch), TWinControl (a window of its own, children, focus and painting), the two painting bases
// TGraphicControl and TCustomControl, and TControlCanvas that draws on a control.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics.h"
#include "platform/objects.h"
#include "platform/types.h"
#include "platform/windows.h"

namespace zv {

class TControl;
class TWinControl;
class TCustomForm;
class TPopupMenu;

// ---------------------------------------------------------------------------------------------
// Enumerations and sets
// ---------------------------------------------------------------------------------------------

enum TAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
template <>
struct TEnumNames<TAlign> {
  static constexpr std::string_view Names[] = {"alNone",  "alTop",    "alBottom", "alLeft",
                                               "alRight", "alClient", "alCustom"};
};

enum TAnchorKind : uint8_t { akLeft, akTop, akRight, akBottom };
template <>
struct TEnumNames<TAnchorKind> {
  static constexpr std::string_view Names[] = {"akLeft", "akTop", "akRight", "akBottom"};
};
using TAnchors = TSet<TAnchorKind>;

enum TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
template <>
struct TEnumNames<TAlignment> {
  static constexpr std::string_view Names[] = {"taLeftJustify", "taRightJustify", "taCenter"};
};
using TLeftRight = TAlignment;

enum TTextLayout : uint8_t { tlTop, tlCenter, tlBottom };
template <>
struct TEnumNames<TTextLayout> {
  static constexpr std::string_view Names[] = {"tlTop", "tlCenter", "tlBottom"};
};

enum TBevelCut : uint8_t { bvNone, bvLowered, bvRaised, bvSpace };
template <>
struct TEnumNames<TBevelCut> {
  static constexpr std::string_view Names[] = {"bvNone", "bvLowered", "bvRaised", "bvSpace"};
};
using TPanelBevel = TBevelCut;
using TBevelWidth = int32_t;
using TBorderWidth = int32_t;

// Border of a control (bsNone, bsSingle) and of a form (all values).
enum TFormBorderStyle : uint8_t { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
template <>
struct TEnumNames<TFormBorderStyle> {
  static constexpr std::string_view Names[] = {"bsNone",   "bsSingle",     "bsSizeable",
                                               "bsDialog", "bsToolWindow", "bsSizeToolWin"};
};
using TBorderStyle = TFormBorderStyle;

enum TControlStyleItem : uint8_t {
  csAcceptsControls,
  csCaptureMouse,
  csDesignInteractive,
  csClickEvents,
  csFramed,
  csSetCaption,
  csOpaque,
  csDoubleClicks,
  csFixedWidth,
  csFixedHeight,
  csNoDesignVisible,
  csReplicatable,
  csNoStdEvents,
  csDisplayDragImage,
  csReflector,
  csActionClient,
  csMenuEvents,
  csNeedsBorderPaint,
  csParentBackground
};
using TControlStyle = TSet<TControlStyleItem>;

enum TControlStateItem : uint8_t {
  csLButtonDown,
  csClicked,
  csPalette,
  csReadingState,
  csAlignmentNeeded,
  csFocusing,
  csCreating,
  csPaintCopy,
  csCustomPaint,
  csDestroyingHandle,
  csDocking
};
using TControlState = TSet<TControlStateItem>;

enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };

enum TShiftStateItem : uint8_t { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem>;

// Cursor numbers: the standard ones are negative; applications add their own above 0 (TScreen).
using TCursor = int16_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crDrag = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHSplit = -14;
constexpr TCursor crVSplit = -15;
constexpr TCursor crMultiDrag = -16;
constexpr TCursor crSQLWait = -17;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;
constexpr TCursor crSize = -22;

using TModalResult = int32_t;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = IDOK;
constexpr TModalResult mrCancel = IDCANCEL;
constexpr TModalResult mrAbort = IDABORT;
constexpr TModalResult mrRetry = IDRETRY;
constexpr TModalResult mrIgnore = IDIGNORE;
constexpr TModalResult mrYes = IDYES;
constexpr TModalResult mrNo = IDNO;
constexpr TModalResult mrAll = mrNo + 1;
constexpr TModalResult mrNoToAll = mrAll + 1;
constexpr TModalResult mrYesToAll = mrNoToAll + 1;

// ---------------------------------------------------------------------------------------------
// Events
// ---------------------------------------------------------------------------------------------

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TMouseWheelEvent =
    std::function<void(TObject* Sender, TShiftState Shift, int WheelDelta, TPoint MousePos, bool& Handled)>;
using TMouseWheelUpDownEvent =
    std::function<void(TObject* Sender, TShiftState Shift, TPoint MousePos, bool& Handled)>;
// Key is the virtual-key code; a handler sets it to 0 to swallow the key.
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
// Key is the typed character (ASCII; other characters reach the control's own handling only); a
// handler sets it to 0 to swallow it.
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
using TWndMethod = std::function<void(TMessage& Message)>;

namespace detail {
// The virtual-key code (or character) and key data of a key message: WM_KEYDOWN, WM_CHAR,
// CM_DIALOGKEY, CN_KEYDOWN ...
struct TKeyFields {
  explicit TKeyFields(const TMessage& M) : CharCode(uint16_t(M.WParam & 0xFFFF)), KeyData(int32_t(M.LParam)) {}
  uint16_t CharCode;
  int32_t KeyData;
};
}  // namespace detail

// The shift state of mouse-message key flags (MK_...) and of the keyboard now.
TShiftState KeysToShiftState(WPARAM Keys);
// The shift state of a key message's key data (bit 29: Alt) and of the keyboard now.
TShiftState KeyDataToShiftState(int32_t KeyData);

// ---------------------------------------------------------------------------------------------
// Size constraints
// ---------------------------------------------------------------------------------------------

// The smallest and largest size a control may take (0: no limit).
class TSizeConstraints : public TPersistent {
public:
  explicit TSizeConstraints(TControl* Control) : FControl(Control) {}

  int32_t MaxHeight() const { return FMaxHeight; }
  void SetMaxHeight(int32_t Value);
  int32_t MaxWidth() const { return FMaxWidth; }
  void SetMaxWidth(int32_t Value);
  int32_t MinHeight() const { return FMinHeight; }
  void SetMinHeight(int32_t Value);
  int32_t MinWidth() const { return FMinWidth; }
  void SetMinWidth(int32_t Value);

  void Assign(TPersistent* Source) override;
  const TPropList& PublishedProps() const override;

  TNotifyEvent OnChange;

private:
  void Changed();

  TControl* FControl;
  int32_t FMaxHeight = 0;
  int32_t FMaxWidth = 0;
  int32_t FMinHeight = 0;
  int32_t FMinWidth = 0;
};

// ---------------------------------------------------------------------------------------------
// TControlCanvas
// ---------------------------------------------------------------------------------------------

// A canvas on a control: a windowed control's client area, or a windowless control's part of its
// parent's client area. It takes a DC from the window when drawn on outside painting; such DCs are
// given back when the message being handled is done.
class TControlCanvas : public TCanvas {
public:
  TControlCanvas() = default;
  ~TControlCanvas() override;

  TControl* Control() const { return FControl; }
  void SetControl(TControl* Value);
  // Gives back a DC taken from the window (nothing when the handle was set from outside).
  void FreeHandle();
  // Makes text drawing follow the control's reading order (left to right here).
  void UpdateTextFlags() {}

protected:
  void CreateHandle() override;

private:
  TControl* FControl = nullptr;
  HDC FDeviceContext = nullptr;
  HWND FWindowHandle = nullptr;
};

// Gives back every DC that control canvases took outside painting.
void FreeDeviceContexts();

// Runs Paint with Canvas locked and drawing on DC; the canvas lets go of DC and is unlocked afterwards,
// also when Paint throws.
template <class PaintFn>
void PaintOnCanvas(TControlCanvas* Canvas, HDC DC, PaintFn&& Paint) {
  Canvas->Lock();
  try {
    Canvas->SetHandle(DC);
    Paint();
  } catch (...) {
    Canvas->SetHandle(nullptr);
    Canvas->Unlock();
    throw;
  }
  Canvas->SetHandle(nullptr);
  Canvas->Unlock();
}

// ---------------------------------------------------------------------------------------------
// TControl
// ---------------------------------------------------------------------------------------------

// A visual component: a rectangle in its parent's client area that paints and takes the mouse.
//
// Messages reach a control through WindowProc (by default WndProc), which does the class library's
// general mouse work and then calls Dispatch. A class that handles messages overrides Dispatch:
// it switches on the message number, handles its own, and passes every other one to its base's
// Dispatch; a handler's "inherited" step is the base's Dispatch with the same message. What no class
// handles ends in DefaultHandler.
class TControl : public TComponent {
public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  // --- parent and bounds (client coordinates of the parent; screen ones for a top-level form) ---
  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* AParent);
  int32_t Left() const { return FLeft; }
  void SetLeft(int32_t Value) { SetBounds(Value, FTop, FWidth, FHeight); }
  int32_t Top() const { return FTop; }
  void SetTop(int32_t Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t Value) { SetBounds(FLeft, FTop, Value, FHeight); }
  int32_t Height() const { return FHeight; }
  void SetHeight(int32_t Value) { SetBounds(FLeft, FTop, FWidth, Value); }
  // Moves and sizes in one step (after constraints), then realigns the parent and raises OnResize
  // when the size changed.
  virtual void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);
  TRect BoundsRect() const { return Bounds(FLeft, FTop, FWidth, FHeight); }
  void SetBoundsRect(const TRect& R) { SetBounds(R.Left, R.Top, R.Width(), R.Height()); }
  virtual TRect ClientRect();
  int32_t ClientWidth() { return ClientRect().Right; }
  void SetClientWidth(int32_t Value);
  int32_t ClientHeight() { return ClientRect().Bottom; }
  void SetClientHeight(int32_t Value);
  virtual void SetClientSize(int32_t AWidth, int32_t AHeight);
  virtual TPoint ClientOrigin();
  TPoint ClientToScreen(const TPoint& Point);
  TPoint ScreenToClient(const TPoint& Point);

  // --- layout ---
  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign Value);
  TAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TAnchors Value);
  TSizeConstraints* Constraints() const { return FConstraints.get(); }
  void SetConstraints(TSizeConstraints* Value) { FConstraints->Assign(Value); }
  bool AutoSize() const { return FAutoSize; }
  virtual void SetAutoSize(bool Value);

  // --- appearance ---
  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool Value);
  TFont* Font() const { return FFont.get(); }
  void SetFont(TFont* Value) { FFont->Assign(Value); }
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool Value);
  // Caption and Text are the same string.
  std::string Caption() const { return GetText(); }
  void SetCaption(const std::string& Value) { SetText(Value); }
  std::string Text() const { return GetText(); }
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& Value) { FHint = Value; }
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool Value);
  bool ParentShowHint() const { return FParentShowHint; }
  void SetParentShowHint(bool Value);
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor Value);
  // Shown on a right click by the control's owner code; held, not owned. SetPopupMenu is defined
  // with the popup menu (it needs the complete class).
  TPopupMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* Value);

  // --- style and state ---
  TControlStyle ControlStyle() const { return FControlStyle; }
  void SetControlStyle(TControlStyle Value) { FControlStyle = Value; }
  TControlState ControlState() const { return FControlState; }
  void SetControlState(TControlState Value) { FControlState = Value; }
  bool MouseCapture();
  void SetMouseCapture(bool Value);

  // --- painting ---
  // Marks the control's area for painting (through its parent for a windowless control).
  virtual void Invalidate();
  // Paints what is invalid now.
  virtual void Update();
  virtual void Repaint();
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();

  // --- messages ---
  LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);
  // The procedure messages go through; replaceable (a saved value is restored later).
  TWndMethod WindowProc;
  virtual void WndProc(TMessage& Message);
  virtual void Dispatch(TMessage& Message);
  virtual void DefaultHandler(TMessage& Message);

  // --- actions ---
  virtual void Click();
  virtual void DblClick();
  // The window handle of the control's nearest windowed ancestor (or its own); nullptr when none.
  HWND ParentHandle();
  bool HasParent() const { return FParent != nullptr; }
  // Another control takes the mouse capture (nullptr: none).
  static TControl* CaptureControl();
  static void SetCaptureControl(TControl* Control);
  // The control the mouse is over, as the last mouse message left it.
  static TControl* MouseControl();

  // --- events ---
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnResize;

  const TPropList& PublishedProps() const override;
  void Loaded() override;

  // Text through WM_GETTEXT / WM_SETTEXT semantics; an edit keeps its own.
  virtual std::string GetText() const { return FText; }
  virtual void SetText(const std::string& Value);

protected:
  virtual void Resize();
  // Adjusts a new size before it is taken (constraints); false refuses it.
  virtual bool CanResize(int32_t& NewWidth, int32_t& NewHeight);
  // The size the control's content asks for; false when it has none.
  virtual bool CanAutoSize(int32_t& NewWidth, int32_t& NewHeight);
  // Sizes the control to its content when AutoSize is on.
  virtual void AdjustSize();
  void RequestAlign();
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void Changed() { Perform(CM_CHANGED, 0, reinterpret_cast<LPARAM>(this)); }
  // Invalidates the rectangle in the parent (parent client coordinates).
  void InvalidateControl(bool IsVisible, bool IsOpaque);
  // A windowed control moves its window to the new bounds.
  virtual void UpdateWindowBounds() {}
  void Notification(TComponent* AComponent, TOperation Operation) override;
  virtual bool IsWindowed() const { return false; }
  // The parent's client size when the anchors were last taken; anchored controls keep their
  // distances to the parent's edges from it.
  void UpdateAnchorRules();

  TControlStyle FControlStyle = {csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  TControlState FControlState;
  TWinControl* FParent = nullptr;
  int32_t FLeft = 0;
  int32_t FTop = 0;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  TColor FColor = clWindow;
  std::string FText;
  bool FVisible = true;

private:
  friend class TWinControl;
  void FontChanged(TObject* Sender);
  void DoMouseDown(TMessage& Message, TMouseButton Button, TShiftState Shift);
  void DoMouseUp(TMessage& Message, TMouseButton Button);

  TAlign FAlign = alNone;
  TAnchors FAnchors = {akLeft, akTop};
  TSize FAnchorParentSize;  // the parent's client size the anchors measure from (0: not taken)
  std::unique_ptr<TSizeConstraints> FConstraints;
  bool FAutoSize = false;
  bool FEnabled = true;
  bool FParentColor = true;
  std::unique_ptr<TFont> FFont;
  bool FParentFont = true;
  std::string FHint;
  bool FShowHint = false;
  bool FParentShowHint = true;
  TCursor FCursor = crDefault;
  TPopupMenu* FPopupMenu = nullptr;
  TComponent* FPopupMenuComponent = nullptr;  // the same object, for free notification
};

// ---------------------------------------------------------------------------------------------
// TWinControl
// ---------------------------------------------------------------------------------------------

// What CreateWnd passes to CreateWindowEx; a class changes it in CreateParams.
struct TCreateParams {
  std::string Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  HWND WndParent = nullptr;
  void* Param = nullptr;
  WNDCLASS WindowClass;
  std::string WinClassName;
};

// Registers the window class Name with its window procedure, class style and cursor (an IDC_ id of
// LoadCursor); gives back Name.
const char* RegisterWindowClass(const char* Name, WNDPROC Proc, UINT Style, const char* Cursor);

// A control with a window of its own (created when first needed), children, and the keyboard focus.
class TWinControl : public TControl {
public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  // --- window ---
  // The window, created (with those of the parents) when first asked for.
  HWND Handle();
  bool HandleAllocated() const { return FHandle != nullptr; }
  void HandleNeeded() { Handle(); }
  // Destroys the window and makes it again (a style change), when it exists.
  void RecreateWnd();
  // A window that is no control of ours to put a parentless control into.
  HWND ParentWindow() const { return FParentWindow; }
  void SetParentWindow(HWND Value);
  // The window procedure installed for the window (it passes messages to WindowProc).
  void MainWndProc(TMessage& Message);

  // --- children ---
  int ControlCount() const { return static_cast<int>(FControls.size() + FWinControls.size()); }
  // Windowless children first, then windowed ones, each in z-order from the bottom.
  TControl* Controls(int Index) const;
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  bool ContainsControl(TControl* Control) const;
  // Moves a child to the top (or bottom) of its siblings' z-order.
  void SetChildZOrder(TControl* Control, bool TopMost);
  // The visible (or any, with AllowDisabled) windowless or windowed child at the client point.
  TControl* ControlAtPos(const TPoint& Pos, bool AllowDisabled, bool AllowWinControls = false);
  // Sends the message to every child.
  void Broadcast(TMessage& Message);
  void NotifyControls(UINT Msg);
  // Lays the aligned children out in the client rectangle (AdjustClientRect) and applies anchors.
  virtual void AlignControls(TControl* AControl, TRect& Rect);
  virtual void AdjustClientRect(TRect& Rect) { (void)Rect; }
  void Realign();
  void DisableAlign() { ++FAlignLevel; }
  void EnableAlign();
  // Paints the windowless children in z-order from First (nullptr: all) into DC.
  void PaintControls(HDC DC, TControl* First);
  // Paints the control and its windowed children into DC with its top-left at (X, Y).
  void PaintTo(HDC DC, int32_t X, int32_t Y);

  // --- focus ---
  virtual bool CanFocus();
  virtual bool Focused();
  virtual void SetFocus();
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool Value);
  int32_t TabOrder() const;
  void SetTabOrder(int32_t Value);
  // Windowed descendants in tab order, depth first.
  void GetTabOrderList(std::vector<TWinControl*>& List);
  // The next (or previous) windowed descendant after CurControl that can take the focus.
  TWinControl* FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop, bool CheckParent);
  void SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop);
  void SelectFirst();

  bool DoubleBuffered() const { return FDoubleBuffered; }
  void SetDoubleBuffered(bool Value) { FDoubleBuffered = Value; }
  bool Ctl3D() const { return FCtl3D; }
  void SetCtl3D(bool Value);
  bool ParentCtl3D() const { return FParentCtl3D; }
  void SetParentCtl3D(bool Value);
  // The background brush (colour follows Color).
  TBrush* Brush() const { return FBrush.get(); }

  TRect ClientRect() override;
  TPoint ClientOrigin() override;
  void SetParent(TWinControl* AParent) override;
  void SetVisible(bool Value) override;
  void SetEnabled(bool Value) override;
  void Invalidate() override;
  void Update() override;
  void Repaint() override;
  void Dispatch(TMessage& Message) override;
  void DefaultHandler(TMessage& Message) override;
  void WndProc(TMessage& Message) override;

  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TKeyEvent OnKeyUp;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TMouseWheelEvent OnMouseWheel;
  TMouseWheelUpDownEvent OnMouseWheelDown;
  TMouseWheelUpDownEvent OnMouseWheelUp;

  const TPropList& PublishedProps() const override;
  void Loaded() override;

  // The control whose window this is; nullptr for other windows.
  static TWinControl* FromHandle(HWND Wnd);

  // Key handling of the focused control (the form's KeyPreview first); true when swallowed.
  bool DoKeyDown(TMessage& Message);
  bool DoKeyPress(TMessage& Message);
  bool DoKeyUp(TMessage& Message);

protected:
  virtual void CreateParams(TCreateParams& Params);
  // Makes the window: CreateParams, the window class, CreateWindowHandle; then the children's.
  virtual void CreateWnd();
  virtual void CreateWindowHandle(const TCreateParams& Params);
  virtual void DestroyWnd();
  void CreateHandle();
  void DestroyHandle();
  // Paints the client area into DC (a TCustomControl calls Paint).
  virtual void PaintWindow(HDC DC);
  virtual void KeyDown(uint16_t& Key, TShiftState Shift);
  virtual void KeyUp(uint16_t& Key, TShiftState Shift);
  virtual void KeyPress(char& Key);
  virtual void DoEnter();
  virtual void DoExit();
  virtual bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos);
  virtual bool DoMouseWheelDown(TShiftState Shift, TPoint MousePos);
  virtual bool DoMouseWheelUp(TShiftState Shift, TPoint MousePos);
  bool IsWindowed() const override { return true; }
  void UpdateWindowBounds() override;
  // Takes the bounds from the window after the desktop or a handler moved it.
  void UpdateBounds();

  HWND FHandle = nullptr;
  WNDPROC FDefWndProc = nullptr;

private:
  friend class TControl;
  friend LRESULT ControlWndProc(HWND, UINT, WPARAM, LPARAM);
  void PaintHandler(TMessage& Message);
  bool IsControlMouseMsg(TMessage& Message);
  void AlignControl(TControl* AControl);
  bool HandleSpecialKey(TMessage& Message);
  bool HandleSpecialChar(TMessage& Message);

  std::vector<TControl*> FControls;     // windowless children, bottom first
  std::vector<TWinControl*> FWinControls;  // windowed children, bottom first
  std::vector<TWinControl*> FTabList;
  HWND FParentWindow = nullptr;
  std::unique_ptr<TBrush> FBrush;
  bool FTabStop = false;
  bool FDoubleBuffered = false;
  bool FCtl3D = true;
  bool FParentCtl3D = true;
  int FAlignLevel = 0;
  bool FAligning = false;
  bool FDestroying = false;
};

// ---------------------------------------------------------------------------------------------
// Painting bases
// ---------------------------------------------------------------------------------------------

// A windowless control that paints itself into its parent's window.
class TGraphicControl : public TControl {
public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  TCanvas* Canvas() const { return FCanvas.get(); }
  void Dispatch(TMessage& Message) override;

protected:
  virtual void Paint() {}

private:
  std::unique_ptr<TControlCanvas> FCanvas;
};

// A windowed control that paints itself with a canvas.
class TCustomControl : public TWinControl {
public:
  explicit TCustomControl(TComponent* AOwner);
  ~TCustomControl() override;
  TCanvas* Canvas() const { return FCanvas.get(); }

protected:
  virtual void Paint() {}
  void PaintWindow(HDC DC) override;

private:
  std::unique_ptr<TControlCanvas> FCanvas;
};

// ---------------------------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------------------------

// The control of the window, or nullptr.
TWinControl* FindControl(HWND Handle);
// The control at the screen point: a windowless child when one is there, else the windowed one.
TControl* FindDragTarget(const TPoint& Pos, bool AllowDisabled);
// The form the control lies on (the outermost form, as the class library finds it); nullptr when none.
TCustomForm* GetParentForm(TControl* Control);
// Draws a 3-D frame Width pixels wide (top-left lines TopColor, bottom-right BottomColor) and
// shrinks Rect to the area inside it.
void Frame3D(TCanvas* Canvas, TRect& Rect, TColor TopColor, TColor BottomColor, int Width);
// Windows of every generation take 3-D looks.
constexpr bool NewStyleControls = true;

// The mouse as the application sees it.
class TMouse {
public:
  TPoint CursorPos() const;
  void SetCursorPos(const TPoint& Value);
  int32_t WheelScrollLines() const { return 3; }
  bool WheelPresent() const { return true; }
  HWND Capture() const { return GetCapture(); }
};
extern TMouse* Mouse;

// Shows a control's popup menu at the screen point; installed by the popup-menu code. Without it a
// right click opens nothing.
extern void (*PopupMenuHook)(TPopupMenu* Menu, TControl* Control, int X, int Y);

// Shows an exception that left a message handler through the application object (called inside the
// catch block; defined with the application).
void HandleControlException(TObject* Sender);
// The screen object's cursor handle for a cursor number, and its screen-wide cursor (crDefault when
// controls choose their own); defined with the screen.
HCURSOR CursorHandle(TCursor Cursor);
TCursor ScreenCursor();

}  // namespace zv
