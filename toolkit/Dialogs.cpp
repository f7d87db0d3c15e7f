// The message-box service.
#include "toolkit/Dialogs.h"

#include "toolkit/Application.h"
#include "toolkit/Seams.h"

namespace toolkit {

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  return MessageBoxSeam(owner, text, caption, flags);
}

int MessageDlg(const std::string& text, UINT flags) {
  HWND owner = GetActiveWindow();
  if (!owner && Application) owner = Application->Handle();
  return ShowMessageBox(owner, text, Application ? Application->Title() : std::string(), flags);
}

}  // namespace toolkit
