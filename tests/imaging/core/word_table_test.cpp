#include "imaging/core/word_table.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "imaging/core/library_startup.h"
#include "platform/forms.h"

using namespace zv;

namespace {

class WordTableTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { LibraryStartup(); }
  static void TearDownTestSuite() { LibraryShutdown(); }
  void TearDown() override { SetSysLocale(TSysLocale{}); }
};

TEST_F(WordTableTest, LookupsByLanguageAndSystemLocale) {
  struct Case {
    int32_t Id;
    TMsgLanguage Language;
    TSysLocale Locale;  // the start-up locale, for msSystem
    const char* Word;
  };
  const TSysLocale English{LANG_ENGLISH, SUBLANG_DEFAULT};
  const Case Cases[] = {
      {3, msSpanish, English, "Aceptar"},
      {0, msSpanish, English, "Vista Previa"},
      {4, msGerman, English, "Abbrechen"},
      {0, msFrench, English, "Prévisualisation"},
      {3, msUser, English, "OK"},  // the user row is empty: English
      {123, msPolish, English, "Rate"},
      // An empty word falls back to English under msSystem too, so no caption is empty.
      {123, msSystem, {LANG_POLISH, SUBLANG_DEFAULT}, "Rate"},
      {4, msSystem, {LANG_POLISH, SUBLANG_DEFAULT}, "Anuluj"},
      {0, msSystem, {LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED}, "预览"},
      {0, msSystem, {LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL}, "預覽"},
      {0, msSystem, {LANG_CHINESE, SUBLANG_CHINESE_HONGKONG}, "Preview"},
      {0, msSystem, {LANG_HEBREW, SUBLANG_DEFAULT}, "Preview"},
      {4, msSystem, {LANG_FARSI, SUBLANG_DEFAULT}, "انصراف"},
      {0, msSystem, {LANG_JAPANESE, SUBLANG_DEFAULT}, "プレビュー"},
      {4, msGreek, English, "Άκυρο"},
      {3, msGreek, English, "ΟΚ"},
      {4, msRussian, English, "Отмена"},
      {4, msTurkish, English, "İptal"},
      {3, msKorean, English, "확인"},
      {0, msHungarian, English, "Előnézet"},
      {0, msPolish, English, "Podgląd"},
      {11, msEnglish, English, "Value"},
      {103, msEnglish, English, "Value"},
      {128, msEnglish, English, "Automatically updates your preview with the changes you have selected"},
      {145, msEnglish, English, "Fit"},
      {146, msEnglish, English, ""},
      {-1, msEnglish, English, ""},
  };
  for (const Case& C : Cases) {
    SetSysLocale(C.Locale);
    EXPECT_EQ(LookupWord(C.Id, C.Language), C.Word) << C.Id << " in " << int(C.Language);
  }
}

TEST_F(WordTableTest, SystemLocaleRows) {
  struct Case {
    uint16_t Primary, Sub;
    TMsgLanguage Row;
  };
  const Case Cases[] = {
      {4, 1, msChineseTraditional}, {4, 2, msChinese}, {4, 3, msEnglish}, {4, 4, msEnglish}, {5, 1, msCzech},
      {6, 1, msDanish},    {7, 1, msGerman},   {7, 3, msGerman},    {8, 1, msGreek},     {9, 1, msEnglish},
      {10, 3, msSpanish},  {11, 1, msFinnish}, {12, 1, msFrench},   {13, 1, msEnglish},  {14, 1, msHungarian},
      {16, 1, msItalian},  {17, 1, msJapanese}, {18, 1, msKorean},  {19, 1, msDutch},    {21, 1, msPolish},
      {22, 2, msPortuguese}, {25, 1, msRussian}, {29, 1, msSwedish}, {31, 1, msTurkish}, {41, 1, msFarsi},
      {1, 1, msEnglish},   {0, 0, msEnglish},
  };
  for (const Case& C : Cases) EXPECT_EQ(LanguageOfLocale(C.Primary, C.Sub), C.Row) << C.Primary << "/" << C.Sub;
}

TEST_F(WordTableTest, ApplicationLanguagesHaveEveryWordInTheirCodePage) {
  // The application's languages have a word of their own for every id; each word is a text of its
  // row's code page, so the table holds nothing the page could not have held.
  struct Row {
    TMsgLanguage Language;
    const char* CodePage;
  };
  const Row Rows[] = {{msEnglish, "CP1252"}, {msItalian, "CP1252"}, {msGerman, "CP1252"}, {msSpanish, "CP1252"},
                      {msFrench, "CP1252"},  {msJapanese, "CP932"}, {msChinese, "CP936"}};
  for (const Row& R : Rows) {
    iconv_t Cd = iconv_open(R.CodePage, "UTF-8");
    ASSERT_NE(Cd, iconv_t(-1));
    int Translated = 0;
    for (int32_t Id = 0; Id < WordTableIds; ++Id) {
      std::string Word = LookupWord(Id, R.Language);
      ASSERT_FALSE(Word.empty());
      if (Word != LookupWord(Id, msEnglish)) ++Translated;
      char Out[512];
      char* In = Word.data();
      size_t InLeft = Word.size();
      char* OutPtr = Out;
      size_t OutLeft = sizeof Out;
      EXPECT_NE(iconv(Cd, &In, &InLeft, &OutPtr, &OutLeft), size_t(-1)) << Word;
      EXPECT_EQ(Word.find("\xEF\xBF\xBD"), std::string::npos) << Word;
    }
    iconv_close(Cd);
    // Words such as "Normal" or "RGB" may read the same; a row that fell back to English would not.
    if (R.Language != msEnglish) {
      EXPECT_GT(Translated, 100) << int(R.Language);
    }
  }
}

TEST_F(WordTableTest, StoreWordOutsideTheTableChangesNothing) {
  StoreWord(msUser, 5, "Mine");
  StoreWord(msUser, WordTableIds, "Outside");
  StoreWord(WordTableLanguages, 0, "Outside");
  StoreWord(-1, 0, "Outside");
  EXPECT_EQ(LookupWord(5, msUser), "Mine");
  EXPECT_EQ(LookupWord(0, msUser), "Preview");
  StoreWord(msUser, 5, "");
  EXPECT_EQ(LookupWord(5, msUser), "Lock preview");
}

}  // namespace
