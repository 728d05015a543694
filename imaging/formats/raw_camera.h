// Camera raw decoding: the context of one decode, the byte-order readers and small helpers every raw
// routine shares, the reader RawCameraLoad with its steps and progress, and the format test.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "imaging/core/iedefs.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIOParamsVals;

static_assert(std::endian::native == std::endian::little, "the raw decoder runs on little-endian hosts only");

constexpr uint16_t RawOrderIntel = 0x4949;     // "II"
constexpr uint16_t RawOrderMotorola = 0x4D4D;  // "MM"
constexpr int32_t RawDecodePoolSize = 2048;
// The working image of one decode may take at most this many bytes (8 bytes a pixel).
constexpr int64_t RawMostImageBytes = int64_t(1) << 32;

// One pixel of the working image: a sample per colour index 0..3.
using TRawPixel = std::array<uint16_t, 4>;

// A node of a Huffman tree in the context's pool: a leaf when Branch[0] is empty.
struct TRawDecodeNode {
  TRawDecodeNode* Branch[2] = {nullptr, nullptr};
  int32_t Leaf = 0;
};

struct TRawCameraContext;
using TRawLoader = void (*)(TRawCameraContext& C);

// Everything one decode knows about one file. Created by the caller of each decode.
struct TRawCameraContext {
  std::vector<TRawPixel> Image;  // IHeight x IWidth
  TStream* Stream = nullptr;
  uint16_t ByteOrder = RawOrderIntel;
  char Make[64] = {};
  char Model[64] = {};
  char Model2[64] = {};
  int32_t Timestamp = 0;
  int32_t DataOffset = 0;
  int32_t CurveOffset = 0, CurveLength = 0;
  int32_t Compression = 0, Photometric = 0;
  int32_t RawHeight = 0, RawWidth = 0;
  int32_t TopMargin = 0, LeftMargin = 0;
  int32_t Height = 0, Width = 0;
  int32_t Colors = 3;
  int32_t Black = 0;
  int32_t RgbMax = 0x4000;
  int32_t IHeight = 0, IWidth = 0;
  int32_t Shrink = 0;
  int32_t IsCanon = 0, IsCMY = 0, IsFoveon = 0, UseCoeff = 0;
  int32_t Trim = 0;
  int32_t Flip = 0;
  int32_t YMag = 1;
  int32_t ZeroAfterFF = 0;
  uint32_t Filters = 0;
  uint16_t White[8][8] = {};
  TRawLoader LoadRaw = nullptr;
  float Gamma = 0.6f, Bright = 1.0f, RedScale = 1.0f, BlueScale = 1.0f;
  int32_t FourColorRGB = 0, UseAutoWB = 0, UseCameraWB = 0;
  float CameraRed = 0, CameraBlue = 0;
  float PreMul[4] = {1, 1, 1, 1};
  float Coeff[3][4] = {};
  std::vector<int32_t> Histogram = std::vector<int32_t>(8192);
  uint8_t JpegBuffer[4096] = {};
  uint32_t SonyPad[128] = {};
  uint32_t SonyIndex = 0;
  uint32_t SonyKey = 0;
  uint32_t BitBuffer = 0;
  int32_t BitCount = 0;
  // Bytes the bit reader made up past the end of the stream (zeros).
  int32_t BitPadding = 0;
  int32_t TreeLeaf = 0;  // leaves made so far by the tree builder
  TRawDecodeNode* RadcRoots[18] = {};
  const int32_t* RadcPairs = nullptr;  // the walking pointer through the RADC pairs
  std::vector<TRawDecodeNode> DecodeNodes = std::vector<TRawDecodeNode>(RawDecodePoolSize);
  TRawDecodeNode* SecondDecode = nullptr;
  TRawDecodeNode* FreeDecode = nullptr;
  uint8_t FujiLayout = 0;
  // Set by any read that met the end of the stream.
  bool EndOfData = false;
  // Set by a loader that stopped on damaged or missing data (SetAborted).
  bool LoadFailed = false;
  // The caller's progress record; PerStep is the loaders' row step.
  TIEProgressRecord Progress;

  // Resets the bit reader, the tree counter, the RADC roots and the walking pointer.
  void ResetDecoderState();
  // The colour of sensor pixel (Row, Col) by Filters.
  int32_t FilterColor(int32_t Row, int32_t Col) const {
    return int32_t((Filters >> ((((Row << 1) & 14) + (Col & 1)) << 1)) & 3);
  }
  // Stores Value at the sensor position (Row, Col) in the channel of its colour; positions outside the
  // working image are dropped.
  void Store(int32_t Row, int32_t Col, int32_t Value) { StoreChannel(Row, Col, FilterColor(Row, Col), Value); }
  void StoreChannel(int32_t Row, int32_t Col, int32_t Channel, int32_t Value) {
    if (Row < 0 || Col < 0) return;
    const int32_t R = Row >> Shrink, Cl = Col >> Shrink;
    if (R >= IHeight || Cl >= IWidth || size_t(R) * size_t(IWidth) + size_t(Cl) >= Image.size()) return;
    Image[size_t(R) * size_t(IWidth) + size_t(Cl)][Channel & 3] = uint16_t(Value);
  }
  // The sample stored at (Row, Col) in the channel of its colour; 0 outside the working image.
  int32_t Fetch(int32_t Row, int32_t Col) const {
    if (Row < 0 || Col < 0) return 0;
    const int32_t R = Row >> Shrink, Cl = Col >> Shrink;
    if (R >= IHeight || Cl >= IWidth || size_t(R) * size_t(IWidth) + size_t(Cl) >= Image.size()) return 0;
    return Image[size_t(R) * size_t(IWidth) + size_t(Cl)][FilterColor(Row, Col)];
  }
  // Loader progress: the row step is 100 / Rows / 2; Row reports Round(Row x step).
  void StartRows(int32_t Rows);
  void ReportRow(int32_t Row);
  // Ends a loader that met the end of its data: the abort byte is set, the image keeps what was read.
  void SetAborted() {
    LoadFailed = true;
    Progress.SetAborted();
  }
  // True when the bits handed out ran into the zeros the bit reader made up past the end of the stream.
  bool BitsPastEnd() const { return BitPadding * 8 > BitCount; }
};

// ---- Byte-order readers and byte helpers -------------------------------------------------------------------

// One byte; 0 past the end of the stream (EndOfData is set).
uint8_t GetByte(TRawCameraContext& C);
// Two or four bytes in the context's byte order.
uint16_t Get2(TRawCameraContext& C);
uint32_t Get4(TRawCameraContext& C);
// Reads Count bytes; what the stream does not hold is zero-filled and sets EndOfData. Answers the count read.
int64_t RawRead(TRawCameraContext& C, void* Buffer, int64_t Count);
void RawSeek(TRawCameraContext& C, int64_t Position);
int64_t RawTell(TRawCameraContext& C);

uint16_t SwapWord(uint16_t Value);
uint32_t SwapDWord(uint32_t Value);
// Exchanges the bytes of each pair; an odd last byte is left alone. Source and Dest may be the same.
void Swab(const void* Source, void* Dest, int64_t Count);

// ---- Strings ----------------------------------------------------------------------------------------------

bool RawStrEqual(const char* A, const char* B);
bool RawStrEqualNoCase(const char* A, const char* B);
bool RawStrStartsWith(const char* Text, const char* Prefix, size_t N);
bool RawStrContains(const char* Text, const char* Part);
// First position of Pattern in Buffer, -1 when it is not there.
int64_t MemSearch(const uint8_t* Buffer, int64_t Length, const uint8_t* Pattern, int64_t PatternLength);
// Copies Text into a 64-byte field, cut to 63 characters and NUL-terminated.
void RawSetText(char (&Field)[64], const std::string& Text);

// Raises Exception ": Out of memory in " + Routine when Pointer is empty.
void CheckAlloc(const void* Pointer, const char* Routine);
// Makes Buffer Count elements long (zeros), raising the out-of-memory text for Routine when it cannot or
// when that would take more than RawMostImageBytes.
template <class T>
void RawAllocate(std::vector<T>& Buffer, int64_t Count, const char* Routine) {
  const T* Pointer = nullptr;
  try {
    if (Count >= 0 && Count <= RawMostImageBytes / int64_t(sizeof(T))) {
      Buffer.assign(size_t(Count), T());
      Pointer = Buffer.data();
    }
  } catch (const std::bad_alloc&) {
    Pointer = nullptr;
  }
  if (Count == 0) return;
  CheckAlloc(Pointer, Routine);
}

// ---- The reader, the format test and the stages installed later ------------------------------------------

// The stages of a full decode that other units provide. An empty stage is skipped, except: without
// Identify nothing is recognised, and without Output a full decode sets the abort byte once the sensor
// data are read.
struct TRawCameraStages {
  int32_t (*Identify)(TRawCameraContext& C) = nullptr;  // 0 success, 1 failure
  void (*ReadTiffMetadata)(TStream* Stream, TIOParamsVals& Params) = nullptr;
  void (*ReadCiffMetadata)(TStream* Stream, TIOParamsVals& Params) = nullptr;
  void (*ScaleColors)(TRawCameraContext& C) = nullptr;
  void (*FoveonProcess)(TRawCameraContext& C) = nullptr;
  void (*Interpolate)(TRawCameraContext& C) = nullptr;
  // Conversion to RGB with the histogram; Gamma is the 65536-entry table of step 9.
  void (*ConvertToRgb)(TRawCameraContext& C, std::vector<double>& Gamma) = nullptr;
  void (*Output)(TRawCameraContext& C, TIEBitmap* Bitmap, bool Rgb48, std::vector<double>& Gamma) = nullptr;
  void (*FujiRotate)(TRawCameraContext& C, TIEBitmap* Bitmap) = nullptr;
};
TRawCameraStages& RawCameraStages();

void RawCameraLoad(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TIEProgressRecord& Progress);
// True when the identification recognises the stream; the position is put back.
bool IsCameraRawStream(TStream* Stream);

}  // namespace zv
