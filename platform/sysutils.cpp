#include "platform/sysutils.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iconv.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zv {

TFormatSettings FormatSettings;

namespace {

thread_local uint32_t tLastError = 0;

void SetErrnoAsLastError() { tLastError = static_cast<uint32_t>(errno); }

std::string ToStr(std::string_view s) { return std::string(s); }

// Code points in a UTF-8 string: widths and precisions count characters, not bytes.
size_t Utf8Length(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// The first `count` characters of a UTF-8 string.
std::string_view Utf8Prefix(std::string_view s, size_t count) {
  size_t i = 0, chars = 0;
  while (i < s.size()) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (chars == count) break;
      ++chars;
    }
    ++i;
  }
  return s.substr(0, i);
}

std::string Utf8Encode(uint32_t cp) {
  std::string r;
  if (cp < 0x80) {
    r += static_cast<char>(cp);
  } else if (cp < 0x800) {
    r += static_cast<char>(0xC0 | (cp >> 6));
    r += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    r += static_cast<char>(0xE0 | (cp >> 12));
    r += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    r += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    r += static_cast<char>(0xF0 | ((cp >> 18) & 0x07));
    r += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    r += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    r += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return r;
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::string HexDigits(uint64_t v, int minDigits) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string r;
  do {
    r += kHex[v & 15];
    v >>= 4;
  } while (v != 0);
  while (static_cast<int>(r.size()) < minDigits) r += '0';
  std::reverse(r.begin(), r.end());
  return r;
}

// ---------------------------------------------------------------------------------------------
// Decimal digits of a float, rounded as the class library does: the value is first written
// with 18 significant digits, then rounded half up at the requested position.
struct TFloatRec {
  int Exponent = 0;  // value = 0.Digits * 10^Exponent
  bool Negative = false;
  std::string Digits;  // no trailing zeros; empty for zero
};

TFloatRec FloatToDecimal(long double value, int precision, int decimals) {
  TFloatRec rec;
  rec.Negative = std::signbit(value);
  long double a = std::fabs(value);
  if (a == 0) {
    rec.Negative = false;
    return rec;
  }
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof(buf), a, std::chars_format::scientific, 17);
  std::string digits;
  const char* p = buf;
  for (; p < res.ptr && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits += *p;
  int exp10 = 0;
  if (p < res.ptr) std::from_chars(p + 1 + (p[1] == '+'), res.ptr, exp10);
  rec.Exponent = exp10 + 1;

  precision = std::clamp(precision, 1, 18);
  long long keep = std::min<long long>(precision, static_cast<long long>(rec.Exponent) + decimals);
  if (keep < 0) {
    rec.Exponent = 0;
    rec.Negative = false;
    return rec;
  }
  bool roundUp = static_cast<size_t>(keep) < digits.size() && digits[keep] >= '5';
  digits.resize(static_cast<size_t>(keep));
  if (roundUp) {
    int i = static_cast<int>(keep) - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      digits.insert(digits.begin(), '1');
      ++rec.Exponent;
      if (!digits.empty() && static_cast<long long>(digits.size()) > keep) digits.pop_back();
      if (digits.empty()) digits = "1";
    }
  }
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  if (digits.empty()) {
    rec.Exponent = 0;
    rec.Negative = false;
  }
  rec.Digits = digits;
  return rec;
}

std::string ExponentText(int exponent, bool plusSign, int minDigits) {
  std::string r = "E";
  if (exponent < 0)
    r += '-';
  else if (plusSign)
    r += '+';
  std::string d = std::to_string(std::abs(exponent));
  minDigits = std::clamp(minDigits, 0, 4);
  if (static_cast<int>(d.size()) < minDigits) d.insert(0, minDigits - d.size(), '0');
  return r + d;
}

// Integer and fraction parts of a fixed-point number, unsigned.
std::string FixedText(const TFloatRec& rec, int decimals, bool thousands) {
  const TFormatSettings& fs = FormatSettings;
  std::string ip;
  if (rec.Exponent <= 0) {
    ip = "0";
  } else {
    for (int i = 0; i < rec.Exponent; ++i)
      ip += i < static_cast<int>(rec.Digits.size()) ? rec.Digits[i] : '0';
  }
  if (thousands && fs.ThousandSeparator != '\0') {
    std::string g;
    int n = static_cast<int>(ip.size());
    for (int i = 0; i < n; ++i) {
      if (i > 0 && (n - i) % 3 == 0) g += fs.ThousandSeparator;
      g += ip[i];
    }
    ip = g;
  }
  if (decimals > 0) {
    ip += fs.DecimalSeparator;
    for (int i = 0; i < decimals; ++i) {
      int idx = rec.Exponent + i;
      ip += (idx >= 0 && idx < static_cast<int>(rec.Digits.size())) ? rec.Digits[idx] : '0';
    }
  }
  return ip;
}

std::string CurrencyText(const std::string& amount, bool negative) {
  const TFormatSettings& fs = FormatSettings;
  const std::string& c = fs.CurrencyString;
  if (!negative) {
    switch (fs.CurrencyFormat) {
      case 1: return amount + c;
      case 2: return c + " " + amount;
      case 3: return amount + " " + c;
      default: return c + amount;
    }
  }
  const std::string& a = amount;
  switch (fs.NegCurrFormat) {
    case 1: return "-" + c + a;
    case 2: return c + "-" + a;
    case 3: return c + a + "-";
    case 4: return "(" + a + c + ")";
    case 5: return "-" + a + c;
    case 6: return a + "-" + c;
    case 7: return a + c + "-";
    case 8: return "-" + a + " " + c;
    case 9: return "-" + c + " " + a;
    case 10: return a + " " + c + "-";
    case 11: return c + " " + a + "-";
    case 12: return c + " -" + a;
    case 13: return a + "- " + c;
    case 14: return "(" + c + " " + a + ")";
    case 15: return "(" + a + " " + c + ")";
    default: return "(" + c + a + ")";
  }
}

std::string GeneralText(long double value, int precision, int digits) {
  precision = std::clamp(precision, 1, 18);
  TFloatRec rec = FloatToDecimal(value, precision, 9999);
  if (rec.Digits.empty()) return "0";
  std::string r = rec.Negative ? "-" : "";
  if (rec.Exponent > precision || rec.Exponent < -3) {
    r += rec.Digits[0];
    if (rec.Digits.size() > 1) {
      r += FormatSettings.DecimalSeparator;
      r.append(rec.Digits, 1);
    }
    return r + ExponentText(rec.Exponent - 1, false, digits);
  }
  int decimals = std::max(0, static_cast<int>(rec.Digits.size()) - rec.Exponent);
  return r + FixedText(rec, decimals, false);
}

std::string FloatText(long double value, TFloatFormat format, int precision, int digits) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  precision = std::clamp(precision, 1, 18);
  switch (format) {
    case ffGeneral:
      return GeneralText(value, precision, digits);
    case ffExponent: {
      TFloatRec rec = FloatToDecimal(value, precision, 9999);
      std::string d = rec.Digits;
      d.resize(static_cast<size_t>(precision), '0');
      std::string r = rec.Negative ? "-" : "";
      r += d[0];
      if (precision > 1) {
        r += FormatSettings.DecimalSeparator;
        r.append(d, 1);
      }
      int e = rec.Digits.empty() ? 0 : rec.Exponent - 1;
      return r + ExponentText(e, true, digits);
    }
    case ffFixed:
    case ffNumber:
    case ffCurrency: {
      digits = std::clamp(digits, 0, 18);
      TFloatRec probe = FloatToDecimal(value, 18, 9999);
      if (probe.Exponent > precision) return GeneralText(value, precision, 0);
      TFloatRec rec = FloatToDecimal(value, precision, digits);
      std::string amount = FixedText(rec, digits, format != ffFixed);
      if (format == ffCurrency) return CurrencyText(amount, rec.Negative);
      return rec.Negative ? "-" + amount : amount;
    }
  }
  return {};
}

// ---------------------------------------------------------------------------------------------
[[noreturn]] void InvalidFormat(std::string_view format) {
  throw EConvertError("Format '" + ToStr(format) + "' invalid or incompatible with argument");
}

[[noreturn]] void ArgumentMissing(std::string_view format) {
  throw EConvertError("No argument for format '" + ToStr(format) + "'");
}

uint64_t AsUnsigned(const TFormatArg& a) {
  if (a.Kind == TFormatArg::TKind::UInt) return a.UInt;
  if (a.Narrow) return static_cast<uint32_t>(a.Int);
  return static_cast<uint64_t>(a.Int);
}

std::string Pad(std::string s, int width, bool left) {
  size_t len = Utf8Length(s);
  if (width > 0 && len < static_cast<size_t>(width)) {
    if (left)
      s.append(width - len, ' ');
    else
      s.insert(0, width - len, ' ');
  }
  return s;
}

// Integer digits with at least `precision` of them, the sign before the zeros.
std::string ZeroPadded(std::string digits, bool negative, int precision) {
  if (precision > 0 && static_cast<int>(digits.size()) < precision)
    digits.insert(0, precision - digits.size(), '0');
  return negative ? "-" + digits : digits;
}

}  // namespace

void Abort() { throw EAbort("Operation aborted"); }

// ---------------------------------------------------------------------------------------------
std::string Format(std::string_view format, std::initializer_list<TFormatArg> args) {
  return Format(format, std::span<const TFormatArg>(args.begin(), args.size()));
}

std::string Format(std::string_view format, std::span<const TFormatArg> args) {
  std::string out;
  size_t argIndex = 0;
  size_t i = 0;
  const size_t n = format.size();

  auto nextArg = [&]() -> const TFormatArg& {
    if (argIndex >= args.size()) ArgumentMissing(format);
    return args[argIndex++];
  };
  // A number, '*' (from the next integer argument) or nothing (-1).
  auto readNumber = [&](bool& present) -> int64_t {
    present = false;
    if (i < n && format[i] == '*') {
      ++i;
      present = true;
      const TFormatArg& a = nextArg();
      if (a.Kind == TFormatArg::TKind::Int) return std::clamp<int64_t>(a.Int, -INT32_MAX, INT32_MAX);
      if (a.Kind == TFormatArg::TKind::UInt && a.UInt <= INT32_MAX) return static_cast<int64_t>(a.UInt);
      InvalidFormat(format);
    }
    int64_t v = 0;
    while (i < n && format[i] >= '0' && format[i] <= '9') {
      present = true;
      v = v * 10 + (format[i++] - '0');
      if (v > INT32_MAX) InvalidFormat(format);
    }
    return v;
  };

  while (i < n) {
    char c = format[i];
    if (c != '%') {
      out += c;
      ++i;
      continue;
    }
    ++i;
    if (i >= n) InvalidFormat(format);
    if (format[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    bool left = false, present = false;
    int64_t width = -1, prec = -1;
    if (format[i] == '-') {
      left = true;
      ++i;
    }
    int64_t v = readNumber(present);
    if (!left && i < n && format[i] == ':') {
      ++i;
      if (!present || v < 0) InvalidFormat(format);
      argIndex = static_cast<size_t>(v);
      if (i < n && format[i] == '-') {
        left = true;
        ++i;
      }
      v = readNumber(present);
    }
    if (present) width = v;
    if (width < 0 && present) {
      left = true;
      width = -width;
    }
    if (i < n && format[i] == '.') {
      ++i;
      int64_t p = readNumber(present);
      prec = p < 0 ? -1 : p;
    }
    if (i >= n) InvalidFormat(format);
    char type = AsciiLower(format[i++]);
    const int w = static_cast<int>(std::min<int64_t>(width, 1 << 20));
    const int pr = static_cast<int>(std::min<int64_t>(prec, 1 << 20));
    std::string text;
    using K = TFormatArg::TKind;
    switch (type) {
      case 'd': {
        const TFormatArg& a = nextArg();
        if (a.Kind == K::Int) {
          uint64_t mag = a.Int < 0 ? 0 - static_cast<uint64_t>(a.Int) : static_cast<uint64_t>(a.Int);
          text = ZeroPadded(std::to_string(mag), a.Int < 0, pr);
        } else if (a.Kind == K::UInt) {
          text = ZeroPadded(std::to_string(a.UInt), false, pr);
        } else {
          InvalidFormat(format);
        }
        break;
      }
      case 'u': {
        const TFormatArg& a = nextArg();
        if (a.Kind != K::Int && a.Kind != K::UInt) InvalidFormat(format);
        text = ZeroPadded(std::to_string(AsUnsigned(a)), false, pr);
        break;
      }
      case 'x': {
        const TFormatArg& a = nextArg();
        if (a.Kind != K::Int && a.Kind != K::UInt) InvalidFormat(format);
        text = HexDigits(AsUnsigned(a), pr);
        break;
      }
      case 'p': {
        const TFormatArg& a = nextArg();
        if (a.Kind != K::Pointer) InvalidFormat(format);
        text = HexDigits(reinterpret_cast<uintptr_t>(a.Ptr), 2 * static_cast<int>(sizeof(void*)));
        break;
      }
      case 's': {
        const TFormatArg& a = nextArg();
        if (a.Kind != K::String) InvalidFormat(format);
        text = pr >= 0 ? ToStr(Utf8Prefix(a.Str, static_cast<size_t>(pr))) : a.Str;
        break;
      }
      case 'c': {
        const TFormatArg& a = nextArg();
        if (a.Kind == K::String) {
          text = ToStr(Utf8Prefix(a.Str, 1));
        } else if (a.Kind == K::Int || a.Kind == K::UInt) {
          uint64_t cp = AsUnsigned(a);
          if (cp > 0x10FFFF) InvalidFormat(format);
          text = Utf8Encode(static_cast<uint32_t>(cp));
        } else {
          InvalidFormat(format);
        }
        break;
      }
      case 'e':
      case 'g':
      case 'f':
      case 'n':
      case 'm': {
        const TFormatArg& a = nextArg();
        if (a.Kind != K::Float) InvalidFormat(format);
        if (type == 'e' || type == 'g') {
          int p = pr < 0 ? 15 : std::clamp(pr, 1, 18);
          text = FloatText(a.Float, type == 'e' ? ffExponent : ffGeneral, p, 3);
        } else {
          int d = pr < 0 ? (type == 'm' ? FormatSettings.CurrencyDecimals : 2) : std::min(pr, 18);
          TFloatFormat f = type == 'f' ? ffFixed : type == 'n' ? ffNumber : ffCurrency;
          text = FloatText(a.Float, f, 18, d);
        }
        break;
      }
      default:
        InvalidFormat(format);
    }
    out += Pad(std::move(text), w, left);
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
std::string IntToStr(int64_t value) { return std::to_string(value); }

std::string IntToHex(int64_t value, int digits) {
  return HexDigits(static_cast<uint64_t>(value), digits);
}

namespace {

// Digits with an optional sign, '$' or "0x" for hex; leading blanks allowed, nothing after.
// Hex values may fill all `bits` bits (so "$FFFFFFFF" is -1 as an Integer).
bool ParseInteger(std::string_view s, int bits, int64_t& out) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  int base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return false;
  uint64_t v = 0;
  auto [p, ec] = std::from_chars(s.data() + i, s.data() + s.size(), v, base);
  if (ec != std::errc() || p != s.data() + s.size()) return false;
  const uint64_t maxPos = bits == 64 ? INT64_MAX : INT32_MAX;
  const uint64_t maxHex = bits == 64 ? UINT64_MAX : UINT32_MAX;
  if (base == 16) {
    if (v > maxHex) return false;
    int64_t r = bits == 64 ? static_cast<int64_t>(v) : static_cast<int32_t>(static_cast<uint32_t>(v));
    out = neg ? static_cast<int64_t>(0 - static_cast<uint64_t>(r)) : r;
    if (bits == 32) out = static_cast<int32_t>(out);
    return true;
  }
  if (neg) {
    if (v > maxPos + 1) return false;
    out = static_cast<int64_t>(0 - v);
  } else {
    if (v > maxPos) return false;
    out = static_cast<int64_t>(v);
  }
  return true;
}

[[noreturn]] void InvalidInteger(std::string_view s) {
  throw EConvertError("'" + ToStr(s) + "' is not a valid integer value");
}

}  // namespace

bool TryStrToInt(std::string_view s, int32_t& value) {
  int64_t v;
  if (!ParseInteger(s, 32, v)) return false;
  value = static_cast<int32_t>(v);
  return true;
}

int32_t StrToInt(std::string_view s) {
  int32_t v;
  if (!TryStrToInt(s, v)) InvalidInteger(s);
  return v;
}

int32_t StrToIntDef(std::string_view s, int32_t defaultValue) {
  int32_t v;
  return TryStrToInt(s, v) ? v : defaultValue;
}

bool TryStrToInt64(std::string_view s, int64_t& value) { return ParseInteger(s, 64, value); }

int64_t StrToInt64(std::string_view s) {
  int64_t v;
  if (!TryStrToInt64(s, v)) InvalidInteger(s);
  return v;
}

int64_t StrToInt64Def(std::string_view s, int64_t defaultValue) {
  int64_t v;
  return TryStrToInt64(s, v) ? v : defaultValue;
}

bool TryStrToFloat(std::string_view s, long double& value) {
  std::string t = Trim(s);
  if (t.empty()) return false;
  // Accept only [sign] digits [sep digits] [E [sign] digits], with DecimalSeparator as the point.
  std::string norm;
  size_t i = 0;
  if (t[i] == '+' || t[i] == '-') norm += t[i++];
  std::string rest = UpperCase(std::string_view(t).substr(i));
  if (rest == "INF" || rest == "NAN") {
    long double v = rest == "INF" ? HUGE_VALL : NAN;
    value = (!norm.empty() && norm[0] == '-') ? -v : v;
    return true;
  }
  bool digits = false;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') norm += t[i++], digits = true;
  if (i < t.size() && t[i] == FormatSettings.DecimalSeparator) {
    norm += '.';
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') norm += t[i++], digits = true;
  }
  if (!digits) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    norm += 'e';
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) norm += t[i++];
    bool expDigits = false;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') norm += t[i++], expDigits = true;
    if (!expDigits) return false;
  }
  if (i != t.size()) return false;
  const char* b = norm.data();
  if (*b == '+') ++b;
  long double v = 0;
  auto [p, ec] = std::from_chars(b, norm.data() + norm.size(), v);
  if (p != norm.data() + norm.size()) return false;
  if (ec == std::errc::result_out_of_range) {
    // Underflow reads as zero; overflow is not a value.
    bool tiny = norm.find("e-") != std::string::npos;
    if (!tiny) return false;
    v = *b == '-' ? -0.0L : 0.0L;
  } else if (ec != std::errc()) {
    return false;
  }
  value = v;
  return true;
}

bool TryStrToFloat(std::string_view s, double& value) {
  long double v;
  if (!TryStrToFloat(s, v)) return false;
  value = static_cast<double>(v);
  return true;
}

long double StrToFloat(std::string_view s) {
  long double v;
  if (!TryStrToFloat(s, v))
    throw EConvertError("'" + ToStr(s) + "' is not a valid floating point value");
  return v;
}

long double StrToFloatDef(std::string_view s, long double defaultValue) {
  long double v;
  return TryStrToFloat(s, v) ? v : defaultValue;
}

std::string FloatToStr(long double value) { return FloatText(value, ffGeneral, 15, 0); }

std::string FloatToStrF(long double value, TFloatFormat format, int precision, int digits) {
  return FloatText(value, format, precision, digits);
}

// ---------------------------------------------------------------------------------------------
std::string Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

std::string TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ') ++i;
  return ToStr(s.substr(i));
}

std::string TrimRight(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return ToStr(s.substr(0, e));
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = AsciiUpper(c);
  return r;
}

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = AsciiLower(c);
  return r;
}

int CompareStr(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int d = static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]);
    if (d != 0) return d;
  }
  return static_cast<int>(a.size() > b.size()) - static_cast<int>(a.size() < b.size());
}

int CompareText(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int d = static_cast<unsigned char>(AsciiUpper(a[i])) - static_cast<unsigned char>(AsciiUpper(b[i]));
    if (d != 0) return d;
  }
  return static_cast<int>(a.size() > b.size()) - static_cast<int>(a.size() < b.size());
}

bool SameText(std::string_view a, std::string_view b) { return CompareText(a, b) == 0; }

int Pos(std::string_view substr, std::string_view s) {
  if (substr.empty()) return 0;
  size_t p = s.find(substr);
  return p == std::string_view::npos ? 0 : static_cast<int>(p + 1);
}

std::string Copy(std::string_view s, int64_t index, int64_t count) {
  if (index < 1) index = 1;
  if (count <= 0 || index > static_cast<int64_t>(s.size())) return {};
  return ToStr(s.substr(static_cast<size_t>(index - 1), static_cast<size_t>(count)));
}

std::string StringReplace(std::string_view s, std::string_view oldPattern,
                          std::string_view newPattern, unsigned flags) {
  if (oldPattern.empty()) return ToStr(s);
  std::string hay = (flags & rfIgnoreCase) ? UpperCase(s) : ToStr(s);
  std::string needle = (flags & rfIgnoreCase) ? UpperCase(oldPattern) : ToStr(oldPattern);
  std::string r;
  size_t from = 0;
  while (true) {
    size_t p = hay.find(needle, from);
    if (p == std::string::npos) break;
    r.append(s.substr(from, p - from));
    r.append(newPattern);
    from = p + needle.size();
    if (!(flags & rfReplaceAll)) break;
  }
  r.append(s.substr(from));
  return r;
}

// ---------------------------------------------------------------------------------------------
std::string ExtractFilePath(std::string_view fileName) {
  size_t p = fileName.rfind('/');
  return p == std::string_view::npos ? std::string() : ToStr(fileName.substr(0, p + 1));
}

std::string ExtractFileDir(std::string_view fileName) {
  size_t p = fileName.rfind('/');
  if (p == std::string_view::npos) return {};
  return ToStr(fileName.substr(0, p == 0 ? 1 : p));
}

std::string ExtractFileName(std::string_view fileName) {
  size_t p = fileName.rfind('/');
  return ToStr(p == std::string_view::npos ? fileName : fileName.substr(p + 1));
}

std::string ExtractFileExt(std::string_view fileName) {
  size_t p = fileName.find_last_of("./");
  if (p == std::string_view::npos || fileName[p] != '.') return {};
  return ToStr(fileName.substr(p));
}

std::string ChangeFileExt(std::string_view fileName, std::string_view extension) {
  size_t p = fileName.find_last_of("./");
  if (p == std::string_view::npos || fileName[p] != '.') p = fileName.size();
  return ToStr(fileName.substr(0, p)) + ToStr(extension);
}

std::string IncludeTrailingPathDelimiter(std::string_view s) {
  std::string r(s);
  if (r.empty() || r.back() != '/') r += '/';
  return r;
}

std::string ExcludeTrailingPathDelimiter(std::string_view s) {
  std::string r(s);
  if (!r.empty() && r.back() == '/') r.pop_back();
  return r;
}

std::string ExpandFileName(std::string_view fileName) {
  if (fileName.empty()) return {};
  std::string full = fileName[0] == '/' ? ToStr(fileName)
                                        : IncludeTrailingPathDelimiter(GetCurrentDir()) + ToStr(fileName);
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= full.size()) {
    size_t e = full.find('/', i);
    if (e == std::string::npos) e = full.size();
    std::string part = full.substr(i, e - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = e + 1;
  }
  std::string r;
  for (const std::string& p : parts) r += "/" + p;
  // A name that ended in a delimiter still names a folder.
  if (r.empty() || (full.back() == '/' && !parts.empty())) r += '/';
  return r;
}

bool FileExists(std::string_view fileName) {
  struct stat st;
  if (stat(ToStr(fileName).c_str(), &st) != 0) {
    SetErrnoAsLastError();
    return false;
  }
  return !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view dir) {
  struct stat st;
  if (stat(ToStr(dir).c_str(), &st) != 0) {
    SetErrnoAsLastError();
    return false;
  }
  return S_ISDIR(st.st_mode);
}

bool ForceDirectories(std::string_view dir) {
  std::string d = ExcludeTrailingPathDelimiter(dir);
  if (d.empty()) {
    if (!dir.empty()) return true;  // the root
    throw EInOutError("Unable to create directory", ENOENT);
  }
  if (DirectoryExists(d)) return true;
  std::string parent = ExtractFileDir(d);
  if (!parent.empty() && parent != d && !ForceDirectories(parent)) return false;
  if (mkdir(d.c_str(), 0777) != 0 && errno != EEXIST) {
    SetErrnoAsLastError();
    return false;
  }
  return DirectoryExists(d);
}

bool DeleteFile(std::string_view fileName) {
  std::string f(fileName);
  struct stat st;
  // Only files: a folder is not deleted by this routine.
  if (lstat(f.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    tLastError = EISDIR;
    return false;
  }
  if (unlink(f.c_str()) != 0) {
    SetErrnoAsLastError();
    return false;
  }
  return true;
}

bool RenameFile(std::string_view oldName, std::string_view newName) {
  std::string o(oldName), n(newName);
  struct stat st;
  if (lstat(n.c_str(), &st) == 0) {
    tLastError = EEXIST;
    return false;
  }
  if (rename(o.c_str(), n.c_str()) != 0) {
    SetErrnoAsLastError();
    return false;
  }
  return true;
}

std::string GetTempPath() {
  const char* t = std::getenv("TMPDIR");
  return IncludeTrailingPathDelimiter((t && *t) ? t : "/tmp");
}

std::string GetCurrentDir() {
  std::vector<char> buf(4096);
  while (getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) {
      SetErrnoAsLastError();
      return {};
    }
    buf.resize(buf.size() * 2);
  }
  return buf.data();
}

// ---------------------------------------------------------------------------------------------
namespace {

// Float-to-integer without undefined behaviour: the FPU's "integer indefinite" when it cannot fit.
int64_t ToInt64(long double v) {
  if (std::isnan(v) || v >= 9223372036854775808.0L || v < -9223372036854775808.0L) return INT64_MIN;
  return static_cast<int64_t>(v);
}

}  // namespace

int64_t Round(long double value) { return ToInt64(std::nearbyint(value)); }
int64_t Trunc(long double value) { return ToInt64(std::trunc(value)); }
int64_t Floor(long double value) { return ToInt64(std::floor(value)); }
int64_t Ceil(long double value) { return ToInt64(std::ceil(value)); }

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  int64_t num = static_cast<int64_t>(a) * b;
  int64_t den = c;
  if (den < 0) {
    num = -num;
    den = -den;
  }
  int64_t q = num >= 0 ? (num + den / 2) / den : (num - den / 2) / den;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<int32_t>(q);
}

// ---------------------------------------------------------------------------------------------
namespace {
std::atomic<uint32_t> gRandSeed{0};

uint32_t NextSeed() {
  uint32_t s = gRandSeed.load(std::memory_order_relaxed);
  uint32_t next;
  do {
    next = s * 0x08088405u + 1u;
  } while (!gRandSeed.compare_exchange_weak(s, next, std::memory_order_relaxed));
  return next;
}
}  // namespace

int32_t RandSeed() { return static_cast<int32_t>(gRandSeed.load(std::memory_order_relaxed)); }
void SetRandSeed(int32_t seed) { gRandSeed.store(static_cast<uint32_t>(seed), std::memory_order_relaxed); }

void Randomize() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  SetRandSeed(static_cast<int32_t>(static_cast<uint32_t>(ts.tv_sec) * 1000003u +
                                   static_cast<uint32_t>(ts.tv_nsec)));
}

int32_t Random(int32_t range) {
  int64_t product = static_cast<int64_t>(NextSeed()) * range;
  return static_cast<int32_t>(product >> 32);
}

long double Random() { return static_cast<long double>(NextSeed()) / 4294967296.0L; }

// ---------------------------------------------------------------------------------------------
std::string ParamStr(int index) {
  if (index == 0) {
    std::vector<char> buf(4096);
    ssize_t len = readlink("/proc/self/exe", buf.data(), buf.size());
    if (len <= 0) return {};
    return std::string(buf.data(), static_cast<size_t>(len));
  }
  if (index < 0) return {};
  std::ifstream f("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  size_t start = 0;
  for (int i = 0; start < all.size(); ++i) {
    size_t e = all.find('\0', start);
    if (e == std::string::npos) e = all.size();
    if (i == index) return all.substr(start, e - start);
    start = e + 1;
  }
  return {};
}

int ParamCount() {
  std::ifstream f("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  int count = static_cast<int>(std::count(all.begin(), all.end(), '\0'));
  return std::max(0, count - 1);
}

std::string ApplicationFolder() { return ExtractFilePath(ParamStr(0)); }

// ---------------------------------------------------------------------------------------------
namespace {

constexpr int64_t kUnixEpochDays = 25569;  // 1970-01-01 as a day number
constexpr int64_t kMSecsPerDay = 86400000;

// Days from 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Whole day number and milliseconds into it; the fraction counts forward even before 1899.
void SplitDateTime(TDateTime dt, int64_t& day, int64_t& msec) {
  long double whole = std::trunc(static_cast<long double>(dt));
  day = ToInt64(whole);
  msec = ToInt64(std::nearbyint(std::fabs(static_cast<long double>(dt) - whole) * kMSecsPerDay));
  if (msec >= kMSecsPerDay) msec = kMSecsPerDay - 1;
}

}  // namespace

TDateTime EncodeDate(int year, int month, int day) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > kDays[month - 1] + (month == 2 && IsLeapYear(year)))
    throw EConvertError("Invalid argument to date encode");
  return static_cast<TDateTime>(DaysFromCivil(year, month, day) + kUnixEpochDays);
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
    throw EConvertError("Invalid argument to time encode");
  return (((hour * 60.0 + min) * 60.0 + sec) * 1000.0 + msec) / kMSecsPerDay;
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  int64_t d, ms;
  SplitDateTime(dt, d, ms);
  CivilFromDays(d - kUnixEpochDays, year, month, day);
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
  int64_t d, ms;
  SplitDateTime(dt, d, ms);
  hour = static_cast<int>(ms / 3600000);
  min = static_cast<int>(ms / 60000 % 60);
  sec = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
}

int DayOfWeek(TDateTime dt) {
  int64_t d, ms;
  SplitDateTime(dt, d, ms);
  // Day 1 (1899-12-31) was a Sunday.
  return static_cast<int>(((d - 1) % 7 + 7) % 7) + 1;
}

TDateTime Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  time_t secs = ts.tv_sec;
  localtime_r(&secs, &local);
  return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
         EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59),
                    static_cast<int>(ts.tv_nsec / 1000000));
}

TDateTime Date() { return std::trunc(Now()); }

std::string FormatDateTime(std::string_view format, TDateTime dt) {
  const TFormatSettings& fs = FormatSettings;
  int year, month, day, hour, minute, sec, msec;
  DecodeDate(dt, year, month, day);
  DecodeTime(dt, hour, minute, sec, msec);
  const int dow = DayOfWeek(dt) - 1;

  // An "am/pm" style marker anywhere switches the hours to the 12-hour clock.
  const std::string lower = LowerCase(format);
  const bool twelve = lower.find("am/pm") != std::string::npos ||
                      lower.find("a/p") != std::string::npos ||
                      lower.find("ampm") != std::string::npos;

  auto two = [](int v) {
    std::string s = v < 10 ? "0" : "";
    s += std::to_string(v);
    return s;
  };
  std::string out;
  bool afterHour = false;
  size_t i = 0;
  const size_t n = format.size();
  auto run = [&](char c) {
    size_t k = i;
    while (k < n && AsciiLower(format[k]) == c) ++k;
    size_t len = k - i;
    i = k;
    return len;
  };
  while (i < n) {
    char c = format[i];
    char lc = AsciiLower(c);
    if (c == '"' || c == '\'') {
      size_t e = format.find(c, i + 1);
      if (e == std::string_view::npos) e = n;
      out.append(format.substr(i + 1, e - i - 1));
      i = e + 1;
      continue;
    }
    if (lower.compare(i, 5, "am/pm") == 0) {
      out += hour < 12 ? format.substr(i, 2) : format.substr(i + 3, 2);
      i += 5;
      continue;
    }
    if (lower.compare(i, 3, "a/p") == 0) {
      out += hour < 12 ? format[i] : format[i + 2];
      i += 3;
      continue;
    }
    if (lower.compare(i, 4, "ampm") == 0) {
      out += hour < 12 ? fs.TimeAMString : fs.TimePMString;
      i += 4;
      continue;
    }
    switch (lc) {
      case 'y': {
        size_t len = run('y');
        out += len <= 2 ? two(year % 100) : std::to_string(year);
        afterHour = false;
        break;
      }
      case 'm': {
        size_t len = run('m');
        if (afterHour && len <= 2) {
          out += len == 1 ? std::to_string(minute) : two(minute);
        } else if (len == 1) {
          out += std::to_string(month);
        } else if (len == 2) {
          out += two(month);
        } else if (len == 3) {
          out += fs.ShortMonthNames[month - 1];
        } else {
          out += fs.LongMonthNames[month - 1];
        }
        afterHour = false;
        break;
      }
      case 'd': {
        size_t len = run('d');
        if (len == 1) out += std::to_string(day);
        else if (len == 2) out += two(day);
        else if (len == 3) out += fs.ShortDayNames[dow];
        else if (len == 4) out += fs.LongDayNames[dow];
        else if (len == 5) out += FormatDateTime(fs.ShortDateFormat, dt);
        else out += FormatDateTime(fs.LongDateFormat, dt);
        afterHour = false;
        break;
      }
      case 'h': {
        size_t len = run('h');
        int h = hour;
        if (twelve) h = h % 12 == 0 ? 12 : h % 12;
        out += len == 1 ? std::to_string(h) : two(h);
        afterHour = true;
        break;
      }
      case 'n': {
        size_t len = run('n');
        out += len == 1 ? std::to_string(minute) : two(minute);
        afterHour = false;
        break;
      }
      case 's': {
        size_t len = run('s');
        out += len == 1 ? std::to_string(sec) : two(sec);
        afterHour = false;
        break;
      }
      case 'z': {
        size_t len = run('z');
        std::string z = std::to_string(msec);
        if (len >= 3) z.insert(0, 3 - z.size(), '0');
        out += z;
        afterHour = false;
        break;
      }
      case 't': {
        size_t len = run('t');
        out += FormatDateTime(len == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, dt);
        break;
      }
      case 'c':
        ++i;
        out += FormatDateTime(fs.ShortDateFormat, dt);
        if (hour || minute || sec || msec) out += " " + FormatDateTime(fs.LongTimeFormat, dt);
        break;
      case '/':
        ++i;
        out += fs.DateSeparator;
        break;
      case ':':
        ++i;
        out += fs.TimeSeparator;
        break;
      default:
        ++i;
        out += c;
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
uint32_t GetLastError() { return tLastError; }
void SetLastError(uint32_t code) { tLastError = code; }

std::string SysErrorMessage(uint32_t code) {
  char buf[256];
  // The GNU strerror_r returns the text, which may or may not be in buf.
  const char* text = strerror_r(static_cast<int>(code), buf, sizeof(buf));
  return text ? text : "";
}

void RaiseLastOSError() { RaiseLastOSError(GetLastError()); }

void RaiseLastOSError(uint32_t code) {
  if (code == 0) throw EOSError("A call to an OS function failed", 0);
  throw EOSError("System Error.  Code: " + std::to_string(code) + ".\n" + SysErrorMessage(code),
                 static_cast<int>(code));
}

// ---------------------------------------------------------------------------------------------
// Code pages

std::string CodePageToUtf8(uint32_t codePage, std::string_view bytes) {
  if (codePage == 65001 || bytes.empty()) return std::string(bytes);
  const std::string Name = "CP" + std::to_string(codePage);
  iconv_t Cd = iconv_open("UTF-8", Name.c_str());
  if (Cd == iconv_t(-1)) return std::string(bytes);
  std::string Out;
  std::vector<char> In(bytes.begin(), bytes.end());
  char* InPtr = In.data();
  size_t InLeft = In.size();
  char Buffer[256];
  while (InLeft > 0) {
    char* OutPtr = Buffer;
    size_t OutLeft = sizeof Buffer;
    const size_t Done = iconv(Cd, &InPtr, &InLeft, &OutPtr, &OutLeft);
    Out.append(Buffer, size_t(OutPtr - Buffer));
    if (Done == size_t(-1) && errno != E2BIG) {
      // A byte (or a lead byte without its trail) that the page does not have.
      Out += "\xEF\xBF\xBD";
      ++InPtr;
      --InLeft;
      iconv(Cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(Cd);
  return Out;
}

}  // namespace zv
