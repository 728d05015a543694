// A language file from outside bytes, applied as the program applies one to its window: the message
// texts, then the window's section set onto its components by name, the option lists' choices kept.
// The window is a small stand-in with a component of each kind the shipped files name.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "app/tovrik_fun.h"
#include "platform/backend.h"
#include "platform/forms.h"
#include "platform/lists.h"
#include "platform/menus.h"
#include "platform/std_combo.h"
#include "platform/std_controls.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  const std::string Path = fuzz::TempPath("language.isl");
  if (!fuzz::WriteFile(Path, Data, Size)) return 0;
  {
    auto Form = std::make_unique<TForm>(nullptr);
    Form->SetName("FrmZonvark");
    auto* Label = new TLabel(Form.get());
    Label->SetName("LabelWait");
    auto* Button = new TButton(Form.get());
    Button->SetName("BtnOpen");
    auto* Combo = new TComboBox(Form.get());
    Combo->SetName("ComboBoxColor");
    Combo->SetParent(Form.get());
    for (const char* Item : {"4 color", "8 color", "16 color", "32 color"}) Combo->Items()->Add(Item);
    Combo->SetItemIndex(2);
    auto* Menu = new TMenuItem(Form.get());
    Menu->SetName("PM_English");

    TMessageTexts Texts;
    fuzz::AsTheApplication([&] {
      LoadMessages(Path, Texts);
      const int32_t Index = Combo->ItemIndex();
      ApplyLanguageStrings(Form.get(), Path);
      Combo->SetItemIndex(Index);
    });
  }
  headless::Pump();
  std::remove(Path.c_str());
  return 0;
}
