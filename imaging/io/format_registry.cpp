#include "imaging/io/format_registry.h"
#include "imaging/io/ico_codec.h"
#include "imaging/io/pdf_writer.h"
#include "imaging/io/pnm_codec.h"
#include "imaging/io/ps_writer.h"
#include "imaging/io/raw_pixels.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "imaging/core/ie_streams.h"
#include "platform/streams.h"
#include "platform/sysutils.h"
#include "platform/byte_order.h"

namespace zv {

std::unique_ptr<TIEFormatList> FormatRegistry;

namespace {

// Puts the stream back where it was found, whatever the test did to it.
class TPositionKeeper {
public:
  explicit TPositionKeeper(TStream* Stream) : FStream(Stream), FPosition(Stream->Position()) {}
  ~TPositionKeeper() {
    try {
      FStream->SetPosition(FPosition);
    } catch (...) {
      // A stream that cannot seek back has nothing better to offer; the test's answer still stands.
    }
  }
  TPositionKeeper(const TPositionKeeper&) = delete;
  TPositionKeeper& operator=(const TPositionKeeper&) = delete;
  int64_t Position() const { return FPosition; }

private:
  TStream* FStream;
  int64_t FPosition;
};

// Reads exactly Count bytes; false when the stream holds fewer.
bool ReadExact(TStream* Stream, void* Buffer, int64_t Count) { return Stream->Read(Buffer, Count) == Count; }

// Bytes the stream holds from the position P on.
int64_t BytesFrom(TStream* Stream, int64_t P) { return std::max<int64_t>(0, Stream->Size() - P); }


// The magic of a stream header: its first bytes as text ending at the first zero byte.
std::string MagicText(const uint8_t* Bytes, size_t Count) {
  std::string Text;
  for (size_t i = 0; i < Count && Bytes[i] != 0; ++i) Text.push_back(char(Bytes[i]));
  return Text;
}

// ---- TIFF-built files ----------------------------------------------------------------------------------

struct TTiffEntry {
  uint16_t Tag;
  uint16_t Type;
  uint32_t Count;
  uint32_t Value;  // a SHORT or LONG value held in the entry itself
};

// Reads the header and the first image directory of a TIFF-built file at the stream's position. Only
// directories that lie wholly inside the stream count.
bool ReadFirstDirectory(TStream* Stream, uint16_t& Magic, bool& Little, std::vector<TTiffEntry>& Entries) {
  const int64_t P = Stream->Position();
  const int64_t Available = BytesFrom(Stream, P);
  uint8_t Header[8];
  if (!ReadExact(Stream, Header, 8)) return false;
  if (Header[0] == 'I' && Header[1] == 'I') {
    Little = true;
  } else if (Header[0] == 'M' && Header[1] == 'M') {
    Little = false;
  } else {
    return false;
  }
  auto U16 = [&](const uint8_t* p) { return Little ? Le16(p) : Be16(p); };
  auto U32 = [&](const uint8_t* p) { return Little ? Le32(p) : Be32(p); };
  Magic = U16(Header + 2);
  const int64_t Offset = U32(Header + 4);
  if (Offset < 8 || Offset + 2 > Available) return false;
  Stream->SetPosition(P + Offset);
  uint8_t CountBytes[2];
  if (!ReadExact(Stream, CountBytes, 2)) return false;
  const int64_t Count = U16(CountBytes);
  if (Count == 0 || Offset + 2 + Count * 12 > Available) return false;
  std::vector<uint8_t> Raw(size_t(Count * 12));
  if (!ReadExact(Stream, Raw.data(), int64_t(Raw.size()))) return false;
  Entries.clear();
  for (int64_t i = 0; i < Count; ++i) {
    const uint8_t* e = Raw.data() + i * 12;
    TTiffEntry Entry{U16(e), U16(e + 2), U32(e + 4), 0};
    Entry.Value = Entry.Type == 3 ? U16(e + 8) : U32(e + 8);
    Entries.push_back(Entry);
  }
  return true;
}

const TTiffEntry* FindTag(const std::vector<TTiffEntry>& Entries, uint16_t Tag) {
  for (const TTiffEntry& e : Entries)
    if (e.Tag == Tag) return &e;
  return nullptr;
}

bool HeaderIsTiff(TStream* Stream) {
  TPositionKeeper Keep(Stream);
  uint16_t Magic = 0;
  bool Little = true;
  std::vector<TTiffEntry> Entries;
  if (!ReadFirstDirectory(Stream, Magic, Little, Entries) || Magic != 42) return false;
  return FindTag(Entries, 256) != nullptr && FindTag(Entries, 257) != nullptr;
}

bool HeaderIsCameraRawTiff(TStream* Stream) {
  TPositionKeeper Keep(Stream);
  uint16_t Magic = 0;
  bool Little = true;
  std::vector<TTiffEntry> Entries;
  if (!ReadFirstDirectory(Stream, Magic, Little, Entries) || Magic != 42) return false;
  if (FindTag(Entries, 0xC612) != nullptr) return true;  // DNG version
  const TTiffEntry* Photometric = FindTag(Entries, 262);
  // Colour filter array or linear raw data.
  if (Photometric != nullptr && (Photometric->Value == 32803 || Photometric->Value == 34892)) return true;
  // Cameras that keep the raw data in sub-directories show only a small preview as the main image.
  const TTiffEntry* Width = FindTag(Entries, 256);
  const TTiffEntry* Length = FindTag(Entries, 257);
  return FindTag(Entries, 330) != nullptr && Width != nullptr && Length != nullptr && Width->Value < 200 &&
         Length->Value < 200;
}

bool HeaderIsHdPhoto(TStream* Stream) {
  TPositionKeeper Keep(Stream);
  uint16_t Magic = 0;
  bool Little = true;
  std::vector<TTiffEntry> Entries;
  if (!ReadFirstDirectory(Stream, Magic, Little, Entries) || !Little || Magic != 0x01BC) return false;
  // Pixel format, width, height, image offset and byte count.
  for (uint16_t Tag : {0xBC01, 0xBC80, 0xBC81, 0xBCC0, 0xBCC1})
    if (FindTag(Entries, Tag) == nullptr) return false;
  return true;
}

// ---- Other header checks ----------------------------------------------------------------------------------

bool HeaderIsPng(TStream* Stream) {
  TPositionKeeper Keep(Stream);
  uint8_t b[8];
  if (!ReadExact(Stream, b, 8)) return false;
  return b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G';
}

bool HeaderIsDicom(TStream* Stream) {
  TPositionKeeper Keep(Stream);
  uint8_t b[132];
  if (!ReadExact(Stream, b, sizeof b)) return false;
  return std::memcmp(b + 128, "DICM", 4) == 0;
}

// Icon and cursor directories differ only in their type.
bool HeaderIsIconDirectory(TStream* Stream, uint16_t Type) {
  TPositionKeeper Keep(Stream);
  if (BytesFrom(Stream, Keep.Position()) < 23) return false;
  uint8_t h[6];
  if (!ReadExact(Stream, h, 6)) return false;
  const uint16_t Count = Le16(h + 4);
  if (Le16(h) != 0 || Le16(h + 2) != Type || Count < 1) return false;
  for (uint32_t i = 0; i < Count; ++i) {
    uint8_t e[16];
    if (!ReadExact(Stream, e, 16)) return false;
    const uint32_t EntryEnd = 6 + 16 * (i + 1);  // offsets count from the directory's start
    if (e[3] != 0 || Le32(e + 8) == 0 || Le32(e + 12) < EntryEnd) return false;
  }
  return true;
}

bool HeaderIsIco(TStream* Stream) { return HeaderIsIconDirectory(Stream, 1); }
bool HeaderIsCur(TStream* Stream) { return HeaderIsIconDirectory(Stream, 2); }

bool HeaderIsTga(TStream* Stream) {
  TPositionKeeper Keep(Stream);
  uint8_t h[18];
  if (!ReadExact(Stream, h, 18)) return false;
  if (h[0] == 'P' && h[1] >= '1' && h[1] <= '6') return false;  // a PNM magic
  const uint8_t Type = h[2];
  const uint8_t Depth = h[16];
  const bool TypeOk = (Type >= 1 && Type <= 3) || (Type >= 9 && Type <= 11);
  const bool DepthOk = Depth == 8 || Depth == 15 || Depth == 16 || Depth == 24 || Depth == 32;
  return TypeOk && h[1] < 2 && DepthOk && Le16(h + 12) > 0 && Le16(h + 14) > 0;
}

bool HeaderIsJp2(TStream* Stream) {
  TPositionKeeper Keep(Stream);
  static constexpr uint8_t Signature[12] = {0, 0, 0, 12, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
  uint8_t b[12];
  return ReadExact(Stream, b, 12) && std::memcmp(b, Signature, 12) == 0;
}

bool HeaderIsJ2k(TStream* Stream) {
  TPositionKeeper Keep(Stream);
  uint8_t b[4];
  return ReadExact(Stream, b, 4) && b[0] == 0xFF && b[1] == 0x4F && b[2] == 0xFF && b[3] == 0x51;
}

bool HeaderIsDcx(TStream* Stream) {
  TPositionKeeper Keep(Stream);
  const int64_t Available = BytesFrom(Stream, Keep.Position());
  uint8_t b[4];
  if (!ReadExact(Stream, b, 4) || Le32(b) != 987654321u) return false;
  // The page table: up to 1023 offsets, ended by a zero.
  for (int i = 0; i < 1024; ++i) {
    if (!ReadExact(Stream, b, 4)) return false;
    const uint32_t Offset = Le32(b);
    if (Offset == 0) return true;
    if (Offset >= Available) return false;
  }
  return true;
}

bool HeaderIsPsd(TStream* Stream) {
  TPositionKeeper Keep(Stream);
  uint8_t h[26];
  if (!ReadExact(Stream, h, 26) || std::memcmp(h, "8BPS", 4) != 0) return false;
  const uint16_t Channels = Be16(h + 12);
  const uint16_t Depth = Be16(h + 22);
  return Be16(h + 4) == 1 && Channels >= 1 && Channels <= 24 && Depth >= 1 && Depth <= 16 && Be16(h + 24) < 10;
}

bool HeaderIsLayers(TStream* Stream) {
  TPositionKeeper Keep(Stream);
  uint8_t b[25];
  if (!ReadExact(Stream, b, 25)) return false;
  return std::memcmp(b, "IMAGINGLAYERS", 13) == 0 && int32_t(Le32(b + 13)) > 0;
}

bool AnswerNo(TStream*) { return false; }

int64_t FindJpegSoi(TStream* Stream, bool Scan) {
  TPositionKeeper Keep(Stream);
  uint8_t b[152];
  const int64_t Got = Stream->Read(b, Scan ? 152 : 3);
  const int64_t Last = Scan ? 149 : 0;
  for (int64_t i = 0; i <= Last && i + 3 <= Got; ++i)
    if (b[i] == 0xFF && b[i + 1] == 0xD8 && b[i + 2] == 0xFF) return Scan ? Keep.Position() + i : 0;
  return -1;
}

bool NoImagingCodecs() { return false; }

constexpr TIEFormatTests LibraryFormatTests = {
    HeaderIsHdPhoto, HeaderIsTiff, HeaderIsCameraRawTiff, HeaderIsPng, HeaderIsDicom, HeaderIsIco, HeaderIsCur,
    HeaderIsTga,     PnmTest,      HeaderIsJp2,           HeaderIsJ2k, HeaderIsDcx,   WmfTest,     EmfTest,
    HeaderIsPsd,     AnswerNo,     HeaderIsLayers,        AnswerNo,    AnswerNo,      FindJpegSoi, NoImagingCodecs,
};

bool RunTest(TIEStreamTest Test, TStream* Stream) { return Test != nullptr && Test(Stream); }

// ---- The built-in rows ----------------------------------------------------------------------------------

struct TBuiltInRow {
  uint32_t FileType;
  const char* Name;
  const char* Extensions;
  uint16_t DialogPages;
  bool Reads;
  bool Writes;
};

// In registration order; HD Photo comes last and only with the platform's imaging codecs.
constexpr TBuiltInRow BuiltInRows[] = {
    {ftTiff, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F;XIF", 8, true, true},
    {ftGif, "CompuServe Bitmap", "GIF", 16, true, true},
    {ftJpeg, "JPEG Bitmap", "JPG;JPEG;JPE;JIF", 4, true, true},
    {ftPcx, "PaintBrush", "PCX", 64, true, true},
    {ftBmp, "Windows Bitmap", "BMP;DIB;RLE", 32, true, true},
    {ftRawBitmap, "Raw Bitmap", "", 0, true, true},
    {ftIco, "Windows Icon", "ICO", 0, true, true},
    {ftCur, "Windows Cursor", "CUR", 0, true, false},
    {ftPng, "Portable Network Graphics", "PNG", 128, true, true},
    {ftDicom, "DICOM Bitmap", "DCM;DIC;DICOM;V2", 0, true, false},
    {ftWmf, "Windows Metafile", "WMF", 0, true, false},
    {ftEmf, "Enhanced Windows Metafile", "EMF", 0, true, false},
    {ftTga, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", 256, true, true},
    {ftPnm, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", 0, true, true},
    {ftWbmp, "Wireless Bitmap", "WBMP", 0, true, true},
    {ftJp2, "JPEG2000", "JP2", 512, true, true},
    {ftJ2k, "JPEG2000 Code Stream", "J2K;JPC;J2C", 512, true, true},
    {ftPs, "PostScript Level 2", "PS;EPS", 0, false, true},
    {ftPdf, "Adobe PDF", "PDF", 0, false, true},
    {ftDcx, "Multipage PCX", "DCX", 0, true, true},
    {ftCameraRaw, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", 0, true, false},
    {ftPsd, "Photoshop PSD", "PSD", 0, true, true},
    {ftIev, "Vectorial objects", "IEV", 0, true, true},
    {ftLyr, "Layers", "LYR", 0, true, true},
    {ftAll, "Layers and objects", "ALL", 0, true, true},
};
constexpr TBuiltInRow HdPhotoRow = {ftHdPhoto, "Microsoft HD Photo", "WDP;HDP", 0, true, true};

// The routines the file-format library installed, by id.
struct TInstalledCodec {
  uint32_t FileType;
  TIEReadProc ReadProc;
  TIEWriteProc WriteProc;
};

std::vector<TInstalledCodec>& InstalledCodecs() {
  static std::vector<TInstalledCodec> Codecs;
  return Codecs;
}

const TInstalledCodec* InstalledCodecOf(uint32_t FileType) {
  for (const TInstalledCodec& Codec : InstalledCodecs())
    if (Codec.FileType == FileType) return &Codec;
  return nullptr;
}

const TBuiltInRow* BuiltInRowOf(uint32_t FileType) {
  for (const TBuiltInRow& Row : BuiltInRows)
    if (Row.FileType == FileType) return &Row;
  return HdPhotoRow.FileType == FileType ? &HdPhotoRow : nullptr;
}

// The codecs of the I/O library itself, used by their rows unless another is installed.
constexpr TInstalledCodec LibraryCodecs[] = {
    {ftPnm, PnmRegistryRead, PnmRegistryWrite},
    {ftWbmp, WbmpRegistryRead, WbmpRegistryWrite},
    {ftRawBitmap, RawRegistryRead, nullptr},
    {ftIco, IcoRegistryRead, IcoRegistryWrite},
    {ftCur, CurRegistryRead, nullptr},
    {ftPs, nullptr, PsRegistryWrite},
    {ftPdf, nullptr, PdfRegistryWrite},
};

// The routines of a built-in row: the installed codec's where there is one, then the library's own,
// else the placeholders.
void SetBuiltInRoutines(TIEFileFormatInfo& Info, const TBuiltInRow& Row) {
  const TInstalledCodec* Codec = InstalledCodecOf(Row.FileType);
  if (Codec == nullptr)
    for (const TInstalledCodec& Own : LibraryCodecs)
      if (Own.FileType == Row.FileType) Codec = &Own;
  const TIEReadProc Read = Codec != nullptr && Codec->ReadProc != nullptr ? Codec->ReadProc : StubReadProc;
  const TIEWriteProc Write = Codec != nullptr && Codec->WriteProc != nullptr ? Codec->WriteProc : StubWriteProc;
  Info.ReadProc = Row.Reads ? Read : nullptr;
  Info.WriteProc = Row.Writes ? Write : nullptr;
}

std::unique_ptr<TIEFileFormatInfo> MakeBuiltInRow(const TBuiltInRow& Row) {
  auto Info = std::make_unique<TIEFileFormatInfo>();
  Info->FileType = Row.FileType;
  Info->Name = Row.Name;
  Info->Extensions = Row.Extensions;
  Info->DialogPages = Row.DialogPages;
  SetBuiltInRoutines(*Info, Row);
  Info->TestProc = StubTestProc;
  Info->BuiltIn = true;
  return Info;
}

// Gives the built row of that id the routines now installed.
void RefreshBuiltInRow(uint32_t FileType) {
  const TBuiltInRow* Row = BuiltInRowOf(FileType);
  if (Row == nullptr || !FormatRegistry) return;
  for (const auto& Info : *FormatRegistry)
    if (Info->BuiltIn && Info->FileType == FileType) {
      SetBuiltInRoutines(*Info, *Row);
      return;
    }
}

// Splits the first item off a ";"-separated list.
std::string PopListItem(std::string& List) {
  const size_t Sep = List.find(';');
  std::string Item;
  if (Sep == std::string::npos) {
    Item.swap(List);
  } else {
    Item = List.substr(0, Sep);
    List.erase(0, Sep + 1);
  }
  return Item;
}

// The N-th item of an extension list; empty past its end or its first empty item.
std::string ExtensionItem(const std::string& Extensions, int32_t N) {
  std::string List = Extensions;
  std::string Item;
  for (int32_t i = 0; i <= N; ++i) {
    if (List.empty()) return std::string();
    Item = PopListItem(List);
  }
  return Item;
}

}  // namespace

TIEFormatTests FormatTests = LibraryFormatTests;

void ResetFormatTests() { FormatTests = LibraryFormatTests; }

// ---- Placeholders --------------------------------------------------------------------------------------

void StubReadProc(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRecord& Progress, bool) { Progress.SetAborted(); }

void StubWriteProc(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRecord& Progress) { Progress.SetAborted(); }

bool StubTestProc(TStream*, uint32_t) { return false; }

// ---- The registry --------------------------------------------------------------------------------------

void InstallFormatCodec(uint32_t FileType, TIEReadProc ReadProc, TIEWriteProc WriteProc) {
  auto& Codecs = InstalledCodecs();
  auto It = std::find_if(Codecs.begin(), Codecs.end(), [&](const TInstalledCodec& c) { return c.FileType == FileType; });
  if (It != Codecs.end())
    *It = TInstalledCodec{FileType, ReadProc, WriteProc};
  else
    Codecs.push_back(TInstalledCodec{FileType, ReadProc, WriteProc});
  RefreshBuiltInRow(FileType);
}

void RemoveFormatCodec(uint32_t FileType) {
  auto& Codecs = InstalledCodecs();
  Codecs.erase(std::remove_if(Codecs.begin(), Codecs.end(), [&](const TInstalledCodec& c) { return c.FileType == FileType; }),
               Codecs.end());
  RefreshBuiltInRow(FileType);
}

void BuildFormatRegistry() {
  FormatRegistry = std::make_unique<TIEFormatList>();
  for (const TBuiltInRow& Row : BuiltInRows) FormatRegistry->push_back(MakeBuiltInRow(Row));
  if (FormatTests.WicAvailable != nullptr && FormatTests.WicAvailable())
    FormatRegistry->push_back(MakeBuiltInRow(HdPhotoRow));
}

void FreeFormatRegistry() { FormatRegistry.reset(); }

int32_t RegisterFileFormat(std::unique_ptr<TIEFileFormatInfo> Info) {
  if (!FormatRegistry || !Info) return -1;
  FormatRegistry->push_back(std::move(Info));
  return static_cast<int32_t>(FormatRegistry->size()) - 1;
}

void UnregisterFileFormat(uint32_t FileType) {
  if (!FormatRegistry) return;
  auto& Rows = *FormatRegistry;
  auto It = std::find_if(Rows.begin(), Rows.end(), [&](const auto& Row) { return Row->FileType == FileType; });
  if (It != Rows.end()) Rows.erase(It);
}

TIEFileFormatInfo* FindFormatInfoByType(uint32_t FileType) {
  if (!FormatRegistry) return nullptr;
  for (const auto& Row : *FormatRegistry)
    if (Row->FileType == FileType) return Row.get();
  return nullptr;
}

std::string GetFormatExtension(uint32_t FileType, int32_t N) {
  const TIEFileFormatInfo* Row = FindFormatInfoByType(FileType);
  if (Row == nullptr || N < 0) return std::string();
  return ExtensionItem(Row->Extensions, N);
}

int32_t GetFormatExtensionCount(uint32_t FileType) {
  int32_t N = 0;
  while (!GetFormatExtension(FileType, N).empty()) ++N;
  return N;
}

TIEFileFormatInfo* FindFormatInfoByExtension(const std::string& Ext) {
  if (!FormatRegistry) return nullptr;
  std::string Wanted = LowerCase(Ext);
  if (!Wanted.empty() && Wanted[0] == '.') Wanted.erase(0, 1);
  if (Wanted.empty()) return nullptr;
  // Each row is searched by its own list, so that a row added for an id that a built-in row already
  // has is still found by its extensions.
  for (const auto& Row : *FormatRegistry) {
    for (int32_t i = 0;; ++i) {
      const std::string Item = ExtensionItem(Row->Extensions, i);
      if (Item.empty()) break;
      if (LowerCase(Item) == Wanted) return Row.get();
    }
  }
  return nullptr;
}

uint32_t FileTypeOfExtension(const std::string& Ext) {
  const TIEFileFormatInfo* Row = FindFormatInfoByExtension(LowerCase(Ext));
  return Row != nullptr ? Row->FileType : ftUnknown;
}

// ---- Detection -----------------------------------------------------------------------------------------

bool IsAviStream(TStream* Stream) {
  TPositionKeeper Keep(Stream);
  uint8_t Riff[4];
  uint8_t Kind[4];
  if (!ReadExact(Stream, Riff, 4)) return false;
  Stream->Seek(4, soCurrent);
  if (!ReadExact(Stream, Kind, 4)) return false;
  return MagicText(Riff, 4) == "RIFF" && std::memcmp(Kind, "AVI ", 4) == 0;
}

namespace {

// Reads Count bytes at P and says whether they begin with the stream header of that magic.
bool StreamHeaderIs(TStream* Stream, int64_t Count, size_t MagicBytes, const char* Magic) {
  uint8_t b[16];
  if (!ReadExact(Stream, b, Count)) return false;
  return MagicText(b, MagicBytes) == Magic;
}

uint32_t DetectFrom(TStream* Stream, int64_t P, int64_t S) {
  const TIEFormatTests& T = FormatTests;
  uint8_t b[128];
  // Every test starts at P; a short read only means that its format is not there.
  auto At = [&]() -> TStream* {
    Stream->SetPosition(P);
    return Stream;
  };
  if (S > 12 && StreamHeaderIs(At(), 12, 5, "JFIF")) return ftJpeg;
  if (S > 13 && ReadExact(At(), b, 13) && b[0] == 'G' && b[1] == 'I' && b[2] == 'F') return ftGif;
  if (S > 12 && StreamHeaderIs(At(), 12, 5, "PCX2")) return ftPcx;
  if (S > 4 && StreamHeaderIs(At(), 4, 4, "PCX")) return ftPcx;
  if (S > 14 && ReadExact(At(), b, 14) && Le16(b) == 0x4D42) return ftBmp;
  if (S > 128 && ReadExact(At(), b, 128) && b[0] == 0x0A && b[1] <= 5) return ftPcx;
  if (S > 12 && StreamHeaderIs(At(), 12, 5, "TIFF")) return ftTiff;
  if (RunTest(T.IsHdPhotoStream, At())) return ftHdPhoto;
  if (RunTest(T.IsTiffStream, At()) && !RunTest(T.IsCameraRawTiff, At())) return ftTiff;
  if (S > 8 && RunTest(T.IsPngStream, At())) return ftPng;
  if (RunTest(T.IsDicomStream, At())) return ftDicom;
  if (RunTest(T.IcoTest, At())) return ftIco;
  if (RunTest(T.CurTest, At())) return ftCur;
  if (RunTest(T.IsTgaStream, At())) return ftTga;
  if (RunTest(T.PnmTest, At())) return ftPnm;
  if (RunTest(T.IsJp2Stream, At())) return ftJp2;
  if (RunTest(T.IsJ2kStream, At())) return ftJ2k;
  if (IsAviStream(At())) return ftAvi;
  if (RunTest(T.IsDcxStream, At())) return ftDcx;
  if (RunTest(T.WmfTest, At())) return ftWmf;
  if (RunTest(T.EmfTest, At())) return ftEmf;
  if (RunTest(T.IsPsdStream, At())) return ftPsd;
  if (RunTest(T.IsIevStream, At())) return ftIev;
  if (RunTest(T.IsLayersStream, At())) return ftLyr;
  if (RunTest(T.IsAllStream, At())) return ftAll;
  if (T.JpegFindSoi != nullptr && T.JpegFindSoi(At(), true) >= 0) return ftJpeg;
  if (FormatRegistry) {
    // Rows may be added or removed by a test routine; walk by index over what is there.
    for (size_t i = 0; i < FormatRegistry->size(); ++i) {
      const TIEFileFormatInfo* Row = (*FormatRegistry)[i].get();
      if (Row->TestProc != nullptr && Row->TestProc(At(), Row->FileType)) return Row->FileType;
    }
  }
  if (RunTest(T.IsCameraRawStream, At())) return ftCameraRaw;
  return ftUnknown;
}

}  // namespace

uint32_t DetectStreamFormat(TStream* Stream) {
  if (Stream == nullptr) return ftUnknown;
  uint32_t Result = ftUnknown;
  try {
    TPositionKeeper Keep(Stream);
    Result = DetectFrom(Stream, Keep.Position(), Stream->Size());
  } catch (...) {
    // A test that fails on broken data ends detection with nothing found.
    Result = ftUnknown;
  }
  return Result;
}

uint32_t DetectFileFormat(const std::string& FileName, bool Verify) {
  uint32_t Result = ftUnknown;
  if (FileName.empty() || !FileExistsW(FileName)) return Result;
  try {
    TIEWideFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
    Result = DetectStreamFormat(&Stream);
  } catch (...) {
    Result = ftUnknown;
  }
  std::string Ext = LowerCase(ExtractFileExt(FileName));
  if (!Ext.empty() && Ext[0] == '.') Ext.erase(0, 1);
  const TIEFileFormatInfo* Row = FindFormatInfoByExtension(Ext);
  // A camera raw file is built like a TIFF; its extension tells them apart.
  if (Row != nullptr && Row->FileType == ftCameraRaw && Result == ftTiff) Result = ftCameraRaw;
  if (Row != nullptr && !Row->BuiltIn) return Row->FileType;
  if (Verify && Result != ftUnknown) {
    if (Row == nullptr) return ftUnknown;
    // Icons and cursors share their layout, so a file of either takes its extension's type; with any
    // other extension it is as wrong as any other mismatch.
    const bool IconLike = Result == ftIco || Result == ftCur;
    if (IconLike && (Row->FileType == ftIco || Row->FileType == ftCur)) return Row->FileType;
    if (Row->FileType != Result) return ftUnknown;
  }
  return Result;
}

}  // namespace zv
