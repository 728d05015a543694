// Streams that deflate into, or inflate out of, an underlying stream through zlib, and a routine that
// inflates a whole memory block at once. zlib's failures become exceptions with zlib's own texts.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/objects.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {

class EZLibError : public Exception {
public:
  using Exception::Exception;
};
class EZCompressionError : public EZLibError {
public:
  using EZLibError::EZLibError;
};
class EZDecompressionError : public EZLibError {
public:
  using EZLibError::EZLibError;
};

// zlib levels 0, 1, its default and 9.
enum TZCompressionLevel : uint8_t { zcNone = 0, zcFastest = 1, zcDefault = 2, zcMax = 3 };

// zlib's text for a result code: "need dictionary", "stream end", "" (0), "file error", "stream error",
// "data error", "insufficient memory", "buffer error", "incompatible version"; "" for any other code.
const char* ZErrorText(int Code);
// Return Code; raise EZCompressionError / EZDecompressionError with its text when it is negative.
// Decompression also refuses zlib's request for a preset dictionary, which no caller can supply.
int ZCompressCheck(int Code);
int ZDecompressCheck(int Code);

// The common part of the two streams: the underlying stream (not owned), where this stream last left
// it, and zlib's state with one 64 KiB block buffer.
class TCustomZStream : public TStream {
public:
  ~TCustomZStream() override;
  TCustomZStream(const TCustomZStream&) = delete;
  TCustomZStream& operator=(const TCustomZStream&) = delete;

  // Fired after each 64 KiB block moves between zlib and the underlying stream.
  TNotifyEvent OnProgress;

protected:
  struct TZState;

  explicit TCustomZStream(TStream* AStream);
  void Progress();
  // Puts the underlying stream back where this stream left it, if someone else moved it.
  void RestorePosition();

  TStream* FStream;
  int64_t FStreamPos;
  std::unique_ptr<TZState> FZ;
};

// A write-only stream whose bytes are deflated into Dest. The compressed data is complete only once
// Finish has run (the destructor runs it when nobody did).
class TZCompressionStream : public TCustomZStream {
public:
  TZCompressionStream(TStream* Dest, TZCompressionLevel Level = zcDefault);
  // Finishes quietly if Finish was not called; call Finish first to learn of a failed write.
  ~TZCompressionStream() override;

  // Writes the rest of the compressed data; raises EWriteError on a short write. Later calls do nothing.
  void Finish();

  // Raises EZCompressionError "Invalid ZStream operation!".
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  // Never moves; returns the bytes written into the stream so far.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

private:
  bool FFinished = false;
};

// A read-only stream that inflates Source from its current position. It can move forward, to its
// end and back to its very start (Source's position 0) only.
class TZDecompressionStream : public TCustomZStream {
public:
  explicit TZDecompressionStream(TStream* Source);
  ~TZDecompressionStream() override;

  // Returns fewer bytes than asked at the end of the compressed data, and also when the data stops
  // before its end (callers check the count): what could be inflated, then 0. Corrupt data raises
  // EZDecompressionError "data error"; data that asks for a preset dictionary "need dictionary".
  int64_t Read(void* Buffer, int64_t Count) override;
  // Raises EZDecompressionError "Invalid ZStream operation!".
  int64_t Write(const void* Buffer, int64_t Count) override;
  // Offset 0 from the beginning rewinds; forward targets are reached by inflating and discarding;
  // offset 0 from the end inflates everything; anything else raises "Invalid ZStream operation!".
  // Returns the bytes inflated so far.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
};

// Inflates InBytes bytes at InBuf into a new block (free it with std::free). OutEstimate is the first
// guess of the inflated size (0: InBytes rounded up to 256); the block grows by that rounded size as
// needed and is shrunk to fit. Raises EZDecompressionError ("buffer error" for truncated data) and frees
// the block first.
void ZDecompressBuf(const void* InBuf, int32_t InBytes, void*& OutBuf, int32_t& OutBytes, int32_t OutEstimate);

}  // namespace zv
