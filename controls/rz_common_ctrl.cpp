// Frame controller, blinking list, font and caption helpers and the settings store of the controls.
#include "controls/rz_common_ctrl.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/controls.h"
#include "platform/gdi_text.h"
#include "platform/graphics.h"
#include "platform/inifiles.h"
#include "platform/std_controls.h"
#include "platform/sysutils.h"

namespace zv {

// ---------------------------------------------------------------------------------------------
// TRzRegIniFile
// ---------------------------------------------------------------------------------------------

namespace {

std::string ConfigFolder() {
  const char* Xdg = std::getenv("XDG_CONFIG_HOME");
  if (Xdg && *Xdg) return Xdg;
  const char* Home = std::getenv("HOME");
  return std::string(Home && *Home ? Home : ".") + "/.config";
}

}  // namespace

TRzRegIniFile::TRzRegIniFile(TComponent* AOwner) : TComponent(AOwner) {}

TRzRegIniFile::~TRzRegIniFile() = default;

void TRzRegIniFile::SetPath(const std::string& Value) {
  if (FPath == Value) return;
  FPath = Value;
  FRefreshNeeded = true;
}

void TRzRegIniFile::SetPathType(TRzPathType Value) {
  if (FPathType == Value) return;
  FPathType = Value;
  FRefreshNeeded = true;
}

void TRzRegIniFile::SetRegKey(TRzRegKey Value) {
  if (FRegKey == Value) return;
  FRegKey = Value;
  FRefreshNeeded = true;
}

std::string TRzRegIniFile::StorageFileName() const {
  if (FPathType == ptIniFile) return FPath;
  const std::string_view Root = TEnumNames<TRzRegKey>::Names[FRegKey];
  return ConfigFolder() + "/zonvark/registry/" + std::string(Root) + ".ini";
}

std::string TRzRegIniFile::SectionName(const std::string& Section) const {
  if (FPathType == ptIniFile || FPath.empty()) return Section;
  std::string Key = FPath;
  while (!Key.empty() && Key.back() == '\\') Key.pop_back();
  while (!Key.empty() && Key.front() == '\\') Key.erase(Key.begin());
  return Key.empty() ? Section : Key + "\\" + Section;
}

TCustomIniFile& TRzRegIniFile::Storage() {
  if (FRefreshNeeded || !FIniFile) {
    const std::string FileName = StorageFileName();
    if (FPathType == ptRegistry) ForceDirectories(ExtractFileDir(FileName));
    FIniFile = std::make_unique<TIniFile>(FileName);
    FRefreshNeeded = false;
  }
  return *FIniFile;
}

std::string TRzRegIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                      const std::string& Default) {
  return Storage().ReadString(SectionName(Section), Ident, Default);
}

void TRzRegIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
  Storage().WriteString(SectionName(Section), Ident, Value);
}

int32_t TRzRegIniFile::ReadInteger(const std::string& Section, const std::string& Ident, int32_t Default) {
  return Storage().ReadInteger(SectionName(Section), Ident, Default);
}

void TRzRegIniFile::WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value) {
  Storage().WriteInteger(SectionName(Section), Ident, Value);
}

bool TRzRegIniFile::ReadBool(const std::string& Section, const std::string& Ident, bool Default) {
  return Storage().ReadBool(SectionName(Section), Ident, Default);
}

void TRzRegIniFile::WriteBool(const std::string& Section, const std::string& Ident, bool Value) {
  Storage().WriteBool(SectionName(Section), Ident, Value);
}

bool TRzRegIniFile::ValueExists(const std::string& Section, const std::string& Ident) {
  return Storage().ValueExists(SectionName(Section), Ident);
}

void TRzRegIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
  Storage().DeleteKey(SectionName(Section), Ident);
}

void TRzRegIniFile::EraseSection(const std::string& Section) { Storage().EraseSection(SectionName(Section)); }

const TPropList& TRzRegIniFile::PublishedProps() const {
  static const TPropList List = TPublisher<TRzRegIniFile>(TComponent::PublishedProps())
                                    .Property("Path", &TRzRegIniFile::Path, &TRzRegIniFile::SetPath)
                                    .Property("PathType", &TRzRegIniFile::PathType, &TRzRegIniFile::SetPathType)
                                    .Property("RegKey", &TRzRegIniFile::RegKey, &TRzRegIniFile::SetRegKey)
                                    .Property("RegAccess", &TRzRegIniFile::RegAccess, &TRzRegIniFile::SetRegAccess);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TRzFrameController
// ---------------------------------------------------------------------------------------------

TRzFrameController::TRzFrameController(TComponent* AOwner) : TComponent(AOwner) {}

TRzFrameController::~TRzFrameController() = default;

void TRzFrameController::SetColor(TColor Value) {
  if (FColor == Value) return;
  // A focus colour that merely followed the colour keeps following it.
  if (FFocusColor == FColor) FFocusColor = Value;
  FColor = Value;
  FParentColor = false;
  PushToAllControls(fcpColor);
}

void TRzFrameController::SetDisabledColor(TColor Value) {
  if (FDisabledColor == Value) return;
  FDisabledColor = Value;
  PushToAllControls(fcpDisabledColor);
}

void TRzFrameController::SetFlatButtonColor(TColor Value) {
  if (FFlatButtonColor == Value) return;
  FFlatButtonColor = Value;
  PushToAllControls(fcpFlatButtonColor);
}

void TRzFrameController::SetFlatButtons(bool Value) {
  if (FFlatButtons == Value) return;
  FFlatButtons = Value;
  PushToAllControls(fcpFlatButtons);
}

void TRzFrameController::SetFocusColor(TColor Value) {
  if (FFocusColor == Value) return;
  FFocusColor = Value;
  PushToAllControls(fcpFocusColor);
}

void TRzFrameController::SetFrameColor(TColor Value) {
  if (FFrameColor == Value) return;
  FFrameColor = Value;
  PushToAllControls(fcpFrameColor);
}

void TRzFrameController::SetFrameHotColor(TColor Value) {
  if (FFrameHotColor == Value) return;
  FFrameHotColor = Value;
  PushToAllControls(fcpFrameHotColor);
}

void TRzFrameController::SetFrameHotStyle(TFrameStyle Value) {
  if (FFrameHotStyle == Value) return;
  FFrameHotStyle = Value;
  PushToAllControls(fcpFrameHotStyle);
}

void TRzFrameController::SetFrameHotTrack(bool Value) {
  if (FFrameHotTrack == Value) return;
  FFrameHotTrack = Value;
  if (Value) {
    // Hot tracking shows on the frame, so a frame must be there, all the way round.
    SetFrameVisible(true);
    if (!ComponentState().Contains(csLoading)) FFrameSides = sdAllSides;
  }
  PushToAllControls(fcpFrameHotTrack);
}

void TRzFrameController::SetFrameSides(TSides Value) {
  if (FFrameSides == Value) return;
  FFrameSides = Value;
  PushToAllControls(fcpFrameSides);
}

void TRzFrameController::SetFrameStyle(TFrameStyle Value) {
  if (FFrameStyle == Value) return;
  FFrameStyle = Value;
  PushToAllControls(fcpFrameStyle);
}

void TRzFrameController::SetFrameVisible(bool Value) {
  if (FFrameVisible == Value) return;
  FFrameVisible = Value;
  PushToAllControls(fcpFrameVisible);
}

void TRzFrameController::SetFramingPreference(TFramingPreference Value) {
  if (FFramingPreference == Value) return;
  FFramingPreference = Value;
  PushToAllControls(fcpFramingPreference);
}

void TRzFrameController::SetParentColor(bool Value) {
  if (FParentColor == Value) return;
  FParentColor = Value;
  PushToAllControls(fcpParentColor);
  // Controls that stop taking the parent's colour need the controller's own.
  if (!Value) PushToAllControls(fcpColor);
}

void TRzFrameController::SetReadOnlyColor(TColor Value) {
  if (FReadOnlyColor == Value) return;
  FReadOnlyColor = Value;
  PushToAllControls(fcpReadOnlyColor);
}

void TRzFrameController::SetReadOnlyColorOnFocus(bool Value) {
  if (FReadOnlyColorOnFocus == Value) return;
  FReadOnlyColorOnFocus = Value;
  PushToAllControls(fcpReadOnlyColorOnFocus);
}

void TRzFrameController::SetRegIniFile(TRzRegIniFile* Value) {
  if (FRegIniFile == Value) return;
  FRegIniFile = Value;
  if (Value) Value->FreeNotification(this);
}

void TRzFrameController::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FRegIniFile) FRegIniFile = nullptr;
  // A control freed without detaching must not stay behind as a dangling entry.
  auto It = std::find(FControls.begin(), FControls.end(), AComponent);
  if (It != FControls.end()) FControls.erase(It);
}

void TRzFrameController::AttachControl(TComponent* Control) {
  if (!Control || std::find(FControls.begin(), FControls.end(), Control) != FControls.end()) return;
  FControls.push_back(Control);
  PushSettingToControl(Control, fcpAll);
}

void TRzFrameController::DetachControl(TComponent* Control) {
  auto It = std::find(FControls.begin(), FControls.end(), Control);
  if (It != FControls.end()) FControls.erase(It);
  if (FControls.empty()) FControls.shrink_to_fit();
}

void TRzFrameController::ReleaseUpdates() {
  --FUpdateCount;
  if (FUpdateCount <= 0) {
    FUpdateCount = 0;
    PushToAllControls(fcpAll);
  }
}

void TRzFrameController::PushToAllControls(TRzFrameControllerProperty Prop) {
  if (FUpdateCount > 0) return;
  // A control may detach while it takes a setting, so the list is walked by index.
  for (size_t I = 0; I < FControls.size(); ++I) PushSettingToControl(FControls[I], Prop);
}

void TRzFrameController::PushSettingToControl(TComponent* Control, TRzFrameControllerProperty Prop) {
  if (!dynamic_cast<TControl*>(Control)) return;

  TRzFrameControllerNotifications Notifications = fccAll;
  if (const TPropInfo* Info = GetPropInfo(Control, "FrameControllerNotifications"); Info && Info->GetOrd)
    Notifications = TRzFrameControllerNotifications::FromBits(uint64_t(GetOrdProp(Control, Info)) & 0xFFFF);

  if (auto* Client = dynamic_cast<IRzFrameControllerClient*>(Control)) {
    Client->ApplyFrameControllerSettings();
    return;
  }

  if (Prop != fcpAll) {
    if (Notifications.Contains(Prop)) PushOne(Control, Prop);
    return;
  }
  static constexpr TRzFrameControllerProperty Order[] = {
      fcpParentColor,     fcpColor,         fcpDisabledColor, fcpReadOnlyColor,    fcpReadOnlyColorOnFocus,
      fcpFocusColor,      fcpFlatButtonColor, fcpFlatButtons, fcpFrameColor,       fcpFrameHotColor,
      fcpFrameHotTrack,   fcpFrameHotStyle, fcpFrameSides,    fcpFrameStyle,       fcpFrameVisible,
      fcpFramingPreference};
  for (TRzFrameControllerProperty P : Order) {
    if (P == fcpColor && FParentColor) continue;
    if (Notifications.Contains(P)) PushOne(Control, P);
  }
}

void TRzFrameController::PushOne(TComponent* Control, TRzFrameControllerProperty Prop) {
  switch (Prop) {
    case fcpColor: SetOrdPropIfPublished(Control, "Color", FColor); break;
    case fcpFocusColor: SetOrdPropIfPublished(Control, "FocusColor", FFocusColor); break;
    case fcpDisabledColor: SetOrdPropIfPublished(Control, "DisabledColor", FDisabledColor); break;
    case fcpReadOnlyColor: SetOrdPropIfPublished(Control, "ReadOnlyColor", FReadOnlyColor); break;
    case fcpReadOnlyColorOnFocus:
      SetOrdPropIfPublished(Control, "ReadOnlyColorOnFocus", FReadOnlyColorOnFocus);
      break;
    case fcpParentColor: SetOrdPropIfPublished(Control, "ParentColor", FParentColor); break;
    case fcpFlatButtonColor: SetOrdPropIfPublished(Control, "FlatButtonColor", FFlatButtonColor); break;
    case fcpFlatButtons: SetOrdPropIfPublished(Control, "FlatButtons", FFlatButtons); break;
    case fcpFrameColor: SetOrdPropIfPublished(Control, "FrameColor", FFrameColor); break;
    case fcpFrameHotColor: SetOrdPropIfPublished(Control, "FrameHotColor", FFrameHotColor); break;
    case fcpFrameHotTrack: SetOrdPropIfPublished(Control, "FrameHotTrack", FFrameHotTrack); break;
    case fcpFrameHotStyle: SetOrdPropIfPublished(Control, "FrameHotStyle", FFrameHotStyle); break;
    case fcpFrameSides:
      // Copied by name, so a control whose side set is numbered differently still gets the same sides.
      if (IsPublishedProp(Control, "FrameSides"))
        SetPropertyByName(Control, "FrameSides", GetPropertyByName(this, "FrameSides"));
      break;
    case fcpFrameStyle: SetOrdPropIfPublished(Control, "FrameStyle", FFrameStyle); break;
    case fcpFrameVisible: SetOrdPropIfPublished(Control, "FrameVisible", FFrameVisible); break;
    case fcpFramingPreference:
      SetOrdPropIfPublished(Control, "FramingPreference", FFramingPreference);
      break;
    case fcpAll: break;
  }
}

void TRzFrameController::Assign(TPersistent* Source) {
  auto* Other = dynamic_cast<TRzFrameController*>(Source);
  if (!Other) {
    TComponent::Assign(Source);
    return;
  }
  HoldUpdates();
  SetColor(Other->Color());
  SetDisabledColor(Other->DisabledColor());
  SetFlatButtonColor(Other->FlatButtonColor());
  SetFlatButtons(Other->FlatButtons());
  SetFocusColor(Other->FocusColor());
  SetFrameColor(Other->FrameColor());
  SetFrameHotColor(Other->FrameHotColor());
  SetFrameHotStyle(Other->FrameHotStyle());
  SetFrameHotTrack(Other->FrameHotTrack());
  SetFrameSides(Other->FrameSides());
  SetFrameStyle(Other->FrameStyle());
  SetFrameVisible(Other->FrameVisible());
  SetFramingPreference(Other->FramingPreference());
  SetParentColor(Other->ParentColor());
  SetReadOnlyColor(Other->ReadOnlyColor());
  SetReadOnlyColorOnFocus(Other->ReadOnlyColorOnFocus());
  ReleaseUpdates();
}

void TRzFrameController::Loaded() {
  TComponent::Loaded();
  PushToAllControls(fcpAll);
}

const TPropList& TRzFrameController::PublishedProps() const {
  using C = TRzFrameController;
  static const TPropList List =
      TPublisher<C>(TComponent::PublishedProps())
          .Property("Color", &C::Color, &C::SetColor)
          .Property("DisabledColor", &C::DisabledColor, &C::SetDisabledColor)
          .Property("FlatButtonColor", &C::FlatButtonColor, &C::SetFlatButtonColor)
          .Property("FlatButtons", &C::FlatButtons, &C::SetFlatButtons)
          .Property("FocusColor", &C::FocusColor, &C::SetFocusColor)
          .Property("FrameColor", &C::FrameColor, &C::SetFrameColor)
          .Property("FrameHotColor", &C::FrameHotColor, &C::SetFrameHotColor)
          .Property("FrameHotStyle", &C::FrameHotStyle, &C::SetFrameHotStyle)
          .Property("FrameHotTrack", &C::FrameHotTrack, &C::SetFrameHotTrack)
          .Property("FrameSides", &C::FrameSides, &C::SetFrameSides)
          .Property("FrameStyle", &C::FrameStyle, &C::SetFrameStyle)
          .Property("FrameVisible", &C::FrameVisible, &C::SetFrameVisible)
          .Property("FramingPreference", &C::FramingPreference, &C::SetFramingPreference)
          .Property("ParentColor", &C::ParentColor, &C::SetParentColor)
          .Property("ReadOnlyColor", &C::ReadOnlyColor, &C::SetReadOnlyColor)
          .Property("ReadOnlyColorOnFocus", &C::ReadOnlyColorOnFocus, &C::SetReadOnlyColorOnFocus)
          .Property("RegIniFile", &C::RegIniFile, &C::SetRegIniFile);
  return List;
}

void ChangeFrameController(TComponent* Control, TRzFrameController*& Stored, TRzFrameController* Value) {
  if (Stored == Value) return;
  if (Stored) Stored->DetachControl(Control);
  Stored = Value;
  if (Value) {
    Value->AttachControl(Control);
    Value->FreeNotification(Control);
  }
}

// ---------------------------------------------------------------------------------------------
// TRzBlinkingControlsList
// ---------------------------------------------------------------------------------------------

TRzBlinkingControlsList* BlinkingControlsList = nullptr;

TRzBlinkingControlsList::TRzBlinkingControlsList() : FTimer(std::make_unique<TTimer>(nullptr)) {
  FTimer->SetInterval(FBlinkIntervalOff);
  FTimer->OnTimer = [this](TObject*) { Blink(); };
  FTimer->SetEnabled(true);
}

TRzBlinkingControlsList::~TRzBlinkingControlsList() = default;

void TRzBlinkingControlsList::AttachControl(TControl* Control) { FControls.push_back(Control); }

void TRzBlinkingControlsList::DetachControl(TControl* Control) {
  auto It = std::find(FControls.begin(), FControls.end(), Control);
  if (It != FControls.end()) FControls.erase(It);
}

uint32_t TRzBlinkingControlsList::CurrentInterval() const { return FTimer->Interval(); }

void TRzBlinkingControlsList::Blink() {
  if (FBlinkState == 0) {
    FBlinkState = 1;
    FTimer->SetInterval(FBlinkIntervalOn);
  } else {
    FBlinkState = 0;
    FTimer->SetInterval(FBlinkIntervalOff);
  }
  // Walked by index: a control may leave the list while it repaints.
  for (size_t I = 0; I < FControls.size(); ++I) {
    TControl* Control = FControls[I];
    if (Control->Perform(CM_BLINKQUERY, 0, 0) == 1) Control->Perform(CM_BLINKSTATE, FBlinkState, 0);
  }
}

TRzBlinkingControlsList* NeedBlinkingControlsList() {
  if (!BlinkingControlsList) BlinkingControlsList = new TRzBlinkingControlsList;
  return BlinkingControlsList;
}

void ReleaseBlinkingListWhenEmpty() {
  if (BlinkingControlsList && BlinkingControlsList->Count() == 0) {
    delete BlinkingControlsList;
    BlinkingControlsList = nullptr;
  }
}

// ---------------------------------------------------------------------------------------------
// Fonts, captions, designer, published properties
// ---------------------------------------------------------------------------------------------

HFONT CreateRotatedFont(TFont* Font, int32_t Angle) {
  LOGFONT LogFont{};
  LogFont.lfHeight = Font->Height();
  LogFont.lfWidth = 0;
  LogFont.lfEscapement = Angle * 10;
  LogFont.lfOrientation = 0;
  const TFontStyles Style = Font->Style();
  LogFont.lfWeight = Style.Contains(fsBold) ? 700 : 400;
  LogFont.lfItalic = Style.Contains(fsItalic) ? 1 : 0;
  LogFont.lfUnderline = Style.Contains(fsUnderline) ? 1 : 0;
  LogFont.lfStrikeOut = Style.Contains(fsStrikeOut) ? 1 : 0;
  LogFont.lfCharSet = Font->Charset();
  switch (Font->Pitch()) {
    case fpVariable: LogFont.lfPitchAndFamily = VARIABLE_PITCH; break;
    case fpFixed: LogFont.lfPitchAndFamily = FIXED_PITCH; break;
    default: LogFont.lfPitchAndFamily = DEFAULT_PITCH; break;
  }
  // The face name field holds 31 bytes and a terminator; a longer name is cut on a character boundary.
  const std::string Name = Font->Name();
  size_t Length = std::min(Name.size(), size_t(LF_FACESIZE - 1));
  if (Length < Name.size())
    while (Length > 0 && (static_cast<unsigned char>(Name[Length]) & 0xC0) == 0x80) --Length;
  std::memcpy(LogFont.lfFaceName, Name.data(), Length);
  LogFont.lfFaceName[Length] = '\0';
  return CreateFontIndirect(&LogFont);
}

namespace {

// The text metrics of Font on the screen; false when they cannot be read.
bool ScreenFontMetrics(TFont* Font, TEXTMETRIC& Metrics) {
  HDC DC = GetDC(nullptr);
  if (!DC) return false;
  HGDIOBJ Old = SelectObject(DC, Font->Handle());
  const bool Ok = GetTextMetrics(DC, &Metrics);
  SelectObject(DC, Old);
  ReleaseDC(nullptr, DC);
  return Ok;
}

}  // namespace

bool FontIsTrueType(TFont* Font) {
  TEXTMETRIC Metrics;
  return ScreenFontMetrics(Font, Metrics) && (Metrics.tmPitchAndFamily & TMPF_TRUETYPE) != 0;
}

int32_t FontRowHeight(TFont* Font) {
  TEXTMETRIC Metrics;
  ScreenFontMetrics(Font, Metrics);
  return Metrics.tmHeight + 2;
}

std::string StripAccelMarkers(const std::string& Caption) {
  std::string Result;
  if (Caption.empty()) return Result;
  Result.reserve(Caption.size());
  for (size_t I = 0; I + 1 < Caption.size(); ++I) {
    if (Caption[I] != '&')
      Result += Caption[I];
    else if (Caption[I + 1] == '&')
      Result += '&';
  }
  Result += Caption.back();
  return Result;
}

namespace {

// The character after a single '&' in a caption, lower case; 0 when there is none.
char AccelChar(const std::string& Caption) {
  for (size_t I = 0; I + 1 < Caption.size(); ++I) {
    if (Caption[I] != '&') continue;
    if (Caption[I + 1] == '&') {
      ++I;
      continue;
    }
    return char(std::tolower(static_cast<unsigned char>(Caption[I + 1])));
  }
  return 0;
}

}  // namespace

bool IsAccelKey(const TMessage& Message, const std::string& Caption) {
  char A = AccelChar(Caption);
  return A && char(std::tolower(int(Message.WParam & 0xFF))) == A;
}

void NotifyDesignerModified(TControl* Control) {
  if (!Control) return;
  const TComponentState State = Control->ComponentState();
  if (!State.Contains(csDesigning)) return;
  if (State.Contains(csLoading) || State.Contains(csReading) || State.Contains(csWriting) ||
      State.Contains(csDestroying) || State.Contains(csUpdating) || State.Contains(csFixups))
    return;
  // No form here ever has a designer to tell.
}

void SetOrdPropIfPublished(TPersistent* Component, std::string_view PropName, int64_t Value) {
  if (!Component) return;
  const TPropInfo* Info = GetPropInfo(Component, PropName);
  if (Info && Info->SetOrd) SetOrdProp(Component, Info, Value);
}

}  // namespace zv
