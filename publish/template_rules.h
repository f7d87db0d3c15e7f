// The batch template that trelkpublish writes into an archive whose maker gives none: it
// installs every file of the archive or, when one step fails, none, and records the outcome in
// the program's key. Nothing here touches the platform; publish/Publish.cpp feeds it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/update_outcome.h"

namespace publish {

// The value the template writes below the program's key, and its words (base/update_outcome.h).
using base::kResultBackup;
using base::kResultCompare;
using base::kResultCopy;
using base::kResultFailed;
using base::kResultLocked;
using base::kResultOk;
using base::kUpdateResultValue;

// The registry roots the programs use for their key.
enum class RegistryRoot { LocalMachine, CurrentUser };

struct TemplateOptions {
  RegistryRoot root = RegistryRoot::LocalMachine;
  std::string registryKey;  // the program's key name below "Software\Trelk"
  int waitSeconds = 30;     // how long one file may stay locked
};

// The bounds of waitSeconds.
constexpr int kMinWaitSeconds = 1;
constexpr int kMaxWaitSeconds = 600;

// "HKLM" or "HKCU" (any case) as a root; false for anything else.
bool ParseRegistryRoot(std::string_view text, RegistryRoot& root);
// "HKLM" / "HKCU".
const char* RegistryRootName(RegistryRoot root);

// Whether `name` can be a program's key name in the generated template: printable ASCII
// without " % ! ^ & | < > * ? and no blank or backslash at either end, no empty part between
// backslashes. (The template's text is read in the console's code page, which differs from
// computer to computer above ASCII.)
bool IsTemplateRegistryKey(std::string_view name);

// A file name (Windows-1252) in the console code page of German Windows (850), as the programs
// pass their folders to the template; a character that has no form there ("–", "€") as "?",
// which makes the name a pattern that the batch resolves in the search folder.
std::string ConsoleFileName(std::string_view name);

// The template for the archive's files `files` (Windows-1252 names, each once, the archive's
// "Update.bat" not among them). For each file in turn: the old file in the program folder is
// copied into a folder of its own in the search folder (retried while it cannot be read), the
// new one copied over it (retried while the old one is in use, about one second apart, up to
// waitSeconds times), and both are compared byte for byte ("fc /b"; Wine's is a stub that finds
// every pair equal). A read-only file or a folder in the way fails at once. When a step fails, every file
// kept so far is put back and every file that did not exist before is deleted, and "failed"
// is recorded with the file and the reason; otherwise "ok". The paths reach the batch only as
// lines it reads from itself, never as command text, so blanks, "&", "(", ")", "%" and "!" in
// the folders and file names are plain characters. A name that a data line cannot give exactly
// (a character that code page 850 lacks, or one of 0x80 to 0x9F, which Wine's cmd.exe reads as
// control characters) is looked for in the search folder through a pattern. Throws
// EPublishError for an empty list, a key name IsTemplateRegistryKey refuses, a wait out of
// bounds, a file name with a control character or one of | \ / : * ? " < >, or one whose
// pattern also matches another file of the archive or "Update.bat".
std::string SafeUpdateTemplate(const std::vector<std::string>& files, const TemplateOptions& options);

}  // namespace publish
