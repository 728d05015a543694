// Small helpers of the application: time text, rectangle fitting, the interface languages (which
// file, which system language, applying a language file to a form by component name) and opening
// documents with the desktop's default program.
#pragma once

#include <cstdint>
#include <string>

#include "platform/objects.h"
#include "platform/types.h"

namespace zv {

class TStrings;

// The window title, also the application title outside the Chinese interface.
inline constexpr const char* ProductTitle = "Zonvark 1.3.2.0";
// The product's name in Chinese script and the title the Chinese interface uses.
inline constexpr const char* ProductNameChinese = "帧趣动图";
inline constexpr const char* ProductTitleChinese = "帧趣动图 1.3.2.0";

// ---------------------------------------------------------------------------------------------
// Time and geometry
// ---------------------------------------------------------------------------------------------

// "hh:mm:ss.zzz" of a time in microseconds; hours do not wrap at 24, the parts truncate toward zero.
std::string FormatTimeStamp(int64_t Microseconds);
// The largest rectangle of Src's shape centred in Dst (always symmetric within Dst).
TRect FitRect(const TRect& Src, const TRect& Dst);

// ---------------------------------------------------------------------------------------------
// Languages
// ---------------------------------------------------------------------------------------------

// Language ids: 0 none chosen yet, then these in menu order.
constexpr uint8_t LangEnglish = 1;
constexpr uint8_t LangSpanish = 2;
constexpr uint8_t LangGerman = 3;
constexpr uint8_t LangItalian = 4;
constexpr uint8_t LangFrench = 5;
constexpr uint8_t LangChinese = 6;
constexpr uint8_t LangJapanese = 7;
constexpr int LanguageCount = 7;

struct TLanguageInfo {
  uint8_t Id;
  const char* MenuItemName;  // the popup menu item that chooses it
  const char* MenuCaption;   // that item's English caption
  const char* FileName;      // relative to the application folder
  int FlagIndex;             // image of the flag list
};
// The seven languages in menu order (index = id - 1).
extern const TLanguageInfo Languages[LanguageCount];
// The language of an id; every id outside 2..7 is English.
const TLanguageInfo& LanguageInfo(uint8_t Id);

// The message texts a language file carries in its "Messages" section.
struct TMessageTexts {
  std::string MS_Error;
  std::string MS_ErrorLib;
  std::string MS_ReadyStr;
  std::string MS_NAStr;
  std::string MS_VideoWidth;
  std::string MS_VideoHeight;
  std::string MS_Info;
  std::string MS_InfoCancel;
  // Help found no program to show the help page with.
  std::string MS_ErrorHelp;
};
struct TMessageKey {
  const char* Key;
  const char* BuiltIn;  // the text when the file lacks the key
  std::string TMessageTexts::*Field;
};
// In the order they are read.
extern const TMessageKey MessageKeys[9];
inline constexpr const char* MessagesSection = "Messages";

// Reads the "Messages" section; a missing key (or file) gives the built-in text.
void LoadMessages(const std::string& FileName, TMessageTexts& Texts);

// Applies the section named after Form's Name: each "Component.Property=Value" line sets a published
// property of the form's component of that name (an empty component part means the form). Unknown
// components and properties are skipped; the first line that fails ends the section silently, the
// lines before it staying applied. Always true.
bool ApplyLanguageStrings(TComponent* Form, const std::string& FileName);
// Sets one published property from text: integers through StrToInt (raising on a non-number),
// strings as they are, TStrings properties split at "||" into lines; other kinds, dotted paths and
// unknown names are ignored.
void SetComponentProperty(TPersistent* Component, const std::string& Name, const std::string& Value);
// Splits Text at every Separator into List (cleared first). Parts are not trimmed; empty parts between
// two separators stay, an empty last part is dropped.
void SplitString(const std::string& Text, const std::string& Separator, TStrings* List);

// A locale item of the system default locale; empty when the lookup fails.
std::string GetLocaleText(uint32_t Item);
// The interface language the system's language name points to; 0 when none of the seven.
uint8_t DetectLanguageId();

// ---------------------------------------------------------------------------------------------
// Documents
// ---------------------------------------------------------------------------------------------

// Opens an address or file with the desktop's default program; a blank target does nothing. False
// when no program could be started for it.
bool OpenUrl(const std::string& Target);
// The product has no web site: its help page (in every language) and the maker's home page are the
// README the build puts beside the executable. AppFolder ends in '/'.
std::string ProductHelpPage(const std::string& AppFolder, uint8_t LanguageId);
std::string MakerHomePage(const std::string& AppFolder);

}  // namespace zv
