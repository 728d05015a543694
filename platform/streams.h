// Byte streams of the class library: the abstract TStream and its file, handle, memory and string kinds.
// Every stream reads, writes and seeks with 64-bit positions; ReadBuffer/WriteBuffer raise on a short transfer.
#pragma once

#include <cstdint>
#include <string>

#include "platform/objects.h"

namespace zv {

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

// Open modes of TFileStream: one access mode or fmCreate, or-ed with one share mode.
constexpr uint16_t fmCreate = 0xFF00;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

class TStream : public TObject {
public:
  // Return the number of bytes actually moved; 0 at the end of the stream or on failure.
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  // Returns the new position from the start, or -1 when the stream cannot seek.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }
  virtual int64_t Size();
  // Grows or truncates; a position past the new end moves to the end.
  virtual void SetSize(int64_t NewSize);

  // Raise EReadError / EWriteError ("Stream read error" / "Stream write error") on a short transfer.
  void ReadBuffer(void* Buffer, int64_t Count);
  void WriteBuffer(const void* Buffer, int64_t Count);

  // Copies Count bytes from Source's current position; Count 0 copies all of Source from its start.
  // Returns the number of bytes copied.
  int64_t CopyFrom(TStream* Source, int64_t Count);
};

// A stream over a POSIX file descriptor that it does not own.
class THandleStream : public TStream {
public:
  explicit THandleStream(int AHandle) : FHandle(AHandle) {}

  int Handle() const { return FHandle; }

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  // Raises EWriteError when the file cannot be resized.
  void SetSize(int64_t NewSize) override;

protected:
  int FHandle;
};

// A named file opened or created as a stream; raises EFCreateError or EFOpenError with the system's reason.
// Share modes are accepted and not enforced.
class TFileStream : public THandleStream {
public:
  TFileStream(const std::string& AFileName, uint16_t Mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  const std::string& FileName() const { return FFileName; }

private:
  std::string FFileName;
};

// A stream over one block of memory that it reads and writes in place; it does not own the block.
class TCustomMemoryStream : public TStream {
public:
  void* Memory() const { return FMemory; }

  // Points the stream at a block of Size bytes owned by the caller.
  void SetPointer(void* Ptr, int64_t Size);

  int64_t Read(void* Buffer, int64_t Count) override;
  // Writes within the block; it does not grow.
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return FSize; }

  void SaveToStream(TStream* Stream);
  void SaveToFile(const std::string& FileName);

protected:
  void* FMemory = nullptr;
  int64_t FSize = 0;
  int64_t FPosition = 0;
};

// A memory stream that owns its block and grows as it is written; bytes it adds read as zero.
class TMemoryStream : public TCustomMemoryStream {
public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;

  void Clear();
  // Replaces the content by the whole of Stream (read from its start) or of the file.
  void LoadFromStream(TStream* Stream);
  void LoadFromFile(const std::string& FileName);

  int64_t Write(const void* Buffer, int64_t Count) override;
  // Raises EOutOfMemory when the block cannot be allocated.
  void SetSize(int64_t NewSize) override;
  int64_t Capacity() const { return FCapacity; }

private:
  void SetCapacity(int64_t NewCapacity);
  // Makes the stream NewSize (more than its size) bytes long; the added bytes are left unset.
  void Extend(int64_t NewSize);

  int64_t FCapacity = 0;
};

// A memory stream whose content is a string of bytes.
class TStringStream : public TMemoryStream {
public:
  explicit TStringStream(const std::string& AString = std::string());

  std::string DataString() const;
};

}  // namespace zv
