#include "ffmpeg/avutil_stubs.h"

#include "ffmpeg/my_utils.h"

namespace zv {

void BindAVUtil(const std::string& LibraryFileName, HMODULE Module) {
#define ZV_BIND_REQUIRED(name) BindProc(LibraryFileName, Module, #name, name, false);
#define ZV_BIND_OPTIONAL(name) BindProc(LibraryFileName, Module, #name, name, true);
  try {
    ZV_AVUTIL_ENTRY_POINTS(ZV_BIND_REQUIRED, ZV_BIND_OPTIONAL)
  } catch (...) {
    // A half-bound library is about to be freed: leave no pointer into it behind.
#define ZV_UNBIND(name) name = nullptr;
    ZV_AVUTIL_ENTRY_POINTS(ZV_UNBIND, ZV_UNBIND)
#undef ZV_UNBIND
    throw;
  }
#undef ZV_BIND_REQUIRED
#undef ZV_BIND_OPTIONAL
}

void UnbindAVUtil() {
#define ZV_UNBIND(name) name = nullptr;
  ZV_AVUTIL_ENTRY_POINTS(ZV_UNBIND, ZV_UNBIND)
#undef ZV_UNBIND
}

}  // namespace zv
