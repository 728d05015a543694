// "Options.ini" from outside bytes, read as the program reads it at start; every option must come out in
// its range, and what the program writes at its end into that same file must read back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/settings.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

namespace {

bool InRange(int32_t Value, TOptionRange Range) { return Value >= Range.Min && Value <= Range.Max; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string Path = fuzz::TempPath(OptionsFileName);
  if (!fuzz::WriteFile(Path, Data, Size)) return 0;
  TAppOptions Options;
  fuzz::AsTheApplication([&] { Options = LoadOptions(Path); });
  fuzz::Expect(InRange(Options.Size, SizeRange) && InRange(Options.Width, CustomSizeRange) &&
                   InRange(Options.Height, CustomSizeRange) && InRange(Options.SizeType, SizeTypeRange) &&
                   InRange(Options.Speed, SpeedRange) && InRange(Options.FrameCount, FrameCountRange) &&
                   InRange(Options.Color, ColorRange) && InRange(Options.LanguageId, LanguageRange),
               "an option read outside its range");

  TAppOptions Changed = Options;
  Changed.Speed = (Options.Speed + 1) % (SpeedRange.Max + 1);
  Changed.Loop = !Options.Loop;
  bool Saved = false;
  fuzz::AsTheApplication([&] {
    SaveOptions(Path, Changed);
    Saved = true;
  });
  if (Saved) {
    TAppOptions Back;
    fuzz::AsTheApplication([&] { Back = LoadOptions(Path); });
    fuzz::Expect(Back == Changed, "the options written do not read back");
  }
  std::remove(Path.c_str());
  return 0;
}
