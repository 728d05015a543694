// The progress bar: how far an operation has come, in percent or in parts, drawn as a solid bar with
// a percent text, as lit segments, or as a gradient bar inside a frame.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "controls/rz_common.h"
#include "controls/rz_common_ctrl.h"
#include "controls/rz_grafx.h"
#include "platform/controls.h"
#include "platform/graphics.h"

namespace zv {

enum TBarStyle : uint8_t { bsTraditional, bsLED, bsGradient };
template <>
struct TEnumNames<TBarStyle> {
  static constexpr std::string_view Names[] = {"bsTraditional", "bsLED", "bsGradient"};
};

using TProgressChangeEvent = std::function<void(TObject* Sender, int32_t Percent)>;

// The three bar shapes, drawn into R on Canvas (whose font gives the text its face and size).
// Solid: the percent text in BackColor over the filled part and in BarColor over the rest.
void PaintSolidBar(TCanvas* Canvas, const TRect& R, TOrientation Orientation, TColor BarColor, TColor BackColor,
                   uint16_t Percent, bool ShowPercent, bool Transparent);
// Segments of BarColor with BackColor gaps; only as many segments as fit whole are drawn.
void PaintSegmentedBar(TCanvas* Canvas, const TRect& R, TOrientation Orientation, bool Transparent, bool Themed,
                       uint16_t Percent, int32_t NumSegments, TColor BackColor, TColor BarColor);
void PaintGradientBar(TCanvas* Canvas, const TRect& R, TOrientation Orientation, bool Transparent,
                      bool ShowPercent, uint16_t Percent, TGradientDirection Direction, TColor BackColorStop,
                      TColor BackColor, TColor BarColorStop, TColor BarColor);

// All the state and painting of the progress bar; TRzProgressBar publishes it.
class TRzCustomProgressBar : public TGraphicControl, public IRzFrameControllerClient {
public:
  explicit TRzCustomProgressBar(TComponent* AOwner);
  ~TRzCustomProgressBar() override;

  TColor BackColor() const { return FBackColor; }
  void SetBackColor(TColor Value);
  TColor BackColorStop() const { return FBackColorStop; }
  void SetBackColorStop(TColor Value);
  // Also the font colour.
  TColor BarColor() const { return FBarColor; }
  void SetBarColor(TColor Value);
  TColor BarColorStop() const { return FBarColorStop; }
  void SetBarColorStop(TColor Value);
  // Segments come without text and with a gap inside the frame; the other styles the other way round.
  TBarStyle BarStyle() const { return FBarStyle; }
  void SetBarStyle(TBarStyle Value);
  int32_t BevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(int32_t Value);
  TColor BorderColor() const { return FBorderColor; }
  void SetBorderColor(TColor Value);
  TFrameStyleEx BorderInner() const { return FBorderInner; }
  void SetBorderInner(TFrameStyleEx Value);
  TFrameStyleEx BorderOuter() const { return FBorderOuter; }
  void SetBorderOuter(TFrameStyleEx Value);
  int32_t BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(int32_t Value);
  TColor FlatColor() const { return FFlatColor; }
  void SetFlatColor(TColor Value);
  int32_t FlatColorAdjustment() const { return FFlatColorAdjustment; }
  void SetFlatColorAdjustment(int32_t Value);
  TRzFrameController* FrameController() const { return FFrameController; }
  void SetFrameController(TRzFrameController* Value);
  TRzFrameControllerNotifications FrameControllerNotifications() const { return FFrameControllerNotifications; }
  void SetFrameControllerNotifications(TRzFrameControllerNotifications Value) {
    FFrameControllerNotifications = Value;
  }
  TGradientDirection GradientDirection() const { return FGradientDirection; }
  void SetGradientDirection(TGradientDirection Value);
  // The gap between the frame and the bar, painted in BackColor.
  uint8_t InteriorOffset() const { return FInteriorOffset; }
  void SetInteriorOffset(uint8_t Value);
  // 1..100; other values are brought into that range.
  int32_t NumSegments() const { return FNumSegments; }
  void SetNumSegments(int32_t Value);
  // Follows the shape: a control taller than wide is vertical.
  TOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TOrientation Value);
  // Never more than TotalParts (compared without sign); recomputes Percent unless loading.
  int32_t PartsComplete() const { return FPartsComplete; }
  void SetPartsComplete(int32_t Value);
  // No upper limit: above 100 the bar is full and the text shows the number.
  uint16_t Percent() const { return FPercent; }
  void SetPercent(uint16_t Value);
  bool ShowPercent() const { return FShowPercent; }
  void SetShowPercent(bool Value);
  // Themes are always off here; the setting is kept for form descriptions.
  bool ThemeAware() const { return FThemeAware; }
  void SetThemeAware(bool Value);
  // At run time a new total starts the bar again at 0 parts and 0 percent.
  int32_t TotalParts() const { return FTotalParts; }
  void SetTotalParts(int32_t Value);

  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
  void ApplyFrameControllerSettings() override;

  // Raised with the new percent whenever Percent changes (also while loading).
  TProgressChangeEvent OnChange;

protected:
  void Paint() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  TColor FBackColor = TColor(0xFFFFFF);
  TColor FBackColorStop = clBtnFace;
  TColor FBarColor = clHighlight;
  TColor FBarColorStop = clHotLight;
  TBarStyle FBarStyle = bsTraditional;
  int32_t FBevelWidth = 1;
  TColor FBorderColor = clBtnFace;
  TFrameStyleEx FBorderInner = fsNone;
  TFrameStyleEx FBorderOuter = fsLowered;
  int32_t FBorderWidth = 0;
  TColor FFlatColor = clBtnShadow;
  int32_t FFlatColorAdjustment = 30;
  TRzFrameController* FFrameController = nullptr;
  TRzFrameControllerNotifications FFrameControllerNotifications = fccAll;
  TGradientDirection FGradientDirection = gdHorizontalCenter;
  uint8_t FInteriorOffset = 0;
  int32_t FNumSegments = 20;
  TOrientation FOrientation = orHorizontal;
  int32_t FPartsComplete = 0;
  uint16_t FPercent = 0;
  bool FShowPercent = true;
  bool FThemeAware = true;
  int32_t FTotalParts = 0;
};

class TRzProgressBar : public TRzCustomProgressBar {
public:
  explicit TRzProgressBar(TComponent* AOwner) : TRzCustomProgressBar(AOwner) {}
  const TPropList& PublishedProps() const override;
};

}  // namespace zv
