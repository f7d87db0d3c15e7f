// Brisel.exe: program entry of the settings tool.
#include <windows.h>

#include "tool/MainForm.h"
#include "toolkit/Application.h"
#include "ui/Info.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  toolkit::TApplication app;
  app.SetTitle(tool::kAppTitle);
  try {
    app.CreateForm<tool::TForm1>();
    // The about dialog, hidden; it must exist before the main window is first shown, which
    // takes its logo.
    app.CreateForm<ui::TInfo>();
  } catch (const std::exception& e) {
    app.HandleException(e);
    return 1;
  }
  app.Run();
  return 0;
}
