// One transcoding task's settings, its tables of input and output files, streams and filter graphs, the
// I/O interrupt callbacks handed to FFmpeg, and the way every failure of the engine is reported.
#pragma once

#include <atomic>
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
#include "ffmpeg/ff_utils.h"
#include "ffmpeg/format_converter.h"
#include "ffmpeg/frame_hook.h"
#include "platform/objects.h"
#include "platform/sysutils.h"

namespace zv {

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
  AVBSFContext** BitstreamFilters;
  int32_t BitstreamFilterCount;
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

class TCustomFFmpegOpt : public TObject {
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

// The engine's part of a task that the table release needs.
class TCustomFFmpeg : public TCustomFFmpegOpt {
public:
  TCustomFFmpeg() = default;
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

  TFormatConverter HookConverter;
  TFormatConverter PreviewConverter;
  uint8_t* SubtitleOut = nullptr;
  FILE* StatsFile = nullptr;
  TFrameHookList FrameHooks;
  bool HasFrameHooks = false;

private:
  std::list<TOutputStreamRec*> FOpenEncoders;
  std::list<TInputStreamRec*> FOpenDecoders;
};

}  // namespace zv
