// One picture of the formatted text editor's painting: a memo with the four alignments, mixed faces,
// sizes, styles and colours and a selection, at scale 1 and 2, compared with reviewed references. The
// pictures drawn go to the test folder for a person to look at.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_canvas.h"
#include "imaging/formats/png_reader.h"
#include "imaging/io/io_params.h"
#include "imaging/vector/text_control.h"
#include "platform/png_dump.h"
#include "platform/streams.h"
#include "tests/imaging/vector/vect_fixture.h"

namespace zv {
namespace {

TIETextFormat Fmt(const char* Face, int32_t Height, uint8_t Style, TColor Color, uint8_t Align, TColor Back = clWhite,
                  uint8_t Brush = bsClear) {
  TIETextFormat F;
  F.SetFontName(Face);
  F.SetHeight(Height);
  F.SetStyle(Style);
  F.SetColor(int32_t(Color));
  F.SetAlignment(Align);
  F.SetBackground(int32_t(Back));
  F.SetBrushStyle(Brush);
  return F;
}

void Paint(TBitmap& Bmp, double Scale) {
  TIETextControl C(nullptr);
  C.Reset();
  C.Background()->SetColor(TColor(0xF0F8FF));
  C.BorderPen()->SetColor(TColor(0x404040));
  C.MarginLeft = C.MarginRight = 4;
  C.MarginTop = 3;
  struct Piece {
    const char* Text;
    TIETextFormat F;
  };
  const Piece Pieces[] = {
      {"Left aligned ", Fmt("DejaVu Sans", -13, 0, clBlack, 0)},
      {"bold red\n", Fmt("DejaVu Sans", -13, 1, clRed, 0)},
      {"Right aligned mono\n", Fmt("DejaVu Sans Mono", -12, 0, clNavy, 1)},
      {"Centred serif ", Fmt("DejaVu Serif", -15, 2, clGreen, 2)},
      {"on yellow\n", Fmt("DejaVu Serif", -15, 4, clBlack, 2, clYellow, bsSolid)},
      {"Justified text runs over more than one line so that its first line is stretched to the width.",
       Fmt("DejaVu Sans", -12, 0, clBlack, 3)},
  };
  for (const Piece& P : Pieces) {
    C.CurrentFormat() = P.F;
    for (const char* Ch = P.Text; *Ch; ++Ch) C.InsertChar(*Ch);
  }
  C.SetSelection(5, 20);
  C.Scale = Scale;
  Bmp.SetPixelFormat(pf24bit);
  Bmp.SetSize(int32_t(260 * Scale) + 1, int32_t(150 * Scale) + 1);
  Bmp.Canvas()->Brush()->SetColor(clWhite);
  Bmp.Canvas()->FillRect(TRect(0, 0, Bmp.Width(), Bmp.Height()));
  TIECanvas IC(Bmp.Canvas(), false);
  C.LayoutAndPaint(&IC, 0, 0, 260, 150);
}

TEST(TextPicture, MemoAtScaleOneAndTwoMatchesTheReference) {
  for (int Scale : {1, 2}) {
    SCOPED_TRACE(Scale);
    TBitmap Bmp;
    Paint(Bmp, Scale);
    const std::string Name = "text_memo_scale" + std::to_string(Scale) + ".png";
    std::filesystem::create_directories(ZV_TEST_TMP);
    EXPECT_TRUE(SaveBitmapToPng(Bmp.Canvas()->Handle(), std::string(ZV_TEST_TMP) + "/" + Name));

    TFileStream In(std::string(ZV_VECTOR_TEST_DATA) + "/" + Name, fmOpenRead);
    TIEBitmap Ref;
    TIOParamsVals Params(nullptr);
    TIEProgressRecord Progress;
    PngReadImage(&In, &Ref, Params, false, Progress);
    ASSERT_EQ(Ref.GetWidth(), Bmp.Width());
    ASSERT_EQ(Ref.GetHeight(), Bmp.Height());
    int64_t Off = 0;
    for (int32_t y = 0; y < Bmp.Height(); ++y) {
      const auto* A = static_cast<const uint8_t*>(Bmp.ScanLine(y));
      const uint8_t* B = Ref.GetScanline(y);
      for (int32_t x = 0; x < Bmp.Width() * 3; ++x)
        if (std::abs(int(A[x]) - int(B[x])) > 24) ++Off;
    }
    // Glyph edges may differ a little between font library versions; the layout may not.
    EXPECT_LE(Off, int64_t(Bmp.Width()) * Bmp.Height() * 3 / 200);
  }
}

}  // namespace
}  // namespace zv
