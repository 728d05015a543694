// Camera sensor data from outside bytes through every loader, on a context described by the first 12
// bytes (loader, geometry, colour pattern, make and model, curve offset); and the whole input through the
// reader as the application runs it (identification, loading, colour scaling, interpolation, output) and
// through the format test.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/formats/raw_camera.h"
#include "imaging/formats/raw_decoders.h"
#include "imaging/formats/raw_loaders.h"
#include "imaging/io/io_params.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

namespace {

const TRawLoader Loaders[] = {
    CanonCompressedLoadRaw, LosslessJpegLoadRaw, NikonCompressedLoadRaw, KodakRadcLoadRaw,
    KodakCompressedLoadRaw, KodakYCbCrLoadRaw,   KodakJpegLoadRaw,       FoveonLoadRaw,
    Canon600LoadRaw,        CanonA5LoadRaw,      NikonLoadRaw,           NikonE2100LoadRaw,
    NikonE950LoadRaw,       FujiS2LoadRaw,       FujiS5000LoadRaw,       FujiS7000LoadRaw,
    FujiF700LoadRaw,        RolleiLoadRaw,       PhaseOneLoadRaw,        IxpressLoadRaw,
    Packed12LoadRaw,        UnpackedLoadRawBE0,  UnpackedLoadRawBE2,     UnpackedLoadRawBEMinus2,
    UnpackedLoadRawBEMinus4, UnpackedLoadRawLE2, OlympusCLoadRaw,        EightBitLoadRaw,
    CasioQV5700LoadRaw,     NucoreLoadRaw,       KodakDC120LoadRaw,      KodakEasyLoadRaw,
    SonyLoadRaw,
};
constexpr size_t LoaderCount = sizeof Loaders / sizeof Loaders[0];
const char* const Makes[] = {"Canon", "KODAK", "NIKON", "SIGMA"};
const char* const Models[] = {"E4300", "DC40", "DC25", "B", "D100"};
constexpr size_t Head = 12;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  if (Size >= Head) {
    const uint8_t* H = Data;
    auto C = std::make_unique<TRawCameraContext>();
    TIEMemStream Stream(Data + Head, int64_t(Size - Head));
    uint8_t Abort = 0;
    C->Stream = &Stream;
    C->Progress.Abort = &Abort;
    C->Height = 1 + H[1] % 48;
    C->Width = 1 + H[2] % 48;
    C->RawWidth = C->Width + H[3] % 16;
    C->RawHeight = C->Height + H[4] % 8;
    C->TopMargin = H[5] % 4;
    C->LeftMargin = H[6] % 4;
    C->Filters = (H[7] & 1) != 0 ? 0x94949494 : 0;
    C->Shrink = (H[7] >> 1) & 1;
    C->ByteOrder = (H[7] & 4) != 0 ? RawOrderMotorola : RawOrderIntel;
    RawSetText(C->Make, Makes[H[8] % 4]);
    RawSetText(C->Model, Models[H[9] % 5]);
    C->CurveOffset = H[10];
    C->CurveLength = H[11];
    C->Compression = (H[7] & 8) != 0 ? 34713 : 0;
    C->IHeight = (C->Height + C->Shrink) >> C->Shrink;
    C->IWidth = (C->Width + C->Shrink) >> C->Shrink;
    C->Image.assign(size_t(C->IHeight) * size_t(C->IWidth), TRawPixel{});
    if ((H[7] & 16) != 0) InitCanonTables(*C, H[10] % 4);
    fuzz::AsTheApplication([&] { Loaders[H[0] % LoaderCount](*C); });
  }
  {
    TIEMemStream Stream(Data, int64_t(Size));
    TIEBitmap Bitmap;
    TIOParamsVals Params(nullptr);
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    fuzz::AsTheApplication([&] { RawCameraLoad(&Stream, &Bitmap, Params, true, Progress); });
    Stream.SetPosition(0);
    fuzz::AsTheApplication([&] { RawCameraLoad(&Stream, &Bitmap, Params, false, Progress); });
    Stream.SetPosition(Size / 2);
    const int64_t Before = Stream.Position();
    fuzz::AsTheApplication([&] { IsCameraRawStream(&Stream); });
    fuzz::Expect(Stream.Position() == Before, "the format test moved the stream");
  }
  return 0;
}
