// Menus of the class library: trees of TMenuItem, and TPopupMenu, which shows its items in a popup
// window of its own that takes the mouse and the keys until an item is chosen or it is dismissed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/std_controls.h"

namespace zv {

// One command of a menu, with the items below it. An item frees its sub-items; it leaves its parent
// when freed (also when its owner frees it).
class TMenuItem : public TComponent {
public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value) { FCaption = Value; }
  // Checking a radio item unchecks the other radio items of its group among its siblings.
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);
  bool RadioItem() const { return FRadioItem; }
  void SetRadioItem(bool Value);
  uint8_t GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(uint8_t Value);
  // Clicking toggles Checked first.
  bool AutoCheck() const { return FAutoCheck; }
  void SetAutoCheck(bool Value) { FAutoCheck = Value; }
  int32_t ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int32_t Value) { FImageIndex = Value; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value) { FEnabled = Value; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value) { FVisible = Value; }
  // A caption of "-" makes a separator line.
  bool IsLine() const { return FCaption == "-"; }

  int Count() const { return static_cast<int>(FItems.size()); }
  TMenuItem* Items(int Index) const;
  TMenuItem* Parent() const { return FParent; }
  int IndexOf(TMenuItem* Item) const;
  int MenuIndex() const { return FParent ? FParent->IndexOf(const_cast<TMenuItem*>(this)) : -1; }
  void Add(TMenuItem* Item);
  void Insert(int Index, TMenuItem* Item);
  // Takes the item out (it is not freed).
  void Remove(TMenuItem* Item);
  // Frees the item at Index.
  void Delete(int Index);
  void Clear();

  // Raises OnClick for an enabled item.
  virtual void Click();

  TNotifyEvent OnClick;

  const TPropList& PublishedProps() const override;

private:
  void TurnSiblingsOff();

  std::string FCaption;
  bool FChecked = false;
  bool FRadioItem = false;
  uint8_t FGroupIndex = 0;
  bool FAutoCheck = false;
  int32_t FImageIndex = -1;
  bool FEnabled = true;
  bool FVisible = true;
  TMenuItem* FParent = nullptr;
  std::vector<TMenuItem*> FItems;
};

// A menu shown at a screen point. Popup returns at once; the choice arrives while messages are
// handled (the chosen item's OnClick runs after the menu has closed).
class TPopupMenu : public TComponent {
public:
  explicit TPopupMenu(TComponent* AOwner);
  ~TPopupMenu() override;

  TMenuItem* Items() const { return FItems; }
  TImageList* Images() const { return FImages; }
  void SetImages(TImageList* Value);
  bool AutoPopup() const { return FAutoPopup; }
  void SetAutoPopup(bool Value) { FAutoPopup = Value; }
  // The control whose right click opened the menu (nullptr when opened by Popup directly).
  TControl* PopupComponent() const { return FPopupComponent; }
  void SetPopupComponent(TControl* Value) { FPopupComponent = Value; }

  // Shows the items with the menu's top-left at the screen point (moved to stay on the screen).
  virtual void Popup(int32_t X, int32_t Y);
  // Closes the menu without a choice.
  void CloseMenu();
  // The window showing the items while the menu is open; nullptr otherwise.
  HWND WindowHandle() const { return FWindow; }
  // The rectangle of visible item Index in the menu window's client coordinates.
  TRect ItemRect(int Index);

  TNotifyEvent OnPopup;

  const TPropList& PublishedProps() const override;

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  friend LRESULT PopupMenuWndProc(HWND, UINT, WPARAM, LPARAM);
  std::vector<TMenuItem*> VisibleItems() const;
  void Measure(int& Width, int& Height);
  int RowHeight(TMenuItem* Item);
  int IndexAt(int X, int Y);
  void Paint(HDC DC);
  void MoveHot(int Step);
  void Choose(int Index);
  void HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam);

  TMenuItem* FItems = nullptr;
  TImageList* FImages = nullptr;
  bool FAutoPopup = true;
  TControl* FPopupComponent = nullptr;
  HWND FWindow = nullptr;
  HWND FPreviousFocus = nullptr;
  int FHot = -1;
};

}  // namespace zv
