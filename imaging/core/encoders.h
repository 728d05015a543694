// Text and run-length encoders used by the PostScript and PDF writers and the I/O component's text
// export: ASCII85, PackBits-style run-length and base64; plus bounded decoders for the same forms.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zv {

class TStream;

// ---- ASCII85 ---------------------------------------------------------------------------------------

// Encodes N (1..4) bytes from Src into Dst, advancing both; returns the characters written (the
// single "z" for four zero bytes, else N + 1).
int32_t ASCII85EncodeGroup(const uint8_t*& Src, int32_t N, char*& Dst);
// Encodes Count bytes with CR LF after each group that brings a line to 75 or more characters and
// "~>" CR LF at the end, advancing Src and Dst. Adds the data characters (not line breaks or the end
// marker) to Written; returns every character written. Dst needs ASCII85EncodedSize(Count) bytes.
int32_t ASCII85EncodeBuffer(const uint8_t*& Src, int32_t Count, char*& Dst, int32_t& Written);
// Room that ASCII85EncodeBuffer needs at most for Count bytes.
int64_t ASCII85EncodedSize(int64_t Count);
// Decodes ASCII85 text (white space ignored, "~>" ends it) into at most DstSize bytes. Returns the
// bytes written, or -1 for text that is not ASCII85 or does not fit.
int32_t ASCII85Decode(const char* Src, int32_t SrcSize, uint8_t* Dst, int32_t DstSize);

// ---- Run-length ------------------------------------------------------------------------------------

// Encodes Count bytes into Dst (2 x Count + 1 bytes always suffice), ending with the end-of-data
// byte 128; returns the output length.
int32_t PackBitsEncode(const uint8_t* Src, int32_t Count, uint8_t* Dst);
// Decodes up to the end-of-data byte or the end of Src into at most DstSize bytes. Returns the bytes
// written, or -1 when a run is cut short by the end of Src or does not fit in Dst.
int32_t PackBitsDecode(const uint8_t* Src, int32_t SrcSize, uint8_t* Dst, int32_t DstSize);

// ---- Base64 --------------------------------------------------------------------------------------------

// Encodes N (1..3) bytes at Src as four characters at Dst, "=" standing for each missing byte.
void Base64EncodeGroup(const uint8_t* Src, char* Dst, int32_t N);
// Writes Stream from its position to its end as base64 lines: a line is ended once it holds at least
// LineLength / 4 groups, or at the end of the stream; no empty line is written. WriteLine receives
// each line without its line end (the text file adds its own).
void StreamToBase64Text(TStream* Stream, const std::function<void(const std::string& Line)>& WriteLine,
                        int32_t LineLength);
// Decodes base64 (white space ignored) into at most DstSize bytes. Returns the bytes written, or -1 for
// text that is not base64 or does not fit.
int32_t Base64Decode(const char* Src, int32_t SrcSize, uint8_t* Dst, int32_t DstSize);

}  // namespace zv
