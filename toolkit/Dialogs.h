// The message-box service: every message box of the program goes through here, so that a test
// can answer it without a person. The real answerer is MessageBoxA.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace toolkit {

// Answers one message box: owner window, text, caption, MB_* flags -> IDOK, IDYES, ...
using MessageBoxHandler = std::function<int(HWND, const std::string&, const std::string&, UINT)>;

// Shows a message box through the installed handler (MessageBoxA unless a test replaced it).
int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags);

// Installs `handler` (an empty one puts MessageBoxA back); returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace toolkit
