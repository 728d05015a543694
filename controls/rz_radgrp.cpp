// The radio group: its buttons made from Items, their layout in columns, ItemIndex kept in step
// with the checked button, and the vetoable click handling.
#include "controls/rz_radgrp.h"

#include <algorithm>
#include <cctype>

#include "platform/forms.h"
#include "platform/windows.h"

namespace zv {

// ---------------------------------------------------------------------------------------------
// TRzGroupButton
// ---------------------------------------------------------------------------------------------

TRzGroupButton::TRzGroupButton(TRzCustomRadioGroup* Group) : TRzRadioButton(Group), FGroup(Group) {
  FGroup->FButtons.push_back(this);
  SetVisible(false);
  SetEnabled(Group->Enabled());
  SetParentShowHint(false);
  OnClick = [Group](TObject* Sender) { Group->ButtonClick(Sender); };
  SetParent(Group);
  SetParentFont(false);
}

TRzGroupButton::~TRzGroupButton() {
  auto& List = FGroup->FButtons;
  List.erase(std::remove(List.begin(), List.end(), this), List.end());
}

void TRzGroupButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (!FGroup->CanModify()) return;
  try {
    TRzRadioButton::MouseDown(Button, Shift, X, Y);
  } catch (...) {
    HandleControlException(this);
  }
}

void TRzGroupButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (FInMouseUp || !FGroup->CanModify()) return;
  FInMouseUp = true;
  try {
    TRzRadioButton::MouseUp(Button, Shift, X, Y);
  } catch (...) {
    HandleControlException(this);
  }
  FInMouseUp = false;
}

void TRzGroupButton::KeyDown(uint16_t& Key, TShiftState Shift) {
  TRzRadioButton::KeyDown(Key, Shift);
  FGroup->KeyDown(Key, Shift);
}

void TRzGroupButton::KeyPress(char& Key) {
  TRzRadioButton::KeyPress(Key);
  FGroup->KeyPress(Key);
  if ((Key == char(VK_BACK) || Key == ' ') && !FGroup->CanModify()) Key = 0;
}

// ---------------------------------------------------------------------------------------------
// TRzCustomRadioGroup
// ---------------------------------------------------------------------------------------------

TRzCustomRadioGroup::TRzCustomRadioGroup(TComponent* AOwner) : TRzCustomGroupBox(AOwner) {
  FControlStyle.Exclude(csReplicatable);
  FItemFont = std::make_unique<TFont>();
  FItemFont->SetName("MS Sans Serif");
  FItemFont->SetSize(8);
  FItemFont->OnChange = [this](TObject* Sender) { ItemFontChanged(Sender); };
  FItems = std::make_unique<TStringList>();
  FItems->OnChange = [this](TObject* Sender) { ItemsChanged(Sender); };
  FCustomGlyphs = std::make_unique<TBitmap>();
  FCustomGlyphs->OnChange = [this](TObject* Sender) { CustomGlyphsChanged(Sender); };
  SetTabStop(false);
}

TRzCustomRadioGroup::~TRzCustomRadioGroup() {
  FDestroying = true;
  FItemFont->OnChange = nullptr;
  SetButtonCount(0);
  FItems->OnChange = nullptr;
  FCustomGlyphs->OnChange = nullptr;
}

void TRzCustomRadioGroup::Notification(TComponent* AComponent, TOperation Operation) {
  TRzCustomGroupBox::Notification(AComponent, Operation);
}

void TRzCustomRadioGroup::SetButtonCount(int32_t Value) {
  while (int32_t(FButtons.size()) < Value) new TRzGroupButton(this);
  while (int32_t(FButtons.size()) > Value) delete FButtons.back();
}

void TRzCustomRadioGroup::UpdateButtons() {
  SetButtonCount(FItems->Count());
  for (int32_t I = 0; I < ButtonCount(); ++I) FButtons[size_t(I)]->SetCaption(FItems->Get(I));
  if (FItemIndex >= 0 && FItemIndex < ButtonCount()) {
    FClicksIgnored = true;
    FButtons[size_t(FItemIndex)]->SetCheckedValue(true);
    FClicksIgnored = false;
  }
  ArrangeButtons();
  Invalidate();
}

void TRzCustomRadioGroup::ArrangeButtons() {
  if (FReading || ComponentState().Contains(csLoading) || FButtons.empty()) return;
  int32_t N = ButtonCount(), C = FColumns;
  int32_t Rows = (N + C - 1) / C;
  TRect Client = ClientRect();
  AdjustClientRect(Client);
  std::vector<int32_t> ColWidth(size_t(C), 0);
  if (FSpaceEvenly) {
    int32_t W = (Width() - FStartXPos - 2 * BorderWidth() - 10) / C;
    std::fill(ColWidth.begin(), ColWidth.end(), W);
  } else {
    for (int32_t I = 0; I < N; ++I) {
      int32_t W = TextExtentInFont(FItemFont.get(), StripAccelMarkers(FItems->Get(I))).cx + FGlyphWidth + 12;
      ColWidth[size_t(I / Rows)] = std::max(ColWidth[size_t(I / Rows)], W);
    }
  }
  for (int32_t I = 0; I < N; ++I) {
    TRzGroupButton* B = FButtons[size_t(I)];
    int32_t Col = I / Rows, Row = I % Rows;
    int32_t Y = Client.Top + FStartYPos + Row * (FItemHeight + FVerticalSpacing);
    int32_t X = FStartXPos, W;
    if (FSpaceEvenly) {
      X += Col * ColWidth[0];
      W = ColWidth[0];
    } else {
      for (int32_t K = 0; K < Col; ++K) X += ColWidth[size_t(K)];
      W = ColWidth[size_t(Col)] - 4;
    }
    B->SetBounds(X, Y, W, FItemHeight);
    B->SetVisible(true);
    B->SetFont(FItemFont.get());
    B->SetTextHighlightColor(FTextHighlightColor);
    B->SetTextShadowColor(FTextShadowColor);
    B->SetTextShadowDepth(FTextShadowDepth);
    B->SetLightTextStyle(FLightTextStyle);
    B->SetTextStyle(FTextStyle);
    B->SetTransparent(Transparent());
    B->SetWinMaskColor(FWinMaskColor);
    B->SetTransparentColor(FTransparentColor);
    if (!FCustomGlyphs->Empty()) B->SetCustomGlyphs(FCustomGlyphs.get());
    B->SetUseCustomGlyphs(FUseCustomGlyphs);
    B->SetFrameColor(FItemFrameColor);
    B->SetHotTrack(FItemHotTrack);
    B->SetHighlightColor(FItemHighlightColor);
    B->SetHotTrackColor(FItemHotTrackColor);
    B->SetHotTrackColorType(FItemHotTrackColorType);
  }
}

void TRzCustomRadioGroup::SetItemIndex(int32_t Value) {
  if (FReading || ComponentState().Contains(csLoading)) {
    FItemIndex = Value;
    return;
  }
  Value = std::clamp(Value, -1, ButtonCount() - 1);
  if (Value == FItemIndex) return;
  if (FItemIndex >= 0 && FItemIndex < ButtonCount()) FButtons[size_t(FItemIndex)]->SetCheckedValue(false);
  // A refused change made here returns to this index, not to the one just stored.
  FIndexBeforeSet = FItemIndex;
  FSettingIndex = true;
  FItemIndex = Value;
  try {
    if (FItemIndex >= 0) FButtons[size_t(FItemIndex)]->SetCheckedValue(true);
  } catch (...) {
    FSettingIndex = false;
    throw;
  }
  FSettingIndex = false;
}

bool TRzCustomRadioGroup::CanChange(int32_t NewIndex) {
  bool Allow = true;
  if (OnChanging) OnChanging(this, NewIndex, Allow);
  return Allow;
}

void TRzCustomRadioGroup::ButtonClick(TObject* Sender) {
  if (FClicksIgnored) return;
  auto It = std::find(FButtons.begin(), FButtons.end(), Sender);
  if (It == FButtons.end()) return;
  int32_t K = int32_t(It - FButtons.begin());
  if (CanChange(K)) {
    FItemIndex = K;
    Changed();
    Click();
    return;
  }
  // Refused: the previous selection comes back.
  if (FSettingIndex) FItemIndex = FIndexBeforeSet;
  FClicksIgnored = true;
  if (FItemIndex < 0) {
    (*It)->SetCheckedValue(false);
  } else {
    TRzGroupButton* Prev = FButtons[size_t(FItemIndex)];
    if (Prev->CanFocus() && Prev->HandleAllocated()) Prev->SetFocus();
    // Checking it directly as well: focusing does not check when the focus does not move.
    Prev->SetCheckedValue(true);
  }
  FClicksIgnored = false;
}

void TRzCustomRadioGroup::ItemsChanged(TObject*) {
  if (FReading || ComponentState().Contains(csLoading)) return;
  if (FItemIndex >= FItems->Count()) FItemIndex = FItems->Count() - 1;
  UpdateButtons();
}

void TRzCustomRadioGroup::ItemFontChanged(TObject*) {
  FItemFontOwn = true;
  ArrangeButtons();
  Invalidate();
}

void TRzCustomRadioGroup::CustomGlyphsChanged(TObject*) {
  SetUseCustomGlyphs(true);
  Invalidate();
}

void TRzCustomRadioGroup::Loaded() {
  TRzCustomGroupBox::Loaded();
  UpdateButtons();
}

#define ZV_GROUP_SETTER(Name, Type, Field)         \
  void TRzCustomRadioGroup::Set##Name(Type Value) { \
    if (Field == Value) return;                    \
    Field = Value;                                 \
    ArrangeButtons();                              \
  }
ZV_GROUP_SETTER(SpaceEvenly, bool, FSpaceEvenly)
ZV_GROUP_SETTER(VerticalSpacing, int32_t, FVerticalSpacing)
ZV_GROUP_SETTER(ItemHeight, int32_t, FItemHeight)
ZV_GROUP_SETTER(TransparentColor, TColor, FTransparentColor)
ZV_GROUP_SETTER(WinMaskColor, TColor, FWinMaskColor)
ZV_GROUP_SETTER(LightTextStyle, bool, FLightTextStyle)
ZV_GROUP_SETTER(TextStyle, TTextStyle, FTextStyle)
ZV_GROUP_SETTER(TextHighlightColor, TColor, FTextHighlightColor)
ZV_GROUP_SETTER(TextShadowColor, TColor, FTextShadowColor)
ZV_GROUP_SETTER(TextShadowDepth, int32_t, FTextShadowDepth)
ZV_GROUP_SETTER(ItemFrameColor, TColor, FItemFrameColor)
ZV_GROUP_SETTER(ItemHotTrack, bool, FItemHotTrack)
ZV_GROUP_SETTER(ItemHotTrackColor, TColor, FItemHotTrackColor)
ZV_GROUP_SETTER(ItemHotTrackColorType, TRzHotTrackColorType, FItemHotTrackColorType)
ZV_GROUP_SETTER(ItemHighlightColor, TColor, FItemHighlightColor)
#undef ZV_GROUP_SETTER

void TRzCustomRadioGroup::SetStartPos(int32_t Index, int32_t Value) {
  int32_t& Field = Index == 1 ? FStartXPos : FStartYPos;
  if (Field == Value) return;
  Field = Value;
  ArrangeButtons();
}

void TRzCustomRadioGroup::SetColumns(int32_t Value) {
  Value = std::clamp(Value, 1, 16);
  if (FColumns == Value) return;
  FColumns = Value;
  ArrangeButtons();
  Invalidate();
}

void TRzCustomRadioGroup::SetItemFont(TFont* Value) {
  if (Value == FItemFont.get()) return;
  FItemFont->Assign(Value);
  ArrangeButtons();
}

void TRzCustomRadioGroup::SetCustomGlyphs(TBitmap* Value) {
  if (Value)
    FCustomGlyphs->Assign(Value);
  else
    FCustomGlyphs->SetSize(0, 0);
}

void TRzCustomRadioGroup::SetUseCustomGlyphs(bool Value) {
  FUseCustomGlyphs = Value;
  if (Value && !FCustomGlyphs->Empty()) {
    FGlyphWidth = FCustomGlyphs->Width() / FNumStates;
    FGlyphHeight = FCustomGlyphs->Height();
  } else {
    FGlyphWidth = 13;
    FGlyphHeight = 13;
  }
  ArrangeButtons();
}

void TRzCustomRadioGroup::SetTransparent(bool Value) {
  TRzCustomGroupBox::SetTransparent(Value);
  ArrangeButtons();
}

void TRzCustomRadioGroup::SetGroupStyle(TRzGroupBoxStyle Value) {
  TRzCustomGroupBox::SetGroupStyle(Value);
  ArrangeButtons();
  Invalidate();
}

void TRzCustomRadioGroup::ApplyFrameController() {
  if (!FrameController() || !FrameController()->FrameVisible()) return;
  TRzCustomGroupBox::ApplyFrameController();
  FItemFrameColor = FrameController()->FrameColor();
  for (TRzGroupButton* B : FButtons) B->SetDisabledColor(FrameController()->DisabledColor());
  ArrangeButtons();
}

void TRzCustomRadioGroup::KeyPress(char& Key) {
  if (FTabOnEnter && Key == char(VK_RETURN)) {
    Key = 0;
    PostMessage(Handle(), WM_KEYDOWN, VK_TAB, 0);
    return;
  }
  TRzCustomGroupBox::KeyPress(Key);
}

void TRzCustomRadioGroup::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_DIALOGCHAR: {
      std::string Text = Caption();
      std::string Stripped = StripAccelMarkers(Text);
      size_t Amp = Text.find('&');
      bool Accel = Amp != std::string::npos && Amp + 1 < Text.size() && Text[Amp + 1] != '&' &&
                   std::tolower(static_cast<unsigned char>(Text[Amp + 1])) == std::tolower(int(Message.WParam & 0xFF));
      if (Accel && CanFocus()) {
        if (!FButtons.empty() && FButtons[0]->CanFocus()) FButtons[0]->SetFocus();
        Message.Result = 1;
        return;
      }
      break;
    }
    case CM_ENABLEDCHANGED:
      TRzCustomGroupBox::Dispatch(Message);
      if (HandleAllocated()) Repaint();
      for (TRzGroupButton* B : FButtons) B->SetEnabled(Enabled());
      return;
    case CM_FONTCHANGED:
      TRzCustomGroupBox::Dispatch(Message);
      if (!FItemFontOwn) {
        FItemFont->OnChange = nullptr;
        FItemFont->Assign(Font());
        FItemFont->OnChange = [this](TObject* Sender) { ItemFontChanged(Sender); };
        ArrangeButtons();
      }
      Invalidate();
      return;
    case WM_SIZE:
      TRzCustomGroupBox::Dispatch(Message);
      ArrangeButtons();
      return;
    default:
      break;
  }
  TRzCustomGroupBox::Dispatch(Message);
}

const TPropList& TRzCustomRadioGroup::PublishedProps() const {
  using P = TRzCustomRadioGroup;
  static const TPropList List =
      TPublisher<P>(TRzCustomGroupBox::PublishedProps())
          .Property("Columns", &P::Columns, &P::SetColumns)
          .Property("CustomGlyphs", [](P& O) -> TPersistent* { return O.CustomGlyphs(); },
                    [](P& O, TPersistent* V) { O.SetCustomGlyphs(dynamic_cast<TBitmap*>(V)); })
          .Property("ItemFont", [](P& O) -> TPersistent* { return O.ItemFont(); },
                    [](P& O, TPersistent* V) { O.SetItemFont(dynamic_cast<TFont*>(V)); })
          .Property("ItemFrameColor", &P::ItemFrameColor, &P::SetItemFrameColor)
          .Property("ItemHeight", &P::ItemHeight, &P::SetItemHeight)
          .Property("ItemHighlightColor", &P::ItemHighlightColor, &P::SetItemHighlightColor)
          .Property("ItemHotTrack", &P::ItemHotTrack, &P::SetItemHotTrack)
          .Property("ItemHotTrackColor", &P::ItemHotTrackColor, &P::SetItemHotTrackColor)
          .Property("ItemHotTrackColorType", &P::ItemHotTrackColorType, &P::SetItemHotTrackColorType)
          .Property("ItemIndex", &P::ItemIndex, &P::SetItemIndex)
          .Property("Items", [](P& O) -> TStrings* { return O.Items(); }, [](P& O, TStrings* V) { O.SetItems(V); })
          .Property("LightTextStyle", &P::LightTextStyle, &P::SetLightTextStyle)
          .Property("SpaceEvenly", &P::SpaceEvenly, &P::SetSpaceEvenly)
          .Property("StartXPos", &P::StartXPos, &P::SetStartXPos)
          .Property("StartYPos", &P::StartYPos, &P::SetStartYPos)
          .Property("TabOnEnter", &P::TabOnEnter, &P::SetTabOnEnter)
          .Property("TextHighlightColor", &P::TextHighlightColor, &P::SetTextHighlightColor)
          .Property("TextShadowColor", &P::TextShadowColor, &P::SetTextShadowColor)
          .Property("TextShadowDepth", &P::TextShadowDepth, &P::SetTextShadowDepth)
          .Property("TextStyle", &P::TextStyle, &P::SetTextStyle)
          .Property("TransparentColor", &P::TransparentColor, &P::SetTransparentColor)
          .Property("UseCustomGlyphs", &P::UseCustomGlyphs, &P::SetUseCustomGlyphs)
          .Property("WinMaskColor", &P::WinMaskColor, &P::SetWinMaskColor);
  return List;
}

}  // namespace zv
