#include "platform/streams.h"

#include "platform/sysutils.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zv {

namespace {

std::string SystemMessage(int error) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not live in buffer.
  return strerror_r(error, buffer, sizeof buffer);
}

// Position after a seek from Origin, or -1 when it would fall before the start or overflow.
int64_t SeekTarget(int64_t Offset, TSeekOrigin Origin, int64_t Position, int64_t Size) {
  int64_t base = 0;
  switch (Origin) {
    case soBeginning: base = 0; break;
    case soCurrent: base = Position; break;
    case soEnd: base = Size; break;
  }
  int64_t target;
  if (__builtin_add_overflow(base, Offset, &target) || target < 0) return -1;
  return target;
}

int64_t PhysicalMemory() {
  static const int64_t bytes = static_cast<int64_t>(::sysconf(_SC_PHYS_PAGES)) * ::sysconf(_SC_PAGE_SIZE);
  return bytes;
}

}  // namespace

// ---- TStream ------------------------------------------------------------------------------------------

int64_t TStream::Size() {
  const int64_t pos = Seek(0, soCurrent);
  const int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(int64_t) {}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream* Source, int64_t Count) {
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->Size();
  }
  if (Count <= 0) return 0;
  constexpr int64_t kChunk = 64 * 1024;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min(Count, kChunk)));
  int64_t left = Count;
  while (left > 0) {
    const int64_t n = std::min(left, kChunk);
    Source->ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return Count;
}

// ---- THandleStream ------------------------------------------------------------------------------------

int64_t THandleStream::Read(void* Buffer, int64_t Count) {
  // read() may return less than asked (pipes, signals); keep going until the end or an error.
  int64_t done = 0;
  auto* out = static_cast<uint8_t*>(Buffer);
  while (done < Count) {
    const ssize_t n = ::read(FHandle, out + done, static_cast<size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t THandleStream::Write(const void* Buffer, int64_t Count) {
  int64_t done = 0;
  const auto* in = static_cast<const uint8_t*>(Buffer);
  while (done < Count) {
    const ssize_t n = ::write(FHandle, in + done, static_cast<size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t THandleStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int whence = SEEK_SET;
  if (Origin == soCurrent) whence = SEEK_CUR;
  if (Origin == soEnd) whence = SEEK_END;
  return ::lseek(FHandle, Offset, whence);
}

void THandleStream::SetSize(int64_t NewSize) {
  const int64_t pos = Position();
  if (NewSize < 0 || ::ftruncate(FHandle, NewSize) != 0) throw EWriteError("Stream write error");
  if (pos > NewSize) Seek(NewSize, soBeginning);
}

// ---- TFileStream --------------------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& AFileName, uint16_t Mode)
    : THandleStream(-1), FFileName(AFileName) {
  if ((Mode & fmCreate) == fmCreate) {
    FHandle = ::open(AFileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0) {
      const int error = errno;
      throw EFCreateError("Cannot create file \"" + AFileName + "\". " + SystemMessage(error));
    }
    return;
  }
  int flags = 0;
  switch (Mode & 0x0003) {
    case fmOpenRead: flags = O_RDONLY; break;
    case fmOpenWrite: flags = O_WRONLY; break;
    case fmOpenReadWrite: flags = O_RDWR; break;
    default:
      throw EFOpenError("Cannot open file \"" + AFileName + "\". " + SystemMessage(EINVAL));
  }
  FHandle = ::open(AFileName.c_str(), flags | O_CLOEXEC);
  int error = FHandle < 0 ? errno : 0;
  // A directory opens for reading on Linux but is no file to stream.
  struct stat info;
  if (FHandle >= 0 && ::fstat(FHandle, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(FHandle);
    FHandle = -1;
    error = EISDIR;
  }
  if (FHandle < 0)
    throw EFOpenError("Cannot open file \"" + AFileName + "\". " + SystemMessage(error));
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

// ---- TCustomMemoryStream ------------------------------------------------------------------------------

void TCustomMemoryStream::SetPointer(void* Ptr, int64_t Size) {
  FMemory = Ptr;
  FSize = Size < 0 ? 0 : Size;
}

int64_t TCustomMemoryStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
  const int64_t n = std::min(Count, FSize - FPosition);
  std::memcpy(Buffer, static_cast<uint8_t*>(FMemory) + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TCustomMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
  const int64_t n = std::min(Count, FSize - FPosition);
  std::memcpy(static_cast<uint8_t*>(FMemory) + FPosition, Buffer, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TCustomMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int64_t target = SeekTarget(Offset, Origin, FPosition, FSize);
  if (target < 0) return -1;
  FPosition = target;
  return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream* Stream) { Stream->WriteBuffer(FMemory, FSize); }

void TCustomMemoryStream::SaveToFile(const std::string& FileName) {
  TFileStream file(FileName, fmCreate);
  SaveToStream(&file);
}

// ---- TMemoryStream ------------------------------------------------------------------------------------

TMemoryStream::~TMemoryStream() { std::free(FMemory); }

void TMemoryStream::Clear() {
  std::free(FMemory);
  FMemory = nullptr;
  FSize = 0;
  FPosition = 0;
  FCapacity = 0;
}

void TMemoryStream::SetCapacity(int64_t NewCapacity) {
  if (NewCapacity == FCapacity) return;
  if (NewCapacity == 0) {
    std::free(FMemory);
    FMemory = nullptr;
    FCapacity = 0;
    return;
  }
  // More than the machine's memory cannot be meant (a size read from a damaged file, say); the
  // allocator is not even asked, as some allocators abort on such requests instead of failing.
  void* block = NewCapacity > PhysicalMemory() ? nullptr : std::realloc(FMemory, static_cast<size_t>(NewCapacity));
  if (block == nullptr) throw EOutOfMemory("Out of memory while expanding memory stream");
  FMemory = block;
  FCapacity = NewCapacity;
}

void TMemoryStream::Extend(int64_t NewSize) {
  if (NewSize > FCapacity) {
    // Grow by half again so that a stream written in small pieces is copied a logarithmic number of times.
    const int64_t grown = std::min(FCapacity + FCapacity / 2, PhysicalMemory());
    SetCapacity(std::max(NewSize, std::max<int64_t>(grown, 256)));
  }
  FSize = NewSize;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) NewSize = 0;
  const int64_t OldSize = FSize;
  if (NewSize > OldSize) {
    Extend(NewSize);
    std::memset(static_cast<uint8_t*>(FMemory) + OldSize, 0, static_cast<size_t>(NewSize - OldSize));
  }
  FSize = NewSize;
  if (FPosition > FSize) FPosition = FSize;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition < 0) return 0;
  int64_t end;
  if (__builtin_add_overflow(FPosition, Count, &end)) return 0;
  // The bytes the stream gains are written at once: only a gap before the position is zeroed.
  if (end > FSize) {
    const int64_t old = FSize;
    Extend(end);
    if (FPosition > old) std::memset(static_cast<uint8_t*>(FMemory) + old, 0, static_cast<size_t>(FPosition - old));
  }
  std::memcpy(static_cast<uint8_t*>(FMemory) + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = end;
  return Count;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
  Stream->SetPosition(0);
  const int64_t count = Stream->Size();
  SetSize(count);
  FPosition = 0;
  Stream->ReadBuffer(FMemory, count);
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&file);
}

// ---- TStringStream ------------------------------------------------------------------------------------

TStringStream::TStringStream(const std::string& AString) {
  WriteBuffer(AString.data(), static_cast<int64_t>(AString.size()));
  FPosition = 0;
}

std::string TStringStream::DataString() const {
  return std::string(static_cast<const char*>(FMemory), static_cast<size_t>(FSize));
}

}  // namespace zv
