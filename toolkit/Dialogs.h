// The message-box service: every message box of the program goes through MessageBoxSeam
// (Seams.h), so that a test can answer it without a person.
#pragma once

#include <windows.h>

#include <string>

namespace toolkit {

// Shows a message box through the seam; returns the button chosen (IDOK, IDYES, ...).
int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags);

// A message box captioned with the application's title and owned by the active window of this
// thread (or the application's window): the confirmation questions and notices of the program.
int MessageDlg(const std::string& text, UINT flags);

}  // namespace toolkit
