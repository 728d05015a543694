#include "imaging/formats/png_text.h"

#include <cstdint>

namespace zv {

std::string PngLatin1ToUtf8(const char* Text, size_t Length) {
  std::string Result;
  Result.reserve(Length);
  for (size_t i = 0; i < Length; ++i) {
    const auto c = static_cast<uint8_t>(Text[i]);
    if (c < 0x80) {
      Result.push_back(char(c));
    } else {
      Result.push_back(char(0xC0 | (c >> 6)));
      Result.push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return Result;
}

std::string PngUtf8ToLatin1(const std::string& Text) {
  std::string Result;
  Result.reserve(Text.size());
  for (size_t i = 0; i < Text.size();) {
    const auto c = static_cast<uint8_t>(Text[i]);
    if (c < 0x80) {
      Result.push_back(char(c));
      ++i;
      continue;
    }
    // The length of the sequence from its lead byte; a stray continuation byte counts as one.
    size_t Length = 1;
    if ((c & 0xE0) == 0xC0)
      Length = 2;
    else if ((c & 0xF0) == 0xE0)
      Length = 3;
    else if ((c & 0xF8) == 0xF0)
      Length = 4;
    bool Whole = Length > 1 && i + Length <= Text.size();
    for (size_t k = 1; Whole && k < Length; ++k) Whole = (static_cast<uint8_t>(Text[i + k]) & 0xC0) == 0x80;
    if (Whole && Length == 2 && c <= 0xC3 && c >= 0xC2) {
      Result.push_back(char(((c & 0x1F) << 6) | (static_cast<uint8_t>(Text[i + 1]) & 0x3F)));
    } else {
      Result.push_back('?');
    }
    i += Whole ? Length : 1;
  }
  return Result;
}

}  // namespace zv
