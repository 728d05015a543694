#include "imaging/formats/psd_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/icc_profile.h"
#include "imaging/core/ie_streams.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/io/io_globals.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "imaging/view/imaging_view.h"
#include "imaging/view/layers.h"
#include "platform/checked_math.h"
#include "platform/streams.h"
#include "platform/sysutils.h"
#include "platform/byte_order.h"

namespace zv {

namespace {

// The most pixels one byte of channel data can stand for: a PackBits run of 128 bytes coded in 2, at
// 8 pixels a byte in bitmap mode.
constexpr int64_t PsdPixelsPerByte = 64 * 8;


struct TPsdHeader {
  int32_t Channels = 0;
  int32_t Rows = 0;
  int32_t Columns = 0;
  int32_t Depth = 0;
  int32_t Mode = 0;
};

bool ParseHeader(const uint8_t* b, TPsdHeader& H) {
  if (std::memcmp(b, "8BPS", 4) != 0 || Be16(b + 4) != 1) return false;
  H.Channels = Be16(b + 12);
  H.Rows = int32_t(std::min<uint32_t>(Be32(b + 14), INT32_MAX));
  H.Columns = int32_t(std::min<uint32_t>(Be32(b + 18), INT32_MAX));
  H.Depth = Be16(b + 22);
  H.Mode = Be16(b + 24);
  return H.Channels >= 1 && H.Channels <= 24 && H.Depth >= 1 && H.Depth <= 16 && H.Mode <= 9;
}

// The depth and mode pairs whose channels the reader places.
bool ReadableKind(int32_t Depth, int32_t Mode) {
  switch (Depth) {
    case 1: return Mode == 0;
    case 8: return Mode == 1 || Mode == 2 || Mode == 3 || Mode == 4 || Mode == 7 || Mode == 8 || Mode == 9;
    case 16: return Mode == 1 || Mode == 3 || Mode == 4 || Mode == 8 || Mode == 9;
    default: return false;
  }
}

TIEPixelFormat FormatOf(int32_t Depth, int32_t Mode) {
  if (Depth == 1) return ie1g;
  switch (Mode) {
    case 2: return ie8p;
    case 3: return Depth == 16 ? ieRGB48 : ie24RGB;
    case 4: return ieCMYK;
    case 9: return ieCIELab;
    default: return Depth == 16 ? ieGray16 : ie8g;
  }
}

int32_t ColourChannels(int32_t Mode) {
  switch (Mode) {
    case 0:
    case 1:
    case 2:
    case 7:
    case 8: return 1;
    case 4: return 4;
    default: return 3;
  }
}

// Stream access that never reads past the stream and counts what is left.
struct TPsdInput {
  TStream* S;
  int64_t Size;

  int64_t Pos() const { return S->Position(); }
  int64_t Left() const { return std::max<int64_t>(0, Size - S->Position()); }
  bool Read(void* Out, int64_t Count) { return Count <= Left() && S->Read(Out, Count) == Count; }
  bool U8(uint8_t& v) { return Read(&v, 1); }
  bool U16(uint16_t& v) {
    uint8_t b[2];
    if (!Read(b, 2)) return false;
    v = Be16(b);
    return true;
  }
  bool U32(uint32_t& v) {
    uint8_t b[4];
    if (!Read(b, 4)) return false;
    v = Be32(b);
    return true;
  }
  bool I32(int32_t& v) {
    uint32_t u;
    if (!U32(u)) return false;
    v = int32_t(u);
    return true;
  }
  bool Seek(int64_t To) {
    if (To < 0 || To > Size) return false;
    S->SetPosition(To);
    return true;
  }
};

// A channel's rows as stored: the compression and each row's byte count.
struct TPsdRows {
  int32_t Compression = 0;
  std::vector<uint16_t> Counts;
};

// PackBits into Row (RowLength bytes), never past either buffer; bytes the data do not give stay 0.
void UnpackBits(const uint8_t* In, size_t Count, uint8_t* Row, size_t RowLength) {
  size_t i = 0, o = 0;
  std::memset(Row, 0, RowLength);
  while (i < Count && o < RowLength) {
    const int8_t n = int8_t(In[i++]);
    if (n >= 0) {
      const size_t Take = std::min({size_t(n) + 1, Count - i, RowLength - o});
      std::memcpy(Row + o, In + i, Take);
      i += size_t(n) + 1;
      o += Take;
    } else if (n != -128) {
      if (i >= Count) break;
      const size_t Take = std::min(size_t(1 - n), RowLength - o);
      std::memset(Row + o, In[i++], Take);
      o += Take;
    }
  }
}

// One row into Row (RowLength bytes); false when the stream ends first.
bool ReadRow(TPsdInput& In, const TPsdRows& Rows, int32_t Index, uint8_t* Row, int32_t RowLength,
             std::vector<uint8_t>& Packed) {
  if (Rows.Compression == 0) return In.Read(Row, RowLength);
  const uint16_t Count = Rows.Counts[size_t(Index)];
  Packed.resize(Count);
  if (!In.Read(Packed.data(), Count)) return false;
  UnpackBits(Packed.data(), Count, Row, size_t(RowLength));
  return true;
}

struct TPsdContext {
  TPsdInput In;
  TIOParamsVals& Params;
  TIEProgressRecord& Progress;
  TPsdHeader H;
  std::vector<uint8_t> Palette;  // 768 bytes or none
  int32_t TransparentIndex = -1;
  bool ThumbnailLoaded = false;
  bool IccRead = false;
};

// Allocates Bitmap for a channel of the document's kind unless it already has that size and format.
bool Prepare(TIEBitmap* Bitmap, int32_t W, int32_t H, TIEPixelFormat Format, const std::vector<uint8_t>& Palette) {
  if (Bitmap->GetWidth() == W && Bitmap->GetHeight() == H && Bitmap->GetPixelFormat() == Format) return true;
  if (!Bitmap->Allocate(W, H, Format)) return false;
  if (Format == ie8p && Palette.size() == 768)
    for (int i = 0; i < 256; ++i)
      Bitmap->SetPaletteColor(i, TIERGB24{Palette[size_t(i) + 512], Palette[size_t(i) + 256], Palette[size_t(i)]});
  return true;
}

// Reads channel K (-1 transparency) of W x H pixels into Bitmap at the document's depth and mode.
// ForceGrey8 reads a user mask: 8-bit grey whatever the document, from the high bytes of two-byte rows.
bool ReadChannel(TPsdContext& C, TIEBitmap* Bitmap, int32_t K, int32_t W, int32_t H, const TPsdRows& Rows,
                 bool ForceGrey8, int32_t StoredRowLength = 0) {
  const int32_t Depth = ForceGrey8 ? 8 : C.H.Depth;
  const int32_t Mode = ForceGrey8 ? 1 : C.H.Mode;
  const TIEPixelFormat Format = FormatOf(Depth, Mode);
  if (!Prepare(Bitmap, W, H, Format, C.Palette)) return false;
  const int32_t Colours = ColourChannels(Mode);
  const bool IsAlpha = K == -1 || K == Colours;
  if (!IsAlpha && (K < 0 || K >= Colours)) {
    // A channel the image has no place for: read over.
    K = -3;
  }
  if (IsAlpha && (Format == ie8p || Format == ie1g)) K = -3;
  const int32_t RowLength = StoredRowLength > 0 ? StoredRowLength : int32_t((int64_t(W) * Depth + 7) / 8);
  const int32_t Step = StoredRowLength > 0 ? StoredRowLength / std::max(1, W) : Depth / 8;
  std::vector<uint8_t> Row(size_t(std::max(RowLength, 1))), Packed;
  TIEBitmap* Alpha = IsAlpha && K != -3 ? Bitmap->GetAlphaChannel() : nullptr;
  for (int32_t y = 0; y < H; ++y) {
    if (!ReadRow(C.In, Rows, y, Row.data(), RowLength, Packed)) return false;
    if (K == -3) continue;
    if (Alpha != nullptr) {
      uint8_t* A = Alpha->GetScanline(y);
      for (int32_t x = 0; x < W; ++x) A[x] = Row[size_t(x) * Step];
      continue;
    }
    uint8_t* Out = Bitmap->GetScanline(y);
    switch (Format) {
      case ie1g:
        for (int32_t i = 0; i < (W + 7) / 8; ++i) Out[i] = uint8_t(~Row[size_t(i)]);
        break;
      case ie8g:
        for (int32_t x = 0; x < W; ++x) Out[x] = Row[size_t(x) * Step];
        break;
      case ie8p: {
        std::memcpy(Out, Row.data(), size_t(W));
        if (C.TransparentIndex >= 0) {
          uint8_t* A = Bitmap->GetAlphaChannel()->GetScanline(y);
          for (int32_t x = 0; x < W; ++x) A[x] = Row[size_t(x)] == C.TransparentIndex ? 0 : 255;
        }
        break;
      }
      case ie24RGB:
        for (int32_t x = 0; x < W; ++x) Out[size_t(x) * 3 + size_t(2 - K)] = Row[size_t(x)];
        break;
      case ieGray16:
        for (int32_t x = 0; x < W; ++x) {
          const uint16_t v = Be16(&Row[size_t(x) * 2]);
          std::memcpy(Out + size_t(x) * 2, &v, 2);
        }
        break;
      case ieRGB48:
        for (int32_t x = 0; x < W; ++x) {
          const uint16_t v = Be16(&Row[size_t(x) * 2]);
          std::memcpy(Out + size_t(x) * 6 + size_t(K) * 2, &v, 2);
        }
        break;
      case ieCMYK:
        for (int32_t x = 0; x < W; ++x) Out[size_t(x) * 4 + size_t(K)] = Row[size_t(x) * Step];
        break;
      case ieCIELab:
        for (int32_t x = 0; x < W; ++x) Out[size_t(x) * 3 + size_t(K)] = uint8_t(Row[size_t(x) * Step] - (K > 0 ? 128 : 0));
        break;
      default:
        break;
    }
  }
  return true;
}

// The row counts of one layer channel of Rows rows, after its compression field.
bool ReadRowTable(TPsdContext& C, TPsdRows& R, int32_t RowCount) {
  if (R.Compression != 1) return true;
  if (int64_t(RowCount) * 2 > C.In.Left()) return false;
  std::vector<uint8_t> b(size_t(RowCount) * 2);
  if (!C.In.Read(b.data(), int64_t(b.size()))) return false;
  R.Counts.resize(size_t(RowCount));
  for (int32_t i = 0; i < RowCount; ++i) R.Counts[size_t(i)] = Be16(&b[size_t(i) * 2]);
  return true;
}

void ApplyResource(TPsdContext& C, TIEBitmap* Bitmap, bool& LoadLayers, uint16_t Id, const std::vector<uint8_t>& D) {
  TIOParamsVals& P = C.Params;
  switch (Id) {
    case 1005:
      if (D.size() >= 12) {
        P.SetDpiX(int32_t(Round(Be32(&D[0]) / 65536.0L)));
        P.SetDpiY(int32_t(Round(Be32(&D[8]) / 65536.0L)));
      }
      break;
    case 1028:
      P.IptcInfo.LoadFromBuffer(D.data(), int32_t(D.size()));
      break;
    case 1036: {
      if (D.size() <= 28) break;
      TIEMemStream Jpeg(D.data() + 28, int64_t(D.size() - 28));
      TIOParamsVals ThumbParams(nullptr);
      uint8_t ThumbAbort = 0;
      TIEProgressRecord ThumbProgress;
      ThumbProgress.Abort = &ThumbAbort;
      TIEBitmap* Thumb = P.GetExifThumbnail();
      JpegReadImage(&Jpeg, nullptr, Thumb, false, -1, false, false, false, false, false, false, ThumbProgress,
                    ThumbParams);
      if (P.LoadThumbnail() != 0 && Bitmap != nullptr && ThumbAbort == 0) {
        Bitmap->Assign(Thumb);
        LoadLayers = false;
        C.ThumbnailLoaded = true;
      }
      break;
    }
    case 1039:
      P.GetInputIcc()->LoadFromBuffer(D.data(), int32_t(D.size()));
      C.IccRead = true;
      break;
    case 1047:
      if (D.size() >= 2) C.TransparentIndex = Be16(&D[0]);
      break;
    case 1060:
      P.Xmp.assign(D.begin(), D.end());
      break;
    default:
      break;
  }
}

// The image resources; a block that does not fit its section ends them.
bool ReadResources(TPsdContext& C, TIEBitmap* Bitmap, bool& LoadLayers) {
  uint32_t Length;
  if (!C.In.U32(Length)) return false;
  const int64_t End = C.In.Pos() + Length;
  if (End > C.In.Size) return false;
  while (C.In.Pos() < End) {
    if (C.In.Pos() % 2 != 0) {
      C.In.Seek(C.In.Pos() + 1);
      if (C.In.Pos() >= End) break;
    }
    uint8_t Sig[4];
    uint16_t Id;
    uint8_t NameLength;
    if (End - C.In.Pos() < 4 || !C.In.Read(Sig, 4) || std::memcmp(Sig, "8BIM", 4) != 0) break;
    if (!C.In.U16(Id) || !C.In.U8(NameLength)) break;
    // The name: a length byte and the text, padded to an even count.
    const int64_t NameEnd = C.In.Pos() + NameLength + ((NameLength + 1) % 2);
    uint32_t Size;
    if (NameEnd > End || !C.In.Seek(NameEnd) || !C.In.U32(Size)) break;
    if (Size == 0 || int64_t(Size) > End - C.In.Pos()) break;
    std::vector<uint8_t> Data(Size);
    if (!C.In.Read(Data.data(), Size)) break;
    ApplyResource(C, Bitmap, LoadLayers, Id, Data);
  }
  return C.In.Seek(End);
}

struct TPsdChannelInfo {
  int16_t Id = 0;
  uint32_t Length = 0;
};

struct TPsdLayerRecord {
  int32_t Top = 0, Left = 0, Bottom = 0, Right = 0;
  std::vector<TPsdChannelInfo> Channels;
  uint8_t Opacity = 255, Clipping = 0, Flags = 0;
  bool HasMask = false;
  int32_t MaskTop = 0, MaskLeft = 0, MaskBottom = 0, MaskRight = 0;
  std::string Name;
  TIELayer* Layer = nullptr;
  TIELayer* Mask = nullptr;
};

bool RectSize(int32_t Top, int32_t Left, int32_t Bottom, int32_t Right, int32_t& W, int32_t& H) {
  const int64_t w = int64_t(Right) - Left, h = int64_t(Bottom) - Top;
  if (w < 0 || h < 0 || w > INT32_MAX || h > INT32_MAX) return false;
  W = int32_t(w);
  H = int32_t(h);
  return true;
}

bool ReadLayerRecord(TPsdContext& C, TPsdLayerRecord& R, int64_t InfoEnd) {
  TPsdInput& In = C.In;
  uint16_t ChannelCount;
  if (!In.I32(R.Top) || !In.I32(R.Left) || !In.I32(R.Bottom) || !In.I32(R.Right) || !In.U16(ChannelCount))
    return false;
  int32_t W, H;
  if (!RectSize(R.Top, R.Left, R.Bottom, R.Right, W, H)) return false;
  // Every channel's entry must be there before any is kept.
  if (int64_t(ChannelCount) * 6 > InfoEnd - In.Pos()) return false;
  R.Channels.resize(ChannelCount);
  for (TPsdChannelInfo& Ch : R.Channels) {
    uint16_t Id;
    if (!In.U16(Id) || !In.U32(Ch.Length)) return false;
    Ch.Id = int16_t(Id);
  }
  uint8_t Blend[8], Filler;
  uint32_t ExtraLength;
  if (!In.Read(Blend, 8) || !In.U8(R.Opacity) || !In.U8(R.Clipping) || !In.U8(R.Flags) || !In.U8(Filler) ||
      !In.U32(ExtraLength))
    return false;
  const int64_t ExtraEnd = In.Pos() + ExtraLength;
  if (ExtraEnd > InfoEnd) return false;
  uint32_t MaskLength, RangesLength;
  if (!In.U32(MaskLength) || In.Pos() + MaskLength > ExtraEnd) return false;
  const int64_t MaskEnd = In.Pos() + MaskLength;
  // The user mask's rectangle leads its data; further mask data (a vector mask's) is skipped.
  if (MaskLength >= 20) {
    if (!In.I32(R.MaskTop) || !In.I32(R.MaskLeft) || !In.I32(R.MaskBottom) || !In.I32(R.MaskRight)) return false;
    int32_t MW, MH;
    if (!RectSize(R.MaskTop, R.MaskLeft, R.MaskBottom, R.MaskRight, MW, MH)) return false;
    R.HasMask = true;
  }
  if (!In.Seek(MaskEnd) || !In.U32(RangesLength) || In.Pos() + RangesLength > ExtraEnd ||
      !In.Seek(In.Pos() + RangesLength))
    return false;
  uint8_t NameLength;
  if (In.Pos() < ExtraEnd) {
    if (!In.U8(NameLength) || In.Pos() + NameLength > ExtraEnd) return false;
    R.Name.resize(NameLength);
    if (!In.Read(R.Name.data(), NameLength)) return false;
  }
  return In.Seek(ExtraEnd);
}

// Reads one layer channel's compression, row table and rows into Bitmap; a compression the reader does
// not decode is passed over by the channel's stored length.
bool ReadLayerChannel(TPsdContext& C, TIEBitmap* Bitmap, int32_t K, int32_t W, int32_t H,
                      const TPsdChannelInfo& Info, bool IsMask) {
  const int64_t Start = C.In.Pos();
  const int64_t End = Start + Info.Length;
  if (End > C.In.Size || Info.Length < 2) return false;
  uint16_t Compression;
  if (!C.In.U16(Compression)) return false;
  if (Compression > 1 || W == 0 || H == 0) return C.In.Seek(End);
  int64_t Pixels;
  if (!CheckedSize({W, H}, Pixels) || Pixels > PsdPixelsPerByte * int64_t(Info.Length)) return false;
  TPsdRows Rows;
  Rows.Compression = Compression;
  if (!ReadRowTable(C, Rows, H)) return false;
  int32_t StoredRowLength = 0;
  if (IsMask && C.H.Depth == 16) {
    // Masks of 16-bit documents come with one byte a pixel (as our writer stores them) or two.
    int64_t Bytes = 0;
    if (Compression == 0) {
      Bytes = (Info.Length - 2) / std::max(1, H);
    } else {
      std::vector<uint8_t> Probe(Rows.Counts.empty() ? 0 : Rows.Counts[0]);
      const int64_t At = C.In.Pos();
      if (!Probe.empty() && C.In.Read(Probe.data(), int64_t(Probe.size()))) {
        // The length a row expands to, counted without writing it.
        size_t i = 0;
        while (i < Probe.size()) {
          const int8_t n = int8_t(Probe[i++]);
          if (n >= 0) {
            Bytes += n + 1;
            i += size_t(n) + 1;
          } else if (n != -128) {
            Bytes += 1 - n;
            ++i;
          }
        }
      }
      C.In.Seek(At);
    }
    StoredRowLength = Bytes >= int64_t(W) * 2 ? W * 2 : W;
  }
  if (!ReadChannel(C, Bitmap, K, W, H, Rows, IsMask, StoredRowLength)) return false;
  return C.In.Seek(End);
}

void Report(TIEProgressRecord& Progress, int64_t Done, int64_t Of) {
  if (Of > 0) Progress.Report(int(Round(Done * 100.0L / Of)));
}

// The layer and mask section. False for data that cannot be what it claims (abort).
bool ReadLayerSection(TPsdContext& C, bool LoadLayers, TPsdLayerList* Layers) {
  TPsdInput& In = C.In;
  uint32_t Length;
  if (!In.U32(Length)) return false;
  if (Length == 0) return true;
  const int64_t SectionEnd = In.Pos() + Length;
  if (SectionEnd > In.Size) return false;
  uint32_t InfoLength;
  if (!In.U32(InfoLength)) return false;
  const int64_t InfoEnd = In.Pos() + InfoLength;
  if (InfoEnd > SectionEnd) return false;
  uint16_t RawCount = 0;
  if (InfoLength >= 2 && !In.U16(RawCount)) return false;
  const int32_t Count = std::abs(int32_t(int16_t(RawCount)));
  if ((Count > 1 && !LoadLayers) || Layers == nullptr || Count == 0) return In.Seek(SectionEnd);
  // A record takes at least 34 bytes (40 with one channel).
  if (int64_t(Count) * 34 > InfoEnd - In.Pos()) return false;

  std::vector<TPsdLayerRecord> Records(static_cast<size_t>(Count));
  for (TPsdLayerRecord& R : Records)
    if (!ReadLayerRecord(C, R, InfoEnd)) return false;
  int64_t DataBytes = 0;
  for (const TPsdLayerRecord& R : Records)
    for (const TPsdChannelInfo& Ch : R.Channels)
      if (!CheckedAdd(DataBytes, int64_t(Ch.Length), DataBytes)) return false;
  if (DataBytes > InfoEnd - In.Pos()) return false;

  const size_t First = Layers->size();
  for (TPsdLayerRecord& R : Records) {
    auto Layer = std::make_unique<TIELayer>(nullptr, false, nullptr);
    Layer->PosX = R.Left;
    Layer->PosY = R.Top;
    Layer->Transparency = R.Opacity;
    Layer->Name = R.Name;
    Layer->Visible = (R.Flags & 2) == 0;
    Layer->ClipToFirstLayer = R.Clipping == 0;
    R.Layer = Layer.get();
    Layers->push_back(std::move(Layer));
    bool HasMaskChannel = false;
    for (const TPsdChannelInfo& Ch : R.Channels) HasMaskChannel = HasMaskChannel || Ch.Id == -2;
    if (HasMaskChannel && R.HasMask) {
      auto Mask = std::make_unique<TIELayer>(nullptr, false, nullptr);
      Mask->PosX = R.MaskLeft;
      Mask->PosY = R.MaskTop;
      Mask->IsMask = true;
      Mask->Visible = false;
      R.Mask = Mask.get();
      Layers->push_back(std::move(Mask));
    }
  }
  for (size_t i = 0; i < Records.size(); ++i) {
    TPsdLayerRecord& R = Records[i];
    for (const TPsdChannelInfo& Ch : R.Channels) {
      int32_t W = 0, H = 0;
      bool Ok;
      if (Ch.Id < -2) {
        // A real user mask or another kind the reader does not place: passed over.
        Ok = In.Seek(In.Pos() + Ch.Length);
      } else if (Ch.Id == -2) {
        if (R.Mask == nullptr) {
          Ok = In.Seek(In.Pos() + Ch.Length);
        } else {
          RectSize(R.MaskTop, R.MaskLeft, R.MaskBottom, R.MaskRight, W, H);
          Ok = ReadLayerChannel(C, R.Mask->Bitmap, 0, W, H, Ch, true);
        }
      } else {
        RectSize(R.Top, R.Left, R.Bottom, R.Right, W, H);
        Ok = ReadLayerChannel(C, R.Layer->Bitmap, Ch.Id, W, H, Ch, false);
      }
      if (!Ok) return false;
    }
    Report(C.Progress, int64_t(i) + 1, Count);
  }
  // Global layer mask info is not used.
  if (!In.Seek(SectionEnd)) return false;

  // Layers without pixels go, and so does the mask layer that belongs to one.
  for (size_t i = First; i < Layers->size();) {
    TIEBitmap* B = (*Layers)[i]->Bitmap;
    if (B->GetWidth() != 0 && B->GetHeight() != 0) {
      ++i;
      continue;
    }
    const bool OwnMask = !(*Layers)[i]->IsMask && i + 1 < Layers->size() && (*Layers)[i + 1]->IsMask;
    Layers->erase(Layers->begin() + std::ptrdiff_t(i), Layers->begin() + std::ptrdiff_t(i + (OwnMask ? 2 : 1)));
  }
  return true;
}

bool ReadComposite(TPsdContext& C, TIEBitmap* Bitmap) {
  TPsdInput& In = C.In;
  const int32_t W = C.H.Columns, H = C.H.Rows, Channels = C.H.Channels;
  uint16_t Compression;
  if (!In.U16(Compression) || Compression > 1) return false;
  int64_t Pixels, Rows;
  if (!CheckedSize({W, H}, Pixels) || !CheckedSize({int64_t(H), Channels}, Rows)) return false;
  if (Pixels > PsdPixelsPerByte * std::max<int64_t>(In.Left(), 1)) return false;
  TPsdRows Table;
  Table.Compression = Compression;
  if (!ReadRowTable(C, Table, int32_t(Rows))) return false;
  for (int32_t k = 0; k < Channels; ++k) {
    TPsdRows Own;
    Own.Compression = Compression;
    if (Compression == 1)
      Own.Counts.assign(Table.Counts.begin() + std::ptrdiff_t(int64_t(k) * H),
                        Table.Counts.begin() + std::ptrdiff_t(int64_t(k + 1) * H));
    if (!ReadChannel(C, Bitmap, k, W, H, Own, false)) return false;
    if (C.Progress.OnProgress) Report(C.Progress, k + 1, Channels);
  }
  return true;
}

// To ie24RGB; with Input (the embedded profile) through it and Default where they convert, also an
// image already in ie24RGB.
void ToRgb24(TIEBitmap* Bitmap, TIEICC* Input, TIEICC* Default) {
  const TIEPixelFormat Format = Bitmap->GetPixelFormat();
  if (Format == ie1g || Bitmap->IsEmpty()) return;
  if (Input != nullptr &&
      (Format == ie8g || Format == ie24RGB || Format == ieCMYK || Format == ieCIELab || Format == ieRGB48) &&
      Input->ConvertBitmap(Bitmap, ie24RGB, Default))
    return;
  if (Format != ie24RGB) Bitmap->ConvertToFormat(ie24RGB);
}

}  // namespace

bool IsPsdStream(TStream* Stream) {
  const int64_t Start = Stream->Position();
  uint8_t b[PsdHeaderSize];
  const bool Read = Stream->Read(b, PsdHeaderSize) == PsdHeaderSize;
  Stream->SetPosition(Start);
  TPsdHeader H;
  return Read && ParseHeader(b, H);
}

void PsdReadLayers(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                   bool LoadLayers, TPsdLayerList* Layers) {
  if (Progress.OnProgress) Progress.Report(0);
  TPsdContext C{{Stream, Stream->Size()}, Params, Progress, {}, {}, -1, false, false};
  uint8_t b[PsdHeaderSize];
  // Kinds whose channels have no place, and documents without pixels, are refused as bad headers are.
  if (!C.In.Read(b, PsdHeaderSize) || !ParseHeader(b, C.H) || !ReadableKind(C.H.Depth, C.H.Mode) ||
      C.H.Rows == 0 || C.H.Columns == 0) {
    Progress.SetAborted();
    return;
  }
  // A bitmap over a class-library picture it does not own is decoded beside and assigned at the end.
  std::unique_ptr<TIEBitmap> Beside;
  TIEBitmap* Target = Bitmap;
  if (Bitmap != nullptr && Bitmap->ExternalTBitmap()) {
    Beside = std::make_unique<TIEBitmap>();
    Target = Beside.get();
  }

  Params.SetImageCount(1);
  Params.Width = Params.OriginalWidth = C.H.Columns;
  Params.Height = Params.OriginalHeight = C.H.Rows;
  Params.BitsPerSample = C.H.Depth;
  Params.SamplesPerPixel = C.H.Channels;
  Params.SetDpiX(96);
  Params.SetDpiY(96);

  uint32_t ModeLength;
  bool Ok = C.In.U32(ModeLength) && int64_t(ModeLength) <= C.In.Left();
  if (Ok && ModeLength == 768) {
    C.Palette.resize(768);
    Ok = C.In.Read(C.Palette.data(), 768);
  } else if (Ok) {
    Ok = C.In.Seek(C.In.Pos() + ModeLength);
  }
  // An indexed document needs its palette.
  if (Ok && C.H.Mode == 2 && C.Palette.empty()) Ok = false;
  Ok = Ok && ReadResources(C, Target, LoadLayers);
  const size_t Before = Layers != nullptr ? Layers->size() : 0;
  Ok = Ok && ReadLayerSection(C, LoadLayers, Layers);
  const bool GotLayers = Layers != nullptr && Layers->size() > Before;
  if (Ok && Target != nullptr && !(LoadLayers && GotLayers) && !C.ThumbnailLoaded) {
    Ok = ReadComposite(C, Target);
  }
  if (!Ok) Progress.SetAborted();

  if (Params.NativePixelFormat == 0) {
    TIEICC* Input = nullptr;
    TIEICC* Default = nullptr;
    if (C.IccRead && ApplyEmbeddedProfiles && Params.InputIcc() != nullptr && !Params.InputIcc()->Applied &&
        Params.InputIcc()->IsValid()) {
      Default = Params.GetDefaultIcc();
      if (Default != nullptr && Default->IsValid()) Input = Params.InputIcc();
    }
    if (Layers != nullptr)
      for (size_t i = Before; i < Layers->size(); ++i)
        if (!(*Layers)[i]->IsMask) ToRgb24((*Layers)[i]->Bitmap, Input, Default);
    if (Target != nullptr && !C.ThumbnailLoaded) ToRgb24(Target, Input, Default);
    if (Input != nullptr) Input->Applied = true;
  }
  if (Beside) Bitmap->Assign(Beside.get());
}

namespace {

// The image view the parameters' component works on, when it is one.
TImagingView* AttachedView(TIOParamsVals& Params) {
  if (Params.Owner == nullptr) return nullptr;
  return dynamic_cast<TImagingView*>(Params.Owner->AttachedImaging());
}

// The document's layers become the view's: replacing its layers from layer 0, or after them. A first
// layer away from the origin goes above a locked, transparent layer of the document's size.
void LayersIntoView(TImagingView* View, TIOParamsVals& Params, TPsdLayerList& Layers) {
  int32_t Target = 0;
  if (Params.PsdReplaceLayers != 0)
    View->ResetLayers();
  else
    Target = View->AddLayer();
  if (Layers[0]->PosX != 0 || Layers[0]->PosY != 0) {
    TIELayer* Base = View->GetLayer(Target);
    Base->Reset();
    Base->Locked = true;
    Base->Bitmap->Allocate(Params.Width, Params.Height, ie24RGB);
    Base->Bitmap->GetAlphaChannel()->Fill(0);
    Target = View->AddLayer();
  }
  View->GetLayer(Target)->AssignProps(Layers[0].get());
  for (size_t i = 1; i < Layers.size(); ++i) View->GetLayer(View->AddLayer())->AssignProps(Layers[i].get());
}

// A single layer's transparency, at its place, as the image's alpha channel (0 where it does not reach).
void LayerAlphaIntoBitmap(TIELayer* Layer, TIEBitmap* Bitmap) {
  if (!Layer->Bitmap->HasAlphaChannel() || Bitmap->IsEmpty()) return;
  TIEBitmap* From = Layer->Bitmap->GetAlphaChannel();
  TIEBitmap* To = Bitmap->GetAlphaChannel();
  To->Fill(0);
  for (int32_t y = 0; y < From->GetHeight(); ++y) {
    const int64_t Ty = int64_t(y) + Layer->PosY;
    if (Ty < 0 || Ty >= To->GetHeight()) continue;
    const uint8_t* Src = From->GetScanline(y);
    uint8_t* Dst = To->GetScanline(int32_t(Ty));
    for (int32_t x = 0; x < From->GetWidth(); ++x) {
      const int64_t Tx = int64_t(x) + Layer->PosX;
      if (Tx >= 0 && Tx < To->GetWidth()) Dst[Tx] = Src[x];
    }
  }
}

}  // namespace

void PsdRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly) {
  if (ParamsOnly) {
    PsdReadLayers(Stream, nullptr, Params, Progress, false, nullptr);
    return;
  }
  // Layers are asked for only when a view can take them; otherwise the composite is the image.
  TImagingView* View = AttachedView(Params);
  const bool LoadLayers = Params.PsdLoadLayers != 0 && View != nullptr;
  TPsdLayerList Layers;
  PsdReadLayers(Stream, Bitmap, Params, Progress, LoadLayers, &Layers);
  if (Progress.Aborted() || Layers.empty()) return;
  if (LoadLayers)
    LayersIntoView(View, Params, Layers);
  else if (Layers.size() == 1 && Params.LoadThumbnail() == 0)
    LayerAlphaIntoBitmap(Layers[0].get(), Bitmap);
}

}  // namespace zv
