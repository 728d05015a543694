// A layers file from outside bytes, read as the I/O component reads one into a view: the content test,
// then the load, which refuses the stream or gives layers that each have a bitmap; a save and load of
// what was read must then succeed with as many layers. The bytes are also tried as a selection record.
#include <cstddef>
#include <cstdint>

#include "imaging/core/bitmap.h"
#include "imaging/view/imaging_view.h"
#include "platform/streams.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  TMemoryStream Stream;
  if (Size > 0) Stream.WriteBuffer(Data, int64_t(Size));
  Stream.SetPosition(0);
  const bool Layers = IsLayersStream(&Stream);
  fuzz::Expect(Stream.Position() == 0, "the content test moved the stream");
  TImagingView View(nullptr);
  bool Loaded = false;
  fuzz::AsTheApplication([&] { Loaded = View.LoadLayersFromStream(&Stream); });
  fuzz::Expect(Layers || !Loaded, "a stream the content test refuses was loaded");
  if (!Layers) fuzz::Expect(Stream.Position() == 0, "a refused header moved the stream");
  for (int32_t i = 0; i < View.LayersCount(); ++i)
    fuzz::Expect(View.GetLayer(i)->Bitmap != nullptr, "a layer without a bitmap");
  if (Loaded) {
    TMemoryStream Again;
    View.SaveLayersToStream(&Again, -1);
    Again.SetPosition(0);
    TImagingView Copy(nullptr);
    fuzz::Expect(Copy.LoadLayersFromStream(&Again), "a file written back was refused");
    fuzz::Expect(Copy.LayersCount() == View.LayersCount(), "a second load lost layers");
  }
  Stream.SetPosition(0);
  fuzz::AsTheApplication([&] { View.LoadSelectionFromStream(&Stream, int32_t(Size % 3)); });
  return 0;
}
