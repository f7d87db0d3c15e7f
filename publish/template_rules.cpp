// The generated batch template.
//
// How the batch is laid out, and why:
// - cmd.exe expands "%...%" in every line it runs, and "&", "(" and ")" end commands outside
//   quotes. A folder or file name written into a command line would therefore break the batch
//   ("100 %", "%PATH%", "A&B"). So the names stand in data lines at the end of the batch, which
//   it jumps over, and each is read into a variable with "for /f ... skip=<line>" from the
//   batch's own file: a value that comes from a FOR variable is not expanded again, and the
//   variables are only ever used inside double quotes, as !name! (the value of a delayed
//   expansion is not expanded again).
// - cmd.exe reads the batch in the console's code page, and Windows' FOR /F reads a file in it
//   too; Wine's reads it byte for byte (0x00 to 0xFF as U+0000 to U+00FF: the ANSI form but
//   for 0x80 to 0x9F). So every file name stands twice, in the console's form and in the ANSI
//   form, and the batch takes the one that names an unpacked file of the search folder. A name
//   that neither gives exactly ("–": not in code page 850, and 0x96 byte for byte) is found in
//   the search folder through a pattern, with "?" for what the form lacks; a probe line tells
//   which reading this cmd.exe has. The program folder comes only in the console's form: when the
//   line read does not name a folder, the batch takes it from a line it runs instead (right
//   for every folder without "%").
// - The programs fill in their folders only in lines 1 to 3 of each group of four lines, so the
//   whole template is groups (no tail). Lines 1 to 3 are format strings, line 0 of a group is
//   copied as it is: every "%" of a line 1 to 3 is written "%%". The search folder is the
//   batch's own ("%~dp0").
// - The system's programs (ping, reg, fc) are named by their full paths below %SystemRoot%, and
//   the batch never changes its current folder.
// - The data lines come last, so that reading from one of them never passes a line with a FOR
//   variable's own name in it (Wine's cmd.exe expands such a text again, without end).
// - The reading loops go on to the end of the file; "if not defined" keeps the first line.
#include "publish/template_rules.h"

#include <algorithm>
#include <functional>
#include <set>

#include "base/zip_rules.h"
#include "publish/publish_rules.h"

namespace publish {

namespace {

// Windows-1252 0x80..0xFF in code page 850; 0 where there is no such character.
const unsigned char kCp850[128] = {
    0x00, 0x00, 0x00, 0x9F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xFF, 0xAD, 0xBD, 0x9C, 0xCF, 0xBE, 0xDD, 0xF5, 0xF9, 0xB8, 0xA6, 0xAE, 0xAA, 0xF0, 0xA9, 0xEE,
    0xF8, 0xF1, 0xFD, 0xFC, 0xEF, 0xE6, 0xF4, 0xFA, 0xF7, 0xFB, 0xA7, 0xAF, 0xAC, 0xAB, 0xF3, 0xA8,
    0xB7, 0xB5, 0xB6, 0xC7, 0x8E, 0x8F, 0x92, 0x80, 0xD4, 0x90, 0xD2, 0xD3, 0xDE, 0xD6, 0xD7, 0xD8,
    0xD1, 0xA5, 0xE3, 0xE0, 0xE2, 0xE5, 0x99, 0x9E, 0x9D, 0xEB, 0xE9, 0xEA, 0x9A, 0xED, 0xE8, 0xE1,
    0x85, 0xA0, 0x83, 0xC6, 0x84, 0x86, 0x91, 0x87, 0x8A, 0x82, 0x88, 0x89, 0x8D, 0xA1, 0x8C, 0x8B,
    0xD0, 0xA4, 0x95, 0xA2, 0x93, 0xE4, 0x94, 0xF6, 0x9B, 0x97, 0xA3, 0x96, 0x81, 0xEC, 0xE7, 0x98,
};

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// A folder name in the search folder that no file of the archive has.
std::string FreeName(const std::string& wanted, const std::vector<std::string>& files) {
  std::set<std::string> taken;
  for (const std::string& f : files) taken.insert(Upper(f));
  std::string name = wanted;
  for (int n = 1; taken.count(Upper(name)); ++n) name = wanted + std::to_string(n);
  return name;
}

// One line of the batch as cmd.exe reads it, or (`placeholder`) a data line already written as
// a format string.
struct Line {
  std::string text;
  bool placeholder = false;
};

// The byte of the probe line: "ä" in code page 850, a control character where cmd.exe reads
// data lines byte for byte (Wine).
const char kProbe[] = "\x84";

// How the batch finds one file of the archive whose name one of its two data lines cannot
// give exactly.
struct Found {
  std::string console;  // the console form's pattern ("?" for what code page 850 lacks); empty:
                        // the console form is exact
  std::string bytewise;  // a pattern of ASCII only ("?" for the rest) for where data lines are
                         // read byte for byte, which gives 0x80 to 0x9F as control characters;
                         // empty: the ANSI form is exact there
};

// The lines that run: the start, each file, the undo and the record. `dataLine(k)` is the line
// number of the data line k (0: program folder; 1 + 2i and 2 + 2i: file i in the console's and
// in the ANSI form; then, when a file needs it, the probe and each file's byte-wise pattern).
std::vector<Line> Commands(const std::vector<Found>& found, const TemplateOptions& o, const std::string& keep,
                           const std::string& fresh, const std::function<size_t(size_t)>& dataLine) {
  const size_t files = found.size();
  std::vector<Line> l;
  auto add = [&](std::string text) { l.push_back({std::move(text)}); };
  auto read = [&](const std::string& variable, size_t data) {
    add("set \"" + variable + "=\"");
    add("for /f \"usebackq skip=" + std::to_string(dataLine(data)) + " tokens=1* delims=|\" %%Q in (\"%bat%\") do if "
        "not defined " + variable + " set \"" + variable + "=%%R\"");
  };
  const std::string key = std::string(RegistryRootName(o.root)) + "\\Software\\Trelk\\" + o.registryKey;
  // The system's programs by their full paths: a "ping.bat" in the current folder or on the
  // path never runs in their place.
  const std::string kSystem = "\"%SystemRoot%\\System32\\";
  const std::string wait = std::to_string(o.waitSeconds);

  add("@echo off");
  add("setlocal EnableExtensions DisableDelayedExpansion");
  add("set \"bat=%~f0\"");
  add("set \"such=%~dp0\"");
  read("prog", 0);
  for (size_t k = 0; k < files; ++k) {
    read("f" + std::to_string(k + 1), 1 + 2 * k);
    read("g" + std::to_string(k + 1), 2 + 2 * k);
  }
  if (std::any_of(found.begin(), found.end(), [](const Found& f) { return !f.console.empty() || !f.bytewise.empty(); })) {
    // A file that a data line names only as a pattern is looked for in the search folder, which
    // holds the archive's files and nothing of another's: as the console form's pattern where
    // cmd.exe reads its data lines in the code page of its own text (the probe line reads as the
    // byte in the line below: Windows, the console's code page); as the byte-wise pattern where
    // it reads them byte for byte (Wine), whose FOR takes no quoted pattern: hence the folder's
    // short form, and "?" for blanks and the other characters that end an item.
    read("cpt", 1 + 2 * files);
    size_t bytewise = 0;
    for (size_t k = 0; k < files; ++k)
      if (!found[k].bytewise.empty()) read("h" + std::to_string(k + 1), 2 + 2 * files + bytewise++);
    add("if not \"%cpt%\"==\"" + std::string(kProbe) + "\" goto namen_bytewise");
    for (size_t k = 0; k < files; ++k) {
      const std::string n = std::to_string(k + 1);
      if (!found[k].console.empty()) add("for %%N in (\"%such%%f" + n + "%\") do set \"f" + n + "=%%~nxN\"");
    }
    add("goto namen_gelesen");
    add(":namen_bytewise");
    add("set \"kurz=%~dps0\"");
    for (size_t k = 0; k < files; ++k) {
      const std::string n = std::to_string(k + 1);
      if (found[k].bytewise.empty()) continue;
      // A pattern that finds nothing leaves a name that no file has ("|"), never the console
      // form read byte for byte, which may match another file.
      add("set \"f" + n + "=|\"");
      add("for %%N in (%kurz%%h" + n + "%) do set \"f" + n + "=%%~nxN\"");
    }
    add(":namen_gelesen");
  }
  // From here on the names are used as !name!: the value of a delayed expansion is not looked
  // at again, so "%" and "!" in it stay what they are.
  add("setlocal EnableDelayedExpansion");
  add("if defined prog if exist \"!prog!*\" goto prog_gelesen");
  add("goto prog_text");
  add(":prog_gelesen");
  add("set \"datei=!f1!\"");
  add("set \"grund=" + std::string(kResultCopy) + "\"");
  add("if not exist \"!prog!*\" goto melden");
  for (size_t k = 0; k < files; ++k) {
    const std::string n = std::to_string(k + 1);
    add("if not exist \"!such!!f" + n + "!\" set \"f" + n + "=!g" + n + "!\"");
  }
  add("set \"alt=!such!" + keep + "\\\"");
  add("set \"neu=!such!" + fresh + "\\\"");
  add("md \"!alt!\" >nul 2>&1");
  add("md \"!neu!\" >nul 2>&1");
  add("set \"grund=\"");
  for (size_t k = 0; k < files; ++k) {
    add("set \"datei=!f" + std::to_string(k + 1) + "!\"");
    add("call :eine");
    add("if defined grund goto zurueck");
  }
  add("goto melden");

  // Undo: every file that was kept goes back, every file that is new goes.
  add(":zurueck");
  add("set \"fehlt=!datei!\"");
  for (size_t k = 0; k < files; ++k) {
    add("set \"datei=!f" + std::to_string(k + 1) + "!\"");
    add("call :zurueck_eine");
  }
  add("set \"datei=!fehlt!\"");

  add(":melden");
  add("if defined grund goto melden_fehler");
  add(kSystem + "reg.exe\" add \"" + key + "\" /v " + kUpdateResultValue + " /t REG_SZ /d \"%date% %time%|" + kResultOk + "\" /f >nul 2>&1");
  add("goto ende");
  add(":melden_fehler");
  add(kSystem + "reg.exe\" add \"" + key + "\" /v " + kUpdateResultValue +
      " /t REG_SZ /d \"%date% %time%|" + kResultFailed + "|!datei!|%grund%\" /f >nul 2>&1");
  add("goto ende");

  // One file: keep the old one (or mark the file as new), copy, compare.
  add(":eine");
  add("set \"quelle=!such!!datei!\"");
  add("set \"ziel=!prog!!datei!\"");
  add("set versuch=0");
  add("if not exist \"!ziel!\" goto eine_neu");
  // A folder or a read-only file in the way is not waited for. (DIR, not FOR's "%~a": Wine's
  // FOR does not expand !name! in its list.)
  add("set \"grund=" + std::string(kResultCopy) + "\"");
  add("if exist \"!ziel!\\*\" goto :eof");
  add("dir /a:r /b \"!ziel!\" >nul 2>&1");
  add("if not errorlevel 1 goto :eof");
  add("set \"grund=\"");
  add(":eine_sichern");
  add("copy /y /b \"!ziel!\" \"!alt!!datei!\" >nul 2>&1");
  add("if not errorlevel 1 goto eine_kopieren");
  add("del /f /q \"!alt!!datei!\" >nul 2>&1");
  add("set /a versuch+=1");
  add("set \"grund=" + std::string(kResultBackup) + "\"");
  add("if %versuch% geq " + wait + " goto :eof");
  add("set \"grund=\"");
  add(kSystem + "ping.exe\" -n 2 127.0.0.1 >nul");
  add("goto eine_sichern");
  add(":eine_neu");
  add("type nul >\"!neu!!datei!\" 2>nul");
  add("if exist \"!neu!!datei!\" goto eine_kopieren");
  add("set \"grund=" + std::string(kResultBackup) + "\"");
  add("goto :eof");
  add(":eine_kopieren");
  add("copy /y /b \"!quelle!\" \"!ziel!\" >nul 2>&1");
  add("if not errorlevel 1 goto eine_vergleichen");
  add("set /a versuch+=1");
  add("if %versuch% geq " + wait + " goto eine_gesperrt");
  add(kSystem + "ping.exe\" -n 2 127.0.0.1 >nul");
  add("goto eine_kopieren");
  add(":eine_gesperrt");
  add("set \"grund=" + std::string(kResultCopy) + "\"");
  add("if exist \"!alt!!datei!\" set \"grund=" + std::string(kResultLocked) + "\"");
  add("goto :eof");
  add(":eine_vergleichen");
  add("set \"grund=" + std::string(kResultCompare) + "\"");
  add(kSystem + "fc.exe\" /b \"!quelle!\" \"!ziel!\" >nul 2>&1");
  add("if errorlevel 1 goto :eof");
  add("set \"grund=\"");
  add("goto :eof");

  // Undo of one file.
  add(":zurueck_eine");
  add("if exist \"!alt!!datei!\" goto zurueck_alt");
  add("if exist \"!neu!!datei!\" del /f /q \"!prog!!datei!\" >nul 2>&1");
  add("goto :eof");
  add(":zurueck_alt");
  add("copy /y /b \"!alt!!datei!\" \"!prog!!datei!\" >nul 2>&1");
  add("goto :eof");
  return l;
}

}  // namespace

bool ParseRegistryRoot(std::string_view text, RegistryRoot& root) {
  const std::string upper = Upper(std::string(text));
  if (upper == "HKLM") root = RegistryRoot::LocalMachine;
  else if (upper == "HKCU") root = RegistryRoot::CurrentUser;
  else return false;
  return true;
}

const char* RegistryRootName(RegistryRoot root) { return root == RegistryRoot::CurrentUser ? "HKCU" : "HKLM"; }

bool IsTemplateRegistryKey(std::string_view name) {
  if (name.empty() || name.front() == ' ' || name.back() == ' ' || name.front() == '\\' || name.back() == '\\' ||
      name.find("\\\\") != std::string_view::npos)
    return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return c >= 0x20 && c < 0x7F && std::string_view("\"%!^&|<>*?").find(c) == std::string_view::npos;
  });
}

std::string ConsoleFileName(std::string_view name) {
  std::string out;
  for (char c : name) {
    const unsigned char b = static_cast<unsigned char>(c);
    const unsigned char oem = b < 0x80 ? b : kCp850[b - 0x80];
    out += oem ? static_cast<char>(oem) : '?';
  }
  return out;
}

namespace {

// Whether the pattern (Windows-1252, "?" for one character or none) matches the name, without
// regard to case: the widest reading of cmd.exe's "?", which matches nothing at a name's end
// or before its dot.
bool PatternMatches(std::string_view pattern, std::string_view name) {
  if (pattern.empty()) return name.empty();
  if (pattern[0] == '?')
    return PatternMatches(pattern.substr(1), name) || (!name.empty() && PatternMatches(pattern.substr(1), name.substr(1)));
  return !name.empty() && base::FileNameKey(pattern.substr(0, 1)) == base::FileNameKey(name.substr(0, 1)) &&
         PatternMatches(pattern.substr(1), name.substr(1));
}

}  // namespace

std::string SafeUpdateTemplate(const std::vector<std::string>& files, const TemplateOptions& options) {
  if (files.empty()) throw EPublishError("An update needs at least one file besides Update.bat.");
  if (!IsTemplateRegistryKey(options.registryKey))
    throw EPublishError("The registry key \"" + options.registryKey +
                        "\" cannot be written by the batch file: printable ASCII without \" % ! ^ & | < > * ?, "
                        "no blank or backslash at either end.");
  if (options.waitSeconds < kMinWaitSeconds || options.waitSeconds > kMaxWaitSeconds)
    throw EPublishError("The wait for a locked file must be " + std::to_string(kMinWaitSeconds) + " to " +
                        std::to_string(kMaxWaitSeconds) + " seconds.");
  std::vector<std::string> names;
  std::vector<Found> found;
  auto inControl = [](char c) { return static_cast<unsigned char>(c) >= 0x80 && static_cast<unsigned char>(c) < 0xA0; };
  auto plain = [](char c) {  // an ASCII character that no FOR list takes for the end of an item
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           std::string_view("._-~$#@+").find(c) != std::string_view::npos;
  };
  for (const std::string& f : files) {
    if (f.empty() || f.find_first_of("|\\/:*?\"<>") != std::string::npos ||
        std::any_of(f.begin(), f.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
      throw EPublishError("The file name \"" + f + "\" cannot be a file of the program folder.");
    names.push_back(ConsoleFileName(f));
    Found how;
    if (names.back().find('?') != std::string::npos) {
      how.console = f;
      for (size_t i = 0; i < f.size(); ++i)
        if (names.back()[i] == '?') how.console[i] = '?';
    }
    if (std::any_of(f.begin(), f.end(), inControl)) {
      how.bytewise = f;
      for (char& c : how.bytewise)
        if (!plain(c)) c = '?';
    }
    found.push_back(how);
  }
  // Each pattern must find its file alone among the archive's.
  for (size_t k = 0; k < files.size(); ++k)
    for (const std::string& pattern : {found[k].console, found[k].bytewise}) {
      if (pattern.empty()) continue;
      for (size_t i = 0; i <= files.size(); ++i) {
        const std::string other = i < files.size() ? files[i] : "Update.bat";
        if (i != k && PatternMatches(pattern, other))
          throw EPublishError("The file name \"" + files[k] + "\" has characters that the batch file can name only "
                              "through the pattern \"" + pattern + "\", which also matches \"" + other + "\".");
      }
    }
  const std::string keep = FreeName("Vorher", files), fresh = FreeName("Neu", files);

  // After the commands: the group that reads the program folder as a line it runs, then the
  // data lines, the program folder in a line 1 of a group.
  auto programLineAfter = [](size_t commands) { return (commands + 3) / 4 * 4 + 5; };
  const size_t programLine =
      programLineAfter(Commands(found, options, keep, fresh, [](size_t) { return 1; }).size());
  auto dataLine = [&](size_t k) { return programLine + k; };
  std::vector<Line> lines = Commands(found, options, keep, fresh, dataLine);
  while (lines.size() % 4 != 0) lines.push_back({"rem"});
  lines.push_back({":prog_text"});
  lines.push_back({"set \"prog=%s\"", true});
  lines.push_back({"goto prog_gelesen"});
  lines.push_back({"rem"});
  lines.push_back({"::"});
  lines.push_back({"|P|%s", true});
  for (size_t i = 0; i < names.size(); ++i) {
    lines.push_back({"|F|" + names[i]});
    lines.push_back({"|G|" + files[i]});
  }
  if (std::any_of(found.begin(), found.end(), [](const Found& f) { return !f.console.empty() || !f.bytewise.empty(); })) {
    lines.push_back({"|C|" + std::string(kProbe)});
    for (const Found& f : found)
      if (!f.bytewise.empty()) lines.push_back({"|H|" + f.bytewise});
  }
  // The lines the programs append (the restart, the removal of the search folder) run as in
  // any other template, without delayed expansion: a "!" in the program's path stays.
  lines.push_back({":ende"});
  lines.push_back({"endlocal"});
  lines.push_back({"endlocal"});
  while (lines.size() % 4 != 0) lines.push_back({"rem"});

  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line = lines[i].text;
    if (i % 4 != 0 && !lines[i].placeholder) {
      std::string escaped;
      for (char c : line) escaped += c == '%' ? std::string("%%") : std::string(1, c);
      line = escaped;
    }
    text += line + "\r\n";
  }
  return text;
}

}  // namespace publish
