// The single-line edit: the "EDIT" window class (text, caret, selection with keys and mouse,
// clipboard, undo, margins, alignment, limits) and the class library's edit controls over it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/controls.h"
#include "platform/sysutils.h"

namespace zv {

// The name of the edit window class, registered on first use. Any window may be made of it (a
// combo box's edit field is one); it tells its parent of changes with WM_COMMAND EN_ codes.
const char* EditWindowClass();

// Invalid input in a masked edit.
class EDBEditError : public Exception {
public:
  using Exception::Exception;
};

enum TEditCharCase : uint8_t { ecNormal, ecUpperCase, ecLowerCase };
template <>
struct TEnumNames<TEditCharCase> {
  static constexpr std::string_view Names[] = {"ecNormal", "ecUpperCase", "ecLowerCase"};
};

// A control over an edit window. Properties work without a window too; selection calls make the
// window (so the control needs a parent by then). Positions are byte offsets into the UTF-8 text.
class TCustomEdit : public TWinControl {
public:
  explicit TCustomEdit(TComponent* AOwner);

  bool AutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool Value) { FAutoSelect = Value; }
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  TEditCharCase CharCase() const { return FCharCase; }
  void SetCharCase(TEditCharCase Value);
  bool HideSelection() const { return FHideSelection; }
  void SetHideSelection(bool Value);
  // 0: no limit. Typing stops at the limit; text set from code is not cut.
  int32_t MaxLength() const { return FMaxLength; }
  void SetMaxLength(int32_t Value);
  bool Modified();
  void SetModified(bool Value);
  bool OEMConvert() const { return FOEMConvert; }
  void SetOEMConvert(bool Value) { FOEMConvert = Value; }
  char PasswordChar() const { return FPasswordChar; }
  void SetPasswordChar(char Value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);

  int32_t SelStart();
  void SetSelStart(int32_t Value);
  int32_t SelLength();
  void SetSelLength(int32_t Value);
  std::string SelText();
  void SetSelText(const std::string& Value);
  void SelectAll();
  void ClearSelection();
  void Clear() { SetText(""); }
  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();
  bool CanUndo();
  void Undo();
  void ClearUndo();

  std::string GetText() const override;
  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

  TNotifyEvent OnChange;

protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  virtual void Change();

private:
  void SendFont();

  bool FAutoSelect = true;
  TBorderStyle FBorderStyle = bsSingle;
  TEditCharCase FCharCase = ecNormal;
  bool FHideSelection = true;
  int32_t FMaxLength = 0;
  bool FModified = false;  // kept while the window is remade
  bool FOEMConvert = false;
  char FPasswordChar = 0;
  bool FReadOnly = false;
  bool FCreating = false;
};

class TEdit : public TCustomEdit {
public:
  using TCustomEdit::TCustomEdit;
};

// An edit whose text may be checked against a mask when the focus leaves it. Mask characters: '0'
// digit, '9' optional digit, 'L' letter, 'l' optional letter, 'A' letter or digit, 'a' optional
// one, 'C' any character, 'c' optional one, '\' makes the next character literal; every other
// character stands for itself. A ';' ends the mask (what follows are storage options).
class TCustomMaskEdit : public TCustomEdit {
public:
  explicit TCustomMaskEdit(TComponent* AOwner) : TCustomEdit(AOwner) {}

  const std::string& EditMask() const { return FEditMask; }
  void SetEditMask(const std::string& Value) { FEditMask = Value; }
  bool IsMasked() const { return !FEditMask.empty(); }
  // Raises through ValidateError when the text does not fill the mask.
  virtual void ValidateEdit();

  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

protected:
  // Beeps and raises EDBEditError.
  virtual void ValidateError();

private:
  std::string FEditMask;
};

class TMaskEdit : public TCustomMaskEdit {
public:
  using TCustomMaskEdit::TCustomMaskEdit;
};

// Whether Text fills Mask (see TCustomMaskEdit).
bool MaskTextValid(std::string_view Mask, std::string_view Text);

}  // namespace zv
