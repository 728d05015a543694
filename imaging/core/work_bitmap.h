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
#include "platform/win32.h"

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

// A read-write stream over a new, unshared file that vanishes when the stream closes, also when the
// process ends abnormally.
class TIETemporaryFileStream : public THandleStream {
public:
  // Raises EInOutError "Unable to create <name>" when the file cannot be created.
  explicit TIETemporaryFileStream(const std::string& AFileName);
  ~TIETemporaryFileStream() override;
  TIETemporaryFileStream(const TIETemporaryFileStream&) = delete;
  TIETemporaryFileStream& operator=(const TIETemporaryFileStream&) = delete;

private:
  HANDLE FFile = INVALID_HANDLE_VALUE;
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
  // A new store of Size bytes (a uniquely named temporary file when OnDisk, else memory); the previous
  // one is released first. Never raises: false when the store cannot be made.
  bool AllocateFile(const std::string& Prefix, bool OnDisk, int64_t Size);
  // Writes every window back and discards the store.
  void DeAllocate();

  // A new buffer of Length bytes over Offset; Mode is the mapping bitmap's Access. Filled from the
  // store when Mode has iedRead (a read that falls short raises EReadError and maps nothing).
  void* Map(TIEDataAccess Mode, int64_t Offset, int64_t Length);
  // Writes the buffer back when its Mode has iedWrite, then frees it. An unknown buffer raises
  // EListError.
  void UnMap(void* Buffer);
  // Unmaps the windows, the last mapped first.
  void UnMapAll();
  // Copies Size bytes at Offset of this store to the same offset of Dest's, stream to stream in 1 MiB
  // blocks, after writing back the windows of both. Nothing unless both are allocated.
  void CopyTo(TIEFileBuffer* Dest, int64_t Offset, int64_t Size);
  // Index of Buffer's window, or -1.
  int IndexOfBuffer(const void* Buffer) const;

  TStream* Stream() const { return FStream.get(); }
  const std::string& FileName() const { return FFileName; }
  int WindowCount() const { return static_cast<int>(FWindows.size()); }

private:
  struct TMappedWindow {
    int64_t Offset = 0;
    int64_t Length = 0;
    uint8_t* Buffer = nullptr;
    TIEDataAccess Mode = 0;
  };

  std::unique_ptr<TStream> FStream;
  std::string FFileName;
  std::vector<TMappedWindow> FWindows;
};

}  // namespace zv
