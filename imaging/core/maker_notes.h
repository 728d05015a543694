// The maker note of an EXIF block (a camera maker's private directory): recognised by the bytes that
// start it, kept as a self-contained little-endian directory with its values beside the entries, and
// written back in its maker's layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/objects.h"
#include "platform/streams.h"

namespace zv {

// One directory entry, in host order.
#pragma pack(push, 1)
struct TIETIFFTagEntry {
  uint16_t Tag;
  uint16_t FieldType;
  uint32_t Count;
  uint32_t Value;  // the value itself when it takes 4 bytes or less, else where it lies
};
#pragma pack(pop)
static_assert(sizeof(TIETIFFTagEntry) == 12);

// Bytes per value of a field type (1 BYTE ... 12 DOUBLE); 1 for any other type.
int32_t TiffFieldTypeSize(uint16_t FieldType);

// How one maker lays out its note.
struct TIEEXIFMakerNoteDeviceInfo {
  std::string Header;      // the prefix bytes that start the note (may hold zeros)
  uint8_t OffsetBase = 0;  // values count from: 0 the EXIF TIFF structure, 1 the note's own TIFF header
                           // (the byte after the prefix) or, without one, the note's first byte
  uint8_t HeaderKind = 0;  // after the prefix: 0 the directory, 1 an 8-byte TIFF header, 2 a 4-byte offset
  uint8_t TIFFHeader[8] = {0, 0, 0, 0, 0, 0, 0, 0};  // the note's own TIFF header, read with HeaderKind 1
  uint8_t ByteOrder = 0;   // 0 as the EXIF block, 1 from the note's TIFF header, 2 little-, 3 big-endian
};

// The makers tried in order; MakerNoteDevices[MakerNoteDeviceCount] is the default used when none matches.
constexpr int32_t MakerNoteDeviceCount = 8;
extern const TIEEXIFMakerNoteDeviceInfo MakerNoteDevices[MakerNoteDeviceCount + 1];

// The longest note WriteToStream writes.
constexpr int32_t MaxMakerNoteLength = 65000;

class TIETagsHandler : public TObject {
public:
  TIETagsHandler();
  ~TIETagsHandler() override;
  TIETagsHandler(const TIETagsHandler&) = delete;
  TIETagsHandler& operator=(const TIETagsHandler&) = delete;

  // No raw data, the default device, an empty directory.
  void Clear();
  void Assign(const TIETagsHandler* Source);
  void SetRawData(std::vector<uint8_t> Data) { FRawData = std::move(Data); }
  // The first row of MakerNoteDevices whose prefix matches the raw data (over the shorter of the two).
  void DetectDevice();

  // Reads a note of Length bytes at the stream's position (the EXIF block's TIFF structure starts at the
  // stream's position 0). Every read stays within the note: a note shorter than its prefix and headers,
  // with more than 256 entries or an entry table past its end leaves the handler cleared; an entry whose
  // value lies outside the note keeps its tag and type with Count and Value 0.
  void ReadFromStream(TStream* Stream, int32_t Length, bool ExifLittleEndian);
  // Writes the note at the stream's position in the device's layout and returns its length; a note longer
  // than MaxMakerNoteLength is not written (0, the stream as it was).
  int32_t WriteToStream(TStream* Stream);
  // Entries := the directory of IfdStream, as far as IfdStream holds it.
  void LoadEntries();

  const std::vector<uint8_t>& RawData() const { return FRawData; }
  int32_t RawLength() const { return int32_t(FRawData.size()); }
  int32_t EntryCount() const { return int32_t(Entries.size()); }

  TIEEXIFMakerNoteDeviceInfo Device;
  // The note as a directory in host order: a 16-bit count, the 12-byte entries, then the values longer
  // than 4 bytes, each entry's Value the offset of its data from the start of the stream. No next-IFD
  // field. The camera-raw reader fills it directly and then calls LoadEntries.
  TMemoryStream IfdStream;
  std::vector<TIETIFFTagEntry> Entries;

private:
  std::vector<uint8_t> FRawData;
};

}  // namespace zv
