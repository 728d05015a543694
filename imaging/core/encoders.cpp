#include "imaging/core/encoders.h"

#include <cstring>

#include "platform/streams.h"

namespace zv {

// ---- ASCII85 ---------------------------------------------------------------------------------------

int32_t ASCII85EncodeGroup(const uint8_t*& Src, int32_t N, char*& Dst) {
  if (N < 1) return 0;
  if (N > 4) N = 4;
  uint32_t v = 0;
  for (int32_t i = 0; i < 4; ++i) {
    v <<= 8;
    if (i < N) v |= Src[i];
  }
  Src += N;
  if (v == 0 && N == 4) {
    *Dst++ = 'z';
    return 1;
  }
  char digits[5];
  for (int i = 4; i >= 0; --i) {
    digits[i] = char(33 + v % 85);
    v /= 85;
  }
  for (int32_t i = 0; i <= N; ++i) *Dst++ = digits[i];
  return N + 1;
}

int32_t ASCII85EncodeBuffer(const uint8_t*& Src, int32_t Count, char*& Dst, int32_t& Written) {
  int32_t total = 0;
  int32_t line = 0;
  while (Count > 0) {
    int32_t n = Count < 4 ? Count : 4;
    int32_t chars = ASCII85EncodeGroup(Src, n, Dst);
    Count -= n;
    Written += chars;
    total += chars;
    line += chars;
    if (line >= 75) {
      *Dst++ = '\r';
      *Dst++ = '\n';
      total += 2;
      line = 0;
    }
  }
  std::memcpy(Dst, "~>\r\n", 4);
  Dst += 4;
  return total + 4;
}

int64_t ASCII85EncodedSize(int64_t Count) {
  if (Count < 0) Count = 0;
  int64_t data = (Count + 3) / 4 * 5;
  return data + 2 * (data / 75 + 1) + 4;
}

int32_t ASCII85Decode(const char* Src, int32_t SrcSize, uint8_t* Dst, int32_t DstSize) {
  int32_t out = 0;
  uint64_t value = 0;
  int digits = 0;
  auto put = [&](uint32_t v, int bytes) -> bool {
    if (bytes > DstSize - out) return false;
    for (int i = 0; i < bytes; ++i) Dst[out++] = uint8_t(v >> (24 - 8 * i));
    return true;
  };
  int32_t i = 0;
  for (; i < SrcSize; ++i) {
    char c = Src[i];
    if (c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == '\0') continue;
    if (c == '~') {
      if (i + 1 >= SrcSize || Src[i + 1] != '>') return -1;
      break;
    }
    if (c == 'z') {
      if (digits != 0 || !put(0, 4)) return -1;
      continue;
    }
    if (c < '!' || c > 'u') return -1;
    value = value * 85 + uint64_t(c - '!');
    if (++digits == 5) {
      if (value > 0xFFFFFFFFu || !put(uint32_t(value), 4)) return -1;
      value = 0;
      digits = 0;
    }
  }
  if (digits == 1) return -1;
  if (digits > 1) {
    int bytes = digits - 1;
    for (; digits < 5; ++digits) value = value * 85 + 84;
    if (value > 0xFFFFFFFFu || !put(uint32_t(value), bytes)) return -1;
  }
  return out;
}

// ---- Run-length ------------------------------------------------------------------------------------

int32_t PackBitsEncode(const uint8_t* Src, int32_t Count, uint8_t* Dst) {
  int32_t out = 0;
  int32_t j = 0;
  while (j < Count) {
    int32_t run = 1;
    while (j + run < Count && run < 128 && Src[j + run] == Src[j]) ++run;
    if (run >= 2) {
      Dst[out++] = uint8_t(257 - run);
      Dst[out++] = Src[j];
      j += run;
      continue;
    }
    // A literal run stops before the second byte of an equal pair, so the pair's first byte closes it.
    int32_t k = j + 1;
    while (k < Count && k - j < 128 && Src[k] != Src[k - 1]) ++k;
    int32_t len = k - j;
    Dst[out++] = uint8_t(len - 1);
    std::memcpy(Dst + out, Src + j, size_t(len));
    out += len;
    j = k;
  }
  Dst[out++] = 128;
  return out;
}

int32_t PackBitsDecode(const uint8_t* Src, int32_t SrcSize, uint8_t* Dst, int32_t DstSize) {
  int32_t out = 0;
  int32_t i = 0;
  while (i < SrcSize) {
    uint8_t n = Src[i++];
    if (n == 128) break;
    if (n < 128) {
      int32_t len = n + 1;
      if (len > SrcSize - i || len > DstSize - out) return -1;
      std::memcpy(Dst + out, Src + i, size_t(len));
      i += len;
      out += len;
    } else {
      int32_t len = 257 - n;
      if (i >= SrcSize || len > DstSize - out) return -1;
      std::memset(Dst + out, Src[i++], size_t(len));
      out += len;
    }
  }
  return out;
}

// ---- Base64 --------------------------------------------------------------------------------------------

namespace {

const char Base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

void Base64EncodeGroup(const uint8_t* Src, char* Dst, int32_t N) {
  if (N < 1) return;
  if (N > 3) N = 3;
  uint32_t v = uint32_t(Src[0]) << 16;
  if (N > 1) v |= uint32_t(Src[1]) << 8;
  if (N > 2) v |= Src[2];
  Dst[0] = Base64Alphabet[v >> 18 & 63];
  Dst[1] = Base64Alphabet[v >> 12 & 63];
  Dst[2] = N > 1 ? Base64Alphabet[v >> 6 & 63] : '=';
  Dst[3] = N > 2 ? Base64Alphabet[v & 63] : '=';
}

void StreamToBase64Text(TStream* Stream, const std::function<void(const std::string& Line)>& WriteLine,
                        int32_t LineLength) {
  if (Stream == nullptr) return;
  const double groupsPerLine = LineLength / 4.0;
  std::string line;
  int32_t groups = 0;
  uint8_t in[3];
  char out[4];
  while (true) {
    int64_t n = Stream->Read(in, 3);
    if (n <= 0) break;
    Base64EncodeGroup(in, out, int32_t(n));
    line.append(out, 4);
    if (++groups >= groupsPerLine) {
      if (WriteLine) WriteLine(line);
      line.clear();
      groups = 0;
    }
    if (n < 3) break;
  }
  if (!line.empty() && WriteLine) WriteLine(line);
}

int32_t Base64Decode(const char* Src, int32_t SrcSize, uint8_t* Dst, int32_t DstSize) {
  int32_t out = 0;
  uint32_t v = 0;
  int count = 0;     // characters of the current group, padding included
  int padding = 0;   // "=" seen in the current group
  bool finished = false;
  for (int32_t i = 0; i < SrcSize; ++i) {
    char c = Src[i];
    if (c == ' ' || c == '\r' || c == '\n' || c == '\t') continue;
    if (finished) return -1;
    int d;
    if (c == '=') {
      if (count < 2) return -1;
      ++padding;
      d = 0;
    } else {
      if (padding > 0) return -1;
      d = Base64Value(c);
      if (d < 0) return -1;
    }
    v = v << 6 | uint32_t(d);
    if (++count == 4) {
      int bytes = 3 - padding;
      if (bytes > DstSize - out) return -1;
      for (int k = 0; k < bytes; ++k) Dst[out++] = uint8_t(v >> (16 - 8 * k));
      finished = padding > 0;
      v = 0;
      count = 0;
      padding = 0;
    }
  }
  if (count != 0) return -1;
  return out;
}

}  // namespace zv
