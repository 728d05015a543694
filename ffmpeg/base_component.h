// The common base of the FFmpeg components: version texts and the time limits for blocking FFmpeg calls.
#pragma once

#include <cstdint>
#include <string>

#include "platform/objects.h"

namespace zv {

class TFFBaseComponent : public TComponent {
public:
  explicit TFFBaseComponent(TComponent* AOwner);

  const std::string& About() const { return FAbout; }
  void SetAbout(const std::string& Value) { FAbout = Value; }
  const std::string& Version() const { return FVersion; }
  // Milliseconds one blocking connect or read may take before FFmpeg is told to give up; 0 for no limit.
  int32_t ReadTimeout() const { return FReadTimeout; }
  void SetReadTimeout(int32_t Value) { FReadTimeout = Value; }
  int32_t WriteTimeout() const { return FWriteTimeout; }
  void SetWriteTimeout(int32_t Value) { FWriteTimeout = Value; }

  const TPropList& PublishedProps() const override;

private:
  std::string FAbout;
  std::string FVersion = "5.2";
  int32_t FReadTimeout;
  int32_t FWriteTimeout;
};

// Whether a debugger is attached to the process; asked once and remembered.
bool DebuggerAttached();

}  // namespace zv
