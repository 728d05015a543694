#include "imaging/formats/psd_writer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "imaging/core/bitmap.h"
#include "imaging/core/icc_profile.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/jpeg_markers.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "imaging/proc/canvas_ops.h"
#include "imaging/proc/imaging_proc.h"
#include "imaging/view/imaging_view.h"
#include "imaging/view/layers.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

constexpr int32_t PsdNoMode = 1000;

// Every write goes through SafeStreamWrite; placeholders are filled in afterwards at their positions.
class TPsdOut {
public:
  TPsdOut(TStream* Stream, uint8_t& Aborting) : FStream(Stream), FAborting(Aborting) {}

  int64_t Pos() const { return FStream->Position(); }
  void Bytes(const void* Data, int64_t Count) {
    if (Count > 0) SafeStreamWrite(FStream, FAborting, Data, Count);
  }
  void Bytes(const std::vector<uint8_t>& Data) { Bytes(Data.data(), int64_t(Data.size())); }
  void U8(uint32_t v) {
    const uint8_t b = uint8_t(v);
    Bytes(&b, 1);
  }
  void U16(uint32_t v) {
    const uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
    Bytes(b, 2);
  }
  void U32(uint32_t v) {
    const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    Bytes(b, 4);
  }
  void Text(const char* s) { Bytes(s, int64_t(std::strlen(s))); }
  // A 4-byte placeholder; returns where it is.
  int64_t Hole32() {
    const int64_t At = Pos();
    U32(0);
    return At;
  }
  void Patch(int64_t At, const std::vector<uint8_t>& Data) {
    const int64_t Back = Pos();
    FStream->SetPosition(At);
    Bytes(Data);
    FStream->SetPosition(Back);
  }
  void Patch32(int64_t At, uint32_t v) { Patch(At, {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}); }
  // The length of what follows a 4-byte placeholder at At, up to here.
  void CloseLength(int64_t At) { Patch32(At, uint32_t(Pos() - At - 4)); }
  void PadEven() {
    if (Pos() % 2 != 0) U8(0);
  }

private:
  TStream* FStream;
  uint8_t& FAborting;
};

// The colour channels a bitmap is written with (the fourth byte of ieRGBX32 is not a channel).
int32_t WrittenChannels(TIEBitmap* B) {
  const TIEPixelFormat F = B->GetPixelFormat();
  return F == ieRGBX32 ? 3 : IEChannelsPerPixel[F];
}

int32_t DepthOf(TIEBitmap* B) {
  const TIEPixelFormat F = B->GetPixelFormat();
  return IEChannelsPerPixel[F] > 0 ? IEBitsPerPixel[F] / IEChannelsPerPixel[F] : 0;
}

// Row Y of channel T (-1 transparency) of B as the document stores it.
void ChannelRow(TIEBitmap* B, int32_t Depth, int32_t T, int32_t Y, std::vector<uint8_t>& Out) {
  const int32_t W = B->GetWidth();
  Out.clear();
  if (T < 0) {
    const uint8_t* A = B->GetAlphaChannel()->GetScanline(Y);
    if (Depth == 16) {
      for (int32_t x = 0; x < W; ++x) Out.insert(Out.end(), {A[x], A[x]});  // x 257, big-endian
    } else if (Depth == 1) {
      Out.assign(size_t(W + 7) / 8, 0);
      for (int32_t x = 0; x < W; ++x)
        if (A[x] >= 128) Out[size_t(x) >> 3] |= uint8_t(0x80 >> (x & 7));
    } else {
      Out.assign(A, A + W);
    }
    return;
  }
  const uint8_t* Row = B->GetScanline(Y);
  // One byte of every Stride from Offset, plus Add.
  const auto Plane = [&](size_t Stride, size_t Offset, uint8_t Add) {
    Out.resize(size_t(W));
    for (int32_t x = 0; x < W; ++x) Out[size_t(x)] = uint8_t(Row[size_t(x) * Stride + Offset] + Add);
  };
  switch (B->GetPixelFormat()) {
    case ie1g:
      Out.resize(size_t(W + 7) / 8);
      for (size_t i = 0; i < Out.size(); ++i) Out[i] = uint8_t(~Row[i]);
      break;
    case ie8g:
    case ie8p:
      Out.assign(Row, Row + W);
      break;
    case ie24RGB:
      Plane(3, size_t(2 - T), 0);
      break;
    case ieRGBX32:
      Plane(4, size_t(2 - T), 0);
      break;
    case ieCMYK:
      Plane(4, size_t(T), 0);
      break;
    case ieCIELab:
      Plane(3, size_t(T), T > 0 ? 128 : 0);
      break;
    case ieGray16:
    case ieRGB48: {
      const size_t Stride = B->GetPixelFormat() == ieGray16 ? 2 : 6;
      Out.resize(size_t(W) * 2);
      for (int32_t x = 0; x < W; ++x) {
        uint16_t v;
        std::memcpy(&v, Row + size_t(x) * Stride + size_t(T) * 2, 2);
        Out[size_t(x) * 2] = uint8_t(v >> 8);
        Out[size_t(x) * 2 + 1] = uint8_t(v);
      }
      break;
    }
    default:
      break;
  }
}

// The rows of one channel, coded, after a table of their counts that is filled in afterwards.
void WriteLayerChannel(TPsdOut& Out, TIEBitmap* B, int32_t Depth, int32_t T) {
  const int32_t H = B->GetHeight();
  Out.U16(1);
  const int64_t Table = Out.Pos();
  std::vector<uint8_t> Counts(size_t(H) * 2, 0), Row, Coded;
  Out.Bytes(Counts);
  for (int32_t y = 0; y < H; ++y) {
    ChannelRow(B, Depth, T, y, Row);
    Coded.clear();
    PsdPackBitsRow(Row.data(), int32_t(Row.size()), Coded);
    Out.Bytes(Coded);
    Counts[size_t(y) * 2] = uint8_t(Coded.size() >> 8);
    Counts[size_t(y) * 2 + 1] = uint8_t(Coded.size());
  }
  Out.Patch(Table, Counts);
}

void ReportPart(TIEProgressRecord& Progress, int64_t Done, int64_t Of) {
  if (Of > 0) Progress.Report(int(Round(Done * 100.0L / Of)));
}

void WriteResource(TPsdOut& Out, uint16_t Id, const void* Data, int64_t Size) {
  Out.PadEven();
  Out.Text("8BIM");
  Out.U16(Id);
  Out.U16(0);  // an empty name, padded
  Out.U32(uint32_t(Size));
  Out.Bytes(Data, Size);
}

void WriteResources(TPsdOut& Out, TIOParamsVals& Params, TIEBitmap* Composite) {
  const int64_t Length = Out.Hole32();
  std::vector<uint8_t> R;
  const auto Be16 = [&](uint32_t v) { R.insert(R.end(), {uint8_t(v >> 8), uint8_t(v)}); };
  const auto Be32 = [&](uint32_t v) { R.insert(R.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}); };
  Be32(uint32_t(Params.DpiX()) * 65536u);
  Be16(1);
  Be16(1);
  Be32(uint32_t(Params.DpiY()) * 65536u);
  Be16(1);
  Be16(1);
  WriteResource(Out, 1005, R.data(), int64_t(R.size()));
  if (Composite != nullptr && Composite->GetPixelFormat() == ie8p) {
    const uint8_t Index[2] = {0, 255};
    WriteResource(Out, 1047, Index, 2);
  }
  void* Iptc = nullptr;
  int32_t IptcLength = 0;
  Params.IptcInfo.SaveToBuffer(Iptc, IptcLength, false);
  if (Iptc != nullptr && IptcLength > 0) WriteResource(Out, 1028, Iptc, IptcLength);
  std::free(Iptc);
  if (Params.InputIcc() != nullptr && Params.InputIcc()->ProfileSize() > 0) {
    TMemoryStream Icc;
    Params.InputIcc()->SaveToStream(&Icc, true);
    WriteResource(Out, 1039, Icc.Memory(), Icc.Size());
  }
  TIEBitmap* Thumb = Params.ExifThumbnail();
  if (Thumb != nullptr && !Thumb->IsEmpty()) {
    TMemoryStream Jpeg;
    TIOParamsVals JpegParams(nullptr);
    uint8_t JpegAbort = 0;
    TIEProgressRecord JpegProgress;
    JpegProgress.Abort = &JpegAbort;
    JpegWriteImage(&Jpeg, Thumb, JpegParams, JpegProgress);
    if (JpegAbort == 0) {
      R.clear();
      const uint32_t W = uint32_t(Thumb->GetWidth()), H = uint32_t(Thumb->GetHeight());
      Be32(1);
      Be32(W);
      Be32(H);
      Be32(W * 3);
      Be32(W * H * 3);
      Be32(uint32_t(Jpeg.Size()));
      Be16(24);
      Be16(1);
      const auto* J = static_cast<const uint8_t*>(Jpeg.Memory());
      R.insert(R.end(), J, J + Jpeg.Size());
      WriteResource(Out, 1036, R.data(), int64_t(R.size()));
    }
  }
  if (!Params.Xmp.empty()) WriteResource(Out, 1060, Params.Xmp.data(), int64_t(Params.Xmp.size()));
  Out.PadEven();
  Out.CloseLength(Length);
}

struct TLayerToWrite {
  TIELayer* Layer;
  TIELayer* Mask;  // the mask layer right after it, or nullptr
};

// B as indices into the document's palette (the composite's): every layer's index means the same colour.
void ToDocumentPalette(TIEBitmap* B, TIEBitmap* Composite) {
  if (B->GetPixelFormat() != ie24RGB) B->ConvertToFormat(ie24RGB);
  const int32_t Count = std::min(256, Composite->GetPaletteLength());
  std::vector<TIERGB24> Palette(size_t(std::max(Count, 1)));
  for (int32_t i = 0; i < Count; ++i) Palette[size_t(i)] = Composite->GetPaletteColor(i);
  TIEBitmap Indexed;
  Indexed.Allocate(B->GetWidth(), B->GetHeight(), ie8p);
  for (int32_t i = 0; i < Count; ++i) Indexed.SetPaletteColor(i, Palette[size_t(i)]);
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    const TIERGB24* From = reinterpret_cast<const TIERGB24*>(B->GetScanline(y));
    uint8_t* To = Indexed.GetScanline(y);
    for (int32_t x = 0; x < B->GetWidth(); ++x)
      To[x] = uint8_t(NearestPaletteIndex(Palette.data(), Count, (uint32_t(From[x].r) << 16) | (uint32_t(From[x].g) << 8) | From[x].b));
  }
  std::unique_ptr<TIEBitmap> Alpha;
  if (B->HasAlphaChannel()) {
    Alpha = std::make_unique<TIEBitmap>();
    Alpha->Assign(B->GetAlphaChannel());
  }
  B->Assign(&Indexed);
  if (Alpha) B->GetAlphaChannel()->Assign(Alpha.get());
}

// The converted kind of every layer, resampled to its shown size, with an alpha channel.
void PrepareLayers(const std::vector<TIELayer*>& Layers, int32_t Mode, int32_t Depth, TIEBitmap* Composite) {
  TImagingProc Proc(nullptr);
  for (TIELayer* L : Layers) {
    TIEBitmap* B = L->Bitmap;
    if (B == nullptr) continue;
    if (!L->IsMask) {
      TIEPixelFormat Target = ie24RGB;
      switch (Mode) {
        case 0: Target = ie1g; break;
        case 1: Target = Depth == 16 ? ieGray16 : ie8g; break;
        case 2: Target = ie8p; break;
        case 3: Target = Depth == 16 ? ieRGB48 : ie24RGB; break;
        case 4: Target = ieCMYK; break;
        case 9: Target = ieCIELab; break;
        default: break;
      }
      if (Target == ie8p && Composite != nullptr && Composite->GetPixelFormat() == ie8p)
        ToDocumentPalette(B, Composite);
      else if (B->GetPixelFormat() != Target)
        B->ConvertToFormat(Target);
    }
    const int32_t W = L->GetWidth(), H = L->GetHeight();
    if (W > 0 && H > 0 && (B->GetWidth() != W || B->GetHeight() != H)) {
      Proc.AttachIEBitmap(B);
      Proc.Resample(W, H, L->UseOwnFilter ? L->ResampleFilter : rfNone);
    }
    if (!B->HasAlphaChannel()) B->GetAlphaChannel();
  }
}

void WriteLayerSection(TPsdOut& Out, TIEProgressRecord& Progress, const std::vector<TIELayer*>& Layers,
                       int32_t Depth) {
  const int64_t Section = Out.Hole32();
  if (Layers.empty()) {
    Out.CloseLength(Section);
    return;
  }
  // Mask layers go with the layer before them; one without such a layer is not written.
  std::vector<TLayerToWrite> ToWrite;
  for (size_t i = 0; i < Layers.size(); ++i) {
    if (Layers[i]->IsMask || Layers[i]->Bitmap == nullptr) continue;
    TIELayer* Mask = i + 1 < Layers.size() && Layers[i + 1]->IsMask && Layers[i + 1]->Bitmap != nullptr ? Layers[i + 1]
                                                                                                          : nullptr;
    ToWrite.push_back({Layers[i], Mask});
  }
  const int64_t Info = Out.Hole32();
  Out.U16(uint32_t(ToWrite.size()));
  std::vector<std::vector<int64_t>> LengthHoles(ToWrite.size());
  for (size_t i = 0; i < ToWrite.size(); ++i) {
    TIELayer* L = ToWrite[i].Layer;
    TIEBitmap* B = L->Bitmap;
    const int32_t Top = L->PosY, Left = L->PosX;
    Out.U32(uint32_t(Top));
    Out.U32(uint32_t(Left));
    Out.U32(uint32_t(Top + B->GetHeight()));
    Out.U32(uint32_t(Left + B->GetWidth()));
    const int32_t Colours = WrittenChannels(B);
    const bool Alpha = B->HasAlphaChannel();
    Out.U16(uint32_t(Colours + (Alpha ? 1 : 0) + (ToWrite[i].Mask ? 1 : 0)));
    const auto Channel = [&](int32_t Id) {
      Out.U16(uint32_t(Id) & 0xFFFF);
      LengthHoles[i].push_back(Out.Hole32());
    };
    if (Alpha) Channel(-1);
    for (int32_t t = 0; t < Colours; ++t) Channel(t);
    if (ToWrite[i].Mask) Channel(-2);
    Out.Text("8BIMnorm");
    Out.U8(uint32_t(std::clamp(L->Transparency, 0, 255)));
    Out.U8(0);
    Out.U8(L->Visible ? 0 : 2);
    Out.U8(0);
    const int64_t Extra = Out.Hole32();
    if (TIELayer* M = ToWrite[i].Mask) {
      Out.U32(20);
      Out.U32(uint32_t(M->PosY));
      Out.U32(uint32_t(M->PosX));
      Out.U32(uint32_t(M->PosY + M->Bitmap->GetHeight()));
      Out.U32(uint32_t(M->PosX + M->Bitmap->GetWidth()));
      Out.U8(0);
      Out.U8(0);
      Out.U16(0);
    } else {
      Out.U32(0);
    }
    Out.U32(0);
    const std::string Name = L->Name.substr(0, 255);
    Out.U8(uint32_t(Name.size()));
    Out.Bytes(Name.data(), int64_t(Name.size()));
    while ((Out.Pos() - Extra - 4) % 4 != 0) Out.U8(1);
    Out.CloseLength(Extra);
  }
  for (size_t i = 0; i < ToWrite.size(); ++i) {
    TIEBitmap* B = ToWrite[i].Layer->Bitmap;
    size_t Hole = 0;
    const auto Channel = [&](TIEBitmap* From, int32_t ChannelDepth, int32_t T) {
      const int64_t Start = Out.Pos();
      WriteLayerChannel(Out, From, ChannelDepth, T);
      Out.Patch32(LengthHoles[i][Hole++], uint32_t(Out.Pos() - Start));
    };
    if (B->HasAlphaChannel()) Channel(B, Depth, -1);
    for (int32_t t = 0; t < WrittenChannels(B); ++t) Channel(B, Depth, t);
    if (TIELayer* M = ToWrite[i].Mask) {
      // One byte a pixel, also in 16-bit documents.
      TIEBitmap* MB = M->Bitmap;
      std::unique_ptr<TIEBitmap> Grey;
      if (MB->GetPixelFormat() != ie8g) {
        Grey = std::make_unique<TIEBitmap>();
        Grey->Allocate(MB->GetWidth(), MB->GetHeight(), ie8g);
        Grey->CopyAndConvertFormat(MB);
        MB = Grey.get();
      }
      Channel(MB, 8, 0);
    }
    ReportPart(Progress, int64_t(i) + 1, int64_t(ToWrite.size()));
  }
  Out.CloseLength(Info);
  Out.U32(0);  // global layer mask info
  Out.CloseLength(Section);
}

void WriteComposite(TPsdOut& Out, TIEProgressRecord& Progress, TIEBitmap* B, int32_t Depth, bool ReportChannels) {
  const int32_t H = B->GetHeight(), Channels = WrittenChannels(B);
  Out.U16(1);
  const int64_t Table = Out.Pos();
  std::vector<uint8_t> Counts(size_t(Channels) * size_t(H) * 2, 0), Row, Coded;
  Out.Bytes(Counts);
  for (int32_t t = 0; t < Channels; ++t) {
    for (int32_t y = 0; y < H; ++y) {
      ChannelRow(B, Depth, t, y, Row);
      Coded.clear();
      PsdPackBitsRow(Row.data(), int32_t(Row.size()), Coded);
      Out.Bytes(Coded);
      const size_t At = (size_t(t) * size_t(H) + size_t(y)) * 2;
      Counts[At] = uint8_t(Coded.size() >> 8);
      Counts[At + 1] = uint8_t(Coded.size());
    }
    if (ReportChannels) ReportPart(Progress, t + 1, Channels);
  }
  Out.Patch(Table, Counts);
}

}  // namespace

int32_t PsdModeTable(TIEPixelFormat Format) {
  switch (Format) {
    case ie1g: return 0;
    case ie8g:
    case ieGray16: return 1;
    case ie8p: return 2;
    case ie24RGB:
    case ieRGB48:
    case ieRGBX32: return 3;
    case ieCMYK: return 4;
    case ieCIELab: return 9;
    default: return PsdNoMode;
  }
}

void PsdPackBitsRow(const uint8_t* Row, int32_t Count, std::vector<uint8_t>& Out) {
  int32_t Pending = 0;  // literals waiting, ending at i
  const auto Flush = [&](int32_t End) {
    if (Pending == 0) return;
    Out.push_back(uint8_t(Pending - 1));
    Out.insert(Out.end(), Row + (End - Pending), Row + End);
    Pending = 0;
  };
  int32_t i = 0;
  while (i < Count) {
    int32_t Run = 1;
    while (i + Run < Count && Run < 128 && Row[i + Run] == Row[i]) ++Run;
    if (Run >= 4) {
      Flush(i);
      Out.push_back(uint8_t(1 - Run));
      Out.push_back(Row[i]);
      i += Run;
      continue;
    }
    ++Pending;
    ++i;
    if (Pending == 128) Flush(i);
  }
  Flush(Count);
}

void PsdWriteLayers(TStream* Stream, TIOParamsVals& Params, TIEProgressRecord& Progress, TIEBitmap* Bitmap,
                    const std::vector<TIELayer*>& Layers) {
  TIEBitmap* Kind = Bitmap != nullptr ? Bitmap : (!Layers.empty() ? Layers[0]->Bitmap : nullptr);
  const int32_t Mode = Kind != nullptr ? PsdModeTable(Kind->GetPixelFormat()) : PsdNoMode;
  if (Mode == PsdNoMode || Bitmap == nullptr || Bitmap->IsEmpty()) {
    Progress.SetAborted();
    return;
  }
  // Indexed, CMYK and Lab documents are 8 bits a channel.
  const int32_t Depth = (Mode == 2 || Mode == 4 || Mode == 9) ? 8 : DepthOf(Kind);
  PrepareLayers(Layers, Mode, Depth, Bitmap);

  uint8_t Dummy = 0;
  TPsdOut Out(Stream, Progress.Abort != nullptr ? *Progress.Abort : Dummy);
  Out.Text("8BPS");
  Out.U16(1);
  Out.Bytes(std::vector<uint8_t>(6, 0));
  Out.U16(uint32_t(WrittenChannels(Bitmap)));
  Out.U32(uint32_t(Bitmap->GetHeight()));
  Out.U32(uint32_t(Bitmap->GetWidth()));
  Out.U16(uint32_t(Depth));
  Out.U16(uint32_t(Mode));

  if (Bitmap->GetPixelFormat() == ie8p) {
    Out.U32(768);
    std::vector<uint8_t> Palette(768, 0);
    for (int i = 0; i < 256 && i < Bitmap->GetPaletteLength(); ++i) {
      const TIERGB24 c = Bitmap->GetPaletteColor(i);
      Palette[size_t(i)] = c.r;
      Palette[size_t(i) + 256] = c.g;
      Palette[size_t(i) + 512] = c.b;
    }
    Out.Bytes(Palette);
  } else {
    Out.U32(0);
  }
  WriteResources(Out, Params, Bitmap);
  WriteLayerSection(Out, Progress, Layers, Depth);
  WriteComposite(Out, Progress, Bitmap, Depth, !Layers.empty());
}

void PsdRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  TImagingView* View = Params.Owner != nullptr ? dynamic_cast<TImagingView*>(Params.Owner->AttachedImaging()) : nullptr;
  if (View == nullptr || View->LayersCount() == 0) {
    PsdWriteLayers(Stream, Params, Progress, Bitmap, {});
    return;
  }
  // With a view, its layers are written and the composite is all of them merged, in layer 0's kind.
  std::vector<TIELayer*> Layers;
  for (int32_t i = 0; i < View->LayersCount(); ++i) Layers.push_back(View->GetLayer(i));
  TIEBitmap Composite;
  Composite.Allocate(1, 1, Layers[0]->Bitmap->GetPixelFormat());
  View->RenderLayersTo(&Composite);
  PsdWriteLayers(Stream, Params, Progress, &Composite, Layers);
}

}  // namespace zv
