// The view's geometry driven by arbitrary bytes: a script of what a caller or a user may do (zoom,
// scroll, image and window sizes, layers placed anywhere, wheel and scroll-bar messages) followed by
// painting. The scroll position must stay within its limits; the sanitizers watch every write.
#include <cstdint>
#include <cstring>

#include "imaging/core/bitmap.h"
#include "imaging/view/imaging_view.h"
#include "platform/backend.h"
#include "platform/forms.h"
#include "platform/windows.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using namespace zv;

// Reads values from the input; past its end every value is 0.
struct TReader {
  const uint8_t* Data;
  size_t Size;
  size_t Pos = 0;
  bool More() const { return Pos < Size; }
  template <class T>
  T Get() {
    T V{};
    uint8_t Bytes[sizeof(T)] = {};
    for (size_t i = 0; i < sizeof(T) && Pos < Size; ++i) Bytes[i] = Data[Pos++];
    std::memcpy(&V, Bytes, sizeof(T));
    return V;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  auto* Form = new TForm(nullptr);
  Form->SetBounds(0, 0, 400, 300);
  auto* View = new TImagingView(Form);
  View->SetParent(Form);
  View->SetBounds(0, 0, 120, 90);
  Form->Show();
  TReader R{Data, Size};
  int Steps = 0;
  fuzz::AsTheApplication([&] {
    while (R.More() && ++Steps < 64) {
      switch (R.Get<uint8_t>() % 11) {
        case 0: View->SetZoom(R.Get<double>()); break;
        case 1: {
          const int32_t X = R.Get<int32_t>(), Y = R.Get<int32_t>();
          View->SetViewXY(X, Y);
          break;
        }
        case 2: {
          const int32_t W = R.Get<uint8_t>() % 200, H = R.Get<uint8_t>() % 200;
          View->GetIEBitmap()->Allocate(W, H, ie24RGB);
          View->Update();
          break;
        }
        case 3: {
          const int32_t W = R.Get<uint16_t>() % 400, H = R.Get<uint16_t>() % 300;
          View->SetBounds(0, 0, W, H);
          break;
        }
        case 4: {
          if (View->LayersCount() > 4) break;
          View->AddLayer();
          TIELayer* L = View->CurrentLayer();
          L->Bitmap->Allocate(R.Get<uint8_t>() % 64, R.Get<uint8_t>() % 64, ie24RGB);
          L->PosX = R.Get<int16_t>();
          L->PosY = R.Get<int16_t>();
          L->Width = R.Get<int8_t>();
          L->Height = R.Get<int8_t>();
          L->SetRotateAngle(R.Get<int16_t>() % 720);
          const uint8_t Flags = R.Get<uint8_t>();
          L->IsMask = Flags & 1;
          L->MagnifierEnabled = Flags & 2;
          L->MagnifierSource = (Flags >> 2) & 1;
          L->MagnifierStyle = (Flags >> 3) & 1;
          L->ClipToFirstLayer = Flags & 16;
          L->Transparency = R.Get<uint8_t>();
          View->SetLayersCurrent(R.Get<uint8_t>() % View->LayersCount());
          break;
        }
        case 5: {
          const int32_t X = R.Get<int16_t>(), Y = R.Get<int16_t>();
          View->ZoomAt(X, Y, R.Get<uint8_t>() & 1, R.Get<double>());
          break;
        }
        case 6: View->DoMouseWheelAction(R.Get<int16_t>(), R.Get<int16_t>(), R.Get<int16_t>(), R.Get<uint8_t>() & 1); break;
        case 7: {
          const uint16_t Code = R.Get<uint8_t>() % 10, Pos = R.Get<uint16_t>();
          SendMessage(View->Handle(), (R.Get<uint8_t>() & 1) ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(Code, Pos), 0);
          break;
        }
        case 8: {
          const uint8_t Flags = R.Get<uint8_t>();
          View->SetCenter(Flags & 1);
          View->SetAutoFit(Flags & 2);
          View->SetScrollBars(TScrollStyle((Flags >> 2) & 3));
          View->SetOutsideMode((Flags >> 4) & 3);
          View->SetBackgroundStyle(TIEBackgroundStyle(R.Get<uint8_t>() % (iebsPhotoLike + 1)));
          break;
        }
        case 9: View->ApplyLayerRotations(-1); break;
        default: View->Paint(); break;
      }
      int32_t MaxX, MaxY;
      View->GetMaxViewXY(MaxX, MaxY);
      fuzz::Expect(View->ViewX() >= 0 && View->ViewY() >= 0, "scroll position below 0");
      fuzz::Expect(View->ZoomX() > 0 && View->ZoomY() > 0, "zoom not above 0");
    }
    View->Paint();
  });
  delete Form;
  headless::Pump();
  return 0;
}
