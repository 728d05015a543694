// A group box that shows one radio button per line of its Items, in up to sixteen columns, and keeps
// ItemIndex in step with the checked button.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "controls/rz_panel.h"
#include "controls/rz_radchk.h"
#include "platform/lists.h"

namespace zv {

using TRzIndexChangingEvent = std::function<void(TObject* Sender, int32_t NewIndex, bool& AllowChange)>;

class TRzCustomRadioGroup;

// A radio button that a radio group creates, places and styles itself.
class TRzGroupButton : public TRzRadioButton {
public:
  TRzGroupButton(TRzCustomRadioGroup* Group);
  ~TRzGroupButton() override;

protected:
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;

private:
  friend class TRzCustomRadioGroup;
  TRzCustomRadioGroup* FGroup;
  bool FInMouseUp = false;
};

class TRzCustomRadioGroup : public TRzCustomGroupBox {
public:
  explicit TRzCustomRadioGroup(TComponent* AOwner);
  ~TRzCustomRadioGroup() override;

  TStrings* Items() const { return FItems.get(); }
  virtual void SetItems(TStrings* Value) { FItems->Assign(Value); }
  int32_t ItemIndex() const { return FItemIndex; }
  // Clamped to -1 .. the number of buttons - 1; a change raises OnChanging and OnClick.
  virtual void SetItemIndex(int32_t Value);
  int32_t Columns() const { return FColumns; }
  virtual void SetColumns(int32_t Value);
  TFont* ItemFont() const { return FItemFont.get(); }
  virtual void SetItemFont(TFont* Value);
  bool SpaceEvenly() const { return FSpaceEvenly; }
  virtual void SetSpaceEvenly(bool Value);
  int32_t StartXPos() const { return FStartXPos; }
  void SetStartXPos(int32_t Value) { SetStartPos(1, Value); }
  int32_t StartYPos() const { return FStartYPos; }
  void SetStartYPos(int32_t Value) { SetStartPos(2, Value); }
  virtual void SetStartPos(int32_t Index, int32_t Value);
  int32_t VerticalSpacing() const { return FVerticalSpacing; }
  virtual void SetVerticalSpacing(int32_t Value);
  int32_t ItemHeight() const { return FItemHeight; }
  virtual void SetItemHeight(int32_t Value);
  TBitmap* CustomGlyphs() const { return FCustomGlyphs.get(); }
  virtual void SetCustomGlyphs(TBitmap* Value);
  bool UseCustomGlyphs() const { return FUseCustomGlyphs; }
  virtual void SetUseCustomGlyphs(bool Value);
  TColor TransparentColor() const { return FTransparentColor; }
  virtual void SetTransparentColor(TColor Value);
  TColor WinMaskColor() const { return FWinMaskColor; }
  virtual void SetWinMaskColor(TColor Value);
  bool LightTextStyle() const { return FLightTextStyle; }
  virtual void SetLightTextStyle(bool Value);
  TTextStyle TextStyle() const { return FTextStyle; }
  virtual void SetTextStyle(TTextStyle Value);
  TColor TextHighlightColor() const { return FTextHighlightColor; }
  virtual void SetTextHighlightColor(TColor Value);
  TColor TextShadowColor() const { return FTextShadowColor; }
  virtual void SetTextShadowColor(TColor Value);
  int32_t TextShadowDepth() const { return FTextShadowDepth; }
  virtual void SetTextShadowDepth(int32_t Value);
  bool TabOnEnter() const { return FTabOnEnter; }
  void SetTabOnEnter(bool Value) { FTabOnEnter = Value; }
  TColor ItemFrameColor() const { return FItemFrameColor; }
  virtual void SetItemFrameColor(TColor Value);
  bool ItemHotTrack() const { return FItemHotTrack; }
  virtual void SetItemHotTrack(bool Value);
  TColor ItemHotTrackColor() const { return FItemHotTrackColor; }
  virtual void SetItemHotTrackColor(TColor Value);
  TRzHotTrackColorType ItemHotTrackColorType() const { return FItemHotTrackColorType; }
  virtual void SetItemHotTrackColorType(TRzHotTrackColorType Value);
  TColor ItemHighlightColor() const { return FItemHighlightColor; }
  virtual void SetItemHighlightColor(TColor Value);

  int32_t ButtonCount() const { return int32_t(FButtons.size()); }
  virtual TRzGroupButton* GetButton(int32_t Index) { return FButtons.at(size_t(Index)); }
  virtual bool CanModify() { return true; }

  void SetTransparent(bool Value) override;
  void SetGroupStyle(TRzGroupBoxStyle Value) override;
  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;
  void Loaded() override;

  TRzIndexChangingEvent OnChanging;

protected:
  virtual void SetButtonCount(int32_t Value);
  virtual void ArrangeButtons();
  virtual void UpdateButtons();
  virtual bool CanChange(int32_t NewIndex);
  void ApplyFrameController() override;
  void KeyPress(char& Key) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  friend class TRzGroupButton;
  void ButtonClick(TObject* Sender);
  void ItemsChanged(TObject* Sender);
  void ItemFontChanged(TObject* Sender);
  void CustomGlyphsChanged(TObject* Sender);

  std::vector<TRzGroupButton*> FButtons;
  std::unique_ptr<TFont> FItemFont;
  bool FItemFontOwn = false;
  std::unique_ptr<TStringList> FItems;
  int32_t FItemIndex = -1;
  int32_t FColumns = 1;
  bool FReading = false;
  bool FClicksIgnored = false;
  bool FSpaceEvenly = false;
  int32_t FStartXPos = 8;
  int32_t FStartYPos = 2;
  int32_t FVerticalSpacing = 3;
  int32_t FItemHeight = 17;
  int32_t FGlyphWidth = 13;
  int32_t FGlyphHeight = 13;
  int32_t FNumStates = 6;
  std::unique_ptr<TBitmap> FCustomGlyphs;
  bool FUseCustomGlyphs = false;
  TColor FTransparentColor = clOlive;
  TColor FWinMaskColor = TColor(0x808000);
  bool FLightTextStyle = false;
  TTextStyle FTextStyle = tsNormal;
  TColor FTextHighlightColor = clBtnHighlight;
  TColor FTextShadowColor = clBtnShadow;
  int32_t FTextShadowDepth = 2;
  bool FTabOnEnter = false;
  TColor FItemFrameColor = clBtnShadow;
  bool FItemHotTrack = false;
  TColor FItemHotTrackColor = TColor(0x149BF0);
  TRzHotTrackColorType FItemHotTrackColorType = htctActual;
  TColor FItemHighlightColor = clHighlight;
  bool FDestroying = false;
  bool FSettingIndex = false;
  int32_t FIndexBeforeSet = -1;
};

class TRzRadioGroup : public TRzCustomRadioGroup {
public:
  using TRzCustomRadioGroup::TRzCustomRadioGroup;
};

}  // namespace zv
