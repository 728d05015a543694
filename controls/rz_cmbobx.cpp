// The framed combo box: keystroke search, edit-field completion, read-only mode, state colours,
// the overlay frame and flat button, and the item values of TRzComboBox.
#include "controls/rz_cmbobx.h"

#include <algorithm>

#include "controls/rz_frames.h"
#include "controls/rz_glyphs.h"
#include "platform/std_controls.h"
#include "platform/windows.h"

namespace zv {

TRzCustomComboBox::TRzCustomComboBox(TComponent* AOwner) : TCustomComboBox(AOwner) {
  FControlStyle.Exclude(csSetCaption);
  TCustomComboBox::SetAutoComplete(false);
  FSearchTimer = std::make_unique<TTimer>(nullptr);
  FSearchTimer->SetEnabled(false);
  FSearchTimer->OnTimer = [this](TObject* Sender) { SearchTimerTick(Sender); };
  FSearchTimer->SetInterval(1500);
  FOverlayCanvas = std::make_unique<TControlCanvas>();
  FOverlayCanvas->SetControl(this);
  FBaseColor = Color();
}

TRzCustomComboBox::~TRzCustomComboBox() {
  if (FFrameController) FFrameController->DetachControl(this);
  FSearchTimer.reset();
  FOverlayCanvas.reset();
}

// --- properties ---

void TRzCustomComboBox::SetFlatButtons(bool Value) {
  if (FFlatButtons == Value) return;
  FFlatButtons = Value;
  Invalidate();
}

void TRzCustomComboBox::SetFlatButtonColor(TColor Value) {
  if (FFlatButtonColor == Value) return;
  FFlatButtonColor = Value;
  Invalidate();
}

void TRzCustomComboBox::SetDisabledColor(TColor Value) {
  FDisabledColor = Value;
  if (!Enabled()) ApplyStateColor();
}

void TRzCustomComboBox::SetFocusColor(TColor Value) {
  FFocusColor = Value;
  if (FFocused) ApplyStateColor();
}

void TRzCustomComboBox::SetReadOnlyColor(TColor Value) {
  FReadOnlyColor = Value;
  if (FReadOnly) ApplyStateColor();
}

void TRzCustomComboBox::SetReadOnlyColorOnFocus(bool Value) {
  if (FReadOnlyColorOnFocus == Value) return;
  FReadOnlyColorOnFocus = Value;
  ApplyStateColor();
}

void TRzCustomComboBox::SetFrameColor(TColor Value) {
  if (FFrameColor == Value) return;
  FFrameColor = Value;
  Invalidate();
}

void TRzCustomComboBox::SetFrameController(TRzFrameController* Value) {
  if (FFrameController == Value) return;
  ChangeFrameController(this, FFrameController, Value);
  Invalidate();
}

void TRzCustomComboBox::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomComboBox::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FFrameController) FFrameController = nullptr;
}

void TRzCustomComboBox::SetFrameHotColor(TColor Value) {
  if (FFrameHotColor == Value) return;
  FFrameHotColor = Value;
  Invalidate();
}

void TRzCustomComboBox::SetFrameHotTrack(bool Value) {
  if (FFrameHotTrack == Value) return;
  FFrameHotTrack = Value;
  if (Value) {
    SetFrameVisible(true);
    if (!ComponentState().Contains(csLoading)) FFrameSides = sdAllSides;
  }
  Invalidate();
}

void TRzCustomComboBox::SetFrameHotStyle(TFrameStyle Value) {
  if (FFrameHotStyle == Value) return;
  FFrameHotStyle = Value;
  Invalidate();
}

void TRzCustomComboBox::SetFrameSides(TSides Value) {
  if (FFrameSides == Value) return;
  FFrameSides = Value;
  Invalidate();
}

void TRzCustomComboBox::SetFrameStyle(TFrameStyle Value) {
  if (FFrameStyle == Value) return;
  FFrameStyle = Value;
  Invalidate();
}

void TRzCustomComboBox::SetFrameVisible(bool Value) {
  if (FFrameVisible == Value) return;
  FFrameVisible = Value;
  // A framed combo box has a flat border.
  SetParentCtl3D(!Value);
  SetCtl3D(!Value);
  Invalidate();
}

void TRzCustomComboBox::SetFramingPreference(TFramingPreference Value) {
  if (FFramingPreference == Value) return;
  FFramingPreference = Value;
  Invalidate();
}

void TRzCustomComboBox::SetDropDownWidth(int32_t Value) {
  if (FDropDownWidth == Value) return;
  FDropDownWidth = Value;
  Perform(CB_SETDROPPEDWIDTH, WPARAM(Value), 0);
}

void TRzCustomComboBox::SetReadOnly(bool Value) {
  if (FReadOnly == Value) return;
  FReadOnly = Value;
  if (!IsListStyle() && HandleAllocated() && EditHandle()) SendMessage(EditHandle(), EM_SETREADONLY, Value ? 1 : 0, 0);
  ApplyStateColor();
  Invalidate();
}

void TRzCustomComboBox::CreateWnd() {
  TCustomComboBox::CreateWnd();
  if (FSavedDropDownWidth != 0) Perform(CB_SETDROPPEDWIDTH, WPARAM(FSavedDropDownWidth), 0);
  else if (FDropDownWidth != 0) Perform(CB_SETDROPPEDWIDTH, WPARAM(FDropDownWidth), 0);
  if (FReadOnly && EditHandle()) SendMessage(EditHandle(), EM_SETREADONLY, 1, 0);
}

void TRzCustomComboBox::DestroyWnd() {
  FSavedDropDownWidth = FDropDownWidth;
  TCustomComboBox::DestroyWnd();
}

void TRzCustomComboBox::Loaded() {
  TCustomComboBox::Loaded();
  ApplyStateColor();
  ChangeHotState(false, false);
}

// --- state colour and hot state ---

void TRzCustomComboBox::ApplyStateColor() {
  if (ComponentState().Contains(csLoading)) return;
  FUpdatingColors = true;
  try {
    if (!Enabled())
      SetColor(FDisabledColor);
    else if (FFocused)
      SetColor(FReadOnly && FReadOnlyColorOnFocus ? FReadOnlyColor : FFocusColor);
    else
      SetColor(FReadOnly ? FReadOnlyColor : FBaseColor);
  } catch (...) {
    FUpdatingColors = false;
    throw;
  }
  FUpdatingColors = false;
}

void TRzCustomComboBox::ChangeHotState(bool Mouse, bool Value) {
  if (Mouse)
    FMouseOver = Value;
  else
    FFocused = Value;
  if ((FFlatButtons || FFrameHotTrack) && !DroppedDown() && HandleAllocated()) {
    TRect R = ClientRect();
    if (!FFrameHotTrack) R.Left = R.Right - GetSystemMetrics(SM_CXVSCROLL) - 2;
    RedrawWindow(Handle(), &R, nullptr, RDW_NOERASE | RDW_INVALIDATE);
  }
  ApplyStateColor();
}

void TRzCustomComboBox::UpdateBaseColor() {
  if (FFocusColor == FBaseColor) FFocusColor = Color();
  FBaseColor = Color();
}

bool TRzCustomComboBox::Focused() { return FHasFocus || TCustomComboBox::Focused(); }

// --- search and completion ---

int32_t TRzCustomComboBox::FindItemPrefix(const std::string& S) {
  return int32_t(Perform(CB_FINDSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(S.c_str())));
}

void TRzCustomComboBox::InvalidKeyPressed() {
  if (FBeepOnInvalidKey) MessageBeep(0);
}

void TRzCustomComboBox::SelectBySearch(const std::string& S) {
  int32_t I = FindItemPrefix(S);
  if (I < 0) {
    InvalidKeyPressed();
    return;
  }
  SetItemIndex(I);
  FSearchText = S;
  Click();
  Change();
}

void TRzCustomComboBox::SearchTimerTick(TObject*) {
  if (FTyping) return;
  FSearchTimer->SetEnabled(false);
  FSearchText.clear();
}

void TRzCustomComboBox::SetTextWithoutCompletion(const std::string& Value) {
  if (Text() == Value) return;
  FSuppressCompletion = true;
  SetText(Value);
  FSuppressCompletion = false;
}

bool TRzCustomComboBox::CompleteFromItems(const std::string& S) {
  int32_t Old = ItemIndex();
  int32_t I = FindItemPrefix(S);
  if (I < 0) return false;
  std::string Item = Items()->Get(I);
  if (FKeepSearchCase) {
    SetTextWithoutCompletion(S + Item.substr(std::min(S.size(), Item.size())));
  } else {
    SetItemIndex(-1);
    SetItemIndex(I);
  }
  Click();
  Change();
  SetSelStart(int32_t(S.size()));
  SetSelLength(int32_t(Item.size()) - SelStart());
  if (ItemIndex() != Old) Match();
  return true;
}

bool TRzCustomComboBox::EditChar(TMessage& Message) {
  uint32_t Code = uint32_t(Message.WParam);
  if (Code == VK_BACK) {
    std::string S = FSearchText;
    if (S.empty()) {
      InvalidKeyPressed();
      return false;
    }
    int32_t Start = SelStart();
    if (Start >= int32_t(S.size())) {
      S.pop_back();
    } else if (SelLength() > 0 && FAllowEdit) {
      S.erase(size_t(Start), size_t(SelLength()));
      Perform(CB_SETCURSEL, WPARAM(-1), 0);
      Perform(CB_SETEDITSEL, 0, MAKELPARAM(Start, Start));
    } else if (FAllowEdit && Start > 0) {
      S.erase(size_t(Start - 1), 1);
    }
    Change();
    if (S.empty()) {
      SetItemIndex(-1);
      if (FKeepSearchCase) SetTextWithoutCompletion("");
      FSearchText.clear();
      Click();
      Change();
    }
    FSearchText = S;
    return !S.empty() && CompleteFromItems(S);
  }
  if (Code == VK_RETURN) {
    if (DroppedDown()) SelEndOk();
    FEnterPressed = true;
    return false;
  }
  if (Code == 22 || Code == 24) {
    if (!FAllowEdit) Message.WParam = 0;
    return false;
  }
  if (Code == VK_ESCAPE) {
    bool WasClosed = !DroppedDown();
    if (WasClosed) SetItemIndex(-1);
    FSearchText.clear();
    Click();
    Change();
    return WasClosed;
  }
  if (Code < 32 || Code > 255) return false;
  int32_t Start = SelStart();
  int32_t Length = SelLength();
  std::string S = FSearchText;
  if (size_t(Start) <= S.size()) S.erase(size_t(Start), size_t(Length));
  std::string Saved = S;
  S.insert(std::min(size_t(Start), S.size()), 1, char(Code));
  FSearchText = S;
  if (CompleteFromItems(S)) return true;
  if (FAllowEdit) {
    SetTextWithoutCompletion(Saved);
    SetSelStart(Start);
    SetSelLength(0);
    return false;
  }
  InvalidKeyPressed();
  FSearchText = Saved;
  Message.WParam = 0;
  return true;
}

void TRzCustomComboBox::EditWndProc(TMessage& Message) {
  if (!FAutoComplete) {
    TCustomComboBox::EditWndProc(Message);
    return;
  }
  switch (Message.Msg) {
    case WM_KEYDOWN: {
      FSystemKey = false;
      uint16_t Key = uint16_t(Message.WParam);
      if (Key == VK_PRIOR || Key == VK_NEXT || Key == VK_UP || Key == VK_DOWN) {
        FSuppressCompletion = true;
        FSearchText.clear();
        if (FReadOnly) return;
      } else if (Key == VK_END || Key == VK_HOME || Key == VK_LEFT || Key == VK_RIGHT) {
        FSearchText = Text();
      } else if (Key == VK_DELETE) {
        FSearchText = Text();
        int32_t Start = SelStart();
        if (size_t(Start) < FSearchText.size())
          FSearchText.erase(size_t(Start), size_t(std::max<int32_t>(SelLength(), 1)));
        if (!FAllowEdit && SelLength() != int32_t(Text().size())) return;
      } else if (Key == VK_F4 && FReadOnly) {
        return;
      }
      break;
    }
    case WM_SYSKEYDOWN:
      FSystemKey = true;
      if (FReadOnly && Message.WParam != VK_F4) return;
      break;
    case WM_CHAR: {
      if (FSystemKey) {
        FSystemKey = false;
        break;
      }
      if (FReadOnly) {
        if (Message.WParam == 3) break;
        return;
      }
      uint32_t Code = uint32_t(Message.WParam);
      if (Code >= 32 && Code <= 255) {
        // The key-press handling runs first and may change or swallow the character.
        if (Perform(CN_CHAR, Message.WParam, Message.LParam) != 0) return;
        if (DoKeyPress(Message)) return;
        Code = uint32_t(Message.WParam);
        if (Code >= 32 && Code <= 255) {
          if (EditChar(Message)) return;
          if (Message.WParam == 0) return;
        }
        Message.Result = CallDefaultEditProc(Message);
        return;
      }
      if (EditChar(Message)) return;
      if (Message.WParam == 0) return;
      break;
    }
    case WM_LBUTTONDOWN:
      if (Style() == csDropDown) FSearchText = Text();
      break;
    default:
      break;
  }
  TCustomComboBox::EditWndProc(Message);
}

// --- keys and wheel ---

void TRzCustomComboBox::KeyPress(char& Key) {
  if (FTabOnEnter && Key == char(VK_RETURN) && !DroppedDown()) {
    Key = 0;
    PostMessage(Handle(), WM_KEYDOWN, VK_TAB, 0);
    return;
  }
  if (Style() == csDropDown && MaxLength() > 0 && static_cast<unsigned char>(Key) >= 32 &&
      int32_t(Text().size()) >= MaxLength() && SelLength() == 0) {
    Key = 0;
    MessageBeep(0);
    return;
  }
  TCustomComboBox::KeyPress(Key);
}

bool TRzCustomComboBox::DoMouseWheelDown(TShiftState Shift, TPoint MousePos) {
  TCustomComboBox::DoMouseWheelDown(Shift, MousePos);
  if (FReadOnly) return true;
  if (DroppedDown()) {
    int32_t Top = int32_t(Perform(CB_GETTOPINDEX, 0, 0));
    Perform(CB_SETTOPINDEX, WPARAM(Top + Mouse->WheelScrollLines()), 0);
  } else if (ItemIndex() < GetItemCount() - 1) {
    SetItemIndex(ItemIndex() + 1);
    Click();
    Change();
  }
  return true;
}

bool TRzCustomComboBox::DoMouseWheelUp(TShiftState Shift, TPoint MousePos) {
  TCustomComboBox::DoMouseWheelUp(Shift, MousePos);
  if (FReadOnly) return true;
  if (DroppedDown()) {
    int32_t Top = int32_t(Perform(CB_GETTOPINDEX, 0, 0));
    Perform(CB_SETTOPINDEX, WPARAM(std::max(0, Top - Mouse->WheelScrollLines())), 0);
  } else if (ItemIndex() < 1) {
    SetItemIndex(0);
  } else {
    SetItemIndex(ItemIndex() - 1);
    Click();
    Change();
  }
  return true;
}

// --- events ---

void TRzCustomComboBox::ItemDeleted(void* Item) {
  if (OnDeleteItem) OnDeleteItem(this, Item);
}
void TRzCustomComboBox::Match() {
  if (OnMatch) OnMatch(this);
}
void TRzCustomComboBox::NotInList() {
  if (OnNotInList) OnNotInList(this);
}
void TRzCustomComboBox::SelEndCancel() {
  if (OnSelEndCancel) OnSelEndCancel(this);
}
void TRzCustomComboBox::SelEndOk() {
  if (OnSelEndOk) OnSelEndOk(this);
}
void TRzCustomComboBox::CloseUp() {
  TCustomComboBox::CloseUp();
  Invalidate();
}

// --- painting ---

void TRzCustomComboBox::PaintOverlay() {
  TCanvas* C = FOverlayCanvas.get();
  int B = 2;  // no desktop themes here
  int CX = GetSystemMetrics(SM_CXVSCROLL);
  TRect Client = ClientRect();
  TRect Btn = Rect(Width() - CX - B, B, Width() - B, Height() - B);
  if (FFrameVisible && !UsesThemedFrame()) PaintBevelRings(C, Client, Color(), Color(), 2, sdAllSides);
  if (FReadOnly) {
    C->Brush()->SetColor(Color());
    C->Brush()->SetStyle(bsSolid);
    C->FillRect(Btn);
  } else if (FFlatButtons) {
    if (!IsHot()) {
      C->Brush()->SetColor(Color());
      C->Brush()->SetStyle(bsSolid);
      C->FillRect(Btn);
      PaintDropDownArrow(C, Btn, false, false, Enabled());
    } else {
      bool Down = DroppedDown();
      TRect Inner;
      if (FFlatButtonColor == clBtnFace)
        Inner = PaintBevelRings(C, Btn, Down ? clBtnShadow : clBtnHighlight, Down ? clBtnHighlight : clBtnShadow, 1,
                                sdAllSides);
      else
        Inner = PaintColorFrameStyle(C, Btn, FFlatButtonColor, Down ? fsStatus : fsPopup);
      C->Brush()->SetColor(FFlatButtonColor);
      C->Brush()->SetStyle(bsSolid);
      C->FillRect(Inner);
      PaintDropDownArrow(C, Inner, false, Down, Enabled());
    }
  }
  if (FFrameVisible && !UsesThemedFrame()) {
    bool Hot = FFrameHotTrack && IsHot();
    TFrameStyle Style = Hot ? FFrameHotStyle : FFrameStyle;
    TColor Col = Hot ? FFrameHotColor : FFrameColor;
    if (Style == fsFlat)
      PaintRectSides(C, Client, Col, Col, FFrameSides);
    else if (Style == fsFlatBold)
      PaintBevelRings(C, Client, Col, Col, 2, FFrameSides);
    else if (Color() == clWindow)
      PaintFrameStyleSides(C, Client, Style, FFrameSides);
    else
      PaintColorFrameStyleSides(C, Client, Color(), Style, FFrameSides);
  }
  FOverlayCanvas->FreeHandle();
}

void TRzCustomComboBox::DrawOwnerItem(TMessage& Message) {
  auto* D = reinterpret_cast<DRAWITEMSTRUCT*>(Message.LParam);
  TOwnerDrawState State = TOwnerDrawState::FromBits(D->itemState & 0xFFFF);
  if (D->itemState & ODS_COMBOBOXEDIT) State.Include(odComboBoxEdit);
  if (D->itemState & ODS_DEFAULT) State.Include(odDefault);
  TCanvas* C = Canvas();
  C->SetHandle(D->hDC);
  C->Font()->Assign(Font());
  C->Brush()->Assign(Brush());
  int Index = int(D->itemID);
  TRect R = D->rcItem;
  if (Index >= 0) {
    if (State.Contains(odSelected)) {
      C->Brush()->SetColor(clHighlight);
      C->Font()->SetColor(clHighlightText);
    }
    DrawItem(Index, R, State);
    if (State.Contains(odSelected)) PaintFocusOutline(C, R);
  } else if (State.Contains(odSelected)) {
    PaintFocusOutline(C, R);
  } else {
    C->FillRect(R);
  }
  C->SetHandle(nullptr);
  Message.Result = 1;
}

// --- messages ---

void TRzCustomComboBox::DefaultHandler(TMessage& Message) {
  if (IsListStyle() && HandleAllocated()) {
    if (Message.Msg == WM_KEYDOWN || Message.Msg == WM_SYSKEYDOWN) {
      if (Message.WParam == VK_ESCAPE && DroppedDown()) FEscapeWhileDropped = true;
      if (FReadOnly) return;
    } else if (Message.Msg == WM_CHAR) {
      // The keystroke search of the list styles, in place of the base class's own. A read-only
      // combo box keeps its selection against typing as the edit field does.
      if (FReadOnly) return;
      uint32_t Code = uint32_t(Message.WParam);
      if (Code == VK_BACK) {
        std::string S = FSearchText;
        if (S.empty()) {
          InvalidKeyPressed();
          SelectBySearch(S);
        } else {
          S.pop_back();
          if (!S.empty()) {
            SelectBySearch(S);
          } else {
            SetItemIndex(0);
            Click();
            Change();
            FSearchText.clear();
          }
        }
        return;
      }
      if (Code == VK_ESCAPE) {
        if (FEscapeWhileDropped) {
          FEscapeWhileDropped = false;
        } else {
          SetItemIndex(0);
          Click();
          Change();
        }
        return;
      }
      if (Code >= 32 && Code <= 255) {
        if (AutoDropDown() && !DroppedDown()) SetDroppedDown(true);
        FTyping = true;
        SelectBySearch(FSearchText + char(Code));
        FSearchTimer->SetEnabled(false);
        FSearchTimer->SetInterval(1500);
        FSearchTimer->SetEnabled(true);
        FTyping = false;
        return;
      }
    }
  }
  TCustomComboBox::DefaultHandler(Message);
}

void TRzCustomComboBox::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_PAINT:
      TCustomComboBox::Dispatch(Message);
      if (HandleAllocated()) PaintOverlay();
      return;
    case WM_SIZE:
      TCustomComboBox::Dispatch(Message);
      if (FFrameVisible && !UsesThemedFrame()) Invalidate();
      return;
    case WM_KEYDOWN:
      if (Message.WParam == VK_ESCAPE || (Message.WParam >= 33 && Message.WParam <= 40)) FSearchText.clear();
      break;
    case WM_KILLFOCUS:
      TCustomComboBox::Dispatch(Message);
      FSearchText.clear();
      return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (FReadOnly) return;
      break;
    case WM_DELETEITEM: {
      auto* D = reinterpret_cast<DELETEITEMSTRUCT*>(Message.LParam);
      if (D && D->itemData) {
        ItemDeleted(reinterpret_cast<void*>(D->itemData));
        D->itemData = 0;
      }
      break;
    }
    case CN_COMMAND:
      TCustomComboBox::Dispatch(Message);
      if (HIWORD(Message.WParam) == CBN_SELENDOK) {
        FSuppressCompletion = true;
        SelEndOk();
      } else if (HIWORD(Message.WParam) == CBN_SELENDCANCEL) {
        SelEndCancel();
      }
      return;
    case CN_DRAWITEM:
      DrawOwnerItem(Message);
      return;
    case CM_TEXTCHANGED:
      TCustomComboBox::Dispatch(Message);
      if (FAutoComplete && !ComponentState().Contains(csDesigning) && !FSuppressCompletion && !DroppedDown() &&
          Style() == csDropDown) {
        if (FEnterPressed)
          FEnterPressed = false;
        else
          FSearchText = Text();
        int32_t I = FindItemPrefix(FSearchText);
        if (I >= 0 && !FSearchText.empty()) {
          SetItemIndex(I);
          SetSelStart(int32_t(FSearchText.size()));
          SetSelLength(int32_t(Items()->Get(I).size()) - SelStart());
        }
      }
      FSuppressCompletion = false;
      return;
    case CM_ENTER:
      TCustomComboBox::Dispatch(Message);
      FHasFocus = true;
      ChangeHotState(false, true);
      return;
    case CM_EXIT:
      TCustomComboBox::Dispatch(Message);
      FHasFocus = false;
      ChangeHotState(false, false);
      if (Style() == csDropDown && !Text().empty() && IndexOfItem(Text()) < 0) NotInList();
      return;
    case CM_MOUSEENTER:
      if (ComponentState().Contains(csDesigning)) return;
      TCustomComboBox::Dispatch(Message);
      if (OnMouseEnter) OnMouseEnter(this);
      ChangeHotState(true, true);
      return;
    case CM_MOUSELEAVE:
      TCustomComboBox::Dispatch(Message);
      if (OnMouseLeave) OnMouseLeave(this);
      ChangeHotState(true, false);
      return;
    case CM_ENABLEDCHANGED:
      TCustomComboBox::Dispatch(Message);
      ApplyStateColor();
      return;
    case CM_COLORCHANGED:
      TCustomComboBox::Dispatch(Message);
      if (!FUpdatingColors) UpdateBaseColor();
      return;
    case CM_PARENTCOLORCHANGED:
      TCustomComboBox::Dispatch(Message);
      if (ParentColor()) UpdateBaseColor();
      return;
    default:
      break;
  }
  TCustomComboBox::Dispatch(Message);
}

const TPropList& TRzCustomComboBox::PublishedProps() const {
  using P = TRzCustomComboBox;
  static const TPropList List =
      TPublisher<P>(TCustomComboBox::PublishedProps())
          .Property("About", [](P&) { return std::string(); })
          .Property("AllowEdit", &P::AllowEdit, &P::SetAllowEdit)
          .Property("AutoComplete", &P::AutoComplete, &P::SetAutoComplete)
          .Property("BeepOnInvalidKey", &P::BeepOnInvalidKey, &P::SetBeepOnInvalidKey)
          .Property("DisabledColor", &P::DisabledColor, &P::SetDisabledColor)
          .Property("DropDownWidth", &P::DropDownWidth, &P::SetDropDownWidth)
          .Property("FlatButtonColor", &P::FlatButtonColor, &P::SetFlatButtonColor)
          .Property("FlatButtons", &P::FlatButtons, &P::SetFlatButtons)
          .Property("FocusColor", &P::FocusColor, &P::SetFocusColor)
          .Property("FrameColor", &P::FrameColor, &P::SetFrameColor)
          .Property("FrameControllerNotifications", &P::FrameControllerNotifications,
                    &P::SetFrameControllerNotifications)
          .Property("FrameController", [](P& O) -> TPersistent* { return O.FrameController(); },
                    [](P& O, TPersistent* V) { O.SetFrameController(dynamic_cast<TRzFrameController*>(V)); })
          .Property("FrameHotColor", &P::FrameHotColor, &P::SetFrameHotColor)
          .Property("FrameHotTrack", &P::FrameHotTrack, &P::SetFrameHotTrack)
          .Property("FrameHotStyle", &P::FrameHotStyle, &P::SetFrameHotStyle)
          .Property("FrameSides", &P::FrameSides, &P::SetFrameSides)
          .Property("FrameStyle", &P::FrameStyle, &P::SetFrameStyle)
          .Property("FrameVisible", &P::FrameVisible, &P::SetFrameVisible)
          .Property("FramingPreference", &P::FramingPreference, &P::SetFramingPreference)
          .Property("KeepSearchCase", &P::KeepSearchCase, &P::SetKeepSearchCase)
          .Property("ReadOnly", &P::ReadOnly, &P::SetReadOnly)
          .Property("ReadOnlyColor", &P::ReadOnlyColor, &P::SetReadOnlyColor)
          .Property("ReadOnlyColorOnFocus", &P::ReadOnlyColorOnFocus, &P::SetReadOnlyColorOnFocus)
          .Property("TabOnEnter", &P::TabOnEnter, &P::SetTabOnEnter);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TRzComboBox
// ---------------------------------------------------------------------------------------------

TRzComboBox::TRzComboBox(TComponent* AOwner) : TRzCustomComboBox(AOwner) {
  FValues = std::make_unique<TStringList>();
  FValues->OnChange = [this](TObject* Sender) { ValuesChanged(Sender); };
}

TRzComboBox::~TRzComboBox() { FValues->OnChange = nullptr; }

std::string TRzComboBox::ValueOfItem(int32_t Index) {
  if (Index >= 0 && Index < FValues->Count() && !FValues->Get(Index).empty()) return FValues->Get(Index);
  if (Index >= 0 && Index < Items()->Count()) return Items()->Get(Index);
  return std::string();
}

std::string TRzComboBox::SelectedValue() {
  int32_t I = IsListStyle() ? ItemIndex() : (Text().empty() ? -1 : Items()->IndexOf(Text()));
  if (I >= 0 && I < FValues->Count() && !FValues->Get(I).empty()) return FValues->Get(I);
  return Text();
}

void TRzComboBox::SetSelectedValue(const std::string& Value) {
  if (Value == FSelectedValue && !FForced) return;
  FSettingValue = true;
  try {
    int32_t Found = -1;
    for (int32_t I = 0; I < Items()->Count(); ++I)
      if (ValueOfItem(I) == Value) {
        Found = I;
        break;
      }
    SetItemIndex(Found);
    FSelectedValue = Value;
  } catch (...) {
    FSettingValue = false;
    throw;
  }
  FSettingValue = false;
}

void TRzComboBox::Click() {
  if (FSettingValue) return;
  TRzCustomComboBox::Click();
  if (ItemIndex() >= 0) SetSelectedValue(ValueOfItem(ItemIndex()));
}

void TRzComboBox::Change() {
  if (FSettingValue || FForced) return;
  TRzCustomComboBox::Change();
  if (ItemIndex() >= 0) SetSelectedValue(ValueOfItem(ItemIndex()));
}

void TRzComboBox::ValuesChanged(TObject*) {
  FForced = true;
  SetSelectedValue(SelectedValue());
  FForced = false;
}

void TRzComboBox::SetItemHeight(int32_t Value) {
  if (Style() != csOwnerDrawFixed && Style() != csOwnerDrawVariable) return;
  if (Value == ItemHeight()) return;
  TCustomComboBox::SetItemHeight(Value);
}

const TPropList& TRzComboBox::PublishedProps() const {
  static const TPropList List =
      TPublisher<TRzComboBox>(TRzCustomComboBox::PublishedProps())
          .Property("ItemHeight", &TRzComboBox::ItemHeight, &TRzComboBox::SetItemHeight)
          .Property("Values", [](TRzComboBox& O) -> TPersistent* { return O.Values(); },
                    [](TRzComboBox& O, TPersistent* V) { O.SetValues(dynamic_cast<TStrings*>(V)); });
  return List;
}

}  // namespace zv
