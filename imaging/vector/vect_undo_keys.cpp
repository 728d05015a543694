// The view-level behaviour of the vector layer: keys and window messages, undo snapshots of the objects
// in both undo modes, copies from another vector view, and the values its start-up makes.
#include "imaging/core/bitmap.h"
#include "imaging/proc/imaging_proc.h"
#include "imaging/vector/imaging_vect.h"
#include "imaging/vector/text_control.h"
#include "imaging/vector/vect_startup.h"
#include "platform/windows.h"

namespace zv {

UINT VectClipboardFormat = 0;
UINT TextMemoClipboardFormat = 0;
uint16_t IEVectShortcuts[12] = {};

namespace {

// The dialog code of the view: arrow keys and characters come to it.
constexpr LRESULT VectDialogCode = 129;

// Ctrl with a key, as a shortcut value.
constexpr uint16_t CtrlShortcut = 0x4000;

}  // namespace

// ---- Keys and messages -----------------------------------------------------------------------------------

void TImagingVect::KeyDown(uint16_t& Key, TShiftState Shift) {
  if (Key == VK_ESCAPE) {
    CloseTextEditor();
    FTextEditObject = -1;
  } else if (Key == VK_F2 && !FSelection.empty()) {
    const int32_t First = FSelection.front();
    const TIEVObjKind Kind = FObjects[size_t(First)].Kind;
    if (Kind == vokText || Kind == vokMemo) {
      FTextEditObject = First;
      OpenTextEditor();
    }
  }
  TImagingView::KeyDown(Key, Shift);
}

void TImagingVect::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_GETDLGCODE: Message.Result = VectDialogCode; return;
    case WM_KEYDOWN: {
      TImagingView::Dispatch(Message);
      if (FSelection.size() != 1) return;
      TIEVObjectData& Rec = FObjects[size_t(FSelection[0])];
      if (Rec.Kind == vokExtension && Rec.Extension)
        Rec.Extension->KeyDown(uint16_t(Message.WParam), KeyDataToShiftState(int32_t(Message.LParam)));
      return;
    }
    case WM_SIZE:
      TImagingView::Dispatch(Message);
      CancelInteraction();
      Update();
      return;
    default: TImagingView::Dispatch(Message);
  }
}

// ---- Undo snapshots --------------------------------------------------------------------------------------

void TImagingVect::AutoObjUndo() {
  FAutoUndoTaken = ObjAutoUndo;
  if (!ObjAutoUndo) return;
  if (ObjUndoMode == ieumSeparated) SaveObjUndo();
  else Proc()->SaveUndo(ieuObject);
}

void TImagingVect::SaveObjUndo() {
  if (ObjUndoLimit <= 0) return;
  auto Snapshot = std::make_unique<TMemoryStream>();
  SaveObjectsToStream(Snapshot.get());
  while (!FObjUndo.empty() && int32_t(FObjUndo.size()) >= ObjUndoLimit) FObjUndo.erase(FObjUndo.begin());
  FObjUndo.push_back(std::move(Snapshot));
  if (OnSaveUndo()) OnSaveUndo()(this, ieuObject);
}

void TImagingVect::DropLastObjUndo() {
  if (!FObjUndo.empty()) FObjUndo.pop_back();
}

void TImagingVect::ClearObjUndo() { FObjUndo.clear(); }

// ---- Copies ----------------------------------------------------------------------------------------------

void TImagingVect::Assign(TPersistent* Source) {
  TImagingView::Assign(Source);
  auto* From = dynamic_cast<TImagingVect*>(Source);
  if ((Source != nullptr && From == nullptr) || From == this) return;
  CancelInteraction();
  ClearObjects();
  if (From == nullptr) return;
  for (int32_t i = 0; i < From->ObjectsCount(); ++i) From->CopyObjectTo(From->ObjectAt(i), this);
  SetScale(From->Scale());
  DoVectorialChanged();
  Update();
}

int32_t TImagingVect::CopyObjectTo(int32_t Hobj, TImagingVect* Target) {
  TIEVObjectData* Rec = ObjectRecord(Hobj);
  if (Rec == nullptr || Target == nullptr || Target == this) return IEV_NONE;
  TIEBitmap* Picture = nullptr;
  if (Rec->Kind == vokBitmap || (Rec->Kind == vokMemo && Rec->MemoHasBitmap != 0))
    Picture = Rec->BitmapIdx >= 0 && Rec->BitmapIdx < BitmapsCount() ? BitmapAt(Rec->BitmapIdx) : nullptr;
  int32_t Slot = -1;
  if (Picture != nullptr) {
    // Every copied picture gets a slot of its own in the target, even one this view shares.
    Slot = Target->AllocBitmapSlot();
    auto Copy = std::make_unique<TIEBitmap>();
    Copy->Assign(Picture);
    Target->FBitmaps[size_t(Slot)].Bitmap = std::move(Copy);
    Target->FBitmaps[size_t(Slot)].RefCount = 1;
  }
  // The record names a slot of this view's list: it must not be read as one of the target's.
  const int32_t KeptIdx = Rec->BitmapIdx;
  Rec->BitmapIdx = -1;
  const int32_t NewHobj = Target->AddObject(*Rec);
  Rec = ObjectRecord(Hobj);
  Rec->BitmapIdx = KeptIdx;
  if (Slot >= 0) Target->ObjectRecord(NewHobj)->BitmapIdx = Slot;
  Target->Update();
  return NewHobj;
}

// ---- Start-up --------------------------------------------------------------------------------------------

void IeVectStaticInit() {
  VectClipboardFormat = RegisterClipboardFormat("IMAGING VECT");
  const uint16_t Keys[12] = {'L', 'E', 'R', 'J', 'C', 'X', 'V', 'F', 'B', 'I', 'U', 'G'};
  for (int i = 0; i < 12; ++i) IEVectShortcuts[i] = uint16_t(CtrlShortcut | Keys[i]);
  // The registry itself is made on first use, so that classes registered before start-up stay.
}

void IeVectStaticDone() { ClearVectExtensions(); }

void IeTextCStaticInit() { TextMemoClipboardFormat = RegisterClipboardFormat(TextMemoClipboardName); }

void IeTextCStaticDone() {}

}  // namespace zv
