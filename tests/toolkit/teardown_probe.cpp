// teardown_probe.exe MODE LOG: a program with three forms whose middle one's destroy handler
// throws. MODE "halt" ends through Halt(3) from a handler, "end" through the end of the program.
// Every destroy handler and every message box is written to LOG, one line each.
#include <windows.h>

#include <cstdio>
#include <string>

#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/Seams.h"

namespace {

std::string logPath;

void Note(const std::string& line) {
  if (FILE* f = std::fopen(logPath.c_str(), "ab")) {
    std::fputs((line + "\n").c_str(), f);
    std::fclose(f);
  }
}

class TEnding : public toolkit::TForm {
 public:
  TEnding(toolkit::TComponent* owner, const char* name, bool fails) : TForm(owner, "TEnding"), name_(name), fails_(fails) {
    OnDestroy = [this](toolkit::TComponent*) {
      if (fails_) throw base::Exception("Fehler beim Setzen der Daten für 'Update'");
      Note(std::string("destroy ") + name_);
    };
  }

 private:
  const char* name_;
  bool fails_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string mode = argv[1];
  logPath = argv[2];
  auto answer = toolkit::MessageBoxSeam.Replace([](HWND, const std::string& text, const std::string& caption, UINT) {
    Note("box " + caption + "|" + text);
    return IDOK;
  });
  {
    toolkit::TApplication app;
    app.SetTitle("Probe");
    app.CreateForm<TEnding>("A", false);
    app.CreateForm<TEnding>("B", true);
    auto* c = app.CreateForm<TEnding>("C", false);
    if (mode == "halt") {
      // From inside a handler, as the update-only start does it.
      auto* button = new toolkit::TButton(c, c, "Ende", {0, 0, 50, 20});
      button->OnClick = [&app](toolkit::TComponent*) { app.Halt(3); };
      PostMessageA(button->Handle(), BM_CLICK, 0, 0);
      app.Run();
      return 1;  // not reached
    }
  }
  Note("after the application");
  return 0;
}
