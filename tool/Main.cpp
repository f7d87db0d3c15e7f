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
    // The about dialog is made at its first show (a click on the logo); the 8-point forms take
    // the message font's face here, where the dialog's making would have given it to them.
    ui::AdaptFormFonts();
  } catch (const std::exception& e) {
    app.HandleException(e);
    return 1;
  }
  app.Run();
  return 0;
}
