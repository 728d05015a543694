// The one log sink of the FFmpeg components, TFFLogger, and the callback that hands FFmpeg's own
// messages to it. Lines reach the OnLog event (in the main thread by default) and an optional log file.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "ffmpeg/base_component.h"
#include "platform/sysutils.h"

namespace zv {

enum TLogLevel : uint8_t { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

template <>
struct TEnumNames<TLogLevel> {
  static constexpr std::string_view Names[] = {"llQuiet",   "llPanic", "llFatal",   "llError",
                                               "llWarning", "llInfo",  "llVerbose", "llDebug"};
};

// FFmpeg's level of a TLogLevel: (ordinal - 1) * 8, so llQuiet is -8 and llDebug 48.
int32_t LogLevelToAVLevel(TLogLevel Level);
// The TLogLevel of an FFmpeg level: level div 8 + 1, clamped to llQuiet .. llDebug.
TLogLevel AVLevelToLogLevel(int32_t AVLevel);
// "Quiet", "Panic", "Fatal", "Error", "Warning", "Info", "Verbose", "Debug".
const char* LogLevelName(TLogLevel Level);

using TLogEvent = std::function<void(TObject* Sender, int32_t AThreadID, TLogLevel ALogLevel, const std::string& ALogMsg)>;

// The data of the line being delivered.
struct TLogInfo {
  TObject* Sender = nullptr;
  int32_t ThreadID = 0;
  TLogLevel Level = llInfo;
  std::string Text;
};

class TFFLogger : public TFFBaseComponent {
public:
  // Takes over from a logger that GetFFLogger made; raises Exception "Allow creating only one instance
  // of TFFLogger." when another logger exists.
  explicit TFFLogger(TComponent* AOwner);
  ~TFFLogger() override;

  void Log(TObject* Sender, TLogLevel Level, const std::string& Text);
  void LogFmt(TObject* Sender, TLogLevel Level, std::string_view Fmt, std::initializer_list<TFormatArg> Args);
  // A line FFmpeg wrote on thread ThreadID; the callback has compared the level already.
  void LogForThread(int32_t ThreadID, int32_t AVLevel, const std::string& Text);

  // Installs the FFmpeg log callback and level; the loader calls it each time avutil is loaded.
  void InstallAVLogCallback();
  void ApplyAVLogLevel();

  bool AutoCreated() const { return FAutoCreated; }
  // Nothing is delivered unless the logger is active and has an OnLog handler or a log file to write.
  bool Muted() const { return FMuted.load(); }
  bool Active() const { return FActive; }
  void SetActive(bool Value);
  bool TriggerEventInMainThread() const { return FTriggerEventInMainThread; }
  void SetTriggerEventInMainThread(bool Value) { FTriggerEventInMainThread = Value; }
  TLogLevel LogLevel() const { return FLogLevel; }
  void SetLogLevel(TLogLevel Value);
  // Shared by every logger of the process.
  std::string LogFile() const;
  void SetLogFile(const std::string& Value);
  bool LogToFile() const;
  void SetLogToFile(bool Value);
  // The event is set through SetOnLog, which also decides whether the logger is muted.
  const TLogEvent& OnLog() const { return FOnLog; }
  void SetOnLog(TLogEvent Value);
  // The last line delivered.
  TLogInfo LastLogInfo() const;

  const TPropList& PublishedProps() const override;

private:
  friend TFFLogger* GetFFLogger();
  void UpdateMuted();
  void Deliver(TObject* Sender, int32_t ThreadID, TLogLevel Level, const std::string& Text);

  bool FAutoCreated = false;
  std::atomic<bool> FMuted{true};
  bool FActive = true;
  bool FTriggerEventInMainThread = true;
  TLogLevel FLogLevel = llInfo;
  TLogInfo FLogInfo;
  TLogEvent FOnLog;
};

// The single logger; made (without an owner) when there is none. Valid between FFLogStartup and
// FFLogShutdown.
TFFLogger* GetFFLogger();

// FFmpeg's log callback.
extern "C" void AVLogCallback(void* Avcl, int Level, const char* Fmt, va_list Args);

// Unit start and shut-down of the logger: after the loader's start, before the loader's shut-down.
void FFLogStartup();
void FFLogShutdown();

}  // namespace zv
