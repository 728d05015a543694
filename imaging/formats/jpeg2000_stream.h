// The stream OpenJPEG reads and writes: one of the library's streams, from the position it stands at
// when the OpenJPEG stream is opened. Closing the OpenJPEG stream never closes or frees the library's
// stream, and nothing goes through a temporary file.
#pragma once

#include <cstdint>

typedef void* opj_stream_t;

namespace zv {

class TStream;

class TJ2000Stream {
public:
  // Input reads Stream from its position to its end; output writes from its position on.
  TJ2000Stream(TStream* Stream, bool Input);
  ~TJ2000Stream();
  TJ2000Stream(const TJ2000Stream&) = delete;
  TJ2000Stream& operator=(const TJ2000Stream&) = delete;

  // nullptr when OpenJPEG could not make its stream.
  opj_stream_t* Handle() const { return FHandle; }
  // A write the library's stream did not take whole, or an exception of that stream.
  bool Failed() const { return FBinding.Failed; }

  // What OpenJPEG's callbacks work on.
  struct TBinding {
    TStream* Stream = nullptr;
    int64_t Base = 0;  // the position at opening: OpenJPEG's offset 0
    int64_t End = 0;   // the end of an input
    bool Failed = false;
  };

private:
  TBinding FBinding;
  opj_stream_t* FHandle = nullptr;
};

}  // namespace zv
