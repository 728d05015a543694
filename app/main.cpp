// The executable: start the libraries, build the main window, run the message loop, shut down.
#include "app/app_startup.h"
#include "app/main_window.h"
#include "platform/backend.h"
#include "platform/forms.h"

int main() {
  using namespace zv;
  if (!EnsureDesktop()) return 1;
  AppStartup();
  Application->Initialize();
  Application->CreateForm(FrmZonvark);
  Application->Run();
  Application->DestroyForms();
  AppShutdown();
  return 0;
}
