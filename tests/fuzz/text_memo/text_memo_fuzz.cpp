// A formatted-text clipboard block from outside bytes, pasted into the text editor as Ctrl+V pastes it:
// the block pastes wholly or not at all, every character gets a format of the list, and the use counts
// add up to the text's length.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imaging/vector/text_control.h"
#include "platform/win32.h"
#include "platform/windows.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  if (!OpenClipboard(nullptr)) return 0;
  EmptyClipboard();
  HGLOBAL H = GlobalAlloc(GMEM_MOVEABLE, Size);
  if (H != nullptr) {
    if (Size > 0) std::memcpy(GlobalLock(H), Data, Size);
    GlobalUnlock(H);
    SetClipboardData(RegisterClipboardFormat(TextMemoClipboardName), H);
  }
  CloseClipboard();

  TIETextControl C(nullptr);
  C.Reset();
  C.HandleChar('x');
  uint16_t Key = 'V';
  TShiftState Ctrl;
  Ctrl.Include(ssCtrl);
  fuzz::AsTheApplication([&] { C.HandleKey(Key, Ctrl); });
  const void* Zero = Size > 0 ? std::memchr(Data, 0, Size) : nullptr;
  const size_t N = Zero != nullptr ? size_t(static_cast<const uint8_t*>(Zero) - Data) : 0;
  fuzz::Expect(C.Count() == 1 || (N > 0 && size_t(C.Count()) == N + 1 && Size >= N * 281 + 1),
               "a block too short for its text was pasted");
  int64_t Users = 0;
  for (int32_t i = 0; i < C.Count(); ++i) fuzz::Expect(C.FormatOf(i) != nullptr, "a character without a format");
  for (const TIETextFormat& F : C.Formats()) Users += F.UseCount();
  fuzz::Expect(Users == C.Count(), "use counts do not add up");
  C.CompactFormats();
  for (int32_t i = 0; i < C.Count(); ++i) fuzz::Expect(C.FormatOf(i) != nullptr, "compaction lost a format");
  return 0;
}
