// The drop shadow of a borderless form: a click-through layered window with per-pixel alpha that lies
// just behind the form, 16 pixels larger on every side, holding a soft halo of the form's outline.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "platform/forms.h"
#include "platform/gdi.h"
#include "platform/graphics.h"

namespace zv {

// BlendTable[i][j] = i * j div 255: a colour channel i premultiplied by an alpha j.
using TBlendTable = std::array<std::array<uint8_t, 256>, 256>;
extern const TBlendTable BlendTable;

class TFormShadow : public TWinControl {
public:
  // How far the shadow reaches beyond the form on every side.
  static constexpr int ShadowSize = 16;

  explicit TFormShadow(TComponent* AOwner);
  ~TFormShadow() override;

  // Follows Form (nullptr: none), taking over its window procedure and giving the previous form its
  // own back. Where the desktop cannot show per-pixel alpha the shadow stays out of the way: it
  // never hooks the form nor makes a window.
  void AttachToForm(TCustomForm* Form);
  TCustomForm* ShadowForm() const { return FShadowForm; }
  // Whether the shadow is wanted; the form's show and hide notifications set it.
  bool ShadowVisible() const { return FShadowVisible; }
  void SetShadowVisible(bool Value);
  TColor ShadowColor() const { return FShadowColor; }
  // Recolours the halo from the alpha kept in the image, without rebuilding it.
  void SetShadowColor(TColor Value);
  // The shadow image: form width + 32 by form height + 32, premultiplied B, G, R, A from the top row.
  TBitmap* ShadowBitmap() const { return FShadowBitmap.get(); }

  // The window procedure put into the followed form.
  virtual void FormWndProc(TMessage& Message);
  void Dispatch(TMessage& Message) override;

protected:
  void CreateParams(TCreateParams& Params) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // Whether layered windows show their alpha here (the desktop composites); asked at attachment.
  virtual bool DesktopCompositesAlpha() const;

private:
  void RefreshFormFrame();
  void HandlePosChanging(TMessage& Message);
  void HandlePosChanged(TMessage& Message);
  void HandleSize(TMessage& Message);
  void BuildShadow();
  void MaskTransparentArea(bool White);
  void BlurBitmap(int Count);
  void UpdateLayer(bool RecomputeAlpha);
  // Gives the form its own window procedure back.
  void Detach();

  TCustomForm* FShadowForm = nullptr;
  bool FShadowVisible = false;
  int32_t FMargin = 0;
  TColor FShadowColor = clBlack;
  TWndMethod FSavedWindowProc;
  TColor FSavedTransparentColor = clBlack;
  HRGN FShadowRegion = nullptr;
  std::unique_ptr<TBitmap> FShadowBitmap;
  BLENDFUNCTION FShadowBlend;
  bool FShadowRebuild = true;
  // Cleared on destruction: the form's message handling may free the shadow under FormWndProc.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

}  // namespace zv
