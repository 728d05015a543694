// A TIFF container from outside bytes: the header, the IFD chain and every tag of the first pages and
// of their EXIF and GPS sub-IFDs through every value reader, as the TIFF reader and the EXIF blocks
// call them. Nothing may hang, raise or read outside the stream.
#include <cstddef>
#include <cstdint>

#include "imaging/formats/tiff_container.h"
#include "platform/streams.h"

using namespace zv;

namespace {

void ReadEveryTag(const TiffDirectory& Dir) {
  for (const TTiffEntry& E : Dir.Entries) {
    TiffGetTag(Dir, E.Tag, 0);
    TiffEntryValue(Dir, E);
    for (int32_t i = 0; i < 3; ++i) {
      TiffGetTagAt(Dir, E.Tag, i, 0);
      TiffEntryValueAt(Dir, E, i);
      TiffGetRationalAt(Dir, E.Tag, i, 0);
    }
    TiffGetTagArray(Dir, E.Tag);
    TiffGetRational(Dir, E.Tag, 0);
    TiffGetTagData(Dir, E.Tag);
    TiffGetAsciiTag(Dir, E.Tag, true);
    TiffBytesToDotted(TiffGetInlineText(Dir, E.Tag));
    TiffGetWideTag(Dir, E.Tag);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TMemoryStream Stream;
  if (Size > 0) Stream.WriteBuffer(Data, int64_t(Size));
  TiffDirectory Dir;
  Dir.Stream = &Stream;
  uint32_t First = 0;
  if (!TiffReadHeader(Dir, First) || First == 0) return 0;
  int32_t Count = 0;
  if (!TiffReadIFD(0, First, Dir, Count)) return 0;
  for (int32_t Page = 0; Page < Count && Page < 4; ++Page) {
    int32_t Ignored = 0;
    if (!TiffReadIFD(Page, First, Dir, Ignored)) break;
    ReadEveryTag(Dir);
    for (uint16_t SubTag : {uint16_t(34665), uint16_t(34853)}) {
      const uint32_t Sub = uint32_t(TiffGetTag(Dir, SubTag, 0));
      if (Sub == 0) continue;
      TiffDirectory SubDir;
      SubDir.Stream = &Stream;
      SubDir.LittleEndian = Dir.LittleEndian;
      if (TiffReadIFD(0, Sub, SubDir, Ignored)) ReadEveryTag(SubDir);
    }
  }
  return 0;
}
