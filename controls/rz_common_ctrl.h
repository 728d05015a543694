// Services the controls share besides painting: the frame controller that pushes one set of frame and
// colour settings into every control registered with it, the one timer that makes blinking controls
// blink in step, font and caption helpers, and the settings-store component.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "controls/rz_common.h"
#include "platform/gdi.h"
#include "platform/objects.h"
#include "platform/types.h"
#include "platform/windows.h"

namespace zv {

class TControl;
class TCustomIniFile;
class TFont;
class TTimer;

// ---------------------------------------------------------------------------------------------
// Messages of the controls
// ---------------------------------------------------------------------------------------------

// Asked of a registered control at each blink; it answers 1 while it is blinking.
constexpr UINT CM_BLINKQUERY = 0xB3E8;
// WParam is the new blink state: 1 shows the blink colour, 0 the normal one.
constexpr UINT CM_BLINKSTATE = 0xB3E9;

// ---------------------------------------------------------------------------------------------
// Settings store
// ---------------------------------------------------------------------------------------------

enum TRzPathType : uint8_t { ptIniFile, ptRegistry };
template <>
struct TEnumNames<TRzPathType> {
  static constexpr std::string_view Names[] = {"ptIniFile", "ptRegistry"};
};

enum TRzRegKey : uint8_t {
  hkeyClassesRoot, hkeyCurrentUser, hkeyLocalMachine, hkeyUsers, hkeyPerformanceData, hkeyCurrentConfig,
  hkeyDynData
};
template <>
struct TEnumNames<TRzRegKey> {
  static constexpr std::string_view Names[] = {"hkeyClassesRoot",     "hkeyCurrentUser",   "hkeyLocalMachine",
                                               "hkeyUsers",           "hkeyPerformanceData", "hkeyCurrentConfig",
                                               "hkeyDynData"};
};

enum TRzRegAccessKey : uint8_t {
  keyQueryValue, keySetValue, keyCreateSubKey, keyEnumerateSubKeys, keyNotify, keyCreateLink, keyRead,
  keyWrite, keyExecute, keyAllAccess
};
template <>
struct TEnumNames<TRzRegAccessKey> {
  static constexpr std::string_view Names[] = {"keyQueryValue", "keySetValue",  "keyCreateSubKey",
                                               "keyEnumerateSubKeys", "keyNotify", "keyCreateLink",
                                               "keyRead",       "keyWrite",     "keyExecute",
                                               "keyAllAccess"};
};
using TRzRegAccess = TSet<TRzRegAccessKey>;

// Where settings are kept: an INI file named by Path, or (PathType ptRegistry) the key Path under the
// root key RegKey. There is no system registry here, so each root key is an INI file of its own in
// the user's configuration folder ($XDG_CONFIG_HOME or ~/.config, then "zonvark/registry"), and a key
// "Software\Zonvark" with the section "Main" is the INI section "Software\Zonvark\Main".
// The file is opened on first use after a change of Path, PathType or RegKey.
class TRzRegIniFile : public TComponent {
public:
  explicit TRzRegIniFile(TComponent* AOwner);
  ~TRzRegIniFile() override;

  const std::string& Path() const { return FPath; }
  void SetPath(const std::string& Value);
  TRzPathType PathType() const { return FPathType; }
  void SetPathType(TRzPathType Value);
  TRzRegKey RegKey() const { return FRegKey; }
  void SetRegKey(TRzRegKey Value);
  // Carried for the settings of form descriptions; the INI files behind the store do not check it.
  TRzRegAccess RegAccess() const { return FRegAccess; }
  void SetRegAccess(TRzRegAccess Value) { FRegAccess = Value; }

  // The file the values live in now.
  std::string StorageFileName() const;

  std::string ReadString(const std::string& Section, const std::string& Ident, const std::string& Default);
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value);
  int32_t ReadInteger(const std::string& Section, const std::string& Ident, int32_t Default);
  void WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value);
  bool ReadBool(const std::string& Section, const std::string& Ident, bool Default);
  void WriteBool(const std::string& Section, const std::string& Ident, bool Value);
  bool ValueExists(const std::string& Section, const std::string& Ident);
  void DeleteKey(const std::string& Section, const std::string& Ident);
  void EraseSection(const std::string& Section);

  const TPropList& PublishedProps() const override;

private:
  TCustomIniFile& Storage();
  std::string SectionName(const std::string& Section) const;

  std::string FPath;
  TRzPathType FPathType = ptIniFile;
  TRzRegKey FRegKey = hkeyCurrentUser;
  TRzRegAccess FRegAccess = {keyAllAccess};
  bool FRefreshNeeded = true;
  std::unique_ptr<TCustomIniFile> FIniFile;
};

// ---------------------------------------------------------------------------------------------
// Frame controller
// ---------------------------------------------------------------------------------------------

// The settings a frame controller pushes; fcpAll stands for all of them at once.
enum TRzFrameControllerProperty : uint8_t {
  fcpColor, fcpFocusColor, fcpDisabledColor, fcpReadOnlyColor, fcpReadOnlyColorOnFocus, fcpParentColor,
  fcpFlatButtonColor, fcpFlatButtons, fcpFrameColor, fcpFrameHotColor, fcpFrameHotTrack, fcpFrameHotStyle,
  fcpFrameSides, fcpFrameStyle, fcpFrameVisible, fcpFramingPreference, fcpAll
};
template <>
struct TEnumNames<TRzFrameControllerProperty> {
  static constexpr std::string_view Names[] = {
      "fcpColor",         "fcpFocusColor",    "fcpDisabledColor", "fcpReadOnlyColor",
      "fcpReadOnlyColorOnFocus", "fcpParentColor", "fcpFlatButtonColor", "fcpFlatButtons",
      "fcpFrameColor",    "fcpFrameHotColor", "fcpFrameHotTrack", "fcpFrameHotStyle",
      "fcpFrameSides",    "fcpFrameStyle",    "fcpFrameVisible",  "fcpFramingPreference",
      "fcpAll"};
};
// Which settings a control takes from its controller (the sixteen single settings, never fcpAll).
using TRzFrameControllerNotifications = TSet<TRzFrameControllerProperty>;
constexpr TRzFrameControllerNotifications fccAll = TRzFrameControllerNotifications::FromBits(0xFFFF);

class TRzFrameController;

// A control that reads what it needs from its controller itself instead of having the controller set
// its published properties one by one.
class IRzFrameControllerClient {
public:
  virtual ~IRzFrameControllerClient() = default;
  // Takes the controller's current settings (whichever one changed).
  virtual void ApplyFrameControllerSettings() = 0;
};

// One set of frame and colour settings shared by many controls: each change is pushed into every
// registered control, through its published property of the same name or its client interface.
class TRzFrameController : public TComponent {
public:
  explicit TRzFrameController(TComponent* AOwner);
  ~TRzFrameController() override;

  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  TColor DisabledColor() const { return FDisabledColor; }
  void SetDisabledColor(TColor Value);
  TColor FlatButtonColor() const { return FFlatButtonColor; }
  void SetFlatButtonColor(TColor Value);
  bool FlatButtons() const { return FFlatButtons; }
  void SetFlatButtons(bool Value);
  TColor FocusColor() const { return FFocusColor; }
  void SetFocusColor(TColor Value);
  TColor FrameColor() const { return FFrameColor; }
  void SetFrameColor(TColor Value);
  TColor FrameHotColor() const { return FFrameHotColor; }
  void SetFrameHotColor(TColor Value);
  TFrameStyle FrameHotStyle() const { return FFrameHotStyle; }
  void SetFrameHotStyle(TFrameStyle Value);
  bool FrameHotTrack() const { return FFrameHotTrack; }
  void SetFrameHotTrack(bool Value);
  TSides FrameSides() const { return FFrameSides; }
  void SetFrameSides(TSides Value);
  TFrameStyle FrameStyle() const { return FFrameStyle; }
  void SetFrameStyle(TFrameStyle Value);
  bool FrameVisible() const { return FFrameVisible; }
  void SetFrameVisible(bool Value);
  TFramingPreference FramingPreference() const { return FFramingPreference; }
  void SetFramingPreference(TFramingPreference Value);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool Value);
  TColor ReadOnlyColor() const { return FReadOnlyColor; }
  void SetReadOnlyColor(TColor Value);
  bool ReadOnlyColorOnFocus() const { return FReadOnlyColorOnFocus; }
  void SetReadOnlyColorOnFocus(bool Value);
  TRzRegIniFile* RegIniFile() const { return FRegIniFile; }
  void SetRegIniFile(TRzRegIniFile* Value);

  // Registers Control (once) and pushes every setting into it.
  void AttachControl(TComponent* Control);
  void DetachControl(TComponent* Control);
  int ControlCount() const { return static_cast<int>(FControls.size()); }
  // Changes between HoldUpdates and the matching ReleaseUpdates reach the controls as one full push.
  void HoldUpdates() { ++FUpdateCount; }
  void ReleaseUpdates();
  void PushAllSettings() { PushToAllControls(fcpAll); }

  // Copies the sixteen settings (not RegIniFile) of another controller.
  void Assign(TPersistent* Source) override;
  void Loaded() override;
  const TPropList& PublishedProps() const override;

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void PushToAllControls(TRzFrameControllerProperty Prop);
  void PushSettingToControl(TComponent* Control, TRzFrameControllerProperty Prop);

private:
  void PushOne(TComponent* Control, TRzFrameControllerProperty Prop);

  TColor FColor = clWindow;
  TColor FDisabledColor = clBtnFace;
  TColor FFlatButtonColor = clBtnFace;
  bool FFlatButtons = true;
  TColor FFocusColor = clWindow;
  TColor FFrameColor = clBtnShadow;
  TColor FFrameHotColor = clBtnShadow;
  TFrameStyle FFrameHotStyle = fsFlatBold;
  bool FFrameHotTrack = false;
  TSides FFrameSides = sdAllSides;
  TFrameStyle FFrameStyle = fsFlat;
  bool FFrameVisible = false;
  TFramingPreference FFramingPreference = fpXPThemes;
  bool FParentColor = false;
  TColor FReadOnlyColor = clInfoBk;
  bool FReadOnlyColorOnFocus = false;
  TRzRegIniFile* FRegIniFile = nullptr;

  int FUpdateCount = 0;
  std::vector<TComponent*> FControls;
};

// The FrameController setter of a control: leaves the old controller, stores Value and, when it is
// one, registers with it and asks to hear of its removal. Stored is the control's own field.
void ChangeFrameController(TComponent* Control, TRzFrameController*& Stored, TRzFrameController* Value);

// ---------------------------------------------------------------------------------------------
// Blinking
// ---------------------------------------------------------------------------------------------

// One timer that flips a blink state for every registered control, so that all blinking controls
// change colour together. State 1 (blink colour) lasts BlinkIntervalOn, state 0 BlinkIntervalOff.
class TRzBlinkingControlsList : public TObject {
public:
  TRzBlinkingControlsList();
  ~TRzBlinkingControlsList() override;
  TRzBlinkingControlsList(const TRzBlinkingControlsList&) = delete;
  TRzBlinkingControlsList& operator=(const TRzBlinkingControlsList&) = delete;

  void AttachControl(TControl* Control);
  // Removes the first entry of Control.
  void DetachControl(TControl* Control);
  int Count() const { return static_cast<int>(FControls.size()); }

  uint8_t BlinkState() const { return FBlinkState; }
  // A new interval takes effect at the next change of state.
  uint16_t BlinkIntervalOff() const { return FBlinkIntervalOff; }
  void SetBlinkIntervalOff(uint16_t Value) { FBlinkIntervalOff = Value; }
  uint16_t BlinkIntervalOn() const { return FBlinkIntervalOn; }
  void SetBlinkIntervalOn(uint16_t Value) { FBlinkIntervalOn = Value; }
  // How long the current state lasts.
  uint32_t CurrentInterval() const;

private:
  void Blink();

  uint8_t FBlinkState = 1;
  std::vector<TControl*> FControls;
  std::unique_ptr<TTimer> FTimer;
  uint16_t FBlinkIntervalOff = 500;
  uint16_t FBlinkIntervalOn = 500;
};

// The shared list: nullptr until the first control that can blink asks for it.
extern TRzBlinkingControlsList* BlinkingControlsList;
// The shared list, created when there is none.
TRzBlinkingControlsList* NeedBlinkingControlsList();
// Frees the shared list once no control is left in it (called after a control detaches).
void ReleaseBlinkingListWhenEmpty();

// ---------------------------------------------------------------------------------------------
// Fonts, captions, designer and published properties
// ---------------------------------------------------------------------------------------------

// A font like Font turned by Angle degrees counter-clockwise; the caller owns the handle.
HFONT CreateRotatedFont(TFont* Font, int32_t Angle);
bool FontIsTrueType(TFont* Font);
// The height of a line of text in Font, with a pixel of room above and below.
int32_t FontRowHeight(TFont* Font);
// The caption as shown without its accelerator marker: "&File" gives "File", "A&&B" gives "A&B".
std::string StripAccelMarkers(const std::string& Caption);
// Whether the key of a CM_DIALOGCHAR message is the caption's accelerator: the character after a
// single '&', case ignored.
bool IsAccelKey(const TMessage& Message, const std::string& Caption);
// Tells the form designer that the control's form changed. There is no form designer in this
// program, so nothing is ever told; the call stays where a designer would need it.
void NotifyDesignerModified(TControl* Control);
// Sets an ordinal published property when Component has one of that name; else does nothing.
void SetOrdPropIfPublished(TPersistent* Component, std::string_view PropName, int64_t Value);

}  // namespace zv
