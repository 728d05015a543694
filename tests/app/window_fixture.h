// The main window as the executable shows it, made for a test in its own application folder: the
// language files copied there, English applied, nothing open, shown and painted headless.
#pragma once

#include <filesystem>
#include <string>

#include "app/main_window.h"
#include "app/tovrik_fun.h"
#include "platform/backend.h"

namespace zv::apptest {

// Folder ends with a separator; ZV_APP_BIN_DIR is where the build put the language files.
inline TFrmZonvark* ShowMainWindow(const std::string& Folder) {
  std::filesystem::create_directories(Folder);
  headless::ClearRecords();
  auto* Form = new TFrmZonvark(Application);
  AppFolder = Folder;
  const std::filesystem::path Languages = std::filesystem::path(ZV_APP_BIN_DIR) / "Languages";
  if (std::filesystem::exists(Languages))
    std::filesystem::copy(Languages, Folder + "Languages",
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
  Form->ApplyLanguage(LangEnglish);
  if (!std::filesystem::exists(Folder + "Languages")) LoadMessages(Folder + "none.isl", MessageTexts);
  Form->ResetVideoState();
  Form->Show();
  headless::Pump();
  return Form;
}

inline void CloseMainWindow(TFrmZonvark* Form) {
  delete Form;
  headless::Pump();
}

}  // namespace zv::apptest
