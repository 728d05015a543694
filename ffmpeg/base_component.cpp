#include "ffmpeg/base_component.h"

#include <fstream>
#include <mutex>

namespace zv {

namespace {

// A debugger on Linux traces the process: /proc/self/status names its tracer.
bool AskDebuggerAttached() {
  try {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("TracerPid:", 0) == 0) return std::stol(line.substr(10)) != 0;
    }
  } catch (...) {
  }
  return false;
}

}  // namespace

bool DebuggerAttached() {
  static std::once_flag once;
  static bool attached = false;
  std::call_once(once, [] { attached = AskDebuggerAttached(); });
  return attached;
}

TFFBaseComponent::TFFBaseComponent(TComponent* AOwner) : TComponent(AOwner) {
  // A debugger stopping the program must not make FFmpeg give up on a read.
  const int32_t timeout = DebuggerAttached() ? 0 : 30000;
  FReadTimeout = timeout;
  FWriteTimeout = timeout;
}

const TPropList& TFFBaseComponent::PublishedProps() const {
  static const TPropList List = TPublisher<TFFBaseComponent>(TComponent::PublishedProps())
                                    .Property("About", &TFFBaseComponent::About, &TFFBaseComponent::SetAbout)
                                    .Property("Version", &TFFBaseComponent::Version);
  return List;
}

}  // namespace zv
