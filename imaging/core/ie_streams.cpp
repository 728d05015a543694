#include "imaging/core/ie_streams.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/system_routines.h"
#include "imaging/core/zlib_streams.h"
#include "platform/sysutils.h"

namespace zv {

// ---- TIEMemStream -----------------------------------------------------------------------------------

TIEMemStream::TIEMemStream(const void* Ptr, int64_t Size) {
  // The block is only ever read: Write and SetSize are disabled below.
  SetPointer(const_cast<void*>(Ptr), Size);
}

int64_t TIEMemStream::Write(const void*, int64_t) { return 0; }

void TIEMemStream::SetSize(int64_t) {}

// ---- TIEBufferedReadStream --------------------------------------------------------------------------

TIEBufferedReadStream::TIEBufferedReadStream(TStream* Source, int32_t BufferSize, bool Relative)
    : FSource(Source) {
  const int64_t pos = FSource->Position();
  FBaseOffset = Relative ? pos : 0;
  FSourceSize = FSource->Size();
  FPosition = pos;
  FEnd = false;
  SetBufferSize(BufferSize);
}

TIEBufferedReadStream::~TIEBufferedReadStream() { std::free(FBuffer); }

void TIEBufferedReadStream::SetBufferSize(int32_t N) {
  std::free(FBuffer);
  FBuffer = nullptr;
  FBufferSize = 0;
  FFilled = 0;
  if (N < 1) N = 1;
  FBuffer = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(N)));
  if (FBuffer == nullptr) throw EOutOfMemory("Out of memory");
  FBufferSize = N;
  Refill();
}

void TIEBufferedReadStream::Refill() {
  FSource->SetPosition(FPosition);
  const int64_t got = FSource->Read(FBuffer, FBufferSize);
  FFilled = static_cast<int32_t>(std::max<int64_t>(got, 0));
  FIndex = 0;
}

int64_t TIEBufferedReadStream::Read(void* Buffer, int64_t Count) {
  FEnd = false;
  const int64_t left = FSourceSize - FPosition;
  if (Count > left) {
    FEnd = true;
    Count = left;
  }
  if (Count <= 0) return 0;
  auto* out = static_cast<uint8_t*>(Buffer);
  if (Count == 1) {
    if (FIndex >= FFilled) {
      Refill();
      // The source holds less than it claimed at creation: hand out nothing rather than stale bytes.
      if (FFilled == 0) {
        FEnd = true;
        return 0;
      }
    }
    *out = FBuffer[FIndex];
    ++FIndex;
    ++FPosition;
    return 1;
  }
  int64_t done = 0;
  for (;;) {
    const int64_t n = std::min<int64_t>(Count - done, FFilled - FIndex);
    if (n > 0) {
      std::memcpy(out + done, FBuffer + FIndex, static_cast<size_t>(n));
      FIndex += static_cast<int32_t>(n);
      FPosition += n;
      done += n;
    }
    if (done >= Count) return done;
    Refill();
    if (FFilled == 0) {
      FEnd = true;
      return done;
    }
  }
}

int64_t TIEBufferedReadStream::Write(const void*, int64_t) {
  throw Exception("TIEBufferedReadStream cannot write!");
}

int64_t TIEBufferedReadStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  FEnd = false;
  int64_t target = FPosition;
  switch (Origin) {
    case soBeginning: target = FBaseOffset + Offset; break;
    case soCurrent: target = FPosition + Offset; break;
    case soEnd: target = FSourceSize + Offset; break;
  }
  if (target < 0) target = 0;
  if (target >= FSourceSize) {
    target = FSourceSize;
    FEnd = true;
  }
  const int64_t inBuffer = FIndex + (target - FPosition);
  if (inBuffer >= 0 && inBuffer < FBufferSize) {
    FIndex = static_cast<int32_t>(inBuffer);
    FPosition = target;
  } else {
    FPosition = target;
    Refill();
  }
  return FPosition - FBaseOffset;
}

// ---- TIEWideFileStream ------------------------------------------------------------------------------

TIEWideFileStream::TIEWideFileStream(const std::string& FileName, uint16_t Mode) : THandleStream(-1) {
  const bool Create = (Mode & fmCreate) == fmCreate;
  FHandle = Create ? WideFileCreate(FileName) : WideFileOpen(FileName, Mode);
  if (FHandle >= 0) return;
  const std::string Reason = SysErrorMessage(static_cast<uint32_t>(errno));
  if (Create) throw EFCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(FileName), Reason));
  throw EFOpenError(Format("Cannot open file \"%s\". %s", ExpandFileName(FileName), Reason));
}

TIEWideFileStream::~TIEWideFileStream() {
  if (FHandle != -1) ::close(FHandle);
}

// ---- TNulStream -------------------------------------------------------------------------------------

int64_t TNulStream::Read(void*, int64_t Count) {
  FPosition += Count;
  FSize = std::max(FSize, FPosition);
  return Count;
}

int64_t TNulStream::Write(const void*, int64_t Count) {
  FPosition += Count;
  FSize = std::max(FSize, FPosition);
  return Count;
}

int64_t TNulStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
    case soBeginning:
      FPosition = Offset;
      FSize = std::max(FSize, FPosition);
      break;
    case soCurrent:
      FPosition += Offset;
      FSize = std::max(FSize, FPosition);
      break;
    case soEnd: FPosition = std::max<int64_t>(FSize + Offset, 0); break;
  }
  return FPosition;
}

// ---- Stream routines --------------------------------------------------------------------------------

int64_t IEStreamBytesLeft(TStream* Stream) {
  if (dynamic_cast<TCustomZStream*>(Stream) != nullptr) return -1;
  const int64_t pos = Stream->Position();
  if (pos < 0) return -1;
  const int64_t size = Stream->Size();
  if (size < 0) return -1;
  return std::max<int64_t>(size - pos, 0);
}

void StreamWriteString(TStream* Stream, const std::string& Text) {
  const int32_t len = static_cast<int32_t>(Text.size());
  uint8_t bytes[4] = {uint8_t(len), uint8_t(len >> 8), uint8_t(len >> 16), uint8_t(len >> 24)};
  Stream->WriteBuffer(bytes, 4);
  Stream->WriteBuffer(Text.data(), static_cast<int64_t>(Text.size()));
}

void StreamReadString(TStream* Stream, std::string& Text) {
  uint8_t bytes[4];
  Stream->ReadBuffer(bytes, 4);
  const int32_t len = static_cast<int32_t>(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 |
                                           uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24);
  // The length comes from the file: never allocate for more than the stream can deliver.
  if (len < 0) throw EReadError("Stream read error");
  const int64_t left = IEStreamBytesLeft(Stream);
  if (left >= 0 && len > left) throw EReadError("Stream read error");
  std::string result;
  if (left >= 0) {
    result.resize(static_cast<size_t>(len));
    Stream->ReadBuffer(result.data(), len);
  } else {
    // A stream that cannot tell its size: grow with what actually arrives.
    constexpr int64_t kStep = 65536;
    int64_t done = 0;
    while (done < len) {
      const int64_t n = std::min<int64_t>(kStep, len - done);
      result.resize(static_cast<size_t>(done + n));
      Stream->ReadBuffer(result.data() + done, n);
      done += n;
    }
  }
  Text = std::move(result);
}

void WriteTextLine(TStream* Stream, const std::string& Text) {
  std::string line = Text;
  line += "\r\n";
  Stream->WriteBuffer(line.data(), static_cast<int64_t>(line.size()));
}

void SafeStreamWrite(TStream* Stream, uint8_t& Aborting, const void* Buffer, int64_t Count) {
  if (Stream->Write(Buffer, Count) < Count) Aborting = 1;
}

int64_t IECopyStream(TStream* Dest, TStream* Source, int64_t Count) {
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->Size();
  }
  const int64_t left = IEStreamBytesLeft(Source);
  if (left >= 0) Count = std::max<int64_t>(0, std::min(Count, left));
  if (Count <= 0) return 0;
  constexpr int64_t kMaxBlock = 196607;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min(Count, kMaxBlock)));
  const int64_t total = Count;
  while (Count > 0) {
    const int64_t n = std::min<int64_t>(static_cast<int64_t>(buffer.size()), Count);
    Source->ReadBuffer(buffer.data(), n);
    Dest->WriteBuffer(buffer.data(), n);
    Count -= n;
  }
  return total;
}

bool FileExistsW(const std::string& Name) { return FileExists(Name); }

bool FileExistsA(const std::string& Name) { return FileExists(Name); }

}  // namespace zv
