// TIELayer: one layer of an image view: a bitmap placed in the view's image coordinates, with its
// shown size, rotation, opacity, magnifier and caller settings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "imaging/core/iedefs.h"
#include "imaging/proc/imaging_proc.h"
#include "platform/objects.h"
#include "platform/types.h"

namespace zv {

class TIEBitmap;
class TStream;
class TImagingView;

// What happened to a layer, as OnLayerNotify reports it.
enum TIELayerEvent : uint8_t {
  ielSelected,
  ielMoved,
  ielResized,
  ielMoving,
  ielResizing,
  ielRotating,
  ielRotated,
  ielBeginResizing,
  ielBeginMoving
};

// The grips of a layer's box, in the order they are hit-tested. Scoped, because ieNone is also the
// pixel format's "none".
enum class TIEGrip : uint8_t {
  ieNone,
  ieTopLeft,
  ieTopRight,
  ieBottomRight,
  ieBottomLeft,
  ieLeftSide,
  ieRightSide,
  ieTopSide,
  ieBottomSide,
  ieRotationCenter
};

// Position and size of a layer's last drawing (client or bitmap pixels).
struct TIELayerPlacement {
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Width = 0;
  int32_t Height = 0;
};

class TIELayer : public TObject {
public:
  // Share: the layer takes Bitmap itself, and frees it when it goes only with OwnShared (the view's first
  // layer does). Otherwise it gets a new bitmap of Bitmap's size, pixel format and storage kind (pixels
  // undefined), or an empty one without Bitmap, which it owns.
  TIELayer(TImagingView* AView, bool Share, TIEBitmap* ABitmap, bool OwnShared = false);
  ~TIELayer() override;
  TIELayer(const TIELayer&) = delete;
  TIELayer& operator=(const TIELayer&) = delete;

  // Every setting back to its start value; the bitmap, name, identity, filter choice and ownership stay.
  // A user-data block the layer owns is freed.
  void Reset();
  // Copies Source's settings and its bitmap's contents into this layer (not the angle, the rotation
  // centre, the identity, the ownership or the last-drawing outputs). A user-data block with a size is
  // copied (this layer owns the copy); one without a size is shared.
  void AssignProps(TIELayer* Source);
  // Between client pixels of the view and this layer's bitmap pixels (0 for a layer shown 0 wide/high).
  int32_t ClientToBitmapX(int32_t X) const;
  int32_t ClientToBitmapY(int32_t Y) const;
  int32_t BitmapToClientX(int32_t X) const;
  int32_t BitmapToClientY(int32_t Y) const;
  // The layer's state record (undo): settings, identity and, WithBitmap, the bitmap. The user-data block
  // is not stored; 4 zero bytes keep its place.
  void SaveToStream(TStream* Stream, bool WithBitmap);
  // False, and the layer unchanged, for a record that does not fit the stream.
  bool LoadFromStream(TStream* Stream);
  // Whole turns are kept as 0, so that "not rotated" has one value.
  void SetRotateAngle(double Value);
  // The size the layer is shown at: the explicit size, else the bitmap's.
  int32_t GetWidth() const;
  int32_t GetHeight() const;

  // ---- Settings (read and written directly by the view, the codecs and the I/O component) ----
  int32_t Width = 0;   // shown width in image pixels; 0 = the bitmap's
  int32_t Height = 0;  // shown height; 0 = the bitmap's
  double RotateAngle = 0;  // degrees, counter-clockwise on screen
  // Alpha built from the mask layer above during drawing, kept for the next drawing.
  std::unique_ptr<TIEBitmap> CachedMaskAlpha;
  TImagingView* View = nullptr;
  TIEBitmap* Bitmap = nullptr;
  bool Visible = true;
  bool ShowBox = true;
  int32_t Transparency = 255;  // 0 invisible .. 255 opaque
  int32_t PosX = 0;
  int32_t PosY = 0;
  TRect DrawnRect{0, 0, 0, 0};
  bool ClipToFirstLayer = false;
  bool Locked = false;
  bool Selectable = true;
  bool MagnifierEnabled = false;
  double MagnifierRate = 2.0;
  uint8_t MagnifierStyle = 0;   // 0 rectangle, 1 ellipse
  uint8_t MagnifierSource = 1;  // 0 the first layer, 1 what is drawn below
  uint8_t BlendOp = 0;
  // A caller's block; with UserDataSize above 0 the layer owns it (std::malloc'd, freed with std::free).
  void* UserData = nullptr;
  int32_t UserDataSize = 0;
  bool OwnsBitmap = true;
  TResampleFilter ResampleFilter = rfNone;
  bool UseOwnFilter = false;
  std::string Name;
  bool IsMask = false;
  TIELayerPlacement DrawDest;
  TIELayerPlacement DrawSource;
  TPoint RotatedCorners[4] = {};
  bool ShadeOutside = false;
  TIELayerGUID Guid{};  // made once, when the layer is created
  double RotateCenterX = 0.5;
  double RotateCenterY = 0.5;
};

// A fresh random layer identity.
TIELayerGUID CreateLayerGuid();

}  // namespace zv
