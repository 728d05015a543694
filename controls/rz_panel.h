// The framed container of the main window (outer and inner frames on chosen sides, a solid or
// gradient interior, an optional grid, a wrapped caption) and the group box built on it.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "controls/rz_common.h"
#include "controls/rz_common_ctrl.h"
#include "controls/rz_grafx.h"
#include "platform/lists.h"
#include "platform/std_controls.h"

namespace zv {

enum TRzVisualStyle : uint8_t { vsClassic, vsWinXP, vsGradient };
template <>
struct TEnumNames<TRzVisualStyle> {
  static constexpr std::string_view Names[] = {"vsClassic", "vsWinXP", "vsGradient"};
};

enum TRzGridStyle : uint8_t { gsDots, gsDottedLines, gsSolidLines };
template <>
struct TEnumNames<TRzGridStyle> {
  static constexpr std::string_view Names[] = {"gsDots", "gsDottedLines", "gsSolidLines"};
};

enum TRzGroupBoxStyle : uint8_t { gsStandard, gsCustom, gsTopLine, gsFlat, gsBanner, gsUnderline };
template <>
struct TEnumNames<TRzGroupBoxStyle> {
  static constexpr std::string_view Names[] = {"gsStandard", "gsCustom", "gsTopLine",
                                               "gsFlat",     "gsBanner", "gsUnderline"};
};

// The extent of Text in Font, measured without a window (controls measure before they have one).
TSize TextExtentInFont(TFont* Font, std::string_view Text);

class TRzCustomPanel : public TCustomPanel, public IRzFrameControllerClient {
public:
  explicit TRzCustomPanel(TComponent* AOwner);
  ~TRzCustomPanel() override;

  TAlignmentVertical AlignmentVertical() const { return FAlignmentVertical; }
  virtual void SetAlignmentVertical(TAlignmentVertical Value);
  TFrameStyleEx BorderInner() const { return FBorderInner; }
  virtual void SetBorderInner(TFrameStyleEx Value);
  TFrameStyleEx BorderOuter() const { return FBorderOuter; }
  virtual void SetBorderOuter(TFrameStyleEx Value);
  TSides BorderSides() const { return FBorderSides; }
  virtual void SetBorderSides(TSides Value);
  TColor BorderColor() const { return FBorderColor; }
  virtual void SetBorderColor(TColor Value);
  TColor BorderHighlight() const { return FBorderHighlight; }
  virtual void SetBorderHighlight(TColor Value);
  TColor BorderShadow() const { return FBorderShadow; }
  virtual void SetBorderShadow(TColor Value);
  TColor FlatColor() const { return FFlatColor; }
  virtual void SetFlatColor(TColor Value);
  int32_t FlatColorAdjustment() const { return FFlatColorAdjustment; }
  virtual void SetFlatColorAdjustment(int32_t Value);
  TRzVisualStyle VisualStyle() const { return FVisualStyle; }
  virtual void SetVisualStyle(TRzVisualStyle Value);
  TRzGradientColorStyle GradientColorStyle() const { return FGradientColorStyle; }
  virtual void SetGradientColorStyle(TRzGradientColorStyle Value);
  TColor GradientColorStart() const { return FGradientColorStart; }
  virtual void SetGradientColorStart(TColor Value);
  TColor GradientColorStop() const { return FGradientColorStop; }
  virtual void SetGradientColorStop(TColor Value);
  TGradientDirection GradientDirection() const { return FGradientDirection; }
  virtual void SetGradientDirection(TGradientDirection Value);
  TColor GridColor() const { return FGridColor; }
  virtual void SetGridColor(TColor Value);
  TRzGridStyle GridStyle() const { return FGridStyle; }
  virtual void SetGridStyle(TRzGridStyle Value);
  uint16_t GridXSize() const { return FGridXSize; }
  virtual void SetGridXSize(uint16_t Value);
  uint16_t GridYSize() const { return FGridYSize; }
  virtual void SetGridYSize(uint16_t Value);
  bool ShowGrid() const { return FShowGrid; }
  virtual void SetShowGrid(bool Value);
  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool Value);
  int32_t TextMargin() const { return FTextMargin; }
  virtual void SetTextMargin(int32_t Value);
  bool WordWrap() const { return FWordWrap; }
  virtual void SetWordWrap(bool Value);
  bool ShowDockClientCaptions() const { return FShowDockClientCaptions; }
  void SetShowDockClientCaptions(bool Value) { FShowDockClientCaptions = Value; }
  TRzFrameController* FrameController() const { return FFrameController; }
  virtual void SetFrameController(TRzFrameController* Value);
  TRzFrameControllerNotifications FrameControllerNotifications() const { return FFrameControllerNotifications; }
  void SetFrameControllerNotifications(TRzFrameControllerNotifications Value) {
    FFrameControllerNotifications = Value;
  }

  // The cursor position in client coordinates.
  virtual TPoint CursorClientPos();
  // Shrinks Rect by the frames on the chosen sides (and first by BorderWidth when asked).
  virtual void AdjustRectForFrames(TRect& Rect, bool IncludeBorderWidth);
  virtual TRect GetPaintRect() { return Rect(0, 0, Width(), Height()); }
  virtual void GetGradientColors(TColor& StartColor, TColor& StopColor);

  void ApplyFrameControllerSettings() override { ApplyFrameController(); }
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
  void AdjustClientRect(TRect& Rect) override;
  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  // After the panel has painted.
  TNotifyEvent OnPaint;

protected:
  virtual void DrawCaption(TRect Rect);
  virtual void DrawGrid(const TRect& Rect);
  virtual void ApplyFrameController();
  void Paint() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // The thickness one frame style takes on a side.
  int32_t FrameThickness(TFrameStyleEx Style) const;
  void EnabledChanged();

private:
  TAlignmentVertical FAlignmentVertical = avCenter;
  TFrameStyleEx FBorderInner = fsNone;
  TFrameStyleEx FBorderOuter = fsRaised;
  TSides FBorderSides = sdAllSides;
  TColor FBorderColor = clBtnFace;
  TColor FBorderHighlight = clBtnHighlight;
  TColor FBorderShadow = clBtnShadow;
  TColor FFlatColor = clBtnShadow;
  int32_t FFlatColorAdjustment = 30;
  TRzVisualStyle FVisualStyle = vsWinXP;
  TRzGradientColorStyle FGradientColorStyle = gcsSystem;
  TColor FGradientColorStart = clWhite;
  TColor FGradientColorStop = clBtnFace;
  TGradientDirection FGradientDirection = gdHorizontalEnd;
  TColor FGridColor = clBtnShadow;
  TRzGridStyle FGridStyle = gsDots;
  uint16_t FGridXSize = 8;
  uint16_t FGridYSize = 8;
  bool FShowGrid = false;
  bool FTransparent = false;
  int32_t FTextMargin = 0;
  bool FWordWrap = true;
  bool FShowDockClientCaptions = true;
  // One line per child, "1" or "0", the child as the line's object: the enabled states a disabling
  // of the panel overrode.
  std::unique_ptr<TStringList> FEnabledList;
  TRzFrameController* FFrameController = nullptr;
  TRzFrameControllerNotifications FFrameControllerNotifications = fccAll;
};

class TRzPanel : public TRzCustomPanel {
public:
  using TRzCustomPanel::TRzCustomPanel;
};

// A panel with a caption in its frame, in six looks; the base of the radio group.
class TRzCustomGroupBox : public TRzCustomPanel {
public:
  explicit TRzCustomGroupBox(TComponent* AOwner);

  TRzGroupBoxStyle GroupStyle() const { return FGroupStyle; }
  virtual void SetGroupStyle(TRzGroupBoxStyle Value);

  void AdjustClientRect(TRect& Rect) override;
  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

protected:
  void Paint() override;
  void ApplyFrameController() override;
  // Where the caption goes in the current style (empty for gsCustom or without a caption).
  TRect CaptionRect();

private:
  TRzGroupBoxStyle FGroupStyle = gsFlat;
};

class TRzGroupBox : public TRzCustomGroupBox {
public:
  using TRzCustomGroupBox::TRzCustomGroupBox;
};

}  // namespace zv
