// Undo and redo of the processing component: image copies kept in temporary files that give back the
// exact image, the undo limit, the OnSaveUndo event, captions and positions, and the view's records
// (layers, selection) handed back through the view's links.
#include "imaging/proc/undo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/globals.h"
#include "imaging/core/work_bitmap.h"
#include "imaging/proc/bitmap_copy.h"
#include "imaging/proc/imaging_proc.h"
#include "imaging/proc/proc_startup.h"
#include "platform/sysutils.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

// A view with layers: each layer a bitmap, a GUID and a payload byte that its undo record carries.
class TLayeredView : public TIEView {
public:
  TLayeredView() : TIEView(nullptr) {}

  struct TLayer {
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    TIELayerGUID GUID{};
    uint8_t Payload = 0;
  };
  std::vector<TLayer> Layers;
  int32_t Current = 0;
  std::string Selection;
  int32_t SelectionMode = -1;
  int32_t Updates = 0;

  TLayer& AddLayer(uint8_t Id) {
    Layers.emplace_back();
    Layers.back().GUID.fill(Id);
    Layers.back().Payload = Id;
    return Layers.back();
  }

  TIEBitmap* GetIEBitmap() override { return Layers.empty() ? nullptr : Layers[size_t(Current)].Bitmap.get(); }
  TIEBitmap* GetAlphaChannel() override { return nullptr; }
  bool HasAlphaChannel() override { return false; }
  void RemoveAlphaChannel(bool) override {}
  void LockUpdate() override {}
  int32_t UnlockUpdate() override { return 0; }
  int32_t UnlockUpdateEx() override { return 0; }
  void Update() override { ++Updates; }
};

void FillPattern(TIEBitmap* B, int W, int H, int Seed) {
  ASSERT_TRUE(B->Allocate(W, H, ie24RGB));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      B->SetRGB(x, y, TIERGB24{uint8_t(x * 7 + Seed), uint8_t(y * 13 + Seed), uint8_t(x * y + Seed)});
}

// Size, format, rows, alpha channel and palette all equal.
void ExpectSameImage(TIEBitmap* A, TIEBitmap* B) {
  EXPECT_EQ(A->GetPixelFormat(), B->GetPixelFormat());
  EXPECT_TRUE(SameBitmap(A, B));
  ASSERT_EQ(A->GetPaletteLength(), B->GetPaletteLength());
  for (int i = 0; i < A->GetPaletteLength(); ++i) EXPECT_TRUE(A->GetPaletteColor(i) == B->GetPaletteColor(i)) << i;
  if (A->HasAlphaChannel() && B->HasAlphaChannel()) {
    EXPECT_EQ(A->GetAlphaChannel()->Full(), B->GetAlphaChannel()->Full());
  }
}

class UndoTest : public testing::Test {
protected:
  static void SetUpTestSuite() { ProcessingStartup(); }
  static void TearDownTestSuite() { ProcessingShutdown(); }
  void SetUp() override {
    FSavedTempFolder = TempFolder;
    TempFolder = IncludeTrailingPathDelimiter(ZV_TEST_TMP);
    ForceDirectories(ZV_TEST_TMP);
    Proc = new TImagingProc(&Owner);
  }
  void TearDown() override {
    ImagingProcLinks = TImagingProcLinks();
    TempFolder = FSavedTempFolder;
  }
  std::string Newest() const {
    std::string Caption = "(none)";
    Proc->UndoCaption(0, Caption);
    return Caption;
  }

  TComponent Owner{nullptr};
  TImagingProc* Proc = nullptr;

private:
  std::string FSavedTempFolder;
};

// ---- Exact restore through the temporary file ---------------------------------------------------------

enum class Kind { Rgb24WithAlpha, Palette8, Bits1, Rgb48 };

class ExactRestoreTest : public UndoTest, public testing::WithParamInterface<Kind> {
protected:
  void MakeImage(TIEBitmap* B) {
    FillPattern(B, 37, 21, 5);
    switch (GetParam()) {
      case Kind::Rgb24WithAlpha: {
        TIEBitmap* Alpha = B->GetAlphaChannel();
        for (int y = 0; y < 21; ++y)
          for (int x = 0; x < 37; ++x) Alpha->SetByte(x, y, uint8_t(x * 6 + y));
        Alpha->SetFull(false);
        break;
      }
      case Kind::Palette8:
        ASSERT_TRUE(B->Allocate(37, 21, ie8p));
        for (int i = 0; i < 256; ++i) B->SetPaletteColor(i, TIERGB24{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
        for (int y = 0; y < 21; ++y)
          for (int x = 0; x < 37; ++x) B->SetByte(x, y, uint8_t(x + 11 * y));
        break;
      case Kind::Bits1:
        ASSERT_TRUE(B->SetPixelFormat(ie1g));
        break;
      case Kind::Rgb48:
        ASSERT_TRUE(B->SetPixelFormat(ieRGB48));
        B->SetRGB48(3, 4, TIERGB48{0x1234, 0xABCD, 0x0F0F});
        break;
    }
  }
};

TEST_P(ExactRestoreTest, UndoGivesBackTheImageFromATempFileAndRedoTheChangedOne) {
  TIEBitmap* T = Proc->Target();
  MakeImage(T);
  TIEBitmap Original;
  Original.Assign(T);
  Proc->Resample(20, 9, rfNone);
  ASSERT_EQ(T->GetWidth(), 20);
  TIEBitmap Changed;
  Changed.Assign(T);

  ASSERT_EQ(Proc->UndoCount(), 1);
  const TIEUndoEntry* Entry = Proc->UndoStack().AtPosition(0);
  ASSERT_NE(Entry->Image, nullptr);
  EXPECT_EQ(Entry->Image->Location(), ieTempFile);
  EXPECT_TRUE(Entry->Image->FileBuffer()->IsAllocated());
  EXPECT_EQ(Entry->UndoLayerIndex, -1);

  Proc->Undo(true);
  ExpectSameImage(T, &Original);
  EXPECT_EQ(T->HasAlphaChannel(), Original.HasAlphaChannel());
  EXPECT_EQ(Proc->UndoCount(), 1);
  ASSERT_EQ(Proc->RedoCount(), 1);
  EXPECT_EQ(Proc->RedoStack().AtPosition(0)->Image->Location(), ieTempFile);

  Proc->Redo();
  ExpectSameImage(T, &Changed);
  EXPECT_TRUE(Proc->CanUndo());
  EXPECT_TRUE(Proc->CanRedo());

  // The copies and their files go with the stacks.
  Proc->ClearAllUndo();
  Proc->ClearAllRedo();
  EXPECT_FALSE(Proc->CanUndo());
  EXPECT_FALSE(Proc->CanRedo());
}

INSTANTIATE_TEST_SUITE_P(Formats, ExactRestoreTest,
                         testing::Values(Kind::Rgb24WithAlpha, Kind::Palette8, Kind::Bits1, Kind::Rgb48));

TEST_F(UndoTest, UndoOfAnImageWithoutAlphaDropsAnAlphaChannelAddedSince) {
  TIEBitmap* T = Proc->Target();
  FillPattern(T, 10, 6, 1);
  Proc->ImageResize(12, 8, 0, 0, 0);
  ASSERT_TRUE(T->HasAlphaChannel());
  Proc->Undo();
  EXPECT_EQ(T->GetWidth(), 10);
  EXPECT_FALSE(T->HasAlphaChannel());
}

TEST_F(UndoTest, InMemoryLocationKeepsCopiesOutOfFiles) {
  Proc->SetUndoLocation(ieInMemory);
  FillPattern(Proc->Target(), 10, 6, 1);
  Proc->SaveUndo();
  ASSERT_EQ(Proc->UndoCount(), 1);
  EXPECT_EQ(Proc->UndoStack().AtPosition(0)->Image->Location(), ieInMemory);
}

// ---- The limit --------------------------------------------------------------------------------------

TEST_F(UndoTest, TheLimitKeepsTheNewestEntries) {
  FillPattern(Proc->Target(), 40, 30, 2);
  Proc->Resample(30, 20, rfFastLinear);
  Proc->Resample(20, 10, rfFastLinear);
  Proc->Resample(10, -1, rfFastLinear);
  EXPECT_EQ(Proc->UndoCount(), 1);
  EXPECT_EQ(Newest(), "Resample 10, -1");

  Proc->SetUndoLimit(3);
  for (int w : {9, 8, 7, 6}) Proc->Resample(w, 5, rfFastLinear);
  ASSERT_EQ(Proc->UndoCount(), 3);
  std::string Caption;
  Proc->UndoCaption(2, Caption);
  EXPECT_EQ(Caption, "Resample 8, 5");
  EXPECT_EQ(Newest(), "Resample 6, 5");
  // Outside the stack the caption is left alone.
  Caption = "kept";
  Proc->UndoCaption(3, Caption);
  EXPECT_EQ(Caption, "kept");

  // A lowered limit trims at the next push, to one below the limit, then appends.
  Proc->SetUndoLimit(2);
  EXPECT_EQ(Proc->UndoCount(), 3);
  Proc->Resample(5, 5, rfFastLinear);
  EXPECT_EQ(Proc->UndoCount(), 2);
  Proc->UndoCaption(1, Caption);
  EXPECT_EQ(Caption, "Resample 6, 5");
}

TEST_F(UndoTest, ALimitOfZeroOrBelowSavesNothingAndRaisesNothing) {
  FillPattern(Proc->Target(), 40, 30, 2);
  int SaveEvents = 0;
  Proc->OnSaveUndo = [&](TObject*, TIEUndoSource) { ++SaveEvents; };
  for (int Limit : {0, -3}) {
    Proc->SetUndoLimit(Limit);
    Proc->Resample(20 + Limit, 10, rfFastLinear);
    Proc->SaveUndo(ieuImage);
    Proc->SaveRedo(ieuImage);
  }
  EXPECT_EQ(Proc->Target()->GetWidth(), 17);
  EXPECT_EQ(Proc->UndoCount(), 0);
  EXPECT_EQ(Proc->RedoCount(), 0);
  EXPECT_EQ(SaveEvents, 0);
}

// ---- OnSaveUndo --------------------------------------------------------------------------------------

TEST_F(UndoTest, OnSaveUndoFollowsEveryRequestThatPassesTheChecks) {
  std::vector<TIEUndoSource> Events;
  Proc->OnSaveUndo = [&](TObject* Sender, TIEUndoSource Source) {
    EXPECT_EQ(Sender, Proc);
    Events.push_back(Source);
  };
  TIEBitmap* T = Proc->Target();
  ASSERT_TRUE(T->Allocate(1, 1, ie24RGB));
  Proc->SaveUndoCaptioned("tiny", ieuImage);
  EXPECT_TRUE(Events.empty());
  Proc->SaveUndo(ieuImage);
  EXPECT_EQ(Events, (std::vector<TIEUndoSource>{ieuImage}));
  EXPECT_EQ(Proc->UndoCount(), 0);

  FillPattern(T, 4, 4, 0);
  Proc->SaveUndo(ieuSelection);  // no view: nothing stored, the event still comes
  Proc->SaveUndo(ieuUnknown);
  EXPECT_EQ(Events, (std::vector<TIEUndoSource>{ieuImage, ieuSelection, ieuUnknown}));
  EXPECT_EQ(Proc->UndoCount(), 0);

  Proc->SaveUndoCaptioned("Mine", ieuImage);
  EXPECT_EQ(Proc->UndoCount(), 1);
  EXPECT_EQ(Newest(), "Mine");
  EXPECT_EQ(Proc->UndoSourceAt(0), ieuImage);
  EXPECT_EQ(Proc->UndoSourceAt(1), ieuUnknown);
}

// ---- Positions -------------------------------------------------------------------------------------

TEST_F(UndoTest, PositionsCountFromTheNewestAndEntriesStayUntilCleared) {
  Proc->SetUndoLimit(5);
  TIEBitmap* T = Proc->Target();
  FillPattern(T, 30, 30, 0);
  Proc->Resample(20, 20, rfNone);
  Proc->Resample(10, 10, rfNone);
  Proc->Resample(5, 5, rfNone);
  ASSERT_EQ(Proc->UndoCount(), 3);

  Proc->UndoAt(1);  // the image before "Resample 10, 10"
  EXPECT_EQ(T->GetWidth(), 20);
  EXPECT_EQ(Proc->UndoCount(), 3);
  Proc->UndoAt(7);  // outside: nothing
  EXPECT_EQ(T->GetWidth(), 20);

  Proc->ClearUndoAt(1);
  ASSERT_EQ(Proc->UndoCount(), 2);
  EXPECT_EQ(Newest(), "Resample 5, 5");
  Proc->ClearUndo();
  EXPECT_EQ(Newest(), "Resample 20, 20");
  Proc->Undo();
  EXPECT_EQ(T->GetWidth(), 30);
}

// Operations that convert the format first save after the conversion; Fill and ConvertToGray save
// before it.
TEST_F(UndoTest, TheCopyIsTakenBeforeOrAfterTheFormatConversionAsEachOperationDoes) {
  TIEBitmap* T = Proc->Target();
  auto MakePalette = [T] {
    ASSERT_TRUE(T->Allocate(8, 8, ie8p));
    for (int i = 0; i < 256; ++i) T->SetPaletteColor(i, TIERGB24{uint8_t(i), 0, uint8_t(255 - i)});
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) T->SetByte(x, y, uint8_t(x * 8 + y));
  };
  MakePalette();
  Proc->ConvertTo(16, false);
  EXPECT_EQ(Newest(), "ConvertTo 16");
  Proc->Undo();
  EXPECT_EQ(T->GetPixelFormat(), ie24RGB);

  MakePalette();
  Proc->ConvertToGray();
  EXPECT_EQ(Newest(), "ConvertToGray");
  Proc->Undo();
  EXPECT_EQ(T->GetPixelFormat(), ie8p);
}

// ---- The view's records ------------------------------------------------------------------------------

class ViewUndoTest : public UndoTest {
protected:
  void SetUp() override {
    UndoTest::SetUp();
    for (uint8_t Id : {1, 2, 3, 4}) FillPattern(View.AddLayer(Id).Bitmap.get(), 6, 6, Id);
    TImagingProcLinks& L = ImagingProcLinks;
    L.IsImagingView = [this](TIEView* V) { return V == &View; };
    L.LayerCount = [this](TIEView*) { return int32_t(View.Layers.size()); };
    L.CurrentLayer = [this](TIEView*) { return View.Current; };
    L.LayerBitmap = [this](TIEView*, int32_t i) { return View.Layers[size_t(i)].Bitmap.get(); };
    L.LayerGUID = [this](TIEView*, int32_t i) { return View.Layers[size_t(i)].GUID; };
    // A record: length, GUID, payload byte.
    L.SaveLayerToStream = [this](TIEView*, int32_t i, TStream* S, bool) {
      const int32_t Length = 21;
      S->WriteBuffer(&Length, 4);
      S->WriteBuffer(View.Layers[size_t(i)].GUID.data(), 16);
      S->WriteBuffer(&View.Layers[size_t(i)].Payload, 1);
    };
    L.LoadLayerFromStream = [this](TIEView*, int32_t i, TStream* S) {
      uint8_t Head[20];
      S->ReadBuffer(Head, 20);
      S->ReadBuffer(&View.Layers[size_t(i)].Payload, 1);
    };
    L.SaveSelectionToStream = [this](TIEView*, TStream* S) {
      const int32_t n = int32_t(View.Selection.size());
      S->WriteBuffer(&n, 4);
      S->WriteBuffer(View.Selection.data(), n);
    };
    L.LoadSelectionFromStream = [this](TIEView*, TStream* S, int32_t Mode) {
      int32_t n = 0;
      S->ReadBuffer(&n, 4);
      View.Selection.assign(size_t(n), ' ');
      S->ReadBuffer(View.Selection.data(), n);
      View.SelectionMode = Mode;
    };
    Proc->SetAttachedImaging(&View);
  }

  TLayeredView View;
};

TEST_F(ViewUndoTest, AnImageCopyGoesBackToItsLayerOrToTheLastLayerLeft) {
  View.Current = 3;
  View.CallChangeCallbacks();
  Proc->Resample(3, 3, rfNone);
  EXPECT_EQ(Proc->UndoStack().AtPosition(0)->UndoLayerIndex, 3);
  EXPECT_EQ(View.Layers[3].Bitmap->GetWidth(), 3);

  View.Layers.resize(2);
  View.Current = 0;
  View.CallChangeCallbacks();
  Proc->Undo();
  EXPECT_EQ(View.Layers[1].Bitmap->GetWidth(), 6);
  TIEBitmap Expected;
  FillPattern(&Expected, 6, 6, 4);
  EXPECT_TRUE(SameBitmap(View.Layers[1].Bitmap.get(), &Expected));
  EXPECT_EQ(View.Layers[0].Bitmap->GetWidth(), 6);
}

TEST_F(ViewUndoTest, LayerRecordsRestoreTheLayersThatAreStillThere) {
  Proc->SaveUndo(ieuLayer);
  ASSERT_EQ(Proc->UndoCount(), 1);
  EXPECT_EQ(Proc->UndoSourceAt(0), ieuLayer);
  for (auto& Layer : View.Layers) Layer.Payload = 99;
  View.Layers.erase(View.Layers.begin() + 1);  // the layer of GUID 2 is gone
  const int32_t UpdatesBefore = View.Updates;

  Proc->Undo();
  ASSERT_EQ(View.Layers.size(), 3u);
  EXPECT_EQ(View.Layers[0].Payload, 1);
  EXPECT_EQ(View.Layers[1].Payload, 3);
  EXPECT_EQ(View.Layers[2].Payload, 4);
  EXPECT_GT(View.Updates, UpdatesBefore);
}

TEST_F(ViewUndoTest, TheSelectionComesBackInClampingMode) {
  View.Selection = "box 1 1 4 4";
  Proc->SaveUndo(ieuSelection);
  View.Selection = "none";
  Proc->Undo(true);
  EXPECT_EQ(View.Selection, "box 1 1 4 4");
  EXPECT_EQ(View.SelectionMode, 1);
  ASSERT_EQ(Proc->RedoCount(), 1);
  EXPECT_EQ(Proc->RedoStack().AtPosition(0)->Source, ieuSelection);
  Proc->Redo();
  EXPECT_EQ(View.Selection, "none");
  EXPECT_EQ(Proc->UndoCount(), 1);
  // A vector source needs a vector layer.
  Proc->SaveUndo(ieuObject);
  EXPECT_EQ(Proc->UndoCount(), 1);
}

}  // namespace
}  // namespace zv
