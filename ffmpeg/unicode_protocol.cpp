#include "ffmpeg/unicode_protocol.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "ffmpeg/avutil_stubs.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

bool Registered = false;

// Protocols whose names are handed to FFmpeg untouched.
constexpr std::string_view ProtocolPrefixes = ":unicode:stream:gopher:http:pipe:rtp:tcp:udp:";
constexpr std::string_view URLPrefix = "unicode:utf8:";
constexpr size_t MaxFFmpegName = 2047;
constexpr int IOBufferSize = 32768;

struct TImageExtension {
  const char* Extension;
  AVCodecID Codec;
};

// FFmpeg's own table of image-sequence extensions.
const TImageExtension ImageExtensions[] = {
    {"jpeg", AV_CODEC_ID_MJPEG},     {"jpg", AV_CODEC_ID_MJPEG},       {"jps", AV_CODEC_ID_MJPEG},
    {"ljpg", AV_CODEC_ID_LJPEG},     {"jls", AV_CODEC_ID_JPEGLS},      {"png", AV_CODEC_ID_PNG},
    {"pns", AV_CODEC_ID_PNG},        {"mng", AV_CODEC_ID_APNG},        {"ppm", AV_CODEC_ID_PPM},
    {"pnm", AV_CODEC_ID_PGM},        {"pgm", AV_CODEC_ID_PGM},         {"pgmyuv", AV_CODEC_ID_PGMYUV},
    {"pbm", AV_CODEC_ID_PBM},        {"pam", AV_CODEC_ID_PAM},         {"mpg1-img", AV_CODEC_ID_MPEG1VIDEO},
    {"mpg2-img", AV_CODEC_ID_MPEG2VIDEO}, {"mpg4-img", AV_CODEC_ID_MPEG4}, {"ffv1-img", AV_CODEC_ID_FFV1},
    {"y", AV_CODEC_ID_RAWVIDEO},     {"raw", AV_CODEC_ID_RAWVIDEO},    {"bmp", AV_CODEC_ID_BMP},
    {"gif", AV_CODEC_ID_GIF},        {"tga", AV_CODEC_ID_TARGA},       {"tiff", AV_CODEC_ID_TIFF},
    {"tif", AV_CODEC_ID_TIFF},       {"sgi", AV_CODEC_ID_SGI},         {"ptx", AV_CODEC_ID_PTX},
    {"pcx", AV_CODEC_ID_PCX},        {"pix", AV_CODEC_ID_BRENDER_PIX}, {"sun", AV_CODEC_ID_SUNRAST},
    {"ras", AV_CODEC_ID_SUNRAST},    {"rs", AV_CODEC_ID_SUNRAST},      {"im1", AV_CODEC_ID_SUNRAST},
    {"im8", AV_CODEC_ID_SUNRAST},    {"im24", AV_CODEC_ID_SUNRAST},    {"im32", AV_CODEC_ID_SUNRAST},
    {"sunras", AV_CODEC_ID_SUNRAST}, {"j2c", AV_CODEC_ID_JPEG2000},    {"j2k", AV_CODEC_ID_JPEG2000},
    {"jp2", AV_CODEC_ID_JPEG2000},   {"jpc", AV_CODEC_ID_JPEG2000},    {"dpx", AV_CODEC_ID_DPX},
    {"exr", AV_CODEC_ID_EXR},        {"pic", AV_CODEC_ID_PICTOR},      {"yuv10", AV_CODEC_ID_AURA},
    {"xbm", AV_CODEC_ID_XBM},        {"xface", AV_CODEC_ID_XFACE},     {"xwd", AV_CODEC_ID_XWD},
};

bool IsValidUtf8(const std::string& S) {
  size_t i = 0;
  while (i < S.size()) {
    const auto c = static_cast<uint8_t>(S[i]);
    size_t extra;
    uint32_t min;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3, min = 0x10000;
    } else {
      return false;
    }
    if (i + extra >= S.size()) return false;
    uint32_t code = c & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
      const auto d = static_cast<uint8_t>(S[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      code = (code << 6) | (d & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

TStream* StreamOf(void* Opaque) { return static_cast<TStream*>(Opaque); }

int ProtocolRead(void* Opaque, uint8_t* Buffer, int Size) {
  try {
    const int64_t n = StreamOf(Opaque)->Read(Buffer, Size);
    return n > 0 ? static_cast<int>(n) : AVERROR_EOF;
  } catch (...) {
    return -1;
  }
}

int ProtocolWrite(void* Opaque, uint8_t* Buffer, int Size) {
  try {
    const int64_t n = StreamOf(Opaque)->Write(Buffer, Size);
    return n == Size ? static_cast<int>(n) : -1;
  } catch (...) {
    return -1;
  }
}

int64_t ProtocolSeek(void* Opaque, int64_t Position, int Whence) {
  try {
    TStream* stream = StreamOf(Opaque);
    if (Whence & AVSEEK_SIZE) return stream->Size();
    switch (Whence & ~AVSEEK_FORCE) {
      case SEEK_SET: return stream->Seek(Position, soBeginning);
      case SEEK_CUR: return stream->Seek(Position, soCurrent);
      case SEEK_END: return stream->Seek(Position, soEnd);
      default: return -1;
    }
  } catch (...) {
    return -1;
  }
}

}  // namespace

bool UnicodeProtocolRegistered() { return Registered; }
void RegisterUnicodeProtocol() { Registered = avio_alloc_context != nullptr; }
void UnregisterUnicodeProtocol() { Registered = false; }

AVCodecID GuessImage2Codec(const std::string& Name) {
  const size_t dot = Name.rfind('.');
  if (dot == std::string::npos) return AV_CODEC_ID_NONE;
  const std::string extension = Name.substr(dot + 1);
  for (const TImageExtension& row : ImageExtensions) {
    if (SameText(extension, row.Extension)) return row.Codec;
  }
  return AV_CODEC_ID_NONE;
}

bool NeedsUnicodeProtocol(const std::string& Name) {
  const size_t colon = Name.find(':');
  if (colon != std::string::npos) {
    const std::string protocol = ':' + Name.substr(0, colon) + ':';
    if (ProtocolPrefixes.find(protocol) != std::string_view::npos) return false;
  }
  return !IsValidUtf8(Name);
}

bool IsUnicodeURL(const std::string& Name) {
  return Name.size() >= URLPrefix.size() + 1 && Name.compare(0, URLPrefix.size(), URLPrefix) == 0;
}

std::string MakeUnicodeURL(const std::string& Name) { return std::string(URLPrefix) + Name; }

std::string UnicodeURLToWide(const std::string& URL) {
  size_t first = URL.find(':');
  if (first == std::string::npos) return URL;
  std::string rest = URL.substr(first + 1);
  const size_t second = rest.find(':');
  return second == std::string::npos ? rest : rest.substr(second + 1);
}

std::string ToFFmpegFileName(const std::string& Name) {
  std::string s = Name;
  if (GuessImage2Codec(s) != AV_CODEC_ID_NONE && Registered && NeedsUnicodeProtocol(Name)) s = MakeUnicodeURL(Name);
  if (s.size() > MaxFFmpegName) s.resize(MaxFFmpegName);
  return s;
}

std::string FromFFmpegFileName(const std::string& Name) {
  if (GuessImage2Codec(Name) != AV_CODEC_ID_NONE && Registered && IsUnicodeURL(Name)) return UnicodeURLToWide(Name);
  return Name;
}

int UnicodeProtocolOpen(AVIOContext** Context, const std::string& URL, int Flags) {
  *Context = nullptr;
  const bool write = (Flags & AVIO_FLAG_WRITE) != 0;
  std::unique_ptr<TFileStream> stream;
  try {
    const std::string name = UnicodeURLToWide(URL);
    stream = std::make_unique<TFileStream>(name, write ? fmCreate : (fmOpenRead | fmShareDenyWrite));
  } catch (const Exception&) {
    return AVERROR(ENOENT);
  }
  auto* buffer = static_cast<unsigned char*>(av_malloc(IOBufferSize));
  if (buffer == nullptr) return AVERROR(ENOMEM);
  AVIOContext* context = avio_alloc_context(buffer, IOBufferSize, write ? 1 : 0, stream.get(), ProtocolRead,
                                            write ? ProtocolWrite : nullptr, ProtocolSeek);
  if (context == nullptr) {
    av_free(buffer);
    return AVERROR(ENOMEM);
  }
  stream.release();
  *Context = context;
  return 0;
}

bool IsUnicodeProtocolContext(const AVIOContext* Context) {
  return Context != nullptr && Context->read_packet == ProtocolRead;
}

void UnicodeProtocolClose(AVIOContext** Context) {
  AVIOContext* context = *Context;
  if (context == nullptr) return;
  if (context->write_flag) avio_flush(context);
  delete StreamOf(context->opaque);
  av_freep(&context->buffer);
  avio_context_free(Context);
}

int OpenInputFile(AVFormatContext** Context, const std::string& URL, const AVInputFormat* Format,
                  AVDictionary** Options) {
  if (!(Registered && IsUnicodeURL(URL))) return avformat_open_input(Context, URL.c_str(), Format, Options);
  AVIOContext* io = nullptr;
  int rc = UnicodeProtocolOpen(&io, URL, AVIO_FLAG_READ);
  if (rc < 0) {
    avformat_free_context(*Context);
    *Context = nullptr;
    return rc;
  }
  if (*Context == nullptr) *Context = avformat_alloc_context();
  if (*Context == nullptr) {
    UnicodeProtocolClose(&io);
    return AVERROR(ENOMEM);
  }
  (*Context)->pb = io;
  (*Context)->flags |= AVFMT_FLAG_CUSTOM_IO;
  rc = avformat_open_input(Context, URL.c_str(), Format, Options);
  if (rc < 0) UnicodeProtocolClose(&io);
  return rc;
}

void CloseInputFile(AVFormatContext** Context) {
  if (*Context == nullptr) return;
  AVIOContext* io = IsUnicodeProtocolContext((*Context)->pb) ? (*Context)->pb : nullptr;
  avformat_close_input(Context);
  UnicodeProtocolClose(&io);
}

}  // namespace zv
