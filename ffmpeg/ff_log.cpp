#include "ffmpeg/ff_log.h"

#include <cassert>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "ffmpeg/avutil_stubs.h"
#include "ffmpeg/my_utils.h"
#include "platform/streams.h"
#include "platform/threads.h"
#include "platform/win32.h"

namespace zv {

namespace {

struct TLogState {
  TFFLogger* Single = nullptr;
  std::string LogFile;
  bool LogToFile = false;
  std::unique_ptr<TFileStream> File;
  // The callback's repeat suppression is process-wide, its partial lines are kept per thread.
  std::string LastText;
  int32_t RepeatCount = 0;
  std::map<uint32_t, std::string> PartialLines;
  TCriticalSection CallbackLock;
  TCriticalSection LoggerLock;
};

TLogState* LogState = nullptr;
std::atomic<int32_t> CurrentAVLevel{32};

TLogState& CheckedLogState() {
  if (LogState == nullptr) throw Exception("The FFmpeg logger is not started.");
  return *LogState;
}

class TLock {
public:
  explicit TLock(TCriticalSection& Section) : FSection(Section) { FSection.Enter(); }
  ~TLock() { FSection.Leave(); }
  TLock(const TLock&) = delete;
  TLock& operator=(const TLock&) = delete;

private:
  TCriticalSection& FSection;
};

const char* const LevelNames[] = {"Quiet", "Panic", "Fatal", "Error", "Warning", "Info", "Verbose", "Debug"};

// Appends one line to the log file, opening it on first use. A file that cannot be opened or written
// loses the line: logging never fails toward its caller.
void WriteLogFileLine(TLogState& State, int32_t ThreadID, TLogLevel Level, const std::string& Text) {
  try {
    if (!State.File) {
      if (FileExists(State.LogFile)) {
        State.File = std::make_unique<TFileStream>(State.LogFile, fmOpenWrite | fmShareDenyWrite);
        State.File->Seek(0, soEnd);
      } else {
        State.File = std::make_unique<TFileStream>(State.LogFile, fmCreate);
      }
    }
    const std::string line = Format("%s [%.8x] %s: %s\r\n", FormatDateTime("hh:nn:ss zzz", Now()), ThreadID,
                                    LogLevelName(Level), Text);
    State.File->WriteBuffer(line.data(), static_cast<int64_t>(line.size()));
  } catch (const Exception&) {
  }
}

std::string VFormat(const char* Fmt, va_list Args) {
  if (Fmt == nullptr) return std::string();
  va_list measure;
  va_copy(measure, Args);
  const int needed = std::vsnprintf(nullptr, 0, Fmt, measure);
  va_end(measure);
  if (needed <= 0) return std::string();
  std::string text(static_cast<size_t>(needed) + 1, '\0');
  va_list fill;
  va_copy(fill, Args);
  std::vsnprintf(text.data(), text.size(), Fmt, fill);
  va_end(fill);
  text.resize(static_cast<size_t>(needed));
  return text;
}

std::string ItemName(void* Object) {
  const AVClass* cls = *static_cast<const AVClass* const*>(Object);
  if (cls->item_name != nullptr) return cls->item_name(Object);
  return cls->class_name != nullptr ? cls->class_name : "";
}

// "[parent @ 0x...] [object @ 0x...]" for an FFmpeg object, as the start of a new line.
std::string ObjectPrefix(void* Avcl) {
  char buffer[256];
  std::string prefix;
  const AVClass* cls = *static_cast<const AVClass* const*>(Avcl);
  if (cls == nullptr) return prefix;
  if (cls->parent_log_context_offset != 0) {
    void* parent = *reinterpret_cast<void**>(static_cast<uint8_t*>(Avcl) + cls->parent_log_context_offset);
    if (parent != nullptr && *static_cast<const AVClass* const*>(parent) != nullptr) {
      std::snprintf(buffer, sizeof buffer, "[%s @ %p] ", ItemName(parent).c_str(), parent);
      prefix += buffer;
    }
  }
  std::snprintf(buffer, sizeof buffer, "[%s @ %p]", ItemName(Avcl).c_str(), Avcl);
  prefix += buffer;
  return prefix;
}

}  // namespace

int32_t LogLevelToAVLevel(TLogLevel Level) { return (static_cast<int32_t>(Level) - 1) * 8; }

TLogLevel AVLevelToLogLevel(int32_t AVLevel) {
  int32_t ordinal = AVLevel / 8 + 1;
  if (ordinal < llQuiet) ordinal = llQuiet;
  if (ordinal > llDebug) ordinal = llDebug;
  return static_cast<TLogLevel>(ordinal);
}

const char* LogLevelName(TLogLevel Level) { return Level <= llDebug ? LevelNames[Level] : ""; }

void FFLogStartup() {
  if (LogState != nullptr) return;
  LogState = new TLogState();
  CurrentAVLevel.store(32);
}

void FFLogShutdown() {
  if (LogState == nullptr) return;
  TFFLogger* single = LogState->Single;
  if (single != nullptr && single->AutoCreated()) delete single;
  delete LogState;
  LogState = nullptr;
}

TFFLogger* GetFFLogger() {
  TLogState& state = CheckedLogState();
  TLock lock(state.LoggerLock);
  if (state.Single == nullptr) {
    auto* logger = new TFFLogger(nullptr);
    logger->FAutoCreated = true;
  }
  return state.Single;
}

TFFLogger::TFFLogger(TComponent* AOwner) : TFFBaseComponent(AOwner) {
  TLogState& state = CheckedLogState();
  TLock lock(state.LoggerLock);
  if (state.Single != nullptr && state.Single->FAutoCreated) delete state.Single;
  if (state.Single != nullptr) throw Exception("Allow creating only one instance of TFFLogger.");
  FLogLevel = AVLevelToLogLevel(CurrentAVLevel.load());
  state.Single = this;
}

TFFLogger::~TFFLogger() {
  if (LogState == nullptr) return;
  TLock lock(LogState->LoggerLock);
  if (LogState->Single == this) LogState->Single = nullptr;
  LogState->File.reset();
}

void TFFLogger::UpdateMuted() {
  const TLogState& state = CheckedLogState();
  FMuted.store(!(FActive && (FOnLog || (state.LogToFile && !state.LogFile.empty()))));
}

void TFFLogger::SetActive(bool Value) {
  TLock lock(CheckedLogState().LoggerLock);
  FActive = Value;
  UpdateMuted();
}

std::string TFFLogger::LogFile() const {
  TLogState& state = CheckedLogState();
  TLock lock(state.LoggerLock);
  return state.LogFile;
}

void TFFLogger::SetLogFile(const std::string& Value) {
  TLogState& state = CheckedLogState();
  TLock lock(state.LoggerLock);
  if (state.LogFile == Value) return;
  state.LogFile = Value;
  state.File.reset();
  UpdateMuted();
}

bool TFFLogger::LogToFile() const {
  TLogState& state = CheckedLogState();
  TLock lock(state.LoggerLock);
  return state.LogToFile;
}

void TFFLogger::SetLogToFile(bool Value) {
  TLogState& state = CheckedLogState();
  TLock lock(state.LoggerLock);
  if (state.LogToFile == Value) return;
  state.LogToFile = Value;
  state.File.reset();
  UpdateMuted();
}

void TFFLogger::SetOnLog(TLogEvent Value) {
  TLock lock(CheckedLogState().LoggerLock);
  FOnLog = std::move(Value);
  UpdateMuted();
}

void TFFLogger::SetLogLevel(TLogLevel Value) {
  if (FLogLevel == Value) return;
  FLogLevel = Value;
  ApplyAVLogLevel();
}

TLogInfo TFFLogger::LastLogInfo() const {
  TLock lock(CheckedLogState().LoggerLock);
  return FLogInfo;
}

void TFFLogger::InstallAVLogCallback() {
  assert(av_log_set_callback != nullptr && av_log_set_level != nullptr);
  av_log_set_callback(AVLogCallback);
  ApplyAVLogLevel();
}

void TFFLogger::ApplyAVLogLevel() {
  if (av_log_set_level == nullptr) return;
  CurrentAVLevel.store(LogLevelToAVLevel(FLogLevel));
  av_log_set_level(CurrentAVLevel.load());
}

// The handler is raised after the logger's lock is left: a worker waiting for the main thread while it
// holds the lock would otherwise block a main thread that logs at the same moment.
void TFFLogger::Deliver(TObject* Sender, int32_t ThreadID, TLogLevel Level, const std::string& Text) {
  TLogState& state = CheckedLogState();
  TLogEvent event;
  bool inMainThread;
  {
    TLock lock(state.LoggerLock);
    FLogInfo = TLogInfo{Sender, ThreadID, Level, Text};
    if (state.LogToFile && !state.LogFile.empty()) WriteLogFileLine(state, ThreadID, Level, Text);
    event = FOnLog;
    inMainThread = FTriggerEventInMainThread;
  }
  if (!event) return;
  if (inMainThread)
    CallInMainThread([&] { event(Sender, ThreadID, Level, Text); });
  else
    event(Sender, ThreadID, Level, Text);
}

void TFFLogger::Log(TObject* Sender, TLogLevel Level, const std::string& Text) {
  if (Muted() || Level > FLogLevel) return;
  Deliver(Sender, static_cast<int32_t>(GetCurrentThreadId()), Level, Text);
}

void TFFLogger::LogFmt(TObject* Sender, TLogLevel Level, std::string_view Fmt, std::initializer_list<TFormatArg> Args) {
  if (Muted() || Level > FLogLevel) return;
  Deliver(Sender, static_cast<int32_t>(GetCurrentThreadId()), Level, Format(Fmt, Args));
}

void TFFLogger::LogForThread(int32_t ThreadID, int32_t AVLevel, const std::string& Text) {
  if (Muted()) return;
  Deliver(this, ThreadID, AVLevelToLogLevel(AVLevel), Text);
}

const TPropList& TFFLogger::PublishedProps() const {
  static const TPropList List =
      TPublisher<TFFLogger>(TFFBaseComponent::PublishedProps())
          .Property("Active", &TFFLogger::Active, &TFFLogger::SetActive)
          .Property("TriggerEventInMainThread", &TFFLogger::TriggerEventInMainThread,
                    &TFFLogger::SetTriggerEventInMainThread)
          .Property("LogLevel", &TFFLogger::LogLevel, &TFFLogger::SetLogLevel)
          .Property("LogFile", &TFFLogger::LogFile, &TFFLogger::SetLogFile)
          .Property("LogToFile", &TFFLogger::LogToFile, &TFFLogger::SetLogToFile);
  return List;
}

// Complete lines are collected under the callback's lock and delivered after it is left, for the same
// reason as in Deliver; each thread's partial line stays apart until a later call completes it.
extern "C" void AVLogCallback(void* Avcl, int Level, const char* Fmt, va_list Args) {
  if (Level > CurrentAVLevel.load() || LogState == nullptr) return;
  try {
    TFFLogger* logger;
    const auto threadID = static_cast<uint32_t>(GetCurrentThreadId());
    std::vector<std::string> lines;
    {
      TLock lock(LogState->CallbackLock);
      logger = GetFFLogger();
      if (logger->Muted()) return;
      std::string& partial = LogState->PartialLines[threadID];
      const bool lineStart = partial.empty();
      std::string text;
      if (Avcl != nullptr && lineStart) text = ObjectPrefix(Avcl);
      text += VFormat(Fmt, Args);
      // Only a whole line counts as a repeat: the lone line feed that ends one thread's line must not be
      // swallowed because another thread's line ended the same way just before.
      if (lineStart && !text.empty() && text.back() == '\n' && text == LogState->LastText) {
        ++LogState->RepeatCount;
        return;
      }
      if (LogState->RepeatCount > 1) lines.push_back(Format("    Last message repeated %d times", LogState->RepeatCount));
      LogState->RepeatCount = 0;
      LogState->LastText = text;
      partial += text;
      for (size_t end; (end = partial.find('\n')) != std::string::npos;) {
        lines.push_back(partial.substr(0, end));
        partial.erase(0, end + 1);
      }
    }
    for (const std::string& line : lines) logger->LogForThread(static_cast<int32_t>(threadID), Level, line);
  } catch (...) {
    // Nothing may unwind into FFmpeg's C code.
  }
}

}  // namespace zv
