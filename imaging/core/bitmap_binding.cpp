#include "imaging/core/bitmap_binding.h"

#include "imaging/core/bitmap.h"
#include "imaging/core/ieview.h"
#include "platform/graphics.h"
#include "platform/std_controls.h"

namespace zv {

TIEBitmapBinding::TIEBitmapBinding() { UseOwnBitmap(); }

TIEBitmapBinding::~TIEBitmapBinding() = default;

void TIEBitmapBinding::UseOwnBitmap() {
  FOwned = std::make_unique<TIEBitmap>();
  FBitmap = FOwned.get();
  FPicture = nullptr;
}

void TIEBitmapBinding::UseBitmap(TIEBitmap* Bitmap) {
  FPicture = nullptr;
  // A bitmap handed back that is already ours stays ours rather than being freed under the caller.
  if (FOwned.get() != Bitmap) FOwned.reset();
  FBitmap = Bitmap;
}

void TIEBitmapBinding::BindView(TIEView* View) {
  FOwned.reset();
  FPicture = nullptr;
  FBitmap = View->GetIEBitmap();
  if (FBitmap != nullptr) return;
  UseOwnBitmap();
  FPicture = View->GetTBitmap();
  if (FPicture != nullptr) FBitmap->WrapTBitmap(FPicture, false);
}

void TIEBitmapBinding::FollowView(TIEView* View) {
  if (TIEBitmap* ViewBitmap = View->GetIEBitmap()) {
    if (ViewBitmap != FBitmap) {
      FOwned.reset();
      FBitmap = ViewBitmap;
    }
    FPicture = nullptr;
  } else if (TBitmap* Picture = View->GetTBitmap()) {
    if (!OwnsBitmap()) UseOwnBitmap();
    FPicture = Picture;
    FBitmap->WrapTBitmap(Picture, false);
  }
}

void TIEBitmapBinding::ForgetView() {
  if (!OwnsBitmap() || FPicture != nullptr) UseOwnBitmap();
}

void TIEBitmapBinding::BindTImage(TImage* Image) {
  // Wrapping frees the bitmap's image, which must not be a view's or a caller's.
  if (!OwnsBitmap()) UseOwnBitmap();
  FPicture = Image->Picture()->Bitmap();
  FBitmap->WrapTBitmap(FPicture, true);
}

void TIEBitmapBinding::ForgetPicture() {
  // Only our own bitmap wraps a picture; a view's or a caller's image is not ours to free.
  if (OwnsBitmap()) FBitmap->FreeImage(true);
  FPicture = nullptr;
}

void TIEBitmapBinding::Rewrap(TImage* Image) {
  if (Image != nullptr) FPicture = Image->Picture()->Bitmap();
  if (FPicture != nullptr && FBitmap != nullptr) FBitmap->WrapTBitmap(FPicture, false);
}

}  // namespace zv
