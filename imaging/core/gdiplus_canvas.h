// Loading of the anti-aliased drawing layer under a user count: each view loads it when created and
// unloads it when destroyed; it stays loaded while any view uses it. The layer is the platform's own
// and always loads once allowed.
#pragma once

#include <cstdint>

namespace zv {

// The start-up step: allows the layer and clears its handle and user count. The shut-down step does
// nothing (the layer goes with its last user).
void GdiPlusStartupStep();
void GdiPlusShutdownStep();

// One user more; loads the layer when allowed and not loaded.
void GdiPlusLoad();
// One user less; at 0 the layer is shut down and unloaded. Below 0 the count does not go.
void GdiPlusUnload();
bool GdiPlusLoaded();
// Allowed and loaded.
bool GdiPlusActive();
int32_t GdiPlusUserCount();

}  // namespace zv
