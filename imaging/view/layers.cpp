// TIELayer: creation over a shared or a new bitmap, its end, reset, copying and the rotation angle.
#include "imaging/view/layers.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "imaging/core/bitmap.h"
#include "imaging/view/imaging_view.h"
#include "imaging/view/view_math.h"
#include "platform/graphics.h"

namespace zv {

TIELayerGUID CreateLayerGuid() {
  // Only uniqueness matters: the identity ties undo records to their layer.
  static thread_local std::mt19937_64 Engine{std::random_device{}()};
  TIELayerGUID Guid{};
  for (size_t i = 0; i < Guid.size(); i += 8) {
    const uint64_t R = Engine();
    for (size_t k = 0; k < 8; ++k) Guid[i + k] = uint8_t(R >> (8 * k));
  }
  // Version 4, variant 1, as a system-made identifier would be.
  Guid[6] = uint8_t((Guid[6] & 0x0F) | 0x40);
  Guid[8] = uint8_t((Guid[8] & 0x3F) | 0x80);
  return Guid;
}

TIELayer::TIELayer(TImagingView* AView, bool Share, TIEBitmap* ABitmap, bool OwnShared) {
  Guid = CreateLayerGuid();
  View = AView;
  if (Share) {
    Bitmap = ABitmap;
  } else {
    auto Own = std::make_unique<TIEBitmap>();
    if (ABitmap != nullptr) {
      if (ABitmap->ExternalTBitmap() && ABitmap->VclBitmap() != nullptr) {
        // The same kind of storage as the view's legacy bitmap: a TBitmap that the layer answers for.
        auto Picture = std::make_unique<TBitmap>();
        Picture->SetSize(1, 1);
        Picture->SetPixelFormat(ABitmap->VclBitmap()->PixelFormat());
        Picture->SetSize(ABitmap->GetWidth(), ABitmap->GetHeight());
        Own->WrapTBitmap(Picture.release(), false);
      } else {
        Own->SetLocation(ABitmap->Location());
        Own->Allocate(ABitmap->GetWidth(), ABitmap->GetHeight(), ABitmap->GetPixelFormat());
      }
    }
    Bitmap = Own.release();
  }
  // A shared bitmap stays its caller's unless the caller hands it over.
  OwnsBitmap = !Share || OwnShared;
  Reset();
}

TIELayer::~TIELayer() {
  if (OwnsBitmap && Bitmap != nullptr) {
    // A wrapped TBitmap is not the bitmap's own, so the layer frees it: first the bitmap lets go of
    // it, then it goes, then the bitmap.
    TBitmap* Wrapped = Bitmap->ExternalTBitmap() ? Bitmap->VclBitmap() : nullptr;
    if (Wrapped != nullptr) Bitmap->FreeImage(true);
    delete Wrapped;
    delete Bitmap;
  }
  Bitmap = nullptr;
  if (UserDataSize > 0) std::free(UserData);
  UserData = nullptr;
}

void TIELayer::Reset() {
  Width = 0;
  Height = 0;
  Visible = true;
  ShowBox = true;
  Transparency = 255;
  PosX = 0;
  PosY = 0;
  DrawnRect = TRect(0, 0, 0, 0);
  ClipToFirstLayer = false;
  Locked = false;
  Selectable = true;
  MagnifierEnabled = false;
  MagnifierRate = 2.0;
  MagnifierStyle = 0;
  MagnifierSource = 1;
  BlendOp = 0;
  // An owned block goes; a shared one (no size) is only forgotten.
  if (UserDataSize > 0) std::free(UserData);
  UserData = nullptr;
  UserDataSize = 0;
  IsMask = false;
  DrawDest = {};
  DrawSource = {};
  for (TPoint& P : RotatedCorners) P = TPoint();
  ShadeOutside = false;
  RotateCenterX = 0.5;
  RotateCenterY = 0.5;
  SetRotateAngle(0);
}

void TIELayer::AssignProps(TIELayer* Source) {
  if (Source == nullptr || Source == this) return;
  Width = Source->Width;
  Height = Source->Height;
  if (Bitmap != nullptr && Source->Bitmap != nullptr) Bitmap->Assign(Source->Bitmap);
  Visible = Source->Visible;
  ShowBox = Source->ShowBox;
  Selectable = Source->Selectable;
  Transparency = Source->Transparency;
  PosX = Source->PosX;
  PosY = Source->PosY;
  DrawnRect = Source->DrawnRect;
  ClipToFirstLayer = Source->ClipToFirstLayer;
  Locked = Source->Locked;
  MagnifierEnabled = Source->MagnifierEnabled;
  MagnifierRate = Source->MagnifierRate;
  MagnifierStyle = Source->MagnifierStyle;
  MagnifierSource = Source->MagnifierSource;
  BlendOp = Source->BlendOp;
  if (UserDataSize > 0) std::free(UserData);
  UserData = nullptr;
  UserDataSize = 0;
  if (Source->UserDataSize > 0 && Source->UserData != nullptr) {
    if (void* Copy = std::malloc(size_t(Source->UserDataSize))) {
      std::memcpy(Copy, Source->UserData, size_t(Source->UserDataSize));
      UserData = Copy;
      UserDataSize = Source->UserDataSize;
    }
  } else {
    UserData = Source->UserData;
  }
  ResampleFilter = Source->ResampleFilter;
  UseOwnFilter = Source->UseOwnFilter;
  Name = Source->Name;
  IsMask = Source->IsMask;
  ShadeOutside = Source->ShadeOutside;
}

void TIELayer::SetRotateAngle(double Value) {
  // Only whole values count as turns: 360.5 stays as it is.
  if (Value == std::trunc(Value) && std::fmod(Value, 360.0) == 0.0)
    RotateAngle = 0;
  else
    RotateAngle = Value;
}

int32_t TIELayer::GetWidth() const {
  if (Width != 0) return Width;
  return Bitmap != nullptr ? Bitmap->GetWidth() : 0;
}

int32_t TIELayer::GetHeight() const {
  if (Height != 0) return Height;
  return Bitmap != nullptr ? Bitmap->GetHeight() : 0;
}

int32_t TIELayer::ClientToBitmapX(int32_t X) const {
  const int32_t w = GetWidth();
  if (w == 0 || Bitmap == nullptr) return 0;
  const double zx = View->ZoomX() / 100;
  const int64_t C = int64_t(X) - view_math::TruncI(PosX * zx);
  return view_math::TruncI(double(View->ClientToBitmapX(view_math::Sat(C))) / w * Bitmap->GetWidth());
}

int32_t TIELayer::ClientToBitmapY(int32_t Y) const {
  const int32_t h = GetHeight();
  if (h == 0 || Bitmap == nullptr) return 0;
  const double zy = View->ZoomY() / 100;
  const int64_t C = int64_t(Y) - view_math::TruncI(PosY * zy);
  return view_math::TruncI(double(View->ClientToBitmapY(view_math::Sat(C))) / h * Bitmap->GetHeight());
}

int32_t TIELayer::BitmapToClientX(int32_t X) const {
  // An empty bitmap has no columns: its left edge stands for all of them.
  const int32_t W = Bitmap != nullptr ? Bitmap->GetWidth() : 0;
  const double zx = View->ZoomX() / 100;
  const int32_t Col = W > 0 ? view_math::TruncI(double(X) / W * GetWidth()) : 0;
  return view_math::Sat(int64_t(View->BitmapToClientX(Col)) + view_math::TruncI(PosX * zx));
}

int32_t TIELayer::BitmapToClientY(int32_t Y) const {
  const int32_t H = Bitmap != nullptr ? Bitmap->GetHeight() : 0;
  const double zy = View->ZoomY() / 100;
  const int32_t Row = H > 0 ? view_math::TruncI(double(Y) / H * GetHeight()) : 0;
  return view_math::Sat(int64_t(View->BitmapToClientY(Row)) + view_math::TruncI(PosY * zy));
}

}  // namespace zv
