// What the image library hands to the JPEG library: the error manager that turns its errors into
// EIEJpegException and the abort byte, source and destination managers over TStream, the collector of
// ICC profiles stored in APP2 segments, and the thin operations the camera-raw decoder calls.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

#include "platform/sysutils.h"

namespace zv {

class TStream;
class TIOParamsVals;

// A library error, raised once the library's own frames are left.
class EIEJpegException : public Exception {
public:
  using Exception::Exception;
};

constexpr int JpegInterfaceVersion = 62;
// "Application transferred too few scanlines": sets the abort byte and raises nothing.
constexpr int JpegCodeTooFewScanlines = 67;
// "Corrupt JPEG data: premature end of data segment": the coded data ran into a marker.
constexpr int JpegCodeHitMarker = 117;

// The message of a library code; codes the table does not hold read "Corrupted".
const char* JpegMessageText(int Code);

// The record the library calls through on errors and warnings. Pub stays first: the library only knows
// it. Every library call is made through JpegGuarded, which arms Jump; an error leaves the library by
// longjmp to it.
struct TJpegErrorManager {
  jpeg_error_mgr Pub;
  uint8_t* Abort = nullptr;  // the current operation's abort byte, nullptr when there is none
  int32_t WarningCount = 0;
  int32_t LastWarningCode = 0;
  bool HitMarker = false;  // a warning that the coded data ran into a marker
  bool Armed = false;
  std::jmp_buf Jump;
};

// Fills Err from the constant template and sets its abort pointer.
void JpegInitErrorManager(TJpegErrorManager& Err, uint8_t* Abort);

// After a longjmp back from the library: code 67 returns (the abort byte is already set), every other
// error raises EIEJpegException with its message.
void JpegRaiseCaught(TJpegErrorManager& Err);

// Runs Call, a call into the library, with the error manager's jump point armed. Call must hold nothing
// that needs destroying: a library error leaves it by longjmp.
template <class F>
void JpegGuarded(TJpegErrorManager& Err, F&& Call) {
  if (setjmp(Err.Jump) != 0) {
    Err.Armed = false;
    JpegRaiseCaught(Err);
    return;
  }
  Err.Armed = true;
  Call();
  Err.Armed = false;
}

// ---- Source and destination over streams -----------------------------------------------------------------

constexpr int32_t JpegIOBufferSize = 65536;

// The source record of a decompressor: Pub first, the stream, the 64 KiB buffer.
struct TJpegSource {
  jpeg_source_mgr Pub;
  TStream* Stream = nullptr;
  uint8_t StartOfFile = 0;
  uint8_t* Abort = nullptr;
  uint8_t* Buffer = nullptr;
  bool EndSupplied = false;  // the stream ran out and a synthetic end-of-image marker was handed over
};

// Installs (or reuses) the stream source of the decompressor and empties its buffer.
void JpegStreamSource(j_decompress_ptr Info, TStream* Stream, uint8_t* Abort);
void JpegFreeSource(j_decompress_ptr Info);
TJpegSource* JpegSourceOf(j_decompress_ptr Info);

struct TJpegDestination {
  jpeg_destination_mgr Pub;
  TStream* Stream = nullptr;
  uint8_t* Abort = nullptr;
  uint8_t* Buffer = nullptr;
};

void JpegStreamDestination(j_compress_ptr Info, TStream* Stream, uint8_t* Abort);
void JpegFreeDestination(j_compress_ptr Info);

// Reads the "ICC_PROFILE" APP2 chunks ahead of the image at the stream's position and loads the joined
// profile into Params' input profile. The position is restored; a malformed file never raises.
void JpegCollectIccProfile(TStream* Stream, TIOParamsVals& Params);

// ---- Operations of the camera-raw decoder ------------------------------------------------------------------
// Each library call goes through the decompressor's error manager: an error raises EIEJpegException.

using TJpegFillBufferProc = boolean (*)(j_decompress_ptr Info);

j_decompress_ptr JpegNewDecompressor();
TJpegErrorManager* JpegNewErrorManager(j_decompress_ptr Info);
void JpegCreateDecompressor(j_decompress_ptr Info);
void JpegSetStreamSource(j_decompress_ptr Info, TStream* Stream);
void JpegSetFillBuffer(j_decompress_ptr Info, TJpegFillBufferProc Routine);
void JpegSetSourceBuffer(j_decompress_ptr Info, const uint8_t* Data, size_t Count);
int JpegReadHeader(j_decompress_ptr Info, bool RequireImage);
bool JpegStartDecompress(j_decompress_ptr Info);
int32_t JpegOutputWidth(j_decompress_ptr Info);
int32_t JpegOutputHeight(j_decompress_ptr Info);
int32_t JpegOutputComponents(j_decompress_ptr Info);
int32_t JpegOutputScanline(j_decompress_ptr Info);
JSAMPARRAY JpegAllocRows(j_decompress_ptr Info, int Pool, int32_t SamplesPerRow, int32_t Rows);
int32_t JpegReadScanlines(j_decompress_ptr Info, JSAMPARRAY Rows, int32_t MaxLines);
void JpegFinishDecompress(j_decompress_ptr Info);
void JpegDestroyDecompressor(j_decompress_ptr Info);
void JpegFreeDecompressor(j_decompress_ptr Info);
void JpegFreeErrorManager(TJpegErrorManager* Err);

}  // namespace zv
