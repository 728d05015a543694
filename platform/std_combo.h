// The class library's combo box: an item list with a selection field (an edit window for the
// editable styles) and a drop-down list window, driven by the CB_ messages and reporting through
// CBN_ notifications that come back to the control as CN_COMMAND.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/controls.h"
#include "platform/lists.h"
#include "platform/std_edit.h"

namespace zv {

enum TComboBoxStyle : uint8_t { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
template <>
struct TEnumNames<TComboBoxStyle> {
  static constexpr std::string_view Names[] = {"csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed",
                                               "csOwnerDrawVariable"};
};

// Element i stands for the owner-draw state bit 1 << i (ODS_SELECTED ... ODS_COMBOBOXEDIT).
enum TOwnerDrawStateItem : uint8_t {
  odSelected,
  odGrayed,
  odDisabled,
  odChecked,
  odFocused,
  odDefault,
  odHotLight,
  odInactive,
  odNoAccel,
  odNoFocusRect,
  odReserved1,
  odReserved2,
  odComboBoxEdit
};
using TOwnerDrawState = TSet<TOwnerDrawStateItem>;

using TDrawItemEvent = std::function<void(TWinControl* Control, int Index, TRect Rect, TOwnerDrawState State)>;
using TMeasureItemEvent = std::function<void(TWinControl* Control, int Index, int& Height)>;

class TCustomComboBox;

// The items of a combo box; changing them updates the control.
class TComboBoxStrings : public TStrings {
public:
  explicit TComboBoxStrings(TCustomComboBox* Combo) : FCombo(Combo) {}
  int Count() const override { return static_cast<int>(FItems.size()); }
  std::string Get(int Index) const override;
  void Put(int Index, const std::string& S) override;
  TObject* GetObject(int Index) const override;
  void PutObject(int Index, TObject* AObject) override;
  void Clear() override;
  void Delete(int Index) override;
  void Insert(int Index, const std::string& S) override;
  // Sorted combo boxes put the item at its place.
  int Add(const std::string& S) override;
  int AddObject(const std::string& S, TObject* AObject) override;
  int IndexOf(const std::string& S) const override;

private:
  friend class TCustomComboBox;
  struct TItem {
    std::string Text;
    TObject* Data = nullptr;
  };
  void CheckIndex(int Index) const;
  TCustomComboBox* FCombo;
  std::vector<TItem> FItems;
};

class TCustomComboBox : public TWinControl {
public:
  explicit TCustomComboBox(TComponent* AOwner);
  ~TCustomComboBox() override;

  TComboBoxStyle Style() const { return FStyle; }
  void SetStyle(TComboBoxStyle Value);
  TStrings* Items() const { return FItems.get(); }
  void SetItems(TStrings* Value) { FItems->Assign(Value); }
  // Setting it changes the selection without notifications (-1: none).
  int32_t ItemIndex() const { return FItemIndex; }
  void SetItemIndex(int32_t Value);
  // The owner-drawn styles' item height; the others take the font's.
  int32_t ItemHeight() const;
  void SetItemHeight(int32_t Value);
  int32_t DropDownCount() const { return FDropDownCount; }
  void SetDropDownCount(int32_t Value) { FDropDownCount = std::max(Value, 1); }
  bool DroppedDown() const { return FDropped; }
  void SetDroppedDown(bool Value);
  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value);
  // Longest text of the edit field (0: no limit).
  int32_t MaxLength() const { return FMaxLength; }
  void SetMaxLength(int32_t Value);
  TEditCharCase CharCase() const { return FCharCase; }
  void SetCharCase(TEditCharCase Value);
  // Typing completes from the items: the edit field shows the first item that begins with the
  // typed text; the list styles search with the characters typed in a quick run.
  bool AutoComplete() const { return FAutoComplete; }
  void SetAutoComplete(bool Value) { FAutoComplete = Value; }
  bool AutoDropDown() const { return FAutoDropDown; }
  void SetAutoDropDown(bool Value) { FAutoDropDown = Value; }
  // Close the list when an item is chosen from it with the keys.
  bool AutoCloseUp() const { return FAutoCloseUp; }
  void SetAutoCloseUp(bool Value) { FAutoCloseUp = Value; }
  // Selection in the edit field (editable styles).
  int32_t SelStart();
  void SetSelStart(int32_t Value);
  int32_t SelLength();
  void SetSelLength(int32_t Value);
  std::string SelText();
  void SelectAll();

  TCanvas* Canvas() const { return FCanvas.get(); }
  // The edit field's window (editable styles) and the list's window (while it exists).
  HWND EditHandle() const { return FEditHandle; }
  HWND ListHandle() const { return FListHandle; }

  // The edit field's window procedure: the combo box's key events, focus and completion, then the
  // edit window's own handling. A subclass overrides it and calls it for the default.
  virtual void EditWndProc(TMessage& Message);

  bool Focused() override;
  std::string GetText() const override;
  void Dispatch(TMessage& Message) override;
  void DefaultHandler(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

  TNotifyEvent OnChange;
  TNotifyEvent OnSelect;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;
  TDrawItemEvent OnDrawItem;
  TMeasureItemEvent OnMeasureItem;

protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  virtual void Change();
  // A choice from the list: OnSelect, or OnChange when no OnSelect is set.
  virtual void Select();
  virtual void DropDown();
  virtual void CloseUp();
  virtual void DrawItem(int Index, const TRect& Rect, TOwnerDrawState State);
  virtual void MeasureItem(int Index, int& Height);
  // The edit window's own handling of a message.
  LRESULT CallDefaultEditProc(TMessage& Message);

private:
  friend class TComboBoxStrings;
  friend LRESULT ComboEditProc(HWND, UINT, WPARAM, LPARAM);
  friend LRESULT ComboListProc(HWND, UINT, WPARAM, LPARAM);

  bool IsEditStyle() const { return FStyle == csDropDown || FStyle == csSimple; }
  bool IsOwnerDraw() const { return FStyle == csOwnerDrawFixed || FStyle == csOwnerDrawVariable; }
  void Notify(UINT Code);
  void ItemInserted(int Index);
  void ItemDeleted(int Index, TObject* Data);
  void ItemsCleared();
  void ItemsChanged();
  int FindString(int Start, std::string_view Text, bool Exact) const;
  // Changes the selection, shows it in the selection field and, with Notify, reports CBN_SELCHANGE.
  void SelectIndex(int Index, bool NotifyChange);
  void SetEditText(const std::string& Text);
  void ShowList(bool Show);
  void CloseList(bool Accept, int Choice);
  void KeyNavigate(int Key, bool Alt);
  void TypeSearch(uint32_t Code);
  void Layout();
  int RowHeight(int Index);
  int VisibleRows();
  void EnsureVisible(int Index);
  // Puts Top at the top of the list, kept where the last page still fills every row.
  void SetListTop(int Top);
  // A drop-down list longer than its rows carries a vertical scroll bar over the rows shown.
  void UpdateListScrollBar();
  void ListScroll(int Code, int Position);
  void PaintCombo(HDC DC);
  void PaintList(HDC DC);
  void SendDrawItem(HDC DC, int Index, const TRect& Rect, UINT State);
  int ListIndexAt(int Y);
  void ListMouse(UINT Msg, int X, int Y);
  void CreateListWindow();
  void DestroyChildWindows();
  TRect ButtonRect();

  std::unique_ptr<TComboBoxStrings> FItems;
  std::unique_ptr<TControlCanvas> FCanvas;
  TComboBoxStyle FStyle = csDropDown;
  int32_t FItemIndex = -1;
  int32_t FItemHeight = 16;
  int32_t FDropDownCount = 8;
  int32_t FDroppedWidth = 0;
  bool FSorted = false;
  int32_t FMaxLength = 0;
  TEditCharCase FCharCase = ecNormal;
  bool FAutoComplete = true;
  bool FAutoDropDown = false;
  bool FAutoCloseUp = false;
  bool FDropped = false;
  bool FSettingEdit = false;  // the edit text is being set by the combo box itself
  bool FListPressed = false;  // the button went down inside the list
  int FTopIndex = 0;
  int FHotIndex = -1;  // the highlighted row of the open list
  std::string FSearch;  // characters typed in a quick run (AutoComplete of the list styles)
  LPARAM FSearchTime = 0;
  HWND FEditHandle = nullptr;
  HWND FListHandle = nullptr;
  WNDPROC FDefEditProc = nullptr;
};

class TComboBox : public TCustomComboBox {
public:
  using TCustomComboBox::TCustomComboBox;
};

}  // namespace zv
