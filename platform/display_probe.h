// What the screen reports about itself: its colour depth and whether it is shown over a remote-desktop
// connection. GetDeviceCaps(BITSPIXEL) and GetSystemMetrics(SM_REMOTESESSION) answer from here, and
// tests set other values to reach every drawing path that depends on them.
#pragma once

namespace zv {

// Bits per pixel of the screen (32 unless set).
int ScreenBitsPerPixel();
bool ScreenIsRemote();

namespace headless {
// Values below 1 go back to the default.
void SetScreenBitsPerPixel(int Bits);
void SetRemoteSession(bool Remote);
}  // namespace headless

}  // namespace zv
