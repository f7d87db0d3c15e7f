// Helpers of the toolkit tests: an application per test with every message box recorded, a
// pump that runs until something happened, and keys through the thread's real input queue.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/Seams.h"

namespace tktest {

// Pumps the thread's messages until `done` or `ms` milliseconds passed; true when done.
inline bool PumpUntil(const std::function<bool()>& done, DWORD ms = 3000) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > ms) return false;
    toolkit::WaitForMessage(20);
    toolkit::ProcessMessages();
  }
  return true;
}

// Pumps for a while, so that what was posted has been handled.
inline void Settle(DWORD ms = 100) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    toolkit::WaitForMessage(10);
    toolkit::ProcessMessages();
  }
}

// A key pressed and released through the system's input queue, with modifiers held around it.
inline void PressKey(WORD vk, std::initializer_list<WORD> modifiers = {}) {
  std::vector<INPUT> in;
  auto key = [&in](WORD k, bool down) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = k;
    i.ki.wScan = static_cast<WORD>(MapVirtualKeyA(k, MAPVK_VK_TO_VSC));
    i.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    in.push_back(i);
  };
  for (WORD m : modifiers) key(m, true);
  key(vk, true);
  key(vk, false);
  for (auto m = modifiers.end(); m != modifiers.begin();) key(*--m, false);
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
  Settle(150);
}

// Brings the form to the front and puts the focus on `control`.
inline void FocusOn(toolkit::TForm& form, toolkit::TControl& control) {
  if (!form.Visible()) form.ShowForm();
  SetForegroundWindow(form.Handle());
  Settle(50);
  control.SetFocus();
  Settle(50);
}

// An application object for each test; message boxes are recorded as "caption|text" and
// answered with IDOK.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    answer = toolkit::MessageBoxSeam.Replace([this](HWND, const std::string& text, const std::string& caption, UINT) {
      boxes.push_back(caption + "|" + text);
      return IDOK;
    });
    app = std::make_unique<toolkit::TApplication>();
    app->SetTitle("Toolkit-Test");
  }
  void TearDown() override { app.reset(); }
  std::vector<std::string> boxes;
  toolkit::SeamGuard answer;
  std::unique_ptr<toolkit::TApplication> app;
};

// A form that a test fills with rows.
class TTestForm : public toolkit::TForm {
 public:
  explicit TTestForm(toolkit::TComponent* owner) : TForm(owner, "TTestForm", "Test", 400, 300) {}
};

}  // namespace tktest
