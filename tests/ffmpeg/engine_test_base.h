// A test of the transcoding engine: the FFmpeg component started with the encoder's libraries, and
// every log line kept (the engine logs from its worker threads too).
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "ffmpeg/ff_load.h"
#include "ffmpeg/ff_log.h"

namespace zv::testtranscode {

class EngineTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFmpegStartup();
    ASSERT_TRUE(FFLoader().LoadLibs(EncoderLibraries)) << FFLoader().GetLastError();
    GetFFLogger()->SetTriggerEventInMainThread(false);
    GetFFLogger()->SetOnLog([this](TObject*, int32_t, TLogLevel, const std::string& Text) {
      std::lock_guard<std::mutex> guard(Lock);
      Lines.push_back(Text);
    });
  }
  void TearDown() override {
    GetFFLogger()->SetOnLog(nullptr);
    FFmpegShutdown();
  }

  std::mutex Lock;
  std::vector<std::string> Lines;
};

}  // namespace zv::testtranscode
