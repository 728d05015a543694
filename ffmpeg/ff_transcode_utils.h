// Small routines only the transcoder uses: reading a whole file, growing its tables, stream-specifier
// matching, rational arithmetic, time-stamp texts, the buffer sink's frame rate and a byte compare.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ffmpeg/avfilter_stubs.h"
#include "ffmpeg/avformat_stubs.h"
#include "ffmpeg/avutil_stubs.h"

namespace zv {

// Reads FileName whole into an av_malloc'ed buffer ended by a zero byte (Size counts that byte).
// 0, or a negative FFmpeg error code after an av_log error line; Buffer is nullptr on failure.
int32_t ReadFileToBuffer(const std::string& FileName, uint8_t*& Buffer, size_t& Size);

// Grows an av_malloc'ed array of Count elements to NewCount, zeroing the added ones; a smaller
// NewCount changes nothing. Raises Exception "Array too big." or "Could not alloc buffer.".
void* GrowArray(void* Array, int32_t ElementSize, int32_t& Count, int32_t NewCount);

template <typename T>
T* GrowArrayOf(T* Array, int32_t& Count, int32_t NewCount) {
  return static_cast<T*>(GrowArray(Array, static_cast<int32_t>(sizeof(T)), Count, NewCount));
}

// avformat_match_stream_specifier: 1 match, 0 no match, negative for a malformed specifier.
int32_t CheckStreamSpecifier(AVFormatContext* Context, AVStream* Stream, const std::string& Specifier);

AVRational AVMulQ(AVRational A, AVRational B);
AVRational AVInvQ(AVRational Q);
// The nearest rational of D with terms up to Max: 0/0 for NaN, +-1/0 for an infinite D or one too
// large for the 64-bit denominator of the search.
AVRational AVD2Q(double D, int32_t Max);

// "NOPTS" for AV_NOPTS_VALUE, else the decimal value.
std::string TsToStr(int64_t Ts);
// "NOPTS" for AV_NOPTS_VALUE, else the time in seconds as "%.6g".
std::string TsToTimeStr(int64_t Ts, AVRational TimeBase);

// The frame rate a "buffersink" filter receives.
AVRational BufferSinkFrameRate(const AVFilterContext* Context);

// 1, -1 or 0: the first differing byte decides. Both buffers are given and Length is not 0.
int32_t MemCompare(const void* A, const void* B, size_t Length);

}  // namespace zv
