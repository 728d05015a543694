// The interface languages: applying a language file to a form by component name, the seven shipped
// files, the message texts, the choice of language from the system locale, and the helpers of the
// same unit (splitting, time text, rectangle fitting).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/settings.h"
#include "app/tovrik_fun.h"
#include "platform/backend.h"
#include "platform/forms.h"
#include "platform/inifiles.h"
#include "platform/lists.h"
#include "platform/menus.h"
#include "platform/std_combo.h"
#include "platform/std_controls.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

std::string TempFile(const std::string& Name, const std::string& Text) {
  const std::string Path = std::string(ZV_TEST_TMP) + "/app_languages_" + Name;
  std::ofstream(Path, std::ios::binary) << Text;
  return Path;
}

std::string Joined(TStrings* List) {
  std::string S;
  for (int I = 0; I < List->Count(); ++I) {
    if (I) S += '|';
    S += List->Strings(I);
  }
  return S;
}

std::vector<std::string> SplitAll(const std::string& Text, const std::string& Sep) {
  TStringList L;
  SplitString(Text, Sep, &L);
  std::vector<std::string> V;
  for (int I = 0; I < L.Count(); ++I) V.push_back(L.Strings(I));
  return V;
}

// ---------------------------------------------------------------------------------------------
// Applying a form section
// ---------------------------------------------------------------------------------------------

// A small stand-in for the main window: the form's name and a few of its components' names.
class LanguageFormTest : public ::testing::Test {
protected:
  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetName("FrmZonvark");
    LabelWait = new TLabel(Form);
    LabelWait->SetName("LabelWait");
    LabelWait->SetCaption("Processing......");
    BtnOpen = new TButton(Form);
    BtnOpen->SetName("BtnOpen");
    BtnOpen->SetCaption("Open");
    ComboBoxColor = new TComboBox(Form);
    ComboBoxColor->SetName("ComboBoxColor");
    ComboBoxColor->SetParent(Form);
    for (const char* Item : {"4 color", "8 color", "16 color", "32 color", "64 color"}) ComboBoxColor->Items()->Add(Item);
    ComboBoxColor->SetItemIndex(2);
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
  }
  std::string Apply(const std::string& Section) {
    const std::string Path = TempFile("form.isl", "[Messages]\nMS_Error=x\n\n[FrmZonvark]\n" + Section);
    EXPECT_TRUE(ApplyLanguageStrings(Form, Path));
    return Path;
  }

  TForm* Form = nullptr;
  TLabel* LabelWait = nullptr;
  TButton* BtnOpen = nullptr;
  TComboBox* ComboBoxColor = nullptr;
};

TEST_F(LanguageFormTest, LinesSetCaptionsItemsAndIntegersByComponentName) {
  Apply(
      "LabelWait.Caption=Bitte warten\n"
      "Caption=Hauptfenster\n"
      " BtnOpen . Hint = Datei öffnen\n"
      "ComboBoxColor.Items=4||16||256\n"
      "LabelWait.Width=120\n"
      "BtnOpen.Tag=$10\n");
  EXPECT_EQ(LabelWait->Caption(), "Bitte warten");
  EXPECT_EQ(Form->Caption(), "Hauptfenster");  // a key without a dot names the form itself
  EXPECT_EQ(BtnOpen->Hint(), "Datei öffnen");
  EXPECT_EQ(Joined(ComboBoxColor->Items()), "4|16|256");
  EXPECT_EQ(LabelWait->Width(), 120);
  EXPECT_EQ(BtnOpen->Tag(), 16);
}

TEST_F(LanguageFormTest, UnknownNamesDottedPathsAndOtherKindsAreSkipped) {
  const std::string FontName = LabelWait->Font()->Name();
  Apply(
      "NoSuchLabel.Caption=x\n"
      "LabelWait.NoSuchProperty=x\n"
      "LabelWait.Font.Name=Arial\n"
      "BtnOpen.Enabled=False\n"
      "BtnOpen.Caption=Öffnen\n");
  EXPECT_EQ(LabelWait->Font()->Name(), FontName);
  EXPECT_TRUE(BtnOpen->Enabled());
  EXPECT_EQ(BtnOpen->Caption(), "Öffnen");  // lines after the skipped ones still apply
}

TEST_F(LanguageFormTest, TheFirstFailingLineEndsTheSectionAndEarlierLinesStay) {
  for (const char* Failing : {"LabelWait.Width=abc\n", "LabelWait.Caption=\n", "LabelWait.Width=99999999999\n"}) {
    SCOPED_TRACE(Failing);
    LabelWait->SetCaption("Processing......");
    BtnOpen->SetCaption("Open");
    Apply(std::string("BtnOpen.Caption=Öffnen\n") + Failing + "LabelWait.Caption=Bitte warten\n");
    EXPECT_EQ(BtnOpen->Caption(), "Öffnen");
    EXPECT_EQ(LabelWait->Caption(), "Processing......");
  }
}

TEST_F(LanguageFormTest, AValueEndsAtTheNextEqualsSign) {
  Apply("LabelWait.Caption=a=b\n");
  EXPECT_EQ(LabelWait->Caption(), "a");
}

TEST_F(LanguageFormTest, AMissingFileOrSectionChangesNothing) {
  EXPECT_TRUE(ApplyLanguageStrings(Form, std::string(ZV_TEST_TMP) + "/no_such_language.isl"));
  Form->SetName("OtherForm");
  Apply("LabelWait.Caption=Bitte warten\n");
  EXPECT_EQ(LabelWait->Caption(), "Processing......");
}

TEST(SplitStringTest, PartsAreKeptAsTheyAreAndOnlyAnEmptyLastPartIsDropped) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitAll("a||b||", "||"), (V{"a", "b"}));
  EXPECT_EQ(SplitAll("a||||b", "||"), (V{"a", "", "b"}));
  EXPECT_EQ(SplitAll("", "||"), V{});
  EXPECT_EQ(SplitAll("||a", "||"), (V{"", "a"}));
  EXPECT_EQ(SplitAll(" a = b ", "="), (V{" a ", " b "}));
  EXPECT_EQ(SplitAll("a|b", "||"), (V{"a|b"}));
  TStringList L;
  L.Add("old");
  SplitString("x", "||", &L);
  EXPECT_EQ(Joined(&L), "x");  // the list is cleared first
}

// ---------------------------------------------------------------------------------------------
// The seven shipped files
// ---------------------------------------------------------------------------------------------

const std::string kLanguagesDir = std::string(ZV_APP_BIN_DIR) + "/";

// The components of the main window that show a caption, hint or items.
const std::set<std::string> kWindowComponents = {
    "LabelLanguage", "BtnSysMinSize", "BtnSysClose",     "BtnOpen",       "BtnSave",        "BtnHelp",
    "LabelVideo",    "BtnPrvKeyFrame", "BtnNextFrame",   "BtnNextKeyFrame", "LabelWait",    "BtnCancel",
    "LabelClip",     "BtnSetStart",   "BtnSetEnd",       "BtnGoToStart",  "BtnGoToEnd",     "LabelGif",
    "ComboBoxSize",  "SpinEditWidth", "SpinEditHeight",  "RadioGroupResize", "ComboBoxSpeed", "ComboBoxFrameCount",
    "ComboBoxColor", "LabelGifLoop",  "LabelGifSize",    "LabelGifWidth", "LabelGifHeight", "LabelGifSpeed",
    "LabelGifFrame", "LabelGifColor", "PM_English",      "PM_Spanish",    "PM_German",      "PM_Italian",
    "PM_French",     "PM_Chinese",    "PM_Japanese"};

std::vector<std::string> SectionKeys(const std::string& Path, const std::string& Section) {
  TMemIniFile Ini(Path);
  TStringList Keys;
  Ini.ReadSection(Section, &Keys);
  std::vector<std::string> V;
  for (int I = 0; I < Keys.Count(); ++I) V.push_back(Keys.Strings(I));
  return V;
}

TEST(LanguageFilesTest, EveryFileHasTheKnownKeysAndEveryKeyEnglishHas) {
  const std::string English = kLanguagesDir + LanguageInfo(LangEnglish).FileName;
  const std::vector<std::string> EnglishForm = SectionKeys(English, "FrmZonvark");
  ASSERT_GE(EnglishForm.size(), 30u);
  for (const std::string& Key : EnglishForm) {
    const size_t Dot = Key.find('.');
    ASSERT_NE(Dot, std::string::npos) << Key;
    EXPECT_TRUE(kWindowComponents.count(Key.substr(0, Dot))) << Key;
    const std::string Prop = Key.substr(Dot + 1);
    EXPECT_TRUE(Prop == "Caption" || Prop == "Hint" || Prop == "Items") << Key;
  }
  std::vector<std::string> MessageNames;
  for (const TMessageKey& K : MessageKeys) MessageNames.push_back(K.Key);

  for (const TLanguageInfo& Info : Languages) {
    SCOPED_TRACE(Info.FileName);
    const std::string Path = kLanguagesDir + Info.FileName;
    ASSERT_TRUE(FileExists(Path));
    TMemIniFile Ini(Path);
    TStringList Sections;
    Ini.ReadSections(&Sections);
    EXPECT_EQ(Joined(&Sections), "Messages|FrmZonvark");
    EXPECT_EQ(SectionKeys(Path, "Messages"), MessageNames);
    EXPECT_EQ(SectionKeys(Path, "FrmZonvark"), EnglishForm);
    for (const std::string& Key : EnglishForm) {
      const std::string Value = Ini.ReadString("FrmZonvark", Key, "");
      EXPECT_FALSE(Value.empty()) << Key;
      EXPECT_EQ(Value.find('='), std::string::npos) << Key;
    }
  }
}

TEST(LanguageFilesTest, TheEnglishMessagesAreTheBuiltInTexts) {
  TMessageTexts Texts;
  LoadMessages(kLanguagesDir + LanguageInfo(LangEnglish).FileName, Texts);
  for (const TMessageKey& K : MessageKeys) EXPECT_EQ(Texts.*K.Field, K.BuiltIn) << K.Key;
}

TEST(LanguageFilesTest, AMissingMessageKeyOrFileGivesTheBuiltInText) {
  TMessageTexts Texts;
  LoadMessages(TempFile("partial.isl", "[Messages]\nMS_NAStr=k. A.\n"), Texts);
  EXPECT_EQ(Texts.MS_NAStr, "k. A.");
  EXPECT_EQ(Texts.MS_InfoCancel, "Really want to cancel?");
  LoadMessages(std::string(ZV_TEST_TMP) + "/no_such_language.isl", Texts);
  EXPECT_EQ(Texts.MS_NAStr, "N/A");
}

// Each file applied to a form with components of the main window's names sets every text it
// carries, down to its last line, and each language reads differently from English.
TEST(LanguageFilesTest, EachFileSwitchesEveryTextOfTheWindow) {
  const std::string English = kLanguagesDir + LanguageInfo(LangEnglish).FileName;
  const std::vector<std::string> Keys = SectionKeys(English, "FrmZonvark");
  TMemIniFile EnglishIni(English);
  for (const TLanguageInfo& Info : Languages) {
    SCOPED_TRACE(Info.FileName);
    TForm Form(nullptr);
    Form.SetName("FrmZonvark");
    std::map<std::string, TComponent*> Made;
    for (const std::string& Key : Keys) {
      const std::string Name = Key.substr(0, Key.find('.'));
      if (Made.count(Name)) continue;
      TComponent* C;
      if (Name.rfind("PM_", 0) == 0) {
        C = new TMenuItem(&Form);
      } else if (Key.ends_with(".Items")) {
        auto* Combo = new TComboBox(&Form);
        Combo->SetParent(&Form);
        C = Combo;
      } else {
        C = new TLabel(&Form);
      }
      C->SetName(Name);
      Made[Name] = C;
    }
    const std::string Path = kLanguagesDir + Info.FileName;
    ApplyLanguageStrings(&Form, Path);
    TMemIniFile Ini(Path);
    int Differing = 0;
    for (const std::string& Key : Keys) {
      const std::string Prop = Key.substr(Key.find('.') + 1);
      const std::string Expected = Ini.ReadString("FrmZonvark", Key, "");
      std::string Actual;
      TComponent* C = Made[Key.substr(0, Key.find('.'))];
      if (Prop == "Items") {
        TStringList Lines;
        SplitString(Expected, "||", &Lines);
        EXPECT_EQ(Joined(static_cast<TComboBox*>(C)->Items()), Joined(&Lines)) << Key;
      } else {
        EXPECT_EQ(GetPropertyByName(C, Prop), Expected) << Key;
      }
      if (Expected != EnglishIni.ReadString("FrmZonvark", Key, "")) ++Differing;
    }
    if (Info.Id != LangEnglish) {
      EXPECT_GE(Differing, 25) << "looks untranslated";
    }
  }
}

TEST(LanguageFilesTest, IdsOutsideTheTableUseTheEnglishFile) {
  EXPECT_STREQ(LanguageInfo(0).FileName, "Languages/English.isl");
  EXPECT_STREQ(LanguageInfo(8).FileName, "Languages/English.isl");
  EXPECT_STREQ(LanguageInfo(LangChinese).FileName, "Languages/Chinese.isl");
  EXPECT_STREQ(LanguageInfo(LangChinese).MenuItemName, "PM_Chinese");
  EXPECT_EQ(LanguageInfo(LangJapanese).FlagIndex, 6);
}

// ---------------------------------------------------------------------------------------------
// The system's language
// ---------------------------------------------------------------------------------------------

class LocaleTest : public ::testing::Test {
protected:
  void SetLocale(const char* Name) {
    setenv("LC_ALL", Name, 1);
    unsetenv("LC_MESSAGES");
    unsetenv("LANG");
  }
  void TearDown() override {
    if (Saved)
      setenv("LC_ALL", Saved->c_str(), 1);
    else
      unsetenv("LC_ALL");
  }
  std::optional<std::string> Saved = getenv("LC_ALL") ? std::optional<std::string>(getenv("LC_ALL")) : std::nullopt;
};

TEST_F(LocaleTest, TheSystemLanguageNamePicksTheInterfaceLanguage) {
  const std::vector<std::pair<const char*, uint8_t>> Cases = {
      {"en_GB.UTF-8", LangEnglish}, {"es_ES.UTF-8", LangSpanish}, {"de_AT.UTF-8", LangGerman},
      {"it_IT.UTF-8", LangItalian}, {"fr_CA.UTF-8", LangFrench},  {"zh_CN.UTF-8", LangChinese},
      {"ja_JP.UTF-8", LangJapanese}, {"el_GR.UTF-8", 0},          {"ru_RU.UTF-8", 0},
  };
  for (const auto& [Locale, Id] : Cases) {
    SCOPED_TRACE(Locale);
    SetLocale(Locale);
    EXPECT_EQ(DetectLanguageId(), Id);
  }
  SetLocale("de_DE.UTF-8");
  EXPECT_EQ(GetLocaleText(LOCALE_SENGLANGUAGE), "German");
  EXPECT_EQ(GetLocaleText(0x1234), "");  // an item the system cannot answer
}

// A first start: no settings file, so no stored language, and the locale decides.
TEST_F(LocaleTest, AFirstStartWithoutSettingsTakesTheLanguageFromTheLocale) {
  const std::string Missing = std::string(ZV_TEST_TMP) + "/app_languages_no_options.ini";
  std::remove(Missing.c_str());
  const TAppOptions O = LoadOptions(Missing);
  ASSERT_EQ(O.LanguageId, 0);
  SetLocale("fr_FR.UTF-8");
  EXPECT_EQ(DetectLanguageId(), LangFrench);
  SetLocale("ja_JP.UTF-8");
  EXPECT_EQ(DetectLanguageId(), LangJapanese);
}

// ---------------------------------------------------------------------------------------------
// Time text and rectangle fitting
// ---------------------------------------------------------------------------------------------

TEST(TimeStampTest, MicrosecondsReadAsHoursMinutesSecondsAndMilliseconds) {
  const std::vector<std::pair<int64_t, const char*>> Cases = {
      {0, "00:00:00.000"},
      {999, "00:00:00.000"},  // below a millisecond
      {1999, "00:00:00.001"},
      {1500000, "00:00:01.500"},
      {61234567, "00:01:01.234"},
      {3599999999, "00:59:59.999"},
      {3600000000, "01:00:00.000"},
      {int64_t(100) * 3600000000 + 5000, "100:00:00.005"},  // hours do not wrap at 24
  };
  for (const auto& [T, Text] : Cases) EXPECT_EQ(FormatTimeStamp(T), Text) << T;
}

TEST(FitRectTest, TheSourceShapeIsCentredInTheDestination) {
  // 640 x 360 in the 367 x 180 preview: full height; the bars are Round(23.5) = 24, half to even.
  EXPECT_EQ(FitRect(TRect(0, 0, 640, 360), TRect(0, 0, 367, 180)), TRect(24, 0, 343, 180));
  // A wide source: full width, bars above and below.
  const TRect Wide = FitRect(TRect(0, 0, 1920, 800), TRect(0, 0, 367, 180));
  EXPECT_EQ(Wide.Left, 0);
  EXPECT_EQ(Wide.Right, 367);
  EXPECT_EQ(Wide.Top, 14);  // Round((180 - 152.9) / 2)
  EXPECT_EQ(Wide.Bottom, 180 - 14);
  // Tall source: full height, bars left and right, symmetric.
  const TRect Tall = FitRect(TRect(0, 0, 360, 640), TRect(10, 20, 377, 200));
  EXPECT_EQ(Tall.Top, 20);
  EXPECT_EQ(Tall.Bottom, 200);
  EXPECT_EQ(Tall.Left - 10, 377 - Tall.Right);
  EXPECT_EQ(Tall.Left, 10 + 133);  // Round((367 - 101.25) / 2) = Round(132.875)
  // An empty destination gives no undefined arithmetic.
  FitRect(TRect(0, 0, 0, 0), TRect(0, 0, 0, 0));
}

}  // namespace
}  // namespace zv
