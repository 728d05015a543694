#include "imaging/core/maker_notes.h"

#include <algorithm>
#include <cstring>

namespace zv {

namespace {

using namespace std::string_literals;

// Reads and writes the note's numbers in its byte order.
struct TNoteOrder {
  bool Big;
  uint16_t Get16(const uint8_t* P) const { return Big ? uint16_t(P[0] << 8 | P[1]) : uint16_t(P[1] << 8 | P[0]); }
  uint32_t Get32(const uint8_t* P) const {
    return Big ? uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | P[3]
               : uint32_t(P[3]) << 24 | uint32_t(P[2]) << 16 | uint32_t(P[1]) << 8 | P[0];
  }
  void Put16(uint8_t* P, uint16_t V) const {
    if (Big) P[0] = uint8_t(V >> 8), P[1] = uint8_t(V);
    else P[0] = uint8_t(V), P[1] = uint8_t(V >> 8);
  }
  void Put32(uint8_t* P, uint32_t V) const {
    for (int i = 0; i < 4; ++i) P[Big ? 3 - i : i] = uint8_t(V >> (8 * i));
  }
};

// The note's byte order by the device's rule; ExifLittleEndian stands for rule 0.
TNoteOrder NoteOrderOf(const TIEEXIFMakerNoteDeviceInfo& Device, bool ExifLittleEndian) {
  switch (Device.ByteOrder) {
    case 0: return TNoteOrder{!ExifLittleEndian};
    case 1: return TNoteOrder{!(Device.TIFFHeader[0] == 'I' && Device.TIFFHeader[1] == 'I')};
    case 2: return TNoteOrder{false};
    default: return TNoteOrder{true};
  }
}

constexpr int32_t MaxMakerNoteEntries = 256;
// Values of a sound note never overlap, so they never add up to more than the note; the directory may
// grow to this much more than the note for notes whose entries share their data, and no further.
constexpr int64_t MakerNoteSharedValueAllowance = 65536;

void WriteEntryAt(TMemoryStream& Stream, int64_t At, const TIETIFFTagEntry& Entry) {
  Stream.Seek(At, soBeginning);
  Stream.WriteBuffer(&Entry, sizeof Entry);
}

}  // namespace

const TIEEXIFMakerNoteDeviceInfo MakerNoteDevices[MakerNoteDeviceCount + 1] = {
    {"SONY CAM \0\0\0"s, 0, 0, {}, 0},
    {"SONY DSC \0\0\0"s, 0, 0, {}, 0},
    {"Nikon\0\x02\x10\0\0"s, 1, 1, {}, 1},
    {"QVC\0\0\0"s, 0, 0, {}, 3},
    {"EPSON\0\x01\0"s, 0, 0, {}, 0},
    {"Nikon\0\x01\0"s, 0, 0, {}, 0},
    {"Panasonic\0\0\0"s, 0, 0, {}, 0},
    {"FUJIFILM"s, 1, 2, {}, 2},
    {""s, 0, 0, {}, 0},
};

int32_t TiffFieldTypeSize(uint16_t FieldType) {
  static constexpr int32_t Sizes[13] = {1, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return FieldType <= 12 ? Sizes[FieldType] : 1;
}

TIETagsHandler::TIETagsHandler() { Clear(); }

TIETagsHandler::~TIETagsHandler() = default;

void TIETagsHandler::Clear() {
  Entries.clear();
  FRawData.clear();
  FRawData.shrink_to_fit();
  Device = MakerNoteDevices[MakerNoteDeviceCount];
  IfdStream.Clear();
}

void TIETagsHandler::Assign(const TIETagsHandler* Source) {
  if (Source == nullptr || Source == this) return;
  Clear();
  TMemoryStream& From = const_cast<TMemoryStream&>(Source->IfdStream);
  if (From.Size() > 0) IfdStream.WriteBuffer(From.Memory(), From.Size());
  LoadEntries();
  FRawData = Source->FRawData;
  Device = Source->Device;
}

void TIETagsHandler::DetectDevice() {
  Device = MakerNoteDevices[MakerNoteDeviceCount];
  for (int32_t i = 0; i < MakerNoteDeviceCount; ++i) {
    const std::string& Header = MakerNoteDevices[i].Header;
    const size_t N = std::min(FRawData.size(), Header.size());
    if (N == 0 || std::memcmp(FRawData.data(), Header.data(), N) == 0) {
      Device = MakerNoteDevices[i];
      return;
    }
  }
}

void TIETagsHandler::LoadEntries() {
  Entries.clear();
  const int64_t Size = IfdStream.Size();
  if (Size < 2) return;
  const auto* D = static_cast<const uint8_t*>(IfdStream.Memory());
  uint16_t Count;
  std::memcpy(&Count, D, 2);
  const int64_t Fits = (Size - 2) / 12;
  Entries.resize(size_t(std::min<int64_t>(Count, Fits)));
  if (!Entries.empty()) std::memcpy(Entries.data(), D + 2, Entries.size() * sizeof(TIETIFFTagEntry));
}

void TIETagsHandler::ReadFromStream(TStream* Stream, int32_t Length, bool ExifLittleEndian) {
  Clear();
  const int64_t P0 = Stream->Position();
  // Read in pieces, so that a length no stream backs never becomes one large block.
  std::vector<uint8_t> Raw;
  while (int64_t(Raw.size()) < Length) {
    const size_t Piece = size_t(std::min<int64_t>(Length - int64_t(Raw.size()), 65536));
    const size_t At = Raw.size();
    Raw.resize(At + Piece);
    const int64_t Got = Stream->Read(Raw.data() + At, int64_t(Piece));
    Raw.resize(At + size_t(std::max<int64_t>(Got, 0)));
    if (Got < int64_t(Piece)) break;
  }
  FRawData = std::move(Raw);
  const int64_t L = RawLength();
  if (L < 2) {
    Clear();
    return;
  }
  const uint8_t* R = FRawData.data();

  DetectDevice();
  int64_t p = int64_t(Device.Header.size());
  int64_t Base = 0;
  if (Device.HeaderKind == 1) {
    if (p + 8 > L) {
      Clear();
      return;
    }
    std::memcpy(Device.TIFFHeader, R + p, 8);
    Base = p;
    p += 8;
  } else if (Device.HeaderKind == 2) {
    if (p + 4 > L) {
      Clear();
      return;
    }
    p += int64_t(TNoteOrder{false}.Get32(R + p)) - 8;
  }
  const TNoteOrder Order = NoteOrderOf(Device, ExifLittleEndian);

  if (p < 0 || p + 2 > L) {
    Clear();
    return;
  }
  const int64_t N = Order.Get16(R + p);
  p += 2;
  if (N > MaxMakerNoteEntries || p + 12 * N > L) {
    Clear();
    return;
  }

  const uint16_t Count16 = uint16_t(N);
  IfdStream.WriteBuffer(&Count16, 2);
  int64_t D = 2 + 12 * N;
  IfdStream.SetSize(D);
  const int64_t ValueLimit = L + MakerNoteSharedValueAllowance;
  int64_t ValueBytes = 0;
  for (int64_t i = 0; i < N; ++i) {
    const uint8_t* E = R + p + 12 * i;
    TIETIFFTagEntry Entry{Order.Get16(E), Order.Get16(E + 2), Order.Get32(E + 4), Order.Get32(E + 8)};
    const uint64_t Size = uint64_t(Entry.Count) * uint64_t(TiffFieldTypeSize(Entry.FieldType));
    if (Size > 4) {
      const int64_t Off = Device.OffsetBase == 0 ? int64_t(Entry.Value) - P0 : int64_t(Entry.Value) + Base;
      if (Off < 0 || Size > uint64_t(L) || Off + int64_t(Size) > L || ValueBytes + int64_t(Size) > ValueLimit) {
        Entry.Count = 0;
        Entry.Value = 0;
      } else {
        IfdStream.Seek(D, soBeginning);
        IfdStream.WriteBuffer(R + Off, int64_t(Size));
        Entry.Value = uint32_t(D);
        D += int64_t(Size);
        ValueBytes += int64_t(Size);
      }
    }
    WriteEntryAt(IfdStream, 2 + 12 * i, Entry);
  }
  IfdStream.Seek(0, soBeginning);
  LoadEntries();
}

int32_t TIETagsHandler::WriteToStream(TStream* Stream) {
  const int64_t P0 = Stream->Position();
  const TNoteOrder Order = NoteOrderOf(Device, true);
  const int64_t HeaderSize = int64_t(Device.Header.size());

  // The note's layout, relative to P0: prefix, the TIFF header or the directory offset, the directory,
  // the next-directory field, then each value longer than 4 bytes, padded to an even length.
  int64_t TableAt = HeaderSize + (Device.HeaderKind == 1 ? 8 : Device.HeaderKind == 2 ? 4 : 0);
  const int64_t IfdSize = IfdStream.Size();
  const auto* Ifd = static_cast<const uint8_t*>(IfdStream.Memory());
  uint16_t N = 0;
  if (IfdSize >= 2) std::memcpy(&N, Ifd, 2);
  N = uint16_t(std::min<int64_t>(N, IfdSize >= 2 ? (IfdSize - 2) / 12 : 0));
  const int64_t EntriesAt = TableAt + 2;
  int64_t DataPos = EntriesAt + 12 * int64_t(N) + 4;
  std::vector<TIETIFFTagEntry> Table(N);
  std::vector<uint64_t> Sizes(N);
  for (uint16_t i = 0; i < N; ++i) {
    std::memcpy(&Table[i], Ifd + 2 + 12 * int64_t(i), 12);
    Sizes[i] = uint64_t(Table[i].Count) * uint64_t(TiffFieldTypeSize(Table[i].FieldType));
    if (Sizes[i] > 4) {
      if (Sizes[i] > uint64_t(MaxMakerNoteLength)) return 0;
      DataPos += int64_t(Sizes[i]) + int64_t(Sizes[i] & 1);
    }
  }
  const int64_t Length = DataPos;
  if (Length > MaxMakerNoteLength) return 0;

  std::vector<uint8_t> Out(size_t(Length), 0);
  std::memcpy(Out.data(), Device.Header.data(), size_t(HeaderSize));
  if (Device.HeaderKind == 1) {
    uint8_t* H = Out.data() + HeaderSize;
    std::memcpy(H, Device.TIFFHeader, 8);
    if (!(H[0] == 'I' && H[1] == 'I') && !(H[0] == 'M' && H[1] == 'M')) {
      H[0] = H[1] = 'M';
      Order.Put16(H + 2, 42);
    }
    Order.Put32(H + 4, 8);
  } else if (Device.HeaderKind == 2) {
    TNoteOrder{false}.Put32(Out.data() + HeaderSize, uint32_t(TableAt));
  }
  Order.Put16(Out.data() + TableAt, N);
  // Where value offsets count from, relative to P0 (OffsetBase 0: the stream's own positions).
  const int64_t Base = Device.OffsetBase == 0 ? -P0 : Device.HeaderKind == 1 ? HeaderSize : 0;
  int64_t At = EntriesAt + 12 * int64_t(N) + 4;
  for (uint16_t i = 0; i < N; ++i) {
    TIETIFFTagEntry Entry = Table[i];
    if (Sizes[i] > 4) {
      const uint64_t Old = Entry.Value;
      if (Old + Sizes[i] <= uint64_t(IfdSize)) std::memcpy(Out.data() + At, Ifd + Old, size_t(Sizes[i]));
      Entry.Value = uint32_t(At - Base);
      At += int64_t(Sizes[i]) + int64_t(Sizes[i] & 1);
    }
    uint8_t* E = Out.data() + EntriesAt + 12 * int64_t(i);
    Order.Put16(E, Entry.Tag);
    Order.Put16(E + 2, Entry.FieldType);
    Order.Put32(E + 4, Entry.Count);
    Order.Put32(E + 8, Entry.Value);
  }
  Stream->WriteBuffer(Out.data(), Length);
  return int32_t(Length);
}

}  // namespace zv
