// The bare row buffer the resampler hands to its worker threads, and the temporary-file backing store of
// a TIEBitmap kept in a file: windows of bytes mapped into memory buffers and written back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/iedefs.h"
#include "platform/objects.h"
#include "platform/streams.h"

namespace zv {

// A bottom-up block of rows aligned to 32 bits; threads may write disjoint rows at once.
class TIEWorkBitmap : public TObject {
public:
  TIEWorkBitmap(int32_t AWidth, int32_t AHeight, int32_t ABitCount);
  ~TIEWorkBitmap() override;
  TIEWorkBitmap(const TIEWorkBitmap&) = delete;
  TIEWorkBitmap& operator=(const TIEWorkBitmap&) = delete;

  // Keeps the pixels when the three values are unchanged. False (and an empty bitmap) when a value is
  // below 1, the size does not fit the address space, or the block cannot be had.
  bool Allocate(int32_t AWidth, int32_t AHeight, int32_t ABitCount);
  void FreeBits();
  // Row 0 is the top row; no range checks.
  uint8_t* GetScanline(int32_t Row) const {
    return FBits + static_cast<int64_t>(FRowLen) * (FHeight - 1 - Row);
  }

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  int32_t BitCount() const { return FBitCount; }
  int32_t RowLen() const { return FRowLen; }
  uint8_t* Bits() const { return FBits; }

private:
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FBitCount = 0;
  int32_t FRowLen = 0;
  uint8_t* FBits = nullptr;
};

// A read-write stream over a new file that nobody else can reach: created exclusively (mode 0600, never
// through a link or over an existing file) and unlinked at once, so it lives exactly as long as the stream,
// also when the process ends abnormally.
class TIETemporaryFileStream : public THandleStream {
public:
  // Raises EInOutError "Unable to create <name>" (ErrorCode: the system's reason, EEXIST when the name
  // is taken) when the file cannot be created.
  explicit TIETemporaryFileStream(const std::string& AFileName);
  ~TIETemporaryFileStream() override;
  TIETemporaryFileStream(const TIETemporaryFileStream&) = delete;
  TIETemporaryFileStream& operator=(const TIETemporaryFileStream&) = delete;

  // Sets the size to Size with the disk space set aside, so that a disk without room refuses here and
  // not on a later write. False when the space cannot be had. A file system that cannot set space aside
  // gets a plain (sparse) size.
  bool Reserve(int64_t Size);
};

// The backing store of a file-kept bitmap: a temporary file (or a memory stream) from which windows of
// bytes are copied into buffers and written back. One thread at a time.
class TIEFileBuffer : public TObject {
public:
  TIEFileBuffer() = default;
  ~TIEFileBuffer() override;
  TIEFileBuffer(const TIEFileBuffer&) = delete;
  TIEFileBuffer& operator=(const TIEFileBuffer&) = delete;

  bool IsAllocated() const { return FStream != nullptr; }
  // A new store of Size bytes (a new temporary file when OnDisk, else memory); the previous one is
  // discarded first. Never raises: false when the store cannot be made or the disk has no room for Size.
  bool AllocateFile(const std::string& Prefix, bool OnDisk, int64_t Size);
  // Discards the store and every window (they are not written back: the bytes would only go into a
  // file that goes the next moment). Never raises.
  void DeAllocate();

  // A new buffer of Length bytes over Offset; Mode is the mapping bitmap's Access. Filled from the
  // store when Mode has iedRead (a read that falls short raises EReadError and maps nothing).
  void* Map(TIEDataAccess Mode, int64_t Offset, int64_t Length);
  // Writes the buffer back when its Mode has iedWrite, then frees it; the buffer is freed also when the
  // write fails (EWriteError). An unknown buffer raises EListError.
  void UnMap(void* Buffer);
  // Unmaps the windows, the last mapped first.
  void UnMapAll();
  // Copies Size bytes at Offset of this store to the same offset of Dest's, stream to stream in 1 MiB
  // blocks, after writing back the windows of both. Nothing unless both are allocated. A store that
  // falls short raises EReadError or EWriteError.
  void CopyTo(TIEFileBuffer* Dest, int64_t Offset, int64_t Size);
  // Index of Buffer's window, or -1.
  int IndexOfBuffer(const void* Buffer) const;

  TStream* Stream() const { return FStream.get(); }
  // The name the file was created under; it is unlinked at once, so nothing is found there.
  const std::string& FileName() const { return FFileName; }
  int WindowCount() const { return static_cast<int>(FWindows.size()); }

private:
  struct TMappedWindow {
    int64_t Offset = 0;
    int64_t Length = 0;
    uint8_t* Buffer = nullptr;
    TIEDataAccess Mode = 0;
  };

  void DiscardWindows();

  std::unique_ptr<TStream> FStream;
  std::string FFileName;
  std::vector<TMappedWindow> FWindows;
};

}  // namespace zv
