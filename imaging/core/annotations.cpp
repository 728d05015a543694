#include "imaging/core/annotations.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

#include "imaging/core/proc_hooks.h"
#include "platform/checked_math.h"
#include "platform/gdi.h"
#include "platform/sysutils.h"
#include "platform/win32.h"

namespace zv {

namespace {

constexpr int32_t AnnotAllMarksBlock = 2;
constexpr int32_t AnnotAttributesBlock = 5;
constexpr int32_t AnnotMarkBlock = 6;
constexpr int32_t AnnotNamedBlockHeader = 12;
constexpr int32_t AnnotAnoDatImageSize = 56;
constexpr int32_t AnnotTextStart = 16;
constexpr int32_t AnnotDefaultScale = 7500;
constexpr int32_t AnnotImageDpi = 200;

int32_t ReadAnnotInt(const uint8_t* P) {
  return int32_t(uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24);
}

void PutAnnotInt(uint8_t* P, int32_t V) {
  const uint32_t U = uint32_t(V);
  P[0] = uint8_t(U), P[1] = uint8_t(U >> 8), P[2] = uint8_t(U >> 16), P[3] = uint8_t(U >> 24);
}

bool IsLineMark(int32_t Type) { return Type >= AnnotFirstLineMark && Type <= AnnotLastLineMark; }
bool IsTextMark(int32_t Type) { return Type >= AnnotFirstTextMark && Type <= AnnotLastTextMark; }
bool IsImageDataMark(int32_t Type) {
  return Type == AnnotImageMark || Type == AnnotImageReferenceMark || Type == AnnotFormMark;
}

// The named blocks read for one mark (or for all marks), by name; a later block replaces an earlier one.
using TAnnotNamedSet = std::map<std::string, std::vector<uint8_t>>;

// Reads the named block at p into Set and moves p past it. False when the block does not hold together:
// its header or data past the end, a negative size, points that do not fit, a text without its zero.
bool ReadAnnotNamedBlock(TAnnotNamedSet& Set, const uint8_t* Data, int64_t Length, int32_t MarkType,
                         bool IntelFlag, int64_t& p) {
  const int64_t HeaderSize = AnnotNamedBlockHeader + (IntelFlag ? 0 : 4);
  if (p + HeaderSize > Length) return false;
  const std::string Name(reinterpret_cast<const char*>(Data + p), ::strnlen(reinterpret_cast<const char*>(Data + p), 8));
  const int32_t n = ReadAnnotInt(Data + p + 8);
  p += HeaderSize;
  if (n < 0 || n > Length - p) return false;
  const uint8_t* B = Data + p;
  if (Name == "OiAnoDat") {
    if (IsImageDataMark(MarkType)) {
      Set[Name].assign(B, B + std::min(n, AnnotAnoDatImageSize));
    } else if (IsLineMark(MarkType)) {
      if (n < 8) return false;
      const int64_t Count = ReadAnnotInt(B + 4);
      if (Count < 0 || 8 + 8 * Count > n) return false;
      Set[Name].assign(B, B + 8 + 8 * Count);
    }
  } else if (Name == "OiFilNam" || Name == "OiGroup" || Name == "OiIndex") {
    const void* Zero = std::memchr(B, 0, size_t(n));
    if (Zero == nullptr) return false;
    Set[Name].assign(B, static_cast<const uint8_t*>(Zero) + 1);
  } else if (Name == "OiAnText") {
    if (n < AnnotTextStart + 1 || std::memchr(B + AnnotTextStart, 0, size_t(n - AnnotTextStart)) == nullptr) return false;
    Set[Name].assign(B, B + n);
  } else if (Name == "OiDIB") {
    Set[Name].assign(B, B + n);
  }
  p += n;
  return true;
}

// A packed DIB whose header, colour table and rows all lie within its Size bytes.
bool AnnotDibHoldsTogether(const uint8_t* Dib, int64_t Size) {
  if (Size < 40) return false;
  const int64_t HeaderSize = uint32_t(ReadAnnotInt(Dib));
  const int32_t Width = ReadAnnotInt(Dib + 4);
  const int32_t Height = ReadAnnotInt(Dib + 8);
  const int32_t BitCount = uint16_t(Dib[14] | Dib[15] << 8);
  const uint32_t Compression = uint32_t(ReadAnnotInt(Dib + 16));
  const uint32_t ColorsUsed = uint32_t(ReadAnnotInt(Dib + 32));
  if (HeaderSize < 40 || HeaderSize > Size || Width <= 0 || Height == 0 || Height == INT32_MIN) return false;
  if (BitCount != 1 && BitCount != 4 && BitCount != 8 && BitCount != 16 && BitCount != 24 && BitCount != 32)
    return false;
  if (Compression != 0 && !(Compression == 3 && (BitCount == 16 || BitCount == 32))) return false;
  int64_t Table = 0;
  if (BitCount <= 8) Table = 4 * int64_t(ColorsUsed != 0 ? ColorsUsed : 1u << BitCount);
  else if (Compression == 3) Table = 12;
  int64_t RowBits, Pixels;
  if (!CheckedSize({Width, BitCount}, RowBits)) return false;
  const int64_t RowLen = ((RowBits + 31) / 32) * 4;
  if (!CheckedSize({RowLen, std::abs(int64_t(Height))}, Pixels)) return false;
  return Table <= Size && Pixels <= Size - HeaderSize - Table;
}

// Font height as the reading formula gives it from the text block's creation scale; files written
// with this formula's results rely on it.
int32_t AnnotScaledFontHeight(int32_t Height, int32_t Scale) {
  if (Scale == 0) Scale = AnnotDefaultScale;
  const long double First = std::trunc(1000.0L / Scale * Height);
  const long double Value = -std::trunc(-First * 7500 / 1000);
  if (Value >= static_cast<long double>(INT32_MAX)) return INT32_MAX;
  if (Value <= static_cast<long double>(INT32_MIN)) return INT32_MIN;
  return int32_t(Value);
}

void AddAnnotMark(std::vector<std::unique_ptr<TIEImagingObject>>& Marks, const uint8_t* Attributes,
                  const TAnnotNamedSet& Set) {
  auto Mark = std::make_unique<TIEImagingObject>();
  std::memcpy(Mark->Attributes, Attributes, AnnotAttributesSize);
  const int32_t Type = Mark->MarkType();
  if (Type < 1) return;
  const auto Named = [&](const char* Name) -> const std::vector<uint8_t>* {
    const auto It = Set.find(Name);
    return It == Set.end() ? nullptr : &It->second;
  };
  if (Type == AnnotImageMark) {
    const std::vector<uint8_t>* Dib = Named("OiDIB");
    if (Dib != nullptr && AnnotDibHoldsTogether(Dib->data(), int64_t(Dib->size())) &&
        ProcessingHooks.CopyDIBToIEBitmap) {
      Mark->Image = std::make_unique<TIEBitmap>();
      ProcessingHooks.CopyDIBToIEBitmap(const_cast<uint8_t*>(Dib->data()), Mark->Image.get(), nullptr, true);
    }
  } else if (IsLineMark(Type)) {
    if (const std::vector<uint8_t>* Points = Named("OiAnoDat")) {
      const int32_t Count = ReadAnnotInt(Points->data() + 4);
      Mark->Points.resize(size_t(Count));
      for (int32_t i = 0; i < Count; ++i) {
        const uint8_t* P = Points->data() + 8 + 8 * int64_t(i);
        Mark->Points[size_t(i)] = TIEAnnotPoint{ReadAnnotInt(P), ReadAnnotInt(P + 4)};
      }
    }
  } else if (IsTextMark(Type)) {
    if (const std::vector<uint8_t>* Text = Named("OiAnText")) {
      Mark->Text = std::string(reinterpret_cast<const char*>(Text->data() + AnnotTextStart));
      Mark->SetFontHeight(AnnotScaledFontHeight(Mark->FontHeight(), ReadAnnotInt(Text->data() + 8)));
    }
  }
  Marks.push_back(std::move(Mark));
}

// The annotation data being written: blocks and named blocks in little-endian int32s.
struct TAnnotWriter {
  std::vector<uint8_t> Out;
  void Int(int32_t V) {
    Out.resize(Out.size() + 4);
    PutAnnotInt(Out.data() + Out.size() - 4, V);
  }
  void Raw(const void* P, size_t N) {
    const auto* B = static_cast<const uint8_t*>(P);
    Out.insert(Out.end(), B, B + N);
  }
  void Block(int32_t Type, int32_t Size) {
    Int(Type);
    Int(Size);
  }
  // Block type 2 or 6, then the 8-byte name, the data's size and the data.
  void Named(int32_t Type, const char* Name, const void* P, size_t N) {
    Block(Type, AnnotNamedBlockHeader);
    char Padded[8] = {};
    std::memcpy(Padded, Name, std::min<size_t>(std::strlen(Name), 8));
    Raw(Padded, 8);
    Int(int32_t(N));
    Raw(P, N);
  }
  void NamedText(int32_t Type, const char* Name, const std::string& Text) {
    Named(Type, Name, Text.c_str(), Text.size() + 1);
  }
};

}  // namespace

int32_t TIEImagingObject::MarkType() const { return ReadAnnotInt(Attributes); }
void TIEImagingObject::SetMarkType(int32_t Value) { PutAnnotInt(Attributes, Value); }
int32_t TIEImagingObject::FontHeight() const { return ReadAnnotInt(Attributes + 48); }
void TIEImagingObject::SetFontHeight(int32_t Value) { PutAnnotInt(Attributes + 48, Value); }

void TIEImagingAnnot::Assign(const TIEImagingAnnot* Source) {
  if (Source == nullptr || Source == this) return;
  Clear();
  for (const auto& From : Source->Marks) {
    auto Mark = std::make_unique<TIEImagingObject>();
    std::memcpy(Mark->Attributes, From->Attributes, AnnotAttributesSize);
    Mark->Points = From->Points;
    Mark->Text = From->Text;
    if (From->Image) {
      Mark->Image = std::make_unique<TIEBitmap>();
      Mark->Image->Assign(From->Image.get());
    }
    Marks.push_back(std::move(Mark));
  }
}

void TIEImagingAnnot::LoadFromBuffer(const void* Data, int32_t Length) {
  if (Data == nullptr || Length < 8) return;
  const auto* D = static_cast<const uint8_t*>(Data);
  const int64_t L = Length;
  const bool IntelFlag = ReadAnnotInt(D + 4) != 0;
  TAnnotNamedSet AllMarks, Current;
  uint8_t Attributes[AnnotAttributesSize] = {};
  int64_t p = 8;
  bool Whole = true;
  // Fewer than 8 bytes left cannot start a block: they end the data.
  while (p + 8 <= L) {
    const int32_t Type = ReadAnnotInt(D + p);
    p += 8;
    if (Type == AnnotAllMarksBlock || Type == AnnotMarkBlock) {
      TAnnotNamedSet& Set = Type == AnnotAllMarksBlock ? AllMarks : Current;
      if (!ReadAnnotNamedBlock(Set, D, L, ReadAnnotInt(Attributes), IntelFlag, p)) {
        Whole = false;
        break;
      }
    } else if (Type == AnnotAttributesBlock) {
      AddAnnotMark(Marks, Attributes, Current);
      Current.clear();
      std::memset(Attributes, 0, sizeof Attributes);
      if (p + AnnotAttributesSize > L) {
        Whole = false;
        break;
      }
      std::memcpy(Attributes, D + p, AnnotAttributesSize);
      p += AnnotAttributesSize;
    }
  }
  if (Whole) AddAnnotMark(Marks, Attributes, Current);
  Modified = false;
}

void TIEImagingAnnot::SaveToBuffer(void*& Data, int32_t& Length) const {
  Data = nullptr;
  Length = 0;
  if (Marks.empty()) return;

  int32_t DpiX = 96, DpiY = 96;
  if (HDC Screen = GetDC(nullptr)) {
    DpiX = GetDeviceCaps(Screen, LOGPIXELSX);
    DpiY = GetDeviceCaps(Screen, LOGPIXELSY);
    ReleaseDC(nullptr, Screen);
  }

  TAnnotWriter W;
  W.Int(0);
  W.Int(1);
  W.NamedText(AnnotAllMarksBlock, "OiGroup", "0");
  W.NamedText(AnnotAllMarksBlock, "OiIndex", "1");
  for (size_t i = 0; i < Marks.size(); ++i) {
    const TIEImagingObject& Mark = *Marks[i];
    const int32_t Type = Mark.MarkType();
    W.Block(AnnotAttributesBlock, AnnotAttributesSize);
    W.Raw(Mark.Attributes, AnnotAttributesSize);
    if (Type == AnnotImageMark) {
      uint8_t AnoDat[AnnotAnoDatImageSize] = {};
      const int32_t Values[6] = {1, 1000, DpiX, DpiY, DpiX, DpiY};
      for (int k = 0; k < 6; ++k) PutAnnotInt(AnoDat + 4 * k, Values[k]);
      W.Named(AnnotMarkBlock, "OiAnoDat", AnoDat, sizeof AnoDat);
      if (Mark.Image && ProcessingHooks.CopyBitmapToDIBEx) {
        if (HGLOBAL Dib = ProcessingHooks.CopyBitmapToDIBEx(Mark.Image.get(), 0, 0, 0, 0, AnnotImageDpi, AnnotImageDpi)) {
          if (const void* P = GlobalLock(Dib)) {
            W.Named(AnnotMarkBlock, "OiDIB", P, GlobalSize(Dib));
            GlobalUnlock(Dib);
          }
          GlobalFree(Dib);
        }
      }
    } else if (IsLineMark(Type)) {
      TAnnotWriter Points;
      Points.Int(Mark.PointCount());
      Points.Int(Mark.PointCount());
      for (const TIEAnnotPoint& Pt : Mark.Points) Points.Int(Pt.X), Points.Int(Pt.Y);
      W.Named(AnnotMarkBlock, "OiAnoDat", Points.Out.data(), Points.Out.size());
    } else if (IsTextMark(Type)) {
      const std::string Text = Mark.Text.value_or(std::string());
      TAnnotWriter Block;
      Block.Int(0);
      Block.Int(1000);
      Block.Int(AnnotDefaultScale);
      Block.Int(int32_t(Text.size()));
      Block.Raw(Text.c_str(), Text.size() + 1);
      W.Named(AnnotMarkBlock, "OiAnText", Block.Out.data(), Block.Out.size());
    }
    W.NamedText(AnnotMarkBlock, "OiGroup", "0");
    W.NamedText(AnnotMarkBlock, "OiIndex", std::to_string(i));
  }
  if (W.Out.size() > size_t(INT32_MAX)) throw EOutOfMemory("Out of memory");
  Data = std::malloc(W.Out.size());
  if (Data == nullptr) throw EOutOfMemory("Out of memory");
  std::memcpy(Data, W.Out.data(), W.Out.size());
  Length = int32_t(W.Out.size());
}

}  // namespace zv
