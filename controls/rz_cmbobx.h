// The framed combo box of the main window: the class library's combo box with a keystroke search
// over the items, completion in the edit field, read-only mode, state colours, a painted frame and a
// flat drop-down button; TRzComboBox adds a second list of item values.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "controls/rz_common.h"
#include "controls/rz_common_ctrl.h"
#include "platform/lists.h"
#include "platform/std_combo.h"

namespace zv {

class TTimer;

using TRzDeleteComboItemEvent = std::function<void(TObject* Sender, void* Item)>;

class TRzCustomComboBox : public TCustomComboBox {
public:
  explicit TRzCustomComboBox(TComponent* AOwner);
  ~TRzCustomComboBox() override;

  // Completion in the edit field and the keystroke search of the list styles (the base class's own
  // completion stays off).
  bool AutoComplete() const { return FAutoComplete; }
  void SetAutoComplete(bool Value) { FAutoComplete = Value; }
  bool AllowEdit() const { return FAllowEdit; }
  void SetAllowEdit(bool Value) { FAllowEdit = Value; }
  bool BeepOnInvalidKey() const { return FBeepOnInvalidKey; }
  void SetBeepOnInvalidKey(bool Value) { FBeepOnInvalidKey = Value; }
  bool KeepSearchCase() const { return FKeepSearchCase; }
  void SetKeepSearchCase(bool Value) { FKeepSearchCase = Value; }
  bool FlatButtons() const { return FFlatButtons; }
  virtual void SetFlatButtons(bool Value);
  TColor FlatButtonColor() const { return FFlatButtonColor; }
  virtual void SetFlatButtonColor(TColor Value);
  TColor DisabledColor() const { return FDisabledColor; }
  virtual void SetDisabledColor(TColor Value);
  TColor FocusColor() const { return FFocusColor; }
  virtual void SetFocusColor(TColor Value);
  TColor ReadOnlyColor() const { return FReadOnlyColor; }
  virtual void SetReadOnlyColor(TColor Value);
  bool ReadOnlyColorOnFocus() const { return FReadOnlyColorOnFocus; }
  void SetReadOnlyColorOnFocus(bool Value);
  TColor FrameColor() const { return FFrameColor; }
  virtual void SetFrameColor(TColor Value);
  TRzFrameController* FrameController() const { return FFrameController; }
  virtual void SetFrameController(TRzFrameController* Value);
  TRzFrameControllerNotifications FrameControllerNotifications() const { return FFrameControllerNotifications; }
  void SetFrameControllerNotifications(TRzFrameControllerNotifications Value) {
    FFrameControllerNotifications = Value;
  }
  TColor FrameHotColor() const { return FFrameHotColor; }
  virtual void SetFrameHotColor(TColor Value);
  bool FrameHotTrack() const { return FFrameHotTrack; }
  virtual void SetFrameHotTrack(bool Value);
  TFrameStyle FrameHotStyle() const { return FFrameHotStyle; }
  virtual void SetFrameHotStyle(TFrameStyle Value);
  TSides FrameSides() const { return FFrameSides; }
  virtual void SetFrameSides(TSides Value);
  TFrameStyle FrameStyle() const { return FFrameStyle; }
  virtual void SetFrameStyle(TFrameStyle Value);
  bool FrameVisible() const { return FFrameVisible; }
  virtual void SetFrameVisible(bool Value);
  TFramingPreference FramingPreference() const { return FFramingPreference; }
  virtual void SetFramingPreference(TFramingPreference Value);
  int32_t DropDownWidth() const { return FDropDownWidth; }
  virtual void SetDropDownWidth(int32_t Value);
  bool ReadOnly() const { return FReadOnly; }
  virtual void SetReadOnly(bool Value);
  bool TabOnEnter() const { return FTabOnEnter; }
  void SetTabOnEnter(bool Value) { FTabOnEnter = Value; }

  int32_t GetItemCount() const { return Items()->Count(); }
  // The first item that begins with S, ignoring case (an empty S matches the first); -1 when none.
  virtual int32_t FindItemPrefix(const std::string& S);
  virtual int32_t IndexOfItem(const std::string& S) { return Items()->IndexOf(S); }
  // Sets Text without running the completion for that one change.
  virtual void SetTextWithoutCompletion(const std::string& Value);
  virtual bool UsesThemedFrame() { return false; }
  // The characters typed in the current search run.
  const std::string& SearchText() const { return FSearchText; }

  bool Focused() override;
  void Dispatch(TMessage& Message) override;
  void DefaultHandler(TMessage& Message) override;
  void EditWndProc(TMessage& Message) override;
  const TPropList& PublishedProps() const override;
  void Loaded() override;

  TRzDeleteComboItemEvent OnDeleteItem;
  TNotifyEvent OnMatch;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TNotifyEvent OnNotInList;
  TNotifyEvent OnSelEndCancel;
  TNotifyEvent OnSelEndOk;

protected:
  virtual void ApplyStateColor();
  virtual void ChangeHotState(bool Mouse, bool Value);
  virtual void InvalidKeyPressed();
  virtual void SelectBySearch(const std::string& S);
  virtual bool CompleteFromItems(const std::string& S);
  virtual void ItemDeleted(void* Item);
  virtual void Match();
  virtual void NotInList();
  virtual void SelEndCancel();
  virtual void SelEndOk();
  void CloseUp() override;
  void KeyPress(char& Key) override;
  bool DoMouseWheelDown(TShiftState Shift, TPoint MousePos) override;
  bool DoMouseWheelUp(TShiftState Shift, TPoint MousePos) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // The search run ends 1500 ms after the last typed character.
  void SearchTimerTick(TObject* Sender);
  bool IsListStyle() const { return Style() != csDropDown && Style() != csSimple; }

private:
  void PaintOverlay();
  void DrawOwnerItem(TMessage& Message);
  void UpdateBaseColor();
  bool IsHot() const { return FFocused || FMouseOver; }
  // A character typed into the edit field; true when it was consumed.
  bool EditChar(TMessage& Message);

  bool FAutoComplete = true;
  bool FAllowEdit = true;
  bool FBeepOnInvalidKey = true;
  bool FKeepSearchCase = false;
  bool FFlatButtons = false;
  TColor FFlatButtonColor = clBtnFace;
  TColor FDisabledColor = clBtnFace;
  TColor FFocusColor = clWindow;
  TColor FReadOnlyColor = clInfoBk;
  bool FReadOnlyColorOnFocus = false;
  TColor FBaseColor = clWindow;
  bool FUpdatingColors = false;
  TColor FFrameColor = clBtnShadow;
  TRzFrameController* FFrameController = nullptr;
  TRzFrameControllerNotifications FFrameControllerNotifications = fccAll;
  TColor FFrameHotColor = clBtnShadow;
  bool FFrameHotTrack = false;
  TFrameStyle FFrameHotStyle = fsFlatBold;
  TSides FFrameSides = sdAllSides;
  TFrameStyle FFrameStyle = fsFlat;
  bool FFrameVisible = false;
  TFramingPreference FFramingPreference = fpXPThemes;
  std::string FSearchText;
  int32_t FDropDownWidth = 0;
  int32_t FSavedDropDownWidth = 0;
  bool FTyping = false;
  std::unique_ptr<TTimer> FSearchTimer;
  bool FTabOnEnter = false;
  bool FSuppressCompletion = false;
  bool FEscapeWhileDropped = false;
  bool FEnterPressed = false;
  bool FReadOnly = false;
  bool FSystemKey = false;
  std::unique_ptr<TControlCanvas> FOverlayCanvas;
  bool FFocused = false;
  bool FMouseOver = false;
  bool FHasFocus = false;
};

class TRzComboBox : public TRzCustomComboBox {
public:
  explicit TRzComboBox(TComponent* AOwner);
  ~TRzComboBox() override;

  // Values[i] stands for item i when it is not empty.
  TStrings* Values() const { return FValues.get(); }
  virtual void SetValues(TStrings* Value) { FValues->Assign(Value); }
  virtual std::string ValueOfItem(int32_t Index);
  virtual std::string SelectedValue();
  virtual void SetSelectedValue(const std::string& Value);
  // Only the owner-drawn styles take an item height of their own.
  void SetItemHeight(int32_t Value);

  const TPropList& PublishedProps() const override;

protected:
  void Click() override;
  void Change() override;

private:
  void ValuesChanged(TObject* Sender);

  std::string FSelectedValue;
  std::unique_ptr<TStringList> FValues;
  bool FSettingValue = false;
  bool FForced = false;
};

}  // namespace zv
