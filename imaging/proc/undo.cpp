#include "imaging/proc/undo.h"

#include <algorithm>
#include <limits>

#include "imaging/core/bitmap.h"
#include "imaging/proc/imaging_proc.h"

namespace zv {

// ---- The stacks -----------------------------------------------------------------------------------------

TIEUndoEntry::TIEUndoEntry() = default;
TIEUndoEntry::~TIEUndoEntry() = default;

TIEUndoEntry* TIEUndoStack::AtPosition(int32_t Position) const {
  if (Position < 0 || Position >= Count()) return nullptr;
  return FEntries[size_t(Count() - 1 - Position)].get();
}

TIEUndoEntry* TIEUndoStack::AtIndex(int32_t Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return FEntries[size_t(Index)].get();
}

void TIEUndoStack::Push(std::unique_ptr<TIEUndoEntry> Entry, int32_t Limit) {
  if (Entry == nullptr) return;
  Limit = std::max(Limit, 1);
  // A lowered limit trims here, at the next push.
  while (Count() >= Limit) FEntries.erase(FEntries.begin());
  FEntries.push_back(std::move(Entry));
}

void TIEUndoStack::RemoveAtPosition(int32_t Position) {
  if (Position < 0 || Position >= Count()) return;
  FEntries.erase(FEntries.begin() + (Count() - 1 - Position));
}

// ---- Snapshots ------------------------------------------------------------------------------------------

std::unique_ptr<TIEUndoEntry> TImagingProc::TakeSnapshot(TIEUndoSource Source) {
  const TImagingProcLinks& L = ImagingProcLinks;
  auto Entry = std::make_unique<TIEUndoEntry>();
  Entry->Source = Source;
  auto NewState = [&Entry] {
    Entry->State = std::make_unique<TMemoryStream>();
    return Entry->State.get();
  };
  switch (Source) {
    case ieuImage: {
      if (Target() == nullptr || Target()->GetWidth() < 2 || Target()->GetHeight() < 2) return nullptr;
      auto Image = std::make_unique<TIEBitmap>();
      // The threshold makes the copy's pixels go where UndoLocation says whatever their size.
      Image->SetMemoryThreshold(FUndoLocation == ieInMemory ? std::numeric_limits<int64_t>::max() : 0);
      Image->SetLocation(FUndoLocation);
      Image->Assign(Target());
      // A copy that could not be allocated would restore as an empty image.
      if (Image->IsEmpty()) return nullptr;
      Entry->Image = std::move(Image);
      if (IsImagingView() && L.CurrentLayer) Entry->UndoLayerIndex = L.CurrentLayer(FAttachedImaging);
      return Entry;
    }
    case ieuSelection:
      if (!IsImagingView() || !L.SaveSelectionToStream) return nullptr;
      L.SaveSelectionToStream(FAttachedImaging, NewState());
      return Entry;
    case ieuObject:
      if (!IsImagingVect() || !L.SaveObjectsToStream) return nullptr;
      L.SaveObjectsToStream(FAttachedImaging, NewState());
      return Entry;
    case ieuLayer:
    case ieuFullLayer: {
      if (!IsImagingView() || !L.SaveLayerToStream || !L.LayerCount) return nullptr;
      TMemoryStream* State = NewState();
      const int32_t Current = L.CurrentLayer ? L.CurrentLayer(FAttachedImaging) : -1;
      const int32_t Count = L.LayerCount(FAttachedImaging);
      for (int32_t i = 0; i < Count; ++i)
        L.SaveLayerToStream(FAttachedImaging, i, State, Source == ieuFullLayer && i == Current);
      return Entry;
    }
    case ieuObjectsAndLayers:
      if (IsImagingVect() && L.SaveAllToStream) {
        L.SaveAllToStream(FAttachedImaging, NewState(), -1);
        return Entry;
      }
      if (IsImagingView() && L.SaveLayersToStream) {
        L.SaveLayersToStream(FAttachedImaging, NewState(), -2);
        return Entry;
      }
      return nullptr;
    default:
      return nullptr;
  }
}

bool TImagingProc::PushSnapshot(TIEUndoStack& Stack, TIEUndoSource Source) {
  std::unique_ptr<TIEUndoEntry> Entry = TakeSnapshot(Source);
  if (Entry == nullptr) return false;
  Stack.Push(std::move(Entry), FUndoLimit);
  return true;
}

// ---- Saving ---------------------------------------------------------------------------------------------

void TImagingProc::SaveUndo(TIEUndoSource Source) {
  // A negative limit counts as 0: saving is off.
  if (FUndoLimit <= 0) return;
  if (Source == ieuImage && !CheckFormat({})) return;
  PushSnapshot(FUndo, Source);
  if (OnSaveUndo) OnSaveUndo(this, Source);
}

void TImagingProc::SaveRedo(TIEUndoSource Source) {
  if (FUndoLimit <= 0) return;
  if (Source == ieuImage && !CheckFormat({})) return;
  PushSnapshot(FRedo, Source);
}

bool TImagingProc::SaveCaptioned(TIEUndoStack& Stack, const std::string& Caption, TIEUndoSource Source) {
  if (!CheckFormat({}) || Target()->GetWidth() < 2 || Target()->GetHeight() < 2) return false;
  // Trimming keeps the count, so the newest entry tells whether one was appended.
  const TIEUndoEntry* Before = Stack.AtPosition(0);
  if (&Stack == &FUndo)
    SaveUndo(Source);
  else
    SaveRedo(Source);
  TIEUndoEntry* After = Stack.AtPosition(0);
  if (After == nullptr || After == Before) return false;
  After->Caption = Caption;
  return true;
}

void TImagingProc::SaveUndoCaptioned(const std::string& Caption, TIEUndoSource Source) {
  SaveCaptioned(FUndo, Caption, Source);
}

void TImagingProc::SaveRedoCaptioned(const std::string& Caption, TIEUndoSource Source) {
  SaveCaptioned(FRedo, Caption, Source);
}

// ---- Reading the stacks -------------------------------------------------------------------------------

void TImagingProc::UndoCaption(int32_t Position, std::string& Caption) const {
  if (const TIEUndoEntry* Entry = FUndo.AtPosition(Position)) Caption = Entry->Caption;
}

void TImagingProc::RedoCaption(int32_t Position, std::string& Caption) const {
  if (const TIEUndoEntry* Entry = FRedo.AtPosition(Position)) Caption = Entry->Caption;
}

TIEUndoSource TImagingProc::UndoSourceAt(int32_t Index) const {
  const TIEUndoEntry* Entry = FUndo.AtIndex(Index);
  return Entry != nullptr ? Entry->Source : ieuUnknown;
}

void TImagingProc::ClearUndo() { FUndo.RemoveAtPosition(0); }
void TImagingProc::ClearUndoAt(int32_t Position) { FUndo.RemoveAtPosition(Position); }
void TImagingProc::ClearAllUndo() { FUndo.Clear(); }
void TImagingProc::ClearRedo() { FRedo.RemoveAtPosition(0); }
void TImagingProc::ClearAllRedo() { FRedo.Clear(); }

// ---- Restoring ------------------------------------------------------------------------------------------

void TImagingProc::Undo(bool SaveRedoFirst) { UndoAt(0, SaveRedoFirst); }

void TImagingProc::UndoAt(int32_t Position, bool SaveRedoFirst) {
  if (!CheckFormat({})) return;
  TIEUndoEntry* Entry = FUndo.AtPosition(Position);
  if (Entry == nullptr) return;
  // The redo push never touches the undo stack, so Entry stays valid.
  if (SaveRedoFirst) SaveRedo(Entry->Source);
  Restore(Entry);
}

void TImagingProc::Redo() { RedoAt(0); }

void TImagingProc::RedoAt(int32_t Position) {
  if (!CheckFormat({})) return;
  if (TIEUndoEntry* Entry = FRedo.AtPosition(Position)) Restore(Entry);
}

void TImagingProc::Restore(TIEUndoEntry* Entry) {
  const TImagingProcLinks& L = ImagingProcLinks;
  TMemoryStream* State = Entry->State.get();
  if (State != nullptr) State->SetPosition(0);
  switch (Entry->Source) {
    case ieuImage: {
      if (Entry->Image == nullptr) return;
      TIEBitmap* Into = Target();
      if (IsImagingView() && Entry->UndoLayerIndex >= 0 && L.LayerCount && L.LayerBitmap) {
        // The layer may have gone since: the last one that is left takes the image.
        const int32_t Count = L.LayerCount(FAttachedImaging);
        if (Count > 0) {
          if (TIEBitmap* Layer = L.LayerBitmap(FAttachedImaging, std::clamp(Entry->UndoLayerIndex, 0, Count - 1)))
            Into = Layer;
        }
      }
      if (Into != nullptr) Into->Assign(Entry->Image.get());
      Changed();
      return;
    }
    case ieuSelection:
      if (State != nullptr && IsImagingView() && L.LoadSelectionFromStream)
        L.LoadSelectionFromStream(FAttachedImaging, State, 1);
      return;
    case ieuObject:
      if (State != nullptr && IsImagingVect() && L.LoadObjectsFromStream) L.LoadObjectsFromStream(FAttachedImaging, State);
      return;
    case ieuLayer:
    case ieuFullLayer:
      if (State != nullptr) RestoreLayers(State);
      return;
    case ieuObjectsAndLayers:
      if (State == nullptr) return;
      if (IsImagingVect() && L.LoadAllFromStream)
        L.LoadAllFromStream(FAttachedImaging, State);
      else if (IsImagingView() && L.LoadLayersFromStream)
        L.LoadLayersFromStream(FAttachedImaging, State);
      return;
    default:
      return;
  }
}

void TImagingProc::RestoreLayers(TMemoryStream* State) {
  const TImagingProcLinks& L = ImagingProcLinks;
  if (!IsImagingView() || !L.LayerCount || !L.LayerGUID || !L.LoadLayerFromStream) return;
  constexpr int64_t RecordHead = 4 + 16;
  const int64_t Size = State->Size();
  int64_t Start = 0;
  while (Start + RecordHead <= Size) {
    State->SetPosition(Start);
    int32_t Length = 0;
    TIELayerGUID GUID{};
    State->ReadBuffer(&Length, 4);
    State->ReadBuffer(GUID.data(), 16);
    // A record shorter than its head, or reaching past the stream, ends the walk.
    if (Length < RecordHead || Start + Length > Size) break;
    const int32_t Count = L.LayerCount(FAttachedImaging);
    for (int32_t i = 0; i < Count; ++i) {
      if (L.LayerGUID(FAttachedImaging, i) != GUID) continue;
      State->SetPosition(Start);
      L.LoadLayerFromStream(FAttachedImaging, i, State);
      break;
    }
    Start += Length;
  }
  FAttachedImaging->Update();
}

}  // namespace zv
