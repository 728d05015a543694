#include "imaging/core/globals.h"

#include "platform/sysutils.h"

namespace zv {

int32_t GrayWeightRed = 21;
int32_t GrayWeightGreen = 71;
int32_t GrayWeightBlue = 8;

int32_t CoreCount = -1;

int64_t MemoryThresholdOverride = -1;
bool TempFileFallback = true;
bool ChunkedMemory = true;

std::string TempFolder;

std::string TempFilesFolder() {
  if (TempFolder.empty()) return GetTempPath();
  return IncludeTrailingPathDelimiter(TempFolder);
}

}  // namespace zv
