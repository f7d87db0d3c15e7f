// Notizkasten.exe: the smallest program of the family, and the pattern for embedding the update
// engine: a main form holding a TTrelkUpdateFile with the program's own three properties, and
// AutomaticUpdate as the first step of the form's create handler.
#include <windows.h>

#include "engine/TrelkUpdateFile.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/FormBuilder.h"

// The version the window shows; a second build with another one is the "new version" that
// the tests install through the update road.
#ifndef NOTIZKASTEN_VERSION
#define NOTIZKASTEN_VERSION "1.0"
#endif

namespace {

using namespace toolkit;

class TMainForm : public TForm {
 public:
  explicit TMainForm(TComponent* owner) : TForm(owner, "TNotizkastenForm") {
    SetName("MainForm");
    Build(*this, FormSpec("Notizkasten", 360, 120)
                     .Flags(FormFlag::MinimizeBox)
                     .OnCreate(this, &TMainForm::FormCreate)
                     .OnDestroy(this, &TMainForm::FormDestroy)
                     .Controls({
                         Row("Label_Info", Kind::WrapLabel, "",
                             "Notizkasten " NOTIZKASTEN_VERSION ", ein Programm der Trelk-Software-Familie.\r\n\r\n"
                             "Strg+U sucht jederzeit nach Updates.",
                             {12, 12, 336, 60}),
                         Row("Button_Close", Kind::Button, "", "Schließen", {273, 84, 75, 25})
                             .Flags(Flag::Default | Flag::Cancel)
                             .Into(Button_Close)
                             .OnClick(this, &TMainForm::Button_CloseClick),
                     }));
#ifndef NOTIZKASTEN_WITHOUT_UPDATE
    // The three properties every program sets to its own values.
    Update = new engine::TTrelkUpdateFile(this);
    Update->SetName("Update");
    Update->ProgramName = "Notizkasten";
    Update->RegistryKey = "Notizkasten";
    Update->ZIPFileName = "Notizkasten.zip";
#endif
  }

  void FormCreate(TComponent*) {
#ifndef NOTIZKASTEN_WITHOUT_UPDATE
    // First of all: the wizard may open here, before this window is ever shown.
    Update->AutomaticUpdate("", false, 0);
#endif
  }

  // The program's own end; an update-only start ends without it.
  void FormDestroy(TComponent*) {}

  void Button_CloseClick(TComponent*) { Close(); }

  TButton* Button_Close = nullptr;
#ifndef NOTIZKASTEN_WITHOUT_UPDATE
  engine::TTrelkUpdateFile* Update = nullptr;
#endif
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  TApplication app;
  app.SetTitle("Notizkasten");
  try {
    app.CreateForm<TMainForm>();
  } catch (const std::exception& e) {
    app.HandleException(e);
    return 1;
  }
  app.Run();
  return 0;
}
