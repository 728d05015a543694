// The program's ordered start-up and shut-down: the libraries' unit steps in dependency order, run by
// the executable around its message loop (and by tests that build the main window).
#pragma once

namespace zv {

// FFmpeg's loader and logger, the image library with its I/O, processing and view units, and the
// owner-drawn controls' shared state and artwork.
void AppStartup();
// The partners of AppStartup's steps, in reverse order.
void AppShutdown();

}  // namespace zv
