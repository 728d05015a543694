// The progress report of a transcoding run: the log line, the key=value block for the progress output and
// the progress handler, throttled to the progress interval, and the size statistics at the end.
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "ffmpeg/ff_log.h"
#include "ffmpeg/ffmpeg_opt.h"

namespace zv {

namespace {

template <class... A>
void Append(std::string& Text, const char* Format, A... Args) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, Format, Args...);
  Text += buffer;
}

}  // namespace

void TCustomFFmpeg::ReportProgress(int32_t TaskIndex, bool IsLast, int64_t Now, int64_t StartClock) {
  if (!PrintStats && !IsLast && !ProgressAvio && !OnProgress) return;
  if (!IsLast) {
    if (LastReportClock == -1) {
      LastReportClock = Now;
      return;
    }
    if (Now - LastReportClock < ProgressInterval) return;
    LastReportClock = Now;
  }
  if (OutputFileCount < 1) return;

  // Only an output the muxer writes through its own file has a size.
  int64_t size = -1;
  AVFormatContext* oc = OutputFiles[0]->Context;
  if (oc && oc->pb && !(oc->oformat->flags & AVFMT_NOFILE)) {
    size = avio_size(oc->pb);
    if (size <= 0) size = avio_seek(oc->pb, 0, SEEK_CUR);
  }

  int32_t first = 0, last = OutputStreamCount - 1;
  if (JoinMode && JoinStreamsPerInput > 0) {
    const int32_t group = TaskIndex >= 0 ? TaskIndex : std::max(InputFileCount - 1, 0);
    first = group * JoinStreamsPerInput;
    last = std::min(first + JoinStreamsPerInput, OutputStreamCount) - 1;
  }

  std::string line, block;
  bool video = false;
  int64_t outputTime = INT64_MIN, position = 0;
  int32_t fps = -1, frameNumber = -1;
  float quality = -1;
  const double seconds = double(Now - StartClock) / 1000000.0;
  for (int32_t i = first; i <= last; ++i) {
    TOutputStreamRec* ost = OutputStreams[i];
    const AVCodecContext* enc = ost->EncoderContext;
    const AVMediaType type = ost->Stream->codecpar->codec_type;
    const float q = !ost->StreamCopy && ost->HasCodedFrame ? float(ost->CodedQuality) / FF_QP2LAMBDA : -1.0f;
    if (video && type == AVMEDIA_TYPE_VIDEO) {
      Append(line, "q=%2.1f ", double(q));
      Append(block, "stream_%d_%d_q=%.1f\n", ost->FileIndex, ost->Index, double(q));
    }
    if (!video && type == AVMEDIA_TYPE_VIDEO) {
      if (ost->FrameNumber < 1 || ost->NoReport) continue;
      frameNumber = ost->FrameNumber;
      const double rate = seconds > 1 ? frameNumber / seconds : 0;
      fps = int32_t(std::lrint(rate));
      quality = q;
      Append(line, "frame=%5d fps=%3.*f q=%3.1f ", frameNumber, rate < 9.95, rate, double(q));
      Append(block, "frame=%d\nfps=%.1f\nstream_%d_%d_q=%.1f\n", frameNumber, rate, ost->FileIndex, ost->Index, double(q));
      if (IsLast) line += "L";
      if (QpHist)
        for (int j = 0; j < 32; ++j) Append(line, "%X", int(std::lrint(std::log2(double(QpHistogram[j]) + 1))));
      if (enc && (enc->flags & AV_CODEC_FLAG_PSNR) && (ost->HasCodedFrame || IsLast)) {
        double errorSum = 0, scaleSum = 0;
        line += "PSNR=";
        for (int j = 0; j < 3; ++j) {
          double error, scale = double(enc->width) * enc->height * 255.0 * 255.0;
          if (IsLast) {
            error = double(enc->error[j]);
            scale *= frameNumber;
          } else {
            error = double(ost->CodedError[j]);
          }
          if (j) scale /= 4;
          errorSum += error;
          scaleSum += scale;
          const double p = PeakSignalToNoise(error / scale);
          Append(line, "%c:%2.2f ", "YUV"[j], p);
          Append(block, "stream_%d_%d_psnr_%c=%2.2f\n", ost->FileIndex, ost->Index, "yuv"[j], p);
        }
        const double p = PeakSignalToNoise(errorSum / scaleSum);
        Append(line, "*:%2.2f ", p);
        Append(block, "stream_%d_%d_psnr_all=%2.2f\n", ost->FileIndex, ost->Index, p);
      }
      video = true;
    }
    if (ost->CurPts != AV_NOPTS_VALUE) {
      position = av_rescale_q(ost->CurPts, ost->Stream->time_base, MicrosecondBase);
      if (IsLast || !ost->Finished) outputTime = std::max(outputTime, position);
    }
  }
  // Nothing written yet counts as time 0.
  const int64_t time = outputTime == INT64_MIN ? 0 : outputTime;
  const int64_t totalSeconds = time / AV_TIME_BASE, micro = time % AV_TIME_BASE;
  const int hours = int(totalSeconds / 3600), minutes = int(totalSeconds / 60 % 60), secs = int(totalSeconds % 60);
  const double bitrate = time && size >= 0 ? double(size) * 8 / (double(time) / 1000) : -1;

  if (size < 0)
    line += "size=N/A time=";
  else
    Append(line, "size=%8.0fkB time=", double(size) / 1024);
  Append(line, "%02d:%02d:%02d.%03d ", hours, minutes, secs, int(micro * 1000 / AV_TIME_BASE));
  if (bitrate < 0)
    line += "bitrate=N/A";
  else
    Append(line, "bitrate=%6.1fkbits/s", bitrate);
  if (DupCount || DropCount) Append(line, " dup=%d drop=%d", DupCount, DropCount);

  if (size < 0)
    block += "total_size=N/A\n";
  else
    Append(block, "total_size=%" PRId64 "\n", size);
  Append(block, "out_time_ms=%" PRId64 "\n", time);
  Append(block, "out_time=%02d:%02d:%02d.%06d\n", hours, minutes, secs, int(micro));
  Append(block, "dup_frames=%d\ndrop_frames=%d\n", DupCount, DropCount);
  Append(block, "progress=%s\n", IsLast ? "end" : "continue");

  LastProgressLine = line;
  TFFLogger* log = GetFFLogger();
  if (DupOrDropChanged && OnProgress) {
    DupOrDropChanged = false;
    log->Log(this, llInfo, line);
  }
  if (OnProgress)
    OnProgress(this, IsLast ? -1 : TaskIndex, ExpectedDuration, position, size > 0 ? size : 0, float(bitrate), quality,
               video ? fps : -1, video ? frameNumber : -1);
  if ((PrintStats && !OnProgress) || IsLast) log->Log(this, llInfo, line);
  if (ProgressAvio) {
    avio_write(ProgressAvio, reinterpret_cast<const unsigned char*>(block.data()), int(block.size()));
    avio_flush(ProgressAvio);
    if (IsLast) avio_closep(&ProgressAvio);
  }
  if (IsLast) {
    const int64_t total = VideoSize + AudioSize + SubtitleSize + ExtraDataTotal;
    const double overhead = total ? 100.0 * double(std::max<int64_t>(size, 0) - total) / double(total) : 0;
    char text[256];
    std::snprintf(text, sizeof text, "video:%1.0fkB audio:%1.0fkB subtitle:%1.0f global headers:%1.0fkB muxing overhead %f%%\r\n",
                  double(VideoSize) / 1024, double(AudioSize) / 1024, double(SubtitleSize) / 1024,
                  double(ExtraDataTotal) / 1024, overhead);
    log->Log(this, llInfo, text);
    if (!total)
      log->Log(this, llWarning, "Output file is empty, nothing was encoded (check -ss / -t / -frames parameters if used)");
  }
}

}  // namespace zv
