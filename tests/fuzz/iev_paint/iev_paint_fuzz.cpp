// An object stream from outside bytes, loaded into a vector view and painted the ways the program paints
// objects: burnt into a small image with and without anti-aliasing, and onto a view's picture at a zoom.
// Objects read from a stream may carry any value; painting them must neither fail nor write outside the
// target (the sanitizers watch), and the image keeps its size and format.
#include <cstddef>
#include <cstdint>

#include "imaging/core/bitmap.h"
#include "imaging/vector/imaging_vect.h"
#include "platform/graphics.h"
#include "platform/streams.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  TMemoryStream Stream;
  if (Size > 0) Stream.WriteBuffer(Data, int64_t(Size));
  Stream.SetPosition(0);
  TImagingVect View(nullptr);
  View.IEBitmap()->Allocate(64, 48, ie24RGB);
  View.IEBitmap()->Fill(double(0x808080));
  View.Update();
  bool Loaded = false;
  fuzz::AsTheApplication([&] { Loaded = View.LoadObjectsFromStream(&Stream); });
  if (!Loaded || View.ObjectsCount() == 0) return 0;

  fuzz::AsTheApplication([&] {
    TIEBitmap Image(64, 48, ie24RGB);
    Image.Fill(double(0xFFFFFF));
    View.DrawObjectsTo(&Image, false, IEV_ALL);
    View.DrawObjectsTo(&Image, true, IEV_ALL);
    fuzz::Expect(Image.GetWidth() == 64 && Image.GetHeight() == 48 && Image.GetPixelFormat() == ie24RGB,
                 "painting changed the image's size or format");

    TIEBitmap Palette(32, 24, ie24RGB);
    Palette.Fill(double(0xFFFFFF));
    if (Palette.ConvertToFormat(ie8p)) {
      View.DrawObjectsTo(&Palette, false, IEV_ALL);
      fuzz::Expect(Palette.GetPixelFormat() == ie8p, "a palette image came back in another format");
    }

    View.SetZoom(250);
    TBitmap Picture;
    Picture.SetPixelFormat(pf24bit);
    Picture.SetSize(160, 120);
    View.DrawObjectsToBitmap(&Picture, false, true, IEV_ALL);
    View.SetFastPassFlag(true);
    View.DrawObjectsToBitmap(&Picture, false, false, IEV_ALL);
  });
  return 0;
}
