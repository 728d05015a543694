// The bitmap a non-visual component works on: its own at first, a view's bitmap or wrapped picture, the
// view's changes and its end, a TImage's picture (and freeing only the component's own wrap), wrapping a
// changed picture again, and a caller's bitmap.
#include "imaging/core/bitmap_binding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "imaging/core/bitmap.h"
#include "imaging/core/ieview.h"
#include "platform/graphics.h"
#include "platform/std_controls.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

// What a view offers: nothing, one of its two bitmaps, or only a class-library picture.
enum TOffer { Nothing, FirstBitmap, SecondBitmap, PictureOnly };

const char* OfferName(TOffer Offer) {
  static const char* Names[] = {"nothing", "first bitmap", "second bitmap", "picture only"};
  return Names[Offer];
}

class TTestView : public TIEView {
public:
  explicit TTestView(TOffer AOffer) : TIEView(nullptr), Offer(AOffer) {
    First.Allocate(5, 3, ie24RGB);
    Second.Allocate(7, 2, ie24RGB);
    SetPicture(6, 4);
  }

  void SetPicture(int32_t Width, int32_t Height) {
    Picture.SetPixelFormat(pf24bit);
    Picture.SetSize(Width, Height);
  }

  TOffer Offer;
  TIEBitmap First, Second;
  TBitmap Picture;

  TIEBitmap* GetIEBitmap() override {
    if (Offer == FirstBitmap) return &First;
    if (Offer == SecondBitmap) return &Second;
    return nullptr;
  }
  TBitmap* GetTBitmap() override { return Offer == PictureOnly ? &Picture : nullptr; }
};

// Width x Height pixels of one colour, the way a caller's image looks.
void FillBitmap(TIEBitmap& Bitmap, int32_t Width, int32_t Height) {
  Bitmap.Allocate(Width, Height, ie24RGB);
  Bitmap.Fill(clRed);
}

void ExpectUntouched(TIEBitmap& Bitmap, int32_t Width, int32_t Height) {
  EXPECT_EQ(Bitmap.GetWidth(), Width);
  EXPECT_EQ(Bitmap.GetHeight(), Height);
  EXPECT_NE(Bitmap.Location(), ieTBitmap);
  EXPECT_EQ(Bitmap.VclBitmap(), nullptr);
}

void ExpectWraps(const TIEBitmapBinding& Binding, TBitmap* Picture) {
  EXPECT_TRUE(Binding.OwnsBitmap());
  EXPECT_EQ(Binding.Picture(), Picture);
  ASSERT_NE(Binding.Bitmap(), nullptr);
  EXPECT_EQ(Binding.Bitmap()->VclBitmap(), Picture);
  EXPECT_EQ(Binding.Bitmap()->Location(), ieTBitmap);
  EXPECT_EQ(Binding.Bitmap()->GetWidth(), Picture->Width());
  EXPECT_EQ(Binding.Bitmap()->GetHeight(), Picture->Height());
}

void ExpectEmptyOwn(const TIEBitmapBinding& Binding) {
  EXPECT_TRUE(Binding.OwnsBitmap());
  EXPECT_EQ(Binding.Picture(), nullptr);
  ASSERT_NE(Binding.Bitmap(), nullptr);
  EXPECT_TRUE(Binding.Bitmap()->IsEmpty());
  EXPECT_EQ(Binding.Bitmap()->VclBitmap(), nullptr);
}

// What a binding to View should show while the view offers what it offers now.
void ExpectBoundTo(const TIEBitmapBinding& Binding, TTestView& View) {
  switch (View.Offer) {
    case FirstBitmap:
    case SecondBitmap:
      EXPECT_EQ(Binding.Bitmap(), View.GetIEBitmap());
      EXPECT_FALSE(Binding.OwnsBitmap());
      EXPECT_EQ(Binding.Picture(), nullptr);
      break;
    case PictureOnly:
      ExpectWraps(Binding, &View.Picture);
      break;
    case Nothing:
      ExpectEmptyOwn(Binding);
      break;
  }
}

TEST(BitmapBinding, StartsOnAnEmptyBitmapOfItsOwn) {
  TIEBitmapBinding Binding;
  ExpectEmptyOwn(Binding);
}

// ---- Views ---------------------------------------------------------------------------------------------

TEST(BitmapBinding, BindsToWhatTheViewOffersAndLeavesTheCallersBitmapAlone) {
  for (TOffer Offer : {FirstBitmap, PictureOnly, Nothing}) {
    SCOPED_TRACE(OfferName(Offer));
    TTestView View(Offer);
    TIEBitmap Caller;
    FillBitmap(Caller, 3, 3);
    TIEBitmapBinding Binding;
    Binding.UseBitmap(&Caller);
    Binding.BindView(&View);
    ExpectBoundTo(Binding, View);
    ExpectUntouched(Caller, 3, 3);
  }
}

TEST(BitmapBinding, FollowsTheViewsChanges) {
  struct TCase {
    TOffer Before, After;
    bool Resized;  // the picture got a new size
  };
  const TCase Cases[] = {
      {PictureOnly, FirstBitmap, false}, {FirstBitmap, SecondBitmap, false}, {FirstBitmap, PictureOnly, false},
      {PictureOnly, PictureOnly, true},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(std::string(OfferName(Case.Before)) + " -> " + OfferName(Case.After));
    TTestView View(Case.Before);
    TIEBitmapBinding Binding;
    Binding.BindView(&View);
    View.Offer = Case.After;
    if (Case.Resized) View.SetPicture(9, 8);
    Binding.FollowView(&View);
    ExpectBoundTo(Binding, View);
    // A picture is wrapped by a bitmap of the binding's own, never by the view's bitmaps.
    ExpectUntouched(View.First, 5, 3);
    ExpectUntouched(View.Second, 7, 2);
  }
}

TEST(BitmapBinding, AViewOfferingNothingAfterAChangeLeavesTheBindingAsItWas) {
  for (TOffer Before : {FirstBitmap, PictureOnly}) {
    SCOPED_TRACE(OfferName(Before));
    TTestView View(Before);
    TIEBitmapBinding Binding;
    Binding.BindView(&View);
    TIEBitmap* Bitmap = Binding.Bitmap();
    TBitmap* Picture = Binding.Picture();
    View.Offer = Nothing;
    Binding.FollowView(&View);
    EXPECT_EQ(Binding.Bitmap(), Bitmap);
    EXPECT_EQ(Binding.Picture(), Picture);
  }
}

TEST(BitmapBinding, ForgettingADestroyedViewReturnsToAnOwnBitmapThatWrapsNothing) {
  for (TOffer Offer : {FirstBitmap, PictureOnly}) {
    SCOPED_TRACE(OfferName(Offer));
    auto View = std::make_unique<TTestView>(Offer);
    TIEBitmapBinding Binding;
    Binding.BindView(View.get());
    View.reset();
    Binding.ForgetView();
    ExpectEmptyOwn(Binding);
    // The new bitmap must not reach into the gone view's pixels or picture.
    FillBitmap(*Binding.Bitmap(), 4, 4);
    EXPECT_EQ(Binding.Bitmap()->GetWidth(), 4);
  }
}

TEST(BitmapBinding, ForgettingTheViewKeepsAnOwnBitmapThatWrapsNothing) {
  TTestView View(Nothing);
  TIEBitmapBinding Binding;
  Binding.BindView(&View);
  TIEBitmap* Own = Binding.Bitmap();
  FillBitmap(*Own, 2, 2);
  Binding.ForgetView();
  EXPECT_EQ(Binding.Bitmap(), Own);
  EXPECT_EQ(Own->GetWidth(), 2);

  // A caller's bitmap is given up, not freed.
  TIEBitmap Caller;
  FillBitmap(Caller, 3, 3);
  Binding.UseBitmap(&Caller);
  Binding.ForgetView();
  ExpectEmptyOwn(Binding);
  ExpectUntouched(Caller, 3, 3);
}

// ---- TImage ----------------------------------------------------------------------------------------------

class BitmapBindingTImage : public testing::Test {
protected:
  void SetUp() override {
    Image = std::make_unique<TImage>(nullptr);
    TBitmap* Picture = Image->Picture()->Bitmap();
    Picture->SetPixelFormat(pf24bit);
    Picture->SetSize(8, 6);
  }
  TBitmap* Picture() { return Image->Picture()->Bitmap(); }

  std::unique_ptr<TImage> Image;
};

TEST_F(BitmapBindingTImage, AnOwnBitmapWrapsThePictureInPlaceOfItsImage) {
  TIEBitmapBinding Binding;
  TIEBitmap* Own = Binding.Bitmap();
  FillBitmap(*Own, 3, 3);
  Own->GetAlphaChannel()->Fill(7);
  Binding.BindTImage(Image.get());
  EXPECT_EQ(Binding.Bitmap(), Own);
  ExpectWraps(Binding, Picture());
  EXPECT_FALSE(Own->HasAlphaChannel());
}

TEST_F(BitmapBindingTImage, AViewsOrACallersBitmapIsNeverWrappedNorFreed) {
  TTestView View(FirstBitmap);
  TIEBitmap Caller;
  FillBitmap(Caller, 3, 3);
  const std::function<void(TIEBitmapBinding&)> Setups[] = {
      [&](TIEBitmapBinding& B) { B.BindView(&View); },
      [&](TIEBitmapBinding& B) { B.UseBitmap(&Caller); },
  };
  for (const auto& Setup : Setups) {
    TIEBitmapBinding Binding;
    Setup(Binding);
    TIEBitmap* Foreign = Binding.Bitmap();
    // Dropping a picture while on a foreign bitmap leaves that bitmap's image alone...
    Binding.ForgetPicture();
    EXPECT_EQ(Binding.Bitmap(), Foreign);
    EXPECT_EQ(Binding.Picture(), nullptr);
    // ...and the picture goes into a bitmap of the binding's own.
    Binding.BindTImage(Image.get());
    ExpectWraps(Binding, Picture());
    EXPECT_NE(Binding.Bitmap(), Foreign);
  }
  ExpectUntouched(View.First, 5, 3);
  ExpectUntouched(Caller, 3, 3);
}

TEST_F(BitmapBindingTImage, ForgettingThePictureFreesOnlyTheOwnWrap) {
  TIEBitmapBinding Binding;
  Binding.BindTImage(Image.get());
  TIEBitmap* Own = Binding.Bitmap();
  Binding.ForgetPicture();
  EXPECT_EQ(Binding.Bitmap(), Own);
  ExpectEmptyOwn(Binding);
  // The picture is the control's.
  EXPECT_EQ(Picture()->Width(), 8);
  EXPECT_EQ(Picture()->Height(), 6);
}

TEST_F(BitmapBindingTImage, RewrappingFollowsAResizedOrReplacedPicture) {
  TIEBitmapBinding Binding;
  Binding.BindTImage(Image.get());
  Picture()->SetSize(10, 2);
  Binding.Rewrap(nullptr);
  ExpectWraps(Binding, Picture());

  TBitmap Other;
  Other.SetPixelFormat(pf24bit);
  Other.SetSize(4, 9);
  Image->Picture()->SetBitmap(&Other);  // the old picture is gone
  Binding.Rewrap(Image.get());
  ExpectWraps(Binding, Picture());
  EXPECT_EQ(Binding.Bitmap()->GetHeight(), 9);
}

// ---- A caller's bitmap ---------------------------------------------------------------------------------

TEST(BitmapBinding, ACallersBitmapStaysTheCallersAndAnOwnOneHandedBackStaysOwn) {
  TIEBitmap Caller;
  FillBitmap(Caller, 3, 3);
  {
    TTestView View(PictureOnly);
    TIEBitmapBinding Binding;
    Binding.BindView(&View);
    Binding.UseBitmap(&Caller);
    EXPECT_EQ(Binding.Bitmap(), &Caller);
    EXPECT_FALSE(Binding.OwnsBitmap());
    EXPECT_EQ(Binding.Picture(), nullptr);

    Binding.UseOwnBitmap();
    TIEBitmap* Own = Binding.Bitmap();
    Binding.UseBitmap(Own);
    EXPECT_TRUE(Binding.OwnsBitmap());
    FillBitmap(*Own, 2, 2);

    Binding.UseBitmap(nullptr);
    EXPECT_EQ(Binding.Bitmap(), nullptr);
    EXPECT_FALSE(Binding.OwnsBitmap());
    // Without a bitmap there is nothing to wrap into.
    Binding.Rewrap(nullptr);
    EXPECT_EQ(Binding.Bitmap(), nullptr);
  }
  ExpectUntouched(Caller, 3, 3);
}

}  // namespace
}  // namespace zv
