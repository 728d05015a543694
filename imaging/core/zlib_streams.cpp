#include "imaging/core/zlib_streams.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace zv {

namespace {

constexpr int kBlockSize = 65536;
constexpr int kSkipStep = 8192;
// zlib counts in 32-bit units; larger transfers are handed over in pieces of this size.
constexpr int64_t kMaxPiece = int64_t(1) << 30;
constexpr const char* kInvalidOperation = "Invalid ZStream operation!";

// zlib's memory requests go through the memory manager like every other block of the library.
voidpf ZAlloc(voidpf, uInt Items, uInt Size) {
  if (Size != 0 && Items > SIZE_MAX / Size) return Z_NULL;
  return std::malloc(static_cast<size_t>(Items) * Size);
}

void ZFree(voidpf, voidpf Address) { std::free(Address); }

void PrepareRecord(z_stream& Z) {
  std::memset(&Z, 0, sizeof Z);
  Z.zalloc = ZAlloc;
  Z.zfree = ZFree;
  Z.opaque = Z_NULL;
}

int ZLevel(TZCompressionLevel Level) {
  switch (Level) {
    case zcNone: return 0;
    case zcFastest: return 1;
    case zcMax: return 9;
    case zcDefault:
    default: return Z_DEFAULT_COMPRESSION;
  }
}

}  // namespace

const char* ZErrorText(int Code) {
  switch (Code) {
    case Z_NEED_DICT: return "need dictionary";
    case Z_STREAM_END: return "stream end";
    case Z_OK: return "";
    case Z_ERRNO: return "file error";
    case Z_STREAM_ERROR: return "stream error";
    case Z_DATA_ERROR: return "data error";
    case Z_MEM_ERROR: return "insufficient memory";
    case Z_BUF_ERROR: return "buffer error";
    case Z_VERSION_ERROR: return "incompatible version";
    default: return "";
  }
}

int ZCompressCheck(int Code) {
  if (Code < 0) throw EZCompressionError(ZErrorText(Code));
  return Code;
}

int ZDecompressCheck(int Code) {
  // Inflating stops dead at a dictionary request; going on would only repeat it for ever.
  if (Code < 0 || Code == Z_NEED_DICT) throw EZDecompressionError(ZErrorText(Code));
  return Code;
}

// ---- TCustomZStream ---------------------------------------------------------------------------------

struct TCustomZStream::TZState {
  z_stream Z;
  uint8_t Buffer[kBlockSize];
  // Inflating only: zlib reported the end of the data, and where the data started in the source.
  bool StreamEnd = false;
  int64_t StartPos = 0;
};

TCustomZStream::TCustomZStream(TStream* AStream)
    : FStream(AStream), FStreamPos(AStream->Position()), FZ(std::make_unique<TZState>()) {
  PrepareRecord(FZ->Z);
  FZ->StartPos = FStreamPos;
}

TCustomZStream::~TCustomZStream() = default;

void TCustomZStream::Progress() {
  if (OnProgress) OnProgress(this);
}

void TCustomZStream::RestorePosition() {
  if (FStream->Position() != FStreamPos) FStream->SetPosition(FStreamPos);
}

// ---- TZCompressionStream ----------------------------------------------------------------------------

TZCompressionStream::TZCompressionStream(TStream* Dest, TZCompressionLevel Level) : TCustomZStream(Dest) {
  FZ->Z.next_out = FZ->Buffer;
  FZ->Z.avail_out = kBlockSize;
  ZCompressCheck(deflateInit(&FZ->Z, ZLevel(Level)));
}

TZCompressionStream::~TZCompressionStream() {
  try {
    Finish();
  } catch (...) {
    // A destructor cannot report; callers that care call Finish themselves.
  }
  deflateEnd(&FZ->Z);
}

void TZCompressionStream::Finish() {
  if (FFinished) return;
  FFinished = true;
  z_stream& z = FZ->Z;
  z.next_in = Z_NULL;
  z.avail_in = 0;
  RestorePosition();
  for (;;) {
    if (ZCompressCheck(deflate(&z, Z_FINISH)) == Z_STREAM_END) break;
    FStream->WriteBuffer(FZ->Buffer, kBlockSize - z.avail_out);
    z.next_out = FZ->Buffer;
    z.avail_out = kBlockSize;
  }
  if (z.avail_out < static_cast<uInt>(kBlockSize)) {
    FStream->WriteBuffer(FZ->Buffer, kBlockSize - z.avail_out);
    z.next_out = FZ->Buffer;
    z.avail_out = kBlockSize;
  }
  FStreamPos = FStream->Position();
}

int64_t TZCompressionStream::Read(void*, int64_t) { throw EZCompressionError(kInvalidOperation); }

int64_t TZCompressionStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  z_stream& z = FZ->Z;
  RestorePosition();
  const auto* in = static_cast<const uint8_t*>(Buffer);
  int64_t done = 0;
  while (done < Count) {
    const int64_t piece = std::min(Count - done, kMaxPiece);
    z.next_in = const_cast<Bytef*>(in + done);
    z.avail_in = static_cast<uInt>(piece);
    while (z.avail_in > 0) {
      ZCompressCheck(deflate(&z, Z_NO_FLUSH));
      if (z.avail_out == 0) {
        FStream->WriteBuffer(FZ->Buffer, kBlockSize);
        z.next_out = FZ->Buffer;
        z.avail_out = kBlockSize;
        FStreamPos = FStream->Position();
        Progress();
      }
    }
    done += piece;
  }
  return Count;
}

int64_t TZCompressionStream::Seek(int64_t, TSeekOrigin) { return static_cast<int64_t>(FZ->Z.total_in); }

// ---- TZDecompressionStream --------------------------------------------------------------------------

TZDecompressionStream::TZDecompressionStream(TStream* Source) : TCustomZStream(Source) {
  FZ->Z.next_in = FZ->Buffer;
  FZ->Z.avail_in = 0;
  ZDecompressCheck(inflateInit(&FZ->Z));
}

TZDecompressionStream::~TZDecompressionStream() { inflateEnd(&FZ->Z); }

int64_t TZDecompressionStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  z_stream& z = FZ->Z;
  RestorePosition();
  auto* out = static_cast<uint8_t*>(Buffer);
  int64_t done = 0;
  bool dry = false;
  while (done < Count && !FZ->StreamEnd && !dry) {
    const int64_t piece = std::min(Count - done, kMaxPiece);
    z.next_out = out + done;
    z.avail_out = static_cast<uInt>(piece);
    while (z.avail_out > 0 && !FZ->StreamEnd) {
      if (z.avail_in == 0) {
        const int64_t got = FStream->Read(FZ->Buffer, kBlockSize);
        if (got > 0) {
          z.next_in = FZ->Buffer;
          z.avail_in = static_cast<uInt>(got);
          FStreamPos = FStream->Position();
          Progress();
        }
      }
      // With the source dry zlib may still hold output of the input it took (the rest of a match that
      // did not fit the last read); only when it can give nothing more is the data cut short, and the
      // read delivers what it has (callers check the count).
      const int result = inflate(&z, Z_NO_FLUSH);
      if (result == Z_BUF_ERROR && z.avail_in == 0) {
        dry = true;
        break;
      }
      if (ZDecompressCheck(result) == Z_STREAM_END) FZ->StreamEnd = true;
    }
    done += piece - z.avail_out;
  }
  if (FZ->StreamEnd && z.avail_in > 0) {
    // Leave the source right behind the compressed data, for whoever reads on.
    FStream->Seek(-static_cast<int64_t>(z.avail_in), soCurrent);
    FStreamPos = FStream->Position();
    z.next_in = FZ->Buffer;
    z.avail_in = 0;
  }
  return done;
}

int64_t TZDecompressionStream::Write(const void*, int64_t) { throw EZDecompressionError(kInvalidOperation); }

int64_t TZDecompressionStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  z_stream& z = FZ->Z;
  const int64_t inflated = static_cast<int64_t>(z.total_out);
  if (Offset == 0 && Origin == soBeginning) {
    ZDecompressCheck(inflateReset(&z));
    z.next_in = FZ->Buffer;
    z.avail_in = 0;
    FZ->StreamEnd = false;
    FStream->SetPosition(FZ->StartPos);
    FStreamPos = FZ->StartPos;
  } else if ((Origin == soCurrent && Offset >= 0) || (Origin == soBeginning && Offset >= inflated)) {
    int64_t skip = Origin == soCurrent ? Offset : Offset - inflated;
    uint8_t scratch[kSkipStep];
    while (skip > 0) {
      const int64_t n = std::min<int64_t>(skip, kSkipStep);
      ReadBuffer(scratch, n);
      skip -= n;
    }
  } else if (Origin == soEnd && Offset == 0) {
    uint8_t scratch[kSkipStep];
    while (Read(scratch, kSkipStep) > 0) {
    }
  } else {
    throw EZDecompressionError(kInvalidOperation);
  }
  return static_cast<int64_t>(z.total_out);
}

// ---- ZDecompressBuf ---------------------------------------------------------------------------------

void ZDecompressBuf(const void* InBuf, int32_t InBytes, void*& OutBuf, int32_t& OutBytes, int32_t OutEstimate) {
  OutBuf = nullptr;
  OutBytes = 0;
  if (InBytes < 0) InBytes = 0;
  // At least one step, so that growing always adds room.
  const int64_t delta = std::max<int64_t>((int64_t(InBytes) + 255) / 256 * 256, 256);
  int64_t capacity = OutEstimate > 0 ? OutEstimate : delta;
  uint8_t* out = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(capacity)));
  if (out == nullptr) throw EZDecompressionError(ZErrorText(Z_MEM_ERROR));
  z_stream z;
  PrepareRecord(z);
  z.next_in = static_cast<Bytef*>(const_cast<void*>(InBuf));
  z.avail_in = static_cast<uInt>(InBytes);
  z.next_out = out;
  z.avail_out = static_cast<uInt>(capacity);
  try {
    ZDecompressCheck(inflateInit(&z));
    try {
      for (;;) {
        const uInt inBefore = z.avail_in;
        const uLong outBefore = z.total_out;
        const int result = ZDecompressCheck(inflate(&z, Z_NO_FLUSH));
        if (result == Z_STREAM_END) break;
        // Any zlib reports "no progress" on the next round; this stops truncated data here as well.
        if (z.avail_in == inBefore && z.total_out == outBefore)
          throw EZDecompressionError(ZErrorText(Z_BUF_ERROR));
        if (capacity + delta > INT32_MAX) throw EZDecompressionError(ZErrorText(Z_MEM_ERROR));
        auto* grown = static_cast<uint8_t*>(std::realloc(out, static_cast<size_t>(capacity + delta)));
        if (grown == nullptr) throw EZDecompressionError(ZErrorText(Z_MEM_ERROR));
        out = grown;
        capacity += delta;
        z.next_out = out + z.total_out;
        z.avail_out = static_cast<uInt>(capacity - static_cast<int64_t>(z.total_out));
      }
    } catch (...) {
      inflateEnd(&z);
      throw;
    }
    ZDecompressCheck(inflateEnd(&z));
  } catch (...) {
    std::free(out);
    throw;
  }
  const int64_t size = static_cast<int64_t>(z.total_out);
  if (auto* shrunk = static_cast<uint8_t*>(std::realloc(out, static_cast<size_t>(std::max<int64_t>(size, 1)))))
    out = shrunk;
  OutBuf = out;
  OutBytes = static_cast<int32_t>(size);
}

}  // namespace zv
