// How file names reach FFmpeg and come back, and the "unicode:utf8:" protocol: a custom AVIOContext
// over our own file stream for the names that FFmpeg's own file access cannot be given as they are.
#pragma once

#include <string>

#include "ffmpeg/avformat_stubs.h"

namespace zv {

// Whether the protocol is available: set each time avformat is loaded, cleared when it is unloaded.
bool UnicodeProtocolRegistered();
void RegisterUnicodeProtocol();
void UnregisterUnicodeProtocol();

// The name to hand to FFmpeg: UTF-8, except that a still-image name that needs the protocol becomes a
// "unicode:utf8:" URL. Cut to 2047 bytes.
std::string ToFFmpegFileName(const std::string& Name);
// The file name behind a name FFmpeg reports back.
std::string FromFFmpegFileName(const std::string& Name);
// The codec of an image-sequence name by its extension (case-insensitive); AV_CODEC_ID_NONE when it is
// not one.
AVCodecID GuessImage2Codec(const std::string& Name);
// False for a name that begins with a protocol FFmpeg knows (http:, pipe: ...); else whether the name
// does not survive the system's code page (UTF-8 here: bytes that are not UTF-8).
bool NeedsUnicodeProtocol(const std::string& Name);
bool IsUnicodeURL(const std::string& Name);
std::string MakeUnicodeURL(const std::string& Name);
// The file name inside a URL: everything after the second ':' ("unicode:" and "utf8:" go).
std::string UnicodeURLToWide(const std::string& URL);

// Opens the file that a "unicode:utf8:" URL names as an AVIOContext; Flags are AVIO_FLAG_READ and/or
// AVIO_FLAG_WRITE (any writing creates the file anew). Returns 0, or AVERROR(ENOENT) when the file
// cannot be opened.
int UnicodeProtocolOpen(AVIOContext** Context, const std::string& URL, int Flags);
// Closes a context that UnicodeProtocolOpen made and sets it to nullptr.
void UnicodeProtocolClose(AVIOContext** Context);
bool IsUnicodeProtocolContext(const AVIOContext* Context);

// avformat_open_input that serves "unicode:utf8:" URLs through the protocol. Like it, a failure frees
// the context and leaves *Context nullptr.
int OpenInputFile(AVFormatContext** Context, const std::string& URL, const AVInputFormat* Format,
                  AVDictionary** Options);
// avformat_close_input that also closes the protocol's file.
void CloseInputFile(AVFormatContext** Context);

}  // namespace zv
