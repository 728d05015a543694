#include "imaging/io/safe_file_save.h"

#include <atomic>
#include <cstdio>
#include <system_error>
#include <filesystem>

#include "imaging/core/ie_streams.h"
#include "platform/streams.h"

namespace zv {

namespace {

std::atomic<uint32_t> PartCounter{0};

}  // namespace

TIESafeFileSave::TIESafeFileSave(const std::string& FileName) : FTarget(FileName) {
  for (int Attempt = 0; Attempt < 4 && !FStream; ++Attempt) {
    const std::string Part = FileName + "." + std::to_string(PartCounter.fetch_add(1)) + ".part";
    std::error_code Error;
    if (std::filesystem::exists(Part, Error)) continue;
    try {
      FStream = std::make_unique<TIEWideFileStream>(Part, ieFileCreate);
      FPart = Part;
    } catch (...) {
      break;
    }
  }
  if (!FStream) FStream = std::make_unique<TIEWideFileStream>(FileName, ieFileCreate);
}

TIESafeFileSave::~TIESafeFileSave() { Discard(); }

bool TIESafeFileSave::Commit() {
  FStream.reset();
  if (FPart.empty()) return true;
  std::error_code Error;
  std::filesystem::rename(FPart, FTarget, Error);
  if (Error) {
    Discard();
    return false;
  }
  FPart.clear();
  return true;
}

void TIESafeFileSave::Discard() {
  FStream.reset();
  if (FPart.empty()) return;
  std::error_code Error;
  std::filesystem::remove(FPart, Error);
  FPart.clear();
}

}  // namespace zv
