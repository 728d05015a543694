// The image library's own streams (a read-only view of a memory block, a read-ahead buffer in front of
// any stream, a file stream opened by name, a counting sink) and the small stream routines of the codecs.
#pragma once

#include <cstdint>
#include <string>

#include "platform/streams.h"

namespace zv {

// A read-only stream over a memory block that the caller keeps alive; it never copies or frees it.
class TIEMemStream : public TCustomMemoryStream {
public:
  TIEMemStream(const void* Ptr, int64_t Size);

  // Writes nothing and returns 0.
  int64_t Write(const void* Buffer, int64_t Count) override;
  // Does nothing: the block belongs to the caller.
  void SetSize(int64_t NewSize) override;
};

// Reads a source stream (not owned) through a read-ahead buffer, so that readers that pull a file a few
// bytes at a time cost one source read per buffer. Positions and the size are counted from the base
// offset: the source's position at creation when Relative, else 0. The source's size is taken once.
class TIEBufferedReadStream : public TStream {
public:
  TIEBufferedReadStream(TStream* Source, int32_t BufferSize, bool Relative);
  ~TIEBufferedReadStream() override;
  TIEBufferedReadStream(const TIEBufferedReadStream&) = delete;
  TIEBufferedReadStream& operator=(const TIEBufferedReadStream&) = delete;

  // Replaces the buffer by one of N bytes and fills it at the current position.
  void SetBufferSize(int32_t N);
  // Reads one buffer-full from the source at the current position.
  void Refill();

  int64_t Read(void* Buffer, int64_t Count) override;
  // Raises Exception "TIEBufferedReadStream cannot write!".
  int64_t Write(const void* Buffer, int64_t Count) override;
  // A target before the start becomes 0; one at or past the end becomes the end and sets the end flag.
  // From the end, Offset counts from the source's end.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return FSourceSize - FBaseOffset; }

  // Set when the last read was cut short or a seek reached the end.
  bool EndOfStream() const { return FEnd; }
  int32_t BufferSize() const { return FBufferSize; }

private:
  TStream* FSource;
  int32_t FBufferSize = 0;
  uint8_t* FBuffer = nullptr;
  int64_t FPosition = 0;  // absolute position in the source of the next byte handed out
  int32_t FIndex = 0;     // that byte's index in the buffer
  int64_t FSourceSize = 0;
  int64_t FBaseOffset = 0;
  bool FEnd = false;
  int32_t FFilled = 0;  // bytes the last refill actually brought into the buffer
};

// Opens the file of every load and save of the I/O component. Reading, writing, seeking and sizing
// are those of THandleStream; the handle is closed with the stream.
class TIEWideFileStream : public THandleStream {
public:
  // Mode 0xFFFF (or fmCreate) creates a new, empty file for reading and writing (WideFileCreate); any
  // other Mode opens an existing file with its access and share bits (WideFileOpen). Raises EFCreateError "Cannot create file
  // "<full path>". <reason>" or EFOpenError "Cannot open file "<full path>". <reason>".
  TIEWideFileStream(const std::string& FileName, uint16_t Mode);
  ~TIEWideFileStream() override;
  TIEWideFileStream(const TIEWideFileStream&) = delete;
  TIEWideFileStream& operator=(const TIEWideFileStream&) = delete;
};

// Mode of TIEWideFileStream that creates the file.
constexpr uint16_t ieFileCreate = 0xFFFF;

// Swallows every byte and only counts, so that a save can be run to learn the size of its file.
class TNulStream : public TStream {
public:
  TNulStream() = default;

  // Both move the position by Count and grow the size to it; no data is touched.
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  // From the beginning or the current position the size grows to the new position; from the end the
  // position is the size plus Offset (never below 0).
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return FSize; }

private:
  int64_t FPosition = 0;
  int64_t FSize = 0;
};

// ---- Stream routines --------------------------------------------------------------------------------

// Bytes left between Stream's position and its end, or -1 for the compressed streams, which cannot
// tell their size without inflating everything.
int64_t IEStreamBytesLeft(TStream* Stream);

// The text's length as a little-endian int32, then its bytes without a terminator.
void StreamWriteString(TStream* Stream, const std::string& Text);
// The reverse of StreamWriteString. A negative length, or one beyond what the stream holds, raises
// EReadError "Stream read error" before anything is allocated.
void StreamReadString(TStream* Stream, std::string& Text);
// Text followed by CR LF; a short write raises EWriteError.
void WriteTextLine(TStream* Stream, const std::string& Text);
// Writes Count bytes; a short write sets Aborting to 1 (it is never cleared here).
void SafeStreamWrite(TStream* Stream, uint8_t& Aborting, const void* Buffer, int64_t Count);
// Copies Count bytes from Source's position (Count 0: all of Source from its start), cut to what is
// left in Source unless it is a compressed stream. Raises EReadError or EWriteError when bytes fail to
// move. Returns the number of bytes copied.
int64_t IECopyStream(TStream* Dest, TStream* Source, int64_t Count);
// A file (not a folder) of that name exists.
bool FileExistsW(const std::string& Name);
bool FileExistsA(const std::string& Name);

}  // namespace zv
