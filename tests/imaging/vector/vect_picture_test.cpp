// One picture of every object kind painted by the view, with selection grips, at 100 % and 250 %, compared
// with reviewed references. The pictures drawn go to the test folder for a person to look at.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "imaging/core/bitmap.h"
#include "imaging/formats/png_reader.h"
#include "imaging/io/io_params.h"
#include "platform/png_dump.h"
#include "platform/streams.h"
#include "tests/imaging/vector/vect_fixture.h"

namespace zv {
namespace {

using vect_test::AddKind;
using vect_test::MakePicture;
using vect_test::MakeShownView;

void SetFace(TIEVObjectData& R, int32_t Height) {
  LOGFONTA Lf{};
  std::snprintf(Lf.lfFaceName, sizeof(Lf.lfFaceName), "%s", "DejaVu Sans");
  Lf.lfHeight = Height;
  R.LogFont = Lf;
}

// Every kind once over a light grey 400 x 300 image; the box and the line are selected.
void AddEveryKind(TImagingVect& V) {
  V.IEBitmap()->Fill(double(0xE0E0E0));
  auto Set = [&](int32_t h) -> TIEVObjectData& { return *V.ObjectRecord(h); };

  TIEVObjectData& Line = Set(AddKind(V, vokLine, 10, 10, 120, 40));
  Line.PenColor = clRed;
  Line.PenWidth = 3;
  Line.LineBegin = 1;
  Line.LineEnd = 2;

  TIEVObjectData& Box = Set(AddKind(V, vokBox, 140, 10, 200, 50));
  Box.BrushStyle = bsSolid;
  Box.BrushColor = clYellow;
  Box.PenColor = clBlue;
  Box.PenWidth = 2;

  TIEVObjectData& Ellipse = Set(AddKind(V, vokEllipse, 220, 10, 290, 50));
  Ellipse.BrushStyle = bsSolid;
  Ellipse.BrushColor = clLime;

  TIEVObjectData& Arc = Set(AddKind(V, vokArc, 310, 10, 390, 60));
  Arc.ArcStart = 0;
  Arc.ArcEnd = 3.14159265358979 * 1.5;
  Arc.PenWidth = 2;

  const int32_t Pic = AddKind(V, vokBitmap, 10, 60, 60, 100);
  const auto P = MakePicture(16, 12, 4);
  V.SetObjBitmap(Pic, P.get());
  Set(Pic).BitmapBorder = 1;
  Set(Pic).PenColor = clNavy;
  const int32_t Crossed = AddKind(V, vokBitmap, 70, 60, 110, 100);
  V.SetObjBitmap(Crossed, nullptr);

  TIEVObjectData& Text = Set(AddKind(V, vokText, 120, 60, 230, 90));
  Text.Text = "Text object";
  SetFace(Text, -13);
  Text.BrushStyle = bsSolid;
  Text.BrushColor = clWhite;

  TIEVObjectData& Path = Set(AddKind(V, vokText, 240, 60, 390, 110));
  Path.Text = "along a path";
  SetFace(Path, -12);
  Path.PenColor = clMaroon;
  for (int i = 0; i <= 8; ++i) Path.TextPath.push_back({i / 8.0, 0.5 - 0.4 * std::sin(i / 8.0 * 3.14159265)});

  TIEVObjectData& Ticks = Set(AddKind(V, vokRuler, 10, 130, 200, 130));
  Ticks.RulerKind = 0;
  Ticks.RulerUnit = ieuCENTIMETERS;
  SetFace(Ticks, -8);

  TIEVObjectData& Measure = Set(AddKind(V, vokRuler, 390, 150, 220, 130));
  Measure.RulerKind = 2;
  SetFace(Measure, -9);
  Measure.PenColor = clPurple;

  const int32_t Poly = AddKind(V, vokPolyline, 0, 0, 1, 1);
  for (const TPoint& Q : {TPoint(10, 170), TPoint(60, 160), TPoint(90, 200), TPoint(30, 220)})
    V.AddVertex(Poly, Q.X, Q.Y);
  Set(Poly).Closed = 1;
  Set(Poly).BrushStyle = bsSolid;
  Set(Poly).BrushColor = clAqua;

  const int32_t Angle = AddKind(V, vokAngle, 0, 0, 1, 1);
  Set(Angle).AnglePoints[0] = TPoint(200, 170);
  Set(Angle).AnglePoints[1] = TPoint(120, 210);
  Set(Angle).AnglePoints[2] = TPoint(200, 230);
  SetFace(Set(Angle), -9);

  TIEVObjectData& Memo = Set(AddKind(V, vokMemo, 220, 170, 390, 230));
  Memo.Text = "A memo with\ntwo lines";
  SetFace(Memo, -12);
  Memo.BrushStyle = bsSolid;
  Memo.BrushColor = TColor(0xF0F8FF);

  TIEVObjectData& Label = Set(AddKind(V, vokLabelLine, 20, 295, 100, 270));
  Label.Text = "label";
  SetFace(Label, -11);
  Label.LabelBorder = 2;

  TIEVObjectData& Marker = Set(AddKind(V, vokBox, 140, 240, 200, 290));
  Marker.Highlight = 1;
  Marker.BrushColor = clYellow;

  TIEVObjectData& Faint = Set(AddKind(V, vokText, 210, 245, 300, 285));
  Faint.Text = "half";
  SetFace(Faint, -16);
  Faint.Transparency = 128;
  Faint.PenColor = clBlue;

  TIEVObjectData& Shadowed = Set(AddKind(V, vokBox, 320, 245, 380, 280));
  Shadowed.BrushStyle = bsSolid;
  Shadowed.BrushColor = clRed;
  Shadowed.SoftShadow.Enabled = 1;
  Shadowed.SoftShadow.OffsetX = 4;
  Shadowed.SoftShadow.OffsetY = 4;

  V.SelectObject(0);
  V.SelectObject(1);
}

TEST(VectPicture, EveryKindAtOneHundredAndTwoHundredFiftyPercent) {
  for (int Zoom : {100, 250}) {
    SCOPED_TRACE(Zoom);
    auto S = MakeShownView(400, 300, 400, 300);
    AddEveryKind(*S.View);
    S->SetZoom(Zoom);
    S->SetViewXY(0, 0);
    S->Update();
    S->Repaint();
    headless::Pump();
    TIEBitmap* Back = S->BackBuffer();
    ASSERT_NE(Back, nullptr);
    ASSERT_NE(Back->VclBitmap(), nullptr);
    TBitmap& Bmp = *Back->VclBitmap();
    ASSERT_EQ(Bmp.Width(), 400);
    ASSERT_EQ(Bmp.Height(), 300);
    const std::string Name = "vect_kinds_" + std::to_string(Zoom) + ".png";
    std::filesystem::create_directories(ZV_TEST_TMP);
    EXPECT_TRUE(SaveBitmapToPng(Bmp.Canvas()->Handle(), std::string(ZV_TEST_TMP) + "/" + Name));

    const std::string Reference = std::string(ZV_VECTOR_TEST_DATA) + "/" + Name;
    if (!std::filesystem::exists(Reference)) {
      ADD_FAILURE() << "no reviewed reference " << Reference;
      continue;
    }
    TFileStream In(Reference, fmOpenRead);
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
    // Glyph edges may differ a little between font library versions; shapes and places may not.
    EXPECT_LE(Off, int64_t(Bmp.Width()) * Bmp.Height() * 3 / 200);
  }
}

}  // namespace
}  // namespace zv
