// The message-box service.
#include "toolkit/Dialogs.h"

namespace toolkit {

namespace {
MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}
}  // namespace

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  if (Handler()) return Handler()(owner, text, caption, flags);
  return MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler previous = std::move(Handler());
  Handler() = std::move(handler);
  return previous;
}

}  // namespace toolkit
