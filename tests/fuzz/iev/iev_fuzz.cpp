// An object stream from outside bytes, read as the I/O component reads one into a vector view: the
// content test, then the load, which either refuses the stream, fails with an exception the program
// shows, or gives objects whose handles, pictures and counts hold together; a second save and load of
// what was read must then succeed.
#include <cstddef>
#include <cstdint>

#include "imaging/vector/imaging_vect.h"
#include "platform/streams.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  TMemoryStream Stream;
  if (Size > 0) Stream.WriteBuffer(Data, int64_t(Size));
  Stream.SetPosition(0);
  const bool Iev = IsIevStream(&Stream);
  fuzz::Expect(Stream.Position() == 0, "the content test moved the stream");
  TImagingVect View(nullptr);
  bool Loaded = false;
  fuzz::AsTheApplication([&] { Loaded = View.LoadObjectsFromStream(&Stream); });
  fuzz::Expect(Iev || !Loaded, "a stream the content test refuses was loaded");
  fuzz::Expect(View.BitmapAt(View.Template().BitmapIdx) != nullptr, "the template lost its picture");
  for (int32_t i = 0; i < View.ObjectsCount(); ++i) {
    const TIEVObjectData* R = View.ObjectRecord(View.ObjectAt(i));
    fuzz::Expect(R->BitmapIdx == -1 || View.BitmapAt(R->BitmapIdx) != nullptr, "an object shows a missing picture");
    fuzz::Expect(R->PointCount <= int32_t(R->Points.size()), "more vertices than room");
  }
  if (Loaded) {
    TMemoryStream Again;
    View.SaveObjectsToStream(&Again);
    Again.SetPosition(0);
    TImagingVect Copy(nullptr);
    fuzz::Expect(Copy.LoadObjectsFromStream(&Again), "a stream read back was refused");
    fuzz::Expect(Copy.ObjectsCount() == View.ObjectsCount(), "a second load lost objects");
  }
  return 0;
}
