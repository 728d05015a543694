// A maker note from outside bytes: byte 0 bit 0 says the EXIF block is little-endian, bytes 1-2 (little-
// endian) where the note lies in it, the rest is the note. What is read must write and read back the same
// (metadata_checks.h).
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fuzz_support.h"
#include "tests/imaging/metadata_checks.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const char* Broken = metadata_checks::CheckMakerNote(Data, Size);
  fuzz::Expect(Broken == nullptr, Broken != nullptr ? Broken : "");
  return 0;
}
