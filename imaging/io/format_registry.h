// The image library's file formats: one id per format, the registry of formats with their names,
// extensions and routines, and recognition of a format from a stream's bytes or a file's name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/iedefs.h"
#include "platform/objects.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIOParamsVals;

// ---- File-type ids ----------------------------------------------------------------------------------
// The one number per image format that TIOParamsVals::FileType holds after every load and save.
constexpr uint32_t ftUnknown = 0;
constexpr uint32_t ftTiff = 1;
constexpr uint32_t ftGif = 2;
constexpr uint32_t ftJpeg = 3;
constexpr uint32_t ftPcx = 4;
constexpr uint32_t ftBmp = 5;
constexpr uint32_t ftIco = 6;
constexpr uint32_t ftCur = 7;
constexpr uint32_t ftPng = 8;
constexpr uint32_t ftWmf = 9;
constexpr uint32_t ftEmf = 10;
constexpr uint32_t ftTga = 11;
constexpr uint32_t ftPnm = 12;
constexpr uint32_t ftJp2 = 13;
constexpr uint32_t ftJ2k = 14;
constexpr uint32_t ftAvi = 15;  // no registry row: AVI frames are read by their own members
constexpr uint32_t ftWbmp = 16;
constexpr uint32_t ftPs = 17;
constexpr uint32_t ftPdf = 18;
constexpr uint32_t ftDcx = 19;
constexpr uint32_t ftCameraRaw = 20;
constexpr uint32_t ftRawBitmap = 21;  // headerless pixels: never detected
constexpr uint32_t ftPsd = 24;
constexpr uint32_t ftIev = 25;
constexpr uint32_t ftLyr = 26;
constexpr uint32_t ftAll = 27;
constexpr uint32_t ftDicom = 28;
constexpr uint32_t ftHdPhoto = 29;

// ---- Routines of a registry row ------------------------------------------------------------------------
// Codec calling pattern: the stream is read or written from its position, failure sets the abort byte
// the progress record points to; with ParamsOnly a reader fills only the parameters.
using TIEReadProc = void (*)(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                             bool ParamsOnly);
using TIEWriteProc = void (*)(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);
// True when the stream, at its position, holds the format FileType; called with the row's own id.
using TIETestProc = bool (*)(TStream* Stream, uint32_t FileType);

// One row of the registry: a format, how it is named and which routines read, write and test it.
class TIEFileFormatInfo : public TObject {
public:
  uint32_t FileType = ftUnknown;
  std::string Name;
  // Without dots, separated by ";", compared without regard to case.
  std::string Extensions;
  // Set on every row the library builds itself. A row of a format outside that set is trusted by its
  // extension over the file's bytes.
  bool BuiltIn = false;
  // Pages of the save-parameters dialog: 4 JPEG, 8 TIFF, 16 GIF, 32 BMP, 64 PCX, 128 PNG, 256 TGA,
  // 512 JPEG 2000.
  uint16_t DialogPages = 0;
  TIEReadProc ReadProc = nullptr;    // nullptr: the format is not read
  TIEWriteProc WriteProc = nullptr;  // nullptr: the format is not written
  TIETestProc TestProc = nullptr;    // nullptr: the row takes no part in detection
};

using TIEFormatList = std::vector<std::unique_ptr<TIEFileFormatInfo>>;

// The registry, in registration order; lookups take the first row that matches. nullptr until the
// I/O unit's start-up builds it and again after its shut-down.
extern std::unique_ptr<TIEFormatList> FormatRegistry;

// Placeholders of the built-in rows until their format's codec fills them: reading and writing fail
// the way a codec fails (the abort byte is set), the test answers no.
void StubReadProc(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                  bool ParamsOnly);
void StubWriteProc(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);
bool StubTestProc(TStream* Stream, uint32_t FileType);

// Codecs of the built-in formats that live above the I/O library (the file-format library), which
// hands them over at start-up, before the registry is built: a built-in row takes the routines
// installed for its id in place of its placeholders (only where the row reads or writes at all). An
// installation or removal while the registry exists changes its row at once. A nullptr routine leaves
// that side on its placeholder.
void InstallFormatCodec(uint32_t FileType, TIEReadProc ReadProc, TIEWriteProc WriteProc);
// Puts the placeholders back for that id.
void RemoveFormatCodec(uint32_t FileType);

// Creates the registry with its 25 built-in rows, 26 when the platform's imaging codecs can write HD
// Photo (FormatTests.WicAvailable). An existing registry is freed first.
void BuildFormatRegistry();
void FreeFormatRegistry();
// Appends a row, which the registry then owns; returns its index, -1 (the row freed) when the
// registry has not been built.
int32_t RegisterFileFormat(std::unique_ptr<TIEFileFormatInfo> Info);
// Removes and frees the first row of that id; nothing when there is none.
void UnregisterFileFormat(uint32_t FileType);
TIEFileFormatInfo* FindFormatInfoByType(uint32_t FileType);
// The N-th extension (from 0) of the first row of that id, as the row spells it; empty when there is
// none. An empty item (";;") ends the list.
std::string GetFormatExtension(uint32_t FileType, int32_t N);
int32_t GetFormatExtensionCount(uint32_t FileType);
// The first row listing Ext (any case, with or without its dot), else nullptr.
TIEFileFormatInfo* FindFormatInfoByExtension(const std::string& Ext);
// The id of that row, ftUnknown when there is none.
uint32_t FileTypeOfExtension(const std::string& Ext);

// The format of the image at the stream's position, or ftUnknown. The position is the same afterwards,
// also when a test fails on broken data.
uint32_t DetectStreamFormat(TStream* Stream);
// The format of the named file by its bytes, reconciled with the row of its extension. With Verify a
// file whose bytes and extension disagree is ftUnknown (except icons and cursors, which take their
// extension's type). A missing or unreadable file is ftUnknown.
uint32_t DetectFileFormat(const std::string& FileName, bool Verify);
// A RIFF AVI file; the position is the same afterwards.
bool IsAviStream(TStream* Stream);

// ---- Content tests of the formats ---------------------------------------------------------------------
// The tests that detection runs in its fixed order. Each reads at the stream's position and puts it
// back. The library's own header checks stand in until a format's codec installs its own test; the
// tests of units built above the I/O library (vector objects, layers) and the camera-raw
// identification answer no until their units install theirs.
using TIEStreamTest = bool (*)(TStream* Stream);
struct TIEFormatTests {
  TIEStreamTest IsHdPhotoStream;    // "II" header, magic 0x01BC, directory with the HD Photo tags
  TIEStreamTest IsTiffStream;       // "II"/"MM" header, a directory in the stream with width and length
  TIEStreamTest IsCameraRawTiff;    // TIFF-built camera raw or DNG
  TIEStreamTest IsPngStream;        // the PNG signature (its first 4 of the 8 bytes read)
  TIEStreamTest IsDicomStream;      // "DICM" after the 128-byte preamble
  TIEStreamTest IcoTest;            // icon directory (type 1)
  TIEStreamTest CurTest;            // cursor directory (type 2)
  TIEStreamTest IsTgaStream;        // a plausible 18-byte Targa header
  TIEStreamTest PnmTest;            // "P1" to "P6" with a width and a height above 0
  TIEStreamTest IsJp2Stream;        // the JP2 signature box
  TIEStreamTest IsJ2kStream;        // code stream: FF 4F FF 51
  TIEStreamTest IsDcxStream;        // DCX magic with every page offset inside the stream
  TIEStreamTest WmfTest;            // placeable or plain Windows metafile
  TIEStreamTest EmfTest;            // enhanced metafile header record
  TIEStreamTest IsPsdStream;        // "8BPS" with a plausible header
  TIEStreamTest IsIevStream;        // vector objects
  TIEStreamTest IsLayersStream;     // "IMAGINGLAYERS" with a layer count above 0
  TIEStreamTest IsAllStream;        // layers and vector objects
  TIEStreamTest IsCameraRawStream;  // camera identification
  // Without Scan: 0 when FF D8 FF stands at the position, else -1. With Scan: the absolute offset of
  // the first of the positions P to P + 149 where it stands, else -1.
  int64_t (*JpegFindSoi)(TStream* Stream, bool Scan);
  // The platform's imaging codecs (HD Photo) can be used.
  bool (*WicAvailable)();
};
extern TIEFormatTests FormatTests;
// Puts the library's own tests back into FormatTests.
void ResetFormatTests();

}  // namespace zv
