// A small stay-on-top window showing the pictures of a running transcode, one at a time, with the
// picture's time as its caption. Pictures come from a worker thread; all window work runs in the main
// thread, and the caller waits for it.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/forms.h"
#include "platform/graphics.h"

namespace zv {

// A tool window that a left click anywhere drags.
class TPreviewerForm : public TForm {
public:
  explicit TPreviewerForm(TComponent* AOwner) : TForm(AOwner) {}
  void Dispatch(TMessage& Message) override;
};

class TPreviewer : public TObject {
public:
  TPreviewer() = default;
  ~TPreviewer() override;
  TPreviewer(const TPreviewer&) = delete;
  TPreviewer& operator=(const TPreviewer&) = delete;

  // Shows Bitmap (valid until the call returns) with Time (microseconds) as the caption; false once
  // the user closed the window.
  bool Preview(TBitmap* Bitmap, int32_t FrameNumber, int64_t Time);
  TPreviewerForm* Form() const { return FForm; }
  bool Closed() const { return FClosed.load(); }

private:
  void ShowFrame();
  void CreateForm();
  void FreeForm();

  TPreviewerForm* FForm = nullptr;
  std::atomic<bool> FClosed{false};
  TBitmap* FBitmap = nullptr;
  int32_t FFrameNumber = 0;
  int64_t FTime = 0;
};

}  // namespace zv
