// Our stand-in for the platform's imaging component on Linux, for HD Photo only: decoding a frame in its
// own pixel layout and encoding rows of a listed layout, over jxrlib. Nothing of jxrlib shows here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace zv {

// The layouts the component hands over or takes: the last byte of the pixel-format identifier
// (6FDDC324-4E03-4BFE-B185-3D77768DC9xx); 0 for a layout it does not name this way.
enum TJxrLayout : uint8_t {
  jlUnknown = 0,
  jlBlackWhite = 0x05,
  jlGray8 = 0x08,
  jlGray16 = 0x0B,
  jlBGR24 = 0x0C,
  jlRGB24 = 0x0D,
  jlBGR32 = 0x0E,
  jlBGRA32 = 0x0F,
  jlRGB48 = 0x15,
  jlRGBA64 = 0x16,
  jlCMYK32 = 0x1C,
};

// Bytes a row of Width pixels takes in Layout (1 bit a pixel for black and white); 0 for an unknown one.
size_t JxrRowBytes(TJxrLayout Layout, int32_t Width);

struct TJxrFrameInfo {
  int32_t Width = 0;
  int32_t Height = 0;
  double DpiX = 0;
  double DpiY = 0;
  TJxrLayout Layout = jlUnknown;
  uint32_t Frames = 0;
};

class TJxrDecoder {
public:
  TJxrDecoder();
  ~TJxrDecoder();
  TJxrDecoder(const TJxrDecoder&) = delete;
  TJxrDecoder& operator=(const TJxrDecoder&) = delete;

  // Takes the file's bytes and reads its header; false when jxrlib cannot.
  bool Open(std::vector<uint8_t> File, TJxrFrameInfo& Info);
  // Decodes the whole frame into Rows (Info.Height rows of Stride bytes, Stride at least JxrRowBytes).
  bool Decode(uint8_t* Rows, size_t Stride);

private:
  struct TState;
  std::unique_ptr<TState> F;
};

struct TJxrEncodeSettings {
  TJxrLayout Layout = jlBGR24;
  int32_t Width = 0;
  int32_t Height = 0;
  double DpiX = 96;
  double DpiY = 96;
  // The encoder options, set by name through JxrSetEncoderOption.
  bool Lossless = false;
  double Quality = 0.9;  // "ImageQuality", 0 to 1 when not lossless
  bool UseCodecOptions = false;  // then the next three replace what the quality would choose
  uint8_t QuantIndex = 1;        // "Quality": 1 (finest) to 255
  uint8_t Overlap = 1;           // 0 none, 1 one level, 2 two levels
  uint8_t Subsampling = 3;       // colour layouts: 0 4:0:0, 1 4:2:0, 2 4:2:2, 3 4:4:4
  uint16_t HorizontalTileSlices = 0;  // divisions between tile rows
  uint16_t VerticalTileSlices = 0;    // divisions between tile columns
  bool FrequencyOrder = true;
};

// One option value as the component's property bag takes it: the variant type (VT_R4 4, VT_BOOL 11,
// VT_UI1 17, VT_UI2 18) and the value (a Boolean is -1 or 0).
struct TWicVariant {
  uint16_t Type = 0;
  double Value = 0;
};
constexpr uint16_t wvtFloat = 4;
constexpr uint16_t wvtBool = 11;
constexpr uint16_t wvtByte = 17;
constexpr uint16_t wvtWord = 18;

// Sets the encoder option Name; false, with the settings unchanged, for a name the HD Photo encoder does
// not know, a value of another type or one out of the option's range.
bool JxrSetEncoderOption(TJxrEncodeSettings& Settings, const char* Name, TWicVariant Value);

// Encodes Height rows of Stride bytes in the settings' layout as an HD Photo file into Out. False, with Out
// empty, when jxrlib refuses or would code another layout than the one asked for.
bool JxrEncode(const TJxrEncodeSettings& Settings, const uint8_t* Rows, size_t Stride, std::vector<uint8_t>& Out);

}  // namespace zv
