#include "imaging/core/work_bitmap.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "imaging/core/globals.h"
#include "imaging/core/sys_probes.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

constexpr int64_t WorkLargestBlock = int64_t(1) << 40;
// Names drawn in a row that may all be taken before creating a temporary file gives up.
constexpr int TempNameAttempts = 100;

}  // namespace

// ---- TIEWorkBitmap -------------------------------------------------------------------------------

TIEWorkBitmap::TIEWorkBitmap(int32_t AWidth, int32_t AHeight, int32_t ABitCount) {
  if (AWidth > 0 && AHeight > 0) Allocate(AWidth, AHeight, ABitCount);
}

TIEWorkBitmap::~TIEWorkBitmap() { FreeBits(); }

bool TIEWorkBitmap::Allocate(int32_t AWidth, int32_t AHeight, int32_t ABitCount) {
  if (FBits != nullptr && AWidth == FWidth && AHeight == FHeight && ABitCount == FBitCount) return true;
  FreeBits();
  if (AWidth < 1 || AHeight < 1 || ABitCount < 1) return false;
  // Width x BitCount and RowLen x Height overflow 32 bits long before memory runs out.
  const int64_t rowLen = ((static_cast<int64_t>(AWidth) * ABitCount + 31) >> 5) << 2;
  if (rowLen > std::numeric_limits<int32_t>::max()) return false;
  const int64_t size = rowLen * AHeight;
  // No machine this runs on serves a block this large, and some allocators abort instead of failing.
  if (size > WorkLargestBlock) return false;
  uint8_t* bits = static_cast<uint8_t*>(AllocTaggedBlock(size));
  if (bits == nullptr) return false;
  FWidth = AWidth;
  FHeight = AHeight;
  FBitCount = ABitCount;
  FRowLen = static_cast<int32_t>(rowLen);
  FBits = bits;
  return true;
}

void TIEWorkBitmap::FreeBits() {
  if (FBits != nullptr) {
    void* p = FBits;
    FreeTaggedBlock(p);
  }
  FBits = nullptr;
  FWidth = 0;
  FHeight = 0;
  FBitCount = 0;
  FRowLen = 0;
}

// ---- TIETemporaryFileStream ------------------------------------------------------------------------

TIETemporaryFileStream::TIETemporaryFileStream(const std::string& AFileName) : THandleStream(-1) {
  // O_EXCL refuses any name that is taken, a link included (dangling or not); O_NOFOLLOW says so twice.
  FHandle = ::open(AFileName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (FHandle < 0) {
    const int error = errno;
    throw EInOutError("Unable to create " + AFileName, error);
  }
  // Nothing needs the name: the file lives on through the handle alone.
  ::unlink(AFileName.c_str());
}

TIETemporaryFileStream::~TIETemporaryFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

bool TIETemporaryFileStream::Reserve(int64_t Size) {
  if (Size < 0) return false;
  if (Size > 0 && ::fallocate(FHandle, 0, 0, Size) == 0) return true;
  if (Size > 0 && errno != EOPNOTSUPP && errno != ENOSYS) return false;
  return ::ftruncate(FHandle, Size) == 0;
}

// ---- TIEFileBuffer ----------------------------------------------------------------------------------

TIEFileBuffer::~TIEFileBuffer() { DeAllocate(); }

bool TIEFileBuffer::AllocateFile(const std::string& Prefix, bool OnDisk, int64_t Size) {
  DeAllocate();
  if (Size < 0) return false;
  try {
    std::unique_ptr<TStream> stream;
    if (OnDisk) {
      const std::string folder = TempFilesFolder();
      std::unique_ptr<TIETemporaryFileStream> file;
      for (int attempt = 1; !file; ++attempt) {
        FFileName = MakeTempFileName(Prefix, folder);
        try {
          file = std::make_unique<TIETemporaryFileStream>(FFileName);
        } catch (const EInOutError& e) {
          // Somebody took the name between the draw and the creation: draw again.
          if (e.ErrorCode != EEXIST || attempt == TempNameAttempts) throw;
        }
      }
      if (!file->Reserve(Size)) return false;
      stream = std::move(file);
    } else {
      stream = std::make_unique<TMemoryStream>();
      stream->SetSize(Size);
    }
    // A stream that quietly kept a smaller size would hand out rows past its end.
    if (stream->Size() != Size) return false;
    FStream = std::move(stream);
    return true;
  } catch (...) {
    FStream.reset();
    return false;
  }
}

void TIEFileBuffer::DeAllocate() {
  DiscardWindows();
  FStream.reset();
}

void TIEFileBuffer::DiscardWindows() {
  for (auto& w : FWindows) delete[] w.Buffer;
  FWindows.clear();
}

void* TIEFileBuffer::Map(TIEDataAccess Mode, int64_t Offset, int64_t Length) {
  if (Length < 0 || Offset < 0) throw EReadError("Stream read error");
  if (Length > WorkLargestBlock) throw EOutOfMemory("Out of memory");
  // Zeroed, so that the unread parts of a write-only row never carry stale heap bytes to the file.
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[Length > 0 ? Length : 1]());
  if (!buffer) throw EOutOfMemory("Out of memory");
  if (FStream && (Mode & iedRead) != 0) {
    // A short read would hand out bytes that were never in the file.
    if (FStream->Seek(Offset, soBeginning) != Offset || FStream->Read(buffer.get(), Length) != Length)
      throw EReadError("Stream read error");
  }
  FWindows.push_back({Offset, Length, buffer.get(), Mode});
  return buffer.release();
}

void TIEFileBuffer::UnMap(void* Buffer) {
  const int i = IndexOfBuffer(Buffer);
  if (i < 0) throw EListError(Format("List index out of bounds (%d)", i));
  const TMappedWindow w = FWindows[i];
  FWindows.erase(FWindows.begin() + i);
  std::unique_ptr<uint8_t[]> owned(w.Buffer);
  if (FStream && (w.Mode & iedWrite) != 0) {
    if (FStream->Seek(w.Offset, soBeginning) != w.Offset) throw EWriteError("Stream write error");
    FStream->WriteBuffer(w.Buffer, w.Length);
  }
}

void TIEFileBuffer::UnMapAll() {
  if (!IsAllocated()) return;
  while (!FWindows.empty()) UnMap(FWindows.back().Buffer);
}

void TIEFileBuffer::CopyTo(TIEFileBuffer* Dest, int64_t Offset, int64_t Size) {
  if (Dest == nullptr || !IsAllocated() || !Dest->IsAllocated()) return;
  UnMapAll();
  Dest->UnMapAll();
  FStream->SetPosition(Offset);
  Dest->FStream->SetPosition(Offset);
  constexpr int64_t BlockSize = 1048576;
  std::unique_ptr<uint8_t[]> block(new uint8_t[BlockSize]);
  int64_t remaining = Size;
  while (remaining > 0) {
    const int64_t n = std::min(remaining, BlockSize);
    FStream->ReadBuffer(block.get(), n);
    Dest->FStream->WriteBuffer(block.get(), n);
    remaining -= n;
  }
}

int TIEFileBuffer::IndexOfBuffer(const void* Buffer) const {
  for (size_t i = 0; i < FWindows.size(); ++i)
    if (FWindows[i].Buffer == Buffer) return static_cast<int>(i);
  return -1;
}

}  // namespace zv
