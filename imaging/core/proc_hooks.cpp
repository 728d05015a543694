#include "imaging/core/proc_hooks.h"

namespace zv {

TProcessingHooks ProcessingHooks;

}  // namespace zv
