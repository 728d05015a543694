// The screen's colour depth and remote-session state, settable for tests.
#include "platform/display_probe.h"

#include <atomic>

namespace zv {

namespace {
std::atomic<int> gBits{32};
std::atomic<bool> gRemote{false};
}  // namespace

int ScreenBitsPerPixel() { return gBits.load(); }
bool ScreenIsRemote() { return gRemote.load(); }

namespace headless {
void SetScreenBitsPerPixel(int Bits) { gBits.store(Bits < 1 ? 32 : Bits); }
void SetRemoteSession(bool Remote) { gRemote.store(Remote); }
}  // namespace headless

}  // namespace zv
