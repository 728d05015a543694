// A combined stream of layers and objects from outside bytes, read as the I/O component reads one into
// a vector view: the content test (which keeps the position), then the load, which refuses the stream
// with the objects and position as they were, fails with an exception the program shows, or loads
// layers and objects that hold together.
#include <cstddef>
#include <cstdint>

#include "imaging/core/bitmap.h"
#include "imaging/vector/imaging_vect.h"
#include "platform/streams.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  TMemoryStream Stream;
  if (Size > 0) Stream.WriteBuffer(Data, int64_t(Size));
  Stream.SetPosition(0);
  const bool Combined = IsAllStream(&Stream);
  fuzz::Expect(Stream.Position() == 0, "the content test moved the stream");
  TImagingVect View(nullptr);
  View.IEBitmap()->Allocate(4, 4, ie24RGB);
  TIEVObjectData& T = View.Template();
  T.Kind = vokBox;
  View.AddNewObject();
  bool Loaded = false;
  bool Raised = true;
  fuzz::AsTheApplication([&] {
    Loaded = View.LoadAllFromStream(&Stream);
    Raised = false;
  });
  fuzz::Expect(Combined || !Loaded, "a stream the content test refuses was loaded");
  if (!Raised && !Loaded) {
    fuzz::Expect(Stream.Position() == 0, "a refused stream was left elsewhere");
    fuzz::Expect(View.ObjectsCount() == 1, "a refused stream changed the objects");
  }
  fuzz::Expect(View.LayersCount() >= 1, "the view lost its first layer");
  for (int32_t i = 0; i < View.ObjectsCount(); ++i) {
    const TIEVObjectData* R = View.ObjectRecord(View.ObjectAt(i));
    fuzz::Expect(R->BitmapIdx == -1 || View.BitmapAt(R->BitmapIdx) != nullptr, "an object shows a missing picture");
  }
  return 0;
}
