#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <mutex>

#include "ffmpeg/ff_load.h"
#include "ffmpeg/ff_log.h"
#include "ffmpeg/frame_hook.h"

namespace zv {
namespace {

const std::string WithConfigure = std::string(ZV_TEST_HOOKS) + "/libhook_configure.so";
const std::string WithoutConfigure = std::string(ZV_TEST_HOOKS) + "/libhook_no-configure.so";

class FrameHookTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFmpegStartup();
    ASSERT_TRUE(FFLoader().LoadLibs(DecoderLibraries)) << FFLoader().GetLastError();
    GetFFLogger()->SetTriggerEventInMainThread(false);
    GetFFLogger()->SetOnLog([this](TObject*, int32_t, TLogLevel Level, const std::string& Text) {
      std::lock_guard<std::mutex> lock(LinesLock);
      if (Level == llError) Errors.push_back(Text);
    });
  }
  void TearDown() override {
    FrameHookRelease(List);
    GetFFLogger()->SetOnLog(nullptr);
    FFmpegShutdown();
  }
  int32_t Add(std::vector<std::string> Args) {
    std::vector<char*> argv;
    for (std::string& arg : Args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return FrameHookAdd(List, static_cast<int32_t>(Args.size()), argv.data());
  }
  template <typename T>
  T Symbol(const std::string& Library, const char* Name) {
    void* module = dlopen(Library.c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(module, nullptr) << Library;
    T result = module ? reinterpret_cast<T>(dlsym(module, Name)) : nullptr;
    if (module) dlclose(module);
    return result;
  }
  int Count() const {
    int n = 0;
    for (FrameHookEntry* e = List.First; e; e = e->Next) ++n;
    return n;
  }
  std::mutex LinesLock;
  std::vector<std::string> Errors;
  TFrameHookList List;
};

TEST_F(FrameHookTest, OneLibraryTwoHooksWithTheirOwnContexts) {
  ASSERT_EQ(Add({WithConfigure}), 0);
  auto lastArgc = Symbol<int (*)()>(WithConfigure, "HookLastArgc");
  ASSERT_NE(lastArgc, nullptr);
  EXPECT_EQ(lastArgc(), 1);
  ASSERT_EQ(Add({WithConfigure, "second"}), 0);
  EXPECT_EQ(lastArgc(), 2);
  ASSERT_EQ(Count(), 2);
  EXPECT_NE(List.First->Context, List.First->Next->Context);
  EXPECT_EQ(List.First->Process, List.First->Next->Process);  // the same module both times

  uint8_t plane[4] = {0, 0, 0, 0};
  TAVPicture picture{};
  picture.data[0] = plane;
  FrameHookProcess(List, &picture, AV_PIX_FMT_YUV420P, 2, 2, 7);
  // The first hook runs first: byte = id1 * 10 + id2, where the second context is numbered next.
  const int id1 = plane[0] / 10;
  EXPECT_EQ(plane[0] % 10, (id1 + 1) % 10);

  auto releases = Symbol<int (*)()>(WithConfigure, "HookReleases");
  const int before = releases();
  FrameHookRelease(List);
  EXPECT_EQ(releases(), before + 2);
  EXPECT_EQ(List.First, nullptr);
  FrameHookRelease(List);  // empty: nothing
  EXPECT_TRUE(Errors.empty());
}

TEST_F(FrameHookTest, HookWithoutConfigure) {
  ASSERT_EQ(Add({WithoutConfigure}), 0);
  ASSERT_EQ(Count(), 1);
  EXPECT_EQ(List.First->Context, nullptr);
  EXPECT_EQ(List.First->Configure, nullptr);
  uint8_t plane[2] = {0, 0};
  TAVPicture picture{};
  picture.data[0] = plane;
  FrameHookProcess(List, &picture, AV_PIX_FMT_GRAY8, 2, 1, 42);
  EXPECT_EQ(plane[1], 42);

  EXPECT_EQ(Add({WithoutConfigure, "arg"}), AVERROR(ENOENT));
  EXPECT_EQ(Count(), 1);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "Failed to find Configure entrypoint in " + WithoutConfigure);
}

// Each refused hook logs one error, leaves the hooks added before and frees its entry.
TEST_F(FrameHookTest, RefusedHooks) {
  ASSERT_EQ(Add({WithConfigure}), 0);
  struct Case {
    std::vector<std::string> args;
    int32_t expected;
    std::string error;  // empty: any text
  };
  const std::string noProcess = std::string(ZV_FAKE_LIBAV) + "/complete/libavcodec.so.59";
  const Case cases[] = {
      {{WithConfigure, "fail"}, AVERROR(EINVAL), "Failed to Configure " + WithConfigure},
      {{noProcess}, AVERROR(ENOENT), "Failed to find Process entrypoint in " + noProcess},
      {{std::string(ZV_TEST_HOOKS) + "/missing.so"}, -1, ""},
  };
  for (const Case& c : cases) {
    Errors.clear();
    EXPECT_EQ(Add(c.args), c.expected) << c.args[0];
    ASSERT_EQ(Errors.size(), 1u) << c.args[0];
    if (!c.error.empty()) {
      EXPECT_EQ(Errors[0], c.error);
    }
    EXPECT_EQ(Count(), 1);
  }
  EXPECT_EQ(FrameHookAdd(List, 0, nullptr), AVERROR(ENOENT));
}

}  // namespace
}  // namespace zv
