// The undo and redo stacks of the processing component: bounded lists of snapshots, each a full copy of
// the image (kept in a temporary file by default) or a memory stream of the attached view's selection,
// layers or vector objects, with the kind and caption of each.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/objects.h"
#include "platform/streams.h"

namespace zv {

class TIEBitmap;

// What a snapshot holds.
enum TIEUndoSource : uint8_t {
  ieuUnknown = 0,
  ieuImage = 1,
  ieuSelection = 2,
  ieuObject = 3,
  ieuLayer = 4,
  ieuFullLayer = 5,
  ieuObjectsAndLayers = 6,
};

// Raised when the component saves an undo snapshot (also when the request stored nothing).
using TIESaveUndoEvent = std::function<void(TObject* Sender, TIEUndoSource Source)>;

// One snapshot: an image copy (Image) or a stream (State), never both.
struct TIEUndoEntry {
  TIEUndoSource Source = ieuUnknown;
  std::string Caption;
  std::unique_ptr<TIEBitmap> Image;
  // The view's current layer when the image was taken; -1 without a layered view.
  int32_t UndoLayerIndex = -1;
  std::unique_ptr<TMemoryStream> State;

  TIEUndoEntry();
  ~TIEUndoEntry();
  TIEUndoEntry(const TIEUndoEntry&) = delete;
  TIEUndoEntry& operator=(const TIEUndoEntry&) = delete;
};

// A stack of snapshots, the oldest at index 0. Positions count from the newest entry (0 = newest);
// indices from the oldest.
class TIEUndoStack {
public:
  int32_t Count() const { return static_cast<int32_t>(FEntries.size()); }
  bool Empty() const { return FEntries.empty(); }
  // nullptr outside the stack.
  TIEUndoEntry* AtPosition(int32_t Position) const;
  TIEUndoEntry* AtIndex(int32_t Index) const;
  // Drops the oldest entries while Limit or more are held, then appends Entry. Limit is at least 1.
  void Push(std::unique_ptr<TIEUndoEntry> Entry, int32_t Limit);
  // Frees the entry at Position; nothing outside the stack.
  void RemoveAtPosition(int32_t Position);
  void Clear() { FEntries.clear(); }

private:
  std::vector<std::unique_ptr<TIEUndoEntry>> FEntries;
};

}  // namespace zv
