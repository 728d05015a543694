// An IPTC block (bare datasets, or a Photoshop resource block) from outside bytes. What is read must write
// and read back the same (metadata_checks.h).
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fuzz_support.h"
#include "tests/imaging/metadata_checks.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const char* Broken = metadata_checks::CheckIptc(Data, Size);
  fuzz::Expect(Broken == nullptr, Broken != nullptr ? Broken : "");
  return 0;
}
