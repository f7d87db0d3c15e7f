// The batch template "Update.bat" of an update archive and the batch the programs make of it:
// its lines, its placeholders, its groups and its bounds. The programs' wizard writes the batch
// with these rules; trelkpublish refuses a template they refuse.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace base {

// Splits a template into lines at CR LF, a single CR and a single LF; a zero byte ends the
// text; a line break at the very end adds no empty line.
std::vector<std::string> SplitTemplateLines(std::string_view text);

// The largest width or precision of a placeholder: far above any path, far below what would
// make "Update.bat" large.
constexpr std::size_t kMaxFormatWidth = 1024;
// The most bytes a generated "Update.bat" may have.
constexpr std::size_t kMaxBatchBytes = 1024 * 1024;

// Formats one template line: "%s" takes the next argument, "%0:s" / "%1:s" the numbered one (a
// following "%s" goes on after it), "%%" is one percent sign; a width ("%10s", "%-10s") pads
// with blanks and a precision ("%.3s") cuts. More arguments than given, another type than "s",
// a line ending inside a placeholder, a width or precision above kMaxFormatWidth, or a result
// above kMaxBatchBytes raise base::EConvertError naming the line.
std::string FormatTemplateLine(std::string_view line, const std::vector<std::string>& args);

// The first argument with which the programs' own executable removes what their installations
// left in the temporary folder, and ends.
extern const char kCleanupArgument[];  // "/trelk-cleanup"

// The whole "Update.bat" from the template's lines: groups of four lines (line 0 as it is,
// lines 1 and 2 with the program folder, line 3 with the temporary and the program folder)
// until a group's first line starts with a blank; from that line on, every line with the
// temporary folder. An empty line 0 is a group's first line like any other that does not begin
// with a blank. Empty lines at the end of the template count as lines, unless only they cut the
// last group short (an editor's habit): then they are left out. Then the quoted program path
// when `restart`. Then, with a `systemDir`, the removal of the temporary folder two seconds after
// the batch has ended, by a cmd.exe of its own started from the system folder ("cd /d " + the
// system folder + " & start "" /b " + its cmd.exe + " /d /c "" + its ping.exe + " -n 3 127.0.0.1
// >nul & " + the removal + """): `rd /s /q` of the folder where only administrators can write it
// (`administratorsFolder`), otherwise the program itself started with kCleanupArgument, which
// removes its search folders without following links. Last the line that deletes the batch
// itself ("del " + the temporary folder + "Update.bat"). Every program is named by its full path,
// and no line changes into another folder than the system folder. Every line ends with CR LF.
// The paths are given in their OEM form (through BatchPathArgument where they are arguments),
// each folder with its trailing backslash. A template without a line that is not empty, a last
// group of fewer than four lines without a tail, a bad format string, or a result above
// kMaxBatchBytes raise base::EConvertError; memory stays within that bound meanwhile.
std::string BuildUpdateBatch(const std::vector<std::string>& templateLines, const std::string& programDir,
                             const std::string& tempDir, bool restart, const std::string& exePath,
                             const std::string& systemDir = std::string(), bool administratorsFolder = false);

// A path as one argument of a batch command: as it is, or in double quotes when it holds a
// character at which cmd.exe splits arguments (a blank, a tab, & ( ) ^ ; , =).
std::string BatchPathArgument(const std::string& path);

}  // namespace base
