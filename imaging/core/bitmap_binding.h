// TIEBitmapBinding: the bitmap a non-visual component works on and where it comes from: an empty bitmap
// of the component's own, an attached view's bitmap, a class-library picture (a view's or a TImage's)
// wrapped by a bitmap of the component's own, or a caller's bitmap. The component keeps the attachments
// themselves (callbacks, free notifications); this keeps the bitmaps consistent with them.
#pragma once

#include <memory>

namespace zv {

class TBitmap;
class TIEBitmap;
class TIEView;
class TImage;

class TIEBitmapBinding {
public:
  // Starts on an empty bitmap of its own.
  TIEBitmapBinding();
  ~TIEBitmapBinding();
  TIEBitmapBinding(const TIEBitmapBinding&) = delete;
  TIEBitmapBinding& operator=(const TIEBitmapBinding&) = delete;

  // The current bitmap; nullptr only after UseBitmap(nullptr).
  TIEBitmap* Bitmap() const { return FBitmap; }
  // The class-library picture the current bitmap wraps, or nullptr.
  TBitmap* Picture() const { return FPicture; }
  bool OwnsBitmap() const { return FOwned != nullptr && FOwned.get() == FBitmap; }

  // A new empty bitmap of its own, wrapping nothing.
  void UseOwnBitmap();
  // Bitmap (nullptr allowed) stays the caller's.
  void UseBitmap(TIEBitmap* Bitmap);

  // View must not be nullptr. Its bitmap; else its picture wrapped by a new bitmap of its own, which
  // stays empty when the view has neither.
  void BindView(TIEView* View);
  // View must not be nullptr. After the view changed: its bitmap, else its picture wrapped by a bitmap
  // of its own; when the view has neither, everything stays.
  void FollowView(TIEView* View);
  // The view went away, and its bitmap or picture with it: back to a new bitmap of its own unless the
  // current one is already its own and wraps nothing.
  void ForgetView();

  // Image must not be nullptr. Its picture, wrapped by a bitmap of its own whose previous image goes.
  void BindTImage(TImage* Image);
  // Drops the picture; an own bitmap frees its image, a view's or a caller's keeps it.
  void ForgetPicture();
  // Wraps the picture again, since its size or format may have changed; with Image, its current picture,
  // which may have been replaced.
  void Rewrap(TImage* Image);

private:
  std::unique_ptr<TIEBitmap> FOwned;
  TIEBitmap* FBitmap = nullptr;
  TBitmap* FPicture = nullptr;
};

}  // namespace zv
