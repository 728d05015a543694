// A frame hook for the tests, built with and without Configure (ZV_HOOK_NO_CONFIGURE). Each context
// numbers itself; Process writes that number into the first byte of the picture, then counts.
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {
[[maybe_unused]] int NextId = 1;
int Releases = 0;
[[maybe_unused]] int LastArgc = 0;
struct Context {
  int id;
  int processed;
};
}  // namespace

extern "C" {

#ifndef ZV_HOOK_NO_CONFIGURE
__attribute__((visibility("default"))) int Configure(void** ctxp, int argc, char* argv[]) {
  LastArgc = argc;
  if (argc > 1 && std::strcmp(argv[1], "fail") == 0) return -1;
  auto* ctx = static_cast<Context*>(std::calloc(1, sizeof(Context)));
  ctx->id = NextId++;
  *ctxp = ctx;
  return 0;
}
#endif

__attribute__((visibility("default"))) void Process(void* ctx, uint8_t** picture, int, int, int, int64_t pts) {
  if (!ctx) {
    picture[0][1] = static_cast<uint8_t>(pts);
    return;
  }
  auto* c = static_cast<Context*>(ctx);
  picture[0][0] = static_cast<uint8_t>(picture[0][0] * 10 + c->id);
  ++c->processed;
}

__attribute__((visibility("default"))) void Release(void* ctx) {
  ++Releases;
  std::free(ctx);
}

__attribute__((visibility("default"))) int HookReleases() { return Releases; }
__attribute__((visibility("default"))) int HookLastArgc() { return LastArgc; }
}
