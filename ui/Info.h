// TInfo: the about dialog. A painted banner with the maker's logo, the program's icon, name,
// file version and development period; below it a credit line and the maker's e-mail and web
// addresses as links. Creating it also gives every 8-point form that exists at that moment the
// face of the system's message font.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "toolkit/Controls.h"
#include "toolkit/FormBuilder.h"

namespace ui {

class TInfo;

// The process's one about dialog while it exists (set by its constructor), or null.
extern TInfo* Info;

// The "FileVersion" text of the version resource of `path`, in the first language and code
// page that the resource lists; empty for a file that is no executable, has no version
// resource, or whose first translation has no "FileVersion".
std::string FileVersionText(const std::string& path);

// Every 8-point form of the application (and every control that follows its form's font)
// takes the face of the system's message font; the size and style stay. What making the about
// dialog does, for a program that makes the dialog only when it is first shown.
void AdaptFormFonts();
// How often the forms took the face so far in this process.
int FontAdaptations();
// For a form made later than a program made it before: when the forms took a face since the
// moment the form would have been made (`seen`, the FontAdaptations of then), an 8-point form
// takes the face of the last time.
void CatchUpFontAdaptation(toolkit::TForm& form, int seen);

class TInfo : public toolkit::TForm {
 public:
  // Adapt: making the dialog adapts every 8-point form (AdaptFormFonts). FontsAdapted: the
  // program did that already, at the moment the dialog would have been made; only the dialog
  // itself catches up (CatchUpFontAdaptation).
  enum FontAdaptation { Adapt, FontsAdapted };
  // Loads the bitmap resource "LOGO" of the program; throws base::Exception when it is missing.
  explicit TInfo(toolkit::TComponent* owner, FontAdaptation fonts = Adapt);
  ~TInfo() override;

  toolkit::TPaintBox* LogoPB = nullptr;
  toolkit::TLabel* InfoLbl = nullptr;
  toolkit::TButton* OK = nullptr;
  toolkit::TLabel* EMailLbl = nullptr;
  toolkit::TLabel* URLLbl = nullptr;

  // Stores the three values, sets the caption to "Info über " + programTitle and shows the
  // dialog modally; returns when the user closes it. The icon is borrowed: the caller keeps it.
  void ShowInfo(const std::string& programTitle, const std::string& developmentTime, HICON programIcon);

  // The maker's logo, for the main window's copy.
  const std::shared_ptr<toolkit::TBitmap>& Logo() const { return logo_; }

  // The values the banner shows, as ShowInfo stores them; SetBanner stores them without
  // showing the dialog (for painting it elsewhere).
  const std::string& ProgramTitle() const { return programTitle_; }
  const std::string& DevelopmentTime() const { return developmentTime_; }
  HICON ProgramIcon() const { return programIcon_; }  // borrowed
  void SetBanner(const std::string& programTitle, const std::string& developmentTime, HICON programIcon);

  void FormCreate(toolkit::TComponent* sender);
  void FormDestroy(toolkit::TComponent* sender);
  void LogoPBPaint(toolkit::TComponent* sender);
  void EMailLblClick(toolkit::TComponent* sender);
  void URLLblClick(toolkit::TComponent* sender);
  void HyperLinkMouseEnter(toolkit::TComponent* sender);
  void HyperLinkMouseLeave(toolkit::TComponent* sender);
  void HyperLinkMouseDown(toolkit::TComponent* sender);
  void HyperLinkMouseUp(toolkit::TComponent* sender);

 private:
  // A link label's row: own font in the link colour, right-justified, hand pointer, the
  // hyperlink handlers. The links open through the shell's seam (toolkit/Seams.h).
  toolkit::ControlSpec Link(toolkit::ControlSpec row);
  std::shared_ptr<toolkit::TBitmap> logo_, logoMask_;
  std::string programTitle_, developmentTime_;
  HICON programIcon_ = nullptr;  // borrowed
  FontAdaptation fonts_;
};

}  // namespace ui
