// Annotation data from outside bytes, with the processing library's DIB routines for embedded images. What
// is read must write and read back the same (metadata_checks.h).
#include <cstddef>
#include <cstdint>

#include "imaging/proc/bitmap_copy.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/imaging/metadata_checks.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const bool HooksInstalled = (InstallPixelRoutineHooks(), true);
  (void)HooksInstalled;
  const char* Broken = metadata_checks::CheckAnnotations(Data, Size);
  fuzz::Expect(Broken == nullptr, Broken != nullptr ? Broken : "");
  return 0;
}
