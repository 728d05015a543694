#include "platform/avifile.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/checked_math.h"

namespace zv {
namespace avi {

// A frame's data chunk in the file.
struct TFrameChunk {
  int64_t Offset = 0;
  uint32_t Size = 0;
};

// What the headers and the index of one file say about its first video stream.
struct TAviData {
  std::string FileName;
  int64_t FileSize = 0;
  bool HasVideo = false;
  uint32_t VideoStreamNumber = 0;  // the NN of the "NNdb"/"NNdc" chunk ids
  AVISTREAMINFOW Info;
  std::vector<uint8_t> Format;  // the strf chunk: BITMAPINFOHEADER and colour table
  std::vector<TFrameChunk> Frames;
};

struct TAviFileState {
  std::shared_ptr<TAviData> Data;
};
struct TAviStreamState {
  std::shared_ptr<TAviData> Data;
};
struct TAviFrameReader {
  std::shared_ptr<TAviData> Data;
  BITMAPINFOHEADER Header;
  uint32_t PaletteEntries = 0;
  uint32_t FileStride = 0;
  uint32_t ImageSize = 0;
  std::vector<uint8_t> Dib;
};

namespace {

constexpr uint32_t kRiff = MakeFourCC('R', 'I', 'F', 'F');
constexpr uint32_t kAvi = MakeFourCC('A', 'V', 'I', ' ');
constexpr uint32_t kList = MakeFourCC('L', 'I', 'S', 'T');
constexpr uint32_t kHdrl = MakeFourCC('h', 'd', 'r', 'l');
constexpr uint32_t kStrl = MakeFourCC('s', 't', 'r', 'l');
constexpr uint32_t kStrh = MakeFourCC('s', 't', 'r', 'h');
constexpr uint32_t kStrf = MakeFourCC('s', 't', 'r', 'f');
constexpr uint32_t kMovi = MakeFourCC('m', 'o', 'v', 'i');
constexpr uint32_t kRec = MakeFourCC('r', 'e', 'c', ' ');
constexpr uint32_t kIdx1 = MakeFourCC('i', 'd', 'x', '1');
constexpr uint32_t kDibFourCC = MakeFourCC('D', 'I', 'B', ' ');
constexpr int64_t kMaxFrameBytes = int64_t(1) << 28;

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

class TFile {
public:
  explicit TFile(const std::string& Name) : F(std::fopen(Name.c_str(), "rb")) {}
  ~TFile() {
    if (F != nullptr) std::fclose(F);
  }
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;
  bool Ok() const { return F != nullptr; }
  int64_t Size() {
    if (std::fseek(F, 0, SEEK_END) != 0) return -1;
    return std::ftell(F);
  }
  bool Read(int64_t Offset, void* Buffer, size_t Count) {
    return std::fseek(F, long(Offset), SEEK_SET) == 0 && std::fread(Buffer, 1, Count, F) == Count;
  }
  bool Read(int64_t Offset, std::vector<uint8_t>& Buffer, size_t Count) {
    Buffer.resize(Count);
    return Count == 0 || Read(Offset, Buffer.data(), Count);
  }

private:
  std::FILE* F;
};

// Calls Visit(id, dataOffset, size) for each chunk in [Begin, End); false when a chunk runs past End.
template <typename V>
bool WalkChunks(TFile& File, int64_t Begin, int64_t End, V&& Visit) {
  int64_t pos = Begin;
  while (pos + 8 <= End) {
    uint8_t head[8];
    if (!File.Read(pos, head, 8)) return false;
    const uint32_t size = U32(head + 4);
    const int64_t data = pos + 8;
    if (data + int64_t(size) > End) return false;
    if (!Visit(U32(head), data, size)) return false;
    pos = data + int64_t(size) + (size & 1);
  }
  return true;
}

bool ReadStreamList(TFile& File, int64_t Begin, int64_t End, uint32_t Number, TAviData& Data) {
  AVISTREAMINFOW info;
  std::vector<uint8_t> format;
  bool haveHeader = false;
  const bool ok = WalkChunks(File, Begin, End, [&](uint32_t Id, int64_t At, uint32_t Size) {
    if (Id == kStrh && Size >= 48) {
      uint8_t h[48];
      if (!File.Read(At, h, 48)) return false;
      info.fccType = U32(h);
      info.fccHandler = U32(h + 4);
      info.dwFlags = U32(h + 8);
      info.wPriority = U16(h + 12);
      info.wLanguage = U16(h + 14);
      info.dwInitialFrames = U32(h + 16);
      info.dwScale = U32(h + 20);
      info.dwRate = U32(h + 24);
      info.dwStart = U32(h + 28);
      info.dwLength = U32(h + 32);
      info.dwSuggestedBufferSize = U32(h + 36);
      info.dwQuality = U32(h + 40);
      info.dwSampleSize = U32(h + 44);
      haveHeader = true;
    } else if (Id == kStrf && Size <= 40 + 256 * 4) {
      if (!File.Read(At, format, Size)) return false;
    }
    return true;
  });
  if (!ok || !haveHeader || info.fccType != streamtypeVIDEO || Data.HasVideo) return ok;
  Data.HasVideo = true;
  Data.VideoStreamNumber = Number;
  Data.Info = info;
  Data.Format = std::move(format);
  return true;
}

bool IsFrameId(uint32_t Id, uint32_t Number) {
  const char tens = char('0' + Number / 10), ones = char('0' + Number % 10);
  return Id == MakeFourCC(tens, ones, 'd', 'b') || Id == MakeFourCC(tens, ones, 'd', 'c');
}

bool ReadMovi(TFile& File, int64_t Begin, int64_t End, const TAviData& Data, std::vector<TFrameChunk>& Frames) {
  return WalkChunks(File, Begin, End, [&](uint32_t Id, int64_t At, uint32_t Size) {
    if (Id == kList && Size >= 4) {
      uint8_t type[4];
      if (!File.Read(At, type, 4)) return false;
      if (U32(type) == kRec) return ReadMovi(File, At + 4, At + Size, Data, Frames);
    } else if (IsFrameId(Id, Data.VideoStreamNumber)) {
      Frames.push_back({At, Size});
    }
    return true;
  });
}

// idx1 offsets count from the "movi" tag, or, in some writers' files, from the file's start.
bool ReadIndex(TFile& File, int64_t At, uint32_t Size, int64_t MoviTag, int64_t MoviEnd, const TAviData& Data,
               std::vector<TFrameChunk>& Frames) {
  std::vector<uint8_t> index;
  if (!File.Read(At, index, Size - Size % 16)) return false;
  int64_t base = MoviTag;
  if (index.size() >= 16 && int64_t(U32(index.data() + 8)) >= MoviTag + 4) base = 0;
  for (size_t i = 0; i + 16 <= index.size(); i += 16) {
    const uint8_t* e = index.data() + i;
    if (!IsFrameId(U32(e), Data.VideoStreamNumber)) continue;
    const int64_t chunk = base + int64_t(U32(e + 8));
    const uint32_t size = U32(e + 12);
    if (chunk < MoviTag + 4 || chunk + 8 + int64_t(size) > MoviEnd) return false;
    uint8_t head[8];
    if (!File.Read(chunk, head, 8) || U32(head) != U32(e) || U32(head + 4) != size) return false;
    Frames.push_back({chunk + 8, size});
  }
  return true;
}

std::shared_ptr<TAviData> ReadAvi(const std::string& FileName, HRESULT& Result) {
  TFile file(FileName);
  Result = AVIERR_FILEOPEN;
  if (!file.Ok()) return nullptr;
  auto data = std::make_shared<TAviData>();
  data->FileName = FileName;
  data->FileSize = file.Size();
  Result = AVIERR_BADFORMAT;
  uint8_t head[12];
  if (data->FileSize < 12 || !file.Read(0, head, 12) || U32(head) != kRiff || U32(head + 8) != kAvi) return nullptr;
  const int64_t riffEnd = 8 + int64_t(U32(head + 4));
  if (riffEnd > data->FileSize) return nullptr;

  int64_t moviTag = -1, moviEnd = -1;
  bool haveIndex = false, indexOk = true;
  std::vector<TFrameChunk> indexed;
  uint32_t streamNumber = 0;
  const bool ok = WalkChunks(file, 12, riffEnd, [&](uint32_t Id, int64_t At, uint32_t Size) {
    if (Id == kList && Size >= 4) {
      uint8_t type[4];
      if (!file.Read(At, type, 4)) return false;
      if (U32(type) == kHdrl) {
        return WalkChunks(file, At + 4, At + Size, [&](uint32_t SubId, int64_t SubAt, uint32_t SubSize) {
          if (SubId != kList || SubSize < 4) return true;
          uint8_t subType[4];
          if (!file.Read(SubAt, subType, 4)) return false;
          if (U32(subType) != kStrl) return true;
          return ReadStreamList(file, SubAt + 4, SubAt + SubSize, streamNumber++, *data);
        });
      }
      if (U32(type) == kMovi && moviTag < 0) {
        moviTag = At;
        moviEnd = At + Size;
      }
    } else if (Id == kIdx1 && moviTag >= 0 && data->HasVideo && !haveIndex) {
      haveIndex = true;
      indexOk = ReadIndex(file, At, Size, moviTag, moviEnd, *data, indexed);
    }
    return true;
  });
  if (!ok || !indexOk || moviTag < 0) return nullptr;
  if (data->HasVideo) {
    if (haveIndex)
      data->Frames = std::move(indexed);
    else if (!ReadMovi(file, moviTag + 4, moviEnd, *data, data->Frames))
      return nullptr;
    data->Info.dwLength = uint32_t(data->Frames.size());
  }
  Result = AVIERR_OK;
  return data;
}

}  // namespace
}  // namespace avi

void AVIFileInit() {}
void AVIFileExit() {}

HRESULT AVIFileOpenW(PAVIFILE* File, const std::string& FileName, uint32_t, void*) {
  *File = nullptr;
  HRESULT result;
  std::shared_ptr<avi::TAviData> data = avi::ReadAvi(FileName, result);
  if (data) *File = new avi::TAviFileState{std::move(data)};
  return result;
}

uint32_t AVIFileRelease(PAVIFILE File) {
  delete File;
  return 0;
}

HRESULT AVIFileGetStream(PAVIFILE File, PAVISTREAM* Stream, uint32_t Type, int32_t Param) {
  *Stream = nullptr;
  if (File == nullptr || Type != streamtypeVIDEO || Param != 0 || !File->Data->HasVideo ||
      File->Data->Frames.empty())
    return AVIERR_NODATA;
  *Stream = new avi::TAviStreamState{File->Data};
  return AVIERR_OK;
}

uint32_t AVIStreamRelease(PAVISTREAM Stream) {
  delete Stream;
  return 0;
}

HRESULT AVIStreamInfoW(PAVISTREAM Stream, AVISTREAMINFOW* Info, int32_t Size) {
  if (Stream == nullptr || Info == nullptr || Size < int32_t(sizeof(AVISTREAMINFOW))) return AVIERR_BADFORMAT;
  *Info = Stream->Data->Info;
  return AVIERR_OK;
}

PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM Stream, const BITMAPINFOHEADER* Wanted) {
  if (Stream == nullptr || Wanted != nullptr) return nullptr;
  const std::vector<uint8_t>& format = Stream->Data->Format;
  if (format.size() < 40) return nullptr;
  BITMAPINFOHEADER h;
  h.biSize = 40;
  h.biWidth = int32_t(avi::U32(format.data() + 4));
  h.biHeight = int32_t(avi::U32(format.data() + 8));
  h.biPlanes = 1;
  h.biBitCount = avi::U16(format.data() + 14);
  h.biCompression = avi::U32(format.data() + 16);
  h.biClrUsed = avi::U32(format.data() + 32);
  if (h.biCompression != 0 && h.biCompression != avi::kDibFourCC) return nullptr;
  h.biCompression = 0;
  const uint16_t bits = h.biBitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 15 && bits != 16 && bits != 24 && bits != 32) return nullptr;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return nullptr;
  const int64_t height = h.biHeight < 0 ? -int64_t(h.biHeight) : h.biHeight;
  const int64_t rowBits = int64_t(h.biWidth) * (bits == 15 ? 16 : bits);
  const int64_t stride = (rowBits + 31) / 32 * 4;
  int64_t imageSize;
  if (!CheckedSizeWithin({stride, height}, avi::kMaxFrameBytes, imageSize)) return nullptr;
  auto reader = new avi::TAviFrameReader;
  reader->Data = Stream->Data;
  reader->FileStride = uint32_t(stride);
  reader->ImageSize = uint32_t(imageSize);
  if (bits <= 8) {
    const uint32_t most = 1u << bits;
    reader->PaletteEntries = h.biClrUsed == 0 || h.biClrUsed > most ? most : h.biClrUsed;
  }
  h.biClrUsed = reader->PaletteEntries;
  if (bits == 15) h.biBitCount = 16;
  h.biHeight = int32_t(height);
  h.biSizeImage = reader->ImageSize;
  reader->Header = h;
  return reader;
}

void* AVIStreamGetFrame(PGETFRAME Reader, int32_t Pos) {
  if (Reader == nullptr || Pos < 0 || size_t(Pos) >= Reader->Data->Frames.size()) return nullptr;
  const avi::TFrameChunk& chunk = Reader->Data->Frames[size_t(Pos)];
  if (chunk.Size < Reader->ImageSize) return nullptr;
  const size_t headerBytes = 40 + size_t(Reader->PaletteEntries) * 4;
  std::vector<uint8_t>& dib = Reader->Dib;
  dib.assign(headerBytes + Reader->ImageSize, 0);
  std::memcpy(dib.data(), &Reader->Header, 40);
  // Colour table: what strf holds after its header; missing entries stay black.
  const std::vector<uint8_t>& format = Reader->Data->Format;
  const size_t tableBytes = std::min(format.size() - 40, size_t(Reader->PaletteEntries) * 4);
  if (tableBytes > 0) std::memcpy(dib.data() + 40, format.data() + 40, tableBytes);
  avi::TFile file(Reader->Data->FileName);
  uint8_t* pixels = dib.data() + headerBytes;
  if (!file.Ok() || !file.Read(chunk.Offset, pixels, Reader->ImageSize)) return nullptr;
  // A negative height in the stream's format means top-down rows: hand out bottom-up rows.
  if (int32_t(avi::U32(format.data() + 8)) < 0) {
    const size_t stride = Reader->FileStride, rows = Reader->ImageSize / stride;
    std::vector<uint8_t> row(stride);
    for (size_t y = 0; y < rows / 2; ++y) {
      uint8_t* a = pixels + y * stride;
      uint8_t* b = pixels + (rows - 1 - y) * stride;
      std::memcpy(row.data(), a, stride);
      std::memcpy(a, b, stride);
      std::memcpy(b, row.data(), stride);
    }
  }
  return dib.data();
}

uint16_t AviStreamBitCount(PAVISTREAM Stream) {
  if (Stream == nullptr || Stream->Data->Format.size() < 40) return 0;
  const uint16_t bits = avi::U16(Stream->Data->Format.data() + 14);
  const uint32_t compression = avi::U32(Stream->Data->Format.data() + 16);
  // Uncompressed 16-bit frames are 5-5-5.
  return bits == 16 && (compression == 0 || compression == avi::kDibFourCC) ? 15 : bits;
}

HRESULT AVIStreamGetFrameClose(PGETFRAME Reader) {
  delete Reader;
  return AVIERR_OK;
}

}  // namespace zv
