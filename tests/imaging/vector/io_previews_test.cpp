// The save-parameters dialog run headless through TImagingIO::ShowParamsDialog: a script plays the
// user's part once the dialog shows, then closes it with OK or Cancel. Tables of the pages' rules, the
// result previews, parameters from callers that hold anything, and one picture of two pages.
#include "imaging/vector/io_previews.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/palette_dialog.h"
#include "imaging/core/shading.h"
#include "imaging/formats/png_reader.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/view/imaging_view.h"
#include "platform/common_controls.h"
#include "platform/png_dump.h"
#include "platform/std_combo.h"
#include "platform/std_controls.h"
#include "platform/std_edit.h"
#include "platform/streams.h"
#include "tests/imaging/vector/vect_fixture.h"

namespace zv {
namespace {

using vect_test::MakePicture;

enum class TClose { Ok, Cancel };

// A user's choice of a list item: the list's own selection notification.
void Choose(TComboBox* Combo, const std::string& Item) {
  const int Index = Combo->Items()->IndexOf(Item);
  ASSERT_GE(Index, 0) << Item;
  Combo->SetItemIndex(Index);
  Combo->Perform(CN_COMMAND, WPARAM(CBN_SELCHANGE) << 16, 0);
}

std::string Selected(TComboBox* Combo) {
  return Combo->ItemIndex() >= 0 ? Combo->Items()->Get(Combo->ItemIndex()) : std::string("<none>");
}

class IOPreviewsTest : public ::testing::Test {
protected:
  void SetUp() override {
    Picture = MakePicture(64, 48, 3);
    IO.reset(TImagingIO::CreateForBitmap(Picture.get()));
    IO->SimplifiedParamsDialogs = false;
  }
  void TearDown() override {
    IO.reset();
    headless::Pump();
  }
  // Opens the dialog; Script runs once it shows, then it closes as Close says. Answers what
  // ShowParamsDialog answered; Shown tells whether the dialog came up at all.
  bool Run(int16_t Pages, const std::function<void(TfIOPreviews&)>& Script, TClose Close = TClose::Ok) {
    Shown = false;
    IO->OnIOPreview = [&](TObject*, TObject* Dialog) {
      auto* D = static_cast<TfIOPreviews*>(Dialog);
      Shown = true;
      TTimer* Timer = new TTimer(D);
      Timer->SetInterval(1);
      auto Waited = std::make_shared<int>(0);
      Timer->OnTimer = [=, &Script](TObject*) {
        // The script starts once activation has filled the pages and computed the first preview.
        if (!D->Activated() && ++*Waited < 200) return;
        Timer->SetEnabled(false);
        EXPECT_TRUE(D->Activated());
        Script(*D);
        (Close == TClose::Ok ? D->Button1 : D->Button2)->Click();
      };
    };
    return IO->ShowParamsDialog(Pages);
  }
  TIOParamsVals& P() { return *IO->IOParams(); }

  std::unique_ptr<TIEBitmap> Picture;
  std::unique_ptr<TImagingIO> IO;
  bool Shown = false;
};

// ---------------------------------------------------------------------------------------------
// The pages' rules, one table
// ---------------------------------------------------------------------------------------------

struct TEdgeCase {
  const char* Name;
  int16_t Pages;
  std::function<void(TIOParamsVals&)> Setup;
  std::function<void(TfIOPreviews&)> Script;
  TClose Close;
  bool Answer;
  std::function<void(const TIOParamsVals&)> Check;
};

TEST_F(IOPreviewsTest, EdgeCasesOfThePages) {
  const std::vector<TEdgeCase> Cases = {
      {"mask 2 with PNG shows only the PNG page", ppFileType, [](TIOParamsVals& P) { P.FileType = ftPng; },
       [](TfIOPreviews& D) {
         ASSERT_EQ(D.PageControl1->VisibleTabs().size(), 1u);
         EXPECT_EQ(D.PageControl1->ActivePage(), D.TabSheetPNG1);
         EXPECT_TRUE(D.TabSheetPNG1->TabVisible());
       },
       TClose::Cancel, false, nullptr},
      {"mask 1 shows all eight pages, that of the file type active", ppAll,
       [](TIOParamsVals& P) { P.FileType = ftGif; },
       [](TfIOPreviews& D) {
         const auto Tabs = D.PageControl1->VisibleTabs();
         ASSERT_EQ(Tabs.size(), 8u);
         const char* Captions[] = {"JPEG", "TIFF", "GIF", "BMP", "PCX", "PNG", "TGA", "JPEG2000"};
         for (size_t i = 0; i < 8; ++i) EXPECT_EQ(Tabs[i]->Caption(), Captions[i]);
         EXPECT_EQ(D.PageControl1->ActivePage(), D.TabSheetGIF1);
       },
       TClose::Ok, true, [](const TIOParamsVals& P) { EXPECT_EQ(P.FileType, ftGif); }},
      {"B/W with RGB photometric gives BLACKISZERO", ppTIFF,
       [](TIOParamsVals& P) {
         P.FileType = ftTiff;
         P.TiffPhotometric = 2;
       },
       [](TfIOPreviews& D) {
         EXPECT_EQ(Selected(D.ComboBox4), "16M");
         Choose(D.ComboBox4, "B/W");
         EXPECT_EQ(Selected(D.ComboBox3), "BLACKISZERO/Gray");
       },
       TClose::Ok, true,
       [](const TIOParamsVals& P) {
         EXPECT_EQ(P.TiffPhotometric, 1);
         EXPECT_EQ(P.SamplesPerPixel, 1);
         EXPECT_EQ(P.BitsPerSample, 1);
       }},
      {"CMYK writes 4 samples of 8 bits", ppTIFF, [](TIOParamsVals& P) { P.FileType = ftTiff; },
       [](TfIOPreviews& D) {
         Choose(D.ComboBox3, "CMYK");
         EXPECT_EQ(Selected(D.ComboBox4), "16M");
       },
       TClose::Ok, true,
       [](const TIOParamsVals& P) {
         EXPECT_EQ(P.TiffPhotometric, 5);
         EXPECT_EQ(P.SamplesPerPixel, 4);
         EXPECT_EQ(P.BitsPerSample, 8);
         EXPECT_EQ(P.FileType, ftTiff);
       }},
      {"the short TIFF page: G4FAX selects 2 colours, 256 then drops the compression", ppTIFF, nullptr,
       [](TfIOPreviews& D) {
         ASSERT_EQ(D.PageControl1->ActivePage(), D.TabSheetTIFF2);
         Choose(D.ComboBox16, "G4FAX");
         EXPECT_EQ(Selected(D.ComboBox17), "2");
         EXPECT_EQ(D.TiffCompression, 4);
         Choose(D.ComboBox17, "256");
         EXPECT_EQ(Selected(D.ComboBox16), "UNCOMPRESSED");
       },
       TClose::Ok, true,
       [](const TIOParamsVals& P) {
         EXPECT_EQ(P.TiffCompression, 0);
         EXPECT_EQ(P.SamplesPerPixel, 1);
         EXPECT_EQ(P.BitsPerSample, 8);
         EXPECT_EQ(P.TiffPhotometric, 1);
       }},
      {"the short JPEG page: edit and bar follow each other", ppJPEG, [](TIOParamsVals& P) { P.JpegQuality = 70; },
       [](TfIOPreviews& D) {
         ASSERT_EQ(D.PageControl1->ActivePage(), D.TabSheetJPEG2);
         EXPECT_EQ(D.Edit16->Text(), "70");
         D.TrackBar2->SetPosition(64);
         EXPECT_EQ(D.Edit16->Text(), "64");
         D.Edit16->SetText("abc");
         EXPECT_EQ(D.TrackBar2->Position(), 50);
         EXPECT_EQ(D.Edit16->Text(), "50");
       },
       TClose::Ok, true,
       [](const TIOParamsVals& P) {
         EXPECT_EQ(P.JpegQuality, 50);
         EXPECT_EQ(P.FileType, ftJpeg);
       }},
      {"rate 1.0 shows 1000, 250 gives 0.25 and OK writes type 14", ppJ2000, nullptr,
       [](TfIOPreviews& D) {
         EXPECT_EQ(D.Edit15->Text(), "1000");
         EXPECT_EQ(D.TrackBar1->Position(), 1000);
         D.Edit15->SetText("250");
         EXPECT_EQ(D.TrackBar1->Position(), 250);
         EXPECT_DOUBLE_EQ(D.J2kRate, 0.25);
         Choose(D.ComboBox15, "GrayScale");
       },
       TClose::Ok, true,
       [](const TIOParamsVals& P) {
         EXPECT_DOUBLE_EQ(P.J2kRate, 0.25);
         EXPECT_EQ(P.FileType, ftJ2k);
         EXPECT_EQ(P.J2kColorSpace, 0);
         EXPECT_EQ(P.SamplesPerPixel, 1);
       }},
      {"GIF image index 3 goes to every format", ppGIF, nullptr, [](TfIOPreviews& D) { D.Edit9->SetText("3"); },
       TClose::Ok, true,
       [](const TIOParamsVals& P) {
         EXPECT_EQ(P.GifImageIndex, 3u);
         EXPECT_EQ(P.TiffImageIndex, 3);
         EXPECT_EQ(P.ImageIndex, 3);
         EXPECT_EQ(P.DcxImageIndex, 3);
         EXPECT_EQ(P.FileType, ftGif);
       }},
      {"switching pages without Apply reloads the params' values", ppAll,
       [](TIOParamsVals& P) {
         P.FileType = ftJpeg;
         P.JpegQuality = 80;
       },
       [](TfIOPreviews& D) {
         D.Edit22->SetText("33");
         EXPECT_EQ(D.TrackBar13->Position(), 33);
         EXPECT_TRUE(D.Button4->Enabled());
         D.PageControl1->SelectPage(D.TabSheetTIFF1);
         EXPECT_FALSE(D.Button4->Enabled());
         D.PageControl1->SelectPage(D.TabSheetJPEG1);
         EXPECT_EQ(D.Edit22->Text(), "80");
         EXPECT_EQ(D.TrackBar13->Position(), 80);
       },
       TClose::Ok, true, [](const TIOParamsVals& P) { EXPECT_EQ(P.JpegQuality, 80); }},
      {"Apply writes the page and stays open", ppJPEG, [](TIOParamsVals& P) { P.JpegQuality = 80; },
       [](TfIOPreviews& D) {
         D.Edit22->SetText("41");
         D.Button4->Click();
         EXPECT_EQ(D.Params()->JpegQuality, 41);
         EXPECT_EQ(D.Params()->FileType, ftJpeg);
         EXPECT_FALSE(D.Button4->Enabled());
         D.Edit22->SetText("42");
       },
       TClose::Cancel, false, [](const TIOParamsVals& P) { EXPECT_EQ(P.JpegQuality, 41); }},
      {"Cancel leaves the params unchanged after previews", ppAll,
       [](TIOParamsVals& P) {
         P.FileType = ftPng;
         P.BitsPerSample = 8;
         P.SamplesPerPixel = 3;
       },
       [](TfIOPreviews& D) {
         Choose(D.ComboBox10, "B/W");
         D.Button3->Click();
         D.PageControl1->SelectPage(D.TabSheetGIF1);
         Choose(D.ComboBox5, "4");
         D.CheckBox5->SetChecked(true);
         D.Button3->Click();
       },
       TClose::Cancel, false,
       [](const TIOParamsVals& P) {
         EXPECT_EQ(P.FileType, ftPng);
         EXPECT_EQ(P.BitsPerSample, 8);
         EXPECT_EQ(P.SamplesPerPixel, 3);
         EXPECT_EQ(P.GifInterlaced, 0);
         EXPECT_TRUE(P.Palette.empty());
       }},
      {"the up-down buttons step the image index", ppTIFF, [](TIOParamsVals& P) { P.TiffImageIndex = 6; },
       [](TfIOPreviews& D) {
         EXPECT_EQ(D.Edit1->Text(), "6");
         D.UpDown1->Step(btNext);
         EXPECT_EQ(D.Edit1->Text(), "7");
       },
       TClose::Ok, true, [](const TIOParamsVals& P) { EXPECT_EQ(P.TiffImageIndex, 7); }},
      {"BMP 16M and 16M (32bit) both write 3 samples of 8 bits", ppBMP, nullptr,
       [](TfIOPreviews& D) { Choose(D.ComboBox7, "16M (32bit)"); }, TClose::Ok, true,
       [](const TIOParamsVals& P) {
         EXPECT_EQ(P.SamplesPerPixel, 3);
         EXPECT_EQ(P.BitsPerSample, 8);
         EXPECT_EQ(P.FileType, ftBmp);
       }},
  };
  for (const TEdgeCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    IO->IOParams()->Assign(TIOParamsVals(nullptr));
    // The short TIFF page is the only simplified one in the table.
    IO->SimplifiedParamsDialogs = std::string(C.Name).find("short") != std::string::npos;
    if (C.Setup) C.Setup(P());
    EXPECT_EQ(Run(C.Pages, C.Script, C.Close), C.Answer);
    EXPECT_TRUE(Shown);
    if (C.Check) C.Check(P());
  }
}

TEST_F(IOPreviewsTest, TiffColoursShownFollowThePhotometric) {
  struct TCase {
    bool Short;
    uint8_t Photometric, Compression;
    int32_t Samples, Bits;
    const char* Colors;
  } Cases[] = {
      {false, 2, 0, 3, 8, "16M"},  {false, 2, 0, 1, 1, "16M"},   {false, 3, 0, 1, 8, "256"},
      {false, 3, 0, 1, 4, "16"},   {false, 1, 0, 1, 1, "B/W"},   {false, 0, 0, 1, 4, "256"},
      {false, 5, 0, 4, 8, "16M"},  {false, 4, 0, 1, 16, "65536"}, {false, 7, 0, 1, 1, "16M"},
      {true, 2, 4, 3, 8, "2"},     {true, 2, 7, 1, 1, "16777216"}, {true, 1, 0, 1, 4, "16"},
      {true, 2, 0, 4, 8, "<none>"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(std::string(C.Short ? "short " : "full ") + std::to_string(C.Photometric) + " " +
                 std::to_string(C.Samples) + "x" + std::to_string(C.Bits));
    IO->IOParams()->Assign(TIOParamsVals(nullptr));
    IO->SimplifiedParamsDialogs = C.Short;
    P().TiffPhotometric = C.Photometric;
    P().TiffCompression = C.Compression;
    P().SamplesPerPixel = C.Samples;
    P().BitsPerSample = C.Bits;
    Run(ppTIFF, [&](TfIOPreviews& D) {
      EXPECT_EQ(Selected(C.Short ? D.ComboBox17 : D.ComboBox4), C.Colors);
      D.UpdatePreview();
    }, TClose::Cancel);
  }
}

TEST_F(IOPreviewsTest, WithoutTheLzwEncoderThereIsNoLzwItem) {
  const TTiffLzwEncoderProc Saved = GlobalTiffLzwEncoder;
  struct TRestore {
    TTiffLzwEncoderProc E;
    ~TRestore() { GlobalTiffLzwEncoder = E; }
  } Restore{Saved};
  struct TCase {
    bool Lzw;
    uint8_t Selector;
    const char* Shown;
  } Cases[] = {{true, 5, "LZW"},       {false, 5, "PACKBITS"}, {true, 7, "JPEG"},   {false, 7, "JPEG"},
               {false, 8, "PACKBITS"}, {true, 9, "ZIP"},       {false, 9, "ZIP"},   {false, 6, "UNCOMPRESSED"},
               {true, 11, "UNCOMPRESSED"}, {true, 200, "UNCOMPRESSED"}};
  for (const TCase& C : Cases) {
    SCOPED_TRACE(std::to_string(C.Selector) + (C.Lzw ? " with LZW" : " without LZW"));
    GlobalTiffLzwEncoder = C.Lzw ? Saved : nullptr;
    P().TiffCompression = C.Selector;
    Run(ppTIFF, [&](TfIOPreviews& D) {
      EXPECT_EQ(D.ComboBox2->Items()->IndexOf("LZW") >= 0, C.Lzw);
      EXPECT_EQ(D.ComboBox2->Items()->Count(), C.Lzw ? 9 : 8);
      EXPECT_EQ(Selected(D.ComboBox2), C.Shown);
      // The list index maps back to the selector it shows.
      EXPECT_EQ(TfIOPreviews::TiffCompressionToIndex(TfIOPreviews::IndexToTiffCompression(D.ComboBox2->ItemIndex())),
                D.ComboBox2->ItemIndex());
    }, TClose::Cancel);
  }
}

// ---------------------------------------------------------------------------------------------
// The result preview
// ---------------------------------------------------------------------------------------------

// The result's pixels equal the source's.
bool SamePixels(TIEBitmap* A, TIEBitmap* B) {
  if (A->GetWidth() != B->GetWidth() || A->GetHeight() != B->GetHeight()) return false;
  for (int32_t y = 0; y < A->GetHeight(); ++y)
    for (int32_t x = 0; x < A->GetWidth(); ++x) {
      const TIERGB24 a = A->GetPixelAsRGB(x, y), b = B->GetPixelAsRGB(x, y);
      if (a.r != b.r || a.g != b.g || a.b != b.b) return false;
    }
  return true;
}

bool AllGrey(TIEBitmap* B) {
  for (int32_t y = 0; y < B->GetHeight(); ++y)
    for (int32_t x = 0; x < B->GetWidth(); ++x) {
      const TIERGB24 c = B->GetPixelAsRGB(x, y);
      if (c.r != c.g || c.g != c.b) return false;
    }
  return true;
}

TEST_F(IOPreviewsTest, JpegSizeLabelIsTheEncodedLengthAndTheResultIsTheDecodedJpeg) {
  P().FileType = ftJpeg;
  Run(ppFileType, [&](TfIOPreviews& D) {
    D.Edit22->SetText("35");
    // The bar fills to 50 while encoding and from 50 while decoding.
    int EncodeMax = -1, DecodeMin = 101, DecodeMax = -1;
    D.Imaging1->SetOnProgress([&](TObject* S, int per) {
      D.Imaging1Progress(S, per);
      EncodeMax = std::max(EncodeMax, D.ProgressBar1->Position());
    });
    D.Imaging2->SetOnProgress([&](TObject* S, int per) {
      D.Imaging1Progress(S, per);
      DecodeMin = std::min(DecodeMin, D.ProgressBar1->Position());
      DecodeMax = std::max(DecodeMax, D.ProgressBar1->Position());
    });
    D.Button3->Click();
    EXPECT_GE(EncodeMax, 0);
    EXPECT_LE(EncodeMax, 50);
    EXPECT_GE(DecodeMin, 50);
    EXPECT_EQ(DecodeMax, 100);
    // The same encode by a component of our own.
    TIEBitmap Copy;
    Copy.Assign(Picture.get());
    std::unique_ptr<TImagingIO> Own(TImagingIO::CreateForBitmap(&Copy));
    Own->IOParams()->JpegQuality = 35;
    TMemoryStream Encoded;
    Own->SaveJpegStream(&Encoded);
    EXPECT_EQ(D.Label25->Caption(), std::to_string(Encoded.Size()) + " bytes");
    const int64_t Raw = int64_t(Picture->GetRowLen()) * Picture->GetHeight();
    EXPECT_EQ(D.SizeLabels(D.TabSheetJPEG1).OriginalValue->Caption(), std::to_string(Raw) + " bytes");
    Encoded.SetPosition(0);
    std::unique_ptr<TImagingIO> Decoder(TImagingIO::CreateForBitmap(&Copy));
    Decoder->LoadJpegStream(&Encoded);
    EXPECT_TRUE(SamePixels(D.Imaging2->IEBitmap(), &Copy));
    EXPECT_FALSE(SamePixels(D.Imaging2->IEBitmap(), Picture.get()));
    EXPECT_EQ(D.ProgressBase(), 50);
    EXPECT_EQ(D.ProgressDivisor(), 2);
    EXPECT_EQ(D.ProgressBar1->Position(), 0);
  }, TClose::Cancel);
}

struct TResultCase {
  const char* Name;
  int16_t Pages;
  std::function<void(TfIOPreviews&)> Choose;
  int64_t PaletteEntries;  // of the result params; 0 none
  std::function<void(TIEBitmap* Result, TIEBitmap* Source)> Check;
};

TEST_F(IOPreviewsTest, ReducedResultsOfTheSizeOnlyFormats) {
  const std::vector<TResultCase> Cases = {
      {"GIF B/W is 1-bit with 2 palette entries", ppGIF, [](TfIOPreviews& D) { Choose(D.ComboBox5, "B/W"); }, 2,
       [](TIEBitmap* R, TIEBitmap*) { EXPECT_EQ(R->GetPixelFormat(), ie1g); }},
      {"GIF 256 has 256 entries", ppGIF, [](TfIOPreviews& D) { Choose(D.ComboBox5, "256"); }, 256, nullptr},
      {"PNG 16M equals the source without palette", ppPNG, [](TfIOPreviews& D) { Choose(D.ComboBox10, "16M"); }, 0,
       [](TIEBitmap* R, TIEBitmap* S) { EXPECT_TRUE(SamePixels(R, S)); }},
      {"PNG B/W is 1-bit", ppPNG, [](TfIOPreviews& D) { Choose(D.ComboBox10, "B/W"); }, 2,
       [](TIEBitmap* R, TIEBitmap*) { EXPECT_EQ(R->GetPixelFormat(), ie1g); }},
      {"TIFF grey 256 is grey without palette", ppTIFF,
       [](TfIOPreviews& D) {
         Choose(D.ComboBox3, "BLACKISZERO/Gray");
         EXPECT_EQ(Selected(D.ComboBox4), "256");
       },
       0, [](TIEBitmap* R, TIEBitmap* S) {
         EXPECT_TRUE(AllGrey(R));
         EXPECT_FALSE(SamePixels(R, S));
       }},
      {"TIFF CMYK equals the source", ppTIFF, [](TfIOPreviews& D) { Choose(D.ComboBox3, "CMYK"); }, 0,
       [](TIEBitmap* R, TIEBitmap* S) { EXPECT_TRUE(SamePixels(R, S)); }},
      {"BMP 16 colours keeps no palette", ppBMP, [](TfIOPreviews& D) { Choose(D.ComboBox7, "16"); }, 0,
       [](TIEBitmap* R, TIEBitmap* S) { EXPECT_FALSE(SamePixels(R, S)); }},
      {"TGA B/W", ppTGA, [](TfIOPreviews& D) { Choose(D.ComboBox14, "B/W"); }, 2, nullptr},
      {"PCX 16M", ppPCX, [](TfIOPreviews& D) { Choose(D.ComboBox9, "16M"); }, 0,
       [](TIEBitmap* R, TIEBitmap* S) { EXPECT_TRUE(SamePixels(R, S)); }},
  };
  for (const TResultCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    IO->IOParams()->Assign(TIOParamsVals(nullptr));
    Run(C.Pages, [&](TfIOPreviews& D) {
      C.Choose(D);
      D.Button3->Click();
      const TIOParamsVals* R = D.Imaging2->IO()->IOParams();
      EXPECT_EQ(R->PaletteCount(), C.PaletteEntries);
      const TIOPreviewSizeLabels& S = D.SizeLabels(D.PageControl1->ActivePage());
      EXPECT_NE(S.CompressedValue->Caption(), "---");
      EXPECT_GT(std::stoll(S.CompressedValue->Caption()), 0);
      EXPECT_EQ(D.ProgressBar1->Position(), 0);
      EXPECT_EQ(D.ProgressDivisor(), 1);
      if (C.Check) C.Check(D.Imaging2->IEBitmap(), Picture.get());
    }, TClose::Cancel);
  }
}

TEST_F(IOPreviewsTest, LockedPreviewFollowsEveryChangeAndZoomFollowsTheSource) {
  IO->PreviewsParams = {ioppDefaultLockPreview, ioppApplyButton};
  Run(ppGIF, [&](TfIOPreviews& D) {
    EXPECT_TRUE(D.chkLockPreview->Checked());
    EXPECT_FALSE(D.Button3->Enabled());
    EXPECT_TRUE(D.Button4->Visible());
    Choose(D.ComboBox5, "8");
    EXPECT_EQ(D.Imaging2->IO()->IOParams()->PaletteCount(), 8);
    Choose(D.ComboBox5, "B/W");
    EXPECT_EQ(D.Imaging2->IO()->IOParams()->PaletteCount(), 2);
    D.chkLockPreview->SetChecked(false);
    EXPECT_TRUE(D.Button3->Enabled());
    Choose(D.ComboBox5, "16");
    EXPECT_EQ(D.Imaging2->IO()->IOParams()->PaletteCount(), 2);

    D.Imaging1->SetZoom(250);
    D.Imaging1->SetViewXY(10, 7);
    headless::Pump();
    EXPECT_DOUBLE_EQ(D.Imaging2->Zoom(), 250);
    EXPECT_EQ(D.Imaging2->ViewX(), D.Imaging1->ViewX());
    EXPECT_EQ(D.Imaging2->ViewY(), D.Imaging1->ViewY());
  }, TClose::Cancel);
}

TEST_F(IOPreviewsTest, AFailingEncoderLeavesCursorAndProgressAsTheyWere) {
  P().FileType = ftJpeg;
  Run(ppFileType, [&](TfIOPreviews& D) {
    const TCursor Before = Screen->Cursor();
    D.Imaging1->SetOnProgress([&](TObject* S, int per) {
      D.Imaging1Progress(S, per);
      throw std::runtime_error("encoder failed");
    });
    D.Edit22->SetText("20");
    EXPECT_THROW(D.UpdatePreview(), std::runtime_error);
    EXPECT_EQ(Screen->Cursor(), Before);
    EXPECT_EQ(D.ProgressBar1->Position(), 0);
    D.Imaging1->SetOnProgress([&](TObject* S, int per) { D.Imaging1Progress(S, per); });
    D.UpdatePreview();
    EXPECT_EQ(Screen->Cursor(), Before);
  }, TClose::Cancel);
}

TEST_F(IOPreviewsTest, ColourPickersTakeThePaletteOrTheColourDialog) {
  // GIF: the palette of the result, 2 entries for B/W; a click on the second cell picks it.
  Run(ppGIF, [&](TfIOPreviews& D) {
    Choose(D.ComboBox5, "B/W");
    D.CheckBox4->SetChecked(true);
    EXPECT_TRUE(D.GifTransparent);
    EXPECT_TRUE(D.Panel3->Enabled());
    TTimer* Pick = new TTimer(&D);
    Pick->SetInterval(1);
    Pick->OnTimer = [Pick](TObject*) {
      Pick->SetEnabled(false);
      auto* Palette = dynamic_cast<TImagingPaletteDialog*>(Screen->ActiveForm());
      ASSERT_NE(Palette, nullptr);
      EXPECT_EQ(Palette->CancelButton()->Caption(), "&Cancel");
      headless::MouseMove(Palette->Handle(), 20, 5);
      headless::Pump();
      headless::Click(Palette->Handle(), 20, 5);
    };
    D.Panel3Click(D.Panel3);
    const TIERGB24 Second = D.Imaging2->IO()->IOParams()->Palette.at(1);
    EXPECT_EQ(D.GifTransparentColor.r, Second.r);
    EXPECT_EQ(D.GifTransparentColor.g, Second.g);
    EXPECT_EQ(D.GifTransparentColor.b, Second.b);
    EXPECT_TRUE(D.GifTransparent);
    EXPECT_EQ(D.PageControl1->ActivePage(), D.TabSheetGIF1);
  });
  EXPECT_EQ(P().GifTransparent, 1);

  // PNG 16M: no palette, so the colour dialog answers.
  headless::ClearRecords();
  Run(ppPNG, [&](TfIOPreviews& D) {
    Choose(D.ComboBox10, "16M");
    D.Button3->Click();
    headless::AnswerNextColorDialog(true, RGB(10, 20, 30));
    D.Panel1Click(D.Panel1);
    headless::AnswerNextColorDialog(false, RGB(99, 99, 99));
    D.Panel1Click(D.Panel1);
  });
  EXPECT_EQ(headless::ColorDialogs().size(), 2u);
  EXPECT_EQ(P().PngBackgroundColor.r, 10);
  EXPECT_EQ(P().PngBackgroundColor.g, 20);
  EXPECT_EQ(P().PngBackgroundColor.b, 30);
}

// ---------------------------------------------------------------------------------------------
// Parameters from callers
// ---------------------------------------------------------------------------------------------

struct TBadInput {
  const char* Name;
  int16_t Pages;
  std::function<void(TIOParamsVals&)> Setup;
  bool Opens;
  std::function<void(TfIOPreviews&)> Script;
  std::function<void(const TIOParamsVals&)> Check;
};

TEST_F(IOPreviewsTest, ParamsThatHoldAnythingShowAFallbackOrDoNotOpen) {
  const std::vector<TBadInput> Cases = {
      {"file type 0 with mask 2", ppFileType, [](TIOParamsVals& P) { P.FileType = 0; }, false, nullptr, nullptr},
      {"file type 99 with mask 2", ppFileType, [](TIOParamsVals& P) { P.FileType = 99; }, false, nullptr, nullptr},
      {"mask 0", 0, [](TIOParamsVals& P) { P.FileType = ftPng; }, false, nullptr, nullptr},
      {"unknown bits only", 4096, [](TIOParamsVals& P) { P.FileType = ftPng; }, false, nullptr, nullptr},
      {"file type 99 with mask 1 opens on the first page", ppAll, [](TIOParamsVals& P) { P.FileType = 99; }, true,
       [](TfIOPreviews& D) { EXPECT_EQ(D.PageControl1->ActivePage(), D.TabSheetJPEG1); }, nullptr},
      {"quality -5", ppJPEG, [](TIOParamsVals& P) { P.JpegQuality = -5; }, true,
       [](TfIOPreviews& D) {
         EXPECT_EQ(D.Edit22->Text(), "0");
         EXPECT_EQ(D.TrackBar13->Position(), 0);
       },
       nullptr},
      {"quality 500", ppJPEG, [](TIOParamsVals& P) { P.JpegQuality = 500; }, true,
       [](TfIOPreviews& D) { EXPECT_EQ(D.Edit22->Text(), "100"); }, nullptr},
      {"quality text abc", ppJPEG, nullptr, true,
       [](TfIOPreviews& D) {
         D.Edit22->SetText("abc");
         EXPECT_EQ(D.JpegQuality, 50);
         EXPECT_EQ(D.TrackBar13->Position(), 50);
       },
       [](const TIOParamsVals& P) { EXPECT_EQ(P.JpegQuality, 50); }},
      {"rate text abc", ppJ2000, [](TIOParamsVals& P) { P.J2kRate = 0.5; }, true,
       [](TfIOPreviews& D) {
         EXPECT_EQ(D.Edit15->Text(), "500");
         D.Edit15->SetText("abc");
         EXPECT_EQ(D.TrackBar1->Position(), 1000);
       },
       [](const TIOParamsVals& P) { EXPECT_DOUBLE_EQ(P.J2kRate, 1.0); }},
      {"rate text 0", ppJ2000, nullptr, true,
       [](TfIOPreviews& D) {
         D.Edit15->SetText("0");
         EXPECT_EQ(D.TrackBar1->Position(), 1);
         EXPECT_EQ(D.Edit15->Text(), "1");
       },
       [](const TIOParamsVals& P) { EXPECT_DOUBLE_EQ(P.J2kRate, 0.001); }},
      {"rate 0 and NaN from the params", ppJ2000, [](TIOParamsVals& P) { P.J2kRate = std::nan(""); }, true,
       [](TfIOPreviews& D) { EXPECT_EQ(D.Edit15->Text(), "1000"); }, nullptr},
      {"TIFF selector 9 is ZIP", ppTIFF, [](TIOParamsVals& P) { P.TiffCompression = 9; }, true,
       [](TfIOPreviews& D) { EXPECT_EQ(Selected(D.ComboBox2), "ZIP"); }, nullptr},
      {"TIFF photometric 77", ppTIFF, [](TIOParamsVals& P) { P.TiffPhotometric = 77; }, true,
       [](TfIOPreviews& D) {
         EXPECT_EQ(Selected(D.ComboBox3), "RGB");
         D.Edit1->SetText("2");
       },
       [](const TIOParamsVals& P) { EXPECT_EQ(P.TiffPhotometric, 2); }},
      {"TIFF 16 bits x 3 samples", ppTIFF,
       [](TIOParamsVals& P) {
         P.BitsPerSample = 16;
         P.SamplesPerPixel = 3;
       },
       true, [](TfIOPreviews& D) { EXPECT_EQ(D.Imaging2->IO()->IOParams()->PaletteCount(), 0); }, nullptr},
      {"GIF image index -1", ppGIF, [](TIOParamsVals& P) { P.GifImageIndex = uint32_t(-1); }, true,
       [](TfIOPreviews& D) { EXPECT_EQ(D.Edit9->Text(), "0"); },
       [](const TIOParamsVals& P) { EXPECT_EQ(P.GifImageIndex, 0u); }},
      {"GIF bits 0", ppGIF, [](TIOParamsVals& P) { P.BitsPerSample = 0; }, true,
       [](TfIOPreviews& D) { EXPECT_EQ(Selected(D.ComboBox5), "256"); }, nullptr},
      {"palette of 0 entries: a GIF pick computes one first", ppGIF, nullptr, true,
       [](TfIOPreviews& D) {
         D.Imaging2->IO()->IOParams()->FreePalette();
         TTimer* Cancel = new TTimer(&D);
         Cancel->SetInterval(1);
         Cancel->OnTimer = [Cancel](TObject*) {
           Cancel->SetEnabled(false);
           if (TCustomForm* F = Screen->ActiveForm()) F->SetModalResult(mrCancel);
         };
         D.Panel4Click(D.Panel4);
         EXPECT_EQ(D.Imaging2->IO()->IOParams()->PaletteCount(), 256);
       },
       nullptr},
  };
  for (const TBadInput& C : Cases) {
    SCOPED_TRACE(C.Name);
    IO->IOParams()->Assign(TIOParamsVals(nullptr));
    if (C.Setup) C.Setup(P());
    const bool Answer = Run(C.Pages, C.Script ? C.Script : [](TfIOPreviews&) {});
    EXPECT_EQ(Shown, C.Opens);
    EXPECT_EQ(Answer, C.Opens);
    if (C.Check) C.Check(P());
  }
}

TEST_F(IOPreviewsTest, BackgroundTextureOfTheLibrarySetting) {
  struct TCase {
    int32_t Setting;
    bool Painted;
  } Cases[] = {{0, false}, {1, true}, {2, true}, {7, false}};
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Setting);
    IEDialogsBackground = C.Setting;
    Run(ppBMP, [&](TfIOPreviews& D) {
      TBitmap* Texture = D.Image1->Picture()->Bitmap();
      if (!C.Painted) {
        EXPECT_TRUE(Texture == nullptr || Texture->Empty());
        return;
      }
      ASSERT_EQ(Texture->Width(), D.Image1->Width());
      ASSERT_EQ(Texture->Height(), D.Image1->Height());
      if (C.Setting == 1) {
        const uint8_t Stripes[4] = {240, 251, 255, 251};
        for (int y = 0; y < 8; ++y) EXPECT_EQ(static_cast<const uint8_t*>(Texture->ScanLine(y))[0], Stripes[y % 4]);
      }
    }, TClose::Cancel);
  }
  IEDialogsBackground = 0;
}

TEST_F(IOPreviewsTest, OpeningWithoutAnImageOrWhenTheProgramHandlesIt) {
  TIEBitmap Empty;
  std::unique_ptr<TImagingIO> None(TImagingIO::CreateForBitmap(&Empty));
  bool Previewed = false;
  None->OnIOPreview = [&](TObject*, TObject*) { Previewed = true; };
  EXPECT_FALSE(None->ShowParamsDialog(ppAll));
  EXPECT_FALSE(Previewed);
  None->OnDoPreviews = [](TObject*, bool& Handled) { Handled = true; };
  EXPECT_TRUE(None->ShowParamsDialog(ppAll));
  EXPECT_FALSE(Previewed);

  // A grey image is shown (and left) as 24-bit RGB; the dialog's view lets go of it.
  TIEBitmap Grey(16, 8, ie8g);
  std::unique_ptr<TImagingIO> GreyIO(TImagingIO::CreateForBitmap(&Grey));
  TIEBitmap* Shown = nullptr;
  GreyIO->OnIOPreview = [&](TObject*, TObject* Dialog) {
    auto* D = static_cast<TfIOPreviews*>(Dialog);
    Shown = D->Imaging1->IEBitmap();
    TTimer* Close = new TTimer(D);
    Close->SetInterval(1);
    Close->OnTimer = [D](TObject*) {
      if (D->Activated()) D->Button2->Click();
    };
  };
  EXPECT_FALSE(GreyIO->ShowParamsDialog(ppBMP));
  EXPECT_EQ(Shown, &Grey);
  EXPECT_EQ(Grey.GetPixelFormat(), ie24RGB);
}

TEST_F(IOPreviewsTest, WordsOfTheLanguageAndTheSimplifiedLayout) {
  IO->MsgLanguage = msGerman;
  IO->SimplifiedParamsDialogs = true;
  Run(ppAll, [&](TfIOPreviews& D) {
    EXPECT_EQ(D.Button3->Caption(), "Vorschau");
    EXPECT_EQ(D.Button2->Caption(), "Abbrechen");
    EXPECT_EQ(D.PaletteCancelCaption(), "&Abbrechen");
    EXPECT_EQ(D.PageControl1->Height(), 122);
    EXPECT_EQ(D.Height(), 360);
    EXPECT_EQ(D.chkLockPreview->Top(), 302);
    const auto Tabs = D.PageControl1->VisibleTabs();
    ASSERT_EQ(Tabs.size(), 8u);
    EXPECT_EQ(Tabs[0], D.TabSheetJPEG2);
    EXPECT_EQ(Tabs[1], D.TabSheetTIFF2);
    EXPECT_EQ(Tabs[2], D.TabSheetGIF2);
    EXPECT_FALSE(D.GroupBox3->Visible());
    EXPECT_FALSE(D.Edit13->Visible());
    EXPECT_EQ(D.SizeLabels(D.TabSheetBMP1).OriginalTitle->Top(), 61);
    EXPECT_EQ(D.SizeLabels(D.TabSheetBMP1).OriginalValue->Top(), 77);
  }, TClose::Cancel);
  IO->MsgLanguage = msEnglish;
  IO->SimplifiedParamsDialogs = false;
  Run(ppJPEG, [&](TfIOPreviews& D) {
    EXPECT_EQ(D.Caption(), "Parameters Preview");
    EXPECT_EQ(D.Label23->Caption(), "Quality:");
    EXPECT_EQ(D.GroupBox5->Caption(), " Advanced ");
    EXPECT_EQ(D.CheckBox6->Caption(), "Interlaced");
    EXPECT_EQ(D.CheckBox5->Caption(), "Interlaced:");
    EXPECT_EQ(D.ClientWidth(), 527);
    EXPECT_EQ(D.ClientHeight(), 425);
  }, TClose::Cancel);
}

// ---------------------------------------------------------------------------------------------
// One picture
// ---------------------------------------------------------------------------------------------

TEST_F(IOPreviewsTest, JpegAndTiffPagesMatchTheReviewedPictures) {
  P().FileType = ftJpeg;
  for (const char* Page : {"jpeg", "tiff"}) {
    SCOPED_TRACE(Page);
    Run(ppAll, [&](TfIOPreviews& D) {
      if (std::string(Page) == "tiff") D.PageControl1->SelectPage(D.TabSheetTIFF1);
      D.Button3->Click();
      D.Repaint();
      headless::Pump();
      const headless::TPixels Shot = headless::WindowPixels(D.Handle());
      ASSERT_GT(Shot.Width, 0);
      TBitmap Bmp;
      Bmp.SetPixelFormat(pf24bit);
      Bmp.SetSize(Shot.Width, Shot.Height);
      for (int y = 0; y < Shot.Height; ++y) {
        auto* Row = static_cast<uint8_t*>(Bmp.ScanLine(y));
        for (int x = 0; x < Shot.Width; ++x) {
          const uint32_t c = Shot.At(x, y);
          Row[x * 3] = uint8_t(c);
          Row[x * 3 + 1] = uint8_t(c >> 8);
          Row[x * 3 + 2] = uint8_t(c >> 16);
        }
      }
      const std::string Name = std::string("io_previews_") + Page + ".png";
      std::filesystem::create_directories(ZV_TEST_TMP);
      EXPECT_TRUE(SaveBitmapToPng(Bmp.Canvas()->Handle(), std::string(ZV_TEST_TMP) + "/" + Name));
      const std::string RefPath = std::string(ZV_VECTOR_TEST_DATA) + "/" + Name;
      ASSERT_TRUE(std::filesystem::exists(RefPath)) << RefPath;
      TFileStream In(RefPath, fmOpenRead);
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
    }, TClose::Cancel);
  }
}

}  // namespace
}  // namespace zv
