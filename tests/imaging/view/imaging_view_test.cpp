// The image view without a window: the application's work area road (BMP in, resample, canvas resize,
// GIF out), the events copied into the components, the components following the current bitmap through
// the change callbacks, Update and its locks, the layer list, the storage and the view's end.
#include "imaging/view/imaging_view.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/library_startup.h"
#include "imaging/core/mask.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_globals.h"
#include "imaging/proc/imaging_proc.h"
#include "imaging/proc/proc_startup.h"
#include "imaging/view/layers.h"
#include "imaging/view/view_startup.h"
#include "platform/graphics.h"
#include "platform/streams.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

// The library's start-up, as the program runs it, once for every test.
class LibraryEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    RegisterImagingIOStep();
    RegisterLibraryStep(lsProcessing, "Image processing", ProcessingStartup, ProcessingShutdown);
    RegisterImagingViewStep();
    LibraryStartup();
  }
  void TearDown() override { LibraryShutdown(); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new LibraryEnvironment);

// A 24-bit BMP of Width x Height whose pixel (x, y) is red x * 4, green y * 4, blue 100.
std::unique_ptr<TMemoryStream> MakeBmpStream(int32_t Width, int32_t Height) {
  TBitmap Picture;
  Picture.SetPixelFormat(pf24bit);
  Picture.SetSize(Width, Height);
  for (int32_t y = 0; y < Height; ++y) {
    auto* Row = static_cast<uint8_t*>(Picture.ScanLine(y));
    for (int32_t x = 0; x < Width; ++x) {
      Row[x * 3 + 0] = 100;
      Row[x * 3 + 1] = uint8_t(y * 4);
      Row[x * 3 + 2] = uint8_t(x * 4);
    }
  }
  auto Stream = std::make_unique<TMemoryStream>();
  Picture.SaveToStream(Stream.get());
  Stream->SetPosition(0);
  return Stream;
}

std::string TempPath(const std::string& Name) {
  std::filesystem::create_directories(ZV_TEST_TMP);
  return std::string(ZV_TEST_TMP) + "/" + Name;
}

// The hidden work area as the application makes it: an owner, no parent, a white background.
class WorkAreaTest : public ::testing::Test {
protected:
  void SetUp() override {
    Owner = std::make_unique<TComponent>(nullptr);
    View = new TImagingView(Owner.get());
    View->SetBackground(clWhite);
  }
  void TearDown() override { Owner.reset(); }

  std::unique_ptr<TComponent> Owner;
  TImagingView* View = nullptr;
};

// ---- The application's road --------------------------------------------------------------------------

TEST_F(WorkAreaTest, LoadsResamplesResizesAndWritesAGifWithNoWindow) {
  std::vector<int> Progress;
  int Finished = 0;
  View->SetOnProgress([&](TObject*, int Percent) { Progress.push_back(Percent); });
  View->SetOnFinishWork([&](TObject*) { ++Finished; });
  const std::string File = TempPath("view_work_area.gif");
  std::filesystem::remove(File);

  for (int Frame = 0; Frame < 2; ++Frame) {
    auto Bmp = MakeBmpStream(64, 36);
    View->IO()->LoadBmpStream(Bmp.get());
    ASSERT_EQ(View->IO()->AbortFlag, 0);
    EXPECT_EQ(View->GetIEBitmap()->GetWidth(), 64);
    EXPECT_EQ(View->GetIEBitmap()->GetHeight(), 36);

    // Fit into 30 x 30: the frame keeps its aspect ratio and sits between transparent bars.
    View->Proc()->Resample(30, -1, rfFastLinear);
    EXPECT_EQ(View->GetIEBitmap()->GetWidth(), 30);
    EXPECT_EQ(View->GetIEBitmap()->GetHeight(), 16);
    View->Proc()->ImageResize(30, 30, 1, 1, 0);
    TIEBitmap* Frame24 = View->GetIEBitmap();
    ASSERT_EQ(Frame24->GetWidth(), 30);
    ASSERT_EQ(Frame24->GetHeight(), 30);
    ASSERT_TRUE(View->HasAlphaChannel());
    EXPECT_EQ(View->GetAlphaChannel()->GetByte(15, 0), 0);
    EXPECT_EQ(View->GetAlphaChannel()->GetByte(15, 15), 255);
    // The resampled pixels live in the view's TBitmap, where the next synchronisation reads them.
    EXPECT_EQ(Frame24->GetRGB(15, 15).b, 100);
    EXPECT_EQ(View->GetTBitmap(), Frame24->VclBitmap());
    // The view kept the layer, its image size and its mask in step, and touched no window.
    EXPECT_EQ(View->GetLayer(0)->Bitmap, Frame24);
    EXPECT_EQ(View->ImageWidth(), 30);
    EXPECT_EQ(View->ImageHeight(), 30);
    EXPECT_EQ(View->SelectionMask()->Width(), 30);
    EXPECT_EQ(View->SelectionMask()->Height(), 30);
    EXPECT_FALSE(View->HandleAllocated());
    // One undo copy of the frame, as a view's processor keeps.
    EXPECT_EQ(View->Proc()->UndoCount(), 1);

    // The first frame makes the file, the others are inserted after it.
    if (Frame == 0) {
      View->IO()->SaveGifFile(File);
      ASSERT_EQ(View->IO()->AbortFlag, 0);
    } else {
      View->IO()->IOParams()->GifImageIndex = Frame;
      EXPECT_EQ(View->IO()->InsertGifFrame(File), Frame + 1);
    }
  }
  EXPECT_GT(Finished, 0);
  ASSERT_FALSE(Progress.empty());
  EXPECT_EQ(Progress.back(), 100);

  // Read back with the library's GIF reader.
  TImagingIO Reader(nullptr);
  EXPECT_EQ(Reader.LoadGifFile(File), 2);
  EXPECT_EQ(Reader.AbortFlag, 0);
  EXPECT_EQ(Reader.WorkBitmap()->GetWidth(), 30);
  EXPECT_EQ(Reader.WorkBitmap()->GetHeight(), 30);
}

TEST_F(WorkAreaTest, AViewWithoutWindowHasItsDefaultsAndOneComponentOfEachKind) {
  EXPECT_FALSE(View->HasParentWindow());
  EXPECT_EQ(View->ViewWidth(), 50);
  EXPECT_EQ(View->ViewHeight(), 50);
  EXPECT_EQ(View->Width(), 105);
  EXPECT_EQ(View->Height(), 105);
  EXPECT_EQ(View->LayersCount(), 1);
  EXPECT_EQ(View->LayersCurrent(), 0);
  EXPECT_FALSE(View->GetLayer(0)->ShowBox);
  EXPECT_TRUE(View->GetLayer(0)->Locked);
  EXPECT_TRUE(View->LegacyBitmap());
  ASSERT_NE(View->GetTBitmap(), nullptr);
  EXPECT_EQ(View->GetTBitmap(), View->GetIEBitmap()->VclBitmap());
  EXPECT_EQ(View->GetIEBitmap()->Location(), ieTBitmap);
  EXPECT_EQ(View->DpiX(), 300);
  EXPECT_EQ(View->DpiY(), 300);
  EXPECT_EQ(View->Cursor(), 1785);
  EXPECT_EQ(View->ScrollBars(), ssBoth);
  EXPECT_EQ(View->SelectionOptions(),
            (TIESelectionOptions{iesoAnimated, iesoSizeable, iesoMoveable, iesoCanScroll}));
  EXPECT_EQ(View->ImagingVersion(), "3.1.2");
  EXPECT_EQ(View->UpdateLockCount(), 0);
  EXPECT_FALSE(View->Selected());
  EXPECT_EQ(View->SelectionMask()->BitsPerPixel(), 1);

  TImagingIO* IO = View->IO();
  TImagingProc* Proc = View->Proc();
  EXPECT_EQ(View->IO(), IO);
  EXPECT_EQ(View->Proc(), Proc);
  EXPECT_EQ(IO->Owner(), View);
  EXPECT_EQ(Proc->Owner(), View);
  EXPECT_EQ(IO->AttachedImaging(), View);
  EXPECT_EQ(Proc->AttachedImaging(), View);
  EXPECT_EQ(IO->WorkBitmap(), View->GetIEBitmap());
  EXPECT_EQ(Proc->Target(), View->GetIEBitmap());
  EXPECT_TRUE(Proc->AutoUndo());
  // The components recognise an image view through the links of the start-up step.
  EXPECT_TRUE(ImagingIOLinks.IsImagingView(View));
  EXPECT_TRUE(ImagingProcLinks.IsImagingView(View));
  TIEView Plain(nullptr);
  EXPECT_FALSE(ImagingIOLinks.IsImagingView(&Plain));
}

// ---- Events copied into the components ----------------------------------------------------------------

TEST_F(WorkAreaTest, EventsReachComponentsCreatedLaterAndComponentsThatExist) {
  std::vector<std::string> Log;
  View->SetOnProgress([&](TObject*, int P) { Log.push_back("progress " + std::to_string(P)); });
  View->SetOnSaveUndo([&](TObject*, TIEUndoSource) { Log.push_back("undo"); });
  // Set before the components exist: they receive it when created.
  TImagingIO* IO = View->IO();
  TImagingProc* Proc = View->Proc();
  ASSERT_TRUE(IO->OnProgress);
  ASSERT_TRUE(Proc->OnProgress);
  ASSERT_TRUE(Proc->OnSaveUndo);
  IO->OnProgress(IO, 7);
  Proc->OnProgress(Proc, 8);
  Proc->OnSaveUndo(Proc, ieuImage);
  EXPECT_EQ(Log, (std::vector<std::string>{"progress 7", "progress 8", "undo"}));
  EXPECT_FALSE(IO->OnFinishWork);

  // Set afterwards: the existing components take it at once.
  Log.clear();
  View->SetOnFinishWork([&](TObject*) { Log.push_back("finish"); });
  View->SetOnProgress([&](TObject*, int P) { Log.push_back("second " + std::to_string(P)); });
  View->SetOnSaveUndo([&](TObject*, TIEUndoSource) { Log.push_back("undo 2"); });
  ASSERT_TRUE(IO->OnFinishWork);
  ASSERT_TRUE(Proc->OnFinishWork);
  IO->OnFinishWork(IO);
  Proc->OnFinishWork(Proc);
  IO->OnProgress(IO, 1);
  Proc->OnSaveUndo(Proc, ieuImage);
  EXPECT_EQ(Log, (std::vector<std::string>{"finish", "finish", "second 1", "undo 2"}));

  // Clearing reaches them too.
  View->SetOnProgress(nullptr);
  EXPECT_FALSE(IO->OnProgress);
  EXPECT_FALSE(Proc->OnProgress);
}

TEST_F(WorkAreaTest, MessagesFromIOThreadsRaiseTheViewsEventsAndRefresh) {
  std::vector<std::string> Log;
  View->SetOnProgress([&](TObject* Sender, int P) {
    EXPECT_EQ(Sender, View);
    Log.push_back("progress " + std::to_string(P));
  });
  View->SetOnFinishWork([&](TObject* Sender) {
    EXPECT_EQ(Sender, View);
    Log.push_back("finish");
  });
  View->Perform(IEMsgProgress, 42, 0);
  View->Perform(IEMsgFinishWork, 0, 0);
  EXPECT_EQ(Log, (std::vector<std::string>{"progress 42", "finish"}));

  View->GetIEBitmap()->Allocate(12, 7, ie24RGB);
  View->Perform(IEMsgImageChanged, 0, 0);
  EXPECT_EQ(View->SelectionMask()->Width(), 12);
  EXPECT_EQ(View->ImageHeight(), 7);
}

// ---- The components follow the current bitmap ------------------------------------------------------------

TEST_F(WorkAreaTest, ChangeCallbacksMakeTheComponentsFollowTheCurrentBitmap) {
  TImagingIO* IO = View->IO();
  TImagingProc* Proc = View->Proc();
  auto Expect = [&](TIEBitmap* Bitmap) {
    EXPECT_EQ(View->GetIEBitmap(), Bitmap);
    EXPECT_EQ(IO->WorkBitmap(), Bitmap);
    EXPECT_EQ(Proc->Target(), Bitmap);
  };
  TIEBitmap* First = View->GetIEBitmap();

  const int32_t Second = View->AddLayer();
  EXPECT_EQ(Second, 1);
  EXPECT_EQ(View->LayersCurrent(), 1);
  Expect(View->GetLayer(1)->Bitmap);
  EXPECT_NE(View->GetLayer(1)->Bitmap, First);

  View->SetLayersCurrent(0);
  Expect(First);

  // A caller's bitmap shown in the current layer, not owned.
  TIEBitmap Caller(8, 5, ie24RGB);
  View->SetLayersCurrent(1);
  View->AttachIEBitmap(&Caller);
  Expect(&Caller);
  EXPECT_FALSE(View->GetLayer(1)->OwnsBitmap);
  EXPECT_EQ(View->GetTBitmap(), nullptr);
  View->AttachIEBitmap(nullptr);
  EXPECT_TRUE(View->GetLayer(1)->OwnsBitmap);
  EXPECT_NE(View->GetIEBitmap(), &Caller);

  // The current layer goes: the one below becomes current and the components follow.
  View->RemoveLayer(1);
  EXPECT_EQ(View->LayersCount(), 1);
  Expect(First);

  View->AddLayer();
  View->AddLayer();
  View->ResetLayers();
  EXPECT_EQ(View->LayersCount(), 1);
  Expect(First);

  // Storage moves out of the TBitmap and back; the pixels and the components stay.
  View->GetIEBitmap()->Allocate(4, 3, ie24RGB);
  View->GetIEBitmap()->SetRGB(2, 1, TIERGB24{1, 2, 3});
  View->SetLegacyBitmap(false);
  EXPECT_EQ(View->GetTBitmap(), nullptr);
  EXPECT_NE(View->GetIEBitmap()->Location(), ieTBitmap);
  EXPECT_TRUE(View->GetIEBitmap()->GetRGB(2, 1) == (TIERGB24{1, 2, 3}));
  Expect(First);
  View->SetLegacyBitmap(true);
  ASSERT_NE(View->GetTBitmap(), nullptr);
  EXPECT_EQ(View->GetIEBitmap()->Location(), ieTBitmap);
  EXPECT_TRUE(View->GetIEBitmap()->GetRGB(2, 1) == (TIERGB24{1, 2, 3}));
  Expect(First);
}

// ---- Update and the locks ---------------------------------------------------------------------------------

TEST_F(WorkAreaTest, UpdateKeepsMaskAlphaAndImageSizeInStepOnlyWhenUnlocked) {
  TIEBitmap* Bitmap = View->GetIEBitmap();
  View->LockUpdate();
  View->LockUpdate();
  Bitmap->Allocate(20, 10, ie24RGB);
  View->UnlockUpdate();
  EXPECT_EQ(View->UpdateLockCount(), 1);
  EXPECT_NE(View->SelectionMask()->Width(), 20);
  View->UnlockUpdate();
  EXPECT_EQ(View->UpdateLockCount(), 0);
  EXPECT_EQ(View->SelectionMask()->Width(), 20);
  EXPECT_EQ(View->SelectionMask()->Height(), 10);
  EXPECT_EQ(View->ImageWidth(), 20);

  // Neither unlock goes below 0; the paint unlock still refreshes.
  EXPECT_EQ(View->UnlockUpdateEx(), 0);
  Bitmap->Allocate(21, 10, ie24RGB);
  EXPECT_EQ(View->UnlockPaint(), 0);
  EXPECT_EQ(View->PaintLockCount(), 0);
  EXPECT_EQ(View->SelectionMask()->Width(), 21);

  // An alpha channel of another size is made anew at the bitmap's size, opaque.
  Bitmap->GetAlphaChannel()->Allocate(3, 3, ie8g);
  Bitmap->GetAlphaChannel()->Fill(0);
  Bitmap->Allocate(22, 11, ie24RGB);
  Bitmap->GetAlphaChannel();
  Bitmap->GetAlphaChannel()->Allocate(3, 3, ie8g);
  View->Update();
  ASSERT_TRUE(View->HasAlphaChannel());
  EXPECT_EQ(View->GetAlphaChannel()->GetWidth(), 22);
  EXPECT_EQ(View->GetAlphaChannel()->GetHeight(), 11);
  EXPECT_EQ(View->GetAlphaChannel()->GetByte(21, 10), 255);

  // While loading nothing happens; the first Update afterwards does everything.
  View->Loading();
  Bitmap->Allocate(30, 5, ie24RGB);
  View->Update();
  EXPECT_EQ(View->SelectionMask()->Width(), 22);
  View->Loaded();
  View->Update();
  EXPECT_EQ(View->SelectionMask()->Width(), 30);
}

TEST_F(WorkAreaTest, UpdateResizesAnExistingSelectionKeepingIt) {
  View->GetIEBitmap()->Allocate(10, 10, ie24RGB);
  View->Update();
  for (TPoint P : {TPoint(2, 2), TPoint(6, 2), TPoint(6, 6), TPoint(2, 6)}) View->AddPolygonPoint(P);
  View->PolygonToMask();
  ASSERT_TRUE(View->Selected());
  ASSERT_TRUE(View->SelectionMask()->IsPointInside(3, 3));
  View->GetIEBitmap()->Allocate(20, 5, ie24RGB);
  View->Update();
  EXPECT_EQ(View->SelectionMask()->Width(), 20);
  EXPECT_EQ(View->SelectionMask()->Height(), 5);
  EXPECT_TRUE(View->SelectionMask()->IsPointInside(3, 3));
  EXPECT_FALSE(View->SelectionMask()->IsPointInside(8, 3));
  // What the processing component sees of the selection.
  TIEMask* Mask = nullptr;
  const TPoint* Points = nullptr;
  int32_t Count = 0;
  EXPECT_TRUE(ImagingProcLinks.GetSelection(View, Mask, Points, Count));
  EXPECT_EQ(Mask, View->SelectionMask());
  EXPECT_EQ(Count, 4);
}

// ---- Layers ------------------------------------------------------------------------------------------------

TEST(ImagingViewLayers, RotationAnglesKeepWholeTurnsAsZero) {
  TIELayer Layer(nullptr, false, nullptr);
  const struct {
    double In, Out;
  } Cases[] = {{720, 0}, {-360, 0}, {360, 0}, {450, 450}, {360.5, 360.5}, {-90, -90}};
  for (const auto& C : Cases) {
    Layer.SetRotateAngle(C.In);
    EXPECT_EQ(Layer.RotateAngle, C.Out) << C.In;
  }
}

TEST(ImagingViewLayers, ANewLayerTakesSizeFormatAndStorageKind) {
  TImagingView View(nullptr);
  View.GetIEBitmap()->Allocate(9, 4, ie24RGB);
  TIELayer FromLegacy(&View, false, View.GetIEBitmap());
  EXPECT_EQ(FromLegacy.Bitmap->GetWidth(), 9);
  EXPECT_EQ(FromLegacy.Bitmap->GetHeight(), 4);
  EXPECT_EQ(FromLegacy.Bitmap->GetPixelFormat(), ie24RGB);
  EXPECT_EQ(FromLegacy.Bitmap->Location(), ieTBitmap);
  EXPECT_TRUE(FromLegacy.Bitmap->ExternalTBitmap());

  TIEBitmap Gray(5, 6, ie8g);
  TIELayer FromMemory(&View, false, &Gray);
  EXPECT_EQ(FromMemory.Bitmap->GetWidth(), 5);
  EXPECT_EQ(FromMemory.Bitmap->GetPixelFormat(), ie8g);
  EXPECT_EQ(FromMemory.Bitmap->Location(), Gray.Location());

  // Sharing hands the bitmap over only when the caller says so; otherwise it stays the caller's.
  TIEBitmap Borrowed(3, 3, ie24RGB);
  {
    TIELayer Borrowing(&View, true, &Borrowed);
    EXPECT_EQ(Borrowing.Bitmap, &Borrowed);
    EXPECT_FALSE(Borrowing.OwnsBitmap);
  }
  EXPECT_EQ(Borrowed.GetWidth(), 3);  // still alive after the layer went
  auto* Shared = new TIEBitmap(2, 2, ie24RGB);
  TIELayer Sharing(&View, true, Shared, true);
  EXPECT_EQ(Sharing.Bitmap, Shared);
  EXPECT_TRUE(Sharing.OwnsBitmap);  // freed with the layer
  EXPECT_NE(Sharing.Guid, FromMemory.Guid);

  Sharing.Name = "kept";
  Sharing.PosX = 5;
  Sharing.Transparency = 10;
  Sharing.Reset();
  EXPECT_EQ(Sharing.Name, "kept");
  EXPECT_EQ(Sharing.PosX, 0);
  EXPECT_EQ(Sharing.Transparency, 255);
  EXPECT_EQ(Sharing.Bitmap, Shared);
}

TEST(ImagingViewLayers, RemovingAndSelectingLayersKeepsTheRightOneCurrent) {
  TImagingView View(nullptr);
  View.AddLayer();
  View.AddLayer();
  View.AddLayer();  // layers 0..3, 3 current
  TIELayer* Two = View.GetLayer(2);
  TIELayer* Three = View.GetLayer(3);

  View.RemoveLayer(7);
  EXPECT_EQ(View.LayersCount(), 4);
  // Removing the current top layer makes the new top layer current.
  View.RemoveLayer(3);
  EXPECT_EQ(View.LayersCount(), 3);
  EXPECT_EQ(View.CurrentLayer(), Two);
  EXPECT_EQ(View.GetIEBitmap(), Two->Bitmap);
  (void)Three;
  // Removing a layer below the current one keeps the same layer current at its new index.
  View.RemoveLayer(1);
  EXPECT_EQ(View.LayersCurrent(), 1);
  EXPECT_EQ(View.CurrentLayer(), Two);

  // A layer that cannot be selected passes the choice down to the nearest selectable one.
  View.AddLayer();  // index 2
  View.GetLayer(2)->Selectable = false;
  View.GetLayer(1)->Selectable = false;
  View.SetLayersCurrent(0);
  View.SetLayersCurrent(2);
  EXPECT_EQ(View.LayersCurrent(), 0);
  EXPECT_THROW(View.GetLayer(3), EListError);

  // One layer alone is never removed.
  View.ResetLayers();
  View.RemoveLayer(0);
  EXPECT_EQ(View.LayersCount(), 1);
}

// ---- Storage -----------------------------------------------------------------------------------------------

TEST(ImagingViewStorage, AssignClearAndIsEmpty) {
  TImagingView View(nullptr);
  View.SetBackground(clWhite);

  TBitmap Mono;
  Mono.SetPixelFormat(pf1bit);
  Mono.SetSize(16, 3);
  View.Assign(&Mono);
  EXPECT_EQ(View.GetIEBitmap()->GetPixelFormat(), ie1g);
  EXPECT_EQ(View.GetIEBitmap()->GetWidth(), 16);

  TBitmap Paletted;
  Paletted.SetPixelFormat(pf8bit);
  Paletted.SetSize(5, 4);
  View.Assign(&Paletted);
  EXPECT_EQ(View.GetIEBitmap()->GetPixelFormat(), ie24RGB);
  EXPECT_EQ(View.GetIEBitmap()->GetWidth(), 5);

  View.GetIEBitmap()->GetAlphaChannel();
  View.ClearImage();
  EXPECT_EQ(View.GetIEBitmap()->GetWidth(), 1);
  EXPECT_EQ(View.GetIEBitmap()->GetHeight(), 1);
  EXPECT_FALSE(View.HasAlphaChannel());
  EXPECT_TRUE(View.GetIEBitmap()->GetRGB(0, 0) == (TIERGB24{255, 255, 255}));
  EXPECT_TRUE(View.IsEmpty());

  TImagingView Other(nullptr);
  Other.SetBackground(clRed);
  Other.SetDpi(72, 96);
  Other.GetIEBitmap()->Allocate(3, 2, ie24RGB);
  Other.GetIEBitmap()->Fill(clBlue);
  int Changes = 0;
  View.OnImageChange = [&](TObject*) { ++Changes; };
  View.Assign(&Other);
  EXPECT_EQ(View.GetIEBitmap()->GetWidth(), 3);
  EXPECT_TRUE(View.GetIEBitmap()->GetRGB(2, 1) == (TIERGB24{255, 0, 0}));
  EXPECT_EQ(View.Background(), clRed);
  EXPECT_EQ(View.DpiX(), 72);
  EXPECT_EQ(View.DpiY(), 96);
  EXPECT_EQ(Changes, 1);
  EXPECT_FALSE(View.IsEmpty());

  View.Assign(nullptr);
  EXPECT_TRUE(View.GetIEBitmap()->GetRGB(0, 0) == (TIERGB24{0, 0, 255}));
}

// ---- The view's end -------------------------------------------------------------------------------------------

void CountDestroying(TObject* Owner, TIEView*, int32_t Flag) {
  if (Flag == IEViewDestroying) ++*reinterpret_cast<int*>(Owner);
}

TEST(ImagingViewEnd, DestroyingTheViewWithItsComponentsAttachedIsClean) {
  // Owned by a component, with both components busy on a layered image.
  auto Owner = std::make_unique<TComponent>(nullptr);
  auto* View = new TImagingView(Owner.get());
  auto Bmp = MakeBmpStream(20, 10);
  View->IO()->LoadBmpStream(Bmp.get());
  View->Proc()->Resample(10, 5, rfFastLinear);
  View->AddLayer();
  View->SetLegacyBitmap(false);
  // Someone else's I/O component attached to the view hears of its end and falls back to its own bitmap.
  auto Outside = std::make_unique<TImagingIO>(nullptr);
  Outside->SetAttachedImaging(View);
  int Told = 0;
  View->RegisterChangeCallback(CountDestroying, reinterpret_cast<TObject*>(&Told));
  Owner.reset();
  EXPECT_EQ(Told, 1);
  EXPECT_EQ(Outside->AttachedImaging(), nullptr);
  EXPECT_TRUE(Outside->OwnsBitmap());

  // Unowned and freed directly; a component freed before the view is forgotten by it.
  auto* Alone = new TImagingView(nullptr);
  Alone->Proc()->Resample(4, 4, rfFastLinear);
  delete Alone->IO();
  EXPECT_EQ(Alone->IOIfCreated(), nullptr);
  delete Alone;
}

}  // namespace
}  // namespace zv
