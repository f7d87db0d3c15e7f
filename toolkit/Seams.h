// Replaceable platform calls: everything a test cannot make real under Wine (a person answering
// a message box, the shell opening a mail program, the Internet connection state, a program or
// batch file being started, the temporary folder, today's date). The program calls the seam;
// the seam calls the platform unless a test has put a replacement in.
//
// One pattern for all of them: Replace returns a guard, and while the guard lives its function
// answers instead; when the guard ends (also when a test returns early through a failed
// assertion) the seam is back to what it was. Guards may end in any order: each takes out only
// its own replacement, and the newest replacement still in place answers.
#pragma once

#include <windows.h>

#include <functional>
#include <list>
#include <memory>
#include <string>
#include <utility>

#include "base/DateTime.h"

namespace toolkit {

// Puts a seam back when it ends. Move-only.
class SeamGuard {
 public:
  SeamGuard() = default;
  explicit SeamGuard(std::function<void()> restore) : restore_(std::move(restore)) {}
  SeamGuard(SeamGuard&& o) noexcept : restore_(std::exchange(o.restore_, nullptr)) {}
  SeamGuard& operator=(SeamGuard&& o) noexcept {
    if (this != &o) {
      Restore();
      restore_ = std::exchange(o.restore_, nullptr);
    }
    return *this;
  }
  SeamGuard(const SeamGuard&) = delete;
  SeamGuard& operator=(const SeamGuard&) = delete;
  ~SeamGuard() { Restore(); }
  // Puts the seam back now.
  void Restore() {
    if (restore_) std::exchange(restore_, nullptr)();
  }

 private:
  std::function<void()> restore_;
};

template <typename Signature>
class Seam;

template <typename R, typename... Args>
class Seam<R(Args...)> {
 public:
  using Function = std::function<R(Args...)>;
  explicit Seam(Function real) : real_(std::move(real)) {}
  Seam(const Seam&) = delete;
  Seam& operator=(const Seam&) = delete;

  R operator()(Args... args) const {
    // A copy: the function may put in or take out replacements while it runs.
    Function f = replacements_->empty() ? real_ : replacements_->back();
    return f(std::forward<Args>(args)...);
  }

  // `replacement` answers until the guard ends.
  [[nodiscard]] SeamGuard Replace(Function replacement) {
    auto at = replacements_->insert(replacements_->end(), std::move(replacement));
    std::weak_ptr<std::list<Function>> list = replacements_;
    return SeamGuard([list, at] {
      if (auto l = list.lock()) l->erase(at);
    });
  }
  bool Replaced() const { return !replacements_->empty(); }

 private:
  Function real_;
  std::shared_ptr<std::list<Function>> replacements_ = std::make_shared<std::list<Function>>();
};

// A message box: owner window, text, caption, MB_* flags -> the button chosen (IDOK, IDYES, ...).
extern Seam<int(HWND owner, const std::string& text, const std::string& caption, UINT flags)> MessageBoxSeam;

// The shell's ShellExecute: owner window, verb, file, parameters, working directory (empty
// strings stand for none), show command -> its result (above 32 on success). Opens the mail and
// web links and starts the update batch file.
extern Seam<INT_PTR(HWND owner, const std::string& verb, const std::string& file, const std::string& parameters,
                    const std::string& directory, int show)>
    ShellExecuteSeam;

// A program started with the user's consent (the shell's verb "runas"): owner window, program,
// parameters -> the new process (the caller closes the handle; null when nothing started) and,
// when nothing started, the error (ERROR_CANCELLED: the user refused).
struct ElevatedStart {
  HANDLE process = nullptr;
  DWORD error = ERROR_SUCCESS;
};
extern Seam<ElevatedStart(HWND owner, const std::string& file, const std::string& parameters)> ElevatedStartSeam;

// Whether an Internet connection is present (InternetGetConnectedState).
extern Seam<bool()> InternetConnectedSeam;

// The user's temporary directory as the platform reports it, ending with a backslash.
extern Seam<std::string()> TempPathSeam;

// The local date and time now, as a date value.
extern Seam<base::TDateTime()> NowSeam;

// Today's date (the whole day of NowSeam).
base::TDateTime Today();

// A function of a system library (shell32, wininet), loaded at its first use from the system
// folder and kept until the process ends: a program pays for loading such a library only when
// it calls into it, and a library of that name elsewhere (beside the program, in the current
// folder) is never taken. Null when the library or the function is missing.
FARPROC SystemProc(const char* library, const char* name);
template <typename Function>
Function SystemFunction(const char* library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(SystemProc(library, name)));
}

}  // namespace toolkit
