// libtiff as the independent judge of the TIFF strip coders: it decodes strips wrapped in a one-page
// TIFF, and codes rows into strips of its own, all in memory. Tests and benchmarks only.
#pragma once

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>


namespace zv::libtiff {

using Bytes = std::vector<uint8_t>;

struct MemoryFile {
  Bytes Data;
  toff_t Pos = 0;
};

inline tmsize_t MemRead(thandle_t H, void* Buf, tmsize_t Size) {
  auto* F = static_cast<MemoryFile*>(H);
  const toff_t Left = F->Pos < F->Data.size() ? F->Data.size() - F->Pos : 0;
  const tmsize_t N = tmsize_t(std::min<toff_t>(Left, toff_t(Size)));
  if (N > 0) std::memcpy(Buf, F->Data.data() + F->Pos, size_t(N));
  F->Pos += toff_t(N);
  return N;
}
inline tmsize_t MemWrite(thandle_t H, void* Buf, tmsize_t Size) {
  auto* F = static_cast<MemoryFile*>(H);
  if (F->Pos + toff_t(Size) > F->Data.size()) F->Data.resize(size_t(F->Pos + toff_t(Size)));
  std::memcpy(F->Data.data() + F->Pos, Buf, size_t(Size));
  F->Pos += toff_t(Size);
  return Size;
}
inline toff_t MemSeek(thandle_t H, toff_t Off, int Whence) {
  auto* F = static_cast<MemoryFile*>(H);
  if (Whence == SEEK_SET) F->Pos = Off;
  else if (Whence == SEEK_CUR) F->Pos += Off;
  else F->Pos = F->Data.size() + Off;
  return F->Pos;
}
inline int MemClose(thandle_t) { return 0; }
inline toff_t MemSize(thandle_t H) { return static_cast<MemoryFile*>(H)->Data.size(); }
inline int MemMap(thandle_t, void**, toff_t*) { return 0; }
inline void MemUnmap(thandle_t, void*, toff_t) {}

inline void Quiet() {
  TIFFSetWarningHandler(nullptr);
  TIFFSetErrorHandler(nullptr);
}

inline TIFF* Open(MemoryFile& F, const char* Mode) {
  Quiet();
  F.Pos = 0;
  return TIFFClientOpen("memory", Mode, &F, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap, MemUnmap);
}

// An open TIFF in memory whose first strip can be decoded again and again.
class StripReader {
public:
  explicit StripReader(const Bytes& File) {
    FFile.Data = File;
    FTiff = Open(FFile, "r");
  }
  ~StripReader() {
    if (FTiff != nullptr) TIFFClose(FTiff);
  }
  StripReader(const StripReader&) = delete;
  StripReader& operator=(const StripReader&) = delete;

  bool Ok() const { return FTiff != nullptr; }
  // Strip 0 decoded; false when libtiff refuses it.
  bool Decode(Bytes& Out) {
    if (FTiff == nullptr) return false;
    Out.resize(size_t(TIFFStripSize(FTiff)));
    return TIFFReadEncodedStrip(FTiff, 0, Out.data(), tmsize_t(Out.size())) >= 0;
  }

private:
  MemoryFile FFile;
  TIFF* FTiff = nullptr;
};

inline bool DecodeStrip(const Bytes& File, Bytes& Out) {
  StripReader R(File);
  return R.Decode(Out);
}

// Codes Rows (Height rows of Width pixels, one strip) the way libtiff writes them; bilevel rows are
// WhiteIsZero. Compression 3 takes T4Options. Returns the coded strip.
inline Bytes EncodeStrip(const Bytes& Rows, uint32_t Width, uint32_t Height, uint16_t BitsPerSample,
                         uint16_t Compression, uint32_t T4Options = 0) {
  MemoryFile F;
  TIFF* T = Open(F, "w");
  if (T == nullptr) return {};
  TIFFSetField(T, TIFFTAG_IMAGEWIDTH, Width);
  TIFFSetField(T, TIFFTAG_IMAGELENGTH, Height);
  TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, BitsPerSample);
  TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
  TIFFSetField(T, TIFFTAG_COMPRESSION, Compression);
  TIFFSetField(T, TIFFTAG_PHOTOMETRIC, BitsPerSample == 1 ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(T, TIFFTAG_ROWSPERSTRIP, Height);
  TIFFSetField(T, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  if (Compression == COMPRESSION_CCITTFAX3) TIFFSetField(T, TIFFTAG_GROUP3OPTIONS, T4Options);
  TIFFWriteEncodedStrip(T, 0, const_cast<uint8_t*>(Rows.data()), tmsize_t(Rows.size()));
  TIFFClose(T);
  T = Open(F, "r");
  if (T == nullptr) return {};
  Bytes Strip(size_t(std::max<tmsize_t>(0, TIFFRawStripSize(T, 0))));
  const tmsize_t N = TIFFReadRawStrip(T, 0, Strip.data(), tmsize_t(Strip.size()));
  Strip.resize(N > 0 ? size_t(N) : 0);
  TIFFClose(T);
  return Strip;
}

}  // namespace zv::libtiff
