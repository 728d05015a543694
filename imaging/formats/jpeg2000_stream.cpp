#include "imaging/formats/jpeg2000_stream.h"

#include <openjpeg.h>

#include "platform/streams.h"

namespace zv {

namespace {

constexpr OPJ_SIZE_T J2000StreamEnd = static_cast<OPJ_SIZE_T>(-1);

OPJ_SIZE_T J2000StreamRead(void* Buffer, OPJ_SIZE_T Count, void* Data) {
  auto* B = static_cast<TJ2000Stream::TBinding*>(Data);
  try {
    const int64_t Got = B->Stream->Read(Buffer, static_cast<int64_t>(Count));
    return Got > 0 ? static_cast<OPJ_SIZE_T>(Got) : J2000StreamEnd;
  } catch (...) {
    B->Failed = true;
    return J2000StreamEnd;
  }
}

// A write taken in part is a failure: OpenJPEG would otherwise offer the rest again and again.
OPJ_SIZE_T J2000StreamWrite(void* Buffer, OPJ_SIZE_T Count, void* Data) {
  auto* B = static_cast<TJ2000Stream::TBinding*>(Data);
  try {
    if (B->Stream->Write(Buffer, static_cast<int64_t>(Count)) == static_cast<int64_t>(Count)) return Count;
  } catch (...) {
  }
  B->Failed = true;
  return J2000StreamEnd;
}

// Moves to Offset counted from the position at opening; an input never moves past its end, an output
// grows to a position past its end (OpenJPEG leaves room for a box header it writes later).
bool J2000StreamMoveTo(TJ2000Stream::TBinding* B, int64_t Offset, bool Input) {
  try {
    const int64_t Target = B->Base + Offset;
    if (Offset < 0 || (Input && Target > B->End)) return false;
    if (!Input && Target > B->Stream->Size()) B->Stream->SetSize(Target);
    return B->Stream->Seek(Target, soBeginning) == Target;
  } catch (...) {
    B->Failed = true;
    return false;
  }
}

OPJ_OFF_T J2000StreamSkip(OPJ_OFF_T Count, void* Data, bool Input) {
  auto* B = static_cast<TJ2000Stream::TBinding*>(Data);
  int64_t Here = 0;
  try {
    Here = B->Stream->Position() - B->Base;
  } catch (...) {
    B->Failed = true;
    return -1;
  }
  return J2000StreamMoveTo(B, Here + Count, Input) ? Count : -1;
}

OPJ_OFF_T J2000StreamSkipInput(OPJ_OFF_T Count, void* Data) { return J2000StreamSkip(Count, Data, true); }
OPJ_OFF_T J2000StreamSkipOutput(OPJ_OFF_T Count, void* Data) { return J2000StreamSkip(Count, Data, false); }

OPJ_BOOL J2000StreamSeekInput(OPJ_OFF_T Offset, void* Data) {
  return J2000StreamMoveTo(static_cast<TJ2000Stream::TBinding*>(Data), Offset, true) ? OPJ_TRUE : OPJ_FALSE;
}
OPJ_BOOL J2000StreamSeekOutput(OPJ_OFF_T Offset, void* Data) {
  return J2000StreamMoveTo(static_cast<TJ2000Stream::TBinding*>(Data), Offset, false) ? OPJ_TRUE : OPJ_FALSE;
}

}  // namespace

TJ2000Stream::TJ2000Stream(TStream* Stream, bool Input) {
  FBinding.Stream = Stream;
  FBinding.Base = Stream->Position();
  FBinding.End = Input ? Stream->Size() : 0;
  FHandle = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, Input ? OPJ_TRUE : OPJ_FALSE);
  if (FHandle == nullptr) return;
  // No release routine: the stream belongs to the caller.
  opj_stream_set_user_data(FHandle, &FBinding, nullptr);
  if (Input) {
    opj_stream_set_user_data_length(FHandle, static_cast<OPJ_UINT64>(FBinding.End > FBinding.Base ? FBinding.End - FBinding.Base : 0));
    opj_stream_set_read_function(FHandle, J2000StreamRead);
    opj_stream_set_skip_function(FHandle, J2000StreamSkipInput);
    opj_stream_set_seek_function(FHandle, J2000StreamSeekInput);
  } else {
    opj_stream_set_write_function(FHandle, J2000StreamWrite);
    opj_stream_set_skip_function(FHandle, J2000StreamSkipOutput);
    opj_stream_set_seek_function(FHandle, J2000StreamSeekOutput);
  }
}

TJ2000Stream::~TJ2000Stream() {
  if (FHandle != nullptr) opj_stream_destroy(FHandle);
}

}  // namespace zv
