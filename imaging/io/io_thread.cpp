#include "imaging/io/io_thread.h"

#include "imaging/io/imaging_io.h"
#include "platform/win32.h"

namespace zv {

TIEIOThread::TIEIOThread(TImagingIO* Owner, uint8_t Kind, std::function<void()> Call)
    : TThread(false), FOwner(Owner), FKind(Kind), FCall(std::move(Call)) {
  SetFreeOnTerminate(true);
}

void TIEIOThread::Spawn(TImagingIO* Owner, uint8_t Kind, std::function<void()> Call) {
  auto* thread = new TIEIOThread(Owner, Kind, std::move(Call));
  Owner->RegisterIOThread(thread);
  thread->AfterConstruction();
}

void TIEIOThread::Execute() {
  FThreadId.store(GetCurrentThreadId());
  {
    // Operations queued on one component run one after another: two never write one bitmap at once.
    std::lock_guard<std::mutex> serial(FOwner->IOOperationLock());
    try {
      FCall();
    } catch (...) {
      FOwner->AbortFlag = 1;
    }
  }
  FCall = nullptr;
  FOwner->UnregisterIOThread(this);  // the component may be gone from here on
}

}  // namespace zv
