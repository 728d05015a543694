// The words of the library's dialogs (captions, labels, list texts) in each of their languages: one
// process-wide table, filled once by the library's start-up and only read afterwards.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/core/iedefs.h"

namespace zv {

// Word ids run from 0 to WordTableIds - 1 in every language's row.
constexpr int32_t WordTableIds = 146;
constexpr int32_t WordTableLanguages = int32_t(msUser) + 1;

// Entry (Language, Id) := Text, UTF-8. Indexes outside the table change nothing.
void StoreWord(int32_t Language, int32_t Id, const std::string& Text);
// Fills the rows msEnglish to msHungarian, each from the words of its own code page converted to UTF-8.
void FillWordTable();
// The word Id in Language, UTF-8. msSystem takes the row of the locale the process started with
// (English for a language without a row). An empty word, in any row, is the English word; an Id outside
// the table gives an empty text.
std::string LookupWord(int32_t Id, TMsgLanguage Language);
// The row that msSystem stands for under a locale of these primary and sublanguage ids.
TMsgLanguage LanguageOfLocale(uint16_t PrimaryLanguage, uint16_t SubLanguage);

}  // namespace zv
