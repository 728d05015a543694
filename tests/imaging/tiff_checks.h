// What the in-memory TIFF structure promises for any bytes from outside, checked the same way by its
// fuzz target and by the mutation loop of its tests: a failed read keeps nothing, and a structure that
// was read writes a TIFF that reads back to the same pages and entries. Answers nullptr when every
// promise held, else what broke.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imaging/core/tiff_handler.h"
#include "platform/streams.h"

namespace zv::tiff_checks {

// Entries compared tag by tag. The writer points a StripOffsets entry into an old-style JPEG stream,
// which the next read drops again with the JPEG tables (and cuts StripByteCounts to the stream from
// there), so those tags are left out where 513 stands.
inline const char* SameEntries(const TIETIFFTagList& A, const TIETIFFTagList& B) {
  const bool Jpeg = TIETIFFHandler::FindTagIndex(A, 513) >= 0;
  auto Skipped = [Jpeg](uint16_t Tag) { return Jpeg && (Tag == 273 || Tag == 279 || (Tag >= 519 && Tag <= 521)); };
  size_t j = 0;
  for (size_t i = 0; i < A.size(); ++i) {
    if (Skipped(A[i].Tag)) continue;
    while (j < B.size() && Skipped(B[j].Tag)) ++j;
    if (j >= B.size()) return "an entry was lost on the way back";
    const TIETIFFHandlerEntry& X = A[i];
    const TIETIFFHandlerEntry& Y = B[j++];
    if (X.Tag != Y.Tag || X.FieldType != Y.FieldType || X.Count != Y.Count || X.HasData != Y.HasData)
      return "an entry changed on the way back";
    if (X.HasData && X.Data != Y.Data) return "strip or tile data changed on the way back";
    if (bool(X.SubIFD) != bool(Y.SubIFD)) return "a sub-IFD was lost on the way back";
    if (X.SubIFD) {
      if (const char* Broken = SameEntries(*X.SubIFD, *Y.SubIFD)) return Broken;
      continue;
    }
    if (X.HasData) continue;
    if (X.Block != Y.Block || (X.Block.empty() && std::memcmp(X.Value, Y.Value, 4) != 0))
      return "a value changed on the way back";
  }
  while (j < B.size() && Skipped(B[j].Tag)) ++j;
  return j == B.size() ? nullptr : "entries appeared on the way back";
}

inline const char* CheckTiffHandler(const uint8_t* Data, size_t Size) {
  if (Size > (size_t(1) << 24)) return nullptr;
  TMemoryStream In;
  if (Size > 0) In.WriteBuffer(Data, int64_t(Size));
  In.Seek(0, soBeginning);
  TIETIFFHandler Handler;
  if (!Handler.ReadStream(&In)) return Handler.PageCount() == 0 ? nullptr : "a failed read kept pages";
  if (Handler.PageCount() < 1 || Handler.PageCount() > TIETIFFHandler::MaxPages) return "page count out of range";
  TMemoryStream Out;
  Handler.WriteStream(&Out, -1);
  Out.Seek(0, soBeginning);
  TIETIFFHandler Back;
  if (!Back.ReadStream(&Out)) return "what was written does not read back";
  if (Back.PageCount() != Handler.PageCount() || Back.BigEndian() != Handler.BigEndian() ||
      Back.Version() != Handler.Version())
    return "pages or header changed on the way back";
  for (int32_t p = 0; p < Handler.PageCount(); ++p)
    if (const char* Broken = SameEntries(Handler.Pages()[size_t(p)], Back.Pages()[size_t(p)])) return Broken;
  return nullptr;
}

}  // namespace zv::tiff_checks
