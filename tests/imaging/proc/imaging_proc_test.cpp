// The processing component: resampling with its size rules, the application's Fit and Cut sizes, the
// order of the operation frame's events, the format check, selection operations, and the attachment to
// a bitmap, a TImage and a view (with the view's change callbacks and its end).
#include "imaging/proc/imaging_proc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/mask.h"
#include "imaging/proc/bitmap_copy.h"
#include "imaging/proc/proc_startup.h"
#include "imaging/proc/resample.h"
#include "platform/graphics.h"
#include "platform/std_controls.h"
#include "platform/windows.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

using Log = std::vector<std::string>;

// A concrete view over bitmaps of its own, or (WithIEBitmap false) over a class-library bitmap only.
class TTestView : public TIEView {
public:
  explicit TTestView(Log* Events = nullptr, bool WithIEBitmap = true)
      : TIEView(nullptr), FEvents(Events), FWithIEBitmap(WithIEBitmap) {}

  TIEBitmap* Current = &First;
  TIEBitmap First, Second;
  TBitmap Picture;
  int32_t Updates = 0;
  int32_t ImageChanges = 0;

  TIEBitmap* GetIEBitmap() override { return FWithIEBitmap ? Current : nullptr; }
  TBitmap* GetTBitmap() override { return FWithIEBitmap ? nullptr : &Picture; }
  TIEBitmap* GetAlphaChannel() override { return Current->GetAlphaChannel(); }
  bool HasAlphaChannel() override { return Current->HasAlphaChannel(); }
  void RemoveAlphaChannel(bool Merge) override { Current->RemoveAlphaChannel(Merge, Background()); }
  void LockUpdate() override {}
  int32_t UnlockUpdate() override { return 0; }
  int32_t UnlockUpdateEx() override { return 0; }
  void Update() override {
    ++Updates;
    if (FEvents) FEvents->push_back("update");
  }
  void DoImageChange() override {
    ++ImageChanges;
    if (FEvents) FEvents->push_back("change");
  }

private:
  Log* FEvents;
  bool FWithIEBitmap;
};

TIERGB24 PatternAt(int x, int y) {
  return TIERGB24{uint8_t(x * 7 + y * 3), uint8_t((x ^ y) * 5), uint8_t(x * 2 + y * 11)};
}

void FillPattern(TIEBitmap* B, int W, int H) {
  ASSERT_TRUE(B->Allocate(W, H, ie24RGB));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) B->SetRGB(x, y, PatternAt(x, y));
}

// Whether the W x H block of A at (AX, AY) equals the block of B at (BX, BY), pixel for pixel.
bool SameBlock(TIEBitmap* A, int AX, int AY, TIEBitmap* B, int BX, int BY, int W, int H) {
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      if (!(A->GetRGB(AX + x, AY + y) == B->GetRGB(BX + x, BY + y))) return false;
  return true;
}

class ImagingProcTest : public testing::Test {
protected:
  static void SetUpTestSuite() { ProcessingStartup(); }
  static void TearDownTestSuite() { ProcessingShutdown(); }
  void TearDown() override { ImagingProcLinks = TImagingProcLinks(); }

  // Records the frame's events of Proc into Events.
  void Record(TImagingProc* Proc, Log& Events) {
    Proc->OnProgress = [&Events, Proc](TObject* Sender, int Percent) {
      EXPECT_EQ(Sender, Proc);
      Events.push_back('p' + std::to_string(Percent));
    };
    Proc->OnFinishWork = [&Events](TObject*) { Events.push_back("finish"); };
    Proc->OnSaveUndo = [&Events](TObject*, TIEUndoSource) { Events.push_back("undo"); };
  }
};

// ---- Construction -------------------------------------------------------------------------------------

TEST_F(ImagingProcTest, StartsOnAnEmptyBitmapOfItsOwnWithAutoUndoOnlyWhenOwned) {
  TComponent Owner(nullptr);
  auto* Owned = new TImagingProc(&Owner);
  EXPECT_TRUE(Owned->AutoUndo());
  TImagingProc Free(nullptr);
  EXPECT_FALSE(Free.AutoUndo());
  EXPECT_TRUE(Free.OwnsTarget());
  ASSERT_NE(Free.Target(), nullptr);
  EXPECT_TRUE(Free.Target()->IsEmpty());
  EXPECT_EQ(Free.UndoLimit(), 1);
  EXPECT_EQ(Free.UndoLocation(), ieTempFile);
  EXPECT_TRUE(Free.AutoConvertFormat());
  EXPECT_EQ(Free.Background(), 0);
  EXPECT_TRUE(Free.PreviewsParams.Contains(prppShowResetButton));
  EXPECT_TRUE(Free.PreviewsParams.Contains(prppHardReset));
  EXPECT_EQ(Free.DialogParams()->SelectionIndex(0), -1);
  EXPECT_EQ(Free.DialogParams()->Matrix[1][1], 1);
}

TEST_F(ImagingProcTest, PublishedPropertiesAreSetByName) {
  TComponent Owner(nullptr);
  auto* Proc = new TImagingProc(&Owner);
  TImage Image(nullptr);
  struct Case {
    const char* Path;
    const char* Value;
    std::function<bool()> Took;
  } Cases[] = {
      {"AutoUndo", "False", [&] { return !Proc->AutoUndo(); }},
      {"UndoLimit", "5", [&] { return Proc->UndoLimit() == 5; }},
      {"MsgLanguage", "msJapanese", [&] { return Proc->MsgLanguage() == msJapanese; }},
      {"Background", "255", [&] { return Proc->Background() == 255; }},
      {"AutoConvertFormat", "False", [&] { return !Proc->AutoConvertFormat(); }},
      {"PreviewsParams", "[prppHardReset]",
       [&] { return Proc->PreviewsParams == TPRPreviewsParams{prppHardReset}; }},
      {"PreviewFont.Name", "Arial", [&] { return Proc->PreviewFont()->Name() == "Arial"; }},
      {"PreviewFont.Size", "14", [&] { return Proc->PreviewFont()->Size() == 14; }},
  };
  for (const Case& C : Cases) {
    SetPropertyByName(Proc, C.Path, C.Value);
    EXPECT_TRUE(C.Took()) << C.Path;
    EXPECT_EQ(GetPropertyByName(Proc, C.Path), C.Value) << C.Path;
  }
  EXPECT_EQ(GetPropertyByName(Proc, "AttachedImaging"), "");
  SetObjectProp(Proc, "AttachedTImage", &Image);
  EXPECT_EQ(Proc->AttachedTImage(), &Image);
  EXPECT_EQ(GetPropertyByName(Proc, "AttachedTImage"), "(TImage)");
  SetObjectProp(Proc, "AttachedTImage", nullptr);
  EXPECT_EQ(Proc->AttachedTImage(), nullptr);
  EXPECT_THROW(SetPropertyByName(Proc, "UndoLimits", "1"), EPropertyError);
  EXPECT_THROW(SetPropertyByName(Proc, "MsgLanguage", "msKlingon"), EPropertyError);
}

TEST_F(ImagingProcTest, StartUpRegistersTheRawClipboardFormat) {
  EXPECT_NE(RawClipboardFormat, 0u);
  EXPECT_EQ(RawClipboardFormat, RegisterClipboardFormat("IMAGING RAW FORMAT"));
}

// ---- Resampling --------------------------------------------------------------------------------------

struct SizeCase {
  int32_t NewWidth, NewHeight;
  int32_t Width, Height;  // the result; 40 x 30 (the source) for requests that do nothing
  bool Runs;
};

class ResampleSizeTest : public ImagingProcTest, public testing::WithParamInterface<SizeCase> {};

TEST_P(ResampleSizeTest, FollowsTheSizeRuleAndDoesNothingForRequestsWithoutASize) {
  const SizeCase& C = GetParam();
  TComponent Owner(nullptr);
  auto* Proc = new TImagingProc(&Owner);
  FillPattern(Proc->Target(), 40, 30);
  TIEBitmap Original;
  Original.Assign(Proc->Target());
  Log Events;
  Record(Proc, Events);
  Proc->Resample(C.NewWidth, C.NewHeight, rfFastLinear);
  EXPECT_EQ(Proc->Target()->GetWidth(), C.Width);
  EXPECT_EQ(Proc->Target()->GetHeight(), C.Height);
  if (C.Runs) {
    EXPECT_EQ(Proc->UndoCount(), 1);
    std::string Caption;
    Proc->UndoCaption(0, Caption);
    EXPECT_EQ(Caption, "Resample " + std::to_string(C.NewWidth) + ", " + std::to_string(C.NewHeight));
    EXPECT_EQ(std::count(Events.begin(), Events.end(), "finish"), 2);
    if (C.Width == 40 && C.Height == 30) {
      EXPECT_TRUE(SameBitmap(Proc->Target(), &Original));
    }
    Proc->Undo();
    EXPECT_TRUE(SameBitmap(Proc->Target(), &Original));
  } else {
    EXPECT_EQ(Proc->UndoCount(), 0);
    EXPECT_TRUE(Events.empty());
    EXPECT_TRUE(SameBitmap(Proc->Target(), &Original));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ResampleSizeTest,
    testing::Values(SizeCase{20, -1, 20, 15, true}, SizeCase{-1, 15, 20, 15, true}, SizeCase{0, 10, 40, 10, true},
                    SizeCase{-5, 7, 5, 7, true}, SizeCase{80, 0, 80, 30, true},
                    // Resolved only later, so it runs although the size comes out the same.
                    SizeCase{-1, 30, 40, 30, true},
                    // The width from the height as passed (0), the height from the width kept.
                    SizeCase{-1, 0, 1, 30, true}, SizeCase{0, -1, 40, 30, true},
                    // Not the image's size as passed: it runs, and its undo gives the image back.
                    SizeCase{0, 0, 40, 30, true},
                    SizeCase{40, 30, 40, 30, false}, SizeCase{-1, -1, 40, 30, false},
                    SizeCase{-5, -7, 40, 30, false}));

TEST_F(ImagingProcTest, ResampleIntoLeavesTheTargetAndFinishesOnce) {
  TImagingProc Proc(nullptr);
  FillPattern(Proc.Target(), 40, 30);
  Log Events;
  Record(&Proc, Events);
  TIEBitmap Dest;
  Proc.ResampleInto(&Dest, -1, 15, rfNone);
  EXPECT_EQ(Dest.GetWidth(), 20);
  EXPECT_EQ(Dest.GetHeight(), 15);
  EXPECT_EQ(Proc.Target()->GetWidth(), 40);
  ASSERT_GE(Events.size(), 2u);
  EXPECT_EQ(Events[Events.size() - 2], "p100");
  EXPECT_EQ(Events.back(), "finish");

  Events.clear();
  TIEBitmap Untouched;
  Proc.ResampleInto(&Untouched, -1, -1, rfNone);
  EXPECT_TRUE(Untouched.IsEmpty());
  EXPECT_TRUE(Events.empty());
}

// The frame of Resample: the undo copy first, the routine's progress, then (from ResampleInto) 100 and
// finish, the view told of the change, and 100 and finish once more.
TEST_F(ImagingProcTest, ResampleReportsUndoProgressChangeAndFinishInOrder) {
  Log Events;
  TTestView View(&Events);
  FillPattern(View.Current, 64, 48);
  auto* Proc = new TImagingProc(&View);
  Proc->SetAttachedImaging(&View);
  Record(Proc, Events);
  Proc->Resample(32, 24, rfFastLinear);

  ASSERT_GE(Events.size(), 8u);
  EXPECT_EQ(Events.front(), "undo");
  const Log Tail(Events.end() - 6, Events.end());
  EXPECT_EQ(Tail, (Log{"p100", "finish", "update", "change", "p100", "finish"}));
  int Last = -1;
  for (size_t i = 1; i + 6 < Events.size(); ++i) {
    ASSERT_EQ(Events[i][0], 'p') << Events[i];
    const int Percent = std::stoi(Events[i].substr(1));
    EXPECT_GE(Percent, Last);
    EXPECT_LT(Percent, 100);
    Last = Percent;
  }
  EXPECT_GT(Last, 0);
  EXPECT_EQ(View.Current->GetWidth(), 32);
}

TEST_F(ImagingProcTest, ImageResizeAndFillFinishOnceAfterTheChange) {
  Log Events;
  TTestView View(&Events);
  FillPattern(View.Current, 8, 8);
  auto* Proc = new TImagingProc(&View);
  Proc->SetAttachedImaging(&View);
  Record(Proc, Events);
  Proc->ImageResize(10, 12, 1, 1, 255);
  EXPECT_EQ(Events, (Log{"undo", "update", "change", "p100", "finish"}));

  Events.clear();
  Proc->Fill(TIERGB24{1, 2, 3});
  ASSERT_GE(Events.size(), 5u);
  EXPECT_EQ(Events.front(), "undo");
  const Log Tail(Events.end() - 4, Events.end());
  EXPECT_EQ(Tail, (Log{"update", "change", "p100", "finish"}));
  std::string Caption;
  Proc->UndoCaption(0, Caption);
  EXPECT_EQ(Caption, "Fill (3, 2, 1)");
  EXPECT_TRUE(View.Current->GetRGB(9, 11) == (TIERGB24{1, 2, 3}));
}

TEST_F(ImagingProcTest, ImageResizeOfASinglePixelClearsItToTheBackgroundFirst) {
  TImagingProc Proc(nullptr);
  ASSERT_TRUE(Proc.Target()->Allocate(1, 1, ie24RGB));
  Proc.Target()->SetRGB(0, 0, TIERGB24{9, 9, 9});
  Proc.SetBackground(clRed);
  int Finishes = 0;
  Proc.OnFinishWork = [&](TObject*) { ++Finishes; };
  Proc.ImageResize(10, 10, 1, 1, 255);
  ASSERT_EQ(Proc.Target()->GetWidth(), 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_TRUE(Proc.Target()->GetRGB(x, y) == (TIERGB24{0, 0, 255}));
  EXPECT_EQ(Finishes, 2);  // the Clear is an operation of its own
}

// ---- The application's frame sizes --------------------------------------------------------------------

class FitAndCutTest : public ImagingProcTest {
protected:
  void SetUp() override {
    FillPattern(&Frame, 640, 360);
    FillPattern(&View.First, 640, 360);
    // The hidden work view's processor: owned, so AutoUndo on and one undo copy.
    Proc = new TImagingProc(&View);
    Proc->SetAttachedImaging(&View);
    Proc->SetBackground(clBlack);
  }

  TIEBitmap Frame;
  TTestView View;
  TImagingProc* Proc = nullptr;
};

TEST_F(FitAndCutTest, FitScalesTheFrameAndCentresItBetweenTransparentBars) {
  TIEBitmap Reference;
  ASSERT_TRUE(ResampleToSize(&Frame, &Reference, 300, -1, rfFastLinear, nullptr, {}));
  Proc->Resample(300, -1, rfFastLinear);
  TIEBitmap* T = Proc->Target();
  ASSERT_EQ(T->GetWidth(), 300);
  ASSERT_EQ(T->GetHeight(), 168);
  EXPECT_TRUE(SameBitmap(T, &Reference));

  Proc->ImageResize(300, 300, 1, 1, 0);
  ASSERT_EQ(T->GetWidth(), 300);
  ASSERT_EQ(T->GetHeight(), 300);
  ASSERT_TRUE(T->HasAlphaChannel());
  EXPECT_TRUE(SameBlock(T, 0, 66, &Reference, 0, 0, 300, 168));
  TIEBitmap* Alpha = T->GetAlphaChannel();
  for (int y : {0, 65, 66, 150, 233, 234, 299}) {
    const uint8_t Expected = (y >= 66 && y < 234) ? 255 : 0;
    for (int x : {0, 150, 299}) EXPECT_EQ(Alpha->GetByte(x, y), Expected) << x << "," << y;
  }
  EXPECT_FALSE(Alpha->Full());
  EXPECT_TRUE(T->GetRGB(5, 5) == (TIERGB24{0, 0, 0}));
  EXPECT_EQ(Proc->UndoCount(), 1);
}

TEST_F(FitAndCutTest, CutScalesTheFrameAndCropsItsMiddle) {
  TIEBitmap Reference;
  ASSERT_TRUE(ResampleToSize(&Frame, &Reference, -1, 300, rfFastLinear, nullptr, {}));
  Proc->Resample(-1, 300, rfFastLinear);
  TIEBitmap* T = Proc->Target();
  ASSERT_EQ(T->GetWidth(), 533);
  ASSERT_EQ(T->GetHeight(), 300);
  EXPECT_TRUE(SameBitmap(T, &Reference));

  Proc->ImageResize(300, 300, 1, 1, 255);
  ASSERT_EQ(T->GetWidth(), 300);
  ASSERT_EQ(T->GetHeight(), 300);
  EXPECT_FALSE(T->HasAlphaChannel());
  EXPECT_TRUE(SameBlock(T, 0, 0, &Reference, (533 - 300) / 2, 0, 300, 300));
}

// ---- Format check ---------------------------------------------------------------------------------------

struct FormatCase {
  TIEPixelFormat Format;
  TIEAllowedFormats Allowed;
  bool AutoConvert;
  bool Result;
  TIEPixelFormat After;
};

class CheckFormatTest : public ImagingProcTest, public testing::WithParamInterface<FormatCase> {};

TEST_P(CheckFormatTest, ConvertsToTheFirstAllowedFormatOfThePreferenceRow) {
  const FormatCase& C = GetParam();
  TImagingProc Proc(nullptr);
  FillPattern(Proc.Target(), 9, 5);
  ASSERT_TRUE(Proc.Target()->SetPixelFormat(C.Format));
  Proc.SetAutoConvertFormat(C.AutoConvert);
  EXPECT_EQ(Proc.CheckFormat(C.Allowed), C.Result);
  EXPECT_EQ(Proc.Target()->GetPixelFormat(), C.After);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, CheckFormatTest,
    testing::Values(FormatCase{ie24RGB, {}, true, true, ie24RGB},
                    FormatCase{ie1g, {ie24RGB}, true, true, ie24RGB},
                    FormatCase{ie1g, {ie24RGB}, false, false, ie1g},
                    FormatCase{ie24RGB, {ie8g, ie24RGB}, true, true, ie24RGB},
                    FormatCase{ie24RGB, {ie8g, ieGray16}, true, true, ieGray16},
                    // The ie8p row names no grey format: the highest allowed number wins.
                    FormatCase{ie8p, {ie8g}, true, true, ie8g},
                    FormatCase{ie24RGB, TIEAllowedFormats::FromBits(1u << 12), true, false, ie24RGB}));

TEST_F(ImagingProcTest, WithoutATargetNothingRuns) {
  TImagingProc Proc(nullptr);
  Proc.AttachIEBitmap(nullptr);
  EXPECT_EQ(Proc.Target(), nullptr);
  EXPECT_FALSE(Proc.CheckFormat({}));
  int Finishes = 0;
  Proc.OnFinishWork = [&](TObject*) { ++Finishes; };
  Proc.Resample(10, 10, rfFastLinear);
  Proc.ImageResize(10, 10);
  Proc.Fill(TIERGB24{1, 2, 3});
  Proc.Clear();
  Proc.Crop(0, 0, 1, 1);
  Proc.ConvertToGray();
  EXPECT_EQ(Finishes, 0);
}

// ---- Selection operations -------------------------------------------------------------------------------

TEST_F(ImagingProcTest, FillChangesOnlyTheSelectedPixelsOfAnImageView) {
  TTestView View;
  FillPattern(View.Current, 10, 8);
  TIEMask Mask;
  Mask.Allocate(10, 8, 1);
  for (auto [x, y] : {std::pair{3, 2}, std::pair{5, 4}, std::pair{4, 3}}) Mask.SetPixel(x, y, 1);
  bool HasSelection = true;
  ImagingProcLinks.IsImagingView = [&](TIEView* V) { return V == &View; };
  ImagingProcLinks.GetSelection = [&](TIEView*, TIEMask*& M, const TPoint*&, int32_t&) {
    M = &Mask;
    return HasSelection;
  };
  TImagingProc Proc(nullptr);
  Proc.SetAttachedImaging(&View);
  const TIERGB24 Red{0, 0, 255};
  Proc.Fill(Red);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool Selected = Mask.IsPointInside(x, y);
      EXPECT_TRUE(View.Current->GetRGB(x, y) == (Selected ? Red : PatternAt(x, y))) << x << "," << y;
    }

  // An empty mask means the whole image.
  Mask.Clear();
  Proc.Fill(Red);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_TRUE(View.Current->GetRGB(x, y) == Red);
}

TEST_F(ImagingProcTest, CropToOpaqueLeavesNoUndoEntryAndCropWholeImageDoesNothing) {
  TComponent Owner(nullptr);
  auto* Proc = new TImagingProc(&Owner);
  FillPattern(Proc->Target(), 12, 10);
  int Finishes = 0;
  Proc->OnFinishWork = [&](TObject*) { ++Finishes; };
  Proc->Crop(0, 0, 11, 9);
  EXPECT_EQ(Finishes, 0);
  EXPECT_EQ(Proc->UndoCount(), 0);

  TIEBitmap* Alpha = Proc->Target()->GetAlphaChannel();
  Alpha->Fill(0);
  Alpha->SetByte(3, 2, 255);
  Alpha->SetByte(7, 6, 10);
  Proc->CropToOpaque();
  EXPECT_EQ(Proc->Target()->GetWidth(), 5);
  EXPECT_EQ(Proc->Target()->GetHeight(), 5);
  EXPECT_TRUE(Proc->Target()->GetRGB(0, 0) == PatternAt(3, 2));
  EXPECT_EQ(Proc->UndoCount(), 0);
  EXPECT_TRUE(Proc->AutoUndo());
}

// ---- Attachment ------------------------------------------------------------------------------------------

TEST_F(ImagingProcTest, WorksOnAnAttachedBitmapThatStaysTheCallers) {
  TIEBitmap Bitmap;
  FillPattern(&Bitmap, 20, 10);
  {
    TImagingProc Proc(nullptr);
    Proc.AttachIEBitmap(&Bitmap);
    EXPECT_EQ(Proc.Target(), &Bitmap);
    EXPECT_FALSE(Proc.OwnsTarget());
    Proc.Resample(10, -1, rfFastLinear);
  }
  EXPECT_EQ(Bitmap.GetWidth(), 10);
  EXPECT_EQ(Bitmap.GetHeight(), 5);
}

TEST_F(ImagingProcTest, FollowsTheViewsBitmapAndForgetsTheViewWhenItGoes) {
  auto* View = new TTestView();
  FillPattern(&View->First, 16, 8);
  FillPattern(&View->Second, 6, 6);
  TImagingProc Proc(nullptr);
  Proc.SetAttachedImaging(View);
  EXPECT_EQ(Proc.AttachedImaging(), View);
  EXPECT_EQ(Proc.Target(), &View->First);

  View->Current = &View->Second;
  View->CallChangeCallbacks();
  EXPECT_EQ(Proc.Target(), &View->Second);
  Proc.Resample(3, 3, rfFastLinear);
  EXPECT_EQ(View->Second.GetWidth(), 3);
  EXPECT_EQ(View->First.GetWidth(), 16);
  EXPECT_EQ(View->ImageChanges, 1);

  // A nil bitmap while a view is attached changes nothing.
  Proc.AttachIEBitmap(nullptr);
  EXPECT_EQ(Proc.Target(), &View->Second);

  delete View;
  EXPECT_EQ(Proc.AttachedImaging(), nullptr);
  EXPECT_TRUE(Proc.OwnsTarget());
  EXPECT_TRUE(Proc.Target()->IsEmpty());
  Proc.Resample(2, 2, rfFastLinear);
  Proc.ImageResize(4, 4);
}

TEST_F(ImagingProcTest, DetachingGivesANewEmptyBitmapAndNoCallbackOutlivesTheProcessor) {
  TTestView View;
  FillPattern(&View.First, 16, 8);
  {
    TImagingProc Proc(nullptr);
    Proc.SetAttachedImaging(&View);
    Proc.SetAttachedImaging(nullptr);
    EXPECT_TRUE(Proc.OwnsTarget());
    EXPECT_NE(Proc.Target(), &View.First);
    EXPECT_TRUE(Proc.Target()->IsEmpty());
    Proc.SetAttachedImaging(&View);
  }
  // The processor is gone: the view must not call it.
  View.CallChangeCallbacks();

  // A processor owned by the view goes with it.
  auto* Owner = new TTestView();
  FillPattern(&Owner->First, 4, 4);
  auto* Owned = new TImagingProc(Owner);
  Owned->SetAttachedImaging(Owner);
  delete Owner;
}

TEST_F(ImagingProcTest, AViewWithOnlyAClassLibraryBitmapIsWrapped) {
  TTestView View(nullptr, false);
  View.Picture.SetPixelFormat(pf24bit);
  View.Picture.SetSize(20, 10);
  TImagingProc Proc(nullptr);
  Proc.SetAttachedImaging(&View);
  EXPECT_EQ(Proc.TargetTBitmap(), &View.Picture);
  Proc.Resample(10, 5, rfFastLinear);
  EXPECT_EQ(View.Picture.Width(), 10);
  EXPECT_EQ(View.Picture.Height(), 5);
}

TEST_F(ImagingProcTest, WorksOnATImagesPictureUntilTheImageGoes) {
  auto* Image = new TImage(nullptr);
  TBitmap* Picture = Image->Picture()->Bitmap();
  Picture->SetPixelFormat(pf24bit);
  Picture->SetSize(20, 10);
  Picture->SetModified(false);
  TImagingProc Proc(nullptr);
  Proc.SetAttachedTImage(Image);
  EXPECT_EQ(Proc.AttachedTImage(), Image);
  // A size change made on the picture itself is seen by the next operation.
  Picture->SetSize(30, 10);
  Proc.Resample(15, -1, rfFastLinear);
  EXPECT_EQ(Picture->Width(), 15);
  EXPECT_EQ(Picture->Height(), 5);
  EXPECT_TRUE(Picture->Modified());

  delete Image;
  EXPECT_EQ(Proc.AttachedTImage(), nullptr);
  EXPECT_EQ(Proc.TargetTBitmap(), nullptr);
  Proc.Resample(4, 4, rfFastLinear);
}

// The target handed back to the component while it wraps a TImage's picture still lets go of the picture's
// rows when the image goes: the next operation must not work on freed memory.
TEST_F(ImagingProcTest, ATargetHandedBackLetsGoOfTheTImagesPictureWhenTheImageGoes) {
  auto* Image = new TImage(nullptr);
  Image->Picture()->Bitmap()->SetPixelFormat(pf24bit);
  Image->Picture()->Bitmap()->SetSize(20, 10);
  TImagingProc Proc(nullptr);
  Proc.SetAttachedTImage(Image);
  Proc.SetTargetBitmap(Proc.Target());
  delete Image;
  EXPECT_EQ(Proc.Target()->GetWidth(), 0);
  Proc.Resample(4, 4, rfFastLinear);
  Proc.Fill(MakeRGB24(255, 0, 0));
}

}  // namespace
}  // namespace zv
