// WizardRun: the run of the update wizard, owned by the wizard. Which step it is on, what the
// last check found, how the download went, and what the current search holds in its folder
// below the temporary directory (the list, the archive, the unpacked files, "Update.bat"). Each
// way into a run resets it in one call: a show (Begin), the retry of a download (RetryDownload)
// and the way back to a new check after a refusal (BackToCheck).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "net/http_rules.h"
#include "toolkit/Handles.h"
#include "wizard/IniFile.h"
#include "wizard/update_rules.h"
#include "wizard/wizard_rules.h"

namespace wizard {

struct WizardRun {
  WizardStep Step = WizardStep::Welcome;
  // The last check found an update for the program. Set by the check, cleared at a show and by
  // the HTTP client's failure events; no step reads from it whether its own transfer worked.
  bool UpdateAvailable = false;
  bool Downloading = false;      // a download is running
  bool CancelConfirmed = false;  // the user confirmed stopping the running download
  bool DownloadAborted = false;  // the last download was stopped on the user's request
  bool DownloadFailed = false;   // the last download did not arrive whole (no connection, error status, cut off)
  bool DownloadTooLarge = false; // ... because it passed the room on the temporary folder's drive
  bool InstallPrepared = false;  // "Update.bat" is written and starts at the wizard's destruction
  // The program folder refused this user's write when the installation was prepared: the
  // program's own executable installs with the user's consent (ProtectedInstall), and a refused
  // consent installs nothing.
  bool NeedsConsent = false;
  bool BatchStarted = false;  // ... and its batch was started that way before the program's end
  bool ReminderWritten = false;  // "Update" was written before that start: not again at destruction
  // The list's signature line as the server sent it (with a key), and the SHA-256 of the archive
  // the finish step unpacked (64 hex digits; with consent, or with a key): what the installation
  // with consent checks its own copies against.
  std::string ListSignature;
  std::string ArchiveSha256;
  std::string TempDir;           // the user's temporary directory with its backslash, read at each show
  // The folder of the current search below TempDir, with its backslash; empty before the first
  // check and after it was removed.
  std::string SearchDir;
  std::string ListFileName;                // the list of the current search in SearchDir; empty when none
  std::unique_ptr<TIniFile> UpdateList;    // the update list of the last check; none before it
  // The list file, open for reading and shared for reading only while UpdateList reads it: the
  // values shown and used are those of the bytes that were checked.
  toolkit::ScopedFile HeldList;
  // The unpacked files and "Update.bat" of a prepared installation, held open until the batch
  // starts: no other process changes them meanwhile, and other searches see the installation
  // as pending.
  std::vector<toolkit::ScopedFile> HeldFiles;
  base::TDateTime DownloadStart = 0;  // time of day the current download began; 0 before the first
  // Why the last check read no list (with a key; None otherwise): the result page shows it.
  Refusal ListRefusal = Refusal::None;
  // The archive's length as the signed list gives it ("Size"); none without a key or a "Size".
  std::optional<std::int64_t> ArchiveSize;
  // The last download ended shorter or longer than ArchiveSize: nothing of it is kept.
  bool DownloadSizeWrong = false;
  // The archive file of the current search while it is downloaded: open for reading and writing
  // and shared for reading only, from the first attempt until it arrived whole or is given up,
  // so that no other process changes the bytes a retry continues. ArchiveResume: what a broken
  // attempt left in it (Kept 0: nothing to continue).
  toolkit::ScopedFile HeldArchive;
  net::TResumePoint ArchiveResume;
  bool WayBack = false;             // "Weiter >" reads "< Zurück" and leads to a new check
  bool ArchiveRefused = false;      // "Einrichten" shows a refused archive's text and icon
  bool CloseAfterDownload = false;  // the window closes once the running download has returned

  // A show: a new run on the welcome step, in `tempDir`. Nothing of an earlier search in this
  // process is used again (DropSearch). Throws nothing.
  void Begin(const std::string& tempDir);
  // "Erneut versuchen": back to the result step, from which "Weiter >" runs the download again.
  // The download page is reached only with an update on offer; the failure events of the failed
  // attempt may have cleared UpdateAvailable meanwhile.
  void RetryDownload();
  // "< Zurück" after a refusal: back to the welcome step, from which "Weiter >" leads to the
  // check page.
  void BackToCheck();
  // Lets go of the archive being downloaded and what a retry would continue.
  void DropPartialArchive();
  // Lets go of the list, the archive and the held files and removes the search folder with everything in
  // it. Throws nothing.
  void DropSearch();
};

}  // namespace wizard
