// The format registry (its built-in rows, lookups by id and extension, rows added at run time) and
// format detection by content and by file name.
#include "imaging/io/format_registry.h"
#include "imaging/io/ico_codec.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/library_startup.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_globals.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint16_t v, bool Little = true) {
  if (Little) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
  } else {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
  }
}
void Put32(Bytes& b, uint32_t v, bool Little = true) {
  if (Little) {
    Put16(b, uint16_t(v), true);
    Put16(b, uint16_t(v >> 16), true);
  } else {
    Put16(b, uint16_t(v >> 16), false);
    Put16(b, uint16_t(v), false);
  }
}
void PutText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Padded(Bytes b, size_t Size, uint8_t Fill = 0x11) {
  if (b.size() < Size) b.resize(Size, Fill);
  return b;
}

// A TIFF-built header with one image directory of SHORT entries, then some data.
Bytes TiffLike(bool Little, uint16_t Magic, const std::vector<std::pair<uint16_t, uint16_t>>& Tags) {
  Bytes b;
  PutText(b, Little ? "II" : "MM");
  Put16(b, Magic, Little);
  Put32(b, 8, Little);
  Put16(b, uint16_t(Tags.size()), Little);
  for (const auto& [Tag, Value] : Tags) {
    Put16(b, Tag, Little);
    Put16(b, 3, Little);
    Put32(b, 1, Little);
    Put16(b, Value, Little);
    Put16(b, 0, Little);
  }
  Put32(b, 0, Little);
  return Padded(b, b.size() + 16);
}

Bytes StreamHeader(const char* Magic, const Bytes& Data) {
  Bytes b;
  PutText(b, Magic);
  Put32(b, 0);
  Put32(b, uint32_t(Data.size()));
  b.insert(b.end(), Data.begin(), Data.end());
  return b;
}

Bytes PngBytes() {
  Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Put32(b, 13, false);
  PutText(b, "IHDR");
  return Padded(b, 40);
}

Bytes JpegBytes(size_t Junk = 0) {
  Bytes b(Junk, 0x20);
  for (uint8_t v : {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10}) b.push_back(v);
  PutText(b, "JFIF");
  return Padded(b, b.size() + 20);
}

Bytes IconBytes(uint16_t Type) {
  Bytes b;
  Put16(b, 0);
  Put16(b, Type);
  Put16(b, 1);
  for (uint8_t v : {16, 16, 0, 0}) b.push_back(v);
  Put16(b, 1);
  Put16(b, 32);
  Put32(b, 40);  // byte size
  Put32(b, 22);  // right after the directory
  return Padded(b, 62, 0);
}

Bytes TgaBytes() {
  Bytes b = {0, 0, 2, 0, 0, 0, 0, 0};
  Put16(b, 0);
  Put16(b, 0);
  Put16(b, 2);
  Put16(b, 2);
  b.push_back(24);
  b.push_back(0x20);
  return Padded(b, 18 + 12, 0x80);
}

Bytes PcxBytes() {
  Bytes b = {0x0A, 5, 1, 8};
  return Padded(b, 200, 0);
}

Bytes PsdBytes() {
  Bytes b;
  PutText(b, "8BPS");
  Put16(b, 1, false);
  b.insert(b.end(), 6, 0);
  Put16(b, 3, false);   // channels
  Put32(b, 4, false);   // height
  Put32(b, 4, false);   // width
  Put16(b, 8, false);   // depth
  Put16(b, 3, false);   // RGB
  return Padded(b, 60, 0);
}

Bytes DicomBytes() {
  Bytes b(128, 0);
  PutText(b, "DICM");
  return Padded(b, 160, 0);
}

Bytes Jp2Bytes() {
  Bytes b = {0, 0, 0, 12, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
  Put32(b, 20, false);
  PutText(b, "ftyp");
  return Padded(b, 40, 0);
}

Bytes J2kBytes() { return Padded(Bytes{0xFF, 0x4F, 0xFF, 0x51, 0x00, 0x29}, 48, 0); }

Bytes HdPhotoBytes() {
  return TiffLike(true, 0x01BC, {{0xBC01, 1}, {0xBC80, 4}, {0xBC81, 4}, {0xBCC0, 90}, {0xBCC1, 10}});
}

Bytes AviBytes() {
  Bytes b;
  PutText(b, "RIFF");
  Put32(b, 100);
  PutText(b, "AVI LIST");
  return Padded(b, 40, 0);
}

Bytes DcxBytes() {
  Bytes b;
  Put32(b, 987654321u);
  Put32(b, 12);
  Put32(b, 0);
  Bytes Pcx = PcxBytes();
  b.insert(b.end(), Pcx.begin(), Pcx.end());
  return b;
}

Bytes WmfBytes(bool Placeable) {
  Bytes b;
  if (Placeable) {
    Put32(b, 0x9AC6CDD7u);
    b.resize(22, 0);
  }
  Put16(b, 1);  // type
  Put16(b, 9);  // header words
  Put16(b, 0x300);
  Put32(b, 100);
  Put16(b, 0);
  Put32(b, 10);
  Put16(b, 0);  // parameter count
  return Padded(b, b.size() + 20, 0);
}

Bytes EmfBytes() {
  Bytes b;
  Put32(b, 1);
  Put32(b, 108);
  b.resize(40, 0);
  for (uint8_t v : {0x20, 0x45, 0x4D, 0x46}) b.push_back(v);
  return Padded(b, 108, 0);
}

Bytes LayersBytes() {
  Bytes b = Text("IMAGINGLAYERS");
  Put32(b, 2);
  return Padded(b, 40, 0);
}

// BMP and GIF as our own writers make them.
Bytes Written(uint32_t FileType) {
  TIEBitmap Bitmap(5, 3, ie24RGB);
  Bitmap.Fill(RGB(200, 40, 10));
  std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&Bitmap));
  TMemoryStream Stream;
  if (FileType == ftBmp) IO->SaveBmpStream(&Stream);
  if (FileType == ftGif) IO->SaveGifStream(&Stream);
  EXPECT_EQ(IO->AbortFlag, 0);
  const auto* p = static_cast<const uint8_t*>(Stream.Memory());
  return Bytes(p, p + Stream.Size());
}

TMemoryStream* StreamOf(const Bytes& b) {
  auto* s = new TMemoryStream();
  if (!b.empty()) s->WriteBuffer(b.data(), int64_t(b.size()));
  s->SetPosition(0);
  return s;
}

std::string TempPath(const std::string& Name) {
  ForceDirectories(ZV_TEST_TMP);
  return IncludeTrailingPathDelimiter(ZV_TEST_TMP) + "format_registry_" + Name;
}

std::string WriteFile(const std::string& Name, const Bytes& b) {
  const std::string Path = TempPath(Name);
  TFileStream f(Path, fmCreate);
  if (!b.empty()) f.WriteBuffer(b.data(), int64_t(b.size()));
  return Path;
}

// The library as the executable starts it: the I/O unit's step builds the registry.
class FormatRegistryTest : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterImagingIOStep();
    LibraryStartup();
  }
  void TearDown() override {
    LibraryShutdown();
    ResetFormatTests();
  }
};

// ---- The registry ----------------------------------------------------------------------------------------

TEST_F(FormatRegistryTest, BuiltInRowsComeInTheirOrderWithPlaceholdersWhereTheFormatIsReadOrWritten) {
  ASSERT_TRUE(FormatRegistry);
  const std::vector<uint32_t> Order = {ftTiff, ftGif, ftJpeg, ftPcx, ftBmp, ftRawBitmap, ftIco, ftCur, ftPng,
                                       ftDicom, ftWmf, ftEmf, ftTga, ftPnm, ftWbmp, ftJp2, ftJ2k, ftPs, ftPdf,
                                       ftDcx, ftCameraRaw, ftPsd, ftIev, ftLyr, ftAll};
  ASSERT_EQ(FormatRegistry->size(), Order.size());  // no HD Photo without the platform's codecs
  const std::vector<uint32_t> NotRead = {ftPs, ftPdf};
  const std::vector<uint32_t> NotWritten = {ftCur, ftWmf, ftEmf, ftCameraRaw, ftDicom};
  auto In = [](const std::vector<uint32_t>& v, uint32_t id) { return std::find(v.begin(), v.end(), id) != v.end(); };
  for (size_t i = 0; i < Order.size(); ++i) {
    const TIEFileFormatInfo& Row = *(*FormatRegistry)[i];
    SCOPED_TRACE(Row.Name);
    EXPECT_EQ(Row.FileType, Order[i]);
    EXPECT_TRUE(Row.BuiltIn);
    EXPECT_EQ(Row.ReadProc == nullptr, In(NotRead, Row.FileType));
    EXPECT_EQ(Row.WriteProc == nullptr, In(NotWritten, Row.FileType));
    EXPECT_NE(Row.TestProc, nullptr);
  }
  const TIEFileFormatInfo* Tga = FindFormatInfoByType(ftTga);
  ASSERT_NE(Tga, nullptr);
  EXPECT_EQ(Tga->Name, "Targa Bitmap");
  EXPECT_EQ(Tga->DialogPages, 256);
  EXPECT_EQ(FindFormatInfoByType(ftJp2)->DialogPages, 512);
  EXPECT_EQ(FindFormatInfoByType(ftAvi), nullptr);
  EXPECT_EQ(FindFormatInfoByType(ftHdPhoto), nullptr);
}

TEST_F(FormatRegistryTest, PlaceholdersFailTheWayACodecFails) {
  const TIEFileFormatInfo* Png = FindFormatInfoByType(ftPng);
  ASSERT_NE(Png, nullptr);
  TMemoryStream Stream;
  TIEBitmap Bitmap;
  TIOParamsVals Params(nullptr);
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  Png->ReadProc(&Stream, &Bitmap, Params, Progress, false);
  EXPECT_EQ(Abort, 1);
  Abort = 0;
  Png->WriteProc(&Stream, &Bitmap, Params, Progress);
  EXPECT_EQ(Abort, 1);
  const Bytes Data = PngBytes();
  std::unique_ptr<TMemoryStream> S(StreamOf(Data));
  EXPECT_FALSE(Png->TestProc(S.get(), ftPng));
}

TEST_F(FormatRegistryTest, WithThePlatformsImagingCodecsHdPhotoIsTheLastRow) {
  FormatTests.WicAvailable = [] { return true; };
  BuildFormatRegistry();
  ASSERT_EQ(FormatRegistry->size(), 26u);
  EXPECT_EQ(FormatRegistry->back()->FileType, ftHdPhoto);
  EXPECT_EQ(FileTypeOfExtension("wdp"), ftHdPhoto);
  EXPECT_EQ(FileTypeOfExtension(".HDP"), ftHdPhoto);
}

void InstalledRead(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRecord& Progress, bool) { Progress.Report(7); }
void InstalledWrite(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRecord& Progress) { Progress.Report(8); }

TEST_F(FormatRegistryTest, InstalledCodecsReplaceThePlaceholdersOfTheirRowsOnly) {
  // Installed while the registry exists: the row changes at once.
  InstallFormatCodec(ftPng, InstalledRead, InstalledWrite);
  EXPECT_EQ(FindFormatInfoByType(ftPng)->ReadProc, InstalledRead);
  EXPECT_EQ(FindFormatInfoByType(ftPng)->WriteProc, InstalledWrite);
  // A row that is read only never gets a write routine; a side left out stays on its placeholder.
  InstallFormatCodec(ftCur, InstalledRead, InstalledWrite);
  InstallFormatCodec(ftTga, nullptr, InstalledWrite);
  EXPECT_EQ(FindFormatInfoByType(ftCur)->WriteProc, nullptr);
  EXPECT_EQ(FindFormatInfoByType(ftTga)->ReadProc, StubReadProc);
  // A registry built afterwards takes them too, until they are removed.
  BuildFormatRegistry();
  EXPECT_EQ(FindFormatInfoByType(ftPng)->ReadProc, InstalledRead);
  EXPECT_EQ(FindFormatInfoByType(ftCur)->ReadProc, InstalledRead);
  EXPECT_EQ(FindFormatInfoByType(ftTga)->WriteProc, InstalledWrite);
  for (uint32_t FileType : {ftPng, ftCur, ftTga}) RemoveFormatCodec(FileType);
  EXPECT_EQ(FindFormatInfoByType(ftPng)->ReadProc, StubReadProc);
  EXPECT_EQ(FindFormatInfoByType(ftTga)->WriteProc, StubWriteProc);
  BuildFormatRegistry();
  // The I/O library reads cursors itself: removal gives the row its own reader back.
  EXPECT_EQ(FindFormatInfoByType(ftCur)->ReadProc, CurRegistryRead);
  // Nothing happens to a registry that is not there.
  FreeFormatRegistry();
  InstallFormatCodec(ftPng, InstalledRead, InstalledWrite);
  RemoveFormatCodec(ftPng);
  BuildFormatRegistry();
}

TEST_F(FormatRegistryTest, ExtensionsAreFoundInAnyCaseWithOrWithoutTheirDot) {
  struct Case {
    const char* Ext;
    uint32_t Expected;
  };
  const Case Cases[] = {
      {"jpg", ftJpeg}, {"JPG", ftJpeg}, {".Jpg", ftJpeg}, {"jPeG", ftJpeg}, {"tif", ftTiff},  {"G3F", ftTiff},
      {"pix", ftTga},  {"RAW", ftCameraRaw}, {"sr2", ftCameraRaw}, {"v2", ftDicom}, {"eps", ftPs}, {"pbm", ftPnm},
      {"", ftUnknown}, {".", ftUnknown}, {"..jpg", ftUnknown}, {"avi", ftUnknown}, {"wdp", ftUnknown},
      {"xyz", ftUnknown},
  };
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.Ext);
    EXPECT_EQ(FileTypeOfExtension(c.Ext), c.Expected);
    const TIEFileFormatInfo* Row = FindFormatInfoByExtension(c.Ext);
    EXPECT_EQ(Row == nullptr ? ftUnknown : Row->FileType, c.Expected);
  }
  EXPECT_EQ(GetFormatExtensionCount(ftTiff), 6);
  EXPECT_EQ(GetFormatExtension(ftTiff, 1), "TIFF");
  EXPECT_EQ(GetFormatExtension(ftTiff, 6), "");
  EXPECT_EQ(GetFormatExtensionCount(ftRawBitmap), 0);
  EXPECT_EQ(GetFormatExtensionCount(22), 0);
}

bool IsZvkStream(TStream* Stream, uint32_t FileType) {
  char b[4] = {};
  Stream->Read(b, 4);  // the detection puts the position back
  return FileType == 100 && std::memcmp(b, "ZVK!", 4) == 0;
}

TEST_F(FormatRegistryTest, RowsAddedAtRunTimeAreFoundDetectedAndRemoved) {
  const size_t Before = FormatRegistry->size();
  UnregisterFileFormat(22);
  EXPECT_EQ(FormatRegistry->size(), Before);

  auto Info = std::make_unique<TIEFileFormatInfo>();
  Info->FileType = 100;
  Info->Name = "Zonvark test";
  Info->Extensions = "zvk;;zvx";
  Info->TestProc = IsZvkStream;
  EXPECT_EQ(RegisterFileFormat(std::move(Info)), int32_t(Before));
  // A second row for an id the library already has is found by its own extensions.
  auto Jpeg2 = std::make_unique<TIEFileFormatInfo>();
  Jpeg2->FileType = ftJpeg;
  Jpeg2->Extensions = "JPX";
  RegisterFileFormat(std::move(Jpeg2));

  EXPECT_EQ(FileTypeOfExtension("ZVK"), 100u);
  EXPECT_EQ(GetFormatExtensionCount(100), 1);  // the empty item ends the list
  EXPECT_EQ(FileTypeOfExtension("zvx"), ftUnknown);
  EXPECT_EQ(FileTypeOfExtension("jpx"), ftJpeg);

  Bytes Data = Text("xxZVK!");
  Data = Padded(Data, 30, 0);
  std::unique_ptr<TMemoryStream> S(StreamOf(Data));
  S->SetPosition(2);
  EXPECT_EQ(DetectStreamFormat(S.get()), 100u);
  EXPECT_EQ(S->Position(), 2);

  // A row of a format outside the built-in set is trusted by its extension.
  const std::string Path = WriteFile("png_bytes.zvk", PngBytes());
  EXPECT_EQ(DetectFileFormat(Path, true), 100u);

  UnregisterFileFormat(100);
  EXPECT_EQ(FindFormatInfoByType(100), nullptr);
  S->SetPosition(2);
  EXPECT_EQ(DetectStreamFormat(S.get()), ftUnknown);
}

TEST(FormatRegistry, NothingIsThereBeforeStartUpOrAfterShutDown) {
  EXPECT_FALSE(FormatRegistry);
  EXPECT_EQ(FindFormatInfoByType(ftGif), nullptr);
  EXPECT_EQ(FileTypeOfExtension("gif"), ftUnknown);
  EXPECT_EQ(RegisterFileFormat(std::make_unique<TIEFileFormatInfo>()), -1);
  RegisterImagingIOStep();
  LibraryStartup();
  EXPECT_EQ(FileTypeOfExtension("gif"), ftGif);
  LibraryShutdown();
  EXPECT_FALSE(FormatRegistry);
}

// ---- Detection -----------------------------------------------------------------------------------------

struct DetectCase {
  const char* Label;
  Bytes Data;
  uint32_t Expected;
  const char* Ext;  // an extension of the format's row ("" when it has none)
  // The size limits of the first tests are on the whole stream, so a case that turns on them reads
  // differently further into a longer stream.
  bool SizeBound = false;
};

std::vector<DetectCase> DetectCases() {
  return {
      {"BMP", Written(ftBmp), ftBmp, "bmp"},
      {"GIF", Written(ftGif), ftGif, "gif"},
      {"TIFF II", TiffLike(true, 42, {{256, 4}, {257, 4}, {258, 8}}), ftTiff, "tif"},
      {"TIFF MM", TiffLike(false, 42, {{256, 4}, {257, 4}}), ftTiff, "tiff"},
      {"TIFF stream header", StreamHeader("TIFF", TiffLike(true, 42, {{256, 4}, {257, 4}})), ftTiff, "fax"},
      {"JPEG", JpegBytes(), ftJpeg, "jpg"},
      {"JPEG after 149 bytes", JpegBytes(149), ftJpeg, "jpeg"},
      {"JFIF stream header before a PNG", StreamHeader("JFIF", PngBytes()), ftJpeg, "jpe"},
      {"PNG", PngBytes(), ftPng, "png"},
      {"PCX", PcxBytes(), ftPcx, "pcx"},
      {"PCX2 stream header", StreamHeader("PCX2", PcxBytes()), ftPcx, "pcx"},
      {"short PCX header", Padded(Text(std::string("PCX\0", 4)), 20, 0x33), ftPcx, "pcx"},
      {"TGA", TgaBytes(), ftTga, "tga"},
      {"PSD", PsdBytes(), ftPsd, "psd"},
      {"DICOM", DicomBytes(), ftDicom, "dcm"},
      {"ICO", IconBytes(1), ftIco, "ico"},
      {"CUR", IconBytes(2), ftCur, "cur"},
      {"PNM P1", Text("P1\n# a comment\n2 2\n0 1\n1 0\n"), ftPnm, "pbm"},
      {"PNM P2", Text("P2 2 1 255 0 255"), ftPnm, "pgm"},
      {"PNM P3", Text("P3\n1 1\n255\n1 2 3\n"), ftPnm, "ppm"},
      {"PNM P4", Text("P4\n8 1\n\x55"), ftPnm, "pbm"},
      {"PNM P5", Text("P5 # comment\n1 1\n255\n\x7f"), ftPnm, "pgm"},
      {"PNM P6", Text("P6\n1 1\n255\n\x01\x02\x03"), ftPnm, "pxm"},
      {"JPEG 2000", Jp2Bytes(), ftJp2, "jp2"},
      {"JPEG 2000 code stream", J2kBytes(), ftJ2k, "j2k"},
      {"HD Photo", HdPhotoBytes(), ftHdPhoto, ""},
      {"AVI", AviBytes(), ftAvi, ""},
      {"DCX", DcxBytes(), ftDcx, "dcx"},
      {"placeable WMF", WmfBytes(true), ftWmf, "wmf"},
      {"plain WMF", WmfBytes(false), ftWmf, "wmf"},
      {"EMF", EmfBytes(), ftEmf, "emf"},
      {"layers", LayersBytes(), ftLyr, "lyr"},
      {"text", Text("Hello, this is not an image at all, only some words."), ftUnknown, ""},
      {"zeros", Bytes(300, 0), ftUnknown, ""},
      {"empty", Bytes(), ftUnknown, ""},
      {"JPEG after 150 bytes", JpegBytes(150), ftUnknown, ""},
      {"13-byte GIF", Padded(Text("GIF89a"), 13, 0), ftUnknown, "", true},
      {"PNM without height", Text("P2 2"), ftUnknown, ""},
      {"TIFF without a length tag", TiffLike(true, 42, {{256, 4}}), ftUnknown, ""},
      {"TIFF directory past the end", Padded(Text(std::string("II*\0\xF0\0\0\0", 8)), 20, 0), ftUnknown, ""},
      {"icon entry pointing into its directory", [] { Bytes b = IconBytes(1); b[18] = 10; return b; }(), ftUnknown, ""},
      {"PSD of 30 channels", [] { Bytes b = PsdBytes(); b[13] = 30; return b; }(), ftUnknown, ""},
      {"DCX page past the end", [] { Bytes b = DcxBytes(); b[5] = 0x40; return b; }(), ftUnknown, ""},
      {"WMF of type 2", [] { Bytes b = WmfBytes(false); b[0] = 2; return b; }(), ftUnknown, ""},
      {"EMF cut at 43 bytes", [] { Bytes b = EmfBytes(); b.resize(43); return b; }(), ftUnknown, ""},
  };
}

TEST_F(FormatRegistryTest, DetectsEachFormatByContentAndPutsThePositionBack) {
  for (const DetectCase& c : DetectCases()) {
    SCOPED_TRACE(c.Label);
    std::unique_ptr<TMemoryStream> S(StreamOf(c.Data));
    EXPECT_EQ(DetectStreamFormat(S.get()), c.Expected);
    EXPECT_EQ(S->Position(), 0);
    if (c.SizeBound) continue;
    // The same image further into a stream, after other bytes.
    Bytes Shifted = Text("#####!!");
    Shifted.insert(Shifted.end(), c.Data.begin(), c.Data.end());
    std::unique_ptr<TMemoryStream> T(StreamOf(Shifted));
    T->SetPosition(7);
    EXPECT_EQ(DetectStreamFormat(T.get()), c.Expected);
    EXPECT_EQ(T->Position(), 7);
  }
}

TEST_F(FormatRegistryTest, DetectsEachFormatByFileNameAndExtension) {
  int n = 0;
  for (const DetectCase& c : DetectCases()) {
    SCOPED_TRACE(c.Label);
    const std::string Ext = *c.Ext ? c.Ext : "dat";
    const std::string Path = WriteFile("case" + std::to_string(n++) + "." + Ext, c.Data);
    EXPECT_EQ(DetectFileFormat(Path, false), c.Expected);
    if (*c.Ext) {
      EXPECT_EQ(FileTypeOfExtension(c.Ext), c.Expected);
      EXPECT_EQ(DetectFileFormat(Path, true), c.Expected);
    } else {
      // With no row for the extension a verified answer cannot stand.
      EXPECT_EQ(DetectFileFormat(Path, true), ftUnknown);
    }
  }
}

TEST_F(FormatRegistryTest, FileNamesAreReconciledWithTheirExtension) {
  const std::string PngAsJpg = WriteFile("png.jpg", PngBytes());
  EXPECT_EQ(DetectFileFormat(PngAsJpg, true), ftUnknown);
  EXPECT_EQ(DetectFileFormat(PngAsJpg, false), ftPng);
  // Icons and cursors share their layout and take their extension's type.
  EXPECT_EQ(DetectFileFormat(WriteFile("icon.cur", IconBytes(1)), true), ftCur);
  EXPECT_EQ(DetectFileFormat(WriteFile("cursor.ICO", IconBytes(2)), true), ftIco);
  EXPECT_EQ(DetectFileFormat(WriteFile("icon.png", IconBytes(1)), true), ftUnknown);
  // A plain TIFF named as a camera raw file is one.
  const Bytes Tiff = TiffLike(true, 42, {{256, 400}, {257, 300}});
  EXPECT_EQ(DetectFileFormat(WriteFile("photo.nef", Tiff), false), ftCameraRaw);
  EXPECT_EQ(DetectFileFormat(WriteFile("photo.nef2", Tiff), false), ftTiff);
  EXPECT_EQ(DetectFileFormat(TempPath("missing.png"), false), ftUnknown);
  EXPECT_EQ(DetectFileFormat("", false), ftUnknown);
}

TEST_F(FormatRegistryTest, TiffBuiltCameraRawIsLeftToTheCameraIdentification) {
  const Bytes Dng = TiffLike(true, 42, {{256, 400}, {257, 300}, {0xC612, 1}});
  const Bytes Cfa = TiffLike(true, 42, {{256, 400}, {257, 300}, {262, 32803}});
  const Bytes SmallMain = TiffLike(true, 42, {{256, 160}, {257, 120}, {330, 200}});
  for (const Bytes* Data : {&Dng, &Cfa, &SmallMain}) {
    std::unique_ptr<TMemoryStream> S(StreamOf(*Data));
    EXPECT_EQ(DetectStreamFormat(S.get()), ftUnknown);
    FormatTests.IsCameraRawStream = [](TStream*) { return true; };
    EXPECT_EQ(DetectStreamFormat(S.get()), ftCameraRaw);
    ResetFormatTests();
  }
}

TEST_F(FormatRegistryTest, ATestThatFailsOnBrokenDataEndsDetectionWithThePositionBack) {
  // PNM comes after the icon test; a failing icon test leaves it unfound.
  FormatTests.IcoTest = [](TStream* Stream) -> bool {
    Stream->Seek(3, soCurrent);
    throw std::runtime_error("broken");
  };
  const Bytes Pnm = Text("P6\n1 1\n255\n\x01\x02\x03");
  std::unique_ptr<TMemoryStream> S(StreamOf(Pnm));
  EXPECT_EQ(DetectStreamFormat(S.get()), ftUnknown);
  EXPECT_EQ(S->Position(), 0);
  // What an earlier test found stands.
  const Bytes Png = PngBytes();
  std::unique_ptr<TMemoryStream> P(StreamOf(Png));
  EXPECT_EQ(DetectStreamFormat(P.get()), ftPng);
}

TEST_F(FormatRegistryTest, AviIsARiffFileOfThatKind) {
  std::unique_ptr<TMemoryStream> Avi(StreamOf(AviBytes()));
  EXPECT_TRUE(IsAviStream(Avi.get()));
  EXPECT_EQ(Avi->Position(), 0);
  Bytes Wave = AviBytes();
  std::memcpy(Wave.data() + 8, "WAVE", 4);
  std::unique_ptr<TMemoryStream> W(StreamOf(Wave));
  EXPECT_FALSE(IsAviStream(W.get()));
}

}  // namespace
}  // namespace zv
