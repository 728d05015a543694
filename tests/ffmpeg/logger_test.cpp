#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "ffmpeg/avutil_stubs.h"
#include "ffmpeg/ff_load.h"
#include "ffmpeg/ff_log.h"
#include "platform/message_queue.h"
#include "platform/win32.h"

namespace zv {
namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;

struct TLine {
  TObject* Sender;
  int32_t ThreadID;
  TLogLevel Level;
  std::string Text;
};

// Calls the FFmpeg log callback as FFmpeg does, with a variable argument list.
void CallAVLog(void* Avcl, int Level, const char* Fmt, ...) {
  va_list args;
  va_start(args, Fmt);
  AVLogCallback(Avcl, Level, Fmt, args);
  va_end(args);
}

const char* ObjectName(void*) { return "obj"; }
const char* ParentName(void*) { return "parent"; }

// An FFmpeg-style object: its first member points at its AVClass; the child names its parent.
struct TFakeParent {
  const AVClass* Class;
};
struct TFakeObject {
  const AVClass* Class;
  TFakeParent* Parent;
};
AVClass MakeClass(const char* Name, const char* (*ItemName)(void*), int ParentOffset) {
  AVClass result{};
  result.class_name = Name;
  result.item_name = ItemName;
  result.version = LIBAVUTIL_VERSION_INT;
  result.parent_log_context_offset = ParentOffset;
  return result;
}
const AVClass ParentClass = MakeClass("Parent", ParentName, 0);
const AVClass ObjectClass = MakeClass("Obj", ObjectName, 0);
const AVClass ChildClass = MakeClass("Child", ObjectName, int(offsetof(TFakeObject, Parent)));

class LoggerTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFmpegStartup();
    Logger = new TFFLogger(nullptr);
    Logger->SetTriggerEventInMainThread(false);
  }
  void TearDown() override {
    delete Logger;
    FFmpegShutdown();
  }
  void Capture() {
    Logger->SetOnLog([this](TObject* Sender, int32_t ThreadID, TLogLevel Level, const std::string& Text) {
      std::lock_guard<std::mutex> lock(LinesLock);
      Lines.push_back({Sender, ThreadID, Level, Text});
    });
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const TLine& line : Lines) texts.push_back(line.Text);
    return texts;
  }

  TFFLogger* Logger = nullptr;
  std::mutex LinesLock;
  std::vector<TLine> Lines;
};

TEST(LogLevelTest, MapsToAndFromFFmpegLevels) {
  const int32_t expected[] = {-8, 0, 8, 16, 24, 32, 40, 48};
  for (int level = llQuiet; level <= llDebug; ++level) {
    EXPECT_EQ(LogLevelToAVLevel(TLogLevel(level)), expected[level]);
    EXPECT_EQ(AVLevelToLogLevel(expected[level]), TLogLevel(level));
  }
  const std::vector<std::pair<int32_t, TLogLevel>> rows = {
      {-100, llQuiet}, {-9, llQuiet}, {-1, llPanic}, {7, llPanic}, {31, llWarning}, {47, llVerbose}, {56, llDebug}, {1000, llDebug}};
  for (const auto& [avLevel, level] : rows) EXPECT_EQ(AVLevelToLogLevel(avLevel), level) << avLevel;
  EXPECT_STREQ(LogLevelName(llWarning), "Warning");
  EXPECT_STREQ(LogLevelName(llQuiet), "Quiet");
}

TEST_F(LoggerTest, IsMutedUnlessActiveWithASink) {
  EXPECT_TRUE(Logger->Muted());
  Logger->Log(nullptr, llError, "dropped");
  Capture();
  EXPECT_FALSE(Logger->Muted());
  Logger->SetActive(false);
  EXPECT_TRUE(Logger->Muted());
  Logger->Log(nullptr, llError, "dropped too");
  Logger->SetActive(true);
  Logger->SetOnLog(nullptr);
  EXPECT_TRUE(Logger->Muted());
  Logger->SetLogToFile(true);
  EXPECT_TRUE(Logger->Muted());  // no file name yet
  Logger->SetLogFile(std::string(ZV_TEST_TMP) + "/muted.log");
  EXPECT_FALSE(Logger->Muted());
  Logger->SetLogToFile(false);
  EXPECT_TRUE(Logger->Muted());
  EXPECT_TRUE(Lines.empty());
}

TEST_F(LoggerTest, LogPassesLevelsUpToTheLoggersLevel) {
  Capture();
  EXPECT_EQ(Logger->LogLevel(), llInfo);
  Logger->Log(Logger, llInfo, "info");
  Logger->Log(Logger, llVerbose, "verbose");
  Logger->LogFmt(nullptr, llError, "error %d: %s", {7, "text"});
  Logger->LogFmt(nullptr, llDebug, "debug %d", {8});
  ASSERT_THAT(Texts(), ElementsAre("info", "error 7: text"));
  EXPECT_EQ(Lines[0].Sender, Logger);
  EXPECT_EQ(Lines[0].ThreadID, int32_t(GetCurrentThreadId()));
  EXPECT_EQ(Lines[1].Level, llError);
}

TEST_F(LoggerTest, WritesTheLogFileLineFormat) {
  const std::string file = std::string(ZV_TEST_TMP) + "/logger_line.log";
  std::remove(file.c_str());
  Logger->SetLogFile(file);
  Logger->SetLogToFile(true);
  Logger->Log(nullptr, llWarning, "first line");
  Logger->SetLogFile(file);  // the same name keeps the open file
  Logger->Log(nullptr, llInfo, "second line");
  const std::string other = file + ".other";
  std::remove(other.c_str());
  Logger->SetLogFile(other);
  Logger->Log(nullptr, llError, "elsewhere");
  Logger->SetLogFile(file);  // reopened and appended to
  Logger->Log(nullptr, llError, "third line");
  Logger->SetLogToFile(false);

  std::ifstream in(file, std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string id = [] {
    char text[16];
    std::snprintf(text, sizeof text, "%.8X", unsigned(GetCurrentThreadId()));
    return std::string(text);
  }();
  EXPECT_THAT(content, MatchesRegex("[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{3} \\[" + id + "\\] Warning: first line\r\n"
                                    "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{3} \\[" + id + "\\] Info: second line\r\n"
                                    "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{3} \\[" + id + "\\] Error: third line\r\n"));
  std::ifstream otherIn(other, std::ios::binary);
  const std::string otherContent((std::istreambuf_iterator<char>(otherIn)), std::istreambuf_iterator<char>());
  EXPECT_THAT(otherContent, ::testing::EndsWith("Error: elsewhere\r\n"));
}

TEST_F(LoggerTest, CallbackJoinsPiecesOfALineAfterTheObjectPrefix) {
  Capture();
  TFakeParent parent{&ParentClass};
  TFakeObject object{&ObjectClass, nullptr};
  CallAVLog(&object, AV_LOG_INFO, "first %s", "piece, ");
  CallAVLog(&object, AV_LOG_INFO, "second piece");
  CallAVLog(&object, AV_LOG_INFO, "\n");
  TFakeObject child{&ChildClass, &parent};
  CallAVLog(&child, AV_LOG_WARNING, "%s", "child line\n");
  CallAVLog(nullptr, AV_LOG_ERROR, "no object\n");
  CallAVLog(&child, AV_LOG_WARNING, "%s", "");
  ASSERT_EQ(Lines.size(), 3u);
  EXPECT_THAT(Lines[0].Text, MatchesRegex(R"(\[obj @ 0x[0-9a-f]+\]first piece, second piece)"));
  EXPECT_EQ(Lines[0].Sender, Logger);
  EXPECT_EQ(Lines[0].Level, llInfo);
  EXPECT_THAT(Lines[1].Text, MatchesRegex(R"(\[parent @ 0x[0-9a-f]+\] \[obj @ 0x[0-9a-f]+\]child line)"));
  EXPECT_EQ(Lines[1].Level, llWarning);
  EXPECT_EQ(Lines[2].Text, "no object");
  // The empty "%s" call began a new line with the prefix alone; it waits for the rest.
  CallAVLog(&child, AV_LOG_WARNING, "rest\n");
  ASSERT_EQ(Lines.size(), 4u);
  EXPECT_THAT(Lines[3].Text, MatchesRegex(R"(\[parent @ 0x[0-9a-f]+\] \[obj @ 0x[0-9a-f]+\]rest)"));
}

TEST_F(LoggerTest, RepeatedLinesAreCounted) {
  Capture();
  for (int i = 0; i < 3; ++i) CallAVLog(nullptr, AV_LOG_INFO, "same\n");
  CallAVLog(nullptr, AV_LOG_INFO, "other\n");
  CallAVLog(nullptr, AV_LOG_INFO, "twice\n");
  CallAVLog(nullptr, AV_LOG_INFO, "twice\n");
  CallAVLog(nullptr, AV_LOG_INFO, "end\n");
  EXPECT_THAT(Texts(), ElementsAre("same", "    Last message repeated 2 times", "other", "twice", "end"));
}

TEST_F(LoggerTest, ALongMessageIsDeliveredWhole) {
  Capture();
  const std::string text(5000, 'x');
  CallAVLog(nullptr, AV_LOG_INFO, "%s\n", text.c_str());
  ASSERT_EQ(Lines.size(), 1u);
  EXPECT_EQ(Lines[0].Text, text);
}

TEST_F(LoggerTest, LinesFromSeveralThreadsStayWhole) {
  Capture();
  constexpr int ThreadCount = 4, LineCount = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < ThreadCount; ++t) {
    threads.emplace_back([t] {
      for (int n = 0; n < LineCount; ++n) {
        CallAVLog(nullptr, AV_LOG_INFO, "thread %d line %d ", t, n);
        CallAVLog(nullptr, AV_LOG_INFO, "second half");
        CallAVLog(nullptr, AV_LOG_INFO, "\n");
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  ASSERT_EQ(Lines.size(), size_t(ThreadCount * LineCount));
  std::map<int32_t, int> nextLine;
  std::map<int32_t, int> threadOfId;
  for (const TLine& line : Lines) {
    int t = -1, n = -1;
    char rest[32] = {};
    ASSERT_EQ(std::sscanf(line.Text.c_str(), "thread %d line %d %31[^\n]", &t, &n, rest), 3) << line.Text;
    EXPECT_STREQ(rest, "second half");
    if (!threadOfId.count(line.ThreadID)) threadOfId[line.ThreadID] = t;
    EXPECT_EQ(threadOfId[line.ThreadID], t);
    EXPECT_EQ(n, nextLine[line.ThreadID]++) << "lines of one thread keep their order";
  }
  EXPECT_EQ(threadOfId.size(), size_t(ThreadCount));
}

TEST_F(LoggerTest, EventsReachTheMainThreadWhenAsked) {
  Logger->SetTriggerEventInMainThread(true);
  const std::thread::id mainThread = std::this_thread::get_id();
  SetMainThreadId(GetCurrentThreadId());
  std::atomic<bool> onMain{false};
  std::atomic<int32_t> reportedThread{0};
  Logger->SetOnLog([&](TObject*, int32_t ThreadID, TLogLevel, const std::string&) {
    onMain = std::this_thread::get_id() == mainThread;
    reportedThread = ThreadID;
  });
  std::atomic<bool> done{false};
  std::atomic<int32_t> workerId{0};
  std::thread worker([&] {
    workerId = int32_t(GetCurrentThreadId());
    Logger->Log(nullptr, llError, "from a worker");
    done = true;
  });
  while (!done) CheckSynchronize(10);
  worker.join();
  EXPECT_TRUE(onMain);
  EXPECT_EQ(reportedThread, workerId);
}

TEST_F(LoggerTest, OneLoggerPerProcess) {
  try {
    TFFLogger second(nullptr);
    ADD_FAILURE() << "a second logger was accepted";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Allow creating only one instance of TFFLogger.");
  }
  EXPECT_EQ(GetFFLogger(), Logger);
  delete Logger;
  Logger = nullptr;
  TFFLogger* automatic = GetFFLogger();
  EXPECT_TRUE(automatic->AutoCreated());
  Logger = new TFFLogger(nullptr);  // takes over from the automatic one
  EXPECT_EQ(GetFFLogger(), Logger);
  EXPECT_FALSE(Logger->AutoCreated());
}

TEST_F(LoggerTest, FFmpegMessagesPassUpToTheLoggersLevel) {
  ASSERT_TRUE(FFLoader().LoadLib(libAVUtil)) << FFLoader().GetLastError();
  // The loader installed the callback for the logger in place.
  Capture();
  av_log(nullptr, AV_LOG_INFO, "level 32\n");
  av_log(nullptr, AV_LOG_VERBOSE, "level 40\n");
  av_log(nullptr, AV_LOG_DEBUG, "level 48\n");
  av_log(nullptr, AV_LOG_ERROR, "level 16\n");
  EXPECT_THAT(Texts(), ElementsAre("level 32", "level 16"));
  Logger->SetLogLevel(llDebug);
  EXPECT_EQ(av_log_get_level(), AV_LOG_DEBUG);
  av_log(nullptr, AV_LOG_DEBUG, "level 48 now\n");
  EXPECT_EQ(Texts().back(), "level 48 now");
  EXPECT_EQ(Lines.back().Level, llDebug);
}

}  // namespace
}  // namespace zv
