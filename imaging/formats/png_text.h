// The texts of PNG text chunks: keys and values are Latin-1 in the file and UTF-8 in the library.
#pragma once

#include <string>

namespace zv {

std::string PngLatin1ToUtf8(const char* Text, size_t Length);
// Characters outside Latin-1 (and broken UTF-8 sequences) become "?".
std::string PngUtf8ToLatin1(const std::string& Text);

}  // namespace zv
