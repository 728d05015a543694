#include "imaging/formats/pcx_codec.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/quantizer.h"
#include "imaging/io/io_params.h"
#include "imaging/proc/canvas_ops.h"
#include "platform/checked_math.h"
#include "platform/streams.h"
#include "platform/byte_order.h"

namespace zv {

namespace {

constexpr int32_t PcxHeaderSize = 128;
constexpr int32_t PcxEndPaletteSize = 768;


// Plane lines out of the image data, a run cut at the end of one line going on in the next.
class TPcxLineDecoder {
public:
  TPcxLineDecoder(const uint8_t* Data, size_t Size, bool Coded) : FData(Data), FSize(Size), FCoded(Coded) {}

  // Fills Count bytes; false when the image data ends first.
  bool Line(uint8_t* Out, size_t Count) {
    size_t Done = 0;
    if (!FCoded) {
      if (FSize - FPos < Count) return false;
      std::memcpy(Out, FData + FPos, Count);
      FPos += Count;
      return true;
    }
    while (Done < Count) {
      if (FRun > 0) {
        const size_t N = std::min<size_t>(FRun, Count - Done);
        std::memset(Out + Done, FRunByte, N);
        Done += N;
        FRun -= N;
        continue;
      }
      if (FPos >= FSize) return false;
      const uint8_t B = FData[FPos++];
      if (B >= 0xC0) {
        if (FPos >= FSize) return false;
        FRun = B - 0xC0u;
        FRunByte = FData[FPos++];
      } else {
        Out[Done++] = B;
      }
    }
    return true;
  }

  // The bytes the coded data gives in all, up to Limit, without decoding them anywhere.
  static int64_t Producible(const uint8_t* Data, size_t Size, bool Coded, int64_t Limit) {
    if (!Coded) return int64_t(Size);
    int64_t Total = 0;
    for (size_t i = 0; i < Size && Total < Limit; ++i) {
      if (Data[i] < 0xC0) {
        ++Total;
      } else if (++i < Size) {
        Total += Data[i - 1] - 0xC0;
      }
    }
    return Total;
  }

private:
  const uint8_t* FData;
  size_t FSize;
  bool FCoded;
  size_t FPos = 0;
  size_t FRun = 0;
  uint8_t FRunByte = 0;
};

// One plane line of N bytes taken with Stride from Source, coded or raw into Out, padded to an even count.
void EncodeLine(const uint8_t* Source, int32_t N, int32_t Stride, bool Coded, std::vector<uint8_t>& Out) {
  Out.clear();
  if (!Coded) {
    for (int32_t i = 0; i < N; ++i) Out.push_back(Source[i * Stride]);
    if (N % 2 != 0) Out.push_back(0);
    return;
  }
  int32_t i = 0;
  while (i < N) {
    const uint8_t B = Source[i * Stride];
    int32_t Run = 1;
    while (i + Run < N && Run < 63 && Source[(i + Run) * Stride] == B) ++Run;
    if (Run > 1 || B >= 0xC0) {
      Out.push_back(uint8_t(0xC0 + Run));
      Out.push_back(B);
    } else {
      Out.push_back(B);
    }
    i += Run;
  }
  if (N % 2 != 0) Out.push_back(0);
}

struct TPercent {
  TIEProgressRecord& Progress;
  int64_t Total;
  int Last = -1;
  void At(int64_t Done) {
    const int Per = Total > 0 ? int(Done * 100 / Total) : 100;
    if (Per != Last) {
      Last = Per;
      Progress.Report(Per);
    }
  }
};

// The page offsets of a DCX table at the stream's position (magic included): up to the first 0 or
// 1024 entries. False when the magic is not there or the table runs past the end.
bool ReadDcxTable(TStream* Stream, std::vector<uint32_t>& Offsets) {
  Offsets.clear();
  uint8_t b[4];
  if (Stream->Read(b, 4) != 4 || Le32(b) != DcxMagic) return false;
  for (int32_t i = 0; i < DcxMostPages; ++i) {
    if (Stream->Read(b, 4) != 4) return false;
    const uint32_t Offset = Le32(b);
    if (Offset == 0) break;
    Offsets.push_back(Offset);
  }
  return true;
}

int64_t DcxPageSize(const std::vector<uint32_t>& Offsets, size_t Index, int64_t StreamSize) {
  int64_t End = StreamSize;
  for (uint32_t Other : Offsets)
    if (Other > Offsets[Index] && int64_t(Other) < End) End = Other;
  return End - Offsets[Index];
}

}  // namespace

// ---- Reading ----------------------------------------------------------------------------------------------

void PcxReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                  TIEProgressRecord& Progress, int64_t DataSize) {
  try {
    const int64_t Start = Stream->Position();
    DataSize = std::min(DataSize, Stream->Size() - Start);
    uint8_t H[PcxHeaderSize];
    if (DataSize < PcxHeaderSize || Stream->Read(H, PcxHeaderSize) != PcxHeaderSize) {
      Progress.SetAborted();
      return;
    }
    const int32_t Bits = H[3];
    const int32_t Planes = H[65];
    const bool Coded = H[2] == 1;
    if (H[0] != 10 || Bits > 8 || H[2] > 1) {
      Progress.SetAborted();
      return;
    }
    const int32_t Xmin = Le16(H + 4), Ymin = Le16(H + 6), Xmax = Le16(H + 8), Ymax = Le16(H + 10);
    const int32_t BytesPerLine = Le16(H + 66);
    const bool Known = (Planes == 1 && (Bits == 1 || Bits == 4 || Bits == 8)) || (Planes == 3 && Bits == 8) ||
                       (Planes == 4 && Bits == 1);
    if (Xmax < Xmin || Ymax < Ymin || !Known) {
      Progress.SetAborted();
      return;
    }
    const int32_t Width = Xmax - Xmin + 1;
    const int32_t Height = Ymax - Ymin + 1;
    // Every plane line must hold the row's pixels.
    if (int64_t(BytesPerLine) * 8 < int64_t(Width) * Bits) {
      Progress.SetAborted();
      return;
    }

    Params.SetImageCount(1);
    Params.SetDpiX(Le16(H + 12));
    Params.SetDpiY(Le16(H + 14));
    if (Params.DpiX() == 0 || Params.DpiY() == 0) {
      Params.SetDpiX(DefaultDpiX);
      Params.SetDpiY(DefaultDpiY);
    }

    TIERGB24 HeaderPalette[16];
    for (int i = 0; i < 16; ++i) HeaderPalette[i] = TIERGB24{H[16 + i * 3 + 2], H[16 + i * 3 + 1], H[16 + i * 3]};
    const int64_t BlockSize = DataSize - PcxHeaderSize;
    std::vector<uint8_t> Block(static_cast<size_t>(BlockSize));
    if (BlockSize > 0 && Stream->Read(Block.data(), BlockSize) != BlockSize) {
      Progress.SetAborted();
      return;
    }
    // The 256-colour palette ends the data; the image data stops where it begins.
    int64_t ImageDataSize = BlockSize;
    std::vector<TIERGB24> EndPalette;
    if (Planes == 1 && Bits > 4) {
      if (BlockSize < PcxEndPaletteSize) {
        Progress.SetAborted();
        return;
      }
      ImageDataSize = BlockSize - PcxEndPaletteSize;
      const uint8_t* P = Block.data() + ImageDataSize;
      for (int i = 0; i < 256; ++i) EndPalette.push_back(TIERGB24{P[i * 3 + 2], P[i * 3 + 1], P[i * 3]});
    }

    Params.BitsPerSample = Bits;
    Params.SamplesPerPixel = Planes;
    Params.Width = Width;
    Params.Height = Height;
    Params.OriginalWidth = Width;
    Params.OriginalHeight = Height;
    Params.PcxVersion = H[1];
    Params.FreePalette();
    if (Bits == 8 && Planes == 1) {
      Params.Palette = EndPalette;
    } else if (Bits == 1 && Planes == 4) {
      Params.Palette.assign(HeaderPalette, HeaderPalette + 16);
      Params.BitsPerSample = 4;
      Params.SamplesPerPixel = 1;
    } else if (Bits < 8) {
      Params.Palette.assign(HeaderPalette, HeaderPalette + (1 << Bits));
    }
    if (ParamsOnly) return;

    // Data that cannot give every plane line of the image is refused before the bitmap is touched.
    int64_t LineBytes = 0;
    if (!CheckedSize({int64_t(Height), int64_t(Planes), int64_t(BytesPerLine)}, LineBytes) ||
        TPcxLineDecoder::Producible(Block.data(), size_t(ImageDataSize), Coded, LineBytes) < LineBytes) {
      Progress.SetAborted();
      return;
    }
    const TIEPixelFormat Format = Planes == 1 && Bits == 1 ? ie1g : ie24RGB;
    if (!Bitmap->Allocate(Width, Height, Format)) {
      Progress.SetAborted();
      return;
    }

    TPcxLineDecoder Decoder(Block.data(), size_t(ImageDataSize), Coded);
    std::vector<uint8_t> Lines(size_t(Planes) * size_t(BytesPerLine));
    TPercent Percent{Progress, Height};
    for (int32_t y = 0; y < Height; ++y) {
      Percent.At(y);
      if (Progress.Aborted()) return;
      for (int32_t p = 0; p < Planes; ++p)
        if (!Decoder.Line(Lines.data() + size_t(p) * size_t(BytesPerLine), size_t(BytesPerLine))) {
          Progress.SetAborted();
          return;
        }
      uint8_t* Row = Bitmap->GetScanline(y);
      const uint8_t* L = Lines.data();
      if (Format == ie1g) {
        std::memcpy(Row, L, size_t((Width + 7) / 8));
      } else if (Planes == 1 && Bits == 8) {
        for (int32_t x = 0; x < Width; ++x) std::memcpy(Row + x * 3, &EndPalette[L[x]], 3);
      } else if (Planes == 1 && Bits == 4) {
        for (int32_t x = 0; x < Width; ++x) {
          const uint8_t Index = (x % 2 == 0) ? L[x / 2] >> 4 : L[x / 2] & 15;
          std::memcpy(Row + x * 3, &HeaderPalette[Index], 3);
        }
      } else if (Planes == 3) {
        for (int32_t x = 0; x < Width; ++x) {
          Row[x * 3 + 2] = L[x];
          Row[x * 3 + 1] = L[BytesPerLine + x];
          Row[x * 3 + 0] = L[2 * BytesPerLine + x];
        }
      } else {
        for (int32_t x = 0; x < Width; ++x) {
          uint8_t Index = 0;
          for (int32_t k = 0; k < 4; ++k)
            if (L[k * BytesPerLine + x / 8] & (0x80 >> (x % 8))) Index |= uint8_t(1 << k);
          std::memcpy(Row + x * 3, &HeaderPalette[Index], 3);
        }
      }
    }
    Percent.At(Height);
  } catch (...) {
    Progress.SetAborted();
  }
}

// ---- Writing ----------------------------------------------------------------------------------------------

void PcxWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  uint8_t LocalAbort = 0;
  uint8_t& Abort = Progress.Abort != nullptr ? *Progress.Abort : LocalAbort;
  const int32_t Samples = std::min(Params.SamplesPerPixel, 3);
  const int32_t Width = Bitmap->GetWidth();
  const int32_t Height = Bitmap->GetHeight();
  if (Width <= 0 || Height <= 0 || Width > 65536 || Height > 65536) {
    Abort = 1;
    return;
  }
  const int32_t Total = Params.BitsPerSample == 1 ? 1 : Params.BitsPerSample * Samples;
  if (Total != 1 && Total != 4 && Total != 8 && Total != 24) {
    Abort = 1;
    return;
  }

  uint8_t H[PcxHeaderSize] = {};
  H[0] = 10;
  H[1] = uint8_t(Params.PcxVersion);
  const bool Coded = Params.PcxCompression != 0;
  H[2] = Coded ? 1 : 0;
  PutLe16(H + 8, uint32_t(Width - 1));
  PutLe16(H + 10, uint32_t(Height - 1));
  PutLe16(H + 12, uint32_t(Params.DpiX()));
  PutLe16(H + 14, uint32_t(Params.DpiY()));
  PutLe16(H + 68, 1);
  auto SetHeaderColor = [&](int Index, TIERGB24 C) {
    H[16 + Index * 3] = C.r;
    H[17 + Index * 3] = C.g;
    H[18 + Index * 3] = C.b;
  };

  std::unique_ptr<TIEBitmap> Owned;
  TIEBitmap* Source = Bitmap;
  std::unique_ptr<TIEQuantizer> Quantizer;
  TIERGB24 Palette[256] = {};
  int32_t SourceBytes = 0;  // bytes of one plane line before padding
  if (Total == 1) {
    H[3] = 1;
    H[65] = 1;
    SourceBytes = (Width + 7) / 8;
    // A plain 1-bit image is black and white; two colours keep theirs.
    TIERGB24 Color0{0, 0, 0}, Color1{255, 255, 255};
    if (Bitmap->GetPixelFormat() != ie1g) {
      Owned = MakeTwoColorBitmap(Bitmap, Color0, Color1);
      if (Owned == nullptr) {
        Color0 = TIERGB24{0, 0, 0};
        Color1 = TIERGB24{255, 255, 255};
        Owned = std::make_unique<TIEBitmap>();
        Owned->Allocate(Width, Height, ie1g);
        if (!Owned->CopyAndConvertFormat(Bitmap)) {
          Abort = 1;
          return;
        }
      }
      Source = Owned.get();
    }
    SetHeaderColor(0, Color0);
    SetHeaderColor(1, Color1);
  } else {
    if (Bitmap->GetPixelFormat() != ie24RGB) {
      Owned = std::make_unique<TIEBitmap>();
      Owned->Assign(Bitmap);
      if (!Owned->SetPixelFormat(ie24RGB)) {
        Abort = 1;
        return;
      }
      Source = Owned.get();
    }
    if (Total == 4) {
      H[3] = 4;
      H[65] = 1;
      SourceBytes = (Width + 1) / 2;
      Quantizer = std::make_unique<TIEQuantizer>(Source, Palette, 16);
      for (int i = 0; i < 16; ++i) SetHeaderColor(i, Palette[i]);
    } else if (Total == 8) {
      H[3] = 8;
      H[65] = 1;
      SourceBytes = Width;
      Quantizer = std::make_unique<TIEQuantizer>(Source, Palette, 256);
    } else {
      H[3] = 8;
      H[65] = 3;
      SourceBytes = Width;
      PutLe16(H + 68, 0);
    }
  }
  const int32_t BytesPerLine = SourceBytes + SourceBytes % 2;
  PutLe16(H + 66, uint32_t(BytesPerLine));
  SafeStreamWrite(Stream, Abort, H, PcxHeaderSize);

  auto IndexOf = [&](const uint8_t* Px, int32_t Count) {
    const int32_t i = Quantizer->PaletteIndex(TIERGB24{Px[0], Px[1], Px[2]});
    return uint8_t(std::clamp(i, 0, Count - 1));
  };
  std::vector<uint8_t> Plane(size_t(SourceBytes) + 1);
  std::vector<uint8_t> Out;
  TPercent Percent{Progress, Height};
  for (int32_t y = 0; y < Height && Abort == 0; ++y) {
    Percent.At(y);
    const uint8_t* Row = Source->GetScanline(y);
    if (Total == 24) {
      for (int32_t c = 2; c >= 0; --c) {
        EncodeLine(Row + c, Width, 3, Coded, Out);
        SafeStreamWrite(Stream, Abort, Out.data(), int64_t(Out.size()));
      }
      continue;
    }
    if (Total == 1) {
      std::memcpy(Plane.data(), Row, size_t(SourceBytes));
    } else if (Total == 4) {
      std::fill(Plane.begin(), Plane.end(), 0);
      for (int32_t x = 0; x < Width; ++x)
        Plane[size_t(x / 2)] |= uint8_t(IndexOf(Row + x * 3, 16) << (x % 2 == 0 ? 4 : 0));
    } else {
      for (int32_t x = 0; x < Width; ++x) Plane[size_t(x)] = IndexOf(Row + x * 3, 256);
    }
    EncodeLine(Plane.data(), SourceBytes, 1, Coded, Out);
    SafeStreamWrite(Stream, Abort, Out.data(), int64_t(Out.size()));
  }
  if (Total == 8 && Abort == 0) {
    uint8_t Tail[1 + PcxEndPaletteSize];
    Tail[0] = 12;
    for (int i = 0; i < 256; ++i) {
      Tail[1 + i * 3] = Palette[i].r;
      Tail[2 + i * 3] = Palette[i].g;
      Tail[3 + i * 3] = Palette[i].b;
    }
    SafeStreamWrite(Stream, Abort, Tail, sizeof Tail);
  }
}

// ---- DCX --------------------------------------------------------------------------------------------------

bool IsDcxStream(TStream* Stream) {
  const int64_t Start = Stream->Position();
  bool Result = false;
  try {
    const int64_t Size = Stream->Size();
    std::vector<uint32_t> Offsets;
    Result = ReadDcxTable(Stream, Offsets);
    for (uint32_t Offset : Offsets)
      if (int64_t(Offset) >= Size) Result = false;
  } catch (...) {
    Result = false;
  }
  Stream->SetPosition(Start);
  return Result;
}

void DcxReadPage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                 TIEProgressRecord& Progress) {
  if (!IsDcxStream(Stream)) {
    Progress.SetAborted();
    return;
  }
  std::vector<uint32_t> Offsets;
  Stream->SetPosition(0);
  if (!ReadDcxTable(Stream, Offsets) || Offsets.empty()) {
    Progress.SetAborted();
    return;
  }
  const int32_t Index = std::clamp(Params.DcxImageIndex, 0, int32_t(Offsets.size()) - 1);
  Params.SetImageIndex(Index);
  Stream->SetPosition(Offsets[size_t(Index)]);
  PcxReadImage(Stream, Bitmap, Params, ParamsOnly, Progress, DcxPageSize(Offsets, size_t(Index), Stream->Size()));
}

void DcxInsertPage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  uint8_t LocalAbort = 0;
  uint8_t& Abort = Progress.Abort != nullptr ? *Progress.Abort : LocalAbort;
  std::vector<uint32_t> Offsets;
  const int64_t OldSize = Stream->Size();
  if (OldSize > 0) {
    Stream->SetPosition(0);
    if (!IsDcxStream(Stream)) {
      Abort = 1;
      return;
    }
    Stream->SetPosition(0);
    ReadDcxTable(Stream, Offsets);
  }
  const int32_t Pages = int32_t(Offsets.size());
  const int32_t Index = Params.DcxImageIndex;
  if (Index < 0 || Index > Pages || Pages >= DcxMostPages) {
    Abort = 1;
    return;
  }

  TMemoryStream New;
  std::vector<uint8_t> Table(size_t(4) * size_t(Pages + 2), 0);
  uint8_t Magic[4];
  PutLe32(Magic, DcxMagic);
  New.WriteBuffer(Magic, 4);
  New.WriteBuffer(Table.data(), int64_t(Table.size()));
  std::vector<uint32_t> NewOffsets;
  std::vector<uint8_t> Page;
  for (int32_t p = 0; p <= Pages; ++p) {
    if (p == Index) {
      NewOffsets.push_back(uint32_t(New.Position()));
      PcxWriteImage(&New, Bitmap, Params, Progress);
      if (Abort != 0) return;
    }
    if (p == Pages) break;
    NewOffsets.push_back(uint32_t(New.Position()));
    const int64_t Size = DcxPageSize(Offsets, size_t(p), OldSize);
    Page.resize(size_t(Size));
    Stream->SetPosition(Offsets[size_t(p)]);
    if (Size > 0) Stream->ReadBuffer(Page.data(), Size);
    if (Size > 0) New.WriteBuffer(Page.data(), Size);
  }
  for (size_t i = 0; i < NewOffsets.size(); ++i) PutLe32(Table.data() + 4 * i, NewOffsets[i]);
  New.SetPosition(4);
  New.WriteBuffer(Table.data(), int64_t(Table.size()));
  Stream->SetSize(0);
  Stream->SetPosition(0);
  SafeStreamWrite(Stream, Abort, New.Memory(), New.Size());
}

// ---- Registry routines -------------------------------------------------------------------------------------

void PcxRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly) {
  PcxReadImage(Stream, Bitmap, Params, ParamsOnly, Progress, Stream->Size() - Stream->Position());
}

void DcxRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly) {
  DcxReadPage(Stream, Bitmap, Params, ParamsOnly, Progress);
}

void DcxRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  const int32_t Index = Params.DcxImageIndex;
  Params.DcxImageIndex = 0;
  DcxInsertPage(Stream, Bitmap, Params, Progress);
  Params.DcxImageIndex = Index;
}

}  // namespace zv
