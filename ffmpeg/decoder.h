// The video decoder components: TCustomDecoder opens a media file through FFmpeg and reports its file
// and stream information; TFFDecoder decodes its video stream frame by frame, seeks, steps forward and
// back, and copies the current picture into a 32-bit TBitmap.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ffmpeg/base_component.h"
#include "ffmpeg/ff_utils.h"
#include "ffmpeg/format_converter.h"
#include "ffmpeg/swresample_stubs.h"
#include "platform/sysutils.h"

namespace zv {

class TBitmap;

using TBeforeFindStreamInfoEvent = std::function<void(TObject* Sender, AVFormatContext* AFormatContext)>;

// What the container says about the whole file.
struct TFileStreamInfo {
  int64_t StartTime = AV_NOPTS_VALUE;  // microseconds
  int64_t Duration = -1;               // microseconds
  int32_t BitRate = -1;
  int32_t Year = -1;
  int32_t Track = -1;
  std::string Title;
  std::string Author;
  std::string Copyright;
  std::string Comment;
  std::string Album;
  std::string Genre;
};

// What one video stream says about itself.
struct TVideoStreamInfo {
  std::string Language;
  std::string Codec;
  int64_t StartTime = -1;  // stream time-base units
  int64_t StartTimeUs = -1;
  int64_t Duration = -1;  // stream time-base units
  int64_t DurationUs = -1;
  int32_t BitRate = -1;
  int32_t Height = -1;
  int32_t Width = -1;
  float SampleAspect = -1.0f;
  float DisplayAspect = -1.0f;
  AVRational SampleAspectRatio{0, 1};
  AVRational DisplayAspectRatio{0, 1};
  int32_t PixelFormat = -1;
  AVRational FrameRate{0, 1};
};

class TCustomDecoder : public TFFBaseComponent {
public:
  explicit TCustomDecoder(TComponent* AOwner);
  ~TCustomDecoder() override;

  // Opens FileName (UTF-8), probing its format unless FormatName names one. False with LastErrorMsg
  // when it cannot be opened; raises "Library %s not loaded." when the libraries are missing.
  bool OpenFile(const std::string& FileName, const std::string& FormatName = "");
  virtual void CloseFile();
  // Adopts a context opened elsewhere; the decoder never closes or seeks it.
  virtual void AttachFormatContext(AVFormatContext* Context);
  virtual void RefreshStreamInfo();

  // The short name of the input format. Every still-image demuxer ("image2" and the "*_pipe" ones)
  // answers "image2", and a file without a video stream answers "mp3", so that a caller refusing
  // those two names refuses every file it cannot turn into frames.
  std::string GetInputFormatName();
  void GetFileInfo(TFileStreamInfo& Info);
  void GetVideoStreamInfo(TVideoStreamInfo& Info) { GetVideoStreamInfoByIndex(-1, Info); }
  // Index -1 is the first video stream.
  void GetVideoStreamInfoByIndex(int32_t Index, TVideoStreamInfo& Info);
  bool IsVideoStream(int32_t Index);
  void CheckLibrariesLoaded() const;

  // LastErrorMsg := Text, logged at the logger level of FFmpeg level AVLevel (16 error, 24 warning,
  // 32 info).
  void SetLastError(int32_t AVLevel, const std::string& Text);
  template <typename... A>
  void SetLastErrorFmt(int32_t AVLevel, std::string_view Fmt, const A&... Args) {
    SetLastError(AVLevel, Format(Fmt, Args...));
  }
  void DoBeforeFindStreamInfo();

  AVFormatContext* FormatContext() const { return FFormatContext; }
  bool OwnsFormatContext() const { return FOwnsFormatContext; }
  const std::string& LastErrorMsg() const { return FLastErrorMsg; }
  int64_t FileSize() const { return FFileSize; }
  int32_t StreamCount() const { return FStreamCount; }
  int32_t ProgramCount() const { return FProgramCount; }
  int32_t AudioStreamCount() const { return FAudioStreamCount; }
  int32_t VideoStreamCount() const { return FVideoStreamCount; }
  int32_t SubtitleStreamCount() const { return FSubtitleStreamCount; }
  int32_t FirstAudioStreamIndex() const { return FFirstAudioStreamIndex; }
  int32_t FirstVideoStreamIndex() const { return FFirstVideoStreamIndex; }
  int32_t FirstSubtitleStreamIndex() const { return FFirstSubtitleStreamIndex; }
  bool TriggerEventInMainThread() const { return FTriggerEventInMainThread; }
  void SetTriggerEventInMainThread(bool Value) { FTriggerEventInMainThread = Value; }
  // av_gettime() when the current blocking FFmpeg call began; 0 cancels the call at once, the largest
  // value lifts the time limit.
  int64_t ReadStartTime() const { return FReadStartTime; }
  void SetReadStartTime(int64_t Value) { FReadStartTime = Value; }
  TFFOptions& Options() { return *FOptions; }

  TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;

  const TPropList& PublishedProps() const override;

protected:
  // Whether the open input is a still image (a demuxer named "image2" or ending in "_pipe").
  bool IsStillImageInput() const;

  AVFormatContext* FFormatContext = nullptr;
  std::unique_ptr<TFFOptions> FOptions;
  bool FOwnsFormatContext = false;
  std::string FLastErrorMsg;
  int64_t FFileSize = -1;
  int32_t FStreamCount = -1;
  int32_t FProgramCount = -1;
  int32_t FAudioStreamCount = -1;
  int32_t FVideoStreamCount = -1;
  int32_t FSubtitleStreamCount = -1;
  int32_t FFirstAudioStreamIndex = -1;
  int32_t FFirstVideoStreamIndex = -1;
  int32_t FFirstSubtitleStreamIndex = -1;
  bool FTriggerEventInMainThread = true;
  int64_t FReadStartTime = 0;

private:
  // Closes and forgets a context the open made, after a failed step.
  bool FailOpen();
};

// FFmpeg's I/O interrupt callback; Opaque is the decoder. 1 makes FFmpeg abort the blocking call.
extern "C" int DecoderInterruptCallback(void* Opaque);

// How a seek looks for its target; handed to FFmpeg as AVSEEK_FLAG_BACKWARD, _BYTE, _ANY and _FRAME.
enum TSeekFlag : uint8_t { sfBackward, sfByte, sfAny, sfFrame };
using TSeekFlags = TSet<TSeekFlag>;

class TFFDecoder : public TCustomDecoder {
public:
  explicit TFFDecoder(TComponent* AOwner);
  ~TFFDecoder() override;

  void CloseFile() override;
  void RefreshStreamInfo() override;
  virtual void CloseResampler();
  // Position is in microseconds from the stream's start or, with sfByte, a byte offset. A backward seek
  // by time is checked: the picture the next Decode gives is never later than Position, unless the
  // stream has nothing earlier.
  virtual bool Seek(TSeekFlags Flags, int64_t Position);

  // Stream index -1 means the selected video stream, else the first one.
  bool Decode(int32_t StreamIndex = -1);
  bool DecodeNextKeyFrame(int32_t StreamIndex = -1);
  bool DecodePreviousFrame(int32_t StreamIndex = -1);
  bool DecodePreviousKeyFrame(int32_t StreamIndex = -1);
  // The current picture as a 32-bit bitmap, rows top to bottom as in the picture.
  bool CopyToBitmap(TBitmap* Bitmap);

  AVCodecContext* VideoCodecContext() const { return FVideoCodecContext; }
  TFormatConverter& FormatConverter() { return *FFormatConverter; }
  int32_t VideoStreamIndex() const { return FVideoStreamIndex; }
  AVRational FrameRate() const { return FFrameRate; }
  // The end of the video stream has been reported (the property EOF; that name is the C library's macro).
  bool Eof() const { return FEOF; }
  bool EndOfInput() const { return FEndOfInput; }
  int32_t PictureFormat() const { return FPictureFormat; }
  int32_t PictureWidth() const { return FPictureWidth; }
  int32_t PictureHeight() const { return FPictureHeight; }
  bool KeyFrame() const { return FKeyFrame; }
  int32_t PictureType() const { return FPictureType; }
  // Microseconds from the video stream's start; AV_NOPTS_VALUE when there is no picture.
  int64_t CurrentPTS() const { return FCurrentPTS; }
  int64_t PreviousPTS() const { return FPreviousPTS; }
  int64_t PacketDTS() const { return FPacketDTS; }
  int64_t PacketPTS() const { return FPacketPTS; }
  int32_t PacketStreamIndex() const { return FPacketStreamIndex; }
  int64_t PacketPos() const { return FPacketPos; }
  bool PictureReady() const { return FPictureReady; }
  const uint8_t* const* PictureData() const { return FPictureData; }
  const int* PictureLineSize() const { return FPictureLineSize; }

protected:
  int32_t SelectVideoStream(int32_t Index);
  AVCodecContext* OpenVideoCodec(int32_t Index);
  // FFmpeg's result; 1 when a picture came out.
  int DecodeVideoPacket(AVCodecContext* Context, AVPacket* Packet);
  // False when the picture cannot be kept (no memory, a format without a size).
  bool StorePicture(const AVFrame* Frame);
  void ResetVideoState();
  bool CheckSeekable();
  bool CanSeek();

private:
  // The picture state that a checked seek holds back for the next Decode.
  struct TPictureState {
    int32_t Format, Width, Height;
    bool KeyFrame;
    int32_t PictureType;
    int64_t CurrentPTS, PacketDTS, PacketPTS, PacketPos;
  };

  void CloseVideoCodec();
  // Decode without handing out a held picture.
  bool DecodeNext(int32_t StreamIndex);
  // Whether a picture the codec gave is shown: after a seek, pictures before the first key picture and
  // pictures timed before it are not.
  bool AcceptPicture(const AVFrame* Frame);
  // The frame's time in stream time-base units, AV_NOPTS_VALUE when it has none.
  int64_t FrameTimestamp(const AVFrame* Frame) const;
  // Microseconds from the stream's start to stream time Ts.
  int64_t StreamTimeToUs(int64_t Ts) const;
  int64_t UsToStreamTime(int64_t Us) const;
  // The container's seek to Target (stream time-base units, or bytes) after dropping the codec's
  // state; the other direction when that fails. FFmpeg's result.
  int SeekContainer(int Flags, int64_t Target);
  // A backward seek to Us microseconds and the first picture after it; false when none comes.
  bool Probe(int64_t Us);
  // The first picture of the stream.
  bool ProbeStart();
  // Puts the decoder on the picture showing at Us: checked backward seek, then decoding forward.
  bool PositionAt(int32_t StreamIndex, int64_t Us);
  // How far a picture time may lie past a target and still be the picture at the target: containers
  // round their times (Matroska to the millisecond).
  int64_t TimeSlackUs() const;
  // One frame duration in microseconds, never below 1.
  int64_t StepDurationUs() const;

  AVCodecContext* FVideoCodecContext = nullptr;
  int32_t FCodecStreamIndex = -1;  // the stream VideoCodecContext decodes
  std::unique_ptr<TFormatConverter> FFormatConverter;
  int32_t FVideoStreamIndex = -1;
  AVRational FFrameRate{0, 0};
  bool FEOF = false;
  bool FEndOfInput = false;
  int32_t FPictureFormat = -1;
  int32_t FPictureWidth = -1;
  int32_t FPictureHeight = -1;
  bool FKeyFrame = false;
  int32_t FPictureType = 0;
  int64_t FCurrentPTS = AV_NOPTS_VALUE;
  int64_t FPacketDTS = AV_NOPTS_VALUE;
  int64_t FPacketPTS = AV_NOPTS_VALUE;
  int32_t FPacketStreamIndex = -1;
  int64_t FPacketPos = -1;
  bool FPictureReady = false;
  uint8_t* FPictureData[4] = {};
  int FPictureLineSize[4] = {};
  uint8_t* FPictureBuffer = nullptr;
  int FPictureBufferSize = 0;
  int64_t FPreviousPTS = AV_NOPTS_VALUE;
  SwrContext* FResampler = nullptr;
  // Work objects reused from one packet to the next.
  AVPacket* FPacket = nullptr;
  AVFrame* FFrame = nullptr;
  // Counts stored pictures, so that a stepping loop sees whether a decode brought a new one.
  uint64_t FPictureCount = 0;
  // The read result that ended the input; reported once the codec has given up its last frame.
  int FInputEndCode = 0;
  // A checked seek keeps the first picture after it here until Decode hands it out.
  bool FHeld = false;
  TPictureState FHeldState{};
  // After a seek: no key picture shown yet; the time of the first one; pictures dropped meanwhile.
  bool FAwaitKey = false;
  int64_t FSeekFloor = AV_NOPTS_VALUE;
  int FDropped = 0;
  // The container times the video packets only by decoding order (AVI): presentation times are those
  // less the codec's reordering delay. Decided at the first packet read.
  bool FDecodeTimesOnly = false;
  bool FTimesKnown = false;
};

}  // namespace zv
