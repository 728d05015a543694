// Object, layers and combined files loaded through the I/O component: into an attached vector view, an
// attached plain view, or (through a temporary vector view) into a component without a view; damaged files
// fail through the abort flag and leave the image as it was. Streams go only into a view of the right class.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/view/layers.h"
#include "platform/streams.h"
#include "tests/imaging/vector/vect_fixture.h"

namespace zv {
namespace {

using vect_test::AddKind;
using vect_test::MakeView;

constexpr uint32_t kGrey = 0x808080;

// Two layers (a grey 40 x 30 one and a 10 x 8 one at (12, 5) whose pixel (x, y) is r 99, g 30y, b 20x) and
// a box from (2, 3) to (40, 30) with the default pen.
std::unique_ptr<TImagingVect> SourceView() {
  auto V = MakeView(40, 30);
  V->AddLayer();
  V->IEBitmap()->Allocate(10, 8, ie24RGB);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 10; ++x) V->IEBitmap()->SetRGB(x, y, TIERGB24{uint8_t(x * 20), uint8_t(y * 30), 99});
  V->GetLayer(1)->PosX = 12;
  V->GetLayer(1)->PosY = 5;
  AddKind(*V, vokBox, 2, 3, 40, 30);
  return V;
}

std::string TmpPath(const std::string& Name) { return std::string(ZV_TEST_TMP) + "/vect_view_files_" + Name; }

// The files of the three types written by the view, and a damaged copy of each cut after its header.
struct Files {
  std::string Iev = TmpPath("objects.iev"), Lyr = TmpPath("layers.lyr"), All = TmpPath("combined.all");
  std::string BadIev = TmpPath("bad.iev"), BadLyr = TmpPath("bad.lyr"), BadAll = TmpPath("bad.all");
  Files() {
    std::filesystem::create_directories(ZV_TEST_TMP);
    auto V = SourceView();
    V->SaveObjectsToFile(Iev);
    {
      TFileStream F(Lyr, fmCreate);
      V->SaveLayersToStream(&F, -1);
    }
    {
      TFileStream F(All, fmCreate);
      V->SaveAllToStream(&F, -1);
    }
    for (const auto& [From, To] : {std::pair{Iev, BadIev}, std::pair{Lyr, BadLyr}, std::pair{All, BadAll}}) {
      std::filesystem::copy_file(From, To, std::filesystem::copy_options::overwrite_existing);
      std::filesystem::resize_file(To, 24);
    }
  }
  ~Files() {
    for (const auto& P : {Iev, Lyr, All, BadIev, BadLyr, BadAll}) std::filesystem::remove(P);
  }
};

enum class Target { Vect, View, None };

// What the component loads into: a 5 x 5 grey image in an attached vector view, an attached plain view or
// a bitmap of the caller's.
struct Loader {
  std::unique_ptr<TImagingVect> Vect;
  std::unique_ptr<TImagingView> View;
  std::unique_ptr<TIEBitmap> Bitmap;
  std::unique_ptr<TImagingIO> Own;
  TImagingIO* IO = nullptr;
  int Finished = 0;

  explicit Loader(Target T) {
    if (T == Target::Vect) {
      Vect = MakeView(5, 5);
      IO = Vect->IO();
    } else if (T == Target::View) {
      View = std::make_unique<TImagingView>(nullptr);
      View->IEBitmap()->Allocate(5, 5, ie24RGB);
      View->IEBitmap()->Fill(kGrey);
      View->Update();
      IO = View->IO();
    } else {
      Bitmap = std::make_unique<TIEBitmap>(5, 5, ie24RGB);
      Bitmap->Fill(kGrey);
      Own.reset(TImagingIO::CreateForBitmap(Bitmap.get()));
      IO = Own.get();
    }
    IO->OnFinishWork = [this](TObject*) { ++Finished; };
  }
  TImagingView* AnyView() const { return Vect ? Vect.get() : View.get(); }
  TIEBitmap* Work() const { return IO->WorkBitmap(); }
};

bool IsWhite(TIERGB24 C) { return C.r == 255 && C.g == 255 && C.b == 255; }
bool IsGrey(TIERGB24 C) { return C.r == 0x80 && C.g == 0x80 && C.b == 0x80; }
bool IsDark(TIERGB24 C) { return int(C.r) + C.g + C.b < 3 * 64; }
// The pixel (3, 2) of the second layer, at (15, 7) in the image.
bool IsLayerPixel(TIERGB24 C) { return C.r == 99 && C.g == 60 && C.b == 60; }
bool Opaque(TIEBitmap* B, int32_t X, int32_t Y) { return !B->HasAlphaChannel() || B->GetAlpha(X, Y) == 255; }

// The two layers of the source view, as a view that loaded them holds them.
void ExpectSourceLayers(TImagingView* V) {
  ASSERT_EQ(V->LayersCount(), 2);
  EXPECT_EQ(V->GetLayer(0)->Bitmap->GetWidth(), 40);
  EXPECT_EQ(V->GetLayer(0)->Bitmap->GetHeight(), 30);
  EXPECT_EQ(V->GetLayer(1)->PosX, 12);
  EXPECT_EQ(V->GetLayer(1)->PosY, 5);
  EXPECT_TRUE(IsLayerPixel(V->GetLayer(1)->Bitmap->GetRGB(3, 2)));
}

// The component's image when the file became a picture: Width x Height, opaque, the layers and the box as
// the file type brings them.
void ExpectPicture(TIEBitmap* B, int32_t Width, int32_t Height, bool Layers, bool Box) {
  ASSERT_EQ(B->GetWidth(), Width);
  ASSERT_EQ(B->GetHeight(), Height);
  const TIERGB24 Corner = B->GetRGB(0, 0);
  EXPECT_TRUE(Layers ? IsGrey(Corner) : IsWhite(Corner));
  EXPECT_EQ(IsLayerPixel(B->GetRGB(15, 7)), Layers);
  EXPECT_EQ(IsDark(B->GetRGB(20, 3)), Box);  // on the box's top edge
  EXPECT_FALSE(IsDark(B->GetRGB(20, 10)));   // inside the box
  EXPECT_TRUE(Opaque(B, 0, 0));
  EXPECT_TRUE(Opaque(B, 20, 3));
  EXPECT_TRUE(Opaque(B, Width - 1, Height - 1));
}

TEST(VectViewFiles, LoadFromFileTakesEachTypeIntoTheViewOrTheImage) {
  const Files F;
  struct Case {
    const char* Name;
    uint32_t Type;
    Target To;
    int Finished;  // finish notifications of a load
  };
  const Case Cases[] = {
      {"objects into a vector view", ftIev, Target::Vect, 0},
      {"objects into a plain view", ftIev, Target::View, 1},
      {"objects without a view", ftIev, Target::None, 1},
      {"layers into a vector view", ftLyr, Target::Vect, 0},
      {"layers into a plain view", ftLyr, Target::View, 0},
      {"layers without a view", ftLyr, Target::None, 0},
      {"combined into a vector view", ftAll, Target::Vect, 0},
      {"combined into a plain view", ftAll, Target::View, 0},
      {"combined without a view", ftAll, Target::None, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    const std::string& Good = C.Type == ftIev ? F.Iev : C.Type == ftLyr ? F.Lyr : F.All;
    const std::string& Bad = C.Type == ftIev ? F.BadIev : C.Type == ftLyr ? F.BadLyr : F.BadAll;

    [&] {  // a failed ASSERT ends only this row
      Loader S(C.To);
      S.IO->AbortFlag = 1;
      S.IO->LoadFromFile(Good);
      EXPECT_EQ(S.IO->AbortFlag, 0);
      EXPECT_EQ(S.IO->IOParams()->FileType, C.Type);
      EXPECT_EQ(S.Finished, C.Finished);
      TIEBitmap* W = S.Work();
      if (C.To == Target::Vect && C.Type == ftIev) {
        // The objects stay objects, over a white canvas of their extent that is transparent everywhere.
        EXPECT_EQ(S.Vect->ObjectsCount(), 1);
        ASSERT_EQ(W->GetWidth(), 41);
        ASSERT_EQ(W->GetHeight(), 31);
        EXPECT_EQ(S.Vect->ImageWidth(), 41);
        ASSERT_TRUE(W->HasAlphaChannel());
        const TPoint Points[] = {{0, 0}, {20, 3}, {40, 30}, {4, 29}};
        for (const auto& [X, Y] : Points) {
          EXPECT_TRUE(IsWhite(W->GetRGB(X, Y)));
          EXPECT_EQ(W->GetAlpha(X, Y), 0);
        }
      } else if (C.Type == ftLyr && C.To != Target::None) {
        ExpectSourceLayers(S.AnyView());
        if (S.Vect) {
          EXPECT_EQ(S.Vect->ObjectsCount(), 0);
        }
      } else if (C.Type == ftAll && C.To == Target::Vect) {
        ExpectSourceLayers(S.Vect.get());
        EXPECT_EQ(S.Vect->ObjectsCount(), 1);
      } else {
        // A picture: a plain view shows it at once and keeps its single layer.
        if (C.Type == ftIev) {
          ExpectPicture(W, 41, 31, false, true);
        }
        if (C.Type == ftLyr) {
          ExpectPicture(W, 40, 30, true, false);
        }
        if (C.Type == ftAll) {
          ExpectPicture(W, 40, 30, true, true);
        }
        if (S.View) {
          EXPECT_EQ(S.View->LayersCount(), 1);
          EXPECT_EQ(S.View->ImageWidth(), W->GetWidth());
          EXPECT_EQ(S.View->ImageHeight(), W->GetHeight());
        }
      }
    }();

    [&] {  // a failed ASSERT ends only this row
      Loader S(C.To);
      S.IO->LoadFromFile(Bad);
      EXPECT_EQ(S.IO->AbortFlag, 1);
      EXPECT_EQ(S.Finished, C.Finished);
      TIEBitmap* W = S.Work();
      ASSERT_EQ(W->GetWidth(), 5);
      ASSERT_EQ(W->GetHeight(), 5);
      EXPECT_TRUE(IsGrey(W->GetRGB(2, 2)));
      EXPECT_TRUE(Opaque(W, 2, 2));
      if (S.AnyView()) {
        EXPECT_EQ(S.AnyView()->LayersCount(), 1);
      }
      if (S.Vect) {
        EXPECT_EQ(S.Vect->ObjectsCount(), 0);
      }
    }();
  }
}

TEST(VectViewFiles, StreamsGoOnlyIntoAViewOfTheRightClass) {
  const Files F;
  struct Case {
    uint32_t Type;
    Target To;
    bool Loads;
  };
  const Case Cases[] = {
      {ftIev, Target::Vect, true}, {ftIev, Target::View, false}, {ftIev, Target::None, false},
      {ftLyr, Target::Vect, true}, {ftLyr, Target::View, true},  {ftLyr, Target::None, false},
      {ftAll, Target::Vect, true}, {ftAll, Target::View, false}, {ftAll, Target::None, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << "type " << C.Type << ", target " << int(C.To));
    TFileStream In(C.Type == ftIev ? F.Iev : C.Type == ftLyr ? F.Lyr : F.All, fmOpenRead);
    TMemoryStream M;
    M.CopyFrom(&In, 0);
    M.SetPosition(0);
    Loader S(C.To);
    S.IO->LoadFromStream(&M);
    EXPECT_EQ(S.IO->AbortFlag, C.Loads ? 0 : 1);
    EXPECT_EQ(S.IO->IOParams()->FileType, C.Type);
    EXPECT_EQ(S.Finished, 0);
    if (C.Loads && C.Type != ftIev) {
      ExpectSourceLayers(S.AnyView());
    }
    if (C.Loads && S.Vect) {
      EXPECT_EQ(S.Vect->ObjectsCount(), C.Type == ftLyr ? 0 : 1);
    }
    if (!C.Loads) {
      EXPECT_EQ(S.Work()->GetWidth(), 5);
      EXPECT_TRUE(IsGrey(S.Work()->GetRGB(2, 2)));
      if (S.AnyView()) {
        EXPECT_EQ(S.AnyView()->LayersCount(), 1);
      }
    }
  }
}

// An object file whose object section is not deflated data raises, as the object stream does; without a
// vector view the finish notification has gone out first and the image is as it was.
TEST(VectViewFiles, ADamagedObjectSectionRaisesAfterTheFinishNotification) {
  const Files F;
  const std::string Path = TmpPath("broken_section.iev");
  std::filesystem::copy_file(F.Iev, Path, std::filesystem::copy_options::overwrite_existing);
  {
    TFileStream File(Path, fmOpenReadWrite);
    // The object section follows the 20-byte header and a 4-byte entry per (here empty) picture slot.
    int32_t Pictures = 0;
    File.SetPosition(16);
    File.ReadBuffer(&Pictures, 4);
    File.SetPosition(20 + 4 * int64_t(Pictures));
    const uint8_t Junk[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    File.WriteBuffer(Junk, 4);
  }
  for (const auto& [To, Finished] :
       {std::pair{Target::Vect, 0}, std::pair{Target::View, 1}, std::pair{Target::None, 1}}) {
    SCOPED_TRACE(int(To));
    Loader S(To);
    EXPECT_THROW(S.IO->LoadFromFile(Path), Exception);
    EXPECT_EQ(S.Finished, Finished);
    EXPECT_EQ(S.IO->IOParams()->FileType, ftIev);
    EXPECT_EQ(S.Work()->GetWidth(), 5);
    EXPECT_TRUE(IsGrey(S.Work()->GetRGB(2, 2)));
  }
  std::filesystem::remove(Path);
}

}  // namespace
}  // namespace zv
