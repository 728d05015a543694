// A file save written beside its target and put in the target's place only when it succeeds, so that a
// save that fails, raises or is aborted leaves the old file as it was.
#pragma once

#include <memory>
#include <string>

namespace zv {

class TStream;

class TIESafeFileSave {
public:
  // Creates the file beside FileName ("<FileName>.<process>-<n>.part"); when that cannot be made the target
  // itself is created, and a failure there raises as TIEWideFileStream does.
  explicit TIESafeFileSave(const std::string& FileName);
  // Without Commit the file written beside is removed.
  ~TIESafeFileSave();
  TIESafeFileSave(const TIESafeFileSave&) = delete;
  TIESafeFileSave& operator=(const TIESafeFileSave&) = delete;

  TStream* Stream() const { return FStream.get(); }
  // Closes the stream and puts what was written in the target's place; false (target unchanged) when
  // that fails.
  bool Commit();
  // Closes the stream and removes what was written beside the target.
  void Discard();

private:
  std::string FTarget;
  std::string FPart;  // empty when the target itself was opened
  std::unique_ptr<TStream> FStream;
};

}  // namespace zv
