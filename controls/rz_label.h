// The framed label: a label with an outer and inner frame, raised, recessed or shadowed text, text
// rotated flat or set along an ellipse, blinking in step with the other blinking controls, a fly-by
// colour under the mouse, a text margin and caption condensing with ellipses.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "controls/rz_common.h"
#include "controls/rz_common_ctrl.h"
#include "platform/std_controls.h"

namespace zv {

// Where the centre of an arc of text lies in the label.
enum TCenterPoint : uint8_t {
  cpUpperLeft, cpUpperCenter, cpUpperRight, cpLeftCenter, cpCenter, cpRightCenter, cpLowerLeft, cpLowerCenter,
  cpLowerRight
};
template <>
struct TEnumNames<TCenterPoint> {
  static constexpr std::string_view Names[] = {"cpUpperLeft",  "cpUpperCenter", "cpUpperRight",
                                               "cpLeftCenter", "cpCenter",      "cpRightCenter",
                                               "cpLowerLeft",  "cpLowerCenter", "cpLowerRight"};
};

// How a caption too long for the label is shortened.
enum TRzCondenseCaption : uint8_t { ccNone, ccAtEnd, ccWithinPath };
template <>
struct TEnumNames<TRzCondenseCaption> {
  static constexpr std::string_view Names[] = {"ccNone", "ccAtEnd", "ccWithinPath"};
};

// Straight text, text turned by Angle, or characters set along an ellipse.
enum TRotation : uint8_t { roNone, roFlat, roCurve };
template <>
struct TEnumNames<TRotation> {
  static constexpr std::string_view Names[] = {"roNone", "roFlat", "roCurve"};
};

class TRzLabel : public TLabel, public IRzFrameControllerClient {
public:
  explicit TRzLabel(TComponent* AOwner);
  ~TRzLabel() override;

  // Degrees 0..359 for values from 0 up; a negative value is stored as 360 + value.
  int32_t Angle() const { return FAngle; }
  void SetAngle(int32_t Value);
  int32_t BevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(int32_t Value);
  bool Blinking() const { return FBlinking; }
  void SetBlinking(bool Value);
  TColor BlinkColor() const { return FBlinkColor; }
  void SetBlinkColor(TColor Value);
  // Shared by every blinking control of the process.
  uint16_t BlinkIntervalOff() const;
  void SetBlinkIntervalOff(uint16_t Value);
  uint16_t BlinkIntervalOn() const;
  void SetBlinkIntervalOn(uint16_t Value);
  TColor BorderColor() const { return FBorderColor; }
  void SetBorderColor(TColor Value);
  TColor BorderHighlight() const { return FBorderHighlight; }
  void SetBorderHighlight(TColor Value);
  TFrameStyleEx BorderInner() const { return FBorderInner; }
  void SetBorderInner(TFrameStyleEx Value);
  TFrameStyleEx BorderOuter() const { return FBorderOuter; }
  void SetBorderOuter(TFrameStyleEx Value);
  TColor BorderShadow() const { return FBorderShadow; }
  void SetBorderShadow(TColor Value);
  TSides BorderSides() const { return FBorderSides; }
  void SetBorderSides(TSides Value);
  int32_t BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(int32_t Value);
  TCenterPoint CenterPoint() const { return FCenterPoint; }
  void SetCenterPoint(TCenterPoint Value);
  // Anything but ccNone turns AutoSize off.
  TRzCondenseCaption CondenseCaption() const { return FCondenseCaption; }
  void SetCondenseCaption(TRzCondenseCaption Value);
  TColor FlatColor() const { return FFlatColor; }
  void SetFlatColor(TColor Value);
  int32_t FlatColorAdjustment() const { return FFlatColorAdjustment; }
  void SetFlatColorAdjustment(int32_t Value);
  TColor FlyByColor() const { return FFlyByColor; }
  void SetFlyByColor(TColor Value);
  bool FlyByEnabled() const { return FFlyByEnabled; }
  void SetFlyByEnabled(bool Value);
  TRzFrameController* FrameController() const { return FFrameController; }
  void SetFrameController(TRzFrameController* Value);
  TRzFrameControllerNotifications FrameControllerNotifications() const { return FFrameControllerNotifications; }
  void SetFrameControllerNotifications(TRzFrameControllerNotifications Value) {
    FFrameControllerNotifications = Value;
  }
  TColor HighlightColor() const { return FHighlightColor; }
  void SetHighlightColor(TColor Value);
  // Raised and recessed text without their dark pass.
  bool LightTextStyle() const { return FLightTextStyle; }
  void SetLightTextStyle(bool Value);
  TRotation Rotation() const { return FRotation; }
  void SetRotation(TRotation Value);
  TColor ShadowColor() const { return FShadowColor; }
  void SetShadowColor(TColor Value);
  int32_t ShadowDepth() const { return FShadowDepth; }
  void SetShadowDepth(int32_t Value);
  int32_t TextMargin() const { return FTextMargin; }
  void SetTextMargin(int32_t Value);
  TTextStyle TextStyle() const { return FTextStyle; }
  void SetTextStyle(TTextStyle Value);

  // The colour the caption is drawn in now (the font colour, or the blink colour while blinking).
  TColor CurrentColor() const { return FCurrentColor; }
  // The rectangle the caption is laid out in: inside the border and frames, less the margin.
  TRect TextRect();
  // The DrawText flags of the caption.
  UINT DrawTextFlags() const;

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

  void ApplyFrameControllerSettings() override;
  void Dispatch(TMessage& Message) override;
  void Loaded() override;
  const TPropList& PublishedProps() const override;

protected:
  void Paint() override;
  bool CanAutoSize(int32_t& NewWidth, int32_t& NewHeight) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  void PaintFlatText(const TRect& T, UINT Flags);
  void PaintRotatedText(const TRect& T, UINT Flags);
  void PaintArcText();
  void DrawCaptionPass(TRect R, UINT Flags, int32_t DX, int32_t DY, TColor Color);
  // The copies of the caption that make its text style: the disabled look, or the raised, recessed or
  // shadow copies and then the caption in its current colour. Pass(DX, DY, Color) draws one copy; the
  // shadow copy goes ShadowOffset right and down, the caption TextOffset.
  void DrawStyledPasses(int32_t ShadowOffset, int32_t TextOffset,
                        const std::function<void(int32_t, int32_t, TColor)>& Pass);
  void UseVerdanaUnlessTrueType();

  int32_t FAngle = 0;
  int32_t FBevelWidth = 1;
  bool FBlinking = false;
  TColor FBlinkColor = clHighlight;
  TColor FBorderColor = clBtnFace;
  TColor FBorderHighlight = clBtnHighlight;
  TFrameStyleEx FBorderInner = fsNone;
  TFrameStyleEx FBorderOuter = fsNone;
  TColor FBorderShadow = clBtnShadow;
  TSides FBorderSides = sdAllSides;
  int32_t FBorderWidth = 0;
  TCenterPoint FCenterPoint = cpCenter;
  TRzCondenseCaption FCondenseCaption = ccNone;
  TColor FFlatColor = clBtnShadow;
  int32_t FFlatColorAdjustment = 30;
  TColor FFlyByColor = clHighlight;
  bool FFlyByEnabled = false;
  TRzFrameController* FFrameController = nullptr;
  TRzFrameControllerNotifications FFrameControllerNotifications = fccAll;
  TColor FHighlightColor = clBtnHighlight;
  bool FLightTextStyle = false;
  TRotation FRotation = roNone;
  TColor FShadowColor = clBtnShadow;
  int32_t FShadowDepth = 2;
  int32_t FTextMargin = 0;
  TTextStyle FTextStyle = tsNormal;

  TColor FFontColor = clWindowText;
  TColor FCurrentColor = clWindowText;
  TColor FFlyBySavedColor = clWindowText;
  bool FMouseOver = false;
  bool FIgnoreParentColor = false;
};

}  // namespace zv
