#include "imaging/io/gif_writer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/proc_hooks.h"
#include "imaging/core/quantizer.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

namespace zv {

namespace {

// ---- Frame preparation ---------------------------------------------------------------------------------

using GifFrame = TGifCodedFrame;

int32_t GreyOf(TIERGB24 C) { return (C.r * 21 + C.g * 71 + C.b * 8) / 100; }

// The first of the first Count table entries (red, green, blue) nearest to Color by the sum of the
// channel differences.
uint8_t NearestTableIndex(const uint8_t* Table, int32_t Count, TIERGB24 Color) {
  int32_t Best = 0;
  int32_t BestDistance = INT32_MAX;
  for (int32_t i = 0; i < Count; ++i) {
    const uint8_t* E = Table + i * 3;
    const int32_t D = std::abs(E[0] - Color.r) + std::abs(E[1] - Color.g) + std::abs(E[2] - Color.b);
    if (D < BestDistance) {
      BestDistance = D;
      Best = i;
    }
  }
  return static_cast<uint8_t>(Best);
}

std::unique_ptr<TIEBitmap> CopyAs24(TIEBitmap* Source) {
  const int32_t W = Source->GetWidth(), H = Source->GetHeight();
  auto Copy = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y) {
    std::vector<TIERGB24> Row(static_cast<size_t>(W));
    for (int32_t x = 0; x < W; ++x) Row[x] = Source->GetPixelAsRGB(x, y);
    std::memcpy(Copy->GetScanline(y), Row.data(), Row.size() * 3);
  }
  return Copy;
}

// A two-colour image as ie1g, the darker colour 0; nullptr when it holds any other number of colours.
std::unique_ptr<TIEBitmap> TwoColorBitmap(TIEBitmap* Source) {
  if (ProcessingHooks.MakeTwoColorBitmap) {
    TIERGB24 C0{}, C1{};
    return std::unique_ptr<TIEBitmap>(ProcessingHooks.MakeTwoColorBitmap(Source, C0, C1));
  }
  const int32_t W = Source->GetWidth(), H = Source->GetHeight();
  TIERGB24 Seen[2]{};
  int32_t Count = 0;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const TIERGB24 C = Source->GetPixelAsRGB(x, y);
      if ((Count > 0 && C == Seen[0]) || (Count > 1 && C == Seen[1])) continue;
      if (Count == 2) return nullptr;
      Seen[Count++] = C;
    }
  if (Count != 2) return nullptr;
  const TIERGB24 Light = GreyOf(Seen[0]) <= GreyOf(Seen[1]) ? Seen[1] : Seen[0];
  auto BW = std::make_unique<TIEBitmap>(W, H, ie1g);
  for (int32_t y = 0; y < H; ++y) {
    std::vector<uint8_t> Row(static_cast<size_t>((W + 7) / 8), 0);
    for (int32_t x = 0; x < W; ++x)
      if (Source->GetPixelAsRGB(x, y) == Light) Row[x >> 3] |= uint8_t(0x80 >> (x & 7));
    std::memcpy(BW->GetScanline(y), Row.data(), Row.size());
  }
  return BW;
}

// A black-and-white copy by the image's average grey, as the conversion to ie1g does by default.
std::unique_ptr<TIEBitmap> ThresholdBitmap(TIEBitmap* Source) {
  const int32_t W = Source->GetWidth(), H = Source->GetHeight();
  auto BW = std::make_unique<TIEBitmap>(W, H, ie1g);
  if (ProcessingHooks.ThresholdToBW) {
    TIEProgressRecord Quiet;
    ProcessingHooks.ThresholdToBW(Source, BW.get(), -1, Quiet);
    return BW;
  }
  int64_t Sum = 0;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) Sum += GreyOf(Source->GetPixelAsRGB(x, y));
  const int64_t Pixels = int64_t(W) * H;
  const int32_t Threshold = Pixels > 0 ? static_cast<int32_t>(Sum / Pixels) : 0;
  for (int32_t y = 0; y < H; ++y) {
    std::vector<uint8_t> Row(static_cast<size_t>((W + 7) / 8), 0);
    for (int32_t x = 0; x < W; ++x)
      if (GreyOf(Source->GetPixelAsRGB(x, y)) > Threshold) Row[x >> 3] |= uint8_t(0x80 >> (x & 7));
    std::memcpy(BW->GetScanline(y), Row.data(), Row.size());
  }
  return BW;
}

// Reduces the bitmap (left unchanged) to the frame's indexes and table. ForInsert: a many-coloured
// bitmap asked for 1 bit is written with 8 bits instead of being made black and white.
void PrepareFrame(TIEBitmap* Bitmap, const TGifFrameOptions& Params, bool ForInsert, GifFrame& F) {
  F.Width = Bitmap->GetWidth();
  F.Height = Bitmap->GetHeight();
  std::unique_ptr<TIEBitmap> Own;
  TIEBitmap* Work = Bitmap;
  const int32_t Requested = std::clamp(Params.BitsPerSample, 1, 8);
  if (Requested == 1) {
    F.Bits = 1;
    if (Bitmap->GetPixelFormat() != ie1g) {
      Own = TwoColorBitmap(Bitmap);
      if (!Own) {
        if (ForInsert)
          F.Bits = 8;
        else
          Own = ThresholdBitmap(Bitmap);
      }
      if (Own) Work = Own.get();
    }
  } else {
    F.Bits = Requested;
  }
  // The quantizer works on palette and 24-bit images; everything else goes through a 24-bit copy.
  if (Work->GetPixelFormat() != ie24RGB && Work->GetPixelFormat() != ie8p &&
      !(Work->GetPixelFormat() == ie1g && F.Bits == 1)) {
    Own = CopyAs24(Work);
    Work = Own.get();
  }

  F.Alpha = Bitmap->HasAlphaChannel();
  F.Colors = 1 << F.Bits;
  if (F.Alpha) F.Colors -= 1;
  const int32_t W = F.Width, H = F.Height;
  F.Pixels.assign(static_cast<size_t>(std::max(0, W)) * std::max(0, H), 0);
  TIERGB24 Palette[256] = {};

  std::unique_ptr<TIEQuantizer> Quantizer;
  if (Work->GetPixelFormat() == ie1g) {
    Palette[1] = TIERGB24{255, 255, 255};
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* Row = Work->GetScanline(y);
      uint8_t* Out = F.Pixels.data() + int64_t(y) * W;
      for (int32_t x = 0; x < W; ++x) Out[x] = (Row[x >> 3] >> (7 - (x & 7))) & 1;
    }
  } else {
    Quantizer = std::make_unique<TIEQuantizer>(Work, Palette, F.Colors);
    TIEColorMapper Cache(*Quantizer);
    TIEBitmap* AlphaPlane = F.Alpha ? Bitmap->GetAlphaChannel() : nullptr;
    const bool Paletted = Work->GetPixelFormat() == ie8p;
    // A palette index past the table's entries would show another colour: it takes the nearest entry.
    uint8_t Remap[256];
    if (Paletted) {
      for (int32_t i = 0; i < 256; ++i) {
        if (i < F.Colors) {
          Remap[i] = static_cast<uint8_t>(i);
        } else {
          const TIERGB24 C = Work->GetPaletteColor(i);
          int32_t Best = 0, BestD = INT32_MAX;
          for (int32_t j = 0; j < F.Colors; ++j) {
            const int32_t D = std::abs(Palette[j].r - C.r) + std::abs(Palette[j].g - C.g) + std::abs(Palette[j].b - C.b);
            if (D < BestD) BestD = D, Best = j;
          }
          Remap[i] = static_cast<uint8_t>(Best);
        }
      }
    }
    std::vector<uint8_t> AlphaRow;
    for (int32_t y = 0; y < H; ++y) {
      if (AlphaPlane) {
        const uint8_t* A = AlphaPlane->GetScanline(y);
        AlphaRow.assign(A, A + W);
      }
      const uint8_t* Row = Work->GetScanline(y);
      uint8_t* Out = F.Pixels.data() + int64_t(y) * W;
      for (int32_t x = 0; x < W; ++x) {
        if (AlphaPlane && AlphaRow[x] < 255) {
          Out[x] = static_cast<uint8_t>(F.Colors);
        } else if (Paletted) {
          Out[x] = Remap[Row[x]];
        } else {
          TIERGB24 C;
          std::memcpy(&C, Row + int64_t(x) * 3, 3);
          const int32_t I = Cache.Index(C);
          Out[x] = static_cast<uint8_t>(I >= 0 && I < F.Colors ? I : 0);
        }
      }
    }
  }
  for (int32_t i = 0; i < 256; ++i) {
    F.Table[i * 3] = Palette[i].r;
    F.Table[i * 3 + 1] = Palette[i].g;
    F.Table[i * 3 + 2] = Palette[i].b;
  }
  auto IndexOf = [&](TIERGB24 C) -> uint8_t {
    if (Quantizer && Work->GetPixelFormat() == ie24RGB) {
      const int32_t I = Quantizer->PaletteIndex(C);
      if (I >= 0 && I < F.Colors) return static_cast<uint8_t>(I);
    }
    return NearestTableIndex(F.Table, F.Colors, C);
  };
  F.TransparentIndex = F.Alpha ? static_cast<uint8_t>(F.Colors) : IndexOf(Params.GifTransparentColor);
  F.BackgroundIndex = IndexOf(Params.GifBackgroundColor);
}

// ---- Block writers ----------------------------------------------------------------------------------------

void PutWord(std::vector<uint8_t>& Out, int32_t Value) {
  Out.push_back(static_cast<uint8_t>(Value & 0xFF));
  Out.push_back(static_cast<uint8_t>((Value >> 8) & 0xFF));
}

void PutGraphicControl(std::vector<uint8_t>& Out, const TIOParamsVals& Params, const GifFrame& F) {
  Out.insert(Out.end(), {0x21, 0xF9, 0x04});
  Out.push_back(static_cast<uint8_t>((Params.GifDisposal << 2) | Params.GifTransparent));
  PutWord(Out, Params.GifDelay);
  Out.push_back(F.TransparentIndex);
  Out.push_back(0x00);
}

void PutDescriptor(std::vector<uint8_t>& Out, const TIOParamsVals& Params, const GifFrame& F, uint8_t Packed) {
  Out.push_back(0x2C);
  PutWord(Out, Params.GifLeft);
  PutWord(Out, Params.GifTop);
  PutWord(Out, F.Width);
  PutWord(Out, F.Height);
  Out.push_back(Packed);
}

void PutTable(std::vector<uint8_t>& Out, const GifFrame& F) {
  Out.insert(Out.end(), F.Table, F.Table + 3 * (1 << F.Bits));
}

TGifLzwEncoderProc EncoderOf(const TIOParamsVals& Params) {
  return Params.GifEncoder ? Params.GifEncoder : GlobalGifLzwEncoder;
}

// Reduces the bitmap as the writers do, or takes the frame coded before, and marks the parameters'
// transparency as the reduction does.
void TakeFrame(TIEBitmap* Bitmap, TIOParamsVals& Params, bool ForInsert, const TGifCodedFrame* Coded, GifFrame& F) {
  if (Coded)
    F = *Coded;
  else
    PrepareFrame(Bitmap, GifFrameOptions(Params), ForInsert, F);
  if (F.Alpha) Params.GifTransparent = 1;
}

// The image data of the frame, coded into memory (or taken from the frame when it was coded before).
bool EncodeImageData(const TIOParamsVals& Params, const GifFrame& F, std::vector<uint8_t>& Out) {
  if (F.Coded) {
    Out.insert(Out.end(), F.Data.begin(), F.Data.end());
    return true;
  }
  const TGifLzwEncoderProc Encoder = EncoderOf(Params);
  if (!Encoder) return false;
  TMemoryStream Data;
  Encoder(&Data, F.Height, F.Width, Params.GifInterlaced, F.Pixels.data(), F.Bits);
  const auto* P = static_cast<const uint8_t*>(Data.Memory());
  Out.insert(Out.end(), P, P + Data.Size());
  return true;
}

// GifEncodeFrame: graphic control extension, descriptor with its local table, image data.
bool EncodeFrame(const TIOParamsVals& Params, const GifFrame& F, std::vector<uint8_t>& Out) {
  PutGraphicControl(Out, Params, F);
  PutDescriptor(Out, Params, F, static_cast<uint8_t>(0x80 | (Params.GifInterlaced << 6) | (F.Bits - 1)));
  PutTable(Out, F);
  return EncodeImageData(Params, F, Out);
}

// ---- Reading an existing file ---------------------------------------------------------------------------

// Reads a stream through a large buffer, or straight from memory when the stream's bytes are mapped,
// so walking a file's blocks costs few stream calls and no copy; skipping moves the position only.
class BlockReader {
public:
  // Mapped, when given, holds the stream's bytes from position 0 to End.
  BlockReader(TStream* Stream, int64_t Start, int64_t End, const uint8_t* Mapped)
      : FStream(Stream), FPos(Start), FEnd(End), FMapped(Mapped) {
    if (Mapped) {
      FView = Mapped;
      FViewStart = 0;
      FViewLength = End;
    }
  }

  int64_t Pos() const { return FPos; }
  int64_t Left() const { return FEnd - FPos; }

  bool Byte(uint8_t& B) {
    if (FPos >= FEnd || !Fill()) return false;
    B = FView[FPos - FViewStart];
    ++FPos;
    return true;
  }
  // The byte at At, leaving the position alone.
  bool PeekAt(int64_t At, uint8_t& B) {
    if (At < 0 || At >= FEnd) return false;
    if (FMapped) {
      B = FMapped[At];
      return true;
    }
    if (At >= FViewStart && At < FViewStart + FViewLength) {
      B = FView[At - FViewStart];
      return true;
    }
    return FStream->Seek(At, soBeginning) == At && FStream->Read(&B, 1) == 1;
  }
  // Up to Count bytes appended to Out (or dropped with Out nullptr); returns how many.
  int64_t Take(std::vector<uint8_t>* Out, int64_t Count) {
    Count = std::clamp<int64_t>(Count, 0, Left());
    if (!Out) {
      FPos += Count;
      return Count;
    }
    int64_t Done = 0;
    while (Done < Count && Fill()) {
      const int64_t From = FPos - FViewStart;
      const int64_t N = std::min<int64_t>(Count - Done, FViewLength - From);
      Out->insert(Out->end(), FView + From, FView + From + N);
      FPos += N;
      Done += N;
    }
    return Done;
  }

private:
  bool Fill() {
    if (FPos >= FViewStart && FPos < FViewStart + FViewLength) return true;
    if (FMapped) return false;
    FBuffer.resize(static_cast<size_t>(std::min<int64_t>(ChunkSize, FEnd - FPos)));
    FStream->Seek(FPos, soBeginning);
    const int64_t Got = std::max<int64_t>(0, FStream->Read(FBuffer.data(), static_cast<int64_t>(FBuffer.size())));
    FView = FBuffer.data();
    FViewStart = FPos;
    FViewLength = Got;
    return Got > 0;
  }

  static constexpr int64_t ChunkSize = 256 * 1024;
  TStream* FStream;
  int64_t FPos;
  int64_t FEnd;
  const uint8_t* FMapped;
  std::vector<uint8_t> FBuffer;
  const uint8_t* FView = nullptr;
  int64_t FViewStart = 0;
  int64_t FViewLength = 0;
};

// The rewritten GIF as the old bytes up to the first difference plus the bytes from there on. While the
// copy matches the old file byte for byte nothing is held, so an appended frame costs only the frame and
// what follows it.
class InsertOutput {
public:
  explicit InsertOutput(BlockReader& Reader) : FReader(Reader), FOut(Reader.Pos()) {}

  // Bytes already read from the old file at At.
  void Old(int64_t At, const uint8_t* Data, int64_t Count) {
    if (!FDiverged && At == FOut) {
      FOut += Count;
      return;
    }
    Diverge();
    FTail.insert(FTail.end(), Data, Data + Count);
    FOut += Count;
  }
  // The next Count bytes of the old file, read now; returns how many there were.
  int64_t OldFromReader(int64_t Count) {
    int64_t Got;
    if (!FDiverged && FReader.Pos() == FOut) {
      Got = FReader.Take(nullptr, Count);
    } else {
      Diverge();
      Got = FReader.Take(&FTail, Count);
    }
    FOut += Got;
    return Got;
  }
  void New(const uint8_t* Data, size_t Count) {
    Diverge();
    FTail.insert(FTail.end(), Data, Data + Count);
    FOut += static_cast<int64_t>(Count);
  }
  void Finish() {
    if (!FDiverged) FSame = FOut;
  }

  // Stream positions: the old bytes stay below Same(), Tail() follows from there.
  int64_t Same() const { return FSame; }
  int64_t OutEnd() const { return FOut; }
  const std::vector<uint8_t>& Tail() const { return FTail; }

private:
  void Diverge() {
    if (FDiverged) return;
    FDiverged = true;
    FSame = FOut;
  }

  BlockReader& FReader;
  int64_t FOut;
  bool FDiverged = false;
  int64_t FSame = 0;
  std::vector<uint8_t> FTail;
};

bool WriteAll(TStream* Stream, int64_t At, const uint8_t* Data, int64_t Count) {
  if (Count <= 0) return true;
  if (Stream->Seek(At, soBeginning) != At) return false;
  return Stream->Write(Data, Count) == Count;
}

// Replaces the stream's bytes from Same to OldEnd by Tail without losing them on a failed write: the
// part of Tail that lies past the old end goes first (a failure cuts the stream back), then the part
// over the old bytes, which are kept in memory to be put back should that write fail.
bool ReplaceTail(TStream* Stream, int64_t Same, int64_t OldEnd, const std::vector<uint8_t>& Tail) {
  const int64_t NewEnd = Same + static_cast<int64_t>(Tail.size());
  const int64_t Overlap = std::min(OldEnd, NewEnd) - Same;
  std::vector<uint8_t> Saved(static_cast<size_t>(std::max<int64_t>(0, OldEnd - Same)));
  if (!Saved.empty()) {
    Stream->Seek(Same, soBeginning);
    if (Stream->Read(Saved.data(), static_cast<int64_t>(Saved.size())) != static_cast<int64_t>(Saved.size()))
      return false;
  }
  if (NewEnd > OldEnd) {
    if (!WriteAll(Stream, OldEnd, Tail.data() + (OldEnd - Same), NewEnd - OldEnd)) {
      Stream->SetSize(OldEnd);
      return false;
    }
  }
  if (!WriteAll(Stream, Same, Tail.data(), Overlap)) {
    WriteAll(Stream, Same, Saved.data(), static_cast<int64_t>(Saved.size()));
    Stream->SetSize(OldEnd);
    return false;
  }
  if (NewEnd < OldEnd) Stream->SetSize(NewEnd);
  Stream->Seek(NewEnd, soBeginning);
  return true;
}

int64_t TableBytes(uint8_t Packed) { return (Packed & 0x80) ? 3 * (int64_t(1) << ((Packed & 7) + 1)) : 0; }

const uint8_t NetscapeId[14] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};

}  // namespace

// ---- Frames coded beforehand ---------------------------------------------------------------------------

TGifFrameOptions GifFrameOptions(const TIOParamsVals& Params) {
  TGifFrameOptions O;
  O.BitsPerSample = Params.BitsPerSample;
  O.GifTransparentColor = Params.GifTransparentColor;
  O.GifBackgroundColor = Params.GifBackgroundColor;
  O.GifInterlaced = Params.GifInterlaced;
  O.Encoder = EncoderOf(Params);
  return O;
}

bool GifCodeFrame(TIEBitmap* Bitmap, const TGifFrameOptions& Options, bool ForInsert, TGifCodedFrame& Frame) {
  Frame = TGifCodedFrame();
  PrepareFrame(Bitmap, Options, ForInsert, Frame);
  if (!Options.Encoder) return false;
  TMemoryStream Data;
  Options.Encoder(&Data, Frame.Height, Frame.Width, Options.GifInterlaced, Frame.Pixels.data(), Frame.Bits);
  const auto* P = static_cast<const uint8_t*>(Data.Memory());
  Frame.Data.assign(P, P + Data.Size());
  Frame.Coded = true;
  // The indexes are in the data now; a frame waiting to be written keeps only that.
  Frame.Pixels = std::vector<uint8_t>();
  return true;
}

// ---- GifWriteImage ---------------------------------------------------------------------------------------

void GifWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                   const TGifCodedFrame* Coded) {
  Progress.Report(0);
  if (Progress.Aborted()) return;
  uint8_t Dummy = 0;
  uint8_t& Abort = Progress.Abort ? *Progress.Abort : Dummy;
  GifFrame F;
  TakeFrame(Bitmap, Params, false, Coded, F);
  Progress.Report(30);
  if (Progress.Aborted()) return;

  std::vector<uint8_t> Out;
  std::string Version = Params.GifVersion;
  Version.resize(6, '\0');
  Out.insert(Out.end(), Version.begin(), Version.end());
  PutWord(Out, F.Width);
  PutWord(Out, F.Height);
  Out.push_back(static_cast<uint8_t>(0x80 | ((F.Bits - 1) << 4) | (F.Bits - 1)));
  Out.push_back(F.BackgroundIndex);
  Out.push_back(0x00);
  PutTable(Out, F);
  PutGraphicControl(Out, Params, F);
  PutDescriptor(Out, Params, F, static_cast<uint8_t>(Params.GifInterlaced << 6));
  SafeStreamWrite(Stream, Abort, Out.data(), static_cast<int64_t>(Out.size()));
  Progress.Report(70);
  if (Progress.Aborted()) return;

  Out.clear();
  if (!EncodeImageData(Params, F, Out)) {
    Progress.SetAborted();
    return;
  }
  Out.insert(Out.end(), {0x21, 0xFE});
  for (int32_t i = 0; i < Params.GifComments.Count(); ++i) {
    const std::string Line = Params.GifComments.Get(i).substr(0, 255);
    if (Line.empty()) continue;  // a zero length would end the extension early
    Out.push_back(static_cast<uint8_t>(Line.size()));
    Out.insert(Out.end(), Line.begin(), Line.end());
  }
  Out.push_back(0x00);
  Out.push_back(0x3B);
  SafeStreamWrite(Stream, Abort, Out.data(), static_cast<int64_t>(Out.size()));
  Progress.Report(100);
}

// ---- GifInsertFrame ----------------------------------------------------------------------------------------

namespace {

// Hint, when given, is an append point checked against this file's identity: with the frame going at
// its image count the blocks before its offset are not walked (they are the walk's own output, which a
// walk copies unchanged). After receives the append point of the rewritten stream.
int32_t InsertFrame(TStream* Stream, const uint8_t* Mapped, TIEBitmap* Bitmap, const TGifCodedFrame* Coded,
                    TIOParamsVals& Params, TIEProgressRecord& Progress, const TGifAppendPoint* Hint,
                    TGifAppendPoint* After) {
  if (After) *After = TGifAppendPoint();
  Progress.Report(0);
  if (Progress.Aborted()) return 0;
  const int64_t P0 = Stream->Position();
  const int64_t End = Stream->Size();
  BlockReader Reader(Stream, P0, End, Mapped);
  InsertOutput Out(Reader);

  uint8_t Header[13];
  for (uint8_t& B : Header)
    if (!Reader.Byte(B)) {
      Progress.SetAborted();
      return 0;
    }
  if (std::memcmp(Header, "GIF", 3) != 0) {
    Progress.SetAborted();
    return 0;
  }
  uint8_t NewHeader[13];
  std::memcpy(NewHeader, Header, 13);
  std::memcpy(NewHeader + 3, "89a", 3);
  if (std::memcmp(Header, NewHeader, 13) == 0)
    Out.Old(P0, Header, 13);
  else
    Out.New(NewHeader, 13);
  if (Out.OldFromReader(TableBytes(Header[10])) != TableBytes(Header[10])) {
    Progress.SetAborted();
    return 0;
  }

  GifFrame F;
  TakeFrame(Bitmap, Params, true, Coded, F);
  Progress.Report(30);
  if (Progress.Aborted()) return 0;

  int64_t K = Params.GifImageIndex;
  int32_t I = 0;
  bool Failed = false;
  int64_t LastImageEnd = -1;  // in the rewritten stream
  // Emits the new frame (GifEncodeFrame) when its index comes up.
  auto EmitFrame = [&]() {
    Progress.Report(70);
    if (Progress.Aborted()) {
      Failed = true;
      return;
    }
    std::vector<uint8_t> Frame;
    if (!EncodeFrame(Params, F, Frame)) {
      Failed = true;
      return;
    }
    Out.New(Frame.data(), Frame.size());
    LastImageEnd = Out.OutEnd();
    K = -1;
    ++I;
  };

  // The append point holds when the header needs no change (the skipped bytes then stay as they are)
  // and the byte before it ends an image's data.
  if (Hint && Hint->Known && Hint->ImageCount >= 1 && K == Hint->ImageCount && Hint->Offset > Reader.Pos() &&
      Hint->Offset < End && std::memcmp(Header, NewHeader, 13) == 0) {
    uint8_t Terminator = 0xFF;
    const int64_t Skip = Hint->Offset - Reader.Pos();
    if (Reader.PeekAt(Hint->Offset - 1, Terminator) && Terminator == 0x00 && Out.OldFromReader(Skip) == Skip) {
      // The walk would be here right after the last image, the frame's place.
      I = Hint->ImageCount;
      EmitFrame();
    }
  }

  while (!Failed) {
    const int64_t At = Reader.Pos();
    uint8_t B = 0;
    const bool Got = Reader.Byte(B);
    if (!Got || Reader.Pos() >= End) {
      // The last byte, or none, stands for the trailer.
      if (I == K) EmitFrame();
      if (Failed) break;
      const uint8_t Trailer = 0x3B;
      if (Got && B == 0x3B)
        Out.Old(At, &B, 1);
      else
        Out.New(&Trailer, 1);
      break;
    }
    if (B == 0x21) {
      uint8_t Label = 0;
      if (!Reader.Byte(Label)) continue;  // the next read meets the end
      if (Label == 0xF9 && I == K) {
        EmitFrame();
        if (Failed) break;
      }
      const uint8_t Intro[2] = {0x21, Label};
      Out.Old(At, Intro, 2);
      for (;;) {
        const int64_t LenAt = Reader.Pos();
        uint8_t Len = 0;
        if (!Reader.Byte(Len)) break;
        Out.Old(LenAt, &Len, 1);
        if (Len == 0) break;
        if (Out.OldFromReader(Len) < Len) break;
      }
    } else if (B == 0x2C) {
      // An image with no graphic control extension before it still takes the frame wanted at index 0.
      if (I == K) {
        EmitFrame();
        if (Failed) break;
      }
      Out.Old(At, &B, 1);
      uint8_t Descriptor[9];
      const int64_t DescAt = Reader.Pos();
      bool Whole = true;
      for (uint8_t& D : Descriptor) Whole = Whole && Reader.Byte(D);
      if (!Whole) {
        Failed = true;
        break;
      }
      Out.Old(DescAt, Descriptor, 9);
      const int64_t Table = TableBytes(Descriptor[8]);
      const int64_t CodeSizeAt = Reader.Pos() + Table;
      uint8_t CodeSize = 0;
      if (Out.OldFromReader(Table) < Table || !Reader.Byte(CodeSize)) {
        Failed = true;
        break;
      }
      Out.Old(CodeSizeAt, &CodeSize, 1);
      // Sub-blocks up to and including the terminator; one running past the end breaks the image.
      for (;;) {
        const int64_t LenAt = Reader.Pos();
        uint8_t Len = 0;
        if (!Reader.Byte(Len)) {
          Failed = true;
          break;
        }
        Out.Old(LenAt, &Len, 1);
        if (Len == 0) break;
        if (Out.OldFromReader(Len) < Len) {
          Failed = true;
          break;
        }
      }
      if (Failed) break;
      ++I;
      LastImageEnd = Out.OutEnd();
      if (I == K) EmitFrame();
    } else if (B == 0x3B) {
      if (I == K) EmitFrame();
      if (Failed) break;
      Out.Old(At, &B, 1);
      break;
    }
    // Any other byte is dropped.
  }
  // An index past the last image inserts nothing: that is a failure, not a file rewritten unchanged.
  if (!Failed && K >= 0) Failed = true;
  if (Failed || Progress.Aborted()) {
    Progress.SetAborted();
    Stream->Seek(P0, soBeginning);
    return 0;
  }
  Out.Finish();
  if (!ReplaceTail(Stream, Out.Same(), End, Out.Tail())) {
    Progress.SetAborted();
    return 0;
  }
  if (After && LastImageEnd > 0) {
    After->Known = true;
    After->ImageCount = I;
    After->Offset = LastImageEnd;
  }
  Progress.Report(100);
  return I;
}

}  // namespace

int32_t GifInsertFrame(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  auto* Memory = dynamic_cast<TCustomMemoryStream*>(Stream);
  return InsertFrame(Stream, Memory ? static_cast<const uint8_t*>(Memory->Memory()) : nullptr, Bitmap, nullptr,
                     Params, Progress, nullptr, nullptr);
}

namespace {

void StampFrom(const struct stat& Info, TGifAppendPoint& Point) {
  Point.Device = static_cast<uint64_t>(Info.st_dev);
  Point.Inode = static_cast<uint64_t>(Info.st_ino);
  Point.Size = static_cast<int64_t>(Info.st_size);
  Point.Modified = int64_t(Info.st_mtim.tv_sec) * 1000000000 + Info.st_mtim.tv_nsec;
  Point.Changed = int64_t(Info.st_ctim.tv_sec) * 1000000000 + Info.st_ctim.tv_nsec;
}

}  // namespace

bool GifStampAppendPoint(const std::string& FileName, TGifAppendPoint& Point) {
  struct stat Info {};
  if (!Point.Known || stat(FileName.c_str(), &Info) != 0) {
    Point = TGifAppendPoint();
    return false;
  }
  StampFrom(Info, Point);
  return true;
}

int32_t GifInsertFrameFile(const std::string& FileName, TIEBitmap* Bitmap, TIOParamsVals& Params,
                           TIEProgressRecord& Progress) {
  TGifAppendPoint Point;
  return GifInsertFrameFile(FileName, Bitmap, Params, Progress, Point);
}

int32_t GifInsertFrameFile(const std::string& FileName, TIEBitmap* Bitmap, TIOParamsVals& Params,
                           TIEProgressRecord& Progress, TGifAppendPoint& Point, const TGifCodedFrame* Coded) {
  TFileStream File(FileName, fmOpenReadWrite | fmShareDenyWrite);
  const int64_t Size = File.Size();
  // The point is trusted only for the very file it was taken from, unchanged since.
  TGifAppendPoint Hint = Point;
  struct stat Info {};
  if (Hint.Known) {
    TGifAppendPoint Now = Hint;
    if (fstat(File.Handle(), &Info) != 0) {
      Hint.Known = false;
    } else {
      StampFrom(Info, Now);
      Hint.Known = Now.Device == Hint.Device && Now.Inode == Hint.Inode && Now.Size == Hint.Size &&
                   Now.Size == Size && Now.Modified == Hint.Modified && Now.Changed == Hint.Changed &&
                   int64_t(Params.GifImageIndex) == Hint.ImageCount;
    }
  }
  if (Hint.Known) {
    // Only the end of the file is read: no mapping of the whole.
    return InsertFrame(&File, nullptr, Bitmap, Coded, Params, Progress, &Hint, &Point);
  }
  // The walk over the old blocks reads the file through a mapping: pages the kernel already holds,
  // nothing copied.
  void* Map = Size > 0 ? mmap(nullptr, static_cast<size_t>(Size), PROT_READ, MAP_SHARED | MAP_POPULATE, File.Handle(), 0)
                       : MAP_FAILED;
  struct Unmap {
    void* Ptr;
    size_t Length;
    ~Unmap() {
      if (Ptr != MAP_FAILED) munmap(Ptr, Length);
    }
  } Mapping{Map, static_cast<size_t>(Size)};
  return InsertFrame(&File, Map != MAP_FAILED ? static_cast<const uint8_t*>(Map) : nullptr, Bitmap, Coded,
                     Params, Progress, nullptr, &Point);
}

// ---- GifPatchLoopAndScreen ----------------------------------------------------------------------------------

bool GifPatchLoopAndScreen(const std::string& FileName, uint16_t LoopCount, int32_t ScreenWidth,
                           int32_t ScreenHeight, TGifAppendPoint* Point) {
  // The point survives only a patch whose effect on the blocks after the global table is known; the
  // caller stamps it again with the file's new identity.
  TGifAppendPoint Kept;
  if (Point) std::swap(Kept, *Point);
  std::vector<uint8_t> Head;
  int64_t Size = 0;
  uint8_t Header[13];
  uint8_t NewHeader[13];
  uint8_t Block[19];
  int64_t Q = 0;
  bool HasOddBlock = false;
  {
    TFileStream File(FileName, fmOpenReadWrite | fmShareDenyWrite);
    Size = File.Size();
    if (File.Read(Header, 13) != 13 || std::memcmp(Header, "GIF", 3) != 0) return false;
    std::memcpy(NewHeader, Header, 13);
    std::memcpy(NewHeader + 3, "89a", 3);
    const int32_t OldW = Header[6] | (Header[7] << 8);
    const int32_t OldH = Header[8] | (Header[9] << 8);
    const int32_t W = std::max(ScreenWidth, OldW), H = std::max(ScreenHeight, OldH);
    NewHeader[6] = static_cast<uint8_t>(W & 0xFF);
    NewHeader[7] = static_cast<uint8_t>((W >> 8) & 0xFF);
    NewHeader[8] = static_cast<uint8_t>(H & 0xFF);
    NewHeader[9] = static_cast<uint8_t>((H >> 8) & 0xFF);
    Q = 13 + TableBytes(Header[10]);
    if (Q > Size) return false;

    const uint8_t NewBlock[19] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                                  0x03, 0x01, static_cast<uint8_t>(LoopCount & 0xFF),
                                  static_cast<uint8_t>(LoopCount >> 8), 0x00};
    File.Seek(Q, soBeginning);
    const int64_t Got = std::max<int64_t>(0, File.Read(Block, 19));
    const bool HasBlock = Got == 19 && std::memcmp(Block, NetscapeId, 14) == 0;
    if (HasBlock && Block[14] == 0x03 && Block[15] == 0x01 && Block[18] == 0x00) {
      // The block already has the 19-byte layout: the rewrite would change only these bytes.
      const bool HeaderOk = WriteAll(&File, 0, NewHeader, 13);
      const bool BlockOk = HeaderOk && WriteAll(&File, Q, NewBlock, 19);
      if (!BlockOk) {
        WriteAll(&File, 0, Header, 13);
        WriteAll(&File, Q, Block, 19);
        return false;
      }
      if (Point && Kept.Known && Kept.Offset > Q + 19) *Point = Kept;
      return true;
    }
    Head.assign(NewHeader, NewHeader + 13);
    Head.resize(static_cast<size_t>(Q));
    File.Seek(13, soBeginning);
    if (Q > 13 && File.Read(Head.data() + 13, Q - 13) != Q - 13) return false;
    Head.insert(Head.end(), NewBlock, NewBlock + 19);
    HasOddBlock = HasBlock;
    if (HasBlock) Q += 19;
  }

  // Written beside the file and renamed over it, so a failure leaves the old file whole.
  std::string TempName = FileName + ".XXXXXX";
  const int Fd = mkstemp(TempName.data());
  if (Fd < 0) return false;
  struct stat Info {};
  if (stat(FileName.c_str(), &Info) == 0) fchmod(Fd, Info.st_mode & 07777);
  bool Ok = true;
  {
    THandleStream Temp(Fd);
    Ok = Temp.Write(Head.data(), static_cast<int64_t>(Head.size())) == static_cast<int64_t>(Head.size());
    if (Ok) {
      TFileStream Source(FileName, fmOpenRead | fmShareDenyWrite);
      Source.Seek(Q, soBeginning);
      std::vector<uint8_t> Chunk(1 << 20);
      for (int64_t Left = Size - Q; Ok && Left > 0;) {
        const int64_t N = Source.Read(Chunk.data(), std::min<int64_t>(Left, static_cast<int64_t>(Chunk.size())));
        if (N <= 0) break;
        Ok = Temp.Write(Chunk.data(), N) == N;
        Left -= N;
      }
    }
  }
  Ok = (close(Fd) == 0) && Ok;
  if (Ok) Ok = std::rename(TempName.c_str(), FileName.c_str()) == 0;
  if (!Ok) unlink(TempName.c_str());
  // A new block moved everything after the table by its 19 bytes; an old block of another length
  // leaves the blocks after it in a state only a walk can tell.
  if (Ok && Point && Kept.Known && !HasOddBlock && Kept.Offset > Q) {
    *Point = Kept;
    Point->Offset += 19;
  }
  return Ok;
}

}  // namespace zv
