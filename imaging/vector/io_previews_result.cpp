// The result preview of the save-parameters dialog: JPEG and JPEG 2000 go through memory and back;
// the other formats are encoded only to count their bytes, and the result shows the source reduced
// to the colours their parameters allow.
#include <cmath>
#include <memory>

#include "imaging/core/ie_lists.h"
#include "imaging/core/ie_streams.h"
#include "imaging/io/imaging_io.h"
#include "imaging/proc/imaging_proc.h"
#include "imaging/vector/io_previews.h"
#include "imaging/view/imaging_view.h"
#include "platform/common_controls.h"
#include "platform/streams.h"

namespace zv {

namespace {

// Gives the screen its cursor back and the progress bar its start on every way out of a preview.
class TPreviewScope {
public:
  explicit TPreviewScope(TProgressBar* Bar) : FBar(Bar), FCursor(Screen->Cursor()) { Screen->SetCursor(crHourGlass); }
  ~TPreviewScope() {
    FBar->SetPosition(0);
    Screen->SetCursor(FCursor);
  }
  TPreviewScope(const TPreviewScope&) = delete;
  TPreviewScope& operator=(const TPreviewScope&) = delete;

private:
  TProgressBar* FBar;
  TCursor FCursor;
};

constexpr int32_t kResultBmpSamples[] = {1, 1, 1, 3, 3};
constexpr int32_t kResultBmpBits[] = {1, 4, 8, 8, 8};
constexpr int32_t kResultPngSamples[] = {1, 1, 3};
constexpr int32_t kResultPngBits[] = {1, 8, 8};

template <size_t N>
void SetPreviewColors(TIOParamsVals& P, const int32_t (&Samples)[N], const int32_t (&Bits)[N], int32_t Index) {
  if (Index < 0 || size_t(Index) >= N) return;
  P.SamplesPerPixel = Samples[Index];
  P.BitsPerSample = Bits[Index];
}

enum class TPreviewReduction { None, Palette, Colors, Tiff };

}  // namespace

void TfIOPreviews::UpdatePreview() {
  if (!FActivated) return;
  TTabSheet* Page = PageControl1->ActivePage();
  if (Page == nullptr) return;
  TPreviewScope Scope(ProgressBar1);
  TMemoryStream Memory;
  TNulStream Nul;

  TImagingIO* SourceIO = Imaging1->IO();
  TImagingIO* ResultIO = Imaging2->IO();
  SourceIO->SetBitmapOption(FBWConversion);
  FProgressBase = 0;
  TIOParamsVals& SP = *SourceIO->IOParams();
  TPreviewReduction Reduction = TPreviewReduction::None;
  int32_t TiffPhotometricOfResult = 0;

  if (Page == TabSheetJPEG1 || Page == TabSheetJPEG2) {
    FProgressDivisor = 2;
    SP.JpegQuality = JpegQuality;
    SP.JpegColorSpace = uint8_t(JpegColorSpace);
    if (JpegDctMethod >= 0 && JpegDctMethod <= 2) SP.JpegDctMethod = uint8_t(JpegDctMethod);
    SP.JpegOptimize = JpegOptimize;
    SP.JpegSmoothing = uint32_t(std::max(JpegSmoothing, 0));
    SP.JpegProgressive = JpegProgressive;
    SourceIO->SaveJpegStream(&Memory);
    ShowSize(Label25, Memory.Size());
    ShowSize(Label76, Memory.Size());
    Memory.SetPosition(0);
    FProgressBase = 50;
    ResultIO->LoadJpegStream(&Memory);
  } else if (Page == TabSheetJ20001) {
    FProgressDivisor = 2;
    SP.J2kRate = J2kRate;
    SP.J2kColorSpace = uint8_t(J2kColorSpace);
    SP.BitsPerSample = 8;
    SP.SamplesPerPixel = 3;
    SourceIO->SaveJ2kStream(&Memory);
    ShowSize(Label70, Memory.Size());
    Memory.SetPosition(0);
    FProgressBase = 50;
    ResultIO->LoadJ2kStream(&Memory);
  } else {
    FProgressDivisor = 1;
    if (Page == TabSheetTIFF1 || Page == TabSheetTIFF2) {
      SP.TiffLzwDecoder = TiffLzwDecoder;
      SP.TiffLzwEncoder = TiffLzwEncoder;
      SP.TiffCompression = uint8_t(TiffCompression);
      SP.TiffPhotometric = uint8_t(TiffPhotometric);
      SP.SamplesPerPixel = TiffSamplesPerPixel;
      SP.BitsPerSample = TiffBitsPerSample;
      SourceIO->SaveTiffStream(&Nul);
      ShowSize(Label18, Nul.Size());
      ShowSize(Label80, Nul.Size());
      Reduction = TPreviewReduction::Tiff;
      TiffPhotometricOfResult = TiffPhotometric;
    } else if (Page == TabSheetGIF1 || Page == TabSheetGIF2) {
      SP.BitsPerSample = GifBitsPerSample;
      SP.SamplesPerPixel = 1;
      SP.GifInterlaced = GifInterlaced;
      SourceIO->SaveGifStream(&Nul);
      ShowSize(Label30, Nul.Size());
      ShowSize(Label86, Nul.Size());
      Reduction = TPreviewReduction::Palette;
    } else if (Page == TabSheetBMP1) {
      SP.BmpCompression = BmpCompression;
      SetPreviewColors(SP, kResultBmpSamples, kResultBmpBits, BmpColorIndex);
      SourceIO->SaveBmpStream(&Nul);
      ShowSize(Label42, Nul.Size());
      Reduction = TPreviewReduction::Colors;
    } else if (Page == TabSheetPCX1) {
      SP.PcxCompression = PcxCompression;
      SetPreviewColors(SP, kResultBmpSamples, kResultBmpBits, PcxColorIndex);
      SourceIO->SavePcxStream(&Nul);
      ShowSize(Label48, Nul.Size());
      Reduction = TPreviewReduction::Colors;
    } else if (Page == TabSheetPNG1) {
      SetPreviewColors(SP, kResultPngSamples, kResultPngBits, PngColorIndex);
      SP.PngInterlaced = PngInterlaced;
      SP.PngFilter = uint8_t(PngFilter);
      SP.PngCompression = uint32_t(PngCompression);
      SourceIO->SavePngStream(&Nul);
      ShowSize(Label53, Nul.Size());
      Reduction = TPreviewReduction::Palette;
    } else if (Page == TabSheetTGA1) {
      SetPreviewColors(SP, kResultPngSamples, kResultPngBits, TgaColorIndex);
      SP.TgaCompressed = TgaCompressed;
      SourceIO->SaveTgaStream(&Nul);
      ShowSize(Label61, Nul.Size());
      Reduction = TPreviewReduction::Palette;
    }

    try {
      Imaging2->Assign(Imaging1);
    } catch (const std::exception&) {
      SetCaption("Result can not be shown but parameters may be entered");
    }

    TIOParamsVals& RP = *ResultIO->IOParams();
    RP.Assign(SP);
    // 64-bit: 16 bits x 3 samples is far beyond any palette.
    const int64_t Count = ColorCountOf(RP.BitsPerSample, RP.SamplesPerPixel);
    const bool Threshold = FBWConversion == 1;
    auto PaletteReduction = [&] {
      if (Count > 256) {
        RP.FreePalette();
        return;
      }
      const int32_t N = int32_t(std::max<int64_t>(Count, 2));
      RP.Palette.assign(size_t(N), TIERGB24{0, 0, 0});
      Imaging2->Proc()->ConvertToPalette(N, RP.Palette.data(), Threshold);
    };
    switch (Reduction) {
      case TPreviewReduction::Palette: PaletteReduction(); break;
      case TPreviewReduction::Colors:
        if (Count <= 256) Imaging2->Proc()->ConvertTo(int32_t(std::max<int64_t>(Count, 2)), Threshold);
        RP.FreePalette();
        break;
      case TPreviewReduction::Tiff:
        if (TiffPhotometricOfResult <= 1 && RP.BitsPerSample == 8 && RP.SamplesPerPixel == 1) {
          Imaging2->Proc()->ConvertToGray();
          RP.FreePalette();
        } else if (TiffPhotometricOfResult <= 4) {
          PaletteReduction();
        }
        break;
      case TPreviewReduction::None: break;
    }
  }
  SyncResultView();
}

void TfIOPreviews::SyncResultView() {
  Imaging2->LockUpdate();
  Imaging2->SetZoom(Imaging1->Zoom());
  Imaging2->SetViewXY(Imaging1->ViewX(), Imaging1->ViewY());
  Imaging2->UnlockUpdate();
}

void TfIOPreviews::Imaging1ViewChange(TObject*, int32_t) { SyncResultView(); }

void TfIOPreviews::Imaging1Progress(TObject*, int per) {
  ProgressBar1->SetPosition(int32_t(std::trunc(double(per) / FProgressDivisor)) + FProgressBase);
}

}  // namespace zv
