// What the metadata containers promise for any bytes from outside, checked the same way by their fuzz
// targets and by the mutation loop of the tests: each routine reads the bytes, writes what it read and
// reads that back, and answers nullptr when every promise held, else what broke.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imaging/core/annotations.h"
#include "imaging/core/bitmap.h"
#include "imaging/core/icc_profile.h"
#include "imaging/core/jpeg_markers.h"
#include "imaging/core/maker_notes.h"
#include "platform/streams.h"

namespace zv::metadata_checks {

// The bytes are an IPTC block (bare datasets, or a Photoshop resource block).
inline const char* CheckIptc(const uint8_t* Data, size_t Size) {
  if (Size > size_t(INT32_MAX)) return nullptr;
  TIEIPTCInfoList List;
  List.LoadFromBuffer(Data, int32_t(Size));
  if (Size > 0 && List.Modified) return "a finished read left the list modified";
  // A reader skips a run of tag markers at the start of the datasets, so a first dataset of record 28
  // (0x1C, no IPTC record) cannot come back; IPTC has records 1 to 9 only.
  for (int32_t i = 0; i < List.GetCount(); ++i)
    if ((List.GetRecord(i) & 0xFF) == 0x1C) return nullptr;
  void* Buffer = nullptr;
  int32_t Length = 0;
  List.SaveToBuffer(Buffer, Length, true);
  TIEIPTCInfoList Back;
  Back.LoadFromBuffer(Buffer, Length);
  std::free(Buffer);
  // The writer leaves out record versions and empty datasets; every other one comes back in order.
  int32_t j = 0;
  for (int32_t i = 0; i < List.GetCount(); ++i) {
    const TIEIPTCItem& Item = List.GetItem(i);
    if ((Item.Record == 2 && Item.Dataset == 0) || Item.Length == 0) continue;
    if (j >= Back.GetCount()) return "a dataset was lost on the way back";
    const TIEIPTCItem& Again = Back.GetItem(j);
    if (Again.Record != (Item.Record & 0xFF) || Again.Dataset != (Item.Dataset & 0xFF) || Again.Length != Item.Length ||
        std::memcmp(Back.GetData(j), List.GetData(i), size_t(Item.Length)) != 0)
      return "a dataset changed on the way back";
    ++j;
  }
  return j == Back.GetCount() ? nullptr : "datasets appeared on the way back";
}

// Byte 0 bit 0 says the EXIF block is little-endian, bytes 1-2 (little-endian) where the note lies in
// the EXIF block, the rest is the note.
inline const char* CheckMakerNote(const uint8_t* Data, size_t Size) {
  if (Size < 3 || Size > (1u << 20)) return nullptr;
  const bool ExifLittleEndian = (Data[0] & 1) != 0;
  const int64_t At = int64_t(Data[1] | Data[2] << 8);
  TMemoryStream Exif;
  Exif.SetSize(At);
  Exif.Seek(At, soBeginning);
  Exif.WriteBuffer(Data + 3, int64_t(Size - 3));
  Exif.Seek(At, soBeginning);
  TIETagsHandler Note;
  Note.ReadFromStream(&Exif, int32_t(Size - 3), ExifLittleEndian);
  if (Note.EntryCount() > 256) return "more entries than a note may hold";

  TIETagsHandler Copy;
  Copy.Assign(&Note);
  TMemoryStream Out;
  Out.SetSize(At);
  Out.Seek(At, soBeginning);
  const int32_t Written = Copy.WriteToStream(&Out);
  if (Written < 0 || Written > MaxMakerNoteLength) return "a note longer than the limit was written";
  if (Out.Size() != At + Written) return "the stream does not end with the note written";
  if (Written == 0) return nullptr;
  Out.Seek(At, soBeginning);
  TIETagsHandler Back;
  Back.ReadFromStream(&Out, Written, true);
  return Back.EntryCount() == Note.EntryCount() ? nullptr : "the note written reads back with other entries";
}

// The bytes are a colour profile: its tag texts and, when the colour-management library opens it, a row
// through it in every layout and a small bitmap converted to sRGB.
inline const char* CheckIccProfile(const uint8_t* Data, size_t Size) {
  if (Size > (1u << 22)) return nullptr;
  TIEICC Profile;
  Profile.LoadFromBuffer(Data, int32_t(Size));
  if (Profile.ProfileSize() != int32_t(Size)) return "the profile's bytes were not all kept";
  if (Profile.DescText.size() >= 1000 || Profile.CprtText.size() >= 1000) return "a tag text longer than its tag";
  if (!Profile.IsValid()) return nullptr;
  TIEICC Srgb;
  Srgb.LoadSRGBProfile();
  uint8_t Row[24], Out[24];
  for (int i = 0; i < 24; ++i) Row[i] = uint8_t(i * 11);
  for (int32_t Layout = 0; Layout < iclLayoutCount; ++Layout) Profile.TransformPixels(&Srgb, Layout, iclBGR, 0, 0, Row, Out, 4);
  TIEBitmap Bitmap(3, 2, ie24RGB);
  Bitmap.Fill(0x808080);
  Profile.ConvertBitmap(&Bitmap, ie24RGB, &Srgb);
  return nullptr;
}

// The bytes are annotation data; the marks read are written again and read back as marks of the same
// types and point counts. Embedded images need the processing library's DIB hooks installed.
inline const char* CheckAnnotations(const uint8_t* Data, size_t Size) {
  if (Size > (1u << 22)) return nullptr;
  TIEImagingAnnot Annot;
  Annot.LoadFromBuffer(Data, int32_t(Size));
  void* Buffer = nullptr;
  int32_t Length = 0;
  Annot.SaveToBuffer(Buffer, Length);
  TIEImagingAnnot Back;
  Back.LoadFromBuffer(Buffer, Length);
  std::free(Buffer);
  if (Back.Marks.size() != Annot.Marks.size()) return "the marks written read back as another number of marks";
  for (size_t i = 0; i < Back.Marks.size(); ++i) {
    if (Back.Marks[i]->MarkType() != Annot.Marks[i]->MarkType()) return "a mark changed its type";
    if (Back.Marks[i]->PointCount() != Annot.Marks[i]->PointCount()) return "a line lost points";
  }
  return nullptr;
}

}  // namespace zv::metadata_checks
