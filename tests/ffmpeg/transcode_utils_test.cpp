#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>

#include "ffmpeg/ff_load.h"
#include "ffmpeg/ff_log.h"
#include "ffmpeg/ff_transcode_utils.h"

namespace zv {
namespace {

using ::testing::HasSubstr;

class TranscodeUtilsTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFmpegStartup();
    ASSERT_TRUE(FFLoader().LoadLibs(EncoderLibraries)) << FFLoader().GetLastError();
    GetFFLogger()->SetTriggerEventInMainThread(false);
    GetFFLogger()->SetOnLog([this](TObject*, int32_t, TLogLevel, const std::string& Text) {
      std::lock_guard<std::mutex> lock(LinesLock);
      Lines.push_back(Text);
    });
  }
  void TearDown() override {
    GetFFLogger()->SetOnLog(nullptr);
    FFmpegShutdown();
  }
  std::string WriteFile(const std::string& Name, const std::string& Content) {
    const std::string path = std::string(ZV_TEST_TMP) + "/" + Name;
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    std::fwrite(Content.data(), 1, Content.size(), f);
    std::fclose(f);
    return path;
  }
  std::mutex LinesLock;
  std::vector<std::string> Lines;
};

TEST_F(TranscodeUtilsTest, D2QMatchesFFmpegAndSurvivesHugeValues) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<std::pair<double, int32_t>> cases = {
      {0.5, 255}, {std::nan(""), INT_MAX}, {-inf, INT_MAX}, {inf, 255}, {1e300, INT_MAX}, {-1e300, INT_MAX},
      {29.97, 100000}, {1.0 / 3, INT_MAX}, {-2.5, INT_MAX}, {0, INT_MAX}, {25, 255}};
  for (const auto& [d, max] : cases) {
    const AVRational ours = AVD2Q(d, max);
    const AVRational theirs = av_d2q(d, max);
    EXPECT_EQ(ours.num, theirs.num) << d;
    EXPECT_EQ(ours.den, theirs.den) << d;
  }
  EXPECT_EQ(AVD2Q(0.5, 255).num, 1);
  EXPECT_EQ(AVD2Q(0.5, 255).den, 2);
  // From 2^62 on the search has no denominator left: a sign over zero, never a negative shift.
  for (double d : {std::ldexp(1.0, 62), std::ldexp(1.0, 63), std::ldexp(-1.0, 62)}) {
    const AVRational q = AVD2Q(d, 255);
    EXPECT_EQ(q.num, d < 0 ? -1 : 1) << d;
    EXPECT_EQ(q.den, 0) << d;
  }
}

TEST_F(TranscodeUtilsTest, RationalsAndTimeStampTexts) {
  const AVRational product = AVMulQ({30000, 1001}, {1001, 60000});
  EXPECT_EQ(product.num, 1);
  EXPECT_EQ(product.den, 2);
  EXPECT_EQ(AVInvQ({1, 25}).num, 25);
  EXPECT_EQ(TsToStr(AV_NOPTS_VALUE), "NOPTS");
  EXPECT_EQ(TsToStr(-42), "-42");
  EXPECT_EQ(TsToStr(INT64_MAX), "9223372036854775807");
  EXPECT_EQ(TsToTimeStr(AV_NOPTS_VALUE, {1, 90000}), "NOPTS");
  EXPECT_EQ(TsToTimeStr(90000, {1, 90000}), "1");
  EXPECT_EQ(TsToTimeStr(1001, {1, 30000}), "0.0333667");
}

TEST_F(TranscodeUtilsTest, GrowArrayZeroesNewElementsAndRefusesHugeCounts) {
  int32_t count = 0;
  int64_t* array = GrowArrayOf<int64_t>(nullptr, count, 3);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(count, 3);
  array[0] = 7;
  array = GrowArrayOf(array, count, 5);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(array[0], 7);
  for (int i = 1; i < 5; ++i) EXPECT_EQ(array[i], 0) << i;
  int64_t* same = GrowArrayOf(array, count, 2);
  EXPECT_EQ(same, array);
  EXPECT_EQ(count, 5);
  for (int32_t huge : {INT_MAX / 8, INT_MAX}) {
    try {
      GrowArrayOf(array, count, huge);
      ADD_FAILURE() << huge;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Array too big.");
    }
  }
  EXPECT_EQ(count, 5);
  av_free(array);
}

TEST_F(TranscodeUtilsTest, ReadFileToBuffer) {
  uint8_t* buffer = nullptr;
  size_t size = 0;
  const std::string missing = std::string(ZV_TEST_TMP) + "/no such file.txt";
  EXPECT_EQ(ReadFileToBuffer(missing, buffer, size), -1);
  EXPECT_EQ(buffer, nullptr);
  {
    std::lock_guard<std::mutex> lock(LinesLock);
    ASSERT_FALSE(Lines.empty());
    EXPECT_THAT(Lines.back(), HasSubstr("Cannot read file \"" + missing + "\""));
  }

  ASSERT_EQ(ReadFileToBuffer(WriteFile("empty.txt", ""), buffer, size), 0);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(buffer[0], 0);
  av_free(buffer);

  const std::string text("pass 1\0log", 10);
  ASSERT_EQ(ReadFileToBuffer(WriteFile("log.txt", text), buffer, size), 0);
  ASSERT_EQ(size, text.size() + 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), text.size()), text);
  EXPECT_EQ(buffer[text.size()], 0);
  av_free(buffer);

  // A folder opens but cannot be measured or read.
  EXPECT_LT(ReadFileToBuffer(ZV_TEST_TMP, buffer, size), 0);
  EXPECT_EQ(buffer, nullptr);
}

TEST_F(TranscodeUtilsTest, MemCompareFirstDifferenceDecides) {
  struct Case { const char* a; const char* b; size_t n; int32_t expected; };
  const Case cases[] = {{"abc", "abc", 3, 0}, {"abd", "abc", 3, 1}, {"abc", "abd", 3, -1},
                        {"\x80", "\x7f", 1, 1}, {"zb", "az", 2, 1}, {"ab", "ac", 1, 0}};
  for (const Case& c : cases) EXPECT_EQ(MemCompare(c.a, c.b, c.n), c.expected) << c.a << " " << c.b;
}

}  // namespace
}  // namespace zv
