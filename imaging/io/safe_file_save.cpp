#include "imaging/io/safe_file_save.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>

#include "imaging/core/ie_streams.h"
#include "platform/streams.h"

namespace zv {

namespace {

std::atomic<uint32_t> PartCounter{0};

}  // namespace

TIESafeFileSave::TIESafeFileSave(const std::string& FileName) : FTarget(FileName) {
  // Only a regular file (or a new one) is replaced: a device or other special file is written in place,
  // and a link keeps pointing at the file it names.
  std::error_code Error;
  const auto Status = std::filesystem::status(FileName, Error);
  const bool Exists = !Error && std::filesystem::exists(Status);
  bool Beside = !Exists || std::filesystem::is_regular_file(Status);
  if (Exists && Beside) {
    const auto Real = std::filesystem::canonical(FileName, Error);
    if (Error)
      Beside = false;
    else
      FTarget = Real.string();
  }
  for (int Attempt = 0; Beside && Attempt < 4 && !FStream; ++Attempt) {
    const std::string Part =
        FTarget + "." + std::to_string(getpid()) + "-" + std::to_string(PartCounter.fetch_add(1)) + ".part";
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
  // The new file keeps the access rights of the one it replaces.
  const auto Old = std::filesystem::status(FTarget, Error);
  if (!Error && std::filesystem::exists(Old)) std::filesystem::permissions(FPart, Old.permissions(), Error);
  Error.clear();
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
