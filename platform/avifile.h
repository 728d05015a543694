// The AVI file library calls the I/O component reads video frames with: our own RIFF reader that serves
// the first video stream of uncompressed (BI_RGB) frames, found through the idx1 index or, without one,
// by walking the movi list. Other compressions fail AVIStreamGetFrameOpen, as on a system without the
// codec. A returned frame is a packed DIB (header, colour table, bottom-up rows) valid until the next
// AVIStreamGetFrame on that reader or its close.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gdi.h"

namespace zv {

using HRESULT = int32_t;
constexpr HRESULT AVIERR_OK = 0;
constexpr HRESULT AVIERR_FILEOPEN = static_cast<HRESULT>(0x80044069);
constexpr HRESULT AVIERR_NODATA = static_cast<HRESULT>(0x8004406F);
constexpr HRESULT AVIERR_BADFORMAT = static_cast<HRESULT>(0x8004406A);

constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}
constexpr uint32_t streamtypeVIDEO = MakeFourCC('v', 'i', 'd', 's');
constexpr uint32_t OF_READ = 0;

struct AVISTREAMINFOW {
  uint32_t fccType = 0;
  uint32_t fccHandler = 0;
  uint32_t dwFlags = 0;
  uint32_t dwCaps = 0;
  uint16_t wPriority = 0;
  uint16_t wLanguage = 0;
  uint32_t dwScale = 0;
  uint32_t dwRate = 0;
  uint32_t dwStart = 0;
  uint32_t dwLength = 0;  // frames the reader can serve
  uint32_t dwInitialFrames = 0;
  uint32_t dwSuggestedBufferSize = 0;
  uint32_t dwQuality = 0;
  uint32_t dwSampleSize = 0;
  int32_t rcFrame[4] = {0, 0, 0, 0};
  uint32_t dwEditCount = 0;
  uint32_t dwFormatChangeCount = 0;
  char16_t szName[64] = {};
};

namespace avi {
struct TAviFileState;
struct TAviStreamState;
struct TAviFrameReader;
}  // namespace avi
using PAVIFILE = avi::TAviFileState*;
using PAVISTREAM = avi::TAviStreamState*;
using PGETFRAME = avi::TAviFrameReader*;

void AVIFileInit();
void AVIFileExit();
// Reads the file's headers and frame list; AVIERR_FILEOPEN when it cannot be read, AVIERR_BADFORMAT when
// it is not a sound RIFF AVI file.
HRESULT AVIFileOpenW(PAVIFILE* File, const std::string& FileName, uint32_t Mode, void* Handler);
uint32_t AVIFileRelease(PAVIFILE File);
// The Param-th stream of type Type (only streamtypeVIDEO streams with at least one frame are served).
HRESULT AVIFileGetStream(PAVIFILE File, PAVISTREAM* Stream, uint32_t Type, int32_t Param);
uint32_t AVIStreamRelease(PAVISTREAM Stream);
HRESULT AVIStreamInfoW(PAVISTREAM Stream, AVISTREAMINFOW* Info, int32_t Size);
// nullptr unless the stream holds uncompressed frames of a bit count we can lay out; Wanted must be nullptr.
PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM Stream, const BITMAPINFOHEADER* Wanted);
// The packed DIB of frame Pos, nullptr past the end or when the frame's chunk is short or unreadable.
void* AVIStreamGetFrame(PGETFRAME Reader, int32_t Pos);
HRESULT AVIStreamGetFrameClose(PGETFRAME Reader);
// The bit count of the stream's frames: 15 for uncompressed 16-bit (5-5-5) frames, which are handed out
// as 16-bit DIBs.
uint16_t AviStreamBitCount(PAVISTREAM Stream);

}  // namespace zv
