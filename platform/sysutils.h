// Run-time services of the class library: exceptions, formatting, conversions, file names,
// rounding, the seedable random generator, dates and the per-thread last-error value.
#pragma once

#include <concepts>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace zv {

// Root of every exception the system raises; Message is the text shown to the user.
class Exception : public std::exception {
public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  void SetMessage(std::string message) { FMessage = std::move(message); }
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
};

#define ZV_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {             \
  public:                                \
    using Base::Base;                    \
  };

// Raised by Abort(): cancels an operation without showing a message.
ZV_DECLARE_EXCEPTION(EAbort, Exception)
ZV_DECLARE_EXCEPTION(EStreamError, Exception)
ZV_DECLARE_EXCEPTION(EFCreateError, EStreamError)
ZV_DECLARE_EXCEPTION(EFOpenError, EStreamError)
ZV_DECLARE_EXCEPTION(EFilerError, EStreamError)
ZV_DECLARE_EXCEPTION(EReadError, EFilerError)
ZV_DECLARE_EXCEPTION(EWriteError, EFilerError)
ZV_DECLARE_EXCEPTION(EConvertError, Exception)
ZV_DECLARE_EXCEPTION(EOutOfMemory, Exception)
ZV_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
ZV_DECLARE_EXCEPTION(EListError, Exception)
ZV_DECLARE_EXCEPTION(EStringListError, EListError)
ZV_DECLARE_EXCEPTION(EAbstractError, Exception)
ZV_DECLARE_EXCEPTION(EInvalidOperation, Exception)

#undef ZV_DECLARE_EXCEPTION

// A failed file read or write; ErrorCode is the system error number.
class EInOutError : public Exception {
public:
  explicit EInOutError(std::string message, int errorCode = 0)
      : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

// A failed operating-system call; ErrorCode is the system error number.
class EOSError : public Exception {
public:
  explicit EOSError(std::string message, int errorCode = 0)
      : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

// Throws EAbort ("Operation aborted"), which handlers let pass without a message.
[[noreturn]] void Abort();

// ---------------------------------------------------------------------------------------------
// Locale-like settings the conversions read. Change them from the main thread only.
struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';  // '\0': no grouping
  std::string CurrencyString = "$";
  int CurrencyFormat = 0;  // 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $"
  int NegCurrFormat = 0;   // 0 "($1)" ... 15 "(1 $)"
  int CurrencyDecimals = 2;
  char DateSeparator = '/';
  char TimeSeparator = ':';
  std::string ShortDateFormat = "yyyy/mm/dd";
  std::string LongDateFormat = "dddd, mmmm d, yyyy";
  std::string ShortTimeFormat = "hh:nn";
  std::string LongTimeFormat = "hh:nn:ss";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::string ShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string LongMonthNames[12] = {"January", "February", "March",     "April",
                                    "May",     "June",     "July",      "August",
                                    "September", "October", "November", "December"};
  std::string ShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::string LongDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
};
extern TFormatSettings FormatSettings;

// ---------------------------------------------------------------------------------------------
// Format: one argument of any kind Format accepts. Integers remember whether they came from a
// 32-bit type, so that %x and %u show a negative Integer in 8 hex digits as the class library does.
class TFormatArg {
public:
  enum class TKind { Int, UInt, Float, String, Pointer };

  template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char>)
  TFormatArg(T value) {  // NOLINT: implicit on purpose
    if constexpr (std::is_signed_v<T>) {
      Kind = TKind::Int;
      Int = static_cast<int64_t>(value);
    } else {
      Kind = TKind::UInt;
      UInt = static_cast<uint64_t>(value);
    }
    Narrow = sizeof(T) <= 4;
  }
  TFormatArg(bool) = delete;
  template <std::floating_point T>
  TFormatArg(T value) : Kind(TKind::Float), Float(static_cast<long double>(value)) {}
  TFormatArg(char c) : Kind(TKind::String), Str(1, c) {}
  TFormatArg(const char* s) : Kind(TKind::String), Str(s ? s : "") {}
  TFormatArg(std::string_view s) : Kind(TKind::String), Str(s) {}
  TFormatArg(const std::string& s) : Kind(TKind::String), Str(s) {}
  TFormatArg(const void* p) : Kind(TKind::Pointer), Ptr(p) {}
  TFormatArg(std::nullptr_t) : Kind(TKind::Pointer), Ptr(nullptr) {}

  TKind Kind = TKind::Int;
  bool Narrow = false;
  int64_t Int = 0;
  uint64_t UInt = 0;
  long double Float = 0;
  std::string Str;
  const void* Ptr = nullptr;
};

// Fills a format string: %[index:][-][width][.precision]type with type one of
// d u x X s f g e n m p c (case-insensitive) and %% for '%'; width, precision and index may be
// '*' (taken from the next integer argument). Raises EConvertError on a bad format, a missing
// argument or an argument of the wrong kind.
std::string Format(std::string_view format, std::span<const TFormatArg> args);
std::string Format(std::string_view format, std::initializer_list<TFormatArg> args);
template <class... A>
  requires(std::convertible_to<const A&, TFormatArg> && ...)
std::string Format(std::string_view format, const A&... args) {
  if constexpr (sizeof...(A) == 0) {
    return Format(format, std::span<const TFormatArg>());
  } else {
    const TFormatArg list[] = {TFormatArg(args)...};
    return Format(format, std::span<const TFormatArg>(list));
  }
}

// ---------------------------------------------------------------------------------------------
// Number conversions.
enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

std::string IntToStr(int64_t value);
std::string IntToHex(int64_t value, int digits);  // upper case, at least `digits` digits
int32_t StrToInt(std::string_view s);             // decimal, or hex with '$' / "0x"
int32_t StrToIntDef(std::string_view s, int32_t defaultValue);
bool TryStrToInt(std::string_view s, int32_t& value);
int64_t StrToInt64(std::string_view s);
int64_t StrToInt64Def(std::string_view s, int64_t defaultValue);
bool TryStrToInt64(std::string_view s, int64_t& value);
long double StrToFloat(std::string_view s);  // DecimalSeparator, optional exponent
long double StrToFloatDef(std::string_view s, long double defaultValue);
bool TryStrToFloat(std::string_view s, long double& value);
bool TryStrToFloat(std::string_view s, double& value);
// General format, 15 significant digits: "0.1", "1E20", "1.5E-5".
std::string FloatToStr(long double value);
// precision: significant digits (1..18); digits: decimals for ffFixed/ffNumber/ffCurrency,
// minimum exponent digits (0..4) for ffGeneral/ffExponent.
std::string FloatToStrF(long double value, TFloatFormat format, int precision, int digits);

// ---------------------------------------------------------------------------------------------
// Strings (byte strings; case mapping is ASCII only, as the class library's plain routines).
std::string Trim(std::string_view s);  // drops spaces and control characters at both ends
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
int CompareStr(std::string_view a, std::string_view b);   // <0, 0, >0
int CompareText(std::string_view a, std::string_view b);  // ASCII case-insensitive
bool SameText(std::string_view a, std::string_view b);
int Pos(std::string_view substr, std::string_view s);  // 1-based; 0 when absent or substr empty
std::string Copy(std::string_view s, int64_t index, int64_t count);  // 1-based, clamped

// The bytes of a text in a Windows code page (1250 to 1256, 932, 936, 949 ...) as UTF-8; bytes that do not
// belong to the page become U+FFFD. Code page 65001 is UTF-8 already and comes back unchanged.
std::string CodePageToUtf8(uint32_t codePage, std::string_view bytes);

enum TReplaceFlag : unsigned { rfReplaceAll = 1, rfIgnoreCase = 2 };
std::string StringReplace(std::string_view s, std::string_view oldPattern,
                          std::string_view newPattern, unsigned flags);

// ---------------------------------------------------------------------------------------------
// File names ('/' separates folders) and the file system. Failures set GetLastError().
constexpr char PathDelim = '/';
std::string ExtractFilePath(std::string_view fileName);  // folder with its trailing '/'
std::string ExtractFileDir(std::string_view fileName);   // folder without it ("/" kept)
std::string ExtractFileName(std::string_view fileName);
std::string ExtractFileExt(std::string_view fileName);  // with the dot; "" when none
std::string ChangeFileExt(std::string_view fileName, std::string_view extension);
std::string IncludeTrailingPathDelimiter(std::string_view s);
std::string ExcludeTrailingPathDelimiter(std::string_view s);
std::string ExpandFileName(std::string_view fileName);  // absolute, "." and ".." resolved
bool FileExists(std::string_view fileName);              // false for folders
bool DirectoryExists(std::string_view dir);
bool ForceDirectories(std::string_view dir);  // EInOutError for an empty name
bool DeleteFile(std::string_view fileName);
bool RenameFile(std::string_view oldName, std::string_view newName);  // fails if newName exists
std::string GetTempPath();  // TMPDIR or /tmp, with a trailing '/'
std::string GetCurrentDir();

// ---------------------------------------------------------------------------------------------
// Rounding. Out-of-range and NaN arguments give INT64_MIN, as the FPU's masked invalid result.
int64_t Round(long double value);  // halves to even
int64_t Trunc(long double value);  // toward zero
int64_t Floor(long double value);
int64_t Ceil(long double value);
// a * b / c rounded to the nearest (halves away from zero); -1 when c is 0 or on overflow.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// ---------------------------------------------------------------------------------------------
// The class library's linear congruential generator; the same seed gives the same sequence.
int32_t RandSeed();
void SetRandSeed(int32_t seed);
void Randomize();                // seeds from the clock
int32_t Random(int32_t range);  // 0 <= result < range
long double Random();            // 0 <= result < 1

// ---------------------------------------------------------------------------------------------
// Process.
std::string ParamStr(int index);  // 0: the executable's absolute path; "" when out of range
int ParamCount();
std::string ApplicationFolder();  // the executable's folder with a trailing '/'

// ---------------------------------------------------------------------------------------------
// Dates: days since 1899-12-30, the time of day as the fraction.
using TDateTime = double;
TDateTime EncodeDate(int year, int month, int day);  // EConvertError on an invalid date
TDateTime EncodeTime(int hour, int min, int sec, int msec);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
int DayOfWeek(TDateTime dt);  // 1 = Sunday
TDateTime Now();              // local time
TDateTime Date();
// Patterns: y yy yyyy, m mm mmm mmmm, d dd ddd dddd ddddd dddddd, h hh, n nn, s ss, z zzz,
// am/pm, a/p, ampm, c, t, tt, '/' and ':' separators, "quoted" and 'quoted' text.
std::string FormatDateTime(std::string_view format, TDateTime dt);

// ---------------------------------------------------------------------------------------------
// Errors of operating-system calls.
uint32_t GetLastError();  // this thread's last error number
void SetLastError(uint32_t code);
std::string SysErrorMessage(uint32_t code);
[[noreturn]] void RaiseLastOSError();  // EOSError with GetLastError()'s code and text
[[noreturn]] void RaiseLastOSError(uint32_t code);

}  // namespace zv
