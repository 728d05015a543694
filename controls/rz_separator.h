// A thin separating line drawn as a two-colour gradient from the control's colour to a highlight
// colour that sits at one end or in the middle.
#pragma once

#include <cstdint>
#include <string_view>

#include "controls/rz_common.h"
#include "controls/rz_grafx.h"
#include "platform/controls.h"

namespace zv {

enum TRzHighlightLocation : uint8_t { hlCenter, hlUpperLeft, hlLowerRight };
template <>
struct TEnumNames<TRzHighlightLocation> {
  static constexpr std::string_view Names[] = {"hlCenter", "hlUpperLeft", "hlLowerRight"};
};

class TRzSeparator : public TGraphicControl {
public:
  explicit TRzSeparator(TComponent* AOwner);

  TColor HighlightColor() const { return FHighlightColor; }
  void SetHighlightColor(TColor Value);
  TRzHighlightLocation HighlightLocation() const { return FHighlightLocation; }
  void SetHighlightLocation(TRzHighlightLocation Value);
  // At run time a change also turns the control: width and height swap.
  TOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TOrientation Value);
  // Off: the line is plain Color.
  bool ShowGradient() const { return FShowGradient; }
  void SetShowGradient(bool Value);

  void Loaded() override;
  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

protected:
  void Paint() override;

private:
  // The gradient's shape and colours that put the highlight where HighlightLocation says.
  void UpdateGradient();

  TColor FHighlightColor = clHighlight;
  TRzHighlightLocation FHighlightLocation = hlCenter;
  TOrientation FOrientation = orHorizontal;
  bool FShowGradient = true;
  TGradientDirection FDirection = gdVerticalCenter;
  TColor FStartColor = clBtnFace;
  TColor FStopColor = clHighlight;
};

}  // namespace zv
