// The platform's 16-byte interface and class identifiers (GUID), compared byte for byte.
#pragma once

#include <cstdint>
#include <cstring>

namespace zv {

struct GUID {
  uint32_t Data1 = 0;
  uint16_t Data2 = 0;
  uint16_t Data3 = 0;
  uint8_t Data4[8] = {};
};

inline bool IsEqualGUID(const GUID& A, const GUID& B) { return std::memcmp(&A, &B, sizeof(GUID)) == 0; }

}  // namespace zv
