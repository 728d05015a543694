// Library-wide settings of the image core: process-wide values that the library's start-up sets
// once and that are read without a lock afterwards. Each starts at its start-up value.
#pragma once

#include <cstdint>
#include <string>

namespace zv {

// Percent weights of the library's grey level: grey = (R x red + G x green + B x blue) div 100.
extern int32_t GrayWeightRed;    // 21
extern int32_t GrayWeightGreen;  // 71
extern int32_t GrayWeightBlue;   // 8

// Cached processor core count; -1 until ProcessorCoreCount first counts.
extern int32_t CoreCount;

// Memory threshold given to every new bitmap; -1 lets the bitmap derive it from physical memory.
extern int64_t MemoryThresholdOverride;
// A bitmap may fall back to a temporary file when memory fails.
extern bool TempFileFallback;
// A bitmap may split its memory into chunks when one block cannot be had.
extern bool ChunkedMemory;

// Folder of the library's temporary files; empty means the system's temporary folder.
extern std::string TempFolder;

// The folder temporary files go to: TempFolder when set (with a trailing separator added), else the
// system's temporary folder.
std::string TempFilesFolder();

}  // namespace zv
