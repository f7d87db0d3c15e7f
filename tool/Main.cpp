// Brisel.exe: program entry of the settings tool.
#include <windows.h>

#include "tool/MainForm.h"
#include "toolkit/Application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  toolkit::TApplication app;
  app.SetTitle(tool::kAppTitle);
  try {
    app.CreateForm<tool::TForm1>();
  } catch (const std::exception& e) {
    app.HandleException(e);
    return 1;
  }
  app.Run();
  return 0;
}
