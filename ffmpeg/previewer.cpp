#include "ffmpeg/previewer.h"

#include "ffmpeg/ff_utils.h"
#include "ffmpeg/my_utils.h"

namespace zv {

void TPreviewerForm::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_LBUTTONDOWN) {
    SendMessage(Handle(), WM_NCLBUTTONDOWN, HTCAPTION, static_cast<LPARAM>(GetMessagePos()));
    return;
  }
  TForm::Dispatch(Message);
}

TPreviewer::~TPreviewer() {
  if (FForm) CallInMainThread([this] { FreeForm(); });
}

bool TPreviewer::Preview(TBitmap* Bitmap, int32_t FrameNumber, int64_t Time) {
  if (!FClosed.load()) {
    FBitmap = Bitmap;
    FFrameNumber = FrameNumber;
    FTime = Time;
    CallInMainThread([this] { ShowFrame(); });
  }
  return !FClosed.load();
}

void TPreviewer::ShowFrame() {
  if (FClosed.load()) return;
  if (!FForm) {
    CreateForm();
    FForm->Show();
  }
  FForm->SetCaption(FormatTimeUs(FTime));
  if (FBitmap) FForm->Canvas()->Draw(0, 0, FBitmap);
}

void TPreviewer::CreateForm() {
  FForm = new TPreviewerForm(nullptr);
  FForm->SetFormStyle(fsStayOnTop);
  FForm->SetBorderStyle(bsToolWindow);
  FForm->SetBorderIcons({biSystemMenu});
  FForm->SetPosition(poScreenCenter);
  FForm->OnCloseQuery = [this](TObject*, bool&) { FClosed = true; };
  if (FBitmap) {
    FForm->SetClientWidth(FBitmap->Width());
    FForm->SetClientHeight(FBitmap->Height());
  }
}

void TPreviewer::FreeForm() {
  delete FForm;
  FForm = nullptr;
}

}  // namespace zv
