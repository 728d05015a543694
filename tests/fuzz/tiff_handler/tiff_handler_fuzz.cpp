// A TIFF structure from outside bytes, as the EXIF tag copy reads one: what is read must write and read
// back the same (tiff_checks.h).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/imaging/tiff_checks.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (const char* Broken = tiff_checks::CheckTiffHandler(Data, Size)) {
    std::fprintf(stderr, "%s\n", Broken);
    std::abort();
  }
  return 0;
}
