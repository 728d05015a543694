// user32 stand-in: windows (HWND) with window procedures, the message loop and the WM_/CM_/CN_
// messages, painting with update regions, input state (capture, focus, keys, mouse), timers, scroll
// bars, caret, cursors, clipboard and system metrics. The desktop is reached through platform/backend.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/gdi.h"
#include "platform/types.h"
#include "platform/win32.h"

namespace zv {

// ---------------------------------------------------------------------------------------------
// Basic types
// ---------------------------------------------------------------------------------------------

using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using LONG_PTR = intptr_t;
using ATOM = uint16_t;
using HINSTANCE = void*;
struct HCURSOR__;
using HCURSOR = HCURSOR__*;
using HICON = HCURSOR;
using HMENU = void*;
using WNDPROC = LRESULT (*)(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
using TIMERPROC = void (*)(HWND wnd, UINT msg, uintptr_t idEvent, DWORD time);

constexpr uint16_t LOWORD(uintptr_t v) { return uint16_t(v & 0xFFFF); }
constexpr uint16_t HIWORD(uintptr_t v) { return uint16_t((v >> 16) & 0xFFFF); }
constexpr int16_t GET_X_LPARAM(LPARAM v) { return int16_t(uintptr_t(v) & 0xFFFF); }
constexpr int16_t GET_Y_LPARAM(LPARAM v) { return int16_t((uintptr_t(v) >> 16) & 0xFFFF); }
constexpr int16_t GET_WHEEL_DELTA_WPARAM(WPARAM v) { return int16_t((v >> 16) & 0xFFFF); }
constexpr uint32_t MAKELONG(uint16_t lo, uint16_t hi) { return uint32_t(lo) | (uint32_t(hi) << 16); }
constexpr LPARAM MAKELPARAM(int lo, int hi) { return LPARAM(MAKELONG(uint16_t(lo), uint16_t(hi))); }
constexpr WPARAM MAKEWPARAM(int lo, int hi) { return WPARAM(MAKELONG(uint16_t(lo), uint16_t(hi))); }
constexpr LRESULT MAKELRESULT(int lo, int hi) { return LRESULT(MAKELONG(uint16_t(lo), uint16_t(hi))); }
// A resource id passed where a name is expected.
inline const char* MAKEINTRESOURCE(uintptr_t id) { return reinterpret_cast<const char*>(id); }
inline bool IS_INTRESOURCE(const char* p) { return (reinterpret_cast<uintptr_t>(p) >> 16) == 0; }

// ---------------------------------------------------------------------------------------------
// Window messages (the Win32 numbers)
// ---------------------------------------------------------------------------------------------

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETREDRAW = 0x000B;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SYSCOLORCHANGE = 0x0015;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_ACTIVATEAPP = 0x001C;
constexpr UINT WM_CANCELMODE = 0x001F;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_MOUSEACTIVATE = 0x0021;
constexpr UINT WM_GETMINMAXINFO = 0x0024;
constexpr UINT WM_DRAWITEM = 0x002B;
constexpr UINT WM_MEASUREITEM = 0x002C;
constexpr UINT WM_DELETEITEM = 0x002D;
constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_GETFONT = 0x0031;
constexpr UINT WM_WINDOWPOSCHANGING = 0x0046;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_HELP = 0x0053;
constexpr UINT WM_CONTEXTMENU = 0x007B;
constexpr UINT WM_STYLECHANGING = 0x007C;
constexpr UINT WM_STYLECHANGED = 0x007D;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_NCCALCSIZE = 0x0083;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_NCPAINT = 0x0085;
constexpr UINT WM_NCACTIVATE = 0x0086;
constexpr UINT WM_GETDLGCODE = 0x0087;
constexpr UINT WM_NCMOUSEMOVE = 0x00A0;
constexpr UINT WM_NCLBUTTONDOWN = 0x00A1;
constexpr UINT WM_NCLBUTTONUP = 0x00A2;
constexpr UINT WM_NCLBUTTONDBLCLK = 0x00A3;
constexpr UINT WM_NCRBUTTONDOWN = 0x00A4;
constexpr UINT WM_NCRBUTTONUP = 0x00A5;
constexpr UINT WM_KEYFIRST = 0x0100;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_DEADCHAR = 0x0103;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCHAR = 0x0106;
constexpr UINT WM_KEYLAST = 0x0109;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_INITMENUPOPUP = 0x0117;
constexpr UINT WM_MENUSELECT = 0x011F;
constexpr UINT WM_ENTERIDLE = 0x0121;
constexpr UINT WM_CTLCOLOREDIT = 0x0133;
constexpr UINT WM_CTLCOLORLISTBOX = 0x0134;
constexpr UINT WM_CTLCOLORBTN = 0x0135;
constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
constexpr UINT WM_MOUSEFIRST = 0x0200;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_MOUSEHWHEEL = 0x020E;
constexpr UINT WM_MOUSELAST = 0x020E;
constexpr UINT WM_PARENTNOTIFY = 0x0210;
constexpr UINT WM_ENTERMENULOOP = 0x0211;
constexpr UINT WM_EXITMENULOOP = 0x0212;
constexpr UINT WM_CAPTURECHANGED = 0x0215;
constexpr UINT WM_MOVING = 0x0216;
constexpr UINT WM_ENTERSIZEMOVE = 0x0231;
constexpr UINT WM_EXITSIZEMOVE = 0x0232;
constexpr UINT WM_MOUSEHOVER = 0x02A1;
constexpr UINT WM_MOUSELEAVE = 0x02A3;
constexpr UINT WM_CUT = 0x0300;
constexpr UINT WM_COPY = 0x0301;
constexpr UINT WM_PASTE = 0x0302;
constexpr UINT WM_CLEAR = 0x0303;
constexpr UINT WM_UNDO = 0x0304;
constexpr UINT WM_THEMECHANGED = 0x031A;
constexpr UINT WM_PRINT = 0x0317;
constexpr UINT WM_PRINTCLIENT = 0x0318;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// Edit-control messages and styles.
constexpr UINT EM_GETSEL = 0x00B0;
constexpr UINT EM_SETSEL = 0x00B1;
constexpr UINT EM_GETRECT = 0x00B2;
constexpr UINT EM_SETRECT = 0x00B3;
constexpr UINT EM_SCROLLCARET = 0x00B7;
constexpr UINT EM_GETMODIFY = 0x00B8;
constexpr UINT EM_SETMODIFY = 0x00B9;
constexpr UINT EM_REPLACESEL = 0x00C2;
constexpr UINT EM_LIMITTEXT = 0x00C5;
constexpr UINT EM_CANUNDO = 0x00C6;
constexpr UINT EM_UNDO = 0x00C7;
constexpr UINT EM_SETPASSWORDCHAR = 0x00CC;
constexpr UINT EM_EMPTYUNDOBUFFER = 0x00CD;
constexpr UINT EM_SETREADONLY = 0x00CF;
constexpr UINT EM_SETMARGINS = 0x00D3;
constexpr UINT EM_GETMARGINS = 0x00D4;
constexpr UINT EM_GETLIMITTEXT = 0x00D5;
constexpr UINT EM_POSFROMCHAR = 0x00D6;
constexpr UINT EM_CHARFROMPOS = 0x00D7;
constexpr WPARAM EC_LEFTMARGIN = 0x0001;
constexpr WPARAM EC_RIGHTMARGIN = 0x0002;
constexpr WPARAM EC_USEFONTINFO = 0xFFFF;
constexpr UINT EN_SETFOCUS = 0x0100;
constexpr UINT EN_KILLFOCUS = 0x0200;
constexpr UINT EN_CHANGE = 0x0300;
constexpr UINT EN_UPDATE = 0x0400;
constexpr UINT EN_MAXTEXT = 0x0501;

// Combo-box messages and notifications.
constexpr UINT CB_GETEDITSEL = 0x0140;
constexpr UINT CB_LIMITTEXT = 0x0141;
constexpr UINT CB_SETEDITSEL = 0x0142;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_DELETESTRING = 0x0144;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_INSERTSTRING = 0x014A;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_FINDSTRING = 0x014C;
constexpr UINT CB_SELECTSTRING = 0x014D;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_SHOWDROPDOWN = 0x014F;
constexpr UINT CB_GETITEMDATA = 0x0150;
constexpr UINT CB_SETITEMDATA = 0x0151;
constexpr UINT CB_GETDROPPEDCONTROLRECT = 0x0152;
constexpr UINT CB_SETITEMHEIGHT = 0x0153;
constexpr UINT CB_GETITEMHEIGHT = 0x0154;
constexpr UINT CB_GETDROPPEDSTATE = 0x0157;
constexpr UINT CB_FINDSTRINGEXACT = 0x0158;
constexpr UINT CB_GETTOPINDEX = 0x015B;
constexpr UINT CB_SETTOPINDEX = 0x015C;
constexpr UINT CB_GETDROPPEDWIDTH = 0x015F;
constexpr UINT CB_SETDROPPEDWIDTH = 0x0160;
constexpr LRESULT CB_ERR = -1;
constexpr UINT CBN_SELCHANGE = 1;
constexpr UINT CBN_DBLCLK = 2;
constexpr UINT CBN_SETFOCUS = 3;
constexpr UINT CBN_KILLFOCUS = 4;
constexpr UINT CBN_EDITCHANGE = 5;
constexpr UINT CBN_EDITUPDATE = 6;
constexpr UINT CBN_DROPDOWN = 7;
constexpr UINT CBN_CLOSEUP = 8;
constexpr UINT CBN_SELENDOK = 9;
constexpr UINT CBN_SELENDCANCEL = 10;
constexpr UINT BN_CLICKED = 0;

// Class-library notifications (private range of the class library) and reflected messages: a parent
// sends CN_BASE + msg back to the child control that caused msg.
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ACTIVATE = CM_BASE + 0;
constexpr UINT CM_DEACTIVATE = CM_BASE + 1;
constexpr UINT CM_GOTFOCUS = CM_BASE + 2;
constexpr UINT CM_LOSTFOCUS = CM_BASE + 3;
constexpr UINT CM_CANCELMODE = CM_BASE + 4;
constexpr UINT CM_DIALOGKEY = CM_BASE + 5;
constexpr UINT CM_DIALOGCHAR = CM_BASE + 6;
constexpr UINT CM_FOCUSCHANGED = CM_BASE + 7;
constexpr UINT CM_PARENTFONTCHANGED = CM_BASE + 8;
constexpr UINT CM_PARENTCOLORCHANGED = CM_BASE + 9;
constexpr UINT CM_HITTEST = CM_BASE + 10;
constexpr UINT CM_VISIBLECHANGED = CM_BASE + 11;
constexpr UINT CM_ENABLEDCHANGED = CM_BASE + 12;
constexpr UINT CM_COLORCHANGED = CM_BASE + 13;
constexpr UINT CM_FONTCHANGED = CM_BASE + 14;
constexpr UINT CM_CURSORCHANGED = CM_BASE + 15;
constexpr UINT CM_CTL3DCHANGED = CM_BASE + 16;
constexpr UINT CM_PARENTCTL3DCHANGED = CM_BASE + 17;
constexpr UINT CM_TEXTCHANGED = CM_BASE + 18;
constexpr UINT CM_MOUSEENTER = CM_BASE + 19;
constexpr UINT CM_MOUSELEAVE = CM_BASE + 20;
constexpr UINT CM_MENUCHANGED = CM_BASE + 21;
constexpr UINT CM_APPKEYDOWN = CM_BASE + 22;
constexpr UINT CM_APPSYSCOMMAND = CM_BASE + 23;
constexpr UINT CM_BUTTONPRESSED = CM_BASE + 24;
constexpr UINT CM_SHOWINGCHANGED = CM_BASE + 25;
constexpr UINT CM_ENTER = CM_BASE + 26;
constexpr UINT CM_EXIT = CM_BASE + 27;
constexpr UINT CM_DESIGNHITTEST = CM_BASE + 28;
constexpr UINT CM_ICONCHANGED = CM_BASE + 29;
constexpr UINT CM_WANTSPECIALKEY = CM_BASE + 30;
constexpr UINT CM_INVOKEHELP = CM_BASE + 31;
constexpr UINT CM_RELEASE = CM_BASE + 33;
constexpr UINT CM_SHOWHINTCHANGED = CM_BASE + 34;
constexpr UINT CM_PARENTSHOWHINTCHANGED = CM_BASE + 35;
constexpr UINT CM_SYSCOLORCHANGE = CM_BASE + 36;
constexpr UINT CM_FONTCHANGE = CM_BASE + 38;
constexpr UINT CM_TABSTOPCHANGED = CM_BASE + 40;
constexpr UINT CM_CONTROLLISTCHANGE = CM_BASE + 44;
constexpr UINT CM_CHILDKEY = CM_BASE + 46;
constexpr UINT CM_HINTSHOW = CM_BASE + 48;
constexpr UINT CM_RECREATEWND = CM_BASE + 51;
constexpr UINT CM_INVALIDATE = CM_BASE + 52;
constexpr UINT CM_SYSFONTCHANGED = CM_BASE + 53;
constexpr UINT CM_CONTROLCHANGE = CM_BASE + 54;
constexpr UINT CM_CHANGED = CM_BASE + 55;
constexpr UINT CM_BORDERCHANGED = CM_BASE + 59;
constexpr UINT CM_PARENTBIDIMODECHANGED = CM_BASE + 60;
constexpr UINT CM_MOUSEWHEEL = CM_BASE + 67;
constexpr UINT CM_ISSHORTCUT = CM_BASE + 68;

constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_CHARTOITEM = CN_BASE + 0x002F;
constexpr UINT CN_COMMAND = CN_BASE + WM_COMMAND;
constexpr UINT CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT;
constexpr UINT CN_CTLCOLORLISTBOX = CN_BASE + WM_CTLCOLORLISTBOX;
constexpr UINT CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC;
constexpr UINT CN_DELETEITEM = CN_BASE + WM_DELETEITEM;
constexpr UINT CN_DRAWITEM = CN_BASE + WM_DRAWITEM;
constexpr UINT CN_HSCROLL = CN_BASE + WM_HSCROLL;
constexpr UINT CN_MEASUREITEM = CN_BASE + WM_MEASUREITEM;
constexpr UINT CN_NOTIFY = CN_BASE + WM_NOTIFY;
constexpr UINT CN_VSCROLL = CN_BASE + WM_VSCROLL;
constexpr UINT CN_KEYDOWN = CN_BASE + WM_KEYDOWN;
constexpr UINT CN_KEYUP = CN_BASE + WM_KEYUP;
constexpr UINT CN_CHAR = CN_BASE + WM_CHAR;
constexpr UINT CN_SYSKEYDOWN = CN_BASE + WM_SYSKEYDOWN;
constexpr UINT CN_SYSCHAR = CN_BASE + WM_SYSCHAR;

// ---------------------------------------------------------------------------------------------
// Message parameters
// ---------------------------------------------------------------------------------------------

// WM_SIZE wParam.
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;
// WM_ACTIVATE wParam.
constexpr WPARAM WA_INACTIVE = 0;
constexpr WPARAM WA_ACTIVE = 1;
constexpr WPARAM WA_CLICKACTIVE = 2;
// WM_MOUSEACTIVATE results.
constexpr LRESULT MA_ACTIVATE = 1;
constexpr LRESULT MA_ACTIVATEANDEAT = 2;
constexpr LRESULT MA_NOACTIVATE = 3;
constexpr LRESULT MA_NOACTIVATEANDEAT = 4;
// Mouse-message key flags (wParam).
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;
constexpr int WHEEL_DELTA = 120;
// WM_NCHITTEST results.
constexpr LRESULT HTERROR = -2;
constexpr LRESULT HTTRANSPARENT = -1;
constexpr LRESULT HTNOWHERE = 0;
constexpr LRESULT HTCLIENT = 1;
constexpr LRESULT HTCAPTION = 2;
constexpr LRESULT HTSYSMENU = 3;
constexpr LRESULT HTMENU = 5;
constexpr LRESULT HTHSCROLL = 6;
constexpr LRESULT HTVSCROLL = 7;
constexpr LRESULT HTMINBUTTON = 8;
constexpr LRESULT HTMAXBUTTON = 9;
constexpr LRESULT HTLEFT = 10;
constexpr LRESULT HTRIGHT = 11;
constexpr LRESULT HTTOP = 12;
constexpr LRESULT HTTOPLEFT = 13;
constexpr LRESULT HTTOPRIGHT = 14;
constexpr LRESULT HTBOTTOM = 15;
constexpr LRESULT HTBOTTOMLEFT = 16;
constexpr LRESULT HTBOTTOMRIGHT = 17;
constexpr LRESULT HTBORDER = 18;
constexpr LRESULT HTCLOSE = 20;
// WM_SYSCOMMAND wParam (the low four bits carry the hit-test code for SC_MOVE / SC_SIZE).
constexpr WPARAM SC_SIZE = 0xF000;
constexpr WPARAM SC_MOVE = 0xF010;
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_KEYMENU = 0xF100;
constexpr WPARAM SC_RESTORE = 0xF120;
// WM_GETDLGCODE results.
constexpr LRESULT DLGC_WANTARROWS = 0x0001;
constexpr LRESULT DLGC_WANTTAB = 0x0002;
constexpr LRESULT DLGC_WANTALLKEYS = 0x0004;
constexpr LRESULT DLGC_WANTMESSAGE = 0x0004;
constexpr LRESULT DLGC_HASSETSEL = 0x0008;
constexpr LRESULT DLGC_DEFPUSHBUTTON = 0x0010;
constexpr LRESULT DLGC_UNDEFPUSHBUTTON = 0x0020;
constexpr LRESULT DLGC_RADIOBUTTON = 0x0040;
constexpr LRESULT DLGC_WANTCHARS = 0x0080;
constexpr LRESULT DLGC_STATIC = 0x0100;
constexpr LRESULT DLGC_BUTTON = 0x2000;
// WM_HSCROLL / WM_VSCROLL codes (low word of wParam; the high word is the position for the thumb).
constexpr int SB_LINEUP = 0;
constexpr int SB_LINELEFT = 0;
constexpr int SB_LINEDOWN = 1;
constexpr int SB_LINERIGHT = 1;
constexpr int SB_PAGEUP = 2;
constexpr int SB_PAGELEFT = 2;
constexpr int SB_PAGEDOWN = 3;
constexpr int SB_PAGERIGHT = 3;
constexpr int SB_THUMBPOSITION = 4;
constexpr int SB_THUMBTRACK = 5;
constexpr int SB_TOP = 6;
constexpr int SB_LEFT = 6;
constexpr int SB_BOTTOM = 7;
constexpr int SB_RIGHT = 7;
constexpr int SB_ENDSCROLL = 8;
// Scroll-bar selectors.
constexpr int SB_HORZ = 0;
constexpr int SB_VERT = 1;
constexpr int SB_CTL = 2;
constexpr int SB_BOTH = 3;
// WM_NCCALCSIZE with wParam true returns these (0: keep the client area's top-left).
constexpr LRESULT WVR_VALIDRECTS = 0x0400;
// WM_SHOWWINDOW lParam.
constexpr LPARAM SW_PARENTCLOSING = 1;
constexpr LPARAM SW_PARENTOPENING = 3;

// ---------------------------------------------------------------------------------------------
// Styles
// ---------------------------------------------------------------------------------------------

constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_SIZEBOX = 0x00040000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_POPUPWINDOW = WS_POPUP | WS_BORDER | WS_SYSMENU;

constexpr DWORD WS_EX_DLGMODALFRAME = 0x00000001;
constexpr DWORD WS_EX_NOPARENTNOTIFY = 0x00000004;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_ACCEPTFILES = 0x00000010;
constexpr DWORD WS_EX_TRANSPARENT = 0x00000020;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;
constexpr DWORD WS_EX_WINDOWEDGE = 0x00000100;
constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
constexpr DWORD WS_EX_CONTEXTHELP = 0x00000400;
constexpr DWORD WS_EX_RIGHT = 0x00001000;
constexpr DWORD WS_EX_RTLREADING = 0x00002000;
constexpr DWORD WS_EX_LEFTSCROLLBAR = 0x00004000;
constexpr DWORD WS_EX_CONTROLPARENT = 0x00010000;
constexpr DWORD WS_EX_STATICEDGE = 0x00020000;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;
constexpr DWORD WS_EX_LAYERED = 0x00080000;
constexpr DWORD WS_EX_NOACTIVATE = 0x08000000;

// Class styles.
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_DBLCLKS = 0x0008;
constexpr UINT CS_OWNDC = 0x0020;
constexpr UINT CS_CLASSDC = 0x0040;
constexpr UINT CS_PARENTDC = 0x0080;
constexpr UINT CS_SAVEBITS = 0x0800;
constexpr UINT CS_GLOBALCLASS = 0x4000;
constexpr UINT CS_DROPSHADOW = 0x00020000;

// Edit styles.
constexpr DWORD ES_LEFT = 0x0000;
constexpr DWORD ES_CENTER = 0x0001;
constexpr DWORD ES_RIGHT = 0x0002;
constexpr DWORD ES_MULTILINE = 0x0004;
constexpr DWORD ES_UPPERCASE = 0x0008;
constexpr DWORD ES_LOWERCASE = 0x0010;
constexpr DWORD ES_PASSWORD = 0x0020;
constexpr DWORD ES_AUTOVSCROLL = 0x0040;
constexpr DWORD ES_AUTOHSCROLL = 0x0080;
constexpr DWORD ES_NOHIDESEL = 0x0100;
constexpr DWORD ES_READONLY = 0x0800;
constexpr DWORD ES_WANTRETURN = 0x1000;
constexpr DWORD ES_NUMBER = 0x2000;
// Combo-box styles.
constexpr DWORD CBS_SIMPLE = 0x0001;
constexpr DWORD CBS_DROPDOWN = 0x0002;
constexpr DWORD CBS_DROPDOWNLIST = 0x0003;
constexpr DWORD CBS_OWNERDRAWFIXED = 0x0010;
constexpr DWORD CBS_OWNERDRAWVARIABLE = 0x0020;
constexpr DWORD CBS_AUTOHSCROLL = 0x0040;
constexpr DWORD CBS_SORT = 0x0100;
constexpr DWORD CBS_HASSTRINGS = 0x0200;
// Button styles.
constexpr DWORD BS_PUSHBUTTON = 0x0000;
constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;
constexpr DWORD BS_OWNERDRAW = 0x000B;
// Static styles.
constexpr DWORD SS_LEFT = 0x0000;
constexpr DWORD SS_NOTIFY = 0x0100;

// ---------------------------------------------------------------------------------------------
// Window classes and windows
// ---------------------------------------------------------------------------------------------

// hbrBackground may be a brush handle or a system colour index + 1 (as Win32 allows).
struct WNDCLASS {
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  int cbClsExtra = 0;
  int cbWndExtra = 0;
  HINSTANCE hInstance = nullptr;
  HICON hIcon = nullptr;
  HCURSOR hCursor = nullptr;
  HBRUSH hbrBackground = nullptr;
  const char* lpszMenuName = nullptr;
  const char* lpszClassName = nullptr;
};
using WNDCLASSA = WNDCLASS;
using TWndClass = WNDCLASS;

// lParam of WM_NCCREATE / WM_CREATE.
struct CREATESTRUCT {
  void* lpCreateParams = nullptr;
  HINSTANCE hInstance = nullptr;
  HMENU hMenu = nullptr;
  HWND hwndParent = nullptr;
  int cy = 0;
  int cx = 0;
  int y = 0;
  int x = 0;
  DWORD style = 0;
  const char* lpszName = nullptr;
  const char* lpszClass = nullptr;
  DWORD dwExStyle = 0;
};

// lParam of WM_WINDOWPOSCHANGING / WM_WINDOWPOSCHANGED.
struct WINDOWPOS {
  HWND hwnd = nullptr;
  HWND hwndInsertAfter = nullptr;
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
  UINT flags = 0;
};

// lParam of WM_NCCALCSIZE with wParam true: rgrc[0] arrives as the new window rectangle (parent's
// client coordinates) and leaves as the client rectangle.
struct NCCALCSIZE_PARAMS {
  TRect rgrc[3];
  WINDOWPOS* lppos = nullptr;
};

struct PAINTSTRUCT {
  HDC hdc = nullptr;
  bool fErase = false;  // the background still needs erasing (WM_ERASEBKGND returned 0)
  TRect rcPaint;        // bounding box of the update region, client coordinates
  bool fRestore = false;
  bool fIncUpdate = false;
  uint8_t rgbReserved[32] = {};
};

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;
  POINT pt;
};

struct MINMAXINFO {
  POINT ptReserved;
  POINT ptMaxSize;
  POINT ptMaxPosition;
  POINT ptMinTrackSize;
  POINT ptMaxTrackSize;
};

// Owner-draw structures (WM_DRAWITEM / WM_MEASUREITEM / WM_DELETEITEM, and their CN_ reflections).
constexpr UINT ODT_MENU = 1;
constexpr UINT ODT_LISTBOX = 2;
constexpr UINT ODT_COMBOBOX = 3;
constexpr UINT ODT_BUTTON = 4;
constexpr UINT ODA_DRAWENTIRE = 0x0001;
constexpr UINT ODA_SELECT = 0x0002;
constexpr UINT ODA_FOCUS = 0x0004;
constexpr UINT ODS_SELECTED = 0x0001;
constexpr UINT ODS_GRAYED = 0x0002;
constexpr UINT ODS_DISABLED = 0x0004;
constexpr UINT ODS_CHECKED = 0x0008;
constexpr UINT ODS_FOCUS = 0x0010;
constexpr UINT ODS_DEFAULT = 0x0020;
constexpr UINT ODS_COMBOBOXEDIT = 0x1000;
constexpr UINT ODS_NOFOCUSRECT = 0x0200;

struct DRAWITEMSTRUCT {
  UINT CtlType = 0;
  UINT CtlID = 0;
  UINT itemID = 0;
  UINT itemAction = 0;
  UINT itemState = 0;
  HWND hwndItem = nullptr;
  HDC hDC = nullptr;
  TRect rcItem;
  uintptr_t itemData = 0;
};

struct MEASUREITEMSTRUCT {
  UINT CtlType = 0;
  UINT CtlID = 0;
  UINT itemID = 0;
  UINT itemWidth = 0;
  UINT itemHeight = 0;
  uintptr_t itemData = 0;
};

struct DELETEITEMSTRUCT {
  UINT CtlType = 0;
  UINT CtlID = 0;
  UINT itemID = 0;
  HWND hwndItem = nullptr;
  uintptr_t itemData = 0;
};

// Registers a class (names compare case-insensitively); 0 when the name is taken or missing.
ATOM RegisterClass(const WNDCLASS* wc);
bool UnregisterClass(const char* className, HINSTANCE instance);
bool GetClassInfo(HINSTANCE instance, const char* className, WNDCLASS* wc);
// The long value of a class: GCL_STYLE, GCLP_HCURSOR, GCLP_HBRBACKGROUND.
constexpr int GCL_STYLE = -26;
constexpr int GCLP_HCURSOR = -12;
constexpr int GCLP_HBRBACKGROUND = -10;
uintptr_t GetClassLongPtr(HWND wnd, int index);
uintptr_t SetClassLongPtr(HWND wnd, int index, uintptr_t value);
int GetClassName(HWND wnd, char* buffer, int size);

// Position for "let the system choose" (top-level windows only).
constexpr int CW_USEDEFAULT = int(0x80000000u);

// A window of a registered class. Child windows (WS_CHILD) take parent as their parent; others take
// it as their owner. x, y are in the parent's client coordinates (screen for top-level windows).
// Sends WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE (returning -1 fails creation), then WM_SIZE and WM_MOVE,
// and shows the window when WS_VISIBLE is set. nullptr on failure. Double clicks reach only windows
// whose class has CS_DBLCLKS.
HWND CreateWindowEx(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                    int x, int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                    void* param);
HWND CreateWindow(const char* className, const char* windowName, DWORD style, int x, int y,
                  int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);
// Destroys the window, its children and the windows it owns: WM_DESTROY parent first, then
// WM_NCDESTROY children first. Only on the main thread.
bool DestroyWindow(HWND wnd);
bool IsWindow(HWND wnd);
bool IsChild(HWND parent, HWND wnd);
bool IsWindowVisible(HWND wnd);  // it and all its parents are visible
bool IsWindowEnabled(HWND wnd);
bool IsIconic(HWND wnd);
bool IsZoomed(HWND wnd);
bool IsWindowUnicode(HWND wnd);

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;
// Returns whether the window was visible before.
bool ShowWindow(HWND wnd, int cmdShow);
// Returns whether the window was disabled before; sends WM_ENABLE, and a disabled window loses focus
// and capture.
bool EnableWindow(HWND wnd, bool enable);

// SetWindowPos flags and insert-after values.
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_DRAWFRAME = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
constexpr UINT SWP_NOCOPYBITS = 0x0100;
constexpr UINT SWP_NOOWNERZORDER = 0x0200;
constexpr UINT SWP_NOREPOSITION = 0x0200;
constexpr UINT SWP_NOSENDCHANGING = 0x0400;
constexpr UINT SWP_DEFERERASE = 0x2000;
constexpr UINT SWP_ASYNCWINDOWPOS = 0x4000;
inline HWND const HWND_TOP = reinterpret_cast<HWND>(intptr_t(0));
inline HWND const HWND_BOTTOM = reinterpret_cast<HWND>(intptr_t(1));
inline HWND const HWND_TOPMOST = reinterpret_cast<HWND>(intptr_t(-1));
inline HWND const HWND_NOTOPMOST = reinterpret_cast<HWND>(intptr_t(-2));
inline HWND const HWND_MESSAGE = reinterpret_cast<HWND>(intptr_t(-3));

// Moves, sizes, reorders, shows or hides: WM_WINDOWPOSCHANGING (the handler may edit the WINDOWPOS),
// WM_NCCALCSIZE, WM_WINDOWPOSCHANGED, then WM_MOVE / WM_SIZE as DefWindowProc derives them.
bool SetWindowPos(HWND wnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
bool MoveWindow(HWND wnd, int x, int y, int width, int height, bool repaint);
bool BringWindowToTop(HWND wnd);
// The window rectangle in screen coordinates.
bool GetWindowRect(HWND wnd, TRect* rect);
// The client rectangle: (0, 0, width, height).
bool GetClientRect(HWND wnd, TRect* rect);
// Grows a client rectangle to the window rectangle the styles give (no menu support).
bool AdjustWindowRectEx(TRect* rect, DWORD style, bool menu, DWORD exStyle);
bool AdjustWindowRect(TRect* rect, DWORD style, bool menu);

constexpr int GW_HWNDFIRST = 0;
constexpr int GW_HWNDLAST = 1;
constexpr int GW_HWNDNEXT = 2;
constexpr int GW_HWNDPREV = 3;
constexpr int GW_OWNER = 4;
constexpr int GW_CHILD = 5;
constexpr int GA_PARENT = 1;
constexpr int GA_ROOT = 2;
constexpr int GA_ROOTOWNER = 3;
// Siblings are ordered top of the z-order first.
HWND GetWindow(HWND wnd, UINT cmd);
// The parent of a child window, the owner of a top-level one.
HWND GetParent(HWND wnd);
HWND GetAncestor(HWND wnd, UINT flags);
HWND GetTopWindow(HWND wnd);
// Re-parents a window (nullptr makes it top-level); returns the old parent.
HWND SetParent(HWND wnd, HWND newParent);
// The desktop is no window of ours: nullptr.
HWND GetDesktopWindow();
// Windows whose class (and text, when given) match, case-insensitively; parent nullptr searches the
// top-level windows.
HWND FindWindowEx(HWND parent, HWND childAfter, const char* className, const char* windowName);
HWND FindWindow(const char* className, const char* windowName);
DWORD GetWindowThreadProcessId(HWND wnd, DWORD* processId);

constexpr int GWL_WNDPROC = -4;
constexpr int GWLP_WNDPROC = -4;
constexpr int GWLP_HINSTANCE = -6;
constexpr int GWLP_HWNDPARENT = -8;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GWLP_USERDATA = -21;
constexpr int GWL_USERDATA = -21;
constexpr int GWL_ID = -12;
constexpr int GWLP_ID = -12;
// Style changes send WM_STYLECHANGING / WM_STYLECHANGED; they take visible effect after
// SetWindowPos with SWP_FRAMECHANGED. Non-negative indexes address the class's window extra bytes.
LONG_PTR GetWindowLong(HWND wnd, int index);
LONG_PTR SetWindowLong(HWND wnd, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtr(HWND wnd, int index);
LONG_PTR SetWindowLongPtr(HWND wnd, int index, LONG_PTR value);
int GetDlgCtrlID(HWND wnd);
HWND GetDlgItem(HWND parent, int id);

bool SetWindowText(HWND wnd, const char* text);
int GetWindowText(HWND wnd, char* buffer, int size);
int GetWindowTextLength(HWND wnd);
std::string GetWindowTextString(HWND wnd);

// The window takes over the region (it must not be used or deleted afterwards); nullptr removes the
// region. Window coordinates. Only the region's pixels show and receive the mouse.
int SetWindowRgn(HWND wnd, HRGN rgn, bool redraw);
// Copies the window region into rgn; ERROR when the window has none.
int GetWindowRgn(HWND wnd, HRGN rgn);

constexpr DWORD ULW_COLORKEY = 0x00000001;
constexpr DWORD ULW_ALPHA = 0x00000002;
constexpr DWORD ULW_OPAQUE = 0x00000004;
constexpr DWORD LWA_COLORKEY = 0x00000001;
constexpr DWORD LWA_ALPHA = 0x00000002;
// A WS_EX_LAYERED top-level window shows the source DC's pixels (with AC_SRC_ALPHA their
// premultiplied alpha, scaled by SourceConstantAlpha) instead of painting; position and size may change
// at the same time.
bool UpdateLayeredWindow(HWND wnd, HDC dstDC, const POINT* pos, const SIZE* size, HDC srcDC,
                         const POINT* srcPos, COLORREF key, const BLENDFUNCTION* blend, DWORD flags);
// A layered window that still paints, shown with a constant alpha and/or a transparent colour key.
bool SetLayeredWindowAttributes(HWND wnd, COLORREF key, uint8_t alpha, DWORD flags);

// ---------------------------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------------------------

// Calls the window procedure now; from another thread, it runs on the main thread while this one
// waits. 0 for a window that does not exist.
LRESULT SendMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Queues the message for the main thread (from any thread); false when wnd is not a window.
// wnd nullptr posts a thread message (only MSG.hwnd nullptr at the loop).
bool PostMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
bool PostThreadMessage(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam);
// Posts WM_QUIT with the exit code; GetMessage returns false when it takes it.
void PostQuitMessage(int exitCode);
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
constexpr UINT PM_NOYIELD = 0x0002;
// On the main thread. Order as Win32: synchronised calls run first, then posted and input messages,
// then WM_PAINT for windows with an update region, then WM_TIMER for due timers. wnd / filter limit
// which messages qualify (0, 0: all).
bool PeekMessage(MSG* msg, HWND wnd, UINT filterMin, UINT filterMax, UINT removeMsg);
// Waits (running synchronised calls and the back end's events) until a message qualifies; false for
// WM_QUIT.
bool GetMessage(MSG* msg, HWND wnd, UINT filterMin, UINT filterMax);
// Waits until something arrives for the main thread.
bool WaitMessage();
// WM_KEYDOWN / WM_SYSKEYDOWN of a key that makes characters posts the WM_CHAR / WM_SYSCHAR messages
// (the back end knows the characters; one message per UTF-32 code point).
bool TranslateMessage(const MSG* msg);
// Calls the window procedure (a WM_TIMER with a TIMERPROC in lParam calls that instead).
LRESULT DispatchMessage(const MSG* msg);
LRESULT CallWindowProc(WNDPROC proc, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The default handling of every message (painting, erasing, frame, hit testing, cursor, close,
// scroll bars, move by caption, text and font storage).
LRESULT DefWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Position (screen, packed) and time of the last message taken from the queue; the time is on the back
// end's input clock (TBackend::InputTime).
DWORD GetMessagePos();
LPARAM GetMessageTime();
bool InSendMessage();
// A message number unique to the name within the process (0xC000..0xFFFF).
UINT RegisterWindowMessage(const char* name);

// Records of a message as the class library's handlers take it: TMessage, and typed views of it that
// share its layout (take them with MessageAs<TWMMouse>(message)).
struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
  uint16_t WParamLo() const { return LOWORD(WParam); }
  uint16_t WParamHi() const { return HIWORD(WParam); }
  uint16_t LParamLo() const { return LOWORD(uintptr_t(LParam)); }
  uint16_t LParamHi() const { return HIWORD(uintptr_t(LParam)); }
};

// The typed records below overlay TMessage field for field (little-endian), so that a handler can
// read a message through the record of its kind.
template <class T>
T& MessageAs(TMessage& m) {
  static_assert(sizeof(T) == sizeof(TMessage), "message records share TMessage's layout");
  return *reinterpret_cast<T*>(&m);
}

#define ZV_MESSAGE_RESULT_TAIL LRESULT Result = 0

struct TWMNoParams {
  UINT Msg = 0;
  WPARAM Unused0 = 0;
  LPARAM Unused1 = 0;
  ZV_MESSAGE_RESULT_TAIL;
};
// Mouse messages: key flags MK_ and the position in client coordinates.
struct TWMMouse {
  UINT Msg = 0;
  WPARAM Keys = 0;
  int16_t XPos = 0;
  int16_t YPos = 0;
  int32_t Pad = 0;
  ZV_MESSAGE_RESULT_TAIL;
  TPoint Pos() const { return {XPos, YPos}; }
};
using TWMLButtonDown = TWMMouse;
using TWMLButtonUp = TWMMouse;
using TWMLButtonDblClk = TWMMouse;
using TWMRButtonDown = TWMMouse;
using TWMRButtonUp = TWMMouse;
using TWMMouseMove = TWMMouse;
using TWMNCHitMessage = TWMMouse;
// WM_MOUSEWHEEL: key flags, delta (multiples of WHEEL_DELTA), screen position.
struct TWMMouseWheel {
  UINT Msg = 0;
  uint32_t MsgFiller = 0;  // WParam starts at byte 8, as in TMessage
  uint16_t Keys = 0;
  int16_t WheelDelta = 0;
  int32_t Pad0 = 0;
  int16_t XPos = 0;
  int16_t YPos = 0;
  int32_t Pad1 = 0;
  ZV_MESSAGE_RESULT_TAIL;
};
// Keys: virtual-key code and the key data (repeat count, scan code, flags; bit 29 = Alt down).
struct TWMKey {
  UINT Msg = 0;
  uint32_t MsgFiller = 0;  // WParam starts at byte 8, as in TMessage
  uint16_t CharCode = 0;
  uint16_t Unused = 0;
  int32_t Pad0 = 0;
  int32_t KeyData = 0;
  int32_t Pad1 = 0;
  ZV_MESSAGE_RESULT_TAIL;
};
using TWMKeyDown = TWMKey;
using TWMKeyUp = TWMKey;
using TWMChar = TWMKey;
using TWMSysKeyDown = TWMKey;
struct TWMSize {
  UINT Msg = 0;
  WPARAM SizeType = 0;
  int16_t Width = 0;
  int16_t Height = 0;
  int32_t Pad = 0;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMMove {
  UINT Msg = 0;
  WPARAM Unused = 0;
  int16_t XPos = 0;
  int16_t YPos = 0;
  int32_t Pad = 0;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMPaint {
  UINT Msg = 0;
  HDC DC = nullptr;
  LPARAM Unused = 0;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMEraseBkgnd {
  UINT Msg = 0;
  HDC DC = nullptr;
  LPARAM Unused = 0;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMNCPaint {
  UINT Msg = 0;
  HRGN RGN = nullptr;  // 1 for the whole frame
  LPARAM Unused = 0;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMSetFocus {
  UINT Msg = 0;
  HWND FocusedWnd = nullptr;  // the window that lost the focus
  LPARAM Unused = 0;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMKillFocus {
  UINT Msg = 0;
  HWND FocusedWnd = nullptr;  // the window that receives the focus
  LPARAM Unused = 0;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMNCHitTest {
  UINT Msg = 0;
  WPARAM Unused = 0;
  int16_t XPos = 0;  // screen coordinates
  int16_t YPos = 0;
  int32_t Pad = 0;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMNCCalcSize {
  UINT Msg = 0;
  WPARAM CalcValidRects = 0;
  NCCALCSIZE_PARAMS* CalcSize_Params = nullptr;  // a TRect* when CalcValidRects is 0
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMScroll {
  UINT Msg = 0;
  uint32_t MsgFiller = 0;  // WParam starts at byte 8, as in TMessage
  int16_t ScrollCode = 0;
  int16_t Pos = 0;
  int32_t Pad = 0;
  HWND ScrollBar = nullptr;
  ZV_MESSAGE_RESULT_TAIL;
};
using TWMHScroll = TWMScroll;
using TWMVScroll = TWMScroll;
struct TWMSetCursor {
  UINT Msg = 0;
  HWND CursorWnd = nullptr;
  int16_t HitTest = 0;
  int16_t MouseMsg = 0;
  int32_t Pad = 0;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMCommand {
  UINT Msg = 0;
  uint32_t MsgFiller = 0;  // WParam starts at byte 8, as in TMessage
  uint16_t ItemID = 0;
  uint16_t NotifyCode = 0;
  int32_t Pad = 0;
  HWND Ctl = nullptr;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMTimer {
  UINT Msg = 0;
  WPARAM TimerID = 0;
  TIMERPROC TimerProc = nullptr;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMWindowPosMsg {
  UINT Msg = 0;
  WPARAM Unused = 0;
  WINDOWPOS* WindowPos = nullptr;
  ZV_MESSAGE_RESULT_TAIL;
};
using TWMWindowPosChanged = TWMWindowPosMsg;
using TWMWindowPosChanging = TWMWindowPosMsg;
struct TWMShowWindow {
  UINT Msg = 0;
  WPARAM Show = 0;
  LPARAM Status = 0;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMActivate {
  UINT Msg = 0;
  uint32_t MsgFiller = 0;  // WParam starts at byte 8, as in TMessage
  uint16_t Active = 0;
  uint16_t Minimized = 0;
  int32_t Pad = 0;
  HWND ActiveWindow = nullptr;
  ZV_MESSAGE_RESULT_TAIL;
};
using TWMGetDlgCode = TWMNoParams;
using TWMCut = TWMNoParams;
using TWMCopy = TWMNoParams;
using TWMPaste = TWMNoParams;
using TWMClose = TWMNoParams;
using TWMDestroy = TWMNoParams;
struct TWMSysCommand {
  UINT Msg = 0;
  WPARAM CmdType = 0;
  int16_t XPos = 0;
  int16_t YPos = 0;
  int32_t Pad = 0;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMDrawItem {
  UINT Msg = 0;
  WPARAM Ctl = 0;
  DRAWITEMSTRUCT* DrawItemStruct = nullptr;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMMeasureItem {
  UINT Msg = 0;
  WPARAM IDCtl = 0;
  MEASUREITEMSTRUCT* MeasureItemStruct = nullptr;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMDeleteItem {
  UINT Msg = 0;
  WPARAM Ctl = 0;
  DELETEITEMSTRUCT* DeleteItemStruct = nullptr;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMSetText {
  UINT Msg = 0;
  WPARAM Unused = 0;
  const char* Text = nullptr;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMSetFont {
  UINT Msg = 0;
  HFONT Font = nullptr;
  LPARAM Redraw = 0;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMMouseActivate {
  UINT Msg = 0;
  HWND TopLevel = nullptr;
  int16_t HitTestCode = 0;
  int16_t MouseMsg = 0;
  int32_t Pad = 0;
  ZV_MESSAGE_RESULT_TAIL;
};
struct TWMEnable {
  UINT Msg = 0;
  WPARAM Enabled = 0;
  LPARAM Unused = 0;
  ZV_MESSAGE_RESULT_TAIL;
};

// Each record's first parameter field must sit where TMessage keeps WParam, its second where LParam is.
static_assert(offsetof(TWMKey, CharCode) == offsetof(TMessage, WParam));
static_assert(offsetof(TWMKey, KeyData) == offsetof(TMessage, LParam));
static_assert(offsetof(TWMMouse, XPos) == offsetof(TMessage, LParam));
static_assert(offsetof(TWMMouseWheel, Keys) == offsetof(TMessage, WParam));
static_assert(offsetof(TWMMouseWheel, XPos) == offsetof(TMessage, LParam));
static_assert(offsetof(TWMScroll, ScrollCode) == offsetof(TMessage, WParam));
static_assert(offsetof(TWMScroll, ScrollBar) == offsetof(TMessage, LParam));
static_assert(offsetof(TWMCommand, ItemID) == offsetof(TMessage, WParam));
static_assert(offsetof(TWMCommand, Ctl) == offsetof(TMessage, LParam));
static_assert(offsetof(TWMActivate, Active) == offsetof(TMessage, WParam));
static_assert(offsetof(TWMActivate, ActiveWindow) == offsetof(TMessage, LParam));

using TCMEnter = TWMNoParams;
using TCMExit = TWMNoParams;
// CM_MOUSEENTER / CM_MOUSELEAVE: LParam is the control entered or left (the class library's object).
struct TCMMouseEnterLeave {
  UINT Msg = 0;
  WPARAM Unused = 0;
  void* Control = nullptr;
  ZV_MESSAGE_RESULT_TAIL;
};
// CM_DIALOGKEY / CM_DIALOGCHAR / CM_WANTSPECIALKEY / CN_KEYDOWN / CN_CHAR share the key record.
using TCMDialogKey = TWMKey;
using TCMDialogChar = TWMKey;
using TCMWantSpecialKey = TWMKey;
#undef ZV_MESSAGE_RESULT_TAIL

// ---------------------------------------------------------------------------------------------
// Timers (WM_TIMER is generated only while the main thread takes messages)
// ---------------------------------------------------------------------------------------------

// With wnd, id names the timer (an existing one is reset) and the result is id; without, a new id is
// returned. Elapse is clamped to at least 10 ms. 0 on failure.
uintptr_t SetTimer(HWND wnd, uintptr_t id, UINT elapseMs, TIMERPROC proc);
bool KillTimer(HWND wnd, uintptr_t id);

// ---------------------------------------------------------------------------------------------
// Mouse, keyboard, focus
// ---------------------------------------------------------------------------------------------

// Mouse messages go to the capture window wherever the pointer is; WM_CAPTURECHANGED to the loser.
// The window the pointer leaves gets WM_MOUSELEAVE (posted; no tracking request needed).
HWND SetCapture(HWND wnd);
bool ReleaseCapture();
HWND GetCapture();
// WM_KILLFOCUS to the old, WM_SETFOCUS to the new; activates the new window's top-level window.
// Returns the previous focus; nullptr (and no change) for a disabled or hidden window.
HWND SetFocus(HWND wnd);
HWND GetFocus();
HWND GetActiveWindow();
HWND SetActiveWindow(HWND wnd);
HWND GetForegroundWindow();
bool SetForegroundWindow(HWND wnd);

// Virtual keys.
constexpr int VK_LBUTTON = 0x01;
constexpr int VK_RBUTTON = 0x02;
constexpr int VK_CANCEL = 0x03;
constexpr int VK_MBUTTON = 0x04;
constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_CLEAR = 0x0C;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;
constexpr int VK_PAUSE = 0x13;
constexpr int VK_CAPITAL = 0x14;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_PRIOR = 0x21;
constexpr int VK_NEXT = 0x22;
constexpr int VK_END = 0x23;
constexpr int VK_HOME = 0x24;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_SNAPSHOT = 0x2C;
constexpr int VK_INSERT = 0x2D;
constexpr int VK_DELETE = 0x2E;
constexpr int VK_HELP = 0x2F;
// '0'..'9' and 'A'..'Z' are their ASCII codes.
constexpr int VK_LWIN = 0x5B;
constexpr int VK_RWIN = 0x5C;
constexpr int VK_APPS = 0x5D;
constexpr int VK_NUMPAD0 = 0x60;
constexpr int VK_NUMPAD9 = 0x69;
constexpr int VK_MULTIPLY = 0x6A;
constexpr int VK_ADD = 0x6B;
constexpr int VK_SEPARATOR = 0x6C;
constexpr int VK_SUBTRACT = 0x6D;
constexpr int VK_DECIMAL = 0x6E;
constexpr int VK_DIVIDE = 0x6F;
constexpr int VK_F1 = 0x70;
constexpr int VK_F2 = 0x71;
constexpr int VK_F3 = 0x72;
constexpr int VK_F4 = 0x73;
constexpr int VK_F5 = 0x74;
constexpr int VK_F6 = 0x75;
constexpr int VK_F7 = 0x76;
constexpr int VK_F8 = 0x77;
constexpr int VK_F9 = 0x78;
constexpr int VK_F10 = 0x79;
constexpr int VK_F11 = 0x7A;
constexpr int VK_F12 = 0x7B;
constexpr int VK_NUMLOCK = 0x90;
constexpr int VK_SCROLL = 0x91;
constexpr int VK_LSHIFT = 0xA0;
constexpr int VK_RSHIFT = 0xA1;
constexpr int VK_LCONTROL = 0xA2;
constexpr int VK_RCONTROL = 0xA3;
constexpr int VK_LMENU = 0xA4;
constexpr int VK_RMENU = 0xA5;

// High bit (the result is negative) when down; bit 0 toggled state. As of the message being handled
// (the state the input had when the last message was taken from the queue).
int16_t GetKeyState(int vk);
// The state now; bit 0 set when pressed since the last call.
int16_t GetAsyncKeyState(int vk);
bool GetKeyboardState(uint8_t* keyState256);

// Screen coordinates.
bool GetCursorPos(POINT* pt);
bool SetCursorPos(int x, int y);
bool ScreenToClient(HWND wnd, POINT* pt);
bool ClientToScreen(HWND wnd, POINT* pt);
// Maps points from one window's client coordinates to another's (nullptr: screen); returns the
// packed offset.
int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count);
// The deepest visible, enabled-or-not window under the screen point whose WM_NCHITTEST is not
// HTTRANSPARENT.
HWND WindowFromPoint(POINT pt);
// The direct child (or parent itself) containing the client point; nullptr outside.
HWND ChildWindowFromPoint(HWND parent, POINT pt);

// Sets the window's pointer cursor; returns the previous one.
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
// Standard cursor ids (LoadCursor(nullptr, IDC_...)); other ids load application cursors registered
// with RegisterCursorResource (unknown ones give nullptr).
inline const char* const IDC_ARROW = MAKEINTRESOURCE(32512);
inline const char* const IDC_IBEAM = MAKEINTRESOURCE(32513);
inline const char* const IDC_WAIT = MAKEINTRESOURCE(32514);
inline const char* const IDC_CROSS = MAKEINTRESOURCE(32515);
inline const char* const IDC_UPARROW = MAKEINTRESOURCE(32516);
inline const char* const IDC_SIZENWSE = MAKEINTRESOURCE(32642);
inline const char* const IDC_SIZENESW = MAKEINTRESOURCE(32643);
inline const char* const IDC_SIZEWE = MAKEINTRESOURCE(32644);
inline const char* const IDC_SIZENS = MAKEINTRESOURCE(32645);
inline const char* const IDC_SIZEALL = MAKEINTRESOURCE(32646);
inline const char* const IDC_NO = MAKEINTRESOURCE(32648);
inline const char* const IDC_HAND = MAKEINTRESOURCE(32649);
inline const char* const IDC_APPSTARTING = MAKEINTRESOURCE(32650);
inline const char* const IDC_HELP = MAKEINTRESOURCE(32651);
HCURSOR LoadCursor(HINSTANCE instance, const char* name);
// An application cursor from a 32-bit image (B,G,R,A rows top-down, straight alpha) with its hot spot.
HCURSOR CreateCursorFromPixels(int width, int height, const uint32_t* bgra, int hotX, int hotY);
// Makes LoadCursor(any instance, MAKEINTRESOURCE(id) or name) return the cursor.
void RegisterCursorResource(const char* name, HCURSOR cursor);
bool DestroyCursor(HCURSOR cursor);
// The standard cursor id (32512...) of a cursor, or 0 for an application cursor.
int CursorStandardId(HCURSOR cursor);
int ShowCursor(bool show);

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONSTOP = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_APPLMODAL = 0x00000000;
constexpr UINT MB_SYSTEMMODAL = 0x00001000;
constexpr UINT MB_TASKMODAL = 0x00002000;
constexpr UINT MB_TOPMOST = 0x00040000;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
// A modal message box through the back end; returns the button's ID (IDOK...). Windows of this
// program stay disabled while it is up.
int MessageBox(HWND owner, const char* text, const char* caption, UINT type);
// A sound through the back end (headless: counted, see backend.h).
bool MessageBeep(UINT type);

// ---------------------------------------------------------------------------------------------
// Painting
// ---------------------------------------------------------------------------------------------

// rect in client coordinates (nullptr: all of the client area). Without WS_CLIPCHILDREN the children
// under the rectangle are invalidated too, since the parent's painting covers them.
bool InvalidateRect(HWND wnd, const TRect* rect, bool erase);
bool InvalidateRgn(HWND wnd, HRGN rgn, bool erase);
bool ValidateRect(HWND wnd, const TRect* rect);
bool ValidateRgn(HWND wnd, HRGN rgn);
// The bounding box of the update region (client coordinates); false when there is none. With erase,
// the background is erased now.
bool GetUpdateRect(HWND wnd, TRect* rect, bool erase);
int GetUpdateRgn(HWND wnd, HRGN rgn, bool erase);
constexpr UINT RDW_INVALIDATE = 0x0001;
constexpr UINT RDW_INTERNALPAINT = 0x0002;
constexpr UINT RDW_ERASE = 0x0004;
constexpr UINT RDW_VALIDATE = 0x0008;
constexpr UINT RDW_NOINTERNALPAINT = 0x0010;
constexpr UINT RDW_NOERASE = 0x0020;
constexpr UINT RDW_NOCHILDREN = 0x0040;
constexpr UINT RDW_ALLCHILDREN = 0x0080;
constexpr UINT RDW_UPDATENOW = 0x0100;
constexpr UINT RDW_ERASENOW = 0x0200;
constexpr UINT RDW_FRAME = 0x0400;
constexpr UINT RDW_NOFRAME = 0x0800;
bool RedrawWindow(HWND wnd, const TRect* update, HRGN updateRgn, UINT flags);
// Sends WM_NCPAINT / WM_PAINT now to the window (and, through their own update regions, its children)
// when it has something to paint.
bool UpdateWindow(HWND wnd);
// The DC's clip is the update region (∩ the visible part of the client area); the update region is
// validated. Sends WM_ERASEBKGND when an erase is pending.
HDC BeginPaint(HWND wnd, PAINTSTRUCT* ps);
bool EndPaint(HWND wnd, const PAINTSTRUCT* ps);
// The DC of the whole window (frame included), clipped to the window's visible part.
HDC GetWindowDC(HWND wnd);
// GetDC / ReleaseDC are declared in platform/gdi.h: a client-area DC clipped to the visible part.
constexpr UINT DCX_WINDOW = 0x00000001;
constexpr UINT DCX_CACHE = 0x00000002;
constexpr UINT DCX_CLIPCHILDREN = 0x00000008;
constexpr UINT DCX_CLIPSIBLINGS = 0x00000010;
constexpr UINT DCX_PARENTCLIP = 0x00000020;
constexpr UINT DCX_EXCLUDERGN = 0x00000040;
constexpr UINT DCX_INTERSECTRGN = 0x00000080;
HDC GetDCEx(HWND wnd, HRGN clip, UINT flags);

constexpr UINT SW_SCROLLCHILDREN = 0x0001;
constexpr UINT SW_INVALIDATE = 0x0002;
constexpr UINT SW_ERASE = 0x0004;
// Moves the client area's pixels (within clip, default the client area) by dx, dy and invalidates what
// was uncovered; SW_SCROLLCHILDREN moves the children too.
int ScrollWindowEx(HWND wnd, int dx, int dy, const TRect* scroll, const TRect* clip, HRGN update,
                   TRect* updateRect, UINT flags);
bool ScrollWindow(HWND wnd, int dx, int dy, const TRect* scroll, const TRect* clip);

// ---------------------------------------------------------------------------------------------
// Scroll bars (standard ones, in the window's frame when WS_HSCROLL / WS_VSCROLL is on)
// ---------------------------------------------------------------------------------------------

constexpr UINT SIF_RANGE = 0x0001;
constexpr UINT SIF_PAGE = 0x0002;
constexpr UINT SIF_POS = 0x0004;
constexpr UINT SIF_DISABLENOSCROLL = 0x0008;
constexpr UINT SIF_TRACKPOS = 0x0010;
constexpr UINT SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
struct SCROLLINFO {
  UINT cbSize = sizeof(SCROLLINFO);
  UINT fMask = 0;
  int nMin = 0;
  int nMax = 0;
  UINT nPage = 0;
  int nPos = 0;
  int nTrackPos = 0;
};
using TScrollInfo = SCROLLINFO;
constexpr UINT ESB_ENABLE_BOTH = 0x0000;
constexpr UINT ESB_DISABLE_BOTH = 0x0003;
constexpr UINT ESB_DISABLE_LEFT = 0x0001;
constexpr UINT ESB_DISABLE_RIGHT = 0x0002;
constexpr UINT ESB_DISABLE_UP = 0x0001;
constexpr UINT ESB_DISABLE_DOWN = 0x0002;
// Returns the new position (clamped to nMin .. nMax - max(nPage - 1, 0)).
int SetScrollInfo(HWND wnd, int bar, const SCROLLINFO* info, bool redraw);
bool GetScrollInfo(HWND wnd, int bar, SCROLLINFO* info);
int SetScrollPos(HWND wnd, int bar, int pos, bool redraw);
int GetScrollPos(HWND wnd, int bar);
bool SetScrollRange(HWND wnd, int bar, int minPos, int maxPos, bool redraw);
bool GetScrollRange(HWND wnd, int bar, int* minPos, int* maxPos);
// Adds or removes WS_HSCROLL / WS_VSCROLL and recomputes the frame.
bool ShowScrollBar(HWND wnd, int bar, bool show);
bool EnableScrollBar(HWND wnd, UINT bar, UINT arrows);
// The common controls' flat scroll bars: here the same bars as the standard ones.
bool InitializeFlatSB(HWND wnd);
void UninitializeFlatSB(HWND wnd);
int FlatSB_SetScrollInfo(HWND wnd, int bar, const SCROLLINFO* info, bool redraw);
bool FlatSB_GetScrollInfo(HWND wnd, int bar, SCROLLINFO* info);
int FlatSB_SetScrollPos(HWND wnd, int bar, int pos, bool redraw);
int FlatSB_GetScrollPos(HWND wnd, int bar);
bool FlatSB_ShowScrollBar(HWND wnd, int bar, bool show);
bool FlatSB_EnableScrollBar(HWND wnd, int bar, UINT arrows);
bool FlatSB_SetScrollProp(HWND wnd, UINT index, intptr_t value, bool redraw);

// ---------------------------------------------------------------------------------------------
// Caret (one per program, drawn inverted over its window, blinking while messages are pumped)
// ---------------------------------------------------------------------------------------------

// bitmap nullptr: a solid caret; (HBITMAP)1: a grey one. Created hidden.
bool CreateCaret(HWND wnd, HBITMAP bitmap, int width, int height);
bool DestroyCaret();
bool SetCaretPos(int x, int y);
bool GetCaretPos(POINT* pt);
// Show / hide nest: the caret shows when ShowCaret has been called as often as HideCaret plus once.
bool ShowCaret(HWND wnd);
bool HideCaret(HWND wnd);
UINT GetCaretBlinkTime();
bool SetCaretBlinkTime(UINT ms);

// ---------------------------------------------------------------------------------------------
// Clipboard (the process's own; the gtk back end also exchanges text with the desktop)
// ---------------------------------------------------------------------------------------------

constexpr UINT CF_TEXT = 1;
constexpr UINT CF_BITMAP = 2;
constexpr UINT CF_DIB = 8;
constexpr UINT CF_UNICODETEXT = 13;
constexpr UINT CF_LOCALE = 16;
bool OpenClipboard(HWND owner);
bool CloseClipboard();
bool EmptyClipboard();
// data is a GlobalAlloc block the clipboard now owns (CF_TEXT: NUL-terminated text, UTF-8 here;
// CF_UNICODETEXT: NUL-terminated UTF-16). Requires the clipboard open. Returns data, nullptr on failure.
HANDLE SetClipboardData(UINT format, HANDLE data);
// The block for the format (owned by the clipboard); CF_TEXT and CF_UNICODETEXT convert into each
// other. Requires the clipboard open.
HANDLE GetClipboardData(UINT format);
bool IsClipboardFormatAvailable(UINT format);
int CountClipboardFormats();
// A format number for the name (0xC000..0xFFFF), the same for the same name (case-insensitive).
UINT RegisterClipboardFormat(const char* name);
// Conveniences for text.
void SetClipboardText(const std::string& utf8);
std::string GetClipboardText();

// ---------------------------------------------------------------------------------------------
// System metrics and parameters (fixed classic values)
// ---------------------------------------------------------------------------------------------

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXDLGFRAME = 7;
constexpr int SM_CXFIXEDFRAME = 7;
constexpr int SM_CYDLGFRAME = 8;
constexpr int SM_CYFIXEDFRAME = 8;
constexpr int SM_CYVTHUMB = 9;
constexpr int SM_CXHTHUMB = 10;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SM_CXCURSOR = 13;
constexpr int SM_CYCURSOR = 14;
constexpr int SM_CYMENU = 15;
constexpr int SM_CXFULLSCREEN = 16;
constexpr int SM_CYFULLSCREEN = 17;
constexpr int SM_CYVSCROLL = 20;
constexpr int SM_CXHSCROLL = 21;
constexpr int SM_SWAPBUTTON = 23;
constexpr int SM_CXMIN = 28;
constexpr int SM_CYMIN = 29;
constexpr int SM_CXSIZE = 30;
constexpr int SM_CYSIZE = 31;
constexpr int SM_CXFRAME = 32;
constexpr int SM_CXSIZEFRAME = 32;
constexpr int SM_CYFRAME = 33;
constexpr int SM_CYSIZEFRAME = 33;
constexpr int SM_CXDOUBLECLK = 36;
constexpr int SM_CYDOUBLECLK = 37;
constexpr int SM_CXEDGE = 45;
constexpr int SM_CYEDGE = 46;
constexpr int SM_CXSMICON = 49;
constexpr int SM_CYSMICON = 50;
constexpr int SM_CYSMCAPTION = 51;
constexpr int SM_CXDRAG = 68;
constexpr int SM_CYDRAG = 69;
constexpr int SM_CXMAXIMIZED = 61;
constexpr int SM_CYMAXIMIZED = 62;
constexpr int SM_MOUSEWHEELPRESENT = 75;
constexpr int SM_CXVIRTUALSCREEN = 78;
constexpr int SM_CYVIRTUALSCREEN = 79;
constexpr int SM_CMONITORS = 80;
constexpr int SM_REMOTESESSION = 0x1000;
int GetSystemMetrics(int index);
// Milliseconds between the clicks of a double click.
UINT GetDoubleClickTime();
bool SetDoubleClickTime(UINT ms);

constexpr UINT SPI_GETWORKAREA = 0x0030;
constexpr UINT SPI_GETWHEELSCROLLLINES = 0x0068;
constexpr UINT SPI_GETWHEELSCROLLCHARS = 0x006C;
constexpr UINT SPI_GETFONTSMOOTHING = 0x004A;
constexpr UINT SPI_GETDRAGFULLWINDOWS = 0x0026;
constexpr UINT SPI_GETKEYBOARDDELAY = 0x0016;
constexpr UINT SPI_GETKEYBOARDSPEED = 0x000A;
// SPI_GETWORKAREA fills a TRect; the others fill a UINT (or bool). False for anything else.
bool SystemParametersInfo(UINT action, UINT param, void* value, UINT winIni);

// ---------------------------------------------------------------------------------------------
// Opening documents (shell32)
// ---------------------------------------------------------------------------------------------

constexpr ULONG SEE_MASK_NOCLOSEPROCESS = 0x00000040;
constexpr ULONG SEE_MASK_FLAG_DDEWAIT = 0x00000100;
constexpr ULONG SEE_MASK_FLAG_NO_UI = 0x00000400;
struct SHELLEXECUTEINFO {
  DWORD cbSize = sizeof(SHELLEXECUTEINFO);
  ULONG fMask = 0;
  HWND hwnd = nullptr;
  const char* lpVerb = nullptr;
  const char* lpFile = nullptr;
  const char* lpParameters = nullptr;
  const char* lpDirectory = nullptr;
  int nShow = 0;
  HINSTANCE hInstApp = nullptr;
  HANDLE hProcess = nullptr;
};
using SHELLEXECUTEINFOA = SHELLEXECUTEINFO;
// Opens a web page or file with the desktop's default program (verb "open" or none); hInstApp is set
// to a value above 32 on success. No process handle is returned.
bool ShellExecuteEx(SHELLEXECUTEINFO* info);
bool ShellExecuteExA(SHELLEXECUTEINFO* info);
HINSTANCE ShellExecute(HWND wnd, const char* verb, const char* file, const char* parameters,
                       const char* directory, int showCmd);

}  // namespace zv
