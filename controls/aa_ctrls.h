// The anti-aliased label: a windowless control owning an effect renderer that turns every change of
// its settings, font, colour, text or size into one repaint, and the label drawn with it either
// straight onto what lies beneath or onto its own back picture.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "controls/aa_face.h"
#include "platform/controls.h"
#include "platform/graphics.h"

namespace zv {

class TAAGraphicControl;
class TAALabel;

// Drag settings the form descriptions carry; this desktop layer has no drag and drop of controls.
enum TDragKind : uint8_t { dkDrag, dkDock };
template <>
struct TEnumNames<TDragKind> {
  static constexpr std::string_view Names[] = {"dkDrag", "dkDock"};
};
enum TDragMode : uint8_t { dmManual, dmAutomatic };
template <>
struct TEnumNames<TDragMode> {
  static constexpr std::string_view Names[] = {"dmManual", "dmAutomatic"};
};

enum TBackGroundMode : uint8_t { bmTiled, bmStretched, bmCenter, bmNormal };
template <>
struct TEnumNames<TBackGroundMode> {
  static constexpr std::string_view Names[] = {"bmTiled", "bmStretched", "bmCenter", "bmNormal"};
};

// A nested settings object that reads and writes properties of the control it speaks for.
class TPackParam : public TPersistent {
public:
  explicit TPackParam(TAAGraphicControl* Control) : FControl(Control) {}
  TPackParam(const TPackParam&) = delete;
  TPackParam& operator=(const TPackParam&) = delete;
  TAAGraphicControl* Control() const { return FControl; }
  // Takes over the other object's control.
  void Assign(TPersistent* Source) override;

protected:
  TAAGraphicControl* FControl;
};

class TDrag : public TPackParam {
public:
  using TPackParam::TPackParam;
  TDragKind DragKind() const;
  void SetDragKind(TDragKind Value);
  TCursor DragCursor() const;
  void SetDragCursor(TCursor Value);
  TDragMode DragMode() const;
  void SetDragMode(TDragMode Value);
  const TPropList& PublishedProps() const override;
};

class TParentEffect : public TPackParam {
public:
  using TPackParam::TPackParam;
  bool ParentColor() const;
  void SetParentColor(bool Value);
  bool ParentFont() const;
  void SetParentFont(bool Value);
  bool ParentShowHint() const;
  void SetParentShowHint(bool Value);
  const TPropList& PublishedProps() const override;
};

// Placement and background of the label's text.
class TCustomParam : public TNotifyClass {
public:
  TCustomParam(TAAGraphicControl* Control, TNotifyEvent ChangedProc);
  ~TCustomParam() override;

  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  TTextLayout Layout() const { return FLayout; }
  void SetLayout(TTextLayout Value);
  TPicture* BackGround() const { return FBackGround.get(); }
  void SetBackGround(TPicture* Value) { FBackGround->Assign(Value); }
  TBackGroundMode BackGroundMode() const { return FBackGroundMode; }
  void SetBackGroundMode(TBackGroundMode Value);
  bool IsBackGroundEmpty() const;
  TAAGraphicControl* Control() const { return FControl; }

  void Assign(TPersistent* Source) override;

protected:
  TAlignment FAlignment = taLeftJustify;
  bool FTransparent = false;
  TTextLayout FLayout = tlTop;
  TAAGraphicControl* FControl;
  std::unique_ptr<TPicture> FBackGround;
  TBackGroundMode FBackGroundMode = bmCenter;
};

// The label's Effect: placement, background and the renderer's quality and font effects.
class TAAFaceEffect : public TCustomParam {
public:
  using TCustomParam::TCustomParam;
  TAAQuality Quality() const;
  void SetQuality(TAAQuality Value);
  TAAEffect* FontEffect() const;
  void SetFontEffect(TAAEffect* Value);
  // The label's Color.
  TColor BackColor() const;
  void SetBackColor(TColor Value);
  const TPropList& PublishedProps() const override;
};

// A windowless control drawing through an effect renderer on its own canvas.
class TAAGraphicControl : public TGraphicControl {
public:
  explicit TAAGraphicControl(TComponent* AOwner);
  ~TAAGraphicControl() override;

  TAAFaceEx* Renderer() const { return FRenderer.get(); }
  TDrag* Drag() const { return FDrag.get(); }
  void SetDrag(TDrag* Value) { FDrag->Assign(Value); }
  TParentEffect* ParentEffect() const { return FParentEffect.get(); }
  void SetParentEffect(TParentEffect* Value) { FParentEffect->Assign(Value); }

  TDragKind DragKind() const { return FDragKind; }
  void SetDragKind(TDragKind Value) { FDragKind = Value; }
  TCursor DragCursor() const { return FDragCursor; }
  void SetDragCursor(TCursor Value) { FDragCursor = Value; }
  TDragMode DragMode() const { return FDragMode; }
  void SetDragMode(TDragMode Value) { FDragMode = Value; }

  void SetAutoSize(bool Value) override;
  void WndProc(TMessage& Message) override;
  void Loaded() override;
  // The handler the renderer's effect settings report to.
  void EffectChanged(TObject* Sender);
  // The parent's background and the graphic controls beneath this one, painted into Canvas.
  void CopyParentImage(TCanvas* Canvas);
  // Rect in the canvas brush colour, then Graphic placed by Mode.
  void DrawBackground(TCanvas* Canvas, const TRect& Rect, TBackGroundMode Mode, TGraphic* Graphic);
  static void TileDraw(TCanvas* Canvas, const TRect& Rect, TGraphic* Graphic) {
    TAAFaceEx::TileDraw(Canvas, Rect, Graphic);
  }

  TNotifyEvent OnMouseLeave;
  TNotifyEvent OnMouseEnter;

  const TPropList& PublishedProps() const override;

protected:
  // The change funnel: repaints once loaded, unless the component is loading, reading, writing,
  // being destroyed or updated.
  void Changed() override;
  void Paint() override;
  void Resize() override;
  virtual void PaintCanvas() {}
  virtual void Reset();
  virtual void Redraw();
  bool Busy() const;

  std::unique_ptr<TAAFaceEx> FRenderer;
  std::unique_ptr<TDrag> FDrag;
  std::unique_ptr<TParentEffect> FParentEffect;
  int32_t FBorder = 0;
  bool FLoaded = false;
  bool FPainting = false;
  int32_t FLastHeight = 0;
  int32_t FLastWidth = 0;

private:
  TDragKind FDragKind = dkDrag;
  TCursor FDragCursor = crDrag;
  TDragMode FDragMode = dmManual;
};

// A caption drawn with anti-aliasing and text effects.
class TAALabel : public TAAGraphicControl {
public:
  explicit TAALabel(TComponent* AOwner);
  ~TAALabel() override;

  TAAFaceEffect* Effect() const { return FEffect.get(); }
  void SetEffect(TAAFaceEffect* Value) { FEffect->Assign(Value); }
  // The 24-bit picture an opaque label is drawn from.
  TBitmap* BackBitmap() const { return FBackBitmap.get(); }
  TBorderWidth Border() const { return FBorder; }
  void SetBorder(TBorderWidth Value);

  const TPropList& PublishedProps() const override;

protected:
  void PaintCanvas() override;
  void Redraw() override;
  void UpdateBackBitmap();
  void DrawDirect();

private:
  // Sizes the label (AutoSize) and gives where the caption's box goes on Target.
  TPoint Layout(TCanvas* Target);

  std::unique_ptr<TAAFaceEffect> FEffect;
  std::unique_ptr<TBitmap> FBackBitmap;
};

}  // namespace zv
