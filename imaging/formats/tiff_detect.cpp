#include "imaging/formats/tiff_detect.h"

#include <cstdint>

#include "imaging/core/ie_streams.h"
#include "imaging/core/tiff_handler.h"
#include "imaging/formats/exif_blocks.h"
#include "imaging/formats/tiff_container.h"
#include "imaging/io/safe_file_save.h"
#include "platform/streams.h"

namespace zv {

namespace tiffdetect {

constexpr int32_t ReadAhead = 1024;

// Puts the stream back where it was, also when a read raises.
class TPositionRestore {
public:
  explicit TPositionRestore(TStream* Stream) : FStream(Stream), FPosition(Stream->Position()) {}
  ~TPositionRestore() { FStream->SetPosition(FPosition); }
  TPositionRestore(const TPositionRestore&) = delete;
  TPositionRestore& operator=(const TPositionRestore&) = delete;

private:
  TStream* FStream;
  int64_t FPosition;
};

uint32_t HeaderOffset(const uint8_t* H) {
  if (H[0] == 'M')
    return (uint32_t(H[4]) << 24) | (uint32_t(H[5]) << 16) | (uint32_t(H[6]) << 8) | uint32_t(H[7]);
  return uint32_t(H[4]) | (uint32_t(H[5]) << 8) | (uint32_t(H[6]) << 16) | (uint32_t(H[7]) << 24);
}

bool IsByteOrderMark(const uint8_t* H) { return (H[0] == 'I' && H[1] == 'I') || (H[0] == 'M' && H[1] == 'M'); }

// Loads IFD 0 of the TIFF that starts at Base in Stream, in the byte order of the header H.
bool ReadFirstIfd(TStream* Stream, int64_t Base, const uint8_t* H, TiffDirectory& Dir) {
  Dir.Stream = Stream;
  Dir.Base = Base;
  Dir.LittleEndian = H[0] == 'I' ? 1 : 0;
  int32_t Count = 0;
  return TiffReadIFD(0, HeaderOffset(H), Dir, Count);
}

bool HasTags(const TiffDirectory& Dir, std::initializer_list<uint16_t> Tags) {
  for (uint16_t Tag : Tags)
    if (TiffFindTag(Dir, Tag) < 0) return false;
  return true;
}

}  // namespace tiffdetect

bool IsTiffStream(TStream* Stream) {
  using namespace tiffdetect;
  TPositionRestore Restore(Stream);
  TIEBufferedReadStream Reader(Stream, ReadAhead, true);
  const int64_t Size = Reader.Size();
  if (Size <= 8) return false;
  uint8_t H[9];
  if (Reader.Read(H, 9) != 9) return false;
  const uint32_t Offset = HeaderOffset(H);
  bool Candidate = false;
  if (H[0] == 'I' && H[1] == 'I')
    Candidate = int64_t(Offset) < Size;
  else if (H[0] == 'M' && H[1] == 'M')
    Candidate = int64_t(Offset) < Size && H[8] != 0xBA;
  if (!Candidate) return false;
  TiffDirectory Dir;
  if (!ReadFirstIfd(&Reader, 0, H, Dir)) return false;
  return HasTags(Dir, {256, 257});
}

bool IsCameraRawTiff(TStream* Stream) {
  using namespace tiffdetect;
  TPositionRestore Restore(Stream);
  const int64_t Base = Stream->Position();
  uint8_t H[8];
  if (Stream->Read(H, 8) != 8 || !IsByteOrderMark(H)) return false;
  TiffDirectory Dir;
  if (!ReadFirstIfd(Stream, Base, H, Dir)) return false;
  const int32_t Dng = TiffFindTag(Dir, 50706);
  if (Dng >= 0 && Dir.Entries[Dng].Type == tftByte && Dir.Entries[Dng].Count == 4) return true;
  const int32_t Photometric = TiffFindTag(Dir, 262);
  if (Photometric >= 0 && Dir.Entries[Photometric].Type == tftShort && Dir.Entries[Photometric].Count == 1) {
    const int32_t Value = TiffEntryValue(Dir, Dir.Entries[Photometric]);
    if (Value == 32803 || Value == 34892) return true;
  }
  // Cameras that keep the raw data in sub-IFDs show only a small preview as the main image.
  return HasTags(Dir, {330, 37398}) && TiffGetTag(Dir, 256, 0) < 200 && TiffGetTag(Dir, 257, 0) < 200;
}

bool IsHdPhotoStream(TStream* Stream) {
  using namespace tiffdetect;
  TPositionRestore Restore(Stream);
  TIEBufferedReadStream Reader(Stream, ReadAhead, true);
  if (Reader.Size() <= 8) return false;
  uint8_t H[8];
  if (Reader.Read(H, 8) != 8 || H[0] != 'I' || H[1] != 'I') return false;
  TiffDirectory Dir;
  if (!ReadFirstIfd(&Reader, 0, H, Dir)) return false;
  return HasTags(Dir, {48256, 48257, 48129, 48320, 48321});
}

bool TiffCopyExifTags(TStream* Source, TStream* Target, const std::string& SourceFileName, TIOParamsVals& Params,
                      int32_t Page, const std::string& TargetFileName) {
  // The tags copied, in this order.
  static const uint16_t Copied[] = {271,   272,   306,   274,   282,   283,   296,   305,   315,   318,   531,  319,
                                    529,   532,   33432, 18246, 40091, 40092, 40093, 40094, 40095, 34665, 34853};
  const std::vector<uint8_t> Block = ExifSaveToBuffer(Params, false);
  TIEMemStream BlockStream(Block.data(), int64_t(Block.size()));
  const std::unique_ptr<TIETIFFHandler> Exif = TIETIFFHandler::CreateFromStream(&BlockStream);

  int64_t Start = 0;
  std::unique_ptr<TIETIFFHandler> File;
  if (Source != nullptr) {
    Start = Source->Position();
    File = TIETIFFHandler::CreateFromStream(Source);
  } else {
    File = TIETIFFHandler::CreateFromFile(SourceFileName);
  }
  // Writing back what could not be read as TIFF would only destroy the file.
  if (File->PageCount() == 0) return true;

  for (const uint16_t Tag : Copied) {
    const int32_t Index = Exif->FindPageTag(0, Tag);
    if (Index >= 0) File->CopyTag(0, Index, *Exif, Page);
  }

  if (Target != nullptr) {
    // Made in memory first: the structure's data lie past its last IFD, so only the finished file
    // tells where it ends, and what the old content held past that end is cut off.
    const int64_t At = Target == Source ? Start : Target->Position();
    TMemoryStream Made;
    Made.SetSize(At);
    Made.SetPosition(At);
    File->WriteStream(&Made, -1);
    Target->SetPosition(At);
    Target->WriteBuffer(static_cast<const uint8_t*>(Made.Memory()) + At, Made.Size() - At);
    if (Target->Size() > Target->Position()) Target->SetSize(Target->Position());
  } else {
    TIESafeFileSave Save(TargetFileName);
    File->WriteStream(Save.Stream(), -1);
    Save.Commit();
  }
  return true;
}

}  // namespace zv
