// A small modal dialog that shows a palette as rows of 32 coloured cells and returns the clicked colour.
#pragma once

#include <cstdint>

#include "imaging/core/iedefs.h"
#include "platform/forms.h"

namespace zv {

class TButton;

class TImagingPaletteDialog : public TForm {
public:
  explicit TImagingPaletteDialog(TComponent* AOwner);

  // The entries shown (not owned; they must outlive the dialog's run).
  void SetPalette(const TIERGB24* Palette, int32_t Count);
  // Runs the dialog; true when a cell was clicked, its colour then in SelectedColor.
  bool Execute();

  TColor SelectedColor() const { return FSelectedColor; }
  // The cell under the pointer, outlined black; -1 for none.
  int32_t CurrentCell() const { return FCurrentCell; }
  TButton* CancelButton() const { return FCancel; }
  // The cell at a client point, or -1 when the point lies past the last column or row of cells.
  int32_t CellAt(int32_t X, int32_t Y) const;

private:
  void PaintCells();
  void PointerMoved(int32_t X, int32_t Y);
  void Clicked();

  int32_t FCurrentCell = -1;
  const TIERGB24* FPalette = nullptr;
  int32_t FCount = 0;
  TButton* FCancel = nullptr;
  TColor FSelectedColor = 0;
};

}  // namespace zv
