// The edit window class and the class library's edit controls.
#include "platform/std_edit.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

#include "platform/gdi_draw.h"
#include "platform/gdi_text.h"

namespace zv {

// ---------------------------------------------------------------------------------------------
// The edit window class
// ---------------------------------------------------------------------------------------------

namespace {

constexpr size_t kNoLimit = 0x7FFFFFFE;

struct TEditState {
  std::string Text;
  size_t Anchor = 0;  // the fixed end of the selection
  size_t Caret = 0;   // the moving end, where the caret is
  size_t Limit = kNoLimit;
  bool Modified = false;
  char Password = 0;
  int LeftMargin = 0;
  int RightMargin = 0;
  int Scroll = 0;  // pixels of text scrolled out on the left
  bool Focused = false;
  bool Tracking = false;
  // One level of undo; a run of typed characters counts as one step.
  std::string UndoText;
  size_t UndoCaret = 0;
  bool HasUndo = false;
  bool Typing = false;
};

std::unordered_map<HWND, TEditState> gEdits;

TEditState& StateOf(HWND Wnd) {
  auto It = gEdits.find(Wnd);
  if (It != gEdits.end()) return It->second;
  TEditState& S = gEdits[Wnd];
  int N = int(DefWindowProc(Wnd, WM_GETTEXTLENGTH, 0, 0));
  if (N > 0) {
    std::string T(size_t(N) + 1, '\0');
    N = int(DefWindowProc(Wnd, WM_GETTEXT, WPARAM(N + 1), reinterpret_cast<LPARAM>(T.data())));
    T.resize(size_t(std::max(N, 0)));
    S.Text = T;
  }
  return S;
}

DWORD StyleOf(HWND Wnd) { return DWORD(GetWindowLong(Wnd, GWL_STYLE)); }

bool IsContinuation(char C) { return (static_cast<unsigned char>(C) & 0xC0) == 0x80; }

size_t PrevChar(const std::string& S, size_t Pos) {
  if (Pos == 0) return 0;
  --Pos;
  while (Pos > 0 && IsContinuation(S[Pos])) --Pos;
  return Pos;
}

size_t NextChar(const std::string& S, size_t Pos) {
  if (Pos >= S.size()) return S.size();
  ++Pos;
  while (Pos < S.size() && IsContinuation(S[Pos])) ++Pos;
  return Pos;
}

size_t SnapToChar(const std::string& S, size_t Pos) {
  Pos = std::min(Pos, S.size());
  while (Pos > 0 && Pos < S.size() && IsContinuation(S[Pos])) --Pos;
  return Pos;
}

bool IsWordChar(char C) { return static_cast<unsigned char>(C) >= 0x80 || std::isalnum(static_cast<unsigned char>(C)); }

size_t PrevWord(const std::string& S, size_t Pos) {
  while (Pos > 0 && !IsWordChar(S[Pos - 1])) Pos = PrevChar(S, Pos);
  while (Pos > 0 && IsWordChar(S[Pos - 1])) Pos = PrevChar(S, Pos);
  return Pos;
}

size_t NextWord(const std::string& S, size_t Pos) {
  while (Pos < S.size() && IsWordChar(S[Pos])) Pos = NextChar(S, Pos);
  while (Pos < S.size() && !IsWordChar(S[Pos])) Pos = NextChar(S, Pos);
  return Pos;
}

std::string EncodeUtf8(uint32_t C) {
  std::string R;
  if (C < 0x80) {
    R += char(C);
  } else if (C < 0x800) {
    R += char(0xC0 | (C >> 6));
    R += char(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    R += char(0xE0 | (C >> 12));
    R += char(0x80 | ((C >> 6) & 0x3F));
    R += char(0x80 | (C & 0x3F));
  } else {
    R += char(0xF0 | (C >> 18));
    R += char(0x80 | ((C >> 12) & 0x3F));
    R += char(0x80 | ((C >> 6) & 0x3F));
    R += char(0x80 | (C & 0x3F));
  }
  return R;
}

std::string ApplyCase(HWND Wnd, std::string S) {
  DWORD Style = StyleOf(Wnd);
  if (Style & ES_UPPERCASE)
    for (char& C : S) C = char(std::toupper(static_cast<unsigned char>(C)));
  else if (Style & ES_LOWERCASE)
    for (char& C : S) C = char(std::tolower(static_cast<unsigned char>(C)));
  return S;
}

// What is drawn for the text up to Pos: the text, or one password character per character.
std::string DisplayText(const TEditState& S, size_t Pos) {
  if (!S.Password) return S.Text.substr(0, Pos);
  size_t N = 0;
  for (size_t I = 0; I < Pos && I < S.Text.size(); ++I)
    if (!IsContinuation(S.Text[I])) ++N;
  return std::string(N, S.Password);
}

// A DC with the window's font for measuring.
class TMeasureDC {
public:
  explicit TMeasureDC(HWND Wnd) : FWnd(Wnd), FDC(GetDC(Wnd)) {
    HFONT Font = reinterpret_cast<HFONT>(SendMessage(Wnd, WM_GETFONT, 0, 0));
    if (Font) FOld = SelectObject(FDC, Font);
  }
  ~TMeasureDC() {
    if (FOld) SelectObject(FDC, FOld);
    ReleaseDC(FWnd, FDC);
  }
  TMeasureDC(const TMeasureDC&) = delete;
  TMeasureDC& operator=(const TMeasureDC&) = delete;
  HDC DC() const { return FDC; }
  int Width(const std::string& S) const {
    if (S.empty()) return 0;
    SIZE Size;
    GetTextExtentPoint32(FDC, std::string_view(S), &Size);
    return Size.cx;
  }
  int LineHeight() const {
    TEXTMETRIC TM;
    GetTextMetrics(FDC, &TM);
    return TM.tmHeight;
  }

private:
  HWND FWnd;
  HDC FDC;
  HGDIOBJ FOld = nullptr;
};

struct TEditLayout {
  TRect Area;       // where text shows (client area less margins)
  int Origin = 0;   // x of the text's start
  int Top = 0;      // y of the line
  int LineHeight = 0;
};

int XOf(const TMeasureDC& M, const TEditState& S, size_t Pos) { return M.Width(DisplayText(S, Pos)); }

TEditLayout Layout(HWND Wnd, TEditState& S, const TMeasureDC& M, bool ScrollCaretIntoView) {
  TEditLayout L;
  TRect Client;
  GetClientRect(Wnd, &Client);
  L.LineHeight = M.LineHeight();
  L.Area = Rect(Client.Left + S.LeftMargin, Client.Top, Client.Right - S.RightMargin, Client.Bottom);
  if (L.Area.Right < L.Area.Left) L.Area.Right = L.Area.Left;
  L.Top = Client.Height() > L.LineHeight + 1 ? 1 : 0;
  int AreaWidth = L.Area.Width();
  int TextWidth = XOf(M, S, S.Text.size());
  DWORD Style = StyleOf(Wnd);
  if (TextWidth < AreaWidth && (Style & (ES_RIGHT | ES_CENTER))) {
    S.Scroll = 0;
    L.Origin = (Style & ES_RIGHT) ? L.Area.Right - 1 - TextWidth : L.Area.Left + (AreaWidth - TextWidth) / 2;
    return L;
  }
  if (ScrollCaretIntoView) {
    int CaretX = XOf(M, S, S.Caret);
    if (CaretX - S.Scroll < 0) S.Scroll = CaretX;
    if (CaretX - S.Scroll > AreaWidth - 1) S.Scroll = CaretX - AreaWidth + 1;
  }
  S.Scroll = std::clamp(S.Scroll, 0, std::max(0, TextWidth - AreaWidth + 1));
  L.Origin = L.Area.Left - S.Scroll;
  return L;
}

size_t PosFromX(HWND Wnd, TEditState& S, int X) {
  TMeasureDC M(Wnd);
  TEditLayout L = Layout(Wnd, S, M, false);
  size_t Best = 0;
  int BestDist = std::abs(X - L.Origin);
  for (size_t P = NextChar(S.Text, 0); P <= S.Text.size();) {
    int D = std::abs(X - (L.Origin + XOf(M, S, P)));
    if (D < BestDist) {
      BestDist = D;
      Best = P;
    }
    if (P == S.Text.size()) break;
    P = NextChar(S.Text, P);
  }
  return Best;
}

void Notify(HWND Wnd, UINT Code) {
  HWND Parent = GetParent(Wnd);
  if (Parent && (StyleOf(Wnd) & WS_CHILD))
    SendMessage(Parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Wnd), int(Code)), reinterpret_cast<LPARAM>(Wnd));
}

void UpdateCaret(HWND Wnd, TEditState& S) {
  TMeasureDC M(Wnd);
  TEditLayout L = Layout(Wnd, S, M, true);
  if (S.Focused) SetCaretPos(L.Origin + XOf(M, S, S.Caret), L.Top);
}

void Refresh(HWND Wnd, TEditState& S) {
  UpdateCaret(Wnd, S);
  InvalidateRect(Wnd, nullptr, false);
}

void SetSelection(HWND Wnd, TEditState& S, size_t Anchor, size_t Caret) {
  S.Anchor = SnapToChar(S.Text, Anchor);
  S.Caret = SnapToChar(S.Text, Caret);
  S.Typing = false;
  Refresh(Wnd, S);
}

void SyncWindowText(HWND Wnd, const TEditState& S) {
  DefWindowProc(Wnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(S.Text.c_str()));
}

void SaveUndo(TEditState& S, bool Typing) {
  if (Typing && S.Typing) return;
  S.UndoText = S.Text;
  S.UndoCaret = S.Caret;
  S.HasUndo = true;
  S.Typing = Typing;
}

// Replaces the selection with Value. Typed text respects ReadOnly and stops at the limit with a
// beep; other text is cut to what the limit leaves room for. False when nothing changed.
bool ReplaceSelection(HWND Wnd, std::string Value, bool Typed) {
  TEditState& S = StateOf(Wnd);
  if (Typed && (StyleOf(Wnd) & ES_READONLY)) {
    MessageBeep(0);
    return false;
  }
  Value = ApplyCase(Wnd, std::move(Value));
  size_t A = std::min(S.Anchor, S.Caret), B = std::max(S.Anchor, S.Caret);
  size_t Room = S.Limit - std::min(S.Limit, S.Text.size() - (B - A));
  if (Value.size() > Room) {
    if (Typed) {
      MessageBeep(0);
      Notify(Wnd, EN_MAXTEXT);
      return false;
    }
    Value.resize(SnapToChar(Value, Room));
  }
  if (Value.empty() && A == B) return false;
  SaveUndo(S, Typed);
  S.Text.replace(A, B - A, Value);
  S.Anchor = S.Caret = A + Value.size();
  S.Modified = true;
  SyncWindowText(Wnd, S);
  Refresh(Wnd, S);
  // Handlers may change or destroy the window: nothing of S is used after this.
  Notify(Wnd, EN_UPDATE);
  Notify(Wnd, EN_CHANGE);
  return true;
}

std::string SelectedText(const TEditState& S) {
  size_t A = std::min(S.Anchor, S.Caret), B = std::max(S.Anchor, S.Caret);
  return S.Text.substr(A, B - A);
}

void CopySelection(HWND Wnd) {
  TEditState& S = StateOf(Wnd);
  if (S.Password || S.Anchor == S.Caret) return;  // a password is never handed out
  SetClipboardText(SelectedText(S));
}

void Paste(HWND Wnd) {
  if (StyleOf(Wnd) & ES_READONLY) return;
  std::string T = GetClipboardText();
  // One line: the text up to the first line break.
  size_t Break = T.find_first_of("\r\n");
  if (Break != std::string::npos) T.resize(Break);
  ReplaceSelection(Wnd, T, false);
}

bool DoUndo(HWND Wnd) {
  TEditState& S = StateOf(Wnd);
  if (!S.HasUndo) return false;
  std::swap(S.Text, S.UndoText);
  std::swap(S.Caret, S.UndoCaret);
  S.Caret = SnapToChar(S.Text, S.Caret);
  S.Anchor = S.Caret;
  S.Typing = false;
  S.Modified = true;
  SyncWindowText(Wnd, S);
  Refresh(Wnd, S);
  Notify(Wnd, EN_UPDATE);
  Notify(Wnd, EN_CHANGE);
  return true;
}

void Paint(HWND Wnd, HDC GivenDC) {
  PAINTSTRUCT PS;
  HDC DC = GivenDC ? GivenDC : BeginPaint(Wnd, &PS);
  TEditState& S = StateOf(Wnd);
  int Saved = SaveDC(DC);
  HFONT Font = reinterpret_cast<HFONT>(SendMessage(Wnd, WM_GETFONT, 0, 0));
  if (Font) SelectObject(DC, Font);
  DWORD Style = StyleOf(Wnd);
  bool Enabled = IsWindowEnabled(Wnd);
  bool Static = (Style & ES_READONLY) || !Enabled;
  SetTextColor(DC, GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(DC, GetSysColor(Static ? COLOR_BTNFACE : COLOR_WINDOW));
  HBRUSH Brush = nullptr;
  if (HWND Parent = GetParent(Wnd); Parent && (Style & WS_CHILD))
    Brush = reinterpret_cast<HBRUSH>(SendMessage(Parent, Static ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT,
                                                 reinterpret_cast<WPARAM>(DC), reinterpret_cast<LPARAM>(Wnd)));
  if (!Brush) Brush = GetSysColorBrush(Static ? COLOR_BTNFACE : COLOR_WINDOW);
  if (!Enabled) SetTextColor(DC, GetSysColor(COLOR_GRAYTEXT));
  TRect Client;
  GetClientRect(Wnd, &Client);
  FillRect(DC, &Client, Brush);

  TMeasureDC M(Wnd);
  TEditLayout L = Layout(Wnd, S, M, false);
  IntersectClipRect(DC, L.Area.Left, L.Area.Top, L.Area.Right, L.Area.Bottom);
  SetBkMode(DC, TRANSPARENT);
  size_t A = std::min(S.Anchor, S.Caret), B = std::max(S.Anchor, S.Caret);
  bool ShowSel = A != B && (S.Focused || (Style & ES_NOHIDESEL));
  std::string All = DisplayText(S, S.Text.size());
  if (!ShowSel) {
    TextOut(DC, L.Origin, L.Top, All);
  } else {
    int XA = L.Origin + XOf(M, S, A), XB = L.Origin + XOf(M, S, B);
    std::string Before = DisplayText(S, A);
    std::string Upto = DisplayText(S, B);
    TextOut(DC, L.Origin, L.Top, Before);
    TRect Sel = Rect(XA, L.Top, XB, L.Top + L.LineHeight);
    FillRect(DC, &Sel, GetSysColorBrush(COLOR_HIGHLIGHT));
    COLORREF OldText = SetTextColor(DC, GetSysColor(COLOR_HIGHLIGHTTEXT));
    TextOut(DC, XA, L.Top, std::string_view(Upto).substr(Before.size()));
    SetTextColor(DC, OldText);
    TextOut(DC, XB, L.Top, std::string_view(All).substr(Upto.size()));
  }
  RestoreDC(DC, Saved);
  if (!GivenDC) EndPaint(Wnd, &PS);
}

void KeyDown(HWND Wnd, int Key) {
  TEditState& S = StateOf(Wnd);
  bool Shift = GetKeyState(VK_SHIFT) < 0;
  bool Ctrl = GetKeyState(VK_CONTROL) < 0;
  auto MoveTo = [&](size_t Pos) { SetSelection(Wnd, S, Shift ? S.Anchor : Pos, Pos); };
  switch (Key) {
    case VK_LEFT:
      if (!Shift && S.Anchor != S.Caret && !Ctrl)
        MoveTo(std::min(S.Anchor, S.Caret));
      else
        MoveTo(Ctrl ? PrevWord(S.Text, S.Caret) : PrevChar(S.Text, S.Caret));
      break;
    case VK_RIGHT:
      if (!Shift && S.Anchor != S.Caret && !Ctrl)
        MoveTo(std::max(S.Anchor, S.Caret));
      else
        MoveTo(Ctrl ? NextWord(S.Text, S.Caret) : NextChar(S.Text, S.Caret));
      break;
    case VK_HOME:
      MoveTo(0);
      break;
    case VK_END:
      MoveTo(S.Text.size());
      break;
    case VK_DELETE:
      if (Shift) {
        SendMessage(Wnd, WM_CUT, 0, 0);
      } else if (StyleOf(Wnd) & ES_READONLY) {
        MessageBeep(0);
      } else {
        if (S.Anchor == S.Caret) S.Caret = Ctrl ? NextWord(S.Text, S.Caret) : NextChar(S.Text, S.Caret);
        S.Typing = false;
        ReplaceSelection(Wnd, "", false);
      }
      break;
    case VK_INSERT:
      if (Ctrl) SendMessage(Wnd, WM_COPY, 0, 0);
      else if (Shift) SendMessage(Wnd, WM_PASTE, 0, 0);
      break;
    default:
      break;
  }
}

void Char(HWND Wnd, uint32_t Code) {
  TEditState& S = StateOf(Wnd);
  switch (Code) {
    case 1:  // Ctrl+A
      SetSelection(Wnd, S, 0, S.Text.size());
      return;
    case 3:  // Ctrl+C
      SendMessage(Wnd, WM_COPY, 0, 0);
      return;
    case 22:  // Ctrl+V
      SendMessage(Wnd, WM_PASTE, 0, 0);
      return;
    case 24:  // Ctrl+X
      SendMessage(Wnd, WM_CUT, 0, 0);
      return;
    case 26:  // Ctrl+Z
      DoUndo(Wnd);
      return;
    case 8:  // Backspace
      if (StyleOf(Wnd) & ES_READONLY) {
        MessageBeep(0);
        return;
      }
      if (S.Anchor == S.Caret) S.Anchor = PrevChar(S.Text, S.Caret);
      ReplaceSelection(Wnd, "", true);
      return;
    default:
      if (Code < 32 || Code == 127) return;
      if ((StyleOf(Wnd) & ES_NUMBER) && (Code < '0' || Code > '9')) {
        MessageBeep(0);
        return;
      }
      ReplaceSelection(Wnd, EncodeUtf8(Code), true);
      return;
  }
}

LRESULT EditProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_NCCREATE: {
      gEdits.erase(Wnd);
      TEditState& S = gEdits[Wnd];
      const auto* CS = reinterpret_cast<const CREATESTRUCT*>(LParam);
      if (CS && CS->lpszName) S.Text = CS->lpszName;
      return DefWindowProc(Wnd, Msg, WParam, LParam);
    }
    case WM_NCDESTROY: {
      auto It = gEdits.find(Wnd);
      if (It != gEdits.end() && It->second.Focused) DestroyCaret();
      gEdits.erase(Wnd);
      return DefWindowProc(Wnd, Msg, WParam, LParam);
    }
    case WM_GETDLGCODE:
      return DLGC_WANTCHARS | DLGC_WANTARROWS | DLGC_HASSETSEL;
    case WM_SETTEXT: {
      TEditState& S = StateOf(Wnd);
      S.Text = ApplyCase(Wnd, LParam ? reinterpret_cast<const char*>(LParam) : "");
      S.Anchor = S.Caret = 0;
      S.Scroll = 0;
      S.Modified = false;
      S.HasUndo = false;
      S.Typing = false;
      SyncWindowText(Wnd, S);
      Refresh(Wnd, S);
      Notify(Wnd, EN_UPDATE);
      Notify(Wnd, EN_CHANGE);
      return 1;
    }
    case WM_SETFONT: {
      DefWindowProc(Wnd, Msg, WParam, LParam);
      TEditState& S = StateOf(Wnd);
      if (S.Focused) {
        TMeasureDC M(Wnd);
        CreateCaret(Wnd, nullptr, 1, M.LineHeight());
        ShowCaret(Wnd);
      }
      Refresh(Wnd, S);
      return 0;
    }
    case WM_SETFOCUS: {
      TEditState& S = StateOf(Wnd);
      S.Focused = true;
      {
        TMeasureDC M(Wnd);
        CreateCaret(Wnd, nullptr, 1, M.LineHeight());
      }
      UpdateCaret(Wnd, S);
      ShowCaret(Wnd);
      InvalidateRect(Wnd, nullptr, false);
      Notify(Wnd, EN_SETFOCUS);
      return 0;
    }
    case WM_KILLFOCUS: {
      TEditState& S = StateOf(Wnd);
      if (S.Focused) {
        S.Focused = false;
        DestroyCaret();
      }
      S.Tracking = false;
      InvalidateRect(Wnd, nullptr, false);
      Notify(Wnd, EN_KILLFOCUS);
      return 0;
    }
    case WM_PAINT:
    case WM_PRINTCLIENT:
      Paint(Wnd, reinterpret_cast<HDC>(WParam));
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
    case WM_ENABLE:
    case WM_STYLECHANGED:
      Refresh(Wnd, StateOf(Wnd));
      return 0;
    case WM_KEYDOWN:
      KeyDown(Wnd, int(WParam));
      return 0;
    case WM_CHAR:
      Char(Wnd, uint32_t(WParam));
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (GetFocus() != Wnd) SetFocus(Wnd);
      if (!IsWindow(Wnd) || GetFocus() != Wnd) return 0;
      TEditState& S = StateOf(Wnd);
      size_t Pos = PosFromX(Wnd, S, GET_X_LPARAM(LParam));
      if (Msg == WM_LBUTTONDBLCLK) {
        size_t A = Pos, B = Pos;
        while (A > 0 && IsWordChar(S.Text[A - 1])) A = PrevChar(S.Text, A);
        while (B < S.Text.size() && IsWordChar(S.Text[B])) B = NextChar(S.Text, B);
        SetSelection(Wnd, S, A, B);
      } else {
        SetSelection(Wnd, S, (WParam & MK_SHIFT) ? S.Anchor : Pos, Pos);
        S.Tracking = true;
        SetCapture(Wnd);
      }
      return 0;
    }
    case WM_MOUSEMOVE: {
      TEditState& S = StateOf(Wnd);
      if (S.Tracking) SetSelection(Wnd, S, S.Anchor, PosFromX(Wnd, S, GET_X_LPARAM(LParam)));
      return 0;
    }
    case WM_LBUTTONUP: {
      TEditState& S = StateOf(Wnd);
      if (S.Tracking) {
        S.Tracking = false;
        if (GetCapture() == Wnd) ReleaseCapture();
      }
      return 0;
    }
    case WM_CAPTURECHANGED:
      StateOf(Wnd).Tracking = false;
      return 0;
    case WM_CUT:
      CopySelection(Wnd);
      if (!(StyleOf(Wnd) & ES_READONLY) && !StateOf(Wnd).Password) ReplaceSelection(Wnd, "", false);
      return 0;
    case WM_COPY:
      CopySelection(Wnd);
      return 0;
    case WM_PASTE:
      Paste(Wnd);
      return 0;
    case WM_CLEAR:
      if (!(StyleOf(Wnd) & ES_READONLY)) ReplaceSelection(Wnd, "", false);
      return 0;
    case WM_UNDO:
    case EM_UNDO:
      return DoUndo(Wnd) ? 1 : 0;
    case EM_CANUNDO:
      return StateOf(Wnd).HasUndo ? 1 : 0;
    case EM_EMPTYUNDOBUFFER:
      StateOf(Wnd).HasUndo = false;
      return 0;
    case EM_GETSEL: {
      TEditState& S = StateOf(Wnd);
      DWORD A = DWORD(std::min(S.Anchor, S.Caret)), B = DWORD(std::max(S.Anchor, S.Caret));
      if (WParam) *reinterpret_cast<DWORD*>(WParam) = A;
      if (LParam) *reinterpret_cast<DWORD*>(LParam) = B;
      return LRESULT(MAKELONG(uint16_t(std::min<DWORD>(A, 0xFFFF)), uint16_t(std::min<DWORD>(B, 0xFFFF))));
    }
    case EM_SETSEL: {
      TEditState& S = StateOf(Wnd);
      intptr_t Start = intptr_t(WParam), End = LParam;
      if (int32_t(Start) == -1) {
        SetSelection(Wnd, S, S.Caret, S.Caret);
        return 0;
      }
      size_t Len = S.Text.size();
      size_t A = Start < 0 ? Len : std::min(size_t(Start), Len);
      size_t B = End < 0 ? Len : std::min(size_t(End), Len);
      SetSelection(Wnd, S, A, B);
      return 0;
    }
    case EM_REPLACESEL: {
      TEditState& S = StateOf(Wnd);
      S.Typing = false;
      ReplaceSelection(Wnd, LParam ? reinterpret_cast<const char*>(LParam) : "", false);
      return 0;
    }
    case EM_SCROLLCARET:
      UpdateCaret(Wnd, StateOf(Wnd));
      InvalidateRect(Wnd, nullptr, false);
      return 1;
    case EM_LIMITTEXT: {
      size_t N = WParam == 0 ? kNoLimit : std::min<size_t>(WParam, kNoLimit);
      StateOf(Wnd).Limit = N;
      return 0;
    }
    case EM_GETLIMITTEXT:
      return LRESULT(StateOf(Wnd).Limit);
    case EM_GETMODIFY:
      return StateOf(Wnd).Modified ? 1 : 0;
    case EM_SETMODIFY:
      StateOf(Wnd).Modified = WParam != 0;
      return 0;
    case EM_SETREADONLY: {
      DWORD Style = StyleOf(Wnd);
      SetWindowLong(Wnd, GWL_STYLE, LONG_PTR(WParam ? (Style | ES_READONLY) : (Style & ~ES_READONLY)));
      InvalidateRect(Wnd, nullptr, false);
      return 1;
    }
    case EM_SETPASSWORDCHAR: {
      TEditState& S = StateOf(Wnd);
      S.Password = char(WParam);
      DWORD Style = StyleOf(Wnd);
      SetWindowLong(Wnd, GWL_STYLE, LONG_PTR(S.Password ? (Style | ES_PASSWORD) : (Style & ~ES_PASSWORD)));
      Refresh(Wnd, StateOf(Wnd));
      return 0;
    }
    case EM_SETMARGINS: {
      TEditState& S = StateOf(Wnd);
      auto Margin = [&](int Value) {
        if (WParam == EC_USEFONTINFO || Value == int(EC_USEFONTINFO)) return 1;
        return Value;
      };
      if (WParam == EC_USEFONTINFO || (WParam & EC_LEFTMARGIN)) S.LeftMargin = Margin(LOWORD(uintptr_t(LParam)));
      if (WParam == EC_USEFONTINFO || (WParam & EC_RIGHTMARGIN)) S.RightMargin = Margin(HIWORD(uintptr_t(LParam)));
      Refresh(Wnd, S);
      return 0;
    }
    case EM_GETMARGINS: {
      TEditState& S = StateOf(Wnd);
      return LRESULT(MAKELONG(uint16_t(S.LeftMargin), uint16_t(S.RightMargin)));
    }
    case EM_GETRECT: {
      TEditState& S = StateOf(Wnd);
      TMeasureDC M(Wnd);
      TEditLayout L = Layout(Wnd, S, M, false);
      if (LParam) *reinterpret_cast<TRect*>(LParam) = Rect(L.Area.Left, L.Top, L.Area.Right, L.Top + L.LineHeight);
      return 0;
    }
    case EM_POSFROMCHAR: {
      TEditState& S = StateOf(Wnd);
      TMeasureDC M(Wnd);
      TEditLayout L = Layout(Wnd, S, M, false);
      size_t Pos = SnapToChar(S.Text, size_t(WParam));
      return LRESULT(MAKELONG(uint16_t(L.Origin + XOf(M, S, Pos)), uint16_t(L.Top)));
    }
    case EM_CHARFROMPOS:
      return LRESULT(PosFromX(Wnd, StateOf(Wnd), GET_X_LPARAM(LParam)));
    default:
      return DefWindowProc(Wnd, Msg, WParam, LParam);
  }
}

}  // namespace

const char* EditWindowClass() {
  static const char* const Name = RegisterWindowClass("EDIT", EditProc, CS_DBLCLKS, IDC_IBEAM);
  return Name;
}

// ---------------------------------------------------------------------------------------------
// TCustomEdit
// ---------------------------------------------------------------------------------------------

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle = {csClickEvents, csSetCaption, csDoubleClicks, csFixedHeight};
  FWidth = 121;
  FHeight = 25;
  SetTabStop(true);
  SetParentColor(false);
  FColor = clWindow;
  Brush()->SetColor(FColor);
}

void TCustomEdit::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  WNDCLASS EditClass;
  GetClassInfo(nullptr, EditWindowClass(), &EditClass);
  Params.WindowClass.style = EditClass.style;
  Params.WindowClass.lpfnWndProc = EditClass.lpfnWndProc;
  Params.WindowClass.hCursor = EditClass.hCursor;
  Params.Style |= ES_AUTOHSCROLL;
  if (FPasswordChar) Params.Style |= ES_PASSWORD;
  if (FReadOnly) Params.Style |= ES_READONLY;
  if (FCharCase == ecUpperCase) Params.Style |= ES_UPPERCASE;
  if (FCharCase == ecLowerCase) Params.Style |= ES_LOWERCASE;
  if (!FHideSelection) Params.Style |= ES_NOHIDESEL;
  if (FBorderStyle == bsSingle) {
    if (Ctl3D())
      Params.ExStyle |= WS_EX_CLIENTEDGE;
    else
      Params.Style |= WS_BORDER;
  }
}

void TCustomEdit::CreateWnd() {
  FCreating = true;
  try {
    TWinControl::CreateWnd();
  } catch (...) {
    FCreating = false;
    throw;
  }
  FCreating = false;
  SendFont();
  SendMessage(FHandle, EM_LIMITTEXT, WPARAM(FMaxLength), 0);
  if (FPasswordChar) SendMessage(FHandle, EM_SETPASSWORDCHAR, WPARAM(uint8_t(FPasswordChar)), 0);
  SendMessage(FHandle, EM_SETMODIFY, FModified ? 1 : 0, 0);
}

void TCustomEdit::DestroyWnd() {
  if (FHandle) {
    FModified = SendMessage(FHandle, EM_GETMODIFY, 0, 0) != 0;
    FText = GetWindowTextString(FHandle);
  }
  TWinControl::DestroyWnd();
}

void TCustomEdit::SendFont() {
  if (FHandle) SendMessage(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), 1);
}

std::string TCustomEdit::GetText() const {
  if (FHandle) return GetWindowTextString(FHandle);
  return FText;
}

void TCustomEdit::SetBorderStyle(TBorderStyle Value) {
  if (FBorderStyle == Value) return;
  FBorderStyle = Value;
  RecreateWnd();
}

void TCustomEdit::SetCharCase(TEditCharCase Value) {
  if (FCharCase == Value) return;
  FCharCase = Value;
  std::string T = GetText();
  if (Value == ecUpperCase)
    for (char& C : T) C = char(std::toupper(static_cast<unsigned char>(C)));
  else if (Value == ecLowerCase)
    for (char& C : T) C = char(std::tolower(static_cast<unsigned char>(C)));
  RecreateWnd();
  SetText(T);
}

void TCustomEdit::SetHideSelection(bool Value) {
  if (FHideSelection == Value) return;
  FHideSelection = Value;
  RecreateWnd();
}

void TCustomEdit::SetMaxLength(int32_t Value) {
  FMaxLength = std::max(Value, 0);
  if (FHandle) SendMessage(FHandle, EM_LIMITTEXT, WPARAM(FMaxLength), 0);
}

bool TCustomEdit::Modified() {
  if (FHandle) FModified = SendMessage(FHandle, EM_GETMODIFY, 0, 0) != 0;
  return FModified;
}

void TCustomEdit::SetModified(bool Value) {
  FModified = Value;
  if (FHandle) SendMessage(FHandle, EM_SETMODIFY, Value ? 1 : 0, 0);
}

void TCustomEdit::SetPasswordChar(char Value) {
  if (FPasswordChar == Value) return;
  FPasswordChar = Value;
  if (FHandle) SendMessage(FHandle, EM_SETPASSWORDCHAR, WPARAM(uint8_t(Value)), 0);
}

void TCustomEdit::SetReadOnly(bool Value) {
  if (FReadOnly == Value) return;
  FReadOnly = Value;
  if (FHandle) SendMessage(FHandle, EM_SETREADONLY, Value ? 1 : 0, 0);
}

int32_t TCustomEdit::SelStart() {
  DWORD A = 0, B = 0;
  SendMessage(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&A), reinterpret_cast<LPARAM>(&B));
  return int32_t(A);
}

void TCustomEdit::SetSelStart(int32_t Value) { SendMessage(Handle(), EM_SETSEL, WPARAM(Value), LPARAM(Value)); }

int32_t TCustomEdit::SelLength() {
  DWORD A = 0, B = 0;
  SendMessage(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&A), reinterpret_cast<LPARAM>(&B));
  return int32_t(B - A);
}

void TCustomEdit::SetSelLength(int32_t Value) {
  DWORD A = 0, B = 0;
  SendMessage(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&A), reinterpret_cast<LPARAM>(&B));
  SendMessage(Handle(), EM_SETSEL, WPARAM(A), LPARAM(int64_t(A) + Value));
}

std::string TCustomEdit::SelText() {
  DWORD A = 0, B = 0;
  SendMessage(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&A), reinterpret_cast<LPARAM>(&B));
  return GetText().substr(A, B - A);
}

void TCustomEdit::SetSelText(const std::string& Value) {
  SendMessage(Handle(), EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(Value.c_str()));
}

void TCustomEdit::SelectAll() {
  if (FHandle) SendMessage(FHandle, EM_SETSEL, 0, -1);
}

void TCustomEdit::ClearSelection() { SendMessage(Handle(), WM_CLEAR, 0, 0); }
void TCustomEdit::CopyToClipboard() { SendMessage(Handle(), WM_COPY, 0, 0); }
void TCustomEdit::CutToClipboard() { SendMessage(Handle(), WM_CUT, 0, 0); }
void TCustomEdit::PasteFromClipboard() { SendMessage(Handle(), WM_PASTE, 0, 0); }
bool TCustomEdit::CanUndo() { return FHandle && SendMessage(FHandle, EM_CANUNDO, 0, 0) != 0; }
void TCustomEdit::Undo() {
  if (FHandle) SendMessage(FHandle, WM_UNDO, 0, 0);
}
void TCustomEdit::ClearUndo() {
  if (FHandle) SendMessage(FHandle, EM_EMPTYUNDOBUFFER, 0, 0);
}

void TCustomEdit::Change() {
  TControl::Changed();
  if (OnChange) OnChange(this);
}

void TCustomEdit::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_PAINT:
      // The edit window paints itself.
      if (FHandle)
        DefaultHandler(Message);
      else
        TWinControl::Dispatch(Message);
      return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_MOUSEMOVE:
      // The window's own mouse handling (caret, selection) first, then the control's events.
      DefaultHandler(Message);
      TWinControl::Dispatch(Message);
      return;
    case CN_COMMAND:
      if (HIWORD(Message.WParam) == EN_CHANGE && !FCreating) Change();
      return;
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORSTATIC: {
      HDC DC = reinterpret_cast<HDC>(Message.WParam);
      SetTextColor(DC, COLORREF(ColorToRGB(Font()->Color())));
      SetBkColor(DC, COLORREF(ColorToRGB(Brush()->Color())));
      Message.Result = reinterpret_cast<LRESULT>(Brush()->Handle());
      return;
    }
    case CM_ENTER:
      if (FAutoSelect && !FControlState.Contains(csLButtonDown)) SelectAll();
      TWinControl::Dispatch(Message);
      return;
    case CM_TEXTCHANGED:
      // Without a window there is no EN_CHANGE to report the change.
      if (!FHandle) Change();
      TWinControl::Dispatch(Message);
      return;
    case CM_FONTCHANGED:
      TWinControl::Dispatch(Message);
      SendFont();
      return;
    case CM_CTL3DCHANGED:
      if (FBorderStyle == bsSingle) RecreateWnd();
      TWinControl::Dispatch(Message);
      return;
    case CM_ENABLEDCHANGED:
      TWinControl::Dispatch(Message);
      if (FHandle) InvalidateRect(FHandle, nullptr, false);
      return;
    default:
      TWinControl::Dispatch(Message);
      return;
  }
}

const TPropList& TCustomEdit::PublishedProps() const {
  static const TPropList List =
      TPublisher<TCustomEdit>(TWinControl::PublishedProps())
          .Property("AutoSelect", &TCustomEdit::AutoSelect, &TCustomEdit::SetAutoSelect)
          .Property("BorderStyle", &TCustomEdit::BorderStyle, &TCustomEdit::SetBorderStyle)
          .Property("CharCase", &TCustomEdit::CharCase, &TCustomEdit::SetCharCase)
          .Property("HideSelection", &TCustomEdit::HideSelection, &TCustomEdit::SetHideSelection)
          .Property("MaxLength", &TCustomEdit::MaxLength, &TCustomEdit::SetMaxLength)
          .Property("OEMConvert", &TCustomEdit::OEMConvert, &TCustomEdit::SetOEMConvert)
          .Property("PasswordChar", [](TCustomEdit& E) { return int32_t(uint8_t(E.PasswordChar())); },
                    [](TCustomEdit& E, int32_t V) { E.SetPasswordChar(char(V)); })
          .Property("ReadOnly", &TCustomEdit::ReadOnly, &TCustomEdit::SetReadOnly)
          .Property("Text", [](TCustomEdit& E) { return E.GetText(); },
                    [](TCustomEdit& E, const std::string& V) { E.SetText(V); });
  return List;
}

// ---------------------------------------------------------------------------------------------
// TCustomMaskEdit
// ---------------------------------------------------------------------------------------------

bool MaskTextValid(std::string_view Mask, std::string_view Text) {
  Mask = Mask.substr(0, Mask.find(';'));
  size_t T = 0;
  for (size_t M = 0; M < Mask.size(); ++M) {
    char K = Mask[M];
    unsigned char C = T < Text.size() ? static_cast<unsigned char>(Text[T]) : ' ';
    bool Blank = C == ' ';
    switch (K) {
      case '0': if (!std::isdigit(C)) return false; break;
      case '9': if (!Blank && !std::isdigit(C)) return false; break;
      case 'L': if (!std::isalpha(C)) return false; break;
      case 'l': if (!Blank && !std::isalpha(C)) return false; break;
      case 'A': if (!std::isalnum(C)) return false; break;
      case 'a': if (!Blank && !std::isalnum(C)) return false; break;
      case 'C': if (Blank) return false; break;
      case 'c': break;
      case '\\':
        if (M + 1 < Mask.size()) ++M;
        [[fallthrough]];
      default:
        if (C != static_cast<unsigned char>(Mask[M])) return false;
        break;
    }
    ++T;
  }
  return T >= Text.size();
}

void TCustomMaskEdit::ValidateEdit() {
  if (IsMasked() && !MaskTextValid(FEditMask, GetText())) ValidateError();
}

void TCustomMaskEdit::ValidateError() {
  MessageBeep(0);
  throw EDBEditError("Invalid input value. Press Escape to abandon the change.");
}

void TCustomMaskEdit::Dispatch(TMessage& Message) {
  if (Message.Msg == CM_EXIT && IsMasked()) {
    try {
      ValidateEdit();
    } catch (...) {
      // The focus stays with the edit so that the input can be mended.
      if (CanFocus()) SetFocus();
      throw;
    }
  }
  TCustomEdit::Dispatch(Message);
}

const TPropList& TCustomMaskEdit::PublishedProps() const {
  static const TPropList List = TPublisher<TCustomMaskEdit>(TCustomEdit::PublishedProps())
                                    .Property("EditMask", [](TCustomMaskEdit& E) { return E.EditMask(); },
                                              &TCustomMaskEdit::SetEditMask);
  return List;
}

}  // namespace zv
