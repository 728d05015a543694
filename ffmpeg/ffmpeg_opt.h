// One transcoding task's settings, its tables of input and output files, streams and filter graphs, the
// I/O interrupt callbacks handed to FFmpeg, and the way every failure of the engine is reported.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <list>
#include <string>
#include <string_view>

#include "ffmpeg/avcodec_stubs.h"
#include "ffmpeg/avfilter_stubs.h"
#include "ffmpeg/avformat_stubs.h"
#include "ffmpeg/avutil_stubs.h"
#include "ffmpeg/encoder.h"
#include "ffmpeg/ff_utils.h"
#include "ffmpeg/format_converter.h"
#include "ffmpeg/frame_hook.h"
#include "platform/objects.h"
#include "platform/sysutils.h"

namespace zv {

// Time base of times in microseconds.
inline constexpr AVRational MicrosecondBase{1, AV_TIME_BASE};
// Ends the texts of failures whose cause FFmpeg's own log gives.
inline constexpr const char* LogHintText =
    "Please check error log message(reported by FFLogger) to find out more detail information.";

// Ends a transcoding task; the text is the task's last error.
class FFmpegException : public Exception {
public:
  using Exception::Exception;
};

struct TFilterGraphRec;
struct TInputFilterRec;
struct TOutputFilterRec;
struct TOutputStreamRec;

struct TInputFileRec {
  AVFormatContext* Context;
  int32_t EofReached;
  int32_t TryAgain;
  int32_t FirstStreamIndex;
  int64_t TsOffset;
  int32_t StreamCount;
  int32_t StreamsReported;
  int32_t RateEmulation;
};

struct TInputStreamRec {
  int32_t FileIndex;
  AVStream* Stream;
  int32_t Discard;
  int32_t DecodingNeeded;
  const AVCodec* Decoder;
  // The stream's own decoder context (streams carry only parameters).
  AVCodecContext* DecoderContext;
  AVFrame* DecodedFrame;
  int64_t Start;
  int64_t NextDts, Dts, NextPts, Pts;
  int32_t WrapCorrectionDone;
  int64_t FilterInRescaleRemainder;
  double TsScale;
  int32_t AtStart;
  int32_t SawFirstTs;
  int32_t ShowedMultiPacketWarning;
  AVDictionary* DecoderOptions;
  AVRational FrameRate;
  int32_t TopFieldFirst;
  int32_t GuessLayoutMax;
  int32_t ResampleHeight, ResampleWidth, ResamplePixFmt;
  int32_t ResampleSampleFmt, ResampleSampleRate, ResampleChannels;
  uint64_t ResampleChannelLayout;
  int32_t FixSubDuration;
  struct {
    int32_t GotOutput;
    int32_t Ret;
    AVSubtitle Subtitle;
  } PrevSub;
  struct {
    int64_t LastPts, EndPts;
    AVFrame* Frame;
    int32_t W, H;
  } Sub2Video;
  TInputFilterRec** Filters;
  int32_t FilterCount;
  int32_t ReinitFilters;
  int32_t PictureCounter;
  int32_t JoinFlushed;
  int32_t DecoderClosed;
  int32_t Released;
  int64_t CopyRescaleRemainder;
  int32_t PacketsSent;
};

struct TOutputFileRec {
  AVFormatContext* Context;
  AVDictionary* Options;
  int32_t FirstStreamIndex;
  int64_t RecordingTime;
  int64_t StartTime;
  int64_t LimitFileSize;
  int32_t Shortest;
};

struct TOutputStreamRec {
  int32_t FileIndex;
  int32_t Index;
  int32_t SourceIndex;
  AVStream* Stream;
  // The stream's own encoder context; its parameters go to Stream->codecpar once it is open.
  AVCodecContext* EncoderContext;
  int32_t EncodingNeeded;
  int32_t FrameNumber;
  TInputStreamRec* SyncIst;
  int64_t SyncOpts;
  int64_t FirstPts;
  // Allocated by the configuration layer (av_bsf_alloc, options set); the engine initialises them.
  AVBSFContext** BitstreamFilters;
  int32_t BitstreamFilterCount;
  int32_t BitstreamFiltersFlushed;
  const AVCodec* Encoder;
  int64_t MaxFrames;
  AVFrame* FilteredFrame;
  AVRational FrameRate;
  int32_t ForceFps;
  int32_t TopFieldFirst;
  float FrameAspectRatio;
  int64_t* ForcedKfPts;
  int32_t ForcedKfCount;
  int32_t ForcedKfIndex;
  char* ForcedKeyframes;
  AVExpr* ForcedKeyframesPexpr;
  double ForcedKeyframesExprConstValues[5];
  int32_t AudioChannelsMap[32];
  int32_t AudioChannelsMapped;
  char* LogfilePrefix;
  FILE* Logfile;
  TOutputFilterRec* Filter;
  char* Avfilter;
  int32_t SwsFlags;
  AVDictionary* SwrOptions;
  AVDictionary* ResampleOptions;
  AVDictionary* EncoderOptions;
  int32_t Finished;
  int32_t Unavailable;
  int32_t StreamCopy;
  // The encoder takes the filter's pixel format as it is (no conversion is inserted).
  int32_t KeepPixFmt;
  const char* AttachmentFilename;
  int32_t CopyInitialNonKeyframes;
  int32_t CopyPrior;
  AVCodecID JoinCodecId;
  AVDictionary* JoinEncoderOptions;
  int32_t JoinMaxBFrames;
  int32_t NoReport;
  int32_t Flushed;
  int64_t LastMuxPts, LastMuxDts;
  // What the muxer last took (stream time base): the current DTS and the presentation end; no time before
  // the first packet.
  int64_t CurDts, CurPts;
  // From the encoder's last packet: quality (lambda), picture type, error sums; HasCodedFrame once one came.
  int32_t CodedQuality;
  int32_t CodedPictType;
  int64_t CodedError[4];
  int32_t HasCodedFrame;
  int32_t LastFrameSize;
  int32_t OptionsOwned;
  int32_t CodecPrepared;
  int32_t EncoderOpened;
  int32_t EncoderClosed;
};

struct TInputFilterRec {
  AVFilterContext* Filter;
  TInputStreamRec* Ist;
  TFilterGraphRec* Graph;
  char* Name;
};

struct TOutputFilterRec {
  AVFilterContext* Filter;
  TOutputStreamRec* Ost;
  TFilterGraphRec* Graph;
  char* Name;
  AVFilterInOut* OutTmp;
};

struct TFilterGraphRec {
  int32_t Index;
  char* GraphDesc;
  AVFilterGraph* Graph;
  int32_t Configured;
  TInputFilterRec** Inputs;
  int32_t InputCount;
  TOutputFilterRec** Outputs;
  int32_t OutputCount;
};

// Microseconds of a clock; the interrupt callbacks use av_gettime unless a task is given another.
using TClockFunction = int64_t (*)();

class TCustomFFmpegOpt : public TEncoderTask {
public:
  static constexpr int64_t IdleStartTime = std::numeric_limits<int64_t>::max();

  TCustomFFmpegOpt();
  ~TCustomFFmpegOpt() override;
  TCustomFFmpegOpt(const TCustomFFmpegOpt&) = delete;
  TCustomFFmpegOpt& operator=(const TCustomFFmpegOpt&) = delete;

  // Adds a frame-hook library from an option value; 0 or a negative FFmpeg error code.
  virtual int32_t AddFrameHookLibrary(const std::string& Value) = 0;
  // Sets the scaler flags from an option value; 0, or 234 when the value is refused.
  virtual int32_t SetScalerFlagsOption(const std::string& Value) = 0;

  // The text becomes the last error, is logged at llFatal and raised as FFmpegException.
  [[noreturn]] void RaiseError(const std::string& Msg);
  [[noreturn]] void RaiseErrorFmt(std::string_view Fmt, std::initializer_list<TFormatArg> Args);
  // "Option %s not found." for the first entry a codec left in Dict: raised when unrecognised options
  // are rejected, else only kept as the last error.
  void CheckUnusedOptions(AVDictionary* Dict);
  [[noreturn]] void AbortExperimentalCodec(const AVCodec* Codec, bool IsEncoder);
  // Gives the decoder of Ist the default layout of its channel count when it has none; false when no
  // layout is known.
  bool FillMissingChannelLayout(TInputStreamRec* Ist);
  void FreeOutputStreams();

  // Filter graphs. A simple graph (no description of its own) joins one input stream to one output
  // stream through the output stream's filter description.
  void CreateSimpleGraph(TInputStreamRec* Ist, TOutputStreamRec* Ost);
  // Builds or rebuilds the graph; 0 or a negative FFmpeg error code.
  int32_t BuildFilterGraph(TFilterGraphRec* Fg);
  // The pixel formats a video sink asks for: empty when any will do.
  std::string PixelFormatList(TOutputStreamRec* Ost);
  AVPixelFormat PickPixelFormat(const AVCodec* Codec, const AVCodecContext* Context, AVPixelFormat Target);
  std::string SampleFormatList(TOutputStreamRec* Ost);
  std::string SampleRateList(TOutputStreamRec* Ost);
  std::string ChannelLayoutList(TOutputStreamRec* Ost);

  int64_t Now() const { return Clock ? Clock() : av_gettime(); }

protected:
  void BindGraphInput(TFilterGraphRec* Fg, AVFilterInOut* In);
  int32_t BuildGraphInput(TFilterGraphRec* Fg, TInputFilterRec* Filter, AVFilterInOut* In);
  int32_t BuildVideoSource(TFilterGraphRec* Fg, TInputFilterRec* Filter, AVFilterInOut* In);
  int32_t BuildAudioSource(TFilterGraphRec* Fg, TInputFilterRec* Filter, AVFilterInOut* In);
  int32_t PrepareSubtitleCanvas(TInputStreamRec* Ist);
  int32_t BuildGraphOutput(TFilterGraphRec* Fg, TOutputFilterRec* Filter, AVFilterInOut* Out);
  int32_t BuildVideoSink(TFilterGraphRec* Fg, TOutputFilterRec* Filter, AVFilterInOut* Out);
  int32_t BuildAudioSink(TFilterGraphRec* Fg, TOutputFilterRec* Filter, AVFilterInOut* Out);
  TInputFilterRec* AppendInputFilter(TFilterGraphRec* Fg, TInputStreamRec* Ist);
  TOutputFilterRec* AppendOutputFilter(TFilterGraphRec* Fg);

public:

  // Settings.
  char* StatsFileName = nullptr;
  float AudioDriftThreshold = 0.1f;
  float DtsDeltaThreshold = 10;
  float DtsErrorThreshold = 3600 * 30;
  int32_t AudioVolume = 256;
  int32_t AudioSyncMethod = 0;
  int32_t VideoSyncMethod = -1;
  int32_t DoDeinterlace = 0;
  int32_t DoHexDump = 0;
  int32_t DoPktDump = 0;
  int32_t CopyTs = 0;
  int32_t CopyTb = -1;
  int32_t DebugTs = 0;
  int32_t ExitOnError = 0;
  int32_t PrintStats = -1;
  int32_t QpHist = 0;
  int32_t FrameBitsPerRawSample = 0;
  AVIOContext* ProgressAvio = nullptr;
  bool RejectUnrecognisedOptions = true;
  bool JoinMode = false;
  int32_t JoinStreamsPerInput = 0;
  // Read by the I/O interrupt callbacks on whatever thread is inside FFmpeg's I/O.
  std::atomic<bool> StopRequest{false};
  int32_t ReadTimeout = 30000;
  int32_t WriteTimeout = 30000;
  AVIOInterruptCB ReadInterruptCB{};
  std::atomic<int64_t> ReadStartTime{IdleStartTime};
  AVIOInterruptCB WriteInterruptCB{};
  std::atomic<int64_t> WriteStartTime{IdleStartTime};
  int64_t FallbackDuration = -1;
  int64_t ConfiguredDuration = -1;
  std::string LastErrorMsg;
  TClockFunction Clock = nullptr;

  TFFOptions Options;

  // Tables.
  TInputStreamRec** InputStreams = nullptr;
  int32_t InputStreamCount = 0;
  TInputFileRec** InputFiles = nullptr;
  int32_t InputFileCount = 0;
  TOutputStreamRec** OutputStreams = nullptr;
  int32_t OutputStreamCount = 0;
  TOutputFileRec** OutputFiles = nullptr;
  int32_t OutputFileCount = 0;
  TFilterGraphRec** FilterGraphs = nullptr;
  int32_t FilterGraphCount = 0;
};

// 1 when one of the graph's input filters is fed by Ist.
int32_t GraphUsesInputStream(const TFilterGraphRec* Fg, const TInputStreamRec* Ist);
// The filter's name, with ":" and the pad's name when the filter has several pads on that side.
std::string DescribePad(const AVFilterContext* Filter, int32_t PadIndex, bool Input);

// FFmpeg's I/O interrupt callbacks; Opaque is the task. 1 interrupts the operation.
extern "C" int ReadInterruptCallback(void* Opaque);
extern "C" int WriteInterruptCallback(void* Opaque);

class TCustomFFmpeg;
class TPreviewer;
class TBitmap;

// The thread a task runs on when it is started threaded.
class TConvertThread : public TThread {
public:
  explicit TConvertThread(TCustomFFmpeg* Task);

protected:
  void Execute() override;

private:
  TCustomFFmpeg* FTask;
};

// Handlers a task calls; the task is always the sender. Audio hooks: first data plane, sample format,
// channels, sample rate, byte size, time in microseconds. Video hooks: the bitmap, stop-hook and update
// (by reference), time, frame count. Frame hooks: the picture, time, width, height, frame count, pixel
// format. Progress: task index, expected duration, position, size, bitrate, quality, fps, frame number.
using TTaskAudioHook = std::function<void(TCustomFFmpeg* Sender, const uint8_t* Data, int32_t SampleFormat,
                                          int32_t Channels, int32_t SampleRate, int32_t Size, int64_t Time)>;
using TTaskVideoHook = std::function<void(TCustomFFmpeg* Sender, TBitmap* Bitmap, bool& StopHook, bool& Update,
                                          int64_t Time, int32_t FrameNumber)>;
using TTaskFrameHook = std::function<void(TCustomFFmpeg* Sender, TAVPicture* Picture, int64_t Time, int32_t Width,
                                          int32_t Height, int32_t FrameNumber, int32_t PixFmt)>;
using TTaskPreviewHandler = std::function<void(TCustomFFmpeg* Sender, TBitmap* Bitmap, int64_t Time, int32_t FrameNumber)>;
using TTaskProgressHandler =
    std::function<void(TCustomFFmpeg* Sender, int32_t TaskIndex, int64_t ExpectedDuration, int64_t Position, int64_t Size,
                       float Bitrate, float Quality, int32_t Fps, int32_t FrameNumber)>;
using TTaskTerminateHandler = std::function<void(TCustomFFmpeg* Sender)>;

// One transcoding task: its tables, the engine that runs them, and its control from other threads.
class TCustomFFmpeg : public TCustomFFmpegOpt {
public:
  TCustomFFmpeg();
  ~TCustomFFmpeg() override;

  // Releases every table, closing encoders, files and graphs; an output file left empty is deleted.
  void ReleaseTables();
  // Splits Value at "|" (when it holds one) or at blanks into the hook library's path and arguments and
  // adds the hook; raises "Failed to add video hook function: <value>" when it is refused.
  int32_t AddFrameHookLibrary(const std::string& Value) override;

  // The codec contexts this task opened, so that they are closed once whatever happens. Every
  // operation takes the codec-list lock shared by all tasks.
  void AddOpenEncoder(TOutputStreamRec* Ost);
  void RemoveOpenEncoder(TOutputStreamRec* Ost);
  // Closes the encoder of every listed stream that is encoding, marks it closed and empties the list.
  void CloseOpenEncoders();
  // Closes the encoders of the first Count output streams that are encoding and still open.
  void CloseEncoders(int32_t Count);
  void AddOpenDecoder(TInputStreamRec* Ist);
  void RemoveOpenDecoder(TInputStreamRec* Ist);
  void CloseOpenDecoders();
  size_t OpenEncoderCount() const;
  // Opens the decoder of input stream Index when it is needed; 0, or an error code with Message set.
  int32_t OpenInputDecoder(int32_t Index, std::string& Message);
  // Opens every input stream's decoder; on the first failure every encoding output stream has its
  // encoder closed (once) and leaves the open-encoder list. 0, or the decoder's code and Message.
  int32_t OpenInputDecoders(std::string& Message);
  // Stream copy: Ost's stream and context take Ist's parameters and a time base fit for Output. 0, or
  // a negative code with the last error set.
  int32_t CopyStreamParameters(TOutputStreamRec* Ost, TInputStreamRec* Ist, const AVFormatContext* Output);
  // The input stream an output stream is made from; nullptr when it has none.
  TInputStreamRec* SourceStreamOf(const TOutputStreamRec* Ost) const;
  // Logs the output formats and, one line each, how every stream is mapped.
  void DumpStreamMapping();
  // Turns the filled tables into a running pipeline: checks the outputs, configures the graphs, derives
  // and opens every encoder, opens the decoders and writes the headers. 0, or a negative code with the
  // last error set or a message logged.
  int32_t PrepareTranscode();
  int64_t ExtraDataTotal = 0;
  size_t OpenDecoderCount() const;
  void SetScalerFlags(int32_t Flags);
  int32_t SetScalerFlagsOption(const std::string& Value) override;

  // The run (on the calling thread): prepares, loops until every output is done or a stop is asked,
  // drains, flushes, writes the trailers and reports. Raises FFmpegException when preparing fails.
  void RunTranscode();
  // One scheduling step: 0, AVERROR(EAGAIN), AVERROR_EOF or an error.
  int32_t Step();
  // The output stream of the current range that is furthest behind; nullptr when all wait or are done.
  TOutputStreamRec* PickOutputStream();
  bool AnyOutputWanted();
  int32_t ReadInputPacket(int32_t FileIndex);
  // Decodes Packet (nullptr drains) and hands it to the stream copies; 0 or an error.
  int32_t DecodeInputPacket(TInputStreamRec* Ist, const AVPacket* Packet);
  void ReportNewStream(int32_t FileIndex, const AVPacket* Packet);
  bool CopyAllowed(const TInputStreamRec* Ist, const TOutputStreamRec* Ost) const;
  void UpdateJoinRange();
  // Join mode, at the end of an input that is not the last: drains its decoders into the group's graphs
  // and encoders, closes them, and moves the range on to the next group, whose streams carry on the
  // timing of the one before and whose input's timestamps follow the finished group's length.
  void MoveToNextInput(TInputFileRec* Finished);
  // Join mode: the first group's encoders, flushed at the end of an input, are replaced by fresh ones
  // set up the same way (every group writes through them).
  void ReopenEncodersForNextInput();
  // "threads": 1 for MJPEG, "auto" when the options do not say.
  void SetEncoderThreads(TOutputStreamRec* Ost);

  int32_t PullFilteredFrames();
  void EncodeVideoFrame(TOutputFileRec* Of, TOutputStreamRec* Ost, AVFrame* Frame);
  void EncodeAudioFrame(TOutputFileRec* Of, TOutputStreamRec* Ost, AVFrame* Frame);
  void EncodeSubtitle(TOutputFileRec* Of, TOutputStreamRec* Ost, TInputStreamRec* Ist, AVSubtitle* Subtitle);
  // Takes the packet's data; the packet is left empty.
  void WritePacket(AVFormatContext* Context, AVPacket* Packet, TOutputStreamRec* Ost);
  void CopyPacket(TInputStreamRec* Ist, TOutputStreamRec* Ost, const AVPacket* Packet);
  void CloseOutputStream(TOutputStreamRec* Ost);
  bool WithinRecordingTime(TOutputStreamRec* Ost);
  void FlushEncoders();
  // Drains the bitstream filters of the current range's streams at their end (once per stream).
  void FlushBitstreamFilters();
  // Opens Ost's bitstream filters on the stream's final parameters; the last one's output parameters
  // become the stream's. 0, or a negative code with the last error set.
  int32_t InitBitstreamFilters(TOutputStreamRec* Ost);
  // Two-pass encoding: pass 1 opens the log file "<prefix>-<Index>.log" ("ffencoder2pass" without a
  // prefix) the encoder's statistics go to, pass 2 hands its text to the encoder (x264 is only told the
  // name). 0, or a negative code with the last error set.
  int32_t PrepareTwoPassLog(TOutputStreamRec* Ost, int32_t Index);
  void WriteVideoStats(TOutputStreamRec* Ost, int32_t FrameSize);
  // The progress line, block and handler call; TaskIndex is -1 on the last report.
  void ReportProgress(int32_t TaskIndex, bool IsLast, int64_t Now, int64_t StartClock);

  // Control. Start refuses a task that runs or ran; with Threaded it returns the worker, suspended.
  TConvertThread* Start(bool Threaded, TThreadPriority Priority = tpNormal);
  void Stop(bool Wait);
  void RunTask();
  void Cleanup();
  void ResetPreview();
  int32_t PreviewFlags() const override;
  // Called from the worker's own preview step only.
  void ApplyPreviewFlags(int32_t Flags);
  // The preview window's owner while previews are shown in a window; nullptr otherwise.
  TPreviewer* Previewer() const { return FPreviewer.get(); }
  // From any thread: takes effect at the next picture and never waits for the worker.
  void SetPreviewFlags(int32_t Flags) override;
  void SetProgressInterval(int64_t Microseconds) override { ProgressInterval = Microseconds; }
  void Run() override { Start(false); }
  void StartThread(TThreadPriority Priority) override;
  bool Completed() const override { return Succeeded.load(); }
  bool ExceptionRaised() const override { return Failed.load(); }
  std::string ExceptionMessage() const override { return FailureText; }

  // Points the handlers at the encoder's dispatchers, which raise its events for this task. Hooks are
  // only set for the events the encoder has when this is called. Progress values go in the order the
  // engine passes them: task index, bitrate and quality (rounded), fps, frame number; expected
  // duration, position, size.
  void AttachToEncoder(TCustomEncoder* Encoder);

  // Hooks and preview on the picture path.
  void PreprocessInputPicture(TInputStreamRec* Ist, AVFrame* Frame);
  // With a video or frame output hook set: the picture (made writable) passes them; Converted tells
  // whether the preview converter now holds it.
  void ApplyOutputHooks(AVCodecContext* Encoder, AVFrame* Frame, int64_t Time, int32_t FrameNumber, bool& Converted);
  void RunVideoHook(TTaskVideoHook& Handler, TFormatConverter& Converter, AVFrame* Frame, int64_t Time,
                    int32_t FrameNumber, bool& Converted);
  void PreviewFrame(AVFrame* Frame, bool Converted, int64_t Time, int32_t FrameNumber);

  TFormatConverter HookConverter;
  TFormatConverter PreviewConverter;
  uint8_t* SubtitleOut = nullptr;
  FILE* StatsFile = nullptr;
  TFrameHookList FrameHooks;
  bool HasFrameHooks = false;

  // Handlers, set by the owner before the run.
  TTaskAudioHook OnAudioInputHook, OnAudioOutputHook;
  TTaskVideoHook OnVideoInputHook, OnVideoOutputHook;
  TTaskFrameHook OnFrameInputHook, OnFrameOutputHook;
  TTaskPreviewHandler OnPreviewBitmap;
  TTaskProgressHandler OnProgress;
  TTaskTerminateHandler OnTerminate;
  int64_t ProgressInterval = 500000;
  int64_t PreviewInterval = 100000;

  // Run state; written by the worker, read by any thread.
  std::atomic<bool> Running{false}, Succeeded{false}, Finished{false}, Failed{false};
  std::string FailureText;

  // Counters of the run.
  int64_t VideoSize = 0, AudioSize = 0, SubtitleSize = 0;
  int32_t DupCount = 0, DropCount = 0;
  bool DupOrDropChanged = false;
  uint32_t QpHistogram[52] = {};
  int64_t LastReportClock = -1;
  int64_t ExpectedDuration = -1;
  int32_t CurrentInput = 0;
  int32_t FirstOutput = 0, LastOutput = -1;
  int64_t RunStartClock = 0;
  // The last progress line (for tests and the log) and the progress output's last block.
  std::string LastProgressLine;

private:
  void FinishRun();
  void Finish();
  int32_t PullFromGraph(TFilterGraphRec* Fg, TInputStreamRec*& Chosen);
  bool AnyOutputUnavailable() const;
  void ClearTryAgain();
  void ThrottleToRealTime(TInputStreamRec* Ist);
  int32_t DecodeAudioFrame(TInputStreamRec* Ist, const AVPacket* Packet, bool& GotOutput);
  int32_t DecodeVideoFrame(TInputStreamRec* Ist, const AVPacket* Packet, bool& GotOutput);
  int32_t DecodeSubtitle(TInputStreamRec* Ist, const AVPacket* Packet, bool& GotOutput);
  int32_t SendToDecoder(TInputStreamRec* Ist, const AVPacket* Packet);
  void PushAudioFrame(TInputStreamRec* Ist, AVFrame* Frame);
  void PushVideoFrame(TInputStreamRec* Ist, AVFrame* Frame);
  void SendEndOfStream(TInputStreamRec* Ist);
  void SubtitleCanvasUpdate(TInputStreamRec* Ist, const AVSubtitle* Subtitle);
  void SubtitleCanvasPush(TInputStreamRec* Ist, int64_t Pts);
  void SubtitleCanvasHeartbeat(TInputStreamRec* Ist, int64_t Pts);
  void EncodeAndWrite(TOutputFileRec* Of, TOutputStreamRec* Ost, const AVFrame* Frame, bool Flushing);
  void AfterEncodedPacket(TOutputFileRec* Of, TOutputStreamRec* Ost, AVPacket* Packet, bool Flushing);
  // Sends Packet (nullptr: the end of the stream) into filter Index of the stream's chain and everything
  // that comes out on down the chain, the last filter's packets to the muxer. Takes the packet's data.
  void RunBitstreamFilters(AVFormatContext* Context, AVPacket* Packet, TOutputStreamRec* Ost, int32_t Index);
  void ReportBitstreamFilterError(const AVBSFContext* Filter, const TOutputStreamRec* Ost, int32_t Error);
  void MuxPacket(AVFormatContext* Context, AVPacket* Packet, TOutputStreamRec* Ost);

  std::list<TOutputStreamRec*> FOpenEncoders;
  std::list<TInputStreamRec*> FOpenDecoders;
  AVPacket* FEncodePacket = nullptr;
  AVPacket* FReadPacket = nullptr;
  AVPacket* FDecodePacket = nullptr;

  // Control and preview.
  friend class TConvertThread;
  std::atomic<TConvertThread*> FThread{nullptr};
  std::atomic<bool> FWorkerEntered{false};
  std::atomic<bool> FThreadCreated{false};
  TEvent FDone{nullptr, true, true, ""};
  std::unique_ptr<TPreviewer> FPreviewer;
  int64_t FLastPreviewClock = 0;
  int32_t FPreviewFlags = 0;
  // Flags asked from outside; picked up by the worker at its next picture.
  std::atomic<int32_t> FRequestedPreviewFlags{0};
  std::atomic<bool> FPreviewFlagsChanged{false};
  std::unique_ptr<TBitmap> FHookBitmap, FPreviewBitmap;
  TCriticalSection FPreviewLock;
};

// How many times a picture Delta frame durations after the next output time is written under a sync
// method (0 pass-through, 1 constant rate, 2 variable rate, 255 drop timestamps); -1 for any other.
int32_t VideoSyncFrameCount(int32_t Method, double Delta);
// -10 log10(Error): the peak signal-to-noise ratio of a mean squared error over the squared peak.
double PeakSignalToNoise(double Error);
// Takes quality, picture type and error sums from an encoded packet's side data, when it has them.
void ReadQualityStats(TOutputStreamRec* Ost, const AVPacket* Packet);

// Draws a bitmap subtitle rectangle onto a 32-bit canvas; palette indices at or beyond the rectangle's
// colour count draw transparent. False (with its log line) when the rectangle is not a bitmap or
// does not lie inside the canvas.
bool SubtitleCanvasDrawRect(AVFrame* Canvas, const AVSubtitleRect* Rect);

}  // namespace zv
