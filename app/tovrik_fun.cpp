#include "app/tovrik_fun.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

#include "platform/backend.h"
#include "platform/forms.h"
#include "platform/inifiles.h"
#include "platform/lists.h"
#include "platform/sysutils.h"

namespace zv {

// ---------------------------------------------------------------------------------------------
// Time and geometry
// ---------------------------------------------------------------------------------------------

std::string FormatTimeStamp(int64_t Microseconds) {
  const int64_t Seconds = Microseconds / 1000000;
  const long long Hours = Seconds / 60 / 60;
  const long long Minutes = Seconds / 60 % 60;
  const long long Secs = Seconds % 60;
  const long long Millis = Microseconds % 1000000 * 1000 / 1000000;
  char Buffer[64];
  std::snprintf(Buffer, sizeof Buffer, "%.2lld:%.2lld:%.2lld.%.3lld", Hours, Minutes, Secs, Millis);
  return Buffer;
}

namespace {
// Half of the free space, rounded half to even; a degenerate rectangle leaves nothing free.
int32_t HalfMargin(double Free) {
  const double C = std::nearbyint(Free / 2);
  if (!std::isfinite(C) || C > std::numeric_limits<int32_t>::max() || C < std::numeric_limits<int32_t>::min())
    return 0;
  return static_cast<int32_t>(C);
}
}  // namespace

TRect FitRect(const TRect& Src, const TRect& Dst) {
  const double A = double(Src.Width()) / double(Dst.Width());
  const double B = double(Src.Height()) / double(Dst.Height());
  TRect R;
  if (A >= B) {
    const int32_t C = HalfMargin(Dst.Height() - Src.Height() / A);
    R.Left = Dst.Left;
    R.Right = Dst.Right;
    R.Top = Dst.Top + C;
    R.Bottom = Dst.Bottom - C;
  } else {
    const int32_t C = HalfMargin(Dst.Width() - Src.Width() / B);
    R.Top = Dst.Top;
    R.Bottom = Dst.Bottom;
    R.Left = Dst.Left + C;
    R.Right = Dst.Right - C;
  }
  return R;
}

// ---------------------------------------------------------------------------------------------
// Languages
// ---------------------------------------------------------------------------------------------

const TLanguageInfo Languages[LanguageCount] = {
    {LangEnglish, "PM_English", "English", "Languages/English.isl", 0},
    {LangSpanish, "PM_Spanish", "Spanish", "Languages/Spanish.isl", 1},
    {LangGerman, "PM_German", "German", "Languages/German.isl", 2},
    {LangItalian, "PM_Italian", "Italian", "Languages/Italian.isl", 3},
    {LangFrench, "PM_French", "French", "Languages/French.isl", 4},
    {LangChinese, "PM_Chinese", "Chinese simplified", "Languages/Chinese.isl", 5},
    {LangJapanese, "PM_Japanese", "Japanese", "Languages/Japanese.isl", 6},
};

const TLanguageInfo& LanguageInfo(uint8_t Id) {
  if (Id < LangSpanish || Id > LangJapanese) return Languages[0];
  return Languages[Id - 1];
}

const TMessageKey MessageKeys[9] = {
    {"MS_Error", "Error", &TMessageTexts::MS_Error},
    {"MS_ErrorLib", "Can not load library!", &TMessageTexts::MS_ErrorLib},
    {"MS_ReadyStr", "Ready", &TMessageTexts::MS_ReadyStr},
    {"MS_NAStr", "N/A", &TMessageTexts::MS_NAStr},
    {"MS_VideoWidth", "Frame Width", &TMessageTexts::MS_VideoWidth},
    {"MS_VideoHeight", "Frame Height", &TMessageTexts::MS_VideoHeight},
    {"MS_Info", "Information", &TMessageTexts::MS_Info},
    {"MS_InfoCancel", "Really want to cancel?", &TMessageTexts::MS_InfoCancel},
    {"MS_ErrorHelp", "The help cannot be shown: no program to open it could be started.", &TMessageTexts::MS_ErrorHelp},
};

void LoadMessages(const std::string& FileName, TMessageTexts& Texts) {
  TIniFile Ini(FileName);
  for (const TMessageKey& Key : MessageKeys) Texts.*Key.Field = Ini.ReadString(MessagesSection, Key.Key, Key.BuiltIn);
}

void SplitString(const std::string& Text, const std::string& Separator, TStrings* List) {
  List->Clear();
  if (Separator.empty()) {
    if (!Text.empty()) List->Add(Text);
    return;
  }
  size_t Start = 0;
  for (size_t At = Text.find(Separator); At != std::string::npos; At = Text.find(Separator, Start)) {
    List->Add(Text.substr(Start, At - Start));
    Start = At + Separator.size();
  }
  if (Start < Text.size()) List->Add(Text.substr(Start));
}

void SetComponentProperty(TPersistent* Component, const std::string& Name, const std::string& Value) {
  if (!Component) return;
  // A plain name only: a dotted path ("Font.Name") names no property of the component itself.
  const TPropInfo* Prop = Component->PublishedProps().Find(Name);
  if (!Prop || !Prop->Writable) return;
  switch (Prop->Kind) {
    case tkInteger:
      SetOrdProp(Component, Prop, StrToInt(Value));
      break;
    case tkString:
      SetStrProp(Component, Prop, Value);
      break;
    case tkClass:
      if (Prop->TypeName == "TStrings") {
        TStringList Lines;
        SplitString(Value, "||", &Lines);
        SetObjectProp(Component, Prop, &Lines);  // the setter copies the lines
      }
      break;
    default:
      break;
  }
}

bool ApplyLanguageStrings(TComponent* Form, const std::string& FileName) {
  TStringList Lines;
  {
    TIniFile Ini(FileName);
    Ini.ReadSectionValues(Form->Name(), &Lines);
  }
  TStringList Parts;
  try {
    for (int I = 0; I < Lines.Count(); ++I) {
      SplitString(Lines.Strings(I), "=", &Parts);
      // A line without a value has no second part; like any other failure it ends the section.
      if (Parts.Count() < 2) break;
      const std::string Key = Trim(Parts.Strings(0));
      const size_t Dot = Key.find('.');
      const std::string ComponentName = Dot == std::string::npos ? std::string() : Trim(Key.substr(0, Dot));
      const std::string PropName = Dot == std::string::npos ? Key : Trim(Key.substr(Dot + 1));
      TComponent* Target = ComponentName.empty() ? Form : Form->FindComponent(ComponentName);
      SetComponentProperty(Target, PropName, Parts.Strings(1));
    }
  } catch (const std::exception&) {
    // A language file never stops the program; what was applied so far stays.
  }
  return true;
}

std::string GetLocaleText(uint32_t Item) {
  char Buffer[20] = {};
  const int Result = GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, Item, Buffer, 19);
  if (Result <= 0) return {};
  return std::string(Buffer);
}

uint8_t DetectLanguageId() {
  const std::string Name = LowerCase(GetLocaleText(LOCALE_SENGLANGUAGE));
  static constexpr struct {
    const char* Word;
    uint8_t Id;
  } Words[] = {{"english", LangEnglish}, {"german", LangGerman},   {"spanish", LangSpanish}, {"french", LangFrench},
               {"italian", LangItalian}, {"chinese", LangChinese}, {"japan", LangJapanese}};
  for (const auto& W : Words)
    if (Name.find(W.Word) != std::string::npos) return W.Id;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Documents
// ---------------------------------------------------------------------------------------------

bool OpenUrl(const std::string& Target) {
  if (Trim(Target).empty()) return true;
  // The desktop has no "open with" chooser to fall back on; the caller tells the user.
  return OpenWithDefaultProgram(Target);
}

std::string ProductHelpPage(const std::string& AppFolder, uint8_t LanguageId) {
  (void)LanguageId;  // one README serves every language
  return AppFolder + "README.md";
}

std::string MakerHomePage(const std::string& AppFolder) { return AppFolder + "README.md"; }

}  // namespace zv
