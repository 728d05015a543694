// The thread an asynchronous load or save of the I/O component runs on, and the window messages that
// carry its progress, finish and image changes to the attached view.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/threads.h"

namespace zv {

class TImagingIO;

constexpr uint32_t IEM_UPDATE = 8024;
constexpr uint32_t IEM_NEWFRAME = 8025;
constexpr uint32_t IEM_EVENT = 8026;
constexpr uint32_t IEM_PROGRESS = 8027;
constexpr uint32_t IEM_FINISHWORK = 8028;

// Runs one queued operation of a component: the call holds the operation and its arguments; Kind names
// their shape (0 file name, 1 stream, 2 and 4 functions of a file name or a stream, 5 and 6 those with a
// file-type id, 8 a frame index, 9 a metafile load, 10 a URL). Registered with the component while it
// exists; frees itself.
class TIEIOThread : public TThread {
public:
  // Use Spawn: the thread starts once it is registered with its component.
  TIEIOThread(TImagingIO* Owner, uint8_t Kind, std::function<void()> Call);
  static void Spawn(TImagingIO* Owner, uint8_t Kind, std::function<void()> Call);

  uint8_t Kind() const { return FKind; }
  uint32_t ThreadId() const { return FThreadId.load(); }
  TImagingIO* Owner() const { return FOwner; }

protected:
  void Execute() override;

private:
  TImagingIO* FOwner;
  uint8_t FKind;
  std::function<void()> FCall;
  std::atomic<uint32_t> FThreadId{0};
};

}  // namespace zv
