#include "imaging/formats/raw_ciff.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/sys_text.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

namespace zv {

namespace {

struct TCiffReader {
  TCiffReader(TStream* S, TIOParamsVals& P) : Stream(S), Params(P) {}
  TStream* Stream;
  TIOParamsVals& Params;
  bool BigEndian = false;
  int64_t Size = 0;
  int32_t RecordsLeft = CiffMostRecords;
  std::vector<uint16_t> Tags;
  std::vector<std::vector<uint16_t>> Arrays;
  int64_t BestPosition = -1, BestLength = 0;
  int32_t BestWidth = 0x7FFFFFFE, BestHeight = 0x7FFFFFFE;

  uint16_t Read16() {
    uint16_t V = 0;
    if (Stream->Read(&V, 2) != 2) return 0;
    return SwapWordIf(V, BigEndian);
  }
  uint32_t Read32() {
    uint32_t V = 0;
    if (Stream->Read(&V, 4) != 4) return 0;
    return SwapDWordIf(V, BigEndian);
  }
  // Bytes up to a NUL or until the text holds Max characters.
  std::string ReadText(int64_t Max) {
    std::string Text;
    char Ch = 0;
    while (int64_t(Text.size()) < Max && Stream->Read(&Ch, 1) == 1 && Ch != 0) Text.push_back(Ch);
    return Text;
  }
  int64_t Left() { return Size - Stream->Position(); }

  // The parameters of the JPEG of Length bytes at the position, read from a copy.
  bool JpegSize(int64_t Length, int32_t& Width, int32_t& Height) {
    std::vector<uint8_t> Data(size_t(std::clamp<int64_t>(Length, 0, Left())));
    if (Data.empty() || Stream->Read(Data.data(), int64_t(Data.size())) != int64_t(Data.size())) return false;
    TIEMemStream Copy(Data.data(), int64_t(Data.size()));
    auto IO = std::make_unique<TImagingIO>(nullptr);
    IO->ReadParamsFromStream(&Copy, ftJpeg);
    if (IO->IOParams()->FileType != ftJpeg) return false;
    Width = IO->IOParams()->Width;
    Height = IO->IOParams()->Height;
    return Width > 0 && Height > 0;
  }

  void Heap(int64_t Offset, int64_t Length, int32_t Depth) {
    if (Depth > CiffMostDepth || Offset < 0 || Length < 4) return;
    const int64_t TableAt = Offset + Length - 4;
    if (TableAt >= Size) return;
    Stream->SetPosition(TableAt);
    const int64_t Table = Offset + Read32();
    if (Table >= Size) return;
    Stream->SetPosition(Table);
    const int32_t Records = std::min<int32_t>(Read16(), 256);
    for (int32_t r = 0; r < Records && RecordsLeft > 0; ++r, --RecordsLeft) {
      const uint16_t Type = Read16();
      int64_t Len = Read32();
      int64_t Data = Offset + Read32();
      const int64_t Next = Stream->Position();
      if (Type >= 0x4000) {
        Data = Next - 8;
        Len = 8;
      }
      if (Data < 0 || Data >= Size) break;
      Stream->SetPosition(Data);
      switch (Type & 0x3FFF) {
        case 0x0805:
          Params.ExifImageDescription = ReadText(Len);
          break;
        case 0x080A:
          Params.ExifMake = ReadText(Len);
          Params.ExifModel = ReadText(Len);
          break;
        case 0x080B:
          Params.ExifSoftware = ReadText(Len);
          break;
        case 0x102A:
        case 0x102D:
          // An array longer than what the stream still holds is skipped.
          if (Len <= Left()) {
            std::vector<uint16_t> Values(size_t(Len / 2));
            for (uint16_t& V : Values) V = Read16();
            Tags.push_back((Type & 0x3FFF) == 0x102A ? 4 : 1);
            Arrays.push_back(std::move(Values));
          }
          break;
        case 0x1810: {
          const int32_t X = int32_t(Read32()), Y = int32_t(Read32());
          Params.SetExifPixelXDimension(X);
          Params.SetExifPixelYDimension(Y);
          break;
        }
        case 0x2007:
        case 0x2008: {
          int32_t W = 0, H = 0;
          if (JpegSize(Len, W, H) && W < BestWidth && H < BestHeight) {
            BestPosition = Data;
            BestLength = Len;
            BestWidth = W;
            BestHeight = H;
          }
          break;
        }
        case 0x2800:
        case 0x2807:
        case 0x3000:
        case 0x3002:
        case 0x3003:
        case 0x3004:
        case 0x300A:
        case 0x300B:
          // A sub-heap that is the heap itself would never end.
          if (!(Data == Offset && Len == Length)) Heap(Data, Len, Depth + 1);
          break;
        default:
          break;
      }
      Stream->SetPosition(Next);
    }
  }

  void LoadThumbnail() {
    TIEBitmap* Thumbnail = Params.GetExifThumbnail();
    Thumbnail->FreeImage(true);
    if (BestPosition < 1) return;
    Stream->SetPosition(BestPosition);
    std::vector<uint8_t> Data(size_t(std::clamp<int64_t>(BestLength, 0, Left())));
    if (Data.empty() || Stream->Read(Data.data(), int64_t(Data.size())) != int64_t(Data.size())) return;
    TIEMemStream Copy(Data.data(), int64_t(Data.size()));
    std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(Thumbnail));
    IO->LoadJpegStream(&Copy);
  }

  // A directory in host order: the count, 12-byte entries of SHORT arrays, then their data.
  void BuildMakerNote() {
    TIETagsHandler& Note = Params.ExifMakerNote;
    Note.Clear();
    TMemoryStream& S = Note.IfdStream;
    const uint16_t Count = uint16_t(std::min<size_t>(Arrays.size(), 0xFFFF));
    S.Write(&Count, 2);
    uint32_t At = 2 + 12 * uint32_t(Count);
    for (size_t i = 0; i < Count; ++i) {
      const uint16_t Tag = Tags[i], Type = 3;
      const uint32_t N = uint32_t(Arrays[i].size());
      S.Write(&Tag, 2);
      S.Write(&Type, 2);
      S.Write(&N, 4);
      S.Write(&At, 4);
      At += N * 2;
    }
    for (size_t i = 0; i < Count; ++i)
      if (!Arrays[i].empty()) S.Write(Arrays[i].data(), int64_t(Arrays[i].size()) * 2);
    Note.LoadEntries();
  }
};

}  // namespace

void RawReadCiffMetadata(TStream* Stream, TIOParamsVals& Params) {
  uint8_t Head[14] = {};
  const int64_t Start = Stream->Position();
  if (Stream->Read(Head, 14) != 14) return;
  const bool Ciff = std::memcmp(Head + 6, "HEAPCCDR", 8) == 0;
  const bool Intel = Head[0] == 'I' && Head[1] == 'I', Motorola = Head[0] == 'M' && Head[1] == 'M';
  if (!Intel && !Motorola && !Ciff) return;
  TCiffReader R(Stream, Params);
  R.BigEndian = Motorola;
  R.Size = Stream->Size();
  uint32_t HeaderLength = 0;
  std::memcpy(&HeaderLength, Head + 2, 4);
  HeaderLength = SwapDWordIf(HeaderLength, R.BigEndian);
  R.Heap(Start + HeaderLength, R.Size - Start - HeaderLength, 0);
  R.LoadThumbnail();
  R.BuildMakerNote();
}

}  // namespace zv
