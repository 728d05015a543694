#include "imaging/core/palette_dialog.h"

#include "imaging/core/color_utils.h"
#include "platform/graphics.h"
#include "platform/std_controls.h"

namespace zv {

namespace palette_dialog_detail {
constexpr int32_t kCell = 16;
constexpr int32_t kColumns = 32;
}  // namespace palette_dialog_detail

TImagingPaletteDialog::TImagingPaletteDialog(TComponent* AOwner) : TForm(AOwner) {
  SetBorderIcons({biSystemMenu});
  SetBorderStyle(bsDialog);
  SetCaption("Palette");
  SetBounds(0, 0, 520, 199);
  SetPosition(poScreenCenter);
  FCancel = new TButton(this);
  FCancel->SetParent(this);
  FCancel->SetCaption("&Cancel");
  FCancel->SetBounds(4, 136, 75, 25);
  FCancel->SetModalResult(mrCancel);
  FCancel->SetCancel(true);
  OnPaint = [this](TObject*) { PaintCells(); };
  OnMouseMove = [this](TObject*, TShiftState, int X, int Y) { PointerMoved(X, Y); };
  OnClick = [this](TObject*) { Clicked(); };
}

void TImagingPaletteDialog::SetPalette(const TIERGB24* Palette, int32_t Count) {
  FPalette = Palette;
  FCount = Palette != nullptr && Count > 0 ? Count : 0;
  FCurrentCell = -1;
}

bool TImagingPaletteDialog::Execute() { return ShowModal() == mrOk; }

int32_t TImagingPaletteDialog::CellAt(int32_t X, int32_t Y) const {
  using namespace palette_dialog_detail;
  // Division towards zero, so the border pixel before the first cell still counts as column 0.
  const int32_t Column = (X - 1) / kCell, Row = (Y - 1) / kCell;
  if (X < 0 || Y < 0 || Column >= kColumns) return -1;
  const int64_t Cell = int64_t(Column) + int64_t(Row) * kColumns;
  return Cell < FCount ? int32_t(Cell) : -1;
}

void TImagingPaletteDialog::PaintCells() {
  using namespace palette_dialog_detail;
  TCanvas* C = Canvas();
  for (int32_t i = 0; i < FCount; ++i) {
    const int32_t X = kCell * (i % kColumns), Y = kCell * (i / kColumns);
    C->Brush()->SetColor(RGB24ToColor(FPalette[i]));
    C->Pen()->SetColor(i == FCurrentCell ? TColor(0x000000) : TColor(0xFFFFFF));
    C->Rectangle(X + 1, Y + 1, X + kCell, Y + kCell);
  }
}

void TImagingPaletteDialog::PointerMoved(int32_t X, int32_t Y) {
  const int32_t Cell = CellAt(X, Y);
  if (Cell == FCurrentCell) return;
  FCurrentCell = Cell;
  Invalidate();
}

void TImagingPaletteDialog::Clicked() {
  if (FCurrentCell < 0) return;
  FSelectedColor = RGB24ToColor(FPalette[FCurrentCell]);
  SetModalResult(mrOk);
}

}  // namespace zv
