// Notizkasten.exe: the smallest program of the family, and the pattern for embedding the update
// engine: a main form holding a TTrelkUpdateFile with the program's own three properties, and
// AutomaticUpdate as the first step of the form's create handler.
#include <windows.h>

#include <initializer_list>
#include <string>

#include "engine/TrelkUpdateFile.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/FormBuilder.h"
#ifdef NOTIZKASTEN_SEES_PROTECTED_FOLDER
#include "toolkit/Seams.h"
#include "wizard/TrelkUpdateFile_StatusForm.h"
#endif

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

#ifdef NOTIZKASTEN_SEES_PROTECTED_FOLDER
// A build for the tests of the installation with consent: its program folder counts as one only
// administrators can write, and the person at the computer consents at once: the start gets the
// full token that the system links to this process's limited one (the token a consent gives),
// where there is one.
toolkit::ElevatedStart StartWithFullToken(HWND, const std::string& file, const std::string& parameters) {
  toolkit::ElevatedStart start;
  HANDLE own = nullptr, full = nullptr;
  TOKEN_LINKED_TOKEN linked{};
  DWORD size = 0;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own) &&
      GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size))
    DuplicateTokenEx(linked.LinkedToken, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary, &full);
  std::string commandLine = "\"" + file + "\" " + parameters;
  STARTUPINFOA startup{sizeof startup};
  PROCESS_INFORMATION process{};
  const BOOL started = full ? CreateProcessAsUserA(full, file.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                                   nullptr, nullptr, &startup, &process)
                            : CreateProcessA(file.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                             nullptr, &startup, &process);
  if (started) {
    CloseHandle(process.hThread);
    start.process = process.hProcess;
  } else {
    start.error = GetLastError();
  }
  for (HANDLE h : {own, full, linked.LinkedToken})
    if (h) CloseHandle(h);
  return start;
}
#endif

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
#ifdef NOTIZKASTEN_SEES_PROTECTED_FOLDER
  auto protectedFolder = wizard::ProgramFolderWritableSeam.Replace([](const std::string&) { return false; });
  auto consent = toolkit::ElevatedStartSeam.Replace(StartWithFullToken);
#endif
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
