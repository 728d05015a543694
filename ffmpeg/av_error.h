// The texts of FFmpeg's error codes: its tagged errors, then the negated system error numbers.
#pragma once

#include <cstdint>
#include <string>

namespace zv {

// The table's text for Code, or an empty string when the table has no row for it.
std::string AVErrorTableText(int32_t Code);

}  // namespace zv
