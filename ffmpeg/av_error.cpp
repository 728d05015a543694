#include "ffmpeg/av_error.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace zv {

namespace {

struct TErrorItem {
  int32_t Code;
  std::string Text;
};

const TErrorItem TaggedErrors[] = {
    {-1179861752, "Bitstream filter not found"},
    {-558323010, "Internal bug, should not have happened"},
    {-541545794, "Internal bug, should not have happened"},
    {-1397118274, "Buffer too small"},
    {-1128613112, "Decoder not found"},
    {-1296385272, "Demuxer not found"},
    {-1129203192, "Encoder not found"},
    {-541478725, "End of file"},
    {-1414092869, "Immediate exit requested"},
    {-542398533, "Generic error in an external library"},
    {-1279870712, "Filter not found"},
    {-1094995529, "Invalid data found when processing input"},
    {-1481985528, "Muxer not found"},
    {-1414549496, "Option not found"},
    {-1163346256, "Not yet implemented in FFmpeg, patches welcome"},
    {-1330794744, "Protocol not found"},
    {-1381258232, "Stream not found"},
    {-1313558101, "Unknown error occurred"},
    {-733130664, "Requested feature is flagged experimental. Set strict_std_compliance if you really want to use it."},
};

// Texts that FFmpeg's table words differently from the C library.
const TErrorItem ErrnoOverrides[] = {
    {-11, "Resource temporarily unavailable / Try again"},
    {-12, "Not enough space / Out of memory"},
    {-22, "Invalid argument / Invalid data found when processing input"},
    {-23, "Too many open files in system / File table overflow"},
    {-25, "Inappropriate I/O control operation / Not a typewriter"},
    {-125, "Operation Canceled"},
};

// The negated system error numbers 2 to 131 with the C library's English texts (not the locale's:
// these texts go to the log as FFmpeg's own would).
const std::vector<TErrorItem>& ErrnoErrors() {
  static std::once_flag once;
  static std::vector<TErrorItem> rows;
  std::call_once(once, [] {
    for (int number = 2; number <= 131; ++number) {
      std::string text;
      for (const TErrorItem& item : ErrnoOverrides)
        if (item.Code == -number) text = item.Text;
      if (text.empty()) {
        const char* description = strerrordesc_np(number);
        if (description == nullptr) continue;
        text = description;
      }
      rows.push_back({-number, text});
    }
  });
  return rows;
}

}  // namespace

std::string AVErrorTableText(int32_t Code) {
  for (const TErrorItem& item : TaggedErrors)
    if (item.Code == Code) return item.Text;
  for (const TErrorItem& item : ErrnoErrors())
    if (item.Code == Code) return item.Text;
  return std::string();
}

}  // namespace zv
