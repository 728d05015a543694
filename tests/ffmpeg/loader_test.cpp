#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ffmpeg/avcodec_stubs.h"
#include "ffmpeg/avdevice_stubs.h"
#include "ffmpeg/avfilter_stubs.h"
#include "ffmpeg/avformat_stubs.h"
#include "ffmpeg/avutil_stubs.h"
#include "ffmpeg/ff_load.h"
#include "ffmpeg/ff_log.h"
#include "ffmpeg/my_utils.h"
#include "ffmpeg/swresample_stubs.h"
#include "ffmpeg/swscale_stubs.h"

namespace zv {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string FakeFolder = ZV_FAKE_LIBAV;

// The file a bound entry point lives in.
std::string FileOf(void* Proc) {
  Dl_info info{};
  if (Proc == nullptr || dladdr(Proc, &info) == 0 || info.dli_fname == nullptr) return std::string();
  return info.dli_fname;
}

class LoaderTest : public ::testing::Test {
protected:
  void SetUp() override { FFmpegStartup(); }
  void TearDown() override { FFmpegShutdown(); }
};

TEST_F(LoaderTest, LibraryFileNamesCarryTheMajorVersionsOfFFmpeg51) {
  const std::vector<std::pair<TLibraryIndex, std::string>> rows = {
      {libAVCodec, "libavcodec.so.59"},    {libAVDevice, "libavdevice.so.59"}, {libAVFilter, "libavfilter.so.8"},
      {libAVFormat, "libavformat.so.59"},  {libAVUtil, "libavutil.so.57"},     {libSwResample, "libswresample.so.4"},
      {libSwScale, "libswscale.so.6"}};
  for (const auto& [index, name] : rows) EXPECT_EQ(FFLoader().GetLibraryFileName(index), name);
}

TEST_F(LoaderTest, EveryBindingOfTheSystemLibrariesIsPresentAndUnloadingClearsIt) {
  FFLoader().SetLibraryPath("");
  ASSERT_TRUE(FFLoader().LoadLibs(AllLibraries)) << FFLoader().GetLastError();
  EXPECT_TRUE(FFLoader().AreLibsLoaded(AllLibraries));
#define ZV_EXPECT_BOUND(name) EXPECT_NE(name, nullptr) << #name;
  ZV_AVCODEC_ENTRY_POINTS(ZV_EXPECT_BOUND, ZV_EXPECT_BOUND)
  ZV_AVDEVICE_ENTRY_POINTS(ZV_EXPECT_BOUND, ZV_EXPECT_BOUND)
  ZV_AVFILTER_ENTRY_POINTS(ZV_EXPECT_BOUND, ZV_EXPECT_BOUND)
  ZV_AVFORMAT_ENTRY_POINTS(ZV_EXPECT_BOUND, ZV_EXPECT_BOUND)
  ZV_AVUTIL_ENTRY_POINTS(ZV_EXPECT_BOUND, ZV_EXPECT_BOUND)
  ZV_SWRESAMPLE_ENTRY_POINTS(ZV_EXPECT_BOUND, ZV_EXPECT_BOUND)
  ZV_SWSCALE_ENTRY_POINTS(ZV_EXPECT_BOUND, ZV_EXPECT_BOUND)
#undef ZV_EXPECT_BOUND
  // The bound pointers are the real functions.
  EXPECT_EQ(av_rescale_q(3, AVRational{1, 25}, AVRational{1, 1000000}), 120000);
  EXPECT_NE(avcodec_find_decoder(AV_CODEC_ID_H264), nullptr);

  // Loading again succeeds and keeps the library.
  EXPECT_TRUE(FFLoader().LoadLib(libAVCodec));

  FFLoader().UnloadLibs(AllLibraries);
  EXPECT_FALSE(FFLoader().IsLibLoaded(libAVUtil));
#define ZV_EXPECT_UNBOUND(name) EXPECT_EQ(name, nullptr) << #name;
  ZV_AVCODEC_ENTRY_POINTS(ZV_EXPECT_UNBOUND, ZV_EXPECT_UNBOUND)
  ZV_AVDEVICE_ENTRY_POINTS(ZV_EXPECT_UNBOUND, ZV_EXPECT_UNBOUND)
  ZV_AVFILTER_ENTRY_POINTS(ZV_EXPECT_UNBOUND, ZV_EXPECT_UNBOUND)
  ZV_AVFORMAT_ENTRY_POINTS(ZV_EXPECT_UNBOUND, ZV_EXPECT_UNBOUND)
  ZV_AVUTIL_ENTRY_POINTS(ZV_EXPECT_UNBOUND, ZV_EXPECT_UNBOUND)
  ZV_SWRESAMPLE_ENTRY_POINTS(ZV_EXPECT_UNBOUND, ZV_EXPECT_UNBOUND)
  ZV_SWSCALE_ENTRY_POINTS(ZV_EXPECT_UNBOUND, ZV_EXPECT_UNBOUND)
#undef ZV_EXPECT_UNBOUND
}

TEST_F(LoaderTest, CheckLibsNamesTheFirstLibraryThatIsNotLoaded) {
  EXPECT_THROW(
      {
        try {
          FFLoader().CheckLibs(DecoderLibraries);
        } catch (const Exception& e) {
          EXPECT_EQ(e.Message(), "Library avcodec not loaded.");
          throw;
        }
      },
      Exception);
  ASSERT_TRUE(FFLoader().LoadLib(libAVCodec));
  try {
    FFLoader().CheckLibs(DecoderLibraries);
    ADD_FAILURE() << "CheckLibs did not raise";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Library avformat not loaded.");
  }
  ASSERT_TRUE(FFLoader().LoadLibs(DecoderLibraries));
  EXPECT_NO_THROW(FFLoader().CheckLibs(DecoderLibraries));
  EXPECT_FALSE(FFLoader().AreLibsLoaded(EncoderLibraries));
}

TEST_F(LoaderTest, AFolderThatHoldsALibraryIsPreferredAndOneThatLacksItFallsBackToTheSoname) {
  FFLoader().SetLibraryPath(FakeFolder + "/complete");
  ASSERT_TRUE(FFLoader().LoadLib(libAVCodec)) << FFLoader().GetLastError();
  EXPECT_THAT(FileOf(reinterpret_cast<void*>(avcodec_open2)), HasSubstr("fake-libav/complete/libavcodec.so.59"));
  // The folder has no avformat: the system's library is loaded by its soname.
  ASSERT_TRUE(FFLoader().LoadLib(libAVFormat)) << FFLoader().GetLastError();
  EXPECT_THAT(FileOf(reinterpret_cast<void*>(avformat_open_input)), HasSubstr("libavformat.so.59"));
  EXPECT_THAT(FileOf(reinterpret_cast<void*>(avformat_open_input)), Not(HasSubstr("fake-libav")));
  FFLoader().UnloadLibs(AllLibraries);
}

TEST_F(LoaderTest, AMissingRequiredEntryPointFailsTheLibraryAndLeavesNoBinding) {
  FFLoader().SetLibraryPath(FakeFolder + "/no-required");
  EXPECT_FALSE(FFLoader().LoadLib(libAVCodec));
  EXPECT_THAT(FFLoader().GetLastError(), StartsWith("Load function avcodec_open2@libavcodec.so.59 error: "));
  EXPECT_THAT(FFLoader().GetLastError(), HasSubstr("undefined symbol"));
  EXPECT_FALSE(FFLoader().IsLibLoaded(libAVCodec));
  // Nothing points into the freed library.
#define ZV_EXPECT_UNBOUND(name) EXPECT_EQ(name, nullptr) << #name;
  ZV_AVCODEC_ENTRY_POINTS(ZV_EXPECT_UNBOUND, ZV_EXPECT_UNBOUND)
#undef ZV_EXPECT_UNBOUND
  // The text survives a later success.
  FFLoader().SetLibraryPath("");
  ASSERT_TRUE(FFLoader().LoadLib(libAVUtil));
  EXPECT_THAT(FFLoader().GetLastError(), StartsWith("Load function avcodec_open2@"));
}

TEST_F(LoaderTest, AMissingOptionalEntryPointIsLeftUnbound) {
  FFLoader().SetLibraryPath(FakeFolder + "/no-optional");
  ASSERT_TRUE(FFLoader().LoadLib(libAVCodec)) << FFLoader().GetLastError();
  EXPECT_EQ(av_rdft_calc, nullptr);
  EXPECT_NE(av_rdft_init, nullptr);
  EXPECT_NE(avcodec_open2, nullptr);
  FFLoader().UnloadLib(libAVCodec);
}

TEST_F(LoaderTest, LoadLibsUnloadsTheWholeSetAfterAFailureEvenMembersLoadedBefore) {
  FFLoader().SetLibraryPath("");
  ASSERT_TRUE(FFLoader().LoadLib(libAVUtil));
  FFLoader().SetLibraryPath(FakeFolder + "/no-required");
  EXPECT_FALSE(FFLoader().LoadLibs(DecoderLibraries));
  for (TLibraryIndex index : {libAVCodec, libAVFormat, libAVUtil, libSwResample, libSwScale})
    EXPECT_FALSE(FFLoader().IsLibLoaded(index)) << FFLoader().GetLibraryName(index);
}

TEST_F(LoaderTest, AFileThatIsNotALibraryGivesTheLoadText) {
  const std::string folder = std::string(ZV_TEST_TMP) + "/broken-libav";
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/libswscale.so.6") << "not a shared library";
  FFLoader().SetLibraryPath(folder);
  EXPECT_FALSE(FFLoader().LoadLib(libSwScale));
  EXPECT_THAT(FFLoader().GetLastError(), StartsWith("Load library " + folder + "/libswscale.so.6 error: "));
  EXPECT_GT(FFLoader().GetLastError().size(), std::string("Load library " + folder + "/libswscale.so.6 error: ").size());
  EXPECT_FALSE(FFLoader().IsLibLoaded(libSwScale));

  std::string error;
  EXPECT_EQ(LoadLibraryFromFolder(folder, "libzonvark-absent.so.1", error), nullptr);
  EXPECT_THAT(error, HasSubstr("libzonvark-absent.so.1"));
}

// ---- Lock manager ------------------------------------------------------------------------------------

class LockManagerTest : public LoaderTest {
protected:
  void SetUp() override {
    LoaderTest::SetUp();
    Logger = new TFFLogger(nullptr);
    Logger->SetTriggerEventInMainThread(false);
    Logger->SetLogLevel(llDebug);
    Logger->SetOnLog([this](TObject*, int32_t, TLogLevel Level, const std::string& Text) {
      Lines.push_back({Level, Text});
    });
  }
  void TearDown() override {
    delete Logger;
    LoaderTest::TearDown();
  }
  TFFLogger* Logger = nullptr;
  std::vector<std::pair<TLogLevel, std::string>> Lines;
};

TEST_F(LockManagerTest, CreateObtainReleaseDestroyLeavesTheCellEmpty) {
  void* cell = nullptr;
  EXPECT_EQ(LockManagerCallback(&cell, AV_LOCK_CREATE), 0);
  EXPECT_NE(cell, nullptr);
  EXPECT_EQ(LockManagerCallback(&cell, AV_LOCK_OBTAIN), 0);
  EXPECT_EQ(LockManagerCallback(&cell, AV_LOCK_RELEASE), 0);
  EXPECT_EQ(LockManagerCallback(&cell, AV_LOCK_DESTROY), 0);
  EXPECT_EQ(cell, nullptr);
  EXPECT_EQ(LockNodeCount(), 0);
  ASSERT_EQ(Lines.size(), 4u);
  EXPECT_THAT(Lines[0].second, ::testing::MatchesRegex(R"(\[lock manager\] mutex \[-?[0-9]+\] created\.)"));
  EXPECT_EQ(Lines[0].first, llDebug);
  EXPECT_THAT(Lines[3].second, HasSubstr("destroyed."));
}

TEST_F(LockManagerTest, MisuseAnswersMinusOneAndLogsAnError) {
  void* cell = nullptr;
  EXPECT_EQ(LockManagerCallback(&cell, AV_LOCK_DESTROY), -1);
  EXPECT_EQ(cell, nullptr);
  EXPECT_EQ(LockNodeCount(), 0);
  ASSERT_FALSE(Lines.empty());
  EXPECT_EQ(Lines.back(), std::make_pair(llError, std::string("[lock manager] error, mutex not available.")));

  EXPECT_EQ(LockManagerCallback(&cell, AV_LOCK_OBTAIN), -1);
  EXPECT_NE(cell, nullptr);  // a node without a mutex now stands in the cell
  EXPECT_EQ(LockNodeCount(), 1);

  EXPECT_EQ(LockManagerCallback(&cell, 7), -1);
  EXPECT_EQ(Lines.back().second, "[lock manager] error, invalid mutex operation 7.");

  EXPECT_EQ(LockManagerCallback(&cell, AV_LOCK_CREATE), 0);
  const void* node = cell;
  EXPECT_EQ(LockManagerCallback(&cell, AV_LOCK_CREATE), -1);
  EXPECT_THAT(Lines.back().second, ::testing::MatchesRegex(R"(\[lock manager\] error, mutex \[-?[0-9]+\] already exist\.)"));
  EXPECT_EQ(cell, node);
  EXPECT_EQ(LockManagerCallback(&cell, AV_LOCK_OBTAIN), 0);
  EXPECT_EQ(LockManagerCallback(&cell, AV_LOCK_RELEASE), 0);
  EXPECT_EQ(LockManagerCallback(&cell, AV_LOCK_DESTROY), 0);
}

TEST(MyUtilsTest, FileHelpersAndTokens) {
  EXPECT_FALSE(WideFileExists(ZV_TEST_TMP));
  EXPECT_EQ(GetFileSizeW(ZV_TEST_TMP), -1);
  const std::string file = std::string(ZV_TEST_TMP) + "/my_utils_size.bin";
  std::ofstream(file, std::ios::binary) << "12345";
  EXPECT_TRUE(WideFileExists(file));
  EXPECT_EQ(GetFileSizeW(file), 5);
  EXPECT_EQ(GetFileSizeW(file + ".absent"), -1);

  std::string s = "a,b,c", part;
  ExtractToken(s, ",", true, part);
  EXPECT_EQ(part, "a");
  EXPECT_EQ(s, "b,c");
  ExtractToken(s, ",", false, part);
  EXPECT_EQ(part, "b");
  EXPECT_EQ(s, "b,c");
  s = "last";
  ExtractToken(s, ",", true, part);
  EXPECT_EQ(part, "last");
  EXPECT_EQ(s, "");
}

}  // namespace
}  // namespace zv
