#include "ffmpeg/ff_transcode_utils.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/sysutils.h"

namespace zv {

int32_t ReadFileToBuffer(const std::string& FileName, uint8_t*& Buffer, size_t& Size) {
  Buffer = nullptr;
  Size = 0;
  FILE* f = std::fopen(FileName.c_str(), "rb");
  if (!f) {
    av_log(nullptr, AV_LOG_ERROR, "Cannot read file \"%s\"\n", FileName.c_str());
    return -1;
  }
  int32_t result = 0;
  long length = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) length = std::ftell(f);
  if (length < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
    av_log(nullptr, AV_LOG_ERROR, "IO error\n");
    result = AVERROR(EIO);
  } else {
    const size_t size = static_cast<size_t>(length);
    auto* data = static_cast<uint8_t*>(av_malloc(size + 1));
    if (!data) {
      av_log(nullptr, AV_LOG_ERROR, "Could not allocate file buffer\n");
      result = AVERROR(ENOMEM);
    } else if (std::fread(data, 1, size, f) < size) {
      av_free(data);
      if (std::ferror(f)) {
        av_log(nullptr, AV_LOG_ERROR, "Error while reading file \"%s\"\n", FileName.c_str());
        result = AVERROR(EIO);
      } else {
        result = AVERROR_EOF;
      }
    } else {
      data[size] = 0;
      Buffer = data;
      Size = size + 1;
    }
  }
  std::fclose(f);
  return result;
}

void* GrowArray(void* Array, int32_t ElementSize, int32_t& Count, int32_t NewCount) {
  if (ElementSize <= 0 || NewCount < 0 || NewCount >= INT_MAX / ElementSize) throw Exception("Array too big.");
  if (NewCount <= Count) return Array;
  void* grown = av_realloc(Array, static_cast<size_t>(ElementSize) * static_cast<size_t>(NewCount));
  if (!grown) throw Exception("Could not alloc buffer.");
  std::memset(static_cast<uint8_t*>(grown) + static_cast<size_t>(ElementSize) * static_cast<size_t>(Count), 0,
              static_cast<size_t>(ElementSize) * static_cast<size_t>(NewCount - Count));
  Count = NewCount;
  return grown;
}

int32_t CheckStreamSpecifier(AVFormatContext* Context, AVStream* Stream, const std::string& Specifier) {
  return avformat_match_stream_specifier(Context, Stream, Specifier.c_str());
}

AVRational AVMulQ(AVRational A, AVRational B) {
  AVRational result{0, 1};
  av_reduce(&result.num, &result.den, int64_t(A.num) * B.num, int64_t(A.den) * B.den, INT_MAX);
  return result;
}

AVRational AVInvQ(AVRational Q) { return AVRational{Q.den, Q.num}; }

AVRational AVD2Q(double D, int32_t Max) {
  if (std::isnan(D)) return AVRational{0, 0};
  const int32_t sign = D < 0 ? -1 : 1;
  if (std::isinf(D)) return AVRational{sign, 0};
  const int exponent = std::max(0, static_cast<int>(std::floor(std::log2(std::fabs(D) + 1e-20))));
  // From 2^62 on no denominator is left to search with, and d * den no longer fits 64 bits.
  if (exponent > 61) return AVRational{sign, 0};
  const int64_t den = int64_t(1) << (61 - exponent);
  AVRational result{0, 1};
  av_reduce(&result.num, &result.den, static_cast<int64_t>(std::floor(D * static_cast<double>(den) + 0.5)), den, Max);
  return result;
}

std::string TsToStr(int64_t Ts) { return Ts == AV_NOPTS_VALUE ? std::string("NOPTS") : std::to_string(Ts); }

std::string TsToTimeStr(int64_t Ts, AVRational TimeBase) {
  if (Ts == AV_NOPTS_VALUE) return "NOPTS";
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", av_q2d(TimeBase) * static_cast<double>(Ts));
  return text;
}

AVRational BufferSinkFrameRate(const AVFilterContext* Context) {
  assert(Context && Context->filter && std::strcmp(Context->filter->name, "buffersink") == 0);
  return av_buffersink_get_frame_rate(Context);
}

int32_t MemCompare(const void* A, const void* B, size_t Length) {
  assert(A && B && Length != 0);
  const auto* a = static_cast<const uint8_t*>(A);
  const auto* b = static_cast<const uint8_t*>(B);
  for (size_t i = 0; i < Length; ++i)
    if (a[i] != b[i]) return a[i] > b[i] ? 1 : -1;
  return 0;
}

}  // namespace zv
